// Inside the file layer, for lz/ and its tests.
#pragma once

#include <cstdint>

namespace lz {

// The running operation's bytes read (cleared when one starts, kept after it ends).
std::int64_t BytesIn();

// Copies `count` bytes (-1: to the end) from input to output, reporting progress on
// reading (direction 1) or writing (2). Meeting the end early raises EInOutError 100.
std::int64_t CopyStream(std::int64_t count, int direction);

}  // namespace lz
