// ZVCSBARS, ZVCSDATA, ZVCSDRAW, ZVCSRPT and ZVCSSTD: the printable
// components, the calculation components and the bands.
#include "report/components/ZvCsBars.h"
#include "report/components/ZvCsData.h"
#include "report/components/ZvCsDraw.h"
#include "report/components/ZvCsRpt.h"
#include "report/components/ZvCsStd.h"
#include "report/components/ZvLEFuncs_p.h"

namespace ZvLEFuncs {

void AddZvCsBarsRows(TRowBuilder& builder)
{
    using B = TZarvBaseBarCode;
    TClassRows<B> b(builder, "ZVCSBARS", "TZarvBaseBarCode");
    b.GetSet("DATAFIELD", &B::DataField, &B::SetDataField).GetSet("DATAVIEW", &B::DataView, &B::SetDataView);
    b.GetSet("AUTOSIZE", &B::AutoSize, &B::SetAutoSize).GetSet("FONT", &B::Font, &B::SetFont);
    b.GetSet("TEXT", &B::GetText, &B::SetText);
    b.GetSet("BARCODEJUSTIFY", &B::BarCodeJustify, &B::SetBarCodeJustify);
    b.GetSet("BARWIDTH", &B::BarWidth, &B::SetBarWidth).GetSet("BARHEIGHT", &B::BarHeight, &B::SetBarHeight);
    b.GetSet("BARTOP", &B::BarTop, &B::SetBarTop).GetSet("TEXTJUSTIFY", &B::TextJustify, &B::SetTextJustify);
    b.GetSet("USECHECKSUM", &B::UseChecksum, &B::SetUseChecksum);
    b.GetSet("WIDEFACTOR", &B::WideFactor, &B::SetWideFactor);
    b.GetSet("PRINTREADABLE", &B::PrintReadable, &B::SetPrintReadable);
    b.GetSet("PRINTCHECKSUM", &B::PrintChecksum, &B::SetPrintChecksum);
    b.GetSet("PRINTTOP", &B::PrintTop, &B::SetPrintTop);
    b.GetSet("BARCODEROTATION", &B::BarCodeRotation, &B::SetBarCodeRotation);
    b.GetSet("CENTER", &B::Center, &B::SetCenter);

    using C39 = TZarvCode39BarCode;
    TClassRows<C39>(builder, "ZVCSBARS", "TZarvCode39BarCode")
        .GetSet("EXTENDED", &C39::Extended, &C39::SetExtended);
    using C128 = TZarvCode128BarCode;
    TClassRows<C128>(builder, "ZVCSBARS", "TZarvCode128BarCode")
        .GetSet("CODEPAGE", &C128::CodePage, &C128::SetCodePage)
        .GetSet("OPTIMIZE", &C128::Optimize, &C128::SetOptimize);
}

void AddZvCsDataRows(TRowBuilder& builder)
{
    using T = TZarvDataText;
    TClassRows<T> t(builder, "ZVCSDATA", "TZarvDataText");
    t.GetSet("DATAFIELD", &T::DataField, &T::SetDataField).GetSet("DATAVIEW", &T::DataView, &T::SetDataView);
    t.GetSet("LOOKUPDATAVIEW", &T::LookupDataView, &T::SetLookupDataView);
    t.GetSet("LOOKUPFIELD", &T::LookupField, &T::SetLookupField);
    t.GetSet("LOOKUPDISPLAY", &T::LookupDisplay, &T::SetLookupDisplay);
    t.GetSet("LOOKUPINVALID", &T::LookupInvalid, &T::SetLookupInvalid);

    using M = TZarvDataMemo;
    TClassRows<M>(builder, "ZVCSDATA", "TZarvDataMemo")
        .GetSet("DATAFIELD", &M::DataField, &M::SetDataField)
        .GetSet("DATAVIEW", &M::DataView, &M::SetDataView);

    using CT = TZarvCalcText;
    TClassRows<CT> ct(builder, "ZVCSDATA", "TZarvCalcText");
    ct.GetSet("CALCTYPE", &CT::CalcType, &CT::SetCalcType)
        .GetSet("CONTROLLER", &CT::Controller, &CT::SetController);
    ct.GetSet("COUNTBLANKS", &CT::CountBlanks, &CT::SetCountBlanks);
    ct.GetSet("DATAVIEW", &CT::DataView, &CT::SetDataView)
        .GetSet("DATAFIELD", &CT::DataField, &CT::SetDataField);
    ct.GetSet("DISPLAYFORMAT", &CT::DisplayFormat, &CT::SetDisplayFormat);
    ct.GetSet("DISPLAYTYPE", &CT::DisplayType, &CT::SetDisplayType);
    ct.GetSet("INITIALIZER", &CT::Initializer, &CT::SetInitializer);
    ct.GetSet("RUNNINGTOTAL", &CT::RunningTotal, &CT::SetRunningTotal).Fn("GETVALUE", &CT::GetCalcValue);

    using V = TZarvCalcVariable;
    TClassRows<V> v(builder, "ZVCSDATA", "TZarvCalcVariable");
    v.Fn("GETVALUE", &V::GetValue).Fn("GETISNULL", &V::IsNull);
    v.GetSet("DESTPARAM", &V::DestParam, &V::SetDestParam)
        .GetSet("DESTPIVAR", &V::DestPIVar, &V::SetDestPIVar);
    v.GetSet("DISPLAYFORMAT", &V::DisplayFormat, &V::SetDisplayFormat);
    v.GetSet("DISPLAYTYPE", &V::DisplayType, &V::SetDisplayType);

    using O = TZarvCalcOp;
    TClassRows<O> o(builder, "ZVCSDATA", "TZarvCalcOp");
    o.GetSet("SRC1CALCVAR", &O::SrcCalcVarOf<0>, &O::SetSrcCalcVarOf<0>);
    o.GetSet("SRC1DATAFIELD", &O::SrcDataFieldOf<0>, &O::SetSrcDataFieldOf<0>);
    o.GetSet("SRC1DATAVIEW", &O::SrcDataViewOf<0>, &O::SetSrcDataViewOf<0>);
    o.GetSet("SRC1VALUE", &O::SrcValueOf<0>, &O::SetSrcValueOf<0>);
    o.GetSet("SRC1FUNCTION", &O::SrcFunctionOf<0>, &O::SetSrcFunctionOf<0>);
    o.GetSet("SRC2CALCVAR", &O::SrcCalcVarOf<1>, &O::SetSrcCalcVarOf<1>);
    o.GetSet("SRC2DATAFIELD", &O::SrcDataFieldOf<1>, &O::SetSrcDataFieldOf<1>);
    o.GetSet("SRC2DATAVIEW", &O::SrcDataViewOf<1>, &O::SetSrcDataViewOf<1>);
    o.GetSet("SRC2VALUE", &O::SrcValueOf<1>, &O::SetSrcValueOf<1>);
    o.GetSet("SRC2FUNCTION", &O::SrcFunctionOf<1>, &O::SetSrcFunctionOf<1>);
    o.GetSet("OPERATOR", &O::Operator, &O::SetOperator);
    o.GetSet("RESULTFUNCTION", &O::ResultFunction, &O::SetResultFunction);

    using CL = TZarvCalcTotal;
    TClassRows<CL> cl(builder, "ZVCSDATA", "TZarvCalcTotal");
    cl.GetSet("CALCTYPE", &CL::CalcType, &CL::SetCalcType).GetSet("CALCVAR", &CL::CalcVar, &CL::SetCalcVar);
    cl.GetSet("CONTROLLER", &CL::Controller, &CL::SetController);
    cl.GetSet("COUNTBLANKS", &CL::CountBlanks, &CL::SetCountBlanks);
    cl.GetSet("DATAVIEW", &CL::DataView, &CL::SetDataView)
        .GetSet("DATAFIELD", &CL::DataField, &CL::SetDataField);
    cl.GetSet("INITIALIZER", &CL::Initializer, &CL::SetInitializer);
    cl.GetSet("RUNNINGTOTAL", &CL::RunningTotal, &CL::SetRunningTotal);

    using CC = TZarvCalcController;
    TClassRows<CC>(builder, "ZVCSDATA", "TZarvCalcController")
        .GetSet("INITCALCVAR", &CC::InitCalcVar, &CC::SetInitCalcVar)
        .GetSet("INITDATAFIELD", &CC::InitDataField, &CC::SetInitDataField)
        .GetSet("INITVALUE", &CC::InitValue, &CC::SetInitValue);

    using DM = TZarvDataMirrorSection;
    TClassRows<DM>(builder, "ZVCSDATA", "TZarvDataMirrorSection")
        .GetSet("COMPARECASE", &DM::CompareCase, &DM::SetCompareCase)
        .GetSet("DATAFIELD", &DM::DataField, &DM::SetDataField)
        .GetSet("DATAVIEW", &DM::DataView, &DM::SetDataView);
}

void AddZvCsDrawRows(TRowBuilder& builder)
{
    using L = TZarvLine;
    TClassRows<L> l(builder, "ZVCSDRAW", "TZarvLine");
    l.GetSet("COLOR", &L::GetForeColor, &L::SetForeColor)
        .GetSet("LINESTYLE", &L::GetLineStyle, &L::SetLineStyle);
    l.GetSet("LINEWIDTH", &L::GetLineWidth, &L::SetLineWidth);
    l.GetSet("LINEWIDTHTYPE", &L::GetLineWidthType, &L::SetLineWidthType)
        .GetSet("NESW", &L::NESW, &L::SetNESW);

    using S = TZarvSurface;
    TClassRows<S> s(builder, "ZVCSDRAW", "TZarvSurface");
    s.GetSet("FORECOLOR", &S::GetForeColor, &S::SetForeColor)
        .GetSet("LINEWIDTH", &S::GetLineWidth, &S::SetLineWidth);
    s.GetSet("LINESTYLE", &S::GetLineStyle, &S::SetLineStyle)
        .GetSet("BACKCOLOR", &S::GetBackColor, &S::SetBackColor);

    using R = TZarvRectangle;
    TClassRows<R>(builder, "ZVCSDRAW", "TZarvRectangle")
        .GetSet("HRADIUS", &R::HRadius, &R::SetHRadius)
        .GetSet("VRADIUS", &R::VRadius, &R::SetVRadius);
}

void AddZvCsRptRows(TRowBuilder& builder)
{
    using G = TZarvRegion;
    TClassRows<G>(builder, "ZVCSRPT", "TZarvRegion")
        .GetSet("COLUMNS", &G::Columns, &G::SetColumns)
        .GetSet("COLUMNSPACING", &G::ColumnSpacing, &G::SetColumnSpacing);

    using B = TZarvBand;
    TClassRows<B> b(builder, "ZVCSRPT", "TZarvBand");
    b.Fn("GETREGION", &B::Region).GetSet("ALLOWSPLIT", &B::AllowSplit, &B::SetAllowSplit);
    b.GetSet("DESIGNERHIDE", &B::DesignerHide, &B::SetDesignerHide);
    b.GetSet("FINISHNEWPAGE", &B::FinishNewPage, &B::SetFinishNewPage);
    b.GetSet("GROUPDATAVIEW", &B::GroupDataView, &B::SetGroupDataView);
    b.GetSet("GROUPKEY", &B::GroupKey, &B::SetGroupKey);
    b.GetSet("MINHEIGHTLEFT", &B::MinHeightLeft, &B::SetMinHeightLeft);
    b.GetSet("POSITIONMODE", &B::PositionMode, &B::SetPositionMode);
    b.GetSet("POSITIONVALUE", &B::PositionValue, &B::SetPositionValue);
    b.GetSet("STARTNEWPAGE", &B::StartNewPage, &B::SetStartNewPage);

    using I = TZarvIterateBand;
    TClassRows<I> i(builder, "ZVCSRPT", "TZarvIterateBand");
    i.GetSet("COLUMNS", &I::Columns, &I::SetColumns)
        .GetSet("COLUMNSPACING", &I::ColumnSpacing, &I::SetColumnSpacing);
    i.GetSet("KEEPBODYTOGETHER", &I::KeepBodyTogether, &I::SetKeepBodyTogether);
    i.GetSet("KEEPROWTOGETHER", &I::KeepRowTogether, &I::SetKeepRowTogether);
    i.GetSet("MAXROWS", &I::MaxRows, &I::SetMaxRows)
        .GetSet("INITTOFIRST", &I::InitToFirst, &I::SetInitToFirst);
    i.GetSet("ORPHANROWS", &I::OrphanRows, &I::SetOrphanRows)
        .GetSet("WIDOWROWS", &I::WidowRows, &I::SetWidowRows);

    using D = TZarvDataBand;
    TClassRows<D> d(builder, "ZVCSRPT", "TZarvDataBand");
    d.GetSet("DATAVIEW", &D::DataView, &D::SetDataView).GetSet("DETAILKEY", &D::DetailKey, &D::SetDetailKey);
    d.GetSet("MASTERDATAVIEW", &D::MasterDataView, &D::SetMasterDataView);
    d.GetSet("MASTERKEY", &D::MasterKey, &D::SetMasterKey).GetSet("SORTKEY", &D::SortKey, &D::SetSortKey);

    using Y = TZarvDataCycle;
    TClassRows<Y> y(builder, "ZVCSRPT", "TZarvDataCycle");
    y.GetSet("DATAVIEW", &Y::DataView, &Y::SetDataView).GetSet("DETAILKEY", &Y::DetailKey, &Y::SetDetailKey);
    y.GetSet("INITTOFIRST", &Y::InitToFirst, &Y::SetInitToFirst);
    y.GetSet("MASTERDATAVIEW", &Y::MasterDataView, &Y::SetMasterDataView);
    y.GetSet("MASTERKEY", &Y::MasterKey, &Y::SetMasterKey).GetSet("MAXROWS", &Y::MaxRows, &Y::SetMaxRows);
    y.GetSet("SORTKEY", &Y::SortKey, &Y::SetSortKey);
}

void AddZvCsStdRows(TRowBuilder& builder)
{
    using F = TZarvFontMaster;
    TClassRows<F>(builder, "ZVCSSTD", "TZarvFontMaster").GetSet("FONT", &F::Font, &F::SetFont);

    using P = TZarvPageNumInit;
    TClassRows<P>(builder, "ZVCSSTD", "TZarvPageNumInit")
        .GetSet("INITVALUE", &P::InitValue, &P::SetInitValue)
        .GetSet("INITDATAVIEW", &P::InitDataView, &P::SetInitDataView)
        .GetSet("INITDATAFIELD", &P::InitDataField, &P::SetInitDataField);

    using C = TZarvCustomText;
    TClassRows<C>(builder, "ZVCSSTD", "TZarvCustomText")
        .GetSet("FONTMIRROR", &C::FontMirror, &C::SetFontMirror)
        .GetSet("COLOR", &C::GetForeColor, &C::SetForeColor)
        .GetSet("FONT", &C::Font, &C::SetFont);

    using T = TZarvText;
    TClassRows<T>(builder, "ZVCSSTD", "TZarvText")
        .GetSet("ROTATION", &T::Rotation, &T::SetRotation)
        .GetSet("TRUNCATE", &T::Truncate, &T::SetTruncate);

    using S = TZarvSection;
    TClassRows<S>(builder, "ZVCSSTD", "TZarvSection").GetSet("WASTEFIT", &S::WasteFit, &S::SetWasteFit);

    using I = TZarvBaseImage;
    TClassRows<I>(builder, "ZVCSSTD", "TZarvBaseImage")
        .GetSet("MATCHSIDE", &I::MatchSide, &I::SetMatchSide)
        .GetSet("FILELINK", &I::FileLink, &I::SetFileLink)
        .GetSet("DATAFIELD", &I::DataField, &I::SetDataField)
        .GetSet("DATAVIEW", &I::DataView, &I::SetDataView);

    using G = TZarvGraphicImage;
    TClassRows<G>(builder, "ZVCSSTD", "TZarvGraphicImage")
        .Fn("IMAGENAME", &G::ImageName)
        .Fn("IMAGEFILTER", &G::ImageFilter);

    using MM = TZarvMailMergeItem;
    TClassRows<MM>(builder, "ZVCSSTD", "TZarvMailMergeItem")
        .GetSet("CASEMATTERS", &MM::CaseMatters, &MM::SetCaseMatters)
        .GetSet("REPLACESTRING", &MM::ReplaceString, &MM::SetReplaceString)
        .GetSet("SEARCHTOKEN", &MM::SearchToken, &MM::SetSearchToken);

    using M = TZarvMemo;
    TClassRows<M>(builder, "ZVCSSTD", "TZarvMemo")
        .GetSet("CONTAINSRTF", &M::ContainsRTF, &M::SetContainsRTF)
        .GetSet("EXPANDPARENT", &M::ExpandParent, &M::SetExpandParent)
        .GetSet("MEMOTEXT", &M::GetText, &M::SetText)
        .GetSet("TRUNCATE", &M::Truncate, &M::SetTruncate);
}

} // namespace ZvLEFuncs
