#include "localization/PEReader.h"

#include "localization/KHelpers.h"
#include "localization/kcompress.h"
#include "platform/rtl/FileErrors.h"
#include "platform/rtl/FormatText.h"
#include "platform/rtl/Streams.h"

#include <QFileInfo>
#include <QtEndian>

#include <cstring>

static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "PE records are copied as they lie in little-endian order");

namespace {

// The names of TKResourceType without their "rt" prefix, by value.
constexpr const char* ResourceTypeNames[] = {
    "Unknown0", "CursorEntry", "Bitmap", "IconEntry",    "Menu",    "Dialog",
    "String",   "FontDir",     "Font",   "Accelerators", "RCData",  "MessageTable",
    "Cursor",   "Unknown13",   "Icon",   "Unknown15",    "Version",
};
constexpr uint32_t ResourceTypeCount = sizeof(ResourceTypeNames) / sizeof(ResourceTypeNames[0]);
static_assert(ResourceTypeCount == rtVersion + 1);

// Lists exist at these depths only: the root (0) and a type's names (1).
constexpr int MaxListDepth = 1;

constexpr uint32_t OffsetMask = 0x7FFFFFFF;

QString TypeName(uint32_t type);
[[noreturn]] void Fail(int messageId);

// Copies size bytes at offset out of image; false when they are not all there.
bool CopyOut(const QByteArray& image, uint64_t offset, void* buffer, uint64_t size);

} // namespace

// --- TPEResourceItem -----------------------------------------------------------

TPEResourceItem::TPEResourceItem(TPEReader& reader, const K_IMAGE_RESOURCE_DIRECTORY_ENTRY& entry, int depth,
                                 uint32_t resType)
    : FPEReader(reader), FDirEntry(entry), FDepth(depth), FResType(resType)
{
}

TPEResourceItem::~TPEResourceItem() = default;

bool TPEResourceItem::IsNamed() const
{
    return (FDirEntry.Name & K_IMAGE_RESOURCE_NAME_IS_STRING) != 0;
}

uint16_t TPEResourceItem::Id() const
{
    return IsNamed() ? 0 : uint16_t(FDirEntry.Name & 0xFFFF);
}

QString TPEResourceItem::Name() const
{
    if (IsNamed()) {
        const uint32_t offset = FDirEntry.Name & OffsetMask;
        uint16_t length = 0;
        FPEReader.ReadResource(offset, &length, sizeof length);
        const QByteArray utf16 = FPEReader.ReadResourceBytes(uint64_t(offset) + 2, uint32_t(length) * 2);
        return QString::fromUtf16(reinterpret_cast<const char16_t*>(utf16.constData()), length);
    }
    const uint32_t id = FDirEntry.Name & 0xFFFF;
    if (FDepth == 0 && id < ResourceTypeCount)
        return TypeName(id);
    return QString::number(id);
}

bool TPEResourceItem::IsList() const
{
    if (FDepth > 0 || (FDirEntry.OffsetToData & K_IMAGE_RESOURCE_DATA_IS_DIRECTORY) == 0)
        return false;
    const uint32_t dir = FDirEntry.OffsetToData & OffsetMask;
    K_IMAGE_RESOURCE_DIRECTORY header;
    FPEReader.ReadResource(dir, &header, sizeof header);
    // A type without names is an empty list rather than a broken name item.
    if (header.NumberOfNamedEntries + header.NumberOfIdEntries == 0)
        return true;
    K_IMAGE_RESOURCE_DIRECTORY_ENTRY first;
    FPEReader.ReadResource(uint64_t(dir) + sizeof header, &first, sizeof first);
    return (first.OffsetToData & K_IMAGE_RESOURCE_DATA_IS_DIRECTORY) != 0;
}

TPEResourceList& TPEResourceItem::List()
{
    if (!FList) {
        if (!IsList())
            Fail(sKResourceItemNotList);
        const uint32_t type = FDepth == 0 ? Id() : FResType;
        FList = std::make_unique<TPEResourceList>(FPEReader, FDirEntry.OffsetToData & OffsetMask, FDepth + 1,
                                                  type);
    }
    return *FList;
}

int TPEResourceItem::Count()
{
    return List().Count();
}

TPEResourceItem& TPEResourceItem::GetResourceItem(int index)
{
    return List().GetResourceItem(index);
}

