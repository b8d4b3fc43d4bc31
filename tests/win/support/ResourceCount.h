// What a process holds of the system: GDI objects and kernel handles.
//
// How GDI objects are counted: GetGuiResources(GR_GDIOBJECTS) is what a
// program would ask, and it is used when it gives a real count (it rises by
// one per brush made). Wine's returns 0 for everything, so there the count
// comes from the process's GDI handle table instead, which is a fixed size:
// the objects in use are its size minus the handles still free, and the free
// ones are found by making brushes until the table is full (then deleting
// them). The difference of two such measurements is exact, so one object
// leaked per cycle shows as one per cycle.
#pragma once

#include <windows.h>

#include <algorithm>
#include <vector>

namespace WinTest {

// Brushes that could still be made now; all are deleted again.
inline int FreeGdiHandles() {
  std::vector<HBRUSH> Made;
  Made.reserve(70000);
  // No real table is this big; the bound only keeps a broken system from looping.
  while (Made.size() < 4'000'000) {
    HBRUSH Brush = CreateSolidBrush(RGB(1, 2, 3));
    if (!Brush)
      break;
    Made.push_back(Brush);
  }
  for (HBRUSH Brush : Made)
    DeleteObject(Brush);
  return static_cast<int>(Made.size());
}

inline bool GuiResourcesCount() {
  static const bool Counts = [] {
    const DWORD Before = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    HBRUSH Brushes[5];
    for (auto& B : Brushes)
      B = CreateSolidBrush(RGB(4, 5, 6));
    const DWORD During = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    for (auto B : Brushes)
      DeleteObject(B);
    const DWORD After = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    return Before > 0 && During == Before + 5 && After == Before;
  }();
  return Counts;
}

// GDI objects this process holds, up to a constant (see above).
inline int GdiObjectsInUse() {
  if (GuiResourcesCount())
    return static_cast<int>(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS));
  return -FreeGdiHandles();
}

// Kernel handles this process holds (files, keys, events, threads, ...).
// GetProcessHandleCount is asked first; Wine's gives 0, so there they are
// counted in the system's handle list instead.
inline int KernelHandlesInUse() {
  DWORD Count = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &Count) && Count > 0)
    return static_cast<int>(Count);
  struct TEntry {
    ULONG OwnerPid;
    BYTE ObjectType, Flags;
    USHORT Handle;
    PVOID Object;
    ACCESS_MASK Access;
  };
  struct TList {
    ULONG Count;
    TEntry Entries[1];
  };
  using TQuery = LONG(WINAPI*)(int, PVOID, ULONG, PULONG);
  static const auto Query = reinterpret_cast<TQuery>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
  constexpr int SystemHandleInformation = 16;
  std::vector<BYTE> Buffer(1 << 16);
  for (;;) {
    ULONG Needed = 0;
    const LONG Status = Query(SystemHandleInformation, Buffer.data(), static_cast<ULONG>(Buffer.size()), &Needed);
    if (Status == 0)
      break;
    if (Buffer.size() >= (1u << 28))
      return -1;
    Buffer.resize(std::max<std::size_t>(Buffer.size() * 2, Needed));
  }
  const auto* List = reinterpret_cast<const TList*>(Buffer.data());
  int Own = 0;
  for (ULONG I = 0; I < List->Count; ++I)
    Own += List->Entries[I].OwnerPid == GetCurrentProcessId();
  return Own;
}

struct TUsage {
  int Gdi, Handles;
};

inline TUsage Usage() { return {GdiObjectsInUse(), KernelHandlesInUse()}; }

// What Cycles rounds of Cycle(Round) leave behind, counted once the first
// rounds have filled the system's caches (window classes, fonts, contexts).
template <typename F>
TUsage LeftBehind(F&& Cycle, int Cycles) {
  for (int Round = 0; Round < 3; ++Round)
    Cycle(Round);
  const TUsage Before = Usage();
  for (int Round = 0; Round < Cycles; ++Round)
    Cycle(Round);
  const TUsage After = Usage();
  return {After.Gdi - Before.Gdi, After.Handles - Before.Handles};
}

}  // namespace WinTest
