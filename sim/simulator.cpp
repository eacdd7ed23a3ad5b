// The simulator's worker loop, the way frames from the pty and from UDP reach the probe and
// answers go back the way their request came, and the test hooks.
#include "sim/simulator.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <sstream>

#include "link/frame_codec.h"
#include "link/frame_header.h"
#include "sim/datagram_damage.h"
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
    if (options_.serialPath.empty() && options_.udpAddress.empty()) return -EINVAL;
    if (!options_.udpAddress.empty() && !isLoopbackAddress(options_.udpAddress)) {
        return -EADDRNOTAVAIL;
    }
    if (!options_.traceFile.empty()) {
        int rc = trace_.open(options_.traceFile);
        if (rc != 0) return rc;
    }
    auto fail = [this](int rc) {
        serial_.reset();
        udp_.reset();
        trace_.close();
        return rc;
    };
    if (!options_.serialPath.empty()) {
        serial_ =
            std::make_unique<SerialEndpoint>(options_.serialPath, options_.lineTiming, trace_);
        int rc = serial_->open(options_.rate);
        if (rc != 0) return fail(rc);
    }
    if (!options_.udpAddress.empty()) {
        udp_ = std::make_unique<UdpEndpoint>(options_.udpAddress, options_.udpBasePort, trace_);
        int rc = udp_->open();
        if (rc != 0) return fail(rc);
    }
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) return fail(-errno);
    std::string where;
    if (serial_) where = " at " + std::to_string(options_.rate) + " on " + serial_->slaveName();
    if (udp_) where += (serial_ ? " and" : "") + std::string(" on udp ") + udp_->describe();
    trace_.note(std::string("probe ") + modelName(options_.model) + " in its " +
                (options_.loader ? "loader" : "firmware") + ", listening" + where);
    if (options_.faults.any()) {
        const FaultSettings& f = options_.faults;
        std::ostringstream text;
        text << "faults drop=" << f.drop << " corrupt=" << f.corrupt << " delay=" << f.delayMs
             << " dup=" << f.dup << " stale=" << f.stale << " event=" << f.event
             << " hostile=" << f.hostile << " seed=" << f.seed;
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
    udp_.reset();
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
    // Descriptor slots: the wake fd, the pty master, the two UDP sockets (-1 when not served;
    // poll skips negative descriptors).
    constexpr size_t kWake = 0, kSerial = 1, kUdp = 2;
    while (!stopping_) {
        std::optional<TimePoint> due;
        pollfd fds[kUdp + UdpEndpoint::kSockets] = {};
        {
            std::lock_guard lock(mutex_);
            auto consider = [&due](std::optional<TimePoint> t) {
                if (t && (!due || *t < *due)) due = t;
            };
            fds[kWake] = {wakeFd_, POLLIN, 0};
            fds[kSerial] = {-1, POLLIN, 0};
            if (serial_) {
                consider(serial_->nextDue());
                fds[kSerial].fd = serial_->pollFd();
            }
            for (size_t i = 0; i < UdpEndpoint::kSockets; ++i) {
                fds[kUdp + i] = {udp_ ? udp_->pollFd(i) : -1, POLLIN, 0};
            }
            if (udp_) consider(udp_->nextDue());
            // An executing core runs between the link's requests: no waiting then.
            if (probe_.target().executing()) consider(Clock::now());
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
        int ready = ppoll(fds, std::size(fds), timeout, nullptr);
        if (ready < 0 && errno != EINTR) break;
        if (ready < 0) continue;
        if (fds[kWake].revents & POLLIN) {
            uint64_t count = 0;
            ssize_t n = ::read(wakeFd_, &count, sizeof count);
            (void)n;
        }
        if (stopping_) break;
        {
            std::lock_guard lock(mutex_);
            const TimePoint now = Clock::now();
            if (serial_) {
                if (fds[kSerial].revents & POLLIN) serial_->readInput(now);
                serial_->processInput(now, *this);
            }
            if (udp_) {
                for (size_t i = 0; i < UdpEndpoint::kSockets; ++i) {
                    if (fds[kUdp + i].revents & (POLLIN | POLLERR)) udp_->readInput(i, now, *this);
                }
            }
            // Answers made just now go out in the same pass when nothing delays them.
            if (serial_) serial_->writeOutput(now);
            if (udp_) udp_->writeOutput(now);
            probe_.runCore();
        }
        if (fds[kSerial].revents & (POLLERR | POLLHUP | POLLNVAL)) {
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
    origin_.reset();
    trace_.fromHost(wire);
    handleFrame(payload, now);
}

void Simulator::onDatagram(const UdpPeer& from, std::span<const uint8_t> bytes, size_t size,
                           TimePoint now) {
    ++stats_.udpDatagrams;
    origin_ = from;
    // The peer's text is made only for the trace: building it costs more than the block's copy.
    const std::string mark = trace_.enabled() ? udp_->label(from, true) : std::string();
    if (!probe_.listening(now)) {
        stats_.restartBytes += size;
        trace_.fromHost(bytes, mark + ", not heard: the probe is restarting");
        return;
    }
    if (size > link::kMaxPayload) {
        ++stats_.damagedFrames;
        trace_.fromHost(
            bytes, mark + ", " + std::to_string(size) + " bytes: longer than any frame, ignored");
        return;
    }
    trace_.fromHost(bytes, mark);
    handleFrame(bytes, now);
}

void Simulator::handleFrame(std::span<const uint8_t> payload, TimePoint now) {
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
        if (answer.empty()) {
            // The probe heard the frame and chose not to answer it (a download block it waits
            // to receive again); no faults are drawn and no damage is used up for it.
            ++stats_.ignoredFrames;
            trace_.note("no answer");
            return;
        }
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
    if (faults.hostile) payload = hostilePayload(payload, faults);
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
            queuePayload(previous, release, rate,
                         faults.stale ? "fault: stale answer" : "stale answer");
        } else {
            trace_.note("no earlier answer with other sequence bits: stale answer skipped");
        }
    }
    for (uint8_t bits : events) {
        queuePayload(eventPayload(bits), release, rate, "event");
        ++stats_.eventsSent;
    }
    previous = payload;

    if (faults.drop || damage == Damage::Drop) {
        trace_.note(faults.drop ? "fault: answer dropped" : "answer dropped");
        return;
    }
    std::string remark;
    std::vector<uint8_t> wire = origin_ ? damagedDatagram(payload, damage, faults, remark)
                                        : damagedWire(payload, damage, faults, remark);
    const bool twice = faults.duplicate || damage == Damage::Duplicate;
    if (twice) queueFrame(wire, release, rate, remark);
    queueFrame(std::move(wire), release, rate,
               twice ? (faults.duplicate ? "fault: duplicate" : "duplicate") : remark);
    stats_.answersSent += twice ? 2 : 1;
}

std::vector<uint8_t> Simulator::hostilePayload(const std::vector<uint8_t>& payload,
                                               const FaultPlan::AnswerFaults& faults) {
    const std::span<const uint8_t> answer(payload.data() + link::kHeaderSize,
                                          payload.size() - link::kHeaderSize);
    const std::vector<uint8_t> message =
        hostileMessage(faults.hostileKind, faults.hostileDraw, answer);
    std::vector<uint8_t> out(link::kHeaderSize + message.size());
    // The sequence bits and frame type stay, so the host takes the frame for its answer.
    link::writeHeader(out.data(), static_cast<uint8_t>(payload[0] >> 6), payload[0] & 0x30,
                      message.size());
    std::copy(message.begin(), message.end(), out.begin() + link::kHeaderSize);
    ++stats_.hostileAnswers;
    if (faults.hostileKind == HostileKind::WrongCode) ++stats_.wrongCodeAnswers;
    trace_.note(std::string("fault: hostile answer, ") + hostileKindName(faults.hostileKind) +
                ", " + std::to_string(message.size()) + " message bytes");
    return out;
}

std::vector<uint8_t> Simulator::damagedWire(const std::vector<uint8_t>& payload,
                                            std::optional<Damage> damage,
                                            const FaultPlan::AnswerFaults& faults,
                                            std::string& remark) {
    std::vector<uint8_t> wire =
        encodeWire(damage == Damage::Overflow ? overflowPayload(payload) : payload);
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
    return wire;
}

std::vector<uint8_t> Simulator::damagedDatagram(const std::vector<uint8_t>& payload,
                                                std::optional<Damage> damage,
                                                const FaultPlan::AnswerFaults& faults,
                                                std::string& remark) {
    std::vector<uint8_t> datagram = damage == Damage::Overflow ? overflowPayload(payload) : payload;
    if (damage == Damage::Bcc) {
        breakLengthField(datagram);
        remark = "length field broken";
    } else if (damage == Damage::Format) {
        truncateDatagram(datagram);
        remark = "truncated";
    } else if (damage == Damage::Overflow) {
        remark = "oversize";
    }
    if (faults.corrupt) {
        const unsigned at = flipCheckedHeaderBit(datagram, faults.corruptPosition);
        remark += (remark.empty() ? "" : ", ") + std::string("fault: bit ") +
                  std::to_string(at % 8) + " of byte " + std::to_string(at / 8) + " flipped";
    }
    return datagram;
}

void Simulator::queuePayload(std::span<const uint8_t> payload, TimePoint release, uint32_t rate,
                             std::string remark) {
    queueFrame(origin_ ? std::vector<uint8_t>(payload.begin(), payload.end()) : encodeWire(payload),
               release, rate, std::move(remark));
}

void Simulator::queueFrame(std::vector<uint8_t> wire, TimePoint release, uint32_t rate,
                           std::string remark) {
    if (origin_) {
        udp_->queueOutput(*origin_, std::move(wire), release, std::move(remark));
    } else {
        serial_->queueOutput(std::move(wire), release, rate, std::move(remark));
    }
}

bool Simulator::canSend() const {
    return origin_ ? udp_ != nullptr : serial_ != nullptr;
}

std::string Simulator::endpoints() const {
    std::lock_guard lock(mutex_);
    std::string text;
    if (!options_.serialPath.empty()) text = "serial=" + options_.serialPath;
    if (!options_.udpAddress.empty()) {
        text += (text.empty() ? "" : " ") + std::string("udp=") + options_.udpAddress + ":" +
                std::to_string(options_.udpBasePort) + "," +
                std::to_string(options_.udpBasePort + 1);
    }
    return text;
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
        if (!canSend()) {
            trace_.note("event " + hexByte(bits) + " not sent: no host has been heard on UDP");
            return;
        }
        const TimePoint now = Clock::now();
        queuePayload(eventPayload(bits), now, probe_.listeningRate(now), "event " + hexByte(bits));
        ++stats_.eventsSent;
        wake();
    }
}

SimStats Simulator::stats() const {
    std::lock_guard lock(mutex_);
    return stats_;
}

StorageWrites Simulator::storageWrites() const {
    std::lock_guard lock(mutex_);
    return probe_.storageWrites();
}

void Simulator::withProbe(const std::function<void(Probe&)>& action) {
    std::lock_guard lock(mutex_);
    action(probe_);
}

std::vector<uint8_t> Simulator::peekMemory(uint32_t address, size_t length) const {
    std::lock_guard lock(mutex_);
    std::vector<uint8_t> data(length);
    probe_.memory().read(address, data);
    return data;
}

std::vector<uint8_t> Simulator::peekChipFlash(uint32_t address, size_t length) const {
    std::lock_guard lock(mutex_);
    std::vector<uint8_t> data(length);
    probe_.chipFlash().read(address, data.data(), length);
    return data;
}

std::vector<ProgrammedBlock> Simulator::programmedBlocks() const {
    std::lock_guard lock(mutex_);
    return probe_.programmedBlocks();
}

void Simulator::clearProgrammedBlocks() {
    std::lock_guard lock(mutex_);
    probe_.clearProgrammedBlocks();
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
