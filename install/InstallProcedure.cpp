#include "InstallProcedure.h"

#include <shellapi.h>

#include "Consts.h"
#include "FileStream.h"
#include "InstallPaths.h"
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
  WriteNewFile(FileName, [&](TStream& File) {
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
  // A reinstall finds the file from last time and so uses its short form. A
  // name with no ANSI spelling keeps its "?", which no file can be created with.
  const auto Path = ShortPathOrSame(ScreensaverPath(DestDir, OwnFile.AnsiPath));
  {
    TFileStream Own(OwnFile.Path, OwnFile.AnsiPath, TFileMode::fmOpenReadExclusive);
    // A trailer that does not fit stops the install before a file of the
    // same name (perhaps the user's current screensaver) is emptied.
    LocatePayload(Own);
    WriteNewFile(Path, [&](TStream& Target) { CopyPayload(Own, Target); });
  }

  TRegKey Key;
  if (!Key.OpenOrCreate(HKEY_CURRENT_USER, ScreensaverKey))
    throw ERegistryException(Format(Consts::SRegSetDataFailed, ScreensaverValue));
  Key.WriteString(ScreensaverValue, Path);
  Key.Close();

  SaveResourceToFile("exefile", "skinRes", DestDir + SkinFileName);

  if (Shell.Ask(InstallQuestion, InstallQuestionCaption, MB_YESNO) == IDYES)
    Shell.Start(Path.c_str());
}
