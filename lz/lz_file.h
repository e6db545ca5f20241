// The engine's file layer: one named file into a compressed file (lz/lz_format.h) and
// back. Names are Windows path texts, cut to 255 bytes. One operation at a time per thread:
// one started from a callback of a running one raises EQuarnLZError 40002. Every operation
// may also raise 40002 when the coder gets no memory, EInOutError for a failing file
// operation, and whatever a callback throws; the files are then closed, the destination
// kept as far as written, and the next operation can run.
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

// Asked when the destination exists, before anything is written, with the source's record
// and the destination's (GetFileInfo). CompressFile goes on on 1; DecompressFile stops on
// 0 (kRefused) and 2 (kSkipped).
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
// 3), 0 LZSS (method 2), 2 the adaptive Huffman coder (method 4). A compressed source is
// copied unchanged. `dest` gets the source's date-time (a copy: its header's). Answers the
// bytes written, or, with nothing written, kBadNames (a name empty, or both one file: by
// text ignoring a-z case, full path or identity), kNoSource, kRefused (`confirm` said not
// 1). Raises 40002 for another mode; EQuarnLZCompress 40009 before writing for a source
// above 1,908,874,352 bytes, and after coding when input or body passed 2 GiB;
// EInOutError "File access denied" for a read-only `dest`.
std::int64_t CompressFile(const std::string& source, const std::string& dest,
                          const ConfirmProc& confirm, const ProgressProc& progress,
                          std::uint8_t mode);

// CompressFile on open files: `source` at its start, `dest` new and empty, read-write;
// both stay open. No name is looked up but a program image's for its version. `facts`,
// if given, are the source's as its open found them.
std::int64_t CompressOpenFile(platform::File& source, platform::File& dest,
                              const ProgressProc& progress, std::uint8_t mode,
                              const platform::FileFacts* facts = nullptr);

// Restores the compressed file `source` into `dest` (a plain source is copied). A missing
// source is looked for under its MarkedName. An existing `dest` is deleted first; the new
// one gets the stored date-time and attributes, also when the transfer fails. Answers the
// bytes written, kRefused or kSkipped (nothing written), kCrcMismatch (SetVerify on and
// the written CRC-32 differs; before the next codes), or method 4's kLzhInputEnded or
// kLzhNoWorkArea (lz/lzh.h). A damaged LZSS body shows only to verification. Raises, with
// nothing written, EQuarnLZCompress 40003 for an empty name, 40004 (the source's full
// path) when both are one file, 40006 (the stored name) when the marked file holds another
// file; EInOutError "File not found" when neither source nor marked name exists.
std::int64_t DecompressFile(const std::string& source, const std::string& dest,
                            const ConfirmProc& confirm, const ProgressProc& progress);

// DecompressFile from an open source at its start into a new, empty file open read-write,
// made by the caller (through a held folder): nothing is looked up by name. Verification
// checks the bytes as they are written; the engine closes both files.
std::int64_t DecompressInto(platform::File& source, platform::File& dest,
                            const ProgressProc& progress);

// Decodes the compressed file `name` without writing; comparing `result` with the header
// is the caller's. False for a plain file; EInOutError "File not found" for a missing one.
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

// Any thread but the first opens one before it runs the engine: an engine of its own,
// made anew, until the ThreadEngine ends.
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
// does not open is plain and empty), or kNoSuchFile and a zero record. EInOutError when a
// read fails after the open.
std::int32_t GetFileInfo(const std::string& name, LZFileInfo& info);
// The stored name of a compressed file, else the name itself. Never throws.
std::string GetStoredName(const std::string& name);
// The last character of the extension turned into "~" ("DATA.DA~", "README.~").
std::string MarkedName(const std::string& name);

}  // namespace lz
