#pragma once
// QpZarv: the report project component that a printing window places on its
// form. It owns a private project manager, opens a project from a disk file
// or from a copy stored in the form, passes named text parameters to it, runs
// the active report on an output engine (a TZvSystem) and closes it again:
//
//   SetProjectFile("measure"); Open(); SetParam(...) ...; SetEngine(system);
//   Execute(); Close();
//
// Creating the first instance in a process (outside a designer) runs the
// report writer's one-time start-up: the data system and every recorded
// registration procedure.
//
// A project stored in the form is the binary property "ZarvBlobNew": a
// signed 32-bit little-endian byte count N, the time stamp as an IEEE double
// (days), then the N bytes of the project as the project manager saves it.
// The older "ZarvBlob" (an integer N, a float time stamp, N raw bytes) is
// read but never written. Counts that do not fit the bytes present are
// refused with EZarvException.
//
// Design hands the project to an external designer library; none exists for
// this program, so it ends in "Error loading ZARV.DLL".
#include "platform/graphics/Graphics.h"
#include "platform/objects/TypInfo.h"
#include "platform/rtl/DateTime.h"
#include "platform/rtl/Streams.h"
#include "report/print/QpDefine.h"

#include <QString>

#include <memory>

class TEventSet;
class TMemo;
class TStrings;
class TZarvContainerControl;
class TZarvProjectManager;
class TZarvReport;

// Records the registration procedures of every report unit under "ZVCL",
// in unit order (the model, the project, the data model, the printable
// components), for the first project component (or a tool) to run. Further
// calls do nothing.
void RecordReportWriterProcs();
// Registers TZvProject with the class registry, so that form streams can
// create it. Further calls do nothing.
void RegisterProjectComponentClass();

// A memory stream over a buffer the caller keeps: nothing is copied, nothing
// can be written, and the buffer is never freed.
class TZarvMemoryStream : public TCustomMemoryStream {
public:
    // Reads buf in place from position 0.
    void SetBuf(const void* buf, int64_t size);
    int64_t Write(const void* buffer, int64_t count) override;
};

class TZvProject : public TQpComponent {
public:
    explicit TZvProject(TComponent* owner);
    ~TZvProject() override;

    // Runs every recorded registration procedure.
    static void RegisterZarvUnits();

    bool Active() const { return FActive; }
    // true opens, false closes (when it differs).
    void SetActive(bool value);
    const QString& ProjectFile() const { return FProjectFile; }
    // A name without "." gets ".zrf"; the file is not looked at.
    void SetProjectFile(const QString& value);
    TQpComponent* Engine() const { return FEngine; }
    // Not owned; cleared when the engine goes.
    void SetEngine(TQpComponent* value);
    const QString& DLLFile() const { return FDLLFile; }
    void SetDLLFile(const QString& value) { FDLLFile = value; }
    bool LoadDesigner() const { return FLoadDesigner; }
    void SetLoadDesigner(bool value) { FLoadDesigner = value; }
    bool StoreZRF() const { return FStoreZRF; }
    void SetStoreZRF(bool value) { FStoreZRF = value; }
    TDateTime ZarvBlobDateTime() const { return FZarvBlobDateTime; }
    // The stored project; null when the form holds none.
    TMemoryStream* ZarvBlob() const { return FZarvBlob.get(); }

    // The owned project manager, or the private project of its active
    // report while that report runs.
    TZarvProjectManager* ProjMan() const;
    // Of the active report; "" without one.
    QString ReportDesc() const;
    QString ReportName() const;
    QString ReportFullName() const;

    // Loads the project file (or the copy stored in the form). A name
    // without a folder is looked up in the current folder, then in "run"
    // beside the program; EZarvException naming every place looked at
    // when none has it.
    void Open();
    void Close();
    void New();
    void Save();
    // Runs the active report on Engine; EZarvException when there is none.
    void Execute();
    void ExecuteReport(const QString& reportName);
    bool SelectReport(const QString& reportName, bool fullName);
    // Every report (its FullName or Name) with the report as the object.
    void GetReportList(TStrings& reportList, bool fullNames);
    // Only reports whose category is one of the ";"-separated categories
    // (without regard to case).
    void GetReportCategoryList(TStrings& reportList, const QString& categories, bool fullNames);
    void ReportDescToMemo(TMemo& memo);
    void SetParam(const QString& param, const QString& value);
    QString GetParam(const QString& param);
    void ClearParams();
    void LoadFromFile(const QString& fileName);
    // Leaves Active as it was.
    void LoadFromStream(TStream& stream);
    void SaveToFile(const QString& fileName);
    void SaveToStream(TStream& stream);
    void LoadZarvBlob(TStream& stream);
    void SaveZarvBlob(TStream& stream);
    void ClearZarvBlob();
    bool Design();
    bool DesignReport(const QString& reportName);

    // Events, each called with this component as sender. Handlers a form
    // stream names are called when no function is set.
    TNotifyEvent OnCreate;
    TNotifyEvent OnDestroy;
    TNotifyEvent OnDesignerSave;
    TNotifyEvent OnDesignerSaveAs;
    TNotifyEvent OnDesignerShow;
    TNotifyEvent OnBeforeOpen;
    TNotifyEvent OnAfterOpen;
    TNotifyEvent OnBeforeClose;
    TNotifyEvent OnAfterClose;
    // The handler names of the form stream, by event name ("OnCreate").
    TMethod EventMethod(const QString& name) const;
    void SetEventMethod(const QString& name, const TMethod& method);

    void DefineProperties(TFiler& filer) override;
    void Loaded() override;

    // The "ZarvBlobNew" bytes; ReadZarvBlobNew raises EZarvException for a
    // count that does not fit.
    QByteArray ZarvBlobNewBytes() const;
    void ReadZarvBlobNew(TStream& stream);

    // Called by the designer library's save callbacks.
    void LoadFromDesignerBuffer(const void* buffer, int32_t size, bool saveAs);

protected:
    void Notification(TComponent* component, TOperation operation) override;
    virtual void DoCreate();
    virtual void DoDestroy();
    virtual void DoDesignerShow();
    virtual void DoBeforeOpen();
    virtual void DoAfterOpen();
    virtual void DoBeforeClose();
    virtual void DoAfterClose();

private:
    void Fire(const TNotifyEvent& event, const char* name);
    TZarvReport* ActiveReport() const;
    void RunActiveReport();
    void ReadZarvBlob(TReader& reader);
    void CreateZarvBlob();

    bool FActive = false;
    QString FProjectFile;
    TQpComponent* FEngine = nullptr;
    QString FDLLFile;
    bool FLoadDesigner = false;
    bool FStoreZRF = false;
    std::unique_ptr<TMemoryStream> FZarvBlob;
    TDateTime FZarvBlobDateTime = 0;
    std::unique_ptr<TZarvContainerControl> FProjOwner;
    TZarvProjectManager* FProjMan = nullptr; // owned by FProjOwner
    std::unique_ptr<TEventSet> FEvents;
};
