// The Win32 services behind start-up, under Wine.
// The Windows headers depend on this order.
// clang-format off
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
// clang-format on

#include <gtest/gtest.h>

#include <string>

#include "app/tideway_app.h"

namespace {
const wchar_t kTestMutex[] = L"Global\\{tideway-test-instance-mutex-5F1C}";

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

// The lock is one for the whole computer: SYSTEM and the Administrators group
// open it from any session, nobody else, and nothing is inherited. A lock this
// account may not open is another copy's, never "no lock".
TEST(StartupPlatform, InstanceMutexIsOpenToSystemAndAdministratorsOnly) {
  EXPECT_EQ(std::wstring(APP_INSTANCE_MUTEX_NAME), L"Global\\{6B1E2F40-93AC-4D7E-A215-0C4F7D9B3E58}");
  StartupPlatform& platform = SystemStartupPlatform();
  ASSERT_EQ(platform.CreateInstanceMutex(kTestMutex), INSTANCE_MUTEX_OWNED);
  HANDLE opened = OpenMutexW(READ_CONTROL, FALSE, kTestMutex);
  ASSERT_NE(opened, nullptr);
  PSECURITY_DESCRIPTOR sd = nullptr;
  ASSERT_EQ(GetSecurityInfo(opened, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr,
                            &sd),
            static_cast<DWORD>(ERROR_SUCCESS));
  LPWSTR sddl = nullptr;
  ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorW(sd, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                                   &sddl, nullptr));
  EXPECT_EQ(std::wstring(sddl), L"D:P(A;;0x1f0001;;;SY)(A;;0x1f0001;;;BA)");
  LocalFree(sddl);
  LocalFree(sd);
  CloseHandle(opened);
  platform.ReleaseInstanceMutex();

  // Made by a copy whose lock grants this account nothing.
  PSECURITY_DESCRIPTOR closed = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P", SDDL_REVISION_1, &closed, nullptr));
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, closed, FALSE};
  HANDLE other = CreateMutexW(&attributes, TRUE, kTestMutex);
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(platform.CreateInstanceMutex(kTestMutex), INSTANCE_MUTEX_NONE);
  CloseHandle(other);
  LocalFree(closed);
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
