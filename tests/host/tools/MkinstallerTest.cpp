// Tests of mkinstaller: the package layout, its refusals, the checks of a
// distributor's artwork and its command line.
#include "FileFormats.h"
#include "MkinstallerTestSupport.h"

#include "IconFile.h"
#include "PackageWriter.h"

using FileFormats::PackageTrailer::PaddingBefore;
using mkinstaller::CheckPayloadSize;
using mkinstaller::MakePackage;
using namespace mkinstaller_test;

namespace {

// --- The package layout --------------------------------------------------------------------

class MkinstallerLayoutTest : public MkinstallerTest {};

TEST_F(MkinstallerLayoutTest, PackageIsHostThenPayloadThenLittleEndianLength) {
  // 0x0102A5 has four distinct length bytes and spans several copy blocks.
  const std::string Payload = Pattern(0x0102A5, 42);
  WriteFile(payload_, Payload);
  const RunResult R = Package(host_, payload_, output_);
  ASSERT_EQ(R.exitCode, 0) << R.err;
  EXPECT_TRUE(R.err.empty()) << R.err;

  const std::string PackageBytes = ReadFile(output_);
  // A host of whole 512-byte blocks + 0x0102A5 + 4 bytes need 7 zeros to reach a multiple of 8.
  ASSERT_EQ(hostData_.size() % 512, 0u);
  ASSERT_EQ(PackageBytes.size(), hostData_.size() + 7 + Payload.size() + 4);
  EXPECT_EQ(PackageBytes.substr(hostData_.size(), 7), std::string(7, '\0'));
  EXPECT_EQ(PackageBytes.substr(PackageBytes.size() - 4), std::string("\xA5\x02\x01\x00", 4));
  EXPECT_TRUE(PackageBytes == Packaged(Payload));
}

TEST_F(MkinstallerLayoutTest, EveryPackageIsAMultipleOfEightBytes) {
  for (std::size_t Size = 1; Size <= 16; ++Size) {
    WriteFile(payload_, Pattern(Size, 3));
    ASSERT_EQ(Package(host_, payload_, output_).exitCode, 0);
    const std::string PackageBytes = ReadFile(output_);
    EXPECT_EQ(PackageBytes.size() % 8, 0u) << Size;
    EXPECT_EQ(PackageBytes, Packaged(Pattern(Size, 3))) << Size;
  }
  EXPECT_EQ(PaddingBefore(4, 0), 0u);
  EXPECT_EQ(PaddingBefore(0, 1), 3u);
  EXPECT_EQ(PaddingBefore(0xFFFFFFFFull, 0x7FFFFFFF), 6u);
}

TEST_F(MkinstallerLayoutTest, OneBytePayload) {
  WriteFile(payload_, "X");
  ASSERT_EQ(Package(host_, payload_, output_).exitCode, 0);
  EXPECT_EQ(ReadFile(output_), Packaged("X"));
}

TEST_F(MkinstallerLayoutTest, PackageIsExecutableAndNoTemporaryFileRemains) {
  WriteFile(payload_, Pattern(100, 1));
  ASSERT_EQ(Package(host_, payload_, output_).exitCode, 0);
  EXPECT_EQ(fs::status(output_).permissions() & fs::perms::all, fs::perms::owner_all | fs::perms::group_read |
                                                                    fs::perms::group_exec | fs::perms::others_read |
                                                                    fs::perms::others_exec);
  std::vector<std::string> Names;
  for (const auto& E : fs::directory_iterator(work_))
    Names.push_back(E.path().filename().string());
  std::sort(Names.begin(), Names.end());
  EXPECT_EQ(Names, (std::vector<std::string>{"Aurora.scr", "Install-Aurora.exe", "InstallerWin.exe"}));
}

TEST_F(MkinstallerLayoutTest, ReplacesAnExistingOutput) {
  WriteFile(output_, std::string(20000, 'o'));
  WriteFile(payload_, "new payload");
  ASSERT_EQ(Package(host_, payload_, output_).exitCode, 0);
  EXPECT_EQ(ReadFile(output_), Packaged("new payload"));
}

TEST_F(MkinstallerLayoutTest, RelativePathsAndEqualsForm) {
  WriteFile(payload_, "abc");
  const RunResult R = Run({"--host=InstallerWin.exe", "--payload=./Aurora.scr", "--output=Install-Aurora.exe"});
  ASSERT_EQ(R.exitCode, 0) << R.err;
  EXPECT_EQ(ReadFile(output_), Packaged("abc"));
}

TEST_F(MkinstallerLayoutTest, LibraryWritesTheSameLayout) {
  const std::string Payload = Pattern(0x10000 * 3 + 17, 9);  // several full blocks plus a tail
  WriteFile(payload_, Payload);
  EXPECT_EQ(MakePackage(host_, payload_, output_), "");
  EXPECT_TRUE(ReadFile(output_) == Packaged(Payload));
}

// --- Payload size ---------------------------------------------------------------------------

class MkinstallerSizeTest : public MkinstallerTest {};

TEST_F(MkinstallerSizeTest, DecisionAtTheSigned32BitBoundary) {
  EXPECT_EQ(mkinstaller::MaxPayloadSize, k2GiB - 1);
  EXPECT_EQ(CheckPayloadSize("p.scr", 1), "");
  EXPECT_EQ(CheckPayloadSize("p.scr", k2GiB - 1), "");
  EXPECT_NE(CheckPayloadSize("p.scr", k2GiB).find("too large"), std::string::npos);
  EXPECT_NE(CheckPayloadSize("p.scr", k2GiB).find("p.scr"), std::string::npos);
  // Would wrap to a small length if the check were done in 32 bits.
  EXPECT_NE(CheckPayloadSize("p.scr", (std::uint64_t{1} << 32) + 5), "");
  EXPECT_NE(CheckPayloadSize("p.scr", 0).find("empty"), std::string::npos);
}

TEST_F(MkinstallerSizeTest, TwoGiBPayloadIsRefusedBeforeReading) {
  MakeSparse(payload_, k2GiB);
  WriteFile(output_, "old package");
  ExpectRefused(Args(host_, payload_, output_), {"Aurora.scr", "too large"});
}

TEST_F(MkinstallerSizeTest, PayloadOverFourGiBIsRefused) {
  MakeSparse(payload_, (std::uint64_t{1} << 32) + 5);
  ExpectRefused(Args(host_, payload_, output_), {"Aurora.scr", "too large"});
}

TEST_F(MkinstallerSizeTest, LargestSignedLengthPassesTheSizeCheck) {
  // The output cannot be created, so the run stops right after the size check
  // without copying 2 GiB; the refusal must be about the output.
  MakeSparse(payload_, k2GiB - 1);
  const std::string Error = MakePackage(host_, payload_, work_ / "missing-dir" / "Install.exe");
  EXPECT_EQ(Error.find("too large"), std::string::npos) << Error;
  EXPECT_NE(Error.find("missing-dir"), std::string::npos) << Error;
}

TEST_F(MkinstallerSizeTest, InjectedLimitIsInclusive) {
  WriteFile(payload_, "0123456789");
  EXPECT_EQ(MakePackage(host_, payload_, output_, {}, 10), "");
  EXPECT_EQ(ReadFile(output_), Packaged("0123456789"));

  WriteFile(payload_, "0123456789A");
  WriteFile(output_, "old");
  EXPECT_NE(MakePackage(host_, payload_, output_, {}, 10).find("too large"), std::string::npos);
  EXPECT_EQ(ReadFile(output_), "old");
}

// --- Unusable inputs and outputs ------------------------------------------------------------

class MkinstallerRefusalTest : public MkinstallerTest {
 protected:
  void SetUp() override {
    MkinstallerTest::SetUp();
    WriteFile(payload_, Pattern(300, 3));
    WriteFile(output_, "old package");  // must survive every refused run
  }
};

TEST_F(MkinstallerRefusalTest, MissingHost) {
  ExpectRefused(Args(work_ / "NoSuchHost.exe", payload_, output_), {"NoSuchHost.exe", "host"});
}

TEST_F(MkinstallerRefusalTest, UnreadableHost) {
  if (::geteuid() != 0) {  // root reads through permission bits
    fs::permissions(host_, fs::perms::none);
    ExpectRefused(Args(host_, payload_, output_), {"InstallerWin.exe", "host"});
    fs::permissions(host_, fs::perms::owner_read | fs::perms::owner_write);
  }
}

TEST_F(MkinstallerRefusalTest, MissingPayload) {
  ExpectRefused(Args(host_, work_ / "NoSuch.scr", output_), {"NoSuch.scr", "payload"});
}

TEST_F(MkinstallerRefusalTest, UnreadablePayload) {
  if (::geteuid() != 0) {
    fs::permissions(payload_, fs::perms::none);
    ExpectRefused(Args(host_, payload_, output_), {"Aurora.scr", "payload"});
    fs::permissions(payload_, fs::perms::owner_read | fs::perms::owner_write);
  }
}

// Opening a FIFO for reading waits for a writer: the tool must refuse it
// without opening it that way (Run's alarm ends a tool that blocks).
TEST_F(MkinstallerRefusalTest, InputsThatAreNotRegularFiles) {
  const fs::path Fifo = root_ / "fifo", Dir = root_ / "dir";
  ASSERT_EQ(::mkfifo(Fifo.c_str(), 0644), 0);
  fs::create_directory(Dir);
  for (const fs::path& Odd : {Fifo, Dir}) {
    const std::string Name = Odd.filename().string();
    ExpectRefused(Args(Odd, payload_, output_), {"host '" + Odd.string() + "' is not a regular file"});
    ExpectRefused(Args(host_, Odd, output_), {"payload '" + Odd.string() + "' is not a regular file"});
    auto SkinArgs = Args(host_, payload_, output_);
    SkinArgs.insert(SkinArgs.end(), {"--skin", Odd.string()});
    ExpectRefused(SkinArgs, {"skin '" + Odd.string() + "' is not a regular file"});
  }
}

// The padding and the trailer are reckoned from the size the file system
// reports, so a payload of another real length must not be packaged: sysfs
// reports a page for a few bytes, procfs nothing for a whole text.
TEST_F(MkinstallerRefusalTest, PayloadLongerOrShorterThanReported) {
  for (const fs::path Odd : {"/sys/devices/system/cpu/online", "/proc/version"}) {
    std::error_code Ec;
    if (!fs::is_regular_file(Odd, Ec) || ReadFile(Odd).empty())
      continue;
    ASSERT_NE(fs::file_size(Odd), ReadFile(Odd).size()) << Odd;
    ExpectRefused(Args(host_, Odd, output_), {"payload '" + Odd.string() + "' is not as long as its file system says"});
  }
}

TEST_F(MkinstallerRefusalTest, EmptyPayload) {
  WriteFile(work_ / "Empty.scr", "");
  ExpectRefused(Args(host_, work_ / "Empty.scr", output_), {"Empty.scr", "empty"});
}

TEST_F(MkinstallerRefusalTest, OutputCannotBeCreated) {
  ExpectRefused(Args(host_, payload_, work_ / "no-dir" / "Install.exe"), {"no-dir/Install.exe", "output"});
  ExpectRefused(Args(host_, payload_, payload_ / "Install.exe"), {"Aurora.scr/Install.exe", "output"});
  if (::geteuid() != 0) {  // root writes through permission bits
    fs::create_directory(work_ / "ro");
    fs::permissions(work_ / "ro", fs::perms::owner_read | fs::perms::owner_exec);
    ExpectRefused(Args(host_, payload_, work_ / "ro" / "Install.exe"), {"ro/Install.exe", "output"});
    fs::permissions(work_ / "ro", fs::perms::owner_all);
  }
}

TEST_F(MkinstallerRefusalTest, OutputIsADirectory) {
  fs::create_directory(work_ / "Out.exe");
  WriteFile(work_ / "Out.exe" / "keep", "kept");
  ExpectRefused(Args(host_, payload_, work_ / "Out.exe"),
                {"output '" + (work_ / "Out.exe").string() + "' exists and is not a regular file (a folder)"});
  EXPECT_EQ(ReadFile(work_ / "Out.exe" / "keep"), "kept");
}

// The rename would put the package in their place: run as root with
// --output /dev/null, it would replace the system's /dev/null. A link to
// /dev/null stands in for it here, so that a regression replaces only the link.
TEST_F(MkinstallerRefusalTest, OutputThatExistsAndIsNotARegularFile) {
  // Outside the work folder, whose listing shows that nothing changed.
  const fs::path Null = root_ / "null", Fifo = root_ / "fifo", Socket = root_ / "socket";
  fs::create_symlink("/dev/null", Null);
  ASSERT_EQ(::mkfifo(Fifo.c_str(), 0644), 0);
  const int Fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(Fd, 0);
  sockaddr_un Address{};
  Address.sun_family = AF_UNIX;
  ASSERT_LT(Socket.string().size(), sizeof Address.sun_path);
  std::strcpy(Address.sun_path, Socket.c_str());
  ASSERT_EQ(::bind(Fd, reinterpret_cast<sockaddr*>(&Address), sizeof Address), 0);
  for (const auto& [Odd, Kind] : {std::pair{Null, "a device"}, {Fifo, "a FIFO"}, {Socket, "a socket"}})
    ExpectRefused(Args(host_, payload_, Odd), {"output '" + Odd.string() + "' exists and is not a regular file (" +
                                               Kind + "); only a regular file is replaced"});
  ::close(Fd);
  EXPECT_TRUE(fs::is_symlink(Null));
}

// Swapped arguments, an empty file, a DLL or another machine's program with
// the right resources, a package or a signed program: none is a host, with
// or without artwork.
TEST_F(MkinstallerRefusalTest, TheHostIsAlwaysChecked) {
  const auto Host = [&](const std::string& Name, const std::string& Data) {
    WriteFile(root_ / Name, Data);
    return root_ / Name;
  };
  const std::string Program = "' is not an InstallerWin program: ";
  ExpectRefused(Args(payload_, host_, output_), {"host '" + payload_.string() + Program + "not a program image"});
  ExpectRefused(Args(Host("empty.exe", ""), payload_, output_), {"empty.exe" + Program});
  std::string Dll = hostData_, Arm = hostData_;
  const std::uint32_t Pe = mkinstaller::Get32(Bytes(hostData_.begin(), hostData_.end()), 0x3C, "");
  Dll[Pe + 23] = static_cast<char>(Dll[Pe + 23] | 0x20);
  Arm[Pe + 4] = 0x64;
  Arm[Pe + 5] = static_cast<char>(0xAA);
  ExpectRefused(Args(Host("dll.exe", Dll), payload_, output_), {"dll.exe" + Program + "it is a DLL, not a program"});
  ExpectRefused(Args(Host("arm.exe", Arm), payload_, output_),
                {"arm.exe" + Program + "it is not an x86-64 program (machine 0xAA64)"});
  std::vector<TResource> NoForm = HostResources(StreamOf(InstallerForm()));
  NoForm.erase(NoForm.begin() + 1);
  ExpectRefused(Args(Host("noform.exe", SyntheticHost(NoForm)), payload_, output_),
                {"noform.exe" + Program + "it has no window description TINSTALLERFORM"});
  // The last accepted and the first refused: the image alone, then one byte more.
  ExpectRefused(Args(Host("one.exe", hostData_ + '\x01'), payload_, output_),
                {"host '" + (root_ / "one.exe").string() + "' carries 1 byte past its image"});
  ExpectRefused(Args(Host("two.exe", hostData_ + "\x01\x02"), payload_, output_), {"two.exe' carries 2 bytes past"});
  const std::string SignedHost =
      WithCertificateTable(hostData_ + std::string(8, '\0'), static_cast<std::uint32_t>(hostData_.size()), 8);
  ExpectRefused(Args(Host("signed.exe", SignedHost), payload_, output_), {"signed.exe' is signed"});
  ASSERT_EQ(Package(host_, payload_, output_).exitCode, 0);
}

// SIGTERM or Ctrl+C during the write removes the temporary file: a payload
// large enough to be seen being written, sparse so that it costs no disk.
TEST_F(MkinstallerRefusalTest, AnInterruptedWriteLeavesNoTemporaryFile) {
  const fs::path Big = root_ / "Big.scr";
  MakeSparse(Big, 256u << 20);
  const auto Writing = [&] {
    for (int I = 0; I < 20000; ++I) {
      for (const auto& Entry : fs::directory_iterator(work_))
        if (Entry.path().filename().string().rfind(".Install-Aurora.exe.", 0) == 0)
          return true;
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    return false;
  };
  for (int Signal : {SIGTERM, SIGINT}) {
    const auto Before = Snapshot(work_);
    const pid_t Pid = Spawn(
        {MKINSTALLER_PATH, "--host", host_.string(), "--payload", Big.string(), "--output", output_.string()}, 60);
    ASSERT_GT(Pid, 0);
    EXPECT_TRUE(Writing()) << "no temporary file seen";
    ::kill(Pid, Signal);
    int Status = 0;
    ASSERT_EQ(::waitpid(Pid, &Status, 0), Pid);
    EXPECT_TRUE(WIFSIGNALED(Status) && WTERMSIG(Status) == Signal) << "status " << Status;
    EXPECT_EQ(Snapshot(work_), Before) << "signal " << Signal;
  }
  // A payload that grows while it is copied is refused, not cut at its first length.
  {
    const auto Before = Snapshot(work_);
    const pid_t Pid = Spawn(
        {MKINSTALLER_PATH, "--host", host_.string(), "--payload", Big.string(), "--output", output_.string()}, 60);
    ASSERT_GT(Pid, 0);
    EXPECT_TRUE(Writing()) << "no temporary file seen";
    std::ofstream(Big, std::ios::binary | std::ios::app) << "more";
    int Status = 0;
    ASSERT_EQ(::waitpid(Pid, &Status, 0), Pid);
    EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 1) << "status " << Status;
    EXPECT_EQ(Snapshot(work_), Before);
    fs::resize_file(Big, 256u << 20);
  }
  // A hang-up the tool was started to ignore (nohup) does not stop it.
  const pid_t Pid =
      Spawn({MKINSTALLER_PATH, "--host", host_.string(), "--payload", Big.string(), "--output", output_.string()}, 60,
            SIGHUP);
  ASSERT_GT(Pid, 0);
  EXPECT_TRUE(Writing()) << "no temporary file seen";
  ::kill(Pid, SIGHUP);
  int Status = 0;
  ASSERT_EQ(::waitpid(Pid, &Status, 0), Pid);
  EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0) << "status " << Status;
  // The host is whole 512-byte blocks: 4 bytes of padding, the payload, its length.
  EXPECT_EQ(fs::file_size(output_), fs::file_size(host_) + 4 + (256u << 20) + 4);
}

