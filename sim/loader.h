// The loader's requests (0x64-0x73): versions, the probe's own flash, the logic device's
// programming port; the flash requests and the closing request are the firmware's too.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "sim/logic_device.h"
#include "sim/probe_flash.h"

namespace tov::sim {

inline constexpr uint8_t kReadVersions = 0x64;
inline constexpr uint8_t kReadFlash = 0x65;
inline constexpr uint8_t kEraseSector = 0x67;
inline constexpr uint8_t kProgramFlash = 0x68;
inline constexpr uint8_t kLogicMode = 0x69;
inline constexpr uint8_t kReadLogicId = 0x6A;
inline constexpr uint8_t kReadFuseRow = 0x6B;
inline constexpr uint8_t kProgramFuseRow = 0x6C;
inline constexpr uint8_t kReadUes = 0x6D;
inline constexpr uint8_t kProgramUes = 0x6E;
inline constexpr uint8_t kEraseLogic = 0x70;
inline constexpr uint8_t kEnterLoader = 0x72;
inline constexpr uint8_t kClosingRequest = 0x73;

// Longest Read flash: the answer (7 bytes before the data) must fit one message of 1500 bytes.
inline constexpr uint16_t kMaxFlashRead = 1493;

// The loader's view of the probe: its flash, its logic device and whether the device's
// programming port is open (Logic mode 1).
struct LoaderContext {
    ProbeModel model;
    FactoryIdentity identity;
    ProbeFlash& flash;
    LogicDevice& logic;
    bool& logicMode;
};

// 0x64 -> 0x64, loader version u16, firmware version word u16 (from the image's version
// record), logic version word u16 (from the UES), then the serial: nothing on the TOV-X
// (7 bytes), 8 characters on the TOV-B (15), 10 on the Rev.C (17, 'C' last), 8 and eight
// further bytes on the TOV-A (23: "REV2" and four zero bytes).
std::vector<uint8_t> readVersions(const LoaderContext& c, std::span<const uint8_t> request);

// 0x65 address u32, length u16 -> 0x65, address u32, length u16, the data. A range outside the
// flash, a length above kMaxFlashRead or a malformed request answers 0x00.
std::vector<uint8_t> readFlash(const ProbeFlash& flash, std::span<const uint8_t> request);

// 0x67 address u32 -> 0x67, status (FlashStatus): the sector holding the address is erased.
std::vector<uint8_t> eraseSector(ProbeFlash& flash, std::span<const uint8_t> request);

// 0x68 address u32, count u16, data -> 0x68, status, the address after the programmed data
// u32. The count is in bytes, or in 16-bit words on word-programmed flash; data of another
// length than the count says is Malformed.
std::vector<uint8_t> programFlash(ProbeFlash& flash, std::span<const uint8_t> request);

// The logic device's requests 0x69-0x6E and 0x70. Outside logic mode (and for malformed
// requests) the device's requests answer 0x00. Answers: Logic mode 0x69; Read logic ID
// 0x6A, ID; Read fuse row 0x6B, both read-backs; Program fuse row / Program UES / Erase logic:
// the opcode and 0 (done) or 1 (refused); Read UES 0x6D, the UES bits.
std::vector<uint8_t> logicRequest(const LoaderContext& c, std::span<const uint8_t> request);

// True for the requests above that change the flash or the logic device's fuses.
bool changesStorage(uint8_t code);

}  // namespace tov::sim
