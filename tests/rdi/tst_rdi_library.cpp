// The built library as a debugger meets it: its exports, the procedure vector, the version
// negotiation, the refusal of procedures before an agent is open, the configuration dialog in a
// process without a display, and failing opens with their mapped codes and log lines.
#include <gtest/gtest.h>

#include "captured_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "loaded_library.h"
#include "rdi/config_table.h"

namespace tov::test {
namespace {

std::string& logged = CapturedLog::text();

TEST(RdiLibrary, ExportsOnlyTheSevenEntryPoints) {
    LoadedRdiLibrary library;
    ASSERT_TRUE(library.loaded()) << dlerror();
    FILE* nm = popen(("nm -D --defined-only " + library.path()).c_str(), "r");
    ASSERT_NE(nm, nullptr);
    std::set<std::string> names;
    char line[512];
    while (std::fgets(line, sizeof line, nm)) {
        std::string text(line);
        text.erase(text.find_last_not_of("\n") + 1);
        names.insert(text.substr(text.rfind(' ') + 1));
    }
    ASSERT_EQ(pclose(nm), 0);
    EXPECT_EQ(names, (std::set<std::string>{"WinRDI_Valid_RDI_DLL", "WinRDI_GetVersion",
                                            "WinRDI_SetVersion", "WinRDI_Get_DLL_Description",
                                            "WinRDI_Register_Yield_Callback",
                                            "WinRDI_GetRDIProcVec", "WinRDI_Config"}));
}

// The dialog's Qt lives in a module of its own: the library needs no Qt library.
TEST(RdiLibrary, LinksNoQt) {
    LoadedRdiLibrary library;
    FILE* readelf = popen(("readelf -d " + library.path()).c_str(), "r");
    ASSERT_NE(readelf, nullptr);
    std::string needed;
    char line[512];
    while (std::fgets(line, sizeof line, readelf)) {
        if (std::strstr(line, "(NEEDED)")) needed += line;
    }
    ASSERT_EQ(pclose(readelf), 0);
    EXPECT_NE(needed.find("libc.so"), std::string::npos) << needed;
    EXPECT_EQ(needed.find("Qt"), std::string::npos) << needed;
}

TEST(RdiLibrary, VectorVersionsAndDescription) {
    LoadedRdiLibrary library;
    ASSERT_TRUE(library.loaded()) << dlerror();
    EXPECT_EQ(library.entry<decltype(WinRDI_Valid_RDI_DLL)>("WinRDI_Valid_RDI_DLL")(), 1);
    EXPECT_STREQ(
        library.entry<decltype(WinRDI_Get_DLL_Description)>("WinRDI_Get_DLL_Description")(),
        "Connect the ARM Debugger to the Marvane JTAG Debug Interface (TOV-A/TOV-B).");
    auto getVersion = library.entry<decltype(WinRDI_GetVersion)>("WinRDI_GetVersion");
    auto setVersion = library.entry<decltype(WinRDI_SetVersion)>("WinRDI_SetVersion");
    EXPECT_EQ(getVersion(), 150);
    EXPECT_EQ(setVersion(150), 151);
    EXPECT_EQ(getVersion(), 150);
    EXPECT_EQ(setVersion(200), 151);
    EXPECT_EQ(getVersion(), 151);

    const RDI_ProcVec& vector = library.vector();
    EXPECT_EQ(std::string(vector.rditypename, 12), std::string("TOV_RDI_DLL\0", 12));
    const auto* entries = reinterpret_cast<void* const*>(&vector.openagent);
    ASSERT_EQ(sizeof(RDI_ProcVec) - offsetof(RDI_ProcVec, openagent), 26 * sizeof(void*));
    for (int i = 0; i < 26; ++i) EXPECT_EQ(entries[i] != nullptr, i < 17) << "entry " << i + 1;
}

TEST(RdiLibrary, ProceduresWaitForTheAgentAndFailedOpensAreMapped) {
    LoadedRdiLibrary library;
    ASSERT_TRUE(library.loaded()) << dlerror();
    const RDI_ProcVec& rdi = library.vector();
    uint8_t buffer[4] = {};
    unsigned count = 4;
    ARMword values[32] = {};
    EXPECT_EQ(rdi.read(nullptr, 0, buffer, &count, 0), RDIError_NotInitialised);
    EXPECT_EQ(rdi.write(nullptr, buffer, 0, &count, 0), RDIError_NotInitialised);
    EXPECT_EQ(rdi.CPUread(nullptr, 0xFF, 1, values), RDIError_NotInitialised);
    EXPECT_EQ(rdi.CPread(nullptr, 15, 1, values), RDIError_NotInitialised);
    EXPECT_EQ(rdi.info(nullptr, RDIInfo_SetLog, values, nullptr), RDIError_NotInitialised);
    EXPECT_EQ(rdi.open(nullptr, 0, nullptr, nullptr, nullptr), RDIError_NotInitialised);
    EXPECT_EQ(rdi.closeagent(nullptr), RDIError_NotInitialised);

    CapturedLog log;
    const RDI_HostosInterface& host = log.host;
    ConfigTable config = {};
    // A command path longer than its 259-character field is refused, not cut.
    rdi::configUpdate(&config, "COMMANDPATH", std::string(260, 'd').c_str());
    RDI_AgentHandle agent = nullptr;
    EXPECT_EQ(rdi.openagent(&agent, 0, &config, &host, nullptr), RDIError_UnableToInitialise);
    EXPECT_EQ(logged, "### Error: COMMANDPATH is longer than 259 characters\n");
    EXPECT_EQ(agent, nullptr);
    EXPECT_EQ(rdi.read(nullptr, 0, buffer, &count, 0), RDIError_NotInitialised);

    // The network channel without a target host fails with the link's error, mapped.
    logged.clear();
    rdi::configUpdate(&config, "COMMANDPATH", "");
    rdi::configUpdate(&config, "SERIALPORT", "0");
    EXPECT_EQ(rdi.openagent(&agent, 0, &config, &host, nullptr), 200);
    EXPECT_EQ(logged, "### Error: LNK: Invalid function parameter\n");
    EXPECT_NE(agent, nullptr);
    // Without a connection every request fails the same way; the byte count stays as it was.
    logged.clear();
    EXPECT_EQ(rdi.read(nullptr, 0x100, buffer, &count, 0), 200);
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(logged, "### Error: LNK: TOV not connected\n");
    EXPECT_EQ(rdi.closeagent(agent), RDIError_NoError);
    EXPECT_EQ(rdi.read(nullptr, 0, buffer, &count, 0), RDIError_NotInitialised);

    logged.clear();
    rdi::configUpdate(&config, "ETHERNETTARGET", "probe-in-the-lab-corner1");  // 24 characters
    EXPECT_EQ(rdi.openagent(&agent, 0, &config, &host, nullptr), RDIError_UnableToInitialise);
    EXPECT_EQ(logged, "### Error: ETHERNETTARGET is longer than 23 characters\n");
    rdi::configClear(&config);
}

TEST(RdiLibrary, ConfigurationDialogWithoutADisplayWritesNothing) {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("QT_QPA_PLATFORM");
    LoadedRdiLibrary library;
    ASSERT_TRUE(library.loaded()) << dlerror();
    ConfigTable config = {};
    rdi::configUpdate(&config, "SERIALPORT", "3");
    auto configure = library.entry<decltype(WinRDI_Config)>("WinRDI_Config");
    EXPECT_EQ(configure(&config, nullptr), -1);
    EXPECT_STREQ(rdi::configLookup(&config, "SERIALPORT"), "3");
    EXPECT_EQ(rdi::configLookup(&config, "ETHERNETTARGET"), nullptr);
    rdi::configClear(&config);
}

// A library whose Qt module is not beside it cannot show the dialog, and says why.
TEST(RdiLibrary, ConfigurationDialogWithoutItsModule) {
    char pattern[] = "/tmp/tovrdi-alone-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string copy = std::string(pattern) + "/libtovrdi.so";
    ASSERT_EQ(std::system(("cp " + LoadedRdiLibrary().path() + " " + copy).c_str()), 0);
    void* handle = dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    auto configure = reinterpret_cast<decltype(&WinRDI_Config)>(dlsym(handle, "WinRDI_Config"));
    ConfigTable config = {};
    testing::internal::CaptureStderr();
    EXPECT_EQ(configure(&config, nullptr), -1);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(config.size, 0);
    EXPECT_EQ(said.rfind("### Error: the configuration dialog module is missing: " +
                             std::string(pattern) + "/libtovrdi_qt.so",
                         0),
              0u)
        << said;
    dlclose(handle);
    EXPECT_EQ(std::system(("rm -r " + std::string(pattern)).c_str()), 0);
}

}  // namespace
}  // namespace tov::test
