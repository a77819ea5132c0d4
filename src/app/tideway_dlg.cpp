#include "app/tideway_dlg.h"

#include <cwchar>

#include "app/fw_download.h"
#include "app/main_window_link.h"
#include "firmware/firmware_file.h"
#include "host/file_io.h"
#include "host/logger.h"
#include "host/program_dir.h"
#include "host/properties.h"
#include "host/strings.h"
#include "host/text_utils.h"
#include "host/unique_file.h"
#include "printer/installed_printers.h"
#include "printer/product_name.h"
#include "resources/resource.h"

namespace {
constexpr int kProgressStart = 10;
constexpr int kProgressDone = 100;
constexpr size_t kElmbridgeLength = 9;
}  // namespace

std::wstring DialogTitle(const wchar_t* seriesName) {
  return std::wstring(seriesName) + L" " + LocalString(IDS_APP_TITLE);
}

unsigned OutcomeStringId(int status) {
  switch (status) {
    case FWDL_FAILED:
      return IDS_UPDATE_FAILED;
    case FWDL_UPDATED:
      return IDS_UPDATE_SUCCEEDED;
    case FWDL_UP_TO_DATE:
      return IDS_UP_TO_DATE;
    case FWDL_NO_USB_DEVICE:
    case FWDL_NO_PARALLEL_PORT:
      return IDS_NOT_CONNECTED;
    default:
      return IDS_UNKNOWN_STATUS;
  }
}

bool OutcomeSucceeded(int status) {
  return status == FWDL_UPDATED || status == FWDL_UP_TO_DATE;
}

std::wstring OutcomeLine(const std::wstring& printerName, unsigned stringId) {
  return printerName + L": " + LocalString(stringId);
}

bool ChooseFirmwareEntry(const TextList& pairs, const TextList& groups, const wchar_t* key, wchar_t* fileName,
                         wchar_t* productId, wchar_t* familyId) {
  Logger* log = Logger::Instance();
  fileName[0] = productId[0] = familyId[0] = 0;
  if (pairs.size() < 2) {
    if (groups.size() > 1) {
      log->Write(L"m_binfileListWithIDs.GetCount() = %d", static_cast<int>(groups.size()));
      for (size_t i = 0; i < groups.size(); i += 4) {
        log->Write(L"cDriver = %ls", groups[i].c_str());
        if (!WildcardMatch(groups[i].c_str(), key)) continue;
        if (i + 1 < groups.size()) CopyText(fileName, DLG_NAME_MAX, groups[i + 1].c_str());
        if (i + 2 < groups.size()) CopyText(productId, DLG_NAME_MAX, groups[i + 2].c_str());
        if (i + 3 < groups.size()) CopyText(familyId, DLG_NAME_MAX, groups[i + 3].c_str());
        break;
      }
    }
  } else {
    for (size_t i = 0; i + 1 < pairs.size(); i += 2) {
      if (WildcardMatch(pairs[i].c_str(), key)) {
        CopyText(fileName, DLG_NAME_MAX, pairs[i + 1].c_str());
        break;
      }
    }
  }
  log->Write(L"BinFile:%ls, prodID:%ls, famID:%ls", fileName, productId, familyId);
  return fileName[0] != 0;
}

CtidewayDlg::CtidewayDlg() {
  wmemset(m_seriesName, 0, DLG_NAME_MAX);
  if (!GetProgramDirectory(m_programDirectory)) m_programDirectory[0] = 0;
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
  Logger* log = Logger::Instance();
  InstalledPrinterList installed;
  wchar_t name[PRINTER_NAME_MAX];
  int more = GetFirstInstalledPrinter(&installed, m_driverNames, name);
  while (more) {
    log->Write(L"Adding %ls to printer list", name);
    PrinterInfo info;
    if (GetPrinterInfo(name, &info)) {
      plist_t record{name, info.portName, info.jobs};
      // That driver's parallel-port printers cannot take an update from here.
      const bool excluded = record.printerName.find(L"QV Orrery Print Driver") != std::wstring::npos &&
                            record.portName.find(L"LPT") != std::wstring::npos;
      if (!excluded) m_printerList.push_back(record);
    }
    more = GetNextInstalledPrinter(&installed, name);
  }
  m_printerCount = static_cast<int>(m_printerList.size());
}

