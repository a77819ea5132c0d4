// NAND package walk over arbitrary bytes: every package handed out lies inside
// the buffer (summed byte by byte under ASan), and the comparison and burn
// rules run on whatever the walk yields.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "firmware/firmware_file.h"
#include "firmware/versions.h"
#include "host/text_utils.h"
#include "scratch_file.h"
#include "transport/acl_checksum.h"

namespace {
// The whole comparison, file read included, on the same bytes.
void CompareThroughFile(const uint8_t* data, size_t size) {
  if (!WriteFuzzScratch(data, size)) return;
  FirmwareFileInfo info;
  const int r = CompareVersions(L"ABC", &info, FromUtf8Static(FuzzScratchPath().c_str()), 9999, "print = 100\r\nbinary = 5\r\n", L"");
  if (r < VERCHK_ERROR || r > VERCHK_FILE_NEWER) abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::vector<ComponentVersion> printer = {
      {"print", COMP_PRINT, 100}, {"binary", COMP_BINARY, 5}, {"NandLDR", COMP_NANDLDR, 1}, {"x", COMP_UNKNOWN, 7}};
  NandPackageFile nand;
  const int opened = nand.Open(data, size);
  // The comparison opens the same bytes the same way: past a failed magic or
  // bound it has nothing more to do than the walk (and reading a BIN through a
  // file is bin_file's), and the file round trip is most of a run's time.
  if (opened != NAND_ERR_MAGIC && opened != NAND_ERR_BOUNDS) CompareThroughFile(data, size);
  if (opened != NAND_OK) {
    NandPackage p;
    if (nand.Package(0, &p)) abort();
    return 0;
  }
  for (uint32_t i = 0; i < nand.Count(); ++i) {
    NandPackage p;
    if (!nand.Package(i, &p)) abort();
    if (p.bytes < data || p.size > size || p.bytes + p.size > data + size) abort();
    AclChecksum16(p.bytes, p.size);
    const int accepted = AcceptNandPackage(p, i % 2 ? L"ABC" : L"", L"");
    if (accepted) {
      const int burn = ShouldBurnNandPackage(p, printer);
      const int outdated = FindOutdatedComponent(p, printer);
      // What the check counts as out of date the burn always burns.
      if (outdated >= 0 && !burn) abort();
    }
  }
  return 0;
}
