#include "printer/product_name.h"

#include <cwchar>

#include "host/text_utils.h"

wchar_t g_productName[PRODUCT_NAME_MAX] = {};

void SetProductName(const wchar_t* name) { CopyText(g_productName, PRODUCT_NAME_MAX, name ? name : L""); }

int ProductIs(const wchar_t* word) {
  if (!word) return 0;
  return wcsncmp(g_productName, word, wcslen(word)) == 0 ? 1 : 0;
}
