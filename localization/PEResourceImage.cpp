#include "localization/PEResourceImage.h"

#include "localization/KHelpers.h"
#include "localization/PEReader.h"
#include "localization/WinResProc.h"

namespace {

QString NameKey(const TPEResourceItem& item);

} // namespace

TPEResourceImage::TPEResourceImage(const QByteArray& image)
{
    std::unique_ptr<TPEReader> reader = TPEReader::CreateByModule(image);
    TPEResourceList& root = reader->ResourceList();
    TResString strings;
    for (int t = 0; t < root.Count(); ++t) {
        TPEResourceItem& type = root.GetResourceItem(t);
        // Look-ups go by numeric type only; named types are never asked for.
        if (type.IsNamed() || !type.IsList())
            continue;
        TPEResourceList& names = type.List();
        for (int n = 0; n < names.Count(); ++n) {
            TPEResourceItem& item = names.GetResourceItem(n);
            const QByteArray data = item.RawData();
            FResources.try_emplace({type.Id(), NameKey(item)}, data);
            if (type.Id() == RT_STRING && !item.IsNamed())
                strings.AddGroupData(item.Id(), data);
        }
    }
    for (int i = 0; i < strings.Count(); ++i)
        FStrings.emplace(strings.GetItems(i)->Id(), strings.GetItems(i)->Data());
}

TPEResourceImage::~TPEResourceImage() = default;

bool TPEResourceImage::FindString(int id, QString& text) const
{
    const auto it = FStrings.find(id);
    if (it == FStrings.end())
        return false;
    text = it->second;
    return true;
}

bool TPEResourceImage::FindResource(int type, const QString& name, QByteArray& data) const
{
    const auto it = FResources.find({type, name.startsWith(u'#') ? name : name.toUpper()});
    if (it == FResources.end())
        return false;
    data = it->second;
    return true;
}

void RegisterPEResourceImageParser()
{
    RegisterResourceImageParser([](const QByteArray& image) -> std::unique_ptr<TResourceImage> {
        return std::make_unique<TPEResourceImage>(image);
    });
}

void InitProgramResources(const QByteArray& programImage)
{
    RegisterPEResourceImageParser();
    SetProgramResourceImage(programImage);
    SetLibraryStringLoader([](int id) { return LoadStr(id); });
}

// --- helpers ---------------------------------------------------------------

namespace {

QString NameKey(const TPEResourceItem& item)
{
    return item.IsNamed() ? item.Name().toUpper() : QStringLiteral("#%1").arg(item.Id());
}

} // namespace
