// What one tov run leaves in the file system and the process table while it works (the --sim
// simulator and its folder, a dump's files), undone when the run is ended by a signal.
#pragma once

#include <sys/types.h>

#include <string>

namespace tov::cli {

// A registration; remove it once the thing is gone or kept for good.
using CleanupSlot = int;

// Files (or empty folders) to remove, and a child to end (SIGTERM, then waited for). Returns -1
// when all slots are taken or the path is too long: the thing is then not cleaned up.
CleanupSlot cleanupPath(const std::string& path);
CleanupSlot cleanupChild(pid_t pid);
void forgetCleanup(CleanupSlot slot);

// Ends the children and removes the paths, newest first, with async-signal-safe calls only;
// a signal handler calls it before the process ends.
void runCleanup();

}  // namespace tov::cli
