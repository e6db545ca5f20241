#include "platform/folder_handle.h"

#include <cwctype>
#include <utility>

#include "platform/drives.h"
#include "platform/io_error.h"
#include "platform/win32/win32_internal.h"

// <windows.h> makes CreateFile a macro; FolderHandle::CreateFile keeps its name.
#undef CreateFile

// Windows has no calls relative to a folder handle, but a folder held open without
// FILE_SHARE_DELETE cannot be renamed, removed or replaced, nor can one above it: its path
// keeps naming it. Reparse points are opened themselves, not followed.

namespace platform {

using detail::Operation;

namespace {

using detail::AsHandle;
using detail::AsValue;
using detail::Exists;
using detail::IsOneName;
using detail::kShareAll;

// No FILE_SHARE_DELETE: the folder stays where it is while held.
HANDLE OpenHeldFolder(const std::wstring& path, bool follow_link) {
  const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (follow_link ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
  return ::CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                       detail::kShareReadWrite, nullptr, OPEN_EXISTING, flags, nullptr);
}

std::optional<BY_HANDLE_FILE_INFORMATION> InfoOf(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(handle, &info)) return std::nullopt;
  return info;
}

// 0 for a plain file or device opened itself, kNameIsLink for a link, 5 for a folder.
int OwnFileRefusal(HANDLE entry) {
  std::optional<BY_HANDLE_FILE_INFORMATION> info = InfoOf(entry);
  if (!info) return detail::LastErrorCode();
  if (detail::IsReparsePoint(info->dwFileAttributes)) return kNameIsLink;
  return info->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? kAccessDenied : 0;
}

// The folder's full path as the system has it now, upper-cased to compare.
std::wstring FinalPathOf(HANDLE handle) {
  std::wstring path = detail::SystemNameOf(handle);
  for (wchar_t& c : path) c = static_cast<wchar_t>(std::towupper(c));
  return path;
}

// True when the folder is `outer` or lies below it, as both stand now.
bool LiesWithin(HANDLE folder, HANDLE outer) {
  const std::wstring inner_path = FinalPathOf(folder);
  const std::wstring outer_path = FinalPathOf(outer);
  if (inner_path.empty() || outer_path.empty()) return false;
  if (inner_path == outer_path) return true;
  return inner_path.size() > outer_path.size() && inner_path.rfind(outer_path, 0) == 0 &&
         (outer_path.back() == L'\\' || inner_path[outer_path.size()] == L'\\');
}

}  // namespace

