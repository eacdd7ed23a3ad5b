// Starts the in-process simulator on a pseudo-terminal in a private directory for a test.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include "sim/simulator.h"

namespace tov::test {

class SimOnPty {
public:
    explicit SimOnPty(sim::SimOptions options = {}) {
        char pattern[] = "/tmp/tovtest-XXXXXX";
        dir_ = mkdtemp(pattern);
        options.serialPath = dir_ + "/tty";
        sim_ = std::make_unique<sim::Simulator>(options);
        started_ = sim_->start() == 0;
    }
    ~SimOnPty() {
        sim_->stop();
        std::filesystem::remove_all(dir_);
    }
    bool started() const { return started_; }
    sim::Simulator& sim() { return *sim_; }
    std::string path() const { return dir_ + "/tty"; }
    // The TOV_Open parameter text for this simulator at a wanted rate.
    std::string port(uint32_t rate = 115200) const { return path() + " " + std::to_string(rate); }

private:
    std::string dir_;
    std::unique_ptr<sim::Simulator> sim_;
    bool started_ = false;
};

inline sim::SimOptions simAt(uint32_t rate) {
    sim::SimOptions options;
    options.rate = rate;
    return options;
}

}  // namespace tov::test
