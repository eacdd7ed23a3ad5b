// The fuzzed probe's answers and its serial device.
#include "fuzz/support/fuzzed_probe.h"

#include <algorithm>

#include "fuzz/support/check.h"
#include "link/frame_header.h"

namespace tov::fuzz {
namespace {

using link::FrameDecoder;
using link::SerialDevice;

// The code a sound probe answers a command request under: the request's own, save the terminal
// (text 0x45 for a read, acknowledgement 0x40 for a write) and the single-item accessors (0x41,
// 0x42 and 0x43 by width, for reads and writes alike).
uint8_t answerCodeOf(uint8_t request) {
    switch (request) {
        case 0x20:
            return 0x45;
        case 0x0D:
            return 0x40;
        case 0x01:
        case 0x05:
            return 0x41;
        case 0x02:
        case 0x06:
            return 0x42;
        case 0x03:
        case 0x07:
            return 0x43;
        default:
            return request;
    }
}

class FuzzedDevice : public SerialDevice {
public:
    explicit FuzzedDevice(FuzzedLine& line) : line_(line) { decoder_.start(frame_); }

    bool setRate(uint32_t) override { return true; }

    ReadResult readByte(uint8_t& byte, uint32_t timeoutMs) override {
        LineCounts& counts = line_.counts();
        ++counts.reads;
        FUZZ_CHECK(counts.reads <= counts.readLimit);
        FUZZ_CHECK(line_.clock().nowMs() - counts.startedMs <= counts.timeLimitMs);
        if (line_.gone()) return ReadResult::Gone;
        if (line_.takeLineError()) return ReadResult::Error;
        if (line_.nextByte(byte)) {
            ++line_.counts().bytesRead;
            return ReadResult::Byte;
        }
        line_.clock().advance(timeoutMs);
        return ReadResult::Timeout;
    }

    size_t write(const uint8_t* data, size_t length, uint32_t) override {
        if (line_.gone()) return 0;
        for (size_t i = 0; i < length; ++i) {
            switch (decoder_.feed(data[i])) {
                case FrameDecoder::Status::NeedMore:
                    break;
                case FrameDecoder::Status::Complete:
                    line_.onFrame({frame_, frame_ + decoder_.size()});
                    decoder_.start(frame_);
                    break;
                default:
                    decoder_.start(frame_);
                    break;
            }
        }
        return length;
    }

