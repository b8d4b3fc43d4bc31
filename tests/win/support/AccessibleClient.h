// A screen reader's view of a window through Active Accessibility, as plain
// values. Header only: the end-to-end probe, a program apart from the tests,
// reads the installer with it from another process. Link oleacc, oleaut32 and
// ole32; the interface ids come from __uuidof, as liboleacc.a's IID_IAccessible
// is an import thunk, not the id.
#pragma once

#include <windows.h>

#include <oleacc.h>

#include <string>
#include <vector>

#include "ComRef.h"

namespace WinTest {

using TAccessible = TComRef<IAccessible>;

inline VARIANT ChildId(LONG Id) {
  VARIANT V;
  V.vt = VT_I4;
  V.lVal = Id;
  return V;
}

// A child as the container gives it: a simple element (Object empty, Id its
// id) or an object of its own (Id CHILDID_SELF).
struct TChild {
  TAccessible Object;
  LONG Id = CHILDID_SELF;
};

// Takes the child out of V, which is left empty.
inline TChild ChildFrom(VARIANT& V) {
  TChild Child;
  if (V.vt == VT_I4) {
    Child.Id = V.lVal;
  } else if (V.vt == VT_DISPATCH && V.pdispVal) {
    TComRef<IDispatch> Dispatch;
    Dispatch.Attach(V.pdispVal);
    Dispatch->QueryInterface(__uuidof(IAccessible), reinterpret_cast<void**>(Child.Object.Put()));
  }
  V.vt = VT_EMPTY;
  return Child;
}

// The object of Window for ObjectId (OBJID_CLIENT, OBJID_WINDOW).
inline TAccessible ObjectOf(HWND Window, LONG ObjectId = OBJID_CLIENT) {
  TAccessible Object;
  AccessibleObjectFromWindow(Window, static_cast<DWORD>(ObjectId), __uuidof(IAccessible),
                             reinterpret_cast<void**>(Object.Put()));
  return Object;
}

inline std::string Utf8(BSTR Text) {
  if (!Text)
    return {};
  const int Length = WideCharToMultiByte(CP_UTF8, 0, Text, -1, nullptr, 0, nullptr, nullptr);
  std::string Result(Length > 0 ? Length - 1 : 0, '\0');
  WideCharToMultiByte(CP_UTF8, 0, Text, -1, Result.data(), Length, nullptr, nullptr);
  SysFreeString(Text);
  return Result;
}

inline std::string NameOf(IAccessible* Object, LONG Id = CHILDID_SELF) {
  BSTR Name = nullptr;
  return SUCCEEDED(Object->get_accName(ChildId(Id), &Name)) ? Utf8(Name) : "(no name)";
}

inline std::string DefaultActionOf(IAccessible* Object, LONG Id = CHILDID_SELF) {
  BSTR Action = nullptr;
  return SUCCEEDED(Object->get_accDefaultAction(ChildId(Id), &Action)) ? Utf8(Action) : "(none)";
}

// The role or state: -1 when there is none.
inline LONG RoleOf(IAccessible* Object, LONG Id = CHILDID_SELF) {
  VARIANT Role;
  VariantInit(&Role);
  const bool Got = SUCCEEDED(Object->get_accRole(ChildId(Id), &Role)) && Role.vt == VT_I4;
  return Got ? Role.lVal : -1;
}

inline LONG StateOf(IAccessible* Object, LONG Id = CHILDID_SELF) {
  VARIANT State;
  VariantInit(&State);
  const bool Got = SUCCEEDED(Object->get_accState(ChildId(Id), &State)) && State.vt == VT_I4;
  return Got ? State.lVal : -1;
}

// Left, top, width, height on the screen; all -1 when there is no answer.
inline RECT LocationOf(IAccessible* Object, LONG Id = CHILDID_SELF) {
  LONG X = -1, Y = -1, W = -1, H = -1;
  if (FAILED(Object->accLocation(&X, &Y, &W, &H, ChildId(Id))))
    X = Y = W = H = -1;
  return {X, Y, W, H};
}

// The children as AccessibleChildren lists them.
inline std::vector<TChild> ChildrenOf(IAccessible* Object) {
  LONG Count = 0;
  if (FAILED(Object->get_accChildCount(&Count)) || Count <= 0)
    return {};
  std::vector<VARIANT> Raw(static_cast<std::size_t>(Count));
  LONG Got = 0;
  if (FAILED(AccessibleChildren(Object, 0, Count, Raw.data(), &Got)))
    return {};
  std::vector<TChild> Children;
  for (LONG I = 0; I < Got; ++I)
    Children.push_back(ChildFrom(Raw[I]));
  return Children;
}

// What accHitTest or accNavigate answered.
inline TChild HitTest(IAccessible* Object, POINT P) {
  VARIANT V;
  VariantInit(&V);
  Object->accHitTest(P.x, P.y, &V);
  return ChildFrom(V);
}

inline TChild Navigate(IAccessible* Object, LONG Direction, LONG From = CHILDID_SELF) {
  VARIANT V;
  VariantInit(&V);
  Object->accNavigate(Direction, ChildId(From), &V);
  return ChildFrom(V);
}

}  // namespace WinTest
