#include "ComponentStream.h"

#include <limits>
#include <string>
#include <type_traits>

#include "ComponentStreamFormat.h"
#include "SysUtils.h"

namespace {

using namespace ComponentStreamFormat;

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

}  // namespace

TValueType IntegerValueType(std::int64_t Value) {
  if (Value >= std::numeric_limits<std::int8_t>::min() && Value <= std::numeric_limits<std::int8_t>::max())
    return vaInt8;
  if (Value >= std::numeric_limits<std::int16_t>::min() && Value <= std::numeric_limits<std::int16_t>::max())
    return vaInt16;
  if (Value >= std::numeric_limits<std::int32_t>::min() && Value <= std::numeric_limits<std::int32_t>::max())
    return vaInt32;
  return vaInt64;
}

void WriteComponentStream(TStream& Stream, const TStreamObject& Root) {
  TStreamBuilder Builder;
  Builder.Bytes.assign(std::begin(Signature), std::end(Signature));
  Builder.WriteObject(Root, 1);
  if (Builder.Bytes.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
    throw EWriteError("The description is larger than 2 GiB");
  Stream.WriteBuffer(Builder.Bytes.data(), static_cast<std::int32_t>(Builder.Bytes.size()));
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
