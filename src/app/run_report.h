#pragma once
// The machine-readable report of an unattended run: one JSON document,
// {"exitCode": N, "printers": [...]}, UTF-8. A value not known is null.

#include <string>

#include "app/unattended_run.h"

// The document as UTF-8 text.
std::string RunReportJson(const RunReport& report);
// Writes it to `path` whole or not at all (WriteReportFile).
bool WriteRunReport(const RunReport& report, const std::wstring& path);
// Writes a report's text (the run's, or the history's) to `path` whole or not
// at all (a temporary file beside it, renamed over it); false (logged) when
// it cannot be written.
bool WriteReportFile(const std::string& text, const std::wstring& path);
