#pragma once
// /history[:N]: the last N updates of the computer's history as a table, and
// as one JSON document for /report ({"history": [entry, ...]}, oldest first).

#include <string>
#include <vector>

#include "app/update_history.h"

constexpr int HISTORY_LIST_DEFAULT = 20;

// The table, lines ending in "\r\n"; a line saying so when there is none.
std::wstring HistoryTable(const std::vector<HistoryEntry>& entries);
// The document as UTF-8 text.
std::string HistoryJson(const std::vector<HistoryEntry>& entries);