TEST_F(MkinstallerRefusalTest, OutputNamesNoFile) {
  fs::create_directory(work_ / "sub");
  for (const std::string& Out : {work_.string() + "/", (work_ / ".").string(), (work_ / "sub" / "..").string()})
    ExpectRefused(Args(host_, payload_, Out), {"output '" + Out + "' does not name a file"});
  ExpectRefused(Args(host_, payload_, ".."), {"output '..' does not name a file"}, work_ / "sub");
}

// The temporary file goes beside the output, wherever the tool is started.
TEST_F(MkinstallerRefusalTest, WorkingDirectoryThatCannotHoldFiles) {
  const RunResult R = Run(Args(host_, payload_, output_), "/proc");
  ASSERT_EQ(R.exitCode, 0) << R.err;
  EXPECT_EQ(ReadFile(output_), Packaged(Pattern(300, 3)));
}

// --- Output that is one of the inputs -------------------------------------------------------

class MkinstallerSameFileTest : public MkinstallerTest {
 protected:
  void SetUp() override {
    MkinstallerTest::SetUp();
    WriteFile(payload_, Pattern(300, 5));
  }
};

TEST_F(MkinstallerSameFileTest, OutputIsTheHost) {
  ExpectRefused(Args(host_, payload_, host_), {"InstallerWin.exe", "host"});
}

