#pragma once
// Stand-in for the ad-block filter list: empty, so nothing is blocked. The
// real manager (patterns from user defaults or the bundled list, hit counts)
// replaces it.

#include <string>

#include "kit/foundation/Object.h"

namespace tolva {

class VeskAdblockManager : public kit::Object {
 public:
  static VeskAdblockManager* sharedInstance();
  // Whether an enabled pattern matches the URL.
  bool checkWithFilter(const std::string& url) const;

  std::string className() const override { return "VeskAdblockManager"; }

 private:
  VeskAdblockManager() = default;
};

}  // namespace tolva
