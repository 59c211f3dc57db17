// The report-run controller: its settings and whole runs to every
// destination, with the status window, Cancel, and the clean-up of the
// snapshot.
#include "ReportWindows.h"

#include "report/print/QpFormPreview.h"
#include "report/print/QpFormSetup.h"
#include "report/print/QpFormStatus.h"
#include "report/print/QpRenderPreview.h"
#include "report/print/QpRenderPrinter.h"

#include "platform/objects/Filer.h"
#include "platform/objects/ObjectText.h"
#include "tests/support/HeapInUse.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

namespace {

using QpSystemTest = ReportWindowsTest;

// The snapshot files the writer leaves in the temporary folder.
QStringList TempSnapshots()
{
    return QDir(QDir::tempPath()).entryList({QStringLiteral("ZV*")}, QDir::Files);
}

QStringList PagesPlayed(const QStringList& calls)
{
    return calls.filter(QRegularExpression(QStringLiteral("^Page \\d")));
}

TEST_F(QpSystemTest, DefaultsAndSetterRules)
{
    TZvSystem system(nullptr);
    EXPECT_EQ(system.SystemSetups().ToBits(), 511);
    EXPECT_EQ(system.SystemOptions().ToBits(), 60);
    EXPECT_EQ(system.DefaultDest(), TReportDest::rdPreview);
    EXPECT_TRUE(system.DoNativeOutput);
    EXPECT_TRUE(system.TitleStatus().isEmpty());

    TSystemPrinter& p = *system.SystemPrinter();
    EXPECT_EQ(p.LastPage, 9999);
    EXPECT_EQ(p.StatusFormat, "Printing page %p");
    EXPECT_EQ(p.Title, "Zarv Report");
    EXPECT_EQ(system.SystemFiler()->StatusFormat, "Generating page %p");
    p.SetUnitsFactor(25.4);
    EXPECT_EQ(p.Units(), TPrintUnits::unMM);
    p.SetUnitsFactor(0);
    EXPECT_EQ(p.UnitsFactor(), 25.4);
    p.SetUnitsFactor(10);
    EXPECT_EQ(p.Units(), TPrintUnits::unUser);
    p.SetTabShade(150);
    EXPECT_EQ(p.TabShade(), 100);

    TSystemPreview& v = *system.SystemPreview();
    EXPECT_EQ(v.FormWidth, 615);
    EXPECT_EQ(v.FormHeight, 450);
    v.SetZoomFactor(5);
    EXPECT_EQ(v.ZoomFactor(), 10);
    v.SetZoomFactor(500);
    EXPECT_EQ(v.ZoomFactor(), 200);
    v.SetShadowDepth(3);
    v.SetMonochrome(true);
    EXPECT_FALSE(v.Monochrome());
    v.SetShadowDepth(0);
    v.SetMonochrome(true);
    v.SetShadowDepth(2);
    EXPECT_EQ(v.ShadowDepth(), 0);
    ASSERT_EQ(Messages->Shown().size(), 2u);
    EXPECT_EQ(Messages->Shown()[0].Text,
              "Monochrome not allowed while shadows are in effect.\rChange ShadowDepth to 0 first");
    EXPECT_EQ(Messages->Shown()[1].Text,
              "Shadows not allowed while monochrome in effect.\rChange Monochrome to false first");
}

// The settings a form streams.
TEST_F(QpSystemTest, SettingsReadFromAFormStream)
{
    const QByteArray stream = ObjectTextToBinary(QByteArray(R"(object ZvSystem1: TZvSystem
  Version = 'x'
  TitleStatus = 'Status'
  SystemSetups = [ssAllowCopies]
  SystemOptions = [soShowStatus, soNoGenerate]
  DefaultDest = rdFile
  SystemFiler.StreamMode = smTempFile
  SystemPreview.ZoomFactor = 500.0
  SystemPreview.FormState = wsMaximized
  SystemPrinter.Units = unMM
  SystemPrinter.Copies = 3
end
)"));
    TZvSystem system(nullptr);
    TMemoryStream input(stream);
    TReader(input).ReadRootComponent(&system);
    EXPECT_EQ(system.Version(), "11.0.14 (VCLD10)"); // a streamed version is read and dropped
    EXPECT_EQ(system.TitleStatus(), "Status");
    EXPECT_EQ(system.SystemSetups(), TSystemSetups{TSystemSetup::ssAllowCopies});
    EXPECT_EQ(system.SystemOptions(),
              (TSystemOptions{TSystemOption::soShowStatus, TSystemOption::soNoGenerate}));
    EXPECT_EQ(system.DefaultDest(), TReportDest::rdFile);
    EXPECT_EQ(system.SystemFiler()->StreamMode, TStreamMode::smTempFile);
    EXPECT_EQ(system.SystemPreview()->ZoomFactor(), 200);
    EXPECT_EQ(system.SystemPreview()->FormState, TWindowState::wsMaximized);
    EXPECT_EQ(system.SystemPrinter()->UnitsFactor(), 25.4);
    EXPECT_EQ(system.SystemPrinter()->Copies, 3);
}

// A form holding the controller and both render targets, with the
// handlers the preview's events name.
class TTargetsForm : public TForm {
public:
    explicit TTargetsForm(TComponent* owner) : TForm(owner)
    {
        BindMethod("PreviewZoomChange", &TTargetsForm::PreviewZoomChange);
        BindMethod("PreviewPageChange", &TTargetsForm::PreviewPageChange);
        BindMethod("PreviewClose", &TTargetsForm::PreviewClose);
    }
    void PreviewZoomChange(TObject*) { ++ZoomChanges; }
    void PreviewPageChange(TObject*) { ++PageChanges; }
    void PreviewClose(TObject*, TCloseAction&) {}

    int ZoomChanges = 0;
    int PageChanges = 0;
};

// The status texts of the controller and the published settings of both
// render targets read from a form and write back to the same text.
TEST_F(QpSystemTest, StatusTextsAndRenderTargetsStreamInAndOut)
{
    if (!FindClass(QStringLiteral("TTargetsForm")))
        RegisterClass<TTargetsForm>(QStringLiteral("TTargetsForm"), QStringLiteral("TForm"));
    const QByteArray text = R"(object Targets: TTargetsForm
  object ZvSystem1: TZvSystem
    Version = '11.0.14 (VCLD10)'
    SystemFiler.StatusFormat = 'Generating page %p'
    SystemFiler.StatusText.Strings = (
      'Filing'
      'page %p')
    SystemPreview.ZoomFactor = 100.0
    SystemPrinter.ScaleX = 100.0
    SystemPrinter.ScaleY = 100.0
    SystemPrinter.StatusFormat = 'Printing page %p'
    SystemPrinter.StatusText.Strings = (
      'Printing')
    SystemPrinter.Title = 'Zarv Report'
    SystemPrinter.UnitsFactor = 1.0
  end
  object ZvRenderPrinter1: TZvRenderPrinter
    Version = '11.0.14 (VCLD10)'
    Active = True
    OutputFileName = 'card.pdf'
  end
  object ZvRenderPreview1: TZvRenderPreview
    Version = '11.0.14 (VCLD10)'
    Active = True
    ScrollBox = ScrollBox1
    ZoomInc = 25
    ZoomFactor = 150.0
    Monochrome = True
    MarginMethod = mmScaled
    MarginPercent = 2.5
    RulerType = rtBothIn
    GridPen.Color = clRed
    GridHoriz = 0.5
    GridVert = 0.25
    PageInc = 2
    OnZoomChange = PreviewZoomChange
    OnPageChange = PreviewPageChange
  end
  object ScrollBox1: TScrollBox
  end
end
)";
    TTargetsForm form(nullptr);
    form.ReadForm(ObjectTextToBinary(text));

    // A few values where they belong; the text written back shows the rest.
    auto* system = dynamic_cast<TZvSystem*>(form.FindComponent(QStringLiteral("ZvSystem1")));
    ASSERT_NE(system, nullptr);
    EXPECT_EQ(system->SystemFiler()->StatusText().Text(), "Filing\r\npage %p\r\n");
    EXPECT_EQ(system->SystemPrinter()->StatusText().Text(), "Printing\r\n");
    auto* printer = dynamic_cast<TZvRenderPrinter*>(form.FindComponent(QStringLiteral("ZvRenderPrinter1")));
    ASSERT_NE(printer, nullptr);
    EXPECT_EQ(printer->OutputFileName(), "card.pdf");
    auto* preview = dynamic_cast<TZvRenderPreview*>(form.FindComponent(QStringLiteral("ZvRenderPreview1")));
    ASSERT_NE(preview, nullptr);
    EXPECT_EQ(preview->ScrollBox(), form.FindComponent(QStringLiteral("ScrollBox1")));
    EXPECT_EQ(preview->ZoomFactor(), 150);
    EXPECT_EQ(preview->MarginMethod, TMarginMethod::mmScaled);
    EXPECT_EQ(preview->RulerType, TRulerType::rtBothIn);
    EXPECT_EQ(preview->GridPen()->Color(), clRed);
    preview->ZoomIn(); // the form's handler, which would redraw the page
    EXPECT_EQ(form.ZoomChanges, 1);
    EXPECT_EQ(preview->ZoomFactor(), 175);
    preview->OnPageChange(preview);
    EXPECT_EQ(form.PageChanges, 1);
    preview->SetZoomFactor(150);

    // The form and its scroll box write what the forms layer makes of
    // them; the lines of the three components come back as they were.
    const auto targets = [](const QByteArray& formText) {
        const qsizetype from = formText.indexOf("  object ZvSystem1");
        return formText.mid(from, formText.indexOf("  object ScrollBox1") - from).toStdString();
    };
    TMemoryStream output;
    TWriter(output).WriteRootComponent(&form);
    EXPECT_EQ(targets(ObjectBinaryToText(output.Bytes())), targets(text));

    // A handler set in code replaces the streamed one, which is then no
    // longer written.
    preview->OnPageChange = [](TObject*) {};
    const TPropInfo* onPageChange = preview->ClassType()->FindProperty(QStringLiteral("OnPageChange"));
    ASSERT_NE(onPageChange, nullptr);
    EXPECT_FALSE(onPageChange->GetMethod(*preview).IsAssigned());

    // A handler of another kind is refused when the form is read.
    TTargetsForm wrongKind(nullptr);
    try {
        wrongKind.ReadForm(ObjectTextToBinary(R"(object Targets: TTargetsForm
  object ZvRenderPreview1: TZvRenderPreview
    OnPageChange = PreviewClose
  end
end
)"));
        FAIL();
    } catch (const Exception& e) {
        EXPECT_TRUE(e.Message().contains(QLatin1String("Method PreviewClose is no")))
            << e.Message().toStdString();
    }
}

// A snapshot file written straight by the writer plays back; with the
// temporary-file mode the user's file must survive the clean-up.
TEST_F(QpSystemTest, FileDestinationWritesASnapshotThatPlaysBack)
{
    for (TStreamMode mode : {TStreamMode::smMemory, TStreamMode::smTempFile}) {
        TZvSystem system(nullptr);
        ThreePages(system);
        system.SetSystemSetups(TSystemSetups::FromBits(510));
        system.SetDefaultDest(TReportDest::rdFile);
        system.DoNativeOutput = false;
        system.SystemFiler()->StreamMode = mode;
        system.SetOutputFileName(Path("x.zsf"));
        system.Execute();
        EXPECT_FALSE(system.Aborted);

        QFile file(Path("x.zsf"));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << int(mode);
        RecordingRender render;
        render.Play(file.readAll());
        EXPECT_EQ(PagesPlayed(render.Calls).size(), 3);
        EXPECT_TRUE(render.Calls.filter("Page 2").size() >= 1);
        EXPECT_TRUE(TempSnapshots().isEmpty());
        file.close();
        QFile::remove(Path("x.zsf"));
    }
}

TEST_F(QpSystemTest, NativeFileOutputIsAPdfOfEveryPage)
{
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        GTEST_SKIP() << "pdftotext is not installed";
    TZvSystem system(nullptr);
    ThreePages(system);
    system.SetSystemSetups(TSystemSetups::FromBits(510));
    system.SetDefaultDest(TReportDest::rdFile);
    system.SystemFiler()->StreamMode = TStreamMode::smTempFile;
    system.SetOutputFileName(Path("x.pdf"));
    system.Execute();

    QProcess pdftotext;
    pdftotext.start(QStringLiteral("pdftotext"), {Path("x.pdf"), QStringLiteral("-")});
    ASSERT_TRUE(pdftotext.waitForFinished(30000));
    const QStringList pages = QString::fromUtf8(pdftotext.readAllStandardOutput()).split(QChar(u'\f'));
    ASSERT_GE(pages.size(), 3);
    for (int page = 1; page <= 3; ++page)
        EXPECT_TRUE(pages[page - 1].contains(QStringLiteral("Page %1").arg(page))) << page;
    EXPECT_TRUE(TempSnapshots().isEmpty());
}

TEST_F(QpSystemTest, PreviewIsModalAndClosedByTheUser)
{
    TZvSystem system(nullptr);
    ThreePages(system);
    system.SetSystemSetups(TSystemSetups::FromBits(510));
    system.SystemFiler()->StreamMode = TStreamMode::smTempFile;
    int pages = 0;
    bool modal = false;
    // Polls until the preview is up (the run may take a while on a busy
    // machine), then closes it as a user would.
    QTimer closer;
    closer.setInterval(50);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* preview = OpenWindow<TZarvPreviewForm>(); preview && preview->Visible()) {
            closer.stop();
            pages = preview->ZvRenderPreview->Pages();
            modal = preview->Modal();
            preview->Close();
        }
    });
    closer.start();
    system.Execute();
    EXPECT_EQ(pages, 3);
    EXPECT_TRUE(modal);
    EXPECT_EQ(OpenWindow<TZarvPreviewForm>(), nullptr);
    EXPECT_TRUE(TempSnapshots().isEmpty());
}

