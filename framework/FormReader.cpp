#include "FormReader.h"

#include "Forms.h"
#include "Resources.h"
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
    {"clBlack", clBlack},         {"clMaroon", clMaroon},         {"clGreen", clGreen},
    {"clOlive", clOlive},         {"clNavy", clNavy},             {"clPurple", clPurple},
    {"clTeal", clTeal},           {"clGray", clGray},             {"clSilver", clSilver},
    {"clRed", clRed},             {"clLime", clLime},             {"clYellow", clYellow},
    {"clBlue", clBlue},           {"clFuchsia", clFuchsia},       {"clAqua", clAqua},
    {"clWhite", clWhite},         {"clNone", clNone},             {"clScrollBar", clScrollBar},
    {"clBackground", clBackground}, {"clWindow", clWindow},       {"clWindowText", clWindowText},
    {"clBtnFace", clBtnFace},     {"clBtnShadow", clBtnShadow},   {"clBtnText", clBtnText},
    {"clBtnHighlight", clBtnHighlight}, {"clHighlight", clHighlight}, {"clHighlightText", clHighlightText},
    {"clGrayText", clGrayText},   {"cl3DDkShadow", cl3DDkShadow}, {"cl3DLight", cl3DLight},
    {"clInfoBk", clInfoBk},
};

