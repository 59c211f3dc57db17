#include "platform/forms/FormsRegistration.h"

#include "platform/forms/ActnList.h"
#include "platform/forms/Buttons.h"
#include "platform/forms/ComCtrls.h"
#include "platform/forms/Dialogs.h"
#include "platform/forms/ExtCtrls.h"
#include "platform/forms/Forms.h"
#include "platform/forms/ImgList.h"
#include "platform/forms/Menus.h"
#include "platform/forms/Picture.h"
#include "platform/forms/RichEdit.h"
#include "platform/forms/StdCtrls.h"
#include "platform/forms/ToolBars.h"
#include "platform/objects/ObjectsRegistration.h"

namespace {

// --- Types ------------------------------------------------------------------

#define ENUM_TYPE(Function, Name, ...)                                                                       \
    const TTypeInfo& Function()                                                                              \
    {                                                                                                        \
        static const TTypeInfo type = MakeEnumType(QStringLiteral(Name), QStringList{__VA_ARGS__});          \
        return type;                                                                                         \
    }

ENUM_TYPE(BiDiModeType, "TBiDiMode", "bdLeftToRight", "bdRightToLeft", "bdRightToLeftNoAlign",
          "bdRightToLeftReadingOnly")
ENUM_TYPE(AlignType, "TAlign", "alNone", "alTop", "alBottom", "alLeft", "alRight", "alClient", "alCustom")
ENUM_TYPE(AlignmentType, "TAlignment", "taLeftJustify", "taRightJustify", "taCenter")
ENUM_TYPE(AnchorKindType, "TAnchorKind", "akLeft", "akTop", "akRight", "akBottom")
ENUM_TYPE(TextLayoutType, "TTextLayout", "tlTop", "tlCenter", "tlBottom")
ENUM_TYPE(CharCaseType, "TEditCharCase", "ecNormal", "ecUpperCase", "ecLowerCase")
ENUM_TYPE(BorderStyleType, "TBorderStyle", "bsNone", "bsSingle")
ENUM_TYPE(FormBorderStyleType, "TFormBorderStyle", "bsNone", "bsSingle", "bsSizeable", "bsDialog",
          "bsToolWindow", "bsSizeToolWin")
ENUM_TYPE(BorderIconType, "TBorderIcon", "biSystemMenu", "biMinimize", "biMaximize", "biHelp")
ENUM_TYPE(PositionType, "TPosition", "poDesigned", "poDefault", "poDefaultPosOnly", "poDefaultSizeOnly",
          "poScreenCenter", "poDesktopCenter", "poMainFormCenter", "poOwnerFormCenter")
ENUM_TYPE(WindowStateType, "TWindowState", "wsNormal", "wsMinimized", "wsMaximized")
ENUM_TYPE(FormStyleType, "TFormStyle", "fsNormal", "fsMDIChild", "fsMDIForm", "fsStayOnTop")
ENUM_TYPE(ScrollStyleType, "TScrollStyle", "ssNone", "ssHorizontal", "ssVertical", "ssBoth")
ENUM_TYPE(ComboStyleType, "TComboBoxStyle", "csDropDown", "csSimple", "csDropDownList", "csOwnerDrawFixed",
          "csOwnerDrawVariable")
ENUM_TYPE(CheckBoxStateType, "TCheckBoxState", "cbUnchecked", "cbChecked", "cbGrayed")
ENUM_TYPE(StaticBorderStyleType, "TStaticBorderStyle", "sbsNone", "sbsSingle", "sbsSunken")
ENUM_TYPE(BitBtnKindType, "TBitBtnKind", "bkCustom", "bkOK", "bkCancel", "bkHelp", "bkYes", "bkNo", "bkClose",
          "bkAbort", "bkRetry", "bkIgnore", "bkAll")
ENUM_TYPE(ButtonLayoutType, "TButtonLayout", "blGlyphLeft", "blGlyphRight", "blGlyphTop", "blGlyphBottom")
ENUM_TYPE(BevelCutType, "TBevelCut", "bvNone", "bvLowered", "bvRaised", "bvSpace")
ENUM_TYPE(ShapeTypeType, "TShapeType", "stRectangle", "stSquare", "stRoundRect", "stRoundSquare", "stEllipse",
          "stCircle")
ENUM_TYPE(BevelShapeType, "TBevelShape", "bsBox", "bsFrame", "bsTopLine", "bsBottomLine", "bsLeftLine",
          "bsRightLine", "bsSpacer")
ENUM_TYPE(BevelStyleType, "TBevelStyle", "bsLowered", "bsRaised")
ENUM_TYPE(TabPositionType, "TTabPosition", "tpTop", "tpBottom", "tpLeft", "tpRight")
ENUM_TYPE(TabStyleType, "TTabStyle", "tsTabs", "tsButtons", "tsFlatButtons")
ENUM_TYPE(FontPitchType, "TFontPitch", "fpDefault", "fpVariable", "fpFixed")
ENUM_TYPE(FontStyleType, "TFontStyle", "fsBold", "fsItalic", "fsUnderline", "fsStrikeOut")
ENUM_TYPE(PenStyleType, "TPenStyle", "psSolid", "psDash", "psDot", "psDashDot", "psDashDotDot", "psClear",
          "psInsideFrame", "psUserStyle", "psAlternate")
ENUM_TYPE(PenModeType, "TPenMode", "pmBlack", "pmWhite", "pmNop", "pmNot", "pmCopy", "pmNotCopy",
          "pmMergePenNot", "pmMaskPenNot", "pmMergeNotPen", "pmMaskNotPen", "pmMerge", "pmNotMerge", "pmMask",
          "pmNotMask", "pmXor", "pmNotXor")
ENUM_TYPE(ToolButtonStyleType, "TToolButtonStyle", "tbsButton", "tbsCheck", "tbsDropDown", "tbsSeparator",
          "tbsDivider")
ENUM_TYPE(OpenOptionType, "TOpenOption", "ofReadOnly", "ofOverwritePrompt", "ofHideReadOnly", "ofNoChangeDir",
          "ofShowHelp", "ofNoValidate", "ofAllowMultiSelect", "ofExtensionDifferent", "ofPathMustExist",
          "ofFileMustExist", "ofCreatePrompt", "ofShareAware", "ofNoReadOnlyReturn", "ofNoTestFileCreate",
          "ofNoNetworkButton", "ofNoLongNames", "ofOldStyleDialog", "ofNoDereferenceLinks",
          "ofEnableIncludeNotify", "ofEnableSizing", "ofDontAddToRecent", "ofForceShowHidden")
ENUM_TYPE(BrushStyleType, "TBrushStyle", "bsSolid", "bsClear", "bsHorizontal", "bsVertical", "bsFDiagonal",
          "bsBDiagonal", "bsCross", "bsDiagCross")

#undef ENUM_TYPE

const TTypeInfo& AnchorsType()
{
    static const TTypeInfo type = MakeSetType(QStringLiteral("TAnchors"), AnchorKindType());
    return type;
}

const TTypeInfo& BorderIconsType()
{
    static const TTypeInfo type = MakeSetType(QStringLiteral("TBorderIcons"), BorderIconType());
    return type;
}

const TTypeInfo& OpenOptionsType()
{
    static const TTypeInfo type = MakeSetType(QStringLiteral("TOpenOptions"), OpenOptionType());
    return type;
}

// Shortcuts are integers in the streams (virtual key plus modifier bits).
const TTypeInfo& ShortCutType()
{
    static const TTypeInfo type = MakeIntegerType(QStringLiteral("TShortCut"));
    return type;
}

const TTypeInfo& FontStylesType()
{
    static const TTypeInfo type = MakeSetType(QStringLiteral("TFontStyles"), FontStyleType());
    return type;
}

// Colours, cursors and character sets are integers in the streams, which form
// files may write by name; modal results are plain numbers.
const TTypeInfo& ColorType()
{
    return TypeInfoColor();
}

const TTypeInfo& CharsetType()
{
    static const TTypeInfo type = MakeIntegerType(QStringLiteral("TFontCharset"));
    return type;
}

const TTypeInfo& CursorType()
{
    static const TTypeInfo type = MakeIntegerType(QStringLiteral("TCursor"));
    return type;
}

struct TNamedValue {
    int Value;
    const char* Name;
};

// The Win32 character set numbers (wingdi.h) by their names.
constexpr TNamedValue kCharsetNames[] = {
    {0, "ANSI_CHARSET"},      {1, "DEFAULT_CHARSET"},    {2, "SYMBOL_CHARSET"},
    {77, "MAC_CHARSET"},      {128, "SHIFTJIS_CHARSET"}, {129, "HANGEUL_CHARSET"},
    {130, "JOHAB_CHARSET"},   {134, "GB2312_CHARSET"},   {136, "CHINESEBIG5_CHARSET"},
    {161, "GREEK_CHARSET"},   {162, "TURKISH_CHARSET"},  {163, "VIETNAMESE_CHARSET"},
    {177, "HEBREW_CHARSET"},  {178, "ARABIC_CHARSET"},   {186, "BALTIC_CHARSET"},
    {204, "RUSSIAN_CHARSET"}, {222, "THAI_CHARSET"},     {238, "EASTEUROPE_CHARSET"},
    {255, "OEM_CHARSET"},
};

// The framework's stock cursors by their names and numbers (Controls.h
// declares the ones the program uses).
constexpr TNamedValue kCursorNames[] = {
    {0, "crDefault"},   {-2, "crArrow"},    {-3, "crCross"},     {-4, "crIBeam"},    {-6, "crSizeNESW"},
    {-7, "crSizeNS"},   {-8, "crSizeNWSE"}, {-9, "crSizeWE"},    {-10, "crUpArrow"}, {-11, "crHourGlass"},
    {-12, "crDrag"},    {-13, "crNoDrop"},  {-14, "crHSplit"},   {-15, "crVSplit"},  {-16, "crMultiDrag"},
    {-17, "crSQLWait"}, {-18, "crNo"},      {-19, "crAppStart"}, {-20, "crHelp"},    {-21, "crHandPoint"},
    {-22, "crSizeAll"},
};

template <size_t N> TIdentMap IdentMap(const TNamedValue (&names)[N])
{
    TIdentMap map;
    map.reserve(N);
    for (const TNamedValue& entry : names)
        map.push_back(TIdentMapEntry{entry.Value, QString::fromLatin1(entry.Name)});
    return map;
}

void RegisterIdentMaps()
{
    RegisterColorIdents();
    RegisterIntegerConsts(CharsetType().Name, IdentMap(kCharsetNames));
    RegisterIntegerConsts(CursorType().Name, IdentMap(kCursorNames));
}

// --- Publishing helpers -------------------------------------------------------

template <class C> const C& As(const TObject& object)
{
    if (auto* self = dynamic_cast<const C*>(&object))
        return *self;
    throw EInvalidCast(QStringLiteral("Invalid class typecast"));
}

template <class C> C& As(TObject& object)
{
    if (auto* self = dynamic_cast<C*>(&object))
        return *self;
    throw EInvalidCast(QStringLiteral("Invalid class typecast"));
}

template <class C> void Event(TClassInfo& info, const QString& name, TEventKind kind = TEventKind::Notify)
{
    TPropInfo prop;
    prop.Name = name;
    prop.Type = &EventTypeInfo(kind);
    prop.GetMethod = [name](const TObject& o) { return As<C>(o).Event(name); };
    prop.SetMethod = [name, kind](TObject& o, const TMethod& method) {
        As<C>(o).SetEvent(name, method, kind);
    };
    info.AddProperty(std::move(prop));
}

// An ordinal property through functions of the object.
template <class C>
TPropInfo& Ordinal(TClassInfo& info, const QString& name, const TTypeInfo& type,
                   std::function<int64_t(const C&)> get, std::function<void(C&, int64_t)> set)
{
    TPropInfo prop;
    prop.Name = name;
    prop.Type = &type;
    prop.Default = 0;
    prop.GetOrd = [get](const TObject& o) { return get(As<C>(o)); };
    if (set)
        prop.SetOrd = [set](TObject& o, int64_t value) { set(As<C>(o), value); };
    return info.AddProperty(std::move(prop));
}

QString Name(const char* name)
{
    return QString::fromLatin1(name);
}

// A text or integer property held in a public field.
template <class C> TPropInfo& TextField(TClassInfo& info, const QString& name, QString C::*field)
{
    TPropInfo prop;
    prop.Name = name;
    prop.Type = &TypeInfoString();
    prop.GetStr = [field](const TObject& o) { return As<C>(o).*field; };
    prop.SetStr = [field](TObject& o, const QString& value) { As<C>(o).*field = value; };
    return info.AddProperty(std::move(prop));
}

template <class C, class T>
TPropInfo& OrdinalField(TClassInfo& info, const QString& name, const TTypeInfo& type, T C::*field)
{
    return Ordinal<C>(
        info, name, type, [field](const C& c) { return int64_t(c.*field); },
        [field](C& c, int64_t value) { c.*field = T(value); });
}

// --- Graphics objects ----------------------------------------------------------

void RegisterGraphicsObjects()
{
    if (FindClass(Name("TFont")))
        return;
    if (!FindClass(Name("TGraphicsObject")))
        RegisterClassInfo(Name("TGraphicsObject"), Name("TPersistent"), {}, &typeid(TGraphicsObject));

    TClassInfo& font = RegisterClass<TFont>(Name("TFont"), Name("TGraphicsObject"));
    Ordinal<TFont>(
        font, Name("Charset"), CharsetType(), [](const TFont& f) { return f.Charset(); },
        [](TFont& f, int64_t v) { f.SetCharset(TFontCharset(v)); })
        .WithDefault(DEFAULT_CHARSET);
    PublishProperty(font, Name("Color"), ColorType(), &TFont::Color, &TFont::SetColor)
        .WithDefault(clWindowText);
    PublishProperty(font, Name("Height"), TypeInfoInteger(), &TFont::Height, &TFont::SetHeight).NoDefault();
    PublishProperty(font, Name("Name"), TypeInfoString(), &TFont::Name, &TFont::SetName);
    PublishProperty(font, Name("Orientation"), TypeInfoInteger(), &TFont::Orientation,
                    &TFont::SetOrientation);
    PublishProperty(font, Name("Pitch"), FontPitchType(), &TFont::Pitch, &TFont::SetPitch);
    PublishProperty(font, Name("Size"), TypeInfoInteger(), &TFont::Size, &TFont::SetSize)
        .WithStored([](const TObject&) { return false; });
    Ordinal<TFont>(
        font, Name("Style"), FontStylesType(), [](const TFont& f) { return f.Style().Bits(); },
        [](TFont& f, int64_t v) { f.SetStyle(TFontStyles::FromBits(uint8_t(v))); });

    TClassInfo& pen = RegisterClass<TPen>(Name("TPen"), Name("TGraphicsObject"));
    PublishProperty(pen, Name("Color"), ColorType(), &TPen::Color, &TPen::SetColor).WithDefault(clBlack);
    PublishProperty(pen, Name("Mode"), PenModeType(), &TPen::Mode, &TPen::SetMode)
        .WithDefault(int(TPenMode::pmCopy));
    PublishProperty(pen, Name("Style"), PenStyleType(), &TPen::Style, &TPen::SetStyle);
    PublishProperty(pen, Name("Width"), TypeInfoInteger(), &TPen::Width, &TPen::SetWidth).WithDefault(1);

    TClassInfo& brush = RegisterClass<TBrush>(Name("TBrush"), Name("TGraphicsObject"));
    PublishProperty(brush, Name("Color"), ColorType(), &TBrush::Color, &TBrush::SetColor)
        .WithDefault(clWhite);
    PublishProperty(brush, Name("Style"), BrushStyleType(), &TBrush::Style, &TBrush::SetStyle);
}

// --- Controls --------------------------------------------------------------------

void RegisterControl()
{
    // The bases are not created from streams: they have no widget of their own.
    TClassInfo& c = RegisterClassInfo(Name("TControl"), Name("TComponent"), {}, &typeid(TControl));
    PublishProperty(c, Name("Left"), TypeInfoInteger(), &TControl::Left, &TControl::SetLeft).NoDefault();
    PublishProperty(c, Name("Top"), TypeInfoInteger(), &TControl::Top, &TControl::SetTop).NoDefault();
    PublishProperty(c, Name("Width"), TypeInfoInteger(), &TControl::Width, &TControl::SetWidth).NoDefault();
    PublishProperty(c, Name("Height"), TypeInfoInteger(), &TControl::Height, &TControl::SetHeight)
        .NoDefault();
    PublishProperty(c, Name("Align"), AlignType(), &TControl::Align, &TControl::SetAlign);
    PublishProperty(c, Name("Anchors"), AnchorsType(), &TControl::Anchors, &TControl::SetAnchors)
        .WithDefault(kDefaultAnchors);
    PublishProperty(c, Name("Color"), ColorType(), &TControl::Color, &TControl::SetColor)
        .NoDefault()
        .WithStored([](const TObject& o) { return !As<TControl>(o).ParentColor(); });
    PublishProperty(c, Name("ParentColor"), TypeInfoBoolean(), &TControl::ParentColor,
                    &TControl::SetParentColor)
        .NoDefault();
    PublishProperty(c, Name("Font"), TypeInfoClass(Name("TFont")), &TControl::Font, &TControl::SetFont)
        .WithStored([](const TObject& o) { return !As<TControl>(o).ParentFont(); });
    PublishProperty(c, Name("ParentFont"), TypeInfoBoolean(), &TControl::ParentFont, &TControl::SetParentFont)
        .NoDefault();
    PublishProperty(c, Name("BiDiMode"), BiDiModeType(), &TControl::BiDiMode, &TControl::SetBiDiMode);
    PublishProperty(c, Name("Cursor"), CursorType(), &TControl::Cursor, &TControl::SetCursor);
    PublishProperty(c, Name("Enabled"), TypeInfoBoolean(), &TControl::Enabled, &TControl::SetEnabled)
        .WithDefault(1);
    PublishProperty(c, Name("Hint"), TypeInfoString(), &TControl::Hint, &TControl::SetHint);
    PublishProperty(c, Name("ShowHint"), TypeInfoBoolean(), &TControl::ShowHint, &TControl::SetShowHint)
        .WithStored([](const TObject& o) { return !As<TControl>(o).ParentShowHint(); });
    PublishProperty(c, Name("ParentShowHint"), TypeInfoBoolean(), &TControl::ParentShowHint,
                    &TControl::SetParentShowHint)
        .WithDefault(1);
    PublishProperty(c, Name("Visible"), TypeInfoBoolean(), &TControl::Visible, &TControl::SetVisible)
        .WithDefault(1);
    PublishProperty(c, Name("PopupMenu"), TypeInfoClass(Name("TPopupMenu")), &TControl::PopupMenu,
                    &TControl::SetPopupMenu);
    Event<TControl>(c, Name("OnClick"));
    Event<TControl>(c, Name("OnDblClick"));

    TClassInfo& w = RegisterClassInfo(Name("TWinControl"), Name("TControl"), {}, &typeid(TWinControl));
    PublishProperty(w, Name("TabOrder"), TypeInfoInteger(), &TWinControl::TabOrder, &TWinControl::SetTabOrder)
        .WithDefault(-1);
    PublishProperty(w, Name("TabStop"), TypeInfoBoolean(), &TWinControl::TabStop, &TWinControl::SetTabStop)
        .NoDefault();
    Event<TWinControl>(w, Name("OnEnter"));
    Event<TWinControl>(w, Name("OnExit"));
    Event<TWinControl>(w, Name("OnKeyDown"), TEventKind::Key);
    Event<TWinControl>(w, Name("OnKeyPress"), TEventKind::KeyPress);

    RegisterClassInfo(Name("TGraphicControl"), Name("TControl"), {}, &typeid(TGraphicControl));
    RegisterClassInfo(Name("TCustomControl"), Name("TWinControl"));
}

void RegisterForms()
{
    TClassInfo& s = RegisterClassInfo(Name("TScrollingWinControl"), Name("TWinControl"), {},
                                      &typeid(TScrollingWinControl));
    TClassInfo& bar = RegisterClass<TControlScrollBar>(Name("TControlScrollBar"), Name("TPersistent"));
    PublishProperty(bar, Name("Increment"), TypeInfoInteger(), &TControlScrollBar::Increment,
                    &TControlScrollBar::SetIncrement)
        .WithDefault(8);
    PublishProperty(bar, Name("Position"), TypeInfoInteger(), &TControlScrollBar::Position,
                    &TControlScrollBar::SetPosition);
    PublishProperty(bar, Name("Range"), TypeInfoInteger(), &TControlScrollBar::Range,
                    &TControlScrollBar::SetRange);
    PublishProperty(bar, Name("Visible"), TypeInfoBoolean(), &TControlScrollBar::Visible,
                    &TControlScrollBar::SetVisible)
        .WithDefault(1);
    PublishProperty(s, Name("AutoScroll"), TypeInfoBoolean(), &TScrollingWinControl::AutoScroll,
                    &TScrollingWinControl::SetAutoScroll)
        .WithDefault(1);
    PublishProperty(s, Name("HorzScrollBar"), TypeInfoClass(Name("TControlScrollBar")),
                    &TScrollingWinControl::HorzScrollBar);
    PublishProperty(s, Name("VertScrollBar"), TypeInfoClass(Name("TControlScrollBar")),
                    &TScrollingWinControl::VertScrollBar);

    TClassInfo& box = RegisterClass<TScrollBox>(Name("TScrollBox"), Name("TScrollingWinControl"));
    PublishProperty(box, Name("BorderStyle"), BorderStyleType(), &TScrollBox::BorderStyle,
                    &TScrollBox::SetBorderStyle)
        .WithDefault(int(TBorderStyle::bsSingle));

    TClassInfo& f = RegisterClass<TCustomForm>(Name("TCustomForm"), Name("TScrollingWinControl"));
    PublishProperty(f, Name("ActiveControl"), TypeInfoClass(Name("TWinControl")), &TCustomForm::ActiveControl,
                    &TCustomForm::SetActiveControl);
    PublishProperty(f, Name("BorderIcons"), BorderIconsType(), &TCustomForm::BorderIcons,
                    &TCustomForm::SetBorderIcons)
        .WithDefault(kDefaultBorderIcons);
    PublishProperty(f, Name("BorderStyle"), FormBorderStyleType(), &TCustomForm::BorderStyle,
                    &TCustomForm::SetBorderStyle)
        .WithDefault(int(TFormBorderStyle::bsSizeable));
    PublishProperty(f, Name("Caption"), TypeInfoString(), &TControl::Text, &TControl::SetText);
    PublishProperty(f, Name("ClientWidth"), TypeInfoInteger(), &TCustomForm::ClientWidth,
                    &TCustomForm::SetClientWidth)
        .NoDefault();
    PublishProperty(f, Name("ClientHeight"), TypeInfoInteger(), &TCustomForm::ClientHeight,
                    &TCustomForm::SetClientHeight)
        .NoDefault();
    PublishProperty(f, Name("FormStyle"), FormStyleType(), &TCustomForm::FormStyle,
                    &TCustomForm::SetFormStyle);
    PublishProperty(f, Name("KeyPreview"), TypeInfoBoolean(), &TCustomForm::KeyPreview,
                    &TCustomForm::SetKeyPreview);
    PublishProperty(f, Name("Menu"), TypeInfoClass(Name("TMainMenu")), &TCustomForm::Menu,
                    &TCustomForm::SetMenu);
    PublishProperty(f, Name("OldCreateOrder"), TypeInfoBoolean(), &TCustomForm::OldCreateOrder,
                    &TCustomForm::SetOldCreateOrder);
    PublishProperty(f, Name("PixelsPerInch"), TypeInfoInteger(), &TCustomForm::PixelsPerInch,
                    &TCustomForm::SetPixelsPerInch)
        .NoDefault();
    PublishProperty(f, Name("Position"), PositionType(), &TCustomForm::Position, &TCustomForm::SetPosition);
    PublishProperty(f, Name("Scaled"), TypeInfoBoolean(), &TCustomForm::Scaled, &TCustomForm::SetScaled)
        .WithDefault(1);
    PublishProperty(f, Name("TextHeight"), TypeInfoInteger(), &TCustomForm::TextHeight,
                    &TCustomForm::SetTextHeight)
        .NoDefault();
    PublishProperty(f, Name("WindowState"), WindowStateType(), &TCustomForm::WindowState,
                    &TCustomForm::SetWindowState);
    Event<TCustomForm>(f, Name("OnActivate"));
    Event<TCustomForm>(f, Name("OnClose"), TEventKind::Close);
    Event<TCustomForm>(f, Name("OnCloseQuery"), TEventKind::CloseQuery);
    Event<TCustomForm>(f, Name("OnCreate"));
    Event<TCustomForm>(f, Name("OnDeactivate"));
    Event<TCustomForm>(f, Name("OnDestroy"));
    Event<TCustomForm>(f, Name("OnHide"));
    Event<TCustomForm>(f, Name("OnShow"));
    RegisterClass<TForm>(Name("TForm"), Name("TCustomForm"));

    // Ancestors of windows this program builds no class for.
    RegisterClassInfo(Name("TCustomFrame"), Name("TScrollingWinControl"));
    RegisterClassInfo(Name("TFrame"), Name("TCustomFrame"));
    RegisterClassInfo(Name("TDataModule"), Name("TComponent"));
}

void RegisterStdCtrls()
{
    RegisterClassInfo(Name("TCustomLabel"), Name("TGraphicControl"));
    TClassInfo& label = RegisterClass<TLabel>(Name("TLabel"), Name("TCustomLabel"));
    PublishProperty(label, Name("Alignment"), AlignmentType(), &TLabel::Alignment, &TLabel::SetAlignment);
    PublishProperty(label, Name("AutoSize"), TypeInfoBoolean(), &TLabel::AutoSize, &TLabel::SetAutoSize)
        .WithDefault(1);
    PublishProperty(label, Name("Caption"), TypeInfoString(), &TControl::Text, &TControl::SetText);
    PublishProperty(label, Name("FocusControl"), TypeInfoClass(Name("TWinControl")), &TLabel::FocusControl,
                    &TLabel::SetFocusControl);
    PublishProperty(label, Name("Layout"), TextLayoutType(), &TLabel::Layout, &TLabel::SetLayout);
    PublishProperty(label, Name("ShowAccelChar"), TypeInfoBoolean(), &TLabel::ShowAccelChar,
                    &TLabel::SetShowAccelChar)
        .WithDefault(1);
    PublishProperty(label, Name("Transparent"), TypeInfoBoolean(), &TLabel::Transparent,
                    &TLabel::SetTransparent);
    PublishProperty(label, Name("WordWrap"), TypeInfoBoolean(), &TLabel::WordWrap, &TLabel::SetWordWrap);

    RegisterClassInfo(Name("TCustomStaticText"), Name("TWinControl"));
    TClassInfo& text = RegisterClass<TStaticText>(Name("TStaticText"), Name("TCustomStaticText"));
    PublishProperty(text, Name("Alignment"), AlignmentType(), &TStaticText::Alignment,
                    &TStaticText::SetAlignment);
    PublishProperty(text, Name("AutoSize"), TypeInfoBoolean(), &TStaticText::AutoSize,
                    &TStaticText::SetAutoSize)
        .WithDefault(1);
    PublishProperty(text, Name("BorderStyle"), StaticBorderStyleType(), &TStaticText::BorderStyle,
                    &TStaticText::SetBorderStyle);
    PublishProperty(text, Name("Caption"), TypeInfoString(), &TControl::Text, &TControl::SetText);
    PublishProperty(text, Name("ShowAccelChar"), TypeInfoBoolean(), &TStaticText::ShowAccelChar,
                    &TStaticText::SetShowAccelChar)
        .WithDefault(1);

    RegisterClassInfo(Name("TButtonControl"), Name("TWinControl"));
    TClassInfo& button = RegisterClass<TButton>(Name("TButton"), Name("TButtonControl"));
    PublishProperty(button, Name("Cancel"), TypeInfoBoolean(), &TButton::Cancel, &TButton::SetCancel);
    PublishProperty(button, Name("Caption"), TypeInfoString(), &TControl::Text, &TControl::SetText);
    PublishProperty(button, Name("Default"), TypeInfoBoolean(), &TButton::Default, &TButton::SetDefault);
    PublishProperty(button, Name("ModalResult"), TypeInfoInteger(), &TButton::ModalResult,
                    &TButton::SetModalResult);

    RegisterClassInfo(Name("TCustomEdit"), Name("TWinControl"));
    TClassInfo& edit = RegisterClass<TEdit>(Name("TEdit"), Name("TCustomEdit"));
    PublishProperty(edit, Name("AutoSelect"), TypeInfoBoolean(), &TEdit::AutoSelect, &TEdit::SetAutoSelect)
        .WithDefault(1);
    PublishProperty(edit, Name("AutoSize"), TypeInfoBoolean(), &TEdit::AutoSize, &TEdit::SetAutoSize)
        .WithDefault(1);
    PublishProperty(edit, Name("BorderStyle"), BorderStyleType(), &TEdit::BorderStyle, &TEdit::SetBorderStyle)
        .WithDefault(int(TEditBorderStyle::bsSingle));
    PublishProperty(edit, Name("CharCase"), CharCaseType(), &TEdit::CharCase, &TEdit::SetCharCase);
    PublishProperty(edit, Name("MaxLength"), TypeInfoInteger(), &TEdit::MaxLength, &TEdit::SetMaxLength);
    PublishProperty(edit, Name("PasswordChar"), TypeInfoChar(), &TEdit::PasswordChar,
                    &TEdit::SetPasswordChar);
    PublishProperty(edit, Name("ReadOnly"), TypeInfoBoolean(), &TEdit::ReadOnly, &TEdit::SetReadOnly);
    PublishProperty(edit, Name("Text"), TypeInfoString(), &TEdit::Text, &TEdit::SetText);
    PublishProperty(edit, Name("TextHint"), TypeInfoString(), &TEdit::TextHint, &TEdit::SetTextHint);
    Event<TEdit>(edit, Name("OnChange"));

    RegisterClassInfo(Name("TCustomMemo"), Name("TCustomEdit"));
    TClassInfo& memo = RegisterClass<TMemo>(Name("TMemo"), Name("TCustomMemo"));
    PublishProperty(memo, Name("Alignment"), AlignmentType(), &TMemo::Alignment, &TMemo::SetAlignment);
    PublishProperty(memo, Name("Lines"), TypeInfoClass(Name("TStrings")), &TMemo::Lines, &TMemo::SetLines);
    PublishProperty(memo, Name("MaxLength"), TypeInfoInteger(), &TMemo::MaxLength, &TMemo::SetMaxLength);
    PublishProperty(memo, Name("ReadOnly"), TypeInfoBoolean(), &TMemo::ReadOnly, &TMemo::SetReadOnly);
    PublishProperty(memo, Name("ScrollBars"), ScrollStyleType(), &TMemo::ScrollBars, &TMemo::SetScrollBars);
    PublishProperty(memo, Name("WantReturns"), TypeInfoBoolean(), &TMemo::WantReturns, &TMemo::SetWantReturns)
        .WithDefault(1);
    PublishProperty(memo, Name("WantTabs"), TypeInfoBoolean(), &TMemo::WantTabs, &TMemo::SetWantTabs);
    PublishProperty(memo, Name("WordWrap"), TypeInfoBoolean(), &TMemo::WordWrap, &TMemo::SetWordWrap)
        .WithDefault(1);
    Event<TMemo>(memo, Name("OnChange"));

    RegisterClassInfo(Name("TCustomRichEdit"), Name("TCustomMemo"));
    TClassInfo& rich = RegisterClass<TRichEdit>(Name("TRichEdit"), Name("TCustomRichEdit"));
    PublishProperty(rich, Name("Lines"), TypeInfoClass(Name("TStrings")), &TRichEdit::Lines,
                    &TRichEdit::SetLines);
    Event<TRichEdit>(rich, Name("OnChange"));

    RegisterClassInfo(Name("TCustomComboBox"), Name("TWinControl"));
    TClassInfo& combo = RegisterClass<TComboBox>(Name("TComboBox"), Name("TCustomComboBox"));
    PublishProperty(combo, Name("DropDownCount"), TypeInfoInteger(), &TComboBox::DropDownCount,
                    &TComboBox::SetDropDownCount)
        .WithDefault(8);
    PublishProperty(combo, Name("ItemHeight"), TypeInfoInteger(), &TComboBox::ItemHeight,
                    &TComboBox::SetItemHeight)
        .NoDefault();
    PublishProperty(combo, Name("ItemIndex"), TypeInfoInteger(), &TComboBox::ItemIndex,
                    &TComboBox::SetItemIndex)
        .WithDefault(-1);
    PublishProperty(combo, Name("Items"), TypeInfoClass(Name("TStrings")), &TComboBox::Items,
                    &TComboBox::SetItems);
    PublishProperty(combo, Name("MaxLength"), TypeInfoInteger(), &TComboBox::MaxLength,
                    &TComboBox::SetMaxLength);
    PublishProperty(combo, Name("Sorted"), TypeInfoBoolean(), &TComboBox::Sorted, &TComboBox::SetSorted);
    PublishProperty(combo, Name("Style"), ComboStyleType(), &TComboBox::Style, &TComboBox::SetStyle);
    PublishProperty(combo, Name("Text"), TypeInfoString(), &TComboBox::Text, &TComboBox::SetText);
    Event<TComboBox>(combo, Name("OnChange"));

    RegisterClassInfo(Name("TCustomListBox"), Name("TWinControl"));
    TClassInfo& list = RegisterClass<TListBox>(Name("TListBox"), Name("TCustomListBox"));
    PublishProperty(list, Name("Columns"), TypeInfoInteger(), &TListBox::Columns, &TListBox::SetColumns);
    PublishProperty(list, Name("IntegralHeight"), TypeInfoBoolean(), &TListBox::IntegralHeight,
                    &TListBox::SetIntegralHeight);
    PublishProperty(list, Name("ItemHeight"), TypeInfoInteger(), &TListBox::ItemHeight,
                    &TListBox::SetItemHeight)
        .NoDefault();
    PublishProperty(list, Name("ItemIndex"), TypeInfoInteger(), &TListBox::ItemIndex, &TListBox::SetItemIndex)
        .WithDefault(-1);
    PublishProperty(list, Name("Items"), TypeInfoClass(Name("TStrings")), &TListBox::Items,
                    &TListBox::SetItems);
    PublishProperty(list, Name("MultiSelect"), TypeInfoBoolean(), &TListBox::MultiSelect,
                    &TListBox::SetMultiSelect);
    PublishProperty(list, Name("Sorted"), TypeInfoBoolean(), &TListBox::Sorted, &TListBox::SetSorted);

    RegisterClassInfo(Name("TCustomCheckBox"), Name("TButtonControl"));
    TClassInfo& check = RegisterClass<TCheckBox>(Name("TCheckBox"), Name("TCustomCheckBox"));
    PublishProperty(check, Name("Alignment"), AlignmentType(), &TCheckBox::Alignment,
                    &TCheckBox::SetAlignment)
        .WithDefault(int(TAlignment::taRightJustify));
    PublishProperty(check, Name("AllowGrayed"), TypeInfoBoolean(), &TCheckBox::AllowGrayed,
                    &TCheckBox::SetAllowGrayed);
    PublishProperty(check, Name("Caption"), TypeInfoString(), &TControl::Text, &TControl::SetText);
    PublishProperty(check, Name("Checked"), TypeInfoBoolean(), &TCheckBox::Checked, &TCheckBox::SetChecked)
        .WithStored([](const TObject&) { return false; });
    PublishProperty(check, Name("State"), CheckBoxStateType(), &TCheckBox::State, &TCheckBox::SetState);

    TClassInfo& radio = RegisterClass<TRadioButton>(Name("TRadioButton"), Name("TButtonControl"));
    PublishProperty(radio, Name("Alignment"), AlignmentType(), &TRadioButton::Alignment,
                    &TRadioButton::SetAlignment)
        .WithDefault(int(TAlignment::taRightJustify));
    PublishProperty(radio, Name("Caption"), TypeInfoString(), &TControl::Text, &TControl::SetText);
    PublishProperty(radio, Name("Checked"), TypeInfoBoolean(), &TRadioButton::Checked,
                    &TRadioButton::SetChecked);

    RegisterClassInfo(Name("TCustomGroupBox"), Name("TCustomControl"));
    TClassInfo& group = RegisterClass<TGroupBox>(Name("TGroupBox"), Name("TCustomGroupBox"));
    PublishProperty(group, Name("Caption"), TypeInfoString(), &TControl::Text, &TControl::SetText);
}

void RegisterButtons()
{
    TClassInfo& bit = RegisterClass<TBitBtn>(Name("TBitBtn"), Name("TButton"));
    PublishProperty(bit, Name("Glyph"), TypeInfoClass(Name("TBitmap")), &TBitBtn::Glyph);
    PublishProperty(bit, Name("Kind"), BitBtnKindType(), &TBitBtn::Kind, &TBitBtn::SetKind);
    PublishProperty(bit, Name("Layout"), ButtonLayoutType(), &TBitBtn::Layout, &TBitBtn::SetLayout);
    PublishProperty(bit, Name("Margin"), TypeInfoInteger(), &TBitBtn::Margin, &TBitBtn::SetMargin)
        .WithDefault(-1);
    PublishProperty(bit, Name("NumGlyphs"), TypeInfoInteger(), &TBitBtn::NumGlyphs, &TBitBtn::SetNumGlyphs)
        .WithDefault(1);
    PublishProperty(bit, Name("Spacing"), TypeInfoInteger(), &TBitBtn::Spacing, &TBitBtn::SetSpacing)
        .WithDefault(4);

    TClassInfo& speed = RegisterClass<TSpeedButton>(Name("TSpeedButton"), Name("TGraphicControl"));
    PublishProperty(speed, Name("AllowAllUp"), TypeInfoBoolean(), &TSpeedButton::AllowAllUp,
                    &TSpeedButton::SetAllowAllUp);
    PublishProperty(speed, Name("Caption"), TypeInfoString(), &TControl::Text, &TControl::SetText);
    PublishProperty(speed, Name("Down"), TypeInfoBoolean(), &TSpeedButton::Down, &TSpeedButton::SetDown);
    PublishProperty(speed, Name("Flat"), TypeInfoBoolean(), &TSpeedButton::Flat, &TSpeedButton::SetFlat);
    PublishProperty(speed, Name("Glyph"), TypeInfoClass(Name("TBitmap")), &TSpeedButton::Glyph);
    PublishProperty(speed, Name("GroupIndex"), TypeInfoInteger(), &TSpeedButton::GroupIndex,
                    &TSpeedButton::SetGroupIndex);
    PublishProperty(speed, Name("Layout"), ButtonLayoutType(), &TSpeedButton::Layout,
                    &TSpeedButton::SetLayout);
    PublishProperty(speed, Name("Margin"), TypeInfoInteger(), &TSpeedButton::Margin, &TSpeedButton::SetMargin)
        .WithDefault(-1);
    PublishProperty(speed, Name("NumGlyphs"), TypeInfoInteger(), &TSpeedButton::NumGlyphs,
                    &TSpeedButton::SetNumGlyphs)
        .WithDefault(1);
    PublishProperty(speed, Name("Spacing"), TypeInfoInteger(), &TSpeedButton::Spacing,
                    &TSpeedButton::SetSpacing)
        .WithDefault(4);
    PublishProperty(speed, Name("Transparent"), TypeInfoBoolean(), &TSpeedButton::Transparent,
                    &TSpeedButton::SetTransparent)
        .WithDefault(1);
}

void RegisterExtCtrls()
{
    RegisterClassInfo(Name("TCustomPanel"), Name("TCustomControl"));
    TClassInfo& panel = RegisterClass<TPanel>(Name("TPanel"), Name("TCustomPanel"));
    PublishProperty(panel, Name("Alignment"), AlignmentType(), &TPanel::Alignment, &TPanel::SetAlignment)
        .WithDefault(int(TAlignment::taCenter));
    PublishProperty(panel, Name("BevelInner"), BevelCutType(), &TPanel::BevelInner, &TPanel::SetBevelInner);
    PublishProperty(panel, Name("BevelOuter"), BevelCutType(), &TPanel::BevelOuter, &TPanel::SetBevelOuter)
        .WithDefault(int(TBevelCut::bvRaised));
    PublishProperty(panel, Name("BevelWidth"), TypeInfoInteger(), &TPanel::BevelWidth, &TPanel::SetBevelWidth)
        .WithDefault(1);
    PublishProperty(panel, Name("BorderStyle"), BorderStyleType(), &TPanel::BorderStyle,
                    &TPanel::SetBorderStyle);
    PublishProperty(panel, Name("BorderWidth"), TypeInfoInteger(), &TPanel::BorderWidth,
                    &TPanel::SetBorderWidth);
    PublishProperty(panel, Name("Caption"), TypeInfoString(), &TControl::Text, &TControl::SetText);

    RegisterClass<TPicture>(Name("TPicture"), Name("TPersistent"));
    TClassInfo& image = RegisterClass<TImage>(Name("TImage"), Name("TGraphicControl"));
    PublishProperty(image, Name("AutoSize"), TypeInfoBoolean(), &TImage::AutoSize, &TImage::SetAutoSize);
    PublishProperty(image, Name("Center"), TypeInfoBoolean(), &TImage::Center, &TImage::SetCenter);
    PublishProperty(image, Name("Picture"), TypeInfoClass(Name("TPicture")), &TImage::Picture,
                    &TImage::SetPicture);
    PublishProperty(image, Name("Proportional"), TypeInfoBoolean(), &TImage::Proportional,
                    &TImage::SetProportional);
    PublishProperty(image, Name("Stretch"), TypeInfoBoolean(), &TImage::Stretch, &TImage::SetStretch);
    PublishProperty(image, Name("Transparent"), TypeInfoBoolean(), &TImage::Transparent,
                    &TImage::SetTransparent);

    TClassInfo& shape = RegisterClass<TShape>(Name("TShape"), Name("TGraphicControl"));
    PublishProperty(shape, Name("Brush"), TypeInfoClass(Name("TBrush")), &TShape::Brush, &TShape::SetBrush);
    PublishProperty(shape, Name("Pen"), TypeInfoClass(Name("TPen")), &TShape::Pen, &TShape::SetPen);
    PublishProperty(shape, Name("Shape"), ShapeTypeType(), &TShape::Shape, &TShape::SetShape);

    TClassInfo& bevel = RegisterClass<TBevel>(Name("TBevel"), Name("TGraphicControl"));
    PublishProperty(bevel, Name("Shape"), BevelShapeType(), &TBevel::Shape, &TBevel::SetShape);
    PublishProperty(bevel, Name("Style"), BevelStyleType(), &TBevel::Style, &TBevel::SetStyle);

    TClassInfo& timer = RegisterClass<TTimer>(Name("TTimer"), Name("TComponent"));
    PublishProperty(timer, Name("Enabled"), TypeInfoBoolean(), &TTimer::Enabled, &TTimer::SetEnabled)
        .WithDefault(1);
    PublishProperty(timer, Name("Interval"), TypeInfoInteger(), &TTimer::Interval, &TTimer::SetInterval)
        .WithDefault(1000);
    PublishProperty(timer, Name("OnTimer"), EventTypeInfo(TEventKind::Notify), &TTimer::OnTimer,
                    &TTimer::SetOnTimer);
}

void RegisterComCtrls()
{
    RegisterClassInfo(Name("TCustomImageList"), Name("TComponent"));
    RegisterClassInfo(Name("TDragImageList"), Name("TCustomImageList"));
    TClassInfo& images = RegisterClass<TImageList>(Name("TImageList"), Name("TDragImageList"));
    PublishProperty(images, Name("AllocBy"), TypeInfoInteger(), &TImageList::AllocBy, &TImageList::SetAllocBy)
        .WithDefault(4);
    PublishProperty(images, Name("BkColor"), ColorType(), &TImageList::BkColor, &TImageList::SetBkColor)
        .WithDefault(clNone);
    PublishProperty(images, Name("Height"), TypeInfoInteger(), &TImageList::Height, &TImageList::SetHeight)
        .WithDefault(16);
    PublishProperty(images, Name("Masked"), TypeInfoBoolean(), &TImageList::Masked, &TImageList::SetMasked)
        .WithDefault(1);
    PublishProperty(images, Name("Width"), TypeInfoInteger(), &TImageList::Width, &TImageList::SetWidth)
        .WithDefault(16);

    RegisterClassInfo(Name("TCustomTabControl"), Name("TWinControl"));
    TClassInfo& pages = RegisterClass<TPageControl>(Name("TPageControl"), Name("TCustomTabControl"));
    PublishProperty(pages, Name("ActivePage"), TypeInfoClass(Name("TTabSheet")), &TPageControl::ActivePage,
                    &TPageControl::SetActivePage);
    PublishProperty(pages, Name("Images"), TypeInfoClass(Name("TCustomImageList")), &TPageControl::Images,
                    &TPageControl::SetImages);
    PublishProperty(pages, Name("MultiLine"), TypeInfoBoolean(), &TPageControl::MultiLine,
                    &TPageControl::SetMultiLine);
    PublishProperty(pages, Name("Style"), TabStyleType(), &TPageControl::Style, &TPageControl::SetStyle);
    PublishProperty(pages, Name("TabPosition"), TabPositionType(), &TPageControl::TabPosition,
                    &TPageControl::SetTabPosition);
    Event<TPageControl>(pages, Name("OnChange"));

    TClassInfo& sheet = RegisterClass<TTabSheet>(Name("TTabSheet"), Name("TWinControl"));
    PublishProperty(sheet, Name("Caption"), TypeInfoString(), &TControl::Text, &TControl::SetText);
    PublishProperty(sheet, Name("ImageIndex"), TypeInfoInteger(), &TTabSheet::ImageIndex,
                    &TTabSheet::SetImageIndex)
        .WithDefault(-1);
    PublishProperty(sheet, Name("PageIndex"), TypeInfoInteger(), &TTabSheet::PageIndex,
                    &TTabSheet::SetPageIndex)
        .WithStored([](const TObject&) { return false; });
    PublishProperty(sheet, Name("TabVisible"), TypeInfoBoolean(), &TTabSheet::TabVisible,
                    &TTabSheet::SetTabVisible)
        .WithDefault(1);
}

// Menus, actions, tool bars, status bars and file dialogs.
void RegisterCommandClasses()
{
    TClassInfo& action = RegisterClass<TAction>(Name("TAction"), Name("TComponent"));
    PublishProperty(action, Name("Caption"), TypeInfoString(), &TAction::Caption, &TAction::SetCaption);
    PublishProperty(action, Name("Category"), TypeInfoString(), &TAction::Category, &TAction::SetCategory);
    PublishProperty(action, Name("Checked"), TypeInfoBoolean(), &TAction::Checked, &TAction::SetChecked);
    PublishProperty(action, Name("Enabled"), TypeInfoBoolean(), &TAction::Enabled, &TAction::SetEnabled)
        .WithDefault(1);
    PublishProperty(action, Name("Hint"), TypeInfoString(), &TAction::Hint, &TAction::SetHint);
    PublishProperty(action, Name("ImageIndex"), TypeInfoInteger(), &TAction::ImageIndex,
                    &TAction::SetImageIndex)
        .WithDefault(-1);
    PublishProperty(action, Name("ShortCut"), ShortCutType(), &TAction::ShortCut, &TAction::SetShortCut);
    PublishProperty(action, Name("Visible"), TypeInfoBoolean(), &TAction::Visible, &TAction::SetVisible)
        .WithDefault(1);
    PublishProperty(action, Name("OnExecute"), EventTypeInfo(TEventKind::Notify), &TAction::OnExecute,
                    &TAction::SetOnExecute);
    PublishProperty(action, Name("OnUpdate"), EventTypeInfo(TEventKind::Notify), &TAction::OnUpdate,
                    &TAction::SetOnUpdate);

    TClassInfo& actions = RegisterClass<TActionList>(Name("TActionList"), Name("TComponent"));
    PublishProperty(actions, Name("Images"), TypeInfoClass(Name("TCustomImageList")), &TActionList::Images,
                    &TActionList::SetImages);

    TClassInfo& item = RegisterClass<TMenuItem>(Name("TMenuItem"), Name("TComponent"));
    PublishProperty(item, Name("Action"), TypeInfoClass(Name("TAction")), &TMenuItem::Action,
                    &TMenuItem::SetAction);
    PublishProperty(item, Name("Caption"), TypeInfoString(), &TMenuItem::Caption, &TMenuItem::SetCaption)
        .WithStored([](const TObject& o) { return !As<TMenuItem>(o).Action(); });
    PublishProperty(item, Name("Checked"), TypeInfoBoolean(), &TMenuItem::Checked, &TMenuItem::SetChecked);
    PublishProperty(item, Name("Enabled"), TypeInfoBoolean(), &TMenuItem::Enabled, &TMenuItem::SetEnabled)
        .WithDefault(1);
    PublishProperty(item, Name("Hint"), TypeInfoString(), &TMenuItem::Hint, &TMenuItem::SetHint)
        .WithStored([](const TObject& o) { return !As<TMenuItem>(o).Action(); });
    PublishProperty(item, Name("ImageIndex"), TypeInfoInteger(), &TMenuItem::ImageIndex,
                    &TMenuItem::SetImageIndex)
        .WithDefault(-1);
    PublishProperty(item, Name("ShortCut"), ShortCutType(), &TMenuItem::ShortCut, &TMenuItem::SetShortCut)
        .WithStored([](const TObject& o) { return !As<TMenuItem>(o).Action(); });
    PublishProperty(item, Name("Visible"), TypeInfoBoolean(), &TMenuItem::Visible, &TMenuItem::SetVisible)
        .WithDefault(1);
    PublishProperty(item, Name("OnClick"), EventTypeInfo(TEventKind::Notify), &TMenuItem::OnClick,
                    &TMenuItem::SetOnClick);

    RegisterClassInfo(Name("TMenu"), Name("TComponent"), {}, &typeid(TMenu));
    RegisterClass<TMainMenu>(Name("TMainMenu"), Name("TMenu"));
    TClassInfo& popup = RegisterClass<TPopupMenu>(Name("TPopupMenu"), Name("TMenu"));
    PublishProperty(popup, Name("AutoPopup"), TypeInfoBoolean(), &TPopupMenu::AutoPopup,
                    &TPopupMenu::SetAutoPopup)
        .WithDefault(1);

    RegisterClassInfo(Name("TToolWindow"), Name("TWinControl"));
    TClassInfo& bar = RegisterClass<TToolBar>(Name("TToolBar"), Name("TToolWindow"));
    PublishProperty(bar, Name("ButtonHeight"), TypeInfoInteger(), &TToolBar::ButtonHeight,
                    &TToolBar::SetButtonHeight)
        .WithDefault(22);
    PublishProperty(bar, Name("ButtonWidth"), TypeInfoInteger(), &TToolBar::ButtonWidth,
                    &TToolBar::SetButtonWidth)
        .WithDefault(23);
    PublishProperty(bar, Name("Flat"), TypeInfoBoolean(), &TToolBar::Flat, &TToolBar::SetFlat);
    PublishProperty(bar, Name("Images"), TypeInfoClass(Name("TCustomImageList")), &TToolBar::Images,
                    &TToolBar::SetImages);

    TClassInfo& button = RegisterClass<TToolButton>(Name("TToolButton"), Name("TGraphicControl"));
    PublishProperty(button, Name("Action"), TypeInfoClass(Name("TAction")), &TToolButton::Action,
                    &TToolButton::SetAction);
    PublishProperty(button, Name("Caption"), TypeInfoString(), &TControl::Text, &TControl::SetText)
        .WithStored([](const TObject& o) { return !As<TToolButton>(o).Action(); });
    PublishProperty(button, Name("ImageIndex"), TypeInfoInteger(), &TToolButton::ImageIndex,
                    &TToolButton::SetImageIndex)
        .WithDefault(-1);
    PublishProperty(button, Name("Style"), ToolButtonStyleType(), &TToolButton::Style,
                    &TToolButton::SetStyle);

    TClassInfo& status = RegisterClass<TStatusBar>(Name("TStatusBar"), Name("TWinControl"));
    PublishProperty(status, Name("SimplePanel"), TypeInfoBoolean(), &TStatusBar::SimplePanel,
                    &TStatusBar::SetSimplePanel);
    PublishProperty(status, Name("SimpleText"), TypeInfoString(), &TStatusBar::SimpleText,
                    &TStatusBar::SetSimpleText);

    RegisterClassInfo(Name("TCommonDialog"), Name("TComponent"));
    TClassInfo& open = RegisterClass<TOpenDialog>(Name("TOpenDialog"), Name("TCommonDialog"));
    TextField<TOpenDialog>(open, Name("DefaultExt"), &TOpenDialog::DefaultExt);
    TextField<TOpenDialog>(open, Name("FileName"), &TOpenDialog::FileName);
    TextField<TOpenDialog>(open, Name("Filter"), &TOpenDialog::Filter);
    OrdinalField<TOpenDialog>(open, Name("FilterIndex"), TypeInfoInteger(), &TOpenDialog::FilterIndex)
        .WithDefault(1);
    TextField<TOpenDialog>(open, Name("InitialDir"), &TOpenDialog::InitialDir);
    OrdinalField<TOpenDialog>(open, Name("Options"), OpenOptionsType(), &TOpenDialog::Options)
        .WithDefault(kDefaultOpenOptions);
    TextField<TOpenDialog>(open, Name("Title"), &TOpenDialog::Title);
    RegisterClass<TSaveDialog>(Name("TSaveDialog"), Name("TOpenDialog"));
}

TComponent* FindWindow(const QString& name)
{
    for (TCustomForm* form : ScreenForms()) {
        if (form->Name().compare(name, Qt::CaseInsensitive) == 0)
            return form;
    }
    return nullptr;
}

} // namespace

void RegisterFormsClasses()
{
    RegisterObjectsClasses();
    if (FindClass(Name("TControl")))
        return;
    RegisterIdentMaps();
    RegisterGraphicsObjects();
    RegisterControl();
    RegisterForms();
    RegisterStdCtrls();
    RegisterButtons();
    RegisterExtCtrls();
    RegisterComCtrls();
    RegisterCommandClasses();
    RegisterPictureClasses();
    RegisterFindGlobalComponentProc(FindWindow);
}
