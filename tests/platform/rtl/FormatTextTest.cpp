#include "platform/rtl/FormatText.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/NumberText.h"
#include "platform/rtl/StringRoutines.h"
#include "tests/support/FuzzLoop.h"

#include <QDir>
#include <QProcess>
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <functional>
#include <limits>
#include <stdexcept>
#include <string>

namespace {

// Expected texts in the rows below are glibc printf's output for the same
// format and argument in the C locale.
struct Row {
    int no;
    QString text;
    std::function<QString()> make;
};

void CheckRows(const std::vector<Row>& rows)
{
    for (const Row& r : rows)
        EXPECT_EQ(r.make(), r.text) << "row " << r.no;
}

TEST(FormatText, Integers)
{
    CheckRows({
        {1, "00042", [] { return Format("%05ld", 42L); }},
        {2, "42   |", [] { return Format("%-5d|", 42); }},
        {3, "  -42|", [] { return Format("%5d|", -42); }},
        {4, " 5", [] { return Format("% d", 5); }},
        {5, "+5", [] { return Format("% +d", 5); }},
        {6, "+0", [] { return Format("%+d", 0); }},
        {7, "-7", [] { return Format("%i", -7); }},
        {8, "ff", [] { return Format("%x", 255); }},
        {9, "FF", [] { return Format("%X", 255u); }},
        {10, "0xff", [] { return Format("%#x", 255); }},
        {11, "0", [] { return Format("%#X", 0); }},
        {12, "0000BEEF", [] { return Format("%08X", 0xBEEF); }},
        {13, "0x0000beef", [] { return Format("%#010x", 0xBEEF); }},
        {14, "005", [] { return Format("%.3d", 5); }},
        {15, "|", [] { return Format("%.0d|", 0); }},
        {16, "  007", [] { return Format("%05.3d", 7); }}, // a precision turns '0' off
        {17, "4294967295", [] { return Format("%u", -1); }},
        {18, "18446744073709551615", [] { return Format("%lu", -1L); }},
        {19, "ffffffff", [] { return Format("%x", -1); }},
        {20, "ffffffffffffffff", [] { return Format("%lx", -1L); }},
        {21, "ffff", [] { return Format("%hx", -1); }},
        {22, "-9223372036854775808", [] { return Format("%lld", std::numeric_limits<long long>::min()); }},
        {23, "18446744073709551615",
         [] { return Format("%llu", std::numeric_limits<unsigned long long>::max()); }},
        {24, "    1|", [] { return Format("%*d|", 5, 1); }},
        {25, "1    |", [] { return Format("%-*d|", 5, 1); }},
        {26, "1    |", [] { return Format("%*d|", -5, 1); }}, // negative width: left justified
        {27, "1", [] { return Format("%d", true); }},
    });
}

TEST(FormatText, Floats)
{
    CheckRows({
        {1, "+0.500000", [] { return Format("%+lf", 0.5); }},
        {2, "0.0001", [] { return Format("%g", 0.0001); }},
        {3, "1e-05", [] { return Format("%g", 1e-5); }},
        {4, "1.23457e+08", [] { return Format("%lg", 123456789.0); }},
        {5, "100000", [] { return Format("%g", 100000.0); }},
        {6, "1e+06", [] { return Format("%g", 1000000.0); }},
        {7, "0", [] { return Format("%g", 0.0); }},
        {8, "1.00000", [] { return Format("%#g", 1.0); }},
        {9, "0.000100000", [] { return Format("%#g", 0.0001); }},
        {10, "1.00e+10", [] { return Format("%#.3g", 1e10); }},
        {11, "1E-10", [] { return Format("%G", 1e-10); }},
        {12, "1.235e+04", [] { return Format("%.3e", 12345.678); }},
        {13, "0.000000E+00", [] { return Format("%E", 0.0); }},
        {14, "5.e+00", [] { return Format("%#.0e", 5.0); }},
        {15, "5.", [] { return Format("%#.0f", 5.0); }},
        {16, "2", [] { return Format("%.0f", 2.5); }}, // exact ties go to even
        {17, "4", [] { return Format("%.0f", 3.5); }},
        {18, "1.00", [] { return Format("%.2f", 1.005); }},
        {19, "-00003.142", [] { return Format("%010.3f", -3.14159); }},
        {20, "3.142     |", [] { return Format("%-10.3f|", 3.14159); }},
        {21, "3.14", [] { return Format("%.*f", 2, 3.14159); }},
        {22, "3.141590", [] { return Format("%.*f", -1, 3.14159); }}, // negative precision: none
        {23, "-0.000000", [] { return Format("%f", -0.0); }},
        {24, "inf", [] { return Format("%f", std::numeric_limits<double>::infinity()); }},
        {25, " -inf", [] { return Format("%05f", -std::numeric_limits<double>::infinity()); }},
        {26, "NAN", [] { return Format("%F", std::numeric_limits<double>::quiet_NaN()); }},
        {27, "1.000000e+300", [] { return Format("%e", 1e300); }},
        {28, "0.10000000000000001", [] { return Format("%.17g", 0.1); }},
        {29, "1e+100", [] { return Format("%g", 1e100); }},
        {30, "0.0000000001", [] { return Format("%.10f", 1e-10); }},
        {31, "100000000000000000000.000000", [] { return Format("%f", 1e20); }},
        {32, "-0.0e+00", [] { return Format("%+.1e", -0.0); }},
        {33, "2.500000", [] { return Format("%f", 2.5f); }},
    });
}

TEST(FormatText, TextCharactersAndPercent)
{
    CheckRows({
        {1, "   ab|", [] { return Format("%5s|", QString("ab")); }},
        {2, "ab   |", [] { return Format("%-5s|", "ab"); }},
        {3, "a|", [] { return Format("%.1s|", QString("ab")); }},
        {4, "  x|", [] { return Format("%3c|", 'x'); }},
        {5, "x  |", [] { return Format("%-3c|", QChar(u'x')); }},
        {6, "A", [] { return Format("%c", 65); }},
        {7, "100%", [] { return Format("%d%%", 100); }},
        {8, QString::fromUtf8("Größe 12 mm"),
         [] { return Format("%s %d %s", QString::fromUtf8("Größe"), 12, "mm"); }},
        {9, "no arguments", [] { return Format("no arguments"); }},
        {10, "1 2", [] { return Format("%d %d", 1, 2, 3); }}, // unused arguments are ignored
    });
}

TEST(FormatText, DecimalPointIgnoresDecimalSeparator)
{
    SetDecimalSeparator(u',');
    EXPECT_EQ(Format("%+lf", 0.5), "+0.500000");
    EXPECT_EQ(Format("%g|%e", 1.5, 1.5), "1.5|1.500000e+00");
    ResetNumberSeparators();
}

TEST(FormatText, DecimalPointIgnoresTheCLocale)
{
    const char* commaLocales[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "de_DE"};
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    const char* found = nullptr;
    for (const char* name : commaLocales) {
        if (std::setlocale(LC_NUMERIC, name)) {
            found = name;
            break;
        }
    }
    if (!found) {
        // No comma locale is installed: compile one into the sandbox with the
        // system's localedef and point glibc at it.
        const QString dir = QDir::tempPath() + "/locales";
        QDir().mkpath(dir);
        const int rc = QProcess::execute("localedef", {"-i", "de_DE", "-f", "UTF-8", dir + "/de_DE.UTF-8"});
        qputenv("LOCPATH", dir.toLocal8Bit());
        if (rc <= 1 && std::setlocale(LC_NUMERIC, "de_DE.UTF-8"))
            found = "de_DE.UTF-8 (compiled)";
    }
    if (!found)
        GTEST_SKIP() << "no locale with a decimal comma is installed or can be compiled";
    const QString text = Format("%+lf", 0.5);
    const QString general = FloatToStr(0.25);
    std::setlocale(LC_NUMERIC, previous.c_str());
    EXPECT_EQ(text, "+0.500000") << found;
    EXPECT_EQ(general, QString("0") + DecimalSeparator() + "25") << found;
}

TEST(FormatText, BadFormatsAndArguments)
{
    // Every row must raise the conversion error naming the whole format.
    struct Bad {
        int no;
        QString format;
        std::function<QString()> call;
    };
    const std::vector<Bad> rows = {
        {1, "%d", [] { return Format("%d"); }}, // missing argument
        {2, "%d %d", [] { return Format("%d %d", 1); }},
        {3, "%d", [] { return Format("%d", 1.5); }}, // mistyped arguments
        {4, "%f", [] { return Format("%f", 1); }},
        {5, "%s", [] { return Format("%s", 1); }},
        {6, "%c", [] { return Format("%c", "x"); }},
        {7, "%c", [] { return Format("%c", -1); }},
        {8, "%x", [] { return Format("%x", QString("1")); }},
        {9, "abc %", [] { return Format("abc %", 1); }}, // unfinished
        {10, "%5", [] { return Format("%5", 1); }},
        {11, "%ll", [] { return Format("%ll", 1); }},
        {12, "%q", [] { return Format("%q", 1); }}, // unknown conversions
        {13, "%n", [] { return Format("%n", 1); }},
        {14, "%5%", [] { return Format("%5%"); }},
        {15, "%*d", [] { return Format("%*d", 1.5, 1); }}, // star needs an integer
        {16, "%*d", [] { return Format("%*d", 5); }},
        {17, "%99999d", [] { return Format("%99999d", 1); }}, // absurd widths are refused
        {18, "%.99999f", [] { return Format("%.99999f", 1.0); }},
        {19, "%*d", [] { return Format("%*d", 1 << 30, 1); }},
    };
    for (const Bad& r : rows) {
        try {
            r.call();
            ADD_FAILURE() << "row " << r.no << " raised nothing";
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), QString("Format '%1' invalid or incompatible with argument").arg(r.format))
                << "row " << r.no;
        }
    }
}

