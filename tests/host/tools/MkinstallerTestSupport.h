// What the package maker's host tests share: a small host program made by
// hand, files and their snapshots, and a fixture that runs the real tool.
#pragma once

#include "PackageWriter.h"

#include "Branding.h"
#include "Classes.h"
#include "ComponentStream.h"
#include "Files.h"
#include "LittleEndian.h"
#include "PeImage.h"
#include "PeImageTestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace mkinstaller_test {

inline constexpr std::uint64_t k2GiB = std::uint64_t{1} << 31;

inline std::string Pattern(std::size_t Size, unsigned Seed) {
  std::string Data(Size, '\0');
  for (std::size_t I = 0; I < Size; ++I)
    Data[I] = static_cast<char>((I * 131 + Seed) & 0xFF);
  return Data;
}

inline std::string LengthTrailer(std::uint32_t N) {
  return {static_cast<char>(N & 0xFF), static_cast<char>((N >> 8) & 0xFF), static_cast<char>((N >> 16) & 0xFF),
          static_cast<char>((N >> 24) & 0xFF)};
}

inline void WriteFile(const fs::path& Path, const std::string& Data) {
  std::ofstream Out(Path, std::ios::binary | std::ios::trunc);
  Out.write(Data.data(), static_cast<std::streamsize>(Data.size()));
  ASSERT_TRUE(Out.good()) << Path;
}

