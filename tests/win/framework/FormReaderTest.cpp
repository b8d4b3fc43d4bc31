// The description reader building live controls: test classes registered
// here keep a journal of everything that happens to them while a description
// is read (parent set, each property with the kind of value it came as, the
// parent colour and font notifications, Loaded), and the journal is checked
// for the order the reader promises.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "ComponentStream.h"
#include "FormReader.h"
#include "GraphicsTestSupport.h"
#include "ScreenDensity.h"
#include "StdCtrls.h"

using namespace GfxTest;

namespace {

std::vector<std::string> Journal;

std::string Number(double Value) {
  char Text[32];
  std::snprintf(Text, sizeof Text, "%g", Value);
  return Text;
}

// A value as the journal shows it: its kind and what it holds.
std::string Describe(const TStreamValue& V) {
  switch (V.Kind()) {
    case TValueKind::vkNull:
      return "null";
    case TValueKind::vkList: {
      std::string Text = "list(";
      for (const auto& Item : *V.Get<std::vector<TStreamValue>>())
        Text += (Text.back() == '(' ? "" : ", ") + Describe(Item);
      return Text + ")";
    }
    case TValueKind::vkInteger:
      return "integer " + std::to_string(*V.Get<std::int64_t>());
    case TValueKind::vkExtended:
      return "extended " + Number(V.Get<TExtendedValue>()->ToDouble());
    case TValueKind::vkString: {
      const auto& S = *V.Get<std::string>();
      return S.size() > 40 ? "string of " + std::to_string(S.size()) + " bytes" : "string '" + S + "'";
    }
    case TValueKind::vkIdent:
      return "ident " + V.Get<TIdentValue>()->Name;
    case TValueKind::vkBoolean:
      return *V.Get<bool>() ? "boolean True" : "boolean False";
    case TValueKind::vkBinary:
      return "binary of " + std::to_string(V.Get<TBinaryValue>()->Bytes.size()) + " bytes";
    case TValueKind::vkSet: {
      std::string Text = "set [";
      for (const auto& Name : V.Get<TSetValue>()->Names)
        Text += (Text.back() == '[' ? "" : ",") + Name;
      return Text + "]";
    }
    case TValueKind::vkNil:
      return "nil";
    case TValueKind::vkCollection:
      return "collection of " + std::to_string(V.Get<TCollectionValue>()->Items.size()) + " items";
    case TValueKind::vkSingle:
      return "single " + Number(V.Get<TSingleValue>()->ToFloat());
    case TValueKind::vkCurrency:
      return "currency " + std::to_string(V.Get<TCurrencyValue>()->Scaled);
    case TValueKind::vkDate:
      return "date " + Number(V.Get<TDateValue>()->ToDouble());
    case TValueKind::vkWideString:
      return "wide string of " + std::to_string(V.Get<TWideStringValue>()->Units.size()) + " units";
    case TValueKind::vkUtf8String:
      return "utf8 string '" + V.Get<TUtf8StringValue>()->Bytes + "'";
    case TValueKind::vkDouble:
      return "double " + Number(V.Get<TDoubleValue>()->ToDouble());
  }
  return "?";
}

// Journals being given a parent, the parent colour and font notifications and Loaded.
template <typename Base>
class TRecording : public Base {
 public:
  using Base::Base;

  void SetParent(TWinControl* Value) override {
    Journal.push_back(this->Name() + " SetParent " + (Value ? Value->Name() : "none"));
    Base::SetParent(Value);
  }
  void Dispatch(TMessage& Message) override {
    if (Message.Msg == CM_PARENTCOLORCHANGED)
      Journal.push_back(this->Name() + " parent colour");
    if (Message.Msg == CM_PARENTFONTCHANGED)
      Journal.push_back(this->Name() + " parent font");
    Base::Dispatch(Message);
  }
  void Loaded() override {
    // How much of the tree is there by now: the root's components.
    const TComponent* Root = this->Owner() ? this->Owner() : this;
    Journal.push_back(this->Name() + " Loaded" + (this->InState(csLoading) ? "" : " (not loading)") + " with " +
                      std::to_string(Root->Components().size()) + " components");
    Base::Loaded();
  }

