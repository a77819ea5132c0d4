#include "firmware/firmware_file.h"

#include <cstring>
#include <cwchar>
#include <functional>
#include <new>

#include "firmware/versions.h"
#include "host/file_io.h"
#include "host/logger.h"
#include "host/text_utils.h"
#include "host/unique_file.h"

namespace {

// Only the last 127 bytes can hold a trailer (its length is a signed byte).
constexpr size_t kTrailerTail = 128;

uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// Decimal string-to-long with a 32-bit long, as the trailer was written for:
// out-of-range values saturate.
// Skips leading blanks and an optional sign, as both C conversions do; returns
// the position of the first digit.
size_t SkipBlanksAndSign(const char* text, size_t len, bool* negative) {
  size_t i = 0;
  while (i < len && text[i] && IsBlank(text[i])) ++i;
  *negative = false;
  if (i < len && (text[i] == '+' || text[i] == '-')) {
    *negative = text[i] == '-';
    ++i;
  }
  return i;
}

uint32_t StringToLong32(const char* text, size_t len) {
  bool negative = false;
  size_t i = SkipBlanksAndSign(text, len, &negative);
  int64_t value = 0;
  bool any = false;
  for (; i < len && text[i] >= '0' && text[i] <= '9'; ++i) {
    any = true;
    if (value <= 0x80000000LL) value = value * 10 + (text[i] - '0');
  }
  if (!any) return 0;
  if (negative) {
    value = -value;
    if (value < -0x80000000LL) value = -0x80000000LL;
  } else if (value > 0x7FFFFFFFLL) {
    value = 0x7FFFFFFFLL;
  }
  return static_cast<uint32_t>(static_cast<int32_t>(value));
}

}  // namespace

int ScanDecimal32(const char* text, size_t len, uint32_t* value) {
  bool negative = false;
  size_t i = SkipBlanksAndSign(text, len, &negative);
  uint32_t v = 0;
  bool any = false;
  // Wraps modulo 2^32 like the C library's %d conversion stored in 32 bits.
  for (; i < len && text[i] >= '0' && text[i] <= '9'; ++i) {
    any = true;
    v = v * 10u + static_cast<uint32_t>(text[i] - '0');
  }
  if (!any) return 0;
  if (value) *value = negative ? (0u - v) : v;
  return 1;
}

int32_t ClassifyBinMagic(uint32_t magicAt0, uint32_t magicAt64K) {
  switch (magicAt0) {
    case BIN_MAGIC_NAND:
      return BINTYPE_NAND_PKG;
    case BIN_MAGIC_TAMARACK:
      return BINTYPE_CORRUPT;
    case BIN_MAGIC_CODE:
      return BINTYPE_CODE_ONLY;
    default:
      return magicAt64K == BIN_MAGIC_CODE ? BINTYPE_FULL_PART : BINTYPE_CORRUPT;
  }
}

uint32_t BinTrailerVersion(const uint8_t* tail, size_t tailLen) {
  if (!tail || tailLen == 0) return 0;
  const int n = static_cast<int8_t>(tail[tailLen - 1]);
  // A trailer longer than the file is no trailer.
  if (n < 1 || static_cast<size_t>(n) > tailLen) return 0;
  char window[BIN_TRAILER_WINDOW + 1] = {};
  const size_t take = static_cast<size_t>(n) < BIN_TRAILER_WINDOW ? static_cast<size_t>(n) : BIN_TRAILER_WINDOW;
  memcpy(window, tail + tailLen - static_cast<size_t>(n), take);
  const size_t first = strnlen(window, BIN_TRAILER_WINDOW);
  // A first string that fills the window leaves no second string.
  if (first + 1 >= sizeof window) return 0;
  return StringToLong32(window + first + 1, sizeof window - first - 1);
}

bool FirmwareMatchesInfo(const uint8_t* data, uint64_t size, const FirmwareFileInfo& info) {
  if (info.fileSize < 0) return true;
  if (!data || size != static_cast<uint64_t>(info.fileSize)) return false;
  const uint64_t tail = size < kTrailerTail ? size : kTrailerTail;
  return BinTrailerVersion(data + (size - tail), static_cast<size_t>(tail)) == info.fileVersion;
}

