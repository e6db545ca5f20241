// The parts of the run lock that are the same on every system.
#include <utility>

#include "platform/run_lock.h"

namespace platform {

RunLocks::RunLocks(RunLocks&& other) noexcept : held_(std::exchange(other.held_, {})) {}

RunLocks& RunLocks::operator=(RunLocks&& other) noexcept {
  if (this != &other) {
    Release();
    held_ = std::exchange(other.held_, {});
  }
  return *this;
}

RunLocks::~RunLocks() { Release(); }

}  // namespace platform
