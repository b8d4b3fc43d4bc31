#include "PeImage.h"

#include <algorithm>
#include <map>
#include <set>

#include "LittleEndian.h"
#include "WindowsFormats.h"

namespace mkinstaller {
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

  std::uint64_t Directory(unsigned index) const {
    return Optional + OptionalHeader::DataDirectories + DataDirectory::Size * index;
  }
  const TSection& Rsrc() const { return Sections[RsrcIndex]; }
  TDataDirectory Get(unsigned index) const {
    return index < Directories.size() ? Directories[index] : TDataDirectory{};
  }
};

namespace {

bool PowerOfTwo(std::uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

TPeLayout ReadLayout(TByteView f) {
  if (f.size() < DosHeader::Size || f[0] != 'M' || f[1] != 'Z')
    throw EPeError("not a program image (no MZ header)");
  const std::uint64_t pe = Get32(f, DosHeader::NewHeaderPointer, Truncated);
  if (Get32(f, pe, Truncated) != PeSignature)
    throw EPeError("not a PE image (no PE signature)");
  const std::uint64_t fileHeader = pe + PeSignatureSize;
  const unsigned sectionCount = Get16(f, fileHeader + FileHeader::NumberOfSections, Truncated);
  const std::uint64_t optionalSize = Get16(f, fileHeader + FileHeader::SizeOfOptionalHeader, Truncated);
  TPeLayout l;
  l.Optional = fileHeader + FileHeader::Size;
  if (Get16(f, l.Optional + OptionalHeader::Magic, Truncated) != OptionalHeader::Pe32PlusMagic)
    throw EPeError("not a 64-bit (PE32+) image");
  if (optionalSize < OptionalHeader::DataDirectories || !Fits(f, l.Optional, optionalSize))
    throw EPeError(Truncated);
  const std::uint32_t directoryCount = std::min<std::uint32_t>(
      Get32(f, l.Optional + OptionalHeader::NumberOfRvaAndSizes, Truncated), DataDirectory::MaxCount);
  if (OptionalHeader::DataDirectories + DataDirectory::Size * directoryCount > optionalSize)
    throw EPeError(Truncated);
  for (unsigned i = 0; i < directoryCount; ++i)
    l.Directories.push_back({Get32(f, l.Directory(i) + DataDirectory::VirtualAddress, Truncated),
                             Get32(f, l.Directory(i) + DataDirectory::DataSize, Truncated)});

  l.SectionAlignment = Get32(f, l.Optional + OptionalHeader::SectionAlignment, Truncated);
  l.FileAlignment = Get32(f, l.Optional + OptionalHeader::FileAlignment, Truncated);
  if (!PowerOfTwo(l.FileAlignment) || !PowerOfTwo(l.SectionAlignment) || l.FileAlignment > 0x10000 ||
      l.SectionAlignment < l.FileAlignment)
    throw EPeError("bad section or file alignment");

  const std::uint64_t table = l.Optional + optionalSize;
  if (sectionCount == 0)
    throw EPeError("the image has no sections");
  l.RawEnd = Get32(f, l.Optional + OptionalHeader::SizeOfHeaders, Truncated);
  if (l.RawEnd < table + SectionHeader::Size * sectionCount || l.RawEnd > f.size())
    throw EPeError(Truncated);
  for (unsigned i = 0; i < sectionCount; ++i) {
    TSection s;
    s.Header = table + SectionHeader::Size * i;
    // Printable only: the name goes into one-line messages.
    for (unsigned c = 0; c < SectionHeader::NameSize && f[s.Header + SectionHeader::Name + c]; ++c) {
      const std::uint8_t ch = f[s.Header + SectionHeader::Name + c];
      s.Name.push_back(ch >= 0x20 && ch < 0x7F ? static_cast<char>(ch) : '?');
    }
    s.VirtualSize = Get32(f, s.Header + SectionHeader::VirtualSize, Truncated);
    s.Rva = Get32(f, s.Header + SectionHeader::VirtualAddress, Truncated);
    s.RawSize = Get32(f, s.Header + SectionHeader::SizeOfRawData, Truncated);
    s.RawPointer = Get32(f, s.Header + SectionHeader::PointerToRawData, Truncated);
    s.Flags = Get32(f, s.Header + SectionHeader::Characteristics, Truncated);
    if (s.RawSize && !Fits(f, s.RawPointer, s.RawSize))
      throw EPeError("section " + s.Name + " lies past the end of the file");
    if (s.Rva % l.SectionAlignment || s.Rva + s.Span() > MaxSize)
      throw EPeError("section " + s.Name + " has a bad address");
    if (i > 0 && s.Rva < l.Sections.back().Rva + l.Sections.back().Span())
      throw EPeError("sections overlap or are out of order");
    if (s.RawSize)
      l.RawEnd = std::max<std::uint64_t>(l.RawEnd, s.RawPointer + std::uint64_t{s.RawSize});
    l.Sections.push_back(std::move(s));
  }

  const TDataDirectory resources = l.Get(DataDirectory::Resource);
  if (resources.Size == 0)
    throw EPeError("the image has no resources");
  auto found =
      std::find_if(l.Sections.begin(), l.Sections.end(), [&](const TSection& s) { return s.Rva == resources.Rva; });
  if (found == l.Sections.end())
    throw EPeError("the resource directory does not start a section");
  l.RsrcIndex = static_cast<std::size_t>(found - l.Sections.begin());
  const TSection& rs = l.Rsrc();
  if (rs.RawSize == 0 || rs.RawPointer % l.FileAlignment)
    throw EPeError("the resource section has no data or is not aligned in the file");
  const std::uint64_t rsrcRawEnd = rs.RawPointer + std::uint64_t{rs.RawSize};
  for (std::size_t i = 0; i < l.Sections.size(); ++i) {
    const TSection& s = l.Sections[i];
    if (i == l.RsrcIndex || s.RawSize == 0)
      continue;
    const bool before = i < l.RsrcIndex;
    if (before ? s.RawPointer + std::uint64_t{s.RawSize} > rs.RawPointer
               : s.RawPointer < rsrcRawEnd || s.RawPointer % l.FileAlignment)
      throw EPeError("the sections are not in file order");
  }
  // Moving code or data that code points to would break the program.
  for (std::size_t i = l.RsrcIndex + 1; i < l.Sections.size(); ++i) {
    const TSection& s = l.Sections[i];
    if (!(s.Flags & SectionHeader::Discardable) || (s.Flags & (SectionHeader::Code | SectionHeader::Execute)))
      throw EPeError("section " + s.Name + " follows the resources and cannot be moved");
  }
  for (unsigned d = 0; d < l.Directories.size(); ++d) {
    const TDataDirectory dir = l.Directories[d];
    // The certificate table's address is a file offset, not an RVA.
    if (d == DataDirectory::Resource || d == DataDirectory::Security || dir.Size == 0)
      continue;
    if (d == DataDirectory::BaseRelocation && dir.Rva >= rs.Rva + rs.Span())
      continue;  // moves with its section
    if (dir.Rva + std::uint64_t{dir.Size} > rs.Rva)
      throw EPeError("data directory " + std::to_string(d) + " lies in or after the resource section");
  }
  if (Get32(f, l.Optional + OptionalHeader::AddressOfEntryPoint, Truncated) >= rs.Rva)
    throw EPeError("the entry point lies in or after the resource section");
  return l;
}

// ---- The resource tree ---------------------------------------------------

bool Less(const TResourceId& a, const TResourceId& b) {
  if (a.IsName() != b.IsName())
    return a.IsName();
  return a.IsName() ? a.Name < b.Name : a.Id < b.Id;
}

bool Same(const TResourceId& a, const TResourceId& b) {
  return a.IsName() == b.IsName() && a.Name == b.Name && a.Id == b.Id;
}

struct TTreeEntry {
  TResourceId Id;
  std::uint32_t Target = 0;
  bool IsDirectory = false;
};

// Reads the resource tree of `section` (mapped at `rva`). Exactly three
// levels (type, name, language), each directory visited once, so a hostile
// tree can neither loop nor multiply. Names are the one thing copied more
// often than stored (many entries may point at one string, and each leaf
// carries its type's and its own): every copy is counted before it is made,
// and the characters copied may not exceed the section's size in bytes.
class TTreeReader {
 public:
  TTreeReader(TByteView section, std::uint32_t rva) : FSection(section), FRva(rva) {}

  std::vector<TResource> Read() {
    struct TLeaf {
      TResource Resource;
      std::uint64_t Offset, Size;
    };
    std::vector<TLeaf> leaves;
    for (TTreeEntry& type : Directory(0, "type")) {
      for (TTreeEntry& name : Directory(type.Target, "name")) {
        for (TTreeEntry& language : Directory(name.Target, "language")) {
          if (language.IsDirectory)
            throw EPeError("the resource tree is deeper than type, name and language");
          if (language.Id.IsName())
            throw EPeError("a resource language is a name");
          constexpr const char* PastSection = "a resource data entry lies past the end of its section";
          const std::uint64_t at = language.Target;
          const std::uint32_t dataRva = Get32(FSection, at + ResourceDataEntry::DataRva, PastSection),
                              size = Get32(FSection, at + ResourceDataEntry::DataSize, PastSection);
          const std::uint64_t offset = dataRva - std::uint64_t{FRva};
          if (dataRva < FRva || !Fits(FSection, offset, size))
            throw EPeError("resource data lies outside the resource section");
          CountNameCopy(type.Id.Name.size() + name.Id.Name.size());
          leaves.push_back(
              {{type.Id, name.Id, language.Id.Id, Get32(FSection, at + ResourceDataEntry::CodePage, PastSection), {}},
               offset,
               size});
        }
      }
    }
    // Data shared or overlapping would be copied many times over.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> ranges;
    for (const TLeaf& leaf : leaves)
      ranges.emplace_back(leaf.Offset, leaf.Offset + leaf.Size);
    std::sort(ranges.begin(), ranges.end());
    for (std::size_t i = 1; i < ranges.size(); ++i)
      if (ranges[i].first < ranges[i - 1].second)
        throw EPeError("resource data overlaps");
    std::vector<TResource> resources;
    for (TLeaf& leaf : leaves) {
      leaf.Resource.Data.assign(FSection.begin() + static_cast<std::ptrdiff_t>(leaf.Offset),
                                FSection.begin() + static_cast<std::ptrdiff_t>(leaf.Offset + leaf.Size));
      resources.push_back(std::move(leaf.Resource));
    }
    return resources;
  }

 private:
  std::vector<TTreeEntry> Directory(std::uint32_t offset, const std::string& level) {
    // A directory reached twice is a loop or a shared subtree; either would multiply the leaves.
    if (!FSeen.insert(offset).second)
      throw EPeError("the resource tree has a loop");
    const char* past = "a resource directory lies past the end of its section";
    const unsigned count = Get16(FSection, offset + ResourceDirectory::NumberOfNamedEntries, past) +
                           Get16(FSection, offset + ResourceDirectory::NumberOfIdEntries, past);
    if (!Fits(FSection, offset + ResourceDirectory::Size, ResourceDirectoryEntry::Size * count))
      throw EPeError(past);
    // Directories that overlap could otherwise hold far more entries than the section has room for.
    FEntries += count;
    if (ResourceDirectoryEntry::Size * FEntries > FSection.size())
      throw EPeError("resource directories overlap");
    std::vector<TTreeEntry> entries(count);
    for (unsigned i = 0; i < count; ++i) {
      const std::uint64_t at = offset + ResourceDirectory::Size + ResourceDirectoryEntry::Size * i;
      const std::uint32_t name = Get32(FSection, at + ResourceDirectoryEntry::Name, past),
                          target = Get32(FSection, at + ResourceDirectoryEntry::OffsetToData, past);
      TTreeEntry& e = entries[i];
      e.Target = target & ~HighBit;
      e.IsDirectory = (target & HighBit) != 0;
      if (level != "language" && !e.IsDirectory)
        throw EPeError("a resource " + level + " entry is not a directory");
      if (name & HighBit) {
        const char* bad = "a resource name lies past the end of its section";
        const std::uint64_t string = name & ~HighBit;
        const unsigned length = Get16(FSection, string + ResourceString::Length, bad);
        if (length == 0)
          throw EPeError("a resource name is empty");
        if (!Fits(FSection, string + ResourceString::Units, 2ull * length))
          throw EPeError(bad);
        CountNameCopy(length);
        for (unsigned c = 0; c < length; ++c)
          e.Id.Name.push_back(static_cast<char16_t>(Get16(FSection, string + ResourceString::Units + 2ull * c, bad)));
      } else if (name > 0xFFFF) {
        throw EPeError("a resource id is out of range");
      } else {
        e.Id.Id = static_cast<std::uint16_t>(name);
      }
    }
    return entries;
  }

  void CountNameCopy(std::uint64_t chars) {
    FNameChars += chars;
    if (FNameChars > FSection.size())
      throw EPeError("the resource tree is too large for its section");
  }

  TByteView FSection;
  std::uint32_t FRva;
  std::set<std::uint32_t> FSeen;
  std::uint64_t FNameChars = 0, FEntries = 0;
};

// The resource section for `resources` mapped at `rva`, laid out as the
// loader expects: in each directory the named entries first, sorted by their
// UTF-16 code units, then the numbered ones ascending; directories, then the
// 16-byte data entries, then the counted UTF-16 names, then the data, each
// item 8-byte aligned.
TBytes BuildResourceSection(const std::vector<TResource>& resources, std::uint32_t rva) {
  std::vector<const TResource*> leaves;
  for (const TResource& r : resources)
    leaves.push_back(&r);
  std::stable_sort(leaves.begin(), leaves.end(), [](const TResource* a, const TResource* b) {
    if (!Same(a->Type, b->Type))
      return Less(a->Type, b->Type);
    if (!Same(a->Name, b->Name))
      return Less(a->Name, b->Name);
    return a->Language < b->Language;
  });

  // Directories depth-first: the root, then each type's followed by its names'.
  struct TDir {
    std::vector<TResourceId> Ids;
    std::vector<std::size_t> Targets;  // directories, or leaves in the language level
    bool Languages = false;
  };
  std::vector<TDir> dirs(1);
  std::size_t typeDir = 0, nameDir = 0;
  for (std::size_t i = 0; i < leaves.size(); ++i) {
    const TResource& r = *leaves[i];
    const bool newType = i == 0 || !Same(leaves[i - 1]->Type, r.Type);
    const bool newName = newType || !Same(leaves[i - 1]->Name, r.Name);
    if (!newName && leaves[i - 1]->Language == r.Language)
      throw EPeError("two resources have the same type, name and language");
    if (newType) {
      dirs[0].Ids.push_back(r.Type);
      dirs[0].Targets.push_back(typeDir = dirs.size());
      dirs.emplace_back();
    }
    if (newName) {
      dirs[typeDir].Ids.push_back(r.Name);
      dirs[typeDir].Targets.push_back(nameDir = dirs.size());
      dirs.emplace_back().Languages = true;
    }
    dirs[nameDir].Ids.push_back(TResourceId::Number(r.Language));
    dirs[nameDir].Targets.push_back(i);
  }

  constexpr const char* TooLarge = "the resources are too large";
  std::uint64_t size = 0;
  std::vector<std::uint64_t> dirOffsets;
  for (const TDir& d : dirs) {
    dirOffsets.push_back(size);
    size += ResourceDirectory::Size + ResourceDirectoryEntry::Size * d.Ids.size();
  }
  const std::uint64_t dataEntries = size;
  size += ResourceDataEntry::Size * leaves.size();
  std::map<std::u16string, std::uint64_t> names;
  for (const TDir& d : dirs)
    for (const TResourceId& id : d.Ids)
      if (id.IsName() && names.emplace(id.Name, size).second) {
        if (id.Name.size() > 0xFFFF)
          throw EPeError("a resource name is too long");
        size += ResourceString::Units + 2 * id.Name.size();
      }
  std::vector<std::uint64_t> dataOffsets;
  for (const TResource* r : leaves) {
    size = AlignUp(size, 8);
    dataOffsets.push_back(size);
    size += r->Data.size();
    if (size > HighBit)
      throw EPeError(TooLarge);
  }
  if (rva + size > MaxSize)
    throw EPeError(TooLarge);

  TBytes out(size);
  for (std::size_t i = 0; i < dirs.size(); ++i) {
    const TDir& d = dirs[i];
    const auto named = std::count_if(d.Ids.begin(), d.Ids.end(), [](const TResourceId& id) { return id.IsName(); });
    if (named > 0xFFFF || d.Ids.size() - named > 0xFFFF)
      throw EPeError("a resource directory has too many entries");
    Put16(out, dirOffsets[i] + ResourceDirectory::NumberOfNamedEntries, static_cast<std::uint64_t>(named));
    Put16(out, dirOffsets[i] + ResourceDirectory::NumberOfIdEntries, d.Ids.size() - named);
    for (std::size_t j = 0; j < d.Ids.size(); ++j) {
      const std::uint64_t at = dirOffsets[i] + ResourceDirectory::Size + ResourceDirectoryEntry::Size * j;
      Put32(out, at + ResourceDirectoryEntry::Name, d.Ids[j].IsName() ? HighBit | names[d.Ids[j].Name] : d.Ids[j].Id);
      Put32(out, at + ResourceDirectoryEntry::OffsetToData,
            d.Languages ? dataEntries + ResourceDataEntry::Size * d.Targets[j] : HighBit | dirOffsets[d.Targets[j]]);
    }
  }
  for (std::size_t i = 0; i < leaves.size(); ++i) {
    const std::uint64_t entry = dataEntries + ResourceDataEntry::Size * i;
    Put32(out, entry + ResourceDataEntry::DataRva, rva + dataOffsets[i]);
    Put32(out, entry + ResourceDataEntry::DataSize, leaves[i]->Data.size());
    Put32(out, entry + ResourceDataEntry::CodePage, leaves[i]->CodePage);
    std::copy(leaves[i]->Data.begin(), leaves[i]->Data.end(),
              out.begin() + static_cast<std::ptrdiff_t>(dataOffsets[i]));
  }
  for (const auto& [name, at] : names) {
    Put16(out, at + ResourceString::Length, name.size());
    for (std::size_t c = 0; c < name.size(); ++c)
      Put16(out, at + ResourceString::Units + 2 * c, name[c]);
  }
  return out;
}

char16_t AsciiUpper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c; }

}  // namespace

