#include "report/print/QpFormPreview.h"

#include "report/print/QpFormSetup.h"
#include "report/print/QpRender.h"
#include "report/print/QpRenderPreview.h"
#include "report/print/QpRenderPrinter.h"
#include "report/print/QpSystem.h"

#include "platform/rtl/FileErrors.h"
#include "platform/rtl/SafeSave.h"
#include "platform/rtl/Streams.h"

#include <QApplication>
#include <QFileInfo>
#include <QFontMetrics>
#include <QIcon>
#include <QLineEdit>
#include <QPainter>
#include <QStyle>

#include <algorithm>
#include <climits>

namespace {

// The preview's printer target. The snapshot fixes paper and orientation;
// those chosen with Setup on the "Print to PDF" printer, when there was
// such a choice, replace them before the document and each page begin.
class TPreviewPrinter : public TZvRenderPrinter {
public:
    using TZvRenderPrinter::TZvRenderPrinter;

    TQPSetupForm::TPageChoice Page;

    void DocBegin() override
    {
        ApplyPage();
        TZvRenderPrinter::DocBegin();
    }
    void PageBegin() override
    {
        ApplyPage();
        TZvRenderPrinter::PageBegin();
    }

private:
    void ApplyPage()
    {
        if (!Page.Chosen || !Converter)
            return;
        TQPReportHeader& header = Converter->ReportHeader();
        header.Orientation = Page.Orientation;
        header.DMPaperSize = Page.PaperSize;
        header.DMPaperWidth = Page.PaperWidth;
        header.DMPaperLength = Page.PaperLength;
    }
};

// The hourglass over every window while the preview reads or writes a
// whole snapshot; the default cursor again however the work ends.
class TBusyCursor {
public:
    TBusyCursor() { Screen()->SetCursor(crHourGlass); }
    ~TBusyCursor() { Screen()->SetCursor(crDefault); }
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
};

} // namespace

namespace {

const QString kKeyChars = QStringLiteral("eEbBwWfFnNpP+-01234567890.");

// Draws the glyph of a command without a stock icon: a magnifier with a
// sign, or a page outline with arrows.
QImage DrawnGlyph(const QString& sign)
{
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 1.4));
    painter.drawEllipse(QRectF(1.5, 1.5, 10, 10));
    painter.drawLine(QPointF(10, 10), QPointF(14.5, 14.5));
    QFont font = painter.font();
    font.setPixelSize(9);
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(QRectF(1.5, 1.5, 10, 10), Qt::AlignCenter, sign);
    return image;
}

QImage StockGlyph(QStyle::StandardPixmap pixmap)
{
    return QApplication::style()->standardIcon(pixmap).pixmap(16, 16).toImage().scaled(16, 16);
}

// A page number typed by the user: a whole number of any length (blanks
// around it and a leading "+" allowed), those beyond the int range read as
// INT_MAX; -1 for a text that is no such number.
int TypedPageNumber(const QString& text)
{
    QStringView digits = QStringView(text).trimmed();
    if (digits.startsWith(u'+'))
        digits = digits.mid(1);
    if (digits.isEmpty())
        return -1;
    int64_t value = 0;
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9')
            return -1;
        value = std::min<int64_t>(value * 10 + (c.unicode() - u'0'), INT_MAX);
    }
    return int(value);
}

} // namespace

