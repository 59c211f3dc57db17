#include "report/print/QpDefine.h"

#include "platform/os/SharedObjects.h"
#include "platform/rtl/Streams.h"

#include <QDir>
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <thread>

#include <unistd.h>

namespace {

TEST(QpDefineTest, ShadeToColorBlendsTowardsWhite)
{
    struct Row {
        int line;
        TColor color;
        int shade;
        TColor result;
    };
    // c + (255 - c) * (100 - shade) / 100, truncated.
    const Row rows[] = {
        {1, clBlack, 50, RGB(127, 127, 127)},
        {2, clBlack, 0, clWhite},
        {3, clBlack, 100, clBlack},
        {4, clBlack, 101, clBlack}, // above 100 counts as 100
        {5, clBlack, 200, clBlack},
        {6, RGB(200, 100, 0), 10, RGB(249, 239, 229)}, // 200 + 55 * 90 / 100 = 249.5 ...
        {7, clBtnFace, 100, RGB(212, 208, 200)},       // system colours resolve first
    };
    for (const Row& row : rows)
        EXPECT_EQ(ShadeToColor(row.color, uint8_t(row.shade)), row.result) << "row " << row.line;
}

TEST(QpDefineTest, PaperTableHoldsItsRowsAsStored)
{
    ASSERT_EQ(PaperSizes.size(), 43u);
    EXPECT_EQ(PaperSizes[0].PaperCode, -1);
    EXPECT_EQ(PaperSizes[0].Width, 0);
    EXPECT_EQ(PaperSizes[1].PaperCode, 256);
    // Rows 39 and 40 keep their stored sizes, whatever their names say.
    EXPECT_EQ(QString::fromUtf16(PaperSizes[39].Name), "6 3/4 Envelope, 3 5/8- by 6 1/2-inches");
    EXPECT_EQ(PaperSizes[39].Width, 3.626);
    EXPECT_EQ(PaperSizes[39].Height, 6.5);
    EXPECT_EQ(PaperSizes[40].PaperCode, 39);
    EXPECT_EQ(PaperSizes[40].Width, 14.875);
    EXPECT_EQ(PaperSizes[40].Height, 12);
    // The two blanks in some names are kept.
    EXPECT_EQ(QString::fromUtf16(PaperSizes[30].Name), "C3 Envelope,  324- by 458-millimeters");
    std::set<int> codes;
    for (const TPaperSize& paper : PaperSizes)
        codes.insert(paper.PaperCode);
    EXPECT_EQ(codes.size(), 43u);
    const TPaperSize* a4 = FindPaperSize(9);
    ASSERT_NE(a4, nullptr);
    EXPECT_DOUBLE_EQ(a4->Width * 25.4, 210);
    EXPECT_EQ(FindPaperSize(42), nullptr);
}

TEST(QpDefineTest, MessagesPassThroughTheReplaceableHook)
{
    EXPECT_EQ(Translate("Preview"), "Preview");
    const TTranslateProc saved = TranslateHook;
    TranslateHook = [](const QString& text, QString& result) { result = "<" + text + ">"; };
    EXPECT_EQ(Translate("Preview"), "<Preview>");
    TranslateHook = saved;
    try {
        RaiseError(QStringLiteral("Invalid method call.  Sheetcaster is not printing."));
        FAIL();
    } catch (const ESheetcaster& e) {
        EXPECT_EQ(e.Message(), "Invalid method call.  Sheetcaster is not printing.");
    }
}

TEST(QpDefineTest, VersionIsFixed)
{
    TQpComponent component(nullptr);
    EXPECT_EQ(component.Version(), "11.0.14 (VCLD10)");
    component.SetVersion(QStringLiteral("1.0"));
    EXPECT_EQ(component.Version(), "11.0.14 (VCLD10)");
}

// Opens the mutex of that name on a thread of its own and takes it without
// waiting, giving it back where it got it: what another thread finds.
TWaitResult TakenOnAnotherThread(const QString& name)
{
    TWaitResult result = TWaitResult::wrFailed;
    std::thread([&] {
        const TSharedHandle mutex = OpenSharedMutex(name);
        result = WaitNamedObject(mutex, 0);
        if (result == TWaitResult::wrSignaled)
            ReleaseNamedMutex(mutex);
        CloseSharedMutex(mutex);
    }).join();
    return result;
}

TEST(QpDefineTest, NamedObjectsOpenOrCreateByFullName)
{
    EXPECT_EQ(OpenSharedEvent(QString()), 0u);
    EXPECT_EQ(OpenSharedManualEvent(QString()), 0u);
    EXPECT_EQ(OpenSharedMutex(QString()), 0u);

    const QString name = QStringLiteral("qpdefine-%1").arg(getpid());
    const TSharedHandle first = OpenSharedEvent(name);
    const TSharedHandle second = OpenSharedManualEvent(name); // opens the auto-reset one
    ASSERT_NE(first, 0u);
    ASSERT_NE(second, 0u);
    SetNamedEvent(first);
    EXPECT_EQ(WaitNamedObject(second, 0), TWaitResult::wrSignaled);
    EXPECT_EQ(WaitNamedObject(second, 0), TWaitResult::wrTimeout);
    CloseSharedEvent(first);
    CloseSharedEvent(second);

    // Closing a handle does not release the mutex: another thread still
    // finds it taken, and the holder's other handle takes it again nested.
    // It is released before its last handle closes, so that the object goes.
    const TSharedHandle mutex = OpenSharedMutex(name);
    const TSharedHandle again = OpenSharedMutex(name);
    ASSERT_NE(mutex, 0u);
    ASSERT_NE(again, 0u);
    EXPECT_EQ(WaitNamedObject(mutex, 0), TWaitResult::wrSignaled);
    CloseSharedMutex(mutex);
    EXPECT_EQ(TakenOnAnotherThread(name), TWaitResult::wrTimeout);
    EXPECT_EQ(WaitNamedObject(again, 0), TWaitResult::wrSignaled); // the same thread: nested
    EXPECT_TRUE(ReleaseNamedMutex(again));
    EXPECT_TRUE(ReleaseNamedMutex(again));
    EXPECT_FALSE(ReleaseNamedMutex(again)); // both acquisitions given back
    EXPECT_EQ(TakenOnAnotherThread(name), TWaitResult::wrSignaled);
    CloseSharedMutex(again);

    // An empty name is an unnamed block of its own.
    const TSharedHandle unnamed = OpenSharedMemory(QString(), 128);
    auto* view = static_cast<char*>(MapSharedMemory(unnamed));
    ASSERT_NE(view, nullptr);
    std::memset(view, 7, 128);
    CloseSharedMemory(unnamed, view);
    EXPECT_THROW(OpenSharedMemory(name + "-missing", 0), EOSError);

    // Every object went with its last handle: none of these names is left
    // in the user's folder of shared objects.
    const QString folder = SharedObjectsFolder();
    ASSERT_FALSE(folder.isEmpty());
    EXPECT_EQ(QDir(folder)
                  .entryList({QStringLiteral("*-") + name + QStringLiteral("*")},
                             QDir::AllEntries | QDir::System | QDir::Hidden)
                  .join(' ')
                  .toStdString(),
              "");
}

TEST(QpDefineTest, CharacterSetsFollowTheCodePageAndTheLocale)
{
    EXPECT_EQ(CodePageCharset(), 1); // the Ansi code page is 1252
    EXPECT_EQ(LocaleCharset(0), 0);  // not DEFAULT_CHARSET: unchanged
    EXPECT_EQ(LocaleCharset(204), 204);
    // The test locale (C / English) has no character set of its own.
    EXPECT_EQ(LocaleCharset(1), 1);
}

TEST(QpDefineTest, StringRoutines)
{
    EXPECT_EQ(AnsiPosOf("cd", "abcdcd"), 3);
    EXPECT_EQ(AnsiPosOf("x", "abc"), 0);
    EXPECT_EQ(AnsiPosOf("", "abc"), 0);
    EXPECT_EQ(AnsiUpper(QStringLiteral("\u00e8a")), QStringLiteral("\u00c8A"));
    EXPECT_EQ(AnsiCompare("abc", "ABC"), 0);
    EXPECT_LT(AnsiCompare("abc", "abd"), 0);

    TMemoryStream stream;
    StreamWriteString(stream, QStringLiteral("A\u20ac"));
    EXPECT_EQ(stream.Bytes(), QByteArray::fromHex("4100ac20")); // UTF-16LE, no length
}

TEST(QpDefineTest, EnumerationSetsUseTheirOrdinalsAsBits)
{
    TSystemSetups setups{TSystemSetup::ssAllowSetup, TSystemSetup::ssAllowPreviewSetup};
    EXPECT_EQ(setups.ToBits(), 0x0101);
    setups.Exclude(TSystemSetup::ssAllowSetup);
    EXPECT_FALSE(setups.Contains(TSystemSetup::ssAllowSetup));
    EXPECT_EQ(int(TMacroID::midUser20), 35);
    EXPECT_EQ(sizeof(TOrientation), 1u);
}

} // namespace
