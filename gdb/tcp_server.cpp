// The GDB server's listening socket and client channel over POSIX sockets.
#include "gdb/tcp_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "gdb/packet.h"

namespace tov::gdb {

SocketChannel::~SocketChannel() {
    ::close(fd_);
}

bool SocketChannel::send(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

bool SocketChannel::receive(std::string& bytes, int timeoutMs) {
    pollfd pfd{fd_, POLLIN, 0};
    const int ready = ::poll(&pfd, 1, timeoutMs);
    if (ready < 0) return errno == EINTR;
    if (ready == 0) return true;
    char buffer[4096];
    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n < 0) return errno == EINTR || errno == EAGAIN;
    if (n == 0) return false;
    bytes.append(buffer, static_cast<size_t>(n));
    return true;
}

Listener::~Listener() {
    if (fd_ >= 0) ::close(fd_);
}

std::string Listener::listen(const std::string& where) {
    const size_t colon = where.rfind(':');
    const std::string host = colon == std::string::npos ? "" : where.substr(0, colon);
    const std::string portText = colon == std::string::npos ? where : where.substr(colon + 1);
    char* end = nullptr;
    const unsigned long port = std::strtoul(portText.c_str(), &end, 10);
    if (portText.empty() || *end != '\0' || port > 65535) return "bad port in '" + where + "'";
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (host.empty()) {
        // A bare port is for this machine only: whoever reaches the server controls the target.
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    } else if (::inet_pton(AF_INET, host == "localhost" ? "127.0.0.1" : host.c_str(),
                           &address.sin_addr) != 1) {
        return "bad address in '" + where + "'";
    }
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return std::strerror(errno);
    const int on = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd_, 1) != 0) {
        return "cannot listen on " + where + ": " + std::strerror(errno);
    }
    socklen_t length = sizeof address;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    host_ = ntohl(address.sin_addr.s_addr);
    return {};
}

std::string Listener::address() const {
    in_addr host{htonl(host_)};
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &host, text, sizeof text);
    return std::string(text) + ":" + std::to_string(port_);
}

bool Listener::loopback() const {
    return (host_ >> 24) == 127;
}

int Listener::accept(int timeoutMs) {
    pollfd pfd{fd_, POLLIN, 0};
    if (timeoutMs >= 0) {
        const int ready = ::poll(&pfd, 1, timeoutMs);
        if (ready == 0 || (ready < 0 && errno == EINTR)) return -2;
        if (ready < 0) return -1;
    }
    for (;;) {
        const int client = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client >= 0) {
            const int on = 1;
            ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            return client;
        }
        if (errno != EINTR) return -1;
    }
}

std::string peerName(int fd) {
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0) return "unknown";
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(peer.sin_port));
}

void refuseClient(int fd, const std::string& message) {
    SocketChannel channel(fd);
    PacketReader reader(4096);
    std::vector<Incoming> got;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (std::chrono::steady_clock::now() < deadline) {
        std::string bytes;
        if (!channel.receive(bytes, 100)) return;
        reader.feed(bytes, got);
        if (std::any_of(got.begin(), got.end(),
                        [](const Incoming& in) { return in.kind == Incoming::Kind::Packet; }))
            break;
    }
    // GDB shows an error reply's text after "E." as the reason it failed.
    channel.send("+" + framePacket("E." + message));
    ::shutdown(fd, SHUT_WR);
    std::string rest;
    channel.receive(rest, 100);
}

}  // namespace tov::gdb
