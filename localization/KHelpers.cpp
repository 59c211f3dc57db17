#include "localization/KHelpers.h"

#include "platform/os/Modules.h"
#include "platform/rtl/CodePages.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Streams.h"

#include <QtEndian>

#include <algorithm>
#include <utility>

namespace {

struct TMessageText {
    int Id;
    const char16_t* Text;
};

// The library's messages in English, the fallback until the program's
// string table is connected.
constexpr TMessageText MessageTexts[] = {
    {sKSrcStreamNotDefined, u"Source stream is not defined"},
    {sKDestStreamNotDefined, u"Destination stream is not defined"},
    {sKWrongStreamFormat, u"Wrong stream format"},
    {sKCouldNotAddLanguage, u"Could not add language"},
    {sKCouldNotRemoveLanguage, u"Could not remove language"},
    {sKEmptyDictionary, u"Empty dictionary"},
    {sKCannotOpenLangFileExclusively, u"Can not open language file exclusively"},
    {sKInvalidLangFileFormat, u"Invalid file format"},
    {sKLangFileTooNew, u"The language file can not be read. You need to download the latest Lexorand"},
    {sKNativeDllInvalid, u"Can't create DLL. The native DLL is invalid"},
    {sKInvalidLocStorage, u"Invalid LocStorage"},
    {sKErrorSavingDll, u"Error saving language DLL"},
    {sKFileOpenedReadOnly, u"File \"%s\" was opened as read-only"},
    {sKInvalidIndex, u"Invalid index"},
    {sKResCouldNotOpen, u"Couldn't open: %s"},
    {sKResCreateFileMappingFailed, u"CreateFileMapping failed"},
    {sKResMapViewFailed, u"MapViewOfFile failed"},
    {sKResInvalidFileFormat, u"Invalid file format"},
    {sKFileDoesNotExist, u"File does not exist"},
    {sKNoValueTaken, u"Language file \"%s\" holds no text of this program"},
    {sKLangFileNotFound, u"Language file \"%s\" is not found"},
    {sKPathDoesNotExist, u"Specified path \"%s\" does not exist"},
    {sKLocalizerNotInitialized, u"Localizer is not initialized"},
    {sKLanguageNotFound, u"Language \"%s\" is not found"},
    {sKCannotDeleteFile, u"Can not delete file \"%s\""},
    {sKInvalidKLangsResource, u"Invalid KLANGS resource"},
    {sKCantFindRcdataBlock, u"Can't find RCDATA block"},
    {sKPECouldNotOpenFile, u"Couldn't open file: %s"},
    {sKPEMapViewFailed, u"MapViewOfFile failed"},
    {sKUnrecognizedFileFormat, u"Unrecognized file format"},
    {sKNotAPEFile, u"Not a PE (WIN32 Executable) file"},
    {sKNoResources, u"No resources in this file."},
    {sKResourceItemNotList, u"ResourceItem is not a list"},
};

// The largest length each compact form can hold.
constexpr int64_t MaxWordLength = 0xFFFF;
constexpr int64_t MaxCompactLength = (int64_t(1) << 30) - 1;

// Chunk size of CopyStreamToMemory: large reads, bounded.
constexpr int64_t CopyChunkSize = 0x500000;

std::function<QString(int)>& StringLoader();
uint8_t ReadByte(TStream& stream);

} // namespace

// --- messages ----------------------------------------------------------------

QString LibraryMessage(int id)
{
    if (const auto& loader = StringLoader()) {
        QString text = loader(id);
        if (!text.isEmpty())
            return text;
    }
    return LibraryMessageFallback(id);
}

void SetLibraryStringLoader(std::function<QString(int)> loader)
{
    StringLoader() = std::move(loader);
}

QString LibraryMessageFallback(int id)
{
    for (const TMessageText& m : MessageTexts)
        if (m.Id == id)
            return QString::fromUtf16(m.Text);
    return QString();
}

// --- compact lengths and strings ---------------------------------------------------

int ReadCompactLength(TStream& stream, int formatVersion)
{
    if (formatVersion < 6) {
        uint8_t word[2];
        stream.ReadBuffer(word, 2);
        return qFromLittleEndian<uint16_t>(word);
    }
    const uint8_t first = ReadByte(stream);
    if (first < 0x80)
        return first;
    const uint8_t second = ReadByte(stream);
    if (second < 0x80)
        return (first & 0x7F) | (second << 7);
    uint8_t word[2];
    stream.ReadBuffer(word, 2);
    return (first & 0x7F) | ((second & 0x7F) << 7) | (int(qFromLittleEndian<uint16_t>(word)) << 14);
}

