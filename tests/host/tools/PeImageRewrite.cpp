// A test-only entry point to the resource rewriter, for the check against the
// real built program (tests/bin/check_rewrite.py):
//   peimage_rewrite HOST OUTPUT SKIN ICON GROWTH
// makes SKIN the skin resource and ICON's images the application icon, and
// appends GROWTH zero bytes to the stored window description (its reader
// stops at the end of the tree, so the program still starts).
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>

#include "IconFile.h"
#include "PeImage.h"

using namespace mkinstaller;

namespace {

std::vector<std::uint8_t> ReadFile(const char* Path) {
  std::ifstream In(Path, std::ios::binary);
  if (!In)
    throw EPeError(std::string("cannot open ") + Path);
  return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

TResource& Need(TPeImage& Image, const TResourceId& Type, const char* Name) {
  TResource* Found = Image.Find(Type, TResourceId::Named(Name));
  if (!Found)
    throw EPeError(std::string("no resource ") + Name);
  return *Found;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::cerr << "usage: peimage_rewrite HOST OUTPUT SKIN ICON GROWTH\n";
    return 2;
  }
  try {
    TPeImage Image = TPeImage::Parse(ReadFile(argv[1]));
    Need(Image, TResourceId::Named("EXEFILE"), "SKINRES").Data = ReadFile(argv[3]);
    auto& Form = Need(Image, TResourceId::Number(RtRcData), "TINSTALLERFORM").Data;
    Form.resize(Form.size() + std::strtoul(argv[5], nullptr, 10));
    ReplaceIconGroup(Image, TResourceId::Named("MAINICON"), ParseIconFile(ReadFile(argv[4])));
    const auto Written = Image.Write();
    std::ofstream Out(argv[2], std::ios::binary | std::ios::trunc);
    Out.write(reinterpret_cast<const char*>(Written.data()), static_cast<std::streamsize>(Written.size()));
    if (!Out.flush())
      throw EPeError(std::string("cannot write ") + argv[2]);
  } catch (const EPeError& E) {
    std::cerr << "peimage_rewrite: " << E.what() << '\n';
    return 1;
  }
  return 0;
}
