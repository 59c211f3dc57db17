#include "platform/rtl/StringRoutines.h"

#include <QCollator>
#include <QLocale>

#include <algorithm>

namespace {

char16_t AsciiUpper(char16_t c);
int Sign(int value);
int Collate(const QString& a, const QString& b, Qt::CaseSensitivity cs);

} // namespace

QString Trim(const QString& s)
{
    return TrimRight(TrimLeft(s));
}

QString TrimLeft(const QString& s)
{
    qsizetype i = 0;
    while (i < s.size() && s[i].unicode() <= u' ')
        ++i;
    return s.mid(i);
}

QString TrimRight(const QString& s)
{
    qsizetype n = s.size();
    while (n > 0 && s[n - 1].unicode() <= u' ')
        --n;
    return s.left(n);
}

QString UpperCase(const QString& s)
{
    QString result = s;
    for (QChar& c : result)
        c = QChar(AsciiUpper(c.unicode()));
    return result;
}

QString LowerCase(const QString& s)
{
    QString result = s;
    for (QChar& c : result) {
        if (c.unicode() >= u'A' && c.unicode() <= u'Z')
            c = QChar(char16_t(c.unicode() + (u'a' - u'A')));
    }
    return result;
}

QString AnsiUpperCase(const QString& s)
{
    return s.toUpper();
}

QString AnsiLowerCase(const QString& s)
{
    return s.toLower();
}

// Folds to upper case, as the runtime does, so '_' sorts after the letters.
int CompareText(const QString& a, const QString& b)
{
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const int diff = int(AsciiUpper(a[i].unicode())) - int(AsciiUpper(b[i].unicode()));
        if (diff != 0)
            return diff;
    }
    return int(a.size() - b.size());
}

int CompareStr(const QString& a, const QString& b)
{
    return Sign(a.compare(b, Qt::CaseSensitive));
}

bool SameText(const QString& a, const QString& b)
{
    // Only ASCII letters are folded, so texts of other lengths never match.
    return a.size() == b.size() && CompareText(a, b) == 0;
}

int AnsiCompareText(const QString& a, const QString& b)
{
    return Collate(a, b, Qt::CaseInsensitive);
}

int AnsiCompareStr(const QString& a, const QString& b)
{
    return Collate(a, b, Qt::CaseSensitive);
}

bool AnsiSameText(const QString& a, const QString& b)
{
    return AnsiCompareText(a, b) == 0;
}

QString AnsiQuotedStr(const QString& s, QChar quote)
{
    QString result = s;
    result.replace(quote, QString(2, quote));
    return quote + result + quote;
}

// Reads the quoted text up to its closing quote. When the text is not
// enclosed in quotes and nothing sensible was read (no closing quote, or
// nothing inside), the text is returned as it stands.
QString AnsiDequotedStr(const QString& s, QChar quote)
{
    if (s.isEmpty() || s[0] != quote)
        return s;
    QString result;
    qsizetype i = 1;
    const qsizetype n = s.size();
    while (i < n) {
        if (s[i] == quote) {
            if (i + 1 < n && s[i + 1] == quote) {
                result += quote;
                i += 2;
                continue;
            }
            ++i;
            break;
        }
        result += s[i];
        ++i;
    }
    if ((result.isEmpty() || i >= n) && s[n - 1] != quote)
        return s;
    return result;
}

namespace {

char16_t AsciiUpper(char16_t c)
{
    return c >= u'a' && c <= u'z' ? char16_t(c - (u'a' - u'A')) : c;
}

int Sign(int value)
{
    return (value > 0) - (value < 0);
}

int Collate(const QString& a, const QString& b, Qt::CaseSensitivity cs)
{
    // The user's locale does not change while the program runs; building a
    // collator is the expensive part of a comparison.
    static QCollator sensitive = [] {
        QCollator c(QLocale::system());
        c.setCaseSensitivity(Qt::CaseSensitive);
        return c;
    }();
    static QCollator insensitive = [] {
        QCollator c(QLocale::system());
        c.setCaseSensitivity(Qt::CaseInsensitive);
        return c;
    }();
    return Sign((cs == Qt::CaseSensitive ? sensitive : insensitive).compare(a, b));
}

} // namespace

QString VisibleText(const QString& s)
{
    const auto code = [](const char* prefix, uint value, int width) {
        return QLatin1String(prefix) +
               QString::number(value, 16).toUpper().rightJustified(width, QLatin1Char('0'));
    };
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        const char16_t c = s.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < s.size() && QChar::isLowSurrogate(s.at(i + 1).unicode())) {
            out += s.mid(i++, 2);
        } else if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {
            out += code("\\x", c, 2);
        } else if (QChar::isSurrogate(c) || c == 0xFFFE || c == 0xFFFF) {
            out += code("\\u", c, 4);
        } else {
            out += QChar(c);
        }
    }
    return out;
}
