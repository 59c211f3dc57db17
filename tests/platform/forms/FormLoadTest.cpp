// Windows read from form streams: controls by class and name, properties by
// name, handlers bound by name, load errors, modal results, and the
// application object with its loop and exception dialog.
#include "tests/platform/forms/ProbeForm.h"
#include "tests/support/FuzzLoop.h"

#include "platform/forms/MessageService.h"
#include "platform/objects/Filer.h"

#include <QApplication>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>

namespace {

// A second window class for the application test (each form name once).
class TfSecond : public TfProbe {
public:
    explicit TfSecond(TComponent* owner)
        : TfProbe(
              owner,
              CompiledText("object fSecond: TfSecond\n  Caption = 'Second'\n  OnCreate = FormCreate\nend\n"))
    {
    }
};

class FormLoad : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterProbeClasses();
        if (!FindClass("TfSecond"))
            RegisterClass<TfSecond>("TfSecond", "TfProbe");
    }
};

// A control read from a stream takes its font, colours and combo style once
// it is loaded: the widgets show the last values the stream gives, the
// parent's font where the control follows it, and a typing edit only in the
// combos whose style has one.
TEST_F(FormLoad, WidgetsShowTheFontColoursAndStyleTheStreamEndsWith)
{
    TfProbe form(nullptr, CompiledText("object fLook: TfProbe\n"
                                       "  Font.Height = -11\n"
                                       "  Font.Name = 'Arial'\n"
                                       "  object pnBox: TPanel\n"
                                       "    Color = 255\n"
                                       "    Font.Color = 32768\n"
                                       "    Font.Height = -20\n"
                                       "    Font.Name = 'Arial'\n"
                                       "    object eFollows: TEdit\n"
                                       "    end\n"
                                       "    object lOwn: TLabel\n"
                                       "      Font.Color = 128\n"
                                       "      Font.Height = -13\n"
                                       "      Font.Name = 'Arial'\n"
                                       "      Font.Style = [fsBold]\n"
                                       "      ParentFont = False\n"
                                       "    end\n"
                                       "  end\n"
                                       "  object cList: TComboBox\n"
                                       "    Style = csDropDownList\n"
                                       "  end\n"
                                       "  object cTyped: TComboBox\n"
                                       "    MaxLength = 7\n"
                                       "  end\n"
                                       "end\n"));
    const QWidget* box = form.Get<TPanel>("pnBox")->Widget();
    const QWidget* follows = form.Get<TEdit>("eFollows")->Widget();
    const QWidget* own = form.Get<TLabel>("lOwn")->Widget();
    EXPECT_EQ(box->font().pixelSize(), 20);
    EXPECT_EQ(follows->font().pixelSize(), 20);
    EXPECT_EQ(follows->palette().color(QPalette::Text), QColor(0, 128, 0));
    EXPECT_EQ(box->palette().color(box->backgroundRole()), QColor(255, 0, 0));
    EXPECT_EQ(own->font().pixelSize(), 13);
    EXPECT_TRUE(own->font().bold());
    EXPECT_EQ(own->palette().color(QPalette::WindowText), QColor(128, 0, 0));

    const QComboBox* list = form.Get<TComboBox>("cList")->ComboWidget();
    EXPECT_FALSE(list->isEditable());
    EXPECT_EQ(list->lineEdit(), nullptr);
    const QComboBox* typed = form.Get<TComboBox>("cTyped")->ComboWidget();
    ASSERT_TRUE(typed->isEditable());
    ASSERT_NE(typed->lineEdit(), nullptr);
    EXPECT_EQ(typed->lineEdit()->maxLength(), 7);

    // Made in code, a combo has the typing edit at once.
    TComboBox made(&form);
    EXPECT_TRUE(made.ComboWidget()->isEditable());
}

