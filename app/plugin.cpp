#include "app/plugin.h"

#include "platform/files.h"
#include "platform/interrupt.h"
#include "platform/text_file.h"

namespace app {
namespace {

constexpr char kPluginFileName[] = "back.dat";
constexpr char kEndMarker[] = "TheEnd";
constexpr char kDefaultSupportedVersions[] = "98b-2000b(P)";

constexpr const char* kDefaultPlugin[] = {
    "bookmark",
    "uin",
    "plugins",
    "icqfiles",
    "db",
    "newdb",
    "db99b",
    "2000a",
    "2000b",
    kEndMarker,
    kDefaultSupportedVersions,
};

}  // namespace

void ReadPlugin(WindowSeam& window) {
  if (platform::FileExists(window.HomeFolder + "\\" + kPluginFileName)) {
    platform::TextReader reader(kPluginFileName);
    std::string line;
    bool marker_found = false;
    while (!marker_found && reader.ReadLine(line)) marker_found = line == kEndMarker;
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

std::vector<std::string> ReadPluginEntries(const std::string& home_folder) {
  std::vector<std::string> entries;
  platform::TextReader reader(home_folder + "\\" + kPluginFileName);
  std::string line;
  while (reader.ReadLine(line) && line != kEndMarker) {
    platform::RaiseIfStopRequested();
    // An empty entry would name the whole ICQ folder and back up everything in it.
    if (!line.empty()) entries.push_back(line);
  }
  reader.Close();
  return entries;
}

}  // namespace app
