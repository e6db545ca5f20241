// The engine's file layer: the 257-byte compressed-file header, and the operations that
// compress one named file into a compressed file and back. Names are Windows path texts,
// cut to 255 bytes. One operation at a time: the engine's state is process-wide, and an
// operation started from a callback of a running one raises EQuarnLZError 40002 and
// leaves the running one as it was.
//
// Format of a compressed file (all numbers little-endian):
//   0 signature "\x08aQuarnM#" | 9 zero[2] | 11 uncompressed size i32 | 15 body size i32
//   19 DOS date-time | 23 attributes | 27 CRC-32 | 31 version text (length byte + 8)
//   40 name (length byte 1..128 + 128) | 169 reserved u32 | 173 method | 174 zero[83]
//   257 body: LZSS stream (method 2, 3, anything but 4) or adaptive Huffman (method 4)
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>

#include "lz/lz_support.h"

namespace lz {

// --- Errors ---------------------------------------------------------------------------

class EQuarnLZError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
class EQuarnLZCompress : public EQuarnLZError {
 public:
  using EQuarnLZError::EQuarnLZError;
};

// Numbers of the engine's message table.
inline constexpr int kMsgNoValidFilename = 40000;
inline constexpr int kMsgInvalidArchive = 40001;
inline constexpr int kMsgInitFailed = 40002;
inline constexpr int kMsgInvalidParameters = 40003;
inline constexpr int kMsgSameInputOutput = 40004;
inline constexpr int kMsgNoTempName = 40005;
inline constexpr int kMsgWrongCompressedFile = 40006;
inline constexpr int kMsgArchiveCorrupt = 40007;
inline constexpr int kMsgCannotRecreateFolders = 40008;
// A source whose compressed data might not fit the header's 32-bit body size.
inline constexpr int kMsgSourceTooLarge = 40009;

enum class EngineErrorClass { kError, kCompress };  // EQuarnLZError, EQuarnLZCompress

// The table's text for a number ("" for an unknown one).
std::string EngineMessage(int number);
[[noreturn]] void RaiseEngineError(EngineErrorClass error_class, int number);
// As RaiseEngineError, with `name` put in for the message's "%s".
[[noreturn]] void RaiseEngineErrorFmt(EngineErrorClass error_class, int number,
                                      const std::string& name);

// --- Header and file information --------------------------------------------------------

inline constexpr std::size_t kMaxStoredName = 128;
inline constexpr std::size_t kMaxVersionText = 8;
inline constexpr std::uint8_t kMethodLzssMode0 = 2;
inline constexpr std::uint8_t kMethodLzss = 3;
inline constexpr std::uint8_t kMethodLzh = 4;

struct LZHeader {
  std::int32_t uncompressed_size = 0;
  std::int32_t body_size = 0;
  std::uint32_t date_time = 0;  // DOS packed, local time
  std::uint32_t attributes = 0;
  std::uint32_t crc32 = 0;
  std::string version;  // at most 8 bytes
  std::string name;     // at most 128 bytes, no folder
  std::uint32_t reserved = 0;
  std::uint8_t method = kMethodLzss;
};

// Texts longer than their fields are cut on encoding; lengths beyond a field (a damaged
// header) are cut to it on decoding, so decoding never reads outside the 257 bytes.
HeaderBytes EncodeHeader(const LZHeader& header);
LZHeader DecodeHeader(const HeaderBytes& bytes);

// The header's DOS date-time as "2003-04-05T06:07:08", or "none (0x...)" for a value
// that is no date.
std::string DateTimeText(std::uint32_t dos_date_time);
// What a method byte means: "LZSS", "LZSS, mode 0", "adaptive Huffman LZ", or "unknown,
// decoded as LZSS".
std::string MethodName(std::uint8_t method);

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

// Asked only when the destination exists, before anything is written. CompressFile goes
// on when the answer is 1; DecompressFile stops on 0 (-100) and on 2 (-150).
using ConfirmProc = std::function<std::uint8_t(const LZFileInfo& source, const LZFileInfo& dest)>;
// count -1: the transfer starts; -2: it has ended (also by an error); else bytes moved.
using ProgressProc = std::function<void(const LZFileInfo& info, std::int32_t count)>;

// --- Operations ---------------------------------------------------------------------------

// Negative results.
inline constexpr std::int64_t kBadNames = -11;      // a name empty, or both the same file
inline constexpr std::int64_t kNoSource = -12;      // the source does not exist
inline constexpr std::int32_t kNoSuchFile = -16;    // GetFileInfo: empty name or no file
inline constexpr std::int64_t kRefused = -100;      // the confirmation said no
inline constexpr std::int64_t kSkipped = -150;      // DecompressFile: the confirmation said 2
inline constexpr std::int64_t kCrcMismatch = -200;  // verification found another CRC-32

// Compresses `source` into `dest`: mode 1 LZSS (method 3), mode 0 LZSS (method 2),
// mode 2 the adaptive Huffman coder (method 4). A source that already is a compressed
// file is copied unchanged. Answers the bytes written, or kBadNames (a name empty, or
// both naming one file: by text, or by identity through a link, a hard link or another
// drive), kNoSource, kRefused. Raises EQuarnLZError 40002 when the engine cannot start,
// another operation is running (a callback's) or the coder finds no memory;
// EQuarnLZCompress 40009 before any file is written for a source whose compressed data
// could pass the header's 32-bit body size (size + size / 8 + 1 bytes in the worst case:
// sources above 1,908,874,352 bytes); EInOutError for file failures. The destination
// gets the source's date-time.
std::int64_t CompressFile(const std::string& source, const std::string& dest,
                          const ConfirmProc& confirm, const ProgressProc& progress,
                          std::uint8_t mode);

// Restores a compressed file (a plain file is copied unchanged) into `dest`, which is
// deleted first if it exists and gets the stored date-time and attributes. Answers the
// bytes written, or kRefused, kSkipped, kCrcMismatch, or the second decoder's -21.
// Raises EQuarnLZError 40002 (as CompressFile), EQuarnLZCompress 40003 (empty name), 40004
// (both names one file, by text or identity), 40006 (marked-name fallback met another
// file's compressed form), EInOutError.
std::int64_t DecompressFile(const std::string& source, const std::string& dest,
                            const ConfirmProc& confirm, const ProgressProc& progress);

// 1 and the header's record for a compressed file, 0 and the file's own record for a
// plain one, kNoSuchFile (record all zero) for an empty name or a missing file.
std::int32_t GetFileInfo(const std::string& name, LZFileInfo& info);
// The stored name of a compressed file; else the name itself.
std::string GetStoredName(const std::string& name);
// The name with the last character of its extension turned into "~" ("DATA.DA~",
// "README.~").
std::string MarkedName(const std::string& name);

// Inside an operation: copies `count` bytes (-1: to the end) from the input file to the
// output; direction 1 reports progress on reading, 2 on writing. A counted copy that meets
// the end early raises EInOutError 100.
std::int64_t CopyStream(std::int64_t count, int direction);

// Switches the CRC-32 check of DecompressFile on or off; answers the previous setting.
bool SetVerify(bool on);

// Decodes a compressed file without writing it, for checking it. Answers false for a file
// that is not a compressed file. EInOutError when it cannot be read.
struct CheckResult {
  LZHeader header;
  std::int64_t decoded = 0;  // bytes decoded, or the second decoder's negative code
  std::uint32_t crc32 = 0;   // of the decoded bytes
};
bool CheckCompressedFile(const std::string& name, CheckResult& result);

// --- Engine state and hooks -----------------------------------------------------------------

// Clears CurrentFile, Expanding and verification, and installs the coders' hooks. Run
// once at program entry.
void EngineStartup();

std::int64_t BytesIn();
std::int64_t BytesOut();
const LZFileInfo& CurrentFile();
bool Expanding();

// The hooks the coders call, reading and writing the running operation's files and
// counting the bytes (BytesIn / BytesOut) and reporting progress.
std::uint32_t ReadBlock(std::span<std::uint8_t> block);
std::uint32_t WriteBlock(std::span<const std::uint8_t> bytes);
void CountIn(std::uint32_t count, bool decompressing);
void CountOut(std::uint32_t count, bool decompressing);

}  // namespace lz
