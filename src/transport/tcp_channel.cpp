#include "transport/tcp_channel.h"

#include "net/socket_layer.h"

namespace {

class SystemTcpChannel : public TcpChannel {
 public:
  ~SystemTcpChannel() override {
    Close();
    Cleanup();
  }

  // Printer connections ask for version 1.1 and take nothing else.
  int Startup() override {
    m_library = SocketLibrary(1, 1);
    if (m_library.Granted(1, 1)) return 1;
    m_library.Release();
    return 0;
  }

  void Cleanup() override { m_library.Release(); }

  int Create() override { return m_socket.OpenStreamIpv4() == 0 ? 1 : 0; }

  int SetReceiveTimeout(uint32_t ms) override { return m_socket.SetReceiveTimeout(ms) == 0 ? 1 : 0; }

  int Connect(const uint8_t address[4], uint16_t port) override {
    return m_socket.Connect(Ipv4Endpoint(address, port)) == 0 ? 1 : 0;
  }

  int64_t Send(const uint8_t* data, size_t length) override {
    // One call takes at most SOCKET_CALL_MAX bytes; only a larger buffer needs more.
    int64_t total = 0;
    do {
      size_t chunk = length - static_cast<size_t>(total);
      if (chunk > SOCKET_CALL_MAX) chunk = SOCKET_CALL_MAX;
      int64_t n = m_socket.Send(data + total, chunk);
      if (n < 0) return total > 0 ? total : -1;
      total += n;
      if (static_cast<size_t>(n) != chunk) break;
    } while (static_cast<size_t>(total) < length);
    return total;
  }

  int64_t Receive(uint8_t* buffer, size_t length) override {
    int64_t n = m_socket.Receive(buffer, length);
    return n < 0 ? -1 : n;
  }

  void Close() override {
    // The caller logs the error of the call that failed, not the close's.
    int saved = SocketLastError();
    m_socket.Close();
    SetSocketLastError(saved);
  }

  uint32_t LastError() override { return static_cast<uint32_t>(SocketLastError()); }

 private:
  SocketLibrary m_library;
  Socket m_socket;
};

}  // namespace

std::unique_ptr<TcpChannel> CreateSystemTcpChannel() { return std::make_unique<SystemTcpChannel>(); }

int ParseDottedIPv4(const char* text, uint8_t out[4]) {
  if (!text) return 0;
  const char* p = text;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (*p != '.') return 0;
      ++p;
    }
    int digits = 0;
    unsigned value = 0;
    while (*p >= '0' && *p <= '9') {
      value = value * 10 + static_cast<unsigned>(*p - '0');
      ++p;
      if (++digits > 3 || value > 255) return 0;
    }
    if (digits == 0) return 0;
    out[part] = static_cast<uint8_t>(value);
  }
  return *p == 0 ? 1 : 0;
}
