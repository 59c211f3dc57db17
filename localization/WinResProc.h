#pragma once
// TResProcessor: a resource set of string tables and RCDATA resources (the
// binary form streams), collected from a PE file, a module image or a ".res"
// file, and written as a resource-only DLL image or as a ".res" file.
//
// The set holds blocks, one per resource type: TResString (type 6) and
// TResRCData (type 10) are the blocks the loaders collect and a language DLL
// carries. TResVersion (type 16) is a block only the resource compiler adds
// to the program's own image; no loader ever collects it, so a language DLL
// built from a set never carries the program's version.
//
// DLL image layout (little-endian): 1024 bytes of headers (DOS header, DOS
// stub, NT headers with one section, the section header, zeros), then the
// resource section at file offset 0x400 and virtual address 0x2000, padded to
// a multiple of 0x200. In the section: the root directory with one ID entry
// per block, then each block: its type directory and entries, one language
// directory (language 0) per item, one data entry per item, the names of the
// named items, then the items' data without padding. Directory entries are
// sorted as the format requires (named entries first by name, then IDs
// ascending), so Windows' binary search finds every resource.
#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/rtl/Streams.h"

class TComponent;
class TPEResourceList;
class TResReader;
class TResProcessor;

// The settings block that marks a language DLL ("VLT_LIBSETTINGS_",
// signature "LDLL") or a program prepared for translation
// ("VLT_EXESETTINGS_", signature "KEXE"). Little-endian: signature (4),
// language file version (4), locale (2), English name (16-bit length, Ansi
// bytes), name in itself (16-bit length in code units, UTF-16), then while
// data remains: block version (2), reserved (2), build (4), one spare byte.
struct TSettingsBlock {
    QByteArray Signature;
    int32_t Version = 0;
    uint16_t Locale = 0;
    QString EnglishName;
    QString LocalizedName;
    uint16_t BlockVersion = 0; // 0 when the block ends before it
    uint32_t Build = 0;        // 0 when 4 bytes or fewer follow the names
};
inline const QString kLibSettingsName = QStringLiteral("VLT_LIBSETTINGS_");
inline const QString kExeSettingsName = QStringLiteral("VLT_EXESETTINGS_");
inline const QString kLocLangsName = QStringLiteral("VLT_LOC_LANGS_");
// Reads a block; a block cut inside its fixed part or its names raises
// EReadError, never reading past the data.
TSettingsBlock ParseSettingsBlock(const QByteArray& data);

// The resources of one type.
class TResBlock {
public:
    TResBlock() = default;
    virtual ~TResBlock();
    TResBlock(const TResBlock&) = delete;
    TResBlock& operator=(const TResBlock&) = delete;

    virtual int Count() const = 0;
    // The block's size in the resource section: directory part plus data.
    virtual uint32_t Size() const;
    // The directory part: type directory, entries, language directories,
    // data entries and names.
    virtual uint32_t DirSize() const;
    virtual int ResType() const = 0;
    // Appends the block, laid out to start at sectionOffset of the resource
    // section, to section.
    virtual void WriteToDLL(QByteArray& section, uint32_t sectionOffset, uint32_t timeStamp) const;
    // Writes the block's ".res" entries.
    virtual void WriteToRes(TStream& stream) const = 0;
    virtual void LoadFromPEList(TPEResourceList& list) = 0;
    virtual void LoadFromResReader(const TResReader& reader) = 0;
    virtual void Clear() = 0;

    TResProcessor* Parent() const { return FParent; }
    void SetParent(TResProcessor* parent) { FParent = parent; }

    // One resource of the block as the DLL layout sees it.
    struct TLayoutItem {
        bool Named = false;
        uint16_t Id = 0;
        QString Name;
        QByteArray Data;
    };

protected:
    virtual std::vector<TLayoutItem> LayoutItems() const = 0;

private:
    TResProcessor* FParent = nullptr;
};

// --- string tables ---------------------------------------------------------------

class TResStringItem {
public:
    TResStringItem(int32_t id, const QString& data) : FId(id), FData(data) {}
    int32_t Id() const { return FId; }
    const QString& Data() const { return FData; }
    void SetData(const QString& data) { FData = data; }

private:
    int32_t FId;
    QString FData;
};

