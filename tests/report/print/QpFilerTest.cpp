#include "SnapshotSupport.h"

#include "report/print/QpFiler.h"

#include "platform/os/TempFiles.h"
#include "platform/rtl/Streams.h"
#include "tests/support/FileSizeLimit.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>

namespace {

// Both read through a view: QByteArray::constData() answers an array without
// storage with a one-byte static, and the optimiser, not knowing that a size
// check rules that branch out, reports the reads as reads past that byte
// (-Warray-bounds at -O2, a false alarm). A view holds the array's own
// pointer, so there is no such branch to follow. A field past the end fails
// the test instead of reading beyond the snapshot.
bool FieldInside(QByteArrayView b, qsizetype at)
{
    if (at >= 0 && at + 4 <= b.size())
        return true;
    ADD_FAILURE() << "a 4-byte field at " << at << " is outside the " << b.size() << " bytes";
    return false;
}

int32_t I32At(QByteArrayView b, qsizetype at)
{
    return FieldInside(b, at) ? qFromLittleEndian<qint32>(b.constData() + at) : 0;
}

float F32At(QByteArrayView b, qsizetype at)
{
    if (!FieldInside(b, at))
        return NAN;
    const quint32 bits = qFromLittleEndian<quint32>(b.constData() + at);
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

// "5A 10 27 ..." with "??" for bytes that are not compared.
void ExpectBytes(const QByteArray& actual, qsizetype from, const char* pattern)
{
    const QStringList tokens = QString::fromLatin1(pattern).split(u' ', Qt::SkipEmptyParts);
    ASSERT_LE(from + tokens.size(), actual.size());
    for (qsizetype i = 0; i < tokens.size(); ++i) {
        if (tokens[i] == u"??")
            continue;
        EXPECT_EQ(uint8_t(actual[from + i]), tokens[i].toUInt(nullptr, 16)) << "byte " << from + i;
    }
}

struct PageLink {
    qsizetype Pos;
    int32_t Prev;
    int32_t Next;
    int32_t PageNo;
};

// The pages by the chain's forward links.
QList<PageLink> PageChain(const QByteArray& b)
{
    QList<PageLink> pages;
    qsizetype pos = FirstPagePos(b);
    while (pos > 0 && pos + 13 <= b.size() && uint8_t(b[pos]) == 80) {
        pages.append({pos, I32At(b, pos + 1), I32At(b, pos + 5), I32At(b, pos + 9)});
        pos = I32At(b, pos + 5);
        if (pages.size() > 100)
            break;
    }
    return pages;
}

QByteArray Utf16(const QString& text)
{
    QByteArray bytes;
    for (QChar c : text) {
        bytes.append(char(c.unicode() & 0xFF));
        bytes.append(char(c.unicode() >> 8));
    }
    return bytes;
}

// Code 37 with the name, as it stands in front of the variable data.
QByteArray VariableRecord(const QString& name)
{
    return QByteArray(1, char(37)) + char(name.size()) + Utf16(name);
}

QByteArray OutputText(const QString& text)
{
    TMemoryStream stream;
    TZsfOutput out;
    out.Attach(&stream);
    out.Text(text);
    out.Flush();
    return stream.Bytes();
}

class QpFilerTest : public NoPrinterTest {};

// A field a snapshot does not hold fails the test instead of reading past
// the bytes, which the sanitizer build would end the whole program on.
TEST(QpFilerSnapshotFieldTest, AFieldPastTheBytesFailsTheTest)
{
    EXPECT_NONFATAL_FAILURE(I32At(QByteArray(6, '\0'), 3), "at 3 is outside the 6 bytes");
    EXPECT_NONFATAL_FAILURE(F32At(QByteArray(6, '\0'), -1), "outside");
    EXPECT_NONFATAL_FAILURE(I32At(QByteArray(), 0), "outside the 0 bytes");
    EXPECT_EQ(I32At(QByteArray("\x01\0\0\0\x02", 5), 1), 2 << 24);
}

TEST(QpFilerTextTest, LengthPrefixes)
{
    struct Row {
        int line;
        int length;
        const char* prefix; // the first bytes
        int written;        // units kept
    };
    // The text form: one byte below 192, else 0xC0 | (n >> 8) and n & 0xFF;
    // at most 16383 units.
    const Row rows[] = {
        {1, 0, "00", 0},
        {2, 191, "BF", 191},
        {3, 192, "C0 C0", 192},
        {4, 256, "C1 00", 256},
        {5, 16383, "FF FF", 16383},
        {6, 16384, "FF FF", 16383}, // cut, not a corrupted prefix
    };
    for (const Row& row : rows) {
        const QByteArray bytes = OutputText(QString(row.length, u'x'));
        ExpectBytes(bytes, 0, row.prefix);
        const int prefix = row.written < 192 ? 1 : 2;
        EXPECT_EQ(bytes.size(), prefix + 2 * row.written) << "row " << row.line;
    }
}

TEST(QpFilerTextTest, CutNeverSplitsASurrogatePair)
{
    // A pair standing across the limit goes as a whole.
    const QString pair = QString::fromUcs4(U"\U0001D11E");
    QString text = QString(16382, u'a') + pair;
    EXPECT_EQ(ZsfCutText(text, 16383).size(), 16382);
    text = QString(16381, u'a') + pair + u'b';
    EXPECT_EQ(ZsfCutText(text, 16383), QString(16381, u'a') + pair);
}

TEST_F(QpFilerTest, EmptyRunIsOnePageWithItsFullState)
{
    const QByteArray b = WriteSnapshot({});
    // File header: lead 90, version 10000, title "Zarv Report", page count
    // 1 (patched), pages 1 to 9999, 8.5 x 11 in (no printer), no waste,
    // orientation poDefault, bin 265, no collate, simplex, copies 1, paper
    // 1, no paper size, no output name.
    ExpectBytes(b, 0, "5A 10 27 0B 5A 00 61 00 72 00 76 00 20 00 52 00 65 00 70 00 6F 00 72 00 74 00");
    ExpectBytes(b, 26,
                "01 00 00 00 01 00 00 00 0F 27 00 00 00 00 08 41 00 00 30 41 00 00 00 00 00 00 00 00 00 00 "
                "00 00 00 00 00 00 02 09 01 00 00 01 00 01 00 00 00 00 00 00");
    ASSERT_EQ(FirstPagePos(b), 76);
    // Page header: no previous and no next page, page 1, the paper,
    // orientation, bin 512.
    ExpectBytes(b, 76, "50 00 00 00 00 00 00 00 00 01 00 00 00 00 00 08 41 00 00 30 41 02 00 02");
    // The whole state: brush black and clear without pattern; font Arial
    // (10 pt = 10/72 in, its reference width measured), black, default
    // pitch and character set, no styles; pen black, copy, solid, one pixel
    // of 600 dpi; scales 100 %, transparent text on white; end of page.
    ExpectBytes(b, 100,
                "29 00 00 00 00 2A 01 2B 00 33 05 41 00 72 00 69 00 61 00 6C 00 34 00 00 00 00 35 00 3F 01 "
                "37 00 39 00 38 00 3A 00 3B 00 3C 00 3D 00 00 3E 00 36 E4 38 0E 3E ?? ?? ?? ?? 47 00 00 00 "
                "00 48 04 49 00 4A 0E 74 DA 3A 1C 00 00 C8 42 1D 00 00 C8 42 1A 00 1B FF FF FF 00 52");
    EXPECT_EQ(b.size(), 188);
    EXPECT_FLOAT_EQ(F32At(b, 166), 1.0f / 600);
}

// Before any font is set, text is measured in the base font, Arial 10, at
// the resolution of the device the writer measures on: the first header's
// reference width, a plain width, and the size kept when a script changes
// the name alone all agree with the same font set explicitly.
// A coordinate or size beyond what the reader takes (99999 inches as a
// single-precision float) is refused before it is recorded, naming the kind
// of length; no number at all is refused the same way. The largest value
// the reader takes is recorded.
TEST_F(QpFilerTest, ACoordinateThePageCannotCarryIsRefused)
{
    struct Row {
        int line;
        std::function<void(TZvZSFWriter&)> draw;
        const char* property; // null: recorded
    };
    const double nan = std::nan("");
    const Row rows[] = {
        {1, [](TZvZSFWriter& w) { w.PrintXY(99999.5, 1, QStringLiteral("x")); }, "Left"},
        {2, [](TZvZSFWriter& w) { w.PrintXY(1e300, 1, QStringLiteral("x")); }, "Left"},
        {3, [&](TZvZSFWriter& w) { w.Rectangle(1, 1, 2, nan); }, "Top"},
        {4, [](TZvZSFWriter& w) { w.RoundRect(1, 1, 2, 2, -1e6, 0.1); }, "Width"},
        {5, [](TZvZSFWriter& w) { w.Rectangle(-99999, 1, 2, 99999.001); }, nullptr},
    };
    for (const Row& row : rows) {
        try {
            const QByteArray bytes = WriteSnapshot(row.draw);
            EXPECT_EQ(row.property, nullptr) << "row " << row.line;
            RecordingRender render;
            render.Play(bytes);
        } catch (const EZsfLength& e) {
            ASSERT_NE(row.property, nullptr) << "row " << row.line;
            EXPECT_EQ(e.Message(), QStringLiteral("Invalid floating point value for property ") +
                                       QLatin1String(row.property))
                << "row " << row.line;
        }
    }
}

TEST_F(QpFilerTest, TextBeforeAnyFontIsMeasuredInTheBaseFont)
{
    double before = 0;
    double sizeAfterName = 0;
    double arial = 0;
    double reference = 0;
    const QByteArray b = WriteSnapshot([&](TZvZSFWriter& w) {
        before = w.TextWidth(QStringLiteral("two words"));
        w.SetFontName(QStringLiteral("Times New Roman"));
        sizeAfterName = w.FontSize();
        w.SetFont(QStringLiteral("Arial"), 10);
        arial = w.TextWidth(QStringLiteral("two words"));
        reference = w.TextWidth(kZsfReferenceText);
    });
    // Liberation Sans, Arial's metric twin: "two words" is 4.488 em wide,
    // 0.6233 inch at 10 points.
    EXPECT_NEAR(arial, 0.6233, 0.006);
    EXPECT_NEAR(before, arial, 0.01 * arial);
    EXPECT_NEAR(sizeAfterName, 10, 0.1);
    ASSERT_EQ(uint8_t(b[147]), 54); // the first page header's font height and reference width
    EXPECT_NEAR(F32At(b, 152), reference, 0.01 * reference);
}

// With amPositioning a spaced text goes out as a block of the text's own
// width at its font, whatever the horizontal scale; a centred or right-
// aligned block sits about the scaled position.
TEST_F(QpFilerTest, BlockTextKeepsItsWidthUnderHorizontalScale)
{
    const QString text = QStringLiteral("two words");
    const QByteArray encoded = char(text.size()) + Utf16(text);
    // The block's start and width as written: code 33, Y, the text, X, width.
    auto block = [&](double scaleX, bool centre, double& start, double& width) {
        const QByteArray b = WriteSnapshot(
            [&](TZvZSFWriter& w) {
                w.SetYPos(1);
                if (centre)
                    w.PrintCenter(text, 4);
                else
                    w.PrintRight(text, 4);
            },
            [&](TZvZSFWriter& w) {
                w.SetAccuracyMethod(TAccuracyMethod::amPositioning);
                w.SetScaleX(scaleX);
            });
        const qsizetype at = b.indexOf(encoded);
        ASSERT_GT(at, 5);
        ASSERT_EQ(uint8_t(b[at - 5]), 33);
        start = F32At(b, at + encoded.size());
        width = F32At(b, at + encoded.size() + 4);
    };
    double start = 0;
    double natural = 0;
    block(100, false, start, natural);
    EXPECT_NEAR(natural, 0.6233, 0.006); // Arial 10
    struct Row {
        int line;
        double scaleX;
        bool centre;
        double start; // inches: the scaled position less the width or half of it
    };
    const Row rows[] = {
        {1, 50, true, 2 - natural / 2}, // 1.6883, not 1.84417 with the width halved
        {2, 50, false, 2 - natural},
        {3, 100, true, 4 - natural / 2},
        {4, 100, false, 4 - natural},
        {5, 200, true, 8 - natural / 2},
        {6, 200, false, 8 - natural},
    };
    for (const Row& row : rows) {
        double width = 0;
        block(row.scaleX, row.centre, start, width);
        EXPECT_NEAR(width, natural, 1e-5) << "row " << row.line;
        EXPECT_NEAR(start, row.start, 1e-5) << "row " << row.line;
    }
}

TEST_F(QpFilerTest, PageChainLinksWrittenPagesOnly)
{
    // Pages 1 to 4, of which 2 and 4 are selected: they are written as
    // pages 1 and 2.
    const QByteArray b = WriteSnapshot(
        [](TZvZSFWriter& w) {
            for (int i = 0; i < 3; ++i)
                w.NewPage();
        },
        [](TZvZSFWriter& w) { w.SetSelection(QStringLiteral("2,4")); });
    const QList<PageLink> pages = PageChain(b);
    ASSERT_EQ(pages.size(), 2);
    EXPECT_EQ(I32At(b, 26), 2); // page count
    EXPECT_EQ(pages[0].Prev, 0);
    EXPECT_EQ(pages[0].Next, pages[1].Pos);
    EXPECT_EQ(pages[0].PageNo, 1);
    EXPECT_EQ(pages[1].Prev, pages[0].Pos);
    EXPECT_EQ(pages[1].Next, 0);
    EXPECT_EQ(pages[1].PageNo, 2);
    EXPECT_EQ(uint8_t(b[pages[1].Pos - 1]), 82); // each page ends before the next
    EXPECT_EQ(uint8_t(b.back()), 82);
}

TEST_F(QpFilerTest, StateRecordsOnlyOnChange)
{
    const QByteArray b = WriteSnapshot([](TZvZSFWriter& w) {
        w.SetPen(clRed, TPenStyle::psSolid, 1, TPenMode::pmCopy);
        w.SetPen(clRed, TPenStyle::psSolid, 1, TPenMode::pmCopy);
        w.Rectangle(1, 1, 2, 2);
    });
    // One red pen colour record: code 71 with $000000FF.
    const QByteArray red("\x47\xFF\x00\x00\x00", 5);
    EXPECT_EQ(b.count(red), 1);
}

TEST_F(QpFilerTest, AccuracyMethodDecidesBlockText)
{
    struct Row {
        int line;
        TAccuracyMethod method;
        const char* text;
        int code;
    };
    const Row rows[] = {
        {1, TAccuracyMethod::amPositioning, "two words", 33}, // spaced text keeps its measured width
        {2, TAccuracyMethod::amPositioning, "oneword", 24},
        {3, TAccuracyMethod::amAppearance, "two words", 24},
        {4, TAccuracyMethod::amPositioning,
         "\x01"
         "B1\x04two words",
         24}, // codes: laid out on playback
    };
    for (const Row& row : rows) {
        const QString text = QString::fromLatin1(row.text);
        const QByteArray b = WriteSnapshot([&](TZvZSFWriter& w) { w.PrintXY(1, 1, text); },
                                           [&](TZvZSFWriter& w) { w.SetAccuracyMethod(row.method); });
        const QByteArray encoded = char(text.size()) + Utf16(text);
        const qsizetype at = b.indexOf(encoded);
        ASSERT_GT(at, 5) << "row " << row.line;
        EXPECT_EQ(uint8_t(b[at - 5]), row.code) << "row " << row.line;
    }
}

TEST_F(QpFilerTest, VariableSetLaterFillsTheEarlierPlaceholder)
{
    QString reference;
    const QByteArray b = WriteSnapshot([&](TZvZSFWriter& w) {
        reference = w.PIVar(QStringLiteral("Total"));
        w.NewPage();
        w.NewPage();
        w.SetPIVar(QStringLiteral("total"), QStringLiteral("12")); // names ignore case
    });
    EXPECT_EQ(reference,
              QChar(0xFD) + QStringLiteral("$QPCV") + QChar(0xFC) + QStringLiteral("Total") + QChar(0xFB));
    const QByteArray record = VariableRecord(QStringLiteral("Total"));
    const qsizetype placeholder = b.indexOf(record) + record.size();
    // A = 128, B = the length, the value, zeros to the end of the area.
    ExpectBytes(b, placeholder, "80 02 31 00 32 00 00 00");
    EXPECT_EQ(b.mid(placeholder + 6, 124), QByteArray(124, '\0'));
    // Pages 2 and 3 start with a reference to it (A = 4, B = 254).
    const QList<PageLink> pages = PageChain(b);
    ASSERT_EQ(pages.size(), 3);
    for (int i = 1; i < 3; ++i) {
        const qsizetype ref = b.indexOf(record, pages[i].Pos) + record.size();
        ASSERT_LT(ref, i == 1 ? pages[2].Pos : b.size());
        ExpectBytes(b, ref, "04 FE");
        EXPECT_EQ(I32At(b, ref + 2), placeholder);
    }
}

TEST_F(QpFilerTest, VariableSetBeforeReadIsAValueRecordLinkedFromThePlaceholder)
{
    const QByteArray b = WriteSnapshot([](TZvZSFWriter& w) {
        w.SetPIVar(QStringLiteral("v"), QString(70, u'x')); // cut to 64
        w.PIVar(QStringLiteral("v"));
    });
    const QByteArray record = VariableRecord(QStringLiteral("v"));
    const qsizetype value = b.indexOf(record) + record.size();
    ExpectBytes(b, value, "40 40 78 00");
    const qsizetype placeholder = b.indexOf(record, value) + record.size();
    ASSERT_GT(placeholder, value + 130);
    ExpectBytes(b, placeholder, "80 FF");
    EXPECT_EQ(I32At(b, placeholder + 2), value);
}

TEST_F(QpFilerTest, RegisteredGraphicIsStoredOnce)
{
    TBitmap bitmap(3, 2);
    const QByteArray b = WriteSnapshot([&](TZvZSFWriter& w) {
        w.Draw(1, 1, &bitmap);
        w.RegisterGraphic(3);
        w.ReuseGraphic(3);
        w.Draw(2, 1, &bitmap);
        w.ReuseGraphic(3);
        w.Draw(3, 1, &bitmap);
    });
    // Code 5, kind 1, then the size of a BMP file ("BM" follows).
    const qsizetype first = b.indexOf(QByteArray("\x05\x01", 2));
    ASSERT_GT(first, 0);
    EXPECT_EQ(b.mid(first + 6, 2), QByteArray("BM"));
    EXPECT_EQ(b.count(QByteArray("BM")), 1);
    qsizetype at = first;
    for (int i = 0; i < 2; ++i) {
        at = b.indexOf(QByteArray("\x05\x81", 2), at + 1);
        ASSERT_GT(at, first);
        EXPECT_EQ(I32At(b, at + 2), first + 2); // the size field of the first copy
    }
}

TEST_F(QpFilerTest, AbortedPageLeavesNoTrace)
{
    TBitmap bitmap(2, 2);
    const QByteArray b = WriteSnapshot([&](TZvZSFWriter& w) {
        w.PIVar(QStringLiteral("w"));
        w.PrintXY(1, 1, QStringLiteral("first"));
        w.NewPage();
        w.PrintXY(1, 1, QStringLiteral("gone"));
        w.PIVar(QStringLiteral("late"));                          // a placeholder on the page
        w.SetPIVar(QStringLiteral("w"), QStringLiteral("early")); // fills page 1's placeholder
        w.Draw(1, 1, &bitmap);
        w.RegisterGraphic(1);
        w.AbortPage();
        w.NewPage();
        w.PrintXY(1, 1, QStringLiteral("second"));
        w.ReuseGraphic(1); // the slot is empty again: the bitmap goes whole
        w.Draw(1, 1, &bitmap);
    });
    EXPECT_EQ(I32At(b, 26), 2);
    const QList<PageLink> pages = PageChain(b);
    ASSERT_EQ(pages.size(), 2);
    EXPECT_EQ(pages[1].Prev, pages[0].Pos);
    EXPECT_EQ(pages[1].PageNo, 2);
    EXPECT_EQ(pages[1].Next, 0);
    EXPECT_EQ(b.indexOf(Utf16(QStringLiteral("gone"))), -1);
    EXPECT_EQ(b.indexOf(VariableRecord(QStringLiteral("late"))), -1);
    EXPECT_EQ(b.indexOf(QByteArray("\x05\x81", 2)), -1);
    // Page 1's placeholder is a placeholder again, and page 2 refers to it.
    const QByteArray record = VariableRecord(QStringLiteral("w"));
    const qsizetype placeholder = b.indexOf(record) + record.size();
    ExpectBytes(b, placeholder, "80 FF 00 00 00 00");
    const qsizetype ref = b.indexOf(record, pages[1].Pos) + record.size();
    ExpectBytes(b, ref, "04 FE");
    EXPECT_EQ(I32At(b, ref + 2), placeholder);
}

TEST_F(QpFilerTest, AbortedLastPageIsCutOff)
{
    const QByteArray b = WriteSnapshot([](TZvZSFWriter& w) {
        w.PrintXY(1, 1, QStringLiteral("kept"));
        w.NewPage();
        w.PrintXY(1, 1, QStringLiteral("dropped"));
        w.AbortPage();
    });
    EXPECT_EQ(I32At(b, 26), 1);
    const QList<PageLink> pages = PageChain(b);
    ASSERT_EQ(pages.size(), 1);
    EXPECT_EQ(pages[0].Next, 0);
    EXPECT_EQ(uint8_t(b.back()), 82);
    EXPECT_EQ(b.indexOf(Utf16(QStringLiteral("dropped"))), -1);
}

TEST_F(QpFilerTest, AbortedRunLeavesAReadableStream)
{
    const QByteArray b = WriteSnapshot([](TZvZSFWriter& w) {
        w.PrintXY(1, 1, QStringLiteral("before"));
        w.Abort();
    });
    EXPECT_EQ(I32At(b, 26), 1);
    EXPECT_EQ(uint8_t(b.back()), 82); // the open page is closed
    RecordingRender render;
    render.Play(b);
    EXPECT_EQ(render.Drawing(), QStringList{QStringLiteral("Left \"before\" 1 1")});
}

TEST_F(QpFilerTest, DroppedBrushPatternIsDroppedOnPlayback)
{
    TBitmap pattern(8, 8);
    const QByteArray b = WriteSnapshot([&](TZvZSFWriter& w) {
        w.SetBrush(clBlack, TBrushStyle::bsSolid, &pattern);
        w.GetCanvas()->Brush()->SetBitmap(nullptr);
    });
    RecordingRender render;
    render.RecordState = true;
    render.Play(b);
    QStringList brushes;
    for (const QString& call : render.Calls)
        if (call.startsWith(u"Brush"))
            brushes << call;
    ASSERT_FALSE(brushes.isEmpty());
    EXPECT_TRUE(brushes.contains(QStringLiteral("Brush 0 0 pattern")));
    EXPECT_EQ(brushes.last(), QStringLiteral("Brush 0 0 plain"));
}

TEST_F(QpFilerTest, StreamModesWriteTheSameSnapshot)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    auto body = [](TZvZSFWriter& w) { w.PrintXY(1, 1, QStringLiteral("mode")); };
    const QByteArray user = WriteSnapshot(body);
    const QString file = dir.filePath(QStringLiteral("out.zsf"));
    for (TStreamMode mode : {TStreamMode::smFile, TStreamMode::smMemory, TStreamMode::smTempFile}) {
        TZvZSFWriter writer(nullptr);
        writer.SetStreamMode(mode);
        writer.SetFileName(file);
        writer.SetReportDateTime(QDateTime::currentDateTime());
        writer.OnPrint = [&](TObject*) { body(writer); };
        writer.Execute();
        QFile saved(writer.FileName());
        ASSERT_TRUE(saved.open(QIODevice::ReadOnly)) << int(mode);
        EXPECT_EQ(saved.readAll(), user) << int(mode);
        if (mode == TStreamMode::smTempFile) {
            EXPECT_TRUE(QFileInfo(writer.FileName()).fileName().startsWith(u"ZV"));
            QFile::remove(writer.FileName());
        }
    }

    // The file of an earlier snapshot is replaced only by a complete one: a
    // run that fails part way, or a disk with no room for the whole snapshot
    // (a file size limit in a child process), leaves it as it was.
    const QByteArray previous(200, 'p');
    {
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(previous);
    }
    auto readBack = [&] {
        QFile saved(file);
        return saved.open(QIODevice::ReadOnly) ? saved.readAll() : QByteArray();
    };
    for (TStreamMode mode : {TStreamMode::smFile, TStreamMode::smMemory}) {
        TZvZSFWriter writer(nullptr);
        writer.SetStreamMode(mode);
        writer.SetFileName(file);
        writer.OnPrint = [&](TObject*) {
            body(writer);
            throw EInvalidOperation(QStringLiteral("failed part way"));
        };
        EXPECT_THROW(writer.Execute(), EInvalidOperation) << int(mode);
        EXPECT_EQ(readBack(), previous) << int(mode);

        const QString message = RunWithFileSizeLimit(user.size() / 2, [&] {
            TZvZSFWriter limited(nullptr);
            limited.SetStreamMode(mode);
            limited.SetFileName(file);
            limited.OnPrint = [&](TObject*) { body(limited); };
            try {
                limited.Execute();
            } catch (const Exception& e) {
                return e.Message();
            }
            return QStringLiteral("written");
        });
        EXPECT_TRUE(message.startsWith("Cannot create file \"" + file + "\". ")) << message.toStdString();
        EXPECT_EQ(readBack(), previous) << int(mode);
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"out.zsf"}));
}

