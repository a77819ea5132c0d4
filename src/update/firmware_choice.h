#pragma once
// Which firmware file fits a printer: the configured tables, matched by the
// printer's model name (or driver name) with WildcardMatch.

#include <cstddef>
#include <string>
#include <vector>

constexpr size_t DLG_NAME_MAX = 256;
constexpr size_t DLG_PATH_MAX = 260;

using TextList = std::vector<std::wstring>;

// The firmware file for `key` from one table: `pairs` (driver pattern, file
// name) when it has two or more entries, else `groups` (driver pattern, file
// name, product ID, family ID) when it has more than one. `fileName`,
// `productId` and `familyId` (DLG_NAME_MAX each) get the first match; false
// when no entry matched.
bool ChooseFirmwareEntry(const TextList& pairs, const TextList& groups, const wchar_t* key, wchar_t* fileName,
                         wchar_t* productId, wchar_t* familyId);

// The tables of "properties.ini" and the folder the files are read from.
struct FirmwareTables {
  TextList binfileList;           // "BIN_FILES"
  TextList asianBinfileList;      // "ASIAN_BIN_FILES"
  TextList binfileListWithIDs;    // "BIN_FILES_AND_IDS"
  std::wstring programDirectory;  // with its trailing separator

  // Reads the three tables from the process's properties; the folder is the
  // program's.
  static FirmwareTables FromProperties();
};

// The file for `key` as a path beside the program (`path`, DLG_PATH_MAX) that
// can be opened for reading; false otherwise (logged). GetBinFileAsian reads
// the Asian table in place of "BIN_FILES".
bool GetBinFile(const FirmwareTables& tables, const wchar_t* key, wchar_t* path, wchar_t* productId, wchar_t* familyId);
bool GetBinFileAsian(const FirmwareTables& tables, const wchar_t* key, wchar_t* path, wchar_t* productId,
                     wchar_t* familyId);
