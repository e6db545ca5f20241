// Small file, text and error routines of the compression engine, and its CRC-32.
// Names are Windows path texts; none of these routines hold a file open on return.
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

// Last-write time in local time, DOS packed; 0 when the file does not exist or cannot be
// opened, kNoFileDate when its time cannot be read. Never throws. A time outside the DOS
// range is held to its nearest end (before 1980: 1980-01-01 00:00:00, after 2107:
// 2107-12-31 23:59:58) rather than answered as kNoFileDate: the answer becomes the
// compressed file's date and, on restore, the data file's, and a date that no file can
// be given would leave the restored file with the time of the restore instead.
std::uint32_t FileDateOfName(const std::string& name);

// Folds `count` bytes (a 16-bit count: at most 65,535 per call) into a CRC-32 register
// that starts at 0xFFFFFFFF and is inverted at the end.
std::uint32_t CRC32Update(std::uint32_t crc, const void* buffer, std::uint16_t count);

// CRC-32 of the whole file, read in 64,000-byte blocks; 0 for an empty file and for one
// that cannot be opened. A read or close error after the open raises EInOutError.
std::uint32_t FileCRC32(const std::string& name);
// The same of an open file, read from its start through it; it stays open.
std::uint32_t FileCRC32(platform::File& file);

// The text of `key` (say "FileVersion") in the file's version resource, looked up under
// the resource's first translation, or language 0409 / code page 04e4 when it has none.
// At most 255 bytes; empty when there is no resource or no such key. Never throws.
std::string VersionInfoString(const std::string& name, const std::string& key);

// Case-sensitive match of a name against "*" and "?" wildcards; both texts are taken up
// to 255 bytes and up to a NUL. "*" alone matches everything, the empty name included.
bool WildcardMatch(const std::string& pattern, const std::string& name);

// Free bytes on the drive named by the path's first letter, held to 32 bits (a larger
// figure answers 0x7FFFFFFF); -1 when the drive cannot be queried. Kept as the engine's
// routine for programs built on it; this program's backup asks platform/ for 64 bits.
std::int32_t DriveFreeSpace(const std::string& path);

// False when the file does not exist; otherwise clears its read-only, hidden and system
// attributes, deletes it and answers whether that worked. A symbolic link is deleted
// itself, and the file it points at is left as it is, attributes included.
bool DeleteFileForced(const std::string& name);

// True when the open file is a compressed file (IsCompressedHeader). The header is left
// in `header` (zeros first) and the file position restored. Seek and read errors raise
// EInOutError.
bool IsCompressedFile(platform::File& file, HeaderBytes& header);
// The same for a file at its start, which it leaves there: one read and one seek.
bool IsCompressedFileAtStart(platform::File& file, HeaderBytes& header);

// Raises EInOutError 100 "Read beyond end of file".
[[noreturn]] void RaiseReadPastEnd();

// A NUL-terminated view of the text; an empty text gives "". Kept as the engine's
// routine for programs built on it, which pass texts to C interfaces.
const char* AsCString(const std::string& text);

// The text cut to at most `limit` bytes.
std::string CutText(const std::string& text, std::size_t limit);

// The file-name part of a path: everything after the last "\", "/" or ":".
std::string FileNamePart(const std::string& path);

}  // namespace lz
