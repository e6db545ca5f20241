// Inside the file layer: the running operation's state and the hooks the coders call. For
// lz/ and the engine's tests only; programs use lz/lz_file.h.
#pragma once

#include <cstdint>
#include <span>

#include "lz/lz_file.h"

namespace lz {

// The running operation's count of bytes read (cleared when one starts, kept after it
// ends).
std::int64_t BytesIn();

// The LZSS hooks EngineStartup installs: they read and write the running operation's
// files, count the bytes and report them to its progress callback, on the uncompressed
// side. A failing read or write raises EInOutError.
std::uint32_t ReadBlock(std::span<std::uint8_t> block);
std::uint32_t WriteBlock(std::span<const std::uint8_t> bytes);

// Inside an operation: copies `count` bytes (-1: to the end) from the input file to the
// output; direction 1 reports progress on reading, 2 on writing. A counted copy that meets
// the end early raises EInOutError 100.
std::int64_t CopyStream(std::int64_t count, int direction);

}  // namespace lz
