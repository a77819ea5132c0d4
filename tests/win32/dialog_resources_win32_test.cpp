// tideway.exe's resources as the dialog code and the system see them: the
// four dialog templates control by control, icon, bitmaps, manifest, version.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/text_utils.h"
#include "resources/resource.h"
#include "resources/version.h"
#include "support/test_env.h"

namespace {

using fwtest::BinaryDir;

struct Control {
  int id;
  std::wstring cls;  // "Button", "Edit", "Static", "ComboBox" or the class name
  std::wstring text;
  short x, y, cx, cy;
  DWORD style;
};

struct Dialog {
  DWORD style = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  std::wstring caption;
  WORD pointSize = 0;
  std::wstring font;
  std::vector<Control> controls;
};

// Reads a DLGTEMPLATEEX (the form DIALOGEX produces); bounds-checked.
class TemplateReader {
 public:
  TemplateReader(const BYTE* data, size_t size) : data_(data), size_(size) {}
  bool ok() const { return ok_; }
  WORD Word() {
    if (pos_ + 2 > size_) return Fail();
    WORD w;
    memcpy(&w, data_ + pos_, 2);
    pos_ += 2;
    return w;
  }
  DWORD Dword() {
    DWORD lo = Word();
    DWORD hi = Word();
    return lo | (hi << 16);
  }
  std::wstring Text() {
    std::wstring s;
    for (WORD c = Word(); ok_ && c != 0; c = Word()) s.push_back(static_cast<wchar_t>(c));
    return s;
  }
  // Ordinal or text: an ordinal comes back as "#<number>".
  std::wstring TextOrOrdinal() {
    if (pos_ + 2 > size_) return Fail(), L"";
    WORD first;
    memcpy(&first, data_ + pos_, 2);
    if (first == 0) return Word(), L"";
    if (first == 0xFFFF) {
      Word();
      return L"#" + std::to_wstring(Word());
    }
    return Text();
  }
  void AlignDword() { pos_ = (pos_ + 3) & ~static_cast<size_t>(3); }
  void Skip(size_t n) { pos_ += n; }

