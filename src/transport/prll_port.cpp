#include "transport/prll_port.h"

namespace {
PrllPort* g_portOverride = nullptr;
const wchar_t* g_nameOverride = nullptr;
}  // namespace

PrllPort& ActivePrllPort() {
  return g_portOverride ? *g_portOverride : SystemPrllPort();
}
const wchar_t* PrllDeviceName() {
  return g_nameOverride ? g_nameOverride : PRLL_DEVICE_NAME;
}

PrllPort* SetPrllPortForTesting(PrllPort* port) {
  PrllPort* previous = g_portOverride;
  g_portOverride = port;
  return previous;
}

const wchar_t* SetPrllDeviceNameForTesting(const wchar_t* name) {
  const wchar_t* previous = g_nameOverride;
  g_nameOverride = name;
  return previous;
}
