// The ARM test programs as a test finds them: the S-record file to load, its entry address and
// the addresses of its symbols.
#pragma once

#include <cstdint>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

namespace tov::test {

class ArmProgram {
public:
    // `state` is "arm" or "thumb".
    ArmProgram(const std::string& name, const std::string& state)
        : base_(std::string(TOV_ARM_PROGRAMS_DIR) + "/" + name + "_" + state) {}

    std::string srecords() const { return base_ + ".srec"; }

    // The start address from the S-records' termination record.
    std::optional<uint32_t> entry() const {
        std::ifstream in(srecords());
        std::string line;
        while (std::getline(in, line)) {
            if (line.size() < 4 || line[0] != 'S' || line[1] < '7' || line[1] > '9') continue;
            const size_t digits = 2 * static_cast<size_t>('9' - line[1] + 2);  // S7: 4 bytes
            return static_cast<uint32_t>(std::stoul(line.substr(4, digits), nullptr, 16));
        }
        return std::nullopt;
    }

    // A symbol's address as the symbol table gives it (Thumb functions without their state bit).
    std::optional<uint32_t> symbol(const std::string& wanted) const {
        std::ifstream in(base_ + ".sym");
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            std::string address, kind, name;
            if (fields >> address >> kind >> name && name == wanted) {
                return static_cast<uint32_t>(std::stoul(address, nullptr, 16)) & ~1u;
            }
        }
        return std::nullopt;
    }

private:
    std::string base_;
};

}  // namespace tov::test
