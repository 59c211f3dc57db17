#include "platform/rtl/CodePages.h"

#include "platform/rtl/Exceptions.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <iconv.h>
#include <vector>

namespace {

// Windows code page 1252, the row 0x80-0x9F; 0x00-0x7F and 0xA0-0xFF equal
// their Unicode code points. Source: the code page 1252 table of the Unicode
// Consortium's vendor mappings (WINDOWS/CP1252.TXT). Deviation: that table
// leaves 0x81, 0x8D, 0x8F, 0x90 and 0x9D undefined; Windows' own conversion
// maps them to the C1 controls of the same value, and so does this table, so
// that every byte survives a round trip.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 0x98
};

// The other Windows code pages and glibc iconv's names for them. glibc's
// CP936 is GBK, CP949 is UHC, CP950 is BIG5 and CP874 is IBM874, each the
// closest converter glibc has to the Windows code page of that number.
struct TIconvCodePage {
    int CodePage;
    const char* Name;
};
constexpr TIconvCodePage kIconvCodePages[] = {
    {874, "CP874"},   {932, "CP932"},   {936, "CP936"},   {949, "CP949"},   {950, "CP950"},
    {1250, "CP1250"}, {1251, "CP1251"}, {1253, "CP1253"}, {1254, "CP1254"}, {1255, "CP1255"},
    {1256, "CP1256"}, {1257, "CP1257"}, {1258, "CP1258"},
};

constexpr int kSystemAnsiCodePage = 1252;

const char* IconvName(int codePage);
int ResolveCodePage(int codePage);
QString Cp1252ToUnicode(const QByteArray& bytes);
QByteArray UnicodeToCp1252(const QString& text);
QString IconvToUnicode(const QByteArray& bytes, const char* name);
QByteArray IconvFromUnicode(const QString& text, const char* name);

} // namespace

int SystemAnsiCodePage()
{
    return kSystemAnsiCodePage;
}

bool IsCodePageSupported(int codePage)
{
    return codePage == CP_ACP || codePage == kSystemAnsiCodePage || IconvName(codePage) != nullptr;
}

QString AnsiToUnicode(const QByteArray& bytes, int codePage)
{
    codePage = ResolveCodePage(codePage);
    if (codePage == kSystemAnsiCodePage)
        return Cp1252ToUnicode(bytes);
    return IconvToUnicode(bytes, IconvName(codePage));
}

QByteArray UnicodeToAnsi(const QString& text, int codePage)
{
    codePage = ResolveCodePage(codePage);
    if (codePage == kSystemAnsiCodePage)
        return UnicodeToCp1252(text);
    return IconvFromUnicode(text, IconvName(codePage));
}

namespace {

const char* IconvName(int codePage)
{
    for (const TIconvCodePage& entry : kIconvCodePages)
        if (entry.CodePage == codePage)
            return entry.Name;
    return nullptr;
}

// Maps CP_ACP to the system code page; raises EConvertError for a code page
// that has no converter.
int ResolveCodePage(int codePage)
{
    if (codePage == CP_ACP)
        return kSystemAnsiCodePage;
    if (!IsCodePageSupported(codePage))
        throw EConvertError(QStringLiteral("Code page %1 is not supported").arg(codePage));
    return codePage;
}

QString Cp1252ToUnicode(const QByteArray& bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<uint8_t>(bytes[i]);
        out[i] = (b >= 0x80 && b <= 0x9F) ? QChar(kCp1252High[b - 0x80]) : QChar(char16_t(b));
    }
    return text;
}

QByteArray UnicodeToCp1252(const QString& text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            bytes.append(char(c));
            continue;
        }
        char mapped = '?';
        for (size_t k = 0; k < kCp1252High.size(); ++k) {
            if (kCp1252High[k] == c) {
                mapped = char(0x80 + k);
                break;
            }
        }
        // A surrogate pair is one character and becomes one '?'.
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        bytes.append(mapped);
    }
    return bytes;
}

// An iconv conversion descriptor that closes itself.
class TIconv {
public:
    TIconv(const char* to, const char* from) : FHandle(iconv_open(to, from))
    {
        if (FHandle == reinterpret_cast<iconv_t>(-1))
            throw EConvertError(QStringLiteral("No converter from %1 to %2")
                                    .arg(QString::fromLatin1(from), QString::fromLatin1(to)));
    }
    ~TIconv() { iconv_close(FHandle); }
    TIconv(const TIconv&) = delete;
    TIconv& operator=(const TIconv&) = delete;

