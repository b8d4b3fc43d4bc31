// Builds live components from a stored window description: a class registry
// maps class names to factories and property names to setters.
#pragma once

#include <functional>
#include <limits>
#include <map>
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
};

using TComponentFactory = std::function<TComponent*(TComponent* Owner)>;
using TPropertySetter = std::function<void(TComponent& Instance, const TStreamValue& Value, TReadContext& Context)>;

template <typename T>
class TPublished;

class TClassRegistry {
public:
  // The registry with the framework's own classes in it.
  static TClassRegistry& Instance();

  // A class, the class whose properties it inherits, and how to make one
  // (none for classes only derived from).
  void RegisterClass(const std::string& Name, const std::string& Parent, TComponentFactory Factory = nullptr);
  void RegisterProperty(const std::string& ClassName, const std::string& Property, TPropertySetter Setter);
  // A property a derived class takes away: reading it is an error, as for one
  // that never existed.
  void HideProperty(const std::string& ClassName, const std::string& Property);
  // Typed convenience: the setter gets the instance as T.
  template <typename T>
  void Property(const std::string& ClassName, const std::string& Property,
                std::function<void(T&, const TStreamValue&, TReadContext&)> Setter) {
    RegisterProperty(ClassName, Property, [Setter, Property](TComponent& C, const TStreamValue& V, TReadContext& X) {
      auto* Typed = dynamic_cast<T*>(&C);
      if (!Typed)
        throw EReadError("Property " + Property + " does not apply to " + C.Name());
      Setter(*Typed, V, X);
    });
  }
  // The published properties of ClassName, whose instances are T, registered
  // one line each by the kind of value they take.
  template <typename T>
  TPublished<T> Published(const std::string& ClassName);

  bool IsRegistered(const std::string& Name) const { return FClasses.count(Name) != 0; }
  // Raises EReadError naming an unknown or abstract class.
  TComponent* Create(const std::string& ClassName, TComponent* Owner) const;
  // Raises EReadError naming an unknown or hidden property.
  const TPropertySetter& Setter(const std::string& ClassName, const std::string& Property) const;

private:
  struct TClassInfo {
    std::string Parent;
    TComponentFactory Factory;
    // An empty setter marks a hidden property.
    std::map<std::string, TPropertySetter> Properties;
  };
  std::map<std::string, TClassInfo> FClasses;
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
int EnumValue(const TStreamValue& Value, const std::string& Property, const std::vector<std::string>& Names);
// A set of names among Names as bits (bit index = position in Names).
unsigned SetBits(const TStreamValue& Value, const std::string& Property, const std::vector<std::string>& Names);
// The handler of the form being read that the value names.
TNotifyEvent HandlerValue(const TStreamValue& Value, const std::string& Property, TReadContext& Context);

class TPicture;
// Loads a stored picture value (class name and data) into Picture.
void LoadPictureValue(TPicture& Picture, const TStreamValue& Value, const std::string& Property);

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
// of a base) or a callable taking T& and the value.
template <typename T>
class TPublished {
public:
  TPublished(TClassRegistry& Registry, std::string ClassName)
      : FRegistry(Registry), FClassName(std::move(ClassName)) {}

  template <typename S>
  void Bool(const std::string& Name, S Setter) {
    Add(Name, [Name, Setter](T& C, const TStreamValue& V, TReadContext&) {
      std::invoke(Setter, C, BooleanValue(V, Name));
    });
  }
  // The range is that of the setter's type, or of Read when given: an integer
  // type refuses a value outside it with a read error, a checked subrange
  // raises its own range error.
  template <typename Read = void, typename S>
  void Integer(const std::string& Name, S Setter) {
    using TRead = std::conditional_t<std::is_void_v<Read>, typename TSetterArgument<S>::Type, Read>;
    Add(Name, [Name, Setter](T& C, const TStreamValue& V, TReadContext&) {
      if constexpr (std::is_integral_v<TRead>)
        std::invoke(Setter, C, IntegerValue<TRead>(V, Name));
      else
        std::invoke(Setter, C, TRead(IntegerValue(V, Name)));
    });
  }
  // An integer type narrower than its property: Min..Max.
  template <typename S>
  void Integer(const std::string& Name, S Setter, std::int64_t Min, std::int64_t Max) {
    using A = typename TSetterArgument<S>::Type;
    Add(Name, [Name, Setter, Min, Max](T& C, const TStreamValue& V, TReadContext&) {
      std::invoke(Setter, C, static_cast<A>(IntegerValue(V, Name, Min, Max)));
    });
  }
  // Names[I] stands for the value I.
  template <typename S>
  void Enum(const std::string& Name, S Setter, std::vector<std::string> Names) {
    using A = typename TSetterArgument<S>::Type;
    Add(Name, [Name, Setter, Names = std::move(Names)](T& C, const TStreamValue& V, TReadContext&) {
      std::invoke(Setter, C, static_cast<A>(EnumValue(V, Name, Names)));
    });
  }
  // Names[I] stands for bit I.
  template <typename S>
  void Set(const std::string& Name, S Setter, std::vector<std::string> Names) {
    using A = typename TSetterArgument<S>::Type;
    Add(Name, [Name, Setter, Names = std::move(Names)](T& C, const TStreamValue& V, TReadContext&) {
      std::invoke(Setter, C, static_cast<A>(SetBits(V, Name, Names)));
    });
  }
  template <typename S>
  void Colour(const std::string& Name, S Setter) {
    Add(Name, [Name, Setter](T& C, const TStreamValue& V, TReadContext&) {
      std::invoke(Setter, C, ColorValue(V, Name));
    });
  }
  template <typename S>
  void String(const std::string& Name, S Setter) {
    Add(Name, [Name, Setter](T& C, const TStreamValue& V, TReadContext&) {
      std::invoke(Setter, C, StringValue(V, Name));
    });
  }
  // A handler of the form being read, by name: given to a setter or stored in
  // an event field.
  template <typename S>
  void Event(const std::string& Name, S Setter) {
    Add(Name, [Name, Setter](T& C, const TStreamValue& V, TReadContext& X) {
      if constexpr (std::is_member_object_pointer_v<S>)
        std::invoke(Setter, C) = HandlerValue(V, Name, X);
      else
        std::invoke(Setter, C, HandlerValue(V, Name, X));
    });
  }
  // Loads the stored picture straight into the one Picture (a member or an
  // accessor) gives.
  template <typename P>
  void Picture(const std::string& Name, P Accessor) {
    Add(Name, [Name, Accessor](T& C, const TStreamValue& V, TReadContext&) {
      LoadPictureValue(std::invoke(Accessor, C), V, Name);
    });
  }
  // Read and dropped: a fact of the designer's the running program has no use for.
  void Ignored(const std::string& Name) {
    FRegistry.RegisterProperty(FClassName, Name, [](TComponent&, const TStreamValue&, TReadContext&) {});
  }
  // Inherited but not published here: a description cannot name it.
  void Hidden(const std::string& Name) { FRegistry.HideProperty(FClassName, Name); }

private:
  void Add(const std::string& Name, std::function<void(T&, const TStreamValue&, TReadContext&)> Setter) {
    FRegistry.Property<T>(FClassName, Name, std::move(Setter));
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

// Reads the description stored in the program's RCDATA resource ResName into
// Root; false when there is no such resource.
bool ReadDescriptionResource(TCustomForm& Root, const char* ResName);
