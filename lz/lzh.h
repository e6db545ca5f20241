// The engine's second coder (method 4): LZ77 over a 21,903-byte ring with hash chains and
// lazy matching, its literals, lengths and distance classes coded by one adaptive Huffman
// tree. It does its own block I/O through LzhStreams; LZBegin(2) (lzss.h) guards it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace lz {

// Negative answers of LzhEncode / LzhDecode.
inline constexpr int kLzhNoWorkArea = -20;  // a work area could not be had; nothing written
inline constexpr int kLzhInputEnded = -21;  // decoder: input ended before the end symbol

// What a stream throws ends the run and passes through.
struct LzhStreams {
  // Places up to count bytes into buffer and answers how many; 0 at the end of the input.
  std::function<std::size_t(std::uint8_t* buffer, std::size_t count)> read;
  std::function<void(const std::uint8_t* data, std::size_t count)> write;  // takes all
};

// Told each block's byte count as it is read (count_in) or written (count_out).
using LzhCountHook = std::function<void(std::uint32_t count, bool decompressing)>;
void SetLzhCountHooks(LzhCountHook count_in, LzhCountHook count_out);

// Answers the bytes written (even, at least 2), or kLzhNoWorkArea.
std::int64_t LzhEncode(const LzhStreams& io);

// Decodes one stream up to its end symbol: the bytes written, kLzhInputEnded (the partial
// block dropped), or kLzhNoWorkArea. A block read short is the last, its odd byte no word.
// A damaged stream may decode wrongly, never outside the coder's buffers.
std::int64_t LzhDecode(const LzhStreams& io);

}  // namespace lz
