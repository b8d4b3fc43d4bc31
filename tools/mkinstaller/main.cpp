// mkinstaller: command-line front end of PackageWriter. The same code runs on
// POSIX systems and, built with MinGW, as mkinstaller.exe on Windows, where it
// takes its arguments as wide text.
#include "Branding.h"
#include "Files.h"
#include "PackageWriter.h"
#include "PeImage.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr const char* Usage =
    "usage: mkinstaller [--host InstallerWin.exe] --payload Aurora.scr --output Install-Aurora.exe\n"
    "                   [--background FILE] [--button FILE] [--hover FILE] [--icon FILE] [--skin FILE]\n"
    "                   [--background-2x FILE] [--button-2x FILE] [--hover-2x FILE]\n"
    "                   [--button-label TEXT]\n"
    "       mkinstaller --version [--host InstallerWin.exe]\n";

#ifdef _WIN32
constexpr const char* DefaultHostPlace = "InstallerWin.exe in mkinstaller.exe's own folder";
#else
constexpr const char* DefaultHostPlace = "../share/installerwin/InstallerWin.exe from mkinstaller's own folder";
#endif

// The host installed with this tool: beside mkinstaller.exe on Windows, in
// share/installerwin beside the bin folder elsewhere.
std::string DefaultHost() {
  const std::string self = mkinstaller::OwnProgramPath();
  const std::string name = mkinstaller::FileName(self);
  if (self.empty() || name.empty())
    return {};
  const std::string folder = self.substr(0, self.size() - name.size());
#ifdef _WIN32
  return folder + "InstallerWin.exe";
#else
  // The bin folder's parent by name, not through "..", so that the path
  // shown is the one a reader would look in.
  std::string parent = folder.substr(0, folder.size() - 1);
  parent = parent.substr(0, parent.size() - mkinstaller::FileName(parent).size());
  return (parent.empty() ? "/" : parent) + "share/installerwin/InstallerWin.exe";
#endif
}

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
                "                     shows no text): 1 to 100 characters, e.g. 'Installieren'\n"
                "The JPEGs must be 8-bit, baseline or progressive, grey or colour (not CMYK): what the\n"
                "installer's own decoder draws. Files of up to 64 MiB are taken.\n"
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
                "  - artwork that does not fit the above;\n"
                "  - an output that is one of the inputs (also through links or other spellings);\n"
                "  - an output that exists and is not a regular file (a device such as /dev/null or\n"
                "    NUL, a FIFO, a socket, a folder), which the package would replace;\n"
                "  - an output that cannot be written.\n"
                "Usage errors exit 2.\n");
}

int UsageError(const std::string& message) {
  mkinstaller::WriteText(stderr, "mkinstaller: " + mkinstaller::OneLine(message) + "\n" + Usage +
                                     "Try 'mkinstaller --help' for more information.\n");
  return 2;
}

int Refused(const std::string& message) {
  mkinstaller::WriteText(stderr, "mkinstaller: " + mkinstaller::OneLine(message) + "\n");
  return 1;
}

// The tool's version, and the host's as its version information gives it.
int PrintVersion(const std::string& host) {
  std::string text = "mkinstaller " INSTALLERWIN_VERSION "\n";
  if (!host.empty()) {
    try {
      mkinstaller::TInputFile in("host", host);
      const mkinstaller::TPeImage image = mkinstaller::CheckHost(in.ReadAll(mkinstaller::MaxHostSize), in.Name());
      const std::string product = image.VersionString("ProductName"), version = image.VersionString("FileVersion");
      text +=
          mkinstaller::OneLine(in.Name() + ": " + product + " " + (version.empty() ? "(no version)" : version)) + "\n";
    } catch (const mkinstaller::EFailure& failure) {
      return Refused(failure.what());
    }
  }
  mkinstaller::WriteText(stdout, text);
  return 0;
}

int Run(const std::vector<std::string>& args) {
  std::string host, payload, output;
  bool version = false;
  mkinstaller::TBranding branding;
  std::string label;
  // A text option takes any value, the empty one too, which is refused with the other checks.
  struct TOption {
    const char* Name;
    std::string* Value;
    bool Required;
    bool Text = false;
  };
  const TOption options[] = {
      {"--host", &host, false},
      {"--payload", &payload, true},
      {"--output", &output, true},
      {"--background", &branding.Background, false},
      {"--button", &branding.Button, false},
      {"--hover", &branding.Hover, false},
      {"--icon", &branding.Icon, false},
      {"--skin", &branding.Skin, false},
      {"--background-2x", &branding.Background2x, false},
      {"--button-2x", &branding.Button2x, false},
      {"--hover-2x", &branding.Hover2x, false},
      {"--button-label", &label, false, true},
  };
  std::vector<const TOption*> given;

  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "-h" || arg == "--help") {
      PrintHelp();
      return 0;
    }
    if (arg == "--version") {
      version = true;
      continue;
    }
    const TOption* match = nullptr;
    std::string value;
    bool hasValue = false;
    for (const TOption& opt : options) {
      const std::size_t len = std::strlen(opt.Name);
      if (arg == opt.Name) {
        match = &opt;
      } else if (arg.compare(0, len, opt.Name) == 0 && arg.size() > len && arg[len] == '=') {
        match = &opt;
        value = arg.substr(len + 1);
        hasValue = true;
      }
    }
    if (match == nullptr)
      return UsageError("unknown argument '" + arg + "'");
    const std::string needs =
        std::string("option ") + match->Name + (match->Text ? " needs a text" : " needs a file name");
    if (!hasValue) {
      if (i + 1 >= args.size())
        return UsageError(needs);
      value = args[++i];
    }
    if (value.empty() && !match->Text)
      return UsageError(needs);
    for (const TOption* seen : given)
      if (seen == match)
        return UsageError(std::string("option ") + match->Name + " given twice");
    given.push_back(match);
    *match->Value = value;
  }
  for (const TOption* seen : given)
    if (seen->Value == &label)
      branding.ButtonLabel = label;
  for (const TOption& opt : options) {
    if (!version && opt.Required && opt.Value->empty())
      return UsageError(std::string("missing option ") + opt.Name);
  }
  if (host.empty()) {
    const std::string installed = DefaultHost();
    mkinstaller::TFileId id;
    if (!installed.empty() && mkinstaller::ExistingFileId(installed, id))
      host = installed;
    else if (!version)
      return Refused("no --host given, and no host installed with this tool at " +
                     (installed.empty() ? std::string(DefaultHostPlace) : "'" + installed + "'") +
                     "; name one with --host");
  }
  if (version)
    return PrintVersion(host);

  const std::string error = mkinstaller::MakePackage(host, payload, output, branding);
  return error.empty() ? 0 : Refused(error);
}

}  // namespace

#ifdef _WIN32
// Wide arguments: a path outside the ANSI code page (C:\Users\Łukasz) arrives intact.
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  try {
    for (int i = 1; i < argc; ++i)
      args.push_back(mkinstaller::Utf8FromWide(argv[i]));
  } catch (const mkinstaller::EFailure& failure) {
    return UsageError(failure.what());
  }
  return Run(args);
}
#else
int main(int argc, char** argv) { return Run(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
