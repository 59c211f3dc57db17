#include "report/components/ZvCsDraw.h"

#include "platform/forms/Controls.h"
#include "platform/graphics/Canvas.h"
#include "platform/objects/ClassRegistry.h"
#include "report/components/ComponentTypes_p.h"
#include "report/model/ZvDefine.h"
#include "report/model/ZvItem.h"
#include "report/print/QpBase.h"
#include "report/print/QpDefine.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

namespace {

// Rounds as the report canvas expects widths: halves to the even neighbour.
int RoundWidth(double value)
{
    return int(std::nearbyint(value));
}

// Makes the box from p1 to p2 square, each side keeping its direction: the
// shorter side grows to the longer one, or with cut the longer is cut to the
// shorter one. p1 stays.
template <class P> void EqualSides(const P& p1, P& p2, bool cut)
{
    const auto width = p2.X - p1.X;
    const auto height = p2.Y - p1.Y;
    const auto side =
        cut ? std::min(std::abs(width), std::abs(height)) : std::max(std::abs(width), std::abs(height));
    p2.X = p1.X + (width < 0 ? -side : side);
    p2.Y = p1.Y + (height < 0 ? -side : side);
}

bool Within(double value, double low, double high)
{
    return FloatGreaterEqual(value, low) && FloatLessEqual(value, high);
}

void PublishLine(TClassInfo& info)
{
    PublishProperty(info, QStringLiteral("Color"), ZarvColorType(), &TZarvControl::GetForeColor,
                    &TZarvControl::SetForeColor)
        .WithDefault(clBlack);
    PublishProperty(info, QStringLiteral("Cursor"), ZarvCursorType(), &TZarvControl::Cursor,
                    &TZarvControl::SetCursor);
    PublishZarvBounds(info);
    PublishProperty(info, QStringLiteral("LineStyle"), ZarvPenStyleType(), &TZarvControl::GetLineStyle,
                    &TZarvControl::SetLineStyle);
    PublishProperty(info, QStringLiteral("LineWidth"), TypeInfoDouble(), &TZarvControl::GetLineWidth,
                    &TZarvControl::SetLineWidth);
    PublishProperty(info, QStringLiteral("LineWidthType"), ZarvLineWidthType(),
                    &TZarvControl::GetLineWidthType, &TZarvControl::SetLineWidthType)
        .WithDefault(int64_t(TLineWidthType::wtPixels));
    PublishProperty(info, QStringLiteral("NESW"), TypeInfoBoolean(), &TZarvLine::NESW, &TZarvLine::SetNESW);
}

void PublishSurface(TClassInfo& info, bool radii)
{
    PublishProperty(info, QStringLiteral("BorderColor"), ZarvColorType(), &TZarvControl::GetForeColor,
                    &TZarvControl::SetForeColor)
        .WithDefault(clBlack);
    PublishProperty(info, QStringLiteral("BorderStyle"), ZarvPenStyleType(), &TZarvControl::GetLineStyle,
                    &TZarvControl::SetLineStyle);
    PublishProperty(info, QStringLiteral("BorderWidth"), TypeInfoDouble(), &TZarvControl::GetLineWidth,
                    &TZarvControl::SetLineWidth);
    PublishProperty(info, QStringLiteral("BorderWidthType"), ZarvLineWidthType(),
                    &TZarvControl::GetLineWidthType, &TZarvControl::SetLineWidthType)
        .WithDefault(int64_t(TLineWidthType::wtPixels));
    PublishProperty(info, QStringLiteral("Cursor"), ZarvCursorType(), &TZarvControl::Cursor,
                    &TZarvControl::SetCursor);
    PublishProperty(info, QStringLiteral("FillColor"), ZarvColorType(), &TZarvControl::GetBackColor,
                    &TZarvControl::SetBackColor)
        .WithDefault(clWhite);
    PublishProperty(info, QStringLiteral("FillStyle"), ZarvFillStyleType(), &TZarvControl::GetFillStyle,
                    &TZarvControl::SetFillStyle);
    PublishZarvBounds(info);
    if (radii) {
        PublishProperty(info, QStringLiteral("HRadius"), ZarvUnitsType(), &TZarvRectangle::HRadius,
                        &TZarvRectangle::SetHRadius);
        PublishProperty(info, QStringLiteral("VRadius"), ZarvUnitsType(), &TZarvRectangle::VRadius,
                        &TZarvRectangle::SetVRadius);
    }
}

void RegisterDrawingClasses()
{
    if (FindClass(QStringLiteral("TZarvLine")))
        return;
    RegisterClass<TZarvGraphicBase>(QStringLiteral("TZarvGraphicBase"), QStringLiteral("TZarvControl"));
    TClassInfo& line =
        RegisterClass<TZarvLine>(QStringLiteral("TZarvLine"), QStringLiteral("TZarvGraphicBase"));
    PublishLine(line);
    // The horizontal and vertical lines redeclare the same list.
    TClassInfo& hline = RegisterClass<TZarvHLine>(QStringLiteral("TZarvHLine"), QStringLiteral("TZarvLine"));
    TClassInfo& vline = RegisterClass<TZarvVLine>(QStringLiteral("TZarvVLine"), QStringLiteral("TZarvLine"));
    RegisterClass<TZarvSurface>(QStringLiteral("TZarvSurface"), QStringLiteral("TZarvGraphicBase"));
    TClassInfo& rectangle =
        RegisterClass<TZarvRectangle>(QStringLiteral("TZarvRectangle"), QStringLiteral("TZarvSurface"));
    PublishSurface(rectangle, true);
    TClassInfo& square =
        RegisterClass<TZarvSquare>(QStringLiteral("TZarvSquare"), QStringLiteral("TZarvRectangle"));
    TClassInfo& ellipse =
        RegisterClass<TZarvEllipse>(QStringLiteral("TZarvEllipse"), QStringLiteral("TZarvSurface"));
    PublishSurface(ellipse, false);
    TClassInfo& circle =
        RegisterClass<TZarvCircle>(QStringLiteral("TZarvCircle"), QStringLiteral("TZarvEllipse"));
    RegisterZarvComponents(QStringLiteral("Graphics"), Translate(QStringLiteral("Drawing")),
                           QStringLiteral("ZvCsDraw"),
                           {&line, &hline, &vline, &rectangle, &square, &ellipse, &circle});
}

} // namespace

