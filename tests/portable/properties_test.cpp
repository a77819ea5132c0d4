#include "host/properties.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "support/log_capture.h"

namespace fs = std::filesystem;

namespace {

using Table = std::vector<std::pair<std::wstring, std::wstring>>;

// The table in order, as Dump writes it.
Table Entries(const CProperties& props) {
  LogCapture log;
  props.Dump();
  std::vector<std::wstring> lines = log.Lines();
  Table table;
  EXPECT_GE(lines.size(), 2u);
  if (lines.size() < 2) return table;
  EXPECT_EQ(L"-\\/\\/\\/- Properties -\\/\\/\\/-", lines.front());
  EXPECT_EQ(L"-/\\/\\/\\- Properties -/\\/\\/\\-", lines.back());
  for (size_t i = 1; i + 1 < lines.size(); ++i) {
    size_t sep = lines[i].find(L" = ");
    EXPECT_NE(std::wstring::npos, sep) << lines[i];
    if (sep != std::wstring::npos) table.emplace_back(lines[i].substr(0, sep), lines[i].substr(sep + 3));
  }
  return table;
}

Table Parse(const std::string& file) {
  CProperties props;
  props.LoadText(file.data(), file.size());
  return Entries(props);
}

// `text` (ASCII, or \u escapes below U+10000 as pairs of units) as UTF-16
// with its byte-order mark.
std::string Utf16(const std::u16string& text, bool bigEndian) {
  std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (char16_t unit : text) {
    const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
    out += bigEndian ? std::string{high, low} : std::string{low, high};
  }
  return out;
}

TEST(PropertiesFile, Table) {
  struct Case {
    const char* name;
    std::string file;
    Table expected;
  } cases[] = {
      {"comment only at the very first character", "# KEY=1\n #KEY=2\n", {{L"#KEY", L"2"}}},
      {"number followed by letters", "N=12abc\n", {{L"N", L"12"}}},
      {"leading zeros", "N=007\n", {{L"N", L"7"}}},
      {"signs", "A=-5 volts\nB=+3\nC=-0\n", {{L"A", L"-5"}, {L"B", L"3"}, {L"C", L"0"}}},
      {"numbers beyond int stop at the limits", "A=99999999999\nB=-99999999999\n",
       {{L"A", L"2147483647"}, {L"B", L"-2147483648"}}},
      {"sign without digits is no number", "A=- 3\nB=\"b\"\n", {{L"B", L"b"}}},
      {"unknown single name stores nothing", "A=UNKNOWN\n", {}},
      {"doubled quote", "Q=\"say \"\"hi\"\"\"\n", {{L"Q", L"say \"hi\""}}},
      {"doubled quote at the start", "Q=\"\"\"x\"\n", {{L"Q", L"\"x"}}},
      {"two quoted texts do not concatenate", "Q=\"a\" \"b\"\n", {{L"Q", L"a"}}},
      {"quoted texts back to back do", "Q=\"a\"\"\"\"b\"\n", {{L"Q", L"a\"\"b"}}},
      {"open quote runs to the end", "Q=\"abc  \n", {{L"Q", L"abc"}}},
      {"name then blank then quoted text", "S=\"QV 7100\"\nT=S \" Series\"\n",
       {{L"S", L"QV 7100"}, {L"T", L"QV 7100 Series"}}},
      {"names ignore case", "drv=\"x\"\nD=DRV \"y\" Drv\n", {{L"drv", L"x"}, {L"D", L"xyx"}}},
      {"name runs to the next blank, commas and quotes included", "A=\"1\"\nB=A,A\nC=A\"x\"\n", {{L"A", L"1"}}},
      {"a tab does not end a name", "A=\"1\"\nB=A\t\"2\"\n", {{L"A", L"1"}}},
      {"after a skip, quotes are skipped too", "A=\"1\"\nB=,\"A\nC=, A\n", {{L"A", L"1"}, {L"B", L"1"}, {L"C", L"1"}}},
      {"trailing digits after a quoted text are skipped", "Q=\"v\"12\n", {{L"Q", L"v"}}},
      {"quoted text after a name ended by the value's end", "A=\"1\"\nB=\"x\"A\n", {{L"A", L"1"}, {L"B", L"x1"}}},
      {"hash ends the value", "K=\"a#b\"\n", {{L"K", L"a"}}},
      {"hashes right after the equals sign are skipped", "K=##\"v\"# comment\nL= #\"w\"\n", {{L"K", L"v"}}},
      {"leading equals signs are skipped", "==K=\"v=w\"\n", {{L"K", L"v=w"}}},
      {"further equals signs belong to the value", "K=\"a\"=\"b\"\n", {{L"K", L"a"}}},
      {"line without equals sign and empty keys", "JUSTAKEY\n=\"x\"\n   =\"y\"\n\n\n", {}},
      {"white space around key and value", "  KEY \t=\t \"v\" \t\n", {{L"KEY", L"v"}}},
      {"CR LF lines", "A=\"x\"\r\nB=\"y\"\r\n", {{L"A", L"x"}, {L"B", L"y"}}},
      {"lone CR stays inside a line", "A=\"x\ry\"\n", {{L"A", L"x\ry"}}},
      {"Ctrl-Z ends the file", "A=\"x\"\n\x1a" "B=\"y\"\n", {{L"A", L"x"}}},
      {"NUL ends a line", std::string("A=\"x\0y\"\nB=\"z\"\n", 15), {{L"A", L"x"}, {L"B", L"z"}}},
      {"bytes are characters", "A=\"caf\xe9\"\n", {{L"A", L"caf\u00e9"}}},
      {"last definition wins, first place kept", "A=\"1\"\nB=\"2\"\na=\"3\"\nB=B \"+\"\n",
       {{L"A", L"3"}, {L"B", L"2+"}}},
      {"no final line feed", "A=\"x\"", {{L"A", L"x"}}},
      {"UTF-8 byte-order mark before the first key", "\xEF\xBB\xBF" "FIRMWARE_SIGNERS=\"ab\"\nB=\"caf\xc3\xa9\"\n",
       {{L"FIRMWARE_SIGNERS", L"ab"}, {L"B", L"caf\u00c3\u00a9"}}},
      {"UTF-16 little-endian", Utf16(u"FIRMWARE_SIGNERS=\"ab\"\r\nB=\"\u20ac \xe9\"\r\n", false),
       {{L"FIRMWARE_SIGNERS", L"ab"}, {L"B", L"\u20ac \u00e9"}}},
      {"UTF-16 big-endian, a pair joined, a lone half replaced, an odd last byte dropped",
       Utf16(u"FIRMWARE_SIGNERS=\"ab\"\nB=\"\xD83D\xDE00 \xDC00\"\n", true) + "\x41",
       {{L"FIRMWARE_SIGNERS", L"ab"}, {L"B", L"\U0001F600 \uFFFD"}}},
      {"list with commas in one quoted text", "DRIVER_NAMES=\"QV 7100 PCL, QV 7200 PS\"\n",
       {{L"DRIVER_NAMES", L"QV 7100 PCL, QV 7200 PS"}}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, Parse(c.file)) << c.name;
  }
}

TEST(PropertiesFile, RefusedLinesAreLogged) {
  LogCapture log;
  CProperties props;
  std::string file = "A=UNKNOWN\nJUSTAKEY\n=\"no key\"\n# comment\n";
  props.LoadText(file.data(), file.size());
  EXPECT_EQ((std::vector<std::wstring>{
                L"ERROR: Invalid Parameter in CProperties::SetProperty A: Property value is empty",
                L"ERROR: Invalid Parameter in CProperties::SetProperty JUSTAKEY: Property value is empty",
                // Leading "=" are skipped: the key is the text after them.
                L"ERROR: Invalid Parameter in CProperties::SetProperty \"no key\": Property value is empty"}),
            log.Lines());
  EXPECT_EQ(0u, props.Count());
}

TEST(PropertiesFile, LongLinesContinueAsTheNextLine) {
  // 1023 characters are read at once: K=" and 1020 x; the rest of the line is
  // a line of its own (a key without "=", refused).
  std::string file = "K=\"" + std::string(1100, 'x') + "\"\nL=\"after\"\n";
  Table table = Parse(file);
  ASSERT_EQ(2u, table.size());
  EXPECT_EQ(L"K", table[0].first);
  EXPECT_EQ(std::wstring(1020, L'x'), table[0].second);
  EXPECT_EQ(Table::value_type(L"L", L"after"), table[1]);

  // A line of exactly 1023 characters: its line feed arrives as an empty line.
  std::string exact = "K=\"" + std::string(1020, 'y') + "\nL=1\n";
  table = Parse(exact);
  ASSERT_EQ(2u, table.size());
  EXPECT_EQ(std::wstring(1020, L'y'), table[0].second);
  EXPECT_EQ(L"1", table[1].second);

  // The continuation may itself be a definition.
  std::string split = "K=\"" + std::string(1020, 'z') + "M=\"tail\"\n";
  table = Parse(split);
  ASSERT_EQ(2u, table.size());
  EXPECT_EQ(Table::value_type(L"M", L"tail"), table[1]);
}

TEST(PropertiesFile, ReferencesCannotGrowWithoutBound) {
  // Each line multiplies the previous value; the built value stops at its limit.
  std::string file = "A=\"" + std::string(1000, 'a') + "\"\n";
  std::string refs;
  for (int i = 0; i < 300; ++i) refs += "A ";
  file += "B=" + refs + "\n";
  std::string brefs;
  for (int i = 0; i < 300; ++i) brefs += "B ";
  file += "C=" + brefs + "\n";
  CProperties props;
  props.LoadText(file.data(), file.size());
  std::wstring value;
  ASSERT_EQ(PROPERTY_OK, props.GetProperty(L"C", value));
  EXPECT_EQ(std::wstring(PROPERTY_VALUE_MAX, L'a'), value);
}

TEST(Properties, GetSetAndExists) {
  CProperties props;
  LogCapture log;
  std::wstring value = L"stale";
  EXPECT_EQ(PROPERTY_NOT_FOUND, props.GetProperty(L"PRODUCT", value));
  EXPECT_EQ(L"", value);
  value = L"stale";
  EXPECT_EQ(PROPERTY_INVALID_PARAMETER, props.GetProperty(L"", value));
  EXPECT_EQ(L"", value);
  EXPECT_EQ(PROPERTY_INVALID_PARAMETER, props.SetProperty(L"", L"x"));
  EXPECT_EQ(PROPERTY_INVALID_PARAMETER, props.SetProperty(L"PRODUCT", L""));
  EXPECT_EQ(PROPERTY_INVALID_PARAMETER, props.SetProperty(nullptr, L"x"));
  EXPECT_EQ(0, props.PropertyExists(L"PRODUCT"));
  EXPECT_EQ(0, props.PropertyExists(L""));
  EXPECT_EQ((std::vector<std::wstring>{
                L"Invalid Parameter in CProperties::GetProperty : Property name is empty",
                L"ERROR: Invalid Parameter in CProperties::SetProperty : Property name is empty",
                L"ERROR: Invalid Parameter in CProperties::SetProperty PRODUCT: Property value is empty",
                L"ERROR: Invalid Parameter in CProperties::SetProperty : Property name is empty",
                L"ERROR: Property 'PRODUCT' does NOT exist.",
                L"Invalid Parameter in CProperties::SetProperty : Property name is empty"}),
            log.Lines());

  EXPECT_EQ(PROPERTY_OK, props.SetProperty(L"DRIVER_NAMES", L"QV 7100"));
  EXPECT_EQ(PROPERTY_OK, props.SetProperty(L"Count", -42));
  EXPECT_EQ(PROPERTY_OK, props.SetProperty(L"driver_names", L"QV 7200"));
  EXPECT_EQ(1, props.PropertyExists(L"Driver_Names"));
  EXPECT_EQ(PROPERTY_OK, props.GetProperty(L"driver_names", value));
  EXPECT_EQ(L"QV 7200", value);
  EXPECT_EQ((Table{{L"DRIVER_NAMES", L"QV 7200"}, {L"Count", L"-42"}}), Entries(props));

  // The buffer form: cut to fit, untouched when missing.
  wchar_t buffer[5] = L"keep";
  EXPECT_EQ(PROPERTY_NOT_FOUND, props.GetProperty(L"PRODUCT", buffer, 5));
  EXPECT_EQ(std::wstring(L"keep"), buffer);
  EXPECT_EQ(PROPERTY_INVALID_PARAMETER, props.GetProperty(L"", buffer, 5));
  EXPECT_EQ(std::wstring(L"keep"), buffer);
  EXPECT_EQ(PROPERTY_OK, props.GetProperty(L"DRIVER_NAMES", buffer, 5));
  EXPECT_EQ(std::wstring(L"QV 7"), buffer);
}

TEST(Properties, Lists) {
  struct Case {
    const char* file;
    std::vector<std::wstring> expected;
  } cases[] = {
      {"L=\"a , b,,c\"\n", {L"a", L"b", L"", L"c"}},
      {"L=\"one\"\n", {L"one"}},
      {"L=\"x,\"\n", {L"x", L""}},
      {"L=\",\"\n", {L"", L""}},
      {"L=\" \t spaced \t ,\tout \"\n", {L"spaced", L"out"}},
      {"OTHER=1\n", {L""}},
      {"L=\"QV 71*, qv7100.bin, 0x11, 0x2, QV 72*, qv7200.bin, 0x12, 0x2\"\n",
       {L"QV 71*", L"qv7100.bin", L"0x11", L"0x2", L"QV 72*", L"qv7200.bin", L"0x12", L"0x2"}},
  };
  for (const Case& c : cases) {
    CProperties props;
    props.LoadText(c.file, strlen(c.file));
    std::vector<std::wstring> list{L"stale"};
    props.GetPropertyList(L"l", list);
    EXPECT_EQ(c.expected, list) << c.file;
  }
  // The value is read into 1024 characters: the 1024th and later are gone.
  CProperties props;
  std::wstring longValue = std::wstring(1020, L'a') + L",bcdefg";
  props.SetProperty(L"L", longValue.c_str());
  std::vector<std::wstring> list;
  EXPECT_EQ(PROPERTY_OK, props.GetPropertyList(L"L", list));
  EXPECT_EQ((std::vector<std::wstring>{std::wstring(1020, L'a'), L"bc"}), list);
}

TEST(Properties, LoadFromFile) {
  std::random_device random;
  fs::path dir = fs::temp_directory_path() / ("tideway-props-" + std::to_string(random()));
  fs::create_directories(dir);
  fs::path file = dir / "properties.ini";
  {
    std::ofstream out(file, std::ios::binary);
    out << "# Supported printers\r\nDRIVER_NAMES = \"QV 7100 PCL,QV 7200 PS\"\r\n"
           "PRINTER_SERIESNAME=\"QV 7000\"\r\nPRODUCT = PRINTER_SERIESNAME \" Series\"\r\n";
  }
  CProperties props;
  EXPECT_EQ(1, props.Load(file.wstring().c_str()));
  EXPECT_EQ((Table{{L"DRIVER_NAMES", L"QV 7100 PCL,QV 7200 PS"},
                   {L"PRINTER_SERIESNAME", L"QV 7000"},
                   {L"PRODUCT", L"QV 7000 Series"}}),
            Entries(props));

  LogCapture log;
  fs::path missing = dir / "missing.ini";
  EXPECT_EQ(0, props.Load(missing.wstring().c_str()));
  std::vector<std::wstring> lines = log.Lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(0u, lines[0].find(L"===>>> ERROR (gle=2, 0x2):  Msg: ")) << lines[0];
  EXPECT_TRUE(log.ContainsPart(L"Context: Could not open ini file '" + missing.wstring() + L"'"));
  EXPECT_EQ(3u, props.Count());
  fs::remove_all(dir);
}

TEST(Properties, InstanceIsOneTable) {
  EXPECT_EQ(CProperties::Instance(), CProperties::Instance());
  EXPECT_NE(nullptr, CProperties::Instance());
}

}  // namespace
