#pragma once
// ZvLEUtil: the numbered messages of the script compiler and the routines
// that raise them as EZarvCompiler (report/model/ZvDefine.h). No compiler is
// part of this program: symbol look-ups of a module raise numbers 22 and 23,
// and a compiler linked in later raises the others through the same routine.
#include "report/model/ZvDefine.h"

#include <QString>

class TZarvModule;

// The position the compiler has reached, and the event whose generated source
// holds it (set by RaiseCompilerError).
extern int32_t ErrorLine;
extern int32_t ErrorCol;
extern TZarvEvent* ErrorEvent;
// The module being compiled; a compiler sets it.
extern TZarvModule* CompilingModule;
// When set, messages carry " (line L col C)". Nothing in this program sets it.
extern bool ShowErrorPosition;

// "Error #<code> - <text>", the text of code formatted with param (for 36 the
// param itself; a code outside 1-54 has an empty text), each step through the
// translation hook.
QString CompilerErrorText(int code, const QString& param = QString());
// Raises EZarvCompiler with msg unchanged.
[[noreturn]] void RaiseCompilerException(const QString& msg);
// Finds the event that holds ErrorLine in the module being compiled, then
// raises EZarvCompiler with CompilerErrorText and the position.
[[noreturn]] void RaiseCompilerError(int code, const QString& param = QString());
