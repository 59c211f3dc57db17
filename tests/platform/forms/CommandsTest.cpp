// Menus, actions, tool bars, status bars and file dialogs read from a form
// stream, the dialog service, the screen cursor and a window shown without
// waiting that blocks the others.
#include "tests/platform/forms/ProbeForm.h"

#include "platform/forms/ActnList.h"
#include "platform/forms/Dialogs.h"
#include "platform/forms/ImgList.h"
#include "platform/forms/Menus.h"
#include "platform/forms/ToolBars.h"

#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QIcon>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

#include <memory>

namespace {

const char* const kCommandsForm = R"(object fProbe: TfProbe
  Caption = 'Commands'
  ClientHeight = 200
  ClientWidth = 300
  Menu = mMain
  object tbBar: TToolBar
    Left = 0
    Top = 0
    Width = 300
    Height = 29
    Images = ilGlyphs
    ParentShowHint = False
    ShowHint = True
    object tbPlain: TToolButton
      Left = 101
      Top = 0
      Caption = 'Plain'
      OnClick = sbCalcClick
    end
    object tbGo: TToolButton
      Left = 0
      Top = 0
      Action = aGo
    end
    object tbSep: TToolButton
      Left = 23
      Top = 0
      Width = 8
      Style = tbsSeparator
    end
    object lbOn: TLabel
      Left = 31
      Top = 0
      Width = 30
      Height = 22
      AutoSize = False
      Caption = 'Page'
    end
    object eOn: TEdit
      Left = 61
      Top = 0
      Width = 40
      Height = 22
      TabOrder = 0
    end
  end
  object pnArea: TPanel
    Left = 0
    Top = 29
    Width = 300
    Height = 152
    Align = alClient
    PopupMenu = pmZoom
    TabOrder = 1
  end
  object sbStatus: TStatusBar
    Left = 0
    Top = 181
    Width = 300
    Height = 19
    SimplePanel = True
    SimpleText = 'Ready'
  end
  object mMain: TMainMenu
    object miFile: TMenuItem
      Caption = '&File'
      object miGo: TMenuItem
        Action = aGo
      end
      object miLine: TMenuItem
        Caption = '-'
      end
      object miFind: TMenuItem
        Caption = '&Find'
        Hint = 'Find it'
        ShortCut = 16454
        OnClick = sbCalcClick
      end
    end
  end
  object pmZoom: TPopupMenu
    object piGo: TMenuItem
      Action = aGo
    end
  end
  object alMain: TActionList
    Images = ilGlyphs
    object aGo: TAction
      Category = 'File'
      Caption = '&Go'
      Hint = 'Go now'
      ImageIndex = 0
      ShortCut = 16463
      OnExecute = bGoClick
      OnUpdate = cFlagClick
    end
  end
  object ilGlyphs: TImageList
  end
  object dOpen: TOpenDialog
    DefaultExt = 'zsf'
    Filter = 'Snap (*.zsf)|*.zsf|All|*.*'
    FilterIndex = 2
    Options = [ofHideReadOnly, ofFileMustExist]
    Title = 'Open File'
  end
end
)";

class Commands : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterProbeClasses();
        Form = std::make_unique<TfProbe>(nullptr, CompiledText(kCommandsForm));
    }

    template <class T> T* Get(const char* name) const { return Form->Get<T>(name); }

    std::unique_ptr<TfProbe> Form;
};