TZarvPreviewForm::TZarvPreviewForm(TComponent* owner) : TForm(owner)
{
    BindMethod("FormShow", &TZarvPreviewForm::FormShow);
    BindMethod("FormClose", &TZarvPreviewForm::FormClose);
    BindMethod("FormKeyDown", &TZarvPreviewForm::FormKeyDown);
    BindMethod("FormKeyPress", &TZarvPreviewForm::FormKeyPress);
    BindMethod("PageEditKeyPress", &TZarvPreviewForm::PageEditKeyPress);
    BindMethod("PageEditExit", &TZarvPreviewForm::PageEditExit);
    BindMethod("ZoomEditKeyPress", &TZarvPreviewForm::ZoomEditKeyPress);
    BindMethod("ZoomEditExit", &TZarvPreviewForm::ZoomEditExit);
    BindMethod("PreviewTimerTimer", &TZarvPreviewForm::PreviewTimerTimer);
    BindMethod("ActionUpdate", &TZarvPreviewForm::ActionUpdate);
    BindMethod("actnFile_OpenExecute", &TZarvPreviewForm::actnFile_OpenExecute);
    BindMethod("actnFile_SaveExecute", &TZarvPreviewForm::actnFile_SaveExecute);
    BindMethod("actnFile_PrintExecute", &TZarvPreviewForm::actnFile_PrintExecute);
    BindMethod("actnFile_ExitExecute", &TZarvPreviewForm::actnFile_ExitExecute);
    BindMethod("actnPage_FirstExecute", &TZarvPreviewForm::actnPage_FirstExecute);
    BindMethod("actnPage_PreviousExecute", &TZarvPreviewForm::actnPage_PreviousExecute);
    BindMethod("actnPage_NextExecute", &TZarvPreviewForm::actnPage_NextExecute);
    BindMethod("actnPage_LastExecute", &TZarvPreviewForm::actnPage_LastExecute);
    BindMethod("actnZoom_InExecute", &TZarvPreviewForm::actnZoom_InExecute);
    BindMethod("actnZoom_OutExecute", &TZarvPreviewForm::actnZoom_OutExecute);
    BindMethod("actnZoom_PageWidthExecute", &TZarvPreviewForm::actnZoom_PageWidthExecute);
    BindMethod("actnZoom_PageExecute", &TZarvPreviewForm::actnZoom_PageExecute);
    BindMethod("mnuPageGotoClick", &TZarvPreviewForm::mnuPageGotoClick);
    LoadForm();
    ScrollBox1 = RequireOwned<TScrollBox>(this, "ScrollBox1");
    sbarMain = RequireOwned<TStatusBar>(this, "sbarMain");
    ToolBar1 = RequireOwned<TToolBar>(this, "ToolBar1");
    PageEdit = RequireOwned<TEdit>(this, "PageEdit");
    PageLabel = RequireOwned<TLabel>(this, "PageLabel");
    ZoomEdit = RequireOwned<TEdit>(this, "ZoomEdit");
    ImageList1 = RequireOwned<TImageList>(this, "ImageList1");
    dlogOpen = RequireOwned<TOpenDialog>(this, "dlogOpen");
    dlogSave = RequireOwned<TSaveDialog>(this, "dlogSave");
    PreviewTimer = RequireOwned<TTimer>(this, "PreviewTimer");
    actnFile_Open = RequireOwned<TAction>(this, "actnFile_Open");
    actnFile_Save = RequireOwned<TAction>(this, "actnFile_Save");
    actnFile_Print = RequireOwned<TAction>(this, "actnFile_Print");
    actnFile_Exit = RequireOwned<TAction>(this, "actnFile_Exit");
    actnPage_First = RequireOwned<TAction>(this, "actnPage_First");
    actnPage_Previous = RequireOwned<TAction>(this, "actnPage_Previous");
    actnPage_Next = RequireOwned<TAction>(this, "actnPage_Next");
    actnPage_Last = RequireOwned<TAction>(this, "actnPage_Last");
    actnZoom_In = RequireOwned<TAction>(this, "actnZoom_In");
    actnZoom_Out = RequireOwned<TAction>(this, "actnZoom_Out");
    actnZoom_PageWidth = RequireOwned<TAction>(this, "actnZoom_PageWidth");
    actnZoom_Page = RequireOwned<TAction>(this, "actnZoom_Page");
    FillGlyphs();

    ZvRenderPreview = new TZvRenderPreview(this);
    ZvRenderPreview->OnZoomChange = [this](TObject* sender) { ZSFPreviewZoomChange(sender); };
    ZvRenderPreview->OnPageChange = [this](TObject* sender) { ZSFPreviewPageChange(sender); };
    ZvRenderPreview->SetShadowDepth(2);
    ZvRenderPreview->MarginPercent = 5.0;
    ZvRenderPreview->SetZoomFactor(100);
    ZvRenderPreview->SetScrollBox(ScrollBox1);
    ZvRenderPrinter = new TPreviewPrinter(this);
}

TZarvPreviewForm::~TZarvPreviewForm()
{
    // The targets go before the stream they may still point at.
    delete ZvRenderPreview;
    delete ZvRenderPrinter;
}

