#pragma once
// A test stand-in for the program's resource image: the string table source
// (resources/StringTable.txt) read as it stands, so that LoadStr serves its
// texts before the real resource image is built.
#include <QString>

// Registers a parser of string-table text as the resource-image parser and
// makes the given file the program's image. Raises an Exception when the
// file cannot be read or a line is malformed.
void InstallStringTableImage(const QString& stringTableFile);
