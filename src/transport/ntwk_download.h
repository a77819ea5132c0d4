#pragma once
// The network transport: ACL exchanges over a TCP connection to the printer's
// raw printing port (or the raw port of the queue's print server), one
// connection per operation.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "firmware/firmware_file.h"
#include "transport/acl_exchange.h"
#include "transport/acl_protocol.h"
#include "transport/tcp_channel.h"

// Receive time-outs the product sets on its sockets.
constexpr uint32_t NTWK_RECV_TIMEOUT_MS = 20000;
constexpr uint32_t NTWK_RESET_RECV_TIMEOUT_MS = 8000;
constexpr uint32_t NTWK_BURN_REPLY_TIMEOUT_MS = 60000;
// Pauses: the printer programs its flash after an upload before it answers.
constexpr uint32_t NTWK_BURN_PAUSE_MS = 30000;
constexpr uint32_t NTWK_NVRAM_PAUSE_MS = 5000;

constexpr size_t NTWK_ADDRESS_MAX = 256;

// What the transport connects with. The product always uses the defaults;
// tests shorten the time-outs, choose another port or substitute the sockets.
struct NtwkSettings {
  // Where the printer's own raw printing port (NTWK_PRINTER_PORT) is reached;
  // a queue's other raw port is reached at its own number.
  uint16_t port = NTWK_PRINTER_PORT;
  uint32_t receiveTimeoutMs = NTWK_RECV_TIMEOUT_MS;
  uint32_t resetTimeoutMs = NTWK_RESET_RECV_TIMEOUT_MS;
  uint32_t burnReplyTimeoutMs = NTWK_BURN_REPLY_TIMEOUT_MS;
  // Makes the channel of one connection; empty: the system's sockets.
  std::function<std::unique_ptr<TcpChannel>()> channelFactory;
};

const NtwkSettings& NtwkActiveSettings();
// Replaces the settings for the process (nullptr restores the product's);
// returns the ones in place. Only tests call this.
const NtwkSettings* SetNtwkSettingsForTesting(const NtwkSettings* settings);

class CFWDownloadNtwk {
 public:
  // `tcpPort`: the queue's port at the printer's address (GetPortTcpNumber).
  explicit CFWDownloadNtwk(uint16_t tcpPort = NTWK_PRINTER_PORT) : m_port(tcpPort) {}

  // Follows the firmware's data and the pause after it in every burn from
  // now on; nullptr: nothing follows. The caller keeps `progress` alive.
  void FollowBurns(const AclProgress* progress) { m_progress = progress; }

  // VERCHK_* from the common version check, or -1.
  int CheckFirmwareVersion(const wchar_t* productId, const wchar_t* familyId, FirmwareFileInfo* info,
                           const wchar_t* address, const wchar_t* fileName);
  // 1 when the chosen burn succeeded, 0 when a package file needed nothing
  // written, ACL_DOWNLOAD_NOT_TRUSTED when the file's signature was refused,
  // -1 otherwise. `image`: the bytes the run's updates of `fileName` share;
  // without it the file is read.
  int DownLoadFirmware(FirmwareFileInfo* info, const wchar_t* address, const wchar_t* fileName,
                       const wchar_t* productId, const wchar_t* familyId, const FirmwareImage* image = nullptr);
  // The printer's version; 9999 and the component text for a NAND file
  // (info->fileType 3); 0 on failure.
  uint32_t GetFWVersion(FirmwareFileInfo* info, const wchar_t* address, std::string* componentText);
  // Image burn (ACLCMD_BURN_FLASH) and SPI burn of the whole file: 1 or 0.
  int BurnFlash(const AclBurnSource& source, const wchar_t* address, uint16_t imageType);
  int BurnSpiFlash(const AclBurnSource& source, const wchar_t* address);
  // The out-of-date and loader packages of a NAND package file on one
  // connection, then Reset: 1, or ACL_BURN_NOTHING_WRITTEN when no package
  // needed burning; 0 on failure.
  int BurnNandFlash(const wchar_t* address, const AclBurnSource& source, uint16_t imageType, const wchar_t* productId,
                    const wchar_t* familyId, FirmwareFileInfo* info);
  // ACLCMD_GET_PRINTER_INFO or ACLCMD_GET_BUILD_INFO: the text from its second
  // byte into `text` (ACL_TEXT_BUFFER_SIZE bytes). 1 or 0.
  int GetNtwkBuildInfo(const wchar_t* address, char* text, uint16_t cmdID);
  // Reset with reply: 1 or 0.
  int Reset(const wchar_t* address);
  // Writes the identity block in mode 1: 1 or 0. Logs nothing.
  int FixNvRam(const wchar_t* address);
  // Reset without reply: 1 or 0.
  int ResetNtwkPrinter(const wchar_t* address);

 private:
  uint16_t m_port;
  const AclProgress* m_progress = nullptr;
};