// The snapshot of a run printed through a temporary file: when the
// temporary folder has no room for it, or the run fails, the error names the
// temporary file and no temporary of the run is left behind, empty or not.
TEST_F(QpFilerTest, ASnapshotTemporaryThatCannotBeWrittenIsNamedAndRemoved)
{
    auto body = [](TZvZSFWriter& w) {
        for (int line = 1; line <= 40; ++line)
            w.PrintXY(1, line * 0.2, QStringLiteral("temporary line %1").arg(line));
    };
    const QDir temp(TempFolder());
    const auto left = [&temp] {
        return temp.entryList({QStringLiteral("*ZV*")}, QDir::Files | QDir::Hidden);
    };
    const QStringList before = left();
    const QString message = RunWithFileSizeLimit(300, [&] {
        TZvZSFWriter limited(nullptr);
        limited.SetStreamMode(TStreamMode::smTempFile);
        limited.OnPrint = [&](TObject*) { body(limited); };
        try {
            limited.Execute();
        } catch (const Exception& e) {
            return e.Message() + QLatin1Char('|') + limited.FileName();
        }
        return QStringLiteral("written");
    });
    const QString named = message.section(QLatin1Char('|'), 1);
    EXPECT_TRUE(QFileInfo(named).fileName().startsWith(u"ZV")) << message.toStdString();
    EXPECT_TRUE(message.startsWith("Cannot create file \"" + named + "\". ")) << message.toStdString();
    EXPECT_TRUE(message.section(QLatin1Char('|'), 0, 0).endsWith("too large")) << message.toStdString();
    EXPECT_EQ(left(), before);

    TZvZSFWriter failing(nullptr);
    failing.SetStreamMode(TStreamMode::smTempFile);
    failing.OnPrint = [&](TObject*) {
        body(failing);
        throw EInvalidOperation(QStringLiteral("failed part way"));
    };
    EXPECT_THROW(failing.Execute(), EInvalidOperation);
    EXPECT_EQ(left(), before);
}

