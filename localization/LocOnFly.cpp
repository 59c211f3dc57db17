#include "localization/LocOnFly.h"

#include "localization/KHelpers.h"
#include "localization/KLocales.h"
#include "localization/LocLangFile.h"
#include "localization/LocMenu_p.h"
#include "localization/LocUtils.h"
#include "localization/kcompress.h"

#include "platform/forms/Forms.h"
#include "platform/forms/Menus.h"
#include "platform/forms/MessageService.h"
#include "platform/objects/Strings.h"
#include "platform/objects/TypInfo.h"
#include "platform/os/Modules.h"
#include "platform/rtl/IniFiles.h"
#include "platform/rtl/Streams.h"

#include "platform/os/ProgramFile.h"
#include "platform/rtl/FormatText.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QtEndian>

namespace {

// name matches <program>.*.lng without regard to case ("*" may be empty).
bool IsLanguageFileName(const QString& name, const QString& program)
{
    const QString prefix = program + u'.';
    const QString suffix = QStringLiteral(".lng");
    return name.size() >= prefix.size() + suffix.size() && name.startsWith(prefix, Qt::CaseInsensitive) &&
           name.endsWith(suffix, Qt::CaseInsensitive);
}

} // namespace

int TLFInfoList::Add(std::unique_ptr<TLFInfo> info)
{
    int index = 0;
    while (index < Count() &&
           Items(index)->EnglishName().compare(info->EnglishName(), Qt::CaseSensitive) <= 0)
        ++index;
    Insert(index, std::move(info));
    return index;
}

int TLFInfoList::IndexByLocaleEx(uint32_t locale, bool processNative) const
{
    for (int i = 0; i < Count(); ++i) {
        const TLFInfo* info = Items(i);
        if (info->Locale() == locale && (processNative || !info->Native()))
            return i;
    }
    return -1;
}

bool TLFInfoList::IsResLanguage(uint32_t locale) const
{
    const int index = IndexByLocale(locale);
    return index >= 0 && Items(index)->FileName().isEmpty();
}

int TLFInfoList::NativeIndex() const
{
    for (int i = 0; i < Count(); ++i)
        if (Items(i)->Native())
            return i;
    return -1;
}

void TLFInfoList::SetFolder(const QString& folder)
{
    if (folder == FFolderPath)
        return;
    const QString fullPath =
        QDir::cleanPath(QDir(ProgramFolder()).absoluteFilePath(folder));
    if (!QFileInfo(fullPath).isDir())
        throw ELocOnFlyError(Format(LibraryMessage(sKPathDoesNotExist), fullPath));
    FFolderPath = folder;
    FFullPath = fullPath;
    Scan();
}

void TLFInfoList::Scan()
{
    const QString program = ProgramBaseName();
    const QDir dir(FFullPath);
    // Sorted as the names compare without regard to case, so that which of
    // two files of one language wins does not depend on the file system.
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden, QDir::Name | QDir::IgnoreCase);
    for (const QString& name : names) {
        if (!IsLanguageFileName(name, program))
            continue;
        const QString path = dir.filePath(name);
        if (!QFileInfo(path).isFile())
            continue;
        try {
            const TLangFile file(path, true);
            TLFInfo* info;
            const int index = IndexByLocale(file.Locale());
            if (index >= 0) {
                info = Items(index);
                info->SetEnglishName(file.LangEnglishName());
            } else {
                auto entry = std::make_unique<TLFInfo>(this);
                entry->SetLocale(file.Locale());
                entry->SetEnglishName(file.LangEnglishName());
                entry->SetLocalizedName(file.LangLocalizedName());
                info = entry.get();
                Add(std::move(entry));
            }
            info->SetFileName(name);
            info->SetNative(file.IsNative());
            info->SetVersion(uint32_t(file.Version()));
            info->SetBuild(file.Build());
        } catch (const Exception&) {
            // An unreadable or malformed language file is not offered.
        }
    }
}

// --- embedded languages ----------------------------------------------------------

std::vector<TEmbeddedLanguage> ReadEmbeddedLanguages(const QByteArray& data)
{
    const QString invalid = LibraryMessage(sKInvalidKLangsResource);
    qsizetype position = 0;
    auto take = [&](qsizetype count) -> const char* {
        if (count < 0 || count > data.size() - position)
            throw ELocOnFlyError(invalid);
        const char* at = data.constData() + position;
        position += count;
        return at;
    };
    auto take16 = [&] { return qFromLittleEndian<uint16_t>(take(2)); };
    auto take32 = [&] { return qFromLittleEndian<uint32_t>(take(4)); };
    if (QByteArray(take(3), 3) != "KLL")
        throw ELocOnFlyError(invalid);
    const uint16_t format = take16();
    take32();
    if (format > 4)
        take32();
    const uint16_t count = take16();
    std::vector<TEmbeddedLanguage> languages(count);
    for (TEmbeddedLanguage& language : languages) {
        language.Locale = take16();
        if (format > 2) {
            const uint16_t length = take16();
            language.EnglishName = AnsiToWideCP(QByteArray(take(length), length), 0);
        } else {
            language.EnglishName = LocaleEnglishName(language.Locale);
        }
        if (format >= 4) {
            const uint16_t length = take16();
            const char* text = take(qsizetype(length) * 2);
            for (int i = 0; i < length; ++i)
                language.LocalizedName += QChar(qFromLittleEndian<uint16_t>(text + 2 * i));
        } else {
            language.LocalizedName = GetLocaleString(language.Locale, LOCALE_SNATIVELANGNAME);
        }
        if (format > 4) {
            language.Version = take32();
            language.Build = take32();
        }
    }
    for (TEmbeddedLanguage& language : languages) {
        const qsizetype size = format > 1 ? qsizetype(take32()) : qsizetype(take16());
        language.Data = QByteArray(take(size), size);
    }
    return languages;
}

