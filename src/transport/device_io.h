#pragma once
// The USB printing device and the parallel port as byte channels: overlapped
// writes and reads with one event per call (device_io_win32.cpp). The handle
// is the caller's; the channel never opens or closes it. Natively
// (device_io_posix.cpp) the handle is a file descriptor, so tests can put a
// pipe or socket to a simulated printer behind it.

#include <cstdint>

#include "transport/byte_channel.h"

// A system file handle opened for overlapped I/O; DEVICE_NONE when no device
// is open (the invalid-handle value).
using DeviceHandle = void*;
#define DEVICE_NONE (reinterpret_cast<DeviceHandle>(static_cast<intptr_t>(-1)))

constexpr uint32_t DEVICE_IO_CHUNK_MAX = 512;
constexpr uint32_t DEVICE_WRITE_WAIT_MS = 10000;

// At most 512 bytes per call; bytes transferred, or -1 (a request still
// pending when the wait runs out is cancelled before the call returns).
int WriteData(DeviceHandle device, const uint8_t* data, uint32_t count);
int ReadData(DeviceHandle device, uint8_t* buffer, uint32_t count, uint32_t waitMs);
// For the owner of the handle (the download controller): pushes out what the
// system still buffers, and closes. Both ignore DEVICE_NONE.
void FlushDevice(DeviceHandle device);
void CloseDevice(DeviceHandle device);

// WriteData / ReadData on one handle. Tests substitute another ByteChannel.
class DeviceChannel : public ByteChannel {
 public:
  explicit DeviceChannel(DeviceHandle device) : m_device(device) {}
  int Write(const uint8_t* data, uint32_t count) override { return WriteData(m_device, data, count); }
  int Read(uint8_t* buffer, uint32_t count, uint32_t waitMs) override {
    return ReadData(m_device, buffer, count, waitMs);
  }

 private:
  DeviceHandle m_device;
};
