#include "host/logger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "host/file_io.h"
#include "host/text_utils.h"
#include "support/log_capture.h"

namespace fs = std::filesystem;

namespace {

// Keeps the singleton's tag and caption as the test found them.
class LoggerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    log_ = Logger::Instance();
    tag_ = log_->Tag();
    caption_ = log_->Caption();
    log_->SetTag(L"TIDWY");
  }
  void TearDown() override {
    log_->SetTag(tag_.c_str());
    log_->SetCaption(caption_.c_str());
  }
  static std::wstring Prefix() {
    wchar_t prefix[128];
    FormatText(prefix, 128, L"TIDWY(%X): ", static_cast<unsigned>(LogPlatformThreadId()));
    return prefix;
  }
  Logger* log_ = nullptr;
  std::wstring tag_;
  std::wstring caption_;
};

TEST(LogTimeStamp, Layout) {
  struct Case {
    LogTimeParts t;
    const char* expected;
  } cases[] = {
      {{12, 6, 2026, 20, 22, 2, 123}, "[12- 6-2026 20:22:02:123]- "},
      {{1, 1, 2027, 0, 0, 0, 0}, "[ 1- 1-2027  0:00:00:000]- "},
      {{9, 30, 999, 9, 5, 59, 7}, "[ 9-30- 999  9:05:59:007]- "},
      {{10, 10, 2030, 23, 59, 9, 999}, "[10-10-2030 23:59:09:999]- "},
  };
  for (const Case& c : cases) {
    char out[64];
    size_t n = FormatLogTimeStamp(c.t, out, sizeof out);
    EXPECT_STREQ(c.expected, out);
    EXPECT_EQ(strlen(c.expected), n);
  }
  char tiny[8];
  EXPECT_EQ(7u, FormatLogTimeStamp({12, 6, 2026, 20, 22, 2, 123}, tiny, sizeof tiny));
  EXPECT_STREQ("[12- 6-", tiny);
}

TEST_F(LoggerTest, FileLineHasStampTagThreadAndCrLf) {
  LogCapture capture;
  log_->Write(L"GetPortname()");
  log_->Write(L"Adding %ls to printer list", L"QV 7100");
  std::wstring raw = capture.Raw();
  std::vector<std::wstring> lines = capture.FileLines();
  ASSERT_EQ(2u, lines.size()) << raw;
  for (const std::wstring& line : lines) {
    // "[mm-dd-yyyy hh:mm:ss:mmm]- " is 27 characters with a four-digit year.
    ASSERT_GT(line.size(), 27u);
    EXPECT_EQ(L'[', line[0]);
    EXPECT_EQ(L"]- ", line.substr(24, 3));
    EXPECT_EQ(L'-', line[3]);
    EXPECT_EQ(L'-', line[6]);
    EXPECT_EQ(L':', line[14]);
    EXPECT_EQ(L':', line[17]);
    EXPECT_EQ(L':', line[20]);
  }
  EXPECT_EQ(Prefix() + L"GetPortname()", lines[0].substr(27));
  EXPECT_EQ(Prefix() + L"Adding QV 7100 to printer list", lines[1].substr(27));
  EXPECT_EQ(L"\r\n", raw.substr(raw.size() - 2));
  EXPECT_EQ(std::wstring::npos, raw.find(L"\r\r"));
  EXPECT_EQ((std::vector<std::wstring>{Prefix() + L"GetPortname()\n", Prefix() + L"Adding QV 7100 to printer list\n"}),
            capture.DebugLines());
}

