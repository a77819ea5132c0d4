#pragma once
#include <cstddef>

constexpr size_t PROGRAM_PATH_MAX = 260;

// The full directory of the program file with a trailing backslash (260
// characters). 1 on success.
int GetProgramDirectory(wchar_t* out);
