// Tests of the resource rewriter on small synthetic PE32+ images, built here
// with a tree encoder of their own (another layout and order than the
// rewriter's), and of icon files.
#include "IconFile.h"
#include "PeImage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace mkinstaller;
using Bytes = std::vector<std::uint8_t>;

// Fixed header layout of the images built here.
constexpr std::uint32_t kFileAlign = 0x200, kSectionAlign = 0x1000, kHeaders = 0x400;
constexpr std::uint32_t kPe = 0x80, kOptional = kPe + 24, kTable = kOptional + 0xF0;
constexpr std::uint32_t kChecksumAt = kOptional + 64;
constexpr std::uint32_t kRelocSection = 0x42000040, kDataSection = 0xC0000040, kCodeSection = 0x60000020;

std::uint32_t Rd32(const Bytes& b, std::size_t at) {
    return b.at(at) | b.at(at + 1) << 8 | b.at(at + 2) << 16 | static_cast<std::uint32_t>(b.at(at + 3)) << 24;
}
void Wr16(Bytes& b, std::size_t at, std::uint32_t v) {
    b.at(at) = static_cast<std::uint8_t>(v);
    b.at(at + 1) = static_cast<std::uint8_t>(v >> 8);
}
void Wr32(Bytes& b, std::size_t at, std::uint32_t v) {
    Wr16(b, at, v);
    Wr16(b, at + 2, v >> 16);
}
std::uint32_t Align(std::uint64_t v, std::uint32_t a) { return static_cast<std::uint32_t>((v + a - 1) / a * a); }

Bytes Pattern(std::size_t size, unsigned seed) {
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<std::uint8_t>(i * 7 + seed * 31 + (i >> 8));
    return b;
}

// The header checksum as the signing tools document it: 32-bit words with
// end-around carry, folded to 16 bits, plus the file length.
std::uint32_t ReferenceChecksum(Bytes file, std::size_t field) {
    const std::size_t length = file.size();
    Wr32(file, field, 0);
    file.resize((length + 3) / 4 * 4, 0);
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < file.size(); i += 4) {
        sum += Rd32(file, i);
        sum = (sum & 0xFFFFFFFF) + (sum >> 32);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    sum = (sum + (sum >> 16)) & 0xFFFF;
    return static_cast<std::uint32_t>(sum + length);
}

// A section header as stored.
struct SectionInfo {
    std::uint32_t virtualSize, rva, rawSize, rawPointer;
};
SectionInfo Section(const Bytes& image, unsigned index) {
    const std::size_t h = kTable + 40 * index;
    return {Rd32(image, h + 8), Rd32(image, h + 12), Rd32(image, h + 16), Rd32(image, h + 20)};
}
std::uint32_t Directory(const Bytes& image, unsigned index, unsigned field = 0) {
    return Rd32(image, kOptional + 112 + 8 * index + 4 * field);
}

// The test's own tree encoder: types, names and languages in the order given,
// directories first, then names, then data entries, then data 4-aligned.
Bytes EncodeTree(const std::vector<Resource>& leaves, std::uint32_t rva) {
    struct Node {
        ResourceId id;
        std::vector<Node> children;
        int leaf = -1;
    };
    Node root;
    auto child = [](Node& n, const ResourceId& id) -> Node& {
        for (Node& c : n.children)
            if (c.id.IsName() == id.IsName() && c.id.name == id.name && c.id.id == id.id) return c;
        n.children.push_back({id, {}, -1});
        return n.children.back();
    };
    for (std::size_t i = 0; i < leaves.size(); ++i)
        child(child(child(root, leaves[i].type), leaves[i].name), ResourceId::Number(leaves[i].language)).leaf =
            static_cast<int>(i);
    std::vector<const Node*> dirs{&root};
    for (std::size_t i = 0; i < dirs.size(); ++i)
        for (const Node& c : dirs[i]->children)
            if (c.leaf < 0) dirs.push_back(&c);
    std::vector<std::uint32_t> dirAt;
    std::uint32_t size = 0;
    for (const Node* d : dirs) dirAt.push_back(std::exchange(size, size + 16 + 8 * static_cast<std::uint32_t>(d->children.size())));
    std::vector<std::pair<std::u16string, std::uint32_t>> names;
    for (const Node* d : dirs)
        for (const Node& c : d->children)
            if (c.id.IsName()) names.emplace_back(c.id.name, std::exchange(size, size + 2 + 2 * static_cast<std::uint32_t>(c.id.name.size())));
    size = Align(size, 4);
    const std::uint32_t entries = size;
    size += 16 * static_cast<std::uint32_t>(leaves.size());
    std::vector<std::uint32_t> dataAt;
    for (const Resource& r : leaves) dataAt.push_back(std::exchange(size, Align(size + r.data.size(), 4)));
    Bytes out(size);
    std::size_t nameIndex = 0;
    for (std::size_t i = 0; i < dirs.size(); ++i) {
        unsigned named = 0;
        for (const Node& c : dirs[i]->children) named += c.id.IsName();
        Wr16(out, dirAt[i] + 12, named);
        Wr16(out, dirAt[i] + 14, static_cast<std::uint32_t>(dirs[i]->children.size()) - named);
        for (std::size_t j = 0; j < dirs[i]->children.size(); ++j) {
            const Node& c = dirs[i]->children[j];
            const std::size_t at = dirAt[i] + 16 + 8 * j;
            if (c.id.IsName()) {
                const auto& [name, nameAt] = names[nameIndex++];
                Wr32(out, at, 0x80000000 | nameAt);
                Wr16(out, nameAt, static_cast<std::uint32_t>(name.size()));
                for (std::size_t k = 0; k < name.size(); ++k) Wr16(out, nameAt + 2 + 2 * k, name[k]);
            } else {
                Wr32(out, at, c.id.id);
            }
            const auto sub = std::find(dirs.begin(), dirs.end(), &c);
            Wr32(out, at + 4, c.leaf >= 0 ? entries + 16 * c.leaf : 0x80000000 | dirAt[sub - dirs.begin()]);
        }
    }
    for (std::size_t i = 0; i < leaves.size(); ++i) {
        Wr32(out, entries + 16 * i, rva + dataAt[i]);
        Wr32(out, entries + 16 * i + 4, static_cast<std::uint32_t>(leaves[i].data.size()));
        Wr32(out, entries + 16 * i + 8, leaves[i].codePage);
        std::copy(leaves[i].data.begin(), leaves[i].data.end(), out.begin() + dataAt[i]);
    }
    return out;
}

