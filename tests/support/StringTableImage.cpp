#include "tests/support/StringTableImage.h"

#include "platform/os/Modules.h"
#include "platform/rtl/Exceptions.h"

#include <QFile>
#include <QHash>
#include <QStringList>

namespace {

class TStringTableImage : public TResourceImage {
public:
    explicit TStringTableImage(const QByteArray& text);
    bool FindString(int id, QString& text) const override;
    bool FindResource(int, const QString&, QByteArray&) const override { return false; }

private:
    QHash<int, QString> FStrings;
};

QString Unescape(const QString& text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const QChar c = text[++i];
        out += c == u'n' ? QChar(u'\n') : c == u'r' ? QChar(u'\r') : c == u't' ? QChar(u'\t') : c;
    }
    return out;
}

TStringTableImage::TStringTableImage(const QByteArray& text)
{
    const QStringList lines = QString::fromUtf8(text).split(u'\n');
    for (qsizetype n = 0; n < lines.size(); ++n) {
        QString line = lines[n];
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (line.trimmed().isEmpty() || line.startsWith(u'#'))
            continue;
        const qsizetype tab = line.indexOf(u'\t');
        bool ok = false;
        const int id = tab > 0 ? line.left(tab).toInt(&ok) : 0;
        if (!ok || FStrings.contains(id))
            throw Exception(QStringLiteral("String table line %1 is malformed or repeats an id").arg(n + 1));
        FStrings.insert(id, Unescape(line.mid(tab + 1)));
    }
}

bool TStringTableImage::FindString(int id, QString& text) const
{
    const auto it = FStrings.find(id);
    if (it == FStrings.end())
        return false;
    text = *it;
    return true;
}

} // namespace

void InstallStringTableImage(const QString& stringTableFile)
{
    QFile file(stringTableFile);
    if (!file.open(QIODevice::ReadOnly))
        throw Exception(QStringLiteral("Cannot read %1").arg(stringTableFile));
    RegisterResourceImageParser(
        [](const QByteArray& bytes) { return std::make_unique<TStringTableImage>(bytes); });
    SetProgramResourceImage(file.readAll());
}
