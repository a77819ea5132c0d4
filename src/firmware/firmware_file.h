#pragma once
// Firmware files: BIN images (code-only, full-part) and NAND package files.
// Classification and version trailer (GetBinFileVersion), the whole-file read,
// and a bounded walk over a NAND package file held in memory.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// File type codes (the "file type" out-value of GetBinFileVersion).
constexpr int32_t BINTYPE_FULL_PART = 1;
constexpr int32_t BINTYPE_CODE_ONLY = 2;
constexpr int32_t BINTYPE_NAND_PKG = 3;
constexpr int32_t BINTYPE_CORRUPT = 9;

// FirmwareFileInfo::fileKind.
constexpr int32_t FILEKIND_NAND_PKG = 1;
constexpr int32_t FILEKIND_BIN = 2;

// Magic words as read little-endian from the first four bytes.
constexpr uint32_t BIN_MAGIC_CODE = 0x544155AAu;      // AA 55 41 54
constexpr uint32_t BIN_MAGIC_TAMARACK = 0x0CEDDEC0u;  // C0 DE ED 0C
constexpr uint32_t BIN_MAGIC_NAND = 0x444E414Eu;      // "NAND"
// A full-part image carries the code magic after its leading part.
constexpr uint64_t BIN_FULL_PART_OFFSET = 0x10000;
// At most this many trailer bytes are examined (into a buffer one longer).
constexpr size_t BIN_TRAILER_WINDOW = 40;

// NAND package file (big-endian words).
constexpr uint32_t NAND_MAGIC_BE = 0x4E414E44u;  // "NAND" read big-endian
constexpr uint32_t NAND_NO_REBOOT = 0x80000000u;
constexpr uint32_t NAND_HEADER_VERSION = 0x81;
constexpr uint32_t NAND_PACKAGE_HEADER_VERSION = 2;
constexpr uint64_t NAND_TABLE_OFFSET = 12;
constexpr uint64_t NAND_TABLE_ENTRY_SIZE = 12;
// Bytes of a package header that are read (up to and including T3).
constexpr uint32_t NAND_PACKAGE_MIN_SIZE = 32;
// File sizes are 32-bit in the format and in the burn commands.
constexpr uint64_t FIRMWARE_FILE_MAX_SIZE = 0xFFFFFFFFu;

// Windows error code used for a failed allocation, on every platform.
constexpr uint32_t FW_ERROR_NOT_ENOUGH_MEMORY = 8;

struct ComponentVersion {
  std::string name;      // as the printer sent it
  int32_t type = 0;      // COMP_* (versions.h)
  uint32_t version = 0;  // compared unsigned
};

// One per download; created zeroed by the caller of the transport.
struct FirmwareFileInfo {
  int32_t fileKind = 0;  // FILEKIND_*; 0 until classified
  int32_t fileType = 0;  // BINTYPE_FULL_PART, _CODE_ONLY or _NAND_PKG (never corrupt)
  // Size and trailer version when the file was classified: the burn sends
  // only a file that still has them.
  int64_t fileSize = -1;
  uint32_t fileVersion = 0;
  std::vector<ComponentVersion> components;
  // What the printer last answered to the version check: its version (9999:
  // per component, in printerComponents as it sent them); 0 when none.
  uint32_t printerVersion = 0;
  std::string printerComponents;
};

// Classifies the file and reads its version trailer. Returns the version, 0 on
// any failure. fileTypeOut gets 1, 2, 3 or 9; on an open failure nothing is
// written.
uint32_t GetBinFileVersion(FirmwareFileInfo* info, int32_t* fileTypeOut, const wchar_t* path);

// The same over a file's bytes in memory (`path` names it in the log).
uint32_t GetBinImageVersion(FirmwareFileInfo* info, int32_t* fileTypeOut, const wchar_t* path, const uint8_t* data,
                            uint64_t size);

// Whether `data` (a whole file read into memory) is still the file `info`
// was filled from: the same size and trailer version. An info that was never
// filled (fileSize -1) matches any file.
bool FirmwareMatchesInfo(const uint8_t* data, uint64_t size, const FirmwareFileInfo& info);

// The pieces of GetBinFileVersion that need no file (tests, fuzzing, fwinfo).
// magicAt64K is only looked at when magicAt0 is not a known magic.
int32_t ClassifyBinMagic(uint32_t magicAt0, uint32_t magicAt64K);
// `tail` is the end of the file (the last `tailLen` bytes, tailLen may be the
// whole file); the last byte is the trailer length N. 0 when there is no
// usable trailer.
uint32_t BinTrailerVersion(const uint8_t* tail, size_t tailLen);
// "%d"-style scan of a decimal number (leading blanks, optional sign, digits
// until the first non-digit), over at most `len` bytes and never past a NUL.
// 1 and the value (two's complement for negatives) when at least one digit
// was read, 0 otherwise.
int ScanDecimal32(const char* text, size_t len, uint32_t* value);

