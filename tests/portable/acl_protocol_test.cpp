#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "firmware/firmware_file.h"
#include "printer/product_name.h"
#include "support/fake_tcp_channel.h"
#include "transport/acl_protocol.h"
#include "transport/tcp_channel.h"

using nettest::Hex;

namespace {

std::string CommandHex(const AclCommand& c) { return Hex(std::vector<uint8_t>(c.bytes, c.bytes + 16)); }

AclResponse ResponseFrom(const std::vector<uint8_t>& bytes) {
  AclResponse r;
  r.Clear();
  for (size_t i = 0; i < 16 && i < bytes.size(); ++i) r.bytes[i] = bytes[i];
  return r;
}

struct ProductScope {
  explicit ProductScope(const wchar_t* name) { SetProductName(name); }
  ~ProductScope() { SetProductName(L""); }
};

}  // namespace

TEST(AclFraming, Bytes) {
  EXPECT_EQ(Hex(std::vector<uint8_t>(PJL_UEL, PJL_UEL + PJL_UEL_LEN)), "1b252d313233343558");
  EXPECT_EQ(std::string(PJL_ENTERLANG, PJL_ENTERLANG + PJL_ENTERLANG_LEN), "@PJL ENTER LANGUAGE=ACL\r\n");
}

TEST(AclCommand, RecordsAreBigEndianWithZeroedParameters) {
  AclCommand c;
  std::memset(c.bytes, 0xEE, sizeof c.bytes);  // every fill must clear what was there
  struct Case {
    const char* what;
    void (*fill)(AclCommand*);
    const char* hex;
  } cases[] = {
      {"version", [](AclCommand* x) { FillAclCommand(x, ACLCMD_GET_VERSION); }, "00ac0001000000000000000000000000"},
      {"components", [](AclCommand* x) { FillAclCommand(x, ACLCMD_GET_COMP_VERSION); },
       "00ac0016000000000000000000000000"},
      {"printer info", [](AclCommand* x) { FillAclCommand(x, ACLCMD_GET_PRINTER_INFO); },
       "00ac0006000000000000000000000000"},
      {"build info", [](AclCommand* x) { FillAclCommand(x, ACLCMD_GET_BUILD_INFO); },
       "00ac0013000000000000000000000000"},
      {"reset", [](AclCommand* x) { FillAclCommand(x, ACLCMD_RESET); }, "00acd1ee000000000000000000000000"},
      {"burn", [](AclCommand* x) { FillBurnFlashCommand(x, 0x0004, 0x9E3A, 0x01020304); },
       "00ac000f00049e3a0000000001020304"},
      {"nand burn", [](AclCommand* x) { FillBurnFlashCommand(x, ACL_IMAGE_NAND_PKG, 0xFFFF, 0x80); },
       "00ac000f2101ffff0000000000000080"},
      {"spi", [](AclCommand* x) { FillWriteSpiMemCommand(x, 1304); }, "00ac0005000005180000000000000000"},
      {"nvram", [](AclCommand* x) { FillWriteNvramCommand(x); }, "00acec1d0000013f0000001700000000"},
  };
  for (const Case& k : cases) {
    k.fill(&c);
    EXPECT_EQ(CommandHex(c), k.hex) << k.what;
  }
}

TEST(AclResponse, ChecksInOrder) {
  using nettest::Response;
  struct Case {
    std::vector<uint8_t> bytes;
    uint16_t expected;
    int result;
  } cases[] = {
      {Response(0x000F), 0x000F, ACL_CHECK_OK},
      {Response(0x000F, 2), 0x000F, ACL_CHECK_STATUS},
      {Response(0x000F, 0), 0x000F, ACL_CHECK_STATUS},
      {Response(0x0010, 2), 0x000F, ACL_CHECK_CMDID},             // cmdID is checked before status
      {Response(0x0010, 2, {}, 0x00AD), 0x000F, ACL_CHECK_PREFIX},  // prefix first
      {std::vector<uint8_t>(16, 0), 0x0001, ACL_CHECK_PREFIX},
      {Response(0xD1EE), 0xD1EE, ACL_CHECK_OK},
      {Response(0xEC1D, 0x0101), 0xEC1D, ACL_CHECK_STATUS},
  };
  for (const auto& c : cases) EXPECT_EQ(CheckAclResponse(ResponseFrom(c.bytes), c.expected), c.result) << Hex(c.bytes);
}

