// The semihosting operations, carried out on the host.
#include "semihost/service.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace tov::semihost {
namespace {

constexpr const char* kOpenModes[] = {"r",  "rb",  "r+", "r+b", "w",  "wb",
                                      "w+", "w+b", "a",  "ab",  "a+", "a+b"};
// The same modes as open(2) flags: the file is opened by the root, then given its stream.
constexpr int kOpenFlags[] = {O_RDONLY,
                              O_RDONLY,
                              O_RDWR,
                              O_RDWR,
                              O_WRONLY | O_CREAT | O_TRUNC,
                              O_WRONLY | O_CREAT | O_TRUNC,
                              O_RDWR | O_CREAT | O_TRUNC,
                              O_RDWR | O_CREAT | O_TRUNC,
                              O_WRONLY | O_CREAT | O_APPEND,
                              O_WRONLY | O_CREAT | O_APPEND,
                              O_RDWR | O_CREAT | O_APPEND,
                              O_RDWR | O_CREAT | O_APPEND};
constexpr uint32_t kModeCount = 12;
constexpr uint32_t kFailed = 0xFFFFFFFF;  // -1 as the program sees it

constexpr const char* kConsoleName = ":tt";
// The feature description a program may open to learn what the host offers: the extended exit
// that carries the program's exit status (bit 0), and ":tt" opened for appending as the error
// stream (bit 1; it is the console like any ":tt"). C libraries that find the description
// take its bits as the whole truth, so both are offered.
constexpr const char* kFeaturesName = ":semihosting-features";
const std::vector<uint8_t> kFeatures{'S', 'H', 'F', 'B', 0x03};

constexpr uint32_t kHeapGap = 0x4000;

}  // namespace

// One call: the target, its parameter (r1) and the value that goes back into r0, if any.
struct Service::Call {
    TargetAccess& target;
    uint32_t operation;
    uint32_t parameter;
    std::optional<uint32_t> r0;
    int error = 0;

    // Reads `count` words of the parameter block; false (error set) when the access failed.
    bool block(const Service& service, size_t count, uint32_t* out) {
        std::vector<uint8_t> bytes(count * 4);
        if (!readBytes(parameter, bytes)) return false;
        for (size_t i = 0; i < count; ++i) out[i] = service.word(bytes, i);
        return true;
    }
    bool readBytes(uint32_t address, std::span<uint8_t> out) {
        if (out.empty()) return true;
        error = target.readMemory(address, out);
        return error == 0;
    }
    bool writeBytes(uint32_t address, std::span<const uint8_t> data) {
        if (data.empty()) return true;
        error = target.writeMemory(address, data);
        return error == 0;
    }
    Result failed() const { return Result{Status::AccessFailed, error, 0, std::nullopt}; }
};

int rdiCode(const Result& result) {
    switch (result.status) {
        case Status::BadCall:
            return 3;
        case Status::Stopped:
            return 163;
        default:
            return 0;
    }
}

Service::Service(Console& console, const std::atomic<bool>& stopRequest,
                 const ServiceOptions& options)
    : console_(console),
      stopRequest_(stopRequest),
      heap_(options.heap),
      systemAllowed_(options.hostCommands),
      started_(std::chrono::steady_clock::now()) {
    root_.set(options.fileRoot);
}

void Service::setCommandLine(const std::string& text) {
    commandLine_ = text.substr(0, kMaxCommandLine);
}

uint32_t Service::word(std::span<const uint8_t> bytes, size_t index) const {
    const uint8_t* b = bytes.data() + 4 * index;
    if (bigEndian_) return uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | b[3];
    return uint32_t{b[3]} << 24 | uint32_t{b[2]} << 16 | uint32_t{b[1]} << 8 | b[0];
}

void Service::putWord(std::span<uint8_t> bytes, size_t index, uint32_t value) const {
    uint8_t* b = bytes.data() + 4 * index;
    for (int i = 0; i < 4; ++i) {
        const int shift = bigEndian_ ? 24 - 8 * i : 8 * i;
        b[i] = static_cast<uint8_t>(value >> shift);
    }
}

