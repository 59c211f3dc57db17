#pragma once
// QpFormPreview: TZarvPreviewForm, the report preview window. It shows a
// snapshot page by page through its preview target in ScrollBox1, with
// page navigation, zoom, printing through its own printer target, saving
// (a byte copy of the snapshot, or through a registered render target) and
// opening another snapshot file.
//
// The window sees keys before its controls: letters move between pages and
// zoom ("b", "p", "n", "e", "w", "f", "+", "-"), Esc or "x" closes, and the
// arrow and page keys scroll, running on into the neighbouring page at
// either end.
#include "platform/forms/ActnList.h"
#include "platform/forms/Dialogs.h"
#include "platform/forms/ExtCtrls.h"
#include "platform/forms/Forms.h"
#include "platform/forms/ImgList.h"
#include "platform/forms/Menus.h"
#include "platform/forms/StdCtrls.h"
#include "platform/forms/ToolBars.h"
#include "platform/graphics/Graphics.h"

#include <memory>

class TQPRender;
class TStream;
class TZvRenderPreview;
class TZvRenderPrinter;
class TZvSystem;

class TZarvPreviewForm : public TForm {
public:
    explicit TZarvPreviewForm(TComponent* owner);
    ~TZarvPreviewForm() override;

    // Shows page 1 of InputFileName (opened read-only here) or, without a
    // name, of InputStream, then tells the system the preview is up.
    void InitFromQPSystem();
    // Shows another snapshot file. The window takes it only once its page 1
    // has played: a file that cannot be opened, that the check refuses or
    // whose page 1 fails is refused with the error naming the file, and the
    // report shown stays, with its caption, page, page count and picture.
    void OpenFile(const QString& fileName);
    // The same for a snapshot stream, which the window then owns; fileName
    // names it in the caption and in a refusal.
    void OpenFile(std::unique_ptr<TStream> stream, const QString& fileName);
    // A new preview window owned by the application, showing that file.
    static TZarvPreviewForm* PreviewFile(const QString& fileName);
    // Fires OnAfterPreviewPrint with the printer target.
    virtual void DoAfterPreviewPrint();
    // Lets go of the snapshot the preview target holds (so that its file
    // can be deleted).
    void ReleaseSnapshot();
    // Enables the page, file and zoom commands for the current page.
    void UpdateControls();

    // Handlers named in the form file.
    void FormShow(TObject* sender);
    void FormClose(TObject* sender, TCloseAction& action);
    void FormKeyDown(TObject* sender, uint16_t& key, TShiftState shift);
    void FormKeyPress(TObject* sender, QChar& key);
    void PageEditKeyPress(TObject* sender, QChar& key);
    void PageEditExit(TObject* sender);
    void ZoomEditKeyPress(TObject* sender, QChar& key);
    void ZoomEditExit(TObject* sender);
    void PreviewTimerTimer(TObject* sender);
    void ActionUpdate(TObject* sender);
    void actnFile_OpenExecute(TObject* sender);
    void actnFile_SaveExecute(TObject* sender);
    void actnFile_PrintExecute(TObject* sender);
    void actnFile_ExitExecute(TObject* sender);
    void actnPage_FirstExecute(TObject* sender);
    void actnPage_PreviousExecute(TObject* sender);
    void actnPage_NextExecute(TObject* sender);
    void actnPage_LastExecute(TObject* sender);
    void actnZoom_InExecute(TObject* sender);
    void actnZoom_OutExecute(TObject* sender);
    void actnZoom_PageWidthExecute(TObject* sender);
    void actnZoom_PageExecute(TObject* sender);
    void mnuPageGotoClick(TObject* sender);

    int PageNum = 1;
    TNotifyEvent OnGenerate; // not used
    QString InputFileName;
    TStream* InputStream = nullptr; // not owned
    TNotifyEvent OnAfterPreviewPrint;
    bool FAlternateZsfLoaded = false;
    TZvSystem* ReportSystem = nullptr;
    bool FormClosed = false;
    TZvRenderPrinter* ZvRenderPrinter;
    TZvRenderPreview* ZvRenderPreview;

    TScrollBox* ScrollBox1;
    TStatusBar* sbarMain;
    TToolBar* ToolBar1;
    TEdit* PageEdit;
    TLabel* PageLabel;
    TEdit* ZoomEdit;
    TImageList* ImageList1;
    TOpenDialog* dlogOpen;
    TSaveDialog* dlogSave;
    TTimer* PreviewTimer;
    TAction* actnFile_Open;
    TAction* actnFile_Save;
    TAction* actnFile_Print;
    TAction* actnFile_Exit;
    TAction* actnPage_First;
    TAction* actnPage_Previous;
    TAction* actnPage_Next;
    TAction* actnPage_Last;
    TAction* actnZoom_In;
    TAction* actnZoom_Out;
    TAction* actnZoom_PageWidth;
    TAction* actnZoom_Page;

private:
    void ZSFPreviewPageChange(TObject* sender);
    void ZSFPreviewZoomChange(TObject* sender);
    void FillGlyphs();
    void SelectEdits();
    void ShowPage(int page, int vertPosition);
    void GoToTypedPage(const QString& text);
    void ApplyPageEdit();
    void ApplyZoomEdit();
    void SaveSnapshot(const QString& fileName);
    bool PrintAllowed() const;
    bool SaveAllowed() const;
    void PlayFirstPage(const TQPRender& checked, const QString& fileName);

    std::unique_ptr<TStream> FOwnedStream; // the stream shown, opened here or handed to OpenFile
};
