#include "fuzz/fuzz_support.h"

#ifndef _WIN32
#include <stdlib.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "lz/lz_file.h"
#include "lz/lz_testing.h"
#include "lz/lzh.h"
#include "lz/lzss.h"
#include "platform/drives.h"
#include "tests/scratch_folder.h"

namespace fuzz {

namespace {

// Every run of a target keeps the engine's work areas and buffers for the next one: a run
// takes a fraction of the time it took to acquire and free them.
[[maybe_unused]] const bool kKeepingWorkAreas = [] {
  lz::KeepWorkAreas(true);
  return true;
}();

// The memory a coder run reads from and writes to. The hooks see it through this one
// variable, so that installing them allocates nothing.
struct MemoryRun {
  std::span<const std::uint8_t> input;
  std::size_t read_at = 0;
  std::size_t written = 0;
  Bytes* keep = nullptr;

  std::size_t Read(std::uint8_t* buffer, std::size_t count) {
    const std::size_t n = std::min(count, input.size() - read_at);
    if (n > 0) std::memcpy(buffer, input.data() + read_at, n);
    read_at += n;
    return n;
  }
  void Write(const std::uint8_t* data, std::size_t count) {
    if (keep) keep->insert(keep->end(), data, data + count);
    written += count;
  }
};
MemoryRun g_run;

void StartRun(std::span<const std::uint8_t> input, Bytes* keep) {
  g_run = MemoryRun{input, 0, 0, keep};
  if (keep) keep->clear();
}

}  // namespace

std::size_t LzssRun(bool encode, std::span<const std::uint8_t> input, Bytes* keep) {
  StartRun(input, keep);
  lz::SetBlockHooks(
      [](std::span<std::uint8_t> block) {
        return static_cast<std::uint32_t>(g_run.Read(block.data(), block.size()));
      },
      [](std::span<const std::uint8_t> bytes) {
        g_run.Write(bytes.data(), bytes.size());
        return static_cast<std::uint32_t>(bytes.size());
      });
  Check(lz::LZBegin(1), "LZBegin(1)");
  Check(encode ? lz::LzssPrepareEncode() : lz::LzssPrepareDecode(), "LzssPrepare");
  encode ? lz::LzssEncode() : lz::LzssDecode();
  lz::LZEnd();
  return g_run.written;
}

std::int64_t LzhRun(bool encode, std::span<const std::uint8_t> input, Bytes* keep) {
  StartRun(input, keep);
  static const lz::LzhStreams io{
      [](std::uint8_t* buffer, std::size_t count) { return g_run.Read(buffer, count); },
      [](const std::uint8_t* data, std::size_t count) { g_run.Write(data, count); }};
  Check(lz::LZBegin(2), "LZBegin(2)");
  const std::int64_t result = encode ? lz::LzhEncode(io) : lz::LzhDecode(io);
  lz::LZEnd();
  return result;
}

namespace {

// Made on first use, removed when the process ends.
struct Scratch {
  Scratch() {
#ifdef _WIN32
    folder = MakeScratchFolder("varn-fuzz-");
#else
    // In memory where there is a /dev/shm: the targets write a file per input.
    std::filesystem::path base = std::filesystem::temp_directory_path();
    if (::access("/dev/shm", W_OK) == 0) base = "/dev/shm";
    std::string pattern = (base / "varn-fuzz-XXXXXX").string();
    Check(::mkdtemp(pattern.data()) != nullptr, "scratch folder");
    folder = pattern;
#endif
    platform::InstallDriveTableForTests({{'C', folder.string()}});
    lz::EngineStartup();
  }
  ~Scratch() {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }
  std::filesystem::path folder;
};

const std::filesystem::path& ScratchFolder() {
  static const Scratch scratch;
  return scratch.folder;
}

}  // namespace

std::string WriteScratchFile(const std::string& name, std::span<const std::uint8_t> bytes) {
  const std::filesystem::path host = ScratchFolder() / name;
  std::error_code ignored;
  std::filesystem::permissions(host, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::ofstream out(host, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.close();
  Check(static_cast<bool>(out), "writing a scratch file");
  return "C:\\" + name;
}

void Check(bool property, const char* what) {
  if (!property) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
  }
}

}  // namespace fuzz
