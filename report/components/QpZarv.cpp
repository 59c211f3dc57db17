#include "report/components/QpZarv.h"

#include "platform/forms/Controls.h"
#include "platform/forms/FormsRegistration.h"
#include "platform/forms/MessageService.h"
#include "platform/forms/StdCtrls.h"
#include "platform/objects/ClassRegistry.h"
#include "platform/objects/Filer.h"
#include "platform/objects/Strings.h"
#include "platform/os/Libraries.h"
#include "platform/os/ProgramFile.h"
#include "report/components/ReportRun_p.h"
#include "report/components/ZvCsBars.h"
#include "report/components/ZvCsData.h"
#include "report/components/ZvCsDraw.h"
#include "report/components/ZvCsStd.h"
#include "report/model/ZvClass.h"
#include "report/model/ZvData.h"
#include "report/model/ZvDataLink.h"
#include "report/model/ZvDefine.h"
#include "report/model/ZvProj.h"
#include "report/model/ZvSecurity.h"
#include "report/print/QpFiler.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QtEndian>

#include <algorithm>
#include <cstring>

namespace {

constexpr const char* kEventNames[] = {"OnCreate",         "OnDestroy",      "OnDesignerSave",
                                       "OnDesignerSaveAs", "OnDesignerShow", "OnBeforeOpen",
                                       "OnAfterOpen",      "OnBeforeClose",  "OnAfterClose"};

constexpr int kZarvBlobHeaderSize = 12; // count and time stamp of "ZarvBlobNew"

QString ExpandFileName(const QString& fileName)
{
    return fileName.isEmpty() ? QDir::current().absolutePath() : QFileInfo(fileName).absoluteFilePath();
}

// Where a project file name is looked for, in order. A name without a
// folder is looked up in the current folder first, so that a user's own
// copy there wins, then in "run" beside the program, where the build puts
// the program's projects: the program prints from whatever folder it is
// started in. Any other name stands for its one expanded path.
QStringList ProjectFilePlaces(const QString& fileName)
{
    QStringList places{ExpandFileName(fileName)};
    if (!fileName.isEmpty() && QFileInfo(fileName).fileName() == fileName)
        places << QDir(ProgramFolder()).filePath(QStringLiteral("run/") + fileName);
    return places;
}

// The local modification time of a file as a date-time; 0 when it cannot
// be dated.
TDateTime FileDateTime(const QString& fileName)
{
    const QFileInfo info(fileName);
    if (fileName.isEmpty() || !info.isFile())
        return 0;
    const QDateTime stamp = info.lastModified();
    if (!stamp.isValid())
        return 0;
    const QDate date = stamp.date();
    const QTime time = stamp.time();
    TDateTime day = 0;
    TDateTime clock = 0;
    if (!TryEncodeDate(date.year(), date.month(), date.day(), day) ||
        !TryEncodeTime(time.hour(), time.minute(), time.second(), time.msec(), clock))
        return 0;
    return day + clock;
}

// ---------------------------------------------------------------------------
// The designer library: one per process, for one Design call.

using TDesignerSaveCallback = void (*)(const void* buffer, int32_t size, void* component);
using TZarvCreateProc = void (*)(const char* infoBlock, uintptr_t applicationHandle);
using TDesignerCreateProc = void (*)(void* component, TDesignerSaveCallback save,
                                     TDesignerSaveCallback saveAs);
using TDesignerLoadProc = void (*)(const void* buffer, int32_t size);
using TDesignerShowProc = void (*)();
using TDesignerSaveProc = bool (*)(void** buffer, int32_t* size);
using TDesignerFreeProc = void (*)();
using TZarvFreeProc = void (*)();

struct TDesignerLibrary {
    TLibraryHandle Handle = nullptr;
    TZarvCreateProc ZarvCreate = nullptr;
    TDesignerCreateProc DesignerCreate = nullptr;
    TDesignerLoadProc DesignerLoad = nullptr;
    TDesignerShowProc DesignerShow = nullptr;
    TDesignerSaveProc DesignerSave = nullptr;
    TDesignerFreeProc DesignerFree = nullptr;
    TZarvFreeProc ZarvFree = nullptr;
};

TDesignerLibrary& Designer()
{
    static TDesignerLibrary library;
    return library;
}

// What the library is told about the program that loads it.
const char* DesignerInfoBlock()
{
    static char block[256] = "Tessvar report designer interface 1";
    return block;
}

template <class T> bool Resolve(TLibraryHandle handle, const char* name, T& proc)
{
    proc = reinterpret_cast<T>(FindLibrarySymbol(handle, name));
    return proc != nullptr;
}

void LoadDesignerLibrary(const QString& dllFile)
{
    TDesignerLibrary& lib = Designer();
    if (lib.Handle)
        return;
    const QString name = dllFile.isEmpty() ? QStringLiteral("ZARV.DLL") : dllFile;
    TLibraryHandle handle = LoadDynamicLibrary(name);
    TDesignerLibrary loaded;
    loaded.Handle = handle;
    // A library without one of the exports is not the designer: it is let go
    // rather than called through a missing entry.
    const bool complete = handle && Resolve(handle, "ZarvCreate", loaded.ZarvCreate) &&
                          Resolve(handle, "DesignerCreate", loaded.DesignerCreate) &&
                          Resolve(handle, "DesignerLoad", loaded.DesignerLoad) &&
                          Resolve(handle, "DesignerShow", loaded.DesignerShow) &&
                          Resolve(handle, "DesignerSave", loaded.DesignerSave) &&
                          Resolve(handle, "DesignerFree", loaded.DesignerFree) &&
                          Resolve(handle, "ZarvFree", loaded.ZarvFree);
    if (!complete) {
        FreeDynamicLibrary(handle);
        RaiseError(Translate(QStringLiteral("Error loading")) + QLatin1Char(' ') + name);
    }
    lib = loaded;
    lib.ZarvCreate(DesignerInfoBlock(), 0);
}

void UnloadDesignerLibrary()
{
    TDesignerLibrary& lib = Designer();
    if (!lib.Handle)
        return;
    if (lib.ZarvFree)
        lib.ZarvFree();
    FreeDynamicLibrary(lib.Handle);
    lib = TDesignerLibrary{};
}

void DesignerCallback(const void* buffer, int32_t size, void* component, bool saveAs)
{
    auto* object = static_cast<TObject*>(component);
    if (auto* project = dynamic_cast<TZvProject*>(object))
        project->LoadFromDesignerBuffer(buffer, size, saveAs);
}

void DesignerSaveCallback(const void* buffer, int32_t size, void* component)
{
    DesignerCallback(buffer, size, component, false);
}

void DesignerSaveAsCallback(const void* buffer, int32_t size, void* component)
{
    DesignerCallback(buffer, size, component, true);
}

// Set once the first project component outside a designer has started the
// report writer.
bool ReportWriterStarted = false;

} // namespace

