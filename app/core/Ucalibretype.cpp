#include "app/core/Ucalibretype.h"

#include "app/core/Iregistry.h"
#include "platform/os/Modules.h"

namespace {

// The program's gauge types. Kind, Role, Ring and Extra as in CALIBRETYPE.
// Some rows look odd and are kept as the program has always had them: 3301
// and 3302 share the code "GAFNP", 1602 (a plug) is flagged as a ring and
// 1603 (a ring) as a plug, and 5002 has the code "DTF-D".
struct TGaugeTypeRow {
    int Key;
    const char* Code;
    const char* Code2;
    int Kind;
    int Role;
    int Ring;
    int Extra;
};

constexpr TGaugeTypeRow GaugeTypes[GaugeTypeCount] = {
    {0, "TL-P", "CTS-P", 1, 1, 0, 2},
    {1, "TLNP", "CTS-NP", 1, 2, 0, 2},
    {2, "TL-D", "CTD", 1, 3, 0, 2},
    {3, "PL-P", "CPS-P", 1, 1, 0, 1},
    {4, "PLNP", "CPS-NP", 1, 2, 0, 1},
    {5, "PL-D", "CPD", 1, 3, 0, 1},
    {6, "BL-P", "CBS-P", 1, 1, 0, 3},
    {7, "BLNP", "CBS-NP", 1, 2, 0, 3},
    {8, "TL-M", "T-TN", 1, 5, 0, 2},
    {100, "AL-P", "CAL-P", 1, 1, 1, 2},
    {101, "ALNP", "CAL-NP", 1, 2, 1, 2},
    {102, "FL-P", "CFS-P", 1, 1, 1, 1},
    {103, "FLNP", "CFS-NP", 1, 2, 1, 1},
    {104, "FL-D", "CFD", 1, 3, 1, 1},
    {105, "FLCD", "CFDC", 1, 3, 1, 1},
    {106, "FLRD", "CFRD", 1, 3, 1, 1},
    {107, "RFPN", "RVF-P", 1, 1, 0, 2},
    {108, "RFNP", "RVF-NP", 1, 2, 0, 2},
    {109, "RFPL", "RVF-L", 1, 1, 0, 2},
    {110, "AL-M", "M-AN", 1, 5, 1, 2},
    {111, "AL-D", "CALD", 1, 3, 1, 2},
    {200, "TF-P", "CTF-P", 2, 1, 0, 0},
    {201, "TFNP", "CTF-NP", 2, 2, 0, 0},
    {202, "TF-D", "CTFD", 2, 3, 0, 0},
    {300, "AF-P", "CAF-P", 2, 1, 1, 0},
    {301, "AFNP", "CAF-NP", 2, 2, 1, 0},
    {302, "AFRP", "CAFR-P", 2, 1, 1, 0},
    {303, "AFRN", "CAFR-NP", 2, 2, 1, 0},
    {304, "FP-P", "CFP-P", 2, 1, 1, 0},
    {305, "FPNP", "CFP-NP", 2, 2, 1, 0},
    {306, "RPAP", "RPAF", 2, 1, 0, 0},
    {307, "RPAN", "RNPAF", 2, 2, 0, 0},
    {308, "RLAP", "RLA-P", 2, 1, 0, 0},
    {309, "RRAR", "RRLA-P", 2, 1, 0, 0},
    {310, "RRAN", "RRA-NP", 2, 1, 0, 0},
    {311, "RLAN", "RLA-NP", 2, 1, 0, 0},
    {312, "RPAF", "RPA-NP", 2, 1, 0, 0},
    {313, "RRFF", "RNPA-NP", 2, 2, 0, 0},
    {314, "RRFS", "RRF-P", 2, 1, 0, 0},
    {315, "RRFN", "RRF-NP", 2, 1, 0, 0},
    {1000, "ATLP", "2", 1, 1, 0, 0},
    {1001, "ATLN", "2", 1, 2, 0, 0},
    {1002, "ATLD", "2", 1, 3, 0, 0},
    {1003, "ATMT", "2", 1, 5, 0, 0},
    {1100, "AALP", "2", 1, 1, 1, 0},
    {1101, "AALN", "2", 1, 2, 1, 0},
    {1102, "AAMT", "2", 1, 5, 1, 0},
    {1200, "AUTP", "0", 2, 1, 0, 0},
    {1201, "AUTN", "0", 2, 2, 0, 0},
    {1202, "AUTD", "0", 2, 3, 0, 0},
    {1203, "AARP", "0", 2, 1, 1, 0},
    {1204, "AARN", "0", 2, 1, 1, 0},
    {1300, "AUAP", "0", 2, 1, 1, 0},
    {1301, "AUAN", "0", 2, 2, 1, 0},
    {1302, "ATRP", "0", 2, 1, 0, 0},
    {1303, "ATRN", "0", 2, 1, 0, 0},
    {1400, "ATFP", "0", 2, 1, 0, 0},
    {1401, "ATFN", "0", 2, 2, 0, 0},
    {1402, "ATFD", "0", 2, 3, 0, 0},
    {1500, "AAFP", "0", 2, 1, 1, 0},
    {1501, "AAFN", "0", 2, 2, 1, 0},
    {1600, "NPTT", "0", 4, 4, 0, 0},
    {1601, "NPTA", "0", 4, 4, 1, 0},
    {1602, "NPTM", "0", 4, 4, 1, 0},
    {1603, "NPAM", "0", 4, 4, 0, 0},
    {1604, "NPSP", "0", 2, 1, 0, 0},
    {1605, "NPSN", "0", 2, 2, 0, 0},
    {1606, "NPSD", "0", 2, 3, 0, 0},
    {1607, "NPMP", "0", 2, 1, 0, 0},
    {1608, "NPMN", "0", 2, 2, 0, 0},
    {1609, "NPMD", "0", 2, 3, 0, 0},
    {1610, "NPMA", "0", 2, 1, 1, 0},
    {1611, "NNMA", "0", 2, 2, 1, 0},
    {1612, "NPLP", "0", 2, 1, 0, 0},
    {1613, "NPLN", "0", 2, 2, 0, 0},
    {1614, "NPLD", "0", 2, 3, 0, 0},
    {1615, "NPLA", "0", 2, 1, 1, 0},
    {1616, "NNLA", "0", 2, 2, 1, 0},
    {1700, "FTL1", "0", 4, 4, 0, 0},
    {1701, "FAL1", "0", 4, 4, 1, 0},
    {1702, "TSL1", "0", 4, 4, 0, 0},
    {1703, "ASL1", "0", 4, 4, 1, 0},
    {1704, "FTL3", "0", 4, 4, 0, 0},
    {1705, "FAL2", "0", 4, 4, 1, 0},
    {1706, "TSL3", "0", 4, 4, 0, 0},
    {1707, "ASL2", "0", 4, 4, 1, 0},
    {1708, "SIL1", "0", 4, 4, 0, 0},
    {1709, "FTMT", "0", 4, 4, 0, 0},
    {1710, "FAMT", "0", 4, 4, 1, 0},
    {1711, "TL13", "0", 4, 4, 0, 0},
    {1712, "AL12", "0", 4, 4, 1, 0},
    {1713, "TS13", "0", 4, 4, 0, 0},
    {1714, "AS12", "0", 4, 4, 1, 0},
    {2000, "TS-P", "0", 3, 1, 0, 0},
    {2001, "TSNP", "0", 3, 2, 0, 0},
    {2002, "TS-D", "0", 3, 3, 0, 0},
    {2003, "AS-P", "0", 3, 1, 1, 0},
    {2004, "ASNP", "0", 3, 2, 1, 0},
    {2100, "AR-P", "0", 3, 1, 1, 0},
    {2101, "ARPL", "0", 3, 1, 1, 0},
    {2102, "TR-P", "0", 3, 1, 0, 0},
    {2103, "TRPL", "0", 3, 1, 0, 0},
    {3000, "GTL-P", "2", 1, 1, 0, 0},
    {3001, "GTLNP", "2", 1, 2, 0, 0},
    {3002, "GTL-D", "2", 1, 3, 0, 0},
    {3003, "GBL-P", "3", 1, 1, 0, 0},
    {3004, "GBLNP", "3", 1, 2, 0, 0},
    {3005, "GTL-M", "2", 1, 5, 0, 0},
    {3100, "GAL-P", "2", 1, 1, 1, 0},
    {3101, "GALNP", "2", 1, 2, 1, 0},
    {3102, "GAL-D", "2", 1, 3, 1, 0},
    {3103, "GFL-P", "1", 1, 1, 1, 0},
    {3104, "GFLNP", "1", 1, 2, 1, 0},
    {3105, "GFL-D", "1", 1, 3, 1, 0},
    {3106, "GFC-D", "1", 1, 3, 1, 0},
    {3107, "GFR-D", "1", 1, 3, 1, 0},
    {3108, "GAL-M", "2", 1, 5, 1, 0},
    {3200, "GTF-P", "0", 2, 1, 0, 0},
    {3201, "GTFNP", "0", 2, 2, 0, 0},
    {3202, "GTF-D", "0", 2, 3, 0, 0},
    {3300, "GAF-P", "0", 2, 1, 1, 0},
    {3301, "GAFNP", "0", 2, 2, 1, 0},
    {3302, "GAFNP", "0", 2, 3, 1, 0},
    {4000, "GS-TC", "0", 4, 4, 0, 0},
    {4001, "GS-AC", "0", 4, 4, 1, 0},
    {4002, "GS-TR", "0", 4, 4, 0, 0},
    {4003, "GS-AF", "0", 2, 1, 1, 0},
    {4004, "GS-AR", "0", 2, 1, 1, 0},
    {4100, "GS-TP", "0", 2, 1, 0, 0},
    {4101, "GS-TN", "0", 2, 2, 0, 0},
    {4102, "GS-TD", "0", 2, 3, 0, 0},
    {4103, "GS-AP", "0", 2, 1, 1, 0},
    {4104, "GS-AN", "0", 2, 2, 1, 0},
    {4105, "GS-RPP", "0", 2, 1, 0, 0},
    {4106, "GS-RNP", "0", 2, 2, 0, 0},
    {4107, "GS-RLP", "0", 2, 1, 0, 0},
    {4108, "GS-RPN", "0", 2, 1, 0, 0},
    {4109, "GS-RNN", "0", 2, 2, 0, 0},
    {4110, "GS-RLN", "0", 2, 1, 0, 0},
    {5000, "BTF-P", "0", 2, 1, 0, 0},
    {5001, "BTF-NP", "0", 2, 2, 0, 0},
    {5002, "DTF-D", "0", 2, 3, 0, 0},
    {5100, "BAF-P", "0", 2, 1, 1, 0},
    {5101, "BAF-NP", "0", 2, 2, 1, 0},
    {5102, "BRTF-P", "0", 2, 1, 0, 0},
    {5103, "BRTF-NP", "0", 2, 2, 0, 0},
    {6000, "WTF-P", "0", 2, 1, 0, 0},
    {6001, "WTF-NP", "0", 2, 2, 0, 0},
    {6002, "WTF-D", "0", 2, 3, 0, 0},
    {6003, "WTRF-P", "0", 2, 1, 0, 0},
    {6100, "WAF-P", "0", 2, 1, 1, 0},
    {6101, "WAF-NP", "0", 2, 2, 1, 0},
    {6102, "WTRFAP", "0", 2, 1, 0, 0},
    {6103, "WTZARP", "0", 2, 1, 0, 0},
    {6104, "WTZARNP", "0", 2, 1, 0, 0},
};

const QString CodeOverrideKey = QStringLiteral("Software\\Dravinel\\Tessvar\\CTSN");
constexpr int NameBase = 50000;

QString CodeOf(int family, int group, int item, const QString& code);
// The name of a type's CTSN setting.
QString CodeOverrideName(int family, int group, int item);
// Every CTSN setting, read from the settings file at once.
QMap<QString, QString> CodeOverrides();

} // namespace

