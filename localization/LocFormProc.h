#pragma once
// TLocFormProcessor: translates binary form streams ("TPF0") with the values
// of one language of a translation store, and the other way round collects
// the translatable properties of form streams into a store (scan mode, used
// by the build-time language tool).
//
// Update mode copies every byte it does not change: property names, values
// of untranslated properties and whole objects pass through as they stand.
// A translated value is written in the store's value type of the stream's
// tag; strings as wide strings when the project is Unicode (and the text is
// not empty), else as Ansi in the language's code page. A translation that is
// empty keeps the source text, and a list translated with fewer lines keeps
// the source's remaining lines. Every failure while a form is processed is
// re-raised with "Error during processing form <name>" and a line break
// before its message.
//
// Scan mode reads a report design embedded in a form (an object of class
// "TfrxReport") from the form stream itself: the design's objects are the
// child objects of the TfrxReport object, at any depth, and a memo's text is
// its "Memo.Strings" list (lines joined with CR LF) or its "Text" string.
// Each text goes into the external group "FRFORM:<form>:<design>" as the
// item "<memo>.Text", not into the form's properties. A design the form
// keeps as a binary block is not read.
#include "localization/LocStorage.h"

#include "platform/objects/Filer.h"
#include "platform/rtl/Exceptions.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

class TResProcessor;
class TStream;

RTL_EXCEPTION_CLASS(ELocFormProcessorError, Exception);

// The framework's writer with Ansi strings in a locale's code page.
class TKWriter : public TWriter {
public:
    using TWriter::TWriter;
    // Up to 255 bytes a short string (tag 6, one length byte), longer a long
    // string (tag 12, 32-bit length).
    void WriteAnsiString(const QString& ws, uint32_t locale);
};

class TLocFormProcessor;
// Called before a form; setting process to false leaves the form unchanged.
using TLocBeforeProcessingEvent = std::function<void(TLocFormProcessor&, const QString& formName, bool& process)>;
using TLocAfterProcessingEvent = std::function<void(TLocFormProcessor&, const QString& formName)>;

class TLocFormProcessor {
public:
    TLocFormProcessor();
    ~TLocFormProcessor();
    TLocFormProcessor(const TLocFormProcessor&) = delete;
    TLocFormProcessor& operator=(const TLocFormProcessor&) = delete;

    // --- update mode ------------------------------------------------------------
    // Translates the form resource of every project form of the set; ELocFormProcessorError
    // "Can't find RCDATA block" when the set has no RCDATA.
    void UpdateFormsByResource(TResProcessor& resources);
    // The item "T" + the form name (else "TME" + it), upper case; a missing
    // one is skipped.
    void UpdateFormByResource(TResProcessor& resources, const QString& formName);
    void UpdateBinStream(TStream& source, TStream& dest);
    // A form file in place: resource-wrapped, binary, or a text form (written
    // back as text).
    void UpdateFormFile(const QString& fileName);
    // Every project form as <name>.dfm in folder.
    void UpdateFormFiles(const QString& folder);

    // --- scan mode ------------------------------------------------------------
    // Collects the properties the rules accept into the store at LangIndex.
    void LoadFromBinStream(TStream& stream, uint16_t attributes);
    void LoadFromFile(const QString& fileName);
    void LoadFromFileEx(const QString& fileName, const QString& namePattern, uint16_t attributes);
    void LoadFromFiles(const QString& folder);
    // Every binary form stream among the set's RCDATA items.
    void ProcessFormsByResource(TResProcessor& resources);
    // Adds the root object name of every binary form stream of the set.
    void GetFormNamesByResource(TResProcessor& resources, QStringList& formNames);
    // Whether the rules take the property; strongRule tells a rule that
    // begins with "*" took it.
    bool SatisfyRules(const QString& objTypeName, const QString& objName, const QString& propName,
                      bool& strongRule) const;

    // --- settings ------------------------------------------------------------
    TLocStorage* LocStorage() const { return FLocStorage; }
    void SetLocStorage(TLocStorage* storage) { FLocStorage = storage; }
    int LangIndex() const { return FLangIndex; }
    void SetLangIndex(int index) { FLangIndex = index; }
    uint16_t LangLocale() const { return FLangLocale; }
    void SetLangLocale(uint16_t locale) { FLangLocale = locale; }
    QStringList& PrjForms() { return FPrjForms; }
    QStringList& PropRules() { return FPropRules; }
    QStringList& SubstProps() { return FSubstProps; }
    bool ProcessCharset() const { return FProcessCharset; }
    void SetProcessCharset(bool value) { FProcessCharset = value; }
    bool ProcessBiDiMode() const { return FProcessBiDiMode; }
    void SetProcessBiDiMode(bool value) { FProcessBiDiMode = value; }
    bool UnicodeProject() const { return FUnicodeProject; }
    void SetUnicodeProject(bool value) { FUnicodeProject = value; }
    bool ShowUntranslatedAsIs() const { return FShowUntranslatedAsIs; }
    void SetShowUntranslatedAsIs(bool value) { FShowUntranslatedAsIs = value; }
    int32_t LFVersion() const { return FLFVersion; }
    void SetLFVersion(int32_t version) { FLFVersion = version; }
    // Scan mode: the memo texts of report designs embedded in a form (below)
    // are collected (on by default).
    bool ProcessFRComponents() const { return FProcessFRComponents; }
    void SetProcessFRComponents(bool value) { FProcessFRComponents = value; }
    const QString& FormNamePattern() const { return FFormNamePattern; }
    void SetFormNamePattern(const QString& pattern) { FFormNamePattern = pattern; }
    TLocBeforeProcessingEvent BeforeFormProcessing;
    TLocAfterProcessingEvent AfterFormProcessing;

    // Character set and layout of the language at LangIndex.
    void PrepareLanguage();
    const QString& LangCharsetValue() const { return FLangCharsetValue; }
    bool LangIsMiddleEast() const { return FLangIsMiddleEast; }

private:
    friend class TFormWalker;
    void ProcessStream(TStream& source, TStream* dest);

    TLocStorage* FLocStorage = nullptr;
    int FLangIndex = 0;
    uint16_t FLangLocale = 0;
    uint16_t FBaseLocale = 9;
    QStringList FPrjForms;
    QStringList FPropRules;
    QStringList FSubstProps;
    int32_t FLFVersion = 0;
    bool FProcessCharset = false;
    QString FLangCharsetValue;
    bool FLangIsMiddleEast = false;
    bool FProcessBiDiMode = true;
    bool FUnicodeProject = true;
    bool FShowUntranslatedAsIs = true;
    QString FFormNamePattern;
    bool FProcessFRComponents = true;
    TLocExtGroup* FFastReportGroup = nullptr; // the group of the design being scanned
    uint16_t FScanAttributes = 0;
    QString FScanFormName; // the form being scanned, for the rules
};
