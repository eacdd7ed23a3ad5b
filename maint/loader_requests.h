// The probe loader's requests (opcodes 100-115): one function per request that encodes it,
// sends it with its extra wait and checks its answer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "maint/loader_link.h"
#include "maint/probe_identity.h"

namespace tov::maint {

enum LoaderOpcode : uint8_t {
    kReadVersions = 100,
    kReadFlash = 101,
    kEraseSector = 103,
    kProgramFlash = 104,
    kLogicMode = 105,
    kReadLogicId = 106,
    kReadFuseRow = 107,
    kProgramFuseRow = 108,
    kReadUes = 109,
    kProgramUes = 110,
    kEraseLogic = 112,
    kStartFirmware = 113,
    kEnterLoader = 114,
    kClosingRequest = 115,
};

// Answer buffer size of every loader request.
inline constexpr size_t kLoaderAnswerCapacity = 1500;
// Most data bytes one Read flash answer (7 bytes of head) or Program flash request can carry.
inline constexpr size_t kMaxReadFlash = kLoaderAnswerCapacity - 7;
inline constexpr size_t kMaxProgramFlash = 1498 - 7;

// Enter loader: 0 with `switched` set when the probe answered that it switches to its loader,
// or a negative transport code. The extra wait is the caller's.
int32_t enterLoader(LoaderLink& link, const LoaderCaller& caller, bool& switched);
// Read versions, decoded: 0, -1205, -1301 or a transport code.
int32_t readVersions(LoaderLink& link, ProbeIdentity& identity);
// Read flash of data.size() bytes (at most kMaxReadFlash) into `data`: 0, -1202 or -1205.
int32_t readFlash(LoaderLink& link, uint32_t address, std::span<uint8_t> data);
// Erase sector: 0, -1205 or -1208 for a status other than 0.
int32_t eraseSector(LoaderLink& link, uint32_t address);
// Program flash of `data` (at most kMaxProgramFlash bytes) with the count field `count`
// (bytes, or 16-bit words on the TOV-X): 0, -1202, -1205 or -1209.
int32_t programFlash(LoaderLink& link, uint32_t address, uint16_t count,
                     std::span<const uint8_t> data);
// Logic mode 1 (enter logic programming) or 0 (leave); the answer is not examined.
int32_t logicMode(LoaderLink& link, bool enter);
// Read logic ID: the device ID from answer byte 1; -1205 for an answer without it.
int32_t readLogicId(LoaderLink& link, uint8_t& deviceId);
// Read fuse row into `answer` (opcode included): the answer length, or -1205 for a wrong opcode.
int32_t readFuseRow(LoaderLink& link, uint8_t row, std::span<uint8_t> answer);
// Program fuse row with the row as '0'/'1' characters; the answer is not examined.
int32_t programFuseRow(LoaderLink& link, uint8_t row, std::string_view fuses);
// Read UES into `answer` (opcode included): the answer length, or -1205 for a wrong opcode.
int32_t readUes(LoaderLink& link, std::span<uint8_t> answer);
// Program UES with the UES as '0'/'1' characters; the answer is not examined.
int32_t programUes(LoaderLink& link, std::string_view bits);
// Erase logic, Start firmware, Closing request: answers not examined.
int32_t eraseLogic(LoaderLink& link);
int32_t startFirmware(LoaderLink& link);
int32_t closingRequest(LoaderLink& link);

}  // namespace tov::maint
