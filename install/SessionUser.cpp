#include "SessionUser.h"

#include "InstallProcedure.h"

TDesktopKey ScreensaverDesktopKey(const TAccount& Session) {
  if (!*Session.User)
    return {TDesktopKey::dwUnknownUser, HKEY_CURRENT_USER, ScreensaverKey};
  if (SameAccount(Session, ProgramAccount()))
    return {TDesktopKey::dwProgramUser, HKEY_CURRENT_USER, ScreensaverKey};
  // Loaded while that user is logged on, which the person at the screen is.
  const std::string SessionText = SidText(Session.Sid);
  if (SessionText.empty())
    return {TDesktopKey::dwUnresolvedUser, nullptr, {}};
  return {TDesktopKey::dwSessionUser, HKEY_USERS, SessionText + "\\" + ScreensaverKey};
}
