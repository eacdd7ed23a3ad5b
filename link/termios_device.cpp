// SerialDevice over a POSIX terminal: raw 8N1, no flow control, exclusive and locked, poll-based
// waits.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

#include "link/error_detail.h"
#include "link/serial_device.h"
#include "link/termios_speed.h"

namespace tov::link {
namespace {

int64_t nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

class TermiosDevice final : public SerialDevice {
public:
    explicit TermiosDevice(int fd) : fd_(fd) {}
    ~TermiosDevice() override {
        // Exclusive mode stays on the terminal while anyone holds it open; release it so the
        // port can be opened again by the next session.
        ioctl(fd_, TIOCNXCL);
        close(fd_);
    }

    bool setRate(uint32_t baud) override {
        speed_t speed = termiosSpeed(baud);
        termios settings{};
        if (speed == B0 || tcgetattr(fd_, &settings) != 0) return false;
        if (cfsetispeed(&settings, speed) != 0 || cfsetospeed(&settings, speed) != 0) return false;
        return tcsetattr(fd_, TCSANOW, &settings) == 0;
    }

    ReadResult readByte(uint8_t& byte, uint32_t timeoutMs) override {
        if (next_ < filled_) {
            byte = buffer_[next_++];
            return ReadResult::Byte;
        }
        pollfd p{fd_, POLLIN, 0};
        int ready = poll(&p, 1, static_cast<int>(timeoutMs));
        if (ready == 0) return ReadResult::Timeout;
        if (ready < 0) return errno == EINTR ? ReadResult::Timeout : ReadResult::Error;
        // A hang-up with nothing left to read is final: an unplugged adapter or a closed
        // pseudo-terminal does not come back on this descriptor.
        if ((p.revents & POLLIN) == 0) {
            if ((p.revents & (POLLHUP | POLLNVAL)) == 0) return ReadResult::Error;
            gone_ = (p.revents & POLLNVAL) != 0 ? "the port is no longer open" : "the port hung up";
            return ReadResult::Gone;
        }
        ssize_t got = ::read(fd_, buffer_, sizeof buffer_);
        if (got < 0 && (errno == EIO || errno == ENXIO || errno == ENODEV)) {
            gone_ = std::strerror(errno);
            return ReadResult::Gone;
        }
        if (got == 0 && (p.revents & POLLHUP) != 0) {
            gone_ = "the port hung up";
            return ReadResult::Gone;
        }
        if (got <= 0) {
            return (got < 0 && (errno == EAGAIN || errno == EINTR)) ? ReadResult::Timeout
                                                                  : ReadResult::Error;
        }
        filled_ = static_cast<size_t>(got);
        next_ = 1;
        byte = buffer_[0];
        return ReadResult::Byte;
    }

    size_t write(const uint8_t* data, size_t length, uint32_t timeoutMs) override {
        size_t done = 0;
        int64_t deadline = nowMs() + timeoutMs;
        while (done < length) {
            ssize_t n = ::write(fd_, data + done, length - done);
            if (n > 0) {
                done += static_cast<size_t>(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR) break;
            int64_t left = deadline - nowMs();
            if (left <= 0) break;
            pollfd p{fd_, POLLOUT, 0};
            if (poll(&p, 1, static_cast<int>(left)) < 0 && errno != EINTR) break;
        }
        return done;
    }

    bool clearError() override {
        pollfd p{fd_, 0, 0};
        if (poll(&p, 1, 0) < 0) return false;
        if ((p.revents & (POLLHUP | POLLNVAL)) != 0 && gone_.empty()) gone_ = "the port hung up";
        return (p.revents & (POLLHUP | POLLERR | POLLNVAL)) == 0;
    }

    size_t inputQueued() override {
        int waiting = 0;
        if (ioctl(fd_, FIONREAD, &waiting) != 0) return 0;
        return (filled_ - next_) + static_cast<size_t>(waiting);
    }

    std::string goneReason() const override { return gone_; }

private:
    int fd_;
    std::string gone_;
    uint8_t buffer_[512];
    size_t filled_ = 0;
    size_t next_ = 0;
};

class TermiosFactory final : public SerialDeviceFactory {
    static void refuse(const std::string& path, const std::string& reason) {
        setErrorDetail(path + ": " + reason);
    }

public:
    std::unique_ptr<SerialDevice> open(const std::string& path) override {
        int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            refuse(path, errno == EBUSY ? "port in use by another process" : std::strerror(errno));
            return nullptr;
        }
        // The advisory lock is what serial tools on Linux agree on, and unlike the exclusive
        // mode it holds for root as well; it goes with the descriptor when the port is closed.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int reason = errno;
            close(fd);
            refuse(path, reason == EWOULDBLOCK ? "port in use by another process"
                                               : std::strerror(reason));
            return nullptr;
        }
        termios settings{};
        if (!isatty(fd)) {
            close(fd);
            refuse(path, "not a serial port (" + std::string(std::strerror(ENOTTY)) + ")");
            return nullptr;
        }
        if (ioctl(fd, TIOCEXCL) != 0 || tcgetattr(fd, &settings) != 0) {
            const int reason = errno;
            close(fd);
            refuse(path, std::strerror(reason));
            return nullptr;
        }
        cfmakeraw(&settings);
        settings.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
        settings.c_cflag |= CS8 | CLOCAL | CREAD;
        settings.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | IGNPAR | PARMRK | IGNBRK);
        settings.c_cc[VMIN] = 0;
        settings.c_cc[VTIME] = 0;
        cfsetispeed(&settings, B9600);
        cfsetospeed(&settings, B9600);
        if (tcsetattr(fd, TCSANOW, &settings) != 0) {
            refuse(path, std::strerror(errno));
            ioctl(fd, TIOCNXCL);
            close(fd);
            return nullptr;
        }
        // DTR and RTS held inactive; a pseudo-terminal has no modem lines, so a failure here
        // is not a reason to refuse the port.
        int lines = TIOCM_DTR | TIOCM_RTS;
        ioctl(fd, TIOCMBIC, &lines);
        tcflush(fd, TCIOFLUSH);
        return std::make_unique<TermiosDevice>(fd);
    }
};

}  // namespace

SerialDeviceFactory& termiosDeviceFactory() {
    static TermiosFactory factory;
    return factory;
}

}  // namespace tov::link
