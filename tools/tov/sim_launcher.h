// Starting the probe simulator for one tov run: a private pty in a temporary directory, the
// simulator's ready line awaited, and everything stopped and removed again afterwards.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

namespace tov::cli {

// Whether a simulator option on the tov command line takes the next word as its value.
enum class SimOptionKind { Unknown, Alone, Valued };

// The simulator options tov passes through ("--rate 9600", "--rate=9600", "--loader");
// --serial is tov's own business and is not one.
SimOptionKind simOptionKind(std::string_view option);

// Runs one tovsim on a private pty from start() until stop() or destruction.
class SimLauncher {
public:
    SimLauncher() = default;
    SimLauncher(const SimLauncher&) = delete;
    SimLauncher& operator=(const SimLauncher&) = delete;
    ~SimLauncher();

    // Starts the simulator with `options` and waits for its ready line. False with a reason in
    // `error` if it cannot be started, exits, or is not ready in time; nothing is left behind.
    bool start(const std::vector<std::string>& options, std::string& error);

    // Ends the simulator (SIGTERM, then SIGKILL if it lingers) and removes the directory.
    void stop();

    // The device path of the simulator's pty (valid after a successful start).
    const std::string& ttyPath() const { return tty_; }

private:
    bool waitForReady(std::string& error);
    void removeDirectory();

    pid_t pid_ = -1;
    int output_ = -1;
    // Registrations with the signal cleanup (exit_cleanup.h).
    int childSlot_ = -1;
    int ttySlot_ = -1;
    int dirSlot_ = -1;
    std::string dir_;
    std::string tty_;
};

}  // namespace tov::cli
