// Pseudo-terminal endpoint: rate check on input, frame decoding, paced and lossy output.
#include "sim/serial_endpoint.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "link/termios_speed.h"

namespace tov::sim {
namespace {

const char* decoderProblem(link::FrameDecoder::Status status) {
    switch (status) {
        case link::FrameDecoder::Status::FormatError:
            return "format error";
        case link::FrameDecoder::Status::BccError:
            return "check byte error";
        case link::FrameDecoder::Status::Overflow:
            return "overflow";
        default:
            return "damaged";
    }
}

}  // namespace

SerialEndpoint::SerialEndpoint(std::string linkPath, bool lineTiming, Trace& trace)
    : linkPath_(std::move(linkPath)), lineTiming_(lineTiming), trace_(trace) {
    restartDecoder();
}

SerialEndpoint::~SerialEndpoint() {
    close();
}

int SerialEndpoint::open(uint32_t rate) {
    close();
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0) return -errno;
    char name[PATH_MAX];
    int rc = 0;
    if (grantpt(master_) != 0 || unlockpt(master_) != 0 ||
        ptsname_r(master_, name, sizeof name) != 0 ||
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK) != 0) {
        rc = -errno;
        close();
        return rc;
    }
    slaveName_ = name;
    // This descriptor of the slave stays open all run: it keeps the terminal alive while the
    // host closes and reopens it, and it is where the host's line settings are read.
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    termios settings{};
    if (slave_ < 0 || tcgetattr(slave_, &settings) != 0) {
        rc = -errno;
        close();
        return rc;
    }
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&settings, link::termiosSpeed(rate));
    cfsetospeed(&settings, link::termiosSpeed(rate));
    if (tcsetattr(slave_, TCSANOW, &settings) != 0) {
        rc = -errno;
        close();
        return rc;
    }

    // A link left behind by an earlier run is replaced; anything else at the path is not ours.
    struct stat st {};
    if (lstat(linkPath_.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            close();
            return -EEXIST;
        }
        unlink(linkPath_.c_str());
    }
    if (symlink(name, linkPath_.c_str()) != 0) {
        rc = -errno;
        close();
        return rc;
    }
    linked_ = true;
    inputClock_ = lineFree_ = std::chrono::steady_clock::now();
    return 0;
}

void SerialEndpoint::close() {
    if (linked_) {
        char target[PATH_MAX];
        ssize_t n = readlink(linkPath_.c_str(), target, sizeof target - 1);
        if (n > 0) {
            target[n] = 0;
            if (slaveName_ == target) unlink(linkPath_.c_str());
        }
        linked_ = false;
    }
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
    slave_ = master_ = -1;
    input_.clear();
    output_.clear();
}

uint32_t SerialEndpoint::hostRate() const {
    termios settings{};
    if (slave_ < 0 || tcgetattr(slave_, &settings) != 0) return 0;
    speed_t out = cfgetospeed(&settings);
    speed_t in = cfgetispeed(&settings);
    // An input speed of 0 means "same as the output speed".
    if (in != B0 && in != out) return 0;
    return link::baudOfSpeed(out);
}

