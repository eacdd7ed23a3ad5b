// The simulator's worker loop, the way frames reach the probe and answers reach the line, and the
// test hooks.
#include "sim/simulator.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>

#include "link/frame_header.h"
#include "sim/wire_damage.h"

namespace tov::sim {
namespace {

const char* damageName(Simulator::Damage damage) {
    switch (damage) {
        case Simulator::Damage::Bcc:
            return "wrong check byte";
        case Simulator::Damage::Format:
            return "format error";
        case Simulator::Damage::Overflow:
            return "overflow";
        case Simulator::Damage::Drop:
            return "dropped";
        case Simulator::Damage::Stale:
            return "stale answer first";
        case Simulator::Damage::Duplicate:
            return "duplicated";
    }
    return "?";
}

std::string hexByte(uint8_t value) {
    return Trace::hex(std::span<const uint8_t>(&value, 1));
}

}  // namespace

Simulator::Simulator(SimOptions options)
    : options_(std::move(options)), probe_(options_), faults_(options_.faults) {}

Simulator::~Simulator() {
    stop();
}

int Simulator::start() {
    std::lock_guard lock(mutex_);
    if (running_) return 0;
    if (options_.serialPath.empty()) return -EINVAL;
    if (!options_.traceFile.empty()) {
        int rc = trace_.open(options_.traceFile);
        if (rc != 0) return rc;
    }
    serial_ = std::make_unique<SerialEndpoint>(options_.serialPath, options_.lineTiming, trace_);
    int rc = serial_->open(options_.rate);
    if (rc != 0) {
        serial_.reset();
        trace_.close();
        return rc;
    }
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) {
        rc = -errno;
        serial_.reset();
        trace_.close();
        return rc;
    }
    trace_.note(std::string("probe ") + modelName(options_.model) + " in its " +
                (options_.loader ? "loader" : "firmware") + ", listening at " +
                std::to_string(options_.rate) + " on " + serial_->slaveName());
    if (options_.faults.any()) {
        const FaultSettings& f = options_.faults;
        std::ostringstream text;
        text << "faults drop=" << f.drop << " corrupt=" << f.corrupt << " delay=" << f.delayMs
             << " dup=" << f.dup << " stale=" << f.stale << " event=" << f.event
             << " seed=" << f.seed;
        trace_.note(text.str());
    }
    stopping_ = false;
    running_ = true;
    worker_ = std::thread([this] { run(); });
    return 0;
}

void Simulator::stop() {
    {
        std::lock_guard lock(mutex_);
        if (!running_) return;
        running_ = false;
    }
    stopping_ = true;
    wake();
    if (worker_.joinable()) worker_.join();
    std::lock_guard lock(mutex_);
    serial_.reset();
    ::close(wakeFd_);
    wakeFd_ = -1;
    trace_.note("stopped");
    trace_.close();
}

void Simulator::wake() {
    uint64_t one = 1;
    if (wakeFd_ >= 0) {
        ssize_t n = ::write(wakeFd_, &one, sizeof one);
        (void)n;  // a full counter already means "wake up"
    }
}

