// The layering of the named shared objects' files: a file calls only what
// the files listed before its own in SharedObjects_p.h offer (and what that
// header shares before its first section), so that calls between the files
// run down. The test reads the header and the files from the source tree:
// the order of the files is that of the header's section markers (a line
// "// SharedObjects<Concern>.cpp: ..."), and the names each file offers are
// those its section declares or defines at namespace level, so a name added
// to a section is held without a change here. Inline bodies of a section
// belong to its file and are held alike.
#include <QDir>
#include <QFile>
#include <QList>
#include <QMap>
#include <QRegularExpression>
#include <QStringList>

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

namespace {

const QString kHeaderName = QStringLiteral("SharedObjects_p.h");
// The public functions' file stands on every section and has none.
const QString kTopName = QStringLiteral("SharedObjects.cpp");

bool IsIdentifierChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_';
}

// The text with its comments, string and character literals blanked and its
// line breaks kept, so that a name in a comment or a message is no use and
// lines still count. A number is passed over whole: its digit separators
// (10'000) open no character literal.
QString Stripped(QString text)
{
    const auto blank = [&text](qsizetype from, qsizetype to) {
        for (qsizetype i = from; i < std::min(to, text.size()); ++i)
            if (text[i] != u'\n')
                text[i] = u' ';
    };
    for (qsizetype i = 0; i < text.size();) {
        const QStringView rest = QStringView(text).mid(i);
        qsizetype end = i + 1;
        if (rest.startsWith(u"//")) {
            end = text.indexOf(u'\n', i);
            end = end < 0 ? text.size() : end;
            blank(i, end);
        } else if (rest.startsWith(u"/*")) {
            end = text.indexOf(u"*/", i + 2);
            end = end < 0 ? text.size() : end + 2;
            blank(i, end);
        } else if (text[i] == u'"' || text[i] == u'\'') {
            while (end < text.size() && text[end] != text[i] && text[end] != u'\n')
                end += text[end] == u'\\' ? 2 : 1;
            blank(i, ++end);
        } else if (text[i].isDigit() && (i == 0 || !IsIdentifierChar(text[i - 1]))) {
            while (end < text.size() &&
                   (IsIdentifierChar(text[end]) || text[end] == u'\'' || text[end] == u'.'))
                ++end;
        }
        i = end;
    }
    return text;
}

// The name a statement at namespace level declares: a function pointer's, a
// function's (the first name before a parenthesis that is not a keyword's),
// a type's, else a variable's, constant's or alias's (the last name before
// its initializer).
QString DeclaredName(QString statement)
{
    static const QRegularExpression templateHead(R"(^\s*template\s*<[^<>]*(<[^<>]*>[^<>]*)*>)");
    static const QRegularExpression pointer(R"(\(\s*\*\s*([A-Za-z_]\w*)\s*\)\s*\()");
    static const QRegularExpression call(R"(\b([A-Za-z_]\w*)\s*\()");
    static const QRegularExpression type(
        R"(\b(?:struct|class|union|enum)\s+(?:(?:class|struct)\s+)?(?:alignas\s*\([^)]*\)\s*)?([A-Za-z_]\w*))");
    static const QRegularExpression variable(R"(([A-Za-z_]\w*)\s*(\[[^\]]*\]\s*)*$)");
    static const QStringList keywords = {"alignas",  "alignof", "decltype",
                                         "noexcept", "sizeof",  "static_assert"};
    statement.remove(templateHead);
    const qsizetype initializer = statement.indexOf(u'=');
    const QString head = initializer < 0 ? statement : statement.left(initializer);
    if (const auto m = pointer.match(head); m.hasMatch())
        return m.captured(1);
    for (const auto& m : call.globalMatch(head))
        if (!keywords.contains(m.captured(1)))
            return m.captured(1);
    if (const auto m = type.match(head); m.hasMatch())
        return m.captured(1);
    return variable.match(head).captured(1);
}

// The header read as layers: the files of its sections from the bottom up,
// the section of each line (-1 for the shared part before the first marker)
// and the section that offers each name.
struct Layers {
    QStringList Files;
    QList<int> SectionOfLine; // [line - 1]
    QMap<QString, int> Offerer;
};

