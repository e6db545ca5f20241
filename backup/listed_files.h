// The loop of a backup over its listed files, and the numbered files and the list it
// writes into the backup folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/window_seam.h"
#include "backup/pack_workers.h"
#include "platform/background_flush.h"
#include "platform/files.h"
#include "platform/text_file.h"

namespace backup {

// The backup list, written a line at a time so that whatever ends the backup, the
// lines up to the file in progress are in the file.
class ListWriter {
 public:
  explicit ListWriter(const std::string& path)
      : file_(platform::File::Open(path, platform::OpenMode::kCreate)) {}
  void WriteLine(const std::string& line) {
    const std::int64_t before = Size();
    size_ = kUnknownSize;  // until the line is wholly written
    platform::WriteTextLine(file_, line);
    size_ = before + static_cast<std::int64_t>(line.size() + sizeof platform::kLineEnd - 1);
  }
  // Counted as the lines are written; asked of the file only after a write failed.
  std::int64_t Size() const { return size_ != kUnknownSize ? size_ : file_.Position(); }
  // Takes back the lines written ahead of the file at which the backup stopped.
  void CutTo(std::int64_t size) {
    size_ = kUnknownSize;
    file_.Seek(size);
    file_.Truncate();
    size_ = size;
  }
  platform::File& File() { return file_; }

 private:
  static constexpr std::int64_t kUnknownSize = -1;
  platform::File file_;
  std::int64_t size_ = 0;
};

// The backup's report of a disk without room for the files.
void ReportDiskFull(app::WindowSeam& window);

// What the loop made: the totals of the report. Every compressed file made is added to
// the flusher, in list order.
struct ListedFilesMade {
  std::int64_t original_total = 0;
  std::int64_t compressed_total = 0;
};

// The loop over the listed files. Each file's list line, free-space test, screen line,
// compression, line deletion and gauge step happen in list order, as in a plain loop
// that compresses one file after the other. With worker threads the files after the
// one in progress are compressed ahead, but only those that the plain loop would
// certainly compress too: a new destination, a source that opens, and room for them
// even if every file still in progress took its largest size. Whatever makes the plain
// loop stop at a file is met when that file's turn comes, on this thread; what was
// done ahead of it is then taken back (its list lines and compressed files), so the
// list, the files and the screen end as the plain loop leaves them.
//
// File N is written as CompressedFilePath(window.BackupPath, N, extension).
//
// Answers the go-on flag: false after a report that stopped the backup. Errors of the
// list, of a file and of the engine pass through once the work done ahead is taken back;
// after an input/output error no unfinished compressed file is left.
bool CompressListedFilesInOrder(app::WindowSeam& window, platform::TextReader& pending,
                                ListWriter& list, std::uint32_t total, const char* extension,
                                PackWorkers& workers, platform::BackgroundFlush& flusher,
                                ListedFilesMade& made);

}  // namespace backup
