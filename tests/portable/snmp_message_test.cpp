#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "net/snmp_message.h"

namespace {

std::vector<uint8_t> Hex(const char* hex) {
  std::vector<uint8_t> out;
  for (size_t i = 0; hex[i] && hex[i + 1]; i += 2) {
    out.push_back(static_cast<uint8_t>(std::stoi(std::string(hex + i, 2), nullptr, 16)));
  }
  return out;
}

std::string ToHex(const uint8_t* data, size_t size) {
  static const char digits[] = "0123456789abcdef";
  std::string s;
  for (size_t i = 0; i < size; ++i) {
    s += digits[data[i] >> 4];
    s += digits[data[i] & 15];
  }
  return s;
}

// Tag, definite length and content, all in hex: builds well-nested test
// messages so that each malformed case below has exactly one defect.
std::string T(const char* tag, const std::string& content) {
  size_t n = content.size() / 2;
  char len[24];
  if (n < 0x80)
    snprintf(len, sizeof len, "%02zx", n);
  else if (n < 0x100)
    snprintf(len, sizeof len, "81%02zx", n);
  else
    snprintf(len, sizeof len, "82%04zx", n);
  return std::string(tag) + len + content;
}

std::string Response(const std::string& bindings, const std::string& requestId = "01") {
  return T("30", T("02", "01") + T("04", "61") +
                     T("a2", T("02", requestId) + T("02", "00") + T("02", "00") + T("30", bindings)));
}

const std::string kOid = T("06", "2b06");

const char kRfuOid[] = "1.3.6.1.4.1.7734.2.3.9.4.2.1.1.20.8.0";
const uint8_t kTarnel[] = {'t', 'a', 'r', 'n', 'e', 'l'};

SnmpVarBind RfuBinding(uint8_t syntax, int64_t number) {
  SnmpVarBind b{};
  EXPECT_EQ(SnmpParseOid(kRfuOid, &b.oid), 1);
  b.value.syntax = syntax;
  b.value.number = number;
  return b;
}

std::string Encode(uint8_t pdu, int32_t id, const char* community, const SnmpVarBind& b) {
  uint8_t out[SNMP_REQUEST_MAX];
  size_t n = SnmpEncodeRequest(pdu, id, reinterpret_cast<const uint8_t*>(community), strlen(community), b, out,
                               sizeof out);
  return ToHex(out, n);
}

// Every length in the shortest definite form: one octet below 0x80, else
// 0x81.. followed by octets without a leading zero, over constructed content.
bool ShortestLengths(const uint8_t* data, size_t size) {
  size_t pos = 0;
  while (pos < size) {
    if (size - pos < 2) return false;
    const uint8_t tag = data[pos++];
    const uint8_t first = data[pos++];
    size_t length = first;
    if (first & 0x80) {
      const size_t octets = first & 0x7F;
      if (octets == 0 || octets > 4 || size - pos < octets || data[pos] == 0) return false;
      length = 0;
      for (size_t i = 0; i < octets; ++i) length = (length << 8) | data[pos++];
      if (length < 0x80) return false;
    }
    if (length > size - pos) return false;
    if ((tag & 0x20) && !ShortestLengths(data + pos, length)) return false;
    pos += length;
  }
  return true;
}

}  // namespace

