// Tests of mkinstaller: the package layout, its refusals, the checks of a
// distributor's artwork and its command line.
#include "PackageWriter.h"

#include "Branding.h"
#include "Files.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using mkinstaller::CheckPayloadSize;
using mkinstaller::MakePackage;
using mkinstaller::PaddingBeforePayload;

namespace {

constexpr std::uint64_t k2GiB = std::uint64_t{1} << 31;

std::string Pattern(std::size_t size, unsigned seed) {
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<char>((i * 131 + seed) & 0xFF);
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
        hostData_ = "MZ" + Pattern(5000, 7);
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
        for (std::string& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);

        RunResult result;
        pid_t pid = ::fork();
        if (pid == 0) {
            // A tool that blocks (on a FIFO, say) dies instead of hanging the test.
            ::alarm(15);
            int o = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int e = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (o < 0 || e < 0 || ::dup2(o, 1) < 0 || ::dup2(e, 2) < 0 || ::chdir(dir.c_str()) != 0) ::_exit(126);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        EXPECT_GT(pid, 0);
        int status = 0;
        EXPECT_EQ(::waitpid(pid, &status, 0), pid);
        if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
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
        for (const std::string& part : expected) EXPECT_NE(r.err.find(part), std::string::npos) << r.err;
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
    // 0x0102A3 has four distinct length bytes and spans several copy blocks.
    const std::string payload = Pattern(0x0102A3, 42);
    WriteFile(payload_, payload);
    const RunResult r = Package(host_, payload_, output_);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;

    const std::string package = ReadFile(output_);
    // 5002 + 0x0102A3 + 4 bytes need 7 zeros to reach a multiple of 8.
    ASSERT_EQ(package.size(), hostData_.size() + 7 + payload.size() + 4);
    EXPECT_EQ(package.substr(hostData_.size(), 7), std::string(7, '\0'));
    EXPECT_EQ(package.substr(package.size() - 4), std::string("\xA3\x02\x01\x00", 4));
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
    EXPECT_EQ(fs::status(output_).permissions() & fs::perms::all,
              fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read |
                  fs::perms::others_exec);
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(work_)) names.push_back(e.path().filename().string());
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
        if (!fs::is_regular_file(odd, ec) || ReadFile(odd).empty()) continue;
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
    // Fails only at the final rename, so this also shows the temporary file is cleaned up.
    fs::create_directory(work_ / "Out.exe");
    WriteFile(work_ / "Out.exe" / "keep", "kept");
    ExpectRefused(Args(host_, payload_, work_ / "Out.exe"), {"Out.exe", "output"});
    EXPECT_EQ(ReadFile(work_ / "Out.exe" / "keep"), "kept");
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
    ExpectRefused(With({"--hover", twelveBit.string()}), {"12-bit.jpg", "cannot be decoded by the installer", "precision"});
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
    for (const std::string& path : {images + "/testorig.jpg", images + "/testimgint.jpg",
                                    Fixture("testorig-progressive.jpg")})
        EXPECT_NO_THROW(check(path)) << path;
    EXPECT_EQ(refusal(images + "/testimgari.jpg"),
              "picture '" + images + "/testimgari.jpg' cannot be decoded by the installer: " + kArithmeticError);
    EXPECT_EQ(refusal(images + "/testorig12.jpg"), "picture '" + images +
                                                       "/testorig12.jpg' cannot be decoded by the installer: "
                                                       "JPEG error #15: Unsupported JPEG data precision 12");
}

TEST_F(MkinstallerBrandTest, PicturesTheInstallerDrawsPassTheirChecks) {
    for (const char* background : {"background.jpg", "grey-progressive.jpg"}) {
        ExpectRefused(With({"--background", Fixture(background), "--button", Fixture("button.jpg"), "--hover",
                            Fixture("button.jpg"), "--icon", Fixture("icon.ico"), "--skin", payload_.string()}),
                      {"host '" + host_.string() + "' is not an InstallerWin program"});
    }
}

TEST_F(MkinstallerBrandTest, IconsAndSkins) {
    const std::string jpeg = Fixture("button.jpg"), no32 = Fixture("no-32.ico");
    ExpectRefused(With({"--icon", jpeg}), {"icon '" + jpeg + "' is not an icon file"});
    ExpectRefused(With({"--icon", no32}), {"icon '" + no32 + "' holds no 32 x 32 image"});
    WriteFile(root_ / "empty.mskn", "");
    ExpectRefused(With({"--skin", (root_ / "empty.mskn").string()}), {"skin '", "empty.mskn' is empty"});
}

// A label that passes goes on to the host, which is checked last and is no program here.
TEST_F(MkinstallerBrandTest, ButtonLabelsOfOneToAHundredCharacters) {
    const std::string passed = "host '" + host_.string() + "' is not an InstallerWin program";
    std::string umlauts;
    for (int i = 0; i < 100; ++i) umlauts += "\xC3\xBC";
    for (const std::string& label : {std::string("I"), std::string(100, 'x'), umlauts, std::string("Installieren")})
        ExpectRefused(With({"--button-label", label}), {passed});
    ExpectRefused(With({"--button-label=\xF0\x9F\x98\x80"}), {passed});

    ExpectRefused(With({"--button-label", ""}), {"mkinstaller: button label is empty"});
    ExpectRefused(With({"--button-label="}), {"button label is empty"});
    ExpectRefused(With({"--button-label", std::string(101, 'x')}),
                  {"button label is 101 characters long; at most 100 are taken"});
    ExpectRefused(With({"--button-label", umlauts + "!"}), {"button label is 101 characters long"});
    for (const char* broken : {"\xFF", "Instal\xC3", "\xC0\xAF", "\xED\xA0\x80"})
        ExpectRefused(With({"--button-label", broken}), {"button label is not UTF-8 text"});
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
        for (const char* option : {"--background FILE", "--button FILE", "--hover FILE", "--icon FILE", "--skin FILE",
                                   "--button-label TEXT", "1 to 100 characters", "450 x 304", "28 x 9", "32 x 32",
                                   "CMYK"})
            EXPECT_NE(r.out.find(option), std::string::npos) << option;
    }
}

TEST_F(MkinstallerCommandLineTest, UnknownOptionIsAUsageError) {
    WriteFile(payload_, "abc");
    const auto before = Snapshot(work_);
    const RunResult r = Run({"--host", host_.string(), "--payload", payload_.string(), "--output",
                             output_.string(), "--frobnicate"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("--frobnicate"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--help"), std::string::npos) << r.err;
    EXPECT_EQ(Snapshot(work_), before);
}

TEST_F(MkinstallerCommandLineTest, MissingOptionsAreUsageErrors) {
    WriteFile(payload_, "abc");
    const auto before = Snapshot(work_);
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--payload", "Aurora.scr", "--output", "o.exe"}, "--host"},
        {{"--host", "InstallerWin.exe", "--output", "o.exe"}, "--payload"},
        {{"--host", "InstallerWin.exe", "--payload", "Aurora.scr"}, "--output"},
        {{"--host", "InstallerWin.exe", "--payload", "Aurora.scr", "--output"}, "--output"},
        {{"--host", "", "--payload", "Aurora.scr", "--output", "o.exe"}, "--host"},
        {{}, "--host"},
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
    const RunResult r = Run({"--host", "InstallerWin.exe", "--host", "InstallerWin.exe", "--payload", "Aurora.scr",
                             "--output", "o.exe"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("--host"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(work_ / "o.exe"));
}

}  // namespace
