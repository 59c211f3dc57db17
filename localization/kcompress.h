#pragma once
// LZK, the localization library's small LZ77 coder for language files,
// embedded language blocks and stored executable copies.
//
// Stream layout (little-endian): "LZK00", a 32-bit signed version, then
// tokens up to the end of the stream. A token's first byte tells its kind:
//   even b   literal run: b >> 1 bytes (1..127) follow and are copied as they
//            stand; b = 0 is an empty run, accepted and ignored
//   odd b    match: with the next byte it forms W (b the low byte);
//            distance = bits 1..11 of W (1..2047), length = (W >> 12) + 3
//            (3..18); the bytes are copied one at a time from distance
//            bytes back, so a distance below the length repeats bytes
// The encoder works in a 2048-byte window with a 127-byte look-ahead and
// looks at no more than 40 earlier positions per first byte.
#include "platform/rtl/Exceptions.h"

#include <cstdint>
#include <functional>
#include <utility>

class TStream;

RTL_EXCEPTION_CLASS(EKCompressError, Exception);

// Base of compressors: a source and a destination stream (not owned), a
// progress event and a format version. Compress writes the header and the
// body at the destination's position from the source's position to its end;
// Decompress reads them back.
class TKCompressor {
public:
    // Told the source position and size after each token.
    using TProgressEvent = std::function<void(TKCompressor& sender, int64_t position, int64_t size)>;

    TKCompressor() = default;
    TKCompressor(const TKCompressor&) = delete;
    TKCompressor& operator=(const TKCompressor&) = delete;
    virtual ~TKCompressor();

    // Raise EKCompressError "Source stream is not defined" / "Destination
    // stream is not defined" when a stream is missing.
    void Compress();
    void Decompress();

    TStream* SrcStream() const { return FSrcStream; }
    void SetSrcStream(TStream* stream) { FSrcStream = stream; }
    TStream* DestStream() const { return FDestStream; }
    void SetDestStream(TStream* stream) { FDestStream = stream; }
    void SetOnProgress(TProgressEvent onProgress) { FOnProgress = std::move(onProgress); }
    int32_t Version() const { return FVersion; }
    void SetVersion(int32_t version) { FVersion = version; }

protected:
    virtual void ReadHeader() = 0;
    virtual void WriteHeader() = 0;
    virtual void CompressBody() = 0;
    virtual void DecompressBody() = 0;
    // Calls the progress event, when set, with position and size of the source.
    virtual void DoProgress(int64_t position, int64_t size);

    TStream* FSrcStream = nullptr;
    TStream* FDestStream = nullptr;
    TProgressEvent FOnProgress;
    int32_t FVersion = 0;

private:
    void CheckStreams() const;
};

class TLZKCompressor : public TKCompressor {
protected:
    // Reads the signature and version; EKCompressError "Wrong stream format"
    // when the signature is not "LZK00" or the header is cut short.
    void ReadHeader() override;
    void WriteHeader() override;
    void CompressBody() override;
    // Decodes the whole body before writing any of it, so a stream refused
    // with "Wrong stream format" (a distance of 0 or one reaching before the
    // first decoded byte) leaves the destination untouched. A body cut short
    // ends with the bytes really decoded: a partial literal run gives the
    // bytes present, a match missing its second byte gives nothing.
    void DecompressBody() override;
};

// The unit's routines, each with a temporary TLZKCompressor of version 0.
// The ...To forms start at the source's position, the ...Stream forms rewind
// the source first.
void LZKCompressTo(TStream& source, TStream& dest, TKCompressor::TProgressEvent onProgress = {});
void LZKCompressStream(TStream& source, TStream& dest, TKCompressor::TProgressEvent onProgress = {});
void LZKDecompressTo(TStream& source, TStream& dest, TKCompressor::TProgressEvent onProgress = {});
void LZKDecompressStream(TStream& source, TStream& dest, TKCompressor::TProgressEvent onProgress = {});
// True when the stream holds the LZK signature at its position; the position
// is left where it was.
bool IsLZKStream(TStream& stream);
