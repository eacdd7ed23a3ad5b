// The GDB server's request handling: registers, memory, points, run control and queries (the
// flash packets are in session_flash.cpp).
#include "gdb/session.h"

#include <algorithm>
#include <cstdio>

#include "semihost/run_loop.h"

namespace tov::gdb {
namespace {

constexpr uint16_t kCurrentMode = 600;
constexpr uint16_t kCpsrGroup = 601;
constexpr uint16_t kRegisterCount = kCoreRegisterCount;  // r0..r12, sp, lr, pc, cpsr
constexpr uint16_t kStateValues = 10;
constexpr uint16_t kReady = 1;
constexpr uint16_t kError = 3;
constexpr uint32_t kCauseHalt = 0, kCauseBreakpoint = 1, kCauseWatchpoint = 2, kCauseStep = 4,
                   kCauseException = 5, kCauseSemihosting = 9;
constexpr size_t kValueWatchpoint = 4, kValueVector = 5;
constexpr size_t kMaxLoadImage = 64u << 20;
// Signals of stop replies.
constexpr int kSigInt = 2, kSigIll = 4, kSigTrap = 5, kSigAbrt = 6, kSigSegv = 11;

RegisterDescriptor descriptor(uint16_t index) {
    return index < 16 ? RegisterDescriptor{kCurrentMode, index} : RegisterDescriptor{kCpsrGroup, 0};
}

std::string signalReply(int signal) {
    static constexpr char kHex[] = "0123456789abcdef";
    return std::string("T") + kHex[signal >> 4] + kHex[signal & 0xF];
}

// The signal for an exception caught at its vector.
int vectorSignal(uint32_t vector) {
    switch (vector) {
    case 0x04: return kSigIll;
    case 0x0C:
    case 0x10: return kSigSegv;
    default: return kSigTrap;
    }
}

std::string hexByte(int value) {
    static constexpr char kHex[] = "0123456789abcdef";
    return {kHex[(value >> 4) & 0xF], kHex[value & 0xF]};
}

}  // namespace

Session::Session(Probe& probe, semihost::Service& service, std::atomic<bool>& stopRequest,
                 Channel& channel, SessionOptions options)
    : probe_(probe),
      service_(service),
      stopRequest_(stopRequest),
      channel_(channel),
      options_(std::move(options)),
      memoryMap_(options_.memoryMap.empty() ? "" : memoryMapDocument(options_.memoryMap)),
      reader_(options_.packetSize),
      points_(probe),
      registers_(probe) {
    registers_.detectVfp();
}

SessionEnd Session::serve() {
    const SessionEnd end = serveClient();
    endSession(end);
    return end;
}

void Session::endSession(SessionEnd end) {
    points_.removeAll();
    // A detached program runs on, as with other servers; a killed or abandoned one stays halted.
    if (end == SessionEnd::Detached && process_ && !options_.detachHalt) probe_.start();
}

SessionEnd Session::serveClient() {
    while (!end_) {
        if (pending_.empty() && !pump(-1)) return SessionEnd::Gone;
        while (!pending_.empty() && !end_) {
            const Incoming in = std::move(pending_.front());
            pending_.erase(pending_.begin());
            switch (in.kind) {
            case Incoming::Kind::Ack:
            case Incoming::Kind::Interrupt:  // the target is halted already
                break;
            case Incoming::Kind::Nak:
                if (!lastSent_.empty() && !channel_.send(lastSent_)) return SessionEnd::Gone;
                break;
            case Incoming::Kind::BadChecksum:
                if (ackMode_ && !channel_.send("-")) return SessionEnd::Gone;
                break;
            case Incoming::Kind::Packet: {
                if (ackMode_ && !channel_.send("+")) return SessionEnd::Gone;
                const Reply reply = handle(in.payload);
                if (reply.send && !sendPacket(reply.text)) return SessionEnd::Gone;
                break;
            }
            }
        }
    }
    return *end_;
}

bool Session::sendPacket(const std::string& payload) {
    lastSent_ = framePacket(payload);
    return channel_.send(lastSent_);
}

bool Session::sendConsole(const std::string& text) {
    return sendPacket(
        consoleOutput(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size())));
}

bool Session::pump(int timeoutMs) {
    std::string bytes;
    const bool alive = channel_.receive(bytes, timeoutMs);
    reader_.feed(bytes, pending_);
    if (!alive) end_ = SessionEnd::Gone;
    return alive;
}