// The tool-bar glyphs, in the order of the actions' image indexes. They
// are made once: a stock icon asked of the style anew for every window
// would leave its picture in Qt's pixmap cache under a key of its own.
void TZarvPreviewForm::FillGlyphs()
{
    static const QImage glyphs[] = {
        StockGlyph(QStyle::SP_DialogOpenButton),
        StockGlyph(QStyle::SP_DialogSaveButton),
        StockGlyph(QStyle::SP_FileDialogDetailedView),
        StockGlyph(QStyle::SP_DialogCloseButton),
        StockGlyph(QStyle::SP_MediaSkipBackward),
        StockGlyph(QStyle::SP_MediaSeekBackward),
        StockGlyph(QStyle::SP_MediaSeekForward),
        StockGlyph(QStyle::SP_MediaSkipForward),
        DrawnGlyph(QStringLiteral("+")),
        DrawnGlyph(QStringLiteral("-")),
        DrawnGlyph(QStringLiteral("W")),
        DrawnGlyph(QStringLiteral("P")),
    };
    ImageList1->Clear();
    for (const QImage& glyph : glyphs)
        ImageList1->Add(glyph);
    if (auto* list = FindOwned<TActionList>(this, QStringLiteral("ActionList1")))
        list->SetImages(ImageList1);
}

// ---------------------------------------------------------------------------
// Snapshot

void TZarvPreviewForm::InitFromQPSystem()
{
    try {
        if (!InputFileName.isEmpty()) {
            FOwnedStream = std::make_unique<TFileStream>(InputFileName, fmOpenRead | fmShareDenyWrite);
            ZvRenderPreview->SetZSFStream(FOwnedStream.get());
            FAlternateZsfLoaded = true;
        } else {
            ZvRenderPreview->SetZSFStream(InputStream);
        }
        ZvRenderPreview->Render(ZvRenderPreview->ZSFStream());
    } catch (Exception& error) {
        AddFileName(error, InputFileName);
        throw;
    }
    if (ReportSystem)
        ReportSystem->PreviewShowEvent(ZvRenderPreview);
}

void TZarvPreviewForm::ReleaseSnapshot()
{
    ZvRenderPrinter->SetZSFStream(nullptr);
    ZvRenderPreview->SetZSFStream(nullptr);
    FOwnedStream.reset();
}

void TZarvPreviewForm::OpenFile(const QString& fileName)
{
    std::unique_ptr<TStream> file;
    try {
        file = std::make_unique<TFileStream>(fileName, fmOpenRead | fmShareDenyWrite);
    } catch (Exception& error) {
        AddFileName(error, fileName);
        throw;
    }
    OpenFile(std::move(file), fileName);
}

// The check reads the stream once through and finds where every page
// stands on the way; the preview then reads only the part of the stream
// page 1 stands in. The window keeps the stream it shows until that page
// has played, so a refusal at any step leaves the report shown as it was.
void TZarvPreviewForm::OpenFile(std::unique_ptr<TStream> stream, const QString& fileName)
{
    const TBusyCursor busy;
    try {
        TQPRender check(nullptr);
        check.SetActive(false);
        check.CheckRender(stream.get());
        PlayFirstPage(check, fileName);
    } catch (Exception& error) {
        AddFileName(error, fileName);
        throw;
    }
    // The printer target is handed the stream only to print; it lets go of
    // the one shown before, which goes now.
    ZvRenderPrinter->SetZSFStream(nullptr);
    FOwnedStream = std::move(stream);
    FAlternateZsfLoaded = true;
    const QString title = Application() ? Application()->Title() : QString();
    SetCaption(title + QStringLiteral(" - [ ") + QFileInfo(fileName).fileName() + QStringLiteral(" ]"));
    UpdateControls();
}

TZarvPreviewForm* TZarvPreviewForm::PreviewFile(const QString& fileName)
{
    auto* form = NewForm<TZarvPreviewForm>(Application());
    try {
        form->OpenFile(fileName);
    } catch (...) {
        DestroyForm(form);
        throw;
    }
    form->Show();
    return form;
}

void TZarvPreviewForm::DoAfterPreviewPrint()
{
    if (OnAfterPreviewPrint)
        OnAfterPreviewPrint(ZvRenderPrinter);
}

