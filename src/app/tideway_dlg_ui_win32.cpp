// The Windows headers depend on this order.
// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <process.h>
// clang-format on

#include <string>

#include "app/dialog_layout_win32.h"
#include "app/main_window_link.h"
#include "app/session_end.h"
#include "app/status_line.h"
#include "app/tideway_dlg.h"
#include "host/clock.h"
#include "host/logger.h"
#include "host/strings.h"
#include "host/text_utils.h"
#include "host/win_handles.h"
#include "net/ip_address.h"
#include "resources/resource.h"
#include "update/rfu_sequencer.h"

namespace {
constexpr UINT_PTR kCreepTimer = 1;
// While the printer is busy (version check, flash pause, restart) the bar
// creeps one step a second, never past the step before the next report.
constexpr UINT kCreepIntervalMs = 1000;
constexpr int kMilestones[] = {10, 15, 50, 100};
constexpr uint32_t kProgressStepMs = 100;
constexpr UINT kNoticeBoxType = MB_OKCANCEL | MB_ICONINFORMATION;  // 0x41

int NextMilestone(int reached) {
  for (int m : kMilestones) {
    if (m > reached) return m;
  }
  return 100;
}

INT_PTR CALLBACK AboutProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) {
    static const DialogLabel labels[] = {{IDC_ABOUT_VERSION, IDS_LABEL_ABOUT_VERSION},
                                         {IDC_ABOUT_DESCRIPTION, IDS_LABEL_ABOUT_DESCRIPTION},
                                         {IDOK, IDS_LABEL_OK}};
    SetDialogLabels(hwnd, labels);
    SetWindowTextW(hwnd, LocalString(IDS_LABEL_ABOUT_CAPTION).c_str());
    CentreDialog(hwnd);
    return TRUE;
  }
  if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    EndDialog(hwnd, LOWORD(wParam));
    return TRUE;
  }
  return FALSE;
}

// What the one dialog of the process owns: the worker's handle (never joined)
// and the success picture.
struct DialogHandles {
  win::UniqueHandle workerThread;
  win::UniqueGdiObject successBitmap;
};

DialogHandles& Owned() {
  static DialogHandles handles;
  return handles;
}

const DialogLabel kMainLabels[] = {
    {IDC_SELECT_LABEL, IDS_LABEL_SELECT_PRINTER},
    {IDC_READY_LABEL, IDS_LABEL_READY},
    {IDC_PROGRESS_GROUP, IDS_LABEL_PROGRESS},
    {IDC_SEND_FIRMWARE, IDS_LABEL_SEND_FIRMWARE},
    {IDC_EXIT, IDS_LABEL_EXIT},
};
const int kSuccessBitmaps[] = {IDB_SUCCESS, IDB_SUCCESS_144, IDB_SUCCESS_192};

// The status line; drawn at once, since the dialog's thread may be about to
// wait for the printer.
void ShowStatusLine(HWND dialog, const StatusReport& report) {
  HWND line = GetDlgItem(dialog, IDC_STATUS_TEXT);
  SetWindowTextW(line, StatusLineText(report).c_str());
  UpdateWindow(line);
}

void ShowStatusLine(HWND dialog, StatusPhase phase) {
  StatusReport report;
  report.phase = phase;
  ShowStatusLine(dialog, report);
}

// The success picture, drawn for the dialog's resolution.
void ShowSuccessPicture(HWND dialog) {
  HWND picture = GetDlgItem(dialog, IDC_RESULT_PICTURE);
  win::UniqueGdiObject previous(std::move(Owned().successBitmap));
  Owned().successBitmap = win::UniqueGdiObject(LoadBitmapForDpi(dialog, kSuccessBitmaps));
  // SS_NOTIFY lets the tooltip see the mouse over the picture.
  const LONG_PTR style = GetWindowLongPtrW(picture, GWL_STYLE);
  SetWindowLongPtrW(picture, GWL_STYLE, (style & ~static_cast<LONG_PTR>(SS_TYPEMASK)) | SS_BITMAP | SS_NOTIFY);
  SendMessageW(picture, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(Owned().successBitmap.Get()));
}

unsigned __stdcall DownloadThreadProc(void* dialog) {
  static_cast<CtidewayDlg*>(dialog)->RunDownload();
  return 0;
}
}  // namespace

// The dialog procedure, with access to the dialog's window state.
struct TidewayDlgAccess {
  static INT_PTR CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
};

