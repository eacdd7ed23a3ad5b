// Flash banks on the simulated target's bus: lanes to chips, bus accesses, the probe's own
// programming and erasing, each over a whole range at a time.
#include "sim/flash_bank.h"

#include <algorithm>
#include <cstdio>
#include <thread>

namespace tov::sim {
namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kDefaultSectorSize = 0x10000;
// A chip keeps one slot per sector; real chips have a few thousand at most, and this bound keeps
// a typo such as a 1-byte sector on a large chip from asking for gigabytes.
constexpr uint32_t kMaxChipSectors = 0x10000;
constexpr size_t kMaxBusBytes = 8;

bool oneOf(uint32_t value, std::initializer_list<uint32_t> allowed) {
    return std::find(allowed.begin(), allowed.end(), value) != allowed.end();
}

// The chip word addresses set A chips take their commands at.
std::pair<uint32_t, uint32_t> commandAddresses(FlashCommandSet set) {
    return set == FlashCommandSet::AAAAA ? std::pair{0xAAAAu, 0x5555u}
                                         : std::pair{0x5555u, 0x2AAAu};
}

std::string hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

std::string checkOne(const FlashBankConfig& c) {
    if (!oneOf(c.busBits, {8, 16, 32, 64})) return "bus width must be 8, 16, 32 or 64 bits";
    if (!oneOf(c.chipBits, {8, 16, 32}) || c.chipBits > c.busBits)
        return "chip width must be 8, 16 or 32 bits and at most the bus width";
    const uint32_t chipBytes = c.chipBits / 8u;
    const uint32_t sector = c.chipSectorSize();
    if (c.chipSize == 0 || sector == 0 || sector % chipBytes != 0 || c.chipSize % sector != 0)
        return "chip size " + hex(c.chipSize) + " is not a whole number of sectors of " +
               hex(sector) + " bytes";
    if (c.chipSize / sector > kMaxChipSectors)
        return "chip size " + hex(c.chipSize) + " holds more than " + hex(kMaxChipSectors) +
               " sectors of " + hex(sector) + " bytes";
    if (c.commandSet != FlashCommandSet::B) {
        const uint32_t words = c.chipSize / chipBytes;
        if (commandAddresses(c.commandSet).first >= words)
            return "chip size " + hex(c.chipSize) + " does not hold the command addresses";
    }
    if (uint64_t{c.base} + c.span() > (uint64_t{1} << 32))
        return "bank at " + hex(c.base) + " runs past the end of the address space";
    if (c.base % (c.busBits / 8u) != 0) return "bank base is not aligned to the bus width";
    return {};
}

}  // namespace

uint32_t FlashBankConfig::chipSectorSize() const {
    return sectorSize ? sectorSize : std::min(kDefaultSectorSize, chipSize);
}

std::optional<FlashCommandSet> commandSetFromName(const std::string& name) {
    if (name == "A5555") return FlashCommandSet::A5555;
    if (name == "AAAAA") return FlashCommandSet::AAAAA;
    if (name == "B") return FlashCommandSet::B;
    return std::nullopt;
}

std::vector<FlashBankConfig> defaultFlashBanks() {
    return {
        FlashBankConfig{0x20000000, FlashCommandSet::A5555, 0x80000, 32, 8, 0},
        FlashBankConfig{0x30000000, FlashCommandSet::B, 0x100000, 16, 16, 0},
    };
}

std::string checkFlashBanks(const std::vector<FlashBankConfig>& banks) {
    for (size_t i = 0; i < banks.size(); ++i) {
        if (std::string why = checkOne(banks[i]); !why.empty()) return why;
        for (size_t j = 0; j < i; ++j) {
            const uint64_t a = banks[i].base;
            const uint64_t b = banks[j].base;
            if (a < b + banks[j].span() && b < a + banks[i].span())
                return "banks at " + hex(b) + " and " + hex(a) + " overlap";
        }
    }
    return {};
}

// One bank: bus width / chip width chips side by side, chip 0 on the lowest lanes.
class FlashBanks::Bank {
public:
    Bank(const FlashBankConfig& config, FlashTiming timing)
        : config_(config), busBytes_(config.busBits / 8u), chipBytes_(config.chipBits / 8u) {
        for (uint32_t i = 0; i < busBytes_ / chipBytes_; ++i) {
            chips_.push_back(makeFlashChip(config.commandSet, config.chipSize,
                                           static_cast<uint8_t>(chipBytes_),
                                           config.chipSectorSize(), timing));
        }
    }