TEST_F(QpFilerTest, CallerStreamIsCutToTheSnapshot)
{
    TMemoryStream stream(QByteArray(5000, 'x'));
    TZvZSFWriter writer(nullptr);
    writer.SetStreamMode(TStreamMode::smUser);
    writer.SetStream(&stream);
    writer.Execute();
    EXPECT_EQ(stream.Bytes(), WriteSnapshot({}));
}

TEST_F(QpFilerTest, Refusals)
{
    struct Row {
        int line;
        std::function<void(TZvZSFWriter&)> call;
        const char* message;
    };
    const Row rows[] = {
        {1, [](TZvZSFWriter& w) { w.CopyRect(TRect(), nullptr, TRect()); },
         "CopyRect() not supported in file mode."},
        {2, [](TZvZSFWriter& w) { w.RegisterGraphic(0); }, "RegisterGraphic: Index must be between 1 and 10"},
        {3, [](TZvZSFWriter& w) { w.ReuseGraphic(11); }, "ReuseGraphic: Index must be between 1 and 10"},
        {4, [](TZvZSFWriter& w) { w.UnregisterGraphic(-1); },
         "UnregisterGraphic: Index must be between 1 and 10"},
    };
    for (const Row& row : rows) {
        try {
            WriteSnapshot(row.call);
            ADD_FAILURE() << "row " << row.line;
        } catch (const ESheetcaster& e) {
            EXPECT_EQ(e.Message(), QString::fromLatin1(row.message)) << "row " << row.line;
        }
    }
    // Slots 1 and 10 are the limits that work.
    EXPECT_NO_THROW(WriteSnapshot([](TZvZSFWriter& w) {
        w.RegisterGraphic(1);
        w.RegisterGraphic(10);
    }));
    TZvZSFWriter writer(nullptr);
    writer.SetStreamMode(TStreamMode::smUser);
    try {
        writer.Execute();
        ADD_FAILURE() << "smUser without a stream";
    } catch (const ESheetcaster& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("StreamMode is smUser but Stream is nil"));
    }
    EXPECT_FALSE(writer.Printing());
    try {
        writer.Rectangle(0, 0, 1, 1);
        ADD_FAILURE() << "drawing while not printing";
    } catch (const ESheetcaster& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Invalid method call.  Sheetcaster is not printing."));
    }
}