struct TestSection {
    std::string name;
    Bytes data;  // ignored for .rsrc, which holds the encoded resources
    std::uint32_t flags;
};

// A PE32+ image of these sections, laid out back to back; .rsrc and .reloc
// get their data directories, and the checksum is valid.
Bytes BuildImage(const std::vector<TestSection>& sections, const std::vector<Resource>& resources) {
    Bytes image(kHeaders);
    image[0] = 'M';
    image[1] = 'Z';
    Wr32(image, 0x3C, kPe);
    Wr32(image, kPe, 0x4550);
    Wr16(image, kPe + 4, 0x8664);
    Wr16(image, kPe + 6, static_cast<std::uint32_t>(sections.size()));
    Wr16(image, kPe + 20, 0xF0);
    Wr16(image, kPe + 22, 0x22);
    Wr16(image, kOptional, 0x20B);
    Wr32(image, kOptional + 16, 0x1000);  // entry point
    Wr32(image, kOptional + 32, kSectionAlign);
    Wr32(image, kOptional + 36, kFileAlign);
    Wr32(image, kOptional + 60, kHeaders);
    Wr32(image, kOptional + 108, 16);
    std::uint32_t rva = kSectionAlign, initialized = 0;
    for (std::size_t i = 0; i < sections.size(); ++i) {
        const TestSection& s = sections[i];
        const Bytes data = s.name == ".rsrc" ? EncodeTree(resources, rva) : s.data;
        const std::size_t h = kTable + 40 * i;
        std::copy(s.name.begin(), s.name.end(), image.begin() + h);
        Wr32(image, h + 8, static_cast<std::uint32_t>(data.size()));
        Wr32(image, h + 12, rva);
        Wr32(image, h + 16, Align(data.size(), kFileAlign));
        Wr32(image, h + 20, static_cast<std::uint32_t>(image.size()));
        Wr32(image, h + 36, s.flags);
        if (s.flags & 0x40) initialized += Align(data.size(), kFileAlign);
        if (s.name == ".rsrc" || s.name == ".reloc") {
            const unsigned d = s.name == ".rsrc" ? 2 : 5;
            Wr32(image, kOptional + 112 + 8 * d, rva);
            Wr32(image, kOptional + 112 + 8 * d + 4, static_cast<std::uint32_t>(data.size()));
        }
        image.insert(image.end(), data.begin(), data.end());
        image.resize(Align(image.size(), kFileAlign));
        rva = Align(rva + data.size(), kSectionAlign);
    }
    Wr32(image, kOptional + 8, initialized);
    Wr32(image, kOptional + 56, rva);
    Wr32(image, kChecksumAt, ReferenceChecksum(image, kChecksumAt));
    return image;
}

Resource Res(ResourceId type, ResourceId name, std::uint16_t language, Bytes data) {
    return {std::move(type), std::move(name), language, 0, std::move(data)};
}

Bytes VersionBlock(const std::u16string& key, const Bytes& value, bool text, const std::vector<Bytes>& children) {
    Bytes b(6);
    for (char16_t c : key + u'\0') b.insert(b.end(), {static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8)});
    b.resize(Align(b.size(), 4));
    b.insert(b.end(), value.begin(), value.end());
    for (const Bytes& c : children) {
        b.resize(Align(b.size(), 4));
        b.insert(b.end(), c.begin(), c.end());
    }
    Wr16(b, 0, static_cast<std::uint32_t>(b.size()));
    Wr16(b, 2, static_cast<std::uint32_t>(text ? value.size() / 2 : value.size()));
    Wr16(b, 4, text);
    return b;
}
Bytes VersionString(const std::u16string& key, const std::u16string& value) {
    Bytes v;
    for (char16_t c : value + u'\0') v.insert(v.end(), {static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8)});
    return VersionBlock(key, v, true, {});
}
Bytes VersionInfo() {
    return VersionBlock(u"VS_VERSION_INFO", Bytes(52, 0xEE), false,
                        {VersionBlock(u"StringFileInfo", {}, true,
                                      {VersionBlock(u"040904B0", {}, true,
                                                    {VersionString(u"FileDescription", u"Écran \u2603 \U0001F600"),
                                                     VersionString(u"ProductName", u"InstallerWin")})}),
                         VersionBlock(u"VarFileInfo", {}, true, {})});
}

