#include "report/components/ZvCsStd.h"

#include "platform/forms/FormsRegistration.h"
#include "platform/forms/Picture.h"
#include "platform/graphics/Metafile.h"
#include "platform/objects/ClassRegistry.h"
#include "platform/rtl/Streams.h"
#include "platform/rtl/StringRoutines.h"
#include "report/components/ComponentTypes_p.h"
#include "report/components/DataText_p.h"
#include "report/model/ZvDefine.h"
#include "report/model/ZvUtil.h"
#include "report/print/QpBase.h"
#include "report/print/QpDefine.h"
#include "report/print/QpMemo.h"

#include <QFileInfo>

#include <cmath>
#include <cstdlib>

namespace {

// The vertical anchor that stretches a control with its parent.
constexpr uint8_t kAnchorStretch = 3;

// Color, Font, FontJustify, FontMirror and Text of the text components.
void PublishTextLook(TClassInfo& info)
{
    PublishProperty(info, QStringLiteral("Color"), ZarvColorType(), &TZarvControl::GetForeColor,
                    &TZarvControl::SetForeColor)
        .NoDefault()
        .WithStored([](const TObject& o) { return !dynamic_cast<const TZarvCustomText&>(o).FontMirror(); });
    PublishProperty(info, QStringLiteral("Font"), TypeInfoClass(QStringLiteral("TFont")),
                    &TZarvCustomText::Font, &TZarvCustomText::SetFont);
    PublishProperty(info, QStringLiteral("FontJustify"), ZarvPrintJustifyType(),
                    &TZarvControl::GetFontJustify, &TZarvControl::SetFontJustify)
        .WithDefault(int64_t(TPrintJustify::pjLeft));
    PublishProperty(info, QStringLiteral("FontMirror"), TypeInfoClass(QStringLiteral("TZarvFontMaster")),
                    &TZarvCustomText::FontMirror, &TZarvCustomText::SetFontMirror);
}

// The picture classes the image components store, for the property stream.
void RegisterPictureGraphicClasses()
{
    if (!FindClass(QStringLiteral("TGraphic")))
        RegisterClassInfo(QStringLiteral("TGraphic"), QStringLiteral("TPersistent"), {}, &typeid(TGraphic));
    if (!FindClass(QStringLiteral("TBitmap")))
        RegisterClass<TStreamedBitmap>(QStringLiteral("TBitmap"), QStringLiteral("TGraphic"));
    if (!FindClass(QStringLiteral("TMetafile")))
        RegisterClass<TMetafile>(QStringLiteral("TMetafile"), QStringLiteral("TGraphic"));
}

void RegisterStandardClasses()
{
    if (FindClass(QStringLiteral("TZarvText")))
        return;
    // Fonts and pictures are streamed through the classes of the forms layer.
    RegisterFormsClasses();
    RegisterPictureGraphicClasses();
    RegisterClass<TZarvPrintEvent>(QStringLiteral("TZarvPrintEvent"), QStringLiteral("TZarvSimpleEvent"));
    TClassInfo& mergeItem = RegisterClass<TZarvMailMergeItem>(QStringLiteral("TZarvMailMergeItem"),
                                                              QStringLiteral("TPersistent"));
    PublishProperty(mergeItem, QStringLiteral("CaseMatters"), TypeInfoBoolean(),
                    &TZarvMailMergeItem::CaseMatters, &TZarvMailMergeItem::SetCaseMatters);
    PublishProperty(mergeItem, QStringLiteral("ReplaceString"), TypeInfoString(),
                    &TZarvMailMergeItem::ReplaceString, &TZarvMailMergeItem::SetReplaceString);
    PublishProperty(mergeItem, QStringLiteral("SearchToken"), TypeInfoString(),
                    &TZarvMailMergeItem::SearchToken, &TZarvMailMergeItem::SetSearchToken);
    RegisterClass<TZarvMailMergeList>(QStringLiteral("TZarvMailMergeList"),
                                      QStringLiteral("TZarvPersistentList"));

    TClassInfo& fontMaster =
        RegisterClass<TZarvFontMaster>(QStringLiteral("TZarvFontMaster"), QStringLiteral("TZarvComponent"));
    PublishProperty(fontMaster, QStringLiteral("Font"), TypeInfoClass(QStringLiteral("TFont")),
                    &TZarvFontMaster::Font, &TZarvFontMaster::SetFont);

    RegisterClass<TZarvCustomText>(QStringLiteral("TZarvCustomText"), QStringLiteral("TZarvControl"));
    TClassInfo& text =
        RegisterClass<TZarvText>(QStringLiteral("TZarvText"), QStringLiteral("TZarvCustomText"));
    PublishTextLook(text);
    PublishZarvBounds(text, false);
    PublishProperty(text, QStringLiteral("Rotation"), TypeInfoInteger(), &TZarvText::Rotation,
                    &TZarvText::SetRotation);
    PublishProperty(text, QStringLiteral("Text"), TypeInfoString(), &TZarvControl::GetText,
                    &TZarvControl::SetText);
    PublishProperty(text, QStringLiteral("Truncate"), TypeInfoBoolean(), &TZarvText::Truncate,
                    &TZarvText::SetTruncate);
    PublishProperty(text, QStringLiteral("OnGetText"), TypeInfoClass(QStringLiteral("TZarvStringEvent")),
                    &TZarvCustomText::OnGetText, &TZarvCustomText::SetOnGetText)
        .WithStored(
            [](const TObject& o) { return dynamic_cast<const TZarvCustomText&>(o).OnGetText() != nullptr; });

    TClassInfo& memo =
        RegisterClass<TZarvMemo>(QStringLiteral("TZarvMemo"), QStringLiteral("TZarvCustomText"));
    PublishTextLook(memo);
    PublishZarvBounds(memo);
    PublishProperty(memo, QStringLiteral("ExpandParent"), TypeInfoBoolean(), &TZarvMemo::ExpandParent,
                    &TZarvMemo::SetExpandParent)
        .WithDefault(1);
    PublishProperty(memo, QStringLiteral("MailMergeItems"),
                    TypeInfoClass(QStringLiteral("TZarvPersistentList")), &TZarvMemo::MailMergeItems,
                    &TZarvMemo::SetMailMergeItems);
    static const TTypeInfo memoString{QStringLiteral("TZarvMemoString"),
                                      TTypeKind::tkUString,
                                      {},
                                      nullptr,
                                      TFloatType::ftExtended,
                                      QString()};
    PublishProperty(memo, QStringLiteral("Text"), memoString, &TZarvControl::GetText, &TZarvControl::SetText);
    PublishProperty(memo, QStringLiteral("Truncate"), TypeInfoBoolean(), &TZarvMemo::Truncate,
                    &TZarvMemo::SetTruncate);

    TClassInfo& section =
        RegisterClass<TZarvSection>(QStringLiteral("TZarvSection"), QStringLiteral("TZarvContainerControl"));
    PublishZarvBounds(section);
    PublishProperty(section, QStringLiteral("WasteFit"), TypeInfoBoolean(), &TZarvSection::WasteFit,
                    &TZarvSection::SetWasteFit);
    PublishProperty(section, QStringLiteral("OnPrint"), TypeInfoClass(QStringLiteral("TZarvPrintEvent")),
                    &TZarvSection::OnPrint, &TZarvSection::SetOnPrint)
        .WithStored(
            [](const TObject& o) { return dynamic_cast<const TZarvSection&>(o).OnPrint() != nullptr; });

    TClassInfo& baseImage =
        RegisterClass<TZarvBaseImage>(QStringLiteral("TZarvBaseImage"), QStringLiteral("TZarvControl"));
    PublishZarvBounds(baseImage);
    PublishProperty(baseImage, QStringLiteral("MatchSide"), ZarvMatchSideType(), &TZarvBaseImage::MatchSide,
                    &TZarvBaseImage::SetMatchSide);
    PublishProperty(baseImage, QStringLiteral("FileLink"), TypeInfoString(), &TZarvBaseImage::FileLink,
                    &TZarvBaseImage::SetFileLink);
    PublishProperty(baseImage, QStringLiteral("DataField"), TypeInfoString(), &TZarvBaseImage::DataField,
                    &TZarvBaseImage::SetDataField);
    PublishProperty(baseImage, QStringLiteral("DataView"), TypeInfoClass(QStringLiteral("TZarvBaseDataView")),
                    &TZarvBaseImage::DataView, &TZarvBaseImage::SetDataView);
    RegisterClass<TZarvGraphicImage>(QStringLiteral("TZarvGraphicImage"), QStringLiteral("TZarvBaseImage"));
    TClassInfo& bitmap =
        RegisterClass<TZarvBitmap>(QStringLiteral("TZarvBitmap"), QStringLiteral("TZarvGraphicImage"));
    PublishProperty(bitmap, QStringLiteral("Image"), TypeInfoClass(QStringLiteral("TBitmap")),
                    &TZarvGraphicImage::Image, &TZarvGraphicImage::SetImage);
    TClassInfo& metaFile =
        RegisterClass<TZarvMetaFile>(QStringLiteral("TZarvMetaFile"), QStringLiteral("TZarvGraphicImage"));
    PublishProperty(metaFile, QStringLiteral("Image"), TypeInfoClass(QStringLiteral("TMetafile")),
                    &TZarvGraphicImage::Image, &TZarvGraphicImage::SetImage);

    TClassInfo& pageNumInit =
        RegisterClass<TZarvPageNumInit>(QStringLiteral("TZarvPageNumInit"), QStringLiteral("TZarvComponent"));
    PublishProperty(pageNumInit, QStringLiteral("InitDataField"), TypeInfoString(),
                    &TZarvPageNumInit::InitDataField, &TZarvPageNumInit::SetInitDataField);
    PublishProperty(pageNumInit, QStringLiteral("InitDataView"),
                    TypeInfoClass(QStringLiteral("TZarvBaseDataView")), &TZarvPageNumInit::InitDataView,
                    &TZarvPageNumInit::SetInitDataView);
    PublishProperty(pageNumInit, QStringLiteral("InitValue"), TypeInfoInteger(), &TZarvPageNumInit::InitValue,
                    &TZarvPageNumInit::SetInitValue)
        .WithDefault(1);

    const QString group = QStringLiteral("Standard");
    RegisterZarvComponents(group, Translate(group), QStringLiteral("ZvCsStd"),
                           {&text, &memo, &section, &bitmap, &metaFile, &fontMaster, &pageNumInit});
}

} // namespace

