// The version resource's string table, read for the host checks and --version.
#include <algorithm>

#include "LittleEndian.h"
#include "PeImage.h"
#include "WindowsFormats.h"

namespace mkinstaller {
namespace {

// A block of a version resource: a counted header, a key, a value, children.
struct TVersionBlock {
  std::u16string Key;
  std::uint64_t Value = 0, Children = 0, End = 0;
};

TVersionBlock ReadVersionBlock(TByteView v, std::uint64_t at, std::uint64_t limit) {
  const char* bad = "bad version block";
  const std::uint64_t length = Get16(v, at + VersionBlock::Length, bad),
                      valueLength = Get16(v, at + VersionBlock::ValueLength, bad);
  const bool text = Get16(v, at + VersionBlock::Type, bad) == VersionBlock::TextType;
  if (length < VersionBlock::Key || at + length > limit)
    throw EPeError(bad);
  TVersionBlock b;
  b.End = at + length;
  std::uint64_t p = at + VersionBlock::Key;
  for (char16_t c; p + 2 <= b.End && (c = static_cast<char16_t>(Get16(v, p, bad))) != 0; p += 2)
    b.Key.push_back(c);
  if (p + 2 > b.End)
    throw EPeError(bad);
  b.Value = AlignUp(p + 2, 4);
  b.Children = std::min(AlignUp(b.Value + (text ? 2 * valueLength : valueLength), 4), b.End);
  return b;
}

std::vector<TVersionBlock> ChildBlocks(TByteView v, const TVersionBlock& parent) {
  std::vector<TVersionBlock> children;
  // Each block is at least 8 bytes once aligned, so this ends.
  for (std::uint64_t at = parent.Children; at + VersionBlock::Key <= parent.End; at = AlignUp(children.back().End, 4))
    children.push_back(ReadVersionBlock(v, at, parent.End));
  return children;
}

}  // namespace

std::string TPeImage::VersionString(const std::string& key) const {
  const std::u16string wanted(key.begin(), key.end());
  for (const TResource& r : FResources) {
    if (!r.Type.Matches(TResourceId::Number(RtVersion)))
      continue;
    const TByteView v(r.Data);
    try {
      const TVersionBlock root = ReadVersionBlock(v, 0, v.size());
      if (root.Key != u"VS_VERSION_INFO")
        continue;
      for (const TVersionBlock& info : ChildBlocks(v, root)) {
        if (info.Key != u"StringFileInfo")
          continue;
        for (const TVersionBlock& table : ChildBlocks(v, info))
          for (const TVersionBlock& string : ChildBlocks(v, table)) {
            if (string.Key != wanted)
              continue;
            std::u16string value;
            for (std::uint64_t p = string.Value; p + 2 <= string.End && v[p] | v[p + 1]; p += 2)
              value.push_back(static_cast<char16_t>(v[p] | v[p + 1] << 8));
            return Printable(value);
          }
      }
    } catch (const EPeError&) {
      // A damaged version resource holds no strings.
    }
  }
  return {};
}

}  // namespace mkinstaller
