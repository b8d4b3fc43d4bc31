#include "PeImage.h"

#include <algorithm>
#include <map>
#include <set>

#include "LittleEndian.h"

namespace mkinstaller {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Offsets into the headers of a PE32+ image.
constexpr std::uint64_t kNewHeaderPointer = 0x3C;
constexpr std::uint64_t kFileHeaderSize = 20;
constexpr std::uint64_t kSectionCount = 2, kOptionalHeaderSize = 16;
constexpr std::uint64_t kInitializedDataSize = 8, kEntryPoint = 16, kSectionAlignment = 32, kFileAlignment = 36,
                        kImageSize = 56, kHeadersSize = 60, kCheckSum = 64, kDirectoryCount = 108,
                        kDirectories = 112;
constexpr std::uint64_t kSectionHeaderSize = 40;
constexpr unsigned kResourceDirectory = 2, kSecurityDirectory = 4, kRelocationDirectory = 5;
constexpr std::uint32_t kInitializedData = 0x40, kCode = 0x20, kDiscardable = 0x02000000, kExecute = 0x20000000;
constexpr std::uint32_t kHighBit = 0x80000000;
constexpr std::uint64_t kMaxSize = 0xFFFFFFFF;

constexpr const char* kTruncated = "truncated headers";

struct Section {
    std::string name;
    std::uint64_t header = 0;  // its entry in the section table
    std::uint32_t virtualSize = 0, rva = 0, rawSize = 0, rawPointer = 0, flags = 0;
    // What the loader maps; a zero VirtualSize means the raw size.
    std::uint64_t Span() const { return virtualSize ? virtualSize : rawSize; }
};

struct DataDirectory {
    std::uint32_t rva = 0, size = 0;
};

}  // namespace

// The headers, checked to be a layout Write can rebuild: the resource
// directory starts its section, and what follows that section is only
// discardable data that nothing but the relocation directory points into.
struct PeLayout {
    std::uint64_t optional = 0;  // file offset of the optional header
    std::uint32_t fileAlignment = 0, sectionAlignment = 0;
    std::vector<DataDirectory> directories;
    std::vector<Section> sections;  // in address order
    std::size_t resources = 0;      // index of the resource section
    std::uint64_t rawEnd = 0;       // end of the headers and of every section's raw data

    std::uint64_t Directory(unsigned index) const { return optional + kDirectories + 8 * index; }
    const Section& Rsrc() const { return sections[resources]; }
    DataDirectory Get(unsigned index) const { return index < directories.size() ? directories[index] : DataDirectory{}; }
};

