// ZVCLASS and ZVPROJ: the component and control bases, project items,
// pages, reports and the project manager.
#include "platform/rtl/Exceptions.h"
#include "report/components/ZvLEFuncs_p.h"
#include "report/model/ZvClass.h"
#include "report/model/ZvItem.h"
#include "report/model/ZvProj.h"

#include <cstring>

namespace ZvLEFuncs {
namespace {

// The bounds rectangle travels as four Doubles (left, top, right, bottom) at
// an address in the CPU's memory.
TRCPUNativeResult GetBoundsRect(TZarvControl& control, TNativeArgs& args)
{
    const TZarvRect rect = control.BoundsRect();
    const double values[4] = {rect.Left, rect.Top, rect.Right, rect.Bottom};
    std::memcpy(RCPUMemory().Access(args.Word(), sizeof values, true), values, sizeof values);
    return {};
}

TRCPUNativeResult SetBoundsRect(TZarvControl& control, TNativeArgs& args)
{
    double values[4];
    std::memcpy(values, RCPUMemory().Access(args.Word(), sizeof values, false), sizeof values);
    control.SetBoundsRect(TZarvRect{values[0], values[1], values[2], values[3]});
    return {};
}

void PageListAdd(TZarvReport& report, TZarvPage* page)
{
    if (TZarvComponentList* list = report.PageList()) {
        list->Add(page);
        return;
    }
    TZarvComponentList list;
    list.Add(page);
    report.SetPageList(&list);
}

// The list's index error when the page is not listed; nothing without a
// list. A list left empty is dropped, as the page list's setter drops one.
void PageListDelete(TZarvReport& report, TZarvPage* page)
{
    TZarvComponentList* list = report.PageList();
    if (!list)
        return;
    const int index = list->IndexOf(page);
    if (index < 0)
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(index));
    list->Remove(page);
    if (list->Count() == 0)
        report.SetPageList(nullptr);
}

} // namespace

