#include "support/fake_device.h"

#include <algorithm>

namespace devtest {

namespace {

class Channel : public ByteChannel {
 public:
  Channel(FakeDevice* device, intptr_t handle) : m_device(device), m_handle(handle) {}
  int Write(const uint8_t* data, uint32_t count) override { return m_device->Write(m_handle, data, count); }
  int Read(uint8_t* buffer, uint32_t count, uint32_t waitMs) override {
    return m_device->Read(m_handle, buffer, count, waitMs);
  }

 private:
  FakeDevice* m_device;
  intptr_t m_handle;
};

}  // namespace

FakeDevice::FakeDevice()
    : m_factory([this](DeviceHandle h) -> std::unique_ptr<ByteChannel> {
        return std::make_unique<Channel>(this, reinterpret_cast<intptr_t>(h));
      }),
      m_previous(SetDeviceChannelFactoryForTesting(&m_factory)) {}

FakeDevice::~FakeDevice() {
  SetDeviceChannelFactoryForTesting(m_previous);
}

int FakeDevice::Write(intptr_t handle, const uint8_t* data, uint32_t count) {
  int index = static_cast<int>(writeSizes.size());
  int result = static_cast<int>(count);
  for (const auto& r : writeResults) {
    if (r.first == index) result = r.second;
  }
  writeSizes.push_back(count);
  if (result > 0) written.insert(written.end(), data, data + std::min<uint32_t>(count, result));
  trace.push_back("h" + std::to_string(handle) + " write " + std::to_string(count) + " = " + std::to_string(result));
  return result;
}

int FakeDevice::Read(intptr_t handle, uint8_t* buffer, uint32_t count, uint32_t waitMs) {
  int result = -1;
  if (!replies.empty() && !replies.front().error) {
    std::vector<uint8_t>& b = replies.front().bytes;
    size_t n = std::min<size_t>(count, b.size());
    std::copy(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(n), buffer);
    b.erase(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(n));
    if (b.empty()) replies.pop_front();
    result = static_cast<int>(n);
  } else if (!replies.empty()) {
    replies.pop_front();
  }
  trace.push_back("h" + std::to_string(handle) + " read " + std::to_string(count) + " " + std::to_string(waitMs) +
                  " = " + std::to_string(result));
  return result;
}

DeviceHandle Handle(intptr_t n) {
  return reinterpret_cast<DeviceHandle>(n);
}

Piece Reply(const std::vector<uint8_t>& bytes) {
  return Piece{bytes, false};
}

Piece ReadError() {
  return Piece{{}, true};
}

}  // namespace devtest
