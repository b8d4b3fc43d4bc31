// Tests of mkinstaller --inspect and --extract: a package read without running
// it, refused where the installer would refuse it, and taken apart without
// ever replacing a file.
#include "MkinstallerTestSupport.h"

#include "PackageReader.h"

#include <sys/resource.h>

using namespace mkinstaller_test;

namespace {

constexpr std::uint32_t kPayloadSize = 300;

class MkinstallerReadTest : public MkinstallerTest {
 protected:
  void SetUp() override {
    MkinstallerTest::SetUp();
    WriteFile(payload_, Pattern(kPayloadSize, 7));
    const RunResult R = Package(host_, payload_, output_);
    ASSERT_EQ(R.exitCode, 0) << R.err;
    package_ = ReadFile(output_);
    out_ = root_ / "out";
    fs::create_directory(out_);
  }

  // The package with its last four bytes holding `N`.
  std::string WithTrailer(std::int64_t N) const {
    return package_.substr(0, package_.size() - 4) + LengthTrailer(static_cast<std::uint32_t>(N));
  }

  // `Package` as a signer leaves it: the security directory naming a table
  // of `Size` bytes at `Offset`, and the table appended.
  static std::string Signed(const std::string& Package, std::uint32_t Offset, std::uint32_t Size,
                            std::size_t Appended) {
    return WithCertificateTable(Package, Offset, Size) + std::string(Appended, '\x5A');
  }

  // The lines --inspect prints for the synthetic host carrying `Certificate`.
  static std::string Inspected(const std::string& Certificate) {
    return "host-product: InstallerWin\n"
           "host-version: 1.0.0\n"
           "payload-size: 300\n"
           "installs-as: Aurora.scr\n"
           "skin-size: 82\n"
           "background: not a JPEG, 14 bytes\n"
           "background-2x: none\n"
           "button: not a JPEG, 10 bytes\n"
           "button-2x: none\n"
           "hover: not a JPEG, 9 bytes\n"
           "hover-2x: none\n"
           "icon: none\n"
           "button-name: none\n"
           "languages: none\n"
           "certificate-table: " +
           Certificate + "\n";
  }

  // A refused reading: exit 1, one line holding `Expected`, nothing written to out_.
  void ExpectRefusedRead(const std::vector<std::string>& Arguments, const std::string& Expected) {
    const auto Before = Snapshot(out_);
    const RunResult R = Run(Arguments);
    EXPECT_EQ(R.exitCode, 1) << R.err;
    EXPECT_EQ(R.err.find('\n'), R.err.size() - 1) << "not one line: " << R.err;
    EXPECT_NE(R.err.find(Expected), std::string::npos) << R.err;
    EXPECT_TRUE(R.out.empty()) << R.out;
    EXPECT_EQ(Snapshot(out_), Before);
  }

