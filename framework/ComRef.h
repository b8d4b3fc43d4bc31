// Owns one reference to a COM object, as the handle owners of WinHandles.h own
// theirs: move-only, released in the destructor. No operator& and no
// conversion to T*: a reference leaves only by Get (borrowed) or Detach.
#pragma once

#include <utility>

template <typename T>
class TComRef {
 public:
  TComRef() = default;
  TComRef(TComRef&& Other) noexcept : FObject(std::exchange(Other.FObject, nullptr)) {}
  TComRef& operator=(TComRef&& Other) noexcept {
    std::swap(FObject, Other.FObject);
    return *this;
  }
  TComRef(const TComRef&) = delete;
  TComRef& operator=(const TComRef&) = delete;
  ~TComRef() { Reset(); }

  T* Get() const { return FObject; }
  T* operator->() const { return FObject; }
  explicit operator bool() const { return FObject != nullptr; }

  // Takes over a reference the caller owns.
  void Attach(T* Object) {
    Reset();
    FObject = Object;
  }
  // Hands the reference over to the caller.
  T* Detach() { return std::exchange(FObject, nullptr); }
  // For the calls that hand out a reference: lets go of the one held first.
  T** Put() {
    Reset();
    return &FObject;
  }
  void Reset() {
    if (T* Object = std::exchange(FObject, nullptr))
      Object->Release();
  }

 private:
  T* FObject = nullptr;
};
