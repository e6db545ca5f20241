// The engine's switches and queries for tests and fuzzers.
#pragma once

#include <cstdint>

namespace lz {

// Keeps the work areas and block buffers between operations (off at start; off frees
// them), so that a fuzzer does not acquire and free about 1 MiB for each; nothing else
// changes.
void KeepWorkAreas(bool keep);

// Insertions of the last LzssEncode whose search reached the splay depth.
std::uint32_t LzssSplayCount();
// Whether the LZSS work areas are held; whether the second coder's busy flag is taken.
bool LzssAreasHeld();
bool LzhBusy();

namespace testing {
// The nth LZSS work-area acquisition from now (input, output, tree) fails; 0 disarms.
void FailAcquisition(int nth);
// Work areas and block buffers allocated anew (not taken from those kept) so far.
std::uint64_t NewWorkAreas();
// While set, every run of the second coder answers kLzhNoWorkArea.
void FailLzhWorkAreas(bool fail);
}  // namespace testing

}  // namespace lz