Session::Reply Session::handle(const std::string& packet) {
    if (packet.empty()) return {""};
    const std::string args = packet.substr(1);
    switch (packet[0]) {
    case '?': {
        if (!process_) return {endReply_};
        uint16_t state = 0, count = kStateValues;
        int32_t error = 0;
        uint32_t values[kStateValues] = {};
        int32_t status = probe_.state(state, error, count, values);
        if (status == 0 && state != kReady && state != kError) {
            status = probe_.halt();
            count = kStateValues;
            if (status == 0) status = probe_.state(state, error, count, values);
        }
        if (status != 0) return {errorReply(status)};
        return {stopReply(state, count > 0 ? values[0] : 0, values, count)};
    }
    case '!': return {"OK"};
    case 'g': return {readRegisters()};
    case 'G': return {writeRegisters(args)};
    case 'p': return {readRegister(args)};
    case 'P': return {writeRegister(args)};
    case 'm': return {readMemory(args)};
    case 'M': return {writeMemory(args, false)};
    case 'X': return {writeMemory(args, true)};
    case 'Z': return {point(args, true)};
    case 'z': return {point(args, false)};
    case 'c': return {args.empty() ? resume() : "E01"};
    case 's': return {args.empty() ? stepOnce() : "E01"};
    case 'H':
    case 'T': return {"OK"};
    case 'D':
        end_ = SessionEnd::Detached;
        return {"OK"};
    case 'k':
    case 'R': {
        bool reply = true;
        const std::string text = processPacket(packet, reply);
        return {text, reply};
    }
    case 'q':
    case 'Q': return {query(packet)};
    case 'v':
        if (packet.starts_with("vCont?")) return {"vCont;c;C;s;S;t"};
        if (packet.starts_with("vCont;")) return {vCont(packet.substr(6))};
        if (packet.starts_with("vKill") || packet.starts_with("vRun;") ||
            packet.starts_with("vAttach;")) {
            bool reply = true;
            const std::string text = processPacket(packet, reply);
            return {text, reply};
        }
        if (options_.flash == nullptr) return {""};
        if (packet.starts_with("vFlashErase:")) return {flashErase(packet.substr(12))};
        if (packet.starts_with("vFlashWrite:")) return {flashWrite(packet.substr(12))};
        if (packet == "vFlashDone") {
            startLoad();
            return {flashDone()};
        }
        return {""};
    default: return {""};
    }
}

std::string Session::errorReply(int32_t code) { return "E." + probe_.errorText(code); }

std::string Session::failure(int32_t code) {
    // The client shows only the number; the text goes to its console first.
    sendPacket(consoleOutput(std::span(
        reinterpret_cast<const uint8_t*>(probe_.errorText(code).c_str()),
        probe_.errorText(code).size())));
    return "E01";
}

std::string Session::readRegisters() {
    RegisterDescriptor registers[kRegisterCount];
    for (uint16_t i = 0; i < kRegisterCount; ++i) registers[i] = descriptor(i);
    uint32_t values[kRegisterCount] = {};
    const int32_t status = probe_.registerGet(kRegisterCount, registers, values);
    if (status != 0) return "E01";
    std::string reply;
    for (const uint32_t value : values) reply += wordHex(value);
    return reply;
}

std::string Session::writeRegisters(const std::string& hex) {
    std::vector<uint8_t> bytes;
    if (!fromHex(hex, bytes) || bytes.size() < kRegisterCount * 4u) return "E01";
    RegisterDescriptor registers[kRegisterCount];
    int32_t values[kRegisterCount];
    for (uint16_t i = 0; i < kRegisterCount; ++i) {
        registers[i] = descriptor(i);
        const uint8_t* b = &bytes[i * 4u];
        values[i] = static_cast<int32_t>(b[0] | b[1] << 8 | b[2] << 16 | uint32_t(b[3]) << 24);
    }
    if (probe_.registerSet(kRegisterCount, registers, values) != 0) return "E01";
    rememberLoad();
    return "OK";
}

std::string Session::readRegister(const std::string& args) {
    uint32_t index = 0;
    if (!parseHex32(args, index)) return "E01";
    if (index > 0xFFFF) return "E00";
    const std::optional<std::string> value = registers_.read(static_cast<uint16_t>(index));
    return value ? *value : index >= registers_.count() ? "E00" : "E01";
}

std::string Session::writeRegister(const std::string& args) {
    const size_t equals = args.find('=');
    uint32_t index = 0;
    std::vector<uint8_t> b;
    if (equals == std::string::npos || !parseHex32(args.substr(0, equals), index) ||
        !fromHex(args.substr(equals + 1), b) || index > 0xFFFF ||
        !registers_.write(static_cast<uint16_t>(index), b)) {
        return "E01";
    }
    if (index < kRegisterCount) rememberLoad();
    return "OK";
}

