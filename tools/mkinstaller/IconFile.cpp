#include "IconFile.h"

#include <algorithm>
#include <optional>
#include <set>
#include <string>

#include "LittleEndian.h"

namespace mkinstaller {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint64_t kFileEntrySize = 16, kGroupEntrySize = 14, kDirectoryHeaderSize = 6;

bool IsPng(ByteView image) {
    static constexpr std::uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    return image.size() >= sizeof kSignature && std::equal(std::begin(kSignature), std::end(kSignature), image.begin());
}

// A device-independent bitmap starts with the size of its header (a
// BITMAPINFOHEADER or one of its later extensions).
bool IsDib(ByteView image) {
    if (image.size() < 4) return false;
    const std::uint32_t header = Get32(image, 0, "");
    return (header == 40 || header == 108 || header == 124) && header <= image.size();
}

// The RT_ICON ids an icon group lists, or nothing if its directory is malformed.
std::optional<std::vector<std::uint16_t>> GroupIconIds(const Resource& group) {
    const ByteView g(group.data);
    if (g.size() < kDirectoryHeaderSize || Get16(g, 0, "") != 0 || Get16(g, 2, "") != 1) return std::nullopt;
    const unsigned count = Get16(g, 4, "");
    if (!Fits(g, kDirectoryHeaderSize, kGroupEntrySize * count)) return std::nullopt;
    std::vector<std::uint16_t> ids;
    for (unsigned i = 0; i < count; ++i) ids.push_back(Get16(g, kDirectoryHeaderSize + kGroupEntrySize * i + 12, ""));
    return ids;
}

std::string Describe(const ResourceId& id) {
    if (!id.IsName()) return "#" + std::to_string(id.id);
    return Printable(id.name);
}

void CheckCount(std::size_t count) {
    if (count == 0 || count > 0xFFFF) throw PeError("an icon holds 1 to 65535 images, not " + std::to_string(count));
}

}  // namespace

std::vector<IconImage> ParseIconFile(const std::vector<std::uint8_t>& file) {
    const ByteView f(file);
    if (f.size() < kDirectoryHeaderSize || Get16(f, 0, "") != 0 || Get16(f, 2, "") != 1)
        throw PeError("not an icon file");
    const unsigned count = Get16(f, 4, "");
    if (count == 0) throw PeError("the icon file holds no images");
    const std::uint64_t directoryEnd = kDirectoryHeaderSize + kFileEntrySize * count;
    if (directoryEnd > f.size()) throw PeError("the icon file's directory is cut short");

    struct Extent {
        std::uint64_t offset, size;
        unsigned index;
    };
    std::vector<Extent> extents;
    std::vector<IconImage> images(count);
    for (unsigned i = 0; i < count; ++i) {
        const std::uint64_t e = kDirectoryHeaderSize + kFileEntrySize * i;
        IconImage& image = images[i];
        image.width = f[e];
        image.height = f[e + 1];
        image.colourCount = f[e + 2];
        image.planes = Get16(f, e + 4, "");
        image.bitCount = Get16(f, e + 6, "");
        const Extent extent{Get32(f, e + 12, ""), Get32(f, e + 8, ""), i + 1};
        const std::string which = "icon image " + std::to_string(i + 1);
        if (extent.size == 0) throw PeError(which + " is empty");
        if (extent.offset < directoryEnd || !Fits(f, extent.offset, extent.size))
            throw PeError(which + " lies outside the file");
        const ByteView bytes = f.subspan(extent.offset, extent.size);
        if (!IsPng(bytes) && !IsDib(bytes)) throw PeError(which + " is neither a bitmap nor a PNG");
        extents.push_back(extent);
    }
    // Checked before copying: overlapping images could multiply a small file many times over.
    std::sort(extents.begin(), extents.end(), [](const Extent& a, const Extent& b) { return a.offset < b.offset; });
    for (std::size_t i = 1; i < extents.size(); ++i)
        if (extents[i].offset < extents[i - 1].offset + extents[i - 1].size)
            throw PeError("icon images " + std::to_string(std::min(extents[i - 1].index, extents[i].index)) + " and " +
                          std::to_string(std::max(extents[i - 1].index, extents[i].index)) + " overlap");
    for (const Extent& extent : extents)
        images[extent.index - 1].data.assign(file.begin() + static_cast<std::ptrdiff_t>(extent.offset),
                                             file.begin() + static_cast<std::ptrdiff_t>(extent.offset + extent.size));
    return images;
}