// A printer's scope names it in every line its thread writes meanwhile; the
// inner of two scopes holds until it ends, another thread keeps its own name,
// and outside every scope the line is as it always was. The harness reads the
// message past the name.
TEST_F(LoggerTest, PrinterScopeNamesTheLinesOfItsThread) {
  LogCapture capture;
  auto prefixed = [](const wchar_t* printer) {
    std::wstring p = Prefix();
    return *printer ? p.substr(0, p.size() - 2) + L" [" + printer + L"]: " : p;
  };
  std::vector<std::wstring> expected;
  auto write = [&](const wchar_t* printer, const wchar_t* text) {
    log_->Write(L"%ls", text);
    expected.push_back(prefixed(printer) + text);
  };
  write(L"", L"before");
  {
    LogPrinterScope office(L"Office 2");
    write(L"Office 2", L"in a scope");
    {
      LogPrinterScope lab(L"Lab [3]");
      write(L"Lab [3]", L"nested");
    }
    write(L"Office 2", L"back in the outer scope");
    std::thread([&] {
      write(L"", L"a thread outside any scope");
      LogPrinterScope hall(L"Hall");
      write(L"Hall", L"a thread with its own name");
      EXPECT_STREQ(L"Hall", LogPrinterName());
    }).join();
    EXPECT_STREQ(L"Office 2", LogPrinterName());
  }
  write(L"", L"after");
  EXPECT_STREQ(L"", LogPrinterName());

  std::vector<std::wstring> lines;
  for (const std::wstring& line : capture.FileLines()) lines.push_back(line.substr(27));
  EXPECT_EQ(expected, lines);
  EXPECT_EQ((std::vector<std::wstring>{L"before", L"in a scope", L"nested", L"back in the outer scope",
                                       L"a thread outside any scope", L"a thread with its own name", L"after"}),
            capture.Lines());
}

std::vector<std::string> g_sinkLines;
void KeepSinkLine(const char* bytes, size_t size) { g_sinkLines.emplace_back(bytes, size); }

TEST_F(LoggerTest, FileSinkGetsTheFileFormAndTheFileNothing) {
  LogCapture capture;
  g_sinkLines.clear();
  LogFileSink previous = SetLogFileSinkForTesting(KeepSinkLine);
  log_->Write(L"first\nsecond \u00e9");
  std::this_thread::sleep_for(std::chrono::milliseconds(3));
  log_->CloseLogFileForTesting();  // a sink needs no file
  log_->Write(L"third");
  EXPECT_EQ(KeepSinkLine, SetLogFileSinkForTesting(previous));
  log_->Write(L"to the file again");

  ASSERT_EQ(2u, g_sinkLines.size());
  const std::string prefix = ToUtf8Static(Prefix().c_str());
  EXPECT_EQ(prefix + "first\r\nsecond \xc3\xa9\r\n", g_sinkLines[0].substr(27));
  EXPECT_EQ(prefix + "third\r\n", g_sinkLines[1].substr(27));
  // Each line has the stamp of its own time, as the file would.
  EXPECT_EQ("]- ", g_sinkLines[0].substr(24, 3));
  EXPECT_NE(g_sinkLines[0].substr(0, 27), g_sinkLines[1].substr(0, 27));
  EXPECT_EQ(std::wstring::npos, capture.Raw().find(L"first"));
  EXPECT_EQ(3u, capture.DebugLines().size());
}

TEST_F(LoggerTest, InnerLineFeedsSplitTheFileButNotTheDebuggerLine) {
  LogCapture capture;
  log_->Write(L"first\nsecond\nthird");
  EXPECT_EQ((std::vector<std::wstring>{L"first", L"second", L"third"}), capture.Lines());
  EXPECT_EQ(std::vector<std::wstring>{Prefix() + L"first second third\n"}, capture.DebugLines());

  // A caller's own trailing line feed sits within the last two characters and
  // stays: the debugger shows an empty line after it, the file an empty line.
  capture.Clear();
  log_->Write(L"ends with a break\n");
  EXPECT_EQ(std::vector<std::wstring>{Prefix() + L"ends with a break\n\n"}, capture.DebugLines());
  EXPECT_EQ((std::vector<std::wstring>{L"ends with a break", L""}), capture.Lines());
}

