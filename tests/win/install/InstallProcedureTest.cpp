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

// How ReplaceFileA can fail on Windows between its steps, which Wine never
// shows: with the old file still under its name, or already moved aside.
DWORD GReplaceError;
BOOL WINAPI FailingReplace(LPCSTR Replaced, LPCSTR, LPCSTR, DWORD, LPVOID, LPVOID) {
  if (GReplaceError == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2)
    MoveFileA(Replaced, (std::string(Replaced) + ".aside").c_str());
  SetLastError(GReplaceError);
  return FALSE;
}

TEST_F(Install, AReplaceThatFailsHalfWayLeavesAScreensaverUnderItsName) {
  const Bytes Old = RandomBytes(2000, 44);
  const auto Payload = RandomBytes(3000, 45);
  for (DWORD Error : std::initializer_list<DWORD>{ERROR_UNABLE_TO_MOVE_REPLACEMENT, ERROR_UNABLE_TO_REMOVE_REPLACED,
                                                  ERROR_UNABLE_TO_MOVE_REPLACEMENT_2}) {
    SCOPED_TRACE(Error);
    WriteFileBytes(Dest + "Aurora.scr", Old);
    const auto Short = ShortPathOrSame(Dest + "Aurora.scr");
    SetRegistered("previous");
    GReplaceError = Error;
    std::string Result;
    {
      TImportHook Hook("kernel32.dll", "ReplaceFileA", reinterpret_cast<void*>(&FailingReplace));
      Result = RunInstall(MakePackage("Install-Aurora.exe", Payload), Dest);
    }
    EXPECT_FALSE(FileExists(Dest + "Aurora.scr.tmp")) << "the new copy was left behind";
    if (Error != ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
      EXPECT_EQ(Result, "Cannot create file " + Short);
      EXPECT_EQ(ReadFileBytes(Dest + "Aurora.scr"), Old);
      EXPECT_EQ(Registered().Text, "previous");
      continue;
    }
    // The old file has left the name the registry is to hold: the new one takes it.
    EXPECT_EQ(Result, "");
    EXPECT_EQ(ReadFileBytes(Dest + "Aurora.scr"), Payload);
    EXPECT_EQ(ReadFileBytes(Dest + "Aurora.scr.aside"), Old);
    EXPECT_EQ(Registered().Text, Short);
    EXPECT_EQ(Shell.Asked.size(), 1u);
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
      Value.assign(Bytes, Bytes + GetLengthSid(Sid));
      LocalFree(Sid);
    }
    RegDeleteTreeA(HKEY_USERS, Text);
  }
  ~TOtherUser() { RegDeleteTreeA(HKEY_USERS, Text); }
  TRegString Registered() const {
    return ReadRegString(HKEY_USERS, (std::string(Text) + "\\" + ScreensaverKey).c_str(), ScreensaverValue);
  }

  static constexpr const char* Text = "S-1-5-21-1-2-3-1001";
  TSid Value;
};

TEST_F(Install, OnWinesOwnAccountTheSessionsUserRunsTheProgramAndHKCUIsTheirs) {
  const TSid Session = SessionUserSid();
  ASSERT_FALSE(Session.empty()) << "the session names no user";
  EXPECT_EQ(Session, ProgramUserSid());
  EXPECT_EQ(SidText(Session).rfind("S-1-5-21-", 0), 0u) << SidText(Session);
  const auto Key = ScreensaverDesktopKey(Session);
  EXPECT_EQ(Key.Whose, TDesktopKey::dwProgramUser);
  EXPECT_EQ(Key.Root, HKEY_CURRENT_USER);
  EXPECT_EQ(Key.SubKey, "Control Panel\\Desktop");
  // The shell the other tests use asks the session too.
  EXPECT_EQ(Shell.SessionUser(), Session);
}

TEST_F(Install, AnotherAccountRunningTheProgramSetsTheScreensaverOfThePersonAtTheScreen) {
  TOtherUser Other;
  ASSERT_FALSE(Other.Value.empty());
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
  ASSERT_FALSE(Other.Value.empty());
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
  // Bytes that are no SID count as no user.
  EXPECT_EQ(ScreensaverDesktopKey(TSid{1, 9, 0}).Whose, TDesktopKey::dwUnknownUser);

  Shell.User = TSid{};
  ASSERT_EQ(RunInstall(MakePackage("Install-Aurora.exe", RandomBytes(10, 52)), Dest), "");
  EXPECT_EQ(Registered().Text, Dest + "Aurora.scr");
}

}  // namespace
