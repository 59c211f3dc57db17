#pragma once
// Windows locale IDs (LCIDs) as the localization library uses them: English
// and native names, the language-file extension of a locale and back, code
// pages and character sets, right-to-left languages, and Ansi conversions.
//
// The system's supported locales are the 135 locales of this unit's table,
// in table order; a locale outside it has no locale information (its texts
// are empty). A primary-only ID (no sublanguage bits, such as 0x10 for
// Italian) takes the facts of its language's first locale.
#include "platform/rtl/Exceptions.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

class QLocale;

RTL_EXCEPTION_CLASS(ELocalesError, Exception);

// The kinds of locale information GetLocaleString serves, numbered as Windows
// numbers them.
constexpr uint32_t LOCALE_SLANGUAGE = 0x0002;            // full language name, e.g. "Italian (Italy)"
constexpr uint32_t LOCALE_SABBREVLANGNAME = 0x0003;      // three letters, e.g. "ITA"
constexpr uint32_t LOCALE_SNATIVELANGNAME = 0x0004;      // the language's name in itself
constexpr uint32_t LOCALE_SENGLANGUAGE = 0x1001;         // English language name, e.g. "Italian"
constexpr uint32_t LOCALE_IDEFAULTANSICODEPAGE = 0x1004; // decimal; "0" for a Unicode-only locale

// locale & 0x3FF.
uint32_t PrimaryLangID(uint32_t locale);

// Locale information lcType of locale; "" for a locale the system does not
// know. Raises ELocalesError "Can not get locale info" for an lcType it does
// not serve.
QString GetLocaleString(uint32_t locale, uint32_t lcType);

// The table's English name when the table holds locale; otherwise the
// English language name, and for a locale with sublanguage bits that name
// followed by " (<abbreviation>)". "" for an unknown locale.
QString LocaleEnglishName(uint32_t locale);
// The abbreviated language name ("ITA"); its first two letters ("IT") for a
// primary-only ID. This is the <ext> of language files <exe>.<ext>.lng.
QString LocaleToExt(uint32_t locale);

// One entry of a locale list.
struct TLocaleListEntry {
    QString Name;
    uint32_t Locale;
};
// The system's locales, listed by mode:
//   1  every locale, named by LOCALE_SLANGUAGE;
//   0  as 1, with each language that has several locales folded into its
//      first entry, named by the part of its name before "(" and carrying the
//      primary-only ID;
//   2  as 1, with an entry for the language itself (name before "(",
//      primary-only ID) inserted before the first locale of each language
//      that has several.
// Any other mode raises ELocalesError.
const std::vector<TLocaleListEntry>& GetLocaleList(int mode);
// The first locale of list mode whose LocaleToExt (two letters in mode 0)
// equals ext, ignoring case; 0 when none.
uint32_t LocaleFromExt(const QString& ext, int mode);
// LocaleFromExt(ext, 2): a two-letter extension finds a language with
// several locales, a three-letter one a full locale.
uint32_t ExtToLocale(const QString& ext);

// The locale's default Ansi code page (0 for a Unicode-only locale); the
// system's Ansi code page for a locale without one.
int LocaleCodePage(uint32_t locale);
// The Windows character set of a code page; 1 (the default character set)
// for a code page without one.
int CodePageToCharset(int codePage);
int CharsetOfLocale(uint32_t locale);
// True when one of the characters 128..255 of the locale's Ansi code page
// writes right to left.
bool IsRightToLeftLocale(uint32_t locale);

// Conversions with the given code page (0 = the system's Ansi code page,
// 65001 = UTF-8); when one yields nothing, or the code page is not known,
// the system's Ansi code page is used instead.
QString AnsiToWideCP(const QByteArray& s, int codePage);
QByteArray WideToAnsiCP(const QString& s, int codePage);
QString AnsiToWideLocale(const QByteArray& s, uint32_t locale);
QByteArray WideToAnsiLocale(const QString& s, uint32_t locale);

// The user's default language: the system locale mapped to an LCID, 0x0409
// when it maps to none. SetUserDefaultLangID overrides it (tests); 0 goes
// back to the system locale.
uint16_t GetUserDefaultLangID();
void SetUserDefaultLangID(uint16_t langId);
// The LCID of a Qt locale: the table's locale of the same language, script
// and territory; else that of the language's most likely territory; else the
// language's first locale; 0 when the table has none of the language.
uint32_t LocaleFromQLocale(const QLocale& qtLocale);
