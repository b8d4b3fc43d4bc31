// This program carries no skin resource.
#include "InstallTestSupport.h"

using namespace WinTest;

namespace {

using InstallWithoutSkin = InstallWorld;

TEST_F(InstallWithoutSkin, CompletesSilentlyWithoutASkinFile) {
  ASSERT_FALSE(SaveResourceToFile("exefile", "skinRes", Dest + "swing.mskn"));
  auto Payload = RandomBytes(3000, 20);
  ASSERT_EQ(RunInstall(MakePackage("Install-Aurora.exe", Payload), Dest), "");
  EXPECT_EQ(ReadFileBytes(Dest + "Aurora.scr"), Payload);
  EXPECT_EQ(Registered().Text, Dest + "Aurora.scr");
  EXPECT_FALSE(FileExists(Dest + "swing.mskn"));
  EXPECT_EQ(Shell.Asked.size(), 1u);
}

}  // namespace
