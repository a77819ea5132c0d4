// fwgen <set> <outdir>: writes sample files of one set into outdir.
//   bin         BIN images of every kind and trailer variant
//   nand        NAND package files, valid and broken
//   components  printer component version texts
//   all         all of the above
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/text_utils.h"
#include "support/firmware_builder.h"

using namespace fwtest;

namespace {

std::wstring g_dir;

bool Put(const char* name, const std::vector<uint8_t>& bytes) {
  std::wstring path = g_dir + L"/" + FromUtf8Static(name);
  if (!WriteFileBytes(path, bytes)) {
    fprintf(stderr, "fwgen: cannot write %s\n", name);
    return false;
  }
  return true;
}

bool Text(const char* name, const std::string& text) { return Put(name, std::vector<uint8_t>(text.begin(), text.end())); }

bool WriteBins() {
  bool ok = true;
  ok &= Put("code-only.bin", BuildBin(BinKind::CodeOnly, 4096, 1234u));
  ok &= Put("full-part.bin", BuildBin(BinKind::FullPart, 0x10400, 20230115u));
  ok &= Put("tamarack.bin", BuildBin(BinKind::Tamarack, 2048, 77u));
  ok &= Put("corrupt.bin", BuildBin(BinKind::Corrupt, 0x10400, 5u));
  std::vector<uint8_t> ten = BuildBin(BinKind::CodeOnly, 64, BinTrailer{"ABC", "1234", -1});
  ok &= Put("trailer-ten-bytes.bin", ten);
  ok &= Put("trailer-len-0.bin", BuildBin(BinKind::CodeOnly, 64, BinTrailer{"A", "9", 0}));
  ok &= Put("trailer-len-200.bin", BuildBin(BinKind::CodeOnly, 64, BinTrailer{"A", "9", 200}));
  ok &= Put("trailer-len-beyond-file.bin", BuildBin(BinKind::CodeOnly, 16, BinTrailer{"A", "9", 100}));
  ok &= Put("trailer-label-40.bin", BuildBin(BinKind::CodeOnly, 256, BinTrailer{std::string(40, 'L'), "5", -1}));
  ok &= Put("short.bin", {0xAA, 0x55, 0x41});
  return ok;
}

NandFileLayout ThreePackages() {
  NandFileLayout layout;
  layout.packages.push_back(NandPackageLayout().Type(3).Target("QV-1").Version(120));
  layout.packages.push_back(NandPackageLayout().Type(4).Target("QVFAM").Version(7));
  layout.packages.push_back(NandPackageLayout().Type(2).Target("").Version(3));
  return layout;
}

bool WriteNands() {
  bool ok = true;
  NandFileLayout layout = ThreePackages();
  ok &= Put("nand-3.bin", BuildNand(layout));
  layout.noReboot = true;
  layout.packages[1].enabled = 0;
  ok &= Put("nand-noreboot.bin", BuildNand(layout));
  NandFileLayout kinds;
  for (int32_t type : {2, 3, 4, 5, 6, 999}) kinds.packages.push_back(NandPackageLayout().Type(type).Version(10 + type));
  ok &= Put("nand-all-types.bin", BuildNand(kinds));
  ok &= Put("nand-empty.bin", BuildNand(NandFileLayout()));
  NandFileLayout badHeader = ThreePackages();
  badHeader.headerVersion = 0x80;
  ok &= Put("nand-header-version.bin", BuildNand(badHeader));
  NandFileLayout badPackage = ThreePackages();
  badPackage.packages[1].headerVersion = 3;
  ok &= Put("nand-package-version.bin", BuildNand(badPackage));
  std::vector<NandPackageLocation> where;
  std::vector<uint8_t> oob = BuildNand(ThreePackages(), &where);
  PutBe32(&oob, where[2].tableEntry + 4, 0x10000);
  ok &= Put("nand-package-outside.bin", oob);
  NandFileLayout count = ThreePackages();
  count.countOverride = 1000;
  ok &= Put("nand-count-beyond-table.bin", BuildNand(count));
  NandFileLayout trailer = ThreePackages();
  trailer.packages[0].trailerLengthOverride = 0x80;
  ok &= Put("nand-trailer-outside.bin", BuildNand(trailer));
  return ok;
}

bool WriteComponents() {
  bool ok = true;
  ok &= Text("components-all.txt",
             "print  = 12\r\nbinary  = 7\r\nKinset  = 3\r\nNandLDR  = 1\r\nNandBoot  = 2\r\nfont  = 9\r\n");
  ok &= Text("components-no-blanks.txt", "print=3\r\n");
  ok &= Text("components-cut.txt", "print = 1\r\nbinary = 2");
  ok &= Text("components-odd.txt", "  PRINT\t=\t-5\r\nbinary = x\rKinset = 4294967295\r\n");
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    fputs("usage: fwgen bin|nand|components|all <outdir>\n", stderr);
    return 2;
  }
  g_dir = FromUtf8Static(argv[2]);
  const std::string set = argv[1];
  bool ok = true;
  if (set == "bin" || set == "all") ok &= WriteBins();
  if (set == "nand" || set == "all") ok &= WriteNands();
  if (set == "components" || set == "all") ok &= WriteComponents();
  if (set != "bin" && set != "nand" && set != "components" && set != "all") {
    fprintf(stderr, "fwgen: unknown set %s\n", set.c_str());
    return 2;
  }
  return ok ? 0 : 1;
}
