#pragma once
// The main dialog: the user picks one installed printer, presses "Send
// Firmware", watches the progress bar and leaves with "Exit". One printer is
// updated per run.
//
// The update itself lives in update/ (the worker, the file choice, the
// controller); the dialog is one front end over it and hears of the update's
// progress through the listener it installs on m_progress, which sends the
// window messages. The data are portable (tideway_dlg.cpp); the window
// handlers live in tideway_dlg_ui_win32.cpp and go only into the program.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "update/firmware_choice.h"
#include "update/printer_record.h"
#include "update/security_firmware.h"
#include "update/update_progress.h"
#include "update/update_worker.h"

// The series name + " " + the program's title: the caption of the program's
// dialogs and of its failure box.
std::wstring DialogTitle(const wchar_t* seriesName);

class CtidewayDlg {
 public:
  CtidewayDlg();
  CtidewayDlg(const CtidewayDlg&) = delete;
  CtidewayDlg& operator=(const CtidewayDlg&) = delete;

  // Runs the dialog modally (Win32 only); its result is not examined.
  intptr_t DoModal();

  // Window handlers (tideway_dlg_ui_win32.cpp).
  bool OnInitDialog();
  void OnSendFirmware();
  void OnSelchangePrinter();
  void OnExit();
  intptr_t OnProgress(uintptr_t wParam, intptr_t lParam);
  intptr_t OnDownloadFailed(uintptr_t wParam, intptr_t lParam);
  bool OnSysCommand(unsigned id, intptr_t lParam);
  int CheckSecurityFirmware();

  // Reads the configuration the dialog and the worker use from the process's
  // properties.
  void LoadConfiguration();
  // Fills m_printerList from the spooler: printers of m_driverNames whose
  // information can be read, without the parallel-port driver of one series.
  void CollectPrinters();

  // The worker's part (any thread; tideway_dlg.cpp), over update/.
  bool FWDownload(const plist_t& printer);
  void RunDownload();
  bool GetBinFile(const wchar_t* key, wchar_t* path, wchar_t* productId, wchar_t* familyId);
  bool GetBinFileAsian(const wchar_t* key, wchar_t* path, wchar_t* productId, wchar_t* familyId);

  TextList m_driverNames;
  TextList m_asianBinfileList;
  TextList m_binfileList;
  TextList m_binfileListWithIDs;
  std::vector<plist_t> m_printerList;
  int m_curSel = -1;
  std::wstring m_resultText;
  wchar_t m_seriesName[DLG_NAME_MAX];
  int m_printerCount = 0;
  plist_t m_selectedPrinter;
  bool m_updateSucceeded = false;
  int m_progressPos = 0;
  void* m_workerThread = nullptr;
  void* m_hIcon = nullptr;
  // Folder the firmware files are read from: the program's, with its trailing
  // separator.
  wchar_t m_programDirectory[DLG_PATH_MAX];
  // This dialog's one update. Its listener sends WM_FW_PROGRESS for each
  // milestone and WM_FW_FAILED for a failed end to g_hMainWnd.
  UpdateProgress m_progress;

 private:
  WorkerResult m_workerResult;
  FirmwareTables Tables() const;
  // The update's start on the dialog's thread: the notice, or the security
  // check and the RFU gate, then the worker.
  void StartUpdate();
  void StartWorker();
  // Boxes have no owner, so the dialog stays enabled under them; while a
  // handler that shows boxes or the worker runs, a command would re-enter the
  // handlers (a second update, an end under an open box).
  bool TakesCommands() const { return !m_handlerBusy && !m_workerRunning; }
  void SetControlsEnabled(bool combo, bool send, bool exit);
  void ShowResultTip();
  void OnProgressTimer();

  void* m_hWnd = nullptr;
  bool m_workerRunning = false;
  // From the press of "Send Firmware" until the worker runs or the start was
  // given up, and during the handling of "Exit".
  bool m_handlerBusy = false;
  // The last position the worker reported: the bar creeps towards the next
  // one while the printer is busy.
  int m_lastMilestone = 0;
  void* m_resultTip = nullptr;

  friend struct TidewayDlgAccess;
};
