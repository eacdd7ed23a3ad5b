// The simulator on a real pseudo-terminal: framing, the line-rate check, rate changes, the
// loader restart, the damage hooks, faults, the trace, and the host's own negotiation.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "link/error_codes.h"
#include "link/flavour.h"
#include "link/frame_header.h"
#include "link/serial_transport.h"
#include "pty_host.h"
#include "sim/simulator.h"

namespace tov::sim {
namespace {

namespace fs = std::filesystem;
using testing::eventually;
using testing::PtyHost;
using Bytes = std::vector<uint8_t>;
using Status = link::FrameDecoder::Status;
using namespace std::chrono_literals;

const Bytes kPing(link::kLinkPingPayload, link::kLinkPingPayload + 3);

Bytes rateRequest(uint32_t rate) {
    Bytes payload(link::kRateChangePayloadSize);
    link::writeRateChangePayload(payload.data(), rate);
    return payload;
}

Bytes command(uint8_t headerTypeAndSequence, const Bytes& message) {
    Bytes payload(link::kHeaderSize + message.size());
    link::writeHeader(payload.data(), headerTypeAndSequence >> 6, headerTypeAndSequence & 0x30,
                      message.size());
    std::copy(message.begin(), message.end(), payload.begin() + link::kHeaderSize);
    return payload;
}

const Bytes kReadPiece{0xB8, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x04};

class SimulatorPty : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "tovsim-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        options_.serialPath = (dir_ / "tty").string();
    }
    void TearDown() override {
        sim_.reset();
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    Simulator& start() {
        sim_ = std::make_unique<Simulator>(options_);
        EXPECT_EQ(sim_->start(), 0);
        return *sim_;
    }

    // Sends a payload and expects a checked frame back.
    Bytes exchange(PtyHost& host, const Bytes& payload) {
        host.sendPayload(payload);
        PtyHost::Frame frame = host.readFrame(2s);
        EXPECT_EQ(frame.status, Status::Complete);
        return frame.payload;
    }

    fs::path dir_;
    SimOptions options_;
    std::unique_ptr<Simulator> sim_;
};

TEST_F(SimulatorPty, PingAtTheListeningRateIsAnsweredByteForByte) {
    Simulator& sim = start();
    EXPECT_EQ(fs::read_symlink(options_.serialPath), sim.slaveDevice());
    PtyHost host(options_.serialPath, 9600);
    ASSERT_TRUE(host.isOpen());
    host.sendRaw(Bytes{0x10, 0x02, 0x00, 0x01, 0x01, 0x10, 0x03, 0x00});
    EXPECT_EQ(host.readBytes(8, 2s), (Bytes{0x10, 0x02, 0x00, 0x01, 0x01, 0x10, 0x03, 0x00}));

    SimStats stats = sim.stats();
    EXPECT_EQ(stats.linkFrames, 1u);
    EXPECT_EQ(stats.answersSent, 1u);
    EXPECT_EQ(stats.wrongRateBytes, 0u);
}

TEST_F(SimulatorPty, BytesAtAnotherRateAreNotUnderstood) {
    Simulator& sim = start();
    PtyHost host(options_.serialPath, 19200);
    ASSERT_TRUE(host.isOpen());
    host.sendPayload(kPing);
    ASSERT_TRUE(eventually([&] { return sim.stats().wrongRateBytes == 8; }));
    EXPECT_TRUE(host.readBytes(1, 300ms).empty());
    EXPECT_EQ(sim.stats().linkFrames, 0u);
    EXPECT_EQ(sim.stats().answersSent, 0u);

    // Half a frame at the wrong rate must not spoil the next frame at the right one.
    host.sendRaw(Bytes{0x10, 0x02, 0x00, 0x01});
    ASSERT_TRUE(eventually([&] { return sim.stats().wrongRateBytes == 12; }));
    ASSERT_TRUE(host.setRate(9600));
    EXPECT_EQ(exchange(host, kPing), kPing);
    EXPECT_EQ(sim.stats().wrongRateRuns, 2u);
}

TEST_F(SimulatorPty, RateChangeIsAnsweredAtTheOldRateThenTheNewRateHolds) {
    Simulator& sim = start();
    PtyHost host(options_.serialPath, 9600);
    EXPECT_EQ(exchange(host, rateRequest(57600)), rateRequest(57600));
    EXPECT_EQ(sim.listeningRate(), 57600u);

    host.sendPayload(kPing);
    EXPECT_EQ(host.readFrame(300ms).status, Status::NeedMore);
    ASSERT_TRUE(host.setRate(57600));
    EXPECT_EQ(exchange(host, kPing), kPing);

    // A rate outside the table is answered with the rate kept.
    EXPECT_EQ(exchange(host, rateRequest(250000)), rateRequest(57600));
    EXPECT_EQ(sim.listeningRate(), 57600u);
}

TEST_F(SimulatorPty, PacedLineCarriesLongFramesBothWays) {
    options_.lineTiming = true;
    options_.rate = 115200;
    Simulator& sim = start();
    PtyHost host(options_.serialPath, 115200);
    Bytes write{0xB9, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00};
    for (int i = 0; i < 256; ++i) write.push_back(static_cast<uint8_t>(i));  // DLEs included
    EXPECT_EQ(exchange(host, command(0x10, write)), (Bytes{0x10, 0x03, 0xB9, 0x00, 0x00}));
    const Bytes read{0xB8, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00};
    Bytes answer = exchange(host, command(0x50, read));
    ASSERT_EQ(answer.size(), 2u + 3u + 256u);
    EXPECT_EQ(Bytes(answer.begin() + 5, answer.end()), Bytes(write.begin() + 9, write.end()));
    EXPECT_EQ(sim.stats().answersSent, 2u);
}

TEST_F(SimulatorPty, AnswersCarryTheRequestsSequenceAndFrameType) {
    Simulator& sim = start();
    PtyHost host(options_.serialPath, 9600);
    for (uint8_t head : {0x10, 0x50, 0x90, 0xD0, 0x30, 0xF0}) {
        Bytes answer = exchange(host, command(head, kReadPiece));
        ASSERT_EQ(answer.size(), 2u + 7u) << int(head);
        EXPECT_EQ(answer[0], head | 0x00);
        EXPECT_EQ(answer[1], 7);
        EXPECT_EQ(answer[2], 0xB8);
        EXPECT_EQ(Bytes(answer.begin() + 5, answer.end()), (Bytes{0xA5, 0xB5, 0xA5, 0xA5}));
    }
    EXPECT_EQ(sim.stats().lastRequest, kReadPiece);
    EXPECT_EQ(sim.stats().commandFrames, 6u);

    // Unknown requests get the one-byte message 0x00; event-marked and type-10 frames nothing.
    EXPECT_EQ(exchange(host, command(0x10, {0x99})), (Bytes{0x10, 0x01, 0x00}));
    host.sendPayload(Bytes{0x08, 0x01, 0x01});
    host.sendPayload(command(0x20, {0xB8}));
    EXPECT_EQ(host.readFrame(300ms).status, Status::NeedMore);
    EXPECT_EQ(sim.stats().ignoredFrames, 2u);
}

TEST_F(SimulatorPty, LoaderRestartsIntoTheFirmwareAtTheStartRate) {
    options_.loader = true;
    Simulator& sim = start();
    EXPECT_TRUE(sim.inLoader());
    PtyHost host(options_.serialPath, 9600);
    EXPECT_EQ(exchange(host, rateRequest(115200)), rateRequest(115200));
    ASSERT_TRUE(host.setRate(115200));

    EXPECT_EQ(exchange(host, command(0x10, {0x71})), command(0x10, {0x71}));
    host.sendPayload(kPing);
    EXPECT_EQ(host.readFrame(200ms).status, Status::NeedMore);
    ASSERT_TRUE(eventually([&] { return !sim.inLoader(); }));
    EXPECT_GT(sim.stats().restartBytes, 0u);
    EXPECT_EQ(sim.listeningRate(), 9600u);

    ASSERT_TRUE(host.setRate(9600));
    EXPECT_EQ(exchange(host, kPing), kPing);
    EXPECT_EQ(exchange(host, command(0x50, {0x71})), command(0x50, {0x00}));
}

TEST_F(SimulatorPty, DamageHooksSpoilExactlyTheNextAnswers) {
    Simulator& sim = start();
    PtyHost host(options_.serialPath, 9600);
    const Bytes request = command(0x50, kReadPiece);

    sim.damageNextAnswer(Simulator::Damage::Bcc);
    sim.damageNextAnswer(Simulator::Damage::Format);
    sim.damageNextAnswer(Simulator::Damage::Overflow);
    for (Status expected : {Status::BccError, Status::FormatError, Status::Overflow}) {
        host.sendPayload(request);
        EXPECT_EQ(host.readFrame(2s).status, expected);
        host.readBytes(4096, 200ms);  // the rest of the spoilt frame
    }
    const Bytes good = exchange(host, request);
    ASSERT_EQ(good.size(), 9u);

    sim.damageNextAnswer(Simulator::Damage::Drop);
    host.sendPayload(request);
    EXPECT_EQ(host.readFrame(300ms).status, Status::NeedMore);

    sim.damageNextAnswer(Simulator::Damage::Duplicate);
    EXPECT_EQ(exchange(host, request), good);
    EXPECT_EQ(host.readFrame(2s).payload, good);

    // The stale copy is the previous answer with its own (other) sequence bits.
    sim.damageNextAnswer(Simulator::Damage::Stale);
    const Bytes next = command(0x90, kReadPiece);
    EXPECT_EQ(exchange(host, next), good);
    Bytes fresh = host.readFrame(2s).payload;
    ASSERT_EQ(fresh.size(), 9u);
    EXPECT_EQ(fresh[0], 0x90);

    sim.eventBeforeNextAnswer(0x04);
    EXPECT_EQ(exchange(host, kPing), (Bytes{0x08, 0x01, 0x04}));
    EXPECT_EQ(host.readFrame(2s).payload, kPing);

    sim.sendEvent(0x80);
    EXPECT_EQ(host.readFrame(2s).payload, (Bytes{0x08, 0x01, 0x80}));
    EXPECT_EQ(sim.stats().eventsSent, 2u);

    sim.setMute(true);
    host.sendPayload(kPing);
    EXPECT_EQ(host.readFrame(300ms).status, Status::NeedMore);
    sim.setMute(false);
    EXPECT_EQ(exchange(host, kPing), kPing);
}

TEST_F(SimulatorPty, FaultsAtCertaintyDoWhatTheySay) {
    options_.faults.dup = 1.0;
    options_.faults.event = 1.0;
    Simulator& sim = start();
    PtyHost host(options_.serialPath, 9600);
    host.sendPayload(kPing);
    Bytes event = host.readFrame(2s).payload;
    ASSERT_EQ(event.size(), 3u);
    EXPECT_TRUE(link::isEventFrame(event));
    EXPECT_EQ(__builtin_popcount(event[2]), 1);
    EXPECT_EQ(host.readFrame(2s).payload, kPing);
    EXPECT_EQ(host.readFrame(2s).payload, kPing);
    EXPECT_EQ(sim.stats().answersSent, 2u);

    sim_.reset();
    options_.faults = FaultSettings{};
    options_.faults.drop = 1.0;
    Simulator& dropping = start();
    PtyHost again(options_.serialPath, 9600);
    again.sendPayload(kPing);
    EXPECT_EQ(again.readFrame(300ms).status, Status::NeedMore);
    EXPECT_EQ(dropping.stats().ignoredFrames, 1u);
}

TEST_F(SimulatorPty, TheHostsNegotiationFindsAndMovesTheProbe) {
    options_.rate = 38400;
    Simulator& sim = start();
    std::unique_ptr<link::SerialDevice> device =
        link::termiosDeviceFactory().open(options_.serialPath);
    ASSERT_NE(device, nullptr);
    link::SerialTransport transport(std::move(device), link::libraryFlavour(), link::systemClock());
    EXPECT_EQ(transport.negotiate(115200), link::kOk);
    EXPECT_EQ(transport.lineRate(), 115200u);
    EXPECT_EQ(sim.listeningRate(), 115200u);
    EXPECT_GT(sim.stats().wrongRateRuns, 0u);
}

TEST_F(SimulatorPty, LinkIsReplacedWhenStaleRemovedOnStopAndOtherFilesAreKept) {
    fs::create_symlink("/dev/pts/does-not-exist", options_.serialPath);
    Simulator& sim = start();
    EXPECT_EQ(fs::read_symlink(options_.serialPath), sim.slaveDevice());
    sim.stop();
    sim.stop();
    EXPECT_FALSE(fs::exists(fs::symlink_status(options_.serialPath)));

    std::ofstream(options_.serialPath) << "not a link";
    Simulator refused(options_);
    EXPECT_EQ(refused.start(), -EEXIST);
    EXPECT_TRUE(fs::is_regular_file(options_.serialPath));
}

TEST_F(SimulatorPty, TraceShowsFramesBothWaysAndIgnoredBytes) {
    options_.traceFile = (dir_ / "trace.log").string();
    Simulator& sim = start();
    {
        PtyHost host(options_.serialPath, 19200);
        host.sendPayload(kPing);
        ASSERT_TRUE(eventually([&] { return sim.stats().wrongRateBytes == 8; }));
        host.setRate(9600);
        EXPECT_EQ(exchange(host, kPing), kPing);
    }
    sim.stop();
    std::ifstream in(options_.traceFile);
    std::stringstream text;
    text << in.rdbuf();
    const std::string trace = text.str();
    EXPECT_NE(trace.find("host> 10 02 00 01 01 10 03 00\n"), std::string::npos) << trace;
    EXPECT_NE(trace.find("probe> 10 02 00 01 01 10 03 00\n"), std::string::npos) << trace;
    EXPECT_NE(trace.find("ignored 8 bytes: line at 19200, probe listens at 9600"),
              std::string::npos)
        << trace;
}

}  // namespace
}  // namespace tov::sim
