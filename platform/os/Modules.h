#pragma once
// The module registry: the program's resources as one resource image (string
// tables, form streams, images, version information), and the resource module
// that string and resource look-ups read, which a language's resource image
// can replace.
//
// Images are parsed by a parser registered at start-up (the localization
// library's PE reader), so this layer holds no PE code of its own.
#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// Resource types, numbered as in PE images.
constexpr int RT_STRING = 6;
constexpr int RT_RCDATA = 10;
constexpr int RT_VERSION = 16;

// A parsed resource image.
class TResourceImage {
public:
    virtual ~TResourceImage();
    // The string of that id, or false when the image has none.
    virtual bool FindString(int id, QString& text) const = 0;
    // The data of a resource of that type with that name ("#n" for a numeric
    // id), or false.
    virtual bool FindResource(int type, const QString& name, QByteArray& data) const = 0;
};

// Parses image bytes; raises an Exception on a bad image.
using TResourceImageParser = std::function<std::unique_ptr<TResourceImage>(const QByteArray& image)>;
void RegisterResourceImageParser(TResourceImageParser parser);

// The program's own image (set once at start-up). It is also the resource
// module until SetResourceModule replaces it.
void SetProgramResourceImage(const QByteArray& image);
const TResourceImage* ProgramResourceImage();
// Makes another image (a language's resources) the resource module; raises
// when it cannot be parsed and then keeps the current one.
void SetResourceModule(const QByteArray& image);
// The same with a resource DLL on disk; EFOpenError when it cannot be read.
void LoadResourceModuleFile(const QString& fileName);
// Back to the program's own image.
void ResetResourceModule();
const TResourceImage* CurrentResourceModule();
// The bytes of the program's image and of the resource module (empty before
// start-up), for readers that walk an image whole.
QByteArray ProgramResourceImageData();
QByteArray CurrentResourceModuleData();

// The string of that id from the resource module; "" when it is not there.
QString LoadStr(int id);
// A resource of the resource module; false when it is not there.
bool FindResourceData(int type, const QString& name, QByteArray& data);

// --- the module list -----------------------------------------------------------
// The loaded modules that carry resources: the program (kProgramModule) and
// every library module registered with it, in the order of registering.
// Each module reads its own resource image until a language's image is made
// its resource module; the program's is the one the functions above serve.
using TModuleInstance = uintptr_t;
constexpr TModuleInstance kProgramModule = 1;

// What the program lends a library module, as a plain C table (the module
// is built apart from the program): it makes a resource DLL on disk the
// module's resource module (nonzero when done; the file name is UTF-16,
// length in code units) or gives the module its own resources back.
extern "C" {
struct TModuleHost {
    uint32_t Size; // sizeof(TModuleHost)
    int (*LoadResourceFile)(uintptr_t module, const char16_t* fileName, int length);
    void (*BackToOwnResources)(uintptr_t module);
};
}

// A library module exports
//   "ModuleResourceImage"  const char* (size_t* size): its own resource image;
//   "ModuleAttach"         void (const TModuleHost*, uintptr_t self), called
//                          once when it is registered (optional);
// and what the localizer asks of it: "GetPackageInfoTable" marks a package,
// whose resource module the program switches itself; any other module
// switches through its "SwitchToFile" and "BackToModuleRes".
using TModuleResourceImageProc = const char* (*)(size_t* size);
using TModuleAttachProc = void (*)(const TModuleHost* host, uintptr_t self);

// Loads the library and lists it. EFOpenError naming the file when it cannot
// be loaded, gives no resource image, or the image cannot be parsed; nothing
// is listed then. A library listed already answers its instance.
TModuleInstance RegisterLibraryModule(const QString& fileName);
// Takes a library module off the list and frees it; nothing for the program
// or a module not listed.
void UnregisterLibraryModule(TModuleInstance module);
// The program, then the library modules.
std::vector<TModuleInstance> LoadedModules();
bool IsLoadedModule(TModuleInstance module);
// The module's file (the program's file for the program); "" when not listed.
QString LoadedModuleFileName(TModuleInstance module);
// The module's own image, and the image its resources are read from.
QByteArray LoadedModuleImage(TModuleInstance module);
QByteArray LoadedModuleResourceData(TModuleInstance module);
// An exported symbol of a library module; null for the program or a missing
// symbol.
void* FindModuleExport(TModuleInstance module, const char* name);
// Makes image the module's resource module (the program: SetResourceModule);
// raises when it cannot be parsed and keeps the current one.
void SetModuleResourceImage(TModuleInstance module, const QByteArray& image);
// The same with a resource DLL on disk (EFOpenError when it cannot be read).
void LoadModuleResourceFile(TModuleInstance module, const QString& fileName);
void ResetModuleResources(TModuleInstance module);
// The string of that id from the module's resource module; "" when missing.
QString LoadModuleStr(TModuleInstance module, int id);
