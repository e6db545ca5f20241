// Version resources, read from the PE image with every offset and size checked (a file that
// is no well-formed image has none); on Windows through the system, for images read so.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The file's version resource (its VS_VERSIONINFO block) from the PE image; empty when it
// has none.
std::vector<std::uint8_t> ReadVersionResourceFromImage(const std::string& path);
// Looks a value up as VerQueryValue does: "\VarFileInfo\Translation" gives the raw bytes,
// "\StringFileInfo\040904e4\FileVersion" the text in the program's 8-bit text (UTF-8 here,
// the ANSI code page on Windows); nullopt when the block or value is absent.
std::optional<std::vector<std::uint8_t>> QueryVersionBlockValue(
    const std::vector<std::uint8_t>& resource, const std::string& sub_block);
std::optional<std::string> QueryVersionBlockText(const std::vector<std::uint8_t>& resource,
                                                 const std::string& sub_block);

// The same through the system's version services on Windows; elsewhere the reader's.
#ifdef _WIN32
std::vector<std::uint8_t> ReadVersionResource(const std::string& path);
std::optional<std::vector<std::uint8_t>> QueryVersionValue(
    const std::vector<std::uint8_t>& resource, const std::string& sub_block);
std::optional<std::string> QueryVersionText(const std::vector<std::uint8_t>& resource,
                                            const std::string& sub_block);
#else
inline constexpr auto& ReadVersionResource = ReadVersionResourceFromImage;
inline constexpr auto& QueryVersionValue = QueryVersionBlockValue;
inline constexpr auto& QueryVersionText = QueryVersionBlockText;
#endif

}  // namespace platform
