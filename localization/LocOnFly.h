#pragma once
// Switching the user interface language while the program runs: the list of
// languages the program can switch to (one entry per language file
// <program>.<ext>.lng found in the language folder, and per language embedded
// in the program's resources), and the on-the-fly localizer TKLocalizerOnFly,
// which loads a language into its translation store, builds or reuses the
// language's resource DLL, makes it the resource module and writes the
// translated values into every running window.
#include "localization/KUtils.h"
#include "localization/LocStorage.h"

#include "platform/rtl/Exceptions.h"

#include <QString>

#include <QByteArray>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class TComponent;
class TLangFile;
class TMenuItem;
class TObject;
class TPersistent;
class TStream;

RTL_EXCEPTION_CLASS(ELocOnFlyError, Exception);

class TLFInfoList;

// One language the program can switch to.
class TLFInfo {
public:
    explicit TLFInfo(TLFInfoList* owner) : FInfoList(owner) {}

    TLFInfoList* InfoList() const { return FInfoList; }
    // The entry is the native (untranslated) language.
    bool Native() const { return FNative; }
    void SetNative(bool native) { FNative = native; }
    // The language file's name without folder; empty for an embedded language.
    const QString& FileName() const { return FFileName; }
    void SetFileName(const QString& fileName) { FFileName = fileName; }
    uint32_t Locale() const { return FLocale; }
    void SetLocale(uint32_t locale) { FLocale = locale; }
    const QString& EnglishName() const { return FEnglishName; }
    void SetEnglishName(const QString& name) { FEnglishName = name; }
    // The name of the language in itself.
    const QString& LocalizedName() const { return FLocalizedName; }
    void SetLocalizedName(const QString& name) { FLocalizedName = name; }
    bool ShowUntranslatedAsNative() const { return FShowUntranslatedAsNative; }
    void SetShowUntranslatedAsNative(bool value) { FShowUntranslatedAsNative = value; }
    uint32_t Version() const { return FVersion; }
    void SetVersion(uint32_t version) { FVersion = version; }
    uint32_t Build() const { return FBuild; }
    void SetBuild(uint32_t build) { FBuild = build; }

private:
    bool FNative = false;
    TLFInfoList* FInfoList;
    QString FFileName;
    uint32_t FLocale = 0;
    QString FEnglishName;
    QString FLocalizedName;
    bool FShowUntranslatedAsNative = false;
    uint32_t FVersion = 0;
    uint32_t FBuild = 0;
};

// The languages, in ascending order of English name as Add placed them, and
// the folder they were found in.
class TLFInfoList : public TKObjectList<TLFInfo> {
public:
    TLFInfoList() = default;

    // Inserts info before the first entry whose English name is greater
    // (ordinal, case-sensitive), so equal names keep their order of adding.
    // Returns the position.
    int Add(std::unique_ptr<TLFInfo> info);
    TLFInfo* GetItem(int index) const { return Items(index); }

    // The first position of locale; -1 when none.
    int IndexByLocale(uint32_t locale) const { return IndexByLocaleEx(locale, true); }
    // With processNative false the native entry is passed over.
    int IndexByLocaleEx(uint32_t locale, bool processNative) const;
    // The language of locale is listed and embedded (it has no file).
    bool IsResLanguage(uint32_t locale) const;
    // The first native entry; -1 when none.
    int NativeIndex() const;

    // The folder as given and as expanded to a full path.
    const QString& FolderPath() const { return FFolderPath; }
    const QString& FullPath() const { return FFullPath; }
    // Sets the folder, taken relative to the program's folder, and scans it
    // for <program>.*.lng (names matched without regard to case); nothing
    // happens when folder is the folder already set. The list is not cleared
    // first: a language found again is updated in place (file name, English
    // name, native flag, version and build), a new one added. Files that
    // cannot be read are skipped. ELocOnFlyError 'Specified path "%s" does
    // not exist' (with the expanded path) when the folder is missing; the
    // list and the folder stay as they were.
    void SetFolder(const QString& folder);

private:
    QString FFolderPath;
    QString FFullPath;

    void Scan();
};

// One language of the embedded languages resource "VLT_LOC_LANGS_".
struct TEmbeddedLanguage {
    uint16_t Locale = 0;
    QString EnglishName;
    QString LocalizedName;
    uint32_t Version = 0;
    uint32_t Build = 0;
    QByteArray Data; // a language file image, possibly LZK-compressed
};
// Reads the resource: "KLL", format (16), one or two unused 32-bit fields,
// count (16), the headers, then each block after its size. A block shorter
// than its size raises ELocOnFlyError "Invalid KLANGS resource"; every other
// cut raises it too, never reading past the data.
std::vector<TEmbeddedLanguage> ReadEmbeddedLanguages(const QByteArray& data);