void RecordDrawingProcs()
{
    static bool recorded = false;
    if (recorded)
        return;
    recorded = true;
    RegisterZarvProc(QStringLiteral("ZVCL"), &RegisterDrawingClasses);
}

// ---------------------------------------------------------------------------
// TZarvGraphicBase.

TZarvGraphicBase::TZarvGraphicBase(TComponent* owner)
    : TZarvControl(owner), FGraphicPen(std::make_unique<TPen>())
{
}

TZarvGraphicBase::~TZarvGraphicBase() = default;

void TZarvGraphicBase::SetForeColor(TColor value)
{
    FGraphicPen->SetColor(value);
    Invalidate();
}

TColor TZarvGraphicBase::GetForeColor() const
{
    return FGraphicPen->Color();
}

void TZarvGraphicBase::SetLineWidth(double value)
{
    FPenWidth = value;
    KeepSolidForWideLines();
    Invalidate();
}

double TZarvGraphicBase::GetLineWidth() const
{
    return FPenWidth;
}

void TZarvGraphicBase::SetLineWidthType(TLineWidthType value)
{
    FPenWidthType = value;
    KeepSolidForWideLines();
    Invalidate();
}

TLineWidthType TZarvGraphicBase::GetLineWidthType() const
{
    return FPenWidthType;
}

void TZarvGraphicBase::SetLineStyle(TPenStyle value)
{
    FGraphicPen->SetStyle(value);
    Invalidate();
}

TPenStyle TZarvGraphicBase::GetLineStyle() const
{
    return FGraphicPen->Style();
}