std::string Printable(std::u16string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    out += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
      ++i;
  }
  return out;
}

TResourceId TResourceId::Number(std::uint16_t id) {
  TResourceId r;
  r.Id = id;
  return r;
}

TResourceId TResourceId::Named(const std::string& ascii) {
  if (ascii.empty())
    throw EPeError("a resource name is empty");
  TResourceId r;
  for (char c : ascii) {
    if (static_cast<unsigned char>(c) > 0x7F)
      throw EPeError("the resource name " + ascii + " is not ASCII");
    r.Name.push_back(AsciiUpper(static_cast<char16_t>(c)));
  }
  return r;
}

bool TResourceId::Matches(const TResourceId& other) const {
  if (IsName() != other.IsName())
    return false;
  if (!IsName())
    return Id == other.Id;
  return std::equal(Name.begin(), Name.end(), other.Name.begin(), other.Name.end(),
                    [](char16_t a, char16_t b) { return AsciiUpper(a) == AsciiUpper(b); });
}

TPeImage TPeImage::Parse(std::vector<std::uint8_t> file) {
  TPeImage image;
  image.FLayout = std::make_shared<const TPeLayout>(ReadLayout(file));
  const TSection& rs = image.FLayout->Rsrc();
  const TByteView section(file.data() + rs.RawPointer, std::min<std::uint64_t>(rs.Span(), rs.RawSize));
  image.FResources = TTreeReader(section, rs.Rva).Read();
  image.FFile = std::move(file);
  return image;
}

