// Barcodes printed through the snapshot writer and played onto a canvas:
// each symbology in the four rotations is read back from the picture and
// compared with two independent programs, zbarimg (decodes the picture) and
// zint (its --dump gives the modules of the same data). POSTNET, which zbar
// does not read, is decoded here from its full and half bars.
#include "SnapshotSupport.h"

#include "report/print/QpBars.h"
#include "report/print/QpRenderCanvas.h"

#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>

namespace {

constexpr int kDpi = 300;
constexpr double kAnchor = 2.5;  // inches: the symbol's left and top
constexpr double kModule = 0.02; // inches

QString RotationName(TBarCodeRotation r)
{
    return QStringLiteral("rot%1").arg(int(r) * 90);
}

// The symbol printed at (kAnchor, kAnchor) and played at 300 dpi onto a
// five-inch square.
QImage Render(const std::function<void(TQPBarsBase&)>& setup,
              const std::function<std::unique_ptr<TQPBarsBase>(TBaseReport*)>& make,
              TBarCodeRotation rotation, const QString& fileName)
{
    const QByteArray snapshot = WriteSnapshot([&](TZvZSFWriter& w) {
        w.SetFont(QStringLiteral("Arial"), 10);
        std::unique_ptr<TQPBarsBase> bars = make(&w);
        bars->SetBarWidth(kModule);
        setup(*bars);
        bars->SetBarCodeRotation(rotation);
        bars->PrintXY(kAnchor, kAnchor);
    });
    QImage image(5 * kDpi, 5 * kDpi, QImage::Format_RGB32);
    image.fill(Qt::white);
    TZvRenderCanvas canvas(nullptr);
    canvas.SetPaintDevice(&image, kDpi, kDpi);
    TMemoryStream stream(snapshot);
    canvas.Render(&stream);
    image.save(fileName);
    return image;
}

// The runs of dark and light pixels across the bars, in the symbol's order
// (first bar first), on the line `depth` inches from the bars' top edge.
QList<int> Runs(const QImage& image, TBarCodeRotation rotation, double depth)
{
    const bool alongY = rotation == TBarCodeRotation::Rot90 || rotation == TBarCodeRotation::Rot270;
    const bool upside = rotation == TBarCodeRotation::Rot180 || rotation == TBarCodeRotation::Rot270;
    const int across = int(std::lround((kAnchor + (upside ? -depth : depth)) * kDpi));
    const int length = alongY ? image.height() : image.width();
    QList<int> runs;
    bool dark = false;
    int count = 0;
    for (int i = 0; i < length; ++i) {
        const QPoint p = alongY ? QPoint(across, i) : QPoint(i, across);
        const bool d = qGray(image.pixel(p)) < 128;
        if (d == dark) {
            ++count;
            continue;
        }
        if (!runs.isEmpty() || dark)
            runs.append(count);
        dark = d;
        count = 1;
    }
    if (dark)
        runs.append(count);
    if (rotation == TBarCodeRotation::Rot90 || rotation == TBarCodeRotation::Rot180)
        std::reverse(runs.begin(), runs.end());
    return runs;
}

QString ToModules(const QList<int>& runs)
{
    QString out;
    for (int r : runs)
        out += QString::number(std::lround(double(r) / (kModule * kDpi)));
    return out;
}

// "n" or "w" for each element: wide elements are three modules here and two
// or three in zint.
QString NarrowWide(const QString& modules)
{
    QString out;
    for (QChar c : modules)
        out += c == u'1' ? u'n' : u'w';
    return out;
}

QString RunProgram(const QString& program, const QStringList& args)
{
    QProcess process;
    process.start(program, args);
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// The rows of zint's module dump, as strings of 0 and 1.
QStringList ZintRows(const QStringList& args)
{
    QStringList rows;
    for (const QString& line :
         RunProgram(QStringLiteral("zint"), args + QStringList{QStringLiteral("--dump")}).split(u'\n')) {
        QString bits;
        const QString hex = QString(line).remove(u' ');
        for (QChar c : hex)
            bits += QStringLiteral("%1").arg(QString(c).toInt(nullptr, 16), 4, 2, QLatin1Char('0'));
        rows << bits;
    }
    return rows;
}

// Element widths of a dump row: "2111..." (trailing padding dropped).
QString ZintModules(const QString& bits)
{
    QString out;
    const QString trimmed = bits.left(bits.lastIndexOf(u'1') + 1);
    int i = 0;
    while (i < trimmed.size()) {
        int j = i;
        while (j < trimmed.size() && trimmed.at(j) == trimmed.at(i))
            ++j;
        out += QString::number(j - i);
        i = j;
    }
    return out;
}

class QpBarsRenderTest : public NoPrinterTest {
protected:
    void SetUp() override
    {
        NoPrinterTest::SetUp();
        if (QStandardPaths::findExecutable(QStringLiteral("zint")).isEmpty() ||
            QStandardPaths::findExecutable(QStringLiteral("zbarimg")).isEmpty())
            GTEST_SKIP() << "zint or zbarimg not installed";
    }
};

struct Symbol {
    const char* name;
    std::function<std::unique_ptr<TQPBarsBase>(TBaseReport*)> make;
    std::function<void(TQPBarsBase&)> setup;
    QStringList zint; // zint's arguments for the same data
    QString decoded;  // what zbarimg reads
    bool exact;       // module for module, else narrow or wide
};

template <class T> std::function<std::unique_ptr<TQPBarsBase>(TBaseReport*)> Make()
{
    return [](TBaseReport* r) { return std::make_unique<T>(r); };
}

std::function<void(TQPBarsBase&)> Data(const QString& text, bool check)
{
    return [=](TQPBarsBase& b) {
        b.SetText(text);
        b.SetUseChecksum(check);
    };
}

TEST_F(QpBarsRenderTest, EverySymbologyDecodesAndMatchesZintInAllRotations)
{
    const QString b = QStringLiteral("-b");
    const QString d = QStringLiteral("-d");
    const QString check = QStringLiteral("--vers=1");
    const Symbol symbols[] = {
        {"i25",
         Make<TQPBars2of5>(),
         Data(QStringLiteral("123"), true),
         {b, "3", check, d, "123"},
         QStringLiteral("I2/5:1236"),
         false},
        {"code39",
         Make<TQPBarsCode39>(),
         Data(QStringLiteral("ABC"), true),
         {b, "8", check, d, "ABC"},
         QStringLiteral("CODE-39:ABCX"),
         false},
        {"code39ext",
         Make<TQPBarsCode39>(),
         [](TQPBarsBase& bars) {
             static_cast<TQPBarsCode39&>(bars).SetExtended(true);
             bars.SetText(QStringLiteral("Ab"));
         },
         {b, "9", d, "Ab"},
         QStringLiteral("CODE-39:A+B"),
         false},
        {"code128c",
         Make<TQPBarsCode128>(),
         Data(QStringLiteral("123456"), true),
         {b, "20", d, "123456"},
         QStringLiteral("CODE-128:123456"),
         true},
        {"code128b",
         Make<TQPBarsCode128>(),
         Data(QStringLiteral("Ab-123456"), true),
         {b, "20", d, "Ab-123456"},
         QStringLiteral("CODE-128:Ab-123456"),
         true},
        {"upca",
         Make<TQPBarsUPC>(),
         Data(QStringLiteral("03600029145"), true),
         {b, "34", d, "03600029145"},
         QStringLiteral("EAN-13:0036000291452"),
         true},
        {"ean13",
         Make<TQPBarsEAN>(),
         Data(QStringLiteral("400638133393"), true),
         {b, "13", d, "400638133393"},
         QStringLiteral("EAN-13:4006381333931"),
         true},
    };
    for (const Symbol& s : symbols) {
        const QString zint = ZintModules(ZintRows(s.zint).value(0));
        ASSERT_FALSE(zint.isEmpty()) << s.name;
        for (TBarCodeRotation rotation : {TBarCodeRotation::Rot0, TBarCodeRotation::Rot90,
                                          TBarCodeRotation::Rot180, TBarCodeRotation::Rot270}) {
            SCOPED_TRACE(
                QStringLiteral("%1 %2").arg(QLatin1String(s.name), RotationName(rotation)).toStdString());
            const QString file = OutputPath(
                QStringLiteral("bars-%1-%2.png").arg(QLatin1String(s.name), RotationName(rotation)));
            const QImage image = Render(s.setup, s.make, rotation, file);
            const QString modules = ToModules(Runs(image, rotation, 0.1));
            if (s.exact)
                EXPECT_EQ(modules.toStdString(), zint.toStdString());
            else
                EXPECT_EQ(NarrowWide(modules).toStdString(), NarrowWide(zint).toStdString());
            const QString read =
                RunProgram(QStringLiteral("zbarimg"),
                           {QStringLiteral("-q"), QStringLiteral("-Si25.min-length=2"), file});
            EXPECT_EQ(read.toStdString(), s.decoded.toStdString());
        }
    }
}

// POSTNET bars read back with the code's weights 7, 4, 2, 1, 0 (two full
// bars of five; 7 + 4 stands for 0).
QString DecodePostNet(const QString& fullHalf)
{
    QString digits;
    const QString inner = fullHalf.mid(1, fullHalf.size() - 2);
    for (int i = 0; i + 5 <= inner.size(); i += 5) {
        static const int weights[] = {7, 4, 2, 1, 0};
        int value = 0;
        for (int k = 0; k < 5; ++k)
            value += inner.at(i + k) == u'F' ? weights[k] : 0;
        digits += QString::number(value == 11 ? 0 : value);
    }
    return digits;
}

TEST_F(QpBarsRenderTest, PostNetFullAndHalfBarsInAllRotations)
{
    const QStringList rows =
        ZintRows({QStringLiteral("-b"), QStringLiteral("40"), QStringLiteral("-d"), QStringLiteral("12345")});
    ASSERT_EQ(rows.size(), 2);
    QString zint;
    for (int i = 0; i < rows.at(1).size(); ++i)
        if (rows.at(1).at(i) == u'1')
            zint += rows.at(0).at(i) == u'1' ? u'F' : u'H';
    for (TBarCodeRotation rotation : {TBarCodeRotation::Rot0, TBarCodeRotation::Rot90,
                                      TBarCodeRotation::Rot180, TBarCodeRotation::Rot270}) {
        SCOPED_TRACE(RotationName(rotation).toStdString());
        const QImage image =
            Render(Data(QStringLiteral("12345"), true), Make<TQPBarsPostNet>(), rotation,
                   OutputPath(QStringLiteral("bars-postnet-%1.png").arg(RotationName(rotation))));
        // Every bar crosses the line near the bar line; only full bars the
        // line near the top (bars are 0.125 inch, half bars 0.05).
        const QList<int> all = Runs(image, rotation, 0.11);
        const QList<int> full = Runs(image, rotation, 0.02);
        QString fullHalf;
        for (int i = 0; i < all.size(); i += 2) {
            // The bar's centre along the symbol, in the full-bar line's runs.
            int start = 0;
            for (int k = 0; k < i; ++k)
                start += all.at(k);
            const int centre = start + all.at(i) / 2;
            int pos = 0;
            bool dark = true;
            for (int k = 0; k < full.size(); ++k) {
                if (centre < pos + full.at(k))
                    break;
                pos += full.at(k);
                dark = !dark;
            }
            fullHalf += dark ? u'F' : u'H';
        }
        EXPECT_EQ(fullHalf.toStdString(), zint.toStdString());
        EXPECT_EQ(DecodePostNet(fullHalf).toStdString(), "123455"); // 1+2+3+4+5 = 15: check 5
    }
}

} // namespace
