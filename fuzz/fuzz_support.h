// Shared by the fuzz targets: the coders run over memory, and a scratch drive C: for the
// targets that need real files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace fuzz {

using Bytes = std::vector<std::uint8_t>;

// The engine keeps its work areas between runs (lz::KeepWorkAreas) in every program built
// on these helpers.

// One LZSS run over memory, bracketed by LZBegin(1) / LZEnd. The output replaces what
// `keep` held, and is kept only when `keep` is set (decoding arbitrary bytes may expand a
// lot); the answer is its size. Not for a run inside another: one run's state at a time.
std::size_t LzssRun(bool encode, std::span<const std::uint8_t> input, Bytes* keep);

// One run of the second coder over memory; answers its result (bytes or a negative code).
std::int64_t LzhRun(bool encode, std::span<const std::uint8_t> input, Bytes* keep);

// A folder in memory-backed scratch space (/dev/shm where there is one) installed as drive
// C:, made once per process. Answers the Windows path "C:\<name>" after writing the bytes.
std::string WriteScratchFile(const std::string& name, std::span<const std::uint8_t> bytes);

// Stops the run as a finding when a property does not hold.
void Check(bool property, const char* what);

}  // namespace fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
