// BIN classification and version trailer: the file-reading path must agree
// with the in-memory pieces and never read outside the file.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "firmware/firmware_file.h"
#include "host/text_utils.h"
#include "scratch_file.h"

namespace {
uint32_t Le32At(const uint8_t* data, size_t size, size_t offset) {
  if (size < offset + 4) return 0;
  return static_cast<uint32_t>(data[offset]) | (static_cast<uint32_t>(data[offset + 1]) << 8) |
         (static_cast<uint32_t>(data[offset + 2]) << 16) | (static_cast<uint32_t>(data[offset + 3]) << 24);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const uint32_t trailer = BinTrailerVersion(data, size);
  const int32_t expectedType = ClassifyBinMagic(Le32At(data, size, 0), Le32At(data, size, 0x10000));

  if (!WriteFuzzScratch(data, size)) return 0;
  FirmwareFileInfo info;
  int32_t type = 0;
  const uint32_t version = GetBinFileVersion(&info, &type, FromUtf8Static(FuzzScratchPath().c_str()));
  if (type != expectedType) abort();
  if (type == BINTYPE_CORRUPT ? version != 0 : version != trailer) abort();
  if (type != BINTYPE_CORRUPT && info.fileType != type) abort();
  return 0;
}
