// Tests of formc: compiling a text with a picture file and dumping it back.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Classes.h"
#include "ComponentStream.h"
#include "ComponentText.h"

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& Path) {
  std::ifstream In(Path, std::ios::binary);
  return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& Path, const std::string& Data) {
  std::ofstream Out(Path, std::ios::binary | std::ios::trunc);
  Out.write(Data.data(), static_cast<std::streamsize>(Data.size()));
  ASSERT_TRUE(Out.good()) << Path;
}

struct TRun {
  int ExitCode = -1;
  std::string Out, Err;
};

const char* FormText =
    "object InstallerForm: TInstallerForm\n"
    "  Caption = 'Install Screensaver'\n"
    "  ClientHeight = 304\n"
    "  object Image1: TImage\n"
    "    Left = -8\n"
    "    Picture.Data = file 'art/background.jpg' as TJPEGImage\n"
    "  end\n"
    "end\n";

class FormcTest : public ::testing::Test {
 protected:
  fs::path Root, Work;
  std::string Jpeg;

  void SetUp() override {
    std::string Tmpl = (fs::temp_directory_path() / "formc-test-XXXXXX").string();
    ASSERT_NE(::mkdtemp(Tmpl.data()), nullptr);
    Root = Tmpl;
    Work = Root / "work";
    fs::create_directories(Work / "art");
    Jpeg = std::string("\xFF\xD8\xFF\xE0", 4) + std::string(543, 'j') + std::string("\xFF\xD9\0\0", 4);
    WriteFile(Work / "art" / "background.jpg", Jpeg);
    WriteFile(Work / "form.txt", FormText);
  }

  void TearDown() override {
    std::error_code Ec;
    fs::remove_all(Root, Ec);
  }

