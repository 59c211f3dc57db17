#pragma once
// A report canvas whose output operations do nothing: the base of the test
// canvases that only need the canvas's state (pages, units, fonts, tabs) or
// record a few operations of their own.
#include "report/print/QpBase.h"

#include <QString>

#include <vector>

class TSilentReport : public TBaseReport {
public:
    explicit TSilentReport(TComponent* owner) : TBaseReport(owner) {}

    void OutputCenter(const QString&, double) override {}
    void OutputLeft(const QString&, double) override {}
    void OutputRight(const QString&, double) override {}
    void OutputBlock(const QString&, double, double) override {}
    void TabRectangle(double, double, double, double) override {}
    void BrushCopy(const TRect&, TBitmap*, const TRect&, TColor) override {}
    void FloodFill(double, double, TColor, TFillStyle) override {}
    void FrameRect(const TRect&) override {}
    void CopyRect(const TRect&, TCanvas*, const TRect&) override {}
    void FillRect(const TRect&) override {}
    void DrawFocusRect(const TRect&) override {}
    void Arc(double, double, double, double, double, double, double, double) override {}
    void Chord(double, double, double, double, double, double, double, double) override {}
    void Draw(double, double, TGraphic*) override {}
    void Ellipse(double, double, double, double) override {}
    void LineTo(double, double) override {}
    void MoveTo(double, double) override {}
    void Pie(double, double, double, double, double, double, double, double) override {}
    void Polygon(const std::vector<TPoint>&) override {}
    void Polyline(const std::vector<TPoint>&) override {}
    void PrintBitmap(double, double, double, double, TBitmap*) override {}
    void PrintBitmapRect(double, double, double, double, TBitmap*) override {}
    void PrintImageRect(double, double, double, double, TStream*, const QString&) override {}
    void Rectangle(double, double, double, double) override {}
    void RoundRect(double, double, double, double, double, double) override {}
    void StretchDraw(const TRect&, TGraphic*) override {}
    void TextRect(const TRect&, double, double, const QString&) override {}
    void PrintData(const QString&) override {}
    void PrintDataStream(TStream&, int) override {}
    void Start() override {}
    void Finish() override {}
};
