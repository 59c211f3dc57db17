#include "platform/rtl/IniFiles.h"

#include "platform/rtl/CodePages.h"
#include "platform/rtl/NumberText.h"
#include "platform/rtl/SafeSave.h"
#include "platform/rtl/Streams.h"
#include "platform/rtl/StringRoutines.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace {

// One line of the file as read, with what the parser made of it. Lines other
// than sections and keys are kept verbatim and written back unchanged.
// BadHeader is a "[" line without its "]".
enum class LineKind { Blank, Comment, Section, BadHeader, Key, Other };

struct IniLine {
    QString Text; // the line as it stands in the file, without its line end
    LineKind Kind = LineKind::Other;
    QString Name;  // section or key name, trimmed
    QString Value; // key value, trimmed, quotes not yet removed
};

// The parsed file. A section runs from its header to the next header line
// (a valid one or a broken one); sections of the same name count as one.
// Lines before the first section are kept but not read.
struct IniDocument {
    std::vector<IniLine> Lines;
    QString LineEnd = QStringLiteral("\r\n");
};

enum class LoadMode { Lenient, ForWrite };

IniDocument Load(const QString& fileName, LoadMode mode);
void Save(const QString& fileName, const IniDocument& document);
bool SameName(const QString& a, const QString& b);
bool ContainsName(const QStringList& names, const QString& name);
void Fill(TStringList& list, const QStringList& strings);
std::vector<size_t> SectionHeaders(const IniDocument& document, const QString& section);
size_t SectionEnd(const IniDocument& document, size_t header);
const IniLine* FindKey(const IniDocument& document, const QString& section, const QString& ident);
QString Unquote(const QString& value);
void CheckWritable(const QString& fileName, const QString& section, const QString& ident,
                   const QString& value);
[[noreturn]] void WriteError(const QString& fileName, const QString& reason);

} // namespace

TIniFile::TIniFile(const QString& fileName) : FFileName(fileName) {}

QString TIniFile::ReadString(const QString& section, const QString& ident, const QString& def) const
{
    const IniDocument document = Load(FFileName, LoadMode::Lenient);
    const IniLine* line = FindKey(document, section, ident);
    return line ? Unquote(line->Value) : def;
}

void TIniFile::WriteString(const QString& section, const QString& ident, const QString& value)
{
    CheckWritable(FFileName, section, ident, value);
    IniDocument document = Load(FFileName, LoadMode::ForWrite);
    const std::vector<size_t> headers = SectionHeaders(document, section);
    for (size_t header : headers) {
        const size_t end = SectionEnd(document, header);
        for (size_t i = header + 1; i < end; ++i) {
            IniLine& line = document.Lines[i];
            if (line.Kind != LineKind::Key || !SameName(line.Name, Trim(ident)))
                continue;
            // The key keeps the spelling it has in the file.
            const QString text = line.Name + QLatin1Char('=') + value;
            if (line.Text == text)
                return;
            line.Text = text;
            line.Value = Trim(value);
            Save(FFileName, document);
            return;
        }
    }
    const QString name = Trim(ident);
    IniLine key{name + QLatin1Char('=') + value, LineKind::Key, name, Trim(value)};
    if (headers.empty()) {
        const QString sectionName = Trim(section);
        document.Lines.push_back(IniLine{QLatin1Char('[') + sectionName + QLatin1Char(']'), LineKind::Section,
                                         sectionName, QString()});
        document.Lines.push_back(key);
    } else {
        // After the section's last key, so blank lines and comments that lead
        // into the next section stay where they are.
        const size_t header = headers.front();
        const size_t end = SectionEnd(document, header);
        size_t at = header + 1;
        for (size_t i = header + 1; i < end; ++i)
            if (document.Lines[i].Kind == LineKind::Key)
                at = i + 1;
        document.Lines.insert(document.Lines.begin() + qsizetype(at), key);
    }
    Save(FFileName, document);
}

int TIniFile::ReadInteger(const QString& section, const QString& ident, int def) const
{
    return StrToIntDef(ReadString(section, ident, QString()), def);
}

void TIniFile::WriteInteger(const QString& section, const QString& ident, int value)
{
    WriteString(section, ident, IntToStr(value));
}

bool TIniFile::ReadBool(const QString& section, const QString& ident, bool def) const
{
    return ReadInteger(section, ident, def ? 1 : 0) != 0;
}

void TIniFile::WriteBool(const QString& section, const QString& ident, bool value)
{
    WriteString(section, ident, value ? QStringLiteral("1") : QStringLiteral("0"));
}

double TIniFile::ReadFloat(const QString& section, const QString& ident, double def) const
{
    const QString text = ReadString(section, ident, QString());
    return text.isEmpty() ? def : StrToFloatDef(text, def);
}

void TIniFile::WriteFloat(const QString& section, const QString& ident, double value)
{
    WriteString(section, ident, FloatToStr(value));
}

// A section counts as present only when it holds a key, as the runtime's
// test through ReadSection has it.
bool TIniFile::SectionExists(const QString& section) const
{
    TStringList idents;
    ReadSection(section, idents);
    return idents.Count() > 0;
}

