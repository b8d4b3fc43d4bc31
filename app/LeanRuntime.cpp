// The C++ runtime's error paths, made small for this program.
//
// The library raises its own errors (a string too long, an index out of range,
// an empty std::function called) through the std::__throw_* functions of one
// object file, which also brings the exception classes of the old string ABI,
// their string and a random device: about 30 KiB for errors that only a
// program fault can cause. Defining those functions here keeps that file
// out; should one more be needed, the link fails with a duplicate definition.
// The errors come as the framework's Exception with the library's text,
// which the application's default handler shows like any other.
#include <functional>
#include <new>
#include <string>

#include "SysUtils.h"

namespace std {

[[noreturn]] void __throw_bad_alloc() { throw bad_alloc(); }
[[noreturn]] void __throw_bad_array_new_length() { throw bad_array_new_length(); }
[[noreturn]] void __throw_bad_function_call() { throw bad_function_call(); }
[[noreturn]] void __throw_length_error(const char* What) { throw Exception(What); }
[[noreturn]] void __throw_logic_error(const char* What) { throw Exception(What); }
[[noreturn]] void __throw_out_of_range(const char* What) { throw Exception(What); }
[[noreturn]] void __throw_out_of_range_fmt(const char* What, ...) { throw Exception(What); }
[[noreturn]] void __throw_invalid_argument(const char* What) { throw Exception(What); }

}  // namespace std
