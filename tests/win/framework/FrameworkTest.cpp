#include <gtest/gtest.h>

#include <windows.h>

#include <utility>

#include "../../host/support/CodePage932.h"
#include "Consts.h"
#include "DeviceContexts.h"
#include "FileStream.h"
#include "Forms.h"
#include "MainWin.h"
#include "Registry.h"
#include "Resources.h"
#include "ScaleFactor.h"
#include "ScreenDensity.h"
#include "SysUtils.h"
#include "SystemFiles.h"
#include "WinTestSupport.h"

using namespace WinTest;

namespace {

TEST(FileStream, OpenForReadingSharesWithNobody) {
  TScratchDir Dir;
  WriteFileBytes(Dir / "a.bin", {1, 2, 3});
  TFileStream Stream(Dir / "a.bin", TFileMode::fmOpenReadExclusive);
  HANDLE Other = CreateFileA((Dir / "a.bin").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(Other, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  // Not writable through this stream either.
  std::uint8_t B = 9;
  EXPECT_EQ(Stream.Write(&B, 1), 0);
  EXPECT_THROW(Stream.WriteBuffer(&B, 1), EWriteError);
}

TEST(FileStream, CreateEmptiesAnExistingFileAndLocksIt) {
  TScratchDir Dir;
  WriteFileBytes(Dir / "a.bin", {1, 2, 3, 4});
  {
    TFileStream Stream(Dir / "a.bin", TFileMode::fmCreate);
    EXPECT_EQ(Stream.Size(), 0);
    try {
      TFileStream Again(Dir / "a.bin", TFileMode::fmCreate);
      FAIL() << "a second creator got in";
    } catch (const EFCreateError& E) {
      EXPECT_EQ(E.Message(), "Cannot create file " + (Dir / "a.bin"));
    }
    Stream.WriteBuffer("xy", 2);
  }
  EXPECT_EQ(ReadFileBytes(Dir / "a.bin"), (Bytes{'x', 'y'}));
}

TEST(FileStream, MissingFileAndMissingFolderRaiseTheirMessages) {
  TScratchDir Dir;
  try {
    TFileStream Stream(Dir / "missing.exe", TFileMode::fmOpenReadExclusive);
    FAIL();
  } catch (const EFOpenError& E) {
    EXPECT_EQ(E.Message(), "Cannot open file " + (Dir / "missing.exe"));
  }
  try {
    TFileStream Stream(Dir / "no\\such\\dir.scr", TFileMode::fmCreate);
    FAIL();
  } catch (const EFCreateError& E) {
    EXPECT_EQ(E.Message(), "Cannot create file " + (Dir / "no\\such\\dir.scr"));
  }
}

TEST(FileStream, SeekBeforeTheStartIsRefusedAndThePositionStays) {
  TScratchDir Dir;
  WriteFileBytes(Dir / "a.bin", {10, 20, 30, 40, 50, 60});
  TFileStream Stream(Dir / "a.bin", TFileMode::fmOpenReadExclusive);
  EXPECT_EQ(Stream.Size(), 6);
  EXPECT_EQ(Stream.Seek(-2, TSeekOrigin::soEnd), 4);
  EXPECT_EQ(Stream.Seek(-100, TSeekOrigin::soEnd), -1);
  EXPECT_EQ(Stream.Position(), 4);
  std::uint8_t Buf[4];
  EXPECT_EQ(Stream.Read(Buf, 4), 2);
  EXPECT_EQ(Buf[0], 50);
  // Beyond the end is allowed; reads there give nothing.
  EXPECT_EQ(Stream.Seek(5000000000LL, TSeekOrigin::soBeginning), 5000000000LL);
  EXPECT_EQ(Stream.Read(Buf, 4), 0);
}

constexpr const char* TestKey = "Software\\InstallerWin Tests";

TEST(Registry, WriteStringStoresTheTextAndItsNul) {
  RegDeleteTreeA(HKEY_CURRENT_USER, TestKey);
  {
    TRegKey Key;
    ASSERT_TRUE(Key.OpenOrCreate(HKEY_CURRENT_USER, TestKey));
    Key.WriteString("Path", "C:\\WINDOWS\\SYSTEM32\\AURORA.SCR");
  }
  auto Value = ReadRegString(HKEY_CURRENT_USER, TestKey, "Path");
  EXPECT_EQ(Value.Type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(Value.Text, "C:\\WINDOWS\\SYSTEM32\\AURORA.SCR");
  EXPECT_EQ(Value.Size, static_cast<long>(Value.Text.size() + 1));
  RegDeleteTreeA(HKEY_CURRENT_USER, TestKey);
}

TEST(Registry, AFailedWriteNamesTheValue) {
  RegDeleteTreeA(HKEY_CURRENT_USER, TestKey);
  TRegKey Create;
  ASSERT_TRUE(Create.OpenOrCreate(HKEY_CURRENT_USER, TestKey));
  Create.Close();
  TRegKey Key;
  ASSERT_TRUE(Key.OpenReadOnly(HKEY_CURRENT_USER, TestKey));
  try {
    Key.WriteString("SCRNSAVE.EXE", "x");
    FAIL() << "a read-only key took a value";
  } catch (const ERegistryException& E) {
    EXPECT_EQ(E.Message(), "Failed to set data for 'SCRNSAVE.EXE'");
  }
  EXPECT_EQ(ReadRegString(HKEY_CURRENT_USER, TestKey, "SCRNSAVE.EXE").Size, -1);
  RegDeleteTreeA(HKEY_CURRENT_USER, TestKey);
}

TEST(Resources, FoundByTypeAndNameInAnyCase) {
  auto Expected = ReadFileBytes(WindowsPathFromUnix(TEST_SKIN_FILE, false));
  for (auto [Type, Name] : {std::pair{"exefile", "skinRes"}, std::pair{"EXEFILE", "SKINRES"}}) {
    auto Resource = TResourceBytes::Find(nullptr, Type, Name);
    ASSERT_TRUE(Resource.has_value()) << Type << "/" << Name;
    auto Data = static_cast<const std::uint8_t*>(Resource->Data());
    EXPECT_EQ(Bytes(Data, Data + Resource->Size()), Expected);
  }
  EXPECT_FALSE(TResourceBytes::Find(nullptr, "exefile", "noSuchRes").has_value());
}

TEST(Application, ErrorBoxShowsTheMessageWithItsDotUnderTheTitle) {
  const auto Title = Application->Title();
  struct Case {
    std::exception_ptr Error;
    const char* Shown;
  } const Cases[] = {
      {std::make_exception_ptr(EReadError(Consts::SReadError)), "Stream read error."},
      {std::make_exception_ptr(ERegistryException(Format(Consts::SRegSetDataFailed, "SCRNSAVE.EXE"))),
       "Failed to set data for 'SCRNSAVE.EXE'"},
      {std::make_exception_ptr(EFOpenError(Format(Consts::SFOpenError, "C:\\x\\"))), "Cannot open file C:\\x\\."},
  };
  for (const auto& C : Cases) {
    TMessageBoxWatcher Watcher(Title, IDOK);
    try {
      std::rethrow_exception(C.Error);
    } catch (...) {
      Application->HandleException();
    }
    ASSERT_TRUE(Watcher.Wait()) << "no error box captioned " << Title;
    EXPECT_EQ(Watcher.Seen().Text, C.Shown);
    EXPECT_EQ(Watcher.Seen().Buttons, 1);
    EXPECT_TRUE(Watcher.Seen().HasIcon);
  }
}

std::wstring Wide(const std::string& S) { return std::wstring(S.begin(), S.end()); }

// The directory this test program runs from, ending in "\".
std::string OwnDir() {
  auto Path = ModuleFileName();
  return Path.substr(0, Path.rfind('\\') + 1);
}

TEST(OwnPath, TheDefaultTitleComesFromTheProgramsOwnName) {
  TScratchDir Dir;
  const auto Copy = Dir / "Install-Aurora.Saver.exe";
  ASSERT_TRUE(CopyFileA((OwnDir() + "own_path_probe.exe").c_str(), Copy.c_str(), FALSE));
  std::string Command = "\"" + Copy + "\" \"" + Copy + "\" Install-aurora";
  STARTUPINFOA Startup{};
  Startup.cb = sizeof Startup;
  PROCESS_INFORMATION Process{};
  ASSERT_TRUE(
      CreateProcessA(Copy.c_str(), Command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &Startup, &Process))
      << GetLastError();
  WaitForSingleObject(Process.hProcess, 60000);
  DWORD Code = 1;
  GetExitCodeProcess(Process.hProcess, &Code);
  CloseHandle(Process.hThread);
  CloseHandle(Process.hProcess);
  EXPECT_EQ(Code, 0u);
}

TEST(OwnPath, AModulePathLongerThanMaxPathIsReadInFull) {
  TScratchDir Dir;
  // Past MAX_PATH only the wide \\?\ forms can lay out the test's folders.
  std::string Deep = Dir.Path();
  while (Deep.size() < 300) {
    Deep += "a-rather-long-folder-name-for-the-test\\";
    ASSERT_TRUE(CreateDirectoryW(Wide("\\\\?\\" + Deep).c_str(), nullptr)) << Deep;
  }
  const auto Copy = Deep + "probe.dll";
  ASSERT_GT(Copy.size(), 261u);
  ASSERT_TRUE(CopyFileW(Wide(OwnDir() + "long_path_probe.dll").c_str(), Wide("\\\\?\\" + Copy).c_str(), FALSE));
  HMODULE Probe = LoadLibraryW(Wide("\\\\?\\" + Copy).c_str());
  ASSERT_NE(Probe, nullptr) << GetLastError();
  auto Name = ModuleFileName(Probe);
  FreeLibrary(Probe);
  // The system may report it with or without the \\?\ prefix, but never cut short.
  if (Name.rfind("\\\\?\\", 0) == 0)
    Name.erase(0, 4);
  EXPECT_EQ(Name, Copy);
  DeleteFileW(Wide("\\\\?\\" + Copy).c_str());
  for (auto Path = Deep; Path.size() > Dir.Path().size();) {
    RemoveDirectoryW(Wide("\\\\?\\" + Path).c_str());
    Path.resize(Path.rfind('\\', Path.size() - 2) + 1);
  }
}

TEST(Destination, SystemDirectoryEndsInExactlyOneBackslash) {
  auto Dir = SystemDirectory();
  EXPECT_EQ(Dir, "C:\\windows\\system32");
  EXPECT_EQ(WithTrailingBackslash(Dir), "C:\\windows\\system32\\");
  EXPECT_EQ(WithTrailingBackslash("C:\\"), "C:\\");
  EXPECT_EQ(WithTrailingBackslash(""), "\\");
  // In code page 932 "\x95\x5C" is one character whose second byte is "\":
  // the path does not end in a backslash and gets one.
  EXPECT_EQ(WithTrailingBackslash("D:\\\x95\x5C", IsCp932LeadByte), "D:\\\x95\x5C\\");
  EXPECT_EQ(WithTrailingBackslash("D:\\\x95\x5C\\", IsCp932LeadByte), "D:\\\x95\x5C\\");
  EXPECT_EQ(WithTrailingBackslash("D:\\\x95\x5C\x95\x5C", IsCp932LeadByte), "D:\\\x95\x5C\x95\x5C\\");
  // A 0x5C after a whole double-byte character is "\" itself.
  EXPECT_EQ(WithTrailingBackslash("D:\\\x95\x41\x5C", IsCp932LeadByte), "D:\\\x95\x41\x5C");
  // With no double-byte characters, the same bytes end in "\".
  EXPECT_EQ(WithTrailingBackslash("D:\\\x95\x5C", [](unsigned char) { return false; }), "D:\\\x95\x5C");
}

TEST(ScaleFactor, EachStandardDensityHasItsEighths) {
  const std::pair<int, int> DpiToM[] = {{96, 8}, {120, 10}, {144, 12}, {168, 14}, {192, 16}};
  for (auto [Dpi, M] : DpiToM)
    EXPECT_EQ(TScaleFactor::ForDensity(Dpi, 96).M(), M) << Dpi;
  // round(8 * Dpi / 96): 8.5 is the first density to round up to 9.
  EXPECT_EQ(TScaleFactor::ForDensity(101, 96).M(), 8);
  EXPECT_EQ(TScaleFactor::ForDensity(102, 96).M(), 9);
  // The form's own design density counts, not 96.
  EXPECT_EQ(TScaleFactor::ForDensity(120, 120).M(), 8);
  EXPECT_EQ(TScaleFactor::ForDensity(192, 120).M(), 13);  // 12.8
  EXPECT_FALSE(TScaleFactor::ForDensity(96, 96).Scales());
  EXPECT_TRUE(TScaleFactor::ForDensity(102, 96).Scales());
}

TEST(ScaleFactor, NeverBelowTheDesignNorAboveWhatThePicturesAllow) {
  EXPECT_EQ(TScaleFactor::ForDensity(72, 96).M(), 8);
  EXPECT_EQ(TScaleFactor::ForDensity(0, 96).M(), 8);
  EXPECT_EQ(TScaleFactor::ForDensity(144, 0).M(), 8);  // no design density stored
  // libjpeg scales a picture to 16/8 at most: 200 % is the last step, 250 % stays there.
  EXPECT_EQ(TScaleFactor::ForDensity(197, 96).M(), 16);
  EXPECT_EQ(TScaleFactor::ForDensity(198, 96).M(), 16);
  EXPECT_EQ(TScaleFactor::ForDensity(240, 96).M(), 16);
  // Double-size pictures reach twice as far.
  const int Double = TScaleFactor::MaxWithDoubleArt;
  EXPECT_EQ(TScaleFactor::ForDensity(198, 96, Double).M(), 17);
  EXPECT_EQ(TScaleFactor::ForDensity(240, 96, Double).M(), 20);
  EXPECT_EQ(TScaleFactor::ForDensity(384, 96, Double).M(), 32);
  EXPECT_EQ(TScaleFactor::ForDensity(480, 96, Double).M(), 32);
  EXPECT_THROW(TScaleFactor(7), ERangeError);
  EXPECT_THROW(TScaleFactor(33), ERangeError);
  EXPECT_EQ(TScaleFactor(32).M(), 32);
}

// The system's MulDiv is the rule: halves round away from zero.
TEST(ScaleFactor, LengthsScaleAsMulDivScalesThem) {
  EXPECT_EQ(TScaleFactor(12).Apply(443), 665);                          // 664.5
  EXPECT_EQ(TScaleFactor(10).Apply(TScaleSize{351, 210}).Width, 439);   // 438.75
  EXPECT_EQ(TScaleFactor(10).Apply(TScaleSize{351, 210}).Height, 263);  // 262.5
  EXPECT_EQ(TScaleFactor(12).Apply(TScaleSize{443, 304}).Height, 456);
  EXPECT_EQ(TScaleFactor(16).Apply(443), 886);
  EXPECT_EQ(TScaleFactor(10).Apply(-8), -10);
  EXPECT_EQ(TScaleFactor(12).Apply(-11), -17);  // -16.5
  for (int M = TScaleFactor::Unit; M <= TScaleFactor::MaxWithDoubleArt; ++M)
    for (int Length = -700; Length <= 700; ++Length)
      ASSERT_EQ(TScaleFactor(M).Apply(Length), MulDiv(Length, M, 8)) << Length << " at " << M;
}

TEST(ScaleFactor, AWindowTooLargeForTheWorkAreaTakesTheLargestSmallerFactorThatFits) {
  const TScaleSize Client{443, 304};
  const TScaleSize Frame = WindowFrameSize(WS_CAPTION | WS_SYSMENU | WS_BORDER, 0, 192);
  const TScaleFactor Double(16);
  // 886 x 608 with its frame: just fits, and one pixel less in either way does not.
  const TScaleSize Exact{886 + Frame.Width, 608 + Frame.Height};
  EXPECT_EQ(Double.Fitting(Client, Frame, Exact).M(), 16);
  // At 15/8 the window is 831 x 570.
  EXPECT_EQ(Double.Fitting(Client, Frame, {Exact.Width - 1, Exact.Height}).M(), 15);
  EXPECT_EQ(Double.Fitting(Client, Frame, {Exact.Width, Exact.Height - 1}).M(), 15);
  EXPECT_EQ(Double.Fitting(Client, Frame, {831 + Frame.Width, 570 + Frame.Height}).M(), 15);
  EXPECT_EQ(Double.Fitting(Client, Frame, {831 + Frame.Width, 570 + Frame.Height - 1}).M(), 14);
  // A 1280 x 720 screen at 200 %, its taskbar 80 pixels high: the title bar
  // alone (40) does not fit above 608 rows in 640.
  EXPECT_EQ(Double.Fitting(Client, Frame, {1280, 640}).M(), 15);
  // Never below the design size, even where that does not fit either.
  EXPECT_EQ(Double.Fitting(Client, Frame, {300, 200}).M(), 8);
  EXPECT_EQ(TScaleFactor().Fitting(Client, Frame, {300, 200}).M(), 8);
  EXPECT_EQ(TScaleFactor(12).Fitting(Client, Frame, {4000, 4000}).M(), 12);
}

TEST(ScreenDensity, TheFrameFollowsTheDensityAndTheSystemsOwnAtItsDensity) {
  const DWORD Style = WS_CAPTION | WS_SYSMENU | WS_BORDER;
  RECT Classic{0, 0, 0, 0};
  ASSERT_TRUE(AdjustWindowRectEx(&Classic, Style, FALSE, 0));
  const TScaleSize AtSystem = WindowFrameSize(Style, 0, 96);
  EXPECT_EQ(AtSystem.Width, Classic.right - Classic.left);
  EXPECT_EQ(AtSystem.Height, Classic.bottom - Classic.top);
  // The title bar alone grows from 22 to 40 pixels at 192 DPI.
  const TScaleSize AtDouble = WindowFrameSize(Style, 0, 192);
  EXPECT_GE(AtDouble.Height - AtSystem.Height, 18);
  EXPECT_GE(AtDouble.Width, AtSystem.Width);
}

UINT WINAPI DpiOf144() { return 144; }
UINT WINAPI DpiUnknown() { return 0; }
UINT GDpi;
UINT WINAPI DpiOfG() { return GDpi; }

TEST(ScreenDensity, TheSystemsDensityAndItsLogPixelsFallback) {
  const TClientDC Screen(nullptr);
  const int LogPixels = GetDeviceCaps(Screen.Handle(), LOGPIXELSY);
  EXPECT_EQ(LogPixels, 96);  // this test world's
  EXPECT_EQ(SystemDpi(), 96);
  // Without GetDpiForSystem (Windows 7 to 8.1), the screen's LOGPIXELSY.
  EXPECT_EQ(SystemDpi(nullptr), LogPixels);
  // The system's answer comes first where there is one.
  EXPECT_EQ(SystemDpi(DpiOf144), 144);
  EXPECT_EQ(SystemDpi(DpiUnknown), LogPixels);
  // No screen is denser than 500 % or sparser than 100 %.
  for (auto [Given, Taken] : {std::pair{95u, 96}, {96u, 96}, {480u, 480}, {481u, 480}, {65535u, 480}, {~0u, 480}}) {
    GDpi = Given;
    EXPECT_EQ(SystemDpi(DpiOfG), Taken) << Given;
  }
}

TEST(ScreenDensity, IconSizesForTheDensity) {
  EXPECT_EQ(SystemMetricForDpi(SM_CXICON, 96), GetSystemMetrics(SM_CXICON));
  EXPECT_EQ(SystemMetricForDpi(SM_CXSMICON, 96), GetSystemMetrics(SM_CXSMICON));
  EXPECT_EQ(SystemMetricForDpi(SM_CXICON, 192), 2 * GetSystemMetrics(SM_CXICON));
  EXPECT_EQ(SystemMetricForDpi(SM_CXSMICON, 192), 2 * GetSystemMetrics(SM_CXSMICON));
}

TEST(ScreenDensity, ThePrimaryWorkAreaLiesOnTheScreen) {
  const RECT Area = PrimaryWorkArea();
  EXPECT_EQ(Area.left, 0);
  EXPECT_EQ(Area.top, 0);
  EXPECT_GT(Area.right, 0);
  EXPECT_LE(Area.right, GetSystemMetrics(SM_CXSCREEN));
  EXPECT_LE(Area.bottom, GetSystemMetrics(SM_CYSCREEN));
}

}  // namespace
