#include "platform/fault_injection.h"

#include <algorithm>
#include <functional>
#include <map>
#include <utility>
#include <vector>

#include "platform/ascii.h"
#include "platform/drives.h"
#include "platform/internal.h"

namespace platform {
namespace detail {

thread_local FaultSwitch g_fault_switch;

}  // namespace detail

namespace {

using testing::FileOp;

struct PendingFault {
  long long remaining;  // matching operations until it fires
  FileOp kind;
  int code;
  bool sticky;  // keeps failing once it has fired
};

struct FaultState {
  std::vector<PendingFault> pending;
  long long action_in = 0;  // operations until `action` runs; 0 for none
  std::function<void()> action;
  std::vector<std::string> held;  // host paths
  std::map<int, std::optional<unsigned long long>> free_space;
};

// Reached only from a thread whose switch is armed: the thread that set the faults.
FaultState& Faults() {
  static FaultState state;
  return state;
}

void Rearm() {
  const FaultState& faults = Faults();
  detail::g_fault_switch.armed = !faults.pending.empty() || !faults.held.empty() ||
                                 !faults.free_space.empty() || faults.action_in > 0;
}

void AddFault(int n, FileOp kind, int code, bool sticky) {
  if (n < 1) n = 1;
  Faults().pending.push_back({n, kind, code, sticky});
  Rearm();
}

}  // namespace

namespace detail {

int NextFaultSlow(FileOp op) {
  FaultState& faults = Faults();
  if (faults.action_in > 0 && --faults.action_in == 0) {
    const std::function<void()> action = std::move(faults.action);
    Rearm();
    action();
  }
  int code = 0;
  for (PendingFault& fault : Faults().pending) {
    if (fault.kind != FileOp::kAny && fault.kind != op) continue;
    if (fault.remaining > 1) {
      --fault.remaining;
    } else {
      fault.remaining = 0;
      if (code == 0) code = fault.code;
    }
  }
  auto& pending = Faults().pending;
  pending.erase(std::remove_if(pending.begin(), pending.end(),
                               [](const PendingFault& f) { return f.remaining == 0 && !f.sticky; }),
                pending.end());
  Rearm();
  return code;
}

bool IsHeldSlow(const std::string& host_path) {
  for (const std::string& held : Faults().held) {
    if (EqualIgnoringAsciiCase(held, host_path)) return true;
  }
  return false;
}

std::optional<std::optional<unsigned long long>> FreeSpaceOverrideSlow(int drive_number) {
  const auto& figures = Faults().free_space;
  auto it = figures.find(drive_number);
  if (it == figures.end()) return std::nullopt;
  return it->second;
}

}  // namespace detail

namespace testing {

void FailNthOperation(int n, FileOp kind, int code) { AddFault(n, kind, code, false); }

void FailFromNthOperation(int n, FileOp kind, int code) { AddFault(n, kind, code, true); }

void BeforeNthOperation(int n, std::function<void()> action) {
  Faults().action_in = n < 1 ? 1 : n;
  Faults().action = std::move(action);
  Rearm();
}

int OperationCount() { return static_cast<int>(detail::g_fault_switch.operations); }

void HoldOpen(const std::string& windows_path) {
  if (std::optional<std::string> host = ToHostPath(windows_path)) {
    Faults().held.push_back(*host);
    Rearm();
  }
}

void Release(const std::string& windows_path) {
  std::optional<std::string> host = ToHostPath(windows_path);
  if (!host) return;
  auto& held = Faults().held;
  held.erase(std::remove_if(held.begin(), held.end(),
                            [&](const std::string& h) { return EqualIgnoringAsciiCase(h, *host); }),
             held.end());
  Rearm();
}

void SetFreeSpace(int drive_number, std::optional<unsigned long long> bytes) {
  Faults().free_space[drive_number] = bytes;
  Rearm();
}

void ResetFaults() {
  FaultState& faults = Faults();
  faults.pending.clear();
  faults.held.clear();
  faults.free_space.clear();
  faults.action_in = 0;
  faults.action = nullptr;
  detail::g_fault_switch.operations = 0;
  Rearm();
}

}  // namespace testing
}  // namespace platform
