#pragma once
// A report of pages of forty ruled table lines, as a long data report
// prints them: three tab boxes with text on each line, a rule under each
// line, a frame round the page and a footer with the page number.
#include "report/print/QpBase.h"

#include <QString>

inline void PrintRuledPages(TBaseReport& w, int pages)
{
    w.SetFont(QStringLiteral("Arial"), 10);
    for (int page = 1; page <= pages; ++page) {
        if (page > 1)
            w.NewPage();
        w.ClearTabs();
        w.SetTab(1, TPrintJustify::pjLeft, 2, 5, 15, 0);
        w.SetTab(-1, TPrintJustify::pjCenter, 2, 5, 15, 10);
        w.SetTab(-1, TPrintJustify::pjRight, 2.5, 5, 15, 0);
        w.Home();
        for (int line = 0; line < 40; ++line) {
            w.Print(
                QStringLiteral("\tItem %1\tM%2x1.5 6g\t%3 mm").arg(line).arg(page % 30 + 3).arg(line * 0.25));
            w.MoveTo(1, w.YPos() + 0.05);
            w.LineTo(7.5, w.YPos() + 0.05);
            w.NewLine();
        }
        w.Rectangle(0.5, 0.5, 8, 10.5);
        w.PrintFooter(QStringLiteral("Page ") + w.Macro(TMacroID::midCurrentPage), TPrintJustify::pjCenter);
    }
}