void WriteCompactLength(TStream& stream, int64_t length, int formatVersion)
{
    const int64_t limit = formatVersion < 6 ? MaxWordLength : MaxCompactLength;
    if (length < 0 || length > limit)
        throw EWriteError(QStringLiteral("Length %1 does not fit a compact length of format %2 (0 to %3)")
                              .arg(length)
                              .arg(formatVersion)
                              .arg(limit));
    uint8_t bytes[4];
    int count;
    if (formatVersion < 6) {
        qToLittleEndian<uint16_t>(uint16_t(length), bytes);
        count = 2;
    } else if (length < 0x80) {
        bytes[0] = uint8_t(length);
        count = 1;
    } else if (length < 0x4000) {
        bytes[0] = uint8_t((length & 0x7F) | 0x80);
        bytes[1] = uint8_t(length >> 7);
        count = 2;
    } else {
        bytes[0] = uint8_t((length & 0x7F) | 0x80);
        bytes[1] = uint8_t(((length >> 7) & 0x7F) | 0x80);
        qToLittleEndian<uint16_t>(uint16_t(length >> 14), bytes + 2);
        count = 4;
    }
    stream.WriteBuffer(bytes, count);
}

QByteArray ReadCompactAnsiString(TStream& stream, int formatVersion)
{
    const int length = ReadCompactLength(stream, formatVersion);
    return stream.ReadBytes(length); // checks the length against the bytes left
}

QString ReadCompactWideString(TStream& stream, int formatVersion)
{
    const int length = ReadCompactLength(stream, formatVersion);
    const QByteArray bytes = stream.ReadBytes(int64_t(length) * 2);
    QString text(length, Qt::Uninitialized);
    qFromLittleEndian<char16_t>(bytes.constData(), length, text.data());
    return text;
}

void WriteCompactAnsiString(TStream& stream, const QByteArray& s, int formatVersion)
{
    WriteCompactLength(stream, s.size(), formatVersion);
    stream.WriteBuffer(s.constData(), s.size());
}

void WriteCompactAnsiString(TStream& stream, const QString& s, int formatVersion)
{
    WriteCompactAnsiString(stream, UnicodeToAnsi(s, CP_ACP), formatVersion);
}

void WriteCompactWideString(TStream& stream, const QString& s, int formatVersion)
{
    WriteCompactLength(stream, s.size(), formatVersion);
    QByteArray bytes(s.size() * 2, Qt::Uninitialized);
    qToLittleEndian<char16_t>(s.utf16(), s.size(), bytes.data());
    stream.WriteBuffer(bytes.constData(), bytes.size());
}

void CopyStreamToMemory(TMemoryStream& dest, TStream& source)
{
    const int64_t count = std::max<int64_t>(0, source.Size() - source.Position());
    dest.SetSize(count);
    char* memory = dest.Memory();
    for (int64_t done = 0; done < count;) {
        const int64_t read = source.Read(memory + done, std::min(count - done, CopyChunkSize));
        if (read <= 0)
            throw EReadError(QStringLiteral("Stream read error"));
        done += read;
    }
    dest.SetPosition(0);
}

// --- operating system ------------------------------------------------------------

const TOSVersionRecord& OSVersionInfo()
{
    // Windows 10 (NT 10.0), build 19045, no service pack.
    static const TOSVersionRecord record{2, 10, 0, 19045, QString()};
    return record;
}

bool OSVersionAtMost(uint32_t major, uint32_t minor)
{
    const TOSVersionRecord& v = OSVersionInfo();
    return v.MajorVersion < major || (v.MajorVersion == major && v.MinorVersion <= minor);
}

bool IsPackageModule(TModuleHandle module)
{
    return FindModuleExport(module, "GetPackageInfoTable") != nullptr;
}

int EnumLoadedModules(TProcessHandle, TModuleHandle* modules, uint32_t sizeInBytes, uint32_t& bytesNeeded)
{
    const std::vector<TModuleInstance> loaded = LoadedModules();
    bytesNeeded = uint32_t(loaded.size() * sizeof(TModuleHandle));
    const size_t fit = modules ? std::min<size_t>(loaded.size(), sizeInBytes / sizeof(TModuleHandle)) : 0;
    std::copy_n(loaded.begin(), fit, modules);
    return 1;
}

namespace {

std::function<QString(int)>& StringLoader()
{
    static std::function<QString(int)> loader;
    return loader;
}

uint8_t ReadByte(TStream& stream)
{
    uint8_t b;
    stream.ReadBuffer(&b, 1);
    return b;
}

} // namespace
