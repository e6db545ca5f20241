// Version resources read from the PE image: headers, sections, the resource directory (type
// RT_VERSION, name, language), data entry; every number is checked before it is used.
#include "platform/version_resource.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/ascii.h"
#include "platform/files.h"
#include "platform/io_error.h"

#ifdef _WIN32
#include "platform/win32/win32_internal.h"
#endif

namespace platform {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kRtVersion = 16;
constexpr std::uint32_t kVersionInfoId = 1;         // VS_VERSION_INFO
constexpr std::uint32_t kMaxVersionBlock = 0xFFFF;  // its length is a 16-bit field
constexpr std::size_t kBlockHeaderSize = 6;         // wLength, wValueLength, wType

std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t Le32(const std::uint8_t* p) { return Le16(p) | std::uint32_t{Le16(p + 2)} << 16; }

Bytes ReadVersionResourceOf(File& file) {
  const auto file_size = static_cast<std::uint64_t>(file.Size());
  const auto read = [&](std::uint64_t offset, std::uint64_t count) -> std::optional<Bytes> {
    if (offset > file_size || count > file_size - offset) return std::nullopt;
    Bytes bytes(static_cast<std::size_t>(count));
    file.Seek(static_cast<std::int64_t>(offset));
    if (file.Read(bytes.data(), bytes.size()) != bytes.size()) return std::nullopt;
    return bytes;
  };
  auto dos = read(0, 64);
  if (!dos || (*dos)[0] != 'M' || (*dos)[1] != 'Z') return {};
  const std::uint32_t pe_offset = Le32(dos->data() + 0x3C);
  auto coff = read(pe_offset, 24);  // "PE\0\0" and the COFF header
  if (!coff || Le32(coff->data()) != 0x00004550u) return {};
  const std::uint16_t section_count = Le16(coff->data() + 6);
  const std::uint16_t optional_size = Le16(coff->data() + 20);
  const std::uint64_t optional_offset = std::uint64_t{pe_offset} + 24;
  auto optional = read(optional_offset, optional_size);
  if (!optional || optional_size < 2) return {};
  // The count of data directories follows the PE32 or PE32+ header's fixed part.
  const std::uint16_t magic = Le16(optional->data());
  const std::size_t count_at = magic == 0x10B ? 92 : magic == 0x20B ? 108 : 0;
  if (count_at == 0 || optional_size < count_at + 4) return {};
  const std::size_t entry_at = count_at + 4 + 2 * 8;  // the resource directory's
  if (Le32(optional->data() + count_at) <= 2 || optional_size < entry_at + 8) return {};
  const std::uint32_t resource_rva = Le32(optional->data() + entry_at);
  const std::uint32_t resource_size = Le32(optional->data() + entry_at + 4);
  if (resource_rva == 0 || resource_size == 0) return {};
  auto sections = read(optional_offset + optional_size, std::uint64_t{section_count} * 40);
  if (!sections) return {};

  // The file offset of `need` bytes at an RVA, in the first section whose raw data holds
  // them, and how much of that raw data is left from there.
  const auto locate =
      [&](std::uint32_t rva,
          std::uint64_t need) -> std::optional<std::pair<std::uint64_t, std::uint64_t>> {
    for (std::size_t i = 0; i < section_count; ++i) {
      const std::uint8_t* s = sections->data() + i * 40;
      if (rva < Le32(s + 12)) continue;
      const std::uint64_t delta = rva - Le32(s + 12), raw_size = Le32(s + 16);
      if (delta + need <= raw_size) return std::pair(Le32(s + 20) + delta, raw_size - delta);
    }
    return std::nullopt;
  };
  // The directory may be shorter in the raw data than it claims; take what is there.
  const auto tree_at = locate(resource_rva, 1);
  if (!tree_at) return {};
  const std::uint64_t tree_size = std::min<std::uint64_t>(resource_size, tree_at->second);
  const auto tree = [&](std::uint64_t offset, std::uint64_t count) -> std::optional<Bytes> {
    if (offset > tree_size || count > tree_size - offset) return std::nullopt;
    return read(tree_at->first + offset, count);
  };
  // The target of the directory's first entry of the wanted kind (subdirectory or data) with
  // the first of `ids` that one has; nullopt stands for any entry.
  const auto find =
      [&](std::uint32_t directory, bool want_dir,
          std::initializer_list<std::optional<std::uint32_t>> ids) -> std::optional<std::uint32_t> {
    auto head = tree(directory, 16);
    if (!head) return std::nullopt;
    const std::uint32_t count = std::uint32_t{Le16(head->data() + 12)} + Le16(head->data() + 14);
    auto entries = tree(directory + 16, count * 8);
    if (!entries) return std::nullopt;
    for (const std::optional<std::uint32_t>& id : ids) {
      for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t* entry = entries->data() + i * 8;
        const bool is_dir = (Le32(entry + 4) & 0x80000000u) != 0;
        if (is_dir == want_dir && (!id || Le32(entry) == *id)) return Le32(entry + 4) & 0x7FFFFFFF;
      }
    }
    return std::nullopt;
  };
  const auto by_type = find(0, true, {kRtVersion});
  const auto by_name =
      by_type ? find(*by_type, true, {kVersionInfoId, std::nullopt}) : std::nullopt;
  // As the Windows loader takes one of several languages in an English (United States)
  // setting: language-neutral, else US English, else the first one listed.
  const auto data_entry_at =
      by_name ? find(*by_name, false, {0x0000, 0x0409, std::nullopt}) : std::nullopt;
  const auto data_entry = data_entry_at ? tree(*data_entry_at, 16) : std::nullopt;
  if (!data_entry) return {};
  const std::uint32_t data_size = std::min(Le32(data_entry->data() + 4), kMaxVersionBlock);
  const auto data_at =
      data_size >= kBlockHeaderSize ? locate(Le32(data_entry->data()), data_size) : std::nullopt;
  auto data = data_at ? read(data_at->first, data_size) : std::nullopt;
  return data ? std::move(*data) : Bytes{};
}

