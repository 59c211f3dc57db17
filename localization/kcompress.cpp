#include "localization/kcompress.h"

#include "localization/KHelpers.h"
#include "platform/rtl/Streams.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr char Signature[5] = {'L', 'Z', 'K', '0', '0'};
constexpr int HeaderSize = 9; // signature and 32-bit version

constexpr int WindowSize = 2048; // bytes held, look-ahead included; a power of two
constexpr int WindowMask = WindowSize - 1;
constexpr int LookAheadSize = 127;
constexpr int MinMatch = 3;
constexpr int MaxMatch = 18;
constexpr int LongEnoughMatch = 8; // the search stops at a match longer than this
constexpr int CandidatesPerByte = 40;
constexpr int MaxLiteralRun = 127;

constexpr int64_t IoChunkSize = 65536;

// Reads a stream from its position to its end in chunks, counting what it
// has handed out so that progress can report the stream position.
class TChunkReader {
public:
    explicit TChunkReader(TStream& stream);

    int64_t Position() const { return FStartPosition + FConsumed; }
    int64_t StreamSize() const { return FStreamSize; }
    // The next byte, or -1 at the end.
    int Get();
    // Copies up to count bytes into out; returns how many were there.
    int Read(uint8_t* out, int count);

private:
    TStream& FStream;
    int64_t FStartPosition;
    int64_t FStreamSize;
    int64_t FConsumed = 0;
    std::vector<uint8_t> FBuffer;
    size_t FNext = 0;
    bool FAtEnd = false;

    bool Refill();
};

// Collects output and writes it to the stream in chunks.
class TChunkWriter {
public:
    explicit TChunkWriter(TStream& stream) : FStream(stream) { FBuffer.reserve(IoChunkSize); }
    void Put(uint8_t b)
    {
        FBuffer.push_back(b);
        if (FBuffer.size() >= size_t(IoChunkSize))
            Flush();
    }
    void Put(const uint8_t* bytes, int count)
    {
        FBuffer.insert(FBuffer.end(), bytes, bytes + count);
        if (FBuffer.size() >= size_t(IoChunkSize))
            Flush();
    }
    void Flush()
    {
        FStream.WriteBuffer(FBuffer.data(), int64_t(FBuffer.size()));
        FBuffer.clear();
    }

private:
    TStream& FStream;
    std::vector<uint8_t> FBuffer;
};

// The stream positions at which one byte value was coded, oldest first; when
// full, adding drops the oldest.
struct TPositionsList {
    int64_t Items[CandidatesPerByte];
    int Start = 0;
    int Count = 0;

    int64_t At(int i) const
    {
        const int slot = Start + i;
        return Items[slot < CandidatesPerByte ? slot : slot - CandidatesPerByte];
    }
    void Add(int64_t position)
    {
        if (Count == CandidatesPerByte) {
            Items[Start] = position;
            Start = (Start + 1) % CandidatesPerByte;
        } else {
            Items[(Start + Count) % CandidatesPerByte] = position;
            ++Count;
        }
    }
    void DeleteFirst(int n)
    {
        Start = (Start + n) % CandidatesPerByte;
        Count -= n;
    }
};

// The encoder's window: a ring of the last WindowSize bytes read, of which
// the first FBufIndex are coded (the history) and the rest the look-ahead.
// Positions in the dictionary are stream positions, so nothing is renumbered
// when the window slides; stale ones are trimmed while searching.
class TLZSlideWindow {
public:
    int LookAhead() const { return FSize - FBufIndex; }
    uint8_t GetBuffer(int index) const { return At(FBufIndex + index); }
    // Tops the look-ahead up from the source.
    void FillBufferFromStream(TChunkReader& source);
    bool FindMatch(int& distance, int& length);
    // Registers length look-ahead bytes as coded.
    void EnlargeDictionary(int length);

private:
    uint8_t FData[WindowSize];
    int FStart = 0;           // ring index of the oldest byte
    int FSize = 0;            // bytes held
    int64_t FGlobalStart = 0; // stream position (from the start of coding) of the oldest byte
    int FBufIndex = 0;        // logical index of the first byte not yet coded
    TPositionsList FDictionary[256];

    uint8_t At(int index) const { return FData[(FStart + index) & WindowMask]; }
    void Grow(int count);
};

void WriteLiterals(TChunkWriter& out, std::vector<uint8_t>& literals);

} // namespace

// --- TKCompressor ------------------------------------------------------------------

TKCompressor::~TKCompressor() = default;

void TKCompressor::Compress()
{
    CheckStreams();
    WriteHeader();
    CompressBody();
}

