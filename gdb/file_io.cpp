// Semihosting calls through GDB's File-I/O requests.
#include "gdb/file_io.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "semihost/file_table.h"

namespace tov::gdb {
namespace {

using semihost::Result;
using semihost::Status;

constexpr uint32_t kFailed = 0xFFFFFFFF;  // -1 as the program sees it
// GDB's errno numbers used here.
constexpr uint32_t kEperm = 1, kEintr = 4, kEio = 5, kEinval = 22, kEmfile = 24;
// GDB's open flags and the mode of a new file (rw for all, less the user's umask on GDB's side).
constexpr uint32_t kReadOnly = 0x0, kWriteOnly = 0x1, kReadWrite = 0x2, kAppend = 0x8,
                   kCreate = 0x200, kTruncate = 0x400;
constexpr uint32_t kNewFileMode = 0666;
// The semihosting open modes r, rb, r+, r+b, w, wb, w+, w+b, a, ab, a+, a+b as GDB's flags.
constexpr uint32_t kOpenFlags[12] = {kReadOnly,
                                     kReadOnly,
                                     kReadWrite,
                                     kReadWrite,
                                     kWriteOnly | kCreate | kTruncate,
                                     kWriteOnly | kCreate | kTruncate,
                                     kReadWrite | kCreate | kTruncate,
                                     kReadWrite | kCreate | kTruncate,
                                     kWriteOnly | kCreate | kAppend,
                                     kWriteOnly | kCreate | kAppend,
                                     kReadWrite | kCreate | kAppend,
                                     kReadWrite | kCreate | kAppend};
constexpr uint32_t kModeCount = 12;
// The console's descriptors in GDB.
constexpr int32_t kStdin = 0, kStdout = 1, kStderr = 2;
constexpr int kSeekSet = 0, kSeekCur = 1, kSeekEnd = 2;
constexpr uint16_t kSpIndex = 13;
// The scratch room below the stack; GDB's struct timeval is 12 bytes.
constexpr uint32_t kScratch = 16;

std::string hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "%llx", static_cast<unsigned long long>(value));
    return text;
}

// 1..maxDigits hex digits filling the text.
bool hexNumber(std::string_view text, size_t maxDigits, uint64_t& value) {
    if (text.empty() || text.size() > maxDigits) return false;
    value = 0;
    for (const char c : text) {
        int digit = -1;
        if (c >= '0' && c <= '9') digit = c - '0';
        if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        if (digit < 0) return false;
        value = value << 4 | static_cast<uint64_t>(digit);
    }
    return true;
}

}  // namespace

std::optional<FileIoReply> parseFileIoReply(std::string_view payload) {
    if (payload.empty() || payload[0] != 'F') return std::nullopt;
    std::string_view rest = payload.substr(1);
    rest = rest.substr(0, rest.find(';'));
    std::vector<std::string_view> fields;
    for (size_t at = 0;;) {
        const size_t comma = rest.find(',', at);
        fields.push_back(rest.substr(at, comma == std::string_view::npos ? comma : comma - at));
        if (comma == std::string_view::npos) break;
        at = comma + 1;
    }
    if (fields.size() > 3) return std::nullopt;
    FileIoReply reply;
    std::string_view code = fields[0];
    const bool negative = !code.empty() && code[0] == '-';
    if (negative) code.remove_prefix(1);
    uint64_t value = 0;
    if (!hexNumber(code, 8, value)) return std::nullopt;
    if (negative && (value == 0 || value > 0x7FFFFFFF)) return std::nullopt;
    reply.result = negative ? -static_cast<int64_t>(value) : static_cast<int64_t>(value);
    if (fields.size() > 1) {
        if (!hexNumber(fields[1], 8, value)) return std::nullopt;
        reply.error = static_cast<uint32_t>(value);
    }
    if (fields.size() > 2) {
        if (fields[2] != "C") return std::nullopt;
        reply.interrupted = true;
    }
    return reply;
}

// One call: the target, its parameter (r1), the value that goes back into r0, and how it ended
// when it did not end as a served call.
struct FileIoService::Call {
    semihost::TargetAccess& target;
    bool bigEndian;
    uint32_t operation = 0;
    uint32_t parameter = 0;
    std::optional<uint32_t> r0;
    std::optional<Result> end;
    // A request with an effect on the host was answered: a Ctrl-C now no longer undoes the call.
    bool started = false;

