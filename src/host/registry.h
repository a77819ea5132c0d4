#pragma once
// Registry helpers on the local machine hive. Windows only (registry_win32.cpp)
// but for RegistryTextBytes: the header names no Windows types beyond the key
// handle, declared as <windows.h> declares it.
//
// Results are system error codes (0 success, 2 not found, 1011 key could not be
// created, ...). Key paths are below HKEY_LOCAL_MACHINE, at most 256 characters.

#include <cstddef>
#include <cstdint>

struct HKEY__;
typedef HKEY__* HKEY;

constexpr size_t REGISTRY_KEY_PATH_MAX = 256;
constexpr long REGISTRY_ERROR_CANNOT_OPEN = 1011;  // ERROR_CANTOPEN

// The size to store a REG_SZ value of `chars` UTF-16 units with: its
// terminator included, which readers of the value count on and not every
// system adds.
constexpr uint32_t RegistryTextBytes(size_t chars) { return static_cast<uint32_t>((chars + 1) * 2); }

// Opens or creates the key with full access, creating each missing level from
// the left first. Returns the open key (close it with CloseKey) or nullptr.
HKEY CreateKey(const wchar_t* keyPath);
void CloseKey(HKEY key);

// Creates the key as CreateKey does and sets the value (`type` is a REG_*
// type, `size` in bytes). Returns the system result, or 1011 when the key
// could not be created.
long SaveValueToHKey(const wchar_t* keyPath, const wchar_t* valueName, const void* data, uint32_t size,
                     uint32_t type);
// Reads a value; `size` is the buffer size in bytes on entry and the value's
// size on return. Returns the result of the read, or of the open when that
// failed.
long GetValueFromHKey(const wchar_t* keyPath, const wchar_t* valueName, void* buffer, uint32_t* size);
// Reads a value and its REG_* type from the 64-bit view (where Group Policy
// writes), logging nothing: a missing key or value is 2, a value larger than
// `size` bytes 234 (ERROR_MORE_DATA). `size` as for GetValueFromHKey.
long ReadValueFromHKey(const wchar_t* keyPath, const wchar_t* valueName, void* buffer, uint32_t* size,
                       uint32_t* type);
// Deletes a value; a missing key returns 2 without an error line.
long DeleteValueFromHKey(const wchar_t* keyPath, const wchar_t* valueName);
// Stores the DWORD 1 as "InstallCrashed" in the key.
long SaveDwordToHKLM(const wchar_t* keyPath);

// Reads a text value into `out` (`outChars` wide characters, always
// terminated, empty on failure), logging "GetStringFromHKLM %s %s" first.
// Returns the result of GetValueFromHKey.
long GetStringFromHKLM(const wchar_t* keyPath, const wchar_t* valueName, wchar_t* out, size_t outChars);
