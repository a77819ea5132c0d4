#include "app/update_history.h"

#include "host/data_path.h"
#include "host/file_io.h"
#include "host/logger.h"
#include "host/unique_file.h"

namespace {

// Longer lines are no entry this program wrote.
constexpr size_t kLineMax = 64 * 1024;

ReportJson TextOrNull(const std::wstring& text) {
  return text.empty() ? ReportJson(nullptr) : ReportJson(Utf8Text(text));
}

bool ReadField(const ReportJson& json, const char* key, std::wstring* out) {
  const auto it = json.find(key);
  if (it == json.end() || !(it->is_string() || it->is_null())) return false;
  *out = it->is_string() ? WideText(it->get_ref<const std::string&>()) : std::wstring();
  return true;
}

// Whether the file is empty or ends in a newline; a file that cannot be read
// counts as ending in one (the append then fails on its own).
bool EndsInNewline(const std::wstring& path) {
  UniqueFile file(OpenFileWide(path.c_str(), "rb"));
  if (!file || SeekFile64(file.get(), -1, SEEK_END) != 0) return true;
  return fgetc(file.get()) == '\n';
}

// Where the current file waits while the older ones move up.
std::wstring RotatingPath(const std::wstring& folder) { return folder + L"history.rotating"; }

// Moves the file waiting under RotatingPath in as generation 1, the older ones
// up one; the oldest goes as the one before it replaces it.
bool ShiftIn(const std::wstring& folder) {
  for (int g = HISTORY_GENERATIONS - 2; g >= 1; --g) {
    const std::wstring from = HistoryPath(folder, g);
    if (FileExistsWide(from.c_str()) && !ReplaceFileWide(from.c_str(), HistoryPath(folder, g + 1).c_str())) {
      Logger::Instance()->WriteError(LastSystemError(), L"Cannot move %ls up: the update history rotates later",
                                     from.c_str());
      return false;
    }
  }
  if (RenameFileWide(RotatingPath(folder).c_str(), HistoryPath(folder, 1).c_str())) return true;
  Logger::Instance()->WriteError(LastSystemError(), L"Cannot move %ls in: the update history rotates later",
                                 RotatingPath(folder).c_str());
  return false;
}

// A reader holding a file open (a listing, an editor) keeps it from moving.
// Nothing else moves until the current file has, and a rotation that cannot
// finish puts it back: no generation goes before its time; the lines go to
// the current file, past its size, until a later update rotates.
bool Rotate(const std::wstring& folder) {
  const std::wstring current = HistoryPath(folder, 0);
  const std::wstring rotating = RotatingPath(folder);
  // A rotation cut short (a power loss) left its file waiting: finished first.
  if (FileExistsWide(rotating.c_str()) && !ShiftIn(folder)) return false;
  if (!RenameFileWide(current.c_str(), rotating.c_str())) {
    Logger::Instance()->WriteError(LastSystemError(), L"Cannot rotate the update history %ls: it grows on",
                                   current.c_str());
    return false;
  }
  if (ShiftIn(folder)) return true;
  RenameFileWide(rotating.c_str(), current.c_str());
  return false;
}

// The last HISTORY_READ_WINDOW bytes of the file; a line the window cuts at
// its start is dropped.
std::string ReadTail(const std::wstring& path) {
  UniqueFile file(OpenFileWide(path.c_str(), "rb"));
  if (!file || SeekFile64(file.get(), 0, SEEK_END) != 0) return std::string();
  const int64_t size = TellFile64(file.get());
  if (size <= 0) return std::string();
  const int64_t start = size > static_cast<int64_t>(HISTORY_READ_WINDOW) ? size - HISTORY_READ_WINDOW : 0;
  if (SeekFile64(file.get(), start, SEEK_SET) != 0) return std::string();
  std::string text(static_cast<size_t>(size - start), '\0');
  text.resize(fread(&text[0], 1, text.size(), file.get()));
  if (start > 0) {
    const size_t first = text.find('\n');
    text.erase(0, first == std::string::npos ? text.size() : first + 1);
  }
  return text;
}

}  // namespace

ReportJson HistoryEntryJson(const HistoryEntry& entry) {
  ReportJson json = {
      {"time", Utf8Text(entry.time)}, {"computer", TextOrNull(entry.computer)}, {"user", TextOrNull(entry.user)}};
  const ReportJson printer = PrinterReportJson(entry.printer);
  for (const auto& item : printer.items()) json[item.key()] = item.value();
  json["programVersion"] = Utf8Text(entry.programVersion);
  return json;
}

std::string HistoryLine(const HistoryEntry& entry) {
  return ReportJsonText(HistoryEntryJson(entry), -1) + "\n";
}

bool ParseHistoryLine(const std::string& line, HistoryEntry* entry) {
  if (line.empty() || line.size() > kLineMax) return false;
  const ReportJson json = ReportJson::parse(line, nullptr, false);
  if (!json.is_object()) return false;
  HistoryEntry e;
  if (!ReadField(json, "time", &e.time) || e.time.empty() || !ReadField(json, "computer", &e.computer) ||
      !ReadField(json, "user", &e.user) || !ReadField(json, "programVersion", &e.programVersion) ||
      !PrinterReportFromJson(json, &e.printer)) {
    return false;
  }
  *entry = e;
  return true;
}

std::vector<HistoryEntry> ParseHistoryText(const std::string& text) {
  std::vector<HistoryEntry> entries;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    size_t length = end - start;
    if (length > 0 && text[end - 1] == '\r') --length;
    HistoryEntry entry;
    if (ParseHistoryLine(text.substr(start, length), &entry)) entries.push_back(entry);
  }
  return entries;
}

std::wstring HistoryPath(const std::wstring& folder, int generation) {
  return folder + L"history" + (generation > 0 ? std::to_wstring(generation) : std::wstring()) + L".jsonl";
}

bool AppendHistory(const std::wstring& folder, const HistoryEntry& entry) {
  const std::wstring path = HistoryPath(folder, 0);
  std::string line = HistoryLine(entry);
  uint64_t size = 0;
  if (!HistoryFilesUsable(folder)) return false;
  const bool full = GetFileSizeWide(path.c_str(), &size) && size > 0 && size + line.size() > HISTORY_ROTATE_BYTES;
  if ((!full || !Rotate(folder)) && !EndsInNewline(path)) {
    // The last line was cut (a power loss): it stays a line of its own.
    line.insert(line.begin(), '\n');
  }
  if (AppendWholeToFile(path.c_str(), line.data(), line.size())) return true;
  Logger::Instance()->WriteError(LastSystemError(), L"Cannot add to the update history %ls", path.c_str());
  return false;
}

bool HistoryFilesUsable(const std::wstring& folder, std::wstring* why) {
  for (int g = 0; g < HISTORY_GENERATIONS; ++g) {
    if (!DataPathUsable(HistoryPath(folder, g), PATH_KIND_FILE, true, why)) return false;
  }
  return DataPathUsable(RotatingPath(folder), PATH_KIND_FILE, true, why);
}

std::vector<HistoryEntry> ReadHistory(const std::wstring& folder, size_t count) {
  std::vector<HistoryEntry> newest;  // newest first
  for (int g = 0; g < HISTORY_GENERATIONS && newest.size() < count; ++g) {
    const std::vector<HistoryEntry> entries = ParseHistoryText(ReadTail(HistoryPath(folder, g)));
    for (auto it = entries.rbegin(); it != entries.rend() && newest.size() < count; ++it) newest.push_back(*it);
  }
  return std::vector<HistoryEntry>(newest.rbegin(), newest.rend());
}