void TKCompressor::Decompress()
{
    CheckStreams();
    ReadHeader();
    DecompressBody();
}

void TKCompressor::DoProgress(int64_t position, int64_t size)
{
    if (FOnProgress)
        FOnProgress(*this, position, size);
}

void TKCompressor::CheckStreams() const
{
    if (!FSrcStream)
        throw EKCompressError(LibraryMessage(sKSrcStreamNotDefined));
    if (!FDestStream)
        throw EKCompressError(LibraryMessage(sKDestStreamNotDefined));
}

// --- TLZKCompressor ------------------------------------------------------------------

void TLZKCompressor::ReadHeader()
{
    uint8_t header[HeaderSize];
    const int64_t got = FSrcStream->Read(header, HeaderSize);
    if (got < HeaderSize || std::memcmp(header, Signature, sizeof Signature) != 0)
        throw EKCompressError(LibraryMessage(sKWrongStreamFormat));
    FVersion = qFromLittleEndian<int32_t>(header + sizeof Signature);
}

void TLZKCompressor::WriteHeader()
{
    uint8_t header[HeaderSize];
    std::memcpy(header, Signature, sizeof Signature);
    qToLittleEndian<int32_t>(FVersion, header + sizeof Signature);
    FDestStream->WriteBuffer(header, HeaderSize);
}

void TLZKCompressor::CompressBody()
{
    TChunkReader source(*FSrcStream);
    TChunkWriter out(*FDestStream);
    auto window = std::make_unique<TLZSlideWindow>();
    std::vector<uint8_t> literals;
    literals.reserve(MaxLiteralRun);
    for (;;) {
        window->FillBufferFromStream(source);
        if (window->LookAhead() == 0)
            break; // source at its end and nothing left to code
        int distance = 0;
        int length = 0;
        if (window->FindMatch(distance, length)) {
            WriteLiterals(out, literals);
            const uint16_t word = uint16_t((distance * 2 + 1) + (length - MinMatch) * 4096);
            out.Put(uint8_t(word & 0xFF));
            out.Put(uint8_t(word >> 8));
            window->EnlargeDictionary(length);
        } else {
            if (literals.size() == size_t(MaxLiteralRun))
                WriteLiterals(out, literals);
            literals.push_back(window->GetBuffer(0));
            window->EnlargeDictionary(1);
        }
        DoProgress(source.Position(), source.StreamSize());
    }
    WriteLiterals(out, literals);
    out.Flush();
}

void TLZKCompressor::DecompressBody()
{
    TChunkReader source(*FSrcStream);
    std::vector<uint8_t> out;
    out.reserve(size_t(std::max<int64_t>(0, source.StreamSize() - source.Position())));
    for (;;) {
        const int first = source.Get();
        if (first < 0)
            break;
        if (first & 1) {
            const int second = source.Get();
            if (second < 0)
                break; // a match cut short adds nothing
            const unsigned word = unsigned(first) | (unsigned(second) << 8);
            const size_t distance = (word & 0xFFF) >> 1;
            const int length = int(word >> 12) + MinMatch;
            if (distance == 0 || distance > out.size())
                throw EKCompressError(LibraryMessage(sKWrongStreamFormat));
            // One byte at a time: a distance below the length repeats bytes.
            for (int i = 0; i < length; ++i) {
                const uint8_t b = out[out.size() - distance];
                out.push_back(b);
            }
        } else {
            const int count = first >> 1;
            const size_t at = out.size();
            out.resize(at + size_t(count));
            const int got = source.Read(out.data() + at, count);
            if (got < count) {
                out.resize(at + size_t(got));
                break; // a literal run cut short keeps the bytes present
            }
        }
        DoProgress(source.Position(), source.StreamSize());
    }
    FDestStream->WriteBuffer(out.data(), int64_t(out.size()));
}

// --- unit routines ------------------------------------------------------------------

void LZKCompressTo(TStream& source, TStream& dest, TKCompressor::TProgressEvent onProgress)
{
    TLZKCompressor compressor;
    compressor.SetSrcStream(&source);
    compressor.SetDestStream(&dest);
    compressor.SetOnProgress(std::move(onProgress));
    compressor.Compress();
}

void LZKCompressStream(TStream& source, TStream& dest, TKCompressor::TProgressEvent onProgress)
{
    source.SetPosition(0);
    LZKCompressTo(source, dest, std::move(onProgress));
}

void LZKDecompressTo(TStream& source, TStream& dest, TKCompressor::TProgressEvent onProgress)
{
    TLZKCompressor compressor;
    compressor.SetSrcStream(&source);
    compressor.SetDestStream(&dest);
    compressor.SetOnProgress(std::move(onProgress));
    compressor.Decompress();
}

