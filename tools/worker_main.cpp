// torq32-worker: compresses backup files for a backup running in another process of
// this program, which starts it (backup/pack_workers.h). Not for use from a terminal.
#include "backup/pack_workers.h"

int main() { return backup::RunPackWorker(); }
