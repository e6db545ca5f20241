// A fresh folder of its own under the system's temporary folder, on every system (as
// mkdtemp makes one on POSIX).
#pragma once

#include <filesystem>
#include <random>
#include <string>
#include <system_error>

inline std::filesystem::path MakeScratchFolder(const std::string& prefix) {
  std::random_device seed;
  std::mt19937_64 random(seed());
  const std::filesystem::path temp = std::filesystem::temp_directory_path();
  for (;;) {
    const std::filesystem::path candidate = temp / (prefix + std::to_string(random() % 1000000000));
    std::error_code error;
    // create_directory answers false for a folder that exists already: try another name.
    if (std::filesystem::create_directory(candidate, error)) return candidate;
    if (error) throw std::filesystem::filesystem_error("scratch folder", candidate, error);
  }
}
