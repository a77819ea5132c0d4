// Arbitrary bytes as the printer's replies to the network transport's queries
// and burns through a scripted socket, and to the USB and parallel queries
// through a scripted device (reads gather the answer from pieces). Besides
// memory safety (ASan, UBSan): no operation may report success unless the
// first 16 bytes the printer sent were a well-formed success record for the
// command.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "firmware/versions.h"
#include "host/file_io.h"
#include "host/text_utils.h"
#include "support/fake_clock.h"
#include "support/fake_device.h"
#include "support/fake_tcp_channel.h"
#include "support/firmware_builder.h"
#include "transport/ntwk_download.h"
#include "transport/prll_device.h"
#include "transport/prll_download.h"
#include "transport/usb_download.h"

using namespace nettest;

namespace {

struct Files {
  std::wstring image;
  std::wstring nand;
  Files() {
    std::string dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string base = dir + "/tideway-acl-fuzz-" + std::to_string(getpid());
    image = FromUtf8Static((base + ".bin").c_str());
    fwtest::WriteFileBytes(image, fwtest::BuildBin(fwtest::BinKind::CodeOnly, 2000, 1234));
    nand = FromUtf8Static((base + ".pkg").c_str());
    fwtest::NandFileLayout layout;
    layout.packages.push_back(fwtest::NandPackageLayout().Type(COMP_PRINT).Version(200));
    layout.packages.push_back(fwtest::NandPackageLayout().Type(COMP_NANDLDR).Version(1));
    fwtest::WriteFileBytes(nand, fwtest::BuildNand(layout));
  }
  ~Files() {
    RemoveFileWide(image.c_str());
    RemoveFileWide(nand.c_str());
  }
};

// Segments: a two-byte header (top bits: 00 bytes, 01 error, 10 closed; low
// 11 bits: length) and the bytes.
std::deque<Segment> Split(const uint8_t* p, size_t n) {
  std::deque<Segment> out;
  size_t i = 0;
  while (i + 2 <= n && out.size() < 64) {
    unsigned kind = p[i] >> 6;
    size_t len = (static_cast<size_t>(p[i] & 0x07) << 8) | p[i + 1];
    i += 2;
    if (kind == 1) {
      out.push_back(ErrorReply());
    } else if (kind == 2) {
      out.push_back(ClosedReply());
    } else {
      if (len > n - i) len = n - i;
      out.push_back(Reply(std::vector<uint8_t>(p + i, p + i + len)));
      i += len;
    }
  }
  return out;
}

// The record a first receive of 16 bytes would take, when the first segment has one.
bool FirstRecordIs(const std::deque<Segment>& replies, uint16_t cmdID) {
  if (replies.empty() || replies[0].kind != Segment::Bytes || replies[0].bytes.size() < 16) return false;
  const std::vector<uint8_t>& b = replies[0].bytes;
  return b[0] == 0x00 && b[1] == 0xAC && b[2] == (cmdID >> 8) && b[3] == (cmdID & 0xFF) && b[4] == 0 && b[5] == 1;
}

// A device reads the stream in pieces: only an error stops it.
bool StreamStartsWithRecord(const std::deque<Segment>& replies, uint16_t cmdID) {
  std::vector<uint8_t> stream;
  for (const Segment& s : replies) {
    if (s.kind == Segment::Error) break;
    stream.insert(stream.end(), s.bytes.begin(), s.bytes.end());
  }
  return stream.size() >= 16 && FirstRecordIs({Reply(stream)}, cmdID);
}

std::deque<devtest::Piece> Pieces(const std::deque<Segment>& replies) {
  std::deque<devtest::Piece> out;
  for (const Segment& s : replies) {
    out.push_back(s.kind == Segment::Error ? devtest::ReadError() : devtest::Reply(s.bytes));
  }
  return out;
}

// Handles that are never real descriptors.
class NoPort : public PrllDevice {
 public:
  DeviceHandle OpenPort(uint32_t*) override { return devtest::Handle(1); }
  DeviceHandle OpenPortForReading(uint32_t*) override { return devtest::Handle(2); }
  void ClosePort(DeviceHandle) override {}
  int RundllPath(char*, size_t) override { return 0; }
  int StartDefaultPrinter(const char*, const wchar_t*, uint32_t*) override { return 0; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Files files;
  if (size < 2) return 0;
  const uint8_t op = data[0] % 13;
  const uint8_t flags = data[1];
  std::deque<Segment> replies = Split(data + 2, size - 2);

  FakeClock clock;
  FakeNet net;
  ConnScript first;
  first.replies = replies;
  if (flags & 1) first.sendResults.push_back({static_cast<int>((flags >> 1) & 7), (flags & 0x10) ? -1 : 3});
  net.AddConnection(std::move(first));
  ConnScript second;  // the reset after a NAND burn, or the next version question
  second.replies = Split(data + 2, (size - 2) / 2);
  net.AddConnection(std::move(second));

  const wchar_t* addr = L"127.60.9.9";
  CFWDownloadNtwk ntwk;
  FirmwareFileInfo info;
  std::string text;
  const bool sendsIntact = !(flags & 1) || ((flags >> 1) & 7) > 3;
  switch (op) {
    case 0: {
      info.fileType = BINTYPE_CODE_ONLY;
      uint32_t v = ntwk.GetFWVersion(&info, addr, &text);
      if (v != 0 && (!FirstRecordIs(replies, ACLCMD_GET_VERSION) || !sendsIntact)) abort();
      break;
    }
    case 1: {
      info.fileType = BINTYPE_NAND_PKG;
      uint32_t v = ntwk.GetFWVersion(&info, addr, &text);
      if (v != 0 && (v != 9999 || !FirstRecordIs(replies, ACLCMD_GET_COMP_VERSION))) abort();
      if (text.size() > ACL_TEXT_MAX) abort();
      ParseVersionString(&info.components, text);
      break;
    }
    case 2:
    case 3: {
      char buffer[ACL_TEXT_BUFFER_SIZE];
      uint16_t cmd = op == 2 ? ACLCMD_GET_PRINTER_INFO : ACLCMD_GET_BUILD_INFO;
      int ok = ntwk.GetNtwkBuildInfo(addr, buffer, cmd);
      if (ok && (!FirstRecordIs(replies, cmd) || strnlen(buffer, sizeof buffer) >= sizeof buffer)) abort();
      break;
    }
    case 4:
      if (ntwk.Reset(addr) && !FirstRecordIs(replies, ACLCMD_RESET)) abort();
      break;
    case 5:
      if (ntwk.FixNvRam(addr) && !FirstRecordIs(replies, ACLCMD_WRITE_NVRAM)) abort();
      break;
    case 6:
    case 7: {
      FILE* f = OpenFileWide(files.image.c_str(), "rb");
      if (!f) return 0;
      int ok = op == 6 ? ntwk.BurnFlash(f, addr, ACL_IMAGE_CODE_ONLY) : ntwk.BurnSpiFlash(f, addr);
      fclose(f);
      if (ok && !FirstRecordIs(replies, op == 6 ? ACLCMD_BURN_FLASH : ACLCMD_WRITE_SPIMEM)) abort();
      break;
    }
    case 8: {
      // The printer's component text comes from the replies as well.
      std::string components(reinterpret_cast<const char*>(data + 2), size - 2 > 200 ? 200 : size - 2);
      ParseVersionString(&info.components, components);
      FILE* f = OpenFileWide(files.nand.c_str(), "rb");
      if (!f) return 0;
      int ok = ntwk.BurnNandFlash(addr, f, ACL_IMAGE_NAND_PKG, L"", L"", &info);
      fclose(f);
      (void)ok;
      break;
    }
    case 9:
    case 10:
    case 11:
    case 12: {
      devtest::FakeDevice dev;
      dev.replies = Pieces(replies);
      if (flags & 1) dev.writeResults.push_back({(flags >> 1) & 7, (flags & 0x10) ? -1 : 3});
      const bool writesIntact = !(flags & 1) || ((flags >> 1) & 7) > 3;
      if (op == 9 || op == 10) {
        info.fileType = op == 9 ? BINTYPE_CODE_ONLY : BINTYPE_NAND_PKG;
        uint16_t cmd = op == 9 ? ACLCMD_GET_VERSION : ACLCMD_GET_COMP_VERSION;
        uint32_t v = CFWDownloadUSB().GetFWVersion(&info, devtest::Handle(1), &text);
        // The closing PJL_UEL (the fourth write) failing only marks the job:
        // the answer was whole, so the version stands.
        const bool beforeCloseIntact = writesIntact || ((flags >> 1) & 7) == 3;
        if (v != 0 && (!StreamStartsWithRecord(replies, cmd) || !beforeCloseIntact)) abort();
        if (text.size() > ACL_TEXT_MAX) abort();
        ParseVersionString(&info.components, text);
      } else if (op == 11) {
        char buffer[ACL_TEXT_BUFFER_SIZE];
        uint16_t cmd = (flags & 0x20) ? ACLCMD_GET_BUILD_INFO : ACLCMD_GET_PRINTER_INFO;
        int ok = CFWDownloadUSB().GetPrinterFwInfo(devtest::Handle(1), buffer, cmd);
        if (ok && (!StreamStartsWithRecord(replies, cmd) || strnlen(buffer, sizeof buffer) >= sizeof buffer)) abort();
      } else {
        NoPort port;
        PrllDevice* previous = SetPrllDeviceForTesting(&port);
        uint32_t v = CFWDownloadPrll().GetPrllFWVersion(devtest::Handle(1));
        SetPrllDeviceForTesting(previous);
        if (v != 0 && (!StreamStartsWithRecord(replies, ACLCMD_GET_VERSION) || !writesIntact)) abort();
      }
      break;
    }
  }
  return 0;
}