// Plays page 1 of the stream the check holds, with the page index the
// check filled. When it fails, the preview takes back the stream, page
// index and file name it had and plays the page it showed again, so that
// the page count, the page told and the picture are those of the report
// shown, and its page steps go on playing that report.
void TZarvPreviewForm::PlayFirstPage(const TQPRender& checked, const QString& fileName)
{
    TQPRender shown(nullptr);
    shown.SetActive(false);
    shown.ShareZSFStream(*ZvRenderPreview);
    const QString shownName = ZvRenderPreview->InputFileName();
    const int shownPage = ZvRenderPreview->CurrentPage();
    ZvRenderPreview->SetInputFileName(fileName);
    ZvRenderPreview->ShareZSFStream(checked);
    try {
        ZvRenderPreview->Render(checked.ZSFStream());
    } catch (...) {
        ZvRenderPreview->SetInputFileName(shownName);
        ZvRenderPreview->ShareZSFStream(shown);
        if (ZvRenderPreview->ZSFStream() && shownPage > 0) {
            try {
                ZvRenderPreview->RenderPage(shownPage);
            } catch (const Exception&) {
                // The open's refusal is the one to tell; a page that no
                // longer plays stays on screen as it was drawn.
            }
        }
        throw;
    }
}

// ---------------------------------------------------------------------------
// Controls

bool TZarvPreviewForm::PrintAllowed() const
{
    return !ReportSystem || ReportSystem->SystemOptions().Contains(TSystemOption::soAllowPrintFromPreview);
}

bool TZarvPreviewForm::SaveAllowed() const
{
    return !ReportSystem || ReportSystem->SystemOptions().Contains(TSystemOption::soAllowSaveFromPreview);
}

void TZarvPreviewForm::UpdateControls()
{
    const int page = ZvRenderPreview->CurrentPage();
    const int pages = ZvRenderPreview->Pages();
    actnPage_First->SetEnabled(page > 1);
    actnPage_Previous->SetEnabled(page > 1);
    actnPage_Next->SetEnabled(pages > page);
    actnPage_Last->SetEnabled(pages > page);
    actnFile_Print->SetEnabled(PrintAllowed());
    actnFile_Save->SetEnabled(SaveAllowed());
    for (TAction* zoom : {actnZoom_In, actnZoom_Out, actnZoom_PageWidth, actnZoom_Page})
        zoom->SetEnabled(true);
}

void TZarvPreviewForm::ActionUpdate(TObject*)
{
    UpdateControls();
}

void TZarvPreviewForm::FormShow(TObject*)
{
    UpdateControls();
}

void TZarvPreviewForm::FormClose(TObject*, TCloseAction&)
{
    FormClosed = true;
}

void TZarvPreviewForm::PreviewTimerTimer(TObject*)
{
    PreviewTimer->SetEnabled(false);
}

void TZarvPreviewForm::ZSFPreviewPageChange(TObject*)
{
    const QString page = QString::number(ZvRenderPreview->CurrentPage());
    const QString pages = QString::number(ZvRenderPreview->Pages());
    PageEdit->SetText(page);
    const QString of = Translate(QStringLiteral("of")) + QLatin1Char(' ') + pages;
    PageLabel->SetText(of);
    PageLabel->SetWidth(QFontMetrics(PageLabel->Widget()->font()).horizontalAdvance(of) + 8);
    sbarMain->SetSimpleText(Translate(QStringLiteral("Page")) + QLatin1Char(' ') + page + QLatin1Char(' ') +
                            Translate(QStringLiteral("of")) + QLatin1Char(' ') + pages);
}

void TZarvPreviewForm::ZSFPreviewZoomChange(TObject*)
{
    ZoomEdit->SetText(QString::number(ZvRenderPreview->ZoomFactor(), 'f', 1));
    if (ZvRenderPreview->Bitmap())
        ZvRenderPreview->RedrawPage();
}

void TZarvPreviewForm::SelectEdits()
{
    PageEdit->SelectAll();
    ZoomEdit->SelectAll();
}

void TZarvPreviewForm::ShowPage(int page, int vertPosition)
{
    ZvRenderPreview->RenderPage(page);
    TControlScrollBar* bar = ScrollBox1->VertScrollBar();
    bar->SetPosition(vertPosition < 0 ? bar->Range() : vertPosition);
    UpdateControls();
}