void LZKDecompressStream(TStream& source, TStream& dest, TKCompressor::TProgressEvent onProgress)
{
    source.SetPosition(0);
    LZKDecompressTo(source, dest, std::move(onProgress));
}

bool IsLZKStream(TStream& stream)
{
    const int64_t position = stream.Position();
    char signature[sizeof Signature];
    const int64_t got = stream.Read(signature, sizeof signature);
    stream.SetPosition(position);
    return got == int64_t(sizeof signature) && std::memcmp(signature, Signature, sizeof Signature) == 0;
}

namespace {

// --- TChunkReader ---------------------------------------------------------------------

TChunkReader::TChunkReader(TStream& stream)
    : FStream(stream), FStartPosition(stream.Position()), FStreamSize(stream.Size())
{
}

int TChunkReader::Get()
{
    if (FNext == FBuffer.size() && !Refill())
        return -1;
    ++FConsumed;
    return FBuffer[FNext++];
}

int TChunkReader::Read(uint8_t* out, int count)
{
    int done = 0;
    while (done < count) {
        if (FNext == FBuffer.size() && !Refill())
            break;
        const int n = int(std::min<size_t>(size_t(count - done), FBuffer.size() - FNext));
        std::memcpy(out + done, FBuffer.data() + FNext, size_t(n));
        FNext += size_t(n);
        done += n;
    }
    FConsumed += done;
    return done;
}

bool TChunkReader::Refill()
{
    if (FAtEnd)
        return false;
    FBuffer.resize(size_t(IoChunkSize));
    const int64_t got = FStream.Read(FBuffer.data(), IoChunkSize);
    FBuffer.resize(size_t(std::max<int64_t>(got, 0)));
    FNext = 0;
    if (got <= 0)
        FAtEnd = true;
    return !FAtEnd;
}

// --- TLZSlideWindow -------------------------------------------------------------------

void TLZSlideWindow::FillBufferFromStream(TChunkReader& source)
{
    const int wanted = LookAheadSize - LookAhead();
    int added = 0;
    while (added < wanted) {
        const int b = source.Get();
        if (b < 0)
            break;
        FData[(FStart + FSize + added) & WindowMask] = uint8_t(b);
        ++added;
    }
    if (added > 0)
        Grow(added);
}

// Candidates are taken newest first; equal lengths keep the nearer one. The
// compared history may run on into the look-ahead, which is how a match
// repeats bytes.
bool TLZSlideWindow::FindMatch(int& distance, int& length)
{
    const int lookAhead = LookAhead();
    if (lookAhead < MinMatch)
        return false;
    TPositionsList& candidates = FDictionary[GetBuffer(0)];
    const int limit = std::min(lookAhead, MaxMatch);
    int best = 0;
    for (int i = candidates.Count - 1; i >= 0; --i) {
        const int64_t position = candidates.At(i);
        if (position < FGlobalStart) {
            candidates.DeleteFirst(i + 1); // it and every older one left the window
            break;
        }
        const int index = int(position - FGlobalStart);
        // Only a candidate that also agrees at place `best` can be longer.
        if (best > 0 && At(index + best) != At(FBufIndex + best))
            continue;
        int n = 1;
        while (n < limit && At(index + n) == At(FBufIndex + n))
            ++n;
        if (n >= MinMatch && n > best) {
            best = n;
            distance = FBufIndex - index;
            if (best > LongEnoughMatch || best == limit)
                break; // a limit-long match cannot be beaten either
        }
    }
    length = best;
    return best > 0;
}

void TLZSlideWindow::EnlargeDictionary(int length)
{
    for (int i = 0; i < length; ++i)
        FDictionary[At(FBufIndex + i)].Add(FGlobalStart + FBufIndex + i);
    FBufIndex += length;
}

// Grows the content by count bytes already placed after the last one; what
// no longer fits drops off the front, and the coded index moves with it.
void TLZSlideWindow::Grow(int count)
{
    FSize += count;
    if (FSize > WindowSize) {
        const int excess = FSize - WindowSize;
        FStart = (FStart + excess) & WindowMask;
        FGlobalStart += excess;
        FSize = WindowSize;
        FBufIndex -= excess;
    }
}

void WriteLiterals(TChunkWriter& out, std::vector<uint8_t>& literals)
{
    if (literals.empty())
        return;
    out.Put(uint8_t(literals.size() * 2));
    out.Put(literals.data(), int(literals.size()));
    literals.clear();
}

} // namespace
