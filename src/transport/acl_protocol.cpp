#include "transport/acl_protocol.h"

#include <cstring>

#include "firmware/firmware_file.h"
#include "host/text_utils.h"
#include "printer/product_name.h"

const uint8_t PJL_UEL[PJL_UEL_LEN] = {0x1B, '%', '-', '1', '2', '3', '4', '5', 'X'};
const uint8_t PJL_ENTERLANG[PJL_ENTERLANG_LEN] = {'@', 'P', 'J', 'L', ' ', 'E', 'N', 'T', 'E', 'R', ' ', 'L', 'A',
                                                  'N', 'G', 'U', 'A', 'G', 'E', '=', 'A', 'C', 'L', '\r', '\n'};

namespace {

void PutU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}

void PutU32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

uint16_t GetU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

}  // namespace

void AclCommand::Clear() { std::memset(bytes, 0, sizeof bytes); }
uint16_t AclCommand::CmdId() const { return GetU16(bytes + 2); }

void AclResponse::Clear() { std::memset(bytes, 0, sizeof bytes); }
uint16_t AclResponse::Prefix() const { return GetU16(bytes); }
uint16_t AclResponse::CmdId() const { return GetU16(bytes + 2); }
uint16_t AclResponse::CmdStatus() const { return GetU16(bytes + 4); }
uint16_t AclResponse::TextLength() const { return GetU16(bytes + 6); }

void FillAclCommand(AclCommand* cmd, uint16_t cmdID) {
  cmd->Clear();
  PutU16(cmd->bytes, ACL_PREFIX);
  PutU16(cmd->bytes + 2, cmdID);
}

void FillBurnFlashCommand(AclCommand* cmd, uint16_t imageType, uint16_t checksum, uint32_t dataLength) {
  FillAclCommand(cmd, ACLCMD_BURN_FLASH);
  PutU16(cmd->bytes + 4, imageType);
  PutU16(cmd->bytes + 6, checksum);
  PutU32(cmd->bytes + 12, dataLength);
}

void FillWriteSpiMemCommand(AclCommand* cmd, uint32_t dataLength) {
  FillAclCommand(cmd, ACLCMD_WRITE_SPIMEM);
  PutU32(cmd->bytes + 4, dataLength);
}

void FillWriteNvramCommand(AclCommand* cmd) {
  FillAclCommand(cmd, ACLCMD_WRITE_NVRAM);
  PutU32(cmd->bytes + 4, ACL_NVRAM_OFFSET);
  PutU32(cmd->bytes + 8, static_cast<uint32_t>(NVRAM_IDENTITY_BLOCK_SIZE));
}

void WriteSpiTrailer(uint32_t checksumResult, uint8_t* out) { PutU32(out, checksumResult); }

void BuildNvramIdentityBlock(int mode, uint8_t out[NVRAM_IDENTITY_BLOCK_SIZE]) {
  std::memset(out, 0, NVRAM_IDENTITY_BLOCK_SIZE);
  std::memcpy(out, mode == 1 ? "KT482M" : "KT481M", 6);
  out[15] = 0x5D;
  out[16] = 0x17;
  out[22] = mode == 1 ? 0x02 : 0x01;
}

uint32_t AclVersionFromText(const char* text) {
  uint32_t value = 0;
  if (!text || !ScanDecimal32(text, ACL_TEXT_BUFFER_SIZE, &value)) return 0;
  return value;
}

uint32_t AclVersionFromResponse(const AclResponse& response) {
  char text[ACL_TEXT_BUFFER_SIZE] = {};
  std::memcpy(text, response.bytes + 6, 8);
  return AclVersionFromText(text);
}

int CheckAclResponse(const AclResponse& response, uint16_t expectedCmdId) {
  if (response.Prefix() != ACL_PREFIX) return ACL_CHECK_PREFIX;
  if (response.CmdId() != expectedCmdId) return ACL_CHECK_CMDID;
  if (response.CmdStatus() != ACLCMD_STATUS_SUCCESS) return ACL_CHECK_STATUS;
  return ACL_CHECK_OK;
}

void AclBurnCheckMessage(int check, uint16_t cmdID, wchar_t* out, size_t outSize) {
  const wchar_t* text = L"";
  switch (check) {
    case ACL_CHECK_SHORT: text = L"Read  acl response failed"; break;
    case ACL_CHECK_PREFIX: text = L"Read  acl response prefix != ACL_PREFIX"; break;
    case ACL_CHECK_CMDID:
      text = cmdID == ACLCMD_WRITE_SPIMEM ? L"Read  acl response cmdID != ACLCMD_WRITE_SPIMEM"
                                          : L"Read  acl response cmdID != ACLCMD_BURN_FLASH";
      break;
    case ACL_CHECK_STATUS: text = L"Read  acl response status != ACLCMD_STATUS_SUCCESS"; break;
    default: break;
  }
  CopyText(out, outSize, text);
}

void AclQueryCheckMessage(int check, uint16_t cmdID, wchar_t* out, size_t outSize) {
  switch (check) {
    case ACL_CHECK_SHORT: CopyText(out, outSize, L"actual bytes read != number of bytes expected"); break;
    case ACL_CHECK_PREFIX: CopyText(out, outSize, L"aclResponse.prefix != ACL_PREFIX"); break;
    case ACL_CHECK_CMDID: FormatText(out, outSize, L"aclResponse.cmdID != %#x", static_cast<unsigned>(cmdID)); break;
    case ACL_CHECK_STATUS: CopyText(out, outSize, L"aclResponse.cmdStatus != ACLCMD_STATUS_SUCCESS"); break;
    default: CopyText(out, outSize, L""); break;
  }
}

AclBurnChoice ChooseAclBurn(int32_t fileType) {
  if (ProductIs(PRODUCT_MIRO) || ProductIs(PRODUCT_SELUNAR) || ProductIs(PRODUCT_QV4410SERIES)) {
    return {ACL_BURN_SPI, 0};
  }
  if (fileType == BINTYPE_NAND_PKG) return {ACL_BURN_NAND, ACL_IMAGE_NAND_PKG};
  return {ACL_BURN_IMAGE, fileType == BINTYPE_FULL_PART ? ACL_IMAGE_FULL_PART : ACL_IMAGE_CODE_ONLY};
}
