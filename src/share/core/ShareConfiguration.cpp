#include "share/core/ShareConfiguration.h"

#include "kit/foundation/Array.h"
#include "kit/foundation/Exception.h"
#include "kit/foundation/Number.h"
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

ShareConfiguration* ShareConfiguration::sharedInstanceWithConfigurator(kit::Ref<DefaultShareConfigurator> c) {
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
        "ShareConfiguration must be configured before use with a subclass of DefaultShareConfigurator.");
  return instance().get();
}

bool ShareConfiguration::isConfigured() {
  std::lock_guard<std::mutex> g(classLock());
  return static_cast<bool>(instance());
}

void ShareConfiguration::resetForTesting() {
  std::lock_guard<std::mutex> g(classLock());
  instance() = nullptr;
}

kit::Ref<kit::Object> ShareConfiguration::configurationValue(std::string_view key,
                                                             const kit::Object* argument) const {
  if (!configurator_) return nullptr;
  return configurator_->valueForKey(key, argument);
}

bool ShareConfiguration::boolValue(std::string_view key) {
  kit::Ref<kit::Object> value = sharedInstance()->configurationValue(key, nullptr);
  auto* n = kit::cast<kit::Number>(value);
  return n && n->boolValue();
}

long ShareConfiguration::integerValue(std::string_view key) {
  kit::Ref<kit::Object> value = sharedInstance()->configurationValue(key, nullptr);
  auto* n = kit::cast<kit::Number>(value);
  return n ? n->integerValue() : 0;
}

std::string ShareConfiguration::stringValue(std::string_view key) {
  kit::Ref<kit::Object> value = sharedInstance()->configurationValue(key, nullptr);
  auto* s = kit::cast<kit::String>(value);
  return s ? s->str() : std::string();
}

std::vector<std::string> ShareConfiguration::stringListValue(std::string_view key) {
  std::vector<std::string> out;
  kit::Ref<kit::Object> value = sharedInstance()->configurationValue(key, nullptr);
  auto* a = kit::cast<kit::Array>(value);
  if (!a) return out;
  for (kit::Object* o : *a)
    if (auto* s = kit::cast<kit::String>(o)) out.push_back(s->str());
  return out;
}

}  // namespace tolva