// A DIB icon image: its BITMAPINFOHEADER (height doubled for the mask) and pixels.
Bytes DibImage(int size, unsigned seed) {
    Bytes b = Pattern(40 + size * size * 4 + size * size / 8, seed);
    Wr32(b, 0, 40);
    Wr32(b, 4, size);
    Wr32(b, 8, 2 * size);
    Wr16(b, 12, 1);
    Wr16(b, 14, 32);
    return b;
}
Bytes PngImage(unsigned seed) {
    Bytes b = Pattern(200, seed);
    const std::uint8_t signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::copy(std::begin(signature), std::end(signature), b.begin());
    return b;
}
Bytes GroupDirectory(const std::vector<std::uint16_t>& ids) {
    Bytes g(6 + 14 * ids.size());
    Wr16(g, 2, 1);
    Wr16(g, 4, static_cast<std::uint32_t>(ids.size()));
    for (std::size_t i = 0; i < ids.size(); ++i) Wr16(g, 6 + 14 * i + 12, ids[i]);
    return g;
}

const ResourceId kExeFile = ResourceId::Name("EXEFILE");

// Resources in the order a linker might meet them: names among numbers,
// languages and types out of order.
std::vector<Resource> SampleResources() {
    return {Res(ResourceId::Number(kRtRcData), ResourceId::Name("TINSTALLERFORM"), 1033, Pattern(3000, 1)),
            Res(kExeFile, ResourceId::Name("SKINRES"), 1033, Pattern(82, 2)),
            Res(ResourceId::Number(kRtIcon), ResourceId::Number(2), 1033, DibImage(16, 3)),
            Res(ResourceId::Number(kRtIcon), ResourceId::Number(1), 1033, DibImage(32, 4)),
            Res(ResourceId::Number(kRtGroupIcon), ResourceId::Name("MAINICON"), 1033, GroupDirectory({1, 2})),
            Res(ResourceId::Number(kRtVersion), ResourceId::Number(1), 1033, VersionInfo()),
            Res(ResourceId::Number(kRtRcData), ResourceId::Name("TINSTALLERFORM"), 7, Pattern(5, 5)),
            Res(ResourceId::Number(kRtRcData), ResourceId::Name("ALPHA"), 0, Pattern(1, 6)),
            Res(kExeFile, ResourceId::Number(300), 1033, Pattern(17, 7)),
            Res(ResourceId::Number(kRtManifest), ResourceId::Number(1), 1033, Pattern(1087, 8))};
}

std::vector<TestSection> SampleSections() {
    return {{".text", Pattern(0x1234, 10), kCodeSection},
            {".rdata", Pattern(0x800, 11), 0x40000040},
            {".rsrc", {}, kDataSection},
            {".reloc", Pattern(0x998, 12), kRelocSection}};
}

Bytes SampleImage() { return BuildImage(SampleSections(), SampleResources()); }

bool SameResource(const Resource& a, const Resource& b) {
    return a.type.IsName() == b.type.IsName() && a.type.name == b.type.name && a.type.id == b.type.id &&
           a.name.IsName() == b.name.IsName() && a.name.name == b.name.name && a.name.id == b.name.id &&
           a.language == b.language && a.codePage == b.codePage && a.data == b.data;
}

// Every resource of `want` is found in `have` with the same bytes, and nothing else is there.
void ExpectSameResources(const std::vector<Resource>& have, const std::vector<Resource>& want) {
    ASSERT_EQ(have.size(), want.size());
    for (const Resource& w : want)
        EXPECT_EQ(std::count_if(have.begin(), have.end(), [&](const Resource& h) { return SameResource(h, w); }), 1);
}

// The rules the loader's lookups rely on, checked on the stored tree: in each
// directory the names first and sorted, then ids ascending; entries and data
// aligned; data inside the section. Returns the number of leaves.
int CheckTreeRules(const Bytes& image, unsigned rsrcIndex) {
    const SectionInfo s = Section(image, rsrcIndex);
    const auto at = [&](std::uint32_t offset) { return s.rawPointer + offset; };
    auto name = [&](std::uint32_t offset) {
        std::u16string n(image.at(at(offset)) | image.at(at(offset) + 1) << 8, u'\0');
        for (std::size_t i = 0; i < n.size(); ++i)
            n[i] = static_cast<char16_t>(image.at(at(offset) + 2 + 2 * i) | image.at(at(offset) + 3 + 2 * i) << 8);
        return n;
    };
    int leaves = 0;
    std::function<void(std::uint32_t, int)> walk = [&](std::uint32_t dir, int level) {
        EXPECT_EQ(dir % 4, 0u);
        const unsigned named = image.at(at(dir) + 12) | image.at(at(dir) + 13) << 8;
        const unsigned ids = image.at(at(dir) + 14) | image.at(at(dir) + 15) << 8;
        for (unsigned i = 0; i < named + ids; ++i) {
            const std::uint32_t id = Rd32(image, at(dir) + 16 + 8 * i), target = Rd32(image, at(dir) + 20 + 8 * i);
            EXPECT_EQ((id >> 31) != 0, i < named) << "entry " << i << " at level " << level;
            if (i > 0 && i < named) {
                EXPECT_LT(name(Rd32(image, at(dir) + 8 + 8 * i) & 0x7FFFFFFF), name(id & 0x7FFFFFFF));
            } else if (i > named) {
                EXPECT_LT(Rd32(image, at(dir) + 8 + 8 * i), id);
            }
            EXPECT_EQ((target >> 31) != 0, level < 2);
            if (level < 2) {
                walk(target & 0x7FFFFFFF, level + 1);
                continue;
            }
            ++leaves;
            EXPECT_EQ(target % 4, 0u);
            const std::uint32_t dataRva = Rd32(image, at(target)), size = Rd32(image, at(target) + 4);
            EXPECT_EQ(dataRva % 8, 0u);
            EXPECT_GE(dataRva, s.rva);
            EXPECT_LE(dataRva + size, s.rva + s.virtualSize);
        }
    };
    walk(0, 0);
    return leaves;
}