Result Service::serve(TargetAccess& target) {
    if (stopRequest_) return Result{Status::Interrupted, 0, 0, std::nullopt};
    uint32_t r0 = 0;
    uint32_t r1 = 0;
    if (int rc = target.readArguments(r0, r1); rc != 0) {
        return Result{Status::AccessFailed, rc, 0, std::nullopt};
    }
    Call call{target, r0, r1, std::nullopt};
    Result result = dispatch(call);
    if (result.status == Status::Done && call.r0) {
        if (int rc = target.writeResult(*call.r0); rc != 0) {
            return Result{Status::AccessFailed, rc, 0, std::nullopt};
        }
    }
    return result;
}

Result Service::dispatch(Call& call) {
    const Result done{};
    uint32_t w[4] = {};
    switch (call.operation) {
        case kOpen:
            return open(call);
        case kClose: {
            if (!call.block(*this, 1, w)) return call.failed();
            if (w[0] == FileTable::kConsole) {
                call.r0 = 0;
            } else {
                FileTable::Entry* entry = files_.find(w[0]);
                const bool hostFile = entry && entry->file;
                errno = 0;
                call.r0 = static_cast<uint32_t>(files_.close(w[0]));
                if (hostFile) saveErrno();
            }
            return done;
        }
        case kWriteChar: {
            uint8_t c = 0;
            if (!call.readBytes(call.parameter, {&c, 1})) return call.failed();
            console_.writeChar(c);
            return done;
        }
        case kWriteString:
            for (uint32_t at = call.parameter;; ++at) {
                uint8_t c = 0;
                if (!call.readBytes(at, {&c, 1})) return call.failed();
                if (c == 0) break;
                console_.writeChar(c);
            }
            return done;
        case kWrite:
            return write(call);
        case kRead:
            return read(call);
        case kReadChar: {
            const int c = console_.readChar();
            if (stopRequest_) return Result{Status::Interrupted, 0, 0, std::nullopt};
            call.r0 = static_cast<uint32_t>(c);
            return done;
        }
        case kIsError:
            call.r0 = 0;
            return done;
        case kIsTerminal:
            if (!call.block(*this, 1, w)) return call.failed();
            call.r0 = w[0] == FileTable::kConsole ? 1 : files_.find(w[0]) ? 0 : kFailed;
            return done;
        case kSeek: {
            if (!call.block(*this, 2, w)) return call.failed();
            FileTable::Entry* entry = files_.find(w[0]);
            call.r0 = kFailed;
            if (entry && entry->file) {
                errno = 0;
                const int rc = std::fseek(entry->file, static_cast<long>(w[1]), SEEK_SET);
                saveErrno();
                call.r0 = rc == 0 ? 0 : kFailed;
            } else if (entry) {
                entry->position = std::min<size_t>(w[1], entry->bytes.size());
                call.r0 = 0;
            }
            return done;
        }
        case kFileLength:
            return fileLength(call);
        case kTemporaryName:
            return temporaryName(call);
        case kRemove:
        case kRename:
        case kSystem:
            return nameCall(call);
        case kClock: {
            const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - started_);
            call.r0 = static_cast<uint32_t>(ms.count() / 10);
            return done;
        }
        case kTime:
            call.r0 = static_cast<uint32_t>(std::time(nullptr));
            return done;
        case kErrno:
            call.r0 = static_cast<uint32_t>(lastErrno_);
            return done;
        case kCommandLine:
            return commandLineCall(call);
        case kHeapInfo:
            return heapInfoCall(call);
        case kReportException:
            // In ARM state the reason code comes in r1 itself.
            return Result{Status::Stopped, 0, call.parameter, std::nullopt};
        case kExitExtended: {
            if (!call.block(*this, 2, w)) return call.failed();
            Result stopped{Status::Stopped, 0, w[0], std::nullopt};
            if (w[0] == kApplicationExit) stopped.exit = static_cast<int32_t>(w[1]);
            return stopped;
        }
        case kElapsed: {
            // r1 is the address of the 8-byte block itself.
            const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - started_);
            std::vector<uint8_t> bytes(8);
            putWord(bytes, 0, static_cast<uint32_t>(ms.count()));
            putWord(bytes, 1, 0);
            if (!call.writeBytes(call.parameter, bytes)) return call.failed();
            call.r0 = 0;
            return done;
        }
        case kTickFrequency:
            call.r0 = 1000;
            return done;
        default:
            return Result{Status::BadCall, 0, 0, std::nullopt};
    }
}

