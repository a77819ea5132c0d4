// The data phase of a network image burn of a large file to a plain sink on
// loopback, against a plain socket sender of the same bytes, side by side in
// one run; and the peak memory of a burn in a process of its own.
//
// The sink timestamps the first and the last data byte it receives, so both
// senders are timed the same way. It answers each job with a success record.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "host/file_io.h"
#include "host/text_utils.h"
#include "support/fake_clock.h"
#include "transport/acl_checksum.h"
#include "transport/acl_protocol.h"
#include "transport/ntwk_download.h"

namespace {

using SteadyClock = std::chrono::steady_clock;
const char kAddress[] = "127.60.250.1";
const size_t kHeader = PJL_UEL_LEN + PJL_ENTERLANG_LEN + ACL_RECORD_SIZE;

struct Sink {
  int listener = -1;
  uint16_t port = 0;
  std::atomic<double> lastSeconds{0};
  std::thread thread;

  bool Start(size_t dataSize, int jobs) {
    listener = socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    inet_pton(AF_INET, kAddress, &sa.sin_addr);
    if (bind(listener, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || listen(listener, 4) != 0) return false;
    socklen_t len = sizeof sa;
    getsockname(listener, reinterpret_cast<sockaddr*>(&sa), &len);
    port = ntohs(sa.sin_port);
    thread = std::thread([this, dataSize, jobs] {
      std::vector<uint8_t> buf(1 << 20);
      for (int j = 0; j < jobs; ++j) {
        int fd = accept(listener, nullptr, nullptr);
        if (fd < 0) return;
        size_t want = kHeader + dataSize;
        size_t got = 0;
        SteadyClock::time_point first{};
        while (got < want) {
          ssize_t n = recv(fd, buf.data(), buf.size(), 0);
          if (n <= 0) break;
          if (got <= kHeader && got + static_cast<size_t>(n) > kHeader) first = SteadyClock::now();
          got += static_cast<size_t>(n);
        }
        lastSeconds = std::chrono::duration<double>(SteadyClock::now() - first).count();
        uint8_t reply[16] = {0x00, 0xAC, 0x00, 0x0F, 0x00, 0x01};
        send(fd, reply, sizeof reply, MSG_NOSIGNAL);
        char drain[64];
        while (recv(fd, drain, sizeof drain, 0) > 0) {
        }
        close(fd);
      }
    });
    return true;
  }
  void Join() {
    if (thread.joinable()) thread.join();
    close(listener);
  }
};

int ProductBurn(const std::string& path, uint16_t port) {
  FakeClock clock;  // the printer's programming pause is not part of the data phase
  NtwkSettings settings;
  settings.port = port;
  SetNtwkSettingsForTesting(&settings);
  FILE* f = fopen(path.c_str(), "rb");
  int ok = CFWDownloadNtwk().BurnFlash(f, L"127.60.250.1", ACL_IMAGE_CODE_ONLY);
  fclose(f);
  SetNtwkSettingsForTesting(nullptr);
  return ok;
}

bool PlainSend(const std::vector<uint8_t>& job, uint16_t port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  inet_pton(AF_INET, kAddress, &sa.sin_addr);
  if (connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) return false;
  ssize_t n = send(fd, job.data(), job.size(), MSG_NOSIGNAL);
  uint8_t reply[16];
  recv(fd, reply, sizeof reply, 0);
  close(fd);
  return n == static_cast<ssize_t>(job.size());
}

}  // namespace

int main(int argc, char** argv) {
  size_t mib = argc > 1 ? static_cast<size_t>(atoi(argv[1])) : 256;
  std::string path = argc > 2 ? argv[2] : "/tmp/tideway-burn-bench.bin";
  const size_t size = mib * 1024 * 1024;
  {
    FILE* f = fopen(path.c_str(), "wb");
    std::vector<uint8_t> block(1 << 20);
    uint32_t x = 12345;
    for (size_t done = 0; done < size; done += block.size()) {
      for (auto& b : block) b = static_cast<uint8_t>((x = x * 1103515245u + 12345u) >> 24);
      if (done == 0) memcpy(block.data(), "\xAA\x55\x41\x54", 4);
      fwrite(block.data(), 1, block.size(), f);
    }
    fclose(f);
  }
  printf("file: %zu MiB\n", mib);

  fflush(stdout);
  // Peak memory of one burn, in a child that does nothing else.
  {
    Sink sink;
    if (!sink.Start(size, 1)) {
      perror("sink");
      return 1;
    }
    pid_t pid = fork();
    if (pid == 0) {
      int ok = ProductBurn(path, sink.port);
      rusage ru{};
      getrusage(RUSAGE_SELF, &ru);
      printf("burn peak RSS: %.1f MiB (limit 1.1 x file + 16 MiB = %.1f MiB) result %d\n", ru.ru_maxrss / 1024.0,
             1.1 * static_cast<double>(mib) + 16.0, ok);
      fflush(stdout);
      _exit(ok == 1 ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    sink.Join();
  }

  // Data phase: product and plain sender alternately, best of five each.
  const int rounds = 5;
  Sink sink;
  if (!sink.Start(size, 2 * rounds)) return 1;
  std::vector<uint8_t> job(kHeader + size);
  {
    FILE* f = fopen(path.c_str(), "rb");
    size_t got = fread(job.data() + kHeader, 1, size, f);
    fclose(f);
    if (got != size) return 1;
  }
  double bestProduct = 1e30;
  double bestPlain = 1e30;
  double bestWhole = 1e30;
  for (int r = 0; r < rounds; ++r) {
    auto t0 = SteadyClock::now();
    if (ProductBurn(path, sink.port) != 1) {
      printf("product burn failed\n");
      return 1;
    }
    double whole = std::chrono::duration<double>(SteadyClock::now() - t0).count();
    // The sink has answered, so its figure for this job is final.
    double product = sink.lastSeconds.load();
    if (!PlainSend(job, sink.port)) return 1;
    double plain = sink.lastSeconds.load();
    if (product < bestProduct) bestProduct = product;
    if (plain < bestPlain) bestPlain = plain;
    if (whole < bestWhole) bestWhole = whole;
  }
  sink.Join();
  double mb = static_cast<double>(mib);
  printf("data phase, product burn: %8.1f MiB/s (%.3f s)\n", mb / bestProduct, bestProduct);
  printf("data phase, plain sender: %8.1f MiB/s (%.3f s)\n", mb / bestPlain, bestPlain);
  printf("whole product burn (read, checksum, send, answer): %.3f s\n", bestWhole);
  printf("ratio product/plain: %.2fx (goal >= 0.9x)\n", bestPlain / bestProduct);
  remove(path.c_str());
  return 0;
}
