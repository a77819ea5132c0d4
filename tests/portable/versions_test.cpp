#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "firmware/firmware_file.h"
#include "firmware/versions.h"
#include "support/fake_clock.h"
#include "support/firmware_builder.h"
#include "support/log_capture.h"
#include "support/log_text.h"

using fwtest::BinKind;
using fwtest::NandFileLayout;
using fwtest::NandPackageLayout;

namespace {

std::wstring WriteTemp(const wchar_t* name, const std::vector<uint8_t>& bytes) {
  const std::wstring path = fwtest::TempPath(name);
  EXPECT_EQ(fwtest::WriteFileBytes(path, bytes), 1);
  return path;
}

std::vector<ComponentVersion> Parse(const std::string& text) {
  std::vector<ComponentVersion> out{{"stale", 1, 1}};
  ParseVersionString(&out, text);
  return out;
}

NandPackage Package(int32_t type, uint32_t version) {
  NandPackage p;
  p.componentType = type;
  p.version = version;
  return p;
}

}  // namespace

TEST(ParseVersionString, Table) {
  struct Expected {
    std::string name;
    int32_t type;
    uint32_t version;
  };
  struct Case {
    const char* what;
    std::string text;
    std::vector<Expected> components;
  } cases[] = {
      {"one line", "print  = 12\r\n", {{"print", 3, 12}}},
      {"all names, any case",
       "PRINT = 1\r\nbinary = 2\r\nkinset = 3\r\nnandldr = 4\r\nNANDBOOT = 5\r\nfont = 6\r\n",
       {{"PRINT", 3, 1}, {"binary", 4, 2}, {"kinset", 5, 3}, {"nandldr", 2, 4}, {"NANDBOOT", 6, 5}, {"font", 999, 6}}},
      {"leading blanks and no blank after =", "   NandLDR\t=7\r\n  Kinset =  0042\r\n",
       {{"NandLDR", 2, 7}, {"Kinset", 5, 42}}},
      {"print=3 without blanks ends the parse", "print=3\r\n", {}},
      {"print=3 after a good line", "binary = 9\r\nprint=3\r\n", {{"binary", 4, 9}}},
      {"line cut off in the value", "print = 1\r\nbinary = 2", {{"print", 3, 1}}},
      {"line cut off in the name", "print = 1\r\nbina", {{"print", 3, 1}}},
      {"name without =", "print 12\r\nbinary = 2\r\n", {}},
      {"CR without LF", "print = 1\rbinary = 2\r\n", {{"print", 3, 1}, {"binary", 4, 2}}},
      {"CR at the very end", "print = 1\r", {{"print", 3, 1}}},
      {"value not numeric", "print = beta\r\n", {{"print", 3, 0}}},
      {"negative and huge values", "print = -1\r\nbinary = 4294967295\r\n",
       {{"print", 3, 0xFFFFFFFFu}, {"binary", 4, 0xFFFFFFFFu}}},
      {"text ends at a NUL", std::string("print = 1\r\n\0binary = 2\r\n", 24), {{"print", 3, 1}}},
      {"empty", "", {}},
      {"only blanks", "    ", {}},
      {"trailing blanks after the last line", "print = 5\r\n   ", {{"print", 3, 5}}},
  };
  for (const Case& c : cases) {
    std::vector<ComponentVersion> got = Parse(c.text);
    ASSERT_EQ(got.size(), c.components.size()) << c.what;
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].name, c.components[i].name) << c.what;
      EXPECT_EQ(got[i].type, c.components[i].type) << c.what;
      EXPECT_EQ(got[i].version, c.components[i].version) << c.what;
    }
  }
}

TEST(ParseVersionString, LogsTheText) {
  LogCapture log;
  Parse("print  = 12\r\n");
  EXPECT_EQ(fwtest::FindLine(log, "ParseVersionString"), 0);
  EXPECT_TRUE(fwtest::HasLinePart(log, "version Info: print  = 12"));
}

