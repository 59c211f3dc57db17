#include "localization/KLocales.h"

#include "localization/KStrings.h"
#include "platform/rtl/CodePages.h"
#include "platform/rtl/StringRoutines.h"

#include <QLocale>

#include <algorithm>
#include <iterator>

namespace {

struct TLocaleRow {
    uint16_t Locale;
    const char16_t* EnglishName; // the library's own English name
    const char* Abbreviation;    // LOCALE_SABBREVLANGNAME
    uint16_t AnsiCodePage;       // LOCALE_IDEFAULTANSICODEPAGE; 0 = Unicode only
    const char* Tag;             // the locale's language tag, to reach Qt's locale data
};

// The supported locales, in the order the system lists them: the locales of
// sublanguage 1 by primary language, then those of sublanguage 2, 3 and on.
// LCIDs and language tags: Microsoft, [MS-LCID] Windows Language Code
// Identifier Reference, section 2.2 (LCID structure and table). Abbreviations
// and default Ansi code pages: the values Windows NLS returns for
// LOCALE_SABBREVLANGNAME and LOCALE_IDEFAULTANSICODEPAGE. The English names
// are this library's own (older Windows wording, e.g. "Farsi", "Azeri").
// Note: 0x040A and 0x0C0A are both es-ES (traditional and international
// sort); 0x081A and 0x0C1A keep the tags of Serbia and Montenegro (CS), which
// Qt resolves to Serbia.
constexpr TLocaleRow LocaleTable[] = {
    {0x0401, u"Arabic (Saudi Arabia)", "ARA", 1256, "ar-SA"},             // 1
    {0x0402, u"Bulgarian", "BGR", 1251, "bg-BG"},                         // 2
    {0x0403, u"Catalan", "CAT", 1252, "ca-ES"},                           // 3
    {0x0404, u"Chinese (Taiwan)", "CHT", 950, "zh-TW"},                   // 4
    {0x0405, u"Czech", "CSY", 1250, "cs-CZ"},                             // 5
    {0x0406, u"Danish", "DAN", 1252, "da-DK"},                            // 6
    {0x0407, u"German (Germany)", "DEU", 1252, "de-DE"},                  // 7
    {0x0408, u"Greek", "ELL", 1253, "el-GR"},                             // 8
    {0x0409, u"English (United States)", "ENU", 1252, "en-US"},           // 9
    {0x040A, u"Spanish (Traditional Sort)", "ESP", 1252, "es-ES_tradnl"}, // 10
    {0x040B, u"Finnish", "FIN", 1252, "fi-FI"},                           // 11
    {0x040C, u"French (France)", "FRA", 1252, "fr-FR"},                   // 12
    {0x040D, u"Hebrew", "HEB", 1255, "he-IL"},                            // 13
    {0x040E, u"Hungarian", "HUN", 1250, "hu-HU"},                         // 14
    {0x040F, u"Icelandic", "ISL", 1252, "is-IS"},                         // 15
    {0x0410, u"Italian (Italy)", "ITA", 1252, "it-IT"},                   // 16
    {0x0411, u"Japanese", "JPN", 932, "ja-JP"},                           // 17
    {0x0412, u"Korean", "KOR", 949, "ko-KR"},                             // 18
    {0x0413, u"Dutch (Netherlands)", "NLD", 1252, "nl-NL"},               // 19
    {0x0414, u"Norwegian (Bokmal)", "NOR", 1252, "nb-NO"},                // 20
    {0x0415, u"Polish", "PLK", 1250, "pl-PL"},                            // 21
    {0x0416, u"Portuguese (Brazil)", "PTB", 1252, "pt-BR"},               // 22
    {0x0418, u"Romanian", "ROM", 1250, "ro-RO"},                          // 23
    {0x0419, u"Russian", "RUS", 1251, "ru-RU"},                           // 24
    {0x041A, u"Croatian", "HRV", 1250, "hr-HR"},                          // 25
    {0x041B, u"Slovak", "SKY", 1250, "sk-SK"},                            // 26
    {0x041C, u"Albanian", "SQI", 1250, "sq-AL"},                          // 27
    {0x041D, u"Swedish", "SVE", 1252, "sv-SE"},                           // 28
    {0x041E, u"Thai", "THA", 874, "th-TH"},                               // 29
    {0x041F, u"Turkish", "TRK", 1254, "tr-TR"},                           // 30
    {0x0420, u"Urdu", "URD", 1256, "ur-PK"},                              // 31
    {0x0421, u"Indonesian", "IND", 1252, "id-ID"},                        // 32
    {0x0422, u"Ukrainian", "UKR", 1251, "uk-UA"},                         // 33
    {0x0423, u"Belarusian", "BEL", 1251, "be-BY"},                        // 34
    {0x0424, u"Slovenian", "SLV", 1250, "sl-SI"},                         // 35
    {0x0425, u"Estonian", "ETI", 1257, "et-EE"},                          // 36
    {0x0426, u"Latvian", "LVI", 1257, "lv-LV"},                           // 37
    {0x0427, u"Lithuanian", "LTH", 1257, "lt-LT"},                        // 38
    {0x0429, u"Farsi", "FAR", 1256, "fa-IR"},                             // 39
    {0x042A, u"Vietnamese", "VIT", 1258, "vi-VN"},                        // 40
    {0x042B, u"Armenian", "HYE", 0, "hy-AM"},                             // 41
    {0x042C, u"Azeri (Latin)", "AZE", 1254, "az-Latn-AZ"},                // 42
    {0x042D, u"Basque", "EUQ", 1252, "eu-ES"},                            // 43
    {0x042F, u"Macedonian (FYROM)", "MKI", 1251, "mk-MK"},                // 44
    {0x0436, u"Afrikaans", "AFK", 1252, "af-ZA"},                         // 45
    {0x0437, u"Georgian", "KAT", 0, "ka-GE"},                             // 46
    {0x0438, u"Faeroese", "FOS", 1252, "fo-FO"},                          // 47
    {0x0439, u"Hindi", "HIN", 0, "hi-IN"},                                // 48
    {0x043E, u"Malay (Malaysia)", "MSL", 1252, "ms-MY"},                  // 49
    {0x043F, u"Kazakh", "KKZ", 1251, "kk-KZ"},                            // 50
    {0x0440, u"Kyrgyz (Cyrillic)", "KYR", 1251, "ky-KG"},                 // 51
    {0x0441, u"Swahili", "SWK", 1252, "sw-KE"},                           // 52
    {0x0443, u"Uzbek (Latin)", "UZB", 1254, "uz-Latn-UZ"},                // 53
    {0x0444, u"Tatar", "TTT", 1251, "tt-RU"},                             // 54
    {0x0446, u"Punjabi", "PAN", 0, "pa-IN"},                              // 55
    {0x0447, u"Gujarati", "GUJ", 0, "gu-IN"},                             // 56
    {0x0449, u"Tamil", "TAM", 0, "ta-IN"},                                // 57
    {0x044A, u"Telugu", "TEL", 0, "te-IN"},                               // 58
    {0x044B, u"Kannada", "KAN", 0, "kn-IN"},                              // 59
    {0x044E, u"Marathi", "MAR", 0, "mr-IN"},                              // 60
    {0x044F, u"Sanskrit", "SAN", 0, "sa-IN"},                             // 61
    {0x0450, u"Mongolian (Cyrillic)", "MON", 1251, "mn-MN"},              // 62
    {0x0456, u"Galician", "GLC", 1252, "gl-ES"},                          // 63
    {0x0457, u"Konkani", "KNK", 0, "kok-IN"},                             // 64
    {0x045A, u"Syriac", "SYR", 0, "syr-SY"},                              // 65
    {0x0465, u"Divehi", "DIV", 0, "dv-MV"},                               // 66
    {0x0801, u"Arabic (Iraq)", "ARI", 1256, "ar-IQ"},                     // 67
    {0x0804, u"Chinese (PRC)", "CHS", 936, "zh-CN"},                      // 68
    {0x0807, u"German (Switzerland)", "DES", 1252, "de-CH"},              // 69
    {0x0809, u"English (United Kingdom)", "ENG", 1252, "en-GB"},          // 70
    {0x080A, u"Spanish (Mexico)", "ESM", 1252, "es-MX"},                  // 71
    {0x080C, u"French (Belgium)", "FRB", 1252, "fr-BE"},                  // 72
    {0x0810, u"Italian (Switzerland)", "ITS", 1252, "it-CH"},             // 73
    {0x0813, u"Dutch (Belgium)", "NLB", 1252, "nl-BE"},                   // 74
    {0x0814, u"Norwegian (Nynorsk)", "NON", 1252, "nn-NO"},               // 75
    {0x0816, u"Portuguese (Portugal)", "PTG", 1252, "pt-PT"},             // 76
    {0x081A, u"Serbian (Latin)", "SRL", 1250, "sr-Latn-CS"},              // 77
    {0x081D, u"Swedish (Finland)", "SVF", 1252, "sv-FI"},                 // 78
    {0x082C, u"Azeri (Cyrillic)", "AZC", 1251, "az-Cyrl-AZ"},             // 79
    {0x083E, u"Malay (Brunei Darussalam)", "MSB", 1252, "ms-BN"},         // 80
    {0x0843, u"Uzbek (Cyrillic)", "UZC", 1251, "uz-Cyrl-UZ"},             // 81
    {0x0C01, u"Arabic (Egypt)", "ARE", 1256, "ar-EG"},                    // 82
    {0x0C04, u"Chinese (Hong Kong)", "ZHH", 950, "zh-HK"},                // 83
    {0x0C07, u"German (Austria)", "DEA", 1252, "de-AT"},                  // 84
    {0x0C09, u"English (Australia)", "ENA", 1252, "en-AU"},               // 85
    {0x0C0A, u"Spanish (International Sort)", "ESN", 1252, "es-ES"},      // 86
    {0x0C0C, u"French (Canada)", "FRC", 1252, "fr-CA"},                   // 87
    {0x0C1A, u"Serbian (Cyrillic)", "SRB", 1251, "sr-Cyrl-CS"},           // 88
    {0x1001, u"Arabic (Libya)", "ARL", 1256, "ar-LY"},                    // 89
    {0x1004, u"Chinese (Singapore)", "ZHI", 936, "zh-SG"},                // 90
    {0x1007, u"German (Luxembourg)", "DEL", 1252, "de-LU"},               // 91
    {0x1009, u"English (Canada)", "ENC", 1252, "en-CA"},                  // 92
    {0x100A, u"Spanish (Guatemala)", "ESG", 1252, "es-GT"},               // 93
    {0x100C, u"French (Switzerland)", "FRS", 1252, "fr-CH"},              // 94
    {0x1401, u"Arabic (Algeria)", "ARG", 1256, "ar-DZ"},                  // 95
    {0x1404, u"Chinese (Macau)", "ZHM", 950, "zh-MO"},                    // 96
    {0x1407, u"German (Liechtenstein)", "DEC", 1252, "de-LI"},            // 97
    {0x1409, u"English (New Zealand)", "ENZ", 1252, "en-NZ"},             // 98
    {0x140A, u"Spanish (Costa Rica)", "ESC", 1252, "es-CR"},              // 99
    {0x140C, u"French (Luxembourg)", "FRL", 1252, "fr-LU"},               // 100
    {0x1801, u"Arabic (Morocco)", "ARM", 1256, "ar-MA"},                  // 101
    {0x1809, u"English (Ireland)", "ENI", 1252, "en-IE"},                 // 102
    {0x180A, u"Spanish (Panama)", "ESA", 1252, "es-PA"},                  // 103
    {0x180C, u"French (Monaco)", "FRM", 1252, "fr-MC"},                   // 104
    {0x1C01, u"Arabic (Tunisia)", "ART", 1256, "ar-TN"},                  // 105
    {0x1C09, u"English (South Africa)", "ENS", 1252, "en-ZA"},            // 106
    {0x1C0A, u"Spanish (Dominican Republic)", "ESD", 1252, "es-DO"},      // 107
    {0x2001, u"Arabic (Oman)", "ARO", 1256, "ar-OM"},                     // 108
    {0x2009, u"English (Jamaica)", "ENJ", 1252, "en-JM"},                 // 109
    {0x200A, u"Spanish (Venezuela)", "ESV", 1252, "es-VE"},               // 110
    {0x2401, u"Arabic (Yemen)", "ARY", 1256, "ar-YE"},                    // 111
    {0x2409, u"English (Caribbean)", "ENB", 1252, "en-029"},              // 112
    {0x240A, u"Spanish (Colombia)", "ESO", 1252, "es-CO"},                // 113
    {0x2801, u"Arabic (Syria)", "ARS", 1256, "ar-SY"},                    // 114
    {0x2809, u"English (Belize)", "ENL", 1252, "en-BZ"},                  // 115
    {0x280A, u"Spanish (Peru)", "ESR", 1252, "es-PE"},                    // 116
    {0x2C01, u"Arabic (Jordan)", "ARJ", 1256, "ar-JO"},                   // 117
    {0x2C09, u"English (Trinidad)", "ENT", 1252, "en-TT"},                // 118
    {0x2C0A, u"Spanish (Argentina)", "ESS", 1252, "es-AR"},               // 119
    {0x3001, u"Arabic (Lebanon)", "ARB", 1256, "ar-LB"},                  // 120
    {0x3009, u"English (Zimbabwe)", "ENW", 1252, "en-ZW"},                // 121
    {0x300A, u"Spanish (Ecuador)", "ESF", 1252, "es-EC"},                 // 122
    {0x3401, u"Arabic (Kuwait)", "ARK", 1256, "ar-KW"},                   // 123
    {0x3409, u"English (Philippines)", "ENP", 1252, "en-PH"},             // 124
    {0x340A, u"Spanish (Chile)", "ESL", 1252, "es-CL"},                   // 125
    {0x3801, u"Arabic (U.A.E.)", "ARU", 1256, "ar-AE"},                   // 126
    {0x380A, u"Spanish (Uruguay)", "ESY", 1252, "es-UY"},                 // 127
    {0x3C01, u"Arabic (Bahrain)", "ARH", 1256, "ar-BH"},                  // 128
    {0x3C0A, u"Spanish (Paraguay)", "ESZ", 1252, "es-PY"},                // 129
    {0x4001, u"Arabic (Qatar)", "ARQ", 1256, "ar-QA"},                    // 130
    {0x400A, u"Spanish (Bolivia)", "ESB", 1252, "es-BO"},                 // 131
    {0x440A, u"Spanish (El Salvador)", "ESE", 1252, "es-SV"},             // 132
    {0x480A, u"Spanish (Honduras)", "ESH", 1252, "es-HN"},                // 133
    {0x4C0A, u"Spanish (Nicaragua)", "ESI", 1252, "es-NI"},               // 134
    {0x500A, u"Spanish (Puerto Rico)", "ESU", 1252, "es-PR"},             // 135
};
static_assert(std::size(LocaleTable) == 135);

struct TCodePageCharset {
    int CodePage;
    int Charset;
};

// The character set Windows assigns to each code page (TranslateCharsetInfo
// with TCI_SRCCODEPAGE; the *_CHARSET values of the Windows GDI headers).
constexpr TCodePageCharset CodePageCharsets[] = {
    {1252, 0},   // ANSI_CHARSET
    {1250, 238}, // EASTEUROPE_CHARSET
    {1251, 204}, // RUSSIAN_CHARSET
    {1253, 161}, // GREEK_CHARSET
    {1254, 162}, // TURKISH_CHARSET
    {1255, 177}, // HEBREW_CHARSET
    {1256, 178}, // ARABIC_CHARSET
    {1257, 186}, // BALTIC_CHARSET
    {1258, 163}, // VIETNAMESE_CHARSET
    {874, 222},  // THAI_CHARSET
    {932, 128},  // SHIFTJIS_CHARSET
    {936, 134},  // GB2312_CHARSET
    {949, 129},  // HANGEUL_CHARSET
    {950, 136},  // CHINESEBIG5_CHARSET
    {1361, 130}, // JOHAB_CHARSET
    {42, 2},     // SYMBOL_CHARSET (CP_SYMBOL)
};
constexpr int DefaultCharset = 1;

constexpr int CodePageUtf8 = 65001;
constexpr uint16_t FallbackLangID = 0x0409; // English (United States)
// Spanish users of Windows get the international sort, 0x0C0A; the
// traditional sort shares its tag and is never chosen for the system locale.
constexpr uint16_t SpanishTraditionalSort = 0x040A;

const TLocaleRow* FindRow(uint32_t locale);
const TLocaleRow* FactsRow(uint32_t locale);
bool IsPrimaryOnly(uint32_t locale);
QString LanguagePart(const QString& name);
QString NativeLanguageName(const TLocaleRow& row);
std::vector<TLocaleListEntry> BuildList(int mode);
const std::vector<QLocale>& RowQtLocales();
uint16_t& UserLangIDOverride();

} // namespace

