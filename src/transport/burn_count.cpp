#include "transport/burn_count.h"

#include <mutex>
#include <utility>

namespace {
struct Burns {
  std::mutex lock;
  int count = 0;
  std::function<void(bool)> watcher;
};

// Never destroyed: a burning thread may end its scope while the process ends.
Burns& State() {
  static Burns* burns = new Burns;
  return *burns;
}
}  // namespace

// The watcher is called under the lock, so that its calls keep the order of
// the transitions.
BurnScope::BurnScope() {
  Burns& b = State();
  std::lock_guard<std::mutex> lock(b.lock);
  if (b.count++ == 0 && b.watcher) b.watcher(true);
}

BurnScope::~BurnScope() {
  Burns& b = State();
  std::lock_guard<std::mutex> lock(b.lock);
  if (--b.count == 0 && b.watcher) b.watcher(false);
}

int BurnsInProgress() {
  Burns& b = State();
  std::lock_guard<std::mutex> lock(b.lock);
  return b.count;
}

void SetBurnWatcher(std::function<void(bool burning)> watcher) {
  Burns& b = State();
  std::lock_guard<std::mutex> lock(b.lock);
  b.watcher = std::move(watcher);
}