void Session::startLoad() {
    // The first write after a run starts a new load.
    if (!loadWrites_) {
        loadImage_.clear();
        loadImageBytes_ = 0;
    }
    loadWrites_ = true;
}

void Session::keepLoadWrite(uint32_t address, std::vector<uint8_t> bytes) {
    startLoad();
    if (options_.loaded == nullptr) return;
    loadImageBytes_ += bytes.size();
    // A load larger than this is not kept: run then starts it with the memory as it is.
    if (loadImageBytes_ <= kMaxLoadImage) loadImage_.emplace_back(address, std::move(bytes));
}

void Session::rememberLoad() {
    if (!loadWrites_ || options_.loaded == nullptr) return;
    if (!loadImage_.empty() && loadImageBytes_ <= kMaxLoadImage) {
        options_.loaded->memory = loadImage_;
    } else {
        options_.loaded->memory.clear();
    }
    RegisterDescriptor registers[kRegisterCount];
    for (uint16_t i = 0; i < kRegisterCount; ++i) registers[i] = descriptor(i);
    std::array<uint32_t, kRegisterCount> values{};
    if (probe_.registerGet(kRegisterCount, registers, values.data()) == 0)
        options_.loaded->values = values;
}

std::string Session::readMemory(const std::string& args) {
    uint32_t address = 0, length = 0;
    if (!addressAndLength(args, address, length)) return "E01";
    // The reply carries two hex digits per byte and must fit in a packet.
    length = std::min<uint32_t>(length, static_cast<uint32_t>(options_.packetSize / 2 - 8));
    std::vector<uint8_t> bytes(length);
    if (length > 0 && probe_.memoryRead(address, static_cast<uint16_t>(length), bytes.data()) != 0)
        return "E01";
    return toHex(bytes);
}

std::string Session::writeMemory(const std::string& args, bool binary) {
    const size_t colon = args.find(':');
    uint32_t address = 0, length = 0;
    if (colon == std::string::npos || !addressAndLength(args.substr(0, colon), address, length))
        return "E01";
    std::vector<uint8_t> bytes;
    const std::string data = args.substr(colon + 1);
    if (binary) {
        bytes.assign(data.begin(), data.end());
    } else if (!fromHex(data, bytes)) {
        return "E01";
    }
    if (bytes.size() != length || length > 0xFFFF) return "E01";
    if (length == 0) return "OK";
    if (probe_.memoryWrite(address, static_cast<uint16_t>(length), bytes.data()) != 0)
        return "E01";
    keepLoadWrite(address, std::move(bytes));
    return "OK";
}

std::string Session::point(const std::string& args, bool insert) {
    // TYPE,ADDR,KIND
    if (args.size() < 2 || args[1] != ',') return "E01";
    const char type = args[0];
    uint32_t address = 0, kind = 0;
    if (!addressAndLength(args.substr(2, args.find(';') - 2), address, kind)) return "E01";
    if (type < '0' || type > '4') return "";
    if (!insert) return points_.remove(type, address, kind) ? "OK" : "E01";
    std::string why;
    if (points_.insert(type, address, kind, why)) return "OK";
    // Console output is no reply to a point packet: the reason goes in the error reply itself.
    return why.empty() ? "E01" : "E." + why;
}

std::string Session::vCont(const std::string& args) {
    // Only one thread: the first action decides.
    const char action = args.empty() ? '\0' : args[0];
    if (action == 'c' || action == 'C') return resume();
    if (action == 's' || action == 'S') return stepOnce();
    if (action == 't') {
        probe_.halt();
        return signalReply(0);
    }
    return "E01";
}

