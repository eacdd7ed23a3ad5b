// Starts the in-process simulator on a loopback UDP address of its own for a test.
#pragma once

#include <memory>
#include <string>

#include "sim/simulator.h"

namespace tov::test {

// The simulator answering on ADDRESS:2001 and ADDRESS:2002 while the object lives.
class SimOnUdp {
public:
    SimOnUdp(const std::string& address, sim::SimOptions options = {}) : address_(address) {
        options.udpAddress = address;
        sim_ = std::make_unique<sim::Simulator>(options);
        started_ = sim_->start() == 0;
    }
    ~SimOnUdp() { sim_->stop(); }
    bool started() const { return started_; }
    sim::Simulator& sim() { return *sim_; }
    // The TOV_Open parameter text for one of the probe's ports (selector 1 or 2).
    std::string port(int selector = 1) const {
        return "NETWORK " + address_ + " " + std::to_string(selector);
    }

private:
    std::string address_;
    std::unique_ptr<sim::Simulator> sim_;
    bool started_ = false;
};

}  // namespace tov::test
