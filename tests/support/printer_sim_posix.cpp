#include "printer_sim_posix.h"

#include <fcntl.h>
#include <netdb.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace {

#ifndef TIDEWAY_SOURCE_DIR
#define TIDEWAY_SOURCE_DIR "."
#endif

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

int ConnectTo(const std::string& address, int port, int timeout_ms) {
  addrinfo hints{};
  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* res = nullptr;
  if (getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &res) != 0 || !res) return -1;
  int fd = socket(res->ai_family, SOCK_STREAM, 0);
  if (fd >= 0) {
    timeval tv{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    if (connect(fd, res->ai_addr, res->ai_addrlen) != 0) {
      close(fd);
      fd = -1;
    }
  }
  freeaddrinfo(res);
  return fd;
}

}  // namespace

PrinterSim::~PrinterSim() { Stop(); }

bool PrinterSim::Start(const PrinterSimOptions& options, int timeout_ms) {
  Stop();
  error_.clear();
  const char* tmp = getenv("TMPDIR");
  std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/printer-sim-XXXXXX";
  std::vector<char> dir(templ.begin(), templ.end());
  dir.push_back('\0');
  if (!mkdtemp(dir.data())) {
    error_ = std::string("mkdtemp: ") + strerror(errno);
    return false;
  }
  work_dir_ = dir.data();
  address_ = options.address;
  const std::string ready = work_dir_ + "/ready.json";

  std::vector<std::string> argv = {"python3",
                                   std::string(TIDEWAY_SOURCE_DIR) + "/tools/printer-sim/printer_sim.py",
                                   "--address", options.address,
                                   "--port", std::to_string(options.port),
                                   "--ready-file", ready,
                                   "--event-log", event_log_path()};
  if (options.store_data) {
    argv.push_back("--store-dir");
    argv.push_back(store_dir());
  }
  argv.insert(argv.end(), options.args.begin(), options.args.end());
  std::vector<char*> cargv;
  for (auto& a : argv) cargv.push_back(a.data());
  cargv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, console_path().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  pid_t pid = -1;
  int rc = posix_spawnp(&pid, "python3", &actions, nullptr, cargv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    error_ = std::string("posix_spawnp python3: ") + strerror(rc);
    return false;
  }
  pid_ = pid;

  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      error_ = "simulator exited (status " + std::to_string(status) + "): " + ReadWholeFile(console_path());
      return false;
    }
    std::string text = ReadWholeFile(ready);
    if (!text.empty()) {
      port_ = static_cast<int>(Num(text, "port", 0));
      control_port_ = static_cast<int>(Num(text, "control_port", 0));
      return port_ > 0;
    }
    SleepMs(20);
  }
  error_ = "simulator not ready in time: " + ReadWholeFile(console_path());
  Stop();
  return false;
}

void PrinterSim::Stop() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    bool reaped = false;
    for (int i = 0; i < 150 && !reaped; ++i) {
      int status = 0;
      pid_t r = waitpid(pid_, &status, WNOHANG);
      if (r == pid_ || (r < 0 && errno == ECHILD)) {
        reaped = true;
      } else {
        SleepMs(20);
      }
    }
    if (!reaped) {
      kill(pid_, SIGKILL);
      int status = 0;
      waitpid(pid_, &status, 0);
    }
    pid_ = -1;
  }
  if (!work_dir_.empty() && !getenv("PRINTER_SIM_KEEP")) {
    std::error_code ec;
    std::filesystem::remove_all(work_dir_, ec);
    work_dir_.clear();
  }
}

std::string PrinterSim::Control(const std::string& request_json) {
  if (pid_ <= 0) return "";
  int fd = ConnectTo(address_, control_port_, 10000);
  if (fd < 0) return "";
  std::string line = request_json + "\n";
  std::string reply;
  if (send(fd, line.data(), line.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(line.size())) {
    char buf[4096];
    while (reply.find('\n') == std::string::npos) {
      ssize_t n = recv(fd, buf, sizeof buf, 0);
      if (n <= 0) break;
      reply.append(buf, static_cast<size_t>(n));
    }
  }
  close(fd);
  size_t end = reply.find('\n');
  if (end == std::string::npos) return "";
  return reply.substr(0, end);
}

bool PrinterSim::SetFaults(const std::vector<std::string>& specs) {
  std::string request = R"({"op":"faults","specs":[)";
  for (size_t i = 0; i < specs.size(); ++i) request += (i ? "," : "") + Quote(specs[i]);
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
