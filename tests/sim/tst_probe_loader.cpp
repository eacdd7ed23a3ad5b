// The probe's loader and its own flash: version answers per model, erase and program rules,
// the start marker, firmware versions from the image, the stored setup and the network record.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "tests/sim/loader_chat.h"
#include "tests/support/firmware_file.h"

namespace tov::sim {
namespace {

Bytes text(const std::string& t) {
    return Bytes(t.begin(), t.end());
}

Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/tovloader-XXXXXX";
        path = mkdtemp(pattern);
    }
    ~TempDir() { std::filesystem::remove_all(path); }
    std::string path;
};

TEST(ProbeLoader, VersionAnswerIdentifiesEachModel) {
    // Family 40 firmware 1.05 is the word 0xE869; the factory logic is 8000 + 3 = 0x1F43.
    const Bytes head{0x64};
    struct Case {
        ProbeModel model;
        Bytes answer;
    } cases[] = {
        {ProbeModel::X, {0x64, 0x00, 21, 0xE8, 0x69, 0x1F, 0x43}},
        {ProbeModel::B, concat({0x64, 0x00, 103, 0xE8, 0x69, 0x1F, 0x43}, text("12345678"))},
        {ProbeModel::BC, concat({0x64, 0x00, 103, 0xE8, 0x69, 0x1F, 0x43}, text("12345679RC"))},
        {ProbeModel::A, concat(concat({0x64, 0x00, 104, 0xE8, 0x69, 0x1F, 0x43}, text("31415926")),
                               {'R', 'E', 'V', '2', 0, 0, 0, 0})},
    };
    const size_t lengths[] = {7, 15, 17, 23};
    for (size_t i = 0; i < 4; ++i) {
        LoaderChat chat(LoaderChat::options(cases[i].model));
        ASSERT_TRUE(chat.inLoader());
        const Bytes answer = chat.ask(Req(kReadVersions));
        EXPECT_EQ(answer, cases[i].answer) << modelName(cases[i].model);
        EXPECT_EQ(answer.size(), lengths[i]);
        // A version request with a payload is not understood.
        EXPECT_EQ(chat.ask(Req(kReadVersions).u8(0)), Bytes{0x00});
    }
    LoaderChat rc(LoaderChat::options(ProbeModel::BC));
    EXPECT_EQ(rc.ask(Req(kReadVersions)).at(16), 'C');

    // Another family: firmware word and logic base follow it (family 10: 0xA069, 4000 + 3).
    SimOptions o = LoaderChat::options(ProbeModel::B);
    o.family = 10;
    LoaderChat arm(o);
    const Bytes answer = arm.ask(Req(kReadVersions));
    EXPECT_EQ(be16(answer, 3), 0xA069);
    EXPECT_EQ(be16(answer, 5), 4003);
}

