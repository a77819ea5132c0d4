#include <fcntl.h>
#include <netdb.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "printer_sim.h"

extern char** environ;

bool PrinterSim::MakeWorkDir() {
  const char* tmp = getenv("TMPDIR");
  std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/printer-sim-XXXXXX";
  std::vector<char> dir(templ.begin(), templ.end());
  dir.push_back('\0');
  if (!mkdtemp(dir.data())) {
    error_ = std::string("mkdtemp: ") + strerror(errno);
    return false;
  }
  work_dir_ = sim_dir_ = dir.data();
  return true;
}

std::string PrinterSim::LocalPath(const std::string& name) const { return work_dir_ + "/" + name; }
std::string PrinterSim::SimPath(const std::string& name) const { return sim_dir_ + "/" + name; }

bool PrinterSim::Launch(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {"python3"};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> cargv;
  for (auto& a : argv) cargv.push_back(a.data());
  cargv.push_back(nullptr);

  // Messages from before the simulator opens its console log (bad options) land here too.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, console_path().c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
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
  return true;
}

bool PrinterSim::ExitedEarly() {
  int status = 0;
  if (pid_ > 0 && waitpid(static_cast<pid_t>(pid_), &status, WNOHANG) == static_cast<pid_t>(pid_)) {
    pid_ = -1;
    return true;
  }
  return false;
}

void PrinterSim::Terminate() {
  if (pid_ <= 0) return;
  const pid_t pid = static_cast<pid_t>(pid_);
  kill(pid, SIGTERM);
  for (int i = 0; i < 150; ++i) {
    int status = 0;
    pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid || (r < 0 && errno == ECHILD)) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
}

bool PrinterSim::Talk(const std::string& address, int port, const std::string& bytes, int timeout_ms, bool toLineEnd,
                      std::string* reply) {
  addrinfo hints{};
  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* res = nullptr;
  if (getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &res) != 0 || !res) return false;
  int fd = socket(res->ai_family, SOCK_STREAM, 0);
  bool connected = false;
  if (fd >= 0) {
    timeval tv{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    connected = connect(fd, res->ai_addr, res->ai_addrlen) == 0;
    if (connected && send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size())) {
      char buf[4096];
      while (!toLineEnd || reply->find('\n') == std::string::npos) {
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        reply->append(buf, static_cast<size_t>(n));
      }
    }
    close(fd);
  }
  freeaddrinfo(res);
  return connected;
}
