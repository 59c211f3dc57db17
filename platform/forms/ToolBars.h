#pragma once
// Tool bars and status bars. A TToolBar lines its controls up from left to
// right in the order of their Left (tool buttons, separators, and any other
// control such as labels and edits), each as high as the bar; tool buttons
// show their action (or caption) with the bar's image list and the hint as
// their tool tip. A TStatusBar shows one line of text (SimplePanel).
#include "platform/forms/ActnList.h"
#include "platform/forms/Controls.h"

class QToolButton;
class QLabel;
class TImageList;

enum class TToolButtonStyle : uint8_t { tbsButton, tbsCheck, tbsDropDown, tbsSeparator, tbsDivider };

class TToolBar : public TWinControl {
public:
    explicit TToolBar(TComponent* owner);

    TImageList* Images() const { return FImages; }
    void SetImages(TImageList* images);
    int ButtonWidth() const { return FButtonWidth; }
    void SetButtonWidth(int width);
    int ButtonHeight() const { return FButtonHeight; }
    void SetButtonHeight(int height);
    bool Flat() const { return FFlat; }
    void SetFlat(bool flat) { FFlat = flat; }

    // Lines the controls up anew.
    void ArrangeControls();

    void Loaded() override;
    void Notification(TComponent* component, TOperation operation) override;

protected:
    void InsertControl(TControl* control) override;
    void ControlBoundsChanged(TControl* control) override;
    void BoundsChanged() override;

private:
    TImageList* FImages = nullptr;
    int FButtonWidth = 23;
    int FButtonHeight = 22;
    bool FFlat = false;
    bool FArranging = false;
};

class TToolButton : public TGraphicControl, public TActionClient {
public:
    explicit TToolButton(TComponent* owner);
    ~TToolButton() override;

    TToolButtonStyle Style() const { return FStyle; }
    void SetStyle(TToolButtonStyle style);
    int ImageIndex() const { return FImageIndex; }
    void SetImageIndex(int index);
    TAction* Action() const { return FAction; }
    void SetAction(TAction* action);
    bool IsSeparator() const
    {
        return FStyle == TToolButtonStyle::tbsSeparator || FStyle == TToolButtonStyle::tbsDivider;
    }

    // Executes the action, else runs OnClick.
    void Click() override;
    void ActionChanged() override;
    void Notification(TComponent* component, TOperation operation) override;
    void SetEnabled(bool enabled) override;
    // Refreshes the picture from the bar's image list.
    void UpdateImage();

protected:
    void TextChanged() override;

private:
    QToolButton* Button() const;

    TToolButtonStyle FStyle = TToolButtonStyle::tbsButton;
    int FImageIndex = -1;
    TAction* FAction = nullptr;
};

class TStatusBar : public TWinControl {
public:
    explicit TStatusBar(TComponent* owner);

    bool SimplePanel() const { return FSimplePanel; }
    void SetSimplePanel(bool simplePanel) { FSimplePanel = simplePanel; }
    QString SimpleText() const;
    void SetSimpleText(const QString& text);

private:
    QLabel* FLabel = nullptr;
    bool FSimplePanel = false;
};
