#include "report/print/QpSystem.h"

#include "report/print/QpDevice.h"
#include "report/print/QpFiler.h"
#include "report/print/QpFormPreview.h"
#include "report/print/QpFormSetup.h"
#include "report/print/QpFormStatus.h"
#include "report/print/QpRender.h"
#include "report/print/QpRenderPreview.h"
#include "report/print/QpRenderPrinter.h"
#include "report/print/QpRtf.h"

#include "platform/forms/Forms.h"
#include "platform/forms/FormsRegistration.h"
#include "platform/forms/MessageService.h"
#include "platform/forms/RichEdit.h"
#include "platform/forms/StdCtrls.h"
#include "platform/objects/ClassRegistry.h"
#include "platform/rtl/Streams.h"

#include <QCoreApplication>
#include <QFile>
#include <QPixmapCache>
#include <QThread>

#include <algorithm>
#include <map>

namespace {

const QString kAlreadyPrinting = QStringLiteral("Invalid method call.  Sheetcaster already printing.");
const QString kSmUserWithoutStream = QStringLiteral("StreamMode is smUser but Stream is nil");
const QString kNoOutputFile = QStringLiteral("No output file name given for the report's file output.");

// The canvas reaches the windows through these: the status line goes into
// the label's caption, and pending events are handled by the application
// object (Qt's loop when there is none).
void InstallReportUiHooks()
{
    TReportUiHooks& hooks = ReportUiHooks();
    if (!hooks.ShowStatus) {
        hooks.ShowStatus = [](TComponent* label, const QString& text) {
            if (auto* control = dynamic_cast<TControl*>(label))
                control->SetText(text);
        };
    }
    if (!hooks.ProcessMessages) {
        hooks.ProcessMessages = [] {
            if (TApplication* application = Application())
                application->ProcessMessages();
            else
                QCoreApplication::processEvents();
        };
    }
}

void ProcessWindowMessages()
{
    if (TReportUiHooks& hooks = ReportUiHooks(); hooks.ProcessMessages)
        hooks.ProcessMessages();
}

// A window made for one run leaves in Qt's application-wide pixmap cache
// the pictures its style and its icons drew, under keys made from its own
// palettes and icons. Nothing finds them again once the window is gone,
// and Qt keeps them until the cache reaches its limit (10 MB), so every run
// kept its share: about 50 kB a preview, 8 kB a status window. They go with
// the window; the pictures of the windows that stay are drawn again when
// next needed.
void FreeWindow(TCustomForm*& form)
{
    if (!form)
        return;
    DestroyForm(form);
    form = nullptr;
    QPixmapCache::clear();
}

} // namespace

// ---------------------------------------------------------------------------
// TSystemPrinter

TSystemPrinter::TSystemPrinter()
    : StatusFormat(Translate(QStringLiteral("Printing page %p"))),
      Title(Translate(QStringLiteral("Zarv Report")))
{
}

void TSystemPrinter::Assign(const TPersistent* source)
{
    auto* other = dynamic_cast<const TSystemPrinter*>(source);
    if (!other) {
        TPersistent::Assign(source);
        return;
    }
    Copies = other->Copies;
    FirstPage = other->FirstPage;
    LastPage = other->LastPage;
    LineHeightMethod = other->LineHeightMethod;
    LinesPerInch = other->LinesPerInch;
    MarginBottom = other->MarginBottom;
    MarginLeft = other->MarginLeft;
    MarginRight = other->MarginRight;
    MarginTop = other->MarginTop;
    Orientation = other->Orientation;
    ScaleX = other->ScaleX;
    ScaleY = other->ScaleY;
    StatusFormat = other->StatusFormat;
    TextBKMode = other->TextBKMode;
    Title = other->Title;
    Collate = other->Collate;
    Duplex = other->Duplex;
    FStatusText.Assign(other->FStatusText);
    FTabShade = other->FTabShade;
    FUnits = other->FUnits;
    FUnitsFactor = other->FUnitsFactor;
}

void TSystemPrinter::SetTabShade(int shade)
{
    FTabShade = std::clamp(shade, 0, 100);
}

void TSystemPrinter::SetUnits(TPrintUnits units)
{
    FUnits = units;
    if (units != TPrintUnits::unUser)
        FUnitsFactor = UnitsFactorOf(units, FUnitsFactor);
}

void TSystemPrinter::SetUnitsFactor(double factor)
{
    if (!(factor > 0))
        return;
    FUnitsFactor = factor;
    FUnits = TPrintUnits::unUser;
    for (TPrintUnits units :
         {TPrintUnits::unInch, TPrintUnits::unMM, TPrintUnits::unCM, TPrintUnits::unPoint}) {
        if (UnitsFactorOf(units, 0) == factor)
            FUnits = units;
    }
}

