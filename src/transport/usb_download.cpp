#include "transport/usb_download.h"

#include <cstring>

#include "firmware/versions.h"
#include "host/logger.h"
#include "host/text_utils.h"
#include "printer/product_name.h"
#include "transport/acl_checksum.h"
#include "transport/acl_nand_burn.h"
#include "transport/device_exchange.h"
#include "transport/device_link.h"

namespace {

// What the printer still had pending before an info query on CORVINE.
constexpr uint32_t kPendingReadMax = 1000;
constexpr uint32_t kPendingReadWaitMs = 10000;

const AclReadPolicy kQueryReads = {ACL_CHANNEL_RESPONSE_READS, ACL_CHANNEL_READ_WAIT_MS, ACL_CHANNEL_READ_PAUSE_MS};
const AclOutcome kReadError = {AclPlain(L"read error aborting..."), {}, true, false};

// The query exchanges (version, info, reset with reply): the answer and its
// text in reads of the remainder; a failed read ends the job with a PJL_UEL.
AclExchangePlan QueryPlan() {
  AclExchangePlan s{};
  s.reply = kQueryReads;
  s.eachRead = L"read %d bytes";
  s.replyRead.failed = kReadError;
  s.textRead = kQueryReads;
  s.eachTextRead = L"asking for %d bytes, read %d bytes";
  s.textLost = kReadError;
  s.checksGoOn = true;
  s.closing = ACL_CLOSE_AFTER_REPLY;
  return s;
}

// Short writes and failed checks of the version query only mark it failed.
AclExchangePlan VersionPlan(bool nand) {
  AclExchangePlan s = QueryPlan();
  s.uel = AclSame(AclMarks(AclPlain(L"GetFWVersion(): WriteData() Failed-> strlen PJL_UEL1 != nBytesRead .")));
  s.enterLang =
      AclSame(AclMarks(AclPlain(L"GetFWVersion(): WriteData() Failed-> strlen PJL_ENTERLANG != nBytesRead .")));
  s.command = AclSame(AclMarks(AclPlain(L"GetFWVersion(): WriteData() Failed-> strlen g_aclCmd != nBytesRead .")));
  s.replyRead.failed = AclEnds({}, true);
  s.replyRead.fellShort = AclMarks(AclPlain(L"GetFWVersion(): ReadData() Failed-> g_aclResponse != nBytesRead ."));
  s.checkPrefix = AclPlain(L"GetFWVersion(): ReadData() ACL_PREFIX Failed.");
  s.checkCmdId = AclPlain(nand ? L"GetFWVersion(): ReadData() ACLCMD_GET_COMP_VERSION Failed."
                               : L"GetFWVersion(): ReadData() ACLCMD_GET_VERSION Failed.");
  s.checkStatus = AclPlain(L"GetFWVersion(): ReadData() ACLCMD_STATUS_SUCCESS Failed.");
  s.afterChecks = nand ? L"GetFWVersion(): Get package versions." : L"GetFWVersion(): Get Firmware version.";
  s.text = nand ? ACL_TEXT_BY_LENGTH : ACL_TEXT_NONE;
  s.closingUel = AclSame(AclMarks(AclPlain(L"GetFWVersion(): ReadData() Failed-> strlen PJL_UEL2 != nBytesRead .")));
  return s;
}

// The info queries and the reset with reply: the command's code is logged,
// the printer gets a second before the answer is read.
AclExchangePlan InfoPlan(bool text) {
  AclExchangePlan s = QueryPlan();
  const AclLog wrote = AclPlain(L"actual bytes written != number of bytes expected");
  // An info query gives up on a short write; the reset goes on.
  s.uel = s.enterLang = AclSame(text ? AclEnds(wrote) : AclMarks(wrote));
  s.command = AclSame(text ? AclEnds(wrote, true) : AclMarks(wrote));
  s.beforeCommand = L"Send acl cmd %#x";
  s.pauseMs = ACL_USB_QUERY_PAUSE_MS;
  s.replyRead.fellShort = AclMarks(AclPlain(L"actual bytes read != number of bytes expected"));
  s.checkText = AclQueryCheckMessage;
  s.text = text ? ACL_TEXT_BY_LENGTH : ACL_TEXT_NONE;
  s.textSkip = 2;
  s.closingUel = AclSame(text ? AclEnds() : AclMarks());
  return s;
}

// The image and SPI burns: the answer comes once, after the flash was programmed.
AclExchangePlan BurnPlan() {
  AclExchangePlan s = DeviceWritesPlan();
  s.pauseMs = ProductIs(PRODUCT_TALEN) ? ACL_TALEN_BURN_PAUSE_MS : ACL_USB_BURN_PAUSE_MS;
  s.reply = {1, ACL_USB_BURN_REPLY_WAIT_MS, 0};
  s.replyRead =
      AclSame({AclPlain(L"BurnFlash(): ReadData() Failed."), AclPlain(L"Read  acl response failed"), false, false});
  s.checkText = AclBurnCheckMessage;
  s.checkUel = true;
  return s;
}

AclExchangeResult Run(DeviceHandle device, const AclExchangePlan& plan, const AclCommand& command,
                      const uint8_t* data = nullptr, uint32_t length = 0, const uint8_t* tail = nullptr,
                      uint32_t tailLength = 0) {
  std::unique_ptr<ByteChannel> channel = OpenDeviceChannel(device);
  AclExchangeResult r;
  RunAclExchange({channel.get(), nullptr, nullptr, nullptr}, plan, command, data, length, tail, tailLength, &r);
  return r;
}

}  // namespace

