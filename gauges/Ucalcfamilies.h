#pragma once
// Step D of "Calculate Std Tolerance" for the ANSI/ASME, Spline, GAS,
// BUTTRESS and Whitworth families: which wizard, pipe-size picker or entry
// dialog is asked, which calculator runs with which arguments and which
// texts come back. Both process windows use these roads through the
// calculation unit (gauges/Uprocesscalc.h).

// Installs the five roads in the calculation unit; called once with the
// registration of the gauge windows.
void InstallFamilyCalculations();

// String-table texts of the buttress checks (caption 1000 "ERROR").
constexpr int ButtressNoDiameterText = 1168;      // "MN 168 : Specifiy the Diameter"
constexpr int ButtressDiameterNotValidText = 1170; // "MN 170 : Diameter not valid"
