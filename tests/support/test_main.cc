#include <gtest/gtest.h>

#include <filesystem>

#include "host/clock.h"
#include "host/program_data.h"
#include "support/firmware_builder.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Updates the tests run record into a folder of the test program's own,
  // never into the computer's (under Wine: the shared test prefix's).
  const std::wstring programData = fwtest::TempPath(L"program-data");
  std::filesystem::create_directories(std::filesystem::path(programData));
  SetProgramDataFolderForTesting(programData);
  return RUN_ALL_TESTS();
}
