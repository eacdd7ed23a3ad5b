// The GDB server's TCP side: a listening socket that takes one client at a time, and the
// client's byte stream as a channel.
#pragma once

#include <cstdint>
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

    // "ADDR:PORT", or ":PORT" or "PORT" for the loopback address only; port 0 picks a free one.
    // Empty text on success, else what went wrong.
    std::string listen(const std::string& where);
    // The port listened on.
    int port() const { return port_; }
    // "ADDR:PORT" listened on.
    std::string address() const;
    // Whether only this machine can reach it (an address in 127.0.0.0/8).
    bool loopback() const;
    // Waits for the next client; its socket, or -1 (-2 when none came within `timeoutMs`).
    int accept(int timeoutMs = -1);

private:
    int fd_ = -1;
    int port_ = 0;
    uint32_t host_ = 0;
};

// "ADDR:PORT" of a connected socket's peer.
std::string peerName(int fd);

// Turns a client away: answers its first packet (waiting up to a second for it) with an error
// carrying `message`, which GDB shows, and closes the connection.
void refuseClient(int fd, const std::string& message);

}  // namespace tov::gdb