uint32_t PrimaryLangID(uint32_t locale)
{
    return locale & 0x3FF;
}

QString GetLocaleString(uint32_t locale, uint32_t lcType)
{
    switch (lcType) {
    case LOCALE_SLANGUAGE:
    case LOCALE_SABBREVLANGNAME:
    case LOCALE_SNATIVELANGNAME:
    case LOCALE_SENGLANGUAGE:
    case LOCALE_IDEFAULTANSICODEPAGE:
        break;
    default:
        throw ELocalesError(QStringLiteral("Can not get locale info"));
    }
    const TLocaleRow* row = FactsRow(locale);
    if (!row)
        return QString();
    const QString name = QString::fromUtf16(row->EnglishName);
    switch (lcType) {
    case LOCALE_SLANGUAGE:
        return row->Locale == locale ? name : LanguagePart(name);
    case LOCALE_SABBREVLANGNAME:
        return QString::fromLatin1(row->Abbreviation);
    case LOCALE_SNATIVELANGNAME:
        return NativeLanguageName(*row);
    case LOCALE_SENGLANGUAGE:
        return LanguagePart(name);
    default:
        return QString::number(row->AnsiCodePage);
    }
}

QString LocaleEnglishName(uint32_t locale)
{
    if (const TLocaleRow* row = FindRow(locale))
        return QString::fromUtf16(row->EnglishName);
    // Outside the table only primary-only IDs of known languages have
    // locale information, and their English name is the language's.
    return GetLocaleString(locale, LOCALE_SENGLANGUAGE);
}

