// The program's semihosting calls carried out by GDB through the remote protocol's File-I/O
// extension: the server sends an F request in place of a stop reply, GDB reads and writes the
// buffers it names in target memory with m and M/X packets, does the host call on its own host
// and answers with an F reply; the call's result then goes back to the program.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "semihost/probe_access.h"
#include "semihost/service.h"

namespace tov::gdb {

// GDB's answer to one request: "F" retcode [ "," errno [ ",C" ] ] [ ";" attachment ].
struct FileIoReply {
    int64_t result = 0;
    uint32_t error = 0;        // GDB's errno number (the C library's own for those it has)
    bool interrupted = false;  // the user pressed Ctrl-C while GDB served the request
};

// Parses an F reply strictly: a hex return code (-1 or 0..0xFFFFFFFF), an optional hex errno
// of at most 8 digits and an optional C flag, nothing else before an attachment. nullopt for
// anything malformed.
std::optional<FileIoReply> parseFileIoReply(std::string_view payload);

// The client side of the exchange: sends the request and serves the client's memory packets
// until its F reply comes; nullopt when the client went away.
class FileIoClient {
public:
    virtual ~FileIoClient() = default;
    virtual std::optional<std::string> fileRequest(const std::string& request) = 0;
};

// Serves the console and file calls through GDB; the others (heap info, command line, clock,
// exit and the feature description) go to the host's service as in the server's own mode.
class FileIoService : public semihost::CallHandler {
public:
    // The handles the program gets for GDB's descriptors, far from the host service's own.
    static constexpr uint32_t kFirstHandle = 0x10000;
    static constexpr size_t kMaxOpen = 64;
    // Data moves in requests of this many bytes at most.
    static constexpr uint32_t kPiece = 0x10000;
    // SYS_WRITE0 text is cut after this many bytes.
    static constexpr uint32_t kMaxText = 0x10000;

    // `stopRequest` is raised when GDB reports a Ctrl-C with a finished call, so that the run
    // stops after it.
    FileIoService(FileIoClient& client, semihost::Service& host, semihost::ProbeRequests& probe,
                  std::atomic<bool>& stopRequest);

    semihost::Result serve(semihost::TargetAccess& target) override;

private:
    struct Call;
    enum class Outcome { Done, Interrupted, Gone };

    semihost::Result dispatch(Call& call);
    semihost::Result open(Call& call);
    semihost::Result close(Call& call, uint32_t handle);
    semihost::Result write(Call& call, int32_t fd, uint32_t buffer, uint32_t length);
    semihost::Result read(Call& call, int32_t fd, uint32_t buffer, uint32_t length);
    semihost::Result writeText(Call& call);
    semihost::Result readChar(Call& call);
    semihost::Result seek(Call& call, int32_t fd, uint32_t position);
    semihost::Result fileLength(Call& call, int32_t fd);
    semihost::Result nameCall(Call& call);
    semihost::Result time(Call& call);
    // Sends one request; the reply, or why there is none (the call then ends with `stop`).
    std::optional<FileIoReply> ask(Call& call, const std::string& request);
    // A name of the parameter block, checked to end with its NUL where the program says: the
    // "ptr/len" text of the request, or nullopt (the call fails with r0 -1).
    std::optional<std::string> name(Call& call, uint32_t address, uint32_t length);
    // A few bytes of scratch memory below the stack of the current mode, for the calls whose
    // answer GDB writes into target memory but the program gave no buffer for.
    std::optional<uint32_t> scratch(Call& call);
    std::optional<int32_t> descriptor(uint32_t handle) const;

    FileIoClient& client_;
    semihost::Service& host_;
    semihost::ProbeRequests& probe_;
    std::atomic<bool>& stopRequest_;
    std::map<uint32_t, int32_t> handles_;
    uint32_t lastErrno_ = 0;
};

}  // namespace tov::gdb
