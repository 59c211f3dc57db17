#pragma once
// The program's file version, read from the version resource of the
// program's own resource image, never from the current resource module: a
// language's resources carry no version of the program.
#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

struct TFileVersion {
    uint16_t Major = 0;
    uint16_t Minor = 0;
    uint16_t Release = 0;
    uint16_t Build = 0;
};

// The file version of the fixed file information of a version resource (a
// VS_VERSIONINFO block); nothing when the block is damaged or has none.
std::optional<TFileVersion> ParseFileVersion(const QByteArray& versionResource);
// "major.minor.release.build".
QString FileVersionText(const TFileVersion& version);
// The program's file version as text; "" when its image has no version
// resource.
QString ProgramVersionText();
