#include "update/fleet_report.h"

#include "firmware/firmware_file.h"
#include "firmware/versions.h"
#include "host/file_digest.h"
#include "host/logger.h"
#include "host/text_utils.h"

std::wstring OneLineText(const std::wstring& text) {
  std::wstring out;
  for (wchar_t c : text) {
    if (c == L'\r' || c == L'\n') c = L' ';
    if (c == L' ' && (out.empty() || out.back() == L' ')) continue;
    out += c;
  }
  while (!out.empty() && out.back() == L' ') out.pop_back();
  return out;
}

void AddFileSha256(PrinterReport* report) {
  uint8_t digest[SHA256_SIZE];
  if (report->fileSha256.empty() && !report->file.empty() && Sha256OfFile(report->file.c_str(), digest)) {
    report->fileSha256 = Sha256Hex(digest);
  }
}

PrinterReport WorkerReport(const plist_t& printer, const WorkerResult& result, double seconds) {
  PrinterReport report;
  report.name = printer.printerName;
  report.port = printer.portName;
  report.kind = PortKindName(ClassifyPort(printer.portName.c_str()));
  report.address = result.facts.address;
  report.file = result.chosen.path;
  if (!report.file.empty()) report.fileVersion = FileVersionOf(result.chosen);
  report.versionBefore = PrinterVersionOf(result.facts.before);
  report.versionAfter = PrinterVersionOf(result.facts.after);
  report.outcome = WorkerOutcome(result);
  report.detail = OneLineText(result.outcomeLine);
  report.seconds = seconds;
  AddFileSha256(&report);
  return report;
}

ReportVersion FileVersionOf(const ChosenFirmware& chosen) {
  ReportVersion version;
  if (chosen.fileType != BINTYPE_NAND_PKG) {
    version.known = chosen.fileVersion != 0;
    version.number = chosen.fileVersion;
    return version;
  }
  FirmwareFileBuffer buffer;
  NandPackageFile file;
  if (!buffer.ReadPath(chosen.path) || file.Open(buffer.Data(), buffer.Size()) != NAND_OK) return version;
  for (uint32_t i = 0; i < file.Count(); ++i) {
    NandPackage package;
    if (!file.Package(i, &package) || !AcceptNandPackage(package, chosen.productId, chosen.familyId)) continue;
    version.parts.emplace_back(ComponentTypeName(package.componentType, "unknown"), package.version);
  }
  version.known = !version.parts.empty();
  return version;
}

ReportVersion PrinterVersionOf(const PrinterVersionCheck& check) {
  ReportVersion version;
  if (check.printerVersion == 0) return version;
  version.number = check.printerVersion;
  if (check.printerVersion != PRINTER_VERSION_COMPONENTS) {
    version.known = true;
    return version;
  }
  // 9999 only says that the printer answered per component: without a
  // component named, its version is not known.
  std::vector<ComponentVersion> components;
  if (!check.componentText.empty()) ParseVersionString(&components, check.componentText);
  for (const ComponentVersion& c : components) version.parts.emplace_back(c.name, c.version);
  version.known = !version.parts.empty();
  return version;
}

std::wstring ReportVersionText(const ReportVersion& version) {
  if (!version.known) return L"-";
  if (version.parts.empty()) return std::to_wstring(version.number);
  std::wstring text;
  for (const auto& part : version.parts) {
    if (!text.empty()) text += L",";
    text += FromUtf8Static(part.first.c_str());
    text += L"=" + std::to_wstring(part.second);
  }
  return text;
}

void NoteRfuLeftOn(PrinterReport* printer) {
  if (printer->rfuLeftOn) return;
  printer->rfuLeftOn = true;
  printer->detail += L" The RFU setting could not be switched off again.";
}

void MarkRfuLeftOn(PrinterReport* printer) {
  if (printer->rfuLeftOn) return;
  NoteRfuLeftOn(printer);
  Logger::Instance()->Write(L"Unattended: %ls: the RFU setting could not be switched off again",
                            printer->name.c_str());
}
