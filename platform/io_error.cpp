#include "platform/io_error.h"

#include <cerrno>
#include <string>
#include <utility>

#include "platform/interrupt.h"

namespace platform {

std::string IoErrorText(int code) {
  static constexpr std::pair<int, const char*> kTexts[] = {
      {kFileNotFound, "File not found"},          {kInvalidFilename, "Invalid filename"},
      {kTooManyOpenFiles, "Too many open files"}, {kAccessDenied, "File access denied"},
      {kReadPastEnd, "Read beyond end of file"},  {kDiskFull, "Disk full"},
      {kOperationAborted, "Interrupted"},
  };
  for (const auto& [known, text] : kTexts) {
    if (known == code) return text;
  }
  return "I/O error " + std::to_string(code);
}

int ErrorCodeFromErrno(int posix_errno) {
  static constexpr std::pair<int, int> kCodes[] = {
      {0, 0},
      {ENOENT, kFileNotFound},
      {ENOTDIR, kInvalidFilename},
      {ENAMETOOLONG, kInvalidFilename},
      {ELOOP, kInvalidFilename},
      {EMFILE, kTooManyOpenFiles},
      {ENFILE, kTooManyOpenFiles},
      {EACCES, kAccessDenied},
      {EPERM, kAccessDenied},
      {EROFS, kAccessDenied},
      {EISDIR, kAccessDenied},
      {EBADF, 6},   // invalid handle
      {ENOMEM, 8},  // not enough memory
      {EXDEV, 17},  // not the same device
      {ENXIO, 21},  // device not ready
      {ENODEV, 21},
#ifdef ENOMEDIUM
      {ENOMEDIUM, 21},
#endif
      {ESPIPE, 25},  // seek error
      {EBUSY, kSharingViolation},
      {ETXTBSY, kSharingViolation},
      {EINVAL, kInvalidParameter},
      {ENOSPC, kDiskFull},
#ifdef EDQUOT
      {EDQUOT, kDiskFull},
#endif
      {ENOTEMPTY, 145},  // folder not empty
      {EEXIST, kAlreadyExists},
      {EFBIG, 223},  // file too large
      {EOVERFLOW, 223},
  };
  for (const auto& [known, code] : kCodes) {
    if (known == posix_errno) return code;
  }
  return 1117;  // device I/O error, for EIO and anything else
}

EInOutError::EInOutError(int code) : std::runtime_error(IoErrorText(code)), code_(code) {}

EInOutError::EInOutError(int code, const std::string& message)
    : std::runtime_error(message), code_(code) {}

void RaiseIoError(int code) { throw EInOutError(code); }

}  // namespace platform
