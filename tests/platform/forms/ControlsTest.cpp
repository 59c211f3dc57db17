// The framework's behaviour where Qt's differs, on the controls of the probe
// window: which changes fire events, the control's own Visible flag, radio
// groups, speed-button groups, page controls, anchors, parent fonts and
// colours, keys.
#include "tests/platform/forms/ProbeForm.h"

#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTabBar>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include <memory>

namespace {

class ControlsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterProbeClasses();
        form = std::make_unique<TfProbe>(nullptr);
    }

    // Shows the window and forgets its OnShow.
    void ShowActive()
    {
        form->Show();
        QApplication::setActiveWindow(form->Widget());
        form->Log.removeAll("FormShow:fProbe");
    }

    // A radio button reacts to clicks on its circle and caption only.
    static void ClickRadio(TRadioButton* radio)
    {
        QTest::mouseClick(radio->RadioWidget(), Qt::LeftButton, {}, QPoint(6, radio->Height() / 2));
    }

    template <class T> T* Get(const char* name) { return form->Get<T>(name); }

    std::unique_ptr<TfProbe> form;
};

TEST_F(ControlsTest, EditFiresOnChangeForEveryChangeOfItsTextButNotWhileLoading)
{
    // The stream sets Text = '10', Checked and ItemIndex with handlers bound:
    // nothing fires while a form loads.
    EXPECT_TRUE(form->Log.isEmpty()) << form->Log.join(u',').toStdString();
    auto* edit = Get<TEdit>("eName");
    EXPECT_EQ(edit->Text(), "10");

    edit->SetText("12.5"); // the program's change fires, unlike Qt's textEdited
    edit->SetText("12.5"); // the same text is no change
    ShowActive();
    QTest::keyClicks(edit->EditWidget(), "3");
    EXPECT_EQ(edit->Text(), "12.53");
    EXPECT_EQ(form->Log, QStringList({"eNameChange:eName", "eNameChange:eName"}));
}

TEST_F(ControlsTest, SettingCheckedFiresOnClickAsTheFrameworkDoes)
{
    auto* flag = Get<TCheckBox>("cFlag");
    auto* mm = Get<TRadioButton>("rMM");
    auto* inch = Get<TRadioButton>("rInch");
    ASSERT_TRUE(flag->Checked());
    ASSERT_TRUE(mm->Checked());

    flag->SetChecked(false); // a check box fires both ways
    flag->SetChecked(false);
    flag->SetChecked(true);
    inch->SetChecked(true); // a radio button clears its siblings, then fires
    EXPECT_FALSE(mm->Checked());
    EXPECT_FALSE(mm->RadioWidget()->isChecked());
    inch->SetChecked(false); // clearing fires nothing; the whole group may be clear
    EXPECT_FALSE(mm->Checked());
    EXPECT_FALSE(inch->Checked());
    EXPECT_EQ(form->Log, QStringList({"cFlagClick:cFlag", "cFlagClick:cFlag", "rMMClick:rInch"}));

    // The user's click checks a radio button; clicking a checked one changes
    // nothing and fires nothing.
    form->Log.clear();
    ShowActive();
    ClickRadio(mm);
    ClickRadio(mm);
    EXPECT_TRUE(mm->Checked());
    EXPECT_TRUE(mm->RadioWidget()->isChecked());
    EXPECT_EQ(form->Log, QStringList({"rMMClick:rMM"}));
}

TEST_F(ControlsTest, ComboFiresOnChangeOnlyForTheUsersChoice)
{
    auto* combo = Get<TComboBox>("cUnit");
    // ItemIndex stands before the items in the stream; it still applies.
    EXPECT_EQ(combo->ItemIndex(), 1);
    EXPECT_EQ(combo->Text(), "inch");

    combo->SetItemIndex(0);
    combo->SetText("feet");
    EXPECT_EQ(combo->ItemIndex(), 2);
    combo->Items()->Add("yard"); // adding keeps the choice
    EXPECT_EQ(combo->ItemIndex(), 2);
    EXPECT_TRUE(form->Log.isEmpty());

    ShowActive();
    QTest::keyClick(combo->ComboWidget(), Qt::Key_Up);
    EXPECT_EQ(combo->Text(), "inch");
    EXPECT_EQ(form->Log, QStringList({"cUnitChange:cUnit"}));

    combo->Items()->Clear();
    EXPECT_EQ(combo->ItemIndex(), -1);
    EXPECT_EQ(combo->Text(), "");
}