INT_PTR CALLBACK TidewayDlgAccess::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* dlg = reinterpret_cast<CtidewayDlg*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  if (message == WM_INITDIALOG) {
    dlg = reinterpret_cast<CtidewayDlg*>(lParam);
    SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    dlg->m_hWnd = hwnd;
    return dlg->OnInitDialog() ? TRUE : FALSE;
  }
  if (!dlg) return FALSE;
  intptr_t sessionResult = 0;
  if (SessionEndMessage(hwnd, message, wParam, lParam, &sessionResult)) {
    SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, sessionResult);
    return TRUE;
  }

  switch (message) {
    case WM_COMMAND: {
      // Enter and Escape too: ending the process in the middle of a burn can
      // leave the printer without working firmware.
      if (!dlg->TakesCommands()) return TRUE;
      const WORD id = LOWORD(wParam);
      const WORD code = HIWORD(wParam);
      if (id == IDC_SEND_FIRMWARE && code == BN_CLICKED) {
        dlg->OnSendFirmware();
      } else if (id == IDC_PRINTER_COMBO && code == CBN_SELCHANGE) {
        dlg->OnSelchangePrinter();
      } else if (id == IDC_EXIT && code == BN_CLICKED) {
        dlg->OnExit();
      } else if (id == IDOK || id == IDCANCEL) {
        EndDialog(hwnd, id);
      } else {
        return FALSE;
      }
      return TRUE;
    }
    case WM_FW_PROGRESS:
      SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, dlg->OnProgress(wParam, lParam));
      return TRUE;
    case WM_FW_STATUS:
      ShowStatusLine(hwnd, *reinterpret_cast<const StatusReport*>(lParam));
      return TRUE;
    case WM_FW_FAILED:
      SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, dlg->OnDownloadFailed(wParam, lParam));
      return TRUE;
    case WM_TIMER:
      if (wParam != kCreepTimer) return FALSE;
      dlg->OnProgressTimer();
      return TRUE;
    case WM_SYSCOMMAND:
      return dlg->OnSysCommand(static_cast<unsigned>(wParam), lParam) ? TRUE : FALSE;
    case WM_CLOSE:
      return dlg->TakesCommands() ? FALSE : TRUE;
    case WM_PAINT: {
      if (!IsIconic(hwnd)) return FALSE;
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      SendMessageW(hwnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
      RECT rect;
      GetClientRect(hwnd, &rect);
      const int x = (rect.right - rect.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
      const int y = (rect.bottom - rect.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
      DrawIcon(dc, x, y, static_cast<HICON>(dlg->m_hIcon));
      EndPaint(hwnd, &ps);
      return TRUE;
    }
    case WM_DPICHANGED:
      // The system scales the dialog; the picture is redrawn for the new screen.
      if (Owned().successBitmap) ShowSuccessPicture(hwnd);
      return FALSE;
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(dlg->m_hIcon);
    default:
      return FALSE;
  }
}

intptr_t CtidewayDlg::DoModal() {
  return RunProgramDialog(IDD_TIDEWAY_DIALOG, nullptr, TidewayDlgAccess::Proc, reinterpret_cast<LPARAM>(this));
}

bool CtidewayDlg::OnInitDialog() {
  HWND hwnd = static_cast<HWND>(m_hWnd);
  HINSTANCE instance = GetModuleHandleW(nullptr);

  // The program's own text, not the localised table's.
  wchar_t about[256] = {0};
  LoadStringW(instance, IDS_ABOUTBOX, about, 256);
  HMENU systemMenu = GetSystemMenu(hwnd, FALSE);
  if (systemMenu && about[0]) {
    AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, about);
  }
  SetDialogIcons(hwnd, IDR_MAINFRAME);
  m_hIcon = reinterpret_cast<void*>(SendMessageW(hwnd, WM_GETICON, ICON_BIG, 0));
  SetDialogLabels(hwnd, kMainLabels);
  CentreDialog(hwnd);

  EnableWindow(GetDlgItem(hwnd, IDC_SEND_FIRMWARE), FALSE);
  SendDlgItemMessageW(hwnd, IDC_PROGRESS, PBM_SETRANGE32, 0, 100);
  SendDlgItemMessageW(hwnd, IDC_PROGRESS, PBM_SETPOS, 0, 0);

  g_hMainWnd = hwnd;
  m_progressPos = 0;
  m_resultText.clear();
  m_updateSucceeded = false;

  LoadConfiguration();
  SetWindowTextW(hwnd, DialogTitle(m_seriesName).c_str());

  CollectPrinters();
  HWND combo = GetDlgItem(hwnd, IDC_PRINTER_COMBO);
  for (int i = 0; i < m_printerCount; ++i) {
    SendMessageW(combo, CB_INSERTSTRING, i, reinterpret_cast<LPARAM>(m_printerList[i].printerName.c_str()));
  }
  return true;
}

