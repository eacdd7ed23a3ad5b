// Flash chips on the simulated target bus at the level of single bus accesses: the unlock
// cycles and erase status of command set A, the status register of command set B, how byte
// lanes map to chips on wide buses, and the probe's own programming.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <vector>

#include "sim/flash_bank.h"

namespace tov::sim {
namespace {

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

// Banks on a clock the test moves by hand.
class Bus {
public:
    explicit Bus(FlashBankConfig bank, std::vector<uint32_t> failing = {})
        : banks({bank}, failing), width(bank.busBits / 8u) {
        banks.setClock([this] { return now; });
    }

    // One bus access of the bus width with the byte in every lane.
    void lanes(uint32_t address, uint8_t byte) { put(address, Bytes(width, byte)); }
    // One bus access with the byte in the low byte of each chip of the given width.
    void chips(uint32_t address, uint8_t byte, unsigned chipBytes) {
        Bytes v(width, 0);
        for (unsigned lane = chipBytes - 1; lane < width; lane += chipBytes) v[lane] = byte;
        put(address, v);
    }
    void put(uint32_t address, const Bytes& value) {
        ASSERT_TRUE(banks.write(address, value.data(), value.size()));
    }
    Bytes get(uint32_t address, size_t n = 0) {
        Bytes v(n ? n : width);
        banks.read(address, v.data(), v.size());
        return v;
    }
    Bytes array(uint32_t address, size_t n) {
        Bytes v(n);
        banks.readArray(address, v.data(), n);
        return v;
    }
    // Unlock, erase set-up, unlock, then the erase command, as command set A wants it.
    void eraseA(uint32_t base, uint32_t first, uint32_t second, uint32_t at, uint8_t code) {
        const std::pair<uint32_t, uint8_t> cycles[] = {
            {first, 0xAA}, {second, 0x55}, {first, 0x80}, {first, 0xAA}, {second, 0x55}};
        for (auto [to, byte] : cycles) lanes(base + to * width, byte);
        lanes(at, code);
    }

