// The update dialog against the simulated TOV-B and TOV-B Rev.C on COM1: connect, update of
// firmware and logic with its status texts, the files checked before any erase, the logic
// read-back fault, probes that are not there or not TOV-Bs, and the TCP/IP record.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest/QTest>

#include <cstdio>
#include <fstream>

#include "include/tovlink.h"
#include "probe_on_com1.h"
#include "setup/update_dialog.h"
#include "sim/update_files.h"
#include "tests/support/firmware_file.h"
#include "tests/support/jedec_file.h"

namespace tov::setup::test {
namespace {

// The ARM11 family's firmware word base; its files carry base + version.
constexpr uint16_t kFirmwareBase = 0xE800;
constexpr size_t kCodeSize = 16 * 1024;

class UpdateDialogTest : public ProbeTest {
protected:
    std::string fileDir() const { return dir.path().toStdString(); }
    tov::test::FirmwareFile writeFirmware(unsigned version) {
        return tov::test::writeFirmwareFile(fileDir(), "TQBA11FW", version, kFirmwareBase, "B",
                                            kCodeSize, version);
    }
    std::vector<std::string> writeLogic(const char* base, unsigned version) {
        const auto rows = tov::test::fuseRows(134, 240, version);
        char name[32];
        std::snprintf(name, sizeof name, "/%s.%03u", base, version);
        tov::test::writeTextFile(fileDir() + name,
                                 tov::test::jedecText(tov::test::fuseLines(rows, 4)));
        return rows;
    }
    static UpdateSettings settings(const std::string& ip = "192.168.1.50") {
        return {0, 0, ip, "255.255.0.0", ""};
    }
    static void setField(CUpdateDlg& d, int index, const QString& text) {
        d.findChildren<QLineEdit*>().at(index)->setText(text);
    }
    static sim::SimOptions model(sim::ProbeModel m) {
        sim::SimOptions options;
        options.model = m;
        return options;
    }
    // The status texts from `first` on.
    static QStringList from(const QStringList& log, const QString& first) {
        return log.mid(log.indexOf(first));
    }
};

TEST_F(UpdateDialogTest, ConnectUpdateCurrentAndOkStartTheNewFirmware) {
    startProbe();
    // The TOV-B's files as `tovsim --write-update-files DIR --logic-version 7` writes them; what
    // the probe must hold afterwards comes from the test's own copy.
    const auto written = sim::writeUpdateFiles({fileDir(), sim::ProbeModel::B, 40, 106, 7});
    ASSERT_TRUE(written.error.empty()) << written.error;
    QTemporaryDir expected;
    const auto firmware = tov::test::writeFirmwareFile(expected.path().toStdString(), "TQBA11FW",
                                                       106, kFirmwareBase, "B", kCodeSize, 106);
    const auto rows = tov::test::fuseRows(134, 240, 7);
    writeLogic("ARMJEDQC", 9);  // the Rev.C's file is not the TOV-B's

    CUpdateDlg d(settings(), dir.path());
    EXPECT_EQ(d.currentFirmwareText(), "unknown");
    EXPECT_EQ(d.newestFirmwareText(), "1.06");
    EXPECT_EQ(d.newestLogicText(), "0.07");
    d.onConnect();
    ASSERT_TRUE(d.connected());
    EXPECT_EQ(d.statusText(), "Connecting to TOV-B Loader passed!");
    EXPECT_EQ(d.currentFirmwareText(), "1.05");
    EXPECT_EQ(d.currentLogicText(), "0.03");
    EXPECT_EQ(d.serialText(), "12345678");
    EXPECT_EQ(d.macText(), "02C1A5123456");
    screenshot(d, "update_dialog");

    // While the update runs the window keeps handling its events (timers fire) and no second
    // operation starts: the buttons are off and a second Current is refused.
    // Keys pressed meanwhile are dropped, not kept for later: Escape does not close the dialog
    // once the update ends, and nothing typed reaches a field.
    bool sawBusy = false;
    QLineEdit* ip = d.findChildren<QLineEdit*>().at(0);
    const QString ipBefore = ip->text();
    QTimer::singleShot(0, &d, [&] {
        for (QPushButton* button : d.findChildren<QPushButton*>()) {
            if (button->text() == "Current") sawBusy = d.busy() && !button->isEnabled();
        }
        const qsizetype shown = d.statusLog().size();
        d.onCurrent();
        EXPECT_EQ(d.statusLog().size(), shown);
        QTest::keyClicks(ip, "9");
        QTest::keyClick(&d, Qt::Key_Escape);
    });
    d.onUpdate();
    EXPECT_TRUE(sawBusy);
    EXPECT_FALSE(d.busy());
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(ip->text(), ipBefore);
    // Both parts are up to date: Update has nothing left to do.
    for (QPushButton* button : d.findChildren<QPushButton*>()) {
        if (button->text() == "Update") {
            EXPECT_FALSE(button->isEnabled());
        }
        if (button->text() == "Current") {
            EXPECT_TRUE(button->isEnabled());
        }
    }
    EXPECT_TRUE(messages.empty()) << texts().join("; ").toStdString();
    const QStringList log = from(d.statusLog(), "Firmware: Erasing Flash ...");
    ASSERT_GE(log.size(), 8);
    EXPECT_EQ(log[1], "Firmware: Programming Flash ...");
    // Firmware percentages rise, each shown once.
    int last = -1;
    int index = 2;
    for (; log[index].startsWith("Firmware: Programming Flash ... ( "); ++index) {
        const int percent = log[index].section("( ", 1).section('%', 0, 0).toInt();
        EXPECT_GT(percent, last);
        last = percent;
    }
    EXPECT_EQ(last, 100);
    EXPECT_EQ(log[index], "Firmware: Programming Flash ... passed!");
    EXPECT_EQ(log[index + 1], "Logic: Reading JEDEC File ...");
    EXPECT_EQ(log[index + 2], "Logic: Erasing ...");
    EXPECT_EQ(log[index + 3], "Logic: Programming ...");
    EXPECT_TRUE(log.contains("Logic: Programming ... ( 99% )"));
    EXPECT_TRUE(log.contains("Logic: Verifying ... ( 0% )"));
    EXPECT_EQ(log.last(),
              "Updating firmware and logic passed! The stored setup was erased: Transmit in the "
              "working-mode dialog writes it again.");
    screenshot(d, "update_dialog_done");
    EXPECT_EQ(d.currentFirmwareText(), "1.06");
    EXPECT_EQ(d.currentLogicText(), "0.07");

    onProbe([&](sim::Probe& p) {
        EXPECT_TRUE(p.ownFlash().startMarkerPresent());
        EXPECT_EQ(p.ownFlash().read(firmware.start, firmware.image.size()), firmware.image);
        EXPECT_EQ(p.logic().rows(), rows);
        EXPECT_EQ(p.logic().uesVersion(), 8007u);
    });
    d.onCurrent();
    EXPECT_EQ(from(d.statusLog(), "Reading current versions, please wait."),
              (QStringList{"Reading current versions, please wait.",
                           "Reading current versions passed!"}));
    EXPECT_EQ(d.currentFirmwareText(), "1.06");

    d.accept();
    EXPECT_EQ(d.statusText(), "Starting firmware please wait....");
    EXPECT_FALSE(d.connected());
    ASSERT_EQ(TOV_Connect("COM1 9600"), 0);
    TargetInfo info{};
    ASSERT_EQ(TOV_InfoGet(&info), 0);
    EXPECT_EQ(info.family, 40);
    EXPECT_EQ(info.version, 106);
    TOV_Close();
}

TEST_F(UpdateDialogTest, BadFilesStopBeforeAnyEraseAndAFuseFaultFailsTheLogic) {
    startProbe(model(sim::ProbeModel::BC));
    const auto firmware = writeFirmware(107);
    { std::ofstream(firmware.path, std::ios::app) << "S1130000FFFF\n"; }
    writeLogic("ARMJEDQB", 4);
    writeLogic("ARMJEDQC", 8);
    CUpdateDlg d(settings(), dir.path());
    EXPECT_EQ(d.newestLogicText(), "0.04");  // no probe yet: the TOV-B's file
    d.onConnect();
    ASSERT_TRUE(d.connected());
    EXPECT_EQ(d.serialText(), "12345679RC");
    EXPECT_EQ(d.newestLogicText(), "0.08");

    d.onUpdate();
    EXPECT_EQ(texts(), QStringList{"Firmware update failed!"});
    EXPECT_EQ(d.statusText(), "Updating firmware and logic failed!");
    EXPECT_EQ(sim().storageWrites().sectorErases, 0u);
    EXPECT_EQ(sim().storageWrites().logicErases, 0u);

    // Only the logic differs now; its second row's first reading comes back wrong.
    std::remove(firmware.path.c_str());
    writeFirmware(105);
    onProbe([](sim::Probe& p) { p.logic().breakRowReadBack(1, 0); });
    d.onUpdate();
    EXPECT_EQ(texts().last(), "Logic: Fuse map programmed verification failed!");
    EXPECT_EQ(d.statusText(), "Updating firmware and logic failed!");
    EXPECT_EQ(d.newestFirmwareText(), "1.05");  // the file the update used, not the removed one
    EXPECT_EQ(sim().storageWrites().sectorErases, 0u);
    EXPECT_EQ(sim().storageWrites().logicErases, 1u);
    onProbe([](sim::Probe& p) { p.logic().clearHooks(); });
    d.reject();
}

TEST_F(UpdateDialogTest, ProbesThatCannotBeUpdated) {
    sim::SimOptions options;
    options.loaderVersion = 0;
    startProbe(options);
    {
        CUpdateDlg d(settings(), dir.path());
        d.onConnect();
        EXPECT_FALSE(d.connected());
        EXPECT_EQ(texts(), QStringList{"There is no TOV-B connected!"});
        EXPECT_EQ(d.statusText(), "Connecting to TOV-B loader failed!");

        d.findChild<QComboBox*>()->setCurrentIndex(1);  // COM2: nothing answers
        d.onConnect();
        EXPECT_EQ(texts().last(), "Cannot connect to TOV loader!");
        EXPECT_EQ(messages.back().icon, QMessageBox::Warning);
        d.reject();
    }
    // An invalid IP address stops every action.
    CUpdateDlg d(settings("1.2.3"), dir.path());
    messages.clear();
    d.onConnect();
    EXPECT_FALSE(d.connected());
    EXPECT_EQ(texts(), QStringList{"Invalid IP address!"});
    d.accept();
    EXPECT_EQ(d.result(), QDialog::Rejected);
    EXPECT_EQ(texts().size(), 2);
    EXPECT_TRUE(d.statusLog().isEmpty());
}

TEST_F(UpdateDialogTest, TransmitWritesTheNetworkRecordAndOkKeepsTheValues) {
    startProbe();
    CTovDoc doc;
    doc.comm.ipAddress = "192.168.1.50";
    whenShown<CUpdateDlg>([](CUpdateDlg& d) {
        d.onConnect();
        setField(d, 0, "10..0.7");
        setField(d, 1, "255.255.255.0");
        setField(d, 2, "");
        d.onTransmit();
        EXPECT_EQ(d.statusLog().mid(d.statusLog().size() - 2),
                  (QStringList{"Writing setup data ....", "Writing setup data passed"}));
        d.accept();
    });
    runUpdateDialog(doc, nullptr);
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(doc.isModified());
    EXPECT_EQ(doc.comm.ipAddress, "10..0.7");
    EXPECT_EQ(doc.subnetMask, "255.255.255.0");
    EXPECT_EQ(doc.gateway, "");

    char description[40], family[20], versions[20], mac[20], ip[20], mask[20], gateway[20];
    ASSERT_EQ(
        TOV_GetConfiguration("COM1 9600", description, family, versions, mac, ip, mask, gateway),
        0);
    EXPECT_STREQ(mac, "02-c1-a5-12-34-56");
    EXPECT_STREQ(ip, "10.0.0.7");
    EXPECT_STREQ(mask, "255.255.255.0");
    EXPECT_STREQ(gateway, "255.255.255.255");

    // Cancel leaves the document as it was.
    doc.setModified(false);
    whenShown<CUpdateDlg>([](CUpdateDlg& d) {
        setField(d, 0, "10.1.1.1");
        d.reject();
    });
    runUpdateDialog(doc, nullptr);
    EXPECT_FALSE(doc.isModified());
    EXPECT_EQ(doc.comm.ipAddress, "10..0.7");
}

}  // namespace
}  // namespace tov::setup::test