// A whole firmware file in memory: one allocation of the file's size, one read
// that must deliver exactly that size. The buffer is released when the object
// goes.
class FirmwareFileBuffer {
 public:
  FirmwareFileBuffer() = default;
  FirmwareFileBuffer(const FirmwareFileBuffer&) = delete;
  FirmwareFileBuffer& operator=(const FirmwareFileBuffer&) = delete;

  // Reads the open file from its start. Failures log, with the system error,
  // "Malloc failed: return ERROR_NOT_ENOUGH_MEMORY" (also for files above
  // FIRMWARE_FILE_MAX_SIZE) or "Read bin file failed", and return 0.
  // `beforeAlloc` / `beforeRead`, when not null, are logged before the
  // allocation and before the read.
  int ReadAll(FILE* file, const wchar_t* beforeAlloc = nullptr, const wchar_t* beforeRead = nullptr);
  // Opens the path for reading and reads it whole; 0 (logged) on failure.
  int ReadPath(const wchar_t* path);

  const uint8_t* Data() const { return m_data.get(); }
  uint8_t* MutableData() { return m_data.get(); }
  uint64_t Size() const { return m_size; }
  void Release();
  // Hands the bytes over to the caller; the buffer is empty afterwards.
  std::unique_ptr<uint8_t[]> Take();

 private:
  std::unique_ptr<uint8_t[]> m_data;
  uint64_t m_size = 0;
};

// Results of NandPackageFile::Open.
constexpr int NAND_OK = 0;
constexpr int NAND_ERR_MAGIC = 1;           // not "NAND" (or shorter than its header)
constexpr int NAND_ERR_HEADER_VERSION = 2;  // header VERSION is not 0x81 (Header() is valid)
constexpr int NAND_ERR_BOUNDS = 3;          // table, package or trailer outside the file

struct NandHeader {
  uint32_t word = 0;  // the raw word at offset 4
  bool noReboot = false;
  uint32_t version = 0;  // low 31 bits of the word
  uint32_t packageCount = 0;
};

struct NandPackage {
  uint32_t index = 0;   // position in the table, 0-based
  uint32_t number = 0;  // the log number: count - index (C, C-1, ..., 1)
  uint32_t offset = 0;  // from the start of the file
  uint32_t size = 0;    // S, trailer included
  const uint8_t* bytes = nullptr;  // the S bytes the burn sends (inside the walked buffer)
  uint32_t headerVersion = 0;      // must be 2
  uint32_t enabled = 0;            // 0 = rejected
  uint32_t t1 = 0, t2 = 0, t3 = 0;
  int32_t componentType = 0;  // from T1/T2/T3, COMP_* codes
  std::string targetId;       // first trailer string
  std::string versionText;    // second trailer string
  uint32_t version = 0;       // "%d" scan of versionText; 0 when it does not scan
};

// Component type of a package from its T1/T2/T3 words.
int32_t NandComponentType(uint32_t t1, uint32_t t2, uint32_t t3);

// Bounded view of a NAND package file in memory. Open checks the magic, the
// header and, for a valid header, that the table and every package with its
// trailer lie inside the buffer, so that no package is handed out (and none is
// burned) from a file that has a bad one further on. The buffer must outlive
// the object.
class NandPackageFile {
 public:
  int Open(const uint8_t* data, uint64_t size);
  const NandHeader& Header() const { return m_header; }
  uint32_t Count() const { return m_header.packageCount; }
  // 1 and the package for index < Count() after a successful Open, else 0.
  int Package(uint32_t index, NandPackage* out) const;
  // Why Open failed, for the log: "ERROR: This is not a Nand flash bin file"
  // for NAND_ERR_MAGIC, the same with the offending part for NAND_ERR_BOUNDS.
  const wchar_t* ErrorText() const { return m_error; }

 private:
  const uint8_t* m_data = nullptr;
  uint64_t m_size = 0;
  bool m_valid = false;
  NandHeader m_header;
  wchar_t m_error[160] = {};
};

// Big-endian word at `offset` when the four bytes lie inside the buffer.
int ReadBe32(const uint8_t* data, uint64_t size, uint64_t offset, uint32_t* value);