// ---------------------------------------------------------------------------
// Registration.

void RecordReportWriterProcs()
{
    RecordReportModelProcs();
    RecordProjectProcs();
    RecordDataFieldProcs();
    RecordDataViewProcs();
    RecordSecurityProcs();
    RecordStandardComponentProcs();
    RecordDataComponentProcs();
    RecordBarCodeProcs();
    RecordDrawingProcs();
}

void RegisterProjectComponentClass()
{
    if (FindClass(QStringLiteral("TZvProject")))
        return;
    RegisterFormsClasses();
    RegisterQpComponentClasses();
    TClassInfo& info =
        RegisterClass<TZvProject>(QStringLiteral("TZvProject"), QStringLiteral("TQpComponent"));
    PublishProperty(info, QStringLiteral("DLLFile"), TypeInfoString(), &TZvProject::DLLFile,
                    &TZvProject::SetDLLFile);
    PublishProperty(info, QStringLiteral("Engine"), TypeInfoClass(QStringLiteral("TQpComponent")),
                    &TZvProject::Engine, &TZvProject::SetEngine);
    PublishProperty(info, QStringLiteral("LoadDesigner"), TypeInfoBoolean(), &TZvProject::LoadDesigner,
                    &TZvProject::SetLoadDesigner);
    PublishProperty(info, QStringLiteral("ProjectFile"), TypeInfoString(), &TZvProject::ProjectFile,
                    &TZvProject::SetProjectFile);
    PublishProperty(info, QStringLiteral("StoreZRF"), TypeInfoBoolean(), &TZvProject::StoreZRF,
                    &TZvProject::SetStoreZRF)
        .WithStored([](const TObject&) { return false; });
    for (const char* event : kEventNames) {
        const QString name = QString::fromLatin1(event);
        TPropInfo prop;
        prop.Name = name;
        prop.Type = &TypeInfoMethod();
        prop.GetMethod = [name](const TObject& o) {
            return dynamic_cast<const TZvProject&>(o).EventMethod(name);
        };
        prop.SetMethod = [name](TObject& o, const TMethod& method) {
            dynamic_cast<TZvProject&>(o).SetEventMethod(name, method);
        };
        info.AddProperty(std::move(prop));
    }
}