TEST(ProbeLoader, FlashEraseProgramAndReadBack) {
    LoaderChat chat(LoaderChat::options(ProbeModel::B));
    const uint32_t at = 0x01080010;
    EXPECT_EQ(chat.eraseStatus(at), 0);  // any address erases its whole sector
    EXPECT_EQ(chat.read(0x01080000, 16), Bytes(16, 0xFF));
    EXPECT_EQ(chat.read(0x010BFFF0, 16), Bytes(16, 0xFF));

    const Bytes data{0x12, 0x34, 0x56, 0x78, 0x9A};
    Bytes answer = chat.ask(Req(kProgramFlash).u32(at).u16(5).raw(data));
    EXPECT_EQ(answer, (Bytes{0x68, 0, 0x01, 0x08, 0x00, 0x15}));
    EXPECT_EQ(chat.read(at, 5), data);
    Bytes full = chat.ask(Req(kReadFlash).u32(at).u16(5));
    EXPECT_EQ(full,
              (Bytes{0x65, 0x01, 0x08, 0x00, 0x10, 0x00, 0x05, 0x12, 0x34, 0x56, 0x78, 0x9A}));

    // A bit cannot go back from 0 to 1: refused, nothing changes; clearing more bits works.
    EXPECT_EQ(chat.program(at, {0xFF, 0x34}), int(FlashStatus::NotErased));
    EXPECT_EQ(chat.read(at, 5), data);
    EXPECT_EQ(chat.program(at, {0x02, 0x30}), 0);
    EXPECT_EQ(chat.read(at, 2), (Bytes{0x02, 0x30}));

    // The loader's sector, the edges of the flash, and malformed requests.
    EXPECT_EQ(chat.eraseStatus(0x01000000), int(FlashStatus::Protected));
    EXPECT_EQ(chat.program(0x01007FFC, {0, 0, 0, 0}), int(FlashStatus::Protected));
    EXPECT_EQ(chat.eraseStatus(0x01100000), int(FlashStatus::OutOfRange));
    EXPECT_EQ(chat.program(0x010FFFFE, {0, 0, 0, 0}), int(FlashStatus::OutOfRange));
    EXPECT_EQ(chat.ask(Req(kProgramFlash).u32(at).u16(4).raw({1, 2})).at(1),
              int(FlashStatus::Malformed));
    EXPECT_EQ(chat.ask(Req(kReadFlash).u32(0x010FFFFF).u16(2)), Bytes{0x00});
    EXPECT_EQ(chat.ask(Req(kReadFlash).u32(0x01000000).u16(1494)), Bytes{0x00});
    EXPECT_EQ(chat.ask(Req(kReadFlash).u32(0x01000000).u16(1493)).size(), 1500u);
    EXPECT_EQ(chat.ask(Req(kEraseSector).u16(1)), (Bytes{0x67, uint8_t(FlashStatus::Malformed)}));

    // The TOV-X counts 16-bit words and takes even addresses only.
    LoaderChat x(LoaderChat::options(ProbeModel::X));
    EXPECT_EQ(x.eraseStatus(0x000C0000), 0);
    Bytes words = x.ask(Req(kProgramFlash).u32(0x000C0000).u16(2).raw({1, 2, 3, 4}));
    EXPECT_EQ(words, (Bytes{0x68, 0, 0x00, 0x0C, 0x00, 0x04}));
    EXPECT_EQ(x.read(0x000C0000, 4), (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(x.ask(Req(kProgramFlash).u32(0x000C0000).u16(4).raw({1, 2, 3, 4})).at(1),
              int(FlashStatus::Malformed));
    EXPECT_EQ(x.program(0x000C0011, {0, 0}), int(FlashStatus::Malformed));
}

TEST(ProbeLoader, StartMarkerDecidesWhereTheProbeComesUp) {
    TempDir dir;
    LoaderChat chat(LoaderChat::options(ProbeModel::B));
    // Without the marker the start request is answered, but the loader comes up again.
    EXPECT_EQ(chat.eraseStatus(0x01040000), 0);
    EXPECT_EQ(chat.ask(Req(0x71)), Bytes{0x71});
    EXPECT_FALSE(chat.probe.listening(chat.now));
    chat.wait();
    EXPECT_TRUE(chat.inLoader());
    EXPECT_EQ(be16(chat.ask(Req(kReadVersions)), 3), 0xFFFF);

    // A firmware file for the ARM family, version 12: the new word is 0xA00C.
    const auto file = test::writeFirmwareFile(dir.path, "TQBARMFW", 12, 0xA000, "B");
    ASSERT_EQ(chat.updateFirmware(file.path), 0);
    EXPECT_EQ(be16(chat.ask(Req(kReadVersions)), 3), 0xA00C);
    EXPECT_EQ(chat.read(file.start, 64), Bytes(file.image.begin(), file.image.begin() + 64));
    EXPECT_EQ(chat.ask(Req(0x71)), Bytes{0x71});
    chat.wait();
    EXPECT_FALSE(chat.inLoader());
    const Bytes info = chat.ask(Req(0xC1));
    ASSERT_GE(info.size(), 10u);
    EXPECT_EQ(be16(info, 2), 0xA00C);

    // The same on the TOV-X, which programs words and has S2 records.
    LoaderChat x(LoaderChat::options(ProbeModel::X));
    const auto c12 = test::writeFirmwareFile(dir.path, "TOVC12FW", 7, 0x7000, "X");
    ASSERT_EQ(x.updateFirmware(c12.path), 0);
    x.ask(Req(0x71));
    x.wait();
    EXPECT_FALSE(x.inLoader());
    EXPECT_EQ(be16(x.ask(Req(0xC1)), 2), 0x7007);
}

TEST(ProbeLoader, EnterLoaderFromFirmwareAndStartFirmwareBack) {
    LoaderChat chat(LoaderChat::options(ProbeModel::B, false));
    ASSERT_FALSE(chat.inLoader());
    EXPECT_EQ(chat.ask(Req(kReadVersions)), Bytes{0x00});  // the firmware does not know it
    EXPECT_EQ(chat.ask(Req(kEnterLoader).u8(1)), Bytes{0x00});
    EXPECT_EQ(chat.ask(Req(kEnterLoader)), Bytes{0x72});
    EXPECT_FALSE(chat.probe.listening(chat.now));
    chat.wait();
    EXPECT_TRUE(chat.inLoader());
    EXPECT_EQ(chat.ask(Req(kReadVersions)).size(), 15u);
    // In the loader Enter loader is no switch-over.
    EXPECT_EQ(chat.ask(Req(kEnterLoader)), Bytes{0x00});
    EXPECT_TRUE(chat.probe.listening(chat.now));
    EXPECT_EQ(chat.ask(Req(0x71)), Bytes{0x71});
    chat.wait();
    EXPECT_FALSE(chat.inLoader());
    EXPECT_EQ(chat.ask(Req(0xC1)).at(0), 0xC1);
}

TEST(ProbeLoader, FirmwareWritesTheSetupThatItsInformationReports) {
    LoaderChat chat(LoaderChat::options(ProbeModel::B, false));
    EXPECT_EQ(chat.ask(Req(0xC1)), (Bytes{0xC1, 0, 0xE8, 0x69, 0x88, 0x21, 0, 0, 0, 0}));
    // The setup transfer: erase, an init entry, the setup block, the closing request.
    EXPECT_EQ(chat.eraseStatus(0x0100C000), 0);
    EXPECT_EQ(chat.program(0x0100C400, {0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 100}), 0);
    Bytes block(128, 0xFF);
    const Bytes head = Req(0xCF).u8(0xE8).u8(0x01).u8(0xCF).u32(0x65000000).u32(9600);
    std::copy(head.begin(), head.end(), block.begin());
    const std::string id = "bench board";
    std::copy(id.begin(), id.end(), block.begin() + 88);
    block[88 + id.size()] = 0;
    EXPECT_EQ(chat.program(0x0100C000, block), 0);
    EXPECT_EQ(chat.read(0x0100C000, 128), block);
    EXPECT_EQ(chat.ask(Req(kClosingRequest)), Bytes{0x73});
    EXPECT_EQ(chat.ask(Req(0xC1)),
              concat({0xC1, 0, 0xE8, 0x69, 0x88, 0x21, 0x65, 0, 0, 0}, text(id)));
    // A block without its magic is no setup; erasing the sector forgets it.
    EXPECT_EQ(chat.eraseStatus(0x0100C000), 0);
    EXPECT_EQ(chat.ask(Req(0xC1)).size(), 10u);
}

TEST(ProbeLoader, NetworkRecordReadsAndRewrites) {
    LoaderChat b(LoaderChat::options(ProbeModel::B));
    const Bytes factory = b.read(0x01008000, 104);
    ASSERT_EQ(factory.size(), 104u);
    EXPECT_EQ(Bytes(factory.begin(), factory.begin() + 20),
              (Bytes{0x02, 0xC1, 0xA5, 0x12, 0x34, 0x56, 0xFF, 0xFF, 192, 168,
                     1,    100,  255,  255,  255,  0,    192,  168,  1,   1}));
    EXPECT_EQ(Bytes(factory.begin() + 20, factory.end()), Bytes(84, 0xFF));

    const Bytes record = networkRecord("12345678", 0x0A000001, 0xFF000000, 0xFFFFFFFF);
    EXPECT_EQ(b.program(0x01008000, record), int(FlashStatus::NotErased));
    EXPECT_EQ(b.eraseStatus(0x01008000), 0);
    EXPECT_EQ(b.read(0x01008000, 20), Bytes(20, 0xFF));
    EXPECT_EQ(b.program(0x01008000, record), 0);
    EXPECT_EQ(b.read(0x01008000, 20), record);
    // Its own sector: the setup next to it is untouched by the erase.
    EXPECT_NE(b.probe.ownFlash().sectorStart(0x01008000), 0x0100C000u);

    LoaderChat a(LoaderChat::options(ProbeModel::A));
    const Bytes aRecord = a.read(0x00084000, 20);
    EXPECT_EQ(Bytes(aRecord.begin(), aRecord.begin() + 6),
              (Bytes{0x02, 0xC1, 0xA5, 0x31, 0x41, 0x59}));
    EXPECT_EQ(a.eraseStatus(0x00084000), 0);
    EXPECT_EQ(a.program(0x00084000, record), 0);
    EXPECT_EQ(a.read(0x00084000, 20), record);
    // The firmware's start marker survives: the record's sector is not the firmware's.
    EXPECT_TRUE(a.probe.ownFlash().startMarkerPresent());
}

TEST(ProbeLoader, FirmwareFileGenerator) {
    TempDir dir;
    const auto file = test::writeFirmwareFile(dir.path, "TQBARMFW", 12, 0xA000, "B", 200 * 1024);
    EXPECT_EQ(std::filesystem::path(file.path).filename(), "TQBARMFW.012");
    EXPECT_EQ(file.start, 0x01040004u);
    EXPECT_EQ(file.image.size(), 200u * 1024 + 4);
    std::ifstream in(file.path);
    std::string line, first, last;
    size_t records = 0, bytes = 0;
    files::SRecord record;
    while (std::getline(in, line)) {
        if (first.empty()) first = line;
        last = line;
        if (files::parseSRecordLine(line, files::kLoadLineRules, record) ==
            files::LineResult::kRecord) {
            EXPECT_EQ(record.type, 3);
            EXPECT_EQ(record.address, file.start + bytes);
            bytes += record.length;
            ++records;
        }
    }
    EXPECT_EQ(first.substr(0, 2), "S0");
    EXPECT_EQ(last.substr(0, 2), "S7");
    EXPECT_EQ(bytes, file.image.size());
    EXPECT_EQ(records, (file.image.size() + 31) / 32);
    EXPECT_EQ(test::sRecordLine(1, 0x1234, {0xAB}), "S1041234AB0A");

    const auto small = test::writeFirmwareFile(dir.path, "TQAARMFW", 3, 0xA000, "A", 1024);
    std::ifstream a(small.path);
    std::getline(a, line);
    std::getline(a, line);
    EXPECT_EQ(line.substr(0, 10), "S2240A0004");  // S2, 32 data bytes at 0x0A0004
    EXPECT_EQ(line.substr(10, 8), "A003FFFF");    // the version record
}

}  // namespace
}  // namespace tov::sim
