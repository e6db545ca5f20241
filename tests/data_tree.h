// A tree of ICQ data files for round trips: text, binary, empty and block-sized files up
// to three folders deep below C:\ICQ (uin, newdb, plugins), names in both letter cases,
// with and without an extension, and times on odd and even seconds.
#pragma once

#include <random>
#include <string>
#include <vector>

#include "drive_sandbox.h"

inline void MakeDataTree(const DriveSandbox& drives, unsigned seed) {
  std::mt19937 random(seed);
  const char* words[] = {"message", "contact", "UIN", "history", "\r\n", "hello", "0", "ICQ "};
  const std::vector<std::string> folders = {
      "uin",           "newdb",   "newdb\\Sub",  "newdb\\Sub\\Deeper", "newdb\\Sub\\Deeper\\Third",
      "newdb\\.cache", "plugins", "plugins\\x y"};
  int file = 0;
  for (const auto& folder : folders) {
    for (int i = 0; i < 40; ++i, ++file) {
      std::string bytes;
      switch (file % 5) {
        case 0:  // empty
          break;
        case 1:  // text
          for (std::size_t n = random() % 4000; bytes.size() < n;) bytes += words[random() % 8];
          break;
        case 2:  // random binary
          bytes.resize(random() % 3000);
          for (char& c : bytes) c = static_cast<char>(random());
          break;
        case 3:  // structured binary: runs and repeats
          for (std::size_t n = random() % 6000; bytes.size() < n;) {
            bytes.append(1 + random() % 40, static_cast<char>(random() % 4));
          }
          break;
        default:  // a byte or two
          bytes.assign(1 + file % 2, static_cast<char>(file));
      }
      const std::string path = "C:\\ICQ\\" + folder + "\\" + (i % 3 ? "f" : "F") +
                               std::to_string(file) + (i % 4 ? ".dat" : "");
      drives.WriteFile(path, bytes);
      drives.SetLocalTime(path, 1999 + file % 20, 1 + file % 12, 1 + file % 28, file % 24,
                          file % 60, file % 60);
    }
  }
  std::string block(262145, '\0');
  for (char& c : block) c = static_cast<char>(random() % 7);
  drives.WriteFile("C:\\ICQ\\newdb\\block.bin", block);
}
