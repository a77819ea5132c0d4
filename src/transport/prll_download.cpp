#include "transport/prll_download.h"

#include "firmware/versions.h"
#include "host/clock.h"
#include "host/file_io.h"
#include "host/logger.h"
#include "printer/services.h"
#include "transport/acl_checksum.h"
#include "transport/device_exchange.h"
#include "transport/device_link.h"
#include "transport/prll_device.h"

namespace {

// The question goes out as a whole job on the write handle; the answer is
// read on a read-only handle of its own.
AclExchangePlan VersionPlan() {
  AclExchangePlan s{};
  s.uel = AclEndsWith(L"GetPrllFWVersion(): ReadData() Failed-> strlen PJL_UEL1 != nBytesRead .");
  s.enterLang = AclEndsWith(L"GetPrllFWVersion(): ReadData() Failed-> strlen PJL_ENTERLANG != nBytesRead .");
  s.command = AclEndsWith(L"GetPrllFWVersion(): ReadData() Failed-> strlen g_aclCmd != nBytesRead .");
  s.closing = ACL_CLOSE_AFTER_DATA;
  s.closingUel = AclEndsWith(L"GetPrllFWVersion(): ReadData() Failed-> strlen PJL_UEL2 != nBytesRead .");
  s.reply = {ACL_CHANNEL_RESPONSE_READS, ACL_CHANNEL_READ_WAIT_MS, ACL_CHANNEL_READ_PAUSE_MS};
  s.eachRead = L"GetPrllFWVersion(): read %d prll bytes";
  s.replyRead = {AclEnds(AclPlain(L"GetPrllFWVersion(): read prll error"), true),
                 AclEnds({ACL_LOG_COUNT, L"GetPrllFWVersion(): ReadData() Failed, numBytesRead=%d"})};
  s.checkPrefix = AclPlain(L"GetPrllFWVersion(): ReadData() ACL_PREFIX Failed.");
  s.checkCmdId = AclPlain(L"GetPrllFWVersion(): ReadData() ACLCMD_GET_VERSION Failed.");
  s.checkStatus = AclPlain(L"GetPrllFWVersion(): ReadData() ACLCMD_STATUS_SUCCESS Failed.");
  return s;
}

// The port for reading and writing, or DEVICE_NONE after logging why not
// (the open's error also in *error when given).
DeviceHandle OpenPort(uint32_t* openError = nullptr) {
  uint32_t error = 0;
  DeviceHandle port = CurrentPrllDevice().OpenPort(&error);
  if (port == DEVICE_NONE) {
    Logger::Instance()->Write(L"_DownLaodRequired Failed to open PrllPort(gle=%d)", static_cast<int>(error));
  }
  if (openError) *openError = port == DEVICE_NONE ? error : 0;
  return port;
}

}  // namespace

DeviceHandle CFWDownloadPrll::OpenPRLLDevice(uint32_t* error) {
  SleepMs(PRLL_OPEN_PAUSE_MS);
  StopAService(SPOOLER_SERVICE_NAME, m_stopped);
  SleepMs(PRLL_SPOOLER_RESTART_PAUSE_MS);
  StartAService(SPOOLER_SERVICE_NAME, m_stopped);
  SleepMs(PRLL_OPEN_PAUSE_MS);
  return OpenPort(error);
}

int CFWDownloadPrll::CheckFirmwareVersion(const wchar_t* productId, const wchar_t* familyId, FirmwareFileInfo* info,
                                          DeviceHandle port, const wchar_t* fileName) {
  Logger* log = Logger::Instance();
  log->Write(L"CFWDownloadPrll::CheckFirmwareVersion");
  if (port == DEVICE_NONE) {
    log->Write(L"Failed OpenPRLLDevice()");
    return -1;
  }
  // The first question takes the caller's handle over and closes it; a
  // repeated one needs a handle of its own.
  DeviceHandle next = port;
  int result = ::CheckFirmwareVersion(productId, familyId, info, fileName, [&](FirmwareFileInfo*, std::string*) {
    DeviceHandle handle = next != DEVICE_NONE ? next : OpenPort();
    next = DEVICE_NONE;
    return handle != DEVICE_NONE ? GetPrllFWVersion(handle) : 0u;
  });
  if (next != DEVICE_NONE) CurrentPrllDevice().ClosePort(next);
  return result;
}

