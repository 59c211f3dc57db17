#pragma once
// The thread families as the pickers and process windows see them: how many
// gauge groups each offers, which image list holds the groups' pictures and
// which string-table texts caption the groups, in gauge and in workpiece
// mode.
#include <QString>

enum TThreadFamily : int {
    FamilyIso = 0,
    FamilyAnsiAsme = 1,
    FamilySpline = 2,
    FamilySpecial = 3,
    FamilyGas = 4,
    FamilyButtress = 5,
    FamilyWhitworth = 6,
};
constexpr int ThreadFamilyCount = 7;

// String-table text 800 + family: the family's name ("ISO - metric").
constexpr int FamilyNameText = 800;

struct TGaugeFamily {
    const char* ImageList; // name of the picker's image list ("ILISO")
    int Groups;            // gauge groups in the gauge picker
    int CaptionBase;       // string-table text of group 0's caption
    int WorkpieceGroups;   // groups in the workpiece picker
    int WorkpieceCaptionBase;
};

// The family's row; a family out of range gives the row of ISO.
const TGaugeFamily& GaugeFamily(int family);
// The caption of a group in the gauge picker (string-table text).
QString GroupCaption(int family, int group);
// The name of the standard a group of gauges follows ("ISO 1502"); "" for
// the combinations without one.
QString StandardName(int family, int group);
