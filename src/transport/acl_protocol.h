#pragma once
// The ACL command protocol inside PJL jobs: framing, the 16-byte big-endian
// command and response records, command codes and parameters, the identity
// block of the NVRAM fix, the response checks and the choice of burn. Shared
// by the USB, parallel and network transports.

#include <cstddef>
#include <cstdint>

// PJL framing; never sent with a terminating NUL.
constexpr size_t PJL_UEL_LEN = 9;
constexpr size_t PJL_ENTERLANG_LEN = 25;
extern const uint8_t PJL_UEL[PJL_UEL_LEN];              // ESC "%-12345X"
extern const uint8_t PJL_ENTERLANG[PJL_ENTERLANG_LEN];  // "@PJL ENTER LANGUAGE=ACL\r\n"

constexpr size_t ACL_RECORD_SIZE = 16;
constexpr uint16_t ACL_PREFIX = 0x00AC;

constexpr uint16_t ACLCMD_GET_VERSION = 0x0001;
constexpr uint16_t ACLCMD_WRITE_SPIMEM = 0x0005;
constexpr uint16_t ACLCMD_GET_PRINTER_INFO = 0x0006;
constexpr uint16_t ACLCMD_BURN_FLASH = 0x000F;
constexpr uint16_t ACLCMD_GET_BUILD_INFO = 0x0013;
constexpr uint16_t ACLCMD_GET_COMP_VERSION = 0x0016;
constexpr uint16_t ACLCMD_RESET = 0xD1EE;
constexpr uint16_t ACLCMD_WRITE_NVRAM = 0xEC1D;

constexpr uint16_t ACLCMD_STATUS_SUCCESS = 0x0001;

// Result of the USB and parallel NVRAM fix and resets without reply when a
// step failed.
constexpr int ACL_DEVICE_FAILED = 325;

// imageType of ACLCMD_BURN_FLASH.
constexpr uint16_t ACL_IMAGE_FULL_PART = 0x0004;
constexpr uint16_t ACL_IMAGE_CODE_ONLY = 0x0003;
constexpr uint16_t ACL_IMAGE_NAND_PKG = 0x2101;
constexpr uint16_t ACL_NO_REBOOT = 0x2000;

// ACLCMD_WRITE_NVRAM parameters and data.
constexpr uint32_t ACL_NVRAM_OFFSET = 0x0000013F;
constexpr size_t NVRAM_IDENTITY_BLOCK_SIZE = 23;

// The SPI burn appends the whole 32-bit checksum result, big-endian.
constexpr size_t ACL_SPI_TRAILER_SIZE = 4;

// Texts that follow a response: 1024-byte buffers, at most 1023 bytes read.
constexpr size_t ACL_TEXT_BUFFER_SIZE = 1024;
constexpr size_t ACL_TEXT_MAX = ACL_TEXT_BUFFER_SIZE - 1;

struct AclCommand {
  uint8_t bytes[ACL_RECORD_SIZE];

  void Clear();
  uint16_t CmdId() const;
};

struct AclResponse {
  uint8_t bytes[ACL_RECORD_SIZE];

  void Clear();
  uint16_t Prefix() const;
  uint16_t CmdId() const;
  uint16_t CmdStatus() const;
  // Bytes 6..7: length of the text the printer sends after the record.
  uint16_t TextLength() const;
};

// Each fill clears the record first, then sets prefix, cmdID and parameters.
void FillAclCommand(AclCommand* cmd, uint16_t cmdID);
void FillBurnFlashCommand(AclCommand* cmd, uint16_t imageType, uint16_t checksum, uint32_t dataLength);
// dataLength counts the image and its 4-byte trailer.
void FillWriteSpiMemCommand(AclCommand* cmd, uint32_t dataLength);
void FillWriteNvramCommand(AclCommand* cmd);

// Writes the 4-byte SPI trailer: FF FF, then the 16-bit checksum high byte first.
void WriteSpiTrailer(uint32_t checksumResult, uint8_t* out);

// Mode 0: "KT481M" ... 0x01; mode 1: "KT482M" ... 0x02. Any mode other than 1
// builds mode 0.
void BuildNvramIdentityBlock(int mode, uint8_t out[NVRAM_IDENTITY_BLOCK_SIZE]);

// Firmware version from the digits in payload bytes 6..13 (a leading-digits
// decimal conversion; empty or non-numeric text gives 0).
uint32_t AclVersionFromResponse(const AclResponse& response);
// The same conversion over a NUL-terminated version text.
uint32_t AclVersionFromText(const char* text);

// Response checks in their order; the first that fails is reported.
constexpr int ACL_CHECK_OK = 0;
constexpr int ACL_CHECK_PREFIX = 1;
constexpr int ACL_CHECK_CMDID = 2;
constexpr int ACL_CHECK_STATUS = 3;
constexpr int ACL_CHECK_SHORT = 4;  // fewer than 16 bytes arrived (decided by the caller)
int CheckAclResponse(const AclResponse& response, uint16_t expectedCmdId);

// Lines of the USB and parallel exchanges for the first failed check. Burns
// and the NVRAM fix ("Read  acl response ..."; the NVRAM fix shares the burn's
// cmdID line) and the info and reset exchanges ("aclResponse...", with the
// expected cmdID). Empty for ACL_CHECK_OK.
void AclBurnCheckMessage(int check, uint16_t cmdID, wchar_t* out, size_t outSize);
void AclQueryCheckMessage(int check, uint16_t cmdID, wchar_t* out, size_t outSize);

// Waits and sizes of the channels that read with a wait (USB, parallel).
constexpr size_t ACL_CHANNEL_CHUNK = 512;              // bytes per write or read call
constexpr uint32_t ACL_CHANNEL_WRITE_WAIT_MS = 10000;  // a write that takes longer fails
constexpr int ACL_CHANNEL_RESPONSE_READS = 10;         // reads of a response or text remainder
constexpr uint32_t ACL_CHANNEL_READ_WAIT_MS = 3000;
constexpr uint32_t ACL_CHANNEL_READ_PAUSE_MS = 500;    // after each of those reads
constexpr uint32_t ACL_USB_QUERY_PAUSE_MS = 1000;      // before reading an info or reset answer
constexpr uint32_t ACL_USB_BURN_PAUSE_MS = 10000;      // TALEN: ACL_TALEN_BURN_PAUSE_MS
constexpr uint32_t ACL_USB_BURN_REPLY_WAIT_MS = 120000;
constexpr uint32_t ACL_USB_NVRAM_PAUSE_MS = 3000;
constexpr uint32_t ACL_USB_NVRAM_REPLY_WAIT_MS = 50000;
constexpr uint32_t ACL_TALEN_BURN_PAUSE_MS = 80000;

// Choice of burn exchange for a file of `fileType` (GetBinFileVersion code),
// by the product rules: SPI for MIRO, SELUNAR and QV4410SERIES, NAND for a NAND
// package file, otherwise an image burn of type 4 (full part) or 3.
constexpr int ACL_BURN_IMAGE = 1;
constexpr int ACL_BURN_SPI = 2;
constexpr int ACL_BURN_NAND = 3;
struct AclBurnChoice {
  int kind;
  uint16_t imageType;  // for ACL_BURN_IMAGE and ACL_BURN_NAND
};
AclBurnChoice ChooseAclBurn(int32_t fileType);
