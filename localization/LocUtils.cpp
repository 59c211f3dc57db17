#include "localization/LocUtils.h"

#include "localization/KHelpers.h"
#include "localization/KLocales.h"
#include "localization/LocMenu_p.h"
#include "localization/PEResourceImage.h"

#include "platform/forms/Forms.h"
#include "platform/forms/Menus.h"
#include "platform/os/DataFolders.h"
#include "platform/os/Modules.h"
#include "platform/os/ProgramFile.h"
#include "platform/rtl/IniFiles.h"
#include "platform/rtl/Streams.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <cstring>

namespace {

std::unique_ptr<TKLocUtils>& Global()
{
    static std::unique_ptr<TKLocUtils> instance;
    return instance;
}

const QString kNoFileName;

// A menu item that switches to one DLL of the list.
class TLocUtilsMenuItem : public TMenuItem {
public:
    TLocUtilsMenuItem(TComponent* owner, TKLocUtils& utils, TDLLInfoItem info)
        : TMenuItem(owner), FUtils(utils), FInfo(std::move(info))
    {
    }
    void Click() override
    {
        if (Checked())
            return;
        FUtils.SwitchToFile(FInfo.FileName.isEmpty() ? FUtils.AppFileName() : FInfo.FileName);
        if (FUtils.ActionType() == TLocAction::laNow) {
            if (TMenuItem* parent = Parent())
                for (int i = 0; i < parent->Count(); ++i)
                    parent->Items(i)->SetChecked(false);
            SetChecked(true);
        }
        bool restart = false;
        if (FUtils.OnLangSwitch)
            FUtils.OnLangSwitch(FUtils, this, FInfo, restart);
        if (restart && FUtils.ActionType() == TLocAction::laDefer) {
            if (Application())
                Application()->Terminate();
            QDesktopServices::openUrl(QUrl::fromLocalFile(FUtils.AppFileName()));
        }
    }

private:
    TKLocUtils& FUtils;
    TDLLInfoItem FInfo;
};

void CopyAnsi(char* target, size_t size, const QString& text)
{
    const QByteArray bytes = WideToAnsiCP(text, 0).left(int(size) - 1);
    std::memcpy(target, bytes.constData(), size_t(bytes.size()));
    target[bytes.size()] = '\0';
}

} // namespace

void TAsInheritedReader::ReadPrefix(TFilerFlags& flags, int& childPos)
{
    TReader::ReadPrefix(flags, childPos);
    flags |= ffInherited;
}

TKLocUtils::TKLocUtils()
{
    SetAppFileName(ProgramFileName());
}

TKLocUtils::~TKLocUtils() = default;

void TKLocUtils::SetAppFileName(const QString& fileName)
{
    FAppFileName = fileName;
    if (FOriginalDLLPath)
        FDLLsPath = QFileInfo(fileName).absolutePath() + u'/';
}

void TKLocUtils::SetDLLsPath(const QString& path)
{
    FDLLsPath = path;
    FOriginalDLLPath = false;
}

void TKLocUtils::SetRegistry(const QString& key, const QString& subKey, const QString& valueName)
{
    FRegKey = key;
    FRegSubKey = subKey;
    FRegValName = valueName;
}

QByteArray TKLocUtils::ModuleImage(THModule module) const
{
    if (module == FAppInstance)
        return ProgramResourceImageData();
    const auto found = FModules.find(module);
    if (found != FModules.end())
        return found->second.Image;
    return IsLoadedModule(module) ? LoadedModuleImage(module) : QByteArray();
}

QString TKLocUtils::ModuleFileName(THModule module) const
{
    if (module == FAppInstance)
        return FAppFileName;
    const auto found = FModules.find(module);
    if (found != FModules.end())
        return found->second.FileName;
    return IsLoadedModule(module) ? LoadedModuleFileName(module) : kNoFileName;
}

THModule TKLocUtils::ModuleResModule(THModule module) const
{
    if (module == 0 || module == FAppInstance)
        return FCurrentRes;
    const auto found = FModuleRes.find(module);
    return found == FModuleRes.end() ? module : found->second;
}

THModule TKLocUtils::LoadDataModule(const QString& fileName)
{
    QFile file;
    QByteArray image;
    const int error = OpenRegularForReading(file, fileName);
    if (error != 0 || (image = file.readAll()).isEmpty())
        throw ELULoadResLibError(AddNotAFileReason(
            QStringLiteral("Error loading resource file \"%1\"").arg(fileName), fileName, error));
    try {
        TPEResourceImage check(image);
    } catch (const Exception&) {
        throw ELULoadResLibError(QStringLiteral("Error loading resource file \"%1\"").arg(fileName));
    }
    const THModule handle = FNextHandle++;
    FModules[handle] = TDataModule{QFileInfo(fileName).absoluteFilePath(), image};
    return handle;
}

