#include "localization/KLocales.h"

#include <QLocale>
#include <QSet>
#include <gtest/gtest.h>

// Telling rows of the locale table and of the Windows locale record
// ([MS-LCID] for the IDs; Windows NLS for abbreviations and code pages).
TEST(KLocales, NamesExtensionsAndCodePages)
{
    struct Row {
        int no;
        uint32_t locale;
        const char* englishName;
        const char* ext;
        int codePage;
        int charset;
    };
    const Row rows[] = {
        {1, 0x0401, "Arabic (Saudi Arabia)", "ARA", 1256, 178},
        {2, 0x0402, "Bulgarian", "BGR", 1251, 204},
        {3, 0x0407, "German (Germany)", "DEU", 1252, 0},
        {4, 0x0409, "English (United States)", "ENU", 1252, 0},
        {5, 0x040A, "Spanish (Traditional Sort)", "ESP", 1252, 0},
        {6, 0x0410, "Italian (Italy)", "ITA", 1252, 0},
        {7, 0x0422, "Ukrainian", "UKR", 1251, 204},
        {8, 0x042F, "Macedonian (FYROM)", "MKI", 1251, 204},
        {9, 0x0809, "English (United Kingdom)", "ENG", 1252, 0},
        {10, 0x080A, "Spanish (Mexico)", "ESM", 1252, 0},
        {11, 0x0810, "Italian (Switzerland)", "ITS", 1252, 0},
        {12, 0x0816, "Portuguese (Portugal)", "PTG", 1252, 0},
        {13, 0x040D, "Hebrew", "HEB", 1255, 177},
        {14, 0x0411, "Japanese", "JPN", 932, 128},
        {15, 0x0804, "Chinese (PRC)", "CHS", 936, 134},
        {16, 0x0439, "Hindi", "HIN", 0, 1},                    // Unicode-only: no Ansi code page
        {17, 0x500A, "Spanish (Puerto Rico)", "ESU", 1252, 0}, // the last row
        // Primary-only IDs: the language's English name, two letters.
        {18, 0x0002, "Bulgarian", "BG", 1251, 204},
        {19, 0x0010, "Italian", "IT", 1252, 0},
        {20, 0x001A, "Croatian", "HR", 1250, 238},
        {21, 0x0004, "Chinese", "CH", 950, 136},
        // Unknown to the system: no information; the system's code page.
        {22, 0x0417, "", "", 1252, 0},
        {23, 0x03FF, "", "", 1252, 0},
        {24, 0, "", "", 1252, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.no);
        EXPECT_EQ(LocaleEnglishName(row.locale), row.englishName);
        EXPECT_EQ(LocaleToExt(row.locale), row.ext);
        EXPECT_EQ(LocaleCodePage(row.locale), row.codePage);
        EXPECT_EQ(CharsetOfLocale(row.locale), row.charset);
    }
    EXPECT_EQ(GetLocaleString(0x0C1A, LOCALE_SENGLANGUAGE), "Serbian");
    EXPECT_EQ(GetLocaleString(0x0C1A, LOCALE_SLANGUAGE), "Serbian (Cyrillic)");
    EXPECT_EQ(GetLocaleString(0x0439, LOCALE_IDEFAULTANSICODEPAGE), "0");
    try {
        GetLocaleString(0x0409, 0x0005);
        FAIL() << "no error";
    } catch (const ELocalesError& e) {
        EXPECT_EQ(e.Message(), "Can not get locale info");
    }
}