namespace {

bool PowerOfTwo(std::uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

PeLayout ReadLayout(ByteView f) {
    if (f.size() < 0x40 || f[0] != 'M' || f[1] != 'Z') throw PeError("not a program image (no MZ header)");
    const std::uint64_t pe = Get32(f, kNewHeaderPointer, kTruncated);
    if (Get32(f, pe, kTruncated) != 0x00004550) throw PeError("not a PE image (no PE signature)");
    const std::uint64_t fileHeader = pe + 4;
    const unsigned sectionCount = Get16(f, fileHeader + kSectionCount, kTruncated);
    const std::uint64_t optionalSize = Get16(f, fileHeader + kOptionalHeaderSize, kTruncated);
    PeLayout l;
    l.optional = fileHeader + kFileHeaderSize;
    if (Get16(f, l.optional, kTruncated) != 0x20B) throw PeError("not a 64-bit (PE32+) image");
    if (optionalSize < kDirectories || !Fits(f, l.optional, optionalSize)) throw PeError(kTruncated);
    const std::uint32_t directoryCount = std::min<std::uint32_t>(Get32(f, l.optional + kDirectoryCount, kTruncated), 16);
    if (kDirectories + 8 * directoryCount > optionalSize) throw PeError(kTruncated);
    for (unsigned i = 0; i < directoryCount; ++i)
        l.directories.push_back({Get32(f, l.Directory(i), kTruncated), Get32(f, l.Directory(i) + 4, kTruncated)});

    l.sectionAlignment = Get32(f, l.optional + kSectionAlignment, kTruncated);
    l.fileAlignment = Get32(f, l.optional + kFileAlignment, kTruncated);
    if (!PowerOfTwo(l.fileAlignment) || !PowerOfTwo(l.sectionAlignment) || l.fileAlignment > 0x10000 ||
        l.sectionAlignment < l.fileAlignment)
        throw PeError("bad section or file alignment");

    const std::uint64_t table = l.optional + optionalSize;
    if (sectionCount == 0) throw PeError("the image has no sections");
    l.rawEnd = Get32(f, l.optional + kHeadersSize, kTruncated);
    if (l.rawEnd < table + kSectionHeaderSize * sectionCount || l.rawEnd > f.size()) throw PeError(kTruncated);
    for (unsigned i = 0; i < sectionCount; ++i) {
        Section s;
        s.header = table + kSectionHeaderSize * i;
        // Printable only: the name goes into one-line messages.
        for (unsigned c = 0; c < 8 && f[s.header + c]; ++c)
            s.name.push_back(f[s.header + c] >= 0x20 && f[s.header + c] < 0x7F ? static_cast<char>(f[s.header + c]) : '?');
        s.virtualSize = Get32(f, s.header + 8, kTruncated);
        s.rva = Get32(f, s.header + 12, kTruncated);
        s.rawSize = Get32(f, s.header + 16, kTruncated);
        s.rawPointer = Get32(f, s.header + 20, kTruncated);
        s.flags = Get32(f, s.header + 36, kTruncated);
        if (s.rawSize && !Fits(f, s.rawPointer, s.rawSize))
            throw PeError("section " + s.name + " lies past the end of the file");
        if (s.rva % l.sectionAlignment || s.rva + s.Span() > kMaxSize)
            throw PeError("section " + s.name + " has a bad address");
        if (i > 0 && s.rva < l.sections.back().rva + l.sections.back().Span())
            throw PeError("sections overlap or are out of order");
        if (s.rawSize) l.rawEnd = std::max<std::uint64_t>(l.rawEnd, s.rawPointer + std::uint64_t{s.rawSize});
        l.sections.push_back(std::move(s));
    }

    const DataDirectory resources = l.Get(kResourceDirectory);
    if (resources.size == 0) throw PeError("the image has no resources");
    auto found = std::find_if(l.sections.begin(), l.sections.end(),
                              [&](const Section& s) { return s.rva == resources.rva; });
    if (found == l.sections.end()) throw PeError("the resource directory does not start a section");
    l.resources = static_cast<std::size_t>(found - l.sections.begin());
    const Section& rs = l.Rsrc();
    if (rs.rawSize == 0 || rs.rawPointer % l.fileAlignment)
        throw PeError("the resource section has no data or is not aligned in the file");
    const std::uint64_t rsrcRawEnd = rs.rawPointer + std::uint64_t{rs.rawSize};
    for (std::size_t i = 0; i < l.sections.size(); ++i) {
        const Section& s = l.sections[i];
        if (i == l.resources || s.rawSize == 0) continue;
        const bool before = i < l.resources;
        if (before ? s.rawPointer + std::uint64_t{s.rawSize} > rs.rawPointer
                   : s.rawPointer < rsrcRawEnd || s.rawPointer % l.fileAlignment)
            throw PeError("the sections are not in file order");
    }
    // Moving code or data that code points to would break the program.
    for (std::size_t i = l.resources + 1; i < l.sections.size(); ++i) {
        const Section& s = l.sections[i];
        if (!(s.flags & kDiscardable) || (s.flags & (kCode | kExecute)))
            throw PeError("section " + s.name + " follows the resources and cannot be moved");
    }
    for (unsigned d = 0; d < l.directories.size(); ++d) {
        const DataDirectory dir = l.directories[d];
        // The certificate table's address is a file offset, not an RVA.
        if (d == kResourceDirectory || d == kSecurityDirectory || dir.size == 0) continue;
        if (d == kRelocationDirectory && dir.rva >= rs.rva + rs.Span()) continue;  // moves with its section
        if (dir.rva + std::uint64_t{dir.size} > rs.rva)
            throw PeError("data directory " + std::to_string(d) + " lies in or after the resource section");
    }
    if (Get32(f, l.optional + kEntryPoint, kTruncated) >= rs.rva)
        throw PeError("the entry point lies in or after the resource section");
    return l;
}

// ---- The resource tree ---------------------------------------------------

bool Less(const ResourceId& a, const ResourceId& b) {
    if (a.IsName() != b.IsName()) return a.IsName();
    return a.IsName() ? a.name < b.name : a.id < b.id;
}

bool Same(const ResourceId& a, const ResourceId& b) {
    return a.IsName() == b.IsName() && a.name == b.name && a.id == b.id;
}

struct TreeEntry {
    ResourceId id;
    std::uint32_t target = 0;
    bool directory = false;
};

// Reads the resource tree of `section` (mapped at `rva`). Exactly three
// levels (type, name, language), each directory visited once, so a hostile
// tree can neither loop nor multiply. Names are the one thing copied more
// often than stored (many entries may point at one string, and each leaf
// carries its type's and its own): every copy is counted before it is made,
// and the characters copied may not exceed the section's size in bytes.
class TreeReader {
public:
    TreeReader(ByteView section, std::uint32_t rva) : s_(section), rva_(rva) {}

    std::vector<Resource> Read() {
        struct Leaf {
            Resource resource;
            std::uint64_t offset, size;
        };
        std::vector<Leaf> leaves;
        for (TreeEntry& type : Directory(0, "type")) {
            for (TreeEntry& name : Directory(type.target, "name")) {
                for (TreeEntry& language : Directory(name.target, "language")) {
                    if (language.directory)
                        throw PeError("the resource tree is deeper than type, name and language");
                    if (language.id.IsName()) throw PeError("a resource language is a name");
                    constexpr const char* kPast = "a resource data entry lies past the end of its section";
                    const std::uint64_t at = language.target;
                    const std::uint32_t dataRva = Get32(s_, at, kPast), size = Get32(s_, at + 4, kPast);
                    const std::uint64_t offset = dataRva - std::uint64_t{rva_};
                    if (dataRva < rva_ || !Fits(s_, offset, size))
                        throw PeError("resource data lies outside the resource section");
                    CountNameCopy(type.id.name.size() + name.id.name.size());
                    leaves.push_back({{type.id, name.id, language.id.id, Get32(s_, at + 8, kPast), {}}, offset, size});
                }
            }
        }
        // Data shared or overlapping would be copied many times over.
        std::vector<std::pair<std::uint64_t, std::uint64_t>> ranges;
        for (const Leaf& leaf : leaves) ranges.emplace_back(leaf.offset, leaf.offset + leaf.size);
        std::sort(ranges.begin(), ranges.end());
        for (std::size_t i = 1; i < ranges.size(); ++i)
            if (ranges[i].first < ranges[i - 1].second) throw PeError("resource data overlaps");
        std::vector<Resource> resources;
        for (Leaf& leaf : leaves) {
            leaf.resource.data.assign(s_.begin() + static_cast<std::ptrdiff_t>(leaf.offset),
                                      s_.begin() + static_cast<std::ptrdiff_t>(leaf.offset + leaf.size));
            resources.push_back(std::move(leaf.resource));
        }
        return resources;
    }

private:
    std::vector<TreeEntry> Directory(std::uint32_t offset, const std::string& level) {
        // A directory reached twice is a loop or a shared subtree; either would multiply the leaves.
        if (!seen_.insert(offset).second) throw PeError("the resource tree has a loop");
        const char* past = "a resource directory lies past the end of its section";
        const unsigned count = Get16(s_, offset + 12ull, past) + Get16(s_, offset + 14ull, past);
        if (!Fits(s_, offset + 16ull, 8ull * count)) throw PeError(past);
        // Directories that overlap could otherwise hold far more entries than the section has room for.
        entries_ += count;
        if (8 * entries_ > s_.size()) throw PeError("resource directories overlap");
        std::vector<TreeEntry> entries(count);
        for (unsigned i = 0; i < count; ++i) {
            const std::uint64_t at = offset + 16ull + 8ull * i;
            const std::uint32_t name = Get32(s_, at, past), target = Get32(s_, at + 4, past);
            TreeEntry& e = entries[i];
            e.target = target & ~kHighBit;
            e.directory = (target & kHighBit) != 0;
            if (level != "language" && !e.directory) throw PeError("a resource " + level + " entry is not a directory");
            if (name & kHighBit) {
                const char* bad = "a resource name lies past the end of its section";
                const std::uint64_t string = name & ~kHighBit;
                const unsigned length = Get16(s_, string, bad);
                if (length == 0) throw PeError("a resource name is empty");
                if (!Fits(s_, string + 2, 2ull * length)) throw PeError(bad);
                CountNameCopy(length);
                for (unsigned c = 0; c < length; ++c)
                    e.id.name.push_back(static_cast<char16_t>(Get16(s_, string + 2 + 2ull * c, bad)));
            } else if (name > 0xFFFF) {
                throw PeError("a resource id is out of range");
            } else {
                e.id.id = static_cast<std::uint16_t>(name);
            }
        }
        return entries;
    }

    void CountNameCopy(std::uint64_t chars) {
        nameChars_ += chars;
        if (nameChars_ > s_.size()) throw PeError("the resource tree is too large for its section");
    }

    ByteView s_;
    std::uint32_t rva_;
    std::set<std::uint32_t> seen_;
    std::uint64_t nameChars_ = 0, entries_ = 0;
};

// The resource section for `resources` mapped at `rva`, laid out as the
// loader expects: in each directory the named entries first, sorted by their
// UTF-16 code units, then the numbered ones ascending; directories, then the
// 16-byte data entries, then the counted UTF-16 names, then the data, each
// item 8-byte aligned.
Bytes BuildResourceSection(const std::vector<Resource>& resources, std::uint32_t rva) {
    std::vector<const Resource*> leaves;
    for (const Resource& r : resources) leaves.push_back(&r);
    std::stable_sort(leaves.begin(), leaves.end(), [](const Resource* a, const Resource* b) {
        if (!Same(a->type, b->type)) return Less(a->type, b->type);
        if (!Same(a->name, b->name)) return Less(a->name, b->name);
        return a->language < b->language;
    });

    // Directories depth-first: the root, then each type's followed by its names'.
    struct Dir {
        std::vector<ResourceId> ids;
        std::vector<std::size_t> targets;  // directories, or leaves in the language level
        bool languages = false;
    };
    std::vector<Dir> dirs(1);
    std::size_t typeDir = 0, nameDir = 0;
    for (std::size_t i = 0; i < leaves.size(); ++i) {
        const Resource& r = *leaves[i];
        const bool newType = i == 0 || !Same(leaves[i - 1]->type, r.type);
        const bool newName = newType || !Same(leaves[i - 1]->name, r.name);
        if (!newName && leaves[i - 1]->language == r.language)
            throw PeError("two resources have the same type, name and language");
        if (newType) {
            dirs[0].ids.push_back(r.type);
            dirs[0].targets.push_back(typeDir = dirs.size());
            dirs.emplace_back();
        }
        if (newName) {
            dirs[typeDir].ids.push_back(r.name);
            dirs[typeDir].targets.push_back(nameDir = dirs.size());
            dirs.emplace_back().languages = true;
        }
        dirs[nameDir].ids.push_back(ResourceId::Number(r.language));
        dirs[nameDir].targets.push_back(i);
    }

    constexpr const char* kTooLarge = "the resources are too large";
    std::uint64_t size = 0;
    std::vector<std::uint64_t> dirOffsets;
    for (const Dir& d : dirs) {
        dirOffsets.push_back(size);
        size += 16 + 8 * d.ids.size();
    }
    const std::uint64_t dataEntries = size;
    size += 16 * leaves.size();
    std::map<std::u16string, std::uint64_t> names;
    for (const Dir& d : dirs)
        for (const ResourceId& id : d.ids)
            if (id.IsName() && names.emplace(id.name, size).second) {
                if (id.name.size() > 0xFFFF) throw PeError("a resource name is too long");
                size += 2 + 2 * id.name.size();
            }
    std::vector<std::uint64_t> dataOffsets;
    for (const Resource* r : leaves) {
        size = AlignUp(size, 8);
        dataOffsets.push_back(size);
        size += r->data.size();
        if (size > kHighBit) throw PeError(kTooLarge);
    }
    if (rva + size > kMaxSize) throw PeError(kTooLarge);

    Bytes out(size);
    for (std::size_t i = 0; i < dirs.size(); ++i) {
        const Dir& d = dirs[i];
        const auto named = std::count_if(d.ids.begin(), d.ids.end(), [](const ResourceId& id) { return id.IsName(); });
        if (named > 0xFFFF || d.ids.size() - named > 0xFFFF) throw PeError("a resource directory has too many entries");
        Put16(out, dirOffsets[i] + 12, static_cast<std::uint64_t>(named));
        Put16(out, dirOffsets[i] + 14, d.ids.size() - named);
        for (std::size_t j = 0; j < d.ids.size(); ++j) {
            const std::uint64_t at = dirOffsets[i] + 16 + 8 * j;
            Put32(out, at, d.ids[j].IsName() ? kHighBit | names[d.ids[j].name] : d.ids[j].id);
            Put32(out, at + 4, d.languages ? dataEntries + 16 * d.targets[j] : kHighBit | dirOffsets[d.targets[j]]);
        }
    }
    for (std::size_t i = 0; i < leaves.size(); ++i) {
        Put32(out, dataEntries + 16 * i, rva + dataOffsets[i]);
        Put32(out, dataEntries + 16 * i + 4, leaves[i]->data.size());
        Put32(out, dataEntries + 16 * i + 8, leaves[i]->codePage);
        std::copy(leaves[i]->data.begin(), leaves[i]->data.end(), out.begin() + static_cast<std::ptrdiff_t>(dataOffsets[i]));
    }
    for (const auto& [name, at] : names) {
        Put16(out, at, name.size());
        for (std::size_t c = 0; c < name.size(); ++c) Put16(out, at + 2 + 2 * c, name[c]);
    }
    return out;
}

// ---- Version information -------------------------------------------------

// A block of a version resource: a counted header, a key, a value, children.
struct VersionBlock {
    std::u16string key;
    std::uint64_t value = 0, children = 0, end = 0;
};

VersionBlock ReadVersionBlock(ByteView v, std::uint64_t at, std::uint64_t limit) {
    const char* bad = "bad version block";
    const std::uint64_t length = Get16(v, at, bad), valueLength = Get16(v, at + 2, bad);
    const bool text = Get16(v, at + 4, bad) == 1;
    if (length < 6 || at + length > limit) throw PeError(bad);
    VersionBlock b;
    b.end = at + length;
    std::uint64_t p = at + 6;
    for (char16_t c; p + 2 <= b.end && (c = static_cast<char16_t>(Get16(v, p, bad))) != 0; p += 2) b.key.push_back(c);
    if (p + 2 > b.end) throw PeError(bad);
    b.value = AlignUp(p + 2, 4);
    b.children = std::min(AlignUp(b.value + (text ? 2 * valueLength : valueLength), 4), b.end);
    return b;
}

std::vector<VersionBlock> Children(ByteView v, const VersionBlock& parent) {
    std::vector<VersionBlock> children;
    // Each block is at least 8 bytes once aligned, so this ends.
    for (std::uint64_t at = parent.children; at + 6 <= parent.end; at = AlignUp(children.back().end, 4))
        children.push_back(ReadVersionBlock(v, at, parent.end));
    return children;
}

char16_t AsciiUpper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c; }

}  // namespace

