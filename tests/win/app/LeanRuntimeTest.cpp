// The runtime's own errors, as the program raises them: still exceptions that
// the application's handler can show, with the library's text.
#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "SysUtils.h"

namespace {

template <typename F>
std::string FrameworkMessage(F&& Action) {
  try {
    Action();
  } catch (const Exception& E) {
    return E.Message();
  }
  return "(nothing raised)";
}

TEST(LeanRuntime, LibraryErrorsBecomeFrameworkExceptionsWithTheLibrarysText) {
  std::vector<int> Empty;
  std::string Short = "abc";
  // volatile: the compiler must not see through the sizes.
  volatile std::size_t Far = 5, Huge = std::numeric_limits<std::size_t>::max() - 1;
  EXPECT_EQ(FrameworkMessage([&] { (void)Empty.at(Far); }),
            "vector::_M_range_check: __n (which is 5) >= this->size() (which is 0)");
  EXPECT_EQ(FrameworkMessage([&] { (void)Short.substr(Far); }),
            "basic_string::substr: __pos (which is 5) > this->size() (which is 3)");
  EXPECT_NE(FrameworkMessage([&] { Short.reserve(Huge); }).find("basic_string::_M_create"), std::string::npos);
  EXPECT_NE(FrameworkMessage([&] { Empty.reserve(Huge); }).find("vector::reserve"), std::string::npos);
}

TEST(LeanRuntime, AllocationAndCallFailuresKeepTheirStandardTypes) {
  std::function<void()> Nothing;
  EXPECT_THROW(Nothing(), std::bad_function_call);
  volatile std::size_t Huge = std::numeric_limits<std::size_t>::max() / 4;
  EXPECT_THROW((void)std::vector<long double>(Huge), std::exception);
  EXPECT_THROW(
      {
        char* volatile Block = new char[Huge];
        delete[] Block;
      },
      std::bad_alloc);
}

}  // namespace
