#pragma once
// The gauge-type record and the catalogue of all gauge types, searched by
// the key family * 1000 + group * 100 + item.
//
// The display name of a type is string-table text 50000 + key. Its code can
// be replaced per installation by the setting "<(family + 1) * 1000 +
// group * 100 + item>" of the section "Software\Dravinel\Tessvar\CTSN" in the
// Tessvar data folder; nothing in the program writes that section.
#include <QString>

#include <array>
#include <cstdint>
#include <memory>

class CALIBRETYPE {
public:
    // Empty strings, numbers 0, Defined 1.
    CALIBRETYPE() = default;
    // Name from the string table, Code from the CTSN setting when there is
    // one, else code; Extra 0.
    CALIBRETYPE(int family, int group, int item, int kind, int role, uint8_t ring, const QString& code,
                const QString& code2);
    // The same with Extra (used for the ISO family).
    void InitEx(int family, int group, int item, int kind, int role, uint8_t ring, const QString& code,
                const QString& code2, int extra);

    // InitEx with the code as given, without looking at the settings.
    void InitWithCode(int family, int group, int item, int kind, int role, uint8_t ring, const QString& code,
                      const QString& code2, int extra);

    int Key() const { return Family * 1000 + Group * 100 + Item; }

    QString Name;
    QString Code;
    QString Code2;    // ISO family: a code text; other families: the decimal text of a number
    int Family = 0;   // thread family 0..6
    int Group = 0;    // 0..7
    int Item = 0;     // 0..16
    int Kind = 0;     // 1 plain, 2 thread, 3 spline, 4 taper pipe-thread gauge
    uint8_t Ring = 0; // 1 the gauge encloses the feature (ring, gap, reference ring), 0 plug
    int Role = 0;     // 1 go, 2 no-go, 3 limit, 4 taper pipe gauge, 5 master or reference
    uint8_t Defined = 1;
    int Extra = 0; // ISO: 2 plain plug and ring, 1 segmental bar and gap, 3 rods, 0 thread gauges
};

class CALIBRETYPELIST {
public:
    static constexpr int Capacity = 200;

    CALIBRETYPELIST() = default;
    CALIBRETYPELIST(const CALIBRETYPELIST&) = delete;
    CALIBRETYPELIST& operator=(const CALIBRETYPELIST&) = delete;

    // Appends a record (records come in ascending key order; the list does
    // not sort). false when the list is full; the record is then dropped.
    bool Add(std::unique_ptr<CALIBRETYPE> record);
    // Looks up the key of record's Family, Group and Item; when found, copies
    // the catalogue record into it and returns true, else leaves it alone.
    bool Find(CALIBRETYPE& record);
    // Deletes every record and forgets the last key found.
    void Clear();
    // The name of a key, or "" and false.
    bool GetName(int family, int group, int item, QString& name);

    int Count() const { return FCount; }
    const CALIBRETYPE* At(int index) const;

private:
    void Remember(int index);

    int FCount = 0;
    int FCurrentIndex = 0;
    int FLastFamily = -1;
    int FLastGroup = -1;
    int FLastItem = -1;
    std::array<std::unique_ptr<CALIBRETYPE>, Capacity> FSlots;
};

// Number of gauge types of the program's catalogue.
constexpr int GaugeTypeCount = 155;
// Fills a list with the program's gauge types in ascending key order, their
// codes as InitEx gives them; the settings file is read once for them all.
void FillTypeCatalogue(CALIBRETYPELIST& list);
