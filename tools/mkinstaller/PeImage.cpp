#include "PeImage.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>

#include "FileFormats.h"
#include "LittleEndian.h"

namespace mkinstaller {
using namespace FileFormats;
namespace {

using TBytes = std::vector<std::uint8_t>;

constexpr std::uint32_t HighBit = ResourceDirectoryEntry::HighBit;
constexpr std::uint64_t MaxSize = 0xFFFFFFFF;

constexpr const char* Truncated = "truncated headers";

struct TSection {
  std::string Name;
  std::uint64_t Header = 0;  // its entry in the section table
  std::uint32_t VirtualSize = 0, Rva = 0, RawSize = 0, RawPointer = 0, Flags = 0;
  // What the loader maps; a zero VirtualSize means the raw size.
  std::uint64_t Span() const { return VirtualSize ? VirtualSize : RawSize; }
};

struct TDataDirectory {
  std::uint32_t Rva = 0, Size = 0;
};

}  // namespace

// The headers, checked to be a layout Write can rebuild: the resource
// directory starts its section, and what follows that section is only
// discardable data that nothing but the relocation directory points into.
struct TPeLayout {
  std::uint64_t Optional = 0;  // file offset of the optional header
  std::uint32_t FileAlignment = 0, SectionAlignment = 0;
  std::vector<TDataDirectory> Directories;
  std::vector<TSection> Sections;  // in address order
  std::size_t RsrcIndex = 0;       // index of the resource section
  std::uint64_t RawEnd = 0;        // end of the headers and of every section's raw data

