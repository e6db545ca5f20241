// A temporary folder as drive C: for the engine's tests, with plain host-side helpers to
// make and read files, and deterministic test data.
#pragma once

#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "lz/lz_file.h"
#include "platform/drives.h"
#include "platform/fault_injection.h"

class LzSandbox {
 public:
  LzSandbox() {
    std::string pattern = (std::filesystem::temp_directory_path() / "varn-lz-XXXXXX").string();
    root_ = ::mkdtemp(pattern.data());
    platform::InstallDriveTableForTests({{'C', root_.string()}});
    platform::testing::ResetFaults();
    lz::EngineStartup();
  }
  ~LzSandbox() {
    platform::testing::ResetFaults();
    platform::InstallDriveTableForTests({});
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  LzSandbox(const LzSandbox&) = delete;
  LzSandbox& operator=(const LzSandbox&) = delete;

  const std::filesystem::path& Root() const { return root_; }

  // "C:\a\b.txt" -> <root>/a/b.txt
  std::filesystem::path Host(const std::string& windows_path) const {
    std::filesystem::path host = root_;
    std::stringstream rest(windows_path.substr(2));
    std::string part;
    while (std::getline(rest, part, '\\')) {
      if (!part.empty()) host /= part;
    }
    return host;
  }

  void Write(const std::string& windows_path, const std::string& bytes) const {
    const auto host = Host(windows_path);
    std::filesystem::create_directories(host.parent_path());
    std::ofstream(host, std::ios::binary) << bytes;
  }

  std::string Read(const std::string& windows_path) const {
    std::ifstream in(Host(windows_path), std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  }

  bool Exists(const std::string& windows_path) const {
    return std::filesystem::exists(Host(windows_path));
  }

 private:
  std::filesystem::path root_;
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