void TSystemPrinter::InitPrinter(TBaseReport& report) const
{
    report.SetCopies(Copies);
    report.SetFirstPage(FirstPage);
    report.SetLastPage(LastPage);
    report.SetLineHeightMethod(LineHeightMethod);
    report.SetLinesPerInch(LinesPerInch);
    report.SetMarginBottom(MarginBottom);
    report.SetMarginLeft(MarginLeft);
    report.SetMarginRight(MarginRight);
    report.SetMarginTop(MarginTop);
    report.SetOrientation(Orientation);
    report.SetScaleX(ScaleX);
    report.SetScaleY(ScaleY);
    report.SetStatusFormat(StatusFormat);
    report.StatusText().Assign(FStatusText);
    report.SetTabShade(FTabShade);
    report.SetTextBKMode(TextBKMode);
    report.SetTitle(Title);
    report.SetUnits(FUnits);
    if (FUnits == TPrintUnits::unUser)
        report.SetUnitsFactor(FUnitsFactor);
    TQpPrinterDevice* device = GlobalPrinterDevice();
    if (device && device->InvalidPrinter())
        return;
    report.SetCollate(Collate);
    report.SetDuplex(Duplex);
}

// ---------------------------------------------------------------------------
// TSystemPreview

TSystemPreview::TSystemPreview() : FGridPen(std::make_unique<TPen>()) {}

TSystemPreview::~TSystemPreview() = default;

void TSystemPreview::Assign(const TPersistent* source)
{
    auto* other = dynamic_cast<const TSystemPreview*>(source);
    if (!other) {
        TPersistent::Assign(source);
        return;
    }
    GridHoriz = other->GridHoriz;
    GridVert = other->GridVert;
    MarginMethod = other->MarginMethod;
    MarginPercent = other->MarginPercent;
    PagesWide = other->PagesWide;
    PagesHigh = other->PagesHigh;
    PageInc = other->PageInc;
    RulerType = other->RulerType;
    ZoomInc = other->ZoomInc;
    FormWidth = other->FormWidth;
    FormHeight = other->FormHeight;
    FormState = other->FormState;
    FGridPen->Assign(other->FGridPen.get());
    FMonochrome = other->FMonochrome;
    FShadowDepth = other->FShadowDepth;
    FZoomFactor = other->FZoomFactor;
}

void TSystemPreview::SetMonochrome(bool monochrome)
{
    if (monochrome && FShadowDepth >= 1) {
        ShowMessageBox(
            Translate(QStringLiteral(
                "Monochrome not allowed while shadows are in effect.\rChange ShadowDepth to 0 first")),
            QString(), TMsgIcon::None);
        return;
    }
    FMonochrome = monochrome;
}

void TSystemPreview::SetShadowDepth(int depth)
{
    if (depth >= 1 && FMonochrome) {
        ShowMessageBox(
            Translate(QStringLiteral(
                "Shadows not allowed while monochrome in effect.\rChange Monochrome to false first")),
            QString(), TMsgIcon::None);
        return;
    }
    FShadowDepth = depth;
}

void TSystemPreview::SetZoomFactor(double zoom)
{
    FZoomFactor = std::clamp(zoom, 10.0, 200.0);
}

void TSystemPreview::InitPreview(TZvRenderPreview& preview) const
{
    preview.GridHoriz = GridHoriz;
    preview.SetGridPen(FGridPen.get());
    preview.GridVert = GridVert;
    preview.MarginMethod = MarginMethod;
    preview.MarginPercent = MarginPercent;
    preview.SetShadowDepth(FShadowDepth);
    preview.SetMonochrome(FMonochrome);
    preview.PageInc = PageInc;
    preview.RulerType = RulerType;
    preview.SetZoomFactor(FZoomFactor);
    preview.ZoomInc = ZoomInc;
}

// ---------------------------------------------------------------------------
// TSystemFiler

TSystemFiler::TSystemFiler() : StatusFormat(Translate(QStringLiteral("Generating page %p"))) {}

void TSystemFiler::Assign(const TPersistent* source)
{
    auto* other = dynamic_cast<const TSystemFiler*>(source);
    if (!other) {
        TPersistent::Assign(source);
        return;
    }
    AccuracyMethod = other->AccuracyMethod;
    FileName = other->FileName;
    StatusFormat = other->StatusFormat;
    StreamMode = other->StreamMode;
    IgnoreQPTF = other->IgnoreQPTF;
    FStatusText.Assign(other->FStatusText);
}

void TSystemFiler::SetStream(TStream* stream)
{
    if (stream == FStream)
        return;
    if (FOwnedStream.get() != stream)
        FOwnedStream.reset();
    FStream = stream;
}

void TSystemFiler::FreeStream()
{
    FOwnedStream.reset();
    FStream = nullptr;
}

void TSystemFiler::InitFiler(TBaseReport& report)
{
    report.SetIgnoreQPTF(IgnoreQPTF);
    auto* writer = dynamic_cast<TZvZSFWriter*>(&report);
    if (!writer)
        return;
    writer->SetAccuracyMethod(AccuracyMethod);
    writer->SetFileName(FileName);
    writer->SetStatusFormat(StatusFormat);
    writer->StatusText().Assign(FStatusText);
    if (StreamMode == TStreamMode::smMemory) {
        FOwnedStream = std::make_unique<TMemoryStream>();
        FStream = FOwnedStream.get();
        writer->SetStreamMode(TStreamMode::smUser);
    } else {
        writer->SetStreamMode(StreamMode);
    }
    writer->SetStream(FStream);
}

// ---------------------------------------------------------------------------
// TZvSystem

