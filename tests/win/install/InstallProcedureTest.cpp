#include <climits>

#include <sddl.h>

#include "InstallTestSupport.h"
#include "SysUtils.h"

using namespace WinTest;

namespace {

Bytes TestSkin() { return ReadFileBytes(WindowsPathFromUnix(TEST_SKIN_FILE, false)); }

std::string SmallDisk() {
  auto Dir = WindowsPathFromUnix(SMALL_DISK_DIR, true);
  return FileExists(Dir + ".mounted") ? Dir : std::string();
}

using Install = InstallWorld;

constexpr const char* PendingKey = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";

TEST_F(Install, CompleteInstallCopiesRegistersWritesTheSkinAndAsks) {
  auto Payload = RandomBytes(150000, 2);
  auto Own = MakePackage("Install-Aurora.exe", Payload);
  ASSERT_EQ(RunInstall(Own, Dest), "");

  EXPECT_EQ(ReadFileBytes(Dest + "Aurora.scr"), Payload);
  EXPECT_FALSE(FileExists(Dest + "Aurora.scr.tmp")) << "the copy stayed under its temporary name";
  auto Value = Registered();
  EXPECT_EQ(Value.Type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(Value.Text, Dest + "Aurora.scr");
  EXPECT_EQ(Value.Size, static_cast<long>(Value.Text.size() + 1));
  EXPECT_EQ(ReadFileBytes(Dest + "swing.mskn"), TestSkin());
  ASSERT_EQ(Shell.Asked.size(), 1u);
  EXPECT_EQ(Shell.Asked[0].Text, "Screensaver installation completed, run it now?");
  EXPECT_EQ(Shell.Asked[0].Caption, "Confirm");
  EXPECT_EQ(Shell.Asked[0].Flags, 4u);
  EXPECT_TRUE(Shell.Started.empty()) << "No must start nothing";
  // The package itself is left as it was.
  EXPECT_EQ(ReadFileBytes(Own), PackageBytes(Payload, static_cast<std::int64_t>(Payload.size())));
}

TEST_F(Install, YesStartsTheInstalledScreensaver) {
  Shell.Answer = IDYES;
  ASSERT_EQ(RunInstall(MakePackage("Install-Aurora.exe", RandomBytes(10, 3)), Dest), "");
  EXPECT_EQ(Shell.Started, std::vector<std::string>{Dest + "Aurora.scr"});
}

TEST_F(Install, TheRealQuestionBelongsToTheInstallerWindowNotToWhateverIsActive) {
  auto NewWindow = [](const char* Title) {
    return CreateWindowExA(0, "STATIC", Title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100, nullptr, nullptr,
                           nullptr, nullptr);
  };
  HWND Installer = NewWindow("Installer"), Other = NewWindow("Other");
  ASSERT_TRUE(Installer && Other);
  SetActiveWindow(Other);
  ASSERT_EQ(GetActiveWindow(), Other);
  TMessageBoxWatcher Watcher(InstallQuestionCaption, IDNO);
  TSystemShell Real(Installer);
  EXPECT_EQ(Real.Ask(InstallQuestion, InstallQuestionCaption, MB_YESNO), IDNO);
  ASSERT_TRUE(Watcher.Found()) << "no box captioned Confirm";
  EXPECT_EQ(Watcher.Seen().Owner, Installer);
  EXPECT_TRUE(Watcher.Seen().OwnerDisabled) << "the installer window took input under the question";
  EXPECT_TRUE(IsWindowEnabled(Other)) << "another window was disabled";
  DestroyWindow(Other);
  DestroyWindow(Installer);
}

TEST_F(Install, ScreensaverIsNamedAfterTheInstaller) {
  struct Case {
    const char* Package;
    const char* Installed;
  } const Cases[] = {{"Install-Aurora.exe", "Aurora.scr"},
                     {"install-Aurora.exe", "install-Aurora.scr"},
                     {"Aurora.exe", "Aurora.scr"},
                     {"Install-Aurora.Saver.exe", "Aurora.Saver.scr"},
                     {"Install-Aurora", "Aurora.scr"}};
  std::uint32_t Seed = 10;
  for (auto C : Cases) {
    SCOPED_TRACE(C.Package);
    auto Payload = RandomBytes(777, ++Seed);
    ASSERT_EQ(RunInstall(MakePackage(C.Package, Payload), Dest), "");
    EXPECT_EQ(ReadFileBytes(Dest + C.Installed), Payload);
    EXPECT_EQ(Registered().Text, Dest + C.Installed);
    DeleteFileA((Dest + C.Installed).c_str());
  }
  // A "." in the destination folder is not the extension.
  auto Dotted = Dir / "my.savers\\";
  ASSERT_TRUE(CreateDirectoryA(Dotted.c_str(), nullptr));
  ASSERT_EQ(RunInstall(MakePackage("Install-Aurora", RandomBytes(5, 4)), Dotted), "");
  EXPECT_TRUE(FileExists(Dotted + "Aurora.scr"));
}

TEST_F(Install, ReinstallUsesAndRegistersTheShortForm) {
  Shell.Answer = IDYES;
  const auto Long = Dest + "Aurora Borealis Deluxe.scr";
  ASSERT_EQ(RunInstall(MakePackage("Install-Aurora Borealis Deluxe.exe", RandomBytes(4000, 5)), Dest), "");
  EXPECT_EQ(Registered().Text, Long) << "a first install has no short form yet";

  char Short[MAX_PATH];
  ASSERT_GT(GetShortPathNameA(Long.c_str(), Short, sizeof Short), 0u);
  ASSERT_NE(std::string(Short), Long);
  auto Payload = RandomBytes(5000, 6);
  ASSERT_EQ(RunInstall(MakePackage("Install-Aurora Borealis Deluxe.exe", Payload), Dest), "");
  auto Value = Registered();
  EXPECT_EQ(Value.Text, Short);
  EXPECT_EQ(Value.Size, static_cast<long>(strlen(Short) + 1));
  EXPECT_EQ(ReadFileBytes(Long), Payload) << "the file is replaced";
  char After[MAX_PATH];
  ASSERT_GT(GetShortPathNameA(Long.c_str(), After, sizeof After), 0u);
  EXPECT_STREQ(After, Short) << "the replaced file lost the short name the registry holds";
  EXPECT_FALSE(FileExists(Long + ".tmp"));
  EXPECT_FALSE(FileExists(std::string(Short) + ".tmp"));
  ASSERT_EQ(Shell.Started.size(), 2u);
  EXPECT_EQ(Shell.Started[1], Short);
}

TEST_F(Install, AReplaceThatFailsKeepsTheOldScreensaverAndNamesTheScreensaver) {
  // As a screensaver running as a preview would be.
  const Bytes Old = RandomBytes(2000, 40);
  WriteFileBytes(Dest + "Aurora.scr", Old);
  SetRegistered("previous");
  HANDLE Held = CreateFileA((Dest + "Aurora.scr").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(Held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(RunInstall(MakePackage("Install-Aurora.exe", RandomBytes(3000, 41)), Dest),
            "Cannot create file " + ShortPathOrSame(Dest + "Aurora.scr"));
  CloseHandle(Held);
  EXPECT_EQ(ReadFileBytes(Dest + "Aurora.scr"), Old);
  EXPECT_FALSE(FileExists(Dest + "Aurora.scr.tmp")) << "the new copy was left behind";
  EXPECT_EQ(Registered().Text, "previous");
  EXPECT_FALSE(FileExists(Dest + "swing.mskn"));
  EXPECT_TRUE(Shell.Asked.empty());
}

// ReplaceFileA as Windows leaves things when it stops between its steps,
// which Wine never does. Without HonoursBackup, the old file goes where
// Windows puts it when it has no backup name: gone (1176), or under a name
// the caller never learns (1177).
struct TReplaceFault {
  DWORD Error;
  bool HonoursBackup;
};
TReplaceFault GFault;
BOOL WINAPI HalfWayReplace(LPCSTR Replaced, LPCSTR, LPCSTR Backup, DWORD, LPVOID, LPVOID) {
  if (GFault.Error == ERROR_UNABLE_TO_MOVE_REPLACEMENT && !GFault.HonoursBackup)
    DeleteFileA(Replaced);
  if (GFault.Error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2)
    MoveFileA(Replaced, GFault.HonoursBackup ? Backup : (std::string(Replaced) + ".aside").c_str());
  SetLastError(GFault.Error);
  return FALSE;
}

TEST_F(Install, AReplaceThatStopsHalfWayLeavesAScreensaverUnderItsNameWhateverTheErrorSays) {
  const Bytes Old = RandomBytes(2000, 44);
  const auto Payload = RandomBytes(3000, 45);
  const std::string Name = Dest + "Aurora.scr";
  struct Case {
    TReplaceFault Fault;
    bool Installed;  // the new copy took the name; otherwise the old file kept it
    bool OldAside;   // the old file stays under the name Windows gave it
  } const Cases[] = {
      {{ERROR_UNABLE_TO_MOVE_REPLACEMENT, true}, false, false},
      {{ERROR_UNABLE_TO_MOVE_REPLACEMENT, false}, true, false},
      {{ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, true}, false, false},
      {{ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, false}, true, true},
      {{ERROR_UNABLE_TO_REMOVE_REPLACED, true}, false, false},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(testing::Message() << C.Fault.Error << (C.Fault.HonoursBackup ? " with" : " without") << " backup");
    WriteFileBytes(Name, Old);
    DeleteFileA((Name + ".aside").c_str());
    const auto Short = ShortPathOrSame(Name);
    SetRegistered("previous");
    Shell.Asked.clear();
    GFault = C.Fault;
    std::string Result;
    {
      TImportHook Hook("kernel32.dll", "ReplaceFileA", reinterpret_cast<void*>(&HalfWayReplace));
      Result = RunInstall(MakePackage("Install-Aurora.exe", Payload), Dest);
    }
    EXPECT_EQ(Result, C.Installed ? "" : "Cannot create file " + Short);
    EXPECT_EQ(ReadFileBytes(Name), C.Installed ? Payload : Old);
    EXPECT_FALSE(FileExists(Name + ".tmp")) << "the new copy was left behind";
    EXPECT_FALSE(FileExists(Name + ".old")) << "the old file was left under its backup name";
    EXPECT_EQ(FileExists(Name + ".aside"), C.OldAside);
    // The registry names a file that is there: moved in, it has a short name of its own.
    EXPECT_EQ(Registered().Text, C.Installed ? ShortPathOrSame(Name) : "previous");
    EXPECT_EQ(Shell.Asked.size(), C.Installed ? 1u : 0u);
  }
}

// A screensaver that runs, or shows in the settings' preview: Windows lets
// its file be renamed but not deleted.
std::vector<std::string> GRunning;
TImportHook* GDeleteHook = nullptr;
BOOL WINAPI DeleteUnlessRunning(LPCSTR Name) {
  for (const auto& Running : GRunning)
    if (lstrcmpiA(Running.c_str(), Name) == 0) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
  return GDeleteHook->Original<decltype(&DeleteFileA)>()(Name);
}

std::vector<std::string> PendingRenames() {
  char Buffer[8192];
  DWORD Size = sizeof Buffer;
  std::vector<std::string> Names;
  if (RegGetValueA(HKEY_LOCAL_MACHINE, PendingKey, "PendingFileRenameOperations", RRF_RT_REG_MULTI_SZ, nullptr, Buffer,
                   &Size) != ERROR_SUCCESS)
    return Names;
  for (const char* Name = Buffer; Name < Buffer + Size && *Name; Name += strlen(Name) + 1)
    Names.emplace_back(Name);
  return Names;
}

TEST_F(Install, AReinstallOverARunningScreensaverSucceedsAndItsOldFileGoesAtTheNextStart) {
  const std::string Name = Dest + "Aurora.scr";
  const Bytes Old = RandomBytes(2000, 60), First = RandomBytes(100, 61), Payload = RandomBytes(3000, 62);
  WriteFileBytes(Name, Old);
  // What the reinstall before left, still running: its backup name is taken.
  WriteFileBytes(Name + ".old", First);
  RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, PendingKey, "PendingFileRenameOperations");
  GRunning = {Name + ".old", Name + ".old1"};
  std::string Result;
  {
    TImportHook Hook("kernel32.dll", "DeleteFileA", reinterpret_cast<void*>(&DeleteUnlessRunning));
    GDeleteHook = &Hook;
    Result = RunInstall(MakePackage("Install-Aurora.exe", Payload), Dest);
  }
  const auto Pending = PendingRenames();
  RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, PendingKey, "PendingFileRenameOperations");
  EXPECT_EQ(Result, "");
  EXPECT_EQ(ReadFileBytes(Name), Payload);
  EXPECT_EQ(ReadFileBytes(Name + ".old"), First) << "a backup still in use was touched";
  EXPECT_EQ(ReadFileBytes(Name + ".old1"), Old);
  // A delete at the next start: the name, then no new name.
  EXPECT_EQ(Pending, (std::vector<std::string>{"\\??\\" + Name + ".old1"}));
  EXPECT_EQ(Registered().Text, ShortPathOrSame(Name));
  EXPECT_FALSE(FileExists(Name + ".tmp"));
  // Once nothing runs it any more, the next reinstall removes its backup.
  GRunning.clear();
  DeleteFileA((Name + ".old").c_str());
  DeleteFileA((Name + ".old1").c_str());
  ASSERT_EQ(RunInstall(MakePackage("Install-Aurora.exe", Old), Dest), "");
  EXPECT_EQ(ReadFileBytes(Name), Old);
  EXPECT_FALSE(FileExists(Name + ".old"));
  EXPECT_TRUE(PendingRenames().empty());
}

// Antivirus scanning the new copy: the replace fails for a moment.
DWORD GTransientError;
int GTransientFailures, GReplaceCalls;
TImportHook* GReplaceHook = nullptr;
BOOL WINAPI ScannedReplace(LPCSTR Replaced, LPCSTR Replacement, LPCSTR Backup, DWORD Flags, LPVOID, LPVOID) {
  if (++GReplaceCalls <= GTransientFailures) {
    SetLastError(GTransientError);
    return FALSE;
  }
  return GReplaceHook->Original<decltype(&ReplaceFileA)>()(Replaced, Replacement, Backup, Flags, nullptr, nullptr);
}

TEST_F(Install, AReplaceHeldUpForAMomentIsTriedAgainForAboutTwoSeconds) {
  const std::string Name = Dest + "Aurora.scr";
  const Bytes Old = RandomBytes(500, 63), Payload = RandomBytes(800, 64);
  struct Case {
    DWORD Error;
    int Failures;
  } const Cases[] = {{ERROR_SHARING_VIOLATION, 2},
                     {ERROR_SHARING_VIOLATION, TransientRetries},
                     {ERROR_ACCESS_DENIED, TransientRetries + 1},
                     {ERROR_WRITE_PROTECT, 1}};
  for (const Case& C : Cases) {
    SCOPED_TRACE(testing::Message() << C.Error << " " << C.Failures << " times");
    WriteFileBytes(Name, Old);
    // Only the screensaver is replaced: the skin goes in by a move.
    DeleteFileA((Dest + "swing.mskn").c_str());
    SetRegistered("previous");
    GTransientError = C.Error;
    GTransientFailures = C.Failures;
    GReplaceCalls = 0;
    std::string Result;
    {
      TImportHook Hook("kernel32.dll", "ReplaceFileA", reinterpret_cast<void*>(&ScannedReplace));
      GReplaceHook = &Hook;
      Result = RunInstall(MakePackage("Install-Aurora.exe", Payload), Dest);
    }
    const bool Cleared = C.Error != ERROR_WRITE_PROTECT && C.Failures <= TransientRetries;
    EXPECT_EQ(GReplaceCalls, Cleared ? C.Failures + 1 : std::min(C.Failures, TransientRetries + 1));
    EXPECT_EQ(Result, Cleared ? "" : "Cannot create file " + ShortPathOrSame(Name));
    EXPECT_EQ(ReadFileBytes(Name), Cleared ? Payload : Old);
    EXPECT_FALSE(FileExists(Name + ".tmp"));
  }
}

TEST_F(Install, TheTemporaryCopyIsReportedByTheScreensaversNameAndALeftoverIsOverwritten) {
  const Bytes Old = RandomBytes(500, 42);
  WriteFileBytes(Dest + "Aurora.scr", Old);
  SetRegistered("previous");
  // A folder where the temporary copy would go.
  ASSERT_TRUE(CreateDirectoryA((Dest + "Aurora.scr.tmp").c_str(), nullptr));
  const auto Payload = RandomBytes(700, 43);
  const auto Own = MakePackage("Install-Aurora.exe", Payload);
  EXPECT_EQ(RunInstall(Own, Dest), "Cannot create file " + ShortPathOrSame(Dest + "Aurora.scr"));
  EXPECT_EQ(ReadFileBytes(Dest + "Aurora.scr"), Old);
  EXPECT_EQ(Registered().Text, "previous");
  ASSERT_TRUE(RemoveDirectoryA((Dest + "Aurora.scr.tmp").c_str()));

  // What an install cut short by a crash leaves.
  WriteFileBytes(Dest + "Aurora.scr.tmp", RandomBytes(90000, 44));
  ASSERT_EQ(RunInstall(Own, Dest), "");
  EXPECT_EQ(ReadFileBytes(Dest + "Aurora.scr"), Payload);
  EXPECT_FALSE(FileExists(Dest + "Aurora.scr.tmp"));
  EXPECT_EQ(Registered().Text, ShortPathOrSame(Dest + "Aurora.scr"));
}

TEST_F(Install, AMissingDesktopKeyIsCreated) {
  ASSERT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, ScreensaverKey), ERROR_SUCCESS);
  ASSERT_EQ(RunInstall(MakePackage("Install-Aurora.exe", RandomBytes(10, 7)), Dest), "");
  EXPECT_EQ(Registered().Text, Dest + "Aurora.scr");
}