// --- the localizer -------------------------------------------------------------------

namespace {

std::unique_ptr<TKLocalizerOnFly>& GlobalLocalizer()
{
    static std::unique_ptr<TKLocalizerOnFly> instance;
    return instance;
}

const QString kNtv = QStringLiteral("ntv");

bool IsNativeExt(const QString& ext)
{
    return ext.compare(QLatin1String("exe"), Qt::CaseInsensitive) == 0 ||
           ext.compare(QLatin1String("ntv"), Qt::CaseInsensitive) == 0;
}

// The text of a language file given as a stream or an embedded block.
QByteArray PlainLanguageData(const QByteArray& data)
{
    if (data.startsWith("LZK00")) {
        TMemoryStream packed(data);
        TMemoryStream plain;
        LZKDecompressStream(packed, plain);
        return plain.Bytes();
    }
    return data;
}

// A menu item that switches to one language of the list.
class TLocalizerMenuItem : public TMenuItem {
public:
    TLocalizerMenuItem(TComponent* owner, TKLocalizerOnFly& localizer, int index)
        : TMenuItem(owner), FLocalizer(localizer), FIndex(index)
    {
    }
    void Click() override
    {
        if (Checked())
            return;
        TLFInfoList& list = FLocalizer.LangList();
        if (FIndex < 0 || FIndex >= list.Count())
            return;
        if (FIndex == list.NativeIndex())
            FLocalizer.SwitchToExt(kNtv);
        else
            FLocalizer.SwitchTo(list.GetItem(FIndex)->Locale());
        if (TMenuItem* parent = Parent())
            for (int i = 0; i < parent->Count(); ++i)
                parent->Items(i)->SetChecked(false);
        SetChecked(true);
    }

private:
    TKLocalizerOnFly& FLocalizer;
    int FIndex;
};

} // namespace

bool TKLocalizerOnFly::AsciiDfmStrings = false;

TKLocalizerOnFly::TKLocalizerOnFly()
{
    InitLocUtils();
    LocUtils()->SetUnderOnFly(true);
}

TKLocalizerOnFly::~TKLocalizerOnFly()
{
    FDestroying = true;
    if (FInitialized && DeleteUnusedLDll) {
        const TErrorReaction reaction = ErrorReaction;
        ErrorReaction = TErrorReaction::erIgnore;
        SwitchToExt(kNtv);
        ErrorReaction = reaction;
    }
}

template <class F> void TKLocalizerOnFly::Guard(F&& operation)
{
    try {
        operation();
    } catch (const EAbort&) {
        throw;
    } catch (const Exception& error) {
        HandleError(error);
    }
}

void TKLocalizerOnFly::HandleError(const Exception& error)
{
    switch (ErrorReaction) {
    case TErrorReaction::erException:
        throw;
    case TErrorReaction::erMessage:
        ShowMessageBox(error.Message(), QStringLiteral("Localizer Error"), TMsgIcon::None, TMsgButtons::OK);
        break;
    case TErrorReaction::erIgnore:
        break;
    }
}

void TKLocalizerOnFly::CheckInitialized() const
{
    if (!FInitialized)
        throw ELocOnFlyError(LibraryMessage(sKLocalizerNotInitialized));
}

void TKLocalizerOnFly::DoLangSwitchStart()
{
    if (!FInitialization && OnLangSwitchStart)
        OnLangSwitchStart(*this);
}

void TKLocalizerOnFly::DoLangSwitch(int listIndex)
{
    if (listIndex != -1 && OnLangSwitch && !FInitialization && listIndex < FLangList.Count())
        OnLangSwitch(*this, *FLangList.GetItem(listIndex));
}

void TKLocalizerOnFly::DoFormProcessStart(TComponent* container)
{
    if (OnFormProcessStart)
        OnFormProcessStart(*this, container);
}

bool TKLocalizerOnFly::DoCustomObjectProcessing(TObject* object, const QString& propPath, const QString& value)
{
    return OnCustomObjectProcessing && OnCustomObjectProcessing(*this, object, propPath, value);
}

