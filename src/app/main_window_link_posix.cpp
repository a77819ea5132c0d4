#include "app/main_window_link.h"

// No window system natively: only tests, through their own sender, receive
// the messages.
void SystemSendMainWindowMessage(void*, unsigned, uintptr_t, intptr_t) {}
