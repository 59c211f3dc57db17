// pictures <output folder>
//
// Draws the schematic pictures of the program's windows with QPainter and
// writes each as a JPEG file through libjpeg's compress API, at build time:
//   tolerance_gauges.jpg  thread plug and ring gauges (Tolerance tab)
//   measure_3wire.jpg     measurement over three wires (Measures tab)
//   measure_arms.jpg      measurement with two balls on arms
//   measure_tsphere.jpg   measurement with a T-sphere
//   thermal_bar.jpg       a length at 20 degC and at another temperature
//   zero_search.jpg       the background of the zero-search notice
//   groups_<family>.jpg   the pictures of a family's gauge groups for the
//                         gauge pickers: one strip of 56 x 56 pictograms,
//                         picture i for group i
// The resource compiler stores them as RCDATA named after the files
// ("measure_3wire.jpg" gives "MEASURE_3WIRE_JPG"). Exit code 1 when a file
// cannot be written, 2 on wrong usage.
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/SafeSave.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <vector>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>

extern "C" {
#include <jpeglib.h>
}

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr int JpegQuality = 92;
// Depth of the drawn V threads per pitch: a 60-degree thread, slightly
// truncated.
constexpr double ThreadDepth = 0.866 * 0.8;

const QColor Steel(150, 160, 172);
const QColor SteelDark(88, 96, 108);
const QColor SteelLight(212, 218, 226);
const QColor Ink(28, 36, 52);
const QColor Accent(196, 40, 40);
const QColor Dimension(20, 80, 170);
const QColor Paper(250, 250, 246);

// Writes the picture as a JPEG file; false after a message naming the file.
bool WriteJpeg(const QImage& picture, const QString& fileName);
QImage Canvas(int width, int height);
void DrawTolerance(QPainter& p);
void DrawThreeWire(QPainter& p);
void DrawArms(QPainter& p);
void DrawTSphere(QPainter& p);
void DrawThermal(QPainter& p);
void DrawZeroSearch(QPainter& p);
void DrawWorkpieces(QPainter& p);
constexpr int SketchSize = 228; // px, one workpiece sketch

// The pictograms of the gauge groups.
enum class TProfile { Plain, Vee, Round, Buttress, Spline, Taper };
enum class TGaugeShape { Plug, Ring };
struct TPictogram {
    TGaugeShape Shape;
    TProfile Profile;
    const char* Mark; // a letter or word in the corner; "" for none
};
constexpr int PictogramSize = 56; // px
void DrawPictograms(QPainter& p, const std::vector<TPictogram>& pictograms);

struct TPicture {
    const char* File;
    int Width;  // in px
    int Height; // in px
    std::function<void(QPainter&)> Draw;
};

} // namespace