QString LocaleToExt(uint32_t locale)
{
    const QString abbreviation = GetLocaleString(locale, LOCALE_SABBREVLANGNAME);
    return IsPrimaryOnly(locale) ? abbreviation.left(2) : abbreviation;
}

const std::vector<TLocaleListEntry>& GetLocaleList(int mode)
{
    static const std::vector<TLocaleListEntry> lists[3] = {BuildList(0), BuildList(1), BuildList(2)};
    if (mode < 0 || mode > 2)
        throw ELocalesError(QStringLiteral("Invalid locale list mode %1").arg(mode));
    return lists[mode];
}

uint32_t LocaleFromExt(const QString& ext, int mode)
{
    for (const TLocaleListEntry& entry : GetLocaleList(mode)) {
        QString entryExt = LocaleToExt(entry.Locale);
        if (mode == 0)
            entryExt = entryExt.left(2);
        if (!entryExt.isEmpty() && SameText(entryExt, ext))
            return entry.Locale;
    }
    return 0;
}

uint32_t ExtToLocale(const QString& ext)
{
    return LocaleFromExt(ext, 2);
}

int LocaleCodePage(uint32_t locale)
{
    const QString text = GetLocaleString(locale, LOCALE_IDEFAULTANSICODEPAGE);
    if (text.isEmpty())
        return SystemAnsiCodePage();
    return text.toInt();
}

