#pragma once
// The two primitives every ACL exchange runs on: the network connection, the
// USB printing device and the parallel port each supply them.

#include <cstdint>

class ByteChannel {
 public:
  virtual ~ByteChannel() = default;
  // Bytes the channel accepted (a device takes at most 512 per call), or -1.
  virtual int Write(const uint8_t* data, uint32_t count) = 0;
  // Bytes received within `waitMs` (possibly fewer than asked), or -1 on
  // failure or when the wait ran out.
  virtual int Read(uint8_t* buffer, uint32_t count, uint32_t waitMs) = 0;
};
