// The Windows headers depend on this order.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <mstcpip.h>
// clang-format on

#include <climits>

#include "net/socket_layer.h"

const size_t SOCKET_CALL_MAX = INT_MAX;
const int SOCKET_ERROR_NOT_SOCKET = WSAENOTSOCK;
const int SOCKET_ERROR_INVALID = WSAEINVAL;
const int SOCKET_ERROR_MESSAGE_SIZE = WSAEMSGSIZE;
const int SOCKET_ERROR_ADDRESS_NOT_AVAILABLE = WSAEADDRNOTAVAIL;
const int SOCKET_ERROR_TIMED_OUT = WSAETIMEDOUT;

SocketLibrary::SocketLibrary(uint8_t major, uint8_t minor) {
  WSADATA data;
  m_error = WSAStartup(MAKEWORD(major, minor), &data);
  if (m_error != 0) return;
  m_held = true;
  m_major = LOBYTE(data.wVersion);
  m_minor = HIBYTE(data.wVersion);
}

void SocketLibrary::Release() {
  if (m_held) WSACleanup();
  m_held = false;
}

int SocketLastError() { return WSAGetLastError(); }
void SetSocketLastError(int code) { WSASetLastError(code); }
// Nothing interrupts a Winsock call that the program would make again.
bool SocketCallInterrupted(int) { return false; }
bool SocketTimedOut(int code) { return code == WSAETIMEDOUT; }
// WSAECONNRESET is a port-unreachable report for an earlier send (the guard
// thread reports it); WSAEMSGSIZE an answer too long for any of ours.
bool DatagramErrorIsTransient(int code) {
  return code == WSAECONNRESET || code == WSAEMSGSIZE || code == WSAENETRESET;
}

int Socket::Close() {
  if (!m_open) return 0;
  m_open = false;
  return closesocket(static_cast<SOCKET>(m_handle)) == 0 ? 0 : WSAGetLastError();
}

int Socket::SetReceiveTimeout(uint32_t ms) {
  DWORD timeout = ms;
  if (setsockopt(static_cast<SOCKET>(m_handle), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
                 sizeof timeout) != 0)
    return WSAGetLastError();
  return 0;
}

int Socket::SetReceiveAll() {
  DWORD on = RCVALL_ON;
  DWORD returned = 0;
  if (WSAIoctl(static_cast<SOCKET>(m_handle), SIO_RCVALL, &on, sizeof on, nullptr, 0, &returned, nullptr, nullptr) != 0)
    return WSAGetLastError();
  return 0;
}

int Socket::WaitReadable(uint32_t timeoutMs) {
  SOCKET s = static_cast<SOCKET>(m_handle);
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(s, &readable);
  timeval tv;
  tv.tv_sec = static_cast<long>(timeoutMs / 1000);
  tv.tv_usec = static_cast<long>((timeoutMs % 1000) * 1000);
  int ready = select(0, &readable, nullptr, nullptr, &tv);
  return ready == SOCKET_ERROR ? -1 : ready;
}

int Socket::WaitWritable(uint32_t timeoutMs) {
  SOCKET s = static_cast<SOCKET>(m_handle);
  fd_set writable;
  fd_set failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(s, &writable);
  FD_SET(s, &failed);
  timeval tv;
  tv.tv_sec = static_cast<long>(timeoutMs / 1000);
  tv.tv_usec = static_cast<long>((timeoutMs % 1000) * 1000);
  int ready = select(0, nullptr, &writable, &failed, &tv);
  return ready == SOCKET_ERROR ? -1 : ready > 0 ? 1 : 0;
}

// Winsock has no per-call flag for this: the socket is non-blocking for the
// one call only, so its receives keep their time-out.
int64_t Socket::SendNow(const uint8_t* data, size_t size) {
  SOCKET s = static_cast<SOCKET>(m_handle);
  u_long mode = 1;
  if (ioctlsocket(s, FIONBIO, &mode) != 0) return -1;
  int n = send(s, reinterpret_cast<const char*>(data), static_cast<int>(size > INT_MAX ? INT_MAX : size), 0);
  const int error = n == SOCKET_ERROR ? WSAGetLastError() : 0;
  mode = 0;
  if (ioctlsocket(s, FIONBIO, &mode) != 0) return -1;
  if (n != SOCKET_ERROR) return n;
  if (error == WSAEWOULDBLOCK) return 0;
  WSASetLastError(error);
  return -1;
}
