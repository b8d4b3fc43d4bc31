// The synthetic PE32+ images the tests of the resource rewriter, the icon
// writer and the branding build: a tree encoder of their own (another
// layout and order than the rewriter's), sample sections and resources.
#pragma once

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

namespace PeImageTestSupport {

using namespace mkinstaller;
using namespace FileFormats;
using Bytes = std::vector<std::uint8_t>;

// Fixed header layout of the images built here.
inline constexpr std::uint32_t kFileAlign = 0x200, kSectionAlign = 0x1000, kHeaders = 0x400;
inline constexpr std::uint32_t kPe = 0x80, kOptionalSize = 0xF0;
inline constexpr std::size_t kFileHeader = kPe + PeSignatureSize, kOptional = kFileHeader + FileHeader::Size,
                             kTable = kOptional + kOptionalSize;
inline constexpr std::size_t kChecksumAt = kOptional + OptionalHeader::CheckSum;
inline constexpr std::uint32_t kRelocSection = 0x42000040, kDataSection = 0xC0000040, kCodeSection = 0x60000020;

inline std::uint32_t Rd16(const Bytes& B, std::size_t At) { return B.at(At) | B.at(At + 1) << 8; }
inline std::uint32_t Rd32(const Bytes& B, std::size_t At) {
  return B.at(At) | B.at(At + 1) << 8 | B.at(At + 2) << 16 | static_cast<std::uint32_t>(B.at(At + 3)) << 24;
}
inline void Wr16(Bytes& B, std::size_t At, std::uint32_t V) {
  B.at(At) = static_cast<std::uint8_t>(V);
  B.at(At + 1) = static_cast<std::uint8_t>(V >> 8);
}
inline void Wr32(Bytes& B, std::size_t At, std::uint32_t V) {
  Wr16(B, At, V);
  Wr16(B, At + 2, V >> 16);
}
inline std::uint32_t Align(std::uint64_t V, std::uint32_t A) { return static_cast<std::uint32_t>((V + A - 1) / A * A); }

inline Bytes Pattern(std::size_t Size, unsigned Seed) {
  Bytes B(Size);
  for (std::size_t I = 0; I < Size; ++I)
    B[I] = static_cast<std::uint8_t>(I * 7 + Seed * 31 + (I >> 8));
  return B;
}

// The header checksum as the signing tools document it: 32-bit words with
// end-around carry, folded to 16 bits, plus the file length.
inline std::uint32_t ReferenceChecksum(Bytes File, std::size_t Field) {
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
inline std::size_t SectionField(unsigned Index, std::uint64_t Field) {
  return kTable + SectionHeader::Size * Index + Field;
}
inline std::size_t DirectoryField(unsigned Index, std::uint64_t Field) {
  return kOptional + OptionalHeader::DataDirectories + DataDirectory::Size * Index + Field;
}

// A section header as stored.
struct SectionInfo {
  std::uint32_t VirtualSize, Rva, RawSize, RawPointer;
};
inline SectionInfo Section(const Bytes& Image, unsigned Index) {
  return {Rd32(Image, SectionField(Index, SectionHeader::VirtualSize)),
          Rd32(Image, SectionField(Index, SectionHeader::VirtualAddress)),
          Rd32(Image, SectionField(Index, SectionHeader::SizeOfRawData)),
          Rd32(Image, SectionField(Index, SectionHeader::PointerToRawData))};
}
inline std::uint32_t Directory(const Bytes& Image, unsigned Index,
                               std::uint64_t Field = DataDirectory::VirtualAddress) {
  return Rd32(Image, DirectoryField(Index, Field));
}
// Where a field of entry `Index` of the resource directory at `DirectoryAt` lies.
inline std::size_t EntryField(std::size_t DirectoryAt, unsigned Index, std::uint64_t Field) {
  return DirectoryAt + ResourceDirectory::Size + ResourceDirectoryEntry::Size * Index + Field;
}
// Where a field of an icon file's entry for image `Index` lies.
inline std::size_t IconField(unsigned Index, std::uint64_t Field) {
  return IconDirectory::Size + IconFileEntry::Size * Index + Field;
}

// The test's own tree encoder: types, names and languages in the order given,
// directories first, then names, then data entries, then data 4-aligned.
inline Bytes EncodeTree(const std::vector<TResource>& Leaves, std::uint32_t Rva) {
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
inline Bytes BuildImage(const std::vector<TestSection>& Sections, const std::vector<TResource>& Resources) {
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

inline TResource Res(TResourceId Type, TResourceId Name, std::uint16_t Language, Bytes Data) {
  return {std::move(Type), std::move(Name), Language, 0, std::move(Data)};
}

inline Bytes EncodeVersionBlock(const std::u16string& Key, const Bytes& Value, bool Text,
                                const std::vector<Bytes>& Children) {
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
inline Bytes VersionString(const std::u16string& Key, const std::u16string& Value) {
  Bytes V;
  for (char16_t C : Value + u'\0')
    V.insert(V.end(), {static_cast<std::uint8_t>(C), static_cast<std::uint8_t>(C >> 8)});
  return EncodeVersionBlock(Key, V, true, {});
}
inline Bytes VersionInfo() {
  return EncodeVersionBlock(
      u"VS_VERSION_INFO", Bytes(52, 0xEE), false,
      {EncodeVersionBlock(u"StringFileInfo", {}, true,
                          {EncodeVersionBlock(u"040904B0", {}, true,
                                              {VersionString(u"FileDescription", u"Écran \u2603 \U0001F600"),
                                               VersionString(u"ProductName", u"InstallerWin")})}),
       EncodeVersionBlock(u"VarFileInfo", {}, true, {})});
}

// A DIB icon image: its BITMAPINFOHEADER (height doubled for the mask) and pixels.
inline Bytes DibImage(int Size, unsigned Seed) {
  Bytes B = Pattern(BitmapInfoHeader::Size + Size * Size * 4 + Size * Size / 8, Seed);
  Wr32(B, BitmapInfoHeader::HeaderSize, BitmapInfoHeader::Size);
  Wr32(B, BitmapInfoHeader::Width, Size);
  Wr32(B, BitmapInfoHeader::Height, 2 * Size);
  Wr16(B, BitmapInfoHeader::Planes, 1);
  Wr16(B, BitmapInfoHeader::BitCount, 32);
  return B;
}
// A PNG icon image: the signature, then the header chunk (its 13 bytes and checksum left as noise).
inline Bytes PngImage(unsigned Seed) {
  Bytes B = Pattern(200, Seed);
  const std::uint8_t Start[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
  std::copy(std::begin(Start), std::end(Start), B.begin());
  return B;
}
inline Bytes GroupDirectory(const std::vector<std::uint16_t>& Ids) {
  Bytes G(IconDirectory::Size + GroupIconEntry::Size * Ids.size());
  Wr16(G, IconDirectory::Type, IconDirectory::IconType);
  Wr16(G, IconDirectory::Count, static_cast<std::uint32_t>(Ids.size()));
  for (std::size_t I = 0; I < Ids.size(); ++I)
    Wr16(G, IconDirectory::Size + GroupIconEntry::Size * I + GroupIconEntry::Id, Ids[I]);
  return G;
}

inline const TResourceId kExeFile = TResourceId::Named("EXEFILE");

// Resources in the order a linker might meet them: names among numbers,
// languages and types out of order.
inline std::vector<TResource> SampleResources() {
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

inline std::vector<TestSection> SampleSections() {
  return {{".text", Pattern(0x1234, 10), kCodeSection},
          {".rdata", Pattern(0x800, 11), 0x40000040},
          {".rsrc", {}, kDataSection},
          {".reloc", Pattern(0x998, 12), kRelocSection}};
}

inline Bytes SampleImage() { return BuildImage(SampleSections(), SampleResources()); }

inline bool SameResource(const TResource& A, const TResource& B) {
  return A.Type.IsName() == B.Type.IsName() && A.Type.Name == B.Type.Name && A.Type.Id == B.Type.Id &&
         A.Name.IsName() == B.Name.IsName() && A.Name.Name == B.Name.Name && A.Name.Id == B.Name.Id &&
         A.Language == B.Language && A.CodePage == B.CodePage && A.Data == B.Data;
}

// Every resource of `Want` is found in `Have` with the same bytes, and nothing else is there.
inline void ExpectSameResources(const std::vector<TResource>& Have, const std::vector<TResource>& Want) {
  ASSERT_EQ(Have.size(), Want.size());
  for (const TResource& W : Want)
    EXPECT_EQ(std::count_if(Have.begin(), Have.end(), [&](const TResource& h) { return SameResource(h, W); }), 1);
}

// The rules the loader's lookups rely on, checked on the stored tree: in each
// directory the names first and sorted, then ids ascending; entries and data
// aligned; data inside the section. Returns the number of leaves.
inline int CheckTreeRules(const Bytes& Image, unsigned RsrcIndex) {
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

// A damaged copy of the sample image: `Change` edits it given the resource section's file offset.
inline Bytes Damaged(const std::function<void(Bytes&, std::uint32_t)>& Change) {
  Bytes Image = SampleImage();
  Change(Image, Section(Image, 2).RawPointer);
  return Image;
}

inline std::string ParseError(const Bytes& Image) {
  try {
    TPeImage::Parse(Image);
  } catch (const EPeError& E) {
    return E.what();
  }
  return "(parsed)";
}

}  // namespace PeImageTestSupport
