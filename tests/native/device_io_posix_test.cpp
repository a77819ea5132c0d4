// The device primitives on a file descriptor, as native tests of the USB and
// parallel transports use them.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

#include "support/log_capture.h"
#include "transport/device_io.h"

TEST(DeviceIoPosix, SocketAsDevice) {
  int fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
  DeviceHandle device = reinterpret_cast<DeviceHandle>(static_cast<intptr_t>(fds[0]));
  LogCapture log;

  std::vector<uint8_t> data(600, 0x42);
  EXPECT_EQ(WriteData(device, data.data(), 600), 512);
  uint8_t buffer[600];
  EXPECT_EQ(read(fds[1], buffer, sizeof buffer), 512);

  EXPECT_EQ(ReadData(device, buffer, 16, 50), -1);
  EXPECT_TRUE(log.Contains(L"ReadData(): WaitForSingleObject() Failed."));
  ASSERT_EQ(write(fds[1], "0123456789", 10), 10);
  EXPECT_EQ(ReadData(device, buffer, 16, 1000), 10);

  close(fds[1]);
  EXPECT_EQ(ReadData(device, buffer, 16, 1000), -1);  // the device went away
  EXPECT_TRUE(log.Contains(L"ReadData(): GetOverlappedResult() Failed."));
  EXPECT_EQ(WriteData(device, data.data(), 16), -1);
  CloseDevice(device);
}