uint32_t CFWDownloadPrll::GetPrllFWVersion(DeviceHandle port) {
  Logger::Instance()->Write(L"Inside GetPrllFWVersion()");
  PrllDevice& system = CurrentPrllDevice();
  DeviceHandle readHandle = DEVICE_NONE;
  std::unique_ptr<ByteChannel> reader;
  std::unique_ptr<ByteChannel> writer = OpenDeviceChannel(port);
  AclLink link = {writer.get(), nullptr, nullptr, [&]() -> ByteChannel* {
                    system.ClosePort(port);
                    port = DEVICE_NONE;
                    uint32_t error = 0;
                    readHandle = system.OpenPortForReading(&error);
                    if (readHandle == DEVICE_NONE) {
                      Logger::Instance()->Write(L"GetPrllFWVersion() Failed to open PrllPort(gle=%d)",
                                                static_cast<int>(error));
                      return nullptr;
                    }
                    reader = OpenDeviceChannel(readHandle);
                    return reader.get();
                  }};
  AclCommand command;
  FillAclCommand(&command, ACLCMD_GET_VERSION);
  AclExchangeResult r;
  RunAclExchange(link, VersionPlan(), command, nullptr, 0, &r);
  if (port != DEVICE_NONE) system.ClosePort(port);
  if (readHandle != DEVICE_NONE) system.ClosePort(readHandle);
  return r.ok ? AclVersionFromResponse(r.response) : 0;
}

int CFWDownloadPrll::DownLoadFirmware(const wchar_t* modelName, FirmwareFileInfo* info, DeviceHandle port,
                                      const wchar_t* fileName, const FirmwareImage* image) {
  Logger* log = Logger::Instance();
  log->Write(L"CFWDownloadPrll::DownLoadFirmware");
  if (port == DEVICE_NONE) {
    log->Write(L"Failed OpenPRLLDevice()");
    return -1;
  }
  return DownloadWithChosenBurn(info, fileName, image, [&](const AclBurnSource& source, AclBurnChoice) {
    PrllDevice& system = CurrentPrllDevice();
    char rundll[PRLL_COMMAND_MAX] = {};
    const int found = system.RundllPath(rundll, sizeof rundll);
    StopAService(SPOOLER_SERVICE_NAME, m_stopped);
    SleepMs(PRLL_DOWNLOAD_SPOOLER_PAUSE_MS);
    StartAService(SPOOLER_SERVICE_NAME, m_stopped);
    // The printer becomes the default printer (its name ends at a double quote).
    uint32_t error = 0;
    if (!found || !system.StartDefaultPrinter(rundll, modelName, &error)) {
      log->Write(L"ERROR: rundll32.exe could not be started (gle=%d)", static_cast<int>(error));
    }
    SleepMs(PRLL_RUNDLL_PAUSE_MS);
    // What the steps above left must not be told as the burn's error.
    SetLastSystemError(0);
    int ok = BurnFlashPrllPort(port, source);
    SleepMs(PRLL_AFTER_BURN_PAUSE_MS);
    StopAService(SPOOLER_SERVICE_NAME, m_stopped);
    SleepMs(PRLL_AFTER_BURN_STOP_PAUSE_MS);
    return ok;
  });
}

int CFWDownloadPrll::BurnFlashPrllPort(DeviceHandle port, const AclBurnSource& source) {
  Logger* log = Logger::Instance();
  log->Write(L"BurnFlash");
  AclBurnImage image;
  if (!source.Read(0, L"BurnFlash bin file size = 0x%x, highwd=0x%x", {ACL_LOG_ERROR, L"Read bin file failed"},
                   &image)) {
    return 0;
  }
  AclCommand command;
  FillBurnFlashCommand(&command, ACL_IMAGE_CODE_ONLY, AclChecksum16(image.data, image.size), image.size);
  std::unique_ptr<ByteChannel> channel = OpenDeviceChannel(port);
  AclExchangeResult r;
  // No answer is awaited: the burn is done once the data went out whole.
  RunAclExchange({channel.get(), nullptr, nullptr, nullptr}, DeviceWritesPlan(), command, image.data, image.size, &r);
  if (!r.ok) return 0;
  log->Write(L"BurnFlashPrllPort(): Successful");
  return 1;
}

int CFWDownloadPrll::PrllFixNvRam(DeviceHandle port) {
  Logger::Instance()->Write(L"PrllFixNvRam");
  return DeviceFixNvRam(port, 0, nullptr);
}

int CFWDownloadPrll::ResetPrllPrinter(DeviceHandle port) {
  return DeviceResetNoReply(port);
}