  // The state a setter found the component in.
  std::string State() const {
    const TControl* Parent = this->Parent();
    return std::string(this->InState(csLoading) ? "{loading" : "{NOT loading") + ", parent " +
           (Parent ? Parent->Name() : "none") + "}";
  }
};

class TTestForm : public TRecording<TForm> {
 public:
  using TRecording::TRecording;
  std::int64_t Tag = 0;
};

class TTestPanel : public TRecording<TWinControl> {
 public:
  using TRecording::TRecording;
};

class TTestGadget : public TRecording<TGraphicControl> {
 public:
  using TRecording::TRecording;
  std::int64_t Number = 0;
  std::string Words, Choice, Unicode;
  bool Flag = false;
  std::vector<std::string> Options;
  TPicture Picture;
};

class TTestSubGadget : public TTestGadget {
 public:
  using TTestGadget::TTestGadget;
  bool Sub = false;
};

// How a test class keeps a value, by property name; the framework's setters
// are plain functions, so these live here.
template <typename T>
using TStore = std::function<void(T&, const TStreamValue&)>;
template <typename T>
std::vector<std::pair<std::string, TStore<T>>>& Stores() {
  static std::vector<std::pair<std::string, TStore<T>>> List;
  return List;
}

// Setters that journal "Name.Property value {state}" and then store the value
// through the framework's conversions.
template <typename T>
void Recorded(const std::string& ClassName, const std::string& Property, TStore<T> Store = nullptr) {
  Stores<T>().emplace_back(Property, std::move(Store));
  TClassRegistry::Instance().Published<T>(ClassName).Raw(
      Property.c_str(), [](T& C, const TPublishedProperty& P, const TStreamValue& V, TReadContext&) {
        Journal.push_back(C.Name() + "." + P.Name() + " " + Describe(V) + " " + C.State());
        for (const auto& [Name, Store] : Stores<T>())
          if (Name == P.Name() && Store)
            Store(C, V);
      });
}

void RegisterTestClasses() {
  static bool Done = false;
  if (Done)
    return;
  Done = true;
  auto& R = TClassRegistry::Instance();
  R.RegisterClass("TTestForm", "TForm");
  Recorded<TTestForm>("TTestForm", "Tag", [](TTestForm& F, const TStreamValue& V) { F.Tag = IntegerValue(V, "Tag"); });

  R.RegisterClass("TTestPanel", "TWinControl", [](TComponent* Owner) { return new TTestPanel(Owner); });

  R.RegisterClass("TTestGadget", "TGraphicControl", [](TComponent* Owner) { return new TTestGadget(Owner); });
  Recorded<TTestGadget>("TTestGadget", "Number",
                        [](TTestGadget& G, const TStreamValue& V) { G.Number = IntegerValue(V, "Number"); });
  Recorded<TTestGadget>("TTestGadget", "Words",
                        [](TTestGadget& G, const TStreamValue& V) { G.Words = StringValue(V, "Words"); });
  Recorded<TTestGadget>("TTestGadget", "Choice",
                        [](TTestGadget& G, const TStreamValue& V) { G.Choice = IdentValue(V, "Choice"); });
  Recorded<TTestGadget>("TTestGadget", "Flag",
                        [](TTestGadget& G, const TStreamValue& V) { G.Flag = BooleanValue(V, "Flag"); });
  Recorded<TTestGadget>("TTestGadget", "Options",
                        [](TTestGadget& G, const TStreamValue& V) { G.Options = SetValue(V, "Options"); });
  Recorded<TTestGadget>("TTestGadget", "Unicode",
                        [](TTestGadget& G, const TStreamValue& V) { G.Unicode = StringValue(V, "Unicode"); });
  Recorded<TTestGadget>("TTestGadget", "Picture.Data",
                        [](TTestGadget& G, const TStreamValue& V) { LoadPictureValue(G.Picture, V, "Picture.Data"); });
  // Values only journalled.
  for (const char* Name :
       {"Items", "Real", "Small", "Precise", "Money", "When", "Wide", "Nothing", "Rows", "Long", "Big"})
    Recorded<TTestGadget>("TTestGadget", Name);

  R.RegisterClass("TTestSubGadget", "TTestGadget", [](TComponent* Owner) { return new TTestSubGadget(Owner); });
  Recorded<TTestSubGadget>("TTestSubGadget", "Sub",
                           [](TTestSubGadget& G, const TStreamValue& V) { G.Sub = BooleanValue(V, "Sub"); });

  // Known, but only to derive from.
  R.RegisterClass("TTestAbstract", "TGraphicControl");
}

TStreamProperty Prop(std::string Name, TStreamValue Value) { return {std::move(Name), std::move(Value)}; }

TStreamObject Object(std::string ClassName, std::string Name, std::vector<TStreamProperty> Properties,
                     std::vector<TStreamObject> Children = {}) {
  TStreamObject O;
  O.ClassName = std::move(ClassName);
  O.Name = std::move(Name);
  O.Properties = std::move(Properties);
  O.Children = std::move(Children);
  return O;
}

std::vector<std::uint8_t> JpegPicture() { return EncodePictureValue({"TJPEGImage", JpegFixture("small.jpg")}); }

// A form with a panel (holding a gadget), two gadgets of their own, and a
// label, an image and an edit of the framework's.
TStreamObject FullDescription() {
  TCollectionItem Row;
  Row.Order = 3;
  Row.Properties.push_back(Prop("Caption", TStreamValue::String("row")));
  return Object(
      "TTestForm", "ReaderForm",
      {Prop("Left", TStreamValue::Integer(60)), Prop("Top", TStreamValue::Integer(50)),
       Prop("Caption", TStreamValue::String("Read from a description")),
       Prop("ClientWidth", TStreamValue::Integer(320)), Prop("ClientHeight", TStreamValue::Integer(200)),
       Prop("Color", TStreamValue::Ident("clYellow")), Prop("Font.Height", TStreamValue::Integer(-13)),
       Prop("Tag", TStreamValue::Integer(77)), Prop("OnCreate", TStreamValue::Ident("FormCreate")),
       Prop("PixelsPerInch", TStreamValue::Integer(96)), Prop("TextHeight", TStreamValue::Integer(13))},
      {Object("TTestPanel", "Panel1",
              {Prop("Left", TStreamValue::Integer(150)), Prop("Top", TStreamValue::Integer(10)),
               Prop("Width", TStreamValue::Integer(160)), Prop("Height", TStreamValue::Integer(100)),
               Prop("Color", TStreamValue::Integer(clAqua))},
              {Object("TTestGadget", "Gadget2",
                      {Prop("Number", TStreamValue::Integer(2)), Prop("Left", TStreamValue::Integer(4)),
                       Prop("ParentColor", TStreamValue::Boolean(true))})}),
       Object("TTestGadget", "Gadget1",
              {Prop("Left", TStreamValue::Integer(20)),
               Prop("Top", TStreamValue::Integer(30)),
               Prop("Width", TStreamValue::Integer(40)),
               Prop("Height", TStreamValue::Integer(20)),
               Prop("Words", TStreamValue::String("first")),
               Prop("Number", TStreamValue::Integer(-70000)),
               Prop("Choice", TStreamValue::Ident("chSecond")),
               Prop("Flag", TStreamValue::Boolean(true)),
               Prop("Options", TStreamValue::Set({"opA", "opC"})),
               Prop("Items", TStreamValue::List({TStreamValue::Integer(1), TStreamValue::String("two"),
                                                 TStreamValue::Ident("three"),
                                                 TStreamValue::List({TStreamValue::Boolean(false)})})),
               Prop("Unicode", TStreamValue::Utf8String("Gr\xC3\xBC\xC3\x9F"
                                                        "e \xE2\x82\xAC")),
               Prop("Real", TStreamValue::Extended(2.5)),
               Prop("Small", TStreamValue::Single(0.25f)),
               Prop("Precise", TStreamValue::Double(0.125)),
               Prop("Money", TStreamValue::Currency(123456)),
               Prop("When", TStreamValue::Date(45000.5)),
               Prop("Wide", TStreamValue::WideString(u"wide")),
               Prop("Nothing", TStreamValue::Nil()),
               Prop("Rows", TStreamValue::Collection({Row})),
               Prop("Long", TStreamValue::String(std::string(300, 'x'))),
               Prop("Picture.Data", TStreamValue::Binary(JpegPicture())),
               Prop("Number", TStreamValue::Integer(5)),
               Prop("OnClick", TStreamValue::Ident("GadgetClick")),
               Prop("Big", TStreamValue::Integer(std::int64_t{1} << 40)),
               Prop("Font.Style", TStreamValue::Set({"fsBold", "fsUnderline"}))}),
       Object("TTestSubGadget", "Gadget3",
              {Prop("Sub", TStreamValue::Boolean(true)), Prop("Left", TStreamValue::Integer(100)),
               Prop("Number", TStreamValue::Integer(3)), Prop("Color", TStreamValue::Ident("clBtnFace"))}),
       Object("TLabel", "Label1",
              {Prop("Left", TStreamValue::Integer(8)), Prop("Top", TStreamValue::Integer(120)),
               Prop("Width", TStreamValue::Integer(300)), Prop("Height", TStreamValue::Integer(40)),
               Prop("Caption", TStreamValue::String("Label text")), Prop("Font.Style", TStreamValue::Set({"fsBold"})),
               Prop("Font.Color", TStreamValue::Ident("clRed")), Prop("ParentFont", TStreamValue::Boolean(false))}),
       Object("TImage", "Image1",
              {Prop("Left", TStreamValue::Integer(70)), Prop("Top", TStreamValue::Integer(60)),
               Prop("Width", TStreamValue::Integer(10)), Prop("Height", TStreamValue::Integer(10)),
               Prop("AutoSize", TStreamValue::Boolean(true)), Prop("Picture.Data", TStreamValue::Binary(JpegPicture())),
               Prop("Hint", TStreamValue::WideString(u"Gr\u00FC\u00DFe \u20AC \u0416"))}),
       Object("TEdit", "Edit1",
              {Prop("Left", TStreamValue::Integer(8)), Prop("Top", TStreamValue::Integer(160)),
               Prop("Width", TStreamValue::Integer(120)), Prop("Height", TStreamValue::Integer(21)),
               Prop("Text", TStreamValue::String("edit text")), Prop("ReadOnly", TStreamValue::Boolean(true)),
               Prop("MaxLength", TStreamValue::Integer(12)), Prop("Ctl3D", TStreamValue::Boolean(false)),
               Prop("TabOrder", TStreamValue::Integer(0))})});
}

// The entries of the journal that start with Prefix.
std::vector<std::string> EntriesOf(const std::string& Prefix) {
  std::vector<std::string> Found;
  for (const auto& E : Journal)
    if (E.rfind(Prefix, 0) == 0)
      Found.push_back(E);
  return Found;
}

// Where an entry starting with Prefix is in the journal: the first or the last; -1 when none.
int IndexOf(const std::string& Prefix, bool Last = false) {
  int Found = -1;
  for (int I = 0; I < static_cast<int>(Journal.size()); ++I)
    if (Journal[I].rfind(Prefix, 0) == 0) {
      Found = I;
      if (!Last)
        break;
    }
  return Found;
}

std::string JournalText() {
  std::string Text;
  for (const auto& E : Journal)
    Text += "  " + E + "\n";
  return Text;
}

class ReaderTest : public FormTest {
 protected:
  void SetUp() override {
    RegisterTestClasses();
    Journal.clear();
  }

