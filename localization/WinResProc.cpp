#include "localization/WinResProc.h"

#include "localization/KHelpers.h"
#include "localization/KLocales.h"
#include "localization/PEReader.h"
#include "localization/WinResReader.h"
#include "platform/objects/Filer.h"
#include "platform/rtl/FileErrors.h"
#include "platform/rtl/FormatText.h"

#include <QDateTime>
#include <QtEndian>

#include <algorithm>

namespace {

// Fixed values of the DLL image.
constexpr uint32_t HeaderSize = 0x400;     // headers, padded
constexpr uint32_t NTHeaderOffset = 0x100; // after the DOS header and stub
constexpr uint32_t SectionRVA = 0x2000;    // virtual address of the resource section
constexpr uint32_t SectionAlignment = 0x1000;
constexpr uint32_t FileAlignment = 0x200;
constexpr uint16_t MachineI386 = 0x014C;
constexpr uint16_t MachineAmd64 = 0x8664;
constexpr uint16_t FileCharacteristics = 0xA18E;        // DLL, executable, 32-bit machine, stripped
constexpr uint32_t SectionCharacteristics = 0x40000000; // readable
constexpr uint16_t ResMemoryFlags = 0x1000;             // ".res" entries: discardable

// The DOS program that says it must be run under Win32.
constexpr uint8_t DosStubCode[] = {0xBA, 0x10, 0x00, 0x0E, 0x1F, 0xB4, 0x09, 0xCD,
                                   0x21, 0xB8, 0x01, 0x4C, 0xCD, 0x21, 0x90, 0x90};
constexpr char DosStubText[] = "This program must be run under Win32";
constexpr uint8_t DosStubEnd[] = {0x0D, 0x0A, 0x24, 0x37};
constexpr int DosStubSize = 192;

// Sizes of the resource directory records.
constexpr uint32_t DirSize = 16;
constexpr uint32_t EntrySize = 8;
constexpr uint32_t DataEntrySize = 16;

// Version resource values.
constexpr uint32_t FixedFileInfoSignature = 0xFEEF04BD;
constexpr uint32_t FixedFileInfoVersion = 0x00010000;
constexpr uint32_t FileFlagsMask = 0x3F;
constexpr uint32_t FileOsNtWindows32 = 0x00040004;
constexpr uint32_t FileTypeApp = 1;
constexpr uint16_t VersionLanguage = 0x0409;
constexpr uint16_t VersionCodePage = 0x04B0; // UTF-16

uint32_t AlignUp(uint32_t value, uint32_t alignment);
void Put8(QByteArray& out, uint8_t value);
void Put16(QByteArray& out, uint16_t value);
void Put32(QByteArray& out, uint32_t value);
void Put64(QByteArray& out, uint64_t value);
void PutUtf16(QByteArray& out, const QString& text);
void PadTo(QByteArray& out, qsizetype size);
void PadToMultiple(QByteArray& out, qsizetype multiple);
void PutDirectory(QByteArray& out, uint32_t timeStamp, uint16_t named, uint16_t ids);

// The order the format requires: named entries first, by name (compared as
// the loader compares, upper-cased), then IDs ascending.
bool EntryLess(const TResBlock::TLayoutItem& a, const TResBlock::TLayoutItem& b);

struct TLayoutSizes {
    uint32_t Dir = 0;  // directories, entries, data entries and names
    uint64_t Data = 0; // the items' data
};

TLayoutSizes MeasureLayout(const std::vector<TResBlock::TLayoutItem>& items);

// Appends one type's subtree laid out from blockOffset of the section.
void WriteLayout(QByteArray& section, uint32_t blockOffset, uint32_t timeStamp,
                 std::vector<TResBlock::TLayoutItem> items);

// The header of one ".res" entry; the name is written as text, or as an ID
// when nameIsId.
void PutResEntry(QByteArray& out, uint16_t type, bool nameIsId, uint16_t id, const QString& name,
                 const QByteArray& data);

// One node of a VS_VERSIONINFO tree: length, value length, type, key, the
// value and the children, each starting on a multiple of 4.
QByteArray VersionNode(const QString& key, uint16_t type, const QByteArray& value, uint16_t valueLength,
                       const std::vector<QByteArray>& children);

QByteArray Utf16z(const QString& text);

} // namespace

// --- TResBlock -------------------------------------------------------------------

TResBlock::~TResBlock() = default;

uint32_t TResBlock::Size() const
{
    const TLayoutSizes sizes = MeasureLayout(LayoutItems());
    return uint32_t(sizes.Dir + sizes.Data);
}

uint32_t TResBlock::DirSize() const
{
    return MeasureLayout(LayoutItems()).Dir;
}

void TResBlock::WriteToDLL(QByteArray& section, uint32_t sectionOffset, uint32_t timeStamp) const
{
    WriteLayout(section, sectionOffset, timeStamp, LayoutItems());
}

