// The form-stream translator against Free Pascal's binary of a hand-translated
// text form (tests/data/localization/demo-translated.bin, made from
// demo-translated.txt by tests/platform/objects/oracle/text2bin.pas), and its
// rules for empty translations, short lists, right-to-left languages, form
// resources and failures.
#include "localization/LocFormProc.h"

#include "localization/LocUtils.h"
#include "localization/WinResProc.h"
#include "localization/WinResReader.h"
#include "platform/objects/ObjectText.h"
#include "platform/rtl/Streams.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FileAccess.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/FuzzLoop.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>

namespace {

QByteArray ReadData(const char* name)
{
    QFile file(QStringLiteral(TESSVAR_LOCALIZATION_DATA "/") + QLatin1String(name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    return file.readAll();
}

// A store of the demo form in the native language and one other.
struct DemoStore {
    TLocStorage Store;
    int Index;

    explicit DemoStore(uint16_t locale)
    {
        Store.SetMainLangID(0x0409);
        Index = Store.AddLanguage(0, locale);
        Add("", "Caption", ptString, "Demo window", "[Demo window]");
        Add("bOK", "Caption", ptString, "OK", "[OK]");
        Add("bOK", "Hint", ptString, "Press to close", "[Press to close]");
        Add("lList", "Items.Strings", ptStringList, "one\r\ntwo\r\nthree", "[one]\r\n[two]");
    }
    TLocProperty* Add(const QString& comp, const QString& prop, TLocValueType type, const QString& native,
                      const QString& translated)
    {
        TLocProperty* p = Store.AddProperty(-1, "fDemo", comp, prop, type);
        p->RefreshMainValue(native, 1);
        p->RefreshValue(Index, translated, 1);
        return p;
    }
};

QByteArray Translate(TLocFormProcessor& processor, const QByteArray& binary)
{
    TMemoryStream source(binary);
    TMemoryStream dest;
    processor.UpdateBinStream(source, dest);
    return dest.Bytes();
}

TLocFormProcessor& Prepare(TLocFormProcessor& processor, DemoStore& demo, uint16_t locale)
{
    processor.SetLocStorage(&demo.Store);
    processor.SetLangIndex(demo.Index);
    processor.SetLangLocale(locale);
    processor.SetUnicodeProject(false);
    processor.PrepareLanguage();
    return processor;
}

TEST(LocFormProcessor, WritesWhatFreePascalWritesForTheTranslatedText)
{
    DemoStore demo(2);
    TLocFormProcessor processor;
    const QByteArray out = Translate(Prepare(processor, demo, 2), ObjectTextToBinary(ReadData("demo.txt")));
    EXPECT_EQ(out, ReadData("demo-translated.bin"));
}

TEST(LocFormProcessor, AnsiStringsTakeTheShortTagUpTo255Bytes)
{
    for (const auto& [length, tag] : {std::pair{255, 6}, std::pair{256, 12}, std::pair{300, 12}}) {
        TMemoryStream stream;
        TKWriter writer(stream);
        writer.WriteAnsiString(QString(length, u'a'), 0x0409);
        const QByteArray& bytes = stream.Bytes();
        ASSERT_EQ(uint8_t(bytes[0]), tag) << length;
        const int header = tag == 6 ? 2 : 5;
        EXPECT_EQ(bytes.size(), header + length);
        EXPECT_EQ(tag == 6 ? uint8_t(bytes[1]) : uint8_t(bytes[1]) | uint8_t(bytes[2]) << 8, length);
    }
}

TEST(LocFormProcessor, KeepsNativeTextsWhereTheTranslationIsEmptyOrOutdated)
{
    DemoStore demo(2);
    demo.Store.FindProperty("fDemo", "bOK", "Caption")->Value(demo.Index)->SetValue(QString());
    TLocProperty* hint = demo.Store.FindProperty("fDemo", "bOK", "Hint");
    hint->MainValue()->SetValueVersion(3); // the native text changed after the translation
    TLocFormProcessor processor;
    Prepare(processor, demo, 2).SetShowUntranslatedAsIs(false);
    const QString text = QString::fromLatin1(ObjectBinaryToText(Translate(processor, ObjectTextToBinary(ReadData("demo.txt")))));
    EXPECT_TRUE(text.contains("Caption = 'OK'")) << qPrintable(text);
    EXPECT_TRUE(text.contains("Hint = 'Press to close'")) << qPrintable(text);
    EXPECT_TRUE(text.contains("Caption = '[Demo window]'"));
    EXPECT_TRUE(text.contains("Text = 'typed by the user'"));

    // A translation of the same version as the native text is used.
    hint->Value(demo.Index)->SetValueVersion(3);
    const QByteArray again = ObjectBinaryToText(Translate(processor, ObjectTextToBinary(ReadData("demo.txt"))));
    EXPECT_TRUE(again.contains("Hint = '[Press to close]'"));
}

TEST(LocFormProcessor, RightToLeftLanguagesMirrorTheForm)
{
    DemoStore demo(0x0401); // Arabic (Saudi Arabia)
    TLocFormProcessor processor;
    Prepare(processor, demo, 0x0401);
    ASSERT_TRUE(processor.LangIsMiddleEast());
    const QByteArray text = ObjectBinaryToText(Translate(processor, ObjectTextToBinary(ReadData("demo.txt"))));
    EXPECT_TRUE(text.contains("  BiDiMode = bdRightToLeft\r\n") || text.contains("  BiDiMode = bdRightToLeft\n"))
        << text.constData();
    EXPECT_EQ(text.count("BiDiMode"), 1);
}

TEST(LocFormProcessor, TranslatesOnlyTheFormsResources)
{
    DemoStore demo(2);
    TLocFormProcessor processor;
    Prepare(processor, demo, 2).PrjForms() << "fDemo";
    const QByteArray binary = ObjectTextToBinary(ReadData("demo.txt"));
    TResProcessor resources;
    EXPECT_THROW(
        {
            try {
                processor.UpdateFormsByResource(resources);
            } catch (const ELocFormProcessorError& e) {
                EXPECT_EQ(e.Message(), "Can't find RCDATA block");
                throw;
            }
        },
        ELocFormProcessorError);
    resources.AddBlock(std::make_unique<TResRCData>());
    auto* rcdata = static_cast<TResRCData*>(resources.GetItemByType(10));
    rcdata->Add("TFDEMO", false)->SetData(binary);
    rcdata->Add("FDEMO", false)->SetData(binary);
    rcdata->Add("TMEFDEMO2", false)->SetData(binary);
    processor.UpdateFormsByResource(resources);
    EXPECT_EQ(rcdata->GetItemByName("TFDEMO")->Data(), ReadData("demo-translated.bin"));
    EXPECT_EQ(rcdata->GetItemByName("FDEMO")->Data(), binary);
    EXPECT_EQ(rcdata->GetItemByName("TMEFDEMO2")->Data(), binary);
}

TEST(LocFormProcessor, FailuresNameTheFormAndVetoedFormsStayAsTheyAre)
{
    DemoStore demo(2);
    TLocFormProcessor processor;
    Prepare(processor, demo, 2);
    QByteArray binary = ObjectTextToBinary(ReadData("demo.txt"));
    try {
        Translate(processor, binary.left(binary.size() - 12));
        FAIL() << "a cut stream was taken";
    } catch (const Exception& e) {
        EXPECT_TRUE(e.Message().startsWith("Error during processing form fDemo\r\n")) << qPrintable(e.Message());
    }
    processor.BeforeFormProcessing = [](TLocFormProcessor&, const QString& name, bool& process) {
        process = name != "fDemo";
    };
    EXPECT_EQ(Translate(processor, binary), binary);
}

TEST(LocFormProcessor, TextFormFilesStayText)
{
    QTemporaryDir folder;
    const QString file = folder.filePath("fDemo.dfm");
    {
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(ReadData("demo.txt"));
    }
    DemoStore demo(2);
    TLocFormProcessor processor;
    Prepare(processor, demo, 2).PrjForms() << "fDemo";
    // On a disk with room for half the form (a file size limit in a child
    // process) the form file stays as it was and the error names it.
    const QString message = RunWithFileSizeLimit(ReadData("demo.txt").size() / 2, [&] {
        try {
            processor.UpdateFormFiles(folder.path());
        } catch (const Exception& e) {
            return e.Message();
        }
        return QStringLiteral("written");
    });
    EXPECT_TRUE(message.startsWith("Cannot create file \"" + file + "\". ")) << qPrintable(message);
    {
        QFile kept(file);
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), ReadData("demo.txt"));
    }
    processor.UpdateFormFiles(folder.path());
    QFile in(file);
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    const QByteArray text = in.readAll();
    EXPECT_TRUE(text.startsWith("object fDemo: TfDemo"));
    EXPECT_EQ(ObjectTextToBinary(text), ReadData("demo-translated.bin"));
}

TEST(LocFormProcessor, ScanCollectsCaptionsHintsAndListsButNotExcludedTexts)
{
    TLocStorage store;
    TLocFormProcessor scanner;
    scanner.SetLocStorage(&store);
    scanner.PropRules() << "-fDemo.bOK.Hint" << "*.Caption" << "*.Hint" << "*.Items.Strings";
    TMemoryStream stream(ObjectTextToBinary(ReadData("demo.txt")));
    scanner.LoadFromBinStream(stream, 0);
    ASSERT_TRUE(store.FindProperty("fDemo", "", "Caption"));
    EXPECT_EQ(store.FindProperty("fDemo", "bOK", "Caption")->MainValue()->Value(), "OK");
    EXPECT_EQ(store.FindProperty("fDemo", "lList", "Items.Strings")->MainValue()->Value(), "one\r\ntwo\r\nthree");
    EXPECT_FALSE(store.FindProperty("fDemo", "bOK", "Hint"));
    EXPECT_FALSE(store.FindProperty("fDemo", "eName", "Text"));
}

// A form with a report design: the design's pages and memos are child
// objects of the TfrxReport object, a memo's text a list or a string.
const char kReportForm[] = R"(object fCards: TfCards
  Caption = 'Cards'
  object frxCard: TfrxReport
    ReportOptions.Name = 'Gauge card'
    object Page1: TfrxReportPage
      object Title: TfrxMemoView
        Memo.Strings = (
          'Gauge card'
          'for plain rings')
      end
      object Size: TfrxMemoView
        Text = 'Size [Gauge."Size"]'
      end
      object Blank: TfrxMemoView
        Text = '   '
      end
      object Number: TfrxMemoView
        Text = '12.5'
      end
    end
  end
  object Size: TLabel
    Text = 'Size of the gauge'
  end
end
)";

