#include "platform/version_resource.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/win32/win32_internal.h"

namespace platform {

std::vector<std::uint8_t> ReadVersionResource(const std::string& path) {
  std::optional<detail::SystemPath> system = detail::SystemPathOf(path);
  if (!system) return {};
  // The system is asked only about an image the PE reader finds a well-formed version
  // resource in: Wine's reader follows a damaged image's offsets outside the file and
  // ends the process.
  if (ReadVersionResourceFromImage(path).empty()) return {};
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(system->wide.c_str(), &ignored);
  if (size == 0) return {};
  std::vector<std::uint8_t> resource(size);
  if (!::GetFileVersionInfoW(system->wide.c_str(), 0, size, resource.data())) return {};
  return resource;
}

namespace {

// The value's address and length (bytes for binary values, UTF-16 units for texts, as
// VerQueryValueW counts them); nullopt when absent.
std::optional<std::pair<const std::uint8_t*, UINT>> Query(const std::vector<std::uint8_t>& resource,
                                                          const std::string& sub_block) {
  if (resource.empty()) return std::nullopt;
  const std::wstring wide = detail::WideFromAnsi(sub_block);
  void* value = nullptr;
  UINT length = 0;
  // VerQueryValueW only reads the block it is given; its type says void*, not const.
  void* block = const_cast<std::uint8_t*>(resource.data());
  if (!::VerQueryValueW(block, wide.c_str(), &value, &length) || value == nullptr) {
    return std::nullopt;
  }
  const auto* begin = static_cast<const std::uint8_t*>(value);
  const std::uint8_t* end = resource.data() + resource.size();
  // A value must lie inside the block it was found in.
  if (begin < resource.data() || begin > end) return std::nullopt;
  return std::make_pair(begin, length);
}

}  // namespace

std::optional<std::vector<std::uint8_t>> QueryVersionValue(
    const std::vector<std::uint8_t>& resource, const std::string& sub_block) {
  auto found = Query(resource, sub_block);
  if (!found) return std::nullopt;
  const auto [begin, length] = *found;
  const std::size_t available = static_cast<std::size_t>(resource.data() + resource.size() - begin);
  return std::vector<std::uint8_t>(begin, begin + std::min<std::size_t>(length, available));
}

std::optional<std::string> QueryVersionText(const std::vector<std::uint8_t>& resource,
                                            const std::string& sub_block) {
  auto found = Query(resource, sub_block);
  if (!found) return std::nullopt;
  const auto [begin, length] = *found;
  const std::size_t available =
      static_cast<std::size_t>(resource.data() + resource.size() - begin) / sizeof(wchar_t);
  std::wstring text(std::min<std::size_t>(length, available), L'\0');
  std::memcpy(text.data(), begin, text.size() * sizeof(wchar_t));
  const std::size_t nul = text.find(L'\0');
  if (nul != std::wstring::npos) text.resize(nul);
  return detail::AnsiFromWide(text);
}

}  // namespace platform
