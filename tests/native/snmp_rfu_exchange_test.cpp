// One exchange against a scripted agent: what is sent, when it is sent again,
// and which datagrams are taken as the answer.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <initializer_list>
#include <string>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "net/snmp_message.h"
#include "net/snmp_rfu.h"
#include "support/log_capture.h"
#include "support/snmp_agent_posix.h"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

struct Received {
  Bytes bytes;
  double at;  // seconds since the agent started
};

// Answers are produced by a script from the request; an empty answer list
// means silence. Each answer may come from the agent's port or another one.
struct Reply {
  Bytes bytes;
  bool fromOtherPort = false;
};

class ScriptedAgent {
 public:
  using Script = std::function<std::vector<Reply>(const SnmpMessage& request, const Bytes& raw)>;

  ScriptedAgent(const char* address, Script script) : script_(std::move(script)) {
    fd_ = socket(AF_INET, SOCK_DGRAM, 0);
    other_ = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(161);
    inet_pton(AF_INET, address, &a.sin_addr);
    bound_ = bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    a.sin_port = htons(1161);
    bind(other_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    start_ = Clock::now();
    thread_ = std::thread([this] { Run(); });
  }
  ~ScriptedAgent() {
    stop_ = true;
    thread_.join();
    close(fd_);
    close(other_);
  }
  bool Bound() const { return bound_; }
  std::vector<Received> Requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
  }

 private:
  void Run() {
    while (!stop_) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 20) != 1) continue;
      uint8_t buf[2048];
      sockaddr_in from{};
      socklen_t len = sizeof from;
      ssize_t n = recvfrom(fd_, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
      if (n <= 0) continue;
      Bytes raw(buf, buf + n);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        received_.push_back({raw, std::chrono::duration<double>(Clock::now() - start_).count()});
      }
      SnmpMessage request{};
      if (!SnmpDecodeMessage(raw.data(), raw.size(), &request)) continue;
      for (const Reply& r : script_(request, raw)) {
        sendto(r.fromOtherPort ? other_ : fd_, r.bytes.data(), r.bytes.size(), 0, reinterpret_cast<sockaddr*>(&from),
               len);
      }
    }
  }

  Script script_;
  int fd_ = -1, other_ = -1;
  bool bound_ = false;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::mutex mutex_;
  std::vector<Received> received_;
  Clock::time_point start_;
};

Bytes Tlv(uint8_t tag, const Bytes& content) {
  Bytes out{tag};
  if (content.size() < 0x80) {
    out.push_back(static_cast<uint8_t>(content.size()));
  } else {
    out.push_back(0x82);
    out.push_back(static_cast<uint8_t>(content.size() >> 8));
    out.push_back(static_cast<uint8_t>(content.size()));
  }
  out.insert(out.end(), content.begin(), content.end());
  return out;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes Int(int64_t v) {
  uint8_t buf[16];
  BerWriter w(buf, sizeof buf);
  w.Integer(BER_INTEGER, v);
  return Bytes(buf + 2, buf + w.Size());
}

// A response to `request` with the request's OID and one value.
Bytes Answer(const SnmpMessage& request, int32_t requestId, const char* community, uint8_t syntax, int64_t number,
             int32_t errorStatus = 0, uint8_t pduType = SNMP_PDU_RESPONSE) {
  uint8_t oid[600];
  BerWriter w(oid, sizeof oid);
  w.Oid(request.first.oid.ids, request.first.oid.count);
  Bytes value = SnmpIsNumberSyntax(syntax) ? Tlv(syntax, Int(number)) : Tlv(syntax, {});
  Bytes binding = Tlv(0x30, Cat({Bytes(oid, oid + w.Size()), value}));
  Bytes pdu = Tlv(pduType, Cat({Tlv(0x02, Int(requestId)), Tlv(0x02, Int(errorStatus)),
                                Tlv(0x02, Int(errorStatus ? 1 : 0)), Tlv(0x30, binding)}));
  return Tlv(0x30, Cat({Tlv(0x02, Int(1)), Tlv(0x04, Bytes(community, community + strlen(community))), pdu}));
}

const uint8_t* Community(const char* c) { return reinterpret_cast<const uint8_t*>(c); }

struct TimingOverride {
  explicit TimingOverride(RfuSnmpTiming t) { SetRfuSnmpTimingForTesting(&t); }
  ~TimingOverride() { SetRfuSnmpTimingForTesting(nullptr); }
};

struct Record {
  Record() : r(StartRfuSnmp()) {}
  ~Record() { ReleaseRfuSnmp(r); }
  RfuSnmpRequest* r;
};

}  // namespace