void CtidewayDlg::OnSelchangePrinter() {
  HWND combo = GetDlgItem(static_cast<HWND>(m_hWnd), IDC_PRINTER_COMBO);
  m_curSel = static_cast<int>(SendMessageW(combo, CB_GETCURSEL, 0, 0));
  if (m_curSel < 0) return;
  const LRESULT length = SendMessageW(combo, CB_GETLBTEXTLEN, m_curSel, 0);
  if (length < 0) return;
  std::wstring item(static_cast<size_t>(length) + 1, L'\0');
  SendMessageW(combo, CB_GETLBTEXT, m_curSel, reinterpret_cast<LPARAM>(&item[0]));
  item.resize(wcslen(item.c_str()));
  for (int i = 0; i < m_printerCount; ++i) {
    m_selectedPrinter = m_printerList[i];
    if (m_selectedPrinter.printerName == item) {
      Logger::Instance()->Write(L"---select printer %ls---", item.c_str());
      EnableWindow(GetDlgItem(static_cast<HWND>(m_hWnd), IDC_SEND_FIRMWARE), TRUE);
      break;
    }
  }
}

void CtidewayDlg::SetControlsEnabled(bool combo, bool send, bool exit) {
  HWND hwnd = static_cast<HWND>(m_hWnd);
  EnableWindow(GetDlgItem(hwnd, IDC_PRINTER_COMBO), combo);
  EnableWindow(GetDlgItem(hwnd, IDC_SEND_FIRMWARE), send);
  EnableWindow(GetDlgItem(hwnd, IDC_EXIT), exit);
}

void CtidewayDlg::OnSendFirmware() {
  // One update a run: after it only "Exit" is left.
  if (m_workerThread) return;
  HWND hwnd = static_cast<HWND>(m_hWnd);
  m_progressPos = 0;
  m_lastMilestone = 0;
  SendDlgItemMessageW(hwnd, IDC_PROGRESS, PBM_SETPOS, 0, 0);
  // Greyed, so that the combo box cannot show another printer than the one
  // being started.
  SetControlsEnabled(false, false, false);
  m_handlerBusy = true;
  StartUpdate();
  m_handlerBusy = false;
  // Cancelled or refused: the printer stays selected and can be sent again.
  if (!m_workerThread) SetControlsEnabled(true, true, true);
}

void CtidewayDlg::StartUpdate() {
  Logger* log = Logger::Instance();
  const PortKind kind = ClassifyPort(m_selectedPrinter.portName.c_str());
  if (kind != PORT_NETWORK) {
    const std::wstring notice = LocalString(IDS_RFU_NOTICE) + L"\r\n" + LocalString(IDS_RFU_NOTICE_OK) + L"\r\n" +
                                LocalString(IDS_RFU_NOTICE_CANCEL);
    if (log->ShowMessageTyped(kNoticeBoxType, L"%ls", notice.c_str()) == IDOK) StartWorker();
    return;
  }

  switch (CheckSecurityFirmware()) {
    case SECURITY_FW_DIRECT:
      log->Write(L"This product fwversion is not securilty firmware version,download directly");
      StartWorker();
      break;
    case SECURITY_FW_GATE: {
      log->Write(L"--- This product fwversion is securilty firmware version---");
      log->Write(L"We select the Network printer, Start to snmp get test...");
      ShowStatusLine(static_cast<HWND>(m_hWnd), STATUS_SWITCHING_RFU);
      if (RunRfuGate(m_selectedPrinter) == RFU_GATE_PASSED) {
        StartWorker();
      } else {
        // Declined, refused or locked: nothing was sent, and the printer can
        // be sent again.
        ShowStatusLine(static_cast<HWND>(m_hWnd), STATUS_CANCELED);
      }
      break;
    }
    default:
      break;
  }
}

int CtidewayDlg::CheckSecurityFirmware() {
  ShowStatusLine(static_cast<HWND>(m_hWnd), STATUS_READING_VERSION);
  const int result = CheckSecurityFirmwareOfPort(m_selectedPrinter.portName.c_str(), Ping);
  if (result == SECURITY_FW_UNREACHABLE) OnDownloadFailed(0, 0);
  return result;
}

void CtidewayDlg::StartWorker() {
  Logger* log = Logger::Instance();
  HWND hwnd = static_cast<HWND>(m_hWnd);
  // One printer is updated once per run: a second worker would burn it again
  // while the first one still talks to it.
  if (m_workerThread) {
    log->Write(L"ERROR: a firmware download was already started, a second one is refused");
    return;
  }
  SetControlsEnabled(false, false, false);
  log->Write(L"---Start to firmware download---");
  log->Write(L"---Create firmware download Thread---");
  m_workerRunning = true;
  SetTimer(hwnd, kCreepTimer, kCreepIntervalMs, nullptr);
  // Never joined: the worker ends by itself after its last message.
  Owned().workerThread =
      win::UniqueHandle(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, DownloadThreadProc, this, 0, nullptr)));
  m_workerThread = Owned().workerThread.Get();
  if (!m_workerThread) {
    log->WriteError(GetLastError(), L"Create firmware download Thread");
    m_workerRunning = false;
    KillTimer(hwnd, kCreepTimer);
    OnDownloadFailed(0, 0);
  }
}