// Requests byte for byte. The GET is the program's request as checked against
// net-snmp's decoder; the SET has the layout of snmpset's request to the same
// agent (captured on loopback) with request id 2.
TEST(SnmpEncode, RequestsByteForByte) {
  EXPECT_EQ(Encode(SNMP_PDU_GET, 1, "tarnel", RfuBinding(SNMP_SYNTAX_NULL, 0)),
            "302f02010104067461726e656ca0220201010201000201003017301506112b06010401bc36020309040201011408000500");
  EXPECT_EQ(Encode(SNMP_PDU_SET, 2, "tarnel", RfuBinding(SNMP_SYNTAX_INTEGER, 1)),
            "303002010104067461726e656ca3230201020201000201003018301606112b06010401bc3602030904020101140800020101");
  // snmpset's captured request, with its own request id.
  EXPECT_EQ(Encode(SNMP_PDU_SET, 0x415dc32b, "tarnel", RfuBinding(SNMP_SYNTAX_INTEGER, 1)),
            "303302010104067461726e656ca3260204415dc32b0201000201003018301606112b06010401bc3602030904020101140800020101");
  // A SET keeps the syntax the printer answered with.
  const std::string rfuOid = T("06", "2b06010401bc3602030904020101140800");
  EXPECT_EQ(Encode(SNMP_PDU_SET, 2, "p", RfuBinding(SNMP_SYNTAX_GAUGE32, 0x80000000LL)),
            T("30", T("02", "01") + T("04", "70") +
                        T("a3", T("02", "02") + T("02", "00") + T("02", "00") +
                                    T("30", T("30", rfuOid + T("42", "0080000000"))))));
}

TEST(SnmpEncode, EdgeIntegersAndLongLengths) {
  struct Case {
    int64_t value;
    const char* content;
  } cases[] = {
      {0, "020100"},          {127, "02017f"},          {128, "02020080"},           {-1, "0201ff"},
      {-128, "020180"},       {-129, "0202ff7f"},       {255, "020200ff"},           {256, "02020100"},
      {INT32_MAX, "02047fffffff"}, {INT32_MIN, "020480000000"},
  };
  for (const Case& c : cases) {
    uint8_t buf[16];
    BerWriter w(buf, sizeof buf);
    w.Integer(BER_INTEGER, c.value);
    ASSERT_TRUE(w.Ok());
    EXPECT_EQ(ToHex(buf, w.Size()), c.content) << c.value;
    int64_t back = 0;
    BerReader r(buf, w.Size());
    uint8_t tag = 0;
    BerReader content;
    ASSERT_TRUE(r.Next(&tag, &content));
    ASSERT_TRUE(BerDecodeInteger(content, &back));
    EXPECT_EQ(back, c.value);
  }
  // A community of 200 bytes needs the two-octet length form everywhere above it.
  std::string community(200, 'c');
  std::string hex = Encode(SNMP_PDU_GET, 1, community.c_str(), RfuBinding(SNMP_SYNTAX_NULL, 0));
  EXPECT_EQ(hex.substr(0, 6), "3081f2");
  EXPECT_EQ(hex.substr(12, 6), "0481c8");
  // Each community length a request may carry: the request decodes with the
  // community it was given, its lengths in the form a printer decodes.
  for (size_t n = 0; n <= SNMP_COMMUNITY_MAX; ++n) {
    const std::string name(n, 'c');
    for (const SnmpVarBind& binding : {RfuBinding(SNMP_SYNTAX_NULL, 0), RfuBinding(SNMP_SYNTAX_INTEGER, 1)}) {
      const uint8_t pdu = binding.value.syntax == SNMP_SYNTAX_NULL ? SNMP_PDU_GET : SNMP_PDU_SET;
      SCOPED_TRACE("community of " + std::to_string(n) + " bytes, pdu " + std::to_string(pdu));
      uint8_t request[SNMP_REQUEST_MAX];
      const size_t size = SnmpEncodeRequest(pdu, 2, reinterpret_cast<const uint8_t*>(name.data()), n, binding,
                                            request, sizeof request);
      ASSERT_GT(size, 0u);
      EXPECT_TRUE(ShortestLengths(request, size)) << ToHex(request, size);
      SnmpMessage m{};
      ASSERT_EQ(SnmpDecodeMessage(request, size, &m), 1) << ToHex(request, size);
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.community), m.communityLength), name);
      EXPECT_EQ(m.pduType, pdu);
    }
  }
  // Out of range values and undersized buffers are refused, never cut.
  uint8_t out[64];
  SnmpVarBind b = RfuBinding(SNMP_SYNTAX_INTEGER, int64_t{INT32_MAX} + 1);
  EXPECT_EQ(SnmpEncodeRequest(SNMP_PDU_SET, 2, kTarnel, 6, b, out, sizeof out), 0u);
  b = RfuBinding(SNMP_SYNTAX_COUNTER32, -1);
  EXPECT_EQ(SnmpEncodeRequest(SNMP_PDU_SET, 2, kTarnel, 6, b, out, sizeof out), 0u);
  b = RfuBinding(SNMP_SYNTAX_OCTETS, 0);
  EXPECT_EQ(SnmpEncodeRequest(SNMP_PDU_SET, 2, kTarnel, 6, b, out, sizeof out), 0u);
  b = RfuBinding(SNMP_SYNTAX_INTEGER, 2);
  EXPECT_EQ(SnmpEncodeRequest(SNMP_PDU_SET, 2, kTarnel, 6, b, out, 49), 0u);
  EXPECT_EQ(SnmpEncodeRequest(SNMP_PDU_SET, 2, kTarnel, 6, b, out, 50), 50u);
  std::string tooLong(SNMP_COMMUNITY_MAX + 1, 'x');
  EXPECT_EQ(SnmpEncodeRequest(SNMP_PDU_GET, 1, reinterpret_cast<const uint8_t*>(tooLong.data()), tooLong.size(), b,
                              out, sizeof out),
            0u);
}