K_IMAGE_RESOURCE_DATA_ENTRY TPEResourceItem::DataEntry() const
{
    // The entry points to a language directory whose first entry points to
    // the data entry.
    if ((FDirEntry.OffsetToData & K_IMAGE_RESOURCE_DATA_IS_DIRECTORY) == 0)
        TPEReader::Damaged();
    const uint32_t dir = FDirEntry.OffsetToData & OffsetMask;
    K_IMAGE_RESOURCE_DIRECTORY header;
    FPEReader.ReadResource(dir, &header, sizeof header);
    if (header.NumberOfNamedEntries + header.NumberOfIdEntries == 0)
        TPEReader::Damaged();
    K_IMAGE_RESOURCE_DIRECTORY_ENTRY language;
    FPEReader.ReadResource(uint64_t(dir) + sizeof header, &language, sizeof language);
    if (language.OffsetToData & K_IMAGE_RESOURCE_DATA_IS_DIRECTORY)
        TPEReader::Damaged();
    K_IMAGE_RESOURCE_DATA_ENTRY data;
    FPEReader.ReadResource(language.OffsetToData, &data, sizeof data);
    return data;
}

uint32_t TPEResourceItem::Offset() const
{
    if (IsList())
        return FDirEntry.OffsetToData & OffsetMask;
    return DataEntry().OffsetToData;
}

uint32_t TPEResourceItem::Size() const
{
    if (IsList())
        return 0;
    return DataEntry().Size;
}

QByteArray TPEResourceItem::RawData() const
{
    if (IsList())
        return QByteArray();
    const K_IMAGE_RESOURCE_DATA_ENTRY data = DataEntry();
    return FPEReader.ReadRVA(data.OffsetToData, data.Size);
}

QString TPEResourceItem::ResTypeStr() const
{
    return TypeName(FResType);
}

// --- TPEResourceList -----------------------------------------------------------

TPEResourceList::TPEResourceList(TPEReader& reader, uint32_t dirOffset, int depth, uint32_t resType)
    : FPEReader(reader), FResDir(dirOffset), FDepth(depth), FResType(resType)
{
}

TPEResourceList::~TPEResourceList() = default;

int TPEResourceList::Count()
{
    ReadItems();
    return int(FList.size());
}

TPEResourceItem& TPEResourceList::GetResourceItem(int index)
{
    ReadItems();
    if (index < 0 || index >= int(FList.size()))
        throw EListError(Format("List index out of bounds (%d)", index));
    return *FList[size_t(index)];
}

void TPEResourceList::ReadItems()
{
    if (FRead)
        return;
    if (FDepth > MaxListDepth)
        TPEReader::Damaged();
    K_IMAGE_RESOURCE_DIRECTORY header;
    FPEReader.ReadResource(FResDir, &header, sizeof header);
    const int count = header.NumberOfNamedEntries + header.NumberOfIdEntries;
    // All entries are read before any is kept: a damaged list stays unread.
    std::vector<std::unique_ptr<TPEResourceItem>> items;
    items.reserve(size_t(count));
    for (int i = 0; i < count; ++i) {
        K_IMAGE_RESOURCE_DIRECTORY_ENTRY entry;
        FPEReader.ReadResource(uint64_t(FResDir) + sizeof header + uint64_t(i) * sizeof entry, &entry,
                               sizeof entry);
        const bool named = (entry.Name & K_IMAGE_RESOURCE_NAME_IS_STRING) != 0;
        const uint32_t type = FDepth == 0 ? (named ? 0 : entry.Name & 0xFFFF) : FResType;
        items.push_back(std::make_unique<TPEResourceItem>(FPEReader, entry, FDepth, type));
    }
    FList = std::move(items);
    FRead = true;
}

// --- TPEReader -------------------------------------------------------------------

TPEReader::TPEReader(const QString& fileName, const QByteArray& image, bool isModule)
    : FFileName(fileName), FImage(image), FIsModule(isModule)
{
}

TPEReader::~TPEReader() = default;

std::unique_ptr<TPEReader> TPEReader::CreateImage(const QString& fileName)
{
    QByteArray image;
    try {
        if (QFileInfo(fileName).isDir())
            throw EFOpenError(fileName);
        TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
        TMemoryStream memory;
        if (IsLZKStream(file))
            LZKDecompressTo(file, memory);
        else
            CopyStreamToMemory(memory, file);
        image = memory.Bytes();
    } catch (const Exception&) {
        throw EExeError(Format(LibraryMessage(sKPECouldNotOpenFile), fileName));
    }
    std::unique_ptr<TPEReader> reader(new TPEReader(fileName, image, false));
    try {
        reader->ValidateHeaders();
    } catch (Exception& error) {
        AddFileName(error, fileName);
        throw;
    }
    return reader;
}

std::unique_ptr<TPEReader> TPEReader::CreateByModule(const QByteArray& image)
{
    std::unique_ptr<TPEReader> reader(new TPEReader(QString(), image, true));
    reader->ValidateHeaders();
    return reader;
}

