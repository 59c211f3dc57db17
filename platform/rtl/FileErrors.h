#pragma once
// Errors about a user's file say which file. A loader that opens a file the
// user handed the program (a report project, a snapshot, a language file, a
// language DLL) passes every failure through AddFileName on its way out.
#include "platform/rtl/Exceptions.h"

#include <QString>

// The message as it stands, then the path on a line of its own, so that an
// error such as "Stream read error" says which file it met. A message that
// already ends with the path is left alone, so nested loaders add it once;
// the silent abort and an empty path change nothing.
void AddFileName(Exception& error, const QString& fileName);

// The reason a name that stands for no regular file (a FIFO, a socket, a
// device) is refused, after the message that names fileName: "It is not a
// file.", or where the name leads through links to end, "\"end\" is not a
// file.".
QString NotAFileReason(const QString& fileName, const QString& end = QString());