bool TIniFile::ValueExists(const QString& section, const QString& ident) const
{
    const IniDocument document = Load(FFileName, LoadMode::Lenient);
    return FindKey(document, section, ident) != nullptr;
}

void TIniFile::ReadSection(const QString& section, TStringList& idents) const
{
    const IniDocument document = Load(FFileName, LoadMode::Lenient);
    QStringList found;
    for (size_t header : SectionHeaders(document, section)) {
        const size_t end = SectionEnd(document, header);
        for (size_t i = header + 1; i < end; ++i) {
            const IniLine& line = document.Lines[i];
            if (line.Kind == LineKind::Key && !ContainsName(found, line.Name))
                found.append(line.Name);
        }
    }
    Fill(idents, found);
}

void TIniFile::ReadSections(TStringList& sections) const
{
    const IniDocument document = Load(FFileName, LoadMode::Lenient);
    QStringList found;
    for (const IniLine& line : document.Lines)
        if (line.Kind == LineKind::Section && !ContainsName(found, line.Name))
            found.append(line.Name);
    Fill(sections, found);
}

void TIniFile::ReadSectionValues(const QString& section, TStringList& values) const
{
    const IniDocument document = Load(FFileName, LoadMode::Lenient);
    QStringList idents;
    QStringList lines;
    for (size_t header : SectionHeaders(document, section)) {
        const size_t end = SectionEnd(document, header);
        for (size_t i = header + 1; i < end; ++i) {
            const IniLine& line = document.Lines[i];
            if (line.Kind == LineKind::Key && !ContainsName(idents, line.Name)) {
                idents.append(line.Name);
                lines.append(line.Name + QLatin1Char('=') + Unquote(line.Value));
            }
        }
    }
    Fill(values, lines);
}

void TIniFile::EraseSection(const QString& section)
{
    IniDocument document = Load(FFileName, LoadMode::ForWrite);
    const std::vector<size_t> headers = SectionHeaders(document, section);
    if (headers.empty())
        return;
    // From the last occurrence back, so the earlier indexes stay valid.
    for (auto it = headers.rbegin(); it != headers.rend(); ++it) {
        const size_t end = SectionEnd(document, *it);
        document.Lines.erase(document.Lines.begin() + qsizetype(*it),
                             document.Lines.begin() + qsizetype(end));
    }
    Save(FFileName, document);
}

void TIniFile::DeleteKey(const QString& section, const QString& ident)
{
    IniDocument document = Load(FFileName, LoadMode::ForWrite);
    bool changed = false;
    const std::vector<size_t> headers = SectionHeaders(document, section);
    for (auto it = headers.rbegin(); it != headers.rend(); ++it) {
        for (size_t i = SectionEnd(document, *it); i-- > *it + 1;) {
            const IniLine& line = document.Lines[i];
            if (line.Kind == LineKind::Key && SameName(line.Name, ident)) {
                document.Lines.erase(document.Lines.begin() + qsizetype(i));
                changed = true;
            }
        }
    }
    if (changed)
        Save(FFileName, document);
}

namespace {

// UTF-8 with or without a byte order mark; bytes that are not valid UTF-8
// are taken as the Windows Ansi code page, which older files were written in.
QString DecodeText(QByteArray bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        text = AnsiToUnicode(bytes, CP_ACP);
    return text;
}

IniLine ParseLine(const QString& text, bool inSection)
{
    IniLine line;
    line.Text = text;
    const QString trimmed = Trim(text);
    if (trimmed.isEmpty()) {
        line.Kind = LineKind::Blank;
    } else if (trimmed[0] == u';' || trimmed[0] == u'#') {
        line.Kind = LineKind::Comment;
    } else if (trimmed[0] == u'[') {
        const qsizetype close = trimmed.indexOf(u']');
        if (close > 0) {
            line.Kind = LineKind::Section;
            line.Name = Trim(trimmed.mid(1, close - 1));
        } else {
            line.Kind = LineKind::BadHeader;
        }
    } else if (inSection) {
        const qsizetype equals = trimmed.indexOf(u'=');
        if (equals > 0) {
            line.Kind = LineKind::Key;
            line.Name = Trim(trimmed.left(equals));
            line.Value = Trim(trimmed.mid(equals + 1));
        }
    }
    return line;
}

// A header without its "]" is kept as it stands and ends the section before
// it: the keys after it belong to no section and are not read, rather
// than being taken for keys of the previous one.
IniDocument Parse(const QString& text)
{
    IniDocument document;
    // The line end of the first line decides how the file is written back.
    const qsizetype firstEnd = text.indexOf(u'\n');
    if (firstEnd >= 0)
        document.LineEnd =
            firstEnd > 0 && text[firstEnd - 1] == u'\r' ? QStringLiteral("\r\n") : QStringLiteral("\n");
    bool inSection = false;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        const qsizetype start = i;
        while (i < n && text[i] != u'\r' && text[i] != u'\n')
            ++i;
        IniLine line = ParseLine(text.mid(start, i - start), inSection);
        if (line.Kind == LineKind::Section)
            inSection = true;
        else if (line.Kind == LineKind::BadHeader)
            inSection = false;
        document.Lines.push_back(std::move(line));
        if (i < n && text[i] == u'\r')
            ++i;
        if (i < n && text[i] == u'\n')
            ++i;
    }
    return document;
}