inline std::string ReadFile(const fs::path& Path) {
  std::ifstream In(Path, std::ios::binary);
  return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

// Starts Args[0] with Args in a child of its own, killed after `Seconds`;
// the caller waits for it.
// The interrupting signals start at their defaults and unblocked, whatever
// this test program inherited (a background job of a script ignores SIGINT),
// except Ignored, which the tool inherits ignored, as under nohup.
inline pid_t Spawn(std::vector<std::string> Args, unsigned Seconds, int Ignored = 0) {
  std::vector<char*> Argv;
  for (std::string& A : Args)
    Argv.push_back(A.data());
  Argv.push_back(nullptr);
  const pid_t Pid = ::fork();
  if (Pid == 0) {
    sigset_t Interruptions;
    sigemptyset(&Interruptions);
    for (int Signal : {SIGINT, SIGTERM, SIGHUP}) {
      std::signal(Signal, Signal == Ignored ? SIG_IGN : SIG_DFL);
      sigaddset(&Interruptions, Signal);
    }
    ::sigprocmask(SIG_UNBLOCK, &Interruptions, nullptr);
    ::alarm(Seconds);
    ::execv(Argv[0], Argv.data());
    ::_exit(127);
  }
  return Pid;
}

// A sparse file: takes no disk space, so multi-GiB sizes are instant.
inline void MakeSparse(const fs::path& Path, std::uint64_t Size) {
  int Fd = ::open(Path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(Fd, 0) << Path;
  ASSERT_EQ(::ftruncate(Fd, static_cast<off_t>(Size)), 0) << Path;
  ASSERT_EQ(::close(Fd), 0);
}

// What a directory holds; small files by content, big (sparse) ones by size only,
// so a refused run can be shown to have changed nothing.
inline std::map<std::string, std::string> Snapshot(const fs::path& Dir) {
  std::map<std::string, std::string> Entries;
  for (const auto& Entry : fs::directory_iterator(Dir)) {
    const std::string Name = Entry.path().filename().string();
    if (Entry.is_symlink()) {
      Entries[Name] = "symlink:" + fs::read_symlink(Entry.path()).string();
    } else if (Entry.is_directory()) {
      Entries[Name] = "dir";
    } else if (Entry.file_size() > (1u << 20)) {
      Entries[Name] = "size:" + std::to_string(Entry.file_size());
    } else {
      Entries[Name] = "data:" + ReadFile(Entry.path());
    }
  }
  return Entries;
}

// ---- A small host: an x86-64 program image as our linker lays one out,
// carrying what the package maker looks for in an InstallerWin program.

using Bytes = std::vector<std::uint8_t>;
using mkinstaller::TResource;
using mkinstaller::TResourceId;

inline Bytes PictureValue(const std::string& ClassName, const std::string& Data) {
  return EncodePictureValue({ClassName, Bytes(Data.begin(), Data.end())});
}

inline TStreamProperty Picture(const std::string& Name, const std::string& Data, const char* ClassName = "TJPEGImage") {
  return {Name, TStreamValue::Binary(PictureValue(ClassName, Data))};
}

// The installer window's description as far as branding reads it.
inline TStreamObject InstallerForm() {
  TStreamObject Form{0, {}, "TMainWin", "MainWin", {{"Caption", TStreamValue::String("Install Screensaver")}}, {}};
  Form.Children.push_back({0, {}, "TImage", "Image1", {Picture("Picture.Data", "old background")}, {}});
  Form.Children.push_back({0,
                           {},
                           "TMouseEffectImage",
                           "MouseEffectImage1",
                           {Picture("Picture.Data", "old normal"), Picture("OriginPicture.Data", "old normal"),
                            Picture("DownPicture.Data", "old normal"), Picture("OverPicture.Data", "old hover")},
                           {}});
  Form.Children.push_back({0, {}, "TImage", "imgTitle", {Picture("Picture.Data", "old icon", "TIcon")}, {}});
  return Form;
}

inline Bytes StreamOf(const TStreamObject& Form) {
  TMemoryStream Out;
  WriteComponentStream(Out, Form);
  return Out.Data();
}

// The resources of a host: version information naming the product, the
// window description, the skin and the application icon's (empty) group.
inline std::vector<TResource> HostResources(const Bytes& Description) {
  using PeImageTestSupport::EncodeVersionBlock;
  using PeImageTestSupport::VersionString;
  const Bytes Version =
      EncodeVersionBlock(u"VS_VERSION_INFO", Bytes(52, 0), false,
                         {EncodeVersionBlock(u"StringFileInfo", {}, true,
                                             {EncodeVersionBlock(u"040904B0", {}, true,
                                                                 {VersionString(u"FileVersion", u"1.0.0"),
                                                                  VersionString(u"ProductName", u"InstallerWin")})})});
  return {{TResourceId::Number(mkinstaller::RtVersion), TResourceId::Number(1), 1033, 0, Version},
          {TResourceId::Number(mkinstaller::RtRcData), TResourceId::Named("TINSTALLERFORM"), 1033, 0, Description},
          {TResourceId::Named("EXEFILE"), TResourceId::Named("SKINRES"), 1033, 0, Bytes(82, 'k')},
          {TResourceId::Number(mkinstaller::RtGroupIcon), TResourceId::Named("MAINICON"), 1033, 0,
           Bytes{0, 0, 1, 0, 0, 0}}};
}

// A program image of a .text section and a .rsrc section holding `Resources`,
// made by the one builder the image reader's tests use.
inline std::string SyntheticHost(const std::vector<TResource>& Resources) {
  const Bytes Image = PeImageTestSupport::BuildImage(
      {{".text", Bytes(0x10, 0), PeImageTestSupport::kCodeSection}, {".rsrc", {}, PeImageTestSupport::kDataSection}},
      Resources);
  return {Image.begin(), Image.end()};
}

inline std::string SyntheticHost() { return SyntheticHost(HostResources(StreamOf(InstallerForm()))); }

inline mkinstaller::TPeImage ParseImage(const std::string& Image) {
  return mkinstaller::TPeImage::Parse(Bytes(Image.begin(), Image.end()));
}

// The window description resource of program image `Image`, as stored.
inline Bytes StoredDescription(const std::string& Image) {
  const mkinstaller::TPeImage Parsed = ParseImage(Image);
  const TResource* Form = Parsed.Find(TResourceId::Number(mkinstaller::RtRcData), TResourceId::Named("TINSTALLERFORM"));
  EXPECT_NE(Form, nullptr);
  return Form ? Form->Data : Bytes{};
}

// The window description of program image `Image`.
inline TStreamObject DescriptionOf(const std::string& Image) {
  TMemoryStream In(StoredDescription(Image));
  return ReadComponentStream(In);
}

// `Image`, a program image built by PeImageTestSupport::BuildImage, as a
// signer leaves it: its security directory names a certificate table of
// `Size` bytes at `Offset`.
inline std::string WithCertificateTable(const std::string& Image, std::uint32_t Offset, std::uint32_t Size) {
  using namespace PeImageTestSupport;
  Bytes Signed(Image.begin(), Image.end());
  Wr32(Signed, DirectoryField(DataDirectory::Security, DataDirectory::VirtualAddress), Offset);
  Wr32(Signed, DirectoryField(DataDirectory::Security, DataDirectory::DataSize), Size);
  return {Signed.begin(), Signed.end()};
}

// A PO file for language `Language` (no header line when empty) with the entries given.
inline std::string PoFile(const std::string& Language, const std::vector<std::pair<std::string, std::string>>& Entries,
                          const std::string& Charset = "UTF-8") {
  std::string Text = "msgid \"\"\nmsgstr \"\"\n";
  if (!Language.empty())
    Text += "\"Language: " + Language + "\\n\"\n";
  Text += "\"Content-Type: text/plain; charset=" + Charset + "\\n\"\n\n";
  for (const auto& [Id, Str] : Entries)
    Text += "msgid \"" + Id + "\"\nmsgstr \"" + Str + "\"\n\n";
  return Text;
}

// A file among the branding fixtures.
inline std::string Fixture(const std::string& Name) { return (fs::path(BRAND_FIXTURES) / Name).string(); }

struct RunResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

class MkinstallerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string Tmpl = (fs::temp_directory_path() / "mkinstaller-test-XXXXXX").string();
    ASSERT_NE(::mkdtemp(Tmpl.data()), nullptr);
    root_ = Tmpl;
    work_ = root_ / "work";
    fs::create_directory(work_);
    host_ = work_ / "InstallerWin.exe";
    payload_ = work_ / "Aurora.scr";
    output_ = work_ / "Install-Aurora.exe";
    hostData_ = SyntheticHost();
    WriteFile(host_, hostData_);
  }

  void TearDown() override {
    std::error_code Ec;
    fs::remove_all(root_, Ec);
  }

  // Runs the tool in `Cwd` (the work directory by default), capturing stdout and stderr
  // outside the work directory so they never show up in its listing.
  RunResult Run(const std::vector<std::string>& Arguments, const fs::path& Cwd = {}) {
    const fs::path Dir = Cwd.empty() ? work_ : Cwd;
    const std::string OutFile = (root_ / "stdout").string(), ErrFile = (root_ / "stderr").string();
    std::vector<std::string> All{MKINSTALLER_PATH};
    All.insert(All.end(), Arguments.begin(), Arguments.end());
    std::vector<char*> Argv;
    for (std::string& A : All)
      Argv.push_back(A.data());
    Argv.push_back(nullptr);

    RunResult Result;
    pid_t Pid = ::fork();
    if (Pid == 0) {
      // A tool that blocks (on a FIFO, say) dies instead of hanging the test; a
      // 64 MiB write under the sanitizers on a busy machine still finishes.
      ::alarm(60);
      int O = ::open(OutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int E = ::open(ErrFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (O < 0 || E < 0 || ::dup2(O, 1) < 0 || ::dup2(E, 2) < 0 || ::chdir(Dir.c_str()) != 0)
        ::_exit(126);
      ::execv(Argv[0], Argv.data());
      ::_exit(127);
    }
    EXPECT_GT(Pid, 0);
    int Status = 0;
    EXPECT_EQ(::waitpid(Pid, &Status, 0), Pid);
    if (WIFEXITED(Status))
      Result.exitCode = WEXITSTATUS(Status);
    Result.out = ReadFile(OutFile);
    Result.err = ReadFile(ErrFile);
    return Result;
  }

  RunResult Package(const fs::path& Host, const fs::path& Payload, const fs::path& Output) {
    return Run({"--host", Host.string(), "--payload", Payload.string(), "--output", Output.string()});
  }

  // A refused run: exit 1, one line on stderr holding every `Expected` part, and the work
  // directory exactly as before (no package, no temporary file, inputs and old output intact).
  // Returns that line, for a caller that checks it whole.
  std::string ExpectRefused(const std::vector<std::string>& Arguments, const std::vector<std::string>& Expected,
                            const fs::path& Cwd = {}) {
    const auto Before = Snapshot(work_);
    const RunResult R = Run(Arguments, Cwd);
    EXPECT_EQ(R.exitCode, 1) << R.err;
    if (R.err.empty()) {
      ADD_FAILURE() << "nothing on stderr";
      return R.err;
    }
    EXPECT_EQ(R.err.find('\n'), R.err.size() - 1) << "not one line: " << R.err;
    for (const std::string& Part : Expected)
      EXPECT_NE(R.err.find(Part), std::string::npos) << R.err;
    EXPECT_EQ(Snapshot(work_), Before);
    return R.err;
  }

  // What the package of `Payload` must hold: host, zero padding to a multiple of 8, payload, length.
  std::string Packaged(const std::string& Payload) const {
    // The padding after a host of whole 8-byte blocks, by the payload's length modulo 8.
    static constexpr std::size_t PaddingFor[8] = {4, 3, 2, 1, 0, 7, 6, 5};
    EXPECT_EQ(hostData_.size() % 8, 0u);
    const std::size_t Padding = PaddingFor[Payload.size() % 8];
    return hostData_ + std::string(Padding, '\0') + Payload + LengthTrailer(static_cast<std::uint32_t>(Payload.size()));
  }

  std::vector<std::string> Args(const fs::path& Host, const fs::path& Payload, const fs::path& Output) {
    return {"--host", Host.string(), "--payload", Payload.string(), "--output", Output.string()};
  }

  fs::path root_, work_, host_, payload_, output_;
  std::string hostData_;
};

// The checks run before anything is written: a refusal names the file and what
// is wrong. The host here is no program at all, so a run whose artwork passes
// every check is refused for the host, which is checked last.
class MkinstallerBrandTest : public MkinstallerTest {
 protected:
  // The installer's libjpeg is built without arithmetic decoding.
  inline static const std::string kArithmeticError = "JPEG error #1: Sorry, arithmetic coding is not implemented";

  void SetUp() override {
    MkinstallerTest::SetUp();
    WriteFile(payload_, Pattern(300, 3));
    WriteFile(output_, "old package");
  }

  // The host in the package written to output_, less the brand tests'
  // 300-byte payload, its trailer and the padding to a multiple of 8.
  std::string PackagedHost() const {
    const std::string Package = ReadFile(output_);
    return Package.substr(0, (Package.size() - 4 - 300) / 8 * 8);
  }

  std::vector<std::string> With(const std::vector<std::string>& Options) {
    std::vector<std::string> Combined = Args(host_, payload_, output_);
    Combined.insert(Combined.end(), Options.begin(), Options.end());
    return Combined;
  }

  // `Jpeg` with the sample precision in its frame header set to `Bits`.
  static std::string WithPrecision(std::string Jpeg, char Bits) {
    const std::size_t Sof = Jpeg.find("\xFF\xC0");
    EXPECT_NE(Sof, std::string::npos);
    Jpeg[Sof + 4] = Bits;  // after the marker and the segment length
    return Jpeg;
  }
};

}  // namespace mkinstaller_test