    const FlashBankConfig& config() const { return config_; }
    uint32_t busBytes() const { return busBytes_; }
    uint64_t end() const { return uint64_t{config_.base} + config_.span(); }
    bool contains(uint32_t address) const { return address >= config_.base && address < end(); }
    uint32_t busSectorSize() const { return config_.chipSectorSize() * chipCount(); }
    uint32_t chipCount() const { return static_cast<uint32_t>(chips_.size()); }

    // The chip carrying the byte at a bus address, and the byte's offset in that chip.
    std::pair<FlashChip*, uint32_t> locate(uint32_t address) const {
        const uint32_t offset = address - config_.base;
        const uint32_t lane = offset % busBytes_;
        const uint32_t offsetInChip = offset / busBytes_ * chipBytes_ + lane % chipBytes_;
        return {chips_[lane / chipBytes_].get(), offsetInChip};
    }

    // Bus reads of a range of the bank: served from the array at once while every chip reads
    // its array without side effects, else one access per bus word as the chips answer it.
    void read(uint32_t address, uint8_t* out, size_t n, Clock::time_point now) {
        const bool plain = std::all_of(chips_.begin(), chips_.end(),
                                       [&](const auto& chip) { return chip->readsArray(now); });
        if (plain) {
            readArray(address, out, n, now);
            return;
        }
        forEachWord(address, n, [&](uint32_t at, size_t done, size_t length) {
            readWord(at, out + done, length, now);
        });
    }

    void write(uint32_t address, const uint8_t* data, size_t n, Clock::time_point now) {
        forEachWord(address, n, [&](uint32_t at, size_t done, size_t length) {
            writeWord(at, data + done, length, now);
        });
    }

    // The probe's programming of a range of the bank: how many leading bytes took (n when all
    // did). Every byte before the first that cannot be programmed is programmed.
    size_t program(uint32_t address, const uint8_t* data, size_t n, Clock::time_point now) {
        const uint32_t offset = address - config_.base;
        std::vector<ChipRun> runs = gather(offset, data, n);
        size_t taken = n;
        for (uint32_t c = 0; c < chipCount(); ++c) {
            const ChipRun& run = runs[c];
            const size_t ok =
                chips_[c]->programmable(run.first, run.bytes.data(), run.bytes.size(), now);
            if (ok < run.bytes.size())
                taken = std::min(taken, busOffset(c, run.first + ok) - offset);
        }
        if (taken < n) runs = gather(offset, data, taken);
        for (uint32_t c = 0; c < chipCount(); ++c)
            chips_[c]->program(runs[c].first, runs[c].bytes.data(), runs[c].bytes.size());
        return taken;
    }

    // The array bytes of a range of the bank, whatever the chips' modes.
    void readArray(uint32_t address, uint8_t* out, size_t n, Clock::time_point now) {
        const uint32_t offset = address - config_.base;
        std::vector<ChipRun> runs = gather(offset, nullptr, n);
        for (uint32_t c = 0; c < chipCount(); ++c) {
            ChipRun& run = runs[c];
            chips_[c]->readArray(run.first, run.bytes.data(), run.bytes.size(), now);
        }
        std::vector<size_t> next(chipCount(), 0);
        forEachChipPiece(offset, n, [&](uint32_t chip, size_t i, size_t length) {
            std::copy_n(runs[chip].bytes.data() + next[chip], length, out + i);
            next[chip] += length;
        });
    }

    // A whole bus word with the byte in every lane, or in the low byte of every chip.
    void command(uint32_t address, uint8_t byte, bool everyLane, Clock::time_point now) {
        uint8_t word[kMaxBusBytes] = {};
        for (uint32_t lane = 0; lane < busBytes_; ++lane) {
            if (everyLane || lane % chipBytes_ == chipBytes_ - 1) word[lane] = byte;
        }
        writeWord(address - (address - config_.base) % busBytes_, word, busBytes_, now);
    }

