// Barcode components: the symbol kept in step with the component's box,
// the one stored anchor, the designed text after a run, and each symbology
// printed by a report in the four rotations and read back from the picture
// (zbarimg; POSTNET, which zbar does not read, by its bar heights).
#include "report/components/ZvCsBars.h"
#include "tests/report/print/CanvasPlayback.h"

#include "RunFixture.h"

#include <QImage>
#include <QProcess>
#include <QStandardPaths>

#include <functional>

namespace {

class ZvCsBarsTest : public RunFixture {
protected:
    template <class T> T* AddBars(const QString& name)
    {
        auto* bars = new T(Page);
        bars->SetName(name);
        bars->SetParent(Page);
        return bars;
    }
};

TEST_F(ZvCsBarsTest, SymbolFollowsTheBox)
{
    auto* code39 = AddBars<TZarvCode39BarCode>(QStringLiteral("C39"));
    code39->SetText(QStringLiteral("ab-C"));
    EXPECT_EQ(code39->GetText(), QStringLiteral("-C")); // what Code 39 takes
    code39->SetAutoSize(false);
    code39->SetWidth(2);
    code39->SetLeft(1);
    code39->SetBarCodeJustify(TPrintJustify::pjRight);
    EXPECT_DOUBLE_EQ(code39->BarCode()->Right(), 3);
    EXPECT_DOUBLE_EQ(code39->GetLeft(), 1);

    auto* code128 = AddBars<TZarvCode128BarCode>(QStringLiteral("C128"));
    code128->SetText(QStringLiteral("123456"));
    code128->SetWidth(5);
    EXPECT_DOUBLE_EQ(code128->GetWidth(), code128->BarCode()->Width()); // AutoSize keeps the symbol's
    code128->SetAutoSize(false);
    code128->SetWidth(5);
    EXPECT_DOUBLE_EQ(code128->GetWidth(), 5);

    auto* postNet = AddBars<TZarvPostNetBarCode>(QStringLiteral("Zip"));
    postNet->SetHeight(1);
    EXPECT_DOUBLE_EQ(postNet->GetHeight(), 0.125);
    EXPECT_FALSE(postNet->PrintReadable());
}

TEST_F(ZvCsBarsTest, OnlyTheAnchorOfTheJustificationIsStored)
{
    auto* bars = AddBars<TZarvI2of5BarCode>(QStringLiteral("I25"));
    const QString names[] = {QStringLiteral("Left"), QStringLiteral("Center"), QStringLiteral("Right"),
                             QStringLiteral("BarCodeJustify")};
    const struct {
        TPrintJustify Justify;
        const char* Stored; // of Left, Center, Right, BarCodeJustify
    } rows[] = {
        {TPrintJustify::pjLeft, "1000"},
        {TPrintJustify::pjCenter, "0100"},
        {TPrintJustify::pjRight, "0010"},
        {TPrintJustify::pjBlock, "1000"}, // the left edge, so the place survives a reload
    };
    for (const auto& row : rows) {
        bars->SetBarCodeJustify(row.Justify);
        QString stored;
        for (const QString& name : names)
            stored += GetPropInfo(*bars, name)->IsStored(*bars) ? u'1' : u'0';
        EXPECT_EQ(stored.toStdString(), row.Stored) << int(row.Justify);
    }
}

TEST_F(ZvCsBarsTest, DesignedTextIsBackAfterARunThatPrintedData)
{
    auto* bars = AddBars<TZarvCode39BarCode>(QStringLiteral("C39"));
    bars->SetText(QStringLiteral("ABC"));
    bars->SetDataField(QStringLiteral("\"XYZ\""));
    TZvZSFWriter writer(nullptr);
    TMemoryStream stream;
    writer.SetStreamMode(TStreamMode::smUser);
    writer.SetStream(&stream);
    writer.OnPrint = [&](TObject*) {
        Project.SetPrinting(true);
        bars->BeforeReport();
        bars->PrintAll(&writer);
        EXPECT_EQ(bars->GetText(), QStringLiteral("XYZ"));
        bars->AfterReport();
        Project.SetPrinting(false);
    };
    writer.Execute();
    EXPECT_EQ(bars->GetText(), QStringLiteral("ABC"));
}

// ---------------------------------------------------------------------------
// Read back from the picture.

constexpr int kDpi = 200;

QString RunProgram(const QString& program, const QStringList& args)
{
    QProcess process;
    process.start(program, args);
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// POSTNET digits from the bars: full bars weigh 7, 4, 2, 1, 0 in each group
// of five (7 + 4 stands for 0), between a full frame bar at either end. The
// picture is turned upright first; the bars read either way round.
QString DecodePostNet(QImage image, TBarCodeRotation rotation)
{
    if (rotation == TBarCodeRotation::Rot90 || rotation == TBarCodeRotation::Rot270)
        image = image.transformed(QTransform().rotate(90));
    QList<int> heights;
    int runHeight = -1;
    for (int x = 0; x < image.width(); ++x) {
        int dark = 0;
        for (int y = 0; y < image.height(); ++y)
            dark += qGray(image.pixel(x, y)) < 128;
        if (dark > 0)
            runHeight = std::max(runHeight, dark);
        else if (runHeight >= 0) {
            heights << runHeight;
            runHeight = -1;
        }
    }
    int tallest = 0;
    for (int h : heights)
        tallest = std::max(tallest, h);
    QString bars;
    for (int h : heights)
        bars += h > tallest * 3 / 4 ? u'F' : u'H';
    for (int pass = 0; pass < 2; ++pass) {
        QString digits;
        const QString inner = bars.mid(1, bars.size() - 2);
        for (int i = 0; i + 5 <= inner.size(); i += 5) {
            static const int weights[] = {7, 4, 2, 1, 0};
            int value = 0;
            for (int k = 0; k < 5; ++k)
                value += inner.at(i + k) == u'F' ? weights[k] : 0;
            digits += QString::number(value == 11 ? 0 : value);
        }
        if (digits == QLatin1String("123455"))
            return digits;
        std::reverse(bars.begin(), bars.end());
    }
    return bars;
}

TEST_F(ZvCsBarsTest, EverySymbologyPrintedByAReportReadsBackInAllRotations)
{
    if (QStandardPaths::findExecutable(QStringLiteral("zbarimg")).isEmpty())
        GTEST_SKIP() << "zbarimg not installed";
    const struct {
        const char* Name;
        std::function<TZarvBaseBarCode*(TComponent*)> Make;
        const char* Text;
        bool Check;
        const char* Read; // zbarimg's answer; empty for POSTNET
    } symbols[] = {
        {"postnet", [](TComponent* o) { return new TZarvPostNetBarCode(o); }, "12345", true, ""},
        {"i25", [](TComponent* o) { return new TZarvI2of5BarCode(o); }, "123", true, "I2/5:1236"},
        {"code39", [](TComponent* o) { return new TZarvCode39BarCode(o); }, "ABC", true, "CODE-39:ABCX"},
        {"code128", [](TComponent* o) { return new TZarvCode128BarCode(o); }, "123456", true,
         "CODE-128:123456"},
        {"upc", [](TComponent* o) { return new TZarvUPCBarCode(o); }, "03600029145", true,
         "EAN-13:0036000291452"},
        {"ean", [](TComponent* o) { return new TZarvEANBarCode(o); }, "400638133393", true,
         "EAN-13:4006381333931"},
    };
    for (const auto& symbol : symbols) {
        for (TBarCodeRotation rotation : {TBarCodeRotation::Rot0, TBarCodeRotation::Rot90,
                                          TBarCodeRotation::Rot180, TBarCodeRotation::Rot270}) {
            const QString label =
                QStringLiteral("%1-rot%2").arg(QLatin1String(symbol.Name)).arg(int(rotation) * 90);
            SCOPED_TRACE(label.toStdString());
            TZarvBaseBarCode* bars = symbol.Make(Page);
            bars->SetName(QStringLiteral("Bars"));
            bars->SetParent(Page);
            bars->SetBarWidth(symbol.Read[0] ? 0.02 : 0.02);
            bars->SetUseChecksum(symbol.Check);
            // The data comes from a parameter while the report runs.
            bars->SetDataField(QStringLiteral("PARAM.Code"));
            Project.SetParam(QStringLiteral("Code"), QString::fromLatin1(symbol.Text));
            bars->SetBarCodeRotation(rotation);
            bars->SetLeft(3);
            bars->SetTop(4);
            const QByteArray snapshot = RunSnapshot();
            delete bars;
            const QImage image = PlayOnLetterPage(snapshot, kDpi);
            const QString file = OutputPath(QStringLiteral("component-bars-%1.png").arg(label));
            image.save(file);
            if (!symbol.Read[0]) {
                EXPECT_EQ(DecodePostNet(image, rotation).toStdString(), "123455"); // check digit 5
                continue;
            }
            const QString read =
                RunProgram(QStringLiteral("zbarimg"),
                           {QStringLiteral("-q"), QStringLiteral("-Si25.min-length=2"), file});
            EXPECT_EQ(read.toStdString(), symbol.Read);
        }
    }
}

} // namespace
