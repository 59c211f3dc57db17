// The project component: file names, opening and closing with their events,
// the copy stored in a form, report lists, parameters during a run, the
// engine reference and the designer library that does not exist here.
#include "report/components/QpZarv.h"

#include "platform/forms/MessageService.h"
#include "platform/objects/ClassRegistry.h"
#include "platform/objects/Filer.h"
#include "platform/objects/ObjectText.h"
#include "platform/objects/Strings.h"
#include "platform/os/ProgramFile.h"
#include "report/model/ZvDataLink.h"
#include "report/model/ZvDefine.h"
#include "report/model/ZvDirectDataView.h"
#include "report/model/ZvProj.h"
#include "report/print/QpFiler.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>

namespace {

// A control that calls back into the test when it prints.
class TProbe : public TZarvControl {
public:
    using TZarvControl::TZarvControl;
    static inline std::function<void()> OnPrint;
    void Print(TBaseReport*) override
    {
        if (OnPrint)
            OnPrint();
    }
};

QByteArray ProjectBytes(const std::function<void(TZarvProjectManager&)>& build)
{
    TZarvProjectManager manager(nullptr);
    manager.New();
    build(manager);
    TMemoryStream stream;
    manager.SaveToStream(stream);
    return stream.Bytes();
}

QByteArray ProjectWithReport(const QString& name)
{
    return ProjectBytes([&](TZarvProjectManager& m) { m.ActiveReport()->SetName(name); });
}

class QpZarvTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RecordReportWriterProcs();
        RegisterProjectComponentClass();
        RunZarvProcs(QStringLiteral("*"));
        if (!FindClass(QStringLiteral("TProbe")))
            RegisterClass<TProbe>(QStringLiteral("TProbe"), QStringLiteral("TZarvControl"));
        ASSERT_TRUE(Folder.isValid());
    }
    void TearDown() override { TProbe::OnPrint = nullptr; }

    QString Path(const QString& name) const { return QDir(Folder.path()).filePath(name); }
    QString WriteFile(const QString& name, const QByteArray& bytes) const
    {
        QFile file(Path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    }
    // Counts the events by name.
    void Watch(TZvProject& project)
    {
        project.OnBeforeOpen = [this](TObject*) { Events << QStringLiteral("BeforeOpen"); };
        project.OnAfterOpen = [this](TObject*) { Events << QStringLiteral("AfterOpen"); };
        project.OnBeforeClose = [this](TObject*) { Events << QStringLiteral("BeforeClose"); };
        project.OnAfterClose = [this](TObject*) { Events << QStringLiteral("AfterClose"); };
    }
    static QString ActiveReportName(TZvProject& project) { return project.ReportName(); }

    QTemporaryDir Folder;
    QStringList Events;
    // Runs wait with Retry while another process holds the data channel.
    TScriptedMessages Messages;
};

TEST_F(QpZarvTest, AProjectComponentStartsTheDataChannelAndTheDataLinks)
{
    TZvProject project(nullptr);
    EXPECT_NE(DataSystem, nullptr);
    EXPECT_NE(DataLinks, nullptr);
}

TEST_F(QpZarvTest, ProjectFileGetsTheExtensionOnlyWithoutDot)
{
    const struct {
        const char* Given;
        const char* Stored;
    } rows[] = {{"gagecard", "gagecard.zrf"}, {"a.b", "a.b"}, {"", ""}, {"dir.d/card", "dir.d/card"}};
    TZvProject project(nullptr);
    for (const auto& row : rows) {
        project.SetProjectFile(QString::fromLatin1(row.Given));
        EXPECT_EQ(project.ProjectFile(), QString::fromLatin1(row.Stored)) << row.Given;
    }
}