 private:
  WORD Fail() {
    ok_ = false;
    pos_ = size_;
    return 0;
  }
  const BYTE* data_;
  size_t size_;
  size_t pos_ = 0;
  bool ok_ = true;
};

std::wstring ClassName(const std::wstring& cls) {
  static const wchar_t* const kOrdinals[] = {L"Button", L"Edit", L"Static", L"ListBox", L"ScrollBar", L"ComboBox"};
  for (int i = 0; i < 6; ++i) {
    if (cls == L"#" + std::to_wstring(0x80 + i)) return kOrdinals[i];
  }
  return cls;
}

class DialogResources : public ::testing::Test {
 protected:
  void SetUp() override {
    std::wstring exe = BinaryDir() + L"\\bin\\tideway.exe";
    module_ = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(nullptr, module_) << "error " << GetLastError();
  }
  void TearDown() override {
    if (module_) FreeLibrary(module_);
  }
  std::vector<BYTE> Resource(const wchar_t* type, int id) {
    HRSRC info = FindResourceW(module_, MAKEINTRESOURCEW(id), type);
    if (!info) return {};
    HGLOBAL handle = LoadResource(module_, info);
    const BYTE* data = static_cast<const BYTE*>(LockResource(handle));
    DWORD size = SizeofResource(module_, info);
    return data ? std::vector<BYTE>(data, data + size) : std::vector<BYTE>();
  }
  Dialog Load(int id) {
    std::vector<BYTE> bytes = Resource(RT_DIALOG, id);
    Dialog d;
    EXPECT_FALSE(bytes.empty()) << "dialog " << id;
    TemplateReader r(bytes.data(), bytes.size());
    EXPECT_EQ(1, r.Word());       // dlgVer
    EXPECT_EQ(0xFFFF, r.Word());  // DIALOGEX
    r.Dword();                    // help id
    r.Dword();                    // extended style
    d.style = r.Dword();
    WORD count = r.Word();
    d.x = static_cast<short>(r.Word());
    d.y = static_cast<short>(r.Word());
    d.cx = static_cast<short>(r.Word());
    d.cy = static_cast<short>(r.Word());
    r.TextOrOrdinal();  // menu
    r.TextOrOrdinal();  // class
    d.caption = r.Text();
    if (d.style & DS_SETFONT) {
      d.pointSize = r.Word();
      r.Word();  // weight
      r.Word();  // italic, charset
      d.font = r.Text();
    }
    for (WORD i = 0; i < count && r.ok(); ++i) {
      r.AlignDword();
      Control c;
      r.Dword();  // help id
      r.Dword();  // extended style
      c.style = r.Dword();
      c.x = static_cast<short>(r.Word());
      c.y = static_cast<short>(r.Word());
      c.cx = static_cast<short>(r.Word());
      c.cy = static_cast<short>(r.Word());
      c.id = static_cast<int>(r.Dword());
      c.cls = ClassName(r.TextOrOrdinal());
      c.text = r.TextOrOrdinal();
      r.Skip(r.Word());
      d.controls.push_back(c);
    }
    EXPECT_TRUE(r.ok()) << "dialog " << id;
    return d;
  }
  static void ExpectControls(const Dialog& d, const std::vector<Control>& expected, DWORD const* styles) {
    ASSERT_EQ(expected.size(), d.controls.size());
    for (size_t i = 0; i < expected.size(); ++i) {
      const Control& e = expected[i];
      const Control& c = d.controls[i];
      EXPECT_EQ(e.id, c.id) << i;
      // Window class names ignore case (windres writes CONTROL classes upper-cased).
      EXPECT_TRUE(TextEquals(e.cls.c_str(), c.cls.c_str())) << i << " " << c.cls;
      EXPECT_EQ(e.text, c.text) << i;
      EXPECT_EQ(e.x, c.x) << i;
      EXPECT_EQ(e.y, c.y) << i;
      EXPECT_EQ(e.cx, c.cx) << i;
      EXPECT_EQ(e.cy, c.cy) << i;
      EXPECT_EQ(styles[i], c.style & styles[i]) << i << " style " << std::hex << c.style;
      EXPECT_TRUE(c.style & WS_VISIBLE) << i;
    }
  }
  HMODULE module_ = nullptr;
};

constexpr int kNoId = -1;

// The templates as the labels' layout needs them: ids the code sets texts by,
// the tab order (combo box, Send Firmware, Exit), the default buttons.
TEST_F(DialogResources, MainDialog107) {
  Dialog d = Load(IDD_TIDEWAY_DIALOG);
  EXPECT_EQ(389, d.cx);
  EXPECT_EQ(154, d.cy);
  EXPECT_EQ(L"MS Shell Dlg", d.font);
  EXPECT_EQ(8, d.pointSize);
  EXPECT_TRUE(d.style & WS_CAPTION);
  EXPECT_FALSE(d.style & WS_SYSMENU);
  const DWORD styles[] = {SS_LEFT,
                          CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP,
                          SS_NOPREFIX,
                          BS_GROUPBOX,
                          0,
                          SS_ICON,
                          SS_NOPREFIX,
                          BS_DEFPUSHBUTTON | WS_TABSTOP,
                          BS_PUSHBUTTON | WS_TABSTOP};
  ExpectControls(d,
                 {{IDC_SELECT_LABEL, L"Static", L"Select &Printer to Update:", 12, 10, 365, 9, 0},
                  {1000, L"ComboBox", L"", 12, 21, 365, 60, 0},
                  {IDC_READY_LABEL, L"Static", L"Please ensure the printer is in ready state before continuing", 12,
                   40, 365, 9, 0},
                  {IDC_PROGRESS_GROUP, L"Button", L"Progress", 12, 56, 365, 62, 0},
                  {1001, L"msctls_progress32", L"", 22, 72, 312, 14, 0},
                  {1010, L"Static", L"", 345, 69, 20, 20, 0},
                  {IDC_STATUS_TEXT, L"Static", L"", 22, 94, 345, 18, 0},
                  {1008, L"Button", L"&Send Firmware", 167, 128, 124, 16, 0},
                  {1009, L"Button", L"E&xit", 297, 128, 80, 16, 0}},
                 styles);
  EXPECT_EQ(static_cast<DWORD>(SS_ICON), d.controls[5].style & SS_TYPEMASK);
  EXPECT_EQ(static_cast<DWORD>(BS_GROUPBOX), d.controls[3].style & BS_TYPEMASK);
  EXPECT_EQ(static_cast<DWORD>(BS_DEFPUSHBUTTON), d.controls[7].style & BS_TYPEMASK);
  EXPECT_EQ(static_cast<DWORD>(BS_PUSHBUTTON), d.controls[8].style & BS_TYPEMASK);
}

TEST_F(DialogResources, CommunityName130) {
  Dialog d = Load(IDD_COMMUNITY_NAME);
  EXPECT_EQ(314, d.cx);
  EXPECT_EQ(179, d.cy);
  EXPECT_EQ(L"Firmware Download Utilty", d.caption);
  EXPECT_EQ(L"MS Shell Dlg", d.font);
  EXPECT_TRUE(d.style & WS_SYSMENU);
  const DWORD styles[] = {SS_NOPREFIX, SS_ETCHEDHORZ, BS_GROUPBOX, SS_BITMAP, ES_AUTOHSCROLL | WS_TABSTOP,
                          BS_DEFPUSHBUTTON, BS_PUSHBUTTON};
  ExpectControls(d,
                 {{IDC_COMMUNITY_PROMPT, L"Static", L"Please enter the product Get Community Name", 20, 15, 274, 12, 0},
                  {kNoId, L"Static", L"", 16, 31, 282, 1, 0},
                  {kNoId, L"Button", L"", 20, 44, 274, 80, 0},
                  {1011, L"Static", L"", 35, 64, 46, 36, 0},
                  {1004, L"Edit", L"", 93, 75, 180, 12, 0},
                  {1012, L"Button", L"OK", 153, 147, 68, 18, 0},
                  {1013, L"Button", L"Cancel", 226, 147, 68, 18, 0}},
                 styles);
  EXPECT_EQ(0u, d.controls[4].style & ES_PASSWORD);
  EXPECT_EQ(static_cast<DWORD>(SS_BITMAP), d.controls[3].style & SS_TYPEMASK);
  EXPECT_EQ(static_cast<DWORD>(SS_ETCHEDHORZ), d.controls[1].style & SS_TYPEMASK);
}

TEST_F(DialogResources, RemoteUpgrade131) {
  Dialog d = Load(IDD_REMOTE_UPGRADE);
  EXPECT_EQ(326, d.cx);
  EXPECT_EQ(124, d.cy);
  EXPECT_EQ(L"Firmware Download Utilty", d.caption);
  EXPECT_TRUE(d.style & WS_SYSMENU);
  const DWORD styles[] = {SS_NOPREFIX, SS_NOPREFIX, BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, BS_AUTORADIOBUTTON,
                          BS_DEFPUSHBUTTON | WS_GROUP};
  ExpectControls(d,
                 {{IDC_RFU_RECOMMENDATION, L"Static",
                   L"QV recommends updating firmware whenever a new version is available, and disabling Printer "
                   L"Firmware Update except when in the process of updating firmware.",
                   9, 7, 308, 36, 0},
                  {IDC_RFU_QUESTION, L"Static", L"Would you like to enable or disable Remote Firmware Update?", 9, 48,
                   308, 18, 0},
                  {1000, L"Button", L"&Disable", 21, 70, 200, 12, 0},
                  {1001, L"Button", L"&Enable", 21, 84, 200, 12, 0},
                  {1012, L"Button", L"OK", 249, 100, 68, 16, 0}},
                 styles);
  EXPECT_EQ(static_cast<DWORD>(BS_AUTORADIOBUTTON), d.controls[2].style & BS_TYPEMASK);
  EXPECT_EQ(static_cast<DWORD>(BS_AUTORADIOBUTTON), d.controls[3].style & BS_TYPEMASK);
}

TEST_F(DialogResources, AboutBox100) {
  Dialog d = Load(IDD_ABOUTBOX);
  EXPECT_EQ(L"About quillo", d.caption);
  ASSERT_EQ(4u, d.controls.size());
  EXPECT_EQ(static_cast<DWORD>(SS_ICON), d.controls[0].style & SS_TYPEMASK);
  EXPECT_EQ(L"#128", d.controls[0].text);
  EXPECT_EQ(IDC_ABOUT_VERSION, d.controls[1].id);
  EXPECT_EQ(L"quillo Version 1.0", d.controls[1].text);
  EXPECT_EQ(IDC_ABOUT_DESCRIPTION, d.controls[2].id);
  EXPECT_FALSE(d.controls[2].text.empty());
  EXPECT_EQ(IDOK, d.controls[3].id);
  EXPECT_EQ(L"OK", d.controls[3].text);
}

TEST_F(DialogResources, IconBitmapsManifestAndVersion) {
  EXPECT_FALSE(Resource(RT_GROUP_ICON, IDR_MAINFRAME).empty());
  // Each picture drawn for 100 %, 150 % and 200 %, not stretched.
  const struct {
    int id, width, height;
  } bitmaps[] = {{IDB_COMMUNITY, 69, 58},      {IDB_COMMUNITY_144, 104, 87}, {IDB_COMMUNITY_192, 138, 116},
                 {IDB_SUCCESS, 32, 32},        {IDB_SUCCESS_144, 48, 48},    {IDB_SUCCESS_192, 64, 64}};
  for (const auto& b : bitmaps) {
    std::vector<BYTE> bmp = Resource(RT_BITMAP, b.id);
    ASSERT_GE(bmp.size(), sizeof(BITMAPINFOHEADER)) << b.id;
    BITMAPINFOHEADER header;
    memcpy(&header, bmp.data(), sizeof header);
    EXPECT_EQ(b.width, header.biWidth) << b.id;
    EXPECT_EQ(b.height, std::abs(header.biHeight)) << b.id;
  }
  // The icon in every size from 100 % to 200 % of the small and big icons.
  std::vector<BYTE> group = Resource(RT_GROUP_ICON, IDR_MAINFRAME);
  ASSERT_GE(group.size(), 6u);
  std::vector<int> sizes;
  for (size_t at = 6; at + 14 <= group.size(); at += 14) sizes.push_back(group[at] ? group[at] : 256);
  EXPECT_EQ((std::vector<int>{64, 48, 40, 32, 24, 20, 16}), sizes);
  std::vector<BYTE> manifest = Resource(RT_MANIFEST, 1);
  std::string text(manifest.begin(), manifest.end());
  EXPECT_NE(std::string::npos, text.find("level=\"requireAdministrator\""));
  EXPECT_NE(std::string::npos, text.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""));
  EXPECT_NE(std::string::npos, text.find(">PerMonitorV2, PerMonitor</dpiAwareness>"));
  EXPECT_NE(std::string::npos, text.find(">true/pm</dpiAware>"));

