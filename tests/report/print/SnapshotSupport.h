#pragma once
// Test support for the snapshot stream: running a report through the writer
// into memory, a render target that records what playback asks of it, and
// a builder of stream bytes by hand (for the older versions nothing here
// writes, and for damaged streams).
#include "NoPrinter.h"
#include "report/print/QpFiler.h"
#include "report/print/QpRender.h"

#include "platform/rtl/Streams.h"

#include <QDir>
#include <QStringList>
#include <QtEndian>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <ostream>
#include <utility>

inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& list, std::ostream* os)
{
    *os << "{\n";
    for (const QString& text : list)
        *os << "  \"" << text.toStdString() << "\"\n";
    *os << "}";
}

// Where a test leaves a picture or a PDF for people to look at:
// TESSVAR_TEST_OUTPUT when set, else the test's temporary folder.
inline QString OutputPath(const QString& name)
{
    const QString dir = qEnvironmentVariable("TESSVAR_TEST_OUTPUT", QDir::tempPath());
    QDir().mkpath(dir);
    return QDir(dir).filePath(name);
}

// A number as the stream keeps it: narrowed to single precision.
inline QString F(double value)
{
    return QString::number(double(float(value)), 'g', 9);
}

// The position of the first page header of a snapshot as the writer writes
// it (version 10000, title and output name shorter than 192 characters):
// after the file header, whose title and output name are the only parts of
// varying length.
inline qsizetype FirstPagePos(const QByteArray& b)
{
    const int title = uint8_t(b[3]);
    const qsizetype afterTitle = 4 + 2 * title;
    const qsizetype outputName = afterTitle + 49;
    return outputName + 1 + 2 * uint8_t(b[outputName]);
}

// The position of page k's header, by the chain's forward links from the
// first page; -1 when the chain ends before it.
inline qsizetype PageHeaderPos(const QByteArray& b, int page)
{
    qsizetype pos = FirstPagePos(b);
    for (int k = 1; k < page && pos > 0 && pos + 13 <= b.size(); ++k)
        pos = qFromLittleEndian<qint32>(b.constData() + pos + 5);
    return pos > 0 && pos < b.size() && uint8_t(b[pos]) == 80 ? pos : -1;
}

// A stream that counts the reads made of it, and hands out at most
// MostPerRead bytes a call, as a pipe or a network file may.
template <class Base> class Counting : public Base {
public:
    using Base::Base;
    int64_t Read(void* buffer, int64_t count) override
    {
        ++Reads;
        return Base::Read(buffer, std::min(count, MostPerRead));
    }
    int Reads = 0;
    int64_t MostPerRead = INT64_MAX;
};
using CountingStream = Counting<TMemoryStream>;
using CountingFileStream = Counting<TFileStream>;

// A stream that says it is larger than the bytes it holds: a file cut
// after its reader measured it.
template <class Base> class Claiming : public Base {
public:
    template <class... Args>
    explicit Claiming(int64_t claimed, Args&&... args) : Base(std::forward<Args>(args)...), Claimed(claimed)
    {
    }
    int64_t Size() override { return Claimed; }
    int64_t Claimed;
};

// Runs body as the report of a writer in smUser mode and returns the
// snapshot. setup runs before the run starts.
inline QByteArray WriteSnapshot(const std::function<void(TZvZSFWriter&)>& body,
                                const std::function<void(TZvZSFWriter&)>& setup = {})
{
    TMemoryStream stream;
    TZvZSFWriter writer(nullptr);
    writer.SetStreamMode(TStreamMode::smUser);
    writer.SetStream(&stream);
    if (setup)
        setup(writer);
    writer.OnPrint = [&](TObject*) {
        if (body)
            body(writer);
    };
    writer.Execute();
    return stream.Bytes();
}

