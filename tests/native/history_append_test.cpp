// A history line is written whole or not at all: a write the file system
// cuts short (here a file size limit, as a full disk would) leaves the file as
// it was, and the next update's line follows the last whole one.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <vector>

#include "app/update_history.h"
#include "support/firmware_builder.h"

TEST(HistoryAppend, AWriteCutShortLeavesTheFileAsItWas) {
  const std::filesystem::path dir(fwtest::TempPath(L"history-append"));
  std::filesystem::create_directories(dir);
  const std::wstring folder = (dir / "").wstring();
  HistoryEntry entry;
  entry.time = L"2024-03-01T09:05:07Z";
  entry.printer.outcome = UpdateOutcome::Updated;
  entry.programVersion = L"2.4.1.1";
  entry.printer.name = L"A";
  ASSERT_TRUE(AppendHistory(folder, entry));
  const std::vector<uint8_t> before = fwtest::ReadFileBytes(HistoryPath(folder, 0));

  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  signal(SIGXFSZ, SIG_IGN);
  rlimit limited = old;
  limited.rlim_cur = before.size() + 10;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  entry.printer.name = L"B";
  const bool appended = AppendHistory(folder, entry);
  setrlimit(RLIMIT_FSIZE, &old);

  EXPECT_FALSE(appended);
  EXPECT_EQ(fwtest::ReadFileBytes(HistoryPath(folder, 0)), before);
  entry.printer.name = L"C";
  ASSERT_TRUE(AppendHistory(folder, entry));
  const std::vector<HistoryEntry> read = ReadHistory(folder, 10);
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read[1].printer.name, L"C");
}