void Simulator::run() {
    while (!stopping_) {
        std::optional<TimePoint> due;
        int masterFd = -1;
        {
            std::lock_guard lock(mutex_);
            due = serial_->nextDue();
            masterFd = serial_->pollFd();
        }
        timespec wait{};
        timespec* timeout = nullptr;
        if (due) {
            auto left = *due - Clock::now();
            if (left.count() < 0) left = Clock::duration::zero();
            auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            wait.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
            wait.tv_nsec = static_cast<long>(ns % 1'000'000'000);
            timeout = &wait;
        }
        pollfd fds[2] = {{masterFd, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        int ready = ppoll(fds, 2, timeout, nullptr);
        if (ready < 0 && errno != EINTR) break;
        if (fds[1].revents & POLLIN) {
            uint64_t count = 0;
            ssize_t n = ::read(wakeFd_, &count, sizeof count);
            (void)n;
        }
        if (stopping_) break;
        {
            std::lock_guard lock(mutex_);
            const TimePoint now = Clock::now();
            if (fds[0].revents & POLLIN) serial_->readInput(now);
            serial_->processInput(now, *this);
            serial_->writeOutput(now);
        }
        if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
            // The slave descriptor kept open makes this unusual; do not spin on it.
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
}

bool Simulator::probeListening(TimePoint now) {
    return probe_.listening(now);
}

uint32_t Simulator::probeRate(TimePoint now) {
    return probe_.listeningRate(now);
}

void Simulator::onDamagedFrame(link::FrameDecoder::Status, std::span<const uint8_t>) {
    ++stats_.damagedFrames;
}

void Simulator::onIgnoredBytes(IgnoreReason reason, size_t count, uint32_t hostRate,
                               uint32_t probeRate) {
    if (reason == IgnoreReason::Restarting) {
        stats_.restartBytes += count;
        trace_.note("ignored " + std::to_string(count) + " bytes: the probe is restarting");
        return;
    }
    stats_.wrongRateBytes += count;
    ++stats_.wrongRateRuns;
    trace_.note("ignored " + std::to_string(count) + " bytes: line at " +
                (hostRate ? std::to_string(hostRate) : std::string("an unusable rate")) +
                ", probe listens at " + std::to_string(probeRate));
}

void Simulator::onFrame(std::span<const uint8_t> payload, std::span<const uint8_t> wire,
                        TimePoint now) {
    trace_.fromHost(wire);
    if (payload.size() < link::kHeaderSize) {
        ++stats_.damagedFrames;
        trace_.note("frame shorter than its header");
        return;
    }
    const link::FrameHeader header = link::readHeader(payload.data());
    const std::span<const uint8_t> message = payload.subspan(link::kHeaderSize);
    if (header.length != message.size()) {
        ++stats_.damagedFrames;
        trace_.note("length field " + std::to_string(header.length) + " but " +
                    std::to_string(message.size()) + " message bytes");
        return;
    }
    const bool isLink = !header.event && header.frameType == link::kFrameTypeLink;
    const bool isCommand = !header.event && (header.frameType == link::kFrameTypeCommand ||
                                             header.frameType == link::kFrameTypeNet);
    if (!isLink && !isCommand) {
        ++stats_.ignoredFrames;
        trace_.note("neither a link-control nor a command frame: ignored");
        return;
    }
    if (isLink) {
        ++stats_.linkFrames;
    } else {
        ++stats_.commandFrames;
        stats_.lastRequest.assign(message.begin(), message.end());
    }
    if (muted_) {
        ++stats_.ignoredFrames;
        trace_.note("muted: no answer");
        return;
    }
    const FaultPlan::ReceiveFaults received = faults_.onReceive();
    if (received.drop || received.corrupt) {
        ++stats_.ignoredFrames;
        trace_.note(received.drop ? "fault: received frame dropped"
                                  : "fault: received frame taken as damaged");
        return;
    }

    const uint32_t rate = probe_.listeningRate(now);
    std::vector<uint8_t> answer;
    if (isLink) {
        std::optional<std::vector<uint8_t>> linkAnswer = probe_.handleLink(message, now);
        if (!linkAnswer) {
            ++stats_.ignoredFrames;
            trace_.note("unknown link-control message: ignored");
            return;
        }
        answer = std::move(*linkAnswer);
    } else {
        answer = probe_.handleRequest(message, now);
    }

    std::vector<uint8_t> out(link::kHeaderSize + answer.size());
    link::writeHeader(out.data(), header.sequence, header.frameType, answer.size());
    std::memcpy(out.data() + link::kHeaderSize, answer.data(), answer.size());
    sendAnswer(std::move(out), isLink, rate, now);

    if (!probe_.listening(now)) {
        trace_.note("restarting into the firmware: deaf for " +
                    std::to_string(Probe::kRestartSilence.count()) + " ms, then listening at " +
                    std::to_string(options_.rate));
    } else if (probe_.listeningRate(now) != rate) {
        trace_.note("now listening at " + std::to_string(probe_.listeningRate(now)));
    }
}

void Simulator::sendAnswer(std::vector<uint8_t> payload, bool link, uint32_t rate, TimePoint now) {
    const FaultPlan::AnswerFaults faults = faults_.onAnswer();
    std::optional<Damage> damage;
    if (!damages_.empty()) {
        damage = damages_.front();
        damages_.pop_front();
        trace_.note(std::string("damage: ") + damageName(*damage));
    }
    std::vector<uint8_t> events = std::move(pendingEvents_);
    pendingEvents_.clear();
    if (faults.event) events.push_back(faults.eventBits);

    TimePoint release = now;
    if (faults.delayMs > 0) {
        release += std::chrono::milliseconds(faults.delayMs);
        trace_.note("fault: answer delayed " + std::to_string(faults.delayMs) + " ms");
    }

    std::vector<uint8_t>& previous = link ? lastLinkAnswer_ : lastCommandAnswer_;
    if (faults.stale || damage == Damage::Stale) {
        // An earlier answer with the same sequence bits would be taken for this one; only one
        // that the host can tell apart is sent.
        if (!previous.empty() && (previous[0] & 0xC0) != (payload[0] & 0xC0)) {
            queueFrame(encodeWire(previous), release, rate,
                       faults.stale ? "fault: stale answer" : "stale answer");
        } else {
            trace_.note("no earlier answer with other sequence bits: stale answer skipped");
        }
    }
    for (uint8_t bits : events) {
        queueFrame(encodeWire(eventPayload(bits)), release, rate, "event");
        ++stats_.eventsSent;
    }
    previous = payload;

    if (faults.drop || damage == Damage::Drop) {
        trace_.note(faults.drop ? "fault: answer dropped" : "answer dropped");
        return;
    }
    std::vector<uint8_t> wire =
        encodeWire(damage == Damage::Overflow ? overflowPayload(payload) : payload);
    std::string remark;
    if (damage == Damage::Bcc) {
        breakCheckByte(wire);
        remark = "wrong check byte";
    } else if (damage == Damage::Format) {
        insertFormatError(wire);
        remark = "format error";
    } else if (damage == Damage::Overflow) {
        remark = "overflow";
    }
    if (faults.corrupt) {
        const size_t at = faults.corruptPosition % wire.size();
        flipBit(wire, at, faults.corruptBit);
        remark += (remark.empty() ? "" : ", ") + std::string("fault: bit ") +
                  std::to_string(faults.corruptBit) + " of byte " + std::to_string(at) + " flipped";
    }
    const bool twice = faults.duplicate || damage == Damage::Duplicate;
    if (twice) queueFrame(wire, release, rate, remark);
    queueFrame(std::move(wire), release, rate,
               twice ? (faults.duplicate ? "fault: duplicate" : "duplicate") : remark);
    stats_.answersSent += twice ? 2 : 1;
}

void Simulator::queueFrame(std::vector<uint8_t> wire, TimePoint release, uint32_t rate,
                           std::string remark) {
    serial_->queueOutput(std::move(wire), release, rate, std::move(remark));
}

std::string Simulator::endpoints() const {
    std::lock_guard lock(mutex_);
    return "serial=" + options_.serialPath;
}

std::string Simulator::slaveDevice() const {
    std::lock_guard lock(mutex_);
    return serial_ ? serial_->slaveName() : std::string();
}

void Simulator::setMute(bool muted) {
    std::lock_guard lock(mutex_);
    muted_ = muted;
    trace_.note(muted ? "muted" : "unmuted");
}

void Simulator::damageNextAnswer(Damage damage) {
    std::lock_guard lock(mutex_);
    damages_.push_back(damage);
}

void Simulator::eventBeforeNextAnswer(uint8_t bits) {
    std::lock_guard lock(mutex_);
    pendingEvents_.push_back(bits);
}

void Simulator::sendEvent(uint8_t bits) {
    {
        std::lock_guard lock(mutex_);
        if (!serial_) return;
        const TimePoint now = Clock::now();
        queueFrame(encodeWire(eventPayload(bits)), now, probe_.listeningRate(now),
                   "event " + hexByte(bits));
        ++stats_.eventsSent;
        wake();
    }
}

SimStats Simulator::stats() const {
    std::lock_guard lock(mutex_);
    return stats_;
}

uint32_t Simulator::listeningRate() const {
    std::lock_guard lock(mutex_);
    return probe_.listeningRate(Clock::now());
}

bool Simulator::inLoader() const {
    std::lock_guard lock(mutex_);
    return probe_.inLoader(Clock::now());
}

}  // namespace tov::sim
