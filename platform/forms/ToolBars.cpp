#include "platform/forms/ToolBars.h"

#include "platform/forms/EventBoundary.h"
#include "platform/forms/ImgList.h"

#include <QAction>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QToolButton>

#include <algorithm>

// ---------------------------------------------------------------------------
// TToolBar

TToolBar::TToolBar(TComponent* owner) : TWinControl(owner)
{
    InitColor(clBtnFace, false);
    SetWidget(new QFrame);
    SetBounds(0, 0, 150, 29);
    SetAlign(TAlign::alTop);
}

void TToolBar::SetImages(TImageList* images)
{
    ReferenceComponent(this, FImages, images);
    for (int i = 0; i < ControlCount(); ++i) {
        if (auto* button = dynamic_cast<TToolButton*>(Controls(i)))
            button->UpdateImage();
    }
}

void TToolBar::SetButtonWidth(int width)
{
    FButtonWidth = width;
    ArrangeControls();
}

void TToolBar::SetButtonHeight(int height)
{
    FButtonHeight = height;
    ArrangeControls();
}

void TToolBar::Notification(TComponent* component, TOperation operation)
{
    TWinControl::Notification(component, operation);
    if (operation == TOperation::opRemove && component == FImages)
        FImages = nullptr;
}

void TToolBar::Loaded()
{
    TWinControl::Loaded();
    ArrangeControls();
}

void TToolBar::InsertControl(TControl* control)
{
    TWinControl::InsertControl(control);
    ArrangeControls();
}

void TToolBar::ControlBoundsChanged(TControl* /*control*/)
{
    ArrangeControls();
}

void TToolBar::BoundsChanged()
{
    ArrangeControls();
}

// The controls in the order of their Left, side by side from the bar's left
// edge; tool buttons take the bar's button size, every control is centred
// in the bar's height.
void TToolBar::ArrangeControls()
{
    if (FArranging || ComponentState().Contains(TComponentStateFlag::csLoading))
        return;
    FArranging = true;
    std::vector<TControl*> controls;
    for (int i = 0; i < ControlCount(); ++i) {
        if (Controls(i)->Visible())
            controls.push_back(Controls(i));
    }
    std::stable_sort(controls.begin(), controls.end(),
                     [](const TControl* a, const TControl* b) { return a->Left() < b->Left(); });
    int x = 0;
    for (TControl* control : controls) {
        int width = control->Width();
        int height = control->Height();
        auto* button = dynamic_cast<TToolButton*>(control);
        if (button && !button->IsSeparator()) {
            width = FButtonWidth;
            height = FButtonHeight;
        } else if (button) {
            height = FButtonHeight;
        }
        control->SetBounds(x, std::max(0, (ClientHeight() - height) / 2), width, height);
        x += width;
    }
    FArranging = false;
}

// ---------------------------------------------------------------------------
// TToolButton

TToolButton::TToolButton(TComponent* owner) : TGraphicControl(owner)
{
    auto* button = new QToolButton;
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    SetWidget(button);
    QObject::connect(button, &QToolButton::clicked, SignalContext(), [this] {
        if (!FAction && EventsEnabled())
            GuardEvent([this] { Click(); });
    });
    SetBounds(0, 0, 23, 22);
}

TToolButton::~TToolButton()
{
    if (FAction)
        FAction->RemoveClient(this);
}

QToolButton* TToolButton::Button() const
{
    return static_cast<QToolButton*>(Widget());
}

void TToolButton::SetStyle(TToolButtonStyle style)
{
    FStyle = style;
    Button()->setCheckable(style == TToolButtonStyle::tbsCheck);
    if (IsSeparator()) {
        Button()->setEnabled(false);
        SetBounds(Left(), Top(), 8, Height());
    }
}

void TToolButton::SetImageIndex(int index)
{
    FImageIndex = index;
    UpdateImage();
}

void TToolButton::SetEnabled(bool enabled)
{
    TGraphicControl::SetEnabled(enabled && !IsSeparator());
}

void TToolButton::UpdateImage()
{
    if (FAction || IsSeparator())
        return;
    auto* bar = dynamic_cast<TToolBar*>(Parent());
    TImageList* images = bar ? bar->Images() : nullptr;
    if (images && FImageIndex >= 0 && FImageIndex < images->Count())
        Button()->setIcon(QIcon(QPixmap::fromImage(images->Image(FImageIndex))));
    else
        Button()->setIcon(QIcon());
}

void TToolButton::TextChanged()
{
    if (!FAction)
        Button()->setText(Text());
}

void TToolButton::SetAction(TAction* action)
{
    if (!LinkAction(this, FAction, action))
        return;
    Button()->setDefaultAction(FAction ? FAction->QtAction() : nullptr);
    ActionChanged();
}

void TToolButton::ActionChanged()
{
    if (!FAction)
        return;
    FImageIndex = FAction->ImageIndex();
    FText = FAction->Caption();
    SetHint(FAction->Hint());
    TGraphicControl::SetEnabled(FAction->Enabled());
}

void TToolButton::Notification(TComponent* component, TOperation operation)
{
    TGraphicControl::Notification(component, operation);
    if (operation == TOperation::opRemove && component == FAction) {
        FAction = nullptr;
        Button()->setDefaultAction(nullptr);
    }
}

void TToolButton::Click()
{
    if (FAction)
        FAction->Execute();
    else
        TGraphicControl::Click();
}

// ---------------------------------------------------------------------------
// TStatusBar

TStatusBar::TStatusBar(TComponent* owner) : TWinControl(owner)
{
    InitColor(clBtnFace, false);
    auto* frame = new QFrame;
    frame->setFrameShape(QFrame::StyledPanel);
    auto* layout = new QHBoxLayout(frame);
    layout->setContentsMargins(4, 0, 4, 0);
    FLabel = new QLabel(frame);
    FLabel->setObjectName(QStringLiteral("SimpleText"));
    layout->addWidget(FLabel);
    SetWidget(frame);
    SetBounds(0, 0, 150, 19);
    SetAlign(TAlign::alBottom);
}

QString TStatusBar::SimpleText() const
{
    return FLabel->text();
}

void TStatusBar::SetSimpleText(const QString& text)
{
    FLabel->setText(text);
}
