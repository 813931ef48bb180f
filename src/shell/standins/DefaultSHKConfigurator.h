#pragma once
// Stand-in for the sharing kit's default configurator: the keys the browser
// shell asks for, with the kit's defaults. The real configurator (every
// configuration key) replaces it.

#include <string>

#include "kit/foundation/Object.h"

namespace tolva {

class DefaultSHKConfigurator : public kit::Object {
 public:
  virtual std::string appName() const { return "My App Name"; }
  virtual std::string facebookAppId() const { return ""; }

  std::string className() const override { return "DefaultSHKConfigurator"; }
};

}  // namespace tolva