void Scan(TLocFormProcessor& scanner, const QByteArray& form)
{
    TMemoryStream stream(ObjectTextToBinary(form));
    scanner.LoadFromBinStream(stream, 0);
}

// In the group's order (by name).
QStringList ItemNames(const TLocExtGroup& group)
{
    QStringList names;
    for (int i = 0; i < group.ExternalItems().Count(); ++i)
        names << group.ExternalItems().Items(i)->Name();
    return names;
}

TEST(LocFormProcessor, ScanCollectsTheMemoTextsOfReportDesigns)
{
    TLocStorage store;
    TLocFormProcessor scanner;
    scanner.SetLocStorage(&store);
    scanner.PropRules() << "*.Caption"
                        << "*.Text"
                        << "*.Memo.Strings";
    ASSERT_TRUE(scanner.ProcessFRComponents());
    Scan(scanner, kReportForm);

    ASSERT_EQ(store.ExtGroups().Count(), 1);
    const TLocExtGroup& design = *store.ExtGroups().Items(0);
    EXPECT_EQ(design.Name(), "FRFORM:fCards:frxCard");
    // Blank and numeric texts are not collected, as anywhere in scan mode.
    EXPECT_EQ(ItemNames(design), QStringList({"Size.Text", "Title.Text"}));
    EXPECT_EQ(store.FindExtItem(design.Name(), "Title.Text")->MainValue()->Value(),
              "Gauge card\r\nfor plain rings");
    EXPECT_EQ(store.FindExtItem(design.Name(), "Size.Text")->MainValue()->Value(), "Size [Gauge.\"Size\"]");
    // The memos are not also form properties; the form's own control of the
    // same name is, and the rest of the form is scanned.
    EXPECT_EQ(store.FindProperty("fCards", "Size", "Text")->MainValue()->Value(), "Size of the gauge");
    EXPECT_FALSE(store.FindProperty("fCards", "Title", "Memo.Strings"));
    EXPECT_EQ(store.FindProperty("fCards", "", "Caption")->MainValue()->Value(), "Cards");

    // Scanning a translated form into another language fills only the items
    // the store has.
    const int index = store.AddLanguage(0, 2);
    const QByteArray translated = QByteArray(kReportForm)
                                      .replace("'Gauge card'\n", "'Kalibar'\n")
                                      .replace("Text = '12.5'", "Text = 'New memo'");
    scanner.SetLangIndex(index);
    Scan(scanner, translated);
    EXPECT_EQ(store.FindExtItem(design.Name(), "Title.Text")->Value(index)->Value(),
              "Kalibar\r\nfor plain rings");
    EXPECT_EQ(ItemNames(design), QStringList({"Size.Text", "Title.Text"}));
}