TEST_F(ControlsTest, VisibleIsTheControlsOwnFlag)
{
    ShowActive();
    auto* onHiddenPage = Get<TLabel>("lOnTwo");
    auto* onActivePage = Get<TEdit>("eOnPage");
    EXPECT_TRUE(onHiddenPage->Visible());
    EXPECT_FALSE(onHiddenPage->Widget()->isVisible());
    EXPECT_FALSE(onHiddenPage->Showing());
    EXPECT_TRUE(onActivePage->Widget()->isVisible());

    onActivePage->Hide();
    EXPECT_FALSE(onActivePage->Visible());
    EXPECT_FALSE(onActivePage->Widget()->isVisible());
    form->Hide();
    onActivePage->Show();
    EXPECT_TRUE(onActivePage->Visible());
    EXPECT_FALSE(onActivePage->Widget()->isVisible());
    EXPECT_FALSE(onActivePage->Showing());
}

TEST_F(ControlsTest, PageControlShowsHiddenTabPagesAndFiresOnlyForTheUsersPick)
{
    auto* pages = Get<TPageControl>("pTab");
    auto* one = Get<TTabSheet>("tsOne");
    auto* two = Get<TTabSheet>("tsTwo");
    auto* hidden = Get<TTabSheet>("tsHidden");
    EXPECT_EQ(pages->PageCount(), 3);
    EXPECT_EQ(pages->ActivePage(), one);
    EXPECT_EQ(pages->TabBar()->count(), 2); // no tab for the hidden page
    EXPECT_TRUE(one->Visible());
    EXPECT_FALSE(two->Visible());

    pages->SetActivePage(hidden); // a page without tab can still be shown
    EXPECT_EQ(pages->ActivePage(), hidden);
    EXPECT_EQ(pages->TabIndex(), -1);
    EXPECT_TRUE(hidden->Visible());
    EXPECT_FALSE(one->Visible());
    EXPECT_TRUE(form->Log.isEmpty());

    ShowActive();
    QTest::mouseClick(pages->TabBar(), Qt::LeftButton, {}, pages->TabBar()->tabRect(1).center());
    EXPECT_EQ(pages->ActivePage(), two);
    EXPECT_EQ(pages->ActivePageIndex(), 1);
    EXPECT_EQ(form->Log, QStringList({"pTabChange:pTab"}));

    two->SetTabVisible(false);
    hidden->SetTabVisible(true);
    EXPECT_EQ(pages->TabBar()->count(), 2);
    EXPECT_EQ(pages->TabBar()->tabText(1), "Hidden");
}

// What a user sees of a page control: the caption of the page on screen and
// of the tab the bar highlights ("" for none).
struct TPagesOnScreen {
    QString Page, Tab;
    bool operator==(const TPagesOnScreen&) const = default;
    friend void PrintTo(const TPagesOnScreen& s, std::ostream* out)
    {
        *out << "page \"" << s.Page.toStdString() << "\" under tab \"" << s.Tab.toStdString() << '"';
    }
};

TPagesOnScreen OnScreen(const TPageControl* pages)
{
    TPagesOnScreen seen;
    for (int i = 0; i < pages->PageCount(); ++i) {
        if (pages->Pages(i)->Widget()->isVisible())
            seen.Page += pages->Pages(i)->Caption();
    }
    const QTabBar* bar = pages->TabBar();
    if (bar->isVisible())
        seen.Tab = bar->tabText(bar->currentIndex());
    return seen;
}

// The probe window's page control, shown: "One" and "Two" with tabs,
// "Hidden" without.
class PageControlTest : public ControlsTest {
protected:
    void SetUp() override
    {
        ControlsTest::SetUp();
        pages = Get<TPageControl>("pTab");
        one = Get<TTabSheet>("tsOne");
        two = Get<TTabSheet>("tsTwo");
        hidden = Get<TTabSheet>("tsHidden");
        ShowActive();
    }

    TPageControl* pages = nullptr;
    TTabSheet* one = nullptr;
    TTabSheet* two = nullptr;
    TTabSheet* hidden = nullptr;
};