std::chrono::nanoseconds SerialEndpoint::byteTime(uint32_t rate) {
    // Ten bit times per byte: start bit, eight data bits, stop bit.
    return std::chrono::nanoseconds(rate == 0 ? 0 : 10'000'000'000LL / rate);
}

void SerialEndpoint::readInput(TimePoint now) {
    if (master_ < 0) return;
    const uint32_t rate = hostRate();
    uint8_t buffer[4096];
    for (;;) {
        ssize_t got = ::read(master_, buffer, sizeof buffer);
        if (got <= 0) break;
        if (inputClock_ < now) inputClock_ = now;
        for (ssize_t i = 0; i < got; ++i) {
            TimePoint due = now;
            if (lineTiming_) {
                inputClock_ += byteTime(rate);
                due = inputClock_;
            }
            input_.push_back(InByte{buffer[i], due, rate});
        }
    }
}

void SerialEndpoint::processInput(TimePoint now, FrameSink& sink) {
    while (!input_.empty() && input_.front().due <= now) {
        InByte in = input_.front();
        input_.pop_front();
        std::optional<FrameSink::IgnoreReason> reason;
        const uint32_t probeRate = sink.probeRate(now);
        if (!sink.probeListening(now)) {
            reason = FrameSink::IgnoreReason::Restarting;
        } else if (in.hostRate != probeRate) {
            reason = FrameSink::IgnoreReason::WrongRate;
        }
        if (reason != ignoring_ || (reason && in.hostRate != ignoredHostRate_)) {
            flushIgnored(sink, probeRate);
        }
        if (reason) {
            // A UART at another rate sees noise: whatever frame was in progress is lost.
            if (!ignoring_) restartDecoder();
            ignoring_ = reason;
            ignoredHostRate_ = in.hostRate;
            ++ignoredCount_;
            continue;
        }
        feed(in.value, now, sink);
    }
    if (input_.empty() || input_.front().due > now) flushIgnored(sink, sink.probeRate(now));
}

void SerialEndpoint::flushIgnored(FrameSink& sink, uint32_t probeRate) {
    if (!ignoring_ || ignoredCount_ == 0) {
        ignoring_.reset();
        ignoredCount_ = 0;
        return;
    }
    sink.onIgnoredBytes(*ignoring_, ignoredCount_, ignoredHostRate_, probeRate);
    ignoring_.reset();
    ignoredCount_ = 0;
}

void SerialEndpoint::restartDecoder() {
    decoder_.start(std::span<uint8_t>(frame_, sizeof frame_));
    raw_.clear();
}

void SerialEndpoint::feed(uint8_t byte, TimePoint now, FrameSink& sink) {
    const bool wasHunting = decoder_.hunting();
    raw_.push_back(byte);
    link::FrameDecoder::Status status = decoder_.feed(byte);
    if (status == link::FrameDecoder::Status::NeedMore) {
        if (wasHunting && !decoder_.hunting()) {
            // DLE STX opened a frame; what came before it belonged to none.
            skipped_ += raw_.size() - 2;
            if (skipped_ > 0) {
                trace_.note("skipped " + std::to_string(skipped_) + " bytes outside a frame");
                skipped_ = 0;
            }
            raw_.assign({link::kDle, link::kStx});
        } else if (decoder_.hunting() && raw_.size() > 64) {
            // Garbage is only counted; the last byte may be the DLE of the next frame.
            skipped_ += raw_.size() - 2;
            raw_.erase(raw_.begin(), raw_.end() - 2);
        }
        return;
    }
    std::vector<uint8_t> wire = std::move(raw_);
    if (status == link::FrameDecoder::Status::Complete) {
        const size_t size = decoder_.size();
        restartDecoder();
        sink.onFrame(std::span<const uint8_t>(frame_, size), wire, now);
    } else {
        trace_.fromHost(wire, decoderProblem(status));
        restartDecoder();
        sink.onDamagedFrame(status, wire);
    }
}

void SerialEndpoint::queueOutput(std::vector<uint8_t> wire, TimePoint release, uint32_t rate,
                                 std::string remark) {
    // A later frame never overtakes an earlier one on the line.
    if (!output_.empty() && release < output_.back().release) release = output_.back().release;
    output_.push_back(OutFrame{std::move(wire), release,
                               lineTiming_ ? byteTime(rate) : std::chrono::nanoseconds(0),
                               std::move(remark), std::nullopt, 0});
}

void SerialEndpoint::writeOutput(TimePoint now) {
    while (!output_.empty()) {
        OutFrame& frame = output_.front();
        if (frame.release > now) return;
        if (!frame.start) {
            // With line timing a frame starts when the line is free of the previous one.
            frame.start = frame.release > lineFree_ ? frame.release : lineFree_;
            trace_.toHost(frame.bytes, frame.remark);
        }
        size_t due = frame.bytes.size();
        if (frame.byteTime.count() > 0) {
            auto elapsed = now - *frame.start;
            size_t sent = elapsed.count() < 0 ? 0 : static_cast<size_t>(elapsed / frame.byteTime);
            if (sent < due) due = sent;
        }
        while (frame.written < due) {
            ssize_t n = ::write(master_, frame.bytes.data() + frame.written, due - frame.written);
            if (n > 0) {
                frame.written += static_cast<size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            trace_.note("host does not take the line's bytes: " +
                        std::to_string(frame.bytes.size() - frame.written) + " bytes lost");
            frame.written = frame.bytes.size();
            due = frame.written;
        }
        if (frame.written < frame.bytes.size()) return;
        lineFree_ = *frame.start + frame.byteTime * static_cast<int64_t>(frame.bytes.size());
        output_.pop_front();
    }
}

std::optional<SerialEndpoint::TimePoint> SerialEndpoint::nextDue() const {
    std::optional<TimePoint> next;
    auto consider = [&next](TimePoint t) {
        if (!next || t < *next) next = t;
    };
    if (!input_.empty()) consider(input_.front().due);
    if (!output_.empty()) {
        const OutFrame& frame = output_.front();
        if (!frame.start) {
            consider(frame.release);
        } else {
            consider(*frame.start + frame.byteTime * static_cast<int64_t>(frame.written + 1));
        }
    }
    return next;
}

}  // namespace tov::sim
