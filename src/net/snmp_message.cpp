#include "net/snmp_message.h"

#include <cstring>

int SnmpParseOid(const char* text, SnmpOid* oid) {
  if (!text) return 0;
  const char* p = text;
  if (*p == '.') ++p;
  size_t count = 0;
  while (*p) {
    if (*p < '0' || *p > '9' || count >= SNMP_OID_MAX_IDS) return 0;
    uint64_t sub = 0;
    while (*p >= '0' && *p <= '9') {
      sub = sub * 10 + static_cast<uint64_t>(*p - '0');
      if (sub > 0xFFFFFFFFull) return 0;
      ++p;
    }
    oid->ids[count++] = static_cast<uint32_t>(sub);
    if (*p == '.') {
      ++p;
      if (*p == '\0') return 0;
    } else if (*p != '\0') {
      return 0;
    }
  }
  if (BerOidContentSize(oid->ids, count) == 0) return 0;
  oid->count = count;
  return 1;
}

bool SnmpIsNumberSyntax(uint8_t syntax) {
  return syntax == SNMP_SYNTAX_INTEGER || syntax == SNMP_SYNTAX_COUNTER32 || syntax == SNMP_SYNTAX_GAUGE32 ||
         syntax == SNMP_SYNTAX_TIMETICKS;
}

namespace {

bool ValueContentSize(const SnmpValue& value, size_t* size) {
  if (value.syntax == SNMP_SYNTAX_NULL) {
    *size = 0;
    return true;
  }
  if (value.syntax == SNMP_SYNTAX_INTEGER) {
    if (value.number < INT32_MIN || value.number > INT32_MAX) return false;
  } else if (SnmpIsNumberSyntax(value.syntax)) {
    if (value.number < 0 || value.number > int64_t{UINT32_MAX}) return false;
  } else {
    return false;
  }
  *size = BerIntegerContentSize(value.number);
  return true;
}

bool ReadInt32(BerReader* r, int32_t* out) {
  BerReader content;
  int64_t v = 0;
  if (!r->Expect(BER_INTEGER, &content) || !BerDecodeInteger(content, &v)) return false;
  if (v < INT32_MIN || v > INT32_MAX) return false;
  *out = static_cast<int32_t>(v);
  return true;
}

bool DecodeValue(uint8_t tag, const BerReader& content, SnmpValue* value) {
  value->syntax = tag;
  value->number = 0;
  switch (tag) {
    case SNMP_SYNTAX_INTEGER: {
      int64_t v = 0;
      if (!BerDecodeInteger(content, &v) || v < INT32_MIN || v > INT32_MAX) return false;
      value->number = v;
      return true;
    }
    case SNMP_SYNTAX_COUNTER32:
    case SNMP_SYNTAX_GAUGE32:
    case SNMP_SYNTAX_TIMETICKS: {
      // Unsigned 32-bit: up to five octets when the top bit needs a zero octet.
      int64_t v = 0;
      if (content.Remaining() > 5 || !BerDecodeInteger(content, &v) || v < 0 || v > int64_t{UINT32_MAX})
        return false;
      value->number = v;
      return true;
    }
    case SNMP_SYNTAX_COUNTER64:
      return content.Remaining() >= 1 && content.Remaining() <= 9;
    case SNMP_SYNTAX_NULL:
    case SNMP_SYNTAX_NOSUCHOBJECT:
    case SNMP_SYNTAX_NOSUCHINSTANCE:
    case SNMP_SYNTAX_ENDOFMIBVIEW:
      return content.Remaining() == 0;
    case SNMP_SYNTAX_IPADDR:
      return content.Remaining() == 4;
    case SNMP_SYNTAX_OID: {
      uint32_t ids[SNMP_OID_MAX_IDS];
      size_t count = 0;
      return BerDecodeOid(content, ids, SNMP_OID_MAX_IDS, &count);
    }
    case SNMP_SYNTAX_OCTETS:
    case SNMP_SYNTAX_OPAQUE:
      return true;
    default:
      return false;
  }
}

bool DecodeBinding(BerReader* list, SnmpVarBind* binding) {
  BerReader seq;
  if (!list->Expect(BER_SEQUENCE, &seq)) return false;
  BerReader oidContent;
  if (!seq.Expect(BER_OID, &oidContent)) return false;
  if (!BerDecodeOid(oidContent, binding->oid.ids, SNMP_OID_MAX_IDS, &binding->oid.count)) return false;
  uint8_t tag = 0;
  BerReader valueContent;
  if (!seq.Next(&tag, &valueContent) || !DecodeValue(tag, valueContent, &binding->value)) return false;
  return seq.AtEnd();
}

}  // namespace

