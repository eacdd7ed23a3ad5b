// The semihosting operations on crafted calls: a fake target with sparse memory and the two
// argument registers, and a console that records what it is given.
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "semihost/service.h"
#include "tests/semihost/root_matrix.h"

namespace tov::semihost {
namespace {

class FakeTarget : public TargetAccess {
public:
    std::map<uint32_t, uint8_t> memory;
    uint32_t r0 = 0, r1 = 0;
    int resultWrites = 0;
    int argumentReads = 0;
    size_t largestAccess = 0;
    size_t bytesWritten = 0;
    bool bigEndian = false;

    int readMemory(uint32_t address, std::span<uint8_t> out) override {
        largestAccess = std::max(largestAccess, out.size());
        for (size_t i = 0; i < out.size(); ++i) out[i] = memory[address + i];
        return 0;
    }
    int writeMemory(uint32_t address, std::span<const uint8_t> data) override {
        largestAccess = std::max(largestAccess, data.size());
        bytesWritten += data.size();
        for (size_t i = 0; i < data.size(); ++i) memory[address + i] = data[i];
        return 0;
    }
    int readArguments(uint32_t& a, uint32_t& b) override {
        ++argumentReads;
        a = r0;
        b = r1;
        return 0;
    }
    int writeResult(uint32_t value) override {
        ++resultWrites;
        r0 = value;
        return 0;
    }

    void putWord(uint32_t address, uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            memory[address + i] = static_cast<uint8_t>(value >> (bigEndian ? 24 - 8 * i : 8 * i));
        }
    }
    uint32_t word(uint32_t address) {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            value |= uint32_t{memory[address + i]} << (bigEndian ? 24 - 8 * i : 8 * i);
        }
        return value;
    }
    void putText(uint32_t address, const std::string& text) {
        for (size_t i = 0; i < text.size(); ++i)
            memory[address + i] = static_cast<uint8_t>(text[i]);
        memory[address + text.size()] = 0;
    }
    std::string text(uint32_t address, size_t length) {
        std::string s;
        for (size_t i = 0; i < length; ++i) s += static_cast<char>(memory[address + i]);
        return s;
    }
};

class RecordingConsole : public Console {
public:
    std::vector<uint8_t> chars;
    std::string blocks;
    std::string line;
    std::function<void()> whileReading;

    void writeChar(uint8_t c) override { chars.push_back(c); }
    size_t writeBlock(std::span<const uint8_t> data) override {
        blocks.append(data.begin(), data.end());
        return data.size();
    }
    size_t readLine(std::span<uint8_t> out) override {
        if (whileReading) whileReading();
        const size_t n = std::min(out.size(), line.size());
        std::copy_n(line.begin(), n, out.begin());
        return n;
    }
    int readChar() override { return 'x'; }
};

constexpr uint32_t kBlock = 0x1000;
constexpr uint32_t kName = 0x2000;
constexpr uint32_t kData = 0x10000;
constexpr uint32_t kFailed = 0xFFFFFFFF;

class ServiceTest : public ::testing::Test {
public:
    // Makes a call with a parameter block of words at kBlock.
    Result call(uint32_t operation, std::vector<uint32_t> words) {
        for (size_t i = 0; i < words.size(); ++i) target.putWord(kBlock + 4 * i, words[i]);
        target.r0 = operation;
        target.r1 = kBlock;
        return service.serve(target);
    }
    uint32_t open(const std::string& name, uint32_t mode) {
        target.putText(kName, name);
        EXPECT_EQ(call(kOpen, {kName, mode, static_cast<uint32_t>(name.size())}).status,
                  Status::Done);
        return target.r0;
    }

    FakeTarget target;
    RecordingConsole console;
    std::atomic<bool> stop{false};
    Service service{console, stop};
};

TEST_F(ServiceTest, ConsoleHandleAndTextOutput) {
    EXPECT_EQ(open(":tt", 4), 1u);
    EXPECT_EQ(call(kIsTerminal, {1}).status, Status::Done);
    EXPECT_EQ(target.r0, 1u);

    target.putText(kData, "hello, console");
    EXPECT_EQ(call(kWrite, {1, kData, 5}).status, Status::Done);
    EXPECT_EQ(console.blocks, "hello");
    EXPECT_EQ(target.r0, 0u);  // nothing left unwritten

    // Write-string sends each character and leaves r0 alone.
    target.putText(kData, "abcde");
    const int writes = target.resultWrites;
    target.r0 = kWriteString;
    target.r1 = kData;
    EXPECT_EQ(service.serve(target).status, Status::Done);
    EXPECT_EQ(console.chars, (std::vector<uint8_t>{'a', 'b', 'c', 'd', 'e'}));
    EXPECT_EQ(target.resultWrites, writes);

    // Seek and length make no sense on the console; closing it keeps it.
    EXPECT_EQ(call(kSeek, {1, 0}).status, Status::Done);
    EXPECT_EQ(target.r0, kFailed);
    EXPECT_EQ(call(kFileLength, {1}).status, Status::Done);
    EXPECT_EQ(target.r0, kFailed);
    EXPECT_EQ(call(kClose, {1}).status, Status::Done);
    EXPECT_EQ(target.r0, 0u);
}