TObject* TKLocalizerOnFly::DoCustomColItemProcessing(TObject* object, const QString& name, int index)
{
    return OnCustomColItemProcessing ? OnCustomColItemProcessing(*this, object, name, index) : nullptr;
}

// --- initialising -----------------------------------------------------------------

void TKLocalizerOnFly::Init(const QString& langDir)
{
    FRegKey.clear();
    RunInitialization([&] {
        OpenLangFolder(langDir);
        FCurrentLocale = LocUtils()->GetCurrentInfo().Locale;
        FLangIndex = EnsureLanguageLoaded(FCurrentLocale);
        FInitialized = true;
    });
}

void TKLocalizerOnFly::InitPE(const QString& peFileName, const QString& langDir)
{
    Guard([&] {
        LocUtils()->SetAppInstance(LocUtils()->LoadDataModule(peFileName));
    });
    Init(langDir);
}

void TKLocalizerOnFly::InitReg(const QString& regKey, const QString& langDir)
{
    RunInitialization([&] {
        if (regKey.isEmpty()) {
            FRegKey = QStringLiteral("Software\\Borland\\");
            FRegSubKey = QStringLiteral("Locales");
            FRegValName = ProgramFileName();
        } else {
            FRegKey = regKey;
            FRegSubKey.clear();
            FRegValName = QStringLiteral("LocalizerExt");
        }
        OpenLangFolder(langDir);
        const QString section = FRegSubKey.isEmpty() ? FRegKey : FRegKey + u'\\' + FRegSubKey;
        const QString ext = TIniFile(LocalizerRegistryFile()).ReadString(section, FRegValName, QString());
        LocUtils()->Init();
        FCurrentLocale = LocUtils()->GetCurrentInfo().Locale;
        FLangIndex = EnsureLanguageLoaded(FCurrentLocale);
        FInitialized = true;
        if (!ext.isEmpty())
            SwitchToExt(ext);
    });
}

// Runs the initialisation steps inside Guard with FInitialization set; it is
// cleared when they end, also when they fail.
void TKLocalizerOnFly::RunInitialization(const std::function<void()>& steps)
{
    FInitialization = true;
    Guard([&] {
        struct TEnd {
            bool& Flag;
            ~TEnd() { Flag = false; }
        } end{FInitialization};
        steps();
    });
    FInitialization = false;
}

// The language folder (the program's when none is given; a failure is
// reported, not raised) and the native language file in it.
void TKLocalizerOnFly::OpenLangFolder(const QString& langDir)
{
    const QString folder = langDir.isEmpty() ? ProgramFolder() : langDir;
    try {
        SetLangFolder(folder);
    } catch (const EAbort&) {
        throw;
    } catch (const Exception& error) {
        HandleError(error);
    }
    LoadNativeLangFile();
}

void TKLocalizerOnFly::SetLangFolder(const QString& folder)
{
    FLangList.SetFolder(folder);
    const QString native = ProgramBaseName() + QStringLiteral(".ntv.lng");
    if (QFileInfo::exists(QDir(FLangList.FullPath()).filePath(native)))
        return;
    const QString up = folder + QStringLiteral("/../..");
    const QString upFull = QDir::cleanPath(QDir(ProgramFolder()).absoluteFilePath(up));
    if (QFileInfo(upFull).isDir() && QFileInfo::exists(QDir(upFull).filePath(native))) {
        FLangList.SetFolder(up);
        return;
    }
    FLangList.SetFolder(folder);
}

QString TKLocalizerOnFly::LangDir() const
{
    return FLangList.FolderPath();
}

void TKLocalizerOnFly::SetLangDir(const QString& folder)
{
    Guard([&] { SetLangFolder(folder); });
}

void TKLocalizerOnFly::SetDLLDir(const QString& folder)
{
    if (folder == FDLLDir)
        return;
    const QString full = QDir::cleanPath(QDir(ProgramFolder()).absoluteFilePath(folder));
    if (!QFileInfo(full).isDir())
        throw ELocOnFlyError(Format(LibraryMessage(sKPathDoesNotExist), full));
    FDLLDir = folder;
    FFullDLLDir = full;
}

uint32_t TKLocalizerOnFly::NativeLocale() const
{
    const int index = FLangList.NativeIndex();
    return index < 0 ? 0 : FLangList.GetItem(index)->Locale();
}

int TKLocalizerOnFly::CurLangIndex() const
{
    return FLangList.IndexByLocale(FCurrentLocale);
}

QString TKLocalizerOnFly::LangFileName(const QString& ext) const
{
    return FindFileNoCase(
        QDir(FLangList.FullPath()).filePath(ProgramBaseName() + u'.' + ext + QStringLiteral(".lng")));
}

QString TKLocalizerOnFly::DLLFileName(uint32_t locale) const
{
    const QString folder = FDLLDir.isEmpty() ? ProgramFolder() : FFullDLLDir;
    return FindFileNoCase(QDir(folder).filePath(ProgramBaseName() + u'.' + LocUtils()->GetFileExt(locale)));
}