class TResString;

// One string-table resource: the 16 strings of group ID g are the IDs
// (g - 1) * 16 to (g - 1) * 16 + 15.
class TResStringGroup {
public:
    TResStringGroup(TResString* parent, int32_t id);
    int32_t Id() const { return FId; }
    // The string ID in slot (0..15), -1 when the slot is empty.
    int32_t Slot(int slot) const { return FGroup[slot]; }
    void SetSlot(int slot, int32_t stringId) { FGroup[slot] = stringId; }
    bool IsEmpty() const;
    // The 16 counted UTF-16 strings in slot order.
    QByteArray Data() const;

private:
    TResString* FParent;
    int32_t FGroup[16];
    int32_t FId;
};

// String n belongs to group n div 16 + 1, at slot n mod 16.
class TResString : public TResBlock {
public:
    TResString();
    ~TResString() override;

    // IDs run from 0 to 65535 and texts hold at most 65535 UTF-16 code
    // units; others raise ERangeError. Inserts in ID order and returns the
    // index, or -1 when the ID is there already (nothing changes).
    int Add(int32_t id, const QString& data);
    void Delete(int index);
    void DeleteByID(int32_t id);
    int IndexOfID(int32_t id) const;
    int IndexOfGroupID(int32_t groupId) const;
    int IndexOfData(const QString& data) const; // the first with that text
    // Null outside the lists.
    TResStringItem* GetItems(int index) const;
    TResStringItem* GetItemById(int32_t id) const;
    TResStringGroup* GetGroups(int index) const;
    TResStringGroup* GetGroupById(int32_t groupId) const;
    int GroupCount() const { return int(FGroups.size()); }

    static int32_t GroupOf(int32_t stringId) { return stringId / 16 + 1; }
    static int SlotOf(int32_t stringId) { return stringId % 16; }

    int Count() const override { return int(FStrings.size()); }
    int ResType() const override { return 6; }
    void WriteToRes(TStream& stream) const override;
    void LoadFromPEList(TPEResourceList& list) override;
    void LoadFromResReader(const TResReader& reader) override;
    void Clear() override;
    // Adds the strings of one string-table resource; a table cut short
    // gives the strings it holds whole.
    void AddGroupData(int32_t groupId, const QByteArray& data);

protected:
    std::vector<TLayoutItem> LayoutItems() const override;

private:
    std::vector<std::unique_ptr<TResStringItem>> FStrings; // ascending IDs
    std::vector<std::unique_ptr<TResStringGroup>> FGroups; // ascending group IDs
};

// --- RCDATA ------------------------------------------------------------------------

class TResRCDataItem {
public:
    TResRCDataItem(const QString& name, bool isNumber) : FName(name), FIsNumber(isNumber) {}

    const QString& Name() const { return FName; }
    // The name is a decimal resource ID.
    bool IsNumber() const { return FIsNumber; }
    const QByteArray& Data() const { return FBuffer.Bytes(); }
    void SetData(const QByteArray& data);
    TMemoryStream& Buffer() { return FBuffer; }

    // Replaces the data with the whole of stream.
    void LoadFromStream(TStream& stream);
    void SaveToStream(TStream& stream) const;
    void LoadFromFile(const QString& fileName);
    void SaveToFile(const QString& fileName) const;
    // Writes the component into the buffer as a form stream, and reads the
    // buffer's properties back onto the component.
    void LoadComponent(TComponent* instance);
    void SaveComponent(TComponent* instance) const;

private:
    QString FName;
    bool FIsNumber;
    TMemoryStream FBuffer;
};

class TResRCData : public TResBlock {
public:
    TResRCData();
    ~TResRCData() override;

    // Appends a new empty item. A numeric name must be a decimal from 0 to
    // 65535 (else EConvertError).
    TResRCDataItem* Add(const QString& name, bool isNumber);
    void Delete(int index);
    void DeleteByName(const QString& name);
    int IndexOfName(const QString& name) const; // without regard to case
    TResRCDataItem* GetItems(int index) const;  // null outside the list
    TResRCDataItem* GetItemByName(const QString& name) const;