// Output devices draw patterned pens only one pixel wide.
void TZarvGraphicBase::KeepSolidForWideLines()
{
    if ((FPenWidth > 1.0 || FPenWidthType == TLineWidthType::wtPoints) &&
        FGraphicPen->Style() != TPenStyle::psSolid)
        FGraphicPen->SetStyle(TPenStyle::psSolid);
}

void TZarvGraphicBase::SetupPen(TBaseReport* report) const
{
    if (FPenWidth == 0) {
        report->SetPen(clBlack, TPenStyle::psClear, 0, TPenMode::pmCopy);
        return;
    }
    const int width = FPenWidthType == TLineWidthType::wtPixels
                          ? RoundWidth(FPenWidth)
                          : -(RoundWidth(10000.0 * FPenWidth / 72.0) + 10000);
    report->SetPen(FGraphicPen->Color(), FGraphicPen->Style(), width, FGraphicPen->Mode());
}

void TZarvGraphicBase::SetupPen(TCanvas& canvas, int& farInset, int& nearInset) const
{
    canvas.SetPen(FGraphicPen.get());
    TPen& pen = *canvas.Pen();
    int width = 0;
    if (FPenWidth == 0) {
        pen.SetStyle(TPenStyle::psClear);
    } else {
        width = FPenWidthType == TLineWidthType::wtPixels ? RoundWidth(FPenWidth)
                                                          : std::max(1, XI2DLength(FPenWidth / 72.0));
        pen.SetWidth(width);
    }
    // A pen is centred on the figure's outline: half of it (rounded down)
    // inside the left and top edges, the rest inside the right and bottom
    // ones. An inside-frame pen stays inside by itself.
    if (pen.Style() == TPenStyle::psClear) {
        farInset = nearInset = 0;
    } else if (pen.Style() == TPenStyle::psInsideFrame) {
        farInset = 1;
        nearInset = 0;
    } else {
        nearInset = width / 2;
        farInset = width - nearInset;
    }
}

// ---------------------------------------------------------------------------
// Lines.

TZarvLine::TZarvLine(TComponent* owner) : TZarvGraphicBase(owner)
{
    SetWidth(1.0);
    SetHeight(1.0);
}

void TZarvLine::SetNESW(bool value)
{
    FNESW = value;
    Invalidate();
}

void TZarvLine::Print(TBaseReport* report)
{
    if (!report || !AllowPrint())
        return;
    SetupPen(report);
    const TZarvPoint start = StartPoint();
    const TZarvPoint end = EndPoint();
    report->MoveTo(start.X, start.Y);
    report->LineTo(end.X, end.Y);
}

void TZarvLine::PaintSelf(TCanvas& canvas)
{
    int farInset = 0;
    int nearInset = 0;
    SetupPen(canvas, farInset, nearInset); // a line needs no insets
    const TZarvPoint start = StartPoint();
    const TZarvPoint end = EndPoint();
    canvas.MoveTo(XI2D(start.X), YI2D(start.Y));
    canvas.LineTo(XI2D(end.X), YI2D(end.Y));
}

TZarvPoint TZarvLine::StartPoint() const
{
    return TZarvPoint{GetPageLeft(), FNESW ? GetPageBottom() : GetPageTop()};
}

TZarvPoint TZarvLine::EndPoint() const
{
    return TZarvPoint{GetPageRight(), FNESW ? GetPageTop() : GetPageBottom()};
}

void TZarvLine::CreatePips()
{
    if (TZarvPage* page = DesignerPage()) {
        const TZarvPoint start = StartPoint();
        const TZarvPoint end = EndPoint();
        page->AddPip(0, this, crCross, start.X, start.Y);
        page->AddPip(1, this, crCross, end.X, end.Y);
    }
}

void TZarvLine::UpdatePips()
{
    if (TZarvPage* page = DesignerPage()) {
        const TZarvPoint start = StartPoint();
        const TZarvPoint end = EndPoint();
        page->UpdatePip(0, this, start.X, start.Y);
        page->UpdatePip(1, this, end.X, end.Y);
    }
}

