#include "report/model/ZvProj.h"

#include "platform/forms/Forms.h"
#include "platform/forms/MessageService.h"
#include "platform/objects/ClassRegistry.h"
#include "platform/objects/TypInfo.h"
#include "platform/rtl/FileErrors.h"
#include "platform/rtl/SafeSave.h"
#include "platform/rtl/Streams.h"
#include "platform/rtl/StringRoutines.h"
#include "report/model/ZvData.h"
#include "report/model/ZvDataField.h"
#include "report/model/ZvDefine.h"
#include "report/model/ZvDirectDataView.h"
#include "report/model/ZvSecurity.h"
#include "report/model/ZvUtil.h"
#include "report/print/QpBase.h"
#include "report/print/QpDevice.h"
#include "report/print/QpFiler.h"
#include "report/print/QpSystem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

constexpr int32_t kProjectVersion = 110000;
// Project files up to this size are read into memory before loading.
constexpr int64_t kProjectReadInOnePiece = int64_t(64) << 20;
constexpr int32_t kVersionLastActivePage = 30004;
constexpr int32_t kVersionModules = 40005;
constexpr int32_t kVersionUnicode = 80000;

constexpr uint8_t kEntryDataView = 2;
constexpr uint8_t kEntryGlobalPage = 3;
constexpr uint8_t kEntryReport = 4;
constexpr uint8_t kEntryDataObject = 6;

QString& ModuleFolderOverride()
{
    static QString folder;
    return folder;
}

// Whether a pointer held in a list or field is the component that goes. The
// component is half destroyed when this is asked, so it is compared as an
// address only.
bool SameObject(const void* held, const TComponent* component)
{
    return held == static_cast<const void*>(component);
}

template <class T> void EraseObject(std::vector<T*>& list, const TComponent* component)
{
    list.erase(
        std::remove_if(list.begin(), list.end(), [component](T* p) { return SameObject(p, component); }),
        list.end());
}

template <class T> bool Contains(const std::vector<T*>& list, const void* object)
{
    return std::any_of(list.begin(), list.end(),
                       [object](T* p) { return static_cast<const void*>(p) == object; });
}

QString ChangeFileExt(const QString& fileName, const QString& ext)
{
    const qsizetype slash = fileName.lastIndexOf(u'/');
    const qsizetype dot = fileName.lastIndexOf(u'.');
    return (dot > slash ? fileName.left(dot) : fileName) + ext;
}

QString BaseNameOfClass(const QString& className)
{
    QString base = className;
    if (base.startsWith(u'T'))
        base.remove(0, 1);
    if (base.toUpper().startsWith(QLatin1String("ZARV")))
        base.remove(0, 4);
    return base;
}

QString Quoted(const QString& text)
{
    QString result = text;
    result.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + result + QLatin1Char('"');
}

// A double-quoted text at pos (doubled quotes give one); empty when no quote
// starts there. pos ends after the closing quote.
QString TakeQuoted(const QString& text, qsizetype& pos)
{
    QString result;
    if (pos >= text.size() || text.at(pos) != u'"')
        return result;
    ++pos;
    while (pos < text.size()) {
        const QChar c = text.at(pos++);
        if (c != u'"') {
            result += c;
        } else if (pos < text.size() && text.at(pos) == u'"') {
            result += c;
            ++pos;
        } else {
            break;
        }
    }
    return result;
}

// The engine's duplex mode of a report's.
TDuplex EngineDuplex(TZarvPrinterDuplex duplex)
{
    switch (duplex) {
    case TZarvPrinterDuplex::pdHorizontal:
        return TDuplex::dupHorizontal;
    case TZarvPrinterDuplex::pdVertical:
        return TDuplex::dupVertical;
    default:
        return TDuplex::dupSimplex;
    }
}

void ShowPlainMessage(const QString& text)
{
    ShowMessageBox(text, QCoreApplication::applicationName(), TMsgIcon::None, TMsgButtons::OK);
}

const TTypeInfo& CollateType()
{
    static const TTypeInfo type =
        MakeEnumType(QStringLiteral("TZarvPrinterCollate"),
                     {QStringLiteral("pcFalse"), QStringLiteral("pcTrue"), QStringLiteral("pcDefault")});
    return type;
}

const TTypeInfo& DuplexType()
{
    static const TTypeInfo type = MakeEnumType(QStringLiteral("TZarvPrinterDuplex"),
                                               {QStringLiteral("pdSimplex"), QStringLiteral("pdHorizontal"),
                                                QStringLiteral("pdVertical"), QStringLiteral("pdDefault")});
    return type;
}

const TTypeInfo& ResolutionType()
{
    static const TTypeInfo type =
        MakeEnumType(QStringLiteral("TZarvPrinterResolution"),
                     {QStringLiteral("prDraft"), QStringLiteral("prLow"), QStringLiteral("prMedium"),
                      QStringLiteral("prHigh"), QStringLiteral("prDefault")});
    return type;
}

const TTypeInfo& PrintUnitsType()
{
    static const TTypeInfo type =
        MakeEnumType(QStringLiteral("TPrintUnits"),
                     {QStringLiteral("unInch"), QStringLiteral("unMM"), QStringLiteral("unCM"),
                      QStringLiteral("unPoint"), QStringLiteral("unUser")});
    return type;
}

// The security objects come with their own unit; until then no object of
// their class exists and the property holds nothing.
const TTypeInfo& SecurityType()
{
    return TypeInfoClass(QStringLiteral("TZarvBaseSecurity"));
}

void RegisterProjectClasses()
{
    if (FindClass(QStringLiteral("TZarvReport")))
        return;
    TClassInfo& report =
        RegisterClass<TZarvReport>(QStringLiteral("TZarvReport"), QStringLiteral("TZarvProjectItem"));
    PublishProperty(report, QStringLiteral("AlwaysGenerate"), TypeInfoBoolean(), &TZarvReport::AlwaysGenerate,
                    &TZarvReport::SetAlwaysGenerate)
        .NoDefault();
    PublishProperty(report, QStringLiteral("Category"), TypeInfoString(), &TZarvReport::Category,
                    &TZarvReport::SetCategory);
    PublishProperty(report, QStringLiteral("Copies"), TypeInfoInteger(), &TZarvReport::Copies,
                    &TZarvReport::SetCopies)
        .NoDefault();
    PublishProperty(report, QStringLiteral("FirstPage"), TypeInfoClass(QStringLiteral("TZarvPage")),
                    &TZarvReport::FirstPage, &TZarvReport::SetFirstPage);
    PublishProperty(report, QStringLiteral("PageList"), TypeInfoClass(QStringLiteral("TZarvComponentList")),
                    &TZarvReport::PageList, &TZarvReport::SetPageList);
    PublishProperty(report, QStringLiteral("Collate"), CollateType(), &TZarvReport::Collate,
                    &TZarvReport::SetCollate)
        .NoDefault();
    PublishProperty(report, QStringLiteral("Duplex"), DuplexType(), &TZarvReport::Duplex,
                    &TZarvReport::SetDuplex)
        .NoDefault();
    PublishProperty(report, QStringLiteral("MaxPages"), TypeInfoInteger(), &TZarvReport::MaxPages,
                    &TZarvReport::SetMaxPages)
        .NoDefault();
    PublishProperty(report, QStringLiteral("Parameters"), TypeInfoClass(QStringLiteral("TStrings")),
                    &TZarvProjectItem::Parameters, &TZarvProjectItem::SetParameters);
    PublishProperty(report, QStringLiteral("PIVars"), TypeInfoClass(QStringLiteral("TStrings")),
                    &TZarvProjectItem::PIVars, &TZarvProjectItem::SetPIVars);
    PublishProperty(report, QStringLiteral("Printer"), TypeInfoString(), &TZarvReport::Printer,
                    &TZarvReport::SetPrinter);
    PublishProperty(report, QStringLiteral("Resolution"), ResolutionType(), &TZarvReport::Resolution,
                    &TZarvReport::SetResolution)
        .NoDefault();
    PublishProperty(report, QStringLiteral("SecurityControl"), SecurityType(), &TZarvReport::SecurityControl,
                    &TZarvReport::SetSecurityControl);

    TClassInfo& manager = RegisterClass<TZarvProjectManager>(QStringLiteral("TZarvProjectManager"),
                                                             QStringLiteral("TZarvProjectItem"));
    PublishProperty(manager, QStringLiteral("AdminPassword"), TypeInfoString(),
                    &TZarvProjectManager::AdminPassword, &TZarvProjectManager::SetAdminPassword);
    PublishProperty(manager, QStringLiteral("Categories"), TypeInfoClass(QStringLiteral("TStrings")),
                    &TZarvProjectManager::Categories, &TZarvProjectManager::SetCategories);
    PublishProperty(manager, QStringLiteral("Parameters"), TypeInfoClass(QStringLiteral("TStrings")),
                    &TZarvProjectItem::Parameters, &TZarvProjectItem::SetParameters);
    PublishProperty(manager, QStringLiteral("PIVars"), TypeInfoClass(QStringLiteral("TStrings")),
                    &TZarvProjectItem::PIVars, &TZarvProjectItem::SetPIVars);
    PublishProperty(manager, QStringLiteral("SecurityControl"), SecurityType(),
                    &TZarvProjectManager::SecurityControl, &TZarvProjectManager::SetSecurityControl);
    // The unit follows from the factor, which alone is stored.
    PublishProperty(manager, QStringLiteral("Units"), PrintUnitsType(), &TZarvProjectManager::Units,
                    &TZarvProjectManager::SetUnits)
        .WithStored([](const TObject&) { return false; });
    PublishProperty(manager, QStringLiteral("UnitsFactor"), TypeInfoDouble(),
                    &TZarvProjectManager::UnitsFactor, &TZarvProjectManager::SetUnitsFactor);

    const std::vector<const TClassInfo*> classes = {&report, &manager};
    RegisterZarvClasses(QString(), classes);
    RegisterZarvModuleClasses(QStringLiteral("ZvProj"), classes);
}

} // namespace

