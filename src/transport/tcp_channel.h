#pragma once
// The socket calls of one printer connection, behind a small interface so the
// network transport's logic runs on Winsock in the product, on POSIX sockets
// natively, and on scripted or fuzzed fakes in tests.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

// The printer's raw printing port.
constexpr uint16_t NTWK_PRINTER_PORT = 9100;
// The longest a send waits for room before it asks again whether to go on.
constexpr uint32_t TCP_SEND_SLICE_MS = 1000;

class TcpChannel {
 public:
  virtual ~TcpChannel() = default;
  // Starts the socket library for version 1.1; 1 only for an exact 1.1 grant
  // (otherwise the library is released again).
  virtual int Startup() = 0;
  virtual void Cleanup() = 0;
  // An IPv4 TCP stream socket; 1 on success.
  virtual int Create() = 0;
  virtual int SetReceiveTimeout(uint32_t ms) = 0;
  // Bounds every later Send: one that moves no byte for `ms` in a row ends
  // with -1 and the time-out error.
  virtual void SetSendTimeout(uint32_t ms) = 0;
  // Asked before each wait of a send for room (TCP_SEND_SLICE_MS at most):
  // true ends the send with -1. Empty: never asked.
  virtual void SetSendStop(std::function<bool()> stopped) = 0;
  // `address` is the IPv4 address in network order (a.b.c.d as bytes 0..3).
  virtual int Connect(const uint8_t address[4], uint16_t port) = 0;
  // Sends the whole buffer: the bytes accepted (fewer when the connection
  // failed part way), or -1 (also when the send timed out or was stopped).
  virtual int64_t Send(const uint8_t* data, size_t length) = 0;
  // One receive call: bytes received (0 when the peer closed), or -1 on error
  // or when the receive time-out ran out.
  virtual int64_t Receive(uint8_t* buffer, size_t length) = 0;
  virtual void Close() = 0;
  // The last socket error of the calling thread.
  virtual uint32_t LastError() = 0;
};

// The platform's sockets (through net/socket_layer.h).
std::unique_ptr<TcpChannel> CreateSystemTcpChannel();

// Parses a dotted IPv4 text of four decimal parts 0..255 ("127.0.0.1").
// 1 and the bytes on success; 0 for anything else.
int ParseDottedIPv4(const char* text, uint8_t out[4]);