std::vector<TEmbeddedLanguage> TKLocalizerOnFly::EmbeddedLanguages()
{
    QByteArray data;
    if (!FindResourceData(RT_RCDATA, kLocLangsName, data))
        return {};
    return ReadEmbeddedLanguages(data);
}

void TKLocalizerOnFly::AddEmbeddedEntries(const std::vector<TEmbeddedLanguage>& languages, bool markNative)
{
    for (size_t i = 0; i < languages.size(); ++i) {
        const TEmbeddedLanguage& language = languages[i];
        if (FLangList.IndexByLocale(language.Locale) >= 0)
            continue;
        auto entry = std::make_unique<TLFInfo>(&FLangList);
        entry->SetLocale(language.Locale);
        entry->SetEnglishName(language.EnglishName);
        entry->SetLocalizedName(language.LocalizedName);
        entry->SetVersion(language.Version);
        entry->SetBuild(language.Build);
        entry->SetNative(markNative && i == 0);
        FLangList.Add(std::move(entry));
    }
}

void TKLocalizerOnFly::LoadLanguageData(const QByteArray& data, int index)
{
    TMemoryStream stream(PlainLanguageData(data));
    TLangFile file;
    file.LoadFromStream(stream, &FLocStorage, index, 0);
    FShowUntranslatedAsIs = file.GetAttribute(lfaShowUntranslatedAsIs);
    if (index < 0)
        FProcessBiDiMode = file.GetAttribute(lfaBiDiMode);
}

void TKLocalizerOnFly::LoadNativeLangFile()
{
    const QString native = LangFileName(kNtv);
    const bool hasFile = QFileInfo::exists(native);
    if (hasFile) {
        TLangFile file(native, true);
        file.Load(&FLocStorage, -1, 0);
        FCheckSync = (file.Locale() & 0x3FF) == 9;
        FProcessBiDiMode = file.GetAttribute(lfaBiDiMode);
    }
    const std::vector<TEmbeddedLanguage> embedded = EmbeddedLanguages();
    if (hasFile) {
        AddEmbeddedEntries(embedded, true);
        return;
    }
    if (embedded.empty())
        throw ELocOnFlyError(Format(LibraryMessage(sKLangFileNotFound), native));
    AddEmbeddedEntries(embedded, true);
    LoadLanguageData(embedded.front().Data, -1);
}

int TKLocalizerOnFly::EnsureLanguageLoaded(uint32_t locale)
{
    int index = FLocStorage.IndexOfLocale(locale);
    if (index >= 0 || locale == 0)
        return index;
    const QString file = LangFileName(LocaleToExt(locale));
    if (QFileInfo::exists(file)) {
        TLangFile langFile(file, true);
        index = FLocStorage.AddLanguage(0, uint16_t(locale));
        try {
            langFile.Load(&FLocStorage, index, 0);
        } catch (...) {
            FLocStorage.RemoveLanguage(index);
            throw;
        }
        FShowUntranslatedAsIs = langFile.GetAttribute(lfaShowUntranslatedAsIs);
        return index;
    }
    const std::vector<TEmbeddedLanguage> embedded = EmbeddedLanguages();
    AddEmbeddedEntries(embedded, false);
    for (const TEmbeddedLanguage& language : embedded) {
        if (language.Locale != uint16_t(locale))
            continue;
        index = FLocStorage.AddLanguage(0, uint16_t(locale));
        try {
            LoadLanguageData(language.Data, index);
        } catch (...) {
            FLocStorage.RemoveLanguage(index);
            throw;
        }
        return index;
    }
    return -1;
}

// --- switching ---------------------------------------------------------------------

void TKLocalizerOnFly::SwitchTo(uint32_t locale)
{
    Guard([&] {
        CheckInitialized();
        const bool native = locale == NativeLocale() && FLangList.IndexByLocaleEx(locale, false) == -1;
        SwitchToLocale(locale, native ? kNtv : LocaleToExt(locale));
    });
}

void TKLocalizerOnFly::SwitchToExt(const QString& ext)
{
    Guard([&] {
        CheckInitialized();
        if (IsNativeExt(ext))
            SwitchToLocale(NativeLocale(), kNtv);
        else
            SwitchToLocale(ExtToLocale(ext), ext);
    });
}

void TKLocalizerOnFly::SwitchToFile(const QString& fileName)
{
    Guard([&] {
        CheckInitialized();
        DoLangSwitchStart();
        LoadLangFileAndApply(fileName);
        DoLangSwitch(FLangList.IndexByLocale(FCurrentLocale));
    });
}

