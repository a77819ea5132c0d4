#pragma once
// Generates firmware files for tests, fuzz seeds and fwinfo checks: BIN images
// (code-only, full-part, Tamarack, corrupt) with a version trailer, and NAND
// package files with chosen packages. Also writes files, sparse where the
// platform allows, for the large-file cases.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fwtest {

enum class BinKind { CodeOnly, FullPart, Tamarack, Corrupt };

// The BIN version trailer: two NUL-terminated strings and the length byte N
// (the trailer's size, length byte included). `lengthOverride` >= 0 replaces N
// as written (values 128..255 read back as negative).
struct BinTrailer {
  std::string label = "QVFW";
  std::string version = "1234";
  int lengthOverride = -1;
};

// Trailer bytes as they end the file.
std::vector<uint8_t> MakeBinTrailer(const BinTrailer& trailer);

// A BIN image of exactly `size` bytes (the trailer included; size is raised to
// the smallest that holds the magic words and the trailer). The bytes between
// are a fixed pseudo-random pattern, so sums over them are not trivial.
std::vector<uint8_t> BuildBin(BinKind kind, uint64_t size, const BinTrailer& trailer = BinTrailer());
std::vector<uint8_t> BuildBin(BinKind kind, uint64_t size, uint32_t version);
// The smallest size BuildBin accepts for a kind and trailer.
uint64_t MinBinSize(BinKind kind, const BinTrailer& trailer);

// One package of a NAND package file.
struct NandPackageLayout {
  uint32_t enabled = 1;
  std::string targetId;            // first trailer string
  std::string versionText = "1";   // second trailer string
  uint32_t t1 = 3, t2 = 0, t3 = 0;  // component type words
  uint32_t headerVersion = 2;
  uint32_t payloadSize = 64;  // bytes between the 32-byte header and the trailer
  uint8_t payloadSeed = 0;    // varies the payload pattern
  int trailerLengthOverride = -1;  // >= 0: the byte M written at S - 1

  // Sets t1/t2/t3 so that the package's component type is `componentType`
  // (3 print -> 5/5/2, 4 binary -> 5/5/5, 5 Kinset -> 5/0/0, else T1 alone).
  NandPackageLayout& Type(int32_t componentType);
  NandPackageLayout& Version(uint32_t version);
  NandPackageLayout& Target(const std::string& target);
  NandPackageLayout& Enabled(uint32_t flag);
};

struct NandFileLayout {
  bool noReboot = false;
  uint32_t headerVersion = 0x81;   // low 31 bits of the word at offset 4
  std::vector<NandPackageLayout> packages;
  int64_t countOverride = -1;      // >= 0: the package count written at offset 8
  // Gap of filler bytes between the table and the first package (large files
  // without large buffers: see WriteNandFile).
  uint64_t gapBeforePackages = 0;
  BinTrailer fileTrailer;          // the general trailer at the end of the file
  bool withFileTrailer = true;
};

// Where a package landed, to corrupt it afterwards.
struct NandPackageLocation {
  uint64_t tableEntry;  // offset of its 12-byte table entry
  uint64_t offset;      // package offset
  uint32_t size;        // S
};

// The package's own bytes (S bytes, trailer included).
std::vector<uint8_t> BuildNandPackage(const NandPackageLayout& layout);
std::vector<uint8_t> BuildNand(const NandFileLayout& layout, std::vector<NandPackageLocation>* where = nullptr);

// Byte patching helpers for corrupt variants.
void PutBe32(std::vector<uint8_t>* bytes, uint64_t offset, uint32_t value);
void PutLe32(std::vector<uint8_t>* bytes, uint64_t offset, uint32_t value);
uint32_t GetBe32(const std::vector<uint8_t>& bytes, uint64_t offset);

// Files. Paths are wide (host/file_io.h); 1 on success.
int WriteFileBytes(const std::wstring& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadFileBytes(const std::wstring& path);
// A BIN or NAND file written without holding it in memory: the gap (BIN: the
// bytes between the magic words and the trailer; NAND: gapBeforePackages) is
// left as a hole where the file system supports it and reads as zeros.
int WriteLargeBin(const std::wstring& path, BinKind kind, uint64_t size, const BinTrailer& trailer);
int WriteNandFile(const std::wstring& path, const NandFileLayout& layout, std::vector<NandPackageLocation>* where = nullptr);

// A fresh, empty directory for this process under the system temp folder
// (removed at exit), and a path inside it.
std::wstring TempDir();
std::wstring TempPath(const std::wstring& name);

}  // namespace fwtest
