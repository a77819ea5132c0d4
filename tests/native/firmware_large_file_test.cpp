// Large firmware files, written sparse so they cost no disk and little time.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "firmware/firmware_file.h"
#include "firmware/versions.h"
#include "host/file_io.h"
#include "support/firmware_builder.h"
#include "support/log_capture.h"
#include "support/log_text.h"

using fwtest::BinKind;
using fwtest::BinTrailer;

namespace {
constexpr uint64_t kMiB = 1024 * 1024;
}

TEST(LargeFirmwareFile, BinTrailerFoundAfterHundredsOfMiB) {
  struct Case {
    BinKind kind;
    uint64_t size;
    int32_t type;
  } cases[] = {
      {BinKind::CodeOnly, 600 * kMiB + 3, BINTYPE_CODE_ONLY},
      {BinKind::FullPart, 300 * kMiB, BINTYPE_FULL_PART},
      // Past 4 GiB: offsets must not be cut to 32 bits on the way to the trailer.
      {BinKind::CodeOnly, 0x100000000ull + 0x1234, BINTYPE_CODE_ONLY},
  };
  for (const Case& c : cases) {
    const std::wstring path = fwtest::TempPath(L"large.bin");
    ASSERT_EQ(fwtest::WriteLargeBin(path, c.kind, c.size, BinTrailer{"QV", "424242", -1}), 1);
    uint64_t size = 0;
    ASSERT_EQ(GetFileSizeWide(path.c_str(), &size), 1);
    ASSERT_EQ(size, c.size);
    FirmwareFileInfo info;
    int32_t type = 0;
    EXPECT_EQ(GetBinFileVersion(&info, &type, path.c_str()), 424242u);
    EXPECT_EQ(type, c.type);
    RemoveFileWide(path.c_str());
  }
}

TEST(LargeFirmwareFile, NandPackagesBeyondHundredsOfMiBAreCompared) {
  fwtest::NandFileLayout layout;
  layout.gapBeforePackages = 300 * kMiB;
  layout.packages.push_back(fwtest::NandPackageLayout().Type(COMP_PRINT).Version(5));
  layout.packages.push_back(fwtest::NandPackageLayout().Type(COMP_BINARY).Version(9));
  std::vector<fwtest::NandPackageLocation> where;
  const std::wstring path = fwtest::TempPath(L"large-nand.bin");
  ASSERT_EQ(fwtest::WriteNandFile(path, layout, &where), 1);
  ASSERT_GT(where[1].offset, 300 * kMiB);

  const auto start = std::chrono::steady_clock::now();
  LogCapture log;
  FirmwareFileInfo info;
  EXPECT_EQ(CompareVersions(L"", &info, path.c_str(), 9999, "print = 5\r\nbinary = 8\r\n", L""), VERCHK_FILE_NEWER);
  EXPECT_TRUE(fwtest::HasLine(log, "  NAND package 001: "));

  FirmwareFileBuffer buf;
  ASSERT_EQ(buf.ReadPath(path.c_str()), 1);
  NandPackageFile nand;
  ASSERT_EQ(nand.Open(buf.Data(), buf.Size()), NAND_OK);
  NandPackage p;
  ASSERT_EQ(nand.Package(1, &p), 1);
  EXPECT_EQ(p.offset, where[1].offset);
  EXPECT_EQ(p.bytes, buf.Data() + where[1].offset);
  EXPECT_EQ(p.version, 9u);
  const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  RecordProperty("seconds", std::to_string(seconds));
  RemoveFileWide(path.c_str());
}

TEST(LargeFirmwareFile, OverFourGiBIsRefusedWithoutAllocating) {
  const std::wstring path = fwtest::TempPath(L"huge.bin");
  ASSERT_EQ(fwtest::WriteLargeBin(path, BinKind::CodeOnly, 0x100000001ull, BinTrailer()), 1);
  LogCapture log;
  FirmwareFileBuffer buf;
  EXPECT_EQ(buf.ReadPath(path.c_str()), 0);
  EXPECT_EQ(buf.Data(), nullptr);
  EXPECT_TRUE(fwtest::HasLinePart(log, "Context: Malloc failed: return ERROR_NOT_ENOUGH_MEMORY"));
  EXPECT_TRUE(fwtest::HasLinePart(log, "(gle=8, 0x8)"));
  RemoveFileWide(path.c_str());
}