// ---------------------------------------------------------------------------
// TZarvMemoryStream.

void TZarvMemoryStream::SetBuf(const void* buf, int64_t size)
{
    FData = size > 0 && buf ? QByteArray::fromRawData(static_cast<const char*>(buf), qsizetype(size))
                            : QByteArray();
    FPosition = 0;
}

int64_t TZarvMemoryStream::Write(const void*, int64_t)
{
    return 0;
}

// ---------------------------------------------------------------------------
// TZvProject.

TZvProject::TZvProject(TComponent* owner)
    : TQpComponent(owner), FProjOwner(std::make_unique<TZarvContainerControl>(nullptr)),
      FEvents(std::make_unique<TEventSet>())
{
    FProjMan = new TZarvProjectManager(FProjOwner.get());
    FProjMan->SetName(QStringLiteral("ZarvProject"));
    if (!ComponentState().Contains(TComponentStateFlag::csDesigning) && !ReportWriterStarted) {
        StartReportWriter();
        RegisterZarvUnits();
        InitStaticDataLinks();
        ReportWriterStarted = true;
    }
}

TZvProject::~TZvProject()
{
    try {
        Close();
    } catch (...) {
        // A project that fails to unload is deleted with its manager below.
    }
    DoDestroy();
    ClearZarvBlob();
    delete FProjMan;
    FProjMan = nullptr;
    FProjOwner.reset();
}

void TZvProject::RegisterZarvUnits()
{
    RunZarvProcs(QStringLiteral("*"));
}

void TZvProject::SetActive(bool value)
{
    if (value == FActive)
        return;
    if (value)
        Open();
    else
        Close();
}

void TZvProject::SetProjectFile(const QString& value)
{
    FProjectFile =
        !value.isEmpty() && !value.contains(QLatin1Char('.')) ? value + QStringLiteral(".zrf") : value;
}

void TZvProject::SetEngine(TQpComponent* value)
{
    ReferenceComponent(static_cast<TComponent*>(this), FEngine, value);
}

void TZvProject::Notification(TComponent* component, TOperation operation)
{
    TQpComponent::Notification(component, operation);
    if (operation == TOperation::opRemove && component == FEngine)
        FEngine = nullptr;
}

TZarvProjectManager* TZvProject::ProjMan() const
{
    if (TZarvReport* report = FProjMan->ActiveReport()) {
        if (TZarvProjectManager* exec = ExecProjectOf(report))
            return exec;
    }
    return FProjMan;
}

TZarvReport* TZvProject::ActiveReport() const
{
    return ProjMan()->ActiveReport();
}

QString TZvProject::ReportDesc() const
{
    TZarvReport* report = ActiveReport();
    return report ? report->Description() : QString();
}

QString TZvProject::ReportName() const
{
    TZarvReport* report = ActiveReport();
    return report ? report->Name() : QString();
}

QString TZvProject::ReportFullName() const
{
    TZarvReport* report = ActiveReport();
    return report ? report->FullName() : QString();
}

