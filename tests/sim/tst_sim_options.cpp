// The tovsim command line: every option, both spellings, and clear refusals of bad values.
#include <gtest/gtest.h>

#include "sim/sim_options.h"

namespace tov::sim {
namespace {

TEST(SimOptions, DefaultsAndEveryOption) {
    ParsedCommandLine plain = parseCommandLine({"--serial", "/tmp/p"});
    ASSERT_TRUE(plain.error.empty()) << plain.error;
    EXPECT_EQ(plain.options.serialPath, "/tmp/p");
    EXPECT_EQ(plain.options.rate, 9600u);
    EXPECT_EQ(plain.options.model, ProbeModel::B);
    EXPECT_FALSE(plain.options.loader);
    EXPECT_FALSE(plain.options.lineTiming);
    EXPECT_FALSE(plain.options.bigEndian);
    EXPECT_FALSE(plain.options.faults.any());
    EXPECT_EQ(plain.options.faults.seed, 1u);
    EXPECT_EQ(plain.options.core, CoreKind::Model);
    EXPECT_TRUE(plain.notes.empty());
    EXPECT_EQ(plain.options.firmwareVersion, 105);
    EXPECT_FALSE(plain.options.loaderVersion.has_value());

    ParsedCommandLine all = parseCommandLine(
        {"--serial", "/tmp/q", "--model", "BC", "--family=10", "--cpu", "0x8720", "--rate", "38400",
         "--loader", "--flash-file", "/tmp/f.bin", "--trace=/tmp/t.log", "--faults",
         "drop=0.5,seed=7", "--line-timing", "--core", "arm1136", "--big-endian",
         "--firmware-version", "5", "--loader-version=0"});
    ASSERT_TRUE(all.error.empty()) << all.error;
    const SimOptions& o = all.options;
    EXPECT_EQ(o.serialPath, "/tmp/q");
    EXPECT_EQ(o.model, ProbeModel::BC);
    EXPECT_EQ(o.family, 10);
    EXPECT_EQ(o.cpu, 0x8720);
    EXPECT_EQ(o.rate, 38400u);
    EXPECT_TRUE(o.loader);
    EXPECT_EQ(o.flashFile, "/tmp/f.bin");
    EXPECT_EQ(o.traceFile, "/tmp/t.log");
    EXPECT_DOUBLE_EQ(o.faults.drop, 0.5);
    EXPECT_EQ(o.faults.seed, 7u);
    EXPECT_TRUE(o.lineTiming);
    EXPECT_EQ(o.firmwareVersion, 5);
    EXPECT_EQ(o.loaderVersion, uint16_t{0});
    EXPECT_EQ(o.core, CoreKind::Arm1136);
    EXPECT_TRUE(o.bigEndian);

    for (const char* model : {"B", "BC", "A", "X"}) {
        ParsedCommandLine m = parseCommandLine({"--serial", "/tmp/p", "--model", model});
        ASSERT_TRUE(m.error.empty()) << model;
        EXPECT_STREQ(modelName(m.options.model), model);
    }
    EXPECT_TRUE(parseCommandLine({"--help"}).help);
}

TEST(SimOptions, UdpAloneOrBesideTheSerialLine) {
    ParsedCommandLine both = parseCommandLine({"--udp", "127.0.0.2", "--serial", "/tmp/p"});
    ASSERT_TRUE(both.error.empty()) << both.error;
    EXPECT_EQ(both.options.udpAddress, "127.0.0.2");
    EXPECT_EQ(both.options.serialPath, "/tmp/p");
    EXPECT_EQ(both.options.udpBasePort, 2001);
    EXPECT_TRUE(both.notes.empty());

    ParsedCommandLine alone = parseCommandLine({"--udp=127.255.3.4"});
    ASSERT_TRUE(alone.error.empty()) << alone.error;
    EXPECT_EQ(alone.options.udpAddress, "127.255.3.4");
    EXPECT_TRUE(alone.options.serialPath.empty());

    for (const char* bad : {"128.0.0.1", "126.255.255.255", "0.0.0.0", "127.0.0", "127.0.0.1.2",
                            "127.0.0.256", "::1", "", " 127.0.0.1"}) {
        ParsedCommandLine refused = parseCommandLine({"--udp", bad});
        EXPECT_NE(refused.error.find("--udp needs an IPv4 address in 127.0.0.0/8"),
                  std::string::npos)
            << bad << " -> " << refused.error;
    }
}

TEST(SimOptions, BadCommandLinesAreRefusedNamingTheProblem) {
    struct Case {
        std::vector<std::string> args;
        const char* mentions;
    };
    const Case cases[] = {
        {{}, "--serial"},
        {{"--serial"}, "--serial needs a value"},
        {{"--serial", ""}, "--serial"},
        {{"--serial", "/p", "--bogus"}, "unknown option '--bogus'"},
        {{"--serial", "/p", "extra"}, "unknown option 'extra'"},
        {{"--serial", "/p", "--rate", "12345"}, "--rate"},
        {{"--serial", "/p", "--rate", "fast"}, "--rate"},
        {{"--serial", "/p", "--rate", "9600x"}, "--rate"},
        {{"--serial", "/p", "--model", "b"}, "--model"},
        {{"--serial", "/p", "--model", "Q"}, "--model"},
        {{"--serial", "/p", "--family", "64"}, "--family"},
        {{"--serial", "/p", "--family", "-1"}, "--family"},
        {{"--serial", "/p", "--cpu", "0x10000"}, "--cpu"},
        {{"--serial", "/p", "--firmware-version", "4096"}, "--firmware-version"},
        {{"--serial", "/p", "--loader-version", "x"}, "--loader-version"},
        {{"--serial", "/p", "--cpu", "0xZZ"}, "--cpu"},
        {{"--serial", "/p", "--udp", "10.0.0.1"}, "--udp"},
        {{"--serial", "/p", "--udp", "localhost"}, "--udp"},
        {{"--serial", "/p", "--faults", "drop=2"}, "--faults"},
        {{"--serial", "/p", "--faults"}, "--faults needs a value"},
        {{"--serial", "/p", "--loader=yes"}, "--loader takes no value"},
        {{"--serial", "/p", "--trace", ""}, "--trace"},
        {{"--serial", "/p", "--core", "arm7"}, "--core must be model or arm1136"},
    };
    for (const Case& c : cases) {
        ParsedCommandLine parsed = parseCommandLine(c.args);
        std::string joined;
        for (const std::string& a : c.args) joined += a + " ";
        ASSERT_FALSE(parsed.error.empty()) << joined;
        EXPECT_NE(parsed.error.find(c.mentions), std::string::npos)
            << joined << "-> " << parsed.error;
    }
    EXPECT_NE(usageText().find("--line-timing"), std::string::npos);
    EXPECT_NE(usageText().find("--core"), std::string::npos);
}

}  // namespace
}  // namespace tov::sim
