#include "report/print/QpDefine.h"

#include "platform/objects/ClassRegistry.h"
#include "platform/rtl/CodePages.h"
#include "platform/rtl/Streams.h"
#include "platform/rtl/StringRoutines.h"

#include <QLocale>

#include <algorithm>

namespace {

const QString kVersion = QStringLiteral("11.0.14 (VCLD10)");

// A Windows locale number for a language in a country (LANGID values of the
// Win32 API, winnt.h), for the locales whose character set differs from the
// Ansi code page's.
struct LocaleNumber {
    QLocale::Language Language;
    QLocale::Territory Territory;
    int Lcid;
};

constexpr LocaleNumber kLocaleNumbers[] = {
    {QLocale::Arabic, QLocale::SaudiArabia, 1025},   {QLocale::Chinese, QLocale::Taiwan, 1028},
    {QLocale::Czech, QLocale::CzechRepublic, 1029},  {QLocale::Greek, QLocale::Greece, 1032},
    {QLocale::English, QLocale::UnitedStates, 1033}, {QLocale::Hebrew, QLocale::Israel, 1037},
    {QLocale::Hungarian, QLocale::Hungary, 1038},    {QLocale::Italian, QLocale::Italy, 1040},
    {QLocale::Japanese, QLocale::Japan, 1041},       {QLocale::Korean, QLocale::SouthKorea, 1042},
    {QLocale::Polish, QLocale::Poland, 1045},        {QLocale::Romanian, QLocale::Romania, 1048},
    {QLocale::Russian, QLocale::Russia, 1049},       {QLocale::Croatian, QLocale::Croatia, 1050},
    {QLocale::Slovak, QLocale::Slovakia, 1051},      {QLocale::Thai, QLocale::Thailand, 1054},
    {QLocale::Turkish, QLocale::Turkey, 1055},       {QLocale::Slovenian, QLocale::Slovenia, 1060},
    {QLocale::Vietnamese, QLocale::Vietnam, 1066},   {QLocale::Chinese, QLocale::China, 2052},
};

} // namespace

