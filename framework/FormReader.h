// Builds live components from a stored window description: a class registry
// maps class names to factories and property names to setters.
#pragma once

#include <functional>
#include <limits>
#include <string>
#include <type_traits>
#include <vector>

#include "ComponentStream.h"
#include "Controls.h"
#include "SysUtils.h"

class TCustomForm;

// What a setter may need besides its value: the form being read, for event handlers.
struct TReadContext {
  TCustomForm* Root = nullptr;
  // Pictures read are the double-size versions of those already loaded.
  bool DoubleSize = false;
};

using TComponentFactory = TComponent* (*)(TComponent* Owner);

template <typename T>
class TPublished;

// One published property of a class. A typed setter is kept as plain data: a
// member function, field or function of the class with its type erased, called
// through the one small function made for that type and kind of value. So a
// property costs a table entry rather than code of its own.
class TPublishedProperty {
 public:
  const std::string& Name() const { return FName; }
  // False for a property a derived class hides.
  bool Published() const { return FInvoke != nullptr; }
  void operator()(TComponent& Instance, const TStreamValue& Value, TReadContext& Context) const {
    FInvoke(*this, Instance, Value, Context);
  }

 private:
  template <typename T>
  friend class TPublished;
  friend class TClassRegistry;
  using TInvoke = void (*)(const TPublishedProperty& Self, TComponent& Instance, const TStreamValue& Value,
                           TReadContext& Context);
  // Wide enough for a pointer to a member function, a field or a function.
  union TErased {
    void (TComponent::*Method)();
    int TComponent::*Field;
    void (*Function)();
  };
  TPublishedProperty(std::string Name, TInvoke Invoke) : FName(std::move(Name)), FInvoke(Invoke) {}

  // A pointer to member cast to another such type and back is the pointer it
  // was; the setter is only ever called through Restore with its own type.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wcast-function-type"
  template <typename S>
  void Keep(S Setter) {
    if constexpr (std::is_member_function_pointer_v<S>)
      FSetter.Method = reinterpret_cast<void (TComponent::*)()>(Setter);
    else if constexpr (std::is_member_object_pointer_v<S>)
      FSetter.Field = reinterpret_cast<int TComponent::*>(Setter);
    else
      FSetter.Function = reinterpret_cast<void (*)()>(+Setter);
  }
  template <typename S>
  S Restore() const {
    if constexpr (std::is_member_function_pointer_v<S>)
      return reinterpret_cast<S>(FSetter.Method);
    else if constexpr (std::is_member_object_pointer_v<S>)
      return reinterpret_cast<S>(FSetter.Field);
    else
      return reinterpret_cast<S>(FSetter.Function);
  }
#pragma GCC diagnostic pop

  std::string FName;
  TInvoke FInvoke = nullptr;
  TErased FSetter{};
  // An enumeration's or a set's names, index = value or bit.
  std::vector<const char*> FNames;
  std::int64_t FMin = 0, FMax = 0;
};

class TClassRegistry {
 public:
  // The registry with the framework's own classes in it.
  static TClassRegistry& Instance();

  // A class, the class whose properties it inherits, and how to make one
  // (none for classes only derived from).
  void RegisterClass(const std::string& Name, const std::string& Parent, TComponentFactory Factory = nullptr);
  // The same with a factory written as a lambda that captures nothing.
  template <typename F>
  requires(std::is_empty_v<F>&& std::is_invocable_v<F, TComponent*>) void RegisterClass(const std::string& Name,
                                                                                        const std::string& Parent, F) {
    RegisterClass(
        Name, Parent, +[](TComponent* Owner) -> TComponent* { return F{}(Owner); });
  }
  // A property a derived class takes away: reading it is an error, as for one
  // that never existed.
  void HideProperty(const std::string& ClassName, const std::string& Property);
  // The published properties of ClassName, whose instances are T, registered
  // one line each by the kind of value they take.
  template <typename T>
  TPublished<T> Published(const std::string& ClassName);

