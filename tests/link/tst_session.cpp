// Opening from parameter texts and names, port names, and the connect step.
#include <gtest/gtest.h>

#include <cstdlib>

#include "link/error_codes.h"
#include "link/error_detail.h"
#include "link/session.h"
#include "tests/support/scripted_line.h"

namespace tov::test {
namespace {

class Session : public ::testing::Test {
protected:
    void SetUp() override {
        probe.attach(line);
        probe.onCommand = [this](const Bytes& r) {
            commands.push_back(r);
            uint8_t reply = inLoader && r[2] == 0x71 ? 0x71 : 0x00;
            if (reply == 0x71) inLoader = false;
            line.deliverFrame({static_cast<uint8_t>((r[0] & 0xC0) | 0x10), 0x01, reply});
        };
    }

    ScriptedLine line;
    FakeProbe probe;
    link::LinkContext link{link::libraryFlavour(), line, line.clock};
    std::vector<Bytes> commands;
    bool inLoader = false;
};

TEST_F(Session, BadParameterTextsOpenNothingAndSayWhy) {
    const std::string forms = "; expected COMn [RATE], DEVICEPATH [RATE] or NETWORK HOST [1|2]";
    const std::string longText(100, 'A');
    const std::pair<std::string, std::string> cases[] = {
        {"", "the parameter text is empty" + forms},
        {"   ", "the parameter text is empty" + forms},
        {"NETWORK  ", "NETWORK needs a host name or address: NETWORK HOST [1|2]"},
        {"FOO 9600", "\"FOO\" is neither a port name nor NETWORK" + forms},
        {"network 127.0.83.17 1", "\"network\" is neither a port name nor NETWORK" + forms},
        {"COM1 abc", "COM1: the line rate \"abc\" is not a positive decimal number"},
        {"COM1 0", "COM1: the line rate \"0\" is not a positive decimal number"},
        {"NETWORK a 3", "NETWORK a: the port selector \"3\" is not 1 or 2"},
        {longText, "\"" + std::string(80, 'A') + "\" is neither a port name nor NETWORK" + forms +
                       "; only the first 80 of the text's 100 characters are read"},
    };
    for (const auto& [text, detail] : cases) {
        EXPECT_EQ(link::openFromText(link, text.c_str()), link::kInvalidParameter) << text;
        EXPECT_EQ(link::errorDetail(), detail) << text;
    }
    EXPECT_EQ(link::openFromText(link, nullptr), link::kInvalidParameter);
    EXPECT_TRUE(line.openedPaths.empty());
}

TEST_F(Session, PortNamesMapToDevices) {
    setenv("TOV_COM3", "/tmp/probe-pty", 1);
    EXPECT_EQ(link::serialDevicePath("COM3"), "/tmp/probe-pty");
    EXPECT_EQ(link::serialDevicePath("\\\\.\\COM3"), "/tmp/probe-pty");
    unsetenv("TOV_COM3");
    EXPECT_EQ(link::serialDevicePath("COM3"), "/dev/ttyS2");
    EXPECT_EQ(link::serialDevicePath("COM12"), "/dev/ttyS11");
    EXPECT_EQ(link::serialDevicePath("/dev/ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(link::serialDevicePath("COM0"), "");
    EXPECT_EQ(link::serialDevicePath("COMX"), "");
}

TEST_F(Session, SerialTextOpensWithTheWantedRate) {
    EXPECT_EQ(link::openFromText(link, "  /dev/probe   57600  ignored"), 0);
    EXPECT_EQ(line.openedPaths.back(), "/dev/probe");
    EXPECT_EQ(link.lineRate(), 57600u);
    // Only the first 80 characters count: a rate word beyond them is not seen.
    std::string text = "/dev/probe" + std::string(70, ' ') + "9600";
    EXPECT_EQ(link::openFromText(link, text.c_str()), 0);
    EXPECT_EQ(link.lineRate(), 115200u);
    // A failing device open is a setup failure.
    line.failOpen = true;
    EXPECT_EQ(link::openFromText(link, "/dev/none"), link::kSetupFailed);
    EXPECT_FALSE(link.isOpen());
}

TEST_F(Session, ConnectRestartsAProbeInItsLoader) {
    inLoader = true;
    EXPECT_EQ(link::connectFromText(link, "/dev/probe 115200"), 0);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0], hexBytes("10 01 71"));
    EXPECT_EQ(line.opens, 2);
    EXPECT_EQ(line.closes, 1);
    EXPECT_EQ(line.clock.sleeps, (std::vector<uint32_t>{2000}));
    EXPECT_TRUE(link.isOpen());
    // A probe already running its firmware is left as it is.
    EXPECT_EQ(link::connectFromText(link, "/dev/probe 115200"), 0);
    EXPECT_EQ(line.opens, 3);
    EXPECT_EQ(line.clock.sleeps.size(), 1u);
}

TEST_F(Session, ConnectClosesWhenStartFirmwareIsNotAnswered) {
    probe.onCommand = nullptr;
    EXPECT_EQ(link::connectFromText(link, "/dev/probe"), link::kNoResponse);
    EXPECT_FALSE(link.isOpen());
}

TEST(RdiSession, OpensByNameAndNumberWithoutClosingFirst) {
    ScriptedLine line;
    FakeProbe probe;
    probe.attach(line);
    link::LinkContext link(link::rdiFlavour(), line, line.clock);
    setenv("TOV_COM2", "/tmp/rdi-pty", 1);
    EXPECT_EQ(link::openByName(link, "COM2", 115200), 0);
    EXPECT_EQ(line.openedPaths.back(), "/tmp/rdi-pty");
    unsetenv("TOV_COM2");
    // A name that is not a COM port is a network host; the network is not reachable here.
    EXPECT_NE(link::openByName(link, "probe.local", 2001), 0);
    EXPECT_EQ(link::openByName(link, "", 115200), link::kInvalidParameter);
}

}  // namespace
}  // namespace tov::test