// A failure is logged, then reported with its error: the line between (the
// log file exists, and opening it sets an error on Windows) leaves it alone.
TEST_F(LoggerTest, WritingLeavesTheCallersLastError) {
  LogCapture capture;
  log_->Write(L"the file exists from here on");
  for (uint32_t error : {0u, 5u}) {
    SetLastSystemError(error);
    log_->Write(L"line");
    EXPECT_EQ(LastSystemError(), error);
  }
}

TEST_F(LoggerTest, NullFormatsWriteAndShowNothing) {
  LogCapture capture;
  BoxCapture boxes;
  log_->Write(nullptr);
  log_->WriteError(5, nullptr);
  EXPECT_EQ(0, log_->ShowMessage(nullptr));
  EXPECT_EQ(0, log_->ShowMessageTyped(0x41, nullptr));
  EXPECT_TRUE(capture.Raw().empty());
  EXPECT_TRUE(capture.DebugLines().empty());
  EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(LoggerTest, ErrorLineMapsSetupInterfaceCodes) {
  struct Case {
    uint32_t code;
    uint32_t id;
    const wchar_t* head;
  } cases[] = {
      {0xE0000203u, 0x800F0203u, L"===>>> ERROR (gle=-2146500093, 0xe0000203):  Msg: "},
      {0xE000020Bu, 0x800F020Bu, L"===>>> ERROR (gle=-2146500085, 0xe000020b):  Msg: "},
      {0xFFFFFFFFu, 0x800FFFFFu, L"===>>> ERROR (gle=-2146435073, 0xffffffff):  Msg: "},
      {0xC0000005u, 0xC0000005u, L"===>>> ERROR (gle=-1073741819, 0xc0000005):  Msg: "},
      {5, 5, L"===>>> ERROR (gle=5, 0x5):  Msg: "},
      {1011, 1011, L"===>>> ERROR (gle=1011, 0x3f3):  Msg: "},
      {0, 0, L"===>>> ERROR (gle=0, 0):  Msg: "},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.id, Logger::ErrorMessageId(c.code));
    LogCapture capture;
    log_->WriteError(c.code, L"Context %ls %d", L"LoadString failed", 7);
    std::vector<std::wstring> lines = capture.Lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(0u, lines[0].find(c.head)) << lines[0];
    // The system text ends with a line break, so the context may stand on the
    // next file line; either way it closes the entry.
    EXPECT_NE(std::wstring::npos, capture.Raw().find(L"  Context: Context LoadString failed 7\r\n"));
    ASSERT_EQ(1u, capture.DebugLines().size());
  }
}

TEST_F(LoggerTest, OverLongTextsAreCutNeverOverflow) {
  LogCapture capture;
  BoxCapture boxes;
  std::wstring longText(6000, L'x');
  log_->Write(L"%ls", longText.c_str());
  log_->Write(longText.c_str());
  std::vector<std::wstring> lines = capture.FileLines();
  ASSERT_EQ(2u, lines.size());
  // 4096 characters: prefix and text in 4094, the line feed, the terminator.
  std::wstring expected = Prefix() + std::wstring(LOG_LINE_MAX - 2 - Prefix().size(), L'x');
  EXPECT_EQ(expected, lines[0].substr(27));
  EXPECT_EQ(expected, lines[1].substr(27));
  ASSERT_EQ(2u, capture.DebugLines().size());
  EXPECT_EQ(expected + L"\n", capture.DebugLines()[0]);

  log_->ShowMessage(L"%ls", longText.c_str());
  log_->ShowMessageTyped(0x10, L"%ls and %d", longText.c_str(), 5);
  ASSERT_EQ(2u, boxes.Boxes().size());
  EXPECT_EQ(std::wstring(LOG_BOX_TEXT_MAX - 1, L'x'), boxes.Boxes()[0].text);
  EXPECT_EQ(std::wstring(LOG_BOX_TEXT_MAX - 1, L'x'), boxes.Boxes()[1].text);

  // An over-long error context and a tag at its limit.
  capture.Clear();
  log_->WriteError(5, L"%ls", longText.c_str());
  ASSERT_FALSE(capture.Lines().empty());
  log_->SetTag(std::wstring(200, L'T').c_str());
  EXPECT_EQ(LOG_TAG_MAX - 1, wcslen(log_->Tag()));
}

