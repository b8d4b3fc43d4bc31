// The application object with its own window, message loop and default
// error handler.
#pragma once

#include <windows.h>

#include <exception>
#include <string>

#include "Component.h"
#include "CustomForm.h"
#include "WinHandles.h"

class TApplication : public TComponent {
 public:
  TApplication();
  ~TApplication() override;

  // Creates the application's own window: it has no area of its own and owns
  // every form, so the taskbar shows one entry for the program, with its title
  // and icon, whatever the forms' captions.
  void Initialize();
  // Creates a form owned by the application; the first becomes the main form.
  template <typename T>
  T* CreateForm() {
    auto* Form = new T(this);
    if (!FMainForm)
      FMainForm = Form;
    Form->AfterConstruction();
    return Form;
  }
  TCustomForm* MainForm() const { return FMainForm; }

  // Shows the main form and handles messages until it closes; then the forms are destroyed.
  void Run();
  // Handles the messages waiting now.
  void ProcessMessages();
  // Handles one message, or when none waits does the idle work and waits for
  // the next one (at most TimeoutMs).
  void HandleMessage(DWORD TimeoutMs = INFINITE);
  void Terminate();
  bool Terminated() const { return FTerminated; }

  // The title set by the program, else the default made from the program's path.
  std::string Title() const;
  void SetTitle(const std::string& Value);

  // The application's own window (null until Initialize).
  HWND Handle() const { return FHandle.Get(); }
  // Keeps the application's window with the main form: on its monitor, and
  // minimisable from the taskbar only when the main form has a minimise button.
  void MainFormChanged();
  // Has the taskbar ask for a picture of the main form as the entry's
  // thumbnail; later calls do nothing.
  void EnableThumbnails();

  // The default error handler: shows E's message in an error box (OK, stop
  // icon) captioned with the title; the caller's loop goes on.
  void ShowException(const std::exception& E);
  // For catch blocks: shows the exception being handled.
  void HandleException();

  // Works out pointer enter and leave; run when the message queue is empty.
  void DoMouseIdle();
  TControl* MouseControl() const { return FMouseControl; }
  void ControlDestroying(TControl* Control);

 private:
  static LRESULT CALLBACK AppWindowProc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam);
  LRESULT AppWndProc(UINT Msg, WPARAM WParam, LPARAM LParam);
  void BringForward();
  bool ProcessMessage(MSG& Msg);
  bool IsKeyMsg(MSG& Msg);
  void Idle();
  TCustomForm* FMainForm = nullptr;
  TControl* FMouseControl = nullptr;
  bool FTerminated = false;
  std::string FTitle;
  bool FTitleSet = false;
  // The window goes first, before the library it calls.
  TModuleHandle FDwmApi;
  HRESULT(WINAPI* FDwmSetIconicThumbnail)(HWND, HBITMAP, DWORD) = nullptr;
  TWindowHandle FHandle;
};

extern TApplication* Application;

// A picture of Control's client area as its paint draws it, scaled down (never
// up) to fit MaxWidth x MaxHeight with its proportions kept: an opaque 32-bit
// top-down DIB section, as the taskbar's thumbnails take it. Null when the
// control has no window or no area.
TBitmapHandle ClientPicture(TWinControl& Control, int MaxWidth, int MaxHeight);