// Format strings and number text can come from language and ini files: no
// text may crash a reader or a formatter, and bad text fails as
// EConvertError only.
TEST(FormatText, FuzzedFormatsAndNumberText)
{
    const std::vector<QByteArray> seeds = {"%+lf|%05ld|%-*.*s|%#x|%c|%%",
                                           "%#.3g %e %10.4E %u %X",
                                           "#,##0.00;(#,##0.00);'zero'",
                                           "0.###E+0000\"x\"",
                                           "-1.5e-3",
                                           "$7FFFFFFF",
                                           "922337203685477.5807"};
    const FuzzStats stats = RunFuzzLoop(
        [](const QByteArray& bytes) {
            const QString text = QString::fromUtf8(bytes);
            double f = 0;
            if (TryStrToFloat(text, f) && !std::isfinite(f))
                throw std::runtime_error("a parsed float is not finite");
            int64_t i = 0;
            TryStrToInt64(text, i);
            Currency c;
            if (TryStrToCurr(text, c) && StrToCurr(CurrToStr(c)) != c)
                throw std::runtime_error("currency text does not round-trip");
            FormatFloat(text, -1234.5678);
            FormatFloat(text, 1e-300);
            Format(text, 42, 1.5, 7, 3, QString("s"), 'c', -1L, 2.5e300);
        },
        seeds);
    EXPECT_GT(stats.runs, 100);
}

