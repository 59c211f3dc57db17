#pragma once
// The standard controls: labels, buttons, edits, memos, combo and list boxes,
// check boxes, radio buttons and group boxes, with the framework's behaviour
// where Qt's differs:
//   - an edit's OnChange fires for every change of its text, the program's
//     included; a memo's likewise;
//   - setting Checked of a check box fires OnClick; setting Checked of a radio
//     button to true fires OnClick and clears the other radio buttons of the
//     same parent, and every radio button of a parent may be cleared;
//   - a combo box fires OnChange (and OnClick) only for the user's choice or
//     typing, a list box OnClick only for the user's choice;
//   - a label's "&" marks the accelerator letter and is not shown.
#include "platform/forms/Controls.h"
#include "platform/objects/Strings.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

enum class TTextLayout : uint8_t { tlTop, tlCenter, tlBottom };
enum class TEditCharCase : uint8_t { ecNormal, ecUpperCase, ecLowerCase };
enum class TEditBorderStyle : uint8_t { bsNone, bsSingle };
enum class TScrollStyle : uint8_t { ssNone, ssHorizontal, ssVertical, ssBoth };
enum class TComboBoxStyle : uint8_t {
    csDropDown,
    csSimple,
    csDropDownList,
    csOwnerDrawFixed,
    csOwnerDrawVariable,
};
enum class TCheckBoxState : uint8_t { cbUnchecked, cbChecked, cbGrayed };
enum class TStaticBorderStyle : uint8_t { sbsNone, sbsSingle, sbsSunken };

// The text a caption shows: "&&" gives "&", a single "&" (the accelerator
// mark) is dropped.
QString StripAccelChars(const QString& caption);

class TLabel : public TGraphicControl {
public:
    explicit TLabel(TComponent* owner);

    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment alignment);
    TTextLayout Layout() const { return FLayout; }
    void SetLayout(TTextLayout layout);
    // With AutoSize the label takes the size of its text (WordWrap: its
    // height only).
    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool autoSize);
    bool WordWrap() const { return FWordWrap; }
    void SetWordWrap(bool wordWrap);
    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool transparent);
    bool ShowAccelChar() const { return FShowAccelChar; }
    void SetShowAccelChar(bool show);
    TWinControl* FocusControl() const { return FFocusControl; }
    void SetFocusControl(TWinControl* control);

    QLabel* LabelWidget() const;
    bool ClicksOnMouseUp() const override { return true; }
    void Loaded() override;

protected:
    void TextChanged() override;
    void FontChanged() override;
    void ColorChanged() override;
    void Notification(TComponent* component, TOperation operation) override;

private:
    void ApplyTextAndAlignment();
    void AdjustBounds();

    TAlignment FAlignment = TAlignment::taLeftJustify;
    TTextLayout FLayout = TTextLayout::tlTop;
    bool FAutoSize = true;
    bool FWordWrap = false;
    bool FTransparent = false;
    bool FShowAccelChar = true;
    TWinControl* FFocusControl = nullptr;
};

class TStaticText : public TWinControl {
public:
    explicit TStaticText(TComponent* owner);

    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment alignment);
    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool autoSize);
    TStaticBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TStaticBorderStyle style);
    bool ShowAccelChar() const { return FShowAccelChar; }
    void SetShowAccelChar(bool show);

    bool ClicksOnMouseUp() const override { return true; }
    void Loaded() override;

protected:
    void TextChanged() override;
    void FontChanged() override;

private:
    void ApplyText();
    void AdjustBounds();

    TAlignment FAlignment = TAlignment::taLeftJustify;
    bool FAutoSize = true;
    TStaticBorderStyle FBorderStyle = TStaticBorderStyle::sbsNone;
    bool FShowAccelChar = true;
};

// A push button. A click first gives the form the button's ModalResult (a
// modal form then closes with it), then runs OnClick.
class TButton : public TWinControl {
public:
    explicit TButton(TComponent* owner);

    TModalResult ModalResult() const { return FModalResult; }
    void SetModalResult(TModalResult result) { FModalResult = result; }
    // Enter clicks the default button, Esc the cancel button of the form.
    bool Default() const { return FDefault; }
    void SetDefault(bool value);
    bool Cancel() const { return FCancel; }
    void SetCancel(bool value) { FCancel = value; }

