// Register requests of the simulated firmware.
#include "sim/firmware_registers.h"

#include <algorithm>
#include <optional>

#include "link/frame_header.h"
#include "sim/wire.h"

namespace tov::sim {
namespace {

constexpr size_t kListHeader = 1 + 2;   // code, count
constexpr size_t kRangeHeader = 1 + 4;  // code, first, last

// A register file of fixed-size registers: its bytes and the size of one register.
struct Bank {
    std::span<uint8_t> bytes;
    size_t size;
};

// The byte range of registers first..last, or nothing when it is empty or leaves the file.
std::optional<std::span<uint8_t>> rangeOf(Bank bank, std::span<const uint8_t> request) {
    const uint16_t first = readU16(request, 1);
    const uint16_t last = readU16(request, 3);
    const size_t count = bank.bytes.size() / bank.size;
    if (first > last || last >= count) return std::nullopt;
    return bank.bytes.subspan(first * bank.size, (last - first + 1u) * bank.size);
}

std::vector<uint8_t> readRange(TargetModel& target, Bank bank, uint8_t code,
                               std::span<const uint8_t> request) {
    if (!target.halted()) return statusAnswer(code, kStatusNotInDebugMode);
    if (request.size() != kRangeHeader) return statusAnswer(code, kStatusInvalidParameter);
    auto range = rangeOf(bank, request);
    if (!range) return statusAnswer(code, kStatusInvalidParameter);
    std::vector<uint8_t> answer = statusAnswer(code, kStatusOk);
    answer.insert(answer.end(), range->begin(), range->end());
    return answer;
}

std::vector<uint8_t> writeRange(TargetModel& target, Bank bank, uint8_t code,
                                std::span<const uint8_t> request) {
    if (!target.halted()) return statusAnswer(code, kStatusNotInDebugMode);
    if (request.size() < kRangeHeader) return statusAnswer(code, kStatusInvalidParameter);
    auto range = rangeOf(bank, request);
    if (!range || request.size() != kRangeHeader + range->size()) {
        return statusAnswer(code, kStatusInvalidParameter);
    }
    std::copy(request.begin() + kRangeHeader, request.end(), range->begin());
    return statusAnswer(code, kStatusOk);
}

}  // namespace

std::vector<uint8_t> readRegisters(TargetModel& target, std::span<const uint8_t> request) {
    if (!target.halted()) return statusAnswer(kReadRegisters, kStatusNotInDebugMode);
    if (request.size() < kListHeader) return statusAnswer(kReadRegisters, kStatusInvalidParameter);
    const uint16_t count = readU16(request, 1);
    if (request.size() != kListHeader + 4u * count ||
        kListHeader + 2 + 4u * count > link::kMaxMessage) {
        return statusAnswer(kReadRegisters, kStatusInvalidParameter);
    }
    std::vector<uint8_t> answer = statusAnswer(kReadRegisters, kStatusOk);
    appendU16(answer, count);
    for (size_t at = kListHeader; at < request.size(); at += 4) {
        auto value = target.registers().read(readU16(request, at), readU16(request, at + 2));
        if (!value) return statusAnswer(kReadRegisters, kStatusInvalidParameter);
        appendU32(answer, *value);
    }
    return answer;
}

std::vector<uint8_t> writeRegisters(TargetModel& target, std::span<const uint8_t> request) {
    if (!target.halted()) return statusAnswer(kWriteRegisters, kStatusNotInDebugMode);
    if (request.size() < kListHeader || request.size() != kListHeader + 8u * readU16(request, 1)) {
        return statusAnswer(kWriteRegisters, kStatusInvalidParameter);
    }
    RegisterFile& registers = target.registers();
    for (size_t at = kListHeader; at < request.size(); at += 8) {
        if (!registers.known(readU16(request, at), readU16(request, at + 2))) {
            return statusAnswer(kWriteRegisters, kStatusInvalidParameter);
        }
    }
    // In list order: a later write to the CPSR changes the bank of later group-600 entries.
    for (size_t at = kListHeader; at < request.size(); at += 8) {
        registers.write(readU16(request, at), readU16(request, at + 2), readU32(request, at + 4));
    }
    return statusAnswer(kWriteRegisters, kStatusOk);
}

std::vector<uint8_t> readFpRegisters(TargetModel& target, std::span<const uint8_t> request) {
    Bank bank{target.registers().fpBytes(), RegisterFile::kFpSize};
    return readRange(target, bank, kReadFpRegisters, request);
}

std::vector<uint8_t> readVectorRegisters(TargetModel& target, std::span<const uint8_t> request) {
    Bank bank{target.registers().vectorBytes(), RegisterFile::kVectorSize};
    return readRange(target, bank, kReadVectorRegisters, request);
}

std::vector<uint8_t> writeFpRegisters(TargetModel& target, std::span<const uint8_t> request) {
    Bank bank{target.registers().fpBytes(), RegisterFile::kFpSize};
    return writeRange(target, bank, kWriteFpRegisters, request);
}

std::vector<uint8_t> writeVectorRegisters(TargetModel& target, std::span<const uint8_t> request) {
    Bank bank{target.registers().vectorBytes(), RegisterFile::kVectorSize};
    return writeRange(target, bank, kWriteVectorRegisters, request);
}

}  // namespace tov::sim
