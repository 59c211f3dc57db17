#include "report/model/ZvLzw.h"

#include "report/model/ZvDefine.h"
#include "report/print/QpDefine.h"

#include <vector>

namespace {

constexpr int kBufferSize = 1024;
// The encoder hands its output on once more than this many bytes wait.
constexpr int kEncoderFlushAt = 1020;
constexpr int32_t kNone = -1;

[[noreturn]] void InvalidCode()
{
    ZarvError(Translate(QStringLiteral("invalid LZW code")));
}

// The code layout that both directions derive from the two widths.
struct TLzwLayout {
    TLzwLayout(int symbolBits, int maxBits)
    {
        // A symbol width of 1 would leave no room for the two special codes
        // in 2 bits, so it starts at 3.
        InitialWidth = symbolBits == 1 ? 3 : symbolBits + 1;
        if (symbolBits < 1 || symbolBits > 8 || maxBits < InitialWidth || maxBits > 16)
            ZarvError(
                Translate(QStringLiteral("Invalid LZW code widths %1 and %2").arg(symbolBits).arg(maxBits)));
        SymbolBits = symbolBits;
        MaxBits = maxBits;
        ClearCode = 1 << symbolBits;
        EndCode = ClearCode + 1;
        TableSize = 1 << maxBits;
    }
    int SymbolBits;
    int MaxBits;
    int InitialWidth;
    int ClearCode;
    int EndCode;
    int TableSize;
};

// Codes packed most significant bit first, each output byte filled from its
// top bit.
class TBitWriter {
public:
    explicit TBitWriter(const TLzwWriteProc& writeProc) : FWriteProc(writeProc)
    {
        FBuffer.reserve(kBufferSize);
    }

    void Put(int code, int width)
    {
        FBits = (FBits << width) | uint32_t(code);
        FCount += width;
        while (FCount >= 8) {
            FCount -= 8;
            FBuffer.push_back(uint8_t(FBits >> FCount));
        }
        FBits &= (1u << FCount) - 1;
        if (int(FBuffer.size()) > kEncoderFlushAt)
            Flush();
    }

    // Completes the last byte with zero bits and hands everything on.
    void Finish()
    {
        if (FCount > 0)
            FBuffer.push_back(uint8_t(FBits << (8 - FCount)));
        FCount = 0;
        FBits = 0;
        Flush();
    }

private:
    void Flush()
    {
        if (!FBuffer.empty())
            FWriteProc(FBuffer.data(), int(FBuffer.size()));
        FBuffer.clear();
    }

    const TLzwWriteProc& FWriteProc;
    std::vector<uint8_t> FBuffer;
    uint32_t FBits = 0;
    int FCount = 0;
};

class TBitReader {
public:
    explicit TBitReader(const TLzwReadProc& readProc) : FReadProc(readProc), FBuffer(kBufferSize) {}

    // The next code of the given width, or -1 when the input ends first.
    int Get(int width)
    {
        while (FCount < width) {
            if (FPos == FLength && !Refill())
                return -1;
            FBits = (FBits << 8) | FBuffer[size_t(FPos++)];
            FCount += 8;
        }
        FCount -= width;
        const int code = int(FBits >> FCount);
        FBits &= (1u << FCount) - 1;
        return code;
    }

    bool ReadAny() const { return FTotal > 0; }

private:
    bool Refill()
    {
        const int n = FReadProc(FBuffer.data(), kBufferSize);
        FPos = 0;
        FLength = n > 0 ? (n < kBufferSize ? n : kBufferSize) : 0;
        FTotal += FLength;
        return FLength > 0;
    }

    const TLzwReadProc& FReadProc;
    std::vector<uint8_t> FBuffer;
    int FPos = 0;
    int FLength = 0;
    int64_t FTotal = 0;
    uint32_t FBits = 0;
    int FCount = 0;
};

// Input bytes, refilled a buffer at a time.
class TByteSource {
public:
    explicit TByteSource(const TLzwReadProc& readProc) : FReadProc(readProc), FBuffer(kBufferSize) {}

