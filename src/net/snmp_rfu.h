#pragma once
// Reading and switching a network printer's remote firmware update (RFU)
// setting over SNMPv2c, spoken directly over UDP.

#include <cstddef>
#include <cstdint>
#include <functional>

#include "net/snmp_message.h"
#include "net/snmp_udp.h"

constexpr int RFU_OFF = 1;
constexpr int RFU_ON = 2;
constexpr int RFU_OFF_LOCKED = 3;

constexpr char RFU_OID[] = "1.3.6.1.4.1.7734.2.3.9.4.2.1.1.20.8.0";

// Results of QueryRfuStatus / WriteRfuStatus besides the RFU values.
constexpr int RFU_SNMP_OK = 0;
constexpr int RFU_SNMP_NO_RECORD = -1;
constexpr int RFU_SNMP_NO_SESSION = -2;
constexpr int RFU_SNMP_NO_ADDRESS = -3;  // also: the OID could not be converted
constexpr int RFU_SNMP_NO_VARBIND = -4;
constexpr int RFU_SNMP_NO_PDU = -5;
constexpr int RFU_SNMP_SEND_FAILED = -6;
constexpr int RFU_SNMP_NO_ANSWER = -7;
// The printer answered, but with an error status (noAccess for a read-only
// community, wrongValue...) or, for a read, without an integer value
// (noSuchObject...): nothing was read, or the setting did not change.
constexpr int RFU_SNMP_REFUSED = -8;
constexpr int RFU_SNMP_UNREACHABLE = -100;

constexpr int32_t RFU_GET_REQUEST_ID = 1;
constexpr int32_t RFU_SET_REQUEST_ID = 2;

// The request's per-entity settings and the wait for the answer.
constexpr uint32_t RFU_SNMP_TIMEOUT_MS = 6000;
constexpr uint32_t RFU_SNMP_RETRIES = 3;
constexpr uint32_t RFU_SNMP_ANSWER_WAIT_MS = 5000;
// Pauses around the read so that the guard thread is listening before the
// request goes out, and has seen any ICMP reply before its code is read.
constexpr uint32_t RFU_GUARD_SETTLE_MS = 500;

constexpr size_t RFU_TEXT_UTF8_MAX = 260;  // address and community, terminator included
constexpr size_t RFU_ADDRESS_TEXT_MAX = 256;

// A write tried again soon after one that failed (the owed switch-off while
// the printer restarts) need not wait as a first one does: it sends no ping,
// waits at most `answerWaitMs` for each answer, and ends the wait once `stop`
// (asked every RFU_STOP_POLL_MS when set) returns true.
struct RfuWriteBounds {
  uint32_t answerWaitMs;
  std::function<bool()> stop;
};
constexpr uint32_t RFU_STOP_POLL_MS = 100;

// Reads (1..3, or 0 / a negative result above) and switches (0, or a negative
// result) the RFU setting of the printer at an address text: the steps after
// the port's address look-up (printer/rfu_status.h), ping included unless the
// write is bounded.
int QueryRfuStatusAtAddress(const wchar_t* address, const wchar_t* community);
int WriteRfuStatusAtAddress(const wchar_t* address, const wchar_t* community, int value,
                            const RfuWriteBounds* bounds = nullptr);

// ---- Inner operations ----

enum RfuSnmpKind { RFU_SNMP_GET = 0, RFU_SNMP_SET = 1 };

struct RfuSnmpTiming {
  uint32_t entityTimeoutMs;  // until a request is sent again
  uint32_t entityRetries;    // how often it is sent again
  uint32_t answerWaitMs;     // how long the caller waits for the answer
};
RfuSnmpTiming RfuSnmpDefaultTiming();
// Tests shorten the waits; nullptr restores the product's values.
void SetRfuSnmpTimingForTesting(const RfuSnmpTiming* timing);

// One exchange with one printer. The request and the answer have buffers of
// their own.
struct RfuSnmpRequest {
  SocketLibrary sockets;  // first: released after the session's socket
  SnmpUdpSocket session;
  char printerAddress[RFU_TEXT_UTF8_MAX];
  uint8_t community[SNMP_COMMUNITY_MAX];
  size_t communityLength;
  uint8_t pduType;
  int32_t requestId;
  int lastStatus;
  int32_t errorStatus;
  int32_t errorIndex;
  // The request's binding, then the accepted answer's first binding.
  SnmpVarBind binding;
  bool answerHasBinding;
  uint8_t request[SNMP_REQUEST_MAX];
  size_t requestLength;
  uint8_t answer[SNMP_DATAGRAM_MAX];
  SnmpMessage answerMessage;
  uint32_t requestsSent;  // datagrams of the request in flight (first send and retransmissions)
  const RfuWriteBounds* bounds = nullptr;  // the answer waits' bounds, if any
};

// Starts the socket library and makes a record; nullptr on failure.
RfuSnmpRequest* StartRfuSnmp();
// Frees the record and shuts the socket library down (once per started record).
void ReleaseRfuSnmp(RfuSnmpRequest* record);
// 1 when the session is open.
int OpenRfuSnmpSession(RfuSnmpRequest* record, const char* address, const uint8_t* community,
                       size_t communityLength);
// 0 when an answer was accepted (its first binding is in the record), else a
// negative result.
int SendRfuSnmpPdu(RfuSnmpRequest* record, int32_t requestId, RfuSnmpKind kind, const SnmpValue* value);
// Handles one received datagram: 1 when it is the answer to the request in
// flight (taken into the record), 0 when it is ignored.
int OnRfuSnmpResponse(RfuSnmpRequest* record, const uint8_t* datagram, size_t size, bool fromPrinter);
void ReleaseRfuSnmpPdu(RfuSnmpRequest* record);
void CloseRfuSnmpSession(RfuSnmpRequest* record);
int GetRfuValue(RfuSnmpRequest* record, const char* address, const uint8_t* community, size_t communityLength);
int SetRfuValue(RfuSnmpRequest* record, const char* address, const uint8_t* community, size_t communityLength,
                int value);
