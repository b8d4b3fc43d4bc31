// Watches one control while code that may destroy it runs: a control that
// calls a user's handler checks the tracker afterwards, and touches itself no
// more once the handler has destroyed it (a click that frees its own window).
// Learns of the destruction through ControlDestroying. Lives on the stack.
//
// Around every call into a user's code that may free the control:
//
//   TControlTracker Alive(this);
//   Click();  // runs OnClick, which may delete this control
//   if (Alive.Destroyed())
//     return;  // no member may be touched now
//   MouseUp(mbLeft, Shift, X, Y);
#pragma once

class TControl;

class TControlTracker {
 public:
  explicit TControlTracker(TControl* Control);
  ~TControlTracker();
  TControlTracker(const TControlTracker&) = delete;
  TControlTracker& operator=(const TControlTracker&) = delete;
  // The control, or nullptr once it is being destroyed.
  TControl* Control() const { return FControl; }
  bool Destroyed() const { return FControl == nullptr; }

 private:
  friend void ControlDestroying(TControl* Control);
  TControl* FControl;
  TControlTracker* FBelow;
};

// Tells the framework a control is going, so nothing keeps pointing at it.
void ControlDestroying(TControl* Control);
