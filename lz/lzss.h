// The engine's operation bracket and its LZSS coder, which codes a byte stream (no header,
// length or end marker) through two blocks filled and emptied by hooks. All state is the
// calling thread's. A run: LZBegin(1); LzssPrepareEncode(); LzssEncode(); LZEnd().
#pragma once

#include <cstdint>
#include <functional>
#include <span>

namespace lz {

inline constexpr std::uint32_t kBlockSize = 262144;

// Fills `block` with up to kBlockSize input bytes and answers how many; 0 at the end.
using ReadBlockHook = std::function<std::uint32_t(std::span<std::uint8_t> block)>;
// Takes all of `bytes` (possibly none); the coder ignores the answer.
using WriteBlockHook = std::function<std::uint32_t(std::span<const std::uint8_t> bytes)>;

// What a hook throws ends the run and passes through.
void SetBlockHooks(ReadBlockHook read_block, WriteBlockHook write_block);

// Starts an operation; the mode's low seven bits are kept for LZEnd, whatever the answer.
// 0: true, acquiring nothing (LzssPrepare* acquires). 1: acquires the LZSS work areas
// unless held; true if held then (never throws). 2: takes the second coder's busy flag;
// false if taken. Other modes: false.
bool LZBegin(std::uint8_t mode);
// Frees what the mode took (mode 0: what LzssPrepare* acquired) and forgets the mode.
void LZEnd();

// Set-up before each run: empty blocks and a zeroed window (and tree area), which streams
// may refer to. False only when the work areas cannot be acquired.
bool LzssPrepareEncode();
bool LzssPrepareDecode();

// Codes everything ReadBlock delivers into WriteBlock, the last call with the partial block,
// possibly empty. A damaged stream decodes to wrong bytes (a match cut by the end is
// dropped), never outside the work areas.
void LzssEncode();
void LzssDecode();

}  // namespace lz
