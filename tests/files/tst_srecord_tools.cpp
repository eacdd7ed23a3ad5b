// S-records against the system's binary tools: files made by objcopy and srec_cat from a real
// program are read back to its bytes, and dumps written by the library compare equal in srec_cmp.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <fstream>

#include "files/srecord_reader.h"
#include "tests/files/files_probe.h"

namespace tov::test {
namespace {

// The full path of a program on PATH, or empty.
std::string findTool(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    for (size_t start = 0; start <= dirs.size();) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        const std::string candidate = dirs.substr(start, end - start) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    return {};
}

int runCommand(const std::string& command) {
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

Bytes readBytes(const std::string& path) {
    const std::string text = readText(path);
    return Bytes(text.begin(), text.end());
}

// Every data byte of an S-record file by address; `ok` is false when the reader refused it.
std::map<uint32_t, uint8_t> readImage(const std::string& path, bool& ok) {
    files::SRecordReader reader;
    std::map<uint32_t, uint8_t> image;
    ok = reader.open(path.c_str());
    files::SRecord r;
    files::SRecordReader::Status status = files::SRecordReader::Status::kEnd;
    while (ok && (status = reader.next(r)) == files::SRecordReader::Status::kRecord) {
        for (size_t i = 0; i < r.length; ++i)
            image[r.address + static_cast<uint32_t>(i)] = r.data[i];
    }
    ok = ok && status == files::SRecordReader::Status::kEnd;
    return image;
}

// The bytes from `base` on as one run; empty when the image has a hole or does not start there.
Bytes runFrom(const std::map<uint32_t, uint8_t>& image, uint32_t base) {
    Bytes out;
    uint32_t next = base;
    for (const auto& [address, value] : image) {
        if (address != next) return {};
        out.push_back(value);
        ++next;
    }
    return out;
}

class SRecordTools : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"objcopy", "srec_cat", "srec_cmp"}) {
            if (findTool(tool).empty()) GTEST_SKIP() << tool << " is not installed";
        }
        // A freshly compiled program when a C compiler is at hand, else an installed one.
        program_ = dir_.file("program");
        if (!findTool("cc").empty()) {
            const std::string source = dir_.write(
                "program.c",
                "static const char table[] = \"S-record test image\";\n"
                "int main(int argc, char** argv) { return table[argc] + (argv != 0); }\n");
            if (runCommand("cc -O1 -o '" + program_ + "' '" + source + "'") == 0) return;
        }
        ASSERT_EQ(runCommand("cp /bin/true '" + program_ + "'"), 0);
    }

    TempDir dir_;
    std::string program_;
};

TEST_F(SRecordTools, ObjcopyRecordsGiveTheProgramBack) {
    const Bytes program = readBytes(program_);
    ASSERT_GT(program.size(), 1000u);
    // The file taken as plain bytes: records from address 0 on.
    const std::string raw = dir_.file("raw.srec");
    ASSERT_EQ(runCommand("objcopy -I binary -O srec '" + program_ + "' '" + raw + "'"), 0);
    bool ok = false;
    const auto image = readImage(raw, ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(runFrom(image, 0), program);

    // The program's loadable sections, against objcopy's flat image of the same sections.
    const std::string sections = dir_.file("sections.srec");
    const std::string flat = dir_.file("sections.bin");
    ASSERT_EQ(runCommand("objcopy -O srec '" + program_ + "' '" + sections + "'"), 0);
    ASSERT_EQ(runCommand("objcopy -O binary '" + program_ + "' '" + flat + "'"), 0);
    const auto loaded = readImage(sections, ok);
    ASSERT_TRUE(ok);
    ASSERT_FALSE(loaded.empty());
    const Bytes expected = readBytes(flat);
    const uint32_t lowest = loaded.begin()->first;
    ASSERT_EQ(loaded.rbegin()->first - lowest + 1, expected.size());
    Bytes got(expected.size(), 0);  // objcopy fills the gaps between sections with zeros
    for (const auto& [address, value] : loaded) got[address - lowest] = value;
    EXPECT_EQ(got, expected);
}

TEST_F(SRecordTools, SrecCatRecordsAtAnOffsetLoadWhole) {
    const Bytes program = readBytes(program_);
    const std::string moved = dir_.file("moved.srec");
    ASSERT_EQ(runCommand("srec_cat '" + program_ + "' -binary -offset 0x10000 -o '" + moved +
                         "' -motorola"),
              0);
    bool ok = false;
    EXPECT_EQ(runFrom(readImage(moved, ok), 0x10000), program);
    EXPECT_TRUE(ok);
    // The same file through the loader: the blocks put together are the program, at the offset.
    FilesProbe probe;
    uint32_t detail = 0;
    ASSERT_EQ(probe.session.loadFile(moved.c_str(), 0x00F00000, detail), 0);
    Bytes sent;
    uint32_t next = 0x00F10000;
    for (const SeenBlock& b : probe.blocks) {
        ASSERT_EQ(b.address, next);
        sent.insert(sent.end(), b.data.begin(), b.data.end());
        next += static_cast<uint32_t>(b.data.size());
    }
    EXPECT_EQ(sent, program);
}

TEST_F(SRecordTools, DumpsCompareEqualInSrecCmp) {
    const Bytes program = readBytes(program_);
    // 0xFFF000 on: the range ends above 0xFFFFFF, so the dump holds S3 records.
    const uint32_t base = 0xFFF000;
    const std::string reference = dir_.file("reference.srec");
    ASSERT_EQ(runCommand("srec_cat '" + program_ + "' -binary -offset " + std::to_string(base) +
                         " -o '" + reference + "' -motorola"),
              0);
    FilesProbe probe;
    for (size_t i = 0; i < program.size(); ++i)
        probe.memory[base + static_cast<uint32_t>(i)] = program[i];
    const std::string dump = dir_.file("dump.srec");
    ASSERT_EQ(probe.session.dumpFile(dump.c_str(), base, static_cast<uint32_t>(program.size())), 0);
    EXPECT_EQ(readText(dump).substr(0, 2), "S3");
    EXPECT_EQ(runCommand("srec_cmp '" + dump + "' '" + reference + "'"), 0);
    // The comparison does notice one changed byte.
    probe.memory[base + 100] ^= 0x01;
    ASSERT_EQ(probe.session.dumpFile(dump.c_str(), base, static_cast<uint32_t>(program.size())), 0);
    EXPECT_NE(runCommand("srec_cmp '" + dump + "' '" + reference + "'"), 0);
}

}  // namespace
}  // namespace tov::test
