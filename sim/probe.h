// The simulated probe's behaviour behind any transport: loader and firmware mode, the line rate
// it listens at, the link-control messages, the dispatch of request messages, and the probe's
// own flash and logic device (kept in the flash file when one is given).
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/arm_core.h"
#include "sim/chip_flash.h"
#include "sim/firmware_channels.h"
#include "sim/firmware_download.h"
#include "sim/firmware_info.h"
#include "sim/firmware_run_control.h"
#include "sim/firmware_write_mode.h"
#include "sim/flash_bank.h"
#include "sim/logic_device.h"
#include "sim/probe_flash.h"
#include "sim/sim_options.h"
#include "sim/target_memory.h"
#include "sim/target_model.h"

namespace tov::sim {

// How many requests changed the probe's own flash or its logic device, in the loader or in the
// firmware (only requests that were carried out count).
struct StorageWrites {
    uint64_t sectorErases = 0;
    uint64_t flashPrograms = 0;
    uint64_t logicErases = 0;
    uint64_t fuseRowPrograms = 0;
    uint64_t uesPrograms = 0;
};

// One probe: whichever endpoint a frame came through, it reaches this one state.
class Probe {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    // How long the probe is deaf while it restarts (loader into firmware, or back).
    static constexpr std::chrono::milliseconds kRestartSilence{500};
    // While a firmware or logic update programs, the flash file is written at most this often;
    // erases, the start marker, the session's end and the probe's end write it at once.
    static constexpr std::chrono::milliseconds kSaveInterval{250};

    static constexpr uint8_t kStartFirmware = 0x71;
    static constexpr uint8_t kUnknownRequest = 0x00;
    // Readies the probe for an on-chip flash set-up; answered 0x8C, 0.
    static constexpr uint8_t kFlashPrepare = 0x8C;

    // Starts from the flash file when one is given and readable, else from the model's factory
    // image (built with the family of --family). The probe comes up in its loader when asked
    // to, or when the flash holds no start marker; else in its firmware.
    explicit Probe(const SimOptions& options);
    ~Probe();

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
    ChipFlash& chipFlash() { return chip_; }
    TargetModel& target() { return target_; }
    // The emulated core when the options asked for one, else nullptr.
    ArmCore* core() { return core_.get(); }
    // Lets an executing target run its next slice of time.
    void runCore();
    Channels& channels() { return channels_; }
    StoredSetup& storedSetup() { return setup_; }
    const StartupRecord& startup() const { return startup_; }
    Download& download() { return download_; }
    const WriteMode& writeMode() const { return writeMode_; }
    ProbeModel model() const { return model_; }
    ProbeFlash& ownFlash() { return ownFlash_; }
    LogicDevice& logic() { return logic_; }
    // The version word of the firmware that runs (taken from the image when it started).
    uint16_t runningVersionWord() const { return runningWord_; }
    // Why the flash file could not be used (empty when it could, or when there is none). A
    // file that cannot be read is left alone: the probe runs from the factory image unsaved.
    const std::string& flashFileError() const { return flashFileError_; }
    // Writes the flash file now if anything changed since it was last written.
    void saveFlashFile();
    // Counts of the erase and program requests carried out since the probe started.
    const StorageWrites& storageWrites() const { return writes_; }
    // How many prepare requests (0x8C) the firmware answered.
    uint64_t flashPrepares() const { return flashPrepares_; }
    // The blocks given to the probe in flash write modes, in arrival order, until cleared.
    const std::vector<ProgrammedBlock>& programmedBlocks() const { return programmed_; }
    void clearProgrammedBlocks() { programmed_.clear(); }
    // Test hook: the loader's version answer is cut or padded with zero bytes to this length
    // (nothing: the model's own length), so the host meets a probe it does not know.
    void answerVersionsWithLength(std::optional<size_t> length) { versionAnswerLength_ = length; }
    // Test hook: a Read flash answer whose range holds this address of the probe's own flash
    // gives that byte inverted (nothing: reads are true), so a read-back check fails.
    void misreadFlashAt(std::optional<uint32_t> address) { misreadAddress_ = address; }

private:
    // Finishes a restart whose silence has passed.
    void settle(TimePoint now);
    std::vector<uint8_t> handleLoaderRequest(std::span<const uint8_t> message, TimePoint now);
    std::vector<uint8_t> handleFirmwareRequest(std::span<const uint8_t> message, TimePoint now);
    // The probe's own flash and the closing request, answered in either mode; nothing for
    // other requests.
    std::optional<std::vector<uint8_t>> handleStorageRequest(std::span<const uint8_t> message,
                                                             TimePoint now);
    void restart(TimePoint now, bool intoLoader);
    // Applies the misread hook to a Read flash answer.
    void misread(std::span<const uint8_t> message, std::vector<uint8_t>& answer) const;
    void startFirmware();
    // Notes a change of the stored contents and writes the file when it is due.
    void changed(std::span<const uint8_t> message, TimePoint now);

    uint32_t startRate_;
    uint32_t rate_;
    bool loader_;
    std::optional<TimePoint> restartEnds_;
    bool restartIntoLoader_ = false;
    ProbeModel model_;
    std::optional<uint16_t> loaderVersion_;  // replaces the model's loader version
    ProbeFlash ownFlash_;
    LogicDevice logic_;
    bool logicMode_ = false;
    StorageWrites writes_;
    std::optional<size_t> versionAnswerLength_;
    std::optional<uint32_t> misreadAddress_;
    uint16_t runningWord_ = 0;
    std::string flashFile_;  // empty: nothing is kept
    std::string flashFileError_;
    bool dirty_ = false;
    TimePoint lastSave_{};
    uint8_t family_;
    uint16_t cpu_;
    TargetMemory memory_;
    FlashBanks flash_;
    ChipFlash chip_;
    uint64_t flashPrepares_ = 0;
    std::vector<ProgrammedBlock> programmed_;
    TargetModel target_;
    std::unique_ptr<ArmCore> core_;
    Channels channels_;
    StoredSetup setup_;
    StartupRecord startup_;
    WriteMode writeMode_;
    Download download_;
};

}  // namespace tov::sim
