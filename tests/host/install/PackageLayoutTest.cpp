#include "PackageLayout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>

#include "../support/PosixFileStream.h"
#include "SysUtils.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

Bytes Le32(std::int32_t N) {
  auto U = static_cast<std::uint32_t>(N);
  return {static_cast<std::uint8_t>(U), static_cast<std::uint8_t>(U >> 8), static_cast<std::uint8_t>(U >> 16),
          static_cast<std::uint8_t>(U >> 24)};
}

Bytes RandomBytes(std::mt19937& Rng, std::size_t N) {
  Bytes Result(N);
  for (auto& B : Result)
    B = static_cast<std::uint8_t>(Rng());
  return Result;
}

class PackageFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir = fs::temp_directory_path() / ("pkglayout-" + std::to_string(::getpid()));
    fs::create_directories(Dir);
  }
  void TearDown() override { fs::remove_all(Dir); }

  void WriteFile(const fs::path& Path, const Bytes& Data) {
    std::ofstream Out(Path, std::ios::binary | std::ios::trunc);
    Out.write(reinterpret_cast<const char*>(Data.data()), static_cast<std::streamsize>(Data.size()));
  }
  Bytes ReadFile(const fs::path& Path) {
    std::ifstream In(Path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(In), {});
  }

  // Runs CopyPayload over real files; returns the error message, or "" on success.
  std::string Copy(const Bytes& Package, Bytes& Target) {
    WriteFile(Dir / "package.exe", Package);
    std::string Error;
    {
      TPosixFileStream Source((Dir / "package.exe").string(), O_RDONLY);
      TPosixFileStream Out((Dir / "target.scr").string(), O_RDWR | O_CREAT | O_TRUNC);
      try {
        CopyPayload(Source, Out);
      } catch (const EReadError& E) {
        Error = E.Message();
      } catch (const EWriteError& E) {
        Error = "write:" + E.Message();
      }
    }
    Target = ReadFile(Dir / "target.scr");
    return Error;
  }

  fs::path Dir;
};

// What a package with this trailer must give: the payload bytes, or nothing.
TEST_F(PackageFiles, TrailerRulesOverRandomPackages) {
  std::mt19937 Rng(20261208);
  int Copied = 0, Refused = 0;
  for (int Round = 0; Round < 10000; ++Round) {
    // At least one byte in front of the trailer, so that N = 1 always fits.
    auto Host = RandomBytes(Rng, Rng() % 400 + 1);
    auto Payload = RandomBytes(Rng, Rng() % 2000);
    Bytes Package = Host;
    Package.insert(Package.end(), Payload.begin(), Payload.end());
    const auto Front = static_cast<std::int32_t>(Package.size());
    // Each length with whether it names bytes in front of the trailer.
    const struct {
      std::int32_t N;
      bool Fits;
    } Choices[] = {{0, false},
                   {1, true},
                   {Front, true},
                   {Front + 1, false},
                   {INT_MAX, false},
                   {-1, false},
                   {INT_MIN, false},
                   {static_cast<std::int32_t>(Rng() % static_cast<std::uint32_t>(Front)) + 1, true},
                   {Front + 1 + static_cast<std::int32_t>(Rng() % 100000), false},
                   {-static_cast<std::int32_t>(Rng() % 100000), false}};
    const auto [N, Fits] = Choices[Rng() % std::size(Choices)];
    auto Trailer = Le32(N);
    Package.insert(Package.end(), Trailer.begin(), Trailer.end());

    Bytes Target;
    auto Error = Copy(Package, Target);
    SCOPED_TRACE("round " + std::to_string(Round) + ": front=" + std::to_string(Front) + " N=" + std::to_string(N));
    if (Fits) {
      ASSERT_EQ(Error, "");
      ASSERT_EQ(Target, Bytes(Package.end() - 4 - N, Package.end() - 4));
      ++Copied;
    } else {
      ASSERT_EQ(Error, "Stream read error");
      ASSERT_TRUE(Target.empty());
      ++Refused;
    }
  }
  // Both outcomes must really have been exercised.
  EXPECT_GT(Copied, 1000);
  EXPECT_GT(Refused, 1000);
}

