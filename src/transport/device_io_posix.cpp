// Natively the device handle is a file descriptor (a socket to the simulated
// printer in tests); the waits are poll() waits.
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "transport/device_io.h"

namespace {

int Descriptor(DeviceHandle device) {
  return static_cast<int>(reinterpret_cast<intptr_t>(device));
}

bool Ready(int fd, short events, uint32_t waitMs) {
  pollfd p{fd, events, 0};
  int timeout = waitMs > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(waitMs);
  int r;
  do {
    r = poll(&p, 1, timeout);
  } while (r < 0 && errno == EINTR);
  return r > 0 && (p.revents & (events | POLLHUP | POLLERR)) != 0;
}

}  // namespace

int WriteData(DeviceHandle device, const uint8_t* data, uint32_t count) {
  int fd = Descriptor(device);
  if (device == DEVICE_NONE || !Ready(fd, POLLOUT, DEVICE_WRITE_WAIT_MS)) return -1;
  if (count > DEVICE_IO_CHUNK_MAX) count = DEVICE_IO_CHUNK_MAX;
  ssize_t n = send(fd, data, count, MSG_NOSIGNAL);
  if (n < 0 && errno == ENOTSOCK) n = write(fd, data, count);
  return n < 0 ? -1 : static_cast<int>(n);
}

int ReadData(DeviceHandle device, uint8_t* buffer, uint32_t count, uint32_t waitMs) {
  int fd = Descriptor(device);
  if (device == DEVICE_NONE || !Ready(fd, POLLIN, waitMs)) return -1;
  if (count > DEVICE_IO_CHUNK_MAX) count = DEVICE_IO_CHUNK_MAX;
  ssize_t n = read(fd, buffer, count);
  return n < 0 ? -1 : static_cast<int>(n);
}