  bool IsRegistered(const std::string& Name) const { return Find(Name) != nullptr; }
  // Raises EReadError naming an unknown or abstract class.
  TComponent* Create(const std::string& ClassName, TComponent* Owner) const;
  // Raises EReadError naming an unknown or hidden property.
  const TPublishedProperty& Setter(const std::string& ClassName, const std::string& Property) const;

  // Raises EReadError: the property's setter is for another class than Instance's.
  [[noreturn]] static void NotApplicable(const std::string& Property, TComponent& Instance);

 private:
  template <typename T>
  friend class TPublished;
  struct TClassInfo {
    std::string Name, Parent;
    TComponentFactory Factory = nullptr;
    std::vector<TPublishedProperty> Properties;
  };
  const TClassInfo* Find(const std::string& Name) const;
  TClassInfo& Entry(const std::string& Name);
  // Adds or replaces the property of that name.
  TPublishedProperty& Add(const std::string& ClassName, TPublishedProperty Property);
  // A few classes: a list searched in order is smaller than a tree and as quick.
  std::vector<TClassInfo> FClasses;
};

// Value conversions for setters; each raises EReadError naming the property.
std::int64_t IntegerValue(const TStreamValue& Value, const std::string& Property);
// An integer for a property whose type holds Min..Max; a stored value outside
// that range is refused, never cut down to fit.
std::int64_t IntegerValue(const TStreamValue& Value, const std::string& Property, std::int64_t Min, std::int64_t Max);
// The same for a property of type T.
template <typename T>
T IntegerValue(const TStreamValue& Value, const std::string& Property) {
  return static_cast<T>(IntegerValue(Value, Property, std::numeric_limits<T>::min(), std::numeric_limits<T>::max()));
}
bool BooleanValue(const TStreamValue& Value, const std::string& Property);
std::string StringValue(const TStreamValue& Value, const std::string& Property);
std::string IdentValue(const TStreamValue& Value, const std::string& Property);
std::vector<std::string> SetValue(const TStreamValue& Value, const std::string& Property);
// A colour: an integer, or a colour name such as clBtnFace.
TColor ColorValue(const TStreamValue& Value, const std::string& Property);
// An enumeration value by its name among Names (index = value).
int EnumValue(const TStreamValue& Value, const std::string& Property, const std::vector<const char*>& Names);
// A set of names among Names as bits (bit index = position in Names).
unsigned SetBits(const TStreamValue& Value, const std::string& Property, const std::vector<const char*>& Names);
// The handler of the form being read that the value names.
TNotifyEvent HandlerValue(const TStreamValue& Value, const std::string& Property, TReadContext& Context);

class TPicture;
// Loads a stored picture value (class name and data) into Picture.
void LoadPictureValue(TPicture& Picture, const TStreamValue& Value, const std::string& Property);
// The same, or as the double-size version of the picture when Context says so.
void LoadPictureValue(TPicture& Picture, const TStreamValue& Value, const std::string& Property,
                      const TReadContext& Context);

// The type of the value a setter takes: a member function of the class, or a
// callable taking the instance and the value.
template <typename S>
struct TSetterArgument : TSetterArgument<decltype(&S::operator())> {};
template <typename C, typename A>
struct TSetterArgument<void (C::*)(A)> {
  using Type = std::decay_t<A>;
};
template <typename L, typename C, typename A>
struct TSetterArgument<void (L::*)(C&, A) const> {
  using Type = std::decay_t<A>;
};

// Registers the published properties of one class, one line each, named as
// the stored description names them. A setter is a member function of T (or
// of a base), an event field, or a lambda that captures nothing taking T& and
// the value.
template <typename T>
class TPublished {
 public:
  TPublished(TClassRegistry& Registry, std::string ClassName) : FRegistry(Registry), FClassName(std::move(ClassName)) {}

