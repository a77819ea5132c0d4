#include "printer/port_source.h"

namespace {
constexpr uint32_t kUnknownPort = 1796;  // ERROR_UNKNOWN_PORT
constexpr long kNotFound = 2;

// No spooler natively: no monitor answers, no ports are listed.
class NoPortSource : public PortSource {
 public:
  int XcvIPAddress(const wchar_t*, void*, uint32_t, uint32_t* error) override {
    *error = kUnknownPort;
    return PORT_XCV_OPEN_FAILED;
  }
  int XcvConfigInfo(const wchar_t*, void*, uint32_t, uint32_t* error) override {
    *error = kUnknownPort;
    return PORT_XCV_OPEN_FAILED;
  }
  int ListPorts(std::vector<PortEntry>* ports, uint32_t* error) override {
    ports->clear();
    *error = 0;
    return 1;
  }
  long ReadMachineValue(const wchar_t*, const wchar_t*, void*, uint32_t*) override { return kNotFound; }
};
}  // namespace

PortSource& SystemPortSource() {
  static NoPortSource source;
  return source;
}
