// A window created from a resource image as the program's is made: the
// program's string table and the test's own text form
// tests/data/forms/FormsTest.dfm, compiled by the resource compiler into
// RCDATA "TFFORMSTEST" (the program's image holds only its own windows).
#include "tests/platform/forms/ProbeForm.h"

#include "localization/PEResourceImage.h"
#include "platform/forms/MessageService.h"
#include "platform/os/Modules.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

// The test's image, linked as bytes by the resource compiler.
const QByteArray& FormsTestImageBytes();

namespace {

class TfFormsTest : public TForm {
public:
    explicit TfFormsTest(TComponent* owner) : TForm(owner)
    {
        BindMethod("FormShow", &TfFormsTest::FormShow);
        BindMethod("bAskClick", &TfFormsTest::bAskClick);
        BindMethod("bFailClick", &TfFormsTest::bFailClick);
        LoadForm();
        bAsk = RequireOwned<TButton>(this, "bAsk");
        eValue = RequireOwned<TEdit>(this, "eValue");
    }

    void FormShow(TObject*) { ++Shown; }
    void bAskClick(TObject*)
    {
        Answer = ShowMessageBox("Impostare la lingua come predefinita ?", "ATTENTION", TMsgIcon::Question,
                                TMsgButtons::YesNo);
    }
    void bFailClick(TObject*)
    {
        throw EConvertError("'" + eValue->Text() + "' is not a valid integer value");
    }

    TButton* bAsk;
    TEdit* eValue;
    int Shown = 0;
    int Answer = 0;
};

class ProgramForm : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterProbeClasses();
        if (!FindClass("TfFormsTest"))
            RegisterClass<TfFormsTest>("TfFormsTest", "TForm");
        InitProgramResources(FormsTestImageBytes());
    }
    void TearDown() override { ResetResourceModule(); }

    void Click(TCustomForm* form, const char* name)
    {
        QTest::mouseClick(RequireOwned<TButton>(form, name)->ButtonWidget(), Qt::LeftButton);
    }
};

TEST_F(ProgramForm, IsCreatedFromTheResourcesWithTheStreamsCaptions)
{
    std::unique_ptr<TfFormsTest> form(NewForm<TfFormsTest>(nullptr));
    EXPECT_EQ(form->Name(), "fFormsTest");
    EXPECT_EQ(form->Caption(), "Forms test window");
    EXPECT_EQ(RequireOwned<TLabel>(form.get(), "lText")->Caption(),
              "A window read from the program's resources");
    EXPECT_EQ(form->bAsk->ButtonWidget()->text(), "&Ask");
    EXPECT_EQ(form->eValue->Text(), "2.5");
    EXPECT_EQ(form->ClientWidth(), 260);
    EXPECT_EQ(form->Widget()->findChild<QPushButton*>("bOk")->text(), "OK");
}

TEST_F(ProgramForm, ClicksRunTheHandlersAndModalResultsComeBack)
{
    std::unique_ptr<TfFormsTest> form(NewForm<TfFormsTest>(nullptr));
    TScriptedMessages messages;
    messages.Answer(IDNO);
    QTimer::singleShot(0, [&] {
        Click(form.get(), "bAsk");
        Click(form.get(), "bOk");
    });
    EXPECT_EQ(form->ShowModal(), mrOk);
    EXPECT_EQ(form->Answer, IDNO);
    ASSERT_EQ(messages.Shown().size(), 1u);
    EXPECT_EQ(messages.Shown()[0].Caption, "ATTENTION");
    EXPECT_EQ(messages.Shown()[0].Buttons, TMsgButtons::YesNo);

    QTimer::singleShot(0, [&] { form->Widget()->close(); });
    EXPECT_EQ(form->ShowModal(), mrCancel);
    EXPECT_EQ(form->Shown, 2);
}

TEST_F(ProgramForm, AnExceptionInAHandlerReachesTheExceptionDialogAndTheLoopGoesOn)
{
    TScriptedMessages messages;
    TApplication app;
    app.SetTitle("Tessvar");
    TfFormsTest* form = nullptr;
    app.CreateForm(form);
    form->eValue->SetText("x1");
    QTimer::singleShot(20, [&] {
        ASSERT_TRUE(form->Widget()->isVisible());
        Click(form, "bFail");
        Click(form, "bAsk"); // still handled after the failure
        form->Close();       // the main window ends the loop
    });
    app.Run();
    EXPECT_TRUE(app.Terminated());
    ASSERT_EQ(messages.Shown().size(), 2u);
    EXPECT_EQ(messages.Shown()[0].Text, "'x1' is not a valid integer value");
    EXPECT_EQ(messages.Shown()[0].Caption, "Tessvar");
    EXPECT_EQ(messages.Shown()[0].Icon, TMsgIcon::Error);
    EXPECT_EQ(messages.Shown()[1].Caption, "ATTENTION");
}

TEST_F(ProgramForm, AMissingResourceIsALoadError)
{
    TfProbe form(nullptr, QByteArray());
    try {
        form.LoadForm("TFNOSUCHFORM");
        FAIL() << "loaded";
    } catch (const EResNotFound& e) {
        EXPECT_EQ(e.Message(), "Resource TFNOSUCHFORM not found");
    }
}

} // namespace