    // Busy while any chip erases; else failed when any chip's erase failed.
    FlashChip::EraseState eraseState(Clock::time_point now) const {
        FlashChip::EraseState state = FlashChip::EraseState::Idle;
        for (const auto& chip : chips_) {
            const FlashChip::EraseState s = chip->eraseState(now);
            if (s == FlashChip::EraseState::Busy) return s;
            if (s == FlashChip::EraseState::Failed) state = s;
        }
        return state;
    }

private:
    // The bytes one chip carries of a range of the bank: consecutive in the chip from `first`.
    struct ChipRun {
        uint32_t first = 0;
        std::vector<uint8_t> bytes;
    };

    // Splits a range (offsets from the base) among the chips, with the data when there is any
    // (else the bytes are only sized).
    std::vector<ChipRun> gather(uint32_t offset, const uint8_t* data, size_t n) const {
        std::vector<ChipRun> runs(chipCount());
        std::vector<size_t> counts(chipCount(), 0);
        forEachChipPiece(offset, n, [&](uint32_t chip, size_t i, size_t length) {
            if (counts[chip] == 0) {
                const uint32_t at = offset + static_cast<uint32_t>(i);
                runs[chip].first = at / busBytes_ * chipBytes_ + at % chipBytes_;
            }
            counts[chip] += length;
        });
        for (uint32_t c = 0; c < chipCount(); ++c) runs[c].bytes.resize(counts[c]);
        if (!data) return runs;
        std::fill(counts.begin(), counts.end(), 0);
        forEachChipPiece(offset, n, [&](uint32_t chip, size_t i, size_t length) {
            uint8_t* to = runs[chip].bytes.data() + counts[chip];
            for (size_t k = 0; k < length; ++k) to[k] = data[i + k];
            counts[chip] += length;
        });
        return runs;
    }

    // Calls visit(chip, offset in the range, length) for each run of one chip's bytes within a
    // bus word: chip by chip, each in address order.
    template <typename Visit>
    void forEachChipPiece(uint32_t offset, size_t n, Visit visit) const {
        if (chipCount() == 1) {
            visit(0, 0, n);
            return;
        }
        const int64_t firstLane = offset % busBytes_;
        for (uint32_t c = 0; c < chipCount(); ++c) {
            // Where the chip's lanes begin in the bus word of the range's first byte, and in
            // every following word.
            for (int64_t word = int64_t{c} * chipBytes_ - firstLane; word < int64_t(n);
                 word += busBytes_) {
                const int64_t from = std::max<int64_t>(word, 0);
                const int64_t to = std::min<int64_t>(word + chipBytes_, int64_t(n));
                if (from < to) visit(c, static_cast<size_t>(from), static_cast<size_t>(to - from));
            }
        }
    }

    // The offset from the base of a chip's byte.
    size_t busOffset(uint32_t chip, uint32_t offsetInChip) const {
        return size_t{offsetInChip} / chipBytes_ * busBytes_ + chip * chipBytes_ +
               offsetInChip % chipBytes_;
    }

    // Calls visit(address, offset in the range, length) for each bus word the range touches.
    template <typename Visit>
    void forEachWord(uint32_t address, size_t n, Visit visit) const {
        for (size_t done = 0; done < n;) {
            const uint32_t at = address + static_cast<uint32_t>(done);
            const size_t length = std::min<size_t>(n - done, busBytes_ - at % busBytes_);
            visit(at, done, length);
            done += length;
        }
    }

    // One access to lanes [first, first + n) of the bus word at a bus address. A chip whose
    // lanes are not touched sees nothing.
    void writeWord(uint32_t address, const uint8_t* data, size_t n, Clock::time_point now) {
        const uint32_t offset = address - config_.base;
        const uint32_t first = offset % busBytes_;
        for (uint32_t c = 0; c < chipCount(); ++c) {
            if (!touches(c, first, n)) continue;
            uint32_t value = 0;
            for (uint32_t i = 0; i < chipBytes_; ++i) {
                const uint32_t lane = c * chipBytes_ + i;
                const bool inside = lane >= first && lane < first + n;
                value = (value << 8) | (inside ? data[lane - first] : 0);
            }
            chips_[c]->write(offset / busBytes_, value, now);
        }
    }