void TKLocUtils::FreeDataModule(THModule module)
{
    if (module == FCurrentRes)
        return;
    for (const auto& [listed, res] : FModuleRes)
        if (res == module)
            return;
    FModules.erase(module);
}

TSettingsBlock TKLocUtils::OpenSettingsBlock(THModule instance, bool isDll) const
{
    const QString& name = isDll ? kLibSettingsName : kExeSettingsName;
    const char* signature = isDll ? "LDLL" : "KEXE";
    const QString invalid = QStringLiteral("Invalid resource file format \"%1\"").arg(ModuleFileName(instance));
    QByteArray data;
    try {
        const QByteArray image = ModuleImage(instance);
        if (image.isEmpty())
            throw ELUInvalidResLibrary(invalid);
        const TPEResourceImage resources(image);
        if (!resources.FindResource(RT_RCDATA, name, data) || !data.startsWith(signature))
            throw ELUInvalidResLibrary(invalid);
        return ParseSettingsBlock(data);
    } catch (const ELUInvalidResLibrary&) {
        throw;
    } catch (const Exception&) {
        throw ELUInvalidResLibrary(invalid);
    }
}

void TKLocUtils::GetDLLInfo(THModule instance, bool isDll, TDLLInfoItem& item) const
{
    const TSettingsBlock block = OpenSettingsBlock(instance, isDll);
    item.FileName = instance == FAppInstance ? QString() : ModuleFileName(instance);
    item.Locale = block.Locale;
    item.Version = block.Version;
    item.EnglishName = block.EnglishName;
    item.LocalizedName = block.LocalizedName;
    item.LFBuild = block.Build;
}

const TDLLInfoItem& TKLocUtils::GetCurrentInfo()
{
    try {
        TDLLInfoItem item;
        GetDLLInfo(FCurrentRes, true, item);
        FCurrentDLLInfo = item;
    } catch (const Exception&) {
        // The program's own image carries no DLL block: keep what was known.
    }
    return FCurrentDLLInfo;
}

THModule TKLocUtils::PreloadResModule(THModule module, const QString& fileName)
{
    if (fileName.isEmpty())
        return FAppInstance;
    const THModule dll = LoadDataModule(fileName);
    if (module == 0)
        module = FAppInstance;
    bool same = false;
    try {
        const TSettingsBlock own = OpenSettingsBlock(module, module != FAppInstance);
        const TSettingsBlock other = OpenSettingsBlock(dll, true);
        same = own.Version == other.Version;
    } catch (...) {
        FModules.erase(dll);
        throw;
    }
    if (!same) {
        FModules.erase(dll);
        if (FUnderOnFly)
            return 0;
        throw ELUOutOfVersion(
            QStringLiteral("Resource file %1 is not synhronized with executable.").arg(fileName) +
            QStringLiteral("\r\nPlease, update the file (using \"Refresh\" operation in Localizer or \"Create "
                           "DLL\" command in Lexorand) and try again"));
    }
    return dll;
}

THModule TKLocUtils::SetResourceHInstance(THModule moduleInst, THModule newInst)
{
    if (moduleInst == 0)
        moduleInst = FAppInstance;
    if (newInst == 0)
        newInst = FAppInstance;
    if (moduleInst != FAppInstance)
        return SetLibraryResources(moduleInst, newInst);
    if (newInst == FAppInstance)
        ResetResourceModule();
    else
        SetResourceModule(ModuleImage(newInst));
    const THModule old = FCurrentRes;
    FCurrentRes = newInst;
    if (old != FAppInstance && old != newInst)
        FModules.erase(old);
    return newInst;
}

// A listed library module's resource module; the DLL it replaces is freed.
THModule TKLocUtils::SetLibraryResources(THModule module, THModule newInst)
{
    if (!IsLoadedModule(module))
        return 0;
    if (newInst == FAppInstance)
        newInst = module;
    if (newInst == module)
        ResetModuleResources(module);
    else
        SetModuleResourceImage(module, ModuleImage(newInst));
    const THModule old = ModuleResModule(module);
    if (newInst == module)
        FModuleRes.erase(module);
    else
        FModuleRes[module] = newInst;
    if (old != module && old != newInst)
        FModules.erase(old);
    return newInst;
}

THModule TKLocUtils::LoadResource(const QString& fileName)
{
    return SetResourceHInstance(0, PreloadResModule(0, fileName));
}

THModule TKLocUtils::LoadResourceExt(const QString& ext)
{
    return LoadResource(DLLName(ext));
}