void TZvProject::Open()
{
    if (FActive)
        return;
    DoBeforeOpen();
    const QStringList places = ProjectFilePlaces(FProjectFile);
    const auto found = std::find_if(places.begin(), places.end(),
                                    [](const QString& place) { return QFileInfo(place).isFile(); });
    const QString path = FProjectFile.isEmpty() || found == places.end() ? QString() : *found;
    const TDateTime fileDate = FileDateTime(path);
    bool fromDisk = !FZarvBlob;
    if (FZarvBlob && !path.isEmpty() && fileDate > FZarvBlobDateTime) {
        const QString question =
            Translate(
                QStringLiteral("The report project stored in the executable is older than the disk file")) +
            QStringLiteral("\r\"") + path + QStringLiteral("\"\r") +
            Translate(QStringLiteral("Do you want to use the file on disk?"));
        fromDisk = ShowMessageBox(question, Translate(QStringLiteral("Warning")), TMsgIcon::Warning,
                                  TMsgButtons::YesNo) == IDYES;
    }
    // A closed project may still hold one loaded by LoadFromStream; the
    // manager would add the opened one to it.
    if (fromDisk) {
        if (path.isEmpty()) {
            QString message = Translate(QStringLiteral("The following reporting project does not exist:"));
            for (const QString& place : places)
                message += QStringLiteral("\r\"") + place + QLatin1Char('"');
            ZarvError(message);
        }
        ProjMan()->Unload();
        ProjMan()->SetFileName(path);
        ProjMan()->Load();
    } else {
        FZarvBlob->SetPosition(0);
        ProjMan()->Unload();
        ProjMan()->LoadFromStream(*FZarvBlob);
    }
    FActive = true;
    DoAfterOpen();
}

void TZvProject::Close()
{
    if (!FActive)
        return;
    DoBeforeClose();
    ProjMan()->Unload();
    FActive = false;
    DoAfterClose();
}

void TZvProject::New()
{
    const bool wasOpen = FActive;
    if (wasOpen)
        ProjMan()->Unload();
    else
        DoBeforeOpen();
    ProjMan()->New();
    if (!wasOpen) {
        FActive = true;
        DoAfterOpen();
    }
}

void TZvProject::Save()
{
    if (!FActive)
        return;
    ProjMan()->SetFileName(FProjectFile);
    ProjMan()->Save();
}

void TZvProject::Execute()
{
    Open();
    RunActiveReport();
}

// The report is looked up afresh for each step: running it makes a private
// project that ProjMan answers meanwhile.
void TZvProject::RunActiveReport()
{
    if (!ActiveReport())
        ZarvError(Translate(QStringLiteral("The reporting project has no active report to execute.")));
    ActiveReport()->Show();
    try {
        ExecuteZarvReport(ActiveReport(), FEngine);
    } catch (const EZsfLength&) {
        // A damaged project is closed, as when a length is refused where
        // the project is read.
        if (TZarvReport* report = ActiveReport())
            report->Hide();
        try {
            Close();
        } catch (...) {
            // The refused length is the error to report.
        }
        throw;
    } catch (...) {
        if (TZarvReport* report = ActiveReport())
            report->Hide();
        throw;
    }
    if (TZarvReport* report = ActiveReport())
        report->Hide();
}

void TZvProject::ExecuteReport(const QString& reportName)
{
    Open();
    if (SelectReport(reportName, false))
        RunActiveReport();
}

bool TZvProject::SelectReport(const QString& reportName, bool fullName)
{
    Open();
    TZarvReport* report = ProjMan()->FindReport(reportName, fullName);
    if (report)
        ProjMan()->ActivateReport(report);
    return report != nullptr;
}

void TZvProject::GetReportList(TStrings& reportList, bool fullNames)
{
    reportList.Clear();
    for (TZarvReport* report : ProjMan()->ReportList())
        reportList.AddObject(fullNames ? report->FullName() : report->Name(), report);
}

void TZvProject::GetReportCategoryList(TStrings& reportList, const QString& categories, bool fullNames)
{
    const QLocale locale = QLocale::system();
    const QString key = locale.toUpper(QLatin1Char(';') + categories + QLatin1Char(';'));
    reportList.Clear();
    for (TZarvReport* report : ProjMan()->ReportList()) {
        const QString category = locale.toUpper(QLatin1Char(';') + report->Category() + QLatin1Char(';'));
        if (key.contains(category))
            reportList.AddObject(fullNames ? report->FullName() : report->Name(), report);
    }
}

void TZvProject::ReportDescToMemo(TMemo& memo)
{
    if (TZarvReport* report = ActiveReport())
        memo.SetText(report->Description());
}

