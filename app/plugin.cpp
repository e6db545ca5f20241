#include "app/plugin.h"

#include <array>

#include "platform/files.h"
#include "platform/interrupt.h"
#include "platform/text_file.h"

namespace app {
namespace {

constexpr char kPluginFileName[] = "back.dat";

constexpr std::array<const char*, 11> kDefaultPlugin = {
    "bookmark",
    "uin",
    "plugins",
    "icqfiles",
    "db",
    "newdb",
    "db99b",
    "2000a",
    "2000b",
    kPluginEndMarker,
    kDefaultSupportedVersions,
};

}  // namespace

void ReadPlugin(WindowSeam& window) {
  if (platform::FileExists(window.HomeFolder + "\\" + kPluginFileName)) {
    platform::TextReader reader(kPluginFileName);
    std::string line;
    bool marker_found = false;
    while (!marker_found && reader.ReadLine(line)) marker_found = line == kPluginEndMarker;
    // The line after the marker; none (or no marker at all) leaves it empty.
    std::string supported_versions;
    if (marker_found) reader.ReadLine(supported_versions);
    reader.Close();
    window.SupportedVersions = supported_versions;
    return;
  }
  platform::TextWriter writer(kPluginFileName, platform::OpenMode::kCreate);
  for (const char* line : kDefaultPlugin) writer.WriteLine(line);
  writer.Close();
  window.SupportedVersions = kDefaultSupportedVersions;
}

void ForEachPluginEntry(const std::string& home_folder,
                        const std::function<void(const std::string& entry)>& visit) {
  platform::TextReader reader(home_folder + "\\" + kPluginFileName);
  std::string line;
  while (reader.ReadLine(line) && line != kPluginEndMarker) {
    platform::RaiseIfStopRequested();
    // An empty entry would name the whole ICQ folder and back up everything in it.
    if (!line.empty()) visit(line);
  }
  reader.Close();
}

std::vector<std::string> ReadPluginEntries(const std::string& home_folder) {
  std::vector<std::string> entries;
  ForEachPluginEntry(home_folder,
                     [&entries](const std::string& entry) { entries.push_back(entry); });
  return entries;
}

}  // namespace app
