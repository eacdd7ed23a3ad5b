// Starts tovsim on a private pty for tov --sim and takes it down again, also when tov itself is
// interrupted.
#include "sim_launcher.h"

#include "exit_cleanup.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

namespace tov::cli {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kReadyTimeout = std::chrono::seconds(5);
constexpr auto kStopTimeout = std::chrono::seconds(3);

constexpr std::array<std::string_view, 12> kValuedOptions = {
    "--udp",        "--model", "--family", "--cpu",        "--rate",
    "--flash-file", "--trace", "--faults", "--flash-bank", "--flash-fail-erase",
    "--chip-flash", "--core"};
constexpr std::array<std::string_view, 2> kFlagOptions = {"--loader", "--line-timing"};

constexpr std::array<int, 4> kCleanupSignals = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// Only async-signal-safe calls: end the simulator, remove its directory, then die as asked.
extern "C" void cleanupOnSignal(int signo) {
    runCleanup();
    signal(signo, SIG_DFL);
    raise(signo);
}

// The simulator that was built with this tov, else whatever PATH offers.
std::string simulatorPath() {
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const auto beside = self.parent_path() / "tovsim";
        if (access(beside.c_str(), X_OK) == 0) return beside.string();
    }
    return "tovsim";
}

std::string describeStatus(int status) {
    if (WIFEXITED(status)) return "exit status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return "signal " + std::to_string(WTERMSIG(status));
    return "status " + std::to_string(status);
}

}  // namespace

SimOptionKind simOptionKind(std::string_view option) {
    const size_t equals = option.find('=');
    const std::string_view name = option.substr(0, equals);
    for (auto valued : kValuedOptions) {
        if (name == valued) {
            return equals == std::string_view::npos ? SimOptionKind::Valued : SimOptionKind::Alone;
        }
    }
    for (auto flag : kFlagOptions) {
        if (option == flag) return SimOptionKind::Alone;
    }
    return SimOptionKind::Unknown;
}

SimLauncher::~SimLauncher() {
    stop();
}

bool SimLauncher::start(const std::vector<std::string>& options, std::string& error) {
    const std::string base = std::filesystem::temp_directory_path().string() + "/tov-sim-XXXXXX";
    std::vector<char> pattern(base.begin(), base.end());
    pattern.push_back('\0');
    if (mkdtemp(pattern.data()) == nullptr) {
        error = std::string("cannot make a temporary directory: ") + std::strerror(errno);
        return false;
    }
    dir_ = pattern.data();
    tty_ = dir_ + "/tty";
    dirSlot_ = cleanupPath(dir_);
    ttySlot_ = cleanupPath(tty_);

    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
        error = std::string("cannot make a pipe: ") + std::strerror(errno);
        removeDirectory();
        return false;
    }

    const std::string program = simulatorPath();
    std::vector<std::string> words = {program, "--serial", tty_};
    words.insert(words.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    // An interrupt between the fork and the cleanup's installation would leave the simulator
    // and its directory behind, so the cleanup signals wait until the cleanup is in place.
    sigset_t cleanupSignals, previousMask;
    sigemptyset(&cleanupSignals);
    for (int signo : kCleanupSignals) sigaddset(&cleanupSignals, signo);
    sigprocmask(SIG_BLOCK, &cleanupSignals, &previousMask);

    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) {
        sigprocmask(SIG_SETMASK, &previousMask, nullptr);
        error = std::string("cannot start the simulator: ") + std::strerror(errno);
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        removeDirectory();
        return false;
    }
    if (pid == 0) {
        // The simulator must not outlive a tov that was killed outright.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(1);
        sigprocmask(SIG_SETMASK, &previousMask, nullptr);
        dup2(pipeEnds[1], STDOUT_FILENO);
        const int devNull = open("/dev/null", O_RDONLY);
        if (devNull >= 0) dup2(devNull, STDIN_FILENO);
        if (program.find('/') != std::string::npos) {
            execv(program.c_str(), argv.data());
        } else {
            execvp(program.c_str(), argv.data());
        }
        std::fprintf(stderr, "tov: cannot run %s: %s\n", program.c_str(), std::strerror(errno));
        _exit(127);
    }
    close(pipeEnds[1]);
    pid_ = pid;
    output_ = pipeEnds[0];
    childSlot_ = cleanupChild(pid_);
    for (int signo : kCleanupSignals) signal(signo, cleanupOnSignal);
    sigprocmask(SIG_SETMASK, &previousMask, nullptr);
    if (!waitForReady(error)) {
        stop();
        return false;
    }
    return true;
}

bool SimLauncher::waitForReady(std::string& error) {
    const auto deadline = Clock::now() + kReadyTimeout;
    std::string pending;
    while (true) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            error = "the simulator did not report ready within 5 s";
            return false;
        }
        pollfd watch{output_, POLLIN, 0};
        const int ready = poll(&watch, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR) {
            error = std::string("cannot wait for the simulator: ") + std::strerror(errno);
            return false;
        }
        if (ready <= 0) continue;
        char chunk[256];
        const ssize_t got = read(output_, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            int status = 0;
            forgetCleanup(childSlot_);
            childSlot_ = -1;
            waitpid(pid_, &status, 0);
            pid_ = -1;
            error = "the simulator ended before it was ready (" + describeStatus(status) + ")";
            return false;
        }
        pending.append(chunk, static_cast<size_t>(got));
        for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (line.starts_with("ready")) return true;
        }
    }
}

void SimLauncher::stop() {
    // The handler must not see a half-stopped simulator (a reaped child's number may already
    // be another process's): the signals wait until all is gone, then act as usual.
    sigset_t cleanupSignals, previousMask;
    sigemptyset(&cleanupSignals);
    for (int signo : kCleanupSignals) sigaddset(&cleanupSignals, signo);
    sigprocmask(SIG_BLOCK, &cleanupSignals, &previousMask);
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        const auto deadline = Clock::now() + kStopTimeout;
        int status = 0;
        while (waitpid(pid_, &status, WNOHANG) == 0) {
            if (Clock::now() >= deadline) {
                kill(pid_, SIGKILL);
                waitpid(pid_, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        pid_ = -1;
    }
    forgetCleanup(childSlot_);
    childSlot_ = -1;
    if (output_ >= 0) {
        close(output_);
        output_ = -1;
    }
    removeDirectory();
    for (int signo : kCleanupSignals) signal(signo, SIG_DFL);
    sigprocmask(SIG_SETMASK, &previousMask, nullptr);
}

void SimLauncher::removeDirectory() {
    forgetCleanup(ttySlot_);
    forgetCleanup(dirSlot_);
    ttySlot_ = dirSlot_ = -1;
    if (dir_.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
    dir_.clear();
}

}  // namespace tov::cli
