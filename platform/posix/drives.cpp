#include "platform/drives.h"

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string_view>

#include "platform/ascii.h"
#include "platform/internal.h"
#include "platform/io_error.h"

namespace platform {
namespace {

// File systems that never count as drives even when their source looks like a device.
constexpr std::array<std::string_view, 24> kVirtualFileSystems = {
    "proc",     "sysfs",      "tmpfs",      "devtmpfs", "devpts",      "cgroup",
    "cgroup2",  "securityfs", "debugfs",    "tracefs",  "pstore",      "bpf",
    "mqueue",   "hugetlbfs",  "configfs",   "fusectl",  "binfmt_misc", "autofs",
    "efivarfs", "ramfs",      "rpc_pipefs", "nsfs",     "overlay",     "squashfs"};

bool IsFolder(const std::string& host_path) {
  struct stat st;
  return ::stat(host_path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

using detail::FoldDotComponents;
using detail::SplitPathComponents;

// Lexical clean-up of an absolute host path: no "//", ".", ".." or trailing "/".
std::string NormalizeHostPath(const std::string& host_path) {
  std::vector<std::string> parts;
  FoldDotComponents(parts, SplitPathComponents(host_path, [](char c) { return c == '/'; }));
  std::string out;
  for (const std::string& part : parts) out += "/" + part;
  return out.empty() ? "/" : out;
}

// Fills in the entry's data from its lstat data; only a link needs another call.
void Follow(detail::HostEntry& entry, const struct stat& own) {
  entry.entry_exists = true;
  entry.entry_st = own;
  if (!S_ISLNK(own.st_mode)) {
    entry.st = own;
    entry.exists = true;
  } else {
    entry.exists = ::stat(entry.path.c_str(), &entry.st) == 0;
  }
}

}  // namespace

std::optional<detail::ResolvedPath> detail::ResolvePath(const std::string& windows_path) {
  // A NUL byte would cut the name short, naming another file ("a.txt\0.lzz" is "a.txt").
  if (windows_path.find('\0') != std::string::npos) return std::nullopt;
  std::string full = ExpandFileName(windows_path);
  if (full.size() < 2 || full[1] != ':' || !IsAsciiLetter(full[0])) return std::nullopt;
  const DriveMapping* drive = detail::FindDrive(full[0]);
  if (drive == nullptr) return std::nullopt;
  std::vector<std::string> parts = SplitPathComponents(std::string_view(full).substr(2));
  // Member by member: GCC misreads the nested aggregate form as an uninitialised read.
  detail::ResolvedPath out;
  out.host.path = drive->host_root;
  out.windows = std::string(1, drive->letter) + ":";
  std::string& host = out.host.path;
  const auto host_of = [&](std::size_t count) {
    std::string joined = drive->host_root;
    for (std::size_t i = 0; i < count; ++i) joined = detail::HostChild(joined, parts[i]);
    return joined;
  };
  // Most paths exist as written, or all but their last name: one lstat settles those.
  std::size_t exact = 0;  // leading components known to exist as written
  bool whole_missing = false;
  struct stat st;
  if (parts.empty()) {
    if (::stat(host.c_str(), &st) == 0) Follow(out.host, st);
  } else if (::lstat(host_of(parts.size()).c_str(), &st) == 0) {
    exact = parts.size();
  } else {
    whole_missing = true;
    if (parts.size() > 1 && ::lstat(host_of(parts.size() - 1).c_str(), &st) == 0) {
      exact = parts.size() - 1;
    }
  }
  host = host_of(exact);
  if (exact == parts.size() && exact != 0) Follow(out.host, st);
  for (std::size_t i = 0; i < exact; ++i) out.windows += "\\" + parts[i];
  bool probing = true;  // false once a component is missing: nothing below it exists
  for (std::size_t i = exact; i < parts.size(); ++i) {
    std::string& part = parts[i];
    std::string candidate = detail::HostChild(host, part);
    const bool known_missing = whole_missing && i == exact && i + 1 == parts.size();
    if (probing && (known_missing || ::lstat(candidate.c_str(), &st) != 0)) {
      if (auto match = detail::FindEntryIgnoringCase(host, part)) {
        part = *match;
        candidate = detail::HostChild(host, part);
        if (i + 1 == parts.size()) probing = ::lstat(candidate.c_str(), &st) == 0;
      } else {
        probing = false;
      }
    }
    host = std::move(candidate);
    out.windows += "\\" + part;
    if (probing && i + 1 == parts.size()) Follow(out.host, st);
  }
  if (out.windows.size() == 2) out.windows += "\\";
  return out;
}

namespace {

// Octal escapes of /proc/self/mounts ("\040" for a space).
std::string DecodeMountField(const std::string& field) {
  const auto digit = [&](std::size_t at, char last) {
    return field[at] >= '0' && field[at] <= last;
  };
  std::string out;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && digit(i + 1, '3') && digit(i + 2, '7') &&
        digit(i + 3, '7')) {
      out += static_cast<char>(std::stoi(field.substr(i + 1, 3), nullptr, 8));
      i += 3;
    } else {
      out += field[i];
    }
  }
  return out;
}

}  // namespace

namespace detail {

int EnterResolvedFolder(const ResolvedPath& resolved) {
  if (int fault = BeginOperation(Operation::kOpen)) return fault;
  const HostEntry& folder = resolved.host;
  if (!folder.exists || !S_ISDIR(folder.st.st_mode)) return kInvalidFilename;
  // A held folder stands in for one the user may not enter (tests run as root).
  if (IsHeld(folder.path)) return kAccessDenied;
  if (::access(folder.path.c_str(), X_OK) != 0) return kAccessDenied;
  LayerState& state = State();
  state.cwd = resolved.windows;
  state.cwd_host = folder.path;
  state.cwd_known = true;
  return 0;
}

std::optional<std::string> HostPathOfCurrentDir(const std::string& windows_path) {
  const LayerState& state = State();
  if (!state.cwd_known || state.cwd_host.empty() || windows_path.size() != state.cwd.size() ||
      windows_path.empty() || AsciiUpper(windows_path[0]) != state.cwd[0] ||
      windows_path.compare(1, std::string::npos, state.cwd, 1, std::string::npos) != 0) {
    return std::nullopt;
  }
  return state.cwd_host;
}

std::optional<HostEntry> LookUpHostEntry(const std::string& windows_path) {
  std::optional<ResolvedPath> resolved = ResolvePath(windows_path);
  if (!resolved) return std::nullopt;
  return std::move(resolved->host);
}

std::string RealHostPath(const std::string& host_path) {
  std::unique_ptr<char, decltype(&std::free)> real(::realpath(host_path.c_str(), nullptr),
                                                   &std::free);
  return real ? std::string(real.get()) : std::string();
}

std::string HostParent(const std::string& host_path) {
  const std::size_t slash = host_path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : host_path.substr(0, slash);
}

bool HostPathWithin(const std::string& host_path, const std::string& root) {
  return root == "/" || host_path == root ||
         (host_path.size() > root.size() && host_path.compare(0, root.size(), root) == 0 &&
          host_path[root.size()] == '/');
}

}  // namespace detail

std::optional<std::vector<DriveMapping>> DriveTableFromWinePrefix(const std::string& prefix) {
  const std::string devices = prefix + "/dosdevices";
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(devices.c_str()), ::closedir);
  if (!dir) return std::nullopt;
  std::vector<DriveMapping> table;
  while (const dirent* entry = ::readdir(dir.get())) {
    std::string_view name = entry->d_name;
    // "c:" is a drive; "d::" (the raw device of a drive) and "com1" are not.
    if (name.size() != 2 || name[1] != ':' || !IsAsciiLetter(name[0])) continue;
    const std::string link = devices + "/" + std::string(name);
    std::string root = detail::RealHostPath(link);
    if (root.empty()) {
      // A drive whose target is absent (an unmounted disk) stays, its root missing.
      std::array<char, PATH_MAX> target{};
      ssize_t n = ::readlink(link.c_str(), target.data(), target.size() - 1);
      if (n <= 0) continue;
      std::string text(target.data(), static_cast<std::size_t>(n));
      root = NormalizeHostPath(text.front() == '/' ? text : devices + "/" + text);
    }
    table.push_back({name[0], root});
  }
  if (table.empty()) return std::nullopt;
  return detail::SortedDriveTable(std::move(table));
}

