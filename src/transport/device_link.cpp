#include "transport/device_link.h"

#include <atomic>

namespace {
std::atomic<const DeviceChannelFactory*> g_factory{nullptr};
}  // namespace

std::unique_ptr<ByteChannel> OpenDeviceChannel(DeviceHandle device) {
  const DeviceChannelFactory* factory = g_factory.load();
  if (factory && *factory) return (*factory)(device);
  return std::make_unique<DeviceChannel>(device);
}

const DeviceChannelFactory* SetDeviceChannelFactoryForTesting(const DeviceChannelFactory* factory) {
  return g_factory.exchange(factory);
}
