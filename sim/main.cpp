// tovsim: the probe simulator as a program. Serves until SIGTERM or SIGINT.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "include/tovlink.h"
#include "sim/logic_device.h"
#include "sim/probe_flash.h"
#include "sim/probe_flash_file.h"
#include "sim/sim_options.h"
#include "sim/simulator.h"

namespace {

int run(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    tov::sim::ParsedCommandLine parsed = tov::sim::parseCommandLine(args);
    if (parsed.help) {
        std::fputs(tov::sim::usageText().c_str(), stdout);
        return 0;
    }
    if (parsed.version) {
        std::printf("tovsim %d.%d.%d\n", TOVLINK_VERSION_MAJOR, TOVLINK_VERSION_MINOR,
                    TOVLINK_VERSION_PATCH);
        return 0;
    }
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "tovsim: %s\ntovsim: see 'tovsim --help' for the options\n",
                     parsed.error.c_str());
        return 2;
    }
    for (const std::string& note : parsed.notes) std::fprintf(stderr, "tovsim: %s\n", note.c_str());

    // A flash file that exists must be this model's and whole: the probe would otherwise run
    // from a factory image and the user's file would silently go unused.
    const tov::sim::SimOptions& o = parsed.options;
    if (!o.flashFile.empty() && access(o.flashFile.c_str(), F_OK) == 0) {
        tov::sim::ProbeFlash flash(o.model);
        tov::sim::LogicDevice logic(o.model);
        const std::string why = tov::sim::loadProbeFile(o.flashFile, o.model, flash, logic);
        if (!why.empty()) {
            std::fprintf(stderr, "tovsim: --flash-file: %s\n", why.c_str());
            return 2;
        }
    }

    // The signals are taken synchronously below; blocked before any thread starts, so the
    // worker never receives them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    tov::sim::Simulator simulator(parsed.options);
    std::string coreError;
    simulator.withProbe([&](tov::sim::Probe& probe) {
        if (probe.core()) coreError = probe.core()->error();
    });
    if (!coreError.empty()) {
        std::fprintf(stderr, "tovsim: cannot make the emulated core: %s\n", coreError.c_str());
        return 1;
    }
    int rc = simulator.start();
    if (rc != 0) {
        std::fprintf(stderr, "tovsim: cannot serve %s: %s\n", simulator.endpoints().c_str(),
                     std::strerror(-rc));
        return 1;
    }
    std::printf("ready %s\n", simulator.endpoints().c_str());
    std::fflush(stdout);

    int signalNumber = 0;
    while (sigwait(&stopSignals, &signalNumber) != 0) {
    }
    simulator.stop();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // Nothing met while starting or serving may end the program without a word.
    try {
        return run(argc, argv);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "tovsim: %s\n", error.what());
    } catch (...) {
        std::fprintf(stderr, "tovsim: unexpected failure\n");
    }
    return 1;
}
