// Network configuration record: building, writing with read-back, and reading as texts.
#include "maint/network_config.h"

#include <cstdio>

#include "link/error_codes.h"
#include "link/message.h"
#include "link/udp_transport.h"
#include "maint/family_table.h"
#include "maint/firmware_update.h"
#include "maint/loader_requests.h"

namespace tov::maint {
namespace {

// Bytes 0-19 of what the configuration read takes; the rest of the area is not interpreted.
constexpr size_t kConfigurationRead = 104;

void addressText(char* out, const uint8_t* at) {
    std::snprintf(out, kAddressTextSize, "%i.%i.%i.%i", at[0], at[1], at[2], at[3]);
}

const char* descriptionFormat(ProbeModel model) {
    switch (model) {
        case ProbeModel::X:
            return "TOV-X";
        case ProbeModel::B:
            return "TOV-B (SN: %.8s)";
        case ProbeModel::BC:
            return "TOV-B Rev.C (SN: %.8s)";
        case ProbeModel::A:
            break;
    }
    return "TOV-A (SN: %.8s)";
}

// Fills the texts of a connected probe; the caller closes the link.
int32_t describeConnected(LoaderLink& link, const ProbeIdentity& probe,
                          const ConfigurationTexts& texts) {
    const unsigned family = familyIndexOf(probe.firmwareWord);
    if (family < kFamilyCount) {
        std::snprintf(texts.family, kFamilyTextSize, "%s", familyName(family));
    }
    const std::string serial = shortSerial(probe);
    std::snprintf(texts.description, kDescriptionTextSize, descriptionFormat(probe.model),
                  serial.c_str());
    std::snprintf(texts.versions, kVersionsTextSize, "%03i:%03i:%03i", int{probe.loaderVersion},
                  probe.firmwareWord & 0xFF, probe.logicWord % 1000);
    const uint32_t address = flashLayout(probe.model).networkRecord;
    if (address == 0) return link::kOk;

    std::array<uint8_t, kConfigurationRead> area;
    const int32_t rc = readFlash(link, address, area);
    if (rc < 0) return rc;
    std::snprintf(texts.mac, kMacTextSize, "%02x-%02x-%02x-%02x-%02x-%02x", area[0], area[1],
                  area[2], area[3], area[4], area[5]);
    addressText(texts.ip, &area[8]);
    addressText(texts.mask, &area[12]);
    addressText(texts.gateway, &area[16]);
    return link::kOk;
}

}  // namespace

uint32_t dottedAddressValue(const char* text) {
    // The link's parser gives the components first-in-lowest-byte, as they lie in memory.
    const uint32_t v = link::parseDottedAddress(text);
    return (v >> 24) | ((v >> 8) & 0xFF00) | ((v << 8) & 0xFF0000) | (v << 24);
}

NetworkRecord buildNetworkRecord(std::string_view serial, uint32_t ip, uint32_t mask,
                                 uint32_t gateway) {
    NetworkRecord record{0x02, 0xC1, 0xA5};
    for (size_t i = 0; i < 3; ++i) {
        const unsigned first = 2 * i < serial.size() ? static_cast<uint8_t>(serial[2 * i]) : '0';
        const unsigned second =
            2 * i + 1 < serial.size() ? static_cast<uint8_t>(serial[2 * i + 1]) : '0';
        // Packed BCD for decimal digits; other characters are packed the same way, modulo 256.
        record[3 + i] = static_cast<uint8_t>(16 * first + second - 48);
    }
    record[6] = 0xFF;
    record[7] = 0xFF;
    link::writeBigEndian32(&record[8], ip);
    link::writeBigEndian32(&record[12], mask);
    link::writeBigEndian32(&record[16], gateway);
    return record;
}

int32_t writeNetworkRecord(LoaderLink& link, uint32_t address, const NetworkRecord& record,
                           const LoaderCaller& caller) {
    int32_t rc = eraseSector(link, address);
    if (rc < 0) return rc;
    rc = programFlash(link, address, kNetworkRecordSize, record);
    if (rc < 0) return rc;
    NetworkRecord readBack;
    rc = readFlash(link, address, readBack);
    if (rc < 0) return rc;
    return readBack == record ? link::kOk : caller.readBackError;
}

int32_t configureNetwork(LoaderLink& link, const char* ip, const char* mask, const char* gateway) {
    ProbeIdentity probe;
    int32_t rc = connectLoader(link, libraryCaller(), probe);
    if (rc == link::kOk) {
        const uint32_t address = flashLayout(probe.model).networkRecord;
        if (address == 0) {
            rc = link::kInvalidParameter;
        } else {
            const NetworkRecord record =
                buildNetworkRecord(shortSerial(probe), dottedAddressValue(ip),
                                   dottedAddressValue(mask), dottedAddressValue(gateway));
            rc = writeNetworkRecord(link, address, record, libraryCaller());
        }
    }
    link.close();
    return rc;
}

int32_t readConfiguration(LoaderLink& link, const ConfigurationTexts& texts) {
    for (char* text :
         {texts.description, texts.family, texts.mac, texts.ip, texts.mask, texts.gateway}) {
        text[0] = '\0';
    }
    ProbeIdentity probe;
    int32_t rc = connectLoader(link, libraryCaller(), probe);
    if (rc == link::kOk) rc = describeConnected(link, probe, texts);
    link.close();
    return rc;
}

}  // namespace tov::maint
