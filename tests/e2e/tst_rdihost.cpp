// rdihost and libtovrdi.so against the simulator, as a debugger and a person use them: opening
// on the pty and on UDP with each startup action, the byte sex of a big-endian target, a
// download with its command files, and the register descriptors the probe receives.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "link/frame_codec.h"
#include "process_runner.h"
#include "tests/support/sim_fixture.h"

namespace tov::e2e {
namespace {

const std::string kRdihost = std::string(TOV_BIN_DIR) + "/rdihost";

using Message = std::vector<uint8_t>;

// The messages the host sent, as the simulator's trace shows them: datagrams as they are,
// serial frames without their markers, stuffing and check byte; the header is dropped.
std::vector<Message> hostMessages(const std::string& trace) {
    std::vector<Message> messages;
    std::ifstream in(trace);
    std::string line;
    while (std::getline(in, line)) {
        const size_t at = line.find("host> ");
        if (at == std::string::npos) continue;
        std::istringstream hex(line.substr(at + 6, line.find("  (") - at - 6));
        std::vector<uint8_t> bytes;
        unsigned value = 0;
        while (hex >> std::hex >> value) bytes.push_back(static_cast<uint8_t>(value));
        if (bytes.size() >= 2 && bytes[0] == link::kDle && bytes[1] == link::kStx) {
            uint8_t payload[link::kMaxPayload];
            link::FrameDecoder decoder;
            decoder.start(payload);
            link::FrameDecoder::Status status = link::FrameDecoder::Status::NeedMore;
            for (uint8_t b : bytes) status = decoder.feed(b);
            if (status != link::FrameDecoder::Status::Complete) continue;
            bytes.assign(payload, payload + decoder.size());
        }
        if (bytes.size() > 2) messages.emplace_back(bytes.begin() + 2, bytes.end());
    }
    return messages;
}

bool sent(const std::vector<Message>& messages, const Message& wanted) {
    return std::find(messages.begin(), messages.end(), wanted) != messages.end();
}

// A simulator on a pty and on UDP with a trace, and rdihost runs against it.
class RdihostWithSimulator : public ::testing::Test {
protected:
    // Each test has an address of its own, so that tests run side by side do not meet.
    void start(sim::SimOptions options, const char* address) {
        address_ = address;
        options.udpAddress = address_;
        options.traceFile = dir_ + "/trace";
        sim_ = std::make_unique<test::SimOnPty>(options);
        ASSERT_TRUE(sim_->started());
    }
    void SetUp() override {
        char pattern[] = "/tmp/rdihost-XXXXXX";
        dir_ = mkdtemp(pattern);
    }
    void TearDown() override {
        sim_.reset();
        std::filesystem::remove_all(dir_);
    }

    // Runs rdihost with COM1 mapped to the simulator's pty; `fresh` gets the messages the
    // simulator received during this run.
    ProcessResult rdihost(const std::vector<std::string>& args,
                          std::vector<Message>* fresh = nullptr) {
        const size_t before = hostMessages(dir_ + "/trace").size();
        ProcessResult run = runProcess(kRdihost, args, {{"TOV_COM1", sim_->path()}});
        if (fresh) {
            std::vector<Message> all = hostMessages(dir_ + "/trace");
            fresh->assign(all.begin() + static_cast<long>(before), all.end());
        }
        return run;
    }