TEST_F(MkinstallerSameFileTest, OutputIsThePayload) {
  ExpectRefused(Args(host_, payload_, payload_), {"Aurora.scr", "payload"});
}

TEST_F(MkinstallerSameFileTest, OtherSpellingsOfTheSamePath) {
  fs::create_directory(work_ / "sub");
  ExpectRefused({"--host", "InstallerWin.exe", "--payload", "Aurora.scr", "--output", "./InstallerWin.exe"},
                {"InstallerWin.exe", "host"});
  ExpectRefused({"--host", "./Aurora.scr", "--payload", "InstallerWin.exe", "--output", "sub/../Aurora.scr"},
                {"Aurora.scr", "host"});
  ExpectRefused({"--host", "InstallerWin.exe", "--payload", "Aurora.scr", "--output", "sub/.././/Aurora.scr"},
                {"Aurora.scr", "payload"});
  ExpectRefused({"--host", "../work/InstallerWin.exe", "--payload", "../Aurora.scr", "--output", "../InstallerWin.exe"},
                {"InstallerWin.exe", "host"}, work_ / "sub");
}

TEST_F(MkinstallerSameFileTest, OutputIsASymlinkToAnInput) {
  fs::create_symlink("InstallerWin.exe", work_ / "host-link.exe");
  fs::create_symlink(payload_, work_ / "payload-link.scr");
  ExpectRefused(Args(host_, payload_, work_ / "host-link.exe"), {"host-link.exe", "host"});
  ExpectRefused(Args(host_, payload_, work_ / "payload-link.scr"), {"payload-link.scr", "payload"});
}

