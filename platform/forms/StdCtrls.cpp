#include "platform/forms/StdCtrls.h"

#include "platform/forms/EventBoundary.h"
#include "platform/forms/Forms.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>

#include <algorithm>
#include <climits>

namespace {

Qt::Alignment HorizontalAlignment(TAlignment alignment)
{
    switch (alignment) {
    case TAlignment::taRightJustify:
        return Qt::AlignRight;
    case TAlignment::taCenter:
        return Qt::AlignHCenter;
    default:
        return Qt::AlignLeft;
    }
}

Qt::Alignment VerticalAlignment(TTextLayout layout)
{
    switch (layout) {
    case TTextLayout::tlCenter:
        return Qt::AlignVCenter;
    case TTextLayout::tlBottom:
        return Qt::AlignBottom;
    default:
        return Qt::AlignTop;
    }
}

// The size of a text in a font, as a label sizes itself: an empty text
// measures as one blank, so that an empty label keeps the height of a line.
QSize TextExtent(const QFont& font, QString text)
{
    if (text.isEmpty())
        text = QStringLiteral(" ");
    const QFontMetrics metrics(font);
    int width = 0;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString& line : lines)
        width = std::max(width, metrics.horizontalAdvance(line));
    return QSize(width, metrics.height() * int(lines.size()));
}

QStringList LinesOf(const TStrings& strings)
{
    return strings.ToQStringList();
}

} // namespace

QString StripAccelChars(const QString& caption)
{
    QString result;
    result.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] != u'&') {
            result += caption[i];
            continue;
        }
        if (i + 1 < caption.size() && caption[i + 1] == u'&') {
            result += u'&';
            ++i;
        }
    }
    return result;
}

// ---------------------------------------------------------------------------
// TLabel

TLabel::TLabel(TComponent* owner) : TGraphicControl(owner)
{
    InitColor(clBtnFace, true);
    auto* label = new QLabel;
    label->setTextFormat(Qt::PlainText);
    label->setFocusPolicy(Qt::NoFocus);
    SetWidget(label);
    ApplyTextAndAlignment();
    SetBounds(0, 0, 65, 13);
}

QLabel* TLabel::LabelWidget() const
{
    return static_cast<QLabel*>(Widget());
}

void TLabel::SetAlignment(TAlignment alignment)
{
    FAlignment = alignment;
    ApplyTextAndAlignment();
}

void TLabel::SetLayout(TTextLayout layout)
{
    FLayout = layout;
    ApplyTextAndAlignment();
}

void TLabel::SetAutoSize(bool autoSize)
{
    FAutoSize = autoSize;
    AdjustBounds();
}

void TLabel::SetWordWrap(bool wordWrap)
{
    FWordWrap = wordWrap;
    ApplyTextAndAlignment();
    AdjustBounds();
}

void TLabel::SetTransparent(bool transparent)
{
    FTransparent = transparent;
    ColorChanged();
}

void TLabel::SetShowAccelChar(bool show)
{
    FShowAccelChar = show;
    ApplyTextAndAlignment();
    AdjustBounds();
}

void TLabel::SetFocusControl(TWinControl* control)
{
    ReferenceComponent(this, FFocusControl, control);
}

void TLabel::Notification(TComponent* component, TOperation operation)
{
    TGraphicControl::Notification(component, operation);
    if (operation == TOperation::opRemove && component == FFocusControl)
        FFocusControl = nullptr;
}

void TLabel::TextChanged()
{
    ApplyTextAndAlignment();
    AdjustBounds();
}

void TLabel::FontChanged()
{
    TGraphicControl::FontChanged();
    AdjustBounds();
}

void TLabel::ColorChanged()
{
    TGraphicControl::ColorChanged();
    if (FTransparent && Widget())
        Widget()->setAutoFillBackground(false);
}

void TLabel::Loaded()
{
    TGraphicControl::Loaded();
    AdjustBounds();
}

void TLabel::ApplyTextAndAlignment()
{
    QLabel* label = LabelWidget();
    if (!label)
        return;
    label->setText(FShowAccelChar ? StripAccelChars(FText) : FText);
    label->setAlignment(HorizontalAlignment(FAlignment) | VerticalAlignment(FLayout));
    label->setWordWrap(FWordWrap);
}

