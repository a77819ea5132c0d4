#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "firmware/firmware_file.h"
#include "firmware/versions.h"
#include "host/file_io.h"
#include "support/firmware_builder.h"
#include "support/log_capture.h"
#include "support/log_text.h"

using fwtest::BinKind;
using fwtest::BinTrailer;
using fwtest::NandFileLayout;
using fwtest::NandPackageLayout;

namespace {

struct Classified {
  uint32_t version;
  int32_t fileTypeOut;
  FirmwareFileInfo info;
};

Classified Classify(const std::vector<uint8_t>& bytes, const wchar_t* name = L"f.bin") {
  const std::wstring path = fwtest::TempPath(name);
  EXPECT_EQ(fwtest::WriteFileBytes(path, bytes), 1);
  Classified c{0, -7, {}};
  c.info.fileKind = -5;
  c.info.fileType = -6;
  c.version = GetBinFileVersion(&c.info, &c.fileTypeOut, path.c_str());
  return c;
}

std::vector<uint8_t> WithHead(std::vector<uint8_t> bytes, const std::vector<uint8_t>& head, size_t at = 0) {
  if (bytes.size() < at + head.size()) bytes.resize(at + head.size());
  std::copy(head.begin(), head.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
  return bytes;
}

}  // namespace

TEST(GetBinFileVersion, ClassificationTable) {
  const std::vector<uint8_t> code = {0xAA, 0x55, 0x41, 0x54};
  const std::vector<uint8_t> tamarack = {0xC0, 0xDE, 0xED, 0x0C};
  const std::vector<uint8_t> nand = {'N', 'A', 'N', 'D'};
  const std::vector<uint8_t> other = {1, 2, 3, 4};
  const std::vector<uint8_t> trailer = fwtest::MakeBinTrailer(BinTrailer{"X", "77", -1});
  auto image = [&](size_t size, const std::vector<uint8_t>& head, const std::vector<uint8_t>* at64k) {
    std::vector<uint8_t> b(size, 0x11);
    b = WithHead(b, head);
    if (at64k) b = WithHead(b, *at64k, 0x10000);
    std::copy(trailer.begin(), trailer.end(), b.end() - static_cast<std::ptrdiff_t>(trailer.size()));
    return b;
  };
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    uint32_t version;
    int32_t typeOut;
    int32_t kind;  // -5: untouched
    int32_t type;  // -6: untouched
  } cases[] = {
      {"code-only", image(100, code, nullptr), 77, 2, 2, 2},
      {"code-only wins over code at 64K", image(0x10100, code, &code), 77, 2, 2, 2},
      {"code-only with NAND at 64K", image(0x10100, code, &nand), 77, 2, 2, 2},
      {"full part", image(0x10100, other, &code), 77, 1, 2, 1},
      {"full part of exactly 64K + 4 + trailer", image(0x10004 + trailer.size(), other, &code), 77, 1, 2, 1},
      {"NAND", image(100, nand, nullptr), 77, 3, 1, 3},
      {"Tamarack", image(100, tamarack, nullptr), 0, 9, 2, 2},
      {"Tamarack with code at 64K", image(0x10100, tamarack, &code), 0, 9, 2, 2},
      {"unknown, short", image(65539, other, nullptr), 0, 9, -5, -6},
      {"unknown, other word at 64K", image(0x10100, other, &other), 0, 9, -5, -6},
      {"magic cut short", {0xAA, 0x55, 0x41}, 0, 9, -5, -6},
      {"empty", {}, 0, 9, -5, -6},
  };
  for (const Case& c : cases) {
    Classified r = Classify(c.bytes);
    EXPECT_EQ(r.version, c.version) << c.what;
    EXPECT_EQ(r.fileTypeOut, c.typeOut) << c.what;
    EXPECT_EQ(r.info.fileKind, c.kind) << c.what;
    EXPECT_EQ(r.info.fileType, c.type) << c.what;
  }
}

