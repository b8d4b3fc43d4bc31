// The stored window description: an in-memory model of a binary component
// stream ("TPF0"), its reader and writer, and the picture values it carries.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "Classes.h"

// The type byte in front of every value.
enum TValueType : std::uint8_t {
  vaNull = 0x00,
  vaList = 0x01,
  vaInt8 = 0x02,
  vaInt16 = 0x03,
  vaInt32 = 0x04,
  vaExtended = 0x05,
  vaString = 0x06,
  vaIdent = 0x07,
  vaFalse = 0x08,
  vaTrue = 0x09,
  vaBinary = 0x0A,
  vaSet = 0x0B,
  vaLString = 0x0C,
  vaNil = 0x0D,
  vaCollection = 0x0E,
  vaSingle = 0x0F,
  vaCurrency = 0x10,
  vaDate = 0x11,
  vaWString = 0x12,
  vaInt64 = 0x13,
  vaUTF8String = 0x14,
  vaDouble = 0x15,
};

// Low bits of an object's prefix byte.
enum TFilerFlag : std::uint8_t { ffInherited = 1, ffChildPos = 2, ffInline = 4 };

// Nesting of objects, lists and collection items that the reader, the writer and
// the text parser accept; deeper input is refused rather than risking the stack.
// The root object is level 1; each child object, list and collection item lies
// one level below what holds it.
inline constexpr int MaxComponentNesting = 64;

struct TStreamValue;
struct TStreamProperty;

struct TNullValue {
  bool operator==(const TNullValue&) const = default;
};
struct TNilValue {
  bool operator==(const TNilValue&) const = default;
};
struct TIdentValue {
  std::string Name;
  bool operator==(const TIdentValue&) const = default;
};
struct TBinaryValue {
  std::vector<std::uint8_t> Bytes;
  bool operator==(const TBinaryValue&) const = default;
};
struct TSetValue {
  std::vector<std::string> Names;
  bool operator==(const TSetValue&) const = default;
};

// The x87 80-bit float exactly as stored (mantissa, then sign and exponent).
struct TExtendedValue {
  std::array<std::uint8_t, 10> Bytes{};
  // Nearest double; NaNs and infinities keep their kind.
  double ToDouble() const;
  // Exact: every double has an extended twin.
  static TExtendedValue FromDouble(double Value);
  bool operator==(const TExtendedValue&) const = default;
};

// Floats keep their bits so that NaN payloads survive a round trip.
struct TSingleValue {
  std::uint32_t Bits = 0;
  float ToFloat() const;
  static TSingleValue FromFloat(float Value);
  bool operator==(const TSingleValue&) const = default;
};
struct TDoubleValue {
  std::uint64_t Bits = 0;
  double ToDouble() const;
  static TDoubleValue FromDouble(double Value);
  bool operator==(const TDoubleValue&) const = default;
};
struct TDateValue {
  std::uint64_t Bits = 0;
  double ToDouble() const;
  static TDateValue FromDouble(double Value);
  bool operator==(const TDateValue&) const = default;
};
// Value times 10,000.
struct TCurrencyValue {
  std::int64_t Scaled = 0;
  bool operator==(const TCurrencyValue&) const = default;
};
struct TWideStringValue {
  std::u16string Units;
  bool operator==(const TWideStringValue&) const = default;
};
struct TUtf8StringValue {
  std::string Bytes;
  bool operator==(const TUtf8StringValue&) const = default;
};

struct TCollectionItem {
  std::optional<std::int64_t> Order;
  std::vector<TStreamProperty> Properties;
  bool operator==(const TCollectionItem&) const;
};
struct TCollectionValue {
  std::vector<TCollectionItem> Items;
  bool operator==(const TCollectionValue&) const;
};

// Alternatives in the order of TStreamValue::TData.
enum class TValueKind {
  vkNull,
  vkList,
  vkInteger,
  vkExtended,
  vkString,
  vkIdent,
  vkBoolean,
  vkBinary,
  vkSet,
  vkNil,
  vkCollection,
  vkSingle,
  vkCurrency,
  vkDate,
  vkWideString,
  vkUtf8String,
  vkDouble,
};

// A value as the model keeps it. Integers of every width are one kind (written
// back in the smallest width), and so are short and long strings (written back
// short up to 255 bytes): only those two lose the original type byte.
struct TStreamValue {
  using TData = std::variant<TNullValue, std::vector<TStreamValue>, std::int64_t, TExtendedValue, std::string,
                             TIdentValue, bool, TBinaryValue, TSetValue, TNilValue, TCollectionValue, TSingleValue,
                             TCurrencyValue, TDateValue, TWideStringValue, TUtf8StringValue, TDoubleValue>;
  TData Data;

