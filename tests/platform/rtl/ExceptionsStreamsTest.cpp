#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Streams.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>

namespace {

// A stream that takes at most Capacity bytes, to make writes fall short.
class TShortStream : public TMemoryStream {
public:
    explicit TShortStream(int64_t capacity) : Capacity(capacity) {}
    int64_t Write(const void* buffer, int64_t count) override
    {
        return TMemoryStream::Write(buffer, std::min(count, Capacity - Position()));
    }
    int64_t Capacity;
};

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

TEST(Exceptions, MessageHierarchyAndAbort)
{
    EReadError e(QStringLiteral("Caf\u00E9 read"));
    EXPECT_EQ(e.Message(), QStringLiteral("Caf\u00E9 read"));
    EXPECT_STREQ(e.what(), "Caf\xC3\xA9 read"); // what() is UTF-8
    e.SetMessage(QStringLiteral("changed"));
    EXPECT_STREQ(e.what(), "changed");
    EXPECT_TRUE(dynamic_cast<EFilerError*>(&e) != nullptr);
    EXPECT_TRUE(dynamic_cast<EStreamError*>(&e) != nullptr);
    EXPECT_TRUE(dynamic_cast<Exception*>(&e) != nullptr);

    EXPECT_THROW(Abort(), EAbort);
    try {
        Abort();
    } catch (const Exception& abort) {
        EXPECT_EQ(abort.Message(), "Operation aborted");
    }
}

TEST(MemoryStream, PositionSizeAndSeekPastEnd)
{
    TMemoryStream stream;
    stream.WriteBytes("abcdef");
    EXPECT_EQ(stream.Position(), 6);
    EXPECT_EQ(stream.Size(), 6);

    // Seeking past the end is allowed; reading there gets nothing.
    EXPECT_EQ(stream.Seek(4, TSeekOrigin::soEnd), 10);
    char buffer[4] = {};
    EXPECT_EQ(stream.Read(buffer, 4), 0);
    EXPECT_EQ(stream.Size(), 6);

    // Writing there extends the stream; the gap reads as zeros.
    stream.WriteBytes("XY");
    EXPECT_EQ(stream.Size(), 12);
    EXPECT_EQ(stream.Bytes(), QByteArray("abcdef\0\0\0\0XY", 12));

    EXPECT_EQ(stream.Seek(-3, TSeekOrigin::soCurrent), 9);
    EXPECT_EQ(stream.Read(buffer, 4), 3);
    EXPECT_EQ(QByteArray(buffer, 3), QByteArray("\0XY", 3));

    // A negative position reads and writes nothing.
    stream.SetPosition(-1);
    EXPECT_EQ(stream.Read(buffer, 1), 0);
    EXPECT_EQ(stream.Write("z", 1), 0);
    EXPECT_EQ(stream.Size(), 12);
}

TEST(MemoryStream, SetSizeClearAndConstruction)
{
    TMemoryStream stream(QByteArray("hello"));
    EXPECT_EQ(stream.Position(), 0);
    EXPECT_EQ(stream.Size(), 5);
    stream.SetPosition(5);
    stream.SetSize(2); // shrinking pulls the position back
    EXPECT_EQ(stream.Position(), 2);
    stream.SetSize(4); // growing zero-fills
    EXPECT_EQ(stream.Bytes(), QByteArray("he\0\0", 4));
    stream.Clear();
    EXPECT_EQ(stream.Size(), 0);
    EXPECT_EQ(stream.Position(), 0);
}

TEST(MemoryStream, ShortTransfersRaise)
{
    TMemoryStream source(QByteArray("0123456789"));
    char buffer[16] = {};
    source.ReadBuffer(buffer, 10);
    EXPECT_EQ(QByteArray(buffer, 10), "0123456789");
    source.ReadBuffer(buffer, 0); // nothing to move is not a short transfer

    source.SetPosition(8);
    try {
        source.ReadBuffer(buffer, 3);
        FAIL() << "no EReadError";
    } catch (const EReadError& e) {
        EXPECT_EQ(e.Message(), "Stream read error");
    }
    source.SetPosition(8);
    EXPECT_THROW(source.ReadBytes(3), EReadError);
    source.SetPosition(8);
    EXPECT_EQ(source.ReadBytes(2), "89");
    EXPECT_THROW(source.ReadBytes(-1), EReadError);

    TShortStream target(4);
    target.WriteBuffer("abcd", 4);
    try {
        target.WriteBuffer("e", 1);
        FAIL() << "no EWriteError";
    } catch (const EWriteError& e) {
        EXPECT_EQ(e.Message(), "Stream write error");
    }
}

TEST(MemoryStream, CopyFrom)
{
    TMemoryStream source(QByteArray("0123456789"));
    TMemoryStream target;

    // Count 0 copies the whole source from its beginning, wherever it stood.
    source.SetPosition(7);
    EXPECT_EQ(target.CopyFrom(source, 0), 10);
    EXPECT_EQ(target.Bytes(), "0123456789");
    EXPECT_EQ(source.Position(), 10);

    // A count copies from the source's position.
    source.SetPosition(3);
    target.Clear();
    EXPECT_EQ(target.CopyFrom(source, 4), 4);
    EXPECT_EQ(target.Bytes(), "3456");

    // More than the source holds is a short read.
    source.SetPosition(8);
    EXPECT_THROW(target.CopyFrom(source, 3), EReadError);

    // Larger than the copy buffer, so the copy goes in several pieces.
    QByteArray big(200000, Qt::Uninitialized);
    for (int i = 0; i < big.size(); ++i)
        big[i] = char(i * 7);
    TMemoryStream bigSource(big);
    TMemoryStream bigTarget;
    EXPECT_EQ(bigTarget.CopyFrom(bigSource, 0), big.size());
    EXPECT_EQ(bigTarget.Bytes(), big);
}

TEST(FileStream, CreateTruncatesAndReadsBack)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("data.bin");
    WriteFile(path, "a much longer old content");
    {
        TFileStream file(path, fmCreate);
        EXPECT_EQ(file.Size(), 0);
        file.WriteBytes("new");
        EXPECT_EQ(file.Position(), 3);
        // Seeking past the end and writing leaves a zero-filled gap.
        EXPECT_EQ(file.Seek(2, TSeekOrigin::soEnd), 5);
        file.WriteBytes("!");
        EXPECT_EQ(file.Size(), 6);
        EXPECT_EQ(file.FileName(), path);
    }
    EXPECT_EQ(ReadFile(path), QByteArray("new\0\0!", 6));

