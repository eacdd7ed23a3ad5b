// Automatic programming jobs stored in the simulated probe's own flash through the exported
// calls: the job's record, entries and images as they land in flash, and removing the job.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "files/srecord_writer.h"
#include "include/tovlink.h"
#include "tests/support/sim_fixture.h"

namespace tov::test {
namespace {

struct Chunk {
    uint32_t address;
    std::vector<uint8_t> data;
};

std::vector<uint8_t> filled(size_t n, uint8_t first) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(first + i);
    return v;
}

class AutoProgSim : public ::testing::Test {
protected:
    AutoProgSim() : sim_(options()) {
        char pattern[] = "/tmp/tovautoprog-XXXXXX";
        dir_ = mkdtemp(pattern);
    }
    ~AutoProgSim() override { std::filesystem::remove_all(dir_); }

    static sim::SimOptions options() {
        sim::SimOptions o;
        o.model = sim::ProbeModel::A;  // its flash holds the job's sectors
        return o;
    }

    std::string writeFile(const std::string& name, const std::vector<Chunk>& chunks) {
        const std::string path = dir_ + "/" + name;
        std::FILE* file = std::fopen(path.c_str(), "w");
        char line[files::kMaxRecordText];
        for (const Chunk& c : chunks) {
            const uint8_t type = c.address > 0xFFFF ? 2 : 1;
            const size_t n =
                files::formatSRecord(type, c.address, c.data.data(), c.data.size(), line);
            std::fwrite(line, 1, n, file);
        }
        std::fclose(file);
        return path;
    }

    std::vector<uint8_t> probeFlash(uint32_t address, size_t n) {
        std::vector<uint8_t> bytes;
        sim_.sim().withProbe([&](sim::Probe& p) { bytes = *p.ownFlash().read(address, n); });
        return bytes;
    }

