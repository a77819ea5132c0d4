// Datagrams arriving on the SNMP socket are outside input: any bytes must be
// decoded or refused without reading outside them, and what is accepted must
// survive a re-encode of its first binding.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "net/snmp_message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact-size copy so that any over-read is caught.
  std::vector<uint8_t> datagram(data, data + size);
  static const uint8_t community[] = {'t', 'a', 'r', 'n', 'e', 'l'};
  SnmpExpectedAnswer expected{1, community, sizeof community};
  SnmpMessage message;
  SnmpAnswerVerdict verdict = SnmpCheckAnswer(datagram.data(), datagram.size(), true, expected, &message);
  if (verdict == SNMP_ANSWER_MALFORMED) return 0;
  if (message.communityLength > SNMP_COMMUNITY_MAX) __builtin_trap();
  if (verdict == SNMP_ANSWER_ACCEPTED &&
      (message.pduType != SNMP_PDU_RESPONSE || message.requestId != 1 || message.communityLength != 6))
    __builtin_trap();
  if (message.bindingCount > 0 && SnmpIsNumberSyntax(message.first.value.syntax)) {
    // The SET path re-encodes the answer's binding with a new value.
    SnmpVarBind binding = message.first;
    binding.value.number = 2;
    uint8_t out[SNMP_REQUEST_MAX];
    size_t n = SnmpEncodeRequest(SNMP_PDU_SET, 2, message.community, message.communityLength, binding, out,
                                 sizeof out);
    if (n > 0) {
      SnmpMessage back;
      if (!SnmpDecodeMessage(out, n, &back) || back.first.value.number != 2 ||
          back.first.oid.count != binding.oid.count ||
          memcmp(back.first.oid.ids, binding.oid.ids, binding.oid.count * sizeof(uint32_t)) != 0)
        __builtin_trap();
    }
  }
  return 0;
}
