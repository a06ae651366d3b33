#pragma once

// The one place that picks Winsock or BSD sockets. Both speak the same BSD
// calls (socket, bind, listen, accept, recv, setsockopt, getsockname); only
// the handle and length types, start-up, closing, error codes and waiting
// differ, and those live behind socket_layer.h.

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
#include <ws2tcpip.h>

namespace quorvane::net {
using SocketHandle = SOCKET;
using SocketLength = int;
constexpr SocketHandle kInvalidSocket = INVALID_SOCKET;
}  // namespace quorvane::net

#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>

namespace quorvane::net {
using SocketHandle = int;
using SocketLength = socklen_t;
constexpr SocketHandle kInvalidSocket = -1;
}  // namespace quorvane::net

#endif
