#include "platform/run_lock.h"

#include <algorithm>
#include <optional>

#include "platform/io_error.h"
#include "platform/win32/win32_internal.h"

namespace platform {
namespace {

// Retries follow a lock file still being deleted after its holder let go.
constexpr int kAttempts = 100;
constexpr DWORD kRetryPauseMs = 10;

// True when the file at the path is one of the held lock files.
bool HoldsFile(const auto& held, const std::wstring& path) {
  const std::optional<detail::FileKey> key = detail::IdentityOf(path);
  return key && std::any_of(held.begin(), held.end(), [&key](const auto& h) {
           return detail::IdentityOf(detail::AsHandle(h.handle)) == key;
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
  const std::wstring path = WideFromAnsi(detail::HostChild(system->host, kRunLockFileName));
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    // Shared with nobody, which is the lock; deleted when its handle closes.
    const HANDLE file = ::CreateFileW(
        path.c_str(), GENERIC_READ | DELETE, 0, nullptr, OPEN_ALWAYS,
        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      held_.push_back({detail::AsValue(file), system->host});
      return FolderLock::kTaken;
    }
    const DWORD error = ::GetLastError();
    if (error == ERROR_SHARING_VIOLATION) {
      // Open: by another run, or by this one under another name.
      return HoldsFile(held_, path) ? FolderLock::kTaken : FolderLock::kInUse;
    }
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
  Raise(folder, ERROR_SHARING_VIOLATION);
}

void RunLocks::Release() noexcept {
  // Closing the handle lets the lock go and deletes the file.
  for (auto it = held_.rbegin(); it != held_.rend(); ++it) {
    ::CloseHandle(detail::AsHandle(it->handle));
  }
  held_.clear();
}

bool RunLocks::IsLockFile(const std::string& path) const {
  const std::optional<detail::SystemPath> system = detail::SystemPathOf(path);
  return system && HoldsFile(held_, system->wide);
}

}  // namespace platform
