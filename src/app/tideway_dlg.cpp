#include "app/tideway_dlg.h"

#include <cwchar>

#include "app/main_window_link.h"
#include "app/update_record.h"
#include "host/clock.h"
#include "host/logger.h"
#include "host/program_dir.h"
#include "host/properties.h"
#include "host/strings.h"
#include "printer/installed_printers.h"
#include "printer/product_name.h"
#include "resources/resource.h"

std::wstring DialogTitle(const wchar_t* seriesName) {
  return std::wstring(seriesName) + L" " + LocalString(IDS_APP_TITLE);
}

CtidewayDlg::CtidewayDlg() {
  wmemset(m_seriesName, 0, DLG_NAME_MAX);
  if (!GetProgramDirectory(m_programDirectory)) m_programDirectory[0] = 0;
  m_progress.SetListener([this](const UpdateProgress& progress, UpdateProgressEvent what) {
    StatusReport report;
    if (m_statusFeed.Next(progress.Snapshot(), what, TickCountMs(), &report)) {
      SendMainWindowMessage(WM_FW_STATUS, 0, reinterpret_cast<intptr_t>(&report));
    }
    if (what == UpdateProgressEvent::Milestone) SendFwProgress(progress.Percent());
    if (what == UpdateProgressEvent::Done && progress.Outcome() != UpdateOutcome::Updated &&
        progress.Outcome() != UpdateOutcome::Current) {
      SendMainWindowMessage(WM_FW_FAILED, 0, 0);
    }
  });
}

void CtidewayDlg::LoadConfiguration() {
  CProperties* properties = CProperties::Instance();
  wchar_t product[PRODUCT_NAME_MAX] = {0};
  properties->GetProperty(L"PRODUCT", product, PRODUCT_NAME_MAX);
  SetProductName(product);
  properties->GetProperty(L"PRINTER_SERIESNAME", m_seriesName, DLG_NAME_MAX);
  properties->GetPropertyList(L"BIN_FILES", m_binfileList);
  properties->GetPropertyList(L"ASIAN_BIN_FILES", m_asianBinfileList);
  properties->GetPropertyList(L"BIN_FILES_AND_IDS", m_binfileListWithIDs);
  properties->GetPropertyList(L"DRIVER_NAMES", m_driverNames);
}

void CtidewayDlg::CollectPrinters() {
  m_printerList = CollectSupportedPrinters(m_driverNames);
  m_printerCount = static_cast<int>(m_printerList.size());
}

FirmwareTables CtidewayDlg::Tables() const {
  FirmwareTables tables;
  tables.binfileList = m_binfileList;
  tables.asianBinfileList = m_asianBinfileList;
  tables.binfileListWithIDs = m_binfileListWithIDs;
  tables.programDirectory = m_programDirectory;
  return tables;
}

bool CtidewayDlg::GetBinFile(const wchar_t* key, wchar_t* path, wchar_t* productId, wchar_t* familyId) {
  return ::GetBinFile(Tables(), key, path, productId, familyId);
}

bool CtidewayDlg::GetBinFileAsian(const wchar_t* key, wchar_t* path, wchar_t* productId, wchar_t* familyId) {
  return ::GetBinFileAsian(Tables(), key, path, productId, familyId);
}

bool CtidewayDlg::FWDownload(const plist_t& printer) {
  m_updateSucceeded = false;
  m_workerResult = RunUpdateWorker(Tables(), printer, &m_progress);
  m_updateSucceeded = m_workerResult.succeeded;
  m_resultText += m_workerResult.outcomeLine;
  return m_workerResult.status != -1;
}

void CtidewayDlg::RunDownload() {
  const uint32_t start = TickCountMs();
  FWDownload(m_selectedPrinter);
  // Before the outcome is shown: a failure ends the program after its box.
  RecordUpdate(WorkerReport(m_selectedPrinter, m_workerResult, static_cast<double>(TickCountMs() - start) / 1000.0));
  FinishWorker(m_workerResult, &m_progress);
}