void RecordStandardComponentProcs()
{
    static bool recorded = false;
    if (recorded)
        return;
    recorded = true;
    RegisterZarvProc(QStringLiteral("ZVCL"), &RegisterStandardClasses);
}

std::unique_ptr<TFont> NewZarvFont()
{
    auto font = std::make_unique<TFont>();
    font->SetName(QStringLiteral("Arial"));
    font->SetSize(10);
    font->SetColor(clBlack);
    return font;
}

namespace {

TBaseReport* ProjectCanvas(const TZarvComponent* component)
{
    auto* project = dynamic_cast<IZarvProjectManager*>(component->Project());
    return project ? project->BaseReport() : nullptr;
}

// A data view reference, or null for anything that is none.
TZarvComponent* DataViewOrNull(TZarvComponent* value)
{
    return IsDataView(value) ? value : nullptr;
}

} // namespace

// ---------------------------------------------------------------------------
// TZarvFontMaster.

TZarvFontMaster::TZarvFontMaster(TComponent* owner) : TZarvComponent(owner), FFont(NewZarvFont()) {}

TZarvFontMaster::~TZarvFontMaster() = default;

void TZarvFontMaster::SetFont(TFont* value)
{
    FFont->Assign(value);
    Invalidate();
}

// ---------------------------------------------------------------------------
// TZarvCustomText.

