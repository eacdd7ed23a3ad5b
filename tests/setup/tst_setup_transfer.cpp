// The setup block and init entries a document gives, byte for byte, the writer's requests on a
// scripted probe, the checks made before connecting, and the editor's clipboard data.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "maint/setup_sector.h"
#include "setup/batch_mode.h"
#include "setup/doc_archive.h"
#include "setup/init_list_clipboard.h"
#include "setup/setup_transfer.h"
#include "tests/maint/scripted_loader.h"

namespace tov::setup {
namespace {

using maint::encodeSetupBlock;
using test::Wire;

Wire bytesOf(std::span<const uint8_t> span) {
    return Wire(span.begin(), span.end());
}

TEST(SetupTransfer, BlockOfNewDocumentAndSetupIdForms) {
    CTovDoc doc;
    const auto block = encodeSetupBlock(setupBlockOf(doc.mode, 0, 0x5F5E1000));
    Wire expected{0xCF, 0xE8, 0x01, 0xCF, 0x5F, 0x5E, 0x10, 0x00, 0x00, 0x00, 0x25, 0x80,
                  0xFF, 0xFF, 0xFF, 0xFF, 0x07, 0xD0, 0,    0,    0,    0,    3,    0,
                  0,    0,    0,    0};
    expected.resize(88, 0xFF);
    for (char c : std::string("<No setup ID>")) expected.push_back(static_cast<uint8_t>(c));
    expected.push_back(0x00);  // at offset 101
    expected.resize(128, 0xFF);
    EXPECT_EQ(bytesOf(block), expected);

    doc.mode.setupId = std::string(50, 'x');
    const auto longId = encodeSetupBlock(setupBlockOf(doc.mode, 4, 0));
    EXPECT_EQ(Wire(longId.begin() + 88, longId.begin() + 127), Wire(39, 'x'));
    EXPECT_EQ(longId[127], 0x00);
    EXPECT_EQ(Wire(longId.begin() + 8, longId.begin() + 12), (Wire{0x00, 0x01, 0xC2, 0x00}));
    // What the probe holds decodes back to the values written.
    const auto decoded = maint::decodeSetupBlock(longId);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->setupId, std::string(39, 'x'));
    EXPECT_EQ(decoded->runTime, 2000);
}

TEST(SetupTransfer, EntriesOfDelayAndRegisterItems) {
    CCodeList list;
    list.append(makeItem(kDelay, 0, 100, "wait"));
    list.append(makeItem(kWgpr, 13, 0x1000, "sp"));
    list.append(CCodeItem("BOGUS\t10\t20\t"));
    const auto entries = initEntriesOf(list);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(bytesOf(maint::encodeInitEntry(entries[0])),
              (Wire{0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0x64}));
    EXPECT_EQ(bytesOf(maint::encodeInitEntry(entries[1])),
              (Wire{0, 0, 0, 5, 0, 0, 0, 0x0D, 0, 0, 0x10, 0}));
    // An unknown mnemonic is written as a 32-bit memory write.
    EXPECT_EQ(entries[2].type, uint32_t{kWm32});
}

TEST(SetupTransfer, WriterProgramsEntriesThenBlockAndStopsAtFirstMismatch) {
    test::ScriptedLoader probe;
    probe.open();
    const maint::SetupBlock block{.time = 7, .lineRate = 9600, .runTime = 2000, .setupId = "A"};
    const maint::InitEntry entries[] = {{4, 0x10000000, 0x12345678}, {1, 0, 100}};
    ASSERT_EQ(maint::writeSetupSector(probe, block, entries), 0);
    EXPECT_EQ(probe.opcodes(), (std::vector<uint8_t>{103, 104, 101, 104, 101, 104, 101}));
    EXPECT_EQ(probe.sent[0].request, (Wire{0x67, 0x01, 0x00, 0xC0, 0x00}));
    EXPECT_EQ(probe.sent[0].extraTimeout, 10000);
    Wire first{0x68, 0x01, 0x00, 0xC4, 0x00, 0x00, 0x0C};
    const auto entry0 = maint::encodeInitEntry(entries[0]);
    first.insert(first.end(), entry0.begin(), entry0.end());
    EXPECT_EQ(probe.sent[1].request, first);
    EXPECT_EQ(probe.sent[1].extraTimeout, 1000);
    EXPECT_EQ(probe.sent[2].request, (Wire{0x65, 0x01, 0x00, 0xC4, 0x00, 0x00, 0x0C}));
    EXPECT_EQ(probe.sent[3].request[4], 0x0C);  // the second entry 12 bytes on
    EXPECT_EQ(probe.sent[5].request.size(), 7u + 128u);
    EXPECT_EQ(probe.sent[5].request[4], 0x00);

    test::ScriptedLoader bad;
    bad.open();
    bad.corruptReadBack = true;
    EXPECT_EQ(maint::writeSetupSector(bad, block, entries), -1210);
    EXPECT_EQ(bad.opcodes(), (std::vector<uint8_t>{103, 104, 101}));

    test::ScriptedLoader failing;
    failing.open();
    failing.eraseStatus = 1;
    EXPECT_EQ(maint::writeSetupSector(failing, block, entries), -1208);
    EXPECT_EQ(failing.opcodes(), (std::vector<uint8_t>{103}));

    test::ScriptedLoader full;
    full.open();
    const std::vector<maint::InitEntry> tooMany(1281);
    EXPECT_EQ(maint::writeSetupSector(full, block, tooMany), -1202);
    EXPECT_TRUE(full.sent.empty());
}

TEST(SetupTransfer, RefusalsBeforeConnecting) {
    CCodeList list;
    EXPECT_EQ(transferRefusal(4, list), "");
    EXPECT_NE(transferRefusal(5, list).find("line rate"), std::string::npos);
    for (int i = 0; i < 1281; ++i) list.append(makeItem(kNop, 0, 0, ""));
    EXPECT_NE(transferRefusal(0, list).find("1280"), std::string::npos);
    WorkingMode mode;
    EXPECT_EQ(modeRangeProblem(mode), "");
    mode.runTime = 99;
    EXPECT_EQ(modeRangeProblem(mode), "Run Time 99: Please enter an integer between 100 and 32000.");
}

TEST(SetupTransfer, CommandLineRefusesBadStoredValuesBeforeConnecting) {
    const auto file = std::filesystem::temp_directory_path() /
                      ("tovsetup-refusal-" + std::to_string(::getpid()) + ".tov");
    CTovDoc doc;
    doc.mode.runTime = 99;
    ASSERT_EQ(saveDocumentFile(file.string(), doc), "");
    // A port nobody can open: a refusal must come before any attempt to use it.
    const std::vector<std::string> args{"--transmit", file.string(), "--port", "/nonexistent 9600"};
    testing::internal::CaptureStderr();
    EXPECT_EQ(runBatch(args), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "tovsetup: Run Time 99: Please enter an integer between 100 and 32000.\n");
    doc.mode.runTime = 2000;
    doc.comm.baudIndex = 7;
    ASSERT_EQ(saveDocumentFile(file.string(), doc), "");
    testing::internal::CaptureStderr();
    EXPECT_EQ(runBatch(args), 1);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("line rate index 7"), std::string::npos) << err;
    EXPECT_EQ(err.find("Connecting"), std::string::npos) << err;
    std::filesystem::remove(file);
}

TEST(InitListClipboard, LinesEndedByCrLfAndNul) {
    const std::string data = clipboardData({"WM8\t1\t2\t", "NOP\t\t\t"});
    EXPECT_EQ(data, std::string("WM8\t1\t2\t\r\nNOP\t\t\t\r\n\0", 19));
    EXPECT_EQ(clipboardLines(data), (std::vector<std::string>{"WM8\t1\t2\t", "NOP\t\t\t"}));
    // Text after the last CR is no line.
    EXPECT_EQ(clipboardLines("a\r\nb"), (std::vector<std::string>{"a"}));
}

}  // namespace
}  // namespace tov::setup
