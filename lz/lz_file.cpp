#include "lz/lz_file.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <exception>
#include <functional>
#include <limits>
#include <optional>
#include <span>
#include <utility>
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
constexpr char kNoVersion[] = "0";

// A compression's first block, read once for both the header probe and the LZSS coder.
struct FirstBlock {
  std::vector<std::uint8_t> bytes;
  std::size_t size = 0;   // read
  std::size_t given = 0;  // handed to the coder
};

// What the running operation uses, cleared when it ends. The input file belongs to the
// operation's stack frame.
struct Transfer {
  platform::File* input = nullptr;
  std::function<void(const std::uint8_t*, std::size_t)> output;
  ProgressProc progress;
  bool running = false;                     // an operation is between LZBegin and LZEnd
  std::optional<std::uint32_t> input_crc;   // of what is read, while wanted
  std::optional<std::uint32_t> output_crc;  // of what is written, while wanted
  bool input_ended = false;                 // the input's last read came back short
};

// The calling thread's engine.
struct Engine : Transfer {
  std::int64_t bytes_in = 0;
  std::int64_t bytes_out = 0;
  bool expanding = false;
  LZFileInfo current_file;
  bool verify = false;
  FirstBlock first;  // kept: an allocation per file would cost calls into the system
  AreaPool<std::array<std::uint8_t, kCopyBufferSize>> copy_buffers;
};
detail::PerThread<Engine> g_engine;

std::string VersionTextOf(const std::string& name) {
  const std::string version = CutText(VersionInfoString(name, "FileVersion"), kMaxVersionText);
  return version.empty() ? kNoVersion : version;
}

// An open file's time, or, outside the DOS range, the query by name's, which clamps it.
std::uint32_t DateOr(std::optional<std::uint32_t> date_time, const std::string& name) {
  return date_time ? *date_time : platform::GetFileDosTime(name).value_or(kNoFileDate);
}

LZFileInfo InfoFromHeader(const LZHeader& h) {
  return {h.version,    h.body_size, h.uncompressed_size, h.date_time, h.name,
          h.attributes, h.crc32,     h.reserved,          h.method};
}

// A plain file's record; it is read in full for its CRC-32.
LZFileInfo PlainRecord(const std::string& name, std::int64_t size, std::uint32_t date,
                       bool with_version) {
  LZFileInfo info;
  info.name = name;
  info.stored_size = info.uncompressed_size = size;
  info.date_time = date;
  info.attributes = platform::GetAttributes(name).value_or(0);
  info.crc32 = FileCRC32(name);
  info.version = with_version ? VersionTextOf(name) : kNoVersion;
  return info;
}

// Reads the file's header, if it is a compressed file; one that does not open is plain.
bool ProbeHeader(const std::string& name, HeaderBytes& header) {
  platform::File file;
  if (platform::File::TryOpen(name, platform::OpenMode::kRead, &file) != 0) return false;
  const std::size_t n = file.Read(header.data(), header.size());
  file.Close();
  return IsCompressedHeader(std::span(header).first(n));
}

void Report(std::size_t count) {
  if (g_engine->progress)
    g_engine->progress(g_engine->current_file, static_cast<std::int32_t>(count));
}

void WriteOutput(const std::uint8_t* data, std::size_t count) {
  if (auto& crc = g_engine->output_crc)
    *crc = static_cast<std::uint32_t>(crc32_z(*crc, data, count));
  if (!g_engine->output) platform::RaiseIoError(platform::kFileNotOpen);
  g_engine->output(data, count);
}

// What is left of a compression's first block, then the file.
std::size_t ReadInput(std::uint8_t* buffer, std::size_t count) {
  if (!g_engine->input) platform::RaiseIoError(platform::kFileNotOpen);
  FirstBlock& first = g_engine->first;
  std::size_t n = std::min(count, first.size - first.given);
  if (n > 0) {
    std::copy_n(first.bytes.data() + first.given, n, buffer);
    first.given += n;
  } else if (g_engine->input_ended) {
    return 0;  // no call into the system to be told so again
  } else {
    n = g_engine->input->Read(buffer, count);
    g_engine->input_ended = n < count;
  }
  if (auto& crc = g_engine->input_crc) *crc = static_cast<std::uint32_t>(crc32_z(*crc, buffer, n));
  return n;
}

// The counts of the coders' blocks; progress is told on the uncompressed side.
void CountIn(std::uint32_t count, bool decompressing) {
  g_engine->bytes_in += count;
  if (!decompressing) Report(count);
}

void CountOut(std::uint32_t count, bool decompressing) {
  g_engine->bytes_out += count;
  if (decompressing) Report(count);
}