    // The next byte, or -1 at the end of the input.
    int Next()
    {
        if (FPos == FLength) {
            const int n = FReadProc(FBuffer.data(), kBufferSize);
            FPos = 0;
            FLength = n > 0 ? (n < kBufferSize ? n : kBufferSize) : 0;
            if (FLength == 0)
                return -1;
        }
        return FBuffer[size_t(FPos++)];
    }

private:
    const TLzwReadProc& FReadProc;
    std::vector<uint8_t> FBuffer;
    int FPos = 0;
    int FLength = 0;
};

class TLzwEncoder {
public:
    TLzwEncoder(const TLzwLayout& layout, const TLzwWriteProc& writeProc)
        : L(layout), FTable(size_t(layout.TableSize)), FOut(writeProc)
    {
    }

    void Run(TByteSource& input)
    {
        Reset();
        FOut.Put(L.ClearCode, FWidth);
        int c = NextSymbol(input);
        if (c >= 0) {
            int w = c;
            while ((c = NextSymbol(input)) >= 0) {
                const int found = FindChild(w, uint8_t(c));
                if (found != kNone) {
                    w = found;
                    continue;
                }
                FOut.Put(w, FWidth);
                Add(w, uint8_t(c));
                if (FResetPending) {
                    FResetPending = false;
                    // Written at the width in force before the reset.
                    FOut.Put(L.ClearCode, FWidth);
                    Reset();
                }
                w = c;
            }
            FOut.Put(w, FWidth);
        }
        FOut.Put(L.EndCode, FWidth);
        FOut.Finish();
    }

private:
    struct Entry {
        uint8_t Symbol = 0;
        int32_t FirstChild = kNone;
        int32_t NextSibling = kNone;
    };

    int NextSymbol(TByteSource& input)
    {
        const int c = input.Next();
        if (c >= L.ClearCode)
            ZarvError(Translate(
                QStringLiteral("LZW input byte %1 is not a %2-bit symbol").arg(c).arg(L.SymbolBits)));
        return c;
    }

    void Reset()
    {
        FWidth = L.InitialWidth;
        FLimit = 1 << FWidth;
        FLast = L.EndCode;
        for (int i = 0; i <= L.EndCode; ++i)
            FTable[size_t(i)] = Entry{uint8_t(i), kNone, kNone};
    }

    // The children of a prefix are kept in ascending order of their symbol,
    // so a search stops at the first larger one.
    int FindChild(int prefix, uint8_t symbol) const
    {
        for (int32_t child = FTable[size_t(prefix)].FirstChild; child != kNone;
             child = FTable[size_t(child)].NextSibling) {
            const uint8_t s = FTable[size_t(child)].Symbol;
            if (s == symbol)
                return child;
            if (s > symbol)
                break;
        }
        return kNone;
    }

    void Add(int prefix, uint8_t symbol)
    {
        const int code = FLast + 1;
        if (code == FLimit - 1 && FWidth == L.MaxBits)
            FResetPending = true;
        if (code == FLimit && FWidth < L.MaxBits) {
            ++FWidth;
            FLimit *= 2;
        }
        FTable[size_t(code)] = Entry{symbol, kNone, kNone};
        int32_t* link = &FTable[size_t(prefix)].FirstChild;
        while (*link != kNone && FTable[size_t(*link)].Symbol < symbol)
            link = &FTable[size_t(*link)].NextSibling;
        FTable[size_t(code)].NextSibling = *link;
        *link = code;
        FLast = code;
    }

    const TLzwLayout& L;
    std::vector<Entry> FTable;
    TBitWriter FOut;
    int FWidth = 0;
    int FLimit = 0;
    int FLast = 0;
    bool FResetPending = false;
};

class TLzwDecoder {
public:
    TLzwDecoder(const TLzwLayout& layout, const TLzwWriteProc& writeProc)
        : L(layout), FTable(size_t(layout.TableSize)), FStack(size_t(layout.TableSize)), FWriteProc(writeProc)
    {
        FOut.reserve(kBufferSize);
    }

