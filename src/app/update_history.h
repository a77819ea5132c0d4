#pragma once
// The record of updates kept on the computer: one JSON line per update,
// appended to "history.jsonl" in the program's program-data folder, each
// written whole in one call or not at all. When a line would take the file
// past 1 MiB the file becomes "history1.jsonl" (the older ones move up) and a
// new one begins; four generations are kept. Writers share the file: each
// line goes to its end in one write. A reader takes only lines that
// end in a newline: a line cut at a power loss is skipped, never half read.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/report_json.h"
#include "update/fleet_report.h"

constexpr uint64_t HISTORY_ROTATE_BYTES = 1024 * 1024;
constexpr int HISTORY_GENERATIONS = 4;  // history.jsonl and history1..3.jsonl
// At most this much of the end of each file is read: the newest lines.
constexpr uint64_t HISTORY_READ_WINDOW = 16 * 1024 * 1024;

struct HistoryEntry {
  std::wstring time;  // UTC, ISO 8601
  std::wstring computer;
  std::wstring user;
  PrinterReport printer;
  std::wstring programVersion;
};

// The entry as one JSON object: time, computer, user, the printer's record
// as the run report writes it, programVersion.
ReportJson HistoryEntryJson(const HistoryEntry& entry);
// The entry's line, ending in "\n".
std::string HistoryLine(const HistoryEntry& entry);
// False for anything that is not an entry's object.
bool ParseHistoryLine(const std::string& line, HistoryEntry* entry);
// The entries of a file's text, oldest first: every line that ends in a
// newline and is an entry; other lines are skipped.
std::vector<HistoryEntry> ParseHistoryText(const std::string& text);

// The file of `generation` (0 the current one) in `folder`.
std::wstring HistoryPath(const std::wstring& folder, int generation);
// Whether every file of the history in `folder` that exists is fit to use
// (host/data_path.h); the first that is not is logged, and `why` says so.
bool HistoryFilesUsable(const std::wstring& folder, std::wstring* why = nullptr);
// Appends the entry's line, rotating first when it would take the file past
// HISTORY_ROTATE_BYTES (when the current file cannot be moved, it grows on).
// False (logged) when the line could not be written, or a file of the history
// is not fit to use: then nothing is written.
bool AppendHistory(const std::wstring& folder, const HistoryEntry& entry);
// The last `count` entries of all generations, oldest first.
std::vector<HistoryEntry> ReadHistory(const std::wstring& folder, size_t count);
