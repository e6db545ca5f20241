#include "lz/lz_file.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <exception>
#include <functional>
#include <limits>
#include <optional>
#include <span>
#include <vector>

#include "lz/lz_errors.h"
#include "lz/lz_format.h"
#include "lz/lz_internal.h"
#include "lz/lz_support.h"
#include "lz/lzh.h"
#include "lz/lzss.h"
#include "lz/per_thread.h"
#include "lz/work_areas.h"
#include "platform/ascii.h"
#include "platform/drives.h"
#include "platform/files.h"
#include "platform/io_error.h"

namespace lz {
namespace {

constexpr std::size_t kCopyBufferSize = 128000;
// The header's sizes are signed 32-bit numbers.
constexpr std::int64_t kLargestSize = std::numeric_limits<std::int32_t>::max();
constexpr char kFileVersionKey[] = "FileVersion";
constexpr char kNoVersion[] = "0";

// The state of the calling thread's running operation. The files themselves belong to
// the operation's stack frame; these pointers are set for its duration only.
struct Engine {
  platform::File* input = nullptr;
  platform::File* output = nullptr;
  // Where output goes when there is no output file (CheckCompressedFile).
  std::function<void(const std::uint8_t*, std::size_t)> sink;
  std::int64_t bytes_in = 0;
  std::int64_t bytes_out = 0;
  ProgressProc progress;
  bool expanding = false;
  LZFileInfo current_file;
  bool verify = false;
  bool running = false;  // an operation is between its LZBegin and LZEnd
  // The CRC-32 of every byte read from the input, kept while `crc_of_input` is set: a
  // compression takes its source's CRC-32 in the pass that codes it.
  bool crc_of_input = false;
  std::uint32_t input_crc = 0;
  // The same of every byte written, while `crc_of_output` is set: a verified decompression
  // checks what it wrote as it writes it.
  bool crc_of_output = false;
  std::uint32_t output_crc = 0;
  bool input_ended = false;  // the input's last read came back short
  AreaPool<std::array<std::uint8_t, kCopyBufferSize>> copy_buffers;
};
detail::PerThread<Engine> g_engine;

const std::string& MessageText(int number) {
  static const std::string kMessages[] = {
      "No valid filename in list-file",
      "%s is an invalid LZ Archive",
      "LZ-Initialisation failed",
      "Invalid parameters to LZ function",
      "File %s specified for both Input and Output",
      "Cannot create unique temporary file name",
      "Wrong compressed file: %s",
      "LZ Archive %s is corrupt",
      "Cannot re-create directory structure %s",
      "%s is too large to compress: its compressed data could reach 2 GiB",
  };
  static const std::string kNone;
  const int index = number - kMsgNoValidFilename;
  if (index < 0 || index >= static_cast<int>(std::size(kMessages))) return kNone;
  return kMessages[index];
}

[[noreturn]] void Raise(EngineErrorClass error_class, const std::string& message) {
  if (error_class == EngineErrorClass::kCompress) throw EQuarnLZCompress(message);
  throw EQuarnLZError(message);
}

// The longest body the LZSS coder can make of `size` bytes: every byte a literal, and
// one flag byte for each group of eight.
std::int64_t LongestBody(std::int64_t size) { return size + size / 8 + 1; }

std::string VersionTextOf(const std::string& name) {
  const std::string version = CutText(VersionInfoString(name, kFileVersionKey), kMaxVersionText);
  return version.empty() ? kNoVersion : version;
}

// The last-write time of a file open under `name`, as FileDateOfName tells it.
std::uint32_t DateOfOpenFile(const platform::File& file, const std::string& name) {
  // A time outside the DOS range is clamped by the query by name.
  const std::optional<std::uint32_t> date_time = file.DosTime();
  return date_time ? *date_time : platform::GetFileDosTime(name).value_or(kNoFileDate);
}

// Only a program image ("MZ") holds a version resource.
bool IsProgramImage(const HeaderBytes& first_bytes) {
  return first_bytes[0] == 'M' && first_bytes[1] == 'Z';
}

std::uint32_t AttributesOf(const std::string& name) {
  return platform::GetAttributes(name).value_or(0);
}

// The record of a compressed file, from its header.
LZFileInfo InfoFromHeader(const LZHeader& h) {
  LZFileInfo info;
  info.name = h.name;
  info.stored_size = h.body_size;
  info.uncompressed_size = h.uncompressed_size;
  info.date_time = h.date_time;
  info.attributes = h.attributes;
  info.crc32 = h.crc32;
  info.version = h.version;
  info.reserved = h.reserved;
  info.method = h.method;
  return info;
}

// Opens the file and runs the header check on it; a file that does not open is plain.
bool ProbeHeader(const std::string& name, HeaderBytes& header) {
  platform::File file;
  if (platform::File::TryOpen(name, platform::OpenMode::kRead, &file) != 0) return false;
  const bool compressed = IsCompressedFileAtStart(file, header);
  file.Close();
  return compressed;
}

void ReportProgress(const LZFileInfo& info, std::uint32_t count) {
  if (g_engine->progress) g_engine->progress(info, static_cast<std::int32_t>(count));
}

void WriteOutput(const std::uint8_t* data, std::size_t count) {
  if (g_engine->crc_of_output)
    g_engine->output_crc = static_cast<std::uint32_t>(crc32_z(g_engine->output_crc, data, count));
  if (g_engine->output) {
    g_engine->output->Write(data, count);
  } else if (g_engine->sink) {
    g_engine->sink(data, count);
  } else {
    platform::RaiseIoError(platform::kFileNotOpen);
  }
}

std::size_t ReadInput(std::uint8_t* buffer, std::size_t count) {
  if (!g_engine->input) platform::RaiseIoError(platform::kFileNotOpen);
  // A read that came back short met the end of the file: no call to be told so again.
  if (g_engine->input_ended) return 0;
  const std::size_t n = g_engine->input->Read(buffer, count);
  g_engine->input_ended = n < count;
  if (g_engine->crc_of_input)
    g_engine->input_crc = static_cast<std::uint32_t>(crc32_z(g_engine->input_crc, buffer, n));
  return n;
}

void InstallHooks() {
  SetBlockHooks(ReadBlock, WriteBlock);
  SetLzhCountHooks(CountIn, CountOut);
}

LzhStreams EngineStreams() {
  LzhStreams io;
  io.read = [](std::uint8_t* buffer, std::size_t count) { return ReadInput(buffer, count); };
  io.write = [](const std::uint8_t* data, std::size_t count) { WriteOutput(data, count); };
  return io;
}

// One engine operation: LZBegin on entry (40002 when it fails), and on every way out
// LZEnd and the engine's file pointers and callbacks cleared. An operation started from
// a callback of a running one is refused with 40002 before it touches anything: the
// engine's files, counters and work areas are the running operation's.
class Operation {
 public:
  explicit Operation(std::uint8_t mode) {
    if (g_engine->running) RaiseEngineError(EngineErrorClass::kError, kMsgInitFailed);
    g_engine->bytes_in = 0;
    g_engine->bytes_out = 0;
    // Other users of the coders (their tests, the benchmark) may have installed hooks
    // of their own; the file layer's must be the ones in place.
    InstallHooks();
    if (!LZBegin(mode)) RaiseEngineError(EngineErrorClass::kError, kMsgInitFailed);
    g_engine->running = true;
  }
  ~Operation() {
    LZEnd();
    g_engine->input = nullptr;
    g_engine->output = nullptr;
    g_engine->sink = nullptr;
    g_engine->progress = nullptr;
    g_engine->crc_of_input = false;
    g_engine->crc_of_output = false;
    g_engine->input_ended = false;
    g_engine->running = false;
  }
  Operation(const Operation&) = delete;
  Operation& operator=(const Operation&) = delete;
};

// Collects the first error of a clean-up that must run to its end.
class CleanUp {
 public:
  explicit CleanUp(std::exception_ptr failure) : failure_(std::move(failure)) {}
  template <typename Step>
  void Run(Step step) {
    try {
      step();
    } catch (...) {
      if (!failure_) failure_ = std::current_exception();
    }
  }
  void Finish() {
    if (failure_) std::rethrow_exception(failure_);
  }

