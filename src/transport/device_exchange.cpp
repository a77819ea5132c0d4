#include "transport/device_exchange.h"

#include "host/logger.h"
#include "printer/product_name.h"
#include "transport/device_link.h"

AclExchangePlan DeviceWritesPlan() {
  AclExchangePlan s{};
  s.uel = AclEndsWith(L"Write  PJL_UEL failed");
  s.enterLang = AclEndsWith(L"Write  PJL_ENTERLANG failed", true);
  s.command = AclEndsWith(L"Write  acl cmd failed", true);
  s.data = AclEndsWith(L"Write  data failed", true);
  s.dataChunk = ACL_CHANNEL_CHUNK;
  return s;
}

int DeviceBurnSucceeded(const AclExchangeResult& result) {
  if (result.ok) return 1;
  // A write that fell short fails every burn: the printer never had the image.
  // A whole answer that says it refused the image is no restart cutting the
  // exchange short: that fails every burn too.
  if (result.firstFailure == ACL_STAGE_CHECK && CheckAclResponse(result.response, ACLCMD_BURN_FLASH) == ACL_CHECK_STATUS) {
    return 0;
  }
  return result.firstFailure >= ACL_STAGE_REPLY && !ProductIs(PRODUCT_VESTRA) && !ProductIs(PRODUCT_KORM);
}

int DeviceFixNvRam(DeviceHandle device, int mode, const wchar_t* shortLead) {
  uint8_t block[NVRAM_IDENTITY_BLOCK_SIZE];
  BuildNvramIdentityBlock(mode, block);
  AclCommand command;
  FillWriteNvramCommand(&command);
  AclExchangePlan s = DeviceWritesPlan();
  s.closing = ACL_CLOSE_AFTER_DATA;
  s.closingUel = AclEndsWith(L"Write  PJL_UEL failed");
  s.pauseMs = ACL_USB_NVRAM_PAUSE_MS;
  s.reply = {1, ACL_USB_NVRAM_REPLY_WAIT_MS, 0};
  const AclLog failed = AclPlain(L"Read  acl response failed");
  s.replyRead = AclSame(shortLead ? AclOutcome{AclPlain(shortLead), failed, false, false} : AclEnds(failed));
  s.checkText = AclBurnCheckMessage;  // the NVRAM fix shares the burn's cmdID line
  s.checkUel = true;
  std::unique_ptr<ByteChannel> channel = OpenDeviceChannel(device);
  AclExchangeResult r;
  RunAclExchange({channel.get(), nullptr, nullptr, nullptr}, s, command, block, sizeof block, &r);
  return r.ok ? 0 : ACL_DEVICE_FAILED;
}

int DeviceResetNoReply(DeviceHandle device) {
  AclCommand command;
  FillAclCommand(&command, ACLCMD_RESET);
  std::unique_ptr<ByteChannel> channel = OpenDeviceChannel(device);
  AclExchangeResult r;
  RunAclExchange({channel.get(), nullptr, nullptr, nullptr}, DeviceWritesPlan(), command, nullptr, 0, &r);
  if (r.ok) return 1;
  return r.firstFailure == ACL_STAGE_COMMAND ? 0 : ACL_DEVICE_FAILED;
}
