#include "support/test_env.h"

#include "host/text_utils.h"

// Builds that take the support files without the test targets' definitions (fuzz/).
#ifndef TIDEWAY_BINARY_DIR
#define TIDEWAY_BINARY_DIR "."
#endif

namespace fwtest {

namespace {
std::wstring NativeSeparators(std::wstring path) {
#ifdef _WIN32
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
#endif
  return path;
}
}  // namespace

std::wstring BinaryDir() {
  std::wstring path = FromUtf8Static(TIDEWAY_BINARY_DIR);
#ifdef _WIN32
  if (!path.empty() && path[0] == L'/') path = L"Z:" + path;
#endif
  return NativeSeparators(path);
}

std::wstring BinaryPath(const std::wstring& relative) {
  return BinaryDir() + NativeSeparators(L"/" + relative);
}

}  // namespace fwtest