 private:
  std::exception_ptr failure_;
};

// A date the platform refuses (a header's 0, or a damaged one) leaves the file's own time.
void SetTimeIfPossible(platform::File& file, std::uint32_t dos_time) {
  try {
    file.SetDosTime(dos_time);
  } catch (const platform::EInOutError&) {
  }
}

void RunLzssEncode() {
  if (!LzssPrepareEncode()) RaiseEngineError(EngineErrorClass::kError, kMsgInitFailed);
  LzssEncode();
}

void RunLzssDecode() {
  if (!LzssPrepareDecode()) RaiseEngineError(EngineErrorClass::kError, kMsgInitFailed);
  LzssDecode();
}

}  // namespace

// --- Errors ---------------------------------------------------------------------------------

std::string EngineMessage(int number) { return MessageText(number); }

void RaiseEngineError(EngineErrorClass error_class, int number) {
  Raise(error_class, MessageText(number));
}

void RaiseEngineErrorFmt(EngineErrorClass error_class, int number, const std::string& name) {
  std::string message = MessageText(number);
  const std::size_t at = message.find("%s");
  if (at != std::string::npos) message.replace(at, 2, name);
  Raise(error_class, message);
}

// --- Engine state and hooks -----------------------------------------------------------------

void EngineStartup() {
  g_engine->current_file = LZFileInfo{};
  g_engine->expanding = false;
  g_engine->verify = false;
  InstallHooks();
}

ThreadEngine::ThreadEngine() : parts_(detail::OpenThreadParts()) { EngineStartup(); }

ThreadEngine::~ThreadEngine() {
  // The last opened first: a module's state may have registered with an earlier one's.
  while (!parts_.empty()) parts_.pop_back();
}

std::int64_t BytesIn() { return g_engine->bytes_in; }

bool SetVerify(bool on) {
  const bool previous = g_engine->verify;
  g_engine->verify = on;
  return previous;
}

std::uint32_t ReadBlock(std::span<std::uint8_t> block) {
  const auto n = static_cast<std::uint32_t>(ReadInput(block.data(), block.size()));
  g_engine->bytes_in += n;
  if (!g_engine->expanding) ReportProgress(g_engine->current_file, n);
  return n;
}

std::uint32_t WriteBlock(std::span<const std::uint8_t> bytes) {
  WriteOutput(bytes.data(), bytes.size());
  const auto n = static_cast<std::uint32_t>(bytes.size());
  g_engine->bytes_out += n;
  if (g_engine->expanding) ReportProgress(g_engine->current_file, n);
  return n;
}

void CountIn(std::uint32_t count, bool decompressing) {
  g_engine->bytes_in += count;
  if (!decompressing) ReportProgress(g_engine->current_file, count);
}

void CountOut(std::uint32_t count, bool decompressing) {
  g_engine->bytes_out += count;
  if (decompressing) ReportProgress(g_engine->current_file, count);
}

std::int64_t CopyStream(std::int64_t count, int direction) {
  const AreaPool<std::array<std::uint8_t, kCopyBufferSize>>::Lease buffer(g_engine->copy_buffers);
  std::int64_t copied = 0;
  do {
    const std::size_t chunk =
        count == -1
            ? kCopyBufferSize
            : static_cast<std::size_t>(std::min<std::int64_t>(count - copied, kCopyBufferSize));
    const std::size_t n = ReadInput(buffer->data(), chunk);
    if (direction == 1) ReportProgress(g_engine->current_file, static_cast<std::uint32_t>(n));
    if (count != -1 && n != chunk) RaiseReadPastEnd();
    if (n == 0) break;
    WriteOutput(buffer->data(), n);
    copied += static_cast<std::int64_t>(n);
    if (direction == 2) ReportProgress(g_engine->current_file, static_cast<std::uint32_t>(n));
  } while (count == -1 || copied < count);
  return copied;
}

// --- Names ------------------------------------------------------------------------------------

std::string MarkedName(const std::string& name) {
  const std::size_t folder_end = name.find_last_of("\\/:");
  const std::size_t dot = name.find_last_of('.');
  const bool has_ext =
      dot != std::string::npos && (folder_end == std::string::npos || dot > folder_end);
  std::string ext = has_ext ? name.substr(dot) : std::string();
  if (ext.size() >= 2) {
    ext.back() = '~';
  } else {
    ext = ".~";
  }
  return (has_ext ? name.substr(0, dot) : name) + ext;
}

std::int32_t GetFileInfo(const std::string& name_in, LZFileInfo& info) {
  info = LZFileInfo{};
  const std::string name = CutText(name_in, kMaxNameLength);
  if (name.empty() || !platform::FileExists(name)) return kNoSuchFile;
  HeaderBytes header{};
  if (ProbeHeader(name, header)) {
    info = InfoFromHeader(DecodeHeader(header));
    return 1;
  }
  info.name = name;
  info.stored_size = FileSizeOfName(name);
  info.uncompressed_size = info.stored_size;
  info.date_time = FileDateOfName(name);
  info.attributes = AttributesOf(name);
  info.crc32 = FileCRC32(name);
  info.version = VersionTextOf(name);
  return 0;
}

std::string GetStoredName(const std::string& name) {
  HeaderBytes header{};
  try {
    if (!name.empty() && ProbeHeader(CutText(name, kMaxNameLength), header)) {
      return DecodeHeader(header).name;
    }
  } catch (const platform::EInOutError&) {
  }
  return name;
}

namespace {

// Points the running operation at its output file and the caller's progress, which
// hears first that the file starts.
void StartOutput(platform::File& output, const LZFileInfo& file, const ProgressProc& progress) {
  g_engine->output = &output;
  if (progress) progress(file, kProgressStart);
  g_engine->progress = progress;
}

}  // namespace

// --- Operations -----------------------------------------------------------------------------

namespace {

// The source's first block, read once for both the header probe and the coder.
struct FirstBlock {
  std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(kBlockSize);
  std::size_t size = 0;    // read
  std::size_t given = 0;   // handed to the coder
};

// The record of an open source that a compression stores, from the open file: its CRC-32
// is left to the pass that codes it, and only a program image is read for its version.
// `header` gets the source's first bytes. Raises 40009 for a source too large to code.
LZFileInfo SourceRecord(platform::File& input, const std::string& source, HeaderBytes& header,
                        bool& compressed, const platform::FileFacts* known = nullptr,
                        FirstBlock* first = nullptr) {
  LZFileInfo info;
  const platform::FileFacts facts = known ? *known : input.Facts();
  info.uncompressed_size = facts.size;
  // The header holds the body size in 32 bits: a source whose body might not fit is
  // refused before anything is written, not found out after the whole file is coded.
  if (LongestBody(info.uncompressed_size) > kLargestSize) {
    RaiseEngineErrorFmt(EngineErrorClass::kCompress, kMsgSourceTooLarge, source);
  }
  info.name = source;
  // A time outside the DOS range is clamped by the query by name.
  info.date_time = facts.dos_time ? *facts.dos_time
                                  : platform::GetFileDosTime(source).value_or(kNoFileDate);
  info.attributes = facts.attributes;
  // Read where it stands, so that the coding pass starts at the start with no seek back;
  // or, with `first`, as the start of the coding pass.
  header.fill(0);
  std::size_t probed = 0;
  if (first) {
    first->size = input.Read(first->bytes.data(), first->bytes.size());
    first->given = 0;
    probed = std::min(first->size, header.size());
    std::copy_n(first->bytes.begin(), probed, header.begin());
  } else {
    probed = input.ReadAt(0, header.data(), header.size());
  }
  compressed = IsCompressedHeader(std::span(header).first(probed));
  info.version = IsProgramImage(header) ? VersionTextOf(source) : kNoVersion;
  info.stored_size = -1;
  info.method = kMethodLzss;
  return info;
}

// The coding of a compression, from the open input at its start into the open output:
// a compressed source is copied, any other is coded under a header that records it. The
// output gets the date-time and the caller's progress hears of the end; the exception of
// a failure is kept for the caller's clean-up. Answers the bytes written.
std::int64_t CodeInto(platform::File& input, platform::File& output, const std::string& source,
                      LZFileInfo& source_info, bool compressed, HeaderBytes& header,
                      const ProgressProc& progress, std::uint8_t mode, CleanUp& clean_up,
                      FirstBlock* first = nullptr) {
  g_engine->current_file = source_info;
  g_engine->input = &input;
  StartOutput(output, source_info, progress);
  std::int64_t result = 0;
  clean_up.Run([&] {
    g_engine->input_crc = 0;
    g_engine->crc_of_input = true;
    // Only the LZSS coder takes its first block from `first`: the others read from the start.
    if (first && (compressed || mode == 2)) input.Seek(0);
    if (compressed) {
      result = CopyStream(-1, 1);
      source_info.crc32 = g_engine->input_crc;
      return;
    }
    LZHeader h;
    h.uncompressed_size = static_cast<std::int32_t>(source_info.uncompressed_size);
    h.date_time = source_info.date_time;
    h.attributes = source_info.attributes;
    h.version = source_info.version;
    h.name = CutText(FileNamePart(source), kMaxStoredName);
    h.reserved = source_info.reserved;
    h.method = mode == 0 ? kMethodLzssMode0 : mode == 2 ? kMethodLzh : kMethodLzss;
    header = EncodeHeader(h);
    // The header goes out with the body's first block, and again in place once the CRC-32
    // is known: a body of one block is written once, whole, at the end. A failure first
    // writes what is held, as it stood written by then.
    std::vector<std::uint8_t> held(header.begin(), header.end());
    bool held_written = false;
    const auto write_held = [&] {
      if (!held_written) output.Write(held.data(), held.size());
      held_written = true;
    };
    g_engine->output = nullptr;
    g_engine->sink = [&](const std::uint8_t* data, std::size_t count) {
      if (!held_written && held.size() == header.size()) {
        held.insert(held.end(), data, data + count);
        return;
      }
      write_held();
      output.Write(data, count);
    };
    try {
      g_engine->expanding = false;
      if (mode == 2) {
        const std::int64_t written = LzhEncode(EngineStreams());
        // A coder without its work areas has written nothing: that is a failed start, not
        // a body size.
        if (written < 0) RaiseEngineError(EngineErrorClass::kError, kMsgInitFailed);
        g_engine->bytes_out = written;
      } else {
        g_engine->bytes_out = 0;
        if (first) {
          // The first block as ReadBlock would read it, then the rest through ReadBlock.
          SetBlockHooks(
              [first](std::span<std::uint8_t> block) -> std::uint32_t {
                const std::size_t n = std::min(block.size(), first->size - first->given);
                if (n == 0) return ReadBlock(block);
                std::copy_n(first->bytes.begin() + static_cast<std::ptrdiff_t>(first->given), n,
                            block.begin());
                first->given += n;
                g_engine->input_crc =
                    static_cast<std::uint32_t>(crc32_z(g_engine->input_crc, block.data(), n));
                g_engine->bytes_in += static_cast<std::int64_t>(n);
                ReportProgress(g_engine->current_file, static_cast<std::uint32_t>(n));
                return static_cast<std::uint32_t>(n);
              },
              WriteBlock);
        }
        try {
          RunLzssEncode();
        } catch (...) {
          InstallHooks();
          throw;
        }
        InstallHooks();
      }
      // A source that grew while it was read, or a body of the second coder beyond the
      // LZSS bound.
      if (g_engine->bytes_in > kLargestSize || g_engine->bytes_out > kLargestSize) {
        RaiseEngineErrorFmt(EngineErrorClass::kCompress, kMsgSourceTooLarge, source);
      }
    } catch (...) {
      write_held();
      throw;
    }
    // The CRC-32 is known once the source is read: the header is written again.
    h.body_size = static_cast<std::int32_t>(g_engine->bytes_out);
    h.crc32 = source_info.crc32 = g_engine->input_crc;
    header = EncodeHeader(h);
    if (held_written) {
      output.WriteAt(0, header.data(), header.size());
    } else {
      std::copy(header.begin(), header.end(), held.begin());
      output.Write(held.data(), held.size());
    }
    result = g_engine->bytes_out + static_cast<std::int64_t>(kHeaderSize);
  });
  SetTimeIfPossible(output, DecodeHeader(header).date_time);
  return result;
}

// The caller hears that the transfer has ended.
void EndCompression(CleanUp& clean_up, LZFileInfo& source_info, const ProgressProc& progress) {
  if (!progress) return;
  source_info.name.clear();
  source_info.stored_size = g_engine->bytes_out;
  clean_up.Run([&] { progress(source_info, kProgressEnd); });
}

}  // namespace

std::int64_t CompressFile(const std::string& source_in, const std::string& dest_in,
                          const ConfirmProc& confirm, const ProgressProc& progress,
                          std::uint8_t mode) {
  Operation operation(mode);
  mode &= 0x7F;

  const std::string source = CutText(source_in, kMaxNameLength);
  const std::string dest = CutText(dest_in, kMaxNameLength);
  // The full-path test keeps "a.txt" and "C:\dir\a.txt" from truncating the source, and
  // the identity test a link, a hard link or another drive's name for it.
  if (source.empty() || dest.empty() || platform::EqualIgnoringAsciiCase(source, dest) ||
      platform::SamePathText(platform::ExpandFileName(source), platform::ExpandFileName(dest)) ||
      platform::SameFile(source, dest)) {
    return kBadNames;
  }
  platform::File input;
  if (platform::File::TryOpen(source, platform::OpenMode::kRead, &input) != 0) {
    if (!platform::FileExists(source)) return kNoSource;
    input = platform::File::Open(source, platform::OpenMode::kRead);  // raises the open's error
  }
  HeaderBytes header{};
  bool compressed = false;
  LZFileInfo source_info = SourceRecord(input, source, header, compressed);

  if (platform::FileExists(dest)) {
    source_info.stored_size = source_info.uncompressed_size;
    source_info.method = 0;
    if (confirm) {
      source_info.crc32 = FileCRC32(input);
      input.Seek(0);
      LZFileInfo dest_info;
      GetFileInfo(dest, dest_info);
      if (confirm(source_info, dest_info) != 1) return kRefused;
    }
  }
  platform::File output = platform::File::Open(dest, platform::OpenMode::kCreate);

  CleanUp clean_up(nullptr);
  const std::int64_t result =
      CodeInto(input, output, source, source_info, compressed, header, progress, mode, clean_up);
  clean_up.Run([&] { output.Close(); });
  EndCompression(clean_up, source_info, progress);
  clean_up.Run([&] { input.Close(); });
  clean_up.Finish();
  return result;
}

std::int64_t CompressOpenFile(platform::File& source, platform::File& dest,
                              const ProgressProc& progress, std::uint8_t mode,
                              const platform::FileFacts* facts) {
  Operation operation(mode);
  mode &= 0x7F;
  if (!source.IsOpen() || !dest.IsOpen()) {
    RaiseEngineError(EngineErrorClass::kCompress, kMsgInvalidParameters);
  }
  const std::string name = CutText(source.Path(), kMaxNameLength);
  HeaderBytes header{};
  bool compressed = false;
  // Kept by the thread: a block's allocation per file would cost calls into the system.
  thread_local FirstBlock first;
  LZFileInfo source_info = SourceRecord(source, name, header, compressed, facts, &first);
  CleanUp clean_up(nullptr);
  const std::int64_t result = CodeInto(source, dest, name, source_info, compressed, header,
                                       progress, mode, clean_up, &first);
  EndCompression(clean_up, source_info, progress);
  clean_up.Finish();
  return result;
}

namespace {

// The file a decompression reads: a missing source is looked for under its MarkedName,
// whose stored name must be the requested file's. `check` runs again on the marked name.
std::string SourceToRead(std::string source, const std::function<void(const std::string&)>& check) {
  if (platform::FileExists(source)) return source;
  // The compressed form "DATA.DA~" of a missing "DATA.DAT" stands in for it when its
  // stored name is the requested file's name. A plain or missing marked file goes on
  // (to a verbatim copy, or to "File not found" at the open).
  const std::string marked = MarkedName(source);
  HeaderBytes marked_header{};
  if (ProbeHeader(marked, marked_header)) {
    const std::string stored = DecodeHeader(marked_header).name;
    if (!platform::SamePathText(FileNamePart(stored), FileNamePart(source))) {
      RaiseEngineErrorFmt(EngineErrorClass::kCompress, kMsgWrongCompressedFile, stored);
    }
  }
  check(marked);  // the marked name may be the destination itself
  return marked;
}

// The record of what a decompression writes: the header's, or a plain source's own.
LZFileInfo OutputInfo(const std::string& source, bool compressed, const LZHeader& stored,
                      std::uint32_t date) {
  if (compressed) return InfoFromHeader(stored);
  LZFileInfo info;
  info.stored_size = FileSizeOfName(source);
  info.uncompressed_size = info.stored_size;
  info.date_time = date;
  info.attributes = AttributesOf(source);
  info.crc32 = FileCRC32(source);
  info.version = kNoVersion;
  return info;
}

// Decodes (or copies) the opened source into the engine's output; the exception of a
// failure is kept for the clean-up, which runs whatever happens.
std::int64_t DecodeBody(platform::File& input, bool compressed, const LZHeader& stored,
                        std::exception_ptr& failure, bool at_body = false) {
  try {
    if (!compressed) return CopyStream(-1, 2);
    g_engine->expanding = true;
    if (!at_body) input.Seek(kHeaderSize);
    if (stored.method == kMethodLzh) {
      g_engine->bytes_out = LzhDecode(EngineStreams());
    } else {
      RunLzssDecode();
    }
    return g_engine->bytes_out;
  } catch (...) {
    failure = std::current_exception();
    return 0;
  }
}

// The end of a decompression, however it went: the caller hears that the transfer has
// ended, the source is closed, and the clean-up's first error is raised; else `result`.
std::int64_t EndDecompression(CleanUp& clean_up, LZFileInfo& source_info,
                              const ProgressProc& progress, platform::File& input,
                              std::int64_t result) {
  if (progress) {
    source_info.name.clear();
    clean_up.Run([&] { progress(source_info, kProgressEnd); });
  }
  clean_up.Run([&] { input.Close(); });
  clean_up.Finish();
  return result;
}

}  // namespace

std::int64_t DecompressFile(const std::string& source_in, const std::string& dest_in,
                            const ConfirmProc& confirm, const ProgressProc& progress) {
  LZFileInfo source_info;
  LZFileInfo dest_info;
  HeaderBytes header{};
  Operation operation(1);  // always mode 1, whichever coder the file needs

  std::string source = CutText(source_in, kMaxNameLength);
  std::string dest = CutText(dest_in, kMaxNameLength);
  if (source.empty() || dest.empty()) {
    RaiseEngineError(EngineErrorClass::kCompress, kMsgInvalidParameters);
  }
  source = CutText(platform::ExpandFileName(source), kMaxNameLength);
  dest = CutText(platform::ExpandFileName(dest), kMaxNameLength);
  // By name and by identity: a link, a hard link or another drive's name for the source
  // would have it deleted and replaced by its own decoded content.
  auto check_distinct = [&](const std::string& candidate) {
    if (platform::SamePathText(candidate, dest) || platform::SameFile(candidate, dest)) {
      RaiseEngineErrorFmt(EngineErrorClass::kCompress, kMsgSameInputOutput, candidate);
    }
  };
  check_distinct(source);
  source = SourceToRead(source, check_distinct);

  platform::File input = platform::File::Open(source, platform::OpenMode::kRead);
  g_engine->input = &input;
  const bool compressed = IsCompressedFileAtStart(input, header);
  const LZHeader stored = compressed ? DecodeHeader(header) : LZHeader{};
  const std::uint32_t date = compressed ? stored.date_time : DateOfOpenFile(input, source);

  if (platform::FileExists(dest) && confirm) {
    GetFileInfo(dest, dest_info);
    if (compressed) {
      source_info = InfoFromHeader(stored);
    } else {
      source_info.name = source;
      source_info.stored_size = input.Size();
      source_info.uncompressed_size = source_info.stored_size;
      source_info.date_time = date;
      source_info.attributes = AttributesOf(source);
      source_info.crc32 = FileCRC32(source);
      source_info.version = VersionTextOf(source);
    }
    const std::uint8_t answer = confirm(source_info, dest_info);
    if (answer == 0 || answer == 2) {
      input.Close();
      return answer == 0 ? kRefused : kSkipped;
    }
  }

  source_info = OutputInfo(source, compressed, stored, date);
  source_info.name = dest;
  g_engine->current_file = source_info;

  DeleteFileForced(dest);
  platform::File output = platform::File::Open(dest, platform::OpenMode::kCreate);
  StartOutput(output, source_info, progress);

  std::exception_ptr failure;
  std::int64_t result = DecodeBody(input, compressed, stored, failure);

  CleanUp clean_up(failure);
  SetTimeIfPossible(output, source_info.date_time);
  clean_up.Run([&] { output.Close(); });
  // The attributes are a courtesy, as the time is: a file system that refuses them keeps
  // the decoded data all the same.
  static_cast<void>(platform::SetAttributes(dest, source_info.attributes));
  if (!failure && g_engine->verify) {
    clean_up.Run([&] {
      if (FileCRC32(dest) != source_info.crc32) result = kCrcMismatch;
    });
  }
  return EndDecompression(clean_up, source_info, progress, input, result);
}

std::int64_t DecompressInto(platform::File& input, platform::File& dest,
                            const ProgressProc& progress) {
  HeaderBytes header{};
  Operation operation(1);
  if (!input.IsOpen() || !dest.IsOpen()) {
    RaiseEngineError(EngineErrorClass::kCompress, kMsgInvalidParameters);
  }
  g_engine->input = &input;
  // The header is read where the body follows it; only a plain source goes back to its start.
  const std::size_t n = input.Read(header.data(), header.size());
  const bool compressed = IsCompressedHeader(std::span(header).first(n));
  const LZHeader stored = compressed ? DecodeHeader(header) : LZHeader{};
  LZFileInfo source_info;
  if (compressed) {
    source_info = InfoFromHeader(stored);
  } else {
    input.Seek(0);
    source_info.stored_size = source_info.uncompressed_size = input.Size();
    source_info.date_time = DateOfOpenFile(input, input.Path());
    source_info.attributes = input.Attributes();
    source_info.version = kNoVersion;
  }
  source_info.name = CutText(dest.Path(), kMaxNameLength);
  g_engine->current_file = source_info;
  StartOutput(dest, source_info, progress);

  // What is written is checked as it is written; a plain source is its own record.
  g_engine->crc_of_output = g_engine->verify;
  g_engine->output_crc = 0;
  g_engine->crc_of_input = !compressed;
  g_engine->input_crc = 0;
  std::exception_ptr failure;
  std::int64_t result = DecodeBody(input, compressed, stored, failure, /*at_body=*/true);

  CleanUp clean_up(failure);
  SetTimeIfPossible(dest, source_info.date_time);
  try {
    dest.SetAttributes(source_info.attributes);
  } catch (const platform::EInOutError&) {
    // a courtesy, as in DecompressFile
  }
  const std::uint32_t expected = compressed ? stored.crc32 : g_engine->input_crc;
  if (!failure && g_engine->verify && g_engine->output_crc != expected) result = kCrcMismatch;
  clean_up.Run([&] { dest.Close(); });
  return EndDecompression(clean_up, source_info, progress, input, result);
}

bool CheckCompressedFile(const std::string& name, CheckResult& result) {
  result = CheckResult{};
  Operation operation(1);
  platform::File input =
      platform::File::Open(CutText(name, kMaxNameLength), platform::OpenMode::kRead);
  g_engine->input = &input;
  HeaderBytes header{};
  if (!IsCompressedFileAtStart(input, header)) return false;
  result.header = DecodeHeader(header);

  uLong crc = crc32_z(0L, Z_NULL, 0);
  g_engine->sink = [&crc](const std::uint8_t* data, std::size_t count) {
    crc = crc32_z(crc, data, count);
  };
  g_engine->progress = nullptr;
  g_engine->expanding = true;
  input.Seek(kHeaderSize);
  if (result.header.method == kMethodLzh) {
    g_engine->bytes_out = LzhDecode(EngineStreams());
  } else {
    RunLzssDecode();
  }
  result.decoded = g_engine->bytes_out;
  result.crc32 = static_cast<std::uint32_t>(crc);
  input.Close();
  return true;
}

}  // namespace lz
