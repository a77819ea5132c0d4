#include "net/snmp_rfu.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <new>

#include "host/clock.h"
#include "host/logger.h"
#include "host/text_utils.h"
#include "net/ip_address.h"
#include "net/snmp_guard.h"

namespace {

std::atomic<const RfuSnmpTiming*> g_timingOverride{nullptr};
RfuSnmpTiming g_timingForTesting;

RfuSnmpTiming ActiveTiming() {
  const RfuSnmpTiming* t = g_timingOverride.load(std::memory_order_acquire);
  return t ? *t : RfuSnmpDefaultTiming();
}

struct RecordDeleter {
  void operator()(RfuSnmpRequest* record) const { ReleaseRfuSnmp(record); }
};
using RecordPtr = std::unique_ptr<RfuSnmpRequest, RecordDeleter>;

int CheckPing(const wchar_t* address) {
  if (!Ping(address)) {
    Logger::Instance()->Write(L"--- This IP address is not valid ---");
    return RFU_SNMP_NO_ADDRESS;
  }
  return 0;
}

// Step 3: the address and community as UTF-8 texts of at most 260 bytes. A
// community that does not fit is refused rather than sent cut or empty.
int ToUtf8Texts(const wchar_t* address, const wchar_t* community, char* address8, char* community8) {
  if (ToUtf8(address, address8, RFU_TEXT_UTF8_MAX) == TEXT_ERROR_BAD_LENGTH) {
    Logger::Instance()->Write(L"ERROR: printer address text too long");
    return RFU_SNMP_NO_ADDRESS;
  }
  if (ToUtf8(community ? community : L"", community8, RFU_TEXT_UTF8_MAX) == TEXT_ERROR_BAD_LENGTH) {
    Logger::Instance()->Write(L"ERROR: community name longer than %d UTF-8 bytes", int(RFU_TEXT_UTF8_MAX - 1));
    return RFU_SNMP_NO_SESSION;
  }
  return 0;
}

const uint8_t* Bytes(const char* text) { return reinterpret_cast<const uint8_t*>(text); }

}  // namespace

RfuSnmpTiming RfuSnmpDefaultTiming() { return {RFU_SNMP_TIMEOUT_MS, RFU_SNMP_RETRIES, RFU_SNMP_ANSWER_WAIT_MS}; }

void SetRfuSnmpTimingForTesting(const RfuSnmpTiming* timing) {
  if (timing) {
    g_timingForTesting = *timing;
    g_timingOverride.store(&g_timingForTesting, std::memory_order_release);
  } else {
    g_timingOverride.store(nullptr, std::memory_order_release);
  }
}

RfuSnmpRequest* StartRfuSnmp() {
  SocketLibrary sockets(SNMP_SOCKETS_MAJOR, SNMP_SOCKETS_MINOR);
  if (sockets.Error() != 0) {
    Logger::Instance()->Write(L"ERROR: socket library start failed (%d)", sockets.Error());
    return nullptr;
  }
  if (!SnmpPlatformSupported()) {
    Logger::Instance()->Write(L"ERROR: SNMP needs an NT-family system above version 4");
    return nullptr;
  }
  RfuSnmpRequest* record = new (std::nothrow) RfuSnmpRequest();
  if (!record) {
    Logger::Instance()->Write(L"ERROR: SNMP request record allocation failed");
    return nullptr;
  }
  record->sockets = std::move(sockets);
  return record;
}

void ReleaseRfuSnmp(RfuSnmpRequest* record) {
  if (!record) return;
  CloseRfuSnmpSession(record);
  delete record;
}

int OpenRfuSnmpSession(RfuSnmpRequest* record, const char* address, const uint8_t* community,
                       size_t communityLength) {
  if (!record || !address || communityLength > SNMP_COMMUNITY_MAX) return 0;
  CopyText(record->printerAddress, sizeof record->printerAddress, address);
  int rc = record->session.Open(address, SNMP_PORT);
  if (rc != 0) {
    record->lastStatus = rc;
    Logger::Instance()->Write(L"ERROR: SNMP session for %ls could not be opened (%d)", FromUtf8Static(address), rc);
    return 0;
  }
  if (communityLength) memcpy(record->community, community, communityLength);
  record->communityLength = communityLength;
  return 1;
}

