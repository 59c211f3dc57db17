// Where a window is and how large: the window system's reports of place and
// size (a window manager's maximise, a drag by an edge) are taken as they
// come, in either order, and never written back; the program's own bounds
// still reach the window; centred windows open centred within the screen's
// available area.
//
// Offscreen, a window's frame is 2 px on each side, so the window's place
// (Left, Top, QWidget::pos) is 2 px above and left of its client area; the
// form counts its own frame into Width and Height (8 px wide, 31 px high).
#include "tests/platform/forms/ProbeForm.h"

#include "platform/forms/Menus.h"

#include <QApplication>
#include <QFile>
#include <QMoveEvent>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

// Readable failure messages for places and rectangles.
inline void PrintTo(const QPoint& point, std::ostream* out)
{
    *out << point.x() << ',' << point.y();
}

inline void PrintTo(const QRect& rect, std::ostream* out)
{
    *out << rect.x() << ',' << rect.y() << ' ' << rect.width() << 'x' << rect.height();
}

namespace {

constexpr int kFrameWidth = 8;  // the form's own frame, in px
constexpr int kFrameHeight = 31; // in px

// Every place a window is moved to, as its move events report it.
class TMoveLog : public QObject {
public:
    explicit TMoveLog(QWidget* widget) { widget->installEventFilter(this); }
    std::vector<QPoint> Places;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Move)
            Places.push_back(static_cast<QMoveEvent*>(event)->pos());
        return false;
    }
};

QRect Bounds(const TControl* control)
{
    return QRect(control->Left(), control->Top(), control->Width(), control->Height());
}

class FormsTest : public ::testing::Test {
protected:
    void SetUp() override { RegisterProbeClasses(); }

    // An empty window at 100,100 whose client area is filled by a panel.
    static std::unique_ptr<TfProbe> NewWindow()
    {
        auto form = std::make_unique<TfProbe>(nullptr, QByteArray());
        form->SetBounds(100, 100, 400, 300);
        auto* panel = new TPanel(form.get());
        panel->SetName(QStringLiteral("pnClient"));
        panel->SetParent(form.get());
        panel->SetAlign(TAlign::alClient);
        return form;
    }

    static void ShowAndSettle(TCustomForm* form)
    {
        form->Show();
        QTest::qWait(10);
    }

    // Waits until the window's client area is at the rectangle given (or a
    // second went by), then for what else the window system has queued.
    static void WaitForGeometry(QWidget* widget, const QRect& client)
    {
        EXPECT_TRUE(QTest::qWaitFor([&] { return widget->geometry() == client; }, 1000))
            << "the window stays at " << ::testing::PrintToString(widget->geometry());
        QTest::qWait(10);
    }

    // The form holds the window's place and size, and its panel fills it.
    static void ExpectFormHolds(const TfProbe& form, const QRect& client)
    {
        const QWidget* widget = form.Widget();
        EXPECT_EQ(widget->geometry(), client);
        EXPECT_EQ(widget->windowHandle()->geometry(), client);
        EXPECT_EQ(QPoint(form.Left(), form.Top()), widget->pos());
        EXPECT_EQ(form.Width(), client.width() + kFrameWidth);
        EXPECT_EQ(form.Height(), client.height() + kFrameHeight);
        EXPECT_EQ(Bounds(form.Get<TPanel>("pnClient")), QRect(0, 0, client.width(), client.height()));
    }

    static QRect Available() { return QGuiApplication::primaryScreen()->availableGeometry(); }
};

// The window system reports a change of place and size as a resize, then a
// move (so Qt does offscreen, and so a window manager's maximise reached the
// program under X11): at the resize, the widget has its new size at its old
// place.
TEST_F(FormsTest, AResizeBeforeItsMoveLeavesTheWindowWhereTheWindowSystemPutIt)
{
    auto form = NewWindow();
    QWidget* widget = form->Widget();
    ShowAndSettle(form.get());

    // Moved and resized at once, as by a drag on the window's left edge.
    const QRect dragged(50, 60, 500, 350);
    widget->windowHandle()->setGeometry(dragged);
    WaitForGeometry(widget, dragged);
    ExpectFormHolds(*form, dragged);
    EXPECT_EQ(QPoint(form->Left(), form->Top()), QPoint(48, 58));

    // A state whose frame differs from the normal one (here the full
    // screen, which has none): the resize comes while the frame is already
    // gone, so the place the form held is no longer the window's; writing it
    // back would move the window off the whole screen.
    TMoveLog moves(widget);
    widget->windowHandle()->setWindowState(Qt::WindowFullScreen);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    WaitForGeometry(widget, screen);
    ExpectFormHolds(*form, screen);
    EXPECT_EQ(widget->windowHandle()->windowState(), Qt::WindowFullScreen);
    EXPECT_EQ(moves.Places, std::vector<QPoint>{screen.topLeft()}) << "moved elsewhere on the way";

    // A maximise the program asks for stays, with the maximised rectangle
    // held.
    form->SetWindowState(TWindowState::wsNormal);
    form->SetWindowState(TWindowState::wsMaximized);
    const QRect maximised = Available().adjusted(2, 2, -2, -2);
    WaitForGeometry(widget, maximised);
    ExpectFormHolds(*form, maximised);
    EXPECT_EQ(form->WindowState(), TWindowState::wsMaximized);
}