TEST(GetBinFileVersion, GeneratedKindsAndLogLines) {
  struct Case {
    BinKind kind;
    int32_t typeOut;
    const char* line;
  } cases[] = {
      {BinKind::CodeOnly, 2, "GetBinFileVersion   filetype = BIN File, Code Only"},
      {BinKind::FullPart, 1, "GetBinFileVersion   filetype = BIN File, Full Part"},
      {BinKind::Tamarack, 9, "ERROR: Codeonly files are NOT allowed on tamarack, file is corrupt."},
      {BinKind::Corrupt, 9, "ERROR:  codetypeID unknown (0xdeadbeef), file is corrupt."},
  };
  for (const Case& c : cases) {
    LogCapture log;
    Classified r = Classify(fwtest::BuildBin(c.kind, 0x20000, 31337u));
    EXPECT_EQ(r.fileTypeOut, c.typeOut);
    EXPECT_EQ(r.version, c.typeOut == 9 ? 0u : 31337u);
    EXPECT_TRUE(fwtest::HasLine(log, c.line)) << c.line;
  }
  LogCapture log;
  Classify(fwtest::BuildBin(BinKind::CodeOnly, 64, 1u));
  EXPECT_TRUE(fwtest::HasLine(log, "filetypeID = 0X544155AA"));
}

TEST(GetBinFileVersion, OpenFailureWritesNothing) {
  LogCapture log;
  FirmwareFileInfo info;
  info.fileKind = 7;
  info.fileType = 8;
  int32_t typeOut = 42;
  const std::wstring missing = fwtest::TempPath(L"does-not-exist.bin");
  EXPECT_EQ(GetBinFileVersion(&info, &typeOut, missing.c_str()), 0u);
  EXPECT_EQ(typeOut, 42);
  EXPECT_EQ(info.fileKind, 7);
  EXPECT_EQ(info.fileType, 8);
  EXPECT_TRUE(fwtest::HasLinePart(log, "  Open bin file failed.  gle="));
}

TEST(BinTrailerVersion, Table) {
  auto bytes = [](const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); };
  std::string forty(40, 'L');
  std::string thirtyNine(39, 'L');
  struct Case {
    const char* what;
    std::vector<uint8_t> tail;
    uint32_t version;
  } cases[] = {
      {"ten-byte example", {0x41, 0x42, 0x43, 0x00, 0x31, 0x32, 0x33, 0x34, 0x00, 0x0A}, 1234},
      {"preceded by image bytes", {0xFF, 0xFE, 0x41, 0x00, 0x39, 0x00, 0x05}, 9},
      {"last byte 0", {0x41, 0x00, 0x31, 0x00, 0x00}, 0},
      {"last byte 128", {0x41, 0x00, 0x31, 0x00, 0x80}, 0},
      {"last byte 255", {0x41, 0x00, 0x31, 0x00, 0xFF}, 0},
      {"length longer than the file", {0x00, 0x31, 0x00, 0x10}, 0},
      {"length exactly the file", {0x00, 0x35, 0x00, 0x04}, 5},
      {"length 1: only the length byte", {0x39, 0x39, 0x01}, 0},
      {"leading blanks and sign", bytes(std::string("A\0  +42\0", 8) + "\x09"), 42},
      {"negative", bytes(std::string("A\0-1\0", 5) + "\x06"), 0xFFFFFFFFu},
      {"digits then garbage", bytes(std::string("A\0" "12x4\0", 7) + "\x08"), 12},
      {"not numeric", bytes(std::string("A\0" "v12\0", 6) + "\x07"), 0},
      {"saturates like a 32-bit long", bytes(std::string("A\0" "99999999999\0", 14) + "\x0F"), 0x7FFFFFFFu},
      {"first string of 39 bytes: version still in the window",
       bytes(thirtyNine + std::string("\0" "7\0", 3) + "\x2B"), 0},
      {"first string of 38 bytes: one digit fits", bytes(std::string(38, 'L') + std::string("\0" "78\0", 4) + "\x2B"),
       7},
      {"first string of 40 bytes", bytes(forty + std::string("\0" "5\0", 3) + "\x2C"), 0},
      {"no NUL at all", bytes(std::string(60, '7') + "\x3D"), 0},
      {"single byte file", {0x01}, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BinTrailerVersion(c.tail.data(), c.tail.size()), c.version) << c.what;
  }
  EXPECT_EQ(BinTrailerVersion(nullptr, 0), 0u);
}

