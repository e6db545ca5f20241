// The backup's switches for tests: how it uses the machine.
#pragma once

#include "backup/backup.h"
#include "platform/background_flush.h"

namespace backup {

struct BackupTuning {
  int workers = 0;  // compressing threads: 0 one per processor (at most four), 1 none
  platform::BackgroundFlush::StandIn flush_stand_in;  // answers for the disk's flush
};

BackupOutcome BackupClick(app::WindowSeam& window, const BackupTuning& tuning);

}  // namespace backup
