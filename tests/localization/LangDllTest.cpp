// Language DLLs built from the program's native copy and language files as
// the build makes them (tessvar.ntv, tessvar.ntv.lng, tessvar.BG.lng), read
// back by pefile and wrestool, switched in as the resource module by
// TKLocUtils and by the on-the-fly localizer.
#include "localization/KHelpers.h"
#include "localization/LocLangFile.h"
#include "localization/LocOnFly.h"
#include "localization/LocUtils.h"
#include "localization/PEResourceImage.h"
#include "localization/WinResProc.h"
#include "platform/forms/Forms.h"
#include "platform/forms/FormsRegistration.h"
#include "platform/forms/StdCtrls.h"
#include "platform/os/Modules.h"
#include "platform/os/ProgramFile.h"
#include "platform/rtl/Streams.h"
#include "resources/ProgramResources.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/FuzzLoop.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

namespace {

const QString kBuilt = QStringLiteral(TESSVAR_LANGUAGE_DIR);

QByteArray ReadFile(const QString& name)
{
    QFile file(name);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << qPrintable(name);
    return file.readAll();
}

void WriteFile(const QString& name, const QByteArray& bytes)
{
    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << qPrintable(name);
    file.write(bytes);
}

QString RunTool(const QString& program, const QStringList& args)
{
    QProcess process;
    process.start(program, args);
    EXPECT_TRUE(process.waitForFinished(30000)) << qPrintable(program);
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().constData();
    return QString::fromUtf8(process.readAllStandardOutput());
}

// A folder standing for the program's: the build's language files beside a
// program file "tessvar", and the program's image as the resource module.
class LangDll : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Folder.isValid());
        for (const char* name : {"tessvar.ntv.lng", "tessvar.ntv", "tessvar.BG.lng"})
            ASSERT_TRUE(QFile::copy(kBuilt + u'/' + QLatin1String(name), Path(name)));
        SetProgramFileName(Path("tessvar"));
        InitProgramResources(ProgramResourceImageBytes());
        InitLocalization();
        LocalizerOnFly()->ErrorReaction = TErrorReaction::erException;
    }
    void TearDown() override
    {
        DoneLocalization();
        ResetResourceModule();
        SetProgramFileName(QString());
    }
    QString Path(const QString& name) const { return Folder.filePath(name); }

    // The store with the native language and locale 2; the file's index set.
    void LoadBulgarian(TLocStorage& store, TLangFile& bulgarian)
    {
        TLangFile native(Path("tessvar.ntv.lng"), true);
        native.Load(&store, -1, 0);
        const int index = store.AddLanguage(0, 2);
        bulgarian.Load(&store, index, 0);
        bulgarian.SetLangIndex(index);
    }

    QTemporaryDir Folder;
};

TEST_F(LangDll, IsAPeImageWithTheLanguagesSettingsBlock)
{
    TLocStorage store;
    TLangFile bulgarian(Path("tessvar.BG.lng"), true);
    LoadBulgarian(store, bulgarian);
    bulgarian.CreateLDLL(QByteArray(), Path("tessvar.BG"), Path("tessvar.ntv"), &store, true);
    EXPECT_FALSE(bulgarian.NativeExeMismatch());
    EXPECT_TRUE(bulgarian.NativeExeMismatchText().isEmpty());

    const QString wrestool = RunTool("wrestool", {"-l", Path("tessvar.BG")});
    EXPECT_TRUE(wrestool.contains("--name='VLT_LIBSETTINGS_'")) << qPrintable(wrestool);
    EXPECT_FALSE(wrestool.contains("VLT_EXESETTINGS_"));
    EXPECT_TRUE(wrestool.contains("--name='TFTESSVAR'"));
    const char* script = R"(
import sys, pefile
pe = pefile.PE(sys.argv[1])
for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
    for n in t.directory.entries:
        if n.name is not None and str(n.name) == 'VLT_LIBSETTINGS_':
            d = n.directory.entries[0].data.struct
            print(pe.get_data(d.OffsetToData, d.Size).hex())
)";
    const QByteArray block =
        QByteArray::fromHex(RunTool("/usr/bin/python3", {"-c", script, Path("tessvar.BG")}).trimmed().toLatin1());
    TLangFile native(Path("tessvar.ntv.lng"), true);
    // "LDLL", the native version, locale 02 00, "Bulgarian", the name in
    // itself, block version 6, reserved, the build, one spare byte.
    QByteArray expected = "LDLL";
    const int32_t version = qToLittleEndian(native.Version());
    expected += QByteArray(reinterpret_cast<const char*>(&version), 4);
    expected += QByteArray("\x02\x00\x09\x00", 4) + "Bulgarian";
    const QString localized = bulgarian.LangLocalizedName();
    expected += char(localized.size()) + QByteArray(1, '\0');
    for (QChar c : localized)
        expected += QByteArray(1, char(c.unicode() & 0xFF)) + char(c.unicode() >> 8);
    const uint32_t build = qToLittleEndian(bulgarian.Build());
    expected += QByteArray("\x06\x00\x00\x00", 4) + QByteArray(reinterpret_cast<const char*>(&build), 4) +
                QByteArray(1, '\0');
    EXPECT_EQ(block.toHex(), expected.toHex());
}

