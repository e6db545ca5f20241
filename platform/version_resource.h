// Version resources of PE images (the Windows version-information services).
// Every offset and size read from the file is checked: a file that is not a
// well-formed PE image simply has no version resource.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The RT_VERSION resource (VS_VERSIONINFO block) of the file; empty when it has none.
std::vector<std::uint8_t> ReadVersionResource(const std::string& path);

// Looks a value up in a version resource, as VerQueryValue does:
//   "\VarFileInfo\Translation"         -> the raw value bytes
//   "\StringFileInfo\040904e4\FileVersion" -> the text, UTF-16 turned into UTF-8
// nullopt when the block or value is absent.
std::optional<std::vector<std::uint8_t>> QueryVersionValue(
    const std::vector<std::uint8_t>& resource, const std::string& sub_block);
std::optional<std::string> QueryVersionText(const std::vector<std::uint8_t>& resource,
                                            const std::string& sub_block);

}  // namespace platform