std::string Printable(std::u16string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        out += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) ++i;
    }
    return out;
}

ResourceId ResourceId::Number(std::uint16_t id) {
    ResourceId r;
    r.id = id;
    return r;
}

ResourceId ResourceId::Name(const std::string& ascii) {
    if (ascii.empty()) throw PeError("a resource name is empty");
    ResourceId r;
    for (char c : ascii) {
        if (static_cast<unsigned char>(c) > 0x7F) throw PeError("the resource name " + ascii + " is not ASCII");
        r.name.push_back(AsciiUpper(static_cast<char16_t>(c)));
    }
    return r;
}

bool ResourceId::Matches(const ResourceId& other) const {
    if (IsName() != other.IsName()) return false;
    if (!IsName()) return id == other.id;
    return std::equal(name.begin(), name.end(), other.name.begin(), other.name.end(),
                      [](char16_t a, char16_t b) { return AsciiUpper(a) == AsciiUpper(b); });
}

PeImage PeImage::Parse(std::vector<std::uint8_t> file) {
    PeImage image;
    image.layout_ = std::make_shared<const PeLayout>(ReadLayout(file));
    const Section& rs = image.layout_->Rsrc();
    const ByteView section(file.data() + rs.rawPointer, std::min<std::uint64_t>(rs.Span(), rs.rawSize));
    image.resources_ = TreeReader(section, rs.rva).Read();
    image.file_ = std::move(file);
    return image;
}

