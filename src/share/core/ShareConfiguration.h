#pragma once
// The sharing kit's configuration: one per process, holding the configurator
// installed at start-up and answering a key by asking the configurator's
// value of the same name (null for a name it has no key for).

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "kit/foundation/Object.h"
#include "share/core/DefaultShareConfigurator.h"

namespace tolva {

class ShareConfiguration : public kit::Object {
 public:
  // Throws kit::IllegalStateException when a configuration exists already;
  // the first one stays in place.
  static ShareConfiguration* sharedInstanceWithConfigurator(kit::Ref<DefaultShareConfigurator> configurator);
  // Throws kit::IllegalStateException before configuration.
  static ShareConfiguration* sharedInstance();
  // Whether the program has installed its configuration.
  static bool isConfigured();
  // Forgets the configuration (tests start each program run afresh).
  static void resetForTesting();

  DefaultShareConfigurator* configurator() const noexcept { return configurator_.get(); }
  kit::Ref<kit::Object> configurationValue(std::string_view key, const kit::Object* argument) const;

  // Typed reads of the shared configuration's keys, for the kit's own
  // callers. A key that answers nothing reads as off, 0, empty.
  static bool boolValue(std::string_view key);
  static long integerValue(std::string_view key);
  static std::string stringValue(std::string_view key);
  static std::vector<std::string> stringListValue(std::string_view key);

  std::string className() const override { return "ShareConfiguration"; }

 private:
  explicit ShareConfiguration(kit::Ref<DefaultShareConfigurator> c) : configurator_(std::move(c)) {}
  kit::Ref<DefaultShareConfigurator> configurator_;
};

}  // namespace tolva
