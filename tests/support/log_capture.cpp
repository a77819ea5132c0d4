#include "support/log_capture.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

#include "host/text_utils.h"

namespace fs = std::filesystem;

namespace {
std::mutex g_mutex;
std::vector<std::wstring> g_debugLines;
std::vector<CapturedBox> g_boxes;
std::atomic<int> g_answer{1};
std::atomic<unsigned> g_counter{0};

void DebugSink(const wchar_t* line) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_debugLines.emplace_back(line);
}

int BoxHook(const wchar_t* text, const wchar_t* caption, uint32_t flags) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_boxes.push_back({text ? text : L"", caption ? caption : L"", flags});
  return g_answer.load();
}

std::wstring Decode(const std::string& bytes) {
  std::vector<wchar_t> wide(bytes.size() + 1);
  size_t n = Utf8ToWide(bytes.data(), bytes.size(), wide.data(), wide.size());
  return std::wstring(wide.data(), n);
}

bool IsDigitOrBlank(wchar_t c) { return c == L' ' || (c >= L'0' && c <= L'9'); }

// Length of "[mm-dd-yyyy hh:mm:ss:mmm]- " at the start of `line`, 0 if absent.
size_t StampLength(const std::wstring& line) {
  if (line.size() < 27 || line[0] != L'[') return 0;
  size_t close = line.find(L"]- ");
  if (close == std::wstring::npos || close < 24) return 0;
  for (size_t i = 1; i < close; ++i) {
    wchar_t c = line[i];
    if (!IsDigitOrBlank(c) && c != L'-' && c != L':') return 0;
  }
  return close + 3;
}
}  // namespace

LogCapture::LogCapture() {
  Logger* log = Logger::Instance();
  m_previousPath = log->LogFilePath();
  std::error_code ec;
  fs::path base = fs::temp_directory_path(ec);
  if (ec) base = fs::current_path();
  // Process id is not portable here; a clock reading and a counter keep
  // parallel test processes apart.
  unsigned long long stamp =
      static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
  fs::path dir;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::wostringstream name;
    name << L"tideway-log-" << stamp << L"-" << g_counter.fetch_add(1) << L"-" << attempt;
    dir = base / name.str();
    if (fs::create_directory(dir, ec)) break;
  }
  m_dir = dir.wstring();
  m_path = (dir / L"capture.log").wstring();
  log->SetLogFilePathForTesting(m_path.c_str());
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_debugLines.clear();
  }
  m_previousSink = SetLogDebugSinkForTesting(DebugSink);
}

LogCapture::~LogCapture() {
  SetLogDebugSinkForTesting(m_previousSink);
  Logger::Instance()->SetLogFilePathForTesting(m_previousPath.c_str());
  std::error_code ec;
  fs::remove_all(fs::path(m_dir), ec);
}

std::wstring LogCapture::Raw() const {
  std::ifstream in(fs::path(m_path), std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return Decode(bytes.str());
}

std::vector<std::wstring> LogCapture::FileLines() const {
  std::wstring raw = Raw();
  std::vector<std::wstring> lines;
  size_t start = 0;
  while (start < raw.size()) {
    size_t end = raw.find(L"\r\n", start);
    if (end == std::wstring::npos) {
      lines.push_back(raw.substr(start));
      break;
    }
    lines.push_back(raw.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

std::wstring LogCapture::StripPrefix(const std::wstring& fileLine) {
  size_t stamp = StampLength(fileLine);
  if (stamp == 0) return L"";
  // "TAG(hex): " or, in a printer's scope, "TAG(hex) [printer]: "
  size_t tagEnd = fileLine.find(L"): ", stamp);
  size_t scoped = fileLine.find(L") [", stamp);
  if (scoped != std::wstring::npos && scoped < tagEnd) {
    size_t printerEnd = fileLine.find(L"]: ", scoped);
    if (printerEnd != std::wstring::npos) return fileLine.substr(printerEnd + 3);
  }
  if (tagEnd == std::wstring::npos) return fileLine.substr(stamp);
  return fileLine.substr(tagEnd + 3);
}

std::vector<std::wstring> LogCapture::Lines() const {
  std::vector<std::wstring> lines;
  for (const std::wstring& line : FileLines()) {
    lines.push_back(StampLength(line) ? StripPrefix(line) : line);
  }
  return lines;
}

bool LogCapture::Contains(const std::wstring& line) const {
  for (const std::wstring& l : Lines()) {
    if (l == line) return true;
  }
  return false;
}

bool LogCapture::ContainsPart(const std::wstring& part) const {
  for (const std::wstring& l : Lines()) {
    if (l.find(part) != std::wstring::npos) return true;
  }
  return false;
}

std::vector<std::wstring> LogCapture::DebugLines() const {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_debugLines;
}

void LogCapture::Clear() {
  std::error_code ec;
  fs::remove(fs::path(m_path), ec);
  std::lock_guard<std::mutex> lock(g_mutex);
  g_debugLines.clear();
}

BoxCapture::BoxCapture(int answer) {
  g_answer = answer;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_boxes.clear();
  }
  m_previousHook = SetLogMessageBoxHookForTesting(BoxHook);
}

BoxCapture::~BoxCapture() { SetLogMessageBoxHookForTesting(m_previousHook); }

void BoxCapture::SetAnswer(int answer) { g_answer = answer; }

std::vector<CapturedBox> BoxCapture::Boxes() const {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_boxes;
}
