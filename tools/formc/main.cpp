// formc: compiles the readable text of a window description to its binary
// stream, and prints a binary stream back as text.
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <sys/stat.h>
#include <vector>
#ifdef _WIN32
#include <windows.h>
#endif

#include "Classes.h"
#include "ComponentStream.h"
#include "ComponentText.h"
#include "SysUtils.h"

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
      "         the text names, so that compiling OUT.txt gives IN.bin back if IN.bin is\n"
      "         canonical: an integer stored wider than it needs, or a string of up to\n"
      "         255 bytes stored in the long form, comes back in its shortest form.\n"
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

// Plain C files rather than iostreams and std::filesystem: those bring their
// locales along, and would make formc.exe several times its size.
struct TFileCloser {
  void operator()(std::FILE* File) const { std::fclose(File); }
};
using TFile = std::unique_ptr<std::FILE, TFileCloser>;

bool IsFolder(const std::string& Path) {
  struct stat St {};
  return ::stat(Path.c_str(), &St) == 0 && S_ISDIR(St.st_mode);
}

// The folder part of Path, with its separator ("" for a bare name). ANSI
// paths: a double-byte character's trail byte may be a backslash.
std::string FolderOf(const std::string& Path) {
#ifdef _WIN32
  const std::size_t Sep = LastDelimiter("\\/:", Path);
#else
  const std::size_t Sep = LastDelimiter("/", Path);
#endif
  return Sep == std::string::npos ? std::string() : Path.substr(0, Sep + 1);
}

bool IsAbsolute(const std::string& Path) {
#ifdef _WIN32
  return (!Path.empty() && (Path[0] == '\\' || Path[0] == '/')) || (Path.size() >= 2 && Path[1] == ':');
#else
  return !Path.empty() && Path[0] == '/';
#endif
}

std::vector<std::uint8_t> ReadFile(const std::string& Path) {
  if (IsFolder(Path))
    throw Exception("cannot read '" + Path + "': it is a folder");
  TFile In(std::fopen(Path.c_str(), "rb"));
  if (!In)
    throw Exception("cannot read '" + Path + "': " + std::strerror(errno));
  std::vector<std::uint8_t> Data;
  std::uint8_t Block[64 * 1024];
  while (const std::size_t N = std::fread(Block, 1, sizeof Block, In.get()))
    Data.insert(Data.end(), Block, Block + N);
  if (std::ferror(In.get()))
    throw Exception("cannot read '" + Path + "'");
  return Data;
}

// Replaces To with From; false (errno set) when it cannot.
bool RenameOver(const std::string& From, const std::string& To) {
#ifdef _WIN32
  // The C library's rename refuses an existing target here.
  if (MoveFileExA(From.c_str(), To.c_str(), MOVEFILE_REPLACE_EXISTING))
    return true;
  errno = EACCES;
  return false;
#else
  return std::rename(From.c_str(), To.c_str()) == 0;
#endif
}

// Writes beside the target first so that a failure never leaves half a file.
void WriteFile(const std::string& Path, const void* Data, std::size_t Size) {
  const std::string Temp = Path + ".formc-tmp";
  TFile Out(std::fopen(Temp.c_str(), "wb"));
  if (!Out)
    throw Exception("cannot write '" + Path + "': " + std::strerror(errno));
  const bool Written = std::fwrite(Data, 1, Size, Out.get()) == Size;
  if (std::fclose(Out.release()) != 0 || !Written) {
    std::remove(Temp.c_str());
    throw Exception("cannot write '" + Path + "'");
  }
  if (!RenameOver(Temp, Path)) {
    const int Err = errno;
    std::remove(Temp.c_str());
    throw Exception("cannot write '" + Path + "': " + std::strerror(Err));
  }
}

void Compile(const std::string& In, const std::string& Out) {
  const auto Bytes = ReadFile(In);
  const std::string Folder = FolderOf(In);
  const TFileLoader Loader = [&](const std::string& Name) { return ReadFile(IsAbsolute(Name) ? Name : Folder + Name); };
  TMemoryStream Stream;
  try {
    const auto Root =
        ParseComponentText(std::string_view(reinterpret_cast<const char*>(Bytes.data()), Bytes.size()), Loader);
    WriteComponentStream(Stream, Root);
  } catch (const Exception& E) {
    throw Exception(In + ": " + E.Message());
  }
  WriteFile(Out, Stream.Data().data(), Stream.Data().size());
}

std::string SafeFilePart(const std::string& S) {
  std::string Out;
  for (char C : S)
    Out += std::isalnum(static_cast<unsigned char>(C)) || C == '_' || C == '-' || C == '.' ? C : '_';
  return Out;
}

void Dump(const std::string& In, const std::string& Out) {
  TMemoryStream Stream(ReadFile(In));
  TStreamObject Root;
  try {
    Root = ReadComponentStream(Stream);
  } catch (const Exception& E) {
    throw Exception(In + ": " + E.Message());
  }
  if (auto Rest = Stream.Size() - Stream.Position(); Rest > 0)
    std::fprintf(stderr, "formc: warning: %s: %lld bytes after the description at offset %lld are ignored\n",
                 In.c_str(), static_cast<long long>(Rest), static_cast<long long>(Stream.Position()));
  if (Out.empty()) {
    auto Text = PrintComponentText(Root);
    std::fwrite(Text.data(), 1, Text.size(), stdout);
    return;
  }
  std::set<std::string> Used;
  const std::string Folder = FolderOf(Out);
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
    WriteFile(Folder + Name, Pic.Data.data(), Pic.Data.size());
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
      Dump(Args[1], Args.size() == 3 ? Args[2] : std::string());
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
