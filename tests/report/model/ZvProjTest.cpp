#include "report/model/ZvProj.h"

#include "ProjectFixtures.h"
#include "platform/forms/MessageService.h"
#include "platform/rtl/SafeSave.h"
#include "report/print/QpDefine.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FileAccess.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/FuzzLoop.h"
#include "tests/support/NameProbe.h"
#include "tests/support/Privileges.h"
#include "tests/support/RefusedCalls.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <functional>
#include <linux/capability.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray ReadFile(const QString& fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteFile(const QString& fileName, const QByteArray& bytes)
{
    QFile file(fileName);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

std::unique_ptr<TZarvComponentList> ListOf(std::initializer_list<TZarvComponent*> entries)
{
    auto list = std::make_unique<TZarvComponentList>();
    for (TZarvComponent* entry : entries)
        list->Add(entry);
    return list;
}

// The head of a version 110000 project file with no modules and an empty
// project record, written by hand for the damaged files below.
void WriteBareProjectHead(TStreamHelper& helper)
{
    TZarvProjectManager other(nullptr);
    helper.Write("ZRF\x1A", 4);
    helper.WriteInteger(110000);
    helper.WriteByte(0);
    helper.WriteIndex(0);
    helper.WriteString(QString());
    TZarvWriter(helper).WriteComponent(&other, false);
}

// A project with a data object, a global page, two reports (the second one
// active), pages referring to each other, parameters stored in the file and
// references that are read before their component.
void BuildRichProject(TZarvProjectManager& project)
{
    project.SetName(QStringLiteral("ZarvProject"));
    project.New();
    project.SetUnitsFactor(25.4);
    project.SetStreamParamValues(true);
    project.SetParam(QStringLiteral("Customer"), QStringLiteral("Ann \"the\" first"));
    project.SetParam(QStringLiteral("Order"), QStringLiteral("17"));
    project.Parameters()->Add(QStringLiteral("Customer"));
    project.Categories()->Add(QStringLiteral("Cards"));
    project.NewDataObject(FindClass(QStringLiteral("TZarvDataObject")));
    TZarvPage* global = project.NewGlobalPage();
    MakeOn<TKindBox>(global, QStringLiteral("Head1"))->SetLabel(QStringLiteral("header"));

    TZarvReport* report = project.ActiveReport();
    TZarvPage* page1 = report->LoadedPage(0);
    TZarvPage* page2 = report->NewPage();
    page1->SetGotoPage(page2);
    page1->SetGotoMode(TGotoMode::gmCallEach);
    page2->SetOrientation(TOrientation::poLandScape);
    page2->SetPaperSize(9);
    auto* box1 = MakeOn<TKindBox>(page1, QStringLiteral("Box1"));
    auto* box2 = MakeOn<TTestText>(page2, QStringLiteral("Box2"));
    box2->SetRotation(90);
    box2->SetCaption(QStringLiteral("second page"));
    box1->SetTarget(box2); // on a page read after this one
    auto* item = new TZarvSimpleEvent;
    item->SetBody(QStringLiteral("item"));
    item->SetModuleOwner(page2);
    box1->Items()->Add(item);
    TZarvSimpleEvent event;
    event.SetBody(QStringLiteral("Box1.Visible := True;"));
    box1->SetOnBeforePrint(&event);
    box1->OnBeforePrint()->SetModuleOwner(report);
    box1->SetLinks(
        ListOf({box2, dynamic_cast<TZarvComponent*>(global->FindComponent(QStringLiteral("Head1")))}).get());
    report->SetPageList(ListOf({page1, page2}).get());
    report->SetCopies(2);
    report->SetCollate(TZarvPrinterCollate::pcTrue);
    report->SetPrinter(QStringLiteral("PDF"));

    TZarvReport* report2 = project.NewReport();
    report2->SetCategory(QStringLiteral("Cards"));
    report2->LoadPage(global);
}

class ZvProjTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterProjectForTests();
        ASSERT_TRUE(Folder.isValid());
    }
    void TearDown() override
    {
        ModuleFactoryProc = nullptr;
        SetModuleFileFolder(QString());
    }
    QString Path(const QString& name) const { return QDir(Folder.path()).filePath(name); }

    QTemporaryDir Folder;
};

TEST_F(ZvProjTest, ANewProjectAndItsFileHeader)
{
    TZarvProjectManager project(nullptr);
    project.SetFileName(Path(QStringLiteral("missing.zrf")));
    project.Load(); // a missing file starts a new project
    EXPECT_EQ(project.FileName(), QStringLiteral("Project1.zrf"));
    ASSERT_EQ(project.ReportList().size(), 1u);
    TZarvReport* report = project.ActiveReport();
    ASSERT_NE(report, nullptr);
    EXPECT_EQ(report->Name(), QStringLiteral("Report1"));
    ASSERT_EQ(report->LoadedPageCount(), 1);
    EXPECT_EQ(report->LoadedPage(0)->Name(), QStringLiteral("Page1"));
    EXPECT_EQ(report->FirstPage(), report->LoadedPage(0));
    EXPECT_FALSE(project.Saved());
    EXPECT_FALSE(project.DataChanged());
    EXPECT_FALSE(project.IsLoading());

    // "ZRF", 0x1A, version 110000, header code 0, no modules.
    EXPECT_EQ(SaveProject(project).left(10),
              Bytes({'Z', 'R', 'F', 0x1A, 0xB0, 0xAD, 0x01, 0x00, 0x00, 0x00}));
}

TEST_F(ZvProjTest, SaveLoadSaveIsByteIdentical)
{
    TZarvProjectManager project(nullptr);
    BuildRichProject(project);
    const QByteArray first = SaveProject(project);

    TZarvProjectManager copy(nullptr);
    copy.SetStreamParamValues(true); // the application's choice, not stored
    LoadProject(copy, first);
    EXPECT_EQ(SaveProject(copy), first);

    // The report saved as active is active again, though it is not the first.
    ASSERT_EQ(copy.ReportList().size(), 2u);
    EXPECT_EQ(copy.ActiveReport(), copy.ReportList()[1]);
    EXPECT_EQ(copy.Name(), QStringLiteral("ZarvProject"));
    EXPECT_EQ(copy.Units(), TPrintUnits::unMM);
    EXPECT_EQ(copy.GetParam(QStringLiteral("customer")), QStringLiteral("Ann \"the\" first"));
    EXPECT_EQ(copy.GetParam(QStringLiteral("Order")), QStringLiteral("17"));
    TZarvReport* report = copy.ReportList()[0];
    ASSERT_EQ(report->LoadedPageCount(), 3);
    TZarvPage* page1 = report->LoadedPage(0);
    TZarvPage* global = report->LoadedPage(1);
    TZarvPage* page2 = report->LoadedPage(2);
    EXPECT_TRUE(global->Global());
    EXPECT_EQ(page1->GotoPage(), page2);
    EXPECT_DOUBLE_EQ(page2->PageWidth(), 297 / 25.4);
    auto* box1 = dynamic_cast<TKindBox*>(page1->FindComponent(QStringLiteral("Box1")));
    ASSERT_NE(box1, nullptr);
    EXPECT_EQ(box1->Target(), page2->FindComponent(QStringLiteral("Box2")));
    ASSERT_EQ(box1->Links()->Count(), 2);
    EXPECT_EQ(box1->Links()->Items(1), global->FindComponent(QStringLiteral("Head1")));
    ASSERT_EQ(box1->Items()->Count(), 1);
    EXPECT_EQ(dynamic_cast<TZarvEvent*>(box1->Items()->Items(0))->ModuleOwner(), page2);
    ASSERT_NE(box1->OnBeforePrint(), nullptr);
    EXPECT_EQ(box1->OnBeforePrint()->ModuleOwner(), report);
    ASSERT_NE(report->PageList(), nullptr);
    EXPECT_EQ(report->PageList()->Items(1), page2);
    EXPECT_EQ(copy.ForwardRefCount(), 0);
    EXPECT_TRUE(copy.Saved());
    EXPECT_FALSE(copy.DataChanged());
}

TEST_F(ZvProjTest, OlderFilesAreRead)
{
    TZarvProjectManager source(nullptr);
    source.New();
    TZarvReport* report = source.ActiveReport();
    TZarvPage* page = report->LoadedPage(0);
    MakeOn<TKindBox>(page, QStringLiteral("Box1"))->SetLabel(QStringLiteral("old"));
    // A file of version 30003: no modules section, no report LastActivePage.
    TMemoryStream old;
    {
        TStreamHelper helper(old);
        helper.Write("ZRF\x1A", 4);
        helper.WriteInteger(30003);
        helper.WriteByte(0);
        helper.WriteString(QStringLiteral("Report1"));
        TZarvWriter(helper).WriteComponent(&source, false);
        helper.WriteByte(4);
        helper.WriteString(QStringLiteral("Report1"));
        helper.StartWriteBlock();
        helper.WriteIndex(1);
        helper.WriteByte(0);
        helper.WriteString(QStringLiteral("Page1"));
        helper.WriteIndex(1);
        helper.WriteString(QStringLiteral("Page1"));
        TZarvWriter(helper).WriteComponent(report, false);
        helper.StartWriteBlock();
        page->SaveToStreamHelper(helper);
        helper.FinishWriteBlock();
        helper.FinishWriteBlock();
    }
    TZarvProjectManager copy(nullptr);
    LoadProject(copy, old.Bytes());
    EXPECT_EQ(copy.Version(), 30003);
    EXPECT_FALSE(copy.UnicodeEnabled());
    ASSERT_NE(copy.ActiveReport(), nullptr);
    auto* box =
        dynamic_cast<TKindBox*>(copy.ActiveReport()->LoadedPage(0)->FindComponent(QStringLiteral("Box1")));
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->Label(), QStringLiteral("old"));
}

