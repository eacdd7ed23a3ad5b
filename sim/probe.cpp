// The simulated probe: mode, line rate, link-control answers and request dispatch.
#include "sim/probe.h"

#include "link/frame_header.h"
#include "sim/firmware_commands.h"
#include "sim/firmware_flash_erase.h"
#include "sim/firmware_items.h"
#include "sim/firmware_memory.h"
#include "sim/firmware_points.h"
#include "sim/firmware_registers.h"
#include "sim/firmware_terminal.h"
#include "sim/wire.h"

namespace tov::sim {

Probe::Probe(const SimOptions& options)
    : startRate_(options.rate),
      rate_(options.rate),
      loader_(options.loader),
      family_(options.family),
      cpu_(options.cpu),
      memory_(options.unmappedFirst, options.unmappedLast),
      flash_(options.flashBanks, options.flashFailErase, options.flashTiming) {}

void Probe::settle(TimePoint now) {
    if (restartEnds_ && now >= *restartEnds_) {
        restartEnds_.reset();
        loader_ = false;
        rate_ = startRate_;
    }
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
    return loader_ ? handleLoaderRequest(message, now) : handleFirmwareRequest(message);
}

std::vector<uint8_t> Probe::handleLoaderRequest(std::span<const uint8_t> message, TimePoint now) {
    if (message[0] == kStartFirmware && message.size() == 1) {
        // The loader jumps into the firmware, which comes up at the start rate after a while.
        restartEnds_ = now + kRestartSilence;
        return {kStartFirmware};
    }
    return {kUnknownRequest};
}

std::vector<uint8_t> Probe::handleFirmwareRequest(std::span<const uint8_t> message) {
    TargetBus bus(memory_, flash_);
    switch (message[0]) {
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
            return singleItem(bus, message);
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
            return probeInfo(family_, cpu_, setup_, message);
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
            return download_.block(message, writeMode_, memory_, flash_);
        case kSetWriteMode:
            return setWriteMode(writeMode_, memory_, flash_, message);
        case kWriteBlock:
            return writeBlock(writeMode_, memory_, flash_, message);
        case kFlashErase:
            return flashErase(flash_, memory_, message);
        case kFlashEraseResult:
            return flashEraseResult(flash_, message);
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
