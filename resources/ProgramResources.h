#pragma once
// The program's resource image (string table, form streams, images, version),
// compiled from resources/ by tools/rescomp at build time and linked into
// the program as bytes. Start-up hands it to InitProgramResources
// (localization/PEResourceImage.h).
#include <QByteArray>

const QByteArray& ProgramResourceImageBytes();