TEST_F(ServiceTest, OutOfRangeCallsStopTheProgram) {
    target.putText(kName, std::string(261, 'n'));
    for (const Result& r :
         {call(kOpen, {kName, 0, 261}), call(kOpen, {kName, 12, 3}), call(kRemove, {kName, 261}),
          call(kRename, {kName, 3, kName, 261}), call(kSystem, {kName, 261}), call(99, {})}) {
        EXPECT_EQ(r.status, Status::BadCall);
        EXPECT_EQ(rdiCode(r), 3);
    }
    const Result exit = call(kReportException, {});
    EXPECT_EQ(exit.status, Status::Stopped);
    EXPECT_EQ(exit.reason, kBlock);  // r1 itself
    EXPECT_EQ(rdiCode(exit), 163);
}

TEST_F(ServiceTest, HandlesNeverOpenedFailWithoutTouchingMemory) {
    const size_t written = target.bytesWritten;
    for (uint32_t op : {kClose, kSeek, kFileLength, kIsTerminal}) {
        EXPECT_EQ(call(op, {7, 0}).status, Status::Done);
        EXPECT_EQ(target.r0, kFailed) << op;
    }
    EXPECT_EQ(call(kRead, {7, kData, 100}).status, Status::Done);
    EXPECT_EQ(target.r0, kFailed);
    EXPECT_EQ(call(kWrite, {7, kData, 100}).status, Status::Done);
    EXPECT_EQ(target.r0, kFailed);
    EXPECT_EQ(target.bytesWritten, written);
}

TEST_F(ServiceTest, HostFileRoundTripInBoundedPieces) {
    const std::string path =
        std::filesystem::temp_directory_path() / ("tovsemi-" + std::to_string(getpid()));
    const uint32_t handle = open(path, 7);  // "w+b"
    ASSERT_EQ(handle, 2u);
    EXPECT_EQ(open(path, 0), 3u);  // the next free number
    EXPECT_EQ(call(kClose, {3}).status, Status::Done);

    for (uint32_t i = 0; i < 10000; ++i) target.memory[kData + i] = static_cast<uint8_t>(i * 7);
    EXPECT_EQ(call(kWrite, {handle, kData, 10000}).status, Status::Done);
    EXPECT_EQ(target.r0, 0u);
    EXPECT_EQ(call(kFileLength, {handle}).status, Status::Done);
    EXPECT_EQ(target.r0, 10000u);
    EXPECT_EQ(call(kSeek, {handle, 9000}).status, Status::Done);
    EXPECT_EQ(target.r0, 0u);

    // A huge length reads what there is; the rest is reported as not read.
    const uint32_t buffer = 0x40000;
    EXPECT_EQ(call(kRead, {handle, buffer, 0xFFFFFFFF}).status, Status::Done);
    EXPECT_EQ(target.r0, 0xFFFFFFFFu - 1000);
    EXPECT_EQ(target.memory[buffer], static_cast<uint8_t>(9000 * 7));
    EXPECT_EQ(target.memory[buffer + 999], static_cast<uint8_t>(9999 * 7));
    EXPECT_LE(target.largestAccess, Service::kPiece);

    EXPECT_EQ(call(kClose, {handle}).status, Status::Done);
    EXPECT_EQ(target.r0, 0u);
    EXPECT_EQ(call(kClose, {handle}).status, Status::Done);  // closed already
    EXPECT_EQ(target.r0, kFailed);

    target.putText(kName, path);
    EXPECT_EQ(call(kRemove, {kName, static_cast<uint32_t>(path.size())}).status, Status::Done);
    EXPECT_EQ(target.r0, 0u);
    EXPECT_FALSE(std::filesystem::exists(path));
    // A failed host operation leaves its error number for the program to ask.
    EXPECT_EQ(open(path, 0), kFailed);
    EXPECT_EQ(call(kErrno, {}).status, Status::Done);
    EXPECT_EQ(target.r0, static_cast<uint32_t>(ENOENT));
}

