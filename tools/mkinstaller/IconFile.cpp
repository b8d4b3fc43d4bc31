#include "IconFile.h"

#include <algorithm>
#include <optional>
#include <set>
#include <string>

#include "LittleEndian.h"
#include "WindowsFormats.h"

namespace mkinstaller {
namespace {

using TBytes = std::vector<std::uint8_t>;

bool StartsAsPng(TByteView image) {
  static constexpr std::uint8_t PngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  return image.size() >= sizeof PngSignature &&
         std::equal(std::begin(PngSignature), std::end(PngSignature), image.begin());
}

// A PNG's signature is followed by its header chunk: a length of 13, "IHDR",
// 13 bytes of data and a checksum.
bool IsPng(TByteView image) {
  static constexpr std::uint8_t HeaderChunk[] = {0, 0, 0, 13, 'I', 'H', 'D', 'R'};
  constexpr std::size_t Signature = 8, MinSize = Signature + sizeof HeaderChunk + 13 + 4;
  return StartsAsPng(image) && image.size() >= MinSize &&
         std::equal(std::begin(HeaderChunk), std::end(HeaderChunk), image.begin() + Signature);
}

// A device-independent bitmap starts with the size of its header (a
// BITMAPINFOHEADER or one of its later extensions); 0 for anything else.
std::uint32_t DibHeaderSize(TByteView image) {
  if (image.size() < 4)
    return 0;
  const std::uint32_t header = Get32(image, BitmapInfoHeader::HeaderSize, "");
  const bool known =
      header == BitmapInfoHeader::Size || header == BitmapInfoHeader::V4Size || header == BitmapInfoHeader::V5Size;
  return known ? header : 0;
}

bool IsDib(TByteView image) {
  const std::uint32_t header = DibHeaderSize(image);
  return header != 0 && header <= image.size();
}

// The RT_ICON ids an icon group lists, or nothing if its directory is malformed.
std::optional<std::vector<std::uint16_t>> GroupIconIds(const TResource& group) {
  const TByteView g(group.Data);
  if (g.size() < IconDirectory::Size || Get16(g, IconDirectory::Reserved, "") != 0 ||
      Get16(g, IconDirectory::Type, "") != IconDirectory::IconType)
    return std::nullopt;
  const unsigned count = Get16(g, IconDirectory::Count, "");
  if (!Fits(g, IconDirectory::Size, GroupIconEntry::Size * count))
    return std::nullopt;
  std::vector<std::uint16_t> ids;
  for (unsigned i = 0; i < count; ++i)
    ids.push_back(Get16(g, IconDirectory::Size + GroupIconEntry::Size * i + GroupIconEntry::Id, ""));
  return ids;
}

std::string Describe(const TResourceId& id) {
  if (!id.IsName())
    return "#" + std::to_string(id.Id);
  return Printable(id.Name);
}

void CheckCount(std::size_t count) {
  if (count == 0 || count > 0xFFFF)
    throw EPeError("an icon holds 1 to 65535 images, not " + std::to_string(count));
}

}  // namespace

std::vector<TIconImage> ParseIconFile(const std::vector<std::uint8_t>& file) {
  const TByteView f(file);
  if (f.size() < IconDirectory::Size || Get16(f, IconDirectory::Reserved, "") != 0 ||
      Get16(f, IconDirectory::Type, "") != IconDirectory::IconType)
    throw EPeError("not an icon file");
  const unsigned count = Get16(f, IconDirectory::Count, "");
  if (count == 0)
    throw EPeError("the icon file holds no images");
  const std::uint64_t directoryEnd = IconDirectory::Size + IconFileEntry::Size * count;
  if (directoryEnd > f.size())
    throw EPeError("the icon file's directory is cut short");

  struct TExtent {
    std::uint64_t Offset, Size;
    unsigned Index;
  };
  std::vector<TExtent> extents;
  std::vector<TIconImage> images(count);
  for (unsigned i = 0; i < count; ++i) {
    const std::uint64_t e = IconDirectory::Size + IconFileEntry::Size * i;
    TIconImage& image = images[i];
    image.Width = f[e + IconFileEntry::Width];
    image.Height = f[e + IconFileEntry::Height];
    image.ColourCount = f[e + IconFileEntry::ColourCount];
    image.Planes = Get16(f, e + IconFileEntry::Planes, "");
    image.BitCount = Get16(f, e + IconFileEntry::BitCount, "");
    const TExtent extent{Get32(f, e + IconFileEntry::DataOffset, ""), Get32(f, e + IconFileEntry::DataSize, ""), i + 1};
    const std::string which = "icon image " + std::to_string(i + 1);
    if (extent.Size == 0)
      throw EPeError(which + " is empty");
    if (extent.Offset < directoryEnd || !Fits(f, extent.Offset, extent.Size))
      throw EPeError(which + " lies outside the file");
    const TByteView bytes = f.subspan(extent.Offset, extent.Size);
    if (StartsAsPng(bytes) && !IsPng(bytes))
      throw EPeError(which + " is a PNG without its header chunk");
    if (DibHeaderSize(bytes) > bytes.size())
      throw EPeError(which + " is a bitmap shorter than its " + std::to_string(DibHeaderSize(bytes)) + "-byte header");
    if (!IsPng(bytes) && !IsDib(bytes))
      throw EPeError(which + " is neither a bitmap nor a PNG");
    extents.push_back(extent);
  }
  // Checked before copying: overlapping images could multiply a small file many times over.
  std::sort(extents.begin(), extents.end(), [](const TExtent& a, const TExtent& b) { return a.Offset < b.Offset; });
  for (std::size_t i = 1; i < extents.size(); ++i)
    if (extents[i].Offset < extents[i - 1].Offset + extents[i - 1].Size)
      throw EPeError("icon images " + std::to_string(std::min(extents[i - 1].Index, extents[i].Index)) + " and " +
                     std::to_string(std::max(extents[i - 1].Index, extents[i].Index)) + " overlap");
  for (const TExtent& extent : extents)
    images[extent.Index - 1].Data.assign(file.begin() + static_cast<std::ptrdiff_t>(extent.Offset),
                                         file.begin() + static_cast<std::ptrdiff_t>(extent.Offset + extent.Size));
  return images;
}

std::vector<std::uint8_t> MakeIconFile(const std::vector<TIconImage>& images) {
  CheckCount(images.size());
  TBytes out(IconDirectory::Size + IconFileEntry::Size * images.size());
  Put16(out, IconDirectory::Type, IconDirectory::IconType);
  Put16(out, IconDirectory::Count, images.size());
  for (std::size_t i = 0; i < images.size(); ++i) {
    const TIconImage& image = images[i];
    const std::uint64_t e = IconDirectory::Size + IconFileEntry::Size * i;
    out[e + IconFileEntry::Width] = image.Width;
    out[e + IconFileEntry::Height] = image.Height;
    out[e + IconFileEntry::ColourCount] = image.ColourCount;
    Put16(out, e + IconFileEntry::Planes, image.Planes);
    Put16(out, e + IconFileEntry::BitCount, image.BitCount);
    Put32(out, e + IconFileEntry::DataSize, image.Data.size());
    Put32(out, e + IconFileEntry::DataOffset, out.size());
    out.insert(out.end(), image.Data.begin(), image.Data.end());
    if (out.size() > 0xFFFFFFFF)
      throw EPeError("the icon file would be too large");
  }
  return out;
}

void ReplaceIconGroup(TPeImage& image, const TResourceId& group, const std::vector<TIconImage>& images) {
  CheckCount(images.size());
  const TResourceId groupType = TResourceId::Number(RtGroupIcon), iconType = TResourceId::Number(RtIcon);
  TResource* target = image.Find(groupType, group);
  if (!target)
    throw EPeError("the image has no icon group " + Describe(group));
  const auto oldIds = GroupIconIds(*target);
  if (!oldIds)
    throw EPeError("the icon group " + Describe(group) + " is malformed");

  std::vector<TResource>& resources = image.Resources();
  std::set<std::uint16_t> shared, used;
  for (const TResource& r : resources)
    if (&r != target && r.Type.Matches(groupType))
      if (const auto ids = GroupIconIds(r))
        shared.insert(ids->begin(), ids->end());
  auto dropped = [&](const TResource& r) {
    return r.Type.Matches(iconType) && !r.Name.IsName() &&
           std::find(oldIds->begin(), oldIds->end(), r.Name.Id) != oldIds->end() && !shared.count(r.Name.Id);
  };
  for (const TResource& r : resources)
    if (r.Type.Matches(iconType) && !r.Name.IsName() && !dropped(r))
      used.insert(r.Name.Id);

  TBytes directory(IconDirectory::Size + GroupIconEntry::Size * images.size());
  Put16(directory, IconDirectory::Type, IconDirectory::IconType);
  Put16(directory, IconDirectory::Count, images.size());
  std::vector<TResource> icons;
  std::uint32_t next = 1;
  for (std::size_t i = 0; i < images.size(); ++i) {
    const TIconImage& icon = images[i];
    while (used.count(static_cast<std::uint16_t>(next)))
      ++next;
    if (next > 0xFFFF)
      throw EPeError("no free icon ids are left");
    used.insert(static_cast<std::uint16_t>(next));
    // The loader matches icons by these fields; a bitmap knows its own when the file left them out.
    std::uint16_t planes = icon.Planes, bitCount = icon.BitCount;
    if (IsDib(icon.Data)) {
      if (!planes)
        planes = Get16(icon.Data, BitmapInfoHeader::Planes, "");
      if (!bitCount)
        bitCount = Get16(icon.Data, BitmapInfoHeader::BitCount, "");
    }
    const std::uint64_t e = IconDirectory::Size + GroupIconEntry::Size * i;
    directory[e + GroupIconEntry::Width] = icon.Width;
    directory[e + GroupIconEntry::Height] = icon.Height;
    directory[e + GroupIconEntry::ColourCount] = icon.ColourCount;
    Put16(directory, e + GroupIconEntry::Planes, planes);
    Put16(directory, e + GroupIconEntry::BitCount, bitCount);
    Put32(directory, e + GroupIconEntry::DataSize, icon.Data.size());
    Put16(directory, e + GroupIconEntry::Id, next);
    icons.push_back({iconType, TResourceId::Number(static_cast<std::uint16_t>(next)), target->Language,
                     target->CodePage, icon.Data});
  }
  target->Data = std::move(directory);
  std::erase_if(resources, dropped);
  resources.insert(resources.end(), std::make_move_iterator(icons.begin()), std::make_move_iterator(icons.end()));
}

}  // namespace mkinstaller
