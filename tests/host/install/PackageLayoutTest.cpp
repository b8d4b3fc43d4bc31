#include "PackageLayout.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

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
bool Fits(std::int64_t S, std::int32_t N) { return N >= 1 && N <= S - 4; }

TEST_F(PackageFiles, TrailerRulesOverRandomPackages) {
  std::mt19937 Rng(20261208);
  int Copied = 0, Refused = 0;
  for (int Round = 0; Round < 10000; ++Round) {
    auto Host = RandomBytes(Rng, Rng() % 400);
    auto Payload = RandomBytes(Rng, Rng() % 2000);
    Bytes Package = Host;
    Package.insert(Package.end(), Payload.begin(), Payload.end());
    const auto S = static_cast<std::int64_t>(Package.size()) + 4;
    const std::int32_t Choices[] = {0,
                                    1,
                                    static_cast<std::int32_t>(S - 4),
                                    static_cast<std::int32_t>(S - 3),
                                    INT_MAX,
                                    -1,
                                    INT_MIN,
                                    static_cast<std::int32_t>(Payload.size()),
                                    static_cast<std::int32_t>(Rng()),
                                    static_cast<std::int32_t>(Rng() % (S + 8)) - 4};
    const auto N = Choices[Rng() % std::size(Choices)];
    auto Trailer = Le32(N);
    Package.insert(Package.end(), Trailer.begin(), Trailer.end());

    Bytes Target;
    auto Error = Copy(Package, Target);
    SCOPED_TRACE("round " + std::to_string(Round) + ": S=" + std::to_string(S) + " N=" + std::to_string(N));
    if (Fits(S, N)) {
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
  } const Cases[] = {{5, true}, {1, true}, {S - 4, true}, {S - 3, false}, {0, false},
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
  // A signature block appended later: its last four bytes are read as N = 2.
  Bytes Signed = Package;
  Signed.insert(Signed.end(), {'S', 'I', 2, 0, 0, 0});
  Bytes Target;
  ASSERT_EQ(Copy(Signed, Target), "");
  EXPECT_EQ(Target, (Bytes{'S', 'I'}));
}

// Memory streams that count the calls and fail on demand.
class TProbeStream : public TMemoryStream {
public:
  using TMemoryStream::TMemoryStream;
  std::int32_t Read(void* Buffer, std::int32_t Count) override {
    LargestBlock = std::max(LargestBlock, Count);
    if (ReadsLeft-- == 0)
      return Count / 2;
    return TMemoryStream::Read(Buffer, Count);
  }
  std::int32_t Write(const void* Buffer, std::int32_t Count) override {
    LargestBlock = std::max(LargestBlock, Count);
    if (WritesLeft-- == 0)
      return TMemoryStream::Write(Buffer, Count - 1);
    return TMemoryStream::Write(Buffer, Count);
  }
  std::int32_t LargestBlock = 0;
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
  EXPECT_EQ(Source.LargestBlock, 61440);
  EXPECT_EQ(Target.LargestBlock, 61440);
}

TEST(CopyPayload, ShortReadMidwayIsAReadErrorAndKeepsEarlierBlocks) {
  std::mt19937 Rng(8);
  auto Payload = RandomBytes(Rng, 2 * 61440 + 5);
  TProbeStream Source(PackageOf(Payload)), Target;
  Source.ReadsLeft = 2;  // the trailer, the first block, then a short read
  try {
    CopyPayload(Source, Target);
    FAIL() << "no error";
  } catch (const EReadError& E) {
    EXPECT_STREQ(E.what(), "Stream read error");
  }
  EXPECT_EQ(Target.Data(), Bytes(Payload.begin(), Payload.begin() + 61440));
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
  EXPECT_EQ(Target.Data(), Bytes(Payload.begin(), Payload.end() - 1));
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
}

}  // namespace
