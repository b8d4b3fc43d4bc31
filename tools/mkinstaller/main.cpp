// mkinstaller: command-line front end of PackageWriter. The same code runs on
// POSIX systems and, built with MinGW, as mkinstaller.exe on Windows, where it
// takes its arguments as wide text.
#include "Branding.h"
#include "Files.h"
#include "PackageReader.h"
#include "PackageWriter.h"
#include "PeImage.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <tuple>
#include <vector>

namespace {

constexpr const char* Usage =
    "usage: mkinstaller [--host InstallerWin.exe] --payload Aurora.scr --output Install-Aurora.exe\n"
    "                   [--background FILE] [--button FILE] [--hover FILE] [--icon FILE] [--skin FILE]\n"
    "                   [--background-2x FILE] [--button-2x FILE] [--hover-2x FILE]\n"
    "                   [--button-label TEXT] [--texts FILE.po]...\n"
    "       mkinstaller --inspect PACKAGE\n"
    "       mkinstaller --extract PACKAGE DIR\n"
    "       mkinstaller --version [--host InstallerWin.exe]\n";

#ifdef _WIN32
constexpr const char* DefaultHostPlace = "InstallerWin.exe in mkinstaller.exe's own folder";
#else
constexpr const char* DefaultHostPlace = "../share/installerwin/InstallerWin.exe from mkinstaller's own folder";
#endif

void PrintHelp() {
  using mkinstaller::WriteText;
  WriteText(stdout, Usage);
  WriteText(stdout,
            "\n"
            "Makes a self-extracting screensaver installer: a copy of the host program with the\n"
            "payload (the screensaver file, copied as opaque bytes) and its length appended:\n"
            "\n"
            "    host | padding | payload | N (4 bytes, little-endian)\n"
            "\n"
            "where N is the payload's size in bytes and the padding is 0 to 7 zero bytes that make\n"
            "the package a multiple of 8 bytes long, so that a code signature can be appended to it\n"
            "(the installer finds N just before the signature). The output is written to a temporary\n"
            "file beside it, made executable (0755) and then renamed into place; an interruption\n"
            "(Ctrl+C, SIGTERM) removes the temporary file.\n"
            "\n"
            "Options:\n"
            "  --host FILE        the installer program; by default the one installed with this\n"
            "                     tool: " +
                std::string(DefaultHostPlace) +
                "\n"
                "  --payload FILE     the screensaver to package\n"
                "  --output FILE      the package to write (an existing regular file is replaced)\n"
                "  --inspect PACKAGE  show what a package carries, without running it (see below)\n"
                "  --extract PACKAGE DIR\n"
                "                     write the package's screensaver, as the installer names it\n"
                "                     (Install-NAME.exe: NAME.scr), and its skin (swing.mskn), if it has\n"
                "                     one, into folder DIR, without running it; an existing file is never\n"
                "                     replaced, and a skin that cannot be written takes the .scr back\n"
                "  --version          show this tool's version and, with a host, the host's\n"
                "  -h, --help         show this help\n"
                "\n"
                "Your own artwork (each optional; what is not given stays as in the host):\n"
                "  --background FILE  the window's picture: a JPEG of exactly 450 x 304 pixels\n"
                "  --button FILE      the Install button's picture: a JPEG of exactly 28 x 9 pixels\n"
                "  --hover FILE       the Install button's picture under the pointer: a JPEG of 28 x 9\n"
                "  --icon FILE        the program's icon (title bar, taskbar): a Windows icon file (.ico)\n"
                "                     holding a 32 x 32 image, and any other sizes\n"
                "  --skin FILE        the skin the install writes as swing.mskn: any non-empty file\n"
                "  --background-2x FILE, --button-2x FILE, --hover-2x FILE\n"
                "                     the same pictures drawn at double size (900 x 608, 56 x 18), which\n"
                "                     dense screens (125 % and more) show instead of enlarging the others;\n"
                "                     a picture given without its double loses the host's double\n"
                "  --button-label TEXT  the Install button's name, which screen readers read (the button\n"
                "                     shows no text), in every language: 1 to 100 characters, e.g.\n"
                "                     'Installieren', no control characters, not only spaces, all of them\n"
                "                     in one Windows ANSI code page\n"
                "  --texts FILE.po    your own words for one language, e.g. the question asked when the\n"
                "                     install is done; give it once per language. A gettext PO file in\n"
                "                     UTF-8 whose header names the Language: (de, fr, pt_BR, zh_TW, ...);\n"
                "                     each msgid is one of the installer's English texts, and each msgstr\n"
                "                     keeps its %s, holds no control characters, is not only spaces and\n"
                "                     is spelt in the language's ANSI code page. Fuzzy and empty entries\n"
                "                     keep the installer's own text. A language the installer lacks is\n"
                "                     added; texts its file leaves out are shown in English\n"
                "The JPEGs must be 8-bit, baseline or progressive, grey or colour (not CMYK): what the\n"
                "installer's own decoder draws. Files of up to 64 MiB are taken.\n"
                "\n"
                "--inspect prints one 'key: value' line each, always these keys in this order:\n"
                "  host-product       the host program's product name (InstallerWin)\n"
                "  host-version       the host program's file version, or none\n"
                "  payload-size       the screensaver's size in bytes\n"
                "  installs-as        the file the installer writes: NAME.scr\n"
                "  skin-size          the skin's size in bytes, or none\n"
                "  background         the window's picture, as 'WIDTH x HEIGHT, SIZE bytes', or none\n"
                "  background-2x      its double for dense screens, likewise\n"
                "  button             the Install button's picture, likewise\n"
                "  button-2x          its double, likewise\n"
                "  hover              the Install button's picture under the pointer, likewise\n"
                "  hover-2x           its double, likewise\n"
                "  icon               the application icon's sizes, as '16 x 16, 32 x 32', or none\n"
                "  button-name        the Install button's name for screen readers, or none (the word for\n"
                "                     Install in the user's language)\n"
                "  languages          the languages of its texts, as PO codes ('en, de, ...'), or none\n"
                "  certificate-table  'SIZE bytes, not verified' (signatures are not checked), or none\n"
                "A damaged package is refused in one line (exit 1): a length trailer or a certificate\n"
                "table that the installer would not take, or a payload with no whole program in front.\n"
                "\n"
                "Refuses (exit 1, one line on stderr, nothing written, an existing output left untouched):\n"
                "  - no --host when no host is installed with this tool;\n"
                "  - a host that is missing, unreadable or not a regular file, or that is not an\n"
                "    InstallerWin program as built: an x86-64 program (not a DLL) carrying the\n"
                "    installer's window description, with no payload and no signature of its own\n"
                "    (sign the package, not the host);\n"
                "  - a payload that is missing, unreadable, not a regular file or empty;\n"
                "  - a payload of 2 GiB (2^31 bytes) or more, as the installer reads N as a signed\n"
                "    32-bit integer;\n"
                "  - artwork, a button label or a PO file that does not fit the above, or a double-size picture\n"
                "    without its single one;\n"
                "  - an output that is one of the inputs (also through links or other spellings);\n"
                "  - an output that exists and is not a regular file (a device such as /dev/null or\n"
                "    NUL, a FIFO, a socket, a folder), which the package would replace;\n"
                "  - an output that cannot be written.\n"
                "Usage errors exit 2.\n");
}

int UsageError(const std::string& Message) {
  mkinstaller::WriteText(stderr, "mkinstaller: " + mkinstaller::OneLine(Message) + "\n" + Usage +
                                     "Try 'mkinstaller --help' for more information.\n");
  return 2;
}

int Refused(const std::string& Message) {
  mkinstaller::WriteText(stderr, "mkinstaller: " + mkinstaller::OneLine(Message) + "\n");
  return 1;
}

// The tool's version, and the host's as its version information gives it.
int PrintVersion(const std::string& Host) {
  std::string Text = "mkinstaller " INSTALLERWIN_VERSION "\n";
  if (!Host.empty()) {
    try {
      mkinstaller::TInputFile In("host", Host);
      const mkinstaller::TPeImage Image = mkinstaller::CheckHost(In.ReadAll(mkinstaller::MaxHostSize), In.Name());
      const std::string Product = Image.VersionString("ProductName"), Version = Image.VersionString("FileVersion");
      Text +=
          mkinstaller::OneLine(In.Name() + ": " + Product + " " + (Version.empty() ? "(no version)" : Version)) + "\n";
    } catch (const mkinstaller::EFailure& Failure) {
      return Refused(Failure.what());
    }
  }
  mkinstaller::WriteText(stdout, Text);
  return 0;
}

// --inspect and --extract: a package read, nothing run, no host needed.
int RunReader(const std::vector<std::string>& Args) {
  const bool Inspect = Args[0] == "--inspect";
  const std::size_t Count = Inspect ? 2 : 3;
  if (Args.size() != Count)
    return UsageError(Args[0] + (Inspect ? " takes a package alone" : " takes a package and a folder alone"));
  for (std::size_t I = 1; I < Count; ++I)
    if (Args[I].empty())
      return UsageError(Args[0] + (I == 1 ? " needs a package" : " needs a folder"));
  try {
    if (!Inspect) {
      mkinstaller::ExtractPackage(Args[1], Args[2]);
      return 0;
    }
    std::string Text;
    for (const auto& [Key, Value] : mkinstaller::InspectPackage(Args[1]))
      Text += Key + ": " + Value + "\n";
    mkinstaller::WriteText(stdout, Text);
    return 0;
  } catch (const mkinstaller::EFailure& Failure) {
    return Refused(Failure.what());
  } catch (const std::bad_alloc&) {
    return Refused("not enough memory");
  }
}

int Run(const std::vector<std::string>& Args) {
  if (!Args.empty() && (Args[0] == "--inspect" || Args[0] == "--extract"))
    return RunReader(Args);
  std::string Host, Payload, Output;
  bool Version = false;
  mkinstaller::TBranding Branding;
  std::string Label;
  // A text option takes any value, the empty one too, which is refused with the other checks.
  struct TOption {
    const char* Name;
    std::string* Value;
    bool Required;
    bool Text = false;
    // Given again and again, every value kept: a PO file per language.
    std::vector<std::string>* Values = nullptr;
  };
  const TOption Options[] = {
      {"--host", &Host, false},
      {"--payload", &Payload, true},
      {"--output", &Output, true},
      {"--background", &Branding.Background, false},
      {"--button", &Branding.Button, false},
      {"--hover", &Branding.Hover, false},
      {"--icon", &Branding.Icon, false},
      {"--skin", &Branding.Skin, false},
      {"--background-2x", &Branding.Background2x, false},
      {"--button-2x", &Branding.Button2x, false},
      {"--hover-2x", &Branding.Hover2x, false},
      {"--button-label", &Label, false, true},
      {"--texts", nullptr, false, false, &Branding.Texts},
  };
  std::vector<const TOption*> Given;

  for (std::size_t I = 0; I < Args.size(); ++I) {
    const std::string& Arg = Args[I];
    if (Arg == "-h" || Arg == "--help") {
      PrintHelp();
      return 0;
    }
    if (Arg == "--version") {
      Version = true;
      continue;
    }
    const TOption* Match = nullptr;
    std::string Value;
    bool HasValue = false;
    for (const TOption& Opt : Options) {
      const std::size_t Len = std::strlen(Opt.Name);
      if (Arg == Opt.Name) {
        Match = &Opt;
      } else if (Arg.compare(0, Len, Opt.Name) == 0 && Arg.size() > Len && Arg[Len] == '=') {
        Match = &Opt;
        Value = Arg.substr(Len + 1);
        HasValue = true;
      }
    }
    if (Match == nullptr)
      return UsageError("unknown argument '" + Arg + "'");
    const std::string Needs =
        std::string("option ") + Match->Name + (Match->Text ? " needs a text" : " needs a file name");
    if (!HasValue) {
      if (I + 1 >= Args.size())
        return UsageError(Needs);
      Value = Args[++I];
    }
    if (Value.empty() && !Match->Text)
      return UsageError(Needs);
    if (Match->Values) {
      Match->Values->push_back(Value);
      continue;
    }
    for (const TOption* Seen : Given)
      if (Seen == Match)
        return UsageError(std::string("option ") + Match->Name + " given twice");
    Given.push_back(Match);
    *Match->Value = Value;
  }
  for (const TOption* Seen : Given)
    if (Seen->Value == &Label)
      Branding.ButtonLabel = Label;
  for (const TOption& Opt : Options) {
    if (!Version && Opt.Required && Opt.Value->empty())
      return UsageError(std::string("missing option ") + Opt.Name);
  }
  // A double alone would show the host's art at 96 DPI and the distributor's
  // at 192.
  for (const auto& [Double, Single, Names] :
       {std::tuple{&Branding.Background2x, &Branding.Background, "--background-2x needs --background"},
        std::tuple{&Branding.Button2x, &Branding.Button, "--button-2x needs --button"},
        std::tuple{&Branding.Hover2x, &Branding.Hover, "--hover-2x needs --hover"}})
    if (!Double->empty() && Single->empty())
      return Refused(Names);
  if (Host.empty()) {
    const std::string Installed = mkinstaller::InstalledHost(mkinstaller::OwnProgramPath());
    mkinstaller::TFileId Id;
    if (!Installed.empty() && mkinstaller::ExistingFileId(Installed, Id))
      Host = Installed;
    else if (!Version)
      return Refused("no --host given, and no host installed with this tool at " +
                     (Installed.empty() ? std::string(DefaultHostPlace) : "'" + Installed + "'") +
                     "; name one with --host");
  }
  if (Version)
    return PrintVersion(Host);

  const std::string Error = mkinstaller::MakePackage(Host, Payload, Output, Branding);
  return Error.empty() ? 0 : Refused(Error);
}

}  // namespace

#ifdef _WIN32
// Wide arguments: a path outside the ANSI code page (C:\Users\Łukasz) arrives intact.
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> Args;
  try {
    for (int I = 1; I < argc; ++I)
      Args.push_back(mkinstaller::Utf8FromWide(argv[I]));
  } catch (const mkinstaller::EFailure& Failure) {
    return UsageError(Failure.what());
  }
  return Run(Args);
}
#else
int main(int argc, char** argv) { return Run(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