TZvSystem::TZvSystem(TComponent* owner)
    : TQPBaseComponent(owner), FSystemFiler(std::make_unique<TSystemFiler>()),
      FSystemPreview(std::make_unique<TSystemPreview>()), FSystemPrinter(std::make_unique<TSystemPrinter>())
{
    InstallReportUiHooks();
}

TZvSystem::~TZvSystem() = default;

void TZvSystem::Notification(TComponent* component, TOperation operation)
{
    TQPBaseComponent::Notification(component, operation);
    if (operation != TOperation::opRemove)
        return;
    if (component == FSaveLabel)
        FSaveLabel = nullptr;
    if (component == FRenderObject)
        FRenderObject = nullptr;
    if (component == FBaseReport)
        FBaseReport = nullptr;
}

TStream* TZvSystem::Stream() const
{
    return FSystemFiler->Stream();
}

void TZvSystem::SetStream(TStream* stream)
{
    FSystemFiler->SetStream(stream);
}

void TZvSystem::SetRenderObject(TQPRender* render)
{
    ReferenceComponent(this, FRenderObject, render);
}

void TZvSystem::PreviewShowEvent(TObject* sender)
{
    if (OnPreviewShow)
        OnPreviewShow(sender);
}

void TZvSystem::CallWindow(const TZvSystemEvent& handler, TOverrideMode mode, TCustomForm*& form)
{
    if (handler)
        handler(this, mode, form);
}

void TZvSystem::Execute()
{
    if (FRunning)
        RaiseError(Translate(kAlreadyPrinting));
    FRunning = true;
    struct TRunFlag {
        bool& Flag;
        ~TRunFlag() { Flag = false; }
    } runFlag{FRunning};

    SetupPhase();
    if (Aborted)
        return;
    TQpPrinterDevice* device = GlobalPrinterDevice();
    ForceMultiPrint = device && FSystemPrinter->Copies > 1 && device->GetMaxCopies() <= 1;

    TCustomForm* statusForm = nullptr;
    QString tempFile;
    try {
        if (FSystemFiler->StreamMode != TStreamMode::smFile)
            FSystemFiler->FileName.clear();
        // A file destination without a name would print on paper (native
        // output) or fail on an unnamed file: refused before anything runs.
        if (FReportDest == TReportDest::rdFile && !FRenderObject && FOutputFileName.trimmed().isEmpty())
            RaiseError(Translate(kNoOutputFile));
        if (!FSystemOptions.Contains(TSystemOption::soNoGenerate))
            tempFile = RunGeneration(statusForm, true);
        if (!Aborted) {
            switch (FReportDest) {
            case TReportDest::rdPreview:
                PreviewPhase();
                break;
            case TReportDest::rdPrinter:
                PrinterPhase();
                break;
            case TReportDest::rdFile:
                if (DoNativeOutput)
                    PrinterPhase();
                else if (FRenderObject)
                    RenderPhase(statusForm);
                else if (OverrideStatus)
                    OverrideStatus(this, TOverrideMode::omFree, statusForm);
                break;
            }
        }
    } catch (...) {
        CleanUp(tempFile);
        throw;
    }
    CleanUp(tempFile);
}

// Only the temporary file the writer chose is deleted: with a file
// destination the writer wrote the user's own file, whose name the filer then
// holds.
void TZvSystem::CleanUp(const QString& tempFile)
{
    if (FSystemFiler->StreamMode == TStreamMode::smMemory)
        FSystemFiler->FreeStream();
    else if (FSystemFiler->StreamMode == TStreamMode::smTempFile && !tempFile.isEmpty())
        QFile::remove(tempFile);
}

void TZvSystem::UseDefaultWindow(TZvSystemEvent& handler, TDefaultWindow defaultWindow)
{
    if (!handler)
        handler = [this, defaultWindow](TZvSystem* system, TOverrideMode mode, TCustomForm*& form) {
            (this->*defaultWindow)(system, mode, form);
        };
}

// Create, show and wait; the window is freed also after an exception.
void TZvSystem::RunWindow(TZvSystemEvent& handler, TDefaultWindow defaultWindow)
{
    UseDefaultWindow(handler, defaultWindow);
    TCustomForm* form = nullptr;
    handler(this, TOverrideMode::omCreate, form);
    try {
        handler(this, TOverrideMode::omShow, form);
        handler(this, TOverrideMode::omWait, form);
    } catch (...) {
        handler(this, TOverrideMode::omFree, form);
        throw;
    }
    handler(this, TOverrideMode::omFree, form);
}

void TZvSystem::SetupPhase()
{
    FReportDest = FDefaultDest;
    Aborted = false;
    if (!FSystemSetups.Contains(TSystemSetup::ssAllowSetup))
        return;
    RunWindow(OverrideSetup, &TZvSystem::DefaultSetupForm);
}

void TZvSystem::Generate()
{
    TCustomForm* none = nullptr;
    RunGeneration(none, false);
}

