#include "common/MyUIViewController.h"

#include "kit/foundation/UserDefaults.h"

namespace tolva::MyUIViewController {

bool myShouldAutorotateToInterfaceOrientation(const kit::Object*, kit::InterfaceOrientation o) {
  auto& defaults = kit::UserDefaults::standardUserDefaults();
  if (!defaults.exists("opt_lock_rotation") || !defaults.boolForKey("opt_lock_rotation")) return true;
  // A stored value that is no orientation would lock out every orientation;
  // treat it as absent so the upright portrait stays usable.
  long held = defaults.exists("opt_lock_rotation_info") ? defaults.integerForKey("opt_lock_rotation_info") : 0;
  if (!kit::isValidInterfaceOrientation(held)) return o == kit::InterfaceOrientation::Portrait;
  auto h = static_cast<kit::InterfaceOrientation>(held);
  kit::Application* app = kit::Application::sharedApplication();
  if (app->statusBarOrientation() != h) app->setStatusBarOrientation(h);
  return o == h;
}

}  // namespace tolva::MyUIViewController
