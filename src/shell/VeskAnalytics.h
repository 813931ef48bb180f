#pragma once
// The counters that decide when to ask for a store review. Nothing is kept
// here: every read and write goes straight to user defaults.

#include "kit/foundation/Object.h"

namespace tolva {

class VeskAnalytics : public kit::Object {
 public:
  static VeskAnalytics* sharedInstance();

  void beganUsing() {}
  // One completed use: usage up by one, remind count down by one while above 0.
  void endUsing();

  int usageCounter() const;
  void setUsageCounter(int v);
  int remindCounter() const;
  void setRemindCounter(int v);
  bool reviewed() const;
  void setReviewed(bool v);

  std::string className() const override { return "VeskAnalytics"; }
};

}  // namespace tolva
