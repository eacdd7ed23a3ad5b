// The network configuration record: its bytes, its write with read-back and its texts.
#include <gtest/gtest.h>

#include <cstring>

#include "link/error_codes.h"
#include "maint/network_config.h"
#include "tests/maint/scripted_loader.h"

namespace tov::maint {
namespace {

using test::ScriptedLoader;
using test::versionAnswer;
using test::Wire;

TEST(NetworkRecord, DottedAddressesFollowOneRule) {
    EXPECT_EQ(dottedAddressValue("192.168.1.1"), 0xC0A80101u);
    EXPECT_EQ(dottedAddressValue("10..0.1"), 0x0A000001u);
    EXPECT_EQ(dottedAddressValue("255.255.255.0"), 0xFFFFFF00u);
    for (const char* bad : {"", "1.2.3", "1.2.3.4.5", "1.2.3.1000", "0.0.0.0", "1.2.3.256",
                            " 1.2.3.4", "1.2.3.4 ", "1.-2.3.4", "a.b.c.d", "1.2.3.0004"}) {
        EXPECT_EQ(dottedAddressValue(bad), 0xFFFFFFFFu) << bad;
    }
    EXPECT_EQ(dottedAddressValue(nullptr), 0xFFFFFFFFu);

    const NetworkRecord record =
        buildNetworkRecord("12345678", 0xC0A80101, 0xFFFFFF00, dottedAddressValue(""));
    EXPECT_EQ(record, (NetworkRecord{0x02, 0xC1, 0xA5, 0x12, 0x34, 0x56, 0xFF, 0xFF, 0xC0, 0xA8,
                                     0x01, 0x01, 0xFF, 0xFF, 0xFF, 0x00, 0xFF, 0xFF, 0xFF, 0xFF}));
    // Non-digits pack the same way, modulo 256: 'A' (65) and 'B' (66) give 16 * 65 + 66 - 48.
    EXPECT_EQ(buildNetworkRecord("AB", 1, 1, 1)[3], static_cast<uint8_t>(16 * 65 + 66 - 48));
}

TEST(ConfigureNetwork, WritesTheRecordAndReadsItBack) {
    ScriptedLoader probe;
    probe.versions = versionAnswer(15, 0x0102, 0xA005, 4005, "12345678");
    ASSERT_EQ(configureNetwork(probe, "192.168.1.1", "255.255.255.0", ""), 0);
    const Wire record{0x02, 0xC1, 0xA5, 0x12, 0x34, 0x56, 0xFF, 0xFF, 0xC0, 0xA8,
                      0x01, 0x01, 0xFF, 0xFF, 0xFF, 0x00, 0xFF, 0xFF, 0xFF, 0xFF};
    Wire program{104, 0x01, 0x00, 0x80, 0x00, 0x00, 20};
    program.insert(program.end(), record.begin(), record.end());
    const std::vector<Wire> expected = {
        {114},
        {100},
        {103, 0x01, 0x00, 0x80, 0x00},
        program,
        {101, 0x01, 0x00, 0x80, 0x00, 0x00, 20},
    };
    ASSERT_EQ(probe.sent.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(probe.sent[i].request, expected[i]);
    EXPECT_FALSE(probe.isOpen);

    ScriptedLoader a;
    a.versions = versionAnswer(23, 1, 0xA001, 4001);
    a.corruptReadBack = true;
    EXPECT_EQ(configureNetwork(a, "10.0.0.1", "255.0.0.0", "10.0.0.254"), -1303);
    EXPECT_EQ(a.requestsOf(103).front(), (Wire{103, 0x00, 0x08, 0x40, 0x00}));
    EXPECT_FALSE(a.isOpen);

    ScriptedLoader x;
    x.versions = versionAnswer(7, 1, 0x5001, 1001);
    EXPECT_EQ(configureNetwork(x, "10.0.0.1", "255.0.0.0", "10.0.0.254"), -1202);
    EXPECT_EQ(x.requestsOf(103).size() + x.requestsOf(104).size(), 0u);
    EXPECT_FALSE(x.isOpen);

    ScriptedLoader erase;
    erase.eraseStatus = 1;
    EXPECT_EQ(configureNetwork(erase, "10.0.0.1", "", ""), -1208);
    EXPECT_TRUE(erase.requestsOf(104).empty());
    EXPECT_FALSE(erase.isOpen);

    ScriptedLoader absent;
    absent.openResults = {-1001, -1001, -1001};
    EXPECT_EQ(configureNetwork(absent, "10.0.0.1", "", ""), -1001);
    EXPECT_FALSE(absent.isOpen);
}

// Buffers of exactly the documented sizes, with guard bytes behind each.
struct Texts {
    static constexpr size_t kGuard = 8;
    char description[kDescriptionTextSize + kGuard];
    char family[kFamilyTextSize + kGuard];
    char versions[kVersionsTextSize + kGuard];
    char mac[kMacTextSize + kGuard];
    char ip[kAddressTextSize + kGuard];
    char mask[kAddressTextSize + kGuard];
    char gateway[kAddressTextSize + kGuard];
    Texts() {
        std::memset(description, '#', sizeof description);
        std::memset(family, '#', sizeof family);
        std::memset(versions, '#', sizeof versions);
        std::memset(mac, '#', sizeof mac);
        std::memset(ip, '#', sizeof ip);
        std::memset(mask, '#', sizeof mask);
        std::memset(gateway, '#', sizeof gateway);
    }
    ConfigurationTexts view() { return {description, family, versions, mac, ip, mask, gateway}; }
    bool guardsIntact() const {
        const std::pair<const char*, size_t> all[] = {{description, kDescriptionTextSize},
                                                      {family, kFamilyTextSize},
                                                      {versions, kVersionsTextSize},
                                                      {mac, kMacTextSize},
                                                      {ip, kAddressTextSize},
                                                      {mask, kAddressTextSize},
                                                      {gateway, kAddressTextSize}};
        for (auto [text, size] : all) {
            for (size_t i = size; i < size + kGuard; ++i) {
                if (text[i] != '#') return false;
            }
        }
        return true;
    }
};

TEST(ReadConfiguration, DescribesTheProbeAndItsRecord) {
    ScriptedLoader probe;
    probe.versions = versionAnswer(17, 0x0102, 0x5012, 1007, "123456780C");
    const Wire record{0x02, 0xC1, 0xA5, 0x12, 0x34, 0x56, 0xFF, 0xFF, 0xC0, 0xA8,
                      0x01, 0x01, 0xFF, 0xFF, 0xFF, 0x00, 0xFF, 0xFF, 0xFF, 0xFF};
    for (size_t i = 0; i < record.size(); ++i) probe.flash[0x01008000 + i] = record[i];
    Texts t;
    ASSERT_EQ(readConfiguration(probe, t.view()), 0);
    EXPECT_STREQ(t.description, "TOV-B Rev.C (SN: 12345678)");
    EXPECT_STREQ(t.family, "MPC8xx/MPC5xx");
    EXPECT_STREQ(t.versions, "258:018:007");
    EXPECT_STREQ(t.mac, "02-c1-a5-12-34-56");
    EXPECT_STREQ(t.ip, "192.168.1.1");
    EXPECT_STREQ(t.mask, "255.255.255.0");
    EXPECT_STREQ(t.gateway, "255.255.255.255");
    EXPECT_TRUE(t.guardsIntact());
    EXPECT_EQ(probe.sent.back().request, (Wire{101, 0x01, 0x00, 0x80, 0x00, 0x00, 104}));
    EXPECT_FALSE(probe.isOpen);

    // The longest texts still fit: a five-digit loader version, a family without a name.
    ScriptedLoader a;
    a.versions = versionAnswer(23, 0xFFFF, 0xC1FF, 65535, "ABCDEFGH");
    Texts ta;
    ASSERT_EQ(readConfiguration(a, ta.view()), 0);
    EXPECT_STREQ(ta.description, "TOV-A (SN: ABCDEFGH)");
    EXPECT_STREQ(ta.family, "unknown");
    EXPECT_STREQ(ta.versions, "65535:255:535");
    EXPECT_STREQ(ta.mac, "ff-ff-ff-ff-ff-ff");
    EXPECT_TRUE(ta.guardsIntact());

    // A TOV-X has no record; a family index beyond the table leaves the family empty.
    ScriptedLoader x;
    x.versions = versionAnswer(7, 3, 0xFF00, 3004);
    Texts tx;
    ASSERT_EQ(readConfiguration(x, tx.view()), 0);
    EXPECT_STREQ(tx.description, "TOV-X");
    EXPECT_STREQ(tx.family, "");
    EXPECT_STREQ(tx.versions, "003:000:004");
    for (const char* empty : {tx.mac, tx.ip, tx.mask, tx.gateway}) EXPECT_STREQ(empty, "");
    EXPECT_TRUE(x.requestsOf(101).empty());
    EXPECT_FALSE(x.isOpen);

    // A failed connect leaves every text but the versions empty and the link closed.
    ScriptedLoader odd;
    odd.versions = versionAnswer(9, 1, 2, 3);
    Texts to;
    EXPECT_EQ(readConfiguration(odd, to.view()), link::kUnknownProbe);
    EXPECT_STREQ(to.description, "");
    EXPECT_EQ(to.versions[0], '#');
    EXPECT_FALSE(odd.isOpen);
}

}  // namespace
}  // namespace tov::maint
