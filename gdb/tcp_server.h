// The GDB server's TCP side: a listening socket that takes one client at a time, and the
// client's byte stream as a channel.
#pragma once

#include <string>

#include "gdb/channel.h"

namespace tov::gdb {

class SocketChannel : public Channel {
public:
    explicit SocketChannel(int fd) : fd_(fd) {}
    ~SocketChannel() override;
    SocketChannel(const SocketChannel&) = delete;
    SocketChannel& operator=(const SocketChannel&) = delete;

    bool send(std::string_view bytes) override;
    bool receive(std::string& bytes, int timeoutMs) override;

private:
    int fd_;
};

class Listener {
public:
    Listener() = default;
    ~Listener();
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    // "ADDR:PORT" or ":PORT" or "PORT" (any address); port 0 picks a free one. Empty text on
    // success, else what went wrong.
    std::string listen(const std::string& where);
    // The port listened on.
    int port() const { return port_; }
    // Waits for the next client; its socket, or -1.
    int accept();

private:
    int fd_ = -1;
    int port_ = 0;
};

}  // namespace tov::gdb
