#include "kit/ui/Screen.h"

#include <mutex>

#include "kit/ui/Application.h"
#include "kit/ui/Device.h"

namespace kit {
namespace {

std::mutex gMutex;
Size gOverride;

}  // namespace

Screen& Screen::mainScreen() {
  static Screen s;
  return s;
}

Rect Screen::bounds() const {
  {
    std::lock_guard<std::mutex> g(gMutex);
    if (!gOverride.isEmpty()) return {0, 0, gOverride.width, gOverride.height};
  }
  if (Device::currentDevice().isPad()) return {0, 0, 1024, 768};
  return {0, 0, 320, 480};
}

void Screen::setSizeOverride(Size size) {
  std::lock_guard<std::mutex> g(gMutex);
  gOverride = size;
}

Rect Screen::applicationFrame() const {
  Rect b = bounds();
  Application* app = Application::sharedApplication();
  if (app->isStatusBarHidden()) return b;
  const double h = kStatusBarHeight;
  switch (app->statusBarOrientation()) {
    case InterfaceOrientation::Portrait:
      return {b.x(), b.y() + h, b.width(), b.height() - h};
    case InterfaceOrientation::PortraitUpsideDown:
      return {b.x(), b.y(), b.width(), b.height() - h};
    case InterfaceOrientation::LandscapeLeft:
      return {b.x(), b.y(), b.width() - h, b.height()};
    case InterfaceOrientation::LandscapeRight:
      return {b.x() + h, b.y(), b.width() - h, b.height()};
  }
  return b;
}

}  // namespace kit
