// Overlapped device I/O with one auto-reset event per call. A request that is
// still pending when the wait gives up is cancelled and waited for before the
// call returns: the kernel must never write into a buffer, or signal an event,
// that the caller has already let go.

#include "transport/device_io_win32.h"

#include <windows.h>

#include <atomic>

#include "host/logger.h"
#include "host/win_handles.h"
#include "transport/device_io.h"

namespace {

std::atomic<DeviceWaitFunction> g_wait{nullptr};

DWORD WaitForRequest(HANDLE event, DWORD waitMs) {
  DeviceWaitFunction wait = g_wait.load();
  return wait ? wait(event, waitMs) : WaitForSingleObject(event, waitMs);
}

struct IoTexts {
  const wchar_t* createEvent;
  const wchar_t* start;
  const wchar_t* wait;
  const wchar_t* result;
};

const IoTexts WRITE_TEXTS = {L"WriteData(): CreateEvent failed!", L"WriteData(): WriteFile failed!",
                             L"WriteData(): WaitForSingleObject failed!", L"WriteData(): GetOverlappedResult failed!"};
const IoTexts READ_TEXTS = {L"ReadData(): CreateEvent() Failed.", L"ReadData(): ReadFile() Failed.",
                            L"ReadData(): WaitForSingleObject() Failed.", L"ReadData(): GetOverlappedResult() Failed."};

int OverlappedTransfer(HANDLE device, void* buffer, uint32_t count, uint32_t waitMs, bool write, const IoTexts& texts) {
  Logger* log = Logger::Instance();
  win::UniqueHandle event(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  if (!event) {
    log->WriteError(GetLastError(), L"%ls", texts.createEvent);
    return -1;
  }
  if (count > DEVICE_IO_CHUNK_MAX) count = DEVICE_IO_CHUNK_MAX;

  OVERLAPPED ov{};
  ov.hEvent = event.Get();
  BOOL done = write ? WriteFile(device, buffer, count, nullptr, &ov) : ReadFile(device, buffer, count, nullptr, &ov);
  if (!done) {
    DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING) {
      log->WriteError(error, L"%ls", texts.start);
      return -1;
    }
    if (WaitForRequest(event.Get(), waitMs) != WAIT_OBJECT_0) {
      // Cancel, then wait until the system has let go of `ov` and the buffer.
      // A request that completed in the meantime keeps its bytes: a reply that
      // arrived just after the wait must not be lost.
      CancelIoEx(device, &ov);
      DWORD transferred = 0;
      if (GetOverlappedResult(device, &ov, &transferred, TRUE)) return static_cast<int>(transferred);
      log->Write(L"%ls", texts.wait);
      return -1;
    }
  }
  DWORD transferred = 0;
  if (!GetOverlappedResult(device, &ov, &transferred, FALSE)) {
    log->Write(L"%ls", texts.result);
    return -1;
  }
  return static_cast<int>(transferred);
}

}  // namespace

DeviceWaitFunction SetDeviceWaitForTesting(DeviceWaitFunction wait) {
  return g_wait.exchange(wait);
}

int WriteData(DeviceHandle device, const uint8_t* data, uint32_t count) {
  return OverlappedTransfer(static_cast<HANDLE>(device), const_cast<uint8_t*>(data), count, DEVICE_WRITE_WAIT_MS, true,
                            WRITE_TEXTS);
}

int ReadData(DeviceHandle device, uint8_t* buffer, uint32_t count, uint32_t waitMs) {
  Logger::Instance()->Write(L"ReadData(): ReadData using overlapped I/O().");
  return OverlappedTransfer(static_cast<HANDLE>(device), buffer, count, waitMs, false, READ_TEXTS);
}

void FlushDevice(DeviceHandle device) {
  if (device != DEVICE_NONE) FlushFileBuffers(static_cast<HANDLE>(device));
}

void CloseDevice(DeviceHandle device) {
  if (device != DEVICE_NONE && device != nullptr) CloseHandle(static_cast<HANDLE>(device));
}
