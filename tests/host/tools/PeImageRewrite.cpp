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

std::vector<std::uint8_t> ReadFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  if (!in)
    throw EPeError(std::string("cannot open ") + path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TResource& Need(TPeImage& image, const TResourceId& type, const char* name) {
  TResource* found = image.Find(type, TResourceId::Named(name));
  if (!found)
    throw EPeError(std::string("no resource ") + name);
  return *found;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::cerr << "usage: peimage_rewrite HOST OUTPUT SKIN ICON GROWTH\n";
    return 2;
  }
  try {
    TPeImage image = TPeImage::Parse(ReadFile(argv[1]));
    Need(image, TResourceId::Named("EXEFILE"), "SKINRES").Data = ReadFile(argv[3]);
    auto& form = Need(image, TResourceId::Number(RtRcData), "TINSTALLERFORM").Data;
    form.resize(form.size() + std::strtoul(argv[5], nullptr, 10));
    ReplaceIconGroup(image, TResourceId::Named("MAINICON"), ParseIconFile(ReadFile(argv[4])));
    const auto written = image.Write();
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(written.data()), static_cast<std::streamsize>(written.size()));
    if (!out.flush())
      throw EPeError(std::string("cannot write ") + argv[2]);
  } catch (const EPeError& e) {
    std::cerr << "peimage_rewrite: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