    const char* address_ = "";
    std::string dir_;
    std::unique_ptr<test::SimOnPty> sim_;
};

const Message kReset = {0x82, 0x00, 0x00, 0x00};
const Message kHalt = {0xBB};

TEST_F(RdihostWithSimulator, OpensOnThePtyAndOnUdpWithTheStartupAction) {
    start({}, "127.0.0.71");
    std::vector<Message> messages;
    const std::vector<std::string> serial = {"--config", "SERIALPORT=1", "--config",
                                             "SERIALLINESPEED=115200"};
    auto with = [&](std::vector<std::string> args, std::vector<std::string> more) {
        args.insert(args.end(), more.begin(), more.end());
        return args;
    };

    ProcessResult run =
        rdihost(with(serial, {"--config", "TOVSTARTUP=0", "-e", "info", "-e", "open"}), &messages);
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("vector:      TOV_RDI_DLL\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("open agent: 240\nopen: 240\n"), std::string::npos) << run.out;
    EXPECT_TRUE(sent(messages, {0x71}));  // the firmware start of connecting
    EXPECT_TRUE(sent(messages, kReset));
    EXPECT_FALSE(sent(messages, kHalt));
    EXPECT_TRUE(sent(messages, {0xC1}));  // RDI_Open reads the probe information
    // ... and tells the probe the semihosting vector, (600, 8101) = 8.
    EXPECT_TRUE(sent(messages, {0xB7, 0, 1, 0x02, 0x58, 0x1F, 0xA5, 0, 0, 0, 8}));

    run = rdihost(with(serial, {"--config", "TOVSTARTUP=1", "-e", "open"}), &messages);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(sent(messages, kHalt));
    EXPECT_FALSE(sent(messages, kReset));

    // On the serial line the download's blocks are compressed.
    std::vector<uint8_t> text(3000);
    for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<uint8_t>("download "[i % 9]);
    std::ofstream(dir_ + "/text.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(text.data()),
               static_cast<std::streamsize>(text.size()));
    run = rdihost(with(serial, {"--no-startup", "-e", "load " + dir_ + "/text.bin 0x4000"}),
                  &messages);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(sim_->sim().peekMemory(0x4000, text.size()), text);
    EXPECT_FALSE(sent(messages, kHalt));
    EXPECT_FALSE(sent(messages, kReset));
    EXPECT_TRUE(std::any_of(messages.begin(), messages.end(), [](const Message& m) {
        return m.size() > 3 && m[0] == 0x29 && m[1] == 1;
    }));
    EXPECT_TRUE(sent(messages, {0xB4}));

    run =
        rdihost({"--config", "SERIALPORT=0", "--config", std::string("ETHERNETTARGET=") + address_,
                 "-e", "log on", "-e", "read 0x1000 4", "-e", "write 0x3000 A1b2C3", "-e",
                 "read 0x3000 3"},
                &messages);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(sent(messages, kReset));
    EXPECT_TRUE(sent(messages, {0xB8, 0, 0, 0x10, 0, 0, 0, 0, 4}));
    EXPECT_NE(run.err.find("RDI_Read(0x00001000, 4, 0) => OKAY\n"), std::string::npos) << run.err;
    EXPECT_NE(run.out.find("0x00003000: A1 B2 C3\n"), std::string::npos) << run.out;

    // Without a display the configuration dialog cannot show: -1, and the program still works.
    run = runProcess(kRdihost, {"--config", "SERIALPORT=3", "-e", "config"},
                     {{"DISPLAY", std::nullopt}, {"WAYLAND_DISPLAY", std::nullopt},
                      {"QT_QPA_PLATFORM", std::nullopt}});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "config: -1\n");
    // Nor when a platform that needs a display is named: the process goes on to its end.
    for (const char* platform : {"xcb", "wayland"}) {
        run = runProcess(kRdihost, {"--config", "SERIALPORT=3", "-e", "config"},
                         {{"DISPLAY", std::nullopt},
                          {"WAYLAND_DISPLAY", std::nullopt},
                          {"QT_QPA_PLATFORM", platform}});
        EXPECT_EQ(run.exitCode, 1) << platform << run.err;
        EXPECT_EQ(run.out, "config: -1\n") << platform;
        EXPECT_NE(run.err.find("### Error: the configuration dialog cannot be shown: " +
                               std::string(platform) + ": no "),
                  std::string::npos)
            << run.err;
    }

    // No probe behind COM2: the open fails with the link's error.
    run = runProcess(kRdihost, {"--config", "SERIALPORT=2", "-e", "open"},
                     {{"TOV_COM2", dir_ + "/nothing"}});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.out.find("open agent: 200\n"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("### Error: LNK: Communication setup failed (Port busy)\n"),
              std::string::npos)
        << run.err;
}

TEST_F(RdihostWithSimulator, ByteSexOfABigEndianTarget) {
    sim::SimOptions options;
    options.bigEndian = true;
    start(options, "127.0.0.72");
    const std::vector<std::string> net = {"--config", "SERIALPORT=0", "--config",
                                          std::string("ETHERNETTARGET=") + address_};
    auto run = [&](const char* sex) {
        std::vector<std::string> args = net;
        args.insert(args.end(), {"--byte-sex", sex, "-e", "open"});
        return rdihost(args);
    };
    ProcessResult little = run("little");
    EXPECT_EQ(little.exitCode, 1);
    EXPECT_NE(little.out.find("open agent: 130\n"), std::string::npos) << little.out;
    ProcessResult any = run("any");
    EXPECT_EQ(any.exitCode, 0) << any.err;
    EXPECT_NE(any.out.find("open agent: 241\nopen: 241\n"), std::string::npos) << any.out;
    ProcessResult big = run("big");
    EXPECT_EQ(big.exitCode, 0) << big.err;
    EXPECT_NE(big.out.find("open agent: 0\nopen: 0\n"), std::string::npos) << big.out;
}

// Writes `data` at `address` as S3 records of 32 bytes.
void writeSRecords(const std::string& path, uint32_t address, const std::vector<uint8_t>& data) {
    std::ofstream out(path);
    for (size_t at = 0; at < data.size(); at += 32) {
        const size_t n = std::min<size_t>(32, data.size() - at);
        const uint32_t a = address + static_cast<uint32_t>(at);
        std::vector<uint8_t> record = {static_cast<uint8_t>(n + 5), static_cast<uint8_t>(a >> 24),
                                       static_cast<uint8_t>(a >> 16), static_cast<uint8_t>(a >> 8),
                                       static_cast<uint8_t>(a)};
        record.insert(record.end(), data.begin() + static_cast<long>(at),
                      data.begin() + static_cast<long>(at + n));
        unsigned sum = 0;
        for (uint8_t b : record) sum += b;
        record.push_back(static_cast<uint8_t>(~sum));
        out << "S3";
        char hex[3];
        for (uint8_t b : record) {
            std::snprintf(hex, sizeof hex, "%02X", b);
            out << hex;
        }
        out << "\n";
    }
    out << "S70500000000FA\n";
}

std::vector<uint8_t> pattern(size_t size, uint32_t seed) {
    std::vector<uint8_t> data(size);
    for (uint8_t& b : data) {
        seed = seed * 1103515245 + 12345;
        b = static_cast<uint8_t>(seed >> 16);
    }
    return data;
}

// The download blocks among the messages: (address, data length before compression).
std::vector<std::pair<uint32_t, uint16_t>> blocks(const std::vector<Message>& messages) {
    std::vector<std::pair<uint32_t, uint16_t>> found;
    for (const Message& m : messages) {
        if (m.size() < 12 || m[0] != 0x29) continue;
        found.emplace_back(
            (uint32_t{m[6]} << 24) | (uint32_t{m[7]} << 16) | (uint32_t{m[8]} << 8) | m[9],
            static_cast<uint16_t>((m[10] << 8) | m[11]));
    }
    return found;
}

std::vector<std::string> directCommands(const std::vector<Message>& messages) {
    std::vector<std::string> found;
    for (const Message& m : messages) {
        if (!m.empty() && m[0] == 0xC3)
            found.emplace_back(m.begin() + 1, std::find(m.begin() + 1, m.end(), 0));
    }
    return found;
}

TEST_F(RdihostWithSimulator, DownloadRunsTheCommandFilesAndMergesWrites) {
    start({}, "127.0.0.73");
    std::ofstream(dir_ + "/preload.cmd")
        << "# a comment\n\n  indented\n;semicolon\nprint hello\tnot sent\n"
        << "version\r\n";
    std::ofstream(dir_ + "/postload.cmd") << "target state\n";
    const std::vector<uint8_t> program = pattern(200 * 1024, 7);
    writeSRecords(dir_ + "/program.srec", 0x00100000, program);
    const std::vector<std::string> net = {"--config", "SERIALPORT=0",
                                          "--config", std::string("ETHERNETTARGET=") + address_,
                                          "--config", "COMMANDPATH=" + dir_ + "/"};
    auto with = [&](std::vector<std::string> more) {
        std::vector<std::string> args = net;
        args.insert(args.end(), more.begin(), more.end());
        return args;
    };

    std::vector<Message> messages;
    ProcessResult run = rdihost(with({"-e", "load " + dir_ + "/program.srec"}), &messages);
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("loaded 204800 bytes\n"), std::string::npos) << run.out;
    EXPECT_EQ(sim_->sim().peekMemory(0x00100000, program.size()), program);
    EXPECT_EQ(directCommands(messages),
              (std::vector<std::string>{"print hello", "version", "target state"}));
    EXPECT_NE(run.err.find("Processing preload commands\nprint hello\n"), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("\nDownload of 204800 bytes passed ("), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(" bytes/s)\nProcessing postload commands\ntarget state\n"),
              std::string::npos)
        << run.err;
    // Writes of 512 bytes went out merged into blocks of 1024.
    const auto merged = blocks(messages);
    ASSERT_EQ(merged.size(), 200u);
    for (size_t i = 0; i < merged.size(); ++i) {
        EXPECT_EQ(merged[i],
                  std::make_pair(static_cast<uint32_t>(0x00100000 + 1024 * i), uint16_t{1024}))
            << i;
    }