// Standard paper sizes of the Win32 API (DMPAPER_* numbers, wingdi.h), inches,
// portrait; metric sizes are the millimetre figure divided by 25.4.
// Deviations kept on purpose, because stored reports and layouts rely on the
// values as they are: row 39 has the width 3.626 (its name says 3 5/8) and
// row 40 the height 12 (its name says 11).
const std::array<TPaperSize, kPaperSizeCount> PaperSizes = {{
    {u"Default", -1, 0, 0},
    {u"Custom", 256, 0, 0},
    {u"Letter, 8 1/2- by 11-inches", 1, 8.5, 11},
    {u"Legal, 8 1/2- by 14-inches", 5, 8.5, 14},
    {u"A4 Sheet, 210- by 297-millimeters", 9, 210 / 25.4, 297 / 25.4},
    {u"C Sheet, 17- by 22-inches", 24, 17, 22},
    {u"D Sheet, 22- by 34-inches", 25, 22, 34},
    {u"E Sheet, 34- by 44-inches", 26, 34, 44},
    {u"Letter Small, 8 1/2- by 11-inches", 2, 8.5, 11},
    {u"Tabloid, 11- by 17-inches", 3, 11, 17},
    {u"Ledger, 17- by 11-inches", 4, 17, 11},
    {u"Statement, 5 1/2- by 8 1/2-inches", 6, 5.5, 8.5},
    {u"Executive, 7 1/4- by 10 1/2-inches", 7, 7.25, 10.5},
    {u"A3 sheet, 297- by 420-millimeters", 8, 297 / 25.4, 420 / 25.4},
    {u"A4 small sheet, 210- by 297-millimeters", 10, 210 / 25.4, 297 / 25.4},
    {u"A5 sheet, 148- by 210-millimeters", 11, 148 / 25.4, 210 / 25.4},
    {u"B4 sheet, 250- by 354-millimeters", 12, 250 / 25.4, 354 / 25.4},
    {u"B5 sheet, 182- by 257-millimeter paper", 13, 182 / 25.4, 257 / 25.4},
    {u"Folio, 8 1/2- by 13-inch paper", 14, 8.5, 13},
    {u"Quarto, 215- by 275-millimeter paper", 15, 215 / 25.4, 275 / 25.4},
    {u"10- by 14-inch sheet", 16, 10, 14},
    {u"11- by 17-inch sheet", 17, 11, 17},
    {u"Note, 8 1/2- by 11-inches", 18, 8.5, 11},
    {u"#9 Envelope, 3 7/8- by 8 7/8-inches", 19, 3.875, 8.875},
    {u"#10 Envelope, 4 1/8- by 9 1/2-inches", 20, 4.125, 9.5},
    {u"#11 Envelope, 4 1/2- by 10 3/8-inches", 21, 4.5, 10.375},
    {u"#12 Envelope, 4 3/4- by 11-inches", 22, 4.75, 11},
    {u"#14 Envelope, 5- by 11 1/2-inches", 23, 5, 11.5},
    {u"DL Envelope, 110- by 220-millimeters", 27, 110 / 25.4, 220 / 25.4},
    {u"C5 Envelope, 162- by 229-millimeters", 28, 162 / 25.4, 229 / 25.4},
    {u"C3 Envelope,  324- by 458-millimeters", 29, 324 / 25.4, 458 / 25.4},
    {u"C4 Envelope,  229- by 324-millimeters", 30, 229 / 25.4, 324 / 25.4},
    {u"C6 Envelope,  114- by 162-millimeters", 31, 114 / 25.4, 162 / 25.4},
    {u"C65 Envelope, 114- by 229-millimeters", 32, 114 / 25.4, 229 / 25.4},
    {u"B4 Envelope,  250- by 353-millimeters", 33, 250 / 25.4, 353 / 25.4},
    {u"B5 Envelope,  176- by 250-millimeters", 34, 176 / 25.4, 250 / 25.4},
    {u"B6 Envelope,  176- by 125-millimeters", 35, 176 / 25.4, 125 / 25.4},
    {u"Italy Envelope, 110- by 230-millimeters", 36, 110 / 25.4, 230 / 25.4},
    {u"Monarch Envelope, 3 7/8- by 7 1/2-inches", 37, 3.875, 7.5},
    {u"6 3/4 Envelope, 3 5/8- by 6 1/2-inches", 38, 3.626, 6.5},
    {u"US Std Fanfold, 14 7/8- by 11-inches", 39, 14.875, 12},
    {u"German Std Fanfold, 8 1/2- by 12-inches", 40, 8.5, 12},
    {u"German Legal Fanfold, 8 1/2- by 13-inches", 41, 8.5, 13},
}};

TTranslateProc TranslateHook = DefaultTranslate;
QString NamedObjectPrefix;

TQpComponent::TQpComponent(TComponent* owner) : TComponent(owner), FVersion(kVersion) {}

void TQpComponent::SetVersion(const QString&)
{
    // The version is the library's own; a streamed value never replaces it.
}

void RegisterQpComponentClasses()
{
    if (FindClass(QStringLiteral("TQpComponent")))
        return;
    TClassInfo& info =
        RegisterClassInfo(QStringLiteral("TQpComponent"), QStringLiteral("TComponent"), {}, &typeid(TQpComponent));
    PublishProperty(info, QStringLiteral("Version"), TypeInfoString(), &TQpComponent::Version,
                    &TQpComponent::SetVersion);
    RegisterClassInfo(QStringLiteral("TQPBaseComponent"), QStringLiteral("TQpComponent"), {},
                      &typeid(TQPBaseComponent));
}

const TPaperSize* FindPaperSize(int paperCode)
{
    for (const TPaperSize& paper : PaperSizes)
        if (paper.PaperCode == paperCode)
            return &paper;
    return nullptr;
}

void DefaultTranslate(const QString& text, QString& result)
{
    result = text;
}

QString Translate(const QString& text)
{
    if (!TranslateHook)
        return text;
    QString result;
    TranslateHook(text, result);
    return result;
}

void RaiseError(const QString& message)
{
    throw ESheetcaster(message);
}

TSharedHandle OpenSharedEvent(const QString& name)
{
    const QString fullName = NamedObjectPrefix + name;
    return fullName.isEmpty() ? 0 : OpenNamedEvent(fullName, false);
}

TSharedHandle OpenSharedManualEvent(const QString& name)
{
    const QString fullName = NamedObjectPrefix + name;
    return fullName.isEmpty() ? 0 : OpenNamedEvent(fullName, true);
}