TEST(RfuExchange, ProductTiming) {
  RfuSnmpTiming t = RfuSnmpDefaultTiming();
  EXPECT_EQ(t.entityTimeoutMs, 6000u);
  EXPECT_EQ(t.entityRetries, 3u);
  EXPECT_EQ(t.answerWaitMs, 5000u);
}

// Stray datagrams do not end the wait; the answer that passes the acceptance
// test does, and only its value counts.
TEST(RfuExchange, OnlyTheAcceptedAnswerCounts) {
  const std::string address21 = FreeSnmpAddress(21);
  ScriptedAgent agent(address21.c_str(), [](const SnmpMessage& rq, const Bytes&) {
    return std::vector<Reply>{
        {Bytes{0x30, 0x03, 0x02, 0x01}},                              // malformed
        {Answer(rq, 2, "tarnel", SNMP_SYNTAX_INTEGER, 1)},            // other request id
        {Answer(rq, 1, "tarnex", SNMP_SYNTAX_INTEGER, 1)},            // other community
        {Answer(rq, 1, "tarnel", SNMP_SYNTAX_INTEGER, 1, 0, 0xA0)},   // not a response
        {Answer(rq, 1, "tarnel", SNMP_SYNTAX_INTEGER, 1), true},      // from another port
        {Answer(rq, 1, "tarnel", SNMP_SYNTAX_INTEGER, RFU_OFF_LOCKED)},
        {Answer(rq, 1, "tarnel", SNMP_SYNTAX_INTEGER, 2)},            // too late: already answered
    };
  });
  ASSERT_TRUE(agent.Bound());
  Record rec;
  ASSERT_NE(rec.r, nullptr);
  auto start = Clock::now();
  EXPECT_EQ(GetRfuValue(rec.r, address21.c_str(), Community("tarnel"), 6), RFU_OFF_LOCKED);
  EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), 1.0);
  ASSERT_EQ(agent.Requests().size(), 1u);
  // The request the agent got is the documented GET, byte for byte.
  const char* get = "302f02010104067461726e656ca0220201010201000201003017301506112b06010401bc36020309040201011408000500";
  Bytes expected;
  for (size_t i = 0; get[i]; i += 2) expected.push_back(static_cast<uint8_t>(std::stoi(std::string(get + i, 2), nullptr, 16)));
  EXPECT_EQ(agent.Requests()[0].bytes, expected);
}

// The SET repeats the answer's binding with the new number, in the syntax the
// printer used; its own answer decides.
TEST(RfuExchange, SetKeepsTheAnswersSyntax) {
  const std::string address22 = FreeSnmpAddress(22);
  ScriptedAgent agent(address22.c_str(), [](const SnmpMessage& rq, const Bytes&) {
    if (rq.pduType == SNMP_PDU_GET) return std::vector<Reply>{{Answer(rq, 1, "tarnel", SNMP_SYNTAX_GAUGE32, 1)}};
    return std::vector<Reply>{{Answer(rq, 2, "tarnel", SNMP_SYNTAX_GAUGE32, rq.first.value.number)}};
  });
  ASSERT_TRUE(agent.Bound());
  Record rec;
  EXPECT_EQ(SetRfuValue(rec.r, address22.c_str(), Community("tarnel"), 6, RFU_ON), RFU_SNMP_OK);
  std::vector<Received> got = agent.Requests();
  ASSERT_EQ(got.size(), 2u);
  SnmpMessage set{};
  ASSERT_EQ(SnmpDecodeMessage(got[1].bytes.data(), got[1].bytes.size(), &set), 1);
  EXPECT_EQ(set.pduType, SNMP_PDU_SET);
  EXPECT_EQ(set.requestId, 2);
  EXPECT_EQ(set.first.value.syntax, SNMP_SYNTAX_GAUGE32);
  EXPECT_EQ(set.first.value.number, RFU_ON);
}

