// The erase the probe does by itself: the erase request and the erase-result request.
#pragma once

#include <cstdint>

#include "link/link_context.h"

namespace tov::files {

// Fields of the erase request (integers big-endian on the wire).
struct ProbeErase {
    uint8_t type;
    bool sector;         // a sector erase, else what `selection` says
    uint32_t selection;  // which part to erase when the type knows several
    uint32_t address;
    uint32_t workspace;
    uint32_t parameter;  // the mode parameter of the write-mode state
};

// Sends the erase request, then asks for the result: 0, -1208 for an erase error, or the
// request's error (-1211, -1212, -1202, -1205, transaction errors).
int32_t eraseInProbe(link::LinkContext& link, const ProbeErase& erase);

}  // namespace tov::files