void RecordProjectProcs()
{
    static bool recorded = false;
    if (recorded)
        return;
    recorded = true;
    RecordReportModelProcs();
    RegisterZarvProc(QStringLiteral("ZVCL"), &RegisterProjectClasses);
    RecordDataFieldProcs();
    RecordDataViewProcs();
    RecordSecurityProcs();
}

namespace {

// The backup holds the old bytes of the file a save replaces (the end of a
// chain of links), under the name the user saved to with the extension
// ".~zr": a second name of that file where the folder allows, else a copy
// with that file's owner, group, access ACL and mode (as far as the saver
// may give them), so the backup is never more open than the project was,
// whatever stood at its name before. It replaces whatever stood at that name
// in one rename, a link there included (the file a link leads to is never
// written), so a backup that cannot be made leaves the previous one as it
// was; and it does not stop the save. In a sticky folder a backup name that
// another user holds (a link included) is not replaced: the save keeps no
// backup then, and still removes what killed saves left for that name. A
// project saved under its ".~zr" name is its own backup: that name, a link
// or not, is only ever the saved file.
void KeepBackup(const QString& fileName, const QString& target, const QString& backupName)
{
    if (backupName == fileName)
        return;
    try {
        KeepFileAs(target, backupName);
    } catch (const EFileSaveError&) {
    }
}

} // namespace

QString ModuleFileFolder()
{
    return ModuleFolderOverride().isEmpty() ? QCoreApplication::applicationDirPath() : ModuleFolderOverride();
}

void SetModuleFileFolder(const QString& folder)
{
    ModuleFolderOverride() = folder;
}

// ---------------------------------------------------------------------------
// TZarvModuleManager.

TZarvModuleManager::TZarvModuleManager(TZarvProjectManager* projectManager) : FProjectManager(projectManager)
{
}

TZarvModuleManager::~TZarvModuleManager() = default;

TZarvModule* TZarvModuleManager::GetZarvModule(int index) const
{
    return index >= 0 && index < ModuleCount() ? FModules[size_t(index)].get() : nullptr;
}

TZarvModule* TZarvModuleManager::FindModule(const QString& moduleName) const
{
    for (const auto& module : FModules) {
        if (SameTextLocale(module->ModuleName(), moduleName))
            return module.get();
    }
    return nullptr;
}

TZarvModule* TZarvModuleManager::GetModule(const QString& moduleName)
{
    if (TZarvModule* module = FindModule(moduleName))
        return module;
    return GetZarvModule(LoadModuleFile(moduleName));
}

// Module names become file names: only identifiers are looked for, so a name
// from a project file never leaves the module folder. The name is matched
// without regard to case, as the files were named on a system that ignores
// it.
QString TZarvModuleManager::ModuleFileName(const QString& moduleName) const
{
    if (!IsValidIdent(moduleName))
        return QString();
    const QDir folder(ModuleFileFolder());
    const QString wanted = moduleName + QStringLiteral(".ZVC");
    if (QFileInfo(folder.filePath(wanted)).isFile())
        return folder.filePath(wanted);
    const QStringList files = folder.entryList(QDir::Files);
    for (const QString& file : files) {
        if (file.compare(wanted, Qt::CaseInsensitive) == 0)
            return folder.filePath(file);
    }
    return QString();
}

// A module file that cannot be read names itself in the error.
TZarvModule* TZarvModuleManager::ReadModuleFile(const QString& fileName)
{
    std::unique_ptr<TZarvModule> module;
    try {
        TMemoryStream stream;
        stream.LoadFromFile(fileName);
        stream.SetPosition(0);
        module.reset(LoadModuleHook(&stream, FProjectManager, nullptr));
    } catch (Exception& error) {
        AddFileName(error, fileName);
        throw;
    }
    if (!module)
        return nullptr;
    TZarvModule* raw = module.get();
    FModules.push_back(std::move(module));
    BindModuleExternalsHook(raw);
    return raw;
}

int TZarvModuleManager::LoadModuleFile(const QString& moduleName)
{
    const QString couldNot =
        Translate(QStringLiteral("Could not load module [%1]").arg(VisibleText(moduleName)));
    if (!IsValidIdent(moduleName))
        RaiseError(couldNot);
    QString fileName = ModuleFileName(moduleName);
    if (fileName.isEmpty())
        fileName = QDir(ModuleFileFolder()).filePath(moduleName + QStringLiteral(".ZVC"));
    if (!ReadModuleFile(fileName))
        RaiseError(couldNot);
    return ModuleCount() - 1;
}

void TZarvModuleManager::SaveModules(TStreamHelper& streamHelper) const
{
    streamHelper.WriteIndex(ModuleCount());
    for (const auto& module : FModules) {
        streamHelper.WriteString(module->ModuleName());
        streamHelper.StartWriteBlock();
        module->SaveToStream(streamHelper.Stream());
        streamHelper.FinishWriteBlock();
    }
}

// Without a script engine no module is made: the stored blocks are passed
// over, and only asking for a module by name fails.
void TZarvModuleManager::LoadModules(TStreamHelper& streamHelper)
{
    const int32_t count = streamHelper.ReadIndex();
    for (int32_t i = 0; i < count; ++i) {
        const QString name = streamHelper.ReadString();
        const QString fileName = ModuleFileName(name);
        if (!fileName.isEmpty()) {
            streamHelper.SkipBlock();
            if (!FindModule(name))
                ReadModuleFile(fileName);
            continue;
        }
        streamHelper.StartReadBlock();
        std::unique_ptr<TZarvModule> module(LoadModuleHook(&streamHelper.Stream(), FProjectManager, nullptr));
        streamHelper.FinishReadBlock();
        if (module)
            AddModule(std::move(module));
    }
}

void TZarvModuleManager::AddModule(std::unique_ptr<TZarvModule> module)
{
    TZarvModule* raw = module.get();
    const auto same = std::find_if(FModules.begin(), FModules.end(), [raw](const auto& held) {
        return SameTextLocale(held->ModuleName(), raw->ModuleName());
    });
    if (same != FModules.end())
        *same = std::move(module);
    else
        FModules.push_back(std::move(module));
    BindModuleExternalsHook(raw);
}

void TZarvModuleManager::ReleaseModule(TZarvModule* module)
{
    if (!module)
        return;
    for (const auto& held : FModules)
        held->Changing(module, nullptr);
    std::vector<TComponent*> pending{FProjectManager};
    while (!pending.empty()) {
        TComponent* component = pending.back();
        pending.pop_back();
        auto* item = dynamic_cast<TZarvProjectItem*>(component);
        if (!item)
            continue;
        if (TZarvModule* own = item->Module())
            own->Changing(module, nullptr);
        for (int i = 0; i < item->ComponentCount(); ++i)
            pending.push_back(item->Components(i));
    }
}

void TZarvModuleManager::TruncateTo(int count)
{
    if (count >= 0 && count < ModuleCount())
        FModules.resize(size_t(count));
}

// ---------------------------------------------------------------------------
// TZarvReport.

TZarvReport::TZarvReport(TComponent* owner) : TZarvProjectItem(owner)
{
    SetStructure(Page(), this, Project());
}

TZarvReport::~TZarvReport()
{
    FLoadedList.clear();
    FPageList.reset();
}

TZarvProjectManager* TZarvReport::ProjectManager() const
{
    return dynamic_cast<TZarvProjectManager*>(Project());
}

std::vector<TZarvPage*> TZarvReport::OwnPages() const
{
    std::vector<TZarvPage*> pages;
    for (int i = 0; i < GetChildCount(); ++i) {
        if (auto* page = dynamic_cast<TZarvPage*>(GetChild(i)))
            pages.push_back(page);
    }
    return pages;
}

TZarvPage* TZarvReport::NewPage()
{
    auto* page = new TZarvPage(this);
    try {
        page->SetParent(this);
        TZarvProjectManager* project = ProjectManager();
        page->SetName(project ? project->GetUniqueName(QStringLiteral("Page"), this, false)
                              : QStringLiteral("Page1"));
    } catch (...) {
        delete page;
        throw;
    }
    LoadPage(page);
    if (TZarvProjectManager* project = ProjectManager())
        project->MarkChanged();
    return page;
}

void TZarvReport::LoadPage(TZarvPage* page)
{
    if (!page)
        return;
    if (!Contains(FLoadedList, page)) {
        page->FreeNotification(this);
        FLoadedList.push_back(page);
    }
    page->Open();
}

void TZarvReport::UnloadPage(TZarvPage* page)
{
    if (!page)
        return;
    page->Close();
    FLoadedList.erase(std::remove(FLoadedList.begin(), FLoadedList.end(), page), FLoadedList.end());
}

