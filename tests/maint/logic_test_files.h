// A scratch directory of its own for the JEDEC files one logic test writes.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "tests/support/jedec_file.h"

namespace tov::test {

// Made empty for the running test (one per instance) and removed with it.
class JedecDir {
public:
    JedecDir() {
        static int made = 0;
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = std::filesystem::path(::testing::TempDir()) /
                (std::string("tov_logic_") + info->test_suite_name() + "_" + info->name() + "_" +
                 std::to_string(++made));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~JedecDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string file(std::string_view name) const { return (path_ / name).string(); }
    std::string write(std::string_view name, std::string_view text) const {
        return writeTextFile(file(name), text);
    }

private:
    std::filesystem::path path_;
};

}  // namespace tov::test
