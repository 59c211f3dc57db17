#pragma once
// Language files (".lng"): every translatable text of one program in one
// language. TLangFile reads a file's header when it is made, loads the whole
// file into a translation store at a language index, saves one language of a
// store back, and rewrites only the header.
//
// File layout (little-endian; a whole file may instead be LZK-compressed,
// which every reader recognises by its signature):
//
//   header  "LF", format version (16 bits, 1..7), version (32, signed),
//           build (32, format 5+), locale (16), based-on language (16,
//           format 3+), English name (16-bit length + Ansi bytes), name in
//           itself (16-bit length in code units + UTF-16), native flag (16),
//           attributes (16, format 2+; 0 when absent), highest constant ID
//           (32), highest property ID (32), highest external-item ID (32,
//           format 7+)
//   units   count (16); per unit: name, attributes (16, format 2+),
//           constant count (16); per constant: name, attributes (16, format
//           2+), string ID (16), ID (32), value (wide string), version (32,
//           signed; -1 = the file's version), modification time (8, a
//           date-time double)
//   forms   count (16); per form: name, attributes (format 2+), count (16)
//           and records of its own properties, component count (16); per
//           component: name, attributes (format 2+), count (16) and property
//           records. A property record: name, attributes (format 2+), ID (32),
//           value type (32, low byte a TLocValueType), the value, version
//           (32), time (8). Floats are 8-byte doubles and integers 32 bits
//           (both format 4+), strings and string lists wide strings; the
//           other types have no bytes.
//   groups  format 7+ only: count (16); per group: name, attributes (16),
//           item count (16); per item: name, attributes (16), ID (32), value
//           (wide string), version (32, stored as read), time (8)
//
// Body strings carry compact lengths (KHelpers): 16-bit words up to format
// 5, 1/2/4-byte lengths from format 6. Names are Ansi in the system code
// page, values UTF-16.
//
// A load parses the whole file before it changes the store, so a file that
// fails to read leaves the store as it was. Saving builds the file in memory
// and replaces the file on disk through a temporary file and a rename, so a
// failed save never loses the user's file.
//
// Where the file is kept open "denying writes by others" this is an advisory
// lock (flock): a shared lock while reading or while Lock() holds the file,
// an exclusive one to test whether the file may be written or replaced.
#include "localization/LocStorage.h"

#include "platform/rtl/Exceptions.h"

#include <QLocale>
#include <QString>

#include <cstdint>

class TStream;
class TResProcessor;

RTL_EXCEPTION_CLASS(ELangFileError, Exception);

// Load options, a set of bits.
enum TLFLoadOption : uint8_t {
    loSyncByName = 1, // match records to store items by name instead of by ID
    loRepair = 2,     // a new language: a record whose ID is taken gets a new one
};
using TLFLoadOptions = uint8_t;

// Attribute bits of a language file.
constexpr uint16_t lfaUnicode = 0x0001;              // texts are wide; character sets are left alone
constexpr uint16_t lfaBiDiMode = 0x0002;             // right-to-left layout for right-to-left languages
constexpr uint16_t lfaShowUntranslatedAsIs = 0x0100; // an outdated translation is still used

class TLangFile {
public:
    static constexpr uint16_t CurrentFormatVersion = 7;

    // An object without a file, for languages held in a stream or resource.
    TLangFile();
    // Reads the header of fileName when the file exists (a missing file
    // leaves the defaults). Unless readOnly, tests whether the file may be
    // written and marks the object read-only when it may not; readOnly
    // marks it read-only outright. Raises EFOpenError when another process
    // holds the file for writing, the stream's EReadError for a header cut
    // short, ELangFileError for a bad signature or version and
    // EKCompressError for a corrupt compressed file.
    explicit TLangFile(const QString& fileName, bool readOnly = false);
    TLangFile(const TLangFile&) = delete;
    TLangFile& operator=(const TLangFile&) = delete;
    ~TLangFile();