void AddZvClassRows(TRowBuilder& builder)
{
    using C = TZarvComponent;
    TClassRows<C> c(builder, "ZVCLASS", "TZarvComponent");
    c.GetSet("LOCKED", &C::Locked, &C::SetLocked).GetSet("VISIBLE", &C::Visible, &C::SetVisible);
    c.GetSet("NAME", &C::Name, &C::SetName).GetSet("TAG", &C::Tag, &C::SetTag);
    c.Fn("SHOW", &C::Show).Fn("HIDE", &C::Hide).Fn("MOVEFORWARD", &C::MoveForward);
    c.Fn("MOVEBEHIND", &C::MoveBehind).Fn("BRINGTOFRONT", &C::BringToFront).Fn("SENDTOBACK", &C::SendToBack);
    c.Fn("XU2I", &C::XU2I).Fn("YU2I", &C::YU2I).Fn("XI2U", &C::XI2U).Fn("YI2U", &C::YI2U);
    c.Fn("PAGELEFT", &C::GetPageLeft).Fn("PAGETOP", &C::GetPageTop);
    c.Fn("PAGERIGHT", &C::GetPageRight).Fn("PAGEBOTTOM", &C::GetPageBottom);

    using K = TZarvControl;
    TClassRows<K> k(builder, "ZVCLASS", "TZarvControl");
    k.GetSet("FONTJUSTIFY", &K::GetFontJustify, &K::SetFontJustify);
    k.GetSet("BACKCOLOR", &K::GetBackColor, &K::SetBackColor);
    k.GetSet("FORECOLOR", &K::GetForeColor, &K::SetForeColor);
    k.GetSet("FILLSTYLE", &K::GetFillStyle, &K::SetFillStyle).GetSet("TEXT", &K::GetText, &K::SetText);
    k.GetSet("LINEWIDTH", &K::GetLineWidth, &K::SetLineWidth);
    k.GetSet("LINEWIDTHTYPE", &K::GetLineWidthType, &K::SetLineWidthType);
    k.GetSet("LINESTYLE", &K::GetLineStyle, &K::SetLineStyle);
    k.Raw("GETBOUNDSRECT", &GetBoundsRect).Raw("SETBOUNDSRECT", &SetBoundsRect);
    k.GetSet("LEFT", &K::GetLeft, &K::SetLeft).GetSet("RIGHT", &K::GetRight, &K::SetRight);
    k.GetSet("TOP", &K::GetTop, &K::SetTop).GetSet("BOTTOM", &K::GetBottom, &K::SetBottom);
    k.GetSet("WIDTH", &K::GetWidth, &K::SetWidth).GetSet("HEIGHT", &K::GetHeight, &K::SetHeight);
    k.GetSet("DISPLAYON", &K::DisplayOn, &K::SetDisplayOn);
    k.Fn("REFLECT", &K::Reflect).Fn("ADJLEFT", &K::AdjLeft).Fn("ADJTOP", &K::AdjTop);
    k.Fn("ADJWIDTH", &K::AdjWidth).Fn("ADJHEIGHT", &K::AdjHeight);
    k.Fn("VANCHOR", &K::GetVAnchor).Fn("HANCHOR", &K::GetHAnchor);

    using I = TZarvProjectItem;
    TClassRows<I> i(builder, "ZVCLASS", "TZarvProjectItem");
    i.GetSet("DESCRIPTION", &I::Description, &I::SetDescription);
    i.GetSet("FULLNAME", &I::FullName, &I::SetFullName);

    using P = TZarvPage;
    TClassRows<P> p(builder, "ZVCLASS", "TZarvPage");
    p.GetSet("BIN", &P::Bin, &P::SetBin).GetSet("BINCUSTOM", &P::BinCustom, &P::SetBinCustom);
    p.GetSet("GOTOMODE", &P::GotoMode, &P::SetGotoMode).GetSet("GOTOPAGE", &P::GotoPage, &P::SetGotoPage);
    p.GetSet("GRIDLINES", &P::GridLines, &P::SetGridLines);
    p.GetSet("GRIDSPACING", &P::GridSpacing, &P::SetGridSpacing);
    p.GetSet("ORIENTATION", &P::Orientation, &P::SetOrientation);
    p.GetSet("PAGEHEIGHT", &P::PageHeight, &P::SetPageHeight);
    p.GetSet("PAGEWIDTH", &P::PageWidth, &P::SetPageWidth);
    p.GetSet("PAPERSIZE", &P::PaperSize, &P::SetPaperSize).GetSet("WASTEFIT", &P::WasteFit, &P::SetWasteFit);
}

void AddZvProjRows(TRowBuilder& builder)
{
    using R = TZarvReport;
    TClassRows<R> r(builder, "ZVPROJ", "TZarvReport");
    r.GetSet("ALWAYSGENERATE", &R::AlwaysGenerate, &R::SetAlwaysGenerate);
    r.GetSet("CATEGORY", &R::Category, &R::SetCategory).GetSet("COPIES", &R::Copies, &R::SetCopies);
    r.GetSet("FIRSTPAGE", &R::FirstPage, &R::SetFirstPage);
    r.Fn("PAGELISTADD", &PageListAdd).Fn("PAGELISTDELETE", &PageListDelete);
    r.GetSet("COLLATE", &R::Collate, &R::SetCollate).GetSet("DUPLEX", &R::Duplex, &R::SetDuplex);
    r.GetSet("MAXPAGES", &R::MaxPages, &R::SetMaxPages).GetSet("PRINTER", &R::Printer, &R::SetPrinter);
    r.GetSet("RESOLUTION", &R::Resolution, &R::SetResolution);

    using M = TZarvProjectManager;
    TClassRows<M> m(builder, "ZVPROJ", "TZarvProjectManager");
    m.GetSet("UNITS", &M::Units, &M::SetUnits).GetSet("UNITSFACTOR", &M::UnitsFactor, &M::SetUnitsFactor);
    m.Fn("FINDZARVCOMPONENT", &M::FindZarvComponent).GetSet("PARAM", &M::GetParam, &M::SetParam);
}

} // namespace ZvLEFuncs
