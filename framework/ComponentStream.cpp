#include "ComponentStream.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

#include "Consts.h"
#include "SysUtils.h"

namespace {

constexpr char Signature[4] = {'T', 'P', 'F', '0'};
constexpr std::uint8_t PrefixMask = 0xF0;
constexpr std::uint8_t KnownFlags = ffInherited | ffChildPos | ffInline;
constexpr std::int64_t CurrencyScale = 10000;

std::string Hex2(unsigned Value) {
  static constexpr char Digits[] = "0123456789ABCDEF";
  return {'0', 'x', Digits[Value >> 4 & 0xF], Digits[Value & 0xF]};
}

std::string CountBytes(std::size_t N) { return std::to_string(N) + (N == 1 ? " byte" : " bytes"); }

template <class T>
T FromBits(std::uint64_t Bits) {
  T Value;
  static_assert(sizeof(T) <= sizeof Bits);
  if constexpr (sizeof(T) == 4) {
    auto B = static_cast<std::uint32_t>(Bits);
    std::memcpy(&Value, &B, 4);
  } else {
    std::memcpy(&Value, &Bits, 8);
  }
  return Value;
}

template <class T>
std::uint64_t ToBits(T Value) {
  if constexpr (sizeof(T) == 4) {
    std::uint32_t B;
    std::memcpy(&B, &Value, 4);
    return B;
  } else {
    std::uint64_t B;
    std::memcpy(&B, &Value, 8);
    return B;
  }
}

// Parses the bytes of one description. Offsets in messages count from the signature.
class TStreamParser {
public:
  TStreamParser(const std::uint8_t* Data, std::size_t Size) : FData(Data), FSize(Size) {}

  TStreamObject ReadRoot() {
    if (FSize < sizeof Signature || std::memcmp(FData, Signature, sizeof Signature) != 0)
      throw EReadError("Invalid stream format");
    FPos = sizeof Signature;
    return ReadObject();
  }

  std::size_t Position() const { return FPos; }

private:
  const std::uint8_t* FData;
  std::size_t FSize;
  std::size_t FPos = 0;
  int FDepth = 0;

  std::size_t Left() const { return FSize - FPos; }

  [[noreturn]] void Truncated(std::string_view What, std::size_t At, std::size_t Needed) const {
    throw EReadError(std::string(Consts::SReadError) + ": " + std::string(What) + " at offset " + std::to_string(At) +
                     " needs " + CountBytes(Needed) + ", " + std::to_string(FSize - At) + " left");
  }

  void Need(std::size_t N, std::string_view What) const {
    if (Left() < N)
      Truncated(What, FPos, N);
  }

  // Checks a length field against the bytes that remain before anything is allocated.
  void NeedLength(std::uint64_t Length, std::uint64_t UnitSize, std::string_view What, std::size_t FieldAt) const {
    if (Length > Left() / UnitSize)
      throw EReadError(std::string(Consts::SReadError) + ": " + std::string(What) + " at offset " +
                       std::to_string(FieldAt) + " has length " + std::to_string(Length) + ", only " +
                       CountBytes(Left()) + " left");
  }

  void Enter(std::string_view What) {
    if (++FDepth > MaxComponentNesting)
      throw EReadError("Invalid stream format: " + std::string(What) + " at offset " + std::to_string(FPos) +
                       " nests deeper than " + std::to_string(MaxComponentNesting) + " levels");
  }
  void Leave() { --FDepth; }

  std::uint64_t ReadLE(std::size_t N, std::string_view What) {
    Need(N, What);
    std::uint64_t Value = 0;
    for (std::size_t I = 0; I < N; ++I)
      Value |= static_cast<std::uint64_t>(FData[FPos + I]) << (8 * I);
    FPos += N;
    return Value;
  }

  std::uint8_t ReadByte(std::string_view What) { return static_cast<std::uint8_t>(ReadLE(1, What)); }
  std::uint8_t PeekByte(std::string_view What) const {
    Need(1, What);
    return FData[FPos];
  }

