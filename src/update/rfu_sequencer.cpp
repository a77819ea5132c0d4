// The RFU step sequencer and its steps.
#include "update/rfu_sequencer.h"

#include "host/logger.h"
#include "host/program_dir.h"
#include "host/properties.h"
#include "host/strings.h"
#include "host/text_utils.h"
#include "printer/rfu_status.h"
#include "resources/resource.h"

const wchar_t RFU_STATE_KEY_PATH[] = L"SOFTWARE\\Local AppWizard-Generated Applications\\tideway";

namespace {

constexpr uint32_t kRegBinary = 3;          // REG_BINARY
constexpr uint32_t kBoxInformation = 0x40;  // MB_ICONINFORMATION, OK only
constexpr int kCommunityAttempts = 3;

const wchar_t* const kStepNames[] = {
    L"BEGIN_STEP",         L"INITIALIZE_STEP", L"STARTDLG_STEP", L"SNMPGET_STEP",       L"SNMPOFF_STEP",
    L"REMOTEUPGRADE_STEP", L"SNMPSET_STEP",    L"SNMPON_STEP",   L"SNMPOFFLOCKED_STEP", L"PROGRESSING_STEP",
    L"FINISH_STEP",        L"CANCEL_STOP",     L"SUCCESS_STOP",  L"FAILED_STOP",        L"CLEANUP_STEP",
};

Logger* Log() {
  return Logger::Instance();
}

void ShowStringBox(unsigned id) {
  Log()->ShowMessageTyped(kBoxInformation, L"%ls", LocalString(id).c_str());
}

// One SNMP operation with up to three community prompts after a refusal:
// NEXT (querySucceeded tells whether it worked in the end) or FAILED when the
// user cancels a prompt. `attempt` runs the operation with the community in
// `community` and returns whether it worked.
template <typename Attempt>
int RetryWithCommunityPrompts(RfuContext& context, std::wstring& community, unsigned initialTextId, unsigned promptId,
                              unsigned wrongNameId, Attempt attempt) {
  const std::wstring prompt = LocalString(promptId);
  for (int i = 0; i < kCommunityAttempts; ++i) {
    // The edit field opens with the title's words each time, not the last try.
    std::wstring entered = LocalString(initialTextId);
    if (!context.platform->AskCommunity(prompt.c_str(), entered)) return FAILED;
    community = entered;
    if (attempt()) return NEXT;
    context.querySucceeded = false;
    context.rfuValue = 0;
    ShowStringBox(wrongNameId);
  }
  return NEXT;
}

// A read of 1 or more is the RFU value; anything else is a failed read.
bool TakeRfuValue(RfuContext& context, int v) {
  if (v < 1) return false;
  Log()->Write(L"SnmpGetStep() success, snmp Status is %d...", v);
  context.querySucceeded = true;
  context.rfuValue = v;
  return true;
}

}  // namespace

const wchar_t* RfuStepName(int step) {
  if (step < 0 || step > CLEANUP_STEP) return L"UNKNOWN STEP";
  return kStepNames[step];
}

int RfuPlatform::QueryRfuStatus(const wchar_t* portName, const wchar_t* community) {
  return ::QueryRfuStatus(portName, community);
}

int RfuPlatform::WriteRfuStatus(const wchar_t* portName, const wchar_t* community, int value,
                                const RfuWriteBounds* bounds) {
  return ::WriteRfuStatus(portName, community, value, bounds);
}

// ---- Steps ----

int InitializeStep(RfuContext& context, const plist_t& printer, int unwinding) {
  Log()->Write(L"--- InitializeStep ---");
  if (unwinding) return BACK;
  const CProperties* properties = CProperties::Instance();
  wchar_t directory[PROGRAM_PATH_MAX] = L"";
  GetProgramDirectory(directory);
  wchar_t iniFile[RFU_INI_PATH_MAX] = L"";
  properties->GetProperty(L"INI_FILE", iniFile, RFU_INI_PATH_MAX);
  wchar_t iniPath[RFU_INI_PATH_MAX];
  CopyText(iniPath, RFU_INI_PATH_MAX, directory);
  AppendText(iniPath, RFU_INI_PATH_MAX, iniFile);
  context.iniPath = iniPath;
  wchar_t series[RFU_SERIES_NAME_MAX] = L"";
  properties->GetProperty(L"PRINTER_SERIESNAME", series, RFU_SERIES_NAME_MAX);
  context.seriesName = series;
  properties->GetPropertyList(L"BIN_FILES", context.binFiles);
  properties->GetPropertyList(L"BIN_FILES_AND_IDS", context.binFilesWithIds);
  properties->GetPropertyList(L"DRIVER_NAMES", context.driverNames);
  context.printer = printer;
  return NEXT;
}