// ---------------------------------------------------------------------------
// Commands

void TZarvPreviewForm::actnFile_OpenExecute(TObject*)
{
    if (dlogOpen->Execute())
        OpenFile(dlogOpen->FileName);
    UpdateControls();
}

void TZarvPreviewForm::actnFile_SaveExecute(TObject*)
{
    if (!SaveAllowed())
        return;
    QString filter = Translate(QStringLiteral("Zarv Snapshot Files (*.zsf)|*.zsf"));
    const QString renders = GetRenderFilter();
    if (!renders.isEmpty())
        filter += QLatin1Char('|') + renders;
    dlogSave->Filter = filter;
    if (dlogSave->Execute())
        SaveSnapshot(dlogSave->FileName);
    UpdateControls();
}

// Filter 1 writes a byte copy of the snapshot; a higher filter plays it
// through that registered target. The copy goes through SaveBytesToFile, so
// saving onto the file being shown, or a write cut short, loses nothing and
// a failure names the file.
void TZarvPreviewForm::SaveSnapshot(const QString& fileName)
{
    TStream* stream = ZvRenderPreview->ZSFStream();
    if (!stream)
        return;
    const TBusyCursor busy;
    const int64_t position = stream->Position();
    struct TRestore {
        TStream* Stream;
        int64_t Position;
        ~TRestore() { Stream->SetPosition(Position); }
    } restore{stream, position};
    stream->SetPosition(0);
    if (dlogSave->FilterIndex <= 1) {
        QByteArray bytes(qsizetype(stream->Size()), Qt::Uninitialized);
        stream->SetPosition(0);
        const int64_t read = bytes.isEmpty() ? 0 : stream->Read(bytes.data(), bytes.size());
        if (read != bytes.size())
            throw EStreamError(QStringLiteral("Stream read error"));
        SaveBytesToFile(fileName, bytes);
        return;
    }
    TStringList renders;
    GetRenderList(renders);
    const int index = dlogSave->FilterIndex - 2;
    if (index >= renders.Count())
        return;
    auto* render = static_cast<TQPRender*>(renders.Objects(index));
    render->SetOutputFileName(fileName);
    render->ShareZSFStream(*ZvRenderPreview);
    try {
        render->Render(stream);
    } catch (...) {
        render->SetZSFStream(nullptr);
        throw;
    }
    render->SetZSFStream(nullptr);
}

void TZarvPreviewForm::actnFile_PrintExecute(TObject*)
{
    if (!PrintAllowed()) {
        UpdateControls();
        return;
    }
    TStream* stream = ZvRenderPreview->ZSFStream();
    ZvRenderPrinter->ShareZSFStream(*ZvRenderPreview);
    ZvRenderPrinter->SetPages(ZvRenderPreview->Pages());
    struct TRelease {
        TZarvPreviewForm* Form;
        ~TRelease()
        {
            Form->ZvRenderPrinter->SetZSFStream(nullptr);
            Form->UpdateControls();
        }
    } release{this};
    if (ReportSystem && ReportSystem->SystemSetups().Contains(TSystemSetup::ssAllowPreviewSetup)) {
        auto* setup = NewForm<TQPSetupForm>(this);
        setup->PreviewSetup = true;
        setup->ReportSystem = ReportSystem;
        setup->FilePrinter = ZvRenderPrinter;
        int result = mrCancel;
        try {
            result = setup->ShowModal();
        } catch (...) {
            DestroyForm(setup);
            throw;
        }
        if (auto* printer = dynamic_cast<TPreviewPrinter*>(ZvRenderPrinter))
            printer->Page = setup->PageChoice;
        DestroyForm(setup);
        if (result != mrOk)
            return;
        ZvRenderPrinter->IgnoreFileSettings = true;
    }
    int times = 1;
    if (ZvRenderPrinter->MaxCopies() < 2 && ZvRenderPrinter->Copies > 1) {
        times = ZvRenderPrinter->Copies;
        ZvRenderPrinter->Copies = 1;
    }
    TStream* source = stream ? stream : InputStream;
    for (int i = 0; i < times; ++i)
        ZvRenderPrinter->Render(source);
    DoAfterPreviewPrint();
}

