#pragma once
// What a PDF file holds inside, read from its bytes: the colours its pages'
// content streams set (inflated first when Flate-compressed) and the colour
// spaces of its images. It reads PDFs as Qt writes them: objects "N 0 obj"
// one after another, stream lengths direct or in an object of their own.
#include <QByteArray>
#include <QByteArrayList>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <map>
#include <vector>

struct TPdfObject {
    QByteArray Dict;     // the text between "obj" and "stream" (or "endobj")
    QByteArray Stream;   // inflated; empty when the object has none
    bool Broken = false; // a stream that runs past the file or cannot be inflated
};

// A colour set in a content stream: the operator and its numbers.
struct TPdfColour {
    QByteArray Operator;
    std::vector<double> Components;

    // Grey: one component, three equal ones, or CMYK with no colour.
    bool Grey() const
    {
        if (Components.size() == 1)
            return true;
        if (Components.size() == 3)
            return Components[0] == Components[1] && Components[1] == Components[2];
        return Components.size() == 4 && Components[0] == 0 && Components[1] == 0 && Components[2] == 0;
    }
    QString Text() const
    {
        QStringList parts;
        for (const double c : Components)
            parts << QString::number(c);
        return parts.join(u' ') + u' ' + QString::fromLatin1(Operator);
    }
};

// The file's objects by number.
inline std::map<int, TPdfObject> PdfObjects(const QByteArray& pdf)
{
    static const QRegularExpression start(QStringLiteral("(?:^|[\\r\\n])(\\d+) 0 obj\\b"));
    static const QRegularExpression length(QStringLiteral("/Length\\s+(\\d+)(\\s+0\\s+R)?"));
    static const QRegularExpression integer(QStringLiteral("^\\s*(\\d+)\\s*endobj"));
    const QString text = QString::fromLatin1(pdf);
    std::map<int, TPdfObject> objects;
    std::map<int, qsizetype> bodies; // where each object's body starts
    qsizetype pos = 0;
    for (QRegularExpressionMatch m = start.match(text, pos); m.hasMatch(); m = start.match(text, pos)) {
        const int number = m.captured(1).toInt();
        const qsizetype body = m.capturedEnd(0);
        bodies[number] = body;
        const qsizetype end = pdf.indexOf("endobj", body);
        const qsizetype stream = pdf.indexOf("stream", body);
        pos = end < 0 ? pdf.size() : end;
        if (stream < 0 || (end >= 0 && stream > end)) {
            objects[number].Dict = pdf.mid(body, pos - body);
            continue;
        }
        TPdfObject& object = objects[number];
        object.Dict = pdf.mid(body, stream - body);
        qsizetype data = stream + 6;
        if (data < pdf.size() && pdf[data] == '\r')
            ++data;
        if (data < pdf.size() && pdf[data] == '\n')
            ++data;
        // The length: direct, or an object written before or after this one.
        const QRegularExpressionMatch l = length.match(QString::fromLatin1(object.Dict));
        qsizetype size = -1;
        if (l.hasMatch() && l.captured(2).isEmpty()) {
            size = l.captured(1).toLongLong();
        } else if (l.hasMatch()) {
            const QRegularExpression defined(QStringLiteral("(?:^|[\\r\\n])%1 0 obj\\b").arg(l.captured(1)));
            const QRegularExpressionMatch d = defined.match(text);
            const QRegularExpressionMatch n =
                d.hasMatch() ? integer.match(text.mid(d.capturedEnd(0), 40)) : QRegularExpressionMatch();
            if (n.hasMatch())
                size = n.captured(1).toLongLong();
        }
        if (size < 0 || size > pdf.size() - data) {
            object.Broken = true;
            continue;
        }
        object.Stream = pdf.mid(data, size);
        pos = data + size;
        if (object.Dict.contains("/FlateDecode")) {
            // qUncompress takes a length hint first and grows beyond it.
            QByteArray zlib("\0\0\0\1", 4);
            zlib += object.Stream;
            object.Stream = qUncompress(zlib);
            object.Broken = object.Stream.isEmpty() && size > 0;
        }
    }
    return objects;
}

// The colours the pages' content streams set, in the order they are set.
// Operands of other operators and names (a pattern's "/P1 scn") are passed
// over.
inline std::vector<TPdfColour> PdfPageColours(const std::map<int, TPdfObject>& objects)
{
    static const QRegularExpression contents(QStringLiteral("/Contents\\s+(\\d+)\\s+0\\s+R"));
    static const QByteArrayList colourOperators{"g", "G", "rg", "RG", "k", "K", "sc", "SC", "scn", "SCN"};
    std::vector<TPdfColour> colours;
    for (const auto& [number, object] : objects) {
        const QRegularExpressionMatch c = contents.match(QString::fromLatin1(object.Dict));
        if (!c.hasMatch())
            continue;
        const auto content = objects.find(c.captured(1).toInt());
        if (content == objects.end())
            continue;
        std::vector<double> operands;
        for (const QByteArray& token : content->second.Stream.simplified().split(' ')) {
            bool isNumber = false;
            const double value = token.toDouble(&isNumber);
            if (isNumber) {
                operands.push_back(value);
                continue;
            }
            if (colourOperators.contains(token) && !operands.empty())
                colours.push_back({token, operands});
            operands.clear();
        }
    }
    return colours;
}

// The colour space of each image of the file ("/DeviceGray", "/DeviceRGB").
inline QStringList PdfImageColourSpaces(const std::map<int, TPdfObject>& objects)
{
    static const QRegularExpression space(QStringLiteral("/ColorSpace\\s*(/\\w+)"));
    QStringList spaces;
    for (const auto& [number, object] : objects)
        if (object.Dict.contains("/Subtype /Image"))
            spaces << space.match(QString::fromLatin1(object.Dict)).captured(1);
    return spaces;
}
