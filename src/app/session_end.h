#pragma once
// The session ending (a logoff, a restart, a shutdown) while the program runs.
// Signing out of a print server's Remote Desktop session or shutting it down
// reaches a windowed program as window messages, not as a console event. While
// an image is being written the program asks the session to wait: a printer
// cut off half way may not start again. When the session ends anyway, or at any
// other time, what the run would leave behind is put right as for a closed
// console (update/run_rescue.h).

#include <cstdint>
#include <memory>

// What the session shows for the program while an image is being written.
extern const wchar_t SESSION_BLOCK_REASON[];

// The answer to the session's question whether it may end: false while an
// image is being written. A yes stops the run from starting another update,
// since one begun before the session ends would be cut off.
bool SessionMayEnd();

// The session's decision; `ending` true: it ends now (the program is ended
// after this returns), so the run is interrupted and rescued.
void SessionEnds(bool ending);

// The Win32 side (session_end_win32.cpp).

// For a run without a window of its own (the command line): a hidden window on
// a thread of its own that answers the session and holds the reason above
// while an image is being written. Gone with the object.
class SessionEndWindow {
 public:
  SessionEndWindow();
  ~SessionEndWindow();
  SessionEndWindow(const SessionEndWindow&) = delete;
  SessionEndWindow& operator=(const SessionEndWindow&) = delete;
  // The window (HWND); null when it could not be made (logged).
  void* Window() const { return m_window; }

 private:
  struct Thread;
  std::unique_ptr<Thread> m_thread;
  void* m_window = nullptr;
};

// For a window that exists already (the dialog's): its procedure passes every
// message here first. Handles the session's two messages and the burns'
// beginning and end (which it watches from the window's first message on):
// true when handled, with the procedure's result in `result`.
bool SessionEndMessage(void* window, unsigned message, uintptr_t wParam, intptr_t lParam, intptr_t* result);
