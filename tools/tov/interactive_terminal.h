// The probe's terminal as a live session: keys typed go to the probe, its text comes back.
#pragma once

#include "commands.h"

namespace tov::cli {

// Runs on an open connection until Ctrl-], the end of standard input (once the probe has no
// more text pending), or SIGINT, SIGTERM, SIGHUP or SIGQUIT. Standard input is switched to raw keys
// while it is a terminal and is restored on every way out. Returns the exit code (128 + signal when
// a signal ended it).
int runInteractiveTerminal(const Invocation& call);

}  // namespace tov::cli
