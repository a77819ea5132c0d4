#pragma once
// The byte channel the USB and parallel transports run their exchanges on for
// a device handle: a DeviceChannel (WriteData / ReadData) in the product;
// tests substitute scripted channels.

#include <functional>
#include <memory>

#include "transport/byte_channel.h"
#include "transport/device_io.h"

using DeviceChannelFactory = std::function<std::unique_ptr<ByteChannel>(DeviceHandle device)>;

std::unique_ptr<ByteChannel> OpenDeviceChannel(DeviceHandle device);
// Replaces the factory for the process (nullptr restores DeviceChannel);
// returns the one in place. Only tests call this.
const DeviceChannelFactory* SetDeviceChannelFactoryForTesting(const DeviceChannelFactory* factory);