TZarvPage* TZarvReport::LoadedPage(int index) const
{
    return index >= 0 && index < LoadedPageCount() ? FLoadedList[size_t(index)] : nullptr;
}

void TZarvReport::ProcessLoaded()
{
    if (!FFixUpList)
        return;
    const std::unique_ptr<QStringList> names = std::move(FFixUpList);
    TZarvProjectManager* project = ProjectManager();
    if (!project)
        return;
    for (const QString& name : *names) {
        auto* page = dynamic_cast<TZarvPage*>(project->FindZarvComponent(name, this));
        if (page && !Contains(FLoadedList, page)) {
            page->FreeNotification(this);
            FLoadedList.push_back(page);
        }
    }
}

void TZarvReport::Open()
{
    if (!Active()) {
        TZarvProjectItem::Open();
        for (TZarvPage* page : OwnPages())
            page->Open();
        for (TZarvPage* page : std::vector<TZarvPage*>(FLoadedList)) {
            if (page->Global())
                page->Open();
        }
    }
    if (TZarvProjectManager* project = ProjectManager())
        project->FreeForwardRefs();
}

void TZarvReport::Close()
{
    if (!Active())
        return;
    TZarvProjectItem::Close();
    for (TZarvPage* page : std::vector<TZarvPage*>(FLoadedList))
        page->Close();
}

void TZarvReport::SaveToStreamHelper(TStreamHelper& streamHelper)
{
    streamHelper.WriteString(FLastActivePage);
    const std::vector<TZarvPage*> pages = OwnPages();
    streamHelper.WriteIndex(int32_t(pages.size()));
    for (TZarvPage* page : pages) {
        streamHelper.WriteByte(0);
        streamHelper.WriteString(page->Name());
    }
    streamHelper.WriteIndex(LoadedPageCount());
    for (TZarvPage* page : FLoadedList)
        streamHelper.WriteString(page->Name());
    TZarvWriter writer(streamHelper);
    writer.WriteComponent(this, false);
    for (TZarvPage* page : pages) {
        streamHelper.StartWriteBlock();
        page->SaveToStreamHelper(streamHelper);
        streamHelper.FinishWriteBlock();
    }
}

void TZarvReport::LoadFromStreamHelper(TStreamHelper& streamHelper)
{
    TZarvProjectManager* project = ProjectManager();
    const int32_t version = project && project->Version() > 0 ? project->Version() : kProjectVersion;
    if (version >= kVersionLastActivePage)
        FLastActivePage = streamHelper.ReadString();
    FFixUpList = std::make_unique<QStringList>();

    std::vector<TZarvPage*> pages;
    const int32_t pageCount = streamHelper.ReadIndex();
    for (int32_t i = 0; i < pageCount; ++i) {
        if (streamHelper.ReadByte() != 0)
            throw EClassNotFound(Translate(QStringLiteral("TZarvProjectItem class not found")));
        auto* page = new TZarvPage(this);
        page->SetParent(this);
        page->SetName(streamHelper.ReadString());
        pages.push_back(page);
    }
    const int32_t loadedCount = streamHelper.ReadIndex();
    for (int32_t i = 0; i < loadedCount; ++i)
        FFixUpList->append(streamHelper.ReadString());
    for (TZarvPage* page : pages) {
        if (!FFixUpList->contains(page->Name(), Qt::CaseInsensitive))
            FFixUpList->append(page->Name());
    }

    {
        TZarvReader reader(streamHelper);
        reader.MasterProject = project ? project->MasterProject() : nullptr;
        reader.KeepName = project && project->KeepsLoadedName(this);
        // A record of another class would leave the report without its
        // components; the load fails instead.
        if (!reader.ReadIntoComponent(this))
            ZarvError(Translate(QStringLiteral("Invalid Project Format")));
    }
    for (TZarvPage* page : pages) {
        streamHelper.StartReadBlock();
        page->LoadFromStreamHelper(streamHelper);
        streamHelper.FinishReadBlock();
    }
}

void TZarvReport::ChangeReference(TZarvComponent* oldComp, TZarvComponent* newComp)
{
    TZarvProjectItem::ChangeReference(oldComp, newComp);
    if (!oldComp)
        return;
    if (oldComp == FFirstPage)
        SetFirstPage(dynamic_cast<TZarvPage*>(newComp));
    if (oldComp == FSecurityControl)
        SetSecurityControl(dynamic_cast<TZarvDataObject*>(newComp));
    if (FPageList) {
        for (int i = FPageList->Count() - 1; i >= 0; --i) {
            if (FPageList->Items(i) != oldComp)
                continue;
            if (newComp)
                FPageList->SetItems(i, newComp);
            else
                FPageList->Remove(oldComp);
        }
    }
}

void TZarvReport::SetFirstPage(TZarvPage* value)
{
    if (value)
        value->FreeNotification(this);
    FFirstPage = value;
}

void TZarvReport::SetPageList(TZarvComponentList* value)
{
    if (!value || value->Count() == 0) {
        FPageList.reset();
        return;
    }
    if (FPageList.get() == value)
        return;
    if (!FPageList)
        FPageList = std::make_unique<TZarvComponentList>();
    FPageList->Assign(*value);
}

void TZarvReport::SetSecurityControl(TZarvDataObject* value)
{
    if (value)
        value->FreeNotification(this);
    FSecurityControl = value;
}

void TZarvReport::Notification(TComponent* component, TOperation operation)
{
    TZarvProjectItem::Notification(component, operation);
    if (operation != TOperation::opRemove || !component)
        return;
    EraseObject(FLoadedList, component);
    if (SameObject(FFirstPage, component))
        FFirstPage = nullptr;
    if (SameObject(FSecurityControl, component))
        FSecurityControl = nullptr;
    if (FPageList) {
        for (int i = FPageList->Count() - 1; i >= 0; --i) {
            if (i < FPageList->Count() && SameObject(FPageList->Items(i), component))
                FPageList->Remove(FPageList->Items(i));
        }
    }
}

// ---- Report runs -------------------------------------------------------------

TZarvSystemDefaults& ZarvSystemDefaults()
{
    static TZarvSystemDefaults defaults;
    return defaults;
}

void TZarvReport::Execute(TQpComponent* engine)
{
    // A run re-entered from a message loop of its own run (a non-modal
    // preview, a channel wait) would replace the copy that is printing.
    if (FExecProject)
        ZarvError(Translate(QStringLiteral("The report \"%1\" is already running.").arg(Name())));
    TZarvProjectManager* project = ProjectManager();
    if (!project)
        return;
    if (project->CompileNeeded() && !project->Compile())
        return;
    const uint8_t wasRunning = ZarvReportRunning;
    ZarvReportRunning = 1;
    TMemoryStream stream;
    std::unique_ptr<TZarvContainerControl> holder;
    auto cleanUp = qScopeGuard([&] {
        delete FExecProject;
        FExecProject = nullptr;
        holder.reset();
        ZarvReportRunning = wasRunning;
    });
    project->ReportToStream(this, stream);
    holder = std::make_unique<TZarvContainerControl>(nullptr);
    FExecProject = new TZarvProjectManager(holder.get());
    FExecProject->SetMasterProject(project);
    stream.SetPosition(0);
    FExecProject->SetNoDesigner(true);
    FExecProject->LoadFromStream(stream);
    FExecProject->Params().Assign(project->Params());
    FExecProject->SetMasterProject(nullptr);
    if (TZarvReport* copy = FExecProject->FindReport(FullName(), true)) {
        copy->CheckFirstPage(project->FileName());
        try {
            copy->InternalExecute(engine);
        } catch (EZsfLength& error) {
            // A length the project holds added up beyond what a page can
            // carry: the project file is damaged, as for a length read.
            AddFileName(error, project->FileName());
            throw;
        }
    }
}

void TZarvReport::CheckFirstPage(const QString& fileName) const
{
    if (FFirstPage || (FPageList && FPageList->Count() > 0) || OwnPages().empty())
        return;
    EZarvException error(
        Translate(QStringLiteral("The report \"%1\" has pages but no first page").arg(Name())));
    AddFileName(error, fileName);
    throw error;
}

void TZarvReport::InternalExecute(TQpComponent* engine)
{
    TZarvProjectManager* project = ProjectManager();
    if (!project)
        return;
    project->PrepareModule();
    if (TZarvModule* sysFunc = project->ModuleManager().FindModule(QStringLiteral("SYSFUNC")))
        sysFunc->SetIntVar(QStringLiteral("nil"), 0);
    SaveDesigned();
    for (TZarvPage* page : project->GlobalPageList())
        page->SaveDesigned();
    TZarvDataSystem* channel = DataSystem;
    if (channel)
        channel->SetAutoUpdate(true);
    project->BeforeReport();
    project->SetPrinting(true);
    if (channel && !channel->GainControl()) {
        // The user cancelled the channel's box: the run is skipped.
        project->SetPrinting(false);
        return;
    }
    std::exception_ptr error;
    try {
        if (auto* report = dynamic_cast<TBaseReport*>(engine))
            RunOnReport(report);
        else if (auto* system = dynamic_cast<TZvSystem*>(engine))
            RunOnSystem(system);
        else if (!engine)
            RunOnOwnSystem();
    } catch (...) {
        error = std::current_exception();
    }
    // Every step of the clean-up runs; the first error is the one reported.
    auto keepFirst = [&error](const auto& step) {
        try {
            step();
        } catch (...) {
            if (!error)
                error = std::current_exception();
        }
    };
    if (channel)
        keepFirst([channel] { channel->ReleaseControl(); });
    keepFirst([project] { project->AfterReport(); });
    project->SetPrinting(false);
    if (error)
        std::rethrow_exception(error);
}

