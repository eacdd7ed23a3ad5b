// The semihosting console of the GDB server: the program's output goes to the client's console
// as "O" packets, or to the server's own terminal; input comes from the server's terminal,
// read so that the client's Ctrl-C cuts a wait for it short.
#pragma once

#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "gdb/channel.h"
#include "semihost/target_access.h"

namespace tov::gdb {

class ServerConsole : public semihost::Console {
public:
    // Output goes to `channel` while one is attached and forwarding is on, else to stdout.
    void attach(Channel* channel) { channel_ = channel; }
    void setForwarding(bool forward) { forward_ = forward; }
    // Asked now and then while input is awaited: true gives the wait up (the bytes read so far
    // are kept for the next read). None: the wait lasts until input comes.
    void setInterruptCheck(std::function<bool()> check) { interrupted_ = std::move(check); }

    void writeChar(uint8_t character) override;
    size_t writeBlock(std::span<const uint8_t> data) override;
    size_t readLine(std::span<uint8_t> out) override;
    int readChar() override;

private:
    // The next byte of input, or EOF at its end, or nullopt when the wait was given up.
    std::optional<int> nextByte();

    Channel* channel_ = nullptr;
    std::function<bool()> interrupted_;
    // Input read by a wait that was given up: the start of the next read.
    std::string held_;
    bool forward_ = true;
};

}  // namespace tov::gdb
