#include "platform/os/Modules.h"

#include "platform/os/Libraries.h"
#include "platform/os/ProgramFile.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Streams.h"

#include <QFileInfo>

#include <algorithm>
#include <limits>

namespace {

struct TModuleImage {
    QByteArray Bytes;
    std::unique_ptr<TResourceImage> Parsed;
};

// A library module: its file, its own image and its resource module.
struct TLibraryModule {
    QString FileName;
    TLibraryHandle Library = nullptr;
    TModuleImage Own;
    TModuleImage Replacement; // not parsed: the module's own image is read

    ~TLibraryModule() { FreeDynamicLibrary(Library); }
    const TModuleImage& Current() const { return Replacement.Parsed ? Replacement : Own; }
};

struct Registry {
    TResourceImageParser Parser;
    TModuleImage Program;
    TModuleImage Replacement; // not parsed: the program's image is the module
    std::vector<std::unique_ptr<TLibraryModule>> Libraries;
};

Registry& TheRegistry()
{
    static Registry registry;
    return registry;
}

TModuleImage Parse(const QByteArray& image)
{
    if (!TheRegistry().Parser)
        throw Exception(QStringLiteral("No resource image parser is registered"));
    return TModuleImage{image, TheRegistry().Parser(image)};
}

const TModuleImage& Current()
{
    const Registry& registry = TheRegistry();
    return registry.Replacement.Parsed ? registry.Replacement : registry.Program;
}

// A library module's instance is the address of its record.
TLibraryModule* FindLibrary(TModuleInstance module)
{
    for (const auto& library : TheRegistry().Libraries)
        if (reinterpret_cast<TModuleInstance>(library.get()) == module)
            return library.get();
    return nullptr;
}

TLibraryModule& RequireLibrary(TModuleInstance module)
{
    if (TLibraryModule* library = FindLibrary(module))
        return *library;
    throw Exception(QStringLiteral("Module %1 is not loaded").arg(module));
}

extern "C" int HostLoadResourceFile(uintptr_t module, const char16_t* fileName, int length)
{
    try {
        LoadModuleResourceFile(module, QString::fromUtf16(fileName, length));
        return 1;
    } catch (const Exception&) {
        return 0;
    }
}

extern "C" void HostBackToOwnResources(uintptr_t module)
{
    ResetModuleResources(module);
}

const TModuleHost kHost{sizeof(TModuleHost), HostLoadResourceFile, HostBackToOwnResources};

} // namespace

TResourceImage::~TResourceImage() = default;

void RegisterResourceImageParser(TResourceImageParser parser)
{
    TheRegistry().Parser = std::move(parser);
}

void SetProgramResourceImage(const QByteArray& image)
{
    TheRegistry().Program = Parse(image);
}

const TResourceImage* ProgramResourceImage()
{
    return TheRegistry().Program.Parsed.get();
}

void SetResourceModule(const QByteArray& image)
{
    TheRegistry().Replacement = Parse(image);
}

void LoadResourceModuleFile(const QString& fileName)
{
    SetResourceModule(ReadRegularFile(fileName));
}

void ResetResourceModule()
{
    TheRegistry().Replacement = TModuleImage();
}

const TResourceImage* CurrentResourceModule()
{
    return Current().Parsed.get();
}

QByteArray ProgramResourceImageData()
{
    return TheRegistry().Program.Bytes;
}

QByteArray CurrentResourceModuleData()
{
    return Current().Bytes;
}

QString LoadStr(int id)
{
    QString text;
    const TResourceImage* module = CurrentResourceModule();
    if (module && module->FindString(id, text))
        return text;
    return QString();
}

bool FindResourceData(int type, const QString& name, QByteArray& data)
{
    const TResourceImage* module = CurrentResourceModule();
    return module && module->FindResource(type, name, data);
}

// --- the module list -----------------------------------------------------------