TEST(SnmpOid, ParseAndEncodeTable) {
  struct Case {
    const char* text;
    int ok;
    const char* content;  // BER content when ok
  } cases[] = {
      {"1.3.6.1.4.1.7734.2.3.9.4.2.1.1.20.8.0", 1, "2b06010401bc3602030904020101140800"},
      {".1.3.6.1", 1, "2b0601"},
      {"2.999.1", 1, "883701"},
      {"1.3.4294967295", 1, "2b8fffffff7f"},
      {"1.3.4294967296", 0, ""},
      {"1", 0, ""},
      {"3.1", 0, ""},
      {"1.40", 0, ""},
      {"1..3", 0, ""},
      {"1.3.", 0, ""},
      {"1.3a", 0, ""},
      {"", 0, ""},
  };
  for (const Case& c : cases) {
    SnmpOid oid{};
    ASSERT_EQ(SnmpParseOid(c.text, &oid), c.ok) << c.text;
    if (!c.ok) continue;
    uint8_t buf[64];
    BerWriter w(buf, sizeof buf);
    w.Oid(oid.ids, oid.count);
    ASSERT_TRUE(w.Ok());
    std::string hex = ToHex(buf + 2, w.Size() - 2);
    EXPECT_EQ(hex.substr(0, strlen(c.content)), c.content) << c.text;
    SnmpOid back{};
    BerReader content(buf + 2, w.Size() - 2);
    ASSERT_TRUE(BerDecodeOid(content, back.ids, SNMP_OID_MAX_IDS, &back.count));
    ASSERT_EQ(back.count, oid.count);
    EXPECT_EQ(memcmp(back.ids, oid.ids, oid.count * sizeof(uint32_t)), 0) << c.text;
  }
  std::string longest = "1.3";
  for (size_t i = 2; i < SNMP_OID_MAX_IDS; ++i) longest += ".4294967295";
  SnmpOid oid{};
  EXPECT_EQ(SnmpParseOid(longest.c_str(), &oid), 1);
  EXPECT_EQ(SnmpParseOid((longest + ".1").c_str(), &oid), 0);
}

