// The probe's network configuration record (MAC, IP address, subnet mask, default gateway):
// built from texts, written with read-back, and read back as texts.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "maint/loader_link.h"
#include "maint/probe_identity.h"

namespace tov::maint {

inline constexpr size_t kNetworkRecordSize = 20;
using NetworkRecord = std::array<uint8_t, kNetworkRecordSize>;

// A dotted address as a value with the first component in the most significant byte; exactly
// four components of at most three digits, each 0..255, an empty one counting 0. Invalid texts
// and 0.0.0.0 give 0xFFFFFFFF.
uint32_t dottedAddressValue(const char* text);

// The record: MAC 02 C1 A5 and three bytes packed from serial characters 1-6, FF FF, then the
// three addresses big-endian. Missing serial characters count as '0'.
NetworkRecord buildNetworkRecord(std::string_view serial, uint32_t ip, uint32_t mask,
                                 uint32_t gateway);

// Erases the record's sector at `address`, programs the record (20 bytes counted in bytes) and
// reads it back: 0, -1208, -1209, the caller's read-back error, -1205 or a transport code.
int32_t writeNetworkRecord(LoaderLink& link, uint32_t address, const NetworkRecord& record,
                           const LoaderCaller& caller);

// The library's network configuration: connects to the loader, writes the record built from the
// serial number and the three texts, and closes the link on every exit. A TOV-X has no record:
// -1202, nothing written.
int32_t configureNetwork(LoaderLink& link, const char* ip, const char* mask, const char* gateway);

// Buffer sizes (terminator included) that hold the longest text of each configuration field.
inline constexpr size_t kDescriptionTextSize = 27;  // "TOV-B Rev.C (SN: 12345678)"
inline constexpr size_t kFamilyTextSize = 14;       // "MPC8xx/MPC5xx"
inline constexpr size_t kVersionsTextSize = 14;     // "65535:255:999"
inline constexpr size_t kMacTextSize = 18;          // "02-c1-a5-12-34-56"
inline constexpr size_t kAddressTextSize = 16;      // "255.255.255.255"

// The caller's buffers for the configuration texts, each at least the size above.
struct ConfigurationTexts {
    char* description;
    char* family;
    char* versions;
    char* mac;
    char* ip;
    char* mask;
    char* gateway;
};

// Reads identity, versions and (except on the TOV-X) the network record into the texts. Every
// buffer but `versions` is emptied first. Connects to the loader and closes the link on every
// exit. Results: 0 or the error of connecting or of reading the record.
int32_t readConfiguration(LoaderLink& link, const ConfigurationTexts& texts);

}  // namespace tov::maint