void TLabel::AdjustBounds()
{
    QLabel* label = LabelWidget();
    if (!FAutoSize || !label || ComponentState().Contains(TComponentStateFlag::csLoading))
        return;
    const QString text = label->text();
    if (FWordWrap) {
        const QFontMetrics metrics(label->font());
        const QRect rect = metrics.boundingRect(QRect(0, 0, std::max(Width(), 1), INT_MAX / 2),
                                                int(Qt::TextWordWrap | HorizontalAlignment(FAlignment)),
                                                text.isEmpty() ? QStringLiteral(" ") : text);
        SetBounds(Left(), Top(), Width(), rect.height());
        return;
    }
    const QSize size = TextExtent(label->font(), text);
    // A right-justified label keeps its right edge.
    const int left = FAlignment == TAlignment::taRightJustify ? Left() + Width() - size.width() : Left();
    SetBounds(left, Top(), size.width(), size.height());
}

// ---------------------------------------------------------------------------
// TStaticText

TStaticText::TStaticText(TComponent* owner) : TWinControl(owner)
{
    InitColor(clBtnFace, true);
    auto* label = new QLabel;
    label->setTextFormat(Qt::PlainText);
    label->setFocusPolicy(Qt::NoFocus);
    SetWidget(label);
    SetBounds(0, 0, 65, 17);
}

void TStaticText::SetAlignment(TAlignment alignment)
{
    FAlignment = alignment;
    ApplyText();
}

void TStaticText::SetAutoSize(bool autoSize)
{
    FAutoSize = autoSize;
    AdjustBounds();
}

void TStaticText::SetBorderStyle(TStaticBorderStyle style)
{
    FBorderStyle = style;
    auto* label = static_cast<QLabel*>(Widget());
    switch (style) {
    case TStaticBorderStyle::sbsSingle:
        label->setFrameStyle(QFrame::Box | QFrame::Plain);
        break;
    case TStaticBorderStyle::sbsSunken:
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        break;
    default:
        label->setFrameStyle(QFrame::NoFrame);
        break;
    }
    AdjustBounds();
}

void TStaticText::SetShowAccelChar(bool show)
{
    FShowAccelChar = show;
    ApplyText();
}

void TStaticText::TextChanged()
{
    ApplyText();
}

void TStaticText::FontChanged()
{
    TWinControl::FontChanged();
    AdjustBounds();
}

void TStaticText::Loaded()
{
    TWinControl::Loaded();
    AdjustBounds();
}

void TStaticText::ApplyText()
{
    auto* label = static_cast<QLabel*>(Widget());
    if (!label)
        return;
    label->setText(FShowAccelChar ? StripAccelChars(FText) : FText);
    label->setAlignment(HorizontalAlignment(FAlignment) | Qt::AlignTop);
    AdjustBounds();
}

void TStaticText::AdjustBounds()
{
    auto* label = static_cast<QLabel*>(Widget());
    if (!FAutoSize || !label || ComponentState().Contains(TComponentStateFlag::csLoading))
        return;
    const int frame = 2 * label->frameWidth();
    const QSize size = TextExtent(label->font(), label->text());
    SetBounds(Left(), Top(), size.width() + frame, size.height() + frame);
}

// ---------------------------------------------------------------------------
// TButton

TButton::TButton(TComponent* owner) : TWinControl(owner)
{
    auto* button = new QPushButton;
    button->setAutoDefault(false);
    SetWidget(button);
    QObject::connect(button, &QPushButton::clicked, SignalContext(),
                     [this] { GuardEvent([this] { Click(); }); });
    SetTabStop(true);
    SetBounds(0, 0, 75, 25);
}

QPushButton* TButton::ButtonWidget() const
{
    return static_cast<QPushButton*>(Widget());
}

void TButton::SetDefault(bool value)
{
    FDefault = value;
    ButtonWidget()->setDefault(value);
}

void TButton::Click()
{
    if (TCustomForm* form = ParentForm())
        form->SetModalResult(FModalResult);
    TWinControl::Click();
}

void TButton::TextChanged()
{
    ButtonWidget()->setText(FText);
}

// ---------------------------------------------------------------------------
// TEdit