TEST(CompareVersions, BinFiles) {
  struct Case {
    uint32_t file;
    uint32_t printer;
    int result;
    const char* line;
  } cases[] = {
      {100, 100, VERCHK_UP_TO_DATE, "--- Firmware version is newest ---"},
      {101, 100, VERCHK_FILE_NEWER, "Binfile Version is newer than firmware version"},
      {100, 101, VERCHK_UP_TO_DATE, "--- Firmware version is newest ---"},
      {5, 0xFFFFFFFFu, VERCHK_UP_TO_DATE, "--- Firmware version is newest ---"},
      {0x7FFFFFFFu, 0x7FFFFFFEu, VERCHK_FILE_NEWER, "Binfile Version is newer than firmware version"},
  };
  for (BinKind kind : {BinKind::CodeOnly, BinKind::FullPart}) {
    for (const Case& c : cases) {
      const std::wstring path = WriteTemp(L"cmp.bin", fwtest::BuildBin(kind, 0x10200, c.file));
      LogCapture log;
      FirmwareFileInfo info;
      EXPECT_EQ(CompareVersions(L"", &info, path.c_str(), c.printer, "", L""), c.result) << c.file << " " << c.printer;
      EXPECT_TRUE(fwtest::HasLine(log, c.line));
      EXPECT_EQ(fwtest::FindLine(log, "CompareVersions()..."), 0);
      EXPECT_EQ(info.fileKind, FILEKIND_BIN);
    }
  }
  // A corrupt file has version 0: nothing is newer than the printer.
  const std::wstring corrupt = WriteTemp(L"corrupt.bin", fwtest::BuildBin(BinKind::Corrupt, 0x10200, 9u));
  FirmwareFileInfo info;
  EXPECT_EQ(CompareVersions(L"", &info, corrupt.c_str(), 1, "", L""), VERCHK_UP_TO_DATE);
}

namespace {

// Runs CompareVersions on a generated NAND file and keeps the log.
struct NandRun {
  int result;
  std::vector<std::string> lines;
  FirmwareFileInfo info;
};

NandRun RunNand(const NandFileLayout& layout, const std::string& components, const wchar_t* product = L"",
                const wchar_t* family = L"", uint32_t printer = 9999) {
  const std::wstring path = WriteTemp(L"pkg.bin", fwtest::BuildNand(layout));
  NandRun run;
  LogCapture log;
  run.result = CompareVersions(product, &run.info, path.c_str(), printer, components, family);
  run.lines = fwtest::NarrowLines(log);
  return run;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  for (const std::string& l : lines) {
    if (l == line) return true;
  }
  return false;
}

// The lines after "Product ID=..." that report the walk.
std::vector<std::string> WalkLines(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  bool on = false;
  for (const std::string& l : lines) {
    if (on) out.push_back(l);
    if (l.rfind("Product ID=", 0) == 0) on = true;
  }
  return out;
}

}  // namespace

TEST(CompareVersions, NandNumberingAndEarlyStop) {
  NandFileLayout layout;
  layout.packages.push_back(NandPackageLayout().Type(COMP_PRINT).Target("ABC").Version(10));
  layout.packages.push_back(NandPackageLayout().Type(COMP_BINARY).Target("ABC").Version(21));
  layout.packages.push_back(NandPackageLayout().Type(COMP_KINSET).Target("ABC").Version(99));
  NandRun run = RunNand(layout, "print = 10\r\nbinary = 20\r\nKinset = 1\r\n", L"ABC", L"FAM");
  EXPECT_EQ(run.result, VERCHK_FILE_NEWER);
  EXPECT_TRUE(Contains(run.lines, "NAND PKG of 3"));
  EXPECT_TRUE(Contains(run.lines, "Product ID='ABC', familyID='FAM'."));
  EXPECT_EQ(WalkLines(run.lines), (std::vector<std::string>{
                                      " NAND package 003 is up to date.",
                                      "--Found a NAND fw package out of date.",
                                      "  NAND package 002: ABC",
                                      "   binary - fw ver:20, file ver:21",
                                      "Binfile Version is newer than firmware version",
                                  }));
  EXPECT_EQ(run.info.fileKind, FILEKIND_NAND_PKG);
  EXPECT_EQ(run.info.fileType, BINTYPE_NAND_PKG);
  ASSERT_EQ(run.info.components.size(), 3u);
  EXPECT_EQ(run.info.components[1].version, 20u);
}

