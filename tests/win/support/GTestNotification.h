// GoogleTest's Notification for the Win32 thread model of MinGW, whose GCC 12
// has no std::mutex or std::condition_variable (which GoogleTest's own one
// uses): a manual-reset event does the same. Included before GoogleTest's
// headers by the build.
#pragma once

#include <windows.h>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

class Notification {
 public:
  Notification() : FEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
  ~Notification() { CloseHandle(FEvent); }
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;
  void Notify() { SetEvent(FEvent); }
  void WaitForNotification() { WaitForSingleObject(FEvent, INFINITE); }

 private:
  HANDLE FEvent;
};

}  // namespace internal
}  // namespace testing
