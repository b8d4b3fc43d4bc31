#include "OleAcc.h"

#include "Accounts.h"
#include "SystemFiles.h"
#include "WinHandles.h"

namespace {

template <typename F>
bool Find(HMODULE Module, const char* Name, F& Function) {
  Function = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(Module, Name)));
  return Function != nullptr;
}

using TInitializeSecurity = HRESULT(WINAPI*)(PSECURITY_DESCRIPTOR, LONG, SOLE_AUTHENTICATION_SERVICE*, void*, DWORD,
                                             DWORD, void*, DWORD, void*);

// An installer elevated over the shoulder runs as the administrator, while
// the screen reader runs as the user at the desk. Left to itself, COM admits
// only the program's own user, SYSTEM and administrators, and the reader
// would find the window silent.
bool Secure(TInitializeSecurity InitializeSecurity) {
  const HRESULT Result = InitializeSecurity(ComAccessDescriptor(), -1, nullptr, nullptr,
                                            // What the machine asks of calls in general: no stricter,
                                            // or a reader that authenticates less would be refused.
                                            RPC_C_AUTHN_LEVEL_DEFAULT,
                                            // The program calls nobody's objects: a server it did call
                                            // could learn who calls, but never act as the administrator.
                                            RPC_C_IMP_LEVEL_IDENTIFY, nullptr,
                                            // No cloaking, no other capabilities.
                                            EOAC_NONE, nullptr);
  if (SUCCEEDED(Result))
    return true;
  // Set before us (RPC_E_TOO_LATE, by a module loaded into the process), the
  // security admits the program's own user: enough when that user sits at
  // the desk, as after an elevation on the same account.
  return SameAccount(SessionAccount(), ProgramAccount());
}

// "O:BAG:BAD:(A;;0x3;;;IU)(A;;0x3;;;SY)(A;;0x3;;;BA)", laid out as data:
// absolute, so that CoInitializeSecurity takes it as it is, and nothing to
// convert or free. 0x3 is COM_RIGHTS_EXECUTE | COM_RIGHTS_EXECUTE_LOCAL.
template <int Parts>
struct TSidOf {
  BYTE Revision, PartCount;
  SID_IDENTIFIER_AUTHORITY Authority;
  DWORD Part[Parts];
};
template <int Parts>
struct TAllowed {
  ACE_HEADER Header;
  ACCESS_MASK Mask;
  TSidOf<Parts> Sid;
};
struct TComAccessDacl {
  ACL Header;
  TAllowed<1> Interactive, System;
  TAllowed<2> Administrators;
};

constexpr SID_IDENTIFIER_AUTHORITY NtAuthority = SECURITY_NT_AUTHORITY;
constexpr BYTE AllowedType = ACCESS_ALLOWED_ACE_TYPE;
constexpr ACCESS_MASK LocalCalls = 0x3;

TSidOf<2> Administrators{SID_REVISION, 2, NtAuthority, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS}};
TComAccessDacl ComAccessDacl{
    {ACL_REVISION, 0, sizeof(TComAccessDacl), 3, 0},
    {{AllowedType, 0, sizeof(TAllowed<1>)}, LocalCalls, {SID_REVISION, 1, NtAuthority, {SECURITY_INTERACTIVE_RID}}},
    {{AllowedType, 0, sizeof(TAllowed<1>)}, LocalCalls, {SID_REVISION, 1, NtAuthority, {SECURITY_LOCAL_SYSTEM_RID}}},
    {{AllowedType, 0, sizeof(TAllowed<2>)}, LocalCalls, Administrators}};
SECURITY_DESCRIPTOR ComAccess{
    SECURITY_DESCRIPTOR_REVISION,          0, SE_DACL_PRESENT, &Administrators, &Administrators, nullptr,
    reinterpret_cast<PACL>(&ComAccessDacl)};

}  // namespace

PSECURITY_DESCRIPTOR ComAccessDescriptor() { return &ComAccess; }

const TOleAcc* TOleAcc::Get() {
  // Constant-initialised; asked from the GUI thread alone.
  static TOleAcc Library;
  static int Loaded = 0;
  if (Loaded == 0)
    Loaded = Library.Load() ? 1 : -1;
  return Loaded > 0 ? &Library : nullptr;
}

bool TOleAcc::Load() {
  HRESULT(WINAPI * Initialize)(LPVOID, DWORD) = nullptr;
  TInitializeSecurity InitializeSecurity = nullptr;
  // oleacc is not a KnownDLL, so it goes by its full path. The libraries are
  // never freed: a screen reader may hold objects made by them until the
  // process ends, and their code must be there when it lets go.
  TModuleHandle OleAcc(LoadSystemLibrary("oleacc.dll"));
  TModuleHandle OleAut(LoadSystemLibrary("oleaut32.dll"));
  TModuleHandle Ole(LoadSystemLibrary("ole32.dll"));
  if (!OleAcc || !OleAut || !Ole)
    return false;
  if (!Find(OleAcc.Get(), "CreateStdAccessibleObject", CreateStdAccessibleObject) ||
      !Find(OleAcc.Get(), "LresultFromObject", LresultFromObject) ||
      !Find(OleAcc.Get(), "AccessibleObjectFromWindow", AccessibleObjectFromWindow) ||
      !Find(OleAut.Get(), "SysAllocStringLen", SysAllocStringLen) ||
      !Find(OleAut.Get(), "LoadRegTypeLib", LoadRegTypeLib) ||
      !Find(OleAut.Get(), "DispGetIDsOfNames", DispGetIDsOfNames) || !Find(OleAut.Get(), "DispInvoke", DispInvoke) ||
      !Find(Ole.Get(), "CoDisconnectObject", CoDisconnectObject) || !Find(Ole.Get(), "CoInitializeEx", Initialize) ||
      !Find(Ole.Get(), "CoInitializeSecurity", InitializeSecurity))
    return false;
  // Objects go to other processes from an apartment: the thread that answers
  // screen readers, the GUI thread, joins a single-threaded one for good, and
  // the process's security is set right after, before anything is marshalled.
  // A thread already in the multi-threaded one (by the shell, say) stays
  // there, and answers with the standard objects.
  const HRESULT Joined = Initialize(nullptr, COINIT_APARTMENTTHREADED);
  if (FAILED(Joined) && Joined != RPC_E_CHANGED_MODE)
    return false;
  OleAcc.Release();
  OleAut.Release();
  Ole.Release();
  return Joined != RPC_E_CHANGED_MODE && Secure(InitializeSecurity);
}
