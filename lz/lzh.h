// The engine's second coder: LZ77 over a 21,903-byte ring with hash chains and lazy
// matching, whose literals, lengths and distance classes are codes of one adaptive
// Huffman tree. Compressed files with header method byte 4 hold its stream.
//
// The coder does its own block I/O through LzhStreams, so it knows nothing of files.
// One run at a time: the busy flag that guards it is taken by LZBegin (lzss.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace lz {

// Negative answers of LzhEncode / LzhDecode.
inline constexpr int kLzhNoWorkArea = -20;  // a work area could not be had; nothing written
inline constexpr int kLzhInputEnded = -21;  // decoder: input ended before the end symbol

struct LzhStreams {
  // Places up to count bytes into buffer and answers how many; 0 at the end of the input.
  // May throw (platform::EInOutError); the exception ends the run and passes through.
  std::function<std::size_t(std::uint8_t* buffer, std::size_t count)> read;
  // Takes all count bytes. May throw, as above.
  std::function<void(const std::uint8_t* data, std::size_t count)> write;
};

// Called after every block read (CountIn) or written (CountOut) with the block's byte count;
// decompressing is false inside LzhEncode and true inside LzhDecode.
using LzhCountHook = std::function<void(std::uint32_t count, bool decompressing)>;

// Installs the counting hooks (at engine start-up). An empty hook is not called.
void SetLzhCountHooks(LzhCountHook count_in, LzhCountHook count_out);

// Codes the whole of io.read into io.write. Answers the bytes written (always even, at
// least 2), or kLzhNoWorkArea.
std::int64_t LzhEncode(const LzhStreams& io);

// Decodes one stream from io.read up to its end symbol into io.write. Answers the bytes
// written, kLzhInputEnded when the input ends first (the output blocks completed before
// then stay written, the partial one is dropped), or kLzhNoWorkArea. Both coders read until
// a block is full or a read answers 0; a block that comes back short is the last, and an
// odd last byte of the input is no word. Any input is safe: a damaged stream may give
// wrong bytes or kLzhInputEnded, but never reads or writes outside the coder's buffers.
std::int64_t LzhDecode(const LzhStreams& io);

}  // namespace lz
