#include <windows.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "app/session_end.h"
#include "host/logger.h"
#include "transport/burn_count.h"

namespace {
// Posted by the burning thread: the reason is set and taken back on the
// window's own thread, the only one the system lets do so.
constexpr UINT WM_BURN_STATE = WM_APP + 0x31;  // wParam 1: burning
const wchar_t kWindowClass[] = L"TidewaySessionEnd";

// The window that holds the reason while a burn is under way.
HWND g_watching = nullptr;
std::mutex g_watchingLock;

// Makes `window` (null: none) the one told of burns; with `first`, only when
// none is yet.
void Watch(HWND window, bool first = false) {
  std::lock_guard<std::mutex> lock(g_watchingLock);
  if (first && g_watching) return;
  g_watching = window;
  if (!window) {
    SetBurnWatcher(nullptr);
    return;
  }
  SetBurnWatcher([window](bool burning) { PostMessageW(window, WM_BURN_STATE, burning ? 1 : 0, 0); });
}

void SetReason(HWND window, bool burning) {
  if (!burning) {
    ShutdownBlockReasonDestroy(window);
    return;
  }
  // Said once: a system without the reason (Wine) refuses every burn's.
  static std::once_flag said;
  if (!ShutdownBlockReasonCreate(window, SESSION_BLOCK_REASON)) {
    const DWORD error = GetLastError();
    std::call_once(said, [error] { Logger::Instance()->WriteError(error, L"ShutdownBlockReasonCreate"); });
  }
}

LRESULT CALLBACK HiddenWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  intptr_t result = 0;
  if (SessionEndMessage(window, message, wParam, lParam, &result)) return result;
  if (message == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcW(window, message, wParam, lParam);
}
}  // namespace

bool SessionEndMessage(void* handle, unsigned message, uintptr_t wParam, intptr_t, intptr_t* result) {
  HWND window = static_cast<HWND>(handle);
  if (message != WM_DESTROY) Watch(window, true);
  switch (message) {
    case WM_BURN_STATE:
      // The count, not the message: a late one may follow the next change.
      SetReason(window, BurnsInProgress() > 0);
      *result = 0;
      return true;
    case WM_QUERYENDSESSION: {
      const bool mayEnd = SessionMayEnd();
      if (!mayEnd) SetReason(window, true);
      *result = mayEnd ? TRUE : FALSE;
      return true;
    }
    case WM_ENDSESSION:
      SessionEnds(wParam != FALSE);
      *result = 0;
      return true;
    case WM_DESTROY: {
      bool watched = false;
      {
        std::lock_guard<std::mutex> lock(g_watchingLock);
        watched = g_watching == window;
      }
      if (watched) Watch(nullptr);
      return false;
    }
    default:
      return false;
  }
}

struct SessionEndWindow::Thread {
  std::thread thread;
  std::mutex lock;
  std::condition_variable made;
  bool done = false;
  HWND window = nullptr;
};

SessionEndWindow::SessionEndWindow() : m_thread(std::make_unique<Thread>()) {
  Thread* t = m_thread.get();
  t->thread = std::thread([t] {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = HiddenWindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kWindowClass;
    RegisterClassExW(&windowClass);  // a second window of the process finds it registered
    // A top-level window, never shown: message-only windows get no broadcast.
    HWND window = CreateWindowExW(0, kWindowClass, L"tideway", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                                  instance, nullptr);
    if (!window) Logger::Instance()->WriteError(GetLastError(), L"Session-end window");
    if (window) Watch(window);
    {
      std::lock_guard<std::mutex> lock(t->lock);
      t->window = window;
      t->done = true;
    }
    t->made.notify_all();
    if (!window) return;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  });
  std::unique_lock<std::mutex> lock(t->lock);
  t->made.wait(lock, [t] { return t->done; });
  m_window = t->window;
}

SessionEndWindow::~SessionEndWindow() {
  if (m_window) PostMessageW(static_cast<HWND>(m_window), WM_CLOSE, 0, 0);
  m_thread->thread.join();
}
