#pragma once
// A scripted printer behind the device transports' byte channels, installed
// for the object's lifetime: every channel opened for a handle talks to it.
// Writes and reads are recorded with their handle; reads are served from the
// scripted pieces the way a device delivers them (one read never crosses a
// piece; what it leaves stays for the next); nothing left: the wait runs out.

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include "transport/device_link.h"

namespace devtest {

struct Piece {
  std::vector<uint8_t> bytes;
  bool error = false;  // the read reports -1
};
inline Piece Reply(const std::vector<uint8_t>& bytes) {
  return {bytes, false};
}
inline Piece ReadError() {
  return {{}, true};
}
inline DeviceHandle Handle(intptr_t n) {
  return reinterpret_cast<DeviceHandle>(n);
}

class FakeDevice {
 public:
  FakeDevice() : m_previous(SetDeviceChannelFactoryForTesting(&m_factory)) {}
  ~FakeDevice() { SetDeviceChannelFactoryForTesting(m_previous); }
  FakeDevice(const FakeDevice&) = delete;
  FakeDevice& operator=(const FakeDevice&) = delete;

  std::vector<std::pair<int, int>> writeResults;  // by write index: -1 fails, else the count reported
  std::deque<Piece> replies;
  std::vector<std::string> trace;    // "h<handle> write <count> = <result>", "h<handle> read <count> <wait> = <result>"
  std::vector<uint8_t> written;      // every byte the writes took, in order
  std::vector<uint32_t> writeSizes;  // the count of every write

 private:
  class Channel : public ByteChannel {
   public:
    Channel(FakeDevice* d, DeviceHandle h) : m_d(d), m_h("h" + std::to_string(reinterpret_cast<intptr_t>(h))) {}
    int Write(const uint8_t* data, uint32_t count) override {
      int result = static_cast<int>(count);
      for (const auto& r : m_d->writeResults)
        result = r.first == static_cast<int>(m_d->writeSizes.size()) ? r.second : result;
      m_d->writeSizes.push_back(count);
      if (result > 0) m_d->written.insert(m_d->written.end(), data, data + std::min<uint32_t>(count, result));
      return Record(" write " + std::to_string(count), result);
    }
    int Read(uint8_t* buffer, uint32_t count, uint32_t waitMs) override {
      int result = -1;
      if (!m_d->replies.empty() && !m_d->replies.front().error) {
        std::vector<uint8_t>& b = m_d->replies.front().bytes;
        result = static_cast<int>(std::min<size_t>(count, b.size()));
        std::copy(b.begin(), b.begin() + result, buffer);
        b.erase(b.begin(), b.begin() + result);
      }
      if (!m_d->replies.empty() && (result < 0 || m_d->replies.front().bytes.empty())) m_d->replies.pop_front();
      return Record(" read " + std::to_string(count) + " " + std::to_string(waitMs), result);
    }

   private:
    int Record(const std::string& call, int result) {
      m_d->trace.push_back(m_h + call + " = " + std::to_string(result));
      return result;
    }
    FakeDevice* m_d;
    std::string m_h;
  };

  DeviceChannelFactory m_factory = [this](DeviceHandle h) { return std::make_unique<Channel>(this, h); };
  const DeviceChannelFactory* m_previous;
};

}  // namespace devtest