    SimOnPty sim_;
    std::string dir_;
};

// The 128-byte record as the probe expects it, written out field by field.
std::vector<uint8_t> expectedRecord(uint8_t type, uint8_t b, uint16_t c, uint16_t d, uint8_t e,
                                    uint8_t f, uint32_t start, uint32_t length, uint8_t g,
                                    bool second, uint8_t h) {
    std::vector<uint8_t> r = {0xCA,
                              0x50,
                              0x01,
                              0xCA,
                              0,
                              0,
                              0,
                              0,
                              0,
                              0,
                              0x25,
                              0x80,
                              0,
                              0,
                              static_cast<uint8_t>(c >> 8),
                              static_cast<uint8_t>(c),
                              0,
                              0,
                              static_cast<uint8_t>(d >> 8),
                              static_cast<uint8_t>(d),
                              0,
                              0,
                              0,
                              0,
                              0,
                              b,
                              0,
                              0,
                              0,
                              type,
                              e,
                              f};
    for (uint32_t v : {start, length}) {
        for (int shift = 24; shift >= 0; shift -= 8) r.push_back(static_cast<uint8_t>(v >> shift));
    }
    r.insert(r.end(), {g, static_cast<uint8_t>(second ? 1 : 0), h, 0xFF});
    r.resize(88, 0xFF);
    const std::string text = "HC12 Auto Prog Setup";
    r.insert(r.end(), text.begin(), text.end());
    r.push_back(0);
    r.resize(128, 0xFF);
    return r;
}

TEST_F(AutoProgSim, JobIsStoredByteForByteAndRemoved) {
    ASSERT_TRUE(sim_.started());
    // Type 11 keeps 15 address bits: a 32-KB flash whose pages 0x3E and 0x3F sit at 0 and 0x4000.
    const std::vector<uint8_t> lead = filled(16, 0x10);
    const std::vector<uint8_t> paged = filled(32, 0x40);
    const std::vector<uint8_t> continued = filled(8, 0x80);
    const std::vector<uint8_t> fixed = filled(4, 0xC0);
    const std::string program = writeFile(
        "program.s19", {
                           // Below the windows before any paged record: stays at 0x0200.
                           {0x0200, lead},
                           // Page 0x3F through the 0x8000 window: 0x3F * 0x4000 masked = 0x4000.
                           {0x3F8010, paged},
                           // Below the windows after it: continues page 0x3F, at 0x4300.
                           {0x0300, continued},
                           // The fixed 0xC000 window is the flash's last page: 0x4100.
                           {0xC100, fixed},
                       });
    const std::string second = writeFile("second.s19", {{0x1C05, filled(6, 0xA0)}});
    const std::array<uint32_t, 6> entries = {1, 0x11223344, 0x55667788, 2, 0x0000FFFF, 0xDEADBEEF};

    ASSERT_EQ(TOV_EnableAutoProgHC12(sim_.port().c_str(), 11 | 0x8000, 0x1B2, 0x1234, 0xBEEF, 2,
                                     entries.data(), 5, 6, program.c_str(), 7, 8, second.c_str()),
              0);

    // Image from 0x0200 to 0x4308 (the highest end, 0x4300 + 8, already a multiple of four).
    EXPECT_EQ(probeFlash(0x86000, 128),
              expectedRecord(11, 0xB2, 0x1234, 0xBEEF, 5, 6, 0x200, 0x4108, 7, true, 8));
    const std::vector<uint8_t> image = probeFlash(0xC0000, 0x4400);
    EXPECT_EQ(std::vector<uint8_t>(image.begin() + 0x200, image.begin() + 0x210), lead);
    EXPECT_EQ(std::vector<uint8_t>(image.begin() + 0x4010, image.begin() + 0x4030), paged);
    EXPECT_EQ(std::vector<uint8_t>(image.begin() + 0x4300, image.begin() + 0x4308), continued);
    EXPECT_EQ(std::vector<uint8_t>(image.begin() + 0x4100, image.begin() + 0x4104), fixed);
    EXPECT_EQ(image[0x210], 0xFF);
    EXPECT_EQ(image[0x4308], 0xFF);  // nothing programmed past the image's end
    // Type 11 keeps ten bits of second-file addresses: 0x1C05 lands at 0x005.
    const std::vector<uint8_t> secondArea = probeFlash(0x87000, 0x1000);
    EXPECT_EQ(std::vector<uint8_t>(secondArea.begin() + 5, secondArea.begin() + 11),
              filled(6, 0xA0));
    EXPECT_EQ(secondArea[4], 0xFF);
    EXPECT_EQ(probeFlash(0x86400, 24),
              (std::vector<uint8_t>{0, 0, 0, 1, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88,
                                    0, 0, 0, 2, 0,    0,    0xFF, 0xFF, 0xDE, 0xAD, 0xBE, 0xEF}));

    // A bad program file is found before anything is sent: the stored job stays.
    const std::string tooBig = writeFile("big.s19", {{0x3FFF0, filled(32, 0)}});
    EXPECT_EQ(TOV_EnableAutoProgHC12(sim_.port().c_str(), 2, 0, 0, 0, 0, nullptr, 0, 0,
                                     tooBig.c_str(), 0, 0, nullptr),
              -1207);
    EXPECT_EQ(TOV_EnableAutoProgHC12(sim_.port().c_str(), 13, 0, 0, 0, 0, nullptr, 0, 0, nullptr, 0,
                                     0, nullptr),
              -1202);
    EXPECT_EQ(probeFlash(0x86000, 4), (std::vector<uint8_t>{0xCA, 0x50, 0x01, 0xCA}));

    ASSERT_EQ(TOV_DisableAutoProgHC12(sim_.port().c_str()), 0);
    EXPECT_EQ(probeFlash(0x86000, 0x2000), std::vector<uint8_t>(0x2000, 0xFF));
}

TEST_F(AutoProgSim, JobWithoutFilesStoresRecordAndEntriesOnly) {
    ASSERT_TRUE(sim_.started());
    const std::array<uint32_t, 3> entry = {3, 0x1000, 0x42};
    ASSERT_EQ(TOV_EnableAutoProgHC12(sim_.port().c_str(), 9, 1, 2, 3, 1, entry.data(), 4, 5, "", 6,
                                     7, nullptr),
              0);
    EXPECT_EQ(probeFlash(0x86000, 128), expectedRecord(9, 1, 2, 3, 4, 5, 0, 0, 6, false, 7));
    EXPECT_EQ(probeFlash(0x86400, 12),
              (std::vector<uint8_t>{0, 0, 0, 3, 0, 0, 0x10, 0, 0, 0, 0, 0x42}));
    EXPECT_EQ(probeFlash(0x8640C, 12), std::vector<uint8_t>(12, 0xFF));
}

}  // namespace
}  // namespace tov::test