Result Service::open(Call& call) {
    uint32_t w[3];
    if (!call.block(*this, 3, w)) return call.failed();
    const uint32_t mode = w[1];
    const uint32_t length = w[2];
    if (length > kMaxName || mode >= kModeCount) return Result{Status::BadCall, 0, 0, {}};
    std::string name(length, '\0');
    if (!call.readBytes(w[0], {reinterpret_cast<uint8_t*>(name.data()), length})) {
        return call.failed();
    }
    name.resize(std::min(name.size(), name.find('\0')));
    if (name == kConsoleName) {
        call.r0 = FileTable::kConsole;
    } else if (name == kFeaturesName) {
        FileTable::Entry entry;
        entry.bytes = kFeatures;
        call.r0 = files_.add(std::move(entry));
    } else {
        errno = 0;
        const int fd = root_.open(name, kOpenFlags[mode]);
        std::FILE* file = fd >= 0 ? ::fdopen(fd, kOpenModes[mode]) : nullptr;
        saveErrno();
        if (fd >= 0 && !file) ::close(fd);
        call.r0 = file ? files_.add(FileTable::Entry{file, {}, 0}) : kFailed;
    }
    return Result{};
}

Result Service::write(Call& call) {
    uint32_t w[3];
    if (!call.block(*this, 3, w)) return call.failed();
    const uint32_t handle = w[0];
    FileTable::Entry* entry = files_.find(handle);
    if (handle != FileTable::kConsole && !entry) {
        call.r0 = kFailed;
        return Result{};
    }
    const uint32_t length = w[2];
    std::vector<uint8_t> piece(std::min<size_t>(length, kPiece));
    uint32_t written = 0;
    errno = 0;
    while (written < length) {
        const size_t size = std::min<size_t>(length - written, kPiece);
        std::span<uint8_t> bytes(piece.data(), size);
        if (!call.readBytes(w[1] + written, bytes)) return call.failed();
        size_t done = 0;
        if (handle == FileTable::kConsole) {
            done = console_.writeBlock(bytes);
        } else if (entry->file) {
            done = std::fwrite(bytes.data(), 1, size, entry->file);
        }
        written += static_cast<uint32_t>(done);
        if (done < size) break;
    }
    if (entry && entry->file) saveErrno();
    call.r0 = length - written;
    return Result{};
}

Result Service::read(Call& call) {
    uint32_t w[3];
    if (!call.block(*this, 3, w)) return call.failed();
    const uint32_t handle = w[0];
    const uint32_t length = w[2];
    if (handle == FileTable::kConsole) return readConsole(call, w[1], length);
    FileTable::Entry* entry = files_.find(handle);
    if (!entry) {
        call.r0 = kFailed;
        return Result{};
    }
    std::vector<uint8_t> piece(std::min<size_t>(length, kPiece));
    uint32_t total = 0;
    errno = 0;
    while (total < length) {
        const size_t size = std::min<size_t>(length - total, kPiece);
        size_t got = 0;
        if (entry->file) {
            got = std::fread(piece.data(), 1, size, entry->file);
        } else {
            got = std::min(size, entry->bytes.size() - entry->position);
            std::copy_n(entry->bytes.begin() + static_cast<std::ptrdiff_t>(entry->position), got,
                        piece.begin());
            entry->position += got;
        }
        if (!call.writeBytes(w[1] + total, {piece.data(), got})) return call.failed();
        total += static_cast<uint32_t>(got);
        if (got < size) break;
    }
    if (entry->file) saveErrno();
    call.r0 = length - total;
    return Result{};
}

Result Service::readConsole(Call& call, uint32_t buffer, uint32_t length) {
    std::vector<uint8_t> line(std::min<size_t>(length, kPiece));
    const size_t got = std::min(console_.readLine(line), line.size());
    if (stopRequest_) return Result{Status::Interrupted, 0, 0, std::nullopt};
    if (!call.writeBytes(buffer, {line.data(), got})) return call.failed();
    lastErrno_ = 0;
    call.r0 = length - static_cast<uint32_t>(got);
    return Result{};
}

