#pragma once
// The rotation-lock rule every screen asks before turning: with the lock on,
// only the orientation held by the lock is allowed.

#include "kit/foundation/Object.h"
#include "kit/ui/Application.h"

namespace tolva {

inline constexpr const char* kVeskRotationLockNotification = "VeskRotationLockNotification";

namespace MyUIViewController {

// Reads user defaults on every call. When the lock holds an orientation the
// status bar is not showing, the status bar is turned to it.
bool myShouldAutorotateToInterfaceOrientation(const kit::Object* controller, kit::InterfaceOrientation o);

}  // namespace MyUIViewController

}  // namespace tolva