TEST(CompareVersions, NandAcceptanceAndOutOfDateTable) {
  const std::string printer = "print = 10\r\nbinary = 10\r\nNandLDR = 1\r\nNandBoot = 1\r\n";
  struct Case {
    const char* what;
    NandPackageLayout package;
    const wchar_t* product;
    const wchar_t* family;
    int result;
    const char* line;
  } cases[] = {
      {"filter off: any target", NandPackageLayout().Type(COMP_PRINT).Target("XYZ").Version(11), L"", L"",
       VERCHK_FILE_NEWER, "  NAND package 001: XYZ"},
      {"product matches without case", NandPackageLayout().Type(COMP_PRINT).Target("abc").Version(11), L"ABC", L"",
       VERCHK_FILE_NEWER, "  NAND package 001: abc"},
      {"empty target equals empty family", NandPackageLayout().Type(COMP_PRINT).Target("").Version(11), L"ABC", L"",
       VERCHK_FILE_NEWER, "  NAND package 001: "},
      {"family matches", NandPackageLayout().Type(COMP_PRINT).Target("Fam-1").Version(11), L"ABC", L"FAM-1",
       VERCHK_FILE_NEWER, "  NAND package 001: Fam-1"},
      {"other target rejected", NandPackageLayout().Type(COMP_PRINT).Target("XYZ").Version(11), L"ABC", L"",
       VERCHK_UP_TO_DATE, "--Reject NAND package 001: 11, XYZ"},
      {"prefix of the product is not a match", NandPackageLayout().Type(COMP_PRINT).Target("AB").Version(11), L"ABC",
       L"FAM", VERCHK_UP_TO_DATE, "--Reject NAND package 001: 11, AB"},
      {"disabled rejected even with filter off", NandPackageLayout().Type(COMP_PRINT).Version(11).Enabled(0), L"", L"",
       VERCHK_UP_TO_DATE, "--Reject NAND package 001: 11, "},
      {"any nonzero enabled flag", NandPackageLayout().Type(COMP_PRINT).Version(11).Enabled(0x80000000u), L"", L"",
       VERCHK_FILE_NEWER, "  NAND package 001: "},
      {"equal version is up to date", NandPackageLayout().Type(COMP_PRINT).Version(10), L"", L"", VERCHK_UP_TO_DATE,
       " NAND package 001 is up to date."},
      {"loader newer is not out of date", NandPackageLayout().Type(COMP_NANDLDR).Version(500), L"", L"",
       VERCHK_UP_TO_DATE, " NAND package 001 is up to date."},
      {"boot loader newer is not out of date", NandPackageLayout().Type(COMP_NANDBOOT).Version(500), L"", L"",
       VERCHK_UP_TO_DATE, " NAND package 001 is up to date."},
      {"type the printer does not report", NandPackageLayout().Type(COMP_KINSET).Version(500), L"", L"",
       VERCHK_UP_TO_DATE, " NAND package 001 is up to date."},
      {"version compared unsigned", NandPackageLayout().Type(COMP_BINARY).Version(0xFFFFFFF0u), L"", L"",
       VERCHK_FILE_NEWER, "   binary - fw ver:10, file ver:-16"},
  };
  for (const Case& c : cases) {
    NandFileLayout layout;
    layout.packages.push_back(c.package);
    NandRun run = RunNand(layout, printer, c.product, c.family);
    EXPECT_EQ(run.result, c.result) << c.what;
    EXPECT_TRUE(Contains(run.lines, c.line)) << c.what;
    EXPECT_TRUE(Contains(run.lines, c.result == VERCHK_FILE_NEWER ? "Binfile Version is newer than firmware version"
                                                                  : "--- Firmware version is newest ---"))
        << c.what;
  }
}

TEST(CompareVersions, FirstLowerComponentDecides) {
  NandFileLayout layout;
  layout.packages.push_back(NandPackageLayout().Type(COMP_PRINT).Version(15));
  NandRun run = RunNand(layout, "print = 20\r\nprint = 12\r\nprint = 3\r\n");
  EXPECT_EQ(run.result, VERCHK_FILE_NEWER);
  EXPECT_TRUE(Contains(run.lines, "   print - fw ver:12, file ver:15"));
}