TEST_F(MkinstallerSameFileTest, InputIsASymlinkToTheOutput) {
  fs::create_symlink("InstallerWin.exe", work_ / "host-link.exe");
  ExpectRefused(Args(work_ / "host-link.exe", payload_, host_), {"InstallerWin.exe", "host"});
}

TEST_F(MkinstallerSameFileTest, OutputThroughASymlinkedDirectory) {
  fs::create_directory_symlink(work_, root_ / "alias");
  ExpectRefused(Args(host_, payload_, root_ / "alias" / "Aurora.scr"), {"Aurora.scr", "payload"});
}

TEST_F(MkinstallerSameFileTest, OutputIsAHardLinkToAnInput) {
  fs::create_hard_link(host_, work_ / "host-hard.exe");
  fs::create_hard_link(payload_, work_ / "payload-hard.scr");
  ExpectRefused(Args(host_, payload_, work_ / "host-hard.exe"), {"host-hard.exe", "host"});
  ExpectRefused(Args(host_, payload_, work_ / "payload-hard.scr"), {"payload-hard.scr", "payload"});
}

// --- A distributor's artwork ---------------------------------------------------------------

TEST_F(MkinstallerBrandTest, PicturesTheInstallerDoesNotDraw) {
  const std::string Png = Fixture("not-a-jpeg.jpg"), Button = Fixture("button.jpg"), Bg = Fixture("background.jpg");
  ExpectRefused(With({"--background", Png}), {"background '" + Png + "' is not a JPEG file"});
  ExpectRefused(With({"--background", Button}), {"background '" + Button + "'", "28 x 9", "450 x 304"});
  ExpectRefused(With({"--button", Bg}), {"button '" + Bg + "'", "450 x 304", "28 x 9"});
  ExpectRefused(With({"--hover", Fixture("cmyk-button.jpg")}), {"hover '", "cmyk-button.jpg", "CMYK"});
  ExpectRefused(With({"--button", Fixture("arithmetic-button.jpg")}),
                {"arithmetic-button.jpg' cannot be decoded by the installer: " + kArithmeticError});

  const fs::path TwelveBit = root_ / "12-bit.jpg", Cut = root_ / "cut.jpg";
  WriteFile(TwelveBit, WithPrecision(ReadFile(Button), 12));
  ExpectRefused(With({"--hover", TwelveBit.string()}),
                {"12-bit.jpg", "cannot be decoded by the installer", "precision"});
  const std::string Whole = ReadFile(Bg);
  WriteFile(Cut, Whole.substr(0, Whole.size() / 2));
  ExpectRefused(With({"--background", Cut.string()}), {"background '" + Cut.string() + "' is damaged"});
}