    FlashBanks banks;
    unsigned width;
    std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now();
};

constexpr uint32_t kBase = 0x01000000;

FlashBankConfig byteBankA() {
    return {kBase, FlashCommandSet::A5555, 0x80000, 8, 8, 0};
}

TEST(FlashChipA, UnlockCyclesMustHitTheirAddressesAndValues) {
    Bus bus(byteBankA());
    const Bytes data{0x12, 0x34};
    ASSERT_EQ(bus.banks.program(kBase + 0x10000, data.data(), data.size()), 0u);

    // First unlock one byte off, then a wrong second value, then the command at the wrong
    // address: none of them starts an erase, and the array keeps reading.
    bus.eraseA(kBase, 0x5554, 0x2AAA, kBase + 0x10000, 0x30);
    bus.lanes(kBase + 0x5555, 0xAA);
    bus.lanes(kBase + 0x2AAA, 0x54);
    bus.lanes(kBase + 0x5555, 0x80);
    bus.eraseA(kBase, 0x5555, 0x2AAA, kBase + 0x10000, 0x31);
    bus.eraseA(kBase, 0x5555, 0x2AAA, kBase + 0x2AAA, 0x10);  // chip erase needs the first address
    EXPECT_EQ(bus.get(kBase + 0x10000, 2), data);

    // Unlock cycles of the other member of the set do nothing on this chip either.
    bus.eraseA(kBase, 0xAAAA, 0x5555, kBase + 0x10000, 0x30);
    bus.now += 1s;
    EXPECT_EQ(bus.get(kBase + 0x10000, 2), data);

    // The right sequence erases.
    bus.eraseA(kBase, 0x5555, 0x2AAA, kBase + 0x10000, 0x30);
    EXPECT_EQ(bus.get(kBase + 0x10000)[0] & 0x80, 0);
}

TEST(FlashChipA, SectorErasePollsWithDataBitToggleAndEndsInTheArray) {
    Bus bus(byteBankA());
    const Bytes keep{0x01, 0x02};
    ASSERT_EQ(bus.banks.program(kBase + 0x20000, keep.data(), 2), 0u);
    ASSERT_EQ(bus.banks.program(kBase + 0x10004, keep.data(), 2), 0u);

    bus.eraseA(kBase, 0x5555, 0x2AAA, kBase + 0x10000, 0x30);
    // Status at any address of the chip, the erased sector or another one: bit 7 clear, bit 5
    // clear, bit 6 different on every read.
    uint8_t last = bus.get(kBase + 0x10000)[0];
    for (uint32_t at : {kBase + 0x10004, kBase + 0x10000, kBase + 0x20000, kBase + 0x1FFFF}) {
        const uint8_t s = bus.get(at)[0];
        EXPECT_EQ(s & 0xA0, 0) << std::hex << at;
        EXPECT_NE(s & 0x40, last & 0x40) << std::hex << at;
        last = s;
    }
    // Writes while erasing are ignored, the reset command among them.
    bus.lanes(kBase + 0x5555, 0xF0);
    EXPECT_EQ(bus.get(kBase + 0x10000)[0] & 0x80, 0);

    bus.now += 149ms;
    EXPECT_EQ(bus.get(kBase + 0x10000)[0] & 0x80, 0);
    bus.now += 2ms;
    EXPECT_EQ(bus.get(kBase + 0x10000, 8), Bytes(8, 0xFF));
    EXPECT_EQ(bus.get(kBase + 0x1FFFE, 2), Bytes(2, 0xFF));
    EXPECT_EQ(bus.get(kBase + 0x20000, 2), keep);  // the next sector kept its data

    // The chip erase takes longer and clears every sector.
    bus.eraseA(kBase, 0x5555, 0x2AAA, kBase + 0x5555, 0x10);
    bus.now += 300ms;
    EXPECT_EQ(bus.get(kBase + 0x20000)[0] & 0x80, 0);
    bus.now += 301ms;
    EXPECT_EQ(bus.get(kBase + 0x20000, 2), Bytes(2, 0xFF));
}

TEST(FlashChipA, AFailedEraseShowsBit5AndStaysInStatusUntilReset) {
    Bus bus(byteBankA(), {kBase + 0x30010});
    const Bytes data{0x5A};
    ASSERT_EQ(bus.banks.program(kBase + 0x30000, data.data(), 1), 0u);
    ASSERT_EQ(bus.banks.program(kBase + 0x40000, data.data(), 1), 0u);
    bus.eraseA(kBase, 0x5555, 0x2AAA, kBase + 0x30000, 0x30);
    EXPECT_EQ(bus.get(kBase + 0x30000)[0] & 0x20, 0);  // not yet
    bus.now += 200ms;
    const uint8_t a = bus.get(kBase + 0x30000)[0];
    const uint8_t b = bus.get(kBase + 0x30000)[0];
    EXPECT_EQ(a & 0xA0, 0x20);
    EXPECT_EQ(b & 0xA0, 0x20);
    EXPECT_NE(a & 0x40, b & 0x40);

    // Another erase command is not taken; the chip keeps reporting.
    bus.eraseA(kBase, 0x5555, 0x2AAA, kBase + 0x40000, 0x30);
    bus.now += 1s;
    EXPECT_EQ(bus.get(kBase + 0x40000)[0] & 0xA0, 0x20);
    EXPECT_EQ(bus.array(kBase + 0x40000, 1), data);

    // The reset sequence returns to the array; the sector was not erased.
    bus.lanes(kBase + 0x5555, 0xAA);
    bus.lanes(kBase + 0x2AAA, 0x55);
    bus.lanes(kBase + 0x5555, 0xF0);
    EXPECT_EQ(bus.get(kBase + 0x30000, 1), data);
    // The other sectors of a failing chip erase, the failing one keeps its data; a lone 0xF0
    // resets as well.
    bus.eraseA(kBase, 0x5555, 0x2AAA, kBase + 0x5555, 0x10);
    bus.now += 1s;
    EXPECT_EQ(bus.get(kBase + 0x30000)[0] & 0xA0, 0x20);
    bus.lanes(kBase, 0xF0);
    EXPECT_EQ(bus.get(kBase + 0x30000, 1), data);
    EXPECT_EQ(bus.get(kBase + 0x40000, 1), Bytes{0xFF});
}

TEST(FlashChipB, StatusRegisterReportsEraseAndClearsOn0x50) {
    const FlashBankConfig config{kBase, FlashCommandSet::B, 0x100000, 16, 16, 0};
    Bus bus(config, {kBase + 0x20000});
    const Bytes data{0xC0, 0xDE};
    ASSERT_EQ(bus.banks.program(kBase + 0x10000, data.data(), 2), 0u);
    ASSERT_EQ(bus.banks.program(kBase + 0x20000, data.data(), 2), 0u);

    bus.chips(kBase + 0x10000, 0x20, 2);
    bus.chips(kBase + 0x10000, 0xD0, 2);
    EXPECT_EQ(bus.get(kBase + 0x10000), (Bytes{0x00, 0x00}));  // busy, no errors
    bus.chips(kBase, 0xFF, 2);                                 // not taken while busy
    bus.now += 151ms;
    EXPECT_EQ(bus.get(kBase + 0x10000), (Bytes{0x00, 0x80}));
    bus.chips(kBase + 0x10000, 0xFF, 2);
    EXPECT_EQ(bus.get(kBase + 0x10000), (Bytes{0xFF, 0xFF}));
    EXPECT_EQ(bus.get(kBase + 0x20000), data);

    // A block told to fail: ready with bit 5; cleared by 0x50, read status again by 0x70.
    bus.chips(kBase + 0x20000, 0x20, 2);
    bus.chips(kBase + 0x20000, 0xD0, 2);
    bus.now += 151ms;
    EXPECT_EQ(bus.get(kBase + 0x20000), (Bytes{0x00, 0xA0}));
    bus.chips(kBase + 0x20000, 0x50, 2);
    EXPECT_EQ(bus.get(kBase + 0x20000), (Bytes{0x00, 0x80}));
    bus.chips(kBase + 0x20000, 0xFF, 2);
    EXPECT_EQ(bus.get(kBase + 0x20000), data);
    bus.chips(kBase, 0x70, 2);
    EXPECT_EQ(bus.get(kBase + 0x20000), (Bytes{0x00, 0x80}));

    // An erase set-up followed by anything but the confirm is a sequence error and erases
    // nothing.
    bus.chips(kBase, 0xFF, 2);
    bus.chips(kBase + 0x20000, 0x20, 2);
    bus.chips(kBase + 0x20000, 0xFF, 2);
    EXPECT_EQ(bus.get(kBase + 0x20000), (Bytes{0x00, 0xB0}));
    bus.chips(kBase, 0x50, 2);
    bus.chips(kBase, 0xFF, 2);
    EXPECT_EQ(bus.get(kBase + 0x20000), data);
}

TEST(FlashBanks, ByteLanesMapToChipsOnWideBuses) {
    // 32-bit bus of byte chips at the host's example bank: chip n holds lane n, and the chip
    // told to fail is the one holding the failing address's byte (lane 1).
    {
        Bus bus({0x00200000, FlashCommandSet::A5555, 0x80000, 32, 8, 0}, {0x00210001});
        const Bytes data{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
        ASSERT_EQ(bus.banks.program(0x00210000, data.data(), data.size()), 0u);
        EXPECT_EQ(bus.get(0x00210004), (Bytes{0x55, 0x66, 0x77, 0x88}));
        // Unlock at 0x00215554 / 0x0020AAA8: 0x5555 and 0x2AAA in the chips' words.
        bus.eraseA(0x00200000, 0x5555, 0x2AAA, 0x00210000, 0x30);
        bus.now += 200ms;
        const Bytes v = bus.get(0x00210000);
        EXPECT_EQ(v[0], 0xFF);
        EXPECT_EQ(v[1] & 0xA0, 0x20);
        EXPECT_EQ(v[2], 0xFF);
        EXPECT_EQ(v[3], 0xFF);
        // The chip's sector is 64 KiB of its own: 256 KiB of the bus, so 0x00200000 went too,
        // except the failing chip's lane.
        EXPECT_EQ(bus.array(0x00210000, 8),
                  (Bytes{0xFF, 0x22, 0xFF, 0xFF, 0xFF, 0x66, 0xFF, 0xFF}));

        // A byte access reaches only the chip on its lane: unlocking chip 3 alone.
        bus.lanes(0x00200000, 0xF0);
        ASSERT_EQ(bus.get(0x00210000, 2), (Bytes{0xFF, 0x22}));
        const Bytes more{0x00};
        ASSERT_EQ(bus.banks.program(0x00240007, more.data(), 1), 0u);
        const std::pair<uint32_t, uint8_t> cycles[] = {
            {0x5555, 0xAA}, {0x2AAA, 0x55}, {0x5555, 0x80}, {0x5555, 0xAA}, {0x2AAA, 0x55}};
        for (auto [to, byte] : cycles) bus.put(0x00200000 + to * 4 + 3, Bytes{byte});
        bus.put(0x00240007, Bytes{0x30});
        const Bytes status = bus.get(0x00240004);
        EXPECT_EQ(status[0], 0xFF);
        EXPECT_EQ(status[3] & 0x80, 0);
        bus.now += 200ms;
        EXPECT_EQ(bus.get(0x00240004), Bytes(4, 0xFF));
    }
    // 16-bit bus of byte chips: unlock at 0xAAAA / 0x5554.
    {
        Bus bus({kBase, FlashCommandSet::A5555, 0x80000, 16, 8, 0}, {kBase + 0x20000});
        bus.eraseA(kBase, 0x5555, 0x2AAA, kBase + 0x20000, 0x30);
        bus.now += 200ms;
        const Bytes v = bus.get(kBase + 0x20000);
        EXPECT_EQ(v[0] & 0xA0, 0x20);
        EXPECT_EQ(v[1], 0xFF);
    }
    // 64-bit bus of word chips of command set B: the command in each chip's low byte, the
    // status in it; the chip holding lanes 4 and 5 fails.
    {
        Bus bus({kBase, FlashCommandSet::B, 0x100000, 64, 16, 0}, {kBase + 0x40004});
        const Bytes zeros(8, 0);
        ASSERT_EQ(bus.banks.program(kBase + 0x40000, zeros.data(), 8), 0u);
        bus.chips(kBase + 0x40000, 0x20, 2);
        bus.chips(kBase + 0x40000, 0xD0, 2);
        EXPECT_EQ(bus.get(kBase + 0x40000), Bytes(8, 0));
        bus.now += 200ms;
        EXPECT_EQ(bus.get(kBase + 0x40000), (Bytes{0, 0x80, 0, 0x80, 0, 0xA0, 0, 0x80}));
        bus.chips(kBase + 0x40000, 0xFF, 2);
        EXPECT_EQ(bus.get(kBase + 0x40000), (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0xFF, 0xFF}));
    }
    // 64-bit bus of byte chips, command set A: unlock at 0x2AAA8 / 0x15550.
    {
        Bus bus({kBase, FlashCommandSet::A5555, 0x80000, 64, 8, 0});
        const Bytes zeros(8, 0);
        ASSERT_EQ(bus.banks.program(kBase + 0x80000, zeros.data(), 8), 0u);
        bus.eraseA(kBase, 0x5555, 0x2AAA, kBase + 0x80000, 0x30);
        for (uint8_t byte : bus.get(kBase + 0x80000)) EXPECT_EQ(byte & 0x80, 0);
        bus.now += 200ms;
        EXPECT_EQ(bus.get(kBase + 0x80000), Bytes(8, 0xFF));
    }
}

TEST(FlashBanks, AlternatingPollReadsStatusNextToTheSector) {
    // Word chips of the 0xAAAA / 0x5555 member on a 32-bit bus: polling S XOR 4 and S.
    Bus bus({kBase, FlashCommandSet::AAAAA, 0x100000, 32, 16, 0});
    const uint32_t s = kBase + 0x40000;
    const Bytes zeros(8, 0);
    ASSERT_EQ(bus.banks.program(s, zeros.data(), 8), 0u);
    bus.eraseA(kBase, 0xAAAA, 0x5555, s, 0x30);
    const Bytes neighbour = bus.get(s ^ 4);
    const Bytes sector = bus.get(s);
    EXPECT_NE(neighbour, Bytes(4, 0xFF));
    EXPECT_NE(sector, Bytes(4, 0xFF));
    EXPECT_NE(neighbour[1] & 0x40, sector[1] & 0x40);  // each chip toggles between the two reads
    EXPECT_NE(neighbour[3] & 0x40, sector[3] & 0x40);
    bus.now += 200ms;
    EXPECT_EQ(bus.get(s ^ 4), Bytes(4, 0xFF));
    EXPECT_EQ(bus.get(s), Bytes(4, 0xFF));
}

TEST(FlashBanks, ProgramOnlyClearsBitsAndNotWhileErasing) {
    Bus bus({kBase, FlashCommandSet::A5555, 0x80000, 16, 8, 0});
    const Bytes first{0x0F, 0xF0, 0x77};
    EXPECT_EQ(bus.banks.program(kBase + 0x100, first.data(), 3), 0u);
    const Bytes fewer{0x05, 0x10};
    EXPECT_EQ(bus.banks.program(kBase + 0x100, fewer.data(), 2), 0u);
    // The third byte would set a bit that is clear: refused at its address; the bytes before it
    // are programmed.
    const Bytes wrong{0x00, 0x00, 0xF7};
    EXPECT_EQ(bus.banks.program(kBase + 0x100, wrong.data(), 3), kBase + 0x102);
    EXPECT_EQ(bus.array(kBase + 0x100, 3), (Bytes{0x00, 0x00, 0x77}));
    // Outside every bank.
    EXPECT_EQ(bus.banks.program(kBase - 1, wrong.data(), 1), kBase - 1);
    EXPECT_EQ(bus.banks.program(kBase + 0x100000, wrong.data(), 1), kBase + 0x100000);

    // While the chips erase, programming fails and the array is read as it stands.
    bus.eraseA(kBase, 0x5555, 0x2AAA, kBase + 0x100, 0x30);
    const Bytes ff{0xFF};
    EXPECT_EQ(bus.banks.program(kBase + 0x30000, ff.data(), 1), kBase + 0x30000);
    EXPECT_EQ(bus.array(kBase + 0x100, 3), (Bytes{0x00, 0x00, 0x77}));
    bus.now += 200ms;
    EXPECT_EQ(bus.array(kBase + 0x100, 3), Bytes(3, 0xFF));
    EXPECT_EQ(bus.banks.program(kBase + 0x100, wrong.data(), 3), 0u);
}

TEST(FlashBanks, RangesSpreadOverTheChipsAndStopAtTheFirstByteThatCannotBeProgrammed) {
    // Four byte chips on a 32-bit bus; the range starts in lane 3 and crosses from one bus
    // sector (256 KiB: 64 KiB per chip) into the next, where one byte in lane 0 was programmed
    // to 0 before.
    Bus bus({kBase, FlashCommandSet::A5555, 0x80000, 32, 8, 0});
    const uint32_t start = kBase + 0x3FFF3;
    const size_t blocked = 1501;
    const uint32_t at = start + static_cast<uint32_t>(blocked);
    ASSERT_EQ(at % 4, 0u);
    ASSERT_EQ(bus.banks.program(at, Bytes{0x00}.data(), 1), 0u);
    Bytes data(3000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(0x80 | (i * 7));
    EXPECT_EQ(bus.banks.program(start, data.data(), data.size()), at);

    Bytes expected(data.begin(), data.begin() + blocked);
    expected.push_back(0x00);
    expected.resize(data.size(), 0xFF);
    EXPECT_EQ(bus.array(start, data.size()), expected);
    // Bus reads of chips reading their arrays give the same bytes, also across the bank's end.
    EXPECT_EQ(bus.get(start, data.size()), expected);
    EXPECT_EQ(bus.get(kBase + 0x1FFFFE, 4), Bytes(4, 0xFF));

    // While the chips erase another sector, bus reads of the range answer their status (bit 7
    // clear, bit 3 set) where the array has bit 7 set; the probe's array read is unchanged.
    bus.eraseA(kBase, 0x5555, 0x2AAA, kBase + 0x80000, 0x30);
    for (uint8_t byte : bus.get(start, 8)) EXPECT_EQ(byte & 0x88, 0x08);
    EXPECT_EQ(bus.array(start, 8), Bytes(expected.begin(), expected.begin() + 8));
}

TEST(FlashBanks, BankChecksAndStretches) {
    EXPECT_EQ(checkFlashBanks(defaultFlashBanks()), "");
    EXPECT_NE(checkFlashBanks({{0, FlashCommandSet::A5555, 0x80000, 24, 8, 0}}), "");
    EXPECT_NE(checkFlashBanks({{0, FlashCommandSet::A5555, 0x80000, 16, 32, 0}}), "");
    EXPECT_NE(checkFlashBanks({{0, FlashCommandSet::A5555, 0x4000, 8, 8, 0}}), "");
    EXPECT_NE(checkFlashBanks({{0, FlashCommandSet::B, 0x30000, 8, 8, 0x20000}}), "");
    EXPECT_NE(checkFlashBanks({{0xFFF00000, FlashCommandSet::B, 0x100000, 16, 8, 0}}), "");
    EXPECT_NE(checkFlashBanks({{0, FlashCommandSet::B, 0x100000, 8, 8, 0},
                               {0xF0000, FlashCommandSet::B, 0x100000, 8, 8, 0}}),
              "");

    FlashBanks banks(defaultFlashBanks(), {});
    EXPECT_EQ(banks.bankCount(), 2u);
    EXPECT_TRUE(banks.contains(0x201FFFFF));
    EXPECT_FALSE(banks.contains(0x20200000));
    EXPECT_TRUE(banks.overlaps(0x1FFFFFFF, 2));
    EXPECT_FALSE(banks.overlaps(0x1FFFFFFF, 1));
    bool inBank = true;
    EXPECT_EQ(banks.stretch(0x1FFFFFF0, 0x100, inBank), 0x10u);
    EXPECT_FALSE(inBank);
    EXPECT_EQ(banks.stretch(0x201FFFF0, 0x100, inBank), 0x10u);
    EXPECT_TRUE(inBank);
    EXPECT_EQ(banks.stretch(0xFFFFFFF0, 0x100, inBank), 0x10u);
    // A write that leaves its bank is not a bus access of that bank.
    const Bytes two{0xF0, 0xF0};
    EXPECT_FALSE(banks.write(0x201FFFFF, two.data(), 2));
}

}  // namespace
}  // namespace tov::sim