// --- TResStringGroup -----------------------------------------------------------------

TResStringGroup::TResStringGroup(TResString* parent, int32_t id) : FParent(parent), FId(id)
{
    std::fill(std::begin(FGroup), std::end(FGroup), -1);
}

bool TResStringGroup::IsEmpty() const
{
    return std::all_of(std::begin(FGroup), std::end(FGroup), [](int32_t id) { return id == -1; });
}

QByteArray TResStringGroup::Data() const
{
    QByteArray data;
    for (int32_t id : FGroup) {
        const TResStringItem* item = id == -1 ? nullptr : FParent->GetItemById(id);
        const QString text = item ? item->Data() : QString();
        Put16(data, uint16_t(text.size()));
        PutUtf16(data, text);
    }
    return data;
}

// --- TResString ------------------------------------------------------------------------

TResString::TResString() = default;
TResString::~TResString() = default;

int TResString::Add(int32_t id, const QString& data)
{
    if (id < 0 || id > 0xFFFF)
        throw ERangeError(Format("String ID %d out of range 0..65535", id));
    if (data.size() > 0xFFFF)
        throw ERangeError(Format("String %d is %d characters long; at most 65535 fit", id, int(data.size())));
    const auto at = std::lower_bound(FStrings.begin(), FStrings.end(), id,
                                     [](const auto& item, int32_t value) { return item->Id() < value; });
    if (at != FStrings.end() && (*at)->Id() == id)
        return -1;
    const int32_t groupId = GroupOf(id);
    auto groupAt = std::lower_bound(FGroups.begin(), FGroups.end(), groupId,
                                    [](const auto& group, int32_t value) { return group->Id() < value; });
    if (groupAt == FGroups.end() || (*groupAt)->Id() != groupId)
        groupAt = FGroups.insert(groupAt, std::make_unique<TResStringGroup>(this, groupId));
    (*groupAt)->SetSlot(SlotOf(id), id);
    const auto inserted = FStrings.insert(at, std::make_unique<TResStringItem>(id, data));
    return int(inserted - FStrings.begin());
}

void TResString::Delete(int index)
{
    if (index < 0 || index >= Count())
        throw EListError(Format("List index out of bounds (%d)", index));
    const int32_t id = FStrings[size_t(index)]->Id();
    FStrings.erase(FStrings.begin() + index);
    const int groupIndex = IndexOfGroupID(GroupOf(id));
    if (groupIndex < 0)
        return;
    TResStringGroup& group = *FGroups[size_t(groupIndex)];
    group.SetSlot(SlotOf(id), -1);
    if (group.IsEmpty())
        FGroups.erase(FGroups.begin() + groupIndex);
}

void TResString::DeleteByID(int32_t id)
{
    const int index = IndexOfID(id);
    if (index >= 0)
        Delete(index);
}

int TResString::IndexOfID(int32_t id) const
{
    for (size_t i = 0; i < FStrings.size(); ++i) {
        if (FStrings[i]->Id() == id)
            return int(i);
        if (FStrings[i]->Id() > id)
            break;
    }
    return -1;
}

int TResString::IndexOfGroupID(int32_t groupId) const
{
    for (size_t i = 0; i < FGroups.size(); ++i) {
        if (FGroups[i]->Id() == groupId)
            return int(i);
        if (FGroups[i]->Id() > groupId)
            break;
    }
    return -1;
}

int TResString::IndexOfData(const QString& data) const
{
    for (size_t i = 0; i < FStrings.size(); ++i)
        if (FStrings[i]->Data() == data)
            return int(i);
    return -1;
}

TResStringItem* TResString::GetItems(int index) const
{
    return index >= 0 && index < Count() ? FStrings[size_t(index)].get() : nullptr;
}

TResStringItem* TResString::GetItemById(int32_t id) const
{
    return GetItems(IndexOfID(id));
}

TResStringGroup* TResString::GetGroups(int index) const
{
    return index >= 0 && index < GroupCount() ? FGroups[size_t(index)].get() : nullptr;
}

TResStringGroup* TResString::GetGroupById(int32_t groupId) const
{
    return GetGroups(IndexOfGroupID(groupId));
}

void TResString::Clear()
{
    FStrings.clear();
    FGroups.clear();
}

void TResString::AddGroupData(int32_t groupId, const QByteArray& data)
{
    // Group 0 would hold negative string IDs: no string table has one.
    if (groupId < 1 || groupId > 0x1000)
        return;
    qsizetype pos = 0;
    for (int slot = 0; slot < 16; ++slot) {
        if (pos + 2 > data.size())
            return;
        const uint16_t length = qFromLittleEndian<uint16_t>(data.constData() + pos);
        pos += 2;
        if (qsizetype(length) * 2 > data.size() - pos)
            return;
        if (length > 0) {
            QString text(length, Qt::Uninitialized);
            for (int i = 0; i < length; ++i)
                text[i] = QChar(qFromLittleEndian<uint16_t>(data.constData() + pos + 2 * i));
            Add((groupId - 1) * 16 + slot, text);
        }
        pos += qsizetype(length) * 2;
    }
}

