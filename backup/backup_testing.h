// The backup's switches for tests: how it uses the machine.
#pragma once

#include "backup/backup.h"
#include "platform/background_flush.h"

namespace backup {

struct BackupTuning {
  // Threads that compress files ahead of the one in progress: 0 one per processor (at most
  // four), 1 none.
  int workers = 0;
  // Answers for the flush of one compressed file instead of the disk.
  platform::BackgroundFlush::StandIn flush_stand_in;
};

BackupOutcome BackupClick(app::WindowSeam& window, const BackupTuning& tuning);

}  // namespace backup