void TZvProject::SetParam(const QString& param, const QString& value)
{
    ProjMan()->SetParam(param, value);
}

QString TZvProject::GetParam(const QString& param)
{
    return ProjMan()->GetParam(param);
}

void TZvProject::ClearParams()
{
    ProjMan()->ClearParams();
}

void TZvProject::LoadFromFile(const QString& fileName)
{
    TMemoryStream stream;
    stream.LoadFromFile(fileName);
    stream.SetPosition(0);
    LoadFromStream(stream);
}

void TZvProject::LoadFromStream(TStream& stream)
{
    ProjMan()->Unload();
    ProjMan()->LoadFromStream(stream);
}

void TZvProject::SaveToFile(const QString& fileName)
{
    TMemoryStream stream;
    SaveToStream(stream);
    stream.SaveToFile(fileName);
}

void TZvProject::SaveToStream(TStream& stream)
{
    ProjMan()->SaveToStream(stream);
}

void TZvProject::CreateZarvBlob()
{
    if (FZarvBlob)
        FZarvBlob->Clear();
    else
        FZarvBlob = std::make_unique<TMemoryStream>();
}

void TZvProject::LoadZarvBlob(TStream& stream)
{
    CreateZarvBlob();
    FZarvBlob->CopyFrom(stream, 0);
    FZarvBlobDateTime = Now();
}

void TZvProject::SaveZarvBlob(TStream& stream)
{
    if (FZarvBlob)
        FZarvBlob->SaveToStream(stream);
}

void TZvProject::ClearZarvBlob()
{
    FZarvBlob.reset();
    FZarvBlobDateTime = 0;
}

// ---------------------------------------------------------------------------
// The project stored in the form.

void TZvProject::DefineProperties(TFiler& filer)
{
    TQpComponent::DefineProperties(filer);
    filer.DefineProperty(
        QStringLiteral("ZarvBlob"), [this](TReader& reader) { ReadZarvBlob(reader); }, {}, false);
    filer.DefineBinaryProperty(
        QStringLiteral("ZarvBlobNew"), [this](TStream& stream) { ReadZarvBlobNew(stream); },
        [this](TStream& stream) { stream.WriteBytes(ZarvBlobNewBytes()); }, FZarvBlob != nullptr);
}

void TZvProject::ReadZarvBlob(TReader& reader)
{
    const int32_t count = reader.ReadInteger();
    const double stamp = reader.ReadFloat();
    if (count < 0)
        ZarvError(Translate(QStringLiteral("The stored report project has a negative size: %1")).arg(count));
    const QByteArray bytes = reader.ReadRawBytes(count);
    CreateZarvBlob();
    FZarvBlob->WriteBytes(bytes);
    FZarvBlob->SetPosition(0);
    FZarvBlobDateTime = stamp;
}

QByteArray TZvProject::ZarvBlobNewBytes() const
{
    QByteArray bytes(kZarvBlobHeaderSize, '\0');
    const QByteArray project = FZarvBlob ? FZarvBlob->Bytes() : QByteArray();
    qToLittleEndian<int32_t>(int32_t(project.size()), bytes.data());
    qToLittleEndian<double>(FZarvBlobDateTime, bytes.data() + 4);
    return bytes + project;
}

void TZvProject::ReadZarvBlobNew(TStream& stream)
{
    const int64_t available = stream.Size() - stream.Position();
    if (available < kZarvBlobHeaderSize)
        ZarvError(Translate(QStringLiteral(
                                "The stored report project is truncated: %1 bytes, at least %2 expected"))
                      .arg(available)
                      .arg(kZarvBlobHeaderSize));
    // ReadBytes gives the whole header or throws. Read through a view:
    // QByteArray::constData() answers an array without storage with a
    // one-byte static, and the optimiser, not knowing the header's size,
    // reports the reads as reads past that byte (-Warray-bounds at -O2, a
    // false alarm). A view holds the array's own pointer.
    const QByteArray bytes = stream.ReadBytes(kZarvBlobHeaderSize);
    const QByteArrayView header(bytes);
    const int32_t count = qFromLittleEndian<int32_t>(header.constData());
    const double stamp = qFromLittleEndian<double>(header.constData() + 4);
    if (count < 0 || count > available - kZarvBlobHeaderSize)
        ZarvError(Translate(QStringLiteral("The stored report project claims %1 bytes, but %2 are present"))
                      .arg(count)
                      .arg(available - kZarvBlobHeaderSize));
    const QByteArray project = stream.ReadBytes(count);
    CreateZarvBlob();
    FZarvBlob->WriteBytes(project);
    FZarvBlob->SetPosition(0);
    FZarvBlobDateTime = stamp;
}

