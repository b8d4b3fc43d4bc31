// The version resource's string table, read for the host checks and --version.
#include <algorithm>

#include "FileFormats.h"
#include "LittleEndian.h"
#include "PeImage.h"

namespace mkinstaller {
using namespace FileFormats;
namespace {

// A block of a version resource: a counted header, a key, a value, children.
struct TVersionBlock {
  std::u16string Key;
  std::uint64_t Value = 0, Children = 0, End = 0;
};

TVersionBlock ReadVersionBlock(TByteView V, std::uint64_t At, std::uint64_t Limit) {
  const char* Bad = "bad version block";
  const std::uint64_t Length = Get16(V, At + VersionBlock::Length, Bad),
                      ValueLength = Get16(V, At + VersionBlock::ValueLength, Bad);
  const bool Text = Get16(V, At + VersionBlock::Type, Bad) == VersionBlock::TextType;
  if (Length < VersionBlock::Key || At + Length > Limit)
    throw EPeError(Bad);
  TVersionBlock B;
  B.End = At + Length;
  std::uint64_t P = At + VersionBlock::Key;
  for (char16_t C; P + 2 <= B.End && (C = static_cast<char16_t>(Get16(V, P, Bad))) != 0; P += 2)
    B.Key.push_back(C);
  if (P + 2 > B.End)
    throw EPeError(Bad);
  B.Value = AlignUp(P + 2, 4);
  B.Children = std::min(AlignUp(B.Value + (Text ? 2 * ValueLength : ValueLength), 4), B.End);
  return B;
}

std::vector<TVersionBlock> ChildBlocks(TByteView V, const TVersionBlock& Parent) {
  std::vector<TVersionBlock> Children;
  // Each block is at least 8 bytes once aligned, so this ends.
  for (std::uint64_t At = Parent.Children; At + VersionBlock::Key <= Parent.End; At = AlignUp(Children.back().End, 4))
    Children.push_back(ReadVersionBlock(V, At, Parent.End));
  return Children;
}

}  // namespace

std::string TPeImage::VersionString(const std::string& Key) const {
  const std::u16string Wanted(Key.begin(), Key.end());
  for (const TResource& R : FResources) {
    if (!R.Type.Matches(TResourceId::Number(RtVersion)))
      continue;
    const TByteView V(R.Data);
    try {
      const TVersionBlock Root = ReadVersionBlock(V, 0, V.size());
      if (Root.Key != u"VS_VERSION_INFO")
        continue;
      for (const TVersionBlock& Info : ChildBlocks(V, Root)) {
        if (Info.Key != u"StringFileInfo")
          continue;
        for (const TVersionBlock& Table : ChildBlocks(V, Info))
          for (const TVersionBlock& String : ChildBlocks(V, Table)) {
            if (String.Key != Wanted)
              continue;
            std::u16string Value;
            for (std::uint64_t P = String.Value; P + 2 <= String.End && V[P] | V[P + 1]; P += 2)
              Value.push_back(static_cast<char16_t>(V[P] | V[P + 1] << 8));
            return Printable(Value);
          }
      }
    } catch (const EPeError&) {
      // A damaged version resource holds no strings.
    }
  }
  return {};
}

}  // namespace mkinstaller
