#include "platform/forms/ComCtrls.h"

#include "platform/forms/EventBoundary.h"
#include "platform/forms/ImgList.h"

#include <QIcon>
#include <QPixmap>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QTabBar>

#include <algorithm>

// ---------------------------------------------------------------------------
// TPageControl

TPageControl::TPageControl(TComponent* owner) : TWinControl(owner)
{
    auto* widget = new QWidget;
    FTabBar = new QTabBar(widget);
    FTabBar->setDrawBase(true);
    FTabBar->setExpanding(false);
    FStack = new QStackedWidget(widget);
    FStack->setFrameShape(QFrame::StyledPanel);
    SetWidget(widget);
    AddSubWidget(FTabBar);
    QObject::connect(FTabBar, &QTabBar::currentChanged, SignalContext(),
                     [this](int tab) { GuardEvent([this, tab] { UserPickedTab(tab); }); });
    SetTabStop(true);
    SetBounds(0, 0, 289, 193);
    UpdateTabs();
}

TPageControl::~TPageControl()
{
    // The sheets go with the control's children; they must not call back.
    FPages.clear();
    FActivePage = nullptr;
}

TTabSheet* TPageControl::Pages(int index) const
{
    if (index < 0 || index >= PageCount())
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(index));
    return FPages[size_t(index)];
}

void TPageControl::SetActivePage(TTabSheet* page)
{
    if (page && page->PageControl() != this)
        return;
    if (page == FActivePage)
        return;
    TTabSheet* old = FActivePage;
    FActivePage = page;
    if (old)
        old->InitVisible(false);
    if (page) {
        page->InitVisible(true);
        FStack->setCurrentWidget(page->Widget());
    }
    UpdateTabs();
}

int TPageControl::ActivePageIndex() const
{
    auto it = std::find(FPages.begin(), FPages.end(), FActivePage);
    return it == FPages.end() ? -1 : int(it - FPages.begin());
}

void TPageControl::SetActivePageIndex(int index)
{
    SetActivePage(index >= 0 && index < PageCount() ? FPages[size_t(index)] : nullptr);
}

int TPageControl::TabIndex() const
{
    const int page = ActivePageIndex();
    for (int tab = 0; tab < FTabBar->count(); ++tab) {
        if (FTabBar->tabData(tab).toInt() == page)
            return tab;
    }
    return -1;
}

void TPageControl::SetImages(TImageList* images)
{
    ReferenceComponent(this, FImages, images);
    UpdateTabs();
}

void TPageControl::Notification(TComponent* component, TOperation operation)
{
    TWinControl::Notification(component, operation);
    if (operation == TOperation::opRemove && component == FImages) {
        FImages = nullptr;
        if (!ComponentState().Contains(TComponentStateFlag::csDestroying))
            UpdateTabs();
    }
}

void TPageControl::SetTabPosition(TTabPosition position)
{
    FTabPosition = position;
    FTabBar->setShape(position == TTabPosition::tpBottom ? QTabBar::RoundedSouth : QTabBar::RoundedNorth);
    LayoutPages();
}

void TPageControl::InsertControl(TControl* control)
{
    TWinControl::InsertControl(control);
    auto* page = dynamic_cast<TTabSheet*>(control);
    if (!page)
        return;
    FPages.push_back(page);
    FStack->addWidget(page->Widget());
    page->InitVisible(false);
    if (!FActivePage)
        SetActivePage(page);
    LayoutPages();
    UpdateTabs();
}

void TPageControl::RemoveControl(TControl* control)
{
    TWinControl::RemoveControl(control);
    auto it = std::find(FPages.begin(), FPages.end(), control);
    if (it == FPages.end())
        return;
    const int index = int(it - FPages.begin());
    FPages.erase(it);
    if (QWidget* widget = control->Widget())
        FStack->removeWidget(widget);
    if (FActivePage == control) {
        FActivePage = nullptr;
        if (!FPages.empty())
            SetActivePage(FPages[size_t(std::min(index, PageCount() - 1))]);
    }
    if (!ComponentState().Contains(TComponentStateFlag::csDestroying))
        UpdateTabs();
}

void TPageControl::MovePage(TTabSheet* page, int index)
{
    auto it = std::find(FPages.begin(), FPages.end(), page);
    if (it == FPages.end())
        return;
    FPages.erase(it);
    index = std::clamp(index, 0, PageCount());
    FPages.insert(FPages.begin() + index, page);
    UpdateTabs();
}

