#pragma once
// Stand-in for the sharing configuration: one per process, holding the
// configurator installed at start-up and answering a key by asking the
// configurator's value of the same name (null for a key it has none for).

#include <mutex>
#include <string>

#include "kit/foundation/Object.h"
#include "shell/standins/DefaultSHKConfigurator.h"

namespace tolva {

class ShareConfiguration : public kit::Object {
 public:
  // Throws kit::IllegalStateException when a configuration exists already.
  static ShareConfiguration* sharedInstanceWithConfigurator(kit::Ref<DefaultSHKConfigurator> configurator);
  // Throws kit::IllegalStateException before configuration.
  static ShareConfiguration* sharedInstance();
  // Forgets the configuration (tests start each program run afresh).
  static void resetForTesting();

  DefaultSHKConfigurator* configurator() const noexcept { return configurator_.get(); }
  kit::Ref<kit::Object> configurationValue(const std::string& key, kit::Object* argument) const;

  std::string className() const override { return "ShareConfiguration"; }

 private:
  explicit ShareConfiguration(kit::Ref<DefaultSHKConfigurator> c) : configurator_(std::move(c)) {}
  kit::Ref<DefaultSHKConfigurator> configurator_;
};

}  // namespace tolva