// The inherited step only ends the loading state, which a component left
// "loading" for good would keep.
void TZvProject::Loaded()
{
    TQpComponent::Loaded();
    DoCreate();
}

// ---------------------------------------------------------------------------
// Designer.

bool TZvProject::Design()
{
    LoadDesignerLibrary(FDLLFile);
    bool saved = false;
    try {
        Open();
        TDesignerLibrary& lib = Designer();
        const bool save = bool(OnDesignerSave) || FEvents->IsAssigned(QStringLiteral("OnDesignerSave"));
        const bool saveAs = bool(OnDesignerSaveAs) || FEvents->IsAssigned(QStringLiteral("OnDesignerSaveAs"));
        if (save || saveAs)
            lib.DesignerCreate(static_cast<TObject*>(this), save ? &DesignerSaveCallback : nullptr,
                               saveAs ? &DesignerSaveAsCallback : nullptr);
        else
            lib.DesignerCreate(nullptr, nullptr, nullptr);
        {
            TMemoryStream stream;
            const bool keep = ProjMan()->StreamParamValues();
            ProjMan()->SetStreamParamValues(true);
            try {
                ProjMan()->SaveToStream(stream);
            } catch (...) {
                ProjMan()->SetStreamParamValues(keep);
                throw;
            }
            ProjMan()->SetStreamParamValues(keep);
            lib.DesignerLoad(stream.Memory(), int32_t(stream.Size()));
        }
        DoDesignerShow();
        lib.DesignerShow();
        void* buffer = nullptr;
        int32_t size = 0;
        saved = lib.DesignerSave(&buffer, &size);
        if (saved) {
            TZarvMemoryStream stream;
            stream.SetBuf(buffer, size);
            ProjMan()->Unload();
            ProjMan()->LoadFromStream(stream);
        }
        lib.DesignerFree();
    } catch (...) {
        UnloadDesignerLibrary();
        throw;
    }
    UnloadDesignerLibrary();
    return saved;
}

bool TZvProject::DesignReport(const QString& reportName)
{
    SelectReport(reportName, false);
    return Design();
}

void TZvProject::LoadFromDesignerBuffer(const void* buffer, int32_t size, bool saveAs)
{
    TZarvMemoryStream stream;
    stream.SetBuf(buffer, size);
    LoadFromStream(stream);
    Fire(saveAs ? OnDesignerSaveAs : OnDesignerSave, saveAs ? "OnDesignerSaveAs" : "OnDesignerSave");
}

// ---------------------------------------------------------------------------
// Events.

TMethod TZvProject::EventMethod(const QString& name) const
{
    return FEvents->Get(name);
}

void TZvProject::SetEventMethod(const QString& name, const TMethod& method)
{
    FEvents->Set(name, method, TEventKind::Notify);
}

void TZvProject::Fire(const TNotifyEvent& event, const char* name)
{
    if (event)
        event(this);
    else
        CallNotifyEvent(FEvents->Get(QString::fromLatin1(name)), this);
}

void TZvProject::DoCreate()
{
    Fire(OnCreate, "OnCreate");
}

void TZvProject::DoDestroy()
{
    Fire(OnDestroy, "OnDestroy");
}

void TZvProject::DoDesignerShow()
{
    Fire(OnDesignerShow, "OnDesignerShow");
}

void TZvProject::DoBeforeOpen()
{
    Fire(OnBeforeOpen, "OnBeforeOpen");
}

void TZvProject::DoAfterOpen()
{
    Fire(OnAfterOpen, "OnAfterOpen");
}

void TZvProject::DoBeforeClose()
{
    Fire(OnBeforeClose, "OnBeforeClose");
}

void TZvProject::DoAfterClose()
{
    Fire(OnAfterClose, "OnAfterClose");
}