void TKLocalizerOnFly::SwitchToLocale(uint32_t locale, QString ext)
{
    FOldLocale = FCurrentLocale;
    DoLangSwitchStart();
    for (;;) {
        const QString file = LangFileName(ext);
        const int entry = FLangList.IndexByLocale(locale);
        if (QFileInfo::exists(file)) {
            LoadLangFileAndApply(file);
        } else if (entry >= 0 && FLangList.GetItem(entry)->FileName().isEmpty()) {
            ApplyEmbeddedLang(locale);
        } else if (locale == NativeLocale() && ext != kNtv) {
            ext = kNtv;
            continue;
        } else {
            throw ELocOnFlyError(Format(LibraryMessage(sKLanguageNotFound), LocaleEnglishName(locale)));
        }
        break;
    }
    // The previous language's DLL goes where it was built.
    if (DeleteUnusedLDll && FOldLocale != FCurrentLocale && FOldLocale != NativeLocale() && FOldLocale != 0)
        QFile::remove(DLLFileName(FOldLocale));
    DoLangSwitch(FLangList.IndexByLocale(locale));
}

void TKLocalizerOnFly::LoadLangFileAndApply(const QString& fileName)
{
    CheckInitialized();
    if (!QFileInfo::exists(fileName))
        throw ELocOnFlyError(Format(LibraryMessage(sKLangFileNotFound), fileName));
    TLangFile file(fileName, true);
    ApplyLangFile(file);
}

void TKLocalizerOnFly::ApplyEmbeddedLang(uint32_t locale)
{
    TLangFile file;
    file.SetLocale(locale);
    for (const TEmbeddedLanguage& language : EmbeddedLanguages()) {
        if (language.Locale != uint16_t(locale))
            continue;
        TMemoryStream stream(PlainLanguageData(language.Data));
        file.LoadHeaderFromStream(stream, false);
        const QByteArray bytes = stream.Bytes();
        TMemoryStream data(bytes);
        ApplyLangFileFrom(file, data);
        return;
    }
    throw ELocOnFlyError(QStringLiteral("Can not load language %1 from resources").arg(LocaleEnglishName(locale)));
}

void TKLocalizerOnFly::SwitchToStream(TStream& stream)
{
    const int64_t start = stream.Position();
    QByteArray bytes(int(stream.Size() - start), '\0');
    stream.ReadBuffer(bytes.data(), bytes.size());
    TMemoryStream plain(PlainLanguageData(bytes));
    TLangFile file;
    file.LoadHeaderFromStream(plain, false);
    plain.SetPosition(0);
    ApplyLangFileFrom(file, plain);
}

// Applies the language file with its data read from the stream.
void TKLocalizerOnFly::ApplyLangFileFrom(TLangFile& langFile, TStream& data)
{
    FTempStream = &data;
    try {
        ApplyLangFile(langFile);
    } catch (...) {
        FTempStream = nullptr;
        throw;
    }
    FTempStream = nullptr;
}

void TKLocalizerOnFly::ApplyLangFile(TLangFile& langFile)
{
    TKLocUtils& utils = *LocUtils();
    const uint32_t locale = langFile.Locale();
    const bool native = locale == NativeLocale();
    TDLLInfoItem info = utils.GetCurrentInfo();
    bool reused = false;
    QString dllName;
    const QString ntvPE =
        FindFileNoCase(QDir(FLangList.FullPath()).filePath(ProgramBaseName() + QStringLiteral(".ntv")));
    if (!SoftMode) {
        if (!native)
            dllName = DLLFileName(locale);
        if (!dllName.isEmpty() && info.Locale != locale && QFileInfo::exists(dllName)) {
            utils.LoadResource(dllName);
            info = utils.GetCurrentInfo();
            FCurrentLocale = info.Locale;
            FLangIndex = FLocStorage.IndexOfLocale(FCurrentLocale);
        }
        if (info.Locale == locale) {
            if (info.Version == langFile.Version() && info.LFBuild == langFile.Build())
                reused = true;
            else
                utils.BackToExe();
        }
    }
    if (!(reused && FInitialization)) {
        FLangIndex = FLocStorage.IndexOfLocale(locale);
        if (FLangIndex < 0) {
            if (UnloadInactiveLanguages && FLocStorage.LanguageCount() > 1)
                FLocStorage.RemoveLanguage(1);
            const int index = FLocStorage.AddLanguage(0, uint16_t(locale));
            try {
                if (!langFile.FileName().isEmpty()) {
                    langFile.Load(&FLocStorage, index, 0);
                } else if (FTempStream) {
                    FTempStream->SetPosition(0);
                    langFile.LoadFromStream(*FTempStream, &FLocStorage, index, 0);
                }
            } catch (...) {
                FLocStorage.RemoveLanguage(index);
                throw;
            }
            FLangIndex = index;
            FShowUntranslatedAsIs = langFile.GetAttribute(lfaShowUntranslatedAsIs);
        }
    }
    if (!reused && !SoftMode) {
        if (!native) {
            if (QFileInfo::exists(dllName) && !QFile::remove(dllName) && QFileInfo::exists(dllName))
                throw ELocOnFlyError(Format(LibraryMessage(sKCannotDeleteFile), dllName));
            langFile.SetLangIndex(FLangIndex);
            if (QFileInfo::exists(ntvPE)) {
                langFile.CreateLDLL(QByteArray(), dllName, ntvPE, &FLocStorage, FCheckSync);
            } else {
                utils.BackToExe();
                langFile.CreateLDLL(utils.ModuleImage(utils.AppInstance()), dllName, QString(), &FLocStorage,
                                    FCheckSync);
            }
            utils.LoadResource(dllName);
        } else {
            utils.BackToExe();
        }
    }
    if (FDestroying)
        return;
    FLocStorage.SetCurLangIndex(FLangIndex);
    FCurrentLocale = SoftMode ? locale : utils.GetCurrentInfo().Locale;
    TranslateRunningForms();
    SaveChosenLanguage();
}

