#pragma once
// QpSystem: TZvSystem, the report-run controller. One Execute runs one
// report from start to finish:
//
//   setup     optionally the output options window (ssAllowSetup), which
//             picks ReportDest, OutputFileName and the printer settings;
//   generate  a snapshot writer (TZvZSFWriter) records the pages the report
//             draws through the system's events, while the status window
//             shows "Generating page %p" and offers Cancel;
//   playback  the preview window (rdPreview), the printer target (rdPrinter,
//             and rdFile as native output: the device's file output, PDF
//             here), RenderObject (rdFile through a render target), or
//             nothing (rdFile as a snapshot file the writer wrote itself);
//   clean-up  the memory snapshot freed, a temporary snapshot file deleted,
//             also when a phase raised.
//
// The three windows are reached through TZvSystemEvent handlers, each called
// with omCreate, omShow, omWait and omFree; OverrideSetup, OverrideStatus and
// OverridePreview replace DefaultSetupForm, DefaultStatusForm and
// DefaultPreviewForm.
//
// Cancel (setup window or status window) ends Execute normally with Aborted
// set. Execute on a system that is already running raises ESheetcaster.
#include "report/print/QpBase.h"
#include "report/print/QpDefine.h"

#include "platform/graphics/Graphics.h"
#include "platform/objects/Persistent.h"
#include "platform/objects/Strings.h"

#include <QString>

#include <functional>
#include <memory>

class TCustomForm;
class TQPRender;
class TStream;
class TZvRenderPreview;
class TZvSystem;
enum class TWindowState : uint8_t;

enum class TOverrideMode : uint8_t { omCreate, omShow, omWait, omFree };
// A window handler: omCreate makes the window and stores it in form, omShow
// shows it, omWait waits for it where that applies, omFree frees it and sets
// form to null.
using TZvSystemEvent = std::function<void(TZvSystem* reportSystem, TOverrideMode mode, TCustomForm*& form)>;

// The printer settings a run hands to its report. Lengths are report units.
class TSystemPrinter : public TPersistent {
public:
    TSystemPrinter();
    void Assign(const TPersistent* source) override;
    // Copies the settings into the report (Collate and Duplex only when no
    // printer device reports an invalid printer).
    void InitPrinter(TBaseReport& report) const;

    int Copies = 1;
    int FirstPage = 1;
    int LastPage = 9999;
    TLineHeightMethod LineHeightMethod = TLineHeightMethod::lhmFont;
    int LinesPerInch = 6;
    double MarginBottom = 0;
    double MarginLeft = 0;
    double MarginRight = 0;
    double MarginTop = 0;
    TOrientation Orientation = TOrientation::poPortrait;
    double ScaleX = 100.0; // percent
    double ScaleY = 100.0;
    QString StatusFormat; // "Printing page %p", translated
    TBKMode TextBKMode = TBKMode::bkTransparent;
    QString Title; // "Zarv Report", translated
    bool Collate = false;
    TDuplex Duplex = TDuplex::dupSimplex;

    TStrings& StatusText() { return FStatusText; }
    const TStrings& StatusText() const { return FStatusText; }
    void SetStatusText(const TStringList& lines) { FStatusText.Assign(lines); }
    int TabShade() const { return FTabShade; }
    void SetTabShade(int shade); // clamped to 0..100
    TPrintUnits Units() const { return FUnits; }
    // The named units set their factor; unUser keeps it.
    void SetUnits(TPrintUnits units);
    double UnitsFactor() const { return FUnitsFactor; }
    // Ignores 0 and less; 1, 25.4, 2.54 and 72 exactly select their units,
    // any other factor unUser.
    void SetUnitsFactor(double factor);

private:
    TStrings FStatusText;
    int FTabShade = 0;
    TPrintUnits FUnits = TPrintUnits::unInch;
    double FUnitsFactor = 1.0;
};

// The preview settings a run hands to the preview window's target.
class TSystemPreview : public TPersistent {
public:
    TSystemPreview();
    ~TSystemPreview() override;
    void Assign(const TPersistent* source) override;
    // Copies the settings into the target (its own setters apply).
    void InitPreview(TZvRenderPreview& preview) const;

    double GridHoriz = 0; // inches between grid lines; 0: none
    double GridVert = 0;
    TMarginMethod MarginMethod = TMarginMethod::mmFixed;
    double MarginPercent = 0;
    int PagesWide = 1; // stored only
    int PagesHigh = 1;
    int PageInc = 1;
    TRulerType RulerType = TRulerType::rtNone;
    int ZoomInc = 10;    // percent
    int FormWidth = 615; // pixels
    int FormHeight = 450;
    TWindowState FormState{}; // wsNormal

