// Exceptions carrying the framework's messages, and ANSI string and path helpers.
#pragma once

#include <cstddef>
#include <exception>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : FMessage(std::move(message)) {}
  const std::string& Message() const noexcept { return FMessage; }
  const char* what() const noexcept override { return FMessage.c_str(); }

 private:
  std::string FMessage;
};

class EStreamError : public Exception {
  using Exception::Exception;
};
class EFOpenError : public EStreamError {
  using EStreamError::EStreamError;
};
class EFCreateError : public EStreamError {
  using EStreamError::EStreamError;
};
class EReadError : public EStreamError {
  using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
  using EStreamError::EStreamError;
};
class ERegistryException : public Exception {
  using Exception::Exception;
};
class ERangeError : public Exception {
  using Exception::Exception;
};
class EIntOverflow : public Exception {
  using Exception::Exception;
};
class EParserError : public Exception {
  using Exception::Exception;
};
class EInvalidGraphic : public Exception {
  using Exception::Exception;
};

// Replaces the first "%s" of Fmt with Arg.
std::string Format(std::string_view Fmt, std::string_view Arg);

// Tells whether a byte starts a double-byte character in some code page.
using TLeadBytePredicate = bool (*)(unsigned char);

// Lead bytes of the system's ANSI code page (none on the host).
bool IsSystemLeadByte(unsigned char B);

// Index of the last byte of S that is one of Delimiters, skipping the second
// halves of double-byte characters; npos when there is none.
std::size_t LastDelimiter(std::string_view Delimiters, std::string_view S,
                          TLeadBytePredicate IsLeadByte = IsSystemLeadByte);

// The part of Path after its last "\" or ":" (all of it when it has neither).
std::string ExtractFileName(std::string_view Path, TLeadBytePredicate IsLeadByte = IsSystemLeadByte);

// Path with its extension (from the last "." after any "\" or ":") replaced by Ext.
std::string ChangeFileExt(std::string_view Path, std::string_view Ext,
                          TLeadBytePredicate IsLeadByte = IsSystemLeadByte);

// Lower case in the system's ANSI code page (ASCII only on the host).
std::string AnsiLowerCase(std::string_view S);

// The message as the error box shows it: a "." is appended when the last
// byte sorts after "." in byte order.
std::string ErrorBoxText(std::string_view Message);

// The default application title for a program at ExePath: its file name cut
// at the first ".", every character after the first in lower case.
std::string DefaultApplicationTitle(std::string_view ExePath, TLeadBytePredicate IsLeadByte = IsSystemLeadByte);

// Puts Item into Items in place of the one with the same key, else at the end.
// For the framework's few registries (classes, properties, handlers, fields):
// a list searched in order is smaller than a tree and as quick.
template <typename T, typename KeyOf>
T& ReplaceOrAppend(std::vector<T>& Items, std::type_identity_t<T> Item, KeyOf Key) {
  for (auto& Existing : Items)
    if (Key(Existing) == Key(Item))
      return Existing = std::move(Item);
  return Items.emplace_back(std::move(Item));
}
