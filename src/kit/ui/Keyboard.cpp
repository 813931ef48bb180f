#include "kit/ui/Keyboard.h"

#include "kit/foundation/Dictionary.h"
#include "kit/foundation/NotificationCenter.h"
#include "kit/foundation/Number.h"
#include "kit/ui/Application.h"
#include "kit/ui/Device.h"
#include "kit/ui/GeometryValue.h"
#include "kit/ui/Screen.h"

namespace kit {
namespace {

bool gVisible = false;
bool gNoRoom = false;

Ref<Dictionary> userInfo(Rect begin, Rect end) {
  auto info = MutableDictionary::dictionary();
  info->setObject(GeometryValue::valueWithRect(begin), Application::kKeyboardFrameBeginUserInfoKey);
  info->setObject(GeometryValue::valueWithRect(end), Application::kKeyboardFrameEndUserInfoKey);
  info->setObject(Number::numberWithDouble(Keyboard::kAnimationDuration),
                  Application::kKeyboardAnimationDurationUserInfoKey);
  info->setObject(Number::numberWithInteger(0), Application::kKeyboardAnimationCurveUserInfoKey);
  return info;
}

// Where the keyboard rests off screen, just past the bottom edge.
Rect offScreen(Rect shown) {
  Rect b = Screen::mainScreen().bounds();
  return {shown.x(), b.maxY(), shown.width(), shown.height()};
}

}  // namespace

bool Keyboard::isVisible() { return gVisible; }

void Keyboard::setTakesNoRoom(bool none) { gNoRoom = none; }

bool Keyboard::takesNoRoom() { return gNoRoom; }

Rect Keyboard::frame() {
  Rect b = Screen::mainScreen().bounds();
  if (gNoRoom) return {b.x(), b.maxY(), b.width(), 0};
  bool pad = Device::currentDevice().isPad();
  bool wide = b.width() > b.height();
  double h = pad ? (wide ? 352 : 264) : (wide ? 162 : 216);
  return {b.x(), b.maxY() - h, b.width(), h};
}

void Keyboard::show() {
  if (gVisible) return;
  gVisible = true;
  Rect end = frame();
  auto info = userInfo(offScreen(end), end);
  auto& center = NotificationCenter::defaultCenter();
  center.postNotification(Application::kKeyboardWillShowNotification, nullptr, info);
  center.postNotification(Application::kKeyboardDidShowNotification, nullptr, info);
}

void Keyboard::hide() {
  if (!gVisible) return;
  gVisible = false;
  Rect begin = frame();
  auto info = userInfo(begin, offScreen(begin));
  auto& center = NotificationCenter::defaultCenter();
  center.postNotification(Application::kKeyboardWillHideNotification, nullptr, info);
  center.postNotification(Application::kKeyboardDidHideNotification, nullptr, info);
}

}  // namespace kit