void TZarvReport::RunOnReport(TBaseReport* engine)
{
    const double factor = engine->UnitsFactor();
    engine->SetUnitsFactor(1.0);
    auto restoreFactor = qScopeGuard([engine, factor] { engine->SetUnitsFactor(factor); });
    if (engine->Printing()) {
        // A report inside a running one prints into it.
        ProjectManager()->SetBaseReport(engine);
        EngineOnPrint(engine);
        return;
    }
    RunWithHandlers(engine->OnPrint, engine->OnBeforePrint, engine->OnAfterPrint,
                    [engine] { engine->Execute(); });
}

void TZarvReport::RunOnSystem(TZvSystem* system)
{
    TSystemPrinter* printer = system->SystemPrinter();
    const double factor = printer->UnitsFactor();
    printer->SetUnitsFactor(1.0);
    auto restoreFactor = qScopeGuard([printer, factor] { printer->SetUnitsFactor(factor); });
    if (TBaseReport* running = system->BaseReport()) {
        ProjectManager()->SetBaseReport(running);
        EngineOnPrint(running);
        return;
    }
    if (FAlwaysGenerate) {
        TSystemOptions options = system->SystemOptions();
        options.Include(TSystemOption::soUseFiler);
        system->SetSystemOptions(options);
    }
    RunWithHandlers(system->OnPrint, system->OnBeforePrint, system->OnAfterPrint,
                    [system] { system->Execute(); });
}

void TZarvReport::RunOnOwnSystem()
{
    TApplication* application = Application();
    auto system = std::make_unique<TZvSystem>(application ? application->MainForm() : nullptr);
    const TZarvSystemDefaults& defaults = ZarvSystemDefaults();
    system->SetDefaultDest(defaults.DefaultDest);
    system->SetTitleSetup(Translate(QStringLiteral("Output Options")));
    system->SetTitleStatus(Translate(QStringLiteral("Report Status")));
    system->SetTitlePreview(Translate(QStringLiteral("Report Preview")));
    TSystemSetups setups = system->SystemSetups();
    if (defaults.AllowSetup)
        setups.Include(TSystemSetup::ssAllowSetup);
    else
        setups.Exclude(TSystemSetup::ssAllowSetup);
    system->SetSystemSetups(setups);
    TSystemPreview* preview = system->SystemPreview();
    preview->GridHoriz = defaults.GridHoriz;
    preview->GridVert = defaults.GridVert;
    preview->GridPen()->SetColor(defaults.GridPenColor);
    preview->GridPen()->SetStyle(defaults.GridPenStyle);
    preview->RulerType = defaults.RulerType;
    preview->MarginPercent = defaults.MarginPercent;
    // Monochrome first: shadows are refused while it is set.
    preview->SetMonochrome(false);
    preview->SetShadowDepth(defaults.ShadowDepth);
    preview->SetMonochrome(defaults.Monochrome);
    preview->ZoomInc = defaults.ZoomInc;
    preview->SetZoomFactor(defaults.ZoomFactor);
    preview->FormState = defaults.Maximized ? TWindowState::wsMaximized : TWindowState::wsNormal;
    system->SystemPrinter()->Orientation = TOrientation::poDefault;
    system->SystemFiler()->AccuracyMethod = TAccuracyMethod::amAppearance;
    system->SystemFiler()->StreamMode = TStreamMode::smTempFile;
    if (FAlwaysGenerate) {
        TSystemOptions options = system->SystemOptions();
        options.Include(TSystemOption::soUseFiler);
        system->SetSystemOptions(options);
    }
    TZvSystem* run = system.get();
    RunWithHandlers(run->OnPrint, run->OnBeforePrint, run->OnAfterPrint, [run] { run->Execute(); });
}

void TZarvReport::RunWithHandlers(TNotifyEvent& onPrint, TNotifyEvent& onBeforePrint,
                                  TNotifyEvent& onAfterPrint, const std::function<void()>& run)
{
    SaveOnPrint = onPrint;
    SaveBeforePrint = onBeforePrint;
    SaveAfterPrint = onAfterPrint;
    auto restore = qScopeGuard([&] {
        onPrint = std::exchange(SaveOnPrint, nullptr);
        onBeforePrint = std::exchange(SaveBeforePrint, nullptr);
        onAfterPrint = std::exchange(SaveAfterPrint, nullptr);
    });
    onPrint = [this](TObject* sender) { EngineOnPrint(sender); };
    onBeforePrint = [this](TObject* sender) { EngineBeforePrint(sender); };
    onAfterPrint = [this](TObject* sender) { EngineAfterPrint(sender); };
    run();
}

void TZarvReport::EngineBeforePrint(TObject* sender)
{
    auto* report = dynamic_cast<TBaseReport*>(sender);
    if (report) {
        ProjectManager()->SetBaseReport(report);
        if (!FPrinter.isEmpty())
            report->SelectPrinter(FPrinter);
        if (FCollate != TZarvPrinterCollate::pcDefault)
            report->SetCollate(FCollate == TZarvPrinterCollate::pcTrue);
        if (FDuplex != TZarvPrinterDuplex::pdDefault)
            report->SetDuplex(EngineDuplex(FDuplex));
        if (FResolution != TZarvPrinterResolution::prDefault) {
            // The DMRES values: -1 draft, -2 low, -3 medium, -4 high.
            if (TDevMode* devMode = report->DevMode())
                devMode->PrintQuality = int16_t(-1 - int(FResolution));
        }
        if (FCopies > 0)
            report->SetCopies(FCopies);
        TZarvPage* first =
            FPageList && FPageList->Count() > 0 ? dynamic_cast<TZarvPage*>(FPageList->Items(0)) : FFirstPage;
        if (first) {
            if (first->PaperSize() == kPaperCustom)
                report->SetPaperSize(0, first->PageWidth(), first->PageHeight());
            else if (first->PaperSize() != kPaperDefault)
                report->SetPaperSize(first->PaperSize(), 0, 0);
            if (first->Orientation() != TOrientation::poDefault)
                report->SetOrientation(first->Orientation());
            SelectPageBin(report, first);
        }
    }
    if (SaveBeforePrint)
        SaveBeforePrint(sender);
}

void TZarvReport::EngineAfterPrint(TObject* sender)
{
    ProjectManager()->SetBaseReport(nullptr);
    if (SaveAfterPrint)
        SaveAfterPrint(sender);
}

void TZarvReport::EngineOnPrint(TObject* sender)
{
    auto* engine = dynamic_cast<TBaseReport*>(sender);
    if (!engine)
        return;
    engine->SetNoBufferLine(true);
    int pagesLeft = FMaxPages;
    TZarvPage* page = FPageList && FPageList->Count() > 0 ? nullptr : FFirstPage;
    TZarvStackList<TZarvPage> stack;
    int listIndex = 0;
    bool firstOfRun = true;
    for (;;) {
        if (!page)
            page = stack.Pop();
        while (!page) {
            ++listIndex;
            if (!FPageList || listIndex > FPageList->Count())
                return;
            page = dynamic_cast<TZarvPage*>(FPageList->Items(listIndex - 1));
        }
        if (!firstOfRun) {
            PreparePage(engine, page);
            engine->NewPage();
        }
        firstOfRun = false;
        page->PrepareSize(engine->PageWidth(), engine->PageHeight());
        page->PrintAll(engine);
        const bool done = page->GetDonePrinting();
        TZarvPage* next = nullptr;
        switch (page->GotoMode()) {
        case TGotoMode::gmGotoDone:
            next = done ? page->GotoPage() : page;
            break;
        case TGotoMode::gmGotoNotDone:
            next = done ? nullptr : page->GotoPage();
            break;
        case TGotoMode::gmCallEach:
            if (page->GotoPage()) {
                if (!done)
                    stack.Push(page);
                next = page->GotoPage();
            } else {
                next = done ? nullptr : page;
            }
            break;
        }
        page = next;
        if (FMaxPages > 0 && --pagesLeft <= 0)
            return;
        // Cancelled in the status window, or aborted by the report.
        if (engine->Aborted())
            return;
    }
}

void TZarvReport::PreparePage(TBaseReport* engine, TZarvPage* page)
{
    if (page->Orientation() != TOrientation::poDefault)
        engine->SetOrientation(page->Orientation());
    SelectPageBin(engine, page);
}

void TZarvReport::SelectPageBin(TBaseReport* engine, TZarvPage* page)
{
    if (!page->BinCustom().isEmpty()) {
        engine->SelectBin(page->BinCustom());
        return;
    }
    if (page->Bin() == -1)
        return;
    TQpPrinterDevice* device = GlobalPrinterDevice();
    const TStringList* bins = device ? device->GetBins() : nullptr;
    if (!bins)
        return;
    for (int i = 0; i < bins->Count(); ++i) {
        if (TQPBaseDevice::ListNumber(*bins, i) == page->Bin())
            engine->SelectBin(bins->Strings(i));
    }
}

// ---------------------------------------------------------------------------
// TZarvProjectManager.

