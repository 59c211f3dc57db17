#include "platform/rtl/IniFiles.h"
#include "platform/rtl/NumberText.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/FolderFixture.h"
#include "tests/support/FuzzLoop.h"
#include "tests/support/Privileges.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <csignal>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using IniFiles = TFolderFixture;

QStringList ListOf(const TStringList& list)
{
    return list.ToQStringList();
}

} // namespace

TEST_F(IniFiles, RewriteKeepsEveryOtherLineInPlace)
{
    // LF line ends and no line end after the last line; keys before any
    // section and after a broken header are not read but must survive.
    const QString path = WriteFile("odd.ini", "; settings of the program\n"
                                              "stray=before any section\n"
                                              "[Software\\Dravinel\\Tessvar]\n"
                                              "Preview = 0\n"
                                              "# kept comment\n"
                                              "garbage line\n"
                                              "\n"
                                              "[Other]\n"
                                              "Key=\"quoted value\"\n"
                                              "[Broken\n"
                                              "after=broken");
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("other", "KEY", "-"), "quoted value");
    EXPECT_EQ(ini.ReadString("", "stray", "-"), "-");
    EXPECT_EQ(ini.ReadString("Other", "after", "-"), "-");
    TStringList sections;
    ini.ReadSections(sections);
    EXPECT_EQ(ListOf(sections), QStringList({"Software\\Dravinel\\Tessvar", "Other"}));
    TStringList idents;
    ini.ReadSection("Software\\Dravinel\\Tessvar", idents);
    EXPECT_EQ(ListOf(idents), QStringList({"Preview"}));

    ini.WriteBool("software\\dravinel\\tessvar", "PREVIEW", true);
    ini.WriteInteger("Software\\Dravinel\\Tessvar", "Unit", 1);
    ini.WriteString("Other", "New", "v");
    ini.WriteString("Added", "k", "v");
    EXPECT_EQ(ReadFile(path), "; settings of the program\n"
                              "stray=before any section\n"
                              "[Software\\Dravinel\\Tessvar]\n"
                              "Preview=1\n"
                              "Unit=1\n"
                              "# kept comment\n"
                              "garbage line\n"
                              "\n"
                              "[Other]\n"
                              "Key=\"quoted value\"\n"
                              "New=v\n"
                              "[Broken\n"
                              "after=broken\n"
                              "[Added]\n"
                              "k=v\n");
}

TEST_F(IniFiles, NewFileUsesCrLfAndUtf8WithoutBom)
{
    const QString path = PathOf("lm_iregistry.ini");
    TIniFile ini(path);
    ini.WriteBool("Software\\Dravinel\\Tessvar", "Preview", true);
    ini.WriteString("Software\\Dravinel\\Tessvar", "Name", QString::fromUtf8("Größe"));
    ini.WriteBool("Software\\Dravinel\\Tessvar", "Preview", true); // unchanged
    EXPECT_EQ(ReadFile(path), "[Software\\Dravinel\\Tessvar]\r\nPreview=1\r\nName=Gr\xC3\xB6\xC3\x9F"
                              "e\r\n");
    EXPECT_TRUE(ini.ReadBool("Software\\Dravinel\\Tessvar", "Preview", false));
    EXPECT_EQ(FolderEntries(), QStringList({"lm_iregistry.ini"})); // no temporary file left
}

TEST_F(IniFiles, ValuesAreTrimmedAndUnquoted)
{
    struct Row {
        const char* raw;
        const char* read;
    };
    // Windows' profile reading: blanks trimmed, one pair of matching quotes
    // removed; an empty value is a value, not the default.
    const Row rows[] = {
        /* 1 */ {"  padded \t", "padded"},
        /* 2 */ {"\"quoted\"", "quoted"},
        /* 3 */ {"'single'", "single"},
        /* 4 */ {"\"mismatch'", "\"mismatch'"},
        /* 5 */ {"\"", "\""},
        /* 6 */ {"\"\"", ""},
        /* 7 */ {"\" inner \"", " inner "},
        /* 8 */ {"", ""},
        /* 9 */ {"\"\"x\"\"", "\"x\""},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        const QString path = WriteFile("values.ini", QByteArray("[S]\r\nK = ") + rows[i].raw + "\r\n");
        EXPECT_EQ(TIniFile(path).ReadString("S", "k", "default"), rows[i].read) << "row " << i + 1;
    }
}

