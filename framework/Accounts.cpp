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

  // The text of Info for session Session; empty when there is none.
  std::wstring Query(DWORD Session, WTS_INFO_CLASS Info) const {
    if (!FQuery || !FFree)
      return {};
    wchar_t* Buffer = nullptr;
    DWORD Bytes = 0;
    if (!FQuery(WTS_CURRENT_SERVER_HANDLE, Session, Info, &Buffer, &Bytes) || !Buffer)
      return {};
    const std::unique_ptr<wchar_t, decltype(FFree)> Owned(Buffer, FFree);
    return std::wstring(Buffer, wcsnlen(Buffer, Bytes / sizeof(wchar_t)));
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

TSid UserSidOf(const std::wstring& Account) {
  DWORD SidSize = 0, DomainSize = 0;
  SID_NAME_USE Use;
  LookupAccountNameW(nullptr, Account.c_str(), nullptr, &SidSize, nullptr, &DomainSize, &Use);
  if (SidSize == 0)
    return {};
  TSid Sid(SidSize);
  std::wstring FoundDomain(DomainSize + 1, L'\0');
  DomainSize = static_cast<DWORD>(FoundDomain.size());
  if (!LookupAccountNameW(nullptr, Account.c_str(), Sid.data(), &SidSize, FoundDomain.data(), &DomainSize, &Use) ||
      Use != SidTypeUser)
    return {};
  return CopySid(Sid.data());
}

bool SameText(const std::wstring& A, const std::wstring& B) {
  return CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, A.data(), static_cast<int>(A.size()), B.data(),
                        static_cast<int>(B.size())) == CSTR_EQUAL;
}

// A domain's NetBIOS name is the first label of its DNS name, in any case.
bool SameDomain(const std::wstring& A, const std::wstring& B) {
  return SameText(A.substr(0, A.find(L'.')), B.substr(0, B.find(L'.')));
}

}  // namespace

TAccount SessionAccount() {
  DWORD Session = 0;
  if (!ProcessIdToSessionId(GetCurrentProcessId(), &Session))
    return {};
  const TSessionInfo Info;
  TAccount Account{Info.Query(Session, WTSDomainName), Info.Query(Session, WTSUserName), {}};
  if (!Account.User.empty())
    Account.Sid = UserSidOf(Account.Domain.empty() ? Account.User : Account.Domain + L"\\" + Account.User);
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
  if (Account.Sid.empty())
    return {};
  wchar_t User[256], Domain[256];
  DWORD UserSize = 256, DomainSize = 256;
  SID_NAME_USE Use;
  if (LookupAccountSidW(nullptr, Account.Sid.data(), User, &UserSize, Domain, &DomainSize, &Use)) {
    Account.User = User;
    Account.Domain = Domain;
  }
  return Account;
}

bool SameAccount(const TAccount& A, const TAccount& B) {
  if (!A.Sid.empty() && !B.Sid.empty())
    return A.Sid == B.Sid;
  return !A.User.empty() && SameText(A.User, B.User) && SameDomain(A.Domain, B.Domain);
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