void RegisterFrameworkClasses(TClassRegistry& R) {
  R.RegisterClass("TComponent", "");
  R.RegisterClass("TControl", "TComponent");
  R.Property<TControl>("TControl", "Left", [](TControl& C, const TStreamValue& V, TReadContext&) {
    C.SetLeft(IntegerValue<int>(V, "Left"));
  });
  R.Property<TControl>("TControl", "Top", [](TControl& C, const TStreamValue& V, TReadContext&) {
    C.SetTop(IntegerValue<int>(V, "Top"));
  });
  R.Property<TControl>("TControl", "Width", [](TControl& C, const TStreamValue& V, TReadContext&) {
    C.SetWidth(IntegerValue<int>(V, "Width"));
  });
  R.Property<TControl>("TControl", "Height", [](TControl& C, const TStreamValue& V, TReadContext&) {
    C.SetHeight(IntegerValue<int>(V, "Height"));
  });
  R.Property<TControl>("TControl", "Caption", [](TControl& C, const TStreamValue& V, TReadContext&) {
    C.SetText(StringValue(V, "Caption"));
  });
  R.Property<TControl>("TControl", "Text", [](TControl& C, const TStreamValue& V, TReadContext&) {
    C.SetText(StringValue(V, "Text"));
  });
  R.Property<TControl>("TControl", "Color", [](TControl& C, const TStreamValue& V, TReadContext&) {
    C.SetColor(ColorValue(V, "Color"));
  });
  R.Property<TControl>("TControl", "ParentColor", [](TControl& C, const TStreamValue& V, TReadContext&) {
    C.SetParentColor(BooleanValue(V, "ParentColor"));
  });
  R.Property<TControl>("TControl", "ParentFont", [](TControl& C, const TStreamValue& V, TReadContext&) {
    C.SetParentFont(BooleanValue(V, "ParentFont"));
  });
  R.Property<TControl>("TControl", "Visible", [](TControl& C, const TStreamValue& V, TReadContext&) {
    C.SetVisible(BooleanValue(V, "Visible"));
  });
  R.Property<TControl>("TControl", "Enabled", [](TControl& C, const TStreamValue& V, TReadContext&) {
    C.SetEnabled(BooleanValue(V, "Enabled"));
  });
  R.Property<TControl>("TControl", "Font.Name", [](TControl& C, const TStreamValue& V, TReadContext&) {
    C.Font().SetName(StringValue(V, "Font.Name"));
  });
  R.Property<TControl>("TControl", "Font.Height", [](TControl& C, const TStreamValue& V, TReadContext&) {
    C.Font().SetHeight(IntegerValue<int>(V, "Font.Height"));
  });
  R.Property<TControl>("TControl", "Font.Charset", [](TControl& C, const TStreamValue& V, TReadContext&) {
    C.Font().SetCharset(EnumValue(V, "Font.Charset", {"ANSI_CHARSET", "DEFAULT_CHARSET", "SYMBOL_CHARSET"}));
  });
  R.Property<TControl>("TControl", "Font.Color", [](TControl& C, const TStreamValue& V, TReadContext&) {
    C.Font().SetColor(ColorValue(V, "Font.Color"));
  });
  R.Property<TControl>("TControl", "Font.Style", [](TControl& C, const TStreamValue& V, TReadContext&) {
    unsigned Style = 0;
    for (auto& Name : SetValue(V, "Font.Style"))
      Style |= 1u << EnumValue(TStreamValue::Ident(Name), "Font.Style", {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"});
    C.Font().SetStyle(Style);
  });
  auto Event = [&R](const char* Name, TNotifyEvent TControl::*Field) {
    R.Property<TControl>("TControl", Name, [Name, Field](TControl& C, const TStreamValue& V, TReadContext& X) {
      C.*Field = X.Root->Handler(IdentValue(V, Name));
    });
  };
  Event("OnClick", &TControl::OnClick);
  Event("OnDblClick", &TControl::OnDblClick);

  R.RegisterClass("TGraphicControl", "TControl");
  R.RegisterClass("TWinControl", "TControl");
  R.Property<TWinControl>("TWinControl", "TabOrder", [](TWinControl& C, const TStreamValue& V, TReadContext&) {
    C.SetTabOrder(static_cast<int>(IntegerValue(V, "TabOrder", -1, 32767)));
  });
  R.Property<TWinControl>("TWinControl", "TabStop", [](TWinControl& C, const TStreamValue& V, TReadContext&) {
    C.SetTabStop(BooleanValue(V, "TabStop"));
  });
  R.RegisterClass("TCustomControl", "TWinControl");

  R.RegisterClass("TCustomForm", "TWinControl");
  R.RegisterClass("TForm", "TCustomForm");
  R.Property<TCustomForm>("TCustomForm", "BorderStyle", [](TCustomForm& F, const TStreamValue& V, TReadContext&) {
    F.SetBorderStyle(static_cast<TFormBorderStyle>(EnumValue(
        V, "BorderStyle", {"bsNone", "bsSingle", "bsSizeable", "bsDialog", "bsToolWindow", "bsSizeToolWin"})));
  });
  R.Property<TCustomForm>("TCustomForm", "BorderIcons", [](TCustomForm& F, const TStreamValue& V, TReadContext&) {
    unsigned Icons = 0;
    for (auto& Name : SetValue(V, "BorderIcons"))
      Icons |= 1u << EnumValue(TStreamValue::Ident(Name), "BorderIcons", {"biSystemMenu", "biMinimize", "biMaximize", "biHelp"});
    F.SetBorderIcons(Icons);
  });
  R.Property<TCustomForm>("TCustomForm", "Position", [](TCustomForm& F, const TStreamValue& V, TReadContext&) {
    F.SetPosition(static_cast<TPosition>(EnumValue(
        V, "Position", {"poDesigned", "poDefault", "poDefaultPosOnly", "poDefaultSizeOnly", "poScreenCenter"})));
  });
  R.Property<TCustomForm>("TCustomForm", "ClientWidth", [](TCustomForm& F, const TStreamValue& V, TReadContext&) {
    F.SetClientWidth(IntegerValue<int>(V, "ClientWidth"));
  });
  R.Property<TCustomForm>("TCustomForm", "ClientHeight", [](TCustomForm& F, const TStreamValue& V, TReadContext&) {
    F.SetClientHeight(IntegerValue<int>(V, "ClientHeight"));
  });
  R.Property<TCustomForm>("TCustomForm", "AutoScroll", [](TCustomForm& F, const TStreamValue& V, TReadContext&) {
    F.SetAutoScroll(BooleanValue(V, "AutoScroll"));
  });
  R.Property<TCustomForm>("TCustomForm", "OnCreate", [](TCustomForm& F, const TStreamValue& V, TReadContext& X) {
    F.OnCreate = X.Root->Handler(IdentValue(V, "OnCreate"));
  });
  // Design-time facts the running program has no use for.
  for (const char* Ignored : {"PixelsPerInch", "TextHeight", "OldCreateOrder"})
    R.RegisterProperty("TCustomForm", Ignored, [](TComponent&, const TStreamValue&, TReadContext&) {});

  R.RegisterClass("TImage", "TGraphicControl", [](TComponent* Owner) { return new TImage(Owner); });
  R.Property<TImage>("TImage", "AutoSize", [](TImage& C, const TStreamValue& V, TReadContext&) {
    C.SetAutoSize(BooleanValue(V, "AutoSize"));
  });
  R.Property<TImage>("TImage", "Picture.Data", [](TImage& C, const TStreamValue& V, TReadContext&) {
    LoadPictureValue(C.Picture(), V, "Picture.Data");
  });

  R.RegisterClass("TLabel", "TGraphicControl", [](TComponent* Owner) { return new TLabel(Owner); });
  R.Property<TLabel>("TLabel", "AutoSize", [](TLabel& C, const TStreamValue& V, TReadContext&) {
    C.SetAutoSize(BooleanValue(V, "AutoSize"));
  });
  R.Property<TLabel>("TLabel", "Transparent", [](TLabel& C, const TStreamValue& V, TReadContext&) {
    C.SetTransparent(BooleanValue(V, "Transparent"));
  });

  R.RegisterClass("TCustomEdit", "TWinControl");
  R.RegisterClass("TEdit", "TCustomEdit", [](TComponent* Owner) { return new TEdit(Owner); });
  R.Property<TCustomEdit>("TCustomEdit", "ReadOnly", [](TCustomEdit& C, const TStreamValue& V, TReadContext&) {
    C.SetReadOnly(BooleanValue(V, "ReadOnly"));
  });
  R.Property<TCustomEdit>("TCustomEdit", "MaxLength", [](TCustomEdit& C, const TStreamValue& V, TReadContext&) {
    C.SetMaxLength(IntegerValue<int>(V, "MaxLength"));
  });
  R.Property<TCustomEdit>("TCustomEdit", "AutoSize", [](TCustomEdit& C, const TStreamValue& V, TReadContext&) {
    C.SetAutoSize(BooleanValue(V, "AutoSize"));
  });
  R.Property<TCustomEdit>("TCustomEdit", "Ctl3D", [](TCustomEdit& C, const TStreamValue& V, TReadContext&) {
    C.SetCtl3D(BooleanValue(V, "Ctl3D"));
  });
  R.Property<TCustomEdit>("TCustomEdit", "BorderStyle", [](TCustomEdit& C, const TStreamValue& V, TReadContext&) {
    C.SetBorderStyle(static_cast<TFormBorderStyle>(EnumValue(V, "BorderStyle", {"bsNone", "bsSingle"})));
  });
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
  const auto* Binary = Value.Get<TBinaryValue>();
  if (!Binary)
    BadValue(Property, "a picture");
  // Broken picture data is a bad value like any other: an EReadError naming the property.
  try {
    auto Decoded = DecodePictureValue(Binary->Bytes);
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

void TClassRegistry::RegisterClass(const std::string& Name, const std::string& Parent, TComponentFactory Factory) {
  auto& Info = FClasses[Name];
  Info.Parent = Parent;
  Info.Factory = std::move(Factory);
}

void TClassRegistry::RegisterProperty(const std::string& ClassName, const std::string& Property,
                                      TPropertySetter Setter) {
  FClasses[ClassName].Properties[Property] = std::move(Setter);
}

TComponent* TClassRegistry::Create(const std::string& ClassName, TComponent* Owner) const {
  auto It = FClasses.find(ClassName);
  if (It == FClasses.end() || !It->second.Factory)
    throw EReadError("Class " + ClassName + " not found");
  return It->second.Factory(Owner);
}

const TPropertySetter& TClassRegistry::Setter(const std::string& ClassName, const std::string& Property) const {
  for (auto It = FClasses.find(ClassName); It != FClasses.end(); It = FClasses.find(It->second.Parent)) {
    if (auto P = It->second.Properties.find(Property); P != It->second.Properties.end())
      return P->second;
  }
  if (!FClasses.count(ClassName))
    throw EReadError("Class " + ClassName + " not found");
  throw EReadError("Error reading " + ClassName + "." + Property + ": Property " + Property + " does not exist");
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

int EnumValue(const TStreamValue& Value, const std::string& Property, const std::vector<std::string>& Names) {
  auto Name = IdentValue(Value, Property);
  for (std::size_t I = 0; I < Names.size(); ++I)
    if (Names[I] == Name)
      return static_cast<int>(I);
  throw EReadError("Invalid property value for " + Property + ": " + Name);
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

bool ReadDescriptionResource(TCustomForm& Root, const char* ResName) {
  auto Resource = TResourceBytes::Find(nullptr, MAKEINTRESOURCEA(10), ResName);
  if (!Resource)
    return false;
  auto Data = static_cast<const std::uint8_t*>(Resource->Data());
  TMemoryStream Stream(std::vector<std::uint8_t>(Data, Data + Resource->Size()));
  ReadDescription(Root, ReadComponentStream(Stream));
  return true;
}
