// The second coder: encoding then decoding gives the input back.
#include <algorithm>

#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::Bytes packed;  // kept between runs, with its capacity
  const std::int64_t packed_size = fuzz::LzhRun(true, {data, size}, &packed);
  fuzz::Check(packed_size >= 2 && static_cast<std::size_t>(packed_size) == packed.size() &&
                  packed_size % 2 == 0,
              "encoder's answer");
  static fuzz::Bytes back;  // kept between runs, with its capacity
  const std::int64_t back_size = fuzz::LzhRun(false, packed, &back);
  fuzz::Check(back_size == static_cast<std::int64_t>(size) && back.size() == size &&
                  std::equal(back.begin(), back.end(), data),
              "round trip changed the data");
  return 0;
}