// Answers that carry an error status or no integer value are failures.
TEST(RfuExchange, RefusedAnswersTable) {
  struct Case {
    uint8_t syntax;
    int32_t errorStatus;
    int getResult;
  } cases[] = {
      {SNMP_SYNTAX_INTEGER, 0, 2},
      {SNMP_SYNTAX_INTEGER, 6, RFU_SNMP_REFUSED},   // noAccess
      {SNMP_SYNTAX_INTEGER, 5, RFU_SNMP_REFUSED},   // genErr
      {SNMP_SYNTAX_NOSUCHOBJECT, 0, RFU_SNMP_REFUSED},
      {SNMP_SYNTAX_NOSUCHINSTANCE, 0, RFU_SNMP_REFUSED},
      {SNMP_SYNTAX_ENDOFMIBVIEW, 0, RFU_SNMP_REFUSED},
  };
  for (const Case& c : cases) {
    const std::string address23 = FreeSnmpAddress(23);
    ScriptedAgent agent(address23.c_str(), [&c](const SnmpMessage& rq, const Bytes&) {
      return std::vector<Reply>{{Answer(rq, 1, "tarnel", c.syntax, 2, c.errorStatus)}};
    });
    ASSERT_TRUE(agent.Bound());
    Record rec;
    EXPECT_EQ(GetRfuValue(rec.r, address23.c_str(), Community("tarnel"), 6), c.getResult)
        << int(c.syntax) << " " << c.errorStatus;
  }
}

// The product's 5 s answer wait, with the product's 6 s entity time-out: the
// request goes out once and the wait ends before any retransmission.
TEST(RfuExchange, SilentAgentWaitsFiveSecondsWithoutRetransmission) {
  const std::string address24 = FreeSnmpAddress(24);
  ScriptedAgent agent(address24.c_str(), [](const SnmpMessage&, const Bytes&) { return std::vector<Reply>{}; });
  ASSERT_TRUE(agent.Bound());
  Record rec;
  auto start = Clock::now();
  EXPECT_EQ(GetRfuValue(rec.r, address24.c_str(), Community("tarnel"), 6), RFU_SNMP_NO_ANSWER);
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  EXPECT_GE(seconds, 4.99);
  EXPECT_LT(seconds, 5.5);
  EXPECT_EQ(agent.Requests().size(), 1u);
}

