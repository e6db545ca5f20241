#include "platform/drives.h"

#include <algorithm>
#include <utility>

#include "platform/ascii.h"
#include "platform/io_error.h"
#include "platform/win32/win32_internal.h"

namespace platform {
namespace {

using detail::IsPathSeparator;

// A drive without a medium answers with an error instead of asking for a disk.
void QuietCriticalErrors() {
  [[maybe_unused]] static const UINT once =
      ::SetErrorMode(::SetErrorMode(0) | SEM_FAILCRITICALERRORS);
}

bool IsDriveLetterPath(const std::string& path) {
  return path.size() >= 2 && path[1] == ':' && IsAsciiLetter(path[0]);
}

bool IsUncPath(const std::string& path) {
  return path.size() >= 2 && IsPathSeparator(path[0]) && IsPathSeparator(path[1]);
}

// The full path as the system is given it: through the installed table, or as it is.
std::optional<std::string> HostOfFullPath(const std::string& full) {
  const detail::LayerState& state = detail::State();
  if (!state.table_installed) return full;
  if (!IsDriveLetterPath(full)) return std::nullopt;  // UNC: on no drive of the table
  const DriveMapping* drive = detail::FindDrive(full[0]);
  if (drive == nullptr) return std::nullopt;
  std::string host = drive->host_root;
  for (const std::string& part : detail::SplitPathComponents(std::string_view(full).substr(2))) {
    host = detail::HostChild(host, part);
  }
  return host;
}

// The name of the entry as the disk spells it; `name` itself when it cannot be read.
std::string DiskSpellingOf(const std::string& host_folder, const std::string& name) {
  WIN32_FIND_DATAW found;
  const std::wstring probe = WideFromAnsi(detail::HostChild(host_folder, name));
  HANDLE search = ::FindFirstFileW(probe.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return name;
  ::FindClose(search);
  std::string spelled = AnsiFromWide(found.cFileName);
  // A name found through its short form keeps the form it was given in.
  return EqualIgnoringAsciiCase(spelled, name) ? spelled : name;
}

// An existing folder's full path in the disk's spelling; what it shares with the current
// directory is taken from there (a walk enters one folder below it at a time).
std::string SpelledPath(const std::string& full) {
  if (!IsDriveLetterPath(full)) return full;
  const std::vector<std::string> parts =
      detail::SplitPathComponents(std::string_view(full).substr(2));
  const detail::LayerState& state = detail::State();
  std::vector<std::string> known;
  if (state.cwd_known && state.cwd.size() >= 2 &&
      EqualIgnoringAsciiCase(state.cwd.substr(0, 2), full.substr(0, 2))) {
    known = detail::SplitPathComponents(std::string_view(state.cwd).substr(2));
  }
  std::string out = std::string(1, AsciiUpper(full[0])) + ":";
  std::string host = HostOfFullPath(out + "\\").value_or(out + "\\");
  bool same_so_far = true;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    same_so_far = same_so_far && i < known.size() && EqualIgnoringAsciiCase(known[i], parts[i]);
    const std::string part = same_so_far ? known[i] : DiskSpellingOf(host, parts[i]);
    host = detail::HostChild(host, part);
    out += "\\" + part;
  }
  if (out.size() == 2) out += "\\";
  return out;
}

}  // namespace

namespace detail {

std::optional<SystemPath> SystemPathOf(const std::string& windows_path) {
  QuietCriticalErrors();
  if (windows_path.find('\0') != std::string::npos) return std::nullopt;
  std::string full = ExpandFileName(windows_path);
  if (!IsDriveLetterPath(full) && !IsUncPath(full)) return std::nullopt;
  std::optional<std::string> host = HostOfFullPath(full);
  if (!host) return std::nullopt;
  return SystemPath{std::move(full), *host, WideFromAnsi(*host)};
}

std::string HostParent(const std::string& host_path) {
  const std::size_t cut = host_path.find_last_of("\\/");
  if (cut == std::string::npos) return ".";
  // "C:\x" -> "C:\"; "C:\" has no parent but itself.
  if (cut == 2 && host_path[1] == ':') return host_path.substr(0, 3);
  return host_path.substr(0, cut);
}

bool HostPathWithin(const std::string& host_path, const std::string& root) {
  std::string base = root;
  while (!base.empty() && IsPathSeparator(base.back())) base.pop_back();
  return host_path.size() >= base.size() && SamePathText(host_path.substr(0, base.size()), base) &&
         (host_path.size() == base.size() || IsPathSeparator(host_path[base.size()]));
}

}  // namespace detail

bool DriveRootExists(char letter) {
  QuietCriticalErrors();
  const DriveMapping* drive = detail::FindDrive(letter);
  return drive != nullptr &&
         detail::IsFolder(::GetFileAttributesW(WideFromAnsi(drive->host_root).c_str()));
}

std::optional<std::string> ToHostPath(const std::string& windows_path) {
  std::optional<detail::SystemPath> path = detail::SystemPathOf(windows_path);
  if (!path) return std::nullopt;
  return std::move(path->host);
}

std::optional<std::string> ToWindowsPath(const std::string& host_path) {
  if (!IsDriveLetterPath(host_path) || host_path.size() < 3 || !IsPathSeparator(host_path[2])) {
    return std::nullopt;  // not a full path with a letter (a UNC path is on no drive)
  }
  std::vector<std::string> parts;
  detail::FoldDotComponents(parts,
                            detail::SplitPathComponents(std::string_view(host_path).substr(2)));
  std::string normal = std::string(1, AsciiUpper(host_path[0])) + ":";
  for (const std::string& part : parts) normal += "\\" + part;
  if (!detail::State().table_installed) return parts.empty() ? normal + "\\" : normal;
  return detail::WindowsPathOnDrives(normal);
}

namespace {

// An existing entry's host path with every short name spelled out; empty when unreadable.
std::string LongHostPath(const std::wstring& wide) {
  return AnsiFromWide(detail::SystemText(
      [&](wchar_t* text, DWORD units) { return ::GetLongPathNameW(wide.c_str(), text, units); }));
}

}  // namespace

FolderBoundary::FolderBoundary(const std::string& folder) {
  std::optional<detail::SystemPath> path = detail::SystemPathOf(folder);
  if (!path || !detail::IsFolder(::GetFileAttributesW(path->wide.c_str()))) return;
  real_root_ = LongHostPath(path->wide);
}

// A path that meets a reparse point below the folder may lead anywhere: it counts as outside.
bool FolderBoundary::Contains(const std::string& path) const {
  std::optional<detail::SystemPath> probe = detail::SystemPathOf(path);
  if (real_root_.empty() || !probe) return false;
  // What does not exist yet is judged by its nearest existing folder.
  std::string existing = probe->host;
  while (!detail::Exists(::GetFileAttributesW(WideFromAnsi(existing).c_str()))) {
    const std::string parent = detail::HostParent(existing);
    if (parent == existing || parent == ".") return false;
    existing = parent;
  }
  const std::string real = LongHostPath(WideFromAnsi(existing));
  if (real.empty() || !detail::HostPathWithin(real, real_root_)) return false;
  // Every entry from the path up to the folder, the folder's own not counted.
  std::string step = real;
  while (step.size() > real_root_.size() && !SamePathText(step, real_root_)) {
    if (detail::IsReparsePoint(::GetFileAttributesW(WideFromAnsi(step).c_str()))) {
      return false;
    }
    step = detail::HostParent(step);
  }
  return true;
}

namespace detail {

// "X:\" for a drive's root, otherwise no trailing separator; "/" becomes "\".
std::string NormalizeRoot(std::string root) {
  std::replace(root.begin(), root.end(), '/', '\\');
  while (root.size() > 3 && root.back() == '\\') root.pop_back();
  if (root.size() == 2 && root[1] == ':') root += '\\';
  return root;
}

std::vector<DriveMapping> SystemDriveTable() {
  QuietCriticalErrors();
  std::vector<DriveMapping> table;
  const DWORD letters = ::GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if ((letters & (DWORD{1} << i)) == 0) continue;
    const char letter = static_cast<char>('A' + i);
    const std::string root = std::string(1, letter) + ":\\";
    if (::GetDriveTypeW(WideFromAnsi(root).c_str()) == DRIVE_NO_ROOT_DIR) continue;
    table.push_back({letter, root});
  }
  return table;
}

int TrySetCurrentDir(const std::string& path) {
  if (int fault = BeginOperation(Operation::kOpen)) return fault;
  std::optional<SystemPath> folder = SystemPathOf(path);
  if (!folder) return kInvalidFilename;
  if (!IsFolder(::GetFileAttributesW(folder->wide.c_str()))) return kInvalidFilename;
  if (IsHeld(folder->host)) return kAccessDenied;
  // The folder must be listable, as the system's own change of directory demands.
  WIN32_FIND_DATAW found;
  HANDLE search = ::FindFirstFileW(WideFromAnsi(HostChild(folder->host, "*")).c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    ::FindClose(search);
  } else if (const DWORD error = ::GetLastError();
             error != ERROR_FILE_NOT_FOUND && error != ERROR_NO_MORE_FILES) {
    return CodeOfSystemError(error);
  }
  LayerState& state = State();
  state.cwd = SpelledPath(folder->full);
  state.cwd_known = true;
  return 0;
}

std::optional<std::string> HostWorkingFolder() {
  const std::wstring wide =
      SystemText([](wchar_t* text, DWORD units) { return ::GetCurrentDirectoryW(units, text); });
  if (wide.empty()) return std::nullopt;
  return AnsiFromWide(wide);
}

std::optional<unsigned long long> HostFreeSpace(const std::string& host_root) {
  QuietCriticalErrors();
  std::wstring root = WideFromAnsi(host_root);
  if (root.back() != L'\\') root += L'\\';
  ULARGE_INTEGER available, total, free;
  if (!::GetDiskFreeSpaceExW(root.c_str(), &available, &total, &free)) return std::nullopt;
  return static_cast<unsigned long long>(available.QuadPart);
}

}  // namespace detail

}  // namespace platform
