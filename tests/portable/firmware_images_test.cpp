// The run's firmware images: the updates that claim one file share one image,
// read once, readable by every holder until the last lets go, then released;
// each file's signature is checked once for the run, its verdict its own.
#include "update/firmware_images.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "host/file_io.h"
#include "host/sha256.h"
#include "support/fake_signing.h"
#include "support/firmware_builder.h"
#include "support/log_capture.h"

namespace {
size_t CountLines(const LogCapture& log, const std::wstring& line) {
  size_t n = 0;
  for (const std::wstring& l : log.Lines()) n += l == line;
  return n;
}
}  // namespace

TEST(FirmwareImages, OneReadSharedUntilTheLastClaimEnds) {
  const std::wstring path = fwtest::TempPath(L"shared.bin");
  const std::vector<uint8_t> bytes = fwtest::BuildBin(fwtest::BinKind::CodeOnly, 70000, 20230115);
  fwtest::WriteFileBytes(path, bytes);
  const std::wstring read = L"Reading the firmware image " + path;
  const std::wstring released = L"The firmware image " + path + L" is released";
  LogCapture log;
  FirmwareImages images;

  std::shared_ptr<SharedFirmwareImage> first = images.Claim(path);
  std::shared_ptr<SharedFirmwareImage> second = images.Claim(path);
  EXPECT_EQ(first, second);
  EXPECT_EQ(CountLines(log, read), 0u) << "claimed, not read before a download needs it";
  const FirmwareImage* image = first->Get();
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(second->Get(), image);
  EXPECT_EQ(CountLines(log, read), 1u);
  uint8_t digest[SHA256_SIZE];
  Sha256Of(bytes.data(), bytes.size(), digest);
  EXPECT_EQ(image->Sha256Text(), Sha256Hex(digest));

  // One holder ends: the other still reads every byte (ASan sees a freed one).
  first.reset();
  EXPECT_EQ(images.Claimed(), 1u);
  EXPECT_EQ(CountLines(log, released), 0u);
  EXPECT_EQ(std::vector<uint8_t>(second->Get()->Data(), second->Get()->Data() + second->Get()->Size()), bytes);
  second.reset();
  EXPECT_EQ(images.Claimed(), 0u);
  EXPECT_EQ(CountLines(log, released), 1u);

  // Nothing holds it any more: a later claim reads the file as it is then.
  EXPECT_NE(images.Claim(path)->Get(), nullptr);
  EXPECT_EQ(CountLines(log, read), 2u);
}

// A read that failed (the file not there yet, a share that dropped) fails
// that update alone: the next claim, while the first still holds the image,
// reads the file again.
TEST(FirmwareImages, AFailedReadIsNotKept) {
  const std::wstring path = fwtest::TempPath(L"late.bin");
  RemoveFileWide(path.c_str());
  LogCapture log;
  FirmwareImages images;
  std::shared_ptr<SharedFirmwareImage> first = images.Claim(path);
  EXPECT_EQ(first->Get(), nullptr);
  fwtest::WriteFileBytes(path, fwtest::BuildBin(fwtest::BinKind::CodeOnly, 4096, 20230115));
  std::shared_ptr<SharedFirmwareImage> second = images.Claim(path);
  ASSERT_EQ(first, second);
  const FirmwareImage* image = second->Get();
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->Size(), 4096u);
  EXPECT_EQ(first->Get(), image) << "a read image is kept for every holder";
}

// A run with two files: the unsigned one is never sent on the signed one's
// verdict, nor the other way round.
TEST(FirmwareImages, EachFilesSignatureVerdictIsItsOwn) {
  const std::wstring signedPath = fwtest::TempPath(L"signed.bin");
  const std::wstring unsignedPath = fwtest::TempPath(L"unsigned.bin");
  const std::vector<uint8_t> bytes = fwtest::BuildBin(fwtest::BinKind::CodeOnly, 4096, 20230115);
  fwtest::WriteFileBytes(signedPath, bytes);
  fwtest::WriteFileBytes(unsignedPath, bytes);
  const Thumbprint signer = fwtest::SignerThumbprint(0x5a);
  fwtest::WriteFakeSignature(signedPath, signer, bytes);
  fwtest::FakeSigning signing({signer});
  FirmwareImages images;

  EXPECT_EQ(images.ChosenFileSignature(signedPath), SIGNATURE_TRUSTED);
  EXPECT_EQ(images.ChosenFileSignature(unsignedPath), SIGNATURE_MISSING);
  EXPECT_EQ(images.ChosenFileSignature(signedPath), SIGNATURE_TRUSTED);
  EXPECT_EQ(images.ChosenFileSignature(unsignedPath), SIGNATURE_MISSING);
}
