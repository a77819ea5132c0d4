#include "host/program_data.h"

// A native build serves tests and tools only: nothing of the computer's.
int SystemProgramDataFolder(std::wstring*) {
  return 0;
}
