#pragma once
// The program's own folder in the computer's program-data folder (on Windows
// CSIDL_COMMON_APPDATA + "\tideway\", made when missing): records that outlive
// a run and are the same for every user. Natively there is none unless a
// test chooses one.

#include <string>

constexpr const wchar_t* PROGRAM_DATA_FOLDER_NAME = L"tideway";

// 1 and the folder with its trailing separator; 0 when there is none.
int GetProgramDataFolder(std::wstring* folder);
// The folder to use instead of the system's (tests); empty: the system's.
void SetProgramDataFolderForTesting(const std::wstring& folder);
// The system's folder (program_data_win32.cpp / _posix.cpp).
int SystemProgramDataFolder(std::wstring* folder);
