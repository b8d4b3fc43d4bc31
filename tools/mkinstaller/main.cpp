// mkinstaller: command-line front end of PackageWriter.
#include "PackageWriter.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr const char* kUsage =
    "usage: mkinstaller --host InstallerWin.exe --payload Aurora.scr --output Install-Aurora.exe\n";

void PrintHelp() {
    std::fputs(kUsage, stdout);
    std::fputs(
        "\n"
        "Makes a self-extracting screensaver installer: a copy of the host program with the\n"
        "payload (the screensaver file, copied as opaque bytes) and its length appended:\n"
        "\n"
        "    host | padding | payload | N (4 bytes, little-endian)\n"
        "\n"
        "where N is the payload's size in bytes and the padding is 0 to 7 zero bytes that make\n"
        "the package a multiple of 8 bytes long, so that a code signature can be appended to it\n"
        "(the installer finds N just before the signature). The output is written to a temporary\n"
        "file beside it, made executable (0755) and then renamed into place.\n"
        "\n"
        "Options:\n"
        "  --host FILE      the built installer program\n"
        "  --payload FILE   the screensaver to package\n"
        "  --output FILE    the package to write (replaced if it exists)\n"
        "  -h, --help       show this help\n"
        "\n"
        "Refuses (exit 1, nothing written, an existing output left untouched):\n"
        "  - a host that is missing, unreadable or not a regular file;\n"
        "  - a payload that is missing, unreadable, not a regular file or empty;\n"
        "  - a payload of 2 GiB (2^31 bytes) or more, as the installer reads N as a signed\n"
        "    32-bit integer;\n"
        "  - an output that is the host or the payload (also through links or other spellings);\n"
        "  - an output that cannot be written.\n"
        "Usage errors exit 2.\n",
        stdout);
}

int UsageError(const std::string& message) {
    std::fprintf(stderr, "mkinstaller: %s\n%sTry 'mkinstaller --help' for more information.\n", message.c_str(),
                 kUsage);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string host, payload, output;
    struct Option { const char* name; std::string* value; };
    const Option options[] = {{"--host", &host}, {"--payload", &payload}, {"--output", &output}};

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            PrintHelp();
            return 0;
        }
        const Option* match = nullptr;
        std::string value;
        bool hasValue = false;
        for (const Option& opt : options) {
            const std::size_t len = std::strlen(opt.name);
            if (arg == opt.name) {
                match = &opt;
            } else if (arg.compare(0, len, opt.name) == 0 && arg.size() > len && arg[len] == '=') {
                match = &opt;
                value = arg.substr(len + 1);
                hasValue = true;
            }
        }
        if (match == nullptr) return UsageError("unknown argument '" + arg + "'");
        if (!hasValue) {
            if (i + 1 >= argc) return UsageError(std::string("option ") + match->name + " needs a file name");
            value = argv[++i];
        }
        if (value.empty()) return UsageError(std::string("option ") + match->name + " needs a file name");
        if (!match->value->empty()) return UsageError(std::string("option ") + match->name + " given twice");
        *match->value = value;
    }
    for (const Option& opt : options) {
        if (opt.value->empty()) return UsageError(std::string("missing option ") + opt.name);
    }

    const std::string error = mkinstaller::MakePackage(host, payload, output);
    if (!error.empty()) {
        std::fprintf(stderr, "mkinstaller: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
