// The probe information request of the simulated firmware.
#include "sim/firmware_info.h"

#include "sim/wire.h"

namespace tov::sim {

uint16_t versionWord(uint8_t family, uint16_t version) {
    if (family < 12) return static_cast<uint16_t>((family << 12) | (version & 0x0FFF));
    return static_cast<uint16_t>(((0xC0 + (family & 0x3F)) << 8) | (version & 0x00FF));
}

std::vector<uint8_t> probeInfo(uint16_t firmwareWord, uint16_t cpu, const StoredSetup& setup,
                               std::span<const uint8_t> request) {
    if (request.size() != 1) return {kUnknownRequestAnswer};
    std::vector<uint8_t> answer{kProbeInfo, 0x00};
    appendU16(answer, firmwareWord);
    appendU16(answer, cpu);
    appendU32(answer, setup.time);
    const size_t n = std::min(setup.id.size(), StoredSetup::kMaxId);
    answer.insert(answer.end(), setup.id.begin(),
                  setup.id.begin() + static_cast<std::ptrdiff_t>(n));
    return answer;
}

}  // namespace tov::sim