TEST_F(FormLoad, CreatesTheStreamsControlsByClassAndName)
{
    TfProbe form(nullptr);
    // Source: tests/data/forms/Probe.dfm.
    struct Row {
        int No;
        const char* Name;
        const char* Class;
        const char* Parent;
    } rows[] = {
        {1, "lName", "TLabel", "fProbe"},
        {2, "eName", "TEdit", "fProbe"},
        {3, "bGo", "TButton", "fProbe"},
        {4, "cFlag", "TCheckBox", "fProbe"},
        {5, "rInch", "TRadioButton", "gbUnit"},
        {6, "cUnit", "TComboBox", "fProbe"},
        {7, "mNotes", "TMemo", "fProbe"},
        {8, "lbList", "TListBox", "fProbe"},
        {9, "tsTwo", "TTabSheet", "pTab"},
        {10, "eOnPage", "TEdit", "tsOne"},
        {11, "sbCalc", "TSpeedButton", "pnBar"},
        {12, "shMark", "TShape", "fProbe"},
        {13, "bvLine", "TBevel", "fProbe"},
        {14, "stInfo", "TStaticText", "fProbe"},
        {15, "imLogo", "TImage", "sbArea"},
        {16, "ilGlyphs", "TImageList", ""},
        {17, "tiTick", "TTimer", ""},
    };
    for (const Row& row : rows) {
        TComponent* component = form.FindComponent(row.Name);
        ASSERT_NE(component, nullptr) << "row " << row.No;
        EXPECT_EQ(component->ClassName(), row.Class) << "row " << row.No;
        if (auto* control = dynamic_cast<TControl*>(component)) {
            EXPECT_EQ(control->Widget()->objectName(), row.Name) << "row " << row.No;
            EXPECT_EQ(control->Parent()->Name(), row.Parent) << "row " << row.No;
        } else {
            EXPECT_EQ(*row.Parent, '\0') << "row " << row.No;
        }
    }
    EXPECT_EQ(form.Caption(), "Probe window");
    EXPECT_EQ(form.Widget()->windowTitle(), "Probe window");
    EXPECT_EQ(form.ClientWidth(), 420);
    EXPECT_EQ(form.Widget()->width(), 420);
    EXPECT_EQ(form.BorderStyle(), TFormBorderStyle::bsDialog);
    EXPECT_EQ(form.Get<TLabel>("lName")->LabelWidget()->text(), "Name");
    EXPECT_EQ(form.Get<TLabel>("lName")->FocusControl(), form.Get<TEdit>("eName"));
    EXPECT_EQ(form.Get<TButton>("bOk")->ModalResult(), mrOk);
    EXPECT_EQ(form.Get<TMemo>("mNotes")->Text(), "first\r\nsecond");
    EXPECT_EQ(form.Get<TListBox>("lbList")->Items()->Count(), 2);
    EXPECT_EQ(form.Get<TShape>("shMark")->Brush()->Color(), clMaroon);
    EXPECT_EQ(form.Get<TPanel>("pnBar")->Color(), clWhite);
    EXPECT_EQ(form.Get<TButton>("bRight")->Anchors(),
              AnchorBit(TAnchorKind::akTop) | AnchorBit(TAnchorKind::akRight));
    // TabOrder takes effect once the siblings are all read.
    EXPECT_EQ(form.Get<TButton>("bGo")->TabOrder(), 0);
    EXPECT_EQ(form.Get<TEdit>("eName")->TabOrder(), 1);
}

