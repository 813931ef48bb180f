#include "kit/ui/Device.h"

#include <atomic>
#include <mutex>

namespace kit {
namespace {

std::atomic<int> gIdiom{static_cast<int>(UserInterfaceIdiom::Pad)};
std::mutex gVersionMutex;
std::string gVersion = "6.0";

}  // namespace

Device& Device::currentDevice() {
  static Device d;
  return d;
}

UserInterfaceIdiom Device::userInterfaceIdiom() const { return static_cast<UserInterfaceIdiom>(gIdiom.load()); }

void Device::setUserInterfaceIdiom(UserInterfaceIdiom idiom) { gIdiom = static_cast<int>(idiom); }

std::string Device::systemVersion() const {
  std::lock_guard<std::mutex> g(gVersionMutex);
  return gVersion;
}

void Device::setSystemVersion(std::string v) {
  std::lock_guard<std::mutex> g(gVersionMutex);
  gVersion = std::move(v);
}

std::string Device::model() const { return isPad() ? "Tablet" : "Phone"; }

}  // namespace kit