TEST(PeImage, ReadsTheStoredTreeAndFindsResourcesWithoutRegardToCase) {
    const PeImage image = PeImage::Parse(SampleImage());
    ExpectSameResources(image.Resources(), SampleResources());
    const Resource* form = image.Find(ResourceId::Number(kRtRcData), ResourceId::Name("tInstallerForm"));
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->language, 1033);
    EXPECT_EQ(form->data, Pattern(3000, 1));
    EXPECT_NE(image.Find(ResourceId::Name("exefile"), ResourceId::Number(300)), nullptr);
    EXPECT_EQ(image.Find(ResourceId::Number(kRtRcData), ResourceId::Name("SKINRES")), nullptr);
    EXPECT_EQ(image.Find(ResourceId::Number(kRtRcData), ResourceId::Number(1)), nullptr);
    EXPECT_EQ(image.OverlaySize(), 0u);
    EXPECT_FALSE(image.HasCertificateTable());
    EXPECT_EQ(ResourceId::Name("Skin_Res").name, u"SKIN_RES");
    EXPECT_THROW(ResourceId::Name(""), PeError);
    EXPECT_THROW(ResourceId::Name("caf\xC3\xA9"), PeError);
}

TEST(PeImage, UnchangedResourcesSurviveARewriteByteForByteInASortedTree) {
    const Bytes original = SampleImage();
    const Bytes written = PeImage::Parse(original).Write();
    EXPECT_EQ(CheckTreeRules(written, 2), 10);
    const PeImage reread = PeImage::Parse(written);
    ExpectSameResources(reread.Resources(), SampleResources());
    // Written once, the tree is in its final order: a second rewrite changes nothing.
    EXPECT_EQ(reread.Write(), written);
    // The sections before the resource section are untouched, headers and data.
    const auto same = [&](std::size_t from, std::size_t to) {
        return std::equal(written.begin() + from, written.begin() + to, original.begin() + from);
    };
    EXPECT_TRUE(same(kTable, kTable + 80));
    EXPECT_TRUE(same(kHeaders, Section(original, 2).rawPointer));
    EXPECT_EQ(Rd32(written, kChecksumAt), ReferenceChecksum(written, kChecksumAt));
}

TEST(PeImage, AResizedResourceSectionMovesTheSectionAfterItAndItsDirectory) {
    const Bytes original = SampleImage();
    const SectionInfo rsrc = Section(original, 2), reloc = Section(original, 3);
    const Bytes relocBytes(original.begin() + reloc.rawPointer, original.begin() + reloc.rawPointer + 0x998);
    const std::uint32_t initialized = Rd32(original, kOptional + 8);
    for (std::size_t formSize : {std::size_t{200000}, std::size_t{1}, std::size_t{3000 + 0x2000}}) {
        SCOPED_TRACE("form of " + std::to_string(formSize) + " bytes");
        PeImage image = PeImage::Parse(original);
        image.Find(ResourceId::Number(kRtRcData), ResourceId::Name("TINSTALLERFORM"))->data = Pattern(formSize, 9);
        const Bytes written = image.Write();
        const SectionInfo newRsrc = Section(written, 2), newReloc = Section(written, 3);
        EXPECT_EQ(newRsrc.rva, rsrc.rva);
        EXPECT_EQ(newRsrc.rawPointer, rsrc.rawPointer);
        EXPECT_EQ(newRsrc.rawSize, Align(newRsrc.virtualSize, kFileAlign));
        EXPECT_EQ(Directory(written, 2, 0), rsrc.rva);
        EXPECT_EQ(Directory(written, 2, 1), newRsrc.virtualSize);
        EXPECT_EQ(newReloc.rva, Align(rsrc.rva + newRsrc.virtualSize, kSectionAlign));
        EXPECT_EQ(newReloc.rawPointer, rsrc.rawPointer + newRsrc.rawSize);
        EXPECT_EQ(newReloc.virtualSize, reloc.virtualSize);
        EXPECT_EQ(newReloc.rawSize, reloc.rawSize);
        EXPECT_EQ(Directory(written, 5, 0), newReloc.rva);
        EXPECT_EQ(Directory(written, 5, 1), 0x998u);
        EXPECT_EQ(Bytes(written.begin() + newReloc.rawPointer, written.begin() + newReloc.rawPointer + 0x998), relocBytes);
        EXPECT_EQ(written.size(), newReloc.rawPointer + newReloc.rawSize);
        EXPECT_EQ(Rd32(written, kOptional + 56), Align(newReloc.rva + newReloc.virtualSize, kSectionAlign));
        EXPECT_EQ(Rd32(written, kOptional + 8), initialized - rsrc.rawSize + newRsrc.rawSize);
        EXPECT_EQ(Rd32(written, kChecksumAt), ReferenceChecksum(written, kChecksumAt));
        auto want = SampleResources();
        want[0].data = Pattern(formSize, 9);
        ExpectSameResources(PeImage::Parse(written).Resources(), want);
    }
    // With nothing after the resource section, it simply grows.
    auto sections = SampleSections();
    sections.pop_back();
    PeImage last = PeImage::Parse(BuildImage(sections, SampleResources()));
    last.Find(kExeFile, ResourceId::Name("SKINRES"))->data = Pattern(70000, 3);
    const Bytes written = last.Write();
    EXPECT_EQ(written.size(), Section(written, 2).rawPointer + Section(written, 2).rawSize);
    EXPECT_EQ(Rd32(written, kOptional + 56), Align(Section(written, 2).rva + Section(written, 2).virtualSize, kSectionAlign));
    EXPECT_EQ(PeImage::Parse(written).Find(kExeFile, ResourceId::Name("SKINRES"))->data, Pattern(70000, 3));
}

