#include "transport/prll_device.h"

#include <atomic>
#include <cstring>

namespace {
std::atomic<PrllDevice*> g_override{nullptr};
constexpr char ARGUMENT_LEAD[] = "printui.dll,PrintUIEntry /y /n \"";
}  // namespace

PrllDevice& CurrentPrllDevice() {
  PrllDevice* device = g_override.load();
  return device ? *device : SystemPrllDevice();
}

PrllDevice* SetPrllDeviceForTesting(PrllDevice* device) { return g_override.exchange(device); }

size_t BuildDefaultPrinterArgument(const char* model, char* out, size_t outSize) {
  const size_t leadLength = sizeof ARGUMENT_LEAD - 1;
  // The lead, the closing quote and the terminator.
  if (!out || outSize < leadLength + 2) {
    if (out && outSize) out[0] = 0;
    return 0;
  }
  std::memcpy(out, ARGUMENT_LEAD, leadLength);
  size_t length = leadLength;
  for (const char* p = model ? model : ""; *p && *p != '"' && length + 2 < outSize; ++p) out[length++] = *p;
  out[length++] = '"';
  out[length] = 0;
  return length;
}
