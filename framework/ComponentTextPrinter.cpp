#include "ComponentTextPrinter.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>
#include <system_error>
#include <type_traits>
#include <variant>
#include <vector>

#include "ComponentTextLexer.h"
#include "SysUtils.h"

using namespace ComponentText;

namespace {

constexpr std::size_t StringChunk = 64;
constexpr std::size_t BinaryLineBytes = 32;

// Units printable as ASCII go in quotes, every other one as #N.
template <class TUnits>
std::string Literal(const TUnits& Units, const std::string& Pad, bool Split = true) {
  std::vector<std::string> Chunks;
  std::string Cur;
  bool InQuote = false;
  for (std::size_t I = 0; I < Units.size(); ++I) {
    auto U = static_cast<std::uint32_t>(static_cast<std::make_unsigned_t<typename TUnits::value_type>>(Units[I]));
    if (U >= 0x20 && U <= 0x7E) {
      if (!InQuote)
        Cur += '\'';
      InQuote = true;
      Cur += U == '\'' ? "''" : std::string(1, static_cast<char>(U));
    } else {
      if (InQuote)
        Cur += '\'';
      InQuote = false;
      Cur += '#' + std::to_string(U);
    }
    if (Split && Cur.size() >= StringChunk && I + 1 < Units.size()) {
      if (InQuote)
        Cur += '\'';
      InQuote = false;
      Chunks.push_back(std::move(Cur));
      Cur.clear();
    }
  }
  if (InQuote)
    Cur += '\'';
  if (Cur.empty())
    Cur = "''";
  Chunks.push_back(std::move(Cur));
  std::string Out = Chunks[0];
  for (std::size_t I = 1; I < Chunks.size(); ++I)
    Out += " +\n" + Pad + Chunks[I];
  return Out;
}

std::string Name(const std::string& S) {
  if (IsPlainName(S))
    return IsKeyword(S) ? "&" + S : S;
  return "&" + Literal(S, "", false);
}

std::string HexBytes(const std::uint8_t* P, std::size_t N) {
  static constexpr char Digits[] = "0123456789ABCDEF";
  std::string Out;
  for (std::size_t I = 0; I < N; ++I) {
    Out += Digits[P[I] >> 4];
    Out += Digits[P[I] & 15];
  }
  return Out;
}

std::string Binary(const std::vector<std::uint8_t>& Bytes, const std::string& Pad) {
  if (Bytes.size() <= BinaryLineBytes)
    return "{" + HexBytes(Bytes.data(), Bytes.size()) + "}";
  std::string Out = "{";
  for (std::size_t I = 0; I < Bytes.size(); I += BinaryLineBytes)
    Out += "\n" + Pad + HexBytes(Bytes.data() + I, std::min(BinaryLineBytes, Bytes.size() - I));
  return Out + "}";
}

std::string LittleEndianHex(std::uint64_t Bits, std::size_t N) {
  std::uint8_t B[8];
  for (std::size_t I = 0; I < N; ++I)
    B[I] = static_cast<std::uint8_t>(Bits >> (8 * I));
  return "{" + HexBytes(B, N) + "}";
}

// Shortest decimal that reads back as the same bits; none for NaN or infinity.
template <class TFloat>
std::optional<std::string> Decimal(TFloat Value) {
  if (!std::isfinite(Value))
    return std::nullopt;
  char Buf[64];
  auto [End, Ec] = std::to_chars(Buf, Buf + sizeof Buf, Value);
  if (Ec != std::errc())
    return std::nullopt;
  std::string S(Buf, End);
  if (S.find_first_of(".e") == std::string::npos)
    S += ".0";
  return S;
}

std::string CurrencyText(std::int64_t Scaled) {
  const bool Negative = Scaled < 0;
  const std::uint64_t Abs = Negative ? ~static_cast<std::uint64_t>(Scaled) + 1 : static_cast<std::uint64_t>(Scaled);
  std::string Out = (Negative ? "-" : "") + std::to_string(Abs / 10000);
  if (auto Frac = Abs % 10000) {
    char Buf[8];
    std::snprintf(Buf, sizeof Buf, ".%04u", static_cast<unsigned>(Frac));
    std::string F = Buf;
    while (F.back() == '0')
      F.pop_back();
    Out += F;
  }
  return Out;
}

class TTextPrinter {
 public:
  explicit TTextPrinter(const TPictureSaver& Saver) : FSaver(Saver) {}

  std::string Out;

  void Object(const TStreamObject& Obj, int Indent) {
    const std::string Pad(static_cast<std::size_t>(Indent) * 2, ' ');
    Out += Pad;
    if (Obj.Flags & ffInherited)
      Out += "inherited";
    if (Obj.Flags & ffInline)
      Out += Obj.Flags & ffInherited ? " inline" : "inline";
    if (!(Obj.Flags & (ffInherited | ffInline)))
      Out += "object";
    Out += ' ';
    if (!Obj.Name.empty())
      Out += Name(Obj.Name) + ": ";
    Out += Name(Obj.ClassName);
    if (Obj.ChildPos)
      Out += " [" + std::to_string(*Obj.ChildPos) + "]";
    Out += '\n';
    Properties(Obj.Properties, Obj, Indent + 1);
    for (const auto& Child : Obj.Children)
      Object(Child, Indent + 1);
    Out += Pad + "end\n";
  }

