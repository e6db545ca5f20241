// Drive letters over the host file system, and Windows path texts to host paths. The
// drives are a Wine prefix's dosdevices/ links, else C: is "/" and each block-device mount
// the next letter; on Windows the system's. Process-wide, used from one thread.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace platform {

struct DriveMapping {
  char letter;            // 'A'..'Z', upper case
  std::string host_root;  // absolute host folder, no trailing "/" except for "/"
};

// Sorted by letter; read from the system on first use.
const std::vector<DriveMapping>& Drives();

// Tests only: replaces the drive table and puts the current directory at the first drive's
// root; an empty table reads the system's again. On Windows a path on an installed letter
// goes to the system below its host_root, and a letter not in the table is on no drive.
void InstallDriveTableForTests(std::vector<DriveMapping> table);

#ifndef _WIN32
// How the system's table is built. From <prefix>/dosdevices/ links named "x:"; nullopt
// when there is none.
std::optional<std::vector<DriveMapping>> DriveTableFromWinePrefix(const std::string& prefix);
// C: = "/", then from D: each folder mounted from a /dev/ source (no virtual file system),
// in order of mount point, from the text of /proc/self/mounts.
std::vector<DriveMapping> DriveTableFromMounts(const std::string& proc_mounts_text);
#endif

// True when the drive exists in the table and its root is a folder on the host.
bool DriveRootExists(char letter);

// A = 1 for a path's first letter, either case; 0 when it is no letter.
int DriveNumberOfPath(const std::string& path);

// Windows path text to host path, relative paths against the current directory; each
// component is matched exactly, else ignoring case, else stays as written. nullopt for
// no drive of the table (a UNC path, an unknown letter) or a NUL byte.
std::optional<std::string> ToHostPath(const std::string& windows_path);

// By the drive whose root is its longest prefix; nullopt when no drive holds it.
std::optional<std::string> ToWindowsPath(const std::string& host_path);

// Full path: relative names against the current directory, "." and ".." folded, "/" made
// "\", separators made one. "C:\" keeps its backslash; "C:" and "C:name" are taken from the
// drive's root; a trailing separator stays; UNC paths keep "\\server\share". Empty stays.
std::string ExpandFileName(const std::string& name);

// Equal as paths: ASCII letters without case (the file system folds no other), "\" as "/".
bool SamePathText(const std::string& a, const std::string& b);

// The host folder this process was started in when no drive holds it (the current
// directory then starts at the first drive's root); nullopt when a drive holds it.
std::optional<std::string> StartFolderOnNoDrive();

// The layer's own current directory in the disk's spelling ("C:\ICQ", "C:\"); the
// process's working directory is read once and never changed.
std::string GetCurrentDir();
// False, nothing changed, when the folder cannot be entered: missing, a file, no search
// permission, or held open by a test. One open operation.
bool SetCurrentDir(const std::string& path);
// Raises EInOutError instead: 3 for a missing folder or a file, 5 for one not to enter.
void ChangeDir(const std::string& path);

// Tells whether a path stays in a folder, links followed. What does not exist yet is
// judged by its nearest existing folder; a dangling link is outside, and on Windows so is
// a path through a reparse point below the folder.
class FolderBoundary {
 public:
  explicit FolderBoundary(const std::string& folder);
  bool Contains(const std::string& path) const;  // false for a path on no drive

 private:
  std::string real_root_;  // host path; empty when the folder cannot be found
};

// Bytes an unprivileged user may fill on a drive (A = 1); nullopt when it cannot be told.
std::optional<unsigned long long> DiskFreeSpace(int drive_number);

}  // namespace platform