void TResString::LoadFromPEList(TPEResourceList& list)
{
    for (int i = 0; i < list.Count(); ++i) {
        TPEResourceItem& item = list.GetResourceItem(i);
        if (!item.IsNamed())
            AddGroupData(item.Id(), item.RawData());
    }
}

void TResString::LoadFromResReader(const TResReader& reader)
{
    for (int i = 0; i < reader.Count(); ++i) {
        const TResEntry& entry = *reader.GetEntry(i);
        if (entry.ResType().IsNumber && entry.ResType().Number == 6 && entry.ResName().IsNumber)
            AddGroupData(entry.ResName().Number, entry.Data());
    }
}

void TResString::WriteToRes(TStream& stream) const
{
    QByteArray out;
    for (const auto& group : FGroups)
        PutResEntry(out, 6, true, uint16_t(group->Id()), QString(), group->Data());
    stream.WriteBytes(out);
}

std::vector<TResBlock::TLayoutItem> TResString::LayoutItems() const
{
    std::vector<TLayoutItem> items;
    for (const auto& group : FGroups)
        items.push_back(TLayoutItem{false, uint16_t(group->Id()), QString(), group->Data()});
    return items;
}

// --- TResRCDataItem ---------------------------------------------------------------------

void TResRCDataItem::SetData(const QByteArray& data)
{
    FBuffer.Clear();
    FBuffer.WriteBytes(data);
    FBuffer.SetPosition(0);
}

void TResRCDataItem::LoadFromStream(TStream& stream)
{
    FBuffer.LoadFromStream(stream);
}

void TResRCDataItem::SaveToStream(TStream& stream) const
{
    FBuffer.SaveToStream(stream);
}

void TResRCDataItem::LoadFromFile(const QString& fileName)
{
    FBuffer.LoadFromFile(fileName);
}

void TResRCDataItem::SaveToFile(const QString& fileName) const
{
    FBuffer.SaveToFile(fileName);
}

// --- TResRCData -------------------------------------------------------------------------

TResRCData::TResRCData() = default;
TResRCData::~TResRCData() = default;

TResRCDataItem* TResRCData::Add(const QString& name, bool isNumber)
{
    if (isNumber) {
        bool ok = false;
        const uint number = name.toUInt(&ok);
        if (!ok || number > 0xFFFF)
            throw EConvertError(Format("Resource ID \"%s\" is not a number from 0 to 65535", name));
    } else if (name.isEmpty() || name.size() > 0xFFFF) {
        throw EConvertError(Format("Resource name of %d characters; 1 to 65535 fit", int(name.size())));
    }
    FItems.push_back(std::make_unique<TResRCDataItem>(name, isNumber));
    return FItems.back().get();
}

void TResRCData::Delete(int index)
{
    if (index < 0 || index >= Count())
        throw EListError(Format("List index out of bounds (%d)", index));
    FItems.erase(FItems.begin() + index);
}

void TResRCData::DeleteByName(const QString& name)
{
    const int index = IndexOfName(name);
    if (index >= 0)
        Delete(index);
}

