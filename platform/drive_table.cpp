// The drive table and the current directory, kept by the layer; what only the system can
// tell comes from posix/drives.cpp and win32/drives.cpp.
#include <algorithm>
#include <utility>

#include "platform/drives.h"
#include "platform/internal.h"
#include "platform/io_error.h"

namespace platform {
namespace detail {

LayerState& State() {
  static LayerState state;
  return state;
}

const DriveMapping* FindDrive(char letter) {
  letter = AsciiUpper(letter);
  for (const DriveMapping& drive : Drives()) {
    if (drive.letter == letter) return &drive;
  }
  return nullptr;
}

std::optional<unsigned long long> System::DiskFreeSpace(int drive_number) {
  if (drive_number < 1 || drive_number > 26) return std::nullopt;
  const DriveMapping* drive = FindDrive(static_cast<char>('A' + drive_number - 1));
  if (drive == nullptr) return std::nullopt;
  return HostFreeSpace(drive->host_root);
}

std::optional<std::string> WindowsPathOnDrives(const std::string& host_path) {
  const DriveMapping* drive = nullptr;
  for (const DriveMapping& each : Drives()) {
    const bool longer = drive == nullptr || each.host_root.size() > drive->host_root.size();
    if (longer && HostPathWithin(host_path, each.host_root)) drive = &each;
  }
  if (drive == nullptr) return std::nullopt;
  std::string out = std::string(1, drive->letter) + ":";
  const std::size_t root = std::min(drive->host_root.size(), host_path.size());
  for (const std::string& part : SplitPathComponents(std::string_view(host_path).substr(root))) {
    out += "\\" + part;
  }
  return out.size() == 2 ? out + "\\" : out;
}

}  // namespace detail

const std::vector<DriveMapping>& Drives() {
  detail::LayerState& state = detail::State();
  if (!state.table_installed && state.drives.empty()) {
    state.drives = detail::SortedDriveTable(detail::SystemDriveTable());
  }
  return state.drives;
}

void InstallDriveTableForTests(std::vector<DriveMapping> table) {
  detail::LayerState& state = detail::State();
  if (table.empty()) {
    state = detail::LayerState{};
    return;
  }
  state.drives = detail::SortedDriveTable(std::move(table));
  state.table_installed = true;
  state.cwd = std::string(1, state.drives.front().letter) + ":\\";
  state.cwd_host.clear();
  state.cwd_known = true;
}

std::string GetCurrentDir() {
  detail::LayerState& state = detail::State();
  if (!state.cwd_known) {
    const std::optional<std::string> host = detail::HostWorkingFolder();
    const std::optional<std::string> here = host ? ToWindowsPath(*host) : std::nullopt;
    const std::vector<DriveMapping>& drives = Drives();
    state.cwd = here.value_or(std::string(1, drives.empty() ? 'C' : drives.front().letter) + ":\\");
    state.cwd_known = true;
  }
  return state.cwd;
}

std::optional<std::string> StartFolderOnNoDrive() {
  std::optional<std::string> host = detail::HostWorkingFolder();
  if (!host) return std::string("(a folder that no longer exists)");
  if (ToWindowsPath(*host)) return std::nullopt;
  return host;
}

bool SetCurrentDir(const std::string& path) { return detail::TrySetCurrentDir(path) == 0; }

void ChangeDir(const std::string& path) {
  if (int code = detail::TrySetCurrentDir(path)) RaiseIoError(code);
}

std::optional<unsigned long long> DiskFreeSpace(int drive_number) {
  return detail::ThisThreadSystem().DiskFreeSpace(drive_number);
}

}  // namespace platform