  // A form ready for a description: its handlers and fields registered.
  TTestForm* NewReaderForm() {
    auto* Form = NewForm<TTestForm>();
    Form->RegisterHandler("GadgetClick", [this](TObject* Sender) { Clicks.push_back(Sender); });
    Form->RegisterHandler("FormCreate", [this](TObject* Sender) { Created.push_back(Sender); });
    Form->RegisterField("Gadget1", Gadget1);
    Form->RegisterField("Gadget3", Gadget3);
    Form->RegisterField("Panel1", Panel1);
    Form->RegisterField("Label1", Label1);
    Form->RegisterField("Image1", Image1);
    Form->RegisterField("Edit1", Edit1);
    return Form;
  }

  // The message of the EReadError reading Description raises, or "no error".
  std::string ReadError(const TStreamObject& Description) {
    auto* Form = NewReaderForm();
    try {
      ReadDescription(*Form, Description);
    } catch (const EReadError& E) {
      return E.Message();
    } catch (const std::exception& E) {
      return std::string("not a read error: ") + E.what();
    }
    return "no error";
  }

  void CheckFullDescriptionRead(TTestForm* Form);

  std::vector<TObject*> Clicks, Created;
  TTestGadget* Gadget1 = nullptr;
  TTestSubGadget* Gadget3 = nullptr;
  TTestPanel* Panel1 = nullptr;
  TLabel* Label1 = nullptr;
  TImage* Image1 = nullptr;
  TEdit* Edit1 = nullptr;
};

void ReaderTest::CheckFullDescriptionRead(TTestForm* Form) {
  SCOPED_TRACE("journal:\n" + JournalText());
  // Every property setter, in the order stored, while loading and parented.
  const std::vector<std::string> Setters = {
      "ReaderForm.Tag integer 77 {loading, parent none}",
      "Gadget2.Number integer 2 {loading, parent Panel1}",
      "Gadget1.Words string 'first' {loading, parent ReaderForm}",
      "Gadget1.Number integer -70000 {loading, parent ReaderForm}",
      "Gadget1.Choice ident chSecond {loading, parent ReaderForm}",
      "Gadget1.Flag boolean True {loading, parent ReaderForm}",
      "Gadget1.Options set [opA,opC] {loading, parent ReaderForm}",
      "Gadget1.Items list(integer 1, string 'two', ident three, list(boolean False)) {loading, parent ReaderForm}",
      "Gadget1.Unicode utf8 string 'Gr\xC3\xBC\xC3\x9F"
      "e \xE2\x82\xAC' {loading, parent ReaderForm}",
      "Gadget1.Real extended 2.5 {loading, parent ReaderForm}",
      "Gadget1.Small single 0.25 {loading, parent ReaderForm}",
      "Gadget1.Precise double 0.125 {loading, parent ReaderForm}",
      "Gadget1.Money currency 123456 {loading, parent ReaderForm}",
      "Gadget1.When date 45000.5 {loading, parent ReaderForm}",
      "Gadget1.Wide wide string of 4 units {loading, parent ReaderForm}",
      "Gadget1.Nothing nil {loading, parent ReaderForm}",
      "Gadget1.Rows collection of 1 items {loading, parent ReaderForm}",
      "Gadget1.Long string of 300 bytes {loading, parent ReaderForm}",
      "Gadget1.Picture.Data binary of " + std::to_string(JpegPicture().size()) + " bytes {loading, parent ReaderForm}",
      "Gadget1.Number integer 5 {loading, parent ReaderForm}",
      "Gadget1.Big integer 1099511627776 {loading, parent ReaderForm}",
      "Gadget3.Sub boolean True {loading, parent ReaderForm}",
      "Gadget3.Number integer 3 {loading, parent ReaderForm}",
  };
  std::vector<std::string> Seen;
  for (const auto& E : Journal)
    if (E.find('{') != std::string::npos)
      Seen.push_back(E);
  EXPECT_EQ(Seen, Setters);

  // Each child has its parent before its first property.
  for (auto [Child, Parent] : {std::pair{"Gadget1", "ReaderForm"},
                               {"Gadget2", "Panel1"},
                               {"Gadget3", "ReaderForm"},
                               {"Panel1", "ReaderForm"}}) {
    const int Parented = IndexOf(std::string(Child) + " SetParent " + Parent);
    ASSERT_GE(Parented, 0) << Child << " was never given its parent";
    EXPECT_EQ(EntriesOf(std::string(Child) + " SetParent ").size(), 1u) << Child;
    const int FirstSetter = IndexOf(std::string(Child) + ".");
    if (FirstSetter >= 0) {
      EXPECT_LT(Parented, FirstSetter) << Child;
    }
  }

  // The parent's colour and font are told after the last property, before any Loaded.
  const int FirstLoaded = IndexOf("ReaderForm Loaded");
  ASSERT_GE(FirstLoaded, 0);
  for (const char* Child : {"Gadget1", "Gadget2", "Gadget3", "Panel1"}) {
    const int Colour = IndexOf(std::string(Child) + " parent colour", true);
    const int Font = IndexOf(std::string(Child) + " parent font", true);
    const int LastSetter = IndexOf(std::string(Child) + ".", true);
    EXPECT_GT(Colour, LastSetter) << Child;
    EXPECT_GT(Font, Colour) << Child;
    EXPECT_LT(Font, FirstLoaded) << Child;
  }

  // Loaded last of all, once for each, with the whole tree there and still loading.
  const std::vector<std::string> Loaded = {"ReaderForm Loaded with 7 components", "Panel1 Loaded with 7 components",
                                           "Gadget2 Loaded with 7 components", "Gadget1 Loaded with 7 components",
                                           "Gadget3 Loaded with 7 components"};
  EXPECT_EQ(std::vector<std::string>(Journal.begin() + FirstLoaded, Journal.end()), Loaded);
  EXPECT_FALSE(Form->InState(csLoading));
  for (auto* C : Form->Components())
    EXPECT_FALSE(C->InState(csLoading | csReading)) << C->Name();

  // The form itself.
  EXPECT_EQ(Form->Name(), "ReaderForm");
  EXPECT_EQ(Form->Tag, 77);
  EXPECT_EQ(Form->Caption(), "Read from a description");
  EXPECT_EQ(Form->ClientWidth(), 320);
  EXPECT_EQ(Form->ClientHeight(), 200);
  EXPECT_EQ(Form->Color(), clYellow);
  EXPECT_EQ(Form->Font().Height(), -13);
  ASSERT_TRUE(Form->OnCreate);
  Form->OnCreate(Form);
  EXPECT_EQ(Created, std::vector<TObject*>{Form});

  // Fields point at the live components, each owned by the form.
  ASSERT_NE(Gadget1, nullptr);
  ASSERT_NE(Gadget3, nullptr);
  ASSERT_NE(Panel1, nullptr);
  ASSERT_NE(Label1, nullptr);
  ASSERT_NE(Image1, nullptr);
  ASSERT_NE(Edit1, nullptr);
  EXPECT_EQ(Gadget1, Form->FindComponent("Gadget1"));
  EXPECT_EQ(Edit1, Form->FindComponent("Edit1"));
  for (auto* C : Form->Components())
    EXPECT_EQ(C->Owner(), Form) << C->Name();
  auto* Gadget2 = dynamic_cast<TTestGadget*>(Form->FindComponent("Gadget2"));
  ASSERT_NE(Gadget2, nullptr);
  EXPECT_EQ(Gadget2->Parent(), Panel1);
  EXPECT_EQ(Gadget2->Left(), 4);

  // The values arrived, converted.
  EXPECT_EQ(Gadget1->Number, 5);
  EXPECT_EQ(Gadget1->Words, "first");
  EXPECT_EQ(Gadget1->Choice, "chSecond");
  EXPECT_TRUE(Gadget1->Flag);
  EXPECT_EQ(Gadget1->Options, (std::vector<std::string>{"opA", "opC"}));
  EXPECT_EQ(Gadget1->Unicode,
            "Gr\xC3\xBC\xC3\x9F"
            "e \xE2\x82\xAC");
  ASSERT_NE(dynamic_cast<TJPEGImage*>(Gadget1->Picture.Graphic()), nullptr);
  EXPECT_EQ(dynamic_cast<TJPEGImage&>(*Gadget1->Picture.Graphic()).Data(), JpegFixture("small.jpg"));
  EXPECT_EQ(Gadget1->Font().Style(), unsigned(fsBold | fsUnderline));
  EXPECT_EQ(Gadget1->BoundsRect().left, 20);
  EXPECT_EQ(Gadget1->Width(), 40);
  EXPECT_TRUE(Gadget1->OnClick);
  EXPECT_FALSE(Gadget3->OnClick);
  EXPECT_TRUE(Gadget3->Sub);
  EXPECT_EQ(Gadget3->Number, 3);
  EXPECT_EQ(Gadget3->Left(), 100);
  EXPECT_EQ(Gadget3->Color(), clBtnFace);
  EXPECT_FALSE(Gadget3->ParentColor());

  // Colours came down from the parents that have ParentColor.
  EXPECT_EQ(Panel1->Color(), clAqua);
  EXPECT_EQ(Gadget2->Color(), clAqua);
  EXPECT_EQ(Gadget1->Color(), clYellow);
  EXPECT_EQ(Gadget1->Font().Height(), -13) << "the form's font did not come down";

  // The framework's controls are live and loaded.
  EXPECT_EQ(Label1->Caption(), "Label text");
  EXPECT_EQ(Label1->Font().Color(), clRed);
  EXPECT_EQ(Label1->Font().Style(), unsigned(fsBold));
  EXPECT_FALSE(Label1->ParentFont());
  auto* Measure = new TLabel(Form);
  Measure->Font().Assign(Label1->Font());
  Measure->SetCaption("Label text");
  EXPECT_EQ(Label1->Width(), Measure->Width()) << "the label was not sized to its text once loaded";
  EXPECT_EQ(Label1->Height(), Measure->Height());
  EXPECT_LT(Label1->Width(), 300);
  delete Measure;
  EXPECT_EQ(Image1->Width(), 28);
  EXPECT_EQ(Image1->Height(), 9);
  EXPECT_EQ(Image1->Left(), 70);
  // Wide text in the program's code page (1252 here), "?" for what it lacks.
  EXPECT_EQ(Image1->Hint(),
            "Gr\xFC\xDF"
            "e \x80 ?");
  EXPECT_EQ(Edit1->Text(), "edit text");
  EXPECT_TRUE(Edit1->ReadOnly());
  EXPECT_EQ(Edit1->MaxLength(), 12);
  EXPECT_FALSE(Edit1->Ctl3D());
  EXPECT_EQ(Edit1->TabOrder(), 0);
}

}  // namespace