    // Reads the header from position 0 of stream (decompressing an LZK
    // stream first) and returns its size. Stores it into the object unless
    // skipOnly.
    int64_t LoadHeaderFromStream(TStream& stream, bool skipOnly);
    // Loads the whole stream from position 0: the header into the object,
    // the body into storage at index. A negative index empties the store
    // (its languages stay) and makes the file its main language.
    void LoadFromStream(TStream& stream, TLocStorage* storage, int index, TLFLoadOptions options);
    // The same from the file; the header read when the object was made
    // stays in force.
    void Load(TLocStorage* storage, int index, TLFLoadOptions options);
    // Writes language index of storage to the file. The format is raised to
    // 4 when lower; from format 5 on a modified object's build rises by one.
    // updateItemVersion writes the main values' versions instead of the
    // language's. Raises ELangFileError for a read-only object, a missing
    // store or an index outside its languages, before anything is written.
    void Save(TLocStorage* storage, int index, bool updateItemVersion);
    // Save's file image written to stream (LZK-compressed when Compressed).
    void SaveToStream(TStream& stream, TLocStorage* storage, int index, bool updateItemVersion);
    // Rewrites the header of fileName from the object and keeps its body (in
    // the body's own format); without a file, an empty body. The object then
    // names fileName.
    void SaveHeader(const QString& fileName);

    // Keeps the file open under a shared lock; ELangFileError "Can not open
    // language file exclusively" when it cannot be opened or another process
    // holds it for writing.
    void Lock();
    void Unlock();

    void IncreaseVersion() { SetVersion(int32_t(uint32_t(FVersion) + 1)); }
    void UpdateFormatVersion() { FFormatVersion = CurrentFormatVersion; }

    // True when any bit of index is set.
    bool GetAttribute(uint16_t index) const { return (FAttributes & index) != 0; }
    void SetAttribute(uint16_t index, bool value);

    uint16_t FormatVersion() const { return FFormatVersion; }
    uint32_t Locale() const { return FLocale; }
    void SetLocale(uint32_t locale) { FLocale = locale; }
    int32_t Version() const { return FVersion; }
    // A different version resets the build to 0.
    void SetVersion(int32_t version);
    uint32_t Build() const { return FBuild; }
    void SetBuild(uint32_t build) { FBuild = build; }
    const QString& LangEnglishName() const { return FLangEnglishName; }
    void SetLangEnglishName(const QString& name) { FLangEnglishName = name; }
    const QString& LangLocalizedName() const { return FLangLocalizedName; }
    void SetLangLocalizedName(const QString& name) { FLangLocalizedName = name; }
    bool IsNative() const { return FIsNative; }
    void SetIsNative(bool isNative) { FIsNative = isNative; }
    const QString& FileName() const { return FFileName; }
    int32_t ConstMaxID() const { return FConstMaxID; }
    void SetConstMaxID(int32_t id) { FConstMaxID = id; }
    int32_t PropertyMaxID() const { return FPropertyMaxID; }
    void SetPropertyMaxID(int32_t id) { FPropertyMaxID = id; }
    int32_t ExtItemMaxID() const { return FExtItemMaxID; }
    void SetExtItemMaxID(int32_t id) { FExtItemMaxID = id; }
    bool Modified() const { return FModified; }
    void SetModified(bool modified) { FModified = modified; }
    uint16_t Attributes() const { return FAttributes; }
    uint16_t BasedOnLangID() const { return FBasedOnLangID; }
    void SetBasedOnLangID(uint16_t langId) { FBasedOnLangID = langId; }
    uint32_t RepLocale() const { return FRepLocale; }
    void SetRepLocale(uint32_t locale) { FRepLocale = locale; }
    bool AskRepLocale() const { return FAskRepLocale; }
    void SetAskRepLocale(bool ask) { FAskRepLocale = ask; }
    int LangIndex() const { return FLangIndex; }
    void SetLangIndex(int index) { FLangIndex = index; }
    // The descriptor of the locked file, -1 when not locked.
    int Handle() const { return FHandle; }
    bool ReadOnly() const { return FReadOnly; }
    bool Compressed() const { return FCompressed; }
    void SetCompressed(bool compressed) { FCompressed = compressed; }
    bool NativeExeMismatch() const { return FNativeExeMismatch; }
    void SetNativeExeMismatch(bool mismatch) { FNativeExeMismatch = mismatch; }
    const QString& NativeExeMismatchText() const { return FNativeExeMismatchText; }
    void SetNativeExeMismatchText(const QString& text) { FNativeExeMismatchText = text; }
    bool CheckDllValidity() const { return FCheckDllValidity; }
    void SetCheckDllValidity(bool check) { FCheckDllValidity = check; }
    // The number of values the last load took into the store: 0 when no
    // record of the file matched an item.
    int ValuesTaken() const { return FValuesTaken; }
    // The keyboard layout in force when the object was made: the locale of
    // the application's input method, the system locale in a program
    // without a GUI or on a platform without an input method.
    const QLocale& KeyboardLayout() const { return FKeyboardLayout; }

