#include "lz/lz_format.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace lz {
namespace {

void PutLe32(HeaderBytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::uint32_t GetLe32(const HeaderBytes& b, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(b[at + i]) << (8 * i);
  return v;
}
void PutText(HeaderBytes& b, std::size_t at, const std::string& text, std::size_t field) {
  const std::string cut = text.substr(0, field);
  b[at] = static_cast<std::uint8_t>(cut.size());
  std::memcpy(b.data() + at + 1, cut.data(), cut.size());
}
std::string GetText(const HeaderBytes& b, std::size_t at, std::size_t field) {
  const std::size_t length = std::min<std::size_t>(b[at], field);
  return std::string(reinterpret_cast<const char*>(b.data() + at + 1), length);
}

}  // namespace

HeaderBytes EncodeHeader(const LZHeader& h) {
  HeaderBytes b{};
  b[0] = kSignatureLength;
  std::memcpy(b.data() + 1, kSignature, kSignatureLength);
  PutLe32(b, kUncompressedAt, static_cast<std::uint32_t>(h.uncompressed_size));
  PutLe32(b, kBodySizeAt, static_cast<std::uint32_t>(h.body_size));
  PutLe32(b, kDateTimeAt, h.date_time);
  PutLe32(b, kAttributesAt, h.attributes);
  PutLe32(b, kCrcAt, h.crc32);
  PutText(b, kVersionAt, h.version, kMaxVersionText);
  PutText(b, kNameAt, h.name, kMaxStoredName);
  PutLe32(b, kReservedAt, h.reserved);
  b[kMethodAt] = h.method;
  return b;
}

LZHeader DecodeHeader(const HeaderBytes& b) {
  LZHeader h;
  h.uncompressed_size = static_cast<std::int32_t>(GetLe32(b, kUncompressedAt));
  h.body_size = static_cast<std::int32_t>(GetLe32(b, kBodySizeAt));
  h.date_time = GetLe32(b, kDateTimeAt);
  h.attributes = GetLe32(b, kAttributesAt);
  h.crc32 = GetLe32(b, kCrcAt);
  h.version = GetText(b, kVersionAt, kMaxVersionText);
  h.name = GetText(b, kNameAt, kMaxStoredName);
  h.reserved = GetLe32(b, kReservedAt);
  h.method = b[kMethodAt];
  return h;
}

bool IsCompressedHeader(std::span<const std::uint8_t> start) {
  return start.size() >= kHeaderSize && start[kNameAt] != 0 && start[0] == kSignatureLength &&
         std::memcmp(start.data() + 1, kSignature, kSignatureLength) == 0;
}

std::string DateTimeText(std::uint32_t t) {
  const unsigned year = 1980 + (t >> 25), month = (t >> 21) & 15, day = (t >> 16) & 31;
  const unsigned hour = (t >> 11) & 31, minute = (t >> 5) & 63, second = (t & 31) * 2;
  char text[64];
  if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59) {
    std::snprintf(text, sizeof text, "none (0x%08" PRIx32 ")", t);
  } else {
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u", year, month, day, hour,
                  minute, second);
  }
  return text;
}

std::string MethodName(std::uint8_t method) {
  switch (method) {
    case kMethodLzssMode0:
      return "LZSS, mode 0";
    case kMethodLzss:
      return "LZSS";
    case kMethodLzh:
      return "adaptive Huffman LZ";
    default:
      return "unknown, decoded as LZSS";
  }
}

}  // namespace lz
