// The restore's switches for tests: how it makes its files durable.
#pragma once

#include <string>

#include "backup/restore.h"
#include "platform/background_flush.h"

namespace backup {

struct RestoreTuning {
  // false flushes each file on the calling thread just before its rename.
  bool flush_in_background = true;
  // Answers for the worker's flush of one file instead of the disk.
  platform::BackgroundFlush::StandIn flush_stand_in;
};

RestoreOutcome RestoreClick(app::WindowSeam& window, const RestoreTuning& tuning,
                            const std::string& only = "");
// The restore after the warning.
RestoreOutcome RestoreFiles(app::WindowSeam& window, const RestoreTuning& tuning,
                            const std::string& only = "");

}  // namespace backup
