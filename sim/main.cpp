// tovsim: the probe simulator as a program. Serves until SIGTERM or SIGINT.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "include/tovlink.h"
#include "sim/firmware_info.h"
#include "sim/logic_device.h"
#include "sim/probe_flash.h"
#include "sim/probe_flash_file.h"
#include "sim/sim_options.h"
#include "sim/simulator.h"
#include "sim/update_files.h"

namespace {

// --write-update-files: both files or an error, and where they went.
int writeUpdateFiles(const tov::sim::ParsedCommandLine& parsed) {
    tov::sim::UpdateFilesRequest request;
    request.dir = *parsed.updateFilesDir;
    request.model = parsed.options.model;
    request.family = parsed.options.family;
    request.firmwareVersion =
        parsed.writtenFirmwareVersion.value_or(tov::sim::kFirmwareVersion + 1);
    request.logicVersion = parsed.logicVersion.value_or(request.logicVersion);
    if (!tov::sim::updateFileNames(request.family, request.model)) {
        std::fprintf(
            stderr,
            "tovsim: no update files are known for family %u on model %s\n"
            "tovsim: try --model B, or a family index that 'tov update' takes (see tovsim(1))\n",
            unsigned{request.family}, tov::sim::modelName(request.model));
        return 2;
    }
    const tov::sim::WrittenUpdateFiles written = tov::sim::writeUpdateFiles(request);
    if (!written.error.empty()) {
        std::fprintf(stderr, "tovsim: --write-update-files: %s\n", written.error.c_str());
        return 1;
    }
    std::printf("firmware %s\nlogic    %s\n", written.firmwarePath.c_str(),
                written.logicPath.c_str());
    return 0;
}

}  // namespace

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
    if (parsed.updateFilesDir) return writeUpdateFiles(parsed);

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
