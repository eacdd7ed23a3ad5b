// The two error tables and the exported text lookup.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "include/tovlink.h"
#include "link/error_table.h"

namespace tov::test {
namespace {

std::string rdiText(int32_t code) {
    char scratch[64];
    return link::errorText(link::rdiErrorTable(), code, scratch, sizeof scratch);
}

TEST(ErrorTable, LibraryTextsThroughTheExport) {
    EXPECT_EQ(link::libraryErrorTable().size(), 87u);
    EXPECT_STREQ(TOV_ErrorTextGet(-1203), "TOV: TOV not connected");
    EXPECT_STREQ(TOV_ErrorTextGet(-2008), "BDM: Memory test failed");
    EXPECT_STREQ(TOV_ErrorTextGet(-2006), "BDM: Wrong target state for requested command ");
    EXPECT_STREQ(TOV_ErrorTextGet(-2077), "JTAG: JTAG lockout recovery faild");
    EXPECT_STREQ(TOV_ErrorTextGet(0), "Okay");
    EXPECT_STREQ(TOV_ErrorTextGet(-2208), "TOV: Unknown error number (-2208)");
    EXPECT_STREQ(TOV_ErrorTextGet(5), "TOV: Unknown error number (5)");
    EXPECT_STREQ(TOV_ErrorTextGet(INT32_MIN), "TOV: Unknown error number (-2147483648)");
}

TEST(ErrorTable, CodesAreUniqueAndTextsCarryTheirLayer) {
    for (auto table : {link::libraryErrorTable(), link::rdiErrorTable()}) {
        std::set<int32_t> codes;
        for (const auto& row : table) {
            EXPECT_TRUE(codes.insert(row.code).second) << row.code;
            if (row.code != 0) {
                EXPECT_NE(std::string(row.text).find(": "), std::string::npos);
            }
        }
    }
}

TEST(ErrorTable, RdiTableDiffersWhereItShould) {
    EXPECT_EQ(link::rdiErrorTable().size(), 48u);
    EXPECT_EQ(rdiText(0), "TOV: Unknown error number (0)");
    EXPECT_EQ(rdiText(-1201), "LNK: No response from TOV");
    EXPECT_EQ(rdiText(-1207), "LNK: File access failed");
    EXPECT_EQ(rdiText(-1208), "TOV: Unknown error number (-1208)");
    EXPECT_EQ(rdiText(-1301), "TOV: Unknown error number (-1301)");
    EXPECT_EQ(rdiText(-2032), "PPC: Sequencing indication received");
    EXPECT_EQ(rdiText(-2010), "TOV: Unknown error number (-2010)");
    EXPECT_EQ(rdiText(-2041), "ARM: Data abort (bus error)");
    EXPECT_EQ(rdiText(-2201), "Direct Cmd: Unknown Object");
    // Every RDI row that is not one of the deliberate differences equals the library's row.
    for (const auto& row : link::rdiErrorTable()) {
        if ((row.code <= -1201 && row.code >= -1207) || row.code == -2032) continue;
        EXPECT_STREQ(row.text, TOV_ErrorTextGet(row.code)) << row.code;
    }
}

}  // namespace
}  // namespace tov::test
