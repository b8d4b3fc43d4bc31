// The installer's one action: copy the payload into place as NAME.scr,
// register it as the user's screensaver, write the skin file, offer to run it.
#pragma once

#include <string>
#include <utility>

#include <windows.h>

#include "Languages.h"
#include "SessionUser.h"

// Where the install meets the user: who they are, the closing question and the
// shell start. Tests answer these; the program uses TSystemShell.
class TInstallShell {
 public:
  virtual ~TInstallShell() = default;
  // Asks Text captioned Caption with message-box Flags; returns the answer (IDYES, ...).
  virtual int Ask(const char* Text, const char* Caption, UINT Flags) = 0;
  // Starts FileName by its file type's default action; failures are passed over.
  virtual void Start(const char* FileName) = 0;
  // The person at the screen: the user logged on to the program's session.
  virtual TAccount SessionUser() { return SessionAccount(); }
};

// The real question box and shell start, both owned by Owner, the installer
// window: whatever window happens to be active may be another program's.
class TSystemShell final : public TInstallShell {
 public:
  explicit TSystemShell(HWND Owner) : FOwner(Owner) {}
  int Ask(const char* Text, const char* Caption, UINT Flags) override;
  void Start(const char* FileName) override;

 private:
  HWND FOwner;
};

inline constexpr const char* ScreensaverKey = "Control Panel\\Desktop";
inline constexpr const char* ScreensaverValue = "SCRNSAVE.EXE";
inline constexpr const char* InstallQuestion = EnglishTexts[txInstallQuestion];
inline constexpr const char* InstallQuestionCaption = EnglishTexts[txConfirm];
// How often a replace or move that failed for a moment is tried again, 100 ms
// apart: about two seconds, as long as antivirus holds a new program.
inline constexpr int TransientRetries = 20;

// The package's own file. The ANSI spelling of its path names the screensaver
// and the errors; but for a folder named in another script that spelling (best
// fit or "?") names no existing file, so the file is opened by its true path.
struct TOwnFile {
  // A path within the ANSI code page, where the two spellings name one file.
  explicit TOwnFile(const std::string& AnsiPath);
  TOwnFile(std::wstring Path, std::string AnsiPath) : Path(std::move(Path)), AnsiPath(std::move(AnsiPath)) {}
  // The running program's own file.
  static TOwnFile RunningProgram();

  std::wstring Path;
  std::string AnsiPath;
};

// Installs the payload of the package Own into DestDir (ending in "\") and
// sets it as the screensaver of the session's user (Shell.SessionUser()).
// Raises the framework's errors; the caller closes the window afterwards. A
// failure leaves a screensaver installed before as it was.
void InstallScreensaver(const TOwnFile& Own, const std::string& DestDir, TInstallShell& Shell);

// Writes the resource ResType/ResName of the running program to FileName.
// Returns false, touching nothing, when the program has no such resource;
// raises "Cannot create file %s" or "Stream write error" when the file cannot
// be written in full, and then leaves FileName as it was.
bool SaveResourceToFile(const char* ResType, const char* ResName, const std::string& FileName);

// The short (8.3) form of an existing path, or Path itself when there is none.
std::string ShortPathOrSame(const std::string& Path);