TEST_F(QpZarvTest, OpenAndCloseAreIdempotent)
{
    TZvProject project(nullptr);
    Watch(project);
    project.SetProjectFile(WriteFile(QStringLiteral("disk.zrf"), ProjectWithReport(QStringLiteral("Disk"))));
    project.Open();
    project.Open();
    EXPECT_TRUE(project.Active());
    EXPECT_EQ(project.ReportName(), QStringLiteral("Disk"));
    project.Close();
    project.Close();
    EXPECT_FALSE(project.Active());
    EXPECT_EQ(project.ReportName(), QString());
    EXPECT_EQ(Events, (QStringList{"BeforeOpen", "AfterOpen", "BeforeClose", "AfterClose"}));
}

// A name without a folder: the current folder first, then run/ beside the
// program; when neither has it, the message names both places.
TEST_F(QpZarvTest, ABareNameIsLookedUpInTheCurrentFolderThenBesideTheProgram)
{
    const QString saved = QDir::currentPath();
    ASSERT_TRUE(QDir(Folder.path()).mkpath(QStringLiteral("here")));
    ASSERT_TRUE(QDir(Folder.path()).mkpath(QStringLiteral("program/run")));
    const QString here = Path(QStringLiteral("here"));
    QDir::setCurrent(here);
    SetProgramFileName(Path(QStringLiteral("program/tessvar")));
    const auto restore = qScopeGuard([&] {
        QDir::setCurrent(saved);
        SetProgramFileName(QString());
    });
    TZvProject project(nullptr);
    Watch(project);
    project.SetProjectFile(QStringLiteral("measure"));
    try {
        project.Open();
        ADD_FAILURE() << "no exception";
    } catch (const EZarvException& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("The following reporting project does not exist:\r\"") + here +
                                   QStringLiteral("/measure.zrf\"\r\"") +
                                   Path(QStringLiteral("program/run")) + QStringLiteral("/measure.zrf\""));
    }
    EXPECT_FALSE(project.Active());
    EXPECT_EQ(Events, QStringList{"BeforeOpen"});

    WriteFile(QStringLiteral("program/run/measure.zrf"), ProjectWithReport(QStringLiteral("Program")));
    project.Open();
    EXPECT_EQ(project.ReportName(), QStringLiteral("Program"));
    project.Close();
    // A user's own copy in the current folder wins.
    WriteFile(QStringLiteral("here/measure.zrf"), ProjectWithReport(QStringLiteral("Own")));
    project.Open();
    EXPECT_EQ(project.ReportName(), QStringLiteral("Own"));
    project.Close();
}

// The stored copy holds report "Stored", the disk file report "Disk".
TEST_F(QpZarvTest, StoredCopyAsksOnlyWhenTheDiskFileIsNewer)
{
    const QString disk = WriteFile(QStringLiteral("card.zrf"), ProjectWithReport(QStringLiteral("Disk")));
    const QByteArray stored = ProjectWithReport(QStringLiteral("Stored"));
    const auto withStamp = [&](TZvProject& project, double daysFromNow) {
        TMemoryStream copy(stored);
        project.LoadZarvBlob(copy);
        TMemoryStream blob(project.ZarvBlobNewBytes());
        QByteArray bytes = blob.Bytes();
        const double stamp = project.ZarvBlobDateTime() + daysFromNow;
        std::memcpy(bytes.data() + 4, &stamp, sizeof stamp);
        TMemoryStream changed(bytes);
        project.ReadZarvBlobNew(changed);
    };
    {
        TScriptedMessages messages;
        messages.Answer(IDNO);
        TZvProject project(nullptr);
        project.SetProjectFile(disk);
        withStamp(project, -1);
        project.Open();
        ASSERT_EQ(messages.Shown().size(), 1u);
        EXPECT_EQ(
            messages.Shown()[0].Text,
            QStringLiteral("The report project stored in the executable is older than the disk file\r\"") +
                disk + QStringLiteral("\"\rDo you want to use the file on disk?"));
        EXPECT_EQ(messages.Shown()[0].Buttons, TMsgButtons::YesNo);
        EXPECT_EQ(project.ReportName(), QStringLiteral("Stored"));
    }
    {
        TScriptedMessages messages;
        TZvProject project(nullptr);
        project.SetProjectFile(disk);
        withStamp(project, 1);
        project.Open();
        EXPECT_TRUE(messages.Shown().empty());
        EXPECT_EQ(project.ReportName(), QStringLiteral("Stored"));
    }
}