int SnmpGetStep(RfuContext& context, int unwinding) {
  Log()->Write(L"--- SnmpGetStep ---");
  if (unwinding) return BACK;
  Log()->Write(L"Start to first snmp get test...");
  context.querySucceeded = false;
  context.rfuValue = 0;
  const wchar_t* port = context.printer.portName.c_str();
  int v = context.platform->QueryRfuStatus(port, context.getCommunity.c_str());
  if (v == RFU_SNMP_UNREACHABLE) {
    context.platform->ShowUnableToCommunicate();
    return NEXT;
  }
  if (TakeRfuValue(context, v)) return NEXT;
  return RetryWithCommunityPrompts(context, context.getCommunity, IDS_GET_COMMUNITY, IDS_GET_COMMUNITY_PROMPT,
                                   IDS_GET_COMMUNITY_WRONG, [&context, port]() {
                                     return TakeRfuValue(
                                         context, context.platform->QueryRfuStatus(port, context.getCommunity.c_str()));
                                   });
}

int snmpSetStep(RfuContext& context, int unwinding, int value) {
  Log()->Write(L"--- snmpSetStep ---");
  if (unwinding) return BACK;
  Log()->Write(L"Start to first snmp set test...");
  context.querySucceeded = false;
  const wchar_t* port = context.printer.portName.c_str();
  auto write = [&context, port, value]() {
    if (context.platform->WriteRfuStatus(port, context.setCommunity.c_str(), value, context.writeBounds) !=
        RFU_SNMP_OK)
      return false;
    Log()->Write(L"snmpSetStep() success, snmp Status is %d...", value);
    context.querySucceeded = true;
    context.rfuValue = value;
    return true;
  };
  if (write()) return NEXT;
  return RetryWithCommunityPrompts(context, context.setCommunity, IDS_SET_COMMUNITY, IDS_SET_COMMUNITY_PROMPT,
                                   IDS_SET_COMMUNITY_WRONG, write);
}

int RemoteUpgradeStep(RfuContext& context, int unwinding, bool* enable) {
  Log()->Write(L"--- RemoteUpgradeStep ---");
  if (unwinding) return BACK;
  const bool chosen = context.platform->AskRemoteUpgrade() == 1;
  if (enable) *enable = chosen;
  if (context.afterDownload && !chosen) {
    snmpSetStep(context, 0, RFU_OFF);
    if (context.querySucceeded) {
      context.rfuValue = RFU_OFF;
    } else {
      Log()->Write(L"RemoteUpgradeStep set snmp to off failed");
    }
  }
  return NEXT;
}

int SnmpOffLockedStep(int unwinding) {
  Log()->Write(L"--- SnmpOffLockedStep ---");
  if (unwinding) return BACK;
  ShowStringBox(IDS_RFU_LOCKED);
  return NEXT;
}

// ---- Sequencer ----

RfuSequencer::RfuSequencer(RfuPlatform& platform, const plist_t& printer) : m_context(platform), m_printer(printer) {
  CopyText(m_keyPath, sizeof m_keyPath / sizeof m_keyPath[0], RFU_STATE_KEY_PATH);
}

void RfuSequencer::SetCommunities(const std::wstring& getCommunity, const std::wstring& setCommunity) {
  m_context.getCommunity = getCommunity;
  m_context.setCommunity = setCommunity;
}

void RfuSequencer::SaveStack() {
  uint8_t bytes[RFU_SEQ_STACK_BYTES];
  auto put = [&bytes](size_t offset, int32_t v) {
    const uint32_t u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<uint8_t>(u >> (8 * i));
  };
  put(0, m_stackTop);
  for (size_t i = 0; i < RFU_STACK_SIZE; ++i) put(4 + 4 * i, m_stack[i]);
  m_context.platform->SaveValue(m_keyPath, L"SeqStack", bytes, RFU_SEQ_STACK_BYTES, kRegBinary);
}

void RfuSequencer::PushStep(int step) {
  if (m_stackTop < RFU_STACK_TOP_MAX) ++m_stackTop;
  if (m_stackTop < 0) m_stackTop = 0;
  m_stack[m_stackTop] = step;
  Log()->Write(L"  >> PUSH step %ls (%d)", RfuStepName(step), step);
  SaveStack();
}

int RfuSequencer::PopStep() {
  if (m_stackTop < 0) return FAILED_STOP;
  const int step = m_stack[m_stackTop];
  --m_stackTop;
  Log()->Write(L"  << POP step %ls (%d)", RfuStepName(step), step);
  SaveStack();
  return step;
}

int RfuSequencer::ProcessFailure(int result) {
  Log()->Write(L"ProcessFailure(%d) NEXT=%d, BACK=%d, CANCELED=%d, FAILED=%d", result, NEXT, BACK, CANCELED, FAILED);
  if (result == NEXT) {
    Log()->Write(L"Install Sequencing Error - Unexpected NEXT detected.");
    result = FAILED;
  }
  if (result == BACK) {
    PopStep();
    return PopStep();
  }
  m_unwinding = 1;
  if (result == FAILED) m_failed = 1;
  return PopStep();
}

