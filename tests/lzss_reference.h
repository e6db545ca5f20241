// A plain, literal LZSS coder kept beside the fast one: arrays of 32-bit links, a byte by
// byte comparison, one step at a time. The tests hold the engine's streams and splay
// counts against it.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace lzss_reference {

struct Encoded {
  std::vector<std::uint8_t> stream;
  std::uint32_t splays = 0;  // insertions that reached the splay depth
};

// with_splay = false leaves out the splay, to show that it changes streams.
Encoded Encode(std::span<const std::uint8_t> input, bool with_splay = true);
std::vector<std::uint8_t> Decode(std::span<const std::uint8_t> stream);

}  // namespace lzss_reference
