// Init items: item texts, reading them back, display lines and the lenient line reader; and
// the connection parameter builder.
#include <gtest/gtest.h>

#include "setup/code_list.h"
#include "setup/connection_parameters.h"
#include "setup/display_text.h"

namespace tov::setup {
namespace {

TEST(CodeList, ItemTextsAndDisplayLines) {
    const CCodeItem wm8 = makeItem(kWm8, 0x1000, 0x12, "x");
    EXPECT_EQ(wm8.text(), "WM8\t00001000\t00000012\tx");
    EXPECT_EQ(displayLine(wm8), "WM8\t0x00001000\t0x12\tx");
    EXPECT_EQ((readItem(wm8)), (ItemFields{kWm8, 0x1000, 0x12, "x"}));

    EXPECT_EQ(displayLine(makeItem(kNop, 5, 6, "n")), "NOP\t\t\tn");
    EXPECT_EQ(displayLine(makeItem(kDelay, 0, 100, "")), "DELAY\t\t100\t");
    EXPECT_EQ(displayLine(makeItem(kWm16, 2, 0xABCD, "")), "WM16\t0x00000002\t0xABCD\t");
    EXPECT_EQ(displayLine(makeItem(kWgpr, 13, 1, "")), "WGPR\t13\t0x00000001\t");
    EXPECT_EQ(displayLine(makeItem(kWcpsr, 0, 0xD3, "")), "WCPSR\t\t0x000000D3\t");
    EXPECT_EQ(displayLine(makeItem(kWcp15, 0x102, 0x50078, "c")), "WCP15\t0x0102\t0x00050078\tc");
    EXPECT_EQ(displayLine(makeItem(kWcp0, 1, 2, "")), "WCP0\t0x0001\t0x00000002\t");

    // Comments are cut to 100 characters; a comment may hold tabs after the third.
    const std::string longComment(150, 'c');
    EXPECT_EQ(readItem(makeItem(kNop, 0, 0, longComment)).comment, std::string(100, 'c'));
    EXPECT_EQ(readItem(CCodeItem("WM8\t1\t2\ta\tb")).comment, "a\tb");
    // An unknown mnemonic reads as WM32.
    EXPECT_EQ(readItem(CCodeItem("FOO\t00000001\t00000002\tz")).type, kWm32);
}

TEST(CodeList, ItemsFromDisplayLines) {
    EXPECT_EQ(itemFromDisplayLine("FOO\t1\t2\tc").text(), "NOP\t00000001\t00000002\tc");
    EXPECT_EQ(itemFromDisplayLine("wm32\t0x10\t0x20\tc").text(), "WM32\t00000010\t00000020\tc");
    EXPECT_EQ(itemFromDisplayLine("wm32\t010\t10\t").text(), "WM32\t00000008\t0000000A\t");
    EXPECT_EQ(itemFromDisplayLine("DELAY\t\tjunk").text(), "DELAY\t00000000\t00000000\t");
    EXPECT_EQ(itemFromDisplayLine("WM8\t1\t2\tkeep Case\tdropped").text(),
              "WM8\t00000001\t00000002\tkeep Case");
    EXPECT_EQ(itemFromDisplayLine("WM8\t1\t2\t" + std::string(300, 'k')).text().size(),
              std::string("WM8\t00000001\t00000002\t").size() + 100);
    // Display lines read back to the same item.
    const CCodeItem wcp = makeItem(kWcp15, 0x102, 0x50078, "c;d");
    EXPECT_EQ(itemFromDisplayLine(displayLine(wcp)).text(), wcp.text());
}

TEST(CodeList, ListOwnsItemsInOrder) {
    CCodeList list;
    list.append(makeItem(kNop, 0, 0, "a"));
    list.append(makeItem(kNop, 0, 0, "b"));
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(readItem(list.at(1)).comment, "b");
    list.removeAll();
    EXPECT_TRUE(list.empty());
}

TEST(ConnectionParameters, BuiltFromChannelRateAndAddress) {
    buildConnectionParameters(1, 3, "x");
    EXPECT_EQ(connectionParameters(), "COM2 57600");
    buildConnectionParameters(3, 4, "");
    EXPECT_EQ(connectionParameters(), "COM4 115200");
    buildConnectionParameters(0, 7, "");
    EXPECT_EQ(connectionParameters(), "COM1");
    buildConnectionParameters(4, 0, "10.1.2.3");
    EXPECT_EQ(connectionParameters(), "NETWORK 10.1.2.3 1");
    buildConnectionParameters(5, 0, "10.1.2.3");
    EXPECT_EQ(connectionParameters(), "NETWORK 10.1.2.3 2");
    buildConnectionParameters(6, 0, "1.1.1.1");
    EXPECT_EQ(connectionParameters(), "NETWORK 10.1.2.3 2");
}

TEST(DisplayText, Utf8StaysOtherBytesAreWindows1252) {
    EXPECT_EQ(displayText("Gr\xC3\xBC\xC3\x9F"), "Gr\xC3\xBC\xC3\x9F");
    EXPECT_EQ(displayText("caf\xE9 \x80"), "caf\xC3\xA9 \xE2\x82\xAC");
    EXPECT_FALSE(isValidUtf8("\xC3"));
    EXPECT_FALSE(isValidUtf8("\xE0\x80\x80"));
    EXPECT_TRUE(isValidUtf8("\xF0\x9F\x98\x80"));
}

}  // namespace
}  // namespace tov::setup