TEST_F(ReaderTest, ADescriptionOfEveryValueKindLoadsIntoLiveControlsInStoredOrder) {
  auto* Form = NewReaderForm();
  ReadDescription(*Form, FullDescription());
  CheckFullDescriptionRead(Form);
}

TEST_F(ReaderTest, TheSameDescriptionLoadsAlikeAfterARoundTripThroughTheBinaryStream) {
  const TStreamObject Description = FullDescription();
  TMemoryStream Stream;
  WriteComponentStream(Stream, Description);
  ASSERT_GT(Stream.Size(), 4);
  EXPECT_EQ(std::string(Stream.Data().begin(), Stream.Data().begin() + 4), "TPF0");
  Stream.SetPosition(0);
  const TStreamObject Back = ReadComponentStream(Stream);
  EXPECT_EQ(Back, Description);
  auto* Form = NewReaderForm();
  ReadDescription(*Form, Back);
  CheckFullDescriptionRead(Form);
}

TEST_F(ReaderTest, AnOnClickNamingAHandlerIsWiredAndAClickRunsIt) {
  auto* Form = NewReaderForm();
  ReadDescription(*Form, FullDescription());
  ASSERT_NE(Gadget1, nullptr);
  ShowPainted(Form);
  const LPARAM Middle = MAKELPARAM(Gadget1->Left() + 5, Gadget1->Top() + 5);
  PostMessageA(Form->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, Middle);
  PostMessageA(Form->Handle(), WM_LBUTTONUP, 0, Middle);
  EXPECT_TRUE(PumpUntil([&] { return !Clicks.empty(); }));
  EXPECT_EQ(Clicks, std::vector<TObject*>{Gadget1});
  // Posted to the form while a box has it disabled, as the box's loop delivers it: nothing.
  EnableWindow(Form->Handle(), FALSE);
  PostMessageA(Form->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, Middle);
  PostMessageA(Form->Handle(), WM_LBUTTONUP, 0, Middle);
  Application->ProcessMessages();
  EnableWindow(Form->Handle(), TRUE);
  // A click on the other gadget, which has no handler, runs nothing.
  const LPARAM Other = MAKELPARAM(Gadget3->Left() + 2, Gadget3->Top() + 2);
  PostMessageA(Form->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, Other);
  PostMessageA(Form->Handle(), WM_LBUTTONUP, 0, Other);
  Application->ProcessMessages();
  EXPECT_EQ(Clicks.size(), 1u);
}

