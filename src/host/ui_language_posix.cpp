#include "host/ui_language.h"

// Natively there is no user-interface language to ask; English (United States).
uint16_t GetUILanguage() { return 0x0409; }
