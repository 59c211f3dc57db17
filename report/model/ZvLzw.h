#pragma once
// ZvLzw: the LZW code of compressed blocks: variable code width starting at
// symbol width + 1, a clear code (2^S) and an end code (2^S + 1), codes
// packed most significant bit first. The block method 2 uses 8-bit symbols and
// codes of at most 13 bits.
//
// Encoder: clear code, then the codes, a clear code (written at the full
// width) whenever the last code of the table was assigned, the end code, and
// zero bits to complete the last byte. An empty input gives the clear and end
// codes only.
//
// Decoder: refuses, with EZarvException "invalid LZW code", a stream that does
// not begin with a clear code, a code after a clear that is no symbol, a code
// beyond the next free one, and a stream that ends without its end code; a
// stream that runs past the table without a clear raises "Hash Table
// overflow.". An empty input, and the encoder's empty forms (clear, end; or
// clear, a code of all one bits, end), decode to nothing.
//
// The state of one run lives in a local object, so runs may be nested or run
// side by side.
#include <cstdint>
#include <functional>

// Reads up to count bytes into buffer; answers how many were read (0 at the
// end of the input).
using TLzwReadProc = std::function<int(uint8_t* buffer, int count)>;
using TLzwWriteProc = std::function<void(const uint8_t* buffer, int count)>;

// symbolBits 1..8, maxBits from the initial width (symbolBits + 1, at least
// 3) up to 16; other values raise EZarvException. Input bytes must be
// symbols (below 2^symbolBits).
void LzwCompress(int symbolBits, int maxBits, const TLzwReadProc& readProc, const TLzwWriteProc& writeProc);
void LzwDecompress(int symbolBits, int maxBits, const TLzwReadProc& readProc, const TLzwWriteProc& writeProc);
