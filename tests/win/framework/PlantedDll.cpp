// A DLL that an attacker would plant beside a downloaded program.
#include <windows.h>

extern "C" __declspec(dllexport) int Planted() { return 42; }
