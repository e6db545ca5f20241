#include "lz/lz_support.h"

#include <zlib.h>

#include <array>
#include <cstdio>
#include <utility>
#include <vector>

#include "lz/lz_format.h"
#include "lz/per_thread.h"
#include "lz/work_areas.h"
#include "platform/files.h"
#include "platform/io_error.h"
#include "platform/version_resource.h"

namespace lz {
namespace {

constexpr std::size_t kCrcBufferSize = 64000;
constexpr std::uint32_t kDefaultTranslation = 0x04E40409;  // US English, code page 1252
constexpr std::size_t kMaxVersionString = 255;
constexpr std::size_t kWildcardBuffer = 255;

using CrcBuffers = AreaPool<std::array<std::uint8_t, kCrcBufferSize>>;
detail::PerThread<CrcBuffers> crc_buffers;

// The text as a C buffer of limited size holds it: up to a NUL, at most `limit` bytes.
std::string AsBuffer(const std::string& text, std::size_t limit) {
  return CutText(text.substr(0, text.find('\0')), limit);
}

}  // namespace

std::string CutText(const std::string& text, std::size_t limit) {
  return text.size() <= limit ? text : text.substr(0, limit);
}

std::string FileNamePart(const std::string& path) {
  const std::size_t last = path.find_last_of("\\/:");
  return last == std::string::npos ? path : path.substr(last + 1);
}

std::int64_t FileSizeOfName(const std::string& name) {
  try {
    platform::File file;
    if (platform::File::TryOpen(name, platform::OpenMode::kRead, &file) != 0) return 0;
    return file.Size();
  } catch (const platform::EInOutError&) {
    return 0;
  }
}

std::uint32_t FileDateOfName(const std::string& name) {
  try {
    platform::File file;
    if (platform::File::TryOpen(name, platform::OpenMode::kRead, &file) != 0) return 0;
    return platform::GetFileDosTime(name).value_or(kNoFileDate);
  } catch (const platform::EInOutError&) {
    return kNoFileDate;
  }
}

std::uint32_t CRC32Update(std::uint32_t crc, const void* buffer, std::uint16_t count) {
  // zlib keeps the register inverted between calls; ours is the plain register.
  return ~static_cast<std::uint32_t>(
      crc32_z(~crc & 0xFFFFFFFFu, static_cast<const Bytef*>(buffer), count));
}

std::uint32_t FileCRC32(platform::File& file) {
  file.Seek(0);
  const CrcBuffers::Lease buffer(*crc_buffers);
  std::uint32_t crc = 0xFFFFFFFFu;
  // The bytes to its end as it stands now, asked once; no read past them.
  for (std::int64_t left = file.Size() - file.Position(); left > 0;) {
    const std::size_t n = file.Read(buffer->data(), buffer->size());
    if (n == 0) break;  // the file shrank under us
    crc = CRC32Update(crc, buffer->data(), static_cast<std::uint16_t>(n));
    left -= static_cast<std::int64_t>(n);
  }
  return ~crc;
}

std::uint32_t FileCRC32(const std::string& name) {
  platform::File file;
  if (platform::File::TryOpen(name, platform::OpenMode::kRead, &file) != 0) return 0;
  const std::uint32_t crc = FileCRC32(file);
  file.Close();
  return crc;
}

std::string VersionInfoString(const std::string& name, const std::string& key) {
  const std::vector<std::uint8_t> resource = platform::ReadVersionResource(name);
  if (resource.empty()) return {};
  std::uint32_t translation = kDefaultTranslation;
  const auto value = platform::QueryVersionValue(resource, "\\VarFileInfo\\Translation");
  if (value && value->size() >= 4) {
    translation = 0;
    for (int i = 3; i >= 0; --i) translation = translation << 8 | (*value)[i];  // little-endian
  }
  char table[9];
  std::snprintf(table, sizeof table, "%4.4x%4.4x", translation & 0xFFFFu, translation >> 16);
  const auto text =
      platform::QueryVersionText(resource, std::string("\\StringFileInfo\\") + table + "\\" + key);
  return text ? CutText(*text, kMaxVersionString) : std::string();
}

bool WildcardMatch(const std::string& pattern, const std::string& name) {
  const std::string p = AsBuffer(pattern, kWildcardBuffer);
  const std::string n = AsBuffer(name, kWildcardBuffer);
  // row[j]: whether p from i on matches n from j on, for i from the end back; linear in
  // the pairs, where plain recursion on many stars takes exponential time.
  std::vector<char> row(n.size() + 1), next(n.size() + 1);
  for (std::size_t i = p.size() + 1; i-- > 0; std::swap(row, next)) {
    for (std::size_t j = n.size() + 1; j-- > 0;) {
      if (i + 1 == p.size() && p[i] == '*') {
        row[j] = true;  // a last star matches the rest, even nothing
      } else if (i == p.size() || j == n.size()) {
        row[j] = i == p.size() && j == n.size();
      } else if (p[i] == '*') {
        row[j] = next[j] || row[j + 1];
      } else {
        row[j] = (p[i] == '?' || p[i] == n[j]) && next[j + 1];
      }
    }
  }
  return next[0];
}

bool DeleteFileForced(const std::string& name) {
  if (!platform::FileExists(name)) return false;
  // A link's target keeps its attributes; a failure to clear them shows in the deletion.
  if (!platform::IsLink(name))
    static_cast<void>(platform::SetAttributes(name, platform::faArchive));
  return platform::DeleteFile(name) == 0;
}

bool IsCompressedFile(platform::File& file, HeaderBytes& header) {
  const std::int64_t position = file.Position();
  file.Seek(0);
  header.fill(0);
  const std::size_t n = file.Read(header.data(), header.size());
  file.Seek(position);
  return IsCompressedHeader(std::span(header).first(n));
}

void RaiseReadPastEnd() { throw platform::EInOutError(platform::kReadPastEnd); }

}  // namespace lz
