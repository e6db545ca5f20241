// The engine's two exception classes and their numbered message table. A failing file
// operation is platform::EInOutError instead.
#pragma once

#include <stdexcept>
#include <string>

namespace lz {

class EQuarnLZError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
// An operation refused its names, file or size.
class EQuarnLZCompress : public EQuarnLZError {
 public:
  using EQuarnLZError::EQuarnLZError;
};

// A "%s" in a message stands for a file name. Only 40002 (EQuarnLZError) and 40003,
// 40004, 40006 and 40009 (EQuarnLZCompress) are raised.
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

std::string EngineMessage(int number);  // "" for an unknown number
[[noreturn]] void RaiseEngineError(EngineErrorClass error_class, int number);
// With `name` put in for the message's "%s".
[[noreturn]] void RaiseEngineErrorFmt(EngineErrorClass error_class, int number,
                                      const std::string& name);

}  // namespace lz