    // --- language DLLs ---------------------------------------------------------------
    // Builds the DLL image of this file's language: the resources of
    // moduleImage (when not empty) or of the PE file peFileName, translated
    // from storage at LangIndex() (only the settings block without a store).
    // ELangFileError "Can't create DLL. The native DLL is invalid" when
    // CheckDllValidity() and the native resources carry no "LDLL" block.
    void CreateLDLLStream(const QByteArray& moduleImage, TStream& stream, const QString& peFileName,
                          TLocStorage* storage, bool updateVersion, bool checkSync);
    // The same, saved as fileName through a temporary file and a rename: a
    // failed build leaves no file of that name behind.
    void CreateLDLL(const QByteArray& moduleImage, const QString& fileName, const QString& peFileName,
                    TLocStorage* storage, bool checkSync);
    // Writes this file's settings block ("VLT_LIBSETTINGS_", and with exeFile
    // also "VLT_EXESETTINGS_") into the set.
    void SaveOwnSection(TResProcessor& resources, uint16_t blockVersion, bool exeFile, bool updateVersion) const;
    // The module's image translated: returned rebuilt, with the settings
    // blocks of the program and the embedded languages left out.
    QByteArray UpdateResources(const QByteArray& moduleImage, TLocStorage* storage, bool checkSync);

private:
    uint16_t FFormatVersion = CurrentFormatVersion;
    uint32_t FLocale = 0;
    int32_t FVersion = 0;
    QString FLangEnglishName;
    QString FLangLocalizedName;
    bool FIsNative = false;
    QString FFileName;
    int32_t FConstMaxID = 0;
    int32_t FPropertyMaxID = 0;
    int32_t FExtItemMaxID = 0;
    bool FModified = false;
    QLocale FKeyboardLayout = CurrentKeyboardLayout();
    uint16_t FAttributes = lfaUnicode;
    uint16_t FBasedOnLangID = 0;
    uint32_t FRepLocale = 0;
    bool FAskRepLocale = true;
    uint32_t FBuild = 0;
    int FLangIndex = 0;
    int FHandle = -1;
    bool FReadOnly = false;
    bool FCompressed = false;
    bool FNativeExeMismatch = false;
    QString FNativeExeMismatchText;
    bool FCheckDllValidity = true;
    int FValuesTaken = 0;

    static QLocale CurrentKeyboardLayout();

    struct Header;
    struct Body;
    static Header ReadHeader(TStream& stream);
    // The header of a compressed file: decompressed from a prefix of the
    // file, or from the whole file when the prefix does not hold all of it.
    static Header ReadCompressedHeader(TStream& file);
    static Body ReadBody(TStream& stream, uint16_t formatVersion);
    void StoreHeader(const Header& header);
    void WriteHeader(TStream& out, uint16_t formatVersion, uint32_t build) const;
    void WriteBody(TStream& out, TLocStorage& storage, int index, bool updateItemVersion,
                   uint16_t formatVersion) const;
    void ApplyBody(const Body& body, TLocStorage& storage, int index, TLFLoadOptions options);
    void LoadPlain(TStream& plain, TLocStorage& storage, int index, TLFLoadOptions options, bool storeHeader);
    void CheckTarget(const TLocStorage* storage, int index) const;
    // The format and build a save writes.
    uint16_t SaveFormatVersion() const;
    uint32_t SaveBuild(uint16_t formatVersion) const;
    // Replaces fileName with image (compressed when FCompressed), keeping the
    // object's lock as it was.
    void WriteFileImage(const QString& fileName, const QByteArray& image);
    // The settings-block version of the native resources (checked when
    // CheckDllValidity()), then strings and forms from the store.
    uint16_t TranslateResources(TResProcessor& resources, TLocStorage& storage, bool checkSync);
};
