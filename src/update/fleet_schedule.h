#pragma once
// Which of a fleet's printers may start now. Network printers run side by
// side up to the run's limit; USB printers one at a time (each takes one of
// the places); a parallel printer runs alone, because opening its port
// restarts the spooler under everyone else. Waiting printers start in their
// order, but one that must wait does not hold back those behind it.
//
// Portable and without threads: RunFleet drives it from threads, tests drive
// it with a virtual clock.

#include <cstddef>
#include <functional>
#include <vector>

enum class FleetLane { Network, Usb, Alone };

class FleetSchedule {
 public:
  // `limit` below 1 counts as 1.
  FleetSchedule(std::vector<FleetLane> lanes, int limit);

  // The next printer that may start now (and marks it running), or -1 when
  // none may start until one ends, or none is left to start.
  int Next();
  // Printer `index` (returned by Next) ended.
  void Done(size_t index);
  // No printer starts any more; those running end as they will.
  void Stop();

  size_t Running() const { return m_running; }
  // Nothing runs, and nothing is left to start (or the schedule stopped).
  bool Finished() const;
  // Never started (the schedule stopped first).
  bool Started(size_t index) const { return index < m_state.size() && m_state[index] != State::Waiting; }

 private:
  enum class State { Waiting, Running, Ended };
  bool MayStart(FleetLane lane) const;

  std::vector<FleetLane> m_lanes;
  std::vector<State> m_state;
  size_t m_limit;
  size_t m_running = 0;
  size_t m_usbRunning = 0;
  bool m_aloneRunning = false;
  bool m_stopped = false;
};

// Runs `work(index)` for every printer of `lanes` on threads of its own, as
// the schedule lets them start; returns when all started ones have ended.
// `stop` is asked between starts (and at least every 200 ms while printers
// run): once true no printer starts any more. Returns the indexes that never
// started.
std::vector<size_t> RunFleet(const std::vector<FleetLane>& lanes, int limit, const std::function<void(size_t)>& work,
                             const std::function<bool()>& stop);
