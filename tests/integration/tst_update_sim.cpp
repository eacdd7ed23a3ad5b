// The exported maintenance calls against the in-process simulator over a pseudo-terminal: the
// firmware and logic update in every mode and its failures, the network record, and persistence.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "include/tovlink.h"
#include "tests/support/firmware_file.h"
#include "tests/support/jedec_file.h"
#include "tests/support/sim_fixture.h"

namespace tov::test {
namespace {

// One probe model with the family it is updated for and that family's files on it.
struct ModelCase {
    sim::ProbeModel model;
    uint8_t family;
    uint16_t firmwareBase;
    uint16_t logicBase;
    const char* firmwareFile;
    const char* logicFile;
    size_t rows;
    size_t rowLength;
    size_t linesPerRow;
};

void PrintTo(const ModelCase& c, std::ostream* os) {
    *os << "TOV-" << sim::modelName(c.model);
}

using sim::ProbeModel;
const ModelCase kModelX{ProbeModel::X, 7, 0x7000, 3000, "TOVC12FW", "C12JEDQX", 102, 80, 2};
const ModelCase kModelB{ProbeModel::B, 10, 0xA000, 4000, "TQBARMFW", "ARMJEDQB", 134, 240, 4};
const ModelCase kModelBC{ProbeModel::BC, 10, 0xA000, 4000, "TQBARMFW", "ARMJEDQC", 134, 240, 4};
const ModelCase kModelA{ProbeModel::A, 10, 0xA000, 4000, "TQAARMFW", "ARMJEDQA", 118, 160, 4};

// Small images keep an update (erase, program, verify) short.
constexpr size_t kCodeSize = 16 * 1024;
// Newer than what a probe leaves the factory with (firmware 105, logic 3).
constexpr unsigned kNewFirmware = 106;
constexpr unsigned kNewLogic = 7;

// A private directory for firmware and logic files, removed with the test.
class ScratchDir {
public:
    ScratchDir() {
        char pattern[] = "/tmp/tovupdate-XXXXXX";
        path_ = mkdtemp(pattern);
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const { return path_; }
    // What TOV_UpdateFirmwareLogic takes: the directory with its separator.
    std::string prefix() const { return path_ + "/"; }

private:
    std::string path_;
};

// A firmware file of the model's family, `version` above the family's base.
FirmwareFile firmwareFor(const ModelCase& c, const ScratchDir& dir, unsigned version) {
    return writeFirmwareFile(dir.path(), c.firmwareFile, version, c.firmwareBase,
                             sim::modelName(c.model), kCodeSize, version);
}

// A JEDEC file of the model's geometry; returns the rows it carries.
std::vector<std::string> logicFor(const ModelCase& c, const ScratchDir& dir, unsigned version) {
    std::vector<std::string> rows = fuseRows(c.rows, c.rowLength, version);
    char name[32];
    std::snprintf(name, sizeof name, "%s.%03u", c.logicFile, version);
    writeTextFile(dir.path() + "/" + name, jedecText(fuseLines(rows, c.linesPerRow)));
    return rows;
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Storage writes as one comparable row: sector erases, flash programs, logic erases, fuse row
// programs, UES programs.
using Writes = std::array<uint64_t, 5>;

Writes writesOf(sim::Simulator& s) {
    const sim::StorageWrites w = s.storageWrites();
    return {w.sectorErases, w.flashPrograms, w.logicErases, w.fuseRowPrograms, w.uesPrograms};
}

Writes writesSince(sim::Simulator& s, const Writes& before) {
    Writes now = writesOf(s);
    for (size_t i = 0; i < now.size(); ++i) now[i] -= before[i];
    return now;
}

constexpr Writes kNothingWritten{0, 0, 0, 0, 0};

// What programming a firmware image and a logic fuse map cost in requests.
Writes firmwareWrites(const FirmwareFile& f) {
    const uint64_t records = (f.image.size() + 31) / 32;
    return {4, records + 1, 0, 0, 0};  // four sectors; every record, then the start marker
}
Writes logicWrites(const ModelCase& c) {
    return {0, 0, 1, c.rows, 1};
}
Writes operator+(const Writes& a, const Writes& b) {
    Writes sum{};
    for (size_t i = 0; i < sum.size(); ++i) sum[i] = a[i] + b[i];
    return sum;
}

// The maintenance calls leave the link closed whatever happened.
void expectLinkClosed() {
    const uint8_t request = 0x64;
    uint8_t answer[32];
    EXPECT_EQ(TOV_Transaction(1, &request, sizeof answer, answer, 0), -1203);
}

// The probe holds this firmware image, its start marker and this logic fuse map and version.
void expectProbeHolds(sim::Simulator& s, const FirmwareFile& firmware,
                      const std::vector<std::string>& rows, uint32_t logicNumber) {
    s.withProbe([&](sim::Probe& p) {
        EXPECT_TRUE(p.ownFlash().startMarkerPresent());
        EXPECT_EQ(p.ownFlash().firmwareVersionWord(), firmware.versionWord);
        EXPECT_TRUE(p.ownFlash().read(firmware.start, firmware.image.size()) == firmware.image)
            << "the firmware area differs from the file's image";
        EXPECT_TRUE(p.logic().rows() == rows) << "the fuse map differs from the file's";
        EXPECT_EQ(p.logic().uesVersion(), std::optional<uint32_t>(logicNumber));
    });
}

sim::SimOptions optionsFor(const ModelCase& c) {
    sim::SimOptions options = simAt(115200);
    options.model = c.model;
    options.family = c.family;
    return options;
}

class UpdateSim : public ::testing::TestWithParam<ModelCase> {
protected:
    void TearDown() override { TOV_Close(); }
};

// Leaves no connection open behind a test that failed halfway.
class LinkClosingTest : public ::testing::Test {
protected:
    void TearDown() override { TOV_Close(); }
};
using UpdateFailureSim = LinkClosingTest;
using UpdatePersistenceSim = LinkClosingTest;
using NetworkConfigSim = LinkClosingTest;

TEST_P(UpdateSim, ModesProgramWhatIsOutdatedOrForced) {
    const ModelCase& c = GetParam();
    SimOnPty probe(optionsFor(c));
    ASSERT_TRUE(probe.started());
    sim::Simulator& s = probe.sim();
    const std::string port = probe.port();
    ScratchDir dir;
    const FirmwareFile firmware = firmwareFor(c, dir, kNewFirmware);
    std::vector<std::string> rows = logicFor(c, dir, kNewLogic);
    auto update = [&](uint16_t mode) {
        return TOV_UpdateFirmwareLogic(port.c_str(), dir.prefix().c_str(), c.family, mode);
    };

    // Both files newer than the factory's: mode 0 programs both.
    Writes before = writesOf(s);
    ASSERT_EQ(update(0), 0);
    expectLinkClosed();
    EXPECT_EQ(writesSince(s, before), firmwareWrites(firmware) + logicWrites(c));
    expectProbeHolds(s, firmware, rows, c.logicBase + kNewLogic);

    // Everything is current now: mode 0 touches nothing.
    before = writesOf(s);
    ASSERT_EQ(update(0), 0);
    expectLinkClosed();
    EXPECT_EQ(writesSince(s, before), kNothingWritten);

    before = writesOf(s);
    ASSERT_EQ(update(1), 0);
    expectLinkClosed();
    EXPECT_EQ(writesSince(s, before), firmwareWrites(firmware));

    before = writesOf(s);
    ASSERT_EQ(update(2), 0);
    expectLinkClosed();
    EXPECT_EQ(writesSince(s, before), logicWrites(c));

    before = writesOf(s);
    ASSERT_EQ(update(3), 0);
    expectLinkClosed();
    EXPECT_EQ(writesSince(s, before), firmwareWrites(firmware) + logicWrites(c));
    expectProbeHolds(s, firmware, rows, c.logicBase + kNewLogic);

    // Forcing the firmware still brings an outdated logic up to the newest file.
    rows = logicFor(c, dir, kNewLogic + 1);
    before = writesOf(s);
    ASSERT_EQ(update(1), 0);
    expectLinkClosed();
    EXPECT_EQ(writesSince(s, before), firmwareWrites(firmware) + logicWrites(c));
    expectProbeHolds(s, firmware, rows, c.logicBase + kNewLogic + 1);

    // The new firmware starts and reports its family and version.
    ASSERT_EQ(TOV_Connect(port.c_str()), 0);
    EXPECT_FALSE(s.inLoader());
    TargetInfo info{};
    ASSERT_EQ(TOV_InfoGet(&info), 0);
    EXPECT_EQ(info.family, c.family);
    EXPECT_EQ(info.version, kNewFirmware);
}

INSTANTIATE_TEST_SUITE_P(Models, UpdateSim, ::testing::Values(kModelX, kModelB, kModelBC, kModelA),
                         [](const auto& info) {
                             return std::string(sim::modelName(info.param.model));
                         });

TEST_F(UpdateFailureSim, LogicDeviceFaultsMissingFilesAndUnknownProbesFailCleanly) {
    const ModelCase& c = kModelB;
    SimOnPty probe(optionsFor(c));
    ASSERT_TRUE(probe.started());
    sim::Simulator& s = probe.sim();
    const std::string port = probe.port();
    ScratchDir dir;
    const FirmwareFile firmware = firmwareFor(c, dir, kNewFirmware);
    const std::vector<std::string> rows = logicFor(c, dir, kNewLogic);
    auto update = [&](const std::string& prefix, uint16_t mode) {
        return TOV_UpdateFirmwareLogic(port.c_str(), prefix.c_str(), c.family, mode);
    };
    std::vector<std::string> factoryRows;
    s.withProbe([&](sim::Probe& p) { factoryRows = p.logic().rows(); });

    // A device of another type is neither erased nor is the firmware touched.
    s.withProbe([](sim::Probe& p) { p.logic().reportDeviceId(0x55); });
    Writes before = writesOf(s);
    EXPECT_EQ(update(dir.prefix(), 0), -1304);
    expectLinkClosed();
    EXPECT_EQ(writesSince(s, before), kNothingWritten);
    s.withProbe([&](sim::Probe& p) {
        EXPECT_TRUE(p.logic().rows() == factoryRows) << "the device was changed";
        p.logic().clearHooks();
    });

    // A row whose second reading differs, then a UES that reads back wrong: both fail the
    // verification after a full programming run, and the loader takes the update again.
    s.withProbe([&](sim::Probe& p) { p.logic().breakRowReadBack(c.rows - 1, 1); });
    before = writesOf(s);
    EXPECT_EQ(update(dir.prefix(), 2), -1305);
    expectLinkClosed();
    EXPECT_EQ(writesSince(s, before)[3], c.rows);
    s.withProbe([](sim::Probe& p) {
        p.logic().clearHooks();
        p.logic().breakUesReadBack(true);
    });
    EXPECT_EQ(update(dir.prefix(), 2), -1305);
    expectLinkClosed();
    s.withProbe([](sim::Probe& p) { p.logic().clearHooks(); });
    ASSERT_EQ(update(dir.prefix(), 3), 0);
    expectLinkClosed();
    expectProbeHolds(s, firmware, rows, c.logicBase + kNewLogic);

    // Both files must be there even for the part that is forced; nothing is programmed without.
    ScratchDir onlyLogic;
    logicFor(c, onlyLogic, kNewLogic + 1);
    ScratchDir onlyFirmware;
    firmwareFor(c, onlyFirmware, kNewFirmware + 1);
    before = writesOf(s);
    EXPECT_EQ(update(onlyLogic.prefix(), 3), -1302);
    expectLinkClosed();
    EXPECT_EQ(update(onlyFirmware.prefix(), 3), -1306);
    expectLinkClosed();
    EXPECT_EQ(writesSince(s, before), kNothingWritten);

    // Malformed files are found before anything is erased: a firmware file with a bad record at
    // its end, and a JEDEC file with a short row, each beside a good file of the other part.
    ScratchDir badFirmware;
    const FirmwareFile newer = firmwareFor(c, badFirmware, kNewFirmware + 2);
    writeTextFile(newer.path, readText(newer.path) + "S1130000FFFF\n");
    logicFor(c, badFirmware, kNewLogic + 2);
    ScratchDir badLogic;
    firmwareFor(c, badLogic, kNewFirmware + 2);
    std::vector<std::string> lines = fuseLines(fuseRows(c.rows, c.rowLength, 5), c.linesPerRow);
    lines[7].pop_back();
    writeTextFile(badLogic.path() + "/" + c.logicFile + ".009", jedecText(lines));
    EXPECT_EQ(update(badFirmware.prefix(), 3), -1302);
    expectLinkClosed();
    EXPECT_EQ(update(badLogic.prefix(), 3), -1306);
    expectLinkClosed();
    EXPECT_EQ(writesSince(s, before), kNothingWritten);
    expectProbeHolds(s, firmware, rows, c.logicBase + kNewLogic);

    // A version answer of a length that names no model.
    s.withProbe([](sim::Probe& p) { p.answerVersionsWithLength(9); });
    EXPECT_EQ(update(dir.prefix(), 3), -1301);
    expectLinkClosed();
    EXPECT_EQ(writesSince(s, before), kNothingWritten);
    s.withProbe([](sim::Probe& p) { p.answerVersionsWithLength(std::nullopt); });
    expectProbeHolds(s, firmware, rows, c.logicBase + kNewLogic);
}

TEST_F(UpdatePersistenceSim, ASecondSimulatorOnTheFlashFileRunsTheNewFirmware) {
    const ModelCase& c = kModelB;
    ScratchDir dir;
    const FirmwareFile firmware = firmwareFor(c, dir, kNewFirmware + 2);
    logicFor(c, dir, kNewLogic + 2);
    sim::SimOptions options = optionsFor(c);
    options.flashFile = dir.path() + "/probe.flash";
    {
        SimOnPty first(options);
        ASSERT_TRUE(first.started());
        ASSERT_EQ(TOV_UpdateFirmwareLogic(first.port().c_str(), dir.prefix().c_str(), c.family, 0),
                  0);
        expectLinkClosed();
    }
    SimOnPty second(options);
    ASSERT_TRUE(second.started());
    EXPECT_FALSE(second.sim().inLoader());
    ASSERT_EQ(TOV_Connect(second.port().c_str()), 0);
    TargetInfo info{};
    ASSERT_EQ(TOV_InfoGet(&info), 0);
    EXPECT_EQ(info.family, c.family);
    EXPECT_EQ(info.version, kNewFirmware + 2);
    TOV_Close();

    char description[64] = {}, family[64] = {}, versions[64] = {}, mac[64] = {}, ip[64] = {},
         mask[64] = {}, gateway[64] = {};
    ASSERT_EQ(TOV_GetConfiguration(second.port().c_str(), description, family, versions, mac, ip,
                                   mask, gateway),
              0);
    // Loader 103, firmware 108, logic 4009 shown modulo 1000.
    EXPECT_STREQ(versions, "103:108:009");
    EXPECT_STREQ(family, "ARM");
}

// Caller buffers for TOV_GetConfiguration with room beyond their documented sizes, which is
// filled with a canary that must survive.
class ConfigurationBuffers {
public:
    enum Field { kDescription, kFamily, kVersions, kMac, kIp, kMask, kGateway, kFields };

    ConfigurationBuffers() {
        for (auto& b : buffers_) b.fill(kCanary);
    }
    int32_t read(const std::string& port) {
        return TOV_GetConfiguration(port.c_str(), buffers_[kDescription].data(),
                                    buffers_[kFamily].data(), buffers_[kVersions].data(),
                                    buffers_[kMac].data(), buffers_[kIp].data(),
                                    buffers_[kMask].data(), buffers_[kGateway].data());
    }
    std::string text(Field f) const {
        return std::string(buffers_[f].data(), strnlen(buffers_[f].data(), kDocumented[f]));
    }
    // Every text ends inside its documented size and nothing beyond it was written.
    void expectWithinDocumentedSizes() const {
        for (size_t f = 0; f < kFields; ++f) {
            const auto& b = buffers_[f];
            EXPECT_LT(strnlen(b.data(), kDocumented[f]), kDocumented[f]) << "field " << f;
            for (size_t i = kDocumented[f]; i < b.size(); ++i) {
                EXPECT_EQ(b[i], kCanary) << "field " << f << " byte " << i;
            }
        }
    }

private:
    static constexpr char kCanary = '\x5A';
    static constexpr std::array<size_t, kFields> kDocumented{27, 14, 14, 18, 16, 16, 16};
    std::array<std::array<char, 64>, kFields> buffers_{};
};

TEST_F(NetworkConfigSim, RecordRoundTripsOnTheTovBAndTovA) {
    {
        SimOnPty probe(optionsFor(kModelB));
        ASSERT_TRUE(probe.started());
        ASSERT_EQ(TOV_ConfigNetwork(probe.port().c_str(), "192.168.1.1", "255.255.255.0", ""), 0);
        expectLinkClosed();
        probe.sim().withProbe([](sim::Probe& p) {
            const std::vector<uint8_t> record{0x02, 0xC1, 0xA5, 0x12, 0x34, 0x56, 0xFF,
                                              0xFF, 0xC0, 0xA8, 0x01, 0x01, 0xFF, 0xFF,
                                              0xFF, 0x00, 0xFF, 0xFF, 0xFF, 0xFF};
            EXPECT_EQ(p.ownFlash().read(0x01008000, record.size()), record);
        });

        ConfigurationBuffers texts;
        ASSERT_EQ(texts.read(probe.port()), 0);
        expectLinkClosed();
        texts.expectWithinDocumentedSizes();
        EXPECT_EQ(texts.text(ConfigurationBuffers::kDescription), "TOV-B (SN: 12345678)");
        EXPECT_EQ(texts.text(ConfigurationBuffers::kFamily), "ARM");
        EXPECT_EQ(texts.text(ConfigurationBuffers::kVersions), "103:105:003");
        EXPECT_EQ(texts.text(ConfigurationBuffers::kMac), "02-c1-a5-12-34-56");
        EXPECT_EQ(texts.text(ConfigurationBuffers::kIp), "192.168.1.1");
        EXPECT_EQ(texts.text(ConfigurationBuffers::kMask), "255.255.255.0");
        EXPECT_EQ(texts.text(ConfigurationBuffers::kGateway), "255.255.255.255");
    }
    {
        SimOnPty probe(optionsFor(kModelA));
        ASSERT_TRUE(probe.started());
        // An empty component counts 0; a three-component text is invalid.
        ASSERT_EQ(TOV_ConfigNetwork(probe.port().c_str(), "10..0.1", "255.255.0.0", "1.2.3"), 0);
        expectLinkClosed();
        ConfigurationBuffers texts;
        ASSERT_EQ(texts.read(probe.port()), 0);
        expectLinkClosed();
        texts.expectWithinDocumentedSizes();
        EXPECT_EQ(texts.text(ConfigurationBuffers::kDescription), "TOV-A (SN: 31415926)");
        EXPECT_EQ(texts.text(ConfigurationBuffers::kVersions), "104:105:003");
        EXPECT_EQ(texts.text(ConfigurationBuffers::kMac), "02-c1-a5-31-41-59");
        EXPECT_EQ(texts.text(ConfigurationBuffers::kIp), "10.0.0.1");
        EXPECT_EQ(texts.text(ConfigurationBuffers::kMask), "255.255.0.0");
        EXPECT_EQ(texts.text(ConfigurationBuffers::kGateway), "255.255.255.255");
    }
}

TEST_F(NetworkConfigSim, TovXHasNoRecordAndNothingIsWritten) {
    SimOnPty probe(optionsFor(kModelX));
    ASSERT_TRUE(probe.started());
    std::vector<uint8_t> flashBefore;
    probe.sim().withProbe([&](sim::Probe& p) { flashBefore = p.ownFlash().bytes(); });
    const Writes before = writesOf(probe.sim());
    EXPECT_EQ(TOV_ConfigNetwork(probe.port().c_str(), "192.168.1.1", "255.255.255.0", ""), -1202);
    expectLinkClosed();
    EXPECT_EQ(writesSince(probe.sim(), before), kNothingWritten);
    probe.sim().withProbe([&](sim::Probe& p) { EXPECT_EQ(p.ownFlash().bytes(), flashBefore); });

    ConfigurationBuffers texts;
    ASSERT_EQ(texts.read(probe.port()), 0);
    expectLinkClosed();
    texts.expectWithinDocumentedSizes();
    EXPECT_EQ(texts.text(ConfigurationBuffers::kDescription), "TOV-X");
    EXPECT_EQ(texts.text(ConfigurationBuffers::kFamily), "HC12");
    EXPECT_EQ(texts.text(ConfigurationBuffers::kVersions), "021:105:003");
    EXPECT_EQ(texts.text(ConfigurationBuffers::kMac), "");
    EXPECT_EQ(texts.text(ConfigurationBuffers::kIp), "");
    EXPECT_EQ(texts.text(ConfigurationBuffers::kMask), "");
    EXPECT_EQ(texts.text(ConfigurationBuffers::kGateway), "");
}

}  // namespace
}  // namespace tov::test
