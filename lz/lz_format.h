// The compressed file (docs/format.md): a 257-byte header, then the body to the end of the
// file. Numbers are little-endian; a text is a length byte, its bytes, then zeros.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace lz {

// Offset of each field, in file order; bytes 9, 10 and 174 to 256 are zero.
inline constexpr char kSignature[] = "aQuarnM#";  // at 0, as a text
inline constexpr std::size_t kSignatureLength = 8;
inline constexpr std::size_t kUncompressedAt = 11;  // i32
inline constexpr std::size_t kBodySizeAt = 15;      // i32; stays 0 if the writing stopped
inline constexpr std::size_t kDateTimeAt = 19;      // u32: last-write time, local, DOS packed
inline constexpr std::size_t kAttributesAt = 23;    // u32
inline constexpr std::size_t kCrcAt = 27;           // u32: CRC-32 (zlib's) of the source
inline constexpr std::size_t kVersionAt = 31;       // text: file version, "0" when none
inline constexpr std::size_t kMaxVersionText = 8;
inline constexpr std::size_t kNameAt = 40;  // text, never empty: the name without folder
inline constexpr std::size_t kMaxStoredName = 128;
inline constexpr std::size_t kReservedAt = 169;  // u32: written 0, carried on reading
inline constexpr std::size_t kMethodAt = 173;    // u8: the body's coder, below
inline constexpr std::size_t kHeaderSize = 257;  // the body: the coder's stream, unframed

// Method bytes. Any other value is decoded as LZSS.
inline constexpr std::uint8_t kMethodLzssMode0 = 2;  // LZSS, written by compression mode 0
inline constexpr std::uint8_t kMethodLzss = 3;       // LZSS, mode 1: what a backup writes
inline constexpr std::uint8_t kMethodLzh = 4;        // adaptive Huffman LZ, mode 2

using HeaderBytes = std::array<std::uint8_t, kHeaderSize>;

// The header's fields; the signature and the zero bytes are implied.
struct LZHeader {
  std::int32_t uncompressed_size = 0;
  std::int32_t body_size = 0;
  std::uint32_t date_time = 0;
  std::uint32_t attributes = 0;
  std::uint32_t crc32 = 0;
  std::string version;
  std::string name;
  std::uint32_t reserved = 0;
  std::uint8_t method = kMethodLzss;
};

// Texts (and, decoding, lengths) beyond their fields are cut to them.
HeaderBytes EncodeHeader(const LZHeader& header);
LZHeader DecodeHeader(const HeaderBytes& bytes);

// A compressed file's start: 257 bytes at least, the signature, a name length not 0.
bool IsCompressedHeader(std::span<const std::uint8_t> start);

// "2003-04-05T06:07:08", or "none (0x...)" for a value that is no date.
std::string DateTimeText(std::uint32_t dos_date_time);
// "LZSS", "LZSS, mode 0", "adaptive Huffman LZ", or "unknown, decoded as LZSS".
std::string MethodName(std::uint8_t method);

}  // namespace lz