    TPen* GridPen() const { return FGridPen.get(); }
    void SetGridPen(const TPen* pen) { FGridPen->Assign(pen); }
    bool Monochrome() const { return FMonochrome; }
    // Refused with a message box while ShadowDepth >= 1.
    void SetMonochrome(bool monochrome);
    int ShadowDepth() const { return FShadowDepth; } // pixels
    // Refused (1 or more) with a message box while Monochrome is set.
    void SetShadowDepth(int depth);
    double ZoomFactor() const { return FZoomFactor; } // percent
    void SetZoomFactor(double zoom);                  // clamped to 10..200

private:
    std::unique_ptr<TPen> FGridPen;
    bool FMonochrome = false;
    int FShadowDepth = 0;
    double FZoomFactor = 100.0;
};

// Where the snapshot of a run goes (see TZvZSFWriter::StreamMode).
class TSystemFiler : public TPersistent {
public:
    TSystemFiler();
    void Assign(const TPersistent* source) override;
    // Copies the settings into the report; with smMemory a new memory stream
    // is made here (Stream) and handed to the writer as its user stream.
    void InitFiler(TBaseReport& report);

    TAccuracyMethod AccuracyMethod = TAccuracyMethod::amPositioning;
    QString FileName;
    QString StatusFormat; // "Generating page %p", translated
    TStreamMode StreamMode = TStreamMode::smMemory;
    bool IgnoreQPTF = false;

    TStrings& StatusText() { return FStatusText; }
    const TStrings& StatusText() const { return FStatusText; }
    void SetStatusText(const TStringList& lines) { FStatusText.Assign(lines); }
    // The snapshot stream: owned here for smMemory (made by InitFiler, freed
    // by FreeStream), the caller's for smUser.
    TStream* Stream() const { return FStream; }
    void SetStream(TStream* stream);
    void FreeStream();

private:
    TStrings FStatusText;
    TStream* FStream = nullptr;
    std::unique_ptr<TStream> FOwnedStream;
};

class TZvSystem : public TQPBaseComponent, public TReportEvents {
public:
    explicit TZvSystem(TComponent* owner);
    ~TZvSystem() override;

    // Runs the whole report: setup, generation, playback, clean-up.
    // ESheetcaster "Invalid method call.  Sheetcaster already printing." when
    // called while a run of this system is going on; ESheetcaster when rdFile
    // has no OutputFileName (and no RenderObject names its own output).
    void Execute();
    // The generation step alone: no status window, no clean-up.
    void Generate();
    // Fires OnPreviewShow; the preview window calls it once page 1 is shown.
    void PreviewShowEvent(TObject* sender);

    // The default window handlers (used while the Override... event is
    // empty).
    virtual void DefaultSetupForm(TZvSystem* reportSystem, TOverrideMode mode, TCustomForm*& form);
    virtual void DefaultStatusForm(TZvSystem* reportSystem, TOverrideMode mode, TCustomForm*& form);
    virtual void DefaultPreviewForm(TZvSystem* reportSystem, TOverrideMode mode, TCustomForm*& form);

    // ---- State ----------------------------------------------------------------
    bool DoNativeOutput = true; // rdFile: the device's own output instead of a snapshot
    bool Aborted = false;       // set by Cancel in a window or an aborted run
    // Set after the setup phase: the device makes no copies itself while
    // SystemPrinter.Copies > 1; the printer phase then prints Copies times.
    bool ForceMultiPrint = false;

    // The snapshot writer while a generation runs, else null.
    TBaseReport* BaseReport() const { return FBaseReport; }
    // The writer's status label of the last run (cleared when it goes).
    TComponent* SaveLabel() const { return FSaveLabel; }
    // True from the start of Execute to its end.
    bool Running() const { return FRunning; }

    TReportDest DefaultDest() const { return FDefaultDest; }
    void SetDefaultDest(TReportDest dest) { FDefaultDest = dest; }
    TReportDest ReportDest() const { return FReportDest; }
    void SetReportDest(TReportDest dest) { FReportDest = dest; }
    const QString& OutputFileName() const { return FOutputFileName; }
    void SetOutputFileName(const QString& fileName) { FOutputFileName = fileName; }
    TSystemSetups SystemSetups() const { return FSystemSetups; }
    void SetSystemSetups(TSystemSetups setups) { FSystemSetups = setups; }
    TSystemOptions SystemOptions() const { return FSystemOptions; }
    void SetSystemOptions(TSystemOptions options) { FSystemOptions = options; }

