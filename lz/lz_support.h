// Small file, text and error routines of the engine, and its CRC-32. None holds a file
// open on return.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "lz/lz_format.h"

namespace platform {
class File;
}

namespace lz {

// Longest file name the engine keeps; longer names are cut to it.
inline constexpr std::size_t kMaxNameLength = 255;
// FileDateOfName's answer when the file opened but its time could not be read.
inline constexpr std::uint32_t kNoFileDate = 0xFFFFFFFFu;

// Size of the file in bytes; 0 when it does not exist or cannot be opened. Never throws.
std::int64_t FileSizeOfName(const std::string& name);

// Last-write time, local, DOS packed, held to the DOS range (a time no file can be given
// would leave the restored file with the time of the restore); 0 when the file does not
// open, kNoFileDate when its time cannot be read. Never throws.
std::uint32_t FileDateOfName(const std::string& name);

// Folds bytes into a CRC-32 register that starts at 0xFFFFFFFF and is inverted at the end.
std::uint32_t CRC32Update(std::uint32_t crc, const void* buffer, std::uint16_t count);

// CRC-32 of the whole file from its start, read in 64,000-byte blocks; 0 for an empty file
// or one that does not open. A read or close error after the open raises EInOutError. An
// open file stays open.
std::uint32_t FileCRC32(const std::string& name);
std::uint32_t FileCRC32(platform::File& file);

// The text of `key` (say "FileVersion") in the version resource, under its first
// translation (else 0409 / 04e4), at most 255 bytes; "" when there is none. Never throws.
std::string VersionInfoString(const std::string& name, const std::string& key);

// Case-sensitive match against "*" and "?"; both texts taken to 255 bytes and a NUL.
bool WildcardMatch(const std::string& pattern, const std::string& name);

// False when the file does not exist; else clears its read-only, hidden and system
// attributes (not a link's target's), deletes it and answers whether that worked.
bool DeleteFileForced(const std::string& name);

// True when the open file is a compressed file; `header` gets its first bytes (zeros
// after) and the position is restored. EInOutError when a seek or read fails.
bool IsCompressedFile(platform::File& file, HeaderBytes& header);

// Raises EInOutError 100 "Read beyond end of file".
[[noreturn]] void RaiseReadPastEnd();

std::string CutText(const std::string& text, std::size_t limit);  // at most `limit` bytes
// The file-name part of a path: everything after the last "\", "/" or ":".
std::string FileNamePart(const std::string& path);

}  // namespace lz
