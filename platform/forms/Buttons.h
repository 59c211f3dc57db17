#pragma once
// Buttons with pictures: TBitBtn (a push button with a glyph and standard
// kinds) and TSpeedButton (a tool button that can stay down in a group).
//
// A glyph is a bitmap of NumGlyphs equal pictures side by side (up, disabled,
// pressed, down); the colour of its bottom-left pixel is transparent.
//
// Speed buttons with the same non-zero GroupIndex and the same parent form a
// group: pressing one puts it down and the others up. A down button goes up
// when pressed again only with AllowAllUp, which the whole group shares (a
// button joining a group takes the group's). The
// button's state changes before OnClick runs; setting Down fires nothing.
#include "platform/forms/Picture.h"
#include "platform/forms/StdCtrls.h"

#include <QIcon>

#include <algorithm>
#include <memory>

class QToolButton;

enum class TBitBtnKind : uint8_t {
    bkCustom,
    bkOK,
    bkCancel,
    bkHelp,
    bkYes,
    bkNo,
    bkClose,
    bkAbort,
    bkRetry,
    bkIgnore,
    bkAll,
};
enum class TButtonLayout : uint8_t { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };

// The icon of a glyph: its first picture, with the bottom-left colour
// transparent, and its second as the disabled picture.
QIcon GlyphIcon(const TBitmap& glyph, int numGlyphs);

// The glyph and its placement, common to the buttons with pictures; Base is
// the control class the button derives from. The button shows a change of
// the glyph (or of NumGlyphs) in GlyphChanged and of Layout in
// LayoutChanged.
template <class Base> class TGlyphButton : public Base {
public:
    explicit TGlyphButton(TComponent* owner) : Base(owner), FGlyph(std::make_unique<TStreamedBitmap>())
    {
        FGlyph->OnChange = [this] { GlyphChanged(); };
    }

    TStreamedBitmap* Glyph() const { return FGlyph.get(); }
    void SetGlyph(const TBitmap* glyph) { FGlyph->Assign(glyph); }
    int NumGlyphs() const { return FNumGlyphs; }
    void SetNumGlyphs(int count)
    {
        FNumGlyphs = std::clamp(count, 1, 4);
        GlyphChanged();
    }
    TButtonLayout Layout() const { return FLayout; }
    void SetLayout(TButtonLayout layout)
    {
        FLayout = layout;
        LayoutChanged();
    }
    int Spacing() const { return FSpacing; }
    void SetSpacing(int spacing) { FSpacing = spacing; }
    int Margin() const { return FMargin; }
    void SetMargin(int margin) { FMargin = margin; }

protected:
    virtual void GlyphChanged() = 0;
    virtual void LayoutChanged() = 0;

private:
    std::unique_ptr<TStreamedBitmap> FGlyph;
    int FNumGlyphs = 1;
    TButtonLayout FLayout = TButtonLayout::blGlyphLeft;
    int FSpacing = 4;
    int FMargin = -1;
};

class TBitBtn : public TGlyphButton<TButton> {
public:
    explicit TBitBtn(TComponent* owner);

    // A standard kind sets the caption (unless one was read before it), the
    // modal result and Default / Cancel.
    TBitBtnKind Kind() const { return FKind; }
    void SetKind(TBitBtnKind kind);

    // bkClose closes the form instead of clicking.
    void Click() override;

protected:
    void GlyphChanged() override;
    void LayoutChanged() override;

private:
    TBitBtnKind FKind = TBitBtnKind::bkCustom;
};

class TSpeedButton : public TGlyphButton<TGraphicControl> {
public:
    explicit TSpeedButton(TComponent* owner);

    int GroupIndex() const { return FGroupIndex; }
    void SetGroupIndex(int index);
    bool Down() const { return FDown; }
    void SetDown(bool down);
    bool AllowAllUp() const { return FAllowAllUp; }
    void SetAllowAllUp(bool allow);
    bool Flat() const { return FFlat; }
    void SetFlat(bool flat);
    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool transparent) { FTransparent = transparent; }

    QToolButton* ToolWidget() const;

protected:
    void TextChanged() override;
    void GlyphChanged() override;
    // Sets the tool button's style and icon size from the layout, the glyph
    // and the caption.
    void LayoutChanged() override;

private:
    void UserClicked();
    void ShowDown();
    // The other buttons of the group (same parent, same GroupIndex).
    std::vector<TSpeedButton*> Group() const;

    int FGroupIndex = 0;
    bool FDown = false;
    bool FAllowAllUp = false;
    bool FFlat = false;
    bool FTransparent = true;
};
