#include "printer_sim.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#ifndef TIDEWAY_SOURCE_DIR
#define TIDEWAY_SOURCE_DIR "."
#endif

namespace {

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Position of the value of `key` in a flat JSON object, or npos. Walks the object so that
// text inside string values never matches a key.
size_t FindValue(const std::string& json, const std::string& key) {
  size_t i = json.find('{');
  if (i == std::string::npos) return std::string::npos;
  ++i;
  auto skip_ws = [&](size_t p) {
    while (p < json.size() && (json[p] == ' ' || json[p] == '\t' || json[p] == '\r' || json[p] == '\n')) ++p;
    return p;
  };
  auto skip_string = [&](size_t p) {  // p at the opening quote; returns one past the closing quote
    ++p;
    while (p < json.size() && json[p] != '"') p += (json[p] == '\\') ? 2 : 1;
    return p + 1;
  };
  while (true) {
    i = skip_ws(i);
    if (i >= json.size() || json[i] != '"') return std::string::npos;
    size_t key_end = skip_string(i);
    if (key_end > json.size()) return std::string::npos;
    std::string name = json.substr(i + 1, key_end - i - 2);
    i = skip_ws(key_end);
    if (i >= json.size() || json[i] != ':') return std::string::npos;
    i = skip_ws(i + 1);
    if (name == key) return i;
    if (i < json.size() && json[i] == '"') {
      i = skip_string(i);
    } else if (i < json.size() && (json[i] == '[' || json[i] == '{')) {
      int depth = 0;
      for (; i < json.size(); ++i) {
        char c = json[i];
        if (c == '"') {
          i = skip_string(i) - 1;
        } else if (c == '[' || c == '{') {
          ++depth;
        } else if ((c == ']' || c == '}') && --depth == 0) {
          ++i;
          break;
        }
      }
    } else {
      while (i < json.size() && json[i] != ',' && json[i] != '}') ++i;
    }
    i = skip_ws(i);
    if (i >= json.size() || json[i] != ',') return std::string::npos;
    ++i;
  }
}

}  // namespace

PrinterSim::~PrinterSim() { Stop(); }

bool PrinterSim::Start(const PrinterSimOptions& options, int timeout_ms) {
  Stop();
  error_.clear();
  if (!MakeWorkDir()) return false;
  address_ = options.address;

  std::vector<std::string> args = {std::string(TIDEWAY_SOURCE_DIR) + "/tools/printer-sim/printer_sim.py",
                                   "--address", options.address,
                                   "--port", std::to_string(options.port),
                                   "--ready-file", SimPath("ready.json"),
                                   "--event-log", SimPath("events.jsonl"),
                                   "--console-log", SimPath("console.log")};
  if (options.store_data) {
    args.push_back("--store-dir");
    args.push_back(SimPath("store"));
  }
#ifdef _WIN32
  args.push_back("--lifetime-s");
  args.push_back("1800");
#endif
  args.insert(args.end(), options.args.begin(), options.args.end());
  if (!Launch(args)) return false;
  running_ = true;

  const std::string ready = LocalPath("ready.json");
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (std::chrono::steady_clock::now() < deadline) {
    std::string failure = ReadWholeFile(LocalPath("ready.json.error"));
    if (!failure.empty()) {
      error_ = "simulator did not start: " + Str(failure, "error");
      Stop();
      return false;
    }
    std::string text = ReadWholeFile(ready);
    if (!text.empty()) {
      port_ = static_cast<int>(Num(text, "port", 0));
      control_port_ = static_cast<int>(Num(text, "control_port", 0));
      pid_ = static_cast<long>(Num(text, "pid", pid_));
      if (port_ > 0) return true;
    }
    if (ExitedEarly()) {
      running_ = false;
      error_ = "simulator exited: " + ReadWholeFile(console_path());
      return false;
    }
    SleepMs(20);
  }
  error_ = "simulator not ready in time: " + ReadWholeFile(console_path());
  Stop();
  return false;
}

void PrinterSim::Stop() {
  if (running_) {
    Terminate();
    running_ = false;
  }
  pid_ = -1;
  if (!work_dir_.empty() && !getenv("PRINTER_SIM_KEEP")) {
    std::error_code ec;
    std::filesystem::remove_all(work_dir_, ec);
  }
  work_dir_.clear();
  sim_dir_.clear();
}