TEST_F(IniFiles, IntegersAndBooleansReadLikeTheRuntime)
{
    struct Row {
        const char* raw;
        int integer;  // ReadInteger with default -99
        bool boolean; // ReadBool with default true
    };
    // ReadBool is ReadInteger(...) <> 0 with the default as 0 / 1.
    const Row rows[] = {
        /* 1 */ {"1", 1, true},
        /* 2 */ {"0", 0, false},
        /* 3 */ {"0x1F", 31, true},
        /* 4 */ {"yes", -99, true},
        /* 5 */ {"", -99, true},
        /* 6 */ {"1.5", -99, true},
        /* 7 */ {"\"0\"", 0, false}, // quotes go before the number is read
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        const QString path = WriteFile("numbers.ini", QByteArray("[S]\nV=") + rows[i].raw + "\n");
        const TIniFile ini(path);
        EXPECT_EQ(ini.ReadInteger("S", "V", -99), rows[i].integer) << "row " << i + 1;
        EXPECT_EQ(ini.ReadBool("S", "V", true), rows[i].boolean) << "row " << i + 1;
    }
    EXPECT_FALSE(TIniFile(PathOf("numbers.ini")).ReadBool("S", "missing", false));
}

TEST_F(IniFiles, FloatsUseTheDecimalSeparator)
{
    TIniFile ini(PathOf("float.ini"));
    SetDecimalSeparator(QLatin1Char(','));
    ini.WriteFloat("S", "language", 2.5);
    EXPECT_EQ(ini.ReadString("S", "language", ""), "2,5");
    EXPECT_EQ(ini.ReadFloat("S", "language", 0), 2.5);
    ini.WriteString("S", "bad", "2.5.1");
    EXPECT_EQ(ini.ReadFloat("S", "bad", -1), -1);
    EXPECT_EQ(ini.ReadFloat("S", "missing", 7.25), 7.25);
    ResetNumberSeparators();
}

TEST_F(IniFiles, NamesCompareWithoutCase)
{
    const QString path = WriteFile("case.ini", "[\xC3\x84rger]\nSchl\xC3\xBC"
                                               "ssel=1\n");
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadString(QString::fromUtf8("ärger"), QString::fromUtf8("SCHLÜSSEL"), ""), "1");
    EXPECT_EQ(ini.ReadString(QString::fromUtf8(" ÄRGER "), QString::fromUtf8("schlüssel "), ""), "1");
    ini.WriteString(QString::fromUtf8("ÄRGER"), QString::fromUtf8("SCHLÜSSEL"), "2");
    // Existing names keep the spelling they have in the file.
    EXPECT_EQ(ReadFile(path), "[\xC3\x84rger]\nSchl\xC3\xBC"
                              "ssel=2\n");
}

TEST_F(IniFiles, SectionsListEraseAndDelete)
{
    // Two sections of one name count as one; the first key of a name wins.
    const QString path = WriteFile("sections.ini", "[A]\nx=1\ny=\"2\"\n[Empty]\n[a]\nz=3\nx=dup\n[B]\nw=4\n");
    TIniFile ini(path);
    TStringList list;
    ini.ReadSections(list);
    EXPECT_EQ(ListOf(list), QStringList({"A", "Empty", "B"}));
    ini.ReadSection("a", list);
    EXPECT_EQ(ListOf(list), QStringList({"x", "y", "z"}));
    ini.ReadSectionValues("A", list);
    EXPECT_EQ(ListOf(list), QStringList({"x=1", "y=2", "z=3"}));
    EXPECT_TRUE(ini.SectionExists("b"));
    EXPECT_FALSE(ini.SectionExists("Empty")); // a section counts only with a key in it
    EXPECT_FALSE(ini.SectionExists("none"));
    EXPECT_TRUE(ini.ValueExists("A", "Z"));
    EXPECT_FALSE(ini.ValueExists("B", "x"));

    ini.DeleteKey("A", "X");
    EXPECT_FALSE(ini.ValueExists("A", "x")); // the duplicate went too
    EXPECT_EQ(ReadFile(path), "[A]\ny=\"2\"\n[Empty]\n[a]\nz=3\n[B]\nw=4\n");
    ini.EraseSection("a");
    EXPECT_EQ(ReadFile(path), "[Empty]\n[B]\nw=4\n");
}