// Carries out one case of the root matrix through the service: true when it worked.
bool attempt(ServiceTest& t, const test::RootCase& c) {
    if (c.operation == "read" || c.operation == "write") {
        const uint32_t handle = t.open(c.name, c.operation == "read" ? 0 : 4);
        if (handle == kFailed) return false;
        t.target.putText(kData, "written\n");
        const bool moved =
            c.operation == "read"
                ? t.call(kRead, {handle, kData, 64}).status == Status::Done
                : t.call(kWrite, {handle, kData, 8}).status == Status::Done && t.target.r0 == 0;
        return t.call(kClose, {handle}).status == Status::Done && t.target.r0 == 0 && moved;
    }
    t.target.putText(kName, c.name);
    t.target.putText(kName + 0x200, c.other);
    const uint32_t length = static_cast<uint32_t>(c.name.size());
    const uint32_t otherLength = static_cast<uint32_t>(c.other.size());
    const Result result = c.operation == "remove"
                              ? t.call(kRemove, {kName, length})
                              : t.call(kRename, {kName, length, kName + 0x200, otherLength});
    return result.status == Status::Done && t.target.r0 == 0;
}

TEST_F(ServiceTest, FileRootRefusesEveryNameLeadingOutAndServesThoseInside) {
    test::RootLayout layout(std::filesystem::path(::testing::TempDir()) /
                            ("tovroot-" + std::to_string(getpid())));
    const std::string before = layout.outside();
    ASSERT_EQ(service.setFileRoot(layout.root().string()), "");
    for (const test::RootCase& c : layout.cases()) {
        EXPECT_EQ(attempt(*this, c), c.inside) << c.line();
        if (!c.inside) {
            EXPECT_EQ(call(kErrno, {}).status, Status::Done);
            EXPECT_NE(target.r0, 0u) << c.line();
        }
    }
    EXPECT_EQ(layout.outside(), before);
    EXPECT_TRUE(layout.insideDone());

    // A temporary name is one beneath the root.
    EXPECT_EQ(call(kTemporaryName, {kData, 7, 200}).status, Status::Done);
    const std::string name = target.text(kData, 200).c_str();
    EXPECT_EQ(name.find('/'), std::string::npos) << name;
    const uint32_t handle = open(name, 4);
    ASSERT_NE(handle, kFailed);
    EXPECT_EQ(call(kClose, {handle}).status, Status::Done);
    EXPECT_TRUE(std::filesystem::exists(layout.root() / name));

    // The system call, refused: -1 and the command never runs.
    service.setSystemAllowed(false);
    const std::string command = "touch " + (layout.root() / "ran").string();
    target.putText(kName, command);
    EXPECT_EQ(call(kSystem, {kName, static_cast<uint32_t>(command.size())}).status, Status::Done);
    EXPECT_EQ(target.r0, kFailed);
    EXPECT_FALSE(std::filesystem::exists(layout.root() / "ran"));
}

// Makes openat2 fail with ENOSYS in this process, as on a kernel without it.
bool withoutOpenat2() {
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_openat2, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

TEST_F(ServiceTest, FileRootFailsClosedWithoutTheKernelsHelp) {
    test::RootLayout layout(std::filesystem::path(::testing::TempDir()) /
                            ("tovnoroot-" + std::to_string(getpid())));
    const std::string before = layout.outside();
    const pid_t child = ::fork();
    if (child == 0) {
        if (!withoutOpenat2()) ::_exit(77);
        // Each check that fails gives its own exit status.
        const std::string problem = service.setFileRoot(layout.root().string());
        if (problem.find("no openat2") == std::string::npos) ::_exit(1);
        if (service.fileRootProblem() != problem) ::_exit(2);
        for (const test::RootCase& c : layout.cases()) {
            if (attempt(*this, c)) ::_exit(3);
        }
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no seccomp filters here";
    EXPECT_EQ(WEXITSTATUS(status), 0);
    // Not even the names inside were touched.
    EXPECT_EQ(layout.outside(), before);
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::symlink_status(layout.root() / "out")));
    EXPECT_FALSE(std::filesystem::exists(layout.root() / "new.txt"));
    EXPECT_FALSE(std::filesystem::exists(layout.root() / "sub" / "created_in"));
}