  std::string ReadBytesAsString(std::size_t N, std::string_view What) {
    Need(N, What);
    std::string S(reinterpret_cast<const char*>(FData + FPos), N);
    FPos += N;
    return S;
  }

  std::string ReadShortString(std::string_view What) {
    auto At = FPos;
    auto Len = ReadByte(What);
    if (Left() < Len)
      Truncated(What, At, 1u + Len);
    return ReadBytesAsString(Len, What);
  }

  std::uint32_t ReadLength(std::uint64_t UnitSize, std::string_view What) {
    auto At = FPos;
    auto Raw = static_cast<std::uint32_t>(ReadLE(4, What));
    if (Raw > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max()))
      throw EReadError(std::string(Consts::SReadError) + ": " + std::string(What) + " at offset " +
                       std::to_string(At) + " has a negative length " +
                       std::to_string(static_cast<std::int32_t>(Raw)));
    NeedLength(Raw, UnitSize, What, At);
    return Raw;
  }

  [[noreturn]] void BadType(std::uint8_t Type, std::size_t At, std::string_view Where) const {
    throw EReadError("Invalid property value type " + Hex2(Type) + " at offset " + std::to_string(At) +
                     (Where.empty() ? std::string() : " (" + std::string(Where) + ")"));
  }

  // An integer of any width, as the object prefix and collection items carry it.
  std::int64_t ReadIntegerValue(std::string_view Where) {
    auto At = FPos;
    auto Type = ReadByte(Where);
    switch (Type) {
      case vaInt8: return static_cast<std::int8_t>(ReadLE(1, "an int8 value"));
      case vaInt16: return static_cast<std::int16_t>(ReadLE(2, "an int16 value"));
      case vaInt32: return static_cast<std::int32_t>(ReadLE(4, "an int32 value"));
      case vaInt64: return static_cast<std::int64_t>(ReadLE(8, "an int64 value"));
      default: throw EReadError("Invalid integer value type " + Hex2(Type) + " at offset " + std::to_string(At) +
                                " (" + std::string(Where) + ")");
    }
  }

  std::vector<TStreamProperty> ReadProperties(std::string_view Owner) {
    std::vector<TStreamProperty> Properties;
    for (;;) {
      auto Name = ReadShortString("a property name of " + std::string(Owner));
      if (Name.empty())
        return Properties;
      auto Value = ReadValue("property '" + Name + "'");
      Properties.push_back({std::move(Name), std::move(Value)});
    }
  }

