// mkinstaller.exe run as a console runs it: a device named as the output, and
// Ctrl+C while the package is being written.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <string>

#include "WinHandles.h"
#include "WinTestSupport.h"

using namespace WinTest;

namespace {

struct TRun {
  DWORD Code = 0;
  std::string Err;  // without carriage returns
};

// Name and size of every entry, hidden ones too.
using TListing = std::map<std::string, ULONGLONG>;

TListing Listing(const std::string& Dir) {
  TListing Entries;
  WIN32_FIND_DATAA Data;
  HANDLE Find = FindFirstFileA((Dir + "*").c_str(), &Data);
  if (Find == INVALID_HANDLE_VALUE)
    return Entries;
  do {
    const std::string Name = Data.cFileName;
    if (Name != "." && Name != "..")
      Entries[Name] = ULONGLONG{Data.nFileSizeHigh} << 32 | Data.nFileSizeLow;
  } while (FindNextFileA(Find, &Data));
  FindClose(Find);
  return Entries;
}

// Sparse where the file system allows it, so that it costs no disk.
void MakeLargeFile(const std::string& Path, LONGLONG Size) {
  TFileHandle File(CreateFileA(Path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(File) << GetLastError();
  LARGE_INTEGER End;
  End.QuadPart = Size;
  ASSERT_TRUE(SetFilePointerEx(File.Get(), End, nullptr, FILE_BEGIN));
  ASSERT_TRUE(SetEndOfFile(File.Get())) << GetLastError();
}

// A console of the test's own, which the tool shares, so that Ctrl+C reaches
// no other process: not Wine's, nor a terminal the tests were started from.
class TOwnConsole {
 public:
  TOwnConsole() {
    FreeConsole();
    FOk = AllocConsole();
  }
  ~TOwnConsole() {
    if (FOk)
      FreeConsole();
  }
  TOwnConsole(const TOwnConsole&) = delete;
  TOwnConsole& operator=(const TOwnConsole&) = delete;
  bool Ok() const { return FOk; }

 private:
  bool FOk = false;
};

std::atomic<int> CtrlCSeen{0};

BOOL WINAPI CountCtrlC(DWORD Event) {
  if (Event != CTRL_C_EVENT)
    return FALSE;
  ++CtrlCSeen;
  return TRUE;
}

// Ctrl+C for this console's process group, which the test survives. The
// handler stays until the event has reached the test too: it comes on a
// thread of its own, and without the handler it would end the test.
class TCtrlCSender {
 public:
  TCtrlCSender() {
    CtrlCSeen = 0;
    // Whether Ctrl+C is ignored is inherited: the tool must not inherit that.
    SetConsoleCtrlHandler(nullptr, FALSE);
    SetConsoleCtrlHandler(CountCtrlC, TRUE);
  }
  ~TCtrlCSender() {
    if (FSent)
      Arrived();
    SetConsoleCtrlHandler(CountCtrlC, FALSE);
  }
  TCtrlCSender(const TCtrlCSender&) = delete;
  TCtrlCSender& operator=(const TCtrlCSender&) = delete;

  bool Send() {
    FSent = GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
    return FSent;
  }
  bool Arrived() const {
    for (int I = 0; I < 1000 && CtrlCSeen == 0; ++I)
      Sleep(10);
    return CtrlCSeen > 0;
  }

 private:
  bool FSent = false;
};

class MkinstallerExe : public ::testing::Test {
 protected:
  void SetUp() override { WriteFileBytes(Payload, RandomBytes(3000, 7)); }

  std::string Command(const std::string& PayloadPath, const std::string& Output) const {
    return "\"" + Tool + "\" --host \"" + Host + "\" --payload \"" + PayloadPath + "\" --output \"" + Output + "\"";
  }

  // The tool started in the scratch folder, with Flags choosing its console;
  // its arguments reach it as wide text, as on Windows.
  TKernelObject Start(const std::string& CommandLine, DWORD Flags, HANDLE Err = nullptr) const {
    return Start(Wide(CommandLine), Flags, Err);
  }
  TKernelObject Start(std::wstring CommandLine, DWORD Flags, HANDLE Err = nullptr) const {
    STARTUPINFOW Startup{};
    Startup.cb = sizeof Startup;
    if (Err) {
      Startup.dwFlags = STARTF_USESTDHANDLES;
      Startup.hStdOutput = Err;
      Startup.hStdError = Err;
    }
    PROCESS_INFORMATION Process{};
    if (!CreateProcessW(nullptr, CommandLine.data(), nullptr, nullptr, Err != nullptr, Flags, nullptr,
                        Wide(Dir.Path()).c_str(), &Startup, &Process))
      return {};
    CloseHandle(Process.hThread);
    return TKernelObject(Process.hProcess);
  }
  static std::wstring Wide(const std::string& Ansi) {
    std::wstring Out(Ansi.size(), L'\0');
    Out.resize(static_cast<std::size_t>(MultiByteToWideChar(CP_ACP, 0, Ansi.data(), static_cast<int>(Ansi.size()),
                                                            Out.data(), static_cast<int>(Out.size()))));
    return Out;
  }
  // Runs the tool to its end and catches what it writes.
  TRun Run(const std::string& CommandLine, DWORD Flags) const { return Run(Wide(CommandLine), Flags); }
  TRun Run(const std::wstring& CommandLine, DWORD Flags) const {
    TRun Result;
    SECURITY_ATTRIBUTES Inherited{sizeof Inherited, nullptr, TRUE};
    HANDLE Read = nullptr, Write = nullptr;
    if (!CreatePipe(&Read, &Write, &Inherited, 0))
      return {~0u, "no pipe"};
    TKernelObject Reader(Read), Writer(Write);
    SetHandleInformation(Read, HANDLE_FLAG_INHERIT, 0);
    TKernelObject Process = Start(CommandLine, Flags, Write);
    Writer.Reset();
    if (!Process)
      return {~0u, "not started: " + std::to_string(GetLastError())};
    char Buffer[512];
    DWORD Got = 0;
    while (ReadFile(Read, Buffer, sizeof Buffer, &Got, nullptr) && Got > 0)
      Result.Err.append(Buffer, Got);
    WaitForSingleObject(Process.Get(), 60000);
    GetExitCodeProcess(Process.Get(), &Result.Code);
    std::erase(Result.Err, '\r');
    return Result;
  }

  TScratchDir Dir;
  const std::string Tool = WindowsPathFromUnix(MKINSTALLER_EXE, false);
  const std::string Host = WindowsPathFromUnix(INSTALLERWIN_EXE, false);
  const std::string Payload = Dir / "Aurora.scr";
};

// The rename would put the package in place of a device. Run without a
// console, as a build runs it, and with one of its own: without a console
// CON cannot be opened, yet its name is still a device's.
TEST_F(MkinstallerExe, ADeviceAsTheOutputIsRefusedInOneLineAndLeavesNothing) {
  const TListing Before = Listing(Dir.Path());
  const std::string Device = "' exists and is not a regular file (a device); only a regular file is replaced\n";
  for (DWORD Console : {DWORD{DETACHED_PROCESS}, DWORD{CREATE_NEW_CONSOLE}}) {
    for (const std::string& Output : {std::string("NUL"), std::string("CON"), Dir / "nul"}) {
      SCOPED_TRACE(Output + (Console == DETACHED_PROCESS ? " without a console" : " in a console"));
      const TRun R = Run(Command(Payload, Output), Console);
      EXPECT_EQ(R.Code, 1u) << R.Err;
      EXPECT_EQ(R.Err, "mkinstaller: output '" + Output + Device);
      EXPECT_EQ(Listing(Dir.Path()), Before);
    }
  }
}

// Ctrl+C while the package is written ends the tool, and its temporary file
// goes with it. Ctrl+Break would reach the tool alone in a process group of
// its own, but Wine 8 refuses to generate it (ERROR_INVALID_HANDLE); Ctrl+C
// reaches the whole group, the test included.
TEST_F(MkinstallerExe, CtrlCWhileThePackageIsWrittenLeavesNoTemporaryFile) {
  // Large enough to be seen being written.
  const std::string Big = Dir / "Big.scr";
  MakeLargeFile(Big, 256 << 20);
  const TListing Before = Listing(Dir.Path());
  TOwnConsole Console;
  ASSERT_TRUE(Console.Ok()) << GetLastError();
  TCtrlCSender CtrlC;
  TKernelObject Process = Start(Command(Big, Dir / "Install-Aurora.exe"), 0);
  ASSERT_TRUE(Process) << GetLastError();
  // Its first bytes show that the tool's handler is in place.
  std::string Temp;
  for (int I = 0; I < 20000 && Temp.empty(); ++I) {
    for (const auto& [Name, Size] : Listing(Dir.Path()))
      if (Name.rfind(".Install-Aurora.exe.", 0) == 0 && Size > 0)
        Temp = Name;
    if (Temp.empty())
      Sleep(1);
  }
  ASSERT_FALSE(Temp.empty()) << "no temporary file seen being written";
  const DWORD Attributes = GetFileAttributesA((Dir / Temp).c_str());
  EXPECT_TRUE(Attributes != INVALID_FILE_ATTRIBUTES && (Attributes & FILE_ATTRIBUTE_HIDDEN)) << Temp;
  ASSERT_TRUE(CtrlC.Send()) << GetLastError();
  ASSERT_EQ(WaitForSingleObject(Process.Get(), 30000), WAIT_OBJECT_0) << "the tool did not end";
  DWORD Code = 1;
  GetExitCodeProcess(Process.Get(), &Code);
  // As Windows' default handling ends it; Wine's would report success.
  EXPECT_EQ(Code, static_cast<DWORD>(STATUS_CONTROL_C_EXIT)) << std::hex << Code;
  EXPECT_TRUE(CtrlC.Arrived()) << "the test's own Ctrl+C never came";
  EXPECT_EQ(Listing(Dir.Path()), Before) << "while " << Temp << " was written";
}

// Arguments arrive as UTF-16: one that is not valid UTF-16, or holds the mark
// of characters that could not be read, names nothing the user meant; the
// rest of the checks are the native build's.
TEST_F(MkinstallerExe, ButtonLabelsAsWideText) {
  struct TCase {
    const wchar_t* Label;
    DWORD Code;
    const char* Err;
  };
  const TCase Cases[] = {
      {L"\xD800", 2, "mkinstaller: a command-line argument is not valid Unicode"},
      {L"Install\xDFFF", 2, "mkinstaller: a command-line argument is not valid Unicode"},
      {L"\xFFFD\xFFFD", 2, "mkinstaller: a command-line argument holds U+FFFD"},
      {L"In\nstall", 1, "mkinstaller: button label holds a control character"},
      {L"In\x7Fstall", 1, "mkinstaller: button label holds a control character"},
      {L"\x202EInstall", 1, "mkinstaller: button label holds a bidirectional control"},
      {L"   ", 1, "mkinstaller: button label is empty or only white space"},
      {L"\x0141\x00F3\x0064\x017A \x0417", 1,
       "mkinstaller: button label cannot be spelt in any one Windows ANSI code page"},
      {L"\x0141\x00F3\x0064\x017A", 0, ""},
      {L"\xD83D\xDE00", 1, "mkinstaller: button label cannot be spelt in any one Windows ANSI code page"},
  };
  const std::wstring Base = Wide(Command(Payload, Dir / "Install-Aurora.exe")) + L" --button-label \"";
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(Case.Label)));
    const TRun R = Run(Base + Case.Label + L"\"", CREATE_NO_WINDOW);
    EXPECT_EQ(R.Code, Case.Code) << R.Err;
    EXPECT_EQ(R.Err.substr(0, R.Err.find('\n')).find(Case.Err), 0u) << R.Err;
  }
}

}  // namespace