    void Click() override;
    QPushButton* ButtonWidget() const;

protected:
    void TextChanged() override;
    QPalette::ColorRole BackgroundRole() const override { return QPalette::Button; }

private:
    TModalResult FModalResult = mrNone;
    bool FDefault = false;
    bool FCancel = false;
};

class TEdit : public TWinControl {
public:
    explicit TEdit(TComponent* owner);

    QString Text() const override;
    // Fires OnChange when the text changes, as a user's typing does.
    void SetText(const QString& text) override;
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool readOnly);
    int MaxLength() const { return FMaxLength; }
    void SetMaxLength(int maxLength);
    QChar PasswordChar() const { return FPasswordChar; }
    void SetPasswordChar(QChar c);
    TEditCharCase CharCase() const { return FCharCase; }
    void SetCharCase(TEditCharCase charCase);
    TEditBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TEditBorderStyle style);
    bool AutoSelect() const { return FAutoSelect; }
    void SetAutoSelect(bool autoSelect) { FAutoSelect = autoSelect; }
    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool autoSize) { FAutoSize = autoSize; }
    // Shown greyed while the edit is empty; never part of Text.
    QString TextHint() const { return FTextHint; }
    void SetTextHint(const QString& hint);
    void SelectAll();
    void Clear() { SetText(QString()); }

    QLineEdit* EditWidget() const;
    bool ClicksOnMouseUp() const override { return true; }

protected:
    void Change();
    QPalette::ColorRole BackgroundRole() const override { return QPalette::Base; }

private:
    QString Cased(const QString& text) const;

    bool FReadOnly = false;
    int FMaxLength = 0;
    QChar FPasswordChar;
    TEditCharCase FCharCase = TEditCharCase::ecNormal;
    TEditBorderStyle FBorderStyle = TEditBorderStyle::bsSingle;
    bool FAutoSelect = true;
    bool FAutoSize = true;
    QString FTextHint;
};

class TMemo : public TWinControl {
public:
    explicit TMemo(TComponent* owner);
    ~TMemo() override;

    // The lines; changing them shows them and fires OnChange.
    TStrings* Lines() const { return FLines.get(); }
    void SetLines(const TStrings* lines) { FLines->Assign(lines); }
    // The whole text, lines joined with CR LF.
    QString Text() const override;
    void SetText(const QString& text) override;
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool readOnly);
    TScrollStyle ScrollBars() const { return FScrollBars; }
    void SetScrollBars(TScrollStyle scrollBars);
    bool WordWrap() const { return FWordWrap; }
    void SetWordWrap(bool wordWrap);
    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment alignment) { FAlignment = alignment; }
    bool WantReturns() const { return FWantReturns; }
    void SetWantReturns(bool want) { FWantReturns = want; }
    bool WantTabs() const { return FWantTabs; }
    void SetWantTabs(bool want);
    int MaxLength() const { return FMaxLength; }
    void SetMaxLength(int maxLength) { FMaxLength = maxLength; }

    QPlainTextEdit* MemoWidget() const;

protected:
    QPalette::ColorRole BackgroundRole() const override { return QPalette::Base; }

private:
    void LinesChanged();
    void UserEdited();

    std::unique_ptr<TStrings> FLines;
    bool FSyncing = false;
    bool FReadOnly = false;
    TScrollStyle FScrollBars = TScrollStyle::ssNone;
    bool FWordWrap = true;
    TAlignment FAlignment = TAlignment::taLeftJustify;
    bool FWantReturns = true;
    bool FWantTabs = false;
    int FMaxLength = 0;
};

class TComboBox : public TWinControl {
public:
    explicit TComboBox(TComponent* owner);
    ~TComboBox() override;

    TStrings* Items() const { return FItems.get(); }
    void SetItems(const TStrings* items) { FItems->Assign(items); }
    // -1 for none. Setting it fires no event.
    int ItemIndex() const;
    void SetItemIndex(int index);
    // The edit text, or for a drop-down list the chosen item's text.
    QString Text() const override;
    void SetText(const QString& text) override;
    TComboBoxStyle Style() const { return FStyle; }
    void SetStyle(TComboBoxStyle style);
    bool Sorted() const { return FItems->Sorted(); }
    void SetSorted(bool sorted) { FItems->SetSorted(sorted); }
    int DropDownCount() const { return FDropDownCount; }
    void SetDropDownCount(int count);
    int MaxLength() const { return FMaxLength; }
    void SetMaxLength(int maxLength);
    int ItemHeight() const { return FItemHeight; }
    void SetItemHeight(int height) { FItemHeight = height; }
    void Clear();

