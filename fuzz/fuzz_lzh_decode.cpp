// Decoding arbitrary bytes with the second coder: a result or -21, never a read or write
// outside its buffers.
#include "fuzz/fuzz_support.h"
#include "lz/lzh.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::Bytes out;  // kept between runs, with its capacity
  const std::int64_t result = fuzz::LzhRun(false, {data, size}, &out);
  fuzz::Check(result == lz::kLzhInputEnded ||
                  (result >= 0 && static_cast<std::size_t>(result) == out.size()),
              "decoder's answer and its output disagree");
  return 0;
}