// Checks of the whole table that catch a mistyped row.
TEST(KLocales, TableIsConsistent)
{
    const auto& all = GetLocaleList(1);
    ASSERT_EQ(all.size(), 135u);
    EXPECT_EQ(all.front().Locale, 0x0401u);
    EXPECT_EQ(all.back().Locale, 0x500Au);
    QSet<uint32_t> ids;
    QSet<QString> exts;
    uint32_t previousSublanguage = 0;
    for (const TLocaleListEntry& e : all) {
        SCOPED_TRACE(e.Name.toStdString());
        ids.insert(e.Locale);
        const QString ext = LocaleToExt(e.Locale);
        exts.insert(ext);
        EXPECT_EQ(ext.size(), 3);
        EXPECT_EQ(ext, ext.toUpper());
        EXPECT_EQ(LocaleEnglishName(e.Locale), e.Name);
        // Sublanguage 1 first, then 2, 3 and on.
        EXPECT_GE(e.Locale >> 10, previousSublanguage);
        previousSublanguage = e.Locale >> 10;
        // Every locale with an Ansi code page has a character set for it.
        if (LocaleCodePage(e.Locale) != 0) {
            EXPECT_NE(CharsetOfLocale(e.Locale), 1);
        }
        // Every language's first locale is its sublanguage-1 locale.
        EXPECT_EQ(LocaleToExt(PrimaryLangID(e.Locale)).size(), 2);
    }
    EXPECT_EQ(ids.size(), 135);
    EXPECT_EQ(exts.size(), 135);
}

TEST(KLocales, ListModesAndExtensions)
{
    // Mode 2 inserts the language before its first locale when it has several.
    const auto& withLanguages = GetLocaleList(2);
    ASSERT_GE(withLanguages.size(), 3u);
    EXPECT_EQ(withLanguages[0].Name, "Arabic");
    EXPECT_EQ(withLanguages[0].Locale, 0x01u);
    EXPECT_EQ(withLanguages[1].Locale, 0x0401u);
    EXPECT_EQ(withLanguages[2].Locale, 0x0402u); // Bulgarian alone: nothing inserted

    // Mode 0 folds each language with several locales into its first entry.
    const auto& folded = GetLocaleList(0);
    EXPECT_EQ(folded[0].Name, "Arabic");
    EXPECT_EQ(folded[0].Locale, 0x01u);
    EXPECT_EQ(folded[1].Name, "Bulgarian");
    EXPECT_EQ(folded[1].Locale, 0x0402u);
    int languages = 0;
    for (const auto& e : folded) {
        EXPECT_NE(e.Locale, 0x0C1Au); // Serbian folds into the Croatian/Serbian language 0x1A
        ++languages;
    }
    EXPECT_EQ(languages, 66);
    EXPECT_EQ(withLanguages.size(), 135u + 15u); // 15 languages have several locales

    EXPECT_THROW(GetLocaleList(3), ELocalesError);

    struct Row {
        int no;
        const char* ext;
        int mode;
        uint32_t locale;
    };
    const Row rows[] = {
        {1, "ITA", 2, 0x0410}, {2, "IT", 2, 0x0010}, // the inserted language entry
        {3, "ita", 2, 0x0410}, {4, "BG", 2, 0},      // a language with one locale gets no language entry
        {5, "BGR", 2, 0x0402}, {6, "XYZ", 2, 0},       {7, "", 2, 0},
        {8, "BG", 0, 0x0402}, // mode 0 compares two letters
        {9, "IT", 0, 0x0010},  {10, "ITA", 0, 0},      {11, "ITS", 1, 0x0810},
        {12, "IT", 1, 0},      {13, "SRB", 2, 0x0C1A}, {14, "HR", 2, 0x001A},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.no);
        EXPECT_EQ(LocaleFromExt(row.ext, row.mode), row.locale);
    }
    EXPECT_EQ(ExtToLocale("IT"), 0x10u);
    EXPECT_EQ(ExtToLocale("ENU"), 0x0409u);
}