TEST_F(PackageFiles, BoundaryTrailers) {
  const Bytes Host{'M', 'Z', 1, 2, 3, 4, 5, 6};
  const Bytes Payload{'M', 'Z', 9, 8, 7};
  Bytes Body = Host;
  Body.insert(Body.end(), Payload.begin(), Payload.end());
  const auto S = static_cast<std::int32_t>(Body.size() + 4);

  struct Case {
    std::int32_t N;
    bool Copies;
  } const Cases[] = {{5, true},   {1, true},        {S - 4, true},    {S - 3, false}, {0, false},
                     {-1, false}, {INT_MIN, false}, {INT_MAX, false}, {-S, false}};
  for (auto C : Cases) {
    SCOPED_TRACE("N=" + std::to_string(C.N));
    Bytes Package = Body, Target;
    auto Trailer = Le32(C.N);
    Package.insert(Package.end(), Trailer.begin(), Trailer.end());
    auto Error = Copy(Package, Target);
    if (C.Copies) {
      EXPECT_EQ(Error, "");
      EXPECT_EQ(Target, Bytes(Body.end() - C.N, Body.end()));
    } else {
      EXPECT_EQ(Error, "Stream read error");
      EXPECT_TRUE(Target.empty());
    }
  }
}

TEST_F(PackageFiles, FilesTooShortForATrailer) {
  for (Bytes Package : {Bytes{}, Bytes{1}, Bytes{1, 0, 0}}) {
    Bytes Target;
    EXPECT_EQ(Copy(Package, Target), "Stream read error");
    EXPECT_TRUE(Target.empty());
  }
  // Four bytes and nothing else: N can only be 0 or more than the file holds.
  Bytes Target;
  EXPECT_EQ(Copy(Le32(0), Target), "Stream read error");
}

TEST_F(PackageFiles, BytesAfterTheTrailerTakeItsPlace) {
  Bytes Package{'h', 'o', 's', 't', 'P', 'A', 'Y'};
  auto Trailer = Le32(3);
  Package.insert(Package.end(), Trailer.begin(), Trailer.end());
  // Without an image header naming them, appended bytes are not a certificate
  // table: their last four are read as N = 2, as in every unsigned file.
  Bytes Signed = Package;
  Signed.insert(Signed.end(), {'S', 'I', 2, 0, 0, 0});
  Bytes Target;
  ASSERT_EQ(Copy(Signed, Target), "");
  EXPECT_EQ(Target, (Bytes{'S', 'I'}));
}

constexpr std::size_t PeAt = 0x80, OptionalAt = PeAt + 24;
// Where the security directory's entry lies in the optional header.
constexpr std::size_t SecurityEntry(std::uint16_t Magic) { return (Magic == 0x20B ? 108 : 92) + 4 + 8 * 4; }

// A minimal image header whose security directory is (Table, TableSize); by
// default its optional header holds all 16 directories.
Bytes ImageHeader(std::uint16_t Magic, std::uint32_t Table, std::uint32_t TableSize, std::uint32_t Directories = 16,
                  std::size_t OptionalSize = 0) {
  const std::size_t Pe = PeAt, Optional = OptionalAt, CountAt = Magic == 0x20B ? 108 : 92;
  if (OptionalSize == 0)
    OptionalSize = CountAt + 4 + 8 * 16;
  Bytes H(Optional + std::max(OptionalSize, SecurityEntry(Magic) + 8), 0);
  auto Put = [&](std::size_t At, std::uint32_t V, int Bytes) {
    for (int I = 0; I < Bytes; ++I)
      H[At + I] = static_cast<std::uint8_t>(V >> 8 * I);
  };
  H[0] = 'M';
  H[1] = 'Z';
  Put(0x3C, Pe, 4);
  Put(Pe, 0x4550, 4);
  Put(Pe + 20, static_cast<std::uint32_t>(OptionalSize), 2);
  Put(Optional, Magic, 2);
  Put(Optional + CountAt, Directories, 4);
  Put(Optional + CountAt + 4 + 32, Table, 4);
  Put(Optional + CountAt + 4 + 36, TableSize, 4);
  return H;
}

