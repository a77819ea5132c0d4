#pragma once
// The RFU gate: before a network printer with newer firmware is updated, its
// remote firmware update (RFU) setting is read over SNMP and, with the user's
// consent and community names, switched on. A numbered step machine with a
// stack of visited steps; a failed or cancelled step walks back through the
// visited steps before the sequence stops.
//
// For the main dialog (both run on the dialog's thread, modal prompts on top):
//
//   "Send Firmware", gated network printer:
//     if (RunRfuGate(m_selectedPrinter) == RFU_GATE_PASSED) start the worker;
//     any other result leaves the dialog as it was (the cause is logged).
//   "Exit" after a successful update of a network printer:
//     RfuPostUpdateQuestion(m_selectedPrinter, m_updateSucceeded);
//
// The default platform (real SNMP, the two dialogs, the registry) is defined in
// rfu_dialogs_ui_win32.cpp, which only goes into tideway.exe; tests pass their
// own RfuPlatform.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "update/printer_record.h"

struct RfuWriteBounds;  // net/snmp_rfu.h

// Step numbers; the log names them (RfuStepName).
enum RfuStep : int32_t {
  BEGIN_STEP = 0,
  INITIALIZE_STEP = 1,
  STARTDLG_STEP = 2,
  SNMPGET_STEP = 3,
  SNMPOFF_STEP = 4,
  REMOTEUPGRADE_STEP = 5,
  SNMPSET_STEP = 6,
  SNMPON_STEP = 7,
  SNMPOFFLOCKED_STEP = 8,
  PROGRESSING_STEP = 9,
  FINISH_STEP = 10,
  CANCEL_STOP = 11,
  SUCCESS_STOP = 12,
  FAILED_STOP = 13,
  CLEANUP_STEP = 14,
};

// What a step answers.
enum RfuStepResult : int { NEXT = 0, BACK = 1, CANCELED = 2, FAILED = 3 };

// Results of InstallSequencer / RunRfuGate.
constexpr int RFU_GATE_PASSED = 0;     // the update may start
constexpr int RFU_GATE_STOPPED = 1;    // failed, refused, or an unexpected step
constexpr int RFU_GATE_CANCELLED = 2;  // set failed three times, or off and locked

constexpr size_t RFU_STACK_SIZE = 256;
constexpr int32_t RFU_STACK_TOP_MAX = 254;
// "SeqStack": the top, then the 256 entries, 32-bit little-endian each.
constexpr size_t RFU_SEQ_STACK_BYTES = 4 + 4 * RFU_STACK_SIZE;
constexpr size_t RFU_INI_PATH_MAX = 0x104;
constexpr size_t RFU_SERIES_NAME_MAX = 0x100;
// SNMPGET_STEP answers with a value outside 1..3 this many times in a row
// before the sequence gives up.
constexpr int RFU_BAD_VALUE_REPEATS_MAX = 3;

// The program's own key under HKEY_LOCAL_MACHINE for "SeqStack" and
// "InstallCrashed" (the toolkit's layout: SOFTWARE\<registry key>\<program>).
extern const wchar_t RFU_STATE_KEY_PATH[];

const wchar_t* RfuStepName(int step);

// What the steps need from outside: SNMP, the user and the registry.
class RfuPlatform {
 public:
  virtual ~RfuPlatform() = default;
  // printer/rfu_status.h by default.
  virtual int QueryRfuStatus(const wchar_t* portName, const wchar_t* community);
  // `bounds`: a retry's shorter waits (net/snmp_rfu.h); null for the protocol's.
  virtual int WriteRfuStatus(const wchar_t* portName, const wchar_t* community, int value,
                             const RfuWriteBounds* bounds);
  // The community prompt (CGetRFUStatusDlg): `community` holds the initial
  // text and, after OK (1), the text entered; Cancel gives 0.
  virtual int AskCommunity(const wchar_t* prompt, std::wstring& community) = 0;
  // The RFU question (CRemoteUpgradeDlg): 1 = enable, 0 = disable or no choice.
  virtual int AskRemoteUpgrade() = 0;
  // The plain "Unable to Communicate." box.
  virtual void ShowUnableToCommunicate() = 0;
  // host/registry.h: SaveValueToHKey, SaveDwordToHKLM, DeleteValueFromHKey.
  virtual long SaveValue(const wchar_t* keyPath, const wchar_t* valueName, const void* data, uint32_t size,
                         uint32_t type) = 0;
  virtual long SaveInstallCrashed(const wchar_t* keyPath) = 0;
  virtual long DeleteValue(const wchar_t* keyPath, const wchar_t* valueName) = 0;
};