 private:
  const TPictureSaver& FSaver;

  void Properties(const std::vector<TStreamProperty>& Props, const TStreamObject& Owner, int Indent) {
    const std::string Pad(static_cast<std::size_t>(Indent) * 2, ' ');
    for (const auto& P : Props)
      Out += Pad + Name(P.Name) + " = " + Value(P.Value, Owner, P.Name, Indent) + "\n";
  }

  std::optional<std::string> PictureFile(const TBinaryValue& V, const TStreamObject& Owner, const std::string& Prop) {
    if (!FSaver)
      return std::nullopt;
    TPictureValue Pic;
    try {
      Pic = DecodePictureValue(V.Bytes);
      if (EncodePictureValue(Pic) != V.Bytes)
        return std::nullopt;
    } catch (const Exception&) {
      return std::nullopt;
    }
    auto FileName = FSaver(Owner, Prop, Pic);
    if (FileName.empty())
      return std::nullopt;
    return "file " + Literal(FileName, "") + " as " + Name(Pic.ClassName);
  }

  // Continuation lines of a value are indented one level below its property.
  std::string Value(const TStreamValue& V, const TStreamObject& Owner, const std::string& Prop, int Indent) {
    const std::string Pad(static_cast<std::size_t>(Indent + 1) * 2, ' ');
    return std::visit(
        [&](const auto& X) -> std::string {
          using T = std::decay_t<decltype(X)>;
          if constexpr (std::is_same_v<T, TNullValue>) {
            return "null";
          } else if constexpr (std::is_same_v<T, std::vector<TStreamValue>>) {
            if (X.empty())
              return "()";
            std::string S = "(";
            for (const auto& Item : X)
              S += "\n" + Pad + Value(Item, Owner, Prop, Indent + 1);
            return S + ")";
          } else if constexpr (std::is_same_v<T, std::int64_t>) {
            return std::to_string(X);
          } else if constexpr (std::is_same_v<T, TExtendedValue>) {
            const double D = X.ToDouble();
            if (auto S = Decimal(D); S && TExtendedValue::FromDouble(D) == X)
              return *S;
            return "Extended " + std::string("{") + HexBytes(X.Bytes.data(), X.Bytes.size()) + "}";
          } else if constexpr (std::is_same_v<T, std::string>) {
            return Literal(X, Pad);
          } else if constexpr (std::is_same_v<T, TIdentValue>) {
            return Name(X.Name);
          } else if constexpr (std::is_same_v<T, bool>) {
            return X ? "True" : "False";
          } else if constexpr (std::is_same_v<T, TBinaryValue>) {
            if (auto File = PictureFile(X, Owner, Prop))
              return *File;
            return Binary(X.Bytes, Pad);
          } else if constexpr (std::is_same_v<T, TSetValue>) {
            std::string S = "[";
            for (std::size_t I = 0; I < X.Names.size(); ++I)
              S += (I ? ", " : "") + Name(X.Names[I]);
            return S + "]";
          } else if constexpr (std::is_same_v<T, TNilValue>) {
            return "nil";
          } else if constexpr (std::is_same_v<T, TCollectionValue>) {
            std::string S = "<";
            for (const auto& Item : X.Items) {
              S += "\n" + Pad + "item";
              if (Item.Order)
                S += " [" + std::to_string(*Item.Order) + "]";
              S += "\n";
              TTextPrinter Inner(FSaver);
              Inner.Properties(Item.Properties, Owner, Indent + 2);
              S += Inner.Out + Pad + "end";
            }
            return S + ">";
          } else if constexpr (std::is_same_v<T, TSingleValue>) {
            if (auto S = Decimal(X.ToFloat()); S && TSingleValue::FromFloat(X.ToFloat()) == X)
              return "Single " + *S;
            return "Single " + LittleEndianHex(X.Bits, 4);
          } else if constexpr (std::is_same_v<T, TCurrencyValue>) {
            return "Currency " + CurrencyText(X.Scaled);
          } else if constexpr (std::is_same_v<T, TDateValue>) {
            if (auto S = Decimal(X.ToDouble()))
              return "Date " + *S;
            return "Date " + LittleEndianHex(X.Bits, 8);
          } else if constexpr (std::is_same_v<T, TWideStringValue>) {
            return "Wide " + Literal(X.Units, Pad);
          } else if constexpr (std::is_same_v<T, TUtf8StringValue>) {
            return "Utf8 " + Literal(X.Bytes, Pad);
          } else if constexpr (std::is_same_v<T, TDoubleValue>) {
            if (auto S = Decimal(X.ToDouble()))
              return "Double " + *S;
            return "Double " + LittleEndianHex(X.Bits, 8);
          } else {
            static_assert(sizeof(T) == 0, "every value kind is printed");
          }
        },
        V.Data);
  }
};

}  // namespace

std::string PrintComponentText(const TStreamObject& Root, const TPictureSaver& Saver) {
  TTextPrinter Printer(Saver);
  Printer.Object(Root, 0);
  return Printer.Out;
}
