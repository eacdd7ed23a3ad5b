// The simulator on a pseudo-terminal reached as COM1 (through TOV_COM1), and a line where
// nothing answers as COM2, for the dialogs that talk to the probe.
#pragma once

#include <pty.h>
#include <stdlib.h>
#include <unistd.h>

#include <memory>

#include "gui_fixture.h"
#include "setup/connection_parameters.h"
#include "tests/support/sim_fixture.h"

namespace tov::setup::test {

class ProbeTest : public GuiTest {
protected:
    // Starts the simulator with `options` as COM1 at 9600 baud, the document's default.
    void startProbe(sim::SimOptions options = {}) {
        options.rate = 9600;
        sim_ = std::make_unique<tov::test::SimOnPty>(options);
        ASSERT_TRUE(sim_->started());
        setenv("TOV_COM1", sim_->path().c_str(), 1);
        ASSERT_EQ(openpty(&master_, &slave_, nullptr, nullptr, nullptr), 0);
        setenv("TOV_COM2", ttyname(slave_), 1);
        buildConnectionParameters(0, 0, "");
    }
    void TearDown() override {
        unsetenv("TOV_COM1");
        unsetenv("TOV_COM2");
        if (master_ >= 0) close(master_);
        if (slave_ >= 0) close(slave_);
        sim_.reset();
        GuiTest::TearDown();
    }
    sim::Simulator& sim() { return sim_->sim(); }
    // Runs `action` on the probe between two frames.
    void onProbe(const std::function<void(sim::Probe&)>& action) { sim().withProbe(action); }

private:
    std::unique_ptr<tov::test::SimOnPty> sim_;
    int master_ = -1;
    int slave_ = -1;
};

}  // namespace tov::setup::test
