#include "lz/work_areas.h"

#include <cstdint>
#include <vector>

#include "lz/lz_testing.h"
#include "lz/lzss.h"
#include "lz/per_thread.h"

namespace lz {
namespace {

struct WorkAreaState {
  bool keep = false;
  std::uint64_t new_areas = 0;
  std::vector<detail::AreaSlot*> slots;
};

// The calling thread's, like the areas themselves.
detail::PerThread<WorkAreaState>& State() {
  static detail::PerThread<WorkAreaState> state;
  return state;
}

}  // namespace

namespace detail {

AreaSlot::AreaSlot() { State()->slots.push_back(this); }

void DropKeptAreas() {
  for (AreaSlot* slot : State()->slots) slot->Drop();
}

void CountNewArea() { ++State()->new_areas; }

}  // namespace detail

bool KeepingWorkAreas() { return State()->keep; }

void KeepWorkAreas(bool keep) {
  State()->keep = keep;
  if (!keep) detail::DropKeptAreas();
}

namespace testing {
std::uint64_t NewWorkAreas() { return State()->new_areas; }
}  // namespace testing

}  // namespace lz