TEST(GetBinFileVersion, TrailerReadFromTheFileEnd) {
  // The 40-byte window: a 38-byte first string and its NUL leave one byte of the second.
  std::vector<uint8_t> bytes = fwtest::BuildBin(BinKind::CodeOnly, 300, BinTrailer{std::string(38, 'L'), "78", -1});
  EXPECT_EQ(Classify(bytes).version, 7u);
  bytes = fwtest::BuildBin(BinKind::CodeOnly, 300, BinTrailer{"ABC", "1234", 0});
  EXPECT_EQ(Classify(bytes).version, 0u);
  bytes = fwtest::BuildBin(BinKind::FullPart, 0x10100, BinTrailer{"", "4294967295", -1});
  EXPECT_EQ(Classify(bytes).version, 0x7FFFFFFFu);
}

TEST(ScanDecimal32, Table) {
  struct Case {
    const char* text;
    int ok;
    uint32_t value;
  } cases[] = {
      {"12", 1, 12},   {"  7x", 1, 7},        {"-1", 1, 0xFFFFFFFFu}, {"+3", 1, 3},
      {"", 0, 0},      {"x1", 0, 0},          {"-", 0, 0},            {"4294967296", 1, 0},
      {"\t 9\r\n", 1, 9}, {"00012", 1, 12},
  };
  for (const Case& c : cases) {
    uint32_t v = 12345;
    EXPECT_EQ(ScanDecimal32(c.text, strlen(c.text), &v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(v, c.value) << c.text;
    }
  }
  uint32_t v = 0;
  EXPECT_EQ(ScanDecimal32("123", 2, &v), 1);
  EXPECT_EQ(v, 12u);
}

TEST(NandComponentType, Table) {
  struct Case {
    uint32_t t1, t2, t3;
    int32_t type;
  } cases[] = {
      {2, 5, 5, 2}, {6, 0, 0, 6}, {3, 5, 2, 3}, {5, 0, 2, 5}, {5, 4, 5, 5},
      {5, 5, 2, 3}, {5, 5, 5, 4}, {5, 5, 0, 5}, {5, 5, 9, 5}, {1234, 0, 0, 1234},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NandComponentType(c.t1, c.t2, c.t3), c.type) << c.t1 << "/" << c.t2 << "/" << c.t3;
  }
}

TEST(NandPackageFile, WalksGeneratedPackages) {
  NandFileLayout layout;
  layout.noReboot = true;
  layout.packages.push_back(NandPackageLayout().Type(COMP_PRINT).Target("QV-1").Version(120));
  layout.packages.push_back(NandPackageLayout().Type(COMP_NANDLDR).Target("").Version(7).Enabled(0));
  NandPackageLayout big = NandPackageLayout().Type(COMP_BINARY).Target("fam").Version(4000000000u);
  big.payloadSize = 5000;
  big.headerVersion = 3;
  layout.packages.push_back(big);
  std::vector<fwtest::NandPackageLocation> where;
  std::vector<uint8_t> bytes = fwtest::BuildNand(layout, &where);

  NandPackageFile f;
  ASSERT_EQ(f.Open(bytes.data(), bytes.size()), NAND_OK);
  EXPECT_EQ(f.Header().word, 0x80000081u);
  EXPECT_TRUE(f.Header().noReboot);
  EXPECT_EQ(f.Header().version, 0x81u);
  ASSERT_EQ(f.Count(), 3u);

  struct Expect {
    uint32_t number, enabled, headerVersion;
    int32_t type;
    const char* target;
    const char* versionText;
    uint32_t version;
  } expect[] = {
      {3, 1, 2, COMP_PRINT, "QV-1", "120", 120},
      {2, 0, 2, COMP_NANDLDR, "", "7", 7},
      {1, 1, 3, COMP_BINARY, "fam", "4000000000", 4000000000u},
  };
  for (uint32_t i = 0; i < 3; ++i) {
    NandPackage p;
    ASSERT_EQ(f.Package(i, &p), 1);
    EXPECT_EQ(p.index, i);
    EXPECT_EQ(p.number, expect[i].number);
    EXPECT_EQ(p.offset, where[i].offset);
    EXPECT_EQ(p.size, where[i].size);
    EXPECT_EQ(p.bytes, bytes.data() + where[i].offset);
    EXPECT_EQ(p.enabled, expect[i].enabled);
    EXPECT_EQ(p.headerVersion, expect[i].headerVersion);
    EXPECT_EQ(p.componentType, expect[i].type);
    EXPECT_EQ(p.targetId, expect[i].target);
    EXPECT_EQ(p.versionText, expect[i].versionText);
    EXPECT_EQ(p.version, expect[i].version);
  }
  NandPackage p;
  EXPECT_EQ(f.Package(3, &p), 0);
}

