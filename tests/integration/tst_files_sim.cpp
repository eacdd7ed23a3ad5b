// S-record files made by the system's binary tools from a real program, loaded into and
// verified against the simulator over the pty, and dumped back: srec_cmp must find the dump
// equal to the file it came from.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "include/tovlink.h"
#include "tests/support/sim_fixture.h"

namespace tov::test {
namespace {

int run(const std::string& command) {
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool haveTools() {
    return run("command -v objcopy") == 0 && run("command -v srec_cat") == 0 &&
           run("command -v srec_cmp") == 0;
}

class FilesOnSimulator : public ::testing::Test {
protected:
    void SetUp() override {
        if (!haveTools()) GTEST_SKIP() << "objcopy, srec_cat or srec_cmp is not installed";
        probe_ = std::make_unique<SimOnPty>(simAt(115200));
        ASSERT_TRUE(probe_->started());
        dir_ = probe_->path().substr(0, probe_->path().rfind('/'));
        // The first 192 KiB of a real program: code, tables and strings.
        std::ifstream in("/proc/self/exe", std::ios::binary);
        std::vector<char> program(196608);
        in.read(program.data(), static_cast<std::streamsize>(program.size()));
        ASSERT_EQ(in.gcount(), static_cast<std::streamsize>(program.size()));
        std::ofstream(dir_ + "/program.bin", std::ios::binary)
            .write(program.data(), static_cast<std::streamsize>(program.size()));
        ASSERT_EQ(TOV_Connect(probe_->port().c_str()), 0);
    }
    void TearDown() override { TOV_Disconnect(); }

    // Loads and verifies `file`, dumps the range back and compares it with srec_cmp.
    void roundTrip(const std::string& file, uint32_t base, uint32_t size) {
        uint32_t detail = 1;
        ASSERT_EQ(TOV_LoadFile((dir_ + "/" + file).c_str(), &detail), 0) << file;
        ASSERT_EQ(TOV_VerifyFile((dir_ + "/" + file).c_str(), &detail), 0) << file;
        const std::string dump = dir_ + "/" + file + ".dump";
        ASSERT_EQ(TOV_DumpFile(dump.c_str(), base, size), 0);
        EXPECT_EQ(run("srec_cmp " + dump + " " + dir_ + "/" + file), 0) << file;
    }

    std::unique_ptr<SimOnPty> probe_;
    std::string dir_;
};

TEST_F(FilesOnSimulator, ObjcopyAndSrecCatFilesLoadVerifyAndDumpBack) {
    ASSERT_EQ(run("cd " + dir_ +
                  " && objcopy -I binary -O srec --change-addresses 0x100000 program.bin "
                  "objcopy.srec"),
              0);
    roundTrip("objcopy.srec", 0x100000, 196608);
    ASSERT_EQ(run("cd " + dir_ +
                  " && srec_cat program.bin -binary -offset 0x1FF000 -o srec_cat.srec "
                  "-motorola"),
              0);
    roundTrip("srec_cat.srec", 0x1FF000, 196608);

    // A file changed in one byte no longer verifies.
    ASSERT_EQ(run("cd " + dir_ +
                  " && printf 'X' | dd of=program.bin bs=1 seek=5000 conv=notrunc && "
                  "srec_cat program.bin -binary -offset 0x1FF000 -o changed.srec -motorola"),
              0);
    uint32_t detail = 0;
    EXPECT_EQ(TOV_VerifyFile((dir_ + "/changed.srec").c_str(), &detail), -1210);
    EXPECT_EQ(detail, 0x1FF000u + 5000u);
}

struct Progress {
    std::vector<std::pair<uint32_t, uint32_t>> calls;
    static void record(uint32_t done, uint32_t total, void* user) {
        static_cast<Progress*>(user)->calls.emplace_back(done, total);
    }
};

TEST_F(FilesOnSimulator, LoadsReportTheirProgress) {
    ASSERT_EQ(run("cd " + dir_ +
                  " && srec_cat program.bin -binary -offset 0x300000 -o progress.srec -motorola"),
              0);
    Progress progress;
    TOV_ProgressSet(Progress::record, &progress);
    uint32_t detail = 0;
    const int32_t rc = TOV_LoadFile((dir_ + "/progress.srec").c_str(), &detail);
    TOV_ProgressSet(nullptr, nullptr);
    ASSERT_EQ(rc, 0);
    ASSERT_GT(progress.calls.size(), 10u);
    for (size_t i = 1; i < progress.calls.size(); ++i) {
        EXPECT_GE(progress.calls[i].first, progress.calls[i - 1].first);
        EXPECT_EQ(progress.calls[i].second, progress.calls[0].second);
    }
    EXPECT_EQ(progress.calls.back().first, progress.calls.back().second);
    // Removed again: a later load calls nothing.
    const size_t calls = progress.calls.size();
    ASSERT_EQ(TOV_LoadFile((dir_ + "/progress.srec").c_str(), &detail), 0);
    EXPECT_EQ(progress.calls.size(), calls);
}

}  // namespace
}  // namespace tov::test
