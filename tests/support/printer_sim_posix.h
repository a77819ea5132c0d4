#pragma once
// Runs the simulated printer (tools/printer-sim/printer_sim.py) as a child process for
// native tests: start, wait until it listens, change its faults and state through its
// control socket, read its event log, stop it. Only the process started here is ever
// signalled.

#include <sys/types.h>

#include <string>
#include <vector>

struct PrinterSimOptions {
  std::string address = "127.0.0.1";
  int port = 0;                   // 0: a free port, see PrinterSim::port()
  std::vector<std::string> args;  // further command-line options, e.g. {"--version", "1234"}
  bool store_data = true;         // keep each data phase in store_dir() (off for huge burns)
};

class PrinterSim {
 public:
  PrinterSim() = default;
  ~PrinterSim();
  PrinterSim(const PrinterSim&) = delete;
  PrinterSim& operator=(const PrinterSim&) = delete;

  // Starts the simulator and waits up to timeout_ms for its ready file. False (and error())
  // when it cannot start or exits first; the console output is then part of error().
  bool Start(const PrinterSimOptions& options, int timeout_ms = 10000);
  // SIGTERM to the started process, SIGKILL after 3 s, reaped. Removes work_dir() unless
  // the environment variable PRINTER_SIM_KEEP is set. Safe to call more than once.
  void Stop();

  bool running() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  const std::string& address() const { return address_; }
  int port() const { return port_; }
  int control_port() const { return control_port_; }
  const std::string& work_dir() const { return work_dir_; }
  std::string event_log_path() const { return work_dir_ + "/events.jsonl"; }
  std::string store_dir() const { return work_dir_ + "/store"; }
  std::string console_path() const { return work_dir_ + "/console.log"; }
  const std::string& error() const { return error_; }

  // One control request (a JSON object without line end); the reply line, or "" on failure.
  std::string Control(const std::string& request_json);
  // Replaces every fault (an empty list clears them). True when the simulator accepted them.
  bool SetFaults(const std::vector<std::string>& specs);
  // Waits until the simulator is not restarting (true), or timeout_ms passed (false).
  bool WaitUntilUp(int timeout_ms = 10000);

  // Lines of the event log, all or those whose "event" is `event`.
  std::vector<std::string> EventLines() const;
  std::vector<std::string> Events(const std::string& event) const;
  // Waits until at least `count` events named `event` are logged.
  bool WaitForEvents(const std::string& event, size_t count, int timeout_ms = 10000) const;

  // Fields of one flat JSON object (an event line or a control reply). Str unescapes the
  // JSON string; Num and Bool give `fallback` when the key is missing or of another kind.
  static bool Has(const std::string& json, const std::string& key);
  static std::string Str(const std::string& json, const std::string& key);
  static long long Num(const std::string& json, const std::string& key, long long fallback = -1);
  static bool Bool(const std::string& json, const std::string& key, bool fallback = false);
  // A JSON string literal for `text` (quotes included).
  static std::string Quote(const std::string& text);

 private:
  pid_t pid_ = -1;
  std::string address_;
  int port_ = 0;
  int control_port_ = 0;
  std::string work_dir_;
  std::string error_;
};