bool CtidewayDlg::ChooseBinFile(const TextList& pairs, const wchar_t* key, wchar_t* path, wchar_t* productId,
                                wchar_t* familyId) {
  Logger* log = Logger::Instance();
  log->Write(L"GetBinFile(%ls)", key);
  wchar_t fileName[DLG_NAME_MAX];
  if (!ChooseFirmwareEntry(pairs, m_binfileListWithIDs, key, fileName, productId, familyId)) {
    log->Write(L"Could not find a firmware file to use for programming.");
    return false;
  }
  CopyText(path, DLG_PATH_MAX, m_programDirectory);
  const size_t wanted = wcslen(path) + wcslen(fileName);
  AppendText(path, DLG_PATH_MAX, fileName);
  log->Write(L"Firmware file = %ls", path);
  // A cut path would name some other file.
  if (wanted >= DLG_PATH_MAX) {
    log->Write(L"  Cannot open %ls: the path is too long", path);
    return false;
  }
  UniqueFile file(OpenFileWide(path, "rb"));
  if (!file) {
    log->WriteError(LastSystemError(), L"  Cannot open %ls", path);
    return false;
  }
  return true;
}

bool CtidewayDlg::GetBinFile(const wchar_t* key, wchar_t* path, wchar_t* productId, wchar_t* familyId) {
  return ChooseBinFile(m_binfileList, key, path, productId, familyId);
}

bool CtidewayDlg::GetBinFileAsian(const wchar_t* key, wchar_t* path, wchar_t* productId, wchar_t* familyId) {
  return ChooseBinFile(m_asianBinfileList, key, path, productId, familyId);
}

bool CtidewayDlg::FWDownload(const plist_t& printer) {
  Logger* log = Logger::Instance();
  log->Write(L"FWDownload()");
  SendFwProgress(kProgressStart);

  CFWDownload download;
  const wchar_t* name = printer.printerName.c_str();
  wchar_t key[DLG_NAME_MAX] = {0};
  if (!download.GetFwPrinterName(name, key)) {
    key[0] = 0;
    GetPrinterDriverName(name, key);
  }

  wchar_t path[DLG_PATH_MAX] = {0};
  wchar_t productId[DLG_NAME_MAX] = {0};
  wchar_t familyId[DLG_NAME_MAX] = {0};
  m_updateSucceeded = false;
  if (!GetBinFile(key, path, productId, familyId)) {
    m_resultText += OutcomeLine(printer.printerName, IDS_NO_FIRMWARE_FILE);
    return false;
  }

  wchar_t build[DLG_NAME_MAX] = {0};
  if (wcsncmp(g_productName, PRODUCT_ELMBRIDGE, kElmbridgeLength) == 0 && download.GetFwBuildName(name, build)) {
    if (wcsstr(build, L"WESTERN")) {
      log->Write(L"FWDownload()::This is a western product, use default bin file");
    } else if (wcsstr(build, L"ASIAN")) {
      log->Write(L"FWDownload()::This is a asian product, get asian bin file");
      if (!GetBinFileAsian(key, path, productId, familyId)) {
        m_resultText += OutcomeLine(printer.printerName, IDS_NO_FIRMWARE_FILE);
        return false;
      }
    } else {
      log->Write(L"FWDownload()::Unable to retrieve the printer front panel culture.");
      return false;
    }
  }

  FirmwareFileInfo info;
  int32_t fileType = 0;
  if (GetBinFileVersion(&info, &fileType, path) == 0 && fileType == BINTYPE_CORRUPT) {
    m_resultText += OutcomeLine(printer.printerName, IDS_FILE_CORRUPT);
    return false;
  }

  const int status = download.FWDownload(name, productId, path, familyId);
  m_updateSucceeded = OutcomeSucceeded(status);
  m_resultText += OutcomeLine(printer.printerName, OutcomeStringId(status));
  return status != -1;
}

void CtidewayDlg::RunDownload() {
  FWDownload(m_selectedPrinter);
  Logger* log = Logger::Instance();
  if (m_updateSucceeded) {
    log->Write(L"---Firmware download Fininsh Success---");
    SendFwProgress(kProgressDone);
  } else {
    log->Write(L"---Firmware download Fininsh Not Success---");
    SendMainWindowMessage(WM_FW_FAILED, 0, 0);
  }
}
