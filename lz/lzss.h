// The engine's operation bracket and its LZSS coder.
//
// The coder turns one byte stream into a compressed stream and back through two
// 262,144-byte blocks that it fills and empties through hooks. The stream has no header,
// length or end marker: it ends where the input ends. All state, the hooks and the work
// areas included, is the calling thread's own: one operation at a time on each thread.
//
// A run, as the file layer drives it:
//   LZBegin(1);  SetBlockHooks(...) once at start-up;
//   LzssPrepareEncode();  LzssEncode();      (or LzssPrepareDecode(); LzssDecode();)
//   LZEnd();
#pragma once

#include <cstdint>
#include <functional>
#include <span>

namespace lz {

// Size of the input block and of the output block.
inline constexpr std::uint32_t kBlockSize = 262144;

// Fills `block` (kBlockSize bytes) with up to kBlockSize input bytes and answers how
// many; 0 means the input is exhausted.
using ReadBlockHook = std::function<std::uint32_t(std::span<std::uint8_t> block)>;
// Takes all of `bytes` (0..kBlockSize of them) from the output block; may be given none.
// The answer (bytes actually taken) is for the hook's own counting; the coder ignores it.
using WriteBlockHook = std::function<std::uint32_t(std::span<const std::uint8_t> bytes)>;

// Installs the hooks both LZSS directions use. Errors a hook throws pass through the
// coder unchanged and end the run at once.
void SetBlockHooks(ReadBlockHook read_block, WriteBlockHook write_block);

// Starts an engine operation; only the low seven bits of `mode` count, and the mode is
// remembered for LZEnd even when the answer is false.
//   0: acquires nothing, answers true (LzssPrepare* then acquires the areas itself).
//   1: acquires the LZSS work areas unless already held; true if held afterwards.
//      A failed acquisition frees whatever it had obtained. Never throws.
//   2: takes the second coder's busy flag; false if it was already taken.
//   other: false.
bool LZBegin(std::uint8_t mode);
// Ends the operation: after mode 1 frees the work areas (after mode 0 those that
// LzssPrepare* acquired), after mode 2 clears the busy flag, then forgets the mode, so
// a second call does nothing.
void LZEnd();

// Set-up before each run, after LZBegin: the next byte read calls ReadBlock, the output
// starts empty; encoding also zeroes the tree area and the encoder's scratch, decoding
// zeroes the window. Both start from a window of zero bytes, which streams may refer to.
// Answer false only when the work areas are not held and cannot be acquired.
bool LzssPrepareEncode();
bool LzssPrepareDecode();

// Compresses everything ReadBlock delivers into WriteBlock. The last WriteBlock call
// carries the final partial block, possibly 0 bytes. Needs a prepared run.
void LzssEncode();
// Decompresses everything ReadBlock delivers into WriteBlock. A damaged stream decodes
// to wrong bytes without notice; a match cut by the end of the input is dropped. Never
// reads or writes outside its work areas, whatever the input.
void LzssDecode();

}  // namespace lz
