// Tests of mkinstaller: the package layout, its refusals, the checks of a
// distributor's artwork and its command line.
#include "PackageWriter.h"

#include "Branding.h"
#include "Classes.h"
#include "ComponentStream.h"
#include "Files.h"
#include "LittleEndian.h"
#include "PeImage.h"

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
using mkinstaller::CheckPayloadSize;
using mkinstaller::MakePackage;
using mkinstaller::PaddingBeforePayload;

namespace {

constexpr std::uint64_t k2GiB = std::uint64_t{1} << 31;

std::string Pattern(std::size_t size, unsigned seed) {
  std::string data(size, '\0');
  for (std::size_t i = 0; i < size; ++i)
    data[i] = static_cast<char>((i * 131 + seed) & 0xFF);
  return data;
}

std::string LengthTrailer(std::uint32_t n) {
  return {static_cast<char>(n & 0xFF), static_cast<char>((n >> 8) & 0xFF), static_cast<char>((n >> 16) & 0xFF),
          static_cast<char>((n >> 24) & 0xFF)};
}

void WriteFile(const fs::path& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  ASSERT_TRUE(out.good()) << path;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Starts args[0] with args in a child of its own, killed after `seconds`;
// the caller waits for it.
pid_t Spawn(std::vector<std::string> args, unsigned seconds) {
  std::vector<char*> argv;
  for (std::string& a : args)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::alarm(seconds);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  return pid;
}

// A sparse file: takes no disk space, so multi-GiB sizes are instant.
void MakeSparse(const fs::path& path, std::uint64_t size) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0) << path;
  ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(size)), 0) << path;
  ASSERT_EQ(::close(fd), 0);
}

// What a directory holds; small files by content, big (sparse) ones by size only,
// so a refused run can be shown to have changed nothing.
std::map<std::string, std::string> Snapshot(const fs::path& dir) {
  std::map<std::string, std::string> entries;
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_symlink()) {
      entries[name] = "symlink:" + fs::read_symlink(entry.path()).string();
    } else if (entry.is_directory()) {
      entries[name] = "dir";
    } else if (entry.file_size() > (1u << 20)) {
      entries[name] = "size:" + std::to_string(entry.file_size());
    } else {
      entries[name] = "data:" + ReadFile(entry.path());
    }
  }
  return entries;
}

// ---- A small host: an x86-64 program image as our linker lays one out,
// carrying what the package maker looks for in an InstallerWin program.

using Bytes = std::vector<std::uint8_t>;
using mkinstaller::TResource;
using mkinstaller::TResourceId;

Bytes VersionBlock(const std::u16string& key, const Bytes& value, bool text, const std::vector<Bytes>& children) {
  Bytes b(6);
  for (char16_t c : key + u'\0')
    b.insert(b.end(), {static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8)});
  b.resize(mkinstaller::AlignUp(b.size(), 4));
  b.insert(b.end(), value.begin(), value.end());
  for (const Bytes& c : children) {
    b.resize(mkinstaller::AlignUp(b.size(), 4));
    b.insert(b.end(), c.begin(), c.end());
  }
  mkinstaller::Put16(b, 0, b.size());
  mkinstaller::Put16(b, 2, text ? value.size() / 2 : value.size());
  mkinstaller::Put16(b, 4, text);
  return b;
}

Bytes VersionString(const std::u16string& key, const std::u16string& value) {
  Bytes v;
  for (char16_t c : value + u'\0')
    v.insert(v.end(), {static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8)});
  return VersionBlock(key, v, true, {});
}

Bytes PictureValue(const std::string& className, const std::string& data) {
  return EncodePictureValue({className, Bytes(data.begin(), data.end())});
}

TStreamProperty Picture(const std::string& name, const std::string& data, const char* className = "TJPEGImage") {
  return {name, TStreamValue::Binary(PictureValue(className, data))};
}

// The installer window's description as far as branding reads it.
TStreamObject InstallerForm() {
  TStreamObject form{0, {}, "TMainWin", "MainWin", {{"Caption", TStreamValue::String("Install Screensaver")}}, {}};
  form.Children.push_back({0, {}, "TImage", "Image1", {Picture("Picture.Data", "old background")}, {}});
  form.Children.push_back({0,
                           {},
                           "TMouseEffectImage",
                           "MouseEffectImage1",
                           {Picture("Picture.Data", "old normal"), Picture("OriginPicture.Data", "old normal"),
                            Picture("DownPicture.Data", "old normal"), Picture("OverPicture.Data", "old hover")},
                           {}});
  form.Children.push_back({0, {}, "TImage", "imgTitle", {Picture("Picture.Data", "old icon", "TIcon")}, {}});
  return form;
}

Bytes StreamOf(const TStreamObject& form) {
  TMemoryStream out;
  WriteComponentStream(out, form);
  return out.Data();
}

// The resources of a host: version information naming the product, the
// window description, the skin and the application icon's (empty) group.
std::vector<TResource> HostResources(const Bytes& description) {
  const Bytes version = VersionBlock(
      u"VS_VERSION_INFO", Bytes(52, 0), false,
      {VersionBlock(
          u"StringFileInfo", {}, true,
          {VersionBlock(u"040904B0", {}, true,
                        {VersionString(u"FileVersion", u"1.0.0"), VersionString(u"ProductName", u"InstallerWin")})})});
  return {{TResourceId::Number(mkinstaller::RtVersion), TResourceId::Number(1), 1033, 0, version},
          {TResourceId::Number(mkinstaller::RtRcData), TResourceId::Named("TINSTALLERFORM"), 1033, 0, description},
          {TResourceId::Named("EXEFILE"), TResourceId::Named("SKINRES"), 1033, 0, Bytes(82, 'k')},
          {TResourceId::Number(mkinstaller::RtGroupIcon), TResourceId::Named("MAINICON"), 1033, 0,
           Bytes{0, 0, 1, 0, 0, 0}}};
}