// Host | payload | trailer | certificate table, with the host's security
// directory pointing at the table as a signer leaves it.
Bytes SignedPackage(std::uint16_t Magic, const Bytes& Payload, std::size_t TableSize) {
  auto Body = ImageHeader(Magic, 0, 0);
  Body.insert(Body.end(), Payload.begin(), Payload.end());
  auto Trailer = Le32(static_cast<std::int32_t>(Payload.size()));
  Body.insert(Body.end(), Trailer.begin(), Trailer.end());
  auto Table = static_cast<std::uint32_t>(Body.size());
  auto Signed = ImageHeader(Magic, Table, static_cast<std::uint32_t>(TableSize));
  std::copy(Body.begin() + static_cast<std::ptrdiff_t>(Signed.size()), Body.end(), std::back_inserter(Signed));
  for (std::size_t I = 0; I < TableSize; ++I)
    Signed.push_back(static_cast<std::uint8_t>(0xC0 + I));
  return Signed;
}

TEST_F(PackageFiles, SignedPackagesReadTheTrailerBeforeTheCertificateTable) {
  std::mt19937 Rng(88);
  for (std::uint16_t Magic : {0x10B, 0x20B}) {
    for (std::size_t TableSize : {8u, 1024u, 70000u}) {
      SCOPED_TRACE("magic " + std::to_string(Magic) + " table " + std::to_string(TableSize));
      const auto Payload = RandomBytes(Rng, 100000);
      const auto Package = SignedPackage(Magic, Payload, TableSize);
      TMemoryStream Stream(Package);
      EXPECT_EQ(PackageEnd(Stream), static_cast<std::int64_t>(Package.size() - TableSize));
      Bytes Target;
      ASSERT_EQ(Copy(Package, Target), "");
      EXPECT_EQ(Target, Payload);
    }
  }
}

TEST(PackageEnd, OnlyATableEndingAtTheEndOfTheFileMovesIt) {
  const std::size_t TailSize = 64;
  // An image of the given kind, 64 bytes after its header, the security
  // directory at (end of file - Back, Size).
  auto File = [&](std::uint16_t Magic, std::int64_t Back, std::uint32_t Size, std::uint32_t Directories = 16,
                  std::size_t OptionalSize = 0) {
    const auto Length = ImageHeader(Magic, 0, 0).size() + TailSize;
    auto H = ImageHeader(Magic, static_cast<std::uint32_t>(static_cast<std::int64_t>(Length) - Back), Size, Directories,
                         OptionalSize);
    H.resize(Length, 0x11);
    return H;
  };
  // Offset 0xFFFFFFF0 and a size that, added in 32 bits, ends at the end of the file.
  const auto Wrap = static_cast<std::int64_t>(ImageHeader(0x20B, 0, 0).size() + TailSize) + 16;
  struct Case {
    const char* What;
    Bytes File;
    std::int64_t FromEnd;  // where the package ends, counted back from the end of the file
  } const Cases[] = {
      {"signed", File(0x20B, 16, 16), 16},
      {"signed 32-bit image", File(0x10B, 24, 24), 24},
      {"unsigned", File(0x20B, 0, 0), 0},
      {"table ends before the end", File(0x20B, 24, 16), 0},
      {"table runs past the end", File(0x20B, 16, 24), 0},
      {"empty table at the end", File(0x20B, 0, 0), 0},
      {"offset and size add up only in 32 bits", File(0x20B, Wrap, static_cast<std::uint32_t>(Wrap)), 0},
      {"no security directory", File(0x20B, 16, 16, 4), 0},
      {"the security directory is the last", File(0x20B, 16, 16, 5), 16},
      {"unknown optional header", File(0x107, 16, 16), 0},
      // The optional header's stated size must hold the whole security entry.
      {"optional header ends with the security entry", File(0x20B, 16, 16, 16, SecurityEntry(0x20B) + 8), 16},
      {"optional header ends inside the security entry", File(0x20B, 16, 16, 16, SecurityEntry(0x20B) + 7), 0},
      {"optional header ends amid the security entry", File(0x10B, 16, 16, 16, SecurityEntry(0x10B) + 4), 0},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.What);
    TMemoryStream Stream(C.File);
    EXPECT_EQ(PackageEnd(Stream), static_cast<std::int64_t>(C.File.size()) - C.FromEnd);
  }
  // A header cut short anywhere, or with its signatures broken, is read as unsigned.
  const auto Signed = File(0x20B, 16, 16);
  for (std::size_t Cut = 0; Cut < Signed.size() - TailSize; Cut += 7) {
    TMemoryStream Stream(Bytes(Signed.begin(), Signed.begin() + static_cast<std::ptrdiff_t>(Cut)));
    EXPECT_EQ(PackageEnd(Stream), static_cast<std::int64_t>(Cut));
  }
  // A file that ends inside the security entry is unsigned, even where the
  // entry, had it been whole, would have put a one-byte table at its very end.
  const auto Entry = OptionalAt + SecurityEntry(0x20B);
  for (std::size_t Cut = Entry; Cut < Entry + 8; ++Cut) {
    auto H = ImageHeader(0x20B, static_cast<std::uint32_t>(Cut - 1), 1);
    H.resize(Cut);
    TMemoryStream Stream(H);
    EXPECT_EQ(PackageEnd(Stream), static_cast<std::int64_t>(Cut)) << "cut at " << Cut;
  }
  for (std::size_t At : {0u, 1u, 0x80u, 0x82u}) {
    auto Broken = Signed;
    Broken[At] ^= 0x20;
    TMemoryStream Stream(Broken);
    EXPECT_EQ(PackageEnd(Stream), static_cast<std::int64_t>(Signed.size())) << "byte " << At;
  }
}

