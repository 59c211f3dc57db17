#pragma once
// Panels, images, shapes, bevels and timers.
#include "platform/forms/Controls.h"
#include "platform/forms/Picture.h"

#include <QRect>

#include <memory>

class QPainter;
class QTimer;

enum class TBevelCut : uint8_t { bvNone, bvLowered, bvRaised, bvSpace };
enum class TPanelBorderStyle : uint8_t { bsNone, bsSingle };
enum class TShapeType : uint8_t { stRectangle, stSquare, stRoundRect, stRoundSquare, stEllipse, stCircle };
enum class TBevelShape : uint8_t {
    bsBox,
    bsFrame,
    bsTopLine,
    bsBottomLine,
    bsLeftLine,
    bsRightLine,
    bsSpacer
};
enum class TBevelStyle : uint8_t { bsLowered, bsRaised };

// A container drawn with bevels and its caption in the middle.
class TPanel : public TWinControl {
public:
    explicit TPanel(TComponent* owner);

    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment alignment);
    TBevelCut BevelInner() const { return FBevelInner; }
    void SetBevelInner(TBevelCut cut);
    TBevelCut BevelOuter() const { return FBevelOuter; }
    void SetBevelOuter(TBevelCut cut);
    int BevelWidth() const { return FBevelWidth; }
    void SetBevelWidth(int width);
    int BorderWidth() const { return FBorderWidth; }
    void SetBorderWidth(int width);
    TPanelBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TPanelBorderStyle style);

    bool ClicksOnMouseUp() const override { return true; }
    // Draws the panel (the widget's paint event comes here).
    void Paint(QPainter& painter) const;

protected:
    void TextChanged() override;

private:
    TAlignment FAlignment = TAlignment::taCenter;
    TBevelCut FBevelInner = TBevelCut::bvNone;
    TBevelCut FBevelOuter = TBevelCut::bvRaised;
    int FBevelWidth = 1;
    int FBorderWidth = 0;
    TPanelBorderStyle FBorderStyle = TPanelBorderStyle::bsNone;
};

// Shows a picture: at the top left, centred, stretched or scaled to fit.
class TImage : public TGraphicControl {
public:
    explicit TImage(TComponent* owner);
    ~TImage() override;

    TPicture* Picture() const { return FPicture.get(); }
    void SetPicture(const TPicture* picture) { FPicture->Assign(picture); }
    bool Stretch() const { return FStretch; }
    void SetStretch(bool stretch);
    bool Center() const { return FCenter; }
    void SetCenter(bool center);
    bool Proportional() const { return FProportional; }
    void SetProportional(bool proportional);
    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool transparent);
    // With AutoSize the control takes the picture's size.
    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool autoSize);

    // Where the picture is drawn in the control.
    QRect DestRect() const;
    bool ClicksOnMouseUp() const override { return true; }
    void Paint(QPainter& painter) const;

private:
    void PictureChanged();

    std::unique_ptr<TPicture> FPicture;
    bool FStretch = false;
    bool FCenter = false;
    bool FProportional = false;
    bool FTransparent = false;
    bool FAutoSize = false;
};

class TShape : public TGraphicControl {
public:
    explicit TShape(TComponent* owner);

    TShapeType Shape() const { return FShape; }
    void SetShape(TShapeType shape);
    TPen* Pen() const { return FPen.get(); }
    void SetPen(const TPen* pen) { FPen->Assign(pen); }
    TBrush* Brush() const { return FBrush.get(); }
    void SetBrush(const TBrush* brush) { FBrush->Assign(brush); }

    void Paint(QPainter& painter) const;

private:
    TShapeType FShape = TShapeType::stRectangle;
    std::unique_ptr<TPen> FPen;
    std::unique_ptr<TBrush> FBrush;
};

class TBevel : public TGraphicControl {
public:
    explicit TBevel(TComponent* owner);

    TBevelShape Shape() const { return FShape; }
    void SetShape(TBevelShape shape);
    TBevelStyle Style() const { return FStyle; }
    void SetStyle(TBevelStyle style);

    void Paint(QPainter& painter) const;

private:
    TBevelShape FShape = TBevelShape::bsBox;
    TBevelStyle FStyle = TBevelStyle::bsLowered;
};

// Fires OnTimer every Interval milliseconds while Enabled and a handler is
// assigned; it starts once its form is loaded.
class TTimer : public TComponent {
public:
    explicit TTimer(TComponent* owner);
    ~TTimer() override;

    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool enabled);
    int Interval() const { return FInterval; }
    void SetInterval(int interval);
    TMethod OnTimer() const { return FOnTimer; }
    void SetOnTimer(const TMethod& method);

    void Loaded() override;

private:
    void UpdateTimer();

    bool FEnabled = true;
    int FInterval = 1000; // in ms
    TMethod FOnTimer;
    std::unique_ptr<QTimer> FTimer;
};
