#pragma once
// The records of a Windows PE image (32-bit PE32 and 64-bit PE32+) that the
// resource readers and writers use, laid out as the PE/COFF format lays them
// out on disk (little-endian). Readers never point these records into image
// bytes: they copy them out after checking the bounds, because a record in a
// damaged file may sit at any (misaligned) offset.
#include <cstdint>

struct K_IMAGE_DOS_HEADER {
    uint16_t e_magic; // "MZ"
    uint16_t e_cblp;
    uint16_t e_cp;
    uint16_t e_crlc;
    uint16_t e_cparhdr;
    uint16_t e_minalloc;
    uint16_t e_maxalloc;
    uint16_t e_ss;
    uint16_t e_sp;
    uint16_t e_csum;
    uint16_t e_ip;
    uint16_t e_cs;
    uint16_t e_lfarlc;
    uint16_t e_ovno;
    uint16_t e_res[4];
    uint16_t e_oemid;
    uint16_t e_oeminfo;
    uint16_t e_res2[10];
    int32_t e_lfanew; // file offset of the NT headers
};
static_assert(sizeof(K_IMAGE_DOS_HEADER) == 64);

struct K_IMAGE_FILE_HEADER {
    uint16_t Machine;
    uint16_t NumberOfSections;
    uint32_t TimeDateStamp;
    uint32_t PointerToSymbolTable;
    uint32_t NumberOfSymbols;
    uint16_t SizeOfOptionalHeader;
    uint16_t Characteristics;
};
static_assert(sizeof(K_IMAGE_FILE_HEADER) == 20);

struct K_IMAGE_DATA_DIRECTORY {
    uint32_t VirtualAddress;
    uint32_t Size;
};

constexpr int K_IMAGE_NUMBEROF_DIRECTORY_ENTRIES = 16;
constexpr int K_IMAGE_DIRECTORY_ENTRY_RESOURCE = 2;

struct K_IMAGE_OPTIONAL_HEADER {
    uint16_t Magic; // 0x010B
    uint8_t MajorLinkerVersion;
    uint8_t MinorLinkerVersion;
    uint32_t SizeOfCode;
    uint32_t SizeOfInitializedData;
    uint32_t SizeOfUninitializedData;
    uint32_t AddressOfEntryPoint;
    uint32_t BaseOfCode;
    uint32_t BaseOfData;
    uint32_t ImageBase;
    uint32_t SectionAlignment;
    uint32_t FileAlignment;
    uint16_t MajorOperatingSystemVersion;
    uint16_t MinorOperatingSystemVersion;
    uint16_t MajorImageVersion;
    uint16_t MinorImageVersion;
    uint16_t MajorSubsystemVersion;
    uint16_t MinorSubsystemVersion;
    uint32_t Win32VersionValue;
    uint32_t SizeOfImage;
    uint32_t SizeOfHeaders;
    uint32_t CheckSum;
    uint16_t Subsystem;
    uint16_t DllCharacteristics;
    uint32_t SizeOfStackReserve;
    uint32_t SizeOfStackCommit;
    uint32_t SizeOfHeapReserve;
    uint32_t SizeOfHeapCommit;
    uint32_t LoaderFlags;
    uint32_t NumberOfRvaAndSizes;
    K_IMAGE_DATA_DIRECTORY DataDirectory[K_IMAGE_NUMBEROF_DIRECTORY_ENTRIES];
};
static_assert(sizeof(K_IMAGE_OPTIONAL_HEADER) == 224);

struct K_IMAGE_OPTIONAL_HEADER64 {
    uint16_t Magic; // 0x020B
    uint8_t MajorLinkerVersion;
    uint8_t MinorLinkerVersion;
    uint32_t SizeOfCode;
    uint32_t SizeOfInitializedData;
    uint32_t SizeOfUninitializedData;
    uint32_t AddressOfEntryPoint;
    uint32_t BaseOfCode;
    uint64_t ImageBase;
    uint32_t SectionAlignment;
    uint32_t FileAlignment;
    uint16_t MajorOperatingSystemVersion;
    uint16_t MinorOperatingSystemVersion;
    uint16_t MajorImageVersion;
    uint16_t MinorImageVersion;
    uint16_t MajorSubsystemVersion;
    uint16_t MinorSubsystemVersion;
    uint32_t Win32VersionValue;
    uint32_t SizeOfImage;
    uint32_t SizeOfHeaders;
    uint32_t CheckSum;
    uint16_t Subsystem;
    uint16_t DllCharacteristics;
    uint64_t SizeOfStackReserve;
    uint64_t SizeOfStackCommit;
    uint64_t SizeOfHeapReserve;
    uint64_t SizeOfHeapCommit;
    uint32_t LoaderFlags;
    uint32_t NumberOfRvaAndSizes;
    K_IMAGE_DATA_DIRECTORY DataDirectory[K_IMAGE_NUMBEROF_DIRECTORY_ENTRIES];
};
static_assert(sizeof(K_IMAGE_OPTIONAL_HEADER64) == 240);

