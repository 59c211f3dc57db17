// rescomp --version <a.b.c[.d]> --strings <table.txt> [--form <file.dfm>]...
//         [--image <file>]... --output <image> [--cpp <source.cpp>
//         [--function <name>]]
//
// Builds the program's resource image, a PE resource-only image:
//   - the string table from a UTF-8 text file, one "id<TAB>text" a line;
//     blank lines and lines starting with "#" are skipped; in a text, \n, \r,
//     \t and \\ stand for a line feed, a carriage return, a tab and a
//     backslash; ids run from 0 to 65535 and may not repeat;
//   - every text form file compiled to a binary form stream, stored as RCDATA
//     named "T" and the form's (root object's) name in upper case;
//   - every image as RCDATA named after its file name in upper case with "."
//     turned into "_" ("logo.jpg" gives "LOGO_JPG");
//   - a version resource with the given version.
// With --cpp it also writes a C++ source defining ProgramResourceImageBytes()
// (declared in resources/ProgramResources.h), or the function --function names. Time stamps are 0, so the same
// sources give the same bytes. Outputs are written only when everything
// compiled; errors go to stderr as "rescomp: <file>:<line>: <message>" with
// exit code 1; wrong usage exits with 2.
#include "localization/WinResProc.h"
#include "tools/common/ImageSource.h"
#include "platform/objects/ObjectText.h"
#include "platform/objects/ValueStream.h"
#include "platform/rtl/SafeSave.h"
#include "platform/rtl/Streams.h"

#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringDecoder>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <map>

namespace {

// A failure that names the file and, when known, the line.
struct TCompileError {
    QString File;
    int Line = 0;
    QString Message;
};

[[noreturn]] void Fail(const QString& file, int line, const QString& message);
int Usage();
QByteArray ReadAll(const QString& fileName);
void WriteAll(const QString& fileName, const QByteArray& bytes);
QString Unescape(const QString& text, const QString& file, int line);
void CompileStringTable(const QString& fileName, TResString& strings);

// The root object's name of a binary form stream.
QString FormName(const QByteArray& binary);
void AddRCData(TResRCData& rcdata, const QString& name, const QByteArray& data, const QString& fileName);
void CompileForm(const QString& fileName, TResRCData& rcdata);
void CompileImage(const QString& fileName, TResRCData& rcdata);
void ParseVersion(const QString& text, uint16_t parts[4]);
QByteArray CppSource(const QByteArray& image, const QString& function);

struct TOptions {
    QString Version;
    QString Strings;
    QStringList Forms;
    QStringList Images;
    QString Output;
    QString Cpp;
    QString Function = QStringLiteral("ProgramResourceImageBytes");
};

bool ParseArguments(const QStringList& args, TOptions& options);
void Compile(const TOptions& options);

} // namespace

int main(int argc, char** argv)
{
    IgnoreFileSizeSignal();
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    TOptions options;
    if (!ParseArguments(args, options))
        return Usage();
    try {
        Compile(options);
    } catch (const TCompileError& e) {
        const QString where = e.Line > 0 ? QStringLiteral("%1:%2").arg(e.File).arg(e.Line) : e.File;
        std::fprintf(stderr, "rescomp: %s: %s\n", where.toLocal8Bit().constData(),
                     e.Message.toLocal8Bit().constData());
        return 1;
    } catch (const Exception& e) {
        std::fprintf(stderr, "rescomp: %s\n", e.Message().toLocal8Bit().constData());
        return 1;
    }
    return 0;
}

// --- helpers ---------------------------------------------------------------

namespace {

[[noreturn]] void Fail(const QString& file, int line, const QString& message)
{
    throw TCompileError{file, line, message};
}

int Usage()
{
    std::fputs("usage: rescomp --version <a.b.c[.d]> --strings <table.txt> [--form <file>]... "
               "[--image <file>]... --output <image> [--cpp <source.cpp>]\n",
               stderr);
    return 2;
}

QByteArray ReadAll(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        Fail(fileName, 0, QStringLiteral("cannot open: %1").arg(file.errorString()));
    return file.readAll();
}

void WriteAll(const QString& fileName, const QByteArray& bytes)
{
    try {
        SaveBytesToFile(fileName, bytes);
    } catch (const EFileSaveError& e) {
        Fail(fileName, 0, e.Message());
    }
}

QString Unescape(const QString& text, const QString& file, int line)
{
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'\\') {
            result += text[i];
            continue;
        }
        if (++i == text.size())
            Fail(file, line, QStringLiteral("a text ends in a lone backslash"));
        switch (text[i].unicode()) {
        case u'n':
            result += u'\n';
            break;
        case u'r':
            result += u'\r';
            break;
        case u't':
            result += u'\t';
            break;
        case u'\\':
            result += u'\\';
            break;
        default:
            Fail(file, line, QStringLiteral("unknown escape \\%1").arg(text[i]));
        }
    }
    return result;
}

