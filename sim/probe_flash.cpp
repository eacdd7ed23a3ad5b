// The probe's own flash: sector arithmetic, erase and program rules, the image's records and
// the factory contents per model.
#include "sim/probe_flash.h"

#include <algorithm>

#include "sim/wire.h"

namespace tov::sim {
namespace {

constexpr uint32_t kKiB = 1024;

const ProbeFlashLayout kLayoutX{
    0x00080000,
    {16 * kKiB, 8 * kKiB, 8 * kKiB, 32 * kKiB, 64 * kKiB, 128 * kKiB, 128 * kKiB, 128 * kKiB},
    {0x00084000, 0x000A0000, 0x000C0000, 0x000E0000},
    0x000A0000,
    0x00084000,
    std::nullopt,
    true};

const ProbeFlashLayout kLayoutB{
    0x01000000,
    {32 * kKiB, 16 * kKiB, 16 * kKiB, 64 * kKiB, 128 * kKiB, 256 * kKiB, 256 * kKiB, 256 * kKiB},
    {0x0100C000, 0x01040000, 0x01080000, 0x010C0000},
    0x01040000,
    0x0100C000,
    0x01008000,
    false};

const ProbeFlashLayout kLayoutA{
    0x00080000,
    {16 * kKiB, 8 * kKiB, 8 * kKiB, 32 * kKiB, 64 * kKiB, 128 * kKiB, 128 * kKiB, 128 * kKiB},
    {0x00086000, 0x000A0000, 0x000C0000, 0x000E0000},
    0x000A0000,
    0x00086000,
    0x00084000,
    false};

}  // namespace

uint32_t ProbeFlashLayout::size() const {
    uint32_t total = 0;
    for (uint32_t s : sectorSizes) total += s;
    return total;
}

const ProbeFlashLayout& probeFlashLayout(ProbeModel model) {
    switch (model) {
        case ProbeModel::X:
            return kLayoutX;
        case ProbeModel::A:
            return kLayoutA;
        case ProbeModel::B:
        case ProbeModel::BC:
            break;
    }
    return kLayoutB;
}

ProbeFlash::ProbeFlash(ProbeModel model)
    : model_(model), layout_(&probeFlashLayout(model)), bytes_(layout_->size(), 0xFF) {}

bool ProbeFlash::contains(uint32_t address, size_t length) const {
    if (address < layout_->base) return false;
    const uint64_t offset = address - layout_->base;
    return offset + length <= bytes_.size() && offset < bytes_.size();
}

uint32_t ProbeFlash::sectorStart(uint32_t address) const {
    uint32_t start = layout_->base;
    for (uint32_t size : layout_->sectorSizes) {
        if (address < start + size) return start;
        start += size;
    }
    return start;
}

uint32_t ProbeFlash::sectorSize(uint32_t address) const {
    uint32_t start = layout_->base;
    for (uint32_t size : layout_->sectorSizes) {
        if (address < start + size) return size;
        start += size;
    }
    return 0;
}

FlashStatus ProbeFlash::eraseSector(uint32_t address) {
    if (!contains(address, 1)) return FlashStatus::OutOfRange;
    const uint32_t start = sectorStart(address);
    if (start == layout_->base) return FlashStatus::Protected;
    auto first = bytes_.begin() + (start - layout_->base);
    std::fill(first, first + sectorSize(address), 0xFF);
    return FlashStatus::Done;
}

FlashStatus ProbeFlash::program(uint32_t address, std::span<const uint8_t> data) {
    if (layout_->wordProgramming && ((address | data.size()) & 1) != 0) {
        return FlashStatus::Malformed;
    }
    if (data.empty()) return contains(address, 1) ? FlashStatus::Done : FlashStatus::OutOfRange;
    if (!contains(address, data.size())) return FlashStatus::OutOfRange;
    const uint32_t loaderEnd = layout_->base + layout_->sectorSizes.front();
    if (address < loaderEnd) return FlashStatus::Protected;
    const size_t offset = address - layout_->base;
    for (size_t i = 0; i < data.size(); ++i) {
        if ((bytes_[offset + i] & data[i]) != data[i]) return FlashStatus::NotErased;
    }
    std::copy(data.begin(), data.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(offset));
    return FlashStatus::Done;
}

std::optional<std::vector<uint8_t>> ProbeFlash::read(uint32_t address, size_t length) const {
    if (length == 0) return std::vector<uint8_t>{};
    if (!contains(address, length)) return std::nullopt;
    auto first = bytes_.begin() + (address - layout_->base);
    return std::vector<uint8_t>(first, first + static_cast<std::ptrdiff_t>(length));
}

bool ProbeFlash::startMarkerPresent() const {
    auto marker = read(layout_->markerAddress, kStartMarker.size());
    return marker && std::equal(marker->begin(), marker->end(), kStartMarker.begin());
}

uint16_t ProbeFlash::firmwareVersionWord() const {
    return readU16(bytes_, layout_->markerAddress + kVersionRecordOffset - layout_->base);
}

StoredSetup ProbeFlash::storedSetup() const {
    const size_t at = layout_->setupAddress - layout_->base;
    StoredSetup setup;
    if (readU32(bytes_, at) != kSetupMagic) return setup;
    setup.time = readU32(bytes_, at + kSetupTimeOffset);
    for (size_t i = 0; i < StoredSetup::kMaxId; ++i) {
        const uint8_t c = bytes_[at + kSetupIdOffset + i];
        if (c == 0x00 || c == 0xFF) break;
        setup.id.push_back(static_cast<char>(c));
    }
    return setup;
}

bool ProbeFlash::replace(std::vector<uint8_t> bytes) {
    if (bytes.size() != bytes_.size()) return false;
    bytes_ = std::move(bytes);
    return true;
}

FactoryIdentity factoryIdentity(ProbeModel model) {
    switch (model) {
        case ProbeModel::X:
            return {21, ""};
        case ProbeModel::B:
            return {103, "12345678"};
        case ProbeModel::BC:
            return {103, "12345679RC"};
        case ProbeModel::A:
            return {104, "31415926"};
    }
    return {0, ""};
}

std::vector<uint8_t> networkRecord(const std::string& serial, uint32_t ip, uint32_t mask,
                                   uint32_t gateway) {
    std::vector<uint8_t> record{0x02, 0xC1, 0xA5};
    for (size_t i = 0; i < 6; i += 2) {
        const int first = i < serial.size() ? serial[i] : 0;
        const int second = i + 1 < serial.size() ? serial[i + 1] : 0;
        record.push_back(static_cast<uint8_t>(16 * first + second - 48));
    }
    record.push_back(0xFF);
    record.push_back(0xFF);
    appendU32(record, ip);
    appendU32(record, mask);
    appendU32(record, gateway);
    return record;
}

ProbeFlash factoryFlash(ProbeModel model, uint16_t firmwareWord) {
    ProbeFlash flash(model);
    const ProbeFlashLayout& layout = flash.layout();
    std::vector<uint8_t> all = flash.bytes();

    // Something that looks like code in the loader sector, so reads of it are not all 0xFF.
    uint32_t seed = 0x4C4F4144u ^ static_cast<uint32_t>(model);
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return static_cast<uint8_t>(seed >> 16);
    };
    for (size_t i = 0; i < 0x1800; ++i) all[i] = next();

    // The firmware image: header, then 96 KiB of code.
    const size_t image = layout.markerAddress - layout.base;
    all[image + kVersionRecordOffset] = static_cast<uint8_t>(firmwareWord >> 8);
    all[image + kVersionRecordOffset + 1] = static_cast<uint8_t>(firmwareWord);
    for (size_t i = 0; i < 96 * 1024; ++i) all[image + kFirmwareCodeOffset + i] = next();
    std::copy(kStartMarker.begin(), kStartMarker.end(), all.begin() + image);

    if (layout.networkAddress) {
        const auto record =
            networkRecord(factoryIdentity(model).serial, 0xC0A80164, 0xFFFFFF00, 0xC0A80101);
        std::copy(record.begin(), record.end(),
                  all.begin() + (*layout.networkAddress - layout.base));
    }
    flash.replace(std::move(all));
    return flash;
}

}  // namespace tov::sim