  std::uint64_t Directory(unsigned Index) const {
    return Optional + OptionalHeader::DataDirectories + DataDirectory::Size * Index;
  }
  const TSection& Rsrc() const { return Sections[RsrcIndex]; }
  TDataDirectory Get(unsigned Index) const {
    return Index < Directories.size() ? Directories[Index] : TDataDirectory{};
  }
};

namespace {

bool PowerOfTwo(std::uint32_t V) { return V != 0 && (V & (V - 1)) == 0; }

TPeLayout ReadLayout(TByteView F) {
  if (F.size() < DosHeader::Size || F[0] != 'M' || F[1] != 'Z')
    throw EPeError("not a program image (no MZ header)");
  const std::uint64_t Pe = Get32(F, DosHeader::NewHeaderPointer, Truncated);
  if (Get32(F, Pe, Truncated) != PeSignature)
    throw EPeError("not a PE image (no PE signature)");
  const std::uint64_t FileHeaderAt = Pe + PeSignatureSize;
  const unsigned SectionCount = Get16(F, FileHeaderAt + FileHeader::NumberOfSections, Truncated);
  const std::uint64_t OptionalSize = Get16(F, FileHeaderAt + FileHeader::SizeOfOptionalHeader, Truncated);
  TPeLayout L;
  L.Optional = FileHeaderAt + FileHeader::Size;
  if (Get16(F, L.Optional + OptionalHeader::Magic, Truncated) != OptionalHeader::Pe32PlusMagic)
    throw EPeError("not a 64-bit (PE32+) image");
  if (OptionalSize < OptionalHeader::DataDirectories || !Fits(F, L.Optional, OptionalSize))
    throw EPeError(Truncated);
  const std::uint32_t DirectoryCount = std::min<std::uint32_t>(
      Get32(F, L.Optional + OptionalHeader::NumberOfRvaAndSizes, Truncated), DataDirectory::MaxCount);
  if (OptionalHeader::DataDirectories + DataDirectory::Size * DirectoryCount > OptionalSize)
    throw EPeError(Truncated);
  for (unsigned I = 0; I < DirectoryCount; ++I)
    L.Directories.push_back({Get32(F, L.Directory(I) + DataDirectory::VirtualAddress, Truncated),
                             Get32(F, L.Directory(I) + DataDirectory::DataSize, Truncated)});

  L.SectionAlignment = Get32(F, L.Optional + OptionalHeader::SectionAlignment, Truncated);
  L.FileAlignment = Get32(F, L.Optional + OptionalHeader::FileAlignment, Truncated);
  if (!PowerOfTwo(L.FileAlignment) || !PowerOfTwo(L.SectionAlignment) || L.FileAlignment > 0x10000 ||
      L.SectionAlignment < L.FileAlignment)
    throw EPeError("bad section or file alignment");

  const std::uint64_t Table = L.Optional + OptionalSize;
  if (SectionCount == 0)
    throw EPeError("the image has no sections");
  L.RawEnd = Get32(F, L.Optional + OptionalHeader::SizeOfHeaders, Truncated);
  if (L.RawEnd < Table + SectionHeader::Size * SectionCount || L.RawEnd > F.size())
    throw EPeError(Truncated);
  for (unsigned I = 0; I < SectionCount; ++I) {
    TSection S;
    S.Header = Table + SectionHeader::Size * I;
    // Printable only: the name goes into one-line messages.
    for (unsigned C = 0; C < SectionHeader::NameSize && F[S.Header + SectionHeader::Name + C]; ++C) {
      const std::uint8_t Ch = F[S.Header + SectionHeader::Name + C];
      S.Name.push_back(Ch >= 0x20 && Ch < 0x7F ? static_cast<char>(Ch) : '?');
    }
    S.VirtualSize = Get32(F, S.Header + SectionHeader::VirtualSize, Truncated);
    S.Rva = Get32(F, S.Header + SectionHeader::VirtualAddress, Truncated);
    S.RawSize = Get32(F, S.Header + SectionHeader::SizeOfRawData, Truncated);
    S.RawPointer = Get32(F, S.Header + SectionHeader::PointerToRawData, Truncated);
    S.Flags = Get32(F, S.Header + SectionHeader::Characteristics, Truncated);
    if (S.RawSize && !Fits(F, S.RawPointer, S.RawSize))
      throw EPeError("section " + S.Name + " lies past the end of the file");
    if (S.Rva % L.SectionAlignment || S.Rva + S.Span() > MaxSize)
      throw EPeError("section " + S.Name + " has a bad address");
    if (I > 0 && S.Rva < L.Sections.back().Rva + L.Sections.back().Span())
      throw EPeError("sections overlap or are out of order");
    if (S.RawSize)
      L.RawEnd = std::max<std::uint64_t>(L.RawEnd, S.RawPointer + std::uint64_t{S.RawSize});
    L.Sections.push_back(std::move(S));
  }

  const TDataDirectory Resources = L.Get(DataDirectory::Resource);
  if (Resources.Size == 0)
    throw EPeError("the image has no resources");
  auto Found =
      std::find_if(L.Sections.begin(), L.Sections.end(), [&](const TSection& S) { return S.Rva == Resources.Rva; });
  if (Found == L.Sections.end())
    throw EPeError("the resource directory does not start a section");
  L.RsrcIndex = static_cast<std::size_t>(Found - L.Sections.begin());
  const TSection& Rs = L.Rsrc();
  if (Rs.RawSize == 0 || Rs.RawPointer % L.FileAlignment)
    throw EPeError("the resource section has no data or is not aligned in the file");
  const std::uint64_t RsrcRawEnd = Rs.RawPointer + std::uint64_t{Rs.RawSize};
  for (std::size_t I = 0; I < L.Sections.size(); ++I) {
    const TSection& S = L.Sections[I];
    if (I == L.RsrcIndex || S.RawSize == 0)
      continue;
    const bool Before = I < L.RsrcIndex;
    if (Before ? S.RawPointer + std::uint64_t{S.RawSize} > Rs.RawPointer
               : S.RawPointer < RsrcRawEnd || S.RawPointer % L.FileAlignment)
      throw EPeError("the sections are not in file order");
  }
  // Moving code or data that code points to would break the program.
  for (std::size_t I = L.RsrcIndex + 1; I < L.Sections.size(); ++I) {
    const TSection& S = L.Sections[I];
    if (!(S.Flags & SectionHeader::Discardable) || (S.Flags & (SectionHeader::Code | SectionHeader::Execute)))
      throw EPeError("section " + S.Name + " follows the resources and cannot be moved");
  }
  for (unsigned D = 0; D < L.Directories.size(); ++D) {
    const TDataDirectory Dir = L.Directories[D];
    // The certificate table's address is a file offset, not an RVA.
    if (D == DataDirectory::Resource || D == DataDirectory::Security || Dir.Size == 0)
      continue;
    if (D == DataDirectory::BaseRelocation && Dir.Rva >= Rs.Rva + Rs.Span())
      continue;  // moves with its section
    if (Dir.Rva + std::uint64_t{Dir.Size} > Rs.Rva)
      throw EPeError("data directory " + std::to_string(D) + " lies in or after the resource section");
  }
  if (Get32(F, L.Optional + OptionalHeader::AddressOfEntryPoint, Truncated) >= Rs.Rva)
    throw EPeError("the entry point lies in or after the resource section");
  return L;
}

// ---- The resource tree ---------------------------------------------------

bool Less(const TResourceId& A, const TResourceId& B) {
  if (A.IsName() != B.IsName())
    return A.IsName();
  return A.IsName() ? A.Name < B.Name : A.Id < B.Id;
}

bool Same(const TResourceId& A, const TResourceId& B) {
  return A.IsName() == B.IsName() && A.Name == B.Name && A.Id == B.Id;
}

struct TTreeEntry {
  TResourceId Id;
  std::uint32_t Target = 0;
  bool IsDirectory = false;
};

// Reads the resource tree of `Section` (mapped at `Rva`). Exactly three
// levels (type, name, language), each directory visited once, so a hostile
// tree can neither loop nor multiply. Names are the one thing copied more
// often than stored (many entries may point at one string, and each leaf
// carries its type's and its own): every copy is counted before it is made,
// and the characters copied may not exceed the section's size in bytes.
class TTreeReader {
 public:
  TTreeReader(TByteView Section, std::uint32_t Rva) : FSection(Section), FRva(Rva) {}

