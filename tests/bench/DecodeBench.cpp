// Times decoding the form's pictures as the installer decodes them at 96 and
// at 192 DPI: a single-size picture at 8/8 (96), the same at 16/8 (192 with no
// double-size art) and its double-size version at 8/8 (192 with it). Both
// give the same size at 192. The three take turns within every round, so a
// drift in the machine's speed falls on all alike.
//   decode_bench [--runs N] SINGLE.jpg DOUBLE.jpg [SINGLE.jpg DOUBLE.jpg ...]
// Not a test: run it with tests/bench/run-startup-bench, which runs it after
// the start-up figures.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "JpegDecoder.h"

namespace {

using TBytes = std::vector<std::uint8_t>;

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

double Median(std::vector<double> Values) {
  std::sort(Values.begin(), Values.end());
  const auto M = Values.size() / 2;
  return Values.size() % 2 ? Values[M] : (Values[M - 1] + Values[M]) / 2;
}

const char* BaseName(const std::string& Path) {
  const auto Slash = Path.find_last_of("/\\");
  return Path.c_str() + (Slash == std::string::npos ? 0 : Slash + 1);
}

struct TDecoding {
  std::string Label;
  const TBytes* Data;
  int Scale;
  int Width = 0, Height = 0;
  std::vector<double> Times;
};

// Seconds for one decode; the size it gave is kept to be printed.
double TimeDecode(TDecoding& D) {
  const double Start = Now();
  const TDecodedImage Image = DecodeJpeg(D.Data->data(), D.Data->size(), D.Scale);
  const double Took = Now() - Start;
  D.Width = Image.Width;
  D.Height = Image.Height;
  return Took;
}

}  // namespace

int main(int argc, char** argv) {
  int Runs = 200;
  std::vector<std::string> Paths;
  bool Usage = false;
  for (int I = 1; I < argc && !Usage; ++I) {
    if (std::strcmp(argv[I], "--runs") == 0 && I + 1 < argc)
      Runs = std::max(1, std::atoi(argv[++I]));
    else if (argv[I][0] != '-')
      Paths.push_back(argv[I]);
    else
      Usage = true;
  }
  if (Usage || Paths.empty() || Paths.size() % 2) {
    std::fprintf(stderr, "usage: decode_bench [--runs N] SINGLE.jpg DOUBLE.jpg [SINGLE.jpg DOUBLE.jpg ...]\n");
    return 2;
  }
  std::vector<TBytes> Files;
  for (const auto& Path : Paths) {
    std::ifstream In(Path, std::ios::binary);
    if (!In) {
      std::fprintf(stderr, "cannot read %s\n", Path.c_str());
      return 1;
    }
    Files.emplace_back(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
  }
  std::vector<TDecoding> Decodings;
  for (std::size_t I = 0; I < Paths.size(); I += 2) {
    const std::string Single = BaseName(Paths[I]), Double = BaseName(Paths[I + 1]);
    Decodings.push_back({"96 DPI:  " + Single + " at 8/8", &Files[I], 8, 0, 0, {}});
    Decodings.push_back({"192 DPI: " + Single + " at 16/8", &Files[I], 16, 0, 0, {}});
    Decodings.push_back({"192 DPI: " + Double + " at 8/8", &Files[I + 1], 8, 0, 0, {}});
  }
  try {
    for (auto& D : Decodings)  // the first decode of each, untimed: page faults, caches
      TimeDecode(D);
    for (int Run = 0; Run < Runs; ++Run)
      for (auto& D : Decodings)
        D.Times.push_back(TimeDecode(D));
  } catch (const std::exception& Error) {
    std::fprintf(stderr, "%s\n", Error.what());
    return 1;
  }
  std::printf("%d decodes of each, by turns (DecodeJpeg, libjpeg's scaled IDCT)\n", Runs);
  for (const auto& D : Decodings) {
    auto Sorted = D.Times;
    std::sort(Sorted.begin(), Sorted.end());
    std::printf("%-48s %4d x %-4d median %7.3f ms   best %7.3f ms\n", D.Label.c_str(), D.Width, D.Height,
                Median(D.Times) * 1000, Sorted.front() * 1000);
  }
  // The sums per density, the pictures a form with all of them decodes.
  double At96 = 0, Stretched = 0, Doubled = 0;
  for (std::size_t I = 0; I < Decodings.size(); I += 3) {
    At96 += Median(Decodings[I].Times);
    Stretched += Median(Decodings[I + 1].Times);
    Doubled += Median(Decodings[I + 2].Times);
  }
  std::printf("all pictures, sum of medians: 96 DPI %.3f ms; 192 DPI %.3f ms single at 16/8, %.3f ms double at 8/8\n",
              At96 * 1000, Stretched * 1000, Doubled * 1000);
  return 0;
}
