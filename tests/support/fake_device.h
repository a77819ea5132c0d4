#pragma once
// A scripted printer behind the device transports' byte channels: every
// channel the USB or parallel transport opens for a handle talks to this one
// device, which records each write and read with its handle and serves reads
// from scripted segments the way the device delivers them (one read never
// crosses a segment; what it leaves stays for the next). Installed for the
// lifetime of the object.

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "transport/device_link.h"

namespace devtest {

struct Piece {
  std::vector<uint8_t> bytes;
  bool error = false;  // the read reports -1
};

class FakeDevice {
 public:
  FakeDevice();
  ~FakeDevice();
  FakeDevice(const FakeDevice&) = delete;
  FakeDevice& operator=(const FakeDevice&) = delete;

  // Results of writes by index (0-based, over all handles): -1 fails, a value
  // >= 0 is the count reported.
  std::vector<std::pair<int, int>> writeResults;
  // Replies in order; nothing left: the read's wait runs out (-1).
  std::deque<Piece> replies;

  // "h<handle> write <count> = <result>", "h<handle> read <count> <waitMs> = <result>".
  std::vector<std::string> trace;
  std::vector<uint8_t> written;      // every byte a write took, in order
  std::vector<uint32_t> writeSizes;  // the count of every write call

  int Write(intptr_t handle, const uint8_t* data, uint32_t count);
  int Read(intptr_t handle, uint8_t* buffer, uint32_t count, uint32_t waitMs);

 private:
  DeviceChannelFactory m_factory;
  const DeviceChannelFactory* m_previous;
};

DeviceHandle Handle(intptr_t n);
Piece Reply(const std::vector<uint8_t>& bytes);
Piece ReadError();

}  // namespace devtest