  TStreamValue ReadValue(const std::string& Where) {
    auto At = FPos;
    auto Type = ReadByte("the value type of " + Where);
    switch (Type) {
      case vaNull: return TStreamValue::Null();
      case vaList: {
        Enter("a list");
        std::vector<TStreamValue> Items;
        while (PeekByte("a list element of " + Where) != vaNull)
          Items.push_back(ReadValue(Where));
        ++FPos;
        Leave();
        return TStreamValue::List(std::move(Items));
      }
      case vaInt8: return TStreamValue::Integer(static_cast<std::int8_t>(ReadLE(1, "an int8 value")));
      case vaInt16: return TStreamValue::Integer(static_cast<std::int16_t>(ReadLE(2, "an int16 value")));
      case vaInt32: return TStreamValue::Integer(static_cast<std::int32_t>(ReadLE(4, "an int32 value")));
      case vaInt64: return TStreamValue::Integer(static_cast<std::int64_t>(ReadLE(8, "an int64 value")));
      case vaExtended: {
        Need(10, "an extended value");
        TExtendedValue V;
        std::memcpy(V.Bytes.data(), FData + FPos, 10);
        FPos += 10;
        return {V};
      }
      case vaString: return TStreamValue::String(ReadShortString("a string value"));
      case vaIdent: return TStreamValue::Ident(ReadShortString("an identifier value"));
      case vaFalse: return TStreamValue::Boolean(false);
      case vaTrue: return TStreamValue::Boolean(true);
      case vaBinary: {
        auto Len = ReadLength(1, "a binary value");
        std::vector<std::uint8_t> Data(FData + FPos, FData + FPos + Len);
        FPos += Len;
        return TStreamValue::Binary(std::move(Data));
      }
      case vaSet: {
        std::vector<std::string> Names;
        for (;;) {
          auto Name = ReadShortString("a set member");
          if (Name.empty())
            return TStreamValue::Set(std::move(Names));
          Names.push_back(std::move(Name));
        }
      }
      case vaLString: {
        auto Len = ReadLength(1, "a long string value");
        return TStreamValue::String(ReadBytesAsString(Len, "a long string value"));
      }
      case vaNil: return TStreamValue::Nil();
      case vaCollection: {
        std::vector<TCollectionItem> Items;
        for (;;) {
          auto ItemAt = FPos;
          auto Next = PeekByte("a collection item of " + Where);
          if (Next == vaNull) {
            ++FPos;
            return TStreamValue::Collection(std::move(Items));
          }
          TCollectionItem Item;
          if (Next != vaList)
            Item.Order = ReadIntegerValue("the order of a collection item of " + Where);
          auto MarkAt = FPos;
          if (auto Mark = ReadByte("a collection item of " + Where); Mark != vaList)
            throw EReadError("Invalid collection item at offset " + std::to_string(ItemAt) + " (" + Where +
                             "): expected " + Hex2(vaList) + " at offset " + std::to_string(MarkAt) + ", found " +
                             Hex2(Mark));
          Enter("a collection item");
          Item.Properties = ReadProperties("a collection item");
          Leave();
          Items.push_back(std::move(Item));
        }
      }
      case vaSingle: return {TSingleValue{static_cast<std::uint32_t>(ReadLE(4, "a single value"))}};
      case vaCurrency: return TStreamValue::Currency(static_cast<std::int64_t>(ReadLE(8, "a currency value")));
      case vaDate: return {TDateValue{ReadLE(8, "a date value")}};
      case vaWString: {
        auto Len = ReadLength(2, "a wide string value");
        std::u16string Units(Len, u'\0');
        for (auto& U : Units)
          U = static_cast<char16_t>(ReadLE(2, "a wide string value"));
        return TStreamValue::WideString(std::move(Units));
      }
      case vaUTF8String: {
        auto Len = ReadLength(1, "a UTF-8 string value");
        return TStreamValue::Utf8String(ReadBytesAsString(Len, "a UTF-8 string value"));
      }
      case vaDouble: return {TDoubleValue{ReadLE(8, "a double value")}};
      default: BadType(Type, At, Where);
    }
  }

  TStreamObject ReadObject() {
    TStreamObject Obj;
    auto At = FPos;
    Enter("an object");
    if (auto Prefix = PeekByte("an object"); (Prefix & PrefixMask) == PrefixMask) {
      ++FPos;
      Obj.Flags = Prefix & 0x0F;
      if (Obj.Flags & ~KnownFlags)
        throw EReadError("Invalid stream format: unknown object flags " + Hex2(Obj.Flags) + " at offset " +
                         std::to_string(At));
      if (Obj.Flags & ffChildPos)
        Obj.ChildPos = ReadIntegerValue("the child position of the object at offset " + std::to_string(At));
    }
    Obj.ClassName = ReadShortString("the class name of an object");
    Obj.Name = ReadShortString("the name of an object of class " + Obj.ClassName);
    const auto Owner = "object '" + Obj.Name + "' (" + Obj.ClassName + ")";
    Obj.Properties = ReadProperties(Owner);
    while (PeekByte("the children of " + Owner) != vaNull)
      Obj.Children.push_back(ReadObject());
    ++FPos;
    Leave();
    return Obj;
  }
};

// Collects the bytes of a description; refuses what a reader could not take back.
class TStreamBuilder {
public:
  std::vector<std::uint8_t> Bytes;

