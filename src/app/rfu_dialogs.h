#pragma once
// The two prompts of the RFU gate (rfu_dialogs_ui_win32.cpp, Windows only):
// plain dialogs from templates 130 and 131, shown modally on top of `owner`
// (an HWND; nullptr: the thread's active window). Both are captioned with the
// series name + " " + string 102.

#include <cstdint>
#include <string>

// Asks for an SNMP community name; the caller sets the prompt (shown in place
// of the template's first label) and the initial text of the edit field.
class CGetRFUStatusDlg {
 public:
  void SetPrompt(const std::wstring& prompt) { m_prompt = prompt; }
  void SetCommunity(const std::wstring& community) { m_community = community; }
  std::wstring GetCommunity() const { return m_community; }
  // IDOK (1), after which GetCommunity gives the entered text, or IDCANCEL (2).
  intptr_t DoModal(void* owner = nullptr);

  std::wstring m_community;
  std::wstring m_prompt;
};

// Asks whether remote firmware update is to be enabled. Neither choice is
// checked at the start; only OK reads it, any other way out leaves 0.
class CRemoteUpgradeDlg {
 public:
  intptr_t DoModal(void* owner = nullptr);

  uint8_t m_choice = 0;  // 1 = enable, 0 = disable
};