int FolderHandle::Open(const std::string& path, FolderHandle* out) {
  if (int fault = detail::BeginOperation(Operation::kOpen)) return fault;
  std::optional<detail::SystemPath> system = detail::SystemPathOf(path);
  if (!system) return kInvalidFilename;
  const DWORD attributes = ::GetFileAttributesW(system->wide.c_str());
  if (!Exists(attributes) || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return kInvalidFilename;
  if (detail::IsHeld(system->host)) return kAccessDenied;
  // The top is trusted: a link on the way to it is followed.
  HANDLE handle = OpenHeldFolder(system->wide, true);
  if (handle == INVALID_HANDLE_VALUE) return detail::LastErrorCode();
  return Hold(AsValue(handle), path, system->host, {}, out);
}

int FolderHandle::OpenFolder(const std::string& name, FolderHandle* out,
                             const FolderHandle* within) const {
  if (int fault = detail::BeginOperation(Operation::kOpen)) return fault;
  if (handle_ < 0 || !IsOneName(name)) return kInvalidFilename;
  const std::string host = detail::HostChild(host_path_, name);
  if (detail::IsHeld(host)) return kAccessDenied;
  const std::wstring wide = WideFromAnsi(host);
  detail::ScopedHandle folder(OpenHeldFolder(wide, false));
  if (folder.get() == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    return error == ERROR_PATH_NOT_FOUND ? kFileNotFound : detail::CodeOfSystemError(error);
  }
  const std::optional<BY_HANDLE_FILE_INFORMATION> info = InfoOf(folder.get());
  if (!info) return detail::LastErrorCode();
  if (detail::IsReparsePoint(info->dwFileAttributes)) {
    if (within == nullptr || !within->IsOpen()) return kNameIsLink;
    // The link's target, held before it is judged: what is judged is what is used.
    folder.reset();
    folder.reset(OpenHeldFolder(wide, true));
    if (folder.get() == INVALID_HANDLE_VALUE ||
        !LiesWithin(folder.get(), AsHandle(within->handle_))) {
      return kNameIsLink;
    }
  } else if (!(info->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return kInvalidFilename;
  }
  return Hold(AsValue(folder.release()), path_ + "\\" + name, host, {}, out);
}

int FolderHandle::CreateFolder(const std::string& name) const {
  if (int fault = detail::BeginOperation(Operation::kCreateFolder)) return fault;
  if (handle_ < 0 || !IsOneName(name)) return kInvalidFilename;
  const std::wstring wide = WideFromAnsi(detail::HostChild(host_path_, name));
  return ::CreateDirectoryW(wide.c_str(), nullptr) ? 0 : detail::LastErrorCode();
}

int FolderHandle::CreateFile(const std::string& name, File* out) const {
  if (int fault = detail::BeginOperation(Operation::kCreate)) return fault;
  if (handle_ < 0 || !IsOneName(name)) return kInvalidFilename;
  const std::string host = detail::HostChild(host_path_, name);
  if (detail::IsHeld(host)) return kSharingViolation;
  // CREATE_NEW: never an entry that is there already, a link included. Shared for
  // deletion: the restore renames or removes its staged copy while the flush holds it.
  HANDLE handle =
      ::CreateFileW(WideFromAnsi(host).c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_EXISTS ? kAlreadyExists : detail::CodeOfSystemError(error);
  }
  return Adopt(AsValue(handle), name, out);
}

int FolderHandle::OpenFile(const std::string& name, File* out) const {
  if (int fault = detail::BeginOperation(Operation::kOpen)) return fault;
  if (handle_ < 0 || !IsOneName(name)) return kInvalidFilename;
  const std::string host = detail::HostChild(host_path_, name);
  if (detail::IsHeld(host)) return kSharingViolation;
  // With write access where allowed: the restore flushes its staged copies through it.
  const std::wstring wide = WideFromAnsi(host);
  detail::ScopedHandle file(::CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT,
                                          nullptr));
  if (file.get() == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_ACCESS_DENIED) {
    file.reset(::CreateFileW(wide.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  }
  if (file.get() == INVALID_HANDLE_VALUE) return detail::LastErrorCode();
  if (int refusal = OwnFileRefusal(file.get())) return refusal;
  if (::GetFileType(file.get()) != FILE_TYPE_DISK) return kAccessDenied;
  return Adopt(AsValue(file.release()), name, out);
}

std::optional<std::uint32_t> FolderHandle::Attributes(const std::string& name) const {
  if (handle_ < 0 || !IsOneName(name)) return std::nullopt;
  const DWORD attributes =
      ::GetFileAttributesW(WideFromAnsi(detail::HostChild(host_path_, name)).c_str());
  if (!Exists(attributes)) return std::nullopt;
  // A link is a system entry here as on POSIX, whatever it leads to.
  if (detail::IsReparsePoint(attributes)) return faSysFile;
  return detail::LayerAttributes(attributes);
}

int FolderHandle::SetAttributes(const std::string& name, std::uint32_t attributes) const {
  if (int fault = detail::BeginOperation(Operation::kSetAttributes)) return fault;
  if (handle_ < 0 || !IsOneName(name)) return kInvalidFilename;
  // Through the entry itself: a change by name would follow a link swapped in for it.
  detail::ScopedHandle entry(
      ::CreateFileW(WideFromAnsi(detail::HostChild(host_path_, name)).c_str(),
                    FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (entry.get() == INVALID_HANDLE_VALUE) return detail::LastErrorCode();
  if (int refusal = OwnFileRefusal(entry.get())) return refusal;
  return detail::SetHandleAttributes(entry.get(), attributes) ? 0 : detail::LastErrorCode();
}

int FolderHandle::DeleteFile(const std::string& name) const {
  if (int fault = detail::BeginOperation(Operation::kDelete)) return fault;
  if (handle_ < 0 || !IsOneName(name)) return kInvalidFilename;
  // DeleteFileW removes a link itself, never what it leads to.
  return detail::DeleteEntry(detail::HostChild(host_path_, name), true);
}

int FolderHandle::Rename(const std::string& from, const std::string& to,
                         bool replace_existing) const {
  if (int fault = detail::BeginOperation(Operation::kRename)) return fault;
  if (handle_ < 0 || !IsOneName(from) || !IsOneName(to)) return kInvalidFilename;
  return detail::MoveEntry(detail::HostChild(host_path_, from), detail::HostChild(host_path_, to),
                           replace_existing);
}

// As FlushFolder: renames wrote through; what is left is that the folder is still there.
int FolderHandle::Flush() const {
  if (int fault = detail::BeginOperation(Operation::kFlush)) return fault;
  if (handle_ < 0) return kInvalidFilename;
  return InfoOf(AsHandle(handle_)) ? 0 : detail::LastErrorCode();
}

bool FolderHandle::StillAtItsPath() const { return false; }

bool FolderHandle::Holds(const std::string& name, const FolderHandle& sub) const {
  // Windows opens a folder by its path: the check is an open, uncounted.
  if (handle_ < 0 || sub.handle_ < 0 || !IsOneName(name)) return false;
  const std::string host = detail::HostChild(host_path_, name);
  if (detail::IsHeld(host)) return false;
  const detail::ScopedHandle entry(OpenHeldFolder(WideFromAnsi(host), false));
  if (entry.get() == INVALID_HANDLE_VALUE) return false;
  const std::optional<BY_HANDLE_FILE_INFORMATION> a = InfoOf(entry.get());
  return a && !detail::IsReparsePoint(a->dwFileAttributes) &&
         detail::KeyOf(*a) == detail::IdentityOf(AsHandle(sub.handle_));
}

bool FolderHandle::SameFolder(const FolderHandle& other) const {
  if (handle_ < 0 || other.handle_ < 0) return false;
  const std::optional<detail::FileKey> a = detail::IdentityOf(AsHandle(handle_));
  return a && a == detail::IdentityOf(AsHandle(other.handle_));
}

}  // namespace platform