TEST(PeImage, ChecksumMatchesTheDocumentedAlgorithm) {
    std::mt19937 rng(1208);
    for (std::size_t size : {0x100, 0x101, 0x102, 0x103, 0x4001}) {
        Bytes file = Pattern(size, static_cast<unsigned>(rng()));
        for (auto& b : file) b = static_cast<std::uint8_t>(b ^ rng());
        EXPECT_EQ(PeChecksum(file, 0xD8), ReferenceChecksum(file, 0xD8)) << size;
    }
    // All ones: every fold carries.
    const Bytes ones(0x1000, 0xFF);
    EXPECT_EQ(PeChecksum(ones, 0x40), ReferenceChecksum(ones, 0x40));
}

TEST(PeImage, VersionStringsAreReadFromTheStringTable) {
    const PeImage image = PeImage::Parse(SampleImage());
    EXPECT_EQ(image.VersionString("ProductName"), "InstallerWin");
    // Quoted in one-line messages: anything but printable ASCII is a '?', one per character.
    EXPECT_EQ(image.VersionString("FileDescription"), "?cran ? ?");
    EXPECT_EQ(image.VersionString("CompanyName"), "");
    EXPECT_EQ(image.VersionString("040904B0"), "");
    // A cut anywhere leaves blocks longer than what holds them: no strings, and no reads past the end.
    PeImage cut = PeImage::Parse(SampleImage());
    Resource* version = cut.Find(ResourceId::Number(kRtVersion), ResourceId::Number(1));
    const Bytes whole = version->data;
    for (std::size_t size = 0; size < whole.size(); ++size) {
        version->data.assign(whole.begin(), whole.begin() + size);
        ASSERT_EQ(cut.VersionString("ProductName"), "") << size;
    }
    // Damage is read or ignored, never read past; the fixed file information is skipped, not read.
    std::mt19937 rng(16);
    for (int round = 0; round < 3000; ++round) {
        version->data = whole;
        const std::size_t at = rng() % whole.size();
        version->data[at] = static_cast<std::uint8_t>(version->data[at] ^ (1 + rng() % 255));
        const std::string value = cut.VersionString("ProductName");
        if (at >= 40 && at < 40 + 52) {
            ASSERT_EQ(value, "InstallerWin") << at;
        }
    }
}

// A damaged copy of the sample image: `change` edits it given the resource section's file offset.
Bytes Damaged(const std::function<void(Bytes&, std::uint32_t)>& change) {
    Bytes image = SampleImage();
    change(image, Section(image, 2).rawPointer);
    return image;
}

std::string ParseError(const Bytes& image) {
    try {
        PeImage::Parse(image);
    } catch (const PeError& e) {
        return e.what();
    }
    return "(parsed)";
}

