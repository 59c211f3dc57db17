#include "localization/LocOnFly.h"

#include "localization/KHelpers.h"
#include "localization/KLocales.h"
#include "localization/LocLangFile.h"
#include "localization/LocMenu_p.h"
#include "localization/LocUtils.h"
#include "localization/PEResourceImage.h"
#include "localization/WinResProc.h"
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
#include "platform/objects/Collection.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QtEndian>

#include <map>
#include <set>

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

template <class F> bool TKLocalizerOnFly::Guard(F&& operation)
{
    try {
        operation();
        return true;
    } catch (const EAbort&) {
        throw;
    } catch (const Exception& error) {
        HandleError(error);
        return false;
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

bool TKLocalizerOnFly::Init(const QString& langDir)
{
    FRegKey.clear();
    return RunInitialization([&] {
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
bool TKLocalizerOnFly::RunInitialization(const std::function<void()>& steps)
{
    FInitialization = true;
    const bool done = Guard([&] {
        struct TEnd {
            bool& Flag;
            ~TEnd() { Flag = false; }
        } end{FInitialization};
        steps();
    });
    FInitialization = false;
    return done;
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
        LoadNativeInto([&] { file.Load(&FLocStorage, -1, 0); });
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
    LoadNativeInto([&] { LoadLanguageData(embedded.front().Data, -1); });
}

namespace {

// One value of a language other than the native one, kept while the native
// language is loaded again.
struct TKeptValue {
    QString Text;
    TDateTime Modified = 0;
    int32_t Version = 0;
    uint16_t Attributes = 0;
    uint16_t LangID = 0;
};
// The kind of an item (0 constant, 1 property, 2 external item) and its ID:
// the key language files match their values by.
using TValueKey = std::pair<int, int32_t>;

template <class F> void ForEachItem(TLocStorage& storage, F&& visit)
{
    TLinearConstantList constants;
    storage.Units().FillLinearList(constants, false);
    for (int i = 0; i < constants.Count(); ++i)
        visit(0, *constants.Items(i));
    TLinearPropertyList properties;
    storage.Forms().FillLinearList(properties, false);
    for (int i = 0; i < properties.Count(); ++i)
        visit(1, *properties.Items(i));
    TLinearExternalList externals;
    storage.ExtGroups().FillLinearList(externals, false);
    for (int i = 0; i < externals.Count(); ++i)
        visit(2, *externals.Items(i));
}

} // namespace

// Loading the native language empties the store's items, while the store
// keeps its languages. An Init after an earlier switch would so leave the
// language in use listed with empty values, and a switch that finds it
// listed would not load it again: the windows would fall back to native
// texts under translated messages. The values of every further language are
// therefore kept across the load and given back to the new items of the
// same ID; an item new to the native file starts untranslated, as a language
// added to the store does.
void TKLocalizerOnFly::LoadNativeInto(const std::function<void()>& load)
{
    const int count = FLocStorage.LanguageCount();
    std::vector<std::map<TValueKey, TKeptValue>> kept(size_t(std::max(count, 1)));
    if (count > 1)
        ForEachItem(FLocStorage, [&](int kind, const TLocItem& item) {
            for (int i = 1; i < count && i < item.ValueCount(); ++i) {
                const TLocValue& value = *item.Value(i);
                kept[size_t(i)][{kind, item.ID()}] = TKeptValue{value.Value(), value.Modified(),
                                                                value.ValueVersion(), value.Attributes(),
                                                                value.LangID()};
            }
        });
    load();
    if (count <= 1)
        return;
    ForEachItem(FLocStorage, [&](int kind, TLocItem& item) {
        for (int i = 1; i < count && i < item.ValueCount() && i < FLocStorage.LanguageCount(); ++i) {
            TLocValue& value = *item.Value(i);
            const auto found = kept[size_t(i)].find({kind, item.ID()});
            const TKeptValue copy = found != kept[size_t(i)].end()
                                        ? found->second
                                        : TKeptValue{item.MainValue()->Value(), 0, -1, 0, FLocStorage.GetLocale(i)};
            value.SetValue(copy.Text);
            value.SetModified(copy.Modified);
            value.SetValueVersion(copy.Version);
            value.SetAttributes(copy.Attributes);
            value.SetLangID(copy.LangID);
        }
    });
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

bool TKLocalizerOnFly::SwitchTo(uint32_t locale)
{
    return Guard([&] {
        CheckInitialized();
        const bool native = locale == NativeLocale() && FLangList.IndexByLocaleEx(locale, false) == -1;
        SwitchToLocale(locale, native ? kNtv : LocaleToExt(locale));
    });
}

bool TKLocalizerOnFly::SwitchToExt(const QString& ext)
{
    return Guard([&] {
        CheckInitialized();
        if (IsNativeExt(ext))
            SwitchToLocale(NativeLocale(), kNtv);
        else
            SwitchToLocale(ExtToLocale(ext), ext);
    });
}

bool TKLocalizerOnFly::SwitchToFile(const QString& fileName)
{
    return Guard([&] {
        CheckInitialized();
        DoLangSwitchStart();
        LoadLangFileAndApply(fileName);
        DoLangSwitch(FLangList.IndexByLocale(FCurrentLocale));
    });
}

void TKLocalizerOnFly::SwitchToLocale(uint32_t locale, QString ext)
{
    const QString passedExt = ext;
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
    if (TranslatePackages && !SoftMode)
        SwitchModules(passedExt);
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
                TakeLanguage(langFile, index);
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
    if (ProcessCharset)
        SetScreenCharset();
    TranslateRunningForms(FLocStorage, FLangIndex);
    SaveChosenLanguage();
}

// Loads the language file (or the stream standing for it) into the store at
// index. A file from which not one value is taken (every record names an
// item the program does not have, as with a file of another program or a
// damaged one) would switch nothing in silence; it is refused instead.
void TKLocalizerOnFly::TakeLanguage(TLangFile& langFile, int index)
{
    if (!langFile.FileName().isEmpty()) {
        langFile.Load(&FLocStorage, index, 0);
    } else if (FTempStream) {
        FTempStream->SetPosition(0);
        langFile.LoadFromStream(*FTempStream, &FLocStorage, index, 0);
    }
    if (langFile.ValuesTaken() == 0)
        throw ELocOnFlyError(Format(LibraryMessage(sKNoValueTaken), langFile.FileName().isEmpty()
                                                                        ? LocaleEnglishName(langFile.Locale())
                                                                        : langFile.FileName()));
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

void TKLocalizerOnFly::TranslateRunningForms(TLocStorage& storage, int langIndex)
{
    for (TCustomForm* form : ScreenForms()) {
        TranslateInheritedSections(storage, form, langIndex);
        TranslateContainer(storage, form, langIndex);
    }
}

void TKLocalizerOnFly::TranslateContainer(TLocStorage& storage, TComponent* container, int langIndex)
{
    const QString name = container->ClassName().mid(1, 128);
    if (TLocForm* form = storage.Forms().FindByName(name))
        ApplyStoreForm(storage, *form, container, langIndex);
    if (auto* form = dynamic_cast<TCustomForm*>(container); form && FProcessBiDiMode)
        form->SetBiDiMode(IsRightToLeftLocale(FCurrentLocale) ? TBiDiMode::bdRightToLeft
                                                             : TBiDiMode::bdLeftToRight);
}

namespace {

bool IsFrame(const TObject* object)
{
    const TClassInfo* type = object->ClassType();
    return type && type->InheritsFrom(QStringLiteral("TCustomFrame"));
}

// The store sections of a component's ancestors, the most basic first: the
// classes from its own class (a frame) or its parent class (anything else)
// up to the framework's base of windows, frames and data modules.
QStringList AncestorSections(const TComponent* component)
{
    static const QStringList stops = {"TForm", "TCustomForm", "TDataModule", "TCustomFrame", "TScrollingWinControl",
                                      "TObject"};
    QStringList sections;
    const TClassInfo* type = component->ClassType();
    if (type && !IsFrame(component))
        type = type->ClassParent();
    for (; type && !stops.contains(type->ClassName(), Qt::CaseInsensitive); type = type->ClassParent())
        sections.prepend(type->ClassName().mid(1, 128));
    return sections;
}

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

TObject* ClassProperty(TObject& object, const QString& name)
{
    const TPropInfo* info = GetPropInfo(object, name);
    return info && info->Kind() == TTypeKind::tkClass ? GetObjectProp(object, *info) : nullptr;
}

} // namespace

// A window or frame derived from another carries in its own store section
// only what its own stream holds; the controls it inherits are translated by
// the sections of its ancestors, applied first so that its own section has
// the last word. The same runs for every component it owns and every child
// of a windowed control (frames placed on it among them).
void TKLocalizerOnFly::TranslateInheritedSections(TLocStorage& storage, TComponent* component, int langIndex)
{
    std::set<TComponent*> visited;
    std::function<void(TComponent*)> visit = [&](TComponent* current) {
        if (!current || !visited.insert(current).second)
            return;
        for (const QString& section : AncestorSections(current))
            if (TLocForm* form = storage.Forms().FindByName(section))
                ApplyStoreForm(storage, *form, current, langIndex);
        for (int i = 0; i < current->ComponentCount(); ++i)
            visit(current->Components(i));
        if (auto* control = dynamic_cast<TWinControl*>(current))
            for (int i = 0; i < control->ControlCount(); ++i)
                visit(control->Controls(i));
    };
    visit(component);
}

void TKLocalizerOnFly::ApplyStoreForm(TLocStorage& storage, TLocForm& form, TComponent* container, int langIndex)
{
    for (int i = 0; i < container->ComponentCount(); ++i)
        if (IsFrame(container->Components(i)))
            TranslateInheritedSections(storage, container->Components(i), langIndex);
    DoFormProcessStart(container);
    auto applyRecord = [&](TObject* object, const TLocComponent& record) {
        bool applied = false;
        const TLocPropertyList& props = record.Properties();
        for (int i = 0; i < props.Count(); ++i) {
            const TLocProperty* prop = props.Items(i);
            if (prop->GetAttribute(lvaNeverTranslated))
                continue;
            applied = ApplyProperty(object, prop->Name(), ChosenValue(*prop, langIndex)) || applied;
        }
        if (ProcessCharset && applied && (record.Attributes() & lcaKeepCharset) == 0)
            SetFontCharset(object, CharsetOfLocale(storage.GetLocale(langIndex)));
    };
    applyRecord(container, form);
    const TLocComponentList& components = form.Components();
    for (int i = 0; i < components.Count(); ++i) {
        const TLocComponent* record = components.Items(i);
        const QString& name = record->Name();
        TObject* object = name.contains(u'[') ? CollectionItemOf(container, name) : ResolvePath(container, name);
        if (object)
            applyRecord(object, *record);
    }
}

// The object a collection item path names: "Comp.Prop[i]", then any number
// of further steps ".Prop[j]", each taking the item of the collection the
// named property holds. A property that holds no collection is offered to
// the item events. Null when a step finds nothing, an index lies past the
// items, or the name is not of that form.
TObject* TKLocalizerOnFly::CollectionItemOf(TComponent* container, const QString& name)
{
    int open = int(name.indexOf(u'['));
    const QString head = name.left(open);
    const int dot = int(head.lastIndexOf(u'.'));
    TObject* object = dot < 0 ? container : ResolvePath(container, head.left(dot));
    QString propName = head.mid(dot + 1);
    for (;;) {
        if (!object)
            return nullptr;
        const int close = int(name.indexOf(u']', open));
        if (close < 0)
            return nullptr;
        bool ok = false;
        const int index = name.mid(open + 1, close - open - 1).toInt(&ok);
        if (!ok || index < 0)
            return nullptr;
        if (auto* collection = dynamic_cast<TCollection*>(ClassProperty(*object, propName))) {
            if (index >= collection->Count())
                return nullptr;
            object = collection->Items(index);
        } else {
            TObject* item = DoCustomColItemProcessing(object, propName, index);
            if (!item && OnSpecialProcessing)
                item = OnSpecialProcessing(*this, object, propName, index);
            object = item;
        }
        if (close + 1 == name.size())
            return object;
        // The next step: ".Prop[j]".
        open = int(name.indexOf(u'[', close));
        if (name[close + 1] != u'.' || open < 0)
            return nullptr;
        propName = name.mid(close + 2, open - close - 2);
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
    if (object->ClassName().compare(QLatin1String("TTabbedNotebook"), Qt::CaseInsensitive) == 0) {
        // A notebook's page captions live in its "Pages" list: the path's
        // first part carries a 1-based page number from its ninth character
        // on, a path without "." means the first page; a page past the
        // list's end is added.
        if (auto* pages = dynamic_cast<TStrings*>(ClassProperty(*object, QStringLiteral("Pages")))) {
            const int dot = int(path.indexOf(u'.'));
            int index = 0;
            if (dot >= 0) {
                bool ok = false;
                index = path.left(dot).mid(8).toInt(&ok) - 1;
                if (!ok || index < 0)
                    return false;
            }
            if (index < pages->Count())
                pages->SetStrings(index, value);
            else
                pages->Add(value);
        }
        return false;
    }
    if (DoCustomObjectProcessing(object, path, value))
        return false;
    const int dot = int(path.indexOf(u'.'));
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

// The object's font, or its style object's, takes the character set.
void TKLocalizerOnFly::SetFontCharset(TObject* object, int charset)
{
    TObject* font = ClassProperty(*object, QStringLiteral("Font"));
    if (!font)
        if (TObject* style = ClassProperty(*object, QStringLiteral("Style")))
            font = ClassProperty(*style, QStringLiteral("Font"));
    if (auto* target = dynamic_cast<TFont*>(font))
        target->SetCharset(TFontCharset(charset));
}

void TKLocalizerOnFly::SetScreenCharset()
{
    const auto charset = TFontCharset(CharsetOfLocale(FCurrentLocale));
    for (TFont* font : {Screen()->HintFont(), Screen()->MenuFont(), Screen()->IconFont()})
        font->SetCharset(charset);
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
    TranslateContainer(FLocStorage, container, FLangIndex);
}

void TKLocalizerOnFly::ProcessContainerEx(TComponent* container, const QString& ext)
{
    Guard([&] {
        CheckInitialized();
        TranslateContainer(FLocStorage, container, ExtToStorageIndex(ext));
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
        TranslateInheritedSections(*storage, form, index);
        if (TLocForm* record = storage->Forms().FindByName(form->ClassName().mid(1, 128)))
            ApplyStoreForm(*storage, *record, form, index);
    });
}

// --- other modules -------------------------------------------------------------------

namespace {

// The entries a module other than a package switches its resources through:
// the DLL file name (UTF-16 and its length in code units) and a description
// of the new resource module the module may fill (nothing here reads it: the
// module list serves the module's resources); nonzero when done.
using TSwitchToFileProc = int (*)(const char16_t* fileName, int length, TDLLInfoStruct* info);
using TBackToModuleResProc = void (*)();

// The settings block of a resource image; false when it has none.
bool ReadLibSettings(const QByteArray& image, TSettingsBlock& block)
{
    if (image.isEmpty())
        return false;
    try {
        const TPEResourceImage resources(image);
        QByteArray data;
        if (!resources.FindResource(RT_RCDATA, kLibSettingsName, data) || !data.startsWith("LDLL"))
            return false;
        block = ParseSettingsBlock(data);
        return true;
    } catch (const Exception&) {
        return false;
    }
}

// The language file <module base name>.<ext>.lng beside the module, else in
// the language folder; "" when in neither.
QString ModuleLangFile(const QFileInfo& module, const QString& langFolder, const QString& ext)
{
    const QString name = module.completeBaseName() + u'.' + ext + QStringLiteral(".lng");
    for (const QString& folder : {module.absolutePath(), langFolder}) {
        const QString path = FindFileNoCase(QDir(folder).filePath(name));
        if (QFileInfo(path).isFile())
            return path;
    }
    return QString();
}

} // namespace

void TKLocalizerOnFly::TranslateLoadedModule(uintptr_t module)
{
    SwitchModuleToExt(module, LocUtils()->GetFileExt(FCurrentLocale), IsPackageModule(module));
}

void TKLocalizerOnFly::SwitchModuleToExt(uintptr_t module, const QString& ext, bool isPkg)
{
    TKLocUtils& utils = *LocUtils();
    if (module == 0)
        module = utils.AppInstance();
    TSwitchToFileProc switchToFile = nullptr;
    TBackToModuleResProc backToModuleRes = nullptr;
    if (!isPkg) {
        switchToFile = reinterpret_cast<TSwitchToFileProc>(FindModuleExport(module, "SwitchToFile"));
        backToModuleRes = reinterpret_cast<TBackToModuleResProc>(FindModuleExport(module, "BackToModuleRes"));
    }
    const QString moduleFile = utils.ModuleFileName(module);
    if (moduleFile.isEmpty() || moduleFile.size() > 260)
        throw ELocOnFlyError(LibraryMessage(sKFileDoesNotExist));
    const QFileInfo moduleInfo(moduleFile);
    const QString dllFolder = FDLLDir.isEmpty() ? moduleInfo.absolutePath() : FFullDLLDir;
    auto dllOf = [&](const QString& extension) {
        return FindFileNoCase(QDir(dllFolder).filePath(moduleInfo.completeBaseName() + u'.' + extension));
    };
    const QString dllName = dllOf(ext);

    // A package's resource module is the program's to set; any other module
    // sets its own through its entries.
    auto useDll = [&] {
        if (isPkg || !switchToFile) {
            const THModule dll = utils.PreloadResModule(module, dllName);
            if (dll == 0)
                throw ELULoadResLibError(QStringLiteral("Error loading resource file \"%1\"").arg(dllName));
            utils.SetResourceHInstance(module, dll);
            return;
        }
        TDLLInfoStruct info{};
        if (!switchToFile(reinterpret_cast<const char16_t*>(dllName.utf16()), int(dllName.size()), &info))
            throw ELULoadResLibError(QStringLiteral("Error loading resource file \"%1\"").arg(dllName));
    };
    auto useOwn = [&] {
        if (!isPkg && backToModuleRes)
            backToModuleRes();
        else
            utils.BackToModuleRes(module);
    };
    auto deletePrevious = [&] {
        if (DeleteUnusedLDll && FOldLocale != 0 && FOldLocale != NativeLocale() &&
            LocUtils()->GetFileExt(FOldLocale).compare(ext, Qt::CaseInsensitive) != 0)
            QFile::remove(dllOf(LocUtils()->GetFileExt(FOldLocale)));
    };

    TSettingsBlock own;
    if (!ReadLibSettings(utils.ModuleImage(module), own)) {
        // Not prepared for translation: its language DLL, if any, replaces
        // its resources as a whole.
        if (!IsNativeExt(ext) && QFileInfo::exists(dllName))
            useDll();
        else
            useOwn();
        return;
    }
    if (IsNativeExt(ext)) {
        useOwn();
        deletePrevious();
        return;
    }

    // The module's language: a file beside it or in the language folder, or
    // one embedded in its resources.
    const uint32_t locale = ExtToLocale(ext);
    std::unique_ptr<TLangFile> langFile;
    QByteArray embeddedData;
    std::vector<TEmbeddedLanguage> embedded;
    QByteArray langsResource;
    if (const TPEResourceImage resources(utils.ModuleImage(module));
        resources.FindResource(RT_RCDATA, kLocLangsName, langsResource))
        embedded = ReadEmbeddedLanguages(langsResource);
    if (const QString file = ModuleLangFile(moduleInfo, FLangList.FullPath(), ext); !file.isEmpty()) {
        langFile = std::make_unique<TLangFile>(file, true);
    } else {
        for (const TEmbeddedLanguage& language : embedded)
            if (language.Locale == uint16_t(locale))
                embeddedData = PlainLanguageData(language.Data);
        if (embeddedData.isEmpty())
            throw ELocOnFlyError(Format(LibraryMessage(sKLangFileNotFound),
                                        QDir(moduleInfo.absolutePath())
                                            .filePath(moduleInfo.completeBaseName() + u'.' + ext + ".lng")));
        langFile = std::make_unique<TLangFile>();
        TMemoryStream header(embeddedData);
        langFile->LoadHeaderFromStream(header, false);
    }

    TSettingsBlock current;
    const bool described = ReadLibSettings(utils.ModuleImage(utils.ModuleResModule(module)), current);
    if (described && current.Locale == uint16_t(langFile->Locale()) && current.Version == langFile->Version() &&
        current.Build == langFile->Build() && QFileInfo::exists(dllName)) {
        useDll();
        deletePrevious();
        return;
    }

    // Built anew from the module's own store: its native language, then the
    // language asked for.
    useOwn();
    TLocStorage store;
    if (const QString native = ModuleLangFile(moduleInfo, FLangList.FullPath(), kNtv); !native.isEmpty()) {
        TLangFile(native, true).Load(&store, -1, 0);
    } else if (!embedded.empty()) {
        TMemoryStream data(PlainLanguageData(embedded.front().Data));
        TLangFile().LoadFromStream(data, &store, -1, 0);
    } else {
        throw ELocOnFlyError(Format(LibraryMessage(sKLangFileNotFound),
                                    QDir(moduleInfo.absolutePath())
                                        .filePath(moduleInfo.completeBaseName() + QStringLiteral(".ntv.lng"))));
    }
    const int index = store.AddLanguage(0, uint16_t(langFile->Locale()));
    if (embeddedData.isEmpty()) {
        langFile->Load(&store, index, 0);
    } else {
        TMemoryStream data(embeddedData);
        langFile->LoadFromStream(data, &store, index, 0);
    }
    langFile->SetLangIndex(index);
    if (QFileInfo::exists(dllName) && !QFile::remove(dllName) && QFileInfo::exists(dllName))
        throw ELocOnFlyError(Format(LibraryMessage(sKCannotDeleteFile), dllName));
    langFile->CreateLDLL(utils.ModuleImage(module), dllName, QString(), &store, FCheckSync);
    useDll();
    if (!FDestroying) {
        store.SetCurLangIndex(index);
        TranslateRunningForms(store, index);
    }
    deletePrevious();
}

// A module other than the program that is prepared for translation and
// switches its own resources.
void TKLocalizerOnFly::TranslateModuleIfLocalized(uintptr_t module, const QString& ext)
{
    TSettingsBlock block;
    if (module != LocUtils()->AppInstance() && FindModuleExport(module, "SwitchToFile") &&
        ReadLibSettings(LocUtils()->ModuleImage(module), block))
        SwitchModuleToExt(module, ext, false);
}

// Every package of the module list, then every other loaded module that is
// prepared for translation. A module that fails is passed over: the
// program's own switch has been made, and one library must not undo the
// rest.
void TKLocalizerOnFly::SwitchModules(const QString& ext)
{
    for (const TModuleInstance module : LoadedModules()) {
        if (module == LocUtils()->AppInstance() || !IsPackageModule(module))
            continue;
        try {
            SwitchModuleToExt(module, ext, true);
        } catch (const Exception&) {
        }
    }
    uint32_t needed = 0;
    EnumLoadedModules(0, nullptr, 0, needed);
    std::vector<TModuleHandle> modules(needed / sizeof(TModuleHandle));
    EnumLoadedModules(0, modules.data(), uint32_t(modules.size() * sizeof(TModuleHandle)), needed);
    for (const TModuleHandle module : modules) {
        try {
            TranslateModuleIfLocalized(module, ext);
        } catch (const Exception&) {
        }
    }
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

QString TKLocalizerOnFly::RSValue(uint32_t locale, const TResStringRec& resStr)
{
    if (resStr.Identifier < 0x10000)
        return RSValueByID(locale, int32_t(resStr.Identifier));
    // The store keys constants by their 16-bit string IDs: a larger
    // identifier must not be cut down to one and answered with another
    // string's text.
    Guard([&] { CheckInitialized(); });
    return QString();
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
