#pragma once

#include <string>

#include "upload/socket_platform.h"

namespace upload {

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
// or an error) or `timeoutMs` has passed. On Failed, `error` holds the code.
WaitOutcome waitReadable(SocketHandle socket, int timeoutMs, int& error);

}  // namespace upload