int OnRfuSnmpResponse(RfuSnmpRequest* record, const uint8_t* datagram, size_t size, bool fromPrinter) {
  if (!record) return 0;
  SnmpExpectedAnswer expected{record->requestId, record->community, record->communityLength};
  if (SnmpCheckAnswer(datagram, size, fromPrinter, expected, &record->answerMessage) != SNMP_ANSWER_ACCEPTED)
    return 0;
  record->errorStatus = record->answerMessage.errorStatus;
  record->errorIndex = record->answerMessage.errorIndex;
  record->answerHasBinding = record->answerMessage.bindingCount > 0;
  if (record->answerHasBinding) record->binding = record->answerMessage.first;
  return 1;
}

void ReleaseRfuSnmpPdu(RfuSnmpRequest* record) {
  if (record) record->requestLength = 0;
}

int SendRfuSnmpPdu(RfuSnmpRequest* record, int32_t requestId, RfuSnmpKind kind, const SnmpValue* value) {
  Logger* log = Logger::Instance();
  if (kind == RFU_SNMP_GET) {
    record->pduType = SNMP_PDU_GET;
    if (!SnmpParseOid(RFU_OID, &record->binding.oid)) return RFU_SNMP_NO_ADDRESS;
    record->binding.value.syntax = SNMP_SYNTAX_NULL;
    record->binding.value.number = 0;
  } else {
    // The OID and syntax are those of the GET's answer; only the number changes.
    record->pduType = SNMP_PDU_SET;
    if (!value || !SnmpIsNumberSyntax(value->syntax)) return RFU_SNMP_NO_VARBIND;
    record->binding.value = *value;
  }
  record->requestId = requestId;
  record->errorStatus = 0;
  record->errorIndex = 0;
  record->answerHasBinding = false;
  record->requestLength = SnmpEncodeRequest(record->pduType, requestId, record->community, record->communityLength,
                                            record->binding, record->request, sizeof record->request);
  if (record->requestLength == 0) return RFU_SNMP_NO_PDU;

  record->requestsSent = 0;
  int rc = record->session.Send(record->request, record->requestLength);
  if (rc != 0) {
    record->lastStatus = rc;
    log->Write(L"ERROR: SNMP request could not be sent (%d)", rc);
    ReleaseRfuSnmpPdu(record);
    return RFU_SNMP_SEND_FAILED;
  }
  record->requestsSent = 1;

  // The request is sent again after each entity time-out, up to the retry
  // count, for as long as the caller's answer wait lasts. With the product's
  // values the 5 s wait ends before the first retransmission at 6 s.
  RfuSnmpTiming timing = ActiveTiming();
  const RfuWriteBounds* bounds = record->bounds;
  if (bounds && bounds->answerWaitMs < timing.answerWaitMs) timing.answerWaitMs = bounds->answerWaitMs;
  const bool stoppable = bounds && bounds->stop;
  const uint32_t start = SystemClock().TickCount();
  uint64_t nextResend = timing.entityTimeoutMs;
  bool accepted = false;
  for (;;) {
    uint32_t elapsed = SystemClock().TickCount() - start;
    if (elapsed >= timing.answerWaitMs || (stoppable && bounds->stop())) break;
    if (record->requestsSent <= timing.entityRetries && elapsed >= nextResend) {
      if (record->session.Send(record->request, record->requestLength) == 0) ++record->requestsSent;
      nextResend += timing.entityTimeoutMs;
      continue;
    }
    uint64_t limit = timing.answerWaitMs - elapsed;
    if (record->requestsSent <= timing.entityRetries && nextResend - elapsed < limit) limit = nextResend - elapsed;
    if (stoppable && limit > RFU_STOP_POLL_MS) limit = RFU_STOP_POLL_MS;
    size_t received = 0;
    bool fromPrinter = false;
    SnmpReceiveResult r =
        record->session.Receive(record->answer, sizeof record->answer, static_cast<uint32_t>(limit), &received,
                                &fromPrinter);
    if (r == SNMP_RECEIVE_DATAGRAM && OnRfuSnmpResponse(record, record->answer, received, fromPrinter)) {
      accepted = true;
      break;
    }
    if (r == SNMP_RECEIVE_FAILED) {
      record->lastStatus = record->session.LastError();
      log->Write(L"ERROR: SNMP receive failed (%d)", record->lastStatus);
      break;
    }
  }
  ReleaseRfuSnmpPdu(record);
  if (!accepted) return RFU_SNMP_NO_ANSWER;

  if (record->errorStatus != 0) {
    log->Write(L"ERROR: SNMP agent refused the request: error-status %d, error-index %d", record->errorStatus,
               record->errorIndex);
    return RFU_SNMP_REFUSED;
  }
  if (kind == RFU_SNMP_GET && (!record->answerHasBinding || !SnmpIsNumberSyntax(record->binding.value.syntax))) {
    log->Write(L"ERROR: SNMP answer carries no RFU value (syntax 0x%02X)",
               record->answerHasBinding ? unsigned(record->binding.value.syntax) : 0u);
    return RFU_SNMP_REFUSED;
  }
  return RFU_SNMP_OK;
}

