#include "update/run_interrupt.h"

#include <atomic>

namespace {
std::atomic<bool> g_interrupted{false};
}  // namespace

void InterruptRun() {
  g_interrupted.store(true);
}

bool RunInterrupted() {
  return g_interrupted.load();
}

void ClearRunInterruptForTesting() {
  g_interrupted.store(false);
}
