// Tests of the resource rewriter on small synthetic PE32+ images, built here
// with a tree encoder of their own (another layout and order than the
// rewriter's), and of icon files.
#include "Branding.h"
#include "Classes.h"
#include "ComponentStream.h"
#include "Files.h"
#include "IconFile.h"
#include "PeImage.h"
#include "WindowsFormats.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace mkinstaller;
using Bytes = std::vector<std::uint8_t>;

// Fixed header layout of the images built here.
constexpr std::uint32_t kFileAlign = 0x200, kSectionAlign = 0x1000, kHeaders = 0x400;
constexpr std::uint32_t kPe = 0x80, kOptionalSize = 0xF0;
constexpr std::size_t kFileHeader = kPe + PeSignatureSize, kOptional = kFileHeader + FileHeader::Size,
                      kTable = kOptional + kOptionalSize;
constexpr std::size_t kChecksumAt = kOptional + OptionalHeader::CheckSum;
constexpr std::uint32_t kRelocSection = 0x42000040, kDataSection = 0xC0000040, kCodeSection = 0x60000020;

std::uint32_t Rd16(const Bytes& b, std::size_t at) { return b.at(at) | b.at(at + 1) << 8; }
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
  for (std::size_t i = 0; i < size; ++i)
    b[i] = static_cast<std::uint8_t>(i * 7 + seed * 31 + (i >> 8));
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

// Where a field of a section header or of a data directory lies in the images built here.
std::size_t SectionField(unsigned index, std::uint64_t field) { return kTable + SectionHeader::Size * index + field; }
std::size_t DirectoryField(unsigned index, std::uint64_t field) {
  return kOptional + OptionalHeader::DataDirectories + DataDirectory::Size * index + field;
}

// A section header as stored.
struct SectionInfo {
  std::uint32_t VirtualSize, Rva, RawSize, RawPointer;
};
SectionInfo Section(const Bytes& image, unsigned index) {
  return {Rd32(image, SectionField(index, SectionHeader::VirtualSize)),
          Rd32(image, SectionField(index, SectionHeader::VirtualAddress)),
          Rd32(image, SectionField(index, SectionHeader::SizeOfRawData)),
          Rd32(image, SectionField(index, SectionHeader::PointerToRawData))};
}
std::uint32_t Directory(const Bytes& image, unsigned index, std::uint64_t field = DataDirectory::VirtualAddress) {
  return Rd32(image, DirectoryField(index, field));
}
// Where a field of entry `index` of the resource directory at `directory` lies.
std::size_t EntryField(std::size_t directory, unsigned index, std::uint64_t field) {
  return directory + ResourceDirectory::Size + ResourceDirectoryEntry::Size * index + field;
}
// Where a field of an icon file's entry for image `index` lies.
std::size_t IconField(unsigned index, std::uint64_t field) {
  return IconDirectory::Size + IconFileEntry::Size * index + field;
}

// The test's own tree encoder: types, names and languages in the order given,
// directories first, then names, then data entries, then data 4-aligned.
Bytes EncodeTree(const std::vector<TResource>& leaves, std::uint32_t rva) {
  struct Node {
    TResourceId Id;
    std::vector<Node> Children;
    int Leaf = -1;
  };
  Node root;
  auto child = [](Node& n, const TResourceId& id) -> Node& {
    for (Node& c : n.Children)
      if (c.Id.IsName() == id.IsName() && c.Id.Name == id.Name && c.Id.Id == id.Id)
        return c;
    n.Children.push_back({id, {}, -1});
    return n.Children.back();
  };
  for (std::size_t i = 0; i < leaves.size(); ++i)
    child(child(child(root, leaves[i].Type), leaves[i].Name), TResourceId::Number(leaves[i].Language)).Leaf =
        static_cast<int>(i);
  std::vector<const Node*> dirs{&root};
  for (std::size_t i = 0; i < dirs.size(); ++i)
    for (const Node& c : dirs[i]->Children)
      if (c.Leaf < 0)
        dirs.push_back(&c);
  std::vector<std::uint32_t> dirAt;
  std::uint32_t size = 0;
  for (const Node* d : dirs)
    dirAt.push_back(
        std::exchange(size, size + ResourceDirectory::Size +
                                ResourceDirectoryEntry::Size * static_cast<std::uint32_t>(d->Children.size())));
  std::vector<std::pair<std::u16string, std::uint32_t>> names;
  for (const Node* d : dirs)
    for (const Node& c : d->Children)
      if (c.Id.IsName())
        names.emplace_back(c.Id.Name, std::exchange(size, size + ResourceString::Units +
                                                              2 * static_cast<std::uint32_t>(c.Id.Name.size())));
  size = Align(size, 4);
  const std::uint32_t entries = size;
  size += ResourceDataEntry::Size * static_cast<std::uint32_t>(leaves.size());
  std::vector<std::uint32_t> dataAt;
  for (const TResource& r : leaves)
    dataAt.push_back(std::exchange(size, Align(size + r.Data.size(), 4)));
  Bytes out(size);
  std::size_t nameIndex = 0;
  for (std::size_t i = 0; i < dirs.size(); ++i) {
    unsigned named = 0;
    for (const Node& c : dirs[i]->Children)
      named += c.Id.IsName();
    Wr16(out, dirAt[i] + ResourceDirectory::NumberOfNamedEntries, named);
    Wr16(out, dirAt[i] + ResourceDirectory::NumberOfIdEntries,
         static_cast<std::uint32_t>(dirs[i]->Children.size()) - named);
    for (std::size_t j = 0; j < dirs[i]->Children.size(); ++j) {
      const Node& c = dirs[i]->Children[j];
      const std::size_t at = dirAt[i] + ResourceDirectory::Size + ResourceDirectoryEntry::Size * j;
      if (c.Id.IsName()) {
        const auto& [name, nameAt] = names[nameIndex++];
        Wr32(out, at + ResourceDirectoryEntry::Name, 0x80000000 | nameAt);
        Wr16(out, nameAt + ResourceString::Length, static_cast<std::uint32_t>(name.size()));
        for (std::size_t k = 0; k < name.size(); ++k)
          Wr16(out, nameAt + ResourceString::Units + 2 * k, name[k]);
      } else {
        Wr32(out, at + ResourceDirectoryEntry::Name, c.Id.Id);
      }
      const auto sub = std::find(dirs.begin(), dirs.end(), &c);
      Wr32(out, at + ResourceDirectoryEntry::OffsetToData,
           c.Leaf >= 0 ? entries + ResourceDataEntry::Size * c.Leaf : 0x80000000 | dirAt[sub - dirs.begin()]);
    }
  }
  for (std::size_t i = 0; i < leaves.size(); ++i) {
    const std::size_t entry = entries + ResourceDataEntry::Size * i;
    Wr32(out, entry + ResourceDataEntry::DataRva, rva + dataAt[i]);
    Wr32(out, entry + ResourceDataEntry::DataSize, static_cast<std::uint32_t>(leaves[i].Data.size()));
    Wr32(out, entry + ResourceDataEntry::CodePage, leaves[i].CodePage);
    std::copy(leaves[i].Data.begin(), leaves[i].Data.end(), out.begin() + dataAt[i]);
  }
  return out;
}

struct TestSection {
  std::string Name;
  Bytes Data;  // ignored for .rsrc, which holds the encoded resources
  std::uint32_t Flags;
};