  std::vector<BYTE> version = Resource(RT_VERSION, 1);
  const DWORD signature = 0xFEEF04BD;
  size_t at = std::string::npos;
  for (size_t i = 0; i + sizeof(VS_FIXEDFILEINFO) <= version.size(); i += 4) {
    if (memcmp(version.data() + i, &signature, 4) == 0) {
      at = i;
      break;
    }
  }
  ASSERT_NE(std::string::npos, at);
  VS_FIXEDFILEINFO info;
  memcpy(&info, version.data() + at, sizeof info);
  EXPECT_EQ(static_cast<DWORD>(MAKELONG(TIDEWAY_VERSION_MINOR, TIDEWAY_VERSION_MAJOR)), info.dwFileVersionMS);
  EXPECT_EQ(static_cast<DWORD>(MAKELONG(TIDEWAY_VERSION_TWEAK, TIDEWAY_VERSION_PATCH)), info.dwFileVersionLS);
  EXPECT_EQ(static_cast<DWORD>(MAKELONG(TIDEWAY_VERSION_MINOR, TIDEWAY_VERSION_MAJOR)), info.dwProductVersionMS);
  std::wstring strings(reinterpret_cast<const wchar_t*>(version.data()), version.size() / 2);
  // The value follows its key after the terminator and the alignment padding.
  size_t key = strings.find(L"FileVersion");
  ASSERT_NE(std::wstring::npos, key);
  size_t value = strings.find(L"" TIDEWAY_VERSION_TEXT, key);
  ASSERT_NE(std::wstring::npos, value);
  EXPECT_LE(value - key, 11u + 3u);
}

}  // namespace
