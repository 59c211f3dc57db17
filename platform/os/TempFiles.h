#pragma once
// Temporary files: the system's temporary folder and new files of unique
// names in a folder, made the way the Windows temporary-file service makes
// them (the file is created empty, so the name stays taken).
#include <QString>

// The temporary folder with a trailing "/" (TMPDIR, else /tmp).
QString TempFolder();
// Creates an empty file "<folder>/<prefix><unique>.tmp", where only the
// first three characters of prefix are used, and returns its name. The
// caller deletes it. EFCreateError names the folder when no file can be
// made there.
QString CreateTempFile(const QString& folder, const QString& prefix);