TEST_F(Commands, MenusReadFromTheStream)
{
    auto* menu = Get<TMainMenu>("mMain");
    EXPECT_EQ(Form->Menu(), menu);
    auto* file = Get<TMenuItem>("miFile");
    ASSERT_EQ(menu->Items()->Count(), 1);
    EXPECT_EQ(menu->Items()->Items(0), file);
    ASSERT_EQ(file->Count(), 3);
    EXPECT_TRUE(Get<TMenuItem>("miLine")->IsLine());
    EXPECT_TRUE(Get<TMenuItem>("miLine")->QtAction()->isSeparator());
    // The linked item shows its action; shortcuts are in the framework's
    // encoding (Ctrl = 0x4000 plus the virtual key).
    EXPECT_EQ(Get<TMenuItem>("miGo")->Caption(), "&Go");
    EXPECT_EQ(Get<TMenuItem>("miGo")->QtAction()->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
    EXPECT_EQ(Get<TMenuItem>("miFind")->QtAction()->shortcut(), QKeySequence(QStringLiteral("Ctrl+F")));
    EXPECT_EQ(Get<TMenuItem>("miFind")->Hint(), "Find it");
    EXPECT_EQ(menu->Items()->Find(QStringLiteral("Find")), Get<TMenuItem>("miFind"));
    EXPECT_EQ(Get<TControl>("pnArea")->PopupMenu(), Get<TPopupMenu>("pmZoom"));

    // The menu bar sits above the client area, which keeps its size.
    Form->Show();
    QMenuBar* bar = menu->MenuBar();
    ASSERT_NE(bar, nullptr);
    ASSERT_EQ(bar->actions().size(), 1);
    EXPECT_EQ(bar->actions().at(0)->text(), "&File");
    EXPECT_EQ(Form->ClientHeight(), 200);
    QWidget* area = Get<TControl>("pnArea")->Widget();
    EXPECT_GE(area->mapTo(Form->Widget(), QPoint(0, 0)).y(), bar->height() + 29);
    EXPECT_EQ(Get<TControl>("sbStatus")->Top(), 181);

    Get<TMenuItem>("miFind")->QtAction()->trigger();
    EXPECT_TRUE(Form->Log.contains("sbCalcClick:miFind"));
}

TEST_F(Commands, ActionsDriveTheirMenuItemsAndButtons)
{
    Form->Show();
    auto* go = Get<TAction>("aGo");
    auto* button = Get<TToolButton>("tbGo");
    Get<TMenuItem>("miGo")->Click();
    QTest::mouseClick(button->Widget(), Qt::LeftButton);
    Get<TMenuItem>("piGo")->QtAction()->trigger();
    EXPECT_EQ(Form->Log.filter("bGoClick:aGo").size(), 3);
    EXPECT_EQ(button->Hint(), "Go now");

    go->SetEnabled(false);
    go->SetCaption(QStringLiteral("&Went"));
    EXPECT_FALSE(Get<TMenuItem>("miGo")->Enabled());
    EXPECT_EQ(Get<TMenuItem>("miGo")->Caption(), "&Went");
    EXPECT_FALSE(button->Widget()->isEnabled());
    Get<TMenuItem>("miGo")->Click();
    EXPECT_EQ(Form->Log.filter("bGoClick:aGo").size(), 3);

    // OnUpdate runs while the application waits for events.
    Form->Log.clear();
    QEventLoop loop;
    QTimer::singleShot(30, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_TRUE(Form->Log.contains("cFlagClick:aGo"));
}

// An action's icon is made once per picture: enabling and disabling it
// keeps the icon it has (a new icon every time left its pixmaps behind, a
// few kB per page move in an open preview), and a new picture in the list
// shows at the next change.
TEST_F(Commands, AnActionKeepsItsIconUntilThePictureChanges)
{
    auto* images = Get<TImageList>("ilGlyphs");
    QImage red(16, 16, QImage::Format_ARGB32);
    red.fill(Qt::red);
    images->Add(red);
    auto* go = Get<TAction>("aGo");
    go->SetImageIndex(0);
    const qint64 icon = go->QtAction()->icon().cacheKey();
    EXPECT_FALSE(go->QtAction()->icon().isNull());
    for (int i = 0; i < 10; ++i)
        go->SetEnabled(i % 2 != 0);
    EXPECT_EQ(go->QtAction()->icon().cacheKey(), icon);

    QImage blue(16, 16, QImage::Format_ARGB32);
    blue.fill(Qt::blue);
    images->Clear();
    images->Add(blue);
    go->SetEnabled(false);
    EXPECT_NE(go->QtAction()->icon().cacheKey(), icon);
    EXPECT_EQ(go->QtAction()->icon().pixmap(16, 16).toImage().pixelColor(8, 8), QColor(Qt::blue));
    go->SetImageIndex(-1);
    EXPECT_TRUE(go->QtAction()->icon().isNull());
}

TEST_F(Commands, ToolBarLinesUpItsControls)
{
    Form->Show();
    struct Row {
        const char* Name;
        int Left;
        int Width;
    } rows[] = {{"tbGo", 0, 23}, {"tbSep", 23, 8}, {"lbOn", 31, 30}, {"eOn", 61, 40}, {"tbPlain", 101, 23}};
    for (const Row& row : rows) {
        EXPECT_EQ(Get<TControl>(row.Name)->Left(), row.Left) << row.Name;
        EXPECT_EQ(Get<TControl>(row.Name)->Width(), row.Width) << row.Name;
    }
    EXPECT_FALSE(Get<TControl>("tbSep")->Widget()->isEnabled());
    QTest::mouseClick(Get<TControl>("tbPlain")->Widget(), Qt::LeftButton);
    EXPECT_TRUE(Form->Log.contains("sbCalcClick:tbPlain"));
    EXPECT_EQ(Get<TStatusBar>("sbStatus")->SimpleText(), "Ready");
}

TEST_F(Commands, FileDialogsAndInputBoxGoThroughTheService)
{
    TScriptedDialogs dialogs;
    auto* open = Get<TOpenDialog>("dOpen");
    EXPECT_EQ(open->Title, "Open File");
    EXPECT_EQ(open->Options,
              OpenOptionBit(TOpenOption::ofHideReadOnly) | OpenOptionBit(TOpenOption::ofFileMustExist));
    dialogs.Answer(true, QStringLiteral("/tmp/a.zsf"), 1);
    EXPECT_TRUE(open->Execute());
    EXPECT_EQ(open->FileName, "/tmp/a.zsf");
    EXPECT_EQ(open->FilterIndex, 1);
    dialogs.Answer(false);
    EXPECT_FALSE(open->Execute());
    EXPECT_EQ(open->FileName, "/tmp/a.zsf");
    ASSERT_EQ(dialogs.Service().Files.size(), 2u);
    EXPECT_FALSE(dialogs.Service().Files[0].Save);
    EXPECT_EQ(dialogs.Service().Files[0].Filter, "Snap (*.zsf)|*.zsf|All|*.*");
    EXPECT_EQ(dialogs.Service().Files[0].FilterIndex, 2);

    dialogs.Answer(true, QStringLiteral("7"));
    EXPECT_EQ(InputBox(QStringLiteral("Go"), QStringLiteral("Page:"), QStringLiteral("1")), "7");
    dialogs.Answer(false);
    EXPECT_EQ(InputBox(QStringLiteral("Go"), QStringLiteral("Page:"), QStringLiteral("1")), "1");
    EXPECT_EQ(dialogs.Service().Inputs.at(0).Prompt, "Page:");
}

// A request no answer was queued for is cancelled and reported (the test
// main makes the report a test failure), and the scripted service goes
// again when its holder does.
TEST_F(Commands, AnUnansweredDialogIsReportedAndCancelled)
{
    TDialogService* before = &DialogService();
    QStringList reported;
    TUnansweredDialogHandler previous =
        SetUnansweredDialogHandler([&reported](const QString& request) { reported << request; });
    {
        TScriptedDialogs dialogs;
        EXPECT_FALSE(Get<TOpenDialog>("dOpen")->Execute());
        EXPECT_EQ(InputBox(QStringLiteral("Go"), QStringLiteral("Page:"), QStringLiteral("1")), "1");
    }
    SetUnansweredDialogHandler(std::move(previous));
    EXPECT_EQ(reported, QStringList({QStringLiteral("Open dialog \"Open File\" (Snap (*.zsf)|*.zsf|All|*.*)"),
                                     QStringLiteral("Input box \"Go\": Page:")}));
    EXPECT_EQ(&DialogService(), before);
}

// Rows: a filter in the framework's form, the Qt dialog's name filters.
TEST(DialogFilters, EachPairShowsItsPatternsOnce)
{
    const struct {
        const char* Filter;
        QStringList Shown;
    } rows[] = {
        {"Snap|*.zsf|All|*.*", {"Snap (*.zsf)", "All (*.*)"}},
        {"Text|*.txt;*.log", {"Text (*.txt *.log)"}},
        {"Zarv Snapshot Files (*.zsf)|*.zsf", {"Zarv Snapshot Files (*.zsf)"}},
        {"Text (*.txt;*.log)|*.txt;*.log", {"Text (*.txt;*.log)"}},
        {"Text (*.txt *.log) |*.txt;*.log", {"Text (*.txt *.log)"}},
        // A name in parentheses that is not the pattern list keeps it.
        {"Zarv Snapshot File (ZSF)|*.ZSF", {"Zarv Snapshot File (ZSF) (*.ZSF)"}},
        {"Pictures (*.png)|*.png;*.jpg", {"Pictures (*.png) (*.png *.jpg)"}},
        {"A|*.a|B", {"A (*.a)"}}, // a description without patterns is dropped
        {"", {}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(NameFilters(QString::fromUtf8(row.Filter)), row.Shown) << row.Filter;
}

TEST_F(Commands, ScreenCursorAndBlockingWindows)
{
    Screen()->SetCursor(crHourGlass);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    Screen()->SetCursor(crDefault);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    Form->ShowBlocking();
    EXPECT_TRUE(Form->Visible());
    EXPECT_EQ(Form->Widget()->windowModality(), Qt::ApplicationModal);
    Form->Hide();
    EXPECT_EQ(Form->Widget()->windowModality(), Qt::NonModal);
}

} // namespace
