#include "platform/forms/Buttons.h"

#include "platform/forms/EventBoundary.h"
#include "platform/forms/Forms.h"

#include <QApplication>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QToolButton>

namespace {

struct TKindInfo {
    const char* Caption;
    TModalResult Result;
    QStyle::StandardPixmap Icon;
};

// The captions, modal results and pictures of the standard kinds.
TKindInfo KindInfo(TBitBtnKind kind)
{
    switch (kind) {
    case TBitBtnKind::bkOK:
        return {"OK", mrOk, QStyle::SP_DialogOkButton};
    case TBitBtnKind::bkCancel:
        return {"Cancel", mrCancel, QStyle::SP_DialogCancelButton};
    case TBitBtnKind::bkHelp:
        return {"&Help", mrNone, QStyle::SP_DialogHelpButton};
    case TBitBtnKind::bkYes:
        return {"&Yes", mrYes, QStyle::SP_DialogYesButton};
    case TBitBtnKind::bkNo:
        return {"&No", mrNo, QStyle::SP_DialogNoButton};
    case TBitBtnKind::bkClose:
        return {"&Close", mrNone, QStyle::SP_DialogCloseButton};
    case TBitBtnKind::bkAbort:
        return {"Abort", mrAbort, QStyle::SP_DialogAbortButton};
    case TBitBtnKind::bkRetry:
        return {"&Retry", mrRetry, QStyle::SP_DialogRetryButton};
    case TBitBtnKind::bkIgnore:
        return {"&Ignore", mrIgnore, QStyle::SP_DialogIgnoreButton};
    case TBitBtnKind::bkAll:
        return {"&All", mrAll, QStyle::SP_DialogYesToAllButton};
    default:
        return {"", mrNone, QStyle::SP_CustomBase};
    }
}

Qt::ToolButtonStyle ToolStyle(TButtonLayout layout, bool hasGlyph, bool hasText)
{
    if (!hasGlyph)
        return Qt::ToolButtonTextOnly;
    if (!hasText)
        return Qt::ToolButtonIconOnly;
    return layout == TButtonLayout::blGlyphTop || layout == TButtonLayout::blGlyphBottom
               ? Qt::ToolButtonTextUnderIcon
               : Qt::ToolButtonTextBesideIcon;
}

} // namespace

QIcon GlyphIcon(const TBitmap& glyph, int numGlyphs)
{
    const QImage image = glyph.ToImage();
    if (image.isNull() || image.width() == 0 || image.height() == 0)
        return QIcon();
    const int count = std::clamp(numGlyphs, 1, 4);
    const int width = std::max(1, image.width() / count);
    auto slice = [&](int index) {
        QImage part =
            image.copy(index * width, 0, width, image.height()).convertToFormat(QImage::Format_ARGB32);
        const QRgb transparent = part.pixel(0, part.height() - 1);
        for (int y = 0; y < part.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(part.scanLine(y));
            for (int x = 0; x < part.width(); ++x) {
                if (line[x] == transparent)
                    line[x] = 0;
            }
        }
        return QPixmap::fromImage(part);
    };
    QIcon icon(slice(0));
    if (count >= 2 && image.width() >= 2 * width)
        icon.addPixmap(slice(1), QIcon::Disabled);
    return icon;
}

// ---------------------------------------------------------------------------
// TBitBtn

TBitBtn::TBitBtn(TComponent* owner) : TGlyphButton(owner) {}

void TBitBtn::SetKind(TBitBtnKind kind)
{
    if (kind == FKind)
        return;
    FKind = kind;
    if (kind != TBitBtnKind::bkCustom) {
        const TKindInfo info = KindInfo(kind);
        SetDefault(kind == TBitBtnKind::bkOK || kind == TBitBtnKind::bkYes);
        SetCancel(kind == TBitBtnKind::bkCancel || kind == TBitBtnKind::bkNo);
        // A caption read from the stream before the kind stays.
        if (!ComponentState().Contains(TComponentStateFlag::csLoading) || Caption().isEmpty())
            SetCaption(QString::fromLatin1(info.Caption));
        SetModalResult(info.Result);
    }
    GlyphChanged();
}

