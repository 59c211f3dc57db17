// langgen --image <in.dll> --exclusions <file> --program <name> --outdir <dir>
//         --output <image.dll> --cpp <source.cpp> [--function <name>]
//
// Makes the program's language files from its resource image:
//   - <outdir>/<name>.ntv.lng, the native language (locale 0x0409): the
//     captions, hints and item and line lists of every form stream of the
//     image, except what the exclusions name (texts the program sets while it
//     runs), and one constant per string-table id;
//   - the image again with the settings blocks "VLT_LIBSETTINGS_" and
//     "VLT_EXESETTINGS_" of the native file (--output, and as C++ source with
//     --cpp, defining ProgramResourceImageBytes() or the function --function
//     names), so the program takes language DLLs built for its version;
//   - <outdir>/<name>.ntv, the native copy the localizer builds DLLs from;
//   - <outdir>/<name>.BG.lng for locale 2: a PSEUDO-TRANSLATION, not a human
//     one. Every text is put in brackets and its Latin letters that have a
//     Cyrillic look-alike are swapped for it, keeping "%s"-style placeholders
//     and a leading "MN nnn : " as they are, so a tester sees at a glance
//     which texts pass through the translation and that none is cut.
// The same image gives the same files. Errors go to stderr with exit code 1.
#include "localization/KLocales.h"
#include "localization/LocFormProc.h"
#include "localization/LocLangFile.h"
#include "localization/LocStorage.h"
#include "localization/WinResProc.h"
#include "platform/os/Modules.h"
#include "platform/rtl/SafeSave.h"
#include "platform/rtl/Streams.h"
#include "tools/common/ImageSource.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <cstdio>

namespace {

constexpr uint16_t kNativeLocale = 0x0409;
constexpr uint16_t kPseudoLocale = 2;
constexpr int32_t kLanguageVersion = 1;
const QString kStringUnit = QStringLiteral("StringTable");

// The properties a language file carries.
const QStringList kTakenProperties = {QStringLiteral("*.Caption"), QStringLiteral("*.Hint"),
                                      QStringLiteral("*.Items.Strings"), QStringLiteral("*.Lines.Strings")};

struct TFailure {
    QString Message;
};

QByteArray ReadAll(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw TFailure{QStringLiteral("%1: %2").arg(fileName, file.errorString())};
    return file.readAll();
}

void WriteAll(const QString& fileName, const QByteArray& bytes)
{
    try {
        SaveBytesToFile(fileName, bytes);
    } catch (const EFileSaveError& e) {
        throw TFailure{e.Message()};
    }
}

QStringList ReadExclusions(const QString& fileName)
{
    QStringList rules;
    for (const QString& raw : QString::fromUtf8(ReadAll(fileName)).split(u'\n')) {
        const QString line = raw.trimmed();
        if (!line.isEmpty() && !line.startsWith(u'#'))
            rules << line;
    }
    return rules;
}

// The Cyrillic look-alike of a Latin letter, or the letter itself.
QChar LookAlike(QChar c)
{
    static const QString latin = QStringLiteral("ABCEHKMOPTXaceopxy");
    static const QString cyrillic = QString::fromUtf8("АВСЕНКМОРТХасеорху");
    const int at = latin.indexOf(c);
    return at < 0 ? c : cyrillic[at];
}

QString PseudoLine(const QString& text)
{
    if (text.trimmed().isEmpty())
        return text;
    static const QRegularExpression messageNumber(QStringLiteral("^MN \\d{3} : "));
    const QRegularExpressionMatch match = messageNumber.match(text);
    const int start = match.hasMatch() ? int(match.capturedLength()) : 0;
    QString body;
    for (int i = start; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'%' && i + 1 < text.size()) {
            // A placeholder ("%s", "%d", "%1", "%%") stays as it is.
            body += c;
            body += text[++i];
            continue;
        }
        body += LookAlike(c);
    }
    return text.left(start) + u'[' + body + u']';
}

QString PseudoText(const QString& text, bool lines)
{
    if (!lines)
        return PseudoLine(text);
    QStringList out;
    for (const QString& line : text.split(QStringLiteral("\r\n")))
        out << PseudoLine(line);
    return out.join(QStringLiteral("\r\n"));
}

QByteArray SaveLanguage(TLangFile& file, TLocStorage& storage, int index)
{
    TMemoryStream stream;
    file.SaveToStream(stream, &storage, index, false);
    return stream.Bytes();
}

