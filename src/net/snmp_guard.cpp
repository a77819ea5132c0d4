#include "net/snmp_guard.h"

#include <cstdio>
#include <cstring>
#include <thread>

#include "host/clock.h"
#include "host/os_version.h"
#include "host/text_utils.h"
#include "net/socket_layer.h"
#include "net/snmp_udp.h"

bool IsIcmpPortUnreachable(const uint8_t* datagram, size_t size) {
  return size >= 22 && datagram[20] == 3 && datagram[21] == 3;
}

namespace {
// Bytes received (>= 0) and the sender's dotted text, or minus the error code.
int ReceiveIcmp(Socket& icmp, uint8_t* datagram, size_t size, char* sender, size_t senderSize) {
  SocketEndpoint from;
  int64_t n = icmp.ReceiveFrom(datagram, size, &from);
  if (n < 0) {
    int error = SocketLastError();
    return -(SocketTimedOut(error) ? GUARD_ERROR_TIMEDOUT : error);
  }
  Ipv4EndpointText(from, sender, senderSize);
  return static_cast<int>(static_cast<size_t>(n) > size ? size : static_cast<size_t>(n));
}
}  // namespace

int WatchSnmpPortUnreachable(const char* printerAddress) {
  // Held on this thread's stack: nothing the thread uses goes away while the
  // process ends under it.
  SocketLibrary sockets(SNMP_SOCKETS_MAJOR, SNMP_SOCKETS_MINOR);
  if (sockets.Error() != 0) {
    printf("WSAStartup failed with error %d\n", sockets.Error());
    fflush(stdout);
    return GUARD_EXIT_WSASTARTUP;
  }
  Socket icmp;
  if (icmp.OpenIcmpIpv4() != 0) return GUARD_EXIT_SOCKET;
  int exitCode = 0;
  icmp.SetReceiveTimeout(GUARD_RECEIVE_TIMEOUT_MS);
  SocketEndpoint local;
  int rc = 0;
  if (LocalHostIpv4Endpoint(SNMP_PORT, &local) != 0 || icmp.Bind(local) != 0) {
    exitCode = GUARD_EXIT_BIND;
  } else if ((IsWindowsVista() || IsWindows7()) && (rc = icmp.SetReceiveAll()) != 0) {
    printf("ioctlsocket failed with error %d\n", rc);
    fflush(stdout);
    exitCode = GUARD_EXIT_RCVALL;
  } else {
    uint8_t datagram[GUARD_DATAGRAM_MAX];
    char sender[64];
    // The receive time-out also bounds the thread's whole life: ICMP
    // traffic from other hosts (pings...) must not keep it running.
    const uint32_t start = SystemClock().TickCount();
    for (;;) {
      uint32_t elapsed = SystemClock().TickCount() - start;
      if (elapsed >= GUARD_RECEIVE_TIMEOUT_MS) {
        exitCode = GUARD_ERROR_TIMEDOUT;
        break;
      }
      if (elapsed > 0) icmp.SetReceiveTimeout(GUARD_RECEIVE_TIMEOUT_MS - elapsed);
      int n = ReceiveIcmp(icmp, datagram, sizeof datagram, sender, sizeof sender);
      if (n < 0) {
        exitCode = -n;
        break;
      }
      if (strcmp(sender, printerAddress) != 0) continue;
      if (IsIcmpPortUnreachable(datagram, static_cast<size_t>(n))) {
        exitCode = GUARD_EXIT_PORT_UNREACHABLE;
        break;
      }
    }
  }
  int closeError = icmp.Close();
  if (closeError != 0) exitCode = closeError;
  return exitCode;
}

SnmpGuardThread::~SnmpGuardThread() = default;

bool SnmpGuardThread::Start(const char* printerAddress) {
  auto state = std::make_shared<State>();
  CopyText(state->address, sizeof state->address, printerAddress);
  CopyText(state->printer, LOG_PRINTER_MAX, LogPrinterName());
  try {
    std::thread([state] {
      LogPrinterScope scope(state->printer);
      int code = WatchSnmpPortUnreachable(state->address);
      state->exitCode.store(code);
      state->ended.store(true);
    }).detach();
  } catch (...) {
    return false;
  }
  m_state = state;
  return true;
}

int SnmpGuardThread::ExitCode() const {
  if (!m_state || !m_state->ended.load()) return GUARD_STILL_ACTIVE;
  return m_state->exitCode.load();
}
