// A memo with formatting codes printed through the snapshot writer and
// played onto a picture: the lines, laid out with the widths of the real
// fonts, stay inside their column.
#include "SnapshotSupport.h"

#include "report/print/QpFormat.h"
#include "report/print/QpMemo.h"
#include "report/print/QpRenderCanvas.h"

#include <QImage>
#include <gtest/gtest.h>

namespace {

class QpMemoRenderTest : public NoPrinterTest {};

TEST_F(QpMemoRenderTest, LinesStayInsideTheColumn)
{
    const QChar b(kQPTFBlockStart);
    const QChar e(kQPTFBlockEnd);
    const QString text = QStringLiteral("The memo buffer wraps words at the column's edge, ") + b +
                         QStringLiteral("B1") + e + QStringLiteral("bold words take more room, ") + b +
                         QStringLiteral("Z18") + e + QStringLiteral("large ones more still, ") + b +
                         QStringLiteral("Z10\x02") + QStringLiteral("B0") + e +
                         QStringLiteral("and small ones less.\r\n") + b + QStringLiteral("JC") + e +
                         QStringLiteral("A centred paragraph follows the plain one and ends the memo.");
    int lines = 0;
    const QByteArray snapshot = WriteSnapshot([&](TZvZSFWriter& w) {
        w.SetFont(QStringLiteral("Arial"), 12);
        TMemoBuf memo;
        memo.BaseReport = &w;
        memo.PrintStart = 1;
        memo.PrintEnd = 3.5;
        memo.SetText(text);
        lines = memo.MemoLinesLeft();
        w.GotoXY(1, 1);
        memo.PrintLines(0, false);
    });
    QImage image(850, 1100, QImage::Format_RGB32); // 100 dpi
    image.fill(Qt::white);
    TZvRenderCanvas canvas(nullptr);
    canvas.SetPaintDevice(&image, 100, 100);
    TMemoryStream stream(snapshot);
    canvas.Render(&stream);
    const QString file = OutputPath(QStringLiteral("memo-column.png"));
    image.save(file);

    EXPECT_GE(lines, 6);
    int left = 850, right = 0, bands = 0;
    bool inBand = false;
    for (int y = 0; y < 1100; ++y) {
        bool dark = false;
        for (int x = 0; x < 850; ++x) {
            if (qGray(image.pixel(x, y)) < 128) {
                dark = true;
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
        bands += dark && !inBand ? 1 : 0;
        inBand = dark;
    }
    EXPECT_GE(left, 99);
    EXPECT_LE(right, 351);
    EXPECT_EQ(bands, lines);
}

} // namespace