  std::string package_;
  fs::path out_;
};

TEST_F(MkinstallerReadTest, InspectPrintsEveryKeyInItsOrder) {
  const RunResult R = Run({"--inspect", output_.string()});
  ASSERT_EQ(R.exitCode, 0) << R.err;
  EXPECT_EQ(R.out, Inspected("none"));
  // Every key is listed in the help.
  const RunResult Help = Run({"--help"});
  for (std::size_t At = 0; At < R.out.size(); At = R.out.find('\n', At) + 1)
    EXPECT_NE(Help.out.find("  " + R.out.substr(At, R.out.find(':', At) - At)), std::string::npos)
        << R.out.substr(At, R.out.find('\n', At) - At);
}

// What a branding gives is what --inspect reads back, the doubles included.
TEST_F(MkinstallerReadTest, InspectReadsABrandedPackage) {
  const auto Size = [&](const std::string& Name) { return std::to_string(fs::file_size(Fixture(Name))); };
  const fs::path Branded = work_ / "Install-Night Fall.v2.exe";
  // Hong Kong's texts go into the table of Traditional Chinese, which --inspect names by its first code.
  const fs::path German = work_ / "de.po", HongKong = work_ / "zh_HK.po";
  for (const auto& [Path, Code] : {std::pair{German, "de"}, {HongKong, "zh_HK"}})
    WriteFile(Path, PoFile(Code, {{"Confirm", "OK"}}));
  RunResult R = Run({"--host",          host_.string(),
                     "--texts",         German.string(),
                     "--texts",         HongKong.string(),
                     "--payload",       payload_.string(),
                     "--output",        Branded.string(),
                     "--background",    Fixture("background.jpg"),
                     "--background-2x", Fixture("background-2x.jpg"),
                     "--button",        Fixture("button.jpg"),
                     "--hover",         Fixture("button.jpg"),
                     "--hover-2x",      Fixture("button-2x.jpg"),
                     "--skin",          payload_.string(),
                     "--button-label",  "Installer \u00e0 nuit"});
  ASSERT_EQ(R.exitCode, 0) << R.err;
  R = Run({"--inspect", Branded.string()});
  ASSERT_EQ(R.exitCode, 0) << R.err;
  EXPECT_EQ(R.out,
            "host-product: InstallerWin\n"
            "host-version: 1.0.0\n"
            "payload-size: 300\n"
            "installs-as: Night Fall.v2.scr\n"
            "skin-size: 300\n"
            "background: 450 x 304, " +
                Size("background.jpg") +
                " bytes\n"
                "background-2x: 900 x 608, " +
                Size("background-2x.jpg") +
                " bytes\n"
                "button: 28 x 9, " +
                Size("button.jpg") +
                " bytes\n"
                "button-2x: none\n"
                "hover: 28 x 9, " +
                Size("button.jpg") +
                " bytes\n"
                "hover-2x: 56 x 18, " +
                Size("button-2x.jpg") +
                " bytes\n"
                "icon: none\n"
                "button-name: Installer \u00e0 nuit\n"
                "languages: de, zh_TW\n"
                "certificate-table: none\n");
}

// Of two hints the installer's reader leaves the last.
TEST_F(MkinstallerReadTest, InspectNamesTheButtonByItsLastHint) {
  TStreamObject Form = InstallerForm();
  Form.Children[1].Properties.push_back({"Hint", TStreamValue::String("first")});
  Form.Children[1].Properties.push_back({"Hint", TStreamValue::String("last")});
  WriteFile(host_, SyntheticHost(HostResources(StreamOf(Form))));
  ASSERT_EQ(Package(host_, payload_, output_).exitCode, 0);
  EXPECT_NE(Run({"--inspect", output_.string()}).out.find("\nbutton-name: last\n"), std::string::npos);
}

// The installer finds its trailer before a certificate table that ends the
// file; one anywhere else is damage.
TEST_F(MkinstallerReadTest, ACertificateTableIsReadWhereTheInstallerLooksForIt) {
  const auto Size = static_cast<std::uint32_t>(package_.size());
  WriteFile(output_, Signed(package_, Size, 16, 16));
  RunResult R = Run({"--inspect", output_.string()});
  ASSERT_EQ(R.exitCode, 0) << R.err;
  EXPECT_EQ(R.out, Inspected("16 bytes, not verified"));
  R = Run({"--extract", output_.string(), out_.string()});
  ASSERT_EQ(R.exitCode, 0) << R.err;
  EXPECT_EQ(ReadFile(out_ / "Aurora.scr"), ReadFile(payload_));
  fs::remove_all(out_);
  fs::create_directory(out_);

  WriteFile(output_, Signed(package_, Size, 16, 17));
  ExpectRefusedRead({"--inspect", output_.string()}, "is damaged: its certificate table (16 bytes at offset " +
                                                         std::to_string(Size) + ") does not end the file");
  ExpectRefusedRead({"--extract", output_.string(), out_.string()}, "does not end the file");
}

// Each trailer at the edge of what is taken: the payload reaching back to
// the host's last byte and no further, and the installer's own limits.
TEST_F(MkinstallerReadTest, TrailersAtTheirEdges) {
  const std::int64_t Before = static_cast<std::int64_t>(package_.size()) - 4;
  const std::int64_t Padding = Before - static_cast<std::int64_t>(hostData_.size()) - kPayloadSize;
  const struct {
    std::int64_t N;
    const char* Refusal;  // null: taken
  } Cases[] = {
      {kPayloadSize, nullptr},
      {1, nullptr},
      {kPayloadSize + Padding, nullptr},
      {kPayloadSize + Padding + 1, "bytes before its payload of"},
      {Before, "are no whole program: not a program image"},
      {Before + 1, "which runs past the"},
      {0x7FFFFFFF, "which runs past the"},
      {0, "give a payload length of 0, which no package has"},
      {-1, "give a payload length of -1"},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.N);
    WriteFile(output_, WithTrailer(Case.N));
    if (Case.Refusal) {
      ExpectRefusedRead({"--inspect", output_.string()}, Case.Refusal);
      ExpectRefusedRead({"--extract", output_.string(), out_.string()}, Case.Refusal);
      continue;
    }
    const RunResult R = Run({"--extract", output_.string(), out_.string()});
    ASSERT_EQ(R.exitCode, 0) << R.err;
    EXPECT_EQ(ReadFile(out_ / "Aurora.scr"),
              package_.substr(static_cast<std::size_t>(Before - Case.N), static_cast<std::size_t>(Case.N)));
    fs::remove_all(out_);
    fs::create_directory(out_);
  }
  // More in front of the payload than the largest program image, which is
  // not read at all: a sparse file with a one-byte payload.
  MakeSparse(output_, (std::uint64_t{1} << 32) + 1 + 4);
  {
    std::fstream Out(output_, std::ios::in | std::ios::out | std::ios::binary);
    Out.seekp(-4, std::ios::end);
    Out.write(LengthTrailer(1).data(), 4);
  }
  ExpectRefusedRead({"--inspect", output_.string()},
                    "the 4294967296 bytes before its payload are more than any program");
  // Too short to hold a trailer at all.
  WriteFile(output_, "MZ\x01");
  ExpectRefusedRead({"--inspect", output_.string()}, "is 3 bytes long, too short");
}