// A program image of a .text section and a .rsrc section holding `resources`:
// laid out by hand with one resource, then rebuilt by the package maker's own
// writer, whose output the other tests take apart.
std::string SyntheticHost(const std::vector<TResource>& resources) {
  constexpr std::uint32_t pe = 0x80, optional = pe + 24, table = optional + 0xF0;
  Bytes image(0x600);
  image[0] = 'M';
  image[1] = 'Z';
  using mkinstaller::Put16;
  using mkinstaller::Put32;
  Put32(image, 0x3C, pe);
  Put32(image, pe, 0x4550);
  Put16(image, pe + 4, 0x8664);
  Put16(image, pe + 6, 2);
  Put16(image, pe + 20, 0xF0);
  Put16(image, pe + 22, 0x22);  // an executable, large-address aware
  Put16(image, optional, 0x20B);
  Put32(image, optional + 16, 0x1000);  // entry point, in .text
  Put32(image, optional + 32, 0x1000);
  Put32(image, optional + 36, 0x200);
  Put32(image, optional + 56, 0x3000);
  Put32(image, optional + 60, 0x400);
  Put32(image, optional + 108, 16);
  Put32(image, optional + 112 + 8 * 2, 0x2000);
  Put32(image, optional + 112 + 8 * 2 + 4, 0x5C);
  const auto section = [&](unsigned i, const char* name, std::uint32_t rva, std::uint32_t size, std::uint32_t flags) {
    const std::uint32_t h = table + 40 * i;
    std::copy(name, name + std::strlen(name), image.begin() + h);
    Put32(image, h + 8, size);
    Put32(image, h + 12, rva);
    Put32(image, h + 16, 0x200);
    Put32(image, h + 20, 0x400 + 0x200 * i);
    Put32(image, h + 36, flags);
  };
  section(0, ".text", 0x1000, 0x10, 0x60000020);
  section(1, ".rsrc", 0x2000, 0x5C, 0xC0000040);
  image.resize(0x800);
  // Type 10, name 1, language 0: three directories of one entry, a data entry, four bytes.
  const std::uint32_t r = 0x600;
  Put16(image, r + 14, 1);
  Put32(image, r + 16, 10);
  Put32(image, r + 20, 0x80000018);
  Put16(image, r + 0x18 + 14, 1);
  Put32(image, r + 0x18 + 16, 1);
  Put32(image, r + 0x18 + 20, 0x80000030);
  Put16(image, r + 0x30 + 14, 1);
  Put32(image, r + 0x30 + 20, 0x48);
  Put32(image, r + 0x48, 0x2000 + 0x58);
  Put32(image, r + 0x48 + 4, 4);
  mkinstaller::TPeImage parsed = mkinstaller::TPeImage::Parse(image);
  parsed.Resources() = resources;
  const Bytes written = parsed.Write();
  return {written.begin(), written.end()};
}

std::string SyntheticHost() { return SyntheticHost(HostResources(StreamOf(InstallerForm()))); }

// The window description of program image `image`.
TStreamObject DescriptionOf(const std::string& image) {
  const mkinstaller::TPeImage parsed = mkinstaller::TPeImage::Parse(Bytes(image.begin(), image.end()));
  const TResource* form = parsed.Find(TResourceId::Number(mkinstaller::RtRcData), TResourceId::Named("TINSTALLERFORM"));
  EXPECT_NE(form, nullptr);
  TMemoryStream in(form ? form->Data : Bytes{});
  return ReadComponentStream(in);
}

struct RunResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

class MkinstallerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "mkinstaller-test-XXXXXX").string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    root_ = tmpl;
    work_ = root_ / "work";
    fs::create_directory(work_);
    host_ = work_ / "InstallerWin.exe";
    payload_ = work_ / "Aurora.scr";
    output_ = work_ / "Install-Aurora.exe";
    hostData_ = SyntheticHost();
    WriteFile(host_, hostData_);
  }

  void TearDown() override {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  // Runs the tool in `cwd` (the work directory by default), capturing stdout and stderr
  // outside the work directory so they never show up in its listing.
  RunResult Run(const std::vector<std::string>& args, const fs::path& cwd = {}) {
    const fs::path dir = cwd.empty() ? work_ : cwd;
    const std::string outFile = (root_ / "stdout").string(), errFile = (root_ / "stderr").string();
    std::vector<std::string> all{MKINSTALLER_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all)
      argv.push_back(a.data());
    argv.push_back(nullptr);

    RunResult result;
    pid_t pid = ::fork();
    if (pid == 0) {
      // A tool that blocks (on a FIFO, say) dies instead of hanging the test.
      ::alarm(15);
      int o = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int e = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (o < 0 || e < 0 || ::dup2(o, 1) < 0 || ::dup2(e, 2) < 0 || ::chdir(dir.c_str()) != 0)
        ::_exit(126);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    EXPECT_GT(pid, 0);
    int status = 0;
    EXPECT_EQ(::waitpid(pid, &status, 0), pid);
    if (WIFEXITED(status))
      result.exitCode = WEXITSTATUS(status);
    result.out = ReadFile(outFile);
    result.err = ReadFile(errFile);
    return result;
  }

  RunResult Package(const fs::path& host, const fs::path& payload, const fs::path& output) {
    return Run({"--host", host.string(), "--payload", payload.string(), "--output", output.string()});
  }

  // A refused run: exit 1, one line on stderr holding every `expected` part, and the work
  // directory exactly as before (no package, no temporary file, inputs and old output intact).
  void ExpectRefused(const std::vector<std::string>& args, const std::vector<std::string>& expected,
                     const fs::path& cwd = {}) {
    const auto before = Snapshot(work_);
    const RunResult r = Run(args, cwd);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    ASSERT_FALSE(r.err.empty());
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "not one line: " << r.err;
    for (const std::string& part : expected)
      EXPECT_NE(r.err.find(part), std::string::npos) << r.err;
    EXPECT_EQ(Snapshot(work_), before);
  }

  // What the package of `payload` must hold: host, zero padding to a multiple of 8, payload, length.
  std::string Packaged(const std::string& payload) const {
    const std::size_t padding = (8 - (hostData_.size() + payload.size() + 4) % 8) % 8;
    return hostData_ + std::string(padding, '\0') + payload + LengthTrailer(static_cast<std::uint32_t>(payload.size()));
  }

  std::vector<std::string> Args(const fs::path& host, const fs::path& payload, const fs::path& output) {
    return {"--host", host.string(), "--payload", payload.string(), "--output", output.string()};
  }

  fs::path root_, work_, host_, payload_, output_;
  std::string hostData_;
};

// --- The package layout --------------------------------------------------------------------

class MkinstallerLayoutTest : public MkinstallerTest {};

TEST_F(MkinstallerLayoutTest, PackageIsHostThenPayloadThenLittleEndianLength) {
  // 0x0102A5 has four distinct length bytes and spans several copy blocks.
  const std::string payload = Pattern(0x0102A5, 42);
  WriteFile(payload_, payload);
  const RunResult r = Package(host_, payload_, output_);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(r.err.empty()) << r.err;

  const std::string package = ReadFile(output_);
  // A host of whole 512-byte blocks + 0x0102A5 + 4 bytes need 7 zeros to reach a multiple of 8.
  ASSERT_EQ(hostData_.size() % 512, 0u);
  ASSERT_EQ(package.size(), hostData_.size() + 7 + payload.size() + 4);
  EXPECT_EQ(package.substr(hostData_.size(), 7), std::string(7, '\0'));
  EXPECT_EQ(package.substr(package.size() - 4), std::string("\xA5\x02\x01\x00", 4));
  EXPECT_TRUE(package == Packaged(payload));
}

TEST_F(MkinstallerLayoutTest, EveryPackageIsAMultipleOfEightBytes) {
  for (std::size_t size = 1; size <= 16; ++size) {
    WriteFile(payload_, Pattern(size, 3));
    ASSERT_EQ(Package(host_, payload_, output_).exitCode, 0);
    const std::string package = ReadFile(output_);
    EXPECT_EQ(package.size() % 8, 0u) << size;
    EXPECT_EQ(package, Packaged(Pattern(size, 3))) << size;
  }
  EXPECT_EQ(PaddingBeforePayload(4, 0), 0u);
  EXPECT_EQ(PaddingBeforePayload(0, 1), 3u);
  EXPECT_EQ(PaddingBeforePayload(0xFFFFFFFFull, 0x7FFFFFFF), 6u);
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
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(work_))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Aurora.scr", "Install-Aurora.exe", "InstallerWin.exe"}));
}

TEST_F(MkinstallerLayoutTest, ReplacesAnExistingOutput) {
  WriteFile(output_, std::string(20000, 'o'));
  WriteFile(payload_, "new payload");
  ASSERT_EQ(Package(host_, payload_, output_).exitCode, 0);
  EXPECT_EQ(ReadFile(output_), Packaged("new payload"));
}