    QComboBox* ComboWidget() const;
    void Loaded() override;

protected:
    QPalette::ColorRole BackgroundRole() const override { return QPalette::Base; }

private:
    void ItemsChanged();
    void UserSelected(int index);
    void UserTyped();

    std::unique_ptr<TStrings> FItems;
    TComboBoxStyle FStyle = TComboBoxStyle::csDropDown;
    bool FStylePending = false; // read from a stream: the style applies when loaded
    int FDropDownCount = 8;
    int FMaxLength = 0;
    int FItemHeight = 13;
    int FLoadedItemIndex = -1; // ItemIndex and Text read before the items
    QString FLoadedText;
    bool FHasLoadedText = false;
    QPointer<QObject> FTypingEdit; // the edit whose typing is connected
};

class TListBox : public TWinControl {
public:
    explicit TListBox(TComponent* owner);
    ~TListBox() override;

    TStrings* Items() const { return FItems.get(); }
    void SetItems(const TStrings* items) { FItems->Assign(items); }
    // -1 for none. Setting it fires no event.
    int ItemIndex() const;
    void SetItemIndex(int index);
    bool Sorted() const { return FItems->Sorted(); }
    void SetSorted(bool sorted) { FItems->SetSorted(sorted); }
    bool MultiSelect() const { return FMultiSelect; }
    void SetMultiSelect(bool multiSelect);
    bool Selected(int index) const;
    void SetSelected(int index, bool selected);
    int SelCount() const;
    int Columns() const { return FColumns; }
    void SetColumns(int columns) { FColumns = columns; }
    int ItemHeight() const { return FItemHeight; }
    void SetItemHeight(int height) { FItemHeight = height; }
    bool IntegralHeight() const { return FIntegralHeight; }
    void SetIntegralHeight(bool integral) { FIntegralHeight = integral; }
    void Clear() { FItems->Clear(); }

    QListWidget* ListWidget() const;
    void Loaded() override;

protected:
    QPalette::ColorRole BackgroundRole() const override { return QPalette::Base; }

private:
    void ItemsChanged();

    std::unique_ptr<TStrings> FItems;
    bool FMultiSelect = false;
    int FColumns = 0;
    int FItemHeight = 13;
    bool FIntegralHeight = false;
    int FLoadedItemIndex = -1;
};

class TCheckBox : public TWinControl {
public:
    explicit TCheckBox(TComponent* owner);

    bool Checked() const { return FState == TCheckBoxState::cbChecked; }
    // Fires OnClick when the state changes.
    void SetChecked(bool checked);
    TCheckBoxState State() const { return FState; }
    void SetState(TCheckBoxState state);
    bool AllowGrayed() const { return FAllowGrayed; }
    void SetAllowGrayed(bool allow);
    // taRightJustify (the default) puts the text right of the box.
    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment alignment);

    QCheckBox* CheckWidget() const;

protected:
    void TextChanged() override;

private:
    void ShowState();

    TCheckBoxState FState = TCheckBoxState::cbUnchecked;
    bool FAllowGrayed = false;
    TAlignment FAlignment = TAlignment::taRightJustify;
};

class TRadioButton : public TWinControl {
public:
    explicit TRadioButton(TComponent* owner);

    bool Checked() const { return FChecked; }
    // Setting true clears the other radio buttons of the parent and fires
    // OnClick; setting false fires nothing.
    void SetChecked(bool checked);
    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment alignment);

    QRadioButton* RadioWidget() const;

protected:
    void TextChanged() override;

private:
    void ShowChecked();

    bool FChecked = false;
    TAlignment FAlignment = TAlignment::taRightJustify;
};

class TGroupBox : public TWinControl {
public:
    explicit TGroupBox(TComponent* owner);

    QGroupBox* GroupWidget() const;
    bool ClicksOnMouseUp() const override { return true; }

protected:
    void TextChanged() override;
};
