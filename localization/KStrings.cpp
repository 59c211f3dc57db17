#include "localization/KStrings.h"

#include <charconv>

#include "platform/rtl/CodePages.h"
#include "platform/rtl/NumberText.h"
#include "platform/rtl/StringList.h"
#include "platform/rtl/StringRoutines.h"

#include <utility>

namespace {

QString LowerEachUnit(const QString& s);
bool MatchFrom(const QString& s, qsizetype si, const QString& mask, qsizetype mi);
bool IsWildcard(QChar ch);

} // namespace

int PosStr(const QString& subStr, const QString& s)
{
    if (subStr.isEmpty() || s.isEmpty())
        return 0;
    return int(s.indexOf(subStr)) + 1;
}

int PosText(const QString& subStr, const QString& s)
{
    return PosStr(LowerEachUnit(subStr), LowerEachUnit(s));
}

int PosEx(const QString& subStr, const QString& s, int startPos, int occurrence)
{
    if (startPos < 1)
        startPos = 1;
    if (occurrence < 1)
        occurrence = 1;
    if (subStr.isEmpty() || s.isEmpty() || startPos > s.size())
        return 0;
    qsizetype from = startPos - 1;
    for (;;) {
        const qsizetype found = s.indexOf(subStr, from);
        if (found < 0)
            return 0;
        if (--occurrence == 0)
            return int(found) + 1;
        from = found + subStr.size();
    }
}

QString TextBefore(const QString& delim, const QString& s)
{
    const qsizetype at = delim.isEmpty() ? -1 : s.indexOf(delim);
    if (at < 0)
        return s;
    return Trim(s.left(at));
}

void SplitAt(QChar delim, const QString& s, QString& left, QString& right)
{
    const qsizetype at = s.indexOf(delim);
    if (at < 0) {
        left = s;
        return;
    }
    // Both parts are taken before either output is set: s may be one of them.
    QString before = s.left(at);
    QString after = s.mid(at + 1);
    left = std::move(before);
    right = std::move(after);
}

void ReplaceAll(const QString& s, const QString& oldText, const QString& newText, QString& result)
{
    if (oldText.isEmpty()) {
        result += s;
        return;
    }
    QString out;
    qsizetype from = 0;
    for (;;) {
        const qsizetype found = s.indexOf(oldText, from);
        if (found < 0)
            break;
        out += QStringView(s).mid(from, found - from);
        out += newText;
        from = found + oldText.size();
    }
    out += QStringView(s).mid(from);
    result += out;
}

bool IsSpaceChar(char16_t ch)
{
    return ch == 9 || ch == 10 || ch == 13 || ch == 32;
}

QByteArray TrimSpacesA(const QByteArray& s)
{
    qsizetype first = 0;
    qsizetype last = s.size();
    while (first < last && IsSpaceChar(static_cast<unsigned char>(s[first])))
        ++first;
    while (last > first && IsSpaceChar(static_cast<unsigned char>(s[last - 1])))
        --last;
    return s.mid(first, last - first);
}

bool IsNumber(const QString& s)
{
    if (s.isEmpty())
        return false;
    for (QChar ch : s)
        if (ch < u'0' || ch > u'9')
            return false;
    return true;
}

bool HasLetterA(const QByteArray& s)
{
    for (char c : s) {
        const auto b = static_cast<unsigned char>(c);
        if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || b > 127)
            return true;
    }
    return false;
}

