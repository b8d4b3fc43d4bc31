#include "IconFile.h"

#include <algorithm>
#include <optional>
#include <set>
#include <string>

#include "FileFormats.h"
#include "LittleEndian.h"

namespace mkinstaller {
using namespace FileFormats;
namespace {

using TBytes = std::vector<std::uint8_t>;

bool StartsAsPng(TByteView Image) {
  static constexpr std::uint8_t PngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  return Image.size() >= sizeof PngSignature &&
         std::equal(std::begin(PngSignature), std::end(PngSignature), Image.begin());
}

// A PNG's signature is followed by its header chunk: a length of 13, "IHDR",
// 13 bytes of data and a checksum.
bool IsPng(TByteView Image) {
  static constexpr std::uint8_t HeaderChunk[] = {0, 0, 0, 13, 'I', 'H', 'D', 'R'};
  constexpr std::size_t Signature = 8, MinSize = Signature + sizeof HeaderChunk + 13 + 4;
  return StartsAsPng(Image) && Image.size() >= MinSize &&
         std::equal(std::begin(HeaderChunk), std::end(HeaderChunk), Image.begin() + Signature);
}

// A device-independent bitmap starts with the size of its header (a
// BITMAPINFOHEADER or one of its later extensions); 0 for anything else.
std::uint32_t DibHeaderSize(TByteView Image) {
  if (Image.size() < 4)
    return 0;
  const std::uint32_t Header = Get32(Image, BitmapInfoHeader::HeaderSize, "");
  const bool Known =
      Header == BitmapInfoHeader::Size || Header == BitmapInfoHeader::V4Size || Header == BitmapInfoHeader::V5Size;
  return Known ? Header : 0;
}

bool IsDib(TByteView Image) {
  const std::uint32_t Header = DibHeaderSize(Image);
  return Header != 0 && Header <= Image.size();
}

// The RT_ICON ids an icon group lists, or nothing if its directory is malformed.
std::optional<std::vector<std::uint16_t>> GroupIconIds(const TResource& Group) {
  const auto Entries = GroupEntries(Group);
  if (!Entries)
    return std::nullopt;
  std::vector<std::uint16_t> Ids;
  for (const TGroupEntry& Entry : *Entries)
    Ids.push_back(Entry.Id);
  return Ids;
}

std::string Describe(const TResourceId& Id) {
  if (!Id.IsName())
    return "#" + std::to_string(Id.Id);
  return Printable(Id.Name);
}

void CheckCount(std::size_t Count) {
  if (Count == 0 || Count > 0xFFFF)
    throw EPeError("an icon holds 1 to 65535 images, not " + std::to_string(Count));
}

}  // namespace

std::optional<std::vector<TGroupEntry>> GroupEntries(const TResource& Group) {
  const TByteView G(Group.Data);
  if (G.size() < IconDirectory::Size || Get16(G, IconDirectory::Reserved, "") != 0 ||
      Get16(G, IconDirectory::Type, "") != IconDirectory::IconType)
    return std::nullopt;
  const unsigned Count = Get16(G, IconDirectory::Count, "");
  if (!Fits(G, IconDirectory::Size, GroupIconEntry::Size * Count))
    return std::nullopt;
  std::vector<TGroupEntry> Entries;
  for (unsigned I = 0; I < Count; ++I) {
    const std::uint64_t E = IconDirectory::Size + GroupIconEntry::Size * I;
    Entries.push_back(
        {G[E + GroupIconEntry::Width], G[E + GroupIconEntry::Height], Get16(G, E + GroupIconEntry::Id, "")});
  }
  return Entries;
}

std::vector<TIconImage> ParseIconFile(const std::vector<std::uint8_t>& File) {
  const TByteView F(File);
  if (F.size() < IconDirectory::Size || Get16(F, IconDirectory::Reserved, "") != 0 ||
      Get16(F, IconDirectory::Type, "") != IconDirectory::IconType)
    throw EPeError("not an icon file");
  const unsigned Count = Get16(F, IconDirectory::Count, "");
  if (Count == 0)
    throw EPeError("the icon file holds no images");
  const std::uint64_t DirectoryEnd = IconDirectory::Size + IconFileEntry::Size * Count;
  if (DirectoryEnd > F.size())
    throw EPeError("the icon file's directory is cut short");

  struct TExtent {
    std::uint64_t Offset, Size;
    unsigned Index;
  };
  std::vector<TExtent> Extents;
  std::vector<TIconImage> Images(Count);
  for (unsigned I = 0; I < Count; ++I) {
    const std::uint64_t E = IconDirectory::Size + IconFileEntry::Size * I;
    TIconImage& Image = Images[I];
    Image.Width = F[E + IconFileEntry::Width];
    Image.Height = F[E + IconFileEntry::Height];
    Image.ColourCount = F[E + IconFileEntry::ColourCount];
    Image.Planes = Get16(F, E + IconFileEntry::Planes, "");
    Image.BitCount = Get16(F, E + IconFileEntry::BitCount, "");
    const TExtent Extent{Get32(F, E + IconFileEntry::DataOffset, ""), Get32(F, E + IconFileEntry::DataSize, ""), I + 1};
    const std::string Which = "icon image " + std::to_string(I + 1);
    if (Extent.Size == 0)
      throw EPeError(Which + " is empty");
    if (Extent.Offset < DirectoryEnd || !Fits(F, Extent.Offset, Extent.Size))
      throw EPeError(Which + " lies outside the file");
    const TByteView Bytes = F.subspan(Extent.Offset, Extent.Size);
    if (StartsAsPng(Bytes) && !IsPng(Bytes))
      throw EPeError(Which + " is a PNG without its header chunk");
    if (DibHeaderSize(Bytes) > Bytes.size())
      throw EPeError(Which + " is a bitmap shorter than its " + std::to_string(DibHeaderSize(Bytes)) + "-byte header");
    if (!IsPng(Bytes) && !IsDib(Bytes))
      throw EPeError(Which + " is neither a bitmap nor a PNG");
    Extents.push_back(Extent);
  }
  // Checked before copying: overlapping images could multiply a small file many times over.
  std::sort(Extents.begin(), Extents.end(), [](const TExtent& A, const TExtent& B) { return A.Offset < B.Offset; });
  for (std::size_t I = 1; I < Extents.size(); ++I)
    if (Extents[I].Offset < Extents[I - 1].Offset + Extents[I - 1].Size)
      throw EPeError("icon images " + std::to_string(std::min(Extents[I - 1].Index, Extents[I].Index)) + " and " +
                     std::to_string(std::max(Extents[I - 1].Index, Extents[I].Index)) + " overlap");
  for (const TExtent& Extent : Extents)
    Images[Extent.Index - 1].Data.assign(File.begin() + static_cast<std::ptrdiff_t>(Extent.Offset),
                                         File.begin() + static_cast<std::ptrdiff_t>(Extent.Offset + Extent.Size));
  return Images;
}

std::vector<std::uint8_t> MakeIconFile(const std::vector<TIconImage>& Images) {
  CheckCount(Images.size());
  TBytes Out(IconDirectory::Size + IconFileEntry::Size * Images.size());
  Put16(Out, IconDirectory::Type, IconDirectory::IconType);
  Put16(Out, IconDirectory::Count, Images.size());
  for (std::size_t I = 0; I < Images.size(); ++I) {
    const TIconImage& Image = Images[I];
    const std::uint64_t E = IconDirectory::Size + IconFileEntry::Size * I;
    Out[E + IconFileEntry::Width] = Image.Width;
    Out[E + IconFileEntry::Height] = Image.Height;
    Out[E + IconFileEntry::ColourCount] = Image.ColourCount;
    Put16(Out, E + IconFileEntry::Planes, Image.Planes);
    Put16(Out, E + IconFileEntry::BitCount, Image.BitCount);
    Put32(Out, E + IconFileEntry::DataSize, Image.Data.size());
    Put32(Out, E + IconFileEntry::DataOffset, Out.size());
    Out.insert(Out.end(), Image.Data.begin(), Image.Data.end());
    if (Out.size() > 0xFFFFFFFF)
      throw EPeError("the icon file would be too large");
  }
  return Out;
}

void ReplaceIconGroup(TPeImage& Image, const TResourceId& Group, const std::vector<TIconImage>& Images) {
  CheckCount(Images.size());
  const TResourceId GroupType = TResourceId::Number(RtGroupIcon), IconType = TResourceId::Number(RtIcon);
  TResource* Target = Image.Find(GroupType, Group);
  if (!Target)
    throw EPeError("the image has no icon group " + Describe(Group));
  const auto OldIds = GroupIconIds(*Target);
  if (!OldIds)
    throw EPeError("the icon group " + Describe(Group) + " is malformed");

  std::vector<TResource>& Resources = Image.Resources();
  std::set<std::uint16_t> Shared, Used;
  for (const TResource& R : Resources)
    if (&R != Target && R.Type.Matches(GroupType))
      if (const auto Ids = GroupIconIds(R))
        Shared.insert(Ids->begin(), Ids->end());
  auto Dropped = [&](const TResource& R) {
    return R.Type.Matches(IconType) && !R.Name.IsName() &&
           std::find(OldIds->begin(), OldIds->end(), R.Name.Id) != OldIds->end() && !Shared.count(R.Name.Id);
  };
  for (const TResource& R : Resources)
    if (R.Type.Matches(IconType) && !R.Name.IsName() && !Dropped(R))
      Used.insert(R.Name.Id);

  TBytes Directory(IconDirectory::Size + GroupIconEntry::Size * Images.size());
  Put16(Directory, IconDirectory::Type, IconDirectory::IconType);
  Put16(Directory, IconDirectory::Count, Images.size());
  std::vector<TResource> Icons;
  std::uint32_t Next = 1;
  for (std::size_t I = 0; I < Images.size(); ++I) {
    const TIconImage& Icon = Images[I];
    while (Used.count(static_cast<std::uint16_t>(Next)))
      ++Next;
    if (Next > 0xFFFF)
      throw EPeError("no free icon ids are left");
    Used.insert(static_cast<std::uint16_t>(Next));
    // The loader matches icons by these fields; a bitmap knows its own when the file left them out.
    std::uint16_t Planes = Icon.Planes, BitCount = Icon.BitCount;
    if (IsDib(Icon.Data)) {
      if (!Planes)
        Planes = Get16(Icon.Data, BitmapInfoHeader::Planes, "");
      if (!BitCount)
        BitCount = Get16(Icon.Data, BitmapInfoHeader::BitCount, "");
    }
    const std::uint64_t E = IconDirectory::Size + GroupIconEntry::Size * I;
    Directory[E + GroupIconEntry::Width] = Icon.Width;
    Directory[E + GroupIconEntry::Height] = Icon.Height;
    Directory[E + GroupIconEntry::ColourCount] = Icon.ColourCount;
    Put16(Directory, E + GroupIconEntry::Planes, Planes);
    Put16(Directory, E + GroupIconEntry::BitCount, BitCount);
    Put32(Directory, E + GroupIconEntry::DataSize, Icon.Data.size());
    Put16(Directory, E + GroupIconEntry::Id, Next);
    Icons.push_back({IconType, TResourceId::Number(static_cast<std::uint16_t>(Next)), Target->Language,
                     Target->CodePage, Icon.Data});
  }
  Target->Data = std::move(Directory);
  std::erase_if(Resources, Dropped);
  Resources.insert(Resources.end(), std::make_move_iterator(Icons.begin()), std::make_move_iterator(Icons.end()));
}

}  // namespace mkinstaller
