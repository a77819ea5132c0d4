// Under Wine a Windows test starts the simulator as a Unix program: CreateProcessW accepts
// a Unix path and runs it, but the handle it returns cannot be waited on or terminated.
// So the simulator is told where to write (Unix paths under /tmp, read here through Z:),
// is stopped through its control socket, and ends by itself after its lifetime.

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "printer_sim.h"

namespace {

std::wstring Widen(const std::string& text) {
  int n = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &out[0], n);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

// One argument as the command-line parser that splits it again expects it.
std::string QuoteArg(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  std::string out = "\"";
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      out.append(backslashes * 2 + 1, '\\');
    } else {
      out.append(backslashes, '\\');
    }
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, '\\');
  return out + "\"";
}

class WinsockScope {
 public:
  WinsockScope() {
    WSADATA data;
    ok_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }
  ~WinsockScope() {
    if (ok_) WSACleanup();
  }
  bool ok() const { return ok_; }

 private:
  bool ok_ = false;
};

SOCKET ConnectTo(const std::string& address, int port, int timeout_ms) {
  addrinfo hints{};
  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* res = nullptr;
  if (getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &res) != 0 || !res) return INVALID_SOCKET;
  SOCKET s = socket(res->ai_family, SOCK_STREAM, IPPROTO_TCP);
  if (s != INVALID_SOCKET) {
    DWORD tv = static_cast<DWORD>(timeout_ms);
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&tv), sizeof tv);
    setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&tv), sizeof tv);
    if (connect(s, res->ai_addr, static_cast<int>(res->ai_addrlen)) != 0) {
      closesocket(s);
      s = INVALID_SOCKET;
    }
  }
  freeaddrinfo(res);
  return s;
}

}  // namespace

bool PrinterSim::MakeWorkDir() {
  static LONG counter = 0;
  const std::string name = "printer-sim-w" + std::to_string(GetCurrentProcessId()) + "-" +
                           std::to_string(InterlockedIncrement(&counter)) + "-" + std::to_string(GetTickCount());
  sim_dir_ = "/tmp/" + name;
  work_dir_ = "Z:\\tmp\\" + name;
  if (!CreateDirectoryW(Widen(work_dir_).c_str(), nullptr)) {
    error_ = "cannot create " + work_dir_ + " (error " + std::to_string(GetLastError()) + ")";
    work_dir_.clear();
    return false;
  }
  return true;
}

std::string PrinterSim::LocalPath(const std::string& name) const { return work_dir_ + "\\" + name; }
std::string PrinterSim::SimPath(const std::string& name) const { return sim_dir_ + "/" + name; }

bool PrinterSim::Launch(const std::vector<std::string>& args) {
  const char* python = getenv("PRINTER_SIM_PYTHON");
  std::string command = QuoteArg(python && *python ? python : "/usr/bin/python3");
  for (auto& a : args) command += " " + QuoteArg(a);
  std::wstring wide = Widen(command);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, &wide[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi)) {
    error_ = "CreateProcessW python3: error " + std::to_string(GetLastError());
    return false;
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return true;
}

// The Unix child's end is not observable from here; a failed start shows in the ready file.
bool PrinterSim::ExitedEarly() { return false; }

void PrinterSim::Terminate() {
  if (control_port_ <= 0) return;
  ControlAt(address_, control_port_, R"({"op":"shutdown"})", 5000);
  WinsockScope wsa;
  for (int i = 0; i < 250 && wsa.ok(); ++i) {
    SOCKET s = ConnectTo(address_, control_port_, 1000);
    if (s == INVALID_SOCKET) return;
    closesocket(s);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

bool PrinterSim::Talk(const std::string& address, int port, const std::string& bytes, int timeout_ms, bool toLineEnd,
                      std::string* reply) {
  WinsockScope wsa;
  if (!wsa.ok()) return false;
  SOCKET s = ConnectTo(address, port, timeout_ms);
  if (s == INVALID_SOCKET) return false;
  if (send(s, bytes.data(), static_cast<int>(bytes.size()), 0) == static_cast<int>(bytes.size())) {
    char buf[4096];
    while (!toLineEnd || reply->find('\n') == std::string::npos) {
      int n = recv(s, buf, sizeof buf, 0);
      if (n <= 0) break;
      reply->append(buf, static_cast<size_t>(n));
    }
  }
  closesocket(s);
  return true;
}
