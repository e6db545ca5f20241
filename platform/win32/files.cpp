#include "platform/files.h"

#include <utility>

#include "platform/clock.h"
#include "platform/drives.h"
#include "platform/io_error.h"
#include "platform/win32/win32_internal.h"

namespace platform {

using detail::Exists;
using detail::IsFolder;
using detail::Operation;

namespace {

// INVALID_FILE_ATTRIBUTES when missing or on no drive.
DWORD AttributesOf(const std::string& path) {
  std::optional<detail::SystemPath> system = detail::SystemPathOf(path);
  return system ? ::GetFileAttributesW(system->wide.c_str()) : INVALID_FILE_ATTRIBUTES;
}

std::optional<WIN32_FILE_ATTRIBUTE_DATA> AttributeData(const std::string& path) {
  std::optional<detail::SystemPath> system = detail::SystemPathOf(path);
  if (!system) return std::nullopt;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExW(system->wide.c_str(), GetFileExInfoStandard, &data)) {
    return std::nullopt;
  }
  return data;
}

[[noreturn]] void RaiseLastError() { RaiseIoError(detail::LastErrorCode()); }

}  // namespace

bool FileExists(const std::string& path) {
  const DWORD attributes = AttributesOf(path);
  return Exists(attributes) && !IsFolder(attributes);
}

bool SameFile(const std::string& a, const std::string& b) {
  std::optional<detail::SystemPath> first = detail::SystemPathOf(a);
  std::optional<detail::SystemPath> second = detail::SystemPathOf(b);
  if (!first || !second) return false;
  std::optional<detail::FileKey> one = detail::IdentityOf(first->wide);
  return one && one == detail::IdentityOf(second->wide);
}

bool IsLink(const std::string& path) { return detail::IsReparsePoint(AttributesOf(path)); }

std::optional<std::uint32_t> GetAttributes(const std::string& path) {
  const DWORD attributes = AttributesOf(path);
  if (!Exists(attributes)) return std::nullopt;
  return detail::LayerAttributes(attributes);
}

int SetAttributes(const std::string& path, std::uint32_t attributes) {
  if (int fault = detail::BeginOperation(Operation::kSetAttributes)) return fault;
  std::optional<detail::SystemPath> system = detail::SystemPathOf(path);
  if (!system) return kInvalidFilename;
  const bool done =
      Exists(::GetFileAttributesW(system->wide.c_str())) &&
      ::SetFileAttributesW(system->wide.c_str(), detail::SystemAttributes(attributes));
  return done ? 0 : detail::LastErrorCode();
}

int CreateFolder(const std::string& path) {
  if (int fault = detail::BeginOperation(Operation::kCreateFolder)) return fault;
  std::optional<detail::SystemPath> system = detail::SystemPathOf(path);
  if (!system) return kInvalidFilename;
  return ::CreateDirectoryW(system->wide.c_str(), nullptr) ? 0 : detail::LastErrorCode();
}

int DeleteFile(const std::string& path) {
  if (int fault = detail::BeginOperation(Operation::kDelete)) return fault;
  std::optional<detail::SystemPath> system = detail::SystemPathOf(path);
  return system ? detail::DeleteEntry(system->host, false) : kInvalidFilename;
}

int DeleteFileRefusal(const std::string& path) {
  std::optional<detail::SystemPath> system = detail::SystemPathOf(path);
  if (!system) return kInvalidFilename;
  if (int refusal = detail::DeletionRefusal(system->host, false)) return refusal;
  // An open for deletion fails as the deletion would (32 held, 5 without the right).
  detail::ScopedHandle handle(::CreateFileW(system->wide.c_str(), DELETE, detail::kShareAll,
                                            nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT,
                                            nullptr));
  return handle.get() != INVALID_HANDLE_VALUE ? 0 : detail::LastErrorCode();
}

int RenameFile(const std::string& from, const std::string& to, bool replace_existing) {
  if (int fault = detail::BeginOperation(Operation::kRename)) return fault;
  std::optional<detail::SystemPath> source = detail::SystemPathOf(from);
  std::optional<detail::SystemPath> target = detail::SystemPathOf(to);
  if (!source || !target) return kInvalidFilename;
  return detail::MoveEntry(source->host, target->host, replace_existing);
}

// MoveFileExW writes through and the file system journals its folders: what is left is
// to check that the folder is there.
int FlushFolder(const std::string& path) {
  if (int fault = detail::BeginOperation(Operation::kFlush)) return fault;
  std::optional<detail::SystemPath> system = detail::SystemPathOf(path);
  if (!system) return kInvalidFilename;
  const DWORD attributes = ::GetFileAttributesW(system->wide.c_str());
  if (!Exists(attributes)) return detail::LastErrorCode();
  return IsFolder(attributes) ? 0 : kInvalidFilename;
}

