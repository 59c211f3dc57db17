#include "DamagedPages.h"
#include "SnapshotSupport.h"

#include "report/print/QpRender.h"
#include "report/print/QpRenderCanvas.h"

#include "platform/forms/Picture.h"

#include "tests/support/FuzzLoop.h"

#include <QBuffer>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class QpRenderTest : public NoPrinterTest {};

QString VarRef(const QString& name)
{
    return QChar(0xFD) + QStringLiteral("$QPCV") + QChar(0xFC) + name + QChar(0xFB);
}

// Six pages, each printing its number.
QByteArray SixPages()
{
    return WriteSnapshot([](TZvZSFWriter& w) {
        for (int page = 1; page <= 6; ++page) {
            if (page > 1)
                w.NewPage();
            w.PrintXY(1, 1, QString::number(page));
        }
    });
}

QStringList PlayedTexts(RecordingRender& render)
{
    QStringList texts;
    for (const QString& call : render.Calls)
        if (call.startsWith(u"Left "))
            texts << call.section(u'"', 1, 1);
    return texts;
}

TEST_F(QpRenderTest, PlaybackReproducesTheCallsMade)
{
    TBitmap bitmap(4, 5);
    TMemoryStream data(QByteArray("abc"));
    TMemoryStream image(QByteArray(10, 'i'));
    const QByteArray snapshot = WriteSnapshot([&](TZvZSFWriter& w) {
        w.SetFont(QStringLiteral("Arial"), 12);
        w.PrintXY(1, 2, QStringLiteral("Left text"));
        w.PrintCenter(QStringLiteral("Centred"), 4.25);
        w.PrintRight(QStringLiteral("Right"), 7.5);
        w.PrintBlock(QStringLiteral("a b c"), 1, 3);
        w.PrintXY(1, 2.5, QString(192, u'y')); // the long length form
        w.Rectangle(1, 3, 2, 4);
        w.Ellipse(2, 3, 3, 4.5);
        w.RoundRect(1, 5, 2, 6, 0.2, 0.1);
        w.Arc(1, 1, 2, 2, 1.5, 1, 1, 1.5);
        w.MoveTo(1, 7);
        w.LineTo(2, 8); // sloping: drawn at once
        w.MoveTo(3, 7);
        w.LineTo(4, 7); // level: buffered to the end of the page
        w.Polygon({w.CreatePoint(1, 9), w.CreatePoint(2, 9), w.CreatePoint(1.5, 10)});
        w.FillRect(w.CreateRect(1, 1, 2, 2));
        w.TextRect(w.CreateRect(1, 1, 3, 1.5), 1.25, 1.4, QStringLiteral("clipped"));
        w.PrintBitmap(1, 1, 2, 3, &bitmap);
        w.PrintBitmapRect(1, 1, 2, 2.5, &bitmap);
        w.FloodFill(1, 1, clRed, TFillStyle::fsBorder);
        w.PrintData(QStringLiteral("raw"));
        w.PrintDataStream(data, 0);
        w.PrintImageRect(1, 1, 2, 2, &image, QStringLiteral("PNG"));
        w.SelectBin(QStringLiteral("Tray 2"));
        w.StartLink(QStringLiteral("http://example.org"));
        w.NewPage();
        w.SetOriginX(0.5);
        w.SetScaleY(50);
        w.Rectangle(1, 2, 3, 4); // moved by the origin, scaled in Y
    });
    RecordingRender render;
    render.Play(snapshot);
    const QStringList expected = {
        QStringLiteral("Left \"Left text\" 1 2"),
        QStringLiteral("Center \"Centred\" 4.25 2"),
        QStringLiteral("Right \"Right\" 7.5 2"),
        QStringLiteral("Block \"a b c\" 1 2 3"),
        QStringLiteral("Left \"%1\" 1 2.5").arg(QString(192, u'y')),
        QStringLiteral("Rect 1 3 2 4"),
        QStringLiteral("Ellipse 2 3 3 4.5"),
        QStringLiteral("RoundRect 1 5 2 6 %1 %2").arg(F(0.2), F(0.1)),
        QStringLiteral("Arc 1 1 2 2 1.5 1 1 1.5"),
        QStringLiteral("MoveTo 1 7"),
        QStringLiteral("LineTo 2 8"),
        QStringLiteral("MoveTo 1 9"),
        QStringLiteral("Polygon 1,9 2,9 1.5,10"),
        QStringLiteral("FillRect 100 100 200 200"), // at the recorder's 100 dpi
        QStringLiteral("TextRect 100 100 300 150 1.25 %1 \"clipped\"").arg(F(1.4)),
        QStringLiteral("Bitmap 4x5 1 1 2 3 t0"),
        QStringLiteral("BitmapRect 4x5 1 1 2 2.5"),
        QStringLiteral("FloodFill 1 1 255 1"),
        QStringLiteral("Data \"raw\""),
        QStringLiteral("DataStream 3 \"abc\""),
        QStringLiteral("Image PNG 10 bytes 1 1 2 2"),
        QStringLiteral("Bin \"Tray 2\""),
        QStringLiteral("Link \"http://example.org\""),
        QStringLiteral("MoveTo 3 7"),
        QStringLiteral("LineTo 4 7"),
        QStringLiteral("Rect 1.5 1 3.5 2"),
    };
    EXPECT_EQ(render.Drawing(), expected);
    EXPECT_EQ(render.PagesPlayed(), (QList<int>{1, 2}));
    EXPECT_EQ(render.Calls.first(), QStringLiteral("DocBegin"));
    EXPECT_EQ(render.Calls.last(), QStringLiteral("DocEnd"));
    EXPECT_EQ(render.Calls[1], QStringLiteral("Page 1 8.5x11"));
}

TEST_F(QpRenderTest, PageSelectionAndRanges)
{
    const QByteArray snapshot = SixPages();
    struct Row {
        int line;
        QString selection;
        int first, last, pageNum;
        QList<int> played;
    };
    const Row rows[] = {
        {1, QStringLiteral("1,3-4,EVEN"), 1, 9999, 0, {1, 2, 3, 4, 6}},
        {2, QStringLiteral("5-"), 1, 9999, 0, {5, 6}},
        {3, QStringLiteral("-2"), 1, 9999, 0, {1, 2}},
        {4, QStringLiteral("odd"), 1, 9999, 0, {1, 3, 5}},
        {5, QString(), 2, 9999, 0, {1, 2, 3, 4, 5, 6}}, // 9999: all pages, whatever the first
        {6, QString(), 4, 0, 0, {1, 2, 3, 4, 5, 6}},    // 0: likewise
        {7, QString(), 2, 2, 0, {2}},
        {8, QString(), 5, 8, 0, {5, 6}},  // the last clamped to the count
        {9, QString(), 6, 6, 0, {6}},     // the last page: the limit that plays
        {10, QString(), 7, 9, 0, {}},     // beyond the count: nothing
        {11, QString(), 1, 9999, 9, {6}}, // one page beyond the count: the last
        {12, QString(), 1, 9999, 3, {3}},
    };
    for (const Row& row : rows) {
        RecordingRender render;
        render.SetSelection(row.selection);
        render.SetFirstPage(row.first);
        render.SetLastPage(row.last);
        render.Play(snapshot, row.pageNum);
        EXPECT_EQ(render.PagesPlayed(), row.played) << "row " << row.line;
        QStringList texts;
        for (int page : row.played)
            texts << QString::number(page);
        EXPECT_EQ(PlayedTexts(render), texts) << "row " << row.line;
    }
}

// A page count the page chain disagrees with is a damaged file: playing it
// would print too few pages, or none, as if that were the report. Nothing
// is played, so no target starts a document. A count that matches plays,
// also for a report that wrote no page at all.
TEST_F(QpRenderTest, APageCountThePagesDisagreeWithIsRefused)
{
    const QByteArray six = SixPages();
    struct Row {
        int line;
        int count;
    };
    for (const Row& row : {Row{1, 0}, Row{2, 5}, Row{3, 7}, Row{4, 50}, Row{5, -1}}) {
        QByteArray snapshot = six;
        qToLittleEndian<qint32>(row.count, snapshot.data() + 26); // the page count field
        RecordingRender render;
        try {
            render.Play(snapshot);
            ADD_FAILURE() << "row " << row.line;
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), QStringLiteral("Unexpected code found in report file."))
                << "row " << row.line;
        }
        EXPECT_TRUE(render.Calls.isEmpty()) << "row " << row.line;
    }
    RecordingRender whole;
    whole.Play(six);
    EXPECT_EQ(whole.PagesPlayed(), (QList<int>{1, 2, 3, 4, 5, 6}));

    // Only page 2 requested of a report with one page: no page is written.
    const QByteArray none = WriteSnapshot([](TZvZSFWriter& w) { w.PrintXY(1, 1, QStringLiteral("1")); },
                                          [](TZvZSFWriter& w) {
                                              w.SetFirstPage(2);
                                              w.SetLastPage(2);
                                          });
    EXPECT_EQ(qFromLittleEndian<qint32>(none.constData() + 26), 0);
    RecordingRender empty;
    empty.Play(none);
    EXPECT_TRUE(empty.Calls.isEmpty());
}