std::vector<DriveMapping> DriveTableFromMounts(const std::string& proc_mounts_text) {
  std::vector<std::string> mount_points;
  std::istringstream lines(proc_mounts_text);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string source, mount_point, type;
    if (!(fields >> source >> mount_point >> type) || source.rfind("/dev/", 0) != 0 ||
        std::count(kVirtualFileSystems.begin(), kVirtualFileSystems.end(), type) != 0) {
      continue;
    }
    mount_point = NormalizeHostPath(DecodeMountField(mount_point));
    // "/" is C: already; a bind-mounted file (containers do this) is no drive.
    if (mount_point == "/" || !IsFolder(mount_point)) continue;
    mount_points.push_back(mount_point);
  }
  std::sort(mount_points.begin(), mount_points.end());
  mount_points.erase(std::unique(mount_points.begin(), mount_points.end()), mount_points.end());
  std::vector<DriveMapping> table{{'C', "/"}};
  char letter = 'D';
  for (const std::string& mount_point : mount_points) {
    if (letter > 'Z') break;
    table.push_back({letter++, mount_point});
  }
  return table;
}

bool DriveRootExists(char letter) {
  const DriveMapping* drive = detail::FindDrive(letter);
  return drive != nullptr && IsFolder(drive->host_root);
}

std::optional<std::string> ToHostPath(const std::string& windows_path) {
  std::optional<detail::ResolvedPath> resolved = detail::ResolvePath(windows_path);
  if (!resolved) return std::nullopt;
  return std::move(resolved->host.path);
}