// Answers of net-snmp's snmpd 5.9.3 to snmpget/snmpset, captured on loopback.
TEST(SnmpDecode, RealAgentAnswers) {
  struct Case {
    const char* hex;
    uint8_t pdu;
    int32_t requestId, errorStatus, errorIndex;
    uint8_t syntax;
    int64_t number;
    const char* community;
  } cases[] = {
      {"303302010104067461726e656ca22602044c0f83ab0201000201003018301606112b06010401bc3602030904020101140800020102",
       SNMP_PDU_RESPONSE, 0x4c0f83ab, 0, 0, SNMP_SYNTAX_INTEGER, 2, "tarnel"},
      // SET with a read-only community: noAccess, the requested value echoed.
      {"303402010104076765746f6e6c79a2260204051f46930201060201013018301606112b06010401bc3602030904020101140800020102",
       SNMP_PDU_RESPONSE, 0x051f4693, 6, 1, SNMP_SYNTAX_INTEGER, 2, "getonly"},
      // SET of 7: wrongValue.
      {"303302010104067461726e656ca226020460be562402010a0201013018301606112b06010401bc3602030904020101140800020107",
       SNMP_PDU_RESPONSE, 0x60be5624, 10, 1, SNMP_SYNTAX_INTEGER, 7, "tarnel"},
      {"303202010104067461726e656ca225020423d635870201000201003017301506112b06010401bc36020309040201011409008000",
       SNMP_PDU_RESPONSE, 0x23d63587, 0, 0, SNMP_SYNTAX_NOSUCHOBJECT, 0, "tarnel"},
      {"303202010104067461726e656ca225020471da9bf50201000201003017301506112b06010401bc36020309040201011408018100",
       SNMP_PDU_RESPONSE, 0x71da9bf5, 0, 0, SNMP_SYNTAX_NOSUCHINSTANCE, 0, "tarnel"},
      // snmpget's request decodes too (it is a message like any other).
      {"303202010104067461726e656ca02502044c0f83ab0201000201003017301506112b06010401bc36020309040201011408000500",
       SNMP_PDU_GET, 0x4c0f83ab, 0, 0, SNMP_SYNTAX_NULL, 0, "tarnel"},
  };
  SnmpOid rfu{};
  ASSERT_EQ(SnmpParseOid(kRfuOid, &rfu), 1);
  for (const Case& c : cases) {
    std::vector<uint8_t> d = Hex(c.hex);
    SnmpMessage m{};
    ASSERT_EQ(SnmpDecodeMessage(d.data(), d.size(), &m), 1) << c.hex;
    EXPECT_EQ(m.version, SNMP_VERSION_2C);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.community), m.communityLength), c.community);
    EXPECT_EQ(m.pduType, c.pdu);
    EXPECT_EQ(m.requestId, c.requestId);
    EXPECT_EQ(m.errorStatus, c.errorStatus);
    EXPECT_EQ(m.errorIndex, c.errorIndex);
    ASSERT_EQ(m.bindingCount, 1u);
    EXPECT_EQ(m.first.value.syntax, c.syntax);
    EXPECT_EQ(m.first.value.number, c.number);
    bool oidMatches = m.first.oid.count == rfu.count &&
                      memcmp(m.first.oid.ids, rfu.ids, rfu.count * sizeof(uint32_t)) == 0;
    // Two of the captures asked for neighbouring objects.
    if (c.syntax != SNMP_SYNTAX_NOSUCHOBJECT && c.syntax != SNMP_SYNTAX_NOSUCHINSTANCE) {
      EXPECT_TRUE(oidMatches);
    }
  }
}

