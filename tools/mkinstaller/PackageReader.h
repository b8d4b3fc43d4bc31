// Reads a package without running it: what it carries, and its screensaver
// and skin taken out for an administrator to deploy. A package is taken
// exactly where the installer would take it (the trailer before any
// certificate table, a payload that fits before the trailer) and where its
// front is an InstallerWin program whole; anything else is refused as damaged.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace mkinstaller {

// One "key: value" line each, in a fixed order; the keys are stable for
// scripts. Throws EFailure naming the package and what is wrong with it.
std::vector<std::pair<std::string, std::string>> InspectPackage(const std::string& Package);

// Writes the payload as NAME.scr (named from the package's file name by the
// installer's own rule) and the skin, if the host has one, as swing.mskn into
// folder `Dir`. Neither ever replaces a file: a name taken, even meanwhile,
// refuses the extraction, and a skin that fails removes the .scr written
// before it. Throws EFailure; a damaged package writes nothing. Returns the
// paths written.
std::vector<std::string> ExtractPackage(const std::string& Package, const std::string& Dir);

// The screensaver's file name the installer called `PackageFileName` gives.
std::string ScreensaverFileName(const std::string& PackageFileName);

}  // namespace mkinstaller
