// Who sits at the screen, and who the program runs as. A standard user who
// installs with an administrator's password (over-the-shoulder elevation)
// runs the program as that administrator: the two then differ.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// A security identifier, held by value; empty for none.
using TSid = std::vector<BYTE>;

// An account by its names and, where they have one, its user's SID. Names are
// wide: a user named outside the ANSI code page ("Łukasz" on 1252) must not
// come back as another name or as "?".
struct TAccount {
  wchar_t Domain[256] = {}, User[257] = {};  // no User: no account at all
  TSid Sid;                                  // empty: the names have no user's SID
};

// The user logged on to this program's own session, by the names the session
// gives (no privilege needed).
TAccount SessionAccount();

// The account this program runs as (its token's TokenUser).
TAccount ProgramAccount();

// Whether A and B are one account: by SID where both have one, else by
// their names in any case.
bool SameAccount(const TAccount& A, const TAccount& B);

// The SID in its text form ("S-1-5-21-..."); empty for an empty or invalid SID.
std::string SidText(const TSid& Sid);
