// The printer's component version text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "firmware/versions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<ComponentVersion> components;
  ParseVersionString(&components, text);
  for (const ComponentVersion& c : components) {
    if (c.name.empty() || c.name.size() > size) abort();
    if (c.name.find(' ') != std::string::npos || c.name.find('\t') != std::string::npos) abort();
    if (c.type != ComponentTypeFromName(c.name)) abort();
  }
  return 0;
}
