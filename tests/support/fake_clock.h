#pragma once
// A clock for tests: sleeps return at once, are recorded, and advance the tick
// count by the time that would have passed. Installed for the lifetime of the
// object.

#include <cstdint>
#include <mutex>
#include <vector>

#include "host/clock.h"

class FakeClock : public Clock {
 public:
  FakeClock() : previous_(SetClockForTesting(this)) {}
  ~FakeClock() override { SetClockForTesting(previous_); }
  FakeClock(const FakeClock&) = delete;
  FakeClock& operator=(const FakeClock&) = delete;

  void Sleep(uint32_t ms) override {
    std::lock_guard<std::mutex> lock(mutex_);
    sleeps_.push_back(ms);
    now_ += ms;
  }
  uint32_t TickCount() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return now_;
  }
  void Advance(uint32_t ms) {
    std::lock_guard<std::mutex> lock(mutex_);
    now_ += ms;
  }
  void SetNow(uint32_t now) {
    std::lock_guard<std::mutex> lock(mutex_);
    now_ = now;
  }
  std::vector<uint32_t> Sleeps() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return sleeps_;
  }
  uint64_t TotalSlept() const {
    std::lock_guard<std::mutex> lock(mutex_);
    uint64_t total = 0;
    for (uint32_t s : sleeps_) total += s;
    return total;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<uint32_t> sleeps_;
  uint32_t now_ = 0;
  Clock* previous_;
};