// Page 3's number in a six-page snapshot set to 99999, to its neighbours'
// numbers 2 and 4, and to each single bit flip of 3: the page chain still
// links six pages, but the page numbers do not count them. Playing all the
// pages (which would stop after page 3, as if the report ended there), page
// 3 alone, page 4 (where Previous goes from), a range over page 3 and a
// selection of it each end with the reader's message before any target
// starts, and none goes on for ever.
TEST_F(QpRenderTest, APageNumberThatDisagreesIsRefusedBeforeAnythingPlays)
{
    const QByteArray six = SixPages();
    const qsizetype pageNoField = PageHeaderPos(six, 3) + 9;
    ASSERT_EQ(qFromLittleEndian<qint32>(six.constData() + pageNoField), 3);
    std::vector<qint32> numbers{99999, 2, 4};
    for (int bit = 0; bit < 32; ++bit)
        numbers.push_back(qint32(3u ^ (1u << bit)));
    struct Play {
        const char* what;
        int pageNum, first, last;
        const char* selection;
    };
    const Play plays[] = {{"all", 0, 1, 9999, ""},
                          {"page 3", 3, 1, 9999, ""},
                          {"page 4", 4, 1, 9999, ""},
                          {"range 2-4", 0, 2, 4, ""},
                          {"selection 3", 0, 1, 9999, "3"}};
    for (const qint32 number : numbers) {
        QByteArray snapshot = six;
        qToLittleEndian<qint32>(number, snapshot.data() + pageNoField);
        for (const Play& play : plays) {
            SCOPED_TRACE(testing::Message() << "page number " << number << ", " << play.what);
            RecordingRender render;
            render.SetFirstPage(play.first);
            render.SetLastPage(play.last);
            render.SetSelection(QString::fromLatin1(play.selection));
            try {
                render.Play(snapshot, play.pageNum);
                ADD_FAILURE() << "played " << render.PagesPlayed().size() << " pages";
            } catch (const Exception& e) {
                EXPECT_EQ(e.Message(), QStringLiteral("Unexpected code found in report file."));
            }
            EXPECT_TRUE(render.Calls.isEmpty());
        }
    }
}

// The links of the page chain damaged: a previous link that does not lead
// back to the page before, a next link that leads back, or one that leads
// past the last page. Each is refused before anything plays.
TEST_F(QpRenderTest, APageChainWhoseLinksDisagreeIsRefused)
{
    const QByteArray six = SixPages();
    const qsizetype page3 = PageHeaderPos(six, 3);
    const qsizetype page6 = PageHeaderPos(six, 6);
    struct Row {
        int line;
        qsizetype field;
        qint32 value;
    };
    const Row rows[] = {
        {1, page3 + 1, 0},                  // page 3's previous link: none
        {2, page3 + 1, qint32(page3)},      // page 3's previous link: itself
        {3, page3 + 5, qint32(page3)},      // page 3's next link: itself
        {4, page3 + 5, qint32(page3 - 1)},  // page 3's next link: backwards
        {5, page6 + 5, qint32(page3)},      // the last page links on, backwards
        {6, page6 + 5, qint32(six.size())}, // the last page links past the end
        {7, page3 + 5, qint32(six.size())}, // page 3 links past the end
    };
    for (const Row& row : rows) {
        QByteArray snapshot = six;
        qToLittleEndian<qint32>(row.value, snapshot.data() + row.field);
        for (const int pageNum : {0, 3, 6}) {
            RecordingRender render;
            try {
                render.Play(snapshot, pageNum);
                ADD_FAILURE() << "row " << row.line << " page " << pageNum;
            } catch (const Exception& e) {
                EXPECT_EQ(e.Message(), QStringLiteral("Unexpected code found in report file."))
                    << "row " << row.line;
            }
            EXPECT_TRUE(render.Calls.isEmpty()) << "row " << row.line;
        }
    }
}

QByteArray NumberedPages(int count)
{
    return WriteSnapshot([count](TZvZSFWriter& w) {
        for (int page = 1; page <= count; ++page) {
            if (page > 1)
                w.NewPage();
            w.PrintXY(1, 1, QStringLiteral("%1").arg(page, 3, 10, QLatin1Char('0')));
        }
    });
}

// Once a stream has been played, showing any of its pages costs the same
// reads whatever the page's place and the report's length: no page is found
// by walking the pages before it. The first playback's walk over the page
// headers takes a read or two, not one per page.
TEST_F(QpRenderTest, APageCostsTheSameReadsWhereverItStands)
{
    CountingStream ten(NumberedPages(10));
    CountingStream hundred(NumberedPages(200));
    RecordingRender render;
    auto readsOf = [&render](CountingStream& stream, int page) {
        render.SetZSFStream(&stream);
        stream.Reads = 0;
        render.RenderPage(page);
        EXPECT_EQ(render.PagesPlayed().last(), page);
        return stream.Reads;
    };
    const int firstOfTen = readsOf(ten, 1);
    const int page2 = readsOf(ten, 2);
    EXPECT_EQ(readsOf(ten, 10), page2);
    EXPECT_EQ(readsOf(ten, 1), page2);
    EXPECT_LE(firstOfTen, page2 + 3);
    render.SetZSFStream(nullptr);
    const int firstOfHundred = readsOf(hundred, 1);
    EXPECT_LE(firstOfHundred, page2 + 3);
    for (const int page : {2, 100, 199, 200, 1})
        EXPECT_EQ(readsOf(hundred, page), page2) << "page " << page;
    render.SetZSFStream(nullptr);
}

// The page index belongs to the open stream: targets handed the stream
// share it (so printing from the preview walks nothing again), another
// stream gets its own, and letting the stream go drops it. A header that
// changed under the index since (the file written over while open) is
// refused when a playback lands on it; the pages around it still play.
TEST_F(QpRenderTest, ThePageIndexGoesWithItsStream)
{
    CountingStream stream(NumberedPages(20));
    RecordingRender preview;
    preview.SetZSFStream(&stream);
    preview.RenderPage(1);
    TQPPageIndex* index = preview.PageIndex();
    ASSERT_NE(index, nullptr);
    EXPECT_EQ(index->Count(), 20);
    stream.Reads = 0;
    preview.RenderPage(12);
    const int pageReads = stream.Reads;

    RecordingRender printer;
    printer.ShareZSFStream(preview);
    EXPECT_EQ(printer.ZSFStream(), &stream);
    EXPECT_EQ(printer.PageIndex(), index);
    stream.Reads = 0;
    printer.RenderPage(17);
    EXPECT_EQ(stream.Reads, pageReads);
    EXPECT_EQ(printer.PagesPlayed(), QList<int>{17});

    CountingStream other(NumberedPages(3));
    printer.SetZSFStream(&other);
    ASSERT_NE(printer.PageIndex(), nullptr);
    EXPECT_NE(printer.PageIndex(), index);
    EXPECT_EQ(printer.PageIndex()->Count(), 0);
    printer.RenderPage(0);
    EXPECT_EQ(printer.PageIndex()->Count(), 3);
    EXPECT_EQ(preview.PageIndex(), index);
    printer.SetZSFStream(nullptr);
    EXPECT_EQ(printer.PageIndex(), nullptr);

    const int64_t page5 = index->Position(5);
    EXPECT_EQ(page5, PageHeaderPos(stream.Bytes(), 5));
    qToLittleEndian<qint32>(99999, stream.Memory() + page5 + 9);
    preview.Calls.clear();
    EXPECT_THROW(preview.RenderPage(5), Exception);
    EXPECT_TRUE(preview.Calls.isEmpty());
    preview.RenderPage(4);
    preview.RenderPage(6);
    EXPECT_EQ(preview.PagesPlayed(), (QList<int>{4, 6}));
    preview.Calls.clear();
    EXPECT_THROW(preview.RenderPage(0), Exception);
    EXPECT_EQ(preview.PagesPlayed(), (QList<int>{1, 2, 3, 4}));
    EXPECT_EQ(preview.Calls.last(), QStringLiteral("DocEnd"));
    preview.SetZSFStream(nullptr);
    EXPECT_EQ(preview.PageIndex(), nullptr);
}