TEST(LocFormProcessor, ReportDesignsAreLeftAloneWhenNotAskedForOrOpaque)
{
    // Not asked for: no group; the design's objects are scanned as the
    // form's own.
    {
        TLocStorage store;
        TLocFormProcessor scanner;
        scanner.SetLocStorage(&store);
        scanner.SetProcessFRComponents(false);
        scanner.PropRules() << "*.Text";
        Scan(scanner, kReportForm);
        EXPECT_EQ(store.ExtGroups().Count(), 0);
        EXPECT_TRUE(store.FindProperty("fCards", "Size", "Text"));
        EXPECT_FALSE(store.FindExtItem("FRFORM:fCards:frxCard", "Size.Text"));
    }
    // A stream that is a design itself embeds none.
    {
        TLocStorage store;
        TLocFormProcessor scanner;
        scanner.SetLocStorage(&store);
        Scan(scanner, "object frxCard: TfrxReport\n"
                      "  object Title: TfrxMemoView\n"
                      "    Text = 'Title'\n"
                      "  end\n"
                      "end\n");
        EXPECT_EQ(store.ExtGroups().Count(), 0);
    }
    // A design kept as a binary block holding a memo's text: nothing of it
    // is collected, and what follows it is read in step.
    {
        const char opaque[] = R"(object fCards: TfCards
  object frxCard: TfrxReport
    Datas = {
      0A5469746C652E5465787406064761756765}
  end
  object bClose: TButton
    Caption = 'Close'
  end
end
)";
        TLocStorage store;
        TLocFormProcessor scanner;
        scanner.SetLocStorage(&store);
        scanner.PropRules() << "*.Caption";
        Scan(scanner, opaque);
        EXPECT_EQ(store.ExtGroups().Count(), 0);
        EXPECT_EQ(store.FindProperty("fCards", "bClose", "Caption")->MainValue()->Value(), "Close");
    }
}

