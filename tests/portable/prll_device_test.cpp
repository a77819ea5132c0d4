#include <gtest/gtest.h>

#include <string>

#include "transport/prll_device.h"

TEST(PrllDevice, DefaultPrinterArgument) {
  const std::string lead = "printui.dll,PrintUIEntry /y /n \"";
  const std::string longModel(300, 'M');
  struct Case {
    const char* model;
    size_t outSize;
    std::string expected;
  } cases[] = {
      {"QV Orrery 100", PRLL_COMMAND_MAX, lead + "QV Orrery 100\""},
      {"QV \"Orrery\" 100", PRLL_COMMAND_MAX, lead + "QV \""},  // cut at the first quote
      {"", PRLL_COMMAND_MAX, lead + "\""},
      {longModel.c_str(), PRLL_COMMAND_MAX, lead + std::string(PRLL_COMMAND_MAX - 2 - lead.size(), 'M') + "\""},
      {"QV", lead.size() + 1, ""},  // no room for the closing quote
  };
  for (const Case& c : cases) {
    char out[PRLL_COMMAND_MAX] = "junk";
    EXPECT_EQ(BuildDefaultPrinterArgument(c.model, out, c.outSize), c.expected.size()) << c.model;
    EXPECT_EQ(std::string(out), c.expected) << c.model;
  }
}