TEST_F(LangDll, RefusesNativeResourcesWithoutTheBlockAndKeepsTheOldFile)
{
    TResProcessor plain;
    plain.AddBlock(std::make_unique<TResString>());
    static_cast<TResString*>(plain.GetItems(0))->Add(999, "ATTENTION");
    WriteFile(Path("plain.dll"), plain.CreateDLLImage());
    WriteFile(Path("tessvar.BG"), "old");
    TLocStorage store;
    TLangFile bulgarian(Path("tessvar.BG.lng"), true);
    LoadBulgarian(store, bulgarian);
    try {
        bulgarian.CreateLDLL(QByteArray(), Path("tessvar.BG"), Path("plain.dll"), &store, true);
        FAIL() << "built from resources without a settings block";
    } catch (const ELangFileError& e) {
        EXPECT_EQ(e.Message(), "Can't create DLL. The native DLL is invalid");
    }
    EXPECT_EQ(ReadFile(Path("tessvar.BG")), "old");
    EXPECT_EQ(QDir(Folder.path()).entryList(QDir::Files).size(), 5); // no temporary file is left
}

// A DLL built on a disk with room for only part of it (a file size limit in
// a child process): the old DLL keeps every byte and the error names it.
// With room the DLL is complete; one cut short on the disk is refused with
// its name.
TEST_F(LangDll, BuildCutShortKeepsTheOldDllAndACutDllIsNamed)
{
    WriteFile(Path("tessvar.BG"), "old");
    TLocStorage store;
    TLangFile bulgarian(Path("tessvar.BG.lng"), true);
    LoadBulgarian(store, bulgarian);
    const QString message = RunWithFileSizeLimit(4096, [&] {
        try {
            bulgarian.CreateLDLL(QByteArray(), Path("tessvar.BG"), Path("tessvar.ntv"), &store, true);
        } catch (const Exception& e) {
            return e.Message();
        }
        return QStringLiteral("built");
    });
    EXPECT_TRUE(message.startsWith("Cannot create file \"" + Path("tessvar.BG") + "\". ")) << qPrintable(message);
    EXPECT_EQ(ReadFile(Path("tessvar.BG")), "old");

    bulgarian.CreateLDLL(QByteArray(), Path("tessvar.BG"), Path("tessvar.ntv"), &store, true);
    const QByteArray built = ReadFile(Path("tessvar.BG"));
    TMemoryStream image;
    bulgarian.CreateLDLLStream(QByteArray(), image, Path("tessvar.ntv"), &store, false, true);
    ASSERT_GT(image.Size(), 4096);
    EXPECT_EQ(built.size(), image.Size());
    TResProcessor whole;
    whole.LoadPEFile(Path("tessvar.BG"));

    // Headers whole, the resource section cut after its first bytes.
    WriteFile(Path("cut.BG"), built.left(0x400 + 40));
    try {
        TResProcessor cut;
        cut.LoadPEFile(Path("cut.BG"));
        ADD_FAILURE() << "a cut DLL was read";
    } catch (const Exception& e) {
        EXPECT_TRUE(e.Message().endsWith("\n" + Path("cut.BG"))) << qPrintable(e.Message());
    }
    EXPECT_EQ(QDir(Folder.path()).entryList({"*.tmp"}, QDir::Files | QDir::Hidden), QStringList());
}

