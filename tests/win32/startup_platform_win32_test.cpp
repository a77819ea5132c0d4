// The Win32 services behind start-up, under Wine.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/tideway_app.h"

namespace {
const wchar_t kTestMutex[] = L"{tideway-test-instance-mutex-5F1C}";

// 1 when a fresh open of the named mutex reports that it already existed.
bool MutexExists(const wchar_t* name) {
  SetLastError(ERROR_SUCCESS);
  HANDLE h = CreateMutexW(nullptr, FALSE, name);
  bool exists = GetLastError() == ERROR_ALREADY_EXISTS;
  if (h) CloseHandle(h);
  return exists;
}
}  // namespace

TEST(StartupPlatform, InstanceMutexOwnedExistingAndReleased) {
  StartupPlatform& platform = SystemStartupPlatform();
  // Another copy holds the mutex.
  HANDLE other = CreateMutexW(nullptr, TRUE, kTestMutex);
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(platform.CreateInstanceMutex(kTestMutex), INSTANCE_MUTEX_EXISTS);
  CloseHandle(other);
  // The refused copy kept no handle: the name is gone with the other copy's.
  EXPECT_FALSE(MutexExists(kTestMutex));

  ASSERT_EQ(platform.CreateInstanceMutex(kTestMutex), INSTANCE_MUTEX_OWNED);
  EXPECT_TRUE(MutexExists(kTestMutex));
  // Owned by this thread, so another thread cannot take it.
  HANDLE probe = OpenMutexW(SYNCHRONIZE, FALSE, kTestMutex);
  ASSERT_NE(probe, nullptr);
  DWORD waited = WAIT_FAILED;
  HANDLE thread = CreateThread(
      nullptr, 0,
      [](void* h) -> DWORD { return WaitForSingleObject(static_cast<HANDLE>(h), 0); }, probe, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  WaitForSingleObject(thread, 5000);
  GetExitCodeThread(thread, &waited);
  CloseHandle(thread);
  EXPECT_EQ(waited, static_cast<DWORD>(WAIT_TIMEOUT));
  CloseHandle(probe);

  platform.ReleaseInstanceMutex();
  EXPECT_FALSE(MutexExists(kTestMutex));
  platform.ReleaseInstanceMutex();  // nothing held: no effect
}

TEST(StartupPlatform, AdministratorQueryAndProgramDirectory) {
  StartupPlatform& platform = SystemStartupPlatform();
  // Wine always reports an administrator; the refusal is covered by the
  // start-up tests through the seam.
  EXPECT_EQ(platform.IsUserAdmin(), 1);
  wchar_t dir[260];
  ASSERT_EQ(platform.ProgramDirectory(dir), 1);
  std::wstring d(dir);
  ASSERT_FALSE(d.empty());
  EXPECT_EQ(d.back(), L'\\');
  platform.InitCommonControls();
}