// A waiting reference: Key is "Owner.Name" of the component it waits for.
struct TZarvProjectManager::TForwardRef {
    QString Key;
    TZarvRefTarget Target;
};

// Hears when a component holding a waiting reference goes, so that the
// reference is dropped with it.
class TZarvProjectManager::TRefWatcher : public TComponent {
public:
    explicit TRefWatcher(TZarvProjectManager& manager) : TComponent(nullptr), FManager(manager) {}

protected:
    void Notification(TComponent* component, TOperation operation) override
    {
        TComponent::Notification(component, operation);
        if (operation == TOperation::opRemove && component)
            FManager.Forget(component);
    }

private:
    TZarvProjectManager& FManager;
};

// What a load that fails puts back.
struct TZarvProjectManager::TLoadState {
    int Modules = 0;
    TZarvReport* ActiveReport = nullptr;
    QString LastActiveReport;
    int32_t Version = 0;
    bool UnicodeEnabled = false;
    QByteArray OwnRecord; // the manager's own record; empty while importing
    TStringList Params;
};

TZarvProjectManager::TZarvProjectManager(TComponent* owner)
    : TZarvProjectItem(owner), FWatcher(std::make_unique<TRefWatcher>(*this)),
      FCategories(std::make_unique<TStrings>()), FModuleManager(std::make_unique<TZarvModuleManager>(this))
{
    SetStructure(Page(), nullptr, this);
    FSignature = QStringLiteral("ZRF") + QChar(0x1A);
    FUnitsFactor = 1.0;
    FUnits = TPrintUnits::unInch;
}

TZarvProjectManager::~TZarvProjectManager()
{
    Clear();
    DropForwardRefs();
    FModuleManager.reset();
}

// ---- Items -----------------------------------------------------------------

void TZarvProjectManager::Clear()
{
    FActiveReport = nullptr;
    const std::vector<TZarvReport*> reports = std::move(FReportList);
    const std::vector<TZarvPage*> pages = std::move(FGlobalPageList);
    const std::vector<TZarvDataObject*> dataObjects = std::move(FDataObjectList);
    FReportList.clear();
    FGlobalPageList.clear();
    FDataObjectList.clear();
    for (TZarvReport* report : reports)
        delete report;
    for (TZarvPage* page : pages)
        delete page;
    for (TZarvDataObject* dataObject : dataObjects)
        delete dataObject;
}

TZarvReport* TZarvProjectManager::NewReport()
{
    auto* report = new TZarvReport(this);
    try {
        report->SetParent(this);
        report->SetName(GetUniqueName(QStringLiteral("Report"), this, false));
    } catch (...) {
        delete report;
        throw;
    }
    ComponentAdded(report);
    FReportList.push_back(report);
    ActivateReport(report);
    report->NewPage();
    report->SetFirstPage(dynamic_cast<TZarvPage*>(report->GetChild(0)));
    MarkChanged();
    return report;
}

TZarvPage* TZarvProjectManager::NewGlobalPage()
{
    auto* page = new TZarvPage(this);
    try {
        page->SetParent(this);
        page->SetName(GetUniqueName(QStringLiteral("GlobalPage"), this, false));
    } catch (...) {
        delete page;
        throw;
    }
    FGlobalPageList.push_back(page);
    ComponentAdded(page);
    if (FActiveReport)
        FActiveReport->LoadPage(page);
    MarkChanged();
    return page;
}

TZarvDataObject* TZarvProjectManager::NewDataObject(const TClassInfo* cls)
{
    if (!cls || !cls->CanCreate() || !cls->InheritsFrom(QStringLiteral("TZarvDataObject")))
        throw EZarvClass(Translate(
            QStringLiteral("Class \"%1\" is not a data object").arg(cls ? cls->ClassName() : QString())));
    TObject* made = cls->Create(this);
    auto* dataObject = dynamic_cast<TZarvDataObject*>(made);
    if (!dataObject) {
        delete made;
        throw EZarvClass(
            Translate(QStringLiteral("Class \"%1\" is not a data object").arg(cls->ClassName())));
    }
    try {
        dataObject->SetParent(this);
        dataObject->SetName(GetUniqueName(BaseNameOfClass(cls->ClassName()), this, false));
    } catch (...) {
        delete dataObject;
        throw;
    }
    FDataObjectList.push_back(dataObject);
    ComponentAdded(dataObject);
    MarkChanged();
    return dataObject;
}

void TZarvProjectManager::DeleteItem(TZarvProjectItem* item, bool)
{
    if (!item || item == this)
        return;
    bool reportPage = false;
    if (auto* report = dynamic_cast<TZarvReport*>(item)) {
        const auto it = std::find(FReportList.begin(), FReportList.end(), report);
        if (FReportList.size() == 1 && it != FReportList.end()) {
            NewReport();
        } else if (report == FActiveReport && it != FReportList.end()) {
            const size_t index = size_t(it - FReportList.begin());
            ActivateReport(index == 0 ? FReportList[1] : FReportList[index - 1]);
        }
        FReportList.erase(std::remove(FReportList.begin(), FReportList.end(), report), FReportList.end());
    } else if (auto* page = dynamic_cast<TZarvPage*>(item)) {
        if (FActiveReport)
            FActiveReport->UnloadPage(page);
        reportPage = !page->Global();
        if (page->Global())
            FGlobalPageList.erase(std::remove(FGlobalPageList.begin(), FGlobalPageList.end(), page),
                                  FGlobalPageList.end());
    } else if (auto* dataObject = dynamic_cast<TZarvDataObject*>(item)) {
        FDataObjectList.erase(std::remove(FDataObjectList.begin(), FDataObjectList.end(), dataObject),
                              FDataObjectList.end());
    }
    ComponentDeleted(item);
    delete item;
    if (reportPage && FActiveReport && FActiveReport->GetChildCount() == 0)
        FActiveReport->NewPage();
}

void TZarvProjectManager::ActivateReport(TZarvReport* report)
{
    DeactivateReport();
    FActiveReport = report;
    if (report) {
        report->Open();
        FLastActiveReport = report->Name();
    }
}

void TZarvProjectManager::DeactivateReport()
{
    if (!FActiveReport)
        return;
    TZarvReport* report = FActiveReport;
    FActiveReport = nullptr;
    report->Close();
    CurrentDesigner = nullptr;
}

TZarvReport* TZarvProjectManager::FindReport(const QString& name, bool isFullName) const
{
    for (TZarvReport* report : FReportList) {
        if ((isFullName && AnsiCompare(report->FullName(), name) == 0) ||
            AnsiCompare(report->Name(), name) == 0)
            return report;
    }
    return nullptr;
}

TZarvComponent* TZarvProjectManager::FindZarvComponent(const QString& name, TZarvComponent* defRoot) const
{
    QString path = name;
    if (path.startsWith(u'.'))
        path.remove(0, 1);
    if (path.isEmpty())
        return nullptr;
    const TComponent* root = nullptr;
    QString componentName;
    const qsizetype dot = path.indexOf(u'.');
    if (dot < 0) {
        root = defRoot ? static_cast<const TComponent*>(defRoot) : this;
        componentName = path;
    } else {
        const QString rootName = path.left(dot);
        componentName = path.mid(dot + 1);
        if (FActiveReport) {
            for (int i = 0; i < FActiveReport->GetChildCount() && !root; ++i) {
                auto* page = dynamic_cast<TZarvPage*>(FActiveReport->GetChild(i));
                if (page && SameText(page->Name(), rootName))
                    root = page;
            }
        }
        for (int i = 0; i < GetChildCount() && !root; ++i) {
            TZarvComponent* child = GetChild(i);
            if (child && SameText(child->Name(), rootName))
                root = child;
        }
        if (!root && SameText(Name(), rootName))
            root = this;
        if (!root)
            return nullptr;
    }
    if (auto* found = dynamic_cast<TZarvComponent*>(root->FindComponent(componentName)))
        return found;
    if (auto* found = dynamic_cast<TZarvComponent*>(FindComponent(componentName)))
        return found;
    if (SameText(Name(), componentName))
        return const_cast<TZarvProjectManager*>(this);
    return nullptr;
}

QString TZarvProjectManager::GetUniqueName(const QString& baseName, TComponent* nameOwner, bool useCurrent)
{
    const auto taken = [nameOwner](const QString& name) {
        return nameOwner && nameOwner->FindComponent(name);
    };
    QString base = baseName;
    if (useCurrent) {
        // The "|" that separates the wanted name from the base lies outside
        // angle brackets (a field name may hold one).
        qsizetype bar = -1;
        int depth = 0;
        for (qsizetype i = 0; i < baseName.size() && bar < 0; ++i) {
            const QChar c = baseName.at(i);
            if (c == u'<')
                ++depth;
            else if (c == u'>' && depth > 0)
                --depth;
            else if (c == u'|' && depth == 0)
                bar = i;
        }
        const QString wanted = Trim(bar < 0 ? baseName : baseName.left(bar));
        base = bar < 0 ? QString() : Trim(baseName.mid(bar + 1));
        if (!wanted.isEmpty() && !taken(wanted))
            return wanted;
    }
    constexpr int kLastNumber = 9999;
    for (int n = 1; n < kLastNumber; ++n) {
        const QString candidate = base + QString::number(n);
        if (!taken(candidate))
            return candidate;
    }
    return base + QString::number(kLastNumber);
}

