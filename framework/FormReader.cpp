#include "FormReader.h"

#include <algorithm>

#include "Forms.h"
#include "Resources.h"
#include "ScreenDensity.h"
#include "StdCtrls.h"

namespace {

[[noreturn]] void BadValue(const std::string& Property, const char* Expected) {
  throw EReadError("Invalid property value for " + Property + ": " + Expected + " expected");
}

struct TNamedColor {
  const char* Name;
  TColor Value;
};

constexpr TNamedColor NamedColors[] = {
    {"clBlack", clBlack},
    {"clMaroon", clMaroon},
    {"clGreen", clGreen},
    {"clOlive", clOlive},
    {"clNavy", clNavy},
    {"clPurple", clPurple},
    {"clTeal", clTeal},
    {"clGray", clGray},
    {"clSilver", clSilver},
    {"clRed", clRed},
    {"clLime", clLime},
    {"clYellow", clYellow},
    {"clBlue", clBlue},
    {"clFuchsia", clFuchsia},
    {"clAqua", clAqua},
    {"clWhite", clWhite},
    {"clNone", clNone},
    {"clScrollBar", clScrollBar},
    {"clBackground", clBackground},
    {"clWindow", clWindow},
    {"clWindowText", clWindowText},
    {"clBtnFace", clBtnFace},
    {"clBtnShadow", clBtnShadow},
    {"clBtnText", clBtnText},
    {"clBtnHighlight", clBtnHighlight},
    {"clHighlight", clHighlight},
    {"clHighlightText", clHighlightText},
    {"clGrayText", clGrayText},
    {"cl3DDkShadow", cl3DDkShadow},
    {"cl3DLight", cl3DLight},
    {"clInfoBk", clInfoBk},
};

void RegisterFrameworkClasses(TClassRegistry& R) {
  R.RegisterClass("TComponent", "");
  R.RegisterClass("TControl", "TComponent");
  auto Control = R.Published<TControl>("TControl");
  Control.Integer("Left", &TControl::SetLeft);
  Control.Integer("Top", &TControl::SetTop);
  Control.Integer("Width", &TControl::SetWidth);
  Control.Integer("Height", &TControl::SetHeight);
  Control.String("Caption", &TControl::SetText);
  Control.String("Text", &TControl::SetText);
  Control.Colour("Color", &TControl::SetColor);
  Control.Bool("ParentColor", &TControl::SetParentColor);
  Control.Bool("ParentFont", &TControl::SetParentFont);
  Control.Bool("Visible", &TControl::SetVisible);
  Control.Bool("Enabled", &TControl::SetEnabled);
  Control.String("Hint", &TControl::SetHint);
  Control.String("Font.Name", [](TControl& C, const std::string& V) { C.Font().SetName(V); });
  Control.Integer("Font.Height", [](TControl& C, int V) { C.Font().SetHeight(V); });
  Control.Enum("Font.Charset", [](TControl& C, int V) { C.Font().SetCharset(V); },
               {"ANSI_CHARSET", "DEFAULT_CHARSET", "SYMBOL_CHARSET"});
  Control.Colour("Font.Color", [](TControl& C, TColor V) { C.Font().SetColor(V); });
  Control.Set("Font.Style", [](TControl& C, unsigned V) { C.Font().SetStyle(V); },
              {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"});
  Control.Event("OnClick", &TControl::OnClick);
  Control.Event("OnDblClick", &TControl::OnDblClick);

  R.RegisterClass("TGraphicControl", "TControl");
  R.RegisterClass("TWinControl", "TControl");
  auto WinControl = R.Published<TWinControl>("TWinControl");
  WinControl.Integer("TabOrder", &TWinControl::SetTabOrder, -1, 32767);
  WinControl.Bool("TabStop", &TWinControl::SetTabStop);
  R.RegisterClass("TCustomControl", "TWinControl");

  R.RegisterClass("TCustomForm", "TWinControl");
  R.RegisterClass("TForm", "TCustomForm");
  auto Form = R.Published<TCustomForm>("TCustomForm");
  Form.Enum("BorderStyle", &TCustomForm::SetBorderStyle,
            {"bsNone", "bsSingle", "bsSizeable", "bsDialog", "bsToolWindow", "bsSizeToolWin"});
  Form.Set("BorderIcons", &TCustomForm::SetBorderIcons, {"biSystemMenu", "biMinimize", "biMaximize", "biHelp"});
  Form.Enum("Position", &TCustomForm::SetPosition,
            {"poDesigned", "poDefault", "poDefaultPosOnly", "poDefaultSizeOnly", "poScreenCenter"});
  Form.Integer("ClientWidth", &TCustomForm::SetClientWidth);
  Form.Integer("ClientHeight", &TCustomForm::SetClientHeight);
  Form.Bool("AutoScroll", &TCustomForm::SetAutoScroll);
  Form.Event("OnCreate", &TCustomForm::OnCreate);
  // Design-time facts the running program has no use for.
  Form.Integer("PixelsPerInch", &TCustomForm::SetPixelsPerInch, 1, 32767);
  Form.Ignored("TextHeight");
  Form.Ignored("OldCreateOrder");

  R.RegisterClass("TImage", "TGraphicControl", [](TComponent* Owner) { return new TImage(Owner); });
  auto Image = R.Published<TImage>("TImage");
  Image.Bool("AutoSize", &TImage::SetAutoSize);
  Image.Picture("Picture.Data", &TImage::Picture);

  R.RegisterClass("TLabel", "TGraphicControl", [](TComponent* Owner) { return new TLabel(Owner); });
  auto Label = R.Published<TLabel>("TLabel");
  Label.Bool("AutoSize", &TLabel::SetAutoSize);
  Label.Bool("Transparent", &TLabel::SetTransparent);

  R.RegisterClass("TCustomEdit", "TWinControl");
  R.RegisterClass("TEdit", "TCustomEdit", [](TComponent* Owner) { return new TEdit(Owner); });
  auto Edit = R.Published<TCustomEdit>("TCustomEdit");
  Edit.Bool("ReadOnly", &TCustomEdit::SetReadOnly);
  Edit.Integer("MaxLength", &TCustomEdit::SetMaxLength);
  Edit.Bool("AutoSize", &TCustomEdit::SetAutoSize);
  Edit.Bool("Ctl3D", &TCustomEdit::SetCtl3D);
  Edit.Enum("BorderStyle", &TCustomEdit::SetBorderStyle, {"bsNone", "bsSingle"});
}

void ReadObject(const TStreamObject& Object, TComponent& Instance, TWinControl* Parent, TReadContext& Context,
                std::vector<TComponent*>& Loaded) {
  auto& Registry = TClassRegistry::Instance();
  auto* Control = dynamic_cast<TControl*>(&Instance);
  if (Control && Parent)
    Control->SetParent(Parent);
  Instance.BeginLoading();
  Loaded.push_back(&Instance);
  for (const auto& Property : Object.Properties)
    Registry.Setter(Object.ClassName, Property.Name)(Instance, Property.Value, Context);
  for (const auto& Child : Object.Children) {
    auto* Component = Registry.Create(Child.ClassName, Context.Root);
    Component->SetName(Child.Name);
    Context.Root->BindField(Child.Name, Component);
    auto* AsWin = dynamic_cast<TWinControl*>(&Instance);
    ReadObject(Child, *Component, AsWin ? AsWin : Parent, Context, Loaded);
  }
  if (Control && Control->Parent()) {
    Control->Perform(CM_PARENTCOLORCHANGED);
    Control->Perform(CM_PARENTFONTCHANGED);
  }
}

}  // namespace

void LoadPictureValue(TPicture& Picture, const TStreamValue& Value, const std::string& Property) {
  LoadPictureValue(Picture, Value, Property, TReadContext{});
}

void LoadPictureValue(TPicture& Picture, const TStreamValue& Value, const std::string& Property,
                      const TReadContext& Context) {
  const auto* Binary = Value.Get<TBinaryValue>();
  if (!Binary)
    BadValue(Property, "a picture");
  // Broken picture data is a bad value like any other: an EReadError naming the property.
  try {
    auto Decoded = DecodePictureValue(Binary->Bytes);
    if (Context.DoubleSize) {
      Picture.SetDoubleSize(std::move(Decoded.Data));
      return;
    }
    Picture.LoadFromData(Decoded.ClassName, std::move(Decoded.Data));
  } catch (const Exception& E) {
    throw EReadError("Invalid property value for " + Property + ": " + E.Message());
  }
}

TClassRegistry& TClassRegistry::Instance() {
  static TClassRegistry* Registry = [] {
    auto* R = new TClassRegistry;
    RegisterFrameworkClasses(*R);
    return R;
  }();
  return *Registry;
}

const TClassRegistry::TClassInfo* TClassRegistry::Find(const std::string& Name) const {
  for (const auto& Info : FClasses)
    if (Info.Name == Name)
      return &Info;
  return nullptr;
}

TClassRegistry::TClassInfo& TClassRegistry::Entry(const std::string& Name) {
  if (const auto* Info = Find(Name))
    return const_cast<TClassInfo&>(*Info);
  FClasses.push_back({Name, {}, nullptr, {}});
  return FClasses.back();
}

void TClassRegistry::RegisterClass(const std::string& Name, const std::string& Parent, TComponentFactory Factory) {
  auto& Info = Entry(Name);
  Info.Parent = Parent;
  Info.Factory = Factory;
}

TPublishedProperty& TClassRegistry::Add(const std::string& ClassName, TPublishedProperty Property) {
  return ReplaceOrAppend(Entry(ClassName).Properties, std::move(Property),
                         [](const TPublishedProperty& P) -> const std::string& { return P.FName; });
}

void TClassRegistry::HideProperty(const std::string& ClassName, const std::string& Property) {
  Add(ClassName, TPublishedProperty(Property, TPublishedProperty::TInvoke{}));
}

TComponent* TClassRegistry::Create(const std::string& ClassName, TComponent* Owner) const {
  const auto* Info = Find(ClassName);
  if (!Info || !Info->Factory)
    throw EReadError("Class " + ClassName + " not found");
  return Info->Factory(Owner);
}

const TPublishedProperty& TClassRegistry::Setter(const std::string& ClassName, const std::string& Property) const {
  for (const auto* Info = Find(ClassName); Info; Info = Find(Info->Parent)) {
    const auto& Properties = Info->Properties;
    auto P = std::find_if(Properties.begin(), Properties.end(), [&](const auto& P) { return P.Name() == Property; });
    if (P != Properties.end()) {
      if (!P->Published())
        break;
      return *P;
    }
  }
  if (!Find(ClassName))
    throw EReadError("Class " + ClassName + " not found");
  throw EReadError("Error reading " + ClassName + "." + Property + ": Property " + Property + " does not exist");
}

void TClassRegistry::NotApplicable(const std::string& Property, TComponent& Instance) {
  throw EReadError("Property " + Property + " does not apply to " + Instance.Name());
}

std::int64_t IntegerValue(const TStreamValue& Value, const std::string& Property) {
  if (const auto* I = Value.Get<std::int64_t>())
    return *I;
  BadValue(Property, "an integer");
}

std::int64_t IntegerValue(const TStreamValue& Value, const std::string& Property, std::int64_t Min, std::int64_t Max) {
  const auto I = IntegerValue(Value, Property);
  if (I < Min || I > Max)
    throw EReadError("Invalid property value for " + Property + ": " + std::to_string(I) + " is outside " +
                     std::to_string(Min) + ".." + std::to_string(Max));
  return I;
}

bool BooleanValue(const TStreamValue& Value, const std::string& Property) {
  if (const auto* B = Value.Get<bool>())
    return *B;
  BadValue(Property, "True or False");
}

std::string StringValue(const TStreamValue& Value, const std::string& Property) {
  if (const auto* S = Value.Get<std::string>())
    return *S;
  if (const auto* U = Value.Get<TUtf8StringValue>())
    return U->Bytes;
  // Text in any script, as the package maker stores a label: spelt in the
  // code page the program's strings are in, "?" for what it lacks.
  if (const auto* W = Value.Get<TWideStringValue>()) {
    const auto* Units = reinterpret_cast<const wchar_t*>(W->Units.data());
    const int Count = static_cast<int>(W->Units.size());
    const int Length = WideCharToMultiByte(CP_ACP, 0, Units, Count, nullptr, 0, nullptr, nullptr);
    std::string Text(static_cast<std::size_t>(Length), '\0');
    WideCharToMultiByte(CP_ACP, 0, Units, Count, Text.data(), static_cast<int>(Text.size()), nullptr, nullptr);
    return Text;
  }
  BadValue(Property, "a string");
}

std::string IdentValue(const TStreamValue& Value, const std::string& Property) {
  if (const auto* I = Value.Get<TIdentValue>())
    return I->Name;
  BadValue(Property, "an identifier");
}

std::vector<std::string> SetValue(const TStreamValue& Value, const std::string& Property) {
  if (const auto* S = Value.Get<TSetValue>())
    return S->Names;
  BadValue(Property, "a set");
}

TColor ColorValue(const TStreamValue& Value, const std::string& Property) {
  if (const auto* I = Value.Get<std::int64_t>()) {
    if (*I < INT32_MIN || *I > INT32_MAX)
      BadValue(Property, "a colour");
    return static_cast<TColor>(*I);
  }
  if (const auto* Ident = Value.Get<TIdentValue>())
    for (const auto& Named : NamedColors)
      if (Ident->Name == Named.Name)
        return Named.Value;
  BadValue(Property, "a colour");
}

int EnumValue(const TStreamValue& Value, const std::string& Property, const std::vector<const char*>& Names) {
  auto Name = IdentValue(Value, Property);
  for (std::size_t I = 0; I < Names.size(); ++I)
    if (Name == Names[I])
      return static_cast<int>(I);
  throw EReadError("Invalid property value for " + Property + ": " + Name);
}

unsigned SetBits(const TStreamValue& Value, const std::string& Property, const std::vector<const char*>& Names) {
  unsigned Bits = 0;
  for (auto& Name : SetValue(Value, Property))
    Bits |= 1u << EnumValue(TStreamValue::Ident(Name), Property, Names);
  return Bits;
}

TNotifyEvent HandlerValue(const TStreamValue& Value, const std::string& Property, TReadContext& Context) {
  return Context.Root->Handler(IdentValue(Value, Property));
}

void ReadDescription(TCustomForm& Root, const TStreamObject& Description) {
  TReadContext Context{&Root};
  std::vector<TComponent*> Loaded;
  Root.BeginLoading();
  Root.SetName(Description.Name);
  ReadObject(Description, Root, nullptr, Context, Loaded);
  for (auto* Component : Loaded)
    Component->Loaded();
}

namespace {

const TStreamObject* FindObject(const TStreamObject& Object, const std::string& Name) {
  if (Object.Name == Name)
    return &Object;
  for (const auto& Child : Object.Children)
    if (const auto* Found = FindObject(Child, Name))
      return Found;
  return nullptr;
}

// The stored object in the program's RCDATA resource ResName; false when there is none.
bool ReadResourceObject(const std::string& ResName, TStreamObject& Object) {
  auto Resource = TResourceBytes::Find(nullptr, MAKEINTRESOURCEA(10), ResName.c_str());
  if (!Resource)
    return false;
  auto Data = static_cast<const std::uint8_t*>(Resource->Data());
  TMemoryStream Stream(std::vector<std::uint8_t>(Data, Data + Resource->Size()));
  Object = ReadComponentStream(Stream);
  return true;
}

}  // namespace

void ReadDoubleSizePictures(TCustomForm& Root, const TStreamObject& Description, const TStreamObject& DoubleSize) {
  TReadContext Context{&Root, true};
  for (const auto& Property : DoubleSize.Properties) {
    const auto Dot = Property.Name.find('.');
    const std::string Name = Property.Name.substr(0, Dot);
    const auto* Object = FindObject(Description, Name);
    auto* Component = Name == Root.Name() ? &Root : Root.FindComponent(Name);
    if (Dot == std::string::npos || !Object || !Component)
      throw EReadError("Double-size picture " + Property.Name + " has no picture to double");
    TClassRegistry::Instance().Setter(Object->ClassName, Property.Name.substr(Dot + 1) + ".Data")(
        *Component, Property.Value, Context);
  }
  Root.SetHasDoubleSize(!DoubleSize.Properties.empty());
}

bool ReadDescriptionResource(TCustomForm& Root, const char* ResName) {
  TStreamObject Description, DoubleSize;
  if (!ReadResourceObject(ResName, Description))
    return false;
  ReadDescription(Root, Description);
  if (ReadResourceObject(std::string(ResName) + "2X", DoubleSize))
    ReadDoubleSizePictures(Root, Description, DoubleSize);
  Root.ScaleForDensity(SystemDpi(), true);
  return true;
}
