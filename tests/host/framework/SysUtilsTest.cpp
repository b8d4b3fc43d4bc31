#include "SysUtils.h"

#include <gtest/gtest.h>

#include "../support/CodePage932.h"
#include "InstallPaths.h"

namespace {

TEST(Paths, LastDelimiterSkipsSecondHalvesOfDoubleByteCharacters) {
  // "\x83\x5C" is one character whose second byte looks like "\".
  const std::string Path = "C:\\Saver\\\x83\x5C.exe";
  EXPECT_EQ(LastDelimiter("\\", Path, IsCp932LeadByte), 8u);
  EXPECT_EQ(LastDelimiter("\\", Path, [](unsigned char) { return false; }), 10u);
  EXPECT_EQ(ExtractFileName(Path, IsCp932LeadByte), "\x83\x5C.exe");
  EXPECT_EQ(ChangeFileExt("C:\\a\\b\x83\x5C", ".scr", IsCp932LeadByte), "C:\\a\\b\x83\x5C.scr");
  EXPECT_EQ(LastDelimiter("\\:", "plain"), std::string::npos);
}

TEST(Paths, ExtractFileNameAndChangeFileExt) {
  EXPECT_EQ(ExtractFileName("C:\\dir\\Install-Aurora.exe"), "Install-Aurora.exe");
  EXPECT_EQ(ExtractFileName("C:Install.exe"), "Install.exe");
  EXPECT_EQ(ExtractFileName("bare.exe"), "bare.exe");
  EXPECT_EQ(ExtractFileName("C:\\dir\\"), "");
  EXPECT_EQ(ChangeFileExt("C:\\d.ir\\Aurora", ".scr"), "C:\\d.ir\\Aurora.scr");
  EXPECT_EQ(ChangeFileExt("C:\\dir\\Aurora.Saver.exe", ".scr"), "C:\\dir\\Aurora.Saver.scr");
  EXPECT_EQ(ChangeFileExt("C:\\dir\\.exe", ".scr"), "C:\\dir\\.scr");
}

TEST(InstallPaths, ScreensaverNameFromTheInstallerName) {
  const std::string Dest = "C:\\windows\\system32\\";
  struct Case {
    const char* Own;
    const char* Expected;
  } const Cases[] = {
      {"C:\\pkg\\Install-Aurora.exe", "C:\\windows\\system32\\Aurora.scr"},
      {"C:\\pkg\\install-Aurora.exe", "C:\\windows\\system32\\install-Aurora.scr"},
      {"C:\\pkg\\Aurora.exe", "C:\\windows\\system32\\Aurora.scr"},
      {"C:\\pkg\\Install-Aurora.Saver.exe", "C:\\windows\\system32\\Aurora.Saver.scr"},
      {"C:\\pkg\\Install-Aurora", "C:\\windows\\system32\\Aurora.scr"},
      {"C:\\pkg\\Install", "C:\\windows\\system32\\Install.scr"},
      {"C:\\pkg\\Install-", "C:\\windows\\system32\\.scr"},
      {"Install-Bare.exe", "C:\\windows\\system32\\Bare.scr"},
      // Only a leading "Install-" goes.
      {"C:\\pkg\\MyInstall-Aurora.exe", "C:\\windows\\system32\\MyInstall-Aurora.scr"},
      {"C:\\pkg\\ Install-Aurora.exe", "C:\\windows\\system32\\ Install-Aurora.scr"},
      {"C:\\pkg\\Aurora-Install-.exe", "C:\\windows\\system32\\Aurora-Install-.scr"},
      {"C:\\Install-pkg\\Aurora.exe", "C:\\windows\\system32\\Aurora.scr"},
  };
  for (auto C : Cases)
    EXPECT_EQ(ScreensaverPath(Dest, C.Own), C.Expected) << C.Own;
  // A "." in the destination is never the extension.
  EXPECT_EQ(ScreensaverPath("D:\\my.savers\\", "Install-Aurora"), "D:\\my.savers\\Aurora.scr");
  // "\x83\x5C" is one character: its second byte neither ends a folder nor hides the extension.
  EXPECT_EQ(ScreensaverPath(Dest,
                            "C:\\pkg\\Install-\x83\x5C"
                            "Aurora.exe",
                            IsCp932LeadByte),
            "C:\\windows\\system32\\\x83\x5C"
            "Aurora.scr");
  EXPECT_EQ(ScreensaverPath(Dest, "C:\\pkg\\Install-Aurora.\x83\x5C", IsCp932LeadByte),
            "C:\\windows\\system32\\Aurora.scr");
}

TEST(ErrorBox, DotIsAppendedWhenTheLastByteSortsAfterIt) {
  EXPECT_EQ(ErrorBoxText("Stream read error"), "Stream read error.");
  EXPECT_EQ(ErrorBoxText("Failed to set data for 'SCRNSAVE.EXE'"), "Failed to set data for 'SCRNSAVE.EXE'");
  EXPECT_EQ(ErrorBoxText("Done."), "Done.");
  EXPECT_EQ(ErrorBoxText("Really!"), "Really!");
  EXPECT_EQ(ErrorBoxText("Path C:\\x\\"), "Path C:\\x\\.");
  EXPECT_EQ(ErrorBoxText("Count 5"), "Count 5.");
  EXPECT_EQ(ErrorBoxText("Bytes \xE9"), "Bytes \xE9.");  // compared as unsigned bytes
  EXPECT_EQ(ErrorBoxText(""), "");
}

TEST(ApplicationTitle, FileNameCutAtFirstDotRestInLowerCase) {
  EXPECT_EQ(DefaultApplicationTitle("C:\\pkg\\Install-Aurora.Saver.exe"), "Install-aurora");
  EXPECT_EQ(DefaultApplicationTitle("C:\\pkg\\INSTALLERWIN.EXE"), "Installerwin");
  EXPECT_EQ(DefaultApplicationTitle("C:\\pkg\\noext"), "noext");
  EXPECT_EQ(DefaultApplicationTitle("C:\\p.kg\\x"), "x");
  // The title drops no "Install-": standing elsewhere than at the start, it stays, in lower case.
  EXPECT_EQ(DefaultApplicationTitle("C:\\pkg\\My-Install-Saver.exe"), "My-install-saver");
  EXPECT_EQ(DefaultApplicationTitle("C:\\pkg\\Saver-Install-.exe"), "Saver-install-");
  // Two characters: the first as it is, the second in lower case; one character stays.
  EXPECT_EQ(DefaultApplicationTitle("C:\\pkg\\AB.exe"), "Ab");
  EXPECT_EQ(DefaultApplicationTitle("C:\\pkg\\zQ.exe"), "zq");
  EXPECT_EQ(DefaultApplicationTitle("C:\\pkg\\Q.exe"), "Q");
  // Both ends of the upper-case letters, and the signs beside them ("@" before "A", "[" after "Z").
  EXPECT_EQ(DefaultApplicationTitle("C:\\pkg\\ZZ@AZ[.exe"), "Zz@az[");
}

TEST(ApplicationTitle, ADoubleByteFirstCharacterKeepsItsCase) {
  // "\x83\x41" is one character in code page 932 whose second byte looks like "A".
  EXPECT_EQ(DefaultApplicationTitle("C:\\pkg\\\x83\x41"
                                    "BC.exe",
                                    IsCp932LeadByte),
            "\x83\x41"
            "bc");
  // Its second byte can be 0x5C too, which is no "\" there; the folder's likewise.
  EXPECT_EQ(DefaultApplicationTitle("C:\\p\x83\x5C"
                                    "kg\\\x95\x5C"
                                    "SAVER.exe",
                                    IsCp932LeadByte),
            "\x95\x5C"
            "saver");
  // A single-byte first character (half-width katakana) is followed by lower case at once.
  EXPECT_EQ(DefaultApplicationTitle("C:\\pkg\\\xB1"
                                    "BC.exe",
                                    IsCp932LeadByte),
            "\xB1"
            "bc");
  // A lead byte cut off from its second byte is a name of one byte.
  EXPECT_EQ(DefaultApplicationTitle("C:\\pkg\\\x83", IsCp932LeadByte), "\x83");
}

TEST(Format, FillsTheFirstPlaceholder) {
  EXPECT_EQ(Format("Cannot open file %s", "C:\\a.exe"), "Cannot open file C:\\a.exe");
  EXPECT_EQ(Format("Failed to set data for '%s'", "SCRNSAVE.EXE"), "Failed to set data for 'SCRNSAVE.EXE'");
  EXPECT_EQ(Format("no placeholder", "x"), "no placeholder");
  // Only the first is filled, with the one argument; the second stays as written.
  EXPECT_EQ(Format("%s and %s", "first"), "first and %s");
  EXPECT_EQ(Format("copy %s to %s", "a.scr"), "copy a.scr to %s");
  EXPECT_EQ(Format("%s%s", "ab"), "ab%s");
}

}  // namespace
