// Times the installer's payload copy against CopyFileA on the same bytes, and
// measures the peak working set of each. Every copy runs in a child process
// of its own, so one copy's peak cannot hide another's.
//
// Plain ReadFile/WriteFile loops over the same bytes with blocks of 16, 32, 48,
// 60 and 64 KiB (the last the block Wine's CopyFileA uses) tell a cost of the
// block size apart from a cost of the stream classes, and chose the payload
// copy's block.
//
//   copy_bench [--sizes MIB[,MIB...]] [--runs N] [--dir FOLDER]
//   copy_bench --child payload|copyfile|raw:BLOCK|idle SOURCE TARGET RESULTFILE
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "FileStream.h"
#include "PackageLayout.h"
#include "SysUtils.h"

namespace {

constexpr std::int64_t MiB = 1024 * 1024;
// Odd, like a real host image, so the payload starts unaligned as in a package.
constexpr std::int64_t HostImageSize = 200'003;
constexpr DWORD IoBlock = 1 << 20;
// A copy that held the payload in memory would grow by about the payload's size.
constexpr std::uint64_t FlatPeakTolerance = 1 * MiB;

// Unwinds, so the benchmark's files are removed on every failure.
[[noreturn]] void Fail(const std::string& What) {
  const DWORD Error = GetLastError();
  throw std::runtime_error(Error ? What + " (error " + std::to_string(Error) + ")" : What);
}

double Now() {
  static const double Frequency = [] {
    LARGE_INTEGER F;
    QueryPerformanceFrequency(&F);
    return static_cast<double>(F.QuadPart);
  }();
  LARGE_INTEGER T;
  QueryPerformanceCounter(&T);
  return static_cast<double>(T.QuadPart) / Frequency;
}

std::uint64_t PeakWorkingSet(HANDLE Process) {
  PROCESS_MEMORY_COUNTERS Counters{};
  Counters.cb = sizeof Counters;
  return GetProcessMemoryInfo(Process, &Counters, sizeof Counters) ? Counters.PeakWorkingSetSize : 0;
}

// The payload copy without the stream classes: the same handles, the same
// seek, one buffer of Block bytes.
void RawCopy(const std::string& Source, const std::string& Target, DWORD Block) {
  TFileHandle Src(CreateFileA(Source.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  TFileHandle Dst(CreateFileA(Target.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!Src || !Dst)
    Fail("raw copy cannot open its files");
  LARGE_INTEGER Size, Offset;
  std::uint8_t Trailer[4];
  DWORD Done = 0;
  Offset.QuadPart = -4;
  if (!GetFileSizeEx(Src.Get(), &Size) || !SetFilePointerEx(Src.Get(), Offset, nullptr, FILE_END) ||
      !ReadFile(Src.Get(), Trailer, 4, &Done, nullptr) || Done != 4)
    Fail("raw copy cannot read the trailer");
  std::int64_t Left = Trailer[0] | Trailer[1] << 8 | Trailer[2] << 16 | static_cast<std::int64_t>(Trailer[3]) << 24;
  Offset.QuadPart = Size.QuadPart - 4 - Left;
  if (!SetFilePointerEx(Src.Get(), Offset, nullptr, FILE_BEGIN))
    Fail("raw copy cannot seek");
  auto Buffer = std::make_unique<std::uint8_t[]>(Block);
  while (Left > 0) {
    const auto N = static_cast<DWORD>(std::min<std::int64_t>(Left, Block));
    DWORD Read = 0, Written = 0;
    if (!ReadFile(Src.Get(), Buffer.get(), N, &Read, nullptr) || Read != N ||
        !WriteFile(Dst.Get(), Buffer.get(), N, &Written, nullptr) || Written != N)
      Fail("raw copy failed");
    Left -= N;
  }
}

// The child: one copy, then its time and its own peak into ResultFile.
int RunChild(const std::string& Mode, const std::string& Source, const std::string& Target,
             const std::string& ResultFile) {
  const double Start = Now();
  try {
    if (Mode == "payload") {
      TFileStream Src(Source, TFileMode::fmOpenReadExclusive);
      TFileStream Dst(Target, TFileMode::fmCreate);
      CopyPayload(Src, Dst);
    } else if (Mode == "copyfile") {
      if (!CopyFileA(Source.c_str(), Target.c_str(), FALSE))
        Fail("CopyFileA failed");
    } else if (Mode.starts_with("raw:")) {
      RawCopy(Source, Target, static_cast<DWORD>(std::stoul(Mode.substr(4))));
    } else if (Mode != "idle") {
      Fail("unknown child mode " + Mode);
    }
  } catch (const Exception& E) {
    Fail("payload copy failed: " + E.Message());
  }
  const double Seconds = Now() - Start;
  std::FILE* Out = std::fopen(ResultFile.c_str(), "w");
  if (!Out)
    Fail("cannot write " + ResultFile);
  std::fprintf(Out, "%.9f %llu\n", Seconds, static_cast<unsigned long long>(PeakWorkingSet(GetCurrentProcess())));
  std::fclose(Out);
  return 0;
}

struct TRun {
  double Seconds;
  std::uint64_t PeakFromParent;  // 0 when the exited child's handle gives nothing
  std::uint64_t PeakFromChild;
  std::uint64_t Peak() const { return PeakFromParent ? PeakFromParent : PeakFromChild; }
};

class TBench {
 public:
  explicit TBench(std::string Folder) : FFolder(std::move(Folder)) {
    char Self[MAX_PATH];
    if (!GetModuleFileNameA(nullptr, Self, sizeof Self))
      Fail("GetModuleFileNameA failed");
    FSelf = Self;
    if (!CreateDirectoryA(FFolder.c_str(), nullptr))
      Fail("cannot create folder " + FFolder);
    FPackage = FFolder + "\\package.exe";
    FPlain = FFolder + "\\payload.bin";
    FTarget = FFolder + "\\target.scr";
    FResult = FFolder + "\\result.txt";
  }

  ~TBench() {
    for (const auto* Name : {&FPackage, &FPlain, &FTarget, &FResult})
      DeleteFileA(Name->c_str());
    RemoveDirectoryA(FFolder.c_str());
  }

  TBench(const TBench&) = delete;
  TBench& operator=(const TBench&) = delete;

  const std::string& Folder() const { return FFolder; }

  // The package (host image, payload, trailer) and the same payload bytes
  // alone, for CopyFileA. Both are flushed so their write-back does not run
  // during the timed copies.
  void MakeFiles(std::int64_t PayloadSize) {
    TFile Package(FPackage), Plain(FPlain);
    std::vector<std::uint8_t> Block(IoBlock);
    std::uint64_t State = 0x9E3779B97F4A7C15ull ^ static_cast<std::uint64_t>(PayloadSize);
    auto Fill = [&](std::size_t Count) {
      for (std::size_t I = 0; I < Count; I += 8) {
        State ^= State >> 12;
        State ^= State << 25;
        State ^= State >> 27;
        const std::uint64_t V = State * 0x2545F4914F6CDD1Dull;
        std::memcpy(Block.data() + I, &V, std::min<std::size_t>(8, Count - I));
      }
    };
    for (std::int64_t Left = HostImageSize; Left > 0;) {
      const auto N = static_cast<DWORD>(std::min<std::int64_t>(Left, IoBlock));
      Fill(N);
      Package.Write(Block.data(), N);
      Left -= N;
    }
    for (std::int64_t Left = PayloadSize; Left > 0;) {
      const auto N = static_cast<DWORD>(std::min<std::int64_t>(Left, IoBlock));
      Fill(N);
      Package.Write(Block.data(), N);
      Plain.Write(Block.data(), N);
      Left -= N;
    }
    const auto N = static_cast<std::uint32_t>(PayloadSize);
    const std::uint8_t Trailer[4] = {static_cast<std::uint8_t>(N), static_cast<std::uint8_t>(N >> 8),
                                     static_cast<std::uint8_t>(N >> 16), static_cast<std::uint8_t>(N >> 24)};
    Package.Write(Trailer, sizeof Trailer);
    Package.Flush();
    Plain.Flush();
  }

  // One copy in a child process; the target is checked when Verify is set,
  // and removed afterwards either way.
  TRun Copy(const char* Mode, bool Verify) {
    const std::string& Source = std::strcmp(Mode, "copyfile") == 0 ? FPlain : FPackage;
    std::string CommandLine =
        "\"" + FSelf + "\" --child " + Mode + " \"" + Source + "\" \"" + FTarget + "\" \"" + FResult + "\"";
    STARTUPINFOA Startup{};
    Startup.cb = sizeof Startup;
    PROCESS_INFORMATION Process{};
    // Wine now and then fails a start with an internal error; a second try works.
    for (int Attempt = 1;
         !CreateProcessA(nullptr, CommandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &Startup, &Process);
         ++Attempt) {
      if (Attempt == 3)
        Fail("cannot start " + CommandLine);
      std::fprintf(stderr, "copy_bench: starting a child failed (error %lu), trying again\n", GetLastError());
      Sleep(500);
    }
    CloseHandle(Process.hThread);
    WaitForSingleObject(Process.hProcess, INFINITE);
    DWORD ExitCode = 1;
    GetExitCodeProcess(Process.hProcess, &ExitCode);
    TRun Run{0, PeakWorkingSet(Process.hProcess), 0};
    CloseHandle(Process.hProcess);
    if (ExitCode != 0)
      Fail(std::string("child ") + Mode + " failed with exit code " + std::to_string(ExitCode));

    std::FILE* In = std::fopen(FResult.c_str(), "r");
    unsigned long long Peak = 0;
    const bool Read = In && std::fscanf(In, "%lf %llu", &Run.Seconds, &Peak) == 2;
    if (In)
      std::fclose(In);
    if (!Read)
      Fail("no result from child " + std::string(Mode));
    DeleteFileA(FResult.c_str());
    Run.PeakFromChild = Peak;

    if (Verify && std::strcmp(Mode, "idle") != 0 && !SameContents(FTarget, FPlain))
      Fail(std::string("the copy by ") + Mode + " differs from the payload");
    DeleteFileA(FTarget.c_str());
    return Run;
  }

 private:
  // A write-only file made afresh, for the inputs.
  class TFile {
   public:
    explicit TFile(const std::string& Name)
        : FName(Name),
          FHandle(CreateFileA(Name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)) {
      if (FHandle == INVALID_HANDLE_VALUE)
        Fail("cannot create " + Name);
    }
    ~TFile() { CloseHandle(FHandle); }
    TFile(const TFile&) = delete;
    TFile& operator=(const TFile&) = delete;
    void Write(const void* Data, DWORD Count) {
      DWORD Done = 0;
      if (!WriteFile(FHandle, Data, Count, &Done, nullptr) || Done != Count)
        Fail("cannot write " + FName);
    }
    void Flush() {
      if (!FlushFileBuffers(FHandle))
        Fail("cannot flush " + FName);
    }

   private:
    std::string FName;
    HANDLE FHandle;
  };

  static bool SameContents(const std::string& A, const std::string& B) {
    HANDLE Ha = CreateFileA(A.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE Hb = CreateFileA(B.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    bool Same = Ha != INVALID_HANDLE_VALUE && Hb != INVALID_HANDLE_VALUE;
    std::vector<std::uint8_t> Ba(IoBlock), Bb(IoBlock);
    while (Same) {
      DWORD Na = 0, Nb = 0;
      Same = ReadFile(Ha, Ba.data(), IoBlock, &Na, nullptr) && ReadFile(Hb, Bb.data(), IoBlock, &Nb, nullptr) &&
             Na == Nb && std::memcmp(Ba.data(), Bb.data(), Na) == 0;
      if (Na == 0)
        break;
    }
    if (Ha != INVALID_HANDLE_VALUE)
      CloseHandle(Ha);
    if (Hb != INVALID_HANDLE_VALUE)
      CloseHandle(Hb);
    return Same;
  }

  std::string FFolder, FSelf, FPackage, FPlain, FTarget, FResult;
};

template <typename T>
T Median(std::vector<T> V) {
  std::sort(V.begin(), V.end());
  const auto M = V.size() / 2;
  return V.size() % 2 ? V[M] : (V[M - 1] + V[M]) / 2;
}

struct TSeries {
  std::vector<TRun> Runs;
  double MedianSeconds() const {
    std::vector<double> V;
    for (const auto& R : Runs)
      V.push_back(R.Seconds);
    return Median(V);
  }
  double BestSeconds() const {
    return std::min_element(Runs.begin(), Runs.end(),
                            [](const TRun& A, const TRun& B) { return A.Seconds < B.Seconds; })
        ->Seconds;
  }
  std::uint64_t MedianPeak() const {
    std::vector<std::uint64_t> V;
    for (const auto& R : Runs)
      V.push_back(R.Peak());
    return Median(V);
  }
  bool ParentSawPeak() const {
    return std::all_of(Runs.begin(), Runs.end(), [](const TRun& R) { return R.PeakFromParent != 0; });
  }
};

void PrintSeries(const char* Label, std::int64_t Size, const TSeries& S) {
  std::printf("  %-10s median %7.4f s %5.0f MiB/s  best %7.4f s  peak WS %6llu KiB  runs:", Label, S.MedianSeconds(),
              static_cast<double>(Size) / MiB / S.MedianSeconds(), S.BestSeconds(),
              static_cast<unsigned long long>(S.MedianPeak() / 1024));
  for (const auto& R : S.Runs)
    std::printf(" %.4f", R.Seconds);
  std::printf(" s\n");
}

struct TMethod {
  const char* Mode;
  const char* Label;
};
// The first two are compared; the raw loops explain the difference.
constexpr TMethod Methods[] = {{"payload", "payload"},     {"copyfile", "CopyFileA"},  {"raw:16384", "raw 16384"},
                               {"raw:32768", "raw 32768"}, {"raw:49152", "raw 49152"}, {"raw:61440", "raw 61440"},
                               {"raw:65536", "raw 65536"}};
constexpr std::size_t MethodCount = std::size(Methods);
constexpr std::size_t FirstRaw = 2;

// The raw loop with the payload copy's own block, for the cost of the stream classes.
std::size_t RawOfPayloadBlock() {
  for (std::size_t K = FirstRaw; K < MethodCount; ++K)
    if (std::stoi(Methods[K].Mode + 4) == TStream::MaxBufSize)
      return K;
  return MethodCount;
}

struct TSizeResult {
  std::int64_t Size;
  TSeries Series[MethodCount];
};

void PrintRatio(const char* What, const TSeries& A, const TSeries& B, bool Target) {
  const double Ratio = A.MedianSeconds() / B.MedianSeconds();
  std::printf("  %-34s median %.3f, best %.3f", What, Ratio, A.BestSeconds() / B.BestSeconds());
  if (Target)
    std::printf("  (target: median <= 1.05, %s)", Ratio <= 1.05 ? "met" : "MISSED");
  std::printf("\n");
}

int RunBench(const std::vector<std::int64_t>& SizesMiB, int Runs, std::string Folder) {
  if (Folder.empty()) {
    char Temp[MAX_PATH];
    if (!GetTempPathA(sizeof Temp, Temp))
      Fail("GetTempPathA failed");
    Folder = std::string(Temp) + "copy_bench." + std::to_string(GetCurrentProcessId());
  }
  TBench Bench(Folder);
  std::printf("copy_bench: CopyPayload (blocks of %d bytes) against CopyFileA on the same bytes\n",
              TStream::MaxBufSize);
  std::printf("  raw N: plain ReadFile/WriteFile loop over the package's payload with N-byte blocks\n");
  std::printf("  folder %s\n  one verified warm-up copy per method, then %d timed runs each; medians\n",
              Bench.Folder().c_str(), Runs);
  std::printf("  times are taken inside each child around its copy, process start-up excluded\n");
  std::fflush(stdout);

  TSeries Idle;
  for (int I = 0; I < Runs; ++I)
    Idle.Runs.push_back(Bench.Copy("idle", false));
  std::printf("\nidle child (no copy): peak WS %llu KiB\n", static_cast<unsigned long long>(Idle.MedianPeak() / 1024));

  std::vector<TSizeResult> Results;
  bool ParentSawPeak = Idle.ParentSawPeak();
  for (const auto SizeMiB : SizesMiB) {
    TSizeResult R{SizeMiB * MiB, {}};
    const double MakeStart = Now();
    Bench.MakeFiles(R.Size);
    std::printf("\npayload %lld MiB (files made and flushed in %.1f s)\n", static_cast<long long>(SizeMiB),
                Now() - MakeStart);
    std::fflush(stdout);
    for (const auto& M : Methods)
      Bench.Copy(M.Mode, true);
    // Runs take the methods in turn, every other run backwards, so a drift
    // in the machine's speed falls on all of them alike.
    for (int I = 0; I < Runs; ++I)
      for (std::size_t J = 0; J < MethodCount; ++J) {
        const auto K = I % 2 == 0 ? J : MethodCount - 1 - J;
        R.Series[K].Runs.push_back(Bench.Copy(Methods[K].Mode, false));
      }
    for (std::size_t K = 0; K < MethodCount; ++K) {
      PrintSeries(Methods[K].Label, R.Size, R.Series[K]);
      ParentSawPeak = ParentSawPeak && R.Series[K].ParentSawPeak();
    }
    PrintRatio("time ratio payload / CopyFileA", R.Series[0], R.Series[1], true);
    for (std::size_t K = FirstRaw; K < MethodCount; ++K)
      PrintRatio((std::string(Methods[K].Label) + " / CopyFileA").c_str(), R.Series[K], R.Series[1], false);
    if (const auto Own = RawOfPayloadBlock(); Own < MethodCount)
      PrintRatio((std::string("streams: payload / ") + Methods[Own].Label).c_str(), R.Series[0], R.Series[Own], false);
    std::fflush(stdout);
    Results.push_back(std::move(R));
  }

  std::printf("\npeak working set %s\n", ParentSawPeak ? "read by the parent from each exited child's handle"
                                                       : "reported by each child itself (the parent got nothing)");
  if (Results.size() >= 2) {
    const auto& Small = Results.front();
    const auto& Large = Results.back();
    for (std::size_t K = 0; K < MethodCount; ++K) {
      const auto SmallPeak = Small.Series[K].MedianPeak(), LargePeak = Large.Series[K].MedianPeak();
      const auto Growth = static_cast<long long>(LargePeak) - static_cast<long long>(SmallPeak);
      std::printf("  %-10s %lld MiB -> %lld MiB: %llu -> %llu KiB (%+lld KiB; flat within %llu KiB: %s)\n",
                  Methods[K].Label, static_cast<long long>(Small.Size / MiB), static_cast<long long>(Large.Size / MiB),
                  static_cast<unsigned long long>(SmallPeak / 1024), static_cast<unsigned long long>(LargePeak / 1024),
                  Growth / 1024, static_cast<unsigned long long>(FlatPeakTolerance / 1024),
                  static_cast<std::uint64_t>(std::llabs(Growth)) <= FlatPeakTolerance ? "yes" : "NO");
    }
  }
  return 0;
}

std::vector<std::int64_t> ParseSizes(const std::string& List) {
  std::vector<std::int64_t> Sizes;
  for (std::size_t Pos = 0; Pos <= List.size();) {
    auto Comma = List.find(',', Pos);
    if (Comma == std::string::npos)
      Comma = List.size();
    const auto MiBCount = std::atoll(List.substr(Pos, Comma - Pos).c_str());
    // The trailer holds a signed 32-bit length.
    if (MiBCount <= 0 || MiBCount * MiB > 0x7FFFFFFF) {
      SetLastError(NO_ERROR);
      Fail("bad size in --sizes: " + List);
    }
    Sizes.push_back(MiBCount);
    Pos = Comma + 1;
  }
  std::sort(Sizes.begin(), Sizes.end());
  return Sizes;
}

}  // namespace

int main(int argc, char** argv) try {
  std::vector<std::string> Args(argv + 1, argv + argc);
  if (Args.size() == 5 && Args[0] == "--child")
    return RunChild(Args[1], Args[2], Args[3], Args[4]);

  std::vector<std::int64_t> Sizes{16, 256};
  int Runs = 15;
  std::string Folder;
  for (std::size_t I = 0; I < Args.size(); ++I) {
    const bool HasValue = I + 1 < Args.size();
    if (Args[I] == "--sizes" && HasValue)
      Sizes = ParseSizes(Args[++I]);
    else if (Args[I] == "--runs" && HasValue)
      Runs = std::max(1, std::atoi(Args[++I].c_str()));
    else if (Args[I] == "--dir" && HasValue)
      Folder = Args[++I];
    else {
      std::fprintf(stderr, "usage: copy_bench [--sizes MIB[,MIB...]] [--runs N] [--dir FOLDER]\n");
      return 2;
    }
  }
  return RunBench(Sizes, Runs, Folder);
} catch (const std::exception& E) {
  std::fprintf(stderr, "copy_bench: %s\n", E.what());
  return 1;
}