TEST(AclResponse, VersionDigitsAndTextLength) {
  using nettest::Bytes;
  using nettest::Response;
  struct Case {
    std::vector<uint8_t> payload;
    uint32_t version;
  } cases[] = {
      {Bytes("00012345"), 12345},
      {std::vector<uint8_t>(8, 0), 0},
      {Bytes("1234"), 1234},
      {Bytes("ABCDEFGH"), 0},
      {Bytes("  42x999"), 42},
      {Bytes("99999999"), 99999999},
      {Bytes("00000007\x35\x35"), 7},  // bytes 14..15 are not part of the version
  };
  for (const auto& c : cases) {
    EXPECT_EQ(AclVersionFromResponse(ResponseFrom(Response(1, 1, c.payload))), c.version) << Hex(c.payload);
  }
  EXPECT_EQ(ResponseFrom(Response(0x16, 1, {0x04, 0x01})).TextLength(), 0x0401);
}

TEST(NvramIdentityBlock, BothModes) {
  uint8_t block[NVRAM_IDENTITY_BLOCK_SIZE];
  BuildNvramIdentityBlock(0, block);
  EXPECT_EQ(Hex(std::vector<uint8_t>(block, block + 23)), "4b54343831" "4d" "000000000000000000" "5d17" "0000000000" "01");
  BuildNvramIdentityBlock(1, block);
  EXPECT_EQ(Hex(std::vector<uint8_t>(block, block + 23)), "4b54343832" "4d" "000000000000000000" "5d17" "0000000000" "02");
}

TEST(SpiTrailer, WholeResultBigEndian) {
  uint8_t t[4];
  WriteSpiTrailer(0xFFFF9E3Au, t);
  EXPECT_EQ(Hex(std::vector<uint8_t>(t, t + 4)), "ffff9e3a");
}

TEST(ProductName, PrefixCaseSensitive) {
  struct Case {
    const wchar_t* product;
    const wchar_t* word;
    int is;
  } cases[] = {
      {L"TALEN", L"TALEN", 1},   {L"TALEN 2", L"TALEN", 1}, {L"Talen", L"TALEN", 0},
      {L"TALE", L"TALEN", 0},    {L"", L"KORM", 0},         {L"XMIRO", L"MIRO", 0},
  };
  for (const Case& c : cases) {
    ProductScope scope(c.product);
    EXPECT_EQ(ProductIs(c.word), c.is) << c.product << L" / " << c.word;
  }
}

TEST(ChooseAclBurn, ProductAndFileType) {
  struct Case {
    const wchar_t* product;
    int32_t fileType;
    int kind;
    uint16_t imageType;
  } cases[] = {
      {L"MIRO", BINTYPE_NAND_PKG, ACL_BURN_SPI, 0},        {L"SELUNAR X", BINTYPE_FULL_PART, ACL_BURN_SPI, 0},
      {L"QV4410SERIES", BINTYPE_CODE_ONLY, ACL_BURN_SPI, 0}, {L"QV4410", BINTYPE_CODE_ONLY, ACL_BURN_IMAGE, 3},
      {L"miro", BINTYPE_FULL_PART, ACL_BURN_IMAGE, 4},     {L"VESTRA", BINTYPE_NAND_PKG, ACL_BURN_NAND, 0x2101},
      {L"", BINTYPE_FULL_PART, ACL_BURN_IMAGE, 4},         {L"", BINTYPE_CODE_ONLY, ACL_BURN_IMAGE, 3},
      {L"", BINTYPE_CORRUPT, ACL_BURN_IMAGE, 3},
  };
  for (const Case& c : cases) {
    ProductScope scope(c.product);
    AclBurnChoice choice = ChooseAclBurn(c.fileType);
    EXPECT_EQ(choice.kind, c.kind) << c.product << L" " << c.fileType;
    if (c.kind != ACL_BURN_SPI) {
      EXPECT_EQ(choice.imageType, c.imageType) << c.product << L" " << c.fileType;
    }
  }
}