int CodePageToCharset(int codePage)
{
    for (const TCodePageCharset& entry : CodePageCharsets)
        if (entry.CodePage == codePage)
            return entry.Charset;
    return DefaultCharset;
}

int CharsetOfLocale(uint32_t locale)
{
    return CodePageToCharset(LocaleCodePage(locale));
}

bool IsRightToLeftLocale(uint32_t locale)
{
    QByteArray upperHalf(128, Qt::Uninitialized);
    for (int i = 0; i < 128; ++i)
        upperHalf[i] = char(128 + i);
    QString text;
    try {
        text = AnsiToUnicode(upperHalf, LocaleCodePage(locale));
    } catch (const EConvertError&) {
        return false; // a code page we cannot read holds no known right-to-left letter
    }
    for (QChar ch : text) {
        const QChar::Direction direction = ch.direction();
        if (direction == QChar::DirR || direction == QChar::DirAL)
            return true;
    }
    return false;
}

QString AnsiToWideCP(const QByteArray& s, int codePage)
{
    QString result;
    if (codePage == CodePageUtf8) {
        result = QString::fromUtf8(s);
    } else {
        try {
            result = AnsiToUnicode(s, codePage);
        } catch (const EConvertError&) {
        }
    }
    if (result.isEmpty())
        result = AnsiToUnicode(s, CP_ACP);
    return result;
}

