#include "kit/ui/Application.h"

namespace kit {

Application* Application::sharedApplication() {
  static Application* app = [] {
    auto* a = new Application();
    a->retain();  // lives for the process
    return a;
  }();
  return app;
}

}  // namespace kit