TEST_F(ZvProjTest, DamagedFilesRaiseAndChangeNothing)
{
    TZarvProjectManager rich(nullptr);
    BuildRichProject(rich);
    const QByteArray good = SaveProject(rich);
    QByteArray wrongHeader = good;
    wrongHeader[8] = 1;
    QByteArray unknownDataClass = good;
    unknownDataClass.replace(Enc(QStringLiteral("TZarvDataObject")), Enc(QStringLiteral("TZarvDataObjecX")));
    QByteArray pageKind;
    {
        TMemoryStream stream;
        TStreamHelper helper(stream);
        WriteBareProjectHead(helper);
        helper.WriteByte(4);
        helper.WriteString(QStringLiteral("Report9"));
        helper.StartWriteBlock();
        helper.WriteString(QString());
        helper.WriteIndex(1);
        helper.WriteByte(1); // a page kind other than 0
        helper.FinishWriteBlock();
        pageKind = stream.Bytes();
    }
    // A file that ends after the project's own record holds no project at
    // all: it is refused like any file that ends too early.
    QByteArray bare;
    {
        TMemoryStream stream;
        TStreamHelper helper(stream);
        WriteBareProjectHead(helper);
        bare = stream.Bytes();
    }
    // One changed byte in the class name of a page's or a report's own
    // record: the record is not read, and the load fails rather than leave
    // the item without its components.
    QByteArray pageClass = good;
    pageClass.replace(Enc(QStringLiteral("TZarvPage")), Enc(QStringLiteral("TZarvPagX")));
    QByteArray reportClass = good;
    reportClass.replace(Enc(QStringLiteral("TZarvReport")), Enc(QStringLiteral("TZarvReporX")));
    ASSERT_NE(pageClass, good);
    ASSERT_NE(reportClass, good);
    struct Row {
        int Number;
        QByteArray Bytes;
        QString Message;
    };
    const Row rows[] = {
        {1, QByteArray("ZRG") + good.mid(3), QStringLiteral("Invalid Project Format")},
        {2, wrongHeader, QStringLiteral("Invalid Project Header Code")},
        {3, good.left(good.size() / 2), QStringLiteral("Stream read error")},
        {4, unknownDataClass, QStringLiteral("Class TZarvDataObjecX not found")},
        {5, pageKind, QStringLiteral("TZarvProjectItem class not found")},
        {6, good.left(3), QStringLiteral("Stream read error")},
        {7, bare, QStringLiteral("Stream read error")},
        {8, pageClass, QStringLiteral("Invalid Project Format")},
        {9, reportClass, QStringLiteral("Invalid Project Format")},
        {10, QByteArray(), QStringLiteral("Stream read error")},
    };
    // A project unloaded before the next file: its own properties stay.
    TZarvProjectManager project(nullptr);
    project.SetStreamParamValues(true);
    LoadProject(project, good);
    project.Unload();
    const QByteArray before = SaveProject(project);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Number);
        try {
            LoadProject(project, row.Bytes);
            ADD_FAILURE() << "no exception";
        } catch (const Exception& error) {
            EXPECT_EQ(error.Message(), row.Message);
        }
        // Nothing of the damaged file stays behind.
        EXPECT_EQ(SaveProject(project), before);
        EXPECT_EQ(project.ForwardRefCount(), 0);
        TZarvProjectManager fresh(nullptr);
        EXPECT_ANY_THROW(LoadProject(fresh, row.Bytes));
        EXPECT_TRUE(fresh.ReportList().empty() && fresh.GlobalPageList().empty() &&
                    fresh.DataObjectList().empty());
    }
    // From a file, the error names it on a line of its own, a zero-length
    // file too; Load does not stay in its loading state after a failure.
    for (const QByteArray& bytes : {good.left(40), QByteArray(), pageClass}) {
        const QString bad = Path(QStringLiteral("bad.zrf"));
        WriteFile(bad, bytes);
        project.SetFileName(bad);
        try {
            project.Load();
            ADD_FAILURE() << "no exception";
        } catch (const Exception& error) {
            EXPECT_EQ(error.Message(), QString(bytes.size() == 40 || bytes.isEmpty() ? "Stream read error"
                                                                                      : "Invalid Project Format") +
                                           QLatin1Char('\n') + bad);
        }
        EXPECT_FALSE(project.IsLoading());
    }
}

// The value of the first reference stored for a property: the property's
// name, the identifier tag, then the name.
qsizetype ReferenceValueAt(const QByteArray& file, const QString& property)
{
    const qsizetype at = file.indexOf(Enc(property) + QByteArray(1, '\0'));
    return at < 0 ? -1 : at + Enc(property).size() + 1;
}

QString StringAt(const QByteArray& file, qsizetype at)
{
    TMemoryStream stream(file);
    stream.SetPosition(at);
    TStreamHelper helper(stream);
    return helper.ReadString();
}

// A stored reference or list entry whose name no component can have is a
// damaged file: the load fails rather than leave the property nil for a run
// to print a page without its content. A valid name that names nothing
// loads and stays nil, as before. A damaged component name is quoted with
// its NUL visible, and the file's name follows it in the C string too.
TEST_F(ZvProjTest, DamagedNamesRefuseTheLoadAndShowTheirBytes)
{
    TZarvProjectManager rich(nullptr);
    BuildRichProject(rich);
    const QByteArray good = SaveProject(rich);
    // The stored name at at, its last four characters replaced by to.
    const auto changed = [&good](qsizetype at, const QString& to) {
        const QString from = StringAt(good, at);
        return QByteArray(good).replace(at, Enc(from).size(), Enc(from.chopped(4) + to));
    };
    const qsizetype target = ReferenceValueAt(good, QStringLiteral("Target"));
    ASSERT_GT(target, 0);
    // A component list: the property's name, tag 9, the names; the first
    // list that holds any.
    const QByteArray list = Enc(QStringLiteral("Links")) + QByteArray(1, '\x09');
    qsizetype firstEntry = -1;
    for (qsizetype at = good.indexOf(list); at >= 0 && firstEntry < 0; at = good.indexOf(list, at + 1)) {
        if (!StringAt(good, at + list.size()).isEmpty())
            firstEntry = at + list.size();
    }
    ASSERT_GT(firstEntry, 0);
    const QString nul(QChar(0));
    const qsizetype head = good.indexOf(Enc(QStringLiteral("TKindBox")) + Enc(QStringLiteral("Head1")));
    ASSERT_GT(head, 0);
    const qsizetype headName = head + Enc(QStringLiteral("TKindBox")).size();
    struct Row {
        int Number;
        QByteArray Bytes;
        QString Message; // empty: loads
    };
    const Row rows[] = {
        {1, changed(target, QString(QChar(0xFFFF)) + QChar(0x7FFF) + QStringLiteral("x2")),
         QStringLiteral("Invalid Project Format")},
        {2, changed(target, QStringLiteral("Bo 2")), QStringLiteral("Invalid Project Format")},
        {3, changed(target, QStringLiteral("2Box")), QStringLiteral("Invalid Project Format")},
        {4, changed(firstEntry, QStringLiteral("Bo") + nul + QStringLiteral("2")),
         QStringLiteral("Invalid Project Format")},
        {5, changed(headName, QStringLiteral("e") + nul + QStringLiteral("d1")),
         QStringLiteral("'He\\x00d1' is not a valid component name")},
        {6, changed(target, QStringLiteral("Box9")), QString()},
    };
    const QString file = Path(QStringLiteral("damaged.zrf"));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Number);
        WriteFile(file, row.Bytes);
        TZarvProjectManager project(nullptr);
        project.SetFileName(file);
        if (row.Message.isEmpty()) {
            EXPECT_NO_THROW(project.Load());
            continue;
        }
        try {
            project.Load();
            ADD_FAILURE() << "no exception";
        } catch (const Exception& error) {
            EXPECT_EQ(error.Message(), row.Message + QLatin1Char('\n') + file);
            EXPECT_TRUE(QString::fromUtf8(error.what()).endsWith(file)) << error.what();
        }
        EXPECT_TRUE(project.ReportList().empty());
        EXPECT_EQ(project.ForwardRefCount(), 0);
    }
    // The names the writer gives references of other items and of the master
    // project load: "Owner.Name", "*Name", "*Owner.Name" (of the stored
    // name's length, which the item's block fixes).
    const QString stored = StringAt(good, target);
    ASSERT_EQ(stored, "Page2.Box2");
    for (const QString& name :
         {QStringLiteral("Page1.Box1"), QStringLiteral("*BoxOfPage"), QStringLiteral("*Page.Box2")}) {
        SCOPED_TRACE(name.toStdString());
        QByteArray bytes = good;
        WriteFile(file, bytes.replace(target, Enc(stored).size(), Enc(name)));
        TZarvProjectManager project(nullptr);
        project.SetFileName(file);
        EXPECT_NO_THROW(project.Load());
    }
}

TEST_F(ZvProjTest, FuzzTheLoader)
{
    TZarvProjectManager rich(nullptr);
    BuildRichProject(rich);
    TZarvProjectManager plain(nullptr);
    plain.New();
    TScriptedMessages messages; // an unknown class shows a box
    const FuzzStats stats = RunFuzzLoop(
        [](const QByteArray& bytes) {
            TZarvProjectManager project(nullptr);
            LoadProject(project, bytes);
            SaveProject(project);
        },
        {SaveProject(rich), SaveProject(plain)});
    EXPECT_GT(stats.runs, 100);
}