int CFWDownloadUSB::CheckFirmwareVersion(const wchar_t* productId, const wchar_t* familyId, FirmwareFileInfo* info,
                                         DeviceHandle device, const wchar_t* fileName) {
  Logger* log = Logger::Instance();
  log->Write(L"CFWDownloadUSB::CheckFirmwareVersion");
  if (device == DEVICE_NONE) {
    log->Write(L"OpenUSBDevice = INVALID_HANDLE_VALUE");
    return -1;
  }
  return ::CheckFirmwareVersion(
      productId, familyId, info, fileName,
      [this, device](FirmwareFileInfo* fileInfo, std::string* text) { return GetFWVersion(fileInfo, device, text); });
}

int CFWDownloadUSB::DownLoadFirmware(FirmwareFileInfo* info, DeviceHandle device, const wchar_t* fileName,
                                     const wchar_t* productId, const wchar_t* familyId, const FirmwareImage* image) {
  Logger* log = Logger::Instance();
  log->Write(L"CFWDownloadUSB::DownLoadFirmware");
  if (device == DEVICE_NONE) {
    log->Write(L"Failed OpenUSBDevice()");
    return -1;
  }
  return DownloadWithChosenBurn(info, fileName, image, [&](const AclBurnSource& source, AclBurnChoice choice) {
    if (choice.kind == ACL_BURN_SPI) return BurnSpiFlash(device, source);
    if (choice.kind == ACL_BURN_NAND) return BurnNandFlash(device, info, source, choice.imageType, productId, familyId);
    return BurnFlash(device, source, choice.imageType);
  });
}

uint32_t CFWDownloadUSB::GetFWVersion(FirmwareFileInfo* info, DeviceHandle device, std::string* componentText) {
  Logger* log = Logger::Instance();
  log->Write(L"CFWDownloadUSB::GetFWVersion");
  const bool nand = info && info->fileType == BINTYPE_NAND_PKG;
  AclCommand command;
  FillAclCommand(&command, nand ? ACLCMD_GET_COMP_VERSION : ACLCMD_GET_VERSION);
  AclExchangeResult r = Run(device, VersionPlan(nand), command);
  if (!r.finished) return 0;
  if (nand && componentText) componentText->assign(r.text, r.textLength);
  // A closing PJL_UEL written short only marks the job: the answer was whole.
  const bool answered = r.firstFailure == ACL_STAGE_NONE || r.firstFailure == ACL_STAGE_CLOSING;
  uint32_t version = !answered ? 0 : nand ? 9999 : AclVersionFromResponse(r.response);
  log->Write(L"Retrieved version %d from firmware", static_cast<int>(version));
  return version;
}

int CFWDownloadUSB::BurnFlash(DeviceHandle device, const AclBurnSource& source, uint16_t imageType) {
  Logger::Instance()->Write(L"BurnFlash");
  AclBurnImage image;
  if (!source.Read(0, L"BurnFlash bin file size = 0x%x, highwd=0x%x", {ACL_LOG_ERROR, L"Read bin file failed"},
                   &image)) {
    return 0;
  }
  AclCommand command;
  FillBurnFlashCommand(&command, imageType, AclChecksum16(image.data, image.size), image.size);
  return DeviceBurnSucceeded(Run(device, BurnPlan(), command, image.data, image.size));
}

