#pragma once
// Where an unattended run's lines go. The program is a windowed one, so it has
// no console of its own: a standard output handle that a caller redirected (a
// file or a pipe, as deployment tools give) is used as it is; without one the
// lines go to the console of the parent (cmd.exe, PowerShell) when there is
// one, and nowhere otherwise. Text goes to a console as UTF-16, to a file or
// pipe as UTF-8, one line ending in CR LF each. Windows only
// (console_output_win32.cpp).

#include <string>

class ConsoleOutput {
 public:
  ConsoleOutput();
  ~ConsoleOutput();
  ConsoleOutput(const ConsoleOutput&) = delete;
  ConsoleOutput& operator=(const ConsoleOutput&) = delete;

  void WriteLine(const std::wstring& line);
  // The console screen buffer the lines go to; null for a file, a pipe or
  // nowhere (where a live board cannot draw).
  void* Console() const { return m_isConsole ? m_handle : nullptr; }

 private:
  void* m_handle = nullptr;  // null: the lines go nowhere
  bool m_isConsole = false;
  bool m_ownsHandle = false;
};