TEST(NandPackageFile, HeaderVariants) {
  struct Case {
    uint32_t word;
    int result;
    bool noReboot;
    uint32_t version;
  } cases[] = {
      {0x80000081u, NAND_OK, true, 0x81},
      {0x00000081u, NAND_OK, false, 0x81},
      {0x00000080u, NAND_ERR_HEADER_VERSION, false, 0x80},
      {0x80000001u, NAND_ERR_HEADER_VERSION, true, 1},
  };
  for (const Case& c : cases) {
    NandFileLayout layout;
    layout.packages.push_back(NandPackageLayout());
    std::vector<uint8_t> bytes = fwtest::BuildNand(layout);
    fwtest::PutBe32(&bytes, 4, c.word);
    NandPackageFile f;
    EXPECT_EQ(f.Open(bytes.data(), bytes.size()), c.result) << std::hex << c.word;
    EXPECT_EQ(f.Header().noReboot, c.noReboot);
    EXPECT_EQ(f.Header().version, c.version);
  }
  NandFileLayout empty;
  std::vector<uint8_t> bytes = fwtest::BuildNand(empty);
  NandPackageFile f;
  EXPECT_EQ(f.Open(bytes.data(), bytes.size()), NAND_OK);
  EXPECT_EQ(f.Count(), 0u);
}

TEST(NandPackageFile, RejectsEverythingOutOfBounds) {
  NandFileLayout layout;
  layout.packages.push_back(NandPackageLayout().Version(1));
  layout.packages.push_back(NandPackageLayout().Version(2));
  layout.withFileTrailer = false;
  std::vector<fwtest::NandPackageLocation> where;
  const std::vector<uint8_t> good = fwtest::BuildNand(layout, &where);
  const uint64_t last = where[1].offset;
  const uint32_t lastSize = where[1].size;
  ASSERT_EQ(last + lastSize, good.size());

  struct Case {
    const char* what;
    uint64_t at;
    uint32_t value;  // big-endian word written at `at`
    int byteOnly;    // 1: write only the low byte at `at`
    int result;
  } cases[] = {
      {"count beyond table", 8, 3, 0, NAND_ERR_BOUNDS},
      {"count huge", 8, 0xFFFFFFFFu, 0, NAND_ERR_BOUNDS},
      {"package offset past end", where[1].tableEntry, static_cast<uint32_t>(good.size()), 0, NAND_ERR_BOUNDS},
      {"package offset wraps", where[1].tableEntry, 0xFFFFFFF0u, 0, NAND_ERR_BOUNDS},
      {"package one byte too long", where[1].tableEntry + 4, lastSize + 1, 0, NAND_ERR_BOUNDS},
      {"package size huge", where[0].tableEntry + 4, 0xFFFFFFFFu, 0, NAND_ERR_BOUNDS},
      {"package smaller than its header", where[0].tableEntry + 4, 31, 0, NAND_ERR_BOUNDS},
      {"package of zero bytes", where[0].tableEntry + 4, 0, 0, NAND_ERR_BOUNDS},
      {"trailer length reaches before the package", last + lastSize - 1, lastSize - 1, 1, NAND_ERR_BOUNDS},
      {"trailer length -2 points at the end", last + lastSize - 1, 0xFE, 1, NAND_ERR_BOUNDS},
      {"trailer length -128", last + lastSize - 1, 0x80, 1, NAND_ERR_BOUNDS},
      {"trailer length -1 is the length byte itself", last + lastSize - 1, 0xFF, 1, NAND_OK},
      {"trailer length 0", last + lastSize - 1, 0, 1, NAND_OK},
      {"trailer at the package start", last + lastSize - 1, lastSize - 2, 1, NAND_OK},
      {"magic", 0, 0x4E414E45u, 0, NAND_ERR_MAGIC},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = good;
    if (c.byteOnly) bytes[c.at] = static_cast<uint8_t>(c.value);
    else fwtest::PutBe32(&bytes, c.at, c.value);
    ASSERT_EQ(bytes.size(), good.size()) << c.what;
    NandPackageFile f;
    const int r = f.Open(bytes.data(), bytes.size());
    EXPECT_EQ(r, c.result) << c.what;
    if (r == NAND_ERR_BOUNDS || r == NAND_ERR_MAGIC) {
      EXPECT_EQ(std::wstring(f.ErrorText()).rfind(L"ERROR: This is not a Nand flash bin file", 0), 0u) << c.what;
      NandPackage p;
      EXPECT_EQ(f.Package(0, &p), 0) << c.what;
    } else {
      NandPackage p;
      EXPECT_EQ(f.Package(1, &p), 1) << c.what;
    }
  }
  // Every truncation of the file is either refused or walked in bounds.
  for (size_t len = 0; len < good.size(); ++len) {
    NandPackageFile f;
    const int r = f.Open(good.data(), len);
    EXPECT_NE(r, NAND_OK) << len;
  }
}

