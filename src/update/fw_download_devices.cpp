// The USB and parallel paths of the controller and the USB information read.
#include <cstring>
#include <cwchar>

#include "firmware/firmware_file.h"
#include "firmware/versions.h"
#include "host/clock.h"
#include "host/logger.h"
#include "net/ip_address.h"
#include "printer/installed_printers.h"
#include "printer/port_address.h"
#include "printer/product_name.h"
#include "printer/services.h"
#include "printer/usb_device.h"
#include "transport/acl_protocol.h"
#include "transport/ntwk_download.h"
#include "transport/prll_device.h"
#include "transport/prll_download.h"
#include "transport/usb_download.h"
#include "update/fw_download.h"
#include "update/printer_record.h"

namespace {

// A device handle the controller owns, closed once by whoever closes it.
class OwnedHandle {
 public:
  using Closer = void (*)(DeviceHandle);
  OwnedHandle() = default;
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  ~OwnedHandle() { Reset(); }

  explicit operator bool() const { return m_handle != DEVICE_NONE; }
  DeviceHandle Get() const { return m_handle; }
  // Closes the held handle and holds `handle` instead.
  void Reset(DeviceHandle handle = DEVICE_NONE) {
    if (m_handle != DEVICE_NONE) m_close(m_handle);
    m_handle = handle;
  }
  void Hold(DeviceHandle handle, Closer close) {
    Reset();
    m_handle = handle;
    m_close = close;
  }
  // For a callee that takes the handle over and closes it itself.
  DeviceHandle Release() {
    DeviceHandle handle = m_handle;
    m_handle = DEVICE_NONE;
    return handle;
  }

 private:
  DeviceHandle m_handle = DEVICE_NONE;
  Closer m_close = nullptr;
};

void ClosePrll(DeviceHandle port) {
  CurrentPrllDevice().ClosePort(port);
}

bool OpenUsb(OwnedHandle* device, const wchar_t* portName) {
  device->Hold(OpenUSBDevice(portName), CloseDevice);
  return static_cast<bool>(*device);
}

// Opens the parallel port (the opening restarts the spooler first); the
// failure is logged by the opening and again here.
bool OpenPrll(CFWDownloadPrll& prll, OwnedHandle* port) {
  // The logger's own file calls change the thread's error: the open's comes up.
  uint32_t error = 0;
  port->Hold(prll.OpenPRLLDevice(&error), ClosePrll);
  if (*port) return true;
  Logger::Instance()->Write(L"_DownLaodRequired Failed to open PrllPort(gle=%d)", static_cast<int>(error));
  return false;
}

}  // namespace

int CFWDownload::UsbDownload(const Job& job) {
  OwnedHandle device;
  if (!OpenUsb(&device, job.portName)) return FWDL_NO_USB_DEVICE;
  ReportPhase(m_progress, UpdatePhase::ReadingVersion);
  ReportMilestone(m_progress, 15);

  CFWDownloadUSB usb;
  FirmwareFileInfo info;
  const int check = usb.CheckFirmwareVersion(job.productId, job.familyId, &info, device.Get(), job.fileName);
  m_facts.before = Answer(check, info, nullptr);
  ReportMilestone(m_progress, 50);
  if (!IsExpectedFile(info)) return FWDL_FAILED;
  const FirmwareImage* image = nullptr;
  if (!SharedImage(&image)) return FWDL_FAILED;

  ReportPhase(m_progress, UpdatePhase::Sending);
  if (ProductIs(PRODUCT_VESTRA)) {
    // The lower-case "n" of the model name selects the second identity block.
    usb.FixNvRam(device.Get(), wcschr(job.modelName, L'n') ? 1 : 0);
    usb.ResetPrinter(device.Get());
    if (!Wait(FWDL_USB_VESTRA_RESET_WAIT_MS)) return FWDL_FAILED;
  }
  if (InterruptedBeforeData()) return FWDL_FAILED;

  StopSpooler();
  int result = usb.DownLoadFirmware(&info, device.Get(), job.fileName, job.productId, job.familyId, image);
  StartSpooler();

  if (result == 1 && VerifiesAfterDownload()) {
    // The printer leaves the bus while it restarts; its device comes back
    // under the same port.
    ReportPhase(m_progress, UpdatePhase::Restarting);
    if (!Wait(FWDL_RESTART_WAIT_MS, true)) return FWDL_FAILED;
    device.Reset();
    for (int attempt = 0; attempt < FWDL_VERIFY_PASSES && !OpenUsb(&device, job.portName); ++attempt) {
      if (!Wait(FWDL_VERIFY_PASS_WAIT_MS)) return FWDL_FAILED;
    }
    if (!device) return FWDL_NO_USB_DEVICE;
    ReportPhase(m_progress, UpdatePhase::Verifying);
    m_facts.after =
        Answer(usb.CheckFirmwareVersion(job.productId, job.familyId, &info, device.Get(), job.fileName), info, nullptr);
    if (m_facts.after.result != VERCHK_UP_TO_DATE) result = -1;
  }
  return MapCheckedDownloadResult(result, check);
}

