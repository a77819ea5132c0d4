// Device I/O on named pipes served by the test: a write the device never takes
// is cancelled after its 10 s wait, and the parallel port's two opens reach a
// pipe linked to "\\.\NONSPOOLED_LPT1".

#include "transport/device_io_win32.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/device_link_win32.h"
#include "support/log_capture.h"
#include "support/usb_stand_in_win32.h"
#include "transport/device_io.h"
#include "transport/prll_device.h"

namespace {

HANDLE ServePipe(const std::wstring& name, DWORD bufferBytes) {
  return CreateNamedPipeW((L"\\\\.\\pipe\\" + name).c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT,
                          PIPE_UNLIMITED_INSTANCES, bufferBytes, bufferBytes, 0, nullptr);
}

// Everything the client has written so far.
std::string Drain(HANDLE server) {
  std::string out;
  DWORD available = 0;
  while (PeekNamedPipe(server, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
    std::string chunk(available, '\0');
    DWORD got = 0;
    if (!ReadFile(server, &chunk[0], available, &got, nullptr)) break;
    out.append(chunk, 0, got);
  }
  return out;
}

TEST(DeviceIo, WriteTheDeviceNeverTakesIsCancelledAfterTenSeconds) {
  HANDLE server = ServePipe(L"tideway-stalled-device", 512);
  ASSERT_NE(server, INVALID_HANDLE_VALUE);
  HANDLE device = CreateFileW(L"\\\\.\\pipe\\tideway-stalled-device", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  ASSERT_NE(device, INVALID_HANDLE_VALUE);

  LogCapture log;
  std::vector<uint8_t> chunk(512, 0x55);
  int accepted = 0;
  ULONGLONG started = 0;
  int result = 0;
  while (accepted < 64) {
    started = GetTickCount64();
    result = WriteData(device, chunk.data(), 512);
    if (result != 512) break;
    ++accepted;
  }
  const ULONGLONG waited = GetTickCount64() - started;
  ASSERT_EQ(result, -1) << "the pipe took " << accepted << " chunks";
  EXPECT_GE(waited, 9900u);
  EXPECT_LT(waited, 15000u);
  EXPECT_TRUE(log.Contains(L"WriteData(): WaitForSingleObject failed!"));

  // Nothing of the cancelled write reaches the device, then or later, even
  // from a buffer its caller has reused.
  std::memset(chunk.data(), 0xEE, chunk.size());
  const std::string received = Drain(server);
  EXPECT_EQ(received.size(), 512u * accepted);
  EXPECT_EQ(received.find_first_not_of('\x55'), std::string::npos);
  Sleep(200);
  EXPECT_EQ(Drain(server), "");
  // The handle goes on working.
  EXPECT_EQ(WriteData(device, chunk.data(), 100), 100);
  EXPECT_EQ(Drain(server), std::string(100, '\xEE'));
  CloseHandle(device);
  CloseHandle(server);
}

// The reply arrives just as the read's wait runs out: the request has
// completed before it could be cancelled, and its bytes are returned.
HANDLE g_replyServer = INVALID_HANDLE_VALUE;

DWORD ReplyAsTheWaitRunsOut(HANDLE event, DWORD) {
  DWORD written = 0;
  WriteFile(g_replyServer, "0123456789abcdef", 16, &written, nullptr);
  WaitForSingleObject(event, 5000);
  return WAIT_TIMEOUT;
}

TEST(DeviceIo, ReadCompletedAsItsWaitRunsOutKeepsItsBytes) {
  g_replyServer = ServePipe(L"tideway-late-reply", 512);
  ASSERT_NE(g_replyServer, INVALID_HANDLE_VALUE);
  HANDLE device = CreateFileW(L"\\\\.\\pipe\\tideway-late-reply", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  ASSERT_NE(device, INVALID_HANDLE_VALUE);
  LogCapture log;
  DeviceWaitFunction previous = SetDeviceWaitForTesting(ReplyAsTheWaitRunsOut);
  uint8_t buffer[16] = {};
  const int got = ReadData(device, buffer, 16, 200);
  SetDeviceWaitForTesting(previous);
  EXPECT_EQ(got, 16);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 16), "0123456789abcdef");
  EXPECT_FALSE(log.Contains(L"ReadData(): WaitForSingleObject() Failed."));
  CloseHandle(device);
  CloseHandle(g_replyServer);
}

TEST(PrllPort, OpensTheNonSpooledPortToWriteAndAgainToRead) {
  FakeUsbDeviceTree::RemoveAll();  // the lock's other users leave nothing behind
  HANDLE writeEnd = ServePipe(L"tideway-lpt", 4096);
  HANDLE readEnd = ServePipe(L"tideway-lpt", 4096);
  long status = 0;
  HANDLE link = CreateDeviceLink(L"NONSPOOLED_LPT1", L"tideway-lpt", &status);
  ASSERT_NE(link, nullptr) << status;
  PrllDevice& lpt = SystemPrllDevice();
  LogCapture log;

  uint32_t error = 0;
  DeviceHandle port = lpt.OpenPort(&error);
  ASSERT_NE(port, DEVICE_NONE) << error;
  const uint8_t query[] = "\x1b%-12345X@PJL ENTER LANGUAGE=ACL\r\n";
  EXPECT_EQ(WriteData(port, query, 34), 34);  // not overlapped: done when it returns
  EXPECT_EQ(Drain(writeEnd), std::string(reinterpret_cast<const char*>(query), 34));
  lpt.ClosePort(port);

  DeviceHandle reply = lpt.OpenPortForReading(&error);
  ASSERT_NE(reply, DEVICE_NONE) << error;
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(readEnd, "0123456789abcdef", 16, &written, nullptr));
  uint8_t buffer[16] = {};
  EXPECT_EQ(ReadData(reply, buffer, 16, 3000), 16);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 16), "0123456789abcdef");
  EXPECT_EQ(WriteData(reply, query, 9), -1);  // read only
  EXPECT_TRUE(log.ContainsPart(L"(gle=5, 0x5)"));
  lpt.ClosePort(reply);

  char rundll[PRLL_COMMAND_MAX];
  ASSERT_EQ(lpt.RundllPath(rundll, sizeof rundll), 1);
  EXPECT_STREQ(rundll, "C:\\windows\\system32\\rundll32.exe");
  EXPECT_EQ(lpt.StartDefaultPrinter(rundll, L"QV Orrery \"Parallel\"", &error), 1) << error;

  CloseHandle(link);
  CloseHandle(writeEnd);
  CloseHandle(readEnd);
}

}  // namespace
