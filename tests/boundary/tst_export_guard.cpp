// The C boundary of both libraries: every exported function and every procedure of the RDI vector
// runs its body in the one guard, and an allocation that fails anywhere inside an export comes
// back as the library's code with its explanation, never as an exception in the caller.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "failing_allocation.h"
#include "include/tovlink.h"
#include "rdi/config_table.h"
#include "tests/rdi/captured_log.h"
#include "tests/rdi/loaded_library.h"

namespace tov::test {
namespace {

constexpr int32_t kLinkInternalFailure = -1202;
constexpr const char* kMissingPort = "/nonexistent/ttyTOV";

// The function symbols a built library exports.
std::set<std::string> exportedFunctions(const std::string& library) {
    std::set<std::string> names;
    FILE* nm = popen(("nm -D --defined-only " + library).c_str(), "r");
    if (!nm) return names;
    char line[512];
    while (std::fgets(line, sizeof line, nm)) {
        std::istringstream words(line);
        std::string address, type, name;
        if (words >> address >> type >> name && (type == "T" || type == "W")) names.insert(name);
    }
    pclose(nm);
    return names;
}

// Every C++ source of one folder of the repository, as one text.
std::string folderSources(const char* folder) {
    std::string text;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::filesystem::path(TOV_SOURCE_DIR) / folder)) {
        if (entry.path().extension() != ".cpp") continue;
        std::ifstream in(entry.path());
        text.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return text;
}

// Why the definitions of `name` in `sources` are not all guarded, or "" when they are: each
// must open its body with the guard (guarded..., guardedCall or the RDI library's withSession).
std::string unguarded(const std::string& sources, const std::string& name) {
    const std::string definition = R"(\n(?:const )?\w+\*? )" + name + R"(\([^;{}]*\)\s*\{)";
    const std::regex any(definition);
    const std::regex guarded(definition +
                             R"(\s*(?:return\s+)?(?:\w+::)*(?:guarded\w*|withSession)\()");
    int found = 0;
    for (auto it = std::sregex_iterator(sources.begin(), sources.end(), any);
         it != std::sregex_iterator(); ++it) {
        ++found;
        const std::string from = sources.substr(static_cast<size_t>(it->position()));
        if (!std::regex_search(from, guarded, std::regex_constants::match_continuous)) {
            return name + " does not open its body with the guard";
        }
    }
    return found > 0 ? "" : name + " has no definition in the sources";
}

TEST(ExportGuard, EveryExportAndProcedureRunsInTheGuard) {
    const std::set<std::string> link =
        exportedFunctions(std::string(TOV_LIB_DIR) + "/libtovlink.so");
    const std::set<std::string> rdi = exportedFunctions(std::string(TOV_LIB_DIR) + "/libtovrdi.so");
    // The 72 numbered exports and the extensions; the RDI library's seven entry points.
    EXPECT_GE(link.size(), 72u);
    EXPECT_EQ(rdi.size(), 7u);

    const std::string linkSources = folderSources("tovlink");
    for (const std::string& name : link) EXPECT_EQ(unguarded(linkSources, name), "");

    // The procedures reach the debugger through the vector, not as symbols.
    const std::string rdiSources = folderSources("rdi");
    std::set<std::string> procedures;
    const size_t vector = rdiSources.find("procedureVector = {");
    ASSERT_NE(vector, std::string::npos);
    const std::string entries = rdiSources.substr(vector, rdiSources.find("};", vector) - vector);
    const std::regex entry(R"(tr::(\w+))");
    for (auto it = std::sregex_iterator(entries.begin(), entries.end(), entry);
         it != std::sregex_iterator(); ++it) {
        procedures.insert((*it)[1]);
    }
    EXPECT_EQ(procedures.size(), 17u);
    for (const std::string& name : rdi) EXPECT_EQ(unguarded(rdiSources, name), "");
    for (const std::string& name : procedures) EXPECT_EQ(unguarded(rdiSources, name), "");
}

// Fails each allocation of `call` in turn, from the first until the call needs no more; returns
// how many were failed. `check(result)` judges each failed call.
template <typename Call, typename Check>
int failEachAllocation(Call call, Check check) {
    int failed = 0;
    for (long index = 0;; ++index) {
        FailingAllocation failure(index);
        const auto result = call();
        if (!failure.struck()) return failed;
        ++failed;
        check(result, index);
    }
}

TEST(ExportGuard, AnAllocationFailureInsideTheLinkLibraryIsItsCode) {
    setenv("TOV_COM1", kMissingPort, 1);
    const int failed = failEachAllocation([] { return TOV_Open("COM1 115200"); },
                                          [](int32_t result, long index) {
                                              EXPECT_EQ(result, kLinkInternalFailure) << index;
                                              EXPECT_STREQ(TOV_LastErrorDetail(),
                                                           "internal failure: std::bad_alloc");
                                          });
    EXPECT_GT(failed, 0);
    // With memory again, the same call fails as it should, naming the port.
    EXPECT_EQ(TOV_Open("COM1 115200"), -1001);
    EXPECT_NE(std::string(TOV_LastErrorDetail()).find(kMissingPort), std::string::npos);
    EXPECT_STREQ(TOV_ErrorTextGet(-1203), "TOV: TOV not connected");
}

TEST(ExportGuard, AnAllocationFailureInsideTheRdiLibraryIsItsLinkError) {
    setenv("TOV_COM1", kMissingPort, 1);
    LoadedRdiLibrary library;
    ASSERT_TRUE(library.loaded()) << dlerror();
    const RDI_ProcVec& rdi = library.vector();
    CapturedLog log;
    std::string& logged = CapturedLog::text();
    ConfigTable config = {};
    rdi::configUpdate(&config, "SERIALPORT", "1");
    RDI_AgentHandle agent = nullptr;
    const auto openAgent = [&] {
        logged.clear();
        return rdi.openagent(&agent, 0, &config, &log.host, nullptr);
    };
    const int failed = failEachAllocation(openAgent, [&](int result, long index) {
        EXPECT_EQ(result, TOVRDI_LinkError) << index;
        EXPECT_NE(logged.find("### Error: internal failure: std::bad_alloc\n"), std::string::npos)
            << index << ": " << logged;
        const int closed = rdi.closeagent(agent);
        EXPECT_TRUE(closed == RDIError_NoError || closed == RDIError_NotInitialised) << closed;
    });
    EXPECT_GT(failed, 0);
    // With memory again the open fails at the port, and the agent closes.
    EXPECT_EQ(openAgent(), TOVRDI_LinkError);
    EXPECT_EQ(logged, "### Error: LNK: Communication setup failed (Port busy)\n");
    EXPECT_EQ(rdi.closeagent(agent), RDIError_NoError);
    rdi::configClear(&config);
}

}  // namespace
}  // namespace tov::test