void TZarvPreviewForm::actnFile_ExitExecute(TObject*)
{
    Close();
}

void TZarvPreviewForm::actnPage_FirstExecute(TObject*)
{
    ZvRenderPreview->RenderPage(1);
    UpdateControls();
}

void TZarvPreviewForm::actnPage_PreviousExecute(TObject*)
{
    ZvRenderPreview->PrevPage();
    UpdateControls();
}

void TZarvPreviewForm::actnPage_NextExecute(TObject*)
{
    ZvRenderPreview->NextPage();
    UpdateControls();
}

void TZarvPreviewForm::actnPage_LastExecute(TObject*)
{
    ZvRenderPreview->RenderPage(ZvRenderPreview->Pages());
    UpdateControls();
}

void TZarvPreviewForm::actnZoom_InExecute(TObject*)
{
    ZvRenderPreview->ZoomIn();
    UpdateControls();
}

void TZarvPreviewForm::actnZoom_OutExecute(TObject*)
{
    ZvRenderPreview->ZoomOut();
    UpdateControls();
}

void TZarvPreviewForm::actnZoom_PageWidthExecute(TObject*)
{
    ZvRenderPreview->SetZoomFactor(ZvRenderPreview->ZoomPageWidthFactor());
    UpdateControls();
}

void TZarvPreviewForm::actnZoom_PageExecute(TObject*)
{
    ZvRenderPreview->SetZoomFactor(ZvRenderPreview->ZoomPageFactor());
    UpdateControls();
}

void TZarvPreviewForm::mnuPageGotoClick(TObject*)
{
    const QString current = QString::number(ZvRenderPreview->CurrentPage());
    GoToTypedPage(InputBox(Translate(QStringLiteral("Go to Page")),
                           Translate(QStringLiteral("Enter page to move to:")), current));
    UpdateControls();
}

// A number past the last page goes to the last page, 0 to the first; the
// page edit and the status bar then tell the page shown, also when it was
// shown already. A text that is no number changes nothing.
void TZarvPreviewForm::GoToTypedPage(const QString& text)
{
    const int typed = TypedPageNumber(text);
    if (typed < 0)
        return;
    const int page = ZvRenderPreview->PageShownFor(typed);
    if (page != ZvRenderPreview->CurrentPage())
        ZvRenderPreview->RenderPage(page);
    else
        ZSFPreviewPageChange(ZvRenderPreview);
}

// ---------------------------------------------------------------------------
// Keys

void TZarvPreviewForm::FormKeyPress(TObject*, QChar& key)
{
    const char16_t c = key.unicode();
    if (c == 0x1B || c == u'x') {
        key = QChar();
        actnFile_ExitExecute(this);
        return;
    }
    // Delete is a key, not a character, though X11 gives it the text 0x7F:
    // it goes on to the edits with Enter and Backspace.
    if (c == u'\r' || c == u'\b' || c == 0x7F)
        return;
    if (!kKeyChars.contains(key)) {
        key = QChar();
        return;
    }
    const int page = ZvRenderPreview->CurrentPage();
    const int pages = ZvRenderPreview->Pages();
    switch (QChar(c).toLower().unicode()) {
    case u'w':
        ZvRenderPreview->SetZoomFactor(ZvRenderPreview->ZoomPageWidthFactor());
        break;
    case u'f':
        ZvRenderPreview->SetZoomFactor(ZvRenderPreview->ZoomPageFactor());
        break;
    case u'b':
        ZvRenderPreview->RenderPage(1);
        break;
    case u'e':
        ZvRenderPreview->RenderPage(pages);
        break;
    case u'n':
        if (page < pages)
            ZvRenderPreview->NextPage();
        break;
    case u'p':
        if (page > 1)
            ZvRenderPreview->PrevPage();
        break;
    case u'+':
        ZvRenderPreview->ZoomIn();
        break;
    case u'-':
        ZvRenderPreview->ZoomOut();
        break;
    default:
        return; // digits and "." go on to the edits
    }
    key = QChar();
    UpdateControls();
    SelectEdits();
}

