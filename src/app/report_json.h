#pragma once
// One printer's record as JSON, the one writer of the run report and the
// update history, and its reader for the history's lines. Keys in the
// documented order; a value that is not known is null.

#include <nlohmann/json.hpp>
#include <string>

#include "update/fleet_report.h"

using ReportJson = nlohmann::ordered_json;

// Printer names and paths are user text: converted whole, never cut; a lone
// surrogate becomes U+FFFD.
std::string Utf8Text(const std::wstring& text);
std::wstring WideText(const std::string& utf8);

ReportJson PrinterReportJson(const PrinterReport& report);
// The record from an object PrinterReportJson wrote. False when a key is
// missing or of the wrong type, or the outcome is none OutcomeText names;
// never throws.
bool PrinterReportFromJson(const ReportJson& json, PrinterReport* report);

// The document as text: two-space indent or one line (indent < 0). Bytes that
// are no UTF-8 are replaced, never thrown.
std::string ReportJsonText(const ReportJson& json, int indent);