TZarvCustomText::TZarvCustomText(TComponent* owner) : TZarvControl(owner), FFont(NewZarvFont()) {}

TZarvCustomText::~TZarvCustomText() = default;

void TZarvCustomText::SetFont(TFont* value)
{
    FFont->Assign(value);
    Invalidate();
}

void TZarvCustomText::SetFontMirror(TZarvFontMaster* value)
{
    ReferenceComponent(this, FFontMirror, value);
    Invalidate();
}

const TFont& TZarvCustomText::PrintFont() const
{
    return FFontMirror ? *FFontMirror->Font() : *FFont;
}

void TZarvCustomText::SetOnGetText(TZarvStringEvent* value)
{
    SetOwnedEvent(FOnGetText, value, this, "OnGetText");
}

void TZarvCustomText::SetFontAttr(TFontAttribute index, TFont* value)
{
    if (!value)
        return;
    const auto copyStyle = [&](TFontStyle style) {
        TFontStyles styles = FFont->Style();
        if (value->Style().Contains(style))
            styles.Include(style);
        else
            styles.Exclude(style);
        FFont->SetStyle(styles);
    };
    switch (index) {
    case TFontAttribute::faAll:
        FFont->SetName(value->Name());
        FFont->SetSize(value->Size());
        copyStyle(TFontStyle::fsBold);
        copyStyle(TFontStyle::fsItalic);
        copyStyle(TFontStyle::fsUnderline);
        break;
    case TFontAttribute::faName:
        FFont->SetName(value->Name());
        break;
    case TFontAttribute::faSize:
        FFont->SetSize(value->Size());
        break;
    case TFontAttribute::faBold:
        copyStyle(TFontStyle::fsBold);
        break;
    case TFontAttribute::faItalic:
        copyStyle(TFontStyle::fsItalic);
        break;
    case TFontAttribute::faUnderline:
        copyStyle(TFontStyle::fsUnderline);
        break;
    }
    Resize();
}