// A bounded write to a silent printer (an owed switch-off's retry): no ping,
// the GET's wait cut to the bound, and cut short within a poll slice once its
// stop check answers true.
TEST(RfuExchange, BoundedWriteWaitsItsBoundOrUntilStopped) {
  const std::string address = FreeSnmpAddress(30);
  const std::wstring w(address.begin(), address.end());
  ScriptedAgent agent(address.c_str(), [](const SnmpMessage&, const Bytes&) { return std::vector<Reply>{}; });
  ASSERT_TRUE(agent.Bound());
  LogCapture log;
  const struct {
    const char* what;
    uint32_t answerWaitMs, stopAfterMs;
    double seconds;
  } cases[] = {
      {"bound", 1000, 60000, 1.0},
      {"stopped", RFU_SNMP_ANSWER_WAIT_MS, 300, 0.3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto start = Clock::now();
    const auto since = [&start] { return std::chrono::duration<double>(Clock::now() - start).count(); };
    const RfuWriteBounds bounds{c.answerWaitMs, [&] { return since() * 1000 >= c.stopAfterMs; }};
    EXPECT_EQ(WriteRfuStatusAtAddress(w.c_str(), L"tarnel", RFU_OFF, &bounds), RFU_SNMP_NO_ANSWER);
    EXPECT_GE(since(), c.seconds - 0.01);
    EXPECT_LT(since(), c.seconds + RFU_STOP_POLL_MS / 1000.0 + 0.15);
  }
  EXPECT_EQ(agent.Requests().size(), 2u);  // a GET each
  EXPECT_FALSE(log.ContainsPart(L"Ping("));
}

// The product's 6 s entity time-out: with a longer answer wait the request is
// sent again after 6 s.
TEST(RfuExchange, EntityTimeoutIsSixSeconds) {
  RfuSnmpTiming t = RfuSnmpDefaultTiming();
  t.answerWaitMs = 6500;
  TimingOverride timing(t);
  const std::string address25 = FreeSnmpAddress(25);
  ScriptedAgent agent(address25.c_str(), [](const SnmpMessage&, const Bytes&) { return std::vector<Reply>{}; });
  ASSERT_TRUE(agent.Bound());
  Record rec;
  EXPECT_EQ(GetRfuValue(rec.r, address25.c_str(), Community("tarnel"), 6), RFU_SNMP_NO_ANSWER);
  std::vector<Received> got = agent.Requests();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_NEAR(got[1].at - got[0].at, 6.0, 0.1);
  EXPECT_EQ(got[1].bytes, got[0].bytes);
}

// The product's 3 retries: with a short time-out the request goes out four
// times in all, and an answer to a retransmission is accepted.
TEST(RfuExchange, ThreeRetries) {
  RfuSnmpTiming t = RfuSnmpDefaultTiming();
  t.entityTimeoutMs = 100;
  t.answerWaitMs = 800;
  TimingOverride timing(t);
  {
    const std::string address26 = FreeSnmpAddress(26);
    ScriptedAgent agent(address26.c_str(), [](const SnmpMessage&, const Bytes&) { return std::vector<Reply>{}; });
    ASSERT_TRUE(agent.Bound());
    Record rec;
    EXPECT_EQ(GetRfuValue(rec.r, address26.c_str(), Community("tarnel"), 6), RFU_SNMP_NO_ANSWER);
    std::vector<Received> got = agent.Requests();
    ASSERT_EQ(got.size(), 4u);
    for (size_t i = 1; i < got.size(); ++i) EXPECT_NEAR(got[i].at - got[i - 1].at, 0.1, 0.05);
    EXPECT_EQ(rec.r->requestsSent, 4u);
  }
  std::atomic<int> seen{0};
  const std::string address27 = FreeSnmpAddress(27);
  ScriptedAgent agent(address27.c_str(), [&seen](const SnmpMessage& rq, const Bytes&) {
    if (++seen < 3) return std::vector<Reply>{};
    return std::vector<Reply>{{Answer(rq, 1, "tarnel", SNMP_SYNTAX_INTEGER, RFU_ON)}};
  });
  ASSERT_TRUE(agent.Bound());
  Record rec;
  EXPECT_EQ(GetRfuValue(rec.r, address27.c_str(), Community("tarnel"), 6), RFU_ON);
  EXPECT_EQ(agent.Requests().size(), 3u);
}

TEST(RfuExchange, SessionAndRecordFailures) {
  EXPECT_EQ(GetRfuValue(nullptr, "127.20.0.28", Community("tarnel"), 6), RFU_SNMP_NO_RECORD);
  EXPECT_EQ(SetRfuValue(nullptr, "127.20.0.28", Community("tarnel"), 6, RFU_ON), RFU_SNMP_NO_RECORD);
  Record rec;
  EXPECT_EQ(GetRfuValue(rec.r, "not an address", Community("tarnel"), 6), RFU_SNMP_NO_SESSION);
  // A community that does not fit the UTF-8 text is refused, not cut.
  std::wstring longCommunity(RFU_TEXT_UTF8_MAX, L'c');
  EXPECT_EQ(WriteRfuStatusAtAddress(L"127.20.0.28", longCommunity.c_str(), RFU_ON), RFU_SNMP_NO_SESSION);
}

// The remaining failure results, each from its own step: a binding without a
// number (-4), a request that cannot be encoded (-5: a negative number in the
// Gauge32 syntax the printer answered with), a send the system refuses (-6:
// broadcast without permission, refused before anything leaves the host).
TEST(RfuExchange, FailedStepResults) {
  const std::string address = FreeSnmpAddress(29);
  ScriptedAgent agent(address.c_str(), [](const SnmpMessage& rq, const Bytes&) {
    return std::vector<Reply>{{Answer(rq, rq.requestId, "tarnel", SNMP_SYNTAX_GAUGE32, 1)}};
  });
  ASSERT_TRUE(agent.Bound());
  Record rec;
  ASSERT_EQ(OpenRfuSnmpSession(rec.r, address.c_str(), Community("tarnel"), 6), 1);
  SnmpValue octets{SNMP_SYNTAX_OCTETS, 2};
  EXPECT_EQ(SendRfuSnmpPdu(rec.r, RFU_SET_REQUEST_ID, RFU_SNMP_SET, &octets), RFU_SNMP_NO_VARBIND);
  CloseRfuSnmpSession(rec.r);
  EXPECT_EQ(SetRfuValue(rec.r, address.c_str(), Community("tarnel"), 6, -1), RFU_SNMP_NO_PDU);
  EXPECT_EQ(agent.Requests().size(), 1u);  // the GET only
  EXPECT_EQ(SetRfuValue(rec.r, address.c_str(), Community("tarnel"), 6, RFU_ON), RFU_SNMP_OK);
  EXPECT_EQ(GetRfuValue(rec.r, "255.255.255.255", Community("tarnel"), 6), RFU_SNMP_SEND_FAILED);
  EXPECT_NE(rec.r->lastStatus, 0);
}
