#include "platform/fault_injection.h"

#include <algorithm>
#include <functional>
#include <map>
#include <utility>
#include <vector>

#include "platform/ascii.h"
#include "platform/drives.h"
#include "platform/system.h"

namespace platform::testing {
namespace {

struct PendingFault {
  long long remaining;  // matching operations until it fires
  FileOp kind;
  int code;
  bool sticky;  // keeps failing once it has fired
};

// The real system with the faults, holds and free-space figures a test has set.
class FaultySystem final : public detail::System {
 public:
  int Begin(FileOp op) override;
  bool IsHeld(const std::string& host_path) override {
    return std::any_of(held.begin(), held.end(),
                       [&](const std::string& h) { return EqualIgnoringAsciiCase(h, host_path); });
  }
  std::optional<unsigned long long> DiskFreeSpace(int drive_number) override {
    auto it = free_space.find(drive_number);
    return it == free_space.end() ? System::DiskFreeSpace(drive_number) : it->second;
  }

  std::vector<PendingFault> pending;
  long long action_in = 0;  // operations until `action` runs; 0 for none
  std::function<void()> action;
  std::vector<std::string> held;  // host paths
  std::map<int, std::optional<unsigned long long>> free_space;
};

// Reached only from a thread that set faults: the wrapper stands before its system alone.
FaultySystem& Faults() {
  static FaultySystem faults;
  return faults;
}

// Puts the wrapper in front of the thread's system, until ResetFaults.
void Arm() { detail::g_thread_system.system = &Faults(); }

void AddFault(int n, FileOp kind, int code, bool sticky) {
  if (n < 1) n = 1;
  Faults().pending.push_back({n, kind, code, sticky});
  Arm();
}

int FaultySystem::Begin(FileOp op) {
  if (action_in > 0 && --action_in == 0) {
    const std::function<void()> run = std::move(action);
    run();
  }
  int code = 0;
  for (PendingFault& fault : pending) {
    if (fault.kind != FileOp::kAny && fault.kind != op) continue;
    fault.remaining = std::max(fault.remaining - 1, 0LL);  // a sticky one stays at 0
    if (fault.remaining == 0 && code == 0) code = fault.code;
  }
  std::erase_if(pending, [](const PendingFault& f) { return f.remaining == 0 && !f.sticky; });
  return code;
}

}  // namespace

void FailNthOperation(int n, FileOp kind, int code) { AddFault(n, kind, code, false); }

void FailFromNthOperation(int n, FileOp kind, int code) { AddFault(n, kind, code, true); }

void BeforeNthOperation(int n, std::function<void()> action) {
  Faults().action_in = n < 1 ? 1 : n;
  Faults().action = std::move(action);
  Arm();
}

int OperationCount() { return static_cast<int>(detail::g_thread_system.operations); }

void HoldOpen(const std::string& windows_path) {
  if (std::optional<std::string> host = ToHostPath(windows_path)) {
    Faults().held.push_back(*host);
    Arm();
  }
}

void Release(const std::string& windows_path) {
  std::optional<std::string> host = ToHostPath(windows_path);
  if (!host) return;
  std::erase_if(Faults().held,
                [&](const std::string& h) { return EqualIgnoringAsciiCase(h, *host); });
}

void SetFreeSpace(int drive_number, std::optional<unsigned long long> bytes) {
  Faults().free_space[drive_number] = bytes;
  Arm();
}

void ResetFaults() {
  Faults() = FaultySystem();
  detail::g_thread_system.operations = 0;
  detail::g_thread_system.system = nullptr;
}

}  // namespace platform::testing