TEST_F(ReaderTest, AnUnknownClassIsAReadErrorNamingIt) {
  const std::string Message = ReadError(
      Object("TTestForm", "F", {}, {Object("TTestGadget", "Fine", {}), Object("TNoSuchWidget", "Widget1", {})}));
  EXPECT_NE(Message.find("TNoSuchWidget"), std::string::npos) << Message;
  const std::string Abstract = ReadError(Object("TTestForm", "F", {}, {Object("TTestAbstract", "A1", {})}));
  EXPECT_NE(Abstract.find("TTestAbstract"), std::string::npos) << Abstract;
}

TEST_F(ReaderTest, AnUnknownPropertyIsAReadErrorNamingItAndItsClass) {
  const std::string Message = ReadError(
      Object("TTestForm", "F", {}, {Object("TTestGadget", "G", {Prop("Colour", TStreamValue::Ident("clRed"))})}));
  EXPECT_NE(Message.find("Colour"), std::string::npos) << Message;
  EXPECT_NE(Message.find("TTestGadget"), std::string::npos) << Message;
  // A property of a derived class is not one of its base.
  const std::string Base =
      ReadError(Object("TTestForm", "F", {}, {Object("TTestGadget", "G", {Prop("Sub", TStreamValue::Boolean(true))})}));
  EXPECT_NE(Base.find("Sub"), std::string::npos) << Base;
  // Nor of the form.
  const std::string Root = ReadError(Object("TTestForm", "F", {Prop("Wobble", TStreamValue::Integer(1))}));
  EXPECT_NE(Root.find("Wobble"), std::string::npos) << Root;
}

