// Event scripts in real report runs: a project file whose page carries an
// assembled module, a library module "SYSFUNC" read from its module file
// whose function calls a native, and a section that suspends its script.
#include "platform/forms/MessageService.h"
#include "report/components/QpZarv.h"
#include "report/components/ZvCsStd.h"
#include "report/components/ZvLERun.h"
#include "report/model/ZvProj.h"
#include "tests/report/print/PdfSystem.h"
#include "tests/support/ZvAssembler.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using A = TZvAddr;

namespace {

// Rewrites a text: the native the library's Rewrite reaches.
const TRCPUNative kRewrite{[](TRCPURunner& cpu, std::span<const uint32_t> args) {
    return TRCPUNativeResult::OfString(QStringLiteral("Scripted ") + cpu.StringOf(args[0]).toUpper());
}};

// SYSFUNC: Rewrite(var S: string) sets S to the native's answer.
void WriteLibrary(const QString& folder)
{
    TZvAssembler code;
    code.Label(QStringLiteral("Rewrite")).Op(Zop::Enter).Index(4);
    code.Op(Zop::CopyFrom).Index(4).Addr(A::Frame(12)).Addr(A::Frame(-4)); // the string handle in S
    code.Op(Zop::Arg).Addr(A::Frame(-4));
    code.Op(Zop::NativeCall).Byte(11).Addr(A::Frame(12)).Slot(QStringLiteral("REWRITE"));
    code.Op(Zop::Return).Index(4);
    TZvModuleBuilder library(QStringLiteral("SYSFUNC"));
    library.Code(code).Func(QStringLiteral("Rewrite"), 0);
    library.Module().SaveToFile(QDir(folder).filePath(QStringLiteral("SYSFUNC")));
}

// The page's module: Text1_OnGetText(Self, var Value) calls SYSFUNC's
// Rewrite with Value; Section1_OnPrint(Self, Report) suspends once.
std::unique_ptr<TRCPUModule> PageModule(TZarvComponent* project, TZarvComponent* page, int32_t& getText,
                                        int32_t& onPrint)
{
    TZvAssembler code;
    code.Label(QStringLiteral("GetText")).Op(Zop::Enter).Index(0);
    code.Op(Zop::PushValue).Addr(A::Frame(12)); // Value's address (the last parameter)
    code.Op(Zop::FarCall).Index(1).Index(0);    // SYSFUNC.Rewrite
    code.Op(Zop::Return).Index(0);
    code.Label(QStringLiteral("OnPrint")).Op(Zop::Enter).Index(0).Op(Zop::Suspend).Op(Zop::Return).Index(0);
    getText = code.LabelOffset(QStringLiteral("GetText"));
    onPrint = code.LabelOffset(QStringLiteral("OnPrint"));
    // The page module uses SYSFUNC: written into its file, found when read.
    TZvModuleBuilder builder(QStringLiteral("Page1"));
    builder.Code(code);
    QByteArray bytes = builder.Bytes();
    TMemoryStream stream(bytes);
    auto module = TRCPUModule::CreateFromStream(stream, project, page);
    EXPECT_NE(module->AddModule(QStringLiteral("SYSFUNC")), nullptr);
    return module;
}

class ScriptRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Folder.isValid());
        RecordReportWriterProcs();
        RegisterProjectComponentClass();
        RunZarvProcs(QStringLiteral("*"));
        RegisterNativeFunc(NativeFunc(kRewrite), QStringLiteral("Rewrite"), QStringLiteral("SysFunc"));
        SetModuleFileFolder(Folder.path());
        WriteLibrary(Folder.path());
    }
    void TearDown() override
    {
        UnregisterNativeFunc(QStringLiteral("Rewrite"), QStringLiteral("SysFunc"));
        SetModuleFileFolder(QString());
    }
    QString Path(const QString& name) const { return QDir(Folder.path()).filePath(name); }

    // A project file with the text and, when asked, the suspending section.
    QString WriteProject(bool withSection)
    {
        TZarvProjectManager manager(nullptr);
        manager.New();
        TZarvPage* page = manager.ActiveReport()->LoadedPage(0);
        int32_t getText = 0;
        int32_t onPrint = 0;
        page->SetModule(PageModule(&manager, page, getText, onPrint));
        auto* text = new TZarvText(page);
        text->SetName(QStringLiteral("Text1"));
        text->SetParent(page);
        text->SetBoundsRect(ZarvRect(1, 1, 5, 1.5));
        text->SetText(QStringLiteral("gauge card"));
        TZarvStringEvent getTextEvent;
        text->SetOnGetText(&getTextEvent); // copied
        text->OnGetText()->SetPosition(getText);
        text->OnGetText()->SetModuleOwner(page);
        if (withSection) {
            auto* section = new TZarvSection(page);
            section->SetName(QStringLiteral("Section1"));
            section->SetParent(page);
            section->SetBoundsRect(ZarvRect(1, 2, 3, 3));
            TZarvPrintEvent printEvent;
            section->SetOnPrint(&printEvent);
            section->OnPrint()->SetPosition(onPrint);
            section->OnPrint()->SetModuleOwner(page);
        }
        const QString file = Path(withSection ? QStringLiteral("suspend.zrf") : QStringLiteral("text.zrf"));
        TMemoryStream stream;
        manager.SaveToStream(stream);
        stream.SaveToFile(file);
        return file;
    }

    // Runs the project onto a PDF; its text and its page count.
    QString PrintToPdf(const QString& projectFile, const QString& pdf, int& pages)
    {
        TZvProject project(nullptr);
        project.SetProjectFile(projectFile);
        project.Open();
        TZvSystem system(nullptr);
        PrintStraightToPdf(system, pdf);
        project.SetEngine(&system);
        project.Execute();
        project.Close();
        QProcess info;
        info.start(QStringLiteral("pdfinfo"), {pdf});
        EXPECT_TRUE(info.waitForFinished(30000));
        const QString infoText = QString::fromUtf8(info.readAllStandardOutput());
        pages =
            infoText.section(QStringLiteral("Pages:"), 1).trimmed().section(QLatin1Char('\n'), 0, 0).toInt();
        QProcess text;
        text.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
        EXPECT_TRUE(text.waitForFinished(30000));
        return QString::fromUtf8(text.readAllStandardOutput());
    }

    QTemporaryDir Folder;
    // Another process's run may hold the data channel; its box is answered
    // with Retry until the channel is free.
    TScriptedMessages Messages;
};

} // namespace

