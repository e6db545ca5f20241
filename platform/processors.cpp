#include "platform/processors.h"

#include <algorithm>
#ifdef _WIN32
#include <windows.h>

#include <bit>
#include <cstdint>
#else
#include <sched.h>
#endif

namespace platform {

int UsableProcessors() {
#ifdef _WIN32
  DWORD_PTR process_mask = 0, system_mask = 0;
  if (!::GetProcessAffinityMask(::GetCurrentProcess(), &process_mask, &system_mask)) return 1;
  return std::max(std::popcount(static_cast<std::uintptr_t>(process_mask)), 1);
#else
  cpu_set_t cpus;
  CPU_ZERO(&cpus);
  if (::sched_getaffinity(0, sizeof cpus, &cpus) != 0) return 1;
  return std::max(CPU_COUNT(&cpus), 1);
#endif
}

}  // namespace platform
