#include "app/run_report.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "host/file_io.h"
#include "host/logger.h"
#include "host/unique_file.h"

namespace {

// The keys in the documented order, not sorted.
using json = nlohmann::ordered_json;

// Printer names and paths are user text: converted whole, never cut.
std::string Utf8(const std::wstring& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = static_cast<uint32_t>(text[i]);
    if (sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
      const uint32_t low = static_cast<uint32_t>(text[i + 1]);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      }
    }
    if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;  // a lone surrogate is no character
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

json TextOrNull(const std::wstring& text) {
  return text.empty() ? json(nullptr) : json(Utf8(text));
}

// One number, or an object of part name to version (a NAND file's packages,
// a printer's components).
json VersionJson(const ReportVersion& version) {
  if (!version.known) return nullptr;
  if (version.parts.empty()) return version.number;
  json parts = json::object();
  for (const auto& part : version.parts) parts[part.first] = part.second;
  return parts;
}

}  // namespace

std::string RunReportJson(const RunReport& report) {
  json printers = json::array();
  for (const PrinterReport& p : report.printers) {
    printers.push_back({
        {"name", Utf8(p.name)},
        {"port", TextOrNull(p.port)},
        {"kind", TextOrNull(p.kind)},
        {"address", TextOrNull(p.address)},
        {"file", TextOrNull(p.file)},
        {"fileVersion", VersionJson(p.fileVersion)},
        {"versionBefore", VersionJson(p.versionBefore)},
        {"versionAfter", VersionJson(p.versionAfter)},
        {"outcome", Utf8(p.outcome)},
        {"detail", TextOrNull(p.detail)},
        {"seconds", p.seconds},
    });
  }
  json document = {{"exitCode", static_cast<int>(report.exitCode)}, {"printers", printers}};
  // Text from a printer may hold bytes that are no UTF-8: replaced, never thrown.
  return document.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

bool WriteRunReport(const RunReport& report, const std::wstring& path) {
  const std::string text = RunReportJson(report);
  // A deployment tool may read the report at any moment, and a kill or a full
  // disk must not leave half a document: the whole text goes to a file of
  // this process's own beside it, then replaces the report in one step.
  const std::wstring temporary = path + L"." + std::to_wstring(CurrentProcessId()) + L".tmp";
  Logger* log = Logger::Instance();
  {
    UniqueFile file(OpenFileWide(temporary.c_str(), "wb"));
    if (!file) {
      log->WriteError(LastSystemError(), L"Cannot write the report %ls", temporary.c_str());
      return false;
    }
    bool written = fwrite(text.data(), 1, text.size(), file.get()) == text.size() && FlushFileToDisk(file.get());
    // Closed before a removal: an open file cannot be deleted on Windows.
    written = fclose(file.release()) == 0 && written;
    if (!written) {
      log->WriteError(LastSystemError(), L"Cannot write the report %ls", temporary.c_str());
      RemoveFileWide(temporary.c_str());
      return false;
    }
  }
  if (!ReplaceFileWide(temporary.c_str(), path.c_str())) {
    log->WriteError(LastSystemError(), L"Cannot put the report in place as %ls", path.c_str());
    RemoveFileWide(temporary.c_str());
    return false;
  }
  return true;
}
