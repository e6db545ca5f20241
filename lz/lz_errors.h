// The engine's errors: two exception classes, whose messages come from one numbered
// table. Ordinary outcomes are results, not errors (lz/lz_file.h); a failing file
// operation is platform::EInOutError (platform/io_error.h).
#pragma once

#include <stdexcept>
#include <string>

namespace lz {

// Every error of the engine. Carries its message only.
class EQuarnLZError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
// An operation refused what it was given: names, a file, a size.
class EQuarnLZCompress : public EQuarnLZError {
 public:
  using EQuarnLZError::EQuarnLZError;
};

// Numbers of the message table. A "%s" in a message stands for one file name. The
// operations raise 40002 as EQuarnLZError, and 40003, 40004, 40006 and 40009 as
// EQuarnLZCompress; the others are raised by none and keep the table's numbering.
inline constexpr int kMsgNoValidFilename = 40000;
inline constexpr int kMsgInvalidArchive = 40001;
inline constexpr int kMsgInitFailed = 40002;
inline constexpr int kMsgInvalidParameters = 40003;
inline constexpr int kMsgSameInputOutput = 40004;
inline constexpr int kMsgNoTempName = 40005;
inline constexpr int kMsgWrongCompressedFile = 40006;
inline constexpr int kMsgArchiveCorrupt = 40007;
inline constexpr int kMsgCannotRecreateFolders = 40008;
// A source whose compressed data might not fit the header's 32-bit body size.
inline constexpr int kMsgSourceTooLarge = 40009;

enum class EngineErrorClass { kError, kCompress };  // EQuarnLZError, EQuarnLZCompress

// The table's text for a number ("" for an unknown one).
std::string EngineMessage(int number);
// How the engine raises its errors: the message of `number`, in the class asked for.
[[noreturn]] void RaiseEngineError(EngineErrorClass error_class, int number);
// As RaiseEngineError, with `name` put in for the message's "%s".
[[noreturn]] void RaiseEngineErrorFmt(EngineErrorClass error_class, int number,
                                      const std::string& name);

}  // namespace lz
