// The engine's file layer: compresses one named file into a compressed file
// (lz/lz_format.h) and back. Run EngineStartup once before the first operation.
//
// Names are Windows path texts, cut to their first 255 bytes. Each thread has an engine of
// its own and runs one operation at a time on it: an operation started while another runs
// on the same thread (from one of its callbacks) raises EQuarnLZError 40002 and leaves the
// running one as it was.
// Each operation (CompressFile, DecompressFile, CheckCompressedFile) may also raise
// EQuarnLZError 40002 when the coder cannot have its memory, EInOutError
// (platform/io_error.h) when a file fails to open, be created, read, written, sought or
// closed, and whatever a callback throws. After an exception the files are closed, the
// destination stays as far as it was written (the engine deletes nothing it wrote), and
// the next operation can run.
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
}

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

// Asked only when the destination exists, before anything is written, with the source's
// record and GetFileInfo's of the destination. CompressFile goes on when the answer is
// 1; DecompressFile stops on 0 (kRefused) and on 2 (kSkipped) and goes on otherwise.
using ConfirmProc = std::function<std::uint8_t(const LZFileInfo& source, const LZFileInfo& dest)>;
// count -1: the transfer starts; -2: it has ended (also by an error); else bytes moved,
// counted on the uncompressed side. Either callback may be empty.
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

// Compresses `source` into `dest`, which it truncates if it exists; `mode` 1 is LZSS
// (method 3), 0 LZSS (method 2), 2 the adaptive Huffman coder (method 4); only the low
// seven bits count. A source that already is a compressed file is copied unchanged.
// The destination gets the source's date-time (a copy: the one in its header).
// Answers the bytes written (257 + body; a copy: its length), or, with nothing written:
//   kBadNames  a name is empty, or both name one file: as texts equal but for the case of
//              a to z, as full paths, or by identity (a link, a hard link, another drive)
//   kNoSource  the source does not exist
//   kRefused   `confirm` answered anything but 1
// Raises EQuarnLZError 40002 also for any other mode; EQuarnLZCompress 40009 before
// anything is written for a source whose body could pass the header's 32-bit size (above
// 1,908,874,352 bytes), and after coding when the bytes read or the body passed 2 GiB (a
// source that grew meanwhile); EInOutError "File access denied" for a read-only `dest`.
std::int64_t CompressFile(const std::string& source, const std::string& dest,
                          const ConfirmProc& confirm, const ProgressProc& progress,
                          std::uint8_t mode);

// CompressFile on files the caller has opened: `source` for reading, at its start, and
// `dest` new and empty, for reading and writing; the header stores the last name of
// source.Path(). No name is looked up but for a program image's version resource. Both
// files stay open, for the caller to flush and close. Answers and raises as CompressFile,
// with no names to check and no confirmation to ask. `facts`, if given, are the source's
// as its open found them, not asked again.
std::int64_t CompressOpenFile(platform::File& source, platform::File& dest,
                              const ProgressProc& progress, std::uint8_t mode,
                              const platform::FileFacts* facts = nullptr);

// Restores the compressed file `source` into `dest` (a plain source is copied unchanged).
// A missing source is looked for under its MarkedName. An existing `dest` is deleted
// before the new one is created, so a failure after that loses it; the new file gets the
// stored date-time and attributes (a copy: the source's), also when the transfer fails.
// Answers the bytes written, or
//   kRefused, kSkipped  `confirm` answered 0, or 2; nothing written
//   kCrcMismatch        verification is on (SetVerify) and the CRC-32 of what was written
//                       is not the source's; it takes the place of the codes below
//   kLzhInputEnded, kLzhNoWorkArea (lz/lzh.h)  method 4: the body ended before its end
//                       code, or the decoder got no memory; `dest` holds what was decoded
// A damaged LZSS body is found only by verification: it decodes to other or fewer bytes.
// Raises, with nothing written, EQuarnLZCompress 40003 for an empty name, 40004
// (with the source's full path) when both name one file, as full paths or by identity,
// 40006 (with the stored name) when the marked file holds another file's compressed form;
// EInOutError "File not found" when neither the source nor its marked name exists.
std::int64_t DecompressFile(const std::string& source, const std::string& dest,
                            const ConfirmProc& confirm, const ProgressProc& progress);

// DecompressFile from a source the caller has opened at its start into a file the caller
// has made, new and empty and open for reading and writing: for a caller that makes it
// through a folder it holds open (platform/folder_handle.h), so that nothing is looked up,
// deleted or created by a name. The stored date-time and attributes are set through the
// open file, verification checks the bytes as they are written, and the engine closes
// both. Answers and raises as DecompressFile, with no confirmation to ask.
std::int64_t DecompressInto(platform::File& source, platform::File& dest,
                            const ProgressProc& progress);

// Decodes the compressed file `name` without writing anything. `result` gets the header,
// the bytes decoded (or method 4's kLzhInputEnded, kLzhNoWorkArea) and their CRC-32;
// comparing them with the header is the caller's. Answers false, `result` as default, for
// a file that is not a compressed file. Raises as each operation may; EInOutError "File
// not found" for a missing file.
struct CheckResult {
  LZHeader header;
  std::int64_t decoded = 0;  // bytes decoded, or the second decoder's negative code
  std::uint32_t crc32 = 0;   // of the decoded bytes
};
bool CheckCompressedFile(const std::string& name, CheckResult& result);

// Switches the CRC-32 check of DecompressFile on or off (off at start-up); answers the
// previous setting.
bool SetVerify(bool on);

// Clears the calling thread's engine state, switches its verification off and installs
// the coders' hooks. Run once at program entry, and in every ThreadEngine.
void EngineStartup();

// The program's first thread has an engine from the start. Any other thread that runs
// the engine opens a ThreadEngine first: it gives the thread an engine of its own, its
// state made anew (EngineStartup included), until the ThreadEngine ends. One at a time on
// a thread.
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

// 1 and the header's record for a compressed file (name: the stored one), 0 and the
// file's own for a plain one (its CRC-32 read in full; a file that does not open counts as
// plain and empty), kNoSuchFile and a record all zero for an empty name or a missing file.
// EInOutError when a read fails after the file opened.
std::int32_t GetFileInfo(const std::string& name, LZFileInfo& info);
// The stored name of a compressed file; else, also when it cannot be read, the name
// itself. Never throws. Kept as the engine's routine for programs built on it; this
// program reads the header through GetFileInfo.
std::string GetStoredName(const std::string& name);
// The name with the last character of its extension turned into "~" ("DATA.DA~",
// "README.~"); a dot in a folder name is no extension.
std::string MarkedName(const std::string& name);

}  // namespace lz
