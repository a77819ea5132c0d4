#include "app/report_json.h"

#include <vector>

#include "host/text_utils.h"

std::string Utf8Text(const std::wstring& text) {
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
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = 0xFFFD;  // no character
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

std::wstring WideText(const std::string& utf8) {
  // A UTF-8 byte never gives more than one UTF-16 unit on average, a surrogate
  // pair takes four bytes.
  std::vector<wchar_t> wide(utf8.size() + 1);
  const size_t count = Utf8ToWide(utf8.data(), utf8.size(), wide.data(), wide.size());
  return std::wstring(wide.data(), count);
}

namespace {

ReportJson TextOrNull(const std::wstring& text) {
  return text.empty() ? ReportJson(nullptr) : ReportJson(Utf8Text(text));
}

// One number, or an object of part name to version (a NAND file's packages,
// a printer's components).
ReportJson VersionJson(const ReportVersion& version) {
  if (!version.known) return nullptr;
  if (version.parts.empty()) return version.number;
  ReportJson parts = ReportJson::object();
  for (const auto& part : version.parts) parts[part.first] = part.second;
  return parts;
}

bool IsVersionNumber(const ReportJson& value) {
  return value.is_number_unsigned() && value.get<uint64_t>() <= 0xFFFFFFFFu;
}

bool ReadText(const ReportJson& json, const char* key, bool nullable, std::wstring* out) {
  const auto it = json.find(key);
  if (it == json.end()) return false;
  if (it->is_null() && nullable) {
    out->clear();
    return true;
  }
  if (!it->is_string()) return false;
  *out = WideText(it->get_ref<const std::string&>());
  return true;
}

bool ReadVersion(const ReportJson& json, const char* key, ReportVersion* out) {
  const auto it = json.find(key);
  if (it == json.end()) return false;
  *out = ReportVersion();
  if (it->is_null()) return true;
  if (IsVersionNumber(*it)) {
    out->known = true;
    out->number = it->get<uint32_t>();
    return true;
  }
  if (!it->is_object() || it->empty()) return false;
  for (const auto& part : it->items()) {
    if (!IsVersionNumber(part.value())) return false;
    out->parts.emplace_back(part.key(), part.value().get<uint32_t>());
  }
  out->known = true;
  return true;
}

}  // namespace

ReportJson PrinterReportJson(const PrinterReport& p) {
  return {
      {"name", Utf8Text(p.name)},
      {"port", TextOrNull(p.port)},
      {"kind", TextOrNull(p.kind)},
      {"address", TextOrNull(p.address)},
      {"file", TextOrNull(p.file)},
      {"fileSha256", TextOrNull(p.fileSha256)},
      {"fileVersion", VersionJson(p.fileVersion)},
      {"versionBefore", VersionJson(p.versionBefore)},
      {"versionAfter", VersionJson(p.versionAfter)},
      {"outcome", Utf8Text(OutcomeText(p.outcome))},
      {"detail", TextOrNull(p.detail)},
      {"seconds", p.seconds},
  };
}

bool PrinterReportFromJson(const ReportJson& json, PrinterReport* report) {
  if (!json.is_object()) return false;
  PrinterReport r;
  std::wstring outcome;
  const auto seconds = json.find("seconds");
  if (!ReadText(json, "name", false, &r.name) || !ReadText(json, "port", true, &r.port) ||
      !ReadText(json, "kind", true, &r.kind) || !ReadText(json, "address", true, &r.address) ||
      !ReadText(json, "file", true, &r.file) || !ReadText(json, "fileSha256", true, &r.fileSha256) ||
      !ReadVersion(json, "fileVersion", &r.fileVersion) || !ReadVersion(json, "versionBefore", &r.versionBefore) ||
      !ReadVersion(json, "versionAfter", &r.versionAfter) || !ReadText(json, "outcome", false, &outcome) ||
      !OutcomeOfText(outcome, &r.outcome) || !ReadText(json, "detail", true, &r.detail) || seconds == json.end() ||
      !seconds->is_number()) {
    return false;
  }
  r.seconds = seconds->get<double>();
  *report = r;
  return true;
}

std::string ReportJsonText(const ReportJson& json, int indent) {
  return json.dump(indent, ' ', false, ReportJson::error_handler_t::replace);
}
