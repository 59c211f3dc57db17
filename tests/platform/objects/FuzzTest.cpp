// Time-boxed mutation fuzzing of every reader of component streams: the
// component reader, the binary-to-text converter with the walker, and the
// text parser. Each must reject bad input with an Exception, never crash or
// read out of bounds (the sanitizers watch).
#include "platform/objects/Filer.h"
#include "platform/objects/ObjectText.h"
#include "platform/objects/StreamWalker.h"
#include "platform/rtl/Streams.h"
#include "tests/platform/objects/TestClasses.h"
#include "tests/support/FuzzLoop.h"

#include <QFile>
#include <gtest/gtest.h>

#include <memory>

namespace {

QByteArray Fixture(const char* file)
{
    QFile f(QStringLiteral(TESSVAR_OBJECTS_DATA "/%1").arg(QLatin1String(file)));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return f.readAll();
}

// Streams of the test classes, so mutations reach deep into the reader.
std::vector<QByteArray> ComponentSeeds()
{
    return {
        ObjectTextToBinary(
            QByteArray("object Form1: TKindsForm\n"
                       "  Count = 300\n  Letter = 'q'\n  Align = alTop\n  Enabled = False\n"
                       "  Anchors = [akLeft, akBottom]\n  Ratio = 2.5\n  Scale = 1.5s\n"
                       "  Price = 1.25c\n  Stamp = 100.5d\n  Code = 'c'\n  Hint = 'h'\n"
                       "  Caption = 'x'#8364\n  Big = 5000000000\n  Extra = 3\n  OnClick = BoxClick\n"
                       "  Buddy = Box1\n  Font.Name = 'Courier'\n  Lines.Strings = (\n    'a'\n    'b')\n"
                       "  Items = <\n    item\n      Width = 2\n    end>\n  Blob = {0102}\n"
                       "  object Box1: TKindsBox\n    Buddy = Owner\n"
                       "    object Box2: TKindsBox\n    end\n  end\n"
                       "end\n")),
        ObjectTextToBinary(QByteArray("object Form1: TKindsForm\n  inline Box1: TKindsBox\n"
                                      "    inherited Box2: TKindsBox\n    end\n  end\nend\n")),
    };
}

TEST(FuzzTest, ComponentReader)
{
    RegisterTestClasses();
    const FuzzStats stats = RunFuzzLoop(
        [](const QByteArray& bytes) {
            TKindsBox::LoadedLog().clear();
            std::unique_ptr<TComponent> root(ReadComponentFromBytes(bytes, nullptr));
        },
        ComponentSeeds(), 3.0);
    EXPECT_GT(stats.runs, stats.rejected); // some mutations still load
    EXPECT_EQ(PendingFixupCount(), 0);
}

TEST(FuzzTest, BinaryToTextAndWalker)
{
    std::vector<QByteArray> seeds = ComponentSeeds();
    seeds.push_back(Fixture("values.bin"));
    seeds.push_back(Fixture("tree.bin"));
    const FuzzStats stats = RunFuzzLoop(
        [](const QByteArray& bytes) {
            bool textFailed = false;
            try {
                ObjectBinaryToText(bytes);
            } catch (const EReadError&) {
                textFailed = true;
            }
            TMemoryStream input(bytes);
            TMemoryStream output;
            TWriter writer(output);
            TObjectStreamWalker walker(input, &writer);
            walker.Run();
            // What the walker accepts it copies unchanged.
            if (!textFailed && output.Bytes() != bytes)
                throw Exception(QStringLiteral("walker changed the stream"));
        },
        seeds, 1.5);
    EXPECT_GT(stats.runs, 0);
}

TEST(FuzzTest, TextParser)
{
    const FuzzStats stats = RunFuzzLoop([](const QByteArray& text) { ObjectTextToBinary(text); },
                                        {Fixture("values.txt"), Fixture("tree.txt")}, 1.5);
    EXPECT_GT(stats.runs, 0);
}

} // namespace