Layers ReadLayers(const QString& header)
{
    static const QRegularExpression marker(R"(^\s*//\s*(SharedObjects\w*\.cpp):)");
    static const QRegularExpression directive(R"(^[ \t]*#.*$)", QRegularExpression::MultilineOption);
    static const QRegularExpression namespaceHead(R"(\bnamespace\b[\w\s:]*$)");
    Layers layers;
    for (const QString& line : header.split(u'\n')) {
        if (const auto m = marker.match(line); m.hasMatch())
            layers.Files << m.captured(1);
        layers.SectionOfLine << int(layers.Files.size()) - 1;
    }
    // A statement at namespace level ends at a semicolon or with the body it
    // opened; what bodies (of functions, types, lambdas) declare is their own.
    QList<bool> braces; // per open brace: whether it opened a body, not a namespace
    QString statement;
    int line = 1;
    int statementLine = 0;
    const auto offer = [&] {
        const QString name = DeclaredName(statement);
        const int section = statementLine > 0 ? layers.SectionOfLine[statementLine - 1] : -1;
        if (!name.isEmpty() && section >= 0 && !layers.Offerer.contains(name))
            layers.Offerer.insert(name, section);
        statement.clear();
        statementLine = 0;
    };
    const QString text = Stripped(header).replace(directive, QString());
    for (const QChar c : text) {
        line += c == u'\n';
        const bool atNamespaceLevel = !braces.contains(true);
        if (c == u'{') {
            braces << !(atNamespaceLevel && statement.contains(namespaceHead));
            if (!braces.last()) {
                statement.clear();
                statementLine = 0;
            }
        } else if (c == u'}' && !braces.isEmpty()) {
            if (braces.takeLast() && !braces.contains(true))
                offer();
        } else if (atNamespaceLevel && c == u';') {
            offer();
        } else if (atNamespaceLevel) {
            statementLine = statementLine == 0 && !c.isSpace() ? line : statementLine;
            statement += c;
        }
    }
    return layers;
}

// Adds to faults each use in text (stripped) of a name that a section above
// the one of its line offers. A name after "." or "->" is a member of
// something else. Lines of the shared part (level -1) are passed over: its
// records name members after what fills them (ObjectFolder::BellRoom), which
// no reading of names alone tells from a use.
void FindUpwardUses(const QString& file, const QString& text, const QList<int>& levelOfLine,
                    const Layers& layers, QStringList& faults)
{
    static const QRegularExpression identifier(R"(\b[A-Za-z_]\w*)");
    int line = 1;
    qsizetype counted = 0;
    for (const auto& m : identifier.globalMatch(text)) {
        line += int(QStringView(text).mid(counted, m.capturedStart() - counted).count(u'\n'));
        counted = m.capturedStart();
        const int offerer = layers.Offerer.value(m.captured(), -1);
        const int level = levelOfLine[line - 1];
        const QStringView before = QStringView(text).left(m.capturedStart()).trimmed();
        if (level >= 0 && offerer > level && !before.endsWith(u'.') && !before.endsWith(u"->"))
            faults << QStringLiteral("%1:%2: %3 is offered by %4, above %5")
                          .arg(file)
                          .arg(line)
                          .arg(m.captured(), layers.Files[offerer], layers.Files[level]);
    }
}

// Where the files break the layering that the header lists, each fault
// naming the file, the line and the name; sources holds every
// SharedObjects*.cpp of the folder by file name.
QStringList LayeringFaults(const QString& header, const QMap<QString, QString>& sources)
{
    const Layers layers = ReadLayers(header);
    QStringList faults;
    for (qsizetype i = 0; i < layers.Files.size(); ++i)
        if (!sources.contains(layers.Files[i]))
            faults << QStringLiteral("%1:%2: the section of %3 names no file of the folder")
                          .arg(kHeaderName)
                          .arg(layers.SectionOfLine.indexOf(i) + 1)
                          .arg(layers.Files[i]);
    FindUpwardUses(kHeaderName, Stripped(header), layers.SectionOfLine, layers, faults);
    for (auto it = sources.begin(); it != sources.end(); ++it) {
        const int level = int(layers.Files.indexOf(it.key()));
        if (level < 0 && it.key() != kTopName)
            faults << QStringLiteral("%1 has no section in %2").arg(it.key(), kHeaderName);
        else if (level >= 0)
            FindUpwardUses(it.key(), Stripped(it.value()), QList<int>(it.value().count(u'\n') + 1, level),
                           layers, faults);
    }
    return faults;
}

TEST(SharedObjectsLayeringTest, TheFilesOfTheTreeCallOnlyTheFilesListedBeforeTheirOwn)
{
    const QDir folder(QStringLiteral(TESSVAR_SOURCE_DIR "/platform/os"));
    QFile header(folder.filePath(kHeaderName));
    ASSERT_TRUE(header.open(QIODevice::ReadOnly)) << qPrintable(header.fileName());
    QMap<QString, QString> sources;
    for (const QString& name : folder.entryList({QStringLiteral("SharedObjects*.cpp")}, QDir::Files)) {
        QFile source(folder.filePath(name));
        ASSERT_TRUE(source.open(QIODevice::ReadOnly)) << qPrintable(source.fileName());
        sources.insert(name, QString::fromUtf8(source.readAll()));
    }
    const QStringList faults = LayeringFaults(QString::fromUtf8(header.readAll()), sources);
    EXPECT_TRUE(faults.isEmpty()) << qPrintable(faults.join(u'\n'));
}

