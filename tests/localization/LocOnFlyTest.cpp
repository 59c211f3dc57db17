#include "localization/LocOnFly.h"

#include "localization/LocLangFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// The language files of a program are named after its executable.
QString Program()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

// A header-only language file (the list reads nothing else).
void WriteLanguage(const QString& path, uint32_t locale, const QString& english, const QString& native,
                   bool isNative = false, int32_t version = 1, uint32_t build = 0)
{
    TLangFile file;
    file.SetLocale(locale);
    file.SetLangEnglishName(english);
    file.SetLangLocalizedName(native);
    file.SetIsNative(isNative);
    file.SetVersion(version);
    file.SetBuild(build);
    file.SaveHeader(path);
}

std::unique_ptr<TLFInfo> Entry(TLFInfoList& list, const QString& english, uint32_t locale,
                               bool native = false)
{
    auto info = std::make_unique<TLFInfo>(&list);
    info->SetEnglishName(english);
    info->SetLocale(locale);
    info->SetNative(native);
    return info;
}

} // namespace

TEST(LocOnFly, ListOrderAndLookUps)
{
    TLFInfoList list;
    EXPECT_EQ(list.NativeIndex(), -1);
    EXPECT_EQ(list.Add(Entry(list, "Italian", 0x0410)), 0);
    EXPECT_EQ(list.Add(Entry(list, "English", 0x0409, true)), 0);
    EXPECT_EQ(list.Add(Entry(list, "italian", 0x0810)), 2); // ordinal: lower case after upper
    EXPECT_EQ(list.Add(Entry(list, "Italian", 0x0409)), 2); // after the equal name
    EXPECT_EQ(list.Add(Entry(list, "", 0x0407)), 0);

    EXPECT_EQ(list.NativeIndex(), 1);
    EXPECT_EQ(list.IndexByLocale(0x0409), 1);
    EXPECT_EQ(list.IndexByLocaleEx(0x0409, false), 3); // the translated English
    EXPECT_EQ(list.IndexByLocaleEx(0x0410, false), 2);
    EXPECT_EQ(list.IndexByLocale(0x0C0A), -1);
    list.GetItem(2)->SetFileName("p.ita.lng");
    EXPECT_FALSE(list.IsResLanguage(0x0410));
    EXPECT_TRUE(list.IsResLanguage(0x0810));
    EXPECT_FALSE(list.IsResLanguage(0x0C0A));

    TLFInfoList onlyNative;
    onlyNative.Add(Entry(onlyNative, "English", 0x0409, true));
    EXPECT_EQ(onlyNative.IndexByLocaleEx(0x0409, false), -1);
}

class LocOnFlyFolder : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString Path(const QString& name) const { return dir.filePath(name); }
};

// The scan: names matched without regard to case, unreadable files skipped,
// one entry per locale (the later file updates the earlier entry in place).
TEST_F(LocOnFlyFolder, ScanMixedCaseAndDuplicates)
{
    const QString p = Program();
    WriteLanguage(Path(p + ".ita.lng"), 0x0410, "Italian", "Italiano", false, 2, 5);
    WriteLanguage(Path(p.toUpper() + ".DEU.LNG"), 0x0407, "German", "Deutsch");
    WriteLanguage(Path(p + ".ntv.lng"), 0x0409, "English", "English", true);
    WriteLanguage(Path(p + ".zzz.lng"), 0x0410, "Zitalian", "Zitaliano", true, 3, 7);
    WriteLanguage(Path("other.fra.lng"), 0x040C, "French", "Fran\u00E7ais");
    WriteLanguage(Path(p + ".lng"), 0x040C, "French", "Fran\u00E7ais"); // no middle part
    QFile bad(Path(p + ".bad.lng"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("not a language file");
    bad.close();
    QDir(dir.path()).mkdir(p + ".dir.lng");

    TLFInfoList list;
    list.SetFolder(dir.path());
    EXPECT_EQ(list.FolderPath(), dir.path());
    EXPECT_EQ(list.FullPath(), QDir::cleanPath(dir.path()));
    ASSERT_EQ(list.Count(), 3);
    // Sorted by English name as added; the Italian entry keeps its place and
    // its name in itself, and takes the rest from the later file.
    EXPECT_EQ(list.GetItem(0)->EnglishName(), "English");
    EXPECT_EQ(list.GetItem(1)->EnglishName(), "German");
    EXPECT_EQ(list.GetItem(1)->FileName(), p.toUpper() + ".DEU.LNG");
    const TLFInfo* italian = list.GetItem(2);
    EXPECT_EQ(italian->EnglishName(), "Zitalian");
    EXPECT_EQ(italian->LocalizedName(), "Italiano");
    EXPECT_EQ(italian->FileName(), p + ".zzz.lng");
    EXPECT_TRUE(italian->Native());
    EXPECT_EQ(italian->Version(), 3u);
    EXPECT_EQ(italian->Build(), 7u);
    EXPECT_EQ(list.NativeIndex(), 0);
    EXPECT_EQ(list.GetItem(0)->InfoList(), &list);

    // The same folder again does not rescan; another folder adds to the list.
    WriteLanguage(Path(p + ".fra.lng"), 0x040C, "French", "Fran\u00E7ais");
    list.SetFolder(dir.path());
    EXPECT_EQ(list.IndexByLocale(0x040C), -1);
    QTemporaryDir second;
    WriteLanguage(second.filePath(p + ".esp.lng"), 0x040A, "Spanish", "Espa\u00F1ol");
    list.SetFolder(second.path());
    ASSERT_EQ(list.Count(), 4);
    EXPECT_EQ(list.GetItem(list.IndexByLocale(0x040A))->FileName(), p + ".esp.lng");
    EXPECT_EQ(list.GetItem(list.IndexByLocale(0x0407))->FileName(), p.toUpper() + ".DEU.LNG");
}

TEST_F(LocOnFlyFolder, FolderRelativeToProgramAndMissing)
{
    WriteLanguage(Path(Program() + ".ita.lng"), 0x0410, "Italian", "Italiano");
    const QString relative = QDir(QCoreApplication::applicationDirPath()).relativeFilePath(dir.path());
    TLFInfoList list;
    list.SetFolder(relative);
    EXPECT_EQ(list.FolderPath(), relative);
    EXPECT_EQ(list.FullPath(), QDir::cleanPath(dir.path()));
    EXPECT_EQ(list.Count(), 1);

    const QString missing = QDir::cleanPath(QCoreApplication::applicationDirPath() + "/no/such/folder");
    try {
        list.SetFolder("no/such/folder");
        FAIL() << "no error";
    } catch (const ELocOnFlyError& e) {
        EXPECT_EQ(e.Message(), QString("Specified path \"%1\" does not exist").arg(missing));
    }
    EXPECT_EQ(list.FolderPath(), relative);
    EXPECT_EQ(list.Count(), 1);

    QTemporaryDir empty;
    TLFInfoList none;
    none.SetFolder(empty.path());
    EXPECT_EQ(none.Count(), 0);
    EXPECT_EQ(none.NativeIndex(), -1);
}
