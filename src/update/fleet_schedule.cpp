#include "update/fleet_schedule.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

FleetSchedule::FleetSchedule(std::vector<FleetLane> lanes, int limit)
    : m_lanes(std::move(lanes)), m_state(m_lanes.size(), State::Waiting), m_limit(limit < 1 ? 1 : limit) {}

bool FleetSchedule::MayStart(FleetLane lane) const {
  if (m_aloneRunning || m_running >= m_limit) return false;
  switch (lane) {
    case FleetLane::Alone:
      return m_running == 0;
    case FleetLane::Usb:
      return m_usbRunning == 0;
    default:
      return true;
  }
}

int FleetSchedule::Next() {
  if (m_stopped) return -1;
  for (size_t i = 0; i < m_lanes.size(); ++i) {
    if (m_state[i] != State::Waiting || !MayStart(m_lanes[i])) continue;
    m_state[i] = State::Running;
    ++m_running;
    if (m_lanes[i] == FleetLane::Usb) ++m_usbRunning;
    if (m_lanes[i] == FleetLane::Alone) m_aloneRunning = true;
    return static_cast<int>(i);
  }
  return -1;
}

void FleetSchedule::Done(size_t index) {
  if (index >= m_state.size() || m_state[index] != State::Running) return;
  m_state[index] = State::Ended;
  --m_running;
  if (m_lanes[index] == FleetLane::Usb) --m_usbRunning;
  if (m_lanes[index] == FleetLane::Alone) m_aloneRunning = false;
}

void FleetSchedule::Stop() {
  m_stopped = true;
}

bool FleetSchedule::Finished() const {
  if (m_running > 0) return false;
  if (m_stopped) return true;
  for (State s : m_state) {
    if (s == State::Waiting) return false;
  }
  return true;
}

std::vector<size_t> RunFleet(const std::vector<FleetLane>& lanes, int limit, const std::function<void(size_t)>& work,
                             const std::function<bool()>& stop) {
  FleetSchedule schedule(lanes, limit);
  std::mutex lock;
  std::condition_variable ended;
  std::vector<std::thread> threads;
  std::unique_lock<std::mutex> guard(lock);
  while (!schedule.Finished()) {
    if (stop && stop()) schedule.Stop();
    for (int next; (next = schedule.Next()) >= 0;) {
      const size_t index = static_cast<size_t>(next);
      threads.emplace_back([&, index] {
        work(index);
        std::lock_guard<std::mutex> done(lock);
        schedule.Done(index);
        ended.notify_all();
      });
    }
    if (!schedule.Finished()) ended.wait_for(guard, std::chrono::milliseconds(200));
  }
  guard.unlock();
  for (std::thread& t : threads) t.join();

  std::vector<size_t> notStarted;
  for (size_t i = 0; i < lanes.size(); ++i) {
    if (!schedule.Started(i)) notStarted.push_back(i);
  }
  return notStarted;
}
