#include "report/components/ZvCsDraw.h"

#include "platform/objects/ClassRegistry.h"
#include "report/components/ComponentTypes_p.h"
#include "report/model/ZvDefine.h"
#include "report/print/QpBase.h"
#include "report/print/QpDefine.h"

#include <cmath>

namespace {

// Rounds as the report canvas expects widths: halves to the even neighbour.
int RoundWidth(double value)
{
    return int(std::nearbyint(value));
}

// Left, Top, Width and Height of every shape.
void PublishBox(TClassInfo& info)
{
    PublishProperty(info, QStringLiteral("Height"), ZarvUnitsType(), &TZarvControl::GetHeight,
                    &TZarvControl::SetHeight);
    PublishProperty(info, QStringLiteral("Left"), ZarvUnitsType(), &TZarvControl::GetLeft,
                    &TZarvControl::SetLeft);
    PublishProperty(info, QStringLiteral("Top"), ZarvUnitsType(), &TZarvControl::GetTop,
                    &TZarvControl::SetTop);
    PublishProperty(info, QStringLiteral("Width"), ZarvUnitsType(), &TZarvControl::GetWidth,
                    &TZarvControl::SetWidth);
}

void PublishLine(TClassInfo& info)
{
    PublishProperty(info, QStringLiteral("Color"), ZarvColorType(), &TZarvControl::GetForeColor,
                    &TZarvControl::SetForeColor)
        .WithDefault(clBlack);
    PublishProperty(info, QStringLiteral("Cursor"), ZarvCursorType(), &TZarvControl::Cursor,
                    &TZarvControl::SetCursor);
    PublishBox(info);
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
    PublishBox(info);
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
    if (FNESW) {
        report->MoveTo(GetPageLeft(), GetPageBottom());
        report->LineTo(GetPageRight(), GetPageTop());
    } else {
        report->MoveTo(GetPageLeft(), GetPageTop());
        report->LineTo(GetPageRight(), GetPageBottom());
    }
}

TZarvHLine::TZarvHLine(TComponent* owner) : TZarvLine(owner)
{
    SetHeight(0);
}

TZarvVLine::TZarvVLine(TComponent* owner) : TZarvLine(owner)
{
    SetWidth(0);
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

TZarvSquare::TZarvSquare(TComponent* owner) : TZarvRectangle(owner)
{
    SetBoundsRect(ZarvRect(0, 0, 1.0, 1.0));
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

TZarvCircle::TZarvCircle(TComponent* owner) : TZarvEllipse(owner)
{
    SetBoundsRect(ZarvRect(0, 0, 1.0, 1.0));
}