    bool clearError() override { return !line_.gone(); }
    size_t inputQueued() override { return !line_.gone() && line_.waiting() ? 1 : 0; }
    std::string goneReason() const override {
        return line_.gone() ? "the fuzzed port went away" : "";
    }

private:
    FuzzedLine& line_;
    FrameDecoder decoder_;
    uint8_t frame_[link::kMaxPayload];
};

}  // namespace

std::unique_ptr<link::SerialDevice> FuzzedLine::open(const std::string&) {
    // Now and then the port itself cannot be opened.
    if (input_.u8() == 0xFF) return nullptr;
    return device();
}

std::unique_ptr<link::SerialDevice> FuzzedLine::device() {
    request_.clear();
    sizes_.clear();
    gone_ = false;
    lineError_ = false;
    pending_ = false;
    flood_ = 0;
    out_.clear();
    return std::make_unique<FuzzedDevice>(*this);
}

void FuzzedLine::onFrame(const std::vector<uint8_t>& payload) {
    if (payload.size() < link::kHeaderSize) return;
    request_ = payload;
    pending_ = true;
    flood_ = 0;
    if ((payload[0] & 0x30) != link::kFrameTypeLink) ++counts_.commandRequests;
}

bool FuzzedLine::waiting() {
    if (!out_.empty() || pending_) return true;
    // Between requests the probe may still send an event of its own.
    if ((input_.u8() & 0x07) == 0x07) queueFrame({link::kEventMarker, 0x01, input_.u8()});
    return !out_.empty();
}

bool FuzzedLine::nextByte(uint8_t& byte) {
    if (out_.empty() && pending_) answer();
    if (out_.empty()) return false;
    byte = out_.front();
    out_.pop_front();
    return true;
}

void FuzzedLine::queueFrame(const std::vector<uint8_t>& payload) {
    uint8_t encoded[link::encodedFrameCapacity(link::kMaxPayload)];
    const size_t n = link::encodeFrame(payload, encoded);
    out_.insert(out_.end(), encoded, encoded + n);
    // A frame takes line time; a flood of them must end the host's wait all the same.
    clock_.advance(1 + n / 16);
}

void FuzzedLine::answer() {
    const uint8_t sequence = static_cast<uint8_t>(request_[0] >> 6);
    const uint8_t type = static_cast<uint8_t>(request_[0] & 0x30);
    const uint8_t requestCode =
        request_.size() > link::kHeaderSize ? request_[link::kHeaderSize] : 0;
    // Header, then the message: the code and `body`, padded with zeros to `length` bytes.
    auto send = [&](uint8_t seq, uint8_t code, const std::vector<uint8_t>& body, size_t length) {
        std::vector<uint8_t> frame(link::kHeaderSize + 1 + length, 0);
        link::writeHeader(frame.data(), seq, type, 1 + length);
        frame[link::kHeaderSize] = code;
        std::copy(body.begin(),
                  body.begin() + static_cast<std::ptrdiff_t>(std::min(length, body.size())),
                  frame.begin() + link::kHeaderSize + 1);
        queueFrame(frame);
    };
    if (flood_ > 0) {
        --flood_;
        send(static_cast<uint8_t>(sequence + 1), requestCode, {}, 0);
        return;
    }
    if (input_.empty()) {
        pending_ = false;
        return;
    }
    const uint8_t choice = input_.u8();
    switch (choice & 0x0F) {
        case 0:  // nothing comes back to this send
            pending_ = false;
            return;
        case 1:  // an event frame before the answer
            queueFrame({link::kEventMarker, 0x01, input_.u8()});
            return;
        case 2: {  // junk on the line
            const std::vector<uint8_t> junk = input_.bytes(input_.u8() % 64 + 1);
            out_.insert(out_.end(), junk.begin(), junk.end());
            return;
        }
        case 3:  // an answer to an earlier request; with the high bit, a long flood of them
            if (choice & 0x80) flood_ = 100000;
            send(static_cast<uint8_t>(sequence + 1 + (choice >> 5 & 1)), requestCode, {}, 0);
            return;
        case 4:  // the request itself, as a probe answers link control
            pending_ = false;
            queueFrame(request_);
            return;
        default:
            break;
    }
    // An answer under the request's sequence bits: the code a sound probe answers it under (or,
    // with bit 4, one from the input) and a message body of a length the input chooses.
    pending_ = false;
    const uint8_t rightCode =
        type == link::kFrameTypeLink ? requestCode : answerCodeOf(requestCode);
    const uint8_t code = (choice & 0x10) ? input_.u8() : rightCode;
    // 0x0E, 0x2E, 0x4E: a sound answer, sized as the first such answer to this request code was
    // (its size, code included, taken once from the input); its body is zeros (a sound status),
    // with 0x20 bytes from the input, with 0x40 the request's last bytes (the echo of a written
    // value). Once the input has one right size for a request, a run of such bytes answers a
    // whole sequence (the writes and polls of a flash erase), which answers drawn byte by byte
    // almost never do.
    // 0x8E, 0xCE: the port goes away (unplugged) for good; 0xAE, 0xEE: one read fails.
    if ((choice & 0x9F) == 0x8E) {
        pending_ = true;
        if (choice & 0x20) {
            lineError_ = true;
        } else {
            gone_ = true;
        }
        return;
    }
    if ((choice & 0x1F) == 0x0E) {
        auto known = sizes_.find(requestCode);
        if (known == sizes_.end()) known = sizes_.emplace(requestCode, input_.u8()).first;
        const size_t length = known->second == 0 ? 0 : known->second - 1u;
        std::vector<uint8_t> body;
        if (choice & 0x20) {
            body = input_.bytes(length);
        } else if (choice & 0x40) {
            const size_t message = request_.size() - link::kHeaderSize;
            const size_t tail = std::min(length, message > 0 ? message - 1 : 0);
            body.assign(request_.end() - static_cast<std::ptrdiff_t>(tail), request_.end());
            body.insert(body.begin(), length - tail, 0);
        }
        send(sequence, code, body, length);
        return;
    }
    size_t length = input_.u8();
    if (length >= 0xF0) length = input_.u16() % link::kMaxMessage;
    // Link control answers carry no code to check; command answers are counted.
    if (type != link::kFrameTypeLink && code != rightCode) {
        counts_.wrongCodeRequests.push_back(requestCode);
    }
    send(sequence, code, input_.bytes(length), length);
}

}  // namespace tov::fuzz