TEST_F(ReaderTest, AValueOfTheWrongKindIsAReadErrorNamingTheProperty) {
  struct TCase {
    const char* ClassName;
    const char* Property;
    TStreamValue Value;
  };
  const TCase Cases[] = {
      {"TTestGadget", "Number", TStreamValue::String("12")},
      {"TTestGadget", "Flag", TStreamValue::Integer(1)},
      {"TTestGadget", "Choice", TStreamValue::String("chFirst")},
      {"TTestGadget", "Options", TStreamValue::Ident("opA")},
      {"TTestGadget", "Picture.Data", TStreamValue::String("not a picture")},
      {"TLabel", "Caption", TStreamValue::Integer(5)},
      {"TLabel", "Left", TStreamValue::Boolean(true)},
      {"TLabel", "Font.Style", TStreamValue::Set({"fsBlinking"})},
      {"TLabel", "Color", TStreamValue::Ident("clNoSuchColour")},
      {"TEdit", "ReadOnly", TStreamValue::Ident("Yes")},
      {"TImage", "Picture.Data", TStreamValue::Binary({5, 'T', 'B', 'o', 'g', 'u'})},
      {"TImage", "Picture.Data", TStreamValue::Binary(EncodePictureValue({"TIcon", {0, 0, 1, 0, 1, 0}}))},
  };
  for (const auto& Case : Cases) {
    const std::string Message =
        ReadError(Object("TTestForm", "F", {}, {Object(Case.ClassName, "C1", {Prop(Case.Property, Case.Value)})}));
    EXPECT_NE(Message.find(Case.Property), std::string::npos)
        << Case.ClassName << "." << Case.Property << ": " << Message;
    EXPECT_EQ(Message.find("not a read error"), std::string::npos) << Message;
  }
}

TEST_F(ReaderTest, AnIntegerOutsideItsPropertysTypeIsRefusedNotCutDown) {
  // Cut down to 32 bits, 4294967301 would load as 5.
  auto Gadget = [](const char* Property, std::int64_t Value) {
    return Object("TTestForm", "F", {}, {Object("TTestGadget", "G", {Prop(Property, TStreamValue::Integer(Value))})});
  };
  EXPECT_EQ(ReadError(Gadget("Left", 4294967301)),
            "Invalid property value for Left: 4294967301 is outside -2147483648..2147483647");
  EXPECT_EQ(ReadError(Gadget("Width", -2147483649)),
            "Invalid property value for Width: -2147483649 is outside -2147483648..2147483647");
  EXPECT_EQ(ReadError(Object("TTestForm", "F", {Prop("ClientHeight", TStreamValue::Integer(1LL << 40))})),
            "Invalid property value for ClientHeight: 1099511627776 is outside -2147483648..2147483647");
  const auto Edit = Object("TEdit", "E", {Prop("TabOrder", TStreamValue::Integer(32768))});
  EXPECT_EQ(ReadError(Object("TTestForm", "F", {}, {Edit})),
            "Invalid property value for TabOrder: 32768 is outside -1..32767");
  // The ends of the range load as they are.
  auto* Form = NewReaderForm();
  ReadDescription(*Form, Object("TTestForm", "F", {},
                                {Object("TTestGadget", "Edge",
                                        {Prop("Left", TStreamValue::Integer(INT32_MIN)),
                                         Prop("Width", TStreamValue::Integer(INT32_MAX))})}));
  auto* Edge = dynamic_cast<TControl*>(Form->FindComponent("Edge"));
  ASSERT_NE(Edge, nullptr);
  EXPECT_EQ(Edge->Left(), INT32_MIN);
  EXPECT_EQ(Edge->Width(), INT32_MAX);
}

TEST_F(ReaderTest, AnUnknownHandlerIsAReadErrorNamingIt) {
  const std::string Message = ReadError(Object(
      "TTestForm", "F", {}, {Object("TTestGadget", "G", {Prop("OnClick", TStreamValue::Ident("NoSuchClick"))})}));
  EXPECT_NE(Message.find("NoSuchClick"), std::string::npos) << Message;
  const std::string Form = ReadError(Object("TTestForm", "F", {Prop("OnCreate", TStreamValue::Ident("NoSuchCreate"))}));
  EXPECT_NE(Form.find("NoSuchCreate"), std::string::npos) << Form;
  // A handler must be named by an identifier.
  const std::string Text = ReadError(Object(
      "TTestForm", "F", {}, {Object("TTestGadget", "G", {Prop("OnClick", TStreamValue::String("GadgetClick"))})}));
  EXPECT_NE(Text.find("OnClick"), std::string::npos) << Text;
}