TEST_F(MkinstallerLayoutTest, RelativePathsAndEqualsForm) {
  WriteFile(payload_, "abc");
  const RunResult r = Run({"--host=InstallerWin.exe", "--payload=./Aurora.scr", "--output=Install-Aurora.exe"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(ReadFile(output_), Packaged("abc"));
}

TEST_F(MkinstallerLayoutTest, LibraryWritesTheSameLayout) {
  const std::string payload = Pattern(0x10000 * 3 + 17, 9);  // several full blocks plus a tail
  WriteFile(payload_, payload);
  EXPECT_EQ(MakePackage(host_, payload_, output_), "");
  EXPECT_TRUE(ReadFile(output_) == Packaged(payload));
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
  const std::string error = MakePackage(host_, payload_, work_ / "missing-dir" / "Install.exe");
  EXPECT_EQ(error.find("too large"), std::string::npos) << error;
  EXPECT_NE(error.find("missing-dir"), std::string::npos) << error;
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
  const fs::path fifo = root_ / "fifo", dir = root_ / "dir";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  fs::create_directory(dir);
  for (const fs::path& odd : {fifo, dir}) {
    const std::string name = odd.filename().string();
    ExpectRefused(Args(odd, payload_, output_), {"host '" + odd.string() + "' is not a regular file"});
    ExpectRefused(Args(host_, odd, output_), {"payload '" + odd.string() + "' is not a regular file"});
    auto args = Args(host_, payload_, output_);
    args.insert(args.end(), {"--skin", odd.string()});
    ExpectRefused(args, {"skin '" + odd.string() + "' is not a regular file"});
  }
}

// The padding and the trailer are reckoned from the size the file system
// reports, so a payload of another real length must not be packaged: sysfs
// reports a page for a few bytes, procfs nothing for a whole text.
TEST_F(MkinstallerRefusalTest, PayloadLongerOrShorterThanReported) {
  for (const fs::path odd : {"/sys/devices/system/cpu/online", "/proc/version"}) {
    std::error_code ec;
    if (!fs::is_regular_file(odd, ec) || ReadFile(odd).empty())
      continue;
    ASSERT_NE(fs::file_size(odd), ReadFile(odd).size()) << odd;
    ExpectRefused(Args(host_, odd, output_), {"payload '" + odd.string() + "' is not as long as its file system says"});
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
  const fs::path null = root_ / "null", fifo = root_ / "fifo", socket = root_ / "socket";
  fs::create_symlink("/dev/null", null);
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(socket.string().size(), sizeof address.sun_path);
  std::strcpy(address.sun_path, socket.c_str());
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  for (const auto& [odd, kind] : {std::pair{null, "a device"}, {fifo, "a FIFO"}, {socket, "a socket"}})
    ExpectRefused(Args(host_, payload_, odd), {"output '" + odd.string() + "' exists and is not a regular file (" +
                                               kind + "); only a regular file is replaced"});
  ::close(fd);
  EXPECT_TRUE(fs::is_symlink(null));
}

// Swapped arguments, an empty file, a DLL or another machine's program with
// the right resources, a package or a signed program: none is a host, with
// or without artwork.
TEST_F(MkinstallerRefusalTest, TheHostIsAlwaysChecked) {
  const auto host = [&](const std::string& name, const std::string& data) {
    WriteFile(root_ / name, data);
    return root_ / name;
  };
  const std::string program = "' is not an InstallerWin program: ";
  ExpectRefused(Args(payload_, host_, output_), {"host '" + payload_.string() + program + "not a program image"});
  ExpectRefused(Args(host("empty.exe", ""), payload_, output_), {"empty.exe" + program});
  std::string dll = hostData_, arm = hostData_;
  const std::uint32_t pe = mkinstaller::Get32(Bytes(hostData_.begin(), hostData_.end()), 0x3C, "");
  dll[pe + 23] = static_cast<char>(dll[pe + 23] | 0x20);
  arm[pe + 4] = 0x64;
  arm[pe + 5] = static_cast<char>(0xAA);
  ExpectRefused(Args(host("dll.exe", dll), payload_, output_), {"dll.exe" + program + "it is a DLL, not a program"});
  ExpectRefused(Args(host("arm.exe", arm), payload_, output_),
                {"arm.exe" + program + "it is not an x86-64 program (machine 0xAA64)"});
  std::vector<TResource> noForm = HostResources(StreamOf(InstallerForm()));
  noForm.erase(noForm.begin() + 1);
  ExpectRefused(Args(host("noform.exe", SyntheticHost(noForm)), payload_, output_),
                {"noform.exe" + program + "it has no window description TINSTALLERFORM"});
  // The last accepted and the first refused: the image alone, then one byte more.
  ExpectRefused(Args(host("one.exe", hostData_ + '\x01'), payload_, output_),
                {"host '" + (root_ / "one.exe").string() + "' carries 1 byte past its image"});
  ExpectRefused(Args(host("two.exe", hostData_ + "\x01\x02"), payload_, output_), {"two.exe' carries 2 bytes past"});
  std::string signedHost = hostData_ + std::string(8, '\0');
  const std::uint32_t security = pe + 24 + 112 + 8 * 4;
  for (unsigned i = 0; i < 4; ++i) {
    signedHost[security + i] = static_cast<char>((hostData_.size() >> (8 * i)) & 0xFF);
    signedHost[security + 4 + i] = static_cast<char>((8u >> (8 * i)) & 0xFF);
  }
  ExpectRefused(Args(host("signed.exe", signedHost), payload_, output_), {"signed.exe' is signed"});
  ASSERT_EQ(Package(host_, payload_, output_).exitCode, 0);
}

// SIGTERM or Ctrl+C during the write removes the temporary file: a payload
// large enough to be seen being written, sparse so that it costs no disk.
TEST_F(MkinstallerRefusalTest, AnInterruptedWriteLeavesNoTemporaryFile) {
  const fs::path big = root_ / "Big.scr";
  MakeSparse(big, 256u << 20);
  for (int signal : {SIGTERM, SIGINT}) {
    const auto before = Snapshot(work_);
    const pid_t pid = Spawn(
        {MKINSTALLER_PATH, "--host", host_.string(), "--payload", big.string(), "--output", output_.string()}, 60);
    ASSERT_GT(pid, 0);
    bool seen = false;
    for (int i = 0; i < 20000 && !seen; ++i) {
      for (const auto& entry : fs::directory_iterator(work_))
        seen = seen || entry.path().filename().string().rfind(".Install-Aurora.exe.", 0) == 0;
      if (!seen)
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    EXPECT_TRUE(seen) << "no temporary file seen";
    ::kill(pid, signal);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << "status " << status;
    EXPECT_EQ(Snapshot(work_), before) << "signal " << signal;
  }
}

TEST_F(MkinstallerRefusalTest, OutputNamesNoFile) {
  fs::create_directory(work_ / "sub");
  for (const std::string& out : {work_.string() + "/", (work_ / ".").string(), (work_ / "sub" / "..").string()})
    ExpectRefused(Args(host_, payload_, out), {"output '" + out + "' does not name a file"});
  ExpectRefused(Args(host_, payload_, ".."), {"output '..' does not name a file"}, work_ / "sub");
}

// The temporary file goes beside the output, wherever the tool is started.
TEST_F(MkinstallerRefusalTest, WorkingDirectoryThatCannotHoldFiles) {
  const RunResult r = Run(Args(host_, payload_, output_), "/proc");
  ASSERT_EQ(r.exitCode, 0) << r.err;
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

  static std::string Fixture(const std::string& name) { return (fs::path(BRAND_FIXTURES) / name).string(); }

  std::vector<std::string> With(const std::vector<std::string>& options) {
    std::vector<std::string> args = Args(host_, payload_, output_);
    args.insert(args.end(), options.begin(), options.end());
    return args;
  }

  // `jpeg` with the sample precision in its frame header set to `bits`.
  static std::string WithPrecision(std::string jpeg, char bits) {
    const std::size_t sof = jpeg.find("\xFF\xC0");
    EXPECT_NE(sof, std::string::npos);
    jpeg[sof + 4] = bits;  // after the marker and the segment length
    return jpeg;
  }
};

TEST_F(MkinstallerBrandTest, PicturesTheInstallerDoesNotDraw) {
  const std::string png = Fixture("not-a-jpeg.jpg"), button = Fixture("button.jpg"), bg = Fixture("background.jpg");
  ExpectRefused(With({"--background", png}), {"background '" + png + "' is not a JPEG file"});
  ExpectRefused(With({"--background", button}), {"background '" + button + "'", "28 x 9", "450 x 304"});
  ExpectRefused(With({"--button", bg}), {"button '" + bg + "'", "450 x 304", "28 x 9"});
  ExpectRefused(With({"--hover", Fixture("cmyk-button.jpg")}), {"hover '", "cmyk-button.jpg", "CMYK"});
  ExpectRefused(With({"--button", Fixture("arithmetic-button.jpg")}),
                {"arithmetic-button.jpg' cannot be decoded by the installer: " + kArithmeticError});

  const fs::path twelveBit = root_ / "12-bit.jpg", cut = root_ / "cut.jpg";
  WriteFile(twelveBit, WithPrecision(ReadFile(button), 12));
  ExpectRefused(With({"--hover", twelveBit.string()}),
                {"12-bit.jpg", "cannot be decoded by the installer", "precision"});
  const std::string whole = ReadFile(bg);
  WriteFile(cut, whole.substr(0, whole.size() / 2));
  ExpectRefused(With({"--background", cut.string()}), {"background '" + cut.string() + "' is damaged"});
}

// libjpeg's own test pictures, which nobody here made, and cjpeg's progressive
// coding of one: checked at their own size by the installer's decoder.
TEST_F(MkinstallerBrandTest, LibjpegsOwnPicturesPassOrFailAsTheInstallerDrawsThem) {
  const auto check = [](const std::string& path) {
    const std::string data = ReadFile(path);
    mkinstaller::CheckPicture({true, "picture '" + path + "'", {data.begin(), data.end()}}, 227, 149);
  };
  const auto refusal = [&](const std::string& path) {
    try {
      check(path);
    } catch (const mkinstaller::EFailure& failure) {
      return std::string(failure.what());
    }
    return std::string("no refusal");
  };
  const std::string images = LIBJPEG_TEST_IMAGES;
  for (const std::string& path :
       {images + "/testorig.jpg", images + "/testimgint.jpg", Fixture("testorig-progressive.jpg")})
    EXPECT_NO_THROW(check(path)) << path;
  EXPECT_EQ(refusal(images + "/testimgari.jpg"),
            "picture '" + images + "/testimgari.jpg' cannot be decoded by the installer: " + kArithmeticError);
  EXPECT_EQ(refusal(images + "/testorig12.jpg"), "picture '" + images +
                                                     "/testorig12.jpg' cannot be decoded by the installer: "
                                                     "JPEG error #15: Unsupported JPEG data precision 12");
}

// The double-size pictures are checked as the others, at exactly twice their size.
TEST_F(MkinstallerBrandTest, DoubleSizePicturesMustBeExactlyDouble) {
  const std::string bg = Fixture("background.jpg"), button = Fixture("button.jpg");
  const std::string wide = Fixture("background-2x-wide.jpg"), shorter = Fixture("button-2x-short.jpg");
  ExpectRefused(With({"--background-2x", bg}),
                {"background-2x '" + bg + "' is 450 x 304 pixels; it must be 900 x 608"});
  ExpectRefused(With({"--background-2x", wide}), {"background-2x '" + wide + "' is 901 x 608 pixels"});
  ExpectRefused(With({"--button-2x", button}), {"button-2x '" + button + "' is 28 x 9 pixels; it must be 56 x 18"});
  ExpectRefused(With({"--hover-2x", shorter}), {"hover-2x '" + shorter + "' is 56 x 17 pixels; it must be 56 x 18"});
  ExpectRefused(With({"--hover-2x", Fixture("background-2x.jpg")}), {"hover-2x '", "900 x 608", "56 x 18"});
  ExpectRefused(With({"--background-2x", Fixture("not-a-jpeg.jpg")}), {"background-2x '", "is not a JPEG file"});
  // Exactly double passes.
  const RunResult r = Run(With({"--background-2x", Fixture("background-2x.jpg"), "--button-2x",
                                Fixture("button-2x.jpg"), "--hover-2x", Fixture("button-2x.jpg")}));
  EXPECT_EQ(r.exitCode, 0) << r.err;
}

TEST_F(MkinstallerBrandTest, PicturesTheInstallerDrawsPassTheirChecks) {
  for (const char* background : {"background.jpg", "grey-progressive.jpg"}) {
    const RunResult r = Run(With({"--background", Fixture(background), "--button", Fixture("button.jpg"), "--hover",
                                  Fixture("button.jpg"), "--icon", Fixture("icon.ico"), "--skin", payload_.string()}));
    EXPECT_EQ(r.exitCode, 0) << background << ": " << r.err;
    const std::string package = ReadFile(output_);
    const std::size_t hostSize = (package.size() - 4 - 300) / 8 * 8;
    const TStreamObject form = DescriptionOf(package.substr(0, hostSize));
    ASSERT_EQ(form.Children.size(), 3u);
    EXPECT_EQ(*form.Children[0].FindProperty("Picture.Data"),
              TStreamValue::Binary(PictureValue("TJPEGImage", ReadFile(Fixture(background)))));
  }
}

// The reader applies a description's properties in order: of two copies of a
// picture, the last shows, and that is the one replaced.
TEST_F(MkinstallerBrandTest, ADuplicatedPictureIsReplacedWhereTheReaderShowsIt) {
  TStreamObject form = InstallerForm();
  form.Children[0].Properties.push_back(Picture("Picture.Data", "second background"));
  WriteFile(host_, SyntheticHost(HostResources(StreamOf(form))));
  const RunResult r = Run(With({"--background", Fixture("background.jpg")}));
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string package = ReadFile(output_);
  const TStreamObject branded = DescriptionOf(package.substr(0, (package.size() - 4 - 300) / 8 * 8));
  const auto& properties = branded.Children[0].Properties;
  ASSERT_EQ(properties.size(), 2u);
  EXPECT_EQ(properties[0].Value, TStreamValue::Binary(PictureValue("TJPEGImage", "old background")));
  EXPECT_EQ(properties[1].Value, TStreamValue::Binary(PictureValue("TJPEGImage", ReadFile(Fixture("background.jpg")))));
}

// A host branded here before is branded again, however large its artwork:
// here a skin of the largest size taken.
TEST_F(MkinstallerBrandTest, AHostBrandedWithLargeArtworkIsBrandedAgain) {
  const fs::path skin = root_ / "large.mskn", branded = root_ / "Branded.exe";
  MakeSparse(skin, mkinstaller::MaxBrandFileSize);
  ASSERT_EQ(Run(With({"--skin", skin.string()})).exitCode, 0);
  const std::string package = ReadFile(output_);
  WriteFile(branded, package.substr(0, (package.size() - 4 - 300) / 8 * 8));
  fs::remove(skin);
  WriteFile(root_ / "small.mskn", "small skin");
  const RunResult r = Run({"--host", branded.string(), "--payload", payload_.string(), "--output", output_.string(),
                           "--skin", (root_ / "small.mskn").string()});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_LT(fs::file_size(output_), 1u << 20);
}

// A name read from a damaged description reaches the message, made printable.
TEST_F(MkinstallerBrandTest, NamesFromADamagedDescriptionStayOnOneLine) {
  TStreamObject form = InstallerForm();
  const std::string evil = "Evil\x1b[2J\nName";
  form.Properties.push_back({evil, TStreamValue::Integer(7)});
  Bytes stream = StreamOf(form);
  // Cut right after the name: its value is missing.
  const std::string text(stream.begin(), stream.end());
  stream.resize(text.find(evil) + evil.size());
  WriteFile(host_, SyntheticHost(HostResources(stream)));
  WriteFile(root_ / "skin.mskn", "skin");
  ExpectRefused(With({"--skin", (root_ / "skin.mskn").string()}),
                {"has a window description that cannot be read", "Evil?[2J?Name"});
}

TEST_F(MkinstallerBrandTest, IconsAndSkins) {
  const std::string jpeg = Fixture("button.jpg"), no32 = Fixture("no-32.ico");
  ExpectRefused(With({"--icon", jpeg}), {"icon '" + jpeg + "' is not an icon file"});
  ExpectRefused(With({"--icon", no32}), {"icon '" + no32 + "' holds no 32 x 32 image"});
  WriteFile(root_ / "empty.mskn", "");
  ExpectRefused(With({"--skin", (root_ / "empty.mskn").string()}), {"skin '", "empty.mskn' is empty"});
}

// The label becomes the button's hint: the last one, where the reader shows
// it, or a new one; plain text when it is ASCII, else UTF-16.
TEST_F(MkinstallerBrandTest, ButtonLabelsOfOneToAHundredCharacters) {
  TStreamObject form = InstallerForm();
  auto& hints = form.Children[1].Properties;
  hints.push_back({"Hint", TStreamValue::String("first")});
  hints.push_back({"Hint", TStreamValue::String("Install")});
  const std::string withHint = SyntheticHost(HostResources(StreamOf(form)));
  const auto hintsOf = [&](const std::string& label, const std::string& host) {
    WriteFile(host_, host);
    const RunResult r = Run(With({"--button-label", label}));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::string package = ReadFile(output_);
    const TStreamObject branded = DescriptionOf(package.substr(0, (package.size() - 4 - 300) / 8 * 8));
    std::vector<TStreamValue> found;
    for (const auto& p : branded.Children[1].Properties)
      if (p.Name == "Hint")
        found.push_back(p.Value);
    return found;
  };
  std::string umlauts;
  std::u16string wide;
  for (int i = 0; i < 100; ++i) {
    umlauts += "\xC3\xBC";
    wide += u'\u00FC';
  }
  EXPECT_EQ(hintsOf("Installieren", withHint),
            (std::vector<TStreamValue>{TStreamValue::String("first"), TStreamValue::String("Installieren")}));
  EXPECT_EQ(hintsOf("I", SyntheticHost()), (std::vector<TStreamValue>{TStreamValue::String("I")}));
  EXPECT_EQ(hintsOf(std::string(100, 'x'), SyntheticHost()),
            (std::vector<TStreamValue>{TStreamValue::String(std::string(100, 'x'))}));
  EXPECT_EQ(hintsOf(umlauts, SyntheticHost()), (std::vector<TStreamValue>{TStreamValue::WideString(wide)}));
  EXPECT_EQ(hintsOf("\xF0\x9F\x98\x80!", SyntheticHost()),
            (std::vector<TStreamValue>{TStreamValue::WideString(u"\U0001F600!")}));

  ExpectRefused(With({"--button-label", ""}), {"mkinstaller: button label is empty"});
  ExpectRefused(With({"--button-label="}), {"button label is empty"});
  ExpectRefused(With({"--button-label", std::string(101, 'x')}),
                {"button label is 101 characters long; at most 100 are taken"});
  ExpectRefused(With({"--button-label", umlauts + "!"}), {"button label is 101 characters long"});
  for (const char* broken : {"\xFF", "Instal\xC3", "\xC0\xAF", "\xED\xA0\x80"})
    ExpectRefused(With({"--button-label", broken}), {"button label is not UTF-8 text"});
}

// Artwork of up to 64 MiB goes into the package; a byte more is refused.
TEST_F(MkinstallerBrandTest, ArtworkOfMoreThan64MiBIsRefused) {
  const fs::path skin = root_ / "big.mskn";
  WriteFile(skin, "skin");
  fs::resize_file(skin, 64 * 1024 * 1024);
  const RunResult r = Run(With({"--skin", skin.string()}));
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_GT(fs::file_size(output_), 64u * 1024 * 1024);
  fs::resize_file(skin, 64 * 1024 * 1024 + 1);
  ExpectRefused(With({"--skin", skin.string()}),
                {"skin '" + skin.string() + "' is too large (more than 67108864 bytes)"});
}

TEST_F(MkinstallerBrandTest, OutputIsAnArtworkFile) {
  const fs::path skin = work_ / "skin.mskn";
  WriteFile(skin, "skin");
  fs::remove(output_);
  fs::create_hard_link(skin, output_);
  ExpectRefused(With({"--skin", skin.string()}), {"is the same file as the skin '" + skin.string() + "'"});
}

// --- Command line ---------------------------------------------------------------------------

class MkinstallerCommandLineTest : public MkinstallerTest {};

TEST_F(MkinstallerCommandLineTest, HelpExplainsTheLayout) {
  for (const char* flag : {"-h", "--help"}) {
    const RunResult r = Run({flag});
    EXPECT_EQ(r.exitCode, 0) << flag;
    EXPECT_NE(r.out.find("host | padding | payload | N (4 bytes, little-endian)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("--output"), std::string::npos);
    EXPECT_NE(r.out.find("2 GiB"), std::string::npos);
    EXPECT_NE(r.out.find("Refuses"), std::string::npos);
    EXPECT_NE(r.out.find("../share/installerwin/InstallerWin.exe"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("not a regular file (a device such as /dev/null"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("--version"), std::string::npos);
    for (const char* option : {"--background FILE", "--button FILE", "--hover FILE", "--icon FILE", "--skin FILE",
                               "--button-label TEXT", "1 to 100 characters", "450 x 304", "28 x 9", "32 x 32", "CMYK",
                               "--background-2x FILE", "--button-2x FILE", "--hover-2x FILE", "900 x 608", "56 x 18"})
      EXPECT_NE(r.out.find(option), std::string::npos) << option;
  }
}

// Installed, the tool finds its host without --host: ../share/installerwin
// from its own folder. --host still chooses another.
TEST_F(MkinstallerCommandLineTest, TheInstalledHostIsFoundWithoutHost) {
  WriteFile(payload_, Pattern(300, 3));
  const RunResult none = Run({"--payload", payload_.string(), "--output", output_.string()});
  EXPECT_EQ(none.exitCode, 1);
  const fs::path tool = fs::path(MKINSTALLER_PATH).parent_path().parent_path() / "share/installerwin/InstallerWin.exe";
  EXPECT_EQ(none.err, "mkinstaller: no --host given, and no host installed with this tool at '" + tool.string() +
                          "'; name one with --host\n");
  EXPECT_FALSE(fs::exists(output_));

  fs::create_directories(root_ / "usr/bin");
  fs::create_directories(root_ / "usr/share/installerwin");
  fs::copy_file(MKINSTALLER_PATH, root_ / "usr/bin/mkinstaller");
  fs::permissions(root_ / "usr/bin/mkinstaller", fs::perms::owner_all);
  fs::copy_file(host_, root_ / "usr/share/installerwin/InstallerWin.exe");
  const auto installed = [&](std::vector<std::string> args) {
    args.insert(args.begin(), (root_ / "usr/bin/mkinstaller").string());
    const pid_t pid = Spawn(std::move(args), 15);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  ASSERT_EQ(installed({"--payload", payload_.string(), "--output", output_.string()}), 0);
  EXPECT_EQ(ReadFile(output_), Packaged(Pattern(300, 3)));
  // --host overrides: a refused host shows it was the one read.
  EXPECT_EQ(installed({"--host", payload_.string(), "--payload", payload_.string(), "--output",
                       (work_ / "other.exe").string()}),
            1);
  EXPECT_FALSE(fs::exists(work_ / "other.exe"));
}

TEST_F(MkinstallerCommandLineTest, VersionNamesTheToolAndTheHost) {
  const RunResult alone = Run({"--version"});
  EXPECT_EQ(alone.exitCode, 0);
  EXPECT_EQ(alone.out, "mkinstaller " INSTALLERWIN_VERSION "\n");
  const RunResult host = Run({"--version", "--host", host_.string()});
  EXPECT_EQ(host.exitCode, 0) << host.err;
  EXPECT_EQ(host.out, "mkinstaller " INSTALLERWIN_VERSION "\nhost '" + host_.string() + "': InstallerWin 1.0.0\n");
  const RunResult notHost = Run({"--version", "--host", "/proc/version"});
  EXPECT_EQ(notHost.exitCode, 1);
  EXPECT_NE(notHost.err.find("host '/proc/version' is not an InstallerWin program"), std::string::npos) << notHost.err;
}

// Every refusal is one line of printable text, whatever the names given.
TEST_F(MkinstallerCommandLineTest, RefusalsAreOnePrintableLine) {
  WriteFile(payload_, "abc");
  const RunResult r = Run(
      {"--host", host_.string(), "--payload", "no\x1b]0;title\x07\nsuch\xC2\x9B.scr", "--output", output_.string()});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
  EXPECT_NE(r.err.find("payload 'no?]0;title??such??.scr' cannot be opened"), std::string::npos) << r.err;
  EXPECT_EQ(mkinstaller::OneLine("Łukasz \xE5\xBC\xA0 \xF0\x9F\x98\x80 \t\x7F \xC0\xAF \xED\xA0\x80"),
            "Łukasz \xE5\xBC\xA0 \xF0\x9F\x98\x80 ?? ?? ???");
}

TEST_F(MkinstallerCommandLineTest, UnknownOptionIsAUsageError) {
  WriteFile(payload_, "abc");
  const auto before = Snapshot(work_);
  const RunResult r =
      Run({"--host", host_.string(), "--payload", payload_.string(), "--output", output_.string(), "--frobnicate"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("--frobnicate"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("--help"), std::string::npos) << r.err;
  EXPECT_EQ(Snapshot(work_), before);
}

TEST_F(MkinstallerCommandLineTest, MissingOptionsAreUsageErrors) {
  WriteFile(payload_, "abc");
  const auto before = Snapshot(work_);
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--host", "InstallerWin.exe", "--output", "o.exe"}, "--payload"},
      {{"--host", "InstallerWin.exe", "--payload", "Aurora.scr"}, "--output"},
      {{"--host", "InstallerWin.exe", "--payload", "Aurora.scr", "--output"}, "--output"},
      {{"--host", "", "--payload", "Aurora.scr", "--output", "o.exe"}, "--host"},
      {{}, "--payload"},
  };
  for (const auto& [args, name] : cases) {
    const RunResult r = Run(args);
    EXPECT_EQ(r.exitCode, 2) << name;
    EXPECT_NE(r.err.find(name), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("usage:"), std::string::npos) << r.err;
  }
  EXPECT_EQ(Snapshot(work_), before);
}

TEST_F(MkinstallerCommandLineTest, ButtonLabelNeedsATextOnceOnly) {
  WriteFile(payload_, "abc");
  const auto before = Snapshot(work_);
  const std::vector<std::string> base = {"--host", "InstallerWin.exe", "--payload", "Aurora.scr", "--output", "o.exe"};
  auto with = [&](std::vector<std::string> more) {
    more.insert(more.begin(), base.begin(), base.end());
    return Run(more);
  };
  RunResult r = with({"--button-label"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("option --button-label needs a text"), std::string::npos) << r.err;
  r = with({"--button-label", "One", "--button-label", "Two"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("option --button-label given twice"), std::string::npos) << r.err;
  r = with({"--button-label", "", "--button-label=Two"});
  EXPECT_EQ(r.exitCode, 2) << "an empty label given first still counts";
  EXPECT_EQ(Snapshot(work_), before);
}

TEST_F(MkinstallerCommandLineTest, RepeatedOptionIsAUsageError) {
  WriteFile(payload_, "abc");
  const RunResult r =
      Run({"--host", "InstallerWin.exe", "--host", "InstallerWin.exe", "--payload", "Aurora.scr", "--output", "o.exe"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("--host"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(work_ / "o.exe"));
}

}  // namespace
