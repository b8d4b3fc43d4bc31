// What screen readers read of forms: their client objects, from this process and from
// readers of another account.
#include <gtest/gtest.h>

#include <windows.h>

#include <sddl.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "AccessibleClient.h"
#include "Controls.h"
#include "ControlsTestSupport.h"
#include "Forms.h"
#include "OleAcc.h"
#include "SysUtils.h"
#include "WinTestSupport.h"

using namespace CtlTest;

namespace {

using FrameworkAccessibility = FormFixture;

// Left, top, width and height on the screen, as accLocation gives them.
RECT ScreenRect(TControl* Control) {
  const POINT P = Control->ClientToScreen({0, 0});
  return {P.x, P.y, Control->Width(), Control->Height()};
}

std::vector<LONG> Box(const RECT& R) { return {R.left, R.top, R.right, R.bottom}; }

// What an object's children are: "element N 'name'" or "window NAME".
std::vector<std::string> Describe(std::vector<TChild> Children, IAccessible* Container) {
  std::vector<std::string> Result;
  for (auto& Child : Children) {
    if (!Child.Object) {
      Result.push_back("element " + std::to_string(Child.Id) + " '" + NameOf(Container, Child.Id) + "'");
      continue;
    }
    HWND Window = nullptr;
    WindowFromAccessibleObject(Child.Object.Get(), &Window);
    auto* Control = TWinControl::FromHandle(Window);
    Result.push_back("window " + (Control ? Control->Name() : std::string("(not ours)")));
  }
  return Result;
}

// A form with a clickable windowless control in sight ("Go"), one out of
// sight, a picture nobody can click, and a windowed child in sight and one
// out of sight.
struct TReadableForm {
  explicit TReadableForm(TProbeForm* Form) : Form(Form) {
    Form->SetBorderStyle(bsSingle);
    Picture = AddControl<TProbeGraphic>(Form, "Picture", 0, 0, 400, 300);
    Go = AddControl<TProbeGraphic>(Form, "Go", 50, 60, 40, 20);
    Go->SetHint("Go");
    Go->OnClick = [this](TObject*) { ++Clicks; };
    Below = AddControl<TProbeGraphic>(Form, "Below", 50, 300, 40, 20);
    Below->SetHint("Below");
    Below->OnClick = [this](TObject*) { ++Clicks; };
    Field = AddControl<TProbeCustom>(Form, "Field", 200, 60, 80, 25);
    Hidden = AddControl<TProbeCustom>(Form, "Hidden", 200, 320, 80, 25);
  }
  TProbeForm* Form;
  TProbeGraphic *Picture, *Go, *Below;
  TProbeCustom *Field, *Hidden;
  int Clicks = 0;
};

TEST_F(FrameworkAccessibility, AClickableWindowlessControlIsAPushButtonNamedByItsHintHotTrackedUnderThePointer) {
  TReadableForm F(NewForm());
  ShowInFront(F.Form);
  TAccessible Client = ObjectOf(F.Form->Handle());
  ASSERT_TRUE(Client) << "no client object";
  EXPECT_EQ(RoleOf(Client.Get()), ROLE_SYSTEM_CLIENT) << "the form's own answers are the standard object's";

  // Children in creation order; the picture, "Below" and "Hidden" are left out.
  LONG Count = -1;
  EXPECT_EQ(Client->get_accChildCount(&Count), S_OK);
  EXPECT_EQ(Count, 2);
  EXPECT_EQ(Describe(ChildrenOf(Client.Get()), Client.Get()),
            (std::vector<std::string>{"element 1 'Go'", "window Field"}));
  EXPECT_EQ(Describe(ChildrenOf(Client.Get()), Client.Get()).size(), 2u) << "AccessibleChildren twice";

  EXPECT_EQ(RoleOf(Client.Get(), 1), ROLE_SYSTEM_PUSHBUTTON);
  EXPECT_EQ(Box(LocationOf(Client.Get(), 1)), Box(ScreenRect(F.Go)));
  EXPECT_EQ(DefaultActionOf(Client.Get(), 1), "Press");
  EXPECT_EQ(StateOf(Client.Get(), 1), 0) << "focusable, or hot-tracked with the pointer away";
  EXPECT_EQ(RoleOf(Client.Get(), 3), -1) << "a third child";
  IDispatch* Simple = reinterpret_cast<IDispatch*>(1);
  EXPECT_EQ(Client->get_accChild(ChildId(1), &Simple), S_FALSE);
  EXPECT_EQ(Simple, nullptr) << "a simple element has no object of its own";

  // Under the pointer, and no longer once it leaves.
  MoveOnto(F.Go);
  ASSERT_TRUE(PumpUntil([&] { return Application->MouseControl() == F.Go; })) << InputState();
  EXPECT_EQ(StateOf(Client.Get(), 1), STATE_SYSTEM_HOTTRACKED);
  MoveTo(F.Picture, 5, 250);
  ASSERT_TRUE(PumpUntil([&] { return Application->MouseControl() == F.Picture; })) << InputState();
  EXPECT_EQ(StateOf(Client.Get(), 1), 0);

  // Found at its place, on the screen's pixels at its edges.
  const RECT At = ScreenRect(F.Go);
  for (POINT P : {POINT{At.left, At.top}, POINT{At.left + At.right - 1, At.top + At.bottom - 1}}) {
    TChild Hit = HitTest(Client.Get(), P);
    EXPECT_FALSE(Hit.Object);
    EXPECT_EQ(Hit.Id, 1) << "at " << P.x << "," << P.y;
  }
  EXPECT_EQ(HitTest(Client.Get(), {At.left + At.right, At.top}).Id, CHILDID_SELF) << "just right of it";
  EXPECT_TRUE(HitTest(Client.Get(), F.Field->ClientToScreen({3, 3})).Object) << "the windowed child";
  TChild Outside = HitTest(Client.Get(), F.Form->ClientToScreen({10, 310}));
  EXPECT_FALSE(Outside.Object);
  EXPECT_EQ(Outside.Id, CHILDID_SELF) << "a point below the client area";
  TAccessible Found;
  VARIANT Id;
  VariantInit(&Id);
  ASSERT_EQ(AccessibleObjectFromPoint({At.left + 3, At.top + 3}, Found.Put(), &Id), S_OK);
  ASSERT_EQ(Id.vt, VT_I4);
  EXPECT_EQ(Id.lVal, 1);
  EXPECT_EQ(NameOf(Found.Get(), Id.lVal), "Go");

  // Navigation walks the same list.
  TChild First = Navigate(Client.Get(), NAVDIR_FIRSTCHILD);
  EXPECT_FALSE(First.Object);
  EXPECT_EQ(First.Id, 1);
  EXPECT_TRUE(Navigate(Client.Get(), NAVDIR_NEXT, 1).Object) << "after the element comes the windowed child";
  EXPECT_TRUE(Navigate(Client.Get(), NAVDIR_LASTCHILD).Object);
  TChild None = Navigate(Client.Get(), NAVDIR_PREVIOUS, 1);
  EXPECT_FALSE(None.Object);
  EXPECT_EQ(None.Id, CHILDID_SELF) << "something before the first child";

  // Pressed later, from the loop, as a click; never focused.
  EXPECT_EQ(Client->accSelect(SELFLAG_TAKEFOCUS, ChildId(1)), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Client->accDoDefaultAction(ChildId(1)), S_OK);
  EXPECT_EQ(F.Clicks, 0) << "the click ran inside the client's call";
  EXPECT_TRUE(PumpUntil([&] { return F.Clicks == 1; }));
  PumpFor(100);
  EXPECT_EQ(F.Clicks, 1);

  // While a box waits, the form is disabled: the button says so, and its
  // press, asked or already on its way, runs nothing.
  EnableWindow(F.Form->Handle(), FALSE);
  EXPECT_EQ(StateOf(Client.Get(), 1), STATE_SYSTEM_UNAVAILABLE);
  EXPECT_EQ(Client->accDoDefaultAction(ChildId(1)), DISP_E_MEMBERNOTFOUND);
  PostMessageA(F.Form->Handle(), CM_DEFAULTACTION, 0, reinterpret_cast<LPARAM>(F.Go));
  PumpFor(100);
  EXPECT_EQ(F.Clicks, 1) << "pressed under a box";
  EnableWindow(F.Form->Handle(), TRUE);
  EXPECT_EQ(StateOf(Client.Get(), 1), 0);

  // Called by name, as scripts call, through IAccessible's type information.
  UINT TypeInfos = 0;
  EXPECT_EQ(Client->GetTypeInfoCount(&TypeInfos), S_OK);
  EXPECT_EQ(TypeInfos, 1u);
  OLECHAR Name[] = L"accName";
  OLECHAR* Names[] = {Name};
  DISPID Member = 0;
  ASSERT_EQ(Client->GetIDsOfNames(IID_NULL, Names, 1, LOCALE_USER_DEFAULT, &Member), S_OK);
  EXPECT_EQ(Member, DISPID_ACC_NAME);
  VARIANT Argument = ChildId(1), Result;
  VariantInit(&Result);
  DISPPARAMS Parameters{&Argument, nullptr, 1, 0};
  ASSERT_EQ(Client->Invoke(Member, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &Parameters, &Result, nullptr,
                           nullptr),
            S_OK);
  ASSERT_EQ(Result.vt, VT_BSTR);
  EXPECT_STREQ(Result.bstrVal, L"Go");
  VariantClear(&Result);
  BSTR HelpFile = nullptr;
  LONG Topic = -7;
  EXPECT_EQ(Client->get_accHelpTopic(&HelpFile, ChildId(1), &Topic), S_FALSE);
  EXPECT_EQ(Topic, 0) << "the topic was left unset";

  // Changed: disabled, it is no longer offered, and a press asked before runs nothing.
  EXPECT_EQ(Client->accDoDefaultAction(ChildId(1)), S_OK);
  F.Go->SetEnabled(false);
  PumpFor(100);
  EXPECT_EQ(F.Clicks, 1) << "a disabled control was pressed";
  EXPECT_EQ(Describe(ChildrenOf(Client.Get()), Client.Get()), (std::vector<std::string>{"window Field"}));
}

TEST_F(FrameworkAccessibility, WindowedControlsOutOfSightSayTheyAreInvisibleAndOffscreen) {
  TReadableForm F(NewForm());
  // Partly in sight counts as in sight.
  auto* Edge = AddControl<TProbeCustom>(F.Form, "Edge", 390, 100, 80, 25);
  ShowInFront(F.Form);
  const LONG Hidden = STATE_SYSTEM_INVISIBLE | STATE_SYSTEM_OFFSCREEN;
  for (LONG ObjectId : {LONG(OBJID_WINDOW), LONG(OBJID_CLIENT)}) {
    SCOPED_TRACE(ObjectId == OBJID_WINDOW ? "window object" : "client object");
    TAccessible Below = ObjectOf(F.Hidden->Handle(), ObjectId);
    ASSERT_TRUE(Below);
    const LONG State = StateOf(Below.Get());
    EXPECT_NE(State, -1) << "no state";
    EXPECT_EQ(State & Hidden, Hidden);
    for (TProbeCustom* Seen : {F.Field, Edge}) {
      TAccessible Object = ObjectOf(Seen->Handle(), ObjectId);
      ASSERT_TRUE(Object);
      // Wine's standard window object gives no state at all.
      const LONG Shown = StateOf(Object.Get());
      EXPECT_TRUE(Shown == -1 || (Shown & Hidden) == 0) << Seen->Name() << " state " << Shown;
    }
  }
  EXPECT_TRUE(IsWindowVisible(F.Hidden->Handle())) << "its own behaviour changed";
  // Moved into sight, it is itself again, and a child of the client object.
  F.Hidden->SetTop(200);
  EXPECT_EQ(StateOf(ObjectOf(F.Hidden->Handle()).Get()), STATE_SYSTEM_FOCUSABLE);
  TAccessible Client = ObjectOf(F.Form->Handle());
  EXPECT_EQ(Describe(ChildrenOf(Client.Get()), Client.Get()),
            (std::vector<std::string>{"element 1 'Go'", "window Field", "window Hidden", "window Edge"}));
}

TEST_F(FrameworkAccessibility, AFormWithoutWindowlessControlsToShowAnswersWithTheStandardObjectAlone) {
  auto* Form = NewForm();
  AddControl<TProbeGraphic>(Form, "Picture", 0, 0, 400, 300);
  auto* Below = AddControl<TProbeGraphic>(Form, "Below", 50, 300, 40, 20);
  Below->OnClick = [](TObject*) {};
  AddControl<TProbeCustom>(Form, "Field", 200, 60, 80, 25);
  AddControl<TProbeCustom>(Form, "Hidden", 200, 320, 80, 25);
  ShowInFront(Form);
  EXPECT_EQ(SendMessageA(Form->Handle(), WM_GETOBJECT, 0, static_cast<LPARAM>(OBJID_CLIENT)), 0)
      << "the form answered with an object of its own";
  TAccessible Client = ObjectOf(Form->Handle());
  ASSERT_TRUE(Client);
  LONG Count = -1;
  Client->get_accChildCount(&Count);
  EXPECT_EQ(Count, 2) << "the standard object counts every child window";
  // Once one can be clicked in sight, the form answers itself.
  auto* Go = AddControl<TProbeGraphic>(Form, "Go", 50, 60, 40, 20);
  Go->OnClick = [](TObject*) {};
  TAccessible Own = ObjectOf(Form->Handle());
  ASSERT_TRUE(Own);
  EXPECT_EQ(Describe(ChildrenOf(Own.Get()), Own.Get()), (std::vector<std::string>{"window Field", "element 2 ''"}));
}

TEST_F(FrameworkAccessibility, AClientHoldingTheObjectAfterTheFormIsGoneGetsFailuresNotACrash) {
  auto* Form = NewForm();
  auto* Go = AddControl<TProbeGraphic>(Form, "Go", 50, 60, 40, 20);
  Go->OnClick = [](TObject*) {};
  ShowInFront(Form);
  TAccessible Client = ObjectOf(Form->Handle());
  ASSERT_TRUE(Client);
  EXPECT_EQ(RoleOf(Client.Get(), 1), ROLE_SYSTEM_PUSHBUTTON);
  Forget(Form);
  delete Form;
  LONG Count = -1;
  EXPECT_TRUE(FAILED(Client->get_accChildCount(&Count)));
  EXPECT_EQ(RoleOf(Client.Get(), 1), -1);
  EXPECT_EQ(RoleOf(Client.Get()), -1);
  EXPECT_TRUE(FAILED(Client->accDoDefaultAction(ChildId(1))));
}

// ---------------------------------------------------------------- screen readers of another account

// COM's security is set once per process, so each case runs in a process of
// its own (ctest starts one per test).
struct TSecurityCall {
  PSECURITY_DESCRIPTOR Descriptor;
  LONG Services;
  DWORD AuthenticationLevel, ImpersonationLevel, Capabilities;
};
std::vector<TSecurityCall> SecurityCalls;
std::vector<std::string> ComOrder;
HRESULT SecurityAnswer = S_OK;

HRESULT WINAPI NoteInitializeSecurity(PSECURITY_DESCRIPTOR Descriptor, LONG Services, SOLE_AUTHENTICATION_SERVICE*,
                                      void*, DWORD Authentication, DWORD Impersonation, void*, DWORD Capabilities,
                                      void*) {
  SecurityCalls.push_back({Descriptor, Services, Authentication, Impersonation, Capabilities});
  ComOrder.push_back("security");
  return SecurityAnswer;
}

LRESULT WINAPI NoteLresultFromObject(REFIID Iid, WPARAM WParam, LPUNKNOWN Object) {
  ComOrder.push_back("object");
  return LresultFromObject(Iid, WParam, Object);
}

// The SIDs the descriptor's allow entries name, in order, with their rights.
std::vector<std::string> AllowedOf(PSECURITY_DESCRIPTOR Descriptor) {
  std::vector<std::string> Entries;
  BOOL Present = FALSE, Defaulted = FALSE;
  PACL Dacl = nullptr;
  if (!GetSecurityDescriptorDacl(Descriptor, &Present, &Dacl, &Defaulted) || !Present || !Dacl)
    return Entries;
  for (DWORD I = 0; I < Dacl->AceCount; ++I) {
    void* Entry = nullptr;
    GetAce(Dacl, I, &Entry);
    auto* Allowed = static_cast<ACCESS_ALLOWED_ACE*>(Entry);
    char* Sid = nullptr;
    ConvertSidToStringSidA(&Allowed->SidStart, &Sid);
    Entries.push_back(std::to_string(Allowed->Header.AceType) + " " + std::to_string(Allowed->Mask) + " " + Sid);
    LocalFree(Sid);
  }
  return Entries;
}

TEST(ComSecurity, TheDescriptorAdmitsTheUsersAtTheDeskSystemAndAdministratorsToCallLocally) {
  const PSECURITY_DESCRIPTOR Descriptor = ComAccessDescriptor();
  ASSERT_NE(Descriptor, nullptr);
  EXPECT_TRUE(IsValidSecurityDescriptor(Descriptor));
  SECURITY_DESCRIPTOR_CONTROL Control = 0;
  DWORD Revision = 0;
  ASSERT_TRUE(GetSecurityDescriptorControl(Descriptor, &Control, &Revision));
  EXPECT_EQ(Control & SE_SELF_RELATIVE, 0) << "CoInitializeSecurity takes an absolute descriptor";
  EXPECT_EQ(Control & SE_SACL_PRESENT, 0);
  PSID Owner = nullptr, Group = nullptr;
  BOOL Defaulted = FALSE;
  ASSERT_TRUE(GetSecurityDescriptorOwner(Descriptor, &Owner, &Defaulted));
  ASSERT_TRUE(GetSecurityDescriptorGroup(Descriptor, &Group, &Defaulted));
  ASSERT_TRUE(Owner && Group) << "COM refuses a descriptor without owner or group";
  // Interactive users, SYSTEM, administrators: COM_RIGHTS_EXECUTE | COM_RIGHTS_EXECUTE_LOCAL each.
  EXPECT_EQ(AllowedOf(Descriptor), (std::vector<std::string>{"0 3 S-1-5-4", "0 3 S-1-5-18", "0 3 S-1-5-32-544"}));
  // Exactly what the system makes of its text form.
  PSECURITY_DESCRIPTOR FromText = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("O:BAG:BAD:(A;;0x3;;;IU)(A;;0x3;;;SY)(A;;0x3;;;BA)",
                                                                   SDDL_REVISION_1, &FromText, nullptr));
  PSID TextOwner = nullptr, TextGroup = nullptr;
  GetSecurityDescriptorOwner(FromText, &TextOwner, &Defaulted);
  GetSecurityDescriptorGroup(FromText, &TextGroup, &Defaulted);
  EXPECT_TRUE(EqualSid(Owner, TextOwner) && EqualSid(Group, TextGroup));
  EXPECT_EQ(AllowedOf(Descriptor), AllowedOf(FromText));
  PACL Dacl = nullptr, TextDacl = nullptr;
  BOOL Present = FALSE;
  GetSecurityDescriptorDacl(Descriptor, &Present, &Dacl, &Defaulted);
  GetSecurityDescriptorDacl(FromText, &Present, &TextDacl, &Defaulted);
  ASSERT_TRUE(Dacl && TextDacl);
  EXPECT_EQ(Dacl->AclSize, TextDacl->AclSize);
  EXPECT_TRUE(IsValidAcl(Dacl));
  LocalFree(FromText);
}