int main(int argc, char** argv)
{
    IgnoreFileSizeSignal();
    if (argc != 2) {
        std::fprintf(stderr, "usage: pictures <output folder>\n");
        return 2;
    }
    // Text needs a font database; no display is needed.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const QString folder = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "pictures: cannot create %s\n", argv[1]);
        return 1;
    }
    const TPicture pictures[] = {
        {"tolerance_gauges.jpg", 320, 300, DrawTolerance}, {"measure_3wire.jpg", 240, 176, DrawThreeWire},
        {"measure_arms.jpg", 240, 176, DrawArms},          {"measure_tsphere.jpg", 240, 176, DrawTSphere},
        {"thermal_bar.jpg", 240, 100, DrawThermal},        {"zero_search.jpg", 468, 128, DrawZeroSearch},
        {"workpiece_sketches.jpg", 4 * SketchSize, SketchSize, DrawWorkpieces},
    };
    constexpr TGaugeShape Plug = TGaugeShape::Plug;
    constexpr TGaugeShape Ring = TGaugeShape::Ring;
    // Groups by family, in the order of the pickers' group captions.
    const std::pair<const char*, std::vector<TPictogram>> groups[] = {
        {"groups_iso.jpg",
         {{Plug, TProfile::Plain, ""},
          {Ring, TProfile::Plain, ""},
          {Plug, TProfile::Vee, ""},
          {Ring, TProfile::Vee, ""}}},
        {"groups_ansiasme.jpg",
         {{Plug, TProfile::Plain, ""},
          {Ring, TProfile::Plain, ""},
          {Plug, TProfile::Vee, "UN"},
          {Ring, TProfile::Vee, "UN"},
          {Plug, TProfile::Vee, "W"},
          {Ring, TProfile::Vee, "W"},
          {Plug, TProfile::Taper, "NPT"},
          {Plug, TProfile::Taper, "F"}}},
        {"groups_spline.jpg", {{Plug, TProfile::Spline, ""}, {Ring, TProfile::Spline, ""}}},
        {"groups_special.jpg",
         {{Plug, TProfile::Plain, ""},
          {Ring, TProfile::Plain, ""},
          {Plug, TProfile::Vee, ""},
          {Ring, TProfile::Vee, ""},
          {Plug, TProfile::Plain, "GO"}}},
        {"groups_gas.jpg", {{Plug, TProfile::Taper, "R"}, {Plug, TProfile::Round, "G"}}},
        {"groups_buttress.jpg", {{Plug, TProfile::Buttress, ""}, {Ring, TProfile::Buttress, ""}}},
        {"groups_whitworth.jpg", {{Plug, TProfile::Round, ""}, {Ring, TProfile::Round, ""}}},
    };
    std::vector<TPicture> all(std::begin(pictures), std::end(pictures));
    for (const auto& [file, pictograms] : groups) {
        all.push_back({file, int(pictograms.size()) * PictogramSize, PictogramSize,
                       [pictograms](QPainter& p) { DrawPictograms(p, pictograms); }});
    }
    for (const TPicture& picture : all) {
        QImage image = Canvas(picture.Width, picture.Height);
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setRenderHint(QPainter::TextAntialiasing);
            picture.Draw(painter);
        }
        const QString fileName = folder + u'/' + QString::fromLatin1(picture.File);
        if (!WriteJpeg(image, fileName))
            return 1;
    }
    return 0;
}

namespace {

// --- Output ---------------------------------------------------------------

bool WriteJpeg(const QImage& picture, const QString& fileName)
{
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors); // a libjpeg failure ends the tool with its message
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = JDIMENSION(rgb.width());
    info.image_height = JDIMENSION(rgb.height());
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, JpegQuality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        // libjpeg reads the rows and never writes them.
        auto* row = const_cast<JSAMPLE*>(rgb.constScanLine(int(info.next_scanline)));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    const QByteArray bytes(reinterpret_cast<const char*>(buffer), qsizetype(size));
    std::free(buffer);
    try {
        SaveBytesToFile(fileName, bytes);
    } catch (const Exception& error) {
        std::fprintf(stderr, "pictures: %s\n", error.what());
        return false;
    }
    return true;
}

// --- Drawing helpers --------------------------------------------------------

QImage Canvas(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Paper);
    return image;
}

