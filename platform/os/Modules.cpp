#include "platform/os/Modules.h"

#include "platform/rtl/Exceptions.h"

#include <QFile>
#include <QFileInfo>

namespace {

struct TModuleImage {
    QByteArray Bytes;
    std::unique_ptr<TResourceImage> Parsed;
};

struct Registry {
    TResourceImageParser Parser;
    TModuleImage Program;
    TModuleImage Replacement; // not parsed: the program's image is the module
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
    QFile file(fileName);
    if (QFileInfo(fileName).isDir() || !file.open(QIODevice::ReadOnly))
        throw EFOpenError(QStringLiteral("Cannot open file \"%1\". %2").arg(fileName, file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw EFOpenError(QStringLiteral("Cannot read file \"%1\". %2").arg(fileName, file.errorString()));
    SetResourceModule(bytes);
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
