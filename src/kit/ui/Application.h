#pragma once
// The application object: for now only the status-bar orientation and the
// life-cycle notification names; the rest of the application arrives with
// the UI layer.

#include "kit/foundation/Object.h"

namespace kit {

// The platform's interface orientations; other values are not orientations.
enum class InterfaceOrientation : int {
  Portrait = 1,
  PortraitUpsideDown = 2,
  LandscapeRight = 3,
  LandscapeLeft = 4,
};

inline bool isValidInterfaceOrientation(long v) { return v >= 1 && v <= 4; }

class Application : public Object {
 public:
  static constexpr const char* kDidBecomeActiveNotification = "ApplicationDidBecomeActiveNotification";
  static constexpr const char* kKeyboardDidShowNotification = "KeyboardDidShowNotification";
  static constexpr const char* kKeyboardDidHideNotification = "KeyboardDidHideNotification";

  static Application* sharedApplication();

  InterfaceOrientation statusBarOrientation() const noexcept { return statusBarOrientation_; }
  void setStatusBarOrientation(InterfaceOrientation o) noexcept { statusBarOrientation_ = o; }

  std::string className() const override { return "Application"; }

 private:
  InterfaceOrientation statusBarOrientation_ = InterfaceOrientation::Portrait;
};

}  // namespace kit