// ---------------------------------------------------------------------------
// The reading side of the byte layer.

enum class ValueKind { Byte, Word, Int32, Float, Text, Block };

// One value the writing side wrote, and where it stands.
struct WrittenValue {
    ValueKind Kind = ValueKind::Byte;
    uint32_t Number = 0;
    QString Text;
    QByteArray Block;
    qsizetype Start = 0;
    qsizetype End = 0;
};

// Values of every kind, one after another, over several windows of the
// reader: texts of both length forms, short blocks, and in the middle a
// block longer than a window.
struct WrittenValues {
    std::vector<WrittenValue> Values;
    QByteArray Bytes;
};

WrittenValues ManyValues()
{
    WrittenValues out;
    TMemoryStream stream;
    TZsfOutput writer;
    writer.Attach(&stream);
    constexpr int kCount = 2400;
    for (int i = 0; i < kCount; ++i) {
        WrittenValue v;
        v.Kind = ValueKind(i % 6);
        v.Start = writer.Position();
        v.Number = uint32_t(i) * 2654435761u;
        switch (v.Kind) {
        case ValueKind::Byte:
            writer.Byte(uint8_t(v.Number));
            break;
        case ValueKind::Word:
            writer.Word(uint16_t(v.Number));
            break;
        case ValueKind::Int32:
            writer.Int32(int32_t(v.Number));
            break;
        case ValueKind::Float:
            writer.Float(double(v.Number % 1000) / 8);
            break;
        case ValueKind::Text:
            v.Text = QString(i * 13 % 400, QChar(u'a' + i % 26));
            writer.Text(v.Text);
            break;
        case ValueKind::Block:
            v.Block = QByteArray(i == kCount / 2 + 5 ? TZsfReader::kWindowSize + 1000 : i * 7 % 300, char(i));
            writer.Bytes(v.Block);
            break;
        }
        v.End = writer.Position();
        out.Values.push_back(v);
    }
    writer.Flush();
    out.Bytes = stream.Bytes();
    return out;
}

