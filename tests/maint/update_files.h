// Scratch directories with firmware (S-record) and JEDEC files for the update tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace tov::test {

// One S1/S2/S3 record line with a valid checksum.
inline std::string sRecordLine(int type, uint32_t address, const std::vector<uint8_t>& data) {
    const int addressBytes = type + 1;
    const unsigned count = static_cast<unsigned>(addressBytes + data.size() + 1);
    std::vector<uint8_t> bytes{static_cast<uint8_t>(count)};
    for (int i = addressBytes - 1; i >= 0; --i)
        bytes.push_back(static_cast<uint8_t>(address >> (8 * i)));
    bytes.insert(bytes.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (uint8_t b : bytes) sum += b;
    bytes.push_back(static_cast<uint8_t>(~sum));
    std::string line = "S" + std::to_string(type);
    char hex[3];
    for (uint8_t b : bytes) {
        std::snprintf(hex, sizeof hex, "%02X", b);
        line += hex;
    }
    return line;
}

// A directory made empty for the running test and removed with it; its path ends in '/'.
class UpdateDir {
public:
    UpdateDir() {
        static int made = 0;
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = std::filesystem::path(::testing::TempDir()) /
                (std::string("tov_update_") + info->name() + "_" + std::to_string(++made));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~UpdateDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    UpdateDir(const UpdateDir&) = delete;
    UpdateDir& operator=(const UpdateDir&) = delete;

    std::string prefix() const { return path_.string() + "/"; }
    std::string write(const std::string& name, const std::string& text) const {
        const std::string file = (path_ / name).string();
        std::ofstream(file, std::ios::binary) << text;
        return file;
    }
    // A JEDEC file of `rows` rows of `rowLength` alternating fuses in `linesPerRow` lines.
    std::string writeJedec(const std::string& name, size_t rows, size_t rowLength,
                           size_t linesPerRow) const {
        std::string text = "\x02title\n*QF1*\n*L00000\n";
        for (size_t r = 0; r < rows; ++r) {
            std::string row;
            for (size_t i = 0; i < rowLength; ++i) row += (r + i) % 3 == 0 ? '1' : '0';
            const size_t perLine = rowLength / linesPerRow;
            for (size_t l = 0; l < linesPerRow; ++l)
                text += row.substr(l * perLine, perLine) + "\n";
        }
        return write(name, text + "*C0000*\n\x03");
    }

private:
    std::filesystem::path path_;
};

}  // namespace tov::test
