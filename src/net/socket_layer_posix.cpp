#include <errno.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <climits>

#include "net/socket_layer.h"

const size_t SOCKET_CALL_MAX = SSIZE_MAX;
const int SOCKET_ERROR_NOT_SOCKET = EBADF;
const int SOCKET_ERROR_INVALID = EINVAL;
const int SOCKET_ERROR_MESSAGE_SIZE = EMSGSIZE;
const int SOCKET_ERROR_ADDRESS_NOT_AVAILABLE = EADDRNOTAVAIL;
const int SOCKET_ERROR_TIMED_OUT = ETIMEDOUT;

SocketLibrary::SocketLibrary(uint8_t major, uint8_t minor) : m_held(true), m_major(major), m_minor(minor) {}
void SocketLibrary::Release() { m_held = false; }

int SocketLastError() { return errno; }
void SetSocketLastError(int code) { errno = code; }
bool SocketCallInterrupted(int code) { return code == EINTR; }
bool SocketTimedOut(int code) { return code == EAGAIN || code == EWOULDBLOCK; }
bool DatagramErrorIsTransient(int code) {
  return code == ECONNREFUSED || code == EINTR || code == EAGAIN || code == EHOSTUNREACH || code == ENETUNREACH;
}

int Socket::Close() {
  if (!m_open) return 0;
  m_open = false;
  return close(static_cast<int>(m_handle)) == 0 ? 0 : errno;
}

int Socket::SetReceiveTimeout(uint32_t ms) {
  timeval tv{};
  tv.tv_sec = static_cast<time_t>(ms / 1000);
  tv.tv_usec = static_cast<suseconds_t>((ms % 1000) * 1000);
  return setsockopt(static_cast<int>(m_handle), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) == 0 ? 0 : errno;
}

int Socket::SetReceiveAll() { return EOPNOTSUPP; }

int Socket::WaitReadable(uint32_t timeoutMs) {
  pollfd p{static_cast<int>(m_handle), POLLIN, 0};
  int ready = poll(&p, 1, static_cast<int>(timeoutMs > 0x7FFFFFFF ? 0x7FFFFFFF : timeoutMs));
  return ready > 0 ? 1 : ready;
}

int Socket::WaitWritable(uint32_t timeoutMs) {
  pollfd p{static_cast<int>(m_handle), POLLOUT, 0};
  int ready = poll(&p, 1, static_cast<int>(timeoutMs > 0x7FFFFFFF ? 0x7FFFFFFF : timeoutMs));
  return ready > 0 ? 1 : ready;
}

int64_t Socket::SendNow(const uint8_t* data, size_t size) {
  if (size > SOCKET_CALL_MAX) size = SOCKET_CALL_MAX;
  ssize_t n;
  do {
    // MSG_NOSIGNAL: a peer gone mid-data gives a failed send, not SIGPIPE.
    n = send(static_cast<int>(m_handle), data, size, MSG_DONTWAIT | MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return 0;
  return n;
}
