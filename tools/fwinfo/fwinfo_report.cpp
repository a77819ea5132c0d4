#include "fwinfo_report.h"

#include <cstdarg>
#include <cstdio>

#include "firmware/firmware_file.h"
#include "firmware/versions.h"
#include "host/file_io.h"
#include "host/text_utils.h"
#include "transport/acl_checksum.h"

namespace {

void Append(std::string* out, const char* format, ...) {
  char line[1024];
  va_list args;
  va_start(args, format);
  vsnprintf(line, sizeof line, format, args);
  va_end(args);
  out->append(line);
}

const char* TypeName(int32_t type) {
  switch (type) {
    case BINTYPE_FULL_PART:
      return "BIN image, full part";
    case BINTYPE_CODE_ONLY:
      return "BIN image, code only";
    case BINTYPE_NAND_PKG:
      return "NAND package file";
    default:
      return "corrupt";
  }
}

// Printable form of a trailer string from the file (control bytes escaped).
std::string Printable(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7F) {
      char hex[8];
      snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out.empty() ? "-" : out;
}

uint32_t LittleEndianAt(const FirmwareFileBuffer& buf, uint64_t offset) {
  if (buf.Size() < offset + 4) return 0;
  const uint8_t* p = buf.Data() + offset;
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

int FwInfoReport(const wchar_t* path, std::string* report, std::string* error) {
  report->clear();
  error->clear();
  const std::string name = ToUtf8Static(path);
  uint64_t size = 0;
  if (!GetFileSizeWide(path, &size)) {
    *error = name + ": cannot open the file";
    return FWINFO_BAD_FILE;
  }
  Append(report, "file      %s\n", name.c_str());
  Append(report, "size      %llu bytes\n", static_cast<unsigned long long>(size));

  FirmwareFileInfo info;
  int32_t type = 0;
  const uint32_t version = GetBinFileVersion(&info, &type, path);
  Append(report, "type      %d (%s)\n", static_cast<int>(type), TypeName(type));

  FirmwareFileBuffer buf;
  if (!buf.ReadPath(path)) {
    *error = name + (size > FIRMWARE_FILE_MAX_SIZE ? ": larger than 4 GiB - 1 bytes" : ": cannot read the file");
    return FWINFO_BAD_FILE;
  }
  if (type == BINTYPE_CORRUPT) {
    char why[160];
    const uint32_t magic = LittleEndianAt(buf, 0);
    if (magic == BIN_MAGIC_TAMARACK) {
      snprintf(why, sizeof why, "corrupt: Tamarack code-only image (not allowed)");
    } else {
      snprintf(why, sizeof why, "corrupt: unknown magic %#x at 0 and %#x at 0x10000", magic,
               LittleEndianAt(buf, BIN_FULL_PART_OFFSET));
    }
    *error = name + ": " + why;
    return FWINFO_BAD_FILE;
  }
  // The version check refuses a file whose trailer gives no version.
  Append(report, version ? "version   %u\n" : "version   %u (no version in the trailer: the version check fails)\n",
         version);
  if (type != BINTYPE_NAND_PKG) {
    Append(report, "checksum  0x%04x\n", AclChecksum16(buf.Data(), static_cast<size_t>(buf.Size())));
    return FWINFO_OK;
  }

  NandPackageFile nand;
  const int opened = nand.Open(buf.Data(), buf.Size());
  if (opened == NAND_OK || opened == NAND_ERR_HEADER_VERSION) {
    Append(report, "header    VERSION %#x, NO REBOOT %s (word %#010x)\n", nand.Header().version,
           nand.Header().noReboot ? "yes" : "no", nand.Header().word);
  }
  if (opened != NAND_OK) {
    *error = name + ": " + ToUtf8Static(nand.ErrorText());
    return FWINFO_BAD_FILE;
  }
  Append(report, "packages  %u\n", nand.Count());
  Append(report, "  no.  offset      size        VERSION  enabled  type          target              version     checksum\n");
  int bad = 0;
  for (uint32_t i = 0; i < nand.Count(); ++i) {
    NandPackage p;
    if (!nand.Package(i, &p)) break;
    char typeText[32];
    snprintf(typeText, sizeof typeText, "%d %s", static_cast<int>(p.componentType), ComponentTypeName(p.componentType, "other"));
    Append(report, "  %03u  0x%08x  %-10u  %-7u  %-7s  %-12s  %-18s  %-10s  0x%04x\n", p.number, p.offset, p.size,
           p.headerVersion, p.enabled ? "yes" : "no", typeText, Printable(p.targetId).c_str(),
           Printable(p.versionText).c_str(), AclChecksum16(p.bytes, p.size));
    if (p.headerVersion != NAND_PACKAGE_HEADER_VERSION && !bad) bad = static_cast<int>(p.number);
  }
  if (bad) {
    char why[96];
    snprintf(why, sizeof why, "ERROR: invalid VERSION in package %03d", bad);
    *error = name + ": " + why;
    return FWINFO_BAD_FILE;
  }
  return FWINFO_OK;
}
