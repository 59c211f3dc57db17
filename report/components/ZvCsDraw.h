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
// For a designer (none runs in this program) the shapes paint themselves on
// a canvas in designer pixels, hit-test and size themselves as pure geometry:
// a line keeps its direction while an end is dragged, horizontal and vertical
// lines stay straight, squares and circles keep equal sides.
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
    // Sets a designer canvas's pen (a width in points converted to designer
    // pixels, at least 1). The insets, in designer pixels, keep a closed
    // figure's outline inside its box: nearInset from the left and top
    // edges, farInset from the right and bottom ones.
    void SetupPen(TCanvas& canvas, int& farInset, int& nearInset) const;

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
    void PaintSelf(TCanvas& canvas) override;

    // The line's ends on the page, inches: the start is the left end (the
    // top-left corner of the box, with NESW the bottom-left one).
    TZarvPoint StartPoint() const;
    TZarvPoint EndPoint() const;

    // Two handles, 0 at the start and 1 at the end.
    void CreatePips() override;
    void UpdatePips() override;
    // Moves the dragged end; the other stays. Dragged past the other end in
    // X the ends trade roles and so do the handles; the line's direction
    // (NESW) follows the two points.
    void PipSize(TZarvPip& pip) override;
    // Near the line: less than 3 designer pixels from the foot of the
    // perpendicular, the foot within the box.
    bool IsSelectPoint(const TZarvPoint& point) const override;
    // The line itself crosses or lies in the rectangle (a line without width
    // or height: its box meets the rectangle).
    bool InSelectRect(const TZarvRect& rect) const override;
    // Takes the two points as the line's ends: the left one is the start.
    void SetSize(TZarvPoint p1, TZarvPoint p2) override;

protected:
    // The ends of a drag, relative to the parent: the end opposite the
    // handle as it was when the drag began, and the handle's new place.
    void DraggedEnds(const TZarvPip& pip, TZarvPoint& fixed, TZarvPoint& moved) const;
    // Takes fixed and moved as the line's ends, in the order of the dragged
    // handle (moved first for the start handle), then SwitchDraggedPip.
    void DragEnds(TZarvPip& pip, const TZarvPoint& fixed, const TZarvPoint& moved);
    // After the drag's SetSize: when the dragged end changed between start
    // and end, the page's handles trade numbers.
    void SwitchDraggedPip(const TZarvPip& pip, const TZarvPoint& moved);

private:
    bool FNESW = false;
};

// A line that stays horizontal: both ends keep the first end's Y.
class TZarvHLine : public TZarvLine {
public:
    explicit TZarvHLine(TComponent* owner);

    void PipSize(TZarvPip& pip) override;
    // Within the line's extent, at most 3 designer pixels above or below.
    bool IsSelectPoint(const TZarvPoint& point) const override;
    void ModifyRect(TPoint& p1, TPoint& p2) const override;
    void ModifyZarvRect(TZarvPoint& p1, TZarvPoint& p2) const override;
};

// A line that stays vertical: both ends keep the first end's X; the top end
// is the start.
class TZarvVLine : public TZarvLine {
public:
    explicit TZarvVLine(TComponent* owner);

    void PipSize(TZarvPip& pip) override;
    bool IsSelectPoint(const TZarvPoint& point) const override;
    void ModifyRect(TPoint& p1, TPoint& p2) const override;
    void ModifyZarvRect(TZarvPoint& p1, TZarvPoint& p2) const override;
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
    // The figure's box on a designer canvas with the pen and brush set up,
    // inset so that the outline stays inside it.
    TRect PaintSetup(TCanvas& canvas) const;

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
    void PaintSelf(TCanvas& canvas) override;

private:
    double FHRadius = 0;
    double FVRadius = 0;
};

// Squares and circles keep equal sides: drawn in designer pixels the longer
// side is cut to the shorter, sized in inches the shorter grows to the
// longer; the direction of each side is kept. Only the four corner handles
// (0, 2, 5, 7) size them.
class TZarvSquare : public TZarvRectangle {
public:
    explicit TZarvSquare(TComponent* owner);

    void CreatePips() override;
    void UpdatePips() override;
    void ModifyRect(TPoint& p1, TPoint& p2) const override;
    void ModifyZarvRect(TZarvPoint& p1, TZarvPoint& p2) const override;
};

class TZarvEllipse : public TZarvSurface {
public:
    explicit TZarvEllipse(TComponent* owner);

    void Print(TBaseReport* report) override;
    void PaintSelf(TCanvas& canvas) override;
};

class TZarvCircle : public TZarvEllipse {
public:
    explicit TZarvCircle(TComponent* owner);

    void CreatePips() override;
    void UpdatePips() override;
    void ModifyRect(TPoint& p1, TPoint& p2) const override;
    void ModifyZarvRect(TZarvPoint& p1, TZarvPoint& p2) const override;
};