TEST_F(QpRenderTest, MacrosAndVariablesExpand)
{
    const QByteArray snapshot = WriteSnapshot([](TZvZSFWriter& w) {
        const QString numbering = QStringLiteral("Page ") + w.Macro(TMacroID::midCurrentPage) +
                                  QStringLiteral(" of ") + w.Macro(TMacroID::midTotalPages);
        w.PrintXY(1, 1, numbering);
        w.PrintXY(1, 2, QStringLiteral("Total ") + w.PIVar(QStringLiteral("Total")));
        w.PrintXY(1, 3, QStringLiteral("[") + VarRef(QStringLiteral("unknown")) + QStringLiteral("]"));
        w.SetPIVar(QStringLiteral("self"), QStringLiteral("x") + VarRef(QStringLiteral("self")));
        w.PrintXY(1, 4, VarRef(QStringLiteral("self")));
        w.SetPIVar(QStringLiteral("a"), VarRef(QStringLiteral("b")));
        w.SetPIVar(QStringLiteral("b"), QStringLiteral("b") + VarRef(QStringLiteral("a")));
        w.PrintXY(1, 5, VarRef(QStringLiteral("a")));
        w.SetPIVar(QStringLiteral("page"), w.Macro(TMacroID::midCurrentPage));
        w.MacroData().Add(QStringLiteral("unused at playback"));
        for (int i = 0; i < 2; ++i) {
            w.NewPage();
            w.PrintXY(1, 1, numbering);
            w.PrintXY(1, 2, VarRef(QStringLiteral("page")));
        }
        w.SetPIVar(QStringLiteral("Total"), QStringLiteral("42"));
        w.PrintXY(1, 3,
                  w.Macro(TMacroID::midUser02) + QStringLiteral("|") + w.Macro(TMacroID::midPrinterName));
    });
    RecordingRender render;
    render.MacroData().Add(QStringLiteral("first"));
    render.MacroData().Add(QStringLiteral("second"));
    render.Play(snapshot);
    const QStringList texts = PlayedTexts(render);
    ASSERT_EQ(texts.size(), 10);
    EXPECT_EQ(texts[0], QStringLiteral("Page 1 of 3"));
    EXPECT_EQ(texts[1], QStringLiteral("Total 42")); // set on page 3
    EXPECT_EQ(texts[2], QStringLiteral("[]"));
    // A value holding its own reference, and two holding each other's, stop
    // at a fixed depth.
    EXPECT_EQ(texts[3], QStringLiteral("xxxxxxx"));
    EXPECT_FALSE(texts[4].contains(QChar(0xFD)));
    EXPECT_TRUE(texts[4].startsWith(u"bbb"));
    EXPECT_EQ(texts[5], QStringLiteral("Page 2 of 3"));
    EXPECT_EQ(texts[6], QStringLiteral("2")); // a macro in a value expands where it is shown
    EXPECT_EQ(texts[8], QStringLiteral("3"));
    EXPECT_EQ(texts[9], QStringLiteral("second|Render"));

    // Page 2 alone still knows the variables set before it.
    RecordingRender alone;
    alone.Play(snapshot, 2);
    EXPECT_EQ(PlayedTexts(alone), (QStringList{QStringLiteral("Page 2 of 3"), QStringLiteral("2")}));
}

TEST_F(QpRenderTest, FormattedTextRunsAndRestoresTheFont)
{
    // The size code is read with either decimal separator.
    const QString text = QStringLiteral("\x01"
                                        "B1\x04"
                                        "Bold\x01"
                                        "B0\x02"
                                        "U1\x02"
                                        "Z14,5\x04"
                                        " plain");
    const QByteArray snapshot = WriteSnapshot([&](TZvZSFWriter& w) {
        w.PrintXY(1, 1, text);
        w.PrintXY(1, 2, QStringLiteral("after"));
    });
    RecordingRender render;
    render.RecordState = true;
    render.Play(snapshot);
    QStringList calls;
    for (const QString& call : render.Calls)
        if (call.startsWith(u"Font") || call.startsWith(u"Left"))
            calls << call;
    // The page header's font records, then per segment its font and run,
    // then the stream's font again, and the next text in it.
    const qsizetype bold = calls.indexOf(QRegularExpression(QStringLiteral("^Left \"Bold\".*")));
    ASSERT_GT(bold, 0);
    EXPECT_TRUE(calls[bold - 1].contains(u" b1 "));
    EXPECT_TRUE(calls[bold + 1].contains(u" b0 i0 u1 "));
    EXPECT_TRUE(calls[bold + 1].contains(F(14.5 / 72)));
    EXPECT_TRUE(calls[bold + 2].startsWith(u"Left \" plain\""));
    const double x1 = calls[bold].section(u' ', 2, 2).toDouble();
    const double x2 = calls[bold + 2].section(u' ', 3, 3).toDouble();
    EXPECT_EQ(x1, 1);
    // Past "Bold" in 10-point Arial bold: B, o, l, d are 0.722, 0.611, 0.278
    // and 0.611 em wide (the face's widths), 22.2 points in all.
    EXPECT_NEAR(x2, 1 + 22.22 / 72, 0.01);
    EXPECT_TRUE(calls[bold + 3].contains(u" b0 i0 u0 ")); // restored
    EXPECT_EQ(calls[bold + 4], QStringLiteral("Left \"after\" 1 2"));
}

// Older versions, written by hand from the format's description: 8-bit
// texts of the Windows Ansi code page, one-byte lengths and 16-bit page
// numbers in 1101, and the page size in page headers from 2000 on.
TEST_F(QpRenderTest, ReadsOlderVersions)
{
    // Version 1101 (lead byte 81).
    ZsfBytes v1101;
    v1101.U8(81).U16(1).U16(1).U16(1); // counts: 1 page, pages 1 to 1
    v1101.F32(8.5).F32(11).F32(0).F32(0).F32(0).F32(0).U8(0);
    v1101.U16(1).U16(1).U16(0).U16(0).Text8("", true);
    v1101.U8(80).I32(0).I32(0).U16(1).U8(1); // page 1, old orientation
    v1101.Code(TZsfCode::Font).Text8("Courier New", true).I32(0).U8(2).F32(0.2).U8(1).U8(0).U8(0).U8(0);
    v1101.Code(TZsfCode::FontHeight).F32(0.25); // no reference width
    v1101.Code(TZsfCode::LeftText).F32(2).Text8("H\xE4llo \x80", true).F32(1);
    v1101.Code(TZsfCode::PageEnd);

    // Version 5000: 32-bit counts, a long 8-bit title, the page size in
    // the page header, no orientation and bin there yet.
    ZsfBytes v5000;
    v5000.U8(90).U16(5000).Text8(QByteArray(200, 'T'), false);
    v5000.I32(1).I32(1).I32(9999).F32(8.5).F32(11).F32(0).F32(0).F32(0).F32(0).U8(1);
    v5000.U16(7).U8(1).U8(0).U16(2).U16(9).U16(0).U16(0).Text8("out", false);
    v5000.U8(80).I32(0).I32(0).I32(1).F32(11).F32(8.5);
    v5000.Code(TZsfCode::Font)
        .Text8("Arial", false)
        .I32(255)
        .U8(0)
        .U8(0)
        .F32(0.2)
        .U8(0)
        .U8(1)
        .U8(0)
        .U8(0)
        .U16(90);
    v5000.Code(TZsfCode::LeftText).F32(2).Text8("caf\xE9", false).F32(1);
    v5000.Code(TZsfCode::PageEnd);

    struct Row {
        int line;
        QByteArray bytes;
        QString title;
        QString paper;
        QString font;
        QString text;
    };
    const Row rows[] = {
        {1, v1101.Data, QString(), QStringLiteral("8.5x11"),
         QStringLiteral("Font Courier New 0.25 b1 i0 u0 r0 c0"),
         QStringLiteral("Left \"H\u00e4llo \u20ac\" 1 2")},
        {2, v5000.Data, QString(200, u'T'), QStringLiteral("11x8.5"),
         QStringLiteral("Font Arial %1 b0 i1 u0 r90 c255").arg(F(0.2)),
         QStringLiteral("Left \"caf\u00e9\" 1 2")},
    };
    for (const Row& row : rows) {
        RecordingRender render;
        render.RecordState = true;
        render.Play(row.bytes);
        EXPECT_EQ(render.Title, row.title) << "row " << row.line;
        EXPECT_EQ(render.Calls.value(1), QStringLiteral("Page 1 ") + row.paper) << "row " << row.line;
        EXPECT_TRUE(render.Calls.contains(row.font)) << "row " << row.line;
        EXPECT_TRUE(render.Calls.contains(row.text)) << "row " << row.line;
    }
}

TEST_F(QpRenderTest, ImplausibleHeaderIsReadWith8BitTexts)
{
    // Version 10000 as a writer with 8-bit texts left it: read as UTF-16 the
    // title swallows the counts and the header makes no sense.
    ZsfBytes b;
    b.U8(90).U16(10000).Text8("Ansi Title", false);
    b.I32(1).I32(1).I32(1).F32(8.5).F32(11).F32(0).F32(0).F32(0).F32(0).U8(0);
    b.U16(7).U8(0).U8(0).U16(1).U16(1).U16(0).U16(0).Text8("", false);
    b.U8(80).I32(0).I32(0).I32(1).F32(8.5).F32(11).U8(0).U16(7);
    b.Code(TZsfCode::LeftText).F32(2).Text8("ok", false).F32(1);
    b.Code(TZsfCode::PageEnd);
    RecordingRender render;
    render.Play(b.Data);
    EXPECT_EQ(render.Title, QStringLiteral("Ansi Title"));
    EXPECT_EQ(PlayedTexts(render), QStringList{QStringLiteral("ok")});
}

