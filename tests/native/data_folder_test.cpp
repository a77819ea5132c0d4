// A standard user may get to the program's data folder first (made before the
// program's first run, or through permissions it inherited): nothing laid
// there for it, a link to elsewhere or a folder or file of the user's, is
// written through, and what the link points to stays as it was.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "app/update_history.h"
#include "app/update_record.h"
#include "host/program_data.h"
#include "support/firmware_builder.h"

namespace fs = std::filesystem;

namespace {

fs::path FreshDir(const std::wstring& name) {
  const fs::path dir(fwtest::TempPath(name));
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

PrinterReport Updated() {
  PrinterReport report;
  report.name = L"QV T1";
  report.outcome = UpdateOutcome::Updated;
  return report;
}

std::vector<fs::path> Contents(const fs::path& dir) {
  std::vector<fs::path> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename());
  return names;
}

}  // namespace

TEST(DataFolder, APlantedFolderIsNotWrittenTo) {
  const fs::path dir = FreshDir(L"data-folder-planted");
  const fs::path elsewhere = dir / "elsewhere";
  fs::create_directories(elsewhere);
  fs::create_directory_symlink(elsewhere, dir / "link");
  const fs::path foreign = dir / "foreign";
  fs::create_directories(foreign);
  const bool root = geteuid() == 0;
  // Only root can give a folder to another account.
  if (root) {
    ASSERT_EQ(chown(foreign.c_str(), 1234, 1234), 0);
  }

  std::wstring previous;
  GetProgramDataFolder(&previous);
  for (const fs::path& folder : {dir / "link", foreign}) {
    if (folder == foreign && !root) continue;
    SetProgramDataFolderForTesting(folder.wstring());
    RecordUpdate(Updated());
    EXPECT_TRUE(Contents(folder).empty()) << folder;
  }
  SetProgramDataFolderForTesting(previous);
  EXPECT_TRUE(Contents(elsewhere).empty());
  fs::remove_all(dir);
}

TEST(DataFolder, APlantedHistoryFileIsNotWrittenThrough) {
  const fs::path dir = FreshDir(L"data-folder-history-link");
  const fs::path folder = dir / "data";
  fs::create_directories(folder);
  const fs::path victim = dir / "victim.txt";
  fwtest::WriteFileBytes(victim.wstring(), {'k', 'e', 'e', 'p'});
  fs::create_symlink(victim, folder / "history.jsonl");
  HistoryEntry entry;
  entry.time = L"2024-03-01T09:05:07Z";
  entry.printer = Updated();

  EXPECT_FALSE(AppendHistory((folder / "").wstring(), entry));
  EXPECT_EQ(fwtest::ReadFileBytes(victim.wstring()), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
  fs::remove_all(dir);
}