std::vector<std::uint8_t> MakeIconFile(const std::vector<IconImage>& images) {
    CheckCount(images.size());
    Bytes out(kDirectoryHeaderSize + kFileEntrySize * images.size());
    Put16(out, 2, 1);
    Put16(out, 4, images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        const IconImage& image = images[i];
        const std::uint64_t e = kDirectoryHeaderSize + kFileEntrySize * i;
        out[e] = image.width;
        out[e + 1] = image.height;
        out[e + 2] = image.colourCount;
        Put16(out, e + 4, image.planes);
        Put16(out, e + 6, image.bitCount);
        Put32(out, e + 8, image.data.size());
        Put32(out, e + 12, out.size());
        out.insert(out.end(), image.data.begin(), image.data.end());
        if (out.size() > 0xFFFFFFFF) throw PeError("the icon file would be too large");
    }
    return out;
}

void ReplaceIconGroup(PeImage& image, const ResourceId& group, const std::vector<IconImage>& images) {
    CheckCount(images.size());
    const ResourceId groupType = ResourceId::Number(kRtGroupIcon), iconType = ResourceId::Number(kRtIcon);
    Resource* target = image.Find(groupType, group);
    if (!target) throw PeError("the image has no icon group " + Describe(group));
    const auto oldIds = GroupIconIds(*target);
    if (!oldIds) throw PeError("the icon group " + Describe(group) + " is malformed");

    std::vector<Resource>& resources = image.Resources();
    std::set<std::uint16_t> shared, used;
    for (const Resource& r : resources)
        if (&r != target && r.type.Matches(groupType))
            if (const auto ids = GroupIconIds(r)) shared.insert(ids->begin(), ids->end());
    auto dropped = [&](const Resource& r) {
        return r.type.Matches(iconType) && !r.name.IsName() &&
               std::find(oldIds->begin(), oldIds->end(), r.name.id) != oldIds->end() && !shared.count(r.name.id);
    };
    for (const Resource& r : resources)
        if (r.type.Matches(iconType) && !r.name.IsName() && !dropped(r)) used.insert(r.name.id);

    Bytes directory(kDirectoryHeaderSize + kGroupEntrySize * images.size());
    Put16(directory, 2, 1);
    Put16(directory, 4, images.size());
    std::vector<Resource> icons;
    std::uint32_t next = 1;
    for (std::size_t i = 0; i < images.size(); ++i) {
        const IconImage& icon = images[i];
        while (used.count(static_cast<std::uint16_t>(next))) ++next;
        if (next > 0xFFFF) throw PeError("no free icon ids are left");
        used.insert(static_cast<std::uint16_t>(next));
        // The loader matches icons by these fields; a bitmap knows its own when the file left them out.
        std::uint16_t planes = icon.planes, bitCount = icon.bitCount;
        if (IsDib(icon.data)) {
            if (!planes) planes = Get16(icon.data, 12, "");
            if (!bitCount) bitCount = Get16(icon.data, 14, "");
        }
        const std::uint64_t e = kDirectoryHeaderSize + kGroupEntrySize * i;
        directory[e] = icon.width;
        directory[e + 1] = icon.height;
        directory[e + 2] = icon.colourCount;
        Put16(directory, e + 4, planes);
        Put16(directory, e + 6, bitCount);
        Put32(directory, e + 8, icon.data.size());
        Put16(directory, e + 12, next);
        icons.push_back({iconType, ResourceId::Number(static_cast<std::uint16_t>(next)), target->language,
                         target->codePage, icon.data});
    }
    target->data = std::move(directory);
    std::erase_if(resources, dropped);
    resources.insert(resources.end(), std::make_move_iterator(icons.begin()), std::make_move_iterator(icons.end()));
}

}  // namespace mkinstaller