  std::vector<TResource> Read() {
    struct TLeaf {
      TResource Resource;
      std::uint64_t Offset, Size;
    };
    std::vector<TLeaf> Leaves;
    for (TTreeEntry& Type : Directory(0, "type")) {
      for (TTreeEntry& Name : Directory(Type.Target, "name")) {
        for (TTreeEntry& Language : Directory(Name.Target, "language")) {
          if (Language.IsDirectory)
            throw EPeError("the resource tree is deeper than type, name and language");
          if (Language.Id.IsName())
            throw EPeError("a resource language is a name");
          constexpr const char* PastSection = "a resource data entry lies past the end of its section";
          const std::uint64_t At = Language.Target;
          const std::uint32_t DataRva = Get32(FSection, At + ResourceDataEntry::DataRva, PastSection),
                              Size = Get32(FSection, At + ResourceDataEntry::DataSize, PastSection);
          const std::uint64_t Offset = DataRva - std::uint64_t{FRva};
          if (DataRva < FRva || !Fits(FSection, Offset, Size))
            throw EPeError("resource data lies outside the resource section");
          CountNameCopy(Type.Id.Name.size() + Name.Id.Name.size());
          Leaves.push_back(
              {{Type.Id, Name.Id, Language.Id.Id, Get32(FSection, At + ResourceDataEntry::CodePage, PastSection), {}},
               Offset,
               Size});
        }
      }
    }
    // Data shared or overlapping would be copied many times over.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> Ranges;
    for (const TLeaf& Leaf : Leaves)
      Ranges.emplace_back(Leaf.Offset, Leaf.Offset + Leaf.Size);
    std::sort(Ranges.begin(), Ranges.end());
    for (std::size_t I = 1; I < Ranges.size(); ++I)
      if (Ranges[I].first < Ranges[I - 1].second)
        throw EPeError("resource data overlaps");
    std::vector<TResource> Resources;
    for (TLeaf& Leaf : Leaves) {
      Leaf.Resource.Data.assign(FSection.begin() + static_cast<std::ptrdiff_t>(Leaf.Offset),
                                FSection.begin() + static_cast<std::ptrdiff_t>(Leaf.Offset + Leaf.Size));
      Resources.push_back(std::move(Leaf.Resource));
    }
    return Resources;
  }

