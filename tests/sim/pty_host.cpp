// The test host end of the serial line over termios.
#include "pty_host.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <thread>

#include "link/termios_speed.h"

namespace tov::sim::testing {

PtyHost::PtyHost(const std::string& path, uint32_t rate) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) return;
    termios settings{};
    if (tcgetattr(fd_, &settings) != 0) {
        ::close(fd_);
        fd_ = -1;
        return;
    }
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    tcsetattr(fd_, TCSANOW, &settings);
    setRate(rate);
    tcflush(fd_, TCIOFLUSH);
}

PtyHost::~PtyHost() {
    if (fd_ >= 0) ::close(fd_);
}

bool PtyHost::setRate(uint32_t rate) {
    termios settings{};
    if (tcgetattr(fd_, &settings) != 0) return false;
    cfsetispeed(&settings, link::termiosSpeed(rate));
    cfsetospeed(&settings, link::termiosSpeed(rate));
    return tcsetattr(fd_, TCSANOW, &settings) == 0;
}

void PtyHost::sendRaw(std::span<const uint8_t> bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
}

void PtyHost::sendPayload(std::span<const uint8_t> payload) {
    std::vector<uint8_t> wire(link::encodedFrameCapacity(payload.size()));
    wire.resize(link::encodeFrame(payload, wire.data()));
    sendRaw(wire);
}

bool PtyHost::nextByte(uint8_t& byte, std::chrono::steady_clock::time_point deadline) {
    while (pending_.empty()) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() < 0) return false;
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count()) + 1) <= 0) continue;
        uint8_t buffer[4096];
        ssize_t n = ::read(fd_, buffer, sizeof buffer);
        for (ssize_t i = 0; i < n; ++i) pending_.push_back(buffer[i]);
    }
    byte = pending_.front();
    pending_.pop_front();
    return true;
}

std::vector<uint8_t> PtyHost::readBytes(size_t count, std::chrono::milliseconds wait) {
    auto deadline = std::chrono::steady_clock::now() + wait;
    std::vector<uint8_t> out;
    uint8_t byte = 0;
    while (out.size() < count && nextByte(byte, deadline)) out.push_back(byte);
    return out;
}

PtyHost::Frame PtyHost::readFrame(std::chrono::milliseconds wait) {
    auto deadline = std::chrono::steady_clock::now() + wait;
    Frame frame;
    uint8_t buffer[link::kMaxPayload];
    link::FrameDecoder decoder;
    decoder.start(buffer);
    uint8_t byte = 0;
    while (nextByte(byte, deadline)) {
        frame.status = decoder.feed(byte);
        if (frame.status == link::FrameDecoder::Status::Complete) {
            frame.payload.assign(buffer, buffer + decoder.size());
        }
        if (frame.status != link::FrameDecoder::Status::NeedMore) return frame;
    }
    frame.status = link::FrameDecoder::Status::NeedMore;
    return frame;
}

}  // namespace tov::sim::testing
