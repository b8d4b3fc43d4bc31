#include "ComponentStream.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include "ComponentStreamFormat.h"
#include "Consts.h"
#include "SysUtils.h"

namespace {

using namespace ComponentStreamFormat;

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

std::string CountBytes(std::size_t N) { return std::to_string(N) + (N == 1 ? " byte" : " bytes"); }

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
      throw EReadError(std::string(Consts::SReadError) + ": " + std::string(What) + " at offset " + std::to_string(At) +
                       " has a negative length " + std::to_string(static_cast<std::int32_t>(Raw)));
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
      case vaInt8:
        return static_cast<std::int8_t>(ReadLE(1, "an int8 value"));
      case vaInt16:
        return static_cast<std::int16_t>(ReadLE(2, "an int16 value"));
      case vaInt32:
        return static_cast<std::int32_t>(ReadLE(4, "an int32 value"));
      case vaInt64:
        return static_cast<std::int64_t>(ReadLE(8, "an int64 value"));
      default:
        throw EReadError("Invalid integer value type " + Hex2(Type) + " at offset " + std::to_string(At) + " (" +
                         std::string(Where) + ")");
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
      case vaNull:
        return TStreamValue::Null();
      case vaList: {
        Enter("a list");
        std::vector<TStreamValue> Items;
        while (PeekByte("a list element of " + Where) != vaNull)
          Items.push_back(ReadValue(Where));
        ++FPos;
        Leave();
        return TStreamValue::List(std::move(Items));
      }
      case vaInt8:
        return TStreamValue::Integer(static_cast<std::int8_t>(ReadLE(1, "an int8 value")));
      case vaInt16:
        return TStreamValue::Integer(static_cast<std::int16_t>(ReadLE(2, "an int16 value")));
      case vaInt32:
        return TStreamValue::Integer(static_cast<std::int32_t>(ReadLE(4, "an int32 value")));
      case vaInt64:
        return TStreamValue::Integer(static_cast<std::int64_t>(ReadLE(8, "an int64 value")));
      case vaExtended: {
        Need(10, "an extended value");
        TExtendedValue V;
        std::memcpy(V.Bytes.data(), FData + FPos, 10);
        FPos += 10;
        return {V};
      }
      case vaString:
        return TStreamValue::String(ReadShortString("a string value"));
      case vaIdent:
        return TStreamValue::Ident(ReadShortString("an identifier value"));
      case vaFalse:
        return TStreamValue::Boolean(false);
      case vaTrue:
        return TStreamValue::Boolean(true);
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
      case vaNil:
        return TStreamValue::Nil();
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
      case vaSingle:
        return {TSingleValue{static_cast<std::uint32_t>(ReadLE(4, "a single value"))}};
      case vaCurrency:
        return TStreamValue::Currency(static_cast<std::int64_t>(ReadLE(8, "a currency value")));
      case vaDate:
        return {TDateValue{ReadLE(8, "a date value")}};
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
      case vaDouble:
        return {TDoubleValue{ReadLE(8, "a double value")}};
      default:
        BadType(Type, At, Where);
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

TStreamObject ReadComponentStream(TStream& Stream) {
  const auto Start = Stream.Position();
  const auto Available = Stream.Size() - Start;
  if (Available > std::numeric_limits<std::int32_t>::max())
    throw EReadError("Invalid stream format: the stream is larger than 2 GiB");
  const auto Count = static_cast<std::int32_t>(Available > 0 ? Available : 0);
  // Not zeroed: the read overwrites it all or raises.
  const auto Data = std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(Count));
  Stream.ReadBuffer(Data.get(), Count);
  TStreamParser Parser(Data.get(), static_cast<std::size_t>(Count));
  auto Root = Parser.ReadRoot();
  Stream.SetPosition(Start + static_cast<std::int64_t>(Parser.Position()));
  return Root;
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