std::string PrinterSim::Control(const std::string& request_json) {
  if (!running_ || control_port_ <= 0) return "";
  return ControlAt(address_, control_port_, request_json);
}

std::string PrinterSim::ControlAt(const std::string& address, int port, const std::string& request_json,
                                  int timeout_ms) {
  std::string reply;
  if (!Talk(address, port, request_json + "\n", timeout_ms, true, &reply)) return "";
  size_t end = reply.find('\n');
  return end == std::string::npos ? "" : reply.substr(0, end);
}

std::string PrinterSim::Query(const std::string& address, int port, uint16_t cmd) {
  std::string job = "\x1b%-12345X@PJL ENTER LANGUAGE=ACL\r\n";
  const char record[16] = {0x00, static_cast<char>(0xAC), static_cast<char>(cmd >> 8), static_cast<char>(cmd & 0xFF)};
  job.append(record, sizeof record);
  std::string out;
  return Talk(address, port, job, 300, false, &out) ? out : "refused";
}

bool PrinterSim::SetFaults(const std::vector<std::string>& faults) {
  std::string request = R"({"op":"faults","list":[)";
  for (size_t i = 0; i < faults.size(); ++i) request += (i ? "," : "") + Quote(faults[i]);
  request += "]}";
  return Bool(Control(request), "ok");
}

bool PrinterSim::WaitUntilUp(int timeout_ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  do {
    std::string state = Control(R"({"op":"state"})");
    if (Bool(state, "ok") && !Bool(state, "restarting", true)) return true;
    SleepMs(20);
  } while (std::chrono::steady_clock::now() < deadline);
  return false;
}

std::vector<std::string> PrinterSim::EventLines() const {
  std::vector<std::string> lines;
  if (work_dir_.empty()) return lines;
  std::istringstream in(ReadWholeFile(event_log_path()));
  std::string line;
  // A line still being written has no line end yet; it is left for the next read.
  while (std::getline(in, line)) {
    if (in.eof()) break;
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> PrinterSim::Events(const std::string& event) const {
  std::vector<std::string> out;
  for (auto& line : EventLines()) {
    if (Str(line, "event") == event) out.push_back(line);
  }
  return out;
}

bool PrinterSim::WaitForEvents(const std::string& event, size_t count, int timeout_ms) const {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  do {
    if (Events(event).size() >= count) return true;
    SleepMs(10);
  } while (std::chrono::steady_clock::now() < deadline);
  return false;
}

bool PrinterSim::Has(const std::string& json, const std::string& key) {
  return FindValue(json, key) != std::string::npos;
}

std::string PrinterSim::Str(const std::string& json, const std::string& key) {
  size_t i = FindValue(json, key);
  if (i == std::string::npos || i >= json.size() || json[i] != '"') return "";
  std::string out;
  for (++i; i < json.size() && json[i] != '"'; ++i) {
    char c = json[i];
    if (c != '\\' || i + 1 >= json.size()) {
      out += c;
      continue;
    }
    char e = json[++i];
    switch (e) {
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case 'b': out += '\b'; break;
      case 'f': out += '\f'; break;
      case 'u': {
        if (i + 4 >= json.size()) return out;
        unsigned cp = static_cast<unsigned>(std::stoul(json.substr(i + 1, 4), nullptr, 16));
        i += 4;
        if (cp < 0x80) {
          out += static_cast<char>(cp);
        } else if (cp < 0x800) {
          out += static_cast<char>(0xC0 | (cp >> 6));
          out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
          out += static_cast<char>(0xE0 | (cp >> 12));
          out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
          out += static_cast<char>(0x80 | (cp & 0x3F));
        }
        break;
      }
      default: out += e; break;
    }
  }
  return out;
}

long long PrinterSim::Num(const std::string& json, const std::string& key, long long fallback) {
  size_t i = FindValue(json, key);
  if (i == std::string::npos || i >= json.size()) return fallback;
  char c = json[i];
  if (c != '-' && (c < '0' || c > '9')) return fallback;
  return std::strtoll(json.c_str() + i, nullptr, 10);
}

bool PrinterSim::Bool(const std::string& json, const std::string& key, bool fallback) {
  size_t i = FindValue(json, key);
  if (i == std::string::npos) return fallback;
  if (json.compare(i, 4, "true") == 0) return true;
  if (json.compare(i, 5, "false") == 0) return false;
  return fallback;
}

std::string PrinterSim::Quote(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}