TEST_F(PageControlTest, HidingTheShownPagesTabShowsTheFirstPageWithATab)
{
    hidden->SetTabVisible(true);
    QTest::mouseClick(pages->TabBar(), Qt::LeftButton, {}, pages->TabBar()->tabRect(2).center());
    ASSERT_EQ(OnScreen(pages), (TPagesOnScreen{"Hidden", "Hidden"}));
    form->Log.clear();

    two->SetTabVisible(false); // another page's tab: nothing moves
    EXPECT_EQ(pages->ActivePage(), hidden);
    hidden->SetTabVisible(false); // the first page with a tab, not a neighbour
    EXPECT_EQ(pages->ActivePage(), one);
    EXPECT_EQ(OnScreen(pages), (TPagesOnScreen{"One", "One"}));
    EXPECT_EQ(pages->TabIndex(), 0);
    EXPECT_TRUE(one->Visible());
    EXPECT_FALSE(hidden->Visible());

    two->SetTabVisible(true);
    one->SetTabVisible(false); // the first tab is now further on
    EXPECT_EQ(pages->ActivePage(), two);
    EXPECT_EQ(OnScreen(pages), (TPagesOnScreen{"Two", "Two"}));
    EXPECT_TRUE(form->Log.isEmpty()) << form->Log.join(u',').toStdString(); // no OnChange

    // Code may still show a page without a tab; later tab changes leave it.
    pages->SetActivePage(one);
    hidden->SetTabVisible(true);
    one->SetCaption("First");
    EXPECT_EQ(pages->ActivePage(), one);
    EXPECT_EQ(OnScreen(pages).Page, "First");
    EXPECT_EQ(pages->TabIndex(), -1);
}

// A wizard hides every tab and then steps through its pages in code; an
// output window starts with no page at all.
TEST_F(PageControlTest, APageControlWithoutTabsKeepsThePageItIsOn)
{
    one->SetTabVisible(false); // "Two" still has its tab
    EXPECT_EQ(OnScreen(pages), (TPagesOnScreen{"Two", "Two"}));
    two->SetTabVisible(false); // none left: the page stays
    EXPECT_EQ(pages->ActivePage(), two);
    EXPECT_EQ(OnScreen(pages), (TPagesOnScreen{"Two", ""}));

    pages->SetActivePageIndex(2);
    EXPECT_EQ(OnScreen(pages), (TPagesOnScreen{"Hidden", ""}));
    one->SetTabVisible(true); // showing a tab moves nothing either
    EXPECT_EQ(pages->ActivePage(), hidden);
    one->SetTabVisible(false);
    EXPECT_EQ(pages->ActivePage(), hidden);

    // With no page shown, hiding and showing tabs shows none.
    pages->SetActivePage(nullptr);
    two->SetTabVisible(true);
    one->SetTabVisible(true);
    two->SetTabVisible(false);
    EXPECT_EQ(pages->ActivePage(), nullptr);
    EXPECT_FALSE(one->Visible() || two->Visible() || hidden->Visible());
    EXPECT_TRUE(form->Log.isEmpty()) << form->Log.join(u',').toStdString();

    // A stream that hides every tab loads on the page it names.
    TfProbe wizard(nullptr, CompiledText("object fWizard: TfProbe\n"
                                         "  object pcSteps: TPageControl\n"
                                         "    ActivePage = tsSecond\n"
                                         "    object tsFirst: TTabSheet\n"
                                         "      Caption = 'First'\n"
                                         "      TabVisible = False\n"
                                         "    end\n"
                                         "    object tsSecond: TTabSheet\n"
                                         "      Caption = 'Second'\n"
                                         "      TabVisible = False\n"
                                         "    end\n"
                                         "    object tsThird: TTabSheet\n"
                                         "      Caption = 'Third'\n"
                                         "      TabVisible = False\n"
                                         "    end\n"
                                         "  end\n"
                                         "end\n"));
    wizard.Show();
    EXPECT_EQ(OnScreen(wizard.Get<TPageControl>("pcSteps")), (TPagesOnScreen{"Second", ""}));
}

