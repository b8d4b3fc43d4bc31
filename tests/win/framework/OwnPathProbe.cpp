// Run by the framework tests as a copy named like a package: exits 0 when the
// program's own path and default title are what the test expects.
#include <cstdio>
#include <string>

#include "Forms.h"
#include "SystemFiles.h"

int main(int argc, char** argv) {
  if (argc != 3)
    return 2;
  const auto Path = ModuleFileName();
  const auto Title = Application->Title();
  if (Path == argv[1] && Title == argv[2])
    return 0;
  std::printf("own path '%s', title '%s'\n", Path.c_str(), Title.c_str());
  return 1;
}
