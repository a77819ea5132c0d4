#pragma once
// What port address lookup needs from the print spooler and the registry: the
// port monitor's transceiver answers, the local port list and a machine value.
// The system's (port_source_win32.cpp) or, in tests, a fake.

#include <cstdint>
#include <string>
#include <vector>

constexpr int PORT_XCV_OK = 0;
constexpr int PORT_XCV_OPEN_FAILED = 1;  // opening the transceiver interface
constexpr int PORT_XCV_DATA_FAILED = 2;  // the data request

struct PortEntry {
  std::wstring portName;
  std::wstring monitorName;
  std::wstring description;
};

class PortSource {
 public:
  virtual ~PortSource() = default;
  // Opens `xcvName` (",XcvPort <port>") with administer access and sends the
  // data request "IPAddress" with no input; the answer goes to `out` (at most
  // `outBytes` bytes, terminated or not, as the monitor writes it). Returns
  // PORT_XCV_OK or the failing step, with the system error in *error.
  virtual int XcvIPAddress(const wchar_t* xcvName, void* out, uint32_t outBytes, uint32_t* error) = 0;
  // The same transceiver, data request "GetConfigInfo" with a version 1
  // TcpConfigInfoData1 as input; the TcpPortData1 answer goes to `out`
  // (`outBytes`). A request the monitor answers with an error status fails.
  virtual int XcvConfigInfo(const wchar_t* xcvName, void* out, uint32_t outBytes, uint32_t* error) = 0;
  // The local ports at level 2, in spooler order. 1 on success, 0 with *error.
  virtual int ListPorts(std::vector<PortEntry>* ports, uint32_t* error) = 0;
  // A value below the local machine hive (GetValueFromHKey semantics: *bytes is
  // the buffer size on entry and the value size on return; system result).
  virtual long ReadMachineValue(const wchar_t* keyPath, const wchar_t* valueName, void* buffer, uint32_t* bytes) = 0;
};

// The source in use: the system's, or the one a test installed.
PortSource& CurrentPortSource();
// nullptr restores the system's; returns the previous override. Tests only.
PortSource* SetPortSourceForTesting(PortSource* source);
// port_source_win32.cpp; natively (port_source_posix.cpp) there are no ports.
PortSource& SystemPortSource();