TResource* TPeImage::Find(const TResourceId& type, const TResourceId& name) {
  auto found = std::find_if(FResources.begin(), FResources.end(),
                            [&](const TResource& r) { return r.Type.Matches(type) && r.Name.Matches(name); });
  return found == FResources.end() ? nullptr : &*found;
}

const TResource* TPeImage::Find(const TResourceId& type, const TResourceId& name) const {
  return const_cast<TPeImage*>(this)->Find(type, name);
}

std::uint64_t TPeImage::OverlaySize() const {
  const TPeLayout& l = *FLayout;
  std::uint64_t end = l.RawEnd;
  // The linker may leave the last section's raw size unaligned and pad the file with zeros.
  const std::uint64_t padded = std::min<std::uint64_t>(AlignUp(end, l.FileAlignment), FFile.size());
  if (std::all_of(FFile.begin() + static_cast<std::ptrdiff_t>(end), FFile.begin() + static_cast<std::ptrdiff_t>(padded),
                  [](std::uint8_t b) { return b == 0; }))
    end = padded;
  return FFile.size() - end;
}

bool TPeImage::HasCertificateTable() const { return FLayout->Get(DataDirectory::Security).Size != 0; }

std::vector<std::uint8_t> TPeImage::Write() const {
  if (HasCertificateTable())
    throw EPeError("the image is signed; its resources can only be changed before signing");
  if (OverlaySize() != 0)
    throw EPeError("the image has data past its last section (a payload or a signature)");
  const TPeLayout& l = *FLayout;
  const TSection& rs = l.Rsrc();
  const TBytes tree = BuildResourceSection(FResources, rs.Rva);
  const std::uint64_t rawSize = AlignUp(tree.size(), l.FileAlignment);

  // What follows the resource section moves as one block, keeping its inner offsets.
  std::uint64_t tailRaw = FFile.size(), shiftRva = 0;
  for (std::size_t i = l.RsrcIndex + 1; i < l.Sections.size(); ++i)
    if (l.Sections[i].RawSize)
      tailRaw = std::min<std::uint64_t>(tailRaw, l.Sections[i].RawPointer);
  if (l.RsrcIndex + 1 < l.Sections.size())
    shiftRva = AlignUp(rs.Rva + tree.size(), l.SectionAlignment) - l.Sections[l.RsrcIndex + 1].Rva;  // mod 2^64
  const std::uint64_t shiftRaw = rs.RawPointer + rawSize - tailRaw;                                  // mod 2^64

  TBytes out(FFile.begin(), FFile.begin() + rs.RawPointer);
  out.insert(out.end(), tree.begin(), tree.end());
  out.resize(rs.RawPointer + rawSize);
  out.insert(out.end(), FFile.begin() + static_cast<std::ptrdiff_t>(tailRaw), FFile.end());
  if (out.size() > MaxSize)
    throw EPeError("the resources are too large");

  Put32(out, rs.Header + SectionHeader::VirtualSize, tree.size());
  Put32(out, rs.Header + SectionHeader::SizeOfRawData, rawSize);
  std::uint64_t imageEnd = 0;
  for (std::size_t i = 0; i < l.Sections.size(); ++i) {
    const TSection& s = l.Sections[i];
    std::uint64_t rva = s.Rva, span = i == l.RsrcIndex ? tree.size() : s.Span();
    if (i > l.RsrcIndex) {
      rva += shiftRva;
      Put32(out, s.Header + SectionHeader::VirtualAddress, rva);
      if (s.RawSize)
        Put32(out, s.Header + SectionHeader::PointerToRawData, s.RawPointer + shiftRaw);
    }
    imageEnd = std::max(imageEnd, rva + span);
  }
  if (imageEnd > MaxSize)
    throw EPeError("the resources are too large");
  Put32(out, l.Optional + OptionalHeader::SizeOfImage, AlignUp(imageEnd, l.SectionAlignment));
  if (rs.Flags & SectionHeader::InitializedData) {
    // Our linker counts every initialised section's aligned raw size; keep that sum.
    const std::int64_t initialized =
        std::int64_t{Get32(FFile, l.Optional + OptionalHeader::SizeOfInitializedData, Truncated)} -
        static_cast<std::int64_t>(AlignUp(rs.RawSize, l.FileAlignment)) + static_cast<std::int64_t>(rawSize);
    Put32(out, l.Optional + OptionalHeader::SizeOfInitializedData,
          static_cast<std::uint64_t>(std::clamp<std::int64_t>(initialized, 0, MaxSize)));
  }
  Put32(out, l.Directory(DataDirectory::Resource) + DataDirectory::VirtualAddress, rs.Rva);
  Put32(out, l.Directory(DataDirectory::Resource) + DataDirectory::DataSize, tree.size());
  const TDataDirectory relocations = l.Get(DataDirectory::BaseRelocation);
  if (relocations.Size && relocations.Rva >= rs.Rva)
    Put32(out, l.Directory(DataDirectory::BaseRelocation) + DataDirectory::VirtualAddress, relocations.Rva + shiftRva);
  Put32(out, l.Optional + OptionalHeader::CheckSum,
        PeChecksum(out, static_cast<std::uint32_t>(l.Optional + OptionalHeader::CheckSum)));
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
  while (sum >> 16)
    sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint32_t>(sum + file.size());
}

}  // namespace mkinstaller