TEST_F(ReaderTest, AFieldOfTheWrongClassIsAReadError) {
  // Gadget1 is registered as a gadget field; a label of that name does not fit it.
  const std::string Message = ReadError(Object("TTestForm", "F", {}, {Object("TLabel", "Gadget1", {})}));
  EXPECT_NE(Message.find("Gadget1"), std::string::npos) << Message;
}

TEST_F(ReaderTest, AComponentWithoutAFieldIsStillMadeAndFound) {
  auto* Form = NewReaderForm();
  ReadDescription(*Form, Object("TTestForm", "F", {},
                                {Object("TTestGadget", "Unfielded", {Prop("Number", TStreamValue::Integer(9))})}));
  auto* Gadget = dynamic_cast<TTestGadget*>(Form->FindComponent("Unfielded"));
  ASSERT_NE(Gadget, nullptr);
  EXPECT_EQ(Gadget->Number, 9);
  EXPECT_EQ(Gadget->Parent(), Form);
  EXPECT_EQ(Gadget1, nullptr);
}

namespace {

// A form designed at 96 pixels per inch: a label with a font of its own, an
// edit taking the form's font, a picture that sizes itself to its picture.
TStreamObject DesignedAt96(bool WithPixelsPerInch = true) {
  std::vector<TStreamProperty> Form = {Prop("ClientWidth", TStreamValue::Integer(443)),
                                       Prop("ClientHeight", TStreamValue::Integer(304)),
                                       Prop("Font.Height", TStreamValue::Integer(-11))};
  if (WithPixelsPerInch)
    Form.push_back(Prop("PixelsPerInch", TStreamValue::Integer(96)));
  return Object(
      "TTestForm", "F", Form,
      {Object("TLabel", "Label1",
              {Prop("Left", TStreamValue::Integer(24)), Prop("Top", TStreamValue::Integer(344)),
               Prop("Width", TStreamValue::Integer(134)), Prop("Height", TStreamValue::Integer(16)),
               Prop("AutoSize", TStreamValue::Boolean(false)), Prop("Font.Height", TStreamValue::Integer(-13)),
               Prop("ParentFont", TStreamValue::Boolean(false))}),
       Object("TEdit", "Edit1",
              {Prop("Left", TStreamValue::Integer(-8)), Prop("Top", TStreamValue::Integer(368)),
               Prop("Width", TStreamValue::Integer(309)), Prop("Height", TStreamValue::Integer(25)),
               Prop("AutoSize", TStreamValue::Boolean(false))}),
       Object("TImage", "Image1",
              {Prop("Left", TStreamValue::Integer(351)), Prop("Top", TStreamValue::Integer(210)),
               Prop("Width", TStreamValue::Integer(28)), Prop("Height", TStreamValue::Integer(9)),
               Prop("AutoSize", TStreamValue::Boolean(true)),
               Prop("Picture.Data", TStreamValue::Binary(JpegPicture()))})});
}

std::string BoundsOf(TControl* C) {
  return std::to_string(C->Left()) + "," + std::to_string(C->Top()) + " " + std::to_string(C->Width()) + "x" +
         std::to_string(C->Height());
}

}  // namespace

TEST_F(ReaderTest, AFormDesignedAt96IsLaidOutForTheScreensDensityAsItIsRead) {
  struct {
    int Dpi, M;
    const char *Client, *Label, *Edit, *Image;
    int LabelFont, EditFont;
  } Cases[] = {
      // Halves round away from zero, lengths and font heights alike; the
      // picture takes libjpeg's size, ceil(28 * M / 8) x ceil(9 * M / 8).
      {96, 8, "443x304", "24,344 134x16", "-8,368 309x25", "351,210 28x9", -13, -11},
      {120, 10, "554x380", "30,430 168x20", "-10,460 386x31", "439,263 35x12", -16, -14},
      {144, 12, "665x456", "36,516 201x24", "-12,552 464x38", "527,315 42x14", -20, -17},
      {192, 16, "886x608", "48,688 268x32", "-16,736 618x50", "702,420 56x18", -26, -22},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Dpi);
    auto* Form = NewReaderForm();
    ReadDescription(*Form, DesignedAt96());
    Form->ScaleForDensity(C.Dpi, false);
    EXPECT_EQ(Form->Scale().M(), C.M);
    EXPECT_EQ(std::to_string(Form->ClientWidth()) + "x" + std::to_string(Form->ClientHeight()), C.Client);
    EXPECT_EQ(BoundsOf(Label1), C.Label);
    EXPECT_EQ(BoundsOf(Edit1), C.Edit);
    EXPECT_EQ(BoundsOf(Image1), C.Image);
    EXPECT_EQ(Label1->Font().Height(), C.LabelFont);
    EXPECT_EQ(Edit1->Font().Height(), C.EditFont);
    EXPECT_EQ(Form->Font().Height(), C.EditFont);
    EXPECT_EQ(dynamic_cast<TJPEGImage&>(*Image1->Picture().Graphic()).Scale(), C.M);
  }
}

TEST_F(ReaderTest, AFormThatGivesNoPixelsPerInchStaysAsDesignedAtEveryDensity) {
  auto* Form = NewReaderForm();
  ReadDescription(*Form, DesignedAt96(false));
  Form->ScaleForDensity(192, true);
  EXPECT_EQ(Form->Scale().M(), 8);
  EXPECT_EQ(Form->ClientWidth(), 443);
  EXPECT_EQ(BoundsOf(Image1), "351,210 28x9");
  EXPECT_EQ(Label1->Font().Height(), -13);
}

