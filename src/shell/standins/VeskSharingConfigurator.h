#pragma once
// Stand-in for the browser's sharing configurator: the browser's answers
// for the keys the shell asks for.

#include "shell/standins/DefaultSHKConfigurator.h"

namespace tolva {

class VeskSharingConfigurator : public DefaultSHKConfigurator {
 public:
  std::string appName() const override { return "Tolva Browser"; }
  std::string facebookAppId() const override { return "482913607558214"; }

  std::string className() const override { return "VeskSharingConfigurator"; }
};

}  // namespace tolva