void TZarvProjectManager::MoveChild(TZarvComponent* child, int how)
{
    const auto move = [child, how](auto& list) {
        using Item = std::remove_pointer_t<typename std::remove_reference_t<decltype(list)>::value_type>;
        auto* entry = dynamic_cast<Item*>(child);
        const auto it = std::find(list.begin(), list.end(), entry);
        if (!entry || it == list.end())
            return false;
        const int oldIndex = int(it - list.begin());
        const int count = int(list.size());
        int newIndex = count - 1;
        if (how == kMoveToBack)
            newIndex = 0;
        else if (how == kMoveBehind)
            newIndex = oldIndex - 1;
        else if (how == kMoveForward)
            newIndex = oldIndex + 1;
        if (newIndex < 0 || newIndex >= count || newIndex == oldIndex)
            return true;
        list.erase(it);
        list.insert(list.begin() + newIndex, entry);
        return true;
    };
    if (move(FReportList) || move(FGlobalPageList) || move(FDataObjectList)) {
        if (dynamic_cast<TZarvControl*>(child))
            child->Invalidate();
    }
}

void TZarvProjectManager::Notification(TComponent* component, TOperation operation)
{
    TZarvProjectItem::Notification(component, operation);
    if (operation == TOperation::opRemove && component)
        RemoveFromLists(component);
}

void TZarvProjectManager::RemoveFromLists(const TComponent* component)
{
    EraseObject(FReportList, component);
    EraseObject(FGlobalPageList, component);
    EraseObject(FDataObjectList, component);
    EraseObject(FLoadCreated, component);
    if (SameObject(FActiveReport, component))
        FActiveReport = nullptr;
    if (SameObject(FSecurityControl, component))
        FSecurityControl = nullptr;
}

void TZarvProjectManager::ChangeReference(TZarvComponent* oldComp, TZarvComponent* newComp)
{
    TZarvProjectItem::ChangeReference(oldComp, newComp);
    if (oldComp && oldComp == FSecurityControl)
        SetSecurityControl(dynamic_cast<TZarvDataObject*>(newComp));
}

void TZarvProjectManager::SetSecurityControl(TZarvDataObject* value)
{
    if (value)
        value->FreeNotification(this);
    FSecurityControl = value;
}

void TZarvProjectManager::SetCategories(TStrings* value)
{
    if (value)
        FCategories->TStringList::Assign(*value);
    else
        FCategories->Clear();
}

// ---- Parameters and units ----------------------------------------------------

void TZarvProjectManager::SetParam(const QString& param, const QString& value)
{
    const int index = FParams.IndexOfName(param);
    if (value.isEmpty()) {
        if (index >= 0)
            FParams.Delete(index);
        return;
    }
    if (index >= 0)
        FParams.SetStrings(index, FParams.Names(index) + QLatin1Char('=') + value);
    else
        FParams.Add(param + QLatin1Char('=') + value);
}

QString TZarvProjectManager::GetParam(const QString& param) const
{
    const int index = FParams.IndexOfName(param);
    return index >= 0 ? FParams.ValueFromIndex(index) : QString();
}

void TZarvProjectManager::ClearParams()
{
    FParams.Clear();
}

void TZarvProjectManager::SetUnits(TPrintUnits value)
{
    FUnits = value;
    FUnitsFactor = UnitsFactorOf(value, FUnitsFactor);
}

void TZarvProjectManager::SetUnitsFactor(double value)
{
    if (!(value > 0) || !std::isfinite(value))
        return;
    FUnitsFactor = value;
    if (FloatEqual(value, 1.0))
        FUnits = TPrintUnits::unInch;
    else if (FloatEqual(value, 25.4))
        FUnits = TPrintUnits::unMM;
    else if (FloatEqual(value, 2.54))
        FUnits = TPrintUnits::unCM;
    else if (FloatEqual(value, 72.0))
        FUnits = TPrintUnits::unPoint;
    else
        FUnits = TPrintUnits::unUser;
}

void TZarvProjectManager::DefineProperties(TFiler& filer)
{
    TZarvProjectItem::DefineProperties(filer);
    filer.DefineProperty(
        QStringLiteral("Params"), [this](TReader& reader) { ReadParams(reader); },
        [this](TWriter& writer) { WriteParams(writer); }, FStreamParamValues && FParams.Count() > 0);
}

// "name","value";"name","value"; ...
void TZarvProjectManager::WriteParams(TWriter& writer) const
{
    QString text;
    for (int i = 0; i < FParams.Count(); ++i)
        text += Quoted(FParams.Names(i)) + QLatin1Char(',') + Quoted(FParams.ValueFromIndex(i)) +
                QLatin1Char(';');
    writer.WriteString(text);
}

void TZarvProjectManager::ReadParams(TReader& reader)
{
    const QString text = reader.ReadString();
    qsizetype pos = 0;
    // Every step passes two separators, so the scan ends on any text.
    while (pos < text.size()) {
        const QString name = TakeQuoted(text, pos);
        ++pos;
        const QString value = TakeQuoted(text, pos);
        ++pos;
        SetParam(name, value);
    }
}

// ---- Change tracking ------------------------------------------------------------

void TZarvProjectManager::MarkChanged()
{
    const bool wasChanged = FDataChanged;
    FDataChanged = true;
    if (wasChanged || FIsLoading || !FSaved)
        return;
    const QFileInfo file(FFileName);
    if (file.exists() && !(file.permissions() & QFile::WriteOwner))
        ShowPlainMessage(
            Translate(QStringLiteral("The report project file you are modifying is marked read only.  "
                                     "You will be prompted for another file name when saving.")));
}

// ---- Forward references -----------------------------------------------------------

void TZarvProjectManager::AddForwardRef(const QString& name, TComponent* owner, const TZarvRefTarget& target)
{
    if (!target.Holder || name.isEmpty())
        return;
    const QString key =
        name.contains(u'.') ? name : (owner ? owner->Name() : QString()) + QLatin1Char('.') + name;
    FForwardRefs.push_back(std::make_unique<TForwardRef>(TForwardRef{key, target}));
    Watch(target.Holder);
}

void TZarvProjectManager::AddRenameRef(const QString& origName, TZarvComponent* newInstance)
{
    if (!newInstance)
        return;
    const TComponent* owner = newInstance->Owner();
    const QString key = (owner ? owner->Name() : QString()) + QLatin1Char('.') + origName;
    for (const auto& entry : FRenameRefs) {
        if (SameText(entry.first, key))
            return;
    }
    FRenameRefs.emplace_back(key, newInstance);
    Watch(newInstance);
}

void TZarvProjectManager::RemoveForwardRefs(TZarvComponent* target)
{
    if (!target || FForwardRefs.empty())
        return;
    const TComponent* owner = target->Owner();
    const QString key = (owner ? owner->Name() : QString()) + QLatin1Char('.') + target->Name();
    std::vector<std::unique_ptr<TForwardRef>> waiting;
    for (auto it = FForwardRefs.begin(); it != FForwardRefs.end();) {
        if (SameText((*it)->Key, key)) {
            waiting.push_back(std::move(*it));
            it = FForwardRefs.erase(it);
        } else {
            ++it;
        }
    }
    for (const auto& ref : waiting)
        StoreReference(ref->Target, target);
}

void TZarvProjectManager::FreeForwardRefs()
{
    const std::vector<std::unique_ptr<TForwardRef>> refs = std::move(FForwardRefs);
    FForwardRefs.clear();
    for (const auto& ref : refs) {
        // A holder that went meanwhile took its references with it.
        if (!ref->Target.Holder)
            continue;
        TZarvComponent* found = nullptr;
        for (const auto& entry : FRenameRefs) {
            if (SameText(entry.first, ref->Key)) {
                found = entry.second;
                break;
            }
        }
        if (!found) {
            auto* holder = dynamic_cast<TZarvComponent*>(ref->Target.Holder);
            found = FindZarvComponent(ref->Key, holder ? holder->Parent() : nullptr);
        }
        if (found)
            StoreReference(ref->Target, found);
    }
    for (const auto& ref : refs) {
        if (ref->Target.Holder)
            ref->Target.Holder->RemoveFreeNotification(FWatcher.get());
    }
    DropForwardRefs();
}

void TZarvProjectManager::DropForwardRefs()
{
    for (const auto& ref : FForwardRefs) {
        if (ref->Target.Holder)
            ref->Target.Holder->RemoveFreeNotification(FWatcher.get());
    }
    for (const auto& entry : FRenameRefs)
        entry.second->RemoveFreeNotification(FWatcher.get());
    FForwardRefs.clear();
    FRenameRefs.clear();
}

void TZarvProjectManager::Watch(TComponent* component)
{
    if (component)
        component->FreeNotification(FWatcher.get());
}

void TZarvProjectManager::Forget(TComponent* component)
{
    for (const auto& ref : FForwardRefs) {
        if (ref->Target.Holder == component)
            ref->Target.Holder = nullptr;
    }
    FRenameRefs.erase(
        std::remove_if(FRenameRefs.begin(), FRenameRefs.end(),
                       [component](const auto& entry) { return SameObject(entry.second, component); }),
        FRenameRefs.end());
}

// ---- The project file -------------------------------------------------------------