    TSystemFiler* SystemFiler() const { return FSystemFiler.get(); }
    TSystemPreview* SystemPreview() const { return FSystemPreview.get(); }
    TSystemPrinter* SystemPrinter() const { return FSystemPrinter.get(); }
    void SetSystemFiler(const TSystemFiler* filer) { FSystemFiler->Assign(filer); }
    void SetSystemPreview(const TSystemPreview* preview) { FSystemPreview->Assign(preview); }
    void SetSystemPrinter(const TSystemPrinter* printer) { FSystemPrinter->Assign(printer); }

    const QString& TitleSetup() const { return FTitleSetup; }
    void SetTitleSetup(const QString& title) { FTitleSetup = title; }
    const QString& TitleStatus() const { return FTitleStatus; }
    void SetTitleStatus(const QString& title) { FTitleStatus = title; }
    const QString& TitlePreview() const { return FTitlePreview; }
    void SetTitlePreview(const QString& title) { FTitlePreview = title; }

    // SystemFiler's stream.
    TStream* Stream() const;
    void SetStream(TStream* stream);
    // Macro values of the last run, handed to the printer and preview targets.
    TStringList& StorageMacroData() { return FStorageMacroData; }
    void SetStorageMacroData(const TStringList& data) { FStorageMacroData.Assign(data); }
    // The render target of rdFile output (not owned; cleared when it goes).
    TQPRender* RenderObject() const { return FRenderObject; }
    void SetRenderObject(TQPRender* render);

    // ---- Events -----------------------------------------------------------------
    TNotifyEvent OnRenderPage;
    TNotifyEvent OnRenderData;
    // OnPrint to OnDecodeImage: the report's events (TReportEvents).
    TNotifyEvent OnAfterPreviewPrint;
    TNotifyEvent OnPreviewSetup;
    TNotifyEvent OnPreviewShow;
    TZvSystemEvent OverrideSetup;
    TZvSystemEvent OverrideStatus;
    TZvSystemEvent OverridePreview;

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    void SetupPhase();
    // Generation with (withStatus) or without the status window; returns the
    // temporary file the writer chose, if any.
    QString RunGeneration(TCustomForm*& statusForm, bool withStatus);
    void PrinterPhase();
    void PreviewPhase();
    void RenderPhase(TCustomForm*& statusForm);
    void CopyEvents(TBaseReport& report) const;
    // The snapshot opened for reading, and whether the caller owns it.
    TStream* OpenSnapshot(std::unique_ptr<TStream>& owned);
    TStream* OpenUserStream(); // the filer's stream; ESheetcaster when none
    void CleanUp(const QString& tempFile);
    void CallWindow(const TZvSystemEvent& handler, TOverrideMode mode, TCustomForm*& form);
    using TDefaultWindow = void (TZvSystem::*)(TZvSystem*, TOverrideMode, TCustomForm*&);
    // Puts the default window handler in the empty event.
    void UseDefaultWindow(TZvSystemEvent& handler, TDefaultWindow defaultWindow);
    // Runs the window (the default one when the event is empty) through
    // create, show, wait and free.
    void RunWindow(TZvSystemEvent& handler, TDefaultWindow defaultWindow);

    TBaseReport* FBaseReport = nullptr;
    TComponent* FSaveLabel = nullptr;
    TReportDest FDefaultDest = TReportDest::rdPreview;
    TReportDest FReportDest = TReportDest::rdPreview;
    QString FOutputFileName;
    TSystemSetups FSystemSetups = TSystemSetups::FromBits(511);
    TSystemOptions FSystemOptions = TSystemOptions::FromBits(60);
    std::unique_ptr<TSystemFiler> FSystemFiler;
    std::unique_ptr<TSystemPreview> FSystemPreview;
    std::unique_ptr<TSystemPrinter> FSystemPrinter;
    QString FTitleSetup;
    QString FTitleStatus;
    QString FTitlePreview;
    TStringList FStorageMacroData;
    TQPRender* FRenderObject = nullptr;
    bool FRunning = false;
};

// Registers the report writer's classes with the class registry, after the
// forms layer: the controller with its settings, the printer and preview
// render targets, and the windows (status, output options, preview). The
// program calls it at start. Calling it again does nothing.
void RegisterReportPrintClasses();
