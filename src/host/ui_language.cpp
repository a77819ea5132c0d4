#include "host/ui_language.h"

uint16_t ChooseUILanguage(uint16_t userUi, uint16_t systemUi, uint16_t userDefault, uint16_t systemDefault) {
  if (userUi == userDefault && userUi == systemDefault) return userUi;
  return systemUi;
}

bool IsRightToLeftLanguage(uint16_t language) {
  const uint16_t primary = language & 0x3FF;
  return primary == 0x01 || primary == 0x0D;
}
