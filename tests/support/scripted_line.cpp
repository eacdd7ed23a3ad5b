// The scripted serial line and the small fake probe used by the wire tests.
#include "tests/support/scripted_line.h"

#include <gtest/gtest.h>

#include "link/frame_codec.h"
#include "link/frame_header.h"

namespace tov::test {

ScriptedDevice::~ScriptedDevice() { ++line_.closes; }

bool ScriptedDevice::setRate(uint32_t baud) {
    if (line_.refusedRates.count(baud)) return false;
    line_.rate = baud;
    return true;
}

link::SerialDevice::ReadResult ScriptedDevice::readByte(uint8_t& byte, uint32_t timeoutMs) {
    if (line_.portFailed) return ReadResult::Error;
    if (line_.input.empty()) {
        line_.clock.advance(timeoutMs);
        return ReadResult::Timeout;
    }
    byte = line_.input.front();
    line_.input.pop_front();
    return ReadResult::Byte;
}

size_t ScriptedDevice::write(const uint8_t* data, size_t length, uint32_t) {
    Write w{Bytes(data, data + length), line_.rate, line_.clock.nowMs()};
    line_.writes.push_back(w);
    if (line_.responder) line_.responder(w);
    return length;
}

bool ScriptedDevice::clearError() { return !line_.portFailed; }

size_t ScriptedDevice::inputQueued() { return line_.input.size(); }

std::unique_ptr<link::SerialDevice> ScriptedLine::open(const std::string& path) {
    openedPaths.push_back(path);
    if (failOpen) return nullptr;
    ++opens;
    rate = 9600;
    return std::make_unique<ScriptedDevice>(*this);
}

void ScriptedLine::deliverFrame(const Bytes& payload) {
    Bytes frame(link::encodedFrameCapacity(payload.size()));
    frame.resize(link::encodeFrame(payload, frame.data()));
    deliver(frame);
}

void FakeProbe::attach(ScriptedLine& line) {
    line.responder = [this, &line](const Write& w) {
        if (w.rate != listening) return;  // not understood at another rate
        Bytes payload = payloadOf(w.bytes);
        if (payload.size() < 3) return;
        if ((payload[0] & 0x30) == 0) {
            if (payload[2] == link::kLinkPing) {
                line.deliverFrame(payload);
            } else if (payload[2] == link::kLinkRateChange && payload.size() == 7) {
                line.deliverFrame(payload);
                listening = (uint32_t{payload[3]} << 24) | (uint32_t{payload[4]} << 16) |
                            (uint32_t{payload[5]} << 8) | payload[6];
            }
            return;
        }
        if (onCommand) onCommand(payload);
    };
}

Bytes payloadOf(const Bytes& frame) {
    Bytes payload(link::kMaxPayload + 1);
    link::FrameDecoder decoder;
    decoder.start(payload);
    for (uint8_t byte : frame) {
        if (decoder.feed(byte) == link::FrameDecoder::Status::Complete) {
            payload.resize(decoder.size());
            return payload;
        }
    }
    ADD_FAILURE() << "not a complete frame";
    return {};
}

Bytes hexBytes(const std::string& hex) {
    Bytes out;
    std::string digits;
    for (char c : hex) {
        if (c != ' ') digits += c;
    }
    for (size_t i = 0; i + 1 < digits.size(); i += 2) {
        out.push_back(static_cast<uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    }
    return out;
}

Bytes answerPayload(uint8_t sequence, const Bytes& message) {
    Bytes payload(2 + message.size());
    payload[0] = static_cast<uint8_t>(((sequence & 3) << 6) | 0x10 | ((message.size() >> 8) & 7));
    payload[1] = static_cast<uint8_t>(message.size() & 0xFF);
    std::copy(message.begin(), message.end(), payload.begin() + 2);
    return payload;
}

}  // namespace tov::test