// The widget's own move and resize events come as a move first, with the
// new place and size both in the widget already.
TEST_F(FormsTest, AMoveBeforeItsResizeLeavesTheWindowWhereTheWindowSystemPutIt)
{
    auto form = NewWindow();
    QWidget* widget = form->Widget();
    ShowAndSettle(form.get());

    const QRect placed(50, 60, 500, 350);
    widget->setGeometry(placed);
    WaitForGeometry(widget, placed);
    ExpectFormHolds(*form, placed);
}

// A drag by one edge changes one side only: the size the window system
// reports is taken whichever side changed.
TEST_F(FormsTest, AWindowResizedInOneDirectionTakesTheNewSize)
{
    auto form = NewWindow();
    QWidget* widget = form->Widget();
    ShowAndSettle(form.get());
    const QRect client = widget->geometry();

    const QRect widened(client.topLeft(), QSize(client.width() + 90, client.height()));
    const QRect heightened(client.topLeft(), QSize(widened.width(), client.height() + 70));
    for (const QRect& dragged : {widened, heightened}) {
        SCOPED_TRACE(::testing::PrintToString(dragged));
        widget->windowHandle()->setGeometry(dragged);
        WaitForGeometry(widget, dragged);
        ExpectFormHolds(*form, dragged);
    }
}

// A window dragged lower than its menu bar: the form counts the menu bar
// into the client height it writes, so writing back would stretch the window
// under the user's drag.
TEST_F(FormsTest, AWindowDraggedLowerThanItsMenuBarStaysAsDragged)
{
    auto form = NewWindow();
    auto* menu = new TMainMenu(form.get());
    auto* item = new TMenuItem(form.get());
    item->SetCaption(QStringLiteral("&File"));
    menu->Items()->Add(item);
    form->SetMenu(menu);
    QWidget* widget = form->Widget();
    ShowAndSettle(form.get());
    const int menuHeight = menu->MenuBar()->height();
    ASSERT_GT(menuHeight, 4);

    const QRect dragged(100, 102, 300, menuHeight - 4);
    widget->windowHandle()->setGeometry(dragged);
    WaitForGeometry(widget, dragged);
    EXPECT_EQ(widget->geometry(), dragged);
    EXPECT_EQ(form->Height(), dragged.height() + kFrameHeight);
    EXPECT_EQ(form->ClientHeight(), 0);
}

// What the program sets reaches the window: the widget answers the form's
// resize with a resize event at the old place, which must not take the old
// place back into the form before the move is written.
TEST_F(FormsTest, ThePlaceAndSizeTheProgramSetsReachTheWindow)
{
    auto form = NewWindow();
    QWidget* widget = form->Widget();
    ShowAndSettle(form.get());

    form->SetBounds(150, 120, 508, 381);
    WaitForGeometry(widget, QRect(152, 122, 500, 350));
    ExpectFormHolds(*form, QRect(152, 122, 500, 350));

    form->SetLeft(30);
    form->SetTop(40);
    form->SetWidth(308);
    form->SetHeight(231);
    WaitForGeometry(widget, QRect(32, 42, 300, 200));
    ExpectFormHolds(*form, QRect(32, 42, 300, 200));
}