QString TZvSystem::RunGeneration(TCustomForm*& statusForm, bool withStatus)
{
    if (withStatus) {
        Aborted = true;
        UseDefaultWindow(OverrideStatus, &TZvSystem::DefaultStatusForm);
        OverrideStatus(this, TOverrideMode::omCreate, statusForm);
    }
    FBaseReport = nullptr;
    std::unique_ptr<TZvZSFWriter> writer;
    QString tempFile;
    auto finish = [&] {
        if (writer) {
            ReferenceComponent(this, FSaveLabel, writer->StatusLabel());
            FSystemFiler->FileName = writer->FileName();
            if (writer->StreamMode() == TStreamMode::smTempFile)
                tempFile = writer->FileName();
            writer.reset();
        }
        FBaseReport = nullptr;
        if (withStatus)
            OverrideStatus(this, TOverrideMode::omFree, statusForm);
    };
    try {
        writer = std::make_unique<TZvZSFWriter>(Owner());
        FBaseReport = writer.get();
        FSystemPrinter->InitPrinter(*writer);
        FSystemFiler->InitFiler(*writer);
        if (FReportDest == TReportDest::rdFile && !FRenderObject) {
            if (DoNativeOutput) {
                writer->SetOutputName(FOutputFileName);
            } else {
                writer->SetStreamMode(TStreamMode::smFile);
                writer->SetFileName(FOutputFileName);
            }
        }
        CopyEvents(*writer);
        if (withStatus)
            OverrideStatus(this, TOverrideMode::omShow, statusForm);
        try {
            writer->Execute();
        } catch (const EAbort&) {
            // The silent abort of a cancelled run ends the run, not Execute.
            if (!writer->Aborted())
                throw;
        }
        FStorageMacroData.Assign(writer->MacroData());
        Aborted = writer->Aborted();
    } catch (...) {
        finish();
        throw;
    }
    finish();
    return tempFile;
}

void TZvSystem::CopyEvents(TBaseReport& report) const
{
    static_cast<TReportEvents&>(report) = *this;
    if (auto* writer = dynamic_cast<TZvZSFWriter*>(&report)) {
        writer->OnRenderPage = OnRenderPage;
        writer->OnRenderData = OnRenderData;
    }
}

// When the device makes no copies itself, the snapshot is printed Copies
// times, one copy each (as the preview's Print does).
void TZvSystem::PrinterPhase()
{
    TZvRenderPrinter printer(this);
    printer.OnDecodeImage = OnDecodeImage;
    printer.MacroData().Assign(FStorageMacroData);
    printer.SetOutputFileName(FOutputFileName);
    int times = 1;
    if (ForceMultiPrint) {
        times = FSystemPrinter->Copies;
        printer.IgnoreFileSettings = true;
        printer.Copies = 1;
        printer.Collate = FSystemPrinter->Collate;
        printer.Duplex = FSystemPrinter->Duplex;
    }
    for (int i = 0; i < times; ++i) {
        if (!FSystemFiler->FileName.isEmpty())
            printer.Render(FSystemFiler->FileName);
        else
            printer.Render(OpenUserStream());
    }
}

TStream* TZvSystem::OpenUserStream()
{
    if (!FSystemFiler->Stream())
        RaiseError(Translate(kSmUserWithoutStream));
    return FSystemFiler->Stream();
}

void TZvSystem::PreviewPhase()
{
    RunWindow(OverridePreview, &TZvSystem::DefaultPreviewForm);
}

TStream* TZvSystem::OpenSnapshot(std::unique_ptr<TStream>& owned)
{
    switch (FSystemFiler->StreamMode) {
    case TStreamMode::smMemory: {
        auto copy = std::make_unique<TMemoryStream>();
        if (TStream* source = FSystemFiler->Stream()) {
            source->SetPosition(0);
            copy->CopyFrom(*source, 0);
        }
        owned = std::move(copy);
        break;
    }
    case TStreamMode::smFile:
    case TStreamMode::smTempFile:
        owned = std::make_unique<TFileStream>(FSystemFiler->FileName, fmOpenRead | fmShareDenyWrite);
        break;
    case TStreamMode::smUser:
        OpenUserStream();
        FSystemFiler->Stream()->SetPosition(0);
        return FSystemFiler->Stream();
    }
    owned->SetPosition(0);
    return owned.get();
}

void TZvSystem::RenderPhase(TCustomForm*& statusForm)
{
    if (OverrideStatus && statusForm)
        OverrideStatus(this, TOverrideMode::omFree, statusForm);
    std::unique_ptr<TStream> owned;
    TStream* stream = OpenSnapshot(owned);
    FRenderObject->SetOutputFileName(FOutputFileName);
    try {
        FRenderObject->Render(stream);
    } catch (...) {
        FRenderObject->SetZSFStream(nullptr);
        throw;
    }
    FRenderObject->SetZSFStream(nullptr);
}

// ---------------------------------------------------------------------------
// The default windows.

void TZvSystem::DefaultSetupForm(TZvSystem* reportSystem, TOverrideMode mode, TCustomForm*& form)
{
    switch (mode) {
    case TOverrideMode::omCreate: {
        auto* setup = NewForm<TQPSetupForm>(reportSystem);
        setup->SetCaption(reportSystem->TitleSetup());
        setup->ReportSystem = reportSystem;
        form = setup;
        break;
    }
    case TOverrideMode::omShow:
        if (auto* setup = dynamic_cast<TQPSetupForm*>(form)) {
            setup->PreviewSetup = false;
            reportSystem->Aborted = setup->ShowModal() == mrCancel;
        }
        break;
    case TOverrideMode::omWait:
        break;
    case TOverrideMode::omFree:
        FreeWindow(form);
        break;
    }
}

