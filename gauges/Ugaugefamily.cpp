#include "gauges/Ugaugefamily.h"

#include "platform/os/Modules.h"

#include <array>

namespace {

const std::array<TGaugeFamily, ThreadFamilyCount> Families = {{
    {"ILISO", 4, 700, 4, 10001},
    {"ILANSIASME", 8, 710, 4, 10010},
    {"ILSCA", 2, 720, 2, 720},
    {"ILSpecial", 5, 730, 4, 10001},
    {"ILGAS", 2, 790, 2, 790},
    {"ILBUTTRESS", 2, 8000, 2, 10003},
    {"ILWhitworth", 2, 9000, 2, 10003},
}};

struct TStandard {
    int Family;
    int FirstGroup;
    int LastGroup;
    const char* Name;
};

const TStandard Standards[] = {
    {FamilyIso, 0, 1, "ISO 286"},
    {FamilyIso, 2, 3, "ISO 1502"},
    {FamilyAnsiAsme, 0, 1, "ASME B89.1.6M"},
    {FamilyAnsiAsme, 2, 5, "ANSI/ASME B1.2"},
    {FamilyAnsiAsme, 6, 6, "ANSI/ASME B1.20.1"},
    {FamilyAnsiAsme, 7, 7, "ASME B1.20.5"},
    {FamilySpline, 0, 1, "DIN 5480"},
    {FamilyGas, 0, 0, "ISO 7"},
    {FamilyGas, 1, 1, "ISO 228"},
    {FamilyButtress, 0, 1, "BS 1657"},
    {FamilyWhitworth, 0, 1, "BS 919"},
};

} // namespace

const TGaugeFamily& GaugeFamily(int family)
{
    return Families.at(family >= 0 && family < ThreadFamilyCount ? size_t(family) : 0);
}

QString GroupCaption(int family, int group)
{
    return LoadStr(GaugeFamily(family).CaptionBase + group);
}

QString StandardName(int family, int group)
{
    for (const TStandard& standard : Standards) {
        if (standard.Family == family && group >= standard.FirstGroup && group <= standard.LastGroup)
            return QString::fromLatin1(standard.Name);
    }
    return QString();
}