void TPageControl::UpdateTabs()
{
    if (!FTabBar)
        return;
    const QSignalBlocker blocker(FTabBar);
    FUpdatingTabs = true;
    while (FTabBar->count() > 0)
        FTabBar->removeTab(FTabBar->count() - 1);
    int current = -1;
    for (int i = 0; i < PageCount(); ++i) {
        TTabSheet* page = FPages[size_t(i)];
        if (!page->FTabVisible)
            continue;
        QIcon icon;
        if (FImages && page->FImageIndex >= 0 && page->FImageIndex < FImages->Count())
            icon = QIcon(QPixmap::fromImage(FImages->Image(page->FImageIndex)));
        const int tab = FTabBar->addTab(icon, page->Text());
        FTabBar->setTabData(tab, i);
        if (page == FActivePage)
            current = tab;
    }
    if (current >= 0)
        FTabBar->setCurrentIndex(current);
    FUpdatingTabs = false;
    LayoutPages();
}

void TPageControl::BoundsChanged()
{
    LayoutPages();
}

void TPageControl::LayoutPages()
{
    if (!FTabBar || !FStack)
        return;
    const bool tabs = FTabBar->count() > 0;
    FTabBar->setVisible(tabs);
    const int tabHeight = tabs ? FTabBar->sizeHint().height() : 0;
    const int width = std::max(Width(), 0);
    const int pageHeight = std::max(Height() - tabHeight, 0);
    if (FTabPosition == TTabPosition::tpBottom) {
        FStack->setGeometry(0, 0, width, pageHeight);
        FTabBar->setGeometry(0, pageHeight, width, tabHeight);
    } else {
        FTabBar->setGeometry(0, 0, width, tabHeight);
        FStack->setGeometry(0, tabHeight, width, pageHeight);
    }
    // The sheets take the page area, inside the stack's frame.
    const int frame = FStack->frameWidth();
    for (TTabSheet* page : FPages)
        page->TControl::SetBounds(0, 0, std::max(width - 2 * frame, 0), std::max(pageHeight - 2 * frame, 0));
}

TTabSheet* TPageControl::FirstPageWithTab() const
{
    auto it =
        std::find_if(FPages.begin(), FPages.end(), [](const TTabSheet* page) { return page->FTabVisible; });
    return it == FPages.end() ? nullptr : *it;
}

void TPageControl::UserPickedTab(int tab)
{
    if (FUpdatingTabs || tab < 0)
        return;
    const int index = FTabBar->tabData(tab).toInt();
    if (index < 0 || index >= PageCount() || FPages[size_t(index)] == FActivePage)
        return;
    SetActivePage(FPages[size_t(index)]);
    FireNotify(QStringLiteral("OnChange"));
}

void TPageControl::Loaded()
{
    TWinControl::Loaded();
    LayoutPages();
    UpdateTabs();
}

// ---------------------------------------------------------------------------
// TTabSheet

TTabSheet::TTabSheet(TComponent* owner) : TWinControl(owner)
{
    InitColor(clBtnFace, true);
    InitVisible(false);
    auto* widget = new QWidget;
    widget->setFocusPolicy(Qt::NoFocus);
    SetWidget(widget);
}

TPageControl* TTabSheet::PageControl() const
{
    return dynamic_cast<TPageControl*>(Parent());
}

void TTabSheet::SetTabVisible(bool visible)
{
    if (visible == FTabVisible)
        return;
    FTabVisible = visible;
    TPageControl* pages = PageControl();
    if (!pages)
        return;
    // The shown page losing its tab gives way to the first page the user
    // can pick, so that the tab bar never highlights a page that is not
    // the one under it. With no tab left the page stays, as it does when
    // code shows a page without a tab.
    if (!visible && pages->FActivePage == this) {
        if (TTabSheet* first = pages->FirstPageWithTab()) {
            pages->SetActivePage(first);
            return;
        }
    }
    pages->UpdateTabs();
}

int TTabSheet::PageIndex() const
{
    TPageControl* pages = PageControl();
    if (!pages)
        return -1;
    auto it = std::find(pages->FPages.begin(), pages->FPages.end(), this);
    return it == pages->FPages.end() ? -1 : int(it - pages->FPages.begin());
}

void TTabSheet::SetPageIndex(int index)
{
    if (TPageControl* pages = PageControl())
        pages->MovePage(this, index);
}

void TTabSheet::SetImageIndex(int index)
{
    FImageIndex = index;
    if (TPageControl* pages = PageControl())
        pages->UpdateTabs();
}

void TTabSheet::SetVisible(bool visible)
{
    // Only the page control shows a sheet; showing one in code makes it the
    // active page.
    if (visible) {
        if (TPageControl* pages = PageControl();
            pages && !ComponentState().Contains(TComponentStateFlag::csLoading)) {
            pages->SetActivePage(this);
            return;
        }
    }
    InitVisible(visible);
}

void TTabSheet::TextChanged()
{
    if (TPageControl* pages = PageControl())
        pages->UpdateTabs();
}
