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

// The table runs from 40000 to 40009, "%s" standing for a file name. Only these are raised,
// 40002 as EQuarnLZError and the others as EQuarnLZCompress.
inline constexpr int kMsgFirst = 40000;
inline constexpr int kMsgInitFailed = 40002;
inline constexpr int kMsgInvalidParameters = 40003;
inline constexpr int kMsgSameInputOutput = 40004;
inline constexpr int kMsgWrongCompressedFile = 40006;
inline constexpr int kMsgSourceTooLarge = 40009;  // its body might not fit 32 bits

enum class EngineErrorClass { kError, kCompress };  // EQuarnLZError, EQuarnLZCompress

std::string EngineMessage(int number);  // "" for an unknown number
// With `name` put in for the message's "%s".
[[noreturn]] void RaiseEngineError(EngineErrorClass error_class, int number,
                                   const std::string& name = "%s");

}  // namespace lz
