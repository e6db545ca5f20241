// File's rules on every system: a closed File raises 103, every call but the queries is
// one counted operation; the system's calls are in posix/files.cpp and win32/files.cpp.
#include "platform/files.h"

#include <algorithm>
#include <utility>

#include "platform/folder_handle.h"
#include "platform/internal.h"
#include "platform/io_error.h"

namespace platform {

using detail::Operation;

namespace {

constexpr int kNegativeSeek = 131;

void Begin(const File& file, Operation op) {
  if (!file.IsOpen()) RaiseIoError(kFileNotOpen);
  if (int fault = detail::BeginOperation(op)) RaiseIoError(fault);
}

// The most one system call is asked to move.
constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;

// Only plain files are opened: a short read is the end of the file.
std::size_t ReadAll(std::intptr_t handle, void* buffer, std::size_t count) {
  auto* bytes = static_cast<unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < count) {
    const std::size_t chunk = std::min(count - done, kMaxTransfer);
    const std::size_t n = detail::ReadFileHandle(handle, bytes + done, chunk);
    done += n;
    if (n < chunk) break;
  }
  return done;
}

void WriteAll(std::intptr_t handle, const void* buffer, std::size_t count, std::int64_t at) {
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < count) {
    const std::size_t n =
        detail::WriteFileHandle(handle, bytes + done, std::min(count - done, kMaxTransfer),
                                at < 0 ? at : at + static_cast<std::int64_t>(done));
    if (n == 0) RaiseIoError(kDiskFull);
    done += n;
  }
}

}  // namespace

File::File(File&& other) noexcept { *this = std::move(other); }

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    if (handle_ != kNoHandle) static_cast<void>(detail::CloseFileHandle(handle_));
    handle_ = std::exchange(other.handle_, kNoHandle);
    path_ = std::move(other.path_);
  }
  return *this;
}

File::~File() {
  if (handle_ != kNoHandle) static_cast<void>(detail::CloseFileHandle(handle_));
}

// A folder handle is the same kind of system handle, given back the same way.
FolderHandle::FolderHandle(FolderHandle&& other) noexcept { *this = std::move(other); }

FolderHandle& FolderHandle::operator=(FolderHandle&& other) noexcept {
  if (this != &other) {
    if (handle_ >= 0) static_cast<void>(detail::CloseFileHandle(handle_));
    handle_ = std::exchange(other.handle_, -1);
    path_ = std::move(other.path_);
    host_path_ = std::move(other.host_path_);
    identity_ = other.identity_;
    names_as_spelt_ = other.names_as_spelt_;
  }
  return *this;
}

FolderHandle::~FolderHandle() {
  if (handle_ >= 0) static_cast<void>(detail::CloseFileHandle(handle_));
}

int FolderHandle::Hold(std::intptr_t handle, std::string path, std::string host_path,
                       std::pair<std::uint64_t, std::uint64_t> identity, FolderHandle* out) {
  FolderHandle folder;
  folder.handle_ = handle;
  folder.path_ = std::move(path);
  folder.host_path_ = std::move(host_path);
  folder.identity_ = identity;
  *out = std::move(folder);
  return 0;
}

int FolderHandle::Adopt(std::intptr_t handle, const std::string& name, File* out) const {
  File file;
  file.handle_ = handle;
  file.path_ = path_ + "\\" + name;
  *out = std::move(file);
  return 0;
}

File File::Open(const std::string& path, OpenMode mode) {
  File file;
  if (int code = TryOpen(path, mode, &file)) RaiseIoError(code);
  return file;
}

std::size_t File::Read(void* buffer, std::size_t count) {
  Begin(*this, Operation::kRead);
  return ReadAll(handle_, buffer, count);
}

void File::Write(const void* buffer, std::size_t count) {
  Begin(*this, Operation::kWrite);
  WriteAll(handle_, buffer, count, -1);
}

void File::Seek(std::int64_t position) {
  Begin(*this, Operation::kSeek);
  if (position < 0) RaiseIoError(kNegativeSeek);
  detail::SeekFileHandle(handle_, position);
}

void File::WriteAt(std::int64_t position, const void* buffer, std::size_t count) {
  Begin(*this, Operation::kWrite);
  if (position < 0) RaiseIoError(kNegativeSeek);
  WriteAll(handle_, buffer, count, position);
}

std::int64_t File::Position() const {
  if (!IsOpen()) RaiseIoError(kFileNotOpen);
  return detail::FileHandlePosition(handle_);
}

std::int64_t File::Size() const {
  if (!IsOpen()) RaiseIoError(kFileNotOpen);
  return detail::FileHandleSize(handle_);
}

void File::Truncate() {
  Begin(*this, Operation::kWrite);
  detail::TruncateFileHandle(handle_);
}

void File::SetDosTime(std::uint32_t dos_time) {
  Begin(*this, Operation::kSetTime);
  detail::SetFileHandleDosTime(handle_, dos_time);
}

std::optional<std::uint32_t> File::DosTime() const {
  if (!IsOpen()) return std::nullopt;
  try {
    return Facts().dos_time;
  } catch (const EInOutError&) {
    return std::nullopt;
  }
}

std::uint32_t File::Attributes() const { return Facts().attributes; }

FileFacts File::Facts() const {
  if (!IsOpen()) RaiseIoError(kFileNotOpen);
  return detail::FileHandleFacts(handle_, path_);
}

void File::Flush() {
  Begin(*this, Operation::kFlush);
  detail::FlushFileHandle(handle_);
}

void File::SetAttributes(std::uint32_t attributes) {
  Begin(*this, Operation::kSetAttributes);
  detail::SetFileHandleAttributes(handle_, attributes);
}

void File::Close() {
  if (!IsOpen()) RaiseIoError(kFileNotOpen);
  const int fault = detail::BeginOperation(Operation::kClose);
  const int code = detail::CloseFileHandle(std::exchange(handle_, kNoHandle));
  if (fault) RaiseIoError(fault);
  if (code) RaiseIoError(code);
}

}  // namespace platform
