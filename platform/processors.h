// How many processors this program may use.
#pragma once

namespace platform {

// The processors this process may run on (its affinity), at least 1.
int UsableProcessors();

}  // namespace platform
