// Version resources (the Windows version-information services). On Windows the system
// reads them (GetFileVersionInfoW, VerQueryValueW), for images in which the PE reader
// below finds a well-formed one; elsewhere the file is parsed as a PE image. The PE reader is built
// on every system, so that tests can hold the two to the same answers. Every offset and size it
// reads from the file is checked: a file that is not a well-formed PE image simply has no version
// resource.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The file's version resource (its VS_VERSIONINFO block); empty when it has none.
std::vector<std::uint8_t> ReadVersionResource(const std::string& path);

// Looks a value up in a version resource read above, as VerQueryValue does:
//   "\VarFileInfo\Translation"         -> the raw value bytes
//   "\StringFileInfo\040904e4\FileVersion" -> the text, UTF-16 turned into the
//                                            program's 8-bit text (UTF-8 here, the
//                                            ANSI code page on Windows)
// nullopt when the block or value is absent.
std::optional<std::vector<std::uint8_t>> QueryVersionValue(
    const std::vector<std::uint8_t>& resource, const std::string& sub_block);
std::optional<std::string> QueryVersionText(const std::vector<std::uint8_t>& resource,
                                            const std::string& sub_block);

// The PE reader and the block look-ups that the calls above use where the system has
// no version services.
std::vector<std::uint8_t> ReadVersionResourceFromImage(const std::string& path);
std::optional<std::vector<std::uint8_t>> QueryVersionBlockValue(
    const std::vector<std::uint8_t>& resource, const std::string& sub_block);
std::optional<std::string> QueryVersionBlockText(const std::vector<std::uint8_t>& resource,
                                                 const std::string& sub_block);

}  // namespace platform