TEST(StringRoutines, TrimAndAsciiCase)
{
    const QString padded = QString("\t\r\n ab c") + QChar(0) + " \x1f";
    EXPECT_EQ(Trim(padded), "ab c");
    EXPECT_EQ(TrimLeft(padded), QString("ab c") + QChar(0) + " \x1f");
    EXPECT_EQ(TrimRight(padded), "\t\r\n ab c");
    EXPECT_EQ(Trim(QString::fromUtf8("\u00a0x\u00a0")), QString::fromUtf8("\u00a0x\u00a0")); // only <= ' '
    EXPECT_EQ(Trim("   "), "");

    EXPECT_EQ(UpperCase(QString::fromUtf8("abz_é")), QString::fromUtf8("ABZ_é"));
    EXPECT_EQ(LowerCase(QString::fromUtf8("ABZ_É")), QString::fromUtf8("abz_É"));
    EXPECT_EQ(AnsiUpperCase(QString::fromUtf8("abé")), QString::fromUtf8("ABÉ"));
    EXPECT_EQ(AnsiLowerCase(QString::fromUtf8("ABÉ")), QString::fromUtf8("abé"));
}

TEST(StringRoutines, Comparisons)
{
    EXPECT_EQ(CompareText("abc", "ABC"), 0);
    EXPECT_LT(CompareText("abc", "abd"), 0);
    EXPECT_LT(CompareText("ab", "ABC"), 0);
    EXPECT_GT(CompareText("b", "A"), 0);
    // Folding goes to upper case: '_' (0x5F) sorts after every letter.
    EXPECT_GT(CompareText("_", "a"), 0);
    EXPECT_NE(CompareText(QString::fromUtf8("é"), QString::fromUtf8("É")), 0);
    EXPECT_TRUE(SameText("Thread", "THREAD"));
    EXPECT_FALSE(SameText(QString::fromUtf8("é"), QString::fromUtf8("É")));

    EXPECT_LT(CompareStr("ABC", "abc"), 0); // code units: upper case first
    EXPECT_EQ(CompareStr("abc", "abc"), 0);
    EXPECT_GT(CompareStr("abcd", "abc"), 0);

    EXPECT_TRUE(AnsiSameText(QString::fromUtf8("Äbc"), QString::fromUtf8("äBC")));
    EXPECT_FALSE(AnsiSameText("abc", "abd"));
    EXPECT_LT(AnsiCompareText("abc", "ABD"), 0);
    EXPECT_EQ(AnsiCompareStr("abc", "abc"), 0);
    EXPECT_NE(AnsiCompareStr("abc", "ABC"), 0);
    EXPECT_LT(AnsiCompareStr("abc", "abd"), 0);
}