    void Run(TBitReader& input)
    {
        Reset();
        const int first = input.Get(FWidth);
        if (first < 0) {
            if (input.ReadAny())
                InvalidCode();
            return; // no input at all
        }
        if (first != L.ClearCode)
            InvalidCode();
        bool afterClear = true;
        bool atStart = true;
        int prev = 0;
        for (;;) {
            const int code = input.Get(FWidth);
            if (code < 0)
                InvalidCode(); // the end code is missing
            if (code == L.EndCode)
                break;
            if (code == L.ClearCode) {
                Reset();
                afterClear = true;
                continue;
            }
            if (afterClear) {
                if (code < L.ClearCode) {
                    Output(code);
                    prev = code;
                    afterClear = false;
                    atStart = false;
                    continue;
                }
                // The encoder's form of an empty input: a code of all one
                // bits between the first clear and the end code.
                if (atStart && code == (1 << FWidth) - 1 && input.Get(FWidth) == L.EndCode)
                    break;
                InvalidCode();
            }
            if (code > FLast + 1)
                InvalidCode();
            uint8_t symbol;
            if (code == FLast + 1) {
                // The string being defined right now: the previous one
                // followed by its own first symbol.
                symbol = FTable[size_t(prev)].First;
                Output(prev);
                Put(symbol);
            } else {
                symbol = FTable[size_t(code)].First;
                Output(code);
            }
            Add(prev, symbol);
            prev = code;
        }
        Flush();
    }

private:
    struct Entry {
        int32_t Prefix = kNone;
        int32_t Length = 1;
        uint8_t Symbol = 0;
        uint8_t First = 0; // the first symbol of the string
    };

    void Reset()
    {
        FWidth = L.InitialWidth;
        FLimit = 1 << FWidth;
        FLast = L.EndCode;
        for (int i = 0; i <= L.EndCode; ++i)
            FTable[size_t(i)] = Entry{kNone, 1, uint8_t(i), uint8_t(i)};
    }

    // The decoder learns each code one code after the encoder did, so it
    // widens one code earlier to read the next code at the encoder's width.
    void Add(int prefix, uint8_t symbol)
    {
        const int code = FLast + 1;
        if (code == FLimit - 1) {
            if (FWidth == L.MaxBits)
                ZarvError(Translate(QStringLiteral("Hash Table overflow.")));
            ++FWidth;
            FLimit *= 2;
        }
        const Entry& p = FTable[size_t(prefix)];
        FTable[size_t(code)] = Entry{prefix, p.Length + 1, symbol, p.First};
        FLast = code;
    }

    void Output(int code)
    {
        int n = 0;
        for (int32_t c = code; c != kNone; c = FTable[size_t(c)].Prefix)
            FStack[size_t(n++)] = FTable[size_t(c)].Symbol;
        while (n > 0)
            Put(FStack[size_t(--n)]);
    }

    void Put(uint8_t b)
    {
        FOut.push_back(b);
        if (int(FOut.size()) == kBufferSize)
            Flush();
    }

    void Flush()
    {
        if (!FOut.empty())
            FWriteProc(FOut.data(), int(FOut.size()));
        FOut.clear();
    }

    const TLzwLayout& L;
    std::vector<Entry> FTable;
    std::vector<uint8_t> FStack;
    std::vector<uint8_t> FOut;
    const TLzwWriteProc& FWriteProc;
    int FWidth = 0;
    int FLimit = 0;
    int FLast = 0;
};

} // namespace

void LzwCompress(int symbolBits, int maxBits, const TLzwReadProc& readProc, const TLzwWriteProc& writeProc)
{
    const TLzwLayout layout(symbolBits, maxBits);
    TByteSource input(readProc);
    TLzwEncoder encoder(layout, writeProc);
    encoder.Run(input);
}

void LzwDecompress(int symbolBits, int maxBits, const TLzwReadProc& readProc, const TLzwWriteProc& writeProc)
{
    const TLzwLayout layout(symbolBits, maxBits);
    TBitReader input(readProc);
    TLzwDecoder decoder(layout, writeProc);
    decoder.Run(input);
}