TEST_F(LoggerTest, BoxTextsAreShownAsTheyStand) {
  BoxCapture boxes(2 /* IDCANCEL */);
  log_->SetCaption(L"Error");
  EXPECT_EQ(2, log_->ShowMessage(L"Cannot open %ls", L"\\\\srv\\Printer 100%s %d %n"));
  EXPECT_EQ(2, log_->ShowMessageTyped(0x41, L"%ls", L"50% done"));
  EXPECT_EQ(2, log_->ShowStringError(222));
  EXPECT_EQ(2, log_->ShowStringMessage());
  std::vector<CapturedBox> shown = boxes.Boxes();
  ASSERT_EQ(4u, shown.size());
  EXPECT_EQ(L"Cannot open \\\\srv\\Printer 100%s %d %n", shown[0].text);
  EXPECT_EQ(0x00040000u, shown[0].flags);
  EXPECT_EQ(L"Error", shown[0].caption);
  EXPECT_EQ(L"50% done", shown[1].text);
  EXPECT_EQ(0x00040041u, shown[1].flags);
  EXPECT_EQ(L"Cannot find a %s printer installed on this system.\r\n", shown[2].text);
  EXPECT_EQ(0x00040010u, shown[2].flags);
  EXPECT_EQ(L"There is already a copy of the firmware update program running.", shown[3].text);
  EXPECT_EQ(0x00040000u, shown[3].flags);
}