TEST(PackageEnd, RandomlyDamagedHeadersStayInsideTheFile) {
  std::mt19937 Rng(31337);
  const auto Good = SignedPackage(0x20B, RandomBytes(Rng, 300), 40);
  int Moved = 0;
  for (int Round = 0; Round < 20000; ++Round) {
    auto File = Good;
    for (int Hits = 1 + Rng() % 4; Hits > 0; --Hits)
      File[Rng() % 0x180] = static_cast<std::uint8_t>(Rng());
    TMemoryStream Stream(File);
    const auto End = PackageEnd(Stream);
    ASSERT_GE(End, 0);
    ASSERT_LE(End, static_cast<std::int64_t>(File.size()));
    Moved += End != static_cast<std::int64_t>(File.size());
  }
  // Most damage misses the few fields read, so most files still count as signed.
  EXPECT_GT(Moved, 10000);
}

// Memory streams that count the calls and fail on demand.
class TProbeStream : public TMemoryStream {
 public:
  using TMemoryStream::TMemoryStream;
  std::int32_t Read(void* Buffer, std::int32_t Count) override {
    ++Reads;
    LargestBlock = std::max(LargestBlock, Count);
    Buffers.insert(Buffer);
    if (ReadsLeft-- == 0)
      return Count / 2;
    return TMemoryStream::Read(Buffer, Count);
  }
  std::int32_t Write(const void* Buffer, std::int32_t Count) override {
    LargestBlock = std::max(LargestBlock, Count);
    Buffers.insert(Buffer);
    if (WritesLeft-- == 0)
      return TMemoryStream::Write(Buffer, Count - 1);
    return TMemoryStream::Write(Buffer, Count);
  }
  std::int32_t LargestBlock = 0;
  std::set<const void*> Buffers;
  int Reads = 0;
  int ReadsLeft = -1, WritesLeft = -1;
};

Bytes PackageOf(const Bytes& Payload) {
  Bytes Package{'M', 'Z', 0, 0};
  Package.insert(Package.end(), Payload.begin(), Payload.end());
  auto Trailer = Le32(static_cast<std::int32_t>(Payload.size()));
  Package.insert(Package.end(), Trailer.begin(), Trailer.end());
  return Package;
}

