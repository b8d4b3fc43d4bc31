#include "Accounts.h"

#include <sddl.h>
#include <wtsapi32.h>

#include <memory>

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
    FQuery = reinterpret_cast<decltype(&WTSQuerySessionInformationW)>(
        reinterpret_cast<void*>(GetProcAddress(FLibrary.Get(), "WTSQuerySessionInformationW")));
    FFree = reinterpret_cast<decltype(&WTSFreeMemory)>(
        reinterpret_cast<void*>(GetProcAddress(FLibrary.Get(), "WTSFreeMemory")));
  }

  // Copies the text of Info for session Session into Text, of Size
  // characters; leaves it empty when there is none.
  void Query(DWORD Session, WTS_INFO_CLASS Info, wchar_t* Text, int Size) const {
    wchar_t* Buffer = nullptr;
    DWORD Bytes = 0;
    if (!FQuery || !FFree || !FQuery(WTS_CURRENT_SERVER_HANDLE, Session, Info, &Buffer, &Bytes) || !Buffer)
      return;
    const std::unique_ptr<wchar_t, decltype(FFree)> Owned(Buffer, FFree);
    lstrcpynW(Text, Buffer, Size);
  }

 private:
  // The library goes last, after the calls into it.
  TModuleHandle FLibrary;
  decltype(&WTSQuerySessionInformationW) FQuery = nullptr;
  decltype(&WTSFreeMemory) FFree = nullptr;
};

TSid CopySid(PSID Sid) {
  if (!Sid || !IsValidSid(Sid))
    return {};
  const auto* Bytes = static_cast<const BYTE*>(Sid);
  return TSid(Bytes, Bytes + GetLengthSid(Sid));
}

TSid UserSidOf(const wchar_t* Account) {
  BYTE Sid[SECURITY_MAX_SID_SIZE];
  wchar_t Domain[256];
  DWORD SidSize = sizeof Sid, DomainSize = 256;
  SID_NAME_USE Use;
  if (!LookupAccountNameW(nullptr, Account, Sid, &SidSize, Domain, &DomainSize, &Use) || Use != SidTypeUser)
    return {};
  return CopySid(Sid);
}

bool SameText(const wchar_t* A, const wchar_t* B) {
  return CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, A, -1, B, -1) == CSTR_EQUAL;
}

}  // namespace

TAccount SessionAccount() {
  TAccount Account;
  DWORD Session = 0;
  if (!ProcessIdToSessionId(GetCurrentProcessId(), &Session))
    return Account;
  const TSessionInfo Info;
  Info.Query(Session, WTSDomainName, Account.Domain, 256);
  Info.Query(Session, WTSUserName, Account.User, 257);
  if (*Account.User) {
    // DOMAIN\user, or the user alone where the session names no domain.
    wchar_t Name[256 + 1 + 257];
    wsprintfW(Name, *Account.Domain ? L"%s\\%s" : L"%s%s", Account.Domain, Account.User);
    Account.Sid = UserSidOf(Name);
  }
  return Account;
}

TAccount ProgramAccount() {
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
  TAccount Account;
  Account.Sid = CopySid(reinterpret_cast<TOKEN_USER*>(Buffer.data())->User.Sid);
  DWORD UserSize = 257, DomainSize = 256;
  SID_NAME_USE Use;
  if (Account.Sid.empty() ||
      !LookupAccountSidW(nullptr, Account.Sid.data(), Account.User, &UserSize, Account.Domain, &DomainSize, &Use))
    *Account.User = *Account.Domain = L'\0';
  return Account;
}

bool SameAccount(const TAccount& A, const TAccount& B) {
  if (!A.Sid.empty() && !B.Sid.empty())
    return A.Sid == B.Sid;
  return *A.User && SameText(A.User, B.User) && SameText(A.Domain, B.Domain);
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
