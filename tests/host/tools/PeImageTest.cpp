// Tests of the resource rewriter on small synthetic PE32+ images.
#include "PeImageTestSupport.h"

#include <gtest/gtest.h>

namespace {

using namespace PeImageTestSupport;

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

// An image whose .rsrc holds `Entries` type entries that all name one string
// of `Length` characters, each with an empty directory of its own
// (overlapping zeros), in a resource section made for `Room` bytes of data.
Bytes SharedNameTree(std::uint32_t Entries, std::uint32_t Length, std::size_t Room) {
  const std::uint32_t NameAt = ResourceDirectory::Size + ResourceDirectoryEntry::Size * Entries,
                      EmptyAt = NameAt + ResourceString::Units + 2 * Length;
  Bytes Image =
      BuildImage(SampleSections(), {Res(TResourceId::Number(RtRcData), TResourceId::Number(1), 0, Bytes(Room))});
  const SectionInfo Rsrc = Section(Image, 2);
  std::fill_n(Image.begin() + Rsrc.RawPointer, Rsrc.RawSize, 0);
  const std::uint32_t R = Rsrc.RawPointer;
  Wr16(Image, R + ResourceDirectory::NumberOfNamedEntries, Entries);
  for (std::uint32_t I = 0; I < Entries; ++I) {
    Wr32(Image, EntryField(R, I, ResourceDirectoryEntry::Name), 0x80000000 | NameAt);
    Wr32(Image, EntryField(R, I, ResourceDirectoryEntry::OffsetToData), 0x80000000 | (EmptyAt + I));
  }
  Wr16(Image, R + NameAt + ResourceString::Length, Length);
  for (std::uint32_t C = 0; C < Length; ++C)
    Wr16(Image, R + NameAt + ResourceString::Units + 2 * C, 'A');
  return Image;
}

TEST(PeImage, ManyEntriesNamingOneLongNameAreRefusedBeforeTheyAreCopied) {
  // 6,000 type entries all name one string of 16,000 characters: no leaves, but 6,000 copies
  // of the name (192 MB) if each entry copied it. The section holds about 86 KB.
  constexpr std::uint32_t EntryCount = 6000, NameLength = 16000;
  constexpr std::uint32_t Room = ResourceDirectory::Size + ResourceDirectoryEntry::Size * EntryCount +
                                 ResourceString::Units + 2 * NameLength + EntryCount + ResourceDirectory::Size;
  const Bytes Image = SharedNameTree(EntryCount, NameLength, Room);
  ASSERT_GE(Section(Image, 2).VirtualSize, Room);
  EXPECT_EQ(ParseError(Image), "the resource tree is too large for its section");

  // At the edge: 8 entries naming one string of 64 characters copy 512 characters, as many as
  // a section of 512 bytes may; one of 511 bytes refuses them.
  constexpr std::uint32_t Entries = 8, Length = 64, Copied = Entries * Length;
  Bytes Edge = SharedNameTree(Entries, Length, 600);
  ASSERT_GE(Section(Edge, 2).RawSize, Copied);
  for (const std::uint32_t Size : {Copied, Copied - 1}) {
    Wr32(Edge, SectionField(2, SectionHeader::VirtualSize), Size);
    EXPECT_EQ(ParseError(Edge) == "the resource tree is too large for its section", Size < Copied)
        << Size << ": " << ParseError(Edge);
  }
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

}  // namespace