int RfuSequencer::InstallSequencer() {
  Log()->Write(L"InstallSequencer()");
  m_stackTop = -1;
  m_unwinding = 0;
  m_failed = 0;
  int step = BEGIN_STEP;
  int result = RFU_GATE_STOPPED;
  int badValues = 0;
  for (;;) {
    Log()->Write(L"RFUSequencer() step = %d", step);
    int r = NEXT;
    switch (step) {
      case BEGIN_STEP:
        if (m_unwinding) {
          step = m_failed ? FAILED_STOP : CANCEL_STOP;
          break;
        }
        PushStep(BEGIN_STEP);
        m_context.platform->SaveInstallCrashed(m_keyPath);
        step = INITIALIZE_STEP;
        break;
      case INITIALIZE_STEP:
        PushStep(step);
        r = InitializeStep(m_context, m_printer, m_unwinding);
        step = r == NEXT ? SNMPGET_STEP : ProcessFailure(r);
        break;
      case SNMPGET_STEP:
        PushStep(step);
        r = SnmpGetStep(m_context, m_unwinding);
        if (r != NEXT) {
          step = ProcessFailure(r);
        } else if (!m_context.querySucceeded) {
          step = ProcessFailure(NEXT);
        } else if (m_context.rfuValue == RFU_OFF) {
          step = SNMPOFF_STEP;
        } else if (m_context.rfuValue == RFU_ON) {
          step = SNMPON_STEP;
        } else if (m_context.rfuValue == RFU_OFF_LOCKED) {
          step = SNMPOFFLOCKED_STEP;
        } else if (++badValues < RFU_BAD_VALUE_REPEATS_MAX) {
          step = SNMPGET_STEP;
        } else {
          // A printer that keeps answering with a value it does not define
          // would hold the user here for ever.
          Log()->Write(L"SnmpGetStep() RFU value %d is not 1..3, %d times in a row: giving up", m_context.rfuValue,
                       badValues);
          step = ProcessFailure(FAILED);
        }
        break;
      case SNMPOFF_STEP:
        PushStep(step);
        Log()->Write(L"--- SnmpOffStep ---");
        step = m_unwinding ? ProcessFailure(BACK) : REMOTEUPGRADE_STEP;
        break;
      case REMOTEUPGRADE_STEP: {
        PushStep(step);
        bool enable = false;
        r = RemoteUpgradeStep(m_context, m_unwinding, &enable);
        if (r != NEXT) {
          step = ProcessFailure(r);
        } else {
          step = enable ? SNMPSET_STEP : FAILED_STOP;
        }
        break;
      }
      case SNMPSET_STEP:
        PushStep(step);
        r = snmpSetStep(m_context, m_unwinding, RFU_ON);
        if (r != NEXT) {
          step = ProcessFailure(r);
        } else {
          step = m_context.querySucceeded ? SNMPON_STEP : CANCEL_STOP;
        }
        break;
      case SNMPON_STEP:
        PushStep(step);
        Log()->Write(L"--- SnmpOnStep ---");
        Log()->Write(L"--- Snmp status is ON, we are ready for download firmware ---");
        step = m_unwinding ? ProcessFailure(BACK) : FINISH_STEP;
        break;
      case SNMPOFFLOCKED_STEP:
        PushStep(step);
        r = SnmpOffLockedStep(m_unwinding);
        step = r == NEXT ? CANCEL_STOP : ProcessFailure(r);
        break;
      case FINISH_STEP:
        Log()->Write(L"--- FinishStep ---");
        result = RFU_GATE_PASSED;
        step = CLEANUP_STEP;
        break;
      case CANCEL_STOP:
        Log()->Write(L"--- CancelStep ---");
        result = RFU_GATE_CANCELLED;
        step = CLEANUP_STEP;
        break;
      case FAILED_STOP:
        Log()->Write(L"--- FailedStep ---");
        return RFU_GATE_STOPPED;
      case CLEANUP_STEP:
        PushStep(step);
        m_context.platform->DeleteValue(m_keyPath, L"SeqStack");
        m_context.platform->DeleteValue(m_keyPath, L"InstallCrashed");
        return result;
      default:
        return RFU_GATE_STOPPED;
    }
  }
}

int RunRfuGate(const plist_t& printer, RfuPlatform& platform) {
  RfuSequencer sequencer(platform, printer);
  return sequencer.InstallSequencer();
}

void RfuPostUpdateQuestion(const plist_t& printer, bool afterDownload, RfuPlatform& platform,
                           const wchar_t* setCommunity) {
  RfuContext context(platform);
  InitializeStep(context, printer, 0);
  if (setCommunity) context.setCommunity = setCommunity;
  context.afterDownload = afterDownload;
  bool enable = false;
  RemoteUpgradeStep(context, 0, &enable);
}

int SwitchRfuOff(const plist_t& printer, RfuPlatform& platform, const wchar_t* setCommunity,
                 const RfuWriteBounds* bounds) {
  RfuContext context(platform);
  InitializeStep(context, printer, 0);
  if (setCommunity) context.setCommunity = setCommunity;
  context.writeBounds = bounds;
  snmpSetStep(context, 0, RFU_OFF);
  if (!context.querySucceeded) Log()->Write(L"RemoteUpgradeStep set snmp to off failed");
  return context.querySucceeded ? 1 : 0;
}