TModuleInstance RegisterLibraryModule(const QString& fileName)
{
    const QString path = QFileInfo(fileName).absoluteFilePath();
    for (const auto& library : TheRegistry().Libraries)
        if (library->FileName == path)
            return reinterpret_cast<TModuleInstance>(library.get());
    auto library = std::make_unique<TLibraryModule>();
    library->FileName = path;
    library->Library = LoadDynamicLibrary(path);
    if (!library->Library)
        throw EFOpenError(QStringLiteral("Cannot load module \"%1\"").arg(path));
    auto image = reinterpret_cast<TModuleResourceImageProc>(
        FindLibrarySymbol(library->Library, "ModuleResourceImage"));
    if (!image)
        throw EFOpenError(QStringLiteral("Module \"%1\" has no resources").arg(path));
    size_t size = 0;
    const char* bytes = image(&size);
    if (!bytes || size > size_t(std::numeric_limits<int>::max()))
        throw EFOpenError(QStringLiteral("Module \"%1\" has no resources").arg(path));
    try {
        library->Own = Parse(QByteArray(bytes, qsizetype(size)));
    } catch (const Exception& error) {
        throw EFOpenError(QStringLiteral("Module \"%1\" has no resources: %2").arg(path, error.Message()));
    }
    const auto instance = reinterpret_cast<TModuleInstance>(library.get());
    auto attach = reinterpret_cast<TModuleAttachProc>(FindLibrarySymbol(library->Library, "ModuleAttach"));
    TheRegistry().Libraries.push_back(std::move(library));
    if (attach)
        attach(&kHost, instance);
    return instance;
}

void UnregisterLibraryModule(TModuleInstance module)
{
    auto& libraries = TheRegistry().Libraries;
    libraries.erase(std::remove_if(libraries.begin(), libraries.end(),
                                   [module](const auto& library) {
                                       return reinterpret_cast<TModuleInstance>(library.get()) == module;
                                   }),
                    libraries.end());
}

std::vector<TModuleInstance> LoadedModules()
{
    std::vector<TModuleInstance> modules{kProgramModule};
    for (const auto& library : TheRegistry().Libraries)
        modules.push_back(reinterpret_cast<TModuleInstance>(library.get()));
    return modules;
}

bool IsLoadedModule(TModuleInstance module)
{
    return module == kProgramModule || FindLibrary(module);
}

QString LoadedModuleFileName(TModuleInstance module)
{
    if (module == kProgramModule)
        return ProgramFileName();
    const TLibraryModule* library = FindLibrary(module);
    return library ? library->FileName : QString();
}

QByteArray LoadedModuleImage(TModuleInstance module)
{
    if (module == kProgramModule)
        return ProgramResourceImageData();
    const TLibraryModule* library = FindLibrary(module);
    return library ? library->Own.Bytes : QByteArray();
}

QByteArray LoadedModuleResourceData(TModuleInstance module)
{
    if (module == kProgramModule)
        return CurrentResourceModuleData();
    const TLibraryModule* library = FindLibrary(module);
    return library ? library->Current().Bytes : QByteArray();
}

void* FindModuleExport(TModuleInstance module, const char* name)
{
    const TLibraryModule* library = FindLibrary(module);
    return library ? FindLibrarySymbol(library->Library, name) : nullptr;
}

void SetModuleResourceImage(TModuleInstance module, const QByteArray& image)
{
    if (module == kProgramModule)
        SetResourceModule(image);
    else
        RequireLibrary(module).Replacement = Parse(image);
}

void LoadModuleResourceFile(TModuleInstance module, const QString& fileName)
{
    SetModuleResourceImage(module, ReadRegularFile(fileName));
}

void ResetModuleResources(TModuleInstance module)
{
    if (module == kProgramModule)
        ResetResourceModule();
    else if (TLibraryModule* library = FindLibrary(module))
        library->Replacement = TModuleImage();
}

QString LoadModuleStr(TModuleInstance module, int id)
{
    if (module == kProgramModule)
        return LoadStr(id);
    QString text;
    const TLibraryModule* library = FindLibrary(module);
    if (library && library->Current().Parsed && library->Current().Parsed->FindString(id, text))
        return text;
    return QString();
}