TEST_F(ControlsTest, SpeedButtonsKeepTheStateOfTheirGroup)
{
    auto* calc = Get<TSpeedButton>("sbCalc");   // group 1, all up allowed
    auto* other = Get<TSpeedButton>("sbOther"); // group 2, one always down
    bool downInHandler = false;
    form->BindEvent("sbCalcClick", TNotifyHandler([&](TObject*) { downInHandler = calc->Down(); }));
    ShowActive();

    QTest::mouseClick(calc->ToolWidget(), Qt::LeftButton);
    EXPECT_TRUE(calc->Down());
    EXPECT_TRUE(downInHandler); // the state changes before the handler runs
    QTest::mouseClick(calc->ToolWidget(), Qt::LeftButton);
    EXPECT_FALSE(calc->Down());
    EXPECT_FALSE(calc->ToolWidget()->isChecked());

    QTest::mouseClick(other->ToolWidget(), Qt::LeftButton);
    QTest::mouseClick(other->ToolWidget(), Qt::LeftButton);
    EXPECT_TRUE(other->Down()); // without AllowAllUp a down button stays down
    other->SetDown(false);
    EXPECT_TRUE(other->Down());

    // A second button of group 1 going down puts the first up; setting Down
    // fires nothing.
    auto* partner = new TSpeedButton(form.get());
    partner->SetParent(Get<TPanel>("pnBar"));
    partner->SetGroupIndex(1);
    calc->SetDown(true);
    partner->SetDown(true);
    EXPECT_FALSE(calc->Down());
    EXPECT_TRUE(partner->Down());
    EXPECT_TRUE(partner->AllowAllUp()); // shared by the group
}

TEST_F(ControlsTest, AnchorsAndAlignFollowTheParentsSize)
{
    auto* bar = Get<TPanel>("pnBar");
    auto* right = Get<TButton>("bRight"); // anchored top and right
    auto* label = Get<TLabel>("lOnBar");  // anchored top and left
    const int labelLeft = label->Left();
    bar->SetWidth(bar->Width() + 40);
    EXPECT_EQ(right->Left(), 96 + 40);
    EXPECT_EQ(right->Width(), 36);
    EXPECT_EQ(label->Left(), labelLeft);

    auto* top = new TPanel(form.get());
    top->SetParent(bar);
    top->SetHeight(10);
    top->SetAlign(TAlign::alTop);
    auto* rest = new TPanel(form.get());
    rest->SetParent(bar);
    rest->SetAlign(TAlign::alClient);
    EXPECT_EQ(QRect(top->Left(), top->Top(), top->Width(), top->Height()), QRect(0, 0, bar->Width(), 10));
    EXPECT_EQ(QRect(rest->Left(), rest->Top(), rest->Width(), rest->Height()),
              QRect(0, 10, bar->Width(), bar->Height() - 10));
    top->Hide(); // hiding an aligned control gives its room to the others
    EXPECT_EQ(rest->Top(), 0);
}

TEST_F(ControlsTest, ParentFontAndColorFollowTheParentUntilSetOwn)
{
    auto* bar = Get<TPanel>("pnBar"); // white in the stream
    auto* label = Get<TLabel>("lOnBar");
    EXPECT_TRUE(label->ParentColor());
    EXPECT_EQ(label->Color(), clWhite);
    bar->SetColor(clRed);
    EXPECT_EQ(label->Color(), clRed);
    label->SetColor(clBlue);
    EXPECT_FALSE(label->ParentColor());
    bar->SetColor(clWhite);
    EXPECT_EQ(label->Color(), clBlue);

    auto* edit = Get<TEdit>("eName");
    EXPECT_EQ(edit->Font()->Height(), -11);
    form->Font()->SetHeight(-14);
    EXPECT_EQ(edit->Font()->Height(), -14);
    EXPECT_TRUE(edit->ParentFont());
    edit->Font()->SetStyle({TFontStyle::fsBold});
    EXPECT_FALSE(edit->ParentFont());
    form->Font()->SetHeight(-11);
    EXPECT_EQ(edit->Font()->Height(), -14);
}

TEST_F(ControlsTest, KeysReachThePreviewingFormFirstAndEnterAndEscPressTheDialogButtons)
{
    ShowActive();
    auto* edit = Get<TEdit>("eName");
    edit->SetFocus();
    ASSERT_EQ(QApplication::focusWidget(), edit->EditWidget());

    form->SwallowKey = 'Y';
    QTest::keyClick(edit->EditWidget(), Qt::Key_X, Qt::NoModifier);
    QTest::keyClick(edit->EditWidget(), Qt::Key_Y, Qt::NoModifier); // swallowed by the form
    EXPECT_EQ(edit->Text(), "10x");
    EXPECT_TRUE(form->Log.contains("key 88"));
    EXPECT_TRUE(form->Log.contains("key 89"));

    form->Log.clear();
    QTest::keyClick(edit->EditWidget(), Qt::Key_Return); // the default button
    EXPECT_TRUE(form->Log.contains("bGoClick:bGo"));
    QTest::keyClick(edit->EditWidget(), Qt::Key_Escape); // the cancel button
    EXPECT_EQ(form->ModalResult(), mrCancel);
}

