// A scratch install world: package folder, destination folder, recording shell.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "InstallProcedure.h"
#include "SysUtils.h"
#include "WinTestSupport.h"

namespace WinTest {

class TRecordingShell : public TInstallShell {
 public:
  struct TQuestion {
    std::string Text, Caption;
    UINT Flags;
  };
  int Ask(const char* Text, const char* Caption, UINT Flags) override {
    Asked.push_back({Text, Caption, Flags});
    return Answer;
  }
  void Start(const char* FileName) override { Started.emplace_back(FileName); }
  // The real lookup unless a test names the user.
  TAccount SessionUser() override { return User ? *User : TInstallShell::SessionUser(); }

  int Answer = IDNO;
  std::optional<TAccount> User;
  std::vector<TQuestion> Asked;
  std::vector<std::string> Started;
};

inline Bytes PackageBytes(const Bytes& Payload, std::int64_t Trailer) {
  Bytes Package = RandomBytes(3000, 1);
  Package[0] = 'M';
  Package[1] = 'Z';
  Package.insert(Package.end(), Payload.begin(), Payload.end());
  auto N = static_cast<std::uint32_t>(Trailer);
  for (int I = 0; I < 4; ++I)
    Package.push_back(static_cast<std::uint8_t>(N >> (8 * I)));
  return Package;
}

class InstallWorld : public ::testing::Test {
 protected:
  void SetUp() override {
    Dest = Dir / "dest\\";
    Pkg = Dir / "pkg\\";
    ASSERT_TRUE(CreateDirectoryA(Dest.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(Pkg.c_str(), nullptr));
    HKEY Key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, ScreensaverKey, 0, KEY_ALL_ACCESS, &Key) == ERROR_SUCCESS) {
      RegDeleteValueA(Key, ScreensaverValue);
      RegCloseKey(Key);
    }
  }

  // Writes a package named Name into the package folder; returns its path.
  std::string MakePackage(const std::string& Name, const Bytes& Payload) {
    return MakePackage(Name, Payload, static_cast<std::int64_t>(Payload.size()));
  }
  std::string MakePackage(const std::string& Name, const Bytes& Payload, std::int64_t Trailer) {
    WriteFileBytes(Pkg + Name, PackageBytes(Payload, Trailer));
    return Pkg + Name;
  }

  TRegString Registered() { return ReadRegString(HKEY_CURRENT_USER, ScreensaverKey, ScreensaverValue); }

  void SetRegistered(const std::string& Value) {
    HKEY Key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, ScreensaverKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &Key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(Key, ScreensaverValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(Value.c_str()),
                   static_cast<DWORD>(Value.size() + 1));
    RegCloseKey(Key);
  }

  // Runs the install and returns the message it raised ("" when it got through).
  std::string RunInstall(const std::string& OwnPath, const std::string& DestDir) {
    try {
      InstallScreensaver(TOwnFile(OwnPath), DestDir, Shell);
    } catch (const Exception& E) {
      return E.Message();
    }
    return {};
  }

  TScratchDir Dir;
  std::string Dest, Pkg;
  TRecordingShell Shell;
};

}  // namespace WinTest