void TZarvProjectManager::New()
{
    const bool wasLoading = FIsLoading;
    FIsLoading = true;
    try {
        FFileName = QStringLiteral("Project1.zrf");
        NewReport();
    } catch (...) {
        FIsLoading = wasLoading;
        throw;
    }
    ClearChanged();
    FSaved = false;
    FIsLoading = wasLoading;
}

void TZarvProjectManager::Load()
{
    const bool wasLoading = FIsLoading;
    FIsLoading = true;
    try {
        // An existing file is read even when empty: a zero-length project
        // file is damaged, and loading it as a new project would print a
        // blank page. Its read error names the file.
        if (!FFileName.isEmpty() && QFileInfo(FFileName).isFile()) {
            try {
                TFileStream stream(FFileName, fmOpenRead | fmShareDenyWrite);
                // A project of ordinary size is read in one piece: the reader's
                // many small reads and position queries then cost no system
                // call each. A file past the bound is read as it stands, so a
                // huge or growing file fails as before instead of filling memory.
                if (stream.Size() <= kProjectReadInOnePiece) {
                    TMemoryStream memory;
                    memory.LoadFromStream(stream);
                    LoadFromStream(memory);
                } else {
                    LoadFromStream(stream);
                }
            } catch (Exception& error) {
                AddFileName(error, FFileName);
                throw;
            }
        } else {
            New();
        }
    } catch (...) {
        FIsLoading = wasLoading;
        throw;
    }
    FIsLoading = wasLoading;
}

// The new file is written beside the old one and takes its name only when
// complete; the old file is kept as the backup first. A failed save leaves
// the project file as it was and the project marked as not saved.
void TZarvProjectManager::Save()
{
    const QString backupName = ChangeFileExt(FFileName, QStringLiteral(".~zr"));
    const bool wasChanged = FDataChanged;
    const bool wasSaved = FSaved;
    try {
        TSafeFileStream stream(FFileName);
        SaveToStream(stream);
        KeepBackup(FFileName, stream.Target(), backupName);
        stream.Commit();
    } catch (...) {
        FDataChanged = wasChanged;
        FSaved = wasSaved;
        throw;
    }
}

void TZarvProjectManager::Unload()
{
    DeactivateReport();
    Clear();
}

void TZarvProjectManager::LoadFromStream(TStream& stream)
{
    TStreamHelper streamHelper(stream);
    LoadFromStreamHelper(streamHelper);
}

void TZarvProjectManager::SaveToStream(TStream& stream)
{
    TStreamHelper streamHelper(stream);
    SaveToStreamHelper(streamHelper);
}

void TZarvProjectManager::SaveToStreamHelper(TStreamHelper& streamHelper)
{
    for (const QChar c : FSignature)
        streamHelper.WriteByte(uint8_t(c.unicode()));
    FVersion = kProjectVersion;
    streamHelper.WriteInteger(kProjectVersion);
    streamHelper.WriteByte(0);
    FModuleManager->SaveModules(streamHelper);
    streamHelper.WriteString(FLastActiveReport);
    {
        TZarvWriter writer(streamHelper);
        writer.WriteComponent(this, false);
    }
    WriteEntries(streamHelper);
    if (!FExportList) {
        ClearChanged();
        FSaved = true;
    }
}

bool TZarvProjectManager::Exporting(const TZarvProjectItem* item) const
{
    return !FExportList || std::find(FExportList->begin(), FExportList->end(), item) != FExportList->end();
}

void TZarvProjectManager::WriteEntries(TStreamHelper& streamHelper)
{
    const auto writeEntry = [&](TZarvProjectItem* item, uint8_t code) {
        if (!Exporting(item))
            return;
        streamHelper.WriteByte(code);
        streamHelper.WriteString(item->Name());
        if (code == kEntryDataObject)
            streamHelper.WriteString(item->ClassName());
        streamHelper.StartWriteBlock();
        item->SaveToStreamHelper(streamHelper);
        streamHelper.FinishWriteBlock();
    };
    for (TZarvDataObject* dataObject : FDataObjectList)
        writeEntry(dataObject, kEntryDataObject);
    for (TZarvPage* page : FGlobalPageList)
        writeEntry(page, kEntryGlobalPage);
    for (TZarvReport* report : FReportList)
        writeEntry(report, kEntryReport);
}

void TZarvProjectManager::LoadFromStreamHelper(TStreamHelper& streamHelper)
{
    TLoadState state;
    state.Modules = FModuleManager->ModuleCount();
    state.ActiveReport = FActiveReport;
    state.LastActiveReport = FLastActiveReport;
    state.Version = FVersion;
    state.UnicodeEnabled = FUnicodeEnabled;
    state.Params = FParams;
    if (!FImporting) {
        TMemoryStream own;
        TStreamHelper ownHelper(own);
        TZarvWriter writer(ownHelper);
        writer.WriteComponent(this, false);
        state.OwnRecord = own.Bytes();
    }
    FLoadCreated.clear();
    try {
        uint8_t signature[4];
        streamHelper.Read(signature, 4);
        QString found;
        for (const uint8_t b : signature)
            found += QChar(b);
        if (found != FSignature)
            ZarvError(Translate(QStringLiteral("Invalid Project Format")));
        FVersion = streamHelper.ReadInteger();
        FUnicodeEnabled = FVersion >= kVersionUnicode;
        if (streamHelper.ReadByte() != 0)
            ZarvError(Translate(QStringLiteral("Invalid Project Header Code")));
        if (FVersion >= kVersionModules)
            FModuleManager->LoadModules(streamHelper);
        if (!FImporting) {
            FLastActiveReport = streamHelper.ReadString();
            ReadOwnRecord(streamHelper);
        } else {
            streamHelper.ReadString();
            SkipImportedRecord(streamHelper);
        }
        LoadEntries(streamHelper);

        FreeForwardRefs();
        for (TZarvReport* report : std::vector<TZarvReport*>(FReportList))
            report->ProcessLoaded();
        TZarvReport* last = nullptr;
        for (TZarvReport* report : FReportList) {
            if (report->Name() == FLastActiveReport)
                last = report;
        }
        if (!last && !FReportList.empty())
            last = FReportList.front();
        if (last)
            ActivateReport(last);
        FreeForwardRefs();
        ResolveImports();
    } catch (...) {
        RollBack(state);
        throw;
    }
    FLoadCreated.clear();
    ClearChanged();
    FSaved = true;
}

void TZarvProjectManager::ReadOwnRecord(TStreamHelper& streamHelper)
{
    TZarvReader reader(streamHelper);
    reader.MasterProject = FMasterProject;
    if (!reader.ReadIntoComponent(this))
        ZarvError(Translate(QStringLiteral("Invalid Project Format")));
}

// The record of an imported project is read into a manager of its own and
// dropped.
void TZarvProjectManager::SkipImportedRecord(TStreamHelper& streamHelper)
{
    TZarvProjectManager imported(nullptr);
    TZarvReader reader(streamHelper);
    if (!reader.ReadIntoComponent(&imported))
        ZarvError(Translate(QStringLiteral("Invalid Project Format")));
}

TZarvProjectItem* TZarvProjectManager::CreateEntryItem(uint8_t code, TStreamHelper& streamHelper)
{
    if (code == kEntryGlobalPage) {
        auto* page = new TZarvPage(this);
        FGlobalPageList.push_back(page);
        return page;
    }
    if (code == kEntryDataObject || code == kEntryDataView) {
        const QString className =
            code == kEntryDataObject ? streamHelper.ReadString() : QStringLiteral("TZarvDataView");
        const TClassInfo* found = FindClass(className);
        if (!found)
            throw EClassNotFound(QStringLiteral("Class %1 not found").arg(VisibleText(className)));
        const TClassInfo& cls = *found;
        if (!cls.CanCreate() || !cls.InheritsFrom(QStringLiteral("TZarvDataObject")))
            ZarvError(
                Translate(QStringLiteral("Class \"%1\" is not a data object").arg(VisibleText(className))));
        TObject* made = cls.Create(this);
        auto* dataObject = dynamic_cast<TZarvDataObject*>(made);
        if (!dataObject) {
            delete made;
            ZarvError(
                Translate(QStringLiteral("Class \"%1\" is not a data object").arg(VisibleText(className))));
        }
        FDataObjectList.push_back(dataObject);
        return dataObject;
    }
    auto* report = new TZarvReport(this);
    FReportList.push_back(report);
    return report;
}

void TZarvProjectManager::LoadEntries(TStreamHelper& streamHelper)
{
    // At least one entry: a file that ends after its header holds no project
    // at all, and reading the missing entry raises the stream's read error.
    do {
        const uint8_t code = streamHelper.ReadByte();
        QString name = streamHelper.ReadString();
        const QString storedName = name;
        if (FImporting) {
            auto* existing = dynamic_cast<TZarvProjectItem*>(FindZarvComponent(name, this));
            if (existing && existing != this) {
                if (OnImportConflict)
                    OnImportConflict(existing, name);
                else if (FImportReplace)
                    DeleteItem(existing, false);
                else
                    name = GetUniqueName(name, this, false);
            }
        }
        TZarvProjectItem* item = CreateEntryItem(code, streamHelper);
        FLoadCreated.push_back(item);
        if (auto* report = dynamic_cast<TZarvReport*>(item))
            FActiveReport = report;
        item->SetParent(this);
        if (!name.isEmpty()) {
            item->SetName(name);
            ComponentAdded(item);
        }
        // An imported item renamed for a clash keeps its new name; the name
        // in its record is taken.
        FRenamedImport = name != storedName ? item : nullptr;
        streamHelper.StartReadBlock();
        try {
            item->LoadFromStreamHelper(streamHelper);
        } catch (...) {
            FRenamedImport = nullptr;
            throw;
        }
        FRenamedImport = nullptr;
        streamHelper.FinishReadBlock();
        FActiveReport = nullptr;
        if (name.isEmpty())
            delete item; // leaves the lists through Notification
    } while (!streamHelper.Empty());
}

