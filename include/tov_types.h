/*
 * tov_types.h - plain records shared by the probe API (tovlink.h), the RDI target library
 * (tovrdi.h) and the core that both are built from.
 */
#ifndef TOV_TYPES_H
#define TOV_TYPES_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Probe information, filled by TOV_InfoGet. */
typedef struct TargetInfo {
    uint16_t family;  /* firmware family, decoded from the firmware version word */
    uint16_t version; /* firmware version within the family */
    uint16_t cpuType; /* CPU type code of the selected target */
    uint32_t
        setupTime; /* time stamp of the setup stored in the probe (seconds since 1970), 0 = none */
    char setupId[41]; /* identifier of the stored setup, zero-terminated */
} TargetInfo;

/* One target register: a register file or processor mode (group) and a register within it. */
typedef struct RegisterDescriptor {
    uint16_t group;
    uint16_t number;
} RegisterDescriptor;

/* One entry of the target startup request; the fields are passed to the firmware unchanged. */
typedef struct StartupEntry {
    uint16_t kind;
    uint32_t address;
    uint32_t value;
} StartupEntry;

#ifdef __cplusplus
}
#endif

#endif /* TOV_TYPES_H */
