// The run's JSON report: printer names and paths are user text in any script,
// so they must come back from a JSON parser exactly; unknown values are null.
#include "app/run_report.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

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
  known.outcome = L"updated";
  known.detail = L"ok";
  known.seconds = 1.5;
  PrinterReport missing;
  missing.name = L"Gone";
  missing.outcome = L"not-found";
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