void TZarvPreviewForm::FormKeyDown(TObject*, uint16_t& key, TShiftState shift)
{
    constexpr TShiftState ctrl = TShiftState(1u << unsigned(TShiftFlag::ssCtrl));
    constexpr TShiftState shiftKey = TShiftState(1u << unsigned(TShiftFlag::ssShift));
    const TShiftState mods = shift & TShiftState(ctrl | shiftKey | (1u << unsigned(TShiftFlag::ssAlt)));
    TControlScrollBar* v = ScrollBox1->VertScrollBar();
    TControlScrollBar* h = ScrollBox1->HorzScrollBar();
    const int page = ZvRenderPreview->CurrentPage();
    const int pages = ZvRenderPreview->Pages();
    const bool vertical = mods == 0 || mods == ctrl;
    switch (key) {
    case VK_UP:
        if (!vertical)
            return;
        if (v->Position() - v->Increment() < 0) {
            if (page > 1)
                ShowPage(page - 1, -1);
            else
                v->SetPosition(0);
        } else {
            v->SetPosition(v->Position() - v->Increment());
        }
        break;
    case VK_DOWN: {
        if (!vertical)
            return;
        const int before = v->Position();
        v->SetPosition(std::min(before + v->Increment(), v->Range() - 1));
        if (v->Position() == before && page < pages)
            ShowPage(page + 1, 0);
        break;
    }
    case VK_PRIOR:
        if (!vertical)
            return;
        if (v->Position() > 0)
            v->SetPosition(std::max(0, v->Position() - ScrollBox1->Height()));
        else if (page > 1)
            ShowPage(page - 1, -1);
        break;
    case VK_NEXT: {
        if (!vertical)
            return;
        const int next = v->Position() + ScrollBox1->Height();
        if (next >= v->Range()) {
            if (page < pages)
                ShowPage(page + 1, 0);
            else
                v->SetPosition(v->Range() - 1);
        } else {
            v->SetPosition(next);
        }
        break;
    }
    case VK_HOME:
        if (!vertical)
            return;
        v->SetPosition(0);
        break;
    case VK_END:
        if (!vertical)
            return;
        v->SetPosition(v->Range() - 1);
        break;
    case VK_LEFT:
    case VK_RIGHT: {
        int step = 0;
        if (mods == ctrl)
            step = h->Increment();
        else if (mods == (ctrl | shiftKey))
            step = ScrollBox1->Width();
        else
            return;
        const int to = h->Position() + (key == VK_LEFT ? -step : step);
        h->SetPosition(std::clamp(to, 0, std::max(0, h->Range() - 1)));
        break;
    }
    default:
        return;
    }
    key = 0;
}

void TZarvPreviewForm::PageEditKeyPress(TObject*, QChar& key)
{
    if (key == QLatin1Char('.')) {
        key = QChar();
    } else if (key == QLatin1Char('\r')) {
        key = QChar();
        ApplyPageEdit();
    }
}

void TZarvPreviewForm::PageEditExit(TObject*)
{
    ApplyPageEdit();
}

void TZarvPreviewForm::ApplyPageEdit()
{
    GoToTypedPage(PageEdit->Text());
    UpdateControls();
    PageEdit->SelectAll();
}

void TZarvPreviewForm::ZoomEditKeyPress(TObject*, QChar& key)
{
    if (key.isDigit()) {
        const QString text = ZoomEdit->Text();
        const qsizetype dot = text.indexOf(QLatin1Char('.'));
        const bool selected = ZoomEdit->EditWidget()->hasSelectedText();
        if (!selected && dot >= 0 && dot + 1 < text.size() && text.at(dot + 1).isDigit())
            key = QChar();
    } else if (key == QLatin1Char('\r')) {
        key = QChar();
        ApplyZoomEdit();
    }
}

void TZarvPreviewForm::ZoomEditExit(TObject*)
{
    ApplyZoomEdit();
}

void TZarvPreviewForm::ApplyZoomEdit()
{
    bool ok = false;
    const double zoom = ZoomEdit->Text().trimmed().toDouble(&ok);
    if (ok && zoom != ZvRenderPreview->ZoomFactor())
        ZvRenderPreview->SetZoomFactor(zoom);
    ZoomEdit->SetText(QString::number(ZvRenderPreview->ZoomFactor(), 'f', 1));
    ZoomEdit->SelectAll();
}