int TResRCData::IndexOfName(const QString& name) const
{
    for (size_t i = 0; i < FItems.size(); ++i)
        if (FItems[i]->Name().compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

TResRCDataItem* TResRCData::GetItems(int index) const
{
    return index >= 0 && index < Count() ? FItems[size_t(index)].get() : nullptr;
}

TResRCDataItem* TResRCData::GetItemByName(const QString& name) const
{
    return GetItems(IndexOfName(name));
}

void TResRCData::Clear()
{
    FItems.clear();
}

void TResRCData::LoadFromPEList(TPEResourceList& list)
{
    for (int i = 0; i < list.Count(); ++i) {
        TPEResourceItem& item = list.GetResourceItem(i);
        const QString name = item.Name();
        if (name.isEmpty())
            TPEReader::Damaged();
        const QByteArray data = item.RawData();
        Add(name, !item.IsNamed())->SetData(data);
    }
}

void TResRCData::LoadFromResReader(const TResReader& reader)
{
    for (int i = 0; i < reader.Count(); ++i) {
        const TResEntry& entry = *reader.GetEntry(i);
        if (!entry.ResType().IsNumber || entry.ResType().Number != 10)
            continue;
        const TResName& name = entry.ResName();
        if (!name.IsNumber && name.Text.isEmpty())
            throw EResError(LibraryMessage(sKResInvalidFileFormat));
        Add(name.ToString(), name.IsNumber)->SetData(entry.Data());
    }
}

void TResRCData::WriteToRes(TStream& stream) const
{
    // A numeric item keeps its ID in the file: written by name it would come
    // back as a different resource.
    QByteArray out;
    for (const auto& item : FItems)
        PutResEntry(out, 10, item->IsNumber(), uint16_t(item->Name().toUInt()), item->Name(), item->Data());
    stream.WriteBytes(out);
}

std::vector<TResBlock::TLayoutItem> TResRCData::LayoutItems() const
{
    std::vector<TLayoutItem> items;
    for (const auto& item : FItems)
        items.push_back(TLayoutItem{!item->IsNumber(), uint16_t(item->IsNumber() ? item->Name().toUInt() : 0),
                                    item->IsNumber() ? QString() : item->Name(), item->Data()});
    return items;
}

// --- TResVersion ----------------------------------------------------------------------------

TResVersion::TResVersion() = default;
TResVersion::~TResVersion() = default;

void TResVersion::SetFileVersion(uint16_t major, uint16_t minor, uint16_t release, uint16_t build)
{
    const uint32_t versionMS = uint32_t(major) << 16 | minor;
    const uint32_t versionLS = uint32_t(release) << 16 | build;
    QByteArray fixed;
    Put32(fixed, FixedFileInfoSignature);
    Put32(fixed, FixedFileInfoVersion);
    Put32(fixed, versionMS); // file version
    Put32(fixed, versionLS);
    Put32(fixed, versionMS); // product version
    Put32(fixed, versionLS);
    Put32(fixed, FileFlagsMask);
    Put32(fixed, 0); // flags
    Put32(fixed, FileOsNtWindows32);
    Put32(fixed, FileTypeApp);
    Put32(fixed, 0); // subtype
    Put32(fixed, 0); // date
    Put32(fixed, 0);

    const QString text = QStringLiteral("%1.%2.%3.%4").arg(major).arg(minor).arg(release).arg(build);
    const QByteArray value = Utf16z(text);
    const QByteArray fileVersion =
        VersionNode(QStringLiteral("FileVersion"), 1, value, uint16_t(text.size() + 1), {});
    const QString tableKey = QStringLiteral("%1%2")
                                 .arg(VersionLanguage, 4, 16, QLatin1Char('0'))
                                 .arg(VersionCodePage, 4, 16, QLatin1Char('0'))
                                 .toUpper();
    const QByteArray table = VersionNode(tableKey, 1, {}, 0, {fileVersion});
    const QByteArray stringInfo = VersionNode(QStringLiteral("StringFileInfo"), 1, {}, 0, {table});
    QByteArray translation;
    Put16(translation, VersionLanguage);
    Put16(translation, VersionCodePage);
    const QByteArray var = VersionNode(QStringLiteral("Translation"), 0, translation, 4, {});
    const QByteArray varInfo = VersionNode(QStringLiteral("VarFileInfo"), 1, {}, 0, {var});
    FData = VersionNode(QStringLiteral("VS_VERSION_INFO"), 0, fixed, uint16_t(fixed.size()),
                        {stringInfo, varInfo});
}

void TResVersion::LoadFromPEList(TPEResourceList& list)
{
    for (int i = 0; i < list.Count(); ++i) {
        TPEResourceItem& item = list.GetResourceItem(i);
        if (!item.IsNamed() && item.Id() == 1) {
            FData = item.RawData();
            return;
        }
    }
}

void TResVersion::LoadFromResReader(const TResReader& reader)
{
    for (int i = 0; i < reader.Count(); ++i) {
        const TResEntry& entry = *reader.GetEntry(i);
        if (entry.ResType().IsNumber && entry.ResType().Number == 16 && entry.ResName().IsNumber &&
            entry.ResName().Number == 1) {
            FData = entry.Data();
            return;
        }
    }
}

void TResVersion::WriteToRes(TStream& stream) const
{
    if (FData.isEmpty())
        return;
    QByteArray out;
    PutResEntry(out, 16, true, 1, QString(), FData);
    stream.WriteBytes(out);
}

std::vector<TResBlock::TLayoutItem> TResVersion::LayoutItems() const
{
    if (FData.isEmpty())
        return {};
    return {TLayoutItem{false, 1, QString(), FData}};
}

// --- TResProcessor ----------------------------------------------------------------------------

TResProcessor::TResProcessor() = default;
TResProcessor::~TResProcessor() = default;

void TResProcessor::Clear()
{
    FResBlocks.clear();
}

void TResProcessor::AddBlock(std::unique_ptr<TResBlock> block)
{
    block->SetParent(this);
    FResBlocks.push_back(std::move(block));
}

void TResProcessor::DeleteBlock(int index)
{
    if (index < 0 || index >= Count())
        throw EListError(Format("List index out of bounds (%d)", index));
    FResBlocks.erase(FResBlocks.begin() + index);
}

TResBlock* TResProcessor::GetItems(int index) const
{
    return index >= 0 && index < Count() ? FResBlocks[size_t(index)].get() : nullptr;
}

TResBlock* TResProcessor::GetItemByType(int type) const
{
    for (const auto& block : FResBlocks)
        if (block->ResType() == (type & 0xFF))
            return block.get();
    return nullptr;
}

void TResProcessor::LoadPEFile(const QString& fileName)
{
    std::unique_ptr<TPEReader> reader = TPEReader::CreateImage(fileName);
    try {
        LoadFromReader(*reader, false);
    } catch (Exception& error) {
        AddFileName(error, fileName);
        throw;
    }
    FIs64Bit = reader->Is64Bit();
}

void TResProcessor::LoadFromModule(const QByteArray& moduleImage)
{
    std::unique_ptr<TPEReader> reader = TPEReader::CreateByModule(moduleImage);
    LoadFromReader(*reader, true);
    FIs64Bit = false;
}

void TResProcessor::LoadFromReader(TPEReader& reader, bool dropEmpty)
{
    // Everything is read before the set changes: a damaged image leaves the
    // set as it was.
    std::vector<std::unique_ptr<TResBlock>> blocks;
    TPEResourceList& root = reader.ResourceList();
    for (int i = 0; i < root.Count(); ++i) {
        TPEResourceItem& type = root.GetResourceItem(i);
        if (type.IsNamed())
            continue;
        std::unique_ptr<TResBlock> block;
        if (type.Id() == rtString)
            block = std::make_unique<TResString>();
        else if (type.Id() == rtRCData)
            block = std::make_unique<TResRCData>();
        else
            continue;
        block->LoadFromPEList(type.List());
        if (!dropEmpty || block->Count() > 0)
            blocks.push_back(std::move(block));
    }
    FResBlocks.clear();
    for (auto& block : blocks)
        AddBlock(std::move(block));
}

void TResProcessor::LoadResFile(const QString& fileName)
{
    TResReader reader(fileName);
    auto strings = std::make_unique<TResString>();
    strings->LoadFromResReader(reader);
    auto rcdata = std::make_unique<TResRCData>();
    rcdata->LoadFromResReader(reader);
    FResBlocks.clear();
    if (strings->Count() > 0)
        AddBlock(std::move(strings));
    if (rcdata->Count() > 0)
        AddBlock(std::move(rcdata));
}

void TResProcessor::CreateResFile(const QString& fileName) const
{
    TMemoryStream content;
    QByteArray empty;
    Put32(empty, 0);  // data size
    Put32(empty, 32); // header size
    Put16(empty, 0xFFFF);
    Put16(empty, 0); // type 0
    Put16(empty, 0xFFFF);
    Put16(empty, 0); // name 0
    PadTo(empty, 32);
    content.WriteBytes(empty);
    for (const auto& block : FResBlocks)
        block->WriteToRes(content);
    content.SaveToFile(fileName);
}

QByteArray TResProcessor::CreateDLLImage() const
{
    TMemoryStream stream;
    CreateDLLStream(stream);
    return stream.Bytes();
}

void TResProcessor::CreateDLLStream(TStream& stream, const TProgressCallback& progress) const
{
    const int total = 2 * Count() + 2;
    int step = 0;
    const auto report = [&] {
        ++step;
        if (progress)
            progress(step, total);
    };
    const uint32_t timeStamp = TimeStamp();

    // The root lists the types in ascending order, as the format requires.
    std::vector<const TResBlock*> blocks;
    for (const auto& block : FResBlocks)
        blocks.push_back(block.get());
    std::stable_sort(blocks.begin(), blocks.end(),
                     [](const TResBlock* a, const TResBlock* b) { return a->ResType() < b->ResType(); });

    // Block offsets and the section size come first: the headers hold them.
    std::vector<uint32_t> offsets;
    uint64_t resourceSize = DirSize + uint64_t(Count()) * EntrySize;
    for (const TResBlock* block : blocks) {
        // Each block starts on a 4-byte boundary: resource directories and
        // the version block must be aligned, and string groups of odd length
        // would otherwise shift everything after them.
        resourceSize = AlignUp(uint32_t(resourceSize), 4);
        offsets.push_back(uint32_t(resourceSize));
        resourceSize += block->Size();
        if (resourceSize > 0x7FFFFFFF)
            throw ERangeError(QStringLiteral("Resources too large for one image"));
    }
    const uint32_t resSize = uint32_t(resourceSize);
    const uint32_t rawSize = AlignUp(resSize, FileAlignment);

    QByteArray image;
    image.reserve(qsizetype(HeaderSize + rawSize));
    // DOS header.
    Put16(image, 0x5A4D); // "MZ"
    Put16(image, 0x0050); // bytes on the last page
    Put16(image, 0x0002); // pages
    Put16(image, 0);      // relocations
    Put16(image, 0x0004); // header paragraphs
    Put16(image, 0x000F); // minimum extra
    Put16(image, 0xFFFF); // maximum extra
    Put16(image, 0);      // SS
    Put16(image, 0x00B8); // SP
    Put16(image, 0);      // checksum
    Put16(image, 0);      // IP
    Put16(image, 0);      // CS
    Put16(image, 0x0040); // relocation table
    Put16(image, 0x001A); // overlay
    PadTo(image, 0x3C);   // reserved words and OEM fields
    Put32(image, NTHeaderOffset);
    // DOS stub.
    image.append(reinterpret_cast<const char*>(DosStubCode), sizeof DosStubCode);
    image.append(DosStubText, sizeof DosStubText - 1);
    image.append(reinterpret_cast<const char*>(DosStubEnd), sizeof DosStubEnd);
    PadTo(image, 64 + DosStubSize);

    // NT headers.
    Put32(image, 0x00004550); // "PE\0\0"
    Put16(image, FIs64Bit ? MachineAmd64 : MachineI386);
    Put16(image, 1); // sections
    Put32(image, timeStamp);
    Put32(image, 0); // symbol table
    Put32(image, 0); // symbols
    Put16(image, FIs64Bit ? 0x00F0 : 0x00E0);
    Put16(image, FileCharacteristics);

    // Optional header.
    Put16(image, FIs64Bit ? 0x020B : 0x010B);
    Put8(image, 1); // linker version 1.0
    Put8(image, 0);
    Put32(image, 0); // code size
    Put32(image, 0); // initialised data
    Put32(image, 0); // uninitialised data
    Put32(image, 0); // entry point
    Put32(image, 0); // base of code
    if (FIs64Bit) {
        Put64(image, 0x00400000);
    } else {
        Put32(image, 0); // base of data
        Put32(image, 0x00400000);
    }
    Put32(image, SectionAlignment);
    Put32(image, FileAlignment);
    Put16(image, 1); // operating system 1.0
    Put16(image, 0);
    Put16(image, 1); // image 1.0
    Put16(image, 0);
    Put16(image, 4); // subsystem 4.0
    Put16(image, 0);
    Put32(image, 0); // Win32 version value
    // The image must reach the end of its one section.
    Put32(image, AlignUp(SectionRVA + resSize, SectionAlignment));
    Put32(image, HeaderSize);
    Put32(image, 0); // checksum
    Put16(image, 2); // subsystem: Windows GUI
    Put16(image, 0x0001);
    const auto putSize = [&](uint32_t value) { FIs64Bit ? Put64(image, value) : Put32(image, value); };
    putSize(0x1000); // stack reserve
    putSize(0x100);  // stack commit
    putSize(0x1000); // heap reserve
    putSize(0x100);  // heap commit
    Put32(image, 0); // loader flags
    Put32(image, 16);
    for (int i = 0; i < 16; ++i) {
        Put32(image, i == 2 ? SectionRVA : 0);
        Put32(image, i == 2 ? rawSize : 0);
    }

    // Section header.
    image.append(".rsrc\0\0\0", 8);
    Put32(image, resSize);
    Put32(image, SectionRVA);
    Put32(image, rawSize);
    Put32(image, HeaderSize);
    Put32(image, 0); // relocations
    Put32(image, 0); // line numbers
    Put16(image, 0);
    Put16(image, 0);
    Put32(image, SectionCharacteristics);
    PadTo(image, HeaderSize);

    // Resource section: the root, one entry per block, the blocks.
    QByteArray section;
    section.reserve(qsizetype(rawSize));
    PutDirectory(section, timeStamp, 0, uint16_t(Count()));
    report();
    for (size_t i = 0; i < blocks.size(); ++i) {
        Put32(section, uint32_t(blocks[i]->ResType()));
        Put32(section, 0x80000000u | offsets[i]);
        report();
    }
    for (size_t i = 0; i < blocks.size(); ++i) {
        PadTo(section, offsets[i]);
        blocks[i]->WriteToDLL(section, offsets[i], timeStamp);
        report();
    }
    Q_ASSERT(uint32_t(section.size()) == resSize);
    PadTo(section, rawSize);
    image.append(section);
    report();
    stream.WriteBytes(image);
}

uint32_t TResProcessor::TimeStamp() const
{
    if (FTimeStamp)
        return *FTimeStamp;
    // Seconds from 1969-12-31 16:00:00 to the local wall-clock time.
    const QDateTime now = QDateTime::currentDateTime();
    const int64_t localMs = now.toMSecsSinceEpoch() + int64_t(now.offsetFromUtc()) * 1000;
    return uint32_t((localMs + 8 * 3600 * 1000 + 500) / 1000);
}

// --- helpers ---------------------------------------------------------------

namespace {

uint32_t AlignUp(uint32_t value, uint32_t alignment)
{
    return (value + alignment - 1) & ~(alignment - 1);
}

void Put8(QByteArray& out, uint8_t value)
{
    out.append(char(value));
}

void Put16(QByteArray& out, uint16_t value)
{
    char bytes[2];
    qToLittleEndian(value, bytes);
    out.append(bytes, 2);
}

void Put32(QByteArray& out, uint32_t value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}

void Put64(QByteArray& out, uint64_t value)
{
    char bytes[8];
    qToLittleEndian(value, bytes);
    out.append(bytes, 8);
}

void PutUtf16(QByteArray& out, const QString& text)
{
    for (QChar c : text)
        Put16(out, c.unicode());
}

void PadTo(QByteArray& out, qsizetype size)
{
    if (out.size() < size)
        out.append(size - out.size(), '\0');
}

void PadToMultiple(QByteArray& out, qsizetype multiple)
{
    PadTo(out, (out.size() + multiple - 1) / multiple * multiple);
}

void PutDirectory(QByteArray& out, uint32_t timeStamp, uint16_t named, uint16_t ids)
{
    Put32(out, 0); // characteristics
    Put32(out, timeStamp);
    Put16(out, 0); // version 0.0
    Put16(out, 0);
    Put16(out, named);
    Put16(out, ids);
}

bool EntryLess(const TResBlock::TLayoutItem& a, const TResBlock::TLayoutItem& b)
{
    if (a.Named != b.Named)
        return a.Named;
    if (a.Named)
        return a.Name.toUpper() < b.Name.toUpper();
    return a.Id < b.Id;
}

TLayoutSizes MeasureLayout(const std::vector<TResBlock::TLayoutItem>& items)
{
    TLayoutSizes sizes;
    uint64_t dir = DirSize + uint64_t(items.size()) * (EntrySize + DirSize + EntrySize + DataEntrySize);
    for (const auto& item : items) {
        if (item.Named)
            dir += 2 + 2 * uint64_t(item.Name.size());
        sizes.Data += uint64_t(item.Data.size());
    }
    if (dir + sizes.Data > 0x7FFFFFFF)
        throw ERangeError(QStringLiteral("Resources too large for one image"));
    sizes.Dir = uint32_t(dir);
    return sizes;
}

void WriteLayout(QByteArray& section, uint32_t blockOffset, uint32_t timeStamp,
                 std::vector<TResBlock::TLayoutItem> items)
{
    std::stable_sort(items.begin(), items.end(), EntryLess);
    const uint32_t n = uint32_t(items.size());
    const uint16_t named =
        uint16_t(std::count_if(items.begin(), items.end(), [](auto& i) { return i.Named; }));
    const uint32_t languageDirs = blockOffset + DirSize + n * EntrySize;
    const uint32_t dataEntries = languageDirs + n * (DirSize + EntrySize);
    const uint32_t names = dataEntries + n * DataEntrySize;

    std::vector<uint32_t> nameOffsets(n, 0);
    uint32_t next = names;
    for (uint32_t i = 0; i < n; ++i)
        if (items[i].Named) {
            nameOffsets[i] = next;
            next += 2 + 2 * uint32_t(items[i].Name.size());
        }
    std::vector<uint32_t> dataOffsets(n, 0);
    for (uint32_t i = 0; i < n; ++i) {
        dataOffsets[i] = next;
        next += uint32_t(items[i].Data.size());
    }

    PutDirectory(section, timeStamp, named, uint16_t(n - named));
    for (uint32_t i = 0; i < n; ++i) {
        Put32(section, items[i].Named ? (0x80000000u | nameOffsets[i]) : items[i].Id);
        Put32(section, 0x80000000u | (languageDirs + i * (DirSize + EntrySize)));
    }
    for (uint32_t i = 0; i < n; ++i) {
        PutDirectory(section, timeStamp, 0, 1);
        Put32(section, 0); // language neutral
        Put32(section, dataEntries + i * DataEntrySize);
    }
    for (uint32_t i = 0; i < n; ++i) {
        Put32(section, dataOffsets[i] + SectionRVA);
        Put32(section, uint32_t(items[i].Data.size()));
        Put32(section, 0); // code page
        Put32(section, 0); // reserved
    }
    for (const auto& item : items)
        if (item.Named) {
            Put16(section, uint16_t(item.Name.size()));
            PutUtf16(section, item.Name);
        }
    for (const auto& item : items)
        section.append(item.Data);
}

void PutResEntry(QByteArray& out, uint16_t type, bool nameIsId, uint16_t id, const QString& name,
                 const QByteArray& data)
{
    QByteArray nameBytes;
    if (nameIsId) {
        Put16(nameBytes, 0xFFFF);
        Put16(nameBytes, id);
    } else {
        PutUtf16(nameBytes, name);
        Put16(nameBytes, 0);
        PadToMultiple(nameBytes, 4);
    }
    Put32(out, uint32_t(data.size()));
    Put32(out, uint32_t(28 + nameBytes.size()));
    Put16(out, 0xFFFF);
    Put16(out, type);
    out.append(nameBytes);
    Put32(out, 0); // data version
    Put16(out, ResMemoryFlags);
    Put16(out, 0); // language
    Put32(out, 0); // version
    Put32(out, 0); // characteristics
    out.append(data);
    PadToMultiple(out, 4);
}

QByteArray VersionNode(const QString& key, uint16_t type, const QByteArray& value, uint16_t valueLength,
                       const std::vector<QByteArray>& children)
{
    QByteArray node;
    Put16(node, 0); // length, set below
    Put16(node, valueLength);
    Put16(node, type);
    PutUtf16(node, key);
    Put16(node, 0);
    PadToMultiple(node, 4);
    node.append(value);
    for (const QByteArray& child : children) {
        PadToMultiple(node, 4);
        node.append(child);
    }
    qToLittleEndian(uint16_t(node.size()), node.data());
    return node;
}

QByteArray Utf16z(const QString& text)
{
    QByteArray bytes;
    PutUtf16(bytes, text);
    Put16(bytes, 0);
    return bytes;
}

} // namespace

// --- settings block and module updates -----------------------------------------

TSettingsBlock ParseSettingsBlock(const QByteArray& data)
{
    int64_t position = 0;
    auto take = [&](int64_t count) -> const char* {
        if (count < 0 || count > data.size() - position)
            throw EReadError(QStringLiteral("Settings block too short: %1 bytes").arg(data.size()));
        const char* at = data.constData() + position;
        position += count;
        return at;
    };
    TSettingsBlock block;
    block.Signature = QByteArray(take(4), 4);
    block.Version = qFromLittleEndian<int32_t>(take(4));
    block.Locale = qFromLittleEndian<uint16_t>(take(2));
    const uint16_t englishLength = qFromLittleEndian<uint16_t>(take(2));
    block.EnglishName = AnsiToWideCP(QByteArray(take(englishLength), englishLength), 0);
    const uint16_t localizedLength = qFromLittleEndian<uint16_t>(take(2));
    const char* localized = take(int64_t(localizedLength) * 2);
    block.LocalizedName.resize(localizedLength);
    for (int i = 0; i < localizedLength; ++i)
        block.LocalizedName[i] = QChar(qFromLittleEndian<uint16_t>(localized + 2 * i));
    if (data.size() - position >= 2)
        block.BlockVersion = qFromLittleEndian<uint16_t>(data.constData() + position);
    if (data.size() - position > 4) {
        position += 4;
        if (data.size() - position >= 4)
            block.Build = qFromLittleEndian<uint32_t>(take(4));
    }
    return block;
}

void TResRCDataItem::LoadComponent(TComponent* instance)
{
    SetData(WriteComponentToBytes(instance));
}

void TResRCDataItem::SaveComponent(TComponent* instance) const
{
    ReadComponentFromBytes(Data(), instance);
}

QByteArray TResProcessor::UpdateResources(const QByteArray& moduleImage) const
{
    std::unique_ptr<TPEReader> reader = TPEReader::CreateByModule(moduleImage);
    TResProcessor rebuilt;
    rebuilt.FIs64Bit = FIs64Bit;
    rebuilt.FTimeStamp = FTimeStamp;
    TPEResourceList& root = reader->ResourceList();
    for (int i = 0; i < root.Count(); ++i) {
        TPEResourceItem& type = root.GetResourceItem(i);
        if (type.IsNamed() || type.Id() != rtVersion)
            continue;
        auto version = std::make_unique<TResVersion>();
        version->LoadFromPEList(type.List());
        rebuilt.AddBlock(std::move(version));
    }
    // The set's blocks are written through a borrowed view: the rebuilt set
    // owns only the kept blocks.
    QByteArray image;
    {
        std::vector<std::unique_ptr<TResBlock>> kept = std::move(rebuilt.FResBlocks);
        rebuilt.FResBlocks.clear();
        for (const auto& block : FResBlocks)
            rebuilt.FResBlocks.emplace_back(block.get());
        for (auto& block : kept)
            rebuilt.FResBlocks.push_back(std::move(block));
        try {
            image = rebuilt.CreateDLLImage();
        } catch (...) {
            for (size_t i = 0; i < FResBlocks.size(); ++i)
                (void)rebuilt.FResBlocks[i].release();
            throw;
        }
        for (size_t i = 0; i < FResBlocks.size(); ++i)
            (void)rebuilt.FResBlocks[i].release();
    }
    return image;
}
