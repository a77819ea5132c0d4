// What the Win32 layer adds to the data folder's rules, under Wine: the facts
// read of folders the program makes and of ones laid in its way, the
// descriptor it makes its folder with, and the history's file sharing (a
// reader holding a file keeps it from moving; a second writer holds it too).
// Wine 8 keeps no security descriptor of its own for a file (it answers from
// the Unix owner and mode), so the folder's DACL cannot be read back here: the
// descriptor is checked as the program hands it to CreateDirectoryW.
// clang-format off
#include <windows.h>
#include <sddl.h>
// clang-format on

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/update_history.h"
#include "host/data_path.h"
#include "host/program_data.h"
#include "support/firmware_builder.h"
#include "support/test_env.h"

namespace fs = std::filesystem;

namespace {

std::wstring FreshFolder(const std::wstring& name) {
  const fs::path dir(fwtest::TempPath(name));
  fs::remove_all(dir);
  fs::create_directories(dir);
  return (dir / "").wstring();
}

HistoryEntry Entry(const std::wstring& name) {
  HistoryEntry e;
  e.time = L"2024-03-01T09:05:07Z";
  e.printer.name = name;
  e.printer.outcome = UpdateOutcome::Updated;
  e.programVersion = L"2.4.1.1";
  return e;
}

std::vector<std::wstring> Names(const std::vector<HistoryEntry>& entries) {
  std::vector<std::wstring> names;
  for (const HistoryEntry& e : entries) names.push_back(e.printer.name);
  return names;
}

void WriteText(const std::wstring& path, const std::string& text) {
  fwtest::WriteFileBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

}  // namespace

TEST(DataFolderWin32, ReadsTheFactsOfMadeAndPlantedFolders) {
  const std::wstring dir = FreshFolder(L"data-folder-facts");
  const std::wstring made = dir + L"made";
  ASSERT_EQ(CreateProtectedFolder(made.c_str()), 1) << GetLastError();
  PathFacts facts;
  ASSERT_EQ(ReadPathFacts((made + L"\\").c_str(), &facts), 1);
  EXPECT_TRUE(facts.exists && facts.directory && !facts.reparsePoint && facts.trustedOwner);
  EXPECT_EQ(CreateProtectedFolder(made.c_str()), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(ReadPathFacts((dir + L"none").c_str(), &facts), 0);
  EXPECT_FALSE(facts.exists);

  // Laid by scripts/lib/pre-test.d/60-data-folder-fixtures.sh.
  const std::wstring fixtures = fwtest::BinaryDir() + L"\\data-folder-fixtures\\";
  if (ReadPathFacts((fixtures + L"target").c_str(), &facts) != 1) {
    GTEST_SKIP() << "no fixtures: run scripts/lib/pre-test.d/60-data-folder-fixtures.sh first";
  }
  // A link to a folder, as a junction would be.
  ASSERT_EQ(ReadPathFacts((fixtures + L"link").c_str(), &facts), 1);
  EXPECT_TRUE(facts.reparsePoint);
  EXPECT_EQ(JudgePath(facts, PATH_KIND_FOLDER), PATH_REPARSE_POINT);
  std::wstring previous;
  GetProgramDataFolder(&previous);
  SetProgramDataFolderForTesting(fixtures + L"link");
  std::wstring folder;
  EXPECT_EQ(GetProgramDataFolder(&folder), PROGRAM_DATA_REFUSED);
  SetProgramDataFolderForTesting(previous);

  // A folder of another account (Wine reports a Unix owner not its own as such).
  if (!fs::exists(fixtures + L"given")) GTEST_SKIP() << "the folder could not be given to another account";
  ASSERT_EQ(ReadPathFacts((fixtures + L"foreign").c_str(), &facts), 1);
  EXPECT_TRUE(facts.directory && !facts.reparsePoint);
  EXPECT_FALSE(facts.trustedOwner);
}

// Protected (nothing inherited from %ProgramData%), owned by Administrators;
// SYSTEM and Administrators control it, Users read it; all of it inherited inside.
TEST(DataFolderWin32, FolderDescriptorIsProtectedAndReadOnlyForUsers) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(PROTECTED_FOLDER_SDDL, SDDL_REVISION_1,
                                                                   &descriptor, nullptr));
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
  EXPECT_TRUE(control & SE_DACL_PROTECTED);
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  ASSERT_TRUE(GetSecurityDescriptorOwner(descriptor, &owner, &defaulted));
  EXPECT_TRUE(owner && IsWellKnownSid(owner, WinBuiltinAdministratorsSid));
  BOOL present = FALSE;
  PACL dacl = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
  ASSERT_TRUE(present && dacl);
  struct Expected {
    WELL_KNOWN_SID_TYPE who;
    ACCESS_MASK mask;
  } expected[] = {{WinLocalSystemSid, FILE_ALL_ACCESS},
                  {WinBuiltinAdministratorsSid, FILE_ALL_ACCESS},
                  {WinBuiltinUsersSid, FILE_GENERIC_READ | FILE_GENERIC_EXECUTE}};
  ASSERT_EQ(dacl->AceCount, 3u);
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
    EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(ace->Header.AceFlags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
    EXPECT_TRUE(IsWellKnownSid(reinterpret_cast<PSID>(&ace->SidStart), expected[i].who)) << i;
    EXPECT_EQ(ace->Mask, expected[i].mask) << i;
  }
  LocalFree(descriptor);
}

