#include "platform/os/VersionInfo.h"

#include "platform/os/Modules.h"

#include <QByteArrayView>
#include <QtEndian>

namespace {

// VS_VERSIONINFO: length, value length, type (16 bits each), the key
// "VS_VERSION_INFO" with its terminator, padding to 4, then the 52-byte
// fixed file information.
constexpr char16_t RootKey[] = u"VS_VERSION_INFO";
constexpr qsizetype KeyOffset = 6;
constexpr qsizetype KeyBytes = sizeof RootKey; // with the terminator
constexpr qsizetype ValueOffset = (KeyOffset + KeyBytes + 3) / 4 * 4;
constexpr qsizetype FixedInfoSize = 52;
constexpr uint32_t FixedInfoSignature = 0xFEEF04BD;

uint16_t Word(QByteArrayView bytes, qsizetype at);
uint32_t DWord(QByteArrayView bytes, qsizetype at);

} // namespace

std::optional<TFileVersion> ParseFileVersion(const QByteArray& versionResource)
{
    // Read through a view: QByteArray::constData() answers an array without
    // storage with a one-byte static, and the optimiser, not knowing that
    // the size check rules that branch out, reports the reads below as reads
    // past that byte (-Warray-bounds at -O2, a false alarm). A view holds
    // the array's own pointer, so there is no such branch to follow; the
    // size check is what keeps every read inside the block.
    const QByteArrayView v(versionResource);
    if (v.size() < ValueOffset + FixedInfoSize)
        return std::nullopt;
    const uint16_t length = Word(v, 0);
    const uint16_t valueLength = Word(v, 2);
    if (length > v.size() || length < ValueOffset + FixedInfoSize || valueLength < FixedInfoSize)
        return std::nullopt;
    if (v.sliced(KeyOffset, KeyBytes) != QByteArrayView(reinterpret_cast<const char*>(RootKey), KeyBytes))
        return std::nullopt;
    if (DWord(v, ValueOffset) != FixedInfoSignature)
        return std::nullopt;
    const uint32_t ms = DWord(v, ValueOffset + 8);
    const uint32_t ls = DWord(v, ValueOffset + 12);
    return TFileVersion{uint16_t(ms >> 16), uint16_t(ms & 0xFFFF), uint16_t(ls >> 16), uint16_t(ls & 0xFFFF)};
}

QString FileVersionText(const TFileVersion& version)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(version.Major)
        .arg(version.Minor)
        .arg(version.Release)
        .arg(version.Build);
}

QString ProgramVersionText()
{
    const TResourceImage* image = ProgramResourceImage();
    QByteArray data;
    if (!image || !image->FindResource(RT_VERSION, QStringLiteral("#1"), data))
        return QString();
    const std::optional<TFileVersion> version = ParseFileVersion(data);
    return version ? FileVersionText(*version) : QString();
}

// --- helpers ---------------------------------------------------------------

namespace {

uint16_t Word(QByteArrayView bytes, qsizetype at)
{
    return qFromLittleEndian<uint16_t>(bytes.constData() + at);
}

uint32_t DWord(QByteArrayView bytes, qsizetype at)
{
    return qFromLittleEndian<uint32_t>(bytes.constData() + at);
}

} // namespace
