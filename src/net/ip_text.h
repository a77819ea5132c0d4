#pragma once
// Address text rules. Portable: no Windows API here.

// 1 when `text` reads as a dotted IPv4 address, optionally with ":port" after
// it (numbers at most 255, port at most 65535, only digits, dots and colons).
int IsIPv4Text(const wchar_t* text);

// Pre-filter for IPv6 address texts: brackets, a "/prefix" (at most 128) or a
// "%zone" (decimal) suffix, one "::" at most, groups of at most 4 characters,
// at most 8 groups (6 before a dotted IPv4 tail). The system conversion that
// follows is the final judge.
int IsIPv6Text(const wchar_t* text);
