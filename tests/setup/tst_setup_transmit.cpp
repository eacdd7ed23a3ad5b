// Transmit from the working-mode dialog and from the command line against the simulator on a
// pseudo-terminal, reached as COM1: what the probe's setup sector holds afterwards.
#include <stdlib.h>

#include <chrono>

#include "gui_fixture.h"
#include "include/tovlink.h"
#include "maint/setup_sector.h"
#include "setup/batch_mode.h"
#include "setup/doc_archive.h"
#include "setup/mode_dialog.h"
#include "setup/setup_transfer.h"
#include "tests/support/sim_fixture.h"

namespace tov::setup::test {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr size_t kSectorSize = maint::kSetupSectorEnd - maint::kSetupSectorAddress;

class TransmitTest : public GuiTest {
protected:
    void SetUp() override {
        GuiTest::SetUp();
        ASSERT_TRUE(sim.started());
        setenv("TOV_COM1", sim.path().c_str(), 1);
        doc.comm.baudIndex = 4;
        doc.rebuildConnectionParameters();
        doc.mode.setupId = "Line 3";
        doc.initList.append(makeItem(kWm32, 0x10000000, 0x12345678, "init"));
        doc.initList.append(makeItem(kDelay, 0, 100, "wait"));
        doc.initList.append(makeItem(kWgpr, 13, 0x1000, "sp"));
    }
    void TearDown() override {
        unsetenv("TOV_COM1");
        GuiTest::TearDown();
    }

    Bytes sector() {
        Bytes bytes;
        sim.sim().withProbe([&](sim::Probe& p) {
            bytes = *p.ownFlash().read(maint::kSetupSectorAddress, kSectorSize);
        });
        return bytes;
    }
    // Presses Transmit and then Close; gives the status line.
    QString transmit(const QString& screenshotName = {}) {
        QString status;
        whenShown<CModeDlg>([&](CModeDlg& d) {
            d.onTransmit();
            status = d.statusText();
            if (!screenshotName.isEmpty()) screenshot(d, screenshotName);
            d.reject();
        });
        runModeDialog(doc, nullptr);
        return status;
    }
    // The sector a setup with this time should leave: block, entries, 0xFF elsewhere.
    Bytes expectedSector(uint32_t time) const {
        Bytes bytes(kSectorSize, 0xFF);
        const auto block = maint::encodeSetupBlock(setupBlockOf(doc.mode, 4, time));
        std::copy(block.begin(), block.end(), bytes.begin());
        size_t at = maint::kInitEntriesAddress - maint::kSetupSectorAddress;
        for (const maint::InitEntry& e : initEntriesOf(doc.initList)) {
            const auto entry = maint::encodeInitEntry(e);
            std::copy(entry.begin(), entry.end(), bytes.begin() + static_cast<long>(at));
            at += entry.size();
        }
        return bytes;
    }
    static uint32_t timeIn(const Bytes& s) {
        return uint32_t{s[4]} << 24 | uint32_t{s[5]} << 16 | uint32_t{s[6]} << 8 | s[7];
    }

    tov::test::SimOnPty sim{tov::test::simAt(115200)};
    CTovDoc doc;
};

TEST_F(TransmitTest, WritesBlockAndEntriesThatTheProbeReports) {
    const auto now = static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::system_clock::now().time_since_epoch()).count());
    EXPECT_EQ(transmit("working_mode_transmitted"), "Writing setup data passed");
    EXPECT_TRUE(messages.empty());
    const Bytes written = sector();
    EXPECT_LE(timeIn(written) - now, 5u);
    EXPECT_EQ(written, expectedSector(timeIn(written)));
    EXPECT_FALSE(doc.isModified());

    // The probe's information answer reports what was written.
    ASSERT_EQ(TOV_Connect("COM1 115200"), 0);
    TargetInfo info{};
    EXPECT_EQ(TOV_InfoGet(&info), 0);
    TOV_Disconnect();
    EXPECT_STREQ(info.setupId, "Line 3");
    EXPECT_EQ(info.setupTime, timeIn(written));

    // The command line writes the same bytes from the stored setup.
    const std::string file = path("line3.tov").toStdString();
    ASSERT_EQ(saveDocumentFile(file, doc), "");
    EXPECT_EQ(runBatch({"--transmit", file}), 0);
    const Bytes again = sector();
    EXPECT_EQ(again, expectedSector(timeIn(again)));

    // An empty list leaves only the block.
    doc.initList.removeAll();
    EXPECT_EQ(transmit(), "Writing setup data passed");
    const Bytes blockOnly = sector();
    EXPECT_EQ(blockOnly, expectedSector(timeIn(blockOnly)));
}

TEST_F(TransmitTest, ReadBackDifferenceLeavesNoBlock) {
    sim.sim().withProbe([](sim::Probe& p) { p.misreadFlashAt(maint::kInitEntriesAddress + 1); });
    EXPECT_EQ(transmit(), "Writing setup data failed!");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Transfer failed!");
    EXPECT_EQ(messages[0].caption, "Error");
    EXPECT_EQ(messages[0].icon, QMessageBox::Warning);
    const Bytes s = sector();
    EXPECT_EQ(Bytes(s.begin(), s.begin() + 128), Bytes(128, 0xFF));
}

TEST_F(TransmitTest, TooManyItemsAreRefusedBeforeErasing) {
    for (int i = 0; i < 1278; ++i) doc.initList.append(makeItem(kNop, 0, 0, ""));
    EXPECT_EQ(transmit(), "");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].text.indexOf("1280"), -1);
    EXPECT_EQ(sim.sim().storageWrites().sectorErases, 0u);
    EXPECT_EQ(sim.sim().stats().linkFrames + sim.sim().stats().commandFrames, 0u);
}

TEST_F(TransmitTest, StoppedProbeFailsAndTheLinkIsClosed) {
    const std::string file = path("stopped.tov").toStdString();
    ASSERT_EQ(saveDocumentFile(file, doc), "");
    sim.sim().stop();
    EXPECT_EQ(transmit(), "Writing setup data failed!");
    EXPECT_EQ(texts(), QStringList{"Transfer failed!"});
    // The closing request went out on no connection, and none is left open.
    uint8_t request = 0x73;
    uint8_t answer[8];
    EXPECT_LT(TOV_Transaction(1, &request, sizeof answer, answer, 0), 0);

    testing::internal::CaptureStderr();
    EXPECT_EQ(runBatch({"--transmit", file, "--port", "COM1 115200"}), 1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Transfer failed!"), std::string::npos);
}

}  // namespace
}  // namespace tov::setup::test
