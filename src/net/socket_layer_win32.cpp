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
