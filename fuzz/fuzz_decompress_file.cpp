// GetFileInfo and DecompressFile of an arbitrary file: a record and a result or an engine
// error, never a crash; the result is what was written.
#include <filesystem>

#include "fuzz/fuzz_support.h"
#include "lz/lz_file.h"
#include "lz/lzh.h"
#include "platform/files.h"
#include "platform/io_error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string source = fuzz::WriteScratchFile("in.lzz", {data, size});
  lz::LZFileInfo info;
  const std::int32_t kind = lz::GetFileInfo(source, info);
  fuzz::Check(kind == 0 || kind == 1, "GetFileInfo of an existing file");
  fuzz::Check(info.name.size() <= 255 && info.version.size() <= 8, "record's texts");
  fuzz::Check(kind == 0 || info.name.size() <= 128, "stored name");

  // The length decides whether the restored file is checked, so both paths are taken.
  lz::SetVerify(size % 2 == 1);
  const std::int64_t result = lz::DecompressFile(source, "C:\\out.dat", nullptr, nullptr);
  const auto written = platform::GetFileSize("C:\\out.dat");
  fuzz::Check(written.has_value(), "destination written");
  if (result >= 0) {
    fuzz::Check(result == *written, "result is the size written");
  } else {
    fuzz::Check(result == lz::kLzhInputEnded || result == lz::kCrcMismatch, "result code");
  }
  fuzz::Check(kind == 1 || result == static_cast<std::int64_t>(size), "plain file copied");
  return 0;
}