bool HasLetter(const QString& s)
{
    for (QChar ch : s) {
        const char16_t c = ch.unicode();
        if ((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c >= 127)
            return true;
    }
    return false;
}

int StrToIntSafe(const QString& s)
{
    int value = 0;
    const QString trimmed = Trim(s);
    if (trimmed.isEmpty() || !TryStrToInt(trimmed, value))
        return 0;
    return value;
}

double StrToFloatSafe(const QString& s)
{
    // Language data must read the same under every locale: "." only, the
    // shortest round-trip form that the writers use.
    QString trimmed = Trim(s);
    if (trimmed.startsWith(u'+'))
        trimmed.remove(0, 1);
    if (trimmed.isEmpty())
        return 0;
    for (QChar c : trimmed)
        if (c.unicode() > 0x7F)
            return 0;
    const QByteArray latin = trimmed.toLatin1();
    double value = 0;
    const auto result = std::from_chars(latin.constData(), latin.constData() + latin.size(), value);
    if (result.ec != std::errc() || result.ptr != latin.constData() + latin.size())
        return 0;
    return value;
}

int HexDigitValue(QChar ch)
{
    const char16_t c = ch.unicode();
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    throw EKStringsError(QString(ch) + QStringLiteral(" is not a hex digit"));
}

int32_t HexToInt(const QString& s)
{
    uint32_t value = 0;
    uint32_t place = 1;
    for (qsizetype i = s.size() - 1; i >= 0; --i) {
        value += uint32_t(HexDigitValue(s[i])) * place;
        place *= 16; // wraps to 0 after eight digits, as the 32-bit sum does
    }
    return static_cast<int32_t>(value);
}

QString IncludePath(const QString& path, const QString& name)
{
    if (path.isEmpty() || name.isEmpty() || path.endsWith(u'/') || name.startsWith(u'/'))
        return path + name;
    return path + u'/' + name;
}

QString JoinDotted(const QString& a, const QString& b)
{
    if (a.isEmpty())
        return b;
    if (b.isEmpty())
        return a;
    return a + u'.' + b;
}

int IndexOfText(const TStringList& strings, const QString& s)
{
    for (int i = 0; i < strings.Count(); ++i)
        if (SameText(strings.Strings(i), s))
            return i;
    return -1;
}

bool MatchTextInArray(const QByteArray& s, const std::vector<QByteArray>& items)
{
    const QString text = AnsiToUnicode(s);
    for (const QByteArray& item : items)
        if (AnsiSameText(text, AnsiToUnicode(item)))
            return true;
    return false;
}

bool WildcardMatch(const QString& s, const QString& mask)
{
    return MatchFrom(s, 0, mask, 0);
}

bool MatchesMask(const QString& s, const QString& mask, bool caseSensitive)
{
    if (caseSensitive)
        return WildcardMatch(s, mask);
    return WildcardMatch(LowerEachUnit(s), LowerEachUnit(mask));
}

namespace {

bool IsWildcard(QChar ch)
{
    return ch == u'*' || ch == u'?';
}

QString LowerEachUnit(const QString& s)
{
    QString out = s;
    for (QChar& ch : out)
        ch = ch.toLower();
    return out;
}

// Matches s from si against mask from mi. A "?" passes over one place of
// both texts even past the end of s; this is what lets a trailing "?" match
// nothing.
bool MatchFrom(const QString& s, qsizetype si, const QString& mask, qsizetype mi)
{
    while (mi < mask.size() && mask[mi] != u'*') {
        if (mask[mi] != u'?' && (si >= s.size() || s[si] != mask[mi]))
            return false;
        ++mi;
        ++si;
    }
    if (mi == mask.size())
        return s.size() <= si; // the text is not longer than the mask

    // At a "*": the literal segment after it is searched occurrence by
    // occurrence, and the rest matched recursively behind each one.
    if (mi + 1 == mask.size())
        return true;
    qsizetype segEnd = mi + 1;
    while (segEnd < mask.size() && !IsWildcard(mask[segEnd]))
        ++segEnd;
    const QStringView segment = QStringView(mask).mid(mi + 1, segEnd - mi - 1);
    if (segment.isEmpty() || si > s.size())
        return false;
    for (qsizetype found = s.indexOf(segment, si); found >= 0; found = s.indexOf(segment, found + 1))
        if (MatchFrom(s, found + segment.size(), mask, segEnd))
            return true;
    return false;
}

} // namespace
