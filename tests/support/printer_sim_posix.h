#pragma once
// Kept for native tests that include the POSIX name; the API is in printer_sim.h.
#include "printer_sim.h"