// libjpeg's own test pictures, which nobody here made, and cjpeg's progressive
// coding of one: checked at their own size by the installer's decoder.
TEST_F(MkinstallerBrandTest, LibjpegsOwnPicturesPassOrFailAsTheInstallerDrawsThem) {
  const auto Check = [](const std::string& Path) {
    const std::string Data = ReadFile(Path);
    mkinstaller::CheckPicture({true, "picture '" + Path + "'", {Data.begin(), Data.end()}}, 227, 149);
  };
  const auto Refusal = [&](const std::string& Path) {
    try {
      Check(Path);
    } catch (const mkinstaller::EFailure& Failure) {
      return std::string(Failure.what());
    }
    return std::string("no refusal");
  };
  const std::string Images = LIBJPEG_TEST_IMAGES;
  for (const std::string& Path :
       {Images + "/testorig.jpg", Images + "/testimgint.jpg", Fixture("testorig-progressive.jpg")})
    EXPECT_NO_THROW(Check(Path)) << Path;
  EXPECT_EQ(Refusal(Images + "/testimgari.jpg"),
            "picture '" + Images + "/testimgari.jpg' cannot be decoded by the installer: " + kArithmeticError);
  EXPECT_EQ(Refusal(Images + "/testorig12.jpg"), "picture '" + Images +
                                                     "/testorig12.jpg' cannot be decoded by the installer: "
                                                     "JPEG error #15: Unsupported JPEG data precision 12");
}

// The double-size pictures are checked as the others, at exactly twice their size.
TEST_F(MkinstallerBrandTest, DoubleSizePicturesMustBeExactlyDouble) {
  const std::string Bg = Fixture("background.jpg"), Button = Fixture("button.jpg");
  const std::string Wide = Fixture("background-2x-wide.jpg"), Shorter = Fixture("button-2x-short.jpg");
  ExpectRefused(With({"--background", Bg, "--background-2x", Bg}),
                {"background-2x '" + Bg + "' is 450 x 304 pixels; it must be 900 x 608"});
  ExpectRefused(With({"--background", Bg, "--background-2x", Wide}),
                {"background-2x '" + Wide + "' is 901 x 608 pixels"});
  ExpectRefused(With({"--button", Button, "--button-2x", Button}),
                {"button-2x '" + Button + "' is 28 x 9 pixels; it must be 56 x 18"});
  ExpectRefused(With({"--hover", Button, "--hover-2x", Shorter}),
                {"hover-2x '" + Shorter + "' is 56 x 17 pixels; it must be 56 x 18"});
  ExpectRefused(With({"--hover", Button, "--hover-2x", Fixture("background-2x.jpg")}),
                {"hover-2x '", "900 x 608", "56 x 18"});
  ExpectRefused(With({"--background", Bg, "--background-2x", Fixture("not-a-jpeg.jpg")}),
                {"background-2x '", "is not a JPEG file"});
  // Exactly double passes.
  const RunResult R =
      Run(With({"--background", Bg, "--background-2x", Fixture("background-2x.jpg"), "--button", Button, "--button-2x",
                Fixture("button-2x.jpg"), "--hover", Button, "--hover-2x", Fixture("button-2x.jpg")}));
  EXPECT_EQ(R.exitCode, 0) << R.err;
}

// A double-size picture alone would show the host's art at 96 DPI and the
// distributor's at 192.
TEST_F(MkinstallerBrandTest, ADoubleNeedsItsSinglePicture) {
  const struct {
    const char *Double, *Single, *File, *SingleFile;
  } Cases[] = {
      {"--background-2x", "--background", "background-2x.jpg", "background.jpg"},
      {"--button-2x", "--button", "button-2x.jpg", "button.jpg"},
      {"--hover-2x", "--hover", "button-2x.jpg", "button.jpg"},
  };
  for (const auto& Case : Cases) {
    const std::string Needs = std::string(Case.Double) + " needs " + Case.Single;
    EXPECT_EQ(ExpectRefused(With({Case.Double, Fixture(Case.File)}), {Needs}), "mkinstaller: " + Needs + "\n");
    const RunResult R = Run(With({Case.Double, Fixture(Case.File), Case.Single, Fixture(Case.SingleFile)}));
    EXPECT_EQ(R.exitCode, 0) << R.err;
  }
}

