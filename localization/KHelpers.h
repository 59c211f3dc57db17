#pragma once
// Small services shared by the units of the localization library: compact
// length-prefixed strings in streams, the OS version record, runtime
// packages and loaded modules, copying a stream into memory, and the
// library's numbered messages.
#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>

class TStream;
class TMemoryStream;

// --- the library's messages ---------------------------------------------------
// Numbered texts of the program's string table (language 1033). Each unit
// raises its own; texts holding "%s" are passed through Format by the caller.
constexpr int sKSrcStreamNotDefined = 65488;           // "Source stream is not defined"
constexpr int sKDestStreamNotDefined = 65489;          // "Destination stream is not defined"
constexpr int sKWrongStreamFormat = 65490;             // "Wrong stream format"
constexpr int sKCouldNotAddLanguage = 65504;           // translation store
constexpr int sKCouldNotRemoveLanguage = 65505;        // translation store
constexpr int sKEmptyDictionary = 65506;               // translation store
constexpr int sKCannotOpenLangFileExclusively = 65508; // language file
constexpr int sKInvalidLangFileFormat = 65509;         // language file
constexpr int sKLangFileTooNew = 65510;                // language file
constexpr int sKNativeDllInvalid = 65511;              // resource DLL
constexpr int sKInvalidLocStorage = 65512;             // language file
constexpr int sKErrorSavingDll = 65513;                // resource DLL
constexpr int sKFileOpenedReadOnly = 65514;            // language file, %s = file name
constexpr int sKInvalidIndex = 65515;                  // language file
constexpr int sKResCouldNotOpen = 65516;               // .res reader, %s = file name
constexpr int sKResCreateFileMappingFailed = 65517;    // .res reader
constexpr int sKResMapViewFailed = 65518;              // .res reader
constexpr int sKResInvalidFileFormat = 65519;          // .res reader
constexpr int sKFileDoesNotExist = 65521;              // localizer
constexpr int sKNoValueTaken = 65522;                  // localizer, %s = file or language name
constexpr int sKLangFileNotFound = 65523;              // localizer, %s = file name
constexpr int sKPathDoesNotExist = 65524;              // localizer, %s = folder
constexpr int sKLocalizerNotInitialized = 65525;       // localizer
constexpr int sKLanguageNotFound = 65526;              // localizer, %s = language
constexpr int sKCannotDeleteFile = 65527;              // localizer, %s = file name
constexpr int sKInvalidKLangsResource = 65528;         // embedded languages
constexpr int sKCantFindRcdataBlock = 65529;           // form translator
constexpr int sKPECouldNotOpenFile = 65530;            // PE reader, %s = file name
constexpr int sKPEMapViewFailed = 65531;               // PE reader
constexpr int sKUnrecognizedFileFormat = 65532;        // PE reader
constexpr int sKNotAPEFile = 65533;                    // PE reader
constexpr int sKNoResources = 65534;                   // PE reader
constexpr int sKResourceItemNotList = 65535;           // PE reader

// The text of message id: what the string-table loader gives, or the English
// text when the loader gives nothing (or none is set); "" for an id that is
// not one of the library's.
QString LibraryMessage(int id);
// Connects the messages to the program's string table. An empty function
// goes back to the English texts.
void SetLibraryStringLoader(std::function<QString(int)> loader);
// The English text of message id ("" when unknown).
QString LibraryMessageFallback(int id);

// --- compact lengths and strings ---------------------------------------------
// Format versions below 6 store a length as a 16-bit word; from 6 on it takes
// 1, 2 or 4 bytes (at most 2^30 - 1). Writing a length its form cannot hold
// raises EWriteError; reading past the end raises the stream's EReadError,
// and a string longer than the bytes left is refused before it is read.
int ReadCompactLength(TStream& stream, int formatVersion);
void WriteCompactLength(TStream& stream, int64_t length, int formatVersion);
// Compact length in bytes, then the bytes.
QByteArray ReadCompactAnsiString(TStream& stream, int formatVersion);
// Compact length in UTF-16 code units, then the UTF-16LE bytes.
QString ReadCompactWideString(TStream& stream, int formatVersion);
void WriteCompactAnsiString(TStream& stream, const QByteArray& s, int formatVersion);
// The wide text converted through the system's Ansi code page first.
void WriteCompactAnsiString(TStream& stream, const QString& s, int formatVersion);
void WriteCompactWideString(TStream& stream, const QString& s, int formatVersion);

// Reads source from its current position to its end into dest, which is
// sized to exactly those bytes and left at position 0.
void CopyStreamToMemory(TMemoryStream& dest, TStream& source);

// --- operating system ------------------------------------------------------------
// The OS version record. This program reports itself as running on a fixed
// Windows NT 10.0.
struct TOSVersionRecord {
    uint32_t PlatformId; // 2 = NT
    uint32_t MajorVersion;
    uint32_t MinorVersion;
    uint32_t BuildNumber;
    QString CSDVersion; // service-pack text, at most 128 characters
};
const TOSVersionRecord& OSVersionInfo();
// True when the running version (major.minor) is not newer than the given one.
bool OSVersionAtMost(uint32_t major, uint32_t minor);

using TModuleHandle = quintptr;
using TProcessHandle = quintptr;
// The modules of the module list (platform/os): a package is a module that
// exports "GetPackageInfoTable".
bool IsPackageModule(TModuleHandle module);
// The loaded modules, the program first, as the process-status library lists
// a process's modules: as many handles as fit sizeInBytes are written,
// bytesNeeded tells the size of all of them; the result is nonzero. The
// process handle is not looked at: there is one process.
int EnumLoadedModules(TProcessHandle process, TModuleHandle* modules, uint32_t sizeInBytes,
                      uint32_t& bytesNeeded);
