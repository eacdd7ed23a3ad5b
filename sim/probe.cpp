// The simulated probe: mode, line rate, link-control answers, request dispatch and the keeping
// of its own flash.
#include "sim/probe.h"

#include <sys/stat.h>

#include "link/frame_header.h"
#include "sim/firmware_commands.h"
#include "sim/firmware_flash_erase.h"
#include "sim/firmware_items.h"
#include "sim/firmware_memory.h"
#include "sim/firmware_points.h"
#include "sim/firmware_registers.h"
#include "sim/firmware_terminal.h"
#include "sim/loader.h"
#include "sim/probe_flash_file.h"
#include "sim/wire.h"

namespace tov::sim {
namespace {

// The logic version a factory device carries: its family's logic base plus 3. Families the
// host's table does not know use the base 8000 of the setup program's family.
uint32_t factoryLogicNumber(uint8_t family) {
    switch (family) {
        case 0:
            return 3;
        case 5:
            return 1003;
        case 6:
            return 2003;
        case 7:
            return 3003;
        case 8:
        case 10:
            return 4003;
        case 11:
            return 6003;
        case 17:
        case 27:
            return 7003;
        case 20:
            return 9003;
        case 30:
            return 10003;
        case 33:
            return 11003;
        default:
            return 8003;
    }
}

uint8_t familyOfWord(uint16_t word) {
    return static_cast<uint8_t>(word < 0xC000 ? word >> 12 : (word - 0xC000) >> 8);
}

// Requests that cannot change target memory; any other one makes the emulated core look at the
// memory again before it next runs.
bool leavesMemory(uint8_t code) {
    switch (code) {
        case kTargetState:
        case kReadMemoryPiece:
        case kGetByte:
        case kGetWord:
        case kGetLong:
        case kReadRegisters:
        case kWriteRegisters:
        case kTargetStart:
        case kTargetHalt:
        case kTargetStep:
        case kProbeInfo:
        case kBreakAdd:
        case kBreakRead:
        case kBreakDelete:
        case kWatchAdd:
        case kWatchDelete:
        case kTerminalRead:
        case kTerminalWrite:
            return true;
        default:
            return false;
    }
}

// The time an executing core runs between two looks at the link: short enough that the link's
// requests are answered within a few milliseconds, long enough that starting and ending a
// slice costs next to nothing.
constexpr std::chrono::microseconds kSlice{2000};

bool fileExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

}  // namespace

Probe::Probe(const SimOptions& options)
    : startRate_(options.rate),
      rate_(options.rate),
      loader_(options.loader),
      model_(options.model),
      loaderVersion_(options.loaderVersion),
      ownFlash_(factoryFlash(options.model, versionWord(options.family, options.firmwareVersion))),
      logic_(factoryLogic(options.model, factoryLogicNumber(options.family))),
      family_(options.family),
      cpu_(options.cpu),
      memory_(options.unmappedFirst, options.unmappedLast, options.bigEndian),
      flash_(options.flashBanks, options.flashFailErase, options.flashTiming),
      chip_(options.chipFlash, options.flashFailErase) {
    target_.setBigEndian(options.bigEndian);
    if (!options.flashFile.empty()) {
        if (!fileExists(options.flashFile)) {
            flashFile_ = options.flashFile;
            dirty_ = true;
            saveFlashFile();
        } else if (flashFileError_ = loadProbeFile(options.flashFile, model_, ownFlash_, logic_);
                   flashFileError_.empty()) {
            flashFile_ = options.flashFile;
        }
    }
    if (options.core == CoreKind::Arm1136) {
        core_ = std::make_unique<ArmCore>(memory_, flash_, chip_);
        target_.setEngine(core_.get());
    }
    setup_ = ownFlash_.storedSetup();
    loader_ = loader_ || !ownFlash_.startMarkerPresent();
    if (!loader_) startFirmware();
}

Probe::~Probe() {
    saveFlashFile();
}

void Probe::runCore() {
    target_.runSlice(kSlice);
}

void Probe::saveFlashFile() {
    if (!dirty_ || flashFile_.empty()) return;
    const std::string why = saveProbeFile(flashFile_, ownFlash_, logic_);
    if (why.empty()) {
        dirty_ = false;
    } else {
        flashFileError_ = why;
    }
    lastSave_ = std::chrono::steady_clock::now();
}

void Probe::startFirmware() {
    runningWord_ = ownFlash_.firmwareVersionWord();
    family_ = familyOfWord(runningWord_);
    logicMode_ = false;
}

void Probe::restart(TimePoint now, bool intoLoader) {
    restartEnds_ = now + kRestartSilence;
    restartIntoLoader_ = intoLoader;
    logicMode_ = false;
    saveFlashFile();
}

void Probe::settle(TimePoint now) {
    if (restartEnds_ && now >= *restartEnds_) {
        restartEnds_.reset();
        loader_ = restartIntoLoader_;
        rate_ = startRate_;
        if (!loader_) startFirmware();
    }
}

void Probe::changed(std::span<const uint8_t> message, TimePoint now) {
    dirty_ = true;
    switch (message[0]) {
        case kEraseSector:
            ++writes_.sectorErases;
            break;
        case kProgramFlash:
            ++writes_.flashPrograms;
            break;
        case kEraseLogic:
            ++writes_.logicErases;
            break;
        case kProgramFuseRow:
            ++writes_.fuseRowPrograms;
            break;
        case kProgramUes:
            ++writes_.uesPrograms;
            break;
        default:
            break;
    }
    bool urgent = message[0] == kEraseSector || message[0] == kProgramUes;
    if (message.size() >= 5) {
        const uint32_t address = readU32(message, 1);
        const uint32_t setup = ownFlash_.layout().setupAddress;
        if (ownFlash_.contains(address, 1) && ownFlash_.sectorStart(address) == setup) {
            setup_ = ownFlash_.storedSetup();
        }
        // The start marker is the last thing a firmware update programs.
        urgent =
            urgent || (message[0] == kProgramFlash && address == ownFlash_.layout().markerAddress);
    }
    if (urgent || now - lastSave_ >= kSaveInterval) saveFlashFile();
}

void Probe::misread(std::span<const uint8_t> message, std::vector<uint8_t>& answer) const {
    constexpr size_t kDataOffset = 7;
    if (!misreadAddress_ || message.size() < 7 || answer.size() <= kDataOffset) return;
    const uint32_t address = readU32(message, 1);
    if (*misreadAddress_ < address || *misreadAddress_ - address >= answer.size() - kDataOffset) {
        return;
    }
    answer[kDataOffset + (*misreadAddress_ - address)] ^= 0xFF;
}

std::optional<std::vector<uint8_t>> Probe::handleStorageRequest(std::span<const uint8_t> message,
                                                                TimePoint now) {
    std::vector<uint8_t> answer;
    switch (message[0]) {
        case kReadFlash:
            answer = readFlash(ownFlash_, message);
            misread(message, answer);
            return answer;
        case kEraseSector:
            answer = eraseSector(ownFlash_, message);
            break;
        case kProgramFlash:
            answer = programFlash(ownFlash_, message);
            break;
        case kClosingRequest:
            // The end of a transfer: what was written is kept now.
            saveFlashFile();
            return std::vector<uint8_t>{kClosingRequest};
        default:
            return std::nullopt;
    }
    if (answer.at(1) == static_cast<uint8_t>(FlashStatus::Done)) changed(message, now);
    return answer;
}

bool Probe::listening(TimePoint now) {
    settle(now);
    return !restartEnds_;
}

uint32_t Probe::listeningRate(TimePoint now) {
    settle(now);
    return rate_;
}

bool Probe::inLoader(TimePoint now) {
    settle(now);
    return loader_;
}

std::optional<std::vector<uint8_t>> Probe::handleLink(std::span<const uint8_t> message,
                                                      TimePoint now) {
    settle(now);
    if (message.size() == 1 && message[0] == link::kLinkPing) {
        return std::vector<uint8_t>{link::kLinkPing};
    }
    if (message.size() == 5 && message[0] == link::kLinkRateChange) {
        const uint32_t wanted = readU32(message, 1);
        for (uint32_t rate : link::kLineRates) {
            if (rate == wanted) rate_ = wanted;
        }
        std::vector<uint8_t> answer{link::kLinkRateChange};
        appendU32(answer, rate_);
        return answer;
    }
    return std::nullopt;
}

std::vector<uint8_t> Probe::handleRequest(std::span<const uint8_t> message, TimePoint now) {
    settle(now);
    if (message.empty()) return {kUnknownRequest};
    if (auto answer = handleStorageRequest(message, now)) return *answer;
    return loader_ ? handleLoaderRequest(message, now) : handleFirmwareRequest(message, now);
}

std::vector<uint8_t> Probe::handleLoaderRequest(std::span<const uint8_t> message, TimePoint now) {
    FactoryIdentity identity = factoryIdentity(model_);
    if (loaderVersion_) identity.loaderVersion = *loaderVersion_;
    const LoaderContext context{model_, identity, ownFlash_, logic_, logicMode_};
    switch (message[0]) {
        case kStartFirmware:
            if (message.size() != 1) break;
            // The loader checks the start marker and jumps into the firmware, which comes up at
            // the start rate after a while. Without the marker the jump fails and the probe
            // comes up in its loader again, after the same silence.
            restart(now, !ownFlash_.startMarkerPresent());
            return {kStartFirmware};
        case kReadVersions: {
            std::vector<uint8_t> answer = readVersions(context, message);
            if (versionAnswerLength_) answer.resize(*versionAnswerLength_, 0);
            return answer;
        }
        case kLogicMode:
        case kReadLogicId:
        case kReadFuseRow:
        case kProgramFuseRow:
        case kReadUes:
        case kProgramUes:
        case kEraseLogic: {
            std::vector<uint8_t> answer = logicRequest(context, message);
            if (changesStorage(message[0]) && answer.size() == 2 && answer[1] == 0) {
                changed(message.first(1), now);
            }
            if (message[0] == kLogicMode && !logicMode_) saveFlashFile();
            return answer;
        }
        default:
            break;
    }
    // Enter loader is not the loader's: it answers 0x00 and the host stays on the link.
    return {kUnknownRequest};
}

std::vector<uint8_t> Probe::handleFirmwareRequest(std::span<const uint8_t> message, TimePoint now) {
    if (core_ && !leavesMemory(message[0])) core_->memoryChanged();
    TargetBus bus(memory_, flash_, chip_);
    WriteTargets targets{memory_, flash_, chip_, &programmed_};
    switch (message[0]) {
        case kEnterLoader:
            if (message.size() != 1) return {kUnknownRequest};
            // The firmware hands over to the loader: it answers, falls silent, and the loader
            // comes up at the start rate.
            restart(now, true);
            return {kEnterLoader};
        case kReadMemoryPiece:
            return readMemoryPiece(bus, message);
        case kWriteMemoryPiece:
            return writeMemoryPiece(bus, message);
        case kSetByte:
        case kSetWord:
        case kSetLong:
        case kGetByte:
        case kGetWord:
        case kGetLong:
            return singleItem(bus, message, target_.bigEndian());
        case kTargetStart:
            return targetStart(target_, message);
        case kTargetHalt:
            return targetHalt(target_, message);
        case kResetTarget:
            return targetReset(target_, message);
        case kTargetStep:
            return targetStep(target_, message);
        case kTargetState:
            return targetState(target_, message);
        case kTargetStartup:
            return targetStartup(target_, memory_, startup_, message);
        case kDebugClock:
            return debugClockSpeed(target_, message);
        case kProbeInfo:
            return probeInfo(runningWord_, cpu_, setup_, message);
        case kReadRegisters:
            return readRegisters(target_, message);
        case kWriteRegisters:
            return writeRegisters(target_, message);
        case kReadFpRegisters:
            return readFpRegisters(target_, message);
        case kWriteFpRegisters:
            return writeFpRegisters(target_, message);
        case kReadVectorRegisters:
            return readVectorRegisters(target_, message);
        case kWriteVectorRegisters:
            return writeVectorRegisters(target_, message);
        case kBreakAdd:
            return breakAdd(target_.points(), message);
        case kBreakRead:
            return breakRead(target_.points(), message);
        case kBreakDelete:
            return breakDelete(target_.points(), message);
        case kWatchAdd:
            return watchAdd(target_.points(), message);
        case kWatchDelete:
            return watchDelete(target_.points(), message);
        case kTerminalRead:
            return terminalRead(target_.terminal(), message);
        case kTerminalWrite:
            return terminalWrite(target_.terminal(), message);
        case kChannelRead:
            return channelRead(channels_, message);
        case kChannelWrite:
            return channelWrite(channels_, message);
        case kDownloadStart:
            return download_.start(message);
        case kDownloadBlock:
            return download_.block(message, writeMode_, targets);
        case kSetWriteMode:
            return setWriteMode(writeMode_, targets, message);
        case kWriteBlock:
            return writeBlock(writeMode_, targets, message);
        case kFlashPrepare:
            if (message.size() != 1) return {kUnknownRequest};
            ++flashPrepares_;
            return {kFlashPrepare, 0};
        case kFlashErase:
            return flashErase(targets, message);
        case kFlashEraseResult:
            return flashEraseResult(targets, message);
        case kDirectCommand:
            return directCommand(CommandContext{target_, channels_, setup_, family_, cpu_},
                                 message);
        case kStartFirmware:
            // Every host session begins with this request. The firmware is running already, so
            // it is not understood, but the session's transfer state starts afresh: the host
            // takes a new connection to be in write mode.
            writeMode_ = WriteMode{};
            return {kUnknownRequest};
        default:
            return {kUnknownRequest};
    }
}

}  // namespace tov::sim