TEST(CompareVersions, NandFailures) {
  NandFileLayout layout;
  layout.packages.push_back(NandPackageLayout().Type(COMP_PRINT).Version(15));
  {
    NandRun run = RunNand(layout, "print = 1\r\n", L"", L"", 12345);
    EXPECT_EQ(run.result, VERCHK_ERROR);
    EXPECT_TRUE(Contains(run.lines, "ERROR: Firmware type does not match firmware file type"));
    EXPECT_TRUE(run.info.components.empty());
  }
  {
    // Invalid package VERSION on the second package: the first is reported, then 1.
    NandFileLayout bad = layout;
    NandPackageLayout second = NandPackageLayout().Type(COMP_PRINT).Version(1);
    second.headerVersion = 7;
    bad.packages.push_back(second);
    bad.packages.push_back(NandPackageLayout().Type(COMP_PRINT).Version(99));
    NandRun run = RunNand(bad, "print = 20\r\n");
    EXPECT_EQ(run.result, VERCHK_FILE_NEWER);
    EXPECT_EQ(WalkLines(run.lines),
              (std::vector<std::string>{" NAND package 003 is up to date.", "ERROR: invalid VERSION 7"}));
    ASSERT_EQ(run.info.components.size(), 1u);
  }
  {
    NandFileLayout bad = layout;
    bad.headerVersion = 0x82;
    bad.noReboot = true;
    NandRun run = RunNand(bad, "print = 1\r\n");
    EXPECT_EQ(run.result, VERCHK_FILE_NEWER);
    EXPECT_FALSE(Contains(run.lines, "NAND PKG of 1"));
    EXPECT_EQ(WalkLines(run.lines), (std::vector<std::string>{"ERROR: invalid VERSION 130"}));
  }
  {
    // Out of bounds: refused like a wrong magic, nothing compared, and no
    // "current" for a file that says nothing about the printer.
    std::vector<fwtest::NandPackageLocation> where;
    std::vector<uint8_t> bytes = fwtest::BuildNand(layout, &where);
    fwtest::PutBe32(&bytes, where[0].tableEntry + 4, 0x7FFFFFFFu);
    const std::wstring path = WriteTemp(L"oob.bin", bytes);
    LogCapture log;
    FirmwareFileInfo info;
    EXPECT_EQ(CompareVersions(L"", &info, path.c_str(), 9999, "print = 1\r\n", L""), VERCHK_ERROR);
    EXPECT_TRUE(fwtest::HasLinePart(log, "ERROR: This is not a Nand flash bin file"));
    EXPECT_FALSE(fwtest::HasLinePart(log, "NAND package 001"));
  }
  {
    NandFileLayout none;
    NandRun run = RunNand(none, "print = 1\r\n");
    EXPECT_EQ(run.result, VERCHK_UP_TO_DATE);
    EXPECT_TRUE(Contains(run.lines, "NAND PKG of 0"));
  }
}

TEST(NandBurnSelection, Table) {
  const std::vector<ComponentVersion> printer = {
      {"print", COMP_PRINT, 10}, {"NandLDR", COMP_NANDLDR, 50}, {"print", COMP_PRINT, 5}, {"X", COMP_UNKNOWN, 1}};
  struct Case {
    const char* what;
    NandPackage package;
    int burn;
    int outdatedIndex;
  } cases[] = {
      {"newer print", Package(COMP_PRINT, 11), 1, 0},
      {"print between the two reports", Package(COMP_PRINT, 7), 1, 2},
      {"print equal to both or lower", Package(COMP_PRINT, 5), 0, -1},
      {"loader reported, older package", Package(COMP_NANDLDR, 1), 1, -1},
      {"loader reported, newer package", Package(COMP_NANDLDR, 99), 1, -1},
      {"boot loader not reported", Package(COMP_NANDBOOT, 99), 0, -1},
      {"type not reported", Package(COMP_BINARY, 99), 0, -1},
      {"unknown type reported", Package(COMP_UNKNOWN, 2), 1, 3},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ShouldBurnNandPackage(c.package, printer), c.burn) << c.what;
    EXPECT_EQ(FindOutdatedComponent(c.package, printer), c.outdatedIndex) << c.what;
  }
  EXPECT_EQ(ShouldBurnNandPackage(Package(COMP_PRINT, 99), {}), 0);
}

TEST(NandAcceptance, FilterSwitch) {
  EXPECT_EQ(NandTargetFilterOn(L"", L""), 0);
  EXPECT_EQ(NandTargetFilterOn(nullptr, nullptr), 0);
  EXPECT_EQ(NandTargetFilterOn(L"A", L""), 1);
  EXPECT_EQ(NandTargetFilterOn(L"", L"F"), 1);
  NandPackage p;
  p.enabled = 1;
  p.targetId = "\xc3\xa9t\xc3\xa9";  // non-ASCII: compared byte for byte
  EXPECT_EQ(AcceptNandPackage(p, L"\u00e9t\u00e9", L""), 1);
  EXPECT_EQ(AcceptNandPackage(p, L"\u00c9T\u00c9", L""), 0);
  EXPECT_EQ(AcceptNandPackage(p, L"", L"\u00e9T\u00e9"), 1);
}