TEST(ParseDottedIPv4, Table) {
  struct Case {
    const char* text;
    int ok;
    const char* hex;
  } cases[] = {
      {"127.60.0.1", 1, "7f3c0001"}, {"0.0.0.0", 1, "00000000"}, {"255.255.255.255", 1, "ffffffff"},
      {"256.1.1.1", 0, ""},          {"1.2.3", 0, ""},           {"1.2.3.4.", 0, ""},
      {"1..3.4", 0, ""},             {"printer", 0, ""},         {"", 0, ""},
      {" 1.2.3.4", 0, ""},           {"1.2.3.4 ", 0, ""},        {"0001.2.3.4", 0, ""},
      {"1.2.3.256", 0, ""},          {"001.2.3.255", 1, "010203ff"},
  };
  for (const Case& c : cases) {
    uint8_t ip[4] = {};
    EXPECT_EQ(ParseDottedIPv4(c.text, ip), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(Hex(std::vector<uint8_t>(ip, ip + 4)), c.hex) << c.text;
    }
  }
}

TEST(AclCheckMessages, UsbAndParallelWording) {
  struct Case {
    bool burn;
    int check;
    uint16_t cmd;
    const wchar_t* text;
  } cases[] = {
      {true, ACL_CHECK_SHORT, ACLCMD_BURN_FLASH, L"Read  acl response failed"},
      {true, ACL_CHECK_PREFIX, ACLCMD_BURN_FLASH, L"Read  acl response prefix != ACL_PREFIX"},
      {true, ACL_CHECK_CMDID, ACLCMD_BURN_FLASH, L"Read  acl response cmdID != ACLCMD_BURN_FLASH"},
      {true, ACL_CHECK_CMDID, ACLCMD_WRITE_NVRAM, L"Read  acl response cmdID != ACLCMD_BURN_FLASH"},
      {true, ACL_CHECK_CMDID, ACLCMD_WRITE_SPIMEM, L"Read  acl response cmdID != ACLCMD_WRITE_SPIMEM"},
      {true, ACL_CHECK_STATUS, ACLCMD_WRITE_SPIMEM, L"Read  acl response status != ACLCMD_STATUS_SUCCESS"},
      {true, ACL_CHECK_OK, ACLCMD_BURN_FLASH, L""},
      {false, ACL_CHECK_SHORT, ACLCMD_RESET, L"actual bytes read != number of bytes expected"},
      {false, ACL_CHECK_PREFIX, ACLCMD_RESET, L"aclResponse.prefix != ACL_PREFIX"},
      {false, ACL_CHECK_CMDID, ACLCMD_RESET, L"aclResponse.cmdID != 0xd1ee"},
      {false, ACL_CHECK_CMDID, ACLCMD_GET_PRINTER_INFO, L"aclResponse.cmdID != 0x6"},
      {false, ACL_CHECK_STATUS, ACLCMD_GET_BUILD_INFO, L"aclResponse.cmdStatus != ACLCMD_STATUS_SUCCESS"},
  };
  for (const Case& c : cases) {
    wchar_t out[128];
    if (c.burn) {
      AclBurnCheckMessage(c.check, c.cmd, out, 128);
    } else {
      AclQueryCheckMessage(c.check, c.cmd, out, 128);
    }
    EXPECT_EQ(std::wstring(out), c.text);
  }
}