std::optional<std::uint32_t> GetFileDosTime(const std::string& path) {
  std::optional<WIN32_FILE_ATTRIBUTE_DATA> data = AttributeData(path);
  if (!data) return std::nullopt;
  return detail::ClampedDosTimeOfFileTime(data->ftLastWriteTime);
}

int SetFileDosTime(const std::string& path, std::uint32_t dos_time) {
  if (int fault = detail::BeginOperation(Operation::kSetTime)) return fault;
  std::optional<detail::SystemPath> system = detail::SystemPathOf(path);
  if (!system) return kInvalidFilename;
  const std::optional<FILETIME> when = detail::FileTimeOfDosTime(dos_time);
  if (!when) return kInvalidParameter;
  if (!Exists(::GetFileAttributesW(system->wide.c_str()))) return detail::LastErrorCode();
  if (detail::IsHeld(system->host)) return kSharingViolation;
  detail::ScopedHandle handle(::CreateFileW(system->wide.c_str(), FILE_WRITE_ATTRIBUTES,
                                            detail::kShareAll, nullptr, OPEN_EXISTING,
                                            FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  const bool done =
      handle.get() != INVALID_HANDLE_VALUE && ::SetFileTime(handle.get(), nullptr, nullptr, &*when);
  return done ? 0 : detail::LastErrorCode();
}

std::optional<std::int64_t> GetFileSize(const std::string& path) {
  std::optional<WIN32_FILE_ATTRIBUTE_DATA> data = AttributeData(path);
  if (!data || (data->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return std::nullopt;
  return (static_cast<std::int64_t>(data->nFileSizeHigh) << 32) | data->nFileSizeLow;
}

namespace detail {

int DeletionRefusal(const std::string& host, bool link_itself) {
  const DWORD attributes = ::GetFileAttributesW(WideFromAnsi(host).c_str());
  EntryFacts facts = EntryFactsOf(attributes);
  if (link_itself && IsReparsePoint(attributes)) facts.folder = false;
  return DeletionRefusal(facts, host, HostParent(host));
}

int DeleteEntry(const std::string& host, bool link_itself) {
  if (int refusal = DeletionRefusal(host, link_itself)) return refusal;
  return ::DeleteFileW(WideFromAnsi(host).c_str()) ? 0 : LastErrorCode();
}

int MoveEntry(const std::string& source, const std::string& target, bool replace_existing) {
  const std::wstring wide_source = WideFromAnsi(source);
  const std::wstring wide_target = WideFromAnsi(target);
  if (!Exists(::GetFileAttributesW(wide_source.c_str()))) return LastErrorCode();
  if (IsHeld(source)) return kSharingViolation;
  if (source == target) return 0;
  DWORD flags = MOVEFILE_WRITE_THROUGH;
  // Another spelling of the same name changes only its letter case.
  if (!SamePathText(source, target)) {
    const DWORD target_attributes = ::GetFileAttributesW(wide_target.c_str());
    if (Exists(target_attributes)) {
      if (int refusal = ReplaceRefusal(EntryFactsOf(target_attributes), target, replace_existing)) {
        return refusal;
      }
    }
    // A link at the target is replaced itself: MoveFileExW never writes through it.
    if (replace_existing) flags |= MOVEFILE_REPLACE_EXISTING;
  }
  if (::MoveFileExW(wide_source.c_str(), wide_target.c_str(), flags)) return 0;
  const DWORD error = ::GetLastError();
  return error == ERROR_FILE_EXISTS ? kAlreadyExists : CodeOfSystemError(error);
}

}  // namespace detail

// --- File ---------------------------------------------------------------------------

int File::TryOpen(const std::string& path, OpenMode mode, File* out, FileFacts* facts) {
  if (int fault = detail::BeginOperation(mode == OpenMode::kCreate ? Operation::kCreate
                                                                   : Operation::kOpen)) {
    return fault;
  }
  std::optional<detail::SystemPath> system = detail::SystemPathOf(path);
  if (!system) return kInvalidFilename;
  if (detail::IsHeld(system->host)) return kSharingViolation;
  // Windows refuses to write a read-only file; Wine run as root would not, so ask first.
  const bool writing = mode != OpenMode::kRead && mode != OpenMode::kReadDenyWrite;
  const DWORD existing = ::GetFileAttributesW(system->wide.c_str());
  if (writing && Exists(existing) && (existing & FILE_ATTRIBUTE_READONLY)) return kAccessDenied;
  // kReadDenyWrite shares no writing: 32 while another program writes the file. kCreate
  // opens and then cuts: CREATE_ALWAYS refuses hidden and system files, and resets them.
  constexpr DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;
  constexpr DWORD kAccess[] = {GENERIC_READ, kReadWrite, kReadWrite, GENERIC_WRITE, GENERIC_READ};
  const DWORD share = mode == OpenMode::kReadDenyWrite ? FILE_SHARE_READ : detail::kShareReadWrite;
  HANDLE handle = ::CreateFileW(system->wide.c_str(), kAccess[static_cast<int>(mode)], share,
                                nullptr, mode == OpenMode::kCreate ? OPEN_ALWAYS : OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return detail::LastErrorCode();
  File file;
  file.handle_ = detail::AsValue(handle);
  file.path_ = path;
  // A device ("CON", "COM1") or a pipe would hang or mislead the reader.
  if (::GetFileType(handle) != FILE_TYPE_DISK) return kAccessDenied;
  LARGE_INTEGER zero{};
  if (mode == OpenMode::kCreate && !::SetEndOfFile(handle)) return detail::LastErrorCode();
  if (mode == OpenMode::kAppend && !::SetFilePointerEx(handle, zero, nullptr, FILE_END)) {
    return detail::LastErrorCode();
  }
  if (facts) *facts = file.Facts();
  *out = std::move(file);
  return 0;
}

namespace detail {

std::size_t ReadFileHandle(std::intptr_t handle, void* buffer, std::size_t count) {
  DWORD got = 0;
  if (!::ReadFile(AsHandle(handle), buffer, static_cast<DWORD>(count), &got, nullptr)) {
    const DWORD error = ::GetLastError();
    if (error != ERROR_HANDLE_EOF && error != ERROR_BROKEN_PIPE) {
      RaiseIoError(CodeOfSystemError(error));
    }
  }
  return got;
}

// At a position through an OVERLAPPED offset, which moves the handle's position: put back.
std::size_t WriteFileHandle(std::intptr_t handle, const void* buffer, std::size_t count,
                            std::int64_t at) {
  const std::int64_t was = at < 0 ? 0 : FileHandlePosition(handle);
  OVERLAPPED where{};
  where.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(at));
  where.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(at) >> 32);
  DWORD written = 0;
  if (!::WriteFile(AsHandle(handle), buffer, static_cast<DWORD>(count), &written,
                   at < 0 ? nullptr : &where)) {
    RaiseLastError();
  }
  if (at >= 0) SeekFileHandle(handle, was);
  return written;
}

void SeekFileHandle(std::intptr_t handle, std::int64_t position) {
  LARGE_INTEGER to;
  to.QuadPart = position;
  if (!::SetFilePointerEx(AsHandle(handle), to, nullptr, FILE_BEGIN)) RaiseLastError();
}

std::int64_t FileHandlePosition(std::intptr_t handle) {
  LARGE_INTEGER zero{}, position;
  if (!::SetFilePointerEx(AsHandle(handle), zero, &position, FILE_CURRENT)) RaiseLastError();
  return position.QuadPart;
}

std::int64_t FileHandleSize(std::intptr_t handle) {
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(AsHandle(handle), &size)) RaiseLastError();
  return size.QuadPart;
}

void TruncateFileHandle(std::intptr_t handle) {
  if (!::SetEndOfFile(AsHandle(handle))) {
    // A file opened for reading only cannot be cut: Windows answers 5, Wine 87.
    const DWORD error = ::GetLastError();
    RaiseIoError(error == ERROR_INVALID_PARAMETER ? kAccessDenied : CodeOfSystemError(error));
  }
}

void SetFileHandleDosTime(std::intptr_t handle, std::uint32_t dos_time) {
  const std::optional<FILETIME> when = FileTimeOfDosTime(dos_time);
  if (!when) RaiseIoError(kInvalidParameter);
  if (!::SetFileTime(AsHandle(handle), nullptr, nullptr, &*when)) RaiseLastError();
}

FileFacts FileHandleFacts(std::intptr_t handle, const std::string&) {
  BY_HANDLE_FILE_INFORMATION facts;
  if (!::GetFileInformationByHandle(AsHandle(handle), &facts)) RaiseLastError();
  return {
      static_cast<std::int64_t>((std::uint64_t{facts.nFileSizeHigh} << 32) | facts.nFileSizeLow),
      DosTimeOfFileTime(facts.ftLastWriteTime), LayerAttributes(facts.dwFileAttributes)};
}

void FlushFileHandle(std::intptr_t handle) {
  if (!::FlushFileBuffers(AsHandle(handle))) RaiseLastError();
}

void SetFileHandleAttributes(std::intptr_t handle, std::uint32_t attributes) {
  if (!SetHandleAttributes(AsHandle(handle), attributes)) RaiseLastError();
}

int CloseFileHandle(std::intptr_t handle) {
  return ::CloseHandle(AsHandle(handle)) ? 0 : LastErrorCode();
}

}  // namespace detail
}  // namespace platform
