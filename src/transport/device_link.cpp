#include "transport/device_link.h"

namespace {
const DeviceChannelFactory* g_factory = nullptr;
}  // namespace

std::unique_ptr<ByteChannel> OpenDeviceChannel(DeviceHandle device) {
  if (g_factory && *g_factory) return (*g_factory)(device);
  return std::make_unique<DeviceChannel>(device);
}

const DeviceChannelFactory* SetDeviceChannelFactoryForTesting(const DeviceChannelFactory* factory) {
  const DeviceChannelFactory* previous = g_factory;
  g_factory = factory;
  return previous;
}
