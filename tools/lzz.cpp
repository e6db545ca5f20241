// lzz: compresses, restores, describes and checks single compressed files from a terminal,
// through the engine operations the backup and the restore use. Takes host paths.
#include <fcntl.h>
#include <getopt.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef _WIN32
#include <direct.h>
#include <io.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "lz/lz_file.h"
#include "lz/lz_format.h"
#include "lz/lz_support.h"
#include "lz/lzh.h"
#include "platform/drives.h"
#include "platform/files.h"
#include "platform/interrupt.h"
#include "platform/io_error.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitSignalBase = 128;  // the shell's status for a program ended by a signal

constexpr char kStandardStream[] = "-";
constexpr std::size_t kCopyBlock = 1 << 16;

// On Windows descriptors open in text mode unless told, and not inheriting is O_NOINHERIT.
#ifdef _WIN32
constexpr int kOpenFlags = O_BINARY | O_NOINHERIT;
void UseAsBinary(int descriptor) { ::_setmode(descriptor, _O_BINARY); }
int MakePrivateFolder(const char* path) { return ::_mkdir(path); }
#else
constexpr int kOpenFlags = O_CLOEXEC;
void UseAsBinary(int) {}
// The user's alone from the moment it exists: no other user can put an entry in it.
int MakePrivateFolder(const char* path) { return ::mkdir(path, 0700); }
#endif

constexpr char kUsage[] =
    "Usage: lzz compress [-f] [--method lzss|lzh] SRC DST\n"
    "  or:  lzz decompress [-f] SRC DST\n"
    "  or:  lzz info FILE...\n"
    "  or:  lzz verify FILE...\n"
    "  or:  lzz --help | --version\n"
    "\n"
    "Works on single compressed files of Varn ICQ Backup.\n"
    "\n"
    "Commands:\n"
    "  compress    compresses SRC into the compressed file DST (LZSS unless --method\n"
    "              lzh); a SRC that already is a compressed file is copied unchanged\n"
    "  decompress  restores the compressed file SRC as DST, with its stored date-time\n"
    "              and attributes, and checks its CRC-32; a plain SRC is copied unchanged\n"
    "  info        shows the header of each compressed file, or says \"plain file\"\n"
    "  verify      decodes each compressed file without writing it and checks its\n"
    "              length and CRC-32 against the header\n"
    "\n"
    "Options:\n"
    "  -f, --force    replace an existing DST (without it, an existing DST is refused);\n"
    "                 compress: write to standard output also when it is a terminal\n"
    "  -h, --help     show this help (also after a command)\n"
    "  -V, --version  show the version\n"
    "  --             ends the options: the names after it may begin with \"-\"\n"
    "\n"
    "A SRC or FILE of \"-\" is standard input, a DST of \"-\" standard output. DST is\n"
    "written under a temporary name beside it and takes its name only once the\n"
    "operation has succeeded: a failure or an interrupt leaves an existing DST as it was.\n"
    "On a terminal, the work on a file of more than 4 MB shows its percentage.\n"
    "\n"
    "Exit status: 0 success, 1 an operation failed, 2 wrong command line,\n"
    "128 + the signal after an interrupt (130 for Ctrl-C).\n";

constexpr char kVersion[] = "lzz (Varn ICQ Backup) " VARN_VERSION "\n";

// "lzz: <file>: <reason>" on standard error; answers the exit status.
int Fail(const std::string& file, const std::string& reason) {
  std::fprintf(stderr, "lzz: %s: %s\n", file.c_str(), reason.c_str());
  return kExitFailed;
}

// After Ctrl-C, SIGTERM or SIGHUP: the status tells which signal it was.
int Interrupted() {
  std::fputs("lzz: interrupted\n", stderr);
  return kExitSignalBase + (platform::StopSignal() != 0 ? platform::StopSignal() : SIGINT);
}

// A failure, unless it came of an interrupt.
int FailUnlessStopped(const std::string& file, const std::string& reason) {
  return platform::StopRequested() ? Interrupted() : Fail(file, reason);
}

constexpr std::int64_t kProgressMinBytes = std::int64_t{4} << 20;  // shown from this size