TEST_F(QpZarvTest, ZarvBlobNewRoundTripsAndRefusesCountsPastItsBytes)
{
    TZvProject project(nullptr);
    TMemoryStream copy(ProjectWithReport(QStringLiteral("Stored")));
    project.LoadZarvBlob(copy);
    const QByteArray bytes = project.ZarvBlobNewBytes();
    ASSERT_EQ(bytes.size(), 12 + copy.Size());

    TZvProject again(nullptr);
    TMemoryStream stream(bytes);
    again.ReadZarvBlobNew(stream);
    EXPECT_EQ(again.ZarvBlob()->Bytes(), copy.Bytes());
    EXPECT_EQ(again.ZarvBlobDateTime(), project.ZarvBlobDateTime());
    EXPECT_EQ(again.ZarvBlobNewBytes(), bytes);

    const QByteArray damaged[] = {bytes.left(11), bytes.left(bytes.size() - 1),
                                  QByteArray::fromHex("ffffffff") + bytes.mid(4)};
    for (const QByteArray& bad : damaged) {
        TMemoryStream badStream(bad);
        EXPECT_THROW(again.ReadZarvBlobNew(badStream), EZarvException) << bad.size();
        EXPECT_EQ(again.ZarvBlob()->Bytes(), copy.Bytes()); // unchanged
    }
}

// A window's form stream stores the copy as "ZarvBlobNew"; OnCreate fires
// once the stream is read.
TEST_F(QpZarvTest, StoredCopyTravelsInTheFormStream)
{
    TZvProject project(nullptr);
    project.SetName(QStringLiteral("ZvProject1"));
    TMemoryStream copy(ProjectWithReport(QStringLiteral("Stored")));
    project.LoadZarvBlob(copy);
    project.SetStoreZRF(true);
    const QByteArray form = WriteComponentToBytes(&project);
    EXPECT_TRUE(ObjectBinaryToText(form).contains("ZarvBlobNew = {"));
    EXPECT_FALSE(ObjectBinaryToText(form).contains("StoreZRF"));

    TZvProject again(nullptr);
    int created = 0;
    again.OnCreate = [&created](TObject*) { ++created; };
    ReadComponentFromBytes(form, &again);
    EXPECT_EQ(created, 1);
    EXPECT_FALSE(again.ComponentState().Contains(TComponentStateFlag::csLoading));
    ASSERT_NE(again.ZarvBlob(), nullptr);
    EXPECT_EQ(again.ZarvBlob()->Bytes(), copy.Bytes());
    again.Open();
    EXPECT_EQ(again.ReportName(), QStringLiteral("Stored"));
}

TEST_F(QpZarvTest, LoadFromStreamLeavesTheProjectClosed)
{
    TZvProject project(nullptr);
    project.SetProjectFile(WriteFile(QStringLiteral("disk.zrf"), ProjectWithReport(QStringLiteral("Disk"))));
    TMemoryStream stream(ProjectWithReport(QStringLiteral("Streamed")));
    project.LoadFromStream(stream);
    EXPECT_FALSE(project.Active());
    EXPECT_EQ(project.ReportName(), QStringLiteral("Streamed"));
    project.Open();
    EXPECT_EQ(project.ReportName(), QStringLiteral("Disk"));
}