TEST_F(ControlsTest, FocusLeavesInnermostFirstAndEntersOutermostFirst)
{
    ShowActive();
    auto* edit = Get<TEdit>("eName");
    auto* onPage = Get<TEdit>("eOnPage");
    edit->SetFocus();
    form->Log.clear();
    onPage->SetFocus(); // leaves eName, enters pTab, tsOne, eOnPage
    Get<TButton>("bGo")->SetFocus();
    onPage->SetFocus();
    EXPECT_EQ(form->Log, QStringList({"eNameExit:eName", "tsOneEnter:tsOne", "tsOneEnter:tsOne"}));

    Get<TPageControl>("pTab")->SetActivePage(Get<TTabSheet>("tsTwo"));
    EXPECT_THROW(onPage->SetFocus(), EInvalidOperation); // on a hidden page
}

TEST_F(ControlsTest, ShapesPanelsAndBevelsPaintWithTheirColours)
{
    ShowActive();
    const QImage shot = form->Widget()->grab().toImage();
    auto at = [&shot](int x, int y) { return QColor(shot.pixel(x, y)); };
    // Positions from Probe.dfm: the maroon circle at 276,204 (20 x 20), the
    // white panel at 276,136 with a free spot at 80,20, the lowered top line
    // at 8,280.
    EXPECT_EQ(at(286, 214), ToQColor(clMaroon));
    EXPECT_EQ(at(276 + 80, 136 + 20), ToQColor(clWhite));
    EXPECT_EQ(at(100, 280), ToQColor(clBtnShadow));
    EXPECT_EQ(at(100, 281), ToQColor(clBtnHighlight));
}

TEST_F(ControlsTest, ListsFireOnlyForTheUserAndMemosForEveryChange)
{
    auto* list = Get<TListBox>("lbList");
    list->SetItemIndex(1);
    EXPECT_EQ(list->ItemIndex(), 1);
    EXPECT_TRUE(form->Log.isEmpty());
    ShowActive();
    QListWidget* view = list->ListWidget();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualItemRect(view->item(0)).center());
    EXPECT_EQ(list->ItemIndex(), 0);
    EXPECT_EQ(form->Log, QStringList({"lbListClick:lbList"}));

    auto* memo = Get<TMemo>("mNotes");
    form->BindEvent("mNotesChange", TNotifyHandler([this](TObject*) { form->Log << "mNotesChange"; }));
    memo->SetEvent("OnChange", TMethod{"mNotesChange", form.get()}, TEventKind::Notify);
    form->Log.clear();
    memo->Lines()->Add("third");
    EXPECT_EQ(memo->Text(), "first\r\nsecond\r\nthird");
    memo->MemoWidget()->setFocus();
    QTest::keyClicks(memo->MemoWidget(), "!");
    EXPECT_EQ(memo->Lines()->Count(), 3);
    EXPECT_TRUE(memo->Lines()->Strings(0).contains('!'));
    EXPECT_EQ(form->Log, QStringList({"mNotesChange", "mNotesChange"}));
    // Assigning a handler the window does not have is refused.
    EXPECT_THROW(memo->SetEvent("OnChange", TMethod{"NoSuchHandler", form.get()}, TEventKind::Notify),
                 EPropertyError);
}

TEST_F(ControlsTest, ScrollBoxRangesReachItsControls)
{
    auto* box = Get<TScrollBox>("sbArea"); // 110 x 52 around a 200 x 90 image
    auto* image = Get<TImage>("imLogo");
    EXPECT_EQ(box->HorzScrollBar()->Range(), 200);
    EXPECT_EQ(box->VertScrollBar()->Range(), 90);
    EXPECT_GE(box->ClientWidget()->width(), 200);
    image->SetBounds(10, 20, 300, 40);
    EXPECT_EQ(box->HorzScrollBar()->Range(), 310);
    EXPECT_EQ(box->VertScrollBar()->Range(), 60);

    box->SetAutoScroll(false);
    box->VertScrollBar()->SetRange(500);
    EXPECT_EQ(box->ClientWidget()->height(), 500);
    image->SetTop(0); // without AutoScroll the ranges stay as set
    EXPECT_EQ(box->VertScrollBar()->Range(), 500);
}

