#include "net/ip_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "net/ip_address.h"

namespace {
struct TextCase {
  const wchar_t* text;
  int expected;
};
}  // namespace

TEST(IsIPv4Text, Table) {
  const TextCase cases[] = {
      {L"192.168.1.20", 1},
      {L"192.168.1.20:9100", 1},
      {L"0.0.0.0", 1},
      {L"255.255.255.255:65535", 1},
      {L"127.30.0.1:0", 1},
      {L"192.168.1.256", 0},
      {L"1234.1.1.1", 0},
      {L"192.168.1", 0},
      {L"192.168.1.20:70000", 0},
      {L"1.2.3.4:65536", 0},
      {L"001.002.003.255", 1},
      {L"0255.1.1.1", 0},
      {L"192.168.1.20:", 0},
      {L"192.168.1.20:80:", 0},
      {L"192.168.1.20.", 0},
      {L"192.168.1.20.5", 0},
      {L"1.2.3.4567", 0},
      {L" 1.2.3.4", 0},
      {L"1.2.3.4 ", 0},
      {L"+1.2.3.4", 0},
      {L"1.2.3.-4", 0},
      {L"1..2.3", 0},
      {L"", 0},
      {L"a.b.c.d", 0},
      {L"1.2.3.4:99999999999999999999", 0},
      {L"::1", 0},
  };
  for (const TextCase& c : cases) EXPECT_EQ(IsIPv4Text(c.text), c.expected) << c.text;
  EXPECT_EQ(IsIPv4Text(nullptr), 0);
}

TEST(IsIPv6Text, Table) {
  const TextCase cases[] = {
      {L"fe80::1%12", 1},
      {L"[2001:db8::1]", 1},
      {L"[2001:db8::1]:9100", 1},
      {L"::ffff:192.168.1.20", 1},
      {L"::1", 1},
      {L"::", 1},
      {L"1::", 1},
      {L"2001:db8:0:0:0:0:0:1", 1},
      {L"2001:db8::1/128", 1},
      {L"2001:db8::1/64", 1},
      {L"1:2:3:4:5:6:1.2.3.4", 1},
      {L"2001:db8::1/129", 0},
      {L"2001:db8::1/0128", 0},
      {L"[::1]:65535", 1},
      {L"[::1]:65536", 0},
      {L"fe80::1%4294967295", 1},
      {L"fe80::1%4294967296", 0},
      {L"fe80::1%0000000001", 1},
      {L"fe80::1%00000000001", 0},
      {L"1234::1", 1},
      {L"2001:db8:0:0:0:0:1", 0},
      {L"1::2::3", 0},
      {L":1:2:3:4:5:6:7", 0},
      {L"1:2:3:4:5:6:7:", 0},
      {L":::", 0},
      {L"1:2:3:4:5:6:7:8:9", 0},
      {L"12345::1", 0},
      {L"g::1", 0},
      {L"fe80::1%", 0},
      {L"fe80::1%eth0", 0},
      {L"2001:db8::1/", 0},
      {L"[2001:db8::1", 0},
      {L"[2001:db8::1]x", 0},
      {L"[::1]:70000", 0},
      {L"1:2:3:4:5:6:7:1.2.3.4", 0},
      {L"1.2.3.4::1", 0},
      {L"::1.2.3.4:1", 0},
      {L"::256.1.1.1", 0},
      {L"192.168.1.20", 0},
      {L"", 0},
  };
  for (const TextCase& c : cases) EXPECT_EQ(IsIPv6Text(c.text), c.expected) << c.text;
  EXPECT_EQ(IsIPv6Text(nullptr), 0);
}

// Texts are judged up to 255 characters: a bracketed port padded with zeros
// to exactly that length passes, one more character does not.
TEST(IsIPv6Text, LengthBound) {
  const std::wstring head = L"[::1]:";
  std::wstring longest = head + std::wstring(255 - head.size() - 4, L'0') + L"9100";
  ASSERT_EQ(longest.size(), 255u);
  EXPECT_EQ(IsIPv6Text(longest.c_str()), 1);
  EXPECT_EQ(IsIPv6Text((L"[::1]:0" + longest.substr(head.size())).c_str()), 0);
}

