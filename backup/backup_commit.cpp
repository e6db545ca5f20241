#include "backup/backup_commit.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "backup/backup_files.h"
#include "platform/files.h"
#include "platform/folder_handle.h"
#include "platform/io_error.h"
#include "platform/text_file.h"

namespace backup {
namespace {

constexpr std::int64_t kAnyNumber = std::int64_t{1} << 62;

// 0 once the file is gone, or when it was not there.
int DeleteIfThere(const std::string& path) {
  if (!platform::FileExists(path)) return 0;
  return platform::DeleteFile(path);
}

// Only names of compressed files count: a damaged icqlist.del deletes nothing else.
std::vector<std::string> EarlierFilesToGo(const std::string& backup_path) {
  std::vector<std::string> names;
  const std::string record = PathIn(backup_path, kEarlierFilesName);
  if (!platform::FileExists(record)) return names;
  platform::TextReader reader(record);
  for (std::string name; reader.ReadLine(name);) {
    if (CompressedFileNumber(name, {kOldCompressedExtension, kCompressedExtension}) != 0) {
      names.push_back(name);
    }
  }
  reader.Close();
  return names;
}

int RollBack(const std::string& backup_path) {
  for (std::uint64_t number : StoredFileNumbers(backup_path, {kStagedExtension}, kAnyNumber)) {
    if (int code = DeleteIfThere(CompressedFilePath(backup_path, number, kStagedExtension))) {
      return code;
    }
  }
  // The list goes last: while it is there, the folder is known to hold staged files.
  if (int code = DeleteIfThere(PathIn(backup_path, kEarlierFilesName))) return code;
  return DeleteIfThere(PathIn(backup_path, kStagedListName));
}

int RollForward(const std::string& backup_path) {
  if (int code = DeleteIfThere(PathIn(backup_path, kListName))) return code;
  // A name no file bears is given in the held folder as spelt: its look-up would read the folder.
  const std::vector<std::uint64_t> in_place =
      StoredFileNumbers(backup_path, {kCompressedExtension}, kAnyNumber);
  platform::FolderHandle folder;
  if (platform::FolderHandle::Open(backup_path, &folder) == 0) folder.TakeNamesAsSpelt();
  for (std::uint64_t number : StoredFileNumbers(backup_path, {kStagedExtension}, kAnyNumber)) {
    int code = platform::kFileNotFound;  // also for a staged name spelt otherwise
    if (folder.IsOpen() && !std::binary_search(in_place.begin(), in_place.end(), number)) {
      code = folder.Rename(CompressedFileName(number, kStagedExtension), CompressedFileName(number),
                           true);
    }
    if (code == platform::kFileNotFound) {
      code = platform::RenameFile(CompressedFilePath(backup_path, number, kStagedExtension),
                                  CompressedFilePath(backup_path, number), true);
    }
    if (code != 0) return code;
  }
  for (const std::string& name : EarlierFilesToGo(backup_path)) {
    if (int code = DeleteIfThere(PathIn(backup_path, name))) return code;
  }
  // The new list appears only once the files it names are there for good.
  if (int code = platform::FlushFolder(backup_path)) return code;
  if (int code = platform::RenameFile(PathIn(backup_path, kCommittedListName),
                                      PathIn(backup_path, kListName), true)) {
    return code;
  }
  if (int code = platform::FlushFolder(backup_path)) return code;
  return DeleteIfThere(PathIn(backup_path, kEarlierFilesName));
}

void RaiseIfFailed(int code) {
  if (code != 0) platform::RaiseIoError(code);
}

}  // namespace

void FinishStagedBackup(const std::string& backup_path) {
  if (backup_path.empty()) return;
  if (platform::FileExists(PathIn(backup_path, kCommittedListName))) {
    RaiseIfFailed(RollForward(backup_path));
  } else if (platform::FileExists(PathIn(backup_path, kStagedListName)) ||
             platform::FileExists(PathIn(backup_path, kEarlierFilesName))) {
    RaiseIfFailed(RollBack(backup_path));
  }
}

StagedBackup::StagedBackup(std::string backup_path, std::vector<std::string> earlier_files)
    : backup_path_(std::move(backup_path)), earlier_files_(std::move(earlier_files)) {}

StagedBackup::~StagedBackup() {
  if (committed_) return;
  try {
    static_cast<void>(RollBack(backup_path_));  // what stays, the next run rolls back
  } catch (...) {
  }
}

std::string StagedBackup::ListPath() const { return PathIn(backup_path_, kStagedListName); }

bool StagedBackup::Commit() {
  const std::vector<std::uint64_t> staged =
      StoredFileNumbers(backup_path_, {kStagedExtension}, kAnyNumber);
  // An earlier icqN.lzz that a new one replaces is not deleted after it.
  std::vector<std::string> to_go;
  for (const std::string& name : earlier_files_) {
    const std::uint64_t number = CompressedFileNumber(name, {kCompressedExtension});
    if (number == 0 || !std::binary_search(staged.begin(), staged.end(), number)) {
      to_go.push_back(name);
    }
  }

  std::vector<std::string> must_go = {PathIn(backup_path_, kListName)};
  for (const std::string& name : to_go) must_go.push_back(PathIn(backup_path_, name));
  // Only files that are there: a look-up of a missing name reads the folder.
  const std::vector<std::uint64_t> replaced =
      StoredFileNumbers(backup_path_, {kCompressedExtension}, kAnyNumber);
  for (std::uint64_t number : staged) {
    if (std::binary_search(replaced.begin(), replaced.end(), number)) {
      must_go.push_back(CompressedFilePath(backup_path_, number));
    }
  }
  for (const std::string& path : must_go) {
    if (platform::FileExists(path) && platform::DeleteFileRefusal(path) != 0) {
      RaiseIfFailed(RollBack(backup_path_));
      return false;
    }
  }

  {
    platform::TextWriter record(PathIn(backup_path_, kEarlierFilesName),
                                platform::OpenMode::kCreate);
    for (const std::string& name : to_go) record.WriteLine(name);
    record.Flush();
    record.Close();
  }
  RaiseIfFailed(platform::FlushFolder(backup_path_));
  RaiseIfFailed(platform::RenameFile(ListPath(), PathIn(backup_path_, kCommittedListName), false));
  committed_ = true;
  RaiseIfFailed(platform::FlushFolder(backup_path_));
  return RollForward(backup_path_) == 0;
}

}  // namespace backup