// --- VS_VERSIONINFO blocks ----------------------------------------------------------

std::size_t Align4(std::size_t offset) { return (offset + 3) & ~std::size_t{3}; }

std::string Utf8FromUtf16(const std::uint8_t* p, std::size_t units) {
  std::string out;
  for (std::size_t i = 0; i < units; ++i) {
    std::uint32_t c = Le16(p + 2 * i);
    const std::uint32_t low = i + 1 < units ? Le16(p + 2 * i + 2) : 0;
    if (c >= 0xD800 && c <= 0xDBFF && low >= 0xDC00 && low <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;  // an unpaired surrogate
    }
    int tail = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    const std::uint32_t lead = tail == 0 ? 0 : (0xFF00u >> (tail + 1)) & 0xFF;
    out += static_cast<char>(lead | (c >> (6 * tail)));
    while (tail-- > 0) out += static_cast<char>(0x80 | ((c >> (6 * tail)) & 0x3F));
  }
  return out;
}

// The program's 8-bit text: UTF-8 here, the ANSI code page on Windows.
std::string ProgramTextFromUtf16(const std::uint8_t* p, std::size_t units) {
#ifdef _WIN32
  std::wstring wide(units, L'\0');
  for (std::size_t i = 0; i < units; ++i) wide[i] = static_cast<wchar_t>(Le16(p + 2 * i));
  return AnsiFromWide(wide);
#else
  return Utf8FromUtf16(p, units);
#endif
}

// One block of the tree, as offsets within the resource.
struct Block {
  std::size_t end = 0;  // its start + wLength, held to the parent's end
  std::string key;
  std::size_t value_begin = 0, value_end = 0, children_begin = 0;
};

// The block at `offset`, which must end by `limit`; nullopt for a malformed one.
std::optional<Block> ParseBlock(const Bytes& r, std::size_t offset, std::size_t limit) {
  if (offset > limit || limit - offset < kBlockHeaderSize) return std::nullopt;
  const std::uint16_t length = Le16(&r[offset]);
  if (length < kBlockHeaderSize) return std::nullopt;
  Block b;
  b.end = std::min(limit, offset + length);
  std::size_t p = offset + kBlockHeaderSize;
  while (p + 2 <= b.end && Le16(&r[p]) != 0) p += 2;
  if (p + 2 > b.end) return std::nullopt;  // the key must end inside the block
  b.key = Utf8FromUtf16(&r[offset + kBlockHeaderSize], (p - offset - kBlockHeaderSize) / 2);
  b.value_begin = std::min(b.end, Align4(p + 2));
  // Text values (wType 1) count UTF-16 units, binary values bytes.
  const std::size_t value_bytes =
      std::size_t{Le16(&r[offset + 2])} * (Le16(&r[offset + 4]) == 1 ? 2 : 1);
  b.value_end = std::min(b.end, b.value_begin + value_bytes);
  b.children_begin = std::min(b.end, Align4(b.value_end));
  return b;
}

std::optional<Block> FindSubBlock(const Bytes& resource, const std::string& sub_block) {
  auto block = ParseBlock(resource, 0, resource.size());
  std::size_t start = 0;
  while (block && start < sub_block.size()) {
    const std::size_t stop = std::min(sub_block.find('\\', start), sub_block.size());
    const std::string_view part(sub_block.data() + start, stop - start);
    start = stop + 1;
    if (part.empty()) continue;
    std::optional<Block> child = ParseBlock(resource, block->children_begin, block->end);
    // wLength >= 6, so the walk always moves on.
    while (child && !EqualIgnoringAsciiCase(child->key, part)) {
      child = ParseBlock(resource, Align4(child->end), block->end);
    }
    block = child;
  }
  return block;
}

}  // namespace

std::vector<std::uint8_t> ReadVersionResourceFromImage(const std::string& path) {
  File file;
  if (File::TryOpen(path, OpenMode::kRead, &file) != 0) return {};
  try {
    return ReadVersionResourceOf(file);
  } catch (const EInOutError&) {
    return {};
  }
}

std::optional<std::vector<std::uint8_t>> QueryVersionBlockValue(
    const std::vector<std::uint8_t>& resource, const std::string& sub_block) {
  auto block = FindSubBlock(resource, sub_block);
  if (!block) return std::nullopt;
  return Bytes(resource.begin() + static_cast<std::ptrdiff_t>(block->value_begin),
               resource.begin() + static_cast<std::ptrdiff_t>(block->value_end));
}

std::optional<std::string> QueryVersionBlockText(const std::vector<std::uint8_t>& resource,
                                                 const std::string& sub_block) {
  auto block = FindSubBlock(resource, sub_block);
  if (!block) return std::nullopt;
  std::size_t units = 0;
  const std::size_t available = (block->value_end - block->value_begin) / 2;
  while (units < available && Le16(&resource[block->value_begin + 2 * units]) != 0) ++units;
  return ProgramTextFromUtf16(resource.data() + block->value_begin, units);
}

}  // namespace platform