TEST(SnmpDecode, ValueSyntaxesAndSeveralBindings) {
  // Gauge32 0xFFFFFFFF needs five octets; only the first binding is kept, but
  // every binding is bounded and checked.
  std::string hex = Response(T("30", kOid + T("42", "00ffffffff")) + T("30", kOid + T("04", "616263")) +
                             T("30", kOid + T("46", "0100000000000000ff")) + T("30", kOid + T("40", "7f000001")) +
                             T("30", kOid + T("06", "2b0601")) + T("30", kOid + T("43", "7fffffff")) +
                             T("30", kOid + T("82", "")));
  std::vector<uint8_t> d = Hex(hex.c_str());
  SnmpMessage m{};
  ASSERT_EQ(SnmpDecodeMessage(d.data(), d.size(), &m), 1);
  EXPECT_EQ(m.bindingCount, 7u);
  EXPECT_EQ(m.first.value.syntax, SNMP_SYNTAX_GAUGE32);
  EXPECT_EQ(m.first.value.number, int64_t{0xFFFFFFFF});
  EXPECT_EQ(m.first.oid.count, 3u);
  // An empty binding list is a well-formed message without a value.
  d = Hex(Response("").c_str());
  ASSERT_EQ(SnmpDecodeMessage(d.data(), d.size(), &m), 1);
  EXPECT_EQ(m.bindingCount, 0u);
  // A community with a two-octet length.
  std::string community(2 * 200, 'a');
  d = Hex(T("30", T("02", "01") + T("04", community) + T("a2", T("02", "01") + T("02", "00") + T("02", "00") +
                                                                   T("30", ""))).c_str());
  ASSERT_EQ(SnmpDecodeMessage(d.data(), d.size(), &m), 1);
  EXPECT_EQ(m.communityLength, 200u);
}

// Malformed datagrams: each has exactly one defect and must be refused, and
// none may be read past its end (ASan: each case sits in a buffer of its exact
// size).
TEST(SnmpDecode, MalformedRefused) {
  const std::string good = Response(T("30", kOid + T("02", "02")));
  const std::string body = good.substr(4);  // after "30" and its one length octet
  auto pdu = [](const char* tag, const std::string& content) {
    return T("30", T("02", "01") + T("04", "61") + T(tag, content));
  };
  const std::string ids = T("02", "01") + T("02", "00") + T("02", "00");
  struct Case {
    const char* why;
    std::string hex;
  } cases[] = {
      {"empty", ""},
      {"one byte", "30"},
      {"truncated by one", good.substr(0, good.size() - 2)},
      {"trailing byte", good + "00"},
      {"outer length past datagram", T("30", body + "00").substr(0, good.size())},
      {"outer length short", T("30", body.substr(0, body.size() - 2)) + body.substr(body.size() - 2)},
      {"indefinite outer length", "3080" + body + "0000"},
      {"five length octets", "308500000000" + good.substr(2, 2) + body},
      {"long-form tag", "3f" + good.substr(2)},
      {"not a sequence", "31" + good.substr(2)},
      {"version missing", T("30", "")},
      {"version empty", T("30", T("02", "") + T("04", "61"))},
      {"version nine octets", T("30", T("02", "010000000000000000") + T("04", "61"))},
      {"community not octets", T("30", T("02", "01") + T("02", "00"))},
      {"pdu tag outside a0..a8", pdu("a9", ids + T("30", ""))},
      {"pdu tag below a0", pdu("30", ids + T("30", ""))},
      {"pdu followed by more", T("30", T("02", "01") + T("04", "61") + T("a2", ids + T("30", "")) + T("05", ""))},
      {"request id over 32 bits", pdu("a2", T("02", "0100000000") + T("02", "00") + T("02", "00") + T("30", ""))},
      {"missing error index", pdu("a2", T("02", "01") + T("02", "00") + T("30", ""))},
      {"binding list missing", pdu("a2", ids)},
      {"binding list not a sequence", pdu("a2", ids + T("31", ""))},
      {"element after binding list", pdu("a2", ids + T("30", "") + T("05", ""))},
      {"binding not a sequence", Response(T("31", kOid + T("05", "")))},
      {"binding without value", Response(T("30", kOid))},
      {"binding without oid", Response(T("30", T("05", "")))},
      {"binding with extra element", Response(T("30", kOid + T("05", "") + T("05", "")))},
      {"binding length past list", Response("3009" + kOid + T("05", ""))},
      {"oid empty", Response(T("30", T("06", "") + T("05", "")))},
      {"oid with unterminated sub-id", Response(T("30", T("06", "2b86") + T("05", "")))},
      {"oid sub-id over 32 bits", Response(T("30", T("06", "2b9080808000") + T("05", "")))},
      {"integer value over 32 bits", Response(T("30", kOid + T("02", "0100000000")))},
      {"integer value empty", Response(T("30", kOid + T("02", "")))},
      {"gauge negative", Response(T("30", kOid + T("42", "80")))},
      {"gauge six octets", Response(T("30", kOid + T("42", "0000ffffffff")))},
      {"counter64 ten octets", Response(T("30", kOid + T("46", "00000000000000000001")))},
      {"null with content", Response(T("30", kOid + T("05", "00")))},
      {"nosuchobject with content", Response(T("30", kOid + T("80", "00")))},
      {"unknown value tag", Response(T("30", kOid + T("47", "00")))},
      {"ip address of 3 bytes", Response(T("30", kOid + T("40", "010203")))},
      {"community over 259 bytes", T("30", T("02", "01") + T("04", std::string(2 * 260, 'a')))},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = Hex(c.hex.c_str());
    SnmpMessage m{};
    const uint8_t none = 0;
    EXPECT_EQ(SnmpDecodeMessage(bytes.empty() ? &none : bytes.data(), bytes.size(), &m), 0) << c.why << " " << c.hex;
  }
  std::vector<uint8_t> d = Hex(good.c_str());
  SnmpMessage m{};
  EXPECT_EQ(SnmpDecodeMessage(d.data(), d.size(), &m), 1);
  EXPECT_EQ(m.first.value.number, 2);
}