int CFWDownloadUSB::BurnSpiFlash(DeviceHandle device, const AclBurnSource& source) {
  Logger::Instance()->Write(L"BurnSpiFlash");
  AclBurnImage image;
  if (!source.Read(ACL_SPI_TRAILER_SIZE, L"BurnSpiFlash bin file size = 0x%x, highwd=0x%x",
                   {ACL_LOG_ERROR, L"Read bin file failed"}, &image)) {
    return 0;
  }
  uint8_t trailer[ACL_SPI_TRAILER_SIZE];
  WriteSpiTrailer(AclChecksum(image.data, image.size), trailer);
  const uint32_t dataLength = image.size + static_cast<uint32_t>(ACL_SPI_TRAILER_SIZE);
  AclCommand command;
  FillWriteSpiMemCommand(&command, dataLength);
  AclExchangePlan plan = BurnPlan();
  // An incomplete answer ends the job with a PJL_UEL.
  plan.replyRead.fellShort.uel = true;
  plan.closing = ACL_CLOSE_AFTER_REPLY;
  plan.closingUel = AclSame(AclMarks(AclPlain(L"ERROR: failed to send terminating UEL.")));
  AclExchangeResult r = Run(device, plan, command, image.data, image.size, trailer, ACL_SPI_TRAILER_SIZE);
  // Only the data not arriving whole, or the printer refusing the image it
  // took, fails the SPI burn; the rest is logged.
  if (r.firstFailure != ACL_STAGE_NONE && r.firstFailure < ACL_STAGE_REPLY) return 0;
  return CheckAclResponse(r.response, ACLCMD_WRITE_SPIMEM) == ACL_CHECK_STATUS ? 0 : 1;
}

int CFWDownloadUSB::BurnNandFlash(DeviceHandle device, FirmwareFileInfo* info, const AclBurnSource& source,
                                  uint16_t imageType, const wchar_t* productId, const wchar_t* familyId) {
  Logger::Instance()->Write(L"CFWDownloadUSB::BurnNandFlash");
  AclBurnImage image;
  AclNandBurn nand;
  if (!source.Read(0, L"BurnNandFlash bin file size = 0x%x, highwd=0x%x", {ACL_LOG_ERROR, L"Read bin file failed"},
                   &image) ||
      !nand.Prepare(image.data, image.size, imageType)) {
    return 0;
  }
  AclExchangePlan plan = BurnPlan();
  plan.pauseMs = 0;
  plan.replyRead = {AclEnds(AclPlain(L"Read  acl response failed")),
                    AclEnds(AclPlain(L"Read  acl response failed"), true)};
  static const std::vector<ComponentVersion> kNoComponents;
  auto sendPackage = [&](const NandPackage& package, const AclCommand& command) -> int {
    return Run(device, plan, command, package.bytes, package.size).ok;
  };
  if (!nand.Run(productId, familyId, info ? info->components : kNoComponents,
                L"--NAND package %03d up to date, Do not burn.", sendPackage)) {
    return 0;
  }
  if (nand.Burned() == 0) return ACL_BURN_NOTHING_WRITTEN;
  // The packages were sent without a restart; the reset's answer does not
  // change the outcome.
  Reset(device);
  return 1;
}

int CFWDownloadUSB::GetPrinterFwInfo(DeviceHandle device, char* text, uint16_t cmdID) {
  Logger* log = Logger::Instance();
  if (ProductIs(PRODUCT_CORVINE)) {
    // Whatever an earlier job left unread would otherwise be taken for the answer.
    uint8_t pending[ACL_TEXT_BUFFER_SIZE] = {};
    int n = OpenDeviceChannel(device)->Read(pending, kPendingReadMax, kPendingReadWaitMs);
    wchar_t shown[ACL_TEXT_BUFFER_SIZE];
    Utf8ToWide(reinterpret_cast<const char*>(pending), n > 0 ? static_cast<size_t>(n) : 0, shown, ACL_TEXT_BUFFER_SIZE);
    log->Write(L"Pax: first read %d: [%ls]", n, shown);
  }
  log->Write(L"GetPrinterFwInfo()");
  AclCommand command;
  FillAclCommand(&command, cmdID);
  AclExchangeResult r = Run(device, InfoPlan(true), command);
  // The text reaches the caller even when the closing PJL_UEL then fails.
  if (text && (r.finished || r.firstFailure == ACL_STAGE_CLOSING)) CopyText(text, ACL_TEXT_BUFFER_SIZE, r.text);
  return r.finished && r.ok ? 1 : 0;
}

int CFWDownloadUSB::Reset(DeviceHandle device) {
  Logger::Instance()->Write(L"Reset()");
  AclCommand command;
  FillAclCommand(&command, ACLCMD_RESET);
  AclExchangeResult r = Run(device, InfoPlan(false), command);
  return r.finished && r.ok ? 1 : 0;
}

int CFWDownloadUSB::FixNvRam(DeviceHandle device, int mode) {
  Logger* log = Logger::Instance();
  log->Write(L"FixNvRam");
  if (device == DEVICE_NONE) {
    log->Write(L"Failed OpenUSBDevice()");
    return 0;
  }
  return DeviceFixNvRam(device, mode, L"BurnFlashUSBPort(): ReadData() Failed.");
}

int CFWDownloadUSB::ResetPrinter(DeviceHandle device) {
  Logger* log = Logger::Instance();
  log->Write(L"Reset Printer");
  if (device == DEVICE_NONE) {
    log->Write(L"Failed OpenUSBDevice()");
    return 0;
  }
  return DeviceResetNoReply(device);
}