    TFileStream file(path, fmOpenReadWrite | fmShareDenyWrite);
    EXPECT_EQ(file.ReadBytes(3), "new");
    EXPECT_THROW(file.ReadBytes(4), EReadError);
    file.SetPosition(5);
    file.SetSize(2);
    EXPECT_EQ(file.Size(), 2);
    EXPECT_EQ(file.Position(), 2);
}

TEST(FileStream, WriteToReadOnlyStreamRaises)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("ro.bin");
    WriteFile(path, "abc");
    TFileStream file(path, fmOpenRead);
    EXPECT_EQ(file.Write("x", 1), 0);
    EXPECT_THROW(file.WriteBuffer("x", 1), EWriteError);
    EXPECT_EQ(ReadFile(path), "abc");
}

TEST(FileStream, OpenAndCreateErrorsNameTheFile)
{
    QTemporaryDir dir;
    const QString missing = dir.filePath("missing \u00E9.bin");
    try {
        TFileStream file(missing, fmOpenRead);
        FAIL() << "no EFOpenError";
    } catch (const EFOpenError& e) {
        EXPECT_TRUE(e.Message().startsWith("Cannot open file \"" + missing + "\". ")) << e.what();
        EXPECT_TRUE(e.Message().contains("No such file")) << e.what();
    }
    EXPECT_FALSE(QFile::exists(missing)); // opening never creates

    const QString inMissingFolder = dir.filePath("no/such/folder/x.bin");
    try {
        TFileStream file(inMissingFolder, fmCreate);
        FAIL() << "no EFCreateError";
    } catch (const EFCreateError& e) {
        EXPECT_TRUE(e.Message().startsWith("Cannot create file \"" + inMissingFolder + "\". ")) << e.what();
    }

    // A folder is not a file, in either mode.
    EXPECT_THROW(TFileStream(dir.path(), fmOpenRead), EFOpenError);
    EXPECT_THROW(TFileStream(dir.path(), fmCreate), EFCreateError);
}

TEST(FileStream, MemoryStreamSavesAndLoadsFiles)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("saved.bin");
    TMemoryStream out(QByteArray("\x00\x01\xFFpayload", 10));
    out.SaveToFile(path);
    TMemoryStream in;
    in.WriteBytes("stale");
    in.LoadFromFile(path);
    EXPECT_EQ(in.Bytes(), out.Bytes());
    EXPECT_EQ(in.Position(), 0);
    EXPECT_THROW(in.LoadFromFile(dir.filePath("absent.bin")), EFOpenError);
    EXPECT_EQ(in.Bytes(), out.Bytes()); // a failed load keeps the old content
}
