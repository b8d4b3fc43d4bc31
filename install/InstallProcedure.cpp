#include "InstallProcedure.h"

#include <shellapi.h>

#include <functional>

#include "Consts.h"
#include "FileStream.h"
#include "InstallPaths.h"
#include "LanguageTexts.h"
#include "PackageLayout.h"
#include "Registry.h"
#include "Resources.h"
#include "SysUtils.h"
#include "SystemFiles.h"

namespace {

// Antivirus opens a freshly written program to scan it, and holds it for a
// moment: a replace or a move then fails with one of these.
bool Transient(DWORD Error) { return Error == ERROR_SHARING_VIOLATION || Error == ERROR_ACCESS_DENIED; }

// Tries Step again for about two seconds while it fails for a moment only.
template <typename Step>
bool Retried(Step&& Try) {
  for (int Attempt = 0;; ++Attempt) {
    if (Try())
      return true;
    if (Attempt == TransientRetries || !Transient(GetLastError()))
      return false;
    Sleep(100);
  }
}

bool Exists(const std::string& Name) { return GetFileAttributesA(Name.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool MoveIn(const std::string& From, const std::string& To) {
  return Retried(
      [&] { return MoveFileExA(From.c_str(), To.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0; });
}

// A name for the old file beside it that nothing holds: FileName.old, else
// .old1 to .old9. A backup of a screensaver that still runs cannot be
// removed until the next restart, and a second reinstall may come first.
std::string FreeBackupName(const std::string& FileName) {
  std::string Name = FileName + ".old";
  for (char N = '1'; N <= '9' && Exists(Name) && !DeleteFileA(Name.c_str()); ++N)
    Name = FileName + ".old" + N;
  return Name;
}

enum class TPlaced {
  plFailed,     // the old file, if any, keeps its name; the copy may go
  plTempKept,   // the name is empty: the copy is all there is
  plReplaced,   // in the old file's place, with its short name
  plMovedIn,    // there was no old file
  plRecovered,  // the old file left its name half-way, and the copy took it
};

// Puts the complete copy Temp in FileName's place in one step. Over an old
// file, ReplaceFileA keeps that file's short name, which the registry may
// already hold, and its security. The old file goes aside under a backup
// name, so that every way the replace can stop half-way leaves both files
// where they can be found.
TPlaced PutInPlace(const std::string& Temp, const std::string& FileName) {
  const DWORD Attributes = GetFileAttributesA(FileName.c_str());
  if (Attributes == INVALID_FILE_ATTRIBUTES &&
      (GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND))
    return MoveIn(Temp, FileName) ? TPlaced::plMovedIn : TPlaced::plFailed;
  // Windows refuses to replace a folder, but Wine would put the file in its place.
  if (Attributes == INVALID_FILE_ATTRIBUTES || (Attributes & FILE_ATTRIBUTE_DIRECTORY))
    return TPlaced::plFailed;
  const std::string Backup = FreeBackupName(FileName);
  if (Retried([&] {
        return ReplaceFileA(FileName.c_str(), Temp.c_str(), Backup.c_str(), REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                            nullptr) != 0;
      })) {
    // A screensaver that runs, or shows in the settings' preview, can be
    // renamed but not deleted; the program runs as an administrator, who may
    // have it deleted at the next start.
    if (!DeleteFileA(Backup.c_str()))
      MoveFileExA(Backup.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    return TPlaced::plReplaced;
  }
  // The disk, not the error code, tells how far the replace got; the
  // registry must go on naming a file.
  if (Exists(FileName))
    return TPlaced::plFailed;
  if (Exists(Backup) && MoveIn(Backup, FileName))
    return TPlaced::plFailed;
  return MoveIn(Temp, FileName) ? TPlaced::plRecovered : TPlaced::plTempKept;
}

// Copies into FileName.tmp and only a complete copy replaces FileName: a
// failed reinstall leaves the file that worked, which the registry still
// names. The temporary name never ends in .scr, so a copy cut short is never
// listed as a screensaver; a later install overwrites it. FileName is the
// long form, or the replaced file would take its short name for its name;
// messages give Name. True when the copy went in by a move after the old file
// had left its name, and so has a short name of its own.
bool ReplaceWithNewFile(const std::string& FileName, const std::string& Name,
                        const std::function<void(TFileStream&)>& FillFile) {
  const std::string Temp = FileName + ".tmp";
  // CREATE_ALWAYS refuses to empty a hidden or system file.
  SetFileAttributesA(Temp.c_str(), FILE_ATTRIBUTE_NORMAL);
  try {
    TFileStream Target(Temp, TFileMode::fmCreate);
    try {
      FillFile(Target);
      // On disk before it takes the old file's place, or a crash could leave the name on unwritten data.
      if (!FlushFileBuffers(Target.Handle()))
        throw EWriteError(Consts::SWriteError);
    } catch (...) {
      // A program cut short never stays where the system would start it.
      Target.Close();
      DeleteFileA(Temp.c_str());
      throw;
    }
  } catch (const EFCreateError&) {
    throw EFCreateError(Format(Consts::SFCreateError, Name));
  }
  switch (PutInPlace(Temp, FileName)) {
    case TPlaced::plFailed:
      DeleteFileA(Temp.c_str());
      [[fallthrough]];
    case TPlaced::plTempKept:
      throw EFCreateError(Format(Consts::SFCreateError, Name));
    case TPlaced::plRecovered:
      return true;
    default:
      return false;
  }
}

}  // namespace

int TSystemShell::Ask(const char* Text, const char* Caption, UINT Flags) {
  return MessageBoxA(FOwner, Text, Caption, Flags);
}

void TSystemShell::Start(const char* FileName) {
  ShellExecuteA(FOwner, nullptr, FileName, nullptr, nullptr, SW_SHOWNORMAL);
}

std::string ShortPathOrSame(const std::string& Path) {
  char Buffer[255];
  DWORD Len = GetShortPathNameA(Path.c_str(), Buffer, sizeof Buffer);
  return Len > 0 && Len < sizeof Buffer ? std::string(Buffer, Len) : Path;
}

bool SaveResourceToFile(const char* ResType, const char* ResName, const std::string& FileName) {
  auto Resource = TResourceBytes::Find(nullptr, ResType, ResName);
  if (!Resource)
    return false;
  // Never an empty or half skin in place of a whole one.
  ReplaceWithNewFile(FileName, FileName, [&](TFileStream& File) {
    File.WriteBuffer(Resource->Data(), static_cast<std::int32_t>(Resource->Size()));
  });
  return true;
}

TOwnFile::TOwnFile(const std::string& AnsiPath) : AnsiPath(AnsiPath) {
  // As CreateFileA would read it.
  const int Len = MultiByteToWideChar(CP_ACP, 0, AnsiPath.data(), static_cast<int>(AnsiPath.size()), nullptr, 0);
  Path.resize(static_cast<std::size_t>(Len));
  MultiByteToWideChar(CP_ACP, 0, AnsiPath.data(), static_cast<int>(AnsiPath.size()), Path.data(), Len);
}

TOwnFile TOwnFile::RunningProgram() { return TOwnFile(WideModuleFileName(), ModuleFileName()); }

void InstallScreensaver(const TOwnFile& OwnFile, const std::string& DestDir, TInstallShell& Shell) {
  // A reinstall finds the file from last time and so uses its short form,
  // which the replace keeps. A name with no ANSI spelling keeps its "?",
  // which no file can be created with.
  const auto LongPath = ScreensaverPath(DestDir, OwnFile.AnsiPath);
  auto Path = ShortPathOrSame(LongPath);
  {
    TFileStream Own(OwnFile.Path, OwnFile.AnsiPath, TFileMode::fmOpenReadExclusive);
    // A trailer that does not fit stops the install before anything is created.
    LocatePayload(Own);
    if (ReplaceWithNewFile(LongPath, Path, [&](TFileStream& Target) { CopyPayload(Own, Target); }))
      Path = ShortPathOrSame(LongPath);
  }

  // Never the administrator's HKEY_CURRENT_USER instead when the person's own key fails.
  const TDesktopKey Desktop = ScreensaverDesktopKey(Shell.SessionUser());
  TRegKey Key;
  if (!Desktop.Root || !Key.OpenOrCreate(Desktop.Root, Desktop.SubKey.c_str()))
    throw ERegistryException(Format(Consts::SRegSetDataFailed, ScreensaverValue));
  Key.WriteString(ScreensaverValue, Path);
  Key.Close();

  SaveResourceToFile("exefile", "skinRes", DestDir + SkinFileName);

  const TLanguageTexts& Texts = TLanguageTexts::Program();
  bool Translated = false;
  const std::string Question = Texts.Ansi(txInstallQuestion, InstallQuestion, &Translated);
  const std::string Caption = Texts.Ansi(txConfirm, InstallQuestionCaption);
  if (Shell.Ask(Question.c_str(), Caption.c_str(), MB_YESNO | Texts.BoxFlags(Translated)) == IDYES)
    Shell.Start(Path.c_str());
}
