// An IAccessible that answers as the system's standard object for a window
// does, for everything a derived class does not answer itself. It has no
// IOleWindow: WindowFromAccessibleObject finds the window through its parent,
// the standard window object.
#pragma once

#include <windows.h>

#include <oleacc.h>

#include "ComRef.h"

class TAccessibleProxy : public IAccessible {
 public:
  // Standard is the object made for Window.
  TAccessibleProxy(HWND Window, TComRef<IAccessible> Standard);
  TAccessibleProxy(const TAccessibleProxy&) = delete;
  TAccessibleProxy& operator=(const TAccessibleProxy&) = delete;

  // Cuts the object off from its clients: the standard object is let go now,
  // and every later call fails, whoever still holds a reference.
  virtual void Disconnect();
  HWND Window() const { return FWindow; }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Iid, void** Object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // IDispatch, through IAccessible's type information in oleacc's library.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* Count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT Index, LCID, ITypeInfo** Info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* Names, UINT Count, LCID, DISPID* Ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override;
  // IAccessible
  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** Parent) override;
  HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* Count) override;
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT Child, IDispatch** Object) override;
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT Child, BSTR* Name) override;
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT Child, BSTR* Value) override;
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT Child, BSTR* Description) override;
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT Child, VARIANT* Role) override;
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT Child, VARIANT* State) override;
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT Child, BSTR* Help) override;
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* File, VARIANT Child, LONG* Topic) override;
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT Child, BSTR* Shortcut) override;
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* Focus) override;
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* Selection) override;
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT Child, BSTR* Action) override;
  HRESULT STDMETHODCALLTYPE accSelect(LONG Flags, VARIANT Child) override;
  HRESULT STDMETHODCALLTYPE accLocation(LONG* Left, LONG* Top, LONG* Width, LONG* Height, VARIANT Child) override;
  HRESULT STDMETHODCALLTYPE accNavigate(LONG Direction, VARIANT Start, VARIANT* End) override;
  HRESULT STDMETHODCALLTYPE accHitTest(LONG X, LONG Y, VARIANT* Child) override;
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT Child) override;
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT Child, BSTR Name) override;
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT Child, BSTR Value) override;

 protected:
  virtual ~TAccessibleProxy();
  // The standard object, or nullptr once disconnected.
  IAccessible* Standard() const { return FStandard.Get(); }

 private:
  LONG FReferences = 1;
  HWND FWindow;
  TComRef<IAccessible> FStandard;
};

// Whether Child names the object itself rather than one of its children.
inline bool IsSelf(const VARIANT& Child) { return Child.vt == VT_I4 && Child.lVal == CHILDID_SELF; }
