#pragma once
// The report fwinfo prints for one firmware file.

#include <string>

constexpr int FWINFO_OK = 0;
constexpr int FWINFO_BAD_FILE = 1;  // unreadable, corrupt or out of bounds
constexpr int FWINFO_USAGE = 2;

// Fills `report` (UTF-8 text, one item per line) and, for a file that cannot
// be used, `error` (one line). Returns FWINFO_OK or FWINFO_BAD_FILE; the report
// holds what could be read before the error.
int FwInfoReport(const wchar_t* path, std::string* report, std::string* error);
