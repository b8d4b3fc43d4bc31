// A window message as the framework hands it from handler to handler, and the
// framework's own notifications.
#pragma once

#include <windows.h>

#include <cstdint>

struct TMessage {
  UINT Msg;
  WPARAM WParam;
  LPARAM LParam;
  LRESULT Result;
};

// The framework's notifications, performed (sent, never posted) on controls,
// except CM_DEFAULTACTION. Their numbers keep the classic framework's values,
// hence the gaps: the ones between are messages this framework has no use for.
// CM_DEFAULTACTION is ours, past them all. WParam and LParam are 0 and the
// result is unused where a line says nothing else.
inline constexpr UINT CM_BASE = 0xB000;
// Performed by the application on the form that gets a key's character: WParam
// the character, LParam WM_CHAR's. Broadcast to the controls until one takes it
// as its accelerator, which sets the result to 1 (0: nobody did).
inline constexpr UINT CM_DIALOGCHAR = CM_BASE + 6;
// Performed by a form on itself when a control takes the focus or the default
// button changes: LParam the control with the focus (a TWinControl*, may be
// nullptr).
inline constexpr UINT CM_FOCUSCHANGED = CM_BASE + 7;
// Performed on a control whose parent's colour or font changed, or that got a
// parent; taken only while it follows its parent's (ParentColor, ParentFont).
inline constexpr UINT CM_PARENTCOLORCHANGED = CM_BASE + 9;
inline constexpr UINT CM_PARENTFONTCHANGED = CM_BASE + 10;
// Performed by a control on itself once its Enabled, Color, Font or Text has
// changed, so that it and its subclasses redraw or pass the change on.
inline constexpr UINT CM_ENABLEDCHANGED = CM_BASE + 12;
inline constexpr UINT CM_COLORCHANGED = CM_BASE + 13;
inline constexpr UINT CM_FONTCHANGED = CM_BASE + 14;
// Performed by a control on itself once shown or hidden: WParam the new
// Visible (1 or 0).
inline constexpr UINT CM_VISIBLECHANGED = CM_BASE + 16;
inline constexpr UINT CM_TEXTCHANGED = CM_BASE + 18;
// Performed by the application on the control the pointer enters or leaves,
// then by each control on its parent with LParam the control (a TControl*).
inline constexpr UINT CM_MOUSEENTER = CM_BASE + 19;
inline constexpr UINT CM_MOUSELEAVE = CM_BASE + 20;
// Broadcast by a grouped button to its parent's controls once pressed down:
// WParam its group, LParam the button. Packed and unpacked by TButtonPressed.
inline constexpr UINT CM_BUTTONPRESSED = CM_BASE + 24;
// Broadcast by a form to its controls when the system's colours change.
inline constexpr UINT CM_SYSCOLORCHANGE = CM_BASE + 36;
// Posted to a form by its client object when a screen reader asks for the
// default action of the windowless control in LParam (a TControl*, which may
// have gone by then: the form checks it is still one of its own).
inline constexpr UINT CM_DEFAULTACTION = CM_BASE + 64;

// Messages a parent reflects back to the native child window they concern
// (the child's handle is LParam), with WParam, LParam and the result as the
// Windows message has them: the edit or static control's DC in WParam, its
// brush as the result; CN_COMMAND is not taken by any control yet.
inline constexpr UINT CN_BASE = 0xBC00;
inline constexpr UINT CN_CTLCOLOREDIT = CN_BASE + WM_CTLCOLOREDIT;
inline constexpr UINT CN_CTLCOLORSTATIC = CN_BASE + WM_CTLCOLORSTATIC;
inline constexpr UINT CN_COMMAND = CN_BASE + WM_COMMAND;

class TObject;

// CM_BUTTONPRESSED's parameters.
struct TButtonPressed {
  std::int32_t Group;
  TObject* Button;

  TMessage Pack() const {
    return {CM_BUTTONPRESSED, static_cast<WPARAM>(static_cast<INT_PTR>(Group)), reinterpret_cast<LPARAM>(Button), 0};
  }
  static TButtonPressed Unpack(const TMessage& Message) {
    return {static_cast<std::int32_t>(Message.WParam), reinterpret_cast<TObject*>(Message.LParam)};
  }
  // The button, when it is a TButton; nullptr otherwise.
  template <typename TButton>
  TButton* ButtonAs() const {
    return dynamic_cast<TButton*>(Button);
  }
};

inline int MessageX(const TMessage& M) { return static_cast<short>(LOWORD(M.LParam)); }
inline int MessageY(const TMessage& M) { return static_cast<short>(HIWORD(M.LParam)); }
