// The layer's seam to the system: every counted file operation starts here, and the
// held-file test and free space are asked here. A test may put a wrapper in front of the
// real system for one thread (fault_injection.h). Nothing outside platform/ includes this.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/files.h"

namespace platform::detail {

// fault_injection.h lists which call is which.
enum class Operation {
  kOpen,
  kCreate,
  kRead,
  kWrite,
  kSeek,
  kClose,
  kFlush,
  kRename,
  kDelete,
  kCreateFolder,
  kSetTime,
  kSetAttributes,
  kAny,
};

// The real system; a wrapper derives from it.
class System {
 public:
  virtual ~System() = default;
  virtual int Begin(Operation) { return 0; }  // 0, or the code the operation fails with
  // True when another program has the entry open without sharing it (the system's own
  // refusals come back from its calls).
  virtual bool IsHeld(const std::string& /*host_path*/) { return false; }
  virtual std::optional<unsigned long long> DiskFreeSpace(int drive_number);
};

struct ThreadSystem {
  long long operations = 0;  // counted operations of the thread
  System* system = nullptr;  // the thread's wrapper; nullptr for the real system
};
inline thread_local ThreadSystem g_thread_system;

inline System& ThisThreadSystem() {
  static System real;
  return g_thread_system.system ? *g_thread_system.system : real;
}

inline int BeginOperation(Operation op) {
  ++g_thread_system.operations;
  return g_thread_system.system ? g_thread_system.system->Begin(op) : 0;
}

inline bool IsHeld(const std::string& host_path) {
  return g_thread_system.system && g_thread_system.system->IsHeld(host_path);
}

// --- Calls on an open file's handle value (posix/files.cpp, win32/files.cpp). Each raises
// EInOutError on failure but the close, which answers 0 or the code.
// One read or write of at most count bytes, the write at `at` from the start when it is not
// negative (the handle's position left as it was); the bytes moved, 0 at the end.
std::size_t ReadFileHandle(std::intptr_t handle, void* buffer, std::size_t count);
std::size_t WriteFileHandle(std::intptr_t handle, const void* buffer, std::size_t count,
                            std::int64_t at);
void SeekFileHandle(std::intptr_t handle, std::int64_t position);
std::int64_t FileHandlePosition(std::intptr_t handle);
std::int64_t FileHandleSize(std::intptr_t handle);
void TruncateFileHandle(std::intptr_t handle);  // at the current position
void SetFileHandleDosTime(std::intptr_t handle, std::uint32_t dos_time);
void FlushFileHandle(std::intptr_t handle);
void SetFileHandleAttributes(std::intptr_t handle, std::uint32_t attributes);
// Attributes as GetAttributes tells them for the Windows path; the time in the DOS range.
FileFacts FileHandleFacts(std::intptr_t handle, const std::string& path);
[[nodiscard]] int CloseFileHandle(std::intptr_t handle);

}  // namespace platform::detail