void TKLocUtils::BackToExe()
{
    SetResourceHInstance(0, FAppInstance);
    for (const TModuleInstance module : LoadedModules())
        if (module == kProgramModule || IsPackageModule(module))
            BackToModuleRes(module == kProgramModule ? FAppInstance : module);
}

void TKLocUtils::BackToModuleRes(THModule module)
{
    SetResourceHInstance(module, module);
}

QString TKLocUtils::GetFileExt(uint32_t locale) const
{
    const QString abbreviation = GetLocaleString(locale, LOCALE_SABBREVLANGNAME).left(5);
    return (locale & ~0xFFu) == 0 ? abbreviation.left(2) : abbreviation;
}

QString TKLocUtils::DLLName(const QString& ext) const
{
    return FindFileNoCase(QDir(FDLLsPath).filePath(QFileInfo(FAppFileName).completeBaseName() + u'.' + ext));
}

uint32_t TKLocUtils::NativeLocale() const
{
    const QString native = DLLName(QStringLiteral("ntv"));
    auto* self = const_cast<TKLocUtils*>(this);
    try {
        THModule module = FAppInstance;
        if (QFileInfo::exists(native))
            module = self->LoadDataModule(native);
        TSettingsBlock block;
        try {
            block = OpenSettingsBlock(module, true);
        } catch (...) {
            if (module != FAppInstance)
                self->FModules.erase(module);
            throw;
        }
        if (module != FAppInstance)
            self->FModules.erase(module);
        return block.Locale;
    } catch (const Exception&) {
        return 0;
    }
}

void TKLocUtils::SwitchTo(uint32_t locale)
{
    if (locale == NativeLocale()) {
        SwitchToExt(QStringLiteral("exe"));
        return;
    }
    const QString ext = GetFileExt(locale);
    if (ext.isEmpty())
        throw ELocUtilsError(QStringLiteral("Can not get locale info"));
    SwitchToExt(ext);
}

void TKLocUtils::SwitchToExt(const QString& ext)
{
    SwitchToFile(DLLName(ext));
}

void TKLocUtils::TranslateTo(const QString& fileName, TLocAction actionType)
{
    FActionType = actionType;
    SwitchToFile(fileName);
}

void TKLocUtils::SwitchToFile(const QString& fileName)
{
    // The program's file has no ".exe" here: its own name means it too.
    const bool isExe = QFileInfo(fileName).suffix().compare(QLatin1String("exe"), Qt::CaseInsensitive) == 0 ||
                       QFileInfo(fileName).absoluteFilePath() == QFileInfo(FAppFileName).absoluteFilePath();
    if (FActionType == TLocAction::laNow) {
        if (isExe)
            BackToExe();
        else
            LoadResource(fileName);
        ReloadForms();
    } else if (!isExe) {
        const THModule dll = PreloadResModule(0, fileName);
        if (dll != 0 && dll != FAppInstance) {
            TDLLInfoItem item;
            try {
                GetDLLInfo(dll, true, item);
            } catch (...) {
                FreeDataModule(dll);
                throw;
            }
            FreeDataModule(dll);
        }
    }
    SaveChoice(isExe ? QStringLiteral("EXE") : QFileInfo(fileName).suffix().toUpper());
}

void TKLocUtils::SaveChoice(const QString& ext) const
{
    if (FRegKey.isEmpty())
        return;
    TIniFile ini(LocalizerRegistryFile());
    const QString section = FRegSubKey.isEmpty() ? FRegKey : FRegKey + u'\\' + FRegSubKey;
    ini.WriteString(section, FRegValName, ext);
    ini.UpdateFile();
}

void TKLocUtils::ReloadForms()
{
    for (TCustomForm* form : ScreenForms()) {
        QByteArray stream;
        if (!FindResourceData(RT_RCDATA, form->ClassName().toUpper(), stream))
            continue;
        TMemoryStream source(stream);
        TAsInheritedReader reader(source);
        reader.OnFindMethod = [form](TComponent*, const QString& name) { return form->HasEventHandler(name); };
        reader.ReadRootComponent(form);
    }
}

bool TKLocUtils::Init()
{
    if (FCurrentRes == FAppInstance)
        return true;
    bool match = false;
    try {
        match = OpenSettingsBlock(FCurrentRes, true).Version == OpenSettingsBlock(FAppInstance, false).Version;
    } catch (const Exception&) {
        match = false;
    }
    if (!match && !FUnderOnFly)
        throw ELUOutOfVersion(
            QStringLiteral("Resource file %1 is not synhronized with executable.").arg(ModuleFileName(FCurrentRes)) +
            QStringLiteral("\r\nPlease, update the file (using \"Refresh\" operation in Localizer or \"Create "
                           "DLL\" command in Lexorand) and try again"));
    return match;
}

