#include "platform/version_resource.h"

#include <algorithm>
#include <cstring>

#include "platform/win32/win32_internal.h"

namespace platform {

std::vector<std::uint8_t> ReadVersionResource(const std::string& path) {
  std::optional<detail::SystemPath> system = detail::SystemPathOf(path);
  // Only an image the PE reader finds a well-formed resource in: Wine's reader follows a
  // damaged image's offsets outside the file and ends the process.
  if (!system || ReadVersionResourceFromImage(path).empty()) return {};
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(system->wide.c_str(), &ignored);
  if (size == 0) return {};
  std::vector<std::uint8_t> resource(size);
  if (!::GetFileVersionInfoW(system->wide.c_str(), 0, size, resource.data())) return {};
  return resource;
}

namespace {

// The value's bytes, `unit` bytes for each that VerQueryValueW counts (texts count UTF-16
// units), held to the block; nullopt when absent.
std::optional<std::vector<std::uint8_t>> Query(const std::vector<std::uint8_t>& resource,
                                               const std::string& sub_block, std::size_t unit) {
  if (resource.empty()) return std::nullopt;
  void* value = nullptr;
  UINT length = 0;
  // VerQueryValueW only reads the block it is given; its type says void*, not const.
  void* block = const_cast<std::uint8_t*>(resource.data());
  if (!::VerQueryValueW(block, WideFromAnsi(sub_block).c_str(), &value, &length) ||
      value == nullptr) {
    return std::nullopt;
  }
  const auto* begin = static_cast<const std::uint8_t*>(value);
  const std::uint8_t* end = resource.data() + resource.size();
  if (begin < resource.data() || begin > end) return std::nullopt;  // not inside the block
  const std::size_t units =
      std::min<std::size_t>(length, static_cast<std::size_t>(end - begin) / unit);
  return std::vector<std::uint8_t>(begin, begin + units * unit);
}

}  // namespace

std::optional<std::vector<std::uint8_t>> QueryVersionValue(
    const std::vector<std::uint8_t>& resource, const std::string& sub_block) {
  return Query(resource, sub_block, 1);
}

std::optional<std::string> QueryVersionText(const std::vector<std::uint8_t>& resource,
                                            const std::string& sub_block) {
  const auto bytes = Query(resource, sub_block, sizeof(wchar_t));
  if (!bytes) return std::nullopt;
  std::wstring text(bytes->size() / sizeof(wchar_t), L'\0');
  std::memcpy(text.data(), bytes->data(), bytes->size());
  text.resize(std::min(text.find(L'\0'), text.size()));
  return AnsiFromWide(text);
}

}  // namespace platform