struct K_IMAGE_NT_HEADERS {
    uint32_t Signature; // "PE\0\0"
    K_IMAGE_FILE_HEADER FileHeader;
    K_IMAGE_OPTIONAL_HEADER OptionalHeader;
};
static_assert(sizeof(K_IMAGE_NT_HEADERS) == 248);

struct K_IMAGE_NT_HEADERS64 {
    uint32_t Signature;
    K_IMAGE_FILE_HEADER FileHeader;
    K_IMAGE_OPTIONAL_HEADER64 OptionalHeader;
};
static_assert(sizeof(K_IMAGE_NT_HEADERS64) == 264);

constexpr int K_IMAGE_SIZEOF_SHORT_NAME = 8;

struct K_IMAGE_SECTION_HEADER {
    uint8_t Name[K_IMAGE_SIZEOF_SHORT_NAME]; // not terminated when all 8 are used
    uint32_t VirtualSize;
    uint32_t VirtualAddress;
    uint32_t SizeOfRawData;
    uint32_t PointerToRawData;
    uint32_t PointerToRelocations;
    uint32_t PointerToLinenumbers;
    uint16_t NumberOfRelocations;
    uint16_t NumberOfLinenumbers;
    uint32_t Characteristics;
};
static_assert(sizeof(K_IMAGE_SECTION_HEADER) == 40);

// A directory of the resource tree; its entries follow it, the named ones
// first.
struct K_IMAGE_RESOURCE_DIRECTORY {
    uint32_t Characteristics;
    uint32_t TimeDateStamp;
    uint16_t MajorVersion;
    uint16_t MinorVersion;
    uint16_t NumberOfNamedEntries;
    uint16_t NumberOfIdEntries;
};
static_assert(sizeof(K_IMAGE_RESOURCE_DIRECTORY) == 16);

// Name: with the high bit, the offset of a counted UTF-16 name from the
// resource root; else a 16-bit ID. OffsetToData: with the high bit, the
// offset of a subdirectory; else the offset of a data entry.
struct K_IMAGE_RESOURCE_DIRECTORY_ENTRY {
    uint32_t Name;
    uint32_t OffsetToData;
};
static_assert(sizeof(K_IMAGE_RESOURCE_DIRECTORY_ENTRY) == 8);

constexpr uint32_t K_IMAGE_RESOURCE_NAME_IS_STRING = 0x80000000;
constexpr uint32_t K_IMAGE_RESOURCE_DATA_IS_DIRECTORY = 0x80000000;

// OffsetToData is a relative virtual address, not an offset from the root.
struct K_IMAGE_RESOURCE_DATA_ENTRY {
    uint32_t OffsetToData;
    uint32_t Size;
    uint32_t CodePage;
    uint32_t Reserved;
};
static_assert(sizeof(K_IMAGE_RESOURCE_DATA_ENTRY) == 16);

constexpr uint16_t K_IMAGE_DOS_SIGNATURE = 0x5A4D;    // "MZ"
constexpr uint32_t K_IMAGE_NT_SIGNATURE = 0x00004550; // "PE\0\0"
constexpr uint16_t K_IMAGE_NT_OPTIONAL_HDR32_MAGIC = 0x010B;
constexpr uint16_t K_IMAGE_NT_OPTIONAL_HDR64_MAGIC = 0x020B;

// Resource types, numbered as in PE images.
enum TKResourceType {
    rtUnknown0,
    rtCursorEntry,
    rtBitmap,
    rtIconEntry,
    rtMenu,
    rtDialog,
    rtString,
    rtFontDir,
    rtFont,
    rtAccelerators,
    rtRCData,
    rtMessageTable,
    rtCursor,
    rtUnknown13,
    rtIcon,
    rtUnknown15,
    rtVersion,
};
