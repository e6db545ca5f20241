// LZSS decoding of arbitrary bytes: never out of its buffers, and at most 18 bytes out for
// every 2 bytes in, rounded up per group.
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::size_t out = fuzz::LzssRun(false, {data, size}, nullptr);
  fuzz::Check(out <= 9 * size, "decoded more than the stream can hold");
  return 0;
}
