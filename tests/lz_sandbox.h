// Drive C: of a temporary folder for the engine's tests, with the engine started and no
// fault set; and deterministic test data.
#pragma once

#include <cstdint>
#include <random>
#include <string>

#include "drive_sandbox.h"
#include "lz/lz_file.h"
#include "platform/fault_injection.h"

class LzSandbox : public DriveSandbox {
 public:
  LzSandbox() : DriveSandbox({'C'}) {
    platform::testing::ResetFaults();
    lz::EngineStartup();
  }
  ~LzSandbox() { platform::testing::ResetFaults(); }
  LzSandbox(const LzSandbox&) = delete;
  LzSandbox& operator=(const LzSandbox&) = delete;
};

// Text that compresses like prose: words from a small vocabulary, lines, punctuation.
inline std::string TextData(std::size_t size, unsigned seed = 1) {
  static const char* const kWords[] = {"the",    "backup", "of",      "ICQ",  "messages",
                                       "folder", "and",    "restore", "file", "compressed",
                                       "window", "a",      "to",      "with", "history"};
  std::mt19937 random(seed);
  std::string text;
  text.reserve(size + 16);
  while (text.size() < size) {
    text += kWords[random() % std::size(kWords)];
    const unsigned r = random() % 16;
    text += r == 0 ? ".\r\n" : r == 1 ? ", " : " ";
  }
  text.resize(size);
  return text;
}

inline std::string RandomData(std::size_t size, unsigned seed = 7) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  return bytes;
}
