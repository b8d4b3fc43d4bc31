// A window message as the framework hands it from handler to handler, and the
// framework's own notifications.
#pragma once

#include <windows.h>

struct TMessage {
  UINT Msg;
  WPARAM WParam;
  LPARAM LParam;
  LRESULT Result;
};

inline constexpr UINT CM_BASE = 0xB000;
inline constexpr UINT CM_ACTIVATE = CM_BASE + 0;
inline constexpr UINT CM_DIALOGCHAR = CM_BASE + 6;
inline constexpr UINT CM_PARENTCOLORCHANGED = CM_BASE + 9;
inline constexpr UINT CM_PARENTFONTCHANGED = CM_BASE + 10;
inline constexpr UINT CM_ENABLEDCHANGED = CM_BASE + 12;
inline constexpr UINT CM_COLORCHANGED = CM_BASE + 13;
inline constexpr UINT CM_FONTCHANGED = CM_BASE + 14;
inline constexpr UINT CM_VISIBLECHANGED = CM_BASE + 16;
inline constexpr UINT CM_TEXTCHANGED = CM_BASE + 18;
inline constexpr UINT CM_MOUSEENTER = CM_BASE + 19;
inline constexpr UINT CM_MOUSELEAVE = CM_BASE + 20;
inline constexpr UINT CM_BUTTONPRESSED = CM_BASE + 24;
inline constexpr UINT CM_FOCUSCHANGED = CM_BASE + 7;
inline constexpr UINT CM_SYSCOLORCHANGE = CM_BASE + 36;
// Posted to a form: a screen reader asked for the default action of the
// windowless control in LParam.
inline constexpr UINT CM_DEFAULTACTION = CM_BASE + 64;

// Messages a parent reflects back to the child window they concern.
inline constexpr UINT CN_BASE = 0xBC00;
inline constexpr UINT CN_CTLCOLOREDIT = CN_BASE + WM_CTLCOLOREDIT;
inline constexpr UINT CN_CTLCOLORSTATIC = CN_BASE + WM_CTLCOLORSTATIC;
inline constexpr UINT CN_COMMAND = CN_BASE + WM_COMMAND;

inline int MessageX(const TMessage& M) { return static_cast<short>(LOWORD(M.LParam)); }
inline int MessageY(const TMessage& M) { return static_cast<short>(HIWORD(M.LParam)); }