CALIBRETYPE::CALIBRETYPE(int family, int group, int item, int kind, int role, uint8_t ring, const QString& code,
                         const QString& code2)
{
    InitEx(family, group, item, kind, role, ring, code, code2, 0);
}

void CALIBRETYPE::InitEx(int family, int group, int item, int kind, int role, uint8_t ring, const QString& code,
                         const QString& code2, int extra)
{
    InitWithCode(family, group, item, kind, role, ring, CodeOf(family, group, item, code), code2, extra);
}

void CALIBRETYPE::InitWithCode(int family, int group, int item, int kind, int role, uint8_t ring,
                               const QString& code, const QString& code2, int extra)
{
    Family = family;
    Group = group;
    Item = item;
    Kind = kind;
    Role = role;
    Ring = ring;
    Extra = extra;
    Defined = 1;
    Name = LoadStr(NameBase + Key());
    Code2 = code2;
    Code = code;
}

bool CALIBRETYPELIST::Add(std::unique_ptr<CALIBRETYPE> record)
{
    if (FCount >= Capacity || !record)
        return false;
    FSlots[size_t(FCount)] = std::move(record);
    ++FCount;
    return true;
}

bool CALIBRETYPELIST::Find(CALIBRETYPE& record)
{
    // The last key found is kept, so that a repeated look-up does not search
    // again. Nothing is cached before the first hit (a key of -1, -1, -1 is
    // not taken for it).
    if (FCurrentIndex < FCount && FLastFamily != -1 && record.Family == FLastFamily &&
        record.Group == FLastGroup && record.Item == FLastItem) {
        record = *FSlots[size_t(FCurrentIndex)];
        return true;
    }
    const int key = record.Key();
    if (FCount == 0)
        return false;
    int low = 0;
    int high = FCount - 1;
    while (low < high) {
        const int middle = (low + high) / 2;
        const int middleKey = FSlots[size_t(middle)]->Key();
        if (middleKey == key) {
            Remember(middle);
            record = *FSlots[size_t(middle)];
            return true;
        }
        if (middleKey >= key)
            high = middle - 1;
        else
            low = middle + 1;
    }
    if (low != high || FSlots[size_t(low)]->Key() != key)
        return false;
    Remember(low);
    record = *FSlots[size_t(low)];
    return true;
}