TFont* TZarvCustomText::GetFontAttr(TFontAttribute) const
{
    return FFontMirror ? nullptr : FFont.get();
}

void TZarvCustomText::SetText(const QString& value)
{
    if (value == FText)
        return;
    FText = value;
    Invalidate();
}

QString TZarvCustomText::GetText() const
{
    return FText;
}

void TZarvCustomText::SetFontJustify(TPrintJustify value)
{
    if (value == FFontJustify)
        return;
    FFontJustify = value;
    Invalidate();
}

TPrintJustify TZarvCustomText::GetFontJustify() const
{
    return FFontJustify;
}

void TZarvCustomText::SetForeColor(TColor value)
{
    FFont->SetColor(value);
    Invalidate();
}

TColor TZarvCustomText::GetForeColor() const
{
    return FFontMirror ? clNone : FFont->Color();
}

void TZarvCustomText::ChangeReference(TZarvComponent* oldComp, TZarvComponent* newComp)
{
    TZarvControl::ChangeReference(oldComp, newComp);
    if (oldComp && oldComp == FFontMirror)
        SetFontMirror(dynamic_cast<TZarvFontMaster*>(newComp));
}

QString TZarvCustomText::DoGetText(const QString& text)
{
    if (!FOnGetText)
        return text;
    FOnGetText->SetValue(text);
    FOnGetText->Execute();
    return FOnGetText->Value();
}

void TZarvCustomText::Notification(TComponent* component, TOperation operation)
{
    TZarvControl::Notification(component, operation);
    if (operation == TOperation::opRemove && component == FFontMirror)
        FFontMirror = nullptr;
}

// ---------------------------------------------------------------------------
// TZarvText.

TZarvText::TZarvText(TComponent* owner) : TZarvCustomText(owner)
{
    SetWidth(1.0);
}

// A font's size is negative when it gives the cell height; either way the
// line is its magnitude / 60 inch high (1.2 x the size in points).
double TZarvText::GetHeight() const
{
    return std::abs(PrintFont().Size()) / 60.0;
}

void TZarvText::Print(TBaseReport* report)
{
    if (!report || !AllowPrint())
        return;
    QString text = DoGetText(GetText());
    report->AssignFont(PrintFont());
    report->SetFontRotation(FRotation);
    report->SetLineTop(GetPageTop());
    if (FTruncate)
        text = report->TruncateText(text, GetWidth());
    report->SetTextFieldWidth(GetWidth());
    report->PrintJustify(text, GetPageLeft(), GetFontJustify(), 0.0, GetWidth());
}