TEST_F(ScriptRunTest, OnGetTextRewritesTheTextThroughALibraryNative)
{
    int pages = 0;
    const QString text = PrintToPdf(WriteProject(false), Path(QStringLiteral("text.pdf")), pages);
    EXPECT_EQ(pages, 1);
    EXPECT_TRUE(text.contains(QStringLiteral("Scripted GAUGE CARD"))) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("gauge card")));
}

TEST_F(ScriptRunTest, ASectionWhoseScriptSuspendsOncePrintsTwoPages)
{
    int pages = 0;
    const QString text = PrintToPdf(WriteProject(true), Path(QStringLiteral("suspend.pdf")), pages);
    EXPECT_EQ(pages, 2);
    EXPECT_EQ(text.count(QStringLiteral("Scripted GAUGE CARD")), 2) << text.toStdString();
}

// A module file (".zvc") that is cut short or damaged is refused with the
// file's name on a line of its own, on both roads that read one: the module
// loader and a project asking for a module by name.
TEST_F(ScriptRunTest, ADamagedModuleFileNamesItself)
{
    QFile library(Path(QStringLiteral("SYSFUNC.zvc")));
    ASSERT_TRUE(library.open(QIODevice::ReadOnly));
    const QByteArray good = library.readAll();
    library.close();
    const QByteArray rows[] = {good.left(3), good.left(good.size() / 2), good.left(good.size() - 1)};
    const QString path = Path(QStringLiteral("BROKEN.zvc"));
    for (size_t row = 0; row < std::size(rows); ++row) {
        SCOPED_TRACE(row);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(rows[row]);
        file.close();
        QStringList messages;
        try {
            TRCPUModule::CreateFromFile(Path(QStringLiteral("BROKEN")), nullptr);
        } catch (const Exception& e) {
            messages << e.Message();
        }
        TZarvProjectManager project(nullptr);
        project.New();
        try {
            project.ModuleManager().GetModule(QStringLiteral("BROKEN"));
        } catch (const Exception& e) {
            messages << e.Message();
        }
        ASSERT_EQ(messages.size(), 2);
        for (const QString& message : messages)
            EXPECT_TRUE(message.endsWith(QLatin1Char('\n') + path)) << message.toStdString();
    }
}
