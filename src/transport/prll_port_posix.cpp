// Natively a "port" is any file or device path, opened as a descriptor (the
// handle of device_io_posix.cpp); there is no rundll32.
#include <fcntl.h>
#include <unistd.h>

#include "host/text_utils.h"
#include "transport/prll_port.h"

namespace {

DeviceHandle OpenPath(const wchar_t* device, int flags) {
  char path[1024];
  if (!device || ToUtf8(device, path, sizeof path) == TEXT_ERROR_BAD_LENGTH) return DEVICE_NONE;
  int fd = open(path, flags | O_NOCTTY | O_CLOEXEC);
  return fd < 0 ? DEVICE_NONE : reinterpret_cast<DeviceHandle>(static_cast<intptr_t>(fd));
}

class PosixPrllPort : public PrllPort {
 public:
  DeviceHandle OpenReadWrite(const wchar_t* device) override { return OpenPath(device, O_RDWR); }
  DeviceHandle OpenRead(const wchar_t* device) override { return OpenPath(device, O_RDONLY); }
  void Close(DeviceHandle device) override {
    if (device != DEVICE_NONE) close(static_cast<int>(reinterpret_cast<intptr_t>(device)));
  }
  int RunRundll32(const char*) override { return 0; }
};

}  // namespace

PrllPort& SystemPrllPort() {
  static PosixPrllPort port;
  return port;
}