TEST_F(ControlsTest, LabelsSizeThemselvesToTheirCaption)
{
    auto* label = Get<TLabel>("lOnBar");
    const int right = label->Left() + label->Width();
    const int shortWidth = label->Width();
    label->SetCaption("a much longer caption");
    EXPECT_GT(label->Width(), shortWidth);
    EXPECT_EQ(label->Height(), QFontMetrics(label->LabelWidget()->font()).height());

    label->SetCaption("lbl");
    label->SetAlignment(TAlignment::taRightJustify);
    label->SetCaption("a much longer caption"); // grows to the left
    EXPECT_EQ(label->Left() + label->Width(), right);

    label->SetAutoSize(false);
    label->SetWidth(10);
    label->SetCaption("another caption");
    EXPECT_EQ(label->Width(), 10);
}

TEST_F(ControlsTest, BitBtnKindsGiveCaptionResultAndRole)
{
    TfProbe dialog(
        nullptr, CompiledText("object fProbe: TfProbe\n  OnClose = FormClose\n  OnShow = FormShow\n"
                              "  object bStop: TBitBtn\n    Caption = 'Stop'\n    Kind = bkCancel\n  end\n"
                              "  object bClose: TBitBtn\n    Kind = bkClose\n    OnClick = bGoClick\n  end\n"
                              "end\n"));
    auto* stop = dialog.Get<TBitBtn>("bStop");
    EXPECT_EQ(stop->Caption(), "Stop"); // read before the kind: kept
    EXPECT_EQ(stop->ModalResult(), mrCancel);
    EXPECT_TRUE(stop->Cancel());
    stop->SetKind(TBitBtnKind::bkOK); // in code the kind's caption replaces it
    EXPECT_EQ(stop->Caption(), "OK");
    EXPECT_TRUE(stop->Default());
    EXPECT_EQ(stop->ModalResult(), mrOk);

    auto* close = dialog.Get<TBitBtn>("bClose");
    EXPECT_EQ(close->Caption(), "&Close");
    dialog.Show();
    close->Click(); // closes the window instead of running OnClick
    EXPECT_EQ(dialog.Log, QStringList({"FormShow:fProbe", "close"}));
    EXPECT_FALSE(dialog.Visible());
}

TEST_F(ControlsTest, AReferenceIsClearedWhenItsComponentGoes)
{
    auto* pages = Get<TPageControl>("pTab");
    auto* images = FindOwned<TImageList>(form.get(), "ilGlyphs");
    images->Add(QImage(16, 8, QImage::Format_RGB32)); // two 8 x 8 pictures
    pages->SetImages(images);
    EXPECT_FALSE(pages->TabBar()->tabIcon(1).isNull()); // tsTwo shows picture 1
    delete images;
    EXPECT_EQ(pages->Images(), nullptr);
    EXPECT_TRUE(pages->TabBar()->tabIcon(1).isNull());

    auto* label = Get<TLabel>("lName");
    delete Get<TEdit>("eName");
    EXPECT_EQ(label->FocusControl(), nullptr);
}

TEST_F(ControlsTest, TimerFiresOnlyWhenEnabled)
{
    auto* timer = FindOwned<TTimer>(form.get(), "tiTick");
    ASSERT_NE(timer, nullptr);
    QTest::qWait(60);
    EXPECT_TRUE(form->Log.isEmpty());
    timer->SetEnabled(true);
    for (int i = 0; i < 200 && !form->Log.contains("tiTickTimer:tiTick"); ++i)
        QTest::qWait(10);
    EXPECT_TRUE(form->Log.contains("tiTickTimer:tiTick"));
    timer->SetEnabled(false);
}

// Captions show without the accelerator mark.
TEST(StripAccelChars, DropsTheMarkAndKeepsDoubledAmpersands)
{
    struct Row {
        int No;
        const char* Caption;
        const char* Shown;
    } rows[] = {
        {1, "&Name", "Name"},     {2, "a&&b", "a&b"}, {3, "&&&x", "&x"},
        {4, "end&", "end"},       {5, "", ""},        {6, "MN 169 : P/D", "MN 169 : P/D"},
        {7, "&Cancel", "Cancel"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(StripAccelChars(row.Caption), QString::fromUtf8(row.Shown)) << "row " << row.No;
}

} // namespace