QByteArray WideToAnsiCP(const QString& s, int codePage)
{
    QByteArray result;
    if (codePage == CodePageUtf8) {
        result = s.toUtf8();
    } else {
        try {
            result = UnicodeToAnsi(s, codePage);
        } catch (const EConvertError&) {
        }
    }
    if (result.isEmpty())
        result = UnicodeToAnsi(s, CP_ACP);
    return result;
}

QString AnsiToWideLocale(const QByteArray& s, uint32_t locale)
{
    return AnsiToWideCP(s, LocaleCodePage(locale));
}

QByteArray WideToAnsiLocale(const QString& s, uint32_t locale)
{
    return WideToAnsiCP(s, LocaleCodePage(locale));
}

uint16_t GetUserDefaultLangID()
{
    if (const uint16_t langId = UserLangIDOverride())
        return langId;
    static const uint16_t systemLangId = [] {
        const uint32_t locale = LocaleFromQLocale(QLocale::system());
        return locale ? uint16_t(locale) : FallbackLangID;
    }();
    return systemLangId;
}

void SetUserDefaultLangID(uint16_t langId)
{
    UserLangIDOverride() = langId;
}

uint32_t LocaleFromQLocale(const QLocale& qtLocale)
{
    if (qtLocale.language() == QLocale::C || qtLocale.language() == QLocale::AnyLanguage)
        return 0;
    const std::vector<QLocale>& rowLocales = RowQtLocales();
    const auto findExact = [&](QLocale::Territory territory) -> uint32_t {
        for (size_t i = 0; i < rowLocales.size(); ++i) {
            const QLocale& row = rowLocales[i];
            if (LocaleTable[i].Locale != SpanishTraditionalSort && row.language() == qtLocale.language() &&
                row.script() == qtLocale.script() && row.territory() == territory)
                return LocaleTable[i].Locale;
        }
        return 0;
    };
    if (const uint32_t locale = findExact(qtLocale.territory()))
        return locale;
    const QLocale likely(qtLocale.language(), qtLocale.script(), QLocale::AnyTerritory);
    if (const uint32_t locale = findExact(likely.territory()))
        return locale;
    for (size_t i = 0; i < rowLocales.size(); ++i)
        if (rowLocales[i].language() == qtLocale.language())
            return LocaleTable[i].Locale;
    return 0;
}

