#include "host/file_digest.h"

#include <vector>

#include "host/file_io.h"
#include "host/unique_file.h"

int Sha256OfFile(const wchar_t* path, uint8_t digest[SHA256_SIZE]) {
  UniqueFile file(path ? OpenFileWide(path, "rb") : nullptr);
  if (!file) return 0;
  std::vector<uint8_t> piece(64 * 1024);
  Sha256 sha;
  size_t got;
  while ((got = fread(piece.data(), 1, piece.size(), file.get())) > 0) sha.Update(piece.data(), got);
  if (ferror(file.get())) return 0;
  sha.Finish(digest);
  return 1;
}
