#include "support/firmware_builder.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "host/file_io.h"

namespace fwtest {
namespace {

uint8_t PatternByte(uint64_t i, uint8_t seed) {
  return static_cast<uint8_t>((i * 131u + 17u + seed * 7u) ^ (i >> 8));
}

void Fill(std::vector<uint8_t>* bytes, uint64_t from, uint64_t to, uint8_t seed) {
  for (uint64_t i = from; i < to; ++i) (*bytes)[i] = PatternByte(i, seed);
}

// A NAND file split around its gap: everything before it and everything after.
struct NandParts {
  std::vector<uint8_t> head;  // header and table
  uint64_t gap = 0;
  std::vector<uint8_t> tail;  // packages and the file trailer
};

NandParts LayOutNand(const NandFileLayout& layout, std::vector<NandPackageLocation>* where) {
  NandParts parts;
  const uint64_t count = layout.packages.size();
  const uint64_t tableEnd = 12 + 12 * count;
  parts.head.assign(tableEnd, 0);
  parts.head[0] = 'N';
  parts.head[1] = 'A';
  parts.head[2] = 'N';
  parts.head[3] = 'D';
  PutBe32(&parts.head, 4, (layout.headerVersion & 0x7FFFFFFFu) | (layout.noReboot ? 0x80000000u : 0));
  PutBe32(&parts.head, 8, layout.countOverride >= 0 ? static_cast<uint32_t>(layout.countOverride)
                                                  : static_cast<uint32_t>(count));
  parts.gap = layout.gapBeforePackages;
  if (where) where->clear();
  uint64_t offset = tableEnd + parts.gap;
  for (uint64_t i = 0; i < count; ++i) {
    std::vector<uint8_t> pkg = BuildNandPackage(layout.packages[i]);
    const uint64_t entry = 12 + 12 * i;
    PutBe32(&parts.head, entry, static_cast<uint32_t>(offset));
    PutBe32(&parts.head, entry + 4, static_cast<uint32_t>(pkg.size()));
    PutBe32(&parts.head, entry + 8, 0xA5A5A5A5u);
    if (where) where->push_back({entry, offset, static_cast<uint32_t>(pkg.size())});
    parts.tail.insert(parts.tail.end(), pkg.begin(), pkg.end());
    offset += pkg.size();
  }
  if (layout.withFileTrailer) {
    std::vector<uint8_t> t = MakeBinTrailer(layout.fileTrailer);
    parts.tail.insert(parts.tail.end(), t.begin(), t.end());
  }
  return parts;
}

// Writes head, a hole of `gap` bytes and tail.
int WriteWithGap(const std::wstring& path, const std::vector<uint8_t>& head, uint64_t gap,
                 const std::vector<uint8_t>& tail) {
  FILE* f = OpenFileWide(path.c_str(), "wb");
  if (!f) return 0;
  bool ok = head.empty() || fwrite(head.data(), 1, head.size(), f) == head.size();
  if (ok && gap) ok = SeekFile64(f, static_cast<int64_t>(head.size() + gap), SEEK_SET) == 0;
  if (ok && !tail.empty()) ok = fwrite(tail.data(), 1, tail.size(), f) == tail.size();
  if (ok && tail.empty() && gap) {
    // A hole at the very end needs a last byte to give the file its size.
    ok = SeekFile64(f, static_cast<int64_t>(head.size() + gap - 1), SEEK_SET) == 0 && fputc(0, f) != EOF;
  }
  return (fclose(f) == 0 && ok) ? 1 : 0;
}

std::wstring& TempDirStorage() {
  static std::wstring dir;
  return dir;
}

struct TempDirCleanup {
  ~TempDirCleanup() {
    if (TempDirStorage().empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(std::filesystem::path(TempDirStorage()), ec);
  }
};

}  // namespace

std::vector<uint8_t> MakeBinTrailer(const BinTrailer& trailer) {
  std::vector<uint8_t> t(trailer.label.begin(), trailer.label.end());
  t.push_back(0);
  t.insert(t.end(), trailer.version.begin(), trailer.version.end());
  t.push_back(0);
  t.push_back(0);  // room for the length byte
  t.back() = static_cast<uint8_t>(trailer.lengthOverride >= 0 ? trailer.lengthOverride : static_cast<int>(t.size()));
  return t;
}

uint64_t MinBinSize(BinKind kind, const BinTrailer& trailer) {
  const uint64_t t = MakeBinTrailer(trailer).size();
  return (kind == BinKind::FullPart ? 0x10000 + 4 : 4) + t;
}

namespace {
void WriteBinHead(BinKind kind, std::vector<uint8_t>* bytes) {
  switch (kind) {
    case BinKind::CodeOnly:
      PutLe32(bytes, 0, 0x544155AAu);
      break;
    case BinKind::Tamarack:
      PutLe32(bytes, 0, 0x0CEDDEC0u);
      break;
    case BinKind::FullPart:
      PutLe32(bytes, 0, 0x12345678u);
      PutLe32(bytes, 0x10000, 0x544155AAu);
      break;
    case BinKind::Corrupt:
      PutLe32(bytes, 0, 0xDEADBEEFu);
      if (bytes->size() >= 0x10004) PutLe32(bytes, 0x10000, 0xDEADBEEFu);
      break;
  }
}
}  // namespace

std::vector<uint8_t> BuildBin(BinKind kind, uint64_t size, const BinTrailer& trailer) {
  const std::vector<uint8_t> t = MakeBinTrailer(trailer);
  if (size < MinBinSize(kind, trailer)) size = MinBinSize(kind, trailer);
  std::vector<uint8_t> bytes(size);
  Fill(&bytes, 0, size - t.size(), 0);
  WriteBinHead(kind, &bytes);
  std::copy(t.begin(), t.end(), bytes.end() - static_cast<std::ptrdiff_t>(t.size()));
  return bytes;
}

std::vector<uint8_t> BuildBin(BinKind kind, uint64_t size, uint32_t version) {
  BinTrailer t;
  t.version = std::to_string(version);
  return BuildBin(kind, size, t);
}

int WriteLargeBin(const std::wstring& path, BinKind kind, uint64_t size, const BinTrailer& trailer) {
  const std::vector<uint8_t> t = MakeBinTrailer(trailer);
  if (size < MinBinSize(kind, trailer)) size = MinBinSize(kind, trailer);
  std::vector<uint8_t> head(kind == BinKind::FullPart ? 0x10004 : 4);
  Fill(&head, 0, head.size(), 0);
  WriteBinHead(kind, &head);
  return WriteWithGap(path, head, size - head.size() - t.size(), t);
}

NandPackageLayout& NandPackageLayout::Type(int32_t componentType) {
  t2 = 0;
  t3 = 0;
  switch (componentType) {
    case 3:
      t1 = 5, t2 = 5, t3 = 2;
      break;
    case 4:
      t1 = 5, t2 = 5, t3 = 5;
      break;
    default:
      t1 = static_cast<uint32_t>(componentType);
      break;
  }
  return *this;
}

NandPackageLayout& NandPackageLayout::Version(uint32_t version) {
  versionText = std::to_string(version);
  return *this;
}

NandPackageLayout& NandPackageLayout::Target(const std::string& target) {
  targetId = target;
  return *this;
}

NandPackageLayout& NandPackageLayout::Enabled(uint32_t flag) {
  enabled = flag;
  return *this;
}

std::vector<uint8_t> BuildNandPackage(const NandPackageLayout& layout) {
  // Header (32 bytes), payload, then target NUL version NUL, one spare byte
  // and M: the text starts M + 2 bytes before the end, so M is its length.
  std::vector<uint8_t> text(layout.targetId.begin(), layout.targetId.end());
  text.push_back(0);
  text.insert(text.end(), layout.versionText.begin(), layout.versionText.end());
  text.push_back(0);
  const uint64_t size = 32 + static_cast<uint64_t>(layout.payloadSize) + text.size() + 2;
  std::vector<uint8_t> p(size, 0);
  PutBe32(&p, 0, 0x504B4731u);
  PutBe32(&p, 4, layout.headerVersion);
  PutBe32(&p, 8, layout.enabled);
  PutBe32(&p, 12, 0x01020304u);
  PutBe32(&p, 16, 0x05060708u);
  PutBe32(&p, 20, layout.t1);
  PutBe32(&p, 24, layout.t2);
  PutBe32(&p, 28, layout.t3);
  for (uint64_t i = 0; i < layout.payloadSize; ++i) p[32 + i] = PatternByte(i, layout.payloadSeed);
  std::copy(text.begin(), text.end(), p.begin() + 32 + layout.payloadSize);
  p[size - 2] = 0;
  p[size - 1] = static_cast<uint8_t>(layout.trailerLengthOverride >= 0 ? layout.trailerLengthOverride
                                                                      : static_cast<int>(text.size()));
  return p;
}

std::vector<uint8_t> BuildNand(const NandFileLayout& layout, std::vector<NandPackageLocation>* where) {
  NandParts parts = LayOutNand(layout, where);
  std::vector<uint8_t> bytes = std::move(parts.head);
  bytes.resize(bytes.size() + parts.gap, 0);
  bytes.insert(bytes.end(), parts.tail.begin(), parts.tail.end());
  return bytes;
}

int WriteNandFile(const std::wstring& path, const NandFileLayout& layout, std::vector<NandPackageLocation>* where) {
  NandParts parts = LayOutNand(layout, where);
  return WriteWithGap(path, parts.head, parts.gap, parts.tail);
}

void PutBe32(std::vector<uint8_t>* bytes, uint64_t offset, uint32_t value) {
  if (offset + 4 > bytes->size()) bytes->resize(offset + 4, 0);
  for (int i = 0; i < 4; ++i) (*bytes)[offset + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

void PutLe32(std::vector<uint8_t>* bytes, uint64_t offset, uint32_t value) {
  if (offset + 4 > bytes->size()) bytes->resize(offset + 4, 0);
  for (int i = 0; i < 4; ++i) (*bytes)[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t GetBe32(const std::vector<uint8_t>& bytes, uint64_t offset) {
  if (offset + 4 > bytes.size()) return 0;
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v = (v << 8) | bytes[offset + i];
  return v;
}

int WriteFileBytes(const std::wstring& path, const std::vector<uint8_t>& bytes) {
  return WriteWithGap(path, bytes, 0, {});
}

std::vector<uint8_t> ReadFileBytes(const std::wstring& path) {
  std::vector<uint8_t> bytes;
  FILE* f = OpenFileWide(path.c_str(), "rb");
  if (!f) return bytes;
  uint8_t buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
  fclose(f);
  return bytes;
}

std::wstring TempDir() {
  std::wstring& dir = TempDirStorage();
  // Constructed after the storage so that it is destroyed before it.
  static TempDirCleanup cleanup;
  if (dir.empty()) {
    std::error_code ec;
    const std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100 && dir.empty(); ++attempt) {
      std::filesystem::path candidate =
          base / ("tideway-fw-" + std::to_string(stamp) + "-" + std::to_string(counter++));
      if (std::filesystem::create_directory(candidate, ec)) dir = candidate.wstring();
    }
  }
  return dir;
}

std::wstring TempPath(const std::wstring& name) {
  std::wstring dir = TempDir();
#ifdef _WIN32
  return dir + L"\\" + name;
#else
  return dir + L"/" + name;
#endif
}

}  // namespace fwtest