    void readWord(uint32_t address, uint8_t* out, size_t n, Clock::time_point now) {
        const uint32_t offset = address - config_.base;
        const uint32_t first = offset % busBytes_;
        for (uint32_t c = 0; c < chipCount(); ++c) {
            if (!touches(c, first, n)) continue;
            const uint32_t value = chips_[c]->read(offset / busBytes_, now);
            for (uint32_t i = 0; i < chipBytes_; ++i) {
                const uint32_t lane = c * chipBytes_ + i;
                if (lane >= first && lane < first + n)
                    out[lane - first] = static_cast<uint8_t>(value >> (8 * (chipBytes_ - 1 - i)));
            }
        }
    }

    bool touches(uint32_t chip, uint32_t first, size_t n) const {
        return chip * chipBytes_ < first + n && first < (chip + 1) * chipBytes_;
    }

    FlashBankConfig config_;
    uint32_t busBytes_;
    uint32_t chipBytes_;
    std::vector<std::unique_ptr<FlashChip>> chips_;
};

FlashBanks::FlashBanks(const std::vector<FlashBankConfig>& banks,
                       const std::vector<uint32_t>& failingErase, FlashTiming timing) {
    for (const FlashBankConfig& config : banks) {
        std::vector<FlashBankConfig> so_far;
        for (const auto& bank : banks_) so_far.push_back(bank->config());
        so_far.push_back(config);
        if (checkFlashBanks(so_far).empty())
            banks_.push_back(std::make_unique<Bank>(config, timing));
    }
    for (uint32_t address : failingErase) setEraseFails(address);
}

FlashBanks::FlashBanks(FlashBanks&&) noexcept = default;
FlashBanks& FlashBanks::operator=(FlashBanks&&) noexcept = default;
FlashBanks::~FlashBanks() = default;

FlashBanks::Bank* FlashBanks::bankAt(uint32_t address) const {
    for (const auto& bank : banks_) {
        if (bank->contains(address)) return bank.get();
    }
    return nullptr;
}

size_t FlashBanks::bankCount() const {
    return banks_.size();
}

bool FlashBanks::contains(uint32_t address) const {
    return bankAt(address) != nullptr;
}

bool FlashBanks::overlaps(uint32_t address, size_t n) const {
    const uint64_t first = address;
    const uint64_t last = first + n;  // exclusive; may pass 4 GiB, then the rest wraps to 0
    for (const auto& bank : banks_) {
        const uint64_t base = bank->config().base;
        if (first < bank->end() && base < last) return true;
        if (last > (uint64_t{1} << 32) && base < last - (uint64_t{1} << 32)) return true;
    }
    return false;
}

size_t FlashBanks::stretch(uint32_t address, size_t n, bool& inBank) const {
    uint64_t end = std::min<uint64_t>(uint64_t{address} + n, uint64_t{1} << 32);
    const Bank* bank = bankAt(address);
    inBank = bank != nullptr;
    if (bank) {
        end = std::min(end, bank->end());
    } else {
        for (const auto& other : banks_) {
            if (other->config().base > address) end = std::min<uint64_t>(end, other->config().base);
        }
    }
    return static_cast<size_t>(end - address);
}

bool FlashBanks::write(uint32_t address, const uint8_t* data, size_t n) {
    Bank* bank = bankAt(address);
    if (!bank || address + uint64_t{n} > bank->end()) return false;
    bank->write(address, data, n, clock_());
    return true;
}

template <typename Visit>
void FlashBanks::forEachStretch(uint32_t address, size_t n, Visit visit) const {
    for (size_t done = 0; done < n;) {
        const uint32_t at = address + static_cast<uint32_t>(done);
        bool inBank = false;
        const size_t length = stretch(at, n - done, inBank);
        if (!visit(at, done, length, inBank ? bankAt(at) : nullptr)) return;
        done += length;
    }
}

void FlashBanks::readRange(uint32_t address, uint8_t* data, size_t n, bool array) const {
    const Clock::time_point now = clock_();
    forEachStretch(address, n, [&](uint32_t at, size_t done, size_t length, Bank* bank) {
        if (!bank)
            std::fill_n(data + done, length, uint8_t{0xFF});
        else if (array)
            bank->readArray(at, data + done, length, now);
        else
            bank->read(at, data + done, length, now);
        return true;
    });
}

void FlashBanks::read(uint32_t address, uint8_t* data, size_t n) {
    readRange(address, data, n, false);
}