void CALIBRETYPELIST::Clear()
{
    for (std::unique_ptr<CALIBRETYPE>& slot : FSlots)
        slot.reset();
    FCount = 0;
    FCurrentIndex = 0;
    FLastFamily = FLastGroup = FLastItem = -1;
}

bool CALIBRETYPELIST::GetName(int family, int group, int item, QString& name)
{
    name.clear();
    CALIBRETYPE record;
    record.Family = family;
    record.Group = group;
    record.Item = item;
    if (!Find(record))
        return false;
    name = record.Name;
    return true;
}

const CALIBRETYPE* CALIBRETYPELIST::At(int index) const
{
    return index >= 0 && index < FCount ? FSlots[size_t(index)].get() : nullptr;
}

void CALIBRETYPELIST::Remember(int index)
{
    FCurrentIndex = index;
    FLastFamily = FSlots[size_t(index)]->Family;
    FLastGroup = FSlots[size_t(index)]->Group;
    FLastItem = FSlots[size_t(index)]->Item;
}

void FillTypeCatalogue(CALIBRETYPELIST& list)
{
    // The codes as InitEx gives them, with the settings read once for all
    // the types rather than once for each.
    const QMap<QString, QString> overrides = CodeOverrides();
    for (const TGaugeTypeRow& row : GaugeTypes) {
        const int family = row.Key / 1000;
        const int group = row.Key / 100 % 10;
        const int item = row.Key % 100;
        const QString code =
            overrides.value(CodeOverrideName(family, group, item), QString::fromLatin1(row.Code));
        auto record = std::make_unique<CALIBRETYPE>();
        record->InitWithCode(family, group, item, row.Kind, row.Role, uint8_t(row.Ring), code,
                             QString::fromLatin1(row.Code2), row.Extra);
        list.Add(std::move(record));
    }
}

namespace {

QString CodeOverrideName(int family, int group, int item)
{
    return QString::number((family + 1) * 1000 + group * 100 + item);
}

QString CodeOf(int family, int group, int item, const QString& code)
{
    TIRegistry registry;
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    registry.SetFolder(TessvarDataFolder);
    registry.OpenKey(CodeOverrideKey, true);
    const QString name = CodeOverrideName(family, group, item);
    const QString result = registry.ValueExists(name) ? registry.ReadString(name) : code;
    registry.CloseKey();
    return result;
}

QMap<QString, QString> CodeOverrides()
{
    TIRegistry registry;
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    registry.SetFolder(TessvarDataFolder);
    registry.OpenKey(CodeOverrideKey, true);
    QMap<QString, QString> overrides = registry.ReadValues();
    registry.CloseKey();
    return overrides;
}

} // namespace
