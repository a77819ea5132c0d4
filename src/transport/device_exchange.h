#pragma once
// What the USB and parallel transports share: the writes of a burn, the NVRAM
// fix and the reset without reply, on the channel of a device handle.

#include "transport/acl_exchange.h"
#include "transport/device_io.h"

// The PJL_UEL, enter-language line, command and data of a burn or NVRAM fix:
// a failure ends the exchange with its line ("Write  ... failed"), and from
// the enter-language line on a PJL_UEL first. Data goes in 512-byte writes.
AclExchangePlan DeviceWritesPlan();

// Image burn leniency: for products other than VESTRA and KORM a burn whose
// data went out whole counts as done when no answer, or no whole one, came
// (the printer may restart first). An answer that refuses the image (right
// prefix and command, status not success) fails every product's burn.
int DeviceBurnSucceeded(const AclExchangeResult& result);

// Writes the identity block of `mode`, closes the job, waits and checks the
// answer; `shortLead` (when set) comes before "Read  acl response failed".
// 0 on success, ACL_DEVICE_FAILED otherwise.
int DeviceFixNvRam(DeviceHandle device, int mode, const wchar_t* shortLead);

// ACLCMD_RESET without reply: 1; ACL_DEVICE_FAILED when the PJL_UEL or the
// enter-language line could not be written; 0 when the command could not.
int DeviceResetNoReply(DeviceHandle device);