// Reads the value and compares it with what was written.
void ExpectValue(TZsfReader& reader, const WrittenValue& v)
{
    switch (v.Kind) {
    case ValueKind::Byte:
        EXPECT_EQ(reader.Byte(), uint8_t(v.Number));
        break;
    case ValueKind::Word:
        EXPECT_EQ(reader.Word(), uint16_t(v.Number));
        break;
    case ValueKind::Int32:
        EXPECT_EQ(reader.Int32(), int32_t(v.Number));
        break;
    case ValueKind::Float:
        EXPECT_EQ(reader.Float(), float(v.Number % 1000) / 8);
        break;
    case ValueKind::Text:
        EXPECT_EQ(reader.Text(), v.Text);
        break;
    case ValueKind::Block:
        EXPECT_EQ(reader.Bytes(v.Block.size()), v.Block);
        break;
    }
}

// Every value reads back as written wherever it falls against the reader's
// windows (many cross from one into the next), and the whole pass costs a
// read per window, the long block one of its own: not one per value.
TEST(QpFilerReaderTest, ReadsAStreamAWindowAtATime)
{
    const WrittenValues written = ManyValues();
    const qsizetype size = written.Bytes.size();
    ASSERT_GT(size, 4 * TZsfReader::kWindowSize);
    int crossing = 0;
    for (const WrittenValue& v : written.Values)
        crossing += v.Start / TZsfReader::kWindowSize != (v.End - 1) / TZsfReader::kWindowSize;
    EXPECT_GE(crossing, 4);

    CountingStream stream(written.Bytes);
    TZsfReader reader(stream);
    for (size_t i = 0; i < written.Values.size(); ++i) {
        SCOPED_TRACE(i);
        ExpectValue(reader, written.Values[i]);
        ASSERT_EQ(reader.Position(), written.Values[i].End);
    }
    EXPECT_EQ(reader.Left(), 0);
    EXPECT_LE(stream.Reads, size / TZsfReader::kWindowSize + 2);
}

