// A form's client object for screen readers: the system's standard object,
// except that its children are the form's windowed children in sight, each an
// object of its own, and its simple elements, the windowless controls in sight
// that a user can click: push buttons named by their hints, which never take
// the focus, hot-tracked while the pointer is over them, pressed by their
// default action.
#pragma once

#include "AccessibleProxy.h"

class TControl;
class TCustomForm;

class TFormAccessible : public TAccessibleProxy {
 public:
  // Answers for Form's window; Standard is its standard client object.
  TFormAccessible(TCustomForm& Form, TComRef<IAccessible> Standard);
  // Also forgets the form: it may be going.
  void Disconnect() override;

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
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT Child, BSTR* Action) override;
  HRESULT STDMETHODCALLTYPE accSelect(LONG Flags, VARIANT Child) override;
  HRESULT STDMETHODCALLTYPE accLocation(LONG* Left, LONG* Top, LONG* Width, LONG* Height, VARIANT Child) override;
  HRESULT STDMETHODCALLTYPE accNavigate(LONG Direction, VARIANT Start, VARIANT* End) override;
  HRESULT STDMETHODCALLTYPE accHitTest(LONG X, LONG Y, VARIANT* Child) override;
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT Child) override;
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT Child, BSTR Name) override;
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT Child, BSTR Value) override;

 private:
  // The simple element Id names; nullptr for the object itself, a windowed
  // child (asked through its own object) or no child at all.
  TControl* Element(const VARIANT& Id) const;
  // Whether the form takes input: a box that waits disables it.
  bool Pressable() const;
  // A simple element's answer to a question it has no text for.
  HRESULT NoText(const VARIANT& Id, BSTR* Text) const;
  // Child number Id as a client takes it: its id, or its own object.
  HRESULT ChildVariant(LONG Id, VARIANT* Result) const;

  TCustomForm* FForm;
};