TEST(IsIPv6Text, OverlongTextIsRefusedNotCopied) {
  wchar_t text[600];
  for (size_t i = 0; i < 599; ++i) text[i] = (i % 5 == 4) ? L':' : L'a';
  text[599] = 0;
  EXPECT_EQ(IsIPv6Text(text), 0);
}

TEST(IPAddress, ValidatesOnConstruction) {
  struct Case {
    const wchar_t* text;
    bool valid;
    int family;
    uint8_t first;
    uint8_t last;
  } cases[] = {
      {L"127.30.0.1", true, IPADDR_FAMILY_V4, 127, 1},
      {L"127.30.0.2:9100", true, IPADDR_FAMILY_V4, 127, 2},
      {L"::1", true, IPADDR_FAMILY_V6, 0, 1},
      {L"[fe80::2%3]", true, IPADDR_FAMILY_V6, 0xfe, 2},
      {L"::ffff:127.30.0.9", true, IPADDR_FAMILY_V6, 0, 9},
      {L"127.30.0.3:65535", true, IPADDR_FAMILY_V4, 127, 3},
      {L"127.30.0.3:65536", false, IPADDR_FAMILY_NONE, 0, 0},
      {L"127.30.0.255", true, IPADDR_FAMILY_V4, 127, 255},
      {L"[::1]:65535", true, IPADDR_FAMILY_V6, 0, 1},
      {L"[::1]:65536", false, IPADDR_FAMILY_NONE, 0, 0},
      {L"printer.example", false, IPADDR_FAMILY_NONE, 0, 0},
      {L"192.168.1.256", false, IPADDR_FAMILY_NONE, 0, 0},
      {L"", false, IPADDR_FAMILY_NONE, 0, 0},
  };
  for (const Case& c : cases) {
    IPAddress a(c.text);
    EXPECT_STREQ(a.Text(), c.text);
    EXPECT_EQ(a.IsValid(), c.valid) << c.text;
    EXPECT_EQ(a.Family(), c.family) << c.text;
    if (!c.valid) {
      EXPECT_EQ(a.Binary(), nullptr);
      size_t size = 1;
      EXPECT_EQ(a.SocketAddress(&size), nullptr);
      EXPECT_EQ(size, 0u);
      continue;
    }
    ASSERT_NE(a.Binary(), nullptr);
    EXPECT_EQ(a.Binary()[0], c.first) << c.text;
    EXPECT_EQ(a.Binary()[a.BinarySize() - 1], c.last) << c.text;
    size_t size = 0;
    EXPECT_NE(a.SocketAddress(&size), nullptr) << c.text;
    EXPECT_EQ(size, c.family == IPADDR_FAMILY_V4 ? 16u : 28u);
  }
}

TEST(IPAddress, CopyKeepsTextAndBinary) {
  IPAddress a(L"127.30.0.5");
  IPAddress b;
  EXPECT_EQ(b.Family(), IPADDR_FAMILY_NONE);
  EXPECT_FALSE(b.IsValid());
  b = a;
  EXPECT_STREQ(b.Text(), L"127.30.0.5");
  EXPECT_TRUE(b.IsValid());
  ASSERT_NE(b.Binary(), nullptr);
  EXPECT_EQ(0, memcmp(a.Binary(), b.Binary(), 4));
}

TEST(IPAddress, OverlongTextIsCut) {
  std::wstring text(1000, L'7');
  IPAddress a(text.c_str());
  EXPECT_EQ(wcslen(a.Text()), IPADDR_TEXT_MAX - 1);
  EXPECT_FALSE(a.IsValid());
}

TEST(IPAddress, OverlongTextThatWouldBeValidWhenCutIsRefused) {
  // Cut to its first 255 characters this text is a valid IPv4 address with a
  // port; whole, it ends in a second colon and is no address at all.
  std::wstring text = L"2.169.1.0:" + std::wstring(250, L'0') + L"1948141023:";
  ASSERT_EQ(IsIPv4Text(text.c_str()), 0);
  ASSERT_EQ(IsIPv4Text(text.substr(0, IPADDR_TEXT_MAX - 1).c_str()), 1);
  IPAddress a(text.c_str());
  EXPECT_FALSE(a.IsValid());
}
