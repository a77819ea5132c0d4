#pragma once
// The product name ("PRODUCT" property) that product rules test. The main
// dialog stores it when it opens; tests set it directly.

#include <cstddef>

constexpr size_t PRODUCT_NAME_MAX = 256;

// Product words that rules test for.
constexpr const wchar_t* PRODUCT_VESTRA = L"VESTRA";
constexpr const wchar_t* PRODUCT_KORM = L"KORM";
constexpr const wchar_t* PRODUCT_TALEN = L"TALEN";
constexpr const wchar_t* PRODUCT_MIRO = L"MIRO";
constexpr const wchar_t* PRODUCT_SELUNAR = L"SELUNAR";
constexpr const wchar_t* PRODUCT_QV4410SERIES = L"QV4410SERIES";
constexpr const wchar_t* PRODUCT_CORVINE = L"CORVINE";
constexpr const wchar_t* PRODUCT_ELMBRIDGE = L"ELMBRIDGE";

extern wchar_t g_productName[PRODUCT_NAME_MAX];

// Bounded copy into g_productName (nullptr empties it).
void SetProductName(const wchar_t* name);
// 1 when g_productName begins with `word`: as many characters as the word has,
// compared case-sensitively.
int ProductIs(const wchar_t* word);
