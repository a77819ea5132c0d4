// usb-relay: a USB printing device for Windows tests. It serves a named pipe
// (overlapped, any number of opens, one after another or side by side) that
// object-manager links make answer to device names, and relays the bytes of
// each open to the simulated printer (tools/printer-sim) over loopback TCP:
// one printer connection per open handle, as the printer sees one job stream
// per open of its USB device. So the USB transport meets the same printer,
// with the same faults, as the network transport.
//
//   usb-relay --pipe NAME --printer 127.x.y.z:PORT [--link DOSNAME]...
//             [--ready-file PATH] [--lifetime-s S]
//
// --link makes \??\DOSNAME a link to the pipe (a device interface path without
// its "\\?\" prefix). The ready file is written once the pipe and the links
// exist; when the start fails, PATH.error holds the reason instead. The relay
// ends by itself after its lifetime (300 s by default).

// Winsock before the Windows header.
// clang-format off
#include <winsock2.h>
#include <windows.h>
#include <ws2tcpip.h>
// clang-format on

#include <cstdio>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

#include "support/device_link_win32.h"

namespace {

constexpr DWORD PIPE_BUFFER = 64 * 1024;

struct Options {
  std::wstring pipe;
  std::vector<std::wstring> links;
  sockaddr_in printer{};
  std::wstring readyFile;
  DWORD lifetimeMs = 300 * 1000;
};

void WriteFileText(const std::wstring& path, const std::string& text) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(f);
}

int Fail(const Options& o, const std::string& why) {
  if (!o.readyFile.empty()) WriteFileText(o.readyFile + L".error", why);
  fprintf(stderr, "usb-relay: %s\n", why.c_str());
  return 2;
}

bool ParsePrinter(const std::wstring& text, sockaddr_in* out) {
  size_t colon = text.rfind(L':');
  if (colon == std::wstring::npos) return false;
  std::string address(text.begin(), text.begin() + static_cast<long>(colon));
  int port = _wtoi(text.c_str() + colon + 1);
  out->sin_family = AF_INET;
  out->sin_port = htons(static_cast<u_short>(port));
  // Loopback only.
  return port > 0 && port < 65536 && inet_pton(AF_INET, address.c_str(), &out->sin_addr) == 1 &&
         (ntohl(out->sin_addr.s_addr) >> 24) == 127;
}

// One overlapped transfer on the pipe, waited for; bytes moved or -1.
int PipeTransfer(HANDLE pipe, void* data, DWORD count, bool write) {
  OVERLAPPED ov{};
  ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DWORD moved = 0;
  BOOL ok = write ? WriteFile(pipe, data, count, nullptr, &ov) : ReadFile(pipe, data, count, nullptr, &ov);
  if (ok || GetLastError() == ERROR_IO_PENDING) ok = GetOverlappedResult(pipe, &ov, &moved, TRUE);
  CloseHandle(ov.hEvent);
  return ok ? static_cast<int>(moved) : -1;
}

// One open of the device: pipe bytes to the printer on this thread, printer
// bytes to the pipe on another, until the client closes its handle.
void Serve(HANDLE pipe, sockaddr_in printer) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s != INVALID_SOCKET && connect(s, reinterpret_cast<sockaddr*>(&printer), sizeof printer) == 0) {
    std::thread toHost([pipe, s] {
      char buffer[4096];
      int n;
      while ((n = recv(s, buffer, sizeof buffer, 0)) > 0) {
        if (PipeTransfer(pipe, buffer, static_cast<DWORD>(n), true) != n) break;
      }
    });
    char buffer[4096];
    int n;
    while ((n = PipeTransfer(pipe, buffer, sizeof buffer, false)) > 0) {
      if (send(s, buffer, n, 0) != n) break;
    }
    shutdown(s, SD_BOTH);
    CancelIoEx(pipe, nullptr);  // a reply the client will never read
    toHost.join();
  }
  if (s != INVALID_SOCKET) closesocket(s);
  DisconnectNamedPipe(pipe);
  CloseHandle(pipe);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Options o;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::wstring key = argv[i];
    if (key == L"--pipe") {
      o.pipe = argv[i + 1];
    } else if (key == L"--link") {
      o.links.push_back(argv[i + 1]);
    } else if (key == L"--printer") {
      if (!ParsePrinter(argv[i + 1], &o.printer)) return Fail(o, "--printer takes a loopback ADDRESS:PORT");
    } else if (key == L"--ready-file") {
      o.readyFile = argv[i + 1];
    } else if (key == L"--lifetime-s") {
      o.lifetimeMs = static_cast<DWORD>(_wtoi(argv[i + 1])) * 1000;
    }
  }
  if (o.pipe.empty() || o.printer.sin_family != AF_INET) return Fail(o, "usage: --pipe NAME --printer ADDRESS:PORT");
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return Fail(o, "WSAStartup failed");

  const std::wstring pipePath = L"\\\\.\\pipe\\" + o.pipe;
  auto newInstance = [&] {
    return CreateNamedPipeW(pipePath.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                            PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES, PIPE_BUFFER,
                            PIPE_BUFFER, 0, nullptr);
  };
  HANDLE listening = newInstance();
  if (listening == INVALID_HANDLE_VALUE) return Fail(o, "CreateNamedPipe failed: " + std::to_string(GetLastError()));
  std::vector<HANDLE> links;  // kept open: the links live as long as their handles
  for (const auto& name : o.links) {
    long status = 0;
    HANDLE link = CreateDeviceLink(name, o.pipe, &status);
    if (!link) return Fail(o, "NtCreateSymbolicLinkObject failed: " + std::to_string(status));
    links.push_back(link);
  }
  if (!o.readyFile.empty()) WriteFileText(o.readyFile, std::to_string(GetCurrentProcessId()));

  const ULONGLONG deadline = GetTickCount64() + o.lifetimeMs;
  HANDLE connected = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  for (;;) {
    OVERLAPPED ov{};
    ov.hEvent = connected;
    ResetEvent(connected);
    bool isConnected = ConnectNamedPipe(listening, &ov) || GetLastError() == ERROR_PIPE_CONNECTED;
    if (!isConnected && GetLastError() == ERROR_IO_PENDING) {
      while (WaitForSingleObject(connected, 500) == WAIT_TIMEOUT) {
        if (GetTickCount64() > deadline) ExitProcess(0);
      }
      DWORD ignored = 0;
      isConnected = GetOverlappedResult(listening, &ov, &ignored, FALSE) != FALSE;
    }
    if (isConnected) {
      std::thread(Serve, listening, o.printer).detach();
    } else {
      CloseHandle(listening);
    }
    // The next instance at once, so a client that reopens the device meets no busy pipe.
    listening = newInstance();
    if (listening == INVALID_HANDLE_VALUE) return Fail(o, "CreateNamedPipe failed: " + std::to_string(GetLastError()));
  }
}
