// lzz: compresses, restores, describes and checks single compressed files from a terminal,
// through the same engine operations the backup and the restore use. Takes host paths.
#include <cinttypes>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "lz/lz_file.h"
#include "lz/lz_support.h"
#include "lz/lzh.h"
#include "platform/drives.h"
#include "platform/files.h"
#include "platform/io_error.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr char kUsage[] =
    "usage: lzz compress [--method lzss|lzh] SRC DST\n"
    "       lzz decompress SRC DST\n"
    "       lzz info FILE...\n"
    "       lzz verify FILE...\n"
    "       lzz --help\n"
    "\n"
    "compress    compresses SRC into the compressed file DST (LZSS unless --method lzh);\n"
    "            a SRC that already is a compressed file is copied unchanged\n"
    "decompress  restores the compressed file SRC as DST, with its stored date-time and\n"
    "            attributes, and checks its CRC-32; a plain SRC is copied unchanged\n"
    "info        shows the header of each compressed file, or says \"plain file\"\n"
    "verify      decodes each compressed file without writing it and checks its length\n"
    "            and CRC-32 against the header\n"
    "\n"
    "Exit status: 0 success, 1 an operation failed, 2 wrong command line.\n";

// Reported as "lzz: <file>: <reason>" on standard error.
void Fail(const std::string& file, const std::string& reason) {
  std::fprintf(stderr, "lzz: %s: %s\n", file.c_str(), reason.c_str());
}

int Usage() {
  std::fputs(kUsage, stderr);
  return kExitUsage;
}

// The Windows path text of a host path, so that the engine stores only the file's name.
std::optional<std::string> WindowsPathOf(const std::string& host_path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(host_path, error);
  if (error) return std::nullopt;
  return platform::ToWindowsPath(absolute.lexically_normal().string());
}

std::string DateTimeText(std::uint32_t t) {
  const unsigned year = 1980 + (t >> 25), month = (t >> 21) & 15, day = (t >> 16) & 31;
  const unsigned hour = (t >> 11) & 31, minute = (t >> 5) & 63, second = (t & 31) * 2;
  char text[64];
  if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59) {
    std::snprintf(text, sizeof text, "none (0x%08" PRIx32 ")", t);
  } else {
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u", year, month, day, hour,
                  minute, second);
  }
  return text;
}

std::string AttributesText(std::uint32_t a) {
  static const std::pair<std::uint32_t, const char*> kNames[] = {
      {platform::faReadOnly, "read-only"},  {platform::faHidden, "hidden"},
      {platform::faSysFile, "system"},      {platform::faVolumeID, "volume"},
      {platform::faDirectory, "directory"}, {platform::faArchive, "archive"}};
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%02" PRIx32, a);
  std::string names;
  for (const auto& [bit, name] : kNames) {
    if (a & bit) names += std::string(names.empty() ? "" : ", ") + name;
  }
  return names.empty() ? hex : std::string(hex) + " (" + names + ")";
}

std::string MethodText(std::uint8_t method) {
  switch (method) {
    case lz::kMethodLzssMode0:
      return "2 (LZSS, mode 0)";
    case lz::kMethodLzss:
      return "3 (LZSS)";
    case lz::kMethodLzh:
      return "4 (adaptive Huffman LZ)";
    default:
      return std::to_string(method) + " (unknown, decoded as LZSS)";
  }
}

std::string Hex32(std::uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "%08" PRIx32, v);
  return text;
}

std::string ResultText(std::int64_t result) {
  switch (result) {
    case lz::kBadNames:
      return "source and destination are the same file";
    case lz::kNoSource:
      return platform::IoErrorText(platform::kFileNotFound);
    case lz::kCrcMismatch:
      return "CRC-32 of the restored file differs from the header";
    case lz::kLzhInputEnded:
      return "compressed data ends before its end code";
    case lz::kLzhNoWorkArea:
      return "out of memory";
    default:
      return "failed with code " + std::to_string(result);
  }
}

// Runs one operation; a negative result names the source, an exception both files, since
// it may have come from either.
template <typename Operation>
int Report(const std::string& source, const std::string& dest, Operation operation) {
  try {
    const std::int64_t result = operation();
    if (result >= 0) return kExitOk;
    Fail(source, ResultText(result));
  } catch (const std::exception& e) {
    Fail(source + " -> " + dest, e.what());
  }
  return kExitFailed;
}

int Compress(const std::vector<std::string>& args) {
  std::uint8_t mode = 1;
  std::vector<std::string> names;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--method") {
      if (i + 1 >= args.size()) return Usage();
      const std::string& method = args[++i];
      if (method == "lzss") {
        mode = 1;
      } else if (method == "lzh") {
        mode = 2;
      } else {
        return Usage();
      }
    } else {
      names.push_back(args[i]);
    }
  }
  if (names.size() != 2) return Usage();
  const auto source = WindowsPathOf(names[0]);
  const auto dest = WindowsPathOf(names[1]);
  if (!source || !dest) {
    Fail(source ? names[1] : names[0], "not on any drive");
    return kExitFailed;
  }
  return Report(names[0], names[1],
                [&] { return lz::CompressFile(*source, *dest, nullptr, nullptr, mode); });
}