TEST_F(MkinstallerBrandTest, PicturesTheInstallerDrawsPassTheirChecks) {
  for (const char* Background : {"background.jpg", "grey-progressive.jpg"}) {
    const RunResult R = Run(With({"--background", Fixture(Background), "--button", Fixture("button.jpg"), "--hover",
                                  Fixture("button.jpg"), "--icon", Fixture("icon.ico"), "--skin", payload_.string()}));
    EXPECT_EQ(R.exitCode, 0) << Background << ": " << R.err;
    const TStreamObject Form = DescriptionOf(PackagedHost());
    ASSERT_EQ(Form.Children.size(), 3u);
    EXPECT_EQ(*Form.Children[0].FindProperty("Picture.Data"),
              TStreamValue::Binary(PictureValue("TJPEGImage", ReadFile(Fixture(Background)))));
  }
}

// The reader applies a description's properties in order: of two copies of a
// picture, the last shows, and that is the one replaced.
TEST_F(MkinstallerBrandTest, ADuplicatedPictureIsReplacedWhereTheReaderShowsIt) {
  TStreamObject Form = InstallerForm();
  Form.Children[0].Properties.push_back(Picture("Picture.Data", "second background"));
  // Bytes after the description in its resource stay behind it.
  Bytes Described = StreamOf(Form);
  const Bytes Tail{'t', 'a', 'i', 'l'};
  Described.insert(Described.end(), Tail.begin(), Tail.end());
  WriteFile(host_, SyntheticHost(HostResources(Described)));
  const RunResult R = Run(With({"--background", Fixture("background.jpg")}));
  ASSERT_EQ(R.exitCode, 0) << R.err;
  const std::string Host = PackagedHost();
  const TStreamObject Branded = DescriptionOf(Host);
  const auto& Properties = Branded.Children[0].Properties;
  ASSERT_EQ(Properties.size(), 2u);
  EXPECT_EQ(Properties[0].Value, TStreamValue::Binary(PictureValue("TJPEGImage", "old background")));
  EXPECT_EQ(Properties[1].Value, TStreamValue::Binary(PictureValue("TJPEGImage", ReadFile(Fixture("background.jpg")))));
  const Bytes Stored = StoredDescription(Host);
  TMemoryStream In(Stored);
  ReadComponentStream(In);
  EXPECT_EQ(Bytes(Stored.begin() + In.Position(), Stored.end()), Tail);
}

// A host branded here before is branded again, however large its artwork:
// here a skin of the largest size taken.
TEST_F(MkinstallerBrandTest, AHostBrandedWithLargeArtworkIsBrandedAgain) {
  const fs::path Skin = root_ / "large.mskn", Branded = root_ / "Branded.exe";
  MakeSparse(Skin, mkinstaller::MaxBrandFileSize);
  ASSERT_EQ(Run(With({"--skin", Skin.string()})).exitCode, 0);
  WriteFile(Branded, PackagedHost());
  fs::remove(Skin);
  WriteFile(root_ / "small.mskn", "small skin");
  const RunResult R = Run({"--host", Branded.string(), "--payload", payload_.string(), "--output", output_.string(),
                           "--skin", (root_ / "small.mskn").string()});
  EXPECT_EQ(R.exitCode, 0) << R.err;
  EXPECT_LT(fs::file_size(output_), 1u << 20);
}

// A name read from a damaged description reaches the message, made printable.
TEST_F(MkinstallerBrandTest, NamesFromADamagedDescriptionStayOnOneLine) {
  TStreamObject Form = InstallerForm();
  const std::string Evil = "Evil\x1b[2J\nName";
  Form.Properties.push_back({Evil, TStreamValue::Integer(7)});
  Bytes Stream = StreamOf(Form);
  // Cut right after the name: its value is missing.
  const std::string Text(Stream.begin(), Stream.end());
  Stream.resize(Text.find(Evil) + Evil.size());
  WriteFile(host_, SyntheticHost(HostResources(Stream)));
  WriteFile(root_ / "skin.mskn", "skin");
  ExpectRefused(With({"--skin", (root_ / "skin.mskn").string()}),
                {"has a window description that cannot be read", "Evil?[2J?Name"});
}

TEST_F(MkinstallerBrandTest, IconsAndSkins) {
  const std::string Jpeg = Fixture("button.jpg"), No32 = Fixture("no-32.ico");
  ExpectRefused(With({"--icon", Jpeg}), {"icon '" + Jpeg + "' is not an icon file"});
  ExpectRefused(With({"--icon", No32}), {"icon '" + No32 + "' holds no 32 x 32 image"});
  WriteFile(root_ / "empty.mskn", "");
  ExpectRefused(With({"--skin", (root_ / "empty.mskn").string()}), {"skin '", "empty.mskn' is empty"});

  // Of several 32 x 32 images, the title picture is the one with the most colours.
  std::vector<mkinstaller::TIconImage> Images;
  for (std::uint16_t Bits : {8, 32, 4}) {
    Bytes Bitmap(48, static_cast<std::uint8_t>(Bits));
    mkinstaller::Put32(Bitmap, 0, 40);
    mkinstaller::Put32(Bitmap, 4, 32);
    mkinstaller::Put32(Bitmap, 8, 64);
    mkinstaller::Put16(Bitmap, 12, 1);
    mkinstaller::Put16(Bitmap, 14, Bits);
    Images.push_back({32, 32, 0, 1, Bits, Bitmap});
  }
  const Bytes IconFile = mkinstaller::MakeIconFile(Images), Title = mkinstaller::MakeIconFile({Images[1]});
  WriteFile(root_ / "many.ico", std::string(IconFile.begin(), IconFile.end()));
  const RunResult R = Run(With({"--icon", (root_ / "many.ico").string()}));
  ASSERT_EQ(R.exitCode, 0) << R.err;
  const TStreamObject Branded = DescriptionOf(PackagedHost());
  EXPECT_EQ(*Branded.Children[2].FindProperty("Picture.Data"),
            TStreamValue::Binary(PictureValue("TIcon", std::string(Title.begin(), Title.end()))));
}

