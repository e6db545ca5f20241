// The restore's switches for tests: how it makes its files durable.
#pragma once

#include <string>

#include "backup/restore.h"
#include "platform/background_flush.h"

namespace backup {

struct RestoreTuning {
  bool flush_in_background = true;  // false: each file is flushed just before its rename
  platform::BackgroundFlush::StandIn flush_stand_in;  // answers for the disk's flush
};

RestoreOutcome RestoreClick(app::WindowSeam& window, const RestoreTuning& tuning,
                            const std::string& only = "");
// The restore after the warning.
RestoreOutcome RestoreFiles(app::WindowSeam& window, const RestoreTuning& tuning,
                            const std::string& only = "");

}  // namespace backup