TEST_F(QpRenderTest, StreamWithoutPagesPlaysNothing)
{
    // A page count of 0 is an empty stream, not a reason to read the
    // header again with 8-bit texts.
    ZsfBytes b;
    b.U8(90).U16(10000).Text16(QStringLiteral("Empty"));
    b.I32(0).I32(1).I32(9999).F32(8.5).F32(11).F32(0).F32(0).F32(0).F32(0).U8(0);
    b.U16(265).U8(0).U8(0).U16(1).U16(1).U16(0).U16(0).Text16(QString());
    RecordingRender render;
    render.Play(b.Data);
    EXPECT_EQ(render.Title, QStringLiteral("Empty"));
    EXPECT_TRUE(render.Calls.isEmpty());
    render.Play(b.Data, 3);
    EXPECT_TRUE(render.Calls.isEmpty());
    // So is a run whose pages were all outside the selection.
    const QByteArray none = WriteSnapshot({}, [](TZvZSFWriter& w) { w.SetSelection(QStringLiteral("5")); });
    render.Play(none);
    EXPECT_TRUE(render.Calls.isEmpty());
}

TEST_F(QpRenderTest, GraphicsOfOtherKindsAreConsumedAndBrushPatternsKept)
{
    ZsfBytes b;
    b.U8(90).U16(10000).Text16(QString());
    b.I32(1).I32(1).I32(9999).F32(8.5).F32(11).F32(0).F32(0).F32(0).F32(0).U8(0);
    b.U16(265).U8(0).U8(0).U16(1).U16(1).U16(0).U16(0).Text16(QString());
    b.U8(80).I32(0).I32(0).I32(1).F32(8.5).F32(11).U8(0).U16(512);
    const int other = b.Pos() + 2;                                             // the size field
    b.Code(TZsfCode::Draw).U8(4).I32(3).U8('a').U8('b').U8('c').F32(1).F32(1); // another class
    b.Code(TZsfCode::Draw).U8(2).I32(2).U8(0).U8(0).F32(1).F32(1);             // a metafile
    b.Code(TZsfCode::Draw).U8(132).I32(other).F32(1).F32(1);                   // a reference to the first
    b.Code(TZsfCode::BrushBitmap).U8(1).U8(1).I32(0);                          // an empty bitmap: no pattern
    TBitmap pattern(8, 8);
    QByteArray bmp;
    {
        QBuffer buffer(&bmp);
        buffer.open(QIODevice::WriteOnly);
        pattern.ToImage().save(&buffer, "BMP");
    }
    b.Code(TZsfCode::BrushBitmap).U8(1).U8(1).I32(int32_t(bmp.size()));
    b.Data.append(bmp);
    b.Code(TZsfCode::BrushBitmap).U8(0); // flag 0 changes nothing
    b.Code(TZsfCode::PrintDataStream).I32(0);
    b.Code(TZsfCode::LeftText).F32(2).Text16(QStringLiteral("still in step")).F32(1);
    b.Code(TZsfCode::PageEnd);
    RecordingRender render;
    render.RecordState = true;
    render.Play(b.Data);
    EXPECT_EQ(render.Drawing(), QStringList{QStringLiteral("Left \"still in step\" 1 2")});
    QStringList brushes;
    for (const QString& call : render.Calls)
        if (call.startsWith(u"Brush"))
            brushes << call.section(u' ', 3, 3);
    EXPECT_EQ(brushes, (QStringList{QStringLiteral("plain"), QStringLiteral("pattern")}));
}

TEST_F(QpRenderTest, BadStreamsAreRefusedWithTheirErrors)
{
    const QByteArray good = SixPages();
    ZsfBytes header;
    header.U8(90).U16(10000).Text16(QString());
    header.I32(1).I32(1).I32(9999).F32(8.5).F32(11).F32(0).F32(0).F32(0).F32(0).U8(0);
    header.U16(265).U8(0).U8(0).U16(1).U16(1).U16(0).U16(0).Text16(QString());
    header.U8(80).I32(0).I32(0).I32(1).F32(8.5).F32(11).U8(0).U16(512);
    const int pageStart = header.Pos();
    auto page = [&](const std::function<void(ZsfBytes&)>& body) {
        ZsfBytes b = header;
        body(b);
        b.Code(TZsfCode::PageEnd);
        return b.Data;
    };
    struct Row {
        int line;
        QByteArray bytes;
        QString message;
    };
    const QString readError = QStringLiteral("Stream read error");
    const Row rows[] = {
        {1, QByteArray("A", 1), QStringLiteral("Unexpected header code [65] found in report file.")},
        {2, page([](ZsfBytes& b) { b.U8(39); }),
         QStringLiteral("Unexpected code [39] found in report file.")},
        {3, page([](ZsfBytes& b) { b.U8(81); }),
         QStringLiteral("Unexpected code [81] found in report file.")},
        {4, header.Data.left(pageStart - 24) + QByteArray(1, 'Q') + header.Data.mid(pageStart - 23),
         QStringLiteral("Unexpected code found in report file.")},
        {5, good.left(good.size() - 7), readError},
        {6, page([](ZsfBytes& b) { b.Code(TZsfCode::PrintDataStream).I32(1000); }), readError},
        {7, page([](ZsfBytes& b) { b.Code(TZsfCode::PrintDataStream).I32(-1); }), readError},
        {8, page([](ZsfBytes& b) { b.Code(TZsfCode::Draw).U8(1).I32(0x7FFFFFFF); }), readError},
        {9, page([](ZsfBytes& b) { b.Code(TZsfCode::Draw).U8(129).I32(1 << 30); }), readError},
        {10, page([](ZsfBytes& b) { b.Code(TZsfCode::Polygon).U16(32767).F32(1).F32(1); }), readError},
        {11, page([](ZsfBytes& b) {
             b.Code(TZsfCode::Variable).Text16(QStringLiteral("v")).U8(4).U8(254).I32(1 << 30);
         }),
         readError},
        {12, page([](ZsfBytes& b) {
             b.Code(TZsfCode::Variable).Text16(QStringLiteral("v")).U8(2).U8(254).U16(0);
         }),
         QStringLiteral("Invalid variable reference found in report file.")},
        {13, page([&](ZsfBytes& b) {
             // A link to itself: the data at the link's own record.
             const int at = b.Pos() + 4;
             b.Code(TZsfCode::Variable).Text16(QStringLiteral("v")).U8(4).U8(254).I32(at);
         }),
         QStringLiteral("Invalid variable reference found in report file.")},
        {14, page([](ZsfBytes& b) { b.Code(TZsfCode::Rectangle).F32(1).F32(std::nan("")).F32(2).F32(2); }),
         QStringLiteral("Invalid number found in report file.")},
        {15, page([](ZsfBytes& b) { b.Code(TZsfCode::LeftText).F32(1).U8(0xC1).U8(0); }), readError},
        {16, page([](ZsfBytes& b) { b.Code(TZsfCode::Draw).U8(1).I32(4).Data.append("BMxx"); }),
         QStringLiteral("Bitmap image is not valid")},
    };
    for (const Row& row : rows) {
        RecordingRender render;
        try {
            render.Play(row.bytes);
            ADD_FAILURE() << "row " << row.line;
        } catch (const Exception& e) {
            EXPECT_TRUE(e.Message().startsWith(row.message))
                << "row " << row.line << ": " << e.Message().toStdString();
        }
        EXPECT_FALSE(render.Rendering()) << "row " << row.line;
        if (render.Calls.contains(QStringLiteral("DocBegin"))) {
            EXPECT_EQ(render.Calls.last(), QStringLiteral("DocEnd")) << "row " << row.line;
        }
    }
}

TEST(QpRenderTargetTest, TextRoutines)
{
    TQPRender render(nullptr);
    QString text = QStringLiteral("  ab cd");
    QString word;
    render.NextWord(text, word);
    EXPECT_EQ(word, QStringLiteral("  ab"));
    EXPECT_EQ(text, QStringLiteral(" cd"));
    text = QStringLiteral("whole");
    render.NextWord(text, word);
    EXPECT_EQ(word, QStringLiteral("whole"));
    EXPECT_TRUE(text.isEmpty());
    EXPECT_EQ(render.CountInnerSpaces(QStringLiteral(" a b  c ")), 3);
    EXPECT_EQ(render.CountInnerSpaces(QStringLiteral("   ")), 0);
    QString lead;
    text = QStringLiteral("  x y");
    render.LeadingSpaces(text, lead);
    EXPECT_EQ(lead, QStringLiteral("  "));
    EXPECT_EQ(text, QStringLiteral("x y"));
    double x = 1;
    double y = 1;
    render.TextSegmentPos(x, y, 2);
    EXPECT_EQ(x, 3);
    EXPECT_EQ(y, 1);
}

TEST_F(QpRenderTest, DestinationFilter)
{
    const QByteArray snapshot = WriteSnapshot([](TZvZSFWriter& w) {
        w.AllowPrinterOnly();
        w.PrintXY(1, 1, QStringLiteral("printer"));
        w.AllowPrinterOnly(); // written once
        w.AllowPreviewOnly();
        w.PrintXY(1, 2, QStringLiteral("preview"));
        w.AllowAll();
        w.PrintXY(1, 3, QStringLiteral("all"));
    });
    EXPECT_EQ(snapshot.count(char(85)), 1);
    struct Row {
        int line;
        int kind;
        QStringList texts;
    };
    const Row rows[] = {
        {1, 0, {QStringLiteral("printer"), QStringLiteral("all")}},
        {2, 1, {QStringLiteral("preview"), QStringLiteral("all")}},
        {3, 2, {QStringLiteral("printer"), QStringLiteral("preview"), QStringLiteral("all")}},
        {4, 8, {}}, // beyond the eight kinds: never drawn
    };
    for (const Row& row : rows) {
        RecordingRender render;
        render.Kind = row.kind;
        render.Play(snapshot);
        EXPECT_EQ(PlayedTexts(render), row.texts) << "row " << row.line;
    }
}