void CloseRfuSnmpSession(RfuSnmpRequest* record) {
  if (record) record->session.Close();
}

int GetRfuValue(RfuSnmpRequest* record, const char* address, const uint8_t* community, size_t communityLength) {
  if (!record) return RFU_SNMP_NO_RECORD;
  if (!OpenRfuSnmpSession(record, address, community, communityLength)) return RFU_SNMP_NO_SESSION;
  int r = SendRfuSnmpPdu(record, RFU_GET_REQUEST_ID, RFU_SNMP_GET, nullptr);
  if (r == RFU_SNMP_OK) r = static_cast<int>(record->binding.value.number);
  CloseRfuSnmpSession(record);
  return r;
}

int SetRfuValue(RfuSnmpRequest* record, const char* address, const uint8_t* community, size_t communityLength,
                int value) {
  if (!record) return RFU_SNMP_NO_RECORD;
  if (!OpenRfuSnmpSession(record, address, community, communityLength)) return RFU_SNMP_NO_SESSION;
  int r = SendRfuSnmpPdu(record, RFU_GET_REQUEST_ID, RFU_SNMP_GET, nullptr);
  if (r == RFU_SNMP_OK) {
    SnmpValue newValue = record->binding.value;
    newValue.number = value;
    r = SendRfuSnmpPdu(record, RFU_SET_REQUEST_ID, RFU_SNMP_SET, &newValue);
  }
  CloseRfuSnmpSession(record);
  return r;
}

int QueryRfuStatusAtAddress(const wchar_t* address, const wchar_t* community) {
  int r = CheckPing(address);
  if (r != 0) return r;
  char address8[RFU_TEXT_UTF8_MAX];
  char community8[RFU_TEXT_UTF8_MAX];
  r = ToUtf8Texts(address, community, address8, community8);
  if (r != 0) return r;

  SnmpGuardThread guard;
  if (!guard.Start(address8)) Logger::Instance()->Write(L"ERROR: SNMP guard thread could not be started");
  SleepMs(RFU_GUARD_SETTLE_MS);
  {
    RecordPtr record(StartRfuSnmp());
    r = GetRfuValue(record.get(), address8, Bytes(community8), strlen(community8));
  }
  SleepMs(RFU_GUARD_SETTLE_MS);
  if (guard.ExitCode() == GUARD_EXIT_PORT_UNREACHABLE) {
    Logger::Instance()->Write(L"--- SNMP port unreachable on %ls ---", address);
    return RFU_SNMP_UNREACHABLE;
  }
  return r;
}

int WriteRfuStatusAtAddress(const wchar_t* address, const wchar_t* community, int value,
                            const RfuWriteBounds* bounds) {
  // The pings alone outlast a bounded write's wait; a silent printer shows in
  // the SNMP answer's absence as well.
  int r = bounds ? 0 : CheckPing(address);
  if (r != 0) return r;
  char address8[RFU_TEXT_UTF8_MAX];
  char community8[RFU_TEXT_UTF8_MAX];
  r = ToUtf8Texts(address, community, address8, community8);
  if (r != 0) return r;
  RecordPtr record(StartRfuSnmp());
  if (record) record->bounds = bounds;
  return SetRfuValue(record.get(), address8, Bytes(community8), strlen(community8), value);
}
