// The value-by-value walker: an untouched stream comes out byte for byte,
// replaced values and added properties land where the hooks put them.
#include "platform/objects/StreamWalker.h"
#include "platform/objects/Filer.h"
#include "platform/objects/ObjectText.h"
#include "platform/rtl/Streams.h"
#include "tests/platform/objects/TestClasses.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

QByteArray Fixture(const char* name)
{
    QFile file(QStringLiteral(TESSVAR_OBJECTS_DATA "/%1.bin").arg(QLatin1String(name)));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

// A translator in miniature: upper-cases every caption, replaces the second
// line of a string list, adds a property to the root and logs what it walks.
class TTranslatingWalker : public TObjectStreamWalker {
public:
    using TObjectStreamWalker::TObjectStreamWalker;
    QStringList Log;

protected:
    void BeginObject(const TWalkObject& object) override
    {
        Log << QStringLiteral("object %1:%2 depth %3 flags %4 pos %5")
                   .arg(object.Name, object.ClassName)
                   .arg(object.Depth)
                   .arg(object.Flags)
                   .arg(object.ChildPos);
    }
    void EndProperties(const TWalkObject& object) override
    {
        if (object.Depth == 0 && Writer()) {
            Writer()->WriteStr(QStringLiteral("BiDiMode"));
            Writer()->WriteIdent(QStringLiteral("bdRightToLeft"));
        }
    }
    void BeginCollectionItem(int index) override { Log << QStringLiteral("item %1").arg(index); }
    bool ReplaceValue(const TStreamValue& value) override
    {
        Log << QStringLiteral("%1[%2] %3").arg(PropName()).arg(ListIndex()).arg(ValueTypeName(value.Type));
        if (!Writer())
            return false;
        if (PropName().endsWith(QLatin1String("Caption")) && value.Type == TValueType::vaString) {
            Writer()->WriteString(value.Text.toUpper());
            return true;
        }
        if (PropName() == QLatin1String("Lines.Strings") && ListIndex() == 1) {
            Writer()->WriteString(QStringLiteral("second"));
            return true;
        }
        return false;
    }
};

QByteArray Walk(const QByteArray& source, bool translate)
{
    TMemoryStream input(source);
    TMemoryStream output;
    TWriter writer(output);
    if (translate) {
        TTranslatingWalker walker(input, &writer);
        walker.Run();
    } else {
        TObjectStreamWalker walker(input, &writer);
        walker.Run();
    }
    return output.Bytes();
}

TEST(StreamWalkerTest, UntouchedStreamsComeOutByteForByte)
{
    for (const char* name : {"values", "tree"}) {
        SCOPED_TRACE(name);
        const QByteArray source = Fixture(name);
        EXPECT_EQ(Walk(source, false), source);
        // Whatever follows the root object is copied through.
        EXPECT_EQ(Walk(source + "tail", false), source + "tail");
    }
    // Non-canonical encodings stay as they are: 5 as an int32, a wide "A".
    const QByteArray odd = QByteArray::fromHex("54504630015401410156"
                                               "0405000000"
                                               "0156"
                                               "12010000004100"
                                               "0000");
    EXPECT_EQ(Walk(odd, false), odd);
}

TEST(StreamWalkerTest, ReplacedValuesAndAddedProperties)
{
    const QByteArray translated = Walk(Fixture("tree"), true);
    EXPECT_EQ(QString::fromUtf8(ObjectBinaryToText(translated)), QStringLiteral(R"(object Form1: TTestForm
  Caption = 'MAIN'
  Font.Name = 'Arial'
  Font.Size = 10
  BiDiMode = bdRightToLeft
  object Panel1: TPanel
    object Button1: TButton [1]
      OnClick = Button1Click
    end
    object Button2: TButton [0]
      Default = True
    end
  end
  inherited Label1: TLabel
    Caption = 'CHANGED'
  end
  inline Frame1: TFrame1
    inherited Edit1: TEdit
      Text = 'x'
    end
  end
  object TTimer
  end
  object Grid: TGrid
    Columns = <
      item
        Width = 10
        Title.Caption = 'A'
      end
      item
      end>
    Rows = <>
    Lines.Strings = (
      'alpha'
      'second')
  end
end
)"));
}

TEST(StreamWalkerTest, ScanningWithoutWriterSeesEveryValue)
{
    TMemoryStream input(Fixture("tree"));
    TTranslatingWalker walker(input, nullptr);
    walker.Run();
    EXPECT_EQ(walker.Log, QStringList({
                              "object Form1:TTestForm depth 0 flags 0 pos -1",
                              "Caption[-1] vaString",
                              "Font.Name[-1] vaString",
                              "Font.Size[-1] vaInt8",
                              "object Panel1:TPanel depth 1 flags 0 pos -1",
                              "object Button1:TButton depth 2 flags 2 pos 1",
                              "OnClick[-1] vaIdent",
                              "object Button2:TButton depth 2 flags 2 pos 0",
                              "Default[-1] vaTrue",
                              "object Label1:TLabel depth 1 flags 1 pos -1",
                              "Caption[-1] vaString",
                              "object Frame1:TFrame1 depth 1 flags 4 pos -1",
                              "object Edit1:TEdit depth 2 flags 1 pos -1",
                              "Text[-1] vaString",
                              "object :TTimer depth 1 flags 0 pos -1",
                              "object Grid:TGrid depth 1 flags 0 pos -1",
                              "item 0",
                              "Width[-1] vaInt8",
                              "Title.Caption[-1] vaString",
                              "item 1",
                              "Lines.Strings[0] vaString",
                              "Lines.Strings[1] vaString",
                          }));
}

TEST(StreamWalkerTest, DamagedStreamsRaiseReadErrors)
{
    const QByteArray source = Fixture("values");
    for (qsizetype length = 0; length < source.size(); ++length) {
        TMemoryStream input(source.left(length));
        TMemoryStream output;
        TWriter writer(output);
        TObjectStreamWalker walker(input, &writer);
        EXPECT_THROW(walker.Run(), EReadError) << length;
    }
}

} // namespace