enum class TErrorReaction { erException, erMessage, erIgnore };

// A resource string as a unit refers to it: the module that holds it and its
// identifier. An identifier below 0x10000 is the string's ID in the module's
// string table; a larger one is no string-table ID (where such records come
// from it stands for the address of the string or of an import slot, which
// this library never follows).
struct TResStringRec {
    uintptr_t Module = 0;
    uintptr_t Identifier = 0;
};

class TKLocalizerOnFly {
public:
    using TMenuItemAddEvent = std::function<void(TKLocalizerOnFly&, const TLFInfo&, TMenuItem*, bool& skip)>;
    using TCustomObjectProcessingEvent =
        std::function<bool(TKLocalizerOnFly&, TObject*, const QString& propPath, const QString& value)>;
    using TCustomColItemProcessingEvent =
        std::function<TObject*(TKLocalizerOnFly&, TObject*, const QString& name, int index)>;
    using TLangSwitchEvent = std::function<void(TKLocalizerOnFly&, const TLFInfo&)>;
    using TNotifyEvent = std::function<void(TKLocalizerOnFly&)>;
    using TFormProcessStartEvent = std::function<void(TKLocalizerOnFly&, TComponent*)>;

    TKLocalizerOnFly();
    virtual ~TKLocalizerOnFly();
    TKLocalizerOnFly(const TKLocalizerOnFly&) = delete;
    TKLocalizerOnFly& operator=(const TKLocalizerOnFly&) = delete;

    // Operations inside the error reaction. Init, SwitchTo, SwitchToExt and
    // SwitchToFile answer whether they completed: false when an error ended
    // them (whatever the error reaction did with it), so a caller can tell a
    // switch that took effect from one that was reported and left the
    // language as it was.
    bool Init(const QString& langDir);
    void InitPE(const QString& peFileName, const QString& langDir);
    void InitReg(const QString& regKey, const QString& langDir);
    bool SwitchTo(uint32_t locale);
    bool SwitchToExt(const QString& ext);
    bool SwitchToFile(const QString& fileName);
    void ProcessContainerEx(TComponent* container, const QString& ext);
    void ProcessRtmEx(TComponent* container, const QString& name, const QString& ext);
    void ProcessFormEx(TLocStorage* storage, TComponent* form, const QString& ext);
    // One radio item per language under menuItem (the native one only with
    // useNative); clicking one switches to it.
    void PopulateMenu(TMenuItem* menuItem, int groupIndex, bool useNative);

    // Operations that let exceptions pass.
    void SwitchToStream(TStream& stream);
    void ProcessContainer(TComponent* container);
    void ProcessRtm(TComponent* container, const QString& name);
    // Switches another loaded module (0 = the program) to the language of
    // ext: a package through its resource module, any other module through
    // its "SwitchToFile" and "BackToModuleRes" entries; a module that holds
    // a settings block gets its language DLL built from its own language
    // files and the running windows translated with its texts.
    void SwitchModuleToExt(uintptr_t module, const QString& ext, bool isPkg);
    // The same into the current language.
    void TranslateLoadedModule(uintptr_t module);

    // Look-ups (inside the error reaction; "" when missing).
    QString GetTranslatedRS(const QString& constantName);
    QString RSValueByName(uint32_t locale, const QString& constantName);
    QString GetTranslatedRSByID(int32_t constId);
    QString RSValueByID(uint32_t locale, int32_t constId);
    // RSValueByID of the record's ID; "" for an identifier that is no
    // string ID, as for a string the store does not hold.
    QString RSValue(uint32_t locale, const TResStringRec& resStr);
    QString GetTranslatedProperty(const QString& formName, const QString& propertyName);
    QString PropValueByName(uint32_t locale, const QString& formName, const QString& propertyName);
    QString GetTranslatedXS(const QString& xsName);
    QString XSValueByName(uint32_t locale, const QString& xsName);
    QString GetTranslatedXSByValue(const QString& value);
    QString XSByValue(const QString& nativeWord, uint32_t toLocale);
    QString GetWordTranslation(const QString& nativeWord, uint32_t toLocale);
    TLocExtGroup* GetExtGroupByName(const QString& extGroupName);

