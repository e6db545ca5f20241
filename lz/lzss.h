// The engine's operation bracket and its LZSS coder, which codes a byte stream through
// two 262,144-byte blocks filled and emptied by hooks. The stream has no header, length or
// end marker. All state is the calling thread's. A run: LZBegin(1); LzssPrepareEncode();
// LzssEncode(); LZEnd() (or the same with Decode).
#pragma once

#include <cstdint>
#include <functional>
#include <span>

namespace lz {

// Size of the input block and of the output block.
inline constexpr std::uint32_t kBlockSize = 262144;

// Fills `block` with up to kBlockSize input bytes and answers how many; 0 at the end.
using ReadBlockHook = std::function<std::uint32_t(std::span<std::uint8_t> block)>;
// Takes all of `bytes` (possibly none); the coder ignores the answer.
using WriteBlockHook = std::function<std::uint32_t(std::span<const std::uint8_t> bytes)>;

// Installs the hooks of both directions. What a hook throws ends the run and passes through.
void SetBlockHooks(ReadBlockHook read_block, WriteBlockHook write_block);

// Starts an operation; the mode's low seven bits are remembered for LZEnd, whatever the
// answer. 0: true, acquiring nothing (LzssPrepare* acquires). 1: acquires the LZSS work
// areas unless held; true if held then (a failure frees what it got; never throws).
// 2: takes the second coder's busy flag; false if taken. Other modes: false.
bool LZBegin(std::uint8_t mode);
// Frees what the mode took (mode 0: what LzssPrepare* acquired) and forgets the mode.
void LZEnd();

// Set-up before each run: empty blocks, and a zeroed window (and, encoding, tree area),
// which streams may refer to. False only when the work areas cannot be acquired.
bool LzssPrepareEncode();
bool LzssPrepareDecode();

// Codes everything ReadBlock delivers into WriteBlock; the last call carries the final
// partial block, possibly empty. A damaged stream decodes to wrong bytes without notice
// (a match cut by the end is dropped), never outside the work areas.
void LzssEncode();
void LzssDecode();

}  // namespace lz
