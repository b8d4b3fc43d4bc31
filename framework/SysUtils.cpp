#include "SysUtils.h"

#ifdef _WIN32
#include <windows.h>
#endif

std::string Format(std::string_view Fmt, std::string_view Arg) {
  std::string Result(Fmt);
  if (auto At = Result.find("%s"); At != std::string::npos)
    Result.replace(At, 2, Arg);
  return Result;
}

bool IsSystemLeadByte(unsigned char B) {
#ifdef _WIN32
  return IsDBCSLeadByte(B);
#else
  (void)B;
  return false;
#endif
}

std::size_t LastDelimiter(std::string_view Delimiters, std::string_view S, TLeadBytePredicate IsLeadByte) {
  // Walk forwards: only a scan from the start knows which bytes are trail bytes.
  std::size_t Found = std::string_view::npos;
  for (std::size_t I = 0; I < S.size(); ++I) {
    auto B = static_cast<unsigned char>(S[I]);
    if (IsLeadByte(B)) {
      ++I;
      continue;
    }
    if (Delimiters.find(S[I]) != std::string_view::npos)
      Found = I;
  }
  return Found;
}

std::string ExtractFileName(std::string_view Path, TLeadBytePredicate IsLeadByte) {
  auto At = LastDelimiter("\\:", Path, IsLeadByte);
  return std::string(At == std::string_view::npos ? Path : Path.substr(At + 1));
}

std::string ChangeFileExt(std::string_view Path, std::string_view Ext, TLeadBytePredicate IsLeadByte) {
  auto At = LastDelimiter(".\\:", Path, IsLeadByte);
  std::string Result(At != std::string_view::npos && Path[At] == '.' ? Path.substr(0, At) : Path);
  return Result.append(Ext);
}

std::string AnsiLowerCase(std::string_view S) {
  std::string Result(S);
#ifdef _WIN32
  if (!Result.empty())
    CharLowerBuffA(Result.data(), static_cast<DWORD>(Result.size()));
#else
  for (auto& C : Result)
    if (C >= 'A' && C <= 'Z')
      C = static_cast<char>(C - 'A' + 'a');
#endif
  return Result;
}

std::string ErrorBoxText(std::string_view Message) {
  std::string Result(Message);
  if (!Result.empty() && static_cast<unsigned char>(Result.back()) > static_cast<unsigned char>('.'))
    Result += '.';
  return Result;
}

std::string DefaultApplicationTitle(std::string_view ExePath, TLeadBytePredicate IsLeadByte) {
  auto Name = ExtractFileName(ExePath, IsLeadByte);
  // No code page has "." as the second byte of a character.
  if (auto Dot = Name.find('.'); Dot != std::string::npos)
    Name.resize(Dot);
  // The first character keeps its case, whether it takes one byte or two.
  const std::size_t First = Name.size() > 1 && IsLeadByte(static_cast<unsigned char>(Name[0])) ? 2 : 1;
  if (Name.size() > First)
    Name = Name.substr(0, First) + AnsiLowerCase(std::string_view(Name).substr(First));
  return Name;
}