int CFWDownload::PrllDownload(const Job& job) {
  CFWDownloadPrll prll(Stopped());
  OwnedHandle port;
  if (!OpenPrll(prll, &port)) return FWDL_NO_PARALLEL_PORT;
  ReportPhase(m_progress, UpdatePhase::ReadingVersion);
  ReportMilestone(m_progress, 15);

  FirmwareFileInfo info;
  // The version check closes the port on every path.
  const int check = prll.CheckFirmwareVersion(job.productId, job.familyId, &info, port.Release(), job.fileName);
  m_facts.before = Answer(check, info, nullptr);
  if (!IsExpectedFile(info)) return FWDL_FAILED;
  const FirmwareImage* image = nullptr;
  if (!SharedImage(&image)) return FWDL_FAILED;

  if (ProductIs(PRODUCT_VESTRA)) {
    if (!OpenPrll(prll, &port)) return FWDL_NO_PARALLEL_PORT;
    prll.PrllFixNvRam(port.Get());
    if (!Wait(FWDL_PRLL_VESTRA_NVRAM_WAIT_MS)) return FWDL_FAILED;
    prll.ResetPrllPrinter(port.Get());
    port.Reset();
  }

  if (!Wait(FWDL_PRLL_REOPEN_WAIT_MS)) return FWDL_FAILED;
  if (!OpenPrll(prll, &port)) return FWDL_NO_PARALLEL_PORT;
  ReportMilestone(m_progress, 50);
  ReportPhase(m_progress, UpdatePhase::Sending);
  if (InterruptedBeforeData()) return FWDL_FAILED;

  // The parallel port's own openings restart the spooler: never under a hold.
  StopAService(SPOOLER_SERVICE_NAME, Stopped());
  int result = prll.DownLoadFirmware(job.modelName, &info, port.Get(), job.fileName, image);
  StartAService(SPOOLER_SERVICE_NAME, Stopped());
  port.Reset();
  return MapCheckedDownloadResult(result, check);
}

int CFWDownload::ReadUsbInfo(const wchar_t* portName, uint16_t cmdID, char* text) {
  Logger* log = Logger::Instance();
  const bool corvine = ProductIs(PRODUCT_CORVINE) != 0;
  CFWDownloadUSB usb;
  for (int attempt = 1;;) {
    OwnedHandle device;
    if (!OpenUsb(&device, portName)) return 0;
    memset(text, 0, FWDL_INFO_TEXT_MAX);
    if (usb.GetPrinterFwInfo(device.Get(), text, cmdID)) return 1;
    FlushDevice(device.Get());
    device.Reset();
    if (cmdID == ACLCMD_GET_BUILD_INFO) {
      log->Write(L"Pax: retry %d", attempt);
      if (attempt >= FWDL_CORVINE_BUILD_LAST_ATTEMPT || !corvine) return 0;
      attempt += FWDL_CORVINE_BUILD_ATTEMPT_STEP;
    } else {
      if (!corvine) return 0;
      log->Write(L"Pax: retry %d", attempt);
      if (attempt >= FWDL_CORVINE_INFO_ATTEMPTS) return 0;
      ++attempt;
    }
  }
}

int CFWDownload::CheckPrinter(const wchar_t* printerName, const wchar_t* productId, const wchar_t* fileName,
                              const wchar_t* familyId, PrinterVersionCheck* out) {
  Logger::Instance()->Write(L"CFWDownload::CheckPrinter");
  *out = PrinterVersionCheck();
  wchar_t portName[FWDL_NAME_MAX] = {};
  if (!PortOf(printerName, portName)) return out->result;
  if (!productId) productId = L"";
  if (!familyId) familyId = L"";
  FirmwareFileInfo info;
  // Every answer goes through here, so the last one is what the printer said.
  auto record = [out](uint32_t version, const std::string* text) {
    out->printerVersion = version;
    out->componentText = text ? *text : std::string();
    return version;
  };

  switch (ClassifyPort(portName)) {
    case PORT_USB: {
      OwnedHandle device;
      if (!OpenUsb(&device, portName)) return out->result;
      CFWDownloadUSB usb;
      out->result = ::CheckFirmwareVersion(productId, familyId, &info, fileName,
                                           [&](FirmwareFileInfo* fileInfo, std::string* text) {
                                             return record(usb.GetFWVersion(fileInfo, device.Get(), text), text);
                                           });
      return out->result;
    }
    case PORT_PARALLEL: {
      CFWDownloadPrll prll;
      out->result = ::CheckFirmwareVersion(productId, familyId, &info, fileName, [&](FirmwareFileInfo*, std::string*) {
        // Each question opens the port anew; the query closes it.
        OwnedHandle port;
        if (!OpenPrll(prll, &port)) return record(0, nullptr);
        return record(prll.GetPrllFWVersion(port.Release()), nullptr);
      });
      return out->result;
    }
    default: {
      wchar_t address[FWDL_NAME_MAX] = {};
      uint16_t tcpPort = PORT_PRINTER_RAW_TCP;
      if (m_lookup) {
        // Looked up while the spooler ran; none: nothing to ask.
        if (!AddressOf(portName, address, &tcpPort)) return out->result;
      } else {
        wchar_t host[PORT_ADDRESS_MAX] = {};
        GetIPAddressFromPort(portName, host);
        if (ResolveHostname(host, address) && address[0]) tcpPort = GetPortTcpNumber(portName);
      }
      out->address = address;
      CFWDownloadNtwk ntwk(tcpPort);
      out->result = ::CheckFirmwareVersion(productId, familyId, &info, fileName,
                                           [&](FirmwareFileInfo* fileInfo, std::string* text) {
                                             return record(ntwk.GetFWVersion(fileInfo, address, text), text);
                                           });
      return out->result;
    }
  }
}