void CompileStringTable(const QString& fileName, TResString& strings)
{
    QByteArray bytes = ReadAll(fileName);
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    std::map<int, int> lineOfId;
    const QList<QByteArray> lines = bytes.split('\n');
    for (int n = 0; n < lines.size(); ++n) {
        const int lineNo = n + 1;
        QByteArray raw = lines[n];
        if (raw.endsWith('\r'))
            raw.chop(1);
        QStringDecoder decoder(QStringDecoder::Utf8);
        const QString line = decoder(raw);
        if (decoder.hasError())
            Fail(fileName, lineNo, QStringLiteral("not valid UTF-8"));
        if (line.trimmed().isEmpty() || line.startsWith(u'#'))
            continue;
        const qsizetype tab = line.indexOf(u'\t');
        if (tab < 0)
            Fail(fileName, lineNo, QStringLiteral("expected id<TAB>text"));
        const QString idText = line.left(tab);
        bool ok = !idText.isEmpty() &&
                  std::all_of(idText.begin(), idText.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
        const uint id = ok ? idText.toUInt(&ok) : 0;
        if (!ok || id > 0xFFFF)
            Fail(fileName, lineNo, QStringLiteral("id \"%1\" is not a number from 0 to 65535").arg(idText));
        const QString text = Unescape(line.mid(tab + 1), fileName, lineNo);
        if (text.isEmpty())
            Fail(fileName, lineNo, QStringLiteral("id %1 has an empty text").arg(id));
        if (text.size() > 0xFFFF)
            Fail(fileName, lineNo, QStringLiteral("id %1 has a text longer than 65535 characters").arg(id));
        const auto [it, inserted] = lineOfId.emplace(int(id), lineNo);
        if (!inserted)
            Fail(fileName, lineNo, QStringLiteral("id %1 repeats line %2").arg(id).arg(it->second));
        strings.Add(int32_t(id), text);
    }
}

QString FormName(const QByteArray& binary)
{
    TMemoryStream stream(binary);
    TValueReader reader(stream);
    reader.ReadSignature();
    TFilerFlags flags = 0;
    int childPos = -1;
    reader.ReadPrefix(flags, childPos);
    reader.ReadStr(); // class name
    return reader.ReadStr();
}

void AddRCData(TResRCData& rcdata, const QString& name, const QByteArray& data, const QString& fileName)
{
    if (rcdata.IndexOfName(name) >= 0)
        Fail(fileName, 0, QStringLiteral("resource name %1 is used twice").arg(name));
    rcdata.Add(name, false)->SetData(data);
}

void CompileForm(const QString& fileName, TResRCData& rcdata)
{
    QByteArray binary;
    QString name;
    try {
        binary = ObjectTextToBinary(ReadAll(fileName));
        name = FormName(binary);
    } catch (const Exception& e) {
        Fail(fileName, 0, e.Message());
    }
    if (name.isEmpty())
        Fail(fileName, 0, QStringLiteral("the form's root object has no name"));
    AddRCData(rcdata, QStringLiteral("T") + name.toUpper(), binary, fileName);
}

void CompileImage(const QString& fileName, TResRCData& rcdata)
{
    const QString name = QFileInfo(fileName).fileName().toUpper().replace(u'.', u'_');
    AddRCData(rcdata, name, ReadAll(fileName), fileName);
}

void ParseVersion(const QString& text, uint16_t parts[4])
{
    const QStringList pieces = text.split(u'.');
    if (pieces.size() < 1 || pieces.size() > 4)
        Fail(QStringLiteral("--version"), 0, QStringLiteral("\"%1\" is not a version a.b.c.d").arg(text));
    for (int i = 0; i < 4; ++i) {
        bool ok = true;
        const uint value = i < pieces.size() ? pieces[i].toUInt(&ok) : 0;
        if (!ok || value > 0xFFFF)
            Fail(QStringLiteral("--version"), 0, QStringLiteral("\"%1\" is not a version a.b.c.d").arg(text));
        parts[i] = uint16_t(value);
    }
}

QByteArray CppSource(const QByteArray& image, const QString& function)
{
    return ImageCppSource(image, "tools/rescomp from resources/", "resources/ProgramResources.h",
                          function.toLatin1());
}

bool ParseArguments(const QStringList& args, TOptions& options)
{
    for (qsizetype i = 0; i < args.size(); i += 2) {
        if (i + 1 >= args.size())
            return false;
        const QString& key = args[i];
        const QString& value = args[i + 1];
        if (key == QLatin1String("--version"))
            options.Version = value;
        else if (key == QLatin1String("--strings"))
            options.Strings = value;
        else if (key == QLatin1String("--form"))
            options.Forms << value;
        else if (key == QLatin1String("--image"))
            options.Images << value;
        else if (key == QLatin1String("--output"))
            options.Output = value;
        else if (key == QLatin1String("--cpp"))
            options.Cpp = value;
        else if (key == QLatin1String("--function"))
            options.Function = value;
        else
            return false;
    }
    return !options.Version.isEmpty() && !options.Strings.isEmpty() && !options.Output.isEmpty();
}

void Compile(const TOptions& options)
{
    auto strings = std::make_unique<TResString>();
    CompileStringTable(options.Strings, *strings);
    auto rcdata = std::make_unique<TResRCData>();
    for (const QString& form : options.Forms)
        CompileForm(form, *rcdata);
    for (const QString& image : options.Images)
        CompileImage(image, *rcdata);
    uint16_t version[4];
    ParseVersion(options.Version, version);
    auto versionBlock = std::make_unique<TResVersion>();
    versionBlock->SetFileVersion(version[0], version[1], version[2], version[3]);

    TResProcessor set;
    set.SetTimeStamp(0);
    set.AddBlock(std::move(strings));
    if (rcdata->Count() > 0)
        set.AddBlock(std::move(rcdata));
    set.AddBlock(std::move(versionBlock));
    const QByteArray image = set.CreateDLLImage();

    WriteAll(options.Output, image);
    if (!options.Cpp.isEmpty())
        WriteAll(options.Cpp, CppSource(image, options.Function));
}

} // namespace