// A PE32+ image of these sections, laid out back to back; .rsrc and .reloc
// get their data directories, and the checksum is valid.
Bytes BuildImage(const std::vector<TestSection>& sections, const std::vector<TResource>& resources) {
  Bytes image(kHeaders);
  image[0] = 'M';
  image[1] = 'Z';
  Wr32(image, DosHeader::NewHeaderPointer, kPe);
  Wr32(image, kPe, PeSignature);
  Wr16(image, kFileHeader + FileHeader::Machine, 0x8664);
  Wr16(image, kFileHeader + FileHeader::NumberOfSections, static_cast<std::uint32_t>(sections.size()));
  Wr16(image, kFileHeader + FileHeader::SizeOfOptionalHeader, kOptionalSize);
  Wr16(image, kFileHeader + FileHeader::Characteristics, 0x22);
  Wr16(image, kOptional + OptionalHeader::Magic, OptionalHeader::Pe32PlusMagic);
  Wr32(image, kOptional + OptionalHeader::AddressOfEntryPoint, 0x1000);
  Wr32(image, kOptional + OptionalHeader::SectionAlignment, kSectionAlign);
  Wr32(image, kOptional + OptionalHeader::FileAlignment, kFileAlign);
  Wr32(image, kOptional + OptionalHeader::SizeOfHeaders, kHeaders);
  Wr32(image, kOptional + OptionalHeader::NumberOfRvaAndSizes, DataDirectory::MaxCount);
  std::uint32_t rva = kSectionAlign, initialized = 0;
  for (std::size_t i = 0; i < sections.size(); ++i) {
    const TestSection& s = sections[i];
    const Bytes data = s.Name == ".rsrc" ? EncodeTree(resources, rva) : s.Data;
    const unsigned index = static_cast<unsigned>(i);
    std::copy(s.Name.begin(), s.Name.end(), image.begin() + SectionField(index, SectionHeader::Name));
    Wr32(image, SectionField(index, SectionHeader::VirtualSize), static_cast<std::uint32_t>(data.size()));
    Wr32(image, SectionField(index, SectionHeader::VirtualAddress), rva);
    Wr32(image, SectionField(index, SectionHeader::SizeOfRawData), Align(data.size(), kFileAlign));
    Wr32(image, SectionField(index, SectionHeader::PointerToRawData), static_cast<std::uint32_t>(image.size()));
    Wr32(image, SectionField(index, SectionHeader::Characteristics), s.Flags);
    if (s.Flags & SectionHeader::InitializedData)
      initialized += Align(data.size(), kFileAlign);
    if (s.Name == ".rsrc" || s.Name == ".reloc") {
      const unsigned d = s.Name == ".rsrc" ? DataDirectory::Resource : DataDirectory::BaseRelocation;
      Wr32(image, DirectoryField(d, DataDirectory::VirtualAddress), rva);
      Wr32(image, DirectoryField(d, DataDirectory::DataSize), static_cast<std::uint32_t>(data.size()));
    }
    image.insert(image.end(), data.begin(), data.end());
    image.resize(Align(image.size(), kFileAlign));
    rva = Align(rva + data.size(), kSectionAlign);
  }
  Wr32(image, kOptional + OptionalHeader::SizeOfInitializedData, initialized);
  Wr32(image, kOptional + OptionalHeader::SizeOfImage, rva);
  Wr32(image, kChecksumAt, ReferenceChecksum(image, kChecksumAt));
  return image;
}

TResource Res(TResourceId type, TResourceId name, std::uint16_t language, Bytes data) {
  return {std::move(type), std::move(name), language, 0, std::move(data)};
}

Bytes EncodeVersionBlock(const std::u16string& key, const Bytes& value, bool text, const std::vector<Bytes>& children) {
  Bytes b(VersionBlock::Key);
  for (char16_t c : key + u'\0')
    b.insert(b.end(), {static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8)});
  b.resize(Align(b.size(), 4));
  b.insert(b.end(), value.begin(), value.end());
  for (const Bytes& c : children) {
    b.resize(Align(b.size(), 4));
    b.insert(b.end(), c.begin(), c.end());
  }
  Wr16(b, VersionBlock::Length, static_cast<std::uint32_t>(b.size()));
  Wr16(b, VersionBlock::ValueLength, static_cast<std::uint32_t>(text ? value.size() / 2 : value.size()));
  Wr16(b, VersionBlock::Type, text ? VersionBlock::TextType : 0);
  return b;
}
Bytes VersionString(const std::u16string& key, const std::u16string& value) {
  Bytes v;
  for (char16_t c : value + u'\0')
    v.insert(v.end(), {static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8)});
  return EncodeVersionBlock(key, v, true, {});
}
Bytes VersionInfo() {
  return EncodeVersionBlock(
      u"VS_VERSION_INFO", Bytes(52, 0xEE), false,
      {EncodeVersionBlock(u"StringFileInfo", {}, true,
                          {EncodeVersionBlock(u"040904B0", {}, true,
                                              {VersionString(u"FileDescription", u"Écran \u2603 \U0001F600"),
                                               VersionString(u"ProductName", u"InstallerWin")})}),
       EncodeVersionBlock(u"VarFileInfo", {}, true, {})});
}