// Going to a value far off and back (a graphic or a variable stored on an
// earlier page) reads each place once, however often it is done; a third
// place takes the window of the place left, and the way back to the place
// read last costs nothing.
TEST(QpFilerReaderTest, AJumpAndTheWayBackReadEachPlaceOnce)
{
    const WrittenValues written = ManyValues();
    const auto valueNear = [&written](qsizetype position) -> const WrittenValue& {
        return *std::find_if(written.Values.begin(), written.Values.end(),
                             [position](const WrittenValue& v) { return v.Start >= position; });
    };
    const WrittenValue& here = valueNear(10);
    const WrittenValue& there = valueNear(3 * TZsfReader::kWindowSize);
    const WrittenValue& elsewhere = valueNear(3 * TZsfReader::kWindowSize / 2);
    CountingStream stream(written.Bytes);
    TZsfReader reader(stream);
    for (int i = 0; i < 100; ++i) {
        for (const WrittenValue* v : {&here, &there}) {
            reader.Seek(v->Start);
            ExpectValue(reader, *v);
        }
    }
    EXPECT_EQ(stream.Reads, 2);
    reader.Seek(here.Start);
    ExpectValue(reader, here);
    reader.Seek(elsewhere.Start);
    ExpectValue(reader, elsewhere);
    reader.Seek(here.Start);
    ExpectValue(reader, here);
    reader.Seek(elsewhere.Start);
    ExpectValue(reader, elsewhere);
    EXPECT_EQ(stream.Reads, 3);
    reader.Seek(there.Start);
    ExpectValue(reader, there);
    EXPECT_EQ(stream.Reads, 4);
}