void TZarvLine::PipSize(TZarvPip& pip)
{
    TZarvPoint fixed;
    TZarvPoint moved;
    DraggedEnds(pip, fixed, moved);
    DragEnds(pip, fixed, moved);
}

bool TZarvLine::IsSelectPoint(const TZarvPoint& point) const
{
    const TZarvPoint start = StartPoint();
    const TZarvPoint end = EndPoint();
    TZarvPoint foot;
    if (FloatEqual(start.X, end.X)) {
        foot = TZarvPoint{start.X, point.Y};
    } else if (FloatEqual(start.Y, end.Y)) {
        foot = TZarvPoint{point.X, start.Y};
    } else {
        const double dx = end.X - start.X;
        const double dy = end.Y - start.Y;
        const double t = ((point.X - start.X) * dx + (point.Y - start.Y) * dy) / (dx * dx + dy * dy);
        foot = TZarvPoint{start.X + t * dx, start.Y + t * dy};
    }
    if (!PtInZarvRect(PageRect(), foot))
        return false;
    const double px = XI2D(point.X) - XI2D(foot.X);
    const double py = YI2D(point.Y) - YI2D(foot.Y);
    return px * px + py * py < 9 && ParentAllowsSelect();
}

bool TZarvLine::InSelectRect(const TZarvRect& rect) const
{
    TZarvRect overlap;
    if (!IntersectZarvRect(overlap, PageRect(), rect) || !ParentAllowsSelect())
        return false;
    if (FloatEqual(GetWidth(), 0) || FloatEqual(GetHeight(), 0))
        return true;
    // Where the line, drawn on without end, meets the lines of the
    // rectangle's edges. With the boxes meeting, it meets an edge within
    // the edge exactly when the line itself crosses or lies in the
    // rectangle.
    const TZarvPoint start = StartPoint();
    const TZarvPoint end = EndPoint();
    const double slope = (end.Y - start.Y) / (end.X - start.X);
    const auto yAt = [&](double x) { return start.Y + (x - start.X) * slope; };
    const auto xAt = [&](double y) { return start.X + (y - start.Y) / slope; };
    return Within(yAt(rect.Left), rect.Top, rect.Bottom) || Within(yAt(rect.Right), rect.Top, rect.Bottom) ||
           Within(xAt(rect.Top), rect.Left, rect.Right) || Within(xAt(rect.Bottom), rect.Left, rect.Right);
}

void TZarvLine::SetSize(TZarvPoint p1, TZarvPoint p2)
{
    ModifyZarvRect(p1, p2);
    if (p2.X < p1.X)
        std::swap(p1, p2);
    FNESW = FloatLess(p2.Y, p1.Y); // the end above the start
    SetBoundsRect(ZarvRect(p1.X, std::min(p1.Y, p2.Y), p2.X, std::max(p1.Y, p2.Y)));
    Invalidate();
    ResizeAll();
}

void TZarvLine::DraggedEnds(const TZarvPip& pip, TZarvPoint& fixed, TZarvPoint& moved) const
{
    const TZarvPoint origin = ParentOrigin();
    const TZarvRect& r = pip.OrigRect;
    // The handle stood on one corner of the box; the line's other end is
    // the opposite corner.
    const double x = pip.OrigPoint.X - origin.X;
    const double y = pip.OrigPoint.Y - origin.Y;
    fixed.X = std::abs(x - r.Left) <= std::abs(x - r.Right) ? r.Right : r.Left;
    fixed.Y = std::abs(y - r.Top) <= std::abs(y - r.Bottom) ? r.Bottom : r.Top;
    moved = TZarvPoint{pip.PageX - origin.X, pip.PageY - origin.Y};
}

void TZarvLine::DragEnds(TZarvPip& pip, const TZarvPoint& fixed, const TZarvPoint& moved)
{
    if (pip.Index == 0)
        SetSize(moved, fixed);
    else
        SetSize(fixed, moved);
    SwitchDraggedPip(pip, moved);
}

