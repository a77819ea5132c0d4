#include "update/device_groups.h"

#include "host/text_utils.h"

namespace {
bool SameDevice(const DeviceKey& a, const DeviceKey& b) {
  if (a.port.empty() || b.port.empty() || a.kind != b.kind) return false;
  // Port names are the system's, compared as it does: without regard to case.
  if (TextEquals(a.port.c_str(), b.port.c_str())) return true;
  return a.kind == PORT_NETWORK && !a.address.empty() && a.address == b.address && a.tcpPort == b.tcpPort;
}
}  // namespace

std::vector<size_t> DeviceCarriers(const std::vector<DeviceKey>& keys) {
  std::vector<size_t> carriers(keys.size());
  for (size_t i = 0; i < keys.size(); ++i) {
    carriers[i] = i;
    for (size_t j = 0; j < i; ++j) {
      if (carriers[j] == j && SameDevice(keys[j], keys[i])) {
        carriers[i] = j;
        break;
      }
    }
  }
  return carriers;
}