TEST_F(LangDll, ResourceModuleSwitchingChecksTheVersion)
{
    TKLocUtils& utils = *LocUtils();
    EXPECT_EQ(utils.PreloadResModule(0, QString()), kAppInstance);
    EXPECT_EQ(utils.CurrentResModule(), kAppInstance);

    // A DLL of another version: refused under the localizer, the program's
    // image stays the resource module.
    TLocStorage store;
    TLangFile bulgarian(Path("tessvar.BG.lng"), true);
    LoadBulgarian(store, bulgarian);
    bulgarian.SetVersion(bulgarian.Version() + 5);
    TMemoryStream image;
    bulgarian.CreateLDLLStream(QByteArray(), image, Path("tessvar.ntv"), &store, true, true);
    WriteFile(Path("tessvar.BG"), image.Bytes());
    EXPECT_EQ(utils.LoadResource(Path("tessvar.BG")), kAppInstance);
    EXPECT_EQ(utils.CurrentResModule(), kAppInstance);
    utils.SetUnderOnFly(false);
    EXPECT_THROW(utils.PreloadResModule(0, Path("tessvar.BG")), ELUOutOfVersion);
    utils.SetUnderOnFly(true);

    // The right version: strings come from the DLL until the program's own
    // image is back.
    bulgarian.SetVersion(bulgarian.Version() - 5);
    bulgarian.CreateLDLL(QByteArray(), Path("tessvar.BG"), Path("tessvar.ntv"), &store, true);
    EXPECT_NE(utils.LoadResource(Path("tessvar.BG")), kAppInstance);
    EXPECT_EQ(utils.GetCurrentInfo().Locale, 2u);
    EXPECT_TRUE(LoadStr(999).startsWith(u'['));
    utils.BackToExe();
    EXPECT_EQ(LoadStr(999), "ATTENTION");
    EXPECT_EQ(utils.GetCurrentInfo().Locale, 0x0409u);

    // The list: the program, then the DLLs, never the native copy or backups.
    for (const char* name : {"tessvar.exe", "tessvar.~ex", "tessvar.bak"})
        QFile::copy(Path("tessvar.BG"), Path(name));
    TDLLInfoList list;
    ASSERT_TRUE(utils.GetDLLsInfo(&list));
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Items(0)->Locale, 0x0409u);
    EXPECT_EQ(list.Items(1)->Locale, 2u);
    EXPECT_EQ(list.Items(1)->EnglishName, "Bulgarian");
}

TEST(SettingsBlock, ReadsShortBlocksWithoutReadingPastThem)
{
    QByteArray names = QByteArray("LDLL\x07\x00\x00\x00\x02\x00\x01\x00" "B\x01\x00" "b\x00", 17);
    const QByteArray tail = QByteArray("\x06\x00\x00\x00\x2A\x00\x00\x00\x00", 9);
    struct Row {
        int Cut; // bytes of tail kept
        uint16_t BlockVersion;
        uint32_t Build;
    };
    for (const Row& row : {Row{9, 6, 42}, Row{8, 6, 42}, Row{4, 6, 0}, Row{2, 6, 0}, Row{0, 0, 0}}) {
        const TSettingsBlock block = ParseSettingsBlock(names + tail.left(row.Cut));
        EXPECT_EQ(block.Version, 7) << row.Cut;
        EXPECT_EQ(block.Locale, 2) << row.Cut;
        EXPECT_EQ(block.EnglishName, "B");
        EXPECT_EQ(block.LocalizedName, "b");
        EXPECT_EQ(block.BlockVersion, row.BlockVersion) << row.Cut;
        EXPECT_EQ(block.Build, row.Build) << row.Cut;
    }
    for (int cut = 0; cut < names.size(); ++cut)
        EXPECT_THROW(ParseSettingsBlock(names.left(cut)), EReadError) << cut;
    RunFuzzLoop([](const QByteArray& bytes) { ParseSettingsBlock(bytes); }, {names + tail}, 1.0);
}

