// Builds live components from a stored window description: a class registry
// maps class names to factories and property names to setters.
#pragma once

#include <functional>
#include <limits>
#include <map>
#include <string>
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

class TClassRegistry {
public:
  // The registry with the framework's own classes in it.
  static TClassRegistry& Instance();

  // A class, the class whose properties it inherits, and how to make one
  // (none for classes only derived from).
  void RegisterClass(const std::string& Name, const std::string& Parent, TComponentFactory Factory = nullptr);
  void RegisterProperty(const std::string& ClassName, const std::string& Property, TPropertySetter Setter);
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

  bool IsRegistered(const std::string& Name) const { return FClasses.count(Name) != 0; }
  // Raises EReadError naming an unknown or abstract class.
  TComponent* Create(const std::string& ClassName, TComponent* Owner) const;
  // Raises EReadError naming an unknown property.
  const TPropertySetter& Setter(const std::string& ClassName, const std::string& Property) const;

private:
  struct TClassInfo {
    std::string Parent;
    TComponentFactory Factory;
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

class TPicture;
// Loads a stored picture value (class name and data) into Picture.
void LoadPictureValue(TPicture& Picture, const TStreamValue& Value, const std::string& Property);

// Reads Description into Root (whose class the description names): the
// children are created with Root as owner, each given its parent first, then
// its properties in the order stored with csLoading set, then told its
// parent's colour and font; finally every component gets Loaded.
void ReadDescription(TCustomForm& Root, const TStreamObject& Description);

// Reads the description stored in the program's RCDATA resource ResName into
// Root; false when there is no such resource.
bool ReadDescriptionResource(TCustomForm& Root, const char* ResName);