// The localizer walks a window's ancestors by the framework's class names.
TEST_F(FormLoad, ClassesStandInTheFrameworksChainOfAncestors)
{
    struct Row {
        int No;
        const char* Class;
        const char* Ancestors;
    } rows[] = {
        {1, "TfProbe",
         "TfProbe TForm TCustomForm TScrollingWinControl TWinControl TControl TComponent TPersistent "
         "TObject"},
        {2, "TFrame",
         "TFrame TCustomFrame TScrollingWinControl TWinControl TControl TComponent TPersistent TObject"},
        {3, "TDataModule", "TDataModule TComponent TPersistent TObject"},
        {4, "TBitBtn", "TBitBtn TButton TButtonControl TWinControl TControl TComponent TPersistent TObject"},
        {5, "TMemo", "TMemo TCustomMemo TCustomEdit TWinControl TControl TComponent TPersistent TObject"},
        {6, "TImageList", "TImageList TDragImageList TCustomImageList TComponent TPersistent TObject"},
        {7, "TLabel", "TLabel TCustomLabel TGraphicControl TControl TComponent TPersistent TObject"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(RequireClass(row.Class).AncestorNames().join(' '), row.Ancestors) << "row " << row.No;
    // The bases stand in the chain but are not created from streams.
    EXPECT_FALSE(RequireClass("TWinControl").CanCreate());
    EXPECT_TRUE(RequireClass("TPanel").CanCreate());
}

TEST_F(FormLoad, WritingAndReadingBackGivesTheSameWindow)
{
    TfProbe original(nullptr);
    original.Get<TEdit>("eName")->SetText("7.25");
    original.Get<TRadioButton>("rInch")->SetChecked(true);
    const QByteArray stream = WriteComponentToBytes(&original);

    TfProbe copy(nullptr, stream);
    EXPECT_EQ(copy.ComponentCount(), original.ComponentCount());
    EXPECT_EQ(copy.Get<TEdit>("eName")->Text(), "7.25");
    EXPECT_TRUE(copy.Get<TRadioButton>("rInch")->Checked());
    EXPECT_FALSE(copy.Get<TRadioButton>("rMM")->Checked());
    EXPECT_EQ(copy.Get<TComboBox>("cUnit")->ItemIndex(), 1);
    EXPECT_EQ(copy.Get<TTabSheet>("tsHidden")->TabVisible(), false);
    EXPECT_EQ(copy.Get<TPageControl>("pTab")->ActivePage(), copy.Get<TTabSheet>("tsOne"));
    EXPECT_EQ(copy.ClientHeight(), 320);
    EXPECT_EQ(copy.Get<TEdit>("eName")->TabOrder(), 1);
    // The same stream again: nothing got lost or added on the way.
    EXPECT_EQ(WriteComponentToBytes(&copy), stream);
}

TEST_F(FormLoad, BadStreamsFailWithAClearErrorAndLeaveNoControls)
{
    struct Row {
        int No;
        QByteArray Stream;
        const char* Message; // a part of the error's text
    } rows[] = {
        {1, CompiledText("object fProbe: TfProbe\n object b: TButton\n  OnClick = NoSuchClick\n end\nend\n"),
         "Method NoSuchClick not found in class TfProbe"},
        // A handler of another signature.
        {2, CompiledText("object fProbe: TfProbe\n object b: TButton\n  OnClick = FormClose\n end\nend\n"),
         "Method FormClose is no TNotifyEvent handler"},
        {3, CompiledText("object fProbe: TfProbe\n object w: TWidgetX\n end\nend\n"),
         "Class TWidgetX not found"},
        {4, CompiledText("object fProbe: TfProbe\n object b: TButton\n  Frobnicate = 1\n end\nend\n"),
         "Property Frobnicate does not exist"},
        {5, CompiledText("object fProbe: TfProbe\n BorderStyle = bsRound\nend\n"), "bsRound is no value of"},
        {6,
         CompiledText(
             "object fProbe: TfProbe\n object i: TImage\n  Picture.Data = {0454466F6F00}\n end\nend\n"),
         "Unknown picture format TFoo"},
        {7, CompiledText("object fProbe: TfProbe\n object a: TEdit\n end\n object a: TEdit\n end\nend\n"),
         "A component named a already exists"},
        {8, CompiledForm("Probe.dfm").left(700), ""},
        {9, QByteArray("TPF1"), "Invalid stream format"},
    };
    for (const Row& row : rows) {
        TfProbe form(nullptr, QByteArray());
        try {
            form.ReadForm(row.Stream);
            ADD_FAILURE() << "row " << row.No << " was read";
        } catch (const Exception& e) {
            EXPECT_TRUE(e.Message().contains(row.Message))
                << "row " << row.No << ": " << e.Message().toStdString();
        }
        EXPECT_EQ(form.ComponentCount(), 0) << "row " << row.No;
        EXPECT_EQ(form.ControlCount(), 0) << "row " << row.No;
    }
}

TEST_F(FormLoad, FuzzedStreamsFailCleanly)
{
    // A second seed holds pictures: a bitmap, a glyph and an image list.
    TfProbe pictured(nullptr);
    QImage pixels(8, 8, QImage::Format_RGB32);
    pixels.fill(Qt::blue);
    pictured.Get<TImage>("imLogo")->Picture()->Bitmap()->LoadImage(pixels);
    FindOwned<TImageList>(&pictured, "ilGlyphs")->Add(pixels);
    const QtMessageHandler previous = qInstallMessageHandler(QuietImageWarnings);
    const FuzzStats stats = RunFuzzLoop(
        [](const QByteArray& bytes) {
            TfProbe form(nullptr, QByteArray());
            form.ReadForm(bytes);
        },
        {CompiledForm("Probe.dfm"), WriteComponentToBytes(&pictured)}, 3.0);
    qInstallMessageHandler(previous);
    EXPECT_GT(stats.runs, 20);
}

TEST_F(FormLoad, ShowModalAnswersTheModalResult)
{
    struct Row {
        int No;
        const char* Action;
        TModalResult Expected;
    } rows[] = {
        {1, "click OK", mrOk},      {2, "click Cancel", mrCancel}, {3, "close the window", mrCancel},
        {4, "press Esc", mrCancel}, {5, "handler sets 6", mrYes},
    };
    for (const Row& row : rows) {
        TfProbe form(nullptr);
        form.OnGo = [&form] { form.SetModalResult(mrYes); };
        const QString action = QString::fromLatin1(row.Action);
        QTimer::singleShot(0, [&form, action] {
            QApplication::setActiveWindow(form.Widget());
            if (action == "click OK")
                QTest::mouseClick(form.Get<TButton>("bOk")->ButtonWidget(), Qt::LeftButton);
            else if (action == "click Cancel")
                QTest::mouseClick(form.Get<TButton>("bCancel")->ButtonWidget(), Qt::LeftButton);
            else if (action == "close the window")
                form.Widget()->close();
            else if (action == "press Esc")
                QTest::keyClick(form.Widget(), Qt::Key_Escape);
            else
                QTest::mouseClick(form.Get<TButton>("bGo")->ButtonWidget(), Qt::LeftButton);
        });
        EXPECT_EQ(form.ShowModal(), row.Expected) << "row " << row.No;
        EXPECT_FALSE(form.Visible()) << "row " << row.No;
        EXPECT_FALSE(form.Widget()->isVisible()) << "row " << row.No;
        EXPECT_TRUE(form.Log.contains("close")) << "row " << row.No;
        EXPECT_EQ(form.Log.first(), "FormShow:fProbe") << "row " << row.No;
    }
}

TEST_F(FormLoad, OnCloseCanKeepAModalWindowOpen)
{
    TfProbe form(nullptr);
    form.CloseAction = TCloseAction::caNone;
    QTimer::singleShot(0, [&form] {
        QTest::mouseClick(form.Get<TButton>("bOk")->ButtonWidget(), Qt::LeftButton);
        // Once the loop has seen the result, OnClose refused it.
        QTimer::singleShot(0, [&form] {
            EXPECT_TRUE(form.Widget()->isVisible());
            EXPECT_EQ(form.ModalResult(), mrNone);
            form.CloseAction = TCloseAction::caHide;
            QTest::mouseClick(form.Get<TButton>("bCancel")->ButtonWidget(), Qt::LeftButton);
        });
    });
    EXPECT_EQ(form.ShowModal(), mrCancel);
    EXPECT_EQ(form.Log.count("close"), 2);

    form.Show();
    EXPECT_THROW(form.ShowModal(), EInvalidOperation);
}

TEST_F(FormLoad, ClosingAWindowHidesFreesOrKeepsItAsOnCloseSays)
{
    struct Row {
        int No;
        TCloseAction Action;
        bool Visible;   // right after Close
        bool Destroyed; // once the events are handled
    } rows[] = {
        {1, TCloseAction::caHide, false, false},
        {2, TCloseAction::caNone, true, false},
        {3, TCloseAction::caFree, true, true},
    };
    for (const Row& row : rows) {
        auto* form = NewForm<TfProbe>(nullptr);
        QPointer<QWidget> widget = form->Widget();
        form->CloseAction = row.Action;
        form->Show();
        form->Close();
        EXPECT_EQ(form->Widget()->isVisible(), row.Visible) << "row " << row.No;
        QCoreApplication::processEvents();
        EXPECT_EQ(widget.isNull(), row.Destroyed) << "row " << row.No;
        if (!row.Destroyed)
            DestroyForm(form);
    }

    TfProbe form(nullptr);
    form.BindEvent("FormCloseQuery", TCloseQueryHandler([](TObject*, bool& canClose) { canClose = false; }));
    form.SetEvent("OnCloseQuery", TMethod{"FormCloseQuery", &form}, TEventKind::CloseQuery);
    form.Show();
    form.Close();
    EXPECT_TRUE(form.Visible());
    EXPECT_FALSE(form.Log.contains("close")); // OnClose does not run
}

TEST_F(FormLoad, AWindowVisibleInItsStreamShowsOnceCreated)
{
    auto* form =
        new TfProbe(nullptr, CompiledText("object fProbe: TfProbe\n  Visible = True\n  OnShow = FormShow\n"
                                          "  OnCreate = FormCreate\nend\n"));
    EXPECT_FALSE(form->Visible()); // not while the constructor runs
    form->AfterConstruction();
    EXPECT_TRUE(form->Widget()->isVisible());
    EXPECT_EQ(form->Log, QStringList({"FormCreate:fProbe", "FormShow:fProbe"}));
    DestroyForm(form);
}

// A caption is the window's own text: the platform appends the
// application's display name to each caption that does not end with it (the
// preview's "Tessvar - [ card.zsf ]" then read "... ] \u2014 Tessvar"), so the
// application object leaves the display name empty, which every caption
// ends with. Shown by the platform's rule applied to the preview's caption.
TEST_F(FormLoad, CaptionsGetNoApplicationName)
{
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Tessvar"));
    TApplication app;
    const QString displayName = QGuiApplication::applicationDisplayName();
    EXPECT_TRUE(displayName.isEmpty()) << displayName.toStdString();
    const QString caption = QStringLiteral("Tessvar - [ card_preview.zsf ]");
    EXPECT_TRUE(caption.endsWith(displayName)); // the platform adds nothing
}

TEST_F(FormLoad, ApplicationRunsItsWindowsAndShowsWhatHandlersThrow)
{
    TScriptedMessages messages;
    {
        TApplication app;
        app.SetTitle("Tessvar");
        TfProbe* main = nullptr;
        TfSecond* second = nullptr;
        app.CreateForm(main);
        app.CreateForm(second);
        EXPECT_EQ(app.MainForm(), main);
        EXPECT_EQ(FindGlobalComponent("fSecond"), second);
        EXPECT_EQ(main->Log, QStringList({"FormCreate:fProbe"}));
        EXPECT_EQ(second->Log, QStringList({"FormCreate:fSecond"}));
        EXPECT_FALSE(main->Visible());

        int step = 0;
        QTimer script;
        QObject::connect(&script, &QTimer::timeout, [&] {
            if (!main->Widget()->isVisible())
                return; // the loop shows the main window first
            QPushButton* go = main->Get<TButton>("bGo")->ButtonWidget();
            switch (step++) {
            case 0:
                main->OnGo = [] { throw EConvertError("'abc' is not a valid floating point value"); };
                QTest::mouseClick(go, Qt::LeftButton);
                break;
            case 1:
                main->OnGo = [] { Abort(); }; // silent
                QTest::mouseClick(go, Qt::LeftButton);
                break;
            case 2:
                main->OnGo = nullptr;
                QTest::mouseClick(go, Qt::LeftButton); // the loop goes on
                break;
            default:
                main->Close(); // the main window ends the application
                break;
            }
        });
        script.start(5);
        app.Run();
        script.stop();

        EXPECT_TRUE(app.Terminated());
        EXPECT_EQ(main->Log.count("bGoClick:bGo"), 3);
        EXPECT_EQ(main->Log.first(), "FormCreate:fProbe");
        EXPECT_EQ(main->Log.at(1), "FormShow:fProbe");
        EXPECT_EQ(main->Log.last(), "close");
        ASSERT_EQ(messages.Shown().size(), 1u);
        EXPECT_EQ(messages.Shown()[0].Text, "'abc' is not a valid floating point value");
        EXPECT_EQ(messages.Shown()[0].Caption, "Tessvar");
        EXPECT_EQ(messages.Shown()[0].Icon, TMsgIcon::Error);
        EXPECT_EQ(messages.Shown()[0].Buttons, TMsgButtons::OK);
        EXPECT_THROW(TApplication(), EInvalidOperation); // one per program
    }
    EXPECT_EQ(Application(), nullptr);
    EXPECT_TRUE(ScreenForms().empty());
}

} // namespace