namespace {

struct ScriptedQuery {
  std::vector<uint32_t> answers;
  std::string text;
  int calls = 0;
  int nandCalls = 0;
  uint32_t operator()(FirmwareFileInfo* info, std::string* componentText) {
    if (info->fileType == BINTYPE_NAND_PKG) ++nandCalls;
    uint32_t v = calls < static_cast<int>(answers.size()) ? answers[static_cast<size_t>(calls)] : 0;
    ++calls;
    if (v) *componentText = text;
    return v;
  }
};

}  // namespace

TEST(CheckFirmwareVersion, RetriesAndWaits) {
  const std::wstring path = WriteTemp(L"check.bin", fwtest::BuildBin(BinKind::CodeOnly, 4096, 200u));
  struct Case {
    std::vector<uint32_t> answers;
    int result;
    int calls;
    std::vector<uint32_t> sleeps;
  } cases[] = {
      {{150}, VERCHK_FILE_NEWER, 1, {}},
      {{0, 200}, VERCHK_UP_TO_DATE, 2, {1000}},
      {{0, 0, 300}, VERCHK_UP_TO_DATE, 3, {1000, 1000}},
      {{0, 0, 0, 150}, VERCHK_ERROR, 3, {1000, 1000, 1000}},
  };
  for (const Case& c : cases) {
    FakeClock clock;
    LogCapture log;
    auto query = std::make_shared<ScriptedQuery>();
    query->answers = c.answers;
    FirmwareFileInfo info;
    const int r = CheckFirmwareVersion(L"", L"", &info, path.c_str(),
                                       [query](FirmwareFileInfo* i, std::string* t) { return (*query)(i, t); });
    EXPECT_EQ(r, c.result);
    EXPECT_EQ(query->calls, c.calls);
    EXPECT_EQ(clock.Sleeps(), c.sleeps);
    EXPECT_TRUE(fwtest::HasLine(log, "binfileversion=200, fileType=2"));
    EXPECT_EQ(fwtest::HasLine(log, "Failed to get the Firmware Version"), c.result == VERCHK_ERROR);
  }
}

TEST(CheckFirmwareVersion, FileVersionZeroAsksNothing) {
  FakeClock clock;
  int calls = 0;
  auto query = [&calls](FirmwareFileInfo*, std::string*) {
    ++calls;
    return 5u;
  };
  for (const std::vector<uint8_t>& bytes :
       {fwtest::BuildBin(BinKind::Corrupt, 0x10100, 9u), fwtest::BuildBin(BinKind::Tamarack, 4096, 9u),
        fwtest::BuildBin(BinKind::CodeOnly, 4096, 0u)}) {
    const std::wstring path = WriteTemp(L"zero.bin", bytes);
    FirmwareFileInfo info;
    EXPECT_EQ(CheckFirmwareVersion(L"", L"", &info, path.c_str(), query), VERCHK_ERROR);
  }
  FirmwareFileInfo info;
  EXPECT_EQ(CheckFirmwareVersion(L"", L"", &info, fwtest::TempPath(L"absent.bin").c_str(), query), VERCHK_ERROR);
  EXPECT_EQ(calls, 0);
  EXPECT_TRUE(clock.Sleeps().empty());
}

TEST(CheckFirmwareVersion, NandFileAsksForComponents) {
  NandFileLayout layout;
  layout.fileTrailer.version = "3";
  layout.packages.push_back(NandPackageLayout().Type(COMP_PRINT).Target("Q1").Version(8));
  const std::wstring path = WriteTemp(L"checknand.bin", fwtest::BuildNand(layout));
  FakeClock clock;
  LogCapture log;
  auto query = std::make_shared<ScriptedQuery>();
  query->answers = {9999};
  query->text = "print = 7\r\n";
  FirmwareFileInfo info;
  EXPECT_EQ(CheckFirmwareVersion(L"q1", L"", &info, path.c_str(),
                                 [query](FirmwareFileInfo* i, std::string* t) { return (*query)(i, t); }),
            VERCHK_FILE_NEWER);
  EXPECT_EQ(query->nandCalls, 1);
  EXPECT_TRUE(fwtest::HasLine(log, "binfileversion=3, fileType=3"));
  EXPECT_TRUE(fwtest::HasLine(log, "GetFWVersion = 9999"));
  EXPECT_TRUE(fwtest::HasLine(log, "binfile version=3, firmware version=9999"));
  ASSERT_EQ(info.components.size(), 1u);
  EXPECT_EQ(info.components[0].version, 7u);
}