void TKLocalizerOnFly::SaveChosenLanguage()
{
    if (FRegKey.isEmpty())
        return;
    const QString value = FCurrentLocale == NativeLocale() ? QStringLiteral("EXE") : LocaleToExt(FCurrentLocale);
    TIniFile ini(LocalizerRegistryFile());
    ini.WriteString(FRegSubKey.isEmpty() ? FRegKey : FRegKey + u'\\' + FRegSubKey, FRegValName, value);
    ini.UpdateFile();
}

// --- translating running windows ----------------------------------------------------

QString TKLocalizerOnFly::ChosenValue(const TLocItem& item, int langIndex) const
{
    if (langIndex < 0 || langIndex >= item.ValueCount())
        return item.MainValue()->Value();
    // Not lower than the native version: a value the strings and forms use
    // is used here too.
    if (item.IsTranslated(langIndex) || FShowUntranslatedAsIs)
        return item.Value(langIndex)->Value();
    return item.MainValue()->Value();
}

void TKLocalizerOnFly::TranslateRunningForms()
{
    for (TCustomForm* form : ScreenForms())
        TranslateContainer(form, FLangIndex);
}

void TKLocalizerOnFly::TranslateContainer(TComponent* container, int langIndex)
{
    const QString name = container->ClassName().mid(1, 128);
    if (TLocForm* form = FLocStorage.Forms().FindByName(name))
        ApplyStoreForm(FLocStorage, *form, container, langIndex);
    if (auto* form = dynamic_cast<TCustomForm*>(container); form && FProcessBiDiMode)
        form->SetBiDiMode(IsRightToLeftLocale(FCurrentLocale) ? TBiDiMode::bdRightToLeft
                                                             : TBiDiMode::bdLeftToRight);
}

namespace {

// Resolves a dotted path of owned components and object properties.
TObject* ResolvePath(TComponent* container, const QString& path)
{
    TObject* object = container;
    for (const QString& part : path.split(u'.')) {
        TObject* next = nullptr;
        if (auto* component = dynamic_cast<TComponent*>(object))
            next = component->FindComponent(part);
        if (!next && object) {
            if (const TPropInfo* prop = GetPropInfo(*object, part); prop && prop->Kind() == TTypeKind::tkClass)
                next = GetObjectProp(*object, *prop);
        }
        if (!next)
            return nullptr;
        object = next;
    }
    return object;
}

} // namespace

void TKLocalizerOnFly::ApplyStoreForm(TLocStorage&, TLocForm& form, TComponent* container, int langIndex)
{
    DoFormProcessStart(container);
    auto applyRecord = [&](TObject* object, const TLocComponent& record) {
        const TLocPropertyList& props = record.Properties();
        for (int i = 0; i < props.Count(); ++i) {
            const TLocProperty* prop = props.Items(i);
            if (prop->GetAttribute(lvaNeverTranslated))
                continue;
            ApplyProperty(object, prop->Name(), ChosenValue(*prop, langIndex));
        }
    };
    applyRecord(container, form);
    const TLocComponentList& components = form.Components();
    for (int i = 0; i < components.Count(); ++i) {
        const TLocComponent* record = components.Items(i);
        const QString& name = record->Name();
        TObject* object = nullptr;
        const int bracket = name.indexOf(u'[');
        if (bracket >= 0) {
            const QString head = name.left(bracket);
            const int dot = head.lastIndexOf(u'.');
            const int close = name.indexOf(u']', bracket);
            if (close < 0)
                continue;
            bool ok = false;
            const int itemIndex = name.mid(bracket + 1, close - bracket - 1).toInt(&ok);
            if (!ok)
                continue;
            TObject* owner = dot < 0 ? container : ResolvePath(container, head.left(dot));
            const QString propName = head.mid(dot + 1);
            if (!owner)
                continue;
            const TPropInfo* info = GetPropInfo(*owner, propName);
            TObject* holder = info && info->Kind() == TTypeKind::tkClass ? GetObjectProp(*owner, *info) : nullptr;
            if (auto* collection = dynamic_cast<TCollection*>(holder)) {
                if (itemIndex >= collection->Count())
                    continue;
                object = collection->Items(itemIndex);
            } else {
                object = DoCustomColItemProcessing(owner, propName, itemIndex);
                if (!object && OnSpecialProcessing)
                    object = OnSpecialProcessing(*this, owner, propName, itemIndex);
            }
        } else {
            object = ResolvePath(container, name);
        }
        if (object)
            applyRecord(object, *record);
    }
}

