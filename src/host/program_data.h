#pragma once
// The program's own folder in the computer's program-data folder (on Windows
// CSIDL_COMMON_APPDATA + "\tideway\"): records that outlive a run and are the
// same for every user. When missing it is made with a protected DACL of its
// own (host/data_path.h); one that is a junction or link, or is owned by an
// account other than SYSTEM, Administrators or the program's own, is refused.
// Natively there is none unless a test chooses one.

#include <string>

constexpr const wchar_t* PROGRAM_DATA_FOLDER_NAME = L"tideway";

enum ProgramDataStatus {
  PROGRAM_DATA_NONE = 0,     // the computer has none, or it could not be made (logged)
  PROGRAM_DATA_FOUND = 1,    // `folder` holds it, with its trailing separator
  PROGRAM_DATA_REFUSED = 2,  // it is there but not fit to use (an "ERROR:" line logged; `why` says so)
};

ProgramDataStatus GetProgramDataFolder(std::wstring* folder, std::wstring* why = nullptr);
// The folder to use instead of the system's (tests); empty: the system's.
void SetProgramDataFolderForTesting(const std::wstring& folder);
// The system's folder (program_data_win32.cpp / _posix.cpp), made when
// missing; 1 on success.
int SystemProgramDataFolder(std::wstring* folder);
