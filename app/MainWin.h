// The installer window's destination: the system directory, ending in "\".
#pragma once

#include <string>

// The Windows system directory, however long; empty when the system gives none.
std::string SystemDirectory();

// Path with exactly one trailing "\" added when it has none ("" becomes "\").
std::string WithTrailingBackslash(std::string Path);