TSharedHandle OpenSharedMutex(const QString& name)
{
    const QString fullName = NamedObjectPrefix + name;
    return fullName.isEmpty() ? 0 : OpenNamedMutex(fullName);
}

TSharedHandle OpenSharedMemory(const QString& name, int size)
{
    return OpenNamedMemory(NamedObjectPrefix + name, size);
}

void* MapSharedMemory(TSharedHandle mapping)
{
    return MapNamedMemory(mapping);
}

void CloseSharedEvent(TSharedHandle event)
{
    CloseNamedObject(event);
}

void CloseSharedMutex(TSharedHandle mutex)
{
    CloseNamedObject(mutex);
}

void CloseSharedMemory(TSharedHandle mapping, void* view)
{
    UnmapNamedMemory(view);
    CloseNamedObject(mapping);
}

TColor ShadeToColor(TColor color, uint8_t shade)
{
    const int f = 100 - std::min<int>(shade, 100);
    const uint32_t rgb = ColorToRGB(color);
    auto blend = [f](int c) { return c + (255 - c) * f / 100; };
    return RGB(blend(GetRValue(rgb)), blend(GetGValue(rgb)), blend(GetBValue(rgb)));
}

int CodePageCharset()
{
    switch (SystemAnsiCodePage()) {
    case 874:
        return 222; // THAI_CHARSET
    case 932:
        return 128; // SHIFTJIS_CHARSET
    case 936:
        return 134; // GB2312_CHARSET
    case 949:
        return 129; // HANGEUL_CHARSET
    case 950:
        return 136; // CHINESEBIG5_CHARSET
    case 1250:
        return 238; // EASTEUROPE_CHARSET
    case 1251:
        return 204; // RUSSIAN_CHARSET
    case 1253:
        return 161; // GREEK_CHARSET
    case 1254:
        return 162; // TURKISH_CHARSET
    case 1255:
        return 177; // HEBREW_CHARSET
    case 1256:
        return 178; // ARABIC_CHARSET
    case 1257:
        return 186; // BALTIC_CHARSET
    default:
        return DEFAULT_CHARSET;
    }
}

int UserDefaultLCID()
{
    const QLocale locale = QLocale::system();
    for (const LocaleNumber& n : kLocaleNumbers)
        if (n.Language == locale.language() && n.Territory == locale.territory())
            return n.Lcid;
    return 1033;
}

int LocaleCharset(int charset)
{
    if (charset != DEFAULT_CHARSET)
        return charset;
    switch (UserDefaultLCID()) {
    case 1025:
        return 178;
    case 1028:
        return 136;
    case 1029:
    case 1038:
    case 1045:
    case 1048:
    case 1050:
    case 1051:
    case 1060:
        return 238;
    case 1032:
        return 161;
    case 1037:
        return 177;
    case 1041:
        return 128;
    case 1042:
        return 129;
    case 1049:
        return 204;
    case 1054:
        return 222;
    case 1055:
        return 162;
    case 1066:
        return 163; // VIETNAMESE_CHARSET
    case 2052:
        return 134;
    default:
        return CodePageCharset();
    }
}

QString AnsiUpper(const QString& text)
{
    return AnsiUpperCase(text);
}

int AnsiCompare(const QString& s1, const QString& s2)
{
    return AnsiCompareText(s1, s2);
}

int AnsiPosOf(const QString& subStr, const QString& s)
{
    if (subStr.isEmpty())
        return 0;
    return int(s.indexOf(subStr)) + 1;
}

void StreamWriteString(TStream& stream, const QString& text)
{
    QByteArray bytes;
    bytes.reserve(text.size() * 2);
    for (QChar c : text) {
        bytes.append(char(c.unicode() & 0xFF));
        bytes.append(char(c.unicode() >> 8));
    }
    stream.WriteBuffer(bytes.constData(), bytes.size());
}

double UnitsFactorOf(TPrintUnits units, double userFactor)
{
    switch (units) {
    case TPrintUnits::unInch: return 1.0;
    case TPrintUnits::unMM: return 25.4;
    case TPrintUnits::unCM: return 2.54;
    case TPrintUnits::unPoint: return 72.0;
    case TPrintUnits::unUser: break;
    }
    return userFactor;
}