std::optional<std::string> ToWindowsPath(const std::string& host_path) {
  if (host_path.empty() || host_path[0] != '/') return std::nullopt;
  return detail::WindowsPathOnDrives(NormalizeHostPath(host_path));
}

FolderBoundary::FolderBoundary(const std::string& folder)
    : real_root_(detail::RealHostPath(ToHostPath(folder).value_or(""))) {}

bool FolderBoundary::Contains(const std::string& path) const {
  std::optional<std::string> host = ToHostPath(path);
  if (real_root_.empty() || !host) return false;
  std::string probe = *host;
  while (true) {
    const std::string real = detail::RealHostPath(probe);
    if (!real.empty()) return detail::HostPathWithin(real, real_root_);
    struct stat st;
    if (::lstat(probe.c_str(), &st) == 0) return false;  // a dangling link
    if (probe.find('/') == std::string::npos || probe == "/") return false;
    probe = detail::HostParent(probe);
  }
}

namespace detail {

std::string NormalizeRoot(std::string root) {
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  return root;
}

std::vector<DriveMapping> SystemDriveTable() {
  std::string prefix;
  if (const char* wine = std::getenv("WINEPREFIX"); wine != nullptr && *wine != '\0') {
    prefix = wine;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    prefix = std::string(home) + "/.wine";
  } else {
    const passwd* user = ::getpwuid(::getuid());
    prefix = std::string(user != nullptr && user->pw_dir ? user->pw_dir : "/") + "/.wine";
  }
  if (auto table = DriveTableFromWinePrefix(prefix)) return *table;
  std::ostringstream text;
  text << std::ifstream("/proc/self/mounts").rdbuf();
  return DriveTableFromMounts(text.str());
}

int TrySetCurrentDir(const std::string& path) {
  std::optional<ResolvedPath> resolved = ResolvePath(path);
  if (!resolved) {
    if (int fault = BeginOperation(Operation::kOpen)) return fault;
    return kInvalidFilename;
  }
  return EnterResolvedFolder(*resolved);
}

std::optional<std::string> HostWorkingFolder() {
  std::unique_ptr<char, decltype(&std::free)> cwd(::getcwd(nullptr, 0), &std::free);
  if (!cwd) return std::nullopt;
  return std::string(cwd.get());
}

std::optional<unsigned long long> HostFreeSpace(const std::string& host_root) {
  struct statvfs fs;
  if (::statvfs(host_root.c_str(), &fs) != 0) return std::nullopt;
  return static_cast<unsigned long long>(fs.f_bavail) * fs.f_frsize;
}

}  // namespace detail

}  // namespace platform
