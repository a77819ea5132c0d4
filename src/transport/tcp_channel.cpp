#include "transport/tcp_channel.h"

#include "host/logger.h"
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
  void SetSendTimeout(uint32_t ms) override { m_sendTimeoutMs = ms; }
  void SetSendStop(std::function<bool()> stopped) override { m_stopped = std::move(stopped); }

  int Connect(const uint8_t address[4], uint16_t port) override {
    return m_socket.Connect(Ipv4Endpoint(address, port)) == 0 ? 1 : 0;
  }

  // A printer that stops reading fills the socket's buffers; a blocking send
  // would then wait for ever. The send waits for room a slice at a time, so
  // both its time-out and a stop request end it.
  int64_t Send(const uint8_t* data, size_t length) override {
    size_t total = 0;
    uint32_t idleMs = 0;
    while (total < length) {
      const int64_t n = m_socket.SendNow(data + total, length - total);
      if (n < 0) return total > 0 ? static_cast<int64_t>(total) : -1;
      if (n > 0) idleMs = 0;
      total += static_cast<size_t>(n);
      if (total == length) break;
      // Less was taken than offered: the buffers are full until the printer reads.
      if (m_stopped && m_stopped()) return Ended(L"The run was interrupted: the send ends.");
      if (idleMs >= m_sendTimeoutMs) {
        Logger::Instance()->Write(L"ERROR: the printer took no data for %u ms: the send ends.", m_sendTimeoutMs);
        return Ended(nullptr);
      }
      const uint32_t left = m_sendTimeoutMs - idleMs;
      const uint32_t slice = left < TCP_SEND_SLICE_MS ? left : TCP_SEND_SLICE_MS;
      const int ready = m_socket.WaitWritable(slice);
      if (ready < 0) return total > 0 ? static_cast<int64_t>(total) : -1;
      // Room reported but none taken counts a little, so that even that ends.
      idleMs += ready == 0 ? slice : 1;
    }
    return static_cast<int64_t>(total);
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
  // A send cut off: logs `line` (when set) and reports the time-out error.
  static int64_t Ended(const wchar_t* line) {
    if (line) Logger::Instance()->Write(L"%ls", line);
    SetSocketLastError(SOCKET_ERROR_TIMED_OUT);
    return -1;
  }

  SocketLibrary m_library;
  Socket m_socket;
  uint32_t m_sendTimeoutMs = 0;
  std::function<bool()> m_stopped;
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