// Runs to the preview, each closed by the user as soon as it shows, and
// runs to a snapshot file with the status window: after two of each to warm
// up, ten more keep the heap within a few kB a run. The windows' pictures
// used to stay in Qt's pixmap cache (about 45 kB a preview, 8 kB a status
// window) until it reached its 10 MB limit.
TEST_F(QpSystemTest, RunWindowsGiveBackTheirMemory)
{
    const auto previewRun = [this] {
        TZvSystem system(nullptr);
        ThreePages(system);
        system.SetSystemSetups(TSystemSetups::FromBits(510));
        QTimer closer;
        closer.setInterval(20);
        QObject::connect(&closer, &QTimer::timeout, [&closer] {
            if (auto* preview = OpenWindow<TZarvPreviewForm>(); preview && preview->Visible()) {
                closer.stop();
                preview->Close();
            }
        });
        closer.start();
        system.Execute();
    };
    const auto fileRun = [this] {
        TZvSystem system(nullptr);
        ThreePages(system);
        system.SetSystemSetups(TSystemSetups::FromBits(510));
        system.SetDefaultDest(TReportDest::rdFile);
        system.DoNativeOutput = false;
        system.SetOutputFileName(Path("x.zsf"));
        system.Execute();
    };
    const struct {
        const char* Name;
        std::function<void()> Run;
        double BytesPerRun; // Qt 6.4 keeps the names of dropped pictures a while
    } rows[] = {{"preview", previewRun, 16384}, {"file", fileRun, 4096}};
    for (const auto& row : rows) {
        row.Run();
        row.Run();
        const double before = HeapInUse();
        for (int i = 0; i < 10; ++i)
            row.Run();
        EXPECT_LT((HeapInUse() - before) / 10, row.BytesPerRun) << row.Name;
    }
    EXPECT_TRUE(Messages->Shown().empty());
}