TEST(NandPackageFile, TrailerStringsStopAtThePackageEnd) {
  NandFileLayout layout;
  NandPackageLayout pkg;
  pkg.payloadSize = 0;
  layout.packages.push_back(pkg);
  layout.withFileTrailer = false;
  std::vector<fwtest::NandPackageLocation> where;
  std::vector<uint8_t> bytes = fwtest::BuildNand(layout, &where);
  // M = 0: the text is the spare byte and M itself; the target is the NUL.
  bytes[bytes.size() - 1] = 0;
  NandPackageFile f;
  ASSERT_EQ(f.Open(bytes.data(), bytes.size()), NAND_OK);
  NandPackage p;
  ASSERT_EQ(f.Package(0, &p), 1);
  EXPECT_EQ(p.targetId, "");
  EXPECT_EQ(p.versionText, "");
  EXPECT_EQ(p.version, 0u);
  // Unterminated text running into the end: the target is cut at the package end.
  bytes[bytes.size() - 2] = 'Z';
  bytes[bytes.size() - 1] = 0xFF;
  ASSERT_EQ(f.Open(bytes.data(), bytes.size()), NAND_OK);
  ASSERT_EQ(f.Package(0, &p), 1);
  EXPECT_EQ(p.targetId, std::string(1, '\xFF'));
  EXPECT_EQ(p.versionText, "");
}

TEST(FirmwareFileBuffer, ReadsWholeFileAndReportsFailures) {
  const std::vector<uint8_t> bytes = fwtest::BuildBin(BinKind::CodeOnly, 100000, 5u);
  const std::wstring path = fwtest::TempPath(L"whole.bin");
  ASSERT_EQ(fwtest::WriteFileBytes(path, bytes), 1);
  {
    LogCapture log;
    FirmwareFileBuffer buf;
    FILE* f = OpenFileWide(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(buf.ReadAll(f, L"malloc", L"ReadFile"), 1);
    fclose(f);
    ASSERT_EQ(buf.Size(), bytes.size());
    EXPECT_EQ(memcmp(buf.Data(), bytes.data(), bytes.size()), 0);
    EXPECT_EQ(fwtest::NarrowLines(log), (std::vector<std::string>{"malloc", "ReadFile"}));
  }
  {
    // A stream opened for writing only cannot be read: a short read.
    LogCapture log;
    const std::wstring other = fwtest::TempPath(L"writeonly.bin");
    ASSERT_EQ(fwtest::WriteFileBytes(other, bytes), 1);
    FILE* f = OpenFileWide(other.c_str(), "ab");
    ASSERT_NE(f, nullptr);
    FirmwareFileBuffer buf;
    EXPECT_EQ(buf.ReadAll(f), 0);
    fclose(f);
    EXPECT_EQ(buf.Data(), nullptr);
    EXPECT_TRUE(fwtest::HasLinePart(log, "Context: Read bin file failed"));
  }
  {
    LogCapture log;
    FirmwareFileBuffer buf;
    EXPECT_EQ(buf.ReadPath(fwtest::TempPath(L"missing.bin").c_str()), 0);
    EXPECT_TRUE(fwtest::HasLinePart(log, "Context: Failed to Open fw bin file"));
  }
}