TEST(EmbeddedLanguages, ReadsEveryFormatAndRefusesCutResources)
{
    // Format 5: two unused fields, names, version and build, 32-bit sizes.
    QByteArray data = QByteArray("KLL\x05\x00" "AAAABBBB" "\x01\x00" "\x02\x00", 17);
    data += QByteArray("\x03\x00" "Bul" "\x01\x00" "b\x00" "\x07\x00\x00\x00" "\x09\x00\x00\x00", 17);
    data += QByteArray("\x03\x00\x00\x00" "LF!", 7);
    const std::vector<TEmbeddedLanguage> languages = ReadEmbeddedLanguages(data);
    ASSERT_EQ(languages.size(), 1u);
    EXPECT_EQ(languages[0].Locale, 2);
    EXPECT_EQ(languages[0].EnglishName, "Bul");
    EXPECT_EQ(languages[0].LocalizedName, "b");
    EXPECT_EQ(languages[0].Version, 7u);
    EXPECT_EQ(languages[0].Build, 9u);
    EXPECT_EQ(languages[0].Data, "LF!");
    for (int cut = 0; cut < data.size(); ++cut) {
        try {
            ReadEmbeddedLanguages(data.left(cut));
            ADD_FAILURE() << "cut at " << cut << " was taken";
        } catch (const ELocOnFlyError& e) {
            EXPECT_EQ(e.Message(), "Invalid KLANGS resource");
        }
    }
    RunFuzzLoop([](const QByteArray& bytes) { ReadEmbeddedLanguages(bytes); }, {data}, 1.0);
}

TEST(LocUtilsData, DamagedDllsAreRefused)
{
    QTemporaryDir folder;
    const QString name = folder.filePath("x.BG");
    TKLocUtils utils;
    utils.SetUnderOnFly(true);
    RunFuzzLoop(
        [&](const QByteArray& bytes) {
            QFile file(name);
            file.open(QIODevice::WriteOnly);
            file.write(bytes);
            file.close();
            const THModule module = utils.LoadDataModule(name);
            TDLLInfoItem item;
            try {
                utils.GetDLLInfo(module, true, item);
            } catch (...) {
                utils.FreeDataModule(module);
                throw;
            }
            utils.FreeDataModule(module);
        },
        {ReadFile(kBuilt + "/tessvar.ntv")}, 2.0);
}

// --- the localizer -----------------------------------------------------------------

TEST_F(LangDll, LocalizerNeedsInitAndFindsTheNativeFileTwoLevelsUp)
{
    TKLocalizerOnFly& localizer = *LocalizerOnFly();
    try {
        localizer.SwitchTo(2);
        FAIL() << "switched before Init";
    } catch (const ELocOnFlyError& e) {
        EXPECT_EQ(e.Message(), "Localizer is not initialized");
    }
    ASSERT_TRUE(QDir(Folder.path()).mkpath("a/b"));
    localizer.Init("a/b");
    EXPECT_EQ(localizer.LangList().FullPath(), QDir::cleanPath(Folder.path()));
    EXPECT_EQ(localizer.NativeLocale(), 0x0409u);
    EXPECT_EQ(localizer.CurrentLocale(), 0x0409u);
    try {
        localizer.Init("a");
        FAIL() << "no native file";
    } catch (const ELocOnFlyError& e) {
        EXPECT_EQ(e.Message(), "Language file \"" + QDir::cleanPath(Path("a/tessvar.ntv.lng")) + "\" is not found");
    }
}