    bool block(size_t count, uint32_t* out) {
        std::vector<uint8_t> bytes(count * 4);
        if (!read(parameter, bytes)) return false;
        for (size_t i = 0; i < count; ++i) {
            const uint8_t* b = &bytes[4 * i];
            out[i] = bigEndian
                         ? uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | b[3]
                         : uint32_t{b[3]} << 24 | uint32_t{b[2]} << 16 | uint32_t{b[1]} << 8 | b[0];
        }
        return true;
    }
    bool read(uint32_t address, std::span<uint8_t> out) {
        if (const int rc = target.readMemory(address, out); rc != 0) {
            end = Result{Status::AccessFailed, rc, 0, std::nullopt};
            return false;
        }
        return true;
    }
    bool write(uint32_t address, std::span<const uint8_t> data) {
        if (const int rc = target.writeMemory(address, data); rc != 0) {
            end = Result{Status::AccessFailed, rc, 0, std::nullopt};
            return false;
        }
        return true;
    }
    Result ended() const { return end.value_or(Result{}); }
};

FileIoService::FileIoService(FileIoClient& client, semihost::Service& host,
                             semihost::ProbeRequests& probe, std::atomic<bool>& stopRequest)
    : client_(client), host_(host), probe_(probe), stopRequest_(stopRequest) {}

Result FileIoService::serve(semihost::TargetAccess& target) {
    if (stopRequest_) return Result{Status::Interrupted, 0, 0, std::nullopt};
    Call call{target, host_.bigEndian(), 0, 0, std::nullopt, std::nullopt, false};
    if (const int rc = target.readArguments(call.operation, call.parameter); rc != 0)
        return Result{Status::AccessFailed, rc, 0, std::nullopt};
    const Result result = dispatch(call);
    if (call.end) return *call.end;
    if (result.status == Status::Done && call.r0) {
        if (const int rc = target.writeResult(*call.r0); rc != 0)
            return Result{Status::AccessFailed, rc, 0, std::nullopt};
    }
    return result;
}

std::optional<int32_t> FileIoService::descriptor(uint32_t handle) const {
    const auto it = handles_.find(handle);
    if (it == handles_.end()) return std::nullopt;
    return it->second;
}

Result FileIoService::dispatch(Call& call) {
    using namespace semihost;
    uint32_t w[3] = {};
    switch (call.operation) {
        case kOpen:
            return open(call);
        case kWriteChar:
            return write(call, kStdout, call.parameter, 1);
        case kWriteString:
            return writeText(call);
        case kReadChar:
            return readChar(call);
        case kRemove:
        case kRename:
        case kSystem:
            return nameCall(call);
        case kTime:
            return time(call);
        case kErrno:
            call.r0 = lastErrno_;
            return Result{};
        case kClose:
        case kWrite:
        case kRead:
        case kIsTerminal:
        case kSeek:
        case kFileLength:
            break;
        default:
            return host_.serve(call.target);
    }
    const size_t words =
        call.operation == kClose || call.operation == kIsTerminal || call.operation == kFileLength
            ? 1
        : call.operation == kSeek ? 2
                                  : 3;
    if (!call.block(words, w)) return call.ended();
    const std::optional<int32_t> fd = descriptor(w[0]);
    if (!fd) {
        // The host's console is not the program's in this mode; the feature description is.
        if (w[0] == FileTable::kConsole) {
            call.r0 = kFailed;
            return Result{};
        }
        return host_.serve(call.target);
    }
    switch (call.operation) {
        case kClose:
            return close(call, w[0]);
        case kWrite:
            return write(call, *fd, w[1], w[2]);
        case kRead:
            return read(call, *fd, w[1], w[2]);
        case kSeek:
            return seek(call, *fd, w[1]);
        case kFileLength:
            return fileLength(call, *fd);
        default: {  // kIsTerminal
            const auto reply = ask(call, "Fisatty," + hex(static_cast<uint32_t>(*fd)));
            if (!reply) return call.ended();
            call.r0 = reply->result == 1 ? 1 : reply->result == 0 ? 0 : kFailed;
            return Result{};
        }
    }
}

std::optional<FileIoReply> FileIoService::ask(Call& call, const std::string& request) {
    const std::optional<std::string> payload = client_.fileRequest(request);
    if (!payload) {
        // The client went away: the program is left on the call, which it makes again when it
        // resumes.
        call.end = Result{Status::Interrupted, 0, 0, std::nullopt};
        return std::nullopt;
    }
    std::optional<FileIoReply> reply = parseFileIoReply(*payload);
    if (!reply) {
        std::fprintf(stderr, "tov: gdbserver: malformed File-I/O reply '%.40s' to %s\n",
                     payload->c_str(), request.substr(0, request.find(',')).c_str());
        reply = FileIoReply{-1, kEio, false};
    }
    if (reply->interrupted) {
        // The user asked for a stop either way.
        stopRequest_ = true;
        if (reply->error == kEintr && reply->result < 0 && !call.started) {
            // Nothing was done: the call is made again when the program resumes.
            call.end = Result{Status::Interrupted, 0, 0, std::nullopt};
            return std::nullopt;
        }
        // The call finished: it completes, and the program stops right after it.
    }
    if (reply->result < 0) lastErrno_ = reply->error;
    return reply;
}

