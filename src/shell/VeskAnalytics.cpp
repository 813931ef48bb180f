#include "shell/VeskAnalytics.h"

#include "kit/foundation/UserDefaults.h"

namespace tolva {
namespace {

constexpr const char* kUsage = "ana_usage_counter";
constexpr const char* kRemind = "ana_remind_counter";
constexpr const char* kReviewed = "ana_user_reviewed";

int readInt(const char* key, int fallback) {
  auto& d = kit::UserDefaults::standardUserDefaults();
  return d.exists(key) ? static_cast<int>(d.integerForKey(key)) : fallback;
}

}  // namespace

VeskAnalytics* VeskAnalytics::sharedInstance() {
  static VeskAnalytics* instance = [] {
    auto* a = new VeskAnalytics();
    a->retain();
    return a;
  }();
  return instance;
}

void VeskAnalytics::endUsing() {
  setUsageCounter(usageCounter() + 1);
  int remind = remindCounter();
  if (remind > 0) setRemindCounter(remind - 1);
}

int VeskAnalytics::usageCounter() const { return readInt(kUsage, 0); }
void VeskAnalytics::setUsageCounter(int v) { kit::UserDefaults::standardUserDefaults().setInteger(v, kUsage); }
int VeskAnalytics::remindCounter() const { return readInt(kRemind, 10); }
void VeskAnalytics::setRemindCounter(int v) { kit::UserDefaults::standardUserDefaults().setInteger(v, kRemind); }

bool VeskAnalytics::reviewed() const {
  auto& d = kit::UserDefaults::standardUserDefaults();
  return d.exists(kReviewed) && d.boolForKey(kReviewed);
}

void VeskAnalytics::setReviewed(bool v) { kit::UserDefaults::standardUserDefaults().setBool(v, kReviewed); }

}  // namespace tolva