// ---------------------------------------------------------------------------
// Mail merge.

TPersistent* TZarvMailMergeList::CreateItem(const QString&, TComponent*)
{
    return new TZarvMailMergeItem;
}

// ---------------------------------------------------------------------------
// TZarvMemo.

TZarvMemo::TZarvMemo(TComponent* owner)
    : TZarvCustomText(owner), FMailMergeItems(std::make_unique<TZarvMailMergeList>())
{
    SetWidth(3.0);
    SetHeight(2.0);
}

TZarvMemo::~TZarvMemo() = default;

void TZarvMemo::SetMailMergeItems(TZarvPersistentList* value)
{
    if (value == FMailMergeItems.get())
        return;
    FMailMergeItems->Clear();
    if (!value)
        return;
    for (int i = 0; i < value->Count(); ++i) {
        auto* source = dynamic_cast<TZarvMailMergeItem*>(value->Items(i));
        if (!source)
            continue;
        auto* item = new TZarvMailMergeItem;
        item->SetSearchToken(source->SearchToken());
        item->SetReplaceString(source->ReplaceString());
        item->SetCaseMatters(source->CaseMatters());
        FMailMergeItems->Add(item);
    }
}

TBaseReport* TZarvMemo::ProjectReport() const
{
    return ProjectCanvas(this);
}

void TZarvMemo::FreeMemoBuf()
{
    FMemoBuf.reset();
    FPrepared = false;
}

void TZarvMemo::AssignPrintFont(TBaseReport* report) const
{
    report->AssignFont(PrintFont());
}

void TZarvMemo::Prepare()
{
    if (FPrepared)
        return;
    FMemoBuf.reset();
    FMemoBuf = std::make_unique<TMemoBuf>();
    FMemoBuf->BaseReport = ProjectReport();
    FMemoBuf->PrintStart = GetPageLeft();
    FMemoBuf->PrintEnd = GetPageRight();
    FMemoBuf->Justify = GetFontJustify();
    const QString text = GetText();
    // Only blanks and control characters may stand before the RTF prefix; a
    // text that opens with any other character (a no-break space too) is
    // plain text and prints as written.
    if (FContainsRTF || Trim(text).left(5).compare(QLatin1String("{\\rtf"), Qt::CaseInsensitive) == 0)
        FMemoBuf->SetRTFText(text);
    else
        FMemoBuf->SetText(text);
    for (int i = 0; i < FMailMergeItems->Count(); ++i) {
        auto* item = dynamic_cast<TZarvMailMergeItem*>(FMailMergeItems->Items(i));
        if (!item)
            continue;
        const QString replacement = EvaluateDataText(this, nullptr, item->ReplaceString());
        FMemoBuf->ReplaceAll(item->SearchToken(), replacement, item->CaseMatters());
    }
    FPrepared = true;
}

void TZarvMemo::BeginDataPass()
{
    if (!FMemoBuf || FMemoBuf->MemoLinesLeft() < 1)
        FPrepared = false;
    Prepare();
    TZarvCustomText::BeginDataPass();
}

double TZarvMemo::HeightToPrint() const
{
    if (!FMemoBuf)
        return 0;
    if (TBaseReport* report = ProjectReport()) {
        AssignPrintFont(report);
        report->ResetLineHeight();
    }
    return FExpandParent ? FMemoBuf->MemoHeightLeft() : AdjHeight();
}

void TZarvMemo::Print(TBaseReport* report)
{
    Prepare();
    if (!report || !AllowPrint())
        return;
    AssignPrintFont(report);
    report->SetLineTop(GetPageTop());
    FMemoBuf->PrintStart = GetPageLeft();
    FMemoBuf->PrintEnd = GetPageRight();
    const int linesBefore = FMemoBuf->MemoLinesLeft();
    FMemoBuf->PrintHeight(GetHeight(), false);
    // A memo lower than one line would print nothing, and a band restarting
    // until it is done would never end: it prints one line each time.
    if (!FMemoBuf->Empty() && FMemoBuf->MemoLinesLeft() == linesBefore)
        FMemoBuf->PrintLines(1, false);
    if (FMemoBuf->Empty() || FTruncate)
        FreeMemoBuf();
}

