// A tovsim on a pseudo-terminal in a fresh temporary directory, with a frame trace, for tests
// that run several tov commands against one simulated probe.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/process_runner.h"

namespace tov::e2e {

class PtySimulator {
public:
    explicit PtySimulator(std::vector<std::string> options = {}) {
        namespace fs = std::filesystem;
        std::string pattern = (fs::temp_directory_path() / "tov-sim-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) return;
        dir_ = pattern;
        tty_ = dir_ / "tty";
        trace_ = dir_ / "trace.txt";
        options.insert(options.end(),
                       {"--serial", tty_.string(), "--rate", "115200", "--trace", trace_.string()});
        sim_ = std::make_unique<Process>(std::string(TOV_BIN_DIR) + "/tovsim", options);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!fs::exists(tty_) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ready_ = fs::exists(tty_);
    }
    ~PtySimulator() {
        if (sim_) {
            sim_->sendSignal(SIGTERM);
            sim_->finish();
        }
        std::error_code ec;
        if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
    }
    PtySimulator(const PtySimulator&) = delete;
    PtySimulator& operator=(const PtySimulator&) = delete;

    bool ready() const { return ready_; }
    const std::filesystem::path& dir() const { return dir_; }
    // The --port text of the simulator.
    std::string port() const { return tty_.string() + " 115200"; }
    // Bytes of the frame trace so far: unchanged when nothing reached the probe.
    uintmax_t traced() const {
        return std::filesystem::exists(trace_) ? std::filesystem::file_size(trace_) : 0;
    }
    // tov on this simulator, with no port or flash set-up from the environment.
    ProcessResult tov(std::vector<std::string> args) const {
        args.insert(args.begin(), {"--port", port()});
        return runProcess(std::string(TOV_BIN_DIR) + "/tov", args,
                          {{"TOV_PORT", std::nullopt}, {"TOV_FLASH_TYPE", std::nullopt}});
    }

private:
    std::filesystem::path dir_, tty_, trace_;
    std::unique_ptr<Process> sim_;
    bool ready_ = false;
};

}  // namespace tov::e2e
