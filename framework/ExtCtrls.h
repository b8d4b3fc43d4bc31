// Timers: OnTimer runs on the GUI thread, through the message loop.
#pragma once

#include "Controls.h"

class TTimer : public TComponent {
 public:
  explicit TTimer(TComponent* Owner);
  ~TTimer() override;

  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool Value);
  UINT Interval() const { return FInterval; }
  void SetInterval(UINT Value);
  const TNotifyEvent& OnTimer() const { return FOnTimer; }
  void SetOnTimer(TNotifyEvent Value);

 private:
  static LRESULT CALLBACK WindowProc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam);
  void UpdateTimer();
  bool FEnabled = true;
  UINT FInterval = 1000;
  TNotifyEvent FOnTimer;
  HWND FWindow = nullptr;
};