// The LZSS hooks: the running operation's files, counted and reported to its progress.
std::uint32_t ReadBlock(std::span<std::uint8_t> block) {
  const auto n = static_cast<std::uint32_t>(ReadInput(block.data(), block.size()));
  CountIn(n, g_engine->expanding);
  return n;
}

std::uint32_t WriteBlock(std::span<const std::uint8_t> bytes) {
  WriteOutput(bytes.data(), bytes.size());
  const auto n = static_cast<std::uint32_t>(bytes.size());
  CountOut(n, g_engine->expanding);
  return n;
}

void InstallHooks() {
  SetBlockHooks(ReadBlock, WriteBlock);
  SetLzhCountHooks(CountIn, CountOut);
}

// One engine operation, from LZBegin to LZEnd; one started inside another is refused.
class Operation {
 public:
  explicit Operation(std::uint8_t mode) {
    if (g_engine->running) RaiseEngineError(EngineErrorClass::kError, kMsgInitFailed);
    g_engine->bytes_in = 0;
    g_engine->bytes_out = 0;
    InstallHooks();  // other users of the coders may have installed their own
    if (!LZBegin(mode)) RaiseEngineError(EngineErrorClass::kError, kMsgInitFailed);
    g_engine->running = true;
  }
  ~Operation() {
    LZEnd();
    g_engine->first.given = g_engine->first.size;
    static_cast<Transfer&>(*g_engine) = Transfer{};
  }
  Operation(const Operation&) = delete;
  Operation& operator=(const Operation&) = delete;
};

// Collects the first error of steps that must all run.
class CleanUp {
 public:
  template <typename Step>
  void Run(Step step) {
    try {
      step();
    } catch (...) {
      if (!failure_) failure_ = std::current_exception();
    }
  }
  bool Failed() const { return failure_ != nullptr; }
  void Finish() {
    if (failure_) std::rethrow_exception(failure_);
  }

 private:
  std::exception_ptr failure_;
};

// A date-time or attributes the platform refuses (a header's 0, a damaged one) stay as they were.
template <typename Step>
void IfPossible(Step step) {
  try {
    step();
  } catch (const platform::EInOutError&) {
  }
}

// Points the operation at its output and progress, which hears first that the file starts.
void StartOutput(platform::File& output, const LZFileInfo& file, const ProgressProc& progress) {
  g_engine->output = [&output](const std::uint8_t* data, std::size_t count) {
    output.Write(data, count);
  };
  if (progress) progress(file, kProgressStart);
  g_engine->progress = progress;
}

// However a transfer went: the progress hears its end, `input` is closed, the first error raised.
void EndTransfer(CleanUp& clean_up, LZFileInfo& info, const ProgressProc& progress,
                 platform::File* input) {
  if (progress) {
    info.name.clear();
    clean_up.Run([&] { progress(info, kProgressEnd); });
  }
  if (input) clean_up.Run([&] { input->Close(); });
  clean_up.Finish();
}

// Decodes the input from where it stands: the bytes written, or the LZH coder's code.
std::int64_t DecodeStream(std::uint8_t method) {
  g_engine->expanding = true;
  if (method == kMethodLzh) return g_engine->bytes_out = LzhDecode({ReadInput, WriteOutput});
  if (!LzssPrepareDecode()) RaiseEngineError(EngineErrorClass::kError, kMsgInitFailed);
  LzssDecode();
  return g_engine->bytes_out;
}

}  // namespace

