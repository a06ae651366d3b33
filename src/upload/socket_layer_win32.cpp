#include "upload/socket_layer.h"

#include <windows.h>

namespace upload {

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

WaitOutcome waitReadable(SocketHandle socket, int timeoutMs, int& error) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket, &readable);
    timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    const int ready = select(0, &readable, nullptr, nullptr, &limit);
    if (ready == SOCKET_ERROR) {
        error = WSAGetLastError();
        return WaitOutcome::Failed;
    }
    return ready == 0 ? WaitOutcome::TimedOut : WaitOutcome::Readable;
}

}  // namespace upload
