#pragma once
// The program's one socket layer. Winsock (socket_layer_win32.cpp) and BSD
// sockets (socket_layer_posix.cpp) differ in the handle type, the library
// start, the close, the last error and the time-out units; socket_layer.cpp
// makes the calls both share. Error codes are the platform's own.

#include <cstddef>
#include <cstdint>
#include <utility>

// Holds one start of the socket library for its lifetime. The system counts
// starts, so every holder releases exactly the start it made. Elsewhere there
// is nothing to start and every version is granted.
class SocketLibrary {
 public:
  SocketLibrary() = default;  // holds nothing
  SocketLibrary(uint8_t major, uint8_t minor);
  ~SocketLibrary() { Release(); }
  SocketLibrary(SocketLibrary&& other) noexcept { *this = std::move(other); }
  SocketLibrary& operator=(SocketLibrary&& other) noexcept {
    if (this != &other) {
      Release();
      m_error = other.m_error;
      m_held = std::exchange(other.m_held, false);
      m_major = other.m_major;
      m_minor = other.m_minor;
    }
    return *this;
  }

  // 0, or the start-up error code (nothing is held then).
  int Error() const { return m_error; }
  // Started and granted exactly this version.
  bool Granted(uint8_t major, uint8_t minor) const { return m_held && major == m_major && minor == m_minor; }
  // Gives the start back (nothing when none is held).
  void Release();

 private:
  int m_error = 0;
  bool m_held = false;
  uint8_t m_major = 0;
  uint8_t m_minor = 0;
};

using SocketHandle = uintptr_t;
constexpr SocketHandle SOCKET_HANDLE_NONE = ~SocketHandle(0);

// A socket address as the system lays it out (IPv4 or IPv6).
struct SocketEndpoint {
  alignas(8) uint8_t bytes[128] = {};
  size_t size = 0;
};

// The numeric address text (either family) and port: 0 or the error code.
int NumericEndpoint(const char* address, uint16_t port, SocketEndpoint* out);
// IPv4 address bytes in network order and a port.
SocketEndpoint Ipv4Endpoint(const uint8_t address[4], uint16_t port);
// The first IPv4 address of the local host name, with `port`.
int LocalHostIpv4Endpoint(uint16_t port, SocketEndpoint* out);
// Same family, address and port.
bool SameEndpoint(const SocketEndpoint& a, const SocketEndpoint& b);
// The IPv4 address as dotted text ("" for another family).
void Ipv4EndpointText(const SocketEndpoint& endpoint, char* text, size_t textSize);

// The local computer's name; 0 or the error code.
int LocalHostName(char* out, size_t outSize);

// The last socket error of the calling thread.
int SocketLastError();
void SetSocketLastError(int code);
// Whether a call that failed with `code` is simply made again (a signal
// interrupted it; POSIX only).
bool SocketCallInterrupted(int code);
// Whether a receive that failed with `code` is the receive time-out.
bool SocketTimedOut(int code);
// Whether a datagram receive that failed with `code` reports something else
// than this datagram (an ICMP error for an earlier send, an interruption, an
// over-long datagram): the caller goes on waiting.
bool DatagramErrorIsTransient(int code);

// An owned socket, closed once.
class Socket {
 public:
  Socket() = default;
  ~Socket() { Close(); }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  // Each returns 0 or the error code.
  int OpenDatagram(const SocketEndpoint& peer);  // UDP, the peer's family
  int OpenStreamIpv4();                          // TCP
  int OpenIcmpIpv4();                            // raw ICMP
  bool IsOpen() const { return m_open; }
  // Takes over a socket opened elsewhere.
  void Adopt(SocketHandle handle) {
    Close();
    m_handle = handle;
    m_open = true;
  }
  // 0 or the error code of the close.
  int Close();

  int SetReceiveTimeout(uint32_t ms);
  // Receive-all mode (SIO_RCVALL); not supported elsewhere.
  int SetReceiveAll();
  int Bind(const SocketEndpoint& local);
  int Connect(const SocketEndpoint& peer);

  // 1 readable, 0 time-out, -1 failure (SocketLastError).
  int WaitReadable(uint32_t timeoutMs);
  // 1 when a send would take bytes (or fail at once), 0 time-out, -1 failure.
  int WaitWritable(uint32_t timeoutMs);
  // One call each: bytes moved, or -1 (SocketLastError). A datagram longer
  // than `size` reports its whole length where the system can tell.
  int64_t SendTo(const uint8_t* data, size_t size, const SocketEndpoint& peer);
  int64_t ReceiveFrom(uint8_t* buffer, size_t size, SocketEndpoint* from);
  int64_t Receive(uint8_t* buffer, size_t size);
  // A send that never waits, so that a stream's sends can be bounded: the
  // bytes that fit now, 0 when none fit, or -1 (SocketLastError). The
  // socket's other calls keep waiting as before.
  int64_t SendNow(const uint8_t* data, size_t size);

 private:
  int Open(int family, int type, int protocol);

  SocketHandle m_handle = SOCKET_HANDLE_NONE;
  bool m_open = false;
};

// The largest count one send or receive call takes.
extern const size_t SOCKET_CALL_MAX;
// Error codes the layer itself reports.
extern const int SOCKET_ERROR_NOT_SOCKET;
extern const int SOCKET_ERROR_INVALID;
extern const int SOCKET_ERROR_MESSAGE_SIZE;
extern const int SOCKET_ERROR_ADDRESS_NOT_AVAILABLE;
extern const int SOCKET_ERROR_TIMED_OUT;
