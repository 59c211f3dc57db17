#pragma once
// ZvCsDraw: the shape components of a report page: a free line (either
// diagonal of its box), horizontal and vertical lines, rectangles with
// optional rounded corners, squares, ellipses and circles.
//
// Each keeps its box in inches (the control's rectangle), a pen (colour,
// style, mode) with a width in pixels or points, and, for closed figures, a
// fill brush. Printing sets the report canvas's pen (and brush) and calls one
// drawing operation with the box in page coordinates. A width of 0 draws no
// outline; a width in points reaches the canvas as a negative width in
// ten-thousandths of an inch (minus 10000), which the canvas converts to
// device pixels.
//
// The designer's painting, handles, hit-testing and sizing are not part of
// this program: no designer runs here.
#include "report/model/ZvClass.h"

#include <memory>

// Records the registration procedure of the shape classes under "ZVCL".
// Further calls do nothing.
void RecordDrawingProcs();

class TZarvGraphicBase : public TZarvControl {
public:
    explicit TZarvGraphicBase(TComponent* owner);
    ~TZarvGraphicBase() override;

    void SetForeColor(TColor value) override;
    TColor GetForeColor() const override;
    // A width above 1 pixel, or any width in points, drops a patterned pen
    // style back to psSolid.
    void SetLineWidth(double value) override;
    double GetLineWidth() const override;
    void SetLineWidthType(TLineWidthType value) override;
    TLineWidthType GetLineWidthType() const override;
    void SetLineStyle(TPenStyle value) override;
    TPenStyle GetLineStyle() const override;

    TPen& GraphicPen() const { return *FGraphicPen; }

protected:
    // Sets the report canvas's pen from this shape's pen and width.
    void SetupPen(TBaseReport* report) const;

private:
    void KeepSolidForWideLines();

    double FPenWidth = 1.0; // points or pixels, by FPenWidthType
    TLineWidthType FPenWidthType = TLineWidthType::wtPixels;
    std::unique_ptr<TPen> FGraphicPen;
};

// A line from the box's top-left to its bottom-right corner, or with NESW
// from its bottom-left to its top-right.
class TZarvLine : public TZarvGraphicBase {
public:
    explicit TZarvLine(TComponent* owner);

    bool NESW() const { return FNESW; }
    void SetNESW(bool value);

    void Print(TBaseReport* report) override;

private:
    bool FNESW = false;
};

class TZarvHLine : public TZarvLine {
public:
    explicit TZarvHLine(TComponent* owner);
};

class TZarvVLine : public TZarvLine {
public:
    explicit TZarvVLine(TComponent* owner);
};

// A closed figure with a fill brush.
class TZarvSurface : public TZarvGraphicBase {
public:
    explicit TZarvSurface(TComponent* owner);
    ~TZarvSurface() override;

    void SetBackColor(TColor value) override;
    TColor GetBackColor() const override;
    void SetFillStyle(TZarvFillStyle value) override;
    TZarvFillStyle GetFillStyle() const override;

protected:
    // Sets the report canvas's brush from the fill brush; fsNone fills
    // nothing, as fsClear.
    void SetupBrush(TBaseReport* report) const;

private:
    std::unique_ptr<TBrush> FFillBrush;
    TZarvFillStyle FFillStyle = TZarvFillStyle::fsSolid;
};

class TZarvRectangle : public TZarvSurface {
public:
    explicit TZarvRectangle(TComponent* owner);

    // Corner radii, inches; corners are round only when both are non-zero.
    double HRadius() const { return FHRadius; }
    void SetHRadius(double value);
    double VRadius() const { return FVRadius; }
    void SetVRadius(double value);

    void Print(TBaseReport* report) override;

private:
    double FHRadius = 0;
    double FVRadius = 0;
};

class TZarvSquare : public TZarvRectangle {
public:
    explicit TZarvSquare(TComponent* owner);
};

class TZarvEllipse : public TZarvSurface {
public:
    explicit TZarvEllipse(TComponent* owner);

    void Print(TBaseReport* report) override;
};

class TZarvCircle : public TZarvEllipse {
public:
    explicit TZarvCircle(TComponent* owner);
};