TEST_F(MkinstallerReadTest, ExtractWritesThePayloadAndTheSkinByteForByte) {
  const RunResult R = Run({"--extract", output_.string(), out_.string() + "/"});
  ASSERT_EQ(R.exitCode, 0) << R.err;
  EXPECT_TRUE(R.out.empty() && R.err.empty()) << R.out << R.err;
  EXPECT_EQ(Snapshot(out_), (std::map<std::string, std::string>{{"Aurora.scr", "data:" + ReadFile(payload_)},
                                                                {"swing.mskn", "data:" + std::string(82, 'k')}}));
  EXPECT_EQ(fs::status(out_ / "Aurora.scr").permissions() & fs::perms::all, static_cast<fs::perms>(0755));
  EXPECT_EQ(fs::status(out_ / "swing.mskn").permissions() & fs::perms::all, static_cast<fs::perms>(0644));
  // Named by the installer's rule: only a leading "Install-" goes, case counts.
  for (const auto& [Name, Scr] : std::map<std::string, std::string>{{"install-Aurora.exe", "install-Aurora.scr"},
                                                                    {"Install-Install-A.b.exe", "Install-A.b.scr"},
                                                                    {"Setup", "Setup.scr"}})
    EXPECT_EQ(mkinstaller::ScreensaverFileName(Name), Scr);
}

// Nothing is replaced, neither the screensaver nor the skin; a refusal
// leaves the folder as it was.
TEST_F(MkinstallerReadTest, ExtractNeverReplacesAFile) {
  for (const char* Present : {"Aurora.scr", "swing.mskn"}) {
    SCOPED_TRACE(Present);
    fs::remove_all(out_);
    fs::create_directory(out_);
    WriteFile(out_ / Present, "the administrator's own");
    ExpectRefusedRead({"--extract", output_.string(), out_.string()},
                      (out_ / Present).string() + "' already exists; it is not replaced");
  }
  // A dangling link is a name taken too.
  fs::remove_all(out_);
  fs::create_directory(out_);
  fs::create_symlink(root_ / "nowhere", out_ / "Aurora.scr");
  ExpectRefusedRead({"--extract", output_.string(), out_.string()}, "already exists");
  EXPECT_FALSE(fs::exists(root_ / "nowhere"));
}