TEST_F(LangDll, LocalizerReusesAnUpToDateDllAndRebuildsAnOtherBuild)
{
    TKLocalizerOnFly& localizer = *LocalizerOnFly();
    localizer.Init(QString());
    localizer.SwitchTo(0x0409); // the native locale goes through "ntv"
    EXPECT_EQ(localizer.CurrentLocale(), 0x0409u);
    EXPECT_EQ(LocUtils()->CurrentResModule(), kAppInstance);
    EXPECT_EQ(QDir(Folder.path()).entryList(QDir::Files).size(), 3);

    localizer.SwitchTo(2);
    ASSERT_TRUE(QFileInfo::exists(Path("tessvar.BG")));
    EXPECT_EQ(localizer.CurrentLocale(), 2u);
    EXPECT_TRUE(LoadStr(964).startsWith(u'['));
    localizer.SwitchToExt("ntv");
    EXPECT_EQ(LoadStr(964), "Impostare la lingua come predefinita ?");

    // Same version and build: the DLL is taken as it is.
    QFile dll(Path("tessvar.BG"));
    const QDateTime old = QDateTime::currentDateTimeUtc().addSecs(-3600);
    ASSERT_TRUE(dll.open(QIODevice::ReadWrite));
    ASSERT_TRUE(dll.setFileTime(old, QFileDevice::FileModificationTime));
    dll.close();
    localizer.SwitchTo(2);
    EXPECT_EQ(QFileInfo(Path("tessvar.BG")).lastModified().toUTC(), old);
    EXPECT_TRUE(LoadStr(964).startsWith(u'['));
    localizer.SwitchToExt("ntv");

    // Another build of the language file: built again.
    TLangFile file(Path("tessvar.BG.lng"));
    file.SetBuild(file.Build() + 1);
    file.SaveHeader(Path("tessvar.BG.lng"));
    localizer.SwitchTo(2);
    EXPECT_NE(QFileInfo(Path("tessvar.BG")).lastModified().toUTC(), old);
    EXPECT_EQ(LocUtils()->GetCurrentInfo().LFBuild, file.Build());
}

TEST_F(LangDll, LanguageFilesMatchWithoutRegardToCase)
{
    ASSERT_TRUE(QFile::rename(Path("tessvar.BG.lng"), Path("TESSVAR.bg.lng")));
    TKLocalizerOnFly& localizer = *LocalizerOnFly();
    localizer.Init(QString());
    localizer.SwitchTo(2);
    EXPECT_EQ(localizer.CurrentLocale(), 2u);
    EXPECT_TRUE(LoadStr(999).startsWith(u'['));
}

TEST_F(LangDll, ModuleImagesAreTranslatedKeepingTheirVersion)
{
    TLocStorage store;
    TLangFile bulgarian(Path("tessvar.BG.lng"), true);
    LoadBulgarian(store, bulgarian);
    const TPEResourceImage image(bulgarian.UpdateResources(ProgramResourceImageBytes(), &store, true));
    QString text;
    ASSERT_TRUE(image.FindString(999, text));
    EXPECT_TRUE(text.startsWith(u'['));
    QByteArray data;
    EXPECT_TRUE(image.FindResource(RT_VERSION, "#1", data));
    EXPECT_TRUE(image.FindResource(RT_RCDATA, "VLT_LIBSETTINGS_", data));
    EXPECT_FALSE(image.FindResource(RT_RCDATA, "VLT_EXESETTINGS_", data));
}

// The module's window, as the module would create it.
class TfGaugeModule : public TForm {
public:
    explicit TfGaugeModule(TComponent* owner) : TForm(owner)
    {
        SetName("fGaugeModule");
        lTitle = new TLabel(this);
        lTitle->SetName("lTitle");
        lTitle->SetParent(this);
        lTitle->SetText("Thread gauges");
    }
    TLabel* lTitle;
};

