// The history of updates: a line reads back as it was written, a line cut at
// a power loss is skipped (and the next update's line is not lost with it),
// and the file rotates at 1 MiB keeping four generations.
#include "app/update_history.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/firmware_builder.h"

namespace {

// An empty folder of the test's own, with its trailing separator.
std::wstring Folder(const std::wstring& name) {
  const std::filesystem::path path(fwtest::TempPath(name));
  std::filesystem::remove_all(path);
  std::filesystem::create_directories(path);
  return (path / "").wstring();
}

HistoryEntry Entry(const std::wstring& printer, uint32_t before) {
  HistoryEntry e;
  e.time = L"2024-03-01T09:05:07Z";
  e.computer = L"PRINTSRV01";
  e.user = L"SYSTEM";
  e.printer.name = printer;
  e.printer.port = L"IP_10.0.0.2";
  e.printer.kind = L"network";
  e.printer.address = L"10.0.0.2";
  e.printer.file = L"C:\\Program Files\\tideway\\a.bin";
  e.printer.fileSha256 = std::wstring(64, L'A');
  e.printer.fileVersion = {true, 20230115, {}};
  e.printer.versionBefore = {true, before, {}};
  e.printer.versionAfter = {true, 20230115, {}};
  e.printer.outcome = UpdateOutcome::Updated;
  e.printer.detail = printer + L": Successfully updated firmware.";
  e.printer.seconds = 74.25;
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

std::string ReadText(const std::wstring& path) {
  const std::vector<uint8_t> bytes = fwtest::ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace

TEST(UpdateHistory, LineReadsBackAsWritten) {
  HistoryEntry known = Entry(L"Caf\u00e9 \u0416 \"2\\3\"\t\u6f22 \U0001F5A8", 20150101);
  known.printer.versionBefore = {true, 9999, {{"print", 12}, {"NandLDR", 3}}};
  HistoryEntry unknown;
  unknown.time = L"2024-03-01T10:00:00Z";
  unknown.printer.name = L"Gone";
  unknown.printer.outcome = UpdateOutcome::NotFound;
  unknown.programVersion = L"2.4.1.1";

  const std::string text = HistoryLine(known) + HistoryLine(unknown);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2) << "one line each";
  const std::vector<HistoryEntry> read = ParseHistoryText(text);
  ASSERT_EQ(read.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    const HistoryEntry& want = i == 0 ? known : unknown;
    const HistoryEntry& got = read[i];
    EXPECT_EQ(HistoryLine(got), HistoryLine(want));
    EXPECT_EQ(got.printer.name, want.printer.name);
    EXPECT_EQ(got.printer.versionBefore.parts, want.printer.versionBefore.parts);
    EXPECT_EQ(got.printer.seconds, want.printer.seconds);
  }
  std::vector<std::string> keys;
  const ReportJson parsed = ReportJson::parse(HistoryLine(known));
  for (const auto& item : parsed.items()) keys.push_back(item.key());
  EXPECT_EQ(keys, (std::vector<std::string>{"time", "computer", "user", "name", "port", "kind", "address", "file",
                                            "fileSha256", "fileVersion", "versionBefore", "versionAfter", "outcome",
                                            "detail", "seconds", "programVersion"}));
}

TEST(UpdateHistory, LineCutAtAPowerLossIsSkippedAndTheNextOneKept) {
  const std::wstring folder = Folder(L"history-cut");
  ASSERT_TRUE(AppendHistory(folder, Entry(L"A", 1)));
  ASSERT_TRUE(AppendHistory(folder, Entry(L"B", 2)));
  const std::wstring path = HistoryPath(folder, 0);
  std::string text = ReadText(path);
  const std::string lineB = HistoryLine(Entry(L"B", 2));
  // Every cut of B's line leaves A alone: not B, not half of B, not B without
  // its newline (the whole object, cut before it was known to be whole).
  for (size_t cut = 1; cut < lineB.size(); cut += 7) {
    WriteText(path, text.substr(0, text.size() - cut));
    EXPECT_EQ(Names(ReadHistory(folder, 10)), std::vector<std::wstring>{L"A"}) << cut;
  }
  // The cut line stays a line of its own: the next update's entry is read.
  ASSERT_TRUE(AppendHistory(folder, Entry(L"C", 3)));
  EXPECT_EQ(Names(ReadHistory(folder, 10)), (std::vector<std::wstring>{L"A", L"C"}));
  // Lines that are no entry are skipped, whole lines of any kind, and so is
  // an outcome this program never wrote.
  std::string planted = HistoryLine(Entry(L"E", 5));
  planted.replace(planted.find("\"updated\""), 9, "\"updated!\"");
  WriteText(path, "{\"time\":1}\n" + HistoryLine(Entry(L"D", 4)) + "not json\n[]\n" + planted);
  EXPECT_EQ(Names(ReadHistory(folder, 10)), std::vector<std::wstring>{L"D"});
}

TEST(UpdateHistory, RotatesAtOneMebibyteKeepingFourGenerations) {
  const std::wstring folder = Folder(L"history-rotate");
  for (int g = 1; g < HISTORY_GENERATIONS; ++g) {
    WriteText(HistoryPath(folder, g), HistoryLine(Entry(L"gen" + std::to_wstring(g), 0)));
  }
  const std::string line = HistoryLine(Entry(L"last", 0));
  // The current file one byte short of taking the line within 1 MiB.
  std::string full(HISTORY_ROTATE_BYTES - line.size() - 1 - line.size(), 'x');
  full += "\n" + line;
  WriteText(HistoryPath(folder, 0), full);

  ASSERT_TRUE(AppendHistory(folder, Entry(L"fits", 0)));
  EXPECT_EQ(ReadText(HistoryPath(folder, 0)).size(), HISTORY_ROTATE_BYTES) << "up to 1 MiB stays in one file";
  ASSERT_TRUE(AppendHistory(folder, Entry(L"new", 0)));
  EXPECT_EQ(ReadText(HistoryPath(folder, 0)), HistoryLine(Entry(L"new", 0)));
  EXPECT_EQ(ReadText(HistoryPath(folder, 1)).size(), HISTORY_ROTATE_BYTES);
  EXPECT_EQ(Names(ParseHistoryText(ReadText(HistoryPath(folder, 2)))), std::vector<std::wstring>{L"gen1"});
  EXPECT_EQ(Names(ParseHistoryText(ReadText(HistoryPath(folder, 3)))), std::vector<std::wstring>{L"gen2"});
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(HistoryPath(folder, 4))));

  // The newest entries across the generations, oldest first.
  EXPECT_EQ(Names(ReadHistory(folder, 4)), (std::vector<std::wstring>{L"gen1", L"last", L"fits", L"new"}));
  EXPECT_EQ(Names(ReadHistory(folder, 2)), (std::vector<std::wstring>{L"fits", L"new"}));
}
