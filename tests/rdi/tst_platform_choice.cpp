// The choice of the Qt platform for the configuration dialog: only a platform whose plugin is
// installed and whose display answers is taken, whatever QT_QPA_PLATFORM names.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "rdi/platform_choice.h"

namespace tov::test {
namespace {

using rdi::choosePlatform;

TEST(PlatformChoice, TakesOnlyAPlatformThatCanShowAWindow) {
    bool x = false;
    bool wayland = true;
    std::set<std::string> plugins = {"xcb", "offscreen"};
    const rdi::PlatformProbes probes{
        [&] { return x; }, [&] { return wayland; },
        [&](const std::string& name) { return plugins.count(name) > 0; }};

    // Named without a reachable display, or without its plugin: nothing, and why.
    rdi::PlatformChoice choice = choosePlatform("xcb", false, probes);
    EXPECT_EQ(choice.platform, "");
    EXPECT_EQ(choice.reason, "xcb: no X display reachable");
    choice = choosePlatform("wayland", true, probes);
    EXPECT_EQ(choice.platform, "");
    EXPECT_EQ(choice.reason, "wayland: no Qt platform plugin installed");
    // Platforms that cannot be checked beforehand are refused, not tried.
    choice = choosePlatform("eglfs;;xcb", false, probes);
    EXPECT_EQ(choice.reason,
              "eglfs: cannot tell beforehand whether it can show a window; xcb: no X display "
              "reachable");

    // A pure Wayland session with the plugin: Wayland, also when nothing is named.
    plugins.insert("wayland");
    EXPECT_EQ(choosePlatform(nullptr, true, probes).platform, "wayland");
    EXPECT_EQ(choosePlatform("", false, probes).platform, "wayland");
    // Both displays: the session's own first; a named list in its order, options kept.
    x = true;
    EXPECT_EQ(choosePlatform(nullptr, true, probes).platform, "wayland");
    EXPECT_EQ(choosePlatform(nullptr, false, probes).platform, "xcb");
    wayland = false;
    EXPECT_EQ(choosePlatform("wayland;xcb:nomitshm", true, probes).platform, "xcb:nomitshm");
    EXPECT_EQ(choosePlatform("offscreen", false, probes).platform, "offscreen");
}

}  // namespace
}  // namespace tov::test
