#pragma once
// TPEReader: a read-only view of the resources of a Windows PE image (PE32 or
// PE32+), read from a file (an LZK-compressed copy is accepted) or taken from
// an image already in memory (a module), and its resource directory shown as
// a tree of TPEResourceList and TPEResourceItem.
//
// The tree has two levels of lists: the root lists the resource types, a
// type's list holds the names of that type, and a name item stands for the
// first language entry of its own subdirectory. Lists are read on first use.
// Every offset the image holds is checked against the image before it is
// read; a damaged tree raises EExeError "Unrecognized file format" when the
// damaged part is reached, and no list goes deeper than the two levels, so a
// directory that points back at itself cannot recurse.
#include "localization/PETypes.h"
#include "platform/rtl/Exceptions.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

RTL_EXCEPTION_CLASS(EExeError, Exception);

class TPEReader;
class TPEResourceList;

// One entry of a resource directory.
class TPEResourceItem {
public:
    TPEResourceItem(TPEReader& reader, const K_IMAGE_RESOURCE_DIRECTORY_ENTRY& entry, int depth,
                    uint32_t resType);
    ~TPEResourceItem();
    TPEResourceItem(const TPEResourceItem&) = delete;
    TPEResourceItem& operator=(const TPEResourceItem&) = delete;

    // The entry's name as text: for a top-level entry with an ID below 17
    // the resource type's name ("String", "RCData" ...), for a named entry
    // its name, else the ID in decimal.
    QString Name() const;
    bool IsNamed() const;
    uint16_t Id() const; // the numeric ID; 0 for a named entry
    // True when the entry's subdirectory holds further subdirectories
    // (type items); false for name items.
    bool IsList() const;
    // The sub-list; EExeError "ResourceItem is not a list" when !IsList().
    TPEResourceList& List();
    int Count();
    TPEResourceItem& GetResourceItem(int index);
    // For a list its directory offset from the resource root, else the
    // relative virtual address of the first language's data.
    uint32_t Offset() const;
    uint32_t Size() const; // 0 for a list
    // A copy of the first language's data.
    QByteArray RawData() const;
    // The name of the branch's resource type ("String" for 6, "RCData" for
    // 10; other types without a name give their number).
    QString ResTypeStr() const;
    uint32_t ResType() const { return FResType; }

private:
    K_IMAGE_RESOURCE_DATA_ENTRY DataEntry() const;

    TPEReader& FPEReader;
    K_IMAGE_RESOURCE_DIRECTORY_ENTRY FDirEntry;
    int FDepth; // 0 for the root's entries
    uint32_t FResType;
    std::unique_ptr<TPEResourceList> FList;
};

// The entries of one resource directory, named and numbered together in
// directory order.
class TPEResourceList {
public:
    // dirOffset: the directory's offset from the resource root.
    TPEResourceList(TPEReader& reader, uint32_t dirOffset, int depth, uint32_t resType);
    ~TPEResourceList();
    TPEResourceList(const TPEResourceList&) = delete;
    TPEResourceList& operator=(const TPEResourceList&) = delete;

    int Count();
    // EListError "List index out of bounds (n)" outside the list.
    TPEResourceItem& GetResourceItem(int index);
    uint32_t DirOffset() const { return FResDir; }
    uint32_t ResType() const { return FResType; }

private:
    void ReadItems();

    TPEReader& FPEReader;
    uint32_t FResDir;
    int FDepth;
    uint32_t FResType;
    bool FRead = false;
    std::vector<std::unique_ptr<TPEResourceItem>> FList;
};

class TPEReader {
public:
    // Reads the file into memory (decompressing an LZK copy) and checks the
    // headers. Raises EExeError with the messages of the library: "Couldn't
    // open file: <name>" when the file cannot be loaded, "MapViewOfFile
    // failed" for an empty image, "Unrecognized file format" without "MZ",
    // "Not a PE (WIN32 Executable) file" when the NT headers are missing.
    static std::unique_ptr<TPEReader> CreateImage(const QString& fileName);
    // Uses an image already in memory (no file; the bytes are shared, not
    // copied) and checks its headers.
    static std::unique_ptr<TPEReader> CreateByModule(const QByteArray& image);
    ~TPEReader();
    TPEReader(const TPEReader&) = delete;
    TPEReader& operator=(const TPEReader&) = delete;

    const QString& FileName() const { return FFileName; }
    bool IsModule() const { return FIsModule; }
    bool Is64Bit() const { return FIs64Bit; }
    const QByteArray& Image() const { return FImage; }
    const K_IMAGE_DOS_HEADER& DosHeader() const { return FDosHeader; }
    // The 32-bit headers; of a PE32+ image only the part both share is valid.
    const K_IMAGE_NT_HEADERS& NTHeader() const { return FNTHeader; }
    const K_IMAGE_NT_HEADERS64& NTHeader64() const { return FNTHeader64; }

    // The root of the resource tree, found on first use; EExeError "No
    // resources in this file." without a ".rsrc" section.
    TPEResourceList& ResourceList();
    // File offset of the resource section's data and its virtual address.
    uint32_t ResourceBase();
    uint32_t ResourceRVA();

    // Bounds-checked reads for the tree: offsets from the resource root, and
    // relative virtual addresses. Each raises EExeError "Unrecognized file
    // format" when the bytes lie outside the image.
    void ReadResource(uint64_t offset, void* buffer, uint32_t size);
    QByteArray ReadResourceBytes(uint64_t offset, uint32_t size);
    QByteArray ReadRVA(uint32_t rva, uint32_t size);
    [[noreturn]] static void Damaged();

private:
    TPEReader(const QString& fileName, const QByteArray& image, bool isModule);
    void ValidateHeaders();
    void FindResourceSection();

    QString FFileName;
    QByteArray FImage;
    bool FIsModule;
    K_IMAGE_DOS_HEADER FDosHeader{};
    K_IMAGE_NT_HEADERS FNTHeader{};
    K_IMAGE_NT_HEADERS64 FNTHeader64{};
    bool FIs64Bit = false;
    bool FSectionFound = false;
    uint32_t FResourceBase = 0;
    uint32_t FResourceRVA = 0;
    std::unique_ptr<TPEResourceList> FResourceList;
};
