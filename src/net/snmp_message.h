#pragma once
// SNMPv2c messages: the GET and SET requests this program sends and the
// response it accepts. Portable; the sockets live elsewhere.

#include <cstddef>
#include <cstdint>

#include "net/snmp_ber.h"

constexpr int32_t SNMP_VERSION_2C = 1;

constexpr uint8_t SNMP_PDU_GET = 0xA0;
constexpr uint8_t SNMP_PDU_RESPONSE = 0xA2;
constexpr uint8_t SNMP_PDU_SET = 0xA3;

// Value syntaxes (tags) of a variable binding.
constexpr uint8_t SNMP_SYNTAX_INTEGER = BER_INTEGER;
constexpr uint8_t SNMP_SYNTAX_OCTETS = BER_OCTET_STRING;
constexpr uint8_t SNMP_SYNTAX_NULL = BER_NULL;
constexpr uint8_t SNMP_SYNTAX_OID = BER_OID;
constexpr uint8_t SNMP_SYNTAX_IPADDR = 0x40;
constexpr uint8_t SNMP_SYNTAX_COUNTER32 = 0x41;
constexpr uint8_t SNMP_SYNTAX_GAUGE32 = 0x42;
constexpr uint8_t SNMP_SYNTAX_TIMETICKS = 0x43;
constexpr uint8_t SNMP_SYNTAX_OPAQUE = 0x44;
constexpr uint8_t SNMP_SYNTAX_COUNTER64 = 0x46;
constexpr uint8_t SNMP_SYNTAX_NOSUCHOBJECT = 0x80;
constexpr uint8_t SNMP_SYNTAX_NOSUCHINSTANCE = 0x81;
constexpr uint8_t SNMP_SYNTAX_ENDOFMIBVIEW = 0x82;

// Community names are handled as at most this many bytes (the UTF-8 text of
// 260 bytes including its terminator).
constexpr size_t SNMP_COMMUNITY_MAX = 259;
// A request with the longest community and OID fits easily.
constexpr size_t SNMP_REQUEST_MAX = 1024;
constexpr size_t SNMP_OID_MAX_IDS = BER_OID_MAX_IDS;

struct SnmpOid {
  uint32_t ids[SNMP_OID_MAX_IDS];
  size_t count;
};

// One value. `number` is meaningful for the integer syntaxes (INTEGER,
// Counter32, Gauge32, TimeTicks), which is all the RFU setting needs; other
// syntaxes are recognised and bounded but their content is not kept.
struct SnmpValue {
  uint8_t syntax;
  int64_t number;
};

struct SnmpVarBind {
  SnmpOid oid;
  SnmpValue value;
};

struct SnmpMessage {
  int32_t version;
  uint8_t community[SNMP_COMMUNITY_MAX];
  size_t communityLength;
  uint8_t pduType;
  int32_t requestId;
  int32_t errorStatus;
  int32_t errorIndex;
  size_t bindingCount;
  SnmpVarBind first;  // valid when bindingCount > 0
};

// Dotted text ("1.3.6...", an optional leading dot) into an OID. 1 on success.
int SnmpParseOid(const char* text, SnmpOid* oid);

// True for the syntaxes whose value is a 32-bit number.
bool SnmpIsNumberSyntax(uint8_t syntax);

// Encodes a request with one binding into `out`. The binding's value is NULL
// for a GET; a number syntax for a SET. Returns the message size, or 0 when the
// binding cannot be encoded or `out` is too small.
size_t SnmpEncodeRequest(uint8_t pduType, int32_t requestId, const uint8_t* community, size_t communityLength,
                         const SnmpVarBind& binding, uint8_t* out, size_t outSize);

// Decodes a whole datagram. 1 on success; 0 when it is not one well-formed
// SNMP message (lengths must nest exactly and end with the datagram; integers
// in range; a community longer than SNMP_COMMUNITY_MAX is refused).
int SnmpDecodeMessage(const uint8_t* data, size_t size, SnmpMessage* message);

// What a received datagram is to the request in flight.
enum SnmpAnswerVerdict {
  SNMP_ANSWER_MALFORMED = 0,  // not a well-formed SNMP message
  SNMP_ANSWER_FOREIGN = 1,    // well formed, but not the answer to this request
  SNMP_ANSWER_ACCEPTED = 2,   // the answer: a response from the printer with the request's id and community
};

struct SnmpExpectedAnswer {
  int32_t requestId;
  const uint8_t* community;
  size_t communityLength;
};

// Decodes `data` into `message` and applies the acceptance test. `fromPrinter`
// tells whether the datagram came from the printer's address and SNMP port.
SnmpAnswerVerdict SnmpCheckAnswer(const uint8_t* data, size_t size, bool fromPrinter,
                                  const SnmpExpectedAnswer& expected, SnmpMessage* message);
