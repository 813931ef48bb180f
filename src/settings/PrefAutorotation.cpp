#include "settings/PrefAutorotation.h"

namespace tolva::PrefAutorotation {
namespace {

Rule& installed() {
  static Rule rule;
  return rule;
}

}  // namespace

void setRule(Rule rule) { installed() = std::move(rule); }

bool shouldAutorotate(const kit::Object* controller, kit::InterfaceOrientation orientation) {
  const Rule& rule = installed();
  return rule ? rule(controller, orientation) : true;
}

}  // namespace tolva::PrefAutorotation
