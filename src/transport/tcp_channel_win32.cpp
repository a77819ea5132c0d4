#include <winsock2.h>
#include <windows.h>

#include <climits>
#include <cstring>

#include "transport/tcp_channel.h"

namespace {

class WinsockTcpChannel : public TcpChannel {
 public:
  ~WinsockTcpChannel() override {
    Close();
    Cleanup();
  }

  int Startup() override {
    WSADATA data;
    if (WSAStartup(MAKEWORD(1, 1), &data) != 0) return 0;
    if (data.wVersion != MAKEWORD(1, 1)) {
      WSACleanup();
      return 0;
    }
    m_started = true;
    return 1;
  }

  void Cleanup() override {
    if (m_started) {
      WSACleanup();
      m_started = false;
    }
  }

  int Create() override {
    Close();
    m_socket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    return m_socket != INVALID_SOCKET ? 1 : 0;
  }

  int SetReceiveTimeout(uint32_t ms) override {
    DWORD value = ms;
    return setsockopt(m_socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&value), sizeof value) == 0
               ? 1
               : 0;
  }

  int Connect(const uint8_t address[4], uint16_t port) override {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    std::memcpy(&sa.sin_addr.s_addr, address, 4);
    return connect(m_socket, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0 ? 1 : 0;
  }

  int64_t Send(const uint8_t* data, size_t length) override {
    // send() takes an int count; only a buffer above 2 GiB needs more than one call.
    int64_t total = 0;
    do {
      size_t chunk = length - static_cast<size_t>(total);
      if (chunk > static_cast<size_t>(INT_MAX)) chunk = static_cast<size_t>(INT_MAX);
      int n = send(m_socket, reinterpret_cast<const char*>(data + total), static_cast<int>(chunk), 0);
      if (n == SOCKET_ERROR) return total > 0 ? total : -1;
      total += n;
      if (static_cast<size_t>(n) != chunk) break;
    } while (static_cast<size_t>(total) < length);
    return total;
  }

  int64_t Receive(uint8_t* buffer, size_t length) override {
    int count = length > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(length);
    int n = recv(m_socket, reinterpret_cast<char*>(buffer), count, 0);
    return n == SOCKET_ERROR ? -1 : n;
  }

  void Close() override {
    if (m_socket != INVALID_SOCKET) {
      int saved = WSAGetLastError();
      closesocket(m_socket);
      WSASetLastError(saved);
      m_socket = INVALID_SOCKET;
    }
  }

  uint32_t LastError() override { return static_cast<uint32_t>(WSAGetLastError()); }

 private:
  bool m_started = false;
  SOCKET m_socket = INVALID_SOCKET;
};

}  // namespace

std::unique_ptr<TcpChannel> CreateSystemTcpChannel() { return std::make_unique<WinsockTcpChannel>(); }