std::string EngineMessage(int number) {
  static const char* const kMessages[] = {
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
  const int index = number - kMsgFirst;
  if (index < 0 || index >= static_cast<int>(std::size(kMessages))) return "";
  return kMessages[index];
}

void RaiseEngineError(EngineErrorClass error_class, int number, const std::string& name) {
  std::string message = EngineMessage(number);
  if (const std::size_t at = message.find("%s"); at != std::string::npos) {
    message.replace(at, 2, name);
  }
  if (error_class == EngineErrorClass::kCompress) throw EQuarnLZCompress(message);
  throw EQuarnLZError(message);
}

void EngineStartup() {
  g_engine->current_file = LZFileInfo{};
  g_engine->expanding = false;
  g_engine->verify = false;
  InstallHooks();
}

ThreadEngine::ThreadEngine() {
  for (const auto& open : detail::thread_part_openers) parts_.push_back(open());
  EngineStartup();
}

ThreadEngine::~ThreadEngine() {
  // The last opened first: a module's state may have registered with an earlier one's.
  while (!parts_.empty()) parts_.pop_back();
}

std::int64_t BytesIn() { return g_engine->bytes_in; }

bool SetVerify(bool on) { return std::exchange(g_engine->verify, on); }

std::int64_t CopyStream(std::int64_t count, int direction) {
  const AreaPool<std::array<std::uint8_t, kCopyBufferSize>>::Lease buffer(g_engine->copy_buffers);
  std::int64_t copied = 0;
  do {
    const std::size_t chunk =
        count == -1
            ? kCopyBufferSize
            : static_cast<std::size_t>(std::min<std::int64_t>(count - copied, kCopyBufferSize));
    const std::size_t n = ReadInput(buffer->data(), chunk);
    if (direction == 1) Report(n);
    if (count != -1 && n != chunk) RaiseReadPastEnd();
    if (n == 0) break;
    WriteOutput(buffer->data(), n);
    copied += static_cast<std::int64_t>(n);
    if (direction == 2) Report(n);
  } while (count == -1 || copied < count);
  return copied;
}

std::string MarkedName(const std::string& name) {
  const std::size_t dot = name.find_last_of('.');
  const std::size_t folder_end = name.find_last_of("\\/:");
  if (dot == std::string::npos || (folder_end != std::string::npos && dot < folder_end)) {
    return name + ".~";
  }
  return (dot + 1 == name.size() ? name : name.substr(0, name.size() - 1)) + "~";
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
  info = PlainRecord(name, FileSizeOfName(name), FileDateOfName(name), true);
  return 0;
}

namespace {

// What a compression knows of its source before coding it.
struct Source {
  LZFileInfo info;
  HeaderBytes header{};  // its first bytes; then the header written
  bool compressed = false;
};

// The record a compression stores, but for the CRC-32, which the coding pass finds.
Source SourceRecord(platform::File& input, const std::string& source,
                    const platform::FileFacts* known = nullptr) {
  Source record;
  auto& [info, header, compressed] = record;
  const platform::FileFacts facts = known ? *known : input.Facts();
  info.uncompressed_size = facts.size;
  // Refused before anything is written: the LZSS body may be all literals and flag bytes.
  if (info.uncompressed_size + info.uncompressed_size / 8 + 1 > kLargestSize) {
    RaiseEngineError(EngineErrorClass::kCompress, kMsgSourceTooLarge, source);
  }
  info.name = source;
  info.date_time = DateOr(facts.dos_time, source);
  info.attributes = facts.attributes;
  FirstBlock& first = g_engine->first;
  first.bytes.resize(kBlockSize);
  first.size = input.Read(first.bytes.data(), kBlockSize);
  first.given = 0;
  header.fill(0);
  const std::size_t probed = std::min(first.size, header.size());
  std::copy_n(first.bytes.begin(), probed, header.begin());
  compressed = IsCompressedHeader(std::span(header).first(probed));
  // Only a program image ("MZ") holds a version resource.
  info.version = header[0] == 'M' && header[1] == 'Z' ? VersionTextOf(source) : kNoVersion;
  info.stored_size = -1;
  info.method = kMethodLzss;
  return record;
}

// Copies a compressed source, or codes any other under a header, into the output, which
// gets the date-time. Answers the bytes written.
std::int64_t CodeInto(platform::File& input, platform::File& output, const std::string& source,
                      Source& record, const ProgressProc& progress, std::uint8_t mode,
                      bool close_files) {
  mode &= 0x7F;
  LZFileInfo& source_info = record.info;
  HeaderBytes& header = record.header;
  const bool compressed = record.compressed;
  g_engine->current_file = source_info;
  g_engine->input = &input;
  StartOutput(output, source_info, progress);
  std::int64_t result = 0;
  CleanUp clean_up;
  clean_up.Run([&] {
    g_engine->input_crc = 0;
    // Only the LZSS coder takes the first block as read: the others read from the start.
    if (compressed || mode == 2) {
      input.Seek(0);
      g_engine->first.given = g_engine->first.size;
    }
    if (compressed) {
      result = CopyStream(-1, 1);
      source_info.crc32 = *g_engine->input_crc;
      return;
    }
    LZHeader h;
    h.uncompressed_size = static_cast<std::int32_t>(source_info.uncompressed_size);
    h.date_time = source_info.date_time;
    h.attributes = source_info.attributes;
    h.version = source_info.version;
    h.name = CutText(FileNamePart(source), kMaxStoredName);
    h.method = mode == 0 ? kMethodLzssMode0 : mode == 2 ? kMethodLzh : kMethodLzss;
    header = EncodeHeader(h);
    // The header goes out with the body's first block and again once the CRC-32 is known:
    // a body of one block is written once, at the end. A failure writes what is held.
    std::vector<std::uint8_t> held(header.begin(), header.end());
    bool held_written = false;
    const auto write_held = [&] {
      if (!held_written) output.Write(held.data(), held.size());
      held_written = true;
    };
    g_engine->output = [&](const std::uint8_t* data, std::size_t count) {
      if (!held_written && held.size() == header.size()) {
        held.insert(held.end(), data, data + count);
        return;
      }
      write_held();
      output.Write(data, count);
    };
    try {
      g_engine->expanding = false;
      // The coders count what they write into bytes_out. One without its work areas has
      // written nothing: a failed start.
      if (mode == 2) {
        if (LzhEncode({ReadInput, WriteOutput}) < 0) {
          RaiseEngineError(EngineErrorClass::kError, kMsgInitFailed);
        }
      } else {
        if (!LzssPrepareEncode()) RaiseEngineError(EngineErrorClass::kError, kMsgInitFailed);
        LzssEncode();
      }
      // A source that grew while it was read, or an LZH body beyond the LZSS bound.
      if (g_engine->bytes_in > kLargestSize || g_engine->bytes_out > kLargestSize) {
        RaiseEngineError(EngineErrorClass::kCompress, kMsgSourceTooLarge, source);
      }
    } catch (...) {
      write_held();
      throw;
    }
    h.body_size = static_cast<std::int32_t>(g_engine->bytes_out);
    h.crc32 = source_info.crc32 = *g_engine->input_crc;
    header = EncodeHeader(h);
    if (held_written) {
      output.WriteAt(0, header.data(), header.size());
    } else {
      std::copy(header.begin(), header.end(), held.begin());
      output.Write(held.data(), held.size());
    }
    result = g_engine->bytes_out + static_cast<std::int64_t>(kHeaderSize);
  });
  IfPossible([&] { output.SetDosTime(DecodeHeader(header).date_time); });
  if (close_files) clean_up.Run([&] { output.Close(); });
  source_info.stored_size = g_engine->bytes_out;
  EndTransfer(clean_up, source_info, progress, close_files ? &input : nullptr);
  return result;
}

}  // namespace

std::int64_t CompressFile(const std::string& source_in, const std::string& dest_in,
                          const ConfirmProc& confirm, const ProgressProc& progress,
                          std::uint8_t mode) {
  Operation operation(mode);
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
  Source record = SourceRecord(input, source);
  if (platform::FileExists(dest)) {
    record.info.stored_size = record.info.uncompressed_size;
    record.info.method = 0;
    if (confirm) {
      record.info.crc32 = FileCRC32(input);
      input.Seek(static_cast<std::int64_t>(g_engine->first.size));  // after the first block
      LZFileInfo dest_info;
      GetFileInfo(dest, dest_info);
      if (confirm(record.info, dest_info) != 1) return kRefused;
    }
  }
  platform::File output = platform::File::Open(dest, platform::OpenMode::kCreate);
  return CodeInto(input, output, source, record, progress, mode, true);
}

std::int64_t CompressOpenFile(platform::File& source, platform::File& dest,
                              const ProgressProc& progress, std::uint8_t mode,
                              const platform::FileFacts* facts) {
  Operation operation(mode);
  if (!source.IsOpen() || !dest.IsOpen()) {
    RaiseEngineError(EngineErrorClass::kCompress, kMsgInvalidParameters);
  }
  const std::string name = CutText(source.Path(), kMaxNameLength);
  Source record = SourceRecord(source, name, facts);
  return CodeInto(source, dest, name, record, progress, mode, false);
}

namespace {

// Makes `input` the operation's and reads its header; a plain source goes back to its start.
bool ReadHeader(platform::File& input, LZHeader& stored) {
  g_engine->input = &input;
  HeaderBytes header{};
  const std::size_t n = input.Read(header.data(), header.size());
  if (IsCompressedHeader(std::span(header).first(n))) {
    stored = DecodeHeader(header);
    return true;
  }
  input.Seek(0);
  return false;
}

// Decodes (or copies) the source into `output`, which gets the record's date-time and
// attributes and is closed.
std::int64_t Restore(platform::File& input, platform::File& output, bool compressed,
                     const LZHeader& stored, LZFileInfo& info, const ProgressProc& progress) {
  g_engine->current_file = info;
  StartOutput(output, info, progress);
  // A plain source is copied as it is: only what is decoded is checked against its record.
  if (g_engine->verify && compressed) g_engine->output_crc = 0;
  std::int64_t result = 0;
  CleanUp clean_up;
  clean_up.Run([&] { result = compressed ? DecodeStream(stored.method) : CopyStream(-1, 2); });
  IfPossible([&] { output.SetDosTime(info.date_time); });
  IfPossible([&] { output.SetAttributes(info.attributes); });
  if (!clean_up.Failed() && g_engine->output_crc && *g_engine->output_crc != stored.crc32)
    result = kCrcMismatch;
  clean_up.Run([&] { output.Close(); });
  EndTransfer(clean_up, info, progress, &input);
  return result;
}

}  // namespace

std::int64_t DecompressFile(const std::string& source_in, const std::string& dest_in,
                            const ConfirmProc& confirm, const ProgressProc& progress) {
  Operation operation(1);  // always mode 1, whichever coder the file needs
  if (source_in.empty() || dest_in.empty()) {
    RaiseEngineError(EngineErrorClass::kCompress, kMsgInvalidParameters);
  }
  const auto full_name = [](const std::string& name) {
    return CutText(platform::ExpandFileName(CutText(name, kMaxNameLength)), kMaxNameLength);
  };
  std::string source = full_name(source_in);
  const std::string dest = full_name(dest_in);
  // By name and by identity: a link, a hard link or another drive's name for the source
  // would have it deleted and replaced by its own decoded content.
  auto check_distinct = [&](const std::string& candidate) {
    if (platform::SamePathText(candidate, dest) || platform::SameFile(candidate, dest)) {
      RaiseEngineError(EngineErrorClass::kCompress, kMsgSameInputOutput, candidate);
    }
  };
  check_distinct(source);
  if (!platform::FileExists(source)) {
    // A missing source is looked for under its MarkedName, whose stored name must match; a
    // plain or missing marked file goes on (to a verbatim copy, or to "File not found").
    const std::string marked = MarkedName(source);
    HeaderBytes marked_header{};
    if (ProbeHeader(marked, marked_header)) {
      const std::string stored_name = DecodeHeader(marked_header).name;
      if (!platform::SamePathText(FileNamePart(stored_name), FileNamePart(source))) {
        RaiseEngineError(EngineErrorClass::kCompress, kMsgWrongCompressedFile, stored_name);
      }
    }
    check_distinct(marked);  // the marked name may be the destination itself
    source = marked;
  }

  platform::File input = platform::File::Open(source, platform::OpenMode::kRead);
  LZHeader stored;
  const bool compressed = ReadHeader(input, stored);
  const std::uint32_t date = compressed ? stored.date_time : DateOr(input.DosTime(), source);

  const auto record = [&](bool with_version) {
    return compressed ? InfoFromHeader(stored)
                      : PlainRecord(source, input.Size(), date, with_version);
  };
  if (platform::FileExists(dest) && confirm) {
    LZFileInfo dest_info;
    GetFileInfo(dest, dest_info);
    const std::uint8_t answer = confirm(record(true), dest_info);
    if (answer == 0 || answer == 2) {
      input.Close();
      return answer == 0 ? kRefused : kSkipped;
    }
  }
  LZFileInfo info = record(false);
  info.name = dest;
  DeleteFileForced(dest);
  platform::File output = platform::File::Open(dest, platform::OpenMode::kCreate);
  return Restore(input, output, compressed, stored, info, progress);
}

std::int64_t DecompressInto(platform::File& input, platform::File& dest,
                            const ProgressProc& progress) {
  Operation operation(1);
  if (!input.IsOpen() || !dest.IsOpen()) {
    RaiseEngineError(EngineErrorClass::kCompress, kMsgInvalidParameters);
  }
  LZHeader stored;
  const bool compressed = ReadHeader(input, stored);
  LZFileInfo info;
  if (compressed) {
    info = InfoFromHeader(stored);
  } else {
    info.stored_size = info.uncompressed_size = input.Size();
    info.date_time = DateOr(input.DosTime(), input.Path());
    info.attributes = input.Attributes();
    info.version = kNoVersion;
  }
  info.name = CutText(dest.Path(), kMaxNameLength);
  return Restore(input, dest, compressed, stored, info, progress);
}

bool CheckCompressedFile(const std::string& name, CheckResult& result) {
  result = CheckResult{};
  Operation operation(1);
  platform::File input =
      platform::File::Open(CutText(name, kMaxNameLength), platform::OpenMode::kRead);
  if (!ReadHeader(input, result.header)) return false;
  g_engine->output_crc = 0;
  g_engine->output = [](const std::uint8_t*, std::size_t) {};
  result.decoded = DecodeStream(result.header.method);
  result.crc32 = *g_engine->output_crc;
  input.Close();
  return true;
}

}  // namespace lz