TEST_F(ZvProjTest, ParametersUnitsAndNames)
{
    TZarvProjectManager project(nullptr);
    project.SetName(QStringLiteral("ZarvProject"));
    project.New();
    project.SetParam(QStringLiteral("A"), QStringLiteral("1"));
    EXPECT_EQ(project.GetParam(QStringLiteral("a")), QStringLiteral("1"));
    project.SetParam(QStringLiteral("a"), QStringLiteral("2"));
    EXPECT_EQ(project.Params().Text(), QStringLiteral("A=2\r\n"));
    project.SetParam(QStringLiteral("A"), QString());
    EXPECT_EQ(project.Params().Count(), 0);
    EXPECT_EQ(project.GetParam(QStringLiteral("never")), QString());

    // Units follow the factor within the model's tolerance; a factor not
    // above 0 is ignored.
    const std::pair<double, TPrintUnits> factors[] = {
        {25.4, TPrintUnits::unMM},      {2.54, TPrintUnits::unCM}, {72, TPrintUnits::unPoint},
        {1.00001, TPrintUnits::unInch}, {3, TPrintUnits::unUser},  {-1, TPrintUnits::unUser},
        {0, TPrintUnits::unUser},
    };
    for (const auto& [factor, units] : factors) {
        project.SetUnitsFactor(factor);
        EXPECT_EQ(project.Units(), units) << factor;
    }
    EXPECT_DOUBLE_EQ(project.UnitsFactor(), 3);
    project.SetUnits(TPrintUnits::unCM);
    EXPECT_DOUBLE_EQ(project.UnitsFactor(), 2.54);

    TZarvPage* page = project.ActiveReport()->LoadedPage(0);
    MakeOn<TKindBox>(page, QStringLiteral("Text1"));
    MakeOn<TKindBox>(page, QStringLiteral("Box1"));
    struct NameRow {
        int Number;
        QString Base;
        TComponent* Owner;
        bool UseCurrent;
        QString Expected;
    };
    const NameRow names[] = {
        {1, QStringLiteral("Report"), &project, false, QStringLiteral("Report2")},
        {2, QStringLiteral("Text2|Text"), page, true, QStringLiteral("Text2")},
        {3, QStringLiteral("Box1 | Box"), page, true, QStringLiteral("Box2")},
        {4, QStringLiteral("<a|b>|Field"), page, true, QStringLiteral("<a|b>")},
        {5, QStringLiteral("|Text"), page, true, QStringLiteral("Text2")},
        {6, QStringLiteral("Text"), page, false, QStringLiteral("Text2")},
    };
    for (const NameRow& row : names)
        EXPECT_EQ(project.GetUniqueName(row.Base, row.Owner, row.UseCurrent), row.Expected) << row.Number;

    project.NewReport(); // Report2, now active, with its own Page1
    project.ActivateReport(project.ReportList()[0]);
    struct FindRow {
        int Number;
        QString Name;
        TZarvComponent* Root;
        TComponent* Expected;
    };
    const FindRow finds[] = {
        {1, QStringLiteral("Page1.Text1"), nullptr, page->FindComponent(QStringLiteral("Text1"))},
        {2, QStringLiteral(".Page1.Text1"), nullptr, page->FindComponent(QStringLiteral("Text1"))},
        {3, QStringLiteral("Text1"), page, page->FindComponent(QStringLiteral("Text1"))},
        {4, QStringLiteral("Text1"), nullptr, nullptr},
        {5, QStringLiteral("report2"), nullptr, project.ReportList()[1]},
        {6, QStringLiteral("Report2.Page1"), nullptr, project.ReportList()[1]->LoadedPage(0)},
        {7, QStringLiteral("Nowhere.Text1"), nullptr, nullptr},
        {8, QStringLiteral("ZarvProject"), page, &project},
        {9, QStringLiteral("ZarvProject.Report1"), nullptr, project.ReportList()[0]},
    };
    for (const FindRow& row : finds)
        EXPECT_EQ(project.FindZarvComponent(row.Name, row.Root), row.Expected) << row.Number;
}

TEST_F(ZvProjTest, ItemsComeAndGo)
{
    TZarvProjectManager project(nullptr);
    project.New();
    TZarvReport* report1 = project.ActiveReport();
    TZarvReport* report2 = project.NewReport();
    EXPECT_EQ(project.ActiveReport(), report2);
    EXPECT_TRUE(report2->Active());
    EXPECT_FALSE(report1->Active());
    EXPECT_EQ(project.LastActiveReport(), QStringLiteral("Report2"));

    // Moving an item moves it in its list, which is the order of the file.
    project.MoveChild(report2, kMoveToBack);
    EXPECT_EQ(project.ReportList().front(), report2);
    project.MoveChild(report2, kMoveBehind); // already first
    EXPECT_EQ(project.ReportList().front(), report2);
    project.MoveChild(report2, kMoveToFront);
    EXPECT_EQ(project.ReportList().back(), report2);

    // The active report hands over to the one before it.
    project.DeleteItem(report2, false);
    EXPECT_EQ(project.ActiveReport(), report1);
    ASSERT_EQ(project.ReportList().size(), 1u);

    // A report page that was the last one is replaced.
    TZarvPage* page = report1->LoadedPage(0);
    project.DeleteItem(page, false);
    ASSERT_EQ(report1->LoadedPageCount(), 1);
    EXPECT_NE(report1->LoadedPage(0), nullptr);
    EXPECT_EQ(report1->FirstPage(), nullptr); // it referred to the page that went

    // The only report is replaced by a new one.
    project.DeleteItem(report1, false);
    ASSERT_EQ(project.ReportList().size(), 1u);
    EXPECT_EQ(project.ActiveReport(), project.ReportList()[0]);
    EXPECT_EQ(project.ActiveReport()->Name(), QStringLiteral("Report2"));

    // A global page loaded by a report leaves it when deleted.
    TZarvPage* global = project.NewGlobalPage();
    EXPECT_EQ(project.ActiveReport()->LoadedPageCount(), 2);
    delete global;
    EXPECT_EQ(project.ActiveReport()->LoadedPageCount(), 1);
    EXPECT_TRUE(project.GlobalPageList().empty());
}

// Records the compiler passes on modules made for a project's items.
QStringList CompileLog;

class TCompiledModule : public TFakeModule {
public:
    explicit TCompiledModule(QString item) : Item(std::move(item)) {}
    void BuildSource() override { CompileLog << QStringLiteral("build ") + Item; }
    void Compile(bool definition) override
    {
        if (Item == QLatin1String("Page2") && !definition)
            ZarvError(QStringLiteral("Unknown identifier"));
        CompileLog << QStringLiteral("compile%1 ").arg(definition) + Item;
    }
    void EventConnect() override { CompileLog << QStringLiteral("connect ") + Item; }
    QString Item;
};

TEST_F(ZvProjTest, CompilingReachesEveryItem)
{
    ModuleFactoryProc = [](TStream*, TZarvComponent* owner, TZarvComponent*) -> TZarvModule* {
        return new TCompiledModule(owner->Name());
    };
    TZarvProjectManager project(nullptr);
    project.SetName(QStringLiteral("Project"));
    project.New();
    project.NewGlobalPage();
    project.SetCompileNeeded(true);
    CompileLog.clear();
    EXPECT_TRUE(project.Compile());
    EXPECT_FALSE(project.CompileNeeded());
    // Each item before the items it owns; all builds, then both compiler
    // passes, then the events.
    EXPECT_EQ(CompileLog.join(u','),
              QStringLiteral("build Project,build Report1,build GlobalPage1,build Page1,"
                             "compile1 Project,compile1 Report1,compile1 GlobalPage1,compile1 Page1,"
                             "compile0 Project,compile0 Report1,compile0 GlobalPage1,compile0 Page1,"
                             "connect Project,connect Report1,connect GlobalPage1,connect Page1"));
    ASSERT_NE(project.ActiveReport()->Module(), nullptr);

    project.ActiveReport()->NewPage();
    project.SetCompileNeeded(true);
    try {
        project.Compile();
        ADD_FAILURE() << "no exception";
    } catch (const EZarvException& error) {
        EXPECT_EQ(error.Message(), QStringLiteral("General Compiler Error - Unknown identifier"));
    }
    EXPECT_TRUE(project.CompileNeeded());
}

// A new project saved as fileName; the bytes of the file.
QByteArray SaveNewProject(TZarvProjectManager& project, const QString& fileName)
{
    project.New();
    project.SetFileName(fileName);
    project.Save();
    return ReadFile(fileName);
}

TEST_F(ZvProjTest, SaveKeepsABackupAndNeverReportsALostFile)
{
    const QString fileName = Path(QStringLiteral("cards.zrf"));
    TZarvProjectManager project(nullptr);
    const QByteArray first = SaveNewProject(project, fileName);
    EXPECT_EQ(first, SaveProject(project));
    project.NewGlobalPage();
    project.Save();
    EXPECT_EQ(ReadFile(Path(QStringLiteral("cards.~zr"))), first);
    EXPECT_EQ(ReadFile(fileName), SaveProject(project));
    EXPECT_FALSE(QFile::exists(Path(QStringLiteral("cards.$$$"))));

    // A save cut short by a full disk (a file size limit here) leaves the
    // project file whole, names it, and the project stays unsaved.
    const QByteArray second = ReadFile(fileName);
    project.NewGlobalPage();
    const QString message = RunWithFileSizeLimit(second.size() - 1, [&] {
        try {
            project.Save();
        } catch (const EFileSaveError& error) {
            return error.Message() + (project.DataChanged() ? QString() : QStringLiteral(" <saved>"));
        }
        return QStringLiteral("no exception");
    });
    EXPECT_TRUE(message.startsWith("Cannot create file \"" + fileName + "\". ")) << message.toStdString();
    EXPECT_FALSE(message.contains("<saved>"));
    EXPECT_EQ(ReadFile(fileName), second);
    EXPECT_EQ(QDir(Folder.path()).entryList({QStringLiteral("*.tmp")}, QDir::Files | QDir::Hidden), QStringList());

    // The first change of a saved file that is read-only says so once.
    project.Save();
    QFile::setPermissions(fileName, QFile::ReadOwner | QFile::ReadGroup);
    TScriptedMessages messages;
    project.NewGlobalPage();
    project.NewGlobalPage();
    ASSERT_EQ(messages.Shown().size(), 1u);
    EXPECT_EQ(
        messages.Shown().front().Text,
        QStringLiteral("The report project file you are modifying is marked read only.  You will be prompted "
                       "for another file name when saving."));
}

// A project kept behind a link: the save replaces the file the link points
// at, the link stays, and the backup beside the name the user saved to holds
// the old content, not a second name of the new one.
TEST_F(ZvProjTest, ASaveThroughALinkKeepsTheOldContentInTheBackup)
{
    ASSERT_TRUE(QDir(Folder.path()).mkdir(QStringLiteral("real")));
    const QString real = Path(QStringLiteral("real/p.zrf"));
    const QString link = Path(QStringLiteral("link.zrf"));
    TZarvProjectManager project(nullptr);
    const QByteArray first = SaveNewProject(project, real);
    ASSERT_EQ(::symlink("real/p.zrf", QFile::encodeName(link).constData()), 0);
    project.SetFileName(link);
    project.NewGlobalPage();
    project.Save();
    const QByteArray second = ReadFile(real);
    EXPECT_EQ(second, SaveProject(project));
    EXPECT_NE(second, first);
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(ReadFile(Path(QStringLiteral("link.~zr"))), first);
    project.NewGlobalPage();
    project.Save();
    EXPECT_EQ(ReadFile(Path(QStringLiteral("link.~zr"))), second);
    EXPECT_EQ(QDir(Folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList({"link.zrf", "link.~zr", "real"}));
    EXPECT_EQ(
        QDir(Path(QStringLiteral("real"))).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
        QStringList({"p.zrf"}));

    // Saved under a ".~zr" name that is a link, the project is its own
    // backup: the link stays and its file gets the new project.
    const QString own = Path(QStringLiteral("own.~zr"));
    ASSERT_EQ(::symlink("real/p.zrf", QFile::encodeName(own).constData()), 0);
    project.SetFileName(own);
    project.NewGlobalPage();
    project.Save();
    EXPECT_TRUE(QFileInfo(own).isSymLink());
    EXPECT_EQ(ReadFile(real), SaveProject(project));
}

QStringList EntriesOf(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                                  QDir::Name);
}