// Artwork of up to 64 MiB goes into the package; a byte more is refused.
TEST_F(MkinstallerBrandTest, ArtworkOfMoreThan64MiBIsRefused) {
  const fs::path Skin = root_ / "big.mskn";
  WriteFile(Skin, "skin");
  fs::resize_file(Skin, 64 * 1024 * 1024);
  const RunResult R = Run(With({"--skin", Skin.string()}));
  EXPECT_EQ(R.exitCode, 0) << R.err;
  EXPECT_GT(fs::file_size(output_), 64u * 1024 * 1024);
  fs::resize_file(Skin, 64 * 1024 * 1024 + 1);
  ExpectRefused(With({"--skin", Skin.string()}),
                {"skin '" + Skin.string() + "' is too large (more than 67108864 bytes)"});
}

TEST_F(MkinstallerBrandTest, OutputIsAnArtworkFile) {
  const fs::path Skin = work_ / "skin.mskn";
  WriteFile(Skin, "skin");
  fs::remove(output_);
  fs::create_hard_link(Skin, output_);
  ExpectRefused(With({"--skin", Skin.string()}), {"is the same file as the skin '" + Skin.string() + "'"});
}

// --- Command line ---------------------------------------------------------------------------

class MkinstallerCommandLineTest : public MkinstallerTest {};

TEST_F(MkinstallerCommandLineTest, HelpExplainsTheLayout) {
  for (const char* Flag : {"-h", "--help"}) {
    const RunResult R = Run({Flag});
    EXPECT_EQ(R.exitCode, 0) << Flag;
    EXPECT_NE(R.out.find("host | padding | payload | N (4 bytes, little-endian)"), std::string::npos) << R.out;
    EXPECT_NE(R.out.find("--output"), std::string::npos);
    EXPECT_NE(R.out.find("2 GiB"), std::string::npos);
    EXPECT_NE(R.out.find("Refuses"), std::string::npos);
    EXPECT_NE(R.out.find("../share/installerwin/InstallerWin.exe"), std::string::npos) << R.out;
    EXPECT_NE(R.out.find("not a regular file (a device such as /dev/null"), std::string::npos) << R.out;
    EXPECT_NE(R.out.find("--version"), std::string::npos);
    for (const char* Option : {"--background FILE", "--button FILE", "--hover FILE", "--icon FILE", "--skin FILE",
                               "--button-label TEXT", "1 to 100 characters", "450 x 304", "28 x 9", "32 x 32", "CMYK",
                               "--background-2x FILE", "--button-2x FILE", "--hover-2x FILE", "900 x 608", "56 x 18"})
      EXPECT_NE(R.out.find(Option), std::string::npos) << Option;
  }
}

// Installed, the tool finds its host without --host: ../share/installerwin
// from its own folder. --host still chooses another.
TEST_F(MkinstallerCommandLineTest, TheInstalledHostIsFoundWithoutHost) {
  WriteFile(payload_, Pattern(300, 3));
  const RunResult None = Run({"--payload", payload_.string(), "--output", output_.string()});
  EXPECT_EQ(None.exitCode, 1);
  const fs::path Tool = fs::path(MKINSTALLER_PATH).parent_path().parent_path() / "share/installerwin/InstallerWin.exe";
  EXPECT_EQ(None.err, "mkinstaller: no --host given, and no host installed with this tool at '" + Tool.string() +
                          "'; name one with --host\n");
  EXPECT_FALSE(fs::exists(output_));

  fs::create_directories(root_ / "usr/bin");
  fs::create_directories(root_ / "usr/share/installerwin");
  fs::copy_file(MKINSTALLER_PATH, root_ / "usr/bin/mkinstaller");
  fs::permissions(root_ / "usr/bin/mkinstaller", fs::perms::owner_all);
  fs::copy_file(host_, root_ / "usr/share/installerwin/InstallerWin.exe");
  const auto Installed = [&](std::vector<std::string> Arguments) {
    Arguments.insert(Arguments.begin(), (root_ / "usr/bin/mkinstaller").string());
    const pid_t Pid = Spawn(std::move(Arguments), 15);
    int Status = 0;
    ::waitpid(Pid, &Status, 0);
    return WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
  };
  ASSERT_EQ(Installed({"--payload", payload_.string(), "--output", output_.string()}), 0);
  EXPECT_EQ(ReadFile(output_), Packaged(Pattern(300, 3)));
  // --host overrides: a refused host shows it was the one read.
  EXPECT_EQ(Installed({"--host", payload_.string(), "--payload", payload_.string(), "--output",
                       (work_ / "other.exe").string()}),
            1);
  EXPECT_FALSE(fs::exists(work_ / "other.exe"));

  // Wherever the tool lies, even at the root, the place is absolute.
  const struct {
    const char *Self, *Host;
  } Places[] = {{"/usr/bin/mkinstaller", "/usr/share/installerwin/InstallerWin.exe"},
                {"/bin/mkinstaller", "/share/installerwin/InstallerWin.exe"},
                {"/mkinstaller", "/share/installerwin/InstallerWin.exe"},
                {"", ""}};
  for (const auto& P : Places)
    EXPECT_EQ(mkinstaller::InstalledHost(P.Self), P.Host) << P.Self;
}