void TBitBtn::LayoutChanged()
{
    ButtonWidget()->setLayoutDirection(Layout() == TButtonLayout::blGlyphRight ? Qt::RightToLeft
                                                                               : Qt::LeftToRight);
}

void TBitBtn::GlyphChanged()
{
    QIcon icon = GlyphIcon(*Glyph(), NumGlyphs());
    if (icon.isNull() && FKind != TBitBtnKind::bkCustom)
        icon = QApplication::style()->standardIcon(KindInfo(FKind).Icon);
    ButtonWidget()->setIcon(icon);
}

void TBitBtn::Click()
{
    if (FKind == TBitBtnKind::bkClose) {
        if (TCustomForm* form = ParentForm()) {
            form->Close();
            return;
        }
    }
    TButton::Click();
}

// ---------------------------------------------------------------------------
// TSpeedButton

TSpeedButton::TSpeedButton(TComponent* owner) : TGlyphButton(owner)
{
    auto* button = new QToolButton;
    button->setFocusPolicy(Qt::NoFocus);
    SetWidget(button);
    QObject::connect(button, &QToolButton::clicked, SignalContext(),
                     [this] { GuardEvent([this] { UserClicked(); }); });
    LayoutChanged();
    SetBounds(0, 0, 23, 22);
}

QToolButton* TSpeedButton::ToolWidget() const
{
    return static_cast<QToolButton*>(Widget());
}

std::vector<TSpeedButton*> TSpeedButton::Group() const
{
    std::vector<TSpeedButton*> group;
    TWinControl* parent = Parent();
    if (!parent || FGroupIndex == 0)
        return group;
    for (int i = 0; i < parent->ControlCount(); ++i) {
        auto* other = dynamic_cast<TSpeedButton*>(parent->Controls(i));
        if (other && other != this && other->FGroupIndex == FGroupIndex)
            group.push_back(other);
    }
    return group;
}

void TSpeedButton::SetGroupIndex(int index)
{
    FGroupIndex = index;
    // A button joining a group takes the group's AllowAllUp.
    if (const std::vector<TSpeedButton*> group = Group(); !group.empty())
        FAllowAllUp = group.front()->FAllowAllUp;
    ToolWidget()->setCheckable(index != 0);
    if (index == 0)
        FDown = false;
    ShowDown();
}

void TSpeedButton::SetDown(bool down)
{
    if (FGroupIndex == 0)
        down = false;
    if (down == FDown)
        return;
    if (FDown && !FAllowAllUp)
        return;
    FDown = down;
    ShowDown();
    if (down) {
        for (TSpeedButton* other : Group()) {
            if (other->FDown) {
                other->FDown = false;
                other->ShowDown();
            }
        }
    }
}

void TSpeedButton::SetAllowAllUp(bool allow)
{
    FAllowAllUp = allow;
    for (TSpeedButton* other : Group())
        other->FAllowAllUp = allow;
}

void TSpeedButton::SetFlat(bool flat)
{
    FFlat = flat;
    ToolWidget()->setAutoRaise(flat);
}

void TSpeedButton::UserClicked()
{
    // Qt toggled its own state already; the button's state is decided here.
    if (FGroupIndex != 0 && (!FDown || FAllowAllUp))
        SetDown(!FDown);
    ShowDown();
    Click();
}

void TSpeedButton::ShowDown()
{
    QToolButton* button = ToolWidget();
    const QSignalBlocker blocker(button);
    button->setChecked(FDown);
}

void TSpeedButton::GlyphChanged()
{
    ToolWidget()->setIcon(GlyphIcon(*Glyph(), NumGlyphs()));
    LayoutChanged();
}

void TSpeedButton::TextChanged()
{
    ToolWidget()->setText(FText);
    LayoutChanged();
}

void TSpeedButton::LayoutChanged()
{
    QToolButton* button = ToolWidget();
    button->setToolButtonStyle(ToolStyle(Layout(), !button->icon().isNull(), !FText.isEmpty()));
    button->setIconSize(QSize(std::max(1, Glyph()->Width() / NumGlyphs()), std::max(1, Glyph()->Height())));
}