void TZvSystem::DefaultStatusForm(TZvSystem* reportSystem, TOverrideMode mode, TCustomForm*& form)
{
    const TSystemOptions options = reportSystem->SystemOptions();
    if (!options.Contains(TSystemOption::soShowStatus))
        return;
    auto* status = dynamic_cast<TQpStatusForm*>(form);
    switch (mode) {
    case TOverrideMode::omCreate:
        status = NewForm<TQpStatusForm>(reportSystem);
        status->SetCaption(reportSystem->TitleStatus());
        status->ReportSystem = reportSystem;
        form = status;
        break;
    case TOverrideMode::omShow:
        if (!status)
            break;
        if (TBaseReport* report = reportSystem->BaseReport())
            report->SetStatusLabel(status->StatusLabel);
        status->CancelButton->SetCaption(Translate(QStringLiteral("Cancel")));
        // Only Cancel is live while the report generates: no other window
        // can start a print inside this run.
        status->ShowBlocking();
        break;
    case TOverrideMode::omWait:
        if (!status || !options.Contains(TSystemOption::soWaitForOK))
            break;
        status->CancelButton->SetCaption(Translate(QStringLiteral("Ok")));
        status->CancelButton->SetModalResult(mrOk);
        status->FormClosed = false;
        while (!status->FormClosed && status->Visible())
            ProcessWindowMessages();
        break;
    case TOverrideMode::omFree:
        FreeWindow(form);
        break;
    }
}

void TZvSystem::DefaultPreviewForm(TZvSystem* reportSystem, TOverrideMode mode, TCustomForm*& form)
{
    auto* preview = dynamic_cast<TZarvPreviewForm*>(form);
    switch (mode) {
    case TOverrideMode::omCreate: {
        preview = NewForm<TZarvPreviewForm>(reportSystem);
        preview->SetCaption(reportSystem->TitlePreview());
        const TSystemPreview* settings = reportSystem->SystemPreview();
        preview->SetWidth(settings->FormWidth);
        preview->SetHeight(settings->FormHeight);
        preview->SetWindowState(settings->FormState);
        preview->ReportSystem = reportSystem;
        preview->OnAfterPreviewPrint = reportSystem->OnAfterPreviewPrint;
        form = preview;
        break;
    }
    case TOverrideMode::omShow:
        if (!preview)
            break;
        for (TQPRender* target :
             std::initializer_list<TQPRender*>{preview->ZvRenderPrinter, preview->ZvRenderPreview}) {
            target->MacroData().Assign(reportSystem->StorageMacroData());
            target->OnDecodeImage = reportSystem->OnDecodeImage;
        }
        reportSystem->SystemPreview()->InitPreview(*preview->ZvRenderPreview);
        if (reportSystem->OnPreviewSetup)
            reportSystem->OnPreviewSetup(preview->ZvRenderPreview);
        preview->InputFileName = reportSystem->SystemFiler()->FileName;
        preview->InputStream = reportSystem->SystemFiler()->Stream();
        preview->InitFromQPSystem();
        if (reportSystem->SystemOptions().Contains(TSystemOption::soPreviewModal))
            preview->ShowModal();
        else
            preview->Show();
        break;
    case TOverrideMode::omWait:
        if (!preview || reportSystem->SystemOptions().Contains(TSystemOption::soPreviewModal))
            break;
        do {
            QThread::msleep(250);
            ProcessWindowMessages();
        } while (preview->Visible());
        break;
    case TOverrideMode::omFree:
        if (preview) {
            const TStreamMode streamMode = reportSystem->SystemFiler()->StreamMode;
            if (streamMode == TStreamMode::smFile || streamMode == TStreamMode::smTempFile)
                preview->ReleaseSnapshot();
        }
        FreeWindow(form);
        break;
    }
}

// ---------------------------------------------------------------------------