// A stream that ends inside a value, or right before it: every value
// before it reads as written, and that value raises the read error and
// leaves the position at its start (a text at the start of the part cut,
// its length or its units). The same whether the stream is short or only
// delivers less than its size (also seven bytes a call), at any place
// against the reader's windows: texts cut in their length or their units,
// a block longer than a window, values that cross from one window into the
// next.
TEST(QpFilerReaderTest, AStreamThatEndsInsideAValueFailsAtThatValue)
{
    const WrittenValues written = ManyValues();
    std::vector<size_t> cutValues;
    for (size_t i = 0; i < written.Values.size(); ++i) {
        const WrittenValue& v = written.Values[i];
        const bool crossing = v.Start / TZsfReader::kWindowSize != (v.End - 1) / TZsfReader::kWindowSize;
        if (i < 12 || crossing || v.End - v.Start > TZsfReader::kWindowSize || i + 1 == written.Values.size())
            cutValues.push_back(i);
    }
    ASSERT_GE(cutValues.size(), 16u);
    for (const size_t k : cutValues) {
        const WrittenValue& cutOne = written.Values[k];
        for (const qsizetype cut :
             {cutOne.Start, cutOne.Start + 1, (cutOne.Start + cutOne.End) / 2, cutOne.End - 1}) {
            if (cut < cutOne.Start || cut >= cutOne.End)
                continue;
            const QByteArray kept = written.Bytes.left(cut);
            TMemoryStream shorter(kept);
            Claiming<TMemoryStream> claiming(written.Bytes.size(), kept);
            Claiming<CountingStream> trickling(written.Bytes.size(), kept);
            trickling.MostPerRead = 7;
            for (TStream* stream : {static_cast<TStream*>(&shorter), static_cast<TStream*>(&claiming),
                                    static_cast<TStream*>(&trickling)}) {
                SCOPED_TRACE(testing::Message() << "value " << k << " cut at " << cut
                                                << (stream == &claiming    ? ", size claimed"
                                                    : stream == &trickling ? ", size claimed, 7 bytes a read"
                                                                           : ""));
                stream->SetPosition(0);
                TZsfReader reader(*stream);
                for (size_t i = 0; i < k; ++i)
                    ExpectValue(reader, written.Values[i]);
                try {
                    ExpectValue(reader, cutOne);
                    ADD_FAILURE() << "read";
                } catch (const EReadError& e) {
                    EXPECT_EQ(e.Message(), QStringLiteral("Stream read error"));
                }
                // A text stands cut after its length when the length is whole.
                const qsizetype length = cutOne.Text.size() < 192 ? 1 : 2;
                EXPECT_EQ(reader.Position(), cutOne.Kind == ValueKind::Text
                                                 ? std::min(cut, cutOne.Start + length)
                                                 : cutOne.Start);
            }
        }
    }
}

// Bytes read at the position compare with the stream's own, and a read
// past the last of them raises the read error and leaves the position.
void ExpectBlock(TZsfReader& reader, const QByteArray& bytes, qsizetype position, qsizetype count)
{
    SCOPED_TRACE(testing::Message() << count << " bytes at " << position);
    reader.Seek(position);
    if (position + count > bytes.size()) {
        EXPECT_THROW(reader.Bytes(count), EReadError);
        EXPECT_EQ(reader.Position(), position);
        return;
    }
    EXPECT_EQ(reader.Bytes(count), bytes.mid(position, count));
    EXPECT_EQ(reader.Position(), position + count);
}

// The streams the reader must read the same from: one that hands out all
// it is asked for, and ones that hand out at most 7, 4096 and 65535 bytes
// a call.
constexpr int64_t kMostPerRead[] = {INT64_MAX, 7, 4096, 65535};

// Blocks of a window's size and more, placed against a window read first
// at kAt: starting inside it, at its first byte after it, before it and
// running into it, far from it, and running past the stream's end; each
// followed by a read on from where it ended. Where the stream ends inside
// a block, the block raises the read error and leaves the position.
TEST(QpFilerReaderTest, LongBlocksReadWhereverTheyStartAgainstTheWindows)
{
    constexpr int kWindow = TZsfReader::kWindowSize;
    constexpr qsizetype kAt = 1000;
    const QByteArray bytes = ManyValues().Bytes;
    const qsizetype size = bytes.size();
    ASSERT_GT(size, kAt + 4 * kWindow);
    const struct {
        qsizetype From;
        qsizetype Count;
    } rows[] = {
        {kAt + 10, kWindow + 5000},           // inside, out past its end
        {kAt + 100, kWindow - 100},           // inside, up to its last byte
        {kAt + kWindow, kWindow},             // the first byte after it
        {kAt + kWindow, 3 * kWindow},         // the same, three windows long
        {10, kWindow + 2000},                 // before it, running into it
        {kAt + 2 * kWindow + 7, kWindow + 1}, // far from it
        {size - kWindow, kWindow},            // up to the stream's last byte
        {size - kWindow, kWindow + 1},        // one past it
    };
    // The whole stream, and one that ends two windows after kAt though it
    // claims to be whole (a file cut after it was measured).
    const QByteArray held[] = {bytes, bytes.left(kAt + 2 * kWindow)};
    for (const int64_t most : kMostPerRead) {
        for (const QByteArray& has : held) {
            for (const auto& row : rows) {
                SCOPED_TRACE(testing::Message() << "at most " << most << " bytes a read"
                                                << (has.size() < size ? ", stream cut" : ""));
                Claiming<CountingStream> stream(size, has);
                stream.MostPerRead = most;
                TZsfReader reader(stream);
                ExpectBlock(reader, has, kAt, 1);
                ExpectBlock(reader, has, row.From, row.Count);
                if (row.From + row.Count < size)
                    ExpectBlock(reader, has, row.From + row.Count,
                                std::min<qsizetype>(100, size - row.From - row.Count));
            }
        }
    }
}

