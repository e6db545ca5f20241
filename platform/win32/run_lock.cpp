#include "platform/run_lock.h"

#include <algorithm>
#include <optional>

#include "platform/io_error.h"
#include "platform/win32/win32_internal.h"

namespace platform {
namespace {

// Retries follow a lock file still being deleted, held open a moment by another run's try.
constexpr int kAttempts = 100;
constexpr DWORD kRetryPauseMs = 10;

// True when one of the held lock files is the file `key` names.
bool HoldsFile(const auto& held, const detail::FileKey& key) {
  return std::any_of(held.begin(), held.end(), [&key](const auto& h) {
    return detail::IdentityOf(reinterpret_cast<HANDLE>(h.handle)) == key;
  });
}

[[noreturn]] void Raise(const std::string& folder, DWORD error) {
  const int code = detail::CodeOfSystemError(error);
  throw EInOutError(code, folder + "\\" + kRunLockFileName + ": " + IoErrorText(code));
}

}  // namespace

FolderLock RunLocks::Take(const std::string& folder) {
  const std::optional<detail::SystemPath> system = detail::SystemPathOf(folder);
  if (!system) return FolderLock::kCannotHold;
  const std::wstring path = detail::WideChild(system->wide, detail::WideFromAnsi(kRunLockFileName));
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    // Deleted when its last handle closes; shared, so that the next run can try the lock.
    const HANDLE file = ::CreateFileW(
        path.c_str(), GENERIC_READ | DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_ALWAYS,
        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      const DWORD error = ::GetLastError();
      if (error == ERROR_ACCESS_DENIED &&
          ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
        ::Sleep(kRetryPauseMs);  // a lock file on its way out, or a read-only one
        continue;
      }
      if (error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT ||
          error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND ||
          error == ERROR_NOT_READY || error == ERROR_INVALID_NAME) {
        return FolderLock::kCannotHold;  // read-only, a CD, or no such folder
      }
      Raise(folder, error);
    }
    const std::optional<detail::FileKey> identity = detail::IdentityOf(file);
    if (identity && HoldsFile(held_, *identity)) {
      ::CloseHandle(file);
      return FolderLock::kTaken;
    }
    OVERLAPPED at_start{};
    if (!::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                      &at_start)) {
      const DWORD error = ::GetLastError();
      ::CloseHandle(file);
      if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) return FolderLock::kInUse;
      if (error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION) {
        return FolderLock::kCannotHold;  // a file system without locks
      }
      Raise(folder, error);
    }
    // Locked on its way out after its holder let go: the folder's next lock file counts.
    FILE_STANDARD_INFO info;
    if (detail::QueryStandardInfo(file, info) && info.DeletePending) {
      ::CloseHandle(file);
      ::Sleep(kRetryPauseMs);
      continue;
    }
    held_.push_back({reinterpret_cast<std::intptr_t>(file), system->host});
    return FolderLock::kTaken;
  }
  Raise(folder, ERROR_SHARING_VIOLATION);
}

void RunLocks::Release() noexcept {
  // Closing the handle lets the lock go and deletes the file.
  for (auto it = held_.rbegin(); it != held_.rend(); ++it) {
    ::CloseHandle(reinterpret_cast<HANDLE>(it->handle));
  }
  held_.clear();
}

bool RunLocks::IsLockFile(const std::string& path) const {
  const std::optional<detail::SystemPath> system = detail::SystemPathOf(path);
  if (!system) return false;
  const std::optional<detail::FileKey> named = detail::IdentityOf(system->wide);
  return named && HoldsFile(held_, *named);
}

}  // namespace platform