void CtidewayDlg::OnProgressTimer() {
  if (!m_workerRunning) return;
  const int cap = NextMilestone(m_lastMilestone) - 1;
  if (m_progressPos >= cap) return;
  ++m_progressPos;
  HWND bar = GetDlgItem(static_cast<HWND>(m_hWnd), IDC_PROGRESS);
  SendMessageW(bar, PBM_SETPOS, m_progressPos, 0);
}

intptr_t CtidewayDlg::OnProgress(uintptr_t, intptr_t lParam) {
  HWND hwnd = static_cast<HWND>(m_hWnd);
  HWND bar = GetDlgItem(hwnd, IDC_PROGRESS);
  // The phases come from WM_FW_STATUS; the outcome once the bar is full.
  for (int p = m_progressPos; p < lParam; ++p) {
    SleepMs(kProgressStepMs);
    SendMessageW(bar, PBM_SETPOS, p, 0);
    // The handler holds the dialog's thread: draw each step now.
    UpdateWindow(bar);
  }
  m_progressPos = static_cast<int>(lParam);
  if (lParam > m_lastMilestone) m_lastMilestone = static_cast<int>(lParam);
  if (lParam == 100) {
    ShowStatusLine(hwnd, EndStatus(WorkerOutcome(m_workerResult), m_workerResult.notTrusted));
    m_workerRunning = false;
    KillTimer(hwnd, kCreepTimer);
    SendMessageW(bar, PBM_SETPOS, 100, 0);
    EnableWindow(GetDlgItem(hwnd, IDC_EXIT), TRUE);
    // Exit is all that is left: Enter and the focus go to it.
    SendMessageW(hwnd, DM_SETDEFID, IDC_EXIT, 0);
    SendMessageW(hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(hwnd, IDC_EXIT)), TRUE);
    ShowSuccessPicture(hwnd);
    ShowResultTip();
  }
  return 0;
}

void CtidewayDlg::ShowResultTip() {
  if (m_resultText.empty()) return;
  HWND hwnd = static_cast<HWND>(m_hWnd);
  HWND tip =
      CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                      CW_USEDEFAULT, CW_USEDEFAULT, hwnd, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!tip) return;
  TOOLINFOW tool = {};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = hwnd;
  tool.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(hwnd, IDC_RESULT_PICTURE));
  tool.lpszText = &m_resultText[0];
  SendMessageW(tip, TTM_SETMAXTIPWIDTH, 0, 400);
  SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  m_resultTip = tip;
}

intptr_t CtidewayDlg::OnDownloadFailed(uintptr_t, intptr_t) {
  HWND hwnd = static_cast<HWND>(m_hWnd);
  m_workerRunning = false;
  KillTimer(hwnd, kCreepTimer);
  ShowStatusLine(hwnd, EndStatus(WorkerOutcome(m_workerResult), m_workerResult.notTrusted));
  Logger* log = Logger::Instance();
  log->SetCaption(DialogTitle(m_seriesName).c_str());
  // The cause, when the worker recorded one, goes below the fixed text.
  std::wstring text = LocalString(IDS_CANNOT_COMMUNICATE);
  if (!m_resultText.empty()) text += L"\r\n\r\n" + m_resultText;
  log->ShowMessage(L"%ls", text.c_str());
  EndDialog(hwnd, IDOK);
  return 0;
}

void CtidewayDlg::OnExit() {
  m_handlerBusy = true;
  if (m_updateSucceeded && ClassifyPort(m_selectedPrinter.portName.c_str()) == PORT_NETWORK) {
    ShowStatusLine(static_cast<HWND>(m_hWnd), STATUS_SWITCHING_RFU);
    RfuPostUpdateQuestion(m_selectedPrinter, m_updateSucceeded);
  }
  EndDialog(static_cast<HWND>(m_hWnd), IDOK);
}

bool CtidewayDlg::OnSysCommand(unsigned id, intptr_t) {
  const unsigned command = id & 0xFFF0;
  if (command == IDM_ABOUTBOX) {
    RunProgramDialog(IDD_ABOUTBOX, static_cast<HWND>(m_hWnd), AboutProc, 0);
    return true;
  }
  // The window-close command never ends the dialog.
  return command == SC_CLOSE;
}
