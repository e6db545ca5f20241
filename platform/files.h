// Files and folders with Windows semantics: attributes, DOS times, read-only files
// that refuse writes (for root too), and errors as EInOutError codes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// Attribute bits as Windows reports them.
inline constexpr std::uint32_t faReadOnly = 0x01;
inline constexpr std::uint32_t faHidden = 0x02;
inline constexpr std::uint32_t faSysFile = 0x04;
inline constexpr std::uint32_t faVolumeID = 0x08;
inline constexpr std::uint32_t faDirectory = 0x10;
inline constexpr std::uint32_t faArchive = 0x20;
inline constexpr std::uint32_t faAnyFile = 0x3F;

// True when a regular file (not a folder) exists at the path.
bool FileExists(const std::string& path);

// True when both paths name one existing file or folder, however spelt or linked: the
// device and inode decide (the volume and file index on Windows).
bool SameFile(const std::string& a, const std::string& b);

// True when the entry itself is a symbolic link, dangling or not (Windows: a reparse point).
bool IsLink(const std::string& path);

// Attributes; nullopt when missing. Read-only is the owner's missing write permission,
// hidden a leading ".", archive every regular file, anything else a system entry (the
// file system's own on Windows).
std::optional<std::uint32_t> GetAttributes(const std::string& path);

// Each of these answers 0 on success or a Windows error code; none of them throws.
// A missing file gives 2, a missing folder on the way 3, a path outside every drive 3,
// a name holding a NUL byte 3.
// Read-only set clears every write permission; read-only clear restores the owner's.
[[nodiscard]] int SetAttributes(const std::string& path, std::uint32_t attributes);
[[nodiscard]] int CreateFolder(
    const std::string& path);  // one level; parent must exist (3); 183 exists
[[nodiscard]] int DeleteFile(
    const std::string& path);  // files only (a folder gives 5); read-only 5
// The code DeleteFile would answer now, without deleting: 0 when it would delete the
// file; 2 or 3 missing, 5 a folder, a read-only file or a folder whose entries cannot
// be changed (a write-protected disk, no write permission), 32 held open.
[[nodiscard]] int DeleteFileRefusal(const std::string& path);
// Renames a file or folder, replacing the target in one step with replace_existing (a
// read-only target or a folder 5, one held open 32), else 183 when it exists. A new
// spelling of the same name changes only the letter case (Wine keeps the old one).
[[nodiscard]] int RenameFile(const std::string& from, const std::string& to, bool replace_existing);
// Makes a folder's entries durable (fsync; on Windows renames write through, and the folder
// is only checked to be there).
[[nodiscard]] int FlushFolder(const std::string& path);

// Last-write time in local time, packed in DOS form (clamped to the DOS range);
// nullopt when missing.
std::optional<std::uint32_t> GetFileDosTime(const std::string& path);
// Sets the last-write time; 87 when the packed value is no real date and time.
[[nodiscard]] int SetFileDosTime(const std::string& path, std::uint32_t dos_time);

// Size in bytes; nullopt when the file does not exist.
std::optional<std::int64_t> GetFileSize(const std::string& path);

// What one query of an open file tells.
struct FileFacts {
  std::int64_t size = 0;
  std::optional<std::uint32_t> dos_time;  // as File::DosTime
  std::uint32_t attributes = 0;           // as File::Attributes
};

enum class OpenMode {
  kRead,       // existing file, reading only
  kReadWrite,  // existing file, reading and writing
  kCreate,     // create or truncate, reading and writing
  kAppend,     // existing file, writing at its end
  // Existing file, reading only, and only while no other program has it open for
  // writing (else 32): the test for a file another program is changing, which needs no
  // write permission. It does not keep others from writing once it is open.
  kReadDenyWrite,
};

// An open file, closed when it goes (call Close() where its errors matter). Others may
// read and write it meanwhile.
class File {
 public:
  File() = default;
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File();

  // Raises EInOutError when the file cannot be opened: 2 or 3 when missing, 5 for a
  // read-only file opened for writing and for anything but a plain file, 32 held.
  static File Open(const std::string& path, OpenMode mode);
  // Answers an error code instead: 0 and the file in *out, or the code. `facts`, if
  // given, gets the file's Facts() as the open found them (the check that it is a plain
  // file asks for them on POSIX).
  [[nodiscard]] static int TryOpen(const std::string& path, OpenMode mode, File* out,
                                   FileFacts* facts = nullptr);

  bool IsOpen() const { return handle_ != kNoHandle; }
  const std::string& Path() const { return path_; }  // Windows path as opened

  // Every operation raises EInOutError on failure (103 on a closed File).
  // Reads up to count bytes; fewer only at the end of the file.
  std::size_t Read(void* buffer, std::size_t count);
  // Writes count bytes; 101 "Disk full" when the disk takes no more.
  void Write(const void* buffer, std::size_t count);
  void Seek(std::int64_t position);  // from the start; negative gives 131
  // Read and Write at a position from the start, leaving the file's position as it was.
  std::size_t ReadAt(std::int64_t position, void* buffer, std::size_t count);
  void WriteAt(std::int64_t position, const void* buffer, std::size_t count);
  std::int64_t Position() const;
  std::int64_t Size() const;
  void Truncate();                          // at the current position
  void SetDosTime(std::uint32_t dos_time);  // last-write time of the open file
  // Last-write time of the open file; nullopt when it cannot be read or lies outside
  // the DOS range (before 1980, after 2107).
  std::optional<std::uint32_t> DosTime() const;
  // As GetAttributes, of the open file.
  std::uint32_t Attributes() const;
  // Size, DosTime and Attributes in one query of the system; raises as Size.
  FileFacts Facts() const;
  void Flush();  // fsync; FlushFileBuffers on Windows
  void Close();  // raises on failure; the file is closed anyway
  // As SetAttributes, on the open file.
  void SetAttributes(std::uint32_t attributes);

 private:
  // They open files by other means (through a held folder) and flush them.
  friend class FolderHandle;
  friend class BackgroundFlush;

  // The system's handle value: a descriptor here, a HANDLE on Windows.
  static constexpr std::intptr_t kNoHandle = -1;
  std::intptr_t handle_ = kNoHandle;
  std::string path_;
};

}  // namespace platform