void TPEReader::ValidateHeaders()
{
    if (FImage.isEmpty())
        Fail(sKPEMapViewFailed);
    uint16_t magic = 0;
    if (!CopyOut(FImage, 0, &magic, sizeof magic) || magic != K_IMAGE_DOS_SIGNATURE)
        Fail(sKUnrecognizedFileFormat);
    if (!CopyOut(FImage, 0, &FDosHeader, sizeof FDosHeader) || FDosHeader.e_lfanew < 0)
        Fail(sKNotAPEFile);
    const uint64_t ntOffset = uint64_t(FDosHeader.e_lfanew);
    if (!CopyOut(FImage, ntOffset, &FNTHeader, sizeof FNTHeader) ||
        FNTHeader.Signature != K_IMAGE_NT_SIGNATURE)
        Fail(sKNotAPEFile);
    FIs64Bit = FNTHeader.OptionalHeader.Magic == K_IMAGE_NT_OPTIONAL_HDR64_MAGIC;
    if (FIs64Bit && !CopyOut(FImage, ntOffset, &FNTHeader64, sizeof FNTHeader64))
        Fail(sKNotAPEFile);
}

void TPEReader::FindResourceSection()
{
    if (FSectionFound)
        return;
    // The section table follows the optional header, whose size the file
    // header gives.
    const K_IMAGE_FILE_HEADER& file = FNTHeader.FileHeader;
    const uint64_t table = uint64_t(FDosHeader.e_lfanew) + sizeof(uint32_t) + sizeof(K_IMAGE_FILE_HEADER) +
                           file.SizeOfOptionalHeader;
    for (int i = 0; i < file.NumberOfSections; ++i) {
        K_IMAGE_SECTION_HEADER section;
        if (!CopyOut(FImage, table + uint64_t(i) * sizeof section, &section, sizeof section))
            break;
        char name[K_IMAGE_SIZEOF_SHORT_NAME + 1] = {};
        std::memcpy(name, section.Name, K_IMAGE_SIZEOF_SHORT_NAME);
        if (QByteArray(name).compare(".rsrc", Qt::CaseInsensitive) == 0) {
            FResourceBase = section.PointerToRawData;
            FResourceRVA = section.VirtualAddress;
            FSectionFound = true;
            return;
        }
    }
    Fail(sKNoResources);
}

TPEResourceList& TPEReader::ResourceList()
{
    if (!FResourceList) {
        FindResourceSection();
        FResourceList = std::make_unique<TPEResourceList>(*this, 0, 0, 0);
    }
    return *FResourceList;
}

uint32_t TPEReader::ResourceBase()
{
    FindResourceSection();
    return FResourceBase;
}

uint32_t TPEReader::ResourceRVA()
{
    FindResourceSection();
    return FResourceRVA;
}

void TPEReader::ReadResource(uint64_t offset, void* buffer, uint32_t size)
{
    FindResourceSection();
    if (!CopyOut(FImage, uint64_t(FResourceBase) + offset, buffer, size))
        Damaged();
}

QByteArray TPEReader::ReadResourceBytes(uint64_t offset, uint32_t size)
{
    FindResourceSection();
    const uint64_t start = uint64_t(FResourceBase) + offset;
    if (start > uint64_t(FImage.size()) || size > uint64_t(FImage.size()) - start)
        Damaged();
    return FImage.mid(qsizetype(start), qsizetype(size));
}

QByteArray TPEReader::ReadRVA(uint32_t rva, uint32_t size)
{
    FindResourceSection();
    const int64_t start = int64_t(rva) - int64_t(FResourceRVA) + int64_t(FResourceBase);
    if (start < 0 || start > FImage.size() || int64_t(size) > FImage.size() - start)
        Damaged();
    return FImage.mid(qsizetype(start), qsizetype(size));
}

void TPEReader::Damaged()
{
    Fail(sKUnrecognizedFileFormat);
}

// --- helpers ---------------------------------------------------------------

namespace {

QString TypeName(uint32_t type)
{
    if (type < ResourceTypeCount)
        return QString::fromLatin1(ResourceTypeNames[type]);
    return QString::number(type);
}

[[noreturn]] void Fail(int messageId)
{
    throw EExeError(LibraryMessage(messageId));
}

bool CopyOut(const QByteArray& image, uint64_t offset, void* buffer, uint64_t size)
{
    const uint64_t imageSize = uint64_t(image.size());
    if (offset > imageSize || size > imageSize - offset)
        return false;
    std::memcpy(buffer, image.constData() + offset, size);
    return true;
}

} // namespace