std::optional<std::string> FileIoService::name(Call& call, uint32_t address, uint32_t length) {
    if (length > semihost::Service::kMaxName) {
        call.end = Result{Status::BadCall, 0, 0, std::nullopt};
        return std::nullopt;
    }
    std::vector<uint8_t> bytes(length + 1);
    if (!call.read(address, bytes)) return std::nullopt;
    // GDB takes the name with its NUL; one the program did not end is refused.
    const auto nul = std::find(bytes.begin(), bytes.end(), 0);
    if (nul == bytes.end()) {
        lastErrno_ = kEinval;
        call.r0 = kFailed;
        return std::nullopt;
    }
    return hex(address) + "/" + hex(static_cast<uint32_t>(nul - bytes.begin()) + 1);
}

Result FileIoService::open(Call& call) {
    uint32_t w[3];
    if (!call.block(3, w)) return call.ended();
    const uint32_t mode = w[1];
    const uint32_t length = w[2];
    if (length > semihost::Service::kMaxName || mode >= kModeCount)
        return Result{Status::BadCall, 0, 0, std::nullopt};
    std::vector<uint8_t> bytes(length);
    if (!call.read(w[0], bytes)) return call.ended();
    const std::string text(bytes.begin(), std::find(bytes.begin(), bytes.end(), 0));
    if (text == ":semihosting-features") return host_.serve(call.target);
    if (handles_.size() >= kMaxOpen) {
        lastErrno_ = kEmfile;
        call.r0 = kFailed;
        return Result{};
    }
    int32_t fd = -1;
    if (text == ":tt") {
        // Read modes are the keyboard, write modes the output, append modes the error stream.
        fd = mode < 4 ? kStdin : mode < 8 ? kStdout : kStderr;
    } else {
        const std::optional<std::string> path = name(call, w[0], length);
        if (!path) return call.ended();
        const auto reply =
            ask(call, "Fopen," + *path + "," + hex(kOpenFlags[mode]) + "," + hex(kNewFileMode));
        if (!reply) return call.ended();
        if (reply->result < 0 || reply->result > 0x7FFFFFFF) {
            call.r0 = kFailed;
            return Result{};
        }
        fd = static_cast<int32_t>(reply->result);
    }
    uint32_t handle = kFirstHandle;
    while (handles_.count(handle)) ++handle;
    handles_.emplace(handle, fd);
    call.r0 = handle;
    return Result{};
}

Result FileIoService::close(Call& call, uint32_t handle) {
    const int32_t fd = handles_.at(handle);
    call.r0 = 0;
    // The console stays open in GDB.
    if (fd > kStderr) {
        const auto reply = ask(call, "Fclose," + hex(static_cast<uint32_t>(fd)));
        if (!reply) return call.ended();
        call.r0 = reply->result < 0 ? kFailed : 0;
    }
    handles_.erase(handle);
    return Result{};
}

Result FileIoService::write(Call& call, int32_t fd, uint32_t buffer, uint32_t length) {
    uint32_t done = 0;
    while (done < length) {
        const uint32_t size = std::min(length - done, kPiece);
        const auto reply = ask(call, "Fwrite," + hex(static_cast<uint32_t>(fd)) + "," +
                                         hex(buffer + done) + "," + hex(size));
        if (!reply) return call.ended();
        if (reply->result < 0) break;
        call.started = true;
        done += static_cast<uint32_t>(std::min<int64_t>(reply->result, size));
        if (reply->result < size) break;
    }
    // SYS_WRITEC has no result.
    if (call.operation != semihost::kWriteChar) call.r0 = length - done;
    return Result{};
}

Result FileIoService::read(Call& call, int32_t fd, uint32_t buffer, uint32_t length) {
    uint32_t done = 0;
    while (done < length) {
        const uint32_t size = std::min(length - done, kPiece);
        const auto reply = ask(call, "Fread," + hex(static_cast<uint32_t>(fd)) + "," +
                                         hex(buffer + done) + "," + hex(size));
        if (!reply) return call.ended();
        if (reply->result < 0) break;
        call.started = true;
        done += static_cast<uint32_t>(std::min<int64_t>(reply->result, size));
        // The console gives one line at a time.
        if (reply->result < size || fd == kStdin) break;
    }
    call.r0 = length - done;
    return Result{};
}