// The test page (inches, on 8.5 x 11): texts left at (1, 1), centred on
// 4.25 at 1.5, right-aligned on 7.5 at 2, justified from 1 to 7.5 at 2.5;
// texts turned by 90, 180 and 270 degrees at (1.5, 5), (4, 4) and (6, 3.5);
// a row of three tab boxes from 1 inch on at 6.2; a level line at 7 and a
// sloping one below it; rectangles (8 to 8.8) and ellipses (9 to 9.8) 1 inch
// wide from 1, 3 and 5 inches in the frame modes inside, split and outside,
// with a pen of 0.04 inch; a red bitmap from (6.5, 8) to (7.5, 9).
inline QByteArray TestPageSnapshot()
{
    TBitmap bitmap(20, 20);
    bitmap.Canvas()->Brush()->SetColor(clRed);
    bitmap.Canvas()->FillRect(TRect{0, 0, 20, 20});
    return WriteSnapshot([&](TZvZSFWriter& w) {
        w.SetFont(QStringLiteral("Arial"), 14);
        w.PrintXY(1, 1, QStringLiteral("LeftAligned"));
        w.SetYPos(1.5);
        w.PrintCenter(QStringLiteral("Centred"), 4.25);
        w.SetYPos(2);
        w.PrintRight(QStringLiteral("RightAligned"), 7.5);
        w.SetYPos(2.5);
        w.PrintBlock(QStringLiteral("justified words across"), 1, 6.5);
        const struct {
            int degrees;
            double x, y;
            const char* text;
        } turned[] = {{90, 1.5, 5, "Up90"}, {180, 4, 4, "Flip180"}, {270, 6, 3.5, "Down270"}};
        for (const auto& t : turned) {
            w.SetFontRotation(t.degrees);
            w.PrintXY(t.x, t.y, QString::fromLatin1(t.text));
        }
        w.SetFontRotation(0);
        w.SetTab(1, TPrintJustify::pjLeft, 2, 5, 15, 0);
        w.SetTab(-1, TPrintJustify::pjCenter, 2, 5, 15, 20);
        w.SetTab(-1, TPrintJustify::pjRight, 2.5, 5, 15, 0);
        w.SetYPos(6.2);
        w.Print(QStringLiteral("\tCellOne\tCellTwo\tCellThree"));
        w.MoveTo(1, 7);
        w.LineTo(7.5, 7);
        w.MoveTo(1, 7.2);
        w.LineTo(3, 7.8);
        w.SetPen(clBlack, TPenStyle::psSolid, -4, TPenMode::pmCopy);
        w.SetBrush(clWhite, TBrushStyle::bsClear, nullptr);
        for (int mode = 0; mode < 3; ++mode) {
            w.SetFrameMode(TFrameMode(mode));
            w.Rectangle(1 + 2 * mode, 8, 2 + 2 * mode, 8.8);
            w.Ellipse(2 + 2 * mode, 9.8, 1 + 2 * mode, 9); // corners either way round
        }
        w.PrintBitmapRect(6.5, 8, 7.5, 9, &bitmap);
    });
}

// Records the calls of playback as lines of text, numbers as the stream
// keeps them ("Rect 1 2 3 4"). State changes are recorded only when asked.
class RecordingRender : public TQPRender {
public:
    RecordingRender() : TQPRender(nullptr) {}

    QStringList Calls;
    bool RecordState = false;
    int Kind = 0;
    int DPI = 100;

    // Plays the bytes: pageNum 0 the selected pages.
    void Play(const QByteArray& bytes, int pageNum = 0)
    {
        TMemoryStream stream(bytes);
        SetZSFStream(&stream);
        RenderPage(pageNum);
        SetZSFStream(nullptr);
    }

