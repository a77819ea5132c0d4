#pragma once
// One owner per kind of Win32 handle the program holds: each closes its handle
// exactly once, on every path, and treats both NULL and INVALID_HANDLE_VALUE
// as "nothing held". Windows-only code includes this; the portable side owns
// files with UniqueFile (host/unique_file.h).

// clang-format off
#include <windows.h>
#include <ipexport.h>
#include <icmpapi.h>
#include <setupapi.h>
#include <winspool.h>
#include <wincrypt.h>
// clang-format on

#include <utility>

namespace win {

template <typename Traits>
class Unique {
 public:
  using Handle = typename Traits::Handle;

  Unique() = default;
  explicit Unique(Handle h) : m_h(h) {}
  ~Unique() { Reset(); }
  Unique(Unique&& other) noexcept : m_h(other.Release()) {}
  Unique& operator=(Unique&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  Unique(const Unique&) = delete;
  Unique& operator=(const Unique&) = delete;

  Handle Get() const { return m_h; }
  bool Valid() const { return Traits::IsValid(m_h); }
  explicit operator bool() const { return Valid(); }
  // For out-parameters of the opening call: closes what is held first.
  Handle* Receive() {
    Reset();
    return &m_h;
  }
  Handle Release() { return std::exchange(m_h, Traits::Empty()); }
  void Reset(Handle h = Traits::Empty()) {
    if (Traits::IsValid(m_h)) Traits::Close(m_h);
    m_h = h;
  }

 private:
  Handle m_h = Traits::Empty();
};

// Kernel objects: files and devices, events, mutexes, threads.
struct KernelTraits {
  using Handle = HANDLE;
  static Handle Empty() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { CloseHandle(h); }
};

struct RegKeyTraits {
  using Handle = HKEY;
  static Handle Empty() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { RegCloseKey(h); }
};

struct PrinterTraits {
  using Handle = HANDLE;
  static Handle Empty() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { ClosePrinter(h); }
};

struct ServiceTraits {
  using Handle = SC_HANDLE;
  static Handle Empty() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { CloseServiceHandle(h); }
};

struct LibraryTraits {
  using Handle = HMODULE;
  static Handle Empty() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { FreeLibrary(h); }
};

struct LocalMemTraits {
  using Handle = HLOCAL;
  static Handle Empty() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { LocalFree(h); }
};

struct DevInfoTraits {
  using Handle = HDEVINFO;
  static Handle Empty() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { SetupDiDestroyDeviceInfoList(h); }
};

// Bitmaps, brushes, fonts: the program's own, never one a control still shows.
struct GdiObjectTraits {
  using Handle = HGDIOBJ;
  static Handle Empty() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { DeleteObject(h); }
};

// Echo handles of the ICMP services (IcmpCreateFile, Icmp6CreateFile).
struct IcmpTraits {
  using Handle = HANDLE;
  static Handle Empty() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { IcmpCloseHandle(h); }
};

// A decoded CMS message, a certificate store and a certificate (crypt32).
struct CryptMsgTraits {
  using Handle = HCRYPTMSG;
  static Handle Empty() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { CryptMsgClose(h); }
};

struct CertStoreTraits {
  using Handle = HCERTSTORE;
  static Handle Empty() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { CertCloseStore(h, 0); }
};

struct CertContextTraits {
  using Handle = PCCERT_CONTEXT;
  static Handle Empty() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { CertFreeCertificateContext(h); }
};

using UniqueHandle = Unique<KernelTraits>;
using UniqueRegKey = Unique<RegKeyTraits>;
using UniquePrinter = Unique<PrinterTraits>;
using UniqueService = Unique<ServiceTraits>;
using UniqueLibrary = Unique<LibraryTraits>;
using UniqueLocal = Unique<LocalMemTraits>;
using UniqueDevInfo = Unique<DevInfoTraits>;
using UniqueGdiObject = Unique<GdiObjectTraits>;
using UniqueIcmp = Unique<IcmpTraits>;
using UniqueCryptMsg = Unique<CryptMsgTraits>;
using UniqueCertStore = Unique<CertStoreTraits>;
using UniqueCertContext = Unique<CertContextTraits>;

}  // namespace win
