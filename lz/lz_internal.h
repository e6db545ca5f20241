// Inside the file layer, for lz/ and its tests: the running operation's hooks.
#pragma once

#include <cstdint>
#include <span>

#include "lz/lz_file.h"

namespace lz {

// The running operation's bytes read (cleared when one starts, kept after it ends).
std::int64_t BytesIn();

// The LZSS hooks: the running operation's files, counted and reported to its progress.
std::uint32_t ReadBlock(std::span<std::uint8_t> block);
std::uint32_t WriteBlock(std::span<const std::uint8_t> bytes);

// Copies `count` bytes (-1: to the end) from input to output, reporting progress on
// reading (direction 1) or writing (2). Meeting the end early raises EInOutError 100.
std::int64_t CopyStream(std::int64_t count, int direction);

}  // namespace lz
