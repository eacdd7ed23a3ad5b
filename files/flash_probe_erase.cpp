// Erase request (0x90) and erase-result request (0x91).
#include "files/flash_probe_erase.h"

#include "files/write_mode.h"
#include "link/error_codes.h"
#include "link/message.h"

namespace tov::files {
namespace {

constexpr uint8_t kErase = 0x90;
constexpr uint8_t kEraseResult = 0x91;
constexpr int32_t kEraseWaitMs = 3000;
constexpr int32_t kResultWaitMs = 5000;

}  // namespace

int32_t eraseInProbe(link::LinkContext& link, const ProbeErase& erase) {
    uint8_t buffer[19];
    link::RequestBuilder request(buffer);
    request.u8(kErase)
        .u8(erase.type)
        .u8(erase.sector ? 1 : 0)
        .u32(erase.selection)
        .u32(erase.address)
        .u32(erase.workspace)
        .u32(erase.parameter);
    uint8_t answer[link::kHeaderSize + link::kMaxMessage];
    int32_t rc = link.transaction(request.view(), answer, kEraseWaitMs);
    if (rc < 0) return rc;
    if (rc != 2 || answer[0] != kErase) return link::kInvalidResponse;
    rc = writeModeStatus(answer[1]);
    if (rc != link::kOk) return rc;

    const uint8_t result[1] = {kEraseResult};
    rc = link.transaction(result, answer, kResultWaitMs);
    if (rc < 0) return rc;
    if (rc != 6 || answer[0] != kEraseResult) return link::kInvalidResponse;
    return answer[1] == 0 ? link::kOk : link::kEraseFailed;
}

}  // namespace tov::files
