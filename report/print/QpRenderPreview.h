#pragma once
// QpRenderPreview: TZvRenderPreview, the render target of the preview. It
// plays one page at a time into a picture shown by an image control in a
// scroll box: the paper with an optional drop shadow, rulers and grid,
// placed with a margin, everything scaled by the zoom (percent of the
// screen's true size). It keeps the current page, the page count and the
// zoom, fits the zoom to the page or its width, and moves between pages.
//
// A page is drawn off screen and takes the place of the picture shown only
// when it has played whole, so a page refused part way leaves the page shown
// before on screen, drawn whole. Two pictures are kept, the one shown and
// the one drawn next, and they change places at every page. The image
// control is made on the first page shown and reused; it belongs to the
// scroll box's owner, and both the scroll box and the image are forgotten
// when they are destroyed.
#include "report/print/QpRenderCanvas.h"

#include "platform/graphics/Graphics.h"

#include <memory>

class TScrollBox;
class TImage;
class TWinControl;
class TStreamedBitmap;

class TZvRenderPreview : public TZvRenderCanvas {
public:
    explicit TZvRenderPreview(TComponent* owner);
    ~TZvRenderPreview() override;

    // The host; required to draw a page.
    TScrollBox* ScrollBox() const { return FScrollBox; }
    void SetScrollBox(TScrollBox* scrollBox);
    TImage* Image() const { return FImage; }
    // The picture shown, null before the first page is shown.
    TStreamedBitmap* Bitmap() const { return FBitmap; }

    // Percent. Values from 10 to 200 are taken as they are, 0 to 10 give 10,
    // more than 200 gives 200; -1.9 and less fit the page width, other
    // negative values the whole page. The page is drawn again unless an
    // OnZoomChange handler takes that on.
    double ZoomFactor() const { return FZoom; }
    void SetZoomFactor(double value);
    int ZoomInc = 10; // percent
    void ZoomIn();
    void ZoomOut();
    // The zooms (percent) that fit the whole page, or its width, into the
    // scroll box.
    double ZoomPageFactor();
    double ZoomPageWidthFactor();

    bool Monochrome() const { return FMonochrome; }
    void SetMonochrome(bool monochrome); // also takes the shadow away
    int ShadowDepth() const { return FShadowDepth; }
    void SetShadowDepth(int depth); // pixels; a shadow ends monochrome
    TMarginMethod MarginMethod = TMarginMethod::mmFixed;
    double MarginPercent = 0; // of the paper width, around the page
    TRulerType RulerType = TRulerType::rtNone;
    TPen* GridPen() const { return FGridPen.get(); }
    void SetGridPen(const TPen* pen) { FGridPen->Assign(pen); }
    double GridHoriz = 0; // inches between grid lines; 0: none
    double GridVert = 0;
    int PageInc = 1;
    // A form stream binds these to handlers of its form by name.
    TNotifyEvent OnPageChange;
    TNotifyEvent OnZoomChange;

    int CurrentPage() const { return FCurrentPage; }
    // The reader's page count while playing, else the count of the last
    // page played (or stored here).
    int Pages() const;
    void SetPages(int pages) { FPages = pages; }
    void RedrawPage();
    // Moves PageInc pages on or back, wrapping round at the ends.
    void NextPage();
    void PrevPage();
    // Takes the image and both pictures away.
    void Clear();

    // Measured at every page: the scroll bars' sizes, the scroll box's frame
    // and the rulers' sizes (pixels), the page's place in the picture.
    int ScrollBarWidth = 0;
    int ScrollBarHeight = 0;
    int HorzAdj = 0;
    int VertAdj = 0;
    int RulerWidth = 0;
    int RulerHeight = 0;
    int AddX = 0;
    int AddY = 0;

    int RenderKind() override { return 1; }
    TCanvas* GetCanvas() override;
    double TextWidthInches(const QString& text) override;
    void PrintBitmapRect(double x1, double y1, double x2, double y2, const TBitmap& bitmap) override;
    void PageBegin() override;
    void PageEnd() override;
    int GetXDPI() override;
    int GetYDPI() override;
    // The page RenderPage shows for a page number: the page beyond the
    // last shows the last, page 0 (or less) the first.
    int PageShownFor(int pageNum) const;
    // A page that cannot be shown leaves the page shown before as the
    // current one, with its picture.
    void RenderPage(int pageNum) override;
    int XI2D(double pos) override;
    int YI2D(double pos) override;

protected:
    void Notification(TComponent* component, TOperation operation) override;
    double TextPixelHeight(double height) override;
    virtual void DoPageChange();
    virtual void DoZoomChange();

private:
    void RequireScrollBox();
    void MeasureScrollBox();
    void PrepareImage();
    void ShowDrawnPage();
    void DrawFurniture(int bw, int bh);
    void DrawRulers(int bw, int bh);
    void PlaceImage(int bw, int bh);
    void RestoreCursor();
    TWinControl* Box() const;
    double PaperWidth() const;
    double PaperHeight() const;
    void SetRulerSizes();

    TScrollBox* FScrollBox = nullptr;
    TImage* FImage = nullptr;
    TStreamedBitmap* FBitmap = nullptr; // the image's picture
    std::unique_ptr<TBitmap> FDrawing;  // off screen: the page being drawn
    bool FMonochrome = false;
    int FShadowDepth = 0;
    std::unique_ptr<TPen> FGridPen;
    int FCurrentPage = 0;
    int FPages = 0;
    double FZoom = 100;
    bool FCursorSet = false;
    int FXDPI = 0; // the screen's, read at every page
    int FYDPI = 0;
};
