// The flush of a batch on Windows: each file opened for writing and flushed by itself.
#include "platform/background_flush.h"

#include "platform/io_error.h"
#include "platform/win32/win32_internal.h"

namespace platform {
namespace {

// 0 once the file's data and its entry are on the disk, else the system's code.
int FlushFile(const std::wstring& path) {
  // FlushFileBuffers needs write access, which a read-only file refuses until it is lifted.
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return detail::LastErrorCode();
  const bool read_only = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  if (read_only && !::SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY)) {
    return detail::LastErrorCode();
  }
  int code = 0;
  {
    const detail::ScopedHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, detail::kShareAll,
                                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                                  nullptr));
    if (file.get() == INVALID_HANDLE_VALUE || !::FlushFileBuffers(file.get())) {
      code = detail::LastErrorCode();
    }
  }
  if (read_only && !::SetFileAttributesW(path.c_str(), attributes) && code == 0) {
    code = detail::LastErrorCode();
  }
  return code;
}

}  // namespace

std::vector<int> BackgroundFlush::FlushTogether(const std::deque<Job>& batch) {
  std::vector<int> codes;
  for (const Job& job : batch) {
    if (job.file.IsOpen()) {
      codes.push_back(
          ::FlushFileBuffers(detail::AsHandle(job.file.handle_)) ? 0 : detail::LastErrorCode());
    } else {
      codes.push_back(job.host_path.empty() ? kInvalidFilename
                                            : FlushFile(WideFromAnsi(job.host_path)));
    }
  }
  return codes;
}

}  // namespace platform