 private:
  std::vector<TTreeEntry> Directory(std::uint32_t Offset, const std::string& Level) {
    // A directory reached twice is a loop or a shared subtree; either would multiply the leaves.
    if (!FSeen.insert(Offset).second)
      throw EPeError("the resource tree has a loop");
    const char* Past = "a resource directory lies past the end of its section";
    const unsigned Count = Get16(FSection, Offset + ResourceDirectory::NumberOfNamedEntries, Past) +
                           Get16(FSection, Offset + ResourceDirectory::NumberOfIdEntries, Past);
    if (!Fits(FSection, Offset + ResourceDirectory::Size, ResourceDirectoryEntry::Size * Count))
      throw EPeError(Past);
    // Directories that overlap could otherwise hold far more entries than the section has room for.
    FEntries += Count;
    if (ResourceDirectoryEntry::Size * FEntries > FSection.size())
      throw EPeError("resource directories overlap");
    std::vector<TTreeEntry> Entries(Count);
    for (unsigned I = 0; I < Count; ++I) {
      const std::uint64_t At = Offset + ResourceDirectory::Size + ResourceDirectoryEntry::Size * I;
      const std::uint32_t Name = Get32(FSection, At + ResourceDirectoryEntry::Name, Past),
                          Target = Get32(FSection, At + ResourceDirectoryEntry::OffsetToData, Past);
      TTreeEntry& E = Entries[I];
      E.Target = Target & ~HighBit;
      E.IsDirectory = (Target & HighBit) != 0;
      if (Level != "language" && !E.IsDirectory)
        throw EPeError("a resource " + Level + " entry is not a directory");
      if (Name & HighBit) {
        const char* Bad = "a resource name lies past the end of its section";
        const std::uint64_t String = Name & ~HighBit;
        const unsigned Length = Get16(FSection, String + ResourceString::Length, Bad);
        if (Length == 0)
          throw EPeError("a resource name is empty");
        if (!Fits(FSection, String + ResourceString::Units, 2ull * Length))
          throw EPeError(Bad);
        CountNameCopy(Length);
        for (unsigned C = 0; C < Length; ++C)
          E.Id.Name.push_back(static_cast<char16_t>(Get16(FSection, String + ResourceString::Units + 2ull * C, Bad)));
      } else if (Name > 0xFFFF) {
        throw EPeError("a resource id is out of range");
      } else {
        E.Id.Id = static_cast<std::uint16_t>(Name);
      }
    }
    return Entries;
  }

  void CountNameCopy(std::uint64_t Chars) {
    FNameChars += Chars;
    if (FNameChars > FSection.size())
      throw EPeError("the resource tree is too large for its section");
  }