// A DIB icon image: its BITMAPINFOHEADER (height doubled for the mask) and pixels.
Bytes DibImage(int size, unsigned seed) {
  Bytes b = Pattern(BitmapInfoHeader::Size + size * size * 4 + size * size / 8, seed);
  Wr32(b, BitmapInfoHeader::HeaderSize, BitmapInfoHeader::Size);
  Wr32(b, BitmapInfoHeader::Width, size);
  Wr32(b, BitmapInfoHeader::Height, 2 * size);
  Wr16(b, BitmapInfoHeader::Planes, 1);
  Wr16(b, BitmapInfoHeader::BitCount, 32);
  return b;
}
// A PNG icon image: the signature, then the header chunk (its 13 bytes and checksum left as noise).
Bytes PngImage(unsigned seed) {
  Bytes b = Pattern(200, seed);
  const std::uint8_t start[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
  std::copy(std::begin(start), std::end(start), b.begin());
  return b;
}
Bytes GroupDirectory(const std::vector<std::uint16_t>& ids) {
  Bytes g(IconDirectory::Size + GroupIconEntry::Size * ids.size());
  Wr16(g, IconDirectory::Type, IconDirectory::IconType);
  Wr16(g, IconDirectory::Count, static_cast<std::uint32_t>(ids.size()));
  for (std::size_t i = 0; i < ids.size(); ++i)
    Wr16(g, IconDirectory::Size + GroupIconEntry::Size * i + GroupIconEntry::Id, ids[i]);
  return g;
}

const TResourceId kExeFile = TResourceId::Named("EXEFILE");

// Resources in the order a linker might meet them: names among numbers,
// languages and types out of order.
std::vector<TResource> SampleResources() {
  return {Res(TResourceId::Number(RtRcData), TResourceId::Named("TINSTALLERFORM"), 1033, Pattern(3000, 1)),
          Res(kExeFile, TResourceId::Named("SKINRES"), 1033, Pattern(82, 2)),
          Res(TResourceId::Number(RtIcon), TResourceId::Number(2), 1033, DibImage(16, 3)),
          Res(TResourceId::Number(RtIcon), TResourceId::Number(1), 1033, DibImage(32, 4)),
          Res(TResourceId::Number(RtGroupIcon), TResourceId::Named("MAINICON"), 1033, GroupDirectory({1, 2})),
          Res(TResourceId::Number(RtVersion), TResourceId::Number(1), 1033, VersionInfo()),
          Res(TResourceId::Number(RtRcData), TResourceId::Named("TINSTALLERFORM"), 7, Pattern(5, 5)),
          Res(TResourceId::Number(RtRcData), TResourceId::Named("ALPHA"), 0, Pattern(1, 6)),
          Res(kExeFile, TResourceId::Number(300), 1033, Pattern(17, 7)),
          Res(TResourceId::Number(RtManifest), TResourceId::Number(1), 1033, Pattern(1087, 8))};
}

std::vector<TestSection> SampleSections() {
  return {{".text", Pattern(0x1234, 10), kCodeSection},
          {".rdata", Pattern(0x800, 11), 0x40000040},
          {".rsrc", {}, kDataSection},
          {".reloc", Pattern(0x998, 12), kRelocSection}};
}

Bytes SampleImage() { return BuildImage(SampleSections(), SampleResources()); }

bool SameResource(const TResource& a, const TResource& b) {
  return a.Type.IsName() == b.Type.IsName() && a.Type.Name == b.Type.Name && a.Type.Id == b.Type.Id &&
         a.Name.IsName() == b.Name.IsName() && a.Name.Name == b.Name.Name && a.Name.Id == b.Name.Id &&
         a.Language == b.Language && a.CodePage == b.CodePage && a.Data == b.Data;
}

// Every resource of `want` is found in `have` with the same bytes, and nothing else is there.
void ExpectSameResources(const std::vector<TResource>& have, const std::vector<TResource>& want) {
  ASSERT_EQ(have.size(), want.size());
  for (const TResource& w : want)
    EXPECT_EQ(std::count_if(have.begin(), have.end(), [&](const TResource& h) { return SameResource(h, w); }), 1);
}

// The rules the loader's lookups rely on, checked on the stored tree: in each
// directory the names first and sorted, then ids ascending; entries and data
// aligned; data inside the section. Returns the number of leaves.
int CheckTreeRules(const Bytes& image, unsigned rsrcIndex) {
  const SectionInfo s = Section(image, rsrcIndex);
  const auto at = [&](std::uint32_t offset) { return s.RawPointer + offset; };
  auto name = [&](std::uint32_t offset) {
    std::u16string n(Rd16(image, at(offset) + ResourceString::Length), u'\0');
    for (std::size_t i = 0; i < n.size(); ++i)
      n[i] = static_cast<char16_t>(Rd16(image, at(offset) + ResourceString::Units + 2 * i));
    return n;
  };
  int leaves = 0;
  std::function<void(std::uint32_t, int)> walk = [&](std::uint32_t dir, int level) {
    EXPECT_EQ(dir % 4, 0u);
    const unsigned named = Rd16(image, at(dir) + ResourceDirectory::NumberOfNamedEntries);
    const unsigned ids = Rd16(image, at(dir) + ResourceDirectory::NumberOfIdEntries);
    const auto entry = [&](unsigned i) { return at(dir) + ResourceDirectory::Size + ResourceDirectoryEntry::Size * i; };
    for (unsigned i = 0; i < named + ids; ++i) {
      const std::uint32_t id = Rd32(image, entry(i) + ResourceDirectoryEntry::Name),
                          target = Rd32(image, entry(i) + ResourceDirectoryEntry::OffsetToData);
      EXPECT_EQ((id >> 31) != 0, i < named) << "entry " << i << " at level " << level;
      if (i > 0 && i < named) {
        EXPECT_LT(name(Rd32(image, entry(i - 1) + ResourceDirectoryEntry::Name) & 0x7FFFFFFF), name(id & 0x7FFFFFFF));
      } else if (i > named) {
        EXPECT_LT(Rd32(image, entry(i - 1) + ResourceDirectoryEntry::Name), id);
      }
      EXPECT_EQ((target >> 31) != 0, level < 2);
      if (level < 2) {
        walk(target & 0x7FFFFFFF, level + 1);
        continue;
      }
      ++leaves;
      EXPECT_EQ(target % 4, 0u);
      const std::uint32_t dataRva = Rd32(image, at(target) + ResourceDataEntry::DataRva),
                          size = Rd32(image, at(target) + ResourceDataEntry::DataSize);
      EXPECT_EQ(dataRva % 8, 0u);
      EXPECT_GE(dataRva, s.Rva);
      EXPECT_LE(dataRva + size, s.Rva + s.VirtualSize);
    }
  };
  walk(0, 0);
  return leaves;
}

TEST(PeImage, ReadsTheStoredTreeAndFindsResourcesWithoutRegardToCase) {
  const TPeImage image = TPeImage::Parse(SampleImage());
  ExpectSameResources(image.Resources(), SampleResources());
  const TResource* form = image.Find(TResourceId::Number(RtRcData), TResourceId::Named("tInstallerForm"));
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(form->Language, 1033);
  EXPECT_EQ(form->Data, Pattern(3000, 1));
  EXPECT_NE(image.Find(TResourceId::Named("exefile"), TResourceId::Number(300)), nullptr);
  EXPECT_EQ(image.Find(TResourceId::Number(RtRcData), TResourceId::Named("SKINRES")), nullptr);
  EXPECT_EQ(image.Find(TResourceId::Number(RtRcData), TResourceId::Number(1)), nullptr);
  EXPECT_EQ(image.OverlaySize(), 0u);
  EXPECT_FALSE(image.HasCertificateTable());
  EXPECT_EQ(TResourceId::Named("Skin_Res").Name, u"SKIN_RES");
  EXPECT_THROW(TResourceId::Named(""), EPeError);
  EXPECT_THROW(TResourceId::Named("caf\xC3\xA9"), EPeError);

  // Another linker may store a name in lower case: the loader still finds it, and so does Find.
  auto resources = SampleResources();
  resources[1].Name.Name = u"skinres";
  const TPeImage lower = TPeImage::Parse(BuildImage(SampleSections(), resources));
  const TResource* skin = lower.Find(kExeFile, TResourceId::Named("SkinRes"));
  ASSERT_NE(skin, nullptr);
  EXPECT_EQ(skin->Name.Name, u"skinres");
  EXPECT_TRUE(TResourceId::Named("SKINRES").Matches(skin->Name));
  EXPECT_FALSE(TResourceId::Named("SKINRE").Matches(skin->Name));
}

TEST(PeImage, MessagesQuoteOnlyPrintableAscii) {
  // Printable ASCII is 0x20 to 0x7E: DEL and the controls are not.
  EXPECT_EQ(Printable(u" ~\x7F\x1F."), " ~??.");
  EXPECT_EQ(Printable(std::u16string{0x80, 0xFF, 0xD83D, 0xDE00, u'a', 0xD83D}), "???a?");
  Bytes image = SampleImage();
  image[SectionField(3, SectionHeader::Name) + 1] = 0x7F;
  image[SectionField(3, SectionHeader::Name) + 2] = 0x7E;
  Wr32(image, SectionField(3, SectionHeader::SizeOfRawData), 0x10000);
  try {
    TPeImage::Parse(image);
    ADD_FAILURE() << "parsed";
  } catch (const EPeError& e) {
    EXPECT_STREQ(e.what(), "section .?~loc lies past the end of the file");
  }
}

TEST(PeImage, UnchangedResourcesSurviveARewriteByteForByteInASortedTree) {
  const Bytes original = SampleImage();
  const Bytes written = TPeImage::Parse(original).Write();
  EXPECT_EQ(CheckTreeRules(written, 2), 10);
  const TPeImage reread = TPeImage::Parse(written);
  ExpectSameResources(reread.Resources(), SampleResources());
  // Written once, the tree is in its final order: a second rewrite changes nothing.
  EXPECT_EQ(reread.Write(), written);
  // The sections before the resource section are untouched, headers and data.
  const auto same = [&](std::size_t from, std::size_t to) {
    return std::equal(written.begin() + from, written.begin() + to, original.begin() + from);
  };
  EXPECT_TRUE(same(kTable, SectionField(2, 0)));
  EXPECT_TRUE(same(kHeaders, Section(original, 2).RawPointer));
  EXPECT_EQ(Rd32(written, kChecksumAt), ReferenceChecksum(written, kChecksumAt));
}

TEST(PeImage, AResizedResourceSectionMovesTheSectionAfterItAndItsDirectory) {
  const Bytes original = SampleImage();
  const SectionInfo rsrc = Section(original, 2), reloc = Section(original, 3);
  const Bytes relocBytes(original.begin() + reloc.RawPointer, original.begin() + reloc.RawPointer + 0x998);
  const std::uint32_t initialized = Rd32(original, kOptional + OptionalHeader::SizeOfInitializedData);
  for (std::size_t formSize : {std::size_t{200000}, std::size_t{1}, std::size_t{3000 + 0x2000}}) {
    SCOPED_TRACE("form of " + std::to_string(formSize) + " bytes");
    TPeImage image = TPeImage::Parse(original);
    image.Find(TResourceId::Number(RtRcData), TResourceId::Named("TINSTALLERFORM"))->Data = Pattern(formSize, 9);
    const Bytes written = image.Write();
    const SectionInfo newRsrc = Section(written, 2), newReloc = Section(written, 3);
    EXPECT_EQ(newRsrc.Rva, rsrc.Rva);
    EXPECT_EQ(newRsrc.RawPointer, rsrc.RawPointer);
    EXPECT_EQ(newRsrc.RawSize, Align(newRsrc.VirtualSize, kFileAlign));
    EXPECT_EQ(Directory(written, DataDirectory::Resource, DataDirectory::VirtualAddress), rsrc.Rva);
    EXPECT_EQ(Directory(written, DataDirectory::Resource, DataDirectory::DataSize), newRsrc.VirtualSize);
    EXPECT_EQ(newReloc.Rva, Align(rsrc.Rva + newRsrc.VirtualSize, kSectionAlign));
    EXPECT_EQ(newReloc.RawPointer, rsrc.RawPointer + newRsrc.RawSize);
    EXPECT_EQ(newReloc.VirtualSize, reloc.VirtualSize);
    EXPECT_EQ(newReloc.RawSize, reloc.RawSize);
    EXPECT_EQ(Directory(written, DataDirectory::BaseRelocation, DataDirectory::VirtualAddress), newReloc.Rva);
    EXPECT_EQ(Directory(written, DataDirectory::BaseRelocation, DataDirectory::DataSize), 0x998u);
    EXPECT_EQ(Bytes(written.begin() + newReloc.RawPointer, written.begin() + newReloc.RawPointer + 0x998), relocBytes);
    EXPECT_EQ(written.size(), newReloc.RawPointer + newReloc.RawSize);
    EXPECT_EQ(Rd32(written, kOptional + OptionalHeader::SizeOfImage),
              Align(newReloc.Rva + newReloc.VirtualSize, kSectionAlign));
    EXPECT_EQ(Rd32(written, kOptional + OptionalHeader::SizeOfInitializedData),
              initialized - rsrc.RawSize + newRsrc.RawSize);
    EXPECT_EQ(Rd32(written, kChecksumAt), ReferenceChecksum(written, kChecksumAt));
    auto want = SampleResources();
    want[0].Data = Pattern(formSize, 9);
    ExpectSameResources(TPeImage::Parse(written).Resources(), want);
  }
  // With nothing after the resource section, it simply grows.
  auto sections = SampleSections();
  sections.pop_back();
  TPeImage last = TPeImage::Parse(BuildImage(sections, SampleResources()));
  last.Find(kExeFile, TResourceId::Named("SKINRES"))->Data = Pattern(70000, 3);
  const Bytes written = last.Write();
  EXPECT_EQ(written.size(), Section(written, 2).RawPointer + Section(written, 2).RawSize);
  EXPECT_EQ(Rd32(written, kOptional + OptionalHeader::SizeOfImage),
            Align(Section(written, 2).Rva + Section(written, 2).VirtualSize, kSectionAlign));
  EXPECT_EQ(TPeImage::Parse(written).Find(kExeFile, TResourceId::Named("SKINRES"))->Data, Pattern(70000, 3));
}

TEST(PeImage, ChecksumMatchesTheDocumentedAlgorithm) {
  std::mt19937 rng(1208);
  for (std::size_t size : {0x100, 0x101, 0x102, 0x103, 0x4001}) {
    Bytes file = Pattern(size, static_cast<unsigned>(rng()));
    for (auto& b : file)
      b = static_cast<std::uint8_t>(b ^ rng());
    EXPECT_EQ(PeChecksum(file, 0xD8), ReferenceChecksum(file, 0xD8)) << size;
  }
  // All ones: every fold carries.
  const Bytes ones(0x1000, 0xFF);
  EXPECT_EQ(PeChecksum(ones, 0x40), ReferenceChecksum(ones, 0x40));
}

TEST(PeImage, VersionStringsAreReadFromTheStringTable) {
  const TPeImage image = TPeImage::Parse(SampleImage());
  EXPECT_EQ(image.VersionString("ProductName"), "InstallerWin");
  // Quoted in one-line messages: anything but printable ASCII is a '?', one per character.
  EXPECT_EQ(image.VersionString("FileDescription"), "?cran ? ?");
  EXPECT_EQ(image.VersionString("CompanyName"), "");
  EXPECT_EQ(image.VersionString("040904B0"), "");
  // A cut anywhere leaves blocks longer than what holds them: no strings, and no reads past the end.
  TPeImage cut = TPeImage::Parse(SampleImage());
  TResource* version = cut.Find(TResourceId::Number(RtVersion), TResourceId::Number(1));
  const Bytes whole = version->Data;
  for (std::size_t size = 0; size < whole.size(); ++size) {
    version->Data.assign(whole.begin(), whole.begin() + size);
    ASSERT_EQ(cut.VersionString("ProductName"), "") << size;
  }
  // Damage is read or ignored, never read past; the fixed file information is skipped, not read.
  std::mt19937 rng(16);
  for (int round = 0; round < 3000; ++round) {
    version->Data = whole;
    const std::size_t at = rng() % whole.size();
    version->Data[at] = static_cast<std::uint8_t>(version->Data[at] ^ (1 + rng() % 255));
    const std::string value = cut.VersionString("ProductName");
    if (at >= 40 && at < 40 + 52) {
      ASSERT_EQ(value, "InstallerWin") << at;
    }
  }
}

// A damaged copy of the sample image: `change` edits it given the resource section's file offset.
Bytes Damaged(const std::function<void(Bytes&, std::uint32_t)>& change) {
  Bytes image = SampleImage();
  change(image, Section(image, 2).RawPointer);
  return image;
}

std::string ParseError(const Bytes& image) {
  try {
    TPeImage::Parse(image);
  } catch (const EPeError& e) {
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
      {"header pointer past the end", [](Bytes& b, std::uint32_t) { Wr32(b, DosHeader::NewHeaderPointer, 0xFFFFFFF0); },
       "truncated headers"},
      {"PE32", [](Bytes& b, std::uint32_t) { Wr16(b, kOptional + OptionalHeader::Magic, 0x10B); },
       "not a 64-bit (PE32+) image"},
      {"file alignment 3", [](Bytes& b, std::uint32_t) { Wr32(b, kOptional + OptionalHeader::FileAlignment, 3); },
       "bad section or file alignment"},
      {"sections overrun the headers",
       [](Bytes& b, std::uint32_t) { Wr16(b, kFileHeader + FileHeader::NumberOfSections, 40); }, "truncated headers"},
      {"section past the end",
       [](Bytes& b, std::uint32_t) {
         Wr32(b, SectionField(3, SectionHeader::SizeOfRawData), 0x10000);
         b[SectionField(3, SectionHeader::Name) + 2] = '\n';
       },
       "section .r?loc lies past the end of the file"},
      {"sections overlap",
       [](Bytes& b, std::uint32_t) { Wr32(b, SectionField(1, SectionHeader::VirtualAddress), 0x1000); },
       "sections overlap or are out of order"},
      {"no resources",
       [](Bytes& b, std::uint32_t) { Wr32(b, DirectoryField(DataDirectory::Resource, DataDirectory::DataSize), 0); },
       "the image has no resources"},
      {"resources inside a section",
       [](Bytes& b, std::uint32_t) {
         Wr32(b, DirectoryField(DataDirectory::Resource, DataDirectory::VirtualAddress),
              Directory(b, DataDirectory::Resource) + 16);
       },
       "the resource directory does not start a section"},
      {"code after the resources",
       [](Bytes& b, std::uint32_t) { Wr32(b, SectionField(3, SectionHeader::Characteristics), kCodeSection); },
       "section .reloc follows the resources and cannot be moved"},
      {"imports after the resources",
       [](Bytes& b, std::uint32_t) {
         Wr32(b, DirectoryField(1, DataDirectory::VirtualAddress), Directory(b, DataDirectory::BaseRelocation));
         Wr32(b, DirectoryField(1, DataDirectory::DataSize), 8);
       },
       "data directory 1 lies in or after the resource section"},
      {"entry point in the resources",
       [](Bytes& b, std::uint32_t) {
         Wr32(b, kOptional + OptionalHeader::AddressOfEntryPoint, Directory(b, DataDirectory::Resource) + 4);
       },
       "the entry point lies in or after the resource section"},
      {"type directory past the section",
       [](Bytes& b, std::uint32_t r) {
         Wr32(b, EntryField(r, 0, ResourceDirectoryEntry::OffsetToData), 0x80000000 | 0x7FFF0);
       },
       "a resource directory lies past the end of its section"},
      {"subdirectory back to the root",
       [](Bytes& b, std::uint32_t r) { Wr32(b, EntryField(r, 0, ResourceDirectoryEntry::OffsetToData), 0x80000000); },
       "the resource tree has a loop"},
      {"two types share a directory",
       [](Bytes& b, std::uint32_t r) {
         Wr32(b, EntryField(r, 1, ResourceDirectoryEntry::OffsetToData),
              Rd32(b, EntryField(r, 0, ResourceDirectoryEntry::OffsetToData)));
       },
       "the resource tree has a loop"},
      {"a type entry is a leaf",
       [](Bytes& b, std::uint32_t r) {
         Wr32(b, EntryField(r, 0, ResourceDirectoryEntry::OffsetToData),
              Rd32(b, EntryField(r, 0, ResourceDirectoryEntry::OffsetToData)) & 0x7FFFFFFF);
       },
       "a resource type entry is not a directory"},
      {"name past the section",
       [](Bytes& b, std::uint32_t r) {
         Wr32(b, EntryField(r, 0, ResourceDirectoryEntry::Name), 0x80000000 | 0x7FFFFF);
       },
       "a resource name lies past the end of its section"},
      {"empty name",
       [](Bytes& b, std::uint32_t r) {
         Wr16(b, r + (Rd32(b, EntryField(r, 1, ResourceDirectoryEntry::Name)) & 0x7FFFFFFF) + ResourceString::Length,
              0);
       },
       "a resource name is empty"},
      {"id above 65535",
       [](Bytes& b, std::uint32_t r) { Wr32(b, EntryField(r, 3, ResourceDirectoryEntry::Name), 0x10003); },
       "a resource id is out of range"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ParseError(Damaged(c.change)), c.error) << c.what;

  // The leaves, in a rewritten tree: the first type, name and language lead to EXEFILE/SKINRES,
  // whose data entry is followed by EXEFILE/300's.
  const Bytes written = TPeImage::Parse(SampleImage()).Write();
  const std::uint32_t rsrc = Section(written, 2).RawPointer, rva = Section(written, 2).Rva;
  const auto target = [&](std::uint32_t directory) {
    return Rd32(written, EntryField(rsrc + directory, 0, ResourceDirectoryEntry::OffsetToData));
  };
  const std::uint32_t names = target(0) & 0x7FFFFFFF, languages = target(names) & 0x7FFFFFFF, entry = target(languages);
  const struct {
    const char* what;
    std::function<void(Bytes&)> change;
    const char* error;
  } leaves[] = {
      {"data before the section", [&](Bytes& b) { Wr32(b, rsrc + entry + ResourceDataEntry::DataRva, rva - 4); },
       "resource data lies outside the resource section"},
      {"data past the section", [&](Bytes& b) { Wr32(b, rsrc + entry + ResourceDataEntry::DataSize, 0x10000000); },
       "resource data lies outside the resource section"},
      {"data overlapping",
       [&](Bytes& b) {
         Wr32(b, rsrc + entry + ResourceDataEntry::DataRva,
              Rd32(b, rsrc + entry + ResourceDataEntry::Size + ResourceDataEntry::DataRva));
       },
       "resource data overlaps"},
      {"a fourth level",
       [&](Bytes& b) {
         Wr32(b, EntryField(rsrc + languages, 0, ResourceDirectoryEntry::OffsetToData), 0x80000000 | names);
       },
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

// Each refusal next to the nearest image that is still taken: the rule holds at its exact edge.
TEST(PeImage, RefusalsLieAtTheirExactEdges) {
  const Bytes sample = SampleImage();
  const SectionInfo rdata = Section(sample, 1), rsrc = Section(sample, 2), reloc = Section(sample, 3);
  const std::uint32_t rsrcEnd = rsrc.Rva + rsrc.VirtualSize;
  // The sections from `first` on moved `by` bytes further into the file.
  const auto shifted = [](Bytes b, unsigned first, std::uint32_t by) {
    const std::uint32_t at = Section(b, first).RawPointer;
    b.insert(b.begin() + at, by, 0);
    for (unsigned i = first; i < 4; ++i)
      Wr32(b, SectionField(i, SectionHeader::PointerToRawData), Section(b, i).RawPointer + by);
    return b;
  };
  const std::uint32_t sectionTableEnd = static_cast<std::uint32_t>(SectionField(4, 0));
  const struct {
    const char* what;
    std::function<void(Bytes&)> taken, refused;
    const char* error;
  } cases[] = {
      {"MZ", [](Bytes&) {}, [](Bytes& b) { b[1] = 'X'; }, "not a program image (no MZ header)"},
      {"section alignment against file alignment",
       [](Bytes& b) { Wr32(b, kOptional + OptionalHeader::SectionAlignment, kFileAlign); },
       [](Bytes& b) { Wr32(b, kOptional + OptionalHeader::SectionAlignment, kFileAlign / 2); },
       "bad section or file alignment"},
      {"section address",
       [&](Bytes& b) { Wr32(b, SectionField(3, SectionHeader::VirtualAddress), reloc.Rva + kSectionAlign); },
       [&](Bytes& b) { Wr32(b, SectionField(3, SectionHeader::VirtualAddress), reloc.Rva + 1); },
       "section .reloc has a bad address"},
      {".rsrc raw pointer", [&](Bytes& b) { b = shifted(b, 2, kFileAlign); }, [&](Bytes& b) { b = shifted(b, 2, 1); },
       "the resource section has no data or is not aligned in the file"},
      {"raw data before .rsrc",
       [&](Bytes& b) { Wr32(b, SectionField(1, SectionHeader::SizeOfRawData), rsrc.RawPointer - rdata.RawPointer); },
       [&](Bytes& b) {
         Wr32(b, SectionField(1, SectionHeader::SizeOfRawData), rsrc.RawPointer - rdata.RawPointer + 1);
       },
       "the sections are not in file order"},
      {"relocations after .rsrc",
       [&](Bytes& b) {
         Wr32(b, DirectoryField(DataDirectory::BaseRelocation, DataDirectory::VirtualAddress), rsrcEnd);
       },
       [&](Bytes& b) {
         Wr32(b, DirectoryField(DataDirectory::BaseRelocation, DataDirectory::VirtualAddress), rsrcEnd - 1);
       },
       "data directory 5 lies in or after the resource section"},
      {"a directory ending where .rsrc starts",
       [&](Bytes& b) {
         Wr32(b, DirectoryField(1, DataDirectory::VirtualAddress), rsrc.Rva - 8);
         Wr32(b, DirectoryField(1, DataDirectory::DataSize), 8);
       },
       [&](Bytes& b) {
         Wr32(b, DirectoryField(1, DataDirectory::VirtualAddress), rsrc.Rva - 8);
         Wr32(b, DirectoryField(1, DataDirectory::DataSize), 9);
       },
       "data directory 1 lies in or after the resource section"},
      {"a directory starting where .rsrc starts",
       [&](Bytes& b) {
         Wr32(b, DirectoryField(1, DataDirectory::VirtualAddress), rsrc.Rva - 1);
         Wr32(b, DirectoryField(1, DataDirectory::DataSize), 1);
       },
       [&](Bytes& b) {
         Wr32(b, DirectoryField(1, DataDirectory::VirtualAddress), rsrc.Rva);
         Wr32(b, DirectoryField(1, DataDirectory::DataSize), 1);
       },
       "data directory 1 lies in or after the resource section"},
      {"section table against SizeOfHeaders",
       [&](Bytes& b) { Wr32(b, kOptional + OptionalHeader::SizeOfHeaders, sectionTableEnd); },
       [&](Bytes& b) { Wr32(b, kOptional + OptionalHeader::SizeOfHeaders, sectionTableEnd - SectionHeader::Size); },
       "truncated headers"},
      {"section table a byte past SizeOfHeaders",
       [&](Bytes& b) { Wr32(b, kOptional + OptionalHeader::SizeOfHeaders, sectionTableEnd); },
       [&](Bytes& b) { Wr32(b, kOptional + OptionalHeader::SizeOfHeaders, sectionTableEnd - 1); }, "truncated headers"},
      {"raw data against the end of the file",
       [&](Bytes& b) {
         Wr32(b, SectionField(3, SectionHeader::SizeOfRawData),
              static_cast<std::uint32_t>(b.size()) - reloc.RawPointer);
       },
       [&](Bytes& b) {
         Wr32(b, SectionField(3, SectionHeader::SizeOfRawData),
              static_cast<std::uint32_t>(b.size()) - reloc.RawPointer + 1);
       },
       "section .reloc lies past the end of the file"},
  };
  for (const auto& c : cases) {
    Bytes taken = sample, refused = sample;
    c.taken(taken);
    c.refused(refused);
    EXPECT_EQ(ParseError(taken), "(parsed)") << c.what;
    EXPECT_EQ(ParseError(refused), c.error) << c.what;
  }

  // The tree of a rewritten image, whose data lie back to back in the order of the data entries,
  // the last one ending exactly at the section's VirtualSize.
  const Bytes written = TPeImage::Parse(sample).Write();
  const SectionInfo s = Section(written, 2);
  const auto target = [&](std::uint32_t directory) {
    return Rd32(written, EntryField(s.RawPointer + directory, 0, ResourceDirectoryEntry::OffsetToData));
  };
  const std::uint32_t names = target(0) & 0x7FFFFFFF, languages = target(names) & 0x7FFFFFFF;
  const std::size_t first = s.RawPointer + target(languages), second = first + ResourceDataEntry::Size,
                    last = first + ResourceDataEntry::Size * (SampleResources().size() - 1);
  const std::uint32_t gap =
      Rd32(written, second + ResourceDataEntry::DataRva) - Rd32(written, first + ResourceDataEntry::DataRva);
  ASSERT_EQ(Rd32(written, last + ResourceDataEntry::DataRva) + Rd32(written, last + ResourceDataEntry::DataSize),
            s.Rva + s.VirtualSize);
  ASSERT_GT(s.RawSize, s.VirtualSize);  // raw padding follows the tree
  const std::uint32_t lastSize = Rd32(written, last + ResourceDataEntry::DataSize);
  const struct {
    const char* what;
    std::function<void(Bytes&)> taken, refused;
    const char* error;
  } leaves[] = {
      {"data against the next data", [&](Bytes& b) { Wr32(b, first + ResourceDataEntry::DataSize, gap); },
       [&](Bytes& b) { Wr32(b, first + ResourceDataEntry::DataSize, gap + 1); }, "resource data overlaps"},
      {"data against the raw padding", [](Bytes&) {},
       [&](Bytes& b) { Wr32(b, last + ResourceDataEntry::DataSize, lastSize + 1); },
       "resource data lies outside the resource section"},
      {"a leaf at the name level", [](Bytes&) {},
       [&](Bytes& b) { Wr32(b, EntryField(s.RawPointer + names, 0, ResourceDirectoryEntry::OffsetToData), languages); },
       "a resource name entry is not a directory"},
  };
  for (const auto& c : leaves) {
    Bytes taken = written, refused = written;
    c.taken(taken);
    c.refused(refused);
    EXPECT_EQ(ParseError(taken), "(parsed)") << c.what;
    EXPECT_EQ(ParseError(refused), c.error) << c.what;
  }
}

// Directories whose entries overlap one another could hold more entries than the section has room
// for. Here the root fills its section with entries, and the directory of its first type starts
// inside the root's first entry, its entry count being that entry's id.
TEST(PeImage, OverlappingResourceDirectoriesAreRefused) {
  Bytes image =
      BuildImage(SampleSections(), {Res(TResourceId::Number(RtRcData), TResourceId::Number(1), 0, Bytes(4000))});
  const SectionInfo rsrc = Section(image, 2);
  const std::uint32_t r = rsrc.RawPointer, size = rsrc.VirtualSize;
  // Directories must start on no boundary: this one lies 4 bytes in, its counts in the root's first entry's id.
  const std::uint32_t inner = ResourceDirectoryEntry::Size / 2;
  const std::uint32_t rootEntries = (size - ResourceDirectory::Size) / ResourceDirectoryEntry::Size;
  const auto build = [&](std::uint32_t innerEntries) {
    Bytes b = image;
    std::fill_n(b.begin() + r, rsrc.RawSize, 0);
    Wr16(b, r + ResourceDirectory::NumberOfIdEntries, rootEntries);
    for (std::uint32_t i = 0; i < rootEntries; ++i)
      Wr32(b, EntryField(r, i, ResourceDirectoryEntry::OffsetToData), 0x80000000 | inner);
    ASSERT_EQ(inner + ResourceDirectory::NumberOfNamedEntries, EntryField(0, 0, ResourceDirectoryEntry::Name));
    Wr32(b, EntryField(r, 0, ResourceDirectoryEntry::Name), innerEntries);
    image.swap(b);
  };
  const Bytes original = image;
  // One entry more than the section has room for, counting both directories.
  const std::uint32_t tooMany = size / ResourceDirectoryEntry::Size + 1 - rootEntries;
  ASSERT_LE(inner + ResourceDirectory::Size + ResourceDirectoryEntry::Size * tooMany, size);
  build(tooMany);
  EXPECT_EQ(ParseError(image), "resource directories overlap");
  // As many as it has room for pass that count, and fail on what the entries hold.
  image = original;
  build(tooMany - 1);
  const std::string edge = ParseError(image);
  EXPECT_NE(edge, "resource directories overlap");
  EXPECT_NE(edge, "(parsed)");
}

TEST(PeImage, ManyEntriesNamingOneLongNameAreRefusedBeforeTheyAreCopied) {
  // 6,000 type entries all name one string of 16,000 characters, each with an empty directory
  // of its own (overlapping zeros): no leaves, but 6,000 copies of the name (192 MB) if each
  // entry copied it. The section holds about 86 KB.
  constexpr std::uint32_t kEntries = 6000, kNameLength = 16000;
  constexpr std::uint32_t kName = ResourceDirectory::Size + ResourceDirectoryEntry::Size * kEntries,
                          kEmpty = kName + ResourceString::Units + 2 * kNameLength;
  Bytes image = BuildImage(SampleSections(), {Res(TResourceId::Number(RtRcData), TResourceId::Number(1), 0,
                                                  Bytes(kEmpty + kEntries + ResourceDirectory::Size))});
  const SectionInfo rsrc = Section(image, 2);
  ASSERT_GE(rsrc.VirtualSize, kEmpty + kEntries + ResourceDirectory::Size);
  std::fill_n(image.begin() + rsrc.RawPointer, rsrc.RawSize, 0);
  const std::uint32_t r = rsrc.RawPointer;
  Wr16(image, r + ResourceDirectory::NumberOfNamedEntries, kEntries);
  for (std::uint32_t i = 0; i < kEntries; ++i) {
    Wr32(image, EntryField(r, i, ResourceDirectoryEntry::Name), 0x80000000 | kName);
    Wr32(image, EntryField(r, i, ResourceDirectoryEntry::OffsetToData), 0x80000000 | (kEmpty + i));
  }
  Wr16(image, r + kName + ResourceString::Length, kNameLength);
  for (std::uint32_t c = 0; c < kNameLength; ++c)
    Wr16(image, r + kName + ResourceString::Units + 2 * c, 'A');
  EXPECT_EQ(ParseError(image), "the resource tree is too large for its section");
}

TEST(PeImage, DataPastTheImageOrACertificateStopsTheRewrite) {
  Bytes payload = SampleImage();
  const std::size_t imageSize = payload.size();
  payload.insert(payload.end(), {'M', 'Z', 1, 2, 3});
  const TPeImage appended = TPeImage::Parse(payload);
  EXPECT_EQ(appended.OverlaySize(), 5u);
  EXPECT_FALSE(appended.HasCertificateTable());
  try {
    appended.Write();
    ADD_FAILURE() << "written";
  } catch (const EPeError& e) {
    EXPECT_STREQ(e.what(), "the image has data past its last section (a payload or a signature)");
  }

  Bytes signedImage = SampleImage();
  Wr32(signedImage, DirectoryField(DataDirectory::Security, DataDirectory::VirtualAddress),
       static_cast<std::uint32_t>(imageSize));
  Wr32(signedImage, DirectoryField(DataDirectory::Security, DataDirectory::DataSize), 16);
  signedImage.resize(imageSize + 16, 0x30);
  const TPeImage withCertificate = TPeImage::Parse(signedImage);
  EXPECT_TRUE(withCertificate.HasCertificateTable());
  EXPECT_EQ(withCertificate.OverlaySize(), 16u);
  try {
    withCertificate.Write();
    ADD_FAILURE() << "written";
  } catch (const EPeError& e) {
    EXPECT_STREQ(e.what(), "the image is signed; its resources can only be changed before signing");
  }

  // A linker may leave the last section's raw size unaligned and pad with zeros: that is no overlay.
  Bytes padded = SampleImage();
  Wr32(padded, SectionField(3, SectionHeader::SizeOfRawData), 0x998);
  EXPECT_EQ(TPeImage::Parse(padded).OverlaySize(), 0u);
  EXPECT_NO_THROW(TPeImage::Parse(padded).Write());
  padded.back() = 1;
  EXPECT_EQ(TPeImage::Parse(padded).OverlaySize(), Align(0x998, kFileAlign) - 0x998);

  TPeImage twice = TPeImage::Parse(SampleImage());
  twice.Resources().push_back(twice.Resources().front());
  EXPECT_THROW(twice.Write(), EPeError);
}

TEST(PeImage, RandomlyDamagedImagesAreReadOrRefusedAndWhatIsReadRebuildsFaithfully) {
  std::mt19937 rng(20261208);
  const Bytes good = SampleImage();
  const std::uint32_t rsrc = Section(good, 2).RawPointer, rsrcSize = Section(good, 2).VirtualSize;
  int refused = 0, rebuilt = 0;
  for (int round = 0; round < 4000; ++round) {
    Bytes file = good;
    for (int hits = 1 + rng() % 6; hits > 0; --hits) {
      // Mostly the tree (its directories and entries especially), sometimes the headers.
      const std::uint32_t at = rng() % 4 == 0 ? rng() % kHeaders : rsrc + rng() % (rng() % 2 ? 0x100 : rsrcSize);
      file[at] =
          rng() % 3 == 0 ? static_cast<std::uint8_t>(file[at] ^ (1u << rng() % 8)) : static_cast<std::uint8_t>(rng());
    }
    SCOPED_TRACE("round " + std::to_string(round));
    std::vector<TResource> read;
    Bytes written;
    try {
      const TPeImage image = TPeImage::Parse(file);
      read = image.Resources();
      image.VersionString("ProductName");
      written = image.Write();
    } catch (const EPeError&) {
      ++refused;
      continue;
    }
    const TPeImage again = TPeImage::Parse(written);
    ASSERT_NO_FATAL_FAILURE(ExpectSameResources(again.Resources(), read));
    ASSERT_EQ(Rd32(written, kChecksumAt), ReferenceChecksum(written, kChecksumAt));
    ++rebuilt;
  }
  // Both outcomes must really have been exercised.
  EXPECT_GT(refused, 1000);
  EXPECT_GT(rebuilt, 1000);
}

TEST(IconFile, MadeFilesParseBackAndBrokenOnesAreRefused) {
  const std::vector<TIconImage> images{{32, 32, 0, 1, 32, DibImage(32, 1)}, {0, 0, 0, 0, 0, PngImage(2)}};
  const Bytes file = MakeIconFile(images);
  EXPECT_EQ(Rd32(file, IconField(0, IconFileEntry::DataOffset)), IconField(2, 0));
  const auto parsed = ParseIconFile(file);
  ASSERT_EQ(parsed.size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(parsed[i].Width, images[i].Width);
    EXPECT_EQ(parsed[i].Height, images[i].Height);
    EXPECT_EQ(parsed[i].Planes, images[i].Planes);
    EXPECT_EQ(parsed[i].BitCount, images[i].BitCount);
    EXPECT_EQ(parsed[i].Data, images[i].Data);
  }
  EXPECT_THROW(MakeIconFile({}), EPeError);

  const std::uint32_t second = Rd32(file, IconField(1, IconFileEntry::DataOffset));
  const struct {
    const char* what;
    std::function<void(Bytes&)> change;
    const char* error;
  } cases[] = {
      {"too short", [](Bytes& b) { b.resize(5); }, "not an icon file"},
      {"a PNG file", [](Bytes& b) { b = PngImage(3); }, "not an icon file"},
      {"a cursor", [](Bytes& b) { Wr16(b, IconDirectory::Type, 2); }, "not an icon file"},
      {"reserved set", [](Bytes& b) { Wr16(b, IconDirectory::Reserved, 1); }, "not an icon file"},
      {"no images", [](Bytes& b) { Wr16(b, IconDirectory::Count, 0); }, "the icon file holds no images"},
      {"directory cut short", [](Bytes& b) { Wr16(b, IconDirectory::Count, 0x1000); },
       "the icon file's directory is cut short"},
      {"empty image", [](Bytes& b) { Wr32(b, IconField(1, IconFileEntry::DataSize), 0); }, "icon image 2 is empty"},
      {"image past the end", [](Bytes& b) { Wr32(b, IconField(1, IconFileEntry::DataSize), 0xFFFFFFF0); },
       "icon image 2 lies outside the file"},
      {"image in the directory",
       [](Bytes& b) { Wr32(b, IconField(0, IconFileEntry::DataOffset), IconDirectory::Size); },
       "icon image 1 lies outside the file"},
      {"not a picture", [](Bytes& b) { b[Rd32(b, IconField(0, IconFileEntry::DataOffset))] = 41; },
       "icon image 1 is neither a bitmap nor a PNG"},
      {"images overlap",
       [&](Bytes& b) {
         Wr32(b, IconField(1, IconFileEntry::DataOffset), second - 16);
         std::copy_n(PngImage(2).begin(), 16, b.begin() + second - 16);
       },
       "icon images 1 and 2 overlap"},
      {"a PNG signature alone", [](Bytes& b) { Wr32(b, IconField(1, IconFileEntry::DataSize), 8); },
       "icon image 2 is a PNG without its header chunk"},
      {"a PNG cut in its header chunk",
       [](Bytes& b) { Wr32(b, IconField(1, IconFileEntry::DataSize), 8 + 8 + 13 + 3); },
       "icon image 2 is a PNG without its header chunk"},
      {"a PNG of another first chunk", [&](Bytes& b) { b[second + 12] = 'i'; },
       "icon image 2 is a PNG without its header chunk"},
      {"a bitmap shorter than its header", [](Bytes& b) { Wr32(b, IconField(0, IconFileEntry::DataSize), 39); },
       "icon image 1 is a bitmap shorter than its 40-byte header"},
      {"a directory cut in its last entry", [](Bytes& b) { b.resize(IconField(2, 0) - 1); },
       "the icon file's directory is cut short"},
      {"a directory without its images", [](Bytes& b) { b.resize(IconField(2, 0)); },
       "icon image 1 lies outside the file"},
  };
  for (const auto& c : cases) {
    Bytes broken = file;
    c.change(broken);
    try {
      ParseIconFile(broken);
      ADD_FAILURE() << c.what << ": parsed";
    } catch (const EPeError& e) {
      EXPECT_STREQ(e.what(), c.error) << c.what;
    }
  }
  // The shortest images taken: a PNG of signature and header chunk, a bitmap of its header alone.
  Bytes shortest = file;
  Wr32(shortest, IconField(0, IconFileEntry::DataSize), 40);
  Wr32(shortest, IconField(1, IconFileEntry::DataSize), 8 + 8 + 13 + 4);
  const auto parsedShortest = ParseIconFile(shortest);
  ASSERT_EQ(parsedShortest.size(), 2u);
  EXPECT_EQ(parsedShortest[0].Data, Bytes(images[0].Data.begin(), images[0].Data.begin() + 40));
  EXPECT_EQ(parsedShortest[1].Data, Bytes(images[1].Data.begin(), images[1].Data.begin() + 33));
  // Damage anywhere is read or refused with a message, never read past the file.
  std::mt19937 rng(3);
  for (int round = 0; round < 3000; ++round) {
    Bytes broken = file;
    for (int hits = 1 + rng() % 3; hits > 0; --hits)
      broken[rng() % 64] = static_cast<std::uint8_t>(rng());
    try {
      for (const TIconImage& image : ParseIconFile(broken))
        ASSERT_LE(image.Data.size(), broken.size());
    } catch (const EPeError& e) {
      ASSERT_STRNE(e.what(), "") << "round " << round;
    }
  }
}

TEST(IconGroup, ReplacingAGroupDropsOnlyItsOwnImagesAndKeepsItsLanguage) {
  auto resources = SampleResources();
  // A second group shares image 2; image 5 belongs to nobody.
  resources.push_back(Res(TResourceId::Number(RtGroupIcon), TResourceId::Number(7), 1033, GroupDirectory({2, 3})));
  resources.push_back(Res(TResourceId::Number(RtIcon), TResourceId::Number(3), 1033, DibImage(16, 11)));
  resources.push_back(Res(TResourceId::Number(RtIcon), TResourceId::Number(5), 1033, DibImage(16, 12)));
  TPeImage image = TPeImage::Parse(BuildImage(SampleSections(), resources));

  // Planes and bit count left out of the file come from the bitmap itself.
  const std::vector<TIconImage> icons{{32, 32, 0, 0, 0, DibImage(32, 20)},
                                      {48, 48, 0, 1, 32, DibImage(48, 21)},
                                      {0, 0, 0, 1, 32, PngImage(22)},
                                      {16, 16, 0, 1, 32, DibImage(16, 23)}};
  ReplaceIconGroup(image, TResourceId::Named("mainicon"), icons);
  const TPeImage written = TPeImage::Parse(image.Write());

  const TResource* group = written.Find(TResourceId::Number(RtGroupIcon), TResourceId::Named("MAINICON"));
  ASSERT_NE(group, nullptr);
  EXPECT_EQ(group->Language, 1033);
  ASSERT_EQ(group->Data.size(), IconDirectory::Size + GroupIconEntry::Size * icons.size());
  EXPECT_EQ(Rd16(group->Data, IconDirectory::Type), 1u);
  EXPECT_EQ(Rd16(group->Data, IconDirectory::Count), icons.size());
  // Image 1 is freed, 2 stays for the other group, 3 and 5 are taken: ids 1, 4, 6, 7.
  const std::uint16_t wantIds[] = {1, 4, 6, 7};
  for (std::size_t i = 0; i < icons.size(); ++i) {
    const std::size_t e = IconDirectory::Size + GroupIconEntry::Size * i;
    EXPECT_EQ(group->Data[e + GroupIconEntry::Width], icons[i].Width);
    EXPECT_EQ(group->Data[e + GroupIconEntry::Height], icons[i].Height);
    EXPECT_EQ(Rd16(group->Data, e + GroupIconEntry::Planes), 1u) << i;
    EXPECT_EQ(Rd16(group->Data, e + GroupIconEntry::BitCount), 32u) << i;
    EXPECT_EQ(Rd32(group->Data, e + GroupIconEntry::DataSize), icons[i].Data.size());
    EXPECT_EQ(Rd16(group->Data, e + GroupIconEntry::Id), wantIds[i]);
    const TResource* icon = written.Find(TResourceId::Number(RtIcon), TResourceId::Number(wantIds[i]));
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->Data, icons[i].Data);
    EXPECT_EQ(icon->Language, 1033);
  }
  EXPECT_EQ(written.Find(TResourceId::Number(RtIcon), TResourceId::Number(2))->Data, DibImage(16, 3));
  EXPECT_EQ(written.Find(TResourceId::Number(RtIcon), TResourceId::Number(5))->Data, DibImage(16, 12));
  EXPECT_EQ(std::count_if(written.Resources().begin(), written.Resources().end(),
                          [](const TResource& r) { return r.Type.Matches(TResourceId::Number(RtIcon)); }),
            7);

  EXPECT_THROW(ReplaceIconGroup(image, TResourceId::Named("OTHER"), icons), EPeError);
  image.Find(TResourceId::Number(RtGroupIcon), TResourceId::Number(7))->Data.resize(10);
  EXPECT_THROW(ReplaceIconGroup(image, TResourceId::Number(7), icons), EPeError);
  EXPECT_THROW(ReplaceIconGroup(image, TResourceId::Named("MAINICON"), {}), EPeError);

  // A group directory is taken whole and of type 1 (icons) only.
  const auto replaceError = [&](const std::function<void(Bytes&)>& change) -> std::string {
    TPeImage copy = TPeImage::Parse(BuildImage(SampleSections(), resources));
    change(copy.Find(TResourceId::Number(RtGroupIcon), TResourceId::Number(7))->Data);
    try {
      ReplaceIconGroup(copy, TResourceId::Number(7), icons);
    } catch (const EPeError& e) {
      return e.what();
    }
    return "(replaced)";
  };
  const std::size_t whole = IconDirectory::Size + GroupIconEntry::Size * 2;
  EXPECT_EQ(replaceError([](Bytes&) {}), "(replaced)");
  EXPECT_EQ(replaceError([](Bytes& g) { Wr16(g, IconDirectory::Type, 2); }), "the icon group #7 is malformed");
  EXPECT_EQ(replaceError([](Bytes& g) { Wr16(g, IconDirectory::Reserved, 1); }), "the icon group #7 is malformed");
  EXPECT_EQ(replaceError([&](Bytes& g) { g.resize(whole + 5); }), "(replaced)");
  EXPECT_EQ(replaceError([&](Bytes& g) { g.resize(whole - 1); }), "the icon group #7 is malformed");
}

// --- Double-size pictures in branding -------------------------------------------------------

Bytes BrandFixture(const std::string& name) {
  std::ifstream in(std::string(BRAND_FIXTURES) + "/" + name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

Bytes Stream(const TStreamObject& root) {
  TMemoryStream out;
  WriteComponentStream(out, root);
  return out.Data();
}

TStreamValue Jpeg(const Bytes& data) { return TStreamValue::Binary(EncodePictureValue({"TJPEGImage", data})); }

// A host with a window description holding the two picture controls, and,
// when `doubles` is not empty, double-size pictures under these keys.
Bytes BrandableHost(const std::vector<std::string>& doubles) {
  TStreamObject form{0, {}, "TInstallerForm", "InstallerForm", {}, {}};
  TStreamObject image{0, {}, "TImage", "Image1", {{"Picture.Data", Jpeg(Pattern(40, 1))}}, {}};
  TStreamObject button{0, {}, "TMouseEffectImage", "MouseEffectImage1", {}, {}};
  for (const char* property : {"Picture.Data", "OriginPicture.Data", "OverPicture.Data", "DownPicture.Data"})
    button.Properties.push_back({property, Jpeg(Pattern(20, 2))});
  form.Children = {image, button};
  auto resources = SampleResources();
  resources.erase(resources.begin() + 6);  // the description in a second language
  resources[0].Data = Stream(form);
  if (!doubles.empty()) {
    TStreamObject twice{0, {}, "TInstallerForm", "InstallerForm", {}, {}};
    for (const std::string& key : doubles)
      twice.Properties.push_back({key, Jpeg(Pattern(80, 3))});
    resources.push_back(
        Res(TResourceId::Number(RtRcData), TResourceId::Named("TINSTALLERFORM2X"), 1033, Stream(twice)));
  }
  return BuildImage(SampleSections(), resources);
}

TBrandFile Given(const char* role, const std::string& fixture) { return {true, role, BrandFixture(fixture)}; }

// The keys of the branded host's double-size pictures, in order, each with
// its picture's bytes; nullopt when it has none.
std::optional<std::vector<std::pair<std::string, Bytes>>> Doubles(const Bytes& branded) {
  const TPeImage image = TPeImage::Parse(branded);
  const TResource* twice = image.Find(TResourceId::Number(RtRcData), TResourceId::Named("TINSTALLERFORM2X"));
  if (!twice)
    return std::nullopt;
  EXPECT_EQ(twice->Language, 1033);
  TMemoryStream in(twice->Data);
  const TStreamObject root = ReadComponentStream(in);
  EXPECT_EQ(root.Name, "InstallerForm");
  EXPECT_EQ(root.ClassName, "TInstallerForm");
  EXPECT_TRUE(root.Children.empty());
  std::vector<std::pair<std::string, Bytes>> found;
  for (const TStreamProperty& p : root.Properties)
    found.emplace_back(p.Name, DecodePictureValue(std::get<TBinaryValue>(p.Value.Data).Bytes).Data);
  return found;
}

const char* const kButtonKeys[] = {"MouseEffectImage1.Picture", "MouseEffectImage1.OriginPicture",
                                   "MouseEffectImage1.DownPicture"};

TEST(Branding, DoubleSizePicturesGoUnderTheKeysTheyDouble) {
  const Bytes background = BrandFixture("background-2x.jpg"), button = BrandFixture("button-2x.jpg");
  TBrandFiles files;
  files.Background2x = Given("background-2x", "background-2x.jpg");
  files.Hover2x = Given("hover-2x", "button-2x.jpg");
  // A host without any gets the resource, in the description's language.
  auto doubles = Doubles(BrandHost(BrandableHost({}), "host", files));
  ASSERT_TRUE(doubles);
  using TEntries = std::vector<std::pair<std::string, Bytes>>;
  EXPECT_EQ(*doubles, (TEntries{{"Image1.Picture", background}, {"MouseEffectImage1.OverPicture", button}}));

  // A host with some keeps those not given and replaces the others.
  files = {};
  files.Button2x = Given("button-2x", "button-2x.jpg");
  doubles = Doubles(BrandHost(BrandableHost({"Image1.Picture", "MouseEffectImage1.Picture"}), "host", files));
  ASSERT_TRUE(doubles);
  TEntries want{{"Image1.Picture", Pattern(80, 3)}};
  for (const char* key : kButtonKeys)
    want.push_back({key, button});
  EXPECT_EQ(*doubles, want);
}

// A distributor's picture must not show as the host's demo art on a dense screen.
TEST(Branding, ASinglePictureWithoutItsDoubleDropsTheHostsDouble) {
  const std::vector<std::string> all{"Image1.Picture", "MouseEffectImage1.Picture", "MouseEffectImage1.OriginPicture",
                                     "MouseEffectImage1.DownPicture", "MouseEffectImage1.OverPicture"};
  TBrandFiles files;
  files.Button = Given("button", "button.jpg");
  auto doubles = Doubles(BrandHost(BrandableHost(all), "host", files));
  ASSERT_TRUE(doubles);
  std::vector<std::string> keys;
  for (const auto& [key, _] : *doubles)
    keys.push_back(key);
  EXPECT_EQ(keys, (std::vector<std::string>{"Image1.Picture", "MouseEffectImage1.OverPicture"}));

  // With every single picture given and no double, the resource goes.
  files.Background = Given("background", "background.jpg");
  files.Hover = Given("hover", "button.jpg");
  EXPECT_FALSE(Doubles(BrandHost(BrandableHost(all), "host", files)));
  // The icon or the skin alone leaves the doubles as they are.
  files = {};
  files.Skin = {true, "skin", Pattern(10, 4)};
  doubles = Doubles(BrandHost(BrandableHost(all), "host", files));
  ASSERT_TRUE(doubles);
  EXPECT_EQ(doubles->size(), all.size());
  // And a host without doubles gets none from single pictures.
  files.Background = Given("background", "background.jpg");
  EXPECT_FALSE(Doubles(BrandHost(BrandableHost({}), "host", files)));
}

TEST(Branding, DoubleSizePicturesThatCannotBeReadRefuseTheHost) {
  TBrandFiles files;
  files.Background2x = Given("background-2x", "background-2x.jpg");
  Bytes host = BrandableHost({"Image1.Picture"});
  TPeImage image = TPeImage::Parse(host);
  image.Find(TResourceId::Number(RtRcData), TResourceId::Named("TINSTALLERFORM2X"))->Data = Pattern(30, 9);
  try {
    BrandHost(image.Write(), "host 'h.exe'", files);
    FAIL();
  } catch (const EFailure& failure) {
    EXPECT_EQ(std::string(failure.what()).rfind("host 'h.exe' has double-size pictures that cannot be read: ", 0), 0u)
        << failure.what();
  }
}

}  // namespace
