#include "backup/verify.h"

#include <exception>
#include <optional>

#include "backup/backup_files.h"
#include "backup/collect_files.h"
#include "lz/lz_file.h"
#include "lz/lz_format.h"
#include "lz/lz_support.h"
#include "platform/files.h"
#include "platform/text_file.h"

namespace backup {
namespace {

struct Checker {
  const std::string& backup_path;
  VerifyResult result;

  void Problem(const std::string& file, const std::string& fault) {
    result.problems.push_back(" " + file + ": " + fault);
  }

  void CheckEntry(std::uint64_t number, const std::string& line) {
    const std::size_t problems_before = result.problems.size();
    const std::string entry_name = "entry " + std::to_string(number);
    // By EntryFault.
    static constexpr const char* kFaults[] = {
        "", " cannot be read", " has a wrong size",
        " would be written outside the ICQ folder: ", " has a name Windows does not allow: "};
    ListEntry entry;
    const EntryFault fault = ReadListEntry(line, &entry);
    if (fault == EntryFault::kNone) {
      if (entry.size > 0) CheckCompressed(CompressedFileName(number), entry);
    } else {
      const bool named = fault == EntryFault::kBadPath || fault == EntryFault::kBadName;
      Problem(kListName, entry_name + kFaults[static_cast<int>(fault)] +
                             (named ? EntryText(entry) : std::string()));
    }
    if (result.problems.size() != problems_before) ++result.damaged;
  }

  void CheckCompressed(const std::string& name, const ListEntry& entry) {
    const std::string path = backup_path + "\\" + name;
    const std::optional<std::int64_t> length = platform::GetFileSize(path);
    if (!length) {
      Problem(name, "missing");
      return;
    }
    lz::CheckResult check;
    try {
      if (!lz::CheckCompressedFile(path, check)) {
        Problem(name, "no compressed file (no sound header)");
        return;
      }
    } catch (const std::exception& e) {
      Problem(name, std::string("cannot be read: ") + e.what());
      return;
    }
    // Damage is what the restore refuses; the other fields only explain it.
    const lz::LZHeader& header = check.header;
    const bool sound = check.decoded >= 0 && check.decoded == header.uncompressed_size &&
                       check.crc32 == header.crc32 && header.uncompressed_size == entry.size;
    if (sound) return;
    const std::string listed_name = lz::CutText(entry.name, lz::kMaxStoredName);
    if (header.method != lz::kMethodLzssMode0 && header.method != lz::kMethodLzss &&
        header.method != lz::kMethodLzh) {
      Problem(name, "unknown method " + std::to_string(header.method) + " in its header");
    }
    if (header.name != listed_name) {
      Problem(name, "holds " + header.name + ", the list names " + listed_name);
    }
    if (header.uncompressed_size != entry.size) {
      Problem(name, "its header says " + std::to_string(header.uncompressed_size) +
                        " bytes, the list says " + std::to_string(entry.size));
    }
    const std::int64_t whole = static_cast<std::int64_t>(lz::kHeaderSize) + header.body_size;
    if (*length < whole) {
      Problem(name,
              "truncated: " + std::to_string(*length) + " of " + std::to_string(whole) + " bytes");
    } else if (*length > whole) {
      Problem(name, std::to_string(*length) + " bytes, its header says " + std::to_string(whole));
    }
    if (check.decoded < 0) {
      Problem(name, "its body does not decode (error " + std::to_string(check.decoded) + ")");
    } else if (check.decoded != header.uncompressed_size) {
      Problem(name, "decodes to " + std::to_string(check.decoded) + " bytes, its header says " +
                        std::to_string(header.uncompressed_size));
    } else if (check.crc32 != header.crc32) {
      Problem(name, "decodes to data whose CRC-32 differs from its header");
    }
  }
};

}  // namespace

VerifyResult VerifyBackup(const std::string& backup_path) {
  Checker checker{backup_path, {}};
  try {
    platform::TextReader list(PathIn(backup_path, kListName));
    std::string header;
    list.ReadLine(header);
    const std::optional<std::int64_t> count = ListCount(header);
    if (!count) checker.Problem(kListName, "line 1 has no file count");
    std::string line;
    while (list.ReadLine(line)) checker.CheckEntry(++checker.result.files, line);
    list.Close();
    if (count && static_cast<std::uint64_t>(*count) != checker.result.files) {
      checker.Problem(kListName, "its header counts " + std::to_string(*count) +
                                     " files, it lists " + std::to_string(checker.result.files));
    }
  } catch (const std::exception& e) {
    checker.Problem(kListName, platform::FileExists(PathIn(backup_path, kListName))
                                   ? std::string("cannot be read: ") + e.what()
                                   : std::string("missing"));
  }
  return checker.result;
}

bool VerifyClick(app::WindowSeam& window) {
  window.ClearScreen();
  window.SetGauge(0);
  window.BackupPath = ReadBackupFolder(window);
  const std::optional<platform::RunLocks> locks = LockActionFolders(window);
  if (!locks) return false;
  const VerifyResult result = VerifyBackup(window.BackupPath);
  for (const std::string& problem : result.problems) window.AppendLine(problem);
  window.AppendLine(" " + std::to_string(result.files) + " files verified, " +
                    std::to_string(result.damaged) + " damaged");
  window.SetGauge(100);
  return result.Sound();
}

}  // namespace backup
