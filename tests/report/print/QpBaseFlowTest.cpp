// The canvas's run, pages, status line, macros, lines, columns and saved
// positions.
#include "tests/report/print/RecordingReport.h"

#include "platform/rtl/DateTime.h"

#include <QDateTime>

#include <climits>

namespace {

using FlowTest = RecordingTest;

QString Message(const std::function<void()>& call)
{
    try {
        call();
    } catch (const Exception& e) {
        return e.Message();
    }
    return QStringLiteral("<no error>");
}

TEST_F(FlowTest, PageSelectionsPickPagesByNumberRangeAndKeyword)
{
    struct Row {
        int line;
        const char16_t* selection;
        const char16_t* selected; // of pages 1 to 12
    };
    // The examples are those the page-selection rules give for the canvas.
    const Row rows[] = {
        {1, u"1,3,5-7", u"1,3,5,6,7"},
        {2, u"-3", u"1,2,3"},
        {3, u"10-", u"10,11,12"},
        {4, u"odd", u"1,3,5,7,9,11"},
        {5, u"E", u"2,4,6,8,10,12"},
        {6, u"2,4", u"2,4"}, // FirstPage 3 and LastPage 3 do not matter
        {7, u"All", u"1,2,3,4,5,6,7,8,9,10,11,12"},
        {8, u"r", u""},
        {9, u"", u"3"}, // no selection: FirstPage to LastPage
        {10, u"12-11", u""},
    };
    for (const Row& row : rows) {
        RecordingReport report(&device);
        report.SetFirstPage(3);
        report.SetLastPage(3);
        report.SetSelection(QString::fromUtf16(row.selection));
        QStringList pages;
        for (int page = 1; page <= 12; ++page)
            if (report.PageInSelection(page))
                pages.append(QString::number(page));
        EXPECT_EQ(pages.join(u','), QString::fromUtf16(row.selected)) << "row " << row.line;
    }
    RecordingReport report(&device);
    report.SetSelection(QStringLiteral("1,x"));
    EXPECT_TRUE(report.PageInSelection(1)); // decided before the bad token is read
    EXPECT_THROW(report.PageInSelection(2), EConvertError);
}

TEST_F(FlowTest, StatusLineReplacesItsCodesAndLetsEventsRun)
{
    RecordingReport report(&device);
    TComponent label(nullptr);
    QString shown;
    int processed = 0;
    ReportUiHooks().ShowStatus = [&](TComponent* target, const QString& text) {
        EXPECT_EQ(target, &label);
        shown = text;
    };
    ReportUiHooks().ProcessMessages = [&] { ++processed; };
    report.UpdateStatus(); // no label: nothing shown
    EXPECT_EQ(processed, 0);

    report.SetStatusLabel(&label);
    report.Begin();
    report.NewPage();
    report.NewPage();
    EXPECT_EQ(shown, "Printing page 3"); // the default format, written by NewPage
    report.SetFirstPage(2);
    report.SetLastPage(9);
    report.StatusText().Add(QStringLiteral("zero"));
    report.StatusText().Add(QStringLiteral("one"));
    struct Row {
        int line;
        const char16_t* format;
        QString expected;
    };
    const Row rows[] = {
        {1, u"50%", QStringLiteral("50%")}, // a "%" that ends the format stays
        {2, u"%%P of %p", QStringLiteral("%P of 3")},
        {3, u"%0|%1|%2", QStringLiteral("zero|one|")},
        {4, u"%F-%L %C/%S", QStringLiteral("2-9 1/1")},
        {5, u"a%Nb", QStringLiteral("a\rb")},
        {6, u"%q", QStringLiteral("<ERROR-%Q>")},
        {7, u"%D|%R|%T", report.DeviceName() + u'|' + report.DriverName() + u'|' + report.Port()},
    };
    for (const Row& row : rows) {
        report.SetStatusFormat(QString::fromUtf16(row.format));
        report.UpdateStatus();
        EXPECT_EQ(shown, row.expected) << "row " << row.line;
    }
    const int before = processed;
    report.SetThreaded(true);
    report.UpdateStatus();
    EXPECT_EQ(processed, before); // a threaded run processes no events
    report.Finish();
    ReportUiHooks() = TReportUiHooks();
}

TEST_F(FlowTest, MacrosAreDeferredOnlyInTheSnapshotWriter)
{
    RecordingReport report(&device);
    report.Begin();
    report.NewPage();
    report.NewPage();
    report.SetPageNumOffset(10);
    report.Mode = 2;
    EXPECT_EQ(report.Macro(TMacroID::midCurrentPage), QChar(253) + QStringLiteral("$QPCM11"));
    EXPECT_EQ(report.Macro(TMacroID::midCurrDateShort), QChar(253) + QStringLiteral("$QPCM00"));
    EXPECT_EQ(report.Macro(TMacroID::midRelativePage), "13"); // never deferred
    report.Mode = 0;
    EXPECT_EQ(report.Macro(TMacroID::midCurrentPage), "3");
    EXPECT_EQ(report.Macro(TMacroID::midTotalPages), "9999");
    report.MacroData().Add(QStringLiteral("first"));
    report.MacroData().Add(QStringLiteral("second"));
    EXPECT_EQ(report.Macro(TMacroID::midUser02), "second");
    EXPECT_EQ(report.Macro(TMacroID::midUser20), "");

    DateFormatSettings().DateSeparator = u'/';
    DateFormatSettings().TimeSeparator = u':';
    report.SetReportDateTime(QDateTime(QDate(2024, 3, 5), QTime(14, 7)));
    EXPECT_EQ(report.Macro(TMacroID::midCurrDateUS), "03/05/24");
    EXPECT_EQ(report.Macro(TMacroID::midCurrDateInter), "05/03/24");
    EXPECT_EQ(report.Macro(TMacroID::midCurrTime24), "14:07");
    ResetDateFormatSettings();
    report.Finish();
}

TEST_F(FlowTest, LineHeightFollowsTheMethod)
{
    RecordingReport report(&device);
    report.Start(); // the default font: 10 points
    report.ResetLineHeight();
    EXPECT_DOUBLE_EQ(report.LineHeight(), 1.0 / 6); // 10 / 60 inch
    report.SetLineHeightMethod(TLineHeightMethod::lhmLinesPerInch);
    report.SetLinesPerInch(8);
    EXPECT_DOUBLE_EQ(report.LineHeight(), 0.125);
    report.SetLinesPerInch(0); // ignored
    EXPECT_EQ(report.LinesPerInch(), 8);
    report.SetUnits(TPrintUnits::unPoint);
    report.SetLineHeight(18);
    EXPECT_EQ(report.LineHeightMethod(), TLineHeightMethod::lhmUser);
    report.ResetLineHeight();
    EXPECT_DOUBLE_EQ(report.LineHeight(), 18);
    report.Finish();
}

TEST_F(FlowTest, LinesMoveDownAndColumnsTakeOverWhenThePageIsFull)
{
    RecordingReport report(&device);
    report.SetMarginTop(1);
    report.SetMarginBottom(0.9); // section 1 to 10.1 inches
    report.Begin();
    report.SetLineHeightMethod(TLineHeightMethod::lhmLinesPerInch);
    report.SetLinesPerInch(4); // lines of 0.25 inch
    report.Home();
    int newColumns = 0;
    int endsOfSection = 0;
    report.OnNewColumn = [&](TObject*) { ++newColumns; };
    report.OnEndOfSection = [&](TObject*) { ++endsOfSection; };
    EXPECT_NEAR(report.LineBottom(), 1.25, 1e-12); // line 1
    report.SetXPos(4);
    report.NewLine();
    EXPECT_EQ(report.LineNum(), 2);
    EXPECT_EQ(report.XPos(), 0);
    EXPECT_NEAR(report.LineTop(), 1.25, 1e-12);
    EXPECT_EQ(report.LinesLeft(), 35); // Trunc((10.1 - 1.5) / 0.25) + 1
    // A font bottom exactly on the section bottom leaves that one line.
    report.SetFontBottom(10.1);
    EXPECT_EQ(report.LinesLeft(), 1);
    report.SetFontBottom(10.11);
    EXPECT_EQ(report.LinesLeft(), 0);

    report.SetColumns(2, 0.5);
    EXPECT_EQ(newColumns, 1);
    EXPECT_DOUBLE_EQ(report.ColumnWidth(), 4.0); // (8.5 + 0.5) / 2 - 0.5
    report.SetFontBottom(10.1);
    EXPECT_EQ(report.ColumnLinesLeft(), 1 + 36); // and Trunc(9.1 / 0.25) in column 2
    report.SoftLine();                           // one line left: the top of column 2, not a new line
    EXPECT_EQ(report.ColumnNum(), 2);
    EXPECT_EQ(report.LineNum(), 1);
    EXPECT_EQ(newColumns, 2);
    EXPECT_DOUBLE_EQ(report.XPos(), 4.5);
    EXPECT_DOUBLE_EQ(report.ColumnStart(), 4.5);
    EXPECT_DOUBLE_EQ(report.ColumnEnd(), 8.5);
    // In the last column a full page ends the section; SoftLine starts no
    // page.
    report.SetFontBottom(10.1);
    EXPECT_EQ(endsOfSection, 0);
    report.SoftLine();
    EXPECT_EQ(endsOfSection, 1);
    EXPECT_EQ(report.CurrentPage(), 1);
    report.NewColumn(); // the last column: a new page
    EXPECT_EQ(report.CurrentPage(), 2);
    EXPECT_EQ(report.ColumnNum(), 1);
    report.Finish();
}

TEST_F(FlowTest, ColumnAndLineCountsStayDefinedForDegenerateSizes)
{
    RecordingReport report(&device);
    report.Begin();
    // Columns wider than the section: still one column.
    report.SetColumnWidth(20, 0);
    EXPECT_EQ(report.Columns(), 1);
    report.SetColumnWidth(2, 0.5); // 8.5 / 2.5
    EXPECT_EQ(report.Columns(), 3);
    report.SetColumns(-4, 0);
    EXPECT_EQ(report.Columns(), 1);
    // A user line height of 0 holds any number of lines, without a fault.
    report.SetLineHeight(0);
    EXPECT_GT(report.LinesLeft(), 1000000);
    report.SetColumns(3, 0);
    EXPECT_EQ(report.ColumnLinesLeft(), INT_MAX);
    report.Finish();
}

TEST_F(FlowTest, ExecuteRunsPagesAndAlwaysFinishes)
{
    RecordingReport report(&device);
    QList<int> pages;
    report.OnPrintPage = [&](TObject*, int& page) {
        pages.append(page);
        return page < 3;
    };
    report.Execute();
    EXPECT_EQ(pages, (QList<int>{1, 2, 3}));
    EXPECT_EQ(report.Calls.last(), "Finish");
    EXPECT_FALSE(report.Printing());

    report.Calls.clear();
    report.OnPrint = [](TObject*) { throw EConvertError(QStringLiteral("bad")); };
    EXPECT_EQ(Message([&] { report.Execute(); }), "bad");
    EXPECT_EQ(report.Calls, QStringList{QStringLiteral("Finish")});

    // An abort ends the page loop.
    RecordingReport aborted(&device);
    aborted.OnPrintPage = [&](TObject*, int&) {
        aborted.Abort();
        return true;
    };
    aborted.Execute();
    EXPECT_EQ(aborted.CurrentPage(), 1);
}

TEST_F(FlowTest, EndPageHandlersRunNewestFirst)
{
    RecordingReport report(&device);
    QStringList order;
    const int a = 0;
    const int b = 0;
    report.AddReportEvent(TReportEventType::reEndPage, &a, QStringLiteral("A"),
                          [&](TObject*) { order.append(QStringLiteral("A")); });
    report.AddReportEvent(TReportEventType::reEndPage, &b, QStringLiteral("B"),
                          [&](TObject*) { order.append(QStringLiteral("B")); });
    report.AddReportEvent(TReportEventType::reBeginPage, &a, QStringLiteral("A"),
                          [&](TObject*) { order.append(QStringLiteral("begin")); });
    report.Begin();
    report.EndPage();
    EXPECT_EQ(order, (QStringList{QStringLiteral("begin"), QStringLiteral("B"), QStringLiteral("A")}));
    report.RemoveReportEvent(TReportEventType::reEndPage, &a, QStringLiteral("A"));
    report.RemoveReportEvent(TReportEventType::reEndPage, &a, QStringLiteral("absent"));
    order.clear();
    report.EndPage();
    EXPECT_EQ(order, QStringList{QStringLiteral("B")});
    report.Finish();
}

TEST_F(FlowTest, PagesOutsideTheSelectionAndAbortedPagesPrintNothing)
{
    RecordingReport report(&device);
    EXPECT_EQ(Message([&] { report.NewPage(); }), "Invalid method call.  Sheetcaster is not printing.");
    EXPECT_EQ(Message([&] { report.AbortPage(); }), "Invalid method call.  Sheetcaster is not printing.");
    report.SetSelection(QStringLiteral("2"));
    report.Begin();
    EXPECT_TRUE(report.PageInvalid());
    report.PrintLeft(QStringLiteral("one"), 1);
    report.NewPage();
    report.SetOriginX(2);
    EXPECT_FALSE(report.PageInvalid());
    report.PrintLeft(QStringLiteral("two"), 1);
    report.AbortPage();
    EXPECT_EQ(report.CurrentPage(), 1); // page 2 is given back
    report.AbortPage();                 // already invalid: no change
    EXPECT_EQ(report.CurrentPage(), 1);
    report.NewPage();
    EXPECT_EQ(report.CurrentPage(), 2);
    EXPECT_EQ(report.OriginX(), 0);
    EXPECT_EQ(report.Calls, QStringList{QStringLiteral("Left \"two\" 1")});

    // Output modes outside the valid destinations are skipped.
    report.AllowPreviewOnly();
    EXPECT_TRUE(report.OutputInvalid());
    report.Mode = 1;
    EXPECT_FALSE(report.OutputInvalid());
    report.AllowPrinterOnly();
    EXPECT_TRUE(report.OutputInvalid());
    report.AllowAll();
    EXPECT_FALSE(report.OutputInvalid());
    report.Mode = 8;
    EXPECT_TRUE(report.OutputInvalid());
    report.Mode = 0;

    report.Abort();
    EXPECT_THROW(report.NewPage(), EAbort);
    EXPECT_THROW(report.PrintLeft(QStringLiteral("x"), 1), EAbort);
    report.Finish();
}

} // namespace
