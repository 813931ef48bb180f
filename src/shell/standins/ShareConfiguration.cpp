#include "shell/standins/ShareConfiguration.h"

#include "kit/foundation/Exception.h"
#include "kit/foundation/String.h"

namespace tolva {
namespace {

std::mutex& classLock() {
  static std::mutex m;
  return m;
}

kit::Ref<ShareConfiguration>& instance() {
  static kit::Ref<ShareConfiguration> shared;
  return shared;
}

}  // namespace

ShareConfiguration* ShareConfiguration::sharedInstanceWithConfigurator(kit::Ref<DefaultSHKConfigurator> c) {
  std::lock_guard<std::mutex> g(classLock());
  if (instance())
    throw kit::IllegalStateException("ShareConfiguration has already been configured with a delegate.");
  instance() = kit::Ref<ShareConfiguration>(new ShareConfiguration(std::move(c)));
  return instance().get();
}

ShareConfiguration* ShareConfiguration::sharedInstance() {
  std::lock_guard<std::mutex> g(classLock());
  if (!instance())
    throw kit::IllegalStateException(
        "ShareConfiguration must be configured before use with a subclass of DefaultSHKConfigurator.");
  return instance().get();
}

void ShareConfiguration::resetForTesting() {
  std::lock_guard<std::mutex> g(classLock());
  instance() = nullptr;
}

kit::Ref<kit::Object> ShareConfiguration::configurationValue(const std::string& key, kit::Object*) const {
  if (!configurator_) return nullptr;
  if (key == "appName") return kit::str(configurator_->appName());
  if (key == "facebookAppId") return kit::str(configurator_->facebookAppId());
  return nullptr;
}

}  // namespace tolva