TEdit::TEdit(TComponent* owner) : TWinControl(owner)
{
    InitColor(clWindow, false);
    auto* edit = new QLineEdit;
    edit->setMaxLength(32767);
    SetWidget(edit);
    QObject::connect(edit, &QLineEdit::textEdited, SignalContext(), [this, edit](const QString& text) {
        GuardEvent([this, edit, &text] {
            const QString cased = Cased(text);
            if (cased != text) {
                const int cursor = edit->cursorPosition();
                edit->setText(cased);
                edit->setCursorPosition(cursor);
            }
            Change();
        });
    });
    SetTabStop(true);
    SetBounds(0, 0, 121, 21);
}

QLineEdit* TEdit::EditWidget() const
{
    return static_cast<QLineEdit*>(Widget());
}

QString TEdit::Text() const
{
    return EditWidget()->text();
}

void TEdit::SetText(const QString& text)
{
    const QString cased = Cased(text);
    if (cased == EditWidget()->text())
        return;
    EditWidget()->setText(cased);
    Change();
}

void TEdit::Change()
{
    FireNotify(QStringLiteral("OnChange"));
}

QString TEdit::Cased(const QString& text) const
{
    switch (FCharCase) {
    case TEditCharCase::ecUpperCase:
        return text.toUpper();
    case TEditCharCase::ecLowerCase:
        return text.toLower();
    default:
        return text;
    }
}

void TEdit::SetReadOnly(bool readOnly)
{
    FReadOnly = readOnly;
    EditWidget()->setReadOnly(readOnly);
}

void TEdit::SetMaxLength(int maxLength)
{
    FMaxLength = std::max(maxLength, 0);
    EditWidget()->setMaxLength(FMaxLength == 0 ? 32767 : FMaxLength);
}

void TEdit::SetPasswordChar(QChar c)
{
    FPasswordChar = c;
    EditWidget()->setEchoMode(c.isNull() ? QLineEdit::Normal : QLineEdit::Password);
}

void TEdit::SetCharCase(TEditCharCase charCase)
{
    FCharCase = charCase;
    SetText(Text());
}

void TEdit::SetBorderStyle(TEditBorderStyle style)
{
    FBorderStyle = style;
    EditWidget()->setFrame(style == TEditBorderStyle::bsSingle);
}

void TEdit::SetTextHint(const QString& hint)
{
    FTextHint = hint;
    EditWidget()->setPlaceholderText(hint);
}

void TEdit::SelectAll()
{
    EditWidget()->selectAll();
}

// ---------------------------------------------------------------------------
// TMemo

TMemo::TMemo(TComponent* owner) : TWinControl(owner), FLines(std::make_unique<TStrings>())
{
    InitColor(clWindow, false);
    auto* memo = new QPlainTextEdit;
    SetWidget(memo);
    AddSubWidget(memo->viewport());
    FLines->OnChange = [this](TStringList&) { LinesChanged(); };
    QObject::connect(memo, &QPlainTextEdit::textChanged, SignalContext(), [this] {
        if (!FSyncing)
            GuardEvent([this] { UserEdited(); });
    });
    SetScrollBars(TScrollStyle::ssNone);
    SetWordWrap(true);
    SetWantTabs(false);
    SetTabStop(true);
    SetBounds(0, 0, 185, 89);
}

TMemo::~TMemo()
{
    FLines->OnChange = nullptr;
}

QPlainTextEdit* TMemo::MemoWidget() const
{
    return static_cast<QPlainTextEdit*>(Widget());
}

QString TMemo::Text() const
{
    return MemoWidget()->toPlainText().replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
}

void TMemo::SetText(const QString& text)
{
    FLines->SetText(text);
}

void TMemo::LinesChanged()
{
    if (FSyncing)
        return;
    FSyncing = true;
    MemoWidget()->setPlainText(LinesOf(*FLines).join(QLatin1Char('\n')));
    FSyncing = false;
    FireNotify(QStringLiteral("OnChange"));
}

void TMemo::UserEdited()
{
    FSyncing = true;
    try {
        FLines->SetText(MemoWidget()->toPlainText());
    } catch (...) {
        FSyncing = false;
        throw;
    }
    FSyncing = false;
    FireNotify(QStringLiteral("OnChange"));
}

void TMemo::SetReadOnly(bool readOnly)
{
    FReadOnly = readOnly;
    MemoWidget()->setReadOnly(readOnly);
}

