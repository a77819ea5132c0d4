#pragma once
// The network transport against the simulated printer over loopback TCP. The
// product always connects to port 9100; as root the simulator listens there on
// an address of its own, otherwise on a free port that the test settings pass
// to the transport.

#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "support/printer_sim_posix.h"
#include "transport/ntwk_download.h"

namespace nettest {

class SimPrinter {
 public:
  // Starts the simulator on `address`; false with the reason in error().
  bool Start(const std::string& address, std::vector<std::string> args, uint32_t receiveTimeoutMs) {
    PrinterSimOptions o;
    o.address = address;
    o.port = geteuid() == 0 ? NTWK_PRINTER_PORT : 0;
    o.args = std::move(args);
    if (!m_sim.Start(o)) return false;
    m_settings.port = static_cast<uint16_t>(m_sim.port());
    m_settings.receiveTimeoutMs = receiveTimeoutMs;
    m_settings.resetTimeoutMs = receiveTimeoutMs;
    m_settings.burnReplyTimeoutMs = receiveTimeoutMs;
    m_previous = SetNtwkSettingsForTesting(&m_settings);
    m_installed = true;
    return true;
  }
  ~SimPrinter() {
    if (m_installed) SetNtwkSettingsForTesting(m_previous);
  }

  PrinterSim& sim() { return m_sim; }
  const std::string& error() const { return m_sim.error(); }
  std::wstring Address() const { return std::wstring(m_sim.address().begin(), m_sim.address().end()); }
  NtwkSettings& settings() { return m_settings; }

 private:
  PrinterSim m_sim;
  NtwkSettings m_settings;
  const NtwkSettings* m_previous = nullptr;
  bool m_installed = false;
};

}  // namespace nettest