TEST(QpRenderTargetTest, ImageDecodingAndRegistry)
{
    RecordingRender render;
    TMemoryStream image(QByteArray("img"));
    render.TQPRender::PrintImageRect(1, 1, 2, 2, image, QStringLiteral("JPG"));
    EXPECT_TRUE(render.Calls.isEmpty()); // no decoder: nothing drawn
    render.OnDecodeImage = [](TObject*, TStream* stream, const QString& type, TBitmap* bitmap) {
        EXPECT_EQ(type, QStringLiteral("JPG"));
        bitmap->SetSize(int(stream->Size()), 1);
    };
    render.TQPRender::PrintImageRect(1, 1, 2, 2, image, QStringLiteral("JPG"));
    EXPECT_EQ(render.Calls, QStringList{QStringLiteral("BitmapRect 3x1 1 1 2 2")});

    TQPRender pdf(nullptr);
    pdf.SetDisplayName(QStringLiteral("PDF"));
    pdf.SetFileExtension(QStringLiteral("*.pdf"));
    TQPRender text(nullptr);
    text.SetDisplayName(QStringLiteral("Text"));
    text.SetFileExtension(QStringLiteral("*.txt"));
    TQPRender hidden(nullptr);
    hidden.SetDisplayName(QStringLiteral("Hidden"));
    hidden.SetActive(false);
    const QString filter = GetRenderFilter();
    EXPECT_TRUE(filter.contains(QStringLiteral("PDF|*.pdf|Text|*.txt")));
    EXPECT_FALSE(filter.contains(QStringLiteral("Hidden")));
    TStringList list;
    GetRenderList(list);
    EXPECT_GE(list.IndexOf(QStringLiteral("Text")), 0);
    EXPECT_LT(list.IndexOf(QStringLiteral("Hidden")), 0);
}

TEST_F(QpRenderTest, FuzzedStreamsAreRefusedCleanly)
{
    TBitmap bitmap(3, 3);
    std::vector<QByteArray> seeds{
        SixPages(),
        WriteSnapshot([&](TZvZSFWriter& w) {
            w.PrintXY(1, 1,
                      QStringLiteral("\x01"
                                     "B1\x04"
                                     "x ") +
                          w.PIVar(QStringLiteral("v")) + w.Macro(TMacroID::midCurrentPage));
            w.Draw(1, 1, &bitmap);
            w.RegisterGraphic(1);
            w.ReuseGraphic(1);
            w.PrintBitmap(1, 1, 1, 1, &bitmap);
            w.Polygon({w.CreatePoint(1, 1), w.CreatePoint(2, 2)});
            w.NewPage();
            w.SetPIVar(QStringLiteral("v"), QStringLiteral("value"));
            w.PrintBlock(QStringLiteral("a b"), 1, 2);
        }),
    };
    QImage image(120, 160, QImage::Format_RGB32);
    // Damaged pictures and texts make Qt talk; the test has nothing to learn
    // from it.
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    const FuzzStats stats = RunFuzzLoop(
        [&](const QByteArray& bytes) {
            RecordingRender render;
            render.Play(bytes);
            // The canvas target draws what it reads, so that drawing is
            // fuzzed too.
            TZvRenderCanvas canvas(nullptr);
            canvas.SetPaintDevice(&image, 10, 10);
            TMemoryStream stream(bytes);
            canvas.Render(&stream);
        },
        seeds, 4.0);
    qInstallMessageHandler(previous);
    RecordProperty("runs", int(stats.runs));
    EXPECT_GT(stats.runs, 100);
}

// A target of a kind (0 prints, 1 previews) that draws nothing and counts
// the steps of a playback it sees whatever it shows: the pages started and
// the destination commands read. Targets of every kind see the same steps
// up to where one of them fails.
class KindRender : public TQPRender {
public:
    explicit KindRender(int kind) : TQPRender(nullptr), Kind(kind) {}
    int RenderKind() override { return Kind; }
    void PageBegin() override { ++Steps; }
    void AllowPreviewOnly() override
    {
        TQPRender::AllowPreviewOnly();
        ++Steps;
    }
    void AllowPrinterOnly() override
    {
        TQPRender::AllowPrinterOnly();
        ++Steps;
    }
    void AllowAll() override
    {
        TQPRender::AllowAll();
        ++Steps;
    }
    int Kind;
    int Steps = 0;
};

// How a stream ends: as a playback of all its pages onto a target of the
// kind ends (Render), or as the check of the stream (CheckRender) ends.
struct Ending {
    QString Message;   // "played" when it does not raise
    int Steps = 0;     // the steps seen by then
    bool Shown = true; // the target showed what stood where it ended
};

Ending Ended(TStream& stream, bool check, int kind = 0)
{
    KindRender render(kind);
    Ending ending{QStringLiteral("played")};
    try {
        if (check)
            render.CheckRender(&stream);
        else
            render.Render(&stream);
    } catch (const Exception& e) {
        ending.Message = e.Message();
    }
    ending.Steps = render.Steps;
    ending.Shown = !render.IsSuppressed();
    return ending;
}

QString Outcome(const QByteArray& bytes, bool check, int kind = 0)
{
    TMemoryStream stream(bytes);
    return Ended(stream, check, kind).Message;
}

// A snapshot whose texts carry formatting codes, one of them through a
// variable set at the end of the run, and whose pages draw a picture. With
// only, the two texts stand in a stretch that one destination alone shows.
QByteArray CodedPages(const QString& value,
                      const QString& text = QStringLiteral("\x01"
                                                           "B1\x04"
                                                           "x"),
                      void (TZvZSFWriter::*only)() = nullptr)
{
    TBitmap bitmap(6, 6);
    return WriteSnapshot([&](TZvZSFWriter& w) {
        for (int page = 1; page <= 4; ++page) {
            if (page > 1)
                w.NewPage();
            w.Draw(1, 1, &bitmap);
            w.PrintXY(1, 2, QStringLiteral("page ") + w.Macro(TMacroID::midCurrentPage));
            if (only)
                (w.*only)();
            w.PrintXY(1, 3, text);
            if (page == 3)
                w.PrintCenter(QStringLiteral("total ") + w.PIVar(QStringLiteral("v")), 4);
            if (only)
                w.AllowAll();
        }
        w.SetPIVar(QStringLiteral("v"), value);
    });
}

// The snapshot with the first size code of 12 in a text made "q2", which
// is no number (the writer measures its texts, so it takes no bad code);
// empty when there is none.
QByteArray WithSizeCodeNoNumber(QByteArray snapshot)
{
    const QByteArray units("Z\0"
                           "1\0"
                           "2\0",
                           6);
    const qsizetype at = snapshot.indexOf(units);
    if (at < 0)
        return {};
    return snapshot.replace(at, 6,
                            QByteArray("Z\0"
                                       "q\0"
                                       "2\0",
                                       6));
}

