// Loop-back channels of the simulated target and the channel requests.
#include "sim/firmware_channels.h"

#include <algorithm>

#include "link/frame_header.h"
#include "sim/wire.h"

namespace tov::sim {
namespace {

constexpr size_t kHeader = 1 + 2 + 2;            // code, channel, size
constexpr size_t kReadAnswerHeader = 1 + 2 + 2;  // code, status, length

}  // namespace

size_t Channels::write(uint16_t channel, std::span<const uint8_t> data) {
    std::deque<uint8_t>& queue = queues_[channel];
    const size_t taken = std::min(data.size(), kCapacity - queue.size());
    queue.insert(queue.end(), data.begin(), data.begin() + static_cast<std::ptrdiff_t>(taken));
    return taken;
}

std::vector<uint8_t> Channels::read(uint16_t channel, size_t max) {
    std::deque<uint8_t>& queue = queues_[channel];
    const auto n = static_cast<std::ptrdiff_t>(std::min(max, queue.size()));
    std::vector<uint8_t> out(queue.begin(), queue.begin() + n);
    queue.erase(queue.begin(), queue.begin() + n);
    return out;
}

std::vector<uint8_t> channelRead(Channels& channels, std::span<const uint8_t> request) {
    if (request.size() != kHeader || !channels.valid(readU16(request, 1))) {
        return statusAnswer(kChannelRead, kStatusInvalidParameter);
    }
    const size_t room = link::kMaxMessage - kReadAnswerHeader;
    const std::vector<uint8_t> data =
        channels.read(readU16(request, 1), std::min<size_t>(readU16(request, 3), room));
    std::vector<uint8_t> answer = statusAnswer(kChannelRead, kStatusOk);
    appendU16(answer, static_cast<uint16_t>(data.size()));
    answer.insert(answer.end(), data.begin(), data.end());
    return answer;
}

std::vector<uint8_t> channelWrite(Channels& channels, std::span<const uint8_t> request) {
    if (request.size() < kHeader || request.size() != kHeader + readU16(request, 3) ||
        !channels.valid(readU16(request, 1))) {
        return statusAnswer(kChannelWrite, kStatusInvalidParameter);
    }
    const size_t accepted = channels.write(readU16(request, 1), request.subspan(kHeader));
    std::vector<uint8_t> answer = statusAnswer(kChannelWrite, kStatusOk);
    appendU16(answer, static_cast<uint16_t>(accepted));
    return answer;
}

}  // namespace tov::sim
