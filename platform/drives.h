// Drive letters over the host file system, and Windows path texts ("C:\ICQ\newdb", "\" or
// "/") to host paths. The drives are a Wine prefix's dosdevices/ links, else C: is "/" and
// each block-device mount the next letter in order of mount point; on Windows the system's.
// The drive table and current directory are process-wide, used from one thread.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace platform {

struct DriveMapping {
  char letter;            // 'A'..'Z', upper case
  std::string host_root;  // absolute host folder, no trailing "/" except for "/"
};

// The drive table, sorted by letter. Read from the system on first use.
const std::vector<DriveMapping>& Drives();

// Tests only: replace the drive table (and reset the current directory to the first
// drive's root). An empty table makes the layer read the system's table (and the
// process's current directory) again on next use. On Windows, while a table is
// installed, a path on one of its letters goes to the system as that letter's
// host_root (a real folder) and the rest of the path, and a letter not in it is on no
// drive (3); without one, the host path is the full Windows path itself.
void InstallDriveTableForTests(std::vector<DriveMapping> table);

#ifndef _WIN32
// How the system's table is built, exposed so tests can feed their own inputs.
// From <prefix>/dosdevices/ links named "x:"; nullopt when the folder is missing or
// holds no drive link.
std::optional<std::vector<DriveMapping>> DriveTableFromWinePrefix(const std::string& prefix);
// C: = "/", then each folder mounted from a /dev/ source (no virtual file system)
// from D: in order of mount point, from the text of /proc/self/mounts.
std::vector<DriveMapping> DriveTableFromMounts(const std::string& proc_mounts_text);
#endif

// True when the drive exists in the table and its root is a folder on the host.
bool DriveRootExists(char letter);

// Drive number of a path's first character, A = 1 (case-insensitive); 0 when the
// first character is not a letter.
int DriveNumberOfPath(const std::string& path);

// Windows path text to host path. Relative paths are taken against the current
// directory; each component is matched exactly first, else case-insensitively among
// the folder's entries; components that do not exist stay as written. nullopt when
// the path names no drive in the table (a UNC path, an unknown letter) or holds a NUL
// byte.
std::optional<std::string> ToHostPath(const std::string& windows_path);

// Host path to Windows path text, by the drive whose root is its longest prefix.
// nullopt when no drive holds it.
std::optional<std::string> ToWindowsPath(const std::string& host_path);

// Full path of a name: relative names against the current directory, "." and ".."
// folded, "/" turned into "\", repeated separators made one. A drive root keeps its
// backslash ("C:\"); "C:" alone, and "C:name", are taken from the drive's root. A
// trailing separator stays. UNC paths keep "\\server\share". Empty gives empty.
std::string ExpandFileName(const std::string& name);

// Equal as paths: ASCII letters compared without case, "\" and "/" alike (the file
// system folds no other bytes either).
bool SamePathText(const std::string& a, const std::string& b);

// The folder this process was started in, as the host names it, when no drive holds
// it (the current directory below then starts at the first drive's root instead);
// nullopt when a drive holds it. On Windows without a test table only a UNC path (a
// folder on a network share without a letter) is on no drive.
std::optional<std::string> StartFolderOnNoDrive();

// The current directory, a Windows path text in the disk's spelling: "C:\ICQ", or
// "C:\" at a drive root. It is the layer's own: the process's working directory is
// read once at start and never changed.
std::string GetCurrentDir();
// Changes it; false (with nothing changed) when the folder cannot be entered: missing,
// a file, no search permission, or a folder a test holds open (HoldOpen). Each call is
// one open operation for the fault hook.
bool SetCurrentDir(const std::string& path);
// As SetCurrentDir, but a failure raises EInOutError: 3 for a missing folder or a file,
// 5 for one that may not be entered, or the code a test's fault asked for.
void ChangeDir(const std::string& path);

// Where a folder really is, with every link on its way followed: tells whether a path
// stays in it, links followed too. What does not exist yet is judged by its nearest
// existing folder, where it would be made; a dangling link is judged outside. On
// Windows a path that passes a reparse point below the folder is judged outside.
class FolderBoundary {
 public:
  explicit FolderBoundary(const std::string& folder);
  bool Contains(const std::string& path) const;  // false for a path on no drive

 private:
  std::string real_root_;  // host path; empty when the folder cannot be found
};

// Free bytes on a drive (A = 1), from statvfs of the drive's root (the space an
// unprivileged user may fill; GetDiskFreeSpaceExW's figure for the caller on Windows);
// nullopt when the drive does not exist or cannot be queried.
std::optional<unsigned long long> DiskFreeSpace(int drive_number);

}  // namespace platform
