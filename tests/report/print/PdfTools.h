#pragma once
// What poppler's tools read in a PDF file: the size of each page (pdfinfo)
// and the text as laid out (pdftotext -layout). A missing tool fails the
// test that needs it.
#include <QProcess>
#include <QRegularExpression>
#include <QSizeF>
#include <QStandardPaths>
#include <QString>
#include <gtest/gtest.h>

#include <vector>

inline QString RunPdfTool(const char* tool, const QStringList& arguments)
{
    const QString path = QStandardPaths::findExecutable(QString::fromLatin1(tool));
    if (path.isEmpty()) {
        ADD_FAILURE() << tool << " (poppler-utils) is needed";
        return QString();
    }
    QProcess process;
    process.start(path, arguments);
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

// Width and height of each page in points, as the page shows them (a
// landscape page is wider than high).
inline std::vector<QSizeF> PdfPageSizes(const QString& pdf)
{
    const QString info = RunPdfTool("pdfinfo", {QStringLiteral("-f"), QStringLiteral("1"),
                                                QStringLiteral("-l"), QStringLiteral("9999"), pdf});
    static const QRegularExpression page(
        QStringLiteral("^Page +\\d+ size: +([\\d.]+) x ([\\d.]+) pts.*\\n^Page +\\d+ rot: +(\\d+)"),
        QRegularExpression::MultilineOption);
    std::vector<QSizeF> sizes;
    for (auto it = page.globalMatch(info); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        QSizeF size(m.captured(1).toDouble(), m.captured(2).toDouble());
        if (m.captured(3).toInt() % 180 != 0)
            size.transpose();
        sizes.push_back(size);
    }
    return sizes;
}

inline QString PdfLayoutText(const QString& pdf)
{
    return RunPdfTool("pdftotext", {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
}