    int RenderKind() override { return Kind; }
    int GetXDPI() override { return DPI; }
    int GetYDPI() override { return DPI; }
    void SetHeaderBin(int bin) override
    {
        Title = Converter->Title();
        HeaderBin = bin;
    }
    QString Title;
    int HeaderBin = -1;
    void DocBegin() override { Add(QStringLiteral("DocBegin")); }
    void DocEnd() override { Add(QStringLiteral("DocEnd")); }
    void PageBegin() override
    {
        Add(QStringLiteral("Page %1 %2x%3").arg(Converter->PageNo()).arg(F(snPaperWidth), F(snPaperHeight)));
    }
    void PageEnd() override { Add(QStringLiteral("PageEnd")); }
    void LeftText(const QString& t, double x, double y) override { Text(QStringLiteral("Left"), t, x, y); }
    void CenterText(const QString& t, double x, double y) override
    {
        Text(QStringLiteral("Center"), t, x, y);
    }
    void RightText(const QString& t, double x, double y) override { Text(QStringLiteral("Right"), t, x, y); }
    void PrintSpaces(const QString& t, double x, double y, double w) override
    {
        Add(QStringLiteral("Block \"%1\" %2 %3 %4").arg(t, F(x), F(y), F(w)));
    }
    void Rectangle(double x1, double y1, double x2, double y2) override
    {
        Four(QStringLiteral("Rect"), x1, y1, x2, y2);
    }
    void Ellipse(double x1, double y1, double x2, double y2) override
    {
        Four(QStringLiteral("Ellipse"), x1, y1, x2, y2);
    }
    void MoveTo(double x, double y) override { Add(QStringLiteral("MoveTo %1 %2").arg(F(x), F(y))); }
    void LineTo(double x, double y) override { Add(QStringLiteral("LineTo %1 %2").arg(F(x), F(y))); }
    void Arc(double x1, double y1, double x2, double y2, double x3, double y3, double x4, double y4) override
    {
        Add(QStringLiteral("Arc %1 %2 %3 %4 %5 %6 %7 %8")
                .arg(F(x1), F(y1), F(x2), F(y2), F(x3), F(y3), F(x4), F(y4)));
    }
    void Pie(double x1, double y1, double x2, double y2, double, double, double, double) override
    {
        Four(QStringLiteral("Pie"), x1, y1, x2, y2);
    }
    void Chord(double x1, double y1, double x2, double y2, double, double, double, double) override
    {
        Four(QStringLiteral("Chord"), x1, y1, x2, y2);
    }
    void RoundRect(double x1, double y1, double x2, double y2, double x3, double y3) override
    {
        Add(QStringLiteral("RoundRect %1 %2 %3 %4 %5 %6").arg(F(x1), F(y1), F(x2), F(y2), F(x3), F(y3)));
    }
    void Polygon(const std::vector<QPointF>& points) override { Points(QStringLiteral("Polygon"), points); }
    void Polyline(const std::vector<QPointF>& points) override { Points(QStringLiteral("Polyline"), points); }
    void FillRect(const TRect& r) override { DeviceRect(QStringLiteral("FillRect"), r); }
    void FrameRect(const TRect& r) override { DeviceRect(QStringLiteral("FrameRect"), r); }
    void DrawFocusRect(const TRect& r) override { DeviceRect(QStringLiteral("FocusRect"), r); }
    bool TextRect(const TRect& r, double x, double y, const QString& t) override
    {
        Add(QStringLiteral("TextRect %1 %2 %3 %4 %5 %6 \"%7\"")
                .arg(r.Left)
                .arg(r.Top)
                .arg(r.Right)
                .arg(r.Bottom)
                .arg(F(x), F(y), t));
        return true;
    }
    void PrintBitmap(double x, double y, double sx, double sy, const TBitmap& b) override
    {
        Add(QStringLiteral("Bitmap %1x%2 %3 %4 %5 %6 t%7")
                .arg(b.Width())
                .arg(b.Height())
                .arg(F(x), F(y), F(sx), F(sy))
                .arg(int(FTransparentBitmaps)));
    }
    void PrintBitmapRect(double x1, double y1, double x2, double y2, const TBitmap& b) override
    {
        Add(QStringLiteral("BitmapRect %1x%2 %3 %4 %5 %6")
                .arg(b.Width())
                .arg(b.Height())
                .arg(F(x1), F(y1), F(x2), F(y2)));
    }
    void Draw(double x, double y, const TGraphic& g) override
    {
        Add(QStringLiteral("Draw %1x%2 %3 %4").arg(g.Width()).arg(g.Height()).arg(F(x), F(y)));
    }
    void StretchDraw(const TRect& r, const TGraphic& g) override
    {
        DeviceRect(QStringLiteral("StretchDraw %1x%2").arg(g.Width()).arg(g.Height()), r);
    }
    void FloodFill(double x, double y, TColor c, TFillStyle s) override
    {
        Add(QStringLiteral("FloodFill %1 %2 %3 %4").arg(F(x), F(y)).arg(c).arg(int(s)));
    }
    bool PrintData(const QString& value) override
    {
        Add(QStringLiteral("Data \"%1\"").arg(value));
        return true;
    }
    void PrintDataStream(TStream& stream, int count) override
    {
        Add(QStringLiteral("DataStream %1 \"%2\"")
                .arg(count)
                .arg(QString::fromLatin1(stream.ReadBytes(count))));
    }
    void PrintImageRect(double x1, double y1, double x2, double y2, TStream& image,
                        const QString& type) override
    {
        Add(QStringLiteral("Image %1 %2 bytes %3 %4 %5 %6")
                .arg(type)
                .arg(image.Size())
                .arg(F(x1), F(y1), F(x2), F(y2)));
    }
    bool SetBin(const QString& name) override
    {
        Add(QStringLiteral("Bin \"%1\"").arg(name));
        return true;
    }
    void SetHyperlink(const QString& link) override
    {
        TQPRender::SetHyperlink(link);
        Add(QStringLiteral("Link \"%1\"").arg(link));
    }
    void FontChanged(TFont&) override
    {
        if (!RecordState)
            return;
        const TSaveFont& f = Converter->FontData();
        Add(QStringLiteral("Font %1 %2 b%3 i%4 u%5 r%6 c%7")
                .arg(f.Name, F(f.Height))
                .arg(int(f.Bold))
                .arg(int(f.Italic))
                .arg(int(f.Underline))
                .arg(f.Rotation)
                .arg(f.Color));
    }
    void PenChanged(TPen& pen) override
    {
        if (RecordState)
            Add(QStringLiteral("Pen %1 %2 %3 %4")
                    .arg(pen.Color())
                    .arg(int(pen.Mode()))
                    .arg(int(pen.Style()))
                    .arg(F(snPenWidth)));
    }
    void BrushChanged(TBrush& brush) override
    {
        if (RecordState)
            Add(QStringLiteral("Brush %1 %2 %3")
                    .arg(brush.Color())
                    .arg(int(brush.Style()))
                    .arg(brush.HasBitmap() ? QStringLiteral("pattern") : QStringLiteral("plain")));
    }

