// Pictures of the windows for looking at them: with TESSVAR_SCREENSHOTS set
// to a folder, each tab of the main window and each small window is grabbed
// to a PNG file there (run under xvfb-run with QT_QPA_PLATFORM=xcb, and with
// QT_SCALE_FACTOR=1.5 for the large-text check). Skipped otherwise.
#include "tests/app/AppFixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QPixmap>
#include <QWidget>

namespace {

using Screenshots = AppTest;

void Grab(TCustomForm* window, const QString& file)
{
    QCoreApplication::processEvents();
    EXPECT_TRUE(window->Widget()->grab().save(file)) << file.toStdString();
}

TEST_F(Screenshots, OfEveryTabAndWindow)
{
    const QString folder = qEnvironmentVariable("TESSVAR_SCREENSHOTS");
    if (folder.isEmpty())
        GTEST_SKIP() << "TESSVAR_SCREENSHOTS is not set";
    QDir().mkpath(folder);
    StartProgram();
    Type(fTessvar->eTD, "10");
    Type(fTessvar->eCP, "1.5");
    Type(fTessvar->eAD, "0.866");
    Type(fTessvar->eRead, "10.325");
    ClickButton(fTessvar->Button1);
    ClickButton(fTessvar->bFiloTeor);
    Type(fTessvar->eStart, "1");
    Type(fTessvar->eStartT, "100");
    Type(fTessvar->eStartA, "30.5");
    fTessvar->cEndA->SetItemIndex(1);
    Type(fTessvar->eStartA, "30.5");
    Type(fTessvar->eLung1, "100");
    Type(fTessvar->eTemp1, "30");
    const char* names[] = {"tolerance", "measures", "unit", "tools"};
    for (int page = 0; page < 4; ++page) {
        PickTab(fTessvar->pTab, page);
        Grab(fTessvar, folder + QStringLiteral("/main-%1.png").arg(QLatin1String(names[page])));
    }
    PickTab(fTessvar->pTab, 1);
    fTessvar->pTab->SetActivePageIndex(0); // a gauge with both sides copied in
    fTessvar->lTP->Show();
    fTessvar->lTNP->Show();
    fTessvar->pTab->SetActivePageIndex(1);
    PickTab(fTessvar->pcConvert, 1);
    Grab(fTessvar, folder + QStringLiteral("/main-measures-arms.png"));
    // The T-sphere over a reading its sphere cannot give: no result (the
    // message was answered); the thermal tool at -250 °C after Calculate.
    PickTab(fTessvar->pcConvert, 2);
    Type(fTessvar->eAD, "1");
    Type(fTessvar->eRead, "1.2");
    ClickButton(fTessvar->Button1);
    Grab(fTessvar, folder + QStringLiteral("/main-measures-sphere-refused.png"));
    Type(fTessvar->eTemp1, "-250");
    ClickButton(fTessvar->bCalc1);
    PickTab(fTessvar->pTab, 3);
    Grab(fTessvar, folder + QStringLiteral("/main-tools-minus250.png"));

    fIsoguide->Show();
    Grab(fIsoguide, folder + QStringLiteral("/isoguide.png"));
    fIsoguide->Hide();
    fQfili->Show();
    Grab(fQfili, folder + QStringLiteral("/qfili.png"));
    fQfili->Hide();
    fplvZero->Show();
    Grab(fplvZero, folder + QStringLiteral("/plvzero.png"));
    fplvZero->Hide();
}

} // namespace