TEST_F(ReaderTest, DoubleSizePicturesDrawInsteadOfTheirPictureAtEvenScales) {
  // A stand-in double of 450 x 304 for the 28 x 9 picture: whichever draws shows in the size.
  const auto Double = EncodePictureValue({"TJPEGImage", JpegFixture("gradient.jpg")});
  const TStreamObject Doubles = Object("TTestForm", "F", {Prop("Image1.Picture", TStreamValue::Binary(Double))});
  struct {
    int Dpi;
    const char* Image;
  } Cases[] = {{96, "351,210 28x9"},
               {120, "439,263 282x190"},
               {132, "483,289 39x13"},
               {192, "702,420 450x304"},
               {384, "1404,840 900x608"}};
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Dpi);
    auto* Form = NewReaderForm();
    const auto Description = DesignedAt96();
    ReadDescription(*Form, Description);
    ReadDoubleSizePictures(*Form, Description, Doubles);
    Form->ScaleForDensity(C.Dpi, false);
    EXPECT_EQ(BoundsOf(Image1), C.Image);
  }
  // Up to 32 with double-size pictures, up to 16 without.
  auto* Plain = NewReaderForm();
  ReadDescription(*Plain, DesignedAt96());
  Plain->ScaleForDensity(384, false);
  EXPECT_EQ(Plain->Scale().M(), 16);

  auto* Form = NewReaderForm();
  const auto Description = DesignedAt96();
  ReadDescription(*Form, Description);
  const std::string NoSuch = [&] {
    try {
      ReadDoubleSizePictures(*Form, Description,
                             Object("TTestForm", "F", {Prop("Image2.Picture", TStreamValue::Binary(Double))}));
    } catch (const EReadError& E) {
      return E.Message();
    }
    return std::string("no error");
  }();
  EXPECT_NE(NoSuch.find("Image2.Picture"), std::string::npos) << NoSuch;
}

TEST_F(ReaderTest, AFormTooLargeForTheWorkAreaTakesTheLargestScaleWhoseWindowFits) {
  auto* Form = NewReaderForm();
  ReadDescription(*Form, DesignedAt96());
  Form->SetBorderStyle(bsSingle);
  Form->SetClientSize(600, 400);
  const RECT Work = PrimaryWorkArea();
  const TScaleSize Area{Work.right - Work.left, Work.bottom - Work.top};
  const TScaleSize Frame = WindowFrameSize(WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX, 0, 288);
  // 288 pixels per inch asks for 24/8, at most 16/8; 1200 x 800 does not fit a 1024 x 768 screen.
  Form->ScaleForDensity(288, true);
  const int M = Form->Scale().M();
  ASSERT_GT(M, 8);
  ASSERT_LT(M, 16);
  EXPECT_LE(Form->Width(), Area.Width);
  EXPECT_LE(Form->Height(), Area.Height);
  const TScaleFactor Next(M + 1);
  EXPECT_TRUE(Next.Apply(600) + Frame.Width > Area.Width || Next.Apply(400) + Frame.Height > Area.Height)
      << "M " << M + 1 << " would fit too";
}

TEST_F(ReaderTest, DensityChangedLaysTheFormOutAgainAndTakesTheSuggestedRectangle) {
  auto* Form = NewReaderForm();
  ReadDescription(*Form, DesignedAt96());
  Form->SetBorderStyle(bsSingle);
  Form->ScaleForDensity(96, true);
  ShowPainted(Form);
  ASSERT_EQ(BoundsOf(Image1), "351,210 28x9");
  RECT Suggested{60, 30, 60 + 900, 30 + 650};
  SendMessageA(Form->Handle(), WM_DPICHANGED, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&Suggested));
  RECT Now{};
  GetWindowRect(Form->Handle(), &Now);
  EXPECT_EQ(Now.left, 60);
  EXPECT_EQ(Now.top, 30);
  EXPECT_EQ(Now.right, 960);
  EXPECT_EQ(Now.bottom, 680);
  EXPECT_EQ(Form->Scale().M(), 16);
  EXPECT_EQ(BoundsOf(Image1), "702,420 56x18");
  EXPECT_EQ(BoundsOf(Label1), "48,688 268x32");
  EXPECT_EQ(Label1->Font().Height(), -26);
  // Back on a 96-DPI screen, the design to the pixel.
  const TScaleSize Frame =
      WindowFrameSize(GetWindowLongA(Form->Handle(), GWL_STYLE), GetWindowLongA(Form->Handle(), GWL_EXSTYLE), 96);
  Suggested = {60, 30, 60 + 443 + Frame.Width, 30 + 304 + Frame.Height};
  SendMessageA(Form->Handle(), WM_DPICHANGED, MAKEWPARAM(96, 96), reinterpret_cast<LPARAM>(&Suggested));
  EXPECT_EQ(BoundsOf(Image1), "351,210 28x9");
  EXPECT_EQ(BoundsOf(Edit1), "-8,368 309x25");
  EXPECT_EQ(Form->ClientWidth(), 443);
  EXPECT_EQ(Form->ClientHeight(), 304);
  // Posted, it is another program's, and its rectangle an address nobody gave.
  GetWindowRect(Form->Handle(), &Suggested);
  for (LPARAM Bogus : {LPARAM{0}, LPARAM{1}, LPARAM{0x10000}}) {
    PostMessageA(Form->Handle(), WM_DPICHANGED, MAKEWPARAM(192, 192), Bogus);
    Application->ProcessMessages();
    GetWindowRect(Form->Handle(), &Now);
    EXPECT_TRUE(EqualRect(&Now, &Suggested)) << Bogus;
    EXPECT_EQ(BoundsOf(Image1), "351,210 28x9") << Bogus;
  }
}