TEST(StringRoutines, QuotedStrings)
{
    struct QuoteRow {
        int no;
        QString plain;
        QString quoted;
    };
    const QuoteRow rows[] = {
        {1, "abc", "'abc'"},
        {2, "it's", "'it''s'"},
        {3, "", "''"},
        {4, "''", "''''''"},
    };
    for (const QuoteRow& r : rows) {
        EXPECT_EQ(AnsiQuotedStr(r.plain, u'\''), r.quoted) << "row " << r.no;
        EXPECT_EQ(AnsiDequotedStr(r.quoted, u'\''), r.plain) << "row " << r.no;
    }
    EXPECT_EQ(AnsiQuotedStr("say \"hi\"", u'"'), "\"say \"\"hi\"\"\"");

    EXPECT_EQ(AnsiDequotedStr("abc", u'\''), "abc");   // not quoted: unchanged
    EXPECT_EQ(AnsiDequotedStr("'abc", u'\''), "'abc"); // never closed: unchanged
    EXPECT_EQ(AnsiDequotedStr("'ab'cd", u'\''), "ab"); // text after the close is dropped
    EXPECT_EQ(AnsiDequotedStr("", u'\''), "");
    EXPECT_EQ(AnsiDequotedStr("'", u'\''), "");
}

// Bytes of a damaged file quoted in a message: nothing invisible and no NUL
// reaches the message; letters of any script and pairs stay as they are.
TEST(StringRoutines, VisibleTextShowsWhatCannotBeSeen)
{
    const QChar nul(0);
    EXPECT_EQ(VisibleText(QStringLiteral("Page") + nul + QStringLiteral("1")), "Page\\x001");
    EXPECT_EQ(VisibleText(QStringLiteral("a\tb\x1F\x7F")), "a\\x09b\\x1F\\x7F");
    EXPECT_EQ(VisibleText(QString(QChar(0x85)) + QChar(0xFFFF) + QChar(0x7FFF)),
              QString("\\x85\\uFFFF") + QChar(0x7FFF));
    EXPECT_EQ(VisibleText(QString(QChar(0xD800)) + "x"), "\\uD800x"); // a lone surrogate
    const QString kept = QString::fromUtf8("Gr\xC3\xB6\xC3\x9F"
                                           "e \xF0\x9F\x94\xA7 \xD0\x9A");
    EXPECT_EQ(VisibleText(kept), kept);
    EXPECT_FALSE(VisibleText(QString(8, nul)).toUtf8().contains('\0'));
}

} // namespace