void TZarvLine::SwitchDraggedPip(const TZarvPip& pip, const TZarvPoint& moved)
{
    const TZarvPoint origin = ParentOrigin();
    const auto at = [&](const TZarvPoint& end) {
        return FloatEqual(end.X - origin.X, moved.X) && FloatEqual(end.Y - origin.Y, moved.Y);
    };
    const bool atStart = at(StartPoint());
    const bool atEnd = at(EndPoint());
    if (atStart == atEnd) // both: a line of no length; neither cannot happen
        return;
    const int index = atStart ? 0 : 1;
    if (index != pip.Index) {
        if (TZarvPage* page = DesignerPage())
            page->SwitchPips(this, pip.Index, index);
    }
}

TZarvHLine::TZarvHLine(TComponent* owner) : TZarvLine(owner)
{
    SetHeight(0);
}

void TZarvHLine::PipSize(TZarvPip& pip)
{
    TZarvPoint fixed;
    TZarvPoint moved;
    DraggedEnds(pip, fixed, moved);
    moved.Y = fixed.Y; // along the line only
    DragEnds(pip, fixed, moved);
}

bool TZarvHLine::IsSelectPoint(const TZarvPoint& point) const
{
    return Within(point.X, GetPageLeft(), GetPageRight()) &&
           std::abs(YI2D(point.Y) - YI2D(GetPageTop())) <= 3 && ParentAllowsSelect();
}

void TZarvHLine::ModifyRect(TPoint& p1, TPoint& p2) const
{
    p2.Y = p1.Y;
}

void TZarvHLine::ModifyZarvRect(TZarvPoint& p1, TZarvPoint& p2) const
{
    p2.Y = p1.Y;
}

TZarvVLine::TZarvVLine(TComponent* owner) : TZarvLine(owner)
{
    SetWidth(0);
}

void TZarvVLine::PipSize(TZarvPip& pip)
{
    TZarvPoint fixed;
    TZarvPoint moved;
    DraggedEnds(pip, fixed, moved);
    moved.X = fixed.X; // along the line only
    // The top end is the start: ends that cross trade roles.
    if (moved.Y < fixed.Y)
        SetSize(moved, fixed);
    else
        SetSize(fixed, moved);
    SwitchDraggedPip(pip, moved);
}

bool TZarvVLine::IsSelectPoint(const TZarvPoint& point) const
{
    return Within(point.Y, GetPageTop(), GetPageBottom()) &&
           std::abs(XI2D(point.X) - XI2D(GetPageLeft())) <= 3 && ParentAllowsSelect();
}

void TZarvVLine::ModifyRect(TPoint& p1, TPoint& p2) const
{
    p2.X = p1.X;
}

void TZarvVLine::ModifyZarvRect(TZarvPoint& p1, TZarvPoint& p2) const
{
    p2.X = p1.X;
}

// ---------------------------------------------------------------------------
// Closed figures.

TZarvSurface::TZarvSurface(TComponent* owner)
    : TZarvGraphicBase(owner), FFillBrush(std::make_unique<TBrush>())
{
    GraphicPen().SetColor(clBlack);
    FFillBrush->SetColor(clWhite);
}

TZarvSurface::~TZarvSurface() = default;

void TZarvSurface::SetBackColor(TColor value)
{
    FFillBrush->SetColor(value);
    Invalidate();
}

TColor TZarvSurface::GetBackColor() const
{
    return FFillBrush->Color();
}

void TZarvSurface::SetFillStyle(TZarvFillStyle value)
{
    FFillStyle = value;
    // The first eight fill styles are the brush styles in the same order.
    FFillBrush->SetStyle(value == TZarvFillStyle::fsNone ? TBrushStyle::bsClear : TBrushStyle(value));
    Invalidate();
}

TZarvFillStyle TZarvSurface::GetFillStyle() const
{
    return FFillStyle;
}

