// Natively the device handle is a file descriptor (a socket to the simulated
// printer in tests); the waits are poll() waits, the log lines those of the
// Windows primitives.
// The end of the stream counts as a failed transfer, as a vanished device or
// a broken pipe does there.

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "host/logger.h"
#include "transport/device_io.h"

namespace {

int Fd(DeviceHandle device) {
  return static_cast<int>(reinterpret_cast<intptr_t>(device));
}

// 1 when the descriptor is ready within waitMs, 0 when the wait ran out, -1 on error.
int WaitReady(int fd, short events, uint32_t waitMs) {
  pollfd p{fd, events, 0};
  const int timeout = waitMs > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(waitMs);
  int r;
  do {
    r = poll(&p, 1, timeout);
  } while (r < 0 && errno == EINTR);
  if (r > 0 && (p.revents & POLLNVAL)) return -1;
  return r;
}

}  // namespace

int WriteData(DeviceHandle device, const uint8_t* data, uint32_t count) {
  Logger* log = Logger::Instance();
  const int fd = Fd(device);
  if (count > DEVICE_IO_CHUNK_MAX) count = DEVICE_IO_CHUNK_MAX;
  if (fd < 0) {
    log->WriteError(EBADF, L"WriteData(): WriteFile failed!");
    return -1;
  }
  if (WaitReady(fd, POLLOUT, DEVICE_WRITE_WAIT_MS) != 1) {
    log->Write(L"WriteData(): WaitForSingleObject failed!");
    return -1;
  }
  ssize_t n = send(fd, data, count, MSG_NOSIGNAL);
  if (n < 0 && errno == ENOTSOCK) n = write(fd, data, count);
  if (n < 0) {
    log->WriteError(static_cast<uint32_t>(errno), L"WriteData(): WriteFile failed!");
    return -1;
  }
  return static_cast<int>(n);
}

int ReadData(DeviceHandle device, uint8_t* buffer, uint32_t count, uint32_t waitMs) {
  Logger* log = Logger::Instance();
  log->Write(L"ReadData(): ReadData using overlapped I/O().");
  const int fd = Fd(device);
  if (count > DEVICE_IO_CHUNK_MAX) count = DEVICE_IO_CHUNK_MAX;
  if (fd < 0) {
    log->WriteError(EBADF, L"ReadData(): ReadFile() Failed.");
    return -1;
  }
  if (WaitReady(fd, POLLIN, waitMs) != 1) {
    log->Write(L"ReadData(): WaitForSingleObject() Failed.");
    return -1;
  }
  ssize_t n;
  do {
    n = read(fd, buffer, count);
  } while (n < 0 && errno == EINTR);
  if (n <= 0) {
    log->Write(L"ReadData(): GetOverlappedResult() Failed.");
    return -1;
  }
  return static_cast<int>(n);
}

void FlushDevice(DeviceHandle device) {
  if (device != DEVICE_NONE) fsync(Fd(device));
}

void CloseDevice(DeviceHandle device) {
  if (device != DEVICE_NONE) close(Fd(device));
}