namespace {

// The published settings of the controller, as a form streams them. The
// events are C++ handlers here and are not streamed.
template <class C, class T>
TPropInfo& Field(TClassInfo& info, const char* name, const TTypeInfo& type, T C::*field)
{
    auto get = [field](const C& c) -> T { return c.*field; };
    auto set = [field](C& c, T value) { c.*field = std::move(value); };
    return objects_detail::Publish<C, T>(info, QString::fromLatin1(name), type, get, set, true);
}

template <class C, class T>
TPropInfo& Accessors(TClassInfo& info, const char* name, const TTypeInfo& type,
                     std::function<T(const C&)> get, std::function<void(C&, T)> set)
{
    return objects_detail::Publish<C, T>(info, QString::fromLatin1(name), type, get, set, true);
}

const TTypeInfo& EnumType(const char* name, const QStringList& names)
{
    static std::map<QString, TTypeInfo> types;
    const QString key = QString::fromLatin1(name);
    auto it = types.find(key);
    if (it == types.end())
        it = types.emplace(key, MakeEnumType(key, names)).first;
    return it->second;
}

// The status lines of a settings object, published as the framework's
// string list: a stream fills the lines, and assigning copies them.
template <class C> void StatusTextProperty(TClassInfo& info)
{
    Accessors<C, TStrings*>(
        info, "StatusText", TypeInfoClass(QStringLiteral("TStrings")),
        [](const C& c) { return const_cast<TStrings*>(&c.StatusText()); },
        [](C& c, TStrings* lines) { c.StatusText().Assign(static_cast<const TPersistent*>(lines)); });
}

const TTypeInfo& SetType(const char* name, const TTypeInfo& element)
{
    static std::map<QString, TTypeInfo> types;
    const QString key = QString::fromLatin1(name);
    auto it = types.find(key);
    if (it == types.end())
        it = types.emplace(key, MakeSetType(key, element)).first;
    return it->second;
}

const TTypeInfo& MarginMethodType()
{
    return EnumType("TMarginMethod", {"mmScaled", "mmFixed"});
}

const TTypeInfo& RulerTypeType()
{
    return EnumType("TRulerType",
                    {"rtNone", "rtHorizCm", "rtVertCm", "rtBothCm", "rtHorizIn", "rtVertIn", "rtBothIn"});
}

void RegisterSystemSettings()
{
    const TTypeInfo& str = TypeInfoString();
    const TTypeInfo& integer = TypeInfoInteger();
    const TTypeInfo& boolean = TypeInfoBoolean();
    const TTypeInfo& real = TypeInfoDouble();

    TClassInfo& filer =
        RegisterClass<TSystemFiler>(QStringLiteral("TSystemFiler"), QStringLiteral("TPersistent"));
    Field(filer, "AccuracyMethod", EnumType("TAccuracyMethod", {"amPositioning", "amAppearance"}),
          &TSystemFiler::AccuracyMethod);
    Field(filer, "FileName", str, &TSystemFiler::FileName);
    Field(filer, "StatusFormat", str, &TSystemFiler::StatusFormat);
    StatusTextProperty<TSystemFiler>(filer);
    Field(filer, "StreamMode", EnumType("TStreamMode", {"smMemory", "smFile", "smUser", "smTempFile"}),
          &TSystemFiler::StreamMode);

    TClassInfo& preview =
        RegisterClass<TSystemPreview>(QStringLiteral("TSystemPreview"), QStringLiteral("TPersistent"));
    Field(preview, "GridHoriz", real, &TSystemPreview::GridHoriz);
    PublishProperty(preview, QStringLiteral("GridPen"), TypeInfoClass(QStringLiteral("TPen")),
                    &TSystemPreview::GridPen, &TSystemPreview::SetGridPen);
    Field(preview, "GridVert", real, &TSystemPreview::GridVert);
    Field(preview, "MarginMethod", MarginMethodType(), &TSystemPreview::MarginMethod)
        .WithDefault(int(TMarginMethod::mmFixed));
    Field(preview, "MarginPercent", real, &TSystemPreview::MarginPercent);
    PublishProperty(preview, QStringLiteral("Monochrome"), boolean, &TSystemPreview::Monochrome,
                    &TSystemPreview::SetMonochrome);
    Field(preview, "PagesWide", integer, &TSystemPreview::PagesWide).WithDefault(1);
    Field(preview, "PagesHigh", integer, &TSystemPreview::PagesHigh).WithDefault(1);
    Field(preview, "PageInc", integer, &TSystemPreview::PageInc).WithDefault(1);
    Field(preview, "RulerType", RulerTypeType(), &TSystemPreview::RulerType);
    PublishProperty(preview, QStringLiteral("ShadowDepth"), integer, &TSystemPreview::ShadowDepth,
                    &TSystemPreview::SetShadowDepth);
    PublishProperty(preview, QStringLiteral("ZoomFactor"), real, &TSystemPreview::ZoomFactor,
                    &TSystemPreview::SetZoomFactor);
    Field(preview, "ZoomInc", integer, &TSystemPreview::ZoomInc).WithDefault(10);
    Field(preview, "FormWidth", integer, &TSystemPreview::FormWidth).WithDefault(615);
    Field(preview, "FormHeight", integer, &TSystemPreview::FormHeight).WithDefault(450);
    Field(preview, "FormState", EnumType("TWindowState", {"wsNormal", "wsMinimized", "wsMaximized"}),
          &TSystemPreview::FormState);

    TClassInfo& printer =
        RegisterClass<TSystemPrinter>(QStringLiteral("TSystemPrinter"), QStringLiteral("TPersistent"));
    Field(printer, "Copies", integer, &TSystemPrinter::Copies).WithDefault(1);
    Field(printer, "FirstPage", integer, &TSystemPrinter::FirstPage).WithDefault(1);
    Field(printer, "LastPage", integer, &TSystemPrinter::LastPage).WithDefault(9999);
    Field(printer, "LineHeightMethod",
          EnumType("TLineHeightMethod", {"lhmLinesPerInch", "lhmFont", "lhmUser"}),
          &TSystemPrinter::LineHeightMethod)
        .WithDefault(int(TLineHeightMethod::lhmFont));
    Field(printer, "LinesPerInch", integer, &TSystemPrinter::LinesPerInch).WithDefault(6);
    Field(printer, "MarginBottom", real, &TSystemPrinter::MarginBottom);
    Field(printer, "MarginLeft", real, &TSystemPrinter::MarginLeft);
    Field(printer, "MarginRight", real, &TSystemPrinter::MarginRight);
    Field(printer, "MarginTop", real, &TSystemPrinter::MarginTop);
    Field(printer, "Orientation", EnumType("TOrientation", {"poPortrait", "poLandScape", "poDefault"}),
          &TSystemPrinter::Orientation);
    Field(printer, "ScaleX", real, &TSystemPrinter::ScaleX);
    Field(printer, "ScaleY", real, &TSystemPrinter::ScaleY);
    Field(printer, "StatusFormat", str, &TSystemPrinter::StatusFormat);
    StatusTextProperty<TSystemPrinter>(printer);
    PublishProperty(printer, QStringLiteral("TabShade"), integer, &TSystemPrinter::TabShade,
                    &TSystemPrinter::SetTabShade);
    Field(printer, "TextBKMode", EnumType("TBKMode", {"bkTransparent", "bkOpaque"}),
          &TSystemPrinter::TextBKMode);
    Field(printer, "Title", str, &TSystemPrinter::Title);
    PublishProperty(printer, QStringLiteral("Units"),
                    EnumType("TPrintUnits", {"unInch", "unMM", "unCM", "unPoint", "unUser"}),
                    &TSystemPrinter::Units, &TSystemPrinter::SetUnits);
    PublishProperty(printer, QStringLiteral("UnitsFactor"), real, &TSystemPrinter::UnitsFactor,
                    &TSystemPrinter::SetUnitsFactor);
    Field(printer, "Collate", boolean, &TSystemPrinter::Collate);
    Field(printer, "Duplex", EnumType("TDuplex", {"dupSimplex", "dupVertical", "dupHorizontal"}),
          &TSystemPrinter::Duplex);

    RegisterQpComponentClasses();
    TClassInfo& system =
        RegisterClass<TZvSystem>(QStringLiteral("TZvSystem"), QStringLiteral("TQPBaseComponent"));
    PublishProperty(system, QStringLiteral("TitleSetup"), str, &TZvSystem::TitleSetup,
                    &TZvSystem::SetTitleSetup);
    PublishProperty(system, QStringLiteral("TitleStatus"), str, &TZvSystem::TitleStatus,
                    &TZvSystem::SetTitleStatus);
    PublishProperty(system, QStringLiteral("TitlePreview"), str, &TZvSystem::TitlePreview,
                    &TZvSystem::SetTitlePreview);
    const TTypeInfo& setup =
        EnumType("TSystemSetup",
                 {"ssAllowSetup", "ssAllowCopies", "ssAllowCollate", "ssAllowDuplex", "ssAllowDestPreview",
                  "ssAllowDestPrinter", "ssAllowDestFile", "ssAllowPrinterSetup", "ssAllowPreviewSetup"});
    Accessors<TZvSystem, int64_t>(
        system, "SystemSetups", SetType("TSystemSetups", setup),
        [](const TZvSystem& s) { return int64_t(s.SystemSetups().ToBits()); },
        [](TZvSystem& s, int64_t bits) { s.SetSystemSetups(TSystemSetups::FromBits(uint16_t(bits))); })
        .WithDefault(511);
    const TTypeInfo& option =
        EnumType("TSystemOption", {"soUseFiler", "soWaitForOK", "soShowStatus", "soAllowPrintFromPreview",
                                   "soAllowSaveFromPreview", "soPreviewModal", "soNoGenerate"});
    Accessors<TZvSystem, int64_t>(
        system, "SystemOptions", SetType("TSystemOptions", option),
        [](const TZvSystem& s) { return int64_t(s.SystemOptions().ToBits()); },
        [](TZvSystem& s, int64_t bits) { s.SetSystemOptions(TSystemOptions::FromBits(uint8_t(bits))); })
        .WithDefault(60);
    PublishProperty(system, QStringLiteral("DefaultDest"),
                    EnumType("TReportDest", {"rdPreview", "rdPrinter", "rdFile"}), &TZvSystem::DefaultDest,
                    &TZvSystem::SetDefaultDest);
    PublishProperty(system, QStringLiteral("SystemFiler"), TypeInfoClass(QStringLiteral("TSystemFiler")),
                    &TZvSystem::SystemFiler, &TZvSystem::SetSystemFiler);
    PublishProperty(system, QStringLiteral("SystemPreview"), TypeInfoClass(QStringLiteral("TSystemPreview")),
                    &TZvSystem::SystemPreview, &TZvSystem::SetSystemPreview);
    PublishProperty(system, QStringLiteral("SystemPrinter"), TypeInfoClass(QStringLiteral("TSystemPrinter")),
                    &TZvSystem::SystemPrinter, &TZvSystem::SetSystemPrinter);
}

// A notify event of a render target bound by a form stream to a handler of
// the form by name. The event holds the binding itself, so a handler set in
// code replaces it and the target then streams no name.
struct TStreamedNotify {
    TMethod Method;
    void operator()(TObject* sender) const { CallNotifyEvent(Method, sender); }
};

void NotifyEventProperty(TClassInfo& info, const char* name, TNotifyEvent TZvRenderPreview::*event)
{
    Accessors<TZvRenderPreview, TMethod>(
        info, name, EventTypeInfo(TEventKind::Notify),
        [event](const TZvRenderPreview& target) {
            const auto* bound = (target.*event).target<TStreamedNotify>();
            return bound ? bound->Method : TMethod();
        },
        [event](TZvRenderPreview& target, TMethod method) {
            CheckEventBinding(method, TEventKind::Notify);
            if (method.IsAssigned())
                target.*event = TStreamedNotify{std::move(method)};
            else
                target.*event = nullptr;
        });
}

// The printer and preview targets, as a form streams them, with the
// ancestors they share (which a stream cannot create).
void RegisterRenderTargets()
{
    RegisterQpComponentClasses();
    RegisterClassInfo(QStringLiteral("TQPRender"), QStringLiteral("TQpComponent"), {}, &typeid(TQPRender));
    RegisterClassInfo(QStringLiteral("TQPRenderStream"), QStringLiteral("TQPRender"), {},
                      &typeid(TQPRenderStream));
    RegisterClassInfo(QStringLiteral("TZvRenderCanvas"), QStringLiteral("TQPRenderStream"), {},
                      &typeid(TZvRenderCanvas));
    const TTypeInfo& boolean = TypeInfoBoolean();
    const TTypeInfo& integer = TypeInfoInteger();
    const TTypeInfo& real = TypeInfoDouble();

    TClassInfo& printer = RegisterClass<TZvRenderPrinter>(QStringLiteral("TZvRenderPrinter"),
                                                          QStringLiteral("TZvRenderCanvas"));
    PublishProperty(printer, QStringLiteral("Active"), boolean, &TQPRender::Active, &TQPRender::SetActive);
    PublishProperty(printer, QStringLiteral("OutputFileName"), TypeInfoString(), &TQPRender::OutputFileName,
                    &TQPRender::SetOutputFileName);

    TClassInfo& preview = RegisterClass<TZvRenderPreview>(QStringLiteral("TZvRenderPreview"),
                                                          QStringLiteral("TZvRenderCanvas"));
    PublishProperty(preview, QStringLiteral("Active"), boolean, &TQPRender::Active, &TQPRender::SetActive);
    PublishProperty(preview, QStringLiteral("ScrollBox"), TypeInfoClass(QStringLiteral("TScrollBox")),
                    &TZvRenderPreview::ScrollBox, &TZvRenderPreview::SetScrollBox);
    Field(preview, "ZoomInc", integer, &TZvRenderPreview::ZoomInc).WithDefault(10);
    PublishProperty(preview, QStringLiteral("ZoomFactor"), real, &TZvRenderPreview::ZoomFactor,
                    &TZvRenderPreview::SetZoomFactor);
    PublishProperty(preview, QStringLiteral("Monochrome"), boolean, &TZvRenderPreview::Monochrome,
                    &TZvRenderPreview::SetMonochrome);
    Field(preview, "MarginMethod", MarginMethodType(), &TZvRenderPreview::MarginMethod)
        .WithDefault(int(TMarginMethod::mmFixed));
    Field(preview, "MarginPercent", real, &TZvRenderPreview::MarginPercent);
    Field(preview, "RulerType", RulerTypeType(), &TZvRenderPreview::RulerType);
    PublishProperty(preview, QStringLiteral("GridPen"), TypeInfoClass(QStringLiteral("TPen")),
                    &TZvRenderPreview::GridPen, &TZvRenderPreview::SetGridPen);
    Field(preview, "GridHoriz", real, &TZvRenderPreview::GridHoriz);
    Field(preview, "GridVert", real, &TZvRenderPreview::GridVert);
    PublishProperty(preview, QStringLiteral("ShadowDepth"), integer, &TZvRenderPreview::ShadowDepth,
                    &TZvRenderPreview::SetShadowDepth);
    Field(preview, "PageInc", integer, &TZvRenderPreview::PageInc).WithDefault(1);
    NotifyEventProperty(preview, "OnZoomChange", &TZvRenderPreview::OnZoomChange);
    NotifyEventProperty(preview, "OnPageChange", &TZvRenderPreview::OnPageChange);
}

} // namespace

void RegisterReportPrintClasses()
{
    RegisterFormsClasses();
    SetRichTextReader(RTFToDocument);
    if (!FindClass(QStringLiteral("TZvSystem")))
        RegisterSystemSettings();
    if (!FindClass(QStringLiteral("TZvRenderPrinter")))
        RegisterRenderTargets();
    const auto registerWindow = [](const QString& name, auto* typeTag) {
        using T = std::remove_pointer_t<decltype(typeTag)>;
        if (!FindClass(name))
            RegisterClass<T>(name, QStringLiteral("TForm"));
    };
    registerWindow(QStringLiteral("TQpStatusForm"), static_cast<TQpStatusForm*>(nullptr));
    registerWindow(QStringLiteral("TQPSetupForm"), static_cast<TQPSetupForm*>(nullptr));
    registerWindow(QStringLiteral("TZarvPreviewForm"), static_cast<TZarvPreviewForm*>(nullptr));
}
