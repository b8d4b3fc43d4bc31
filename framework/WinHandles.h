// One move-only owner per kind of Win32 handle; each releases in its destructor.
#pragma once

#include <windows.h>

#include <utility>

template <typename Traits>
class TUniqueHandle {
 public:
  using Type = typename Traits::Type;

  TUniqueHandle() = default;
  explicit TUniqueHandle(Type H) : FHandle(H) {}
  TUniqueHandle(TUniqueHandle&& Other) noexcept : FHandle(Other.Release()) {}
  TUniqueHandle& operator=(TUniqueHandle&& Other) noexcept {
    if (this != &Other)
      Reset(Other.Release());
    return *this;
  }
  TUniqueHandle(const TUniqueHandle&) = delete;
  TUniqueHandle& operator=(const TUniqueHandle&) = delete;
  ~TUniqueHandle() { Reset(); }

  Type Get() const { return FHandle; }
  explicit operator bool() const { return FHandle != Traits::Invalid(); }
  Type Release() { return std::exchange(FHandle, Traits::Invalid()); }
  void Reset(Type H = Traits::Invalid()) {
    if (FHandle != Traits::Invalid())
      Traits::Close(FHandle);
    FHandle = H;
  }

 private:
  Type FHandle = Traits::Invalid();
};

struct TFileHandleTraits {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type H) { CloseHandle(H); }
};

struct TRegKeyTraits {
  using Type = HKEY;
  static Type Invalid() { return nullptr; }
  static void Close(Type H) { RegCloseKey(H); }
};

struct TResourceTraits {
  using Type = HGLOBAL;
  static Type Invalid() { return nullptr; }
  static void Close(Type H) { FreeResource(H); }
};

// One kind of GDI object, typed, so that what the owner gives back is what
// the drawing calls take.
template <typename H>
struct TGdiObjectTraits {
  using Type = H;
  static Type Invalid() { return nullptr; }
  static void Close(Type Object) { DeleteObject(Object); }
};

struct TWindowTraits {
  using Type = HWND;
  static Type Invalid() { return nullptr; }
  static void Close(Type H) { DestroyWindow(H); }
};

struct TModuleTraits {
  using Type = HMODULE;
  static Type Invalid() { return nullptr; }
  static void Close(Type H) { FreeLibrary(H); }
};

struct TDCTraits {
  using Type = HDC;
  static Type Invalid() { return nullptr; }
  static void Close(Type H) { DeleteDC(H); }
};

using TFileHandle = TUniqueHandle<TFileHandleTraits>;
using TRegKeyHandle = TUniqueHandle<TRegKeyTraits>;
using TResourceHandle = TUniqueHandle<TResourceTraits>;
using TBitmapHandle = TUniqueHandle<TGdiObjectTraits<HBITMAP>>;
using TBrushHandle = TUniqueHandle<TGdiObjectTraits<HBRUSH>>;
using TFontHandle = TUniqueHandle<TGdiObjectTraits<HFONT>>;
using TPenHandle = TUniqueHandle<TGdiObjectTraits<HPEN>>;
using TWindowHandle = TUniqueHandle<TWindowTraits>;
using TModuleHandle = TUniqueHandle<TModuleTraits>;
// A memory device context of our own (CreateCompatibleDC).
using TMemoryDC = TUniqueHandle<TDCTraits>;

// A kernel object that the system reports as null on failure (a token, say).
struct TKernelObjectTraits {
  using Type = HANDLE;
  static Type Invalid() { return nullptr; }
  static void Close(Type H) { CloseHandle(H); }
};

// Memory the system allocated for the caller with LocalAlloc.
struct TLocalMemoryTraits {
  using Type = HLOCAL;
  static Type Invalid() { return nullptr; }
  static void Close(Type H) { LocalFree(H); }
};

using TKernelObject = TUniqueHandle<TKernelObjectTraits>;
using TLocalMemory = TUniqueHandle<TLocalMemoryTraits>;