TEST(KLocales, CharsetsAndRightToLeft)
{
    EXPECT_EQ(CodePageToCharset(437), 1); // not mapped
    EXPECT_EQ(CodePageToCharset(0), 1);
    EXPECT_EQ(CodePageToCharset(1255), 177);
    EXPECT_EQ(CodePageToCharset(1256), 178);
    EXPECT_EQ(CodePageToCharset(874), 222);

    // Right to left: the code pages 1255 and 1256 hold such letters.
    for (uint32_t locale : {0x040Du, 0x0401u, 0x0429u, 0x0420u, 0x3801u, 0x000Du})
        EXPECT_TRUE(IsRightToLeftLocale(locale)) << std::hex << locale;
    // Syriac and Divehi have no Ansi code page, so no Ansi character says so.
    for (uint32_t locale : {0x0409u, 0x0419u, 0x0411u, 0x041Eu, 0x045Au, 0x0465u, 0x0417u})
        EXPECT_FALSE(IsRightToLeftLocale(locale)) << std::hex << locale;
}

TEST(KLocales, AnsiConversions)
{
    EXPECT_EQ(AnsiToWideCP("\xE9", 1252), QStringLiteral("\u00E9"));
    EXPECT_EQ(AnsiToWideCP("\xE9", 1251), QStringLiteral("\u0439"));
    EXPECT_EQ(AnsiToWideCP("\xC3\xA9", 65001), QStringLiteral("\u00E9"));
    EXPECT_EQ(AnsiToWideCP("\xE9", 0), QStringLiteral("\u00E9"));     // the system code page
    EXPECT_EQ(AnsiToWideCP("\xE9", 12345), QStringLiteral("\u00E9")); // unknown: the system code page
    EXPECT_EQ(WideToAnsiCP(QStringLiteral("\u00E9"), 65001), "\xC3\xA9");
    EXPECT_EQ(WideToAnsiCP(QStringLiteral("\u20AC"), 12345), "\x80");
    EXPECT_EQ(WideToAnsiLocale(QStringLiteral("\u041F\u0440\u0438"), 0x0419), "\xCF\xF0\xE8");
    EXPECT_EQ(AnsiToWideLocale("\xE0", 0x040D), QStringLiteral("\u05D0")); // alef in 1255
    EXPECT_EQ(AnsiToWideLocale(QByteArray(), 0x0419), QString());
}

TEST(KLocales, NativeNamesAndUserLanguage)
{
    EXPECT_EQ(GetLocaleString(0x0407, LOCALE_SNATIVELANGNAME), "Deutsch");
    EXPECT_EQ(GetLocaleString(0x0410, LOCALE_SNATIVELANGNAME), "italiano");
    EXPECT_EQ(GetLocaleString(0x0010, LOCALE_SNATIVELANGNAME), "italiano");
    EXPECT_EQ(GetLocaleString(0x0419, LOCALE_SNATIVELANGNAME),
              QStringLiteral("\u0440\u0443\u0441\u0441\u043A\u0438\u0439"));
    EXPECT_FALSE(GetLocaleString(0x0465, LOCALE_SNATIVELANGNAME).isEmpty()); // Qt has no Divehi data

    struct Row {
        int no;
        const char* qtName;
        uint32_t locale;
    };
    const Row rows[] = {
        {1, "de_DE", 0x0407},
        {2, "es_ES", 0x0C0A}, // international sort, as Windows gives Spanish users
        {3, "sr_RS", 0x0C1A}, // Serbian defaults to Cyrillic
        {4, "sr_Latn_RS", 0x081A},
        {5, "zh_TW", 0x0404},
        {6, "zh_CN", 0x0804},
        {7, "fr_SN", 0x040C}, // no such locale: the language's likely one
        {8, "en_IN", 0x0409},
        {9, "sw_TZ", 0x0441}, // neither: the language's first locale
        {10, "C", 0},
        {11, "ga_IE", 0}, // a language the table lacks
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.no);
        EXPECT_EQ(LocaleFromQLocale(QLocale(QString::fromLatin1(row.qtName))), row.locale);
    }

    SetUserDefaultLangID(0x0410);
    EXPECT_EQ(GetUserDefaultLangID(), 0x0410);
    SetUserDefaultLangID(0);
    const uint32_t system = LocaleFromQLocale(QLocale::system());
    EXPECT_EQ(GetUserDefaultLangID(), system ? system : 0x0409u);
}