    // One write of 4096 bytes goes to the download at once; the probe's blocks carry 1024 each.
    const std::vector<uint8_t> image = pattern(4096, 9);
    std::ofstream(dir_ + "/image.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()),
               static_cast<std::streamsize>(image.size()));
    run = rdihost(
        with({"--chunk", "4096", "-e", "log on", "-e", "load " + dir_ + "/image.bin 0x200000"}),
        &messages);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(sim_->sim().peekMemory(0x200000, image.size()), image);
    EXPECT_NE(run.err.find("RDI_Write(0x00200000, 4096, 0) => OKAY\n"), std::string::npos)
        << run.err;
    EXPECT_EQ(blocks(messages).size(), 4u);

    // A download the probe refuses still runs the postload commands.
    run = rdihost(with({"-e", "load " + dir_ + "/image.bin 0xFFF00000"}), &messages);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.out.find("load failed: RDI error"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("TOV: Download failed (Addr = 0x"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("Processing postload commands\ntarget state\n"), std::string::npos)
        << run.err;

    // Files without an end, or too large for their address, are refused by name before the
    // download begins.
    const std::pair<std::string, std::string> refused[] = {
        {"load " + dir_, dir_ + " is not a regular file"},
        {"load /dev/zero 0x100000", "/dev/zero is not a regular file"},
        {"load " + dir_ + "/image.bin 0xFFFFF800",
         dir_ + "/image.bin: 4096 bytes do not fit between 0xFFFFF800 and the end of the address "
                "space"}};
    for (const auto& [command, why] : refused) {
        run = rdihost(with({"-e", command}), &messages);
        EXPECT_EQ(run.exitCode, 1) << command;
        EXPECT_NE(run.err.find("rdihost: " + why + "\n"), std::string::npos) << run.err;
        EXPECT_TRUE(blocks(messages).empty()) << command;
    }
}

TEST_F(RdihostWithSimulator, RegisterRequestsCarryTheDescriptors) {
    sim::SimOptions options;
    options.cpu = 0x8802;
    start(options, "127.0.0.74");
    std::vector<Message> messages;
    ProcessResult run = rdihost(
        {"--config", "SERIALPORT=0", "--config", std::string("ETHERNETTARGET=") + address_, "-e",
         "regs 0xFF 0x1FFFF", "-e", "regs 0x11 0x40000", "-e", "regs 0x1F 0x6000", "-e",
         "rdiinfo 0x199 1", "-e", "rdiinfo 0x19B 3", "-e", "cpregs 15 0x40", "-e", "cpregs 15 0x1"},
        &messages);
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    Message current = {0xB6, 0x00, 0x10};
    for (uint8_t n = 0; n < 16; ++n) current.insert(current.end(), {0x02, 0x58, 0x00, n});
    EXPECT_TRUE(sent(messages, current));
    EXPECT_TRUE(sent(messages, {0xB6, 0x00, 0x01, 0x02, 0x5D, 0x00, 0x00}));
    EXPECT_TRUE(sent(messages, {0xB6, 0x00, 0x02, 0x02, 0x5B, 0x00, 0x0D, 0x02, 0x5B, 0x00, 0x0E}));
    EXPECT_TRUE(sent(messages, {0xB6, 0x00, 0x01, 0x02, 0x66, 0x01, 0x13}));
    EXPECT_TRUE(sent(messages, {0xB6, 0x00, 0x01, 0x02, 0x66, 0x00, 0x00}));
    // Sixteen values for the current mode; the main ID register for CP15 register 0.
    const std::vector<std::string> lines = splitLines(run.out);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(std::count(lines[2].begin(), lines[2].end(), 'x'), 16) << lines[2];
    EXPECT_EQ(lines.back(), "0x4100B000");

    // A probe-side failure maps to a target error; the log shows its text also with the log off.
    run = rdihost({"--config", "SERIALPORT=0", "--config",
                   std::string("ETHERNETTARGET=") + address_, "-e", "read 0xFFF00000 4"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.out.find("read failed: RDI error 162\n"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("### Error: TOV: Invalid target memory address\n"), std::string::npos)
        << run.err;
    EXPECT_EQ(run.err.find("RDI_Read("), std::string::npos) << run.err;
}

}  // namespace
}  // namespace tov::e2e
