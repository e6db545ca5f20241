// The compressed file: a 257-byte header, then the body to the end of the file. One
// compressed file holds one source file. The constants below are the layout, the one
// statement of it in code; docs/format.md tells it to readers of the files, together with
// the bodies' streams.
//
// Numbers are little-endian. A text is a length byte, then its bytes, then zeros to the
// end of its field.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace lz {

// Offset of each field, in file order.
//   0: the signature, a text: the bytes 08 61 51 75 61 72 6E 4D 23
inline constexpr char kSignature[] = "aQuarnM#";
inline constexpr std::size_t kSignatureLength = 8;
//   9, 10: zero
inline constexpr std::size_t kUncompressedAt = 11;  // i32: the source's size in bytes
inline constexpr std::size_t kBodySizeAt = 15;      // i32: bytes after the header; stays 0
                                                    //   in a file whose writing stopped
inline constexpr std::size_t kDateTimeAt = 19;      // u32: the source's last-write time,
                                                    //   local, DOS packed (DateTimeText)
inline constexpr std::size_t kAttributesAt = 23;    // u32: the source's attribute bits
inline constexpr std::size_t kCrcAt = 27;           // u32: CRC-32 (zlib's) of the source
inline constexpr std::size_t kVersionAt = 31;       // text of kMaxVersionText: the source's
inline constexpr std::size_t kMaxVersionText = 8;   //   file version, "0" when it has none
inline constexpr std::size_t kNameAt = 40;          // text of kMaxStoredName, never empty:
inline constexpr std::size_t kMaxStoredName = 128;  //   the source's name without folder
inline constexpr std::size_t kReservedAt = 169;     // u32: written 0, carried on reading
inline constexpr std::size_t kMethodAt = 173;       // u8: the body's coder, below
//   174 to 256: zero
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

// Texts longer than their fields are cut on encoding; lengths beyond a field (a damaged
// header) are cut to it on decoding, so decoding never reads outside the 257 bytes.
HeaderBytes EncodeHeader(const LZHeader& header);
LZHeader DecodeHeader(const HeaderBytes& bytes);

// True when a file that begins with these bytes is a compressed file: 257 bytes at least,
// the signature, a name length that is not 0. Nothing else is looked at; anything else is
// plain data to the engine.
bool IsCompressedHeader(std::span<const std::uint8_t> start);

// The header's DOS date-time as "2003-04-05T06:07:08", or "none (0x...)" for a value
// that is no date.
std::string DateTimeText(std::uint32_t dos_date_time);
// What a method byte means: "LZSS", "LZSS, mode 0", "adaptive Huffman LZ", or "unknown,
// decoded as LZSS".
std::string MethodName(std::uint8_t method);

}  // namespace lz