namespace {

// `len` bytes at `offset` into `out`; false when they cannot all be read.
using ReadAt = std::function<bool(int64_t offset, uint8_t* out, size_t len)>;

uint32_t LeAt(const ReadAt& readAt, int64_t offset) {
  uint8_t b[4];
  return readAt(offset, b, sizeof b) ? Le32(b) : 0;
}

// GetBinFileVersion after its first line, over any bytes: `size` -1 when the
// end cannot be found.
uint32_t ClassifyBin(FirmwareFileInfo* info, int32_t* fileTypeOut, const ReadAt& readAt, int64_t size) {
  Logger* log = Logger::Instance();
  int32_t fileType = BINTYPE_CORRUPT;
  const uint32_t magic = LeAt(readAt, 0);
  log->Write(L"filetypeID = %#X", magic);
  switch (magic) {
    case BIN_MAGIC_NAND:
      log->Write(L"GetBinFileVersion   filetype = PKG File");
      fileType = BINTYPE_NAND_PKG;
      if (info) info->fileKind = FILEKIND_NAND_PKG;
      break;
    case BIN_MAGIC_TAMARACK:
      log->Write(L"GetBinFileVersion   filetype = Tamarack BIN File, Code Only");
      if (info) {
        info->fileType = BINTYPE_CODE_ONLY;
        info->fileKind = FILEKIND_BIN;
      }
      if (fileTypeOut) *fileTypeOut = BINTYPE_CORRUPT;
      log->Write(L"ERROR: Codeonly files are NOT allowed on tamarack, file is corrupt.");
      return 0;
    case BIN_MAGIC_CODE:
      log->Write(L"GetBinFileVersion   filetype = BIN File, Code Only");
      fileType = BINTYPE_CODE_ONLY;
      if (info) info->fileKind = FILEKIND_BIN;
      break;
    default: {
      const uint32_t code = LeAt(readAt, static_cast<int64_t>(BIN_FULL_PART_OFFSET));
      if (ClassifyBinMagic(magic, code) != BINTYPE_FULL_PART) {
        log->Write(L"ERROR:  codetypeID unknown (%#x), file is corrupt.", code);
        if (fileTypeOut) *fileTypeOut = BINTYPE_CORRUPT;
        return 0;
      }
      log->Write(L"GetBinFileVersion   filetype = BIN File, Full Part");
      fileType = BINTYPE_FULL_PART;
      if (info) info->fileKind = FILEKIND_BIN;
      break;
    }
  }
  if (fileTypeOut) *fileTypeOut = fileType;
  if (info) info->fileType = fileType;

  uint8_t tail[kTrailerTail];
  size_t tailLen = 0;
  if (info) info->fileSize = size;
  if (size > 0) {
    const int64_t want = size < static_cast<int64_t>(sizeof tail) ? size : static_cast<int64_t>(sizeof tail);
    if (readAt(size - want, tail, static_cast<size_t>(want))) tailLen = static_cast<size_t>(want);
  }
  const uint32_t version = BinTrailerVersion(tail, tailLen);
  if (info) info->fileVersion = version;
  return version;
}

}  // namespace

uint32_t GetBinFileVersion(FirmwareFileInfo* info, int32_t* fileTypeOut, const wchar_t* path) {
  Logger* log = Logger::Instance();
  log->Write(L"GetBinFileVersion file=%ls", path ? path : L"");
  UniqueFile file(path ? OpenFileWide(path, "rb") : nullptr);
  if (!file) {
    log->Write(L"  Open bin file failed.  gle=%d", static_cast<int>(LastSystemError()));
    return 0;
  }
  FILE* f = file.get();
  const int64_t size = SeekFile64(f, 0, SEEK_END) == 0 ? TellFile64(f) : -1;
  return ClassifyBin(
      info, fileTypeOut,
      [f](int64_t offset, uint8_t* out, size_t len) {
        return SeekFile64(f, offset, SEEK_SET) == 0 && fread(out, 1, len, f) == len;
      },
      size);
}

uint32_t GetBinImageVersion(FirmwareFileInfo* info, int32_t* fileTypeOut, const wchar_t* path, const uint8_t* data,
                            uint64_t size) {
  Logger::Instance()->Write(L"GetBinFileVersion file=%ls", path ? path : L"");
  return ClassifyBin(
      info, fileTypeOut,
      [data, size](int64_t offset, uint8_t* out, size_t len) {
        if (offset < 0 || static_cast<uint64_t>(offset) > size || size - static_cast<uint64_t>(offset) < len) {
          return false;
        }
        memcpy(out, data + offset, len);
        return true;
      },
      static_cast<int64_t>(size));
}

