// Version resources read from the PE image: headers, sections, the resource directory (type
// RT_VERSION, name, language), data entry; every number is checked before it is used.
#include "platform/version_resource.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ascii.h"
#include "platform/files.h"
#include "platform/io_error.h"

#ifdef _WIN32
#include "platform/win32/win32_internal.h"
#endif

namespace platform {
namespace {

constexpr std::uint32_t kRtVersion = 16;
constexpr std::uint32_t kResourceDirectoryIndex = 2;
constexpr std::uint32_t kPreferredVersionId = 1;                   // VS_VERSION_INFO
constexpr std::uint32_t kPreferredLanguages[] = {0x0000, 0x0409};  // neutral, en-US
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::size_t kCoffHeaderSize = 20;
// A VS_VERSIONINFO block states its length in 16 bits, so nothing beyond that is read.
constexpr std::uint32_t kMaxVersionBlock = 0xFFFF;
constexpr std::size_t kBlockHeaderSize = 6;  // wLength, wValueLength, wType

std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t Le32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// Reads byte ranges of one open file; a range that leaves the file gives nullopt.
class RangeReader {
 public:
  explicit RangeReader(File& file) : file_(file), size_(static_cast<std::uint64_t>(file.Size())) {}

  std::optional<std::vector<std::uint8_t>> Read(std::uint64_t offset, std::uint64_t count) {
    if (offset > size_ || count > size_ - offset) return std::nullopt;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count));
    file_.Seek(static_cast<std::int64_t>(offset));
    if (file_.Read(bytes.data(), bytes.size()) != bytes.size()) return std::nullopt;
    return bytes;
  }

 private:
  File& file_;
  std::uint64_t size_;
};

struct Section {
  std::uint32_t virtual_address;
  std::uint32_t virtual_size;
  std::uint32_t raw_size;
  std::uint32_t raw_offset;
};

// File offset of `count` bytes at an RVA, when one section's raw data holds them all.
std::optional<std::uint64_t> FileOffsetOf(const std::vector<Section>& sections, std::uint32_t rva,
                                          std::uint32_t count) {
  for (const Section& s : sections) {
    if (rva < s.virtual_address) continue;
    const std::uint64_t delta = rva - s.virtual_address;
    if (delta + count <= s.raw_size) return std::uint64_t{s.raw_offset} + delta;
  }
  return std::nullopt;
}

// The resource section as seen from its directory: entries are offsets into it.
class ResourceTree {
 public:
  ResourceTree(RangeReader& reader, std::uint64_t base, std::uint32_t size)
      : reader_(reader), base_(base), size_(size) {}

  // Offset (within the tree) of an entry's target: a subdirectory when `want_dir`, else
  // a data entry. The entry with the numeric ID `id` wins; failing that, unless
  // `exact`, the first entry of the wanted kind.
  std::optional<std::uint32_t> Find(std::uint32_t directory, std::optional<std::uint32_t> id,
                                    bool exact, bool want_dir) {
    auto head = Bytes(directory, 16);
    if (!head) return std::nullopt;
    const std::uint32_t count = std::uint32_t{Le16(head->data() + 12)} + Le16(head->data() + 14);
    auto entries = Bytes(directory + 16, count * 8);
    if (!entries) return std::nullopt;
    std::optional<std::uint32_t> chosen;
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::uint32_t name = Le32(entries->data() + i * 8);
      const std::uint32_t target = Le32(entries->data() + i * 8 + 4);
      const bool is_dir = (target & 0x80000000u) != 0;
      if (is_dir != want_dir) continue;
      const bool named = (name & 0x80000000u) != 0;
      if (id && !named && name == *id) return target & 0x7FFFFFFFu;
      if (!exact && !chosen) chosen = target & 0x7FFFFFFFu;
    }
    return chosen;
  }

  std::optional<std::vector<std::uint8_t>> Bytes(std::uint64_t offset, std::uint64_t count) {
    if (offset > size_ || count > size_ - offset) return std::nullopt;
    return reader_.Read(base_ + offset, count);
  }

 private:
  RangeReader& reader_;
  std::uint64_t base_;
  std::uint64_t size_;
};