TEST_F(IniFiles, MissingFileGivesDefaultsAndIsNotCreated)
{
    const QString path = PathOf("none.ini");
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("S", "K", "def"), "def");
    EXPECT_EQ(ini.ReadInteger("S", "Unit", 3), 3);
    EXPECT_FALSE(ini.ValueExists("S", "K"));
    EXPECT_FALSE(ini.SectionExists("S"));
    TStringList list;
    ini.ReadSections(list);
    EXPECT_EQ(list.Count(), 0);
    ini.EraseSection("S");
    ini.DeleteKey("S", "K");
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_TRUE(FolderEntries().isEmpty());
}

TEST_F(IniFiles, EncodingsAreReadAndRewrittenAsUtf8)
{
    // UTF-8 with a byte order mark; then the same text in code page 1252,
    // where 0xF6 is o-umlaut, 0xDF sharp s and 0x80 the euro sign.
    const QString withBom = WriteFile("bom.ini", "\xEF\xBB\xBF[S]\r\nName=Gr\xC3\xB6\xC3\x9F"
                                                 "e\r\n");
    EXPECT_EQ(TIniFile(withBom).ReadString("S", "Name", ""), QString::fromUtf8("Größe"));
    const QString ansi = WriteFile("ansi.ini", "[S]\r\nName=Gr\xF6\xDF"
                                               "e \x80\r\n");
    TIniFile ini(ansi);
    EXPECT_EQ(ini.ReadString("S", "Name", ""), QString::fromUtf8("Größe €"));
    ini.WriteString("S", "X", "1");
    EXPECT_EQ(ReadFile(ansi), "[S]\r\nName=Gr\xC3\xB6\xC3\x9F"
                              "e \xE2\x82\xAC\r\nX=1\r\n");
    TIniFile(withBom).WriteString("S", "X", "1");
    EXPECT_EQ(ReadFile(withBom), "[S]\r\nName=Gr\xC3\xB6\xC3\x9F"
                                 "e\r\nX=1\r\n");
}

TEST_F(IniFiles, WritesThatCouldNotBeReadBackAreRefused)
{
    struct Row {
        const char* section;
        const char* ident;
        const char* value;
    };
    // Each would add lines, split a key or hide it on the next read.
    const Row rows[] = {
        /* 1 */ {"S", "K", "two\nlines"},
        /* 2 */ {"S", "K", "cr\ronly"},
        /* 3 */ {"S", "a=b", "v"},
        /* 4 */ {"S", "  ", "v"},
        /* 5 */ {"S", ";K", "v"},
        /* 6 */ {"S", "[K", "v"},
        /* 7 */ {"a]b", "K", "v"},
        /* 8 */ {"a\nb", "K", "v"},
    };
    const QString path = PathOf("refused.ini");
    TIniFile ini(path);
    for (size_t i = 0; i < std::size(rows); ++i)
        EXPECT_THROW(ini.WriteString(rows[i].section, rows[i].ident, rows[i].value), EIniFileException)
            << "row " << i + 1;
    EXPECT_FALSE(QFileInfo::exists(path));
}

TEST_F(IniFiles, MissingFolderAndDirectoryTargetAreClearErrors)
{
    const QString inMissing = PathOf("missing/x.ini");
    try {
        TIniFile(inMissing).WriteBool("S", "K", true);
        ADD_FAILURE() << "no exception";
    } catch (const EIniFileException& e) {
        EXPECT_TRUE(e.Message().contains(QDir::toNativeSeparators(inMissing))) << e.what();
        EXPECT_TRUE(e.Message().contains("does not exist")) << e.what();
    }
    EXPECT_FALSE(QFileInfo::exists(PathOf("missing")));

    ASSERT_TRUE(QDir(FDir.path()).mkdir("folder.ini"));
    const TIniFile folder(PathOf("folder.ini"));
    EXPECT_EQ(folder.ReadString("S", "K", "def"), "def");
    EXPECT_THROW(TIniFile(PathOf("folder.ini")).WriteString("S", "K", "v"), EIniFileException);
}

