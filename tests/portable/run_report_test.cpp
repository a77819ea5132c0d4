// The run's JSON report: printer names and paths are user text in any script,
// so they must come back from a JSON parser exactly; unknown values are null.
// The file is replaced whole, never rewritten in place.
#include "app/run_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

#include "host/file_io.h"

TEST(RunReport, DocumentReadsBackExactly) {
  RunReport report;
  report.exitCode = EXITCODE_FAILED;
  PrinterReport known;
  // Quotes, a backslash, a control character, non-ASCII and a character outside the BMP.
  known.name = L"Caf\u00e9 \"2\\3\"\t\u6f22 \U0001F5A8";
  known.port = L"IP_10.0.0.2";
  known.kind = L"network";
  known.address = L"10.0.0.2";
  known.file = L"C:\\Program Files\\tideway\\a.bin";
  known.fileVersion = {true, 20230115, {}};
  known.versionBefore = {true, 9999, {{"print", 12}, {"NandLDR", 3}}};
  known.outcome = UpdateOutcome::Updated;
  known.detail = L"ok";
  known.seconds = 1.5;
  PrinterReport missing;
  missing.name = L"Gone";
  missing.outcome = UpdateOutcome::NotFound;
  report.printers = {known, missing};

  const nlohmann::json doc = nlohmann::json::parse(RunReportJson(report));
  EXPECT_EQ(doc["exitCode"], 1);
  ASSERT_EQ(doc["printers"].size(), 2u);
  const nlohmann::json& a = doc["printers"][0];
  EXPECT_EQ(a["name"], "Caf\xc3\xa9 \"2\\3\"\t\xe6\xbc\xa2 \xf0\x9f\x96\xa8");
  EXPECT_EQ(a["file"], "C:\\Program Files\\tideway\\a.bin");
  EXPECT_EQ(a["fileVersion"], 20230115);
  EXPECT_EQ(a["versionBefore"], nlohmann::json({{"print", 12}, {"NandLDR", 3}}));
  EXPECT_TRUE(a["versionAfter"].is_null());
  EXPECT_EQ(a["seconds"], 1.5);
  const nlohmann::json& b = doc["printers"][1];
  for (const char* key :
       {"port", "kind", "address", "file", "fileSha256", "fileVersion", "versionBefore", "versionAfter", "detail"}) {
    EXPECT_TRUE(b[key].is_null()) << key;
  }
  EXPECT_EQ(b["outcome"], "not-found");
  const std::vector<std::string> keys = {"name",         "port",       "kind",        "address",
                                         "file",         "fileSha256", "fileVersion", "versionBefore",
                                         "versionAfter", "outcome",    "detail",      "seconds"};
  // Every key, in the documented order.
  const nlohmann::ordered_json ordered = nlohmann::ordered_json::parse(RunReportJson(report));
  for (const auto& printer : ordered["printers"]) {
    std::vector<std::string> order;
    for (const auto& item : printer.items()) order.push_back(item.key());
    EXPECT_EQ(order, keys);
  }
}

namespace {
std::vector<std::string> FolderNames(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}
}  // namespace

// A tool reads the report whenever it likes: it finds the previous document or
// the new one, whole, never a mix, and no temporary file stays behind.
TEST(RunReport, ReplacesThePreviousReportWhole) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("tideway-report-" + std::to_string(std::random_device{}()));
  fs::create_directories(dir);
  const fs::path target = dir / "report.json";
  const std::string previous(200, 'x');
  std::ofstream(target, std::ios::binary) << previous;
  RunReport report;
  report.exitCode = EXITCODE_CURRENT;
#ifndef _WIN32
  // Written in place, a reader that opened the previous report would see it cut short.
  std::ifstream reader(target, std::ios::binary);
#endif
  ASSERT_TRUE(WriteRunReport(report, target.wstring()));
  std::string text;
  {
    std::ifstream after(target, std::ios::binary);
    text.assign(std::istreambuf_iterator<char>(after), std::istreambuf_iterator<char>());
  }
  EXPECT_EQ(text, RunReportJson(report));
  EXPECT_EQ(FolderNames(dir), std::vector<std::string>{"report.json"});
#ifndef _WIN32
  const std::string seen((std::istreambuf_iterator<char>(reader)), std::istreambuf_iterator<char>());
  EXPECT_EQ(seen, previous);
#endif

  // A report that cannot be put in place (a folder has the name) fails and leaves nothing behind.
  fs::create_directories(dir / "taken.json" / "inside");
  EXPECT_FALSE(WriteRunReport(report, (dir / "taken.json").wstring()));
  EXPECT_EQ(FolderNames(dir), (std::vector<std::string>{"report.json", "taken.json"}));
  fs::remove_all(dir);
}

// The report may go to a folder where others create files: a file laid under
// the temporary name a writer would have taken (once "<report>.<pid>.tmp") is
// neither written through nor moved into place, and no name is opened twice.
TEST(RunReport, APlantedTemporaryFileIsLeftAlone) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("tideway-report-" + std::to_string(std::random_device{}()));
  fs::create_directories(dir);
  const fs::path target = dir / "report.json";
  const std::string planted = "report.json." + std::to_string(CurrentProcessId()) + ".tmp";
  std::ofstream(dir / planted, std::ios::binary) << "planted";
  RunReport report;
  report.exitCode = EXITCODE_CURRENT;

  ASSERT_TRUE(WriteRunReport(report, target.wstring()));
  auto read = [](const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  };
  EXPECT_EQ(read(target), RunReportJson(report));
  EXPECT_EQ(read(dir / planted), "planted");
  EXPECT_EQ(FolderNames(dir), (std::vector<std::string>{"report.json", planted}));
  EXPECT_EQ(CreateNewFileWide((dir / planted).wstring().c_str()), nullptr);
  EXPECT_EQ(read(dir / planted), "planted");
  fs::remove_all(dir);
}
