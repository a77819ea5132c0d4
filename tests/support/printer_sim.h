#pragma once
// Runs the simulated printer (tools/printer-sim/printer_sim.py) as a child process for
// tests: start, wait until it listens, change its faults and state through its control
// socket, read its event log, stop it. Natively (printer_sim_posix.cpp) the child is spawned
// and signalled by its pid; under Wine (printer_sim_win32.cpp) Wine starts the Unix program,
// which cannot be signalled from the Windows side, so it is stopped through its control
// socket and also ends by itself after a lifetime. Only the process started here is stopped.

#include <cstdint>
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
  // Natively: SIGTERM to the started process, SIGKILL after 3 s, reaped. Under Wine: the
  // control socket's shutdown, then a wait until the control port refuses. Removes
  // work_dir() unless the environment variable PRINTER_SIM_KEEP is set. Safe to call more
  // than once.
  void Stop();

  bool running() const { return running_; }
  long pid() const { return pid_; }  // the simulator's (Unix) process id
  const std::string& address() const { return address_; }
  int port() const { return port_; }
  int control_port() const { return control_port_; }
  // Paths as this process opens them (under Wine: Z:\tmp\...).
  const std::string& work_dir() const { return work_dir_; }
  std::string event_log_path() const { return LocalPath("events.jsonl"); }
  std::string store_dir() const { return LocalPath("store"); }
  std::string console_path() const { return LocalPath("console.log"); }
  const std::string& error() const { return error_; }

  // One control request (a JSON object without line end); the reply line, or "" on failure.
  std::string Control(const std::string& request_json);
  // Replaces every fault (an empty list clears them). True when the simulator accepted them.
  bool SetFaults(const std::vector<std::string>& faults);
  // Waits until the simulator is not restarting (true), or timeout_ms passed (false).
  bool WaitUntilUp(int timeout_ms = 10000);

  // One control request to a simulator listening for control at address:port (also one
  // this process did not start); the reply line, or "" on failure.
  static std::string ControlAt(const std::string& address, int port, const std::string& request_json,
                               int timeout_ms = 10000);
  // One raw job to a printer port: UEL, the enter-language line and one query record for
  // `cmd`. The bytes received until the peer stops sending for a moment, or "refused".
  static std::string Query(const std::string& address, int port, uint16_t cmd);

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
  // Platform parts (printer_sim_posix.cpp / printer_sim_win32.cpp).
  bool MakeWorkDir();                                  // sets work_dir_ and sim_dir_
  bool Launch(const std::vector<std::string>& args);  // python3 and the script come first
  bool ExitedEarly();                                  // true once the child is known to be gone
  void Terminate();
  // Connects to address:port and sends `bytes`; then reads up to a line feed (`toLineEnd`)
  // or until nothing arrives for timeout_ms. False when the connection is not made.
  static bool Talk(const std::string& address, int port, const std::string& bytes, int timeout_ms, bool toLineEnd,
                   std::string* reply);
  std::string LocalPath(const std::string& name) const;
  std::string SimPath(const std::string& name) const;  // the same file as the simulator names it

  bool running_ = false;
  long pid_ = -1;
  std::string address_;
  int port_ = 0;
  int control_port_ = 0;
  std::string work_dir_;
  std::string sim_dir_;
  std::string error_;
};
