// GoogleTest's thread start signal, on a Win32 event.
//
// Its own version rests on std::mutex and std::condition_variable, which
// MinGW's win32 thread model does not provide. This header is put before
// every GoogleTest source and user (GTEST_HAS_NOTIFICATION_ tells GoogleTest
// the class already exists).
#pragma once

#include <windows.h>

namespace testing {
namespace internal {

class Notification {
 public:
  Notification() : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  ~Notification() { CloseHandle(event_); }
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;

  void Notify() { SetEvent(event_); }
  void WaitForNotification() { WaitForSingleObject(event_, INFINITE); }

 private:
  HANDLE event_;
};

}  // namespace internal
}  // namespace testing
