#pragma once
#include <cstdint>

// The user-interface language id: the user's UI language when it equals both
// the user's and the system's default language, else the system's UI language.
uint16_t GetUILanguage();
// The rule itself, for tests.
uint16_t ChooseUILanguage(uint16_t userUi, uint16_t systemUi, uint16_t userDefault, uint16_t systemDefault);
// Whether texts of language `language` read right to left (Arabic, Hebrew).
bool IsRightToLeftLanguage(uint16_t language);