TEST(CopyPayload, StreamsLargePayloadsInBoundedBlocks) {
  std::mt19937 Rng(7);
  auto Payload = RandomBytes(Rng, 3 * 61440 + 123);
  TProbeStream Source(PackageOf(Payload)), Target;
  CopyPayload(Source, Target);
  EXPECT_EQ(Target.Data(), Payload);
  // Blocks of at most 61,440 bytes, all through one buffer; the block size itself is the copy's choice.
  EXPECT_LE(Target.LargestBlock, 61440);
  ASSERT_EQ(Target.Buffers.size(), 1u);
  EXPECT_EQ(Source.Buffers.count(*Target.Buffers.begin()), 1u);
  EXPECT_EQ(Source.LargestBlock, Target.LargestBlock);
}

TEST(CopyPayload, ShortReadMidwayIsAReadErrorAndKeepsEarlierBlocks) {
  std::mt19937 Rng(8);
  auto Payload = RandomBytes(Rng, 2 * 61440 + 5);
  TProbeStream Header(PackageOf(Payload)), Source(PackageOf(Payload)), Target;
  LocatePayload(Header);
  Source.ReadsLeft = Header.Reads + 1;  // the header and trailer, the first block, then a short read
  try {
    CopyPayload(Source, Target);
    FAIL() << "no error";
  } catch (const EReadError& E) {
    EXPECT_STREQ(E.what(), "Stream read error");
  }
  // The first block, whole.
  EXPECT_EQ(Target.Data().size(), static_cast<std::size_t>(Target.LargestBlock));
  EXPECT_EQ(Target.Data(), Bytes(Payload.begin(), Payload.begin() + Target.LargestBlock));
}

TEST(CopyPayload, ShortWriteIsAWriteErrorAndKeepsWhatWasWritten) {
  std::mt19937 Rng(9);
  auto Payload = RandomBytes(Rng, 2 * 61440);
  TProbeStream Source(PackageOf(Payload)), Target;
  Target.WritesLeft = 1;
  try {
    CopyPayload(Source, Target);
    FAIL() << "no error";
  } catch (const EWriteError& E) {
    EXPECT_STREQ(E.what(), "Stream write error");
  }
  // The first block, and the second but for its last byte.
  EXPECT_EQ(Target.Data(), Bytes(Payload.begin(), Payload.begin() + 2 * Target.LargestBlock - 1));
}

TEST(CopyFrom, CountZeroCopiesTheWholeSourceAndNegativeCountsFailAtOnce) {
  TMemoryStream Source(Bytes{1, 2, 3, 4, 5}), Whole, None;
  Source.Seek(3, TSeekOrigin::soBeginning);
  EXPECT_EQ(Whole.CopyFrom(Source, 0), 5);
  EXPECT_EQ(Whole.Data(), (Bytes{1, 2, 3, 4, 5}));
  EXPECT_THROW(None.CopyFrom(Source, -1), EReadError);
  EXPECT_TRUE(None.Data().empty());
}

TEST(PayloadExtent, OffsetsAreCountedFromTheEnd) {
  auto E = PayloadExtent(2101931, 1446567);
  EXPECT_EQ(E.Offset, 655360);
  EXPECT_EQ(E.Length, 1446567);
  EXPECT_THROW(PayloadExtent(10, 7), EReadError);
  EXPECT_NO_THROW(PayloadExtent(10, 6));
  // Locating refuses a trailer of 0 or less itself, before any copy is tried.
  for (std::int32_t N : {0, -1, -6, INT_MIN}) {
    EXPECT_THROW(PayloadExtent(10, N), EReadError) << N;
    Bytes Package{'M', 'Z', 1, 2, 3, 4};
    auto Trailer = Le32(N);
    Package.insert(Package.end(), Trailer.begin(), Trailer.end());
    TMemoryStream Stream(Package);
    EXPECT_THROW(LocatePayload(Stream), EReadError) << N;
  }
}

}  // namespace