bool TKLocalizerOnFly::ApplyProperty(TObject* object, const QString& path, const QString& value)
{
    if (!object)
        return false;
    if (path.compare(QLatin1String("Strings"), Qt::CaseInsensitive) == 0) {
        if (auto* strings = dynamic_cast<TStrings*>(object)) {
            strings->SetText(value);
            return false;
        }
    }
    if (DoCustomObjectProcessing(object, path, value))
        return false;
    const int dot = path.indexOf(u'.');
    const QString first = dot < 0 ? path : path.left(dot);
    const TPropInfo* prop = GetPropInfo(*object, first);
    if (!prop || (prop->IsReadOnly() && prop->Kind() != TTypeKind::tkClass))
        return false;
    switch (prop->Kind()) {
    case TTypeKind::tkInteger:
    case TTypeKind::tkEnumeration:
        SetOrdProp(*object, *prop, value.toLongLong());
        return true;
    case TTypeKind::tkString:
    case TTypeKind::tkLString:
    case TTypeKind::tkUString:
        SetStrProp(*object, *prop, value);
        return true;
    case TTypeKind::tkClass: {
        if (dot < 0)
            return false;
        TObject* inner = GetObjectProp(*object, *prop);
        // A list's whole text replaced with as many lines keeps the chosen
        // item, so a combo box is not blanked by a translation.
        const TPropInfo* itemIndex = GetPropInfo(*object, QStringLiteral("ItemIndex"));
        auto* strings = dynamic_cast<TStrings*>(inner);
        const int countBefore = strings ? strings->Count() : -1;
        const int64_t indexBefore = itemIndex && strings ? GetOrdProp(*object, *itemIndex) : -1;
        const bool applied = ApplyProperty(inner, path.mid(dot + 1), value);
        if (strings && itemIndex && strings->Count() == countBefore &&
            GetOrdProp(*object, *itemIndex) != indexBefore)
            SetOrdProp(*object, *itemIndex, indexBefore);
        return applied;
    }
    default:
        return false;
    }
}

// --- single containers -----------------------------------------------------------

int TKLocalizerOnFly::ExtToStorageIndex(const QString& ext)
{
    if (IsNativeExt(ext))
        return 0;
    const uint32_t locale = ExtToLocale(ext);
    const int index = EnsureLanguageLoaded(locale);
    if (index < 0)
        throw ELocOnFlyError(Format(LibraryMessage(sKLanguageNotFound), LocaleEnglishName(locale)));
    return index;
}

void TKLocalizerOnFly::ProcessContainer(TComponent* container)
{
    CheckInitialized();
    TranslateContainer(container, FLangIndex);
}

void TKLocalizerOnFly::ProcessContainerEx(TComponent* container, const QString& ext)
{
    Guard([&] {
        CheckInitialized();
        TranslateContainer(container, ExtToStorageIndex(ext));
    });
}

void TKLocalizerOnFly::ProcessRtm(TComponent* container, const QString& name)
{
    CheckInitialized();
    if (TLocForm* form = FLocStorage.Forms().FindByName(name))
        ApplyStoreForm(FLocStorage, *form, container, FLangIndex);
}

void TKLocalizerOnFly::ProcessRtmEx(TComponent* container, const QString& name, const QString& ext)
{
    Guard([&] {
        CheckInitialized();
        const int index = ExtToStorageIndex(ext);
        if (TLocForm* form = FLocStorage.Forms().FindByName(name))
            ApplyStoreForm(FLocStorage, *form, container, index);
    });
}

void TKLocalizerOnFly::ProcessFormEx(TLocStorage* storage, TComponent* form, const QString& ext)
{
    Guard([&] {
        CheckInitialized();
        if (!storage || IsNativeExt(ext))
            return;
        const uint32_t locale = ExtToLocale(ext);
        const int index = storage->IndexOfLocale(locale);
        if (index < 0)
            throw ELocOnFlyError(Format(LibraryMessage(sKLanguageNotFound), LocaleEnglishName(locale)));
        if (TLocForm* record = storage->Forms().FindByName(form->ClassName().mid(1, 128)))
            ApplyStoreForm(*storage, *record, form, index);
    });
}

// --- menu and look-ups -------------------------------------------------------------

void TKLocalizerOnFly::PopulateMenu(TMenuItem* menuItem, int /*groupIndex*/, bool useNative)
{
    Guard([&] {
        for (int i = 0; i < FLangList.Count(); ++i) {
            const TLFInfo& info = *FLangList.GetItem(i);
            if (info.Native() && !useNative)
                continue;
            loc_detail::AddLanguageMenuItem(menuItem, new TLocalizerMenuItem(menuItem->Owner(), *this, i), i,
                                            info.EnglishName(), info.Locale(), info.Locale() == FCurrentLocale,
                                            [&](TMenuItem* item, bool& skip) {
                                                if (OnMenuItemAdd)
                                                    OnMenuItemAdd(*this, info, item, skip);
                                            });
        }
    });
}

