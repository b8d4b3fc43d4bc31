// formc: compiles the readable text of a window description to its binary
// stream, and prints a binary stream back as text.
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "Classes.h"
#include "ComponentStream.h"
#include "ComponentText.h"
#include "SysUtils.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* Usage =
    "usage: formc compile IN.txt OUT.bin\n"
    "       formc dump IN.bin [OUT.txt]\n"
    "       formc --version\n";

void PrintHelp() {
  std::fputs(Usage, stdout);
  std::fputs(
      "\n"
      "compile  reads the text form of a window description and writes its binary\n"
      "         component stream (\"TPF0\"). A picture written as\n"
      "             Picture.Data = file 'background.jpg' as TJPEGImage\n"
      "         is read from that file, relative to the folder of IN.txt (TJPEGImage\n"
      "         or TIcon). OUT.bin is replaced only when the whole text compiled.\n"
      "dump     prints a binary stream as text: to standard output, pictures as hex;\n"
      "         or to OUT.txt, each picture saved beside it as a .jpg or .ico file that\n"
      "         the text names, so that compiling OUT.txt gives IN.bin back.\n"
      "\n"
      "Options:\n"
      "  --version    show this tool's version\n"
      "  -h, --help   show this help\n"
      "\n"
      "Exit status: 0 on success, 1 when a file cannot be read or written or does not\n"
      "compile or load (the message names the line or the offset), 2 on usage errors.\n",
      stdout);
}

int UsageError(const std::string& Message) {
  std::fprintf(stderr, "formc: %s\n%sTry 'formc --help' for more information.\n", Message.c_str(), Usage);
  return 2;
}

std::vector<std::uint8_t> ReadFile(const fs::path& Path) {
  std::error_code Ec;
  if (fs::is_directory(Path, Ec))
    throw Exception("cannot read '" + Path.string() + "': it is a folder");
  std::ifstream In(Path, std::ios::binary);
  if (!In)
    throw Exception("cannot read '" + Path.string() + "': " + std::strerror(errno));
  std::vector<std::uint8_t> Data{std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
  if (In.bad())
    throw Exception("cannot read '" + Path.string() + "'");
  return Data;
}

// Writes beside the target first so that a failure never leaves half a file.
void WriteFile(const fs::path& Path, const void* Data, std::size_t Size) {
  auto Temp = Path;
  Temp += ".formc-tmp";
  {
    std::ofstream Out(Temp, std::ios::binary | std::ios::trunc);
    if (!Out)
      throw Exception("cannot write '" + Path.string() + "': " + std::strerror(errno));
    Out.write(static_cast<const char*>(Data), static_cast<std::streamsize>(Size));
    Out.close();
    if (!Out) {
      std::error_code Ec;
      fs::remove(Temp, Ec);
      throw Exception("cannot write '" + Path.string() + "'");
    }
  }
  std::error_code Ec;
  fs::rename(Temp, Path, Ec);
  if (Ec) {
    fs::remove(Temp, Ec);
    throw Exception("cannot write '" + Path.string() + "': " + Ec.message());
  }
}

void Compile(const fs::path& In, const fs::path& Out) {
  const auto Bytes = ReadFile(In);
  const auto Folder = In.parent_path();
  const TFileLoader Loader = [&](const std::string& Name) { return ReadFile(Folder / fs::path(Name)); };
  TMemoryStream Stream;
  try {
    const auto Root =
        ParseComponentText(std::string_view(reinterpret_cast<const char*>(Bytes.data()), Bytes.size()), Loader);
    WriteComponentStream(Stream, Root);
  } catch (const Exception& E) {
    throw Exception(In.string() + ": " + E.Message());
  }
  WriteFile(Out, Stream.Data().data(), Stream.Data().size());
}

std::string SafeFilePart(const std::string& S) {
  std::string Out;
  for (char C : S)
    Out += std::isalnum(static_cast<unsigned char>(C)) || C == '_' || C == '-' || C == '.' ? C : '_';
  return Out;
}

void Dump(const fs::path& In, const fs::path& Out) {
  TMemoryStream Stream(ReadFile(In));
  TStreamObject Root;
  try {
    Root = ReadComponentStream(Stream);
  } catch (const Exception& E) {
    throw Exception(In.string() + ": " + E.Message());
  }
  if (auto Rest = Stream.Size() - Stream.Position(); Rest > 0)
    std::fprintf(stderr, "formc: warning: %s: %lld bytes after the description at offset %lld are ignored\n",
                 In.string().c_str(), static_cast<long long>(Rest), static_cast<long long>(Stream.Position()));
  if (Out.empty()) {
    auto Text = PrintComponentText(Root);
    std::fwrite(Text.data(), 1, Text.size(), stdout);
    return;
  }
  std::set<std::string> Used;
  const auto Folder = Out.parent_path();
  const TPictureSaver Saver = [&](const TStreamObject& Owner, const std::string& Prop, const TPictureValue& Pic) {
    auto Stem = SafeFilePart(Owner.Name.empty() ? Owner.ClassName : Owner.Name);
    auto PropPart = Prop;
    if (PropPart.size() > 5 && PropPart.compare(PropPart.size() - 5, 5, ".Data") == 0)
      PropPart.resize(PropPart.size() - 5);
    Stem += "-" + SafeFilePart(PropPart);
    const std::string Ext = Pic.ClassName == "TIcon" ? ".ico" : ".jpg";
    auto Name = Stem + Ext;
    for (int N = 2; Used.count(Name); ++N)
      Name = Stem + "-" + std::to_string(N) + Ext;
    Used.insert(Name);
    WriteFile(Folder / Name, Pic.Data.data(), Pic.Data.size());
    return Name;
  };
  auto Text = PrintComponentText(Root, Saver);
  WriteFile(Out, Text.data(), Text.size());
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> Args(argv + 1, argv + argc);
  for (const auto& A : Args)
    if (A == "-h" || A == "--help") {
      PrintHelp();
      return 0;
    }
  for (const auto& A : Args)
    if (A == "--version") {
      std::fputs("formc " INSTALLERWIN_VERSION "\n", stdout);
      return 0;
    }
  for (const auto& A : Args)
    if (A.size() > 1 && A[0] == '-')
      return UsageError("unknown option '" + A + "'");
  if (Args.empty())
    return UsageError("missing command");
  const auto& Command = Args[0];
  try {
    if (Command == "compile") {
      if (Args.size() != 3)
        return UsageError("compile takes an input text and an output file");
      Compile(Args[1], Args[2]);
    } else if (Command == "dump") {
      if (Args.size() != 2 && Args.size() != 3)
        return UsageError("dump takes an input stream and an optional output text");
      Dump(Args[1], Args.size() == 3 ? fs::path(Args[2]) : fs::path());
    } else {
      return UsageError("unknown command '" + Command + "'");
    }
  } catch (const Exception& E) {
    std::fprintf(stderr, "formc: %s\n", E.Message().c_str());
    return 1;
  } catch (const std::exception& E) {
    std::fprintf(stderr, "formc: %s\n", E.what());
    return 1;
  }
  return 0;
}
