#pragma once
// Switching the user interface language while the program runs. This part
// holds the list of languages the program can switch to: one entry per
// language file <program>.<ext>.lng found in the language folder (and, added
// by the localizer, per language embedded in the program's resources).
#include "localization/KUtils.h"

#include "platform/rtl/Exceptions.h"

#include <QString>

#include <cstdint>
#include <memory>

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