TEST(HeapInfoText, FourNumbersWithTheirLimitsOnTheRightSide) {
    std::string problem;
    EXPECT_EQ(parseHeapInfo("0,0x200000,0x300000,0x280000", problem),
              (HeapInfo{0, 0x200000, 0x300000, 0x280000}));
    EXPECT_EQ(parseHeapInfo("0,0,0,0", problem), HeapInfo{});
    for (const char* bad : {"", "1,2,3", "1,2,3,4,5", "1,2,3,x", "0x,0,0,0", "1,2,3,0x100000000",
                            "0x200,0x100,0,0", "0,0,0x100,0x200", "1,2,3, 4"}) {
        problem.clear();
        EXPECT_FALSE(parseHeapInfo(bad, problem)) << bad;
        EXPECT_FALSE(problem.empty()) << bad;
    }
}

TEST_F(ServiceTest, NamesAndEnvironmentFitTheirBuffers) {
    target.memory[kData] = 0x55;
    EXPECT_EQ(call(kTemporaryName, {kData, 3, 10}).status, Status::Done);
    EXPECT_EQ(target.r0, kFailed);
    EXPECT_EQ(target.memory[kData], 0x55);  // nothing written
    EXPECT_EQ(call(kTemporaryName, {kData, 3, 200}).status, Status::Done);
    EXPECT_EQ(target.r0, 0u);
    EXPECT_NE(target.text(kData, 200).find("-3.tmp"), std::string::npos);

    service.setCommandLine(std::string(300, 'c'));
    EXPECT_EQ(service.commandLine().size(), Service::kMaxCommandLine);
    target.memory[kData + 10] = 0x55;
    EXPECT_EQ(call(kCommandLine, {kData, 10}).status, Status::Done);
    EXPECT_EQ(target.text(kData, 10), std::string(9, 'c') + '\0');
    EXPECT_EQ(target.memory[kData + 10], 0x55);

    // Heap info goes through the word r1 points at; the words in the target's byte order.
    service.setBigEndian(true);
    target.bigEndian = true;
    EXPECT_EQ(call(kHeapInfo, {kData}).status, Status::Done);
    EXPECT_EQ(target.word(kData + 4), 0x7C000u);
    EXPECT_EQ(target.word(kData + 8), 0x80000u);
    EXPECT_EQ(target.memory[kData + 9], 0x08);  // most significant byte first
    // Words given replace those derived from the top of memory.
    service.setHeap(HeapInfo{0x1000, 0x2000, 0x3000, 0x2800});
    EXPECT_EQ(call(kHeapInfo, {kData}).status, Status::Done);
    EXPECT_EQ(target.word(kData), 0x1000u);
    EXPECT_EQ(target.word(kData + 8), 0x3000u);
    EXPECT_EQ(target.word(kData + 12), 0x2800u);
    // Elapsed writes its block at r1 itself.
    EXPECT_EQ(call(kElapsed, {}).status, Status::Done);
    EXPECT_EQ(target.word(kBlock + 4), 0u);
    EXPECT_EQ(call(kTickFrequency, {}).status, Status::Done);
    EXPECT_EQ(target.r0, 1000u);
}

TEST_F(ServiceTest, StopRequestCutsConsoleReads) {
    console.line = "typed\n";
    EXPECT_EQ(call(kRead, {1, kData, 64}).status, Status::Done);
    EXPECT_EQ(target.text(kData, 6), "typed\n");
    EXPECT_EQ(target.r0, 58u);

    console.whileReading = [this] { stop = true; };
    target.memory[kData] = 0;
    const int writes = target.resultWrites;
    EXPECT_EQ(call(kRead, {1, kData, 64}).status, Status::Interrupted);
    EXPECT_EQ(target.memory[kData], 0);
    EXPECT_EQ(target.resultWrites, writes);

    // Already set on entry: the target is not even asked for its registers.
    const int reads = target.argumentReads;
    EXPECT_EQ(service.serve(target).status, Status::Interrupted);
    EXPECT_EQ(target.argumentReads, reads);
}

TEST_F(ServiceTest, ExtendedExitCarriesTheStatus) {
    const uint32_t features = open(":semihosting-features", 0);
    EXPECT_EQ(call(kFileLength, {features}).status, Status::Done);
    EXPECT_EQ(target.r0, 5u);
    EXPECT_EQ(call(kRead, {features, kData, 5}).status, Status::Done);
    EXPECT_EQ(target.text(kData, 5), std::string("SHFB\x03", 5));
    const Result exit = call(kExitExtended, {Service::kApplicationExit, 3});
    EXPECT_EQ(exit.status, Status::Stopped);
    EXPECT_EQ(exit.exit, 3);
}

}  // namespace
}  // namespace tov::semihost
