#include "platform/os/Modules.h"

#include "platform/rtl/Exceptions.h"

namespace {

struct Registry {
    TResourceImageParser Parser;
    std::unique_ptr<TResourceImage> Program;
    std::unique_ptr<TResourceImage> Replacement; // null: the program's image is the module
};

Registry& TheRegistry()
{
    static Registry registry;
    return registry;
}

std::unique_ptr<TResourceImage> Parse(const QByteArray& image)
{
    if (!TheRegistry().Parser)
        throw Exception(QStringLiteral("No resource image parser is registered"));
    return TheRegistry().Parser(image);
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
    return TheRegistry().Program.get();
}

void SetResourceModule(const QByteArray& image)
{
    TheRegistry().Replacement = Parse(image);
}

void ResetResourceModule()
{
    TheRegistry().Replacement.reset();
}

const TResourceImage* CurrentResourceModule()
{
    Registry& registry = TheRegistry();
    return registry.Replacement ? registry.Replacement.get() : registry.Program.get();
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