// The answer of a save in a child: "saved", or the error it raised.
QString SaveAnswer(TZarvProjectManager& project)
{
    try {
        project.Save();
    } catch (const EFileSaveError& error) {
        return error.Message();
    }
    return QStringLiteral("saved");
}

// A backup that cannot be made (a read-only folder for the link the user
// saved to; the copy to another file system cut short by a full disk, a
// file size limit here) does not stop the save, and the previous backup
// stays as it was.
TEST_F(ZvProjTest, ABackupThatCannotBeMadeNeitherStopsTheSaveNorLosesThePreviousOne)
{
    if (const QString withheld = OrdinaryUserWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    // A folder any user reaches (the test's own may lie in one only its
    // owner may enter).
    QTemporaryDir open(QStringLiteral("/tmp/tessvar-save-XXXXXX"));
    ASSERT_TRUE(open.isValid());
    const auto InOpen = [&](const QString& name) { return QDir(open.path()).filePath(name); };
    ASSERT_EQ(::chmod(QFile::encodeName(open.path()).constData(), 0755), 0);
    ASSERT_TRUE(QDir(open.path()).mkdir(QStringLiteral("ro")));
    ASSERT_TRUE(QDir(open.path()).mkdir(QStringLiteral("rw")));
    ASSERT_EQ(::chmod(QFile::encodeName(InOpen(QStringLiteral("rw"))).constData(), 0777), 0);
    const QString real = InOpen(QStringLiteral("rw/p.zrf"));
    TZarvProjectManager project(nullptr);
    SaveNewProject(project, real);
    ASSERT_EQ(::chmod(QFile::encodeName(real).constData(), 0666), 0);
    const QString link = InOpen(QStringLiteral("ro/link.zrf"));
    ASSERT_EQ(::symlink("../rw/p.zrf", QFile::encodeName(link).constData()), 0);
    WriteFile(InOpen(QStringLiteral("ro/link.~zr")), "older backup");
    ASSERT_EQ(::chmod(QFile::encodeName(InOpen(QStringLiteral("ro"))).constData(), 0555), 0);
    const auto writable =
        qScopeGuard([&] { ::chmod(QFile::encodeName(InOpen(QStringLiteral("ro"))).constData(), 0755); });

    project.SetFileName(link);
    project.NewGlobalPage();
    const QByteArray expected = SaveProject(project);
    project.NewGlobalPage();
    const QString answer = RunAsOrdinaryUser([&] {
        if (::access(QFile::encodeName(InOpen(QStringLiteral("ro"))).constData(), W_OK) == 0)
            return QStringLiteral("<the folder is writable>");
        if (::access(QFile::encodeName(real).constData(), W_OK) != 0)
            return QStringLiteral("<the project file cannot be reached>");
        return SaveAnswer(project);
    });
    EXPECT_EQ(answer, QStringLiteral("saved")) << answer.toStdString();
    EXPECT_EQ(ReadFile(real), SaveProject(project));
    EXPECT_NE(ReadFile(real), expected);
    EXPECT_EQ(ReadFile(InOpen(QStringLiteral("ro/link.~zr"))), "older backup");
    EXPECT_EQ(EntriesOf(InOpen(QStringLiteral("ro"))), QStringList({"link.zrf", "link.~zr"}));
    EXPECT_EQ(EntriesOf(InOpen(QStringLiteral("rw"))), QStringList({"p.zrf"}));

    // The project file on another file system (no second name of it can be
    // made beside the link), large, with a limit that the new project fits
    // under and the copy of the old one does not.
    QTemporaryDir other(QStringLiteral("/dev/shm/tessvar-save-XXXXXX"));
    if (!other.isValid() || !OnTwoFileSystems(open.path(), other.path()))
        GTEST_SKIP() << "no second file system at /dev/shm";
    const QString far = QDir(other.path()).filePath(QStringLiteral("p.zrf"));
    const QByteArray large(65536, 'o');
    WriteFile(far, large);
    const QString farLink = InOpen(QStringLiteral("far.zrf"));
    ASSERT_EQ(::symlink(QFile::encodeName(far).constData(), QFile::encodeName(farLink).constData()), 0);
    WriteFile(InOpen(QStringLiteral("far.~zr")), "older backup");
    project.SetFileName(farLink);
    ASSERT_LT(SaveProject(project).size(), 16384);
    const QString limited = RunWithFileSizeLimit(16384, [&] { return SaveAnswer(project); });
    EXPECT_EQ(limited, QStringLiteral("saved")) << limited.toStdString();
    EXPECT_EQ(ReadFile(far), SaveProject(project));
    EXPECT_EQ(ReadFile(InOpen(QStringLiteral("far.~zr"))), "older backup");
    EXPECT_EQ(EntriesOf(open.path()), QStringList({"far.zrf", "far.~zr", "ro", "rw"}));
    EXPECT_EQ(EntriesOf(other.path()), QStringList({"p.zrf"}));
    // With room the backup is a copy of the old file.
    const QByteArray previous = ReadFile(far);
    project.NewGlobalPage();
    project.Save();
    EXPECT_EQ(ReadFile(InOpen(QStringLiteral("far.~zr"))), previous);
    EXPECT_EQ(EntriesOf(open.path()), QStringList({"far.zrf", "far.~zr", "ro", "rw"}));
}

// A folder's entries, each link with where it leads ("name -> target").
std::string LayoutOf(const QString& folder)
{
    std::string layout;
    for (const QString& name : EntriesOf(folder)) {
        char target[4096];
        const QByteArray path = QFile::encodeName(QDir(folder).filePath(name));
        const ssize_t length = ::readlink(path.constData(), target, sizeof target);
        layout += (length < 0 ? name : name + " -> " + QFile::decodeName(QByteArray(target, length)))
                      .toStdString() +
                  "; ";
    }
    return layout;
}

// What stands at the backup name is replaced there, whatever it is, and
// nothing a link there leads to is written, made or renamed: on the road of
// a second name of the old file, and on the road of a copy, taken while
// another process holds the old file locked. A folder at the name, or a link
// to one, is left alone and the save goes on. The saves run as a made-up
// user, whom the read-only folder binds.
TEST_F(ZvProjTest, TheBackupReplacesItsOwnNameNeverWhereALinkThereLeads)
{
    if (const QString withheld = OrdinaryUserWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    QTemporaryDir open(QStringLiteral("/tmp/tessvar-backup-XXXXXX"));
    ASSERT_TRUE(open.isValid());
    const auto InOpen = [&](const QString& name) { return QDir(open.path()).filePath(name); };
    const auto Chmod = [&](const QString& name, mode_t mode) {
        return ::chmod(QFile::encodeName(InOpen(name)).constData(), mode);
    };
    const auto Symlink = [&](const QByteArray& target, const QString& name) {
        return ::symlink(target.constData(), QFile::encodeName(InOpen(name)).constData());
    };
    ASSERT_EQ(Chmod(QString(), 0755), 0);
    for (const QString folder : {"other", "ro"}) {
        ASSERT_TRUE(QDir(open.path()).mkdir(folder));
        ASSERT_EQ(Chmod(folder, 0777), 0);
        WriteFile(InOpen(folder + "/precious.txt"), "PRECIOUS " + folder.toUtf8() + '\n');
        ASSERT_EQ(Chmod(folder + "/precious.txt", 0666), 0);
    }
    ASSERT_EQ(Symlink("precious.txt", QStringLiteral("other/chain2")), 0);
    ASSERT_EQ(Chmod(QStringLiteral("ro"), 0555), 0);
    const auto writable = qScopeGuard([&] { Chmod(QStringLiteral("ro"), 0755); });
    const std::string other = LayoutOf(InOpen(QStringLiteral("other")));
    const std::string readOnly = LayoutOf(InOpen(QStringLiteral("ro")));

    struct TCase {
        const char* Name;
        std::function<int(const QString& backup)> Make;
        bool Replaced;
    };
    const TCase cases[] = {
        {"link", [&](const QString& b) { return Symlink("../other/precious.txt", b); }, true},
        {"dangling link",
         [&](const QString& b) {
             return Symlink(QFile::encodeName(InOpen(QStringLiteral("other/new.txt"))), b);
         },
         true},
        {"link into a read-only folder", [&](const QString& b) { return Symlink("../ro/precious.txt", b); },
         true},
        {"chain of three links",
         [&](const QString& b) {
             return Symlink("chain1", b) | Symlink("../other/chain2", QFileInfo(b).path() + "/chain1");
         },
         true},
        {"folder", [&](const QString& b) { return int(!QDir(open.path()).mkpath(b + "/inside")); }, false},
        {"link to a folder", [&](const QString& b) { return Symlink("../other", b); }, false},
    };
    int number = 0;
    for (const TCase& row : cases) {
        for (const bool copy : {false, true}) {
            SCOPED_TRACE(std::string(row.Name) + (copy ? ", copy" : ", second name"));
            const QString folder = QStringLiteral("case%1").arg(++number);
            ASSERT_TRUE(QDir(open.path()).mkdir(folder));
            ASSERT_EQ(Chmod(folder, 0777), 0);
            const QString fileName = InOpen(folder + "/proj.zrf");
            const QString backup = InOpen(folder + "/proj.~zr");
            TZarvProjectManager project(nullptr);
            const QByteArray previous = SaveNewProject(project, fileName);
            ASSERT_EQ(::chmod(QFile::encodeName(fileName).constData(), 0666), 0);
            ASSERT_EQ(row.Make(folder + "/proj.~zr"), 0);
            std::string layout = LayoutOf(InOpen(folder));
            struct stat old {};
            ASSERT_EQ(::stat(QFile::encodeName(fileName).constData(), &old), 0);
            // A lock held on the old file keeps a second name of it from being made.
            const int lock =
                copy ? ::open(QFile::encodeName(fileName).constData(), O_RDONLY | O_CLOEXEC) : -1;
            ASSERT_TRUE(!copy || (lock >= 0 && ::flock(lock, LOCK_EX) == 0));
            project.NewGlobalPage();
            const QString answer = RunAsOrdinaryUser([&] { return SaveAnswer(project); });
            if (lock >= 0)
                ::close(lock);
            EXPECT_EQ(answer, QStringLiteral("saved")) << answer.toStdString();
            EXPECT_EQ(ReadFile(fileName), SaveProject(project));
            EXPECT_EQ(ReadFile(InOpen(QStringLiteral("other/precious.txt"))), "PRECIOUS other\n");
            EXPECT_EQ(ReadFile(InOpen(QStringLiteral("ro/precious.txt"))), "PRECIOUS ro\n");
            EXPECT_EQ(LayoutOf(InOpen(QStringLiteral("other"))), other);
            EXPECT_EQ(LayoutOf(InOpen(QStringLiteral("ro"))), readOnly);
            if (row.Replaced) {
                // QRegularExpression rather than std::regex: GCC 12 at -O2
                // reports std::regex's own compiler as reading a moved
                // std::function uninitialised (-Wmaybe-uninitialized inside
                // <regex>, a false alarm).
                layout = QString::fromStdString(layout)
                             .replace(QRegularExpression(QStringLiteral("proj\\.~zr -> [^;]*")),
                                      QStringLiteral("proj.~zr"))
                             .toStdString();
                struct stat kept {};
                ASSERT_EQ(::lstat(QFile::encodeName(backup).constData(), &kept), 0);
                EXPECT_TRUE(S_ISREG(kept.st_mode));
                EXPECT_EQ(ReadFile(backup), previous);
                // The second name is the old file itself; the copy is a new file.
                EXPECT_EQ(kept.st_ino == old.st_ino, !copy);
            } else {
                EXPECT_TRUE(QFileInfo(backup).isDir());
            }
            EXPECT_EQ(LayoutOf(InOpen(folder)), layout);
        }
    }
}

// A save killed at any of its steps: the project file is the old or the new
// project, never missing; the backup is the previous backup or the old file,
// and the new file is only in place once the old one is the backup. Saved
// under its own backup name, the file is only ever replaced. A link at the
// backup name is the previous backup: the file it leads to keeps its bytes
// at every step, also where the backup is a copy (the old file locked).
TEST_F(ZvProjTest, ASaveKilledAtAnyStepLosesNoFile)
{
    if (const QString withheld = TracingWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    struct TCase {
        const char* Name;
        const char* Backup;
        bool Linked;
        bool Locked;
    };
    const QString precious = Path(QStringLiteral("precious.txt"));
    WriteFile(precious, "PRECIOUS");
    for (const TCase& row :
         {TCase{"cards.zrf", "cards.~zr", false, false}, TCase{"same.~zr", "same.~zr", false, false},
          TCase{"linked.zrf", "linked.~zr", true, false}, TCase{"locked.zrf", "locked.~zr", true, true}}) {
        SCOPED_TRACE(row.Name);
        const QString fileName = Path(QString::fromLatin1(row.Name));
        const QString backupName = Path(QString::fromLatin1(row.Backup));
        TZarvProjectManager project(nullptr);
        const QByteArray old = SaveNewProject(project, fileName);
        const QByteArray older = fileName == backupName ? old : QByteArray("older backup");
        const auto BackupNow = [&] {
            return QFileInfo(backupName).isSymLink() ? QByteArray("<link>") : ReadFile(backupName);
        };
        int lock = -1;
        ino_t oldFile = 0;
        // Every run starts from the same files.
        const auto Reset = [&] {
            if (lock >= 0)
                ::close(lock);
            QFile::remove(fileName);
            QFile::remove(backupName);
            WriteFile(fileName, old);
            struct stat st {};
            ASSERT_EQ(::stat(QFile::encodeName(fileName).constData(), &st), 0);
            oldFile = st.st_ino;
            if (row.Linked)
                ASSERT_EQ(::symlink("precious.txt", QFile::encodeName(backupName).constData()), 0);
            else if (fileName != backupName)
                WriteFile(backupName, older);
            lock = row.Locked ? ::open(QFile::encodeName(fileName).constData(), O_RDONLY | O_CLOEXEC) : -1;
            ASSERT_TRUE(!row.Locked || (lock >= 0 && ::flock(lock, LOCK_EX) == 0));
        };
        const auto unlock = qScopeGuard([&] {
            if (lock >= 0)
                ::close(lock);
        });
        Reset();
        const QByteArray previous = BackupNow();
        project.NewGlobalPage();
        const QByteArray saved = SaveProject(project);
        int failures = 0;
        const int killed =
            StopAtEverySystemCall([&] { project.Save(); },
                                  [&](int step) {
                                      const QByteArray now = ReadFile(fileName);
                                      const QByteArray backup = BackupNow();
                                      const bool whole = now == old || now == saved;
                                      const bool kept =
                                          (now == old ? backup == previous || backup == old
                                                      : backup == old || fileName == backupName) &&
                                          ReadFile(precious) == "PRECIOUS";
                                      if (!whole || !kept)
                                          ADD_FAILURE() << "killed at step " << step << ": file "
                                                        << now.left(40).toHex().constData() << ", backup "
                                                        << backup.left(40).constData();
                                      failures += !whole || !kept;
                                      Reset();
                                  },
                                  TAfterStop::Kill);
        EXPECT_GT(killed, 5);
        EXPECT_EQ(failures, 0);
        EXPECT_EQ(ReadFile(fileName), saved);
        EXPECT_EQ(BackupNow(), fileName == backupName ? saved : old);
        // The backup of the run that completed: the old file itself, or a
        // copy of it where the old file was locked.
        struct stat kept {};
        ASSERT_EQ(::lstat(QFile::encodeName(backupName).constData(), &kept), 0);
        EXPECT_EQ(kept.st_ino == oldFile, fileName != backupName && !row.Locked);
    }
    EXPECT_EQ(ReadFile(precious), "PRECIOUS");
    EXPECT_EQ(EntriesOf(Folder.path()),
              QStringList({"cards.zrf", "cards.~zr", "linked.zrf", "linked.~zr", "locked.zrf", "locked.~zr",
                           "precious.txt", "same.~zr"}));
}

// Saves the project while another descriptor holds its file locked (none
// when locked is false), which keeps a second name of it from being made.
QString SaveWhileLocked(const QString& file, bool locked, const std::function<QString()>& save)
{
    const int lock = locked ? ::open(QFile::encodeName(file).constData(), O_RDONLY | O_CLOEXEC) : -1;
    if (locked && (lock < 0 || ::flock(lock, LOCK_EX) != 0))
        return QStringLiteral("<cannot lock the project>");
    const auto unlock = qScopeGuard([lock] {
        if (lock >= 0)
            ::close(lock);
    });
    return save();
}

// A 0600 project (umask 022) saved with nothing, an older 0644 backup and a
// link to a 0644 file at its ".~zr" name: on the road of a second name, on
// the road of a copy taken while another descriptor holds the project
// locked, and on that of a copy of a project reached through a link to
// another file system (where there is one). The backup is 0600 on each,
// the project stays 0600, and nothing in the folder is more open.
TEST_F(ZvProjTest, TheBackupIsAsPrivateAsItsProjectOnEveryRoad)
{
    const TUmask umask(022);
    QTemporaryDir far(QStringLiteral("/dev/shm/tessvar-private-XXXXXX"));
    const bool farRoad = far.isValid() && OnTwoFileSystems(Folder.path(), far.path());
    const QString open = Path(QStringLiteral("open.txt"));
    WriteFile(open, "OPEN");
    ASSERT_EQ(::chmod(QFile::encodeName(open).constData(), 0644), 0);
    struct TAtBackup {
        const char* Name;
        std::function<void(const QString& backup)> Make;
    };
    const TAtBackup atBackup[] = {
        {"nothing", [](const QString&) {}},
        {"a 0644 file",
         [](const QString& backup) {
             WriteFile(backup, "older backup");
             ::chmod(QFile::encodeName(backup).constData(), 0644);
         }},
        {"a link",
         [&](const QString& backup) {
             ::symlink(QFile::encodeName(open).constData(), QFile::encodeName(backup).constData());
         }},
    };
    enum class TRoad { SecondName, Locked, OtherFileSystem };
    int number = 0;
    for (const TRoad road : {TRoad::SecondName, TRoad::Locked, TRoad::OtherFileSystem}) {
        if (road == TRoad::OtherFileSystem && !farRoad)
            continue;
        for (const TAtBackup& at : atBackup) {
            SCOPED_TRACE(std::string(at.Name) + " on road " + std::to_string(int(road)));
            const QString folder = Path(QStringLiteral("case%1").arg(++number));
            ASSERT_TRUE(QDir().mkdir(folder));
            const QString fileName = QDir(folder).filePath(QStringLiteral("p.zrf"));
            const QString real = road == TRoad::OtherFileSystem
                                     ? QDir(far.path()).filePath(QStringLiteral("p%1.zrf").arg(number))
                                     : fileName;
            TZarvProjectManager project(nullptr);
            const QByteArray previous = SaveNewProject(project, real);
            if (real != fileName) {
                ASSERT_EQ(
                    ::symlink(QFile::encodeName(real).constData(), QFile::encodeName(fileName).constData()),
                    0);
            }
            project.SetFileName(fileName);
            ASSERT_EQ(::chmod(QFile::encodeName(real).constData(), 0600), 0);
            struct stat old {};
            ASSERT_EQ(::stat(QFile::encodeName(real).constData(), &old), 0);
            const QString backup = QDir(folder).filePath(QStringLiteral("p.~zr"));
            at.Make(backup);
            project.NewGlobalPage();
            const QString answer =
                SaveWhileLocked(real, road == TRoad::Locked, [&] { return SaveAnswer(project); });
            EXPECT_EQ(answer.toStdString(), "saved");
            EXPECT_EQ(ReadFile(real), SaveProject(project));
            EXPECT_EQ(ReadFile(backup), previous);
            const std::string expected = "100600 " + std::to_string(old.st_gid);
            EXPECT_EQ(FileAccess(real), expected);
            EXPECT_EQ(FileAccess(backup), expected);
            EXPECT_EQ(MoreOpenThan(folder, 0600, old.st_gid).join("; ").toStdString(), "");
            struct stat kept {};
            ASSERT_EQ(::lstat(QFile::encodeName(backup).constData(), &kept), 0);
            EXPECT_EQ(kept.st_ino == old.st_ino, road == TRoad::SecondName);
        }
    }
    EXPECT_EQ(ReadFile(open), "OPEN");
    EXPECT_EQ(FileAccess(open).substr(0, 6), "100644");
    if (!farRoad)
        GTEST_SKIP() << "no second file system at /dev/shm: the copy across file systems was not tried";
}

// A saver of group H who is also a member of G, as a made-up user: a 0640
// project of group G stays of G and 0640 and so does its backup, on the
// road of a second name and on that of a copy; a project of a group G2 the
// saver is no member of ends of H and 0600, and so does a copy of it. A
// backup that is a second name is the old file itself, as it was.
TEST_F(ZvProjTest, AProjectAndItsBackupKeepTheirGroupWhereTheSaverMayGiveIt)
{
    if (const QString withheld = MadeUpUsersWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    const TMadeUpSaver saver = MadeUpSaver();
    QTemporaryDir open(QStringLiteral("/tmp/tessvar-group-XXXXXX"));
    ASSERT_TRUE(open.isValid());
    ASSERT_EQ(::chown(QFile::encodeName(open.path()).constData(), saver.User, saver.Own), 0);
    int number = 0;
    for (const gid_t group : {saver.Member, saver.Stranger}) {
        for (const bool copy : {false, true}) {
            SCOPED_TRACE(std::string(group == saver.Member ? "member" : "stranger") +
                         (copy ? ", copy" : ", second name"));
            const QString name = QStringLiteral("p%1").arg(++number);
            const QString fileName = QDir(open.path()).filePath(name + ".zrf");
            const QString backup = QDir(open.path()).filePath(name + ".~zr");
            TZarvProjectManager project(nullptr);
            const QByteArray previous = SaveNewProject(project, fileName);
            ASSERT_EQ(::chown(QFile::encodeName(fileName).constData(), saver.User, group), 0);
            ASSERT_EQ(::chmod(QFile::encodeName(fileName).constData(), 0640), 0);
            const std::string before = FileAccess(fileName);
            project.NewGlobalPage();
            const QString answer = SaveWhileLocked(
                fileName, copy, [&] { return RunAsSaver(saver, [&] { return SaveAnswer(project); }); });
            EXPECT_EQ(answer.toStdString(), "saved");
            EXPECT_EQ(ReadFile(fileName), SaveProject(project));
            EXPECT_EQ(ReadFile(backup), previous);
            const std::string expected = group == saver.Member ? "100640 " + std::to_string(saver.Member)
                                                               : "100600 " + std::to_string(saver.Own);
            EXPECT_EQ(FileAccess(fileName), expected);
            EXPECT_EQ(FileAccess(backup), copy ? expected : before);
        }
    }
}

// Another user who opens every name that appears in a folder it may list,
// while a private project (0600, umask 022) is saved there 100 times, reads
// no byte of it: saves in turn on the road of a second name, and on that of
// a copy (another descriptor holds the project locked) with nothing and
// with a link at the backup name.
TEST_F(ZvProjTest, AnotherUserReadsNoByteOfAPrivateProjectWhileItIsSaved)
{
    if (const QString withheld = MadeUpUsersWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    const TUmask umask(022);
    QTemporaryDir open(QStringLiteral("/tmp/tessvar-probe-XXXXXX"));
    ASSERT_TRUE(open.isValid());
    ASSERT_EQ(::chmod(QFile::encodeName(open.path()).constData(), 0755), 0);
    const QString fileName = QDir(open.path()).filePath(QStringLiteral("x.zrf"));
    TZarvProjectManager project(nullptr);
    SaveNewProject(project, fileName);
    for (int page = 0; page < 20; ++page)
        project.NewGlobalPage();
    ASSERT_EQ(::chmod(QFile::encodeName(fileName).constData(), 0600), 0);
    TNameProbe probe(open.path(), MadeUpWatcher(), 60);
    ASSERT_EQ(probe.Failure(), QString()) << probe.Failure().toStdString();
    const QByteArray backup = QFile::encodeName(QDir(open.path()).filePath(QStringLiteral("x.~zr")));
    const QByteArray elsewhere = QFile::encodeName(Path(QStringLiteral("elsewhere.txt")));
    for (int save = 0; save < 100; ++save) {
        if (save % 3 != 0)
            ::unlink(backup.constData());
        if (save % 3 == 2) {
            ASSERT_EQ(::symlink(elsewhere.constData(), backup.constData()), 0);
        }
        const QString answer = SaveWhileLocked(fileName, save % 3 != 0, [&] { return SaveAnswer(project); });
        ASSERT_EQ(answer, QStringLiteral("saved")) << save << ": " << answer.toStdString();
    }
    const TNameProbe::TReport report = probe.Stop();
    EXPECT_EQ(report.Failure.toStdString(), "");
    // Each save names its temporary, the backup's, the backup and the project.
    EXPECT_GE(report.Seen, 400);
    EXPECT_EQ(report.Opened.join(' ').toStdString(), "")
        << report.Opened.size() << " names opened, " << report.BytesRead << " bytes read";
    EXPECT_EQ(report.BytesRead, 0);
    EXPECT_EQ(FileAccess(fileName).substr(0, 6), "100600");
    EXPECT_EQ(FileAccess(QFile::decodeName(backup)).substr(0, 6), "100600");
}

// What the made-up user uid of group gid gets opening name: "reads" where
// it gets the file's bytes, else "<denied>" or what went wrong.
std::string WhatUserGets(uid_t uid, gid_t gid, const QString& name)
{
    const QByteArray got = OpenedAs(uid, gid, {}, name);
    if (got == ReadFile(name))
        return "reads";
    return got.startsWith('<') ? got.toStdString() : "reads other bytes";
}

// The backup of the project file fileName (".zrf").
QString BackupOf(const QString& fileName)
{
    return fileName.left(fileName.lastIndexOf(u'.')) + QStringLiteral(".~zr");
}

// The ACL of a project its owner shares with the group named alone.
QString SharedWith(gid_t named)
{
    return QStringLiteral("u::rw-,g::---,g:%1:r--,m::r--,o::---").arg(named);
}

// A project shared the way its owner chose, through its ACL (user::rw-
// group::--- group:G2:r-- mask::r-- other::---, 0640 to ls): a member of its
// group G is denied and a member of G2 reads it. So it stays after a save on
// the road of a second name and on that of a copy (another descriptor holds
// the project locked), with unnamed temporaries and without, for the project
// and its backup alike, whose ACL, group and mode are the old ones.
TEST_F(ZvProjTest, AProjectSharedThroughItsAclKeepsItsReadersOnEveryRoad)
{
    QTemporaryDir open(QStringLiteral("/tmp/tessvar-acl-XXXXXX"));
    ASSERT_EQ(OpenFolder(open), QString());
    if (const QString skip = WhyNoAclTest(open.path()); !skip.isEmpty())
        GTEST_SKIP() << skip.toStdString();
    const TSharers people = MadeUpSharers();
    int number = 0;
    for (const bool unnamed : {true, false}) {
        for (const bool copy : {false, true}) {
            SCOPED_TRACE(std::string(unnamed ? "unnamed" : "named") + " temporaries, " +
                         (copy ? "copy" : "second name"));
            const QString fileName = QDir(open.path()).filePath(QStringLiteral("p%1.zrf").arg(++number));
            const QString backup = BackupOf(fileName);
            TZarvProjectManager project(nullptr);
            const QByteArray previous = SaveNewProject(project, fileName);
            ASSERT_EQ(::chown(QFile::encodeName(fileName).constData(), 0, people.Group), 0);
            ASSERT_EQ(SetAccessAcl(fileName, SharedWith(people.Named)), QString());
            const std::string acl = AccessAclOf(fileName);
            const std::string before = FileAccess(fileName);
            ASSERT_EQ(WhatUserGets(people.GroupMember, people.Group, fileName), "<denied>");
            ASSERT_EQ(WhatUserGets(people.NamedMember, people.Named, fileName), "reads");
            project.NewGlobalPage();
            const QString answer = RunInChild(
                [&] { return unnamed ? QString() : WithoutUnnamedFiles(); },
                [&] { return SaveWhileLocked(fileName, copy, [&] { return SaveAnswer(project); }); });
            EXPECT_EQ(answer.toStdString(), "saved");
            EXPECT_EQ(ReadFile(fileName), SaveProject(project));
            EXPECT_EQ(ReadFile(backup), previous);
            for (const QString& saved : {fileName, backup}) {
                SCOPED_TRACE(saved.toStdString());
                EXPECT_EQ(AccessAclOf(saved), acl);
                EXPECT_EQ(FileAccess(saved), before);
                EXPECT_EQ(WhatUserGets(people.GroupMember, people.Group, saved), "<denied>");
                EXPECT_EQ(WhatUserGets(people.NamedMember, people.Named, saved), "reads");
            }
        }
    }
}

// Another user X, whom only the folders' default ACLs name (user:X:rwx in
// one, user:X:r-- in the other), opens every name appearing in both while a
// 0640 project in each, which does not name X, is saved 100 times: in turn
// on the road of a second name and on that of a copy (another descriptor
// holds the project locked), the first half with unnamed temporaries and the
// second without. X reads no byte, and cannot read a project or its backup
// after, which hold no entry of the folder's. A project whose own ACL names
// X stays readable to X, backup included; and a brand-new project takes the
// folder's default ACL, as any new file does.
TEST_F(ZvProjTest, AUserNamedOnlyByAFoldersDefaultAclReadsNoByteOfAProject)
{
    if (const QString withheld = MadeUpUsersWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    const TUmask umask(022);
    const uid_t x = MadeUpSharers().Outsider;
    QTemporaryDir writable(QStringLiteral("/tmp/tessvar-default-XXXXXX"));
    QTemporaryDir readable(QStringLiteral("/tmp/tessvar-default-XXXXXX"));
    ASSERT_EQ(OpenFolder(writable), QString());
    ASSERT_EQ(OpenFolder(readable), QString());
    if (const QString missing = AclsMissingIn(writable.path()); !missing.isEmpty())
        GTEST_SKIP() << missing.toStdString();
    const QString folders[] = {writable.path(), readable.path()};
    const QString defaults[] = {QStringLiteral("u::rwx,u:%1:rwx,g::r-x,m::rwx,o::r-x").arg(x),
                                QStringLiteral("u::rwx,u:%1:r--,g::r-x,m::r-x,o::r-x").arg(x)};
    QString fileNames[2];
    TZarvProjectManager projects[2] = {TZarvProjectManager(nullptr), TZarvProjectManager(nullptr)};
    for (int i = 0; i < 2; ++i) {
        // Made before the folder has its default ACL, so that it has none.
        fileNames[i] = QDir(folders[i]).filePath(QStringLiteral("p.zrf"));
        SaveNewProject(projects[i], fileNames[i]);
        for (int page = 0; page < 20; ++page)
            projects[i].NewGlobalPage();
        ASSERT_EQ(::chmod(QFile::encodeName(fileNames[i]).constData(), 0640), 0);
        ASSERT_EQ(SetDefaultAcl(folders[i], defaults[i]), QString());
    }
    // A project whose owner named X, in a folder of its own (not watched),
    // which takes the first folder's default ACL.
    const QString namedFolder = QDir(folders[0]).filePath(QStringLiteral("named"));
    ASSERT_TRUE(QDir().mkdir(namedFolder));
    const QString named = QDir(namedFolder).filePath(QStringLiteral("n.zrf"));
    TZarvProjectManager namedProject(nullptr);
    SaveNewProject(namedProject, named);
    ASSERT_EQ(SetAccessAcl(named, QStringLiteral("u::rw-,u:%1:r--,g::r--,m::r--,o::---").arg(x)), QString());

    TNameProbe probes[2] = {TNameProbe(folders[0], x, 60), TNameProbe(folders[1], x, 60)};
    for (const TNameProbe& probe : probes)
        ASSERT_EQ(probe.Failure().toStdString(), "");
    const auto saveRange = [&](int from, int to) {
        for (int save = from; save < to; ++save) {
            const int i = save % 2;
            const QString answer =
                SaveWhileLocked(fileNames[i], save / 2 % 2 == 1, [&] { return SaveAnswer(projects[i]); });
            if (answer != QStringLiteral("saved"))
                return QStringLiteral("save %1: ").arg(save) + answer;
        }
        return QStringLiteral("saved");
    };
    EXPECT_EQ(saveRange(0, 50).toStdString(), "saved");
    EXPECT_EQ(
        RunInChild([] { return WithoutUnnamedFiles(); }, [&] { return saveRange(50, 100); }).toStdString(),
        "saved");
    int seen = 0;
    for (TNameProbe& probe : probes) {
        const TNameProbe::TReport report = probe.Stop();
        EXPECT_EQ(report.Failure.toStdString(), "");
        EXPECT_EQ(report.Opened.join(' ').toStdString(), "")
            << report.Opened.size() << " names opened, " << report.BytesRead << " bytes read";
        EXPECT_EQ(report.BytesRead, 0);
        seen += report.Seen;
    }
    // Each save names its temporary, the backup's, the backup and the project.
    EXPECT_GE(seen, 400);
    for (const QString& fileName : fileNames) {
        for (const QString& saved : {fileName, BackupOf(fileName)}) {
            SCOPED_TRACE(saved.toStdString());
            EXPECT_EQ(WhatUserGets(x, x, saved), "<denied>");
            EXPECT_EQ(AccessAclOf(saved), "user::rw-,group::r--,other::---");
        }
    }

    for (const bool copy : {false, true}) {
        namedProject.NewGlobalPage();
        EXPECT_EQ(SaveWhileLocked(named, copy, [&] { return SaveAnswer(namedProject); }).toStdString(),
                  "saved");
        for (const QString& saved : {named, BackupOf(named)})
            EXPECT_EQ(WhatUserGets(x, x, saved), "reads") << saved.toStdString() << (copy ? ", copy" : "");
    }
    const QString fresh = QDir(folders[1]).filePath(QStringLiteral("fresh.zrf"));
    TZarvProjectManager freshProject(nullptr);
    SaveNewProject(freshProject, fresh);
    EXPECT_EQ(WhatUserGets(x, x, fresh), "reads");
}

// Root saves a made-up user's private project (an administrator's save), on
// the road of a second name and on that of a copy (another descriptor holds
// the project locked): the project and its backup stay the user's, 0600,
// and the user reads and writes both.
TEST_F(ZvProjTest, ARootSaveLeavesTheProjectItsOwners)
{
    if (const QString withheld = MadeUpUsersWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    const TMadeUpSaver user = MadeUpSaver();
    QTemporaryDir open(QStringLiteral("/tmp/tessvar-owner-XXXXXX"));
    ASSERT_EQ(OpenFolder(open), QString());
    for (const bool copy : {false, true}) {
        SCOPED_TRACE(copy ? "copy" : "second name");
        const QString fileName = QDir(open.path()).filePath(QStringLiteral("p%1.zrf").arg(copy));
        TZarvProjectManager project(nullptr);
        const QByteArray previous = SaveNewProject(project, fileName);
        ASSERT_EQ(::chown(QFile::encodeName(fileName).constData(), user.User, user.Own), 0);
        ASSERT_EQ(::chmod(QFile::encodeName(fileName).constData(), 0600), 0);
        const std::string before = FileAccess(fileName);
        project.NewGlobalPage();
        EXPECT_EQ(SaveWhileLocked(fileName, copy, [&] { return SaveAnswer(project); }).toStdString(),
                  "saved");
        const QString backup = BackupOf(fileName);
        EXPECT_EQ(ReadFile(backup), previous);
        for (const QString& saved : {fileName, backup}) {
            SCOPED_TRACE(saved.toStdString());
            EXPECT_EQ(QFileInfo(saved).ownerId(), user.User);
            EXPECT_EQ(FileAccess(saved), before);
            EXPECT_EQ(OpenedAs(user.User, user.Own, {}, saved, true), ReadFile(saved));
        }
    }
}

// Where the file system refuses to write an ACL (fsetxattr and fremovexattr
// fail with EOPNOTSUPP in a child), a 0640 project shared through its ACL
// with G2 is saved with its owner's bits alone, 0600, so neither its group
// nor G2 reads it; so is its backup where it is a copy (where it is a second
// name, it is the old file as it was). A plain 0644 project, which needs no
// ACL written, stays 0644, backup included.
TEST_F(ZvProjTest, AProjectWhoseAclCannotBeWrittenIsSavedPrivate)
{
    const TUmask umask(022);
    QTemporaryDir open(QStringLiteral("/tmp/tessvar-acl-XXXXXX"));
    ASSERT_EQ(OpenFolder(open), QString());
    if (const QString skip = WhyNoAclTest(open.path()); !skip.isEmpty())
        GTEST_SKIP() << skip.toStdString();
    const TSharers people = MadeUpSharers();
    for (const bool copy : {false, true}) {
        SCOPED_TRACE(copy ? "copy" : "second name");
        const QString sharedName = QDir(open.path()).filePath(QStringLiteral("shared%1.zrf").arg(copy));
        const QString plainName = QDir(open.path()).filePath(QStringLiteral("plain%1.zrf").arg(copy));
        TZarvProjectManager sharedProject(nullptr);
        TZarvProjectManager plainProject(nullptr);
        SaveNewProject(sharedProject, sharedName);
        SaveNewProject(plainProject, plainName);
        ASSERT_EQ(::chown(QFile::encodeName(sharedName).constData(), 0, people.Group), 0);
        ASSERT_EQ(SetAccessAcl(sharedName, SharedWith(people.Named)), QString());
        ASSERT_EQ(::chmod(QFile::encodeName(plainName).constData(), 0644), 0);
        const std::string sharedBefore = FileAccess(sharedName);
        const std::string sharedAcl = AccessAclOf(sharedName);
        const std::string plainBefore = FileAccess(plainName);
        const QString answer =
            RunInChild([] { return WithoutAclWrites(); },
                       [&] {
                           for (TZarvProjectManager* project : {&sharedProject, &plainProject}) {
                               project->NewGlobalPage();
                               const QString saved = SaveWhileLocked(project->FileName(), copy,
                                                                     [&] { return SaveAnswer(*project); });
                               if (saved != QStringLiteral("saved"))
                                   return saved;
                           }
                           return QStringLiteral("saved");
                       });
        EXPECT_EQ(answer.toStdString(), "saved");
        const QString sharedBackup = BackupOf(sharedName);
        const QString plainBackup = BackupOf(plainName);
        const std::string private600 = "100600 " + std::to_string(people.Group);
        EXPECT_EQ(FileAccess(sharedName), private600);
        EXPECT_EQ(AccessAclOf(sharedName), "user::rw-,group::---,other::---");
        EXPECT_EQ(FileAccess(sharedBackup), copy ? private600 : sharedBefore);
        EXPECT_EQ(AccessAclOf(sharedBackup), copy ? "user::rw-,group::---,other::---" : sharedAcl);
        for (const QString& saved : copy ? QStringList{sharedName, sharedBackup} : QStringList{sharedName}) {
            EXPECT_EQ(WhatUserGets(people.GroupMember, people.Group, saved), "<denied>")
                << saved.toStdString();
            EXPECT_EQ(WhatUserGets(people.NamedMember, people.Named, saved), "<denied>")
                << saved.toStdString();
        }
        EXPECT_EQ(FileAccess(plainName), plainBefore);
        EXPECT_EQ(FileAccess(plainBackup), plainBefore);
    }
}

// A project of A's that A shares through its ACL with B and F (user:B:rw-,
// user:F:rw-), with A's backup of the project before, in a shared folder.
// In a sticky folder (1777) B, and root without CAP_FOWNER in a sticky
// folder of F's, cannot replace A's file there: each save is refused with
// "Operation not permitted" before anything is made, so the folder stays as
// it was (names, inodes, owners, modes, ACLs and bytes); A's next save then
// succeeds, keeps A's backup of the project before and leaves no other
// name. The folder's owner F, B in a folder without the sticky bit, and
// root save as before, the old project in the backup; root's save leaves
// the project A's.
TEST_F(ZvProjTest, InASharedFolderOnlyThoseWhoMayReplaceAProjectSaveIt)
{
    QTemporaryDir top(QStringLiteral("/tmp/tessvar-sticky-XXXXXX"));
    ASSERT_EQ(OpenFolder(top), QString());
    if (const QString skip = WhyNoAclTest(top.path()); !skip.isEmpty())
        GTEST_SKIP() << skip.toStdString();
    const TSharers people = MadeUpSharers();
    const uid_t owner = people.GroupMember;
    const uid_t writer = people.NamedMember;
    const uid_t folderOwner = people.Outsider;
    const auto As = [](uid_t user) { return [user] { return BecomeUser(user, user, {}); }; };
    struct TCase {
        const char* Name;
        mode_t FolderMode;
        uid_t FolderOwner;
        std::function<QString()> BecomeSaver;
        uid_t FinalOwner; // of the project; A's where the save is refused
        bool Saved;
    };
    const TCase cases[] = {
        {"another user, sticky folder", 01777, 0, As(writer), owner, false},
        {"root without CAP_FOWNER, sticky folder of another user", 01777, folderOwner,
         [] { return DropCapability(CAP_FOWNER); }, owner, false},
        {"the folder's owner, sticky folder", 01777, folderOwner, As(folderOwner), folderOwner, true},
        {"another user, folder without the sticky bit", 0777, 0, As(writer), writer, true},
        {"root, sticky folder of another user", 01777, folderOwner, [] { return QString(); }, owner, true},
    };
    int number = 0;
    for (const TCase& row : cases) {
        SCOPED_TRACE(row.Name);
        const QString folder =
            MakeFolderOf(top.path(), QStringLiteral("case%1").arg(++number), row.FolderOwner, row.FolderMode);
        ASSERT_FALSE(folder.isEmpty());
        const QString fileName = QDir(folder).filePath(QStringLiteral("x.zrf"));
        const QString backup = BackupOf(fileName);
        TZarvProjectManager project(nullptr);
        project.New();
        project.SetFileName(fileName);
        const auto saveAs = [&](const std::function<QString()>& become) {
            return RunInChild(become, [&] { return SaveAnswer(project); }).toStdString();
        };
        ASSERT_EQ(saveAs(As(owner)), "saved");
        ASSERT_EQ(
            SetAccessAcl(
                fileName,
                QStringLiteral("u::rw-,u:%1:rw-,u:%2:rw-,g::---,m::rw-,o::---").arg(writer).arg(folderOwner)),
            QString());
        project.NewGlobalPage();
        ASSERT_EQ(saveAs(As(owner)), "saved");
        const QByteArray previous = ReadFile(fileName);
        const std::string before = FolderState(folder);
        project.NewGlobalPage();
        if (row.Saved) {
            EXPECT_EQ(saveAs(row.BecomeSaver), "saved");
        } else {
            const std::string refused =
                "Cannot create file \"" + fileName.toStdString() + "\". Operation not permitted";
            EXPECT_EQ(saveAs(row.BecomeSaver), refused);
            EXPECT_EQ(saveAs(row.BecomeSaver), refused);
            EXPECT_EQ(FolderState(folder), before);
            EXPECT_EQ(saveAs(As(owner)), "saved");
            EXPECT_EQ(QFileInfo(backup).ownerId(), owner);
        }
        EXPECT_EQ(ReadFile(fileName), SaveProject(project));
        EXPECT_EQ(ReadFile(backup), previous);
        EXPECT_EQ(QFileInfo(fileName).ownerId(), row.FinalOwner);
        EXPECT_EQ(EntriesOf(folder).join(' ').toStdString(), "x.zrf x.~zr");
    }
}

// The lines of FolderState of folder for the entries names.
std::string StateOf(const QString& folder, const QStringList& names)
{
    std::string lines;
    for (const QString& line : QString::fromStdString(FolderState(folder)).split(u'\n'))
        if (names.contains(line.section(u' ', 0, 0)))
            lines += line.toStdString() + '\n';
    return lines;
}

// What refused saves left in a sticky folder (1777) before they were
// refused up front: second names of A's project (".x.~zr.<8 hex
// digits>.tmp", A's), a temporary of B's that A cannot remove, and at the
// backup name B's copy of the project (0600) or B's link to a file A may
// write. A's saves succeed, remove A's leftovers and keep the rest as it
// was: the backup name, which A cannot replace there, keeps what stands
// there and the file a link leads to its bytes, so the save keeps no backup
// and says nothing of one.
TEST_F(ZvProjTest, AnOwnersSaveRemovesWhatRefusedSavesLeftAndKeepsWhatItCannotReplace)
{
    if (const QString withheld = MadeUpUsersWithheld(); !withheld.isEmpty())
        GTEST_SKIP() << withheld.toStdString();
    QTemporaryDir top(QStringLiteral("/tmp/tessvar-sticky-XXXXXX"));
    ASSERT_EQ(OpenFolder(top), QString());
    const TSharers people = MadeUpSharers();
    const uid_t owner = people.GroupMember;
    const uid_t writer = people.NamedMember;
    const QString elsewhere = QDir(top.path()).filePath(QStringLiteral("elsewhere.txt"));
    ASSERT_EQ(MakeFileOf(elsewhere, "ELSEWHERE", 0, 0, 0666), QString());
    const std::pair<const char*, std::function<QString(const QString&)>> atBackup[] = {
        {"B's copy", [&](const QString& name) { return MakeFileOf(name, "B's copy", writer, writer, 0600); }},
        {"B's link", [&](const QString& name) { return MakeLinkOf(name, elsewhere, writer); }},
    };
    int number = 0;
    for (const auto& [what, make] : atBackup) {
        SCOPED_TRACE(what);
        const QString folder = MakeFolderOf(top.path(), QStringLiteral("case%1").arg(++number), 0, 01777);
        ASSERT_FALSE(folder.isEmpty());
        const auto In = [&](const char* name) { return QDir(folder).filePath(QLatin1String(name)); };
        TZarvProjectManager project(nullptr);
        project.New();
        project.SetFileName(In("x.zrf"));
        const auto saveAsOwner = [&] {
            return RunAsUser(owner, [&] { return SaveAnswer(project); }).toStdString();
        };
        ASSERT_EQ(saveAsOwner(), "saved");
        for (const char* left : {".x.~zr.0123abcd.tmp", ".x.~zr.4567cdef.tmp"})
            ASSERT_EQ(
                ::link(QFile::encodeName(In("x.zrf")).constData(), QFile::encodeName(In(left)).constData()),
                0);
        ASSERT_EQ(MakeFileOf(In(".x.~zr.89abcdef.tmp"), "B's temporary", writer, writer, 0600), QString());
        ASSERT_EQ(make(In("x.~zr")), QString());
        const QStringList untouched = {".x.~zr.89abcdef.tmp", "x.~zr"};
        const std::string kept = StateOf(folder, untouched);
        for (int save = 0; save < 2; ++save) {
            project.NewGlobalPage();
            EXPECT_EQ(saveAsOwner(), "saved");
            EXPECT_EQ(ReadFile(In("x.zrf")), SaveProject(project));
            EXPECT_EQ(EntriesOf(folder).join(' ').toStdString(), ".x.~zr.89abcdef.tmp x.zrf x.~zr");
            EXPECT_EQ(StateOf(folder, untouched), kept);
        }
        EXPECT_EQ(ReadFile(elsewhere), "ELSEWHERE");
    }
}

TEST_F(ZvProjTest, ImportAndExport)
{
    TZarvProjectManager source(nullptr);
    BuildRichProject(source);
    const QString exported = Path(QStringLiteral("part.zrf"));
    TZarvPage* global = source.GlobalPageList().front();
    source.ExportProject(exported, {source.ReportList()[1], global});

    TZarvProjectManager project(nullptr);
    project.New();
    EXPECT_FALSE(project.ImportProject(Path(QStringLiteral("none.zrf")), false));
    ASSERT_TRUE(project.ImportProject(exported, false));
    EXPECT_TRUE(project.DataChanged());
    ASSERT_EQ(project.ReportList().size(), 2u);
    EXPECT_EQ(project.ReportList()[1]->Name(), QStringLiteral("Report2"));
    EXPECT_EQ(project.ReportList()[1]->Category(), QStringLiteral("Cards"));
    EXPECT_TRUE(project.DataObjectList().empty()); // not exported
    EXPECT_EQ(project.GetParam(QStringLiteral("Customer")),
              QString()); // the project's own record is not taken

    // Names that are taken: renamed by default, replaced on request, or as
    // the handler says.
    ASSERT_TRUE(project.ImportProject(exported, false));
    ASSERT_EQ(project.ReportList().size(), 3u);
    EXPECT_EQ(project.ReportList()[2]->Name(), QStringLiteral("Report21"));
    EXPECT_EQ(project.GlobalPageList().back()->Name(), QStringLiteral("GlobalPage11"));
    ASSERT_TRUE(project.ImportProject(exported, true));
    EXPECT_EQ(project.ReportList().size(), 3u);
    project.OnImportConflict = [](TZarvProjectItem*, QString& name) {
        name = QStringLiteral("Imported") + name;
    };
    ASSERT_TRUE(project.ImportProject(exported, false));
    EXPECT_NE(project.FindReport(QStringLiteral("ImportedReport2"), false), nullptr);
}

TEST_F(ZvProjTest, ModulesFromTheProjectAndFromFiles)
{
    SetModuleFileFolder(Folder.path());
    TZarvProjectManager source(nullptr);
    source.New();
    const QByteArray plain = SaveProject(source);
    // The same file with a module Report1 stored in it.
    const QByteArray stored = QByteArray(1, 7) + "Report1" + "stored";
    const QByteArray withModule = plain.left(9) + QByteArray(1, 1) + Enc(QStringLiteral("Report1")) +
                                  QByteArray(1, 0) + Bytes({int(stored.size()), 0, 0, 0}) + stored +
                                  plain.mid(10);

    // Without a script engine the stored module is passed over; asking for it
    // fails then.
    TZarvProjectManager withoutEngine(nullptr);
    LoadProject(withoutEngine, withModule);
    EXPECT_EQ(withoutEngine.ModuleManager().ModuleCount(), 0);
    EXPECT_THROW(withoutEngine.ModuleManager().GetModule(QStringLiteral("Report1")), EFOpenError);
    try {
        withoutEngine.ModuleManager().LoadModuleFile(QStringLiteral("../Report1"));
        ADD_FAILURE() << "no exception";
    } catch (const ESheetcaster& error) {
        EXPECT_EQ(error.Message(), QStringLiteral("Could not load module [../Report1]"));
    }

    ModuleFactoryProc = &StoredModuleFactory;
    TZarvProjectManager project(nullptr);
    LoadProject(project, withModule);
    project.Unload();
    LoadProject(project, withModule); // a module of the same name is replaced
    ASSERT_EQ(project.ModuleManager().ModuleCount(), 1);
    auto* module =
        dynamic_cast<TStoredModule*>(project.ModuleManager().FindModule(QStringLiteral("REPORT1")));
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(module->Payload, QByteArray("stored"));
    EXPECT_EQ(SaveProject(project).left(withModule.indexOf("stored") + 6),
              withModule.left(withModule.indexOf("stored") + 6));

    // A module file beside the program wins over the stored module; the
    // name is matched without regard to case.
    WriteFile(Path(QStringLiteral("report1.zvc")), QByteArray(1, 7) + "Report1" + "from file");
    TZarvProjectManager fromFile(nullptr);
    LoadProject(fromFile, withModule);
    module = dynamic_cast<TStoredModule*>(fromFile.ModuleManager().GetModule(QStringLiteral("Report1")));
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(module->Payload, QByteArray("from file"));

    ModuleFactoryProc = nullptr;
    TZarvProjectManager noEngine(nullptr);
    noEngine.New();
    try {
        noEngine.ModuleManager().GetModule(QStringLiteral("Report1"));
        ADD_FAILURE() << "no exception";
    } catch (const ESheetcaster& error) {
        EXPECT_EQ(error.Message(), QStringLiteral("Could not load module [Report1]"));
    }
}

} // namespace
