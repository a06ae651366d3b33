#include "net/socket_layer.h"

#include <mstcpip.h>
#include <windows.h>

namespace quorvane::net {

namespace {

// The probe count has a socket option since Windows 10 1703; MinGW's headers
// do not name it yet. The value is the Windows SDK's.
constexpr int kTcpKeepCount = 16;

}  // namespace

int startSockets() {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data);
}

void stopSockets() {
    WSACleanup();
}

int lastSocketError() {
    return WSAGetLastError();
}

std::string socketErrorText(int code) {
    char text[256] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                        static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.')) {
        message.pop_back();
    }
    return message.empty() ? "Windows Sockets error " + std::to_string(code) : message;
}

bool isWouldBlock(int code) {
    return code == WSAEWOULDBLOCK;
}

// What accept gives when the connection it was about to return has been
// reset or has timed out in the meantime (Wine reports WSAENOTCONN for a
// connection reset before accept). WSAENETDOWN is left out: on Windows it
// means the network subsystem itself has failed.
bool failedBeforeAccept(int code) {
    switch (code) {
        case WSAECONNRESET:
        case WSAECONNABORTED:
        case WSAENOTCONN:
        case WSAENETRESET:
        case WSAETIMEDOUT:
        case WSAEHOSTUNREACH:
        case WSAENETUNREACH:
        case WSAEHOSTDOWN:
            return true;
        default:
            return false;
    }
}

// An address held with SO_EXCLUSIVEADDRUSE is refused as WSAEACCES.
bool isAddressTaken(int code) {
    return code == WSAEADDRINUSE || code == WSAEACCES;
}

int pendingError(SocketHandle socket) {
    int error = 0;
    int length = sizeof error;
    return getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) == 0 ? error
                                                                                                   : WSAGetLastError();
}

// SIO_KEEPALIVE_VALS sets the idle time and the interval on every Windows
// (and on Wine). The probe count is set where the system knows the option;
// elsewhere (before Windows 10 1703, on Wine) it stays at the system's 10,
// and the upload's own limit on silence ends a dead connection first.
int enableKeepAlive(SocketHandle socket, const KeepAlive& keepAlive) {
    tcp_keepalive values{};
    values.onoff = 1;
    values.keepalivetime = static_cast<ULONG>(std::chrono::milliseconds(keepAlive.idle).count());
    values.keepaliveinterval = static_cast<ULONG>(std::chrono::milliseconds(keepAlive.interval).count());
    DWORD returned = 0;
    if (WSAIoctl(socket, SIO_KEEPALIVE_VALS, &values, sizeof values, nullptr, 0, &returned, nullptr, nullptr) != 0) {
        return WSAGetLastError();
    }
    const DWORD probes = static_cast<DWORD>(keepAlive.probes);
    setsockopt(socket, IPPROTO_TCP, kTcpKeepCount, reinterpret_cast<const char*>(&probes), sizeof probes);
    return 0;
}

void closeSocket(SocketHandle socket) {
    closesocket(socket);
}

int reserveListeningAddress(SocketHandle socket) {
    const BOOL on = TRUE;
    const int result =
        setsockopt(socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
    return result == 0 ? 0 : WSAGetLastError();
}

int setNonBlocking(SocketHandle socket, bool nonBlocking) {
    u_long mode = nonBlocking ? 1 : 0;
    return ioctlsocket(socket, FIONBIO, &mode) == 0 ? 0 : WSAGetLastError();
}

long pendingBytes(SocketHandle socket) {
    u_long count = 0;
    return ioctlsocket(socket, FIONREAD, &count) == 0 ? static_cast<long>(count) : -1;
}

WaitOutcome waitReadable(SocketHandle socket, std::chrono::milliseconds timeout, int& error) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket, &readable);
    const auto milliseconds = static_cast<long>(timeout.count());
    timeval limit{milliseconds / 1000, (milliseconds % 1000) * 1000};
    const int ready = select(0, &readable, nullptr, nullptr, &limit);
    if (ready == SOCKET_ERROR) {
        error = WSAGetLastError();
        return WaitOutcome::Failed;
    }
    return ready == 0 ? WaitOutcome::TimedOut : WaitOutcome::Readable;
}

}  // namespace quorvane::net
