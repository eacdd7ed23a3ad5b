// The probe's download state machine: sequence checks, decompression, cumulative answers.
#include "sim/firmware_download.h"

#include "sim/wire.h"

namespace tov::sim {
namespace {

constexpr size_t kStartSize = 2;
constexpr size_t kBlockHeader = 1 + 1 + 4 + 4 + 2;  // code, compressed, sequence, address, length
// A block frame that cannot be read, or one that arrives while no download runs.
constexpr uint8_t kNoDownload = 5;

}  // namespace

std::vector<uint8_t> Download::start(std::span<const uint8_t> request) {
    if (request.size() != kStartSize) return {kUnknownRequestAnswer};
    active_ = true;
    failed_ = false;
    count_ = 0;
    failedAnswer_.clear();
    decoder_.reset();
    std::vector<uint8_t> answer{kDownloadStart, settings.window};
    appendU16(answer, settings.maxBlock);
    appendU16(answer, settings.ackTimeoutMs);
    return answer;
}

std::vector<uint8_t> Download::acknowledgement(uint8_t status, uint32_t detail) const {
    std::vector<uint8_t> answer{kDownloadBlock, status};
    appendU32(answer, count_);
    appendU32(answer, detail);
    return answer;
}

std::vector<uint8_t> Download::fail(uint8_t status, uint32_t detail) {
    failed_ = true;
    failedAnswer_ = acknowledgement(status, detail);
    return failedAnswer_;
}

std::vector<uint8_t> Download::block(std::span<const uint8_t> request, const WriteMode& mode,
                                     WriteTargets& targets) {
    if (!active_) return acknowledgement(kNoDownload, 0);
    if (request.size() < kBlockHeader) {
        return failed_ ? std::vector<uint8_t>{} : fail(kNoDownload, 0);
    }
    const bool compressed = request[1] != 0;
    const uint32_t sequence = readU32(request, 2);
    const uint32_t address = readU32(request, 6);
    const uint16_t length = readU16(request, 10);
    const std::span<const uint8_t> stream = request.subspan(kBlockHeader);

    if (failed_) {
        // The failed block sent again means its acknowledgement was lost: repeat it.
        return sequence == count_ ? failedAnswer_ : std::vector<uint8_t>{};
    }
    if (sequence < count_) return acknowledgement(kWriteOk, 0);
    if (sequence > count_) return {};

    if (length > settings.maxBlock) return fail(kBadRequest, address);
    if (compressed) {
        if (!decoder_.decode(stream, length, data_)) return fail(kBadRequest, address);
    } else {
        if (stream.size() != length) return fail(kBadRequest, address);
        data_.assign(stream.begin(), stream.end());
    }
    const WriteOutcome outcome =
        applyWrite(mode, targets, ProgrammedBlock::Source::DownloadBlock, address, data_);
    if (outcome.status != kWriteOk) return fail(outcome.status, outcome.detail);
    ++count_;
    return acknowledgement(kWriteOk, 0);
}

}  // namespace tov::sim
