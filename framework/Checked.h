// Range- and overflow-checked integers for the units that run with checking:
// a value outside its declared range raises "Range check error", an integer
// result that does not fit raises "Integer overflow". And sums that are held
// at the ends of the int range instead.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>

#include "Consts.h"
#include "SysUtils.h"

// A value of Lo..Hi stored in Rep; constructing it out of range raises.
template <int Lo, int Hi, typename Rep = std::uint8_t>
class TSubrange {
 public:
  static constexpr int Min = Lo, Max = Hi;
  constexpr TSubrange() : FValue(static_cast<Rep>(Lo)) {}
  constexpr TSubrange(std::int64_t Value) : FValue(Check(Value)) {}  // NOLINT: converts like the integer it is
  constexpr operator int() const { return FValue; }

 private:
  static constexpr Rep Check(std::int64_t Value) {
    if (Value < Lo || Value > Hi)
      throw ERangeError(Consts::SRangeError);
    return static_cast<Rep>(Value);
  }
  Rep FValue;
};

// A checked unit's 32-bit integer: a value beyond it raises the range error.
using TCheckedInt32 =
    TSubrange<std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max(), std::int32_t>;

// Narrows Value to T, raising the range error when it does not fit.
template <typename T>
constexpr T RangeChecked(std::int64_t Value) {
  if (Value < static_cast<std::int64_t>(std::numeric_limits<T>::min()) ||
      Value > static_cast<std::int64_t>(std::numeric_limits<T>::max()))
    throw ERangeError(Consts::SRangeError);
  return static_cast<T>(Value);
}

// 32-bit signed arithmetic that raises the overflow error.
inline std::int32_t CheckedAdd(std::int32_t A, std::int32_t B) {
  std::int32_t R;
  if (__builtin_add_overflow(A, B, &R))
    throw EIntOverflow(Consts::SIntOverflow);
  return R;
}
inline std::int32_t CheckedSub(std::int32_t A, std::int32_t B) {
  std::int32_t R;
  if (__builtin_sub_overflow(A, B, &R))
    throw EIntOverflow(Consts::SIntOverflow);
  return R;
}
inline std::int32_t CheckedMul(std::int32_t A, std::int32_t B) {
  std::int32_t R;
  if (__builtin_mul_overflow(A, B, &R))
    throw EIntOverflow(Consts::SIntOverflow);
  return R;
}
// Integer division truncating toward zero; MIN div -1 overflows.
inline std::int32_t CheckedDiv(std::int32_t A, std::int32_t B) {
  if (B == -1 && A == std::numeric_limits<std::int32_t>::min())
    throw EIntOverflow(Consts::SIntOverflow);
  return A / B;
}

// Stored bounds may lie anywhere in the int range: sums of coordinates are
// held at the ends of the range instead of wrapping past them.
inline int ClampedSum(std::int64_t A, std::int64_t B) {
  return static_cast<int>(
      std::clamp<std::int64_t>(A + B, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}
