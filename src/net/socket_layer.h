#pragma once

#include <chrono>
#include <string>

#include "net/socket_platform.h"

namespace quorvane::net {

// Starts the socket library (WSAStartup 2.2 on Windows); 0 or the error code.
int startSockets();

// Ends one successful startSockets (WSACleanup on Windows).
void stopSockets();

// The error code of the socket call that failed last on this thread
// (WSAGetLastError or errno). Call it right after the failing call.
int lastSocketError();

// The system's text for a socket error code.
std::string socketErrorText(int code);

// True for the code a non-blocking call gives when it would have to wait.
bool isWouldBlock(int code);

// True for an error that belongs to one incoming connection, which was reset
// or aborted before it could be accepted, and not to the listening socket:
// the listener may go on accepting others.
bool failedBeforeAccept(int code);

// True for a bind error that says another socket holds the address.
bool isAddressTaken(int code);

// The error pending on a socket (SO_ERROR), 0 when none; reading clears it.
int pendingError(SocketHandle socket);

// TCP keep-alive: the first probe after `idle` without traffic, then one
// every `interval`; after `probes` unanswered ones the connection fails.
struct KeepAlive {
    std::chrono::seconds idle;
    std::chrono::seconds interval;
    int probes;
};

// 0 or the error code of the setting that failed.
int enableKeepAlive(SocketHandle socket, const KeepAlive& keepAlive);

void closeSocket(SocketHandle socket);

// Keeps the listening port ours: on POSIX SO_REUSEADDR (a new run may bind
// while the last run's connection sits in TIME_WAIT), on Windows
// SO_EXCLUSIVEADDRUSE (no other program may bind over it). 0 or the error.
int reserveListeningAddress(SocketHandle socket);

// 0 or the error code.
int setNonBlocking(SocketHandle socket, bool nonBlocking);

// Bytes that have arrived and wait to be read, or -1 when that cannot be told.
long pendingBytes(SocketHandle socket);

enum class WaitOutcome { Readable, TimedOut, Failed };

// Waits until `socket` can be read (data, a new connection, the peer's close
// or an error) or `timeout` has passed. On Failed, `error` holds the code.
WaitOutcome waitReadable(SocketHandle socket, std::chrono::milliseconds timeout, int& error);

}  // namespace quorvane::net
