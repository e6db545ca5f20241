// A fresh, empty folder of its own under the system's temporary folder, for tests that
// build trees on disk. Its name begins with the stem given ("varn-lzz").
#pragma once

#include <filesystem>
#include <string>

#ifdef _WIN32
#include <random>
#else
#include <stdlib.h>
#endif

// Empty path when none could be made.
inline std::filesystem::path MakeTempFolder(const std::string& stem) {
  const std::filesystem::path base = std::filesystem::temp_directory_path();
#ifdef _WIN32
  // No mkdtemp: a random name, made with create_directory, which fails on a name that
  // exists, so two tests never share a folder.
  std::random_device seed;
  std::mt19937 random(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path folder = base / (stem + "-" + std::to_string(random() % 1000000));
    std::error_code error;
    if (std::filesystem::create_directory(folder, error)) return folder;
  }
  return {};
#else
  std::string pattern = (base / (stem + "-XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr) return {};
  return pattern;
#endif
}
