// Tests of the resource rewriter on small synthetic PE32+ images, built here
// with a tree encoder of their own (another layout and order than the
// rewriter's), and of icon files.
#include "Branding.h"
#include "Classes.h"
#include "ComponentStream.h"
#include "FileFormats.h"
#include "Files.h"
#include "IconFile.h"
#include "PeImage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace mkinstaller;
using namespace FileFormats;
using Bytes = std::vector<std::uint8_t>;

// Fixed header layout of the images built here.
constexpr std::uint32_t kFileAlign = 0x200, kSectionAlign = 0x1000, kHeaders = 0x400;
constexpr std::uint32_t kPe = 0x80, kOptionalSize = 0xF0;
constexpr std::size_t kFileHeader = kPe + PeSignatureSize, kOptional = kFileHeader + FileHeader::Size,
                      kTable = kOptional + kOptionalSize;
constexpr std::size_t kChecksumAt = kOptional + OptionalHeader::CheckSum;
constexpr std::uint32_t kRelocSection = 0x42000040, kDataSection = 0xC0000040, kCodeSection = 0x60000020;

std::uint32_t Rd16(const Bytes& B, std::size_t At) { return B.at(At) | B.at(At + 1) << 8; }
std::uint32_t Rd32(const Bytes& B, std::size_t At) {
  return B.at(At) | B.at(At + 1) << 8 | B.at(At + 2) << 16 | static_cast<std::uint32_t>(B.at(At + 3)) << 24;
}
void Wr16(Bytes& B, std::size_t At, std::uint32_t V) {
  B.at(At) = static_cast<std::uint8_t>(V);
  B.at(At + 1) = static_cast<std::uint8_t>(V >> 8);
}
void Wr32(Bytes& B, std::size_t At, std::uint32_t V) {
  Wr16(B, At, V);
  Wr16(B, At + 2, V >> 16);
}
std::uint32_t Align(std::uint64_t V, std::uint32_t A) { return static_cast<std::uint32_t>((V + A - 1) / A * A); }

Bytes Pattern(std::size_t Size, unsigned Seed) {
  Bytes B(Size);
  for (std::size_t I = 0; I < Size; ++I)
    B[I] = static_cast<std::uint8_t>(I * 7 + Seed * 31 + (I >> 8));
  return B;
}

// The header checksum as the signing tools document it: 32-bit words with
// end-around carry, folded to 16 bits, plus the file length.
std::uint32_t ReferenceChecksum(Bytes File, std::size_t Field) {
  const std::size_t Length = File.size();
  Wr32(File, Field, 0);
  File.resize((Length + 3) / 4 * 4, 0);
  std::uint64_t Sum = 0;
  for (std::size_t I = 0; I < File.size(); I += 4) {
    Sum += Rd32(File, I);
    Sum = (Sum & 0xFFFFFFFF) + (Sum >> 32);
  }
  Sum = (Sum & 0xFFFF) + (Sum >> 16);
  Sum = (Sum + (Sum >> 16)) & 0xFFFF;
  return static_cast<std::uint32_t>(Sum + Length);
}

// Where a field of a section header or of a data directory lies in the images built here.
std::size_t SectionField(unsigned Index, std::uint64_t Field) { return kTable + SectionHeader::Size * Index + Field; }
std::size_t DirectoryField(unsigned Index, std::uint64_t Field) {
  return kOptional + OptionalHeader::DataDirectories + DataDirectory::Size * Index + Field;
}

// A section header as stored.
struct SectionInfo {
  std::uint32_t VirtualSize, Rva, RawSize, RawPointer;
};
SectionInfo Section(const Bytes& Image, unsigned Index) {
  return {Rd32(Image, SectionField(Index, SectionHeader::VirtualSize)),
          Rd32(Image, SectionField(Index, SectionHeader::VirtualAddress)),
          Rd32(Image, SectionField(Index, SectionHeader::SizeOfRawData)),
          Rd32(Image, SectionField(Index, SectionHeader::PointerToRawData))};
}
std::uint32_t Directory(const Bytes& Image, unsigned Index, std::uint64_t Field = DataDirectory::VirtualAddress) {
  return Rd32(Image, DirectoryField(Index, Field));
}
// Where a field of entry `Index` of the resource directory at `DirectoryAt` lies.
std::size_t EntryField(std::size_t DirectoryAt, unsigned Index, std::uint64_t Field) {
  return DirectoryAt + ResourceDirectory::Size + ResourceDirectoryEntry::Size * Index + Field;
}
// Where a field of an icon file's entry for image `Index` lies.
std::size_t IconField(unsigned Index, std::uint64_t Field) {
  return IconDirectory::Size + IconFileEntry::Size * Index + Field;
}

// The test's own tree encoder: types, names and languages in the order given,
// directories first, then names, then data entries, then data 4-aligned.
Bytes EncodeTree(const std::vector<TResource>& Leaves, std::uint32_t Rva) {
  struct Node {
    TResourceId Id;
    std::vector<Node> Children;
    int Leaf = -1;
  };
  Node Root;
  auto Child = [](Node& N, const TResourceId& Id) -> Node& {
    for (Node& C : N.Children)
      if (C.Id.IsName() == Id.IsName() && C.Id.Name == Id.Name && C.Id.Id == Id.Id)
        return C;
    N.Children.push_back({Id, {}, -1});
    return N.Children.back();
  };
  for (std::size_t I = 0; I < Leaves.size(); ++I)
    Child(Child(Child(Root, Leaves[I].Type), Leaves[I].Name), TResourceId::Number(Leaves[I].Language)).Leaf =
        static_cast<int>(I);
  std::vector<const Node*> Dirs{&Root};
  for (std::size_t I = 0; I < Dirs.size(); ++I)
    for (const Node& C : Dirs[I]->Children)
      if (C.Leaf < 0)
        Dirs.push_back(&C);
  std::vector<std::uint32_t> DirAt;
  std::uint32_t Size = 0;
  for (const Node* D : Dirs)
    DirAt.push_back(
        std::exchange(Size, Size + ResourceDirectory::Size +
                                ResourceDirectoryEntry::Size * static_cast<std::uint32_t>(D->Children.size())));
  std::vector<std::pair<std::u16string, std::uint32_t>> Names;
  for (const Node* D : Dirs)
    for (const Node& C : D->Children)
      if (C.Id.IsName())
        Names.emplace_back(C.Id.Name, std::exchange(Size, Size + ResourceString::Units +
                                                              2 * static_cast<std::uint32_t>(C.Id.Name.size())));
  Size = Align(Size, 4);
  const std::uint32_t Entries = Size;
  Size += ResourceDataEntry::Size * static_cast<std::uint32_t>(Leaves.size());
  std::vector<std::uint32_t> DataAt;
  for (const TResource& R : Leaves)
    DataAt.push_back(std::exchange(Size, Align(Size + R.Data.size(), 4)));
  Bytes Out(Size);
  std::size_t NameIndex = 0;
  for (std::size_t I = 0; I < Dirs.size(); ++I) {
    unsigned Named = 0;
    for (const Node& C : Dirs[I]->Children)
      Named += C.Id.IsName();
    Wr16(Out, DirAt[I] + ResourceDirectory::NumberOfNamedEntries, Named);
    Wr16(Out, DirAt[I] + ResourceDirectory::NumberOfIdEntries,
         static_cast<std::uint32_t>(Dirs[I]->Children.size()) - Named);
    for (std::size_t J = 0; J < Dirs[I]->Children.size(); ++J) {
      const Node& C = Dirs[I]->Children[J];
      const std::size_t At = DirAt[I] + ResourceDirectory::Size + ResourceDirectoryEntry::Size * J;
      if (C.Id.IsName()) {
        const auto& [Name, NameAt] = Names[NameIndex++];
        Wr32(Out, At + ResourceDirectoryEntry::Name, 0x80000000 | NameAt);
        Wr16(Out, NameAt + ResourceString::Length, static_cast<std::uint32_t>(Name.size()));
        for (std::size_t K = 0; K < Name.size(); ++K)
          Wr16(Out, NameAt + ResourceString::Units + 2 * K, Name[K]);
      } else {
        Wr32(Out, At + ResourceDirectoryEntry::Name, C.Id.Id);
      }
      const auto Sub = std::find(Dirs.begin(), Dirs.end(), &C);
      Wr32(Out, At + ResourceDirectoryEntry::OffsetToData,
           C.Leaf >= 0 ? Entries + ResourceDataEntry::Size * C.Leaf : 0x80000000 | DirAt[Sub - Dirs.begin()]);
    }
  }
  for (std::size_t I = 0; I < Leaves.size(); ++I) {
    const std::size_t Entry = Entries + ResourceDataEntry::Size * I;
    Wr32(Out, Entry + ResourceDataEntry::DataRva, Rva + DataAt[I]);
    Wr32(Out, Entry + ResourceDataEntry::DataSize, static_cast<std::uint32_t>(Leaves[I].Data.size()));
    Wr32(Out, Entry + ResourceDataEntry::CodePage, Leaves[I].CodePage);
    std::copy(Leaves[I].Data.begin(), Leaves[I].Data.end(), Out.begin() + DataAt[I]);
  }
  return Out;
}

struct TestSection {
  std::string Name;
  Bytes Data;  // ignored for .rsrc, which holds the encoded resources
  std::uint32_t Flags;
};

