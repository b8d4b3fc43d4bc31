// Who sits at the screen, and whose "Control Panel\Desktop" the screensaver
// is therefore set in. A standard user who installs with an administrator's
// password (over-the-shoulder elevation) runs the program as that
// administrator: HKEY_CURRENT_USER is then the administrator's, not theirs.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// A security identifier, held by value; empty for none.
using TSid = std::vector<BYTE>;

// The user logged on to this program's own session, by the names the session
// gives (no privilege needed); empty when it names no user or the name has no
// user's SID.
TSid SessionUserSid();

// The user this program runs as (its token's TokenUser); empty when unreadable.
TSid ProgramUserSid();

// The SID in its text form ("S-1-5-21-..."); empty for an empty or invalid SID.
std::string SidText(const TSid& Sid);

// The key the screensaver value goes under.
struct TDesktopKey {
  enum TWhose {
    dwProgramUser,  // the session's user runs the program: HKEY_CURRENT_USER
    dwSessionUser,  // another account runs it: the session user's own hive
    dwUnknownUser,  // either SID is missing, so nothing tells them apart: HKEY_CURRENT_USER
  };
  TWhose Whose;
  HKEY Root;
  std::string SubKey;
};

// Where the screensaver of the session's user SessionUser is set.
TDesktopKey ScreensaverDesktopKey(const TSid& SessionUser);