TEST(SnmpAnswer, AcceptanceTable) {
  // The answer to the program's GET (request id 1, "tarnel"), value 3.
  const char* answer =
      "303002010104067461726e656ca2230201010201000201003018301606112b06010401bc3602030904020101140800020103";
  std::vector<uint8_t> d = Hex(answer);
  SnmpExpectedAnswer expected{1, kTarnel, sizeof kTarnel};
  SnmpMessage m{};
  EXPECT_EQ(SnmpCheckAnswer(d.data(), d.size(), true, expected, &m), SNMP_ANSWER_ACCEPTED);
  EXPECT_EQ(m.first.value.number, 3);
  EXPECT_EQ(SnmpCheckAnswer(d.data(), d.size(), false, expected, &m), SNMP_ANSWER_FOREIGN);

  SnmpExpectedAnswer otherId{2, kTarnel, sizeof kTarnel};
  EXPECT_EQ(SnmpCheckAnswer(d.data(), d.size(), true, otherId, &m), SNMP_ANSWER_FOREIGN);
  const uint8_t tarnex[] = {'t', 'a', 'r', 'n', 'e', 'x'};
  SnmpExpectedAnswer otherCommunity{1, tarnex, sizeof tarnex};
  EXPECT_EQ(SnmpCheckAnswer(d.data(), d.size(), true, otherCommunity, &m), SNMP_ANSWER_FOREIGN);
  SnmpExpectedAnswer prefix{1, kTarnel, 5};
  EXPECT_EQ(SnmpCheckAnswer(d.data(), d.size(), true, prefix, &m), SNMP_ANSWER_FOREIGN);

  // Same message as a GET (0xA0) or a trap (0xA7): not an answer.
  for (uint8_t pdu : {uint8_t{0xA0}, uint8_t{0xA7}}) {
    std::vector<uint8_t> other = d;
    other[13] = pdu;
    EXPECT_EQ(SnmpCheckAnswer(other.data(), other.size(), true, expected, &m), SNMP_ANSWER_FOREIGN);
  }
  // SNMPv1 (version 0) is not the v2c answer.
  std::vector<uint8_t> v1 = d;
  v1[4] = 0;
  EXPECT_EQ(SnmpCheckAnswer(v1.data(), v1.size(), true, expected, &m), SNMP_ANSWER_FOREIGN);
  d.pop_back();
  EXPECT_EQ(SnmpCheckAnswer(d.data(), d.size(), true, expected, &m), SNMP_ANSWER_MALFORMED);
}