// Between blocks a stop request ends the operation, and on a terminal (not a pipe or a
// log) a large file's percentage is redrawn in place on standard error.
class Progress {
 public:
  explicit Progress(std::string name)
      : name_(std::move(name)), shown_(::isatty(STDERR_FILENO) == 1) {}
  ~Progress() { Clear(); }
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  void operator()(const lz::LZFileInfo& info, std::int32_t count) {
    platform::RaiseIfStopRequested();
    if (!shown_ || count == lz::kProgressStart) return;
    if (count == lz::kProgressEnd) {
      Clear();
      return;
    }
    done_ += count;
    const std::int64_t total = std::max(info.uncompressed_size, info.stored_size);
    if (total < kProgressMinBytes) return;
    const int percent = static_cast<int>(std::min<std::int64_t>(100, done_ * 100 / total));
    if (percent == percent_) return;
    percent_ = percent;
    std::fprintf(stderr, "\rlzz: %s: %3d%%", name_.c_str(), percent);
    std::fflush(stderr);
    line_ = true;
  }

 private:
  void Clear() {
    if (!line_) return;
    std::fprintf(stderr, "\r%*s\r", static_cast<int>(name_.size()) + 11, "");
    std::fflush(stderr);
    line_ = false;
  }

  std::string name_;
  bool shown_;
  bool line_ = false;
  std::int64_t done_ = 0;
  int percent_ = -1;
};

// A wrong command line gets the synopsis, not the whole help.
int Usage() {
  const std::string usage = kUsage;
  std::fprintf(stderr, "%sTry 'lzz --help'.\n", usage.substr(0, usage.find("\n\n") + 1).c_str());
  return kExitUsage;
}

int Help() {
  std::fputs(kUsage, stdout);
  return kExitOk;
}

// What getopt_long refused, named as the user typed it.
int BadOption(char* const argv[], int character) {
  const std::string typed = argv[optind - 1];
  const std::string option = typed.starts_with("--") || optopt == 0
                                 ? typed.substr(0, typed.find('='))
                                 : std::string("-") + static_cast<char>(optopt);
  std::fprintf(stderr,
               character == ':' ? "lzz: option %s needs an argument\n" : "lzz: unknown option %s\n",
               option.c_str());
  return Usage();
}

// A folder under $TMPDIR for standard input and output, made when first needed.
class ScratchFolder {
 public:
  ScratchFolder() = default;
  ~ScratchFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // The folder, or "" with the system's reason in `problem`.
  std::string Path(std::string& problem) {
    std::random_device random;
    while (path_.empty()) {
      const std::string folder =
          (std::filesystem::temp_directory_path() / ("lzz-" + std::to_string(random()))).string();
      if (MakePrivateFolder(folder.c_str()) == 0) {
        path_ = folder;
      } else if (errno != EEXIST) {
        problem = std::strerror(errno);
        return "";
      }
    }
    return path_;
  }

 private:
  std::string path_;
};

// Copies one descriptor to another; "" or the system's reason. An interrupt ends a wait.
std::string CopyDescriptor(int from, int to) {
  std::vector<char> block(kCopyBlock);
  for (;;) {
    const ssize_t n = ::read(from, block.data(), block.size());
    if (n < 0 && errno == EINTR && !platform::StopRequested()) continue;
    if (n < 0) return std::strerror(errno);
    if (n == 0) return "";
    for (ssize_t done = 0; done < n;) {
      const ssize_t written = ::write(to, block.data() + done, static_cast<std::size_t>(n - done));
      if (written < 0 && errno == EINTR && !platform::StopRequested()) continue;
      if (written < 0) return std::strerror(errno);
      done += written;
    }
  }
}

// The file for a name: standard input is first copied into the scratch folder as "stdin"
// (the name a compressed file then stores). "" and a `problem` when that failed.
std::string InputPath(const std::string& name, ScratchFolder& scratch, std::string& problem) {
  if (name != kStandardStream) return name;
  const std::string folder = scratch.Path(problem);
  if (folder.empty()) return "";
  const std::string path = folder + "/stdin";
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | kOpenFlags, 0600);
  if (fd < 0) {
    problem = std::strerror(errno);
    return "";
  }
  UseAsBinary(STDIN_FILENO);
  problem = CopyDescriptor(STDIN_FILENO, fd);
  if (::close(fd) != 0 && problem.empty()) problem = std::strerror(errno);
  return problem.empty() ? path : "";
}

