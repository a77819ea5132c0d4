#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include "transport/tcp_channel.h"

namespace {

class PosixTcpChannel : public TcpChannel {
 public:
  ~PosixTcpChannel() override { Close(); }

  int Startup() override { return 1; }
  void Cleanup() override {}

  int Create() override {
    Close();
    m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    return m_fd >= 0 ? 1 : 0;
  }

  int SetReceiveTimeout(uint32_t ms) override {
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(ms / 1000);
    tv.tv_usec = static_cast<suseconds_t>((ms % 1000) * 1000);
    return setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) == 0 ? 1 : 0;
  }

  int Connect(const uint8_t address[4], uint16_t port) override {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    std::memcpy(&sa.sin_addr.s_addr, address, 4);
    int rc;
    do {
      rc = connect(m_fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    } while (rc != 0 && errno == EINTR);
    return rc == 0 ? 1 : 0;
  }

  int64_t Send(const uint8_t* data, size_t length) override {
    // A peer that closes mid-data must give a failed send, not SIGPIPE.
    ssize_t n;
    do {
      n = send(m_fd, data, length, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    return n < 0 ? -1 : static_cast<int64_t>(n);
  }

  int64_t Receive(uint8_t* buffer, size_t length) override {
    ssize_t n;
    do {
      n = recv(m_fd, buffer, length, 0);
    } while (n < 0 && errno == EINTR);
    return n < 0 ? -1 : static_cast<int64_t>(n);
  }

  void Close() override {
    if (m_fd >= 0) {
      int saved = errno;
      close(m_fd);
      errno = saved;
      m_fd = -1;
    }
  }

  uint32_t LastError() override { return static_cast<uint32_t>(errno); }

 private:
  int m_fd = -1;
};

}  // namespace

std::unique_ptr<TcpChannel> CreateSystemTcpChannel() { return std::make_unique<PosixTcpChannel>(); }
