#include <windows.h>

#include <string>

#include "app/console_output.h"
#include "host/text_utils.h"

ConsoleOutput::ConsoleOutput() {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out && out != INVALID_HANDLE_VALUE && GetFileType(out) != FILE_TYPE_UNKNOWN) {
    m_handle = out;
  } else if (AttachConsole(ATTACH_PARENT_PROCESS)) {
    HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    if (console != INVALID_HANDLE_VALUE) {
      m_handle = console;
      m_ownsHandle = true;
      // The parent's prompt is already on the line the program starts on.
      WriteLine(L"");
    }
  }
  DWORD mode = 0;
  m_isConsole = m_handle && GetConsoleMode(static_cast<HANDLE>(m_handle), &mode);
}

ConsoleOutput::~ConsoleOutput() {
  if (m_ownsHandle) CloseHandle(static_cast<HANDLE>(m_handle));
}

void ConsoleOutput::WriteLine(const std::wstring& line) {
  if (!m_handle) return;
  HANDLE handle = static_cast<HANDLE>(m_handle);
  const std::wstring text = line + L"\r\n";
  DWORD written = 0;
  if (m_isConsole) {
    WriteConsoleW(handle, text.c_str(), static_cast<DWORD>(text.size()), &written, nullptr);
    return;
  }
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  if (size <= 0) return;
  std::string bytes(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &bytes[0], size, nullptr, nullptr);
  WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}