// Real SNMP, the dialogs and the registry (tideway.exe only).
RfuPlatform& SystemRfuPlatform();

// The community names a sequence tries first, for reading and writing alike.
constexpr const wchar_t* RFU_DEFAULT_COMMUNITY = L"tarnel";

// State shared by the steps; a new one, with the default community names, for
// every sequence and every post-update question.
struct RfuContext {
  explicit RfuContext(RfuPlatform& p) : platform(&p) {}

  RfuPlatform* platform;
  std::wstring iniPath;
  std::vector<std::wstring> driverNames;
  std::vector<std::wstring> binFiles;
  std::vector<std::wstring> binFilesWithIds;
  plist_t printer;
  std::wstring seriesName;
  std::wstring getCommunity = RFU_DEFAULT_COMMUNITY;
  std::wstring setCommunity = RFU_DEFAULT_COMMUNITY;
  bool afterDownload = false;
  bool querySucceeded = false;
  int32_t rfuValue = 0;
  const RfuWriteBounds* writeBounds = nullptr;
};

// The steps; with `unwinding` set each answers BACK at once.
int InitializeStep(RfuContext& context, const plist_t& printer, int unwinding);
int SnmpGetStep(RfuContext& context, int unwinding);
int snmpSetStep(RfuContext& context, int unwinding, int value);
int RemoteUpgradeStep(RfuContext& context, int unwinding, bool* enable);
int SnmpOffLockedStep(int unwinding);

class RfuSequencer {
 public:
  RfuSequencer(RfuPlatform& platform, const plist_t& printer);
  RfuSequencer(const RfuSequencer&) = delete;
  RfuSequencer& operator=(const RfuSequencer&) = delete;

  // Runs the gate once: RFU_GATE_PASSED, _STOPPED or _CANCELLED.
  int InstallSequencer();
  // The community names the first SNMP read and write try (an unattended run
  // has them from its command line); the defaults otherwise.
  void SetCommunities(const std::wstring& getCommunity, const std::wstring& setCommunity);

  void PushStep(int step);
  // FAILED_STOP when the stack is empty.
  int PopStep();
  // The step to run after a step answered `result`.
  int ProcessFailure(int result);

  int32_t StackTop() const { return m_stackTop; }
  int32_t StackEntry(size_t index) const { return index < RFU_STACK_SIZE ? m_stack[index] : -1; }

 private:
  void SaveStack();

  wchar_t m_keyPath[256];
  int32_t m_stackTop = -1;
  int32_t m_stack[RFU_STACK_SIZE] = {};
  int m_unwinding = 0;
  int m_failed = 0;
  RfuContext m_context;
  plist_t m_printer;
};

// Builds a sequencer for `printer` and runs it.
int RunRfuGate(const plist_t& printer, RfuPlatform& platform = SystemRfuPlatform());
// After a successful update: asks again whether RFU stays enabled and, when
// `afterDownload` and the user says disable (or closes the question), switches
// it off. No stack, no registry values.
// `setCommunity` (null: the default) is the name the switch-off tries first.
void RfuPostUpdateQuestion(const plist_t& printer, bool afterDownload, RfuPlatform& platform = SystemRfuPlatform(),
                           const wchar_t* setCommunity = nullptr);
// Switches the RFU setting off with `setCommunity` (null: the default), as
// the post-update question does when the user chooses disable; a refused
// community is not asked again. 1 when the printer took it. `bounds`: see
// RfuPlatform::WriteRfuStatus.
int SwitchRfuOff(const plist_t& printer, RfuPlatform& platform, const wchar_t* setCommunity,
                 const RfuWriteBounds* bounds = nullptr);