QString TKLocalizerOnFly::RSValueByName(uint32_t locale, const QString& constantName)
{
    QString result;
    Guard([&] {
        CheckInitialized();
        const int index = EnsureLanguageLoaded(locale);
        const int dot = constantName.indexOf(u'.');
        const TLocConstant* constant = dot < 0 ? FLocStorage.FindConstantOnlyByName(constantName)
                                               : FLocStorage.FindConstant(constantName.left(dot),
                                                                          constantName.mid(dot + 1));
        if (constant)
            result = constant->Value(index < 0 || index >= constant->ValueCount() ? 0 : index)->Value();
    });
    return result;
}

QString TKLocalizerOnFly::GetTranslatedRS(const QString& constantName)
{
    return RSValueByName(FCurrentLocale, constantName);
}

QString TKLocalizerOnFly::RSValueByID(uint32_t locale, int32_t constId)
{
    QString result;
    Guard([&] {
        CheckInitialized();
        const int index = EnsureLanguageLoaded(locale);
        if (const TLocConstant* constant = FLocStorage.FindConstByID(constId))
            result = constant->Value(index < 0 || index >= constant->ValueCount() ? 0 : index)->Value();
    });
    return result;
}

QString TKLocalizerOnFly::GetTranslatedRSByID(int32_t constId)
{
    return RSValueByID(FCurrentLocale, constId);
}

QString TKLocalizerOnFly::PropValueByName(uint32_t locale, const QString& formName, const QString& propertyName)
{
    QString result;
    Guard([&] {
        CheckInitialized();
        const int index = EnsureLanguageLoaded(locale);
        const int dot = propertyName.indexOf(u'.');
        const TLocProperty* prop = dot < 0 ? FLocStorage.FindProperty(formName, QString(), propertyName)
                                           : FLocStorage.FindProperty(formName, propertyName.left(dot),
                                                                      propertyName.mid(dot + 1));
        if (prop)
            result = prop->Value(index < 0 || index >= prop->ValueCount() ? 0 : index)->Value();
    });
    return result;
}

QString TKLocalizerOnFly::GetTranslatedProperty(const QString& formName, const QString& propertyName)
{
    return PropValueByName(FCurrentLocale, formName, propertyName);
}

QString TKLocalizerOnFly::XSValueByName(uint32_t locale, const QString& xsName)
{
    QString result;
    Guard([&] {
        CheckInitialized();
        const int index = EnsureLanguageLoaded(locale);
        const int dot = xsName.indexOf(u'.');
        const TLocExtItem* item = dot < 0 ? FLocStorage.FindExtItemOnlyByName(xsName)
                                          : FLocStorage.FindExtItem(xsName.left(dot), xsName.mid(dot + 1));
        if (item)
            result = item->Value(index < 0 || index >= item->ValueCount() ? 0 : index)->Value();
    });
    return result;
}

QString TKLocalizerOnFly::GetTranslatedXS(const QString& xsName)
{
    return XSValueByName(FCurrentLocale, xsName);
}

QString TKLocalizerOnFly::XSByValue(const QString& nativeWord, uint32_t toLocale)
{
    QString result = nativeWord;
    Guard([&] {
        CheckInitialized();
        const int index = EnsureLanguageLoaded(toLocale);
        if (index < 0)
            return;
        const TLocItem* item = FLocStorage.FindExtItemByValue(nativeWord);
        if (!item)
            item = FLocStorage.FindConstByValue(nativeWord);
        if (item && index < item->ValueCount())
            result = item->Value(index)->Value();
    });
    return result;
}

QString TKLocalizerOnFly::GetWordTranslation(const QString& nativeWord, uint32_t toLocale)
{
    return XSByValue(nativeWord, toLocale);
}

QString TKLocalizerOnFly::GetTranslatedXSByValue(const QString& value)
{
    return XSByValue(value, FCurrentLocale);
}

TLocExtGroup* TKLocalizerOnFly::GetExtGroupByName(const QString& extGroupName)
{
    TLocExtGroup* group = nullptr;
    Guard([&] { group = FLocStorage.ExtGroups().FindByName(extGroupName); });
    return group;
}

// --- the global instances ----------------------------------------------------------

TKLocalizerOnFly* LocalizerOnFly()
{
    return GlobalLocalizer().get();
}

void InitLocalization()
{
    InitLocUtils();
    if (!GlobalLocalizer()) {
        GlobalLocalizer() = std::make_unique<TKLocalizerOnFly>();
        LocUtils()->SetSafeWork(false);
    }
}

void DoneLocalization()
{
    GlobalLocalizer().reset();
    DoneLocUtils();
}