// Shown in messages for a name that stands for a stream.
std::string Shown(const std::string& name, const char* stream) {
  return name == kStandardStream ? stream : name;
}

// The Windows path text of a host path, so that the engine stores only the file's name.
std::optional<std::string> WindowsPathOf(const std::string& host_path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(host_path, error);
  if (error) return std::nullopt;
  return platform::ToWindowsPath(absolute.lexically_normal().string());
}

// The system's reason when `path` names no readable file exactly (the engine ignores case).
std::string ExactFileProblem(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::strerror(errno);
  if (S_ISDIR(st.st_mode)) return std::strerror(EISDIR);
  return "";
}

// The destination, written under a temporary name beside it and renamed by Commit: a
// failure or an interrupt leaves an existing file as it was.
class StagedOutput {
 public:
  // A dest of "-" is standard output: staged in the scratch folder, then copied out.
  StagedOutput(std::string dest, ScratchFolder& scratch)
      : dest_(std::move(dest)), scratch_(scratch) {}
  ~StagedOutput() {
    if (!temp_.empty()) ::unlink(temp_.c_str());
  }
  StagedOutput(const StagedOutput&) = delete;
  StagedOutput& operator=(const StagedOutput&) = delete;

  // Makes the temporary file; the system's reason when it cannot, else "".
  std::string Create() {
    std::string problem;
    const std::filesystem::path dest =
        dest_ == kStandardStream ? scratch_.Path(problem) + "/stdout" : dest_;
    if (!problem.empty()) return problem;
    std::string pattern =
        (dest.parent_path() / ("." + dest.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) return std::strerror(errno);
#ifndef _WIN32  // Windows files have no permission bits
    // The permissions a newly created file would have, not mkstemp's 0600.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
#endif
    ::close(fd);
    temp_ = pattern;
    return "";
  }
  const std::string& TempPath() const { return temp_; }
  // The system's reason when the rename failed, else "".
  std::string Commit() {
    if (dest_ == kStandardStream) {
      const int fd = ::open(temp_.c_str(), O_RDONLY | kOpenFlags);
      if (fd < 0) return std::strerror(errno);
      std::fflush(stdout);
      UseAsBinary(STDOUT_FILENO);
      const std::string problem = CopyDescriptor(fd, STDOUT_FILENO);
      ::close(fd);
      return problem;
    }
    // Replaces an existing file on Windows too, where rename() refuses to.
    std::error_code error;
    std::filesystem::rename(temp_, dest_, error);
    if (error) return error.message();
    temp_.clear();
    return "";
  }

 private:
  std::string dest_;
  ScratchFolder& scratch_;
  std::string temp_;
};

// Before anything is written: an exact, readable source, and a destination that is not
// the source and, without --force, does not exist.
int CheckNames(const std::string& source, const std::string& dest, bool force) {
  if (const std::string problem = ExactFileProblem(source); !problem.empty()) {
    return Fail(source, problem);
  }
  struct stat dest_st {};
  if (dest == kStandardStream || ::stat(dest.c_str(), &dest_st) != 0) return kExitOk;
  // The same file under two names (links, letter case); std::filesystem asks Windows too.
  std::error_code error;
  if (std::filesystem::equivalent(source, dest, error)) {
    return Fail(source, "source and destination are the same file");
  }
  if (S_ISDIR(dest_st.st_mode)) return Fail(dest, std::strerror(EISDIR));
  if (!force) return Fail(dest, "already exists (use --force to replace it)");
  return kExitOk;
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

// True when the file opens and does not begin with a compressed-file header.
bool IsPlainFile(const std::string& name) {
  platform::File file;
  if (platform::File::TryOpen(name, platform::OpenMode::kRead, &file) != 0) return false;
  lz::HeaderBytes header{};
  return !lz::IsCompressedFile(file, header);
}

// Compresses (in `mode`) or restores the source into the staged destination and commits it.
int Transfer(const std::string& source_name, const std::string& dest_name, bool force,
             bool compress, std::uint8_t mode) {
  const std::string source = Shown(source_name, "standard input");
  const std::string dest = Shown(dest_name, "standard output");
  Progress progress(source);
  ScratchFolder scratch;
  std::string problem;
  const std::string source_path = InputPath(source_name, scratch, problem);
  if (source_path.empty() || platform::StopRequested()) return FailUnlessStopped(source, problem);
  if (CheckNames(source_path, dest_name, force) != kExitOk) return kExitFailed;
  StagedOutput output(dest_name, scratch);
  if (problem = output.Create(); !problem.empty()) return Fail(dest, problem);
  const auto windows_source = WindowsPathOf(source_path);
  const auto windows_temp = WindowsPathOf(output.TempPath());
  if (!windows_source || !windows_temp) {
    return Fail(windows_source ? dest : source, "not on any drive");
  }
  try {
    // The engine copies a plain source as it is; the user asked for a restore, so say so.
    const bool plain = !compress && IsPlainFile(*windows_source);
    const std::int64_t result =
        compress
            ? lz::CompressFile(*windows_source, *windows_temp, nullptr, std::ref(progress), mode)
            : lz::DecompressFile(*windows_source, *windows_temp, nullptr, std::ref(progress));
    if (result < 0) return Fail(source, ResultText(result));
    if (plain) Fail(source, "not a compressed file, copied as it is");
  } catch (const std::exception& e) {
    return FailUnlessStopped(source + " -> " + dest, e.what());
  }
  if (platform::StopRequested()) return Interrupted();
  problem = output.Commit();
  return problem.empty() ? kExitOk : FailUnlessStopped(dest, problem);
}

// compress and decompress: their options, then SRC and DST.
int CompressOrDecompress(int argc, char* argv[], bool compress) {
  static const option kOptions[] = {{"force", no_argument, nullptr, 'f'},
                                    {"method", required_argument, nullptr, 'm'},
                                    {"help", no_argument, nullptr, 'h'},
                                    {nullptr, 0, nullptr, 0}};
  std::uint8_t mode = 1;
  bool force = false;
  for (int c;
       (c = ::getopt_long(argc, argv, compress ? ":fm:h" : ":fh", kOptions, nullptr)) != -1;) {
    if (c == 'f') {
      force = true;
    } else if (c == 'm' && compress && std::strcmp(optarg, "lzss") == 0) {
      mode = 1;
    } else if (c == 'm' && compress && std::strcmp(optarg, "lzh") == 0) {
      mode = 2;
    } else if (c == 'm' && compress) {
      std::fprintf(stderr, "lzz: unknown method %s\n", optarg);
      return Usage();
    } else if (c == 'h') {
      return Help();
    } else {
      return BadOption(argv, c == 'm' ? '?' : c);  // --method belongs to compress
    }
  }
  // The names after the options; "-" and anything after "--" are names.
  const std::vector<std::string> names(argv + optind, argv + argc);
  if (names.size() != 2) return Usage();
  // Compressed data is of no use on a screen and may upset the terminal.
  if (compress && names[1] == kStandardStream && ::isatty(STDOUT_FILENO) == 1 && !force) {
    return Fail("standard output",
                "is a terminal: compressed data is not written to it (use --force)");
  }
  if (!compress) lz::SetVerify(true);
  return Transfer(names[0], names[1], force, compress, mode);
}

// info and verify: --help, then `one` on each FILE (the name to show, the file to read, or
// why there is none), which answers whether it went well.
template <typename One>
int EachFile(int argc, char* argv[], One one) {
  static const option kOptions[] = {{"help", no_argument, nullptr, 'h'}, {nullptr, 0, nullptr, 0}};
  for (int c; (c = ::getopt_long(argc, argv, ":h", kOptions, nullptr)) != -1;) {
    return c == 'h' ? Help() : BadOption(argv, c);
  }
  const std::vector<std::string> names(argv + optind, argv + argc);
  if (names.empty()) return Usage();
  ScratchFolder scratch;
  int status = kExitOk;
  for (const std::string& name : names) {
    std::string problem;
    const std::string path = InputPath(name, scratch, problem);
    if (problem.empty()) problem = ExactFileProblem(path);
    if (platform::StopRequested()) return Interrupted();
    if (!one(Shown(name, "standard input"), path, problem)) status = kExitFailed;
  }
  return status;
}

int Info(int argc, char* argv[]) {
  return EachFile(
      argc, argv, [](const std::string& file, const std::string& path, std::string& problem) {
        const auto name = problem.empty() ? WindowsPathOf(path) : std::nullopt;
        lz::LZFileInfo info;
        std::int32_t kind = lz::kNoSuchFile;
        try {
          if (name) kind = lz::GetFileInfo(*name, info);
        } catch (const std::exception& e) {
          problem = e.what();
        }
        if (problem.empty() && kind == lz::kNoSuchFile) {
          problem = platform::IoErrorText(platform::kFileNotFound);
        }
        if (!problem.empty()) {
          Fail(file, problem);
          return false;
        }
        if (kind == 1) {
          std::printf("%s: compressed file\n", file.c_str());
          std::printf("  stored name:       %s\n", info.name.c_str());
          std::printf("  method:            %d (%s)\n", info.method,
                      lz::MethodName(info.method).c_str());
          std::printf("  uncompressed size: %" PRId64 "\n", info.uncompressed_size);
          std::printf("  body size:         %" PRId64 "\n", info.stored_size);
        } else {
          std::printf("%s: plain file\n", file.c_str());
          std::printf("  size:              %" PRId64 "\n", info.uncompressed_size);
        }
        std::printf("  date-time:         %s\n", lz::DateTimeText(info.date_time).c_str());
        std::printf("  attributes:        %s\n", AttributesText(info.attributes).c_str());
        std::printf("  CRC-32:            %s\n", Hex32(info.crc32).c_str());
        std::printf("  version:           %s\n", info.version.c_str());
        return true;
      });
}

// One line per file; the reason of a failure is part of it.
int Verify(int argc, char* argv[]) {
  int files = 0;
  int failed = 0;
  const int status = EachFile(
      argc, argv, [&](const std::string& file, const std::string& path, std::string& problem) {
        ++files;
        lz::CheckResult check;
        const auto name = WindowsPathOf(path);
        try {
          if (!problem.empty()) {
            // The system's reason stands.
          } else if (!name) {
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
        return problem.empty();
      });
  if (status == kExitFailed) {
    std::fprintf(stderr, "lzz: %d of %d files failed verification\n", failed, files);
  }
  return status;
}

int Run(int argc, char* argv[]) {
  static const option kOptions[] = {{"help", no_argument, nullptr, 'h'},
                                    {"version", no_argument, nullptr, 'V'},
                                    {nullptr, 0, nullptr, 0}};
  opterr = 0;  // lzz words its own complaints
  // "+": the options before the command are lzz's own; the command's follow it.
  for (int c; (c = ::getopt_long(argc, argv, "+:hV", kOptions, nullptr)) != -1;) {
    if (c == 'h') return Help();
    if (c == 'V') {
      std::fputs(kVersion, stdout);
      return kExitOk;
    }
    return BadOption(argv, c);
  }
  if (optind >= argc) return Usage();
  const std::string command = argv[optind];
  char** command_argv = argv + optind;
  const int command_argc = argc - optind;
  optind = 0;  // getopt_long starts again on the command's own arguments

  lz::EngineStartup();
  platform::CatchInterrupts();
  if (command == "compress") return CompressOrDecompress(command_argc, command_argv, true);
  if (command == "decompress") return CompressOrDecompress(command_argc, command_argv, false);
  if (command == "info") return Info(command_argc, command_argv);
  if (command == "verify") return Verify(command_argc, command_argv);
  std::fprintf(stderr, "lzz: unknown command %s\n", command.c_str());
  return Usage();
}

}  // namespace

int main(int argc, char* argv[]) {
  const int status = Run(argc, argv);
  // What could not be written to standard output (a full disk, a closed pipe) is a failure.
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "lzz: standard output: %s\n", std::strerror(errno));
    return status == kExitOk ? kExitFailed : status;
  }
  return status;
}