  void WriteObject(const TStreamObject& Obj, int Depth) {
    CheckDepth(Depth, "object '" + Obj.Name + "'");
    if (Obj.Flags & ~KnownFlags)
      throw EWriteError("Object '" + Obj.Name + "' has unknown flags " + Hex2(Obj.Flags));
    const std::uint8_t Flags = (Obj.Flags & ~ffChildPos) | (Obj.ChildPos ? ffChildPos : 0);
    // Read bare, a class name's length byte from 0xF0 up is taken for a prefix,
    // and a child's empty one for the end of the children; behind a prefix (with
    // no flags, if need be) either reads back as written.
    const bool NeedsPrefix = Obj.ClassName.size() >= PrefixMask || (Obj.ClassName.empty() && Depth > 1);
    if (Flags != 0 || NeedsPrefix) {
      Byte(PrefixMask | Flags);
      if (Obj.ChildPos)
        Integer(*Obj.ChildPos);
    }
    ShortString(Obj.ClassName, "the class name of object '" + Obj.Name + "'");
    ShortString(Obj.Name, "the name of an object of class " + Obj.ClassName);
    Properties(Obj.Properties, Depth, "object '" + Obj.Name + "'");
    for (const auto& Child : Obj.Children)
      WriteObject(Child, Depth + 1);
    Byte(vaNull);
  }

private:
  static void CheckDepth(int Depth, const std::string& What) {
    if (Depth > MaxComponentNesting)
      throw EWriteError(What + " nests deeper than " + std::to_string(MaxComponentNesting) + " levels");
  }

  void Byte(std::uint8_t B) { Bytes.push_back(B); }

  void LE(std::uint64_t Value, int N) {
    for (int I = 0; I < N; ++I)
      Byte(static_cast<std::uint8_t>(Value >> (8 * I)));
  }

  void Raw(const void* Data, std::size_t N) {
    auto P = static_cast<const std::uint8_t*>(Data);
    Bytes.insert(Bytes.end(), P, P + N);
  }

  void ShortString(const std::string& S, const std::string& What) {
    if (S.size() > 255)
      throw EWriteError(What + " is longer than 255 bytes");
    Byte(static_cast<std::uint8_t>(S.size()));
    Raw(S.data(), S.size());
  }