// The check refuses what a playback refuses, with its message, and takes
// what it takes: a picture that does not decode, a formatting code that is
// no number in a text or in the value of a variable it refers to, a data
// block whose size is negative, a line to a point that is no number, a
// command no reader knows with a broken page chain further on (the chain's
// fault is the one told), and sound streams.
TEST_F(QpRenderTest, TheCheckEndsAsAPlaybackEnds)
{
    const QByteArray coded = CodedPages(QStringLiteral("\x01"
                                                       "B1\x04"
                                                       "7"));
    QByteArray badPicture = coded;
    const qsizetype picture = badPicture.indexOf(QByteArray("BM"));
    ASSERT_GT(picture, 0);
    badPicture[picture + 1] = 'X';
    const QByteArray badVariable = CodedPages(QStringLiteral("\x01"
                                                             "Zabc\x04"
                                                             "7"));
    const QByteArray badText = WithSizeCodeNoNumber(CodedPages(QStringLiteral("7"), QStringLiteral("\x01"
                                                                                                   "Z12\x04"
                                                                                                   "x")));
    ASSERT_FALSE(badText.isEmpty());
    TMemoryStream data(QByteArray("QQQQQ"));
    QByteArray negative = WriteSnapshot([&](TZvZSFWriter& w) {
        w.PrintDataStream(data, 5);
        w.PrintXY(1, 1, QStringLiteral("after the data"));
    });
    const QByteArray block("\x05\0\0\0QQQQQ", 9);
    ASSERT_GT(negative.indexOf(block), 0);
    negative.replace(negative.indexOf(block), 4, QByteArray(4, '\xFF'));
    QByteArray badLine = WriteSnapshot([](TZvZSFWriter& w) {
        w.MoveTo(1, 2);
        w.LineTo(3.5, 4);
    });
    const QByteArray lineTo("\x0B\0\0\x60\x40", 5); // code 11, X 3.5
    ASSERT_GT(badLine.indexOf(lineTo), 0);
    badLine.replace(badLine.indexOf(lineTo) + 1, 4, QByteArray("\0\0\xC0\x7F", 4)); // no number
    const QByteArray twelve = HeadedPages(12);
    QByteArray twoFaults = WithUnknownCommands(twelve, {LineText(5, 4)});
    qToLittleEndian<qint32>(9, twoFaults.data() + PageHeaderPos(twelve, 8) + 9);
    struct Row {
        const char* what;
        QByteArray bytes;
        QString message;
    };
    const Row rows[] = {
        {"a sound stream", coded, QStringLiteral("played")},
        {"a sound stream of many pages", twelve, QStringLiteral("played")},
        {"a picture that does not decode", badPicture, QString()},
        {"a size code in a variable's value", badVariable,
         QStringLiteral("'abc' is not a valid floating point value")},
        {"a size code in a text", badText, QString()},
        {"a data block of a negative size", negative, QStringLiteral("Stream read error")},
        {"a line to a point that is no number", badLine,
         QStringLiteral("Invalid number found in report file.")},
        {"an unknown command, then a page misnumbered", twoFaults,
         QStringLiteral("Unexpected code found in report file.")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const QString played = Outcome(row.bytes, false);
        if (!row.message.isEmpty())
            EXPECT_EQ(played, row.message);
        else
            EXPECT_NE(played, QStringLiteral("played"));
        EXPECT_EQ(Outcome(row.bytes, true), played);
    }
}

// Formatting codes in a stretch that only the printer (kind 0) or only the
// preview (kind 1) shows, in a text and in the value of a variable a text
// shows: where a code is no number, the playback of the kind that shows
// the stretch refuses the stream, the other plays it, and the check (File
// > Open's) refuses it with the same message, so a file it takes plays
// whole on both. Sound codes there play and pass everywhere.
TEST_F(QpRenderTest, TheCheckReadsWhatOnlyThePrinterOrOnlyThePreviewShows)
{
    const QString sizeTwelve = QStringLiteral("\x01"
                                              "Z12\x04"
                                              "x");
    for (const int shownBy : {0, 1}) {
        const auto only = shownBy == 0 ? &TZvZSFWriter::AllowPrinterOnly : &TZvZSFWriter::AllowPreviewOnly;
        const struct {
            const char* what;
            QByteArray bytes;
            QString message;
        } rows[] = {
            {"sound codes", CodedPages(QStringLiteral("7"), sizeTwelve, only), QStringLiteral("played")},
            {"a size code in a text", WithSizeCodeNoNumber(CodedPages(QStringLiteral("7"), sizeTwelve, only)),
             QStringLiteral("'q2' is not a valid floating point value")},
            {"a size code in a variable's value",
             CodedPages(QStringLiteral("\x01"
                                       "Zq\x04"
                                       "7"),
                        sizeTwelve, only),
             QStringLiteral("'q' is not a valid floating point value")},
            {"a colour code in a variable's value",
             CodedPages(QStringLiteral("\x01"
                                       "Cx\x04"
                                       "7"),
                        sizeTwelve, only),
             QStringLiteral("'x' is not a valid integer value")},
        };
        for (const auto& row : rows) {
            SCOPED_TRACE(testing::Message() << row.what << ", shown by kind " << shownBy);
            ASSERT_FALSE(row.bytes.isEmpty());
            EXPECT_EQ(Outcome(row.bytes, false, shownBy), row.message);
            EXPECT_EQ(Outcome(row.bytes, false, 1 - shownBy), QStringLiteral("played"));
            EXPECT_EQ(Outcome(row.bytes, true), row.message);
        }
    }
}

// A PNG picture, which a check passes over without decoding it, drawn again
// on page 2 by a reference that a damage turned to a data block on page 1
// whose first four bytes count 100,000. In a stream that holds its bytes
// but reports 200,000 more (a file cut after it was measured), that picture
// runs past the bytes there are: the playbacks and the check end with the
// read error. The stream with its reference sound plays and passes.
TEST_F(QpRenderTest, TheCheckRefusesWhatItPassesOverPastTheBytesThere)
{
    QByteArray png;
    {
        QImage image(5, 5, QImage::Format_RGB32);
        image.fill(Qt::blue);
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        ASSERT_TRUE(image.save(&buffer, "PNG"));
    }
    TPngImage picture;
    picture.LoadFromBytes(png);
    const QByteArray count("\xA0\x86\x01\x00", 4); // 100,000
    TMemoryStream data(count);
    const QByteArray sound = WriteSnapshot([&](TZvZSFWriter& w) {
        w.PrintDataStream(data, 4);
        w.Draw(1, 1, &picture);
        w.RegisterGraphic(1);
        w.NewPage();
        w.ReuseGraphic(1);
        w.Draw(2, 2, &picture);
        w.PrintXY(1, 1, QStringLiteral("after the picture"));
    });
    const qsizetype block = sound.indexOf(count);
    ZsfBytes reference;
    reference.U8(4 + 128).I32(int32_t(sound.indexOf(png) - 4)); // a kind-4 graphic's size, then its bytes
    const qsizetype at = sound.indexOf(reference.Data);
    ASSERT_GT(block, 0);
    ASSERT_GT(at, block);
    QByteArray damaged = sound;
    qToLittleEndian<qint32>(int32_t(block), damaged.data() + at + 1);
    for (const auto& [bytes, message] : {std::pair(sound, QStringLiteral("played")),
                                         std::pair(damaged, QStringLiteral("Stream read error"))}) {
        SCOPED_TRACE(bytes == sound ? "sound" : "damaged");
        for (const int kind : {0, 1}) {
            Claiming<TMemoryStream> stream(bytes.size() + 200000, bytes);
            EXPECT_EQ(Ended(stream, false, kind).Message, message) << "kind " << kind;
        }
        Claiming<TMemoryStream> stream(bytes.size() + 200000, bytes);
        EXPECT_EQ(Ended(stream, true).Message, message);
    }
}

// The commands a check passes over without Dispatch, each with its last
// coordinate (3.5, or a line height) made no number, made too large, or
// cut off by the end of the stream: the check ends as a playback ends, at
// that value and not at the next command.
TEST_F(QpRenderTest, TheCheckRefusesWhatItPassesOverAsAPlaybackDoes)
{
    const QByteArray last("\0\0\x60\x40", 4); // 3.5
    // The snapshot and where its value to damage starts.
    auto marked = [&](const std::function<void(TZvZSFWriter&)>& draw) {
        const QByteArray bytes = WriteSnapshot([&](TZvZSFWriter& w) {
            draw(w);
            w.PrintXY(1, 1, QStringLiteral("after"));
        });
        return std::pair(bytes, bytes.lastIndexOf(last));
    };
    // A line height stands just before a rectangle to 3.5: code 83, ascent,
    // descent, line height.
    auto lineHeight = [&] {
        auto [bytes, at] = marked([](TZvZSFWriter& w) {
            w.SetFont(QStringLiteral("Arial"), 10);
            w.ResetLineHeight();
            w.Rectangle(1, 1, 2, 3.5);
        });
        at -= 4 + 1 + 3 * 4;
        if (at < 9 || bytes.at(at - 9) != '\x53')
            at = -1;
        return std::pair(bytes, at);
    };
    struct Row {
        const char* what;
        std::pair<QByteArray, qsizetype> snapshot;
        QString tooLarge; // how a value of a million ends it
    };
    const QString invalid = QStringLiteral("Invalid number found in report file.");
    const Row rows[] = {
        {"a line", marked([](TZvZSFWriter& w) {
             w.MoveTo(1, 2);
             w.LineTo(2, 3.5);
         }),
         invalid},
        {"a rectangle", marked([](TZvZSFWriter& w) { w.Rectangle(1, 1, 2, 3.5); }), invalid},
        {"an ellipse", marked([](TZvZSFWriter& w) { w.Ellipse(1, 1, 2, 3.5); }), invalid},
        {"a rounded rectangle", marked([](TZvZSFWriter& w) { w.RoundRect(1, 1, 2, 2, 1, 3.5); }), invalid},
        {"an arc", marked([](TZvZSFWriter& w) { w.Arc(1, 1, 2, 2, 1, 1, 2, 3.5); }), invalid},
        {"a pie", marked([](TZvZSFWriter& w) { w.Pie(1, 1, 2, 2, 1, 1, 2, 3.5); }), invalid},
        {"a chord", marked([](TZvZSFWriter& w) { w.Chord(1, 1, 2, 2, 1, 1, 2, 3.5); }), invalid},
        {"a flood fill", marked([](TZvZSFWriter& w) { w.FloodFill(2, 3.5, clRed, TFillStyle::fsBorder); }),
         invalid},
        {"a text's position", marked([](TZvZSFWriter& w) { w.PrintXY(3.5, 2, QStringLiteral("text")); }),
         invalid},
        {"a long text's position", marked([](TZvZSFWriter& w) { w.PrintXY(3.5, 2, QString(200, u'x')); }),
         invalid},
        {"a block text's width", marked([](TZvZSFWriter& w) { w.PrintBlock(QStringLiteral("a b"), 1, 3.5); }),
         invalid},
        {"a line height", lineHeight(), QStringLiteral("played")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const auto& [bytes, at] = row.snapshot;
        ASSERT_GT(at, 0);
        EXPECT_EQ(Outcome(bytes, true), QStringLiteral("played"));
        QByteArray noNumber = bytes;
        noNumber.replace(at, 4, QByteArray("\0\0\xC0\x7F", 4));
        EXPECT_EQ(Outcome(noNumber, false), invalid);
        EXPECT_EQ(Outcome(noNumber, true), invalid);
        QByteArray tooLarge = bytes;
        tooLarge.replace(at, 4, QByteArray("\0\x24\x74\x49", 4)); // 1e6
        EXPECT_EQ(Outcome(tooLarge, false), row.tooLarge);
        EXPECT_EQ(Outcome(tooLarge, true), row.tooLarge);
        const QByteArray cut = bytes.left(at + 2);
        EXPECT_EQ(Outcome(cut, false), QStringLiteral("Stream read error"));
        EXPECT_EQ(Outcome(cut, true), QStringLiteral("Stream read error"));
    }

    // A text cut off in its Y, in its length and in its characters, and
    // texts of 8 bits, which are read as their own version stores them.
    const auto [text, x] = marked([](TZvZSFWriter& w) { w.PrintXY(3.5, 2, QStringLiteral("text")); });
    const qsizetype code = x - 4 * 2 - 1 - 4 - 1;
    ASSERT_EQ(text.at(code), char(TZsfCode::LeftText));
    for (qsizetype length : {code + 1, code + 3, code + 5, x - 3}) {
        EXPECT_EQ(Outcome(text.left(length), false), QStringLiteral("Stream read error"));
        EXPECT_EQ(Outcome(text.left(length), true), QStringLiteral("Stream read error"));
    }
    ZsfBytes ansi;
    ansi.U8(90).U16(5000).Text8("title", false);
    ansi.I32(1).I32(1).I32(9999).F32(8.5).F32(11).F32(0).F32(0).F32(0).F32(0).U8(1);
    ansi.U16(7).U8(1).U8(0).U16(2).U16(9).U16(0).U16(0).Text8("out", false);
    ansi.U8(80).I32(0).I32(0).I32(1).F32(11).F32(8.5);
    ansi.Code(TZsfCode::LeftText).F32(2).Text8("caf\xE9", false).F32(1);
    ansi.Code(TZsfCode::CenterText).F32(2).Text8("ab", false).F32(1);
    ansi.Code(TZsfCode::PageEnd);
    EXPECT_EQ(Outcome(ansi.Data, false), QStringLiteral("played"));
    EXPECT_EQ(Outcome(ansi.Data, true), QStringLiteral("played"));
}

// Whether the playback that ended as first did failed before the one that
// ended as second: at an earlier step, or in the same stretch where it
// showed what the other passed over.
bool FailedFirst(const Ending& first, const Ending& second)
{
    return first.Steps < second.Steps || (first.Steps == second.Steps && first.Shown && !second.Shown);
}

// Damaged copies of streams of every kind of command, stretches for one
// destination among them: the check passes where the playbacks of kind 0
// (printer) and kind 1 (preview) both play whole, and else ends as the one
// that fails first ends, whatever the damage.
TEST_F(QpRenderTest, FuzzedStreamsEndTheCheckAsTheyEndAPlayback)
{
    TBitmap bitmap(3, 3);
    TMemoryStream data(QByteArray("abc"));
    TMemoryStream image(QByteArray(10, 'i'));
    std::vector<QByteArray> seeds{
        CodedPages(QStringLiteral("\x01"
                                  "Z9\x04"
                                  "v")),
        WriteSnapshot([&](TZvZSFWriter& w) {
            w.PrintXY(1, 1,
                      QStringLiteral("\x01"
                                     "C12\x04"
                                     "x ") +
                          w.PIVar(QStringLiteral("v")));
            w.RegisterGraphic(1);
            w.Draw(1, 1, &bitmap);
            w.ReuseGraphic(1);
            w.PrintBitmap(1, 1, 1, 1, &bitmap);
            w.Polygon({w.CreatePoint(1, 1), w.CreatePoint(2, 2)});
            w.PrintData(QStringLiteral("raw"));
            w.PrintDataStream(data, 0);
            w.PrintImageRect(1, 1, 2, 2, &image, QStringLiteral("PNG"));
            w.NewPage();
            w.SetPIVar(QStringLiteral("v"), QStringLiteral("\x01"
                                                           "Z8\x04"));
            w.PrintBlock(QStringLiteral("a \x01"
                                        "B1\x04"
                                        "b"),
                         1, 2);
        }),
        CodedPages(QStringLiteral("\x01"
                                  "Z9\x04"
                                  "v"),
                   QStringLiteral("\x01"
                                  "C12\x04"
                                  "x"),
                   &TZvZSFWriter::AllowPreviewOnly),
        CodedPages(QStringLiteral("\x01"
                                  "C9\x04"
                                  "v"),
                   QStringLiteral("\x01"
                                  "Z12\x04"
                                  "x"),
                   &TZvZSFWriter::AllowPrinterOnly),
    };
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    long long differing = 0;
    const FuzzStats stats = RunFuzzLoop(
        [&](const QByteArray& bytes) {
            TMemoryStream stream(bytes);
            const Ending printed = Ended(stream, false, 0);
            const Ending previewed = Ended(stream, false, 1);
            const Ending checked = Ended(stream, true);
            const QString played = QStringLiteral("played");
            const Ending& first =
                printed.Message == played || (previewed.Message != played && FailedFirst(previewed, printed))
                    ? previewed
                    : printed;
            if (checked.Message != first.Message && ++differing <= 3)
                ADD_FAILURE() << "printed: " << printed.Message.toStdString()
                              << "\npreviewed: " << previewed.Message.toStdString()
                              << "\nchecked: " << checked.Message.toStdString();
        },
        seeds, 3.0, 4242);
    qInstallMessageHandler(previous);
    EXPECT_EQ(differing, 0);
    EXPECT_GT(stats.runs, 100);
}

// ---------------------------------------------------------------------------
// Reading snapshot files

// A snapshot file of pages of forty ruled lines whose every page refers
// back to page 1: to the bitmap registered there and to a variable whose
// placeholder stands at its foot ("Page k of n", n set when the run ends).
QByteArray PagesReferringBack(int pages)
{
    TBitmap bitmap(8, 8);
    return WriteSnapshot([&](TZvZSFWriter& w) {
        w.SetFont(QStringLiteral("Arial"), 10);
        for (int page = 1; page <= pages; ++page) {
            if (page > 1) {
                w.NewPage();
                w.ReuseGraphic(1);
            }
            w.Draw(0.5, 0.5, &bitmap);
            if (page == 1)
                w.RegisterGraphic(1);
            for (int line = 0; line < 40; ++line) {
                const double y = 1 + 0.2 * line;
                w.PrintXY(1, y, QStringLiteral("Item %1 of page %2").arg(line).arg(page));
                w.MoveTo(1, y + 0.05);
                w.LineTo(7.5, y + 0.05);
            }
            w.PrintXY(1, 10.5,
                      QStringLiteral("Page ") + w.Macro(TMacroID::midCurrentPage) + QStringLiteral(" of ") +
                          w.PIVar(QStringLiteral("Total")));
        }
        w.SetPIVar(QStringLiteral("Total"), QString::number(pages));
    });
}

// One playback of a whole snapshot file reads it a window at a time: its
// read calls are bounded by its size (once for the walk over the page
// headers, once for the pages), not one per value; the graphic and the
// variable every page refers to cost no read per page. A page shown later
// takes a read or two. Every page plays in full, references resolved.
TEST_F(QpRenderTest, APlaybackReadsAFileByItsSizeNotByItsValues)
{
    constexpr int kPages = 150;
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("ruled.zsf"));
    SaveBytesToFile(path, PagesReferringBack(kPages));
    CountingFileStream file(path, fmOpenRead);
    const int64_t windows = file.Size() / TZsfReader::kWindowSize + 1;
    ASSERT_GE(windows, 6);

    RecordingRender render;
    render.SetZSFStream(&file);
    render.RenderPage(0);
    EXPECT_LE(file.Reads, 2 * windows + 4);
    QList<int> pages;
    for (int page = 1; page <= kPages; ++page)
        pages << page;
    EXPECT_EQ(render.PagesPlayed(), pages);
    const QStringList texts = PlayedTexts(render);
    EXPECT_EQ(texts.size(), kPages * 41);
    EXPECT_EQ(render.Calls.count(QStringLiteral("Draw 8x8 0.5 0.5")), kPages);
    for (const int page : {1, 2, 99, kPages}) {
        EXPECT_TRUE(texts.contains(QStringLiteral("Page %1 of %2").arg(page).arg(kPages))) << page;
        EXPECT_TRUE(texts.contains(QStringLiteral("Item 39 of page %1").arg(page))) << page;
    }

    for (const int page : {1, 75, kPages, 2}) {
        file.Reads = 0;
        render.Calls.clear();
        render.RenderPage(page);
        EXPECT_EQ(render.PagesPlayed(), QList<int>{page});
        EXPECT_LE(file.Reads, 3) << "page " << page;
    }
    render.SetZSFStream(nullptr);
}

// A check of a snapshot of many windows whose pages refer back to page 1
// (its bitmap and a variable) reads on where each reference left it, and
// ends as a playback ends: sound, and with a line on its last page made no
// number.
TEST_F(QpRenderTest, ACheckReadsOnAfterEachReferenceBack)
{
    const QByteArray bytes = PagesReferringBack(150);
    ASSERT_GT(bytes.size(), 6 * TZsfReader::kWindowSize);
    EXPECT_EQ(Outcome(bytes, true), QStringLiteral("played"));
    const QByteArray lineTo("\x0B\0\0\xF0\x40", 5); // code 11, X 7.5
    ASSERT_GT(bytes.lastIndexOf(lineTo), 0);
    QByteArray damaged = bytes;
    damaged.replace(damaged.lastIndexOf(lineTo) + 1, 4, QByteArray("\0\0\xC0\x7F", 4));
    EXPECT_EQ(Outcome(damaged, false), QStringLiteral("Invalid number found in report file."));
    EXPECT_EQ(Outcome(damaged, true), QStringLiteral("Invalid number found in report file."));
}

// A snapshot file cut anywhere inside a command of its last page: the pages
// before play, the commands before it draw, and the playback ends with the
// read error at that command, named with the file; the same when the file
// is cut after the reader measured it.
TEST_F(QpRenderTest, AFileCutInsideACommandFailsAtThatCommand)
{
    const QString longText(300, u'w');
    const QByteArray whole = WriteSnapshot([&](TZvZSFWriter& w) {
        w.PrintXY(1, 1, QStringLiteral("first"));
        w.NewPage();
        w.PrintXY(1, 1, QStringLiteral("second"));
        w.NewPage();
        w.MoveTo(1.25, 2.5);
        w.LineTo(3.75, 2.5);
        w.Rectangle(1, 3, 2, 4);
        w.PrintXY(1.5, 5, longText);
    });
    // The commands as they stand in the file (the writer puts the lines
    // last); the text is code 24, Y, its two-byte length and units, X.
    ZsfBytes moveTo, lineTo, rectangle, text;
    moveTo.Code(TZsfCode::MoveTo).F32(1.25).F32(2.5);
    lineTo.Code(TZsfCode::LineTo).F32(3.75).F32(2.5);
    rectangle.Code(TZsfCode::Rectangle).F32(1).F32(3).F32(2).F32(4);
    text.Text16(longText);
    const qsizetype lastPage = PageHeaderPos(whole, 3);
    ASSERT_GT(lastPage, 0);
    const qsizetype textAt = whole.indexOf(text.Data, lastPage) - 5;
    ASSERT_GT(textAt, lastPage);
    ASSERT_EQ(uint8_t(whole[textAt]), uint8_t(TZsfCode::LeftText));
    // Each command with the first call that follows from it or after it:
    // code 12 only moves the pen, code 11 draws the move and the line.
    struct Command {
        QByteArray bytes;
        QString call;
        qsizetype start = 0;
    };
    Command commands[] = {
        {moveTo.Data, QStringLiteral("MoveTo 1.25 2.5")},
        {lineTo.Data, QStringLiteral("MoveTo 1.25 2.5")},
        {rectangle.Data, QStringLiteral("Rect 1 3 2 4")},
        {whole.mid(textAt, 1 + 4 + text.Data.size() + 4), QStringLiteral("Left \"%1\" 1.5 5").arg(longText)},
    };
    for (Command& c : commands) {
        c.start = whole.indexOf(c.bytes, lastPage);
        ASSERT_GT(c.start, lastPage) << c.call.left(20).toStdString();
    }

    RecordingRender full;
    full.Play(whole);
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("cut.zsf"));
    for (const Command& c : commands) {
        const qsizetype played = full.Calls.indexOf(c.call);
        ASSERT_GT(played, 0) << c.call.left(20).toStdString();
        const QStringList before = full.Calls.mid(0, played) << QStringLiteral("DocEnd");
        for (qsizetype cut = c.start; cut < c.start + c.bytes.size(); ++cut) {
            SCOPED_TRACE(testing::Message() << c.call.left(20).toStdString() << ", cut at " << cut);
            SaveBytesToFile(path, whole.left(cut));
            RecordingRender render;
            try {
                render.Render(path);
                ADD_FAILURE() << "played";
            } catch (const Exception& e) {
                EXPECT_EQ(e.Message(), QStringLiteral("Stream read error\n") + path);
            }
            EXPECT_EQ(render.Calls, before);

            Claiming<TFileStream> claiming(whole.size(), path, fmOpenRead);
            RecordingRender measured;
            measured.SetZSFStream(&claiming);
            try {
                measured.RenderPage(0);
                ADD_FAILURE() << "played";
            } catch (const EReadError& e) {
                EXPECT_EQ(e.Message(), QStringLiteral("Stream read error\n") + path);
            }
            EXPECT_EQ(measured.Calls, before);
            measured.SetZSFStream(nullptr);
        }
    }
}

