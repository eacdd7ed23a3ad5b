// The simulated probe's behaviour behind any transport: loader and firmware mode, the line rate
// it listens at, the link-control messages and the dispatch of request messages.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "sim/firmware_channels.h"
#include "sim/firmware_download.h"
#include "sim/firmware_info.h"
#include "sim/firmware_run_control.h"
#include "sim/firmware_write_mode.h"
#include "sim/flash_bank.h"
#include "sim/sim_options.h"
#include "sim/target_memory.h"
#include "sim/target_model.h"

namespace tov::sim {

// One probe: whichever endpoint a frame came through, it reaches this one state.
class Probe {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    // How long the probe is deaf while it restarts from its loader into the firmware.
    static constexpr std::chrono::milliseconds kRestartSilence{500};

    static constexpr uint8_t kStartFirmware = 0x71;
    static constexpr uint8_t kUnknownRequest = 0x00;

    explicit Probe(const SimOptions& options);

    // Answers a link-control message (the frame payload after its header): the ping message
    // 01 and the line-rate change 03 RATE. Returns nothing for anything else. A rate change
    // takes effect at once; the caller sends its answer at the rate it read before the call.
    std::optional<std::vector<uint8_t>> handleLink(std::span<const uint8_t> message, TimePoint now);

    // Answers a request message. Unknown requests get the one-byte message 0x00. An empty
    // answer means the probe sends nothing (a download block it does not answer).
    std::vector<uint8_t> handleRequest(std::span<const uint8_t> message, TimePoint now);

    // False while the probe restarts (it hears nothing then).
    bool listening(TimePoint now);
    uint32_t listeningRate(TimePoint now);
    bool inLoader(TimePoint now);

    TargetMemory& memory() { return memory_; }
    FlashBanks& flash() { return flash_; }
    TargetModel& target() { return target_; }
    Channels& channels() { return channels_; }
    StoredSetup& storedSetup() { return setup_; }
    const StartupRecord& startup() const { return startup_; }
    Download& download() { return download_; }
    const WriteMode& writeMode() const { return writeMode_; }

private:
    // Finishes a restart whose silence has passed.
    void settle(TimePoint now);
    std::vector<uint8_t> handleLoaderRequest(std::span<const uint8_t> message, TimePoint now);
    std::vector<uint8_t> handleFirmwareRequest(std::span<const uint8_t> message);

    uint32_t startRate_;
    uint32_t rate_;
    bool loader_;
    std::optional<TimePoint> restartEnds_;
    uint8_t family_;
    uint16_t cpu_;
    TargetMemory memory_;
    FlashBanks flash_;
    TargetModel target_;
    Channels channels_;
    StoredSetup setup_;
    StartupRecord startup_;
    WriteMode writeMode_;
    Download download_;
};

}  // namespace tov::sim