bool TZarvMemo::GetDonePrinting() const
{
    return !FMemoBuf || FMemoBuf->Empty();
}

void TZarvMemo::BeforeReport()
{
    FPrepared = false;
    FSaveAnchor = Anchor();
    if (FExpandParent)
        SetAnchor(TZarvAnchor((Anchor() & 0x0F) | (kAnchorStretch << 4)));
    TZarvCustomText::BeforeReport();
}

void TZarvMemo::AfterReport()
{
    SetAnchor(FSaveAnchor);
    TZarvCustomText::AfterReport();
}

// ---------------------------------------------------------------------------
// TZarvPageNumInit.

TZarvPageNumInit::TZarvPageNumInit(TComponent* owner) : TZarvComponent(owner) {}

void TZarvPageNumInit::SetInitDataView(TZarvComponent* value)
{
    ReferenceComponent(this, FInitDataView, DataViewOrNull(value));
}

void TZarvPageNumInit::Print(TBaseReport* report)
{
    if (!report)
        return;
    int number = FInitValue;
    if (!FInitDataField.isEmpty()) {
        const QString text = EvaluateDataText(this, FInitDataView, FInitDataField);
        number = int(std::trunc(ExtractNumberValue(ExtractNumberText(text), 0)));
    }
    report->SetPageNumOffset(number - report->CurrentPage());
}

void TZarvPageNumInit::ChangeReference(TZarvComponent* oldComp, TZarvComponent* newComp)
{
    TZarvComponent::ChangeReference(oldComp, newComp);
    if (oldComp && oldComp == FInitDataView)
        SetInitDataView(newComp);
}

void TZarvPageNumInit::Notification(TComponent* component, TOperation operation)
{
    TZarvComponent::Notification(component, operation);
    if (operation == TOperation::opRemove && component == FInitDataView)
        FInitDataView = nullptr;
}

// ---------------------------------------------------------------------------
// TZarvSection.

void TZarvPrintEvent::DefineParams()
{
    PushParam(TZarvParam(static_cast<TObject*>(FReport)));
}

TZarvSection::TZarvSection(TComponent* owner) : TZarvContainerControl(owner)
{
    SetWidth(3.0);
    SetHeight(3.0);
    IncludeStyle(TZarvComponentStyle::rcsContainer);
}

TZarvSection::~TZarvSection() = default;

void TZarvSection::SetOnPrint(TZarvPrintEvent* value)
{
    SetOwnedEvent(FOnPrint, value, this, "OnPrint");
}

bool TZarvSection::GetDonePrinting() const
{
    if (FOnPrint && FOnPrint->Suspended())
        return false;
    return TZarvContainerControl::GetDonePrinting();
}

void TZarvSection::BeforePrint()
{
    TBaseReport* report = ProjectCanvas(this);
    if (FWasteFit && report) {
        const double left = report->LeftWaste() + 0.01;
        const double top = report->TopWaste() + 0.01;
        const double right = report->PageWidth() - report->RightWaste() - 0.01;
        const double bottom = report->PageHeight() - report->BottomWaste() - 0.01;
        const TZarvRect rect = BoundsRect();
        if (FloatLess(rect.Left, left) || FloatLess(rect.Top, top) || FloatGreater(rect.Right, right) ||
            FloatGreater(rect.Bottom, bottom))
            SetBoundsRect(ZarvRect(std::max(rect.Left, left), std::max(rect.Top, top),
                                   std::min(rect.Right, right), std::min(rect.Bottom, bottom)));
    }
    TZarvContainerControl::BeforePrint();
}

void TZarvSection::Print(TBaseReport* report)
{
    if (!report || !FOnPrint)
        return;
    report->SetOriginX(GetPageLeft());
    report->SetOriginY(GetPageTop());
    report->SetSectionLeft(0);
    report->SetSectionRight(GetWidth());
    report->SetSectionTop(0);
    report->SetSectionBottom(GetHeight());
    report->Home();
    FOnPrint->FReport = report;
    try {
        FOnPrint->Execute();
    } catch (...) {
        report->SetOriginX(0);
        report->SetOriginY(0);
        throw;
    }
    report->SetOriginX(0);
    report->SetOriginY(0);
}