TEST_F(QpSystemTest, PrinterWithoutPrinterRaisesTheDeviceError)
{
    TZvSystem system(nullptr);
    ThreePages(system);
    system.SetSystemSetups(TSystemSetups::FromBits(510));
    system.SetDefaultDest(TReportDest::rdPrinter);
    system.SystemFiler()->StreamMode = TStreamMode::smTempFile;
    EXPECT_THROW(system.Execute(), Exception);
    EXPECT_FALSE(system.Running());
    EXPECT_TRUE(TempSnapshots().isEmpty());
}

// As the application runs it: no options window; the status window, with
// an empty caption, shows the filer's line; Cancel during page 2 ends the
// run quietly.
TEST_F(QpSystemTest, StatusWindowShowsProgressAndCancelAbortsTheRun)
{
    TZvSystem system(nullptr);
    TSystemSetups setups = system.SystemSetups();
    setups.Exclude(TSystemSetup::ssAllowSetup);
    system.SetSystemSetups(setups);
    system.SystemFiler()->StreamMode = TStreamMode::smTempFile;
    QString caption = QStringLiteral("unset");
    QString line;
    bool setupShown = false;
    bool blocking = false;
    int previews = 0;
    system.OverridePreview = [&](TZvSystem*, TOverrideMode, TCustomForm*&) { ++previews; };
    ThreePages(system, [&](TBaseReport& report, int page) {
        setupShown = setupShown || OpenWindow<TQPSetupForm>();
        auto* status = OpenWindow<TQpStatusForm>();
        if (page != 2 || !status)
            return;
        caption = status->Caption();
        line = status->StatusLabel->Caption();
        blocking = status->Widget()->windowModality() == Qt::ApplicationModal;
        QTimer::singleShot(0,
                           [status] { QTest::mouseClick(status->CancelButton->Widget(), Qt::LeftButton); });
        QTest::qWait(50);
        report.PrintXY(1, 2, QStringLiteral("after cancel"));
    });
    EXPECT_NO_THROW(system.Execute());
    EXPECT_FALSE(setupShown);
    EXPECT_TRUE(caption.isEmpty());
    EXPECT_EQ(line, "Generating page 2");
    EXPECT_TRUE(blocking);
    EXPECT_TRUE(system.Aborted);
    EXPECT_EQ(previews, 0);
    EXPECT_EQ(system.SaveLabel(), nullptr);
    EXPECT_EQ(OpenWindow<TQpStatusForm>(), nullptr);
    EXPECT_TRUE(TempSnapshots().isEmpty());
}

