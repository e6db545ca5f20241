// The runtime's input/output error: a platform error code and its text.
#pragma once

#include <stdexcept>
#include <string>

namespace platform {

// Error codes, as the Windows runtime numbers them.
inline constexpr int kFileNotFound = 2;
inline constexpr int kInvalidFilename = 3;
inline constexpr int kTooManyOpenFiles = 4;
inline constexpr int kAccessDenied = 5;
inline constexpr int kSharingViolation = 32;
inline constexpr int kReadPastEnd = 100;
inline constexpr int kDiskFull = 101;
inline constexpr int kFileNotOpen = 103;      // an operation on a closed File
inline constexpr int kInvalidParameter = 87;  // e.g. a packed DOS time that is no date
inline constexpr int kAlreadyExists = 183;    // create folder, rename without replace

// "File not found", "Invalid filename", ... or "I/O error %d" for other codes.
std::string IoErrorText(int code);

// A POSIX errno value as a Windows code. ENOENT gives 2: a caller that knows the folder
// itself is missing turns it into 3.
int ErrorCodeFromErrno(int posix_errno);

class EInOutError : public std::runtime_error {
 public:
  explicit EInOutError(int code);  // message from IoErrorText
  EInOutError(int code, const std::string& message);
  int ErrorCode() const noexcept { return code_; }

 private:
  int code_;
};

[[noreturn]] void RaiseIoError(int code);

}  // namespace platform
