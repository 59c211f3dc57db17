#pragma once
// TKLocUtils: translated resource-only DLLs as the program's resource module.
// It reads the settings block that identifies a DLL, checks that a DLL was
// built for the program's version, makes a DLL the resource module (so every
// later string and form look-up reads the translation), returns to the
// program's own resources, lists the DLLs beside the program and remembers
// the chosen language.
//
// The module handle kAppInstance stands for the program's resource image; the
// library modules of the module list (platform/os) are known by their
// instances, and other handles stand for DLLs loaded as data.
#include "localization/WinResProc.h"

#include "platform/objects/Filer.h"
#include "platform/rtl/Exceptions.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class TMenuItem;

RTL_EXCEPTION_CLASS(ELocUtilsError, Exception);
RTL_EXCEPTION_CLASS(ELULoadResLibError, ELocUtilsError);
RTL_EXCEPTION_CLASS(ELUInvalidResLibrary, ELocUtilsError);
RTL_EXCEPTION_CLASS(ELUOutOfVersion, ELocUtilsError);

using THModule = uintptr_t;
constexpr THModule kAppInstance = 1;

// The description of one module.
struct TDLLInfoItem {
    QString FileName; // the DLL's full name; empty for the program
    uint32_t Locale = 0;
    int32_t Version = 0;
    QString EnglishName;
    QString LocalizedName;
    uint32_t LFBuild = 0;
};

class TDLLInfoList {
public:
    int Count() const { return int(FItems.size()); }
    TDLLInfoItem* Items(int index) const { return FItems.at(size_t(index)).get(); }
    void Add(std::unique_ptr<TDLLInfoItem> item) { FItems.push_back(std::move(item)); }
    void Clear() { FItems.clear(); }
    void Erase(int index) { FItems.erase(FItems.begin() + index); }

private:
    std::vector<std::unique_ptr<TDLLInfoItem>> FItems;
};

// The flat description handed across module boundaries.
struct TDLLInfoStruct {
    char FileName[260];
    uint32_t Locale;
    int32_t Version;
    char EnglishName[1026];
    char16_t LocalizedName[1023];
    uint32_t LFBuild;
};

enum class TLocAction { laNow, laDefer };

// Reads a form stream onto a living form: every object counts as inherited,
// so the existing components are updated instead of new ones made.
class TAsInheritedReader : public TReader {
public:
    using TReader::TReader;
    void ReadPrefix(TFilerFlags& flags, int& childPos) override;
};

class TKLocUtils {
public:
    using TLUMenuItemAddEvent = std::function<void(TKLocUtils&, const TDLLInfoItem&, TMenuItem*, bool& skip)>;
    using TLULangSwitchEvent = std::function<void(TKLocUtils&, TMenuItem*, const TDLLInfoItem&, bool& restart)>;

    TKLocUtils();
    ~TKLocUtils();
    TKLocUtils(const TKLocUtils&) = delete;
    TKLocUtils& operator=(const TKLocUtils&) = delete;

    // Reads the settings block of instance (a DLL's or, with isDll false,
    // the program's) into item; ELUInvalidResLibrary when it is missing or
    // carries the wrong signature.
    void GetDLLInfo(THModule instance, bool isDll, TDLLInfoItem& item) const;
    // The current resource module described as a DLL; any failure keeps the
    // previous description (locale 0 at first).
    const TDLLInfoItem& GetCurrentInfo();
    // Loads fileName as data and checks its version against module's block;
    // an empty name answers AppInstance(). Under the localizer a DLL of
    // another version answers 0.
    THModule PreloadResModule(THModule module, const QString& fileName);
    // Makes newInst the resource module of moduleInst (0 = the program);
    // answers newInst, or 0 for a module that is not listed.
    THModule SetResourceHInstance(THModule moduleInst, THModule newInst);
    THModule LoadResource(const QString& fileName);
    THModule LoadResourceExt(const QString& ext);
    // The program and every package of the module list back to their own
    // resources.
    void BackToExe();
    void BackToModuleRes(THModule module);
    // The current resource module of a module (the module itself when none
    // replaces its resources).
    THModule ModuleResModule(THModule module) const;
    // The language file extension of a locale ("BG" for 2).
    QString GetFileExt(uint32_t locale) const;
    // The DLL name of an extension: <program>.<ext> in DLLsPath().
    QString DLLName(const QString& ext) const;

