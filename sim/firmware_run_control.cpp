// Run control, state and startup requests of the simulated firmware.
#include "sim/firmware_run_control.h"

#include "sim/wire.h"

namespace tov::sim {
namespace {

constexpr size_t kStartupHeader = 1 + 2 + 4 + 2;
constexpr size_t kStartupEntrySize = 2 + 4 + 4;

constexpr uint16_t kWriteMem8 = 2;
constexpr uint16_t kWriteMem16 = 3;
constexpr uint16_t kWriteMem32 = 4;
constexpr uint16_t kWriteGpr = 5;
constexpr uint16_t kFirstCoprocessorType = 7;
constexpr uint16_t kLastCoprocessorType = 22;

// Runs one init entry; its status.
int16_t runEntry(TargetModel& target, TargetMemory& memory, const StartupRecord::Entry& e) {
    auto writeMemory = [&](size_t width) {
        std::vector<uint8_t> bytes;
        appendU32(bytes, e.value);
        bool ok = memory.write(e.address, std::span<const uint8_t>(bytes).last(width));
        return ok ? kStatusOk : kStatusBadAddress;
    };
    auto writeRegister = [&](uint16_t group) {
        if (e.address > 0xFFFF) return kStatusInvalidParameter;
        bool ok = target.registers().write(group, static_cast<uint16_t>(e.address), e.value);
        return ok ? kStatusOk : kStatusInvalidParameter;
    };
    switch (e.kind) {
        case kWriteMem8:
            return writeMemory(1);
        case kWriteMem16:
            return writeMemory(2);
        case kWriteMem32:
            return writeMemory(4);
        case kWriteGpr:
            return writeRegister(RegisterFile::kGroupCurrent);
        default:
            break;
    }
    if (e.kind >= kFirstCoprocessorType && e.kind <= kLastCoprocessorType) {
        const int coprocessor = kLastCoprocessorType - e.kind;
        if (coprocessor == 15) return writeRegister(RegisterFile::kGroupCp15);
        if (coprocessor == 0) return writeRegister(RegisterFile::kGroupCp0);
    }
    return kStatusOk;
}

}  // namespace

std::vector<uint8_t> targetStart(TargetModel& target, std::span<const uint8_t> request) {
    if (request.size() != 1) return statusAnswer(kTargetStart, kStatusInvalidParameter);
    return statusAnswer(kTargetStart, target.start());
}

std::vector<uint8_t> targetHalt(TargetModel& target, std::span<const uint8_t> request) {
    if (request.size() != 1) return statusAnswer(kTargetHalt, kStatusInvalidParameter);
    return statusAnswer(kTargetHalt, target.halt());
}

std::vector<uint8_t> targetReset(TargetModel& target, std::span<const uint8_t> request) {
    if (request.size() != 4) return {kUnknownRequestAnswer};
    target.reset(readU16(request, 2));
    return {kResetTarget};
}

std::vector<uint8_t> targetStep(TargetModel& target, std::span<const uint8_t> request) {
    std::vector<uint8_t> answer{kTargetStep};
    uint32_t pc = target.registers().pc();
    int16_t status = kStatusInvalidParameter;
    if (request.size() == 1 + 4 + 4 + 2) status = target.step(pc);
    appendStatus(answer, status);
    appendU32(answer, pc);
    return answer;
}

std::vector<uint8_t> targetState(TargetModel& target, std::span<const uint8_t> request) {
    if (request.size() != 1) return {kUnknownRequestAnswer};
    target.poll();
    const TargetModel::Report report = target.report();
    std::vector<uint8_t> answer{kTargetState, static_cast<uint8_t>(report.state)};
    appendStatus(answer, report.error);
    appendU32(answer, report.value);
    answer.push_back(static_cast<uint8_t>(report.values.size()));
    for (uint32_t v : report.values) appendU32(answer, v);
    return answer;
}

std::vector<uint8_t> targetStartup(TargetModel& target, TargetMemory& memory, StartupRecord& record,
                                   std::span<const uint8_t> request) {
    if (request.size() < kStartupHeader) {
        return statusAnswer(kTargetStartup, kStatusInvalidParameter);
    }
    const uint16_t count = readU16(request, 7);
    if (count > StartupRecord::kMaxEntries ||
        request.size() != kStartupHeader + kStartupEntrySize * count) {
        return statusAnswer(kTargetStartup, kStatusInvalidParameter);
    }
    record.value = readU16(request, 1);
    record.parameter = readU32(request, 3);
    record.entries.clear();
    for (size_t at = kStartupHeader; at < request.size(); at += kStartupEntrySize) {
        record.entries.push_back(
            {readU16(request, at), readU32(request, at + 2), readU32(request, at + 6)});
    }
    target.reset(record.value);
    int16_t status = kStatusOk;
    for (const StartupRecord::Entry& entry : record.entries) {
        status = runEntry(target, memory, entry);
        if (status != kStatusOk) break;
    }
    return statusAnswer(kTargetStartup, status);
}

std::vector<uint8_t> debugClockSpeed(TargetModel& target, std::span<const uint8_t> request) {
    if (request.size() != 5) return {kUnknownRequestAnswer};
    target.setDebugClock(readU32(request, 1));
    return {kDebugClock};
}

}  // namespace tov::sim