// A PE32+ image of these sections, laid out back to back; .rsrc and .reloc
// get their data directories, and the checksum is valid.
Bytes BuildImage(const std::vector<TestSection>& Sections, const std::vector<TResource>& Resources) {
  Bytes Image(kHeaders);
  Image[0] = 'M';
  Image[1] = 'Z';
  Wr32(Image, DosHeader::NewHeaderPointer, kPe);
  Wr32(Image, kPe, PeSignature);
  Wr16(Image, kFileHeader + FileHeader::Machine, 0x8664);
  Wr16(Image, kFileHeader + FileHeader::NumberOfSections, static_cast<std::uint32_t>(Sections.size()));
  Wr16(Image, kFileHeader + FileHeader::SizeOfOptionalHeader, kOptionalSize);
  Wr16(Image, kFileHeader + FileHeader::Characteristics, 0x22);
  Wr16(Image, kOptional + OptionalHeader::Magic, OptionalHeader::Pe32PlusMagic);
  Wr32(Image, kOptional + OptionalHeader::AddressOfEntryPoint, 0x1000);
  Wr32(Image, kOptional + OptionalHeader::SectionAlignment, kSectionAlign);
  Wr32(Image, kOptional + OptionalHeader::FileAlignment, kFileAlign);
  Wr32(Image, kOptional + OptionalHeader::SizeOfHeaders, kHeaders);
  Wr32(Image, kOptional + OptionalHeader::NumberOfRvaAndSizes, DataDirectory::MaxCount);
  std::uint32_t Rva = kSectionAlign, Initialized = 0;
  for (std::size_t I = 0; I < Sections.size(); ++I) {
    const TestSection& S = Sections[I];
    const Bytes Data = S.Name == ".rsrc" ? EncodeTree(Resources, Rva) : S.Data;
    const unsigned Index = static_cast<unsigned>(I);
    std::copy(S.Name.begin(), S.Name.end(), Image.begin() + SectionField(Index, SectionHeader::Name));
    Wr32(Image, SectionField(Index, SectionHeader::VirtualSize), static_cast<std::uint32_t>(Data.size()));
    Wr32(Image, SectionField(Index, SectionHeader::VirtualAddress), Rva);
    Wr32(Image, SectionField(Index, SectionHeader::SizeOfRawData), Align(Data.size(), kFileAlign));
    Wr32(Image, SectionField(Index, SectionHeader::PointerToRawData), static_cast<std::uint32_t>(Image.size()));
    Wr32(Image, SectionField(Index, SectionHeader::Characteristics), S.Flags);
    if (S.Flags & SectionHeader::InitializedData)
      Initialized += Align(Data.size(), kFileAlign);
    if (S.Name == ".rsrc" || S.Name == ".reloc") {
      const unsigned D = S.Name == ".rsrc" ? DataDirectory::Resource : DataDirectory::BaseRelocation;
      Wr32(Image, DirectoryField(D, DataDirectory::VirtualAddress), Rva);
      Wr32(Image, DirectoryField(D, DataDirectory::DataSize), static_cast<std::uint32_t>(Data.size()));
    }
    Image.insert(Image.end(), Data.begin(), Data.end());
    Image.resize(Align(Image.size(), kFileAlign));
    Rva = Align(Rva + Data.size(), kSectionAlign);
  }
  Wr32(Image, kOptional + OptionalHeader::SizeOfInitializedData, Initialized);
  Wr32(Image, kOptional + OptionalHeader::SizeOfImage, Rva);
  Wr32(Image, kChecksumAt, ReferenceChecksum(Image, kChecksumAt));
  return Image;
}

TResource Res(TResourceId Type, TResourceId Name, std::uint16_t Language, Bytes Data) {
  return {std::move(Type), std::move(Name), Language, 0, std::move(Data)};
}

