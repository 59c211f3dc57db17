#include "localization/KStrings.h"

#include "platform/rtl/NumberText.h"
#include "platform/rtl/StringList.h"

#include <gtest/gtest.h>

TEST(KStrings, Positions)
{
    struct Row {
        int no;
        const char* sub;
        const char* s;
        int start;
        int occurrence;
        int pos; // PosEx
    };
    // 1-based positions; 0 = not found.
    const Row rows[] = {
        {1, "b", "abcabc", 1, 1, 2},  {2, "b", "abcabc", 1, 2, 5},
        {3, "b", "abcabc", 3, 1, 5},  {4, "b", "abcabc", 1, 3, 0}, // fewer occurrences
        {5, "b", "abcabc", 7, 1, 0},                               // start beyond the text
        {6, "b", "abcabc", 0, 0, 2},                               // values below 1 count as 1
        {7, "", "abc", 1, 1, 0},      {8, "a", "", 1, 1, 0},
        {9, "aa", "aaaa", 1, 2, 3},   // occurrences do not overlap
        {10, "c", "abcabc", 6, 1, 6}, // start at the last place
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.no);
        EXPECT_EQ(PosEx(row.sub, row.s, row.start, row.occurrence), row.pos);
    }
    EXPECT_EQ(PosStr("lo", "hello"), 4);
    EXPECT_EQ(PosStr("LO", "hello"), 0);
    EXPECT_EQ(PosStr("x", ""), 0);
    EXPECT_EQ(PosText("LO", "hello"), 4);
    // Lower-casing keeps positions even where full case folding would not
    // (U+0130 lower-cases to two code units in full folding).
    EXPECT_EQ(PosText(QStringLiteral("x"), QStringLiteral("\u0130\u0130X")), 3);
    EXPECT_EQ(PosText(QStringLiteral("\u00C4b"), QStringLiteral("x\u00E4B")), 2);
}

TEST(KStrings, SplittingAndReplacing)
{
    EXPECT_EQ(TextBefore(" (", "Italian (Italy)"), "Italian");
    EXPECT_EQ(TextBefore("(", "  Serbian (Latin)"), "Serbian");
    EXPECT_EQ(TextBefore("(", " Bulgarian "), " Bulgarian "); // unchanged without the delimiter

    QString left = "L";
    QString right = "R";
    SplitAt(u'=', "name=value=x", left, right);
    EXPECT_EQ(left, "name");
    EXPECT_EQ(right, "value=x");
    SplitAt(u'=', "novalue", left, right);
    EXPECT_EQ(left, "novalue");
    EXPECT_EQ(right, "value=x"); // left as it was
    QString same = "a.b";
    SplitAt(u'.', same, same, right); // input and output may be the same string
    EXPECT_EQ(same, "a");
    EXPECT_EQ(right, "b");

    QString result = "> ";
    ReplaceAll("aXbXXc", "X", "XX", result); // replaced text is not rescanned
    EXPECT_EQ(result, "> aXXbXXXXc");
    result.clear();
    ReplaceAll("aaa", "aa", "b", result);
    EXPECT_EQ(result, "ba");
    result.clear();
    ReplaceAll("abc", "", "x", result);
    EXPECT_EQ(result, "abc");
}

TEST(KStrings, CharacterClassesAndTrimming)
{
    EXPECT_TRUE(IsSpaceChar(9) && IsSpaceChar(10) && IsSpaceChar(13) && IsSpaceChar(32));
    EXPECT_FALSE(IsSpaceChar(11) || IsSpaceChar(0) || IsSpaceChar(0xA0));
    EXPECT_EQ(TrimSpacesA("\t\r\n ab c \n"), "ab c");
    EXPECT_EQ(TrimSpacesA(" \t "), "");
    EXPECT_EQ(TrimSpacesA("\x0B"
                          "a"),
              "\x0B"
              "a"); // vertical tab is not a space here

    EXPECT_TRUE(IsNumber("0123456789"));
    EXPECT_FALSE(IsNumber(""));
    EXPECT_FALSE(IsNumber("-1"));
    EXPECT_FALSE(IsNumber("1 "));
    EXPECT_FALSE(IsNumber(QStringLiteral("\u0661"))); // Arabic-Indic one

    EXPECT_TRUE(HasLetterA("12a"));
    EXPECT_TRUE(HasLetterA("1\xE9"));
    EXPECT_FALSE(HasLetterA("12 .,!\x7F"));
    EXPECT_TRUE(HasLetter(QStringLiteral("1\u007F")));
    EXPECT_TRUE(HasLetter("Z"));
    EXPECT_FALSE(HasLetter("12 @[`{"));
}

