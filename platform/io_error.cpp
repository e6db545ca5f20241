#include "platform/io_error.h"

#include <cerrno>
#include <cstdio>

#include "platform/interrupt.h"

namespace platform {

std::string IoErrorText(int code) {
  switch (code) {
    case kFileNotFound:
      return "File not found";
    case kInvalidFilename:
      return "Invalid filename";
    case kTooManyOpenFiles:
      return "Too many open files";
    case kAccessDenied:
      return "File access denied";
    case kReadPastEnd:
      return "Read beyond end of file";
    case kDiskFull:
      return "Disk full";
    case kOperationAborted:
      return "Interrupted";
    default: {
      char text[32];
      std::snprintf(text, sizeof text, "I/O error %d", code);
      return text;
    }
  }
}

// POSIX errno -> Windows code:
//   ENOENT                         2  file not found (3 when the folder is missing:
//                                     decided by the caller, who knows the path)
//   ENOTDIR ENAMETOOLONG ELOOP     3  path not found / invalid name
//   EMFILE ENFILE                  4  too many open files
//   EACCES EPERM EROFS EISDIR      5  access denied
//   EBADF                          6  invalid handle
//   ENOMEM                         8  not enough memory
//   EXDEV                         17  not the same device
//   ENXIO ENODEV ENOMEDIUM        21  device not ready
//   ESPIPE                        25  seek error
//   EBUSY ETXTBSY                 32  sharing violation
//   EINVAL                        87  invalid parameter
//   ENOSPC EDQUOT                101  disk full
//   ENOTEMPTY                    145  folder not empty
//   EEXIST                       183  already exists
//   EFBIG EOVERFLOW              223  file too large
//   EIO and anything else       1117  device I/O error
int ErrorCodeFromErrno(int posix_errno) {
  switch (posix_errno) {
    case 0:
      return 0;
    case ENOENT:
      return kFileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
      return kInvalidFilename;
    case EMFILE:
    case ENFILE:
      return kTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return kAccessDenied;
    case EBADF:
      return 6;
    case ENOMEM:
      return 8;
    case EXDEV:
      return 17;
    case ENXIO:
    case ENODEV:
#ifdef ENOMEDIUM
    case ENOMEDIUM:
#endif
      return 21;
    case ESPIPE:
      return 25;
    case EBUSY:
    case ETXTBSY:
      return kSharingViolation;
    case EINVAL:
      return 87;
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
      return kDiskFull;
    case ENOTEMPTY:
      return 145;
    case EEXIST:
      return kAlreadyExists;
    case EFBIG:
    case EOVERFLOW:
      return 223;
    default:
      return 1117;
  }
}

EInOutError::EInOutError(int code) : std::runtime_error(IoErrorText(code)), code_(code) {}

EInOutError::EInOutError(int code, const std::string& message)
    : std::runtime_error(message), code_(code) {}

void RaiseIoError(int code) { throw EInOutError(code); }

}  // namespace platform