  void Length(std::size_t N, const std::string& What) {
    if (N > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
      throw EWriteError(What + " is too long for the stream");
    LE(N, 4);
  }

  void Integer(std::int64_t Value) {
    auto Type = IntegerValueType(Value);
    Byte(Type);
    LE(static_cast<std::uint64_t>(Value), Type == vaInt8 ? 1 : Type == vaInt16 ? 2 : Type == vaInt32 ? 4 : 8);
  }

  void Properties(const std::vector<TStreamProperty>& Props, int Depth, const std::string& Owner) {
    for (const auto& P : Props) {
      if (P.Name.empty())
        throw EWriteError("A property name of " + Owner + " is empty, which would end its properties");
      ShortString(P.Name, "Property name '" + P.Name + "'");
      Value(P.Value, P.Name, Depth);
    }
    Byte(vaNull);
  }

  void Value(const TStreamValue& V, const std::string& Prop, int Depth) {
    const auto What = "property '" + Prop + "'";
    std::visit(
        [&](const auto& X) {
          using T = std::decay_t<decltype(X)>;
          if constexpr (std::is_same_v<T, TNullValue>) {
            Byte(vaNull);
          } else if constexpr (std::is_same_v<T, std::vector<TStreamValue>>) {
            CheckDepth(Depth + 1, "A list in " + What);
            Byte(vaList);
            for (const auto& Item : X) {
              if (Item.Kind() == TValueKind::vkNull)
                throw EWriteError("A list in " + What + " holds a null value, which would end it");
              Value(Item, Prop, Depth + 1);
            }
            Byte(vaNull);
          } else if constexpr (std::is_same_v<T, std::int64_t>) {
            Integer(X);
          } else if constexpr (std::is_same_v<T, TExtendedValue>) {
            Byte(vaExtended);
            Raw(X.Bytes.data(), X.Bytes.size());
          } else if constexpr (std::is_same_v<T, std::string>) {
            if (X.size() <= 255) {
              Byte(vaString);
              ShortString(X, What);
            } else {
              Byte(vaLString);
              Length(X.size(), "The string of " + What);
              Raw(X.data(), X.size());
            }
          } else if constexpr (std::is_same_v<T, TIdentValue>) {
            Byte(vaIdent);
            ShortString(X.Name, "The identifier of " + What);
          } else if constexpr (std::is_same_v<T, bool>) {
            Byte(X ? vaTrue : vaFalse);
          } else if constexpr (std::is_same_v<T, TBinaryValue>) {
            Byte(vaBinary);
            Length(X.Bytes.size(), "The binary value of " + What);
            Raw(X.Bytes.data(), X.Bytes.size());
          } else if constexpr (std::is_same_v<T, TSetValue>) {
            Byte(vaSet);
            for (const auto& Name : X.Names) {
              if (Name.empty())
                throw EWriteError("A set member of " + What + " is empty, which would end the set");
              ShortString(Name, "A set member of " + What);
            }
            Byte(0);
          } else if constexpr (std::is_same_v<T, TNilValue>) {
            Byte(vaNil);
          } else if constexpr (std::is_same_v<T, TCollectionValue>) {
            Byte(vaCollection);
            for (const auto& Item : X.Items) {
              CheckDepth(Depth + 1, "A collection item in " + What);
              if (Item.Order)
                Integer(*Item.Order);
              Byte(vaList);
              Properties(Item.Properties, Depth + 1, "a collection item in " + What);
            }
            Byte(vaNull);
          } else if constexpr (std::is_same_v<T, TSingleValue>) {
            Byte(vaSingle);
            LE(X.Bits, 4);
          } else if constexpr (std::is_same_v<T, TCurrencyValue>) {
            Byte(vaCurrency);
            LE(static_cast<std::uint64_t>(X.Scaled), 8);
          } else if constexpr (std::is_same_v<T, TDateValue>) {
            Byte(vaDate);
            LE(X.Bits, 8);
          } else if constexpr (std::is_same_v<T, TWideStringValue>) {
            Byte(vaWString);
            Length(X.Units.size(), "The wide string of " + What);
            for (auto U : X.Units)
              LE(U, 2);
          } else if constexpr (std::is_same_v<T, TUtf8StringValue>) {
            Byte(vaUTF8String);
            Length(X.Bytes.size(), "The UTF-8 string of " + What);
            Raw(X.Bytes.data(), X.Bytes.size());
          } else if constexpr (std::is_same_v<T, TDoubleValue>) {
            Byte(vaDouble);
            LE(X.Bits, 8);
          } else {
            static_assert(sizeof(T) == 0, "every value kind is written");
          }
        },
        V.Data);
  }
};

constexpr std::string_view JpegClass = "TJPEGImage";
constexpr std::string_view IconClass = "TIcon";

}  // namespace

double TExtendedValue::ToDouble() const {
  std::uint64_t Mantissa = 0;
  for (int I = 7; I >= 0; --I)
    Mantissa = (Mantissa << 8) | Bytes[static_cast<std::size_t>(I)];
  const unsigned SignExp = Bytes[8] | (Bytes[9] << 8);
  const bool Negative = SignExp & 0x8000;
  const int Exponent = static_cast<int>(SignExp & 0x7FFF);
  double Result;
  if (Exponent == 0x7FFF) {
    Result = (Mantissa << 1) == 0 ? std::numeric_limits<double>::infinity() : std::numeric_limits<double>::quiet_NaN();
  } else {
    // Denormals use the smallest exponent with no implied integer bit.
    Result = std::ldexp(static_cast<double>(Mantissa), (Exponent == 0 ? 1 : Exponent) - 16383 - 63);
  }
  return Negative ? -Result : Result;
}

