// The loader procedures through libtovlink.so's exports, against the simulator's loader on a
// real pseudo-terminal, as the programs built on the library run them.
#include <gtest/gtest.h>

#include <array>

#include "include/tovlink.h"
#include "maint/exported_loader_link.h"
#include "maint/firmware_update.h"
#include "maint/loader_requests.h"
#include "tests/support/sim_fixture.h"

namespace tov::maint {
namespace {

TEST(ExportedLoaderLink, LoaderRequestsRunOverTheExportedFunctions) {
    sim::SimOptions options = test::simAt(115200);
    options.loader = true;
    test::SimOnPty probe(options);
    ASSERT_TRUE(probe.started());

    ExportedLoaderLink link(probe.port(), ExportedLoaderLink::Start::kOpen);
    ProbeIdentity identity;
    ASSERT_EQ(connectLoader(link, setupCaller(), identity), 0);
    EXPECT_EQ(identity.model, ProbeModel::B);
    EXPECT_EQ(identity.serial.size(), 8u);
    // The network record's MAC prefix in the probe's flash.
    std::array<uint8_t, 3> mac{};
    ASSERT_EQ(readFlash(link, 0x01008000, mac), 0);
    EXPECT_EQ(mac, (std::array<uint8_t, 3>{0x02, 0xC1, 0xA5}));
    link.close();
    EXPECT_EQ(readFlash(link, 0x01008000, mac), -1203);  // the link is closed

    // A connection the caller holds is used as it is and left open.
    ASSERT_EQ(TOV_Open(probe.port().c_str()), 0);
    ExportedLoaderLink held({}, ExportedLoaderLink::Start::kAlreadyOpen);
    EXPECT_EQ(held.open(), 0);
    EXPECT_EQ(readVersions(held, identity), 0);
    held.close();
    EXPECT_EQ(readFlash(held, 0x01008000, mac), 0);
    TOV_Close();
}

}  // namespace
}  // namespace tov::maint