TEST_F(MkinstallerCommandLineTest, VersionNamesTheToolAndTheHost) {
  const RunResult Alone = Run({"--version"});
  EXPECT_EQ(Alone.exitCode, 0);
  EXPECT_EQ(Alone.out, "mkinstaller " INSTALLERWIN_VERSION "\n");
  const RunResult Host = Run({"--version", "--host", host_.string()});
  EXPECT_EQ(Host.exitCode, 0) << Host.err;
  EXPECT_EQ(Host.out, "mkinstaller " INSTALLERWIN_VERSION "\nhost '" + host_.string() + "': InstallerWin 1.0.0\n");
  const RunResult NotHost = Run({"--version", "--host", "/proc/version"});
  EXPECT_EQ(NotHost.exitCode, 1);
  EXPECT_NE(NotHost.err.find("host '/proc/version' is not an InstallerWin program"), std::string::npos) << NotHost.err;
}

// Every refusal is one line of printable text, whatever the names given.
TEST_F(MkinstallerCommandLineTest, RefusalsAreOnePrintableLine) {
  WriteFile(payload_, "abc");
  const RunResult R = Run(
      {"--host", host_.string(), "--payload", "no\x1b]0;title\x07\nsuch\xC2\x9B.scr", "--output", output_.string()});
  EXPECT_EQ(R.exitCode, 1);
  EXPECT_EQ(R.err.find('\n'), R.err.size() - 1) << R.err;
  EXPECT_NE(R.err.find("payload 'no?]0;title??such??.scr' cannot be opened"), std::string::npos) << R.err;
  EXPECT_EQ(mkinstaller::OneLine("Łukasz \xE5\xBC\xA0 \xF0\x9F\x98\x80 \t\x7F \xC0\xAF \xED\xA0\x80"),
            "Łukasz \xE5\xBC\xA0 \xF0\x9F\x98\x80 ?? ?? ???");
}

TEST_F(MkinstallerCommandLineTest, UnknownOptionIsAUsageError) {
  WriteFile(payload_, "abc");
  const auto Before = Snapshot(work_);
  const RunResult R =
      Run({"--host", host_.string(), "--payload", payload_.string(), "--output", output_.string(), "--frobnicate"});
  EXPECT_EQ(R.exitCode, 2);
  EXPECT_NE(R.err.find("--frobnicate"), std::string::npos) << R.err;
  EXPECT_NE(R.err.find("--help"), std::string::npos) << R.err;
  EXPECT_EQ(Snapshot(work_), Before);
}

TEST_F(MkinstallerCommandLineTest, MissingOptionsAreUsageErrors) {
  WriteFile(payload_, "abc");
  const auto Before = Snapshot(work_);
  const std::vector<std::pair<std::vector<std::string>, std::string>> Cases = {
      {{"--host", "InstallerWin.exe", "--output", "o.exe"}, "--payload"},
      {{"--host", "InstallerWin.exe", "--payload", "Aurora.scr"}, "--output"},
      {{"--host", "InstallerWin.exe", "--payload", "Aurora.scr", "--output"}, "--output"},
      {{"--host", "", "--payload", "Aurora.scr", "--output", "o.exe"}, "--host"},
      {{}, "--payload"},
  };
  for (const auto& [Arguments, Name] : Cases) {
    const RunResult R = Run(Arguments);
    EXPECT_EQ(R.exitCode, 2) << Name;
    EXPECT_NE(R.err.find(Name), std::string::npos) << R.err;
    EXPECT_NE(R.err.find("usage:"), std::string::npos) << R.err;
  }
  EXPECT_EQ(Snapshot(work_), Before);
}

TEST_F(MkinstallerCommandLineTest, ButtonLabelNeedsATextOnceOnly) {
  WriteFile(payload_, "abc");
  const auto Before = Snapshot(work_);
  const std::vector<std::string> Base = {"--host", "InstallerWin.exe", "--payload", "Aurora.scr", "--output", "o.exe"};
  auto With = [&](std::vector<std::string> More) {
    More.insert(More.begin(), Base.begin(), Base.end());
    return Run(More);
  };
  RunResult R = With({"--button-label"});
  EXPECT_EQ(R.exitCode, 2);
  EXPECT_NE(R.err.find("option --button-label needs a text"), std::string::npos) << R.err;
  R = With({"--button-label", "One", "--button-label", "Two"});
  EXPECT_EQ(R.exitCode, 2);
  EXPECT_NE(R.err.find("option --button-label given twice"), std::string::npos) << R.err;
  R = With({"--button-label", "", "--button-label=Two"});
  EXPECT_EQ(R.exitCode, 2) << "an empty label given first still counts";
  EXPECT_EQ(Snapshot(work_), Before);
}

TEST_F(MkinstallerCommandLineTest, RepeatedOptionIsAUsageError) {
  WriteFile(payload_, "abc");
  const RunResult R =
      Run({"--host", "InstallerWin.exe", "--host", "InstallerWin.exe", "--payload", "Aurora.scr", "--output", "o.exe"});
  EXPECT_EQ(R.exitCode, 2);
  EXPECT_NE(R.err.find("--host"), std::string::npos) << R.err;
  EXPECT_FALSE(fs::exists(work_ / "o.exe"));
}

}  // namespace
