// VersionInfoString of an arbitrary file, and the version-block lookup of arbitrary bytes:
// texts of at most 255 bytes, never a read outside the data.
#include "fuzz/fuzz_support.h"
#include "lz/lz_support.h"
#include "platform/version_resource.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string name = fuzz::WriteScratchFile("prog.exe", {data, size});
  fuzz::Check(lz::VersionInfoString(name, "FileVersion").size() <= 255, "version text length");
  fuzz::Check(lz::VersionInfoString(name, "ProductName").size() <= 255, "version text length");

  const std::vector<std::uint8_t> block(data, data + size);
  platform::QueryVersionBlockValue(block, "\\VarFileInfo\\Translation");
  platform::QueryVersionBlockText(block, "\\StringFileInfo\\040904e4\\FileVersion");
  return 0;
}
