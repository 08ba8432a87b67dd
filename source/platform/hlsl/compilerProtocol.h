// The conversation between the player and its compiler process over one stream socket. Each message
// is a type byte, a 32-bit length and that many bytes (see wireFormat.h):
//   player   -> compiler  Compile       source, file name, entry point, target, loop budget
//   compiler -> player    Include       requested name, including file   (any number, in order)
//   player   -> compiler  IncludeReply  found (byte), contents
//   compiler -> player    Result        compiled (byte), then the shader code or the error text
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace Hlsl::Protocol {

enum class Message : uint8_t { Compile = 1, Include = 2, IncludeReply = 3, Result = 4 };

/// The largest message either side accepts: a source at its limit with room for the strings around it.
constexpr size_t kMaxMessageBytes = size_t(40) << 20;

/// Called when the socket would block, with poll's event (POLLIN or POLLOUT) to wait for; false gives
/// up the transfer.
using Wait = std::function<bool(int socket, short events)>;

/// A Wait that blocks until the socket is ready.
bool WaitForever(int socket, short events);

/// Sends one message; false when the peer is gone or `wait` gave up.
bool Send(int socket, Message type, const std::string& payload, const Wait& wait);
/// Receives one message; false when the peer is gone, the message is malformed or too large, or
/// `wait` gave up.
bool Receive(int socket, Message& type, std::string& payload, const Wait& wait);

}  // namespace Hlsl::Protocol