void TMemo::SetScrollBars(TScrollStyle scrollBars)
{
    FScrollBars = scrollBars;
    const bool horizontal = scrollBars == TScrollStyle::ssHorizontal || scrollBars == TScrollStyle::ssBoth;
    const bool vertical = scrollBars == TScrollStyle::ssVertical || scrollBars == TScrollStyle::ssBoth;
    MemoWidget()->setHorizontalScrollBarPolicy(horizontal ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    MemoWidget()->setVerticalScrollBarPolicy(vertical ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
}

void TMemo::SetWordWrap(bool wordWrap)
{
    FWordWrap = wordWrap;
    MemoWidget()->setLineWrapMode(wordWrap ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
}

void TMemo::SetWantTabs(bool want)
{
    FWantTabs = want;
    MemoWidget()->setTabChangesFocus(!want);
}

// ---------------------------------------------------------------------------
// TComboBox

TComboBox::TComboBox(TComponent* owner) : TWinControl(owner), FItems(std::make_unique<TStrings>())
{
    InitColor(clWindow, false);
    auto* combo = new QComboBox;
    combo->setInsertPolicy(QComboBox::NoInsert);
    SetWidget(combo);
    FItems->OnChange = [this](TStringList&) { ItemsChanged(); };
    QObject::connect(combo, &QComboBox::activated, SignalContext(),
                     [this](int index) { GuardEvent([this, index] { UserSelected(index); }); });
    // Read from a form stream the combo takes its style when it is loaded,
    // rather than making the typing edit of the default style first and
    // dropping it again for a drop-down list.
    if (owner && owner->ComponentState().Contains(TComponentStateFlag::csLoading))
        FStylePending = true;
    else
        SetStyle(TComboBoxStyle::csDropDown);
    SetTabStop(true);
    SetBounds(0, 0, 145, 21);
}

TComboBox::~TComboBox()
{
    FItems->OnChange = nullptr;
}

QComboBox* TComboBox::ComboWidget() const
{
    return static_cast<QComboBox*>(Widget());
}

void TComboBox::SetStyle(TComboBoxStyle style)
{
    FStyle = style;
    if (ComponentState().Contains(TComponentStateFlag::csLoading)) {
        FStylePending = true;
        return;
    }
    FStylePending = false;
    QComboBox* combo = ComboWidget();
    const bool editable = style == TComboBoxStyle::csDropDown || style == TComboBoxStyle::csSimple;
    const QSignalBlocker blocker(combo);
    combo->setEditable(editable);
    QLineEdit* edit = combo->lineEdit();
    if (edit && edit != FTypingEdit) {
        FTypingEdit = edit;
        edit->setMaxLength(FMaxLength == 0 ? 32767 : FMaxLength);
        AddSubWidget(edit);
        QObject::connect(edit, &QLineEdit::textEdited, SignalContext(),
                         [this] { GuardEvent([this] { UserTyped(); }); });
    }
}

void TComboBox::SetDropDownCount(int count)
{
    FDropDownCount = std::max(count, 1);
    ComboWidget()->setMaxVisibleItems(FDropDownCount);
}

void TComboBox::SetMaxLength(int maxLength)
{
    FMaxLength = std::max(maxLength, 0);
    if (QLineEdit* edit = ComboWidget()->lineEdit())
        edit->setMaxLength(FMaxLength == 0 ? 32767 : FMaxLength);
}

int TComboBox::ItemIndex() const
{
    QComboBox* combo = ComboWidget();
    const int index = combo->currentIndex();
    // Text typed over the chosen item leaves no item chosen.
    if (index >= 0 && combo->isEditable() && combo->itemText(index) != combo->currentText())
        return -1;
    return index;
}

void TComboBox::SetItemIndex(int index)
{
    if (ComponentState().Contains(TComponentStateFlag::csLoading)) {
        FLoadedItemIndex = index;
        return;
    }
    QComboBox* combo = ComboWidget();
    const QSignalBlocker blocker(combo);
    combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
    if (combo->currentIndex() < 0 && combo->lineEdit())
        combo->lineEdit()->clear();
}

QString TComboBox::Text() const
{
    QComboBox* combo = ComboWidget();
    if (!combo->isEditable())
        return combo->currentIndex() >= 0 ? combo->currentText() : QString();
    return combo->currentText();
}

void TComboBox::SetText(const QString& text)
{
    if (ComponentState().Contains(TComponentStateFlag::csLoading)) {
        FLoadedText = text;
        FHasLoadedText = true;
        return;
    }
    QComboBox* combo = ComboWidget();
    const QSignalBlocker blocker(combo);
    const int index = FItems->IndexOf(text);
    if (!combo->isEditable()) {
        if (index >= 0)
            combo->setCurrentIndex(index);
        return;
    }
    if (index >= 0)
        combo->setCurrentIndex(index);
    combo->lineEdit()->setText(text);
}

void TComboBox::Clear()
{
    FItems->Clear();
    SetText(QString());
}

void TComboBox::ItemsChanged()
{
    QComboBox* combo = ComboWidget();
    const QSignalBlocker blocker(combo);
    const int index = combo->currentIndex();
    const QString text = combo->currentText();
    combo->clear();
    combo->addItems(LinesOf(*FItems));
    // Adding to an empty box chooses its first item in Qt, never here.
    combo->setCurrentIndex(index < combo->count() ? index : -1);
    if (combo->lineEdit())
        combo->lineEdit()->setText(combo->count() == 0 ? QString() : text);
}

void TComboBox::UserSelected(int index)
{
    static_cast<void>(index);
    Click();
    FireNotify(QStringLiteral("OnChange"));
}

void TComboBox::UserTyped()
{
    FireNotify(QStringLiteral("OnChange"));
}

void TComboBox::Loaded()
{
    TWinControl::Loaded();
    if (FStylePending)
        SetStyle(FStyle);
    if (FLoadedItemIndex >= 0)
        SetItemIndex(FLoadedItemIndex);
    else if (FHasLoadedText)
        SetText(FLoadedText);
    FLoadedItemIndex = -1;
    FHasLoadedText = false;
}

// ---------------------------------------------------------------------------
// TListBox

TListBox::TListBox(TComponent* owner) : TWinControl(owner), FItems(std::make_unique<TStrings>())
{
    InitColor(clWindow, false);
    auto* list = new QListWidget;
    SetWidget(list);
    AddSubWidget(list->viewport());
    FItems->OnChange = [this](TStringList&) { ItemsChanged(); };
    QObject::connect(list, &QListWidget::currentRowChanged, SignalContext(),
                     [this] { GuardEvent([this] { Click(); }); });
    SetTabStop(true);
    SetBounds(0, 0, 121, 97);
}

TListBox::~TListBox()
{
    FItems->OnChange = nullptr;
}

QListWidget* TListBox::ListWidget() const
{
    return static_cast<QListWidget*>(Widget());
}

int TListBox::ItemIndex() const
{
    return ListWidget()->currentRow();
}

void TListBox::SetItemIndex(int index)
{
    if (ComponentState().Contains(TComponentStateFlag::csLoading)) {
        FLoadedItemIndex = index;
        return;
    }
    QListWidget* list = ListWidget();
    const QSignalBlocker blocker(list);
    list->setCurrentRow(index >= 0 && index < list->count() ? index : -1);
    if (list->currentRow() < 0)
        list->clearSelection();
}

void TListBox::SetMultiSelect(bool multiSelect)
{
    FMultiSelect = multiSelect;
    ListWidget()->setSelectionMode(multiSelect ? QAbstractItemView::ExtendedSelection
                                               : QAbstractItemView::SingleSelection);
}

bool TListBox::Selected(int index) const
{
    QListWidgetItem* item = ListWidget()->item(index);
    if (!item)
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(index));
    return item->isSelected();
}

void TListBox::SetSelected(int index, bool selected)
{
    QListWidgetItem* item = ListWidget()->item(index);
    if (!item)
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(index));
    const QSignalBlocker blocker(ListWidget());
    item->setSelected(selected);
}

int TListBox::SelCount() const
{
    return int(ListWidget()->selectedItems().size());
}

void TListBox::ItemsChanged()
{
    QListWidget* list = ListWidget();
    const QSignalBlocker blocker(list);
    const int index = list->currentRow();
    list->clear();
    list->addItems(LinesOf(*FItems));
    list->setCurrentRow(index < list->count() ? index : -1);
}

void TListBox::Loaded()
{
    TWinControl::Loaded();
    if (FLoadedItemIndex >= 0)
        SetItemIndex(FLoadedItemIndex);
    FLoadedItemIndex = -1;
}

// ---------------------------------------------------------------------------
// TCheckBox

TCheckBox::TCheckBox(TComponent* owner) : TWinControl(owner)
{
    InitColor(clBtnFace, true);
    auto* box = new QCheckBox;
    SetWidget(box);
    QObject::connect(box, &QCheckBox::clicked, SignalContext(), [this, box] {
        GuardEvent([this, box] {
            switch (box->checkState()) {
            case Qt::Checked:
                FState = TCheckBoxState::cbChecked;
                break;
            case Qt::PartiallyChecked:
                FState = TCheckBoxState::cbGrayed;
                break;
            default:
                FState = TCheckBoxState::cbUnchecked;
                break;
            }
            Click();
        });
    });
    SetTabStop(true);
    SetBounds(0, 0, 97, 17);
}

QCheckBox* TCheckBox::CheckWidget() const
{
    return static_cast<QCheckBox*>(Widget());
}

void TCheckBox::SetChecked(bool checked)
{
    SetState(checked ? TCheckBoxState::cbChecked : TCheckBoxState::cbUnchecked);
}

void TCheckBox::SetState(TCheckBoxState state)
{
    if (state == FState)
        return;
    FState = state;
    ShowState();
    Click();
}

void TCheckBox::SetAllowGrayed(bool allow)
{
    FAllowGrayed = allow;
    CheckWidget()->setTristate(allow);
    ShowState();
}

void TCheckBox::SetAlignment(TAlignment alignment)
{
    FAlignment = alignment;
    CheckWidget()->setLayoutDirection(alignment == TAlignment::taLeftJustify ? Qt::RightToLeft
                                                                             : Qt::LeftToRight);
}

void TCheckBox::ShowState()
{
    QCheckBox* box = CheckWidget();
    const QSignalBlocker blocker(box);
    switch (FState) {
    case TCheckBoxState::cbChecked:
        box->setCheckState(Qt::Checked);
        break;
    case TCheckBoxState::cbGrayed:
        box->setCheckState(Qt::PartiallyChecked);
        break;
    default:
        box->setCheckState(Qt::Unchecked);
        break;
    }
}

void TCheckBox::TextChanged()
{
    CheckWidget()->setText(FText);
}

// ---------------------------------------------------------------------------
// TRadioButton

TRadioButton::TRadioButton(TComponent* owner) : TWinControl(owner)
{
    InitColor(clBtnFace, true);
    auto* radio = new QRadioButton;
    // Exclusivity is kept here, so that all buttons of a group can be clear.
    radio->setAutoExclusive(false);
    SetWidget(radio);
    QObject::connect(radio, &QRadioButton::clicked, SignalContext(), [this] {
        GuardEvent([this] {
            if (FChecked)
                ShowChecked(); // Qt unchecked it; a click never clears a radio button
            else
                SetChecked(true);
        });
    });
    SetTabStop(true);
    SetBounds(0, 0, 113, 17);
}

QRadioButton* TRadioButton::RadioWidget() const
{
    return static_cast<QRadioButton*>(Widget());
}

void TRadioButton::SetChecked(bool checked)
{
    if (checked == FChecked)
        return;
    FChecked = checked;
    ShowChecked();
    if (!checked)
        return;
    if (TWinControl* parent = Parent()) {
        for (int i = 0; i < parent->ControlCount(); ++i) {
            auto* sibling = dynamic_cast<TRadioButton*>(parent->Controls(i));
            if (sibling && sibling != this)
                sibling->SetChecked(false);
        }
    }
    Click();
}

void TRadioButton::SetAlignment(TAlignment alignment)
{
    FAlignment = alignment;
    RadioWidget()->setLayoutDirection(alignment == TAlignment::taLeftJustify ? Qt::RightToLeft
                                                                             : Qt::LeftToRight);
}

void TRadioButton::ShowChecked()
{
    const QSignalBlocker blocker(RadioWidget());
    RadioWidget()->setChecked(FChecked);
}

void TRadioButton::TextChanged()
{
    RadioWidget()->setText(FText);
}

// ---------------------------------------------------------------------------
// TGroupBox

TGroupBox::TGroupBox(TComponent* owner) : TWinControl(owner)
{
    InitColor(clBtnFace, true);
    auto* group = new QGroupBox;
    group->setFocusPolicy(Qt::NoFocus);
    SetWidget(group);
    SetBounds(0, 0, 185, 105);
}

QGroupBox* TGroupBox::GroupWidget() const
{
    return static_cast<QGroupBox*>(Widget());
}

void TGroupBox::TextChanged()
{
    GroupWidget()->setTitle(FText);
}
