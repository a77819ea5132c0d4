#pragma once
// Firmware versions: the printer's component version text, the comparison of a
// file with a printer, the NAND package acceptance and burn rules, and the
// version-check sequence every transport runs around its own version query.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "firmware/firmware_file.h"

constexpr int VERCHK_ERROR = -1;
constexpr int VERCHK_UP_TO_DATE = 0;
constexpr int VERCHK_FILE_NEWER = 1;

// Component type codes (also the NAND package component types).
constexpr int32_t COMP_NANDLDR = 2;
constexpr int32_t COMP_PRINT = 3;
constexpr int32_t COMP_BINARY = 4;
constexpr int32_t COMP_KINSET = 5;
constexpr int32_t COMP_NANDBOOT = 6;
constexpr int32_t COMP_UNKNOWN = 999;

// The name a component type is shown with ("NandLDR", "print", "binary",
// "Kinset", "NandBoot"); `other` for any other type.
const char* ComponentTypeName(int32_t type, const char* other);

// The printer version a transport reports when it asked for component versions.
constexpr uint32_t PRINTER_VERSION_COMPONENTS = 9999;

// Waits of the version check.
constexpr int VERSION_QUERY_ATTEMPTS = 3;
constexpr uint32_t VERSION_QUERY_RETRY_MS = 1000;

// Component type of a name in the component version text (ASCII case folded).
int32_t ComponentTypeFromName(const std::string& name);

// Replaces `components` with the lines of the printer's component version text
// ("name  = 12" CR LF per line). The text ends at its size or at a NUL.
void ParseVersionString(std::vector<ComponentVersion>* components, const std::string& text);

// Compares the file with the printer: VERCHK_FILE_NEWER, VERCHK_UP_TO_DATE or
// VERCHK_ERROR. For a NAND file the printer version must be 9999 and the
// component text is parsed into info->components (kept even when the
// comparison fails later); a NAND file that cannot be read and walked is
// VERCHK_ERROR. Empty Product ID and family ID turn the target filter off.
int CompareVersions(const wchar_t* productId, FirmwareFileInfo* info, const wchar_t* filePath,
                    uint32_t printerVersion, std::string componentText, const wchar_t* familyId);

// 1 when the target filter applies: Product ID or family ID is non-empty.
int NandTargetFilterOn(const wchar_t* productId, const wchar_t* familyId);
// Acceptance of one NAND package, shared by the check and the burns: rejected
// (0) when its enabled flag is 0, or when the filter is on and its target ID
// equals neither ID (ASCII case folded). A rejected package is logged
// "--Reject NAND package %03d: %s, %s" here.
int AcceptNandPackage(const NandPackage& package, const wchar_t* productId, const wchar_t* familyId);
// The out-of-date test of the check: the first component of the package's type
// with a lower version, loader components (2, 6) skipped. Returns its index in
// `components`, or -1.
int FindOutdatedComponent(const NandPackage& package, const std::vector<ComponentVersion>& components);
// Burn selection for one accepted package: 1 when the printer reports a
// component of the package's type with a lower version, or reports the
// package's type and that type is a loader (2, 6); otherwise 0 (nothing is
// logged; each burn writes its own "up to date" line).
int ShouldBurnNandPackage(const NandPackage& package, const std::vector<ComponentVersion>& components);

// A transport's version query: the printer's version (0 on failure); when
// info->fileType is BINTYPE_NAND_PKG it asks for component versions, returns
// 9999 and fills componentText.
using FirmwareVersionQuery = std::function<uint32_t(FirmwareFileInfo* info, std::string* componentText)>;

// The common version check (after the transport's own first log line and
// handle test): classifies the file, asks the printer up to 3 times with a
// 1000 ms wait after each failed question, and compares.
int CheckFirmwareVersion(const wchar_t* productId, const wchar_t* familyId, FirmwareFileInfo* info,
                         const wchar_t* filePath, const FirmwareVersionQuery& query);