void TZarvSurface::SetupBrush(TBaseReport* report) const
{
    report->SetBrush(FFillBrush->Color(), FFillBrush->Style(), nullptr);
}

TRect TZarvSurface::PaintSetup(TCanvas& canvas) const
{
    int farInset = 0;
    int nearInset = 0;
    SetupPen(canvas, farInset, nearInset);
    canvas.SetBrush(FFillBrush.get());
    const TRect box = DesignerRect();
    return TRect{box.Left + nearInset, box.Top + nearInset, box.Right - farInset, box.Bottom - farInset};
}

TZarvRectangle::TZarvRectangle(TComponent* owner) : TZarvSurface(owner)
{
    SetBoundsRect(ZarvRect(0, 0, 2.0, 1.0));
}

void TZarvRectangle::SetHRadius(double value)
{
    FHRadius = value;
    Invalidate();
}

void TZarvRectangle::SetVRadius(double value)
{
    FVRadius = value;
    Invalidate();
}

void TZarvRectangle::Print(TBaseReport* report)
{
    if (!report || !AllowPrint())
        return;
    SetupPen(report);
    SetupBrush(report);
    if (FHRadius != 0 && FVRadius != 0)
        report->RoundRect(GetPageLeft(), GetPageTop(), GetPageRight(), GetPageBottom(), 2 * FHRadius,
                          2 * FVRadius);
    else
        report->Rectangle(GetPageLeft(), GetPageTop(), GetPageRight(), GetPageBottom());
}

void TZarvRectangle::PaintSelf(TCanvas& canvas)
{
    const TRect r = PaintSetup(canvas);
    if (FHRadius != 0 && FVRadius != 0)
        canvas.RoundRect(r.Left, r.Top, r.Right, r.Bottom, XI2DLength(2 * FHRadius),
                         YI2DLength(2 * FVRadius));
    else
        canvas.Rectangle(r.Left, r.Top, r.Right, r.Bottom);
}

TZarvSquare::TZarvSquare(TComponent* owner) : TZarvRectangle(owner)
{
    SetBoundsRect(ZarvRect(0, 0, 1.0, 1.0));
}

void TZarvSquare::CreatePips()
{
    AddPipsAt({0, 2, 5, 7});
}

void TZarvSquare::UpdatePips()
{
    UpdatePipsAt({0, 2, 5, 7});
}

void TZarvSquare::ModifyRect(TPoint& p1, TPoint& p2) const
{
    EqualSides(p1, p2, true);
}

void TZarvSquare::ModifyZarvRect(TZarvPoint& p1, TZarvPoint& p2) const
{
    EqualSides(p1, p2, false);
}

TZarvEllipse::TZarvEllipse(TComponent* owner) : TZarvSurface(owner)
{
    SetBoundsRect(ZarvRect(0, 0, 2.0, 1.0));
}

void TZarvEllipse::Print(TBaseReport* report)
{
    if (!report || !AllowPrint())
        return;
    SetupPen(report);
    SetupBrush(report);
    report->Ellipse(GetPageLeft(), GetPageTop(), GetPageRight(), GetPageBottom());
}

void TZarvEllipse::PaintSelf(TCanvas& canvas)
{
    const TRect r = PaintSetup(canvas);
    canvas.Ellipse(r.Left, r.Top, r.Right, r.Bottom);
}

TZarvCircle::TZarvCircle(TComponent* owner) : TZarvEllipse(owner)
{
    SetBoundsRect(ZarvRect(0, 0, 1.0, 1.0));
}

void TZarvCircle::CreatePips()
{
    AddPipsAt({0, 2, 5, 7});
}

void TZarvCircle::UpdatePips()
{
    UpdatePipsAt({0, 2, 5, 7});
}

void TZarvCircle::ModifyRect(TPoint& p1, TPoint& p2) const
{
    EqualSides(p1, p2, true);
}

void TZarvCircle::ModifyZarvRect(TZarvPoint& p1, TZarvPoint& p2) const
{
    EqualSides(p1, p2, false);
}
