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

// True when both paths name one existing file or folder, however spelt or linked.
bool SameFile(const std::string& a, const std::string& b);

// True when the entry itself is a symbolic link, dangling or not (Windows: a reparse point).
bool IsLink(const std::string& path);

// Attributes; nullopt when missing. On POSIX read-only is the owner's missing write
// permission, hidden a leading ".", archive every regular file, anything else a system entry.
std::optional<std::uint32_t> GetAttributes(const std::string& path);

// Each of these answers 0 or a Windows error code and never throws: 2 for a missing file,
// 3 for a missing folder on the way, a path on no drive or a name holding a NUL byte.
// Read-only set clears every write permission; read-only clear restores the owner's.
[[nodiscard]] int SetAttributes(const std::string& path, std::uint32_t attributes);
[[nodiscard]] int CreateFolder(const std::string& path);  // one level; 183 when it exists
[[nodiscard]] int DeleteFile(const std::string& path);    // a folder or a read-only file 5
// What DeleteFile would answer now, without deleting; also 5 for a folder whose entries
// cannot be changed (a write-protected disk), 32 for a held file.
[[nodiscard]] int DeleteFileRefusal(const std::string& path);
// Replaces the target in one step with replace_existing (a read-only target or a folder 5,
// a held one 32), else 183 when it exists. Another spelling of the same name changes only
// the letter case (Wine keeps the old one).
[[nodiscard]] int RenameFile(const std::string& from, const std::string& to, bool replace_existing);
// Makes a folder's entries durable (on Windows renames write through: only checks the folder).
[[nodiscard]] int FlushFolder(const std::string& path);

// Last-write time, local, DOS packed and clamped to the DOS range; nullopt when missing.
std::optional<std::uint32_t> GetFileDosTime(const std::string& path);
// Sets the last-write time; 87 when the packed value is no real date and time.
[[nodiscard]] int SetFileDosTime(const std::string& path, std::uint32_t dos_time);

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
  // As kRead, but 32 while another program has it open for writing (no write permission
  // needed); it does not keep others from writing once open.
  kReadDenyWrite,
};

// An open file, closed when it goes (call Close() where its errors matter); others may
// read and write it meanwhile.
class File {
 public:
  File() = default;
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File();

  // Raises EInOutError: 2 or 3 when missing, 5 for a read-only file opened for writing and
  // for anything but a plain file, 32 held.
  static File Open(const std::string& path, OpenMode mode);
  // Answers 0 and the file in *out, or the code; `facts` gets Facts() as the open found them.
  [[nodiscard]] static int TryOpen(const std::string& path, OpenMode mode, File* out,
                                   FileFacts* facts = nullptr);

  bool IsOpen() const { return handle_ != kNoHandle; }
  const std::string& Path() const { return path_; }  // Windows path as opened

  // Every operation raises EInOutError on failure (103 on a closed File).
  std::size_t Read(void* buffer, std::size_t count);  // fewer only at the end of the file
  void Write(const void* buffer, std::size_t count);  // 101 when the disk takes no more
  void Seek(std::int64_t position);                   // from the start; negative gives 131
  // Writes at a position from the start, leaving the file's position as it was.
  void WriteAt(std::int64_t position, const void* buffer, std::size_t count);
  std::int64_t Position() const;
  std::int64_t Size() const;
  void Truncate();                          // at the current position
  void SetDosTime(std::uint32_t dos_time);  // last-write time of the open file
  // Last-write time; nullopt when unreadable or outside the DOS range (1980 to 2107).
  std::optional<std::uint32_t> DosTime() const;
  std::uint32_t Attributes() const;  // as GetAttributes
  FileFacts Facts() const;           // size, DosTime and Attributes in one query
  void Flush();
  void Close();  // raises on failure; the file is closed anyway
  void SetAttributes(std::uint32_t attributes);

 private:
  friend class FolderHandle;
  friend class BackgroundFlush;

  // A descriptor, or a HANDLE on Windows.
  static constexpr std::intptr_t kNoHandle = -1;
  std::intptr_t handle_ = kNoHandle;
  std::string path_;
};

}  // namespace platform
