// The engine's switches and queries for tests and fuzzers; the programs users run call
// none of them.
#pragma once

#include <cstdint>

namespace lz {

// Keeping the work areas between operations; off at program start. While it is on, the
// end of an operation (LZEnd, the end of a run of the second coder, of the file layer's
// copy and of its CRC-32 pass) keeps the work areas and block buffers for the next one
// instead of freeing them, so that a caller of many short operations (a fuzzer) does not
// acquire and free about 1 MiB for each. Nothing else changes: LZBegin, LZEnd and
// LzssAreasHeld answer as without keeping, the acquisition failures below still happen,
// and every run sets up all it reads, so no result depends on an earlier operation.
// Turning it off frees what is kept.
void KeepWorkAreas(bool keep);

// Insertions of the last LzssEncode whose search reached the splay depth.
std::uint32_t LzssSplayCount();
// Whether the LZSS work areas are held; whether the second coder's busy flag is taken.
bool LzssAreasHeld();
bool LzhBusy();

namespace testing {
// The nth work-area acquisition from now (1 = input block, 2 = output block, 3 = tree
// area of one LZBegin) fails as if memory had run out; 0 disarms.
void FailAcquisition(int nth);
// How many work areas and block buffers the engine has allocated anew (rather than taken
// from those kept) since the process started.
std::uint64_t NewWorkAreas();
// While set, every run of the second coder answers kLzhNoWorkArea as if its work areas
// could not be allocated.
void FailLzhWorkAreas(bool fail);
}  // namespace testing

}  // namespace lz