void TZarvProjectManager::RollBack(const TLoadState& state)
{
    DropForwardRefs();
    while (!FLoadCreated.empty()) {
        TZarvProjectItem* item = FLoadCreated.back();
        FLoadCreated.pop_back();
        delete item; // leaves the item lists through Notification
    }
    FActiveReport = Contains(FReportList, state.ActiveReport) ? state.ActiveReport : nullptr;
    FLastActiveReport = state.LastActiveReport;
    FVersion = state.Version;
    FUnicodeEnabled = state.UnicodeEnabled;
    FModuleManager->TruncateTo(state.Modules);
    if (!state.OwnRecord.isEmpty())
        RestoreOwnState(state.OwnRecord);
    FParams = state.Params;
}

// Puts the manager's own properties back as they were written before the
// load began: first everything to the class's initial values, then the
// record over them.
void TZarvProjectManager::RestoreOwnState(const QByteArray& record)
{
    SetTag(0);
    SetLocked(false);
    SetDevLocked(false);
    SetVisible(true);
    SetOnBeforeReport(nullptr);
    SetOnAfterReport(nullptr);
    SetOnBeforePrint(nullptr);
    SetOnAfterPrint(nullptr);
    SetCompileNeeded(false);
    SetDescription(QString());
    SetFullName(QString());
    SetParameters(nullptr);
    SetPIVars(nullptr);
    SetModule(nullptr);
    SetAdminPassword(QString());
    SetCategories(nullptr);
    SetSecurityControl(nullptr);
    SetUnitsFactor(1.0);
    try {
        TMemoryStream stream(record);
        TStreamHelper streamHelper(stream);
        TZarvReader reader(streamHelper);
        reader.ReadIntoComponent(this);
        FreeForwardRefs();
    } catch (const Exception&) {
        // The record was written by this program a moment ago; should it fail
        // after all, the error of the load is the one to report.
        DropForwardRefs();
    }
}

// ---- Compiling --------------------------------------------------------------------

bool TZarvProjectManager::Compile()
{
    // The project, then every project item it owns, each before the items
    // it owns in turn (the pages of a report).
    std::vector<TZarvProjectItem*> items{this};
    for (size_t i = 0; i < items.size(); ++i) {
        TZarvProjectItem* item = items[i];
        if (item != this && item->ItemKind() != TZarvItemKind::ikReport &&
            item->ItemKind() != TZarvItemKind::ikProjectManager)
            continue;
        for (int c = 0; c < item->ComponentCount(); ++c) {
            if (auto* owned = dynamic_cast<TZarvProjectItem*>(item->Components(c)))
                items.push_back(owned);
        }
    }
    try {
        for (TZarvProjectItem* item : items) {
            item->SetModule(nullptr);
            item->SetModule(std::unique_ptr<TZarvModule>(LoadModuleHook(nullptr, item, item)));
            if (TZarvModule* module = item->Module())
                module->BuildSource();
        }
        for (const bool definition : {true, false}) {
            for (TZarvProjectItem* item : items) {
                if (TZarvModule* module = item->Module())
                    module->Compile(definition);
            }
        }
        for (TZarvProjectItem* item : items) {
            if (TZarvModule* module = item->Module())
                module->EventConnect();
        }
    } catch (const EZarvCompiler& error) {
        TZarvCompileStatus status;
        status.ErrorLine = error.ErrorLine;
        status.ErrorCol = error.ErrorCol;
        status.ErrorEvent = error.ErrorEvent;
        status.ErrorMsg = error.Message();
        ReportCompileError(&status);
        return false;
    } catch (const Exception& error) {
        TZarvCompileStatus status;
        status.ErrorMsg = QStringLiteral("General Compiler Error - ") + error.Message();
        ReportCompileError(&status);
        return false;
    }
    SetCompileNeeded(false);
    ReportCompileError(nullptr);
    return true;
}

// ---- Import and export --------------------------------------------------------------

void TZarvProjectManager::ExportProject(const QString& exportFileName,
                                        const std::vector<TZarvProjectItem*>& items)
{
    TSafeFileStream stream(exportFileName);
    FExportList = &items;
    try {
        SaveToStream(stream);
    } catch (...) {
        FExportList = nullptr;
        throw;
    }
    FExportList = nullptr;
    stream.Commit();
}

bool TZarvProjectManager::ImportProject(const QString& importFileName, bool autoReplace)
{
    const QFileInfo file(importFileName);
    if (!file.isFile() || file.size() <= 0)
        return false;
    FImporting = true;
    FImportReplace = autoReplace;
    try {
        TFileStream stream(importFileName, fmOpenRead | fmShareDenyWrite);
        LoadFromStream(stream);
    } catch (Exception& error) {
        FImporting = false;
        AddFileName(error, importFileName);
        throw;
    } catch (...) {
        FImporting = false;
        throw;
    }
    FImporting = false;
    MarkChanged();
    return true;
}

void TZarvProjectManager::ReportToStream(TZarvReport* report, TStream& stream)
{
    SetIncluded(report);
    std::vector<TZarvProjectItem*> items{report};
    for (TZarvPage* page : FGlobalPageList) {
        if (page->Included())
            items.push_back(page);
    }
    for (TZarvDataObject* dataObject : FDataObjectList) {
        if (dataObject->Included())
            items.push_back(dataObject);
    }
    TStreamHelper streamHelper(stream);
    streamHelper.SetCompressMethod(0);
    FExportList = &items;
    try {
        SaveToStreamHelper(streamHelper);
    } catch (...) {
        FExportList = nullptr;
        throw;
    }
    FExportList = nullptr;
}

void TZarvProjectManager::SetIncluded(TZarvReport* report)
{
    std::vector<TComponent*> pending;
    for (TZarvReport* r : FReportList)
        pending.push_back(r);
    for (TZarvPage* p : FGlobalPageList)
        pending.push_back(p);
    for (TZarvDataObject* d : FDataObjectList)
        pending.push_back(d);
    while (!pending.empty()) {
        TComponent* component = pending.back();
        pending.pop_back();
        if (auto* item = dynamic_cast<TZarvProjectItem*>(component)) {
            item->SetIncluded(false);
            for (int i = 0; i < item->ComponentCount(); ++i)
                pending.push_back(item->Components(i));
        }
    }
    TZarvProjectItem::SetIncluded(true);
    if (!report)
        return;
    report->SetIncluded(true);
    TClassObjectProps props;
    WalkIncluded(report, props);
}

void TZarvProjectManager::WalkIncluded(TPersistent* instance, TClassObjectProps& props)
{
    if (!instance)
        return;
    const TClassInfo* info = instance->ClassType();
    auto known = props.find(info);
    if (known == props.end()) {
        std::vector<const TPropInfo*> objectProps;
        for (const TPropInfo* prop : GetPropList(*instance))
            if (prop->Kind() == TTypeKind::tkClass && prop->GetObject)
                objectProps.push_back(prop);
        known = props.emplace(info, std::move(objectProps)).first;
    }
    // The map's entries stay where they are while the walk adds classes.
    const std::vector<const TPropInfo*>& objectProps = known->second;
    for (const TPropInfo* prop : objectProps) {
        TObject* object = prop->GetObject(*instance);
        if (auto* component = dynamic_cast<TComponent*>(object)) {
            MarkIncluded(component->Owner(), props);
            MarkIncluded(component, props);
        } else if (auto* persistent = dynamic_cast<TPersistent*>(object)) {
            WalkIncluded(persistent, props);
        } else if (auto* list = dynamic_cast<TZarvComponentList*>(object)) {
            for (int i = 0; i < list->Count(); ++i) {
                if (TZarvComponent* entry = list->Items(i)) {
                    MarkIncluded(entry->Owner(), props);
                    MarkIncluded(entry, props);
                }
            }
        } else if (auto* objects = dynamic_cast<TZarvPersistentList*>(object)) {
            for (int i = 0; i < objects->Count(); ++i)
                WalkIncluded(objects->Items(i), props);
        }
    }
}

void TZarvProjectManager::MarkIncluded(TObject* object, TClassObjectProps& props)
{
    auto* item = dynamic_cast<TZarvProjectItem*>(object);
    if (!item || item->NeverIncluded() || item->Included())
        return;
    item->SetIncluded(true);
    WalkIncluded(item, props);
    std::vector<TComponent*> pending;
    for (int i = 0; i < item->ComponentCount(); ++i)
        pending.push_back(item->Components(i));
    while (!pending.empty()) {
        TComponent* component = pending.back();
        pending.pop_back();
        if (dynamic_cast<TZarvProjectItem*>(component)) {
            MarkIncluded(component, props);
            continue;
        }
        WalkIncluded(component, props);
        for (int i = 0; i < component->ComponentCount(); ++i)
            pending.push_back(component->Components(i));
    }
}
