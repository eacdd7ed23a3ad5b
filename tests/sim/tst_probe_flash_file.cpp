// The flash file: a probe restarted on it runs the firmware, logic and setup written before.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "sim/probe_flash_file.h"
#include "tests/sim/loader_chat.h"
#include "tests/support/firmware_file.h"

namespace tov::sim {
namespace {

class FlashFile : public ::testing::Test {
protected:
    FlashFile() {
        char pattern[] = "/tmp/tovflashfile-XXXXXX";
        dir = mkdtemp(pattern);
        path = dir + "/probe.flash";
    }
    ~FlashFile() override { std::filesystem::remove_all(dir); }
    SimOptions options(ProbeModel model, bool loader) {
        SimOptions o = LoaderChat::options(model, loader);
        o.flashFile = path;
        return o;
    }
    std::string dir;
    std::string path;
};

TEST_F(FlashFile, NewFirmwareAndLogicSurviveARestart) {
    const auto file = test::writeFirmwareFile(dir, "TQBARMFW", 21, 0xA000, "B");
    {
        LoaderChat chat(options(ProbeModel::B, true));
        EXPECT_TRUE(std::filesystem::exists(path));  // made from the factory image at once
        EXPECT_EQ(chat.probe.flashFileError(), "");
        ASSERT_EQ(chat.updateFirmware(file.path), 0);
        chat.ask(Req(kLogicMode).u8(1));
        chat.ask(Req(kEraseLogic));
        chat.ask(Req(kProgramUes).text(uesBits(ProbeModel::B, 4021)));
        chat.ask(Req(kLogicMode).u8(0));
    }
    // No temporary file is left beside it.
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        files += entry.is_regular_file();
    EXPECT_EQ(files, 2u);  // the firmware file and the flash file

    LoaderChat again(options(ProbeModel::B, false));
    EXPECT_EQ(again.probe.flashFileError(), "");
    ASSERT_FALSE(again.inLoader());
    EXPECT_EQ(be16(again.ask(Req(0xC1)), 2), 0xA015);
    EXPECT_EQ(again.read(file.start, 32), Bytes(file.image.begin(), file.image.begin() + 32));
    EXPECT_EQ(again.ask(Req(kEnterLoader)), Bytes{0x72});
    again.wait();
    const Bytes versions = again.ask(Req(kReadVersions));
    EXPECT_EQ(be16(versions, 3), 0xA015);
    EXPECT_EQ(be16(versions, 5), 4021);
}

TEST_F(FlashFile, AnErasedFirmwareKeepsTheProbeInItsLoader) {
    {
        LoaderChat chat(options(ProbeModel::X, false));
        ASSERT_FALSE(chat.inLoader());
        EXPECT_EQ(chat.eraseStatus(0x000A0000), 0);  // written at once, no clean stop needed
        std::ifstream check(path, std::ios::binary);
        ProbeFlash flash(ProbeModel::X);
        LogicDevice logic(ProbeModel::X);
        EXPECT_EQ(loadProbeFile(path, ProbeModel::X, flash, logic), "");
        EXPECT_FALSE(flash.startMarkerPresent());
    }
    LoaderChat again(options(ProbeModel::X, false));
    EXPECT_TRUE(again.inLoader());
    EXPECT_EQ(again.ask(Req(0x71)), Bytes{0x71});
    again.wait();
    EXPECT_TRUE(again.inLoader());
}

TEST_F(FlashFile, AFileOfAnotherModelOrDamagedIsNotUsedNorOverwritten) {
    { LoaderChat b(options(ProbeModel::B, true)); }
    const auto size = std::filesystem::file_size(path);
    ProbeFlash flash(ProbeModel::A);
    LogicDevice logic(ProbeModel::A);
    EXPECT_NE(loadProbeFile(path, ProbeModel::A, flash, logic), "");
    {
        LoaderChat a(options(ProbeModel::A, true));
        EXPECT_NE(a.probe.flashFileError(), "");
        EXPECT_EQ(a.ask(Req(kReadVersions)).size(), 23u);  // runs from the factory image
        EXPECT_EQ(a.eraseStatus(0x00084000), 0);
    }
    EXPECT_EQ(std::filesystem::file_size(path), size);

    // Cut short: refused as well.
    std::filesystem::resize_file(path, size / 2);
    ProbeFlash bFlash(ProbeModel::B);
    LogicDevice bLogic(ProbeModel::B);
    EXPECT_NE(loadProbeFile(path, ProbeModel::B, bFlash, bLogic), "");
    EXPECT_NE(loadProbeFile(dir + "/missing", ProbeModel::B, bFlash, bLogic), "");
}

}  // namespace
}  // namespace tov::sim
