// The C++ runtime's error paths, made small for this program.
//
// The library raises its own errors (a string too long, an index out of range,
// an empty std::function called) through the std::__throw_* functions of one
// object file, which also brings the exception classes of the old string ABI,
// their string and a random device: about 30 KiB for errors that only a
// program fault can cause. Defining those functions here keeps that file
// out; should one more be needed, the link fails with a duplicate definition.
// Failed allocations and calls keep their standard types; the others come as
// the framework's Exception with the library's text, which the application's
// default handler shows like any other.
#include <cstdarg>
#include <functional>
#include <new>
#include <string>

#include "SysUtils.h"

namespace {

// The library's formats use %s, %zu, %lu and %% only.
std::string FormatLibraryText(const char* Format, va_list Args) {
  std::string Text;
  for (const char* P = Format; *P; ++P) {
    if (*P != '%') {
      Text += *P;
    } else if (P[1] == 's') {
      Text += va_arg(Args, const char*);
      ++P;
    } else if (P[1] == 'z' && P[2] == 'u') {
      Text += std::to_string(va_arg(Args, std::size_t));
      P += 2;
    } else if (P[1] == 'l' && P[2] == 'u') {
      Text += std::to_string(va_arg(Args, unsigned long));
      P += 2;
    } else if (P[1] == '%') {
      Text += '%';
      ++P;
    } else {
      Text += *P;
    }
  }
  return Text;
}

}  // namespace

namespace std {

[[noreturn]] void __throw_bad_alloc() { throw bad_alloc(); }
[[noreturn]] void __throw_bad_array_new_length() { throw bad_array_new_length(); }
[[noreturn]] void __throw_bad_function_call() { throw bad_function_call(); }
[[noreturn]] void __throw_length_error(const char* What) { throw Exception(What); }
[[noreturn]] void __throw_logic_error(const char* What) { throw Exception(What); }
[[noreturn]] void __throw_out_of_range(const char* What) { throw Exception(What); }
[[noreturn]] void __throw_out_of_range_fmt(const char* Format, ...) {
  va_list Args;
  va_start(Args, Format);
  std::string Text = FormatLibraryText(Format, Args);
  va_end(Args);
  throw Exception(Text);
}
[[noreturn]] void __throw_invalid_argument(const char* What) { throw Exception(What); }

}  // namespace std
