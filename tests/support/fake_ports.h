#pragma once
// Spooler ports and monitor keys for tests: port monitors that answer the
// "IPAddress" and "GetConfigInfo" requests, a port list and registry values.
// Installed for the lifetime of the object (GetIPAddressFromPort then uses it).
//
//   FakePortSource ports;
//   ports.AddXcvAnswer(L"IP_127.20.0.5", L"127.20.0.5");             // monitor answers
//   ports.AddXcvConfig(L"IP_127.20.0.5", TCP_PROTOCOL_RAW, 9101);     // ... and its raw port
//   ports.AddPort(L"IP_127.20.0.6", L"Std Monitor", L"127.20.0.6");  // registry fallback

#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "printer/port_source.h"
#include "printer/tcp_port_data.h"

class FakePortSource : public PortSource {
 public:
  FakePortSource() : previous_(SetPortSourceForTesting(this)) {}
  ~FakePortSource() override { SetPortSourceForTesting(previous_); }
  FakePortSource(const FakePortSource&) = delete;
  FakePortSource& operator=(const FakePortSource&) = delete;

  // The port's monitor answers "IPAddress" with `answer` (written as the
  // monitor would, terminated when it fits).
  void AddXcvAnswer(const std::wstring& port, const std::wstring& answer) { xcv_[port] = {answer, 0}; }
  // The transceiver opens but the data request fails with `error`.
  void AddXcvFailure(const std::wstring& port, uint32_t error) { xcv_[port] = {L"", error}; }
  // The port's monitor answers "GetConfigInfo" with this protocol and number.
  void AddXcvConfig(const std::wstring& port, uint32_t protocol, uint32_t portNumber) {
    TcpPortData1 data;
    memset(&data, 0, sizeof data);
    data.version = 1;
    data.protocol = protocol;
    data.size = sizeof data;
    data.portNumber = portNumber;
    config_[port] = data;
  }
  // A listed port; with `address` its monitor key holds "IPAddress".
  void AddPort(const std::wstring& port, const std::wstring& monitor, const wchar_t* address = nullptr) {
    ports_.push_back({port, monitor, L"fake port"});
    if (address) SetRegistryValue(MonitorKey(monitor, port), address);
  }
  // "IPAddress" of the key, stored terminated.
  void SetRegistryValue(const std::wstring& keyPath, const std::wstring& value) {
    SetRegistryBytes(keyPath, L"IPAddress", value.c_str(), (value.size() + 1) * sizeof(wchar_t));
  }
  // A value stored as these bytes, whatever its type.
  void SetRegistryBytes(const std::wstring& keyPath, const std::wstring& valueName, const void* data, size_t bytes) {
    registry_[{keyPath, valueName}].assign(static_cast<const char*>(data), bytes);
  }
  void SetRegistryDword(const std::wstring& keyPath, const std::wstring& valueName, uint32_t value) {
    SetRegistryBytes(keyPath, valueName, &value, sizeof value);
  }
  static std::wstring MonitorKey(const std::wstring& monitor, const std::wstring& port) {
    return L"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\" + Trimmed(monitor) + L"\\Ports\\" + port;
  }
  void FailListing(uint32_t error) { listError_ = error; }

  const std::vector<std::wstring>& XcvNames() const { return xcvNames_; }
  const std::vector<std::wstring>& KeysRead() const { return keysRead_; }

  // Updates running side by side look ports up at once.
  int XcvIPAddress(const wchar_t* xcvName, void* out, uint32_t outBytes, uint32_t* error) override {
    std::lock_guard<std::mutex> lock(mutex_);
    xcvNames_.push_back(xcvName);
    std::wstring name(xcvName);
    const std::wstring prefix = L",XcvPort ";
    auto it = name.compare(0, prefix.size(), prefix) == 0 ? xcv_.find(name.substr(prefix.size())) : xcv_.end();
    if (it == xcv_.end()) {
      *error = 1796;  // ERROR_UNKNOWN_PORT
      return PORT_XCV_OPEN_FAILED;
    }
    if (it->second.error) {
      *error = it->second.error;
      return PORT_XCV_DATA_FAILED;
    }
    const std::wstring& answer = it->second.answer;
    size_t bytes = (answer.size() + 1) * sizeof(wchar_t);
    if (bytes > outBytes) bytes = outBytes;
    memcpy(out, answer.c_str(), bytes);
    return PORT_XCV_OK;
  }

  int XcvConfigInfo(const wchar_t* xcvName, void* out, uint32_t outBytes, uint32_t* error) override {
    std::lock_guard<std::mutex> lock(mutex_);
    std::wstring name(xcvName);
    const std::wstring prefix = L",XcvPort ";
    auto it = name.compare(0, prefix.size(), prefix) == 0 ? config_.find(name.substr(prefix.size())) : config_.end();
    if (it == config_.end()) {
      *error = 1796;  // ERROR_UNKNOWN_PORT
      return PORT_XCV_OPEN_FAILED;
    }
    if (outBytes < sizeof it->second) {
      *error = 122;  // ERROR_INSUFFICIENT_BUFFER
      return PORT_XCV_DATA_FAILED;
    }
    memcpy(out, &it->second, sizeof it->second);
    return PORT_XCV_OK;
  }

  int ListPorts(std::vector<PortEntry>* ports, uint32_t* error) override {
    if (listError_) {
      *error = listError_;
      return 0;
    }
    *ports = ports_;
    return 1;
  }

  long ReadMachineValue(const wchar_t* keyPath, const wchar_t* valueName, void* buffer, uint32_t* bytes) override {
    std::lock_guard<std::mutex> lock(mutex_);
    keysRead_.push_back(keyPath);
    auto it = registry_.find({keyPath, valueName});
    if (it == registry_.end()) return 2;
    // As the system reads it: refused whole when too big.
    uint32_t size = static_cast<uint32_t>(it->second.size());
    uint32_t room = *bytes;
    *bytes = size;
    if (size > room) return 234;  // ERROR_MORE_DATA
    memcpy(buffer, it->second.data(), size);
    return 0;
  }

 private:
  struct Xcv {
    std::wstring answer;
    uint32_t error;
  };
  static std::wstring Trimmed(std::wstring monitor) {
    auto alnum = [](wchar_t c) {
      return (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || c >= 0x80;
    };
    while (monitor.size() > 1 && !alnum(monitor.back())) monitor.pop_back();
    return monitor;
  }
  std::map<std::wstring, Xcv> xcv_;
  std::map<std::wstring, TcpPortData1> config_;
  std::vector<PortEntry> ports_;
  std::map<std::pair<std::wstring, std::wstring>, std::string> registry_;
  std::vector<std::wstring> xcvNames_;
  std::vector<std::wstring> keysRead_;
  uint32_t listError_ = 0;
  PortSource* previous_;
  std::mutex mutex_;
};
