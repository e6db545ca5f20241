// The engine's file layer: one named file into a compressed file (lz/lz_format.h) and
// back. Names are Windows path texts, cut to 255 bytes. One operation at a time per thread
// (one started from a callback raises EQuarnLZError 40002). Any may raise 40002 when the
// coder gets no memory, EInOutError, and what a callback throws; the files are then closed
// and the destination kept as far as written.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "lz/lz_format.h"

namespace platform {
class File;
struct FileFacts;
}  // namespace platform

namespace lz {

// What the engine tells its callbacks about one file.
struct LZFileInfo {
  std::string version;           // at most 8 bytes
  std::int64_t stored_size = 0;  // compressed body size (a plain file: its size)
  std::int64_t uncompressed_size = 0;
  std::uint32_t date_time = 0;
  std::string name;  // at most 255 bytes
  std::uint32_t attributes = 0;
  std::uint32_t crc32 = 0;
  std::uint32_t reserved = 0;
  std::uint8_t method = 0;  // 0 for a plain file
};

// Asked, before anything is written, when the destination exists (its record from
// GetFileInfo). CompressFile goes on on 1; DecompressFile stops on 0 and 2.
using ConfirmProc = std::function<std::uint8_t(const LZFileInfo& source, const LZFileInfo& dest)>;
// count: kProgressStart, kProgressEnd (also after an error), else bytes moved on the
// uncompressed side. Either callback may be empty.
using ProgressProc = std::function<void(const LZFileInfo& info, std::int32_t count)>;
inline constexpr std::int32_t kProgressStart = -1;
inline constexpr std::int32_t kProgressEnd = -2;

// Negative results.
inline constexpr std::int64_t kBadNames = -11;      // a name empty, or both the same file
inline constexpr std::int64_t kNoSource = -12;      // the source does not exist
inline constexpr std::int32_t kNoSuchFile = -16;    // GetFileInfo: empty name or no file
inline constexpr std::int64_t kRefused = -100;      // the confirmation said no
inline constexpr std::int64_t kSkipped = -150;      // DecompressFile: the confirmation said 2
inline constexpr std::int64_t kCrcMismatch = -200;  // verification found another CRC-32

// Compresses `source` into `dest` (truncated); `mode` (low seven bits) 1 is LZSS (method
// 3), 0 LZSS (method 2), 2 the adaptive Huffman coder (method 4); a compressed source is
// copied. `dest` gets the source's date-time. Answers the bytes written, or, with nothing
// written, kBadNames (also for one file under two names), kNoSource or kRefused. Raises
// 40002 for another mode; EQuarnLZCompress 40009 before writing for a source above
// 1,908,874,352 bytes, and after coding when input or body passed 2 GiB.
std::int64_t CompressFile(const std::string& source, const std::string& dest,
                          const ConfirmProc& confirm, const ProgressProc& progress,
                          std::uint8_t mode);

// CompressFile on open files: `source` at its start, `dest` new, empty and read-write;
// both stay open. `facts`, if given, are the source's as its open found them.
std::int64_t CompressOpenFile(platform::File& source, platform::File& dest,
                              const ProgressProc& progress, std::uint8_t mode,
                              const platform::FileFacts* facts = nullptr);

// Restores the compressed file `source` into `dest` (a plain source is copied); a missing
// source is looked for under its MarkedName. An existing `dest` is deleted first; the new
// one gets the stored date-time and attributes, also when the transfer fails. Answers the
// bytes written, kRefused, kSkipped, kCrcMismatch (SetVerify on; before the next codes),
// or kLzhInputEnded or kLzhNoWorkArea (lz/lzh.h); a damaged LZSS body shows only to
// verification. Raises, with nothing written, EQuarnLZCompress 40003 for an empty name,
// 40004 when both are one file, 40006 when the marked file holds another file;
// EInOutError "File not found" when neither exists.
std::int64_t DecompressFile(const std::string& source, const std::string& dest,
                            const ConfirmProc& confirm, const ProgressProc& progress);

// DecompressFile from an open source at its start into a new, empty file open read-write;
// nothing is looked up by name, and the engine closes both files.
std::int64_t DecompressInto(platform::File& source, platform::File& dest,
                            const ProgressProc& progress);

// Decodes the compressed file `name` without writing, for the caller to compare with the
// header. False for a plain file; EInOutError "File not found" for a missing one.
struct CheckResult {
  LZHeader header;
  std::int64_t decoded = 0;  // bytes decoded, or the second decoder's negative code
  std::uint32_t crc32 = 0;   // of the decoded bytes
};
bool CheckCompressedFile(const std::string& name, CheckResult& result);

// Switches DecompressFile's CRC-32 check (off at start-up); answers the previous setting.
bool SetVerify(bool on);

// Clears the calling thread's engine state and verification; run at program entry.
void EngineStartup();

// Any thread but the first opens one to have an engine of its own while it lasts.
class ThreadEngine {
 public:
  ThreadEngine();
  ~ThreadEngine();
  ThreadEngine(const ThreadEngine&) = delete;
  ThreadEngine& operator=(const ThreadEngine&) = delete;

 private:
  std::vector<std::shared_ptr<void>> parts_;
};

// --- Queries, not operations: they may run inside a callback ---------------------------

// 1 and the header's record (name: the stored one), 0 and a plain file's own (one that
// does not open is plain and empty), or kNoSuchFile and a zero record.
std::int32_t GetFileInfo(const std::string& name, LZFileInfo& info);
// The last character of the extension turned into "~" ("DATA.DA~", "README.~").
std::string MarkedName(const std::string& name);

}  // namespace lz