std::vector<std::uint8_t> ReadVersionResourceOf(File& file) {
  RangeReader reader(file);
  auto dos = reader.Read(0, 64);
  if (!dos || (*dos)[0] != 'M' || (*dos)[1] != 'Z') return {};
  const std::uint32_t pe_offset = Le32(dos->data() + 0x3C);
  auto coff = reader.Read(pe_offset, 4 + kCoffHeaderSize);
  if (!coff || Le32(coff->data()) != 0x00004550u) return {};  // "PE\0\0"
  const std::uint16_t section_count = Le16(coff->data() + 4 + 2);
  const std::uint16_t optional_size = Le16(coff->data() + 4 + 16);
  const std::uint64_t optional_offset = std::uint64_t{pe_offset} + 4 + kCoffHeaderSize;
  auto optional = reader.Read(optional_offset, optional_size);
  if (!optional || optional_size < 2) return {};

  std::size_t count_at = 0;
  switch (Le16(optional->data())) {
    case 0x10B:
      count_at = 92;
      break;  // PE32
    case 0x20B:
      count_at = 108;
      break;  // PE32+
    default:
      return {};
  }
  if (optional_size < count_at + 4) return {};
  const std::uint32_t directory_count = Le32(optional->data() + count_at);
  const std::size_t entry_at = count_at + 4 + kResourceDirectoryIndex * 8;
  if (directory_count <= kResourceDirectoryIndex || optional_size < entry_at + 8) return {};
  const std::uint32_t resource_rva = Le32(optional->data() + entry_at);
  const std::uint32_t resource_size = Le32(optional->data() + entry_at + 4);
  if (resource_rva == 0 || resource_size == 0) return {};

  auto table = reader.Read(optional_offset + optional_size,
                           std::uint64_t{section_count} * kSectionHeaderSize);
  if (!table) return {};
  std::vector<Section> sections;
  for (std::size_t i = 0; i < section_count; ++i) {
    const std::uint8_t* s = table->data() + i * kSectionHeaderSize;
    sections.push_back({Le32(s + 12), Le32(s + 8), Le32(s + 16), Le32(s + 20)});
  }

  // The directory may be shorter in the raw data than it claims; take what is there.
  std::optional<std::uint64_t> tree_offset;
  std::uint32_t tree_size = resource_size;
  for (const Section& s : sections) {
    if (resource_rva < s.virtual_address) continue;
    const std::uint64_t delta = resource_rva - s.virtual_address;
    if (delta >= s.raw_size) continue;
    tree_offset = std::uint64_t{s.raw_offset} + delta;
    tree_size = static_cast<std::uint32_t>(std::min<std::uint64_t>(tree_size, s.raw_size - delta));
    break;
  }
  if (!tree_offset) return {};
  ResourceTree tree(reader, *tree_offset, tree_size);

  auto by_type = tree.Find(0, kRtVersion, true, true);
  if (!by_type) return {};
  auto by_name = tree.Find(*by_type, kPreferredVersionId, false, true);
  if (!by_name) return {};
  // A resource in several languages: the one the Windows loader takes in an English
  // (United States) setting, language-neutral first, else the first one listed.
  std::optional<std::uint32_t> data_entry_at;
  for (const std::uint32_t language : kPreferredLanguages) {
    if (!data_entry_at) data_entry_at = tree.Find(*by_name, language, true, false);
  }
  if (!data_entry_at) data_entry_at = tree.Find(*by_name, std::nullopt, false, false);
  if (!data_entry_at) return {};
  auto data_entry = tree.Bytes(*data_entry_at, 16);
  if (!data_entry) return {};
  const std::uint32_t data_rva = Le32(data_entry->data());
  const std::uint32_t data_size = std::min(Le32(data_entry->data() + 4), kMaxVersionBlock);
  if (data_size < kBlockHeaderSize) return {};
  auto data_offset = FileOffsetOf(sections, data_rva, data_size);
  if (!data_offset) return {};
  auto data = reader.Read(*data_offset, data_size);
  return data ? std::move(*data) : std::vector<std::uint8_t>{};
}

// --- VS_VERSIONINFO blocks ----------------------------------------------------------

std::size_t Align4(std::size_t offset) { return (offset + 3) & ~std::size_t{3}; }