TEST(PeImage, RefusesImagesItCannotReadOrRebuild) {
    // The sample's tree as encoded: the root at 0 with its six types in the sample's order
    // (RT_RCDATA, EXEFILE, RT_ICON, RT_GROUP_ICON, ...), then their directories.
    const struct {
        const char* what;
        std::function<void(Bytes&, std::uint32_t)> change;
        const char* error;
    } cases[] = {
        {"text file", [](Bytes& b, std::uint32_t) { b[0] = 'T'; }, "not a program image (no MZ header)"},
        {"no PE signature", [](Bytes& b, std::uint32_t) { b[kPe + 1] = 'X'; }, "not a PE image (no PE signature)"},
        {"header pointer past the end", [](Bytes& b, std::uint32_t) { Wr32(b, 0x3C, 0xFFFFFFF0); }, "truncated headers"},
        {"PE32", [](Bytes& b, std::uint32_t) { Wr16(b, kOptional, 0x10B); }, "not a 64-bit (PE32+) image"},
        {"file alignment 3", [](Bytes& b, std::uint32_t) { Wr32(b, kOptional + 36, 3); }, "bad section or file alignment"},
        {"sections overrun the headers", [](Bytes& b, std::uint32_t) { Wr16(b, kPe + 6, 40); }, "truncated headers"},
        {"section past the end", [](Bytes& b, std::uint32_t) { Wr32(b, kTable + 40 * 3 + 16, 0x10000); b[kTable + 40 * 3 + 2] = '\n'; },
         "section .r?loc lies past the end of the file"},
        {"sections overlap", [](Bytes& b, std::uint32_t) { Wr32(b, kTable + 40 + 12, 0x1000); },
         "sections overlap or are out of order"},
        {"no resources", [](Bytes& b, std::uint32_t) { Wr32(b, kOptional + 112 + 16 + 4, 0); }, "the image has no resources"},
        {"resources inside a section",
         [](Bytes& b, std::uint32_t) { Wr32(b, kOptional + 112 + 16, Directory(b, 2) + 16); },
         "the resource directory does not start a section"},
        {"code after the resources", [](Bytes& b, std::uint32_t) { Wr32(b, kTable + 40 * 3 + 36, kCodeSection); },
         "section .reloc follows the resources and cannot be moved"},
        {"imports after the resources",
         [](Bytes& b, std::uint32_t) { Wr32(b, kOptional + 112 + 8, Directory(b, 5)); Wr32(b, kOptional + 112 + 12, 8); },
         "data directory 1 lies in or after the resource section"},
        {"entry point in the resources", [](Bytes& b, std::uint32_t) { Wr32(b, kOptional + 16, Directory(b, 2) + 4); },
         "the entry point lies in or after the resource section"},
        {"type directory past the section", [](Bytes& b, std::uint32_t r) { Wr32(b, r + 20, 0x80000000 | 0x7FFF0); },
         "a resource directory lies past the end of its section"},
        {"subdirectory back to the root", [](Bytes& b, std::uint32_t r) { Wr32(b, r + 20, 0x80000000); },
         "the resource tree has a loop"},
        {"two types share a directory", [](Bytes& b, std::uint32_t r) { Wr32(b, r + 28, Rd32(b, r + 20)); },
         "the resource tree has a loop"},
        {"a type entry is a leaf", [](Bytes& b, std::uint32_t r) { Wr32(b, r + 20, Rd32(b, r + 20) & 0x7FFFFFFF); },
         "a resource type entry is not a directory"},
        {"name past the section", [](Bytes& b, std::uint32_t r) { Wr32(b, r + 16, 0x80000000 | 0x7FFFFF); },
         "a resource name lies past the end of its section"},
        {"empty name", [](Bytes& b, std::uint32_t r) { Wr16(b, r + (Rd32(b, r + 24) & 0x7FFFFFFF), 0); },
         "a resource name is empty"},
        {"id above 65535", [](Bytes& b, std::uint32_t r) { Wr32(b, r + 16 + 8 * 3, 0x10003); },
         "a resource id is out of range"},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseError(Damaged(c.change)), c.error) << c.what;

    // The leaves, in a rewritten tree: the first type, name and language lead to EXEFILE/SKINRES,
    // whose data entry is followed by EXEFILE/300's.
    const Bytes written = PeImage::Parse(SampleImage()).Write();
    const std::uint32_t rsrc = Section(written, 2).rawPointer, rva = Section(written, 2).rva;
    const std::uint32_t names = Rd32(written, rsrc + 20) & 0x7FFFFFFF;
    const std::uint32_t languages = Rd32(written, rsrc + names + 20) & 0x7FFFFFFF;
    const std::uint32_t entry = Rd32(written, rsrc + languages + 20);
    const struct {
        const char* what;
        std::function<void(Bytes&)> change;
        const char* error;
    } leaves[] = {
        {"data before the section", [&](Bytes& b) { Wr32(b, rsrc + entry, rva - 4); }, "resource data lies outside the resource section"},
        {"data past the section", [&](Bytes& b) { Wr32(b, rsrc + entry + 4, 0x10000000); }, "resource data lies outside the resource section"},
        {"data overlapping", [&](Bytes& b) { Wr32(b, rsrc + entry, Rd32(b, rsrc + entry + 16)); }, "resource data overlaps"},
        {"a fourth level", [&](Bytes& b) { Wr32(b, rsrc + languages + 20, 0x80000000 | names); },
         "the resource tree is deeper than type, name and language"},
    };
    for (const auto& c : leaves) {
        Bytes b = written;
        c.change(b);
        EXPECT_EQ(ParseError(b), c.error) << c.what;
    }

    // Every cut of the file is refused, whether in the headers, the tree or a section.
    const Bytes whole = SampleImage();
    for (std::size_t size = 0; size < whole.size(); size += size < 0x600 ? 1 : 97)
        ASSERT_NE(ParseError(Bytes(whole.begin(), whole.begin() + size)), "(parsed)") << size;
}

TEST(PeImage, ManyEntriesNamingOneLongNameAreRefusedBeforeTheyAreCopied) {
    // 6,000 type entries all name one string of 16,000 characters, each with an empty directory
    // of its own (overlapping zeros): no leaves, but 6,000 copies of the name (192 MB) if each
    // entry copied it. The section holds about 86 KB.
    constexpr std::uint32_t kEntries = 6000, kNameLength = 16000;
    constexpr std::uint32_t kName = 16 + 8 * kEntries, kEmpty = kName + 2 + 2 * kNameLength;
    Bytes image = BuildImage(SampleSections(), {Res(ResourceId::Number(kRtRcData), ResourceId::Number(1), 0,
                                                    Bytes(kEmpty + kEntries + 16))});
    const SectionInfo rsrc = Section(image, 2);
    ASSERT_GE(rsrc.virtualSize, kEmpty + kEntries + 16);
    std::fill_n(image.begin() + rsrc.rawPointer, rsrc.rawSize, 0);
    const std::uint32_t r = rsrc.rawPointer;
    Wr16(image, r + 12, kEntries);
    for (std::uint32_t i = 0; i < kEntries; ++i) {
        Wr32(image, r + 16 + 8 * i, 0x80000000 | kName);
        Wr32(image, r + 20 + 8 * i, 0x80000000 | (kEmpty + i));
    }
    Wr16(image, r + kName, kNameLength);
    for (std::uint32_t c = 0; c < kNameLength; ++c) Wr16(image, r + kName + 2 + 2 * c, 'A');
    EXPECT_EQ(ParseError(image), "the resource tree is too large for its section");
}

