#include "firmware/versions.h"

#include <cstring>
#include <cwchar>

#include "host/clock.h"
#include "host/file_io.h"
#include "host/unique_file.h"
#include "host/logger.h"
#include "host/text_utils.h"

namespace {

constexpr size_t kPathMax = 260;
constexpr size_t kVersionInfoMax = 4096;
constexpr size_t kNameMax = 256;
// Component version text and identifiers are narrow; the ids are wide paths'
// cousins, bounded like every name.
constexpr size_t kIdUtf8Max = 1024;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsFolded(const char* a, size_t aLen, const char* b, size_t bLen) {
  if (aLen != bLen) return false;
  for (size_t i = 0; i < aLen; ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

// Narrow (UTF-8) text into a wide buffer for the log.
void Widen(const std::string& text, wchar_t* out, size_t outSize) {
  Utf8ToWide(text.data(), strnlen(text.c_str(), text.size()), out, outSize);
}

bool IsLoader(int32_t type) { return type == COMP_NANDLDR || type == COMP_NANDBOOT; }

}  // namespace

int32_t ComponentTypeFromName(const std::string& name) {
  static const struct {
    const char* name;
    int32_t type;
  } kNames[] = {{"print", COMP_PRINT},
                {"binary", COMP_BINARY},
                {"Kinset", COMP_KINSET},
                {"NandLDR", COMP_NANDLDR},
                {"NandBoot", COMP_NANDBOOT}};
  for (const auto& n : kNames) {
    if (EqualsFolded(name.data(), name.size(), n.name, strlen(n.name))) return n.type;
  }
  return COMP_UNKNOWN;
}

void ParseVersionString(std::vector<ComponentVersion>* components, const std::string& text) {
  Logger* log = Logger::Instance();
  log->Write(L"ParseVersionString");
  {
    static thread_local wchar_t wide[kVersionInfoMax];
    Widen(text, wide, kVersionInfoMax);
    log->Write(L"version Info: %ls", wide);
  }
  if (!components) return;
  components->clear();

  // The text ends at its first NUL, as the printer's answer is a C string.
  const char* s = text.c_str();
  const size_t end = strnlen(s, text.size());
  size_t p = 0;
  for (;;) {
    while (p < end && IsBlank(s[p])) ++p;
    const size_t nameStart = p;
    while (p < end && !IsBlank(s[p])) ++p;
    if (p >= end) break;  // name cut off by the end of the text
    const size_t nameEnd = p;
    while (p < end && IsBlank(s[p])) ++p;
    if (p >= end || s[p] != '=') break;
    ++p;
    while (p < end && IsBlank(s[p])) ++p;
    const size_t valueStart = p;
    while (p < end && s[p] != '\r') ++p;
    if (p >= end) break;  // value without its CR
    const size_t valueEnd = p;
    ++p;
    if (p < end && s[p] == '\n') ++p;

    ComponentVersion c;
    c.name.assign(s + nameStart, nameEnd - nameStart);
    c.type = ComponentTypeFromName(c.name);
    uint32_t v = 0;
    c.version = ScanDecimal32(s + valueStart, valueEnd - valueStart, &v) ? v : 0;
    components->push_back(std::move(c));
    if (p >= end) break;
  }
}

int NandTargetFilterOn(const wchar_t* productId, const wchar_t* familyId) {
  const bool productEmpty = !productId || !*productId;
  const bool familyEmpty = !familyId || !*familyId;
  return (productEmpty && familyEmpty) ? 0 : 1;
}

int AcceptNandPackage(const NandPackage& package, const wchar_t* productId, const wchar_t* familyId) {
  bool accepted = package.enabled != 0;
  if (accepted && NandTargetFilterOn(productId, familyId)) {
    char product[kIdUtf8Max];
    char family[kIdUtf8Max];
    ToUtf8(productId ? productId : L"", product, sizeof product);
    ToUtf8(familyId ? familyId : L"", family, sizeof family);
    const std::string& t = package.targetId;
    accepted = EqualsFolded(t.data(), t.size(), product, strlen(product)) ||
               EqualsFolded(t.data(), t.size(), family, strlen(family));
  }
  if (!accepted) {
    wchar_t version[kNameMax];
    wchar_t target[kNameMax];
    Widen(package.versionText, version, kNameMax);
    Widen(package.targetId, target, kNameMax);
    Logger::Instance()->Write(L"--Reject NAND package %03d: %ls, %ls", static_cast<int>(package.number), version,
                              target);
  }
  return accepted ? 1 : 0;
}

int FindOutdatedComponent(const NandPackage& package, const std::vector<ComponentVersion>& components) {
  for (size_t i = 0; i < components.size(); ++i) {
    const ComponentVersion& c = components[i];
    if (IsLoader(c.type)) continue;
    if (c.type == package.componentType && c.version < package.version) return static_cast<int>(i);
  }
  return -1;
}

int ShouldBurnNandPackage(const NandPackage& package, const std::vector<ComponentVersion>& components) {
  for (const ComponentVersion& c : components) {
    if (c.type != package.componentType) continue;
    if (c.version < package.version || IsLoader(c.type)) return 1;
  }
  return 0;
}

int CompareVersions(const wchar_t* productId, FirmwareFileInfo* info, const wchar_t* filePath,
                    uint32_t printerVersion, std::string componentText, const wchar_t* familyId) {
  Logger* log = Logger::Instance();
  log->Write(L"CompareVersions()...");
  wchar_t path[kPathMax];
  CopyText(path, kPathMax, filePath ? filePath : L"");
  SetFileAttributesNormal(path);

  FirmwareFileInfo scratch;
  if (!info) info = &scratch;
  int32_t fileType = 0;
  const uint32_t fileVersion = GetBinFileVersion(info, &fileType, path);

  if (fileType != BINTYPE_NAND_PKG) {
    if (printerVersion < fileVersion) {
      log->Write(L"Binfile Version is newer than firmware version");
      return VERCHK_FILE_NEWER;
    }
    log->Write(L"--- Firmware version is newest ---");
    return VERCHK_UP_TO_DATE;
  }

  if (printerVersion != PRINTER_VERSION_COMPONENTS) {
    log->Write(L"ERROR: Firmware type does not match firmware file type");
    return VERCHK_ERROR;
  }
  ParseVersionString(&info->components, componentText);

  UniqueFile file(OpenFileWide(path, "rb"));
  if (!file) {
    log->WriteError(LastSystemError(), L"Failed to Open fw bin file");
    return VERCHK_ERROR;
  }
  const wchar_t* product = productId ? productId : L"";
  const wchar_t* family = familyId ? familyId : L"";

  // A file that cannot be read, or not as a package file, says nothing about
  // the printer: "current" would keep a printer from its update, and with /f
  // let nothing written pass as current.
  FirmwareFileBuffer buffer;
  const int read = buffer.ReadAll(file.get(), L"malloc", L"ReadFile");
  file.reset();
  if (!read) return VERCHK_ERROR;

  NandPackageFile nand;
  const int opened = nand.Open(buffer.Data(), buffer.Size());
  if (opened == NAND_ERR_MAGIC || opened == NAND_ERR_BOUNDS) {
    log->Write(L"%ls", nand.ErrorText());
    return VERCHK_ERROR;
  }
  if (nand.Header().version == NAND_HEADER_VERSION) log->Write(L"NAND PKG of %d", static_cast<int>(nand.Count()));
  {
    wchar_t p[kNameMax];
    wchar_t fam[kNameMax];
    CopyText(p, kNameMax, product);
    CopyText(fam, kNameMax, family);
    log->Write(L"Product ID='%ls', familyID='%ls'.", p, fam);
  }
  if (opened == NAND_ERR_HEADER_VERSION) {
    log->Write(L"ERROR: invalid VERSION %d", static_cast<int>(nand.Header().version));
    return VERCHK_FILE_NEWER;
  }

  bool newer = false;
  for (uint32_t i = 0; i < nand.Count() && !newer; ++i) {
    NandPackage pkg;
    if (!nand.Package(i, &pkg)) break;
    if (pkg.headerVersion != NAND_PACKAGE_HEADER_VERSION) {
      log->Write(L"ERROR: invalid VERSION %d", static_cast<int>(pkg.headerVersion));
      return VERCHK_FILE_NEWER;
    }
    if (!AcceptNandPackage(pkg, product, family)) continue;
    const int found = FindOutdatedComponent(pkg, info->components);
    if (found >= 0) {
      const ComponentVersion& c = info->components[static_cast<size_t>(found)];
      wchar_t target[kNameMax];
      wchar_t name[kNameMax];
      Widen(pkg.targetId, target, kNameMax);
      Widen(c.name, name, kNameMax);
      log->Write(L"--Found a NAND fw package out of date.");
      log->Write(L"  NAND package %03d: %ls", static_cast<int>(pkg.number), target);
      log->Write(L"   %ls - fw ver:%d, file ver:%d", name, static_cast<int>(c.version), static_cast<int>(pkg.version));
      newer = true;
    } else {
      log->Write(L" NAND package %03d is up to date.", static_cast<int>(pkg.number));
    }
  }
  if (newer) {
    log->Write(L"Binfile Version is newer than firmware version");
    return VERCHK_FILE_NEWER;
  }
  log->Write(L"--- Firmware version is newest ---");
  return VERCHK_UP_TO_DATE;
}

int CheckFirmwareVersion(const wchar_t* productId, const wchar_t* familyId, FirmwareFileInfo* info,
                         const wchar_t* filePath, const FirmwareVersionQuery& query) {
  Logger* log = Logger::Instance();
  wchar_t path[kPathMax];
  CopyText(path, kPathMax, filePath ? filePath : L"");
  SetFileAttributesNormal(path);
  FirmwareFileInfo scratch;
  if (!info) info = &scratch;
  int32_t fileType = 0;
  const uint32_t fileVersion = GetBinFileVersion(info, &fileType, path);
  log->Write(L"binfileversion=%d, fileType=%d", static_cast<int>(fileVersion), static_cast<int>(fileType));
  if (fileVersion == 0) return VERCHK_ERROR;

  std::string componentText;
  uint32_t printerVersion = 0;
  for (int attempt = 0; attempt < VERSION_QUERY_ATTEMPTS; ++attempt) {
    componentText.clear();
    printerVersion = query ? query(info, &componentText) : 0;
    log->Write(L"GetFWVersion = %d", static_cast<int>(printerVersion));
    if (printerVersion != 0) break;
    SleepMs(VERSION_QUERY_RETRY_MS);
  }
  log->Write(L"binfile version=%d, firmware version=%d", static_cast<int>(fileVersion),
             static_cast<int>(printerVersion));
  info->printerVersion = printerVersion;
  info->printerComponents = componentText;
  if (printerVersion == 0) {
    log->Write(L"Failed to get the Firmware Version");
    return VERCHK_ERROR;
  }
  return CompareVersions(productId, info, path, printerVersion, componentText, familyId);
}

const char* ComponentTypeName(int32_t type, const char* other) {
  switch (type) {
    case COMP_NANDLDR:
      return "NandLDR";
    case COMP_PRINT:
      return "print";
    case COMP_BINARY:
      return "binary";
    case COMP_KINSET:
      return "Kinset";
    case COMP_NANDBOOT:
      return "NandBoot";
    default:
      return other;
  }
}