  template <typename S>
  void Bool(const char* Name, S Setter) {
    Add(Name, Setter, &Call<Stored<S>, bool, &ReadBool>);
  }
  // The range is that of the setter's type, or of Read when given: an integer
  // type refuses a value outside it with a read error, a checked subrange
  // raises its own range error.
  template <typename Read = void, typename S>
  void Integer(const char* Name, S Setter) {
    using TRead = std::conditional_t<std::is_void_v<Read>, typename TSetterArgument<S>::Type, Read>;
    if constexpr (std::is_integral_v<TRead>)
      Integer(Name, Setter, std::numeric_limits<TRead>::min(), std::numeric_limits<TRead>::max());
    else
      Add(Name, Setter, &Call<Stored<S>, TRead, &ReadChecked<TRead>>);
  }
  // An integer type narrower than its property: Min..Max.
  template <typename S>
  void Integer(const char* Name, S Setter, std::int64_t Min, std::int64_t Max) {
    using A = typename TSetterArgument<S>::Type;
    auto& P = Add(Name, Setter, &Call<Stored<S>, A, &ReadRanged<A>>);
    P.FMin = Min;
    P.FMax = Max;
  }
  // Names[I] stands for the value I.
  template <typename S>
  void Enum(const char* Name, S Setter, std::initializer_list<const char*> Names) {
    using A = typename TSetterArgument<S>::Type;
    Add(Name, Setter, &Call<Stored<S>, A, &ReadEnum<A>>).FNames = Names;
  }
  // Names[I] stands for bit I.
  template <typename S>
  void Set(const char* Name, S Setter, std::initializer_list<const char*> Names) {
    using A = typename TSetterArgument<S>::Type;
    Add(Name, Setter, &Call<Stored<S>, A, &ReadSet<A>>).FNames = Names;
  }
  template <typename S>
  void Colour(const char* Name, S Setter) {
    Add(Name, Setter, &Call<Stored<S>, TColor, &ReadColour>);
  }
  template <typename S>
  void String(const char* Name, S Setter) {
    Add(Name, Setter, &Call<Stored<S>, std::string, &ReadString>);
  }
  // A handler of the form being read, by name: given to a setter or stored in
  // an event field.
  template <typename S>
  void Event(const char* Name, S Setter) {
    if constexpr (std::is_member_object_pointer_v<S>)
      Add(Name, Setter, &StoreEvent<S>);
    else
      Add(Name, Setter, &Call<Stored<S>, TNotifyEvent, &ReadEvent>);
  }
  // Loads the stored picture straight into the one Picture (a member or an
  // accessor) gives.
  template <typename P>
  void Picture(const char* Name, P Accessor) {
    Add(Name, Accessor, &LoadPicture<P>);
  }
  // The value as stored, of whatever kind, for a setter that reads it itself:
  // a lambda that captures nothing taking T&, the property and the value.
  template <typename S>
  void Raw(const char* Name, S Setter) {
    Add(Name, Setter, &CallRaw<Stored<S>>);
  }
  // Read and dropped: a fact of the designer's the running program has no use for.
  void Ignored(const char* Name) { FRegistry.Add(FClassName, TSelf(Name, &Ignore)); }
  // Inherited but not published here: a description cannot name it.
  void Hidden(const char* Name) { FRegistry.HideProperty(FClassName, Name); }

 private:
  using TSelf = TPublishedProperty;
  // A lambda is kept as the plain function it converts to.
  template <typename S, bool = std::is_member_pointer_v<S>>
  struct TStored {
    using Type = S;
  };
  template <typename S>
  struct TStored<S, false> {
    using Type = decltype(+std::declval<S>());
  };
  template <typename S>
  using Stored = typename TStored<S>::Type;