TEST(KStrings, ForgivingAndHexConversions)
{
    SetDecimalSeparator(u'.');
    EXPECT_EQ(StrToIntSafe(" 42 "), 42);
    EXPECT_EQ(StrToIntSafe("   "), 0);
    EXPECT_EQ(StrToIntSafe("4x2"), 0);
    EXPECT_EQ(StrToIntSafe("-17"), -17);
    EXPECT_EQ(StrToIntSafe("99999999999"), 0);
    EXPECT_DOUBLE_EQ(StrToFloatSafe(" 2.5 "), 2.5);
    EXPECT_DOUBLE_EQ(StrToFloatSafe("2,5"), 0);
    SetDecimalSeparator(u',');
    EXPECT_DOUBLE_EQ(StrToFloatSafe("2.5"), 2.5); // language data ignores the locale
    EXPECT_DOUBLE_EQ(StrToFloatSafe("+1e-3"), 0.001);
    EXPECT_DOUBLE_EQ(StrToFloatSafe(""), 0);
    ResetNumberSeparators();

    EXPECT_EQ(HexToInt("1F"), 31);
    EXPECT_EQ(HexToInt("1f"), 31);
    EXPECT_EQ(HexToInt(""), 0);
    EXPECT_EQ(HexToInt("FFFFFFFF"), -1);
    EXPECT_EQ(HexToInt("123456789"), 0x23456789); // wraps at 32 bits
    EXPECT_EQ(HexDigitValue(u'a'), 10);
    EXPECT_EQ(HexDigitValue(u'F'), 15);
    try {
        HexDigitValue(u'g');
        FAIL() << "no error";
    } catch (const EKStringsError& e) {
        EXPECT_EQ(e.Message(), "g is not a hex digit");
    }
    EXPECT_THROW(HexToInt("1G"), EKStringsError);
}

TEST(KStrings, PathsNamesAndLists)
{
    struct Row {
        int no;
        const char* path;
        const char* name;
        const char* joined;
    };
    const Row rows[] = {
        {1, "/opt/tessvar/", "tessvar.ITA.lng", "/opt/tessvar/tessvar.ITA.lng"}, // no second separator
        {2, "", "tessvar.ITA.lng", "tessvar.ITA.lng"},
        {3, "lang", "", "lang"},
        {4, "lang", "x.lng", "lang/x.lng"},
        {5, "lang", "/x.lng", "lang/x.lng"},
        {6, "../..", "lang", "../../lang"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.no);
        EXPECT_EQ(IncludePath(row.path, row.name), row.joined);
    }

    EXPECT_EQ(JoinDotted("Form1", "Caption"), "Form1.Caption");
    EXPECT_EQ(JoinDotted("", "Caption"), "Caption");
    EXPECT_EQ(JoinDotted("Form1", ""), "Form1");
    EXPECT_EQ(JoinDotted("", ""), "");

    TStringList list;
    list.Add("Alpha");
    list.Add("beta");
    list.Add("BETA");
    EXPECT_EQ(IndexOfText(list, "Beta"), 1);
    EXPECT_EQ(IndexOfText(list, "gamma"), -1);

    EXPECT_TRUE(MatchTextInArray("caption", {"Hint", "CAPTION"}));
    EXPECT_TRUE(MatchTextInArray("\xC9t\xE9", {"\xE9T\xC9"})); // accented letters of code page 1252
    EXPECT_FALSE(MatchTextInArray("Caption", {}));
}

TEST(KStrings, Wildcards)
{
    struct Row {
        int no;
        const char* s;
        const char* mask;
        bool match;
    };
    const Row rows[] = {
        {1, "Form1.Caption", "Form?.*", true}, // form name with its last letter as "?", then ".*"
        {2, "ab", "a", false},                 // text longer than a mask without "*"
        {3, "abc", "a*?", false},              // "*" followed directly by a wildcard
        {4, "", "", true},
        {5, "anything", "*", true},
        {6, "", "*", true},
        {7, "a", "a?", true}, // a trailing "?" may match nothing
        {8, "a", "a?c", false},
        {9, "abc", "a?c", true},
        {10, "abxbc", "a*bc", true}, // second occurrence of the segment
        {11, "abxbd", "a*bc", false},
        {12, "Form1.Font.Name", "*.Font.*", true},
        {13, "x.Font.Name", "x*.Font.*", true},
        {14, "abc", "ABC", false}, // case-sensitive
        {15, "abcabd", "a*d", true},
        {16, "abcab", "a*b", true},
        {17, "aXbYc", "a*b*c", true},
        {18, "ab", "abc", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.no);
        EXPECT_EQ(WildcardMatch(row.s, row.mask), row.match);
    }
    EXPECT_TRUE(MatchesMask("FORM1.Caption", "form?.*", false));
    EXPECT_FALSE(MatchesMask("FORM1.Caption", "form?.*", true));
}
