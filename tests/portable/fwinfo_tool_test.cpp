// Runs the fwinfo program on generated files and checks its report and exit
// status.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "firmware/versions.h"
#include "host/text_utils.h"
#include "transport/acl_checksum.h"
#include "support/firmware_builder.h"
#include "support/test_env.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

using fwtest::BinKind;
using fwtest::NandFileLayout;
using fwtest::NandPackageLayout;

namespace {

struct ToolRun {
  int status = -1;
  std::string out;  // stdout and stderr
};

std::wstring ToolPath() {
#ifdef _WIN32
  return fwtest::BinaryPath(L"tools/fwinfo/fwinfo.exe");
#else
  return fwtest::BinaryPath(L"tools/fwinfo/fwinfo");
#endif
}

ToolRun RunTool(const std::wstring& file) {
  ToolRun run;
  const std::wstring command = L"\"" + ToolPath() + L"\" \"" + file + L"\" 2>&1";
#ifdef _WIN32
  // cmd.exe strips the outer quotes of a command line that starts with one.
  FILE* p = _wpopen((L"\"" + command + L"\"").c_str(), L"rb");
#else
  FILE* p = popen(ToUtf8Static(command.c_str()), "r");
#endif
  if (!p) return run;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) run.out.append(buf, n);
#ifdef _WIN32
  run.status = _pclose(p);
#else
  const int raw = pclose(p);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
  std::string unix;
  for (char c : run.out) {
    if (c != '\r') unix += c;
  }
  run.out = unix;
  return run;
}

std::wstring Write(const wchar_t* name, const std::vector<uint8_t>& bytes) {
  const std::wstring path = fwtest::TempPath(name);
  EXPECT_EQ(fwtest::WriteFileBytes(path, bytes), 1);
  return path;
}

bool Has(const ToolRun& run, const std::string& part) { return run.out.find(part) != std::string::npos; }

}  // namespace

TEST(FwInfoTool, BinFiles) {
  struct Case {
    BinKind kind;
    int status;
    const char* line;
  } cases[] = {
      {BinKind::CodeOnly, 0, "type      2 (BIN image, code only)\nversion   31337\nchecksum  0x"},
      {BinKind::FullPart, 0, "type      1 (BIN image, full part)\nversion   31337\nchecksum  0x"},
      {BinKind::Tamarack, 1, "corrupt: Tamarack code-only image (not allowed)"},
      {BinKind::Corrupt, 1, "corrupt: unknown magic 0xdeadbeef at 0 and 0xdeadbeef at 0x10000"},
  };
  for (const Case& c : cases) {
    ToolRun run = RunTool(Write(L"tool.bin", fwtest::BuildBin(c.kind, 0x10100, 31337u)));
    EXPECT_EQ(run.status, c.status) << run.out;
    EXPECT_TRUE(Has(run, c.line)) << run.out;
    EXPECT_TRUE(Has(run, "size      65792 bytes")) << run.out;
  }
  // The checksum is the one the burn sends for the whole file.
  std::vector<uint8_t> bytes = fwtest::BuildBin(BinKind::CodeOnly, 1001, 9u);
  ToolRun run = RunTool(Write(L"sum.bin", bytes));
  EXPECT_EQ(run.status, 0);
  char sum[64];
  snprintf(sum, sizeof sum, "version   9\nchecksum  0x%04x\n", AclChecksum16(bytes.data(), bytes.size()));
  EXPECT_TRUE(Has(run, sum)) << run.out;

  ToolRun missing = RunTool(fwtest::TempPath(L"no-such-file.bin"));
  EXPECT_EQ(missing.status, 1);
  EXPECT_TRUE(Has(missing, "cannot open the file")) << missing.out;
}

TEST(FwInfoTool, NandFile) {
  NandFileLayout layout;
  layout.noReboot = true;
  layout.packages.push_back(NandPackageLayout().Type(COMP_PRINT).Target("QV-1").Version(120));
  layout.packages.push_back(NandPackageLayout().Type(COMP_NANDBOOT).Target("").Version(7).Enabled(0));
  ToolRun run = RunTool(Write(L"tool-nand.bin", fwtest::BuildNand(layout)));
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_TRUE(Has(run, "header    VERSION 0x81, NO REBOOT yes (word 0x80000081)\npackages  2\n")) << run.out;
  EXPECT_TRUE(Has(run, "  002  0x00000024  107         2        yes      3 print       QV-1                120")) << run.out;
  std::vector<fwtest::NandPackageLocation> where;
  std::vector<uint8_t> bytes = fwtest::BuildNand(layout, &where);
  char sum[32];
  snprintf(sum, sizeof sum, "0x%04x\n", AclChecksum16(bytes.data() + where[1].offset, where[1].size));
  EXPECT_TRUE(Has(run, std::string("7           ") + sum)) << run.out;
  EXPECT_TRUE(Has(run, "  001  0x0000008f  101         2        no       6 NandBoot    -                   7")) << run.out;

  fwtest::PutBe32(&bytes, where[1].tableEntry, 0xFFFFFF00u);
  ToolRun bad = RunTool(Write(L"tool-oob.bin", bytes));
  EXPECT_EQ(bad.status, 1);
  EXPECT_TRUE(Has(bad, "ERROR: This is not a Nand flash bin file (package 001 at 0xffffff00")) << bad.out;
}