void FirmwareFileBuffer::Release() {
  m_data.reset();
  m_size = 0;
}

std::unique_ptr<uint8_t[]> FirmwareFileBuffer::Take() {
  m_size = 0;
  return std::move(m_data);
}

int FirmwareFileBuffer::ReadAll(FILE* file, const wchar_t* beforeAlloc, const wchar_t* beforeRead) {
  Logger* log = Logger::Instance();
  Release();
  if (!file) {
    log->WriteError(LastSystemError(), L"Read bin file failed");
    return 0;
  }
  int64_t end = -1;
  if (SeekFile64(file, 0, SEEK_END) == 0) end = TellFile64(file);
  if (end < 0 || SeekFile64(file, 0, SEEK_SET) != 0) {
    log->WriteError(LastSystemError(), L"Read bin file failed");
    return 0;
  }
  const uint64_t size = static_cast<uint64_t>(end);
  if (beforeAlloc) log->Write(L"%ls", beforeAlloc);
  // Sizes are 32-bit words in the format; a larger file cannot be one.
  uint8_t* data = nullptr;
  if (size <= FIRMWARE_FILE_MAX_SIZE && static_cast<uint64_t>(static_cast<size_t>(size)) == size) {
    data = new (std::nothrow) uint8_t[size ? static_cast<size_t>(size) : 1];
  }
  if (!data) {
    log->WriteError(FW_ERROR_NOT_ENOUGH_MEMORY, L"Malloc failed: return ERROR_NOT_ENOUGH_MEMORY");
    return 0;
  }
  std::unique_ptr<uint8_t[]> owned(data);
  if (beforeRead) log->Write(L"%ls", beforeRead);
  // fread of a size_t count may be split by the C library; loop until done.
  uint64_t got = 0;
  while (got < size) {
    const size_t chunk = static_cast<size_t>(size - got < (1u << 30) ? size - got : (1u << 30));
    const size_t n = fread(data + got, 1, chunk, file);
    if (n == 0) break;
    got += n;
  }
  if (got != size) {
    log->WriteError(LastSystemError(), L"Read bin file failed");
    return 0;
  }
  m_data = std::move(owned);
  m_size = size;
  return 1;
}

int FirmwareFileBuffer::ReadPath(const wchar_t* path) {
  UniqueFile file(path ? OpenFileWide(path, "rb") : nullptr);
  if (!file) {
    Release();
    Logger::Instance()->WriteError(LastSystemError(), L"Failed to Open fw bin file");
    return 0;
  }
  return ReadAll(file.get());
}