// The formatted forms write the formatted text in the Ansi code page, the
// line form with CR LF after it.
TEST(QpRenderStreamTest, FormattedAnsiOutput)
{
    TMemoryStream output;
    TQPRenderStream target(nullptr);
    target.SetOutputStream(&output);
    target.PrintAnsiF(QStringLiteral("%s=%d;"), {QStringLiteral("caf\u00E9"), 42});
    target.PrintAnsiLnF(QStringLiteral("%.3f mm%%"), {12.5});
    target.PrintAnsiLnF(QStringLiteral("end"), {});
    EXPECT_EQ(output.Bytes(), QByteArray("caf\xE9=42;12.500 mm%\r\nend\r\n"));
    EXPECT_THROW(target.PrintAnsiF(QStringLiteral("%d"), {}), EConvertError);
}

// Where two playbacks part: the first call that differs, cut short for the
// message; empty when they agree.
QString FirstDifference(const QStringList& calls, const QStringList& expected)
{
    for (qsizetype i = 0; i < std::max(calls.size(), expected.size()); ++i) {
        const QString call = calls.value(i, QStringLiteral("(none)"));
        const QString wanted = expected.value(i, QStringLiteral("(none)"));
        if (call != wanted)
            return QStringLiteral("call %1: %2, expected %3").arg(i).arg(call.left(80), wanted.left(80));
    }
    return QString();
}