Resource* PeImage::Find(const ResourceId& type, const ResourceId& name) {
    auto found = std::find_if(resources_.begin(), resources_.end(),
                              [&](const Resource& r) { return r.type.Matches(type) && r.name.Matches(name); });
    return found == resources_.end() ? nullptr : &*found;
}

const Resource* PeImage::Find(const ResourceId& type, const ResourceId& name) const {
    return const_cast<PeImage*>(this)->Find(type, name);
}

std::uint64_t PeImage::OverlaySize() const {
    const PeLayout& l = *layout_;
    std::uint64_t end = l.rawEnd;
    // The linker may leave the last section's raw size unaligned and pad the file with zeros.
    const std::uint64_t padded = std::min<std::uint64_t>(AlignUp(end, l.fileAlignment), file_.size());
    if (std::all_of(file_.begin() + static_cast<std::ptrdiff_t>(end), file_.begin() + static_cast<std::ptrdiff_t>(padded),
                    [](std::uint8_t b) { return b == 0; }))
        end = padded;
    return file_.size() - end;
}

bool PeImage::HasCertificateTable() const {
    return layout_->Get(kSecurityDirectory).size != 0;
}

std::string PeImage::VersionString(const std::string& key) const {
    const std::u16string wanted(key.begin(), key.end());
    for (const Resource& r : resources_) {
        if (!r.type.Matches(ResourceId::Number(kRtVersion))) continue;
        const ByteView v(r.data);
        try {
            const VersionBlock root = ReadVersionBlock(v, 0, v.size());
            if (root.key != u"VS_VERSION_INFO") continue;
            for (const VersionBlock& info : Children(v, root)) {
                if (info.key != u"StringFileInfo") continue;
                for (const VersionBlock& table : Children(v, info))
                    for (const VersionBlock& string : Children(v, table)) {
                        if (string.key != wanted) continue;
                        std::u16string value;
                        for (std::uint64_t p = string.value; p + 2 <= string.end && v[p] | v[p + 1]; p += 2)
                            value.push_back(static_cast<char16_t>(v[p] | v[p + 1] << 8));
                        return Printable(value);
                    }
            }
        } catch (const PeError&) {
            // A damaged version resource holds no strings.
        }
    }
    return {};
}