Bytes EncodeVersionBlock(const std::u16string& Key, const Bytes& Value, bool Text, const std::vector<Bytes>& Children) {
  Bytes B(VersionBlock::Key);
  for (char16_t C : Key + u'\0')
    B.insert(B.end(), {static_cast<std::uint8_t>(C), static_cast<std::uint8_t>(C >> 8)});
  B.resize(Align(B.size(), 4));
  B.insert(B.end(), Value.begin(), Value.end());
  for (const Bytes& C : Children) {
    B.resize(Align(B.size(), 4));
    B.insert(B.end(), C.begin(), C.end());
  }
  Wr16(B, VersionBlock::Length, static_cast<std::uint32_t>(B.size()));
  Wr16(B, VersionBlock::ValueLength, static_cast<std::uint32_t>(Text ? Value.size() / 2 : Value.size()));
  Wr16(B, VersionBlock::Type, Text ? VersionBlock::TextType : 0);
  return B;
}
Bytes VersionString(const std::u16string& Key, const std::u16string& Value) {
  Bytes V;
  for (char16_t C : Value + u'\0')
    V.insert(V.end(), {static_cast<std::uint8_t>(C), static_cast<std::uint8_t>(C >> 8)});
  return EncodeVersionBlock(Key, V, true, {});
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
Bytes DibImage(int Size, unsigned Seed) {
  Bytes B = Pattern(BitmapInfoHeader::Size + Size * Size * 4 + Size * Size / 8, Seed);
  Wr32(B, BitmapInfoHeader::HeaderSize, BitmapInfoHeader::Size);
  Wr32(B, BitmapInfoHeader::Width, Size);
  Wr32(B, BitmapInfoHeader::Height, 2 * Size);
  Wr16(B, BitmapInfoHeader::Planes, 1);
  Wr16(B, BitmapInfoHeader::BitCount, 32);
  return B;
}
// A PNG icon image: the signature, then the header chunk (its 13 bytes and checksum left as noise).
Bytes PngImage(unsigned Seed) {
  Bytes B = Pattern(200, Seed);
  const std::uint8_t Start[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
  std::copy(std::begin(Start), std::end(Start), B.begin());
  return B;
}
Bytes GroupDirectory(const std::vector<std::uint16_t>& Ids) {
  Bytes G(IconDirectory::Size + GroupIconEntry::Size * Ids.size());
  Wr16(G, IconDirectory::Type, IconDirectory::IconType);
  Wr16(G, IconDirectory::Count, static_cast<std::uint32_t>(Ids.size()));
  for (std::size_t I = 0; I < Ids.size(); ++I)
    Wr16(G, IconDirectory::Size + GroupIconEntry::Size * I + GroupIconEntry::Id, Ids[I]);
  return G;
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

bool SameResource(const TResource& A, const TResource& B) {
  return A.Type.IsName() == B.Type.IsName() && A.Type.Name == B.Type.Name && A.Type.Id == B.Type.Id &&
         A.Name.IsName() == B.Name.IsName() && A.Name.Name == B.Name.Name && A.Name.Id == B.Name.Id &&
         A.Language == B.Language && A.CodePage == B.CodePage && A.Data == B.Data;
}

// Every resource of `Want` is found in `Have` with the same bytes, and nothing else is there.
void ExpectSameResources(const std::vector<TResource>& Have, const std::vector<TResource>& Want) {
  ASSERT_EQ(Have.size(), Want.size());
  for (const TResource& W : Want)
    EXPECT_EQ(std::count_if(Have.begin(), Have.end(), [&](const TResource& h) { return SameResource(h, W); }), 1);
}

// The rules the loader's lookups rely on, checked on the stored tree: in each
// directory the names first and sorted, then ids ascending; entries and data
// aligned; data inside the section. Returns the number of leaves.
int CheckTreeRules(const Bytes& Image, unsigned RsrcIndex) {
  const SectionInfo S = Section(Image, RsrcIndex);
  const auto At = [&](std::uint32_t Offset) { return S.RawPointer + Offset; };
  auto Name = [&](std::uint32_t Offset) {
    std::u16string N(Rd16(Image, At(Offset) + ResourceString::Length), u'\0');
    for (std::size_t I = 0; I < N.size(); ++I)
      N[I] = static_cast<char16_t>(Rd16(Image, At(Offset) + ResourceString::Units + 2 * I));
    return N;
  };
  int Leaves = 0;
  std::function<void(std::uint32_t, int)> Walk = [&](std::uint32_t Dir, int Level) {
    EXPECT_EQ(Dir % 4, 0u);
    const unsigned Named = Rd16(Image, At(Dir) + ResourceDirectory::NumberOfNamedEntries);
    const unsigned Ids = Rd16(Image, At(Dir) + ResourceDirectory::NumberOfIdEntries);
    const auto Entry = [&](unsigned I) { return At(Dir) + ResourceDirectory::Size + ResourceDirectoryEntry::Size * I; };
    for (unsigned I = 0; I < Named + Ids; ++I) {
      const std::uint32_t Id = Rd32(Image, Entry(I) + ResourceDirectoryEntry::Name),
                          Target = Rd32(Image, Entry(I) + ResourceDirectoryEntry::OffsetToData);
      EXPECT_EQ((Id >> 31) != 0, I < Named) << "entry " << I << " at level " << Level;
      if (I > 0 && I < Named) {
        EXPECT_LT(Name(Rd32(Image, Entry(I - 1) + ResourceDirectoryEntry::Name) & 0x7FFFFFFF), Name(Id & 0x7FFFFFFF));
      } else if (I > Named) {
        EXPECT_LT(Rd32(Image, Entry(I - 1) + ResourceDirectoryEntry::Name), Id);
      }
      EXPECT_EQ((Target >> 31) != 0, Level < 2);
      if (Level < 2) {
        Walk(Target & 0x7FFFFFFF, Level + 1);
        continue;
      }
      ++Leaves;
      EXPECT_EQ(Target % 4, 0u);
      const std::uint32_t DataRva = Rd32(Image, At(Target) + ResourceDataEntry::DataRva),
                          Size = Rd32(Image, At(Target) + ResourceDataEntry::DataSize);
      EXPECT_EQ(DataRva % 8, 0u);
      EXPECT_GE(DataRva, S.Rva);
      EXPECT_LE(DataRva + Size, S.Rva + S.VirtualSize);
    }
  };
  Walk(0, 0);
  return Leaves;
}

TEST(PeImage, ReadsTheStoredTreeAndFindsResourcesWithoutRegardToCase) {
  const TPeImage Image = TPeImage::Parse(SampleImage());
  ExpectSameResources(Image.Resources(), SampleResources());
  const TResource* Form = Image.Find(TResourceId::Number(RtRcData), TResourceId::Named("tInstallerForm"));
  ASSERT_NE(Form, nullptr);
  EXPECT_EQ(Form->Language, 1033);
  EXPECT_EQ(Form->Data, Pattern(3000, 1));
  EXPECT_NE(Image.Find(TResourceId::Named("exefile"), TResourceId::Number(300)), nullptr);
  EXPECT_EQ(Image.Find(TResourceId::Number(RtRcData), TResourceId::Named("SKINRES")), nullptr);
  EXPECT_EQ(Image.Find(TResourceId::Number(RtRcData), TResourceId::Number(1)), nullptr);
  EXPECT_EQ(Image.OverlaySize(), 0u);
  EXPECT_FALSE(Image.HasCertificateTable());
  EXPECT_EQ(TResourceId::Named("Skin_Res").Name, u"SKIN_RES");
  EXPECT_THROW(TResourceId::Named(""), EPeError);
  EXPECT_THROW(TResourceId::Named("caf\xC3\xA9"), EPeError);

  // Another linker may store a name in lower case: the loader still finds it, and so does Find.
  auto Resources = SampleResources();
  Resources[1].Name.Name = u"skinres";
  const TPeImage Lower = TPeImage::Parse(BuildImage(SampleSections(), Resources));
  const TResource* Skin = Lower.Find(kExeFile, TResourceId::Named("SkinRes"));
  ASSERT_NE(Skin, nullptr);
  EXPECT_EQ(Skin->Name.Name, u"skinres");
  EXPECT_TRUE(TResourceId::Named("SKINRES").Matches(Skin->Name));
  EXPECT_FALSE(TResourceId::Named("SKINRE").Matches(Skin->Name));
}

TEST(PeImage, MessagesQuoteOnlyPrintableAscii) {
  // Printable ASCII is 0x20 to 0x7E: DEL and the controls are not.
  EXPECT_EQ(Printable(u" ~\x7F\x1F."), " ~??.");
  EXPECT_EQ(Printable(std::u16string{0x80, 0xFF, 0xD83D, 0xDE00, u'a', 0xD83D}), "???a?");
  Bytes Image = SampleImage();
  Image[SectionField(3, SectionHeader::Name) + 1] = 0x7F;
  Image[SectionField(3, SectionHeader::Name) + 2] = 0x7E;
  Wr32(Image, SectionField(3, SectionHeader::SizeOfRawData), 0x10000);
  try {
    TPeImage::Parse(Image);
    ADD_FAILURE() << "parsed";
  } catch (const EPeError& E) {
    EXPECT_STREQ(E.what(), "section .?~loc lies past the end of the file");
  }
}

TEST(PeImage, UnchangedResourcesSurviveARewriteByteForByteInASortedTree) {
  const Bytes Original = SampleImage();
  const Bytes Written = TPeImage::Parse(Original).Write();
  EXPECT_EQ(CheckTreeRules(Written, 2), 10);
  const TPeImage Reread = TPeImage::Parse(Written);
  ExpectSameResources(Reread.Resources(), SampleResources());
  // Written once, the tree is in its final order: a second rewrite changes nothing.
  EXPECT_EQ(Reread.Write(), Written);
  // The sections before the resource section are untouched, headers and data.
  const auto Same = [&](std::size_t From, std::size_t To) {
    return std::equal(Written.begin() + From, Written.begin() + To, Original.begin() + From);
  };
  EXPECT_TRUE(Same(kTable, SectionField(2, 0)));
  EXPECT_TRUE(Same(kHeaders, Section(Original, 2).RawPointer));
  EXPECT_EQ(Rd32(Written, kChecksumAt), ReferenceChecksum(Written, kChecksumAt));
}

TEST(PeImage, AResizedResourceSectionMovesTheSectionAfterItAndItsDirectory) {
  const Bytes Original = SampleImage();
  const SectionInfo Rsrc = Section(Original, 2), Reloc = Section(Original, 3);
  const Bytes RelocBytes(Original.begin() + Reloc.RawPointer, Original.begin() + Reloc.RawPointer + 0x998);
  const std::uint32_t Initialized = Rd32(Original, kOptional + OptionalHeader::SizeOfInitializedData);
  for (std::size_t FormSize : {std::size_t{200000}, std::size_t{1}, std::size_t{3000 + 0x2000}}) {
    SCOPED_TRACE("form of " + std::to_string(FormSize) + " bytes");
    TPeImage Image = TPeImage::Parse(Original);
    Image.Find(TResourceId::Number(RtRcData), TResourceId::Named("TINSTALLERFORM"))->Data = Pattern(FormSize, 9);
    const Bytes Written = Image.Write();
    const SectionInfo NewRsrc = Section(Written, 2), NewReloc = Section(Written, 3);
    EXPECT_EQ(NewRsrc.Rva, Rsrc.Rva);
    EXPECT_EQ(NewRsrc.RawPointer, Rsrc.RawPointer);
    EXPECT_EQ(NewRsrc.RawSize, Align(NewRsrc.VirtualSize, kFileAlign));
    EXPECT_EQ(Directory(Written, DataDirectory::Resource, DataDirectory::VirtualAddress), Rsrc.Rva);
    EXPECT_EQ(Directory(Written, DataDirectory::Resource, DataDirectory::DataSize), NewRsrc.VirtualSize);
    EXPECT_EQ(NewReloc.Rva, Align(Rsrc.Rva + NewRsrc.VirtualSize, kSectionAlign));
    EXPECT_EQ(NewReloc.RawPointer, Rsrc.RawPointer + NewRsrc.RawSize);
    EXPECT_EQ(NewReloc.VirtualSize, Reloc.VirtualSize);
    EXPECT_EQ(NewReloc.RawSize, Reloc.RawSize);
    EXPECT_EQ(Directory(Written, DataDirectory::BaseRelocation, DataDirectory::VirtualAddress), NewReloc.Rva);
    EXPECT_EQ(Directory(Written, DataDirectory::BaseRelocation, DataDirectory::DataSize), 0x998u);
    EXPECT_EQ(Bytes(Written.begin() + NewReloc.RawPointer, Written.begin() + NewReloc.RawPointer + 0x998), RelocBytes);
    EXPECT_EQ(Written.size(), NewReloc.RawPointer + NewReloc.RawSize);
    EXPECT_EQ(Rd32(Written, kOptional + OptionalHeader::SizeOfImage),
              Align(NewReloc.Rva + NewReloc.VirtualSize, kSectionAlign));
    EXPECT_EQ(Rd32(Written, kOptional + OptionalHeader::SizeOfInitializedData),
              Initialized - Rsrc.RawSize + NewRsrc.RawSize);
    EXPECT_EQ(Rd32(Written, kChecksumAt), ReferenceChecksum(Written, kChecksumAt));
    auto Want = SampleResources();
    Want[0].Data = Pattern(FormSize, 9);
    ExpectSameResources(TPeImage::Parse(Written).Resources(), Want);
  }
  // With nothing after the resource section, it simply grows.
  auto Sections = SampleSections();
  Sections.pop_back();
  TPeImage Last = TPeImage::Parse(BuildImage(Sections, SampleResources()));
  Last.Find(kExeFile, TResourceId::Named("SKINRES"))->Data = Pattern(70000, 3);
  const Bytes Written = Last.Write();
  EXPECT_EQ(Written.size(), Section(Written, 2).RawPointer + Section(Written, 2).RawSize);
  EXPECT_EQ(Rd32(Written, kOptional + OptionalHeader::SizeOfImage),
            Align(Section(Written, 2).Rva + Section(Written, 2).VirtualSize, kSectionAlign));
  EXPECT_EQ(TPeImage::Parse(Written).Find(kExeFile, TResourceId::Named("SKINRES"))->Data, Pattern(70000, 3));
}

TEST(PeImage, ChecksumMatchesTheDocumentedAlgorithm) {
  std::mt19937 Rng(1208);
  for (std::size_t Size : {0x100, 0x101, 0x102, 0x103, 0x4001}) {
    Bytes File = Pattern(Size, static_cast<unsigned>(Rng()));
    for (auto& B : File)
      B = static_cast<std::uint8_t>(B ^ Rng());
    EXPECT_EQ(PeChecksum(File, 0xD8), ReferenceChecksum(File, 0xD8)) << Size;
  }
  // All ones: every fold carries.
  const Bytes Ones(0x1000, 0xFF);
  EXPECT_EQ(PeChecksum(Ones, 0x40), ReferenceChecksum(Ones, 0x40));
}

TEST(PeImage, VersionStringsAreReadFromTheStringTable) {
  const TPeImage Image = TPeImage::Parse(SampleImage());
  EXPECT_EQ(Image.VersionString("ProductName"), "InstallerWin");
  // Quoted in one-line messages: anything but printable ASCII is a '?', one per character.
  EXPECT_EQ(Image.VersionString("FileDescription"), "?cran ? ?");
  EXPECT_EQ(Image.VersionString("CompanyName"), "");
  EXPECT_EQ(Image.VersionString("040904B0"), "");
  // A cut anywhere leaves blocks longer than what holds them: no strings, and no reads past the end.
  TPeImage Cut = TPeImage::Parse(SampleImage());
  TResource* Version = Cut.Find(TResourceId::Number(RtVersion), TResourceId::Number(1));
  const Bytes Whole = Version->Data;
  for (std::size_t Size = 0; Size < Whole.size(); ++Size) {
    Version->Data.assign(Whole.begin(), Whole.begin() + Size);
    ASSERT_EQ(Cut.VersionString("ProductName"), "") << Size;
  }
  // Damage is read or ignored, never read past; the fixed file information is skipped, not read.
  std::mt19937 Rng(16);
  for (int Round = 0; Round < 3000; ++Round) {
    Version->Data = Whole;
    const std::size_t At = Rng() % Whole.size();
    Version->Data[At] = static_cast<std::uint8_t>(Version->Data[At] ^ (1 + Rng() % 255));
    const std::string Value = Cut.VersionString("ProductName");
    if (At >= 40 && At < 40 + 52) {
      ASSERT_EQ(Value, "InstallerWin") << At;
    }
  }
}

// A damaged copy of the sample image: `Change` edits it given the resource section's file offset.
Bytes Damaged(const std::function<void(Bytes&, std::uint32_t)>& Change) {
  Bytes Image = SampleImage();
  Change(Image, Section(Image, 2).RawPointer);
  return Image;
}

std::string ParseError(const Bytes& Image) {
  try {
    TPeImage::Parse(Image);
  } catch (const EPeError& E) {
    return E.what();
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
  } Cases[] = {
      {"text file", [](Bytes& B, std::uint32_t) { B[0] = 'T'; }, "not a program image (no MZ header)"},
      {"no PE signature", [](Bytes& B, std::uint32_t) { B[kPe + 1] = 'X'; }, "not a PE image (no PE signature)"},
      {"header pointer past the end", [](Bytes& B, std::uint32_t) { Wr32(B, DosHeader::NewHeaderPointer, 0xFFFFFFF0); },
       "truncated headers"},
      {"PE32", [](Bytes& B, std::uint32_t) { Wr16(B, kOptional + OptionalHeader::Magic, 0x10B); },
       "not a 64-bit (PE32+) image"},
      {"file alignment 3", [](Bytes& B, std::uint32_t) { Wr32(B, kOptional + OptionalHeader::FileAlignment, 3); },
       "bad section or file alignment"},
      {"sections overrun the headers",
       [](Bytes& B, std::uint32_t) { Wr16(B, kFileHeader + FileHeader::NumberOfSections, 40); }, "truncated headers"},
      {"section past the end",
       [](Bytes& B, std::uint32_t) {
         Wr32(B, SectionField(3, SectionHeader::SizeOfRawData), 0x10000);
         B[SectionField(3, SectionHeader::Name) + 2] = '\n';
       },
       "section .r?loc lies past the end of the file"},
      {"sections overlap",
       [](Bytes& B, std::uint32_t) { Wr32(B, SectionField(1, SectionHeader::VirtualAddress), 0x1000); },
       "sections overlap or are out of order"},
      {"no resources",
       [](Bytes& B, std::uint32_t) { Wr32(B, DirectoryField(DataDirectory::Resource, DataDirectory::DataSize), 0); },
       "the image has no resources"},
      {"resources inside a section",
       [](Bytes& B, std::uint32_t) {
         Wr32(B, DirectoryField(DataDirectory::Resource, DataDirectory::VirtualAddress),
              Directory(B, DataDirectory::Resource) + 16);
       },
       "the resource directory does not start a section"},
      {"code after the resources",
       [](Bytes& B, std::uint32_t) { Wr32(B, SectionField(3, SectionHeader::Characteristics), kCodeSection); },
       "section .reloc follows the resources and cannot be moved"},
      {"imports after the resources",
       [](Bytes& B, std::uint32_t) {
         Wr32(B, DirectoryField(1, DataDirectory::VirtualAddress), Directory(B, DataDirectory::BaseRelocation));
         Wr32(B, DirectoryField(1, DataDirectory::DataSize), 8);
       },
       "data directory 1 lies in or after the resource section"},
      {"entry point in the resources",
       [](Bytes& B, std::uint32_t) {
         Wr32(B, kOptional + OptionalHeader::AddressOfEntryPoint, Directory(B, DataDirectory::Resource) + 4);
       },
       "the entry point lies in or after the resource section"},
      {"type directory past the section",
       [](Bytes& B, std::uint32_t R) {
         Wr32(B, EntryField(R, 0, ResourceDirectoryEntry::OffsetToData), 0x80000000 | 0x7FFF0);
       },
       "a resource directory lies past the end of its section"},
      {"subdirectory back to the root",
       [](Bytes& B, std::uint32_t R) { Wr32(B, EntryField(R, 0, ResourceDirectoryEntry::OffsetToData), 0x80000000); },
       "the resource tree has a loop"},
      {"two types share a directory",
       [](Bytes& B, std::uint32_t R) {
         Wr32(B, EntryField(R, 1, ResourceDirectoryEntry::OffsetToData),
              Rd32(B, EntryField(R, 0, ResourceDirectoryEntry::OffsetToData)));
       },
       "the resource tree has a loop"},
      {"a type entry is a leaf",
       [](Bytes& B, std::uint32_t R) {
         Wr32(B, EntryField(R, 0, ResourceDirectoryEntry::OffsetToData),
              Rd32(B, EntryField(R, 0, ResourceDirectoryEntry::OffsetToData)) & 0x7FFFFFFF);
       },
       "a resource type entry is not a directory"},
      {"name past the section",
       [](Bytes& B, std::uint32_t R) {
         Wr32(B, EntryField(R, 0, ResourceDirectoryEntry::Name), 0x80000000 | 0x7FFFFF);
       },
       "a resource name lies past the end of its section"},
      {"empty name",
       [](Bytes& B, std::uint32_t R) {
         Wr16(B, R + (Rd32(B, EntryField(R, 1, ResourceDirectoryEntry::Name)) & 0x7FFFFFFF) + ResourceString::Length,
              0);
       },
       "a resource name is empty"},
      {"id above 65535",
       [](Bytes& B, std::uint32_t R) { Wr32(B, EntryField(R, 3, ResourceDirectoryEntry::Name), 0x10003); },
       "a resource id is out of range"},
  };
  for (const auto& C : Cases)
    EXPECT_EQ(ParseError(Damaged(C.change)), C.error) << C.what;

  // The leaves, in a rewritten tree: the first type, name and language lead to EXEFILE/SKINRES,
  // whose data entry is followed by EXEFILE/300's.
  const Bytes Written = TPeImage::Parse(SampleImage()).Write();
  const std::uint32_t Rsrc = Section(Written, 2).RawPointer, Rva = Section(Written, 2).Rva;
  const auto Target = [&](std::uint32_t DirectoryAt) {
    return Rd32(Written, EntryField(Rsrc + DirectoryAt, 0, ResourceDirectoryEntry::OffsetToData));
  };
  const std::uint32_t Names = Target(0) & 0x7FFFFFFF, Languages = Target(Names) & 0x7FFFFFFF, Entry = Target(Languages);
  const struct {
    const char* what;
    std::function<void(Bytes&)> change;
    const char* error;
  } Leaves[] = {
      {"data before the section", [&](Bytes& B) { Wr32(B, Rsrc + Entry + ResourceDataEntry::DataRva, Rva - 4); },
       "resource data lies outside the resource section"},
      {"data past the section", [&](Bytes& B) { Wr32(B, Rsrc + Entry + ResourceDataEntry::DataSize, 0x10000000); },
       "resource data lies outside the resource section"},
      {"data overlapping",
       [&](Bytes& B) {
         Wr32(B, Rsrc + Entry + ResourceDataEntry::DataRva,
              Rd32(B, Rsrc + Entry + ResourceDataEntry::Size + ResourceDataEntry::DataRva));
       },
       "resource data overlaps"},
      {"a fourth level",
       [&](Bytes& B) {
         Wr32(B, EntryField(Rsrc + Languages, 0, ResourceDirectoryEntry::OffsetToData), 0x80000000 | Names);
       },
       "the resource tree is deeper than type, name and language"},
  };
  for (const auto& C : Leaves) {
    Bytes B = Written;
    C.change(B);
    EXPECT_EQ(ParseError(B), C.error) << C.what;
  }

  // Every cut of the file is refused, whether in the headers, the tree or a section.
  const Bytes Whole = SampleImage();
  for (std::size_t Size = 0; Size < Whole.size(); Size += Size < 0x600 ? 1 : 97)
    ASSERT_NE(ParseError(Bytes(Whole.begin(), Whole.begin() + Size)), "(parsed)") << Size;
}

// Each refusal next to the nearest image that is still taken: the rule holds at its exact edge.
TEST(PeImage, RefusalsLieAtTheirExactEdges) {
  const Bytes Sample = SampleImage();
  const SectionInfo Text = Section(Sample, 0), Rdata = Section(Sample, 1), Rsrc = Section(Sample, 2),
                    Reloc = Section(Sample, 3);
  const std::uint32_t RsrcEnd = Rsrc.Rva + Rsrc.VirtualSize;
  // The sections from `First` on moved `By` bytes further into the file.
  const auto Shifted = [](Bytes B, unsigned First, std::uint32_t By) {
    const std::uint32_t At = Section(B, First).RawPointer;
    B.insert(B.begin() + At, By, 0);
    for (unsigned I = First; I < 4; ++I)
      Wr32(B, SectionField(I, SectionHeader::PointerToRawData), Section(B, I).RawPointer + By);
    return B;
  };
  const std::uint32_t SectionTableEnd = static_cast<std::uint32_t>(SectionField(4, 0));
  const struct {
    const char* what;
    std::function<void(Bytes&)> taken, refused;
    const char* error;
  } Cases[] = {
      {"MZ", [](Bytes&) {}, [](Bytes& B) { B[1] = 'X'; }, "not a program image (no MZ header)"},
      {"section alignment against file alignment",
       [](Bytes& B) { Wr32(B, kOptional + OptionalHeader::SectionAlignment, kFileAlign); },
       [](Bytes& B) { Wr32(B, kOptional + OptionalHeader::SectionAlignment, kFileAlign / 2); },
       "bad section or file alignment"},
      {"section address",
       [&](Bytes& B) { Wr32(B, SectionField(3, SectionHeader::VirtualAddress), Reloc.Rva + kSectionAlign); },
       [&](Bytes& B) { Wr32(B, SectionField(3, SectionHeader::VirtualAddress), Reloc.Rva + 1); },
       "section .reloc has a bad address"},
      {".rsrc raw pointer", [&](Bytes& B) { B = Shifted(B, 2, kFileAlign); }, [&](Bytes& B) { B = Shifted(B, 2, 1); },
       "the resource section has no data or is not aligned in the file"},
      {"raw data before .rsrc",
       [&](Bytes& B) { Wr32(B, SectionField(1, SectionHeader::SizeOfRawData), Rsrc.RawPointer - Rdata.RawPointer); },
       [&](Bytes& B) {
         Wr32(B, SectionField(1, SectionHeader::SizeOfRawData), Rsrc.RawPointer - Rdata.RawPointer + 1);
       },
       "the sections are not in file order"},
      {"relocations after .rsrc",
       [&](Bytes& B) {
         Wr32(B, DirectoryField(DataDirectory::BaseRelocation, DataDirectory::VirtualAddress), RsrcEnd);
       },
       [&](Bytes& B) {
         Wr32(B, DirectoryField(DataDirectory::BaseRelocation, DataDirectory::VirtualAddress), RsrcEnd - 1);
       },
       "data directory 5 lies in or after the resource section"},
      {"a directory ending where .rsrc starts",
       [&](Bytes& B) {
         Wr32(B, DirectoryField(1, DataDirectory::VirtualAddress), Rsrc.Rva - 8);
         Wr32(B, DirectoryField(1, DataDirectory::DataSize), 8);
       },
       [&](Bytes& B) {
         Wr32(B, DirectoryField(1, DataDirectory::VirtualAddress), Rsrc.Rva - 8);
         Wr32(B, DirectoryField(1, DataDirectory::DataSize), 9);
       },
       "data directory 1 lies in or after the resource section"},
      {"a directory starting where .rsrc starts",
       [&](Bytes& B) {
         Wr32(B, DirectoryField(1, DataDirectory::VirtualAddress), Rsrc.Rva - 1);
         Wr32(B, DirectoryField(1, DataDirectory::DataSize), 1);
       },
       [&](Bytes& B) {
         Wr32(B, DirectoryField(1, DataDirectory::VirtualAddress), Rsrc.Rva);
         Wr32(B, DirectoryField(1, DataDirectory::DataSize), 1);
       },
       "data directory 1 lies in or after the resource section"},
      {"section table against SizeOfHeaders",
       [&](Bytes& B) { Wr32(B, kOptional + OptionalHeader::SizeOfHeaders, SectionTableEnd); },
       [&](Bytes& B) { Wr32(B, kOptional + OptionalHeader::SizeOfHeaders, SectionTableEnd - SectionHeader::Size); },
       "truncated headers"},
      {"section table a byte past SizeOfHeaders",
       [&](Bytes& B) { Wr32(B, kOptional + OptionalHeader::SizeOfHeaders, SectionTableEnd); },
       [&](Bytes& B) { Wr32(B, kOptional + OptionalHeader::SizeOfHeaders, SectionTableEnd - 1); }, "truncated headers"},
      {"a section ending where the next begins",
       [&](Bytes& B) { Wr32(B, SectionField(0, SectionHeader::VirtualSize), Rdata.Rva - Text.Rva); },
       [&](Bytes& B) { Wr32(B, SectionField(0, SectionHeader::VirtualSize), Rdata.Rva - Text.Rva + 1); },
       "sections overlap or are out of order"},
      {"the entry point against .rsrc",
       [&](Bytes& B) { Wr32(B, kOptional + OptionalHeader::AddressOfEntryPoint, Rsrc.Rva - 1); },
       [&](Bytes& B) { Wr32(B, kOptional + OptionalHeader::AddressOfEntryPoint, Rsrc.Rva); },
       "the entry point lies in or after the resource section"},
      {"raw data against the end of the file",
       [&](Bytes& B) {
         Wr32(B, SectionField(3, SectionHeader::SizeOfRawData),
              static_cast<std::uint32_t>(B.size()) - Reloc.RawPointer);
       },
       [&](Bytes& B) {
         Wr32(B, SectionField(3, SectionHeader::SizeOfRawData),
              static_cast<std::uint32_t>(B.size()) - Reloc.RawPointer + 1);
       },
       "section .reloc lies past the end of the file"},
  };
  for (const auto& C : Cases) {
    Bytes Taken = Sample, Refused = Sample;
    C.taken(Taken);
    C.refused(Refused);
    EXPECT_EQ(ParseError(Taken), "(parsed)") << C.what;
    EXPECT_EQ(ParseError(Refused), C.error) << C.what;
  }
  // The largest file alignment passes that check (this image fails later, its sections being
  // aligned for less); the next power of two does not.
  const auto WithAlignment = [&](std::uint32_t Alignment) {
    Bytes B = Sample;
    Wr32(B, kOptional + OptionalHeader::FileAlignment, Alignment);
    Wr32(B, kOptional + OptionalHeader::SectionAlignment, Alignment);
    return ParseError(B);
  };
  EXPECT_NE(WithAlignment(0x10000), "bad section or file alignment");
  EXPECT_EQ(WithAlignment(0x20000), "bad section or file alignment");

  // The tree of a rewritten image, whose data lie back to back in the order of the data entries,
  // the last one ending exactly at the section's VirtualSize.
  const Bytes Written = TPeImage::Parse(Sample).Write();
  const SectionInfo S = Section(Written, 2);
  const auto Target = [&](std::uint32_t DirectoryAt) {
    return Rd32(Written, EntryField(S.RawPointer + DirectoryAt, 0, ResourceDirectoryEntry::OffsetToData));
  };
  const std::uint32_t Names = Target(0) & 0x7FFFFFFF, Languages = Target(Names) & 0x7FFFFFFF;
  const std::size_t First = S.RawPointer + Target(Languages), Second = First + ResourceDataEntry::Size,
                    Last = First + ResourceDataEntry::Size * (SampleResources().size() - 1);
  const std::uint32_t Gap =
      Rd32(Written, Second + ResourceDataEntry::DataRva) - Rd32(Written, First + ResourceDataEntry::DataRva);
  ASSERT_EQ(Rd32(Written, Last + ResourceDataEntry::DataRva) + Rd32(Written, Last + ResourceDataEntry::DataSize),
            S.Rva + S.VirtualSize);
  ASSERT_GT(S.RawSize, S.VirtualSize);  // raw padding follows the tree
  const std::uint32_t LastSize = Rd32(Written, Last + ResourceDataEntry::DataSize);
  const struct {
    const char* what;
    std::function<void(Bytes&)> taken, refused;
    const char* error;
  } Leaves[] = {
      {"data against the next data", [&](Bytes& B) { Wr32(B, First + ResourceDataEntry::DataSize, Gap); },
       [&](Bytes& B) { Wr32(B, First + ResourceDataEntry::DataSize, Gap + 1); }, "resource data overlaps"},
      {"data against the raw padding", [](Bytes&) {},
       [&](Bytes& B) { Wr32(B, Last + ResourceDataEntry::DataSize, LastSize + 1); },
       "resource data lies outside the resource section"},
      {"a leaf at the name level", [](Bytes&) {},
       [&](Bytes& B) { Wr32(B, EntryField(S.RawPointer + Names, 0, ResourceDirectoryEntry::OffsetToData), Languages); },
       "a resource name entry is not a directory"},
  };
  for (const auto& C : Leaves) {
    Bytes Taken = Written, Refused = Written;
    C.taken(Taken);
    C.refused(Refused);
    EXPECT_EQ(ParseError(Taken), "(parsed)") << C.what;
    EXPECT_EQ(ParseError(Refused), C.error) << C.what;
  }
}

// Directories whose entries overlap one another could hold more entries than the section has room
// for. Here the root fills its section with entries, and the directory of its first type starts
// inside the root's first entry, its entry count being that entry's id.
TEST(PeImage, OverlappingResourceDirectoriesAreRefused) {
  Bytes Image =
      BuildImage(SampleSections(), {Res(TResourceId::Number(RtRcData), TResourceId::Number(1), 0, Bytes(4000))});
  const SectionInfo Rsrc = Section(Image, 2);
  const std::uint32_t R = Rsrc.RawPointer, Size = Rsrc.VirtualSize;
  // Directories must start on no boundary: this one lies 4 bytes in, its counts in the root's first entry's id.
  const std::uint32_t Inner = ResourceDirectoryEntry::Size / 2;
  const std::uint32_t RootEntries = (Size - ResourceDirectory::Size) / ResourceDirectoryEntry::Size;
  const auto Build = [&](std::uint32_t InnerEntries) {
    Bytes B = Image;
    std::fill_n(B.begin() + R, Rsrc.RawSize, 0);
    Wr16(B, R + ResourceDirectory::NumberOfIdEntries, RootEntries);
    for (std::uint32_t I = 0; I < RootEntries; ++I)
      Wr32(B, EntryField(R, I, ResourceDirectoryEntry::OffsetToData), 0x80000000 | Inner);
    ASSERT_EQ(Inner + ResourceDirectory::NumberOfNamedEntries, EntryField(0, 0, ResourceDirectoryEntry::Name));
    Wr32(B, EntryField(R, 0, ResourceDirectoryEntry::Name), InnerEntries);
    Image.swap(B);
  };
  const Bytes Original = Image;
  // One entry more than the section has room for, counting both directories.
  const std::uint32_t TooMany = Size / ResourceDirectoryEntry::Size + 1 - RootEntries;
  ASSERT_LE(Inner + ResourceDirectory::Size + ResourceDirectoryEntry::Size * TooMany, Size);
  Build(TooMany);
  EXPECT_EQ(ParseError(Image), "resource directories overlap");
  // As many as it has room for pass that count, and fail on what the entries hold.
  Image = Original;
  Build(TooMany - 1);
  const std::string Edge = ParseError(Image);
  EXPECT_NE(Edge, "resource directories overlap");
  EXPECT_NE(Edge, "(parsed)");
}

TEST(PeImage, ManyEntriesNamingOneLongNameAreRefusedBeforeTheyAreCopied) {
  // 6,000 type entries all name one string of 16,000 characters, each with an empty directory
  // of its own (overlapping zeros): no leaves, but 6,000 copies of the name (192 MB) if each
  // entry copied it. The section holds about 86 KB.
  constexpr std::uint32_t EntryCount = 6000, NameLength = 16000;
  constexpr std::uint32_t NameAt = ResourceDirectory::Size + ResourceDirectoryEntry::Size * EntryCount,
                          EmptyAt = NameAt + ResourceString::Units + 2 * NameLength;
  Bytes Image = BuildImage(SampleSections(), {Res(TResourceId::Number(RtRcData), TResourceId::Number(1), 0,
                                                  Bytes(EmptyAt + EntryCount + ResourceDirectory::Size))});
  const SectionInfo Rsrc = Section(Image, 2);
  ASSERT_GE(Rsrc.VirtualSize, EmptyAt + EntryCount + ResourceDirectory::Size);
  std::fill_n(Image.begin() + Rsrc.RawPointer, Rsrc.RawSize, 0);
  const std::uint32_t R = Rsrc.RawPointer;
  Wr16(Image, R + ResourceDirectory::NumberOfNamedEntries, EntryCount);
  for (std::uint32_t I = 0; I < EntryCount; ++I) {
    Wr32(Image, EntryField(R, I, ResourceDirectoryEntry::Name), 0x80000000 | NameAt);
    Wr32(Image, EntryField(R, I, ResourceDirectoryEntry::OffsetToData), 0x80000000 | (EmptyAt + I));
  }
  Wr16(Image, R + NameAt + ResourceString::Length, NameLength);
  for (std::uint32_t C = 0; C < NameLength; ++C)
    Wr16(Image, R + NameAt + ResourceString::Units + 2 * C, 'A');
  EXPECT_EQ(ParseError(Image), "the resource tree is too large for its section");
}

TEST(PeImage, DataPastTheImageOrACertificateStopsTheRewrite) {
  Bytes Payload = SampleImage();
  const std::size_t ImageSize = Payload.size();
  Payload.insert(Payload.end(), {'M', 'Z', 1, 2, 3});
  const TPeImage Appended = TPeImage::Parse(Payload);
  EXPECT_EQ(Appended.OverlaySize(), 5u);
  EXPECT_FALSE(Appended.HasCertificateTable());
  try {
    Appended.Write();
    ADD_FAILURE() << "written";
  } catch (const EPeError& E) {
    EXPECT_STREQ(E.what(), "the image has data past its last section (a payload or a signature)");
  }

  Bytes SignedImage = SampleImage();
  Wr32(SignedImage, DirectoryField(DataDirectory::Security, DataDirectory::VirtualAddress),
       static_cast<std::uint32_t>(ImageSize));
  Wr32(SignedImage, DirectoryField(DataDirectory::Security, DataDirectory::DataSize), 16);
  SignedImage.resize(ImageSize + 16, 0x30);
  const TPeImage WithCertificate = TPeImage::Parse(SignedImage);
  EXPECT_TRUE(WithCertificate.HasCertificateTable());
  EXPECT_EQ(WithCertificate.OverlaySize(), 16u);
  try {
    WithCertificate.Write();
    ADD_FAILURE() << "written";
  } catch (const EPeError& E) {
    EXPECT_STREQ(E.what(), "the image is signed; its resources can only be changed before signing");
  }

  // A linker may leave the last section's raw size unaligned and pad with zeros: that is no overlay.
  Bytes Padded = SampleImage();
  Wr32(Padded, SectionField(3, SectionHeader::SizeOfRawData), 0x998);
  EXPECT_EQ(TPeImage::Parse(Padded).OverlaySize(), 0u);
  EXPECT_NO_THROW(TPeImage::Parse(Padded).Write());
  Padded.back() = 1;
  EXPECT_EQ(TPeImage::Parse(Padded).OverlaySize(), Align(0x998, kFileAlign) - 0x998);

  TPeImage Twice = TPeImage::Parse(SampleImage());
  Twice.Resources().push_back(Twice.Resources().front());
  EXPECT_THROW(Twice.Write(), EPeError);
}

TEST(PeImage, RandomlyDamagedImagesAreReadOrRefusedAndWhatIsReadRebuildsFaithfully) {
  std::mt19937 Rng(20261208);
  const Bytes Good = SampleImage();
  const std::uint32_t Rsrc = Section(Good, 2).RawPointer, RsrcSize = Section(Good, 2).VirtualSize;
  int Refused = 0, Rebuilt = 0;
  for (int Round = 0; Round < 4000; ++Round) {
    Bytes File = Good;
    for (int Hits = 1 + Rng() % 6; Hits > 0; --Hits) {
      // Mostly the tree (its directories and entries especially), sometimes the headers.
      const std::uint32_t At = Rng() % 4 == 0 ? Rng() % kHeaders : Rsrc + Rng() % (Rng() % 2 ? 0x100 : RsrcSize);
      File[At] =
          Rng() % 3 == 0 ? static_cast<std::uint8_t>(File[At] ^ (1u << Rng() % 8)) : static_cast<std::uint8_t>(Rng());
    }
    SCOPED_TRACE("round " + std::to_string(Round));
    std::vector<TResource> Read;
    Bytes Written;
    try {
      const TPeImage Image = TPeImage::Parse(File);
      Read = Image.Resources();
      Image.VersionString("ProductName");
      Written = Image.Write();
    } catch (const EPeError&) {
      ++Refused;
      continue;
    }
    const TPeImage Again = TPeImage::Parse(Written);
    ASSERT_NO_FATAL_FAILURE(ExpectSameResources(Again.Resources(), Read));
    ASSERT_EQ(Rd32(Written, kChecksumAt), ReferenceChecksum(Written, kChecksumAt));
    ++Rebuilt;
  }
  // Both outcomes must really have been exercised.
  EXPECT_GT(Refused, 1000);
  EXPECT_GT(Rebuilt, 1000);
}

TEST(IconFile, MadeFilesParseBackAndBrokenOnesAreRefused) {
  const std::vector<TIconImage> Images{{32, 32, 0, 1, 32, DibImage(32, 1)}, {0, 0, 0, 0, 0, PngImage(2)}};
  const Bytes File = MakeIconFile(Images);
  EXPECT_EQ(Rd32(File, IconField(0, IconFileEntry::DataOffset)), IconField(2, 0));
  const auto Parsed = ParseIconFile(File);
  ASSERT_EQ(Parsed.size(), 2u);
  for (std::size_t I = 0; I < 2; ++I) {
    EXPECT_EQ(Parsed[I].Width, Images[I].Width);
    EXPECT_EQ(Parsed[I].Height, Images[I].Height);
    EXPECT_EQ(Parsed[I].Planes, Images[I].Planes);
    EXPECT_EQ(Parsed[I].BitCount, Images[I].BitCount);
    EXPECT_EQ(Parsed[I].Data, Images[I].Data);
  }
  EXPECT_THROW(MakeIconFile({}), EPeError);
  // The directory counts its images in 16 bits.
  const std::vector<TIconImage> Most(0xFFFF, TIconImage{16, 16, 0, 1, 32, {}});
  EXPECT_EQ(Rd16(MakeIconFile(Most), IconDirectory::Count), 0xFFFFu);
  std::vector<TIconImage> TooMany = Most;
  TooMany.push_back(Most.back());
  try {
    MakeIconFile(TooMany);
    ADD_FAILURE() << "65,536 images taken";
  } catch (const EPeError& E) {
    EXPECT_STREQ(E.what(), "an icon holds 1 to 65535 images, not 65536");
  }

  const std::uint32_t Second = Rd32(File, IconField(1, IconFileEntry::DataOffset));
  const struct {
    const char* what;
    std::function<void(Bytes&)> change;
    const char* error;
  } Cases[] = {
      {"too short", [](Bytes& B) { B.resize(5); }, "not an icon file"},
      {"a PNG file", [](Bytes& B) { B = PngImage(3); }, "not an icon file"},
      {"a cursor", [](Bytes& B) { Wr16(B, IconDirectory::Type, 2); }, "not an icon file"},
      {"reserved set", [](Bytes& B) { Wr16(B, IconDirectory::Reserved, 1); }, "not an icon file"},
      {"no images", [](Bytes& B) { Wr16(B, IconDirectory::Count, 0); }, "the icon file holds no images"},
      {"directory cut short", [](Bytes& B) { Wr16(B, IconDirectory::Count, 0x1000); },
       "the icon file's directory is cut short"},
      {"empty image", [](Bytes& B) { Wr32(B, IconField(1, IconFileEntry::DataSize), 0); }, "icon image 2 is empty"},
      {"image past the end", [](Bytes& B) { Wr32(B, IconField(1, IconFileEntry::DataSize), 0xFFFFFFF0); },
       "icon image 2 lies outside the file"},
      {"image in the directory",
       [](Bytes& B) { Wr32(B, IconField(0, IconFileEntry::DataOffset), IconDirectory::Size); },
       "icon image 1 lies outside the file"},
      {"not a picture", [](Bytes& B) { B[Rd32(B, IconField(0, IconFileEntry::DataOffset))] = 41; },
       "icon image 1 is neither a bitmap nor a PNG"},
      {"images overlap",
       [&](Bytes& B) {
         Wr32(B, IconField(1, IconFileEntry::DataOffset), Second - 16);
         std::copy_n(PngImage(2).begin(), 16, B.begin() + Second - 16);
       },
       "icon images 1 and 2 overlap"},
      {"a PNG signature alone", [](Bytes& B) { Wr32(B, IconField(1, IconFileEntry::DataSize), 8); },
       "icon image 2 is a PNG without its header chunk"},
      {"a PNG cut in its header chunk",
       [](Bytes& B) { Wr32(B, IconField(1, IconFileEntry::DataSize), 8 + 8 + 13 + 3); },
       "icon image 2 is a PNG without its header chunk"},
      {"a PNG of another first chunk", [&](Bytes& B) { B[Second + 12] = 'i'; },
       "icon image 2 is a PNG without its header chunk"},
      {"a bitmap shorter than its header", [](Bytes& B) { Wr32(B, IconField(0, IconFileEntry::DataSize), 39); },
       "icon image 1 is a bitmap shorter than its 40-byte header"},
      {"a directory cut in its last entry", [](Bytes& B) { B.resize(IconField(2, 0) - 1); },
       "the icon file's directory is cut short"},
      {"a directory without its images", [](Bytes& B) { B.resize(IconField(2, 0)); },
       "icon image 1 lies outside the file"},
  };
  for (const auto& C : Cases) {
    Bytes Broken = File;
    C.change(Broken);
    try {
      ParseIconFile(Broken);
      ADD_FAILURE() << C.what << ": parsed";
    } catch (const EPeError& E) {
      EXPECT_STREQ(E.what(), C.error) << C.what;
    }
  }
  // The shortest images taken: a PNG of signature and header chunk, a bitmap of its header alone.
  Bytes Shortest = File;
  Wr32(Shortest, IconField(0, IconFileEntry::DataSize), 40);
  Wr32(Shortest, IconField(1, IconFileEntry::DataSize), 8 + 8 + 13 + 4);
  const auto ParsedShortest = ParseIconFile(Shortest);
  ASSERT_EQ(ParsedShortest.size(), 2u);
  EXPECT_EQ(ParsedShortest[0].Data, Bytes(Images[0].Data.begin(), Images[0].Data.begin() + 40));
  EXPECT_EQ(ParsedShortest[1].Data, Bytes(Images[1].Data.begin(), Images[1].Data.begin() + 33));
  // Damage anywhere is read or refused with a message, never read past the file.
  std::mt19937 Rng(3);
  for (int Round = 0; Round < 3000; ++Round) {
    Bytes Broken = File;
    for (int Hits = 1 + Rng() % 3; Hits > 0; --Hits)
      Broken[Rng() % 64] = static_cast<std::uint8_t>(Rng());
    try {
      for (const TIconImage& Image : ParseIconFile(Broken))
        ASSERT_LE(Image.Data.size(), Broken.size());
    } catch (const EPeError& E) {
      ASSERT_STRNE(E.what(), "") << "round " << Round;
    }
  }
}

TEST(IconGroup, ReplacingAGroupDropsOnlyItsOwnImagesAndKeepsItsLanguage) {
  auto Resources = SampleResources();
  // A second group shares image 2; image 5 belongs to nobody.
  Resources.push_back(Res(TResourceId::Number(RtGroupIcon), TResourceId::Number(7), 1033, GroupDirectory({2, 3})));
  Resources.push_back(Res(TResourceId::Number(RtIcon), TResourceId::Number(3), 1033, DibImage(16, 11)));
  Resources.push_back(Res(TResourceId::Number(RtIcon), TResourceId::Number(5), 1033, DibImage(16, 12)));
  TPeImage Image = TPeImage::Parse(BuildImage(SampleSections(), Resources));

  // Planes and bit count left out of the file come from the bitmap itself.
  const std::vector<TIconImage> Icons{{32, 32, 0, 0, 0, DibImage(32, 20)},
                                      {48, 48, 0, 1, 32, DibImage(48, 21)},
                                      {0, 0, 0, 1, 32, PngImage(22)},
                                      {16, 16, 0, 1, 32, DibImage(16, 23)}};
  ReplaceIconGroup(Image, TResourceId::Named("mainicon"), Icons);
  const TPeImage Written = TPeImage::Parse(Image.Write());

  const TResource* Group = Written.Find(TResourceId::Number(RtGroupIcon), TResourceId::Named("MAINICON"));
  ASSERT_NE(Group, nullptr);
  EXPECT_EQ(Group->Language, 1033);
  ASSERT_EQ(Group->Data.size(), IconDirectory::Size + GroupIconEntry::Size * Icons.size());
  EXPECT_EQ(Rd16(Group->Data, IconDirectory::Type), 1u);
  EXPECT_EQ(Rd16(Group->Data, IconDirectory::Count), Icons.size());
  // Image 1 is freed, 2 stays for the other group, 3 and 5 are taken: ids 1, 4, 6, 7.
  const std::uint16_t WantIds[] = {1, 4, 6, 7};
  for (std::size_t I = 0; I < Icons.size(); ++I) {
    const std::size_t E = IconDirectory::Size + GroupIconEntry::Size * I;
    EXPECT_EQ(Group->Data[E + GroupIconEntry::Width], Icons[I].Width);
    EXPECT_EQ(Group->Data[E + GroupIconEntry::Height], Icons[I].Height);
    EXPECT_EQ(Rd16(Group->Data, E + GroupIconEntry::Planes), 1u) << I;
    EXPECT_EQ(Rd16(Group->Data, E + GroupIconEntry::BitCount), 32u) << I;
    EXPECT_EQ(Rd32(Group->Data, E + GroupIconEntry::DataSize), Icons[I].Data.size());
    EXPECT_EQ(Rd16(Group->Data, E + GroupIconEntry::Id), WantIds[I]);
    const TResource* Icon = Written.Find(TResourceId::Number(RtIcon), TResourceId::Number(WantIds[I]));
    ASSERT_NE(Icon, nullptr);
    EXPECT_EQ(Icon->Data, Icons[I].Data);
    EXPECT_EQ(Icon->Language, 1033);
  }
  EXPECT_EQ(Written.Find(TResourceId::Number(RtIcon), TResourceId::Number(2))->Data, DibImage(16, 3));
  EXPECT_EQ(Written.Find(TResourceId::Number(RtIcon), TResourceId::Number(5))->Data, DibImage(16, 12));
  EXPECT_EQ(std::count_if(Written.Resources().begin(), Written.Resources().end(),
                          [](const TResource& r) { return r.Type.Matches(TResourceId::Number(RtIcon)); }),
            7);

  // With every lower id taken, the last image may still have 65,535, and the next none. Group 9
  // lists only an image that others share, so replacing it frees no id.
  auto Crowded = Resources;
  Crowded.push_back(Res(TResourceId::Number(RtGroupIcon), TResourceId::Number(9), 1033, GroupDirectory({2})));
  TPeImage Full = TPeImage::Parse(BuildImage(SampleSections(), Crowded));
  std::set<std::uint16_t> Taken;
  for (const TResource& R : Full.Resources())
    if (R.Type.Matches(TResourceId::Number(RtIcon)))
      Taken.insert(R.Name.Id);
  for (std::uint32_t Id = 1; Id < 0xFFFF; ++Id)
    if (!Taken.count(static_cast<std::uint16_t>(Id)))
      Full.Resources().push_back(
          Res(TResourceId::Number(RtIcon), TResourceId::Number(static_cast<std::uint16_t>(Id)), 1033, {}));
  TPeImage OneMore = Full;
  ReplaceIconGroup(Full, TResourceId::Number(9), {Icons[0]});
  EXPECT_EQ(Rd16(Full.Find(TResourceId::Number(RtGroupIcon), TResourceId::Number(9))->Data,
                 IconDirectory::Size + GroupIconEntry::Id),
            0xFFFFu);
  EXPECT_THROW(ReplaceIconGroup(OneMore, TResourceId::Number(9), {Icons[0], Icons[1]}), EPeError);

  EXPECT_THROW(ReplaceIconGroup(Image, TResourceId::Named("OTHER"), Icons), EPeError);
  Image.Find(TResourceId::Number(RtGroupIcon), TResourceId::Number(7))->Data.resize(10);
  EXPECT_THROW(ReplaceIconGroup(Image, TResourceId::Number(7), Icons), EPeError);
  EXPECT_THROW(ReplaceIconGroup(Image, TResourceId::Named("MAINICON"), {}), EPeError);

  // A group directory is taken whole and of type 1 (icons) only.
  const auto ReplaceError = [&](const std::function<void(Bytes&)>& Change) -> std::string {
    TPeImage Copy = TPeImage::Parse(BuildImage(SampleSections(), Resources));
    Change(Copy.Find(TResourceId::Number(RtGroupIcon), TResourceId::Number(7))->Data);
    try {
      ReplaceIconGroup(Copy, TResourceId::Number(7), Icons);
    } catch (const EPeError& E) {
      return E.what();
    }
    return "(replaced)";
  };
  const std::size_t Whole = IconDirectory::Size + GroupIconEntry::Size * 2;
  EXPECT_EQ(ReplaceError([](Bytes&) {}), "(replaced)");
  EXPECT_EQ(ReplaceError([](Bytes& g) { Wr16(g, IconDirectory::Type, 2); }), "the icon group #7 is malformed");
  EXPECT_EQ(ReplaceError([](Bytes& g) { Wr16(g, IconDirectory::Reserved, 1); }), "the icon group #7 is malformed");
  EXPECT_EQ(ReplaceError([&](Bytes& g) { g.resize(Whole + 5); }), "(replaced)");
  EXPECT_EQ(ReplaceError([&](Bytes& g) { g.resize(Whole - 1); }), "the icon group #7 is malformed");
}

// --- Double-size pictures in branding -------------------------------------------------------

Bytes BrandFixture(const std::string& Name) {
  std::ifstream In(std::string(BRAND_FIXTURES) + "/" + Name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(In), {});
}

Bytes Stream(const TStreamObject& Root) {
  TMemoryStream Out;
  WriteComponentStream(Out, Root);
  return Out.Data();
}

TStreamValue Jpeg(const Bytes& Data) { return TStreamValue::Binary(EncodePictureValue({"TJPEGImage", Data})); }

// A host with a window description holding the two picture controls, and,
// when `DoubleKeys` is not empty, double-size pictures under these keys.
Bytes BrandableHost(const std::vector<std::string>& DoubleKeys) {
  TStreamObject Form{0, {}, "TInstallerForm", "InstallerForm", {}, {}};
  TStreamObject Image{0, {}, "TImage", "Image1", {{"Picture.Data", Jpeg(Pattern(40, 1))}}, {}};
  TStreamObject Button{0, {}, "TMouseEffectImage", "MouseEffectImage1", {}, {}};
  for (const char* Property : {"Picture.Data", "OriginPicture.Data", "OverPicture.Data", "DownPicture.Data"})
    Button.Properties.push_back({Property, Jpeg(Pattern(20, 2))});
  Form.Children = {Image, Button};
  auto Resources = SampleResources();
  Resources.erase(Resources.begin() + 6);  // the description in a second language
  Resources[0].Data = Stream(Form);
  if (!DoubleKeys.empty()) {
    TStreamObject Twice{0, {}, "TInstallerForm", "InstallerForm", {}, {}};
    for (const std::string& Key : DoubleKeys)
      Twice.Properties.push_back({Key, Jpeg(Pattern(80, 3))});
    Resources.push_back(
        Res(TResourceId::Number(RtRcData), TResourceId::Named("TINSTALLERFORM2X"), 1033, Stream(Twice)));
  }
  return BuildImage(SampleSections(), Resources);
}

TBrandFile Given(const char* Role, const std::string& Fixture) { return {true, Role, BrandFixture(Fixture)}; }

// The keys of the branded host's double-size pictures, in order, each with
// its picture's bytes; nullopt when it has none.
std::optional<std::vector<std::pair<std::string, Bytes>>> Doubles(const Bytes& Branded) {
  const TPeImage Image = TPeImage::Parse(Branded);
  const TResource* Twice = Image.Find(TResourceId::Number(RtRcData), TResourceId::Named("TINSTALLERFORM2X"));
  if (!Twice)
    return std::nullopt;
  EXPECT_EQ(Twice->Language, 1033);
  TMemoryStream In(Twice->Data);
  const TStreamObject Root = ReadComponentStream(In);
  EXPECT_EQ(Root.Name, "InstallerForm");
  EXPECT_EQ(Root.ClassName, "TInstallerForm");
  EXPECT_TRUE(Root.Children.empty());
  std::vector<std::pair<std::string, Bytes>> Found;
  for (const TStreamProperty& P : Root.Properties)
    Found.emplace_back(P.Name, DecodePictureValue(std::get<TBinaryValue>(P.Value.Data).Bytes).Data);
  return Found;
}

const char* const kButtonKeys[] = {"MouseEffectImage1.Picture", "MouseEffectImage1.OriginPicture",
                                   "MouseEffectImage1.DownPicture"};

TEST(Branding, DoubleSizePicturesGoUnderTheKeysTheyDouble) {
  const Bytes Background = BrandFixture("background-2x.jpg"), Button = BrandFixture("button-2x.jpg");
  TBrandFiles Files;
  Files.Background2x = Given("background-2x", "background-2x.jpg");
  Files.Hover2x = Given("hover-2x", "button-2x.jpg");
  // A host without any gets the resource, in the description's language.
  auto Stored = Doubles(BrandHost(BrandableHost({}), "host", Files));
  ASSERT_TRUE(Stored);
  using TEntries = std::vector<std::pair<std::string, Bytes>>;
  EXPECT_EQ(*Stored, (TEntries{{"Image1.Picture", Background}, {"MouseEffectImage1.OverPicture", Button}}));

  // A host with some keeps those not given and replaces the others.
  Files = {};
  Files.Button2x = Given("button-2x", "button-2x.jpg");
  Stored = Doubles(BrandHost(BrandableHost({"Image1.Picture", "MouseEffectImage1.Picture"}), "host", Files));
  ASSERT_TRUE(Stored);
  TEntries Want{{"Image1.Picture", Pattern(80, 3)}};
  for (const char* Key : kButtonKeys)
    Want.push_back({Key, Button});
  EXPECT_EQ(*Stored, Want);
}

// A distributor's picture must not show as the host's demo art on a dense screen.
TEST(Branding, ASinglePictureWithoutItsDoubleDropsTheHostsDouble) {
  const std::vector<std::string> All{"Image1.Picture", "MouseEffectImage1.Picture", "MouseEffectImage1.OriginPicture",
                                     "MouseEffectImage1.DownPicture", "MouseEffectImage1.OverPicture"};
  TBrandFiles Files;
  Files.Button = Given("button", "button.jpg");
  auto Stored = Doubles(BrandHost(BrandableHost(All), "host", Files));
  ASSERT_TRUE(Stored);
  std::vector<std::string> Keys;
  for (const auto& [Key, _] : *Stored)
    Keys.push_back(Key);
  EXPECT_EQ(Keys, (std::vector<std::string>{"Image1.Picture", "MouseEffectImage1.OverPicture"}));

  // With every single picture given and no double, the resource goes.
  Files.Background = Given("background", "background.jpg");
  Files.Hover = Given("hover", "button.jpg");
  EXPECT_FALSE(Doubles(BrandHost(BrandableHost(All), "host", Files)));
  // The icon or the skin alone leaves the doubles as they are.
  Files = {};
  Files.Skin = {true, "skin", Pattern(10, 4)};
  Stored = Doubles(BrandHost(BrandableHost(All), "host", Files));
  ASSERT_TRUE(Stored);
  EXPECT_EQ(Stored->size(), All.size());
  // And a host without doubles gets none from single pictures.
  Files.Background = Given("background", "background.jpg");
  EXPECT_FALSE(Doubles(BrandHost(BrandableHost({}), "host", Files)));
}

TEST(Branding, DoubleSizePicturesThatCannotBeReadRefuseTheHost) {
  TBrandFiles Files;
  Files.Background2x = Given("background-2x", "background-2x.jpg");
  Bytes Host = BrandableHost({"Image1.Picture"});
  TPeImage Image = TPeImage::Parse(Host);
  Image.Find(TResourceId::Number(RtRcData), TResourceId::Named("TINSTALLERFORM2X"))->Data = Pattern(30, 9);
  try {
    BrandHost(Image.Write(), "host 'h.exe'", Files);
    FAIL();
  } catch (const EFailure& Failure) {
    EXPECT_EQ(std::string(Failure.what()).rfind("host 'h.exe' has double-size pictures that cannot be read: ", 0), 0u)
        << Failure.what();
  }
}

}  // namespace