// A centred window is centred with the size it opens at (set after it was
// made, as the preview sets its own), within the screen's available area.
TEST_F(FormsTest, ACentredWindowOpensCentredWithItsSizeWithinTheAvailableArea)
{
    const QRect area = Available();
    auto screenCentred = NewWindow();
    screenCentred->SetPosition(TFormPosition::poScreenCenter);
    screenCentred->SetWidth(308);
    screenCentred->SetHeight(231);
    ShowAndSettle(screenCentred.get());
    EXPECT_EQ(Bounds(screenCentred.get()),
              QRect(area.left() + (area.width() - 308) / 2, area.top() + (area.height() - 231) / 2, 308, 231));
    EXPECT_EQ(QPoint(screenCentred->Left(), screenCentred->Top()), screenCentred->Widget()->pos());

    // Centred on an owner near the screen's lower right corner, the window
    // would reach past it: it is kept inside the area.
    auto owner = NewWindow();
    owner->SetBounds(area.right() - 150, area.bottom() - 100, 200, 150);
    ShowAndSettle(owner.get());
    auto* dialog = new TfProbe(owner.get(), QByteArray());
    dialog->SetPosition(TFormPosition::poOwnerFormCenter);
    dialog->SetBounds(0, 0, 308, 231);
    ShowAndSettle(dialog);
    EXPECT_EQ(Bounds(dialog), QRect(area.left() + area.width() - 308, area.top() + area.height() - 231, 308, 231));

    // Taller than the area is wide: centred in the area's height where it
    // fits there (a screen turned upright), else at the area's top.
    auto tall = NewWindow();
    tall->SetPosition(TFormPosition::poScreenCenter);
    tall->SetBounds(0, 0, 308, area.width() + 40);
    ShowAndSettle(tall.get());
    EXPECT_EQ(Bounds(tall.get()),
              QRect(area.left() + (area.width() - 308) / 2,
                    std::max(area.top(), area.top() + (area.height() - tall->Height()) / 2), 308,
                    area.width() + 40));

    // Larger than the area: its top-left corner, with its caption, stays on
    // the screen.
    auto large = NewWindow();
    large->SetPosition(TFormPosition::poDesktopCenter);
    large->SetBounds(0, 0, area.width() + 100, area.height() + 60);
    ShowAndSettle(large.get());
    EXPECT_EQ(QPoint(large->Left(), large->Top()), area.topLeft());
    EXPECT_EQ(QSize(large->Width(), large->Height()), QSize(area.width() + 100, area.height() + 60));
}

// The screen offscreen is square; a centred window is kept within areas wider
// than high and higher than wide too, each in a run of this program on such a
// screen.
TEST_F(FormsTest, ACentredWindowStaysWithinAnAreaOfEitherShape)
{
    if (qEnvironmentVariableIsSet("TESSVAR_SCREEN_RUN"))
        GTEST_SKIP() << "already a run on another screen";
    const QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    for (const QSize& screen : {QSize(1000, 640), QSize(640, 1000)}) {
        SCOPED_TRACE(::testing::PrintToString(QRect(QPoint(), screen)));
        const QString config = folder.filePath(QStringLiteral("screen.json"));
        QFile file(config);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QStringLiteral(R"({"synchronousWindowSystemEvents": false, "windowFrameMargins": true,
"screens": [{"name": "Screen", "x": 0, "y": 0, "width": %1, "height": %2,
"logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})")
                       .arg(screen.width())
                       .arg(screen.height())
                       .toUtf8());
        file.close();
        QProcess run;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"),
                           QStringLiteral("offscreen:configfile=") + config);
        environment.insert(QStringLiteral("TESSVAR_SCREEN_RUN"), QStringLiteral("1"));
        run.setProcessEnvironment(environment);
        run.setProcessChannelMode(QProcess::MergedChannels);
        run.start(
            QCoreApplication::applicationFilePath(),
            {QStringLiteral(
                "--gtest_filter=FormsTest.ACentredWindowOpensCentredWithItsSizeWithinTheAvailableArea")});
        ASSERT_TRUE(run.waitForFinished(60000));
        const QString output = QString::fromLocal8Bit(run.readAll());
        EXPECT_TRUE(run.exitStatus() == QProcess::NormalExit && run.exitCode() == 0 &&
                    output.contains(QStringLiteral("[  PASSED  ] 1 test")))
            << output.toStdString();
    }
}

// Shown again, a centred window opens where the window system left it, at
// the size it had, and is not centred again.
TEST_F(FormsTest, AWindowShownASecondTimeOpensWhereTheWindowSystemLeftIt)
{
    auto form = NewWindow();
    form->SetPosition(TFormPosition::poScreenCenter);
    QWidget* widget = form->Widget();
    ShowAndSettle(form.get());

    const QRect dragged(30, 40, 450, 320);
    widget->windowHandle()->setGeometry(dragged);
    WaitForGeometry(widget, dragged);
    form->Hide();
    QTest::qWait(10);
    TMoveLog moves(widget);
    ShowAndSettle(form.get());
    WaitForGeometry(widget, dragged);
    ExpectFormHolds(*form, dragged);
    for (const QPoint& place : moves.Places)
        EXPECT_EQ(place, QPoint(28, 38));
}

} // namespace
