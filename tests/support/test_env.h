#pragma once
// Where the build's files are and what a test program runs on.

#include <string>

namespace fwtest {

// The build folder (TIDEWAY_BINARY_DIR) as this process opens it: under Wine
// the Unix path reached through drive Z:, with backslashes.
std::wstring BinaryDir();
// `relative` ("tools/fwinfo/fwinfo") below BinaryDir(), separators as this
// platform writes them.
std::wstring BinaryPath(const std::wstring& relative);

#ifdef _WIN32
// True in a Windows program that Wine runs; some system services differ there.
bool RunningUnderWine();
#endif

}  // namespace fwtest