TEST_F(Install, AnOwnFileThatCannotBeOpenedChangesNothing) {
  EXPECT_EQ(RunInstall(Pkg + "Install-Missing.exe", Dest), "Cannot open file " + Pkg + "Install-Missing.exe");
  auto Own = MakePackage("Install-Aurora.exe", RandomBytes(10, 8));
  HANDLE Held = CreateFileA(Own.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(RunInstall(Own, Dest), "Cannot open file " + Own);
  CloseHandle(Held);
  EXPECT_FALSE(FileExists(Dest + "Aurora.scr"));
  EXPECT_EQ(Registered().Size, -1);
  EXPECT_TRUE(Shell.Asked.empty());
}

TEST_F(Install, ADestinationThatCannotTakeTheFileFailsEveryTime) {
  auto Own = MakePackage("Install-Aurora.exe", RandomBytes(10, 9));
  const auto Missing = Dir / "missing\\";
  for (int Click = 0; Click < 2; ++Click)
    EXPECT_EQ(RunInstall(Own, Missing), "Cannot create file " + Missing + "Aurora.scr");
  // A folder in the file's place stays a folder, and the copy meant for it goes.
  ASSERT_TRUE(CreateDirectoryA((Dest + "Aurora.scr").c_str(), nullptr));
  EXPECT_EQ(RunInstall(Own, Dest), "Cannot create file " + ShortPathOrSame(Dest + "Aurora.scr"));
  EXPECT_NE(GetFileAttributesA((Dest + "Aurora.scr").c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_FALSE(FileExists(Dest + "Aurora.scr.tmp"));
  // The own file was closed again: nobody holds it.
  HANDLE Exclusive = CreateFileA(Own.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(Exclusive, INVALID_HANDLE_VALUE);
  CloseHandle(Exclusive);
  EXPECT_EQ(Registered().Size, -1);
  EXPECT_TRUE(Shell.Asked.empty());
}

TEST_F(Install, ATrailerThatDoesNotFitLeavesTheInstalledScreensaverAlone) {
  const Bytes Old{'o', 'l', 'd'};
  const auto Payload = RandomBytes(100, 10);
  const std::int64_t S = 3000 + 100 + 4;
  for (std::int64_t N : {std::int64_t{0}, S - 3, std::int64_t{-1}, std::int64_t{INT_MAX}, std::int64_t{INT_MIN}}) {
    SCOPED_TRACE(N);
    WriteFileBytes(Dest + "Aurora.scr", Old);
    SetRegistered("previous");
    EXPECT_EQ(RunInstall(MakePackage("Install-Aurora.exe", Payload, N), Dest), "Stream read error");
    EXPECT_EQ(ReadFileBytes(Dest + "Aurora.scr"), Old);
    EXPECT_EQ(Registered().Text, "previous");
    EXPECT_FALSE(FileExists(Dest + "swing.mskn"));
  }
  DeleteFileA((Dest + "Aurora.scr").c_str());
  EXPECT_EQ(RunInstall(MakePackage("Install-Aurora.exe", Payload, 0), Dest), "Stream read error");
  EXPECT_FALSE(FileExists(Dest + "Aurora.scr")) << "nothing is created for a bad trailer";
  EXPECT_TRUE(Shell.Asked.empty());
}

TEST_F(Install, AFullDiskLeavesNoPartialScreensaver) {
  const auto Full = SmallDisk();
  if (Full.empty())
    GTEST_SKIP() << "needs the small disk (root)";
  SetRegistered("previous");
  EXPECT_EQ(RunInstall(MakePackage("Install-Aurora.exe", RandomBytes(200000, 11)), Full), "Stream write error");
  EXPECT_FALSE(FileExists(Full + "Aurora.scr"));
  EXPECT_FALSE(FileExists(Full + "Aurora.scr.tmp"));
  EXPECT_EQ(Registered().Text, "previous");
  EXPECT_FALSE(FileExists(Full + "swing.mskn"));
  EXPECT_TRUE(Shell.Asked.empty());
}

TEST_F(Install, AReinstallOntoAFullDiskKeepsTheOldScreensaver) {
  const auto Full = SmallDisk();
  if (Full.empty())
    GTEST_SKIP() << "needs the small disk (root)";
  const Bytes Old = RandomBytes(20000, 45);
  WriteFileBytes(Full + "Aurora.scr", Old);
  SetRegistered(Full + "Aurora.scr");
  EXPECT_EQ(RunInstall(MakePackage("Install-Aurora.exe", RandomBytes(200000, 46)), Full), "Stream write error");
  EXPECT_EQ(ReadFileBytes(Full + "Aurora.scr"), Old) << "the screensaver that worked was lost";
  EXPECT_FALSE(FileExists(Full + "Aurora.scr.tmp"));
  EXPECT_EQ(Registered().Text, Full + "Aurora.scr");
  EXPECT_FALSE(FileExists(Full + "swing.mskn"));
  EXPECT_TRUE(Shell.Asked.empty());
  // An update that fits beside the old file replaces it.
  const auto Fits = RandomBytes(30000, 47);
  Shell.Asked.clear();
  EXPECT_EQ(RunInstall(MakePackage("Install-Aurora.exe", Fits), Full), "Stream write error")
      << "the skin does not fit on the small disk";
  EXPECT_EQ(ReadFileBytes(Full + "Aurora.scr"), Fits);
  EXPECT_FALSE(FileExists(Full + "Aurora.scr.tmp"));
  DeleteFileA((Full + "Aurora.scr").c_str());
}

TEST_F(Install, ASkinThatCannotBeCreatedStopsTheInstall) {
  ASSERT_TRUE(CreateDirectoryA((Dest + "swing.mskn").c_str(), nullptr));
  auto Payload = RandomBytes(100, 12);
  EXPECT_EQ(RunInstall(MakePackage("Install-Aurora.exe", Payload), Dest), "Cannot create file " + Dest + "swing.mskn");
  // What was done before stays done.
  EXPECT_EQ(ReadFileBytes(Dest + "Aurora.scr"), Payload);
  EXPECT_EQ(Registered().Text, Dest + "Aurora.scr");
  EXPECT_TRUE(Shell.Asked.empty());
}

TEST_F(Install, ASkinThatDoesNotFitLeavesNoPartialSkin) {
  const auto Full = SmallDisk();
  if (Full.empty())
    GTEST_SKIP() << "needs the small disk (root)";
  ASSERT_GT(TestSkin().size(), 65536u);
  auto Payload = RandomBytes(1000, 13);
  EXPECT_EQ(RunInstall(MakePackage("Install-Aurora.exe", Payload), Full), "Stream write error");
  EXPECT_EQ(ReadFileBytes(Full + "Aurora.scr"), Payload);
  EXPECT_FALSE(FileExists(Full + "swing.mskn"));
  EXPECT_TRUE(Shell.Asked.empty());
  // A skin from before stays whole, never emptied.
  const Bytes OldSkin = RandomBytes(3000, 14);
  WriteFileBytes(Full + "swing.mskn", OldSkin);
  EXPECT_EQ(RunInstall(MakePackage("Install-Aurora.exe", Payload), Full), "Stream write error");
  EXPECT_EQ(ReadFileBytes(Full + "swing.mskn"), OldSkin);
  EXPECT_FALSE(FileExists(Full + "swing.mskn.tmp"));
  DeleteFileA((Full + "swing.mskn").c_str());
  DeleteFileA((Full + "Aurora.scr").c_str());
}

// Keeps a copy of HKCU\Control Panel and puts it back afterwards.
class TControlPanelBackup {
 public:
  TControlPanelBackup() {
    RegDeleteTreeA(HKEY_CURRENT_USER, Backup);
    HKEY Key;
    RegCreateKeyExA(HKEY_CURRENT_USER, Backup, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &Key, nullptr);
    Saved = RegCopyTreeA(HKEY_CURRENT_USER, "Control Panel", Key) == ERROR_SUCCESS;
    RegCloseKey(Key);
  }
  ~TControlPanelBackup() {
    RegDeleteTreeA(HKEY_CURRENT_USER, "Control Panel");
    HKEY Key;
    RegCreateKeyExA(HKEY_CURRENT_USER, "Control Panel", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &Key, nullptr);
    RegCopyTreeA(HKEY_CURRENT_USER, Backup, Key);
    RegCloseKey(Key);
    RegDeleteTreeA(HKEY_CURRENT_USER, Backup);
  }
  bool Saved = false;

 private:
  static constexpr const char* Backup = "Software\\InstallerWin Tests\\Control Panel";
};

TEST_F(Install, AKeyThatCanBeNeitherOpenedNorCreatedStopsBeforeTheQuestion) {
  TControlPanelBackup Backup;
  ASSERT_TRUE(Backup.Saved);
  // A volatile parent cannot hold the non-volatile key the install asks for.
  ASSERT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, "Control Panel"), ERROR_SUCCESS);
  HKEY Volatile;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Control Panel", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                            nullptr, &Volatile, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(Volatile);

  auto Payload = RandomBytes(100, 14);
  EXPECT_EQ(RunInstall(MakePackage("Install-Aurora.exe", Payload), Dest), "Failed to set data for 'SCRNSAVE.EXE'");
  EXPECT_EQ(ReadFileBytes(Dest + "Aurora.scr"), Payload);
  EXPECT_FALSE(FileExists(Dest + "swing.mskn"));
  EXPECT_TRUE(Shell.Asked.empty());
}

// Another account's hive, as HKEY_USERS holds it while that user is logged on.
class TOtherUser {
 public:
  TOtherUser() {
    PSID Sid = nullptr;
    if (ConvertStringSidToSidA(Text, &Sid)) {
      const auto* Bytes = static_cast<const BYTE*>(Sid);
      Value.Sid.assign(Bytes, Bytes + GetLengthSid(Sid));
      LocalFree(Sid);
    }
    RegDeleteTreeA(HKEY_USERS, Text);
  }
  ~TOtherUser() { RegDeleteTreeA(HKEY_USERS, Text); }
  TRegString Registered() const {
    return ReadRegString(HKEY_USERS, (std::string(Text) + "\\" + ScreensaverKey).c_str(), ScreensaverValue);
  }

  static constexpr const char* Text = "S-1-5-21-1-2-3-1001";
  TAccount Value{L"DESK", L"Other", {}};
};

TEST_F(Install, OnWinesOwnAccountTheSessionsUserRunsTheProgramAndHKCUIsTheirs) {
  const TAccount Session = SessionAccount(), Program = ProgramAccount();
  ASSERT_TRUE(*Session.User) << "the session names no user";
  EXPECT_EQ(Session.Sid, Program.Sid);
  EXPECT_EQ(lstrcmpiW(Session.User, Program.User), 0);
  EXPECT_EQ(lstrcmpiW(Session.Domain, Program.Domain), 0);
  EXPECT_EQ(SidText(Session.Sid).rfind("S-1-5-21-", 0), 0u) << SidText(Session.Sid);
  const auto Key = ScreensaverDesktopKey(Session);
  EXPECT_EQ(Key.Whose, TDesktopKey::dwProgramUser);
  EXPECT_EQ(Key.Root, HKEY_CURRENT_USER);
  EXPECT_EQ(Key.SubKey, "Control Panel\\Desktop");
  // The shell the other tests use asks the session too.
  EXPECT_EQ(Shell.SessionUser().Sid, Session.Sid);
}

TEST_F(Install, AnotherAccountRunningTheProgramSetsTheScreensaverOfThePersonAtTheScreen) {
  TOtherUser Other;
  ASSERT_FALSE(Other.Value.Sid.empty());
  const auto Key = ScreensaverDesktopKey(Other.Value);
  EXPECT_EQ(Key.Whose, TDesktopKey::dwSessionUser);
  EXPECT_EQ(Key.Root, HKEY_USERS);
  EXPECT_EQ(Key.SubKey, "S-1-5-21-1-2-3-1001\\Control Panel\\Desktop");

  Shell.User = Other.Value;
  SetRegistered("the administrator's");
  auto Payload = RandomBytes(1500, 50);
  ASSERT_EQ(RunInstall(MakePackage("Install-Aurora.exe", Payload), Dest), "");
  const auto Value = Other.Registered();
  EXPECT_EQ(Value.Type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(Value.Text, Dest + "Aurora.scr");
  EXPECT_EQ(Value.Size, static_cast<long>(Value.Text.size() + 1));
  EXPECT_EQ(Registered().Text, "the administrator's") << "the administrator's screensaver changed";
  EXPECT_EQ(ReadFileBytes(Dest + "Aurora.scr"), Payload);
  EXPECT_EQ(Shell.Asked.size(), 1u);
}

TEST_F(Install, AnotherAccountsKeyThatFailsIsReportedAndHKCUStaysAlone) {
  TOtherUser Other;
  ASSERT_FALSE(Other.Value.Sid.empty());
  // A volatile parent cannot hold the non-volatile key the install asks for.
  HKEY Volatile;
  ASSERT_EQ(RegCreateKeyExA(HKEY_USERS, (std::string(TOtherUser::Text) + "\\Control Panel").c_str(), 0, nullptr,
                            REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &Volatile, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(Volatile);
  Shell.User = Other.Value;
  SetRegistered("the administrator's");
  EXPECT_EQ(RunInstall(MakePackage("Install-Aurora.exe", RandomBytes(100, 51)), Dest),
            "Failed to set data for 'SCRNSAVE.EXE'");
  EXPECT_EQ(Registered().Text, "the administrator's") << "fell back to the administrator's HKEY_CURRENT_USER";
  EXPECT_EQ(Other.Registered().Size, -1);
  EXPECT_TRUE(Shell.Asked.empty());
}

TEST_F(Install, ASessionThatNamesNoUserSetsHKCU) {
  const auto Nobody = ScreensaverDesktopKey({});
  EXPECT_EQ(Nobody.Whose, TDesktopKey::dwUnknownUser);
  EXPECT_EQ(Nobody.Root, HKEY_CURRENT_USER);
  EXPECT_EQ(Nobody.SubKey, "Control Panel\\Desktop");
  // A user whose bytes are no SID has no hive to be found.
  EXPECT_EQ(ScreensaverDesktopKey({L"DESK", L"Someone", TSid{1, 9, 0}}).Whose, TDesktopKey::dwUnresolvedUser);

  Shell.User = TAccount{};
  ASSERT_EQ(RunInstall(MakePackage("Install-Aurora.exe", RandomBytes(10, 52)), Dest), "");
  EXPECT_EQ(Registered().Text, Dest + "Aurora.scr");
}

// What the session's user's names resolve to; nullptr for nothing.
const char* GSessionSid;
std::wstring GLookedUp;

BOOL WINAPI FakeLookupAccountName(LPCWSTR, LPCWSTR Account, PSID Sid, DWORD* SidSize, LPWSTR Domain, DWORD* DomainSize,
                                  SID_NAME_USE* Use) {
  GLookedUp = Account;
  PSID Found = nullptr;
  if (!GSessionSid || !ConvertStringSidToSidA(GSessionSid, &Found)) {
    SetLastError(ERROR_NONE_MAPPED);
    return FALSE;
  }
  const DWORD Needed = GetLengthSid(Found);
  const bool Fits = Sid && *SidSize >= Needed && Domain && *DomainSize >= 5;
  if (Fits) {
    CopySid(Needed, Sid, Found);
    wcscpy(Domain, L"DESK");
    *Use = SidTypeUser;
  }
  *SidSize = Needed;
  *DomainSize = 5;
  LocalFree(Found);
  SetLastError(Fits ? ERROR_SUCCESS : ERROR_INSUFFICIENT_BUFFER);
  return Fits;
}

TEST_F(Install, TheSessionsUserIsFoundByTheirOwnNameAndNeverTakenForTheAdministrator) {
  const TAccount Program = ProgramAccount();
  ASSERT_TRUE(*Program.User);
  std::wstring LowerDomain = Program.Domain;
  CharLowerW(LowerDomain.data());
  const auto OtherHive = std::string(TOtherUser::Text) + "\\" + ScreensaverKey;
  struct Case {
    const wchar_t *User, *Domain;
    const char* Sid;      // what the names resolve to
    const char* Message;  // "" for an install that gets through
    const char* Hive;     // where the value goes: nullptr for HKCU, "" for nowhere
  } const Cases[] = {
      {L"\u0141ukasz \u017b\u00f3\u0142\u0107", L"DESK", TOtherUser::Text, "", OtherHive.c_str()},
      {L"\u0141ukasz \u017b\u00f3\u0142\u0107", L"DESK", nullptr, "Failed to set data for 'SCRNSAVE.EXE'", ""},
      {Program.User, LowerDomain.c_str(), nullptr, "", nullptr},
      {L"Someone Else", Program.Domain, nullptr, "Failed to set data for 'SCRNSAVE.EXE'", ""},
      {L"", L"DESK", nullptr, "", nullptr},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(&C - Cases);
    TOtherUser Other;
    SetRegistered("the administrator's");
    GSessionSid = C.Sid;
    GLookedUp.clear();
    // Installed before, the file is registered by its short name.
    const auto Installed = ShortPathOrSame(Dest + "Aurora.scr");
    std::string Result;
    {
      TSessionUserHook Session(C.Domain, C.User);
      TImportHook Lookup("advapi32.dll", "LookupAccountNameW", reinterpret_cast<void*>(&FakeLookupAccountName));
      Result = RunInstall(MakePackage("Install-Aurora.exe", RandomBytes(300, 53)), Dest);
    }
    EXPECT_EQ(Result, C.Message);
    if (*C.User) {
      EXPECT_EQ(GLookedUp, std::wstring(C.Domain) + L"\\" + C.User) << "the name was not passed whole";
    }
    EXPECT_EQ(Registered().Text, C.Hive ? "the administrator's" : Installed);
    EXPECT_EQ(Other.Registered().Text, C.Hive && *C.Hive ? Installed : "");
  }
}

}  // namespace