    uint32_t NativeLocale() const;
    void SwitchTo(uint32_t locale);
    void SwitchToExt(const QString& ext);
    void SwitchToFile(const QString& fileName);
    void TranslateTo(const QString& fileName, TLocAction actionType);
    bool Init();
    bool InitReg(const QString& regKey);
    bool GetDLLsInfo(TDLLInfoList* list) const;
    void PopulateMenu(TMenuItem* menuItem, int groupIndex, TLocAction actionType);
    void DllSwitchToFile(const QString& dllFileName, TDLLInfoStruct& info);

    // Reads every screen form again from its form resource onto itself.
    static void ReloadForms();

    const QString& DLLsPath() const { return FDLLsPath; }
    void SetDLLsPath(const QString& path);
    bool SafeWork() const { return FSafeWork; }
    void SetSafeWork(bool value) { FSafeWork = value; }
    const QString& ExeCmdLine() const { return FExeCmdLine; }
    void SetExeCmdLine(const QString& value) { FExeCmdLine = value; }
    TLocAction ActionType() const { return FActionType; }
    void SetActionType(TLocAction action) { FActionType = action; }
    const QString& AppFileName() const { return FAppFileName; }
    void SetAppFileName(const QString& fileName);
    THModule AppInstance() const { return FAppInstance; }
    void SetAppInstance(THModule instance) { FAppInstance = instance; }
    bool UnderOnFly() const { return FUnderOnFly; }
    void SetUnderOnFly(bool value) { FUnderOnFly = value; }
    // The current resource module of the program (AppInstance() when none).
    THModule CurrentResModule() const { return FCurrentRes; }
    // The image of a module; empty for an unknown handle.
    QByteArray ModuleImage(THModule module) const;
    // Loads an image file as data; answers its handle. ELULoadResLibError
    // when the file cannot be read or is no resource image.
    THModule LoadDataModule(const QString& fileName);
    void FreeDataModule(THModule module);
    QString ModuleFileName(THModule module) const;
    void SetRegistry(const QString& key, const QString& subKey, const QString& valueName);

    TLUMenuItemAddEvent OnMenuItemAdd;
    TLULangSwitchEvent OnLangSwitch;

private:
    TSettingsBlock OpenSettingsBlock(THModule instance, bool isDll) const;
    THModule SetLibraryResources(THModule module, THModule newInst);
    void SaveChoice(const QString& ext) const;

    TDLLInfoList FDllsInfo;
    TDLLInfoItem FCurrentDLLInfo;
    QString FRegKey, FRegSubKey, FRegValName;
    QString FDLLsPath;
    TLocAction FActionType = TLocAction::laDefer;
    bool FSafeWork = true;
    QString FExeCmdLine;
    bool FOriginalDLLPath = true;
    QString FAppFileName;
    THModule FAppInstance = kAppInstance;
    bool FUnderOnFly = false;
    THModule FCurrentRes = kAppInstance;
    struct TDataModule {
        QString FileName;
        QByteArray Image;
    };
    std::map<THModule, TDataModule> FModules;
    std::map<THModule, THModule> FModuleRes; // the resource modules of listed library modules
    THModule FNextHandle = 2;
};

// The global instance, made at start-up (InitLocUtils) and freed at shut-down.
TKLocUtils* LocUtils();
void InitLocUtils();
void DoneLocUtils();

// The ini file that stands for the registry keys of remembered languages:
// "localizer.ini" in the data folder "C:\ProgramData\Dravinel\Tessvar\".
QString LocalizerRegistryFile();