// Passing over bytes, with windows read at kAt and (read last) at kFar:
// ending in either window reads nothing; ending past them reads once, the
// window from the last byte passed over on, so that reading on after it
// and going back to the other window cost nothing more (read calls counted
// on the whole stream). A stream that holds fewer bytes than it reports (a file cut after it was measured) is
// refused where the bytes passed over run past its end, with the read
// error, the position left where it was.
TEST(QpFilerReaderTest, ASkipReadsItsLastByteWhereNoWindowHoldsIt)
{
    constexpr int kWindow = TZsfReader::kWindowSize;
    constexpr qsizetype kAt = 1000;
    constexpr qsizetype kFar = kAt + 2 * kWindow;
    const QByteArray bytes = ManyValues().Bytes;
    const qsizetype size = bytes.size();
    ASSERT_GT(size, kFar + 2 * kWindow + 10);
    const struct {
        qsizetype From;
        qsizetype Count;
        qsizetype Back; // the window gone back to after reading on
        int SkipReads;
        int Reads; // once read on and gone back
    } rows[] = {
        {kFar + 10, 100, kAt, 0, 0},           // inside the window read last
        {kAt + 10, 2 * kWindow, kAt, 0, 0},    // from one window into the other
        {kFar, kWindow, kAt, 0, 1},            // to its last byte: reading on reads
        {kFar + 10, kWindow, kAt, 1, 1},       // past its end
        {kFar + 10, 2 * kWindow, kAt, 1, 1},   // a window past its end
        {kAt + 10, kWindow, kFar, 1, 1},       // past the end of the other
        {kAt + kWindow + 100, 10, kFar, 1, 1}, // outside both
        {size - 5, 5, kFar, 1, 1},             // to the stream's last byte
    };
    // The whole stream, and one that ends a window after kFar though it
    // claims to be whole.
    const QByteArray held[] = {bytes, bytes.left(kFar + kWindow + 1000)};
    for (const QByteArray& has : held) {
        for (const auto& row : rows) {
            SCOPED_TRACE(testing::Message() << row.Count << " bytes from " << row.From
                                            << (has.size() < size ? ", stream cut" : ""));
            Claiming<CountingStream> stream(size, has);
            TZsfReader reader(stream);
            ExpectBlock(reader, has, kAt, 1);
            ExpectBlock(reader, has, kFar, 1);
            stream.Reads = 0;
            reader.Seek(row.From);
            const qsizetype end = row.From + row.Count;
            if (end > has.size()) {
                EXPECT_THROW(reader.SkipBytes(row.Count), EReadError);
                EXPECT_EQ(reader.Position(), row.From);
                continue;
            }
            reader.SkipBytes(row.Count);
            EXPECT_EQ(reader.Position(), end);
            const int skipReads = stream.Reads;
            if (end < has.size())
                ExpectBlock(reader, has, end, std::min<qsizetype>(100, has.size() - end));
            ExpectBlock(reader, has, row.Back, 1);
            // A window that the cut stream ends in takes a read more, the
            // one that finds nothing more there.
            if (has.size() == size) {
                EXPECT_EQ(skipReads, row.SkipReads);
                EXPECT_EQ(stream.Reads, row.Reads);
            }
        }
    }
}

// Reads in a random order (fixed seed), each compared with the stream's
// own bytes: values at their starts, short blocks anywhere (many across a
// window's edge), reads on from where the last one ended, and blocks of a
// window's size and more. The same whatever the stream hands out a call,
// and when something else moves the stream between the reader's reads: a
// window filled on from where the last one ended is still read from there,
// not from where the stream was left.
TEST(QpFilerReaderTest, RandomReadsGetTheStreamsBytesHoweverItDeliversThem)
{
    const WrittenValues written = ManyValues();
    const QByteArray& bytes = written.Bytes;
    const qsizetype size = bytes.size();
    for (const int64_t most : kMostPerRead) {
        for (const bool moved : {false, true}) {
            SCOPED_TRACE(testing::Message() << "at most " << most << " bytes a read"
                                            << (moved ? ", stream moved between reads" : ""));
            CountingStream stream(bytes);
            stream.MostPerRead = most;
            TZsfReader reader(stream);
            std::mt19937 random(20261208);
            const auto below = [&random](qsizetype n) { return qsizetype(random() % uint32_t(n)); };
            for (int step = 0; step < 600; ++step) {
                if (moved)
                    stream.SetPosition(below(size));
                switch (step % 4) {
                case 0: {
                    const WrittenValue& v = written.Values[size_t(below(qsizetype(written.Values.size())))];
                    reader.Seek(v.Start);
                    ExpectValue(reader, v);
                    EXPECT_EQ(reader.Position(), v.End);
                    break;
                }
                case 1:
                    ExpectBlock(reader, bytes, below(size), 1 + below(600));
                    break;
                case 2:
                    ExpectBlock(reader, bytes, reader.Position(), 1 + below(3000));
                    break;
                case 3:
                    ExpectBlock(reader, bytes, below(size), TZsfReader::kWindowSize + below(70000));
                    break;
                }
            }
        }
    }
}

} // namespace
