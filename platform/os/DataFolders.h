#pragma once
// The program's fixed data folders. On Windows they lie under
// "C:\ProgramData\"; here that prefix maps to the user's data folder
// (QStandardPaths::GenericDataLocation), so "C:\ProgramData\Dravinel\Tessvar\"
// becomes "<data>/Dravinel/Tessvar/". Tests point the data folder at a
// temporary folder through XDG_DATA_HOME.
#include <QString>

// The folder that stands for "C:\ProgramData", without a trailing separator.
QString ProgramDataRoot();
// Maps a Windows path below "C:\ProgramData\" (any case, either separator) to
// a local path with "/" separators, keeping a trailing separator. Other paths
// only have their backslashes turned into "/".
QString MapWindowsPath(const QString& windowsPath);
