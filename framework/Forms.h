// Forms, the screen and the application object with its message loop and
// default error handler.
#pragma once

#include <exception>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <windows.h>

#include "Controls.h"
#include "FormAccessibility.h"
#include "SysUtils.h"
#include "WinHandles.h"

enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum TBorderIconFlag : unsigned { biSystemMenu = 1, biMinimize = 2, biMaximize = 4, biHelp = 8 };
enum TPosition { poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly, poScreenCenter };
using TModalResult = int;

class TCustomForm : public TWinControl {
public:
  explicit TCustomForm(TComponent* Owner);
  ~TCustomForm() override;

  // Runs once the form and its controls are built: fires OnCreate.
  virtual void AfterConstruction();

  TFormBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TFormBorderStyle Value);
  unsigned BorderIcons() const { return FBorderIcons; }
  void SetBorderIcons(unsigned Value);
  TPosition Position() const { return FPosition; }
  void SetPosition(TPosition Value) { FPosition = Value; }
  // Automatic scroll bars: on for the sizeable border styles only.
  bool AutoScroll() const { return FAutoScroll; }
  void SetAutoScroll(bool Value);
  int HorzScrollRange() const { return FHorzRange; }
  int VertScrollRange() const { return FVertRange; }

  TModalResult ModalResult() const { return FModalResult; }
  void SetModalResult(TModalResult Value) { FModalResult = Value; }
  TWinControl* ActiveControl() const { return FActiveControl; }
  void SetActiveControl(TWinControl* Control);
  // Records the control that just took the keyboard focus.
  void SetFocusedControl(TWinControl* Control);
  // Moves the focus to the next (or previous) control in tab order.
  void SelectNext(TWinControl* Current, bool GoForward, bool CheckTabStop);

  RECT ClientRect() const override;
  void SetClientSize(int Width, int Height) override;
  void SetVisible(bool Value) override;
  // Closing the main form ends the application; any other form is hidden.
  void Close();

  void Dispatch(TMessage& Message) override;

  // Event handlers and fields that a stored description names.
  void RegisterHandler(const std::string& Name, TNotifyEvent Handler);
  // Raises EReadError for a name the form does not have.
  TNotifyEvent Handler(const std::string& Name) const;
  template <typename T>
  void RegisterField(const std::string& Name, T*& Field) {
    AddField(Name, &Field, [](void* Field, TComponent* Component) {
      return (*static_cast<T**>(Field) = dynamic_cast<T*>(Component)) != nullptr;
    });
  }
  // Points the field of that name (if any) at Component.
  void BindField(const std::string& Name, TComponent* Component);

  TNotifyEvent OnCreate;

protected:
  void CreateParams(TCreateParams& Params) override;
  void CreateWindowHandleDone() override;
  void UpdateScrollRanges();

private:
  void RecreateWnd();
  void ApplyClientSize();
  TFormBorderStyle FBorderStyle = bsSizeable;
  unsigned FBorderIcons = biSystemMenu | biMinimize | biMaximize;
  TPosition FPosition = poDesigned;
  bool FAutoScroll = true;
  int FHorzRange = 0, FVertRange = 0;
  int FClientWidth = 320, FClientHeight = 240;
  TModalResult FModalResult = 0;
  TWinControl* FActiveControl = nullptr;
  bool FPositioned = false;
  // A field of the form, typed, and how to point it at a component: false
  // when the component is not of the field's class.
  struct TField {
    std::string Name;
    void* Field;
    bool (*Bind)(void* Field, TComponent* Component);
  };
  void AddField(const std::string& Name, void* Field, bool (*Bind)(void*, TComponent*));
  // A few of each: lists searched in order are smaller than trees.
  std::vector<std::pair<std::string, TNotifyEvent>> FHandlers;
  std::vector<TField> FFields;
  TFormAccessibility FAccessibility{*this};
};

class TForm : public TCustomForm {
public:
  using TCustomForm::TCustomForm;
};

class TScreen {
public:
  TWinControl* ActiveControl() const { return FActiveControl; }
  TCustomForm* ActiveForm() const { return FActiveForm; }
  void SetActiveControl(TWinControl* Control) { FActiveControl = Control; }
  void SetActiveForm(TCustomForm* Form) { FActiveForm = Form; }
  void ControlDestroying(TControl* Control);

private:
  TWinControl* FActiveControl = nullptr;
  TCustomForm* FActiveForm = nullptr;
};

extern TScreen* Screen;

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
  void EnableThumbnails();
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
TGdiObject ClientPicture(TWinControl& Control, int MaxWidth, int MaxHeight);