bool TKLocUtils::InitReg(const QString& regKey)
{
    const bool ownKey = !regKey.isEmpty();
    if (ownKey)
        SetRegistry(regKey, QString(), QStringLiteral("LocalizerExt"));
    else
        SetRegistry(QStringLiteral("Software\\Embarcadero\\"), QStringLiteral("Locales"), FAppFileName);
    const QString section = FRegSubKey.isEmpty() ? FRegKey : FRegKey + u'\\' + FRegSubKey;
    QString ext = TIniFile(LocalizerRegistryFile()).ReadString(section, FRegValName, QString());
    if (ext.compare(QLatin1String("EXE"), Qt::CaseInsensitive) == 0)
        ext.clear();
    if (ext.isEmpty()) {
        BackToExe();
        return true;
    }
    if (ownKey)
        LoadResourceExt(ext);
    return Init();
}

bool TKLocUtils::GetDLLsInfo(TDLLInfoList* list) const
{
    if (!list || !QFileInfo(FDLLsPath).isDir())
        return false;
    list->Clear();
    auto first = std::make_unique<TDLLInfoItem>();
    GetDLLInfo(FAppInstance, false, *first);
    list->Add(std::move(first));
    const QString base = QFileInfo(FAppFileName).completeBaseName();
    const QStringList names = QDir(FDLLsPath).entryList(QDir::Files, QDir::Name | QDir::IgnoreCase);
    auto* self = const_cast<TKLocUtils*>(this);
    for (const QString& name : names) {
        if (!name.startsWith(base + u'.', Qt::CaseInsensitive))
            continue;
        const QString ext = QFileInfo(name).suffix().toLower();
        if (ext == QLatin1String("ntv") || ext == QLatin1String("exe") || ext == QLatin1String("~ex") ||
            ext == QLatin1String("bak"))
            continue;
        const QString path = QDir(FDLLsPath).filePath(name);
        if (QFileInfo(path).absoluteFilePath() == QFileInfo(FAppFileName).absoluteFilePath())
            continue;
        try {
            const THModule dll = self->LoadDataModule(path);
            auto item = std::make_unique<TDLLInfoItem>();
            try {
                GetDLLInfo(dll, true, *item);
            } catch (...) {
                self->FreeDataModule(dll);
                throw;
            }
            self->FreeDataModule(dll);
            list->Add(std::move(item));
        } catch (const Exception&) {
            // Not a language DLL of this program.
        }
    }
    return true;
}

void TKLocUtils::PopulateMenu(TMenuItem* menuItem, int /*groupIndex*/, TLocAction actionType)
{
    FDllsInfo.Clear();
    bool listed = false;
    try {
        listed = GetDLLsInfo(&FDllsInfo);
    } catch (const Exception&) {
        listed = false;
    }
    if (!listed)
        throw ELocUtilsError(QStringLiteral("Error populating menu"));
    FActionType = actionType;
    const uint32_t current = GetCurrentInfo().Locale;
    for (int i = 0; i < FDllsInfo.Count(); ++i) {
        const TDLLInfoItem& info = *FDllsInfo.Items(i);
        loc_detail::AddLanguageMenuItem(menuItem, new TLocUtilsMenuItem(menuItem->Owner(), *this, info), i,
                                        info.EnglishName, info.Locale, info.Locale == current,
                                        [&](TMenuItem* item, bool& skip) {
                                            if (OnMenuItemAdd)
                                                OnMenuItemAdd(*this, info, item, skip);
                                        });
    }
}

void TKLocUtils::DllSwitchToFile(const QString& dllFileName, TDLLInfoStruct& info)
{
    SetResourceHInstance(FAppInstance, PreloadResModule(FAppInstance, dllFileName));
    TDLLInfoItem item;
    GetDLLInfo(FCurrentRes, FCurrentRes != FAppInstance, item);
    std::memset(&info, 0, sizeof info);
    CopyAnsi(info.FileName, sizeof info.FileName, item.FileName);
    info.Locale = item.Locale;
    info.Version = item.Version;
    CopyAnsi(info.EnglishName, sizeof info.EnglishName, item.EnglishName);
    const QString localized = item.LocalizedName.left(1022);
    for (int i = 0; i < localized.size(); ++i)
        info.LocalizedName[i] = char16_t(localized[i].unicode());
    info.LFBuild = item.LFBuild;
}

TKLocUtils* LocUtils()
{
    return Global().get();
}

void InitLocUtils()
{
    if (!Global())
        Global() = std::make_unique<TKLocUtils>();
}

void DoneLocUtils()
{
    Global().reset();
}

QString LocalizerRegistryFile()
{
    return MapWindowsPath(QStringLiteral("C:\\ProgramData\\Dravinel\\Tessvar\\")) +
           QStringLiteral("localizer.ini");
}