TEST_F(QpZarvTest, CategoryListMatchesWholeNamesWithoutCase)
{
    const QByteArray bytes = ProjectBytes([](TZarvProjectManager& m) {
        const char* categories[] = {"A", "a", "B", "b", "ab", ""};
        m.ActiveReport()->SetCategory(QString::fromLatin1(categories[0]));
        for (size_t i = 1; i < std::size(categories); ++i)
            m.NewReport()->SetCategory(QString::fromLatin1(categories[i]));
    });
    TZvProject project(nullptr);
    TMemoryStream stream(bytes);
    project.LoadFromStream(stream);
    TStrings list;
    project.GetReportCategoryList(list, QStringLiteral("a;B"), false);
    QStringList categories;
    for (int i = 0; i < list.Count(); ++i)
        categories << static_cast<TZarvReport*>(list.Objects(i))->Category();
    EXPECT_EQ(categories, (QStringList{"A", "a", "B", "b"}));
    project.GetReportCategoryList(list, QString(), false);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(static_cast<TZarvReport*>(list.Objects(0))->Category(), QString());
}

TEST_F(QpZarvTest, ParametersDuringARunGoToTheRunningCopy)
{
    const QByteArray bytes = ProjectBytes([](TZarvProjectManager& m) {
        TZarvPage* page = m.ActiveReport()->LoadedPage(0);
        auto* probe = new TProbe(page);
        probe->SetName(QStringLiteral("Probe"));
        probe->SetParent(page);
    });
    TZvProject project(nullptr);
    project.SetProjectFile(WriteFile(QStringLiteral("probe.zrf"), bytes));
    project.SetActive(true);
    TZarvProjectManager* owned = project.ProjMan();
    project.SetParam(QStringLiteral("Before"), QStringLiteral("1"));
    bool printed = false;
    TProbe::OnPrint = [&] {
        printed = true;
        EXPECT_NE(project.ProjMan(), owned);
        EXPECT_EQ(project.GetParam(QStringLiteral("Before")), QStringLiteral("1"));
        project.SetParam(QStringLiteral("During"), QStringLiteral("2"));
        EXPECT_EQ(project.ProjMan()->GetParam(QStringLiteral("During")), QStringLiteral("2"));
    };
    TMemoryStream snapshot;
    TZvZSFWriter writer(nullptr);
    writer.SetStreamMode(TStreamMode::smUser);
    writer.SetStream(&snapshot);
    project.SetEngine(&writer);
    project.Execute();
    EXPECT_TRUE(printed);
    EXPECT_EQ(project.ProjMan(), owned);
    EXPECT_EQ(owned->GetParam(QStringLiteral("During")), QString());
}

TEST_F(QpZarvTest, ExecuteWithoutActiveReportRaises)
{
    TZvProject project(nullptr);
    project.New();
    project.ProjMan()->DeactivateReport();
    EXPECT_THROW(project.Execute(), EZarvException);
}

TEST_F(QpZarvTest, FreeingTheEngineClearsIt)
{
    TZvProject project(nullptr);
    auto writer = std::make_unique<TZvZSFWriter>(nullptr);
    project.SetEngine(writer.get());
    EXPECT_EQ(project.Engine(), writer.get());
    writer.reset();
    EXPECT_EQ(project.Engine(), nullptr);
}

TEST_F(QpZarvTest, DesignerLibraryThatCannotServeRaisesErrorLoading)
{
    const struct {
        const char* DllFile;
        const char* Message;
    } rows[] = {
        {"", "Error loading ZARV.DLL"},
        {"libm.so.6", "Error loading libm.so.6"}, // a library without the designer's exports
    };
    TZvProject project(nullptr);
    for (const auto& row : rows) {
        project.SetDLLFile(QString::fromLatin1(row.DllFile));
        try {
            project.Design();
            ADD_FAILURE() << row.DllFile;
        } catch (const ESheetcaster& e) {
            EXPECT_EQ(e.Message(), QString::fromLatin1(row.Message));
        }
        EXPECT_FALSE(project.Active()); // it failed before opening
    }
}

} // namespace