uint32_t FlashBanks::program(uint32_t address, const uint8_t* data, size_t n) {
    const Clock::time_point now = clock_();
    uint32_t failed = 0;
    forEachStretch(address, n, [&](uint32_t at, size_t done, size_t length, Bank* bank) {
        const size_t taken = bank ? bank->program(at, data + done, length, now) : 0;
        if (taken == length) return true;
        failed = at + static_cast<uint32_t>(taken);
        if (failed == 0) failed = 0xFFFFFFFF;
        return false;
    });
    return failed;
}

void FlashBanks::readArray(uint32_t address, uint8_t* data, size_t n) const {
    readRange(address, data, n, true);
}

void FlashBanks::setEraseFails(uint32_t address, bool fails) {
    if (Bank* bank = bankAt(address)) {
        auto [chip, offset] = bank->locate(address);
        chip->setEraseFails(offset, fails);
    }
}

bool FlashBanks::startProbeErase(uint32_t address, bool sector) {
    Bank* bank = bankAt(address);
    if (!bank) return false;
    waitProbeErase();
    probeEraseBank_ = bank;
    probeErase_ = ProbeEraseState{true, false, 0};
    probeEraseSteps_.clear();
    const uint32_t base = bank->config().base;
    if (sector) {
        probeEraseSteps_.push_back(address - (address - base) % bank->busSectorSize());
    } else if (bank->config().commandSet == FlashCommandSet::B) {
        // These chips have no chip erase: the probe erases one block after the other.
        for (uint64_t at = base; at < bank->end(); at += bank->busSectorSize())
            probeEraseSteps_.push_back(static_cast<uint32_t>(at));
    } else {
        probeEraseSteps_.push_back(base);
        probeEraseWhole_ = true;
    }
    if (sector) probeEraseWhole_ = false;
    startProbeEraseStep(clock_());
    return true;
}

// Writes the command sequence of the next step, as the probe's erase routine does on the bus.
void FlashBanks::startProbeEraseStep(Clock::time_point now) {
    Bank& bank = *probeEraseBank_;
    const uint32_t at = probeEraseSteps_.front();
    if (bank.config().commandSet == FlashCommandSet::B) {
        bank.command(at, 0x20, false, now);
        bank.command(at, 0xD0, false, now);
        return;
    }
    const auto [firstWord, secondWord] = commandAddresses(bank.config().commandSet);
    const uint32_t first = bank.config().base + firstWord * bank.busBytes();
    const uint32_t second = bank.config().base + secondWord * bank.busBytes();
    const std::pair<uint32_t, uint8_t> unlockErase[] = {
        {first, 0xAA}, {second, 0x55}, {first, 0x80}, {first, 0xAA}, {second, 0x55}};
    for (auto [to, byte] : unlockErase) bank.command(to, byte, true, now);
    if (probeEraseWhole_)
        bank.command(first, 0x10, true, now);
    else
        bank.command(at, 0x30, true, now);
}

// Puts the chips back into reading the array, after a failure as well.
void FlashBanks::endProbeErase(Clock::time_point now) {
    Bank& bank = *probeEraseBank_;
    const uint32_t at = probeEraseSteps_.empty() ? bank.config().base : probeEraseSteps_.front();
    if (bank.config().commandSet == FlashCommandSet::B) {
        bank.command(at, 0x50, false, now);
        bank.command(at, 0xFF, false, now);
    } else {
        bank.command(at, 0xF0, true, now);
    }
    probeErase_.running = false;
}

FlashBanks::ProbeEraseState FlashBanks::probeErase() {
    const Clock::time_point now = clock_();
    while (probeErase_.running) {
        const FlashChip::EraseState state = probeEraseBank_->eraseState(now);
        if (state == FlashChip::EraseState::Busy) break;
        if (state == FlashChip::EraseState::Failed) {
            probeErase_.failed = true;
            probeErase_.detail = probeEraseSteps_.front();
            endProbeErase(now);
            break;
        }
        probeEraseSteps_.erase(probeEraseSteps_.begin());
        if (probeEraseSteps_.empty()) {
            endProbeErase(now);
            break;
        }
        startProbeEraseStep(now);
    }
    return probeErase_;
}

FlashBanks::ProbeEraseState FlashBanks::waitProbeErase() {
    for (;;) {
        ProbeEraseState state = probeErase();
        if (!state.running) return state;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

}  // namespace tov::sim