// ---------------------------------------------------------------------------
// TZarvBaseImage.

TZarvBaseImage::TZarvBaseImage(TComponent* owner) : TZarvControl(owner)
{
    SetWidth(3.0);
    SetHeight(3.0);
}

void TZarvBaseImage::SetMatchSide(TMatchSide value)
{
    FMatchSide = value;
    Invalidate();
}

void TZarvBaseImage::SetFileLink(const QString& value)
{
    const QString trimmed = value.trimmed();
    if (trimmed == FFileLink)
        return;
    FFileLink = trimmed;
    Invalidate();
}

void TZarvBaseImage::SetDataField(const QString& value)
{
    FDataField = value;
    Invalidate();
}

void TZarvBaseImage::SetDataView(TZarvComponent* value)
{
    ReferenceComponent(this, FDataView, DataViewOrNull(value));
}

QString TZarvBaseImage::ImageName() const
{
    return Translate(QStringLiteral("Image"));
}

QString TZarvBaseImage::ImageFilter() const
{
    return Translate(QStringLiteral("All Files")) + QStringLiteral(" (*.*)|*.*");
}

void TZarvBaseImage::LoadImageFile(const QString& fileName)
{
    if (fileName.isEmpty() || !QFileInfo(fileName).isFile())
        return;
    TFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
    LoadImageStream(stream);
}

bool TZarvBaseImage::LoadSource()
{
    try {
        if (FDataView && !FDataField.isEmpty()) {
            QString fileName;
            QByteArray blob;
            if (!ReadPictureField(FDataView, FDataField, fileName, blob))
                return false;
            if (!fileName.isNull()) {
                LoadImageFile(QFileInfo(fileName).absoluteFilePath());
            } else {
                TMemoryStream stream(blob);
                LoadImageStream(stream);
            }
        } else {
            LoadImageFile(FFileLink);
        }
    } catch (const Exception&) {
        // An unreadable source leaves the stored picture in use.
        ClearAltImage();
    }
    return true;
}

void TZarvBaseImage::Print(TBaseReport* report)
{
    if (!report || !AllowPrint())
        return;
    try {
        if (LoadSource()) {
            double l = GetPageLeft();
            double t = GetPageTop();
            double r = GetPageRight();
            double b = GetPageBottom();
            const int w = ImageValid() ? ImageWidth() : 0;
            const int h = ImageValid() ? ImageHeight() : 0;
            // A picture without width or height has no aspect ratio to keep.
            if (w > 0 && h > 0) {
                TMatchSide side = FMatchSide;
                if (side == TMatchSide::msInside)
                    side = double(w) * (b - t) > double(h) * (r - l) ? TMatchSide::msWidth
                                                                     : TMatchSide::msHeight;
                if (side == TMatchSide::msWidth)
                    b = t + GetWidth() * h / w;
                else if (side == TMatchSide::msHeight)
                    r = l + GetHeight() * w / h;
                PrintImage(report, l, t, r, b);
            } else {
                PrintPlaceholder(report, l, t, r, b);
            }
        }
    } catch (...) {
        ClearAltImage();
        throw;
    }
    ClearAltImage();
}

void TZarvBaseImage::PrintPlaceholder(TBaseReport* report, double l, double t, double r, double b) const
{
    report->SetPen(clGray, TPenStyle::psSolid, 1, TPenMode::pmCopy);
    report->SetBrush(clBlack, TBrushStyle::bsClear, nullptr);
    report->Rectangle(l, t, r, b);
    report->MoveTo(l, t);
    report->LineTo(r, b);
    report->MoveTo(l, b);
    report->LineTo(r, t);
}

void TZarvBaseImage::ChangeReference(TZarvComponent* oldComp, TZarvComponent* newComp)
{
    TZarvControl::ChangeReference(oldComp, newComp);
    if (oldComp && oldComp == FDataView)
        SetDataView(newComp);
}

