#include <windows.h>

#include "host/ui_language.h"

uint16_t GetUILanguage() {
  return ChooseUILanguage(GetUserDefaultUILanguage(), GetSystemDefaultUILanguage(), GetUserDefaultLangID(),
                          GetSystemDefaultLangID());
}