// A profile whose name becomes a FIFO at any moment while it is read (the
// read stopped at each of its system calls, the file replaced by a FIFO
// meanwhile) reads as the file or as no file: it never waits on the FIFO.
TEST_F(IniFiles, AProfileThatBecomesAFifoWhileReadIsNeverWaitedOn)
{
    if (const QString withheld = TracingWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    const QByteArray name = QFile::encodeName(PathOf("tessvar.ini"));
    const QByteArray file = QFile::encodeName(PathOf("file.new"));
    const QByteArray fifo = QFile::encodeName(PathOf("fifo.new"));
    const int stops = StopAtEverySystemCall(
        [&] {
            // A stuck open ends the child, and so the test.
            ::alarm(5);
            // Every run starts from the file.
            QFile fresh(QFile::decodeName(file));
            const QByteArray text = "[S]\r\nK=file\r\n";
            if (!fresh.open(QIODevice::WriteOnly) || fresh.write(text) != text.size())
                ::_exit(6);
            fresh.close();
            if (::rename(file.constData(), name.constData()) != 0)
                ::_exit(6);
            const QString value = TIniFile(QFile::decodeName(name)).ReadString("S", "K", "none");
            if (value != "file" && value != "none")
                ::_exit(7);
        },
        [&](int) {
            ::unlink(fifo.constData());
            if (::mkfifo(fifo.constData(), 0644) == 0)
                ::rename(fifo.constData(), name.constData());
        },
        TAfterStop::Resume);
    EXPECT_GT(stops, 3);
}

// The write must fail even for root, for whom permissions do not count. A
// file size limit (RLIMIT_FSIZE, set in a child process) binds root too: the
// new content is larger than the limit, so writing the temporary file fails,
// while the old file, already smaller than the limit, is untouched.
TEST_F(IniFiles, FailedWriteLeavesTheOldFileIntact)
{
    const QByteArray old = "[S]\r\nK=old\r\n";
    const QString path = WriteFile("keep.ini", old);
    TIniFile ini(path);
    const QString message = RunWithFileSizeLimit(64, [&] {
        try {
            ini.WriteString("S", "K", QString(200, QLatin1Char('x')));
        } catch (const EIniFileException& e) {
            return e.Message();
        }
        return QStringLiteral("written");
    });
    EXPECT_TRUE(message.contains(QDir::toNativeSeparators(path))) << message.toStdString();
    EXPECT_EQ(ReadFile(path), old);
    EXPECT_EQ(FolderEntries(), QStringList({"keep.ini"})); // the temporary file is gone
    EXPECT_EQ(ini.ReadString("S", "K", ""), "old");
}

TEST_F(IniFiles, OddAndRandomFilesNeverBreakReadingOrWriting)
{
    // A single huge line without a line end.
    const QString huge = WriteFile("huge.ini", "[S]\nK=" + QByteArray(4 << 20, 'v'));
    EXPECT_EQ(TIniFile(huge).ReadString("S", "K", "").size(), 4 << 20);

    // Random bytes: every read works, and a write changes only its own key.
    const QString path = PathOf("fuzz.ini");
    const std::vector<QByteArray> seeds = {
        "[A]\r\nx=1\r\n;c\r\n[B]\r\ny = \"2\"\r\n",
        "k=v\n[Fuzz]\nKey=old\n[Broken\nz=9\n\n[C]\nw",
        "\xEF\xBB\xBF[\xC3\x84]\n\xC3\xA4=\xFF\x80\n",
    };
    const FuzzStats stats = RunFuzzLoop(
        [&](const QByteArray& bytes) {
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
                throw std::runtime_error("cannot write the fuzz file");
            file.close();
            TIniFile ini(path);
            const auto snapshot = [&] {
                QStringList all;
                TStringList sections;
                TStringList values;
                ini.ReadSections(sections);
                for (int i = 0; i < sections.Count(); ++i) {
                    if (sections.Strings(i).compare("Fuzz", Qt::CaseInsensitive) == 0)
                        continue;
                    ini.ReadSectionValues(sections.Strings(i), values);
                    all << sections.Strings(i) << values.ToQStringList();
                }
                return all;
            };
            const QStringList before = snapshot();
            ini.WriteString("Fuzz", "Key", "written");
            if (ini.ReadString("Fuzz", "Key", "") != "written")
                throw std::runtime_error("the written value does not read back");
            if (snapshot() != before)
                throw std::runtime_error("a write changed another section");
        },
        seeds, 2.0);
    EXPECT_GT(stats.runs, 0);
}