void TZarvBaseImage::Notification(TComponent* component, TOperation operation)
{
    TZarvControl::Notification(component, operation);
    if (operation == TOperation::opRemove && component == FDataView)
        FDataView = nullptr;
}

// ---------------------------------------------------------------------------
// TZarvGraphicImage.

TZarvGraphicImage::TZarvGraphicImage(TComponent* owner) : TZarvBaseImage(owner) {}

TZarvGraphicImage::~TZarvGraphicImage() = default;

void TZarvGraphicImage::InitImage()
{
    FImage = CreateGraphic();
}

void TZarvGraphicImage::SetImage(TGraphic* value)
{
    std::unique_ptr<TGraphic> image = CreateGraphic();
    if (value)
        image->Assign(value);
    FImage = std::move(image);
    Invalidate();
}

void TZarvGraphicImage::LoadImageStream(TStream& stream)
{
    ClearAltImage();
    FAltImage = CreateGraphic();
    if (!ReadGraphic(*FAltImage, stream) || !ImageValid())
        ClearAltImage();
}

void TZarvGraphicImage::ClearAltImage()
{
    FAltImage.reset();
}

int TZarvGraphicImage::ImageWidth() const
{
    return CurrentGraphic() ? CurrentGraphic()->Width() : 0;
}

int TZarvGraphicImage::ImageHeight() const
{
    return CurrentGraphic() ? CurrentGraphic()->Height() : 0;
}

// ---------------------------------------------------------------------------
// TZarvBitmap.

TZarvBitmap::TZarvBitmap(TComponent* owner) : TZarvGraphicImage(owner)
{
    InitImage();
}

bool TZarvBitmap::ImageValid() const
{
    return CurrentGraphic() && !CurrentGraphic()->Empty();
}

void TZarvBitmap::PrintImage(TBaseReport* report, double x1, double y1, double x2, double y2)
{
    report->PrintBitmapRect(x1, y1, x2, y2, dynamic_cast<TBitmap*>(CurrentGraphic()));
}

QString TZarvBitmap::ImageName() const
{
    return Translate(QStringLiteral("Bitmap"));
}

QString TZarvBitmap::ImageFilter() const
{
    return Translate(QStringLiteral("Bitmap Files")) + QStringLiteral(" (*.bmp)|*.bmp");
}

std::unique_ptr<TGraphic> TZarvBitmap::CreateGraphic() const
{
    return std::make_unique<TStreamedBitmap>();
}

bool TZarvBitmap::ReadGraphic(TGraphic& graphic, TStream& stream) const
{
    auto* bitmap = dynamic_cast<TStreamedBitmap*>(&graphic);
    const int64_t count = stream.Size() - stream.Position();
    if (!bitmap || count <= 0)
        return false;
    try {
        bitmap->LoadFromBmp(stream.ReadBytes(count));
    } catch (const EInvalidGraphic&) {
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// TZarvMetaFile.

TZarvMetaFile::TZarvMetaFile(TComponent* owner) : TZarvGraphicImage(owner)
{
    InitImage();
}

bool TZarvMetaFile::ImageValid() const
{
    auto* metafile = dynamic_cast<TMetafile*>(CurrentGraphic());
    return metafile && metafile->Handle() != 0;
}

void TZarvMetaFile::PrintImage(TBaseReport* report, double x1, double y1, double x2, double y2)
{
    report->StretchDraw(report->CreateRect(x1, y1, x2, y2), CurrentGraphic());
}

QString TZarvMetaFile::ImageName() const
{
    return Translate(QStringLiteral("MetaFile"));
}

QString TZarvMetaFile::ImageFilter() const
{
    return Translate(QStringLiteral("MetaFile Files")) + QStringLiteral("(*.emf;*.wmf)|*.emf;*.wmf");
}

std::unique_ptr<TGraphic> TZarvMetaFile::CreateGraphic() const
{
    return std::make_unique<TMetafile>();
}

bool TZarvMetaFile::ReadGraphic(TGraphic& graphic, TStream& stream) const
{
    auto* metafile = dynamic_cast<TMetafile*>(&graphic);
    if (!metafile)
        return false;
    metafile->LoadFromStream(stream);
    return true;
}