TExtendedValue TExtendedValue::FromDouble(double Value) {
  const auto Bits = ToBits(Value);
  const bool Negative = Bits >> 63;
  const int Exponent = static_cast<int>((Bits >> 52) & 0x7FF);
  std::uint64_t Fraction = Bits & ((std::uint64_t{1} << 52) - 1);
  std::uint64_t Mantissa = 0;
  int ExtExponent = 0;
  if (Exponent == 0x7FF) {
    ExtExponent = 0x7FFF;
    Mantissa = (std::uint64_t{1} << 63) | (Fraction << 11);
  } else if (Exponent != 0) {
    ExtExponent = Exponent - 1023 + 16383;
    Mantissa = (std::uint64_t{1} << 63) | (Fraction << 11);
  } else if (Fraction != 0) {
    // A double denormal is a normal extended: shift the top bit up to bit 63.
    int Shift = 0;
    while (!(Fraction & (std::uint64_t{1} << 52))) {
      Fraction <<= 1;
      ++Shift;
    }
    ExtExponent = 1 - 1023 + 16383 - Shift;
    Mantissa = Fraction << 11;
  }
  TExtendedValue V;
  for (std::size_t I = 0; I < 8; ++I)
    V.Bytes[I] = static_cast<std::uint8_t>(Mantissa >> (8 * I));
  const unsigned SignExp = static_cast<unsigned>(ExtExponent) | (Negative ? 0x8000u : 0u);
  V.Bytes[8] = static_cast<std::uint8_t>(SignExp);
  V.Bytes[9] = static_cast<std::uint8_t>(SignExp >> 8);
  return V;
}

float TSingleValue::ToFloat() const { return FromBits<float>(Bits); }
TSingleValue TSingleValue::FromFloat(float Value) { return {static_cast<std::uint32_t>(ToBits(Value))}; }
double TDoubleValue::ToDouble() const { return FromBits<double>(Bits); }
TDoubleValue TDoubleValue::FromDouble(double Value) { return {ToBits(Value)}; }
double TDateValue::ToDouble() const { return FromBits<double>(Bits); }
TDateValue TDateValue::FromDouble(double Value) { return {ToBits(Value)}; }

bool TCollectionItem::operator==(const TCollectionItem& Other) const {
  return Order == Other.Order && Properties == Other.Properties;
}
bool TCollectionValue::operator==(const TCollectionValue& Other) const { return Items == Other.Items; }
bool TStreamValue::operator==(const TStreamValue& Other) const { return Data == Other.Data; }
bool TStreamProperty::operator==(const TStreamProperty& Other) const {
  return Name == Other.Name && Value == Other.Value;
}
bool TStreamObject::operator==(const TStreamObject& Other) const {
  return (Flags & ~ffChildPos) == (Other.Flags & ~ffChildPos) && ChildPos == Other.ChildPos &&
         ClassName == Other.ClassName && Name == Other.Name && Properties == Other.Properties &&
         Children == Other.Children;
}

const TStreamValue* TStreamObject::FindProperty(std::string_view PropName) const {
  for (const auto& P : Properties)
    if (P.Name == PropName)
      return &P.Value;
  return nullptr;
}

TValueType IntegerValueType(std::int64_t Value) {
  if (Value >= std::numeric_limits<std::int8_t>::min() && Value <= std::numeric_limits<std::int8_t>::max())
    return vaInt8;
  if (Value >= std::numeric_limits<std::int16_t>::min() && Value <= std::numeric_limits<std::int16_t>::max())
    return vaInt16;
  if (Value >= std::numeric_limits<std::int32_t>::min() && Value <= std::numeric_limits<std::int32_t>::max())
    return vaInt32;
  return vaInt64;
}