    // The calls that are not state changes or brackets, in order.
    QStringList Drawing() const
    {
        QStringList out;
        for (const QString& call : Calls)
            if (!call.startsWith(u"Doc") && !call.startsWith(u"Page") && !call.startsWith(u"Font ") &&
                !call.startsWith(u"Pen ") && !call.startsWith(u"Brush "))
                out << call;
        return out;
    }
    // The page numbers played.
    QList<int> PagesPlayed() const
    {
        QList<int> pages;
        for (const QString& call : Calls)
            if (call.startsWith(u"Page "))
                pages << call.section(u' ', 1, 1).toInt();
        return pages;
    }

private:
    void Add(const QString& call) { Calls << call; }
    void Text(const QString& kind, const QString& t, double x, double y)
    {
        Add(QStringLiteral("%1 \"%2\" %3 %4").arg(kind, t, F(x), F(y)));
    }
    void Four(const QString& kind, double x1, double y1, double x2, double y2)
    {
        Add(QStringLiteral("%1 %2 %3 %4 %5").arg(kind, F(x1), F(y1), F(x2), F(y2)));
    }
    void DeviceRect(const QString& kind, const TRect& r)
    {
        Add(QStringLiteral("%1 %2 %3 %4 %5").arg(kind).arg(r.Left).arg(r.Top).arg(r.Right).arg(r.Bottom));
    }
    void Points(const QString& kind, const std::vector<QPointF>& points)
    {
        QString line = kind;
        for (const QPointF& p : points)
            line += QStringLiteral(" %1,%2").arg(F(p.x()), F(p.y()));
        Add(line);
    }
};

// Stream bytes by hand, little-endian.
class ZsfBytes {
public:
    QByteArray Data;

    int Pos() const { return int(Data.size()); }
    ZsfBytes& U8(int v)
    {
        Data.append(char(v));
        return *this;
    }
    ZsfBytes& U16(int v)
    {
        char b[2];
        qToLittleEndian<quint16>(quint16(v), b);
        Data.append(b, 2);
        return *this;
    }
    ZsfBytes& I32(int32_t v)
    {
        char b[4];
        qToLittleEndian<qint32>(v, b);
        Data.append(b, 4);
        return *this;
    }
    ZsfBytes& F32(double v)
    {
        const float f = float(v);
        quint32 bits;
        std::memcpy(&bits, &f, 4);
        char b[4];
        qToLittleEndian<quint32>(bits, b);
        Data.append(b, 4);
        return *this;
    }
    // A UTF-16 text with the two-byte length form from 192 on.
    ZsfBytes& Text16(const QString& s)
    {
        Length(int(s.size()), false);
        for (QChar c : s)
            U16(c.unicode());
        return *this;
    }
    // An 8-bit text (Latin-1 here), with one-byte lengths when asked.
    ZsfBytes& Text8(const QByteArray& s, bool shortLength)
    {
        Length(int(s.size()), shortLength);
        Data.append(s);
        return *this;
    }
    ZsfBytes& Code(TZsfCode code) { return U8(int(code)); }
    void Patch32(int at, int32_t v) { qToLittleEndian<qint32>(v, Data.data() + at); }

private:
    void Length(int n, bool shortLength)
    {
        if (shortLength || n < 192) {
            U8(n);
        } else {
            U8(0xC0 | (n >> 8));
            U8(n & 0xFF);
        }
    }
};
