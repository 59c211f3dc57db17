#pragma once
// A designer for tests of the report model's designer support. It shows one
// page at a fixed scale (designer pixels per inch, the page's top left corner
// at pixel 0, 0), records the handle calls it gets as text, counts repaints,
// and is the current designer and the page's designer while it lives.
//
// Recorded lines: "Add <control> <index> <cursor> <x> <y>",
// "Update <control> <index> <x> <y>", "Switch <control> <index1> <index2>";
// places in inches as QString::number writes them.
#include "report/model/ZvClass.h"
#include "report/model/ZvDefine.h"
#include "report/model/ZvItem.h"

#include <QStringList>

#include <cmath>

class DesignerStandIn : public TZarvDesigner {
public:
    explicit DesignerStandIn(TZarvPage* page, int pixelsPerInch = 100) : FPage(page), FScale(pixelsPerInch)
    {
        if (FPage)
            FPage->SetDesigner(this);
        CurrentDesigner = this;
    }
    ~DesignerStandIn() override
    {
        if (FPage)
            FPage->SetDesigner(nullptr);
        if (CurrentDesigner == this)
            CurrentDesigner = nullptr;
    }
    DesignerStandIn(const DesignerStandIn&) = delete;
    DesignerStandIn& operator=(const DesignerStandIn&) = delete;

    TZarvComponent* Page() const override { return FPage; }
    void Repaint() override { ++Repaints; }
    int XI2D(double value) const override { return int(std::lround(value * FScale)); }
    int YI2D(double value) const override { return int(std::lround(value * FScale)); }
    double XD2I(int value) const override { return double(value) / FScale; }
    double YD2I(int value) const override { return double(value) / FScale; }

    void AddPip(int index, TZarvComponent* control, int cursor, double x, double y) override
    {
        Calls << QStringLiteral("Add %1 %2 %3 %4 %5")
                     .arg(control->Name())
                     .arg(index)
                     .arg(cursor)
                     .arg(QString::number(x), QString::number(y));
    }
    void UpdatePip(int index, TZarvComponent* control, double x, double y) override
    {
        Calls << QStringLiteral("Update %1 %2 %3 %4")
                     .arg(control->Name())
                     .arg(index)
                     .arg(QString::number(x), QString::number(y));
    }
    void SwitchPips(TZarvComponent* control, int index1, int index2) override
    {
        Calls << QStringLiteral("Switch %1 %2 %3").arg(control->Name()).arg(index1).arg(index2);
    }

    QStringList Calls;
    int Repaints = 0;

private:
    TZarvPage* FPage;
    int FScale; // designer pixels per inch
};