// Library modules beside the program, switched with it: one that switches
// its own resources through its entries, a package whose resources the
// program sets, and, listed first, a copy of the module without its native
// language file, which fails and is passed over.
TEST_F(LangDll, OtherModulesSwitchWithTheProgram)
{
    const QString modules = QStringLiteral(TESSVAR_GAUGE_MODULE_DIR);
    auto copy = [&](const QString& from, const QString& to) {
        ASSERT_TRUE(QFile::copy(modules + u'/' + from, Path(to))) << qPrintable(from);
    };
    copy("gaugemodule.so", "brokenmodule.so");
    copy("gaugemodule.BG.lng", "brokenmodule.BG.lng");
    copy("gaugemodule.so", "gaugemodule.so");
    copy("gaugepackage.so", "gaugepackage.so");
    for (const char* program : {"gaugemodule", "gaugepackage"})
        for (const char* ext : {".ntv.lng", ".BG.lng"})
            copy(QString("gaugemodule") + ext, QString(program) + ext);
    const TModuleInstance broken = RegisterLibraryModule(Path("brokenmodule.so"));
    const TModuleInstance module = RegisterLibraryModule(Path("gaugemodule.so"));
    const TModuleInstance package = RegisterLibraryModule(Path("gaugepackage.so"));
    EXPECT_EQ(RegisterLibraryModule(Path("gaugemodule.so")), module);
    EXPECT_EQ(LoadedModules(), (std::vector<TModuleInstance>{kProgramModule, broken, module, package}));
    EXPECT_TRUE(IsPackageModule(package));
    EXPECT_FALSE(IsPackageModule(module));
    EXPECT_EQ(LoadModuleStr(module, 2), "Ring gauge");

    RegisterFormsClasses();
    if (!FindClass("TfGaugeModule"))
        RegisterClass<TfGaugeModule>("TfGaugeModule", "TForm");
    std::unique_ptr<TfGaugeModule> window(NewForm<TfGaugeModule>(nullptr));

    TKLocalizerOnFly& localizer = *LocalizerOnFly();
    localizer.TranslatePackages = true;
    localizer.Init(QString());
    EXPECT_TRUE(localizer.SwitchTo(2));
    EXPECT_TRUE(LoadStr(999).startsWith(u'['));
    for (const TModuleInstance translated : {module, package}) {
        EXPECT_TRUE(LoadModuleStr(translated, 2).startsWith(u'[')) << qPrintable(LoadModuleStr(translated, 2));
        EXPECT_EQ(LoadModuleStr(translated, 2).size(), QString("[Ring gauge]").size());
    }
    EXPECT_EQ(LoadModuleStr(broken, 2), "Ring gauge");
    // Its window takes the module's texts; the program's store has none of it.
    EXPECT_EQ(window->lTitle->Caption(), QString::fromUtf8("[Тhrеаd gаugеs]"));
    EXPECT_TRUE(QFileInfo::exists(Path("gaugemodule.BG")));
    EXPECT_TRUE(QFileInfo::exists(Path("gaugepackage.BG")));
    EXPECT_FALSE(QFileInfo::exists(Path("brokenmodule.BG")));

    // Back to native, and again to the language.
    EXPECT_TRUE(localizer.SwitchToExt("ntv"));
    EXPECT_EQ(LoadModuleStr(module, 2), "Ring gauge");
    EXPECT_EQ(LoadModuleStr(package, 2), "Ring gauge");
    EXPECT_TRUE(localizer.SwitchTo(2));
    EXPECT_TRUE(LoadModuleStr(module, 3).startsWith(u'['));
    EXPECT_TRUE(LoadModuleStr(package, 3).startsWith(u'['));

    // The program going back to its own resources takes the packages along.
    LocUtils()->BackToExe();
    EXPECT_EQ(LoadModuleStr(package, 3), "Plug gauge");
    for (const TModuleInstance listed : {broken, module, package})
        UnregisterLibraryModule(listed);
    EXPECT_EQ(LoadedModules(), std::vector<TModuleInstance>{kProgramModule});
}

TEST(ModuleList, RefusesLibrariesWithoutResources)
{
    QTemporaryDir folder;
    WriteFile(folder.filePath("empty.so"), "not a library");
    EXPECT_THROW(RegisterLibraryModule(folder.filePath("empty.so")), EFOpenError);
    EXPECT_THROW(RegisterLibraryModule(folder.filePath("missing.so")), EFOpenError);
    EXPECT_EQ(LoadedModules(), std::vector<TModuleInstance>{kProgramModule});
}

} // namespace