    // Properties.
    uint32_t CurrentLocale() const { return FCurrentLocale; }
    int CurLangIndex() const;
    int CurLangStorageIndex() const { return FLangIndex; }
    QString LangDir() const;
    void SetLangDir(const QString& folder);
    const QString& DLLDir() const { return FDLLDir; }
    void SetDLLDir(const QString& folder);
    TLFInfoList& LangList() { return FLangList; }
    TLocStorage& LocStorage() { return FLocStorage; }
    uint32_t NativeLocale() const;
    bool Initialized() const { return FInitialized; }
    // A switch also switches the packages and library modules of the module
    // list (platform/os); a module that fails is passed over.
    bool TranslatePackages = false;
    bool UnloadInactiveLanguages = false;
    bool DeleteUnusedLDll = false;
    bool SoftMode = false;
    // A switch gives the screen's fonts, and the font of every object it
    // translates, the character set of the new language (fonts only carry
    // it: Qt draws Unicode whatever it is).
    bool ProcessCharset = false;
    bool ChangeUntranslatedItems = true;
    TErrorReaction ErrorReaction = TErrorReaction::erMessage;
    static bool AsciiDfmStrings;

    TMenuItemAddEvent OnMenuItemAdd;
    TNotifyEvent OnLangSwitchStart;
    TLangSwitchEvent OnLangSwitch;
    TCustomObjectProcessingEvent OnCustomObjectProcessing;
    TCustomColItemProcessingEvent OnCustomColItemProcessing;
    TCustomColItemProcessingEvent OnSpecialProcessing;
    TFormProcessStartEvent OnFormProcessStart;

protected:
    virtual void DoLangSwitchStart();
    virtual void DoLangSwitch(int listIndex);
    virtual void DoFormProcessStart(TComponent* container);
    virtual bool DoCustomObjectProcessing(TObject* object, const QString& propPath, const QString& value);
    virtual TObject* DoCustomColItemProcessing(TObject* object, const QString& name, int index);

private:
    template <class F> bool Guard(F&& operation);
    void HandleError(const Exception& error);
    void CheckInitialized() const;
    bool RunInitialization(const std::function<void()>& steps);
    void OpenLangFolder(const QString& langDir);
    void SetLangFolder(const QString& folder);
    void LoadNativeLangFile();
    int EnsureLanguageLoaded(uint32_t locale);
    std::vector<TEmbeddedLanguage> EmbeddedLanguages();
    void AddEmbeddedEntries(const std::vector<TEmbeddedLanguage>& languages, bool markNative);
    void LoadLanguageData(const QByteArray& data, int index);
    void SwitchToLocale(uint32_t locale, QString ext);
    void LoadLangFileAndApply(const QString& fileName);
    void ApplyEmbeddedLang(uint32_t locale);
    void ApplyLangFile(TLangFile& langFile);
    void ApplyLangFileFrom(TLangFile& langFile, TStream& data);
    QString LangFileName(const QString& ext) const;
    QString DLLFileName(uint32_t locale) const;
    void SaveChosenLanguage();
    int ExtToStorageIndex(const QString& ext);
    void LoadNativeInto(const std::function<void()>& load);
    void TakeLanguage(TLangFile& langFile, int index);
    void SwitchModules(const QString& ext);
    void TranslateModuleIfLocalized(uintptr_t module, const QString& ext);
    void TranslateRunningForms(TLocStorage& storage, int langIndex);
    void TranslateContainer(TLocStorage& storage, TComponent* container, int langIndex);
    void TranslateInheritedSections(TLocStorage& storage, TComponent* component, int langIndex);
    void ApplyStoreForm(TLocStorage& storage, TLocForm& form, TComponent* container, int langIndex);
    TObject* CollectionItemOf(TComponent* container, const QString& name);
    bool ApplyProperty(TObject* object, const QString& path, const QString& value);
    void SetFontCharset(TObject* object, int charset);
    void SetScreenCharset();
    QString ChosenValue(const TLocItem& item, int langIndex) const;

    bool FInitialization = true;
    bool FInitialized = false;
    bool FDestroying = false;
    bool FProcessBiDiMode = false;
    bool FShowUntranslatedAsIs = false;
    uint32_t FCurrentLocale = 0;
    TLocStorage FLocStorage;
    TLFInfoList FLangList;
    int FLangIndex = 0;
    QString FRegKey, FRegSubKey, FRegValName;
    QString FDLLDir;
    QString FFullDLLDir;
    uint32_t FOldLocale = 0;
    TStream* FTempStream = nullptr;
    bool FCheckSync = true;
};

// The global localizer and the resource-module utilities: made by
// InitLocalization at start-up (the utilities first), freed by
// DoneLocalization at shut-down.
TKLocalizerOnFly* LocalizerOnFly();
void InitLocalization();
void DoneLocalization();