// How the security call ends, who sits at the desk, and whether screen
// readers then get the form's own object rather than the system's.
struct TSecurityCase {
  const char* Name;
  HRESULT Answer;
  bool OtherUserAtTheDesk, MultiThreaded, OwnObject;
};

void PrintTo(const TSecurityCase& Case, std::ostream* Out) { *Out << Case.Name; }

class ComSecurityFallback : public FormFixture, public testing::WithParamInterface<TSecurityCase> {};

TEST_P(ComSecurityFallback, IsSetOnceBeforeTheFirstObjectAndDecidesWhoseObjectReadersGet) {
  const TSecurityCase& C = GetParam();
  SecurityAnswer = C.Answer;
  TProcHook Security("CoInitializeSecurity", reinterpret_cast<void*>(&NoteInitializeSecurity));
  TProcHook Object("LresultFromObject", reinterpret_cast<void*>(&NoteLresultFromObject));
  std::optional<TSessionUserHook> Desk;
  if (C.OtherUserAtTheDesk)
    Desk.emplace(L"DESK", L"\u0141ukasz \u017b\u00f3\u0142\u0107");
  if (C.MultiThreaded) {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  }
  TReadableForm F(NewForm());
  ShowInFront(F.Form);
  for (int Ask = 0; Ask < 2; ++Ask) {
    const LRESULT Answer = SendMessageA(F.Form->Handle(), WM_GETOBJECT, 0, static_cast<LPARAM>(OBJID_CLIENT));
    EXPECT_EQ(Answer != 0, C.OwnObject) << "ask " << Ask;
    TAccessible Taken;
    if (Answer)
      ObjectFromLresult(Answer, __uuidof(IAccessible), 0, reinterpret_cast<void**>(Taken.Put()));
  }
  if (C.MultiThreaded) {
    EXPECT_TRUE(SecurityCalls.empty()) << "set from another apartment";
    return;
  }
  ASSERT_EQ(SecurityCalls.size(), 1u) << "once per process; run each case in a process of its own";
  EXPECT_EQ(ComOrder.front(), "security") << "an object went out before";
  const TSecurityCall& Call = SecurityCalls[0];
  EXPECT_EQ(Call.Descriptor, ComAccessDescriptor());
  EXPECT_EQ(Call.Services, -1);
  EXPECT_EQ(Call.AuthenticationLevel, static_cast<DWORD>(RPC_C_AUTHN_LEVEL_DEFAULT));
  EXPECT_EQ(Call.ImpersonationLevel, static_cast<DWORD>(RPC_C_IMP_LEVEL_IDENTIFY));
  EXPECT_EQ(Call.Capabilities, static_cast<DWORD>(EOAC_NONE));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ComSecurityFallback,
    testing::Values(TSecurityCase{"Set", S_OK, true, false, true},
                    TSecurityCase{"TooLateForTheProgramsOwnUser", RPC_E_TOO_LATE, false, false, true},
                    TSecurityCase{"TooLateForAnotherUser", RPC_E_TOO_LATE, true, false, false},
                    TSecurityCase{"ThreadInTheMultiThreadedApartment", S_OK, false, true, false}),
    [](const testing::TestParamInfo<TSecurityCase>& Info) { return std::string(Info.param.Name); });

}  // namespace