// True when the file opens and does not begin with a compressed-file header.
bool IsPlainFile(const std::string& name) {
  platform::File file;
  if (platform::File::TryOpen(name, platform::OpenMode::kRead, &file) != 0) return false;
  lz::HeaderBytes header{};
  return !lz::IsCompressedFile(file, header);
}

int Decompress(const std::vector<std::string>& args) {
  if (args.size() != 2) return Usage();
  const auto source = WindowsPathOf(args[0]);
  const auto dest = WindowsPathOf(args[1]);
  if (!source || !dest) {
    Fail(source ? args[1] : args[0], "not on any drive");
    return kExitFailed;
  }
  lz::SetVerify(true);
  return Report(args[0], args[1], [&] {
    // The engine copies a plain source as it is; the user asked for a restore, so say so.
    const bool plain = IsPlainFile(*source);
    const std::int64_t result = lz::DecompressFile(*source, *dest, nullptr, nullptr);
    if (plain && result >= 0) Fail(args[0], "not a compressed file, copied as it is");
    return result;
  });
}

int Info(const std::vector<std::string>& files) {
  if (files.empty()) return Usage();
  int status = kExitOk;
  for (const std::string& file : files) {
    const auto name = WindowsPathOf(file);
    lz::LZFileInfo info;
    std::int32_t kind = lz::kNoSuchFile;
    try {
      if (name) kind = lz::GetFileInfo(*name, info);
    } catch (const std::exception& e) {
      Fail(file, e.what());
      status = kExitFailed;
      continue;
    }
    if (kind == lz::kNoSuchFile) {
      Fail(file, platform::IoErrorText(platform::kFileNotFound));
      status = kExitFailed;
      continue;
    }
    if (kind == 1) {
      std::printf("%s: compressed file\n", file.c_str());
      std::printf("  stored name:       %s\n", info.name.c_str());
      std::printf("  method:            %s\n", MethodText(info.method).c_str());
      std::printf("  uncompressed size: %" PRId64 "\n", info.uncompressed_size);
      std::printf("  body size:         %" PRId64 "\n", info.stored_size);
    } else {
      std::printf("%s: plain file\n", file.c_str());
      std::printf("  size:              %" PRId64 "\n", info.uncompressed_size);
    }
    std::printf("  date-time:         %s\n", DateTimeText(info.date_time).c_str());
    std::printf("  attributes:        %s\n", AttributesText(info.attributes).c_str());
    std::printf("  CRC-32:            %s\n", Hex32(info.crc32).c_str());
    std::printf("  version:           %s\n", info.version.c_str());
  }
  return status;
}

// One line per file; the reason of a failure is part of it.
int Verify(const std::vector<std::string>& files) {
  if (files.empty()) return Usage();
  int failed = 0;
  for (const std::string& file : files) {
    std::string problem;
    lz::CheckResult check;
    const auto name = WindowsPathOf(file);
    try {
      if (!name) {
        problem = "not on any drive";
      } else if (!lz::CheckCompressedFile(*name, check)) {
        problem = "not a compressed file";
      } else if (check.decoded < 0) {
        problem = ResultText(check.decoded);
      } else if (check.decoded != check.header.uncompressed_size) {
        problem = "decodes to " + std::to_string(check.decoded) + " bytes, header says " +
                  std::to_string(check.header.uncompressed_size);
      } else if (check.crc32 != check.header.crc32) {
        problem = "CRC-32 " + Hex32(check.crc32) + ", header says " + Hex32(check.header.crc32);
      }
    } catch (const std::exception& e) {
      problem = e.what();
    }
    if (problem.empty()) {
      std::printf("%s: OK (%" PRId64 " bytes, CRC-32 %s)\n", file.c_str(), check.decoded,
                  Hex32(check.crc32).c_str());
    } else {
      std::printf("%s: FAILED: %s\n", file.c_str(), problem.c_str());
      ++failed;
    }
  }
  if (failed > 0) {
    std::fprintf(stderr, "lzz: %d of %zu files failed verification\n", failed, files.size());
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc < 2) return Usage();
  const std::string command = argv[1];
  const std::vector<std::string> args(argv + 2, argv + argc);
  if (command == "--help" || command == "-h") {
    std::fputs(kUsage, stdout);
    return kExitOk;
  }
  lz::EngineStartup();
  if (command == "compress") return Compress(args);
  if (command == "decompress") return Decompress(args);
  if (command == "info") return Info(args);
  if (command == "verify") return Verify(args);
  return Usage();
}
