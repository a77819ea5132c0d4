#include "update/firmware_choice.h"

#include <cwchar>

#include "host/file_io.h"
#include "host/logger.h"
#include "host/program_dir.h"
#include "host/properties.h"
#include "host/text_utils.h"
#include "host/unique_file.h"

bool ChooseFirmwareEntry(const TextList& pairs, const TextList& groups, const wchar_t* key, wchar_t* fileName,
                         wchar_t* productId, wchar_t* familyId) {
  Logger* log = Logger::Instance();
  fileName[0] = productId[0] = familyId[0] = 0;
  if (pairs.size() < 2) {
    if (groups.size() > 1) {
      log->Write(L"m_binfileListWithIDs.GetCount() = %d", static_cast<int>(groups.size()));
      for (size_t i = 0; i < groups.size(); i += 4) {
        log->Write(L"cDriver = %ls", groups[i].c_str());
        if (!WildcardMatch(groups[i].c_str(), key)) continue;
        if (i + 1 < groups.size()) CopyText(fileName, DLG_NAME_MAX, groups[i + 1].c_str());
        if (i + 2 < groups.size()) CopyText(productId, DLG_NAME_MAX, groups[i + 2].c_str());
        if (i + 3 < groups.size()) CopyText(familyId, DLG_NAME_MAX, groups[i + 3].c_str());
        break;
      }
    }
  } else {
    for (size_t i = 0; i + 1 < pairs.size(); i += 2) {
      if (WildcardMatch(pairs[i].c_str(), key)) {
        CopyText(fileName, DLG_NAME_MAX, pairs[i + 1].c_str());
        break;
      }
    }
  }
  log->Write(L"BinFile:%ls, prodID:%ls, famID:%ls", fileName, productId, familyId);
  return fileName[0] != 0;
}

FirmwareTables FirmwareTables::FromProperties() {
  FirmwareTables tables;
  CProperties* properties = CProperties::Instance();
  properties->GetPropertyList(L"BIN_FILES", tables.binfileList);
  properties->GetPropertyList(L"ASIAN_BIN_FILES", tables.asianBinfileList);
  properties->GetPropertyList(L"BIN_FILES_AND_IDS", tables.binfileListWithIDs);
  wchar_t directory[DLG_PATH_MAX] = {0};
  if (GetProgramDirectory(directory)) tables.programDirectory = directory;
  return tables;
}

namespace {
bool ChooseBinFile(const FirmwareTables& tables, const TextList& pairs, const wchar_t* key, wchar_t* path,
                   wchar_t* productId, wchar_t* familyId) {
  Logger* log = Logger::Instance();
  log->Write(L"GetBinFile(%ls)", key);
  wchar_t fileName[DLG_NAME_MAX];
  if (!ChooseFirmwareEntry(pairs, tables.binfileListWithIDs, key, fileName, productId, familyId)) {
    log->Write(L"Could not find a firmware file to use for programming.");
    return false;
  }
  CopyText(path, DLG_PATH_MAX, tables.programDirectory.c_str());
  const size_t wanted = wcslen(path) + wcslen(fileName);
  AppendText(path, DLG_PATH_MAX, fileName);
  log->Write(L"Firmware file = %ls", path);
  // A cut path would name some other file.
  if (wanted >= DLG_PATH_MAX) {
    log->Write(L"  Cannot open %ls: the path is too long", path);
    return false;
  }
  UniqueFile file(OpenFileWide(path, "rb"));
  if (!file) {
    log->WriteError(LastSystemError(), L"  Cannot open %ls", path);
    return false;
  }
  return true;
}
}  // namespace

bool GetBinFile(const FirmwareTables& tables, const wchar_t* key, wchar_t* path, wchar_t* productId,
                wchar_t* familyId) {
  return ChooseBinFile(tables, tables.binfileList, key, path, productId, familyId);
}

bool GetBinFileAsian(const FirmwareTables& tables, const wchar_t* key, wchar_t* path, wchar_t* productId,
                     wchar_t* familyId) {
  return ChooseBinFile(tables, tables.asianBinfileList, key, path, productId, familyId);
}