QFont LabelFont(int pixelSize, bool bold = false)
{
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

void Text(QPainter& p, QPointF at, const QString& text, int pixelSize, QColor color = Ink, bool bold = false)
{
    p.save();
    p.setFont(LabelFont(pixelSize, bold));
    p.setPen(color);
    p.drawText(at, text);
    p.restore();
}

// A vertical dimension line with arrow heads and its label to the right.
void VerticalDimension(QPainter& p, double x, double y1, double y2, const QString& label)
{
    p.save();
    p.setPen(QPen(Dimension, 1.2));
    p.setBrush(Dimension);
    p.drawLine(QPointF(x, y1), QPointF(x, y2));
    const double head = 6;
    const double dir = y2 > y1 ? 1 : -1;
    p.drawPolygon(
        QPolygonF({QPointF(x, y1), QPointF(x - 3, y1 + dir * head), QPointF(x + 3, y1 + dir * head)}));
    p.drawPolygon(
        QPolygonF({QPointF(x, y2), QPointF(x - 3, y2 - dir * head), QPointF(x + 3, y2 - dir * head)}));
    p.restore();
    Text(p, QPointF(x + 5, (y1 + y2) / 2 + 5), label, 14, Dimension, true);
}

void Extension(QPainter& p, QPointF a, QPointF b)
{
    p.save();
    p.setPen(QPen(Dimension, 0.8, Qt::DashLine));
    p.drawLine(a, b);
    p.restore();
}

void AxisLine(QPainter& p, double x1, double x2, double y)
{
    p.save();
    p.setPen(QPen(QColor(120, 120, 120), 0.8, Qt::DashDotLine));
    p.drawLine(QPointF(x1, y), QPointF(x2, y));
    p.restore();
}

// The outline of a 60-degree V thread along a horizontal line: crests at
// crestY, roots at rootY, starting with a root at x0 and repeating every
// pitch up to x1.
QPolygonF ThreadEdge(double x0, double x1, double pitch, double crestY, double rootY)
{
    QPolygonF edge;
    for (double x = x0 - pitch; x <= x1 + pitch; x += pitch) {
        edge << QPointF(x, rootY) << QPointF(x + pitch / 2, crestY);
    }
    return edge;
}

// A solid filled with the thread's metal between a thread edge and a
// straight line at baseY, clipped to [x0, x1].
void ThreadBody(QPainter& p, double x0, double x1, double pitch, double crestY, double rootY, double baseY,
                bool hatched)
{
    QPainterPath path;
    const QPolygonF edge = ThreadEdge(x0, x1, pitch, crestY, rootY);
    path.moveTo(edge.first().x(), baseY);
    for (const QPointF& point : edge)
        path.lineTo(point);
    path.lineTo(edge.last().x(), baseY);
    path.closeSubpath();
    p.save();
    p.setClipRect(QRectF(x0, std::min({crestY, rootY, baseY}) - 1, x1 - x0,
                         std::fabs(baseY - crestY) + 2 + std::fabs(rootY - crestY)));
    QLinearGradient shade(0, std::min(crestY, baseY), 0, std::max(crestY, baseY));
    shade.setColorAt(0, SteelLight);
    shade.setColorAt(1, Steel);
    p.setPen(QPen(SteelDark, 1.4));
    p.setBrush(shade);
    p.drawPath(path);
    if (hatched) {
        p.setClipPath(path, Qt::IntersectClip);
        p.setPen(QPen(SteelDark, 0.7));
        for (double x = x0 - 200; x < x1 + 200; x += 7)
            p.drawLine(QPointF(x, baseY), QPointF(x + (crestY - baseY), crestY));
    }
    p.restore();
}

// How far from the root of a V groove the centre of a ball of that radius
// lies when it touches both flanks.
double SeatOffset(double pitch, double depth, double radius)
{
    return radius * std::hypot(pitch / 2, depth) / (pitch / 2);
}

// A threaded cylinder seen from the side, in one piece: crests at
// axis -/+ crest, roots at axis -/+ root, the lower edge half a pitch on.
void ThreadMember(QPainter& p, double x0, double x1, double pitch, double axis, double crest, double root)
{
    const QPolygonF upper = ThreadEdge(x0, x1, pitch, axis - crest, axis - root);
    const QPolygonF lower = ThreadEdge(x0 + pitch / 2, x1 + pitch / 2, pitch, axis + crest, axis + root);
    QPainterPath member;
    member.addPolygon(upper);
    for (auto it = lower.rbegin(); it != lower.rend(); ++it)
        member.lineTo(*it);
    member.closeSubpath();
    p.save();
    p.setClipRect(QRectF(x0, axis - crest - 1, x1 - x0, 2 * crest + 2));
    QLinearGradient shade(0, axis - crest, 0, axis + crest);
    shade.setColorAt(0, SteelLight);
    shade.setColorAt(0.45, Steel);
    shade.setColorAt(1, SteelDark);
    p.setPen(QPen(SteelDark, 1.4));
    p.setBrush(shade);
    p.drawPath(member);
    p.restore();
    p.save();
    p.setPen(QPen(SteelDark, 1.4));
    p.drawLine(QPointF(x0, axis - root), QPointF(x0, axis + root));
    p.drawLine(QPointF(x1, axis - root), QPointF(x1, axis + root));
    p.restore();
}

void Ball(QPainter& p, QPointF centre, double radius)
{
    QRadialGradient shade(centre - QPointF(radius / 3, radius / 3), radius * 1.3);
    shade.setColorAt(0, QColor(255, 255, 255));
    shade.setColorAt(1, QColor(176, 122, 40));
    p.save();
    p.setPen(QPen(QColor(110, 70, 20), 1.2));
    p.setBrush(shade);
    p.drawEllipse(centre, radius, radius);
    p.restore();
}

void Anvil(QPainter& p, QRectF rect)
{
    QLinearGradient shade(rect.topLeft(), rect.bottomLeft());
    shade.setColorAt(0, QColor(120, 128, 140));
    shade.setColorAt(1, QColor(70, 76, 88));
    p.save();
    p.setPen(QPen(QColor(40, 44, 52), 1.2));
    p.setBrush(shade);
    p.drawRect(rect);
    p.restore();
}

// --- Pictures -----------------------------------------------------------------

// A go/no-go thread plug gauge and a thread ring gauge.
void DrawTolerance(QPainter& p)
{
    Text(p, QPointF(14, 26), QStringLiteral("Thread gauges"), 16, Ink, true);

    // Plug gauge: go member left, no-go member right, handle between.
    const double axis = 96;
    AxisLine(p, 8, 312, axis);
    ThreadMember(p, 18, 118, 10, axis, 30, 22);  // go: the longer member
    ThreadMember(p, 206, 270, 10, axis, 30, 22); // no-go: a few turns only
    QLinearGradient grip(0, axis - 17, 0, axis + 17);
    grip.setColorAt(0, QColor(70, 70, 78));
    grip.setColorAt(0.5, QColor(140, 140, 150));
    grip.setColorAt(1, QColor(60, 60, 68));
    p.setPen(QPen(QColor(30, 30, 36), 1.2));
    p.setBrush(grip);
    p.drawRoundedRect(QRectF(118, axis - 17, 88, 34), 6, 6);
    p.setPen(QPen(QColor(40, 40, 46), 0.8));
    for (double x = 128; x < 198; x += 5)
        p.drawLine(QPointF(x, axis - 15), QPointF(x + 4, axis + 15));
    p.setPen(Qt::NoPen);
    p.setBrush(Accent);
    p.drawRect(QRectF(194, axis - 17, 12, 34)); // the red band marks the no-go end
    Text(p, QPointF(52, axis + 52), QStringLiteral("GO"), 15, Ink, true);
    Text(p, QPointF(210, axis + 52), QStringLiteral("NO GO"), 15, Accent, true);

    // Ring gauges: an outer knurled body with a threaded bore.
    auto ring = [&p](QPointF c, double outer, double bore, bool noGo) {
        QRadialGradient body(c, outer);
        body.setColorAt(0.5, SteelLight);
        body.setColorAt(1, Steel);
        p.setPen(QPen(SteelDark, 1.4));
        p.setBrush(body);
        p.drawEllipse(c, outer, outer);
        p.setPen(QPen(SteelDark, 0.8));
        for (int i = 0; i < 72; ++i) {
            const double a = i * 2 * Pi / 72;
            p.drawLine(c + QPointF(std::cos(a), std::sin(a)) * (outer - 5),
                       c + QPointF(std::cos(a), std::sin(a)) * outer);
        }
        QPolygonF teeth;
        const int count = 24;
        for (int i = 0; i < 2 * count; ++i) {
            const double a = i * Pi / count;
            const double r = i % 2 ? bore : bore + 5;
            teeth << c + QPointF(std::cos(a), std::sin(a)) * r;
        }
        p.setPen(QPen(SteelDark, 1.2));
        p.setBrush(Paper);
        p.drawPolygon(teeth);
        if (noGo) {
            p.setPen(QPen(Accent, 4));
            p.setBrush(Qt::NoBrush);
            p.drawArc(QRectF(c.x() - outer + 9, c.y() - outer + 9, 2 * outer - 18, 2 * outer - 18), 30 * 16,
                      120 * 16);
        }
    };
    ring(QPointF(90, 220), 58, 24, false);
    ring(QPointF(234, 220), 58, 24, true);
    Text(p, QPointF(78, 294), QStringLiteral("GO"), 15, Ink, true);
    Text(p, QPointF(210, 294), QStringLiteral("NO GO"), 15, Accent, true);
}

// An external thread measured over three wires between two flat anvils.
void DrawThreeWire(QPainter& p)
{
    const double pitch = 32;
    const double depth = ThreadDepth * pitch;
    const double axis = 94;
    const double crest = 36; // half the major diameter, px
    const double root = crest - depth;
    AxisLine(p, 4, 236, axis);
    ThreadMember(p, 10, 200, pitch, axis, crest, root);

    // Wires a little over the best size, resting on the flanks; upper
    // roots lie at 10 + k * pitch, lower ones half a pitch on.
    const double r = 0.3 * pitch;
    const double seat = SeatOffset(pitch, depth, r);
    const QPointF w1(10 + 2 * pitch, axis - root - seat);
    const QPointF w2(10 + 4 * pitch, axis - root - seat);
    const QPointF w3(10 + 3.5 * pitch, axis + root + seat);
    Ball(p, w1, r);
    Ball(p, w2, r);
    Ball(p, w3, r);
    const double anvilTop = w1.y() - r;
    const double anvilBottom = w3.y() + r;
    Anvil(p, QRectF(20, anvilTop - 16, 176, 16));
    Anvil(p, QRectF(20, anvilBottom, 176, 16));
    Extension(p, QPointF(196, anvilTop), QPointF(222, anvilTop));
    Extension(p, QPointF(196, anvilBottom), QPointF(222, anvilBottom));
    VerticalDimension(p, 214, anvilTop, anvilBottom, QStringLiteral("M"));
}

// The two sides of an internal thread (a nut in section), shared by the arm
// and T-sphere pictures: upper body above topCrest, lower body below.
void NutSection(QPainter& p, double pitch, double topCrest, double topRoot, double bottomCrest,
                double bottomRoot)
{
    ThreadBody(p, 8, 232, pitch, topCrest, topRoot, 0, true);
    ThreadBody(p, 8 + pitch / 2, 232, pitch, bottomCrest, bottomRoot, 176, true);
    p.save();
    p.setPen(QPen(SteelDark, 1.4));
    p.drawLine(QPointF(8, 0), QPointF(8, topCrest));
    p.drawLine(QPointF(8, bottomCrest), QPointF(8, 176));
    p.restore();
}

// An internal thread measured with two balls on measuring arms.
void DrawArms(QPainter& p)
{
    const double pitch = 32;
    const double depth = ThreadDepth * pitch;
    const double topCrest = 60, topRoot = topCrest - depth, bottomCrest = 116,
                 bottomRoot = bottomCrest + depth;
    NutSection(p, pitch, topCrest, topRoot, bottomCrest, bottomRoot);
    AxisLine(p, 0, 240, (topCrest + bottomCrest) / 2);
    const double r = 0.3 * pitch;
    const double seat = SeatOffset(pitch, depth, r);
    const QPointF upper(8 + 4 * pitch, topRoot + seat);
    const QPointF lower(8 + pitch / 2 + 3 * pitch, bottomRoot - seat);
    // The arms come in from the instrument on the left.
    p.setPen(QPen(QColor(40, 44, 52), 1.2));
    p.setBrush(QColor(96, 104, 118));
    p.drawRect(QRectF(-4, upper.y() + 2, upper.x() + 4, 7));
    p.drawRect(QRectF(-4, lower.y() - 9, lower.x() + 4, 7));
    Ball(p, upper, r);
    Ball(p, lower, r);
    const double m1 = upper.y() - r, m2 = lower.y() + r;
    Extension(p, QPointF(upper.x(), m1), QPointF(214, m1));
    Extension(p, QPointF(lower.x(), m2), QPointF(214, m2));
    VerticalDimension(p, 206, m1, m2, QStringLiteral("M"));
}

// An internal thread measured with a T-sphere: a stem along the axis and a
// cross bar carrying one ball into a groove, read against the opposite side.
void DrawTSphere(QPainter& p)
{
    const double pitch = 32;
    const double depth = ThreadDepth * pitch;
    const double topCrest = 60, topRoot = topCrest - depth, bottomCrest = 116,
                 bottomRoot = bottomCrest + depth;
    NutSection(p, pitch, topCrest, topRoot, bottomCrest, bottomRoot);
    const double axis = (topCrest + bottomCrest) / 2;
    AxisLine(p, 0, 240, axis);
    const double r = 0.3 * pitch;
    const QPointF ball(8 + pitch / 2 + 3 * pitch, bottomRoot - SeatOffset(pitch, depth, r));
    p.setPen(QPen(QColor(40, 44, 52), 1.2));
    p.setBrush(QColor(96, 104, 118));
    p.drawRect(QRectF(-4, axis - 5, ball.x() + 4, 10));              // stem
    p.drawRect(QRectF(ball.x() - 5, axis - 5, 10, ball.y() - axis)); // cross bar
    Ball(p, ball, r);
    const double m1 = topCrest, m2 = ball.y() + r;
    Extension(p, QPointF(200, m1), QPointF(220, m1));
    Extension(p, QPointF(ball.x(), m2), QPointF(220, m2));
    VerticalDimension(p, 212, m1, m2, QStringLiteral("M"));
}

// A gauge block at 20 degC and the same block warmer, longer by dL.
void DrawThermal(QPainter& p)
{
    auto bar = [&p](double y, double length, QColor from, QColor to) {
        QLinearGradient shade(0, y, 0, y + 22);
        shade.setColorAt(0, from);
        shade.setColorAt(1, to);
        p.setPen(QPen(SteelDark, 1.2));
        p.setBrush(shade);
        p.drawRect(QRectF(14, y, length, 22));
    };
    bar(14, 150, QColor(206, 222, 240), QColor(120, 150, 190));
    bar(60, 172, QColor(250, 214, 196), QColor(210, 110, 80));
    Text(p, QPointF(22, 30), QStringLiteral("L 20\u00B0C"), 13, Ink, true);
    Text(p, QPointF(22, 76), QStringLiteral("L t"), 13, Ink, true);
    Extension(p, QPointF(164, 36), QPointF(164, 92));
    p.setPen(QPen(Accent, 1.4));
    p.setBrush(Accent);
    p.drawLine(QPointF(164, 90), QPointF(186, 90));
    p.drawPolygon(QPolygonF({QPointF(186, 90), QPointF(180, 87), QPointF(180, 93)}));
    Text(p, QPointF(168, 56), QStringLiteral("\u0394L"), 13, Accent, true);

    // A thermometer on the right.
    p.setPen(QPen(Ink, 1.2));
    p.setBrush(Paper);
    p.drawRoundedRect(QRectF(212, 10, 12, 66), 6, 6);
    p.setBrush(Accent);
    p.drawEllipse(QPointF(218, 82), 9, 9);
    p.setPen(Qt::NoPen);
    p.drawRect(QRectF(215, 34, 6, 44));
    p.setPen(QPen(Ink, 0.8));
    for (double y = 18; y < 72; y += 8)
        p.drawLine(QPointF(224, y), QPointF(230, y));
}

// A dark red field with a dial scale on the left; the notice's texts are
// drawn over it by the window.
void DrawZeroSearch(QPainter& p)
{
    QLinearGradient field(0, 0, 0, 128);
    field.setColorAt(0, QColor(150, 24, 24));
    field.setColorAt(1, QColor(92, 8, 8));
    p.fillRect(QRectF(0, 0, 468, 128), field);
    const QPointF centre(40, 64);
    p.setPen(QPen(QColor(255, 210, 200, 90), 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(centre, 30, 30);
    for (int i = 0; i < 40; ++i) {
        const double a = i * 2 * Pi / 40;
        const double inner = i % 5 ? 24 : 19;
        p.drawLine(centre + QPointF(std::cos(a), std::sin(a)) * inner,
                   centre + QPointF(std::cos(a), std::sin(a)) * 30);
    }
    p.setPen(QPen(QColor(255, 230, 220, 160), 2.5));
    p.drawLine(centre, centre + QPointF(0, -22));
    p.setPen(QPen(QColor(255, 210, 200, 60), 1));
    p.drawLine(QPointF(84, 104), QPointF(456, 104));
    for (double x = 84; x <= 456; x += 12)
        p.drawLine(QPointF(x, 104), QPointF(x, int(x - 84) % 60 ? 100 : 96));
}

} // namespace

namespace {

// --- Gauge group pictograms ----------------------------------------------------

// The depth (0..1 of the full depth) of a profile at a position along it,
// phase in pitches.
double ProfileDepth(TProfile profile, double phase)
{
    const double f = phase - std::floor(phase);
    switch (profile) {
    case TProfile::Vee:
    case TProfile::Taper:
        return 1 - std::fabs(2 * f - 1);
    case TProfile::Round:
        return 0.5 - 0.5 * std::cos(2 * Pi * f);
    case TProfile::Buttress:
        return f < 0.8 ? f / 0.8 : 1 - (f - 0.8) / 0.2; // a steep and a flat flank
    case TProfile::Spline:
        return f < 0.5 ? 1 : 0;
    default:
        return 0;
    }
}

void Mark(QPainter& p, QRectF cell, const char* mark)
{
    if (!*mark)
        return;
    p.save();
    p.setFont(LabelFont(11, true));
    p.setPen(Accent);
    p.drawText(cell.adjusted(2, 1, -2, -1), Qt::AlignRight | Qt::AlignBottom, QString::fromLatin1(mark));
    p.restore();
}

// A plug gauge seen from the side: the handle on the left, the gauging
// member on the right.
void PlugPictogram(QPainter& p, QRectF cell, TProfile profile)
{
    const double axis = cell.top() + 24;
    const double x0 = cell.left() + 22;
    const double x1 = cell.right() - 3;
    QLinearGradient grip(0, axis - 6, 0, axis + 6);
    grip.setColorAt(0, QColor(70, 70, 78));
    grip.setColorAt(0.5, QColor(150, 150, 160));
    grip.setColorAt(1, QColor(60, 60, 68));
    p.setPen(QPen(QColor(30, 30, 36), 1));
    p.setBrush(grip);
    p.drawRoundedRect(QRectF(cell.left() + 3, axis - 6, x0 - cell.left() - 3, 12), 3, 3);

    const double pitch = profile == TProfile::Spline ? 4 : 6;
    const double depth = profile == TProfile::Plain ? 0 : 3;
    QPolygonF upper;
    QPolygonF lower;
    for (double x = x0; x <= x1 + 0.01; x += 0.5) {
        const double t = (x - x0) / (x1 - x0);
        const double radius = profile == TProfile::Taper ? 10 + 5 * t : 13;
        upper << QPointF(x, axis - radius + depth * ProfileDepth(profile, (x - x0) / pitch));
        lower << QPointF(x, axis + radius - depth * ProfileDepth(profile, (x - x0) / pitch + 0.5));
    }
    QPainterPath member;
    member.addPolygon(upper);
    for (auto it = lower.rbegin(); it != lower.rend(); ++it)
        member.lineTo(*it);
    member.closeSubpath();
    QLinearGradient shade(0, axis - 15, 0, axis + 15);
    shade.setColorAt(0, SteelLight);
    shade.setColorAt(0.45, Steel);
    shade.setColorAt(1, SteelDark);
    p.setPen(QPen(SteelDark, 1));
    p.setBrush(shade);
    p.drawPath(member);
}

// A ring gauge seen from the front: the knurled body and the bore with the
// profile's teeth.
void RingPictogram(QPainter& p, QRectF cell, TProfile profile)
{
    const QPointF c(cell.center().x(), cell.top() + 26);
    const double outer = 23;
    QRadialGradient body(c, outer);
    body.setColorAt(0.5, SteelLight);
    body.setColorAt(1, Steel);
    p.setPen(QPen(SteelDark, 1));
    p.setBrush(body);
    p.drawEllipse(c, outer, outer);
    p.setPen(QPen(SteelDark, 0.6));
    for (int i = 0; i < 48; ++i) {
        const double a = i * 2 * Pi / 48;
        p.drawLine(c + QPointF(std::cos(a), std::sin(a)) * (outer - 3),
                   c + QPointF(std::cos(a), std::sin(a)) * outer);
    }
    const int teeth = profile == TProfile::Spline ? 12 : 18;
    const double depth = profile == TProfile::Plain ? 0 : 3;
    QPolygonF bore;
    for (int i = 0; i < 360; ++i) {
        const double a = i * 2 * Pi / 360;
        const double r = 10 + depth * ProfileDepth(profile, a * teeth / (2 * Pi));
        bore << c + QPointF(std::cos(a), std::sin(a)) * r;
    }
    p.setPen(QPen(SteelDark, 1));
    p.setBrush(QColor(255, 255, 255));
    p.drawPolygon(bore);
}

void DrawPictograms(QPainter& p, const std::vector<TPictogram>& pictograms)
{
    // White, so that the glyph's transparent corner colour is the ground.
    p.fillRect(QRectF(0, 0, double(pictograms.size()) * PictogramSize, PictogramSize), QColor(255, 255, 255));
    int index = 0;
    for (const TPictogram& pictogram : pictograms) {
        const QRectF cell(index * PictogramSize, 0, PictogramSize, PictogramSize);
        p.save();
        p.setClipRect(cell);
        if (pictogram.Shape == TGaugeShape::Plug)
            PlugPictogram(p, cell, pictogram.Profile);
        else
            RingPictogram(p, cell, pictogram.Profile);
        Mark(p, cell, pictogram.Mark);
        p.restore();
        ++index;
    }
}

// --- Workpiece sketches ---------------------------------------------------------

// A wall of a workpiece cut open: hatched metal.
void SectionWall(QPainter& p, QRectF rect)
{
    p.save();
    p.setPen(QPen(SteelDark, 1.4));
    p.setBrush(SteelLight);
    p.drawRect(rect);
    p.setClipRect(rect);
    p.setPen(QPen(SteelDark, 0.7));
    for (double x = rect.left() - rect.height(); x < rect.right(); x += 7)
        p.drawLine(QPointF(x, rect.bottom()), QPointF(x + rect.height(), rect.top()));
    p.restore();
}

// The workpieces the workpiece window computes, side by side: a hole and a
// shaft, a nut thread (cut open) and a bolt thread, each with the diameter
// whose limits the window shows.
void DrawWorkpieces(QPainter& p)
{
    const double axis = 114;
    const double x0 = 30;
    const double x1 = 190;
    const double pitch = 14;
    const char* const names[] = {"Hole", "Shaft", "Nut thread", "Bolt thread"};
    for (int sketch = 0; sketch < 4; ++sketch) {
        p.save();
        p.translate(sketch * SketchSize, 0);
        p.setClipRect(QRectF(0, 0, SketchSize, SketchSize));
        switch (sketch) {
        case 0:
            SectionWall(p, QRectF(x0, 34, x1 - x0, axis - 30 - 34));
            SectionWall(p, QRectF(x0, axis + 30, x1 - x0, 194 - axis - 30));
            AxisLine(p, x0 - 10, x1 + 10, axis);
            VerticalDimension(p, (x0 + x1) / 2, axis - 30, axis + 30, QStringLiteral("D"));
            break;
        case 1: {
            QLinearGradient shade(0, axis - 30, 0, axis + 30);
            shade.setColorAt(0, SteelLight);
            shade.setColorAt(0.45, Steel);
            shade.setColorAt(1, SteelDark);
            p.setPen(QPen(SteelDark, 1.4));
            p.setBrush(shade);
            p.drawRect(QRectF(x0, axis - 30, x1 - x0, 60));
            AxisLine(p, x0 - 10, x1 + 10, axis);
            VerticalDimension(p, x1 + 12, axis - 30, axis + 30, QStringLiteral("d"));
            break;
        }
        case 2:
            ThreadBody(p, x0, x1, pitch, axis - 30, axis - 38, 34, true);
            ThreadBody(p, x0 + pitch / 2, x1, pitch, axis + 30, axis + 38, 194, true);
            AxisLine(p, x0 - 10, x1 + 10, axis);
            VerticalDimension(p, (x0 + x1) / 2, axis - 38, axis + 38, QStringLiteral("D"));
            break;
        default:
            ThreadMember(p, x0, x1, pitch, axis, 38, 30);
            AxisLine(p, x0 - 10, x1 + 10, axis);
            VerticalDimension(p, x1 + 12, axis - 38, axis + 38, QStringLiteral("d"));
            break;
        }
        Text(p, QPointF(x0, 218), QString::fromLatin1(names[sketch]), 14, Ink, true);
        p.restore();
    }
}

} // namespace
