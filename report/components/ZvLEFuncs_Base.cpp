// ZVBASE: the report canvas TBaseReport, as event scripts reach it.
#include "report/components/ZvLEFuncs_p.h"
#include "report/print/QpBase.h"

namespace ZvLEFuncs {

void AddZvBaseRows(TRowBuilder& builder)
{
    using B = TBaseReport;
    TClassRows<B> r(builder, "ZVBASE", "TBaseReport");
    r.Fn("CR", &B::Cr).Fn("LF", &B::Lf).Fn("CRLF", &B::CrLf).Fn("NEWLINE", &B::NewLine);
    r.Fn("SOFTLINE", &B::SoftLine).Fn("GOTOXY", &B::GotoXY).Fn("HOME", &B::Home);
    r.Fn("LINESLEFT", &B::LinesLeft).Fn("COLUMNLINESLEFT", &B::ColumnLinesLeft);
    r.Fn("PRINTJUSTIFY", &B::PrintJustify).Fn("PRINT", &B::Print).Fn("PRINTCENTER", &B::PrintCenter);
    r.Fn("PRINTHEADER", &B::PrintHeader).Fn("PRINTFOOTER", &B::PrintFooter).Fn("PRINTLEFT", &B::PrintLeft);
    r.Fn("PRINTBLOCK", &B::PrintBlock).Fn("PRINTLN", &B::Println).Fn("PRINTRIGHT", &B::PrintRight);
    r.Fn("PRINTXY", &B::PrintXY).Fn("PRINTCHARJUSTIFY", &B::PrintCharJustify).Fn("PRINTTAB", &B::PrintTab);
    r.Fn("ARC", &B::Arc).Fn("CHORD", &B::Chord).Fn("ELLIPSE", &B::Ellipse).Fn("LINETO", &B::LineTo);
    r.Fn("MOVETO", &B::MoveTo)
        .Fn("PIE", &B::Pie)
        .Fn("RECTANGLE", &B::Rectangle)
        .Fn("ROUNDRECT", &B::RoundRect);
    r.Fn("SETBRUSH", &B::SetBrush).Fn("SETFONT", &B::SetFont).Fn("SETPEN", &B::SetPen);
    r.Fn("ALLOWPREVIEWONLY", &B::AllowPreviewOnly).Fn("ALLOWPRINTERONLY", &B::AllowPrinterOnly);
    r.Fn("ALLOWALL", &B::AllowAll)
        .Fn("RESETLINEHEIGHT", &B::ResetLineHeight)
        .Fn("ADJUSTLINE", &B::AdjustLine);
    r.Fn("NEWCOLUMN", &B::NewColumn).Fn("GOTOHEADER", &B::GotoHeader).Fn("GOTOFOOTER", &B::GotoFooter);
    r.Fn("SETTOPOFPAGE", &B::SetTopOfPage);
    r.Fn("POPPOS", &B::PopPos)
        .Fn("PUSHPOS", &B::PushPos)
        .Fn("RESTOREPOS", &B::RestorePos)
        .Fn("SAVEPOS", &B::SavePos);
    r.Fn("POPTABS", &B::PopTabs).Fn("PUSHTABS", &B::PushTabs).Fn("RESTORETABS", &B::RestoreTabs);
    r.Fn("SAVETABS", &B::SaveTabs);
    r.Fn("POPFONT", &B::PopFont).Fn("PUSHFONT", &B::PushFont).Fn("RESTOREFONT", &B::RestoreFont);
    r.Fn("SAVEFONT", &B::SaveFont);
    // The setters of Columns and ColumnWidth take the gap between columns too.
    r.GetSet("COLUMNS", &B::Columns, &B::SetColumns);
    r.GetSet("COLUMNWIDTH", &B::ColumnWidth, &B::SetColumnWidth);
    r.Fn("CLEARCOLUMNS", &B::ClearColumns).Fn("SETTAB", &B::SetTab).Fn("CLEARTABS", &B::ClearTabs);
    r.Fn("CLEARALLTABS", &B::ClearAllTabs).Fn("RESETTABS", &B::ResetTabs).Fn("TAB", &B::Tab);
    r.Fn("TABSTART", &B::TabStart).Fn("TABEND", &B::TabEnd).Fn("TABWIDTH", &B::TabWidth);
    r.Fn("FINISHTABBOX", &B::FinishTabBox)
        .Fn("TEXTWIDTH", &B::TextWidth)
        .Fn("TRUNCATETEXT", &B::TruncateText);
    r.Fn("MACRO", &B::Macro).Fn("PIVAR", &B::PIVar).Fn("SETPIVAR", &B::SetPIVar);
    r.Get("CURRENTPAGE", &B::CurrentPage);
    r.GetSet("TEXTFIELDWIDTH", &B::TextFieldWidth, &B::SetTextFieldWidth);
    r.GetSet("IGNOREQPTF", &B::IgnoreQPTF, &B::SetIgnoreQPTF);
    r.Get("CURSORXPOS", &B::CursorXPos).Get("CURSORYPOS", &B::CursorYPos);
    r.GetSet("XPOS", &B::XPos, &B::SetXPos).GetSet("YPOS", &B::YPos, &B::SetYPos);
    r.Get("RELATIVEPAGE", &B::RelativePage).GetSet("PAGENUMOFFSET", &B::PageNumOffset, &B::SetPageNumOffset);
    r.Get("PAGEINVALID", &B::PageInvalid).Get("OUTPUTINVALID", &B::OutputInvalid);
    r.Get("XDPI", &B::XDPI).Get("YDPI", &B::YDPI);
    r.GetSet("LINENUM", &B::LineNum, &B::SetLineNum).GetSet("COLUMNNUM", &B::ColumnNum, &B::SetColumnNum);
    r.Get("COLUMNSTART", &B::ColumnStart).Get("COLUMNEND", &B::ColumnEnd);
    r.Get("LEFTWASTE", &B::LeftWaste).Get("RIGHTWASTE", &B::RightWaste);
    r.Get("TOPWASTE", &B::TopWaste).Get("BOTTOMWASTE", &B::BottomWaste);
    r.GetSet("SECTIONLEFT", &B::SectionLeft, &B::SetSectionLeft);
    r.GetSet("SECTIONTOP", &B::SectionTop, &B::SetSectionTop);
    r.GetSet("SECTIONBOTTOM", &B::SectionBottom, &B::SetSectionBottom);
    r.GetSet("SECTIONRIGHT", &B::SectionRight, &B::SetSectionRight);
    r.Get("PAGEHEIGHT", &B::PageHeight).Get("PAGEWIDTH", &B::PageWidth);
    r.GetSet("BOLD", &B::Bold, &B::SetBold).GetSet("ITALIC", &B::Italic, &B::SetItalic);
    r.GetSet("STRIKEOUT", &B::Strikeout, &B::SetStrikeout);
    r.GetSet("SUPERSCRIPT", &B::Superscript, &B::SetSuperscript);
    r.GetSet("SUBSCRIPT", &B::Subscript, &B::SetSubscript);
    r.GetSet("FONTROTATION", &B::FontRotation, &B::SetFontRotation);
    r.GetSet("FONTCOLOR", &B::FontColor, &B::SetFontColor).GetSet("FONTNAME", &B::FontName, &B::SetFontName);
    r.GetSet("FONTSIZE", &B::FontSize, &B::SetFontSize).GetSet("FONTPITCH", &B::FontPitch, &B::SetFontPitch);
    r.GetSet("FONTCHARSET", &B::FontCharset, &B::SetFontCharset);
    r.GetSet("FONTALIGN", &B::FontAlign, &B::SetFontAlign);
    r.GetSet("LINETOP", &B::LineTop, &B::SetLineTop).GetSet("LINEMIDDLE", &B::LineMiddle, &B::SetLineMiddle);
    r.GetSet("LINEBOTTOM", &B::LineBottom, &B::SetLineBottom).GetSet("FONTTOP", &B::FontTop, &B::SetFontTop);
    r.GetSet("FONTBASELINE", &B::FontBaseline, &B::SetFontBaseline);
    r.GetSet("FONTBOTTOM", &B::FontBottom, &B::SetFontBottom);
    r.GetSet("TABJUSTIFY", &B::TabJustify, &B::SetTabJustify);
    r.GetSet("TRANSPARENTBITMAPS", &B::TransparentBitmaps, &B::SetTransparentBitmaps);
    r.GetSet("PARAJUSTIFY", &B::ParaJustify, &B::SetParaJustify);
    r.GetSet("NOBUFFERLINE", &B::NoBufferLine, &B::SetNoBufferLine);
    r.GetSet("NONTCOLORFIX", &B::NoNTColorFix, &B::SetNoNTColorFix);
    r.GetSet("USEDRAWTEXT", &B::UseDrawText, &B::SetUseDrawText);
    r.GetSet("CURRENTPASS", &B::CurrentPass, &B::SetCurrentPass);
    r.GetSet("TOTALPASSES", &B::TotalPasses, &B::SetTotalPasses);
    r.GetSet("FIXEDTABWIDTH", &B::FixedTabWidth, &B::SetFixedTabWidth);
    r.GetSet("PRINTERINDEX", &B::PrinterIndex, &B::SetPrinterIndex);
    r.Get("DEVICENAME", &B::DeviceName).Get("DRIVERNAME", &B::DriverName).Get("PORT", &B::Port);
    r.Get("ABORTED", &B::Aborted).Get("PRINTING", &B::Printing);
    r.GetSet("ORIGINX", &B::OriginX, &B::SetOriginX).GetSet("ORIGINY", &B::OriginY, &B::SetOriginY);
    r.GetSet("BKCOLOR", &B::BKColor, &B::SetBKColor).GetSet("LINEHEIGHT", &B::LineHeight, &B::SetLineHeight);
    r.Get("ASCENTHEIGHT", &B::AscentHeight).Get("DESCENTHEIGHT", &B::DescentHeight);
    r.GetSet("FONTHEIGHT", &B::FontHeight, &B::SetFontHeight)
        .GetSet("FONTWIDTH", &B::FontWidth, &B::SetFontWidth);
    r.GetSet("OUTPUTNAME", &B::OutputName, &B::SetOutputName);
    r.GetSet("NOPRINTERPAGEHEIGHT", &B::NoPrinterPageHeight, &B::SetNoPrinterPageHeight);
    r.GetSet("NOPRINTERPAGEWIDTH", &B::NoPrinterPageWidth, &B::SetNoPrinterPageWidth);
    r.GetSet("FIRSTPAGE", &B::FirstPage, &B::SetFirstPage).GetSet("LASTPAGE", &B::LastPage, &B::SetLastPage);
    r.GetSet("SELECTION", &B::Selection, &B::SetSelection);
    r.GetSet("STATUSFORMAT", &B::StatusFormat, &B::SetStatusFormat);
    r.GetSet("LINEHEIGHTMETHOD", &B::LineHeightMethod, &B::SetLineHeightMethod);
    r.GetSet("LINESPERINCH", &B::LinesPerInch, &B::SetLinesPerInch);
    r.GetSet("UNITS", &B::Units, &B::SetUnits).GetSet("UNITSFACTOR", &B::UnitsFactor, &B::SetUnitsFactor);
    r.GetSet("MARGINLEFT", &B::MarginLeft, &B::SetMarginLeft);
    r.GetSet("MARGINRIGHT", &B::MarginRight, &B::SetMarginRight);
    r.GetSet("MARGINTOP", &B::MarginTop, &B::SetMarginTop);
    r.GetSet("MARGINBOTTOM", &B::MarginBottom, &B::SetMarginBottom);
    r.GetSet("TABSHADE", &B::TabShade, &B::SetTabShade).GetSet("TABCOLOR", &B::TabColor, &B::SetTabColor);
    r.GetSet("BOXLINECOLOR", &B::BoxLineColor, &B::SetBoxLineColor).GetSet("TITLE", &B::Title, &B::SetTitle);
    r.GetSet("TEXTBKMODE", &B::TextBKMode, &B::SetTextBKMode).GetSet("COPIES", &B::Copies, &B::SetCopies);
    r.GetSet("ORIENTATION", &B::Orientation, &B::SetOrientation);
    r.GetSet("SCALEX", &B::ScaleX, &B::SetScaleX).GetSet("SCALEY", &B::ScaleY, &B::SetScaleY);
}

} // namespace ZvLEFuncs
