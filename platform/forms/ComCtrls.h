#pragma once
// Page controls and their tab sheets.
//
// A TPageControl shows one of its TTabSheet pages at a time under a row of
// tabs. A sheet whose TabVisible is false has no tab but can still be the
// active page (wizards hide every tab and step through the pages in code).
// Hiding the active page's tab while another page has one makes the first
// page with a tab active. OnChange fires when the user picks a tab, not
// when code sets ActivePage or a hidden tab moves it.
// The active sheet's Visible flag is true and the others' false, as the
// framework keeps them; the controls on a sheet keep their own flags.
#include "platform/forms/Controls.h"

#include <vector>

class QStackedWidget;
class QTabBar;
class TImageList;
class TTabSheet;

enum class TTabPosition : uint8_t { tpTop, tpBottom, tpLeft, tpRight };
enum class TTabStyle : uint8_t { tsTabs, tsButtons, tsFlatButtons };

class TPageControl : public TWinControl {
public:
    explicit TPageControl(TComponent* owner);
    ~TPageControl() override;

    int PageCount() const { return int(FPages.size()); }
    TTabSheet* Pages(int index) const; // EListError out of range
    TTabSheet* ActivePage() const { return FActivePage; }
    // A sheet of another page control is ignored.
    void SetActivePage(TTabSheet* page);
    int ActivePageIndex() const;
    void SetActivePageIndex(int index); // out of range: no page
    // The index of the active page's tab among the shown tabs; -1 when it
    // has none.
    int TabIndex() const;

    TImageList* Images() const { return FImages; }
    void SetImages(TImageList* images);
    bool MultiLine() const { return FMultiLine; }
    void SetMultiLine(bool multiLine) { FMultiLine = multiLine; }
    TTabPosition TabPosition() const { return FTabPosition; }
    void SetTabPosition(TTabPosition position);
    TTabStyle Style() const { return FStyle; }
    void SetStyle(TTabStyle style) { FStyle = style; }

    QTabBar* TabBar() const { return FTabBar; }
    void Loaded() override;

    // Called by the sheets when a tab's caption, visibility or picture
    // changes.
    void UpdateTabs();

protected:
    void InsertControl(TControl* control) override;
    void RemoveControl(TControl* control) override;
    void BoundsChanged() override;
    void Notification(TComponent* component, TOperation operation) override;

private:
    friend class TTabSheet;
    void LayoutPages();
    void MovePage(TTabSheet* page, int index);
    TTabSheet* FirstPageWithTab() const; // nullptr when no tab shows
    void UserPickedTab(int tab);

    std::vector<TTabSheet*> FPages;
    TTabSheet* FActivePage = nullptr;
    TImageList* FImages = nullptr;
    bool FMultiLine = false;
    TTabPosition FTabPosition = TTabPosition::tpTop;
    TTabStyle FStyle = TTabStyle::tsTabs;
    QTabBar* FTabBar = nullptr;       // owned by the widget
    QStackedWidget* FStack = nullptr; // owned by the widget
    bool FUpdatingTabs = false;
};

class TTabSheet : public TWinControl {
public:
    explicit TTabSheet(TComponent* owner);

    TPageControl* PageControl() const;
    void SetPageControl(TPageControl* pageControl) { SetParent(pageControl); }
    bool TabVisible() const { return FTabVisible; }
    void SetTabVisible(bool visible);
    int PageIndex() const;
    void SetPageIndex(int index);
    int ImageIndex() const { return FImageIndex; }
    void SetImageIndex(int index);

    // The page control decides which sheet shows.
    void SetVisible(bool visible) override;

protected:
    void TextChanged() override;
    void UpdateWidgetVisibility() override {}
    void ApplyBounds() override {}

private:
    friend class TPageControl;
    bool FTabVisible = true;
    int FImageIndex = -1;
};
