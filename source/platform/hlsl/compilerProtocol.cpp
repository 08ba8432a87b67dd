#include "platform/hlsl/compilerProtocol.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

namespace Hlsl::Protocol {
namespace {

bool SendAll(int socket, const char* data, size_t size, const Wait& wait) {
    while (size > 0) {
        // MSG_NOSIGNAL: a compiler process that died must not take the player down with SIGPIPE.
        const ssize_t sent = send(socket, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent > 0) {
            data += sent;
            size -= static_cast<size_t>(sent);
        } else if (sent < 0 && errno == EINTR) {
            continue;
        } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!wait(socket, POLLOUT)) return false;
        } else {
            return false;
        }
    }
    return true;
}

bool ReceiveAll(int socket, char* data, size_t size, const Wait& wait) {
    while (size > 0) {
        const ssize_t got = recv(socket, data, size, MSG_DONTWAIT);
        if (got > 0) {
            data += got;
            size -= static_cast<size_t>(got);
        } else if (got < 0 && errno == EINTR) {
            continue;
        } else if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!wait(socket, POLLIN)) return false;
        } else {
            return false;  // end of stream: the peer is gone
        }
    }
    return true;
}

}  // namespace

bool WaitForever(int socket, short events) {
    pollfd entry{socket, events, 0};
    while (true) {
        const int ready = poll(&entry, 1, -1);
        if (ready > 0) return true;
        if (ready < 0 && errno != EINTR) return false;
    }
}

bool Send(int socket, Message type, const std::string& payload, const Wait& wait) {
    if (payload.size() > kMaxMessageBytes) return false;
    char header[5] = {static_cast<char>(type)};
    for (int i = 0; i < 4; ++i) header[1 + i] = static_cast<char>(uint32_t(payload.size()) >> (8 * i));
    return SendAll(socket, header, sizeof header, wait) &&
           SendAll(socket, payload.data(), payload.size(), wait);
}

bool Receive(int socket, Message& type, std::string& payload, const Wait& wait) {
    char header[5];
    if (!ReceiveAll(socket, header, sizeof header, wait)) return false;
    uint32_t size = 0;
    for (int i = 0; i < 4; ++i) size |= uint32_t(static_cast<uint8_t>(header[1 + i])) << (8 * i);
    const auto kind = static_cast<uint8_t>(header[0]);
    if (kind < 1 || kind > 4 || size > kMaxMessageBytes) return false;
    type = static_cast<Message>(kind);
    payload.resize(size);
    return ReceiveAll(socket, payload.data(), size, wait);
}

}  // namespace Hlsl::Protocol