IniDocument Load(const QString& fileName, LoadMode mode)
{
    // What is no file is as none to a read; a write must not replace it.
    // What became no file since the look is refused by the open.
    QFile file;
    const bool isFile = QFileInfo(fileName).isFile();
    const int error = isFile ? OpenRegularForReading(file, fileName) : 0;
    if (!isFile || error == ENXIO || error == EISDIR) {
        if (mode == LoadMode::ForWrite && QFileInfo::exists(fileName))
            WriteError(fileName, QStringLiteral("it is not a file"));
        return IniDocument();
    }
    if (error != 0) {
        // Reads give their defaults, but a write must not replace a file it
        // could not read.
        if (mode == LoadMode::ForWrite)
            WriteError(fileName, OpenFailureReason(fileName, error));
        return IniDocument();
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError && mode == LoadMode::ForWrite)
        WriteError(fileName, file.errorString());
    return Parse(DecodeText(bytes));
}

void Save(const QString& fileName, const IniDocument& document)
{
    QString text;
    for (const IniLine& line : document.Lines) {
        text += line.Text;
        text += document.LineEnd;
    }
    try {
        SaveBytesToFile(fileName, text.toUtf8());
    } catch (const EFileSaveError& e) {
        throw EIniFileException(e.Message());
    }
}

// Windows folds case for profile names; Qt's case-insensitive comparison
// folds all of Unicode the same way for the letters that matter here.
bool SameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

bool ContainsName(const QStringList& names, const QString& name)
{
    return std::any_of(names.begin(), names.end(), [&](const QString& n) { return SameName(n, name); });
}

void Fill(TStringList& list, const QStringList& strings)
{
    list.BeginUpdate();
    try {
        list.Clear();
        for (const QString& s : strings)
            list.Add(s);
    } catch (...) {
        list.EndUpdate();
        throw;
    }
    list.EndUpdate();
}

std::vector<size_t> SectionHeaders(const IniDocument& document, const QString& section)
{
    const QString name = Trim(section);
    std::vector<size_t> headers;
    for (size_t i = 0; i < document.Lines.size(); ++i) {
        const IniLine& line = document.Lines[i];
        if (line.Kind == LineKind::Section && SameName(line.Name, name))
            headers.push_back(i);
    }
    return headers;
}

size_t SectionEnd(const IniDocument& document, size_t header)
{
    size_t i = header + 1;
    while (i < document.Lines.size()) {
        const IniLine& line = document.Lines[i];
        if (line.Kind == LineKind::Section || line.Kind == LineKind::BadHeader)
            break;
        ++i;
    }
    return i;
}

const IniLine* FindKey(const IniDocument& document, const QString& section, const QString& ident)
{
    const QString name = Trim(ident);
    for (size_t header : SectionHeaders(document, section)) {
        const size_t end = SectionEnd(document, header);
        for (size_t i = header + 1; i < end; ++i) {
            const IniLine& line = document.Lines[i];
            if (line.Kind == LineKind::Key && SameName(line.Name, name))
                return &line;
        }
    }
    return nullptr;
}

// A value in matching double or single quotes is read without them.
QString Unquote(const QString& value)
{
    if (value.size() >= 2 && (value[0] == u'"' || value[0] == u'\'') && value.back() == value[0])
        return value.mid(1, value.size() - 2);
    return value;
}

// Refuses what could not be read back as written: a line break would start
// new lines (even new sections) in the file, an "=" would split the key, a
// "]" would end the section name early, and a key starting like a comment or
// a header would not be a key at all.
void CheckWritable(const QString& fileName, const QString& section, const QString& ident,
                   const QString& value)
{
    const auto hasLineBreak = [](const QString& s) { return s.contains(u'\r') || s.contains(u'\n'); };
    const QString key = Trim(ident);
    if (hasLineBreak(section) || section.contains(u']'))
        WriteError(fileName, QStringLiteral("the section name \"%1\" cannot be stored").arg(section));
    if (hasLineBreak(ident) || key.isEmpty() || key.contains(u'=') || key.startsWith(u';') ||
        key.startsWith(u'#') || key.startsWith(u'['))
        WriteError(fileName, QStringLiteral("the key name \"%1\" cannot be stored").arg(ident));
    if (hasLineBreak(value))
        WriteError(fileName, QStringLiteral("the value of \"%1\" holds a line break").arg(ident));
}

void WriteError(const QString& fileName, const QString& reason)
{
    throw EIniFileException(
        QStringLiteral("Unable to write to %1: %2").arg(QDir::toNativeSeparators(fileName), reason));
}

} // namespace