size_t SnmpEncodeRequest(uint8_t pduType, int32_t requestId, const uint8_t* community, size_t communityLength,
                         const SnmpVarBind& binding, uint8_t* out, size_t outSize) {
  if (communityLength > SNMP_COMMUNITY_MAX || (communityLength > 0 && !community)) return 0;
  size_t oidSize = BerOidContentSize(binding.oid.ids, binding.oid.count);
  size_t valueSize = 0;
  if (oidSize == 0 || !ValueContentSize(binding.value, &valueSize)) return 0;

  // Sizes first, inside out, so every length is known before its content.
  size_t bindingSize = BerElementSize(oidSize) + BerElementSize(valueSize);
  size_t listSize = BerElementSize(bindingSize);
  size_t pduSize = BerElementSize(BerIntegerContentSize(requestId)) + 2 * BerElementSize(1) + BerElementSize(listSize);
  size_t messageSize = BerElementSize(BerIntegerContentSize(SNMP_VERSION_2C)) + BerElementSize(communityLength) +
                       BerElementSize(pduSize);
  if (BerElementSize(messageSize) > outSize) return 0;

  BerWriter w(out, outSize);
  w.Header(BER_SEQUENCE, messageSize);
  w.Integer(BER_INTEGER, SNMP_VERSION_2C);
  w.Bytes(BER_OCTET_STRING, community, communityLength);
  w.Header(pduType, pduSize);
  w.Integer(BER_INTEGER, requestId);
  w.Integer(BER_INTEGER, 0);  // error status
  w.Integer(BER_INTEGER, 0);  // error index
  w.Header(BER_SEQUENCE, listSize);
  w.Header(BER_SEQUENCE, bindingSize);
  w.Oid(binding.oid.ids, binding.oid.count);
  if (binding.value.syntax == SNMP_SYNTAX_NULL)
    w.Null();
  else
    w.Integer(binding.value.syntax, binding.value.number);
  if (!w.Ok() || w.Size() != BerElementSize(messageSize)) return 0;
  return w.Size();
}

int SnmpDecodeMessage(const uint8_t* data, size_t size, SnmpMessage* message) {
  if (!data || !message) return 0;
  BerReader datagram(data, size);
  BerReader msg;
  if (!datagram.Expect(BER_SEQUENCE, &msg) || !datagram.AtEnd()) return 0;

  if (!ReadInt32(&msg, &message->version)) return 0;
  BerReader community;
  if (!msg.Expect(BER_OCTET_STRING, &community) || community.Remaining() > SNMP_COMMUNITY_MAX) return 0;
  message->communityLength = community.Remaining();
  if (message->communityLength) memcpy(message->community, community.Data(), message->communityLength);

  uint8_t pduType = 0;
  BerReader pdu;
  // Context-specific constructed tags 0xA0..0xA8 are the SNMPv2 PDUs.
  if (!msg.Next(&pduType, &pdu) || pduType < 0xA0 || pduType > 0xA8 || !msg.AtEnd()) return 0;
  message->pduType = pduType;
  if (!ReadInt32(&pdu, &message->requestId) || !ReadInt32(&pdu, &message->errorStatus) ||
      !ReadInt32(&pdu, &message->errorIndex))
    return 0;

  BerReader list;
  if (!pdu.Expect(BER_SEQUENCE, &list) || !pdu.AtEnd()) return 0;
  message->bindingCount = 0;
  while (!list.AtEnd()) {
    SnmpVarBind scratch;
    SnmpVarBind* target = message->bindingCount == 0 ? &message->first : &scratch;
    if (!DecodeBinding(&list, target)) return 0;
    ++message->bindingCount;
  }
  return 1;
}

SnmpAnswerVerdict SnmpCheckAnswer(const uint8_t* data, size_t size, bool fromPrinter,
                                  const SnmpExpectedAnswer& expected, SnmpMessage* message) {
  if (!SnmpDecodeMessage(data, size, message)) return SNMP_ANSWER_MALFORMED;
  if (!fromPrinter || message->version != SNMP_VERSION_2C || message->pduType != SNMP_PDU_RESPONSE ||
      message->requestId != expected.requestId || message->communityLength != expected.communityLength ||
      (expected.communityLength > 0 && memcmp(message->community, expected.community, expected.communityLength) != 0))
    return SNMP_ANSWER_FOREIGN;
  return SNMP_ANSWER_ACCEPTED;
}