TEST_F(QpSystemTest, NoGenerateAndUserStreams)
{
    const QByteArray snapshot =
        WriteSnapshot([](TZvZSFWriter& w) { w.PrintXY(1, 1, QStringLiteral("held")); });
    TMemoryStream held(snapshot);
    RecordingRender render;
    TZvSystem system(nullptr);
    system.SetSystemSetups(TSystemSetups::FromBits(510));
    TSystemOptions options = system.SystemOptions();
    options.Include(TSystemOption::soNoGenerate);
    system.SetSystemOptions(options);
    system.SetDefaultDest(TReportDest::rdFile);
    system.DoNativeOutput = false;
    system.SetRenderObject(&render);
    system.SystemFiler()->StreamMode = TStreamMode::smUser;
    system.SetStream(&held);
    system.Execute();
    EXPECT_EQ(PagesPlayed(render.Calls).size(), 1);
    EXPECT_EQ(render.ZSFStream(), nullptr);

    system.SetStream(nullptr);
    try {
        system.Execute();
        ADD_FAILURE() << "no error";
    } catch (const ESheetcaster& error) {
        EXPECT_EQ(error.Message(), "StreamMode is smUser but Stream is nil");
    }
}

TEST_F(QpSystemTest, RefusesAFileRunWithoutANameAndARunInsideARun)
{
    TZvSystem system(nullptr);
    system.SetSystemSetups(TSystemSetups::FromBits(510));
    system.SetDefaultDest(TReportDest::rdFile);
    bool printed = false;
    system.OnPrint = [&](TObject*) { printed = true; };
    EXPECT_THROW(system.Execute(), ESheetcaster);
    EXPECT_FALSE(printed);

    system.SetDefaultDest(TReportDest::rdFile);
    system.DoNativeOutput = false;
    system.SetOutputFileName(Path("inner.zsf"));
    QString inner;
    system.OnPrint = [&](TObject*) {
        try {
            system.Execute();
        } catch (const ESheetcaster& error) {
            inner = error.Message();
        }
    };
    system.Execute();
    EXPECT_EQ(inner, "Invalid method call.  Sheetcaster already printing.");
}

} // namespace
