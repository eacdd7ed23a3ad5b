// The byte stream to one GDB client, as the server session sees it.
#pragma once

#include <string>
#include <string_view>

namespace tov::gdb {

class Channel {
public:
    virtual ~Channel() = default;
    // False when the client has gone.
    virtual bool send(std::string_view bytes) = 0;
    // Appends what arrives within `timeoutMs` (0: only what is there now, -1: wait for
    // something). False when the client has gone.
    virtual bool receive(std::string& bytes, int timeoutMs) = 0;
};

}  // namespace tov::gdb