    // Converts all of input to output. An input sequence the converter
    // cannot take is replaced by one replacement unit and skipped: skip(in,
    // left) tells how many input bytes make up that sequence.
    template <typename Skip>
    void Convert(const char* input, size_t inputSize, std::vector<char>& output, const char* replacement,
                 size_t replacementSize, Skip skip)
    {
        iconv(FHandle, nullptr, nullptr, nullptr, nullptr); // initial shift state
        output.assign(inputSize * 2 + 16, 0);
        size_t used = 0;
        char* in = const_cast<char*>(input); // iconv's signature; it does not write
        size_t inLeft = inputSize;
        while (inLeft > 0) {
            char* out = output.data() + used;
            size_t outLeft = output.size() - used;
            const size_t rc = iconv(FHandle, &in, &inLeft, &out, &outLeft);
            const int error = errno;
            used = size_t(out - output.data());
            if (rc != size_t(-1))
                continue;
            if (error == E2BIG) {
                output.resize(output.size() * 2);
                continue;
            }
            // EILSEQ (a sequence the converter cannot take) or EINVAL (an
            // incomplete sequence at the end): emit the replacement, skip the
            // sequence and start again from the initial state.
            if (error != EILSEQ && error != EINVAL)
                throw EConvertError(QStringLiteral("Text conversion failed"));
            // A converter that holds a character back (code page 1258 waits
            // for a combining mark) gives it up before the replacement.
            used = Flush(output, used);
            if (output.size() - used < replacementSize)
                output.resize(output.size() * 2 + replacementSize);
            for (size_t k = 0; k < replacementSize; ++k)
                output[used++] = replacement[k];
            const size_t n = error == EINVAL ? inLeft : std::clamp<size_t>(skip(in, inLeft), 1, inLeft);
            in += n;
            inLeft -= n;
        }
        used = Flush(output, used);
        output.resize(used);
    }

private:
    // Writes out what the converter holds back and returns it to its initial
    // state; returns the new number of output bytes used.
    size_t Flush(std::vector<char>& output, size_t used)
    {
        for (;;) {
            char* out = output.data() + used;
            size_t outLeft = output.size() - used;
            const size_t rc = iconv(FHandle, nullptr, nullptr, &out, &outLeft);
            const int error = errno;
            used = size_t(out - output.data());
            if (rc == size_t(-1) && error == E2BIG) {
                output.resize(output.size() * 2);
                continue;
            }
            if (rc == size_t(-1))
                iconv(FHandle, nullptr, nullptr, nullptr, nullptr);
            return used;
        }
    }

    iconv_t FHandle;
};

QString IconvToUnicode(const QByteArray& bytes, const char* name)
{
    TIconv converter("UTF-16LE", name);
    std::vector<char> output;
    const char16_t replacement = u'?';
    char replacementBytes[2] = {char(replacement & 0xFF), char(replacement >> 8)};
    // A byte the code page does not decode is skipped on its own, so that the
    // next byte may start a valid character again.
    converter.Convert(bytes.constData(), size_t(bytes.size()), output, replacementBytes, 2,
                      [](const char*, size_t) { return size_t(1); });
    QString text(qsizetype(output.size() / 2), Qt::Uninitialized);
    QChar* out = text.data();
    for (size_t i = 0; i + 1 < output.size(); i += 2)
        out[i / 2] = QChar(char16_t(uint8_t(output[i]) | (uint8_t(output[i + 1]) << 8)));
    return text;
}

QByteArray IconvFromUnicode(const QString& text, const char* name)
{
    TIconv converter(name, "UTF-16LE");
    std::vector<char> input(size_t(text.size()) * 2);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        input[size_t(i) * 2] = char(c & 0xFF);
        input[size_t(i) * 2 + 1] = char(c >> 8);
    }
    std::vector<char> output;
    // An unmappable character is skipped whole: two bytes, four for a
    // surrogate pair.
    const auto skip = [](const char* at, size_t left) -> size_t {
        if (left >= 4) {
            const char16_t first = char16_t(uint8_t(at[0]) | (uint8_t(at[1]) << 8));
            const char16_t second = char16_t(uint8_t(at[2]) | (uint8_t(at[3]) << 8));
            if (QChar::isHighSurrogate(first) && QChar::isLowSurrogate(second))
                return 4;
        }
        return 2;
    };
    converter.Convert(input.data(), input.size(), output, "?", 1, skip);
    return QByteArray(output.data(), qsizetype(output.size()));
}

} // namespace
