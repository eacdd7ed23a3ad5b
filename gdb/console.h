// The semihosting console of the GDB server: the program's output goes to the client's console
// as "O" packets, or to the server's own terminal; input comes from the server's terminal.
#pragma once

#include <cstdio>

#include "gdb/channel.h"
#include "semihost/target_access.h"

namespace tov::gdb {

class ServerConsole : public semihost::Console {
public:
    // Output goes to `channel` while one is attached and forwarding is on, else to stdout.
    void attach(Channel* channel) { channel_ = channel; }
    void setForwarding(bool forward) { forward_ = forward; }

    void writeChar(uint8_t character) override;
    size_t writeBlock(std::span<const uint8_t> data) override;
    size_t readLine(std::span<uint8_t> out) override;
    int readChar() override;

private:
    Channel* channel_ = nullptr;
    bool forward_ = true;
};

}  // namespace tov::gdb
