#include "lz/work_areas.h"

#include <cstdint>
#include <vector>

#include "lz/lzss.h"

namespace lz {
namespace {

// Each thread's engine has its own areas, so all of this is the thread's own.
thread_local bool g_keep_work_areas = false;
thread_local std::uint64_t g_new_areas = 0;

std::vector<detail::AreaSlot*>& Slots() {
  thread_local std::vector<detail::AreaSlot*> slots;
  return slots;
}

}  // namespace

namespace detail {

AreaSlot::AreaSlot() { Slots().push_back(this); }

void DropKeptAreas() {
  for (AreaSlot* slot : Slots()) slot->Drop();
}

void CountNewArea() { ++g_new_areas; }

}  // namespace detail

bool KeepingWorkAreas() { return g_keep_work_areas; }

void KeepWorkAreas(bool keep) {
  g_keep_work_areas = keep;
  if (!keep) detail::DropKeptAreas();
}

namespace testing {
std::uint64_t NewWorkAreas() { return g_new_areas; }
}  // namespace testing

}  // namespace lz
