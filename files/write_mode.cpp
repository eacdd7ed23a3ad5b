// Set write mode and Write block requests.
#include "files/write_mode.h"

#include "link/error_codes.h"
#include "link/message.h"

namespace tov::files {
namespace {

constexpr uint8_t kSetWriteMode = 0x8D;
constexpr uint8_t kWriteBlock = 0x85;
constexpr int32_t kSetWriteModeWaitMs = 3000;
constexpr uint8_t kFlashPrepare = 0x8C;
constexpr int32_t kFlashPrepareWaitMs = 2000;

}  // namespace

int32_t writeModeStatus(uint8_t status) {
    switch (status) {
        case 0:
            return link::kOk;
        case 1:
            return link::kInvalidWriteMode;
        case 3:
            return link::kWorkingRamFailed;
        case 4:
            return link::kInvalidParameter;
        default:
            return link::kInvalidResponse;
    }
}

int32_t sendSetWriteMode(link::LinkContext& link, uint8_t mode, uint8_t accessOrBusWidth,
                         uint32_t addressMask, uint32_t workspace, uint32_t parameter) {
    uint8_t buffer[15];
    link::RequestBuilder request(buffer);
    request.u8(kSetWriteMode)
        .u8(mode)
        .u8(accessOrBusWidth)
        .u32(addressMask)
        .u32(workspace)
        .u32(parameter);
    uint8_t answer[link::kHeaderSize + link::kMaxMessage];
    int32_t rc = link.transaction(request.view(), answer, kSetWriteModeWaitMs);
    if (rc < 0) return rc;
    if (rc != 2 || answer[0] != kSetWriteMode) return link::kInvalidResponse;
    return writeModeStatus(answer[1]);
}

int32_t sendFlashPrepare(link::LinkContext& link) {
    const uint8_t request[1] = {kFlashPrepare};
    uint8_t answer[link::kHeaderSize + link::kMaxMessage];
    const int32_t rc = link.transaction(request, answer, kFlashPrepareWaitMs);
    return rc < 0 ? rc : link::kOk;
}

int32_t sendWriteBlock(link::LinkContext& link, uint32_t address, const uint8_t* data,
                       uint16_t length, uint32_t& result, uint8_t* status) {
    uint8_t buffer[link::kMaxMessage];
    link::RequestBuilder request(buffer);
    request.u8(kWriteBlock).u32(address).u16(length).bytes(data, length);
    uint8_t answer[link::kHeaderSize + link::kMaxMessage];
    int32_t rc = link.transaction(request.view(), answer, length + 200);
    if (rc < 0) return rc;
    link::AnswerView a(std::span<const uint8_t>(answer, static_cast<size_t>(rc)));
    if (a.size() != 6 || a.code() != kWriteBlock) return link::kInvalidResponse;
    result = a.u32(2);
    if (status) *status = a.u8(1);
    return a.u8(1) == 0 ? link::kOk : link::kDownloadFailed;
}

}  // namespace tov::files