TEST(PeImage, DataPastTheImageOrACertificateStopsTheRewrite) {
    Bytes payload = SampleImage();
    const std::size_t imageSize = payload.size();
    payload.insert(payload.end(), {'M', 'Z', 1, 2, 3});
    const PeImage appended = PeImage::Parse(payload);
    EXPECT_EQ(appended.OverlaySize(), 5u);
    EXPECT_FALSE(appended.HasCertificateTable());
    try {
        appended.Write();
        ADD_FAILURE() << "written";
    } catch (const PeError& e) {
        EXPECT_STREQ(e.what(), "the image has data past its last section (a payload or a signature)");
    }

    Bytes signedImage = SampleImage();
    Wr32(signedImage, kOptional + 112 + 32, static_cast<std::uint32_t>(imageSize));
    Wr32(signedImage, kOptional + 112 + 36, 16);
    signedImage.resize(imageSize + 16, 0x30);
    const PeImage withCertificate = PeImage::Parse(signedImage);
    EXPECT_TRUE(withCertificate.HasCertificateTable());
    EXPECT_EQ(withCertificate.OverlaySize(), 16u);
    try {
        withCertificate.Write();
        ADD_FAILURE() << "written";
    } catch (const PeError& e) {
        EXPECT_STREQ(e.what(), "the image is signed; its resources can only be changed before signing");
    }

    // A linker may leave the last section's raw size unaligned and pad with zeros: that is no overlay.
    Bytes padded = SampleImage();
    Wr32(padded, kTable + 40 * 3 + 16, 0x998);
    EXPECT_EQ(PeImage::Parse(padded).OverlaySize(), 0u);
    EXPECT_NO_THROW(PeImage::Parse(padded).Write());
    padded.back() = 1;
    EXPECT_EQ(PeImage::Parse(padded).OverlaySize(), Align(0x998, kFileAlign) - 0x998);

    PeImage twice = PeImage::Parse(SampleImage());
    twice.Resources().push_back(twice.Resources().front());
    EXPECT_THROW(twice.Write(), PeError);
}

TEST(PeImage, RandomlyDamagedImagesAreReadOrRefusedAndWhatIsReadRebuildsFaithfully) {
    std::mt19937 rng(20261208);
    const Bytes good = SampleImage();
    const std::uint32_t rsrc = Section(good, 2).rawPointer, rsrcSize = Section(good, 2).virtualSize;
    int refused = 0, rebuilt = 0;
    for (int round = 0; round < 4000; ++round) {
        Bytes file = good;
        for (int hits = 1 + rng() % 6; hits > 0; --hits) {
            // Mostly the tree (its directories and entries especially), sometimes the headers.
            const std::uint32_t at = rng() % 4 == 0 ? rng() % kHeaders : rsrc + rng() % (rng() % 2 ? 0x100 : rsrcSize);
            file[at] = rng() % 3 == 0 ? static_cast<std::uint8_t>(file[at] ^ (1u << rng() % 8)) : static_cast<std::uint8_t>(rng());
        }
        SCOPED_TRACE("round " + std::to_string(round));
        std::vector<Resource> read;
        Bytes written;
        try {
            const PeImage image = PeImage::Parse(file);
            read = image.Resources();
            image.VersionString("ProductName");
            written = image.Write();
        } catch (const PeError&) {
            ++refused;
            continue;
        }
        const PeImage again = PeImage::Parse(written);
        ASSERT_NO_FATAL_FAILURE(ExpectSameResources(again.Resources(), read));
        ASSERT_EQ(Rd32(written, kChecksumAt), ReferenceChecksum(written, kChecksumAt));
        ++rebuilt;
    }
    // Both outcomes must really have been exercised.
    EXPECT_GT(refused, 1000);
    EXPECT_GT(rebuilt, 1000);
}

