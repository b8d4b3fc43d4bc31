#include "Files.h"

namespace mkinstaller {

std::string Named(const std::string& Role, const std::string& Path) { return Role + " '" + Path + "'"; }

std::string OneLine(const std::string& Text) {
  // A terminal acts on C0 and C1 controls alike, and on stray bytes that
  // its own character set reads as C1 controls: only whole UTF-8 characters
  // from U+00A0 up stay, besides printable ASCII.
  std::string Line;
  const auto Byte = [&](std::size_t I) { return I < Text.size() ? static_cast<unsigned char>(Text[I]) : 0u; };
  for (std::size_t I = 0; I < Text.size();) {
    const unsigned Lead = Byte(I);
    if (Lead < 0x80) {
      Line.push_back(Lead < 0x20 || Lead == 0x7F ? '?' : static_cast<char>(Lead));
      ++I;
      continue;
    }
    const std::size_t Length = Lead >= 0xF0 && Lead < 0xF5 ? 4 : Lead >= 0xE0 ? 3 : Lead >= 0xC2 ? 2 : 0;
    std::uint32_t Code = Length == 2 ? Lead & 0x1F : Length == 3 ? Lead & 0x0F : Lead & 0x07;
    bool Whole = Length != 0 && Lead < 0xF5;
    for (std::size_t K = 1; Whole && K < Length; ++K) {
      Whole = (Byte(I + K) & 0xC0) == 0x80;
      Code = Code << 6 | (Byte(I + K) & 0x3F);
    }
    const std::uint32_t Least = Length == 2 ? 0xA0 : Length == 3 ? 0x800 : 0x10000;
    if (Whole && Code >= Least && Code <= 0x10FFFF && (Code < 0xD800 || Code > 0xDFFF)) {
      Line.append(Text, I, Length);
      I += Length;
    } else {
      Line.push_back('?');
      ++I;
    }
  }
  return Line;
}

std::vector<std::uint8_t> TInputFile::ReadAll(std::uint64_t Limit) {
  std::vector<std::uint8_t> Data;
  std::uint8_t Block[64 * 1024];
  while (const std::size_t N = Read(Block, sizeof Block)) {
    if (Data.size() + N > Limit)
      throw EFailure(FName + " is too large (more than " + std::to_string(Limit) + " bytes)");
    Data.insert(Data.end(), Block, Block + N);
  }
  return Data;
}

std::string InstalledHost(const std::string& Self) {
  const std::string Name = FileName(Self);
  if (Self.empty() || Name.empty())
    return {};
  const std::string Folder = Self.substr(0, Self.size() - Name.size());
#ifdef _WIN32
  return Folder + "InstallerWin.exe";
#else
  // The bin folder's parent by name, not through "..", so that the path
  // shown is the one a reader would look in.
  std::string Parent = Folder.substr(0, Folder.size() - 1);
  Parent = Parent.substr(0, Parent.size() - FileName(Parent).size());
  return (Parent.empty() ? "/" : Parent) + "share/installerwin/InstallerWin.exe";
#endif
}

}  // namespace mkinstaller