// A file that appears while the new one is written is kept, and the new one
// goes; with nothing there the new one takes the name.
TEST_F(MkinstallerReadTest, AFileThatAppearsMeanwhileIsNotReplaced) {
  const fs::path Path = out_ / "Aurora.scr";
  for (const bool Appears : {true, false}) {
    SCOPED_TRACE(Appears);
    fs::remove_all(out_);
    fs::create_directory(out_);
    try {
      mkinstaller::TOutputFile Out(Path.string(), "screensaver");
      Out.Write("new", 3);
      if (Appears)
        WriteFile(Path, "appeared");
      Out.Commit(mkinstaller::TPlacing::plKeepExisting);
      EXPECT_FALSE(Appears);
    } catch (const mkinstaller::EFailure& Failure) {
      EXPECT_TRUE(Appears);
      EXPECT_EQ(std::string(Failure.what()), "screensaver '" + Path.string() + "' already exists; it is not replaced");
    }
    EXPECT_EQ(Snapshot(out_),
              (std::map<std::string, std::string>{{"Aurora.scr", Appears ? "data:appeared" : "data:new"}}));
  }
}

// A skin that cannot be written takes back the screensaver written before
// it: here the skin is the larger file, and the size limit stops it alone.
TEST_F(MkinstallerReadTest, ASkinThatFailsTakesTheScreensaverBack) {
  WriteFile(payload_, Pattern(40, 9));
  ASSERT_EQ(Package(host_, payload_, output_).exitCode, 0);
  // A pipe for the message: the limit holds for files alone.
  int Pipe[2];
  ASSERT_EQ(::pipe(Pipe), 0);
  const pid_t Pid = ::fork();
  if (Pid == 0) {
    const rlimit Limit{60, 60};
    if (::dup2(Pipe[1], 2) < 0 || ::setrlimit(RLIMIT_FSIZE, &Limit) != 0)
      ::_exit(126);
    ::signal(SIGXFSZ, SIG_IGN);
    ::execl(MKINSTALLER_PATH, MKINSTALLER_PATH, "--extract", output_.c_str(), out_.c_str(), nullptr);
    ::_exit(127);
  }
  ::close(Pipe[1]);
  int Status = 0;
  ASSERT_EQ(::waitpid(Pid, &Status, 0), Pid);
  EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 1) << Status;
  char Message[1024];
  const ssize_t Got = ::read(Pipe[0], Message, sizeof Message);
  ::close(Pipe[0]);
  const std::string Err(Message, Got > 0 ? static_cast<std::size_t>(Got) : 0);
  EXPECT_NE(Err.find("skin '" + (out_ / "swing.mskn").string() + "' cannot be written"), std::string::npos) << Err;
  EXPECT_TRUE(Snapshot(out_).empty());
}

TEST_F(MkinstallerReadTest, CommandLine) {
  const struct {
    std::vector<std::string> Args;
    const char* Message;
  } Usage[] = {
      {{"--inspect"}, "--inspect takes a package alone"},
      {{"--inspect", "a", "b"}, "--inspect takes a package alone"},
      {{"--inspect", ""}, "--inspect needs a package"},
      {{"--extract", "a"}, "--extract takes a package and a folder alone"},
      {{"--extract", "a", "b", "c"}, "--extract takes a package and a folder alone"},
      {{"--extract", "a", ""}, "--extract needs a folder"},
      {{"--host", "h", "--inspect", "a"}, "unknown argument '--inspect'"},
  };
  for (const auto& Case : Usage) {
    const RunResult R = Run(Case.Args);
    EXPECT_EQ(R.exitCode, 2) << Case.Message;
    EXPECT_EQ(R.err.rfind(std::string("mkinstaller: ") + Case.Message + "\n", 0), 0u) << R.err;
  }
  ExpectRefusedRead({"--inspect", (work_ / "none.exe").string()},
                    "package '" + (work_ / "none.exe").string() + "' cannot be opened");
  ExpectRefusedRead({"--inspect", host_.string()}, "its last four bytes give a payload length of");
}

}  // namespace