// A made-up header of three sections; each kind of name a section may
// offer is in one: a constant and a function (the base), a type, a function
// pointer and a function (the bells), templates and an inline function
// (the waits).
constexpr char kHeader[] = R"(#pragma once
namespace sharedobjects_detail {
struct Registry { int Lock; };
// SharedObjectsBase.cpp: the bottom.
constexpr int kLimit = 4;
int Pid();
// SharedObjectsBell.cpp: on the base.
struct Bell { int Pid; };
extern int (*Hook)(int);
void Ring(Bell& bell);
// SharedObjectsWait.cpp: on the bells.
template <class Step> bool ChangeEvent(Bell& bell, Step step);
template <class T> struct Pair { T First; };
inline void Wake(Bell& bell) { Ring(bell); Hook(kLimit); }
} // namespace sharedobjects_detail
)";

// Files that keep the layering of kHeader.
const QMap<QString, QString> kSources = {
    {"SharedObjects.cpp", "void Open() { Bell bell; Wake(bell); Pid(); }\n"},
    {"SharedObjectsBase.cpp", "int Pid() { return kLimit; }\n"},
    {"SharedObjectsBell.cpp", "void Ring(Bell& bell) { Pid(); }\n"},
    {"SharedObjectsWait.cpp", "void Go(Bell& b) { ChangeEvent(b, 0); Wake(b); }\n"},
};

struct LayeringRow {
    int Row;
    std::pair<const char*, const char*> HeaderEdit; // a line of kHeader and what replaces it
    QMap<QString, QString> SourceEdits;             // a file's new text, or removed where null
    QStringList Faults;
};

TEST(SharedObjectsLayeringTest, UpwardUsesAndFilesOutsideTheListAreFound)
{
    // Lines count from 1 in each file; the header's sections begin at lines
    // 4, 7 and 11.
    const LayeringRow rows[] = {
        // 1: names that only look like uses of a higher section: in a comment,
        // a string (past an escaped quote), a longer name, a member.
        {1,
         {},
         {{"SharedObjectsBase.cpp", "int Pid() { return Ringer + x.Wake + p->Hook; } // Ring()\n"
                                    "const char* kText = \"\\\"Bell(\";\n"}},
         {}},
        // 2: a call of a higher file's function, past a digit separator.
        {2,
         {},
         {{"SharedObjectsBase.cpp", "int Pid()\n{ return 10'000 + Ring(b); }\n"}},
         {"SharedObjectsBase.cpp:2: Ring is offered by SharedObjectsBell.cpp, above SharedObjectsBase.cpp"}},
        // 3: a type, a function pointer and templates of higher files.
        {3,
         {},
         {{"SharedObjectsBase.cpp", "int Pid() { Bell b; Hook(1); ChangeEvent(b, Pair<int>()); }\n"}},
         {"SharedObjectsBase.cpp:1: Bell is offered by SharedObjectsBell.cpp, above SharedObjectsBase.cpp",
          "SharedObjectsBase.cpp:1: Hook is offered by SharedObjectsBell.cpp, above SharedObjectsBase.cpp",
          "SharedObjectsBase.cpp:1: ChangeEvent is offered by SharedObjectsWait.cpp, above "
          "SharedObjectsBase.cpp",
          "SharedObjectsBase.cpp:1: Pair is offered by SharedObjectsWait.cpp, above SharedObjectsBase.cpp"}},
        // 4: an inline body of the bells' section that calls the waits.
        {4,
         {"void Ring(Bell& bell);", "inline void Ring(Bell& bell) { Wake(bell); }"},
         {},
         {"SharedObjects_p.h:10: Wake is offered by SharedObjectsWait.cpp, above SharedObjectsBell.cpp"}},
        // 5: a file of the folder that the header does not list.
        {5,
         {},
         {{"SharedObjectsCache.cpp", "void Keep() {}\n"}},
         {"SharedObjectsCache.cpp has no section in SharedObjects_p.h"}},
        // 6: a section of a file that is not in the folder.
        {6,
         {},
         {{"SharedObjectsWait.cpp", QString()}},
         {"SharedObjects_p.h:11: the section of SharedObjectsWait.cpp names no file of the folder"}},
    };
    for (const LayeringRow& row : rows) {
        QString header = QString::fromUtf8(kHeader);
        if (row.HeaderEdit.first)
            header.replace(QString::fromUtf8(row.HeaderEdit.first), QString::fromUtf8(row.HeaderEdit.second));
        QMap<QString, QString> sources = kSources;
        for (auto it = row.SourceEdits.begin(); it != row.SourceEdits.end(); ++it)
            if (it.value().isNull())
                sources.remove(it.key());
            else
                sources.insert(it.key(), it.value());
        EXPECT_EQ(LayeringFaults(header, sources).join(u'\n').toStdString(),
                  row.Faults.join(u'\n').toStdString())
            << "row " << row.Row;
    }
}

} // namespace
