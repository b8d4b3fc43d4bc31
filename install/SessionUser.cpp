#include "SessionUser.h"

#include <sddl.h>
#include <wtsapi32.h>

#include <memory>

#include "InstallProcedure.h"
#include "SystemFiles.h"
#include "WinHandles.h"

namespace {

// The session's answers, freed by the library that gave them.
class TSessionInfo {
 public:
  TSessionInfo() {
    // wtsapi32 is not a KnownDLL: by its full path, never by a search.
    FLibrary.Reset(LoadSystemLibrary("wtsapi32.dll"));
    if (!FLibrary)
      return;
    FQuery = reinterpret_cast<decltype(&WTSQuerySessionInformationA)>(
        reinterpret_cast<void*>(GetProcAddress(FLibrary.Get(), "WTSQuerySessionInformationA")));
    FFree = reinterpret_cast<decltype(&WTSFreeMemory)>(
        reinterpret_cast<void*>(GetProcAddress(FLibrary.Get(), "WTSFreeMemory")));
  }

  // The text of Info for session Session; empty when there is none.
  std::string Query(DWORD Session, WTS_INFO_CLASS Info) const {
    if (!FQuery || !FFree)
      return {};
    char* Buffer = nullptr;
    DWORD Bytes = 0;
    if (!FQuery(WTS_CURRENT_SERVER_HANDLE, Session, Info, &Buffer, &Bytes) || !Buffer)
      return {};
    const std::unique_ptr<char, decltype(FFree)> Owned(Buffer, FFree);
    return std::string(Buffer, strnlen(Buffer, Bytes));
  }

 private:
  // The library goes last, after the calls into it.
  TModuleHandle FLibrary;
  decltype(&WTSQuerySessionInformationA) FQuery = nullptr;
  decltype(&WTSFreeMemory) FFree = nullptr;
};

TSid CopySid(PSID Sid) {
  if (!Sid || !IsValidSid(Sid))
    return {};
  const auto* Bytes = static_cast<const BYTE*>(Sid);
  return TSid(Bytes, Bytes + GetLengthSid(Sid));
}

}  // namespace

TSid SessionUserSid() {
  DWORD Session = 0;
  if (!ProcessIdToSessionId(GetCurrentProcessId(), &Session))
    return {};
  const TSessionInfo Info;
  const std::string User = Info.Query(Session, WTSUserName);
  if (User.empty())
    return {};
  const std::string Domain = Info.Query(Session, WTSDomainName);
  const std::string Account = Domain.empty() ? User : Domain + "\\" + User;

  DWORD SidSize = 0, DomainSize = 0;
  SID_NAME_USE Use;
  LookupAccountNameA(nullptr, Account.c_str(), nullptr, &SidSize, nullptr, &DomainSize, &Use);
  if (SidSize == 0)
    return {};
  TSid Sid(SidSize);
  std::string FoundDomain(DomainSize + 1, '\0');
  DomainSize = static_cast<DWORD>(FoundDomain.size());
  if (!LookupAccountNameA(nullptr, Account.c_str(), Sid.data(), &SidSize, FoundDomain.data(), &DomainSize, &Use) ||
      Use != SidTypeUser)
    return {};
  return CopySid(Sid.data());
}

TSid ProgramUserSid() {
  HANDLE Handle = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &Handle))
    return {};
  const TKernelObject Token(Handle);
  DWORD Size = 0;
  GetTokenInformation(Token.Get(), TokenUser, nullptr, 0, &Size);
  if (Size < sizeof(TOKEN_USER))
    return {};
  // TOKEN_USER holds a pointer: the buffer must be aligned for one.
  std::vector<void*> Buffer((Size + sizeof(void*) - 1) / sizeof(void*));
  if (!GetTokenInformation(Token.Get(), TokenUser, Buffer.data(), Size, &Size))
    return {};
  return CopySid(reinterpret_cast<TOKEN_USER*>(Buffer.data())->User.Sid);
}

std::string SidText(const TSid& Sid) {
  // IsValidSid trusts the count of parts in the header (the SID less its one
  // part): the bytes must hold them all.
  PSID Whole = const_cast<BYTE*>(Sid.data());
  char* Text = nullptr;
  if (Sid.size() < sizeof(SID) - sizeof(DWORD) || !IsValidSid(Whole) || GetLengthSid(Whole) != Sid.size() ||
      !ConvertSidToStringSidA(Whole, &Text))
    return {};
  const TLocalMemory Owned(Text);
  return Text;
}

TDesktopKey ScreensaverDesktopKey(const TSid& SessionUser) {
  const TSid Program = ProgramUserSid();
  const std::string SessionText = SidText(SessionUser);
  if (SessionText.empty() || Program.empty())
    return {TDesktopKey::dwUnknownUser, HKEY_CURRENT_USER, ScreensaverKey};
  if (SessionUser == Program)
    return {TDesktopKey::dwProgramUser, HKEY_CURRENT_USER, ScreensaverKey};
  // Loaded while that user is logged on, which the person at the screen is.
  return {TDesktopKey::dwSessionUser, HKEY_USERS, SessionText + "\\" + ScreensaverKey};
}
