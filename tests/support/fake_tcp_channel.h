#pragma once
// A scripted printer behind the network transport's channel interface. Every
// connection the transport opens takes the next ConnScript; every call is
// recorded in order, and the bytes sent on each connection are kept, so tests
// check what the product wrote byte for byte. Receives are served from the
// script's segments the way a stream socket delivers them: one receive never
// crosses a segment boundary, and what it does not take stays for the next.

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "transport/ntwk_download.h"

namespace nettest {

// Socket errors the fake reports (Winsock numbering, also on POSIX).
constexpr uint32_t FAKE_ETIMEDOUT = 10060;
constexpr uint32_t FAKE_ENOTCONN = 10057;
constexpr uint32_t FAKE_ECONNREFUSED = 10061;
constexpr uint32_t FAKE_ECONNRESET = 10054;

struct Segment {
  enum Kind { Bytes, Error, Closed } kind = Bytes;
  std::vector<uint8_t> bytes;
  uint32_t error = FAKE_ETIMEDOUT;
};

struct ConnScript {
  int startup = 1;
  int create = 1;
  int setTimeoutFailAt = -1;    // index of the SetReceiveTimeout call that fails
  int connect = 1;
  // Send results by send index on this connection (0-based): -1 fails, a
  // value >= 0 is the count reported (short when below the length).
  std::vector<std::pair<int, int64_t>> sendResults;
  std::deque<Segment> replies;  // nothing left: the receive times out (-1)
};

class FakeNet {
 public:
  FakeNet();
  ~FakeNet();
  FakeNet(const FakeNet&) = delete;
  FakeNet& operator=(const FakeNet&) = delete;

  // Scripts for the connections in the order they are opened; connections
  // beyond the list get a default script (everything succeeds, no replies).
  void AddConnection(ConnScript script);
  // Settings with this fake as the channel factory, installed for the
  // lifetime of the object; the time-outs and port stay the product's.
  NtwkSettings& Settings() { return m_settings; }

  // Calls in order, e.g. "1 startup", "1 rcvtimeo 20000", "1 sndtimeo 20000",
  // "1 connect 127.60.0.1:9100", "1 send 9 = 9", "1 recv 16 -> 16", "1 close".
  std::vector<std::string> Trace() const;
  // Everything sent on connection n (1-based), concatenated.
  std::vector<uint8_t> Sent(int n) const;
  int Connections() const;

  // Used by the fake channel.
  int Open();
  ConnScript& Script(int n);
  void Record(int n, const std::string& what);
  void AppendSent(int n, const uint8_t* data, size_t length);

 private:
  mutable std::mutex m_mutex;
  std::deque<ConnScript> m_scripts;  // a deque: adding a script moves none that a connection reads
  std::vector<std::string> m_trace;
  std::vector<std::vector<uint8_t>> m_sent;
  int m_opened = 0;
  NtwkSettings m_settings;
  const NtwkSettings* m_previous;
};

// Reply helpers.
Segment Reply(const std::vector<uint8_t>& bytes);
Segment ErrorReply(uint32_t error = FAKE_ETIMEDOUT);
Segment ClosedReply();
// A 16-byte response: prefix, cmdID, status, then up to 10 payload bytes.
std::vector<uint8_t> Response(uint16_t cmdID, uint16_t status = 1, const std::vector<uint8_t>& payload = {},
                              uint16_t prefix = 0x00AC);
std::vector<uint8_t> Bytes(const std::string& text);
std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts);
std::string Hex(const std::vector<uint8_t>& bytes);

// The framing as a printer sees it, written out independently of the product.
std::vector<uint8_t> Uel();
std::vector<uint8_t> EnterLang();

}  // namespace nettest