TStreamObject ReadComponentStream(TStream& Stream) {
  const auto Start = Stream.Position();
  const auto Available = Stream.Size() - Start;
  if (Available > std::numeric_limits<std::int32_t>::max())
    throw EReadError("Invalid stream format: the stream is larger than 2 GiB");
  std::vector<std::uint8_t> Data(static_cast<std::size_t>(Available > 0 ? Available : 0));
  Stream.ReadBuffer(Data.data(), static_cast<std::int32_t>(Data.size()));
  TStreamParser Parser(Data.data(), Data.size());
  auto Root = Parser.ReadRoot();
  Stream.SetPosition(Start + static_cast<std::int64_t>(Parser.Position()));
  return Root;
}

void WriteComponentStream(TStream& Stream, const TStreamObject& Root) {
  TStreamBuilder Builder;
  Builder.Bytes.assign(std::begin(Signature), std::end(Signature));
  Builder.WriteObject(Root, 1);
  if (Builder.Bytes.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
    throw EWriteError("The description is larger than 2 GiB");
  Stream.WriteBuffer(Builder.Bytes.data(), static_cast<std::int32_t>(Builder.Bytes.size()));
}

TPictureValue DecodePictureValue(const std::vector<std::uint8_t>& Bytes) {
  if (Bytes.empty() || Bytes.size() - 1 < Bytes[0])
    throw EReadError("Invalid picture data: the class name does not fit in " + std::to_string(Bytes.size()) +
                     (Bytes.size() == 1 ? " byte" : " bytes"));
  TPictureValue Picture;
  Picture.ClassName.assign(reinterpret_cast<const char*>(Bytes.data() + 1), Bytes[0]);
  const std::size_t DataAt = 1 + Bytes[0];
  const std::size_t Rest = Bytes.size() - DataAt;
  if (Picture.ClassName == JpegClass) {
    if (Rest < 4)
      throw EReadError("Invalid picture data: the TJPEGImage byte count needs 4 bytes, " + std::to_string(Rest) +
                       " left");
    std::uint32_t Count = 0;
    for (int I = 3; I >= 0; --I)
      Count = (Count << 8) | Bytes[DataAt + static_cast<std::size_t>(I)];
    if (Count != Rest - 4)
      throw EReadError("Invalid picture data: the TJPEGImage byte count is " + std::to_string(Count) + " but " +
                       std::to_string(Rest - 4) + " bytes follow");
    Picture.Data.assign(Bytes.begin() + static_cast<std::ptrdiff_t>(DataAt + 4), Bytes.end());
  } else if (Picture.ClassName == IconClass) {
    Picture.Data.assign(Bytes.begin() + static_cast<std::ptrdiff_t>(DataAt), Bytes.end());
  } else {
    throw EReadError("Invalid picture data: unknown graphic class '" + Picture.ClassName + "'");
  }
  return Picture;
}

std::vector<std::uint8_t> EncodePictureValue(const TPictureValue& Picture) {
  const bool Jpeg = Picture.ClassName == JpegClass;
  if (!Jpeg && Picture.ClassName != IconClass)
    throw EWriteError("Cannot store a picture of unknown graphic class '" + Picture.ClassName + "'");
  if (Picture.Data.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()) - 64)
    throw EWriteError("The " + Picture.ClassName + " picture is too large");
  std::vector<std::uint8_t> Bytes;
  Bytes.reserve(1 + Picture.ClassName.size() + 4 + Picture.Data.size());
  Bytes.push_back(static_cast<std::uint8_t>(Picture.ClassName.size()));
  Bytes.insert(Bytes.end(), Picture.ClassName.begin(), Picture.ClassName.end());
  if (Jpeg) {
    const auto Count = static_cast<std::uint32_t>(Picture.Data.size());
    for (int I = 0; I < 4; ++I)
      Bytes.push_back(static_cast<std::uint8_t>(Count >> (8 * I)));
  }
  Bytes.insert(Bytes.end(), Picture.Data.begin(), Picture.Data.end());
  return Bytes;
}
