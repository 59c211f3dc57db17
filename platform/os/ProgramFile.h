#pragma once
// The program's file name and folder. Language files, language DLLs and the
// native copy of the program are named after the program file and found
// beside it; tests point these at a folder of their own.
#include <QString>

// The program's full file name: the running executable unless set.
QString ProgramFileName();
// The folder of ProgramFileName(), without a trailing separator.
QString ProgramFolder();
// The file name without folder and without its last extension ("tessvar").
QString ProgramBaseName();
// Overrides the program file name; an empty name goes back to the executable.
void SetProgramFileName(const QString& fileName);

// The file of that name in its folder, its name matched without regard to
// case (language files and DLLs are named after the program as Windows names
// them); the name as given when no file matches.
QString FindFileNoCase(const QString& fileName);