std::vector<std::uint8_t> PeImage::Write() const {
    if (HasCertificateTable()) throw PeError("the image is signed; its resources can only be changed before signing");
    if (OverlaySize() != 0) throw PeError("the image has data past its last section (a payload or a signature)");
    const PeLayout& l = *layout_;
    const Section& rs = l.Rsrc();
    const Bytes tree = BuildResourceSection(resources_, rs.rva);
    const std::uint64_t rawSize = AlignUp(tree.size(), l.fileAlignment);

    // What follows the resource section moves as one block, keeping its inner offsets.
    std::uint64_t tailRaw = file_.size(), shiftRva = 0;
    for (std::size_t i = l.resources + 1; i < l.sections.size(); ++i)
        if (l.sections[i].rawSize) tailRaw = std::min<std::uint64_t>(tailRaw, l.sections[i].rawPointer);
    if (l.resources + 1 < l.sections.size())
        shiftRva = AlignUp(rs.rva + tree.size(), l.sectionAlignment) - l.sections[l.resources + 1].rva;  // mod 2^64
    const std::uint64_t shiftRaw = rs.rawPointer + rawSize - tailRaw;  // mod 2^64

    Bytes out(file_.begin(), file_.begin() + rs.rawPointer);
    out.insert(out.end(), tree.begin(), tree.end());
    out.resize(rs.rawPointer + rawSize);
    out.insert(out.end(), file_.begin() + static_cast<std::ptrdiff_t>(tailRaw), file_.end());
    if (out.size() > kMaxSize) throw PeError("the resources are too large");

    Put32(out, rs.header + 8, tree.size());
    Put32(out, rs.header + 16, rawSize);
    std::uint64_t imageEnd = 0;
    for (std::size_t i = 0; i < l.sections.size(); ++i) {
        const Section& s = l.sections[i];
        std::uint64_t rva = s.rva, span = i == l.resources ? tree.size() : s.Span();
        if (i > l.resources) {
            rva += shiftRva;
            Put32(out, s.header + 12, rva);
            if (s.rawSize) Put32(out, s.header + 20, s.rawPointer + shiftRaw);
        }
        imageEnd = std::max(imageEnd, rva + span);
    }
    if (imageEnd > kMaxSize) throw PeError("the resources are too large");
    Put32(out, l.optional + kImageSize, AlignUp(imageEnd, l.sectionAlignment));
    if (rs.flags & kInitializedData) {
        // Our linker counts every initialised section's aligned raw size; keep that sum.
        const std::int64_t initialized = std::int64_t{Get32(file_, l.optional + kInitializedDataSize, kTruncated)} -
                                         static_cast<std::int64_t>(AlignUp(rs.rawSize, l.fileAlignment)) +
                                         static_cast<std::int64_t>(rawSize);
        Put32(out, l.optional + kInitializedDataSize,
              static_cast<std::uint64_t>(std::clamp<std::int64_t>(initialized, 0, kMaxSize)));
    }
    Put32(out, l.Directory(kResourceDirectory), rs.rva);
    Put32(out, l.Directory(kResourceDirectory) + 4, tree.size());
    const DataDirectory relocations = l.Get(kRelocationDirectory);
    if (relocations.size && relocations.rva >= rs.rva)
        Put32(out, l.Directory(kRelocationDirectory), relocations.rva + shiftRva);
    Put32(out, l.optional + kCheckSum, PeChecksum(out, static_cast<std::uint32_t>(l.optional + kCheckSum)));
    return out;
}

std::uint32_t PeChecksum(const std::vector<std::uint8_t>& file, std::uint32_t checksumOffset) {
    // The ones'-complement sum of the file's 16-bit words, folded to 16 bits, plus its length.
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < file.size(); i += 2) {
        auto byte = [&](std::size_t at) -> std::uint64_t {
            const bool inField = at >= checksumOffset && at - checksumOffset < 4;
            return at < file.size() && !inField ? file[at] : 0;
        };
        sum += byte(i) | byte(i + 1) << 8;
    }
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint32_t>(sum + file.size());
}

}  // namespace mkinstaller