  // Runs the tool from the root folder, so relative picture names must follow the text's folder.
  TRun Run(std::vector<std::string> Args) {
    const auto OutFile = (Root / "stdout").string(), ErrFile = (Root / "stderr").string();
    Args.insert(Args.begin(), FORMC_PATH);
    std::vector<char*> Argv;
    for (auto& A : Args)
      Argv.push_back(A.data());
    Argv.push_back(nullptr);
    TRun R;
    pid_t Pid = ::fork();
    if (Pid == 0) {
      int O = ::open(OutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int E = ::open(ErrFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (O < 0 || E < 0 || ::dup2(O, 1) < 0 || ::dup2(E, 2) < 0 || ::chdir(Root.c_str()) != 0)
        ::_exit(126);
      ::execv(Argv[0], Argv.data());
      ::_exit(127);
    }
    int Status = 0;
    EXPECT_EQ(::waitpid(Pid, &Status, 0), Pid);
    if (WIFEXITED(Status))
      R.ExitCode = WEXITSTATUS(Status);
    R.Out = ReadFile(OutFile);
    R.Err = ReadFile(ErrFile);
    return R;
  }

  static TStreamObject Load(const fs::path& Path) {
    const auto Data = ReadFile(Path);
    TMemoryStream S(std::vector<std::uint8_t>(Data.begin(), Data.end()));
    return ReadComponentStream(S);
  }
};

TEST_F(FormcTest, CompilesATextWithAPictureAndDumpsItBack) {
  auto R = Run({"compile", "work/form.txt", "work/form.bin"});
  ASSERT_EQ(R.ExitCode, 0) << R.Err;
  EXPECT_EQ(R.Out, "");
  const auto Bin = ReadFile(Work / "form.bin");
  EXPECT_EQ(Bin.substr(0, 4), "TPF0");
  const auto Form = Load(Work / "form.bin");
  ASSERT_EQ(Form.Children.size(), 1u);
  const auto& Value = Form.Children[0].FindProperty("Picture.Data")->Get<TBinaryValue>()->Bytes;
  EXPECT_EQ(Value.size(), 1 + 10 + 4 + Jpeg.size());
  const auto Pic = DecodePictureValue(Value);
  EXPECT_EQ(Pic.ClassName, "TJPEGImage");
  EXPECT_EQ(std::string(Pic.Data.begin(), Pic.Data.end()), Jpeg);

  // To standard output the picture is hex, and the text reads back to the same form.
  R = Run({"dump", "work/form.bin"});
  ASSERT_EQ(R.ExitCode, 0) << R.Err;
  EXPECT_NE(R.Out.find("Caption = 'Install Screensaver'\n"), std::string::npos) << R.Out;
  EXPECT_NE(R.Out.find("Picture.Data = {\n      0A544A504547496D616765"), std::string::npos) << R.Out;
  EXPECT_EQ(ParseComponentText(R.Out), Form);

  // To a file the picture is saved beside it, and compiling that text gives the same bytes.
  fs::create_directory(Root / "out");
  R = Run({"dump", "work/form.bin", "out/form.txt"});
  ASSERT_EQ(R.ExitCode, 0) << R.Err;
  const auto Text = ReadFile(Root / "out" / "form.txt");
  EXPECT_NE(Text.find("Picture.Data = file 'Image1-Picture.jpg' as TJPEGImage"), std::string::npos) << Text;
  EXPECT_EQ(ReadFile(Root / "out" / "Image1-Picture.jpg"), Jpeg);
  R = Run({"compile", "out/form.txt", "out/again.bin"});
  ASSERT_EQ(R.ExitCode, 0) << R.Err;
  EXPECT_EQ(ReadFile(Root / "out" / "again.bin"), Bin);
}

// What reads bare as something else (an empty child class name, a length byte
// from 0xF0 up) and negative positions compile to a stream that reads back as
// the text, and dumping and compiling again gives the same bytes.
TEST_F(FormcTest, WhatItCompilesReadsBackAsTheText) {
  const std::string Text =
      "object Root: TFlatProgressBar\n"
      "  Items = <item [-70000] Tag = -2 end item [-1] end>\n"
      "  object Anonymous: &''\n"
      "    Left = -8\n"
      "  end\n"
      "  object Long: " +
      std::string(240, 'C') +
      " [-129]\n"
      "  end\n"
      "  inherited After: TButton [-1]\n"
      "  end\n"
      "end\n";
  WriteFile(Work / "edge.txt", Text);
  auto R = Run({"compile", "work/edge.txt", "work/edge.bin"});
  ASSERT_EQ(R.ExitCode, 0) << R.Err;
  const auto Model = Load(Work / "edge.bin");
  EXPECT_EQ(Model, ParseComponentText(Text));
  ASSERT_EQ(Model.Children.size(), 3u);
  EXPECT_EQ(Model.Children[1].ChildPos, -129);

  R = Run({"dump", "work/edge.bin", "work/again.txt"});
  ASSERT_EQ(R.ExitCode, 0) << R.Err;
  R = Run({"compile", "work/again.txt", "work/again.bin"});
  ASSERT_EQ(R.ExitCode, 0) << R.Err;
  EXPECT_EQ(ReadFile(Work / "again.bin"), ReadFile(Work / "edge.bin"));
}

// As the help says: a stream in other than the shortest forms comes back in them.
TEST_F(FormcTest, AStreamComesBackInItsShortestForms) {
  const auto Stream = [](bool Canonical) {
    std::string S =
        "TPF0\x05"
        "TForm\x01"
        "F";
    S += "\x04Left";
    S += Canonical ? std::string("\x02\x07", 2) : std::string("\x04\x07\x00\x00\x00", 5);
    S += "\x07"
         "Caption";
    S += Canonical ? std::string("\x06\x02Hi", 4) : std::string("\x0C\x02\x00\x00\x00Hi", 7);
    return S + std::string(2, '\0');
  };
  for (bool Canonical : {true, false}) {
    WriteFile(Work / "in.bin", Stream(Canonical));
    auto R = Run({"dump", "work/in.bin", "work/in.txt"});
    ASSERT_EQ(R.ExitCode, 0) << R.Err;
    R = Run({"compile", "work/in.txt", "work/out.bin"});
    ASSERT_EQ(R.ExitCode, 0) << R.Err;
    EXPECT_EQ(ReadFile(Work / "out.bin"), Stream(true)) << Canonical;
  }
}

TEST_F(FormcTest, ErrorsAreClearAndLeaveTheOutputAlone) {
  WriteFile(Work / "form.bin", "old");
  WriteFile(Work / "bad.txt", std::string(FormText).replace(std::string(FormText).find("art/"), 4, "none/"));
  auto R = Run({"compile", "work/bad.txt", "work/form.bin"});
  EXPECT_EQ(R.ExitCode, 1);
  EXPECT_EQ(
      R.Err.rfind("formc: work/bad.txt: Line 6: cannot load picture file 'none/background.jpg': cannot read '", 0), 0u)
      << R.Err;
  EXPECT_NE(R.Err.find("No such file or directory"), std::string::npos) << R.Err;
  EXPECT_EQ(ReadFile(Work / "form.bin"), "old");

  WriteFile(Work / "syntax.txt", "object F: TForm\n  Left 1\nend\n");
  R = Run({"compile", "work/syntax.txt", "work/form.bin"});
  EXPECT_EQ(R.ExitCode, 1);
  EXPECT_EQ(R.Err, "formc: work/syntax.txt: Line 2: expected '=' after property name 'Left', found number 1\n");

  WriteFile(Work / "long.txt", "object F: " + std::string(256, 'T') + "\nend\n");
  R = Run({"compile", "work/long.txt", "work/form.bin"});
  EXPECT_EQ(R.ExitCode, 1);
  EXPECT_EQ(R.Err, "formc: work/long.txt: Line 1: a class name after ':' is longer than 255 bytes\n");
  EXPECT_EQ(ReadFile(Work / "form.bin"), "old");

  R = Run({"compile", "work/missing.txt", "work/form.bin"});
  EXPECT_EQ(R.ExitCode, 1);
  EXPECT_EQ(R.Err, "formc: cannot read 'work/missing.txt': No such file or directory\n");

  WriteFile(Work / "cut.bin", std::string("TPF0\x05TForm\x01", 11));
  R = Run({"dump", "work/cut.bin"});
  EXPECT_EQ(R.ExitCode, 1);
  EXPECT_EQ(R.Err,
            "formc: work/cut.bin: Stream read error: the name of an object of class TForm at offset 10 needs 2 bytes, "
            "1 left\n");
  EXPECT_EQ(R.Out, "");

  WriteFile(Work / "text.bin", FormText);
  R = Run({"dump", "work/text.bin"});
  EXPECT_EQ(R.ExitCode, 1);
  EXPECT_EQ(R.Err, "formc: work/text.bin: Invalid stream format\n");
}

TEST_F(FormcTest, CommandLine) {
  auto R = Run({"--help"});
  EXPECT_EQ(R.ExitCode, 0);
  EXPECT_EQ(R.Out.rfind("usage: formc compile IN.txt OUT.bin\n", 0), 0u) << R.Out;
  EXPECT_NE(R.Out.find("gives IN.bin back if IN.bin is\n         canonical"), std::string::npos) << R.Out;
  for (const std::vector<std::string>& Args : {std::vector<std::string>{},
                                               {"compile", "a.txt"},
                                               {"dump"},
                                               {"dump", "a", "b", "c"},
                                               {"make", "a", "b"},
                                               {"compile", "--fast", "a", "b"}}) {
    R = Run(Args);
    EXPECT_EQ(R.ExitCode, 2) << testing::PrintToString(Args);
    EXPECT_NE(R.Err.find("Try 'formc --help'"), std::string::npos) << R.Err;
  }
}

}  // namespace