// A reader holding the current file (a listing, an editor) keeps it from
// moving: no generation is dropped for a rotation that cannot take place, the
// line goes to the current file, and the next update rotates.
TEST(DataFolderWin32, RotationWaitsForAFileHeldOpen) {
  const std::wstring folder = FreshFolder(L"history-held");
  for (int g = 1; g < HISTORY_GENERATIONS; ++g) {
    WriteText(HistoryPath(folder, g), HistoryLine(Entry(L"g" + std::to_wstring(g))));
  }
  // The current file's line and a filler that takes it to the edge of rotation.
  const std::string first = HistoryLine(Entry(L"current"));
  WriteText(HistoryPath(folder, 0), first + std::string(HISTORY_ROTATE_BYTES - first.size() - 20, 'x') + "\n");

  FILE* reader = _wfopen(HistoryPath(folder, 0).c_str(), L"rb");
  ASSERT_NE(reader, nullptr);
  EXPECT_TRUE(AppendHistory(folder, Entry(L"held")));
  fclose(reader);
  EXPECT_EQ(Names(ReadHistory(folder, 10)), (std::vector<std::wstring>{L"g3", L"g2", L"g1", L"current", L"held"}));

  EXPECT_TRUE(AppendHistory(folder, Entry(L"free")));
  EXPECT_EQ(Names(ReadHistory(folder, 10)), (std::vector<std::wstring>{L"g2", L"g1", L"current", L"held", L"free"}));
  EXPECT_FALSE(fs::exists(fs::path(folder) / "history.rotating"));
}

// Another process appending at the same time holds the file open for writing:
// this one's line is added beside it, whole, and neither is lost.
TEST(DataFolderWin32, ASecondWriterKeepsBothLines) {
  const std::wstring folder = FreshFolder(L"history-writers");
  const HANDLE other = CreateFileW(HistoryPath(folder, 0).c_str(), FILE_APPEND_DATA,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  auto otherWrites = [other](const std::wstring& name) {
    const std::string line = HistoryLine(Entry(name));
    DWORD written = 0;
    return WriteFile(other, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) && written == line.size();
  };
  ASSERT_TRUE(otherWrites(L"other"));
  EXPECT_TRUE(AppendHistory(folder, Entry(L"this")));
  ASSERT_TRUE(otherWrites(L"other again"));
  CloseHandle(other);
  EXPECT_EQ(Names(ReadHistory(folder, 10)), (std::vector<std::wstring>{L"other", L"this", L"other again"}));
}