  TByteView FSection;
  std::uint32_t FRva;
  std::set<std::uint32_t> FSeen;
  std::uint64_t FNameChars = 0, FEntries = 0;
};

// The resource section for `Resources` mapped at `Rva`, laid out as the
// loader expects: in each directory the named entries first, sorted by their
// UTF-16 code units, then the numbered ones ascending; directories, then the
// 16-byte data entries, then the counted UTF-16 names, then the data, each
// item 8-byte aligned.
TBytes BuildResourceSection(const std::vector<TResource>& Resources, std::uint32_t Rva) {
  std::vector<const TResource*> Leaves;
  for (const TResource& R : Resources)
    Leaves.push_back(&R);
  std::stable_sort(Leaves.begin(), Leaves.end(), [](const TResource* A, const TResource* B) {
    if (!Same(A->Type, B->Type))
      return Less(A->Type, B->Type);
    if (!Same(A->Name, B->Name))
      return Less(A->Name, B->Name);
    return A->Language < B->Language;
  });

  // Directories depth-first: the root, then each type's followed by its names'.
  struct TDir {
    std::vector<TResourceId> Ids;
    std::vector<std::size_t> Targets;  // directories, or leaves in the language level
    bool Languages = false;
  };
  std::vector<TDir> Dirs(1);
  std::size_t TypeDir = 0, NameDir = 0;
  for (std::size_t I = 0; I < Leaves.size(); ++I) {
    const TResource& R = *Leaves[I];
    const bool NewType = I == 0 || !Same(Leaves[I - 1]->Type, R.Type);
    const bool NewName = NewType || !Same(Leaves[I - 1]->Name, R.Name);
    if (!NewName && Leaves[I - 1]->Language == R.Language)
      throw EPeError("two resources have the same type, name and language");
    if (NewType) {
      Dirs[0].Ids.push_back(R.Type);
      Dirs[0].Targets.push_back(TypeDir = Dirs.size());
      Dirs.emplace_back();
    }
    if (NewName) {
      Dirs[TypeDir].Ids.push_back(R.Name);
      Dirs[TypeDir].Targets.push_back(NameDir = Dirs.size());
      Dirs.emplace_back().Languages = true;
    }
    Dirs[NameDir].Ids.push_back(TResourceId::Number(R.Language));
    Dirs[NameDir].Targets.push_back(I);
  }

  constexpr const char* TooLarge = "the resources are too large";
  std::uint64_t Size = 0;
  std::vector<std::uint64_t> DirOffsets;
  for (const TDir& D : Dirs) {
    DirOffsets.push_back(Size);
    Size += ResourceDirectory::Size + ResourceDirectoryEntry::Size * D.Ids.size();
  }
  const std::uint64_t DataEntries = Size;
  Size += ResourceDataEntry::Size * Leaves.size();
  std::map<std::u16string, std::uint64_t> Names;
  for (const TDir& D : Dirs)
    for (const TResourceId& Id : D.Ids)
      if (Id.IsName() && Names.emplace(Id.Name, Size).second) {
        if (Id.Name.size() > 0xFFFF)
          throw EPeError("a resource name is too long");
        Size += ResourceString::Units + 2 * Id.Name.size();
      }
  std::vector<std::uint64_t> DataOffsets;
  for (const TResource* R : Leaves) {
    Size = AlignUp(Size, 8);
    DataOffsets.push_back(Size);
    Size += R->Data.size();
    if (Size > HighBit)
      throw EPeError(TooLarge);
  }
  if (Rva + Size > MaxSize)
    throw EPeError(TooLarge);

  TBytes Out(Size);
  for (std::size_t I = 0; I < Dirs.size(); ++I) {
    const TDir& D = Dirs[I];
    const auto NamedCount =
        std::count_if(D.Ids.begin(), D.Ids.end(), [](const TResourceId& Id) { return Id.IsName(); });
    if (NamedCount > 0xFFFF || D.Ids.size() - NamedCount > 0xFFFF)
      throw EPeError("a resource directory has too many entries");
    Put16(Out, DirOffsets[I] + ResourceDirectory::NumberOfNamedEntries, static_cast<std::uint64_t>(NamedCount));
    Put16(Out, DirOffsets[I] + ResourceDirectory::NumberOfIdEntries, D.Ids.size() - NamedCount);
    for (std::size_t J = 0; J < D.Ids.size(); ++J) {
      const std::uint64_t At = DirOffsets[I] + ResourceDirectory::Size + ResourceDirectoryEntry::Size * J;
      Put32(Out, At + ResourceDirectoryEntry::Name, D.Ids[J].IsName() ? HighBit | Names[D.Ids[J].Name] : D.Ids[J].Id);
      Put32(Out, At + ResourceDirectoryEntry::OffsetToData,
            D.Languages ? DataEntries + ResourceDataEntry::Size * D.Targets[J] : HighBit | DirOffsets[D.Targets[J]]);
    }
  }
  for (std::size_t I = 0; I < Leaves.size(); ++I) {
    const std::uint64_t Entry = DataEntries + ResourceDataEntry::Size * I;
    Put32(Out, Entry + ResourceDataEntry::DataRva, Rva + DataOffsets[I]);
    Put32(Out, Entry + ResourceDataEntry::DataSize, Leaves[I]->Data.size());
    Put32(Out, Entry + ResourceDataEntry::CodePage, Leaves[I]->CodePage);
    std::copy(Leaves[I]->Data.begin(), Leaves[I]->Data.end(),
              Out.begin() + static_cast<std::ptrdiff_t>(DataOffsets[I]));
  }
  for (const auto& [Name, At] : Names) {
    Put16(Out, At + ResourceString::Length, Name.size());
    for (std::size_t C = 0; C < Name.size(); ++C)
      Put16(Out, At + ResourceString::Units + 2 * C, Name[C]);
  }
  return Out;
}

char16_t AsciiUpper(char16_t C) { return C >= u'a' && C <= u'z' ? static_cast<char16_t>(C - u'a' + u'A') : C; }

}  // namespace

std::string Printable(std::u16string_view Text) {
  std::string Out;
  for (std::size_t I = 0; I < Text.size(); ++I) {
    const char16_t C = Text[I];
    Out += C >= 0x20 && C < 0x7F ? static_cast<char>(C) : '?';
    if (C >= 0xD800 && C < 0xDC00 && I + 1 < Text.size() && Text[I + 1] >= 0xDC00 && Text[I + 1] < 0xE000)
      ++I;
  }
  return Out;
}

TResourceId TResourceId::Number(std::uint16_t Value) {
  TResourceId R;
  R.Id = Value;
  return R;
}

TResourceId TResourceId::Named(const std::string& Ascii) {
  if (Ascii.empty())
    throw EPeError("a resource name is empty");
  TResourceId R;
  for (char C : Ascii) {
    if (static_cast<unsigned char>(C) > 0x7F)
      throw EPeError("the resource name " + Ascii + " is not ASCII");
    R.Name.push_back(AsciiUpper(static_cast<char16_t>(C)));
  }
  return R;
}

bool TResourceId::Matches(const TResourceId& Other) const {
  if (IsName() != Other.IsName())
    return false;
  if (!IsName())
    return Id == Other.Id;
  return std::equal(Name.begin(), Name.end(), Other.Name.begin(), Other.Name.end(),
                    [](char16_t A, char16_t B) { return AsciiUpper(A) == AsciiUpper(B); });
}

TPeImage TPeImage::Parse(std::vector<std::uint8_t> File) {
  TPeImage Image;
  Image.FLayout = std::make_shared<const TPeLayout>(ReadLayout(File));
  const TSection& Rs = Image.FLayout->Rsrc();
  const TByteView Section(File.data() + Rs.RawPointer, std::min<std::uint64_t>(Rs.Span(), Rs.RawSize));
  Image.FResources = TTreeReader(Section, Rs.Rva).Read();
  Image.FFile = std::move(File);
  return Image;
}

namespace {

TResource* FindLeaf(std::vector<TResource>& Resources, const TResourceId& Type, const TResourceId& Name,
                    std::optional<std::uint16_t> Language) {
  auto Found = std::find_if(Resources.begin(), Resources.end(), [&](const TResource& R) {
    return R.Type.Matches(Type) && R.Name.Matches(Name) && (!Language || R.Language == *Language);
  });
  return Found == Resources.end() ? nullptr : &*Found;
}

}  // namespace

TResource* TPeImage::Find(const TResourceId& Type, const TResourceId& Name) {
  return FindLeaf(FResources, Type, Name, std::nullopt);
}

const TResource* TPeImage::Find(const TResourceId& Type, const TResourceId& Name) const {
  return const_cast<TPeImage*>(this)->Find(Type, Name);
}

TResource* TPeImage::Find(const TResourceId& Type, const TResourceId& Name, std::uint16_t Language) {
  return FindLeaf(FResources, Type, Name, Language);
}

const TResource* TPeImage::Find(const TResourceId& Type, const TResourceId& Name, std::uint16_t Language) const {
  return const_cast<TPeImage*>(this)->Find(Type, Name, Language);
}

std::uint64_t TPeImage::OverlaySize() const {
  const TPeLayout& L = *FLayout;
  std::uint64_t End = L.RawEnd;
  // The linker may leave the last section's raw size unaligned and pad the file with zeros.
  const std::uint64_t Padded = std::min<std::uint64_t>(AlignUp(End, L.FileAlignment), FFile.size());
  if (std::all_of(FFile.begin() + static_cast<std::ptrdiff_t>(End), FFile.begin() + static_cast<std::ptrdiff_t>(Padded),
                  [](std::uint8_t B) { return B == 0; }))
    End = Padded;
  return FFile.size() - End;
}

bool TPeImage::HasCertificateTable() const { return FLayout->Get(DataDirectory::Security).Size != 0; }

std::vector<std::uint8_t> TPeImage::Write() const {
  if (HasCertificateTable())
    throw EPeError("the image is signed; its resources can only be changed before signing");
  if (OverlaySize() != 0)
    throw EPeError("the image has data past its last section (a payload or a signature)");
  const TPeLayout& L = *FLayout;
  const TSection& Rs = L.Rsrc();
  const TBytes Tree = BuildResourceSection(FResources, Rs.Rva);
  const std::uint64_t RawSize = AlignUp(Tree.size(), L.FileAlignment);

  // What follows the resource section moves as one block, keeping its inner offsets.
  std::uint64_t TailRaw = FFile.size(), ShiftRva = 0;
  for (std::size_t I = L.RsrcIndex + 1; I < L.Sections.size(); ++I)
    if (L.Sections[I].RawSize)
      TailRaw = std::min<std::uint64_t>(TailRaw, L.Sections[I].RawPointer);
  if (L.RsrcIndex + 1 < L.Sections.size())
    ShiftRva = AlignUp(Rs.Rva + Tree.size(), L.SectionAlignment) - L.Sections[L.RsrcIndex + 1].Rva;  // mod 2^64
  const std::uint64_t ShiftRaw = Rs.RawPointer + RawSize - TailRaw;                                  // mod 2^64

  TBytes Out(FFile.begin(), FFile.begin() + Rs.RawPointer);
  Out.insert(Out.end(), Tree.begin(), Tree.end());
  Out.resize(Rs.RawPointer + RawSize);
  Out.insert(Out.end(), FFile.begin() + static_cast<std::ptrdiff_t>(TailRaw), FFile.end());
  if (Out.size() > MaxSize)
    throw EPeError("the resources are too large");

  Put32(Out, Rs.Header + SectionHeader::VirtualSize, Tree.size());
  Put32(Out, Rs.Header + SectionHeader::SizeOfRawData, RawSize);
  std::uint64_t ImageEnd = 0;
  for (std::size_t I = 0; I < L.Sections.size(); ++I) {
    const TSection& S = L.Sections[I];
    std::uint64_t Rva = S.Rva, Span = I == L.RsrcIndex ? Tree.size() : S.Span();
    if (I > L.RsrcIndex) {
      Rva += ShiftRva;
      Put32(Out, S.Header + SectionHeader::VirtualAddress, Rva);
      if (S.RawSize)
        Put32(Out, S.Header + SectionHeader::PointerToRawData, S.RawPointer + ShiftRaw);
    }
    ImageEnd = std::max(ImageEnd, Rva + Span);
  }
  if (ImageEnd > MaxSize)
    throw EPeError("the resources are too large");
  Put32(Out, L.Optional + OptionalHeader::SizeOfImage, AlignUp(ImageEnd, L.SectionAlignment));
  if (Rs.Flags & SectionHeader::InitializedData) {
    // Our linker counts every initialised section's aligned raw size; keep that sum.
    const std::int64_t Initialized =
        std::int64_t{Get32(FFile, L.Optional + OptionalHeader::SizeOfInitializedData, Truncated)} -
        static_cast<std::int64_t>(AlignUp(Rs.RawSize, L.FileAlignment)) + static_cast<std::int64_t>(RawSize);
    Put32(Out, L.Optional + OptionalHeader::SizeOfInitializedData,
          static_cast<std::uint64_t>(std::clamp<std::int64_t>(Initialized, 0, MaxSize)));
  }
  Put32(Out, L.Directory(DataDirectory::Resource) + DataDirectory::VirtualAddress, Rs.Rva);
  Put32(Out, L.Directory(DataDirectory::Resource) + DataDirectory::DataSize, Tree.size());
  const TDataDirectory Relocations = L.Get(DataDirectory::BaseRelocation);
  if (Relocations.Size && Relocations.Rva >= Rs.Rva)
    Put32(Out, L.Directory(DataDirectory::BaseRelocation) + DataDirectory::VirtualAddress, Relocations.Rva + ShiftRva);
  Put32(Out, L.Optional + OptionalHeader::CheckSum,
        PeChecksum(Out, static_cast<std::uint32_t>(L.Optional + OptionalHeader::CheckSum)));
  return Out;
}

std::uint32_t PeChecksum(const std::vector<std::uint8_t>& File, std::uint32_t ChecksumOffset) {
  // The ones'-complement sum of the file's 16-bit words, folded to 16 bits, plus its length.
  std::uint64_t Sum = 0;
  for (std::size_t I = 0; I < File.size(); I += 2) {
    auto Byte = [&](std::size_t At) -> std::uint64_t {
      const bool InField = At >= ChecksumOffset && At - ChecksumOffset < 4;
      return At < File.size() && !InField ? File[At] : 0;
    };
    Sum += Byte(I) | Byte(I + 1) << 8;
  }
  while (Sum >> 16)
    Sum = (Sum & 0xFFFF) + (Sum >> 16);
  return static_cast<std::uint32_t>(Sum + File.size());
}

}  // namespace mkinstaller
