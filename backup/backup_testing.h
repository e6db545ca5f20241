// The backup's switches for tests: how it uses the machine.
#pragma once

#include "backup/backup.h"
#include "platform/background_flush.h"

namespace backup {

struct BackupTuning {
  // Threads that compress files ahead of the one in progress: 0 one per processor
  // (at most four), as the program runs, 1 none (every file is compressed on the
  // calling thread).
  int workers = 0;
  // Answers for the flush of one compressed file instead of the disk. The files are
  // flushed on a worker thread while the next ones are compressed.
  platform::BackgroundFlush::StandIn flush_stand_in;
};

BackupOutcome BackupClick(app::WindowSeam& window, const BackupTuning& tuning);

}  // namespace backup
