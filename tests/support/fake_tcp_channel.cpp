#include "fake_tcp_channel.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace nettest {

namespace {

class FakeChannel : public TcpChannel {
 public:
  FakeChannel(FakeNet* net, int n) : m_net(net), m_n(n) {}

  int Startup() override {
    int ok = m_net->Script(m_n).startup;
    m_net->Record(m_n, ok ? "startup" : "startup failed");
    return ok;
  }
  void Cleanup() override { m_net->Record(m_n, "cleanup"); }
  int Create() override {
    int ok = m_net->Script(m_n).create;
    m_net->Record(m_n, ok ? "create" : "create failed");
    if (!ok) m_error = 10055;
    return ok;
  }
  int SetReceiveTimeout(uint32_t ms) override {
    int ok = m_net->Script(m_n).setTimeoutFailAt == m_timeouts++ ? 0 : 1;
    m_net->Record(m_n, "rcvtimeo " + std::to_string(ms) + (ok ? "" : " failed"));
    if (!ok) m_error = 10022;
    return ok;
  }
  void SetSendTimeout(uint32_t ms) override { m_net->Record(m_n, "sndtimeo " + std::to_string(ms)); }
  void SetSendStop(std::function<bool()>) override {}
  int Connect(const uint8_t a[4], uint16_t port) override {
    char text[64];
    snprintf(text, sizeof text, "connect %u.%u.%u.%u:%u", a[0], a[1], a[2], a[3], port);
    int ok = m_net->Script(m_n).connect;
    m_net->Record(m_n, std::string(text) + (ok ? "" : " failed"));
    m_connected = ok != 0;
    if (!ok) m_error = FAKE_ECONNREFUSED;
    return ok;
  }
  int64_t Send(const uint8_t* data, size_t length) override {
    int index = m_sends++;
    int64_t result = static_cast<int64_t>(length);
    if (!m_connected) {
      result = -1;
      m_error = FAKE_ENOTCONN;
    }
    for (const auto& r : m_net->Script(m_n).sendResults) {
      if (r.first == index) result = r.second;
    }
    if (result < 0) {
      if (m_connected) m_error = FAKE_ECONNRESET;
    } else {
      m_net->AppendSent(m_n, data, static_cast<size_t>(std::min<int64_t>(result, static_cast<int64_t>(length))));
    }
    m_net->Record(m_n, "send " + std::to_string(length) + " = " + std::to_string(result));
    return result;
  }
  int64_t Receive(uint8_t* buffer, size_t length) override {
    std::deque<Segment>& replies = m_net->Script(m_n).replies;
    int64_t result;
    if (!m_connected) {
      result = -1;
      m_error = FAKE_ENOTCONN;
    } else if (replies.empty()) {
      result = -1;
      m_error = FAKE_ETIMEDOUT;
    } else if (replies.front().kind == Segment::Error) {
      result = -1;
      m_error = replies.front().error;
      replies.pop_front();
    } else if (replies.front().kind == Segment::Closed) {
      result = 0;  // stays closed
    } else {
      Segment& s = replies.front();
      size_t n = std::min(length, s.bytes.size());
      std::copy(s.bytes.begin(), s.bytes.begin() + static_cast<std::ptrdiff_t>(n), buffer);
      s.bytes.erase(s.bytes.begin(), s.bytes.begin() + static_cast<std::ptrdiff_t>(n));
      if (s.bytes.empty()) replies.pop_front();
      result = static_cast<int64_t>(n);
    }
    m_net->Record(m_n, "recv " + std::to_string(length) + " -> " + std::to_string(result));
    return result;
  }
  void Close() override { m_net->Record(m_n, "close"); }
  uint32_t LastError() override { return m_error; }

 private:
  FakeNet* m_net;
  int m_n;
  int m_sends = 0;
  int m_timeouts = 0;
  bool m_connected = false;
  uint32_t m_error = 0;
};

}  // namespace

FakeNet::FakeNet() {
  m_settings.channelFactory = [this]() -> std::unique_ptr<TcpChannel> {
    int n = Open();
    return std::make_unique<FakeChannel>(this, n);
  };
  m_previous = SetNtwkSettingsForTesting(&m_settings);
}

FakeNet::~FakeNet() { SetNtwkSettingsForTesting(m_previous); }

void FakeNet::AddConnection(ConnScript script) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_scripts.push_back(std::move(script));
}

int FakeNet::Open() {
  std::lock_guard<std::mutex> lock(m_mutex);
  ++m_opened;
  if (static_cast<int>(m_scripts.size()) < m_opened) m_scripts.resize(static_cast<size_t>(m_opened));
  if (static_cast<int>(m_sent.size()) < m_opened) m_sent.resize(static_cast<size_t>(m_opened));
  return m_opened;
}

ConnScript& FakeNet::Script(int n) {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_scripts[static_cast<size_t>(n - 1)];
}

void FakeNet::Record(int n, const std::string& what) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_trace.push_back(std::to_string(n) + " " + what);
}

void FakeNet::AppendSent(int n, const uint8_t* data, size_t length) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_sent[static_cast<size_t>(n - 1)].insert(m_sent[static_cast<size_t>(n - 1)].end(), data, data + length);
}

std::vector<std::string> FakeNet::Trace() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_trace;
}

std::vector<uint8_t> FakeNet::Sent(int n) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (n < 1 || n > static_cast<int>(m_sent.size())) return {};
  return m_sent[static_cast<size_t>(n - 1)];
}

int FakeNet::Connections() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_opened;
}

Segment Reply(const std::vector<uint8_t>& bytes) {
  Segment s;
  s.bytes = bytes;
  return s;
}

Segment ErrorReply(uint32_t error) {
  Segment s;
  s.kind = Segment::Error;
  s.error = error;
  return s;
}

Segment ClosedReply() {
  Segment s;
  s.kind = Segment::Closed;
  return s;
}

std::vector<uint8_t> Response(uint16_t cmdID, uint16_t status, const std::vector<uint8_t>& payload, uint16_t prefix) {
  std::vector<uint8_t> r(16, 0);
  r[0] = static_cast<uint8_t>(prefix >> 8);
  r[1] = static_cast<uint8_t>(prefix);
  r[2] = static_cast<uint8_t>(cmdID >> 8);
  r[3] = static_cast<uint8_t>(cmdID);
  r[4] = static_cast<uint8_t>(status >> 8);
  r[5] = static_cast<uint8_t>(status);
  for (size_t i = 0; i < payload.size() && i < 10; ++i) r[6 + i] = payload[i];
  return r;
}

std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string s;
  for (uint8_t b : bytes) {
    s += digits[b >> 4];
    s += digits[b & 15];
  }
  return s;
}

std::vector<uint8_t> Uel() { return {0x1B, '%', '-', '1', '2', '3', '4', '5', 'X'}; }
std::vector<uint8_t> EnterLang() { return Bytes("@PJL ENTER LANGUAGE=ACL\r\n"); }

}  // namespace nettest