    int Count() const override { return int(FItems.size()); }
    int ResType() const override { return 10; }
    void WriteToRes(TStream& stream) const override;
    void LoadFromPEList(TPEResourceList& list) override;
    void LoadFromResReader(const TResReader& reader) override;
    void Clear() override;

protected:
    std::vector<TLayoutItem> LayoutItems() const override;

private:
    std::vector<std::unique_ptr<TResRCDataItem>> FItems; // in the order of adding
};

// --- version information -------------------------------------------------------

// The program's version resource (type 16, ID 1): a VS_VERSIONINFO with the
// fixed file information and the string "FileVersion" (language 0409, code
// page 1200).
class TResVersion : public TResBlock {
public:
    TResVersion();
    ~TResVersion() override;

    void SetFileVersion(uint16_t major, uint16_t minor, uint16_t release, uint16_t build);
    // The VS_VERSIONINFO bytes; empty until a version is set or loaded.
    const QByteArray& VersionInfo() const { return FData; }

    int Count() const override { return FData.isEmpty() ? 0 : 1; }
    int ResType() const override { return 16; }
    void WriteToRes(TStream& stream) const override;
    // Take the data of version resource 1 as it stands.
    void LoadFromPEList(TPEResourceList& list) override;
    void LoadFromResReader(const TResReader& reader) override;
    void Clear() override { FData.clear(); }

protected:
    std::vector<TLayoutItem> LayoutItems() const override;

private:
    QByteArray FData;
};

// --- the resource set ----------------------------------------------------------

class TResProcessor {
public:
    // Told the step and the total (2 x blocks + 2) while a DLL is written.
    using TProgressCallback = std::function<void(int step, int total)>;

    TResProcessor();
    ~TResProcessor();
    TResProcessor(const TResProcessor&) = delete;
    TResProcessor& operator=(const TResProcessor&) = delete;

    void Clear();
    int Count() const { return int(FResBlocks.size()); }
    // Appends the block; the set owns it.
    void AddBlock(std::unique_ptr<TResBlock> block);
    void DeleteBlock(int index);
    TResBlock* GetItems(int index) const; // null outside the list
    // The first block whose type is the low byte of type; null when none.
    TResBlock* GetItemByType(int type) const;

    // Replace the set by the string tables and RCDATA of a PE file (an LZK
    // copy is accepted; PE32+ sets Is64Bit), of a module's image (Is64Bit
    // cleared; empty blocks dropped) or of a ".res" file (blocks added only
    // when they hold items). Reader errors (EExeError, EResError) pass
    // through and leave the set as it was.
    void LoadPEFile(const QString& fileName);
    void LoadFromModule(const QByteArray& moduleImage);
    void LoadResFile(const QString& fileName);

    // Writes the empty entry and every block's entries; the file is written
    // only when the whole content is made.
    void CreateResFile(const QString& fileName) const;
    // Writes the whole DLL image to stream in one piece.
    void CreateDLLStream(TStream& stream, const TProgressCallback& progress = {}) const;
    QByteArray CreateDLLImage() const;
    // The module's image rebuilt with the set's string tables and RCDATA in
    // place of its own; its other resources (the version) are kept.
    QByteArray UpdateResources(const QByteArray& moduleImage) const;

    bool Is64Bit() const { return FIs64Bit; }
    void SetIs64Bit(bool is64Bit) { FIs64Bit = is64Bit; }
    // The time stamp of the file header and the directories. Unset, it is
    // the number of seconds from 1969-12-31 16:00:00 to the local time of
    // writing; the resource compiler fixes it so builds repeat.
    void SetTimeStamp(std::optional<uint32_t> timeStamp) { FTimeStamp = timeStamp; }

private:
    void LoadFromReader(class TPEReader& reader, bool dropEmpty);
    uint32_t TimeStamp() const;

    std::vector<std::unique_ptr<TResBlock>> FResBlocks;
    bool FIs64Bit = false;
    std::optional<uint32_t> FTimeStamp;
};
