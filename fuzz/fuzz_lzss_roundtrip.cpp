// LZSS: encoding then decoding gives the input back.
#include <algorithm>

#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::Bytes packed;  // kept between runs, with its capacity
  fuzz::LzssRun(true, {data, size}, &packed);
  fuzz::Check(packed.size() <= size + (size + 7) / 8 + 1, "stream longer than literals");
  static fuzz::Bytes back;  // kept between runs, with its capacity
  fuzz::LzssRun(false, packed, &back);
  fuzz::Check(back.size() == size && std::equal(back.begin(), back.end(), data),
              "round trip changed the data");
  return 0;
}
