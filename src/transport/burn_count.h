#pragma once
// Images being written to printers right now, process-wide as the session's
// end is: a printer cut off in the middle of its burn may not start again, so
// the front ends ask the session to wait while one is. Every transport's burn
// runs inside a BurnScope (DownloadWithChosenBurn).

#include <functional>

class BurnScope {
 public:
  BurnScope();
  ~BurnScope();
  BurnScope(const BurnScope&) = delete;
  BurnScope& operator=(const BurnScope&) = delete;
};

// How many burns are under way.
int BurnsInProgress();

// Told true when the first burn begins and false when the last one ends, on
// the burning thread and in that order; empty: nobody. Replacing it waits for
// a call in progress.
void SetBurnWatcher(std::function<void(bool burning)> watcher);