TEST(LocFormProcessor, DamagedStreamsFailCleanly)
{
    DemoStore demo(0x0401);
    TLocFormProcessor processor;
    Prepare(processor, demo, 0x0401);
    const FuzzStats stats = RunFuzzLoop(
        [&](const QByteArray& bytes) { Translate(processor, bytes); },
        {ObjectTextToBinary(ReadData("demo.txt")), ReadData("demo-translated.bin")}, 2.0);
    EXPECT_GT(stats.rejected, 0);
}

// A FIFO named as a form, resource or language module file, or at the end
// of a link so named, is refused at once (never waited on) by every reader
// of such files, with the reader's own message and the reason, and is left
// as it was.
TEST(LocalizationFiles, AFifoIsNoFileToRead)
{
    struct Road {
        const char* Reader;
        std::function<void(const QString&)> Open;
        QString Message; // %1 the name, %2 the reason
    };
    const std::vector<Road> roads = {
        {"form scan", [](const QString& name) { TLocFormProcessor().LoadFromFileEx(name, QString(), 0); },
         "Cannot open file \"%1\". %2"},
        {"form update", [](const QString& name) { TLocFormProcessor().UpdateFormFile(name); },
         "Cannot open file \"%1\". %2"},
        {"resource file", [](const QString& name) { TResReader reader(name); }, "Couldn't open: %1. %2"},
        {"language module", [](const QString& name) { TKLocUtils().LoadDataModule(name); },
         "Error loading resource file \"%1\". %2"},
    };
    QTemporaryDir dir;
    const QStringList names = MakeFifoAndLink(dir.path(), "fDemo.dfm");
    ASSERT_EQ(names.size(), 2);
    const std::string before = NodesIn(dir.path());
    for (const Road& road : roads) {
        for (const QString& name : names) {
            SCOPED_TRACE(std::string(road.Reader) + " of " + name.toStdString());
            const QString answer = RunInChildWithin(1000, [&] {
                try {
                    road.Open(name);
                } catch (const Exception& e) {
                    return e.Message();
                }
                return QStringLiteral("read");
            });
            const QString reason = name == names[0] ? "It is not a file." : "\"" + names[0] + "\" is not a file.";
            EXPECT_EQ(answer.toStdString(), road.Message.arg(name, reason).toStdString());
        }
    }
    EXPECT_EQ(NodesIn(dir.path()), before);
}

} // namespace