// The first box asks for a second from inside, as a handler run by its modal
// loop would, after another thread asked for one; each box is one "open" and
// one "close" entry.
namespace nested {
std::mutex g_lock;
std::vector<std::wstring> g_order;
std::thread g_other;

void Note(const std::wstring& entry) {
  std::lock_guard<std::mutex> lock(g_lock);
  g_order.push_back(entry);
}

int Answer(const wchar_t* text, const wchar_t*, uint32_t) {
  const std::wstring box = text;
  Note(L"open " + box);
  int answer = 1;
  if (box == L"outer") {
    g_other = std::thread([] { Logger::Instance()->ShowMessage(L"other thread"); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (Logger::Instance()->ShowMessageTyped(0x41, L"inner") != 2) answer = 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  } else if (box == L"inner") {
    answer = 2;
  }
  Note(L"close " + box);
  return answer;
}
}  // namespace nested

TEST_F(LoggerTest, BoxAskedForInsideABoxOfItsThreadGoesOnTopOthersWait) {
  LogMessageBoxHook previous = SetLogMessageBoxHookForTesting(nested::Answer);
  std::promise<int> outer;
  std::future<int> answered = outer.get_future();
  std::thread dialog([&outer] { outer.set_value(Logger::Instance()->ShowMessageTyped(0x41, L"outer")); });
  if (answered.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
    // The thread waits for itself and holds the lock for good: nothing after
    // this could run.
    std::fprintf(stderr, "FAILED: a box asked for inside a box of the same thread never opened\n");
    std::_Exit(1);
  }
  dialog.join();
  nested::g_other.join();
  SetLogMessageBoxHookForTesting(previous);
  EXPECT_EQ(1, answered.get()) << "the inner box's answer reached the outer call";
  EXPECT_EQ((std::vector<std::wstring>{L"open outer", L"open inner", L"close inner", L"close outer",
                                       L"open other thread", L"close other thread"}),
            nested::g_order);
}

TEST(LoggerFlags, TopmostAlwaysRightToLeftForArabicAndHebrew) {
  struct Case {
    uint32_t type;
    uint16_t language;
    uint32_t expected;
  } cases[] = {
      {0, 0x0409, 0x00040000},   {0x10, 0x0407, 0x00040010},  {0x41, 0x040D, 0x001C0041},
      {0, 0x0401, 0x001C0000},   {0x40, 0x0C01, 0x001C0040},  {0, 0x3801, 0x001C0000},
      {0, 0x020D, 0x001C0000},   {0, 0x040C, 0x00040000},     {0, 0x0411, 0x00040000},
      {0, 0x0000, 0x00040000},   {0x00040000, 0x0409, 0x00040000},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, Logger::MessageBoxFlags(c.type, c.language)) << std::hex << c.type << " " << c.language;
  }
}

TEST_F(LoggerTest, LinesOfConcurrentThreadsStayWhole) {
  LogCapture capture;
  auto writer = [this](wchar_t mark) {
    for (int i = 0; i < 200; ++i) log_->Write(L"%lc line %d of a thread that logs a fair amount", mark, i);
  };
  std::thread a(writer, L'A');
  std::thread b(writer, L'B');
  a.join();
  b.join();
  std::vector<std::wstring> lines = capture.FileLines();
  ASSERT_EQ(400u, lines.size());
  int perMark[2] = {0, 0};
  for (const std::wstring& line : lines) {
    std::wstring text = LogCapture::StripPrefix(line);
    ASSERT_TRUE(text.size() > 2 && (text[0] == L'A' || text[0] == L'B')) << line;
    EXPECT_NE(std::wstring::npos, text.find(L" of a thread that logs a fair amount"));
    ++perMark[text[0] == L'A' ? 0 : 1];
  }
  EXPECT_EQ(200, perMark[0]);
  EXPECT_EQ(200, perMark[1]);
  EXPECT_EQ(400u, capture.DebugLines().size());
}

// Rotation works on a folder of its own; the configured name carries a
// separator, so the base path is the name without ".log".
class LogRotationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = Logger::Instance()->LogFilePath();
    // ctest runs the cases as parallel processes: the folder name must differ.
    std::random_device random;
    dir_ = fs::temp_directory_path() / ("tideway-rotate-" + std::to_string(random()) + "-" +
                                        std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    Logger::Instance()->SetLogFilePathForTesting(previous_.c_str());
    fs::remove_all(dir_);
  }
  fs::path File(const wchar_t* name) const { return dir_ / name; }
  void Make(const wchar_t* name, size_t size, char fill) const {
    std::ofstream out(File(name), std::ios::binary);
    out << std::string(size, fill);
  }
  std::string Read(const wchar_t* name) const {
    std::ifstream in(File(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  void Init() const { Logger::Instance()->InitLogFileNamed(File(L"QVTideway.log").wstring().c_str()); }

  std::wstring previous_;
  fs::path dir_;
};

TEST_F(LogRotationTest, AllFiveGenerationsMoveUpAndTheOldestGoes) {
  Make(L"QVTideway.log", 500000, 'c');
  Make(L"QVTideway1.log", 11, '1');
  Make(L"QVTideway2.log", 12, '2');
  Make(L"QVTideway3.log", 13, '3');
  Make(L"QVTideway4.log", 14, '4');
  Init();
  EXPECT_EQ(File(L"QVTideway.log").wstring(), Logger::Instance()->LogFilePath());
  EXPECT_FALSE(fs::exists(File(L"QVTideway.log")));
  EXPECT_EQ(std::string(500000, 'c'), Read(L"QVTideway1.log"));
  EXPECT_EQ(std::string(11, '1'), Read(L"QVTideway2.log"));
  EXPECT_EQ(std::string(12, '2'), Read(L"QVTideway3.log"));
  EXPECT_EQ(std::string(13, '3'), Read(L"QVTideway4.log"));
  EXPECT_FALSE(fs::exists(File(L"QVTideway5.log")));

  Logger::Instance()->Write(L"new start");
  std::string fresh = Read(L"QVTideway.log");
  EXPECT_EQ(0u, fresh.find('['));
  EXPECT_EQ(std::string::npos, fresh.find('c'));
  EXPECT_EQ(1u, static_cast<size_t>(std::count(fresh.begin(), fresh.end(), '\n')));
}

TEST_F(LogRotationTest, ThresholdIsFiveHundredThousandBytes) {
  Make(L"QVTideway.log", 499999, 'c');
  Init();
  EXPECT_FALSE(fs::exists(File(L"QVTideway1.log")));
  Logger::Instance()->Write(L"appended");
  std::string content = Read(L"QVTideway.log");
  EXPECT_EQ(std::string(499999, 'c'), content.substr(0, 499999));
  EXPECT_NE(std::string::npos, content.find("appended\r\n", 499999));

  // Now over the threshold: the next start rotates, with the gaps left alone.
  Init();
  EXPECT_FALSE(fs::exists(File(L"QVTideway.log")));
  EXPECT_EQ(content, Read(L"QVTideway1.log"));
  EXPECT_FALSE(fs::exists(File(L"QVTideway2.log")));

  Make(L"QVTideway.log", 500000, 'd');
  Make(L"QVTideway3.log", 3, '3');
  Init();
  EXPECT_EQ(std::string(500000, 'd'), Read(L"QVTideway1.log"));
  EXPECT_EQ(content, Read(L"QVTideway2.log"));
  EXPECT_FALSE(fs::exists(File(L"QVTideway3.log")));
  EXPECT_EQ(std::string(3, '3'), Read(L"QVTideway4.log"));
}

TEST_F(LogRotationTest, FileNames) {
  struct Case {
    std::wstring configured;
    std::wstring expected;
  } cases[] = {
      {L"C:\\QVTideway.log", L"C:\\QVTideway.log"},
      {L"D:\\logs\\update.txt", L"D:\\logs\\update.log"},
      {L"D:\\logs\\trace", L"D:\\logs\\trace.log"},
      {L"D:\\logs\\a.b.c", L"D:\\logs\\a.log"},  // the dot four from the end, not an extension test
      {L"ICLlogging", L"C:\\windows\\Temp\\ICLlogging.log"},
      {L"x.log", L"C:\\windows\\Temp\\x.log"},
      {L"", L"C:\\windows\\Temp\\ICLlogging.log"},
  };
  for (const Case& c : cases) {
    Logger::Instance()->InitLogFileNamed(c.configured.c_str());
    EXPECT_TRUE(TextEquals(c.expected.c_str(), Logger::Instance()->LogFilePath()))
        << Logger::Instance()->LogFilePath();
  }
  // A missing folder: lines are lost silently, logging goes on.
  Logger::Instance()->SetLogFilePathForTesting((dir_ / L"missing" / L"x.log").wstring().c_str());
  Logger::Instance()->Write(L"lost");
  EXPECT_FALSE(fs::exists(dir_ / L"missing"));
}

}  // namespace

// Unattended: nobody answers, so a box is a log line and the answer is the
// one that starts nothing (No or Cancel where the box has it).
TEST_F(LoggerTest, SilentBoxesAreLogLinesAnsweredWithoutConsent) {
  LogCapture log;
  BoxCapture boxes;
  log_->SetBoxesSilent(true);
  const struct {
    uint32_t type;
    int answer;
  } cases[] = {{0x10 /* OK, error icon */, 1}, {0x41 /* OK Cancel */, 2}, {0x04 /* Yes No */, 7}, {0x03, 2}};
  for (const auto& c : cases) EXPECT_EQ(log_->ShowMessageTyped(c.type, L"Box %d\r\n", c.type), c.answer) << c.type;
  EXPECT_EQ(log_->ShowStringError(105), 1);
  log_->SetBoxesSilent(false);
  EXPECT_TRUE(boxes.Boxes().empty());
  EXPECT_TRUE(log.Contains(L"No box (silent): Box 65"));
  EXPECT_TRUE(log.Contains(L"No box (silent): Missing a configuration file."));
  EXPECT_EQ(log_->ShowMessageTyped(0, L"shown"), 1);
  EXPECT_EQ(boxes.Boxes().size(), 1u);
}