std::string Session::resume() {
    loadWrites_ = false;
    stopRequest_ = false;
    semihost::RunOptions options;
    options.onPoll = [this] {
        if (!pump(0)) {
            stopRequest_ = true;
            return;
        }
        for (const Incoming& in : pending_) {
            if (in.kind == Incoming::Kind::Interrupt) stopRequest_ = true;
        }
        std::erase_if(pending_,
                      [](const Incoming& in) { return in.kind == Incoming::Kind::Interrupt; });
    };
    const semihost::RunOutcome outcome = semihost::runProgram(probe_, service_, stopRequest_,
                                                              options);
    if (outcome.error != 0) return failure(outcome.error);
    if (outcome.service) {
        const semihost::Result& result = *outcome.service;
        if (result.status == semihost::Status::Stopped) {
            if (result.reason == semihost::Service::kApplicationExit)
                return processEnded("W" + hexByte(result.exit.value_or(0)));
            return signalReply(kSigAbrt);
        }
        if (result.status == semihost::Status::AccessFailed) return failure(result.error);
        return signalReply(kSigTrap);
    }
    if (outcome.interrupted) return signalReply(kSigInt);
    uint16_t count = kStateValues;
    uint16_t state = 0;
    int32_t error = 0;
    uint32_t values[kStateValues] = {};
    if (const int32_t status = probe_.state(state, error, count, values); status != 0)
        return failure(status);
    return stopReply(state, outcome.cause, values, count);
}

std::string Session::stepOnce() {
    loadWrites_ = false;
    uint32_t pc = 0;
    if (const int32_t status = probe_.step(pc); status != 0) return failure(status);
    uint16_t count = kStateValues, state = 0;
    int32_t error = 0;
    uint32_t values[kStateValues] = {};
    if (const int32_t status = probe_.state(state, error, count, values); status != 0)
        return failure(status);
    if (count > 0 && values[0] == kCauseSemihosting) {
        semihost::ProbeAccess access(probe_);
        const semihost::Result result = service_.serve(access);
        if (result.status == semihost::Status::Stopped &&
            result.reason == semihost::Service::kApplicationExit) {
            return processEnded("W" + hexByte(result.exit.value_or(0)));
        }
        return signalReply(kSigTrap);
    }
    return stopReply(state, kCauseStep, values, count);
}

std::string Session::stopReply(uint16_t state, uint32_t cause, const uint32_t* values,
                               uint16_t count) {
    if (state == kError) return signalReply(kSigSegv);
    switch (cause) {
    case kCauseHalt: return signalReply(stopRequest_ ? kSigInt : kSigTrap);
    case kCauseBreakpoint: return signalReply(kSigTrap) + "swbreak:;";
    case kCauseWatchpoint: {
        const int32_t id = count > kValueWatchpoint ? static_cast<int32_t>(values[kValueWatchpoint])
                                                    : 0;
        if (const auto watch = points_.watchpoint(id)) {
            const char* name = watch->first == '2'   ? "watch"
                               : watch->first == '3' ? "rwatch"
                                                     : "awatch";
            char address[16];
            std::snprintf(address, sizeof address, "%x", watch->second);
            return signalReply(kSigTrap) + name + ":" + address + ";";
        }
        return signalReply(kSigTrap);
    }
    case kCauseException:
        return signalReply(vectorSignal(count > kValueVector ? values[kValueVector] : 0));
    default: return signalReply(kSigTrap);
    }
}

std::string Session::query(const std::string& packet) {
    if (packet.starts_with("qSupported")) {
        char size[16];
        std::snprintf(size, sizeof size, "%zx", options_.packetSize);
        std::string reply = std::string("PacketSize=") + size +
                            ";qXfer:features:read+;vContSupported+;swbreak+;hwbreak+;"
                            "QStartNoAckMode+";
        if (!memoryMap_.empty()) reply += ";qXfer:memory-map:read+";
        return reply;
    }
    if (packet == "QStartNoAckMode") {
        // This packet was the last to be acknowledged.
        ackMode_ = false;
        return "OK";
    }
    if (packet.starts_with("qXfer:features:read:target.xml:"))
        return transfer(registers_.targetDescription(), packet.substr(31));
    if (packet.starts_with("qXfer:memory-map:read::") && !memoryMap_.empty())
        return transfer(memoryMap_, packet.substr(23));
    if (packet.starts_with("qRcmd,")) return monitor(packet.substr(6));
    if (packet == "qAttached") return "1";
    if (packet == "qC") return process_ ? "QC1" : "";
    if (packet == "qfThreadInfo") return process_ ? "m1" : "l";
    if (packet == "qsThreadInfo") return "l";
    if (packet == "qSymbol::") return "OK";
    return "";
}

std::string Session::transfer(const std::string& document, const std::string& args) {
    uint32_t offset = 0, length = 0;
    if (!addressAndLength(args, offset, length)) return "E01";
    if (offset >= document.size()) return "l";
    length = std::min<uint32_t>(length, static_cast<uint32_t>(options_.packetSize / 2));
    const std::string part = document.substr(offset, length);
    return (offset + part.size() >= document.size() ? "l" : "m") + part;
}

}  // namespace tov::gdb