int ReadBe32(const uint8_t* data, uint64_t size, uint64_t offset, uint32_t* value) {
  if (!data || offset > size || size - offset < 4) return 0;
  const uint8_t* p = data + offset;
  if (value) {
    *value = (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
             (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
  }
  return 1;
}

int32_t NandComponentType(uint32_t t1, uint32_t t2, uint32_t t3) {
  if (t1 != 5) return static_cast<int32_t>(t1);
  if (t2 != 5) return COMP_KINSET;
  if (t3 == 2) return COMP_PRINT;
  if (t3 == 5) return COMP_BINARY;
  return COMP_KINSET;
}

namespace {
const wchar_t kNotNand[] = L"ERROR: This is not a Nand flash bin file";

// Where the trailer text of a package starts, relative to the package; -1 when
// it is not inside the package.
int64_t PackageTrailerStart(const uint8_t* package, uint32_t size) {
  const int m = static_cast<int8_t>(package[size - 1]);
  const int64_t start = static_cast<int64_t>(size) - m - 2;
  if (start < 0 || start >= static_cast<int64_t>(size)) return -1;
  return start;
}
}  // namespace

int NandPackageFile::Open(const uint8_t* data, uint64_t size) {
  m_data = data;
  m_size = size;
  m_valid = false;
  m_header = NandHeader();
  m_error[0] = 0;

  uint32_t magic = 0;
  uint32_t word = 0;
  if (!ReadBe32(data, size, 0, &magic) || magic != NAND_MAGIC_BE || !ReadBe32(data, size, 4, &word)) {
    CopyText(m_error, sizeof m_error / sizeof m_error[0], kNotNand);
    return NAND_ERR_MAGIC;
  }
  m_header.word = word;
  m_header.noReboot = (word & NAND_NO_REBOOT) != 0;
  m_header.version = word & ~NAND_NO_REBOOT;
  if (m_header.version != NAND_HEADER_VERSION) {
    FormatText(m_error, sizeof m_error / sizeof m_error[0], L"ERROR: invalid VERSION %d",
               static_cast<int>(m_header.version));
    return NAND_ERR_HEADER_VERSION;
  }
  if (!ReadBe32(data, size, 8, &m_header.packageCount)) {
    FormatText(m_error, sizeof m_error / sizeof m_error[0], L"%ls (no package count)", kNotNand);
    return NAND_ERR_BOUNDS;
  }
  const uint64_t count = m_header.packageCount;
  if (NAND_TABLE_OFFSET + count * NAND_TABLE_ENTRY_SIZE > size) {
    FormatText(m_error, sizeof m_error / sizeof m_error[0], L"%ls (package table of %u entries beyond the end)",
               kNotNand, m_header.packageCount);
    return NAND_ERR_BOUNDS;
  }
  for (uint64_t i = 0; i < count; ++i) {
    const uint64_t entry = NAND_TABLE_OFFSET + i * NAND_TABLE_ENTRY_SIZE;
    uint32_t offset = 0;
    uint32_t length = 0;
    ReadBe32(data, size, entry, &offset);
    ReadBe32(data, size, entry + 4, &length);
    const unsigned number = static_cast<unsigned>(count - i);
    if (length < NAND_PACKAGE_MIN_SIZE || offset > size || size - offset < length) {
      FormatText(m_error, sizeof m_error / sizeof m_error[0],
                 L"%ls (package %03u at %#x, size %#x, outside the file)", kNotNand, number, offset, length);
      return NAND_ERR_BOUNDS;
    }
    if (PackageTrailerStart(data + offset, length) < 0) {
      FormatText(m_error, sizeof m_error / sizeof m_error[0],
                 L"%ls (package %03u: trailer length %d outside the package)", kNotNand, number,
                 static_cast<int>(static_cast<int8_t>(data[static_cast<uint64_t>(offset) + length - 1])));
      return NAND_ERR_BOUNDS;
    }
  }
  m_valid = true;
  return NAND_OK;
}

int NandPackageFile::Package(uint32_t index, NandPackage* out) const {
  if (!m_valid || !out || index >= m_header.packageCount) return 0;
  const uint64_t entry = NAND_TABLE_OFFSET + static_cast<uint64_t>(index) * NAND_TABLE_ENTRY_SIZE;
  NandPackage p;
  p.index = index;
  p.number = m_header.packageCount - index;
  ReadBe32(m_data, m_size, entry, &p.offset);
  ReadBe32(m_data, m_size, entry + 4, &p.size);
  // Open checked these bounds; check again so a misuse cannot read outside.
  if (p.size < NAND_PACKAGE_MIN_SIZE || p.offset > m_size || m_size - p.offset < p.size) return 0;
  p.bytes = m_data + p.offset;
  ReadBe32(p.bytes, p.size, 4, &p.headerVersion);
  ReadBe32(p.bytes, p.size, 8, &p.enabled);
  ReadBe32(p.bytes, p.size, 20, &p.t1);
  ReadBe32(p.bytes, p.size, 24, &p.t2);
  ReadBe32(p.bytes, p.size, 28, &p.t3);
  p.componentType = NandComponentType(p.t1, p.t2, p.t3);

  const int64_t start = PackageTrailerStart(p.bytes, p.size);
  if (start < 0) return 0;
  const char* text = reinterpret_cast<const char*>(p.bytes + start);
  const size_t avail = p.size - static_cast<size_t>(start);
  const size_t targetLen = strnlen(text, avail);
  p.targetId.assign(text, targetLen);
  if (targetLen < avail) {
    const char* ver = text + targetLen + 1;
    const size_t verAvail = avail - targetLen - 1;
    p.versionText.assign(ver, strnlen(ver, verAvail));
  }
  uint32_t v = 0;
  p.version = ScanDecimal32(p.versionText.data(), p.versionText.size(), &v) ? v : 0;
  *out = std::move(p);
  return 1;
}
