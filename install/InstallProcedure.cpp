#include "InstallProcedure.h"

#include <shellapi.h>

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

// Copies into a freshly created file; a failure removes the file again, so a
// program cut short never stays where the system would start it.
template <typename Fill>
void WriteNewFile(const std::string& FileName, Fill&& FillFile) {
  TFileStream Target(FileName, TFileMode::fmCreate);
  try {
    FillFile(Target);
  } catch (...) {
    Target.Close();
    DeleteFileA(FileName.c_str());
    throw;
  }
}

// Puts the complete copy Temp in FileName's place in one step. Over an old
// file, ReplaceFileA keeps that file's short name, which the registry may
// already hold, and its security.
bool PutInPlace(const std::string& Temp, const std::string& FileName) {
  const DWORD Attributes = GetFileAttributesA(FileName.c_str());
  if (Attributes == INVALID_FILE_ATTRIBUTES &&
      (GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND))
    return MoveFileExA(Temp.c_str(), FileName.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  // Windows refuses to replace a folder, but Wine would put the file in its place.
  if (Attributes == INVALID_FILE_ATTRIBUTES || (Attributes & FILE_ATTRIBUTE_DIRECTORY))
    return false;
  if (ReplaceFileA(FileName.c_str(), Temp.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
    return true;
  // The old file has already left its name; the new one must take it, or the
  // registry would name no file at all.
  return GetLastError() == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 &&
         MoveFileExA(Temp.c_str(), FileName.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

// Copies into FileName.tmp and only a complete copy replaces FileName: a
// failed reinstall leaves the screensaver that worked, which the registry
// still names. The temporary name never ends in .scr, so a copy cut short is
// never listed as a screensaver; a later install overwrites it. FileName is
// the long form, or the replaced file would take its short name for its
// name; messages give Name.
template <typename Fill>
void ReplaceWithNewFile(const std::string& FileName, const std::string& Name, Fill&& FillFile) {
  const std::string Temp = FileName + ".tmp";
  try {
    WriteNewFile(Temp, [&](TFileStream& Target) {
      FillFile(Target);
      // On disk before it takes the old file's place, or a crash could leave the name on unwritten data.
      if (!FlushFileBuffers(Target.Handle()))
        throw EWriteError(Consts::SWriteError);
    });
  } catch (const EFCreateError&) {
    throw EFCreateError(Format(Consts::SFCreateError, Name));
  }
  if (!PutInPlace(Temp, FileName)) {
    DeleteFileA(Temp.c_str());
    throw EFCreateError(Format(Consts::SFCreateError, Name));
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
  WriteNewFile(FileName, [&](TFileStream& File) {
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
  const auto Path = ShortPathOrSame(LongPath);
  {
    TFileStream Own(OwnFile.Path, OwnFile.AnsiPath, TFileMode::fmOpenReadExclusive);
    // A trailer that does not fit stops the install before anything is created.
    LocatePayload(Own);
    ReplaceWithNewFile(LongPath, Path, [&](TFileStream& Target) { CopyPayload(Own, Target); });
  }

  // Never the administrator's HKEY_CURRENT_USER instead when the person's own key fails.
  const TDesktopKey Desktop = ScreensaverDesktopKey(Shell.SessionUser());
  TRegKey Key;
  if (!Key.OpenOrCreate(Desktop.Root, Desktop.SubKey.c_str()))
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