Result FileIoService::writeText(Call& call) {
    // The text up to its NUL, read in pieces that stay inside aligned 256-byte blocks so that
    // none reaches past memory the text is in.
    uint32_t length = 0;
    bool ended = false;
    while (!ended && length < kMaxText) {
        const uint32_t at = call.parameter + length;
        const uint32_t size = std::min(256 - (at & 0xFF), kMaxText - length);
        std::vector<uint8_t> bytes(size);
        if (!call.read(at, bytes)) return call.ended();
        const auto nul = std::find(bytes.begin(), bytes.end(), 0);
        ended = nul != bytes.end();
        length += static_cast<uint32_t>(nul - bytes.begin());
    }
    return length == 0 ? Result{} : write(call, kStdout, call.parameter, length);
}

std::optional<uint32_t> FileIoService::scratch(Call& call) {
    const RegisterDescriptor sp{semihost::ProbeAccess::kCurrentMode, kSpIndex};
    uint32_t value = 0;
    if (const int32_t rc = probe_.registerGet(1, &sp, &value); rc != 0) {
        call.end = Result{Status::AccessFailed, rc, 0, std::nullopt};
        return std::nullopt;
    }
    return (value - kScratch) & ~7u;
}

Result FileIoService::readChar(Call& call) {
    const std::optional<uint32_t> at = scratch(call);
    if (!at) return call.ended();
    std::vector<uint8_t> saved(kScratch);
    if (!call.read(*at, saved)) return call.ended();
    const auto reply = ask(call, "Fread," + hex(kStdin) + "," + hex(*at) + ",1");
    uint8_t c = 0;
    const bool got = reply && reply->result == 1 && call.read(*at, {&c, 1});
    if (!call.write(*at, saved) || !reply) return call.ended();
    call.r0 = got ? c : 0;
    return Result{};
}

Result FileIoService::seek(Call& call, int32_t fd, uint32_t position) {
    const auto reply = ask(call, "Flseek," + hex(static_cast<uint32_t>(fd)) + "," + hex(position) +
                                     "," + hex(kSeekSet));
    if (!reply) return call.ended();
    call.r0 = reply->result < 0 ? kFailed : 0;
    return Result{};
}

Result FileIoService::fileLength(Call& call, int32_t fd) {
    // Where the file is, where it ends, and back: no buffer in target memory is needed.
    const std::string file = "Flseek," + hex(static_cast<uint32_t>(fd)) + ",";
    call.r0 = kFailed;
    const auto here = ask(call, file + "0," + hex(kSeekCur));
    if (!here) return call.ended();
    if (here->result < 0) return Result{};
    const auto end = ask(call, file + "0," + hex(kSeekEnd));
    if (!end) return call.ended();
    const auto back =
        ask(call, file + hex(static_cast<uint64_t>(here->result)) + "," + hex(kSeekSet));
    if (!back) return call.ended();
    if (end->result >= 0 && end->result < kFailed && back->result >= 0)
        call.r0 = static_cast<uint32_t>(end->result);
    return Result{};
}

Result FileIoService::nameCall(Call& call) {
    using namespace semihost;
    const size_t names = call.operation == kRename ? 2 : 1;
    uint32_t w[4];
    if (!call.block(2 * names, w)) return call.ended();
    if (call.operation == kSystem && !host_.systemAllowed()) {
        lastErrno_ = kEperm;
        call.r0 = kFailed;
        return Result{};
    }
    std::string request = call.operation == kRemove   ? "Funlink"
                          : call.operation == kRename ? "Frename"
                                                      : "Fsystem";
    for (size_t i = 0; i < names; ++i) {
        const std::optional<std::string> path = name(call, w[2 * i], w[2 * i + 1]);
        if (!path) return call.ended();
        request += "," + *path;
    }
    const auto reply = ask(call, request);
    if (!reply) return call.ended();
    call.r0 = reply->result < 0 ? kFailed : static_cast<uint32_t>(reply->result);
    return Result{};
}

Result FileIoService::time(Call& call) {
    const std::optional<uint32_t> at = scratch(call);
    if (!at) return call.ended();
    std::vector<uint8_t> saved(kScratch);
    if (!call.read(*at, saved)) return call.ended();
    const auto reply = ask(call, "Fgettimeofday," + hex(*at) + ",0");
    // GDB writes struct timeval with its own representation: a 4-byte big-endian tv_sec first.
    uint8_t seconds[4] = {};
    const bool got = reply && reply->result == 0 && call.read(*at, seconds);
    if (!call.write(*at, saved) || !reply) return call.ended();
    call.r0 = got ? uint32_t{seconds[0]} << 24 | uint32_t{seconds[1]} << 16 |
                        uint32_t{seconds[2]} << 8 | seconds[3]
                  : kFailed;
    return Result{};
}

}  // namespace tov::gdb
