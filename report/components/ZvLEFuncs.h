#pragma once
// ZvLEFuncs: the script function library: the native functions that event
// scripts call, the general-purpose module SYSFUNC and the wrappers of the
// report classes (ZVBASE, ZVCLASS, ZVCSBARS, ZVCSDATA, ZVCSDRAW, ZVCSRPT,
// ZVCSSTD, ZVDATA, ZVPROJ), in one table that fills the native registry.
#include "report/components/ZvLERun.h"

#include <QString>

#include <vector>

// One native function: its callable, its upper-case name ("TZARVCONTROL.
// GETLEFT") and its upper-case module.
struct TNativeFuncRow {
    const TRCPUNative* Func;
    QString Name;
    QString Module;
};

// The table, SYSFUNC first and then the wrapper modules in the order above,
// each module's rows together. Made on first use; lives as long as the
// process.
const std::vector<TNativeFuncRow>& NativeFuncTable();

// Registers every row through the model's native registration hook, in
// table order.
void RegisterNativeFuncTable();

// Records RegisterNativeFuncTable under "ZVCL", so that the first project
// component registers the table (counted: the first call only). Called by the
// program's entry beside InitScriptEngine.
void RecordScriptLibraryProcs();
