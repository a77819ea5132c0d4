// The example configurations of docs/examples, read from the source tree the
// way start-up reads properties.ini beside the program: each passes start-up's
// checks, refuses no line, and chooses the firmware files that
// docs/configuration.md says it does; the document shows each file as it is.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/tideway_app.h"
#include "app/tideway_dlg.h"
#include "host/properties.h"
#include "host/text_utils.h"
#include "support/log_capture.h"

namespace {

std::wstring ExampleFolder(const char* example) {
  // One conversion at a time: they share one buffer.
  std::wstring folder = FromUtf8Static(TIDEWAY_SOURCE_DIR "/docs/examples/");
  folder += FromUtf8Static(example);
  return folder + L"/";
}

std::string SourceFile(const std::string& relative) {
  std::ifstream in(TIDEWAY_SOURCE_DIR "/" + relative, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

TEST(ConfigurationExamples, StartUpReadsThem) {
  struct Case {
    const char* example;
    std::vector<std::wstring> drivers;
    const wchar_t* series;
    const wchar_t* product;
    std::vector<std::wstring> errors;  // "ERROR" lines of the load
  } cases[] = {
      {"network",
       {L"QV 7100 Series PCL6", L"QV 7100 Series PS"},
       L"QV 7100",
       L"QV7100",
       {L"ERROR: Property 'BIN_FILES' does NOT exist."}},
      {"usb", {L"QV Elmbridge 6200 Series"}, L"QV Elmbridge", L"ELMBRIDGE 6200", {}},
      {"parallel", {L"QV Vestra 5100 Series", L"QV Vestra 5100 Series PS"}, L"QV Vestra", L"VESTRA 5100", {}},
  };
  for (const Case& c : cases) {
    const std::string file = SourceFile(std::string("docs/examples/") + c.example + "/properties.ini");
    EXPECT_FALSE(file.empty()) << c.example;
    EXPECT_NE(std::string::npos, SourceFile("docs/configuration.md").find("```ini\n" + file + "```\n")) << c.example;

    LogCapture log;
    CProperties props;
    EXPECT_TRUE(InitProperties(props, ExampleFolder(c.example).c_str(), FirmwarePolicy())) << c.example;
    std::vector<std::wstring> errors;
    for (const std::wstring& line : log.Lines()) {
      if (line.find(L"ERROR") != std::wstring::npos) errors.push_back(line);
    }
    EXPECT_EQ(c.errors, errors) << c.example;

    std::vector<std::wstring> drivers;
    props.GetPropertyList(L"DRIVER_NAMES", drivers);
    EXPECT_EQ(c.drivers, drivers) << c.example;
    std::wstring text;
    props.GetProperty(L"PRINTER_SERIESNAME", text);
    EXPECT_EQ(c.series, text) << c.example;
    props.GetProperty(L"PRODUCT", text);
    EXPECT_EQ(c.product, text) << c.example;
  }
}

TEST(ConfigurationExamples, FirmwareFileChoice) {
  struct Case {
    const char* example;
    const wchar_t* key;  // the model the printer reports, or the driver name
    bool asian;          // an ELMBRIDGE printer whose panel build says ASIAN
    const wchar_t* file;
    const wchar_t* product;
    const wchar_t* family;
  } cases[] = {
      {"network", L"QV 7100dn", false, L"qv7100dn.pkg", L"7100DN", L"QV7100"},
      {"network", L"QV 7100n", false, L"qv7100n.pkg", L"7100N", L"QV7100"},
      {"network", L"QV 7100 Series PS", false, L"qv7100.pkg", L"", L"QV7100"},
      {"network", L"QV 7200dn", false, L"", L"", L""},
      {"usb", L"QV Elmbridge 6200", false, L"elm6200w.bin", L"", L""},
      {"usb", L"QV Elmbridge 6200", true, L"elm6200a.bin", L"", L""},
      {"usb", L"QV Elmbridge 6200 Series", false, L"elm6200w.bin", L"", L""},
      {"parallel", L"QV Vestra 5100 Series PS", false, L"vestra5100.bin", L"", L""},
      {"parallel", L"QV Vestra 5200 Series", false, L"", L"", L""},
  };
  for (const Case& c : cases) {
    CProperties props;
    LogCapture log;
    ASSERT_TRUE(props.Load((ExampleFolder(c.example) + L"properties.ini").c_str())) << c.example;
    // The tables as the main dialog reads them.
    TextList pairs, asian, groups;
    props.GetPropertyList(L"BIN_FILES", pairs);
    props.GetPropertyList(L"ASIAN_BIN_FILES", asian);
    props.GetPropertyList(L"BIN_FILES_AND_IDS", groups);
    wchar_t file[DLG_NAME_MAX], product[DLG_NAME_MAX], family[DLG_NAME_MAX];
    ChooseFirmwareEntry(c.asian ? asian : pairs, groups, c.key, file, product, family);
    EXPECT_STREQ(c.file, file) << c.example << " " << ToUtf8Static(c.key);
    EXPECT_STREQ(c.product, product) << c.example << " " << ToUtf8Static(c.key);
    EXPECT_STREQ(c.family, family) << c.example << " " << ToUtf8Static(c.key);
  }
}