Result Service::fileLength(Call& call) {
    uint32_t handle = 0;
    if (!call.block(*this, 1, &handle)) return call.failed();
    FileTable::Entry* entry = files_.find(handle);
    call.r0 = kFailed;
    if (entry && entry->file) {
        struct stat info {};
        std::fflush(entry->file);
        if (::fstat(::fileno(entry->file), &info) == 0)
            call.r0 = static_cast<uint32_t>(info.st_size);
    } else if (entry) {
        call.r0 = static_cast<uint32_t>(entry->bytes.size());
    }
    return Result{};
}

Result Service::temporaryName(Call& call) {
    uint32_t w[3];
    if (!call.block(*this, 3, w)) return call.failed();
    // Under a root the name is taken beneath it like any other the program gives.
    const std::string directory = root_.confined() ? "" : std::string(P_tmpdir) + "/";
    const std::string name = directory + "tov-" + std::to_string(::getpid()) + "-" +
                             std::to_string(w[1] & 0xFF) + ".tmp";
    if (name.size() + 1 > w[2]) {
        call.r0 = kFailed;
        return Result{};
    }
    if (!call.writeBytes(w[0], {reinterpret_cast<const uint8_t*>(name.c_str()), name.size() + 1})) {
        return call.failed();
    }
    call.r0 = 0;
    return Result{};
}

Result Service::nameCall(Call& call) {
    const size_t names = call.operation == kRename ? 2 : 1;
    uint32_t w[4];
    if (!call.block(*this, 2 * names, w)) return call.failed();
    std::string text[2];
    for (size_t i = 0; i < names; ++i) {
        if (w[2 * i + 1] > kMaxName) return Result{Status::BadCall, 0, 0, std::nullopt};
    }
    for (size_t i = 0; i < names; ++i) {
        text[i].assign(w[2 * i + 1], '\0');
        if (!call.readBytes(w[2 * i],
                            {reinterpret_cast<uint8_t*>(text[i].data()), text[i].size()})) {
            return call.failed();
        }
        text[i].resize(std::min(text[i].size(), text[i].find('\0')));
    }
    errno = 0;
    int rc = 0;
    if (call.operation == kRemove) {
        rc = root_.remove(text[0]);
    } else if (call.operation == kRename) {
        rc = root_.rename(text[0], text[1]);
    } else if (!systemAllowed_) {
        errno = EPERM;
        rc = -1;
    } else {
        std::fflush(nullptr);
        rc = std::system(text[0].c_str());
        if (rc != -1 && WIFEXITED(rc)) rc = WEXITSTATUS(rc);
    }
    saveErrno();
    call.r0 = static_cast<uint32_t>(rc);
    return Result{};
}

Result Service::commandLineCall(Call& call) {
    uint32_t w[2];
    if (!call.block(*this, 2, w)) return call.failed();
    // The text always ends with its NUL inside the buffer, cut when the buffer is short.
    if (w[1] > 0) {
        const size_t chars = std::min<size_t>(commandLine_.size(), w[1] - 1);
        std::vector<uint8_t> bytes(commandLine_.begin(), commandLine_.begin() + chars);
        bytes.push_back(0);
        if (!call.writeBytes(w[0], bytes)) return call.failed();
    }
    call.r0 = 0;
    return Result{};
}

HeapInfo Service::heapInfo() const {
    if (heap_) return *heap_;
    return HeapInfo{0, topOfMemory_ - kHeapGap, topOfMemory_, topOfMemory_ - kHeapGap};
}

Result Service::heapInfoCall(Call& call) {
    uint32_t address = 0;
    if (!call.block(*this, 1, &address)) return call.failed();
    const HeapInfo info = heapInfo();
    std::vector<uint8_t> bytes(16);
    putWord(bytes, 0, info.heapBase);
    putWord(bytes, 1, info.heapLimit);
    putWord(bytes, 2, info.stackBase);
    putWord(bytes, 3, info.stackLimit);
    if (!call.writeBytes(address, bytes)) return call.failed();
    return Result{};
}

}  // namespace tov::semihost