TEST(IconFile, MadeFilesParseBackAndBrokenOnesAreRefused) {
    const std::vector<IconImage> images{{32, 32, 0, 1, 32, DibImage(32, 1)}, {0, 0, 0, 0, 0, PngImage(2)}};
    const Bytes file = MakeIconFile(images);
    EXPECT_EQ(Rd32(file, 6 + 12), 6u + 2 * 16);
    const auto parsed = ParseIconFile(file);
    ASSERT_EQ(parsed.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(parsed[i].width, images[i].width);
        EXPECT_EQ(parsed[i].height, images[i].height);
        EXPECT_EQ(parsed[i].planes, images[i].planes);
        EXPECT_EQ(parsed[i].bitCount, images[i].bitCount);
        EXPECT_EQ(parsed[i].data, images[i].data);
    }
    EXPECT_THROW(MakeIconFile({}), PeError);

    const std::uint32_t second = Rd32(file, 6 + 16 + 12);
    const struct {
        const char* what;
        std::function<void(Bytes&)> change;
        const char* error;
    } cases[] = {
        {"too short", [](Bytes& b) { b.resize(5); }, "not an icon file"},
        {"a PNG file", [](Bytes& b) { b = PngImage(3); }, "not an icon file"},
        {"a cursor", [](Bytes& b) { Wr16(b, 2, 2); }, "not an icon file"},
        {"reserved set", [](Bytes& b) { Wr16(b, 0, 1); }, "not an icon file"},
        {"no images", [](Bytes& b) { Wr16(b, 4, 0); }, "the icon file holds no images"},
        {"directory cut short", [](Bytes& b) { Wr16(b, 4, 0x1000); }, "the icon file's directory is cut short"},
        {"empty image", [](Bytes& b) { Wr32(b, 6 + 16 + 8, 0); }, "icon image 2 is empty"},
        {"image past the end", [](Bytes& b) { Wr32(b, 6 + 16 + 8, 0xFFFFFFF0); }, "icon image 2 lies outside the file"},
        {"image in the directory", [](Bytes& b) { Wr32(b, 6 + 12, 6); }, "icon image 1 lies outside the file"},
        {"not a picture", [](Bytes& b) { b[6 + 32] = 41; }, "icon image 1 is neither a bitmap nor a PNG"},
        {"images overlap", [&](Bytes& b) { Wr32(b, 6 + 16 + 12, second - 8); std::copy_n(PngImage(2).begin(), 8, b.begin() + second - 8); },
         "icon images 1 and 2 overlap"},
    };
    for (const auto& c : cases) {
        Bytes broken = file;
        c.change(broken);
        try {
            ParseIconFile(broken);
            ADD_FAILURE() << c.what << ": parsed";
        } catch (const PeError& e) {
            EXPECT_STREQ(e.what(), c.error) << c.what;
        }
    }
    // Damage anywhere is read or refused, never read past the file.
    std::mt19937 rng(3);
    for (int round = 0; round < 3000; ++round) {
        Bytes broken = file;
        for (int hits = 1 + rng() % 3; hits > 0; --hits) broken[rng() % 64] = static_cast<std::uint8_t>(rng());
        try {
            for (const IconImage& image : ParseIconFile(broken)) ASSERT_LE(image.data.size(), broken.size());
        } catch (const PeError&) {
        }
    }
}

TEST(IconGroup, ReplacingAGroupDropsOnlyItsOwnImagesAndKeepsItsLanguage) {
    auto resources = SampleResources();
    // A second group shares image 2; image 5 belongs to nobody.
    resources.push_back(Res(ResourceId::Number(kRtGroupIcon), ResourceId::Number(7), 1033, GroupDirectory({2, 3})));
    resources.push_back(Res(ResourceId::Number(kRtIcon), ResourceId::Number(3), 1033, DibImage(16, 11)));
    resources.push_back(Res(ResourceId::Number(kRtIcon), ResourceId::Number(5), 1033, DibImage(16, 12)));
    PeImage image = PeImage::Parse(BuildImage(SampleSections(), resources));

    // Planes and bit count left out of the file come from the bitmap itself.
    const std::vector<IconImage> icons{{32, 32, 0, 0, 0, DibImage(32, 20)},
                                       {48, 48, 0, 1, 32, DibImage(48, 21)},
                                       {0, 0, 0, 1, 32, PngImage(22)},
                                       {16, 16, 0, 1, 32, DibImage(16, 23)}};
    ReplaceIconGroup(image, ResourceId::Name("mainicon"), icons);
    const PeImage written = PeImage::Parse(image.Write());

    const Resource* group = written.Find(ResourceId::Number(kRtGroupIcon), ResourceId::Name("MAINICON"));
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->language, 1033);
    ASSERT_EQ(group->data.size(), 6u + 14 * icons.size());
    EXPECT_EQ(Rd32(group->data, 2) & 0xFFFF, 1u);
    EXPECT_EQ(Rd32(group->data, 4) & 0xFFFF, icons.size());
    // Image 1 is freed, 2 stays for the other group, 3 and 5 are taken: ids 1, 4, 6, 7.
    const std::uint16_t wantIds[] = {1, 4, 6, 7};
    for (std::size_t i = 0; i < icons.size(); ++i) {
        const std::size_t e = 6 + 14 * i;
        EXPECT_EQ(group->data[e], icons[i].width);
        EXPECT_EQ(group->data[e + 1], icons[i].height);
        EXPECT_EQ(Rd32(group->data, e + 4), 1u | 32u << 16) << i;
        EXPECT_EQ(Rd32(group->data, e + 8), icons[i].data.size());
        EXPECT_EQ(group->data[e + 12] | group->data[e + 13] << 8, wantIds[i]);
        const Resource* icon = written.Find(ResourceId::Number(kRtIcon), ResourceId::Number(wantIds[i]));
        ASSERT_NE(icon, nullptr);
        EXPECT_EQ(icon->data, icons[i].data);
        EXPECT_EQ(icon->language, 1033);
    }
    EXPECT_EQ(written.Find(ResourceId::Number(kRtIcon), ResourceId::Number(2))->data, DibImage(16, 3));
    EXPECT_EQ(written.Find(ResourceId::Number(kRtIcon), ResourceId::Number(5))->data, DibImage(16, 12));
    EXPECT_EQ(std::count_if(written.Resources().begin(), written.Resources().end(),
                            [](const Resource& r) { return r.type.Matches(ResourceId::Number(kRtIcon)); }), 7);

    EXPECT_THROW(ReplaceIconGroup(image, ResourceId::Name("OTHER"), icons), PeError);
    image.Find(ResourceId::Number(kRtGroupIcon), ResourceId::Number(7))->data.resize(10);
    EXPECT_THROW(ReplaceIconGroup(image, ResourceId::Number(7), icons), PeError);
    EXPECT_THROW(ReplaceIconGroup(image, ResourceId::Name("MAINICON"), {}), PeError);
}

}  // namespace