  static T& Instance(const TSelf& P, TComponent& C) {
    auto* Typed = dynamic_cast<T*>(&C);
    if (!Typed)
      TClassRegistry::NotApplicable(P.FName, C);
    return *Typed;
  }
  // The one function per setter type and kind: converts the value, then sets it.
  template <typename S, typename A, A (*Read)(const TSelf&, const TStreamValue&, TReadContext&)>
  static void Call(const TSelf& P, TComponent& C, const TStreamValue& V, TReadContext& X) {
    auto& Typed = Instance(P, C);
    std::invoke(P.Restore<S>(), Typed, Read(P, V, X));
  }
  template <typename S>
  static void CallRaw(const TSelf& P, TComponent& C, const TStreamValue& V, TReadContext& X) {
    std::invoke(P.Restore<S>(), Instance(P, C), P, V, X);
  }
  template <typename S>
  static void StoreEvent(const TSelf& P, TComponent& C, const TStreamValue& V, TReadContext& X) {
    auto& Typed = Instance(P, C);
    std::invoke(P.Restore<S>(), Typed) = HandlerValue(V, P.FName, X);
  }
  template <typename S>
  static void LoadPicture(const TSelf& P, TComponent& C, const TStreamValue& V, TReadContext& X) {
    LoadPictureValue(std::invoke(P.Restore<Stored<S>>(), Instance(P, C)), V, P.FName, X);
  }

  static void Ignore(const TSelf&, TComponent&, const TStreamValue&, TReadContext&) {}
  static bool ReadBool(const TSelf& P, const TStreamValue& V, TReadContext&) { return BooleanValue(V, P.FName); }
  static TColor ReadColour(const TSelf& P, const TStreamValue& V, TReadContext&) { return ColorValue(V, P.FName); }
  static std::string ReadString(const TSelf& P, const TStreamValue& V, TReadContext&) {
    return StringValue(V, P.FName);
  }
  static TNotifyEvent ReadEvent(const TSelf& P, const TStreamValue& V, TReadContext& X) {
    return HandlerValue(V, P.FName, X);
  }
  template <typename A>
  static A ReadRanged(const TSelf& P, const TStreamValue& V, TReadContext&) {
    return static_cast<A>(IntegerValue(V, P.FName, P.FMin, P.FMax));
  }
  template <typename A>
  static A ReadChecked(const TSelf& P, const TStreamValue& V, TReadContext&) {
    return A(IntegerValue(V, P.FName));
  }
  template <typename A>
  static A ReadEnum(const TSelf& P, const TStreamValue& V, TReadContext&) {
    return static_cast<A>(EnumValue(V, P.FName, P.FNames));
  }
  template <typename A>
  static A ReadSet(const TSelf& P, const TStreamValue& V, TReadContext&) {
    return static_cast<A>(SetBits(V, P.FName, P.FNames));
  }

  template <typename S>
  TSelf& Add(const char* Name, S Setter, TSelf::TInvoke Invoke) {
    TSelf P(Name, Invoke);
    P.Keep<Stored<S>>(Setter);
    return FRegistry.Add(FClassName, std::move(P));
  }
  TClassRegistry& FRegistry;
  std::string FClassName;
};

template <typename T>
TPublished<T> TClassRegistry::Published(const std::string& ClassName) {
  return TPublished<T>(*this, ClassName);
}

// Reads Description into Root (whose class the description names): the
// children are created with Root as owner, each given its parent first, then
// its properties in the order stored with csLoading set, then told its
// parent's colour and font; finally every component gets Loaded.
void ReadDescription(TCustomForm& Root, const TStreamObject& Description);

// Gives the pictures of Root (read from Description) the double-size
// versions DoubleSize holds, each under the property path it doubles
// (`Image1.Picture`).
void ReadDoubleSizePictures(TCustomForm& Root, const TStreamObject& Description, const TStreamObject& DoubleSize);

// Reads the description stored in the program's RCDATA resource ResName into
// Root, with the double-size pictures of ResName + "2X" where that exists,
// and lays it out for the screen's density; false when there is no such
// resource.
bool ReadDescriptionResource(TCustomForm& Root, const char* ResName);