namespace {

const TLocaleRow* FindRow(uint32_t locale)
{
    for (const TLocaleRow& row : LocaleTable)
        if (row.Locale == locale)
            return &row;
    return nullptr;
}

// The row whose facts describe locale: its own, or for a primary-only ID the
// first locale of that language (the table lists sublanguage 1 first).
const TLocaleRow* FactsRow(uint32_t locale)
{
    if (const TLocaleRow* row = FindRow(locale))
        return row;
    if (locale == 0 || !IsPrimaryOnly(locale))
        return nullptr;
    for (const TLocaleRow& row : LocaleTable)
        if (PrimaryLangID(row.Locale) == locale)
            return &row;
    return nullptr;
}

bool IsPrimaryOnly(uint32_t locale)
{
    return PrimaryLangID(locale) == locale;
}

// "Serbian (Latin)" -> "Serbian".
QString LanguagePart(const QString& name)
{
    return TextBefore(QStringLiteral("("), name);
}

QString NativeLanguageName(const TLocaleRow& row)
{
    const QString native = QLocale(QString::fromLatin1(row.Tag)).nativeLanguageName();
    return native.isEmpty() ? LanguagePart(QString::fromUtf16(row.EnglishName)) : native;
}

std::vector<TLocaleListEntry> BuildList(int mode)
{
    std::vector<TLocaleListEntry> all;
    for (const TLocaleRow& row : LocaleTable)
        all.push_back({GetLocaleString(row.Locale, LOCALE_SLANGUAGE), row.Locale});
    if (mode == 1)
        return all;

    const auto countOfLanguage = [&](uint32_t primary) {
        int count = 0;
        for (const TLocaleListEntry& e : all)
            if (PrimaryLangID(e.Locale) == primary)
                ++count;
        return count;
    };
    const auto hasPrimaryOnlyEntry = [&](uint32_t primary) {
        for (const TLocaleListEntry& e : all)
            if (e.Locale == primary)
                return true;
        return false;
    };
    std::vector<TLocaleListEntry> list;
    std::vector<uint32_t> seen;
    for (const TLocaleListEntry& entry : all) {
        const uint32_t primary = PrimaryLangID(entry.Locale);
        const bool first = std::find(seen.begin(), seen.end(), primary) == seen.end();
        if (first)
            seen.push_back(primary);
        const bool several = countOfLanguage(primary) > 1;
        if (mode == 0) {
            // The first entry of a language with several stands for all of them.
            if (!first)
                continue;
            list.push_back(several ? TLocaleListEntry{LanguagePart(entry.Name), primary} : entry);
        } else {
            if (first && several && !hasPrimaryOnlyEntry(primary))
                list.push_back({LanguagePart(entry.Name), primary});
            list.push_back(entry);
        }
    }
    return list;
}

const std::vector<QLocale>& RowQtLocales()
{
    static const std::vector<QLocale> locales = [] {
        std::vector<QLocale> out;
        for (const TLocaleRow& row : LocaleTable)
            out.emplace_back(QString::fromLatin1(row.Tag));
        return out;
    }();
    return locales;
}

uint16_t& UserLangIDOverride()
{
    static uint16_t langId = 0;
    return langId;
}

} // namespace