void Run(const QMap<QString, QString>& options)
{
    const QByteArray baseImage = ReadAll(options.value(QStringLiteral("--image")));
    TResProcessor resources;
    resources.LoadFromModule(baseImage);
    resources.SetTimeStamp(0);

    TLocStorage storage;
    storage.SetMainLangID(kNativeLocale);
    TLocFormProcessor scanner;
    scanner.SetLocStorage(&storage);
    scanner.SetLFVersion(kLanguageVersion);
    scanner.PropRules() = ReadExclusions(options.value(QStringLiteral("--exclusions"))) + kTakenProperties;
    scanner.ProcessFormsByResource(resources);
    if (auto* strings = static_cast<TResString*>(resources.GetItemByType(RT_STRING))) {
        for (int i = 0; i < strings->Count(); ++i) {
            const TResStringItem* item = strings->GetItems(i);
            TLocConstant* constant =
                storage.AddConstant(-1, kStringUnit, QStringLiteral("S%1").arg(item->Id()), item->Id());
            constant->RefreshMainValue(item->Data(), kLanguageVersion);
        }
    }

    const QString program = options.value(QStringLiteral("--program"));
    const QDir outdir(options.value(QStringLiteral("--outdir")));
    TLangFile native;
    native.SetLocale(kNativeLocale);
    native.SetLangEnglishName(LocaleEnglishName(kNativeLocale));
    native.SetLangLocalizedName(GetLocaleString(kNativeLocale, LOCALE_SNATIVELANGNAME));
    native.SetIsNative(true);
    native.SetVersion(kLanguageVersion);
    native.SetBuild(1);
    const QByteArray nativeFile = SaveLanguage(native, storage, 0);

    native.SaveOwnSection(resources, 6, true, true);
    const QByteArray image = resources.UpdateResources(baseImage);

    // The pseudo-translation: every value at the native version, so that
    // every part of the program takes it.
    const int pseudo = storage.AddLanguage(0, kPseudoLocale);
    auto translate = [&](TLocItem& item) {
        const QString text = PseudoText(item.MainValue()->Value(), item.ValueType() == ptStringList);
        item.Value(pseudo)->SetValue(text);
        item.Value(pseudo)->SetValueVersion(item.MainValue()->ValueVersion());
    };
    for (int f = 0; f < storage.Forms().Count(); ++f) {
        TLocForm* form = storage.Forms().Items(f);
        for (int p = 0; p < form->Properties().Count(); ++p)
            translate(*form->Properties().Items(p));
        for (int c = 0; c < form->Components().Count(); ++c) {
            TLocComponent* component = form->Components().Items(c);
            for (int p = 0; p < component->Properties().Count(); ++p)
                translate(*component->Properties().Items(p));
        }
    }
    for (int u = 0; u < storage.Units().Count(); ++u) {
        TLocUnit* unit = storage.Units().Items(u);
        for (int c = 0; c < unit->Constants().Count(); ++c)
            translate(*unit->Constants().Items(c));
    }
    TLangFile bulgarian;
    bulgarian.SetLocale(kPseudoLocale);
    bulgarian.SetLangEnglishName(LocaleEnglishName(kPseudoLocale));
    bulgarian.SetLangLocalizedName(QStringLiteral("Pseudo-translation (not Bulgarian)"));
    bulgarian.SetVersion(native.Version());
    bulgarian.SetBuild(1);
    const QByteArray pseudoFile = SaveLanguage(bulgarian, storage, pseudo);

    WriteAll(options.value(QStringLiteral("--output")), image);
    WriteAll(options.value(QStringLiteral("--cpp")),
             ImageCppSource(image, "tools/langgen from the image of tools/rescomp", "resources/ProgramResources.h",
                            options.value(QStringLiteral("--function"), QStringLiteral("ProgramResourceImageBytes"))
                                .toLatin1()));
    WriteAll(outdir.filePath(program + QStringLiteral(".ntv.lng")), nativeFile);
    WriteAll(outdir.filePath(program + QStringLiteral(".ntv")), image);
    WriteAll(outdir.filePath(program + u'.' + LocaleToExt(kPseudoLocale) + QStringLiteral(".lng")), pseudoFile);
}

} // namespace

int main(int argc, char** argv)
{
    IgnoreFileSizeSignal();
    QCoreApplication application(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    QMap<QString, QString> options;
    for (qsizetype i = 0; i + 1 < args.size(); i += 2)
        options[args[i]] = args[i + 1];
    for (const char* key : {"--image", "--exclusions", "--program", "--outdir", "--output", "--cpp"}) {
        if (!options.contains(QString::fromLatin1(key)) || args.size() % 2 != 0) {
            std::fprintf(stderr, "usage: langgen --image <in> --exclusions <file> --program <name> --outdir <dir> "
                                 "--output <image> --cpp <source>\n");
            return 2;
        }
    }
    try {
        Run(options);
    } catch (const TFailure& failure) {
        std::fprintf(stderr, "langgen: %s\n", failure.Message.toLocal8Bit().constData());
        return 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "langgen: %s\n", error.what());
        return 1;
    }
    return 0;
}
