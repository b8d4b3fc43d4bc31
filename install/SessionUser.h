// Whose "Control Panel\Desktop" the screensaver is set in: the person's at
// the screen, who may not be the account the program runs as.
#pragma once

#include <windows.h>

#include <string>

#include "Accounts.h"

// The key the screensaver value goes under.
struct TDesktopKey {
  enum TWhose {
    dwProgramUser,     // the session's user runs the program: HKEY_CURRENT_USER
    dwSessionUser,     // another account runs it: the session user's own hive
    dwUnknownUser,     // the session names no user: HKEY_CURRENT_USER
    dwUnresolvedUser,  // another account, whose hive cannot be found: no key (Root is null)
  };
  TWhose Whose;
  HKEY Root;
  std::string SubKey;
};

// Where the screensaver of the session's user Session is set.
TDesktopKey ScreensaverDesktopKey(const TAccount& Session);