  TValueKind Kind() const { return static_cast<TValueKind>(Data.index()); }
  template <class T>
  const T* Get() const {
    return std::get_if<T>(&Data);
  }

  static TStreamValue Null() { return {TNullValue{}}; }
  static TStreamValue List(std::vector<TStreamValue> Items) { return {std::move(Items)}; }
  static TStreamValue Integer(std::int64_t Value) { return {Value}; }
  static TStreamValue Extended(double Value) { return {TExtendedValue::FromDouble(Value)}; }
  static TStreamValue String(std::string Value) { return {std::move(Value)}; }
  static TStreamValue Ident(std::string Name) { return {TIdentValue{std::move(Name)}}; }
  static TStreamValue Boolean(bool Value) { return {Value}; }
  static TStreamValue Binary(std::vector<std::uint8_t> Bytes) { return {TBinaryValue{std::move(Bytes)}}; }
  static TStreamValue Set(std::vector<std::string> Names) { return {TSetValue{std::move(Names)}}; }
  static TStreamValue Nil() { return {TNilValue{}}; }
  static TStreamValue Collection(std::vector<TCollectionItem> Items) { return {TCollectionValue{std::move(Items)}}; }
  static TStreamValue Single(float Value) { return {TSingleValue::FromFloat(Value)}; }
  static TStreamValue Currency(std::int64_t Scaled) { return {TCurrencyValue{Scaled}}; }
  static TStreamValue Date(double Value) { return {TDateValue::FromDouble(Value)}; }
  static TStreamValue WideString(std::u16string Units) { return {TWideStringValue{std::move(Units)}}; }
  static TStreamValue Utf8String(std::string Bytes) { return {TUtf8StringValue{std::move(Bytes)}}; }
  static TStreamValue Double(double Value) { return {TDoubleValue::FromDouble(Value)}; }

  bool operator==(const TStreamValue&) const;
};

struct TStreamProperty {
  std::string Name;  // dotted for nested persistents, e.g. "Font.Height"
  TStreamValue Value;
  bool operator==(const TStreamProperty&) const;
};

struct TStreamObject {
  // TFilerFlag bits. The ffChildPos bit mirrors ChildPos: the reader sets both,
  // the writer writes the bit exactly when ChildPos is set, and equality
  // compares ChildPos alone.
  std::uint8_t Flags = 0;
  std::optional<std::int64_t> ChildPos;
  std::string ClassName;
  std::string Name;
  std::vector<TStreamProperty> Properties;
  std::vector<TStreamObject> Children;

  // The first property of that name, or nullptr.
  const TStreamValue* FindProperty(std::string_view PropName) const;
  bool operator==(const TStreamObject&) const;
};

// Reads "TPF0" and one object tree from Stream's position (taking what is left
// of Stream into memory first), leaving the position after the tree. Raises EReadError naming the problem and its offset from where
// reading began: "Invalid stream format" for a bad signature, a message starting
// "Stream read error" for data that ends early or a length beyond the end.
TStreamObject ReadComponentStream(TStream& Stream);

// Writes "TPF0" and Root so that ReadComponentStream gives back a model equal
// to Root. Takes every model the reader can give. Raises EWriteError, naming
// the place, for exactly what no stream can hold: a name, class name,
// identifier or set member over 255 bytes; an empty property name or set
// member; a null inside a list; flags other than TFilerFlag; nesting deeper
// than MaxComponentNesting; a length or a whole description over 2 GiB.
void WriteComponentStream(TStream& Stream, const TStreamObject& Root);

// The type byte the writer puts in front of an integer: the smallest that holds it.
TValueType IntegerValueType(std::int64_t Value);

// A picture property's binary value: the graphic's class, then its own data.
struct TPictureValue {
  std::string ClassName;           // "TJPEGImage" or "TIcon"
  std::vector<std::uint8_t> Data;  // the JPEG file or the icon file
  bool operator==(const TPictureValue&) const = default;
};

// Raises EReadError for an unknown class or a JPEG byte count that does not
// match the bytes that follow.
TPictureValue DecodePictureValue(const std::vector<std::uint8_t>& Bytes);
// Raises EWriteError for an unknown class.
std::vector<std::uint8_t> EncodePictureValue(const TPictureValue& Picture);
