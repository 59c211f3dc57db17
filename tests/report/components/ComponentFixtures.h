#pragma once
// A project with one report page to put components on, and a canvas that
// records what components draw: text as the canvas tests record it (every
// character 0.1 inch wide at 12 points, 300 dpi), and pens, brushes, figures
// and pictures with their arguments. The paper's unprintable edge can be set.
#include "report/components/QpZarv.h"
#include "report/model/ZvDefine.h"
#include "report/model/ZvProj.h"

#include "tests/report/print/RecordingReport.h"

#include <gtest/gtest.h>

class ComponentCanvas : public RecordingReport {
public:
    explicit ComponentCanvas(FixedAdvanceDevice* device) : RecordingReport(device) { SetNoBufferLine(true); }

    void SetPen(TColor color, TPenStyle style, int width, TPenMode mode) override
    {
        TBaseReport::SetPen(color, style, width, mode);
        Calls << QStringLiteral("Pen %1 %2 %3 %4")
                     .arg(color, 6, 16, QLatin1Char('0'))
                     .arg(int(style))
                     .arg(width)
                     .arg(int(mode));
    }
    void SetBrush(TColor color, TBrushStyle style, const TBitmap* bitmap) override
    {
        TBaseReport::SetBrush(color, style, bitmap);
        Calls << QStringLiteral("Brush %1 %2").arg(color, 6, 16, QLatin1Char('0')).arg(int(style));
    }
    void Rectangle(double x1, double y1, double x2, double y2) override { Figure("Rect", x1, y1, x2, y2); }
    void Ellipse(double x1, double y1, double x2, double y2) override { Figure("Ellipse", x1, y1, x2, y2); }
    void RoundRect(double x1, double y1, double x2, double y2, double x3, double y3) override
    {
        Calls
            << QStringLiteral("RoundRect %1 %2 %3 %4 %5 %6").arg(x1).arg(y1).arg(x2).arg(y2).arg(x3).arg(y3);
    }
    void PrintBitmapRect(double x1, double y1, double x2, double y2, TBitmap*) override
    {
        Figure("Bitmap", x1, y1, x2, y2);
    }
    void StretchDraw(const TRect&, TGraphic*) override { Calls << QStringLiteral("StretchDraw"); }
    // The paper's unprintable edge all round, inches (the device's own
    // waste counts only with a printer installed).
    void SetWaste(double inches) { FLeftWaste = FRightWaste = FTopWaste = FBottomWaste = inches; }

private:
    void Figure(const char* name, double x1, double y1, double x2, double y2)
    {
        Calls << QStringLiteral("%1 %2 %3 %4 %5").arg(QLatin1String(name)).arg(x1).arg(y1).arg(x2).arg(y2);
    }
};

// Report1 with Page1 of a new project, a canvas that runs (page 1 open, a
// 12-point font) and is the project's report canvas.
class ComponentTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RecordReportWriterProcs();
        RunZarvProcs(QStringLiteral("*"));
        Project.New();
        Page = Project.ActiveReport()->LoadedPage(0);
        Project.SetBaseReport(&Canvas);
        Canvas.Begin();
    }
    void TearDown() override { Project.SetBaseReport(nullptr); }

    // A component of class T on the page.
    template <class T> T* Add(const QString& name)
    {
        auto* component = new T(Page);
        component->SetName(name);
        component->SetParent(Page);
        return component;
    }
    // The texts printed, in order (empty ones left out).
    QStringList Texts() const
    {
        QStringList texts;
        for (const QString& call : Canvas.Calls) {
            const QString text = call.section(QLatin1Char('"'), 1, 1);
            if (!text.isEmpty())
                texts << text;
        }
        return texts;
    }

    FixedAdvanceDevice Device;
    ComponentCanvas Canvas{&Device};
    TZarvProjectManager Project{nullptr};
    TZarvPage* Page = nullptr;
};