// A target that moves the snapshot stream wherever it is told something,
// as a target that reads the stream itself would.
class MovingStreamRender : public RecordingRender {
public:
    void PageBegin() override
    {
        RecordingRender::PageBegin();
        ZSFStream()->SetPosition(0);
    }
    void PrintDataStream(TStream& stream, int count) override
    {
        RecordingRender::PrintDataStream(stream, count);
        ZSFStream()->SetPosition(ZSFStream()->Size() / 2);
    }
};

// A snapshot of pages of ruled lines with a data block longer than two of
// the reader's windows on every third page plays the same from a file as
// from memory when the file hands out at most 7, 4096 or 65535 bytes a
// read, and when the target moves the stream while it plays.
TEST_F(QpRenderTest, AStreamThatDeliversLittleAtATimeOrIsMovedPlaysInFull)
{
    QByteArray data(2 * TZsfReader::kWindowSize + 4321, Qt::Uninitialized);
    for (qsizetype i = 0; i < data.size(); ++i)
        data[i] = char('a' + i % 26);
    const QByteArray snapshot = WriteSnapshot([&](TZvZSFWriter& w) {
        for (int page = 1; page <= 12; ++page) {
            if (page > 1)
                w.NewPage();
            for (int line = 0; line < 40; ++line) {
                w.PrintXY(1, 1 + 0.2 * line, QStringLiteral("Item %1 of page %2").arg(line).arg(page));
                w.MoveTo(1, 1.05 + 0.2 * line);
                w.LineTo(7.5, 1.05 + 0.2 * line);
            }
            if (page % 3 == 1) {
                TMemoryStream block(data.left(data.size() - page));
                w.PrintDataStream(block, 0);
            }
        }
    });
    ASSERT_GT(snapshot.size(), 8 * TZsfReader::kWindowSize);
    RecordingRender fromMemory;
    fromMemory.Play(snapshot);
    ASSERT_EQ(fromMemory.PagesPlayed().size(), 12);
    ASSERT_EQ(fromMemory.Calls.filter(QStringLiteral("DataStream")).size(), 4);

    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("blocks.zsf"));
    SaveBytesToFile(path, snapshot);
    // Where a playback parts from the one from memory, or the error that
    // ended it; empty when it plays the same.
    const auto difference = [&fromMemory](TStream& stream, RecordingRender& render) {
        render.SetZSFStream(&stream);
        try {
            render.RenderPage(0);
        } catch (const Exception& e) {
            return e.Message();
        }
        return FirstDifference(render.Calls, fromMemory.Calls);
    };
    for (const int64_t most : {int64_t(7), int64_t(4096), int64_t(65535)}) {
        CountingFileStream file(path, fmOpenRead);
        file.MostPerRead = most;
        RecordingRender render;
        EXPECT_EQ(difference(file, render).toStdString(), "") << "at most " << most << " bytes a read";
    }
    TFileStream file(path, fmOpenRead);
    MovingStreamRender moving;
    EXPECT_EQ(difference(file, moving).toStdString(), "") << "moved";
}

} // namespace