std::string Utf8FromUtf16(const std::uint8_t* p, std::size_t units) {
  std::string out;
  for (std::size_t i = 0; i < units; ++i) {
    std::uint32_t c = Le16(p + 2 * i);
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units) {
      const std::uint32_t low = Le16(p + 2 * (i + 1));
      if (low >= 0xDC00 && low <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      }
    }
    if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;  // an unpaired surrogate
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// The program's 8-bit text: UTF-8 here, the ANSI code page on Windows.
std::string ProgramTextFromUtf16(const std::uint8_t* p, std::size_t units) {
#ifdef _WIN32
  std::wstring wide(units, L'\0');
  for (std::size_t i = 0; i < units; ++i) wide[i] = static_cast<wchar_t>(Le16(p + 2 * i));
  return detail::AnsiFromWide(wide);
#else
  return Utf8FromUtf16(p, units);
#endif
}

// One block of the tree, all offsets within the resource buffer.
struct Block {
  std::size_t begin = 0;
  std::size_t end = 0;  // begin + wLength, held to the parent's end
  std::string key;
  bool text = false;
  std::size_t value_begin = 0;
  std::size_t value_end = 0;
  std::size_t children_begin = 0;
};

// The block at `offset`, which must end by `limit`; nullopt for a malformed one.
std::optional<Block> ParseBlock(const std::vector<std::uint8_t>& r, std::size_t offset,
                                std::size_t limit) {
  if (offset > limit || limit - offset < kBlockHeaderSize) return std::nullopt;
  const std::uint16_t length = Le16(&r[offset]);
  const std::uint16_t value_length = Le16(&r[offset + 2]);
  const std::uint16_t type = Le16(&r[offset + 4]);
  if (length < kBlockHeaderSize) return std::nullopt;
  Block b;
  b.begin = offset;
  b.end = std::min(limit, offset + length);
  b.text = type == 1;
  std::size_t p = offset + kBlockHeaderSize;
  std::size_t units = 0;
  while (true) {
    if (p + 2 > b.end) return std::nullopt;  // the key must end inside the block
    if (Le16(&r[p]) == 0) break;
    p += 2;
    ++units;
  }
  b.key = Utf8FromUtf16(&r[offset + kBlockHeaderSize], units);
  b.value_begin = std::min(b.end, Align4(p + 2));
  // Text values count UTF-16 units, binary values bytes.
  const std::size_t value_bytes = b.text ? std::size_t{value_length} * 2 : value_length;
  b.value_end = std::min(b.end, b.value_begin + value_bytes);
  b.children_begin = std::min(b.end, Align4(b.value_end));
  return b;
}

std::optional<Block> FindSubBlock(const std::vector<std::uint8_t>& resource,
                                  const std::string& sub_block) {
  auto block = ParseBlock(resource, 0, resource.size());
  if (!block) return std::nullopt;
  std::size_t start = 0;
  while (start < sub_block.size()) {
    std::size_t stop = sub_block.find_first_of("\\", start);
    if (stop == std::string::npos) stop = sub_block.size();
    const std::string_view part(sub_block.data() + start, stop - start);
    start = stop + 1;
    if (part.empty()) continue;
    std::optional<Block> found;
    std::size_t child = block->children_begin;
    while (!found) {
      auto next = ParseBlock(resource, child, block->end);
      if (!next) return std::nullopt;
      if (EqualIgnoringAsciiCase(next->key, part)) found = next;
      child = Align4(next->end);  // wLength >= 6, so the walk always moves on
    }
    block = found;
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
  return std::vector<std::uint8_t>(
      resource.begin() + static_cast<std::ptrdiff_t>(block->value_begin),
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

#ifndef _WIN32
std::vector<std::uint8_t> ReadVersionResource(const std::string& path) {
  return ReadVersionResourceFromImage(path);
}

std::optional<std::vector<std::uint8_t>> QueryVersionValue(
    const std::vector<std::uint8_t>& resource, const std::string& sub_block) {
  return QueryVersionBlockValue(resource, sub_block);
}

std::optional<std::string> QueryVersionText(const std::vector<std::uint8_t>& resource,
                                            const std::string& sub_block) {
  return QueryVersionBlockText(resource, sub_block);
}
#endif

}  // namespace platform
