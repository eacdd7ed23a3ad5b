// Line-rate negotiation on a scripted line: the scan, the change request, refused rates,
// silent probes, the last ping of a run, and a port that keeps failing.
#include <gtest/gtest.h>

#include "link/error_codes.h"
#include "link/link_context.h"
#include "link/serial_transport.h"
#include "tests/support/scripted_line.h"

namespace tov::test {
namespace {

std::vector<uint32_t> ratesOfWrites(const ScriptedLine& line) {
    std::vector<uint32_t> rates;
    for (const Write& w : line.writes) rates.push_back(w.rate);
    return rates;
}

TEST(Negotiation, ScanFindsAProbeAt38400AndSwitchesIt) {
    ScriptedLine line;
    FakeProbe probe;
    probe.listening = 38400;
    probe.attach(line);
    link::LinkContext link(link::libraryFlavour(), line, line.clock);
    ASSERT_EQ(link.openSerial("/dev/scripted", 115200), 0);
    EXPECT_EQ(ratesOfWrites(line),
              (std::vector<uint32_t>{115200, 9600, 19200, 38400, 38400, 115200}));
    EXPECT_EQ(line.writes[0].bytes, hexBytes("10 02 00 01 01 10 03 00"));
    EXPECT_EQ(payloadOf(line.writes[4].bytes), hexBytes("00 05 03 00 01 C2 00"));
    EXPECT_EQ(link.lineRate(), 115200u);
    EXPECT_EQ(probe.listening, 115200u);
    EXPECT_EQ(line.clock.sleeps, (std::vector<uint32_t>{300}));
}

TEST(Negotiation, PortWithout115200LowersTheWantedRate) {
    ScriptedLine line;
    line.refusedRates = {115200};
    FakeProbe probe;
    probe.listening = 9600;
    probe.attach(line);
    link::LinkContext link(link::libraryFlavour(), line, line.clock);
    ASSERT_EQ(link.openSerial("/dev/scripted", 115200), 0);
    EXPECT_EQ(ratesOfWrites(line), (std::vector<uint32_t>{57600, 9600, 9600, 57600}));
    EXPECT_EQ(payloadOf(line.writes[2].bytes), hexBytes("00 05 03 00 00 E1 00"));
    EXPECT_EQ(link.lineRate(), 57600u);
}

TEST(Negotiation, SilentProbeGivesNoResponseAfterThreeRunsAndClosesThePort) {
    ScriptedLine line;
    link::LinkContext link(link::libraryFlavour(), line, line.clock);
    EXPECT_EQ(link.openSerial("/dev/scripted", 57600), link::kNoResponse);
    // Each run: the wanted rate, then the five rates of the table.
    EXPECT_EQ(line.writes.size(), 3u * 6u);
    EXPECT_FALSE(link.isOpen());
    EXPECT_EQ(line.closes, line.opens);
}

TEST(Negotiation, UnansweredRateChangeIsASetupFailure) {
    ScriptedLine line;
    FakeProbe probe;
    probe.listening = 19200;
    probe.attach(line);
    auto answerPingsOnly = line.responder;
    line.responder = [&](const Write& w) {
        if (payloadOf(w.bytes).size() == 7) return;
        answerPingsOnly(w);
    };
    link::LinkContext link(link::libraryFlavour(), line, line.clock);
    EXPECT_EQ(link.openSerial("/dev/scripted", 115200), link::kSetupFailed);
}

// A probe that acknowledges the change but stays at its old rate.
int32_t lastPingFailure(const link::LinkFlavour& flavour) {
    ScriptedLine line;
    FakeProbe probe;
    probe.listening = 9600;
    probe.attach(line);
    auto normal = line.responder;
    line.responder = [&](const Write& w) {
        normal(w);
        if (payloadOf(w.bytes).size() == 7) probe.listening = 9600;  // never switches
    };
    link::LinkContext link(flavour, line, line.clock);
    return link.openSerial("/dev/scripted", 115200);
}

TEST(Negotiation, LastPingFailureDependsOnTheFlavour) {
    EXPECT_EQ(lastPingFailure(link::libraryFlavour()), link::kReceiveTimeout);
    EXPECT_EQ(lastPingFailure(link::rdiFlavour()), link::kSetupFailed);
}

TEST(SerialReceive, PortThatKeepsFailingEndsAfterTheWait) {
    ScriptedLine line;
    line.portFailed = true;
    auto device = line.open("/dev/scripted");
    link::SerialTransport transport(std::move(device), link::libraryFlavour(), line.clock);
    uint8_t buffer[16];
    uint64_t before = line.clock.nowMs();
    EXPECT_EQ(transport.receive(buffer, 500), link::kReceiveError);
    uint64_t spent = line.clock.nowMs() - before;
    EXPECT_GT(spent, 500u);
    EXPECT_LT(spent, 600u);
    // A quiet port is a plain time-out.
    line.portFailed = false;
    EXPECT_EQ(transport.receive(buffer, 200), link::kReceiveTimeout);
}

TEST(SerialReceive, OverflowAndFormatErrorsAreReported) {
    ScriptedLine line;
    auto device = line.open("/dev/scripted");
    link::SerialTransport transport(std::move(device), link::libraryFlavour(), line.clock);
    uint8_t buffer[4];
    line.deliverFrame({1, 2, 3, 4, 5});
    EXPECT_EQ(transport.receive(buffer, 100), link::kReceiveOverflow);
    line.input.clear();
    line.deliver(hexBytes("10 02 01 10 05"));
    EXPECT_EQ(transport.receive(buffer, 100), link::kReceiveFormat);
    line.deliverFrame({1, 2, 3, 4});
    EXPECT_EQ(transport.receive(buffer, 100), 4);
}

}  // namespace
}  // namespace tov::test
